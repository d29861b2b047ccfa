// SPDX-License-Identifier: GPL-3.0-or-later
#include "JournalServer.h"
#include "SearchHarness.h"
#include "TestFolder.h"
#include "core/Crawl.h"
#include "loader/CodePage1251.h"

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

// Reports are written in windows-1251, the expected files in UTF-8.
QString readText(const QString &name, bool windows1251 = true)
{
    QFile file(name);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : "<missing>";
    return windows1251 ? cp1251::toUnicode(bytes) : QString::fromUtf8(bytes);
}

QString report(const QString &months, const QString &nick = u"nick"_s)
{
    return readText(u"results.tmp."_s + nick + u".2005."_s + months + u".htm"_s);
}

} // namespace

class TestCrawl : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { m.reset(); }
    void wholeSearch();
    void monthRanges_data();
    void monthRanges();
    void matching_data();
    void matching();
    void storedPages_data();
    void storedPages();
    void stops_data();
    void stops();
    void failures_data();
    void failures();
    void hostileMonthPage();
    void unreadPages_data();
    void unreadPages();
    void searchesAsTheUser();
    void dreamwidth_data();
    void dreamwidth();
    void comments_data();
    void comments();
    void years_data();
    void years();
    void resumes_data();
    void resumes();

private:
    // June by default: a month page that links to the two March entries and nothing else.
    CrawlOutcome scan(const QString &search, bool regScan = false, const QString &from = u"06"_s,
                      const QString &to = u"06"_s, const QString &nick = u"nick"_s,
                      const QString &year = u"2005"_s)
    {
        const SearchRequest request{nick, year, from, to, search};
        return regScan ? RegScan(m->harness, request) : Scan(m->harness, request);
    }
    // Expected texts: "\n" line ends, HOST for the server's host, FOLDER for the folder the search runs in.
    QString expected(QString text) const
    {
        return text.replace(u"\n"_s, u"\r\n"_s)
            .replace(u"HOST"_s, m->server.host())
            .replace(u"FOLDER"_s, m->dir.path());
    }

    struct Fixture { // ended in reverse order: the search's loader, the server, then the folder
        TestFolder dir;
        JournalServer server;
        SearchHarness harness{dir.path()};
    };
    std::unique_ptr<Fixture> m;
};

void TestCrawl::init()
{
    m = std::make_unique<Fixture>();
    m->server.addEntry(
        {u"nick"_s, 2005, 3, 17, 101, u"First post"_s, u"<p>We went to the LJ meetup.</p>"_s, QTime(12, 0)});
    m->server.addEntry({u"nick"_s, 2005, 3, 20, 102, u"Second"_s, u"<p>Nothing here.</p>"_s, QTime(8, 15)});
    m->server.addEntry({u"nick"_s, 2005, 4, 2, 201, u"April"_s, u"<p>Another lj story</p>"_s, QTime(23, 59)});
    m->server.setPage(u"/~nick/2005/06/"_s, 200, "text/html",
                      "<p><a href=\"/~nick/101.html\">first</a> <a href=\"/~nick/102.html\">second</a></p>");
    m->harness.state.strSiteHost = m->server.host();
}

void TestCrawl::wholeSearch()
{
    m->harness.loaderOptions().timeScale = 1;
    QCOMPARE(scan(u"LJ"_s, false, u"03"_s, u"04"_s), CrawlOutcome::Completed);
    // One request at a time, at most five a second, as the sites ask; nothing waits but a request.
    const QList<RequestRecord> requests = m->server.requests();
    for (qsizetype i = 1; i < requests.size(); ++i)
        QVERIFY2(requests.at(i).arrivedMs - requests.at(i - 1).arrivedMs >= 200,
                 qPrintable(requests.at(i).target));
    const QString expectedDir = QStringLiteral(DIARYTRAWL_EXPECTED_DIR "/");
    QCOMPARE(m->harness.normalisedLog(), expected(readText(expectedDir + u"whole-search.log"_s, false)));
    QCOMPARE(report(u"03-04"_s), expected(readText(expectedDir + u"whole-search.htm"_s, false)));
    QCOMPARE(m->harness.opened, QStringList{u"results.tmp.nick.2005.03-04.htm"_s});
    QCOMPARE(m->harness.statuses,
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

    QTest::newRow("first after last: none") << u"05"_s << u"03"_s << QStringList();
    QTest::newRow("sign and space taken, a zero before one digit, 13 unchanged")
        << u" +9"_s << u"13"_s
        << QStringList{u"/~nick/2005/09/"_s, u"/~nick/2005/10/"_s, u"/~nick/2005/11/"_s, u"/~nick/2005/12/"_s,
                       u"/~nick/2005/13/"_s};
}

void TestCrawl::monthRanges()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QStringList, monthPages);

    for (const QString &month : monthPages) // small pages without links keep the test quick
        m->server.setPage(month, 200, "text/html", "<p>no entries</p>");
    QCOMPARE(scan(u"LJ"_s, false, from, to), CrawlOutcome::Completed);
    QStringList requested;
    for (const RequestRecord &request : m->server.requests())
        requested << request.target;
    QCOMPARE(requested, monthPages);
    QVERIFY(
        m->harness.logText.endsWith(u"results: 0 links found (see log above);\r\n0 links scanned;\r\n"_s));
    QCOMPARE(m->harness.opened, QStringList{u"results.tmp.nick.2005."_s + from + u'-' + to + u".htm"_s});
}

void TestCrawl::matching_data()
{
    QTest::addColumn<bool>("regScan");
    QTest::addColumn<bool>("searchHtmlCode");
    QTest::addColumn<QString>("search");
    QTest::addColumn<int>("found");
    QTest::addColumn<QString>("excerpt");

    // The reply link's address is only in the HTML code.
    QTest::newRow("only in the code, code searched")
        << false << true << u"mode=reply"_s << 2
        << u"&lt;a href=\"http://HOST/~nick/101.html?<b>mode=reply</b>\"&gt;"_s;
    QTest::newRow("only in the code, not searched") << false << false << u"mode=reply"_s << 0 << QString();
    QTest::newRow("in both: the text is shown")
        << false << true << u"LJ"_s << 1 << u"to the <b>LJ</b> meetup."_s;
    // In the entry's text the stamp is two line breaks below the sentence.
    QTest::newRow("a regular expression spans lines")
        << true << false << u"meetup\\. +@ 2005-03-17"_s << 1
        << u"...  went to the LJ <b>meetup.  @ 2005-03-17</b> 12:00:00  Leave  ... <br>"_s;
    QTest::newRow("plain text does not") << false << false << u"meetup. @"_s << 0 << QString();
}

void TestCrawl::matching()
{
    QFETCH(bool, regScan);
    QFETCH(bool, searchHtmlCode);
    QFETCH(QString, search);
    QFETCH(int, found);
    QFETCH(QString, excerpt);

    m->harness.state.bSearchHtmlCode = searchHtmlCode;
    QCOMPARE(scan(search, regScan), CrawlOutcome::Completed);
    QVERIFY(m->harness.logText.endsWith(u"results: "_s + QString::number(found) +
                                        u" links found (see log above);\r\n2 links scanned;\r\n"_s));
    const QString text = report(u"06-06"_s);
    QCOMPARE(text.count(u"<a href="_s), found);
    QVERIFY2(text.contains(expected(excerpt)), qPrintable(text));
    QVERIFY(!text.contains(u"&lt;p&gt;We went"_s));
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

    m->harness.state.bSavePages = savePages;
    m->harness.state.bSaveMatchingOnly = saveMatchingOnly;
    QCOMPARE(scan(u"LJ"_s), CrawlOutcome::Completed);
    const QDir pages(m->dir.path() + u"/saved.pages.tmp/~nick"_s);
    QCOMPARE(pages.entryList(QDir::Files, QDir::Name), stored);
    QCOMPARE(report(u"06-06"_s).contains(u"You can find stored pages in"_s), !stored.isEmpty());
    if (!stored.isEmpty()) // the page as the browser holds it, declared in the code page it is stored in
        QVERIFY(readText(pages.filePath(u"101.html"_s))
                    .startsWith(u"<head><meta charset=\"windows-1251\"><title>"_s));
}

void TestCrawl::stops_data()
{
    QTest::addColumn<QString>("page"); // hangs until the stop
    QTest::addColumn<QString>("logTail");

    QTest::newRow("at a month page")
        << u"/~nick/2005/03/"_s
        << u"Loading page ... \"http://HOST/~nick/2005/03/\";\n<dots>\n --- stopped by user --- \n"_s;
    QTest::newRow("at an entry")
        << u"/~nick/102.html"_s
        << u"2005/03/link(23): 'http://HOST/~nick/102.html'\n<dots>\n --- stopped by user --- \n"_s;
}

void TestCrawl::stops()
{
    QFETCH(QString, page);
    QFETCH(QString, logTail);

    m->server.setHang(page);
    QTimer poll; // the stop comes from an event, as the Cancel button's click does
    connect(&poll, &QTimer::timeout, this,
            [&] { m->harness.state.bStopRequested = m->server.requestCount(page) > 0; });
    poll.start(10);
    const bool atEntry = page.endsWith(u".html"_s);
    QCOMPARE(scan(u"LJ"_s, false, u"03"_s, u"04"_s),
             atEntry ? CrawlOutcome::StoppedAtEntry : CrawlOutcome::StoppedAtMonthPage);
    QVERIFY2(m->harness.normalisedLog().endsWith(expected(logTail)), qPrintable(m->harness.logText));
    // Stopped at an entry, the report holds what was found, says so and is opened; at a month page, its head.
    const QString text = report(u"03-04"_s);
    QCOMPARE(text.count(u"<a href="_s), atEntry ? 3 : 0);
    QCOMPARE(text.contains(
                 expected(u"<br> ----- <b><i>scan aborted</i></b> ----- <br>\n--- <br>\nscan finished at: "
                          u"<i>6 Dec 2026 10:00:00</i>; <br>\n<br>summary: 3 links found; <br>\n3 links "
                          u"scanned<i> (scan time: 00:00:00)</i>; <br>\n"_s)),
             atEntry);
    QVERIFY(text.endsWith(atEntry ? u"</body>\r\n\r\n</html>\r\n"_s : u"---<br>\r\n"_s));
    QCOMPARE(m->harness.opened.size(), atEntry ? 1 : 0);
}

void TestCrawl::failures_data()
{
    QTest::addColumn<QString>("nick");
    QTest::addColumn<QString>("year");
    QTest::addColumn<QString>("from");
    QTest::addColumn<bool>("regScan"); // of "(LJ", else a plain search for "LJ"
    QTest::addColumn<QString>("what");
    QTest::addColumn<bool>("loadedPages");

    QTest::newRow("month not a number")
        << u"nick"_s << u"2005"_s << u"x3"_s << false << u"Error 13: \r\nType mismatch"_s << false;
    QTest::newRow("month out of range")
        << u"nick"_s << u"2005"_s << u"40000"_s << false << u"Error 6: \r\nOverflow"_s << false;
    QTest::newRow("report not writable") << u"a/b"_s << u"2005"_s << u"03"_s << false << u"Error "_s << false;
    // Years are refused before any page is loaded, as months are.
    QTest::newRow("year not a number") << u"nick"_s << u"20(05"_s << u"03"_s << false
                                       << u"Error 13: \r\nType mismatch: the year \"20(05\""_s << false;
    QTest::newRow("range running backwards")
        << u"nick"_s << u"2012-2003"_s << u"03"_s << false << u"Error 5: \r\nInvalid range"_s << false;
    QTest::newRow("range over a hundred years")
        << u"nick"_s << u"1900-2012"_s << u"03"_s << false << u"Error 6: \r\nOverflow"_s << false;
    // It fails at the first entry it tests.
    QTest::newRow("pattern that does not compile")
        << u"nick"_s << u"2005"_s << u"03"_s << true
        << u"Error 114: \r\nSyntax error in regular expression: missing closing parenthesis"_s << true;
}

void TestCrawl::failures()
{
    QFETCH(QString, nick);
    QFETCH(QString, year);
    QFETCH(QString, from);
    QFETCH(bool, regScan);
    QFETCH(QString, what);
    QFETCH(bool, loadedPages);

    const QString search = regScan ? u"(LJ"_s : u"LJ"_s;
    QCOMPARE(scan(search, regScan, from, u"04"_s, nick, year), CrawlOutcome::Failed);
    QCOMPARE(m->harness.messages.size(), 1);
    const QString message = m->harness.messages.first();
    QVERIFY2(message.startsWith(u"\r\n"_s + what), qPrintable(message));
    QVERIFY(message.endsWith(
        regScan ? u"\r\n---\r\n(Incorrect regular expression?)\r\nSearch aborted. If Your "
                  u"RegExp is correct,\r\nplease, go to the help page and let me a note.\r\n"_s
                : u"\r\n---\r\nSearch aborted.\r\n"_s));
    QVERIFY2(m->harness.logText.endsWith(
                 message +
                 u"---\r\nIf You're going to report the error, please, provide the following information:\r\n"
                 u" -- Your Windows version;\r\n -- Your Internet Explorer version;\r\n -- Your request:\r\n"
                 u"journal: \""_s +
                 nick + u"\";\r\nyear: \""_s + year + u"\";\r\nsearch-string: \""_s + search +
                 u"\";\r\nfrom month: "_s + from + u";\r\nto month: 04;\r\n"_s),
             qPrintable(m->harness.logText));
    QCOMPARE(m->server.requests().isEmpty(), !loadedPages);
    QCOMPARE(m->harness.opened, QStringList());
}

void TestCrawl::hostileMonthPage()
{
    m->server.setPage(u"/~nick/2005/06/"_s, 200, "text/html",
                      "<a href='/~nick/1.html\"><script>alert(1)</script>'>quote</a>\n"
                      "<a href='/~nick/2.html?q=\"><b>bold</b>'>query</a>\n"
                      "<a href='/~nick/3.html#\"><i>'>fragment</a>\n"
                      "<a href='http://[::1\"<b>]/~nick/4.html'>broken host</a>\n"
                      "<a href='/~nick/5 6.html'>space</a>\n"
                      "<a href='java\nscript:alert(\"/~nick/7.html\")'>script</a>\n");
    // An empty search string matches every page with text; the pages that cannot be read are listed too.
    QCOMPARE(scan(QString()), CrawlOutcome::CompletedWithUnreadPages);
    const QString text = report(u"06-06"_s);
    static const QRegularExpression link(u"<a href=\"[^\"<>]*\">"_s);
    QCOMPARE(text.count(link), text.count(u"<a "_s));
    QCOMPARE(text.count(link), 5);
    QVERIFY(!text.contains(u"<script"_s));
    QVERIFY(!text.contains(u"javascript:"_s, Qt::CaseInsensitive));
}

void TestCrawl::unreadPages_data()
{
    // June's month page links to entry 101 and to PAGE, which answers as the row says; a row whose PAGE
    // is June's own searches offline.
    QTest::addColumn<QString>("page");
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<QString>("reason");   // in the log and the report's list; empty: read after all
    QTest::addColumn<QString>("logPiece"); // a pattern
    QTest::addColumn<bool>("regScan");

    const QString entry = u"/~nick/9.html"_s;
    const Answer page{200, "text/html", "<p>Found at last: LJ</p>"};
    const QByteArray soon =
        QLocale::c()
            .toString(QDateTime::currentDateTimeUtc().addSecs(3), u"ddd, dd MMM yyyy HH:mm:ss 'GMT'"_s)
            .toLatin1();
    QTest::newRow("refused") << u"CLOSED"_s << QList<Answer>() << u"the server refused the connection"_s
                             << QString() << false;
    QTest::newRow("500, not tried again")
        << entry << QList<Answer>{{500, "", ""}, page} << u"the server answered 500 (Internal Server Error)"_s
        << QString() << false;
    QTest::newRow("429, wait given in seconds")
        << entry << QList<Answer>{{429, "", "", {{"Retry-After", "1"}}}, page} << QString()
        << u"\\(Too Many Requests\\); it asked to wait 1 s; trying again \\(1 of 4\\)\r\n"_s << false;
    QTest::newRow("429, wait given as a date")
        << entry << QList<Answer>{{429, "", "", {{"Retry-After", soon}}}, page} << QString()
        << u"\\(Too Many Requests\\); it asked to wait [1-4] s; trying again \\(1 of 4\\)\r\n"_s << false;
    QTest::newRow("429, wait too long")
        << entry << QList<Answer>{{429, "", "", {{"Retry-After", "600"}}}, page}
        << u"the server answered 429 (Too Many Requests) and asked to wait 600 s, too long to wait for"_s
        << QString() << false;
    QTest::newRow("503, then the page")
        << entry << QList<Answer>{{503, "", ""}, page} << QString()
        << u"\\(Service Unavailable\\); waiting 2 s; trying again \\(1 of 4\\)\r\n"_s << false;
    QTest::newRow("reset, then the page")
        << entry << QList<Answer>{{.shape = Answer::Reset}, page} << QString()
        << u"the connection was reset; waiting 2 s; trying again \\(1 of 4\\)\r\n"_s << false;
    QTest::newRow("no byte past the time-out, five times")
        << entry << QList<Answer>{{.shape = Answer::Stall}}
        << u"nothing arrived for 0.3 s (timed out) (tried 5 times)"_s
        << u"waiting 16 s; trying again \\(4 of 4\\)\r\n\\.+Not read: "_s << false;
    QTest::newRow("adult notice")
        << entry
        << QList<Answer>{{200, "text/html",
                          "<form method=post action=/misc/adult_explicit.bml><input type=submit "
                          "name=adult_check></form>"}}
        << u"the site shows an adult-content notice in place of it"_s
        << u"; \\(to read such pages, say you are 18 or older: \"Show adult content\" in the Other menu, or "
           u"--adult\\)"_s
        << false;
    QTest::newRow("login page") << entry << QList<Answer>{{403, "", ""}}
                                << u"the server answered 403 (Forbidden): the site asks to log in to see it"_s
                                << u"; \\(to read friends-only pages, search with your own login"_s << false;
    QTest::newRow("month page missing offline")
        << u"/~nick/2005/06/"_s << QList<Answer>() << u"it is not in the page cache (offline mode)"_s
        << u"read only from the page cache;\r\n.*\r\n\\.*Could not read the month page "
           u"\"http://HOST/~nick/2005/06/\": "_s
        << false;
    // Found at once, it runs away while its excerpts are cut: nothing of the entry may be written.
    QTest::newRow("a match that runs away")
        << entry << QList<Answer>{{200, "text/html", "<p>meetup " + QByteArray(30000, 'a') + "b</p>"}}
        << u"too costly to search with this pattern"_s << u"\\.+Ok \r\nNot searched: "_s << true;
}

void TestCrawl::unreadPages()
{
    QFETCH(QString, page);
    QFETCH(QList<Answer>, answers);
    QFETCH(QString, reason);
    QFETCH(QString, logPiece);
    QFETCH(bool, regScan);

    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const QString address = page == u"CLOSED"_s
                                ? u"http://127.0.0.1:%1/~nick/9.html"_s.arg(closed.serverPort())
                                : m->server.url(page);
    closed.close();
    m->server.setPage(u"/~nick/2005/06/"_s, 200, "text/html",
                      "<a href=/~nick/101.html>first</a> <a href=\"" + address.toUtf8() + "\">second</a>");
    m->server.setAnswers(page, answers);
    m->harness.loaderOptions().forceOffline = page.endsWith(u'/');

    const CrawlOutcome outcome = scan(regScan ? u"(a+)+$|meetup"_s : u"LJ"_s, regScan);
    const QString log = m->harness.logText;
    QVERIFY2(QRegularExpression(logPiece.replace(u"HOST"_s, m->server.host())).match(log).hasMatch() &&
                 log.contains(reason + u';'),
             qPrintable(log));
    QCOMPARE(outcome, reason.isEmpty() ? CrawlOutcome::Completed : CrawlOutcome::CompletedWithUnreadPages);
    QVERIFY(log.endsWith(reason.isEmpty()
                             ? u"results: 2 links found (see log above);\r\n2 links scanned;\r\n"_s
                             : u"links found (see log above);\r\n"_s + (page.endsWith(u'/') ? u'0' : u'1') +
                                   u" links scanned;\r\n1 pages could not be read (see log above);\r\n"_s));
    const QString text = report(u"06-06"_s);
    const QString listed =
        reason.isEmpty() ? u"could not be read"_s
                         : u"<br>1 pages could not be read: <br>\r\n&nbsp;&nbsp;&nbsp;&nbsp; <a href=\""_s +
                               address + u"\">"_s + address + u"</a> -- "_s + reason + u"<br>\r\n"_s;
    QVERIFY2(text.contains(listed) != reason.isEmpty(), qPrintable(text));
}

// Today's shape: entries on the journal's own host, '_' in the user name written '-'. Friends-only entries
// are listed and read only with the user's login cookies, whose values never show anywhere.
void TestCrawl::searchesAsTheUser()
{
    m->server.addEntry({u"ink_well"_s, 2005, 8, 1, 801, u"Public"_s, u"<p>An LJ entry</p>"_s});
    m->server.addEntry(
        {u"ink_well"_s, 2005, 8, 2, 802, u"Friends"_s, u"<p>A friends-only LJ entry</p>"_s, {}, true});
    m->server.setSession("ljsession", "v2:secret");
    m->server.setLiveJournalRedirect(true);
    m->harness.loaderOptions().originMap = {{u"https://*.journal.example"_s, m->server.origin()},
                                            {u"http://www.journal.example"_s, m->server.origin()}};
    m->harness.state.strSiteHost = u"www.journal.example"_s;
    m->harness.state.bSaveMatchingOnly = true;
    QFile cookies(m->dir.file(u"cookies.txt"_s));
    QVERIFY(cookies.open(QIODevice::WriteOnly));
    cookies.write("# a comment\n.journal.example\tTRUE\t/\tTRUE\t0\tljsession\tv2:secret\nbroken line\n");
    cookies.close();
    m->harness.state.strLoginCookies = cookies.fileName();

    QCOMPARE(scan(u"LJ"_s, false, u"08"_s, u"08"_s, u"ink_well"_s), CrawlOutcome::Completed);
    const QString log = m->harness.logText;
    QVERIFY(log.contains(u"line 3 skipped"_s));
    QVERIFY2(log.contains(u"results: 6 links found (see log above);\r\n6 links scanned;\r\n"_s),
             qPrintable(log));
    const QString text = report(u"08-08"_s, u"ink_well"_s);
    QVERIFY(text.contains(u"https://ink-well.journal.example/802.html"_s));
    for (const QString &shown : {log, text, QDir(m->dir.path()).entryList().join(u' ')})
        QVERIFY(!shown.contains(u"secret"_s));
}

// Dreamwidth as it is today, behind its limiter, at a fiftieth of its time: 30 requests a minute for a
// visitor, 100 with a login; entries with names; a consent per entry; its captcha. Each entry is linked
// three times (itself, to reply, to its comments), and each is searched.
void TestCrawl::dreamwidth_data()
{
    QTest::addColumn<int>("paceMs"); // as --pace gives it; 0: the site's
    QTest::addColumn<bool>("login");
    QTest::addColumn<bool>("captcha");
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("closestMs"); // the closest two requests, unscaled; below 0: less than that; 0: any
    QTest::addColumn<int>("refused");   // 429 answers
    QTest::addColumn<QString>("logPiece");
    QTest::addColumn<QString>("status"); // how the first status text ends

    QTest::newRow("a visitor: a page every 2 s, a consent for each entry, named entries read")
        << 0 << false << false << 2 << 2000 << 0
        << u"--> link 'https://walker.dreamwidth.org/2005/03/02/a-walk.html':"_s
        << u"@ 2005-03-02 (one page every 2 s, 00:00:10 left in 2005/03)"_s;
    QTest::newRow("with a login: every 0.6 s") << 0 << true << false << 2 << -2000 << 0 << QString()
                                               << u"(one page every 0.6 s, 00:00:03 left in 2005/03)"_s;
    QTest::newRow("faster than the limit: refused once, then slower")
        << 200 << false << false << 12 << 0 << 1 << u"the site limits requests; slowing to one every 2."_s
        << u"@ 2005-03-02"_s;
    QTest::newRow("a captcha: nothing more asked")
        << 0 << false << true << 2 << 2000 << 0
        << u"the site asks to prove you are a person (captcha); (the search asks the site for nothing more"_s
        << QString();
}

void TestCrawl::dreamwidth()
{
    QFETCH(int, paceMs);
    QFETCH(bool, login);
    QFETCH(bool, captcha);
    QFETCH(int, entries);
    QFETCH(int, closestMs);
    QFETCH(int, refused);
    QFETCH(QString, logPiece);
    QFETCH(QString, status);

    constexpr double Scale = 0.04;
    for (int id = 1; id <= entries; ++id)
        m->server.addEntry({u"walker"_s, 2005, 3, id % 28 + 1, id, u"Walk"_s,
                            u"<p>A walk in the LJ rain</p>"_s, QTime(12, 0), false, AdultNotice::None,
                            id == 1 ? u"a-walk"_s : QString()});
    m->server.setAdultNotice(u"walker"_s, AdultNotice::DreamwidthConcepts);
    m->server.setLiveJournalRedirect(true);
    m->server.setRateLimit(std::chrono::milliseconds(qint64(60000 * Scale)));
    m->server.setCaptcha(captcha);
    m->server.setSession("ljsession", "v2:secret");
    m->harness.loaderOptions().originMap = {{u"https://*.dreamwidth.org"_s, m->server.origin()},
                                            {u"http://www.dreamwidth.org"_s, m->server.origin()}};
    m->harness.loaderOptions().timeScale = m->harness.retries.timeScale = Scale;
    if (paceMs > 0)
        m->harness.loaderOptions().pace = std::chrono::milliseconds(paceMs);
    m->harness.state.strSiteHost = u"www.dreamwidth.org"_s;
    m->harness.state.bShowAdultContent = true;
    if (login) {
        QFile cookies(m->dir.file(u"cookies.txt"_s));
        QVERIFY(cookies.open(QIODevice::WriteOnly));
        cookies.write(".dreamwidth.org\tTRUE\t/\tTRUE\t0\tljsession\tv2:secret\n");
        m->harness.state.strLoginCookies = cookies.fileName();
    }

    const CrawlOutcome outcome = scan(u"LJ"_s, false, u"03"_s, u"04"_s, u"walker"_s);
    const QString log = m->harness.logText;
    QVERIFY2(outcome == (captcha ? CrawlOutcome::CompletedWithUnreadPages : CrawlOutcome::Completed),
             qPrintable(log));
    QVERIFY2(log.contains(logPiece), qPrintable(log));
    QVERIFY2(m->harness.statuses.value(0).endsWith(status), qPrintable(m->harness.statuses.value(0)));
    const QList<RequestRecord> requests = m->server.requests();
    qint64 closest = std::numeric_limits<qint64>::max();
    for (qsizetype i = 1; i < requests.size(); ++i)
        closest = std::min(closest, requests[i].arrivedMs - requests[i - 1].arrivedMs);
    // At this scale the server's own threads, waiting for the processor, blur when a request arrived.
    QVERIFY2(closestMs >= 0 ? closest >= closestMs * Scale * 3 / 4 : closest < -closestMs * Scale,
             qPrintable(QString::number(closest)));
    const auto count = [&requests](auto what) {
        return std::count_if(requests.begin(), requests.end(), what);
    };
    QCOMPARE(count([](const RequestRecord &r) { return r.status == 429; }), refused);
    if (captcha) { // the redirect from the site's host, the journal's answer with the captcha, and no more
        QCOMPARE(requests.size(), 2);
        QVERIFY(log.endsWith(u"2 pages could not be read (see log above);\r\n"_s));
    } else { // the notice answered once for the whole journal, then once for each entry
        QCOMPARE(count([](const RequestRecord &r) { return r.method == "POST"; }), entries + 1);
        const QString links = QString::number(3 * entries);
        QVERIFY(log.contains(u"results: "_s + links + u" links found (see log above);\r\n"_s + links +
                             u" links scanned;\r\n"_s));
    }
}

// An entry with its comments as today's LiveJournal (its page script) or Dreamwidth (rendered) carry
// them: one on the first page, one on the second, one collapsed, one with its word only in an attribute.
void TestCrawl::comments_data()
{
    QTest::addColumn<QString>("site");
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("allComments");
    QTest::addColumn<int>("found");
    QTest::addColumn<QString>("logPiece");
    QTest::addColumn<QString>("reportPiece");
    QTest::addColumn<QByteArray>("page"); // the entry's page in place of the server's, when given

    const QString lj = u"www.livejournal.com"_s, dw = u"www.dreamwidth.org"_s;
    const QString notSearched =
        u"    comments not searched: 1 more page, 1 collapsed thread (to search them too: "
        u"\"Search all comments\" in the Advanced menu, or --all-comments)\r\n"_s;
    QTest::newRow("the entry's own text")
        << lj << u"weather"_s << false << 1 << notSearched << u"about the <b>weather</b>."_s << QByteArray();
    QTest::newRow("LiveJournal: first page")
        << lj << u"caramel"_s << false << 1
        << u"    in the comment 'https://talker.livejournal.com/501.html?thread=1001#t1001' by alice\r\n"_s
        << u"<i>@ 2005-05-10</i>:&nbsp;&nbsp;&nbsp;&nbsp; <a href=\"https://talker.livejournal.com/501.html?"
           u"thread=1001#t1001\">comment by alice</a>: ... <b>Caramel</b> on the first  ... <br>\r\n"_s
        << QByteArray();
    QTest::newRow("LiveJournal: second page, not asked for")
        << lj << u"buttercup"_s << false << 0 << notSearched << QString() << QByteArray();
    QTest::newRow("LiveJournal: second page")
        << lj << u"buttercup"_s << true << 1 << u"thread=1002#t1002' by bob"_s << u"comment by bob</a>"_s
        << QByteArray();
    QTest::newRow("LiveJournal: collapsed thread")
        << lj << u"nutmeg"_s << true << 1 << u"thread=1003#t1003' by carol"_s << u"comment by carol</a>"_s
        << QByteArray();
    QTest::newRow("LiveJournal: an attribute is no text")
        << lj << u"saffron"_s << true << 0 << QString() << QString() << QByteArray();
    QTest::newRow("Dreamwidth: first page")
        << dw << u"caramel"_s << false << 1
        << u"    in the comment 'https://talker.dreamwidth.org/501.html?thread=1001#cmt1001' by alice\r\n"_s
        << u"comment by alice</a>: ... Re: Walk\r\n<b>Caramel</b> on the first  ... <br>"_s << QByteArray();
    QTest::newRow("Dreamwidth: second page, not asked for")
        << dw << u"buttercup"_s << false << 0 << notSearched << QString() << QByteArray();
    QTest::newRow("Dreamwidth: second page")
        << dw << u"buttercup"_s << true << 1 << u"thread=1002#cmt1002' by bob"_s << u"comment by bob</a>"_s
        << QByteArray();
    QTest::newRow("Dreamwidth: past the page's limit")
        << dw << u"nutmeg"_s << true << 1 << u"thread=1003#cmt1003' by carol"_s << u"comment by carol</a>"_s
        << QByteArray();
    // Script data that cannot be read leaves the comments unread, and the entry is searched all the same.
    const QByteArray entry = "<p>An entry about the weather.</p>";
    const QString unread = u"Comments not read: its comment data "_s;
    QTest::newRow("script data nested past 64")
        << lj << u"weather"_s << false << 1 << unread + u"is damaged or nested deeper than 64 levels;"_s
        << QString()
        << "<script>Site.page = {\"comments\":" + QByteArray(70, '[') + QByteArray(70, ']') + "};</script>" +
               entry;
    QTest::newRow("script data with more than 20000 comments")
        << lj << u"weather"_s << false << 1 << unread + u"holds more than 20000 comments;"_s << QString()
        << "<script>Site.page = {\"comments\":[{}" + QByteArray(",{}").repeated(20000) + "]};</script>" +
               entry;
    QTest::newRow("script data cut short")
        << lj << u"weather"_s << false << 1 << unread + u"is damaged"_s << QString()
        << "<script>Site.page = {\"comments\":[{\"thread\":1,\"article\":\"x</script>" + entry;
    QTest::newRow("Dreamwidth: an attribute is no text")
        << dw << u"saffron"_s << true << 0 << QString() << QString() << QByteArray();
}

void TestCrawl::comments()
{
    QFETCH(QString, site);
    QFETCH(QString, word);
    QFETCH(bool, allComments);
    QFETCH(int, found);
    QFETCH(QString, logPiece);
    QFETCH(QString, reportPiece);
    QFETCH(QByteArray, page);

    if (!page.isEmpty())
        m->server.setPage(u"/501.html"_s, 200, "text/html", page);
    m->server.addEntry({u"talker"_s,
                        2005,
                        5,
                        10,
                        501,
                        u"Walk"_s,
                        u"<p>An entry about the weather.</p>"_s,
                        QTime(12, 0),
                        false,
                        AdultNotice::None,
                        QString(),
                        {{1001, u"alice"_s, u"<p>Caramel on the first page</p>"_s},
                         {1002, u"bob"_s, u"<p>Buttercup on the second</p>"_s, 2},
                         {1003, u"carol"_s, u"<p>Nutmeg in a collapsed thread</p>"_s, 1, true},
                         {1004, u"dave"_s, u"<p><a title=\"Saffron\" href=\"/x\">a link</a></p>"_s}}});
    m->server.setPage(u"/2005/05/"_s, 200, "text/html", "<a href=\"/501.html\">the entry</a>");
    m->server.setLiveJournalRedirect(true);
    for (const QString &domain : {u"livejournal.com"_s, u"dreamwidth.org"_s})
        m->harness.loaderOptions().originMap.insert(u"https://*."_s + domain, m->server.origin());
    m->harness.loaderOptions().originMap.insert(u"http://"_s + site, m->server.origin());
    m->harness.loaderOptions().timeScale = 0; // Dreamwidth's pace is checked above
    m->harness.state.strSiteHost = site;
    m->harness.state.bSearchAllComments = allComments;

    QCOMPARE(scan(word, false, u"05"_s, u"05"_s, u"talker"_s),
             page.isEmpty() ? CrawlOutcome::Completed : CrawlOutcome::CompletedWithUnreadPages);
    const QString log = m->harness.logText;
    QVERIFY2(log.contains(logPiece), qPrintable(log));
    QVERIFY2(log.contains(u"results: "_s + QString::number(found) +
                          u" links found (see log above);\r\n1 links scanned;\r\n"_s),
             qPrintable(log));
    const QString report = readText(u"results.tmp.talker.2005.05-05.htm"_s);
    QVERIFY2(report.contains(reportPiece), qPrintable(report));
    QCOMPARE(report.contains(u"\">comment by "_s), logPiece.contains(u"' by "_s));
    // Each further page and thread once, as a request and not as an entry.
    QCOMPARE(m->server.requestCount(u"/501.html?page=2"_s), allComments ? 1 : 0);
}

namespace {

// A journal of three years, one of them without entries: the pages a search asks for, by kind.
struct PagesAsked {
    int calendar = 0;
    int years = 0;
    int months = 0;
    int entries = 0;
};

void addDecade(JournalServer &server)
{
    const int dates[][3] = {{2003, 5, 2}, {2003, 11, 30}, {2005, 3, 17}, {2005, 3, 20}, {2005, 6, 1}};
    int id = 900;
    for (const auto &[year, month, day] : dates)
        server.addEntry({u"decade"_s, year, month, day, ++id, u"Snow"_s, u"<p>Snow again</p>"_s});
}

PagesAsked pagesAsked(const JournalServer &server)
{
    PagesAsked asked;
    static const QRegularExpression year(u"^/~decade/\\d{4}/$"_s), month(u"^/~decade/\\d{4}/\\d{2}/$"_s);
    for (const RequestRecord &request : server.requests()) {
        asked.calendar += request.target == u"/~decade/calendar";
        asked.years += year.match(request.target).hasMatch();
        asked.months += month.match(request.target).hasMatch();
        asked.entries += request.target.endsWith(u".html"_s);
    }
    return asked;
}

} // namespace

void TestCrawl::years_data()
{
    QTest::addColumn<QString>("year");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("brokenYear"); // a year page that answers 500
    QTest::addColumn<QList<int>>("asked");   // calendar, year pages, month pages
    QTest::addColumn<int>("found");
    QTest::addColumn<QString>("logPiece");

    QTest::newRow("a range over an empty year and empty months")
        << u"2003-2005"_s << u"01"_s << u"12"_s << QString() << QList<int>{0, 3, 4} << 5
        << u"Loading year page ... \"http://HOST/~decade/2004/\";\n<dots>Year page loaded, months with "
           u"entries: "
           u"none;\nLoading year page ... \"http://HOST/~decade/2005/\";\n<dots>Year page loaded, months "
           u"with "
           u"entries: 03, 06;\n"_s;
    // The calendar is the latest year's page: the other years' pages only.
    QTest::newRow("every year") << u"all"_s << u"01"_s << u"12"_s << QString() << QList<int>{1, 1, 4} << 5
                                << u"Calendar loaded, years with entries: 2003, 2005;\n"_s;
    QTest::newRow("from a month of the first year to a month of the last")
        << u"2003-2005"_s << u"06"_s << u"03"_s << QString() << QList<int>{0, 3, 2} << 3
        << u"Loading page ... \"http://HOST/~decade/2003/11/\";"_s;
    QTest::newRow("a year page that cannot be read: its months one by one")
        << u"2003-2004"_s << u"11"_s << u"02"_s << u"2004"_s << QList<int>{0, 2, 3} << 1
        << u"Could not read the year page \"http://HOST/~decade/2004/\": the server answered 500 (Internal "
           u"Server "
           u"Error); its months are loaded one by one;\n"_s;
}

void TestCrawl::years()
{
    QFETCH(QString, year);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, brokenYear);
    QFETCH(QList<int>, asked);
    QFETCH(int, found);
    QFETCH(QString, logPiece);

    addDecade(m->server);
    if (!brokenYear.isEmpty())
        m->server.setPage(u"/~decade/"_s + brokenYear + u'/', 500, "text/html", "<p>down</p>");
    const CrawlOutcome outcome = scan(u"snow"_s, false, from, to, u"decade"_s, year);
    QCOMPARE(outcome,
             brokenYear.isEmpty() ? CrawlOutcome::Completed : CrawlOutcome::CompletedWithUnreadPages);
    const QString log = m->harness.normalisedLog();
    QVERIFY2(log.contains(expected(logPiece)), qPrintable(log));
    const PagesAsked pages = pagesAsked(m->server);
    QCOMPARE((QList<int>{pages.calendar, pages.years, pages.months}), asked);
    // One report for all the years, each entry dated in its own year.
    const QString text = readText(u"results.tmp.decade."_s + year + u'.' + from + u'-' + to + u".htm"_s);
    QCOMPARE(text.count(u"<i>@ 200"_s), found * 3); // each entry is linked three times
    QVERIFY(text.contains(u"year: \""_s + year + u"\"; <br>"_s));
}

// A search stopped half way and run again asks only for what it had not read.
void TestCrawl::resumes_data()
{
    QTest::addColumn<qint64>("maxAge"); // seconds
    QTest::newRow("entries read within a day come from the cache") << qint64(86400);
    QTest::newRow("a max age of 0 reads every entry again") << qint64(0);
}

void TestCrawl::resumes()
{
    QFETCH(qint64, maxAge);
    addDecade(m->server);
    m->harness.maxAge = std::chrono::seconds(maxAge);
    QTimer poll; // stop once the third entry is asked for
    connect(&poll, &QTimer::timeout, this,
            [&] { m->harness.state.bStopRequested = pagesAsked(m->server).entries >= 3; });
    poll.start(5);
    QCOMPARE(scan(u"snow"_s, false, u"01"_s, u"12"_s, u"decade"_s, u"2003-2005"_s),
             CrawlOutcome::StoppedAtEntry);
    poll.stop();
    QSet<QString> askedBefore;
    for (const RequestRecord &request : m->server.requests())
        askedBefore.insert(request.target);
    m->server.clearRequests();
    m->harness.state.bStopRequested = false;
    QCOMPARE(scan(u"snow"_s, false, u"01"_s, u"12"_s, u"decade"_s, u"2003-2005"_s), CrawlOutcome::Completed);
    const QList<RequestRecord> again = m->server.requests();
    const qsizetype entriesAgain =
        std::count_if(again.begin(), again.end(), [&](const RequestRecord &request) {
            return request.target.endsWith(u".html"_s) && askedBefore.contains(request.target);
        });
    QCOMPARE(entriesAgain > 0, maxAge == 0);
    QVERIFY(m->harness.logText.contains(u" entries came from the page cache;\r\n"_s) == (maxAge > 0));
    QCOMPARE(pagesAsked(m->server).years, 3); // year and month pages say what is new: always asked for
}

QTEST_GUILESS_MAIN(TestCrawl)
#include "tst_crawl.moc"
