// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace diarytrawl {

// Makes the application, shows the window and runs it until it closes; returns the exit status.
int runWindow(int &argc, char **argv);

} // namespace diarytrawl
