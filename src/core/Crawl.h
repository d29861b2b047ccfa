// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ScanSetUp.h"
#include "SearchFrontEnd.h"

#include <QString>

namespace diarytrawl {

// Walks the journal's month pages from strFromMonth to strToMonth and looks for strSearchTo in every
// entry they link to: as a substring ignoring case (Scan) or as a regular expression (RegScan). Every
// step is told through the front end's events; the report is one of their renderers.
CrawlOutcome Scan(SearchFrontEnd &frontEnd, const SearchRequest &request);
CrawlOutcome RegScan(SearchFrontEnd &frontEnd, const SearchRequest &request);

// A month field as the crawl reads it: a whole number from -32768 to 32767, optionally signed and
// surrounded by spaces. Anything else throws PlatformError.
qint16 monthNumber(const QString &strMonth);

} // namespace diarytrawl
