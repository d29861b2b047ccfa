// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

namespace diarytrawl {

// diarytrawl page URL [--links | --text | --body-html | --html] [--offline]
// arguments: what follows "page" on the command line. Returns the exit status.
int runPageCommand(const QStringList &arguments);

} // namespace diarytrawl
