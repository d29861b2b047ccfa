#include "JournalServer.h"
#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace diarytrawl;
using namespace diarytrawl::test;
using namespace Qt::StringLiterals;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

} // namespace

class TestPageCommand : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void printsLinksOneALine();
    void printsWhatASearchReads_data();
    void printsWhatASearchReads();
    void errorPageCountsAsLoaded();
    void badUsage_data();
    void badUsage();
    void help();
    void offlineFromTheOptionOrTheStore();
    void damagedSettingsStore();

private:
    Run run(const QStringList &arguments);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<JournalServer> m_server;
};

void TestPageCommand::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<JournalServer>();
}

Run TestPageCommand::run(const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_CONFIG_HOME"_s, m_dir->filePath(u"config"_s));
    environment.insert(u"XDG_CACHE_HOME"_s, m_dir->filePath(u"cache"_s));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(DIARYTRAWL_BINARY), QStringList{u"page"_s} + arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

void TestPageCommand::printsLinksOneALine()
{
    m_server->setPage(u"/links.html"_s, 200, "text/html",
                      "<p><a href=\"/a.html\">a</a> <a href=\"b/c.html?x=1#y\">b</a> <a>none</a></p>");
    const Run result = run({m_server->url(u"/links.html")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out,
             (m_server->url(u"/a.html") + u'\n' + m_server->url(u"/b/c.html?x=1#y") + u'\n').toUtf8());
    QVERIFY(result.err.isEmpty());
}

void TestPageCommand::printsWhatASearchReads_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("expectedPart");
    QTest::addColumn<QString>("unexpectedPart");

    QTest::newRow("text") << u"--text"_s << JournalServer::CyrillicText.toString() << u"<p>"_s;
    QTest::newRow("body html") << u"--body-html"_s << u"<p>"_s << u"<title>"_s;
    QTest::newRow("whole html") << u"--html"_s << u"<title>utf-8</title>"_s << QString();
}

void TestPageCommand::printsWhatASearchReads()
{
    QFETCH(QString, option);
    QFETCH(QString, expectedPart);
    QFETCH(QString, unexpectedPart);

    // The option may come before the address as well.
    const Run result = run({option, m_server->url(JournalServer::Utf8HeaderPath)});
    QCOMPARE(result.exitCode, 0);
    const QString out = QString::fromUtf8(result.out);
    QVERIFY2(out.contains(expectedPart), result.out.constData());
    if (!unexpectedPart.isEmpty())
        QVERIFY2(!out.contains(unexpectedPart), result.out.constData());
}

void TestPageCommand::errorPageCountsAsLoaded()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const QString address = u"http://127.0.0.1:%1/x.html"_s.arg(probe.serverPort());
    probe.close();

    const Run result = run({address, u"--text"_s});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.out.contains("refused the connection"), result.out.constData());
    QVERIFY(result.out.contains(address.toUtf8()));
}

void TestPageCommand::badUsage_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("no address") << QStringList{};
    QTest::newRow("only an option") << QStringList{u"--text"_s};
    QTest::newRow("two addresses") << QStringList{u"http://a/"_s, u"http://b/"_s};
    QTest::newRow("two outputs") << QStringList{u"http://a/"_s, u"--text"_s, u"--html"_s};
    QTest::newRow("unknown option") << QStringList{u"http://a/"_s, u"--pdf"_s};
}

void TestPageCommand::badUsage()
{
    QFETCH(QStringList, arguments);

    const Run result = run(arguments);
    QCOMPARE(result.exitCode, 64);
    QVERIFY(result.out.isEmpty());
    QVERIFY2(result.err.contains("usage: diarytrawl page URL"), result.err.constData());
    QVERIFY(m_server->requests().isEmpty());
}

void TestPageCommand::help()
{
    const Run result = run({u"--help"_s});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.contains("--offline"));
}

void TestPageCommand::offlineFromTheOptionOrTheStore()
{
    m_server->setPage(u"/kept.html"_s, 200, "text/html", "<p>kept page</p>");
    const QString kept = m_server->url(u"/kept.html");

    Run result = run({kept, u"--offline"_s, u"--html"_s});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.out.contains("is not available offline"), result.out.constData());
    QVERIFY(m_server->requests().isEmpty());

    QCOMPARE(run({kept, u"--html"_s}).exitCode, 0); // online: fills the cache
    QCOMPARE(m_server->requestCount(u"/kept.html"_s), 1);

    result = run({kept, u"--offline"_s, u"--html"_s});
    QVERIFY2(result.out.contains("kept page"), result.out.constData());

    SettingsStore(m_dir->filePath(u"config/diarytrawl/settings.json"_s))
        .RegWrite(registry::GlobalUserOffline.toString(), 1, u"REG_DWORD"_s);
    result = run({kept, u"--html"_s});
    QVERIFY2(result.out.contains("kept page"), result.out.constData());
    QCOMPARE(m_server->requestCount(u"/kept.html"_s), 1);
}

void TestPageCommand::damagedSettingsStore()
{
    const QString file = m_dir->filePath(u"config/diarytrawl/settings.json"_s);
    QVERIFY(QDir().mkpath(QFileInfo(file).path()));
    QFile damaged(file);
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write("{{{");
    damaged.close();

    const Run result = run({m_server->url(u"/x.html")});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains("damaged"), result.err.constData());
    QVERIFY(m_server->requests().isEmpty());
}

QTEST_GUILESS_MAIN(TestPageCommand)
#include "tst_pagecommand.moc"
