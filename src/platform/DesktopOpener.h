// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace diarytrawl {

// Shows an address (a web page, a local file's URL or path) in the desktop's program for it, through
// xdg-open, without waiting for that program.
void openInDesktop(const QString &address);

} // namespace diarytrawl
