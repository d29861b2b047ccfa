// SPDX-License-Identifier: GPL-3.0-or-later
#include "CacheCommand.h"

#include "SearchCommand.h"
#include "loader/HtmlParser.h"
#include "loader/PageCache.h"
#include "sites/Calendars.h"
#include "sites/JournalSiteRules.h"
#include "sites/LinkClassification.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSet>

#include <map>

using namespace Qt::StringLiterals;

namespace diarytrawl {

namespace {

// The usage is said in the desktop's language; what the cache holds is not.
class CacheCommand {
    Q_DECLARE_TR_FUNCTIONS(CacheCommand)
};

QString usage()
{
    return CacheCommand::tr(
        "usage: diarytrawl cache [--user NAME] [--site HOST] [--json]\n"
        "       diarytrawl cache --forget NAME [--site HOST]\n"
        "Says what the page cache holds: every journal it has pages of, or with --user one journal's\n"
        "years, months and entries and when each was last read; --json prints the same as one JSON\n"
        "object. --forget removes a journal's pages (on every site, or on HOST).\n"
        "Exit status: 0 done, 1 the cache cannot be changed, 64 bad usage.\n");
}

void write(FILE *stream, const QString &text)
{
    QFile file;
    if (file.open(stream, QIODevice::WriteOnly))
        file.write(text.toUtf8());
}

QString size(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

QString shown(const QDateTime &time)
{
    return time.isValid() ? time.toLocalTime().toString(u"yyyy-MM-dd HH:mm"_s) : u"at a time not known"_s;
}

QJsonValue json(const QDateTime &time)
{
    return time.isValid() ? QJsonValue(time.toUTC().toString(Qt::ISODate)) : QJsonValue();
}

QDateTime later(const QDateTime &a, const QDateTime &b)
{
    return !a.isValid() || (b.isValid() && b > a) ? b : a;
}

struct MonthHeld {
    QDateTime read;
    qint64 entries = 0; // linked from the month page
    qint64 kept = 0;    // of them, in the cache
    QDateTime lastRead; // the latest of those kept
};

struct YearHeld {
    QDateTime read; // the year page's; invalid when it is not kept
    std::map<int, MonthHeld> months;
};

struct JournalHeld {
    QDateTime calendarRead;
    std::map<int, YearHeld> years;
    qint64 otherPages = 0; // neither calendar, year, month nor an entry linked from a month kept
};

// Sorts a journal's pages into its calendar: month pages with the entries they link, and the rest.
JournalHeld sortPages(web::PageCache &cache, const web::PageCache::Owner &owner)
{
    const QList<web::PageCache::StoredPage> stored = cache.pagesOf(owner);
    QHash<QString, web::PageCache::StoredPage> pages;
    QHash<QString, QString> redirects;
    for (const web::PageCache::StoredPage &page : stored) {
        if (page.redirectsTo.isEmpty())
            pages.insert(page.address, page);
        else
            redirects.insert(page.address, web::cacheKeyOf(page.redirectsTo));
    }
    const auto keptAs = [&](QString key) {
        for (int hops = 0; hops <= web::PageCache::MaxRedirects && !pages.contains(key); ++hops)
            key = redirects.value(key);
        return key;
    };

    const quint32 reader = web::readerTag(sites::JournalSiteRules().readingVersion());
    JournalHeld held;
    QSet<QString> placed;
    for (const web::PageCache::StoredPage &page : std::as_const(pages)) {
        const std::optional<web::WebAddress> address = web::WebAddress::parse(page.address);
        if (!address)
            continue;
        if (sites::isCalendarPage(*address, owner.journal, owner.site)) {
            held.calendarRead = later(held.calendarRead, page.fetched);
            placed.insert(page.address);
            continue;
        }
        const sites::CalendarPlace place = sites::calendarPlaceOf(*address, owner.journal, owner.site);
        if (place.year == 0 || place.day != 0)
            continue;
        placed.insert(page.address);
        YearHeld &year = held.years[place.year];
        if (place.month == 0) {
            year.read = later(year.read, page.fetched);
            continue;
        }
        MonthHeld &month = year.months[place.month];
        month.read = later(month.read, page.fetched);
        web::PageCache::Found found = cache.lookup(page.address, reader);
        if (!found.page)
            continue;
        const HtmlDocument document =
            found.page->document
                ? *found.page->document
                : web::buildDocument(found.page->body, found.page->contentType, page.address);
        QSet<QString> entries;
        for (const web::WebAddress &link : document.links) {
            if (!IsCalendarLink(link, QString::number(place.year), owner.journal, owner.site) &&
                !SkipLink(link, owner.journal, owner.site))
                entries.insert(web::cacheKeyOf(link.href()));
        }
        for (const QString &entry : std::as_const(entries)) {
            ++month.entries;
            const QString key = keptAs(entry);
            if (!pages.contains(key))
                continue;
            ++month.kept;
            month.lastRead = later(month.lastRead, pages.value(key).fetched);
            placed.insert(key);
        }
    }
    held.otherPages = pages.size() - placed.size();
    return held;
}

QJsonObject journalJson(const web::PageCache::JournalSummary &summary, const JournalHeld *held)
{
    QJsonObject journal{{u"site"_s, summary.owner.site},
                        {u"user"_s, summary.owner.journal},
                        {u"pages"_s, summary.pages},
                        {u"bytes"_s, summary.bytes},
                        {u"lastRead"_s, json(summary.lastRead)}};
    if (!held)
        return journal;
    QJsonArray years;
    for (const auto &[number, year] : held->years) {
        QJsonArray months;
        for (const auto &[month, kept] : year.months)
            months.append(QJsonObject{{u"month"_s, month},
                                      {u"read"_s, json(kept.read)},
                                      {u"entries"_s, kept.entries},
                                      {u"kept"_s, kept.kept},
                                      {u"lastRead"_s, json(kept.lastRead)}});
        years.append(QJsonObject{{u"year"_s, number}, {u"read"_s, json(year.read)}, {u"months"_s, months}});
    }
    journal.insert(u"calendarRead"_s, json(held->calendarRead));
    journal.insert(u"years"_s, years);
    journal.insert(u"otherPages"_s, held->otherPages);
    return journal;
}

QString journalText(const web::PageCache::JournalSummary &summary, const JournalHeld *held)
{
    QString text = u"%1 on %2: %3 pages, %4, last read %5\n"_s.arg(
        summary.owner.journal.isEmpty() ? u"(no journal)"_s : summary.owner.journal,
        summary.owner.site.isEmpty() ? u"(no site)"_s : summary.owner.site, QString::number(summary.pages),
        size(summary.bytes), shown(summary.lastRead));
    if (!held)
        return text;
    if (held->calendarRead.isValid())
        text += u"  calendar read %1\n"_s.arg(shown(held->calendarRead));
    for (const auto &[number, year] : held->years) {
        text += u"  %1: %2\n"_s.arg(QString::number(number), year.read.isValid()
                                                                 ? u"year page read "_s + shown(year.read)
                                                                 : u"no year page"_s);
        for (const auto &[month, kept] : year.months) {
            text += u"    %1/%2: month page read %3; %4 entries, %5 kept"_s.arg(
                QString::number(number), QString::number(month).rightJustified(2, u'0'), shown(kept.read),
                QString::number(kept.entries), QString::number(kept.kept));
            if (kept.kept > 0)
                text += u", the last read "_s + shown(kept.lastRead);
            text += u'\n';
        }
    }
    if (held->otherPages > 0)
        text += u"  other pages: %1\n"_s.arg(held->otherPages);
    return text;
}

} // namespace

int runCacheCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption user(u"user"_s, QString(), u"NAME"_s);
    const QCommandLineOption site(u"site"_s, QString(), u"HOST"_s);
    const QCommandLineOption forget(u"forget"_s, QString(), u"NAME"_s);
    const QCommandLineOption jsonOption(u"json"_s);
    const QCommandLineOption help(QStringList{u"h"_s, u"help"_s});
    parser.addOptions({user, site, forget, jsonOption, help});
    if (!parser.parse(QStringList{u"diarytrawl cache"_s} + arguments) ||
        !parser.positionalArguments().isEmpty() ||
        (parser.isSet(forget) && (parser.isSet(user) || parser.isSet(jsonOption)))) {
        write(stderr, (parser.errorText().isEmpty() ? CacheCommand::tr("--forget goes with --site alone")
                                                    : parser.errorText()) +
                          u'\n' + usage());
        return exitStatus::Usage;
    }
    if (parser.isSet(help)) {
        write(stdout, usage());
        return exitStatus::Completed;
    }

    const std::shared_ptr<web::PageCache> cache = web::PageCache::open();
    for (const QString &note : cache->notes())
        write(stderr, note + u'\n');
    const QString siteHost = parser.value(site).toLower();

    if (parser.isSet(forget)) {
        const QString name = parser.value(forget).trimmed().toLower();
        const qint64 forgotten = cache->forget({siteHost, name});
        if (forgotten < 0) {
            write(stderr, u"diarytrawl cache: the pages of %1 cannot be removed from %2\n"_s.arg(
                              name, cache->file()));
            return exitStatus::Stopped;
        }
        const QString where = siteHost.isEmpty() ? QString() : u" on "_s + siteHost;
        write(stdout, forgotten == 0 ? u"The page cache holds no pages of %1%2.\n"_s.arg(name, where)
                                     : u"Removed %1 pages of %2%3 from the page cache.\n"_s.arg(
                                           QString::number(forgotten), name, where));
        return exitStatus::Completed;
    }

    const QString name = parser.value(user).trimmed().toLower();
    QList<web::PageCache::JournalSummary> journals;
    for (const web::PageCache::JournalSummary &summary : cache->journals()) {
        if ((name.isEmpty() || summary.owner.journal == name) &&
            (siteHost.isEmpty() || summary.owner.site == siteHost))
            journals.append(summary);
    }
    const qint64 bytes = cache->storedBytes();
    QJsonArray journalsJson;
    QString text = u"Page cache %1: %2\n"_s.arg(cache->file(), size(bytes));
    for (const web::PageCache::JournalSummary &summary : std::as_const(journals)) {
        std::optional<JournalHeld> held;
        if (!name.isEmpty())
            held = sortPages(*cache, summary.owner);
        const JournalHeld *details = held ? &*held : nullptr;
        journalsJson.append(journalJson(summary, details));
        text += journalText(summary, details);
    }
    if (!name.isEmpty() && journals.isEmpty())
        text += u"It holds no pages of %1%2.\n"_s.arg(name,
                                                      siteHost.isEmpty() ? QString() : u" on "_s + siteHost);
    if (parser.isSet(jsonOption))
        write(stdout, QString::fromUtf8(QJsonDocument(QJsonObject{{u"file"_s, cache->file()},
                                                                  {u"bytes"_s, bytes},
                                                                  {u"journals"_s, journalsJson}})
                                            .toJson(QJsonDocument::Compact)) +
                          u'\n');
    else
        write(stdout, text);
    return exitStatus::Completed;
}

} // namespace diarytrawl
