#pragma once

#include "SearchFrontEnd.h"

#include <QString>

namespace diarytrawl {

// How a search ended. The crawl itself reports everything through the front end; this is for callers
// that need an exit status.
enum class CrawlOutcome {
    Completed,          // every month walked; the report completed and opened
    StoppedAtMonthPage, // the user stopped a month page load; the report has no tail
    StoppedAtEntry,     // the user stopped an entry load; the report completed as aborted and opened
    Failed,             // a failure ended the search; reported in a message and in the log
};

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
