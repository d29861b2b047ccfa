// SPDX-License-Identifier: GPL-3.0-or-later
#include "JournalServer.h"
#include "SearchHarness.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace diarytrawl::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int RunTimeoutMs = 60000;

struct Run {
    QProcess::ExitStatus status = QProcess::NormalExit;
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

// The program as a user runs it from a shell: its options, what it prints and its exit statuses.
class TestSearchCommand : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void commandLine_data();
    void commandLine();
    void jsonEventsFollowTheLog();
    void interruptStopsTheSearch();
    void openHandsTheReportToTheDesktop();
    void pageCacheAcrossRuns();

private:
    // Leading NAME=value arguments set the program's environment, as in a shell.
    QProcess *start(QStringList arguments);
    Run finish(QProcess *process);
    Run run(const QStringList &arguments) { return finish(start(arguments)); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<JournalServer> m_server;
    QStringList m_search; // "search" with the site of the test server
    QString m_path;
};

void TestSearchCommand::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<JournalServer>();
    m_server->addEntry({u"inkwell"_s, 2005, 3, 17, 101, u"About LJ"_s, u"<p>Our LJ community</p>"_s});
    m_server->addEntry({u"nick"_s, 2005, 6, 1, 601, u"June"_s, u"<p>A lj entry in June</p>"_s});
    m_server->setPage(u"/~nobody/2005/03/"_s, 404, "text/html", "<p>no such journal</p>");
    m_search = {u"search"_s, u"--site"_s, m_server->host()};
    m_path = qEnvironmentVariable("PATH");
}

void TestSearchCommand::cleanup()
{
    m_server.reset();
    m_dir.reset();
}

QProcess *TestSearchCommand::start(QStringList arguments)
{
    auto *process = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_CONFIG_HOME"_s, m_dir->path() + u"/config"_s);
    environment.insert(u"XDG_CACHE_HOME"_s, m_dir->path() + u"/cache"_s);
    environment.insert(u"PATH"_s, m_path);
    for (; arguments.value(0).contains(u'='); arguments.removeFirst())
        environment.insert(arguments.first().section(u'=', 0, 0), arguments.first().section(u'=', 1));
    process->setProcessEnvironment(environment);
    process->setWorkingDirectory(m_dir->path());
    process->start(QStringLiteral(DIARYTRAWL_BINARY), arguments);
    process->waitForStarted();
    return process;
}

Run TestSearchCommand::finish(QProcess *process)
{
    if (!process->waitForFinished(RunTimeoutMs))
        process->kill();
    Run result{process->exitStatus(), process->exitCode(),
               QString::fromUtf8(process->readAllStandardOutput()),
               QString::fromUtf8(process->readAllStandardError())};
    process->deleteLater();
    return result;
}

void TestSearchCommand::commandLine_data()
{
    // After "search" with the test server's site, unless "-"; after NAME=value settings of the environment.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QString>("firstLine"); // how standard output (or error, when it is empty) begins
    QTest::addColumn<QString>("piece");     // somewhere in the output

    const QString see = u"; see 'diarytrawl search --help'"_s;
    QTest::newRow("version") << QStringList{u"-"_s, u"--version"_s} << 0 << u"diarytrawl 1.0.1.7b"_s
                             << QString();
    QTest::newRow("help") << QStringList{u"-"_s, u"--help"_s} << 0 << u"Usage: diarytrawl"_s
                          << u"diarytrawl search [options]"_s;
    QTest::newRow("search help")
        << QStringList{u"--help"_s} << 0 << u"Usage: diarytrawl search --user NAME [options]"_s
        << u"--timeout SECONDS       a load that receives nothing for this long fails "
           u"(default: 60)"_s;
    QTest::newRow("no user") << QStringList() << 64 << u"diarytrawl search: --user NAME is required"_s + see
                             << QString();
    QTest::newRow("month not a number")
        << QStringList{u"--user"_s, u"inkwell"_s, u"--from"_s, u"March"_s} << 64
        << u"diarytrawl search: --from must be a whole number from -32768 to 32767, not \"March\""_s + see
        << QString();
    QTest::newRow("pattern that does not compile")
        << QStringList{u"--user"_s, u"inkwell"_s, u"--regexp"_s, u"--text"_s, u"(LJ"_s} << 64
        << u"diarytrawl search: the search expression \"(LJ\" does not compile: Syntax error in regular "
           u"expression: missing closing parenthesis (at character 4)"_s +
               see
        << QString();
    QTest::newRow("years that run backwards")
        << QStringList{u"--user"_s, u"inkwell"_s, u"--year"_s, u"2012-2003"_s} << 64
        << u"diarytrawl search: --year \"2012-2003\" runs backwards: give the earlier year first"_s + see
        << QString();
    QTest::newRow("a pace faster than the sites allow")
        << QStringList{u"--user"_s, u"inkwell"_s, u"--pace"_s, u"0.1"_s} << 64
        << u"diarytrawl search: --pace must be a number of seconds from 0.2 to 3600, not \"0.1\""_s + see
        << QString();
    QTest::newRow("unknown option") << QStringList{u"--user"_s, u"inkwell"_s, u"--colour"_s} << 64
                                    << u"diarytrawl search: unknown option 'colour'"_s + see << QString();
    QTest::newRow("modes that exclude each other")
        << QStringList{u"--user"_s, u"inkwell"_s, u"--regexp"_s, u"--masks"_s} << 64
        << u"diarytrawl search: --regexp and --masks exclude each other"_s + see << QString();
    QTest::newRow("a cache limit that is no size")
        << QStringList{u"--user"_s, u"inkwell"_s, u"--cache-limit"_s, u"2 gigs"_s} << 64
        << u"diarytrawl search: --cache-limit must be a size such as 2G, 500M, 64K or a number of bytes, "
           u"not \"2 gigs\""_s +
               see
        << QString();
    QTest::newRow("cache: --forget with --user")
        << QStringList{u"-"_s, u"cache"_s, u"--forget"_s, u"a"_s, u"--user"_s, u"b"_s} << 64
        << u"--forget goes with --site alone"_s << u"usage: diarytrawl cache"_s;
    // A Russian desktop: the help and the usage errors, Qt's own among them, in Russian.
    const QStringList russian{u"LC_ALL=ru_RU.UTF-8"_s, u"LANG=ru_RU.UTF-8"_s};
    const QString seeRussian = u"; см. «diarytrawl search --help»"_s;
    QTest::newRow("help in Russian")
        << russian + QStringList{u"--help"_s} << 0
        << u"Использование: diarytrawl search --user ИМЯ [параметры]"_s
        << u"--timeout СЕКУНДЫ       загрузка, не получившая ничего за столько секунд, не удалась"_s;
    QTest::newRow("month not a number, in Russian")
        << russian + QStringList{u"--user"_s, u"inkwell"_s, u"--from"_s, u"March"_s} << 64
        << u"diarytrawl search: --from: нужно целое число от -32768 до 32767, а не «March»"_s + seeRussian
        << QString();
    QTest::newRow("unknown option, in Russian")
        << russian + QStringList{u"--user"_s, u"inkwell"_s, u"--colour"_s} << 64
        << u"diarytrawl search: неизвестный параметр «colour»"_s + seeRussian << QString();
    QTest::newRow("cookies of a browser that encrypts them")
        << QStringList{u"--user"_s, u"inkwell"_s, u"--cookies-from-browser"_s, u"chrome"_s} << 64
        << u"diarytrawl search: --cookies-from-browser reads Firefox only"_s << u"encrypt"_s;

    QTest::newRow("every page read") << QStringList{u"--user"_s, u"inkwell"_s} << 0 << u"Scan():"_s
                                     << u"\nresults: 3 links found (see log above);\n3 links scanned;\n"_s;
    QTest::newRow("masks") << QStringList{u"--user"_s, u"nick"_s,   u"--from"_s,   u"6"_s,      u"--to"_s,
                                          u"6"_s,      u"--text"_s, u"l? entry"_s, u"--masks"_s}
                           << 0 << u"RegScan():"_s << u"search expression: \"l.? entry\";"_s;
    QTest::newRow("a page not read") << QStringList{u"--user"_s, u"nobody"_s} << 3 << u"Scan():"_s
                                     << u"1 pages could not be read (see log above);\n"_s;
    QTest::newRow("failed: the report cannot be written")
        << QStringList{u"--user"_s, u"a/b"_s} << 2 << u"Scan():"_s << u"Search aborted."_s;
    QTest::newRow("quiet") << QStringList{u"--user"_s, u"inkwell"_s, u"--quiet"_s} << 0
                           << u"--> link 'http://HOST/~inkwell/101.html':"_s
                           << u"    found string 'LJ' (occurrence 3)\nresults: 3 links found"_s;
}

void TestSearchCommand::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitStatus);
    QFETCH(QString, firstLine);
    QFETCH(QString, piece);

    QStringList command;
    while (arguments.value(0).contains(u'='))
        command << arguments.takeFirst();
    const Run result = run(command + (arguments.value(0) == u"-" ? arguments.mid(1) : m_search + arguments));
    QCOMPARE(result.exitCode, exitStatus);
    const QString output = result.out.isEmpty() ? result.err : result.out;
    QVERIFY2(output.section(u'\n', 0, 0).startsWith(firstLine.replace(u"HOST"_s, m_server->host())),
             qPrintable(output));
    QVERIFY2(output.contains(piece) || result.err.contains(piece), qPrintable(output));
    QVERIFY(!result.out.contains(u'\r')); // the log has CR LF line ends only in the window
    if (exitStatus == 64)
        QVERIFY(m_server->requests().isEmpty());
}

// One event per step of the log, in the same order; a match in a comment names the comment. What a search
// writes is the same in every language: the log byte for byte (but for how many progress dots a load
// took, which varies from run to run), and the JSON lines.
void TestSearchCommand::jsonEventsFollowTheLog()
{
    m_server->setPage(u"/~inkwell/2005/04/"_s, 404, "text/html", "<p>no such month</p>");
    m_server->addEntry({u"inkwell"_s,
                        2005,
                        3,
                        18,
                        102,
                        u"Talk"_s,
                        u"<p>Nothing here</p>"_s,
                        QTime(9, 0),
                        false,
                        AdultNotice::None,
                        QString(),
                        {{5001, u"reader"_s, u"<p>Our LJ friends</p>"_s}}});
    const QStringList search =
        m_search + QStringList{u"--user"_s, u"inkwell"_s,   u"--to"_s,
                               u"04"_s,     u"--max-age"_s, u"0"_s}; // each run reads what the first did
    const QStringList russian{u"LC_ALL=ru_RU.UTF-8"_s, u"LANG=ru_RU.UTF-8"_s};
    const Run log = run(search);
    QCOMPARE(normalisedLog(run(russian + search).out), normalisedLog(log.out));
    const Run json = run(russian + search + QStringList{u"--json"_s});
    QCOMPARE(json.exitCode, 3);

    static const QRegularExpression lines(u"^(?:Loading page \\.\\.\\. \"(.*)\";|link\\(\\d+\\): '(.*)' -- "
                                          u"skipped|\\d+/\\d+/link\\(\\d+\\): '(.*)'|"
                                          u"--> link '(.*)':|.*Could not read the month page \"(.*)\":.*)$"_s,
                                          QRegularExpression::MultilineOption);
    QStringList fromLog;
    for (auto it = lines.globalMatch(log.out); it.hasNext();) {
        const QRegularExpressionMatch line = it.next();
        static const QStringList kinds = {u"month"_s, u"link"_s, u"link"_s, u"match"_s, u"failure"_s};
        for (int group = 1; group <= 5; ++group) {
            if (line.hasCaptured(group))
                fromLog << kinds.at(group - 1) + u' ' + line.captured(group);
        }
    }
    QStringList fromJson;
    QJsonObject summary;
    QJsonObject lastMatch;
    for (const QString &line : json.out.split(u'\n', Qt::SkipEmptyParts)) {
        const QJsonObject event = QJsonDocument::fromJson(line.toUtf8()).object();
        const QString kind = event.value(u"event"_s).toString();
        QVERIFY2(!kind.isEmpty(), qPrintable(line));
        if (kind == u"summary")
            summary = event;
        else if (kind != u"entry")
            fromJson << kind + u' ' + event.value(u"address"_s).toString();
        if (kind == u"match")
            lastMatch = event;
    }
    QCOMPARE(fromJson, fromLog);
    const QJsonObject comment = lastMatch.value(u"comments"_s).toArray().first().toObject();
    QCOMPARE(comment.value(u"author"_s).toString(), u"reader"_s);
    QVERIFY(comment.value(u"address"_s).toString().endsWith(u"/~inkwell/102.html?thread=5001#t5001"_s));
    QCOMPARE(comment.value(u"excerpts"_s).toArray().first().toString(), u"Our LJ friends"_s);
    QCOMPARE(summary.value(u"found"_s).toInt(), 6);
    QCOMPARE(summary.value(u"failed"_s).toInt(), 1);
    QCOMPARE(summary.value(u"ended"_s).toString(), u"completed-with-unread-pages"_s);
}

void TestSearchCommand::interruptStopsTheSearch()
{
    m_server->setHang(u"/~inkwell/2005/03/"_s);
    QProcess *process = start(m_search + QStringList{u"--user"_s, u"inkwell"_s});
    QTRY_VERIFY_WITH_TIMEOUT(m_server->requestCount(u"/~inkwell/2005/03/"_s) > 0, RunTimeoutMs);
    ::kill(pid_t(process->processId()), SIGINT);
    const Run result = finish(process);
    QCOMPARE(result.status, QProcess::NormalExit);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.out.endsWith(u"\n --- stopped by user --- \n"_s), qPrintable(result.out));
}

void TestSearchCommand::openHandsTheReportToTheDesktop()
{
    // A stand-in for the desktop's handler that notes what it was asked to open.
    const QString bin = m_dir->path() + u"/bin"_s;
    QDir().mkpath(bin);
    QFile opener(bin + u"/xdg-open"_s);
    QVERIFY(opener.open(QIODevice::WriteOnly));
    opener.write("#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"$(dirname \"$0\")/opened\"\n");
    opener.close();
    opener.setPermissions(opener.permissions() | QFileDevice::ExeOwner);
    m_path = bin + u':' + m_path;

    QCOMPARE(run(m_search + QStringList{u"--user"_s, u"inkwell"_s}).exitCode, 0);
    QVERIFY(!QFile::exists(bin + u"/opened"_s)); // without --open the report is only written
    QCOMPARE(run(m_search + QStringList{u"--user"_s, u"inkwell"_s, u"--open"_s}).exitCode, 0);
    const auto opened = [&bin] {
        QFile file(bin + u"/opened"_s);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    // The handler runs detached: the search does not wait for it.
    QTRY_COMPARE(opened(), m_dir->path() + u"/results.tmp.inkwell.2005.03-03.htm\n"_s);
}

// The page cache across runs: what the cache command says it holds, a re-search offline (the settings'
// offline mode) that reports exactly what the online search did, a journal forgotten, --online.
void TestSearchCommand::pageCacheAcrossRuns()
{
    const QStringList search = m_search + QStringList{u"--user"_s, u"inkwell"_s};
    QCOMPARE(run(search).exitCode, 0);
    const auto report = [this] {
        QFile file(m_dir->filePath(u"results.tmp.inkwell.2005.03-03.htm"_s));
        static const QRegularExpression times(u"scan (started|finished) at: <i>[^<]*</i>"_s);
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).replace(times, u"TIME"_s)
                                              : QString();
    };
    const QString onlineReport = report();
    QVERIFY(onlineReport.contains(u"TIME"_s) && onlineReport.contains(u"/~inkwell/101.html"_s));

    const Run held = run({u"cache"_s, u"--user"_s, u"inkwell"_s, u"--json"_s});
    QCOMPARE(held.exitCode, 0);
    const QJsonArray journals =
        QJsonDocument::fromJson(held.out.toUtf8()).object().value(u"journals"_s).toArray();
    QCOMPARE(journals.size(), 1);
    const QJsonObject journal = journals.first().toObject();
    QCOMPARE(journal.value(u"site"_s).toString(), m_server->host());
    const QJsonObject march = journal.value(u"years"_s)
                                  .toArray()
                                  .first()
                                  .toObject()
                                  .value(u"months"_s)
                                  .toArray()
                                  .first()
                                  .toObject();
    QCOMPARE(march.value(u"month"_s).toInt(), 3);
    QVERIFY(march.value(u"entries"_s).toInt() > 0);
    QCOMPARE(march.value(u"kept"_s), march.value(u"entries"_s));
    QVERIFY(run({u"cache"_s}).out.contains(u"inkwell on "_s + m_server->host() + u": "_s));

    m_server->clearRequests();
    QDir().mkpath(m_dir->path() + u"/config/diarytrawl"_s);
    QFile settings(m_dir->path() + u"/config/diarytrawl/settings.json"_s);
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write(
        R"({"values": {"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet )"
        R"(Settings\\GlobalUserOffline": {"type": "REG_DWORD", "data": 1}}})");
    settings.close();
    const Run offline = run(search);
    QCOMPARE(offline.exitCode, 0);
    QVERIFY(
        offline.out.contains(u"to month: 03;\noffline mode: pages are read only from the page cache;\n"_s));
    QCOMPARE(report(), onlineReport);
    // A month never loaded online is not there, and the log says why.
    const Run missing = run(search + QStringList{u"--from"_s, u"04"_s, u"--to"_s, u"04"_s});
    QCOMPARE(missing.exitCode, 3);
    QVERIFY(missing.out.contains(u"it is not in the page cache (offline mode);"_s));
    QVERIFY(m_server->requests().isEmpty());

    QCOMPARE(run({u"cache"_s, u"--forget"_s, u"Inkwell"_s}).out.section(u' ', 0, 0), u"Removed"_s);
    QCOMPARE(run(search).exitCode, 3); // nothing of it is left
    QCOMPARE(run({u"cache"_s, u"--forget"_s, u"inkwell"_s}).out,
             u"The page cache holds no pages of inkwell.\n"_s);

    const Run online = run(search + QStringList{u"--online"_s, u"--from"_s, u"04"_s, u"--to"_s, u"04"_s});
    QCOMPARE(online.exitCode, 0);
    QCOMPARE(m_server->requestCount(u"/~inkwell/2005/04/"_s), 1);
}

QTEST_GUILESS_MAIN(TestSearchCommand)
#include "tst_searchcommand.moc"
