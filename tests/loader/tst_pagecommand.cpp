// SPDX-License-Identifier: GPL-3.0-or-later
#include "JournalServer.h"
#include "platform/SettingsStore.h"

#include <QDir>
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
    QTest::addColumn<QStringList>("arguments"); // "PAGE" stands for the test page's address
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");   // "SERVER" stands for the server's origin
    QTest::addColumn<QByteArray>("error"); // a part of stderr; empty: nothing there

    QTest::newRow("links by default")
        << QStringList{u"PAGE"_s} << 0 << u"SERVER/a.html\nSERVER/b/c.html?x=1#y\n"_s << QByteArray();
    QTest::newRow("text") << QStringList{u"PAGE"_s, u"--text"_s} << 0 << u"a none Привет"_s << QByteArray();
    QTest::newRow("body html") << QStringList{u"PAGE"_s, u"--body-html"_s} << 0
                               << QString::fromUtf8(Page.mid(Page.indexOf("<p>")).chopped(14))
                               << QByteArray();
    QTest::newRow("whole html") << QStringList{u"PAGE"_s, u"--html"_s} << 0
                                << QString::fromUtf8(Page.mid(6).chopped(7)) << QByteArray();
    QTest::newRow("bad usage") << QStringList{u"PAGE"_s, u"--pdf"_s} << 64 << QString()
                               << QByteArray("usage: diarytrawl page URL");
    // What the loader shows instead is printed, and why goes to stderr.
    QTest::newRow("not in the cache") << QStringList{u"PAGE"_s, u"--offline"_s, u"--text"_s} << 3
                                      << u"The page SERVER/page.html is not available offline."_s
                                      << QByteArray("it is not in the page cache (offline mode)");
}

void TestPageCommand::printsWhatASearchSees()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(QByteArray, error);

    const Run result = run(arguments.replaceInStrings(u"PAGE"_s, m_server->url(u"/page.html")));
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(QString::fromUtf8(result.out), output.replace(u"SERVER"_s, m_server->origin()));
    QVERIFY2(error.isEmpty() ? result.err.isEmpty() : result.err.contains(error), result.err.constData());
    QCOMPARE(m_server->requests().size(), exitCode == 0 ? 1 : 0);
}

void TestPageCommand::offlineFromTheOptionOrTheStore()
{
    const QString page = m_server->url(u"/page.html");
    QCOMPARE(run({page}).exitCode, 0); // online: fills the cache
    QCOMPARE(run({page, u"--offline"_s, u"--text"_s}).out, "a none Привет");

    const QString store = m_dir->filePath(u"config/diarytrawl/settings.json"_s);
    SettingsStore(store).RegWrite(registry::GlobalUserOffline.toString(), 1, u"REG_DWORD"_s);
    QCOMPARE(run({page, u"--text"_s}).out, "a none Привет");
    QCOMPARE(m_server->requests().size(), 1);

    QFile damaged(store);
    QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write("{{{") == 3);
    damaged.close();
    const Run result = run({page});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains("damaged"), result.err.constData());
    QCOMPARE(m_server->requests().size(), 1);
}

QTEST_GUILESS_MAIN(TestPageCommand)
#include "tst_pagecommand.moc"
