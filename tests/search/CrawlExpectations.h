#pragma once

#include <QString>

namespace diarytrawl::test {

// The log and the report of the whole search in tst_crawl, with "\n" line ends, HOST for the test
// server's host and FOLDER for the folder the search runs in. Kept apart because moc cannot read raw
// string literals.
extern const QString WholeLog;
extern const QString WholeReport;

} // namespace diarytrawl::test
