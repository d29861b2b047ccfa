#include "JournalServer.h"
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

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

JournalEntry entry(int id, const QString &user = u"inkwell"_s)
{
    return {user, 2005, 3, 2, id, u"First"_s, u"<p>Text of First</p>"_s, QTime(9, 30)};
}

} // namespace

class TestNetworkBrowser : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void loadsInTheBackground();
    void showsWhatTheAddressHolds_data();
    void showsWhatTheAddressHolds();
    void fragmentOfTheLoadedPageIsNotFetched();
    void abandonsTheLoadInFlight_data();
    void abandonsTheLoadInFlight();
    void originMapKeepsTheOriginalAddresses();
    void offlineServesFromTheCache();

private:
    NetworkBrowserOptions options(bool offline = false) const;
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

NetworkBrowserOptions TestNetworkBrowser::options(bool offline) const
{
    NetworkBrowserOptions options;
    options.settingsFile = m_dir->filePath(u"settings.json"_s);
    options.cacheFolder = m_dir->filePath(u"pages"_s);
    options.forceOffline = offline;
    return options;
}

bool TestNetworkBrowser::load(NetworkBrowser &browser, const QString &address)
{
    browser.Navigate(address);
    return QTest::qWaitFor([&] { return !browser.Busy(); }, LoadTimeoutMs);
}

void TestNetworkBrowser::loadsInTheBackground()
{
    m_server->setPage(u"/page.html"_s, 200, "text/html",
                      "<p>slow <a href=\"b/c.html?x=1#y\">b</a></p><p>page <a href=\"/a.html\">a</a></p>");
    NetworkBrowser browser(options());
    const auto empty = browser.Document();
    QVERIFY(!browser.Busy());
    QVERIFY(empty && empty->address.isEmpty() && empty->links.isEmpty() && empty->bodyInnerText.isEmpty());

    const QString address = m_server->url(u"/page.html");
    browser.Navigate(address);
    QVERIFY(browser.Busy());
    QCOMPARE(browser.Document(), empty);
    QVERIFY(QTest::qWaitFor([&] { return !browser.Busy(); }, LoadTimeoutMs));
    QCOMPARE(browser.Document()->address, address);
    QCOMPARE(browser.Document()->links,
             QStringList({m_server->url(u"/b/c.html?x=1#y"), m_server->url(u"/a.html")}));
    QCOMPARE(browser.Document()->bodyInnerText, u"slow b\r\n\r\npage a"_s);

    const QList<RequestRecord> requests = m_server->requests();
    QCOMPARE(requests.size(), 1);
    QVERIFY(requests.first().userAgent.startsWith("Mozilla/5.0 (X11; Linux x86_64) diarytrawl/"));
    QCOMPARE(requests.first().host, m_server->host());
}

void TestNetworkBrowser::showsWhatTheAddressHolds_data()
{
    // "SERVER" stands for the journal server's host and port, "ADDRESS" for the document's address.
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("finalAddress"); // the document's address; empty: the address itself
    QTest::addColumn<QString>("text");         // a part of the body's text
    QTest::addColumn<int>("requests");         // how many the server saw; -1: not counted

    const QString m = u"http://SERVER/misbehave/"_s;
    const QString failed = u"The page ADDRESS could not be loaded: "_s;
    const QString refused = u"The page ADDRESS cannot be loaded: only http and https addresses are loaded."_s;
    const QString cyrillic = JournalServer::CyrillicText.toString();

    QTest::newRow("redirect chain of 21") << m + u"redirect-chain/21"_s << m + u"redirect-chain/1"_s
                                          << failed + u"it redirects more than 20 times."_s << 21;
    QTest::newRow("redirect loop") << m + u"redirect-loop/a"_s << QString()
                                   << failed + u"its redirects go round in a loop."_s << 21;
    QTest::newRow("redirect to a file")
        << m + u"redirect-to-file"_s << u"file:///etc/passwd"_s << refused << 1;
    QTest::newRow("file") << u"file:///etc/passwd"_s << QString() << refused << 0;

    QTest::newRow("404") << m + u"not-found"_s << QString() << u"The server has no such page."_s << 1;
    QTest::newRow("refused") << u"http://127.0.0.1:%1/page.html"_s.arg(closedPort()) << QString()
                             << failed + u"the server refused the connection."_s << 0;
    QTest::newRow("cut short") << m + u"cut-short"_s << QString()
                               << failed +
                                      u"the server closed the connection before the whole page arrived."_s
                               << -1;
    QTest::newRow("tls to a plain port")
        << u"https://SERVER/page.html"_s << QString()
        << failed + (QSslSocket::supportsSsl()
                         ? u"a secure (TLS) connection to the server could not be made."_s
                         : QString())
        << -1;
    QTest::newRow("past 64 MB") << m + u"endless"_s << QString() << failed + u"it is larger than 64 MB."_s
                                << 1;

    QTest::newRow("20 MB") << m + u"huge"_s << QString() << JournalServer::HugePageEnd.toString() << 1;
    QTest::newRow("slow drip") << m + u"slow-drip?pieces=8&ms=15"_s << QString()
                               << u"Drop 8\r\n\r\nEnd of the drip"_s << 1;
    QTest::newRow("windows-1251 in a meta tag") << m + u"cp1251-meta"_s << QString() << cyrillic << 1;
    QTest::newRow("utf-8 in the header only") << m + u"utf8-header"_s << QString() << cyrillic << 1;
    QTest::newRow("picture")
        << m + u"image"_s << QString()
        << u"The address ADDRESS holds a file of type image/png (33 bytes), not a web page."_s << 1;
}

void TestNetworkBrowser::showsWhatTheAddressHolds()
{
    QFETCH(QString, address);
    QFETCH(QString, finalAddress);
    QFETCH(QString, text);
    QFETCH(int, requests);
    address.replace(u"SERVER"_s, m_server->host());
    finalAddress = finalAddress.isEmpty() ? address : finalAddress.replace(u"SERVER"_s, m_server->host());
    text.replace(u"ADDRESS"_s, finalAddress);

    NetworkBrowser browser(options());
    QVERIFY(load(browser, address));
    QCOMPARE(browser.Document()->address, finalAddress);
    const QString shown = browser.Document()->bodyInnerText;
    QVERIFY2(shown.contains(text), qPrintable(shown.left(500)));
    QVERIFY(!shown.contains(u"root:"_s));
    if (requests >= 0)
        QCOMPARE(m_server->requests().size(), requests);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->answersInFlight(), 0, LoadTimeoutMs); // nothing left open
}

void TestNetworkBrowser::fragmentOfTheLoadedPageIsNotFetched()
{
    m_server->addEntry(entry(100));
    const QString page = m_server->url(u"/~inkwell/100.html");
    NetworkBrowser browser(options());
    QVERIFY(load(browser, page));
    const auto loaded = browser.Document();

    browser.Navigate(page + u"#comments"_s);
    QVERIFY(!browser.Busy());
    QCOMPARE(browser.Document()->address, page + u"#comments"_s);
    QCOMPARE(browser.Document()->links, loaded->links);
    QCOMPARE(browser.Document()->bodyInnerText, loaded->bodyInnerText);
    QCOMPARE(m_server->requestCount(u"/~inkwell/100.html"_s), 1);
    QVERIFY(load(browser, page)); // without a fragment the page is loaded again, as a browser does
    QCOMPARE(m_server->requestCount(u"/~inkwell/100.html"_s), 2);
}

void TestNetworkBrowser::abandonsTheLoadInFlight_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("byQuit"); // else by a Navigate elsewhere

    QTest::newRow("navigate before the answer") << u"/hang.html"_s << false;
    QTest::newRow("quit during an endless body") << u"/misbehave/endless?ms=5"_s << true;
}

void TestNetworkBrowser::abandonsTheLoadInFlight()
{
    QFETCH(QString, path);
    QFETCH(bool, byQuit);

    m_server->setHang(u"/hang.html"_s);
    m_server->setPage(u"/next.html"_s, 200, "text/html", "<p>next page</p>");
    NetworkBrowser browser(options());
    const auto before = browser.Document();
    browser.Navigate(m_server->url(path));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->answersInFlight(), 1, LoadTimeoutMs);
    QTest::qWait(30); // some of a body arrives
    QVERIFY(browser.Busy());

    if (byQuit) {
        browser.Quit();
        QVERIFY(!browser.Busy());
        QCOMPARE(browser.Document(), before);
        browser.Navigate(m_server->url(u"/next.html")); // a quit browser loads nothing more
        QVERIFY(!browser.Busy());
    } else {
        QVERIFY(load(browser, m_server->url(u"/next.html")));
        QCOMPARE(browser.Document()->address, m_server->url(u"/next.html"));
        QCOMPARE(browser.Document()->bodyInnerText, u"next page"_s);
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_server->answersInFlight(), 0, LoadTimeoutMs); // the connection is gone
    QCOMPARE(m_server->requestCount(u"/next.html"_s), byQuit ? 0 : 1);
}

void TestNetworkBrowser::originMapKeepsTheOriginalAddresses()
{
    m_server->addEntry(entry(100, u"ink_well"_s));
    m_server->setLiveJournalRedirect(true);
    NetworkBrowserOptions mapped = options();
    mapped.originMap.insert(u"http://www.journal.example"_s, m_server->origin());
    mapped.originMap.insert(u"https://*.journal.example"_s, m_server->origin());
    NetworkBrowser browser(mapped);

    // The old address answers with a redirect to today's, on a host of the journal's own.
    QVERIFY(load(browser, u"http://www.journal.example/~ink_well/2005/03/"_s));
    QCOMPARE(browser.Document()->address, u"https://ink-well.journal.example/2005/03/"_s);
    const QList<RequestRecord> requests = m_server->requests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests.first().host, u"www.journal.example"_s);
    QCOMPARE(requests.first().target, u"/~ink_well/2005/03/"_s);
    QCOMPARE(requests.last().host, u"ink-well.journal.example"_s);
    QCOMPARE(requests.last().target, u"/2005/03/"_s);
    QVERIFY(browser.Document()->links.contains(u"https://ink-well.journal.example/100.html?mode=reply"_s));
}

void TestNetworkBrowser::offlineServesFromTheCache()
{
    m_server->addEntry(entry(100));
    const QString page = m_server->url(u"/~inkwell/100.html");
    const QString chain = m_server->url(JournalServer::RedirectChainPath) + u'2';
    const QString notFound = m_server->url(JournalServer::NotFoundPath);
    {
        NetworkBrowser online(options());
        for (const QString &address : {page, chain, notFound})
            QVERIFY(load(online, address));
    }
    QTRY_VERIFY_WITH_TIMEOUT(QThreadPool::globalInstance()->waitForDone(0), LoadTimeoutMs);
    m_server->clearRequests();

    NetworkBrowser offline(options(true));
    QVERIFY(load(offline, page + u"#comments"_s));
    QCOMPARE(offline.Document()->address, page + u"#comments"_s);
    QVERIFY(offline.Document()->bodyInnerText.contains(u"Text of First"_s));
    QVERIFY(load(offline, chain));
    QCOMPARE(offline.Document()->address, m_server->url(JournalServer::RedirectChainPath) + u'0');
    QVERIFY(offline.Document()->bodyInnerText.contains(u"End of the chain"_s));

    // Only status 200 is kept.
    for (const QString &missing : {notFound, m_server->url(u"/never.html")}) {
        QVERIFY(load(offline, missing));
        QVERIFY(offline.Document()->bodyInnerText.contains(u"The page "_s + missing +
                                                           u" is not available offline."_s));
    }
    QVERIFY(m_server->requests().isEmpty());
}

QTEST_GUILESS_MAIN(TestNetworkBrowser)
#include "tst_networkbrowser.moc"
