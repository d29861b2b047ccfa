// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestFolder.h"
#include "core/StoredPages.h"
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
    void pages_data();
    void pages();
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

// Where a page is stored, and what: every declaration tells windows-1251, characters the code page lacks
// are references where HTML reads them. The crawl's stored page has a declaration in its body only.
void TestStoredPages::pages_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("path"); // inside the pages folder
    QTest::addColumn<QString>("html");
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray own = "<meta charset=\"windows-1251\">";
    const QByteArray ownContent = "content=\"text/html; charset=windows-1251\"";
    const auto place = [&own](const char *name, const QString &address, const QString &path) {
        QTest::newRow(name) << address << path << u"<p>x</p>"_s << QByteArray(own + "<p>x</p>");
    };
    const auto declare = [](const char *name, const QString &html, const QByteArray &bytes) {
        QTest::newRow(name) << u"http://host/~nick/1.html"_s << u"~nick/1.html"_s << html << bytes;
    };

    place("query kept in the name", u"http://host/~nick/123.html?mode=reply"_s,
          u"~nick/123.html?mode=reply"_s);
    place("empty name", u"http://host/~nick/"_s, u"~nick/_"_s);
    place("dot-dot segment", u"http://host/../x.html"_s, u"_../x.html"_s);
    place("no slash", u"page.html"_s, u"_/page.html"_s);
    // Too long for a file name: cut, and a hash of the whole name keeps different names apart.
    const QString stem = QString(300, u'a');
    place("long name", u"http://host/~nick/"_s + stem + u"1.html"_s,
          u"~nick/"_s + stem.left(120) + u"~5848df70"_s);
    place("another long name", u"http://host/~nick/"_s + stem + u"2.html"_s,
          u"~nick/"_s + stem.left(120) + u"~f84153c7"_s);

    declare("meta charset, quoted or not",
            u"<HEAD><meta charset=\"utf-8\"><META CHARSET=UTF-8><meta charset='koi8-r' /></HEAD>"_s,
            "<HEAD>" + own + "<META CHARSET=windows-1251><meta charset='windows-1251' /></HEAD>");
    declare("http-equiv, any case, spacing and label, content first",
            u"<head><meta content=\"TEXT/HTML; CHARSET = KOI8-R\" http-equiv=\" content-TYPE\"></head>"_s,
            "<head><meta " + ownContent + " http-equiv=\" content-TYPE\"></head>");
    declare("content without http-equiv is none",
            u"<head lang=\"ru\"><meta name=\"x\" content=\"charset=utf-8\"></head>"_s,
            "<head lang=\"ru\">" + own + "<meta name=\"x\" content=\"charset=utf-8\"></head>");
    declare("in a script or comment is none",
            u"<head><script>w('<meta charset=\"utf-8\">')</script><!--<meta charset=\"utf-8\">--></head>"_s,
            "<head>" + own +
                "<script>w('<meta charset=\"utf-8\">')</script><!--<meta charset=\"utf-8\">--></head>");
    declare("references where HTML reads them, '?' elsewhere",
            u"<head><title>₽</title><style>/*₽*/</style></head><body title=\"日本\">Привет "
            u"😀<!--₽-->"
            u"<script>'₽'</script><textarea>₽</textarea></body>"_s,
            "<head>" + own +
                "<title>&#8381;</title><style>/*?*/</style></head><body title=\"&#26085;&#26412;\">"
                "\xcf\xf0\xe8\xe2\xe5\xf2 "
                "&#128512;<!--?--><script>'?'</script><textarea>&#8381;</textarea></body>");
}

void TestStoredPages::pages()
{
    QFETCH(QString, address);
    QFETCH(QString, path);
    QFETCH(QString, html);
    QFETCH(QByteArray, bytes);
    HtmlDocument page;
    page.htmlUtf8 = html.toUtf8();
    SavePage(page, address, u"saved.pages.tmp"_s);
    QCOMPARE(stored(path), bytes);
    // Nothing lands beside the pages folder.
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{u"saved.pages.tmp"_s});
}

void TestStoredPages::failedWritesLeaveNothing()
{
    HtmlDocument page;
    QVERIFY_THROWS_EXCEPTION(PlatformError,
                             SavePage(page, u"http://host/~nick/1.html"_s, u"no/such/folder"_s));

    // A full disk, as a real limit on the file size makes it: past the limit the system refuses the write.
    page.htmlUtf8 = "<head></head>" + QByteArray(2000, 'z');
    SavePage(page, u"http://host/~nick/1.html"_s, u"saved.pages.tmp"_s);
    page.htmlUtf8 = "<head></head>" + QByteArray(1000, 'x'); // a later page replaces an earlier one
    SavePage(page, u"http://host/~nick/1.html"_s, u"saved.pages.tmp"_s);
    page.htmlUtf8 += 'y';
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    const rlimit small{100, previous.rlim_max};
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
