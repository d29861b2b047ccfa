// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SearchFrontEnd.h"

#include <QString>

namespace diarytrawl {

// Walks the journal's month pages from strFromMonth to strToMonth and looks for strSearchTo in every
// entry they link to: as a substring ignoring case (Scan) or as a regular expression (RegScan).
CrawlOutcome Scan(SearchFrontEnd &frontEnd, const QString &strNick, const QString &strYear,
                  const QString &strFromMonth, const QString &strToMonth, const QString &strSearchTo);
CrawlOutcome RegScan(SearchFrontEnd &frontEnd, const QString &strNick, const QString &strYear,
                     const QString &strFromMonth, const QString &strToMonth, const QString &strSearchTo);

// A month field as the crawl reads it: a whole number from -32768 to 32767, optionally signed and
// surrounded by spaces. Anything else throws PlatformError.
qint16 monthNumber(const QString &strMonth);

} // namespace diarytrawl
