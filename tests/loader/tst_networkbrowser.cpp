// SPDX-License-Identifier: GPL-3.0-or-later
#include "JournalServer.h"
#include "loader/NetworkBrowser.h"
#include "sites/JournalSiteRules.h"

#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

using namespace diarytrawl;
using namespace diarytrawl::test;
using namespace diarytrawl::web;
using namespace Qt::StringLiterals;

class TestNetworkBrowser : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void loadsInTheBackground();
    void showsWhatTheAddressHolds_data();
    void showsWhatTheAddressHolds();
    void todaysSites_data();
    void todaysSites();

private:
    static constexpr int LoadTimeoutMs = 20000;
    NetworkBrowserOptions options() const;
    bool load(NetworkBrowser &browser, const QString &address);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<JournalServer> m_server;
};

void TestNetworkBrowser::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<JournalServer>();
}

void TestNetworkBrowser::cleanup()
{
    QThreadPool::globalInstance()->waitForDone(); // pages still going to the cache in the folder
}

NetworkBrowserOptions TestNetworkBrowser::options() const
{
    NetworkBrowserOptions options;
    options.settingsFile = m_dir->filePath(u"settings.json"_s);
    options.cacheFile = m_dir->filePath(u"pages.sqlite"_s);
    options.timeScale = 0; // the crawl's tests check the pacing
    options.siteRules = std::make_shared<sites::JournalSiteRules>();
    return options;
}

bool TestNetworkBrowser::load(NetworkBrowser &browser, const QString &address)
{
    browser.Navigate(address);
    return QTest::qWaitFor([&] { return !browser.Busy(); }, LoadTimeoutMs);
}

// A load runs in the background; a Navigate elsewhere abandons it and a Quit ends it, connection and all.
void TestNetworkBrowser::loadsInTheBackground()
{
    m_server->setHang(u"/hang.html"_s);
    m_server->setPage(u"/next.html"_s, 200, "text/html", "<p>next page</p>");
    const QString next = m_server->url(u"/next.html");
    NetworkBrowser browser(options());
    const auto empty = browser.Document();
    QVERIFY(empty && empty->address.isEmpty() && empty->bodyInnerText.isEmpty());
    browser.Navigate(m_server->url(u"/hang.html"));
    QVERIFY(browser.Busy());
    QTRY_COMPARE_WITH_TIMEOUT(m_server->answersInFlight(), 1, LoadTimeoutMs);
    QCOMPARE(browser.Document(), empty);
    QVERIFY(load(browser, next));
    QCOMPARE(browser.Document()->bodyInnerText, u"next page"_s);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->answersInFlight(), 0, LoadTimeoutMs);
    QCOMPARE(m_server->requests().first().userAgent, "diarytrawl/" DIARYTRAWL_VERSION);

    browser.Navigate(m_server->url(u"/misbehave/endless"));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->answersInFlight(), 1, LoadTimeoutMs);
    QTest::qWait(30); // some of the body arrives
    browser.Quit();
    QVERIFY(!browser.Busy());
    QCOMPARE(browser.Document(), empty); // the page before went as the next was asked for
    browser.Navigate(next);              // a quit browser loads nothing more
    QVERIFY(!browser.Busy());
    QTRY_COMPARE_WITH_TIMEOUT(m_server->answersInFlight(), 0, LoadTimeoutMs);
    QCOMPARE(m_server->requestCount(u"/next.html"_s), 1);

    // A contact goes with every request, as the sites' bot policy asks.
    NetworkBrowserOptions withContact = options();
    withContact.contact = u"me@example.org"_s;
    NetworkBrowser polite(withContact);
    QVERIFY(load(polite, next));
    QCOMPARE(m_server->requests().last().userAgent,
             "diarytrawl/" DIARYTRAWL_VERSION " (contact: me@example.org)");
}

void TestNetworkBrowser::showsWhatTheAddressHolds_data()
{
    // Refusals, resets, stalls, notices, login pages are the crawl's rows; charsets, the page command's.
    // "SERVER" stands for the journal server's host and port, "ADDRESS" for the document's address.
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("finalAddress"); // the document's address; empty: the address itself
    QTest::addColumn<QString>("text");         // a part of the body's text
    QTest::addColumn<LoadFailure>("failure");
    QTest::addColumn<int>("requests"); // how many the server saw; -1: not counted

    const QString m = u"http://SERVER/misbehave/"_s;
    const QString h = u"http://SERVER/hostile/"_s;
    const QString failed = u"The page ADDRESS could not be loaded: "_s;
    const QString refused = u"The page ADDRESS cannot be loaded: only http and https addresses are loaded."_s;
    const QString larger = failed + u"it is larger than 64 MB."_s;
    using enum LoadFailure;

    QTest::newRow("redirect chain of 21") << m + u"redirect-chain/21"_s << m + u"redirect-chain/1"_s
                                          << failed + u"it redirects more than 20 times."_s << NotAPage << 21;
    QTest::newRow("redirect loop") << m + u"redirect-loop/a"_s << QString()
                                   << failed + u"its redirects go round in a loop."_s << NotAPage << 21;
    QTest::newRow("redirect to a file")
        << m + u"redirect-to-file"_s << u"file:///etc/passwd"_s << refused << NotAPage << 1;
    // Addresses that hold what a message template would fill in are quoted as they are.
    QTest::newRow("file") << u"file:///etc/%251%252%253"_s << QString() << refused << NotAPage << 0;
    QTest::newRow("cut short") << m + u"cut-short"_s << QString()
                               << u"cut short before the whole page arrived."_s << Network << -1;
    QTest::newRow("tls to a plain port")
        << u"https://SERVER/%251%252%253.html"_s << QString()
        << failed + u"a secure (TLS) connection to the server could not be made."_s << Network << -1;
    QTest::newRow("past 64 MB") << m + u"endless"_s << QString() << larger << TooLarge << 1;
    QTest::newRow("endless header") << h + u"endless-header"_s << QString()
                                    << failed + u"its headers are larger than 256 KB."_s << TooLarge << 1;
    for (const char *encoding : {"gzip", "deflate", "br", "zstd"})
        QTest::newRow(qPrintable(u"%1 bomb"_s.arg(QLatin1StringView(encoding))))
            << h + QLatin1StringView(encoding) << QString() << larger << TooLarge << 1;
    QTest::newRow("deep nesting") << h + u"deep"_s << QString() << u"too complex to read"_s << TooComplex
                                  << 1;
    QTest::newRow("many attributes") << h + u"attributes"_s << QString() << u"too complex to read"_s
                                     << TooComplex << 1;
    QTest::newRow("20 MB") << m + u"huge"_s << QString() << JournalServer::HugePageEnd.toString() << None
                           << 1;
    QTest::newRow("picture")
        << h + u"%251%252%253.png"_s << QString()
        << u"The address ADDRESS holds a file of type image/png (33 bytes), not a web page."_s << NotAPage
        << 1;
}

void TestNetworkBrowser::showsWhatTheAddressHolds()
{
    QFETCH(QString, address);
    QFETCH(QString, finalAddress);
    QFETCH(QString, text);
    QFETCH(LoadFailure, failure);
    QFETCH(int, requests);
    address.replace(u"SERVER"_s, m_server->host());
    finalAddress = finalAddress.isEmpty() ? address : finalAddress.replace(u"SERVER"_s, m_server->host());
    text.replace(u"ADDRESS"_s, finalAddress);

    m_server->setAnswers(u"/hostile/endless-header"_s, {{.shape = Answer::EndlessHeader}});
    for (const char *encoding : {"gzip", "deflate", "br", "zstd"}) {
        const QByteArray bomb = JournalServer::compressedZeros(encoding, JournalServer::CommittedZeros);
        m_server->setAnswers(u"/hostile/"_s + QLatin1StringView(encoding),
                             {{200, "text/html", bomb, {{"Content-Encoding", encoding}}}});
    }
    m_server->setAnswers(u"/hostile/deep"_s, {{200, "text/html", QByteArray("<div>").repeated(40000)}});
    QByteArray attributes = "<p";
    for (int i = 0; i < 40000; ++i) // each checked against those before it
        attributes += " a" + QByteArray::number(i) + "=1";
    m_server->setAnswers(u"/hostile/attributes"_s, {{200, "text/html", attributes + '>'}});
    m_server->setAnswers(u"/hostile/%1%2%3.png"_s, {{200, "image/png", QByteArray(33, 'p')}});

    NetworkBrowserOptions bounded = options();
    if (address.contains(u"/hostile/"_s)) // so that the deep and the wide page fail quickly
        bounded.parseTimeLimit = std::chrono::milliseconds(100);
    NetworkBrowser browser(bounded);
    QVERIFY(load(browser, address));
    QCOMPARE(browser.Document()->address, finalAddress);
    QCOMPARE(browser.Document()->outcome.failure, failure);
    const QString shown = browser.Document()->bodyInnerText;
    QVERIFY2(shown.contains(text), qPrintable(shown.left(500)));
    if (requests >= 0)
        QCOMPARE(m_server->requests().size(), requests);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->answersInFlight(), 0, LoadTimeoutMs); // nothing left open
}

void TestNetworkBrowser::todaysSites_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("consent");
    QTest::addColumn<bool>("login");
    QTest::addColumn<LoadFailure>("failure");
    QTest::addColumn<int>("posts"); // forms submitted

    using enum LoadFailure;
    // Without consent the notice stays, and the user's cookies show a friends-only entry: the crawl's rows.
    QTest::newRow("consent cookies from the first request")
        << u"https://ink-well.journal.example/100.html"_s << true << false << None << 0;
    QTest::newRow("Dreamwidth notice answered by its form, for each entry")
        << u"https://dw.journal.example/200.html"_s << true << false << None << 2;
    QTest::newRow("LiveJournal notice on another domain answered by its form")
        << u"https://lj.livejournal.com/300.html"_s << true << false << None << 1;
    QTest::newRow("a notice that comes back")
        << u"https://x.journal.example/again"_s << true << false << AdultNotice << 1;
    QTest::newRow("friends-only without login")
        << u"https://ink-well.journal.example/400.html"_s << false << false << LoginPage << 0;
    QTest::newRow("a redirect to another host takes no login cookie")
        << u"https://ink-well.journal.example/away"_s << false << true << Http << 0;
}

void TestNetworkBrowser::todaysSites()
{
    QFETCH(QString, address);
    QFETCH(bool, consent);
    QFETCH(bool, login);
    QFETCH(LoadFailure, failure);
    QFETCH(int, posts);

    m_server->addEntry(
        {u"ink_well"_s, 2005, 3, 1, 100, u"Adult"_s, u"<p>adult</p>"_s, {}, false, AdultNotice::LiveJournal});
    m_server->addEntry({u"ink_well"_s, 2005, 3, 1, 400, u"Friends"_s, u"<p>friends only</p>"_s, {}, true});
    for (const int id : {200, 201})
        m_server->addEntry(
            {u"dw"_s, 2005, 3, 1, id, u"DW"_s, u"<p>dw</p>"_s, {}, false, AdultNotice::DreamwidthConcepts});
    m_server->addEntry(
        {u"lj"_s, 2005, 3, 1, 300, u"LJ"_s, u"<p>lj</p>"_s, {}, false, AdultNotice::LiveJournal});
    m_server->setSession("ljsession", "v2:secret");
    m_server->setAnswers(u"/again"_s, {{200, "text/html",
                                        "<form method=post action='https://www.journal.example/misc/"
                                        "adult_explicit.bml'><input type=hidden name=ret value=/again>"
                                        "<input type=submit name=adult_check></form>"}});
    m_server->setAnswers(u"/away"_s, {{302, "", "", {{"Location", "https://other.example/landing"}}}});
    QFile cookies(m_dir->filePath(u"cookies.txt"_s));
    QVERIFY(cookies.open(QIODevice::WriteOnly) &&
            cookies.write(".journal.example\tTRUE\t/\tTRUE\t0\tljsession\tv2:secret\n") > 0);
    cookies.close();

    NetworkBrowserOptions mapped = options();
    for (const QString &origin :
         {u"https://*.journal.example"_s, u"https://*.livejournal.com"_s, u"https://other.example"_s})
        mapped.originMap.insert(origin, m_server->origin());
    NetworkBrowser browser(mapped,
                           {u"www.journal.example"_s, consent, login ? cookies.fileName() : QString(), {}});
    QVERIFY(load(browser, address));
    if (address.contains(u"dw."_s)) // the same journal's next entry has a consent of its own
        QVERIFY(load(browser, u"https://dw.journal.example/201.html"_s));
    QCOMPARE(browser.Document()->outcome.failure, failure);

    int submitted = 0;
    for (const RequestRecord &request : m_server->requests()) {
        submitted += request.method == "POST";
        // A cookie goes only where its domain says, never to another host, redirects included.
        QVERIFY2(!request.cookie.contains("secret") || request.host.endsWith(u".journal.example"_s),
                 qPrintable(request.host));
        // Consent goes to the site's domain from the first request, and only with the user's word.
        if (!consent || request.host.endsWith(u".journal.example"_s))
            QCOMPARE(request.cookie.contains("adult_explicit=1"), consent);
    }
    QCOMPARE(submitted, posts);
}

QTEST_GUILESS_MAIN(TestNetworkBrowser)
#include "tst_networkbrowser.moc"
