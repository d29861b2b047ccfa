// SPDX-License-Identifier: GPL-3.0-or-later
#include "JournalServer.h"
#include "platform/SettingsStore.h"

#include <QProcess>
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

const QByteArray Page = "<html><head><title>Т</title></head><body><p><a href=\"/a.html\">a</a> <a>none</a> "
                        "<a href=\"b/c.html?x=1#y\">Привет</a></p></body></html>";

} // namespace

class TestPageCommand : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void printsWhatASearchSees_data();
    void printsWhatASearchSees();
    void offlineFromTheOptionOrTheStore();

private:
    Run run(const QStringList &arguments);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<JournalServer> m_server;
};

void TestPageCommand::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<JournalServer>();
    m_server->setPage(u"/page.html"_s, 200, "text/html; charset=utf-8", Page);
}

Run TestPageCommand::run(const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_CONFIG_HOME"_s, m_dir->filePath(u"config"_s));
    environment.insert(u"XDG_CACHE_HOME"_s, m_dir->filePath(u"cache"_s));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(DIARYTRAWL_BINARY), QStringList{u"page"_s} + arguments);
    const bool ended = process.waitForFinished(60000); // else the destructor kills it
    return {ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

void TestPageCommand::printsWhatASearchSees_data()
{
    QTest::addColumn<QStringList>("arguments"); // "SERVER" stands for the server's origin, here
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");   // and here
    QTest::addColumn<QByteArray>("error"); // a part of stderr; empty: nothing there

    const QString page = u"SERVER/page.html"_s;
    QTest::newRow("links by default")
        << QStringList{page} << 0 << u"SERVER/a.html\nSERVER/b/c.html?x=1#y\n"_s << QByteArray();
    QTest::newRow("text") << QStringList{page, u"--text"_s} << 0 << u"a none Привет"_s << QByteArray();
    QTest::newRow("body html") << QStringList{page, u"--body-html"_s} << 0
                               << QString::fromUtf8(Page.mid(Page.indexOf("<p>")).chopped(14))
                               << QByteArray();
    QTest::newRow("whole html") << QStringList{page, u"--html"_s} << 0
                                << QString::fromUtf8(Page.mid(6).chopped(7)) << QByteArray();
    QTest::newRow("bad usage") << QStringList{page, u"--pdf"_s} << 64 << QString()
                               << QByteArray("usage: diarytrawl page URL");
    // What the loader shows instead is printed, and why goes to stderr.
    QTest::newRow("the server's own 404 page")
        << QStringList{u"SERVER/misbehave/not-found"_s, u"--text"_s} << 3 << u"The server has no such page."_s
        << QByteArray("the server answered 404 (Not Found)");
    QTest::newRow("not in the cache") << QStringList{page, u"--offline"_s, u"--text"_s} << 3
                                      << u"The page SERVER/page.html is not available offline."_s
                                      << QByteArray("it is not in the page cache (offline mode)");
}

void TestPageCommand::printsWhatASearchSees()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(QByteArray, error);

    const Run result = run(arguments.replaceInStrings(u"SERVER"_s, m_server->origin()));
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(QString::fromUtf8(result.out), output.replace(u"SERVER"_s, m_server->origin()));
    QVERIFY2(error.isEmpty() ? result.err.isEmpty() : result.err.contains(error), result.err.constData());
    QCOMPARE(m_server->requests().isEmpty(), exitCode == 64 || arguments.contains(u"--offline"_s));
}

void TestPageCommand::offlineFromTheOptionOrTheStore()
{
    const QString page = m_server->url(u"/page.html");
    const QString chain = m_server->url(JournalServer::RedirectChainPath) + u'2';
    const QString notFound = m_server->url(JournalServer::NotFoundPath);
    for (const QString &address : {page, chain, notFound}) // online: fills the cache
        run({address});
    QCOMPARE(run({page, u"--offline"_s, u"--text"_s}).out, "a none Привет");
    // Redirects are kept, so an address that redirects works offline; of pages, only status 200.
    QCOMPARE(run({chain, u"--offline"_s, u"--text"_s}).out, "End of the chain");
    QCOMPARE(run({notFound, u"--offline"_s}).exitCode, 3);

    const QString store = m_dir->filePath(u"config/diarytrawl/settings.json"_s);
    SettingsStore(store).RegWrite(registry::GlobalUserOffline.toString(), 1, u"REG_DWORD"_s);
    QCOMPARE(run({page, u"--text"_s}).out, "a none Привет");
    QCOMPARE(m_server->requests().size(), 5);

    QFile damaged(store);
    QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write("{{{") == 3);
    damaged.close();
    const Run result = run({page});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains("damaged"), result.err.constData());
    QCOMPARE(m_server->requests().size(), 5);
}

QTEST_GUILESS_MAIN(TestPageCommand)
#include "tst_pagecommand.moc"
