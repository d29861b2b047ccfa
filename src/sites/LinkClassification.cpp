// SPDX-License-Identifier: GPL-3.0-or-later
#include "LinkClassification.h"

#include "Sites.h"

#include <QRegularExpression>

namespace diarytrawl {

using namespace Qt::StringLiterals;
using web::WebAddress;

namespace {

bool contains(const QString &text, QStringView part)
{
    return text.contains(part, Qt::CaseInsensitive);
}

// Journals of today's sites live on hosts of their own: "https://some-user.livejournal.com/123.html" for
// the user some_user. Such an address holds the user name followed by '.', not by '/'; only the site's
// own domain may follow, or any host named after the user would pass.
bool isOnJournalHost(const WebAddress &link, const QString &strNick, const QString &strSiteHost)
{
    const QString domain = sites::siteDomain(strSiteHost);
    if (strNick.isEmpty() || domain.isEmpty())
        return false;
    QString journalHost = strNick;
    journalHost.replace(u'_', u'-');
    journalHost += u'.' + domain;
    return link.host().compare(journalHost, Qt::CaseInsensitive) == 0;
}

// "/YYYY/MM/DD/NAME.html": an entry that has a name (LJ::Entry::url).
bool isNamedEntryPath(QStringView path)
{
    static const QRegularExpression namedEntry(u"^/\\d{4}/\\d{2}/\\d{2}/[^/]+\\.html$"_s);
    return namedEntry.match(path).hasMatch();
}

} // namespace

bool IsCalendarLink(const WebAddress &link, const QString &strYear, const QString &strNick,
                    const QString &strSiteHost)
{
    if (isNamedEntryPath(link.path()) && isOnJournalHost(link, strNick, strSiteHost))
        return false;
    const QString &strLink = link.href();
    bool result = false;
    for (int month = 1; month <= 12 && !result; ++month) {
        const QString monthText = QStringLiteral("%1").arg(month, 2, 10, QChar(u'0'));
        result = contains(strLink, QString(u'/' + strYear + u'/' + monthText + u'/'));
    }
    return result;
}

bool SkipLink(const WebAddress &link, const QString &strNick, const QString &strSiteHost)
{
    const QString &strLink = link.href();
    // Only web pages can be loaded: a javascript:, mailto: or file: link is no entry, whatever it holds.
    const bool webPage = strLink.startsWith(u"http://", Qt::CaseInsensitive) ||
                         strLink.startsWith(u"https://", Qt::CaseInsensitive);
    return !webPage || contains(strLink, u".bml") || strLink.endsWith(u'/') ||
           contains(strLink, u"/friends") || contains(strLink, u"/doc/tour") ||
           (!contains(strLink, QString(strNick + u'/')) && !isOnJournalHost(link, strNick, strSiteHost)) ||
           !contains(strLink, u".html");
}

} // namespace diarytrawl
