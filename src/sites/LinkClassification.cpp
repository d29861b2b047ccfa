// SPDX-License-Identifier: GPL-3.0-or-later
#include "LinkClassification.h"

#include "Sites.h"

#include <QRegularExpression>

namespace diarytrawl {

using namespace Qt::StringLiterals;

namespace {

bool contains(const QString &text, QStringView part)
{
    return text.contains(part, Qt::CaseInsensitive);
}

// Journals of today's sites live on hosts of their own: "https://some-user.livejournal.com/123.html" for
// the user some_user. Such an address holds the user name followed by '.', not by '/'; only the site's
// own domain may follow, or any host named after the user would pass.
bool isOnJournalHost(const QString &strLink, const QString &strNick, const QString &strSiteHost)
{
    const qsizetype schemeEnd = strLink.indexOf(u"://");
    if (schemeEnd < 0 || strNick.isEmpty())
        return false;
    const qsizetype hostStart = schemeEnd + 3;
    qsizetype authorityEnd = hostStart;
    while (authorityEnd < strLink.size() && !QStringView(u"/?#").contains(strLink.at(authorityEnd)))
        ++authorityEnd;
    const QStringView authority = QStringView(strLink).mid(hostStart, authorityEnd - hostStart);
    QStringView host = authority.mid(authority.lastIndexOf(u'@') + 1);
    if (const qsizetype colon = host.lastIndexOf(u':'); colon >= 0 && !host.endsWith(u']'))
        host = host.first(colon);
    const QString domain = sites::siteDomain(strSiteHost);
    QString journalHost = strNick;
    journalHost.replace(u'_', u'-');
    journalHost += u'.' + domain;
    return !domain.isEmpty() && host.compare(journalHost, Qt::CaseInsensitive) == 0;
}

// "/YYYY/MM/DD/NAME.html": an entry that has a name, on its journal's host.
bool isNamedEntryPath(const QString &strLink)
{
    static const QRegularExpression namedEntry(u"^[a-zA-Z][a-zA-Z0-9+.-]*://[^/?#]*/\\d{4}/\\d{2}/\\d{2}/"
                                               u"[^/?#]+\\.html(?:[?#]|$)"_s);
    return namedEntry.match(strLink).hasMatch();
}

} // namespace

bool IsCalendarLink(const QString &strLink, const QString &strYear, const QString &strNick,
                    const QString &strSiteHost)
{
    if (isNamedEntryPath(strLink) && isOnJournalHost(strLink, strNick, strSiteHost))
        return false;
    bool result = false;
    for (int month = 1; month <= 12 && !result; ++month) {
        const QString monthText = QStringLiteral("%1").arg(month, 2, 10, QChar(u'0'));
        result = contains(strLink, QString(u'/' + strYear + u'/' + monthText + u'/'));
    }
    return result;
}

bool SkipLink(const QString &strLink, const QString &strNick, const QString &strSiteHost)
{
    // Only web pages can be loaded: a javascript:, mailto: or file: link is no entry, whatever it holds.
    const bool webPage = strLink.startsWith(u"http://", Qt::CaseInsensitive) ||
                         strLink.startsWith(u"https://", Qt::CaseInsensitive);
    return !webPage || contains(strLink, u".bml") || strLink.endsWith(u'/') ||
           contains(strLink, u"/friends") || contains(strLink, u"/doc/tour") ||
           (!contains(strLink, QString(strNick + u'/')) && !isOnJournalHost(strLink, strNick, strSiteHost)) ||
           !contains(strLink, u".html");
}

} // namespace diarytrawl
