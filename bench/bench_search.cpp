// SPDX-License-Identifier: GPL-3.0-or-later
// Whole searches by the real program against a fixture journal on loopback: what a search costs online
// (paced at one request per 200 ms, nothing more), what a re-search from the page cache costs (no
// network, no pause) and what each entry adds to it, and the program's peak memory over a year. The
// Dreamwidth case runs the crawl itself behind the site's limiter (a bucket of 30 requests that starts full
// and refills over 60 s, 429 with "Retry-After: 60" when empty), as a visitor: it takes its real time, a few
// minutes.
//
// Usage: bench_search [months]    (default 6; the memory case always walks 12 months)
//        bench_search dreamwidth [entries]    (default 34, about 100 requests)
//        bench_search years    (ten years of small entries, some years and months without any, a search
//                               of them all, then one stopped half way and run again)
#include "JournalServer.h"
#include "ProgramRun.h"
#include "SearchHarness.h"
#include "TestFolder.h"
#include "core/Crawl.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <csignal>

using namespace diarytrawl::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int EntriesPerMonth = 20;
constexpr int ExtraLinksPerMonth = 60;
constexpr int EntryBytes = 60 * 1024;

using Run = diarytrawl::bench::ProgramRun;

Run runSearch(const QString &folder, const QStringList &arguments)
{
    return diarytrawl::bench::runProgram(folder, QStringList{u"search"_s} + arguments);
}

void addJournal(JournalServer &server, const QString &user, int months)
{
    const QString paragraph = u"<p>Some text of the entry, now and then about LJ and the weather.</p>\n"_s;
    const QString text = paragraph.repeated(EntryBytes / int(paragraph.size()));
    // One entry a month tells of something rarer, halfway through.
    const QString rare =
        QString(text).insert(text.size() / 2, u"<p>Then a hailstorm came over the river.</p>\n"_s);
    int id = 1000;
    for (int month = 1; month <= months; ++month) {
        for (int day = 1; day <= EntriesPerMonth; ++day)
            server.addEntry({user, 2005, month, day, ++id, u"Entry %1"_s.arg(id), day == 10 ? rare : text});
    }
}

QString twoDigits(int month)
{
    return QString::number(month).rightJustified(2, u'0');
}

int dreamwidth(QTextStream &out, int entries)
{
    JournalServer server;
    for (int id = 1; id <= entries; ++id)
        server.addEntry(
            {u"bench"_s, 2005, 3, id % 28 + 1, id, u"Entry"_s, u"<p>About LJ and the weather</p>"_s});
    server.setRateLimit(std::chrono::seconds(60));
    server.setLiveJournalRedirect(true);
    TestFolder folder;
    SearchHarness harness(folder.path());
    harness.loaderOptions().originMap = {{u"https://*.dreamwidth.org"_s, server.origin()},
                                         {u"http://www.dreamwidth.org"_s, server.origin()}};
    harness.loaderOptions().timeScale = harness.retries.timeScale = 1;
    harness.state.strSiteHost = u"www.dreamwidth.org"_s;
    QElapsedTimer timer;
    timer.start();
    const diarytrawl::CrawlOutcome outcome =
        diarytrawl::Scan(harness, {u"bench"_s, u"2005"_s, u"03"_s, u"03"_s, u"weather"_s});
    const qint64 wallMs = timer.elapsed();
    QThreadPool::globalInstance()->waitForDone(); // pages still going to the cache in the folder
    const QList<RequestRecord> requests = server.requests();
    const auto refused = std::count_if(requests.begin(), requests.end(),
                                       [](const RequestRecord &request) { return request.status == 429; });
    const qint64 floorMs = qint64(requests.size()) * 2000;
    out << "Dreamwidth as a visitor: " << entries << " entries, " << requests.size() << " requests, "
        << (outcome == diarytrawl::CrawlOutcome::Completed ? "every page read" : "NOT every page read")
        << "\n"
        << "  " << wallMs << " ms against " << floorMs << " ms (requests x 2.0 s): ratio "
        << QString::number(double(wallMs) / double(floorMs), 'f', 3) << " (goal <= 1.2)\n"
        << "  429 answers: " << refused << " (goal <= 1)\n";
    return outcome == diarytrawl::CrawlOutcome::Completed ? 0 : 1;
}

// Ten years, two of them without entries, the others with entries in six months of twelve.
int years(QTextStream &out)
{
    JournalServer server;
    int id = 5000, withEntries = 0, entries = 0;
    for (int year = 2000; year <= 2009; ++year) {
        if (year == 2002 || year == 2006)
            continue;
        for (int month = 1; month <= 12; month += 2, ++withEntries)
            for (int day = 1; day <= 5; ++day, ++entries)
                server.addEntry(
                    {u"decade"_s, year, month, day, ++id, u"Entry"_s, u"<p>About LJ and the weather</p>"_s});
    }
    QTemporaryDir folder;
    const QStringList search = {u"--user"_s, u"decade"_s,  u"--year"_s, u"2000-2009"_s,
                                u"--from"_s, u"01"_s,      u"--to"_s,   u"12"_s,
                                u"--text"_s, u"weather"_s, u"--site"_s, server.host()};
    const Run whole = runSearch(folder.path(), search + QStringList{u"--max-age"_s, u"0"_s});
    // With --max-age 0 each entry is asked for three times: at its own address, at its reply page's, and
    // at its comments' (its own address again, with a fragment, after the reply page).
    const qsizetype floor = 10 + withEntries + 3 * entries;
    out << "ten years, " << withEntries << " months with entries, " << entries
        << " entries: " << server.requests().size() << " requests against " << floor
        << " (10 year pages + months with entries + entry pages), exit " << whole.exitCode << ", "
        << whole.wallMs << " ms, peak memory " << whole.peakKb / 1024 << " MB (goal < 100)\n";

    // A search stopped half way (Ctrl+C), then run again.
    QTemporaryDir again;
    server.clearRequests();
    const Run stopped =
        diarytrawl::bench::runProgram(again.path(), QStringList{u"search"_s} + search, [&](pid_t program) {
            while (server.requests().size() < floor / 2)
                QThread::msleep(20);
            ::kill(program, SIGINT);
        });
    QSet<QString> asked;
    for (const RequestRecord &request : server.requests())
        asked.insert(request.target);
    server.clearRequests();
    const Run resumed = runSearch(again.path(), search);
    const QList<RequestRecord> requests = server.requests();
    const auto repeated = std::count_if(requests.begin(), requests.end(), [&](const RequestRecord &request) {
        return request.target.endsWith(u".html"_s) && asked.contains(request.target);
    });
    out << "stopped after " << asked.size() << " pages (exit " << stopped.exitCode
        << "), run again: " << requests.size() << " requests, " << repeated
        << " of them for entries asked before (goal 0), exit " << resumed.exitCode << "\n";
    return whole.exitCode == 0 && resumed.exitCode == 0 && repeated == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    if (argc > 1 && qstrcmp(argv[1], "years") == 0)
        return years(out);
    if (argc > 1 && qstrcmp(argv[1], "dreamwidth") == 0)
        return dreamwidth(out, argc > 2 ? std::max(1, QString::fromLocal8Bit(argv[2]).toInt()) : 34);
    const int months = argc > 1 ? std::clamp(QString::fromLocal8Bit(argv[1]).toInt(), 1, 12) : 6;
    QTemporaryDir folder;

    JournalServer server;
    server.setExtraMonthLinks(ExtraLinksPerMonth);
    addJournal(server, u"bench"_s, 12);
    const QStringList search = {u"--user"_s, u"bench"_s,   u"--year"_s, u"2005"_s,
                                u"--from"_s, u"01"_s,      u"--to"_s,   twoDigits(months),
                                u"--text"_s, u"weather"_s, u"--site"_s, server.host()};

    const Run online = runSearch(folder.path(), search);
    const QList<RequestRecord> requests = server.requests();
    qint64 closest = std::numeric_limits<qint64>::max();
    for (qsizetype i = 1; i < requests.size(); ++i)
        closest = std::min(closest, requests.at(i).arrivedMs - requests.at(i - 1).arrivedMs);
    const qint64 floorMs = qint64(requests.size()) * 200;
    out << "online search: " << months << " months, " << months * EntriesPerMonth << " entries, "
        << requests.size() << " requests, exit " << online.exitCode << "\n"
        << "  " << online.wallMs << " ms against a floor of " << floorMs << " ms (requests x 200 ms): ratio "
        << QString::number(double(online.wallMs) / double(floorMs), 'f', 3) << " (goal <= 1.15)\n"
        << "  closest two requests: " << closest << " ms apart (goal >= 200)\n";

    server.clearRequests();
    const Run offline = runSearch(folder.path(), search + QStringList{u"--offline"_s});
    out << "offline re-search from the page cache: " << offline.wallMs << " ms (goal < 4000), "
        << server.requests().size() << " requests, exit " << offline.exitCode << "\n";

    // A whole year: the months not yet read from the network, then all twelve again from the cache.
    QStringList rest = search;
    rest[rest.indexOf(u"--from"_s) + 1] = twoDigits(std::min(months + 1, 12));
    rest[rest.indexOf(u"--to"_s) + 1] = u"12"_s;
    const Run restOnline = months < 12 ? runSearch(folder.path(), rest) : online;
    QStringList year = search + QStringList{u"--offline"_s};
    year[year.indexOf(u"--to"_s) + 1] = u"12"_s;
    const Run wholeYear = runSearch(folder.path(), year);
    out << "peak memory of the program: " << std::max(online.peakKb, restOnline.peakKb) / 1024
        << " MB online (the largest of the two online runs), " << wholeYear.peakKb / 1024
        << " MB for a 12-month search from the cache (goal <= 100), which took " << wholeYear.wallMs
        << " ms\n";

    // What one more entry costs a re-search from the cache: the slope between one month and twelve, so
    // that what a run costs to start does not count; the best of seven runs of each, in wall time and in
    // processor time (which other programs on a shared machine disturb less). Each entry is linked
    // three times (itself, its reply page, its comments) and a month page has 60 links more. The
    // patterns find one entry a month, as a search mostly does; the last finds every entry some 880
    // times, and what it costs is mostly writing its report (some 170 KB of excerpts an entry).
    bool offlineRuns = true;
    const auto fastest = [&](const QStringList &arguments) {
        std::pair<qint64, qint64> best{std::numeric_limits<qint64>::max(),
                                       std::numeric_limits<qint64>::max()};
        for (int run = 0; run < 7; ++run) {
            const Run timed = runSearch(folder.path(), arguments);
            offlineRuns = offlineRuns && timed.exitCode == 0;
            best = {std::min(best.first, timed.wallMs), std::min(best.second, timed.cpuUs)};
        }
        return best;
    };
    const struct {
        const char *kind;
        QStringList options;
    } patterns[] = {{"plain text", {u"--text"_s, u"hailstorm"_s}},
                    {"regular expression", {u"--text"_s, u"hail(storm|stone)s?\\b"_s, u"--regexp"_s}},
                    {"masks", {u"--text"_s, u"hail*came ?ver"_s, u"--masks"_s}},
                    {"OR/THEN", {u"--text"_s, u"blizzard OR hailstorm THEN river"_s, u"--or-then"_s}},
                    {"plain text found everywhere", {u"--text"_s, u"weather"_s}}};
    out << "offline re-search, cost of one more entry of " << EntryBytes / 1024
        << " KB (12 months against 1, best of 7; goal <= 0.3 ms):\n";
    for (const auto &pattern : patterns) {
        QStringList one = search + QStringList{u"--offline"_s} + pattern.options;
        one[one.indexOf(u"--to"_s) + 1] = u"01"_s;
        QStringList twelve = one;
        twelve[twelve.indexOf(u"--to"_s) + 1] = u"12"_s;
        const auto [oneMs, oneCpuUs] = fastest(one);
        const auto [twelveMs, twelveCpuUs] = fastest(twelve);
        const double entries = 11 * EntriesPerMonth;
        out << "  " << pattern.kind << ": " << oneMs << " ms for 1 month, " << twelveMs
            << " ms for 12: " << QString::number(double(twelveMs - oneMs) / entries, 'f', 3)
            << " ms an entry; processor time " << oneCpuUs / 1000 << " and " << twelveCpuUs / 1000
            << " ms: " << QString::number(double(twelveCpuUs - oneCpuUs) / 1000 / entries, 'f', 3)
            << " ms an entry\n";
    }
    return online.exitCode == 0 && offline.exitCode == 0 && restOnline.exitCode == 0 &&
                   wholeYear.exitCode == 0 && offlineRuns
               ? 0
               : 1;
}
