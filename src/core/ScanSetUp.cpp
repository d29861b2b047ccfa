// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScanSetUp.h"

#include <algorithm>

namespace diarytrawl {

SearchSettings ScanSetUpStrings(const SearchRequest &request, bool bRegScan, const QString &strSiteHost)
{
    SearchSettings settings;
    settings.bRegScan = bRegScan;
    settings.strNick = request.strNick;
    settings.strYear = request.strYear;
    settings.strSearchTo = request.strSearchTo; // Over several years ("2003-2012", "all") the journal's own
                                                // address stands for the year's.
    const bool oneYear =
        std::all_of(request.strYear.begin(), request.strYear.end(), [](QChar c) { return c.isDigit(); });
    settings.strStartAddress = u"http://" + strSiteHost + u"/~" + request.strNick + u'/' +
                               (oneYear ? request.strYear + u'/' : QString());
    settings.strFromMonth = request.strFromMonth;
    settings.strToMonth = request.strToMonth;
    settings.strResultsPageName = u"results.tmp." + request.strNick + u'.' + request.strYear + u'.' +
                                  request.strFromMonth + u'-' + request.strToMonth + u".htm";
    return settings;
}

} // namespace diarytrawl
