#include "platform/web/PageCache.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace diarytrawl::web;
using namespace Qt::StringLiterals;

namespace {

QByteArray bodyOf(char fill, int size = 1000)
{
    return QByteArray(size, fill);
}

QStringList entryFiles(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files);
}

} // namespace

class TestPageCache : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void storesAndFindsPages();
    void keyIgnoresFragment();
    void laterStoreReplacesEarlier();
    void followsRedirects_data();
    void followsRedirects();
    void keepsWithinBoundDroppingLeastRecentlyUsed();
    void countsWhatEarlierRunsLeft();
    void pageLargerThanBoundIsNotKept();
    void damagedEntryReadsAsMissing_data();
    void damagedEntryReadsAsMissing();
    void unwritableFolderIsNoError();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;
};

void TestPageCache::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_folder = m_dir->filePath(u"pages"_s);
}

void TestPageCache::storesAndFindsPages()
{
    PageCache cache(m_folder);
    QCOMPARE(cache.lookup(u"http://h/a.html"_s), std::nullopt);
    cache.storePage(u"http://h/a.html"_s, "text/html; charset=koi8-r", "<p>\xc1\x00 a</p>");
    cache.storePage(u"http://h/b.html"_s, "text/plain", bodyOf('b'));

    // A second object on the same folder, as the next search would have.
    PageCache again(m_folder);
    const std::optional<PageCache::Page> a = again.lookup(u"http://h/a.html"_s);
    QVERIFY(a);
    QCOMPARE(a->address, u"http://h/a.html"_s);
    QCOMPARE(a->contentType, QByteArray("text/html; charset=koi8-r"));
    QCOMPARE(a->body, QByteArray("<p>\xc1\x00 a</p>"));
    QCOMPARE(again.lookup(u"http://h/b.html"_s)->body, bodyOf('b'));
    QCOMPARE(again.lookup(u"http://h/c.html"_s), std::nullopt);
    QCOMPARE(again.lookup(u"http://H/a.html"_s), std::nullopt); // addresses are compared as given
}

void TestPageCache::keyIgnoresFragment()
{
    PageCache cache(m_folder);
    cache.storePage(u"http://h/a.html#top"_s, "text/html", "a");
    QCOMPARE(cache.lookup(u"http://h/a.html#comments"_s)->body, QByteArray("a"));
    QCOMPARE(cache.lookup(u"http://h/a.html"_s)->address, u"http://h/a.html"_s);
    QCOMPARE(cacheKeyOf(u"http://h/a.html?mode=reply#x#y"_s), u"http://h/a.html?mode=reply"_s);
}

void TestPageCache::laterStoreReplacesEarlier()
{
    PageCache cache(m_folder);
    cache.storePage(u"http://h/a.html"_s, "text/html", "old");
    cache.storePage(u"http://h/a.html"_s, "text/html", "new");
    QCOMPARE(cache.lookup(u"http://h/a.html"_s)->body, QByteArray("new"));
    QCOMPARE(entryFiles(m_folder).size(), 1);

    // A page that now redirects leads to the new place.
    cache.storeRedirect(u"http://h/a.html"_s, u"http://h/b.html"_s);
    cache.storePage(u"http://h/b.html"_s, "text/html", "moved");
    QCOMPARE(cache.lookup(u"http://h/a.html"_s)->body, QByteArray("moved"));
}

void TestPageCache::followsRedirects_data()
{
    QTest::addColumn<int>("hops");
    QTest::addColumn<bool>("loop");
    QTest::addColumn<bool>("found");

    QTest::newRow("one") << 1 << false << true;
    QTest::newRow("twenty") << PageCache::MaxRedirects << false << true;
    QTest::newRow("twenty-one") << PageCache::MaxRedirects + 1 << false << false;
    QTest::newRow("loop") << 3 << true << false;
}

void TestPageCache::followsRedirects()
{
    QFETCH(int, hops);
    QFETCH(bool, loop);
    QFETCH(bool, found);

    PageCache cache(m_folder);
    auto address = [](int n) {
        return u"https://h/%1/"_s.arg(n);
    };
    for (int n = 0; n < hops; ++n)
        cache.storeRedirect(address(n) + u"#frag"_s, address(n + 1));
    if (loop)
        cache.storeRedirect(address(hops), address(0));
    else
        cache.storePage(address(hops), "text/html", "end");

    const std::optional<PageCache::Page> page = cache.lookup(address(0));
    QCOMPARE(bool(page), found);
    if (found) {
        QCOMPARE(page->address, address(hops));
        QCOMPARE(page->body, QByteArray("end"));
    }
}

void TestPageCache::keepsWithinBoundDroppingLeastRecentlyUsed()
{
    // Room for three pages of about 1100 bytes on disk, not four.
    PageCache cache(m_folder, 3500);
    cache.storePage(u"http://h/a"_s, "text/html", bodyOf('a'));
    cache.storePage(u"http://h/b"_s, "text/html", bodyOf('b'));
    cache.storePage(u"http://h/c"_s, "text/html", bodyOf('c'));
    QVERIFY(cache.lookup(u"http://h/a"_s)); // a is now used more recently than b
    cache.storePage(u"http://h/d"_s, "text/html", bodyOf('d'));

    QVERIFY(cache.bytesOnDisk() <= 3500);
    QCOMPARE(entryFiles(m_folder).size(), 3);
    QCOMPARE(cache.lookup(u"http://h/b"_s), std::nullopt);
    QVERIFY(cache.lookup(u"http://h/a"_s));
    QVERIFY(cache.lookup(u"http://h/c"_s));
    QVERIFY(cache.lookup(u"http://h/d"_s));
}

void TestPageCache::countsWhatEarlierRunsLeft()
{
    {
        PageCache large(m_folder);
        for (char fill = 'a'; fill <= 'e'; ++fill)
            large.storePage(u"http://h/"_s + QLatin1Char(fill), "text/html", bodyOf(fill));
    }
    PageCache small(m_folder, 2500);
    small.storePage(u"http://h/f"_s, "text/html", bodyOf('f'));
    QVERIFY(small.bytesOnDisk() <= 2500);
    QVERIFY(small.lookup(u"http://h/f"_s));
    QVERIFY(small.lookup(u"http://h/e"_s));
    QCOMPARE(small.lookup(u"http://h/a"_s), std::nullopt);
}

void TestPageCache::pageLargerThanBoundIsNotKept()
{
    PageCache cache(m_folder, 3000);
    cache.storePage(u"http://h/a"_s, "text/html", bodyOf('a'));
    cache.storePage(u"http://h/big"_s, "text/html", bodyOf('x', 5000));
    QCOMPARE(cache.lookup(u"http://h/big"_s), std::nullopt);
    QVERIFY(cache.lookup(u"http://h/a"_s)); // nothing was pushed out for it
}

void TestPageCache::damagedEntryReadsAsMissing_data()
{
    QTest::addColumn<QString>("damage");

    QTest::newRow("empty") << u"empty"_s;
    QTest::newRow("cut short") << u"truncate"_s;
    QTest::newRow("flipped byte in body") << u"flip"_s;
    QTest::newRow("wrong magic") << u"magic"_s;
    QTest::newRow("longer") << u"append"_s;
}

void TestPageCache::damagedEntryReadsAsMissing()
{
    QFETCH(QString, damage);

    PageCache cache(m_folder);
    cache.storePage(u"http://h/a"_s, "text/html", bodyOf('a'));
    const QStringList files = entryFiles(m_folder);
    QCOMPARE(files.size(), 1);
    QFile file(m_folder + u'/' + files.first());
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    if (damage == u"empty")
        bytes.clear();
    else if (damage == u"truncate")
        bytes.chop(30);
    else if (damage == u"flip")
        bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x01);
    else if (damage == u"magic")
        bytes[0] = 'X';
    else
        bytes.append("more");
    QVERIFY(file.resize(0));
    QVERIFY(file.seek(0));
    file.write(bytes);
    file.close();

    QCOMPARE(cache.lookup(u"http://h/a"_s), std::nullopt);
    QVERIFY(entryFiles(m_folder).isEmpty()); // and no longer counts against the bound
    cache.storePage(u"http://h/a"_s, "text/html", bodyOf('a'));
    QVERIFY(cache.lookup(u"http://h/a"_s));
}

void TestPageCache::unwritableFolderIsNoError()
{
    QFile blocker(m_folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    PageCache cache(m_folder);
    cache.storePage(u"http://h/a"_s, "text/html", "a");
    QCOMPARE(cache.lookup(u"http://h/a"_s), std::nullopt);
}

QTEST_GUILESS_MAIN(TestPageCache)
#include "tst_pagecache.moc"
