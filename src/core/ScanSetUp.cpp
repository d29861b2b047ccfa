// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScanSetUp.h"

namespace diarytrawl {

SearchSettings ScanSetUpStrings(const SearchRequest &request, bool bRegScan, const QString &strSiteHost)
{
    SearchSettings settings;
    settings.bRegScan = bRegScan;
    settings.strNick = request.strNick;
    settings.strYear = request.strYear;
    settings.strSearchTo = request.strSearchTo;
    settings.strStartAddress =
        u"http://" + strSiteHost + u"/~" + request.strNick + u'/' + request.strYear + u'/';
    settings.strFromMonth = request.strFromMonth;
    settings.strToMonth = request.strToMonth;
    settings.strResultsPageName = u"results.tmp." + request.strNick + u'.' + request.strYear + u'.' +
                                  request.strFromMonth + u'-' + request.strToMonth + u".htm";
    return settings;
}

} // namespace diarytrawl
