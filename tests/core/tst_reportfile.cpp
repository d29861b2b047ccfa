#include "platform/CodePage1251.h"
#include "platform/PlatformError.h"
#include "report/ReportFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

namespace {

const QString ReportName = u"results.tmp.nick.2005.01-3.htm"_s;
const QDateTime Start(QDate(2005, 3, 17), QTime(21, 5, 7));
const QDateTime End(QDate(2005, 3, 17), QTime(22, 6, 9));

QString head(const QString &label, const QString &search)
{
    return u"<html>\r\n\r\n<head>\r\n"
           u"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\r\n"
           u"</head>\r\n\r\n<body>\r\n\r\n"
           u"\r\n"
           u"nick: \"nick\"; <br>\r\n"
           u"year: \"2005\"; <br>\r\n"_s +
           label + u"\"" + search +
           u"\"; <br>\r\n"
           u"link: \"http://host/~nick/2005/\"; <br>\r\n"
           u"from month: 01; <br>\r\n"
           u"to month: 3; <br><br>\r\n\r\n"
           u"scan started at: <i>17 Mar 2005 21:05:07</i>; <br>\r\n"
           u"---<br>\r\n";
}

} // namespace

class TestReportFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void wholeReport();
    void pageBlock_data();
    void pageBlock();
    void tail_data();
    void tail();
    void folderAddress_data();
    void folderAddress();
    void unwritableReportFails();

private:
    QString report() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousCurrent;
    const DateTimeText m_dateTimeText{QLocale::c()};
};

void TestReportFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_previousCurrent = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
}

void TestReportFile::cleanup()
{
    QDir::setCurrent(m_previousCurrent);
    m_dir.reset();
}

QString TestReportFile::report() const
{
    QFile file(ReportName);
    return file.open(QIODevice::ReadOnly) ? cp1251::toUnicode(file.readAll()) : u"<missing>"_s;
}

void TestReportFile::wholeReport()
{
    StartHtmlReportFile(u"nick"_s, u"2005"_s, u"01"_s, u"3"_s, u"<LJ>"_s, u"http://host/~nick/2005/"_s,
                        ReportName, Start, false, m_dateTimeText);
    AddToHtmlReportFile(ReportName, u"<LJ>"_s, u"2005"_s, u"http://host/~nick/1.html"_s, 1,
                        u"posted @ 2005-03-17 10:00 about <LJ> and more"_s, false);
    CompleteReportFile(ReportName, 4, 1, Start, End, false, WindowState(), m_dateTimeText);

    const QString path = m_dir->path() + u'/' + ReportName;
    const QString folder = m_dir->path() + u'/';
    const QString expected =
        head(u"search-string: "_s, u"<LJ>"_s) +
        u"<a href=\"http://host/~nick/1.html\"><LJ>(1) </a><br>\r\n\r\n"
        u" &nbsp;&nbsp; <i>@ 2005-03-17</i>:"
        u"&nbsp;&nbsp;&nbsp;&nbsp; ...  10:00 about &lt;LJ&gt; and more ... <br>\r\n"
        u"--- <br>\r\n"
        u"scan finished at: <i>17 Mar 2005 22:06:09</i>; <br>\r\n"
        u"<br>summary: 1 links found; <br>\r\n"
        u"4 links scanned<i> (scan time: 01:01:02)</i>; <br>\r\n"
        u"\r\n<br><br>\r\n"
        u"<i>This temporary file is located on Your hard disk at </i><br>\r\n"
        u"&nbsp;&nbsp;&nbsp;&nbsp;\"" +
        path +
        u"\"<br>\r\n"
        u"<i>it's up to You to remove it.</i><br>\r\n"
        u"<br>\r\n"
        u"<Input type ='button' value = 'Open Containing Folder' onclick='window.open(\"" +
        folder +
        u"\");'><br>\r\n"
        u"\r\n<br>\r\n"
        u"<i>Этот временный файл лежит у Вас на диске по адресу </i><br>\r\n"
        u"&nbsp;&nbsp;&nbsp;&nbsp;\"" +
        path +
        u"\"<br>\r\n"
        u"<i> Он не будет стерт автоматически, так что вопрос, когда его стирать, оставлен целиком на Ваше "
        u"усмотрение :-) </i><br><br>\r\n"
        u"\r\n</body>\r\n\r\n</html>\r\n";
    QCOMPARE(report(), expected);

    // A new search of the same name starts the file afresh.
    StartHtmlReportFile(u"nick"_s, u"2005"_s, u"01"_s, u"3"_s, u"a|b"_s, u"http://host/~nick/2005/"_s,
                        ReportName, Start, true, m_dateTimeText);
    QCOMPARE(report(), head(u"search expression: "_s, u"a|b"_s));
}

void TestReportFile::pageBlock_data()
{
    QTest::addColumn<bool>("regScan");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("pageText");
    QTest::addColumn<QString>("block");

    QTest::newRow("plain, no date stamp")
        << false << u"LJ"_s << u"an lj entry"_s
        << u"<a href=\"http://host/~nick/1.html\">LJ(7) </a><br>\r\n\r\n"
           u"&nbsp;&nbsp;&nbsp;&nbsp; ... an <b>LJ</b> entry ... <br>\r\n"_s;
    QTest::newRow("first of two stamps, other years ignored")
        << false << u"x"_s << u"@ 2004-01-01 x @ 2005-02-03 @ 2005-04-05"_s
        << u"<a href=\"http://host/~nick/1.html\">x(7) </a><br>\r\n\r\n"
           u" &nbsp;&nbsp; <i>@ 2005-02-03</i>:"
           u"&nbsp;&nbsp;&nbsp;&nbsp; ... @ 2004-01-01 <b>x</b> @ 2005-02-03 @  ... <br>\r\n"_s;
    QTest::newRow("regular expression") << true << u"l."_s << u"an lj entry"_s
                                        << u"<a href=\"http://host/~nick/1.html\">l.(7) </a><br>\r\n\r\n"
                                           u"&nbsp;&nbsp;&nbsp;&nbsp; ... an <b>lj</b> entry ... <br>\r\n"_s;
    QTest::newRow("characters windows-1251 lacks")
        << false << u"日"_s << u"日本"_s
        << u"<a href=\"http://host/~nick/1.html\">?(7) </a><br>\r\n\r\n"
           u"&nbsp;&nbsp;&nbsp;&nbsp; ... <b>?</b>? ... <br>\r\n"_s;
}

void TestReportFile::pageBlock()
{
    QFETCH(bool, regScan);
    QFETCH(QString, search);
    QFETCH(QString, pageText);
    QFETCH(QString, block);
    QFile::remove(ReportName);
    QVERIFY(QFile(ReportName).open(QIODevice::WriteOnly));
    AddToHtmlReportFile(ReportName, search, u"2005"_s, u"http://host/~nick/1.html"_s, 7, pageText, regScan);
    QCOMPARE(report(), block);
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
    QTest::newRow("matching only, some found") << true << false << true << 5 << 1 << true;
    QTest::newRow("aborted") << true << false << false << 1 << 0 << false;
}

void TestReportFile::tail()
{
    QFETCH(bool, interrupt);
    QFETCH(bool, savePages);
    QFETCH(bool, saveMatchingOnly);
    QFETCH(int, scanned);
    QFETCH(int, found);
    QFETCH(bool, storedNotice);

    QVERIFY(QFile(ReportName).open(QIODevice::WriteOnly));
    WindowState window;
    window.bSavePages = savePages;
    window.bSaveMatchingOnly = saveMatchingOnly;
    CompleteReportFile(ReportName, scanned, found, Start, End, interrupt, window, m_dateTimeText);

    const QString text = report();
    const QString aborted = u"\r\n<br> ----- <b><i>scan aborted</i></b> ----- <br>\r\n--- <br>\r\n"_s;
    QCOMPARE(text.startsWith(aborted), interrupt);
    QVERIFY(text.contains(u"<br>summary: "_s + QString::number(found) + u" links found; <br>\r\n"_s));
    QVERIFY(
        text.contains(u"\r\n"_s + QString::number(scanned) + u" links scanned<i> (scan time: 01:01:02)"_s));
    const QString notice =
        u"\r\n<br>\r\n"
        u"&nbsp;&nbsp;&nbsp;&nbsp; You can find stored pages in </i>\"saved.pages.tmp\"</i> "
        u"subfolder<br>\r\n"
        u"&nbsp;&nbsp;&nbsp;&nbsp; Сохраненные страницы лежат в директории </i>"
        u"\"saved.pages.tmp\"</i> <br>\r\n"
        u"&nbsp;&nbsp;&nbsp;&nbsp; <Input type ='button' value = 'Open Folder' "
        u"onclick='window.open(\""_s +
        m_dir->path() + u"/saved.pages.tmp/\");'><br>\r\n";
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
    QCOMPARE(reportFolderAddress(name), m_dir->path() + address);
}

void TestReportFile::unwritableReportFails()
{
    QVERIFY_THROWS_EXCEPTION(PlatformError,
                             StartHtmlReportFile(u"a/b"_s, u"2005"_s, u"1"_s, u"2"_s, u"x"_s,
                                                 u"http://h/~a/b/2005/"_s, u"results.tmp.a/b.2005.1-2.htm"_s,
                                                 Start, false, m_dateTimeText));
    QVERIFY_THROWS_EXCEPTION(PlatformError, AddToHtmlReportFile(u"missing.htm"_s, u"x"_s, u"2005"_s,
                                                                u"http://h/1.html"_s, 1, u"x"_s, false));
}

QTEST_GUILESS_MAIN(TestReportFile)
#include "tst_reportfile.moc"
