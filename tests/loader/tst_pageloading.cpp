#include "JournalServer.h"
#include "platform/web/NetworkBrowser.h"
#include "progress/SearchLog.h"
#include "search/PageLoading.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace diarytrawl;
using namespace diarytrawl::test;
using namespace Qt::StringLiterals;

namespace {

const QString StopLine = u"\r\n --- stopped by user --- \r\n"_s;

class TextView final : public LogView {
public:
    void replaceLogText(const QString &text) override { shown = text; }
    void appendLogText(const QString &text) override { shown += text; }

    QString shown;
};

bool onlyDots(const QString &text)
{
    return !text.isEmpty() && text.count(u'.') == text.size();
}

} // namespace

class TestPageLoading : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void readyAtTheFirstPollLogsNothing_data();
    void readyAtTheFirstPollLogsNothing();
    void logsADotPerBusyPoll();
    void stopDuringALoad();
    void stopRequestedBeforeTheLoadIsReadAfterTheFirstWait();

private:
    std::unique_ptr<web::NetworkBrowser> makeBrowser();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<JournalServer> m_server;
    QStringList m_opened;
    TextView m_view;
    std::unique_ptr<SearchLog> m_log;
};

void TestPageLoading::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<JournalServer>();
    m_opened.clear();
    m_view.shown.clear();
    m_log = std::make_unique<SearchLog>(m_view);
}

std::unique_ptr<web::NetworkBrowser> TestPageLoading::makeBrowser()
{
    web::NetworkBrowserOptions options;
    options.settingsFile = m_dir->filePath(u"settings.json"_s);
    options.cacheFolder = m_dir->filePath(u"pages"_s);
    options.openExternally = [this](const QString &address) {
        m_opened << address;
    };
    auto browser = std::make_unique<web::NetworkBrowser>(options);
    browser->setVisible(false);
    browser->setSilent(true);
    return browser;
}

void TestPageLoading::readyAtTheFirstPollLogsNothing_data()
{
    QTest::addColumn<bool>("stopRequested");

    QTest::newRow("no stop") << false;
    QTest::newRow("stop pending") << true; // not read before the first wait
}

void TestPageLoading::readyAtTheFirstPollLogsNothing()
{
    QFETCH(bool, stopRequested);

    m_server->setPage(u"/entry.html"_s, 200, "text/html", "<p>entry</p>");
    auto browser = makeBrowser();
    const bool notStopped = false;
    QVERIFY(IELoadLink(*browser, m_server->url(u"/entry.html"), *m_log, notStopped));
    m_view.shown.clear();

    // Another fragment of the loaded page is ready at once.
    const bool bStopRequested = stopRequested;
    QVERIFY(IELoadLink(*browser, m_server->url(u"/entry.html#comments"), *m_log, bStopRequested));
    QCOMPARE(m_view.shown, QString());
    QVERIFY(!browser->isVisible());
    QCOMPARE(browser->Document()->address, m_server->url(u"/entry.html#comments"));
}

void TestPageLoading::logsADotPerBusyPoll()
{
    m_server->setDelay(u"/slow.html"_s, 350);
    m_server->setPage(u"/slow.html"_s, 200, "text/html", "<p>slow page</p>");
    auto browser = makeBrowser();
    const bool bStopRequested = false;
    QVERIFY(IELoadLink(*browser, m_server->url(u"/slow.html"), *m_log, bStopRequested));
    QVERIFY2(onlyDots(m_view.shown), qPrintable(m_view.shown));
    QVERIFY(!browser->Busy());
    QVERIFY(browser->Document()->bodyInnerHtml.contains(u"slow page"_s));
    QVERIFY(!browser->isVisible());
}

void TestPageLoading::stopDuringALoad()
{
    m_server->setHang(u"/hang.html"_s);
    auto browser = makeBrowser();
    bool bStopRequested = false;
    // The stop comes from an event, as the Cancel button's click does: the wait must let it run.
    QTimer::singleShot(250, [&] { bStopRequested = true; });

    QVERIFY(!IELoadLink(*browser, m_server->url(u"/hang.html"), *m_log, bStopRequested));
    QVERIFY2(m_view.shown.endsWith(StopLine), qPrintable(m_view.shown));
    QVERIFY2(onlyDots(m_view.shown.chopped(StopLine.size())), qPrintable(m_view.shown));
    QVERIFY(browser->isVisible());
    QVERIFY(m_opened.isEmpty()); // becoming visible shows nothing
    QVERIFY(browser->Busy());    // the loader does not quit the browser; the crawl does
    browser->Quit();
}

void TestPageLoading::stopRequestedBeforeTheLoadIsReadAfterTheFirstWait()
{
    m_server->setHang(u"/hang.html"_s);
    auto browser = makeBrowser();
    const bool bStopRequested = true;
    QVERIFY(!IELoadLink(*browser, m_server->url(u"/hang.html"), *m_log, bStopRequested));
    QCOMPARE(m_view.shown, u"."_s + StopLine);
    QVERIFY(browser->isVisible());
}

QTEST_GUILESS_MAIN(TestPageLoading)
#include "tst_pageloading.moc"
