// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "loader/WebAddress.h"

#include <QString>

namespace diarytrawl {

// True when strLink points into the calendar of the scanned year: it contains "/<year>/<MM>/" for any
// month 01..12, whatever months are being searched. An entry with a name on the journal's own host
// ("https://some-user.dreamwidth.org/2005/03/17/a-name.html", LJ::Entry::url) is not a calendar link.
bool IsCalendarLink(const web::WebAddress &strLink, const QString &strYear, const QString &strNick,
                    const QString &strSiteHost);

// True when strLink is not an entry of strNick's journal: not a web (http or https) address, a site page
// (".bml", "/friends", "/doc/tour"), a folder (ends with "/"), not an ".html" page, or outside this
// user's journal: the address holds neither the user name followed by "/" nor, as its host, the
// journal's own host on the selected site: the user name with '_' written '-', ".", and the site's
// domain (strSiteHost without a port and a leading "www."). The texts are matched in the link's href; the
// host is the address's own.
bool SkipLink(const web::WebAddress &strLink, const QString &strNick, const QString &strSiteHost);

} // namespace diarytrawl
