#include "TestFolder.h"
#include "files/StoredPages.h"
#include "platform/PlatformError.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

class TestStoredPages : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { m_folder = std::make_unique<test::TestFolder>(); }
    void cleanup() { m_folder.reset(); }
    void placement_data();
    void placement();
    void contentIsRewrittenAndEncoded_data();
    void contentIsRewrittenAndEncoded();
    void laterPageReplacesEarlier();
    void longNamesStayDistinct();
    void missingParentFails();

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
    QTest::newRow("entry") << u"http://host/~nick/123.html"_s << u"~nick/123.html"_s;
    QTest::newRow("query kept in the name")
        << u"http://host/~nick/123.html?mode=reply"_s << u"~nick/123.html?mode=reply"_s;
    QTest::newRow("own host") << u"https://nick.livejournal.com/123.html"_s
                              << u"nick.livejournal.com/123.html"_s;
    QTest::newRow("empty name") << u"http://host/~nick/"_s << u"~nick/_"_s;
    QTest::newRow("dot-dot name") << u"http://host/~nick/.."_s << u"~nick/_.."_s;
    QTest::newRow("dot-dot segment") << u"http://host/../x.html"_s << u"_../x.html"_s;
    QTest::newRow("empty segment") << u"http://host//x.html"_s << u"_/x.html"_s;
    QTest::newRow("one slash") << u"a/b.html"_s << u"_/b.html"_s;
    QTest::newRow("no slash") << u"page.html"_s << u"_/page.html"_s;
}

void TestStoredPages::placement()
{
    QFETCH(QString, address);
    QFETCH(QString, path);
    HtmlDocument page;
    page.htmlInnerHtml = u"<head></head><body>x</body>"_s;
    SavePage(page, address, u"saved.pages.tmp"_s);
    QCOMPARE(stored(path), QByteArray("<head></head><body>x</body>"));
    // Nothing lands beside the pages folder.
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{u"saved.pages.tmp"_s});
}

void TestStoredPages::contentIsRewrittenAndEncoded_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("utf-8 declaration, any case")
        << u"<meta content=\"TEXT/HTML; CHARSET=UTF-8\">"_s
        << QByteArray("<meta content=\"text/html; charset=windows-1251\">");
    QTest::newRow("other declarations stay")
        << u"<meta charset=\"utf-8\"><meta content=\"text/html; charset=koi8-r\">"_s
        << QByteArray("<meta charset=\"utf-8\"><meta content=\"text/html; charset=koi8-r\">");
    QTest::newRow("Cyrillic and what the code page lacks") << u"<p>Привет 日本</p>"_s
                                                           << QByteArray("<p>\xcf\xf0\xe8\xe2\xe5\xf2 ?"
                                                                         "?</p>");
}

void TestStoredPages::contentIsRewrittenAndEncoded()
{
    QFETCH(QString, html);
    QFETCH(QByteArray, bytes);
    HtmlDocument page;
    page.htmlInnerHtml = html;
    SavePage(page, u"http://host/~nick/1.html"_s, u"saved.pages.tmp"_s);
    QCOMPARE(stored(u"~nick/1.html"_s), bytes);
}

void TestStoredPages::laterPageReplacesEarlier()
{
    HtmlDocument page;
    page.htmlInnerHtml = u"first, longer"_s;
    SavePage(page, u"http://one/~nick/1.html"_s, u"saved.pages.tmp"_s);
    page.htmlInnerHtml = u"second"_s;
    SavePage(page, u"http://two/~nick/1.html"_s, u"saved.pages.tmp"_s);
    QCOMPARE(stored(u"~nick/1.html"_s), QByteArray("second"));
}

void TestStoredPages::longNamesStayDistinct()
{
    const QString stem = QString(300, u'a');
    const QString first = storedPageName(stem + u"1.html"_s);
    const QString second = storedPageName(stem + u"2.html"_s);
    QVERIFY(first != second);
    QVERIFY(first.toUtf8().size() <= 255);
    HtmlDocument page;
    page.htmlInnerHtml = u"long"_s;
    SavePage(page, u"http://host/~nick/"_s + stem + u"1.html"_s, u"saved.pages.tmp"_s);
    QCOMPARE(stored(u"~nick/"_s + first), QByteArray("long"));
    QCOMPARE(storedPageName(u"123.html"_s), u"123.html"_s);
}

void TestStoredPages::missingParentFails()
{
    HtmlDocument page;
    QVERIFY_THROWS_EXCEPTION(PlatformError,
                             SavePage(page, u"http://host/~nick/1.html"_s, u"no/such/folder"_s));
}

QTEST_GUILESS_MAIN(TestStoredPages)
#include "tst_storedpages.moc"
