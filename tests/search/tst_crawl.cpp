// SPDX-License-Identifier: GPL-3.0-or-later
#include "SearchHarness.h"
#include "TestFolder.h"
#include "platform/CodePage1251.h"
#include "search/Crawl.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

using namespace diarytrawl;
using namespace diarytrawl::test;
using namespace Qt::StringLiterals;

namespace {

const QString ReportName = u"results.tmp.nick.2005.03-04.htm"_s;

// Expected texts are written with "\n" line ends, HOST for the server's host and FOLDER for the folder the
// search runs in.
QString expand(QString text, const JournalServer &server, const QString &folder)
{
    return text.replace(u"\n"_s, u"\r\n"_s).replace(u"HOST"_s, server.host()).replace(u"FOLDER"_s, folder);
}

// The log and the report of the whole search, kept in expected/ with "\n" line ends.
QString expectedFile(const QString &name)
{
    QFile file(QStringLiteral(DIARYTRAWL_EXPECTED_DIR "/") + name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : u"<missing "_s + name + u'>';
}

QString readReport(const QString &name = ReportName)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? cp1251::toUnicode(file.readAll()) : u"<missing>"_s;
}

const QString ReportTail = u"</body>\r\n\r\n</html>\r\n"_s;

} // namespace

class TestCrawl : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void wholeSearch();
    void monthRanges_data();
    void monthRanges();
    void regularExpressionSpansLines();
    void htmlCode_data();
    void htmlCode();
    void storedPages_data();
    void storedPages();
    void storedPageBytes();
    void cancelDuringMonthPage();
    void cancelDuringEntry();
    void rejectedPattern();
    void failuresEndThePlainSearch_data();
    void failuresEndThePlainSearch();
    void todaysLiveJournal();
    void hostileMonthPage();
    void unreadPages_data();
    void unreadPages();
    void searchesAsTheUser();

private:
    CrawlOutcome scan(const QString &from, const QString &to, const QString &search, bool regScan = false,
                      const QString &nick = u"nick"_s, const QString &year = u"2005"_s);
    QStringList monthPagesRequested() const;
    // June: a month page that links to the two March entries and nothing else, for tests about entries.
    void serveCompactJune();
    // Asks the search to stop as soon as the server has been asked for target.
    void stopWhenRequested(const QString &target);
    QString expected(const QString &text) const { return expand(text, *m_server, m_dir->path()); }

    std::unique_ptr<TestFolder> m_dir;
    std::unique_ptr<JournalServer> m_server;
    std::unique_ptr<SearchHarness> m_harness;
};

void TestCrawl::init()
{
    m_dir = std::make_unique<TestFolder>();
    m_server = std::make_unique<JournalServer>();
    m_server->addEntry(
        {u"nick"_s, 2005, 3, 17, 101, u"First post"_s, u"<p>We went to the LJ meetup.</p>"_s, QTime(12, 0)});
    m_server->addEntry({u"nick"_s, 2005, 3, 20, 102, u"Second"_s, u"<p>Nothing here.</p>"_s, QTime(8, 15)});
    m_server->addEntry({u"nick"_s, 2005, 4, 2, 201, u"April"_s, u"<p>Another lj story</p>"_s, QTime(23, 59)});
    m_harness = std::make_unique<SearchHarness>(m_dir->path());
    m_harness->state.strSiteHost = m_server->host();
}

void TestCrawl::cleanup()
{
    m_harness.reset();
    m_server.reset();
    m_dir.reset();
}

CrawlOutcome TestCrawl::scan(const QString &from, const QString &to, const QString &search, bool regScan,
                             const QString &nick, const QString &year)
{
    return regScan ? RegScan(*m_harness, nick, year, from, to, search)
                   : Scan(*m_harness, nick, year, from, to, search);
}

QStringList TestCrawl::monthPagesRequested() const
{
    static const QRegularExpression monthPage(u"^/~nick/2005/\\d+/$"_s);
    QStringList pages;
    for (const RequestRecord &request : m_server->requests()) {
        if (monthPage.match(request.target).hasMatch())
            pages << request.target;
    }
    return pages;
}

void TestCrawl::serveCompactJune()
{
    m_server->setPage(u"/~nick/2005/06/"_s, 200, "text/html",
                      "<p><a href=\"/~nick/101.html\">first</a> <a href=\"/~nick/102.html\">second</a></p>");
}

void TestCrawl::stopWhenRequested(const QString &target)
{
    auto *poll = new QTimer(this);
    connect(poll, &QTimer::timeout, poll, [this, poll, target] {
        if (m_server->requestCount(target) > 0) {
            m_harness->state.bStopRequested = true;
            poll->deleteLater();
        }
    });
    poll->start(10);
}

void TestCrawl::wholeSearch()
{
    m_harness->loaderOptions().requestGap = web::NetworkBrowserOptions().requestGap;
    QCOMPARE(scan(u"03"_s, u"04"_s, u"LJ"_s), CrawlOutcome::Completed);
    // One request at a time, at most five a second, as the sites ask; nothing waits but a request.
    const QList<RequestRecord> requests = m_server->requests();
    for (qsizetype i = 1; i < requests.size(); ++i)
        QVERIFY2(requests.at(i).arrivedMs - requests.at(i - 1).arrivedMs >= 200,
                 qPrintable(requests.at(i).target));
    QCOMPARE(m_harness->normalisedLog(), expected(expectedFile(u"whole-search.log"_s)));
    QCOMPARE(readReport(), expected(expectedFile(u"whole-search.htm"_s)));
    QCOMPARE(m_harness->opened, QStringList{ReportName});
    QCOMPARE(m_harness->messages, QStringList());
    // The status follows every entry with a date stamp.
    QCOMPARE(m_harness->statuses,
             (QStringList{u"19/1/1 [00:00:00] @ 2005-03-17"_s, u"20/2/2 [00:00:00] @ 2005-03-17"_s,
                          u"21/3/3 [00:00:00] @ 2005-03-17"_s, u"23/4/3 [00:00:00] @ 2005-03-20"_s,
                          u"24/5/3 [00:00:00] @ 2005-03-20"_s, u"25/6/3 [00:00:00] @ 2005-03-20"_s,
                          u"46/7/4 [00:00:00] @ 2005-04-02"_s, u"47/8/5 [00:00:00] @ 2005-04-02"_s,
                          u"48/9/6 [00:00:00] @ 2005-04-02"_s}));
}

void TestCrawl::monthRanges_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QStringList>("monthPages");
    QTest::addColumn<QString>("summary");

    QTest::newRow("first after last") << u"05"_s << u"03"_s << QStringList()
                                      << u"results: 0 links found (see log above);\r\n0 links scanned;\r\n"_s;
    QTest::newRow("one month, typed short")
        << u"3"_s << u"3"_s << QStringList{u"/~nick/2005/03/"_s}
        << u"results: 3 links found (see log above);\r\n6 links scanned;\r\n"_s;
    QTest::newRow("a month without entries")
        << u"05"_s << u"05"_s << QStringList{u"/~nick/2005/05/"_s}
        << u"results: 0 links found (see log above);\r\n0 links scanned;\r\n"_s;
    QTest::newRow("month 10 keeps its digits")
        << u"10"_s << u"10"_s << QStringList{u"/~nick/2005/10/"_s}
        << u"results: 0 links found (see log above);\r\n0 links scanned;\r\n"_s;
    QTest::newRow("month 13 is loaded unchanged")
        << u"12"_s << u"13"_s << QStringList{u"/~nick/2005/12/"_s, u"/~nick/2005/13/"_s}
        << u"results: 0 links found (see log above);\r\n0 links scanned;\r\n"_s;
}

void TestCrawl::monthRanges()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QStringList, monthPages);
    QFETCH(QString, summary);

    // Months without entries get small pages, to keep the test quick.
    for (const QString &month : {u"05"_s, u"10"_s, u"12"_s, u"13"_s})
        m_server->setPage(u"/~nick/2005/"_s + month + u'/', 200, "text/html",
                          "<a href=\"/~nick/2005/\">year</a> <a href=\"/login.bml\">log in</a>");
    QCOMPARE(scan(from, to, u"LJ"_s), CrawlOutcome::Completed);
    QCOMPARE(monthPagesRequested(), monthPages);
    QVERIFY2(m_harness->logText.endsWith(u"\r\n--------------------\r\n"_s + summary),
             qPrintable(m_harness->logText));
    const QString reportName = u"results.tmp.nick.2005."_s + from + u'-' + to + u".htm"_s;
    QVERIFY(readReport(reportName).endsWith(ReportTail));
    QCOMPARE(m_harness->opened, QStringList{reportName});
}

void TestCrawl::regularExpressionSpansLines()
{
    serveCompactJune();
    // In the entry's text the stamp is two line breaks below the sentence.
    QCOMPARE(scan(u"06"_s, u"06"_s, u"meetup\\. +@ 2005-03-17"_s, true), CrawlOutcome::Completed);
    const QString log = m_harness->logText;
    QVERIFY(log.startsWith(u"RegScan():\r\n"_s));
    QVERIFY(log.contains(u"search expression: \"meetup\\. +@ 2005-03-17\";\r\n"_s));
    QVERIFY(log.contains(u"    found match 'meetup\\. +@ 2005-03-17' (occurrence 1)\r\n"_s));
    QVERIFY(log.endsWith(u"results: 1 links found (see log above);\r\n2 links scanned;\r\n"_s));
    QVERIFY(
        readReport(u"results.tmp.nick.2005.06-06.htm"_s)
            .contains(u"...  went to the LJ <b>meetup.  @ 2005-03-17</b> 12:00:00  Leave  ... <br>\r\n"_s));

    // A plain search does not look across the line break.
    QCOMPARE(scan(u"06"_s, u"06"_s, u"meetup. @"_s), CrawlOutcome::Completed);
    QVERIFY(
        m_harness->logText.endsWith(u"results: 0 links found (see log above);\r\n2 links scanned;\r\n"_s));
}

void TestCrawl::htmlCode_data()
{
    QTest::addColumn<bool>("searchHtmlCode");
    QTest::addColumn<QString>("search");
    QTest::addColumn<int>("found");
    QTest::addColumn<QString>("excerptPiece");

    // The reply link's address is only in the HTML code.
    QTest::newRow("only in the code, code searched")
        << true << u"mode=reply"_s << 2
        << u"&lt;a href=\"http://HOST/~nick/101.html?<b>mode=reply</b>\"&gt;"_s;
    QTest::newRow("only in the code, code not searched") << false << u"mode=reply"_s << 0 << QString();
    QTest::newRow("in both: the text is shown") << true << u"LJ"_s << 1 << u"to the <b>LJ</b> meetup."_s;
}

void TestCrawl::htmlCode()
{
    QFETCH(bool, searchHtmlCode);
    QFETCH(QString, search);
    QFETCH(int, found);
    QFETCH(QString, excerptPiece);

    serveCompactJune();
    m_harness->state.bSearchHtmlCode = searchHtmlCode;
    QCOMPARE(scan(u"06"_s, u"06"_s, search), CrawlOutcome::Completed);
    QVERIFY(m_harness->logText.contains(u"results: "_s + QString::number(found) + u" links found"_s));
    const QString report = readReport(u"results.tmp.nick.2005.06-06.htm"_s);
    QCOMPARE(report.count(u"<a href="_s), found);
    if (!excerptPiece.isEmpty())
        QVERIFY2(report.contains(expected(excerptPiece)), qPrintable(report));
    QVERIFY(!report.contains(u"&lt;p&gt;We went"_s));
}

void TestCrawl::storedPages_data()
{
    QTest::addColumn<bool>("savePages");
    QTest::addColumn<bool>("saveMatchingOnly");
    QTest::addColumn<QStringList>("stored");

    QTest::newRow("none") << false << false << QStringList();
    QTest::newRow("every scanned page") << true << false << QStringList{u"101.html"_s, u"102.html"_s};
    QTest::newRow("matching pages only") << false << true << QStringList{u"101.html"_s};
}

void TestCrawl::storedPages()
{
    QFETCH(bool, savePages);
    QFETCH(bool, saveMatchingOnly);
    QFETCH(QStringList, stored);

    serveCompactJune();
    m_harness->state.bSavePages = savePages;
    m_harness->state.bSaveMatchingOnly = saveMatchingOnly;
    QCOMPARE(scan(u"06"_s, u"06"_s, u"LJ"_s), CrawlOutcome::Completed);

    QDir pages(m_dir->path() + u"/saved.pages.tmp/~nick"_s);
    QCOMPARE(pages.entryList(QDir::Files, QDir::Name), stored);
    QCOMPARE(QDir(m_dir->path() + u"/saved.pages.tmp"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
             stored.isEmpty() ? QStringList() : QStringList{u"~nick"_s});
    const bool notice =
        readReport(u"results.tmp.nick.2005.06-06.htm"_s).contains(u"You can find stored pages in"_s);
    QCOMPARE(notice, !stored.isEmpty());
}

void TestCrawl::storedPageBytes()
{
    m_server->addEntry({u"nick"_s, 2005, 7, 1, 701, u"Charsets"_s,
                        u"<meta http-equiv=\"Content-Type\" content=\"TEXT/HTML; charset=UTF-8\">"
                        u"<p>Привет LJ 日本</p>"_s});
    m_harness->state.bSaveMatchingOnly = true;
    m_server->setPage(u"/~nick/2005/07/"_s, 200, "text/html", "<a href=\"/~nick/701.html\">charsets</a>");
    QCOMPARE(scan(u"07"_s, u"07"_s, u"lj"_s), CrawlOutcome::Completed);

    QFile page(m_dir->path() + u"/saved.pages.tmp/~nick/701.html"_s);
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QByteArray bytes = page.readAll();
    QVERIFY2(bytes.startsWith("<head><meta charset=\"windows-1251\"><title>nick: Charsets</title></head>"),
             bytes.constData());
    QVERIFY(bytes.contains("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">"));
    QVERIFY(bytes.contains("<p>\xcf\xf0\xe8\xe2\xe5\xf2 LJ &#26085;&#26412;</p>"));
    QVERIFY(!bytes.contains("<html"));
}

void TestCrawl::cancelDuringMonthPage()
{
    m_server->setHang(u"/~nick/2005/03/"_s);
    stopWhenRequested(u"/~nick/2005/03/"_s);
    QCOMPARE(scan(u"03"_s, u"04"_s, u"LJ"_s), CrawlOutcome::StoppedAtMonthPage);

    QVERIFY(m_harness->normalisedLog().endsWith(expected(
        u"Loading page ... \"http://HOST/~nick/2005/03/\";\n<dots>\n --- stopped by user --- \n"_s)));
    const QString report = readReport();
    QVERIFY(report.endsWith(u"---<br>\r\n"_s)); // the head only: no tail, not opened
    QCOMPARE(m_harness->opened, QStringList());
    QCOMPARE(monthPagesRequested(), QStringList{u"/~nick/2005/03/"_s});
}

void TestCrawl::cancelDuringEntry()
{
    m_server->setHang(u"/~nick/102.html"_s);
    stopWhenRequested(u"/~nick/102.html"_s);
    QCOMPARE(scan(u"03"_s, u"04"_s, u"LJ"_s), CrawlOutcome::StoppedAtEntry);

    const QString log = m_harness->normalisedLog();
    QVERIFY(log.endsWith(
        expected(u"2005/03/link(23): 'http://HOST/~nick/102.html'\n<dots>\n --- stopped by user --- \n"_s)));
    QVERIFY(!log.contains(u"results: "_s));
    const QString report = readReport();
    QCOMPARE(report.count(u"<a href="_s), 3);
    QVERIFY(report.contains(u"---<br>\r\n<a href=\""_s));
    QVERIFY(report.contains(u"\r\n<br> ----- <b><i>scan aborted</i></b> ----- <br>\r\n--- <br>\r\n"_s));
    QVERIFY(report.contains(u"<br>summary: 3 links found; <br>\r\n3 links scanned<i>"_s));
    QVERIFY(report.endsWith(ReportTail));
    QCOMPARE(m_harness->opened, QStringList{ReportName});
}

void TestCrawl::rejectedPattern()
{
    QCOMPARE(scan(u"03"_s, u"04"_s, u"(LJ"_s, true), CrawlOutcome::Failed);
    QCOMPARE(m_harness->messages.size(), 1);
    const QString message = m_harness->messages.first();
    QVERIFY2(message.startsWith(
                 u"\r\nError 114: \r\nSyntax error in regular expression: missing closing parenthesis"_s),
             qPrintable(message));
    QVERIFY(message.endsWith(
        u"\r\n---\r\n(Incorrect regular expression?)\r\nSearch aborted. If Your RegExp is correct,"
        u"\r\nplease, go to the help page and let me a note.\r\n"_s));
    const QString requestBlock =
        u"---\r\n"
        u"If You're going to report the error, please, provide the following information:\r\n"
        u" -- Your Windows version;\r\n"
        u" -- Your Internet Explorer version;\r\n"
        u" -- Your request:\r\n"
        u"journal: \"nick\";\r\n"
        u"year: \"2005\";\r\n"
        u"search-string: \"(LJ\";\r\n"
        u"from month: 03;\r\n"
        u"to month: 04;\r\n"_s;
    // It fails at the first entry it tests.
    QVERIFY(m_harness->normalisedLog().endsWith(
        expected(u"2005/03/link(19): 'http://HOST/~nick/101.html'\n<dots>Ok \n"_s) + message + requestBlock));
    QVERIFY(readReport().endsWith(u"---<br>\r\n"_s));
    QCOMPARE(m_harness->opened, QStringList());
}

void TestCrawl::failuresEndThePlainSearch_data()
{
    QTest::addColumn<QString>("nick");
    QTest::addColumn<QString>("year");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("what");
    QTest::addColumn<bool>("loadedPages");

    QTest::newRow("month not a number")
        << u"nick"_s << u"2005"_s << u"x3"_s << u"Error 13: \r\nType mismatch"_s << false;
    QTest::newRow("month out of range")
        << u"nick"_s << u"2005"_s << u"40000"_s << u"Error 6: \r\nOverflow"_s << false;
    QTest::newRow("report cannot be written") << u"a/b"_s << u"2005"_s << u"03"_s << u"Error "_s << false;
    QTest::newRow("year breaks the date pattern")
        << u"nick"_s << u"20(05"_s << u"03"_s << u"Error 114: \r\nSyntax error in regular expression"_s
        << true;
}

void TestCrawl::failuresEndThePlainSearch()
{
    QFETCH(QString, nick);
    QFETCH(QString, year);
    QFETCH(QString, from);
    QFETCH(QString, what);
    QFETCH(bool, loadedPages);

    if (loadedPages)
        m_server->setPage(u"/~nick/20(05/03/"_s, 200, "text/html",
                          "<a href=\"/~nick/101.html\">an entry listed under an odd year</a>");
    QCOMPARE(scan(from, u"04"_s, u"LJ"_s, false, nick, year), CrawlOutcome::Failed);
    QCOMPARE(m_harness->messages.size(), 1);
    const QString message = m_harness->messages.first();
    QVERIFY2(message.startsWith(u"\r\n"_s + what), qPrintable(message));
    QVERIFY(message.endsWith(u"\r\n---\r\nSearch aborted.\r\n"_s));
    const QString log = m_harness->logText;
    QVERIFY(log.contains(message + u"---\r\nIf You're going to report the error"_s));
    QVERIFY(log.endsWith(u"from month: "_s + from + u";\r\nto month: 04;\r\n"_s));
    QCOMPARE(m_server->requests().isEmpty(), !loadedPages);
    QCOMPARE(m_harness->opened, QStringList());
}

void TestCrawl::todaysLiveJournal()
{
    m_harness = std::make_unique<SearchHarness>(
        m_dir->path(), QHash<QString, QString>{{u"https://nick.livejournal.com"_s, m_server->origin()},
                                               {u"http://www.livejournal.com"_s, m_server->origin()}});
    m_harness->state.strSiteHost = u"www.livejournal.com"_s;
    m_server->setLiveJournalRedirect(true);

    QCOMPARE(scan(u"03"_s, u"03"_s, u"LJ"_s), CrawlOutcome::Completed);
    const QString log = m_harness->logText;
    QVERIFY(log.contains(u"2005/03/link(19): 'https://nick.livejournal.com/101.html'\r\n"_s));
    QVERIFY(log.contains(u"link(17): 'https://nick.livejournal.com/2005/03/17/' -- skipped\r\n"_s));
    QVERIFY(log.endsWith(u"results: 3 links found (see log above);\r\n6 links scanned;\r\n"_s));
    QCOMPARE(readReport(u"results.tmp.nick.2005.03-03.htm"_s)
                 .count(u"<a href=\"https://nick.livejournal.com/101.html"_s),
             3);
    int entryRequests = 0;
    for (const RequestRecord &request : m_server->requests())
        entryRequests += request.host == u"nick.livejournal.com"_s && request.target.startsWith(u"/10"_s);
    QVERIFY(!log.contains(u"nick_pal"_s) ||
            log.contains(u"'https://nick-pal.livejournal.com/102.html' -- skipped"_s));
    QCOMPARE(entryRequests, 6);
}

void TestCrawl::hostileMonthPage()
{
    const QByteArray hostile = "<a href='/~nick/1.html\"><script>alert(1)</script>'>quote</a>\n"
                               "<a href='/~nick/2.html?q=\"><b>bold</b>'>query</a>\n"
                               "<a href='/~nick/3.html#\"><i>'>fragment</a>\n"
                               "<a href='http://[::1\"<b>]/~nick/4.html'>broken host</a>\n"
                               "<a href='/~nick/5 6.html'>space</a>\n"
                               "<a href='java\nscript:alert(\"/~nick/7.html\")'>script</a>\n";
    m_server->setPage(u"/~nick/2005/06/"_s, 200, "text/html", hostile);

    // An empty search string matches every page with text, so every entry read goes into the report;
    // those that cannot be read are listed at its end.
    QCOMPARE(scan(u"06"_s, u"06"_s, QString()), CrawlOutcome::CompletedWithUnreadPages);
    const QString report = readReport(u"results.tmp.nick.2005.06-06.htm"_s);
    static const QRegularExpression link(u"<a href=\"[^\"<>]*\">"_s);
    QCOMPARE(report.count(link), report.count(u"<a "_s));
    QCOMPARE(report.count(link), 5);
    QVERIFY(!report.contains(u"<script"_s));
    QVERIFY(!report.contains(u"javascript:"_s, Qt::CaseInsensitive));
}

void TestCrawl::unreadPages_data()
{
    // June's month page links to entry 101 and to PAGE; PAGE answers as the row says, "" meaning the
    // month page itself is what fails. The expected log piece is a pattern.
    QTest::addColumn<QString>("page");
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<QString>("logPiece");
    QTest::addColumn<QString>("reason"); // in the report's list; empty: the page was read after all
    QTest::addColumn<bool>("regScan");

    const QString entry = u"/~nick/9.html"_s;
    const Answer page{200, "text/html", "<p>Found at last: LJ</p>"};
    const Answer stall{.shape = Answer::Stall};
    const QString tooMany = u"the server answered 429 \\(Too Many Requests\\)"_s;
    const QByteArray soon =
        QLocale::c()
            .toString(QDateTime::currentDateTimeUtc().addSecs(3), u"ddd, dd MMM yyyy HH:mm:ss 'GMT'"_s)
            .toLatin1();
    const QString notRead = u"\\.+Not read: "_s;

    QTest::newRow("refused") << u"CLOSED"_s << QList<Answer>()
                             << notRead + u"the server refused the connection;"_s
                             << u"the server refused the connection"_s << false;
    QTest::newRow("404") << entry << QList<Answer>{{404, "text/html", "<p>no such entry</p>"}}
                         << notRead + u"the server answered 404 \\(Not Found\\);"_s
                         << u"the server answered 404 (Not Found)"_s << false;
    QTest::newRow("500, not tried again")
        << entry << QList<Answer>{{500, "", ""}, page}
        << notRead + u"the server answered 500 \\(Internal Server Error\\);"_s
        << u"the server answered 500 (Internal Server Error)"_s << false;
    QTest::newRow("429, wait given in seconds")
        << entry << QList<Answer>{{429, "", "", {{"Retry-After", "1"}}}, page}
        << tooMany + u"; it asked to wait 1 s; trying again \\(1 of 4\\)\r\n\\.+Ok "_s << QString() << false;
    QTest::newRow("429, wait given as a date")
        << entry << QList<Answer>{{429, "", "", {{"Retry-After", soon}}}, page}
        << tooMany + u"; it asked to wait [1-4] s; trying again \\(1 of 4\\)\r\n\\.+Ok "_s << QString()
        << false;
    QTest::newRow("429, wait too long")
        << entry << QList<Answer>{{429, "", "", {{"Retry-After", "600"}}}, page}
        << notRead + tooMany + u" and asked to wait 600 s, too long to wait for;"_s
        << u"the server answered 429 (Too Many Requests) and asked to wait 600 s, "
           u"too long to wait for"_s
        << false;
    QTest::newRow("503, then the page")
        << entry << QList<Answer>{{503, "", ""}, page}
        << u"the server answered 503 \\(Service Unavailable\\); waiting 2 s; trying again \\(1 of 4\\)\r\n\\.+Ok "_s
        << QString() << false;
    QTest::newRow("reset, then the page")
        << entry << QList<Answer>{{.shape = Answer::Reset}, page}
        << u"the connection was reset; waiting 2 s; trying again \\(1 of 4\\)\r\n\\.+Ok "_s << QString()
        << false;
    QTest::newRow("no byte past the time-out, five times")
        << entry << QList<Answer>{stall}
        << u"waiting 16 s; trying again \\(4 of 4\\)\r\n"_s + notRead +
               u"nothing arrived for 0\\.3 s \\(timed out\\) \\(tried 5 times\\);"_s
        << u"nothing arrived for 0.3 s (timed out) (tried 5 times)"_s << false;
    QTest::newRow("adult notice")
        << entry
        << QList<Answer>{{200, "text/html",
                          "<form method=post action=/misc/adult_explicit.bml>"
                          "<input type=submit name=adult_check></form>"}}
        << notRead +
               u"the site shows an adult-content notice in place of it; \\(to read such pages, say you are "
               u"18 or older: \"Show adult content\" in the Other menu, or --adult\\)"_s
        << u"the site shows an adult-content notice in place of it"_s << false;
    QTest::newRow("login page") << entry << QList<Answer>{{403, "", ""}}
                                << notRead +
                                       u"the server answered 403 \\(Forbidden\\): the site asks to log in to "
                                       u"see it; \\(to read friends-only pages, search with your own login"_s
                                << u"the server answered 403 (Forbidden): the site asks to log in to see it"_s
                                << false;
    QTest::newRow("month page missing offline") << QString() << QList<Answer>()
                                                << u"offline mode: pages are read only from the page "
                                                   u"cache;\r\nLoading page \\.\\.\\. \"http://HOST/~nick/"
                                                   u"2005/06/\";\r\n\\.+Could not read the month page "
                                                   u"\"http://HOST/~nick/2005/06/\": it is not in the "
                                                   u"page cache \\(offline mode\\);\r\n"_s
                                                << u"it is not in the page cache (offline mode)"_s << false;
    QTest::newRow("a match that runs away")
        << entry << QList<Answer>{{200, "text/html", "<p>" + QByteArray(30000, 'a') + "b</p>"}}
        << u"\\.+Ok \r\nNot searched: too costly to search with this pattern;"_s
        << u"too costly to search with this pattern"_s << true;
}

void TestCrawl::unreadPages()
{
    QFETCH(QString, page);
    QFETCH(QList<Answer>, answers);
    QFETCH(QString, logPiece);
    QFETCH(QString, reason);
    QFETCH(bool, regScan);

    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const QString address =
        page == u"CLOSED"_s
            ? u"http://127.0.0.1:"_s + QString::number(closed.serverPort()) + u"/~nick/9.html"_s
            : m_server->url(page);
    closed.close();
    m_server->setPage(u"/~nick/2005/06/"_s, 200, "text/html",
                      "<a href=\"/~nick/101.html\">first</a> <a href=\"" + address.toUtf8() +
                          "\">second</a>");
    m_server->setAnswers(page, answers);
    m_harness->loaderOptions().forceOffline = page.isEmpty();
    const QString pattern = regScan ? u"(a+)+$|meetup"_s : u"LJ"_s;

    const CrawlOutcome outcome = scan(u"06"_s, u"06"_s, pattern, regScan);
    const QString log = m_harness->logText;
    QVERIFY2(QRegularExpression(logPiece.replace(u"HOST"_s, m_server->host())).match(log).hasMatch(),
             qPrintable(log));
    QCOMPARE(outcome, reason.isEmpty() ? CrawlOutcome::Completed : CrawlOutcome::CompletedWithUnreadPages);
    const QString report = readReport(u"results.tmp.nick.2005.06-06.htm"_s);
    const QString failedPage = page.isEmpty() ? m_server->url(u"/~nick/2005/06/") : address;
    if (reason.isEmpty()) {
        QVERIFY(log.endsWith(u"results: 2 links found (see log above);\r\n2 links scanned;\r\n"_s));
        QVERIFY(!report.contains(u"could not be read"_s));
    } else {
        const qint64 read = page.isEmpty() ? 0 : 1;
        QVERIFY(log.endsWith(u"links found (see log above);\r\n"_s + QString::number(read) +
                             u" links scanned;\r\n1 pages could not be read (see log above);\r\n"_s));
        QVERIFY2(
            report.contains(u"<br>1 pages could not be read: <br>\r\n&nbsp;&nbsp;&nbsp;&nbsp; <a href=\""_s +
                            failedPage + u"\">"_s + failedPage + u"</a> -- "_s + reason + u"<br>\r\n"_s),
            qPrintable(report));
    }
}

// Friends-only entries are listed and read only with the user's login cookies, whose values never
// show anywhere.
void TestCrawl::searchesAsTheUser()
{
    m_server->addEntry({u"ink_well"_s, 2005, 8, 1, 801, u"Public"_s, u"<p>An LJ entry</p>"_s});
    m_server->addEntry(
        {u"ink_well"_s, 2005, 8, 2, 802, u"Friends"_s, u"<p>A friends-only LJ entry</p>"_s, {}, true});
    m_server->setSession("ljsession", "v2:secret");
    m_harness = std::make_unique<SearchHarness>(
        m_dir->path(), QHash<QString, QString>{{u"https://*.journal.example"_s, m_server->origin()},
                                               {u"http://www.journal.example"_s, m_server->origin()}});
    m_harness->state.strSiteHost = u"www.journal.example"_s;
    m_harness->state.bSaveMatchingOnly = true;
    m_server->setLiveJournalRedirect(true);
    QFile cookies(m_dir->file(u"cookies.txt"_s));
    QVERIFY(cookies.open(QIODevice::WriteOnly));
    cookies.write("# a comment\n.journal.example\tTRUE\t/\tTRUE\t0\tljsession\tv2:secret\nbroken line\n");
    cookies.close();
    m_harness->state.strLoginCookies = cookies.fileName();

    QCOMPARE(scan(u"08"_s, u"08"_s, u"LJ"_s, false, u"ink_well"_s), CrawlOutcome::Completed);
    const QString log = m_harness->logText;
    QVERIFY(log.contains(u"line 3 skipped"_s));
    QVERIFY2(log.endsWith(u"results: 6 links found (see log above);\r\n6 links scanned;\r\n"_s),
             qPrintable(log));
    const QString report = readReport(u"results.tmp.ink_well.2005.08-08.htm"_s);
    QVERIFY(report.contains(u"https://ink-well.journal.example/802.html"_s));
    for (const QString &shown : {log, report, QDir(m_dir->path()).entryList().join(u' ')})
        QVERIFY(!shown.contains(u"secret"_s));
}

QTEST_GUILESS_MAIN(TestCrawl)
#include "tst_crawl.moc"
