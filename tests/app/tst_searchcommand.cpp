#include "JournalServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
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

// Whether the process has a handler of its own for SIGINT (from /proc/PID/status).
bool catchesInterrupt(pid_t pid)
{
    QFile status(u"/proc/"_s + QString::number(pid) + u"/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) & (1ULL << (SIGINT - 1))) != 0;
    }
    return false;
}

} // namespace

class TestSearchCommand : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void searchWithDefaultsAndOptions_data();
    void searchWithDefaultsAndOptions();
    void usageErrors_data();
    void usageErrors();
    void helpAndVersion();
    void failedSearch();
    void interruptStopsTheSearch();
    void secondInterruptEndsAtOnce();
    void openHandsTheReportToTheDesktop();
    void offlineSearchReadsTheCache();

private:
    QProcess *start(const QStringList &arguments);
    Run finish(QProcess *process);
    Run run(const QStringList &arguments) { return finish(start(arguments)); }
    void waitForRequest(const QString &target);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<JournalServer> m_server;
    QStringList m_site;
    QString m_path;
};

void TestSearchCommand::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<JournalServer>();
    m_server->addEntry({u"inkwell"_s, 2005, 3, 17, 101, u"About LJ"_s, u"<p>Our LJ community</p>"_s});
    m_server->addEntry({u"nick"_s, 2005, 6, 1, 601, u"June"_s, u"<p>A lj entry in June</p>"_s});
    m_site = {u"--site"_s, m_server->host()};
    m_path = qEnvironmentVariable("PATH");
}

void TestSearchCommand::cleanup()
{
    m_server.reset();
    m_dir.reset();
}

QProcess *TestSearchCommand::start(const QStringList &arguments)
{
    auto *process = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_CONFIG_HOME"_s, m_dir->path() + u"/config"_s);
    environment.insert(u"XDG_CACHE_HOME"_s, m_dir->path() + u"/cache"_s);
    environment.insert(u"PATH"_s, m_path);
    process->setProcessEnvironment(environment);
    process->setWorkingDirectory(m_dir->path());
    process->start(QStringLiteral(DIARYTRAWL_BINARY), QStringList{u"search"_s} + arguments);
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

void TestSearchCommand::waitForRequest(const QString &target)
{
    QTRY_VERIFY_WITH_TIMEOUT(m_server->requestCount(target) > 0, RunTimeoutMs);
}

void TestSearchCommand::searchWithDefaultsAndOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("logStart");
    QTest::addColumn<QString>("logEnd");
    QTest::addColumn<QString>("report");

    QTest::newRow("window's defaults")
        << QStringList()
        << u"Scan():\r\nnick: \"inkwell\";\r\nyear: \"2005\";\r\nsearch-string: \"LJ\";\r\n"
           u"link: \"http://HOST/~inkwell/2005/\";\r\nfrom month: 03;\r\nto month: 03;\r\n"
           u"Loading page ... \"http://HOST/~inkwell/2005/03/\";\r\n"_s
        << u"results: 3 links found (see log above);\r\n3 links scanned;\r\n"_s
        << u"results.tmp.inkwell.2005.03-03.htm"_s;
    QTest::newRow("every field, masks")
        << QStringList{u"--user"_s, u"nick"_s, u"--year"_s, u"2005"_s,     u"--from"_s, u"6"_s,
                       u"--to"_s,   u"06"_s,   u"--text"_s, u"l? entry"_s, u"--masks"_s}
        << u"RegScan():\r\nnick: \"nick\";\r\nyear: \"2005\";\r\nsearch expression: \"l.? entry\";\r\n"_s
        << u"results: 3 links found (see log above);\r\n3 links scanned;\r\n"_s
        << u"results.tmp.nick.2005.6-06.htm"_s;
    QTest::newRow("regular expression")
        << QStringList{u"--regexp"_s, u"--text"_s, u"our\\s+lj"_s}
        << u"RegScan():\r\nnick: \"inkwell\";\r\nyear: \"2005\";\r\n"
           u"search expression: \"our\\s+lj\";\r\n"_s
        << u"results: 3 links found (see log above);\r\n3 links scanned;\r\n"_s
        << u"results.tmp.inkwell.2005.03-03.htm"_s;
    QTest::newRow("HTML code and stored pages")
        << QStringList{u"--text"_s, u"class=\"text\""_s, u"--html-code"_s, u"--save-matching"_s}
        << u"Scan():\r\n"_s << u"results: 3 links found (see log above);\r\n3 links scanned;\r\n"_s
        << u"results.tmp.inkwell.2005.03-03.htm"_s;
}

void TestSearchCommand::searchWithDefaultsAndOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, logStart);
    QFETCH(QString, logEnd);
    QFETCH(QString, report);

    const Run result = run(m_site + arguments);
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.out.startsWith(logStart.replace(u"HOST"_s, m_server->host())), qPrintable(result.out));
    QVERIFY2(result.out.endsWith(logEnd), qPrintable(result.out));
    QCOMPARE(result.err, QString()); // the status goes to a terminal only
    QVERIFY(QFile::exists(m_dir->path() + u'/' + report));
    if (arguments.contains(u"--save-matching"_s))
        QVERIFY(QFile::exists(m_dir->path() + u"/saved.pages.tmp/~inkwell/101.html"_s));
}

void TestSearchCommand::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("complaint");
    QTest::newRow("unknown option") << QStringList{u"--colour"_s} << u"colour"_s;
    QTest::newRow("value missing") << QStringList{u"--user"_s} << u"user"_s;
    QTest::newRow("stray argument") << QStringList{u"inkwell"_s} << u"inkwell"_s;
    QTest::newRow("regexp with masks") << QStringList{u"--regexp"_s, u"--masks"_s} << u"--regexp"_s;
    QTest::newRow("regexp with or-then") << QStringList{u"--or-then"_s, u"--regexp"_s} << u"--regexp"_s;
    QTest::newRow("both save options")
        << QStringList{u"--save-pages"_s, u"--save-matching"_s} << u"--save-pages"_s;
}

void TestSearchCommand::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, complaint);
    const Run result = run(arguments);
    QCOMPARE(result.exitCode, 64);
    QVERIFY2(result.err.contains(complaint), qPrintable(result.err));
    QCOMPARE(result.out, QString());
    QVERIFY(m_server->requests().isEmpty());
}

void TestSearchCommand::helpAndVersion()
{
    const Run help = run({u"--help"_s});
    QCOMPARE(help.exitCode, 0);
    for (const QString &option : {u"--user"_s, u"--or-then"_s, u"--save-matching"_s, u"--offline"_s})
        QVERIFY2(help.out.contains(option), qPrintable(option));
    const Run version = run({u"--version"_s});
    QCOMPARE(version.exitCode, 0);
    QCOMPARE(version.out, u"diarytrawl 1.0.1.7b\n"_s);
}

void TestSearchCommand::failedSearch()
{
    const Run result = run(m_site + QStringList{u"--regexp"_s, u"--text"_s, u"(LJ"_s});
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(result.err.startsWith(u"\r\nError 114: \r\n"_s), qPrintable(result.err));
    QVERIFY(result.out.contains(result.err + u"---\r\nIf You're going to report the error"_s));
}

void TestSearchCommand::interruptStopsTheSearch()
{
    m_server->setHang(u"/~inkwell/2005/03/"_s);
    QProcess *process = start(m_site);
    waitForRequest(u"/~inkwell/2005/03/"_s);
    ::kill(pid_t(process->processId()), SIGINT);
    const Run result = finish(process);
    QCOMPARE(result.status, QProcess::NormalExit);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.out.endsWith(u"\r\n --- stopped by user --- \r\n"_s), qPrintable(result.out));
}

void TestSearchCommand::secondInterruptEndsAtOnce()
{
    // A month whose entries are all places on the month page itself: moving between them loads nothing,
    // so the search never gets to notice a stop and runs for a minute.
    m_server->setPage(u"/~inkwell/2005/03/"_s, 301, "text/html", QByteArray(),
                      {{"Location", "/~inkwell/list.html"}});
    QByteArray list;
    for (int place = 1; place <= 600; ++place)
        list += "<a href=\"#" + QByteArray::number(place) + "\">" + QByteArray::number(place) + "</a>\n";
    m_server->setPage(u"/~inkwell/list.html"_s, 200, "text/html", list);

    QProcess *process = start(m_site);
    waitForRequest(u"/~inkwell/list.html"_s);
    const pid_t pid = pid_t(process->processId());
    ::kill(pid, SIGINT);
    // Signals sent back to back may merge into one: the second goes once the first has been taken, which
    // shows in the process's set of caught signals.
    QTRY_VERIFY_WITH_TIMEOUT(!catchesInterrupt(pid), RunTimeoutMs);
    QCOMPARE(process->state(), QProcess::Running);
    ::kill(pid, SIGINT);
    const Run result = finish(process);
    QCOMPARE(result.status, QProcess::CrashExit); // ended by the signal itself
    QVERIFY(!result.out.contains(u"results:"_s));
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

    QCOMPARE(run(m_site).exitCode, 0);
    QVERIFY(!QFile::exists(bin + u"/opened"_s)); // without --open the report is only written
    QCOMPARE(run(m_site + QStringList{u"--open"_s}).exitCode, 0);
    const auto opened = [&bin] {
        QFile file(bin + u"/opened"_s);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    // The handler runs detached: the search does not wait for it.
    QTRY_COMPARE(opened(), m_dir->path() + u"/results.tmp.inkwell.2005.03-03.htm\n"_s);
}

void TestSearchCommand::offlineSearchReadsTheCache()
{
    const Run online = run(m_site);
    QCOMPARE(online.exitCode, 0);
    m_server->clearRequests();

    const Run offline = run(m_site + QStringList{u"--offline"_s});
    QCOMPARE(offline.exitCode, 0);
    QVERIFY(offline.out.endsWith(u"results: 3 links found (see log above);\r\n3 links scanned;\r\n"_s));
    QVERIFY(m_server->requests().isEmpty());

    // A month never loaded online is not there.
    const Run missing = run(m_site + QStringList{u"--offline"_s, u"--from"_s, u"04"_s, u"--to"_s, u"04"_s});
    QCOMPARE(missing.exitCode, 0);
    QVERIFY(missing.out.endsWith(u"results: 0 links found (see log above);\r\n0 links scanned;\r\n"_s));
    QVERIFY(m_server->requests().isEmpty());
}

QTEST_GUILESS_MAIN(TestSearchCommand)
#include "tst_searchcommand.moc"
