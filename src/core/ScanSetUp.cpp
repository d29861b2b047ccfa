// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScanSetUp.h"

namespace diarytrawl {

void ScanSetUpStrings(const QString &strNick, const QString &strYear, const QString &strFromMonth,
                      const QString &strToMonth, const QString &strSearchTo, QString &strStartAddress,
                      QString &strResultsPageName, bool bRegScan, const QString &strSiteHost, LogSink &log)
{
    log.Echo(u"nick: \"" + strNick + u"\";\r\n", false);
    log.Echo(u"year: \"" + strYear + u"\";\r\n", false);
    const QStringView label = bRegScan ? u"search expression: " : u"search-string: ";
    log.Echo(label + u'"' + strSearchTo + u"\";\r\n", false);
    strStartAddress = u"http://" + strSiteHost + u"/~" + strNick + u'/' + strYear + u'/';
    log.Echo(u"link: \"" + strStartAddress + u"\";\r\n", false);
    log.Echo(u"from month: " + strFromMonth + u";\r\n", false);
    log.Echo(u"to month: " + strToMonth + u";\r\n", false);
    strResultsPageName =
        u"results.tmp." + strNick + u'.' + strYear + u'.' + strFromMonth + u'-' + strToMonth + u".htm";
}

} // namespace diarytrawl
