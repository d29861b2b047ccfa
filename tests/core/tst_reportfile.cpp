#include "TestFolder.h"
#include "platform/CodePage1251.h"
#include "platform/PlatformError.h"
#include "report/ReportFile.h"

#include <QFile>
#include <QTest>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

namespace {

const QString ReportName = u"results.tmp.nick.2005.01-3.htm"_s;
const QDateTime Start(QDate(2005, 3, 17), QTime(21, 5, 7));
const QDateTime End(QDate(2005, 3, 17), QTime(22, 6, 9));
const DateTimeText CLocaleText{QLocale::c()};

QString readReport()
{
    QFile file(ReportName);
    return file.open(QIODevice::ReadOnly) ? cp1251::toUnicode(file.readAll()) : u"<missing>"_s;
}

void startEmptyReport()
{
    QFile file(ReportName);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

} // namespace

// The whole report of a plain search is compared byte for byte by the crawl's tests; these cover what
// that search does not reach.
class TestReportFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { m_folder = std::make_unique<test::TestFolder>(); }
    void cleanup() { m_folder.reset(); }
    void headStartsTheFileAfresh();
    void pageBlock_data();
    void pageBlock();
    void tail_data();
    void tail();
    void folderAddress_data();
    void folderAddress();
    void unwritableReportFails();

private:
    std::unique_ptr<test::TestFolder> m_folder;
};

void TestReportFile::headStartsTheFileAfresh()
{
    QFile old(ReportName);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an earlier report");
    old.close();
    StartHtmlReportFile(u"nick"_s, u"2005"_s, u"01"_s, u"3"_s, u"a|<b>"_s, u"http://host/~nick/2005/"_s,
                        ReportName, Start, true, CLocaleText);
    QCOMPARE(readReport(),
             u"<html>\r\n\r\n<head>\r\n"
             u"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\r\n"
             u"</head>\r\n\r\n<body>\r\n\r\n\r\n"
             u"nick: \"nick\"; <br>\r\n"
             u"year: \"2005\"; <br>\r\n"
             u"search expression: \"a|<b>\"; <br>\r\n"
             u"link: \"http://host/~nick/2005/\"; <br>\r\n"
             u"from month: 01; <br>\r\n"
             u"to month: 3; <br><br>\r\n\r\n"
             u"scan started at: <i>17 Mar 2005 21:05:07</i>; <br>\r\n"
             u"---<br>\r\n"_s);
}

void TestReportFile::pageBlock_data()
{
    QTest::addColumn<bool>("regScan");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("pageText");
    QTest::addColumn<QString>("block");

    const QString link = u"<a href=\"http://host/~nick/1.html\">"_s;
    QTest::newRow("plain, no date stamp")
        << false << u"LJ"_s << u"an lj entry"_s
        << link + u"LJ(7) </a><br>\r\n\r\n"
                  u"&nbsp;&nbsp;&nbsp;&nbsp; ... an <b>LJ</b> entry ... <br>\r\n";
    QTest::newRow("first stamp of the year")
        << false << u"x"_s << u"@ 2004-01-01 x @ 2005-02-03 @ 2005-04-05"_s
        << link + u"x(7) </a><br>\r\n\r\n &nbsp;&nbsp; <i>@ 2005-02-03</i>:"
                  u"&nbsp;&nbsp;&nbsp;&nbsp; ... @ 2004-01-01 <b>x</b> @ 2005-02-03 @  ... <br>\r\n";
    QTest::newRow("regular expression: escaped and marked")
        << true << u"l."_s << u"an lj <entry>"_s
        << link +
               u"l.(7) </a><br>\r\n\r\n&nbsp;&nbsp;&nbsp;&nbsp; ... an <b>lj</b> &lt;entry&gt; ... <br>\r\n";
    QTest::newRow("characters windows-1251 lacks")
        << false << u"日"_s << u"日本"_s
        << link + u"?(7) </a><br>\r\n\r\n"
                  u"&nbsp;&nbsp;&nbsp;&nbsp; ... <b>?</b>? ... <br>\r\n";
}

void TestReportFile::pageBlock()
{
    QFETCH(bool, regScan);
    QFETCH(QString, search);
    QFETCH(QString, pageText);
    QFETCH(QString, block);
    startEmptyReport();
    AddToHtmlReportFile(ReportName, search, u"2005"_s, u"http://host/~nick/1.html"_s, 7, pageText, regScan);
    QCOMPARE(readReport(), block);
}

void TestReportFile::tail_data()
{
    QTest::addColumn<bool>("interrupt");
    QTest::addColumn<bool>("savePages");
    QTest::addColumn<bool>("saveMatchingOnly");
    QTest::addColumn<int>("scanned");
    QTest::addColumn<int>("found");
    QTest::addColumn<bool>("storedNotice");

    QTest::newRow("nothing stored") << false << false << false << 5 << 2 << false;
    QTest::newRow("all pages, some scanned") << false << true << false << 5 << 0 << true;
    QTest::newRow("all pages, none scanned") << false << true << false << 0 << 0 << false;
    QTest::newRow("matching only, none found") << false << false << true << 5 << 0 << false;
    QTest::newRow("matching only, some found, aborted") << true << false << true << 5 << 1 << true;
}

void TestReportFile::tail()
{
    QFETCH(bool, interrupt);
    QFETCH(bool, savePages);
    QFETCH(bool, saveMatchingOnly);
    QFETCH(int, scanned);
    QFETCH(int, found);
    QFETCH(bool, storedNotice);

    startEmptyReport();
    WindowState window;
    window.bSavePages = savePages;
    window.bSaveMatchingOnly = saveMatchingOnly;
    CompleteReportFile(ReportName, scanned, found, Start, End, interrupt, {}, window, CLocaleText);

    const QString text = readReport();
    QCOMPARE(text.startsWith(u"\r\n<br> ----- <b><i>scan aborted</i></b> ----- <br>\r\n--- <br>\r\n"_s),
             interrupt);
    QVERIFY(text.contains(
        u"<br>summary: %1 links found; <br>\r\n%2 links scanned<i> (scan time: 01:01:02)</i>"_s.arg(found)
            .arg(scanned)));
    const QString notice =
        u"\r\n<br>\r\n"
        u"&nbsp;&nbsp;&nbsp;&nbsp; You can find stored pages in </i>\"saved.pages.tmp\"</i> "
        u"subfolder<br>\r\n"
        u"&nbsp;&nbsp;&nbsp;&nbsp; Сохраненные страницы лежат в директории </i>"
        u"\"saved.pages.tmp\"</i> <br>\r\n"
        u"&nbsp;&nbsp;&nbsp;&nbsp; <Input type ='button' value = 'Open Folder' "
        u"onclick='window.open(\""_s +
        m_folder->path() + u"/saved.pages.tmp/\");'><br>\r\n";
    QCOMPARE(text.contains(notice), storedNotice);
    QVERIFY(text.endsWith(u"\r\n</body>\r\n\r\n</html>\r\n"_s));
}

void TestReportFile::folderAddress_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("address"); // after the temporary folder
    QTest::newRow("relative name") << ReportName << u"/"_s;
    QTest::newRow("folder holding the name") << u"results.htm/results.htm"_s << u"/results.htm/"_s;
    QTest::newRow("quotes and percent encoded") << u"it's \"100%\"/r.htm"_s << u"/it%27s %22100%25%22/"_s;
}

void TestReportFile::folderAddress()
{
    QFETCH(QString, name);
    QFETCH(QString, address);
    QCOMPARE(reportFolderAddress(name), m_folder->path() + address);
}

void TestReportFile::unwritableReportFails()
{
    QVERIFY_THROWS_EXCEPTION(PlatformError,
                             StartHtmlReportFile(u"a/b"_s, u"2005"_s, u"1"_s, u"2"_s, u"x"_s,
                                                 u"http://h/~a/b/2005/"_s, u"results.tmp.a/b.2005.1-2.htm"_s,
                                                 Start, false, CLocaleText));
    QVERIFY_THROWS_EXCEPTION(PlatformError, AddToHtmlReportFile(u"missing.htm"_s, u"x"_s, u"2005"_s,
                                                                u"http://h/1.html"_s, 1, u"x"_s, false));
}

QTEST_GUILESS_MAIN(TestReportFile)
#include "tst_reportfile.moc"
