// SPDX-License-Identifier: GPL-3.0-or-later
#include "Calendars.h"

#include "Sites.h"

#include <QRegularExpression>

#include <algorithm>
#include <set>

using namespace Qt::StringLiterals;

namespace diarytrawl::sites {

namespace {

// The link's path within the journal ("/2005/03/", "/calendar"); empty when it leads elsewhere.
QStringView journalPathOf(const web::WebAddress &link, const QString &nick, const QString &siteHost)
{
    if (!link.isHttp())
        return {};
    QString journalHost = nick;
    journalHost.replace(u'_', u'-');
    journalHost += u'.' + siteDomain(siteHost);
    QStringView path = link.path();
    if (link.host().compare(journalHost, Qt::CaseInsensitive) != 0) {
        for (const QString &prefix : {QString(u"/~"_s + nick + u'/'), QString(u"/users/"_s + nick + u'/')}) {
            if (path.startsWith(prefix, Qt::CaseInsensitive)) {
                path = path.sliced(prefix.size() - 1);
                break;
            }
        }
        if (path == link.path())
            return {};
    }
    return path;
}

// The journal's calendar part of a link's path: "YYYY", "YYYY/MM" or "YYYY/MM/DD"; empty when the link
// leads elsewhere.
QStringView calendarPathOf(const web::WebAddress &link, const QString &nick, const QString &siteHost)
{
    const QStringView path = journalPathOf(link, nick, siteHost);
    static const QRegularExpression calendar(u"^/(\\d{4})/(?:(\\d{2})/(?:(\\d{2})/)?)?$"_s);
    return calendar.match(path).hasMatch() ? path.sliced(1, path.size() - 2) : QStringView();
}

} // namespace

CalendarPlace calendarPlaceOf(const web::WebAddress &address, const QString &nick, const QString &siteHost)
{
    const QStringView part = calendarPathOf(address, nick, siteHost);
    if (part.isEmpty())
        return {};
    return {part.first(4).toInt(), part.size() >= 7 ? part.sliced(5, 2).toInt() : 0,
            part.size() >= 10 ? part.sliced(8, 2).toInt() : 0};
}

bool isCalendarPage(const web::WebAddress &address, const QString &nick, const QString &siteHost)
{
    const QStringView path = journalPathOf(address, nick, siteHost);
    return path == u"/calendar" || path == u"/archive";
}

QString yearPageAddress(const QString &siteHost, const QString &nick, int year)
{
    return u"http://"_s + siteHost + u"/~"_s + nick + u'/' + QString::number(year) + u'/';
}

QString calendarAddress(const QString &siteHost, const QString &nick)
{
    return u"http://"_s + siteHost + u"/~"_s + nick + u"/calendar"_s;
}

QList<int> monthsWithEntries(const HtmlDocument &page, int year, const QString &nick, const QString &siteHost)
{
    std::set<int> months;
    for (const web::WebAddress &link : page.links) {
        const QStringView part = calendarPathOf(link, nick, siteHost);
        if (part.size() >= 7 && part.first(4).toInt() == year) {
            const int month = part.sliced(5, 2).toInt();
            if (month >= 1 && month <= 12)
                months.insert(month);
        }
    }
    return QList<int>(months.begin(), months.end());
}

QList<int> yearsWithEntries(const HtmlDocument &page, const QString &nick, const QString &siteHost)
{
    std::set<int> years;
    for (const web::WebAddress &link : page.links) {
        if (const QStringView part = calendarPathOf(link, nick, siteHost); !part.isEmpty())
            years.insert(part.first(4).toInt());
    }
    return QList<int>(years.begin(), years.end());
}

} // namespace diarytrawl::sites
