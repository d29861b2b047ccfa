#include "JournalServer.h"
#include "platform/PlatformError.h"
#include "platform/SettingsStore.h"
#include "platform/web/NetworkBrowser.h"

#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

using namespace diarytrawl;
using namespace diarytrawl::test;
using namespace diarytrawl::web;
using namespace Qt::StringLiterals;

namespace {

constexpr int LoadTimeoutMs = 20000;

// A port on 127.0.0.1 where nothing listens.
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

JournalEntry entry(int id, int day, const QString &subject, const QString &user = u"inkwell"_s)
{
    return {user, 2005, 3, day, id, subject, u"<p>Text of "_s + subject + u"</p>"_s, QTime(9, 30)};
}

} // namespace

class TestNetworkBrowser : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void startsWithAnEmptyDocument();
    void loadsAMonthPage();
    void busyUntilTheDocumentIsReady();
    void sendsAnHonestUserAgent();
    void followsRedirects_data();
    void followsRedirects();
    void loadsOnlyHttpAndHttps_data();
    void loadsOnlyHttpAndHttps();
    void fragmentOfTheLoadedPageIsNotFetched();
    void errorStatusShowsTheServersPage_data();
    void errorStatusShowsTheServersPage();
    void networkFailuresShowWhatFailed_data();
    void networkFailuresShowWhatFailed();
    void navigateAbandonsTheLoadInFlight();
    void quitAbortsTheLoadInFlight();
    void quitDuringAnEndlessBody();
    void bodyPastTheBoundIsCutOff();
    void slowDripArrivesWhole();
    void hugePage();
    void charsets_data();
    void charsets();
    void contentTypes_data();
    void contentTypes();
    void originMapKeepsTheOriginalAddress();
    void followsTodaysJournalAddresses();
    void offlineServesFromTheCache();
    void offlineSettingComesFromTheStore();
    void damagedSettingsStoreIsReported();
    void onlineRefreshesTheCache();
    void visibleBrowserOpensTheAddressInstead();

private:
    NetworkBrowserOptions options() const;
    bool load(NetworkBrowser &browser, const QString &address);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<JournalServer> m_server;
};

void TestNetworkBrowser::initTestCase()
{
    // Nothing here may touch the user's own settings or cache.
    static QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(u"config"_s)));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath(u"cache"_s)));
}

void TestNetworkBrowser::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<JournalServer>();
}

NetworkBrowserOptions TestNetworkBrowser::options() const
{
    NetworkBrowserOptions options;
    options.settingsFile = m_dir->filePath(u"settings.json"_s);
    options.cacheFolder = m_dir->filePath(u"pages"_s);
    return options;
}

bool TestNetworkBrowser::load(NetworkBrowser &browser, const QString &address)
{
    browser.Navigate(address);
    return QTest::qWaitFor([&] { return !browser.Busy(); }, LoadTimeoutMs);
}

void TestNetworkBrowser::startsWithAnEmptyDocument()
{
    NetworkBrowser browser(options());
    QVERIFY(!browser.Busy());
    QVERIFY(browser.Document());
    QVERIFY(browser.Document()->address.isEmpty());
    QVERIFY(browser.Document()->links.isEmpty());
    QVERIFY(browser.Document()->bodyInnerText.isEmpty());
}

void TestNetworkBrowser::loadsAMonthPage()
{
    m_server->addEntry(entry(200, 17, u"Second"_s));
    m_server->addEntry(entry(100, 2, u"First"_s));
    m_server->addEntry({u"inkwell"_s, 2005, 4, 1, 300, u"April"_s, u"<p>x</p>"_s});

    NetworkBrowser browser(options());
    const QString address = m_server->url(u"/~inkwell/2005/03/");
    QVERIFY(load(browser, address));
    const auto document = browser.Document();
    QCOMPARE(document->address, address);

    const QString site = m_server->origin();
    const QString journal = site + u"/~inkwell"_s;
    QStringList expected = {site + u"/login.bml"_s, site + u"/create.bml"_s, journal + u"/friends"_s,
                            site + u"/doc/tour/"_s, journal + u"/2005/"_s};
    for (const int month : {1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12})
        expected << journal + u"/2005/%1/"_s.arg(month, 2, 10, QChar(u'0'));
    expected << journal + u"/2005/03/02/"_s << journal + u"/2005/03/17/"_s;
    for (const int id : {100, 200}) {
        const QString link = journal + u"/%1.html"_s.arg(id);
        expected << link << link + u"?mode=reply"_s << link + u"#comments"_s
                 << site + u"/~inkwell_pal/%1.html"_s.arg(id + 1);
    }
    expected << site + u"/site/about.bml"_s << site + u"/legal/tos.bml"_s;
    QCOMPARE(document->links, expected);

    QVERIFY(load(browser, journal + u"/200.html?mode=reply"_s));
    QVERIFY2(browser.Document()->bodyInnerText.contains(u"@ 2005-03-17 09:30:00"_s),
             qPrintable(browser.Document()->bodyInnerText));
    QVERIFY(browser.Document()->bodyInnerText.contains(u"Text of Second"_s));
}

void TestNetworkBrowser::busyUntilTheDocumentIsReady()
{
    m_server->setDelay(u"/slow.html"_s, 200);
    m_server->setPage(u"/slow.html"_s, 200, "text/html", "<p>slow</p>");
    NetworkBrowser browser(options());
    browser.Navigate(m_server->url(u"/slow.html"));
    QVERIFY(browser.Busy()); // Navigate returned at once
    const auto before = browser.Document();
    QVERIFY(QTest::qWaitFor([&] { return !browser.Busy(); }, LoadTimeoutMs));
    QVERIFY(browser.Document() != before);
    QVERIFY(browser.Document()->bodyInnerHtml.contains(u"slow"_s));
}

void TestNetworkBrowser::sendsAnHonestUserAgent()
{
    NetworkBrowser browser(options());
    QVERIFY(load(browser, m_server->url(JournalServer::NotFoundPath)));
    const QList<RequestRecord> requests = m_server->requests();
    QCOMPARE(requests.size(), 1);
    QVERIFY(requests.first().userAgent.startsWith("Mozilla/5.0 (X11; Linux x86_64) diarytrawl/"));
    QCOMPARE(requests.first().host, m_server->host());
}

void TestNetworkBrowser::followsRedirects_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("finalPath"); // empty: an error page for the path itself
    QTest::addColumn<QString>("textPart");

    const QString chain = JournalServer::RedirectChainPath.toString();
    QTest::newRow("one") << chain + u"1"_s << chain + u"0"_s << u"End of the chain"_s;
    QTest::newRow("twenty") << chain + u"20"_s << chain + u"0"_s << u"End of the chain"_s;
    QTest::newRow("twenty-one") << chain + u"21"_s << QString() << u"more than 20"_s;
    QTest::newRow("loop") << JournalServer::RedirectLoopPath.toString() << QString() << u"loop"_s;
    QTest::newRow("to a file") << JournalServer::RedirectToFilePath.toString() << QString()
                               << u"only http and https"_s;
    QTest::newRow("keeps the fragment")
        << chain + u"2#comments"_s << chain + u"0#comments"_s << u"End of the chain"_s;
}

void TestNetworkBrowser::followsRedirects()
{
    QFETCH(QString, path);
    QFETCH(QString, finalPath);
    QFETCH(QString, textPart);

    NetworkBrowser browser(options());
    QVERIFY(load(browser, m_server->url(path)));
    const auto document = browser.Document();
    QVERIFY2(document->bodyInnerText.contains(textPart), qPrintable(document->bodyInnerText));
    if (!finalPath.isEmpty()) {
        QCOMPARE(document->address, m_server->url(finalPath));
    } else if (textPart != u"only http and https") {
        QVERIFY2(document->bodyInnerText.contains(m_server->origin() + u"/misbehave/"_s),
                 qPrintable(document->bodyInnerText));
    } else {
        QVERIFY(document->bodyInnerText.contains(u"file:///etc/passwd"_s));
        QVERIFY(!document->bodyInnerText.contains(u"root:"_s));
    }
    QVERIFY(m_server->requests().size() <= NetworkBrowser::MaxRedirects + 1);
}

void TestNetworkBrowser::loadsOnlyHttpAndHttps_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("textPart");

    QTest::newRow("file") << u"file:///etc/passwd"_s << u"only http and https"_s;
    QTest::newRow("javascript") << u"javascript:alert(1)"_s << u"only http and https"_s;
    QTest::newRow("data") << u"data:text/html,<p>hello</p>"_s << u"only http and https"_s;
    QTest::newRow("ftp") << u"ftp://127.0.0.1/x"_s << u"only http and https"_s;
    QTest::newRow("file in capitals") << u"FILE:///etc/passwd"_s << u"only http and https"_s;
    QTest::newRow("empty") << QString() << u"not a complete web address"_s;
    QTest::newRow("relative") << u"/~inkwell/2005/03/"_s << u"not a complete web address"_s;
    QTest::newRow("no host") << u"http://"_s << u"not a complete web address"_s;
}

void TestNetworkBrowser::loadsOnlyHttpAndHttps()
{
    QFETCH(QString, address);
    QFETCH(QString, textPart);

    NetworkBrowser browser(options());
    QVERIFY(load(browser, address));
    const QString text = browser.Document()->bodyInnerText;
    QVERIFY2(text.contains(textPart), qPrintable(text));
    QVERIFY(!text.contains(u"root:"_s));
    QVERIFY(!text.contains(u"hello"_s) || text.contains(u"data:"_s));
    QVERIFY(m_server->requests().isEmpty());
}

void TestNetworkBrowser::fragmentOfTheLoadedPageIsNotFetched()
{
    m_server->addEntry(entry(100, 2, u"First"_s));
    const QString page = m_server->url(u"/~inkwell/100.html");
    NetworkBrowser browser(options());
    QVERIFY(load(browser, page));
    const auto loaded = browser.Document();
    QCOMPARE(m_server->requestCount(u"/~inkwell/100.html"_s), 1);

    browser.Navigate(page + u"#comments"_s);
    QVERIFY(!browser.Busy());
    QCOMPARE(browser.Document()->address, page + u"#comments"_s);
    QCOMPARE(browser.Document()->links, loaded->links);
    QCOMPARE(browser.Document()->bodyInnerText, loaded->bodyInnerText);
    browser.Navigate(page + u"#top"_s);
    QVERIFY(!browser.Busy());
    QCOMPARE(m_server->requestCount(u"/~inkwell/100.html"_s), 1);

    // Without a fragment, or with another query, the page is loaded again, as a browser does.
    QVERIFY(load(browser, page));
    QCOMPARE(m_server->requestCount(u"/~inkwell/100.html"_s), 2);
    QVERIFY(load(browser, page + u"?mode=reply#comments"_s));
    QCOMPARE(m_server->requestCount(u"/~inkwell/100.html?mode=reply"_s), 1);

    // An error page is not a page to jump within: the address is tried again.
    QVERIFY(load(browser, m_server->url(JournalServer::ResetPath)));
    const int resets = m_server->requestCount(JournalServer::ResetPath.toString());
    QVERIFY(load(browser, m_server->url(JournalServer::ResetPath) + u"#x"_s));
    QVERIFY(m_server->requestCount(JournalServer::ResetPath.toString()) > resets);
}

void TestNetworkBrowser::errorStatusShowsTheServersPage_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("textPart");

    QTest::newRow("404") << JournalServer::NotFoundPath.toString() << u"The server has no such page."_s;
    QTest::newRow("500") << JournalServer::ServerErrorPath.toString() << u"The server broke down."_s;
    QTest::newRow("500 without a body")
        << JournalServer::EmptyServerErrorPath.toString() << u"the server answered with the error 500"_s;
    QTest::newRow("unknown journal page") << u"/~nobody/1.html"_s << u"No such page"_s;
}

void TestNetworkBrowser::errorStatusShowsTheServersPage()
{
    QFETCH(QString, path);
    QFETCH(QString, textPart);

    NetworkBrowser browser(options());
    QVERIFY(load(browser, m_server->url(path)));
    QCOMPARE(browser.Document()->address, m_server->url(path));
    QVERIFY2(browser.Document()->bodyInnerText.contains(textPart),
             qPrintable(browser.Document()->bodyInnerText));
}

void TestNetworkBrowser::networkFailuresShowWhatFailed_data()
{
    QTest::addColumn<QString>("address"); // "SERVER" stands for the journal server's host and port
    QTest::addColumn<QString>("reason");

    QTest::newRow("refused") << u"http://127.0.0.1:%1/page.html"_s.arg(closedPort())
                             << u"the server refused the connection"_s;
    QTest::newRow("reset") << u"http://SERVER/misbehave/reset"_s << u"closed the connection"_s;
    QTest::newRow("cut short") << u"http://SERVER/misbehave/cut-short"_s
                               << u"before the whole page arrived"_s;
    QTest::newRow("tls to a plain port") << u"https://SERVER/page.html"_s << u"secure (TLS)"_s;
}

void TestNetworkBrowser::networkFailuresShowWhatFailed()
{
    QFETCH(QString, address);
    QFETCH(QString, reason);
    address.replace(u"SERVER"_s, m_server->host());
    if (address.startsWith(u"https") && !QSslSocket::supportsSsl())
        reason = u"could not be loaded"_s;

    NetworkBrowser browser(options());
    QVERIFY(load(browser, address));
    const QString text = browser.Document()->bodyInnerText;
    QVERIFY2(text.contains(u"The page "_s + address + u" could not be loaded"_s), qPrintable(text));
    QVERIFY2(text.contains(reason), qPrintable(text));
    QCOMPARE(browser.Document()->address, address);
}

void TestNetworkBrowser::navigateAbandonsTheLoadInFlight()
{
    m_server->setHang(u"/hang.html"_s);
    m_server->setPage(u"/next.html"_s, 200, "text/html", "<p>next page</p>");
    NetworkBrowser browser(options());
    browser.Navigate(m_server->url(u"/hang.html"));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->answersInFlight(), 1, LoadTimeoutMs);

    QVERIFY(load(browser, m_server->url(u"/next.html")));
    QVERIFY(browser.Document()->bodyInnerHtml.contains(u"next page"_s));
    QCOMPARE(browser.Document()->address, m_server->url(u"/next.html"));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->answersInFlight(), 0, LoadTimeoutMs); // the first connection is gone
}

void TestNetworkBrowser::quitAbortsTheLoadInFlight()
{
    m_server->setHang(u"/hang.html"_s);
    NetworkBrowser browser(options());
    browser.Navigate(m_server->url(u"/hang.html"));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->answersInFlight(), 1, LoadTimeoutMs);
    const auto before = browser.Document();

    browser.Quit();
    QVERIFY(!browser.Busy());
    QTRY_COMPARE_WITH_TIMEOUT(m_server->answersInFlight(), 0, LoadTimeoutMs);
    QCOMPARE(browser.Document(), before);

    browser.Navigate(m_server->url(u"/after-quit.html")); // a quit browser loads nothing more
    QVERIFY(!browser.Busy());
    QTest::qWait(50);
    QCOMPARE(m_server->requestCount(u"/after-quit.html"_s), 0);
}

void TestNetworkBrowser::quitDuringAnEndlessBody()
{
    NetworkBrowser browser(options());
    browser.Navigate(m_server->url(u"/misbehave/endless?ms=5"));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->answersInFlight(), 1, LoadTimeoutMs);
    QTest::qWait(30); // some of the body arrives
    QVERIFY(browser.Busy());
    browser.Quit();
    QTRY_COMPARE_WITH_TIMEOUT(m_server->answersInFlight(), 0, LoadTimeoutMs);
}

void TestNetworkBrowser::bodyPastTheBoundIsCutOff()
{
    NetworkBrowser browser(options());
    const QString address = m_server->url(JournalServer::EndlessPath);
    QVERIFY(load(browser, address));
    const QString text = browser.Document()->bodyInnerText;
    QVERIFY2(text.contains(address) && text.contains(u"larger than 64 MB"_s), qPrintable(text.left(500)));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->answersInFlight(), 0, LoadTimeoutMs);
}

void TestNetworkBrowser::slowDripArrivesWhole()
{
    NetworkBrowser browser(options());
    QVERIFY(load(browser, m_server->url(u"/misbehave/slow-drip?pieces=8&ms=15")));
    const QString html = browser.Document()->bodyInnerHtml;
    QVERIFY(html.contains(u"Drop 8"_s));
    QVERIFY(html.contains(u"End of the drip"_s));
}

void TestNetworkBrowser::hugePage()
{
    NetworkBrowser browser(options());
    QVERIFY(load(browser, m_server->url(JournalServer::HugePath)));
    const auto document = browser.Document();
    QVERIFY(document->bodyInnerText.contains(JournalServer::HugePageEnd));
    QVERIFY(document->bodyInnerHtml.size() > JournalServer::HugePageBytes / 2);
    QCOMPARE(document->links, QStringList{m_server->url(u"/huge-end.html")});
}

void TestNetworkBrowser::charsets_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("windows-1251 in a meta tag") << JournalServer::Cp1251MetaPath.toString();
    QTest::newRow("utf-8 in the header only") << JournalServer::Utf8HeaderPath.toString();
}

void TestNetworkBrowser::charsets()
{
    QFETCH(QString, path);

    NetworkBrowser browser(options());
    QVERIFY(load(browser, m_server->url(path)));
    QVERIFY2(browser.Document()->bodyInnerText.contains(JournalServer::CyrillicText),
             qPrintable(browser.Document()->bodyInnerText));
}

void TestNetworkBrowser::contentTypes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("textPart");

    QTest::newRow("plain text") << JournalServer::PlainTextPath.toString() << u"Second <line> & more"_s;
    QTest::newRow("picture") << JournalServer::ImagePath.toString()
                             << u"holds a file of type image/png (33 bytes)"_s;
    QTest::newRow("binary") << JournalServer::BinaryPath.toString()
                            << u"holds a file of type application/octet-stream (65536 bytes)"_s;
    QTest::newRow("garbage as html") << JournalServer::GarbageHtmlPath.toString() << QString();
}

void TestNetworkBrowser::contentTypes()
{
    QFETCH(QString, path);
    QFETCH(QString, textPart);

    NetworkBrowser browser(options());
    QVERIFY(load(browser, m_server->url(path)));
    const QString text = browser.Document()->bodyInnerText;
    if (path == JournalServer::PlainTextPath) {
        QCOMPARE(text.trimmed(), u"First line\r\nSecond <line> & more"_s); // as a browser shows text
    }
    QVERIFY2(text.contains(textPart), qPrintable(text.left(300)));
}

void TestNetworkBrowser::originMapKeepsTheOriginalAddress()
{
    m_server->addEntry(entry(100, 2, u"First"_s));
    NetworkBrowserOptions mapped = options();
    mapped.originMap.insert(u"http://www.journal.example"_s, m_server->origin());
    NetworkBrowser browser(mapped);

    const QString address = u"http://www.journal.example/~inkwell/2005/03/"_s;
    QVERIFY(load(browser, address));
    QCOMPARE(browser.Document()->address, address);
    const QList<RequestRecord> requests = m_server->requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().host, u"www.journal.example"_s);
    QVERIFY(browser.Document()->links.contains(u"http://www.journal.example/~inkwell/100.html"_s));
}

void TestNetworkBrowser::followsTodaysJournalAddresses()
{
    m_server->addEntry(entry(100, 2, u"First"_s, u"ink_well"_s));
    m_server->setLiveJournalRedirect(true);
    NetworkBrowserOptions mapped = options();
    mapped.originMap.insert(u"https://*.livejournal.com"_s, m_server->origin());
    NetworkBrowser browser(mapped);

    QVERIFY(load(browser, m_server->url(u"/~ink_well/2005/03/")));
    QCOMPARE(browser.Document()->address, u"https://ink-well.livejournal.com/2005/03/"_s);
    const QList<RequestRecord> requests = m_server->requests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests.last().host, u"ink-well.livejournal.com"_s);
    QCOMPARE(requests.last().target, u"/2005/03/"_s);
    QVERIFY(browser.Document()->links.contains(u"https://ink-well.livejournal.com/100.html?mode=reply"_s));

    QVERIFY(load(browser, u"https://ink-well.livejournal.com/100.html"_s));
    QVERIFY(browser.Document()->bodyInnerText.contains(u"@ 2005-03-02 09:30:00"_s));
}

void TestNetworkBrowser::offlineServesFromTheCache()
{
    m_server->addEntry(entry(100, 2, u"First"_s));
    const QString chain = m_server->url(u"/misbehave/redirect-chain/2");
    {
        NetworkBrowser online(options());
        QVERIFY(!online.isOffline());
        QVERIFY(load(online, m_server->url(u"/~inkwell/100.html")));
        QVERIFY(load(online, chain));
        QVERIFY(load(online, m_server->url(JournalServer::NotFoundPath)));
    }
    QTRY_VERIFY_WITH_TIMEOUT(QThreadPool::globalInstance()->waitForDone(0), LoadTimeoutMs);
    m_server->clearRequests();

    NetworkBrowserOptions offlineOptions = options();
    offlineOptions.forceOffline = true;
    NetworkBrowser offline(offlineOptions);
    QVERIFY(offline.isOffline());

    QVERIFY(load(offline, m_server->url(u"/~inkwell/100.html#comments")));
    QVERIFY(offline.Document()->bodyInnerText.contains(u"Text of First"_s));
    QCOMPARE(offline.Document()->address, m_server->url(u"/~inkwell/100.html#comments"));

    QVERIFY(load(offline, chain));
    QCOMPARE(offline.Document()->address, m_server->url(u"/misbehave/redirect-chain/0"));
    QVERIFY(offline.Document()->bodyInnerText.contains(u"End of the chain"_s));

    for (const QString &missing :
         {m_server->url(JournalServer::NotFoundPath), m_server->url(u"/never.html")}) {
        QVERIFY(load(offline, missing));
        QCOMPARE(offline.Document()->bodyInnerText.contains(u"The page "_s + missing +
                                                            u" is not available offline."_s),
                 true);
    }
    QVERIFY(m_server->requests().isEmpty());
}

void TestNetworkBrowser::offlineSettingComesFromTheStore()
{
    NetworkBrowserOptions fromStore = options();
    SettingsStore store(fromStore.settingsFile);
    QVERIFY(!NetworkBrowser(fromStore).isOffline());
    store.RegWrite(registry::GlobalUserOffline.toString(), 1, u"REG_DWORD"_s);
    NetworkBrowser offline(fromStore);
    QVERIFY(offline.isOffline());
    QVERIFY(load(offline, m_server->url(u"/~inkwell/2005/03/")));
    QVERIFY(offline.Document()->bodyInnerText.contains(u"is not available offline"_s));
    QVERIFY(m_server->requests().isEmpty());

    store.RegWrite(registry::GlobalUserOffline.toString(), 0, u"REG_DWORD"_s);
    QVERIFY(!NetworkBrowser(fromStore).isOffline());

    // The factory makes every browser read the store afresh.
    NetworkBrowserFactory factory(fromStore);
    store.RegWrite(registry::GlobalUserOffline.toString(), 1, u"REG_DWORD"_s);
    std::unique_ptr<Browser> made = factory.createBrowser();
    QVERIFY(static_cast<NetworkBrowser *>(made.get())->isOffline());
}

void TestNetworkBrowser::damagedSettingsStoreIsReported()
{
    NetworkBrowserOptions damaged = options();
    QFile file(damaged.settingsFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{ not json");
    file.close();
    QVERIFY_THROWS_EXCEPTION(PlatformError, NetworkBrowser{damaged});

    damaged.forceOffline = true; // the store is not consulted then
    QVERIFY(NetworkBrowser(damaged).isOffline());
}

void TestNetworkBrowser::onlineRefreshesTheCache()
{
    m_server->setPage(u"/changing.html"_s, 200, "text/html", "<p>first version</p>");
    NetworkBrowser online(options());
    QVERIFY(load(online, m_server->url(u"/changing.html")));
    m_server->setPage(u"/changing.html"_s, 200, "text/html", "<p>second version</p>",
                      {{"Cache-Control", "no-store"}});
    QVERIFY(load(online, m_server->url(u"/changing.html")));
    QTRY_VERIFY_WITH_TIMEOUT(QThreadPool::globalInstance()->waitForDone(0), LoadTimeoutMs);

    NetworkBrowserOptions offlineOptions = options();
    offlineOptions.forceOffline = true;
    NetworkBrowser offline(offlineOptions);
    QVERIFY(load(offline, m_server->url(u"/changing.html")));
    QVERIFY(offline.Document()->bodyInnerHtml.contains(u"second version"_s));
}

void TestNetworkBrowser::visibleBrowserOpensTheAddressInstead()
{
    QStringList opened;
    NetworkBrowserOptions visible = options();
    visible.openExternally = [&](const QString &address) {
        opened << address;
    };
    NetworkBrowser browser(visible);
    browser.setSilent(false);
    browser.setVisible(true);
    QVERIFY(browser.isVisible());
    browser.Navigate(m_server->url(u"/help.html"));
    QVERIFY(!browser.Busy());
    QCOMPARE(opened, QStringList{m_server->url(u"/help.html")});
    QTest::qWait(20);
    QVERIFY(m_server->requests().isEmpty());

    // A search's browser is made visible only when it stops, and shows nothing by that.
    NetworkBrowser search(visible);
    search.setVisible(true);
    search.Quit();
    QCOMPARE(opened.size(), 1);
}

QTEST_GUILESS_MAIN(TestNetworkBrowser)
#include "tst_networkbrowser.moc"
