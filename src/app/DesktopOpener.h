// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace diarytrawl {

// Shows an address (a web page or a local file's URL) in the desktop's program for it, without waiting
// for that program: the desktop services of the window system, or xdg-open where they offer none (as
// on the offscreen platform).
void openInDesktop(const QString &address);

} // namespace diarytrawl
