// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

namespace diarytrawl {

// diarytrawl cache [--user NAME] [--site HOST] [--json] | --forget NAME [--site HOST]
// What the page cache holds: every journal, or one journal's years, months and entries; or a journal's
// pages removed. arguments: what follows "cache" on the command line. Returns the exit status.
int runCacheCommand(const QStringList &arguments);

} // namespace diarytrawl
