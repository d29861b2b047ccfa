// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Crawl.h"
#include "MatchModes.h"

#include <QString>

namespace diarytrawl {

// The five fields of the search form, as typed.
struct SearchFields {
    QString strNick;
    QString strYear;
    QString strFromMonth;
    QString strToMonth;
    QString strSearchString;
};

// The controls the launch reads and switches: the two buttons, the five fields and the match-mode marks.
class SearchForm {
public:
    virtual ~SearchForm() = default;
    virtual void setSearchButtonEnabled(bool enabled) = 0;
    virtual void setCancelSearchButtonEnabled(bool enabled) = 0;
    virtual SearchFields readSearchFields() const = 0;
    virtual const MatchModes &matchModes() const = 0;
};

// Runs one search from the form: Search disabled and Cancel enabled for its duration, the stop flag
// cleared, the fields and marks read once at the start, the string translated as the marks say, then
// Scan or RegScan. Returns when the crawl has ended, whichever way.
CrawlOutcome SearchButton_Click(SearchForm &form, SearchFrontEnd &frontEnd);

// Asks a running search to stop at its next page load.
void CancelSearchButton_Click(WindowState &window);

} // namespace diarytrawl
