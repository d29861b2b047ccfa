// SPDX-License-Identifier: GPL-3.0-or-later
#include "SearchLaunch.h"

#include "SearchTranslation.h"

namespace diarytrawl {

CrawlOutcome SearchButton_Click(SearchForm &form, SearchFrontEnd &frontEnd)
{
    form.setSearchButtonEnabled(false);
    frontEnd.windowState().bStopRequested = false;
    form.setCancelSearchButtonEnabled(true);

    const SearchFields fields = form.readSearchFields();
    const SearchPlan plan = planSearch(fields.strSearchString, form.matchModes());
    const SearchRequest request{fields.strNick, fields.strYear, fields.strFromMonth, fields.strToMonth,
                                plan.strSearchTo};
    const CrawlOutcome outcome = plan.bRegScan ? RegScan(frontEnd, request) : Scan(frontEnd, request);

    form.setCancelSearchButtonEnabled(false);
    form.setSearchButtonEnabled(true);
    return outcome;
}

void CancelSearchButton_Click(WindowState &window)
{
    window.bStopRequested = true;
}

} // namespace diarytrawl
