// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace diarytrawl {

// Lets pending events run, pauses msec milliseconds while events go on being handled (so the window
// stays responsive for the whole pause), then lets pending events run again. The duration is held as
// a 16-bit signed number of milliseconds: negative values count as 0, larger ones as 32767.
void Wait(int msec);

// Lets pending events run, unless they last ran less than ResponsiveMs ago on this thread: for loops
// that take thousands of steps a second (a search from the page cache) and must keep the window
// answering without asking the system for events at every step.
inline constexpr int ResponsiveMs = 10;
void KeepResponsive();

} // namespace diarytrawl
