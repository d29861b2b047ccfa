// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestFolder.h"
#include "files/StoredPages.h"
#include "platform/PlatformError.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

class TestStoredPages : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { m_folder = std::make_unique<test::TestFolder>(); }
    void cleanup() { m_folder.reset(); }
    void placement_data();
    void placement();
    void charsetDeclarations_data();
    void charsetDeclarations();
    void failedWritesLeaveNothing();

private:
    QByteArray stored(const QString &relativePath) const;

    std::unique_ptr<test::TestFolder> m_folder;
};

QByteArray TestStoredPages::stored(const QString &relativePath) const
{
    QFile file(m_folder->path() + u"/saved.pages.tmp/"_s + relativePath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void TestStoredPages::placement_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("path"); // inside the pages folder
    QTest::newRow("query kept in the name")
        << u"http://host/~nick/123.html?mode=reply"_s << u"~nick/123.html?mode=reply"_s;
    QTest::newRow("empty name") << u"http://host/~nick/"_s << u"~nick/_"_s;
    QTest::newRow("dot-dot segment") << u"http://host/../x.html"_s << u"_../x.html"_s;
    QTest::newRow("no slash") << u"page.html"_s << u"_/page.html"_s;
    // Too long for a file name: cut, and a hash of the whole name keeps different names apart.
    const QString stem = QString(300, u'a');
    QTest::newRow("long name") << u"http://host/~nick/"_s + stem + u"1.html"_s
                               << u"~nick/"_s + stem.left(120) + u"~5848df70"_s;
    QTest::newRow("another long name")
        << u"http://host/~nick/"_s + stem + u"2.html"_s << u"~nick/"_s + stem.left(120) + u"~f84153c7"_s;
}

void TestStoredPages::placement()
{
    QFETCH(QString, address);
    QFETCH(QString, path);
    HtmlDocument page;
    page.htmlInnerHtml = u"<head><meta charset=\"x\"></head><body>x</body>"_s;
    SavePage(page, address, u"saved.pages.tmp"_s);
    QCOMPARE(stored(path), QByteArray("<head><meta charset=\"windows-1251\"></head><body>x</body>"));
    // Nothing lands beside the pages folder.
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{u"saved.pages.tmp"_s});
}

// Every form of declaration tells windows-1251, and characters the code page lacks are kept where
// HTML reads references; the crawl's tests store a page with a declaration in its body and none in
// its head.
void TestStoredPages::charsetDeclarations_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray own = "<meta charset=\"windows-1251\">";
    const QByteArray ownContent = "content=\"text/html; charset=windows-1251\"";
    QTest::newRow("meta charset, quoted or not")
        << u"<HEAD><meta charset=\"utf-8\"><META CHARSET=UTF-8><meta charset='koi8-r' /></HEAD>"_s
        << QByteArray("<HEAD>" + own + "<META CHARSET=windows-1251><meta charset='windows-1251' /></HEAD>");
    QTest::newRow("http-equiv, any case, spacing and label, content first")
        << u"<head><meta content=\"TEXT/HTML; CHARSET = KOI8-R\" http-equiv=\" content-TYPE\"></head>"_s
        << QByteArray("<head><meta " + ownContent + " http-equiv=\" content-TYPE\"></head>");
    QTest::newRow("content without http-equiv is none")
        << u"<head lang=\"ru\"><meta name=\"x\" content=\"charset=utf-8\"></head>"_s
        << QByteArray("<head lang=\"ru\">" + own + "<meta name=\"x\" content=\"charset=utf-8\"></head>");
    QTest::newRow("in a script or comment is none")
        << u"<head><script>w('<meta charset=\"utf-8\">')</script><!--<meta charset=\"utf-8\">--></head>"_s
        << QByteArray("<head>" + own +
                      "<script>w('<meta charset=\"utf-8\">')</script><!--<meta charset=\"utf-8\">-->"
                      "</head>");
    QTest::newRow("no head") << u"<p>x</p>"_s << QByteArray(own + "<p>x</p>");
    QTest::newRow("references where HTML reads them, '?' elsewhere")
        << u"<head><title>₽</title><style>/*₽*/</style></head><body title=\"日本\">Привет "
           u"😀<!--₽-->"
           u"<script>'₽'</script><textarea>₽</textarea></body>"_s
        << QByteArray(
               "<head>" + own +
               "<title>&#8381;</title><style>/*?*/</style></head><body title=\"&#26085;&#26412;\">"
               "\xcf\xf0\xe8\xe2\xe5\xf2 &#128512;<!--?--><script>'?'</script><textarea>&#8381;</textarea>"
               "</body>");
}

void TestStoredPages::charsetDeclarations()
{
    QFETCH(QString, html);
    QFETCH(QByteArray, bytes);
    HtmlDocument page;
    page.htmlInnerHtml = html;
    SavePage(page, u"http://host/~nick/1.html"_s, u"saved.pages.tmp"_s);
    QCOMPARE(stored(u"~nick/1.html"_s), bytes);
}

void TestStoredPages::failedWritesLeaveNothing()
{
    HtmlDocument page;
    QVERIFY_THROWS_EXCEPTION(PlatformError,
                             SavePage(page, u"http://host/~nick/1.html"_s, u"no/such/folder"_s));

    // A full disk, as a real limit on the file size makes it: past the limit the system refuses the write.
    page.htmlInnerHtml = u"<head></head>"_s + QString(2000, u'z');
    SavePage(page, u"http://host/~nick/1.html"_s, u"saved.pages.tmp"_s);
    page.htmlInnerHtml = u"<head></head>"_s + QString(1000, u'x'); // a later page replaces an earlier one
    SavePage(page, u"http://host/~nick/1.html"_s, u"saved.pages.tmp"_s);
    page.htmlInnerHtml += u'y';
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    rlimit small = previous;
    small.rlim_cur = 100;
    ::setrlimit(RLIMIT_FSIZE, &small);
    QString description;
    try {
        SavePage(page, u"http://host/~nick/1.html"_s, u"saved.pages.tmp"_s);
    } catch (const PlatformError &error) {
        description = error.description();
    }
    ::setrlimit(RLIMIT_FSIZE, &previous);
    QVERIFY2(description.endsWith(u"\": File too large"_s), qPrintable(description));
    // The earlier page stays whole, and no part of the new one, nor an empty file, is left.
    QCOMPARE(QDir(m_folder->path() + u"/saved.pages.tmp/~nick"_s)
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{u"1.html"_s});
    QCOMPARE(stored(u"~nick/1.html"_s),
             "<head><meta charset=\"windows-1251\"></head>" + QByteArray(1000, 'x'));
}

QTEST_GUILESS_MAIN(TestStoredPages)
#include "tst_storedpages.moc"
