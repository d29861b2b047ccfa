// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace diarytrawl {

// Lets pending events run, pauses msec milliseconds while events go on being handled (so the window
// stays responsive for the whole pause), then lets pending events run again. The duration is held as
// a 16-bit signed number of milliseconds: negative values count as 0, larger ones as 32767.
void Wait(int msec);

} // namespace diarytrawl
