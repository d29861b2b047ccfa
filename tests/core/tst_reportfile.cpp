// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestFolder.h"
#include "core/ReportFile.h"
#include "core/ReportLock.h"
#include "loader/CodePage1251.h"
#include "loader/HtmlParser.h"
#include "platform/PlatformError.h"

#include <QFile>
#include <QRegularExpression>
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

// The serialiser writes only these references in text.
QString unescaped(QString text)
{
    return text.replace(u"&lt;"_s, u"<"_s)
        .replace(u"&gt;"_s, u">"_s)
        .replace(u"&nbsp;"_s, u"\u00a0"_s)
        .replace(u"&amp;"_s, u"&"_s);
}

} // namespace

class TestReportFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { m_folder = std::make_unique<test::TestFolder>(); }
    void cleanup() { m_folder.reset(); }
    void dateStamp();
    void readBack_data();
    void readBack();
    void tail_data();
    void tail();
    void folderAddress_data();
    void folderAddress();
    void oneSearchAtATime();

private:
    std::unique_ptr<test::TestFolder> m_folder;
};

// The first date stamp of the searched year goes before the excerpts.
void TestReportFile::dateStamp()
{
    QFile(ReportName).open(QIODevice::WriteOnly);
    AddToHtmlReportFile(ReportName, u"X"_s, u"2005"_s, u"http://host/~nick/1.html"_s, 7,
                        u"@ 2004-01-01 x @ 2005-02-03 @ 2005-04-05"_s, false);
    QCOMPARE(readReport(),
             u"<a href=\"http://host/~nick/1.html\">X(7) </a><br>\r\n\r\n &nbsp;&nbsp; <i>@ 2005-02-03</i>:"
             u"&nbsp;&nbsp;&nbsp;&nbsp; ... @ 2004-01-01 <b>x</b> @ 2005-02-03 @  ... <br>\r\n"_s);
}

// The whole report read back through the HTML parser: what a reader sees is what was searched and what
// the page held, whatever either holds; the crawl's tests compare a whole report byte for byte.
void TestReportFile::readBack_data()
{
    QTest::addColumn<bool>("regScan");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("pageText"); // short: each excerpt is the whole text
    QTest::addColumn<int>("excerpts");
    QTest::addColumn<QStringList>("bold");

    QTest::newRow("HTML code") << false << u"<!-- <img src="_s << u"<p><!-- <img src=\"a\"> --></p>"_s << 1
                               << QStringList{u"<!-- <img src="_s};
    QTest::newRow("alternation with a tag")
        << true << u"a|<b>"_s << u"x <b> a"_s << 2 << QStringList{u"<b>"_s, u"a"_s};
    QTest::newRow("characters windows-1251 lacks")
        << false << u"crème"_s << u"Crème ₽ 日本 😀"_s << 1 << QStringList{u"Crème"_s};
    QTest::newRow("page's own letters") << false << u"ёлка"_s << u"Ёлка и ЁЛКА"_s << 2
                                        << QStringList{u"Ёлка"_s, u"ЁЛКА"_s, u"Ёлка"_s, u"ЁЛКА"_s};
    QTest::newRow("entity-like text")
        << false << u"lt"_s << u"a &lt; lt"_s << 2 << QStringList{u"lt"_s, u"lt"_s, u"lt"_s, u"lt"_s};
    QTest::newRow("match holding & and <") << true << u"&.<"_s << u"x &a<b>"_s << 1 << QStringList{u"&a<"_s};
}

void TestReportFile::readBack()
{
    QFETCH(bool, regScan);
    QFETCH(QString, search);
    QFETCH(QString, pageText);
    QFETCH(int, excerpts);
    QFETCH(QStringList, bold);

    const QString address = u"http://host/~nick/1.html?x=1&copy;b=2&lt;"_s;
    const DateTimeText korean{QLocale(QLocale::Korean, QLocale::SouthKorea)};
    StartHtmlReportFile(u"nick"_s, u"2005"_s, u"01"_s, u"3"_s, search, u"http://host/~nick/2005/"_s,
                        ReportName, Start, regScan, korean);
    AddToHtmlReportFile(ReportName, search, u"2005"_s, address, 1, pageText, regScan);
    CompleteReportFile(ReportName, 1, 1, Start, End, false, {}, WindowState(), korean);
    const HtmlDocument document = web::buildDocument(readReport(), u"file:///r.htm"_s);

    const QString &text = document.bodyInnerText;
    for (const QString &shown : QStringList{
             (regScan ? u"search expression: \""_s : u"search-string: \""_s) + search + u"\";\r\n"_s,
             u"scan started at: "_s + korean.toText(Start) + u";\r\n"_s, u"\n"_s + search + u"(1)\r\n"_s,
             u"\u00a0 ... "_s + QString(pageText + u" ... "_s).repeated(excerpts).chopped(1) + u"\r\n"_s})
        QVERIFY2(text.contains(shown), qPrintable(shown + u"\nnot in\n"_s + text));
    QCOMPARE(web::hrefsOf(document.links), QStringList{address});
    QStringList marked;
    static const QRegularExpression boldText(u"<b>(.*?)</b>"_s);
    for (const QRegularExpressionMatch &match : boldText.globalMatch(document.bodyInnerHtml()))
        marked << unescaped(match.captured(1));
    QCOMPARE(marked, bold);
}

// The crawl's tests show the summary, a stop and the notice of stored pages with pages stored and without.
void TestReportFile::tail_data()
{
    QTest::addColumn<bool>("savePages"); // or the matching ones only
    QTest::addColumn<int>("scanned");
    QTest::addColumn<int>("found");
    QTest::addColumn<bool>("storedNotice");

    QTest::newRow("all pages, none scanned") << true << 0 << 0 << false;
    QTest::newRow("matching only, none found") << false << 5 << 0 << false;
    QTest::newRow("matching only, some found") << false << 5 << 1 << true;
}

void TestReportFile::tail()
{
    QFETCH(bool, savePages);
    QFETCH(int, scanned);
    QFETCH(int, found);
    QFETCH(bool, storedNotice);

    QFile(ReportName).open(QIODevice::WriteOnly);
    WindowState window;
    window.bSavePages = savePages;
    window.bSaveMatchingOnly = !savePages;
    window.strSavedPagesFolder = u"pages & <more>"_s;
    CompleteReportFile(ReportName, scanned, found, Start, End, false,
                       {{u"http://h/?a=1&b=\"2\""_s, u"the server said <no>"_s}}, window, CLocaleText);

    const QString text = readReport();
    QVERIFY(text.contains(u"<br>1 pages could not be read: <br>\r\n&nbsp;&nbsp;&nbsp;&nbsp; "
                          u"<a href=\"http://h/?a=1&amp;b=&quot;2&quot;\">http://h/?a=1&amp;b=\"2\"</a> -- "
                          u"the server said &lt;no&gt;<br>\r\n"_s));
    const QString notice =
        u"\r\n<br>\r\n"
        u"&nbsp;&nbsp;&nbsp;&nbsp; You can find stored pages in </i>\"pages &amp; &lt;more&gt;\"</i> "
        u"subfolder<br>\r\n"
        u"&nbsp;&nbsp;&nbsp;&nbsp; Сохраненные страницы лежат в директории </i>"
        u"\"pages &amp; &lt;more&gt;\"</i> <br>\r\n"
        u"&nbsp;&nbsp;&nbsp;&nbsp; <Input type ='button' value = 'Open Folder' "
        u"onclick='window.open(\""_s +
        m_folder->path() + u"/pages %26 %3Cmore%3E/\");'><br>\r\n";
    QCOMPARE(text.contains(notice), storedNotice);
    QVERIFY(text.endsWith(u"\r\n</body>\r\n\r\n</html>\r\n"_s));
}

void TestReportFile::folderAddress_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("address"); // after the temporary folder
    QTest::newRow("folder holding the name") << u"results.htm/results.htm"_s << u"/results.htm/"_s;
    QTest::newRow("what would end the script, the path or the attribute")
        << u"it's \"100%\" notes#2?/r.htm"_s << u"/it%27s %22100%25%22 notes%232%3F/"_s;
}

void TestReportFile::folderAddress()
{
    QFETCH(QString, name);
    QFETCH(QString, address);
    QCOMPARE(reportFolderAddress(name), m_folder->path() + address);
}

void TestReportFile::oneSearchAtATime()
{
    auto lock = std::make_unique<ReportLock>(ReportName);
    try {
        ReportLock second(ReportName);
        QFAIL("locked twice");
    } catch (const PlatformError &error) {
        QCOMPARE(error.number(), ErrorNumber::FileLocked);
        QCOMPARE(error.description(),
                 u"Another search is writing \""_s + ReportName + u"\"; wait for it to end"_s);
    }
    lock.reset();
    QVERIFY(!QFile::exists(ReportName + u".lock"_s));
    ReportLock again(ReportName);
}

QTEST_GUILESS_MAIN(TestReportFile)
#include "tst_reportfile.moc"
