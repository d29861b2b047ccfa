// SPDX-License-Identifier: GPL-3.0-or-later
#include "loader/PageCache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace diarytrawl::web;
using namespace Qt::StringLiterals;

class TestPageCache : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void storesAndFindsPages();
    void keepsWithinBoundDroppingLeastRecentlyUsed();
    void badWriteOrDamageCostsOnlyThatPage_data();
    void badWriteOrDamageCostsOnlyThatPage();

private:
    QStringList files() const { return QDir(m_folder).entryList(QDir::Files); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;
};

void TestPageCache::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_folder = m_dir->filePath(u"pages"_s);
}

void TestPageCache::storesAndFindsPages()
{
    PageCache cache(m_folder);
    cache.storePage(u"http://h/a.html#top"_s, "text/html", "old");
    cache.storePage(u"http://h/a.html"_s, "text/html", "new");
    QCOMPARE(files().size(), 1); // the later store replaced the earlier, fragment or not
    const std::optional<PageCache::Page> a = cache.lookup(u"http://h/a.html#comments"_s);
    QVERIFY(a && a->address == u"http://h/a.html"_s && a->body == "new");
    // What the user read is for the user's eyes alone.
    QCOMPARE(QFileInfo(m_folder).permissions() & 0x0077, 0);
    QCOMPARE(QFileInfo(m_folder + u'/' + files().first()).permissions() & 0x0077, 0);
}

void TestPageCache::keepsWithinBoundDroppingLeastRecentlyUsed()
{
    {
        PageCache earlier(m_folder); // what an earlier run left counts too
        earlier.storePage(u"http://h/a"_s, "text/html", QByteArray(1000, 'a'));
        earlier.storePage(u"http://h/b"_s, "text/html", QByteArray(1000, 'b'));
    }
    // Room for three pages of about 1100 bytes on disk, not four.
    PageCache cache(m_folder, 3500);
    cache.storePage(u"http://h/c"_s, "text/html", QByteArray(1000, 'c'));
    QVERIFY(cache.lookup(u"http://h/a"_s)); // a is now used more recently than b
    cache.storePage(u"http://h/d"_s, "text/html", QByteArray(1000, 'd'));
    cache.storePage(u"http://h/big"_s, "text/html", QByteArray(5000, 'x')); // pushes nothing out

    QVERIFY(cache.bytesOnDisk() <= 3500);
    QCOMPARE(files().size(), 3);
    QCOMPARE(cache.lookup(u"http://h/b"_s), std::nullopt);
    QCOMPARE(cache.lookup(u"http://h/big"_s), std::nullopt);
    for (const char fill : {'a', 'c', 'd'})
        QCOMPARE(cache.lookup(u"http://h/"_s + QLatin1Char(fill))->body, QByteArray(1000, fill));
}

void TestPageCache::badWriteOrDamageCostsOnlyThatPage_data()
{
    QTest::addColumn<bool>("fullDisk"); // else a bit of the stored body flips
    QTest::addColumn<QByteArray>("found");

    QTest::newRow("full file system: the old entry stays") << true << QByteArray(1000, 'a');
    QTest::newRow("damaged entry: missing, and gone") << false << QByteArray();
}

void TestPageCache::badWriteOrDamageCostsOnlyThatPage()
{
    QFETCH(bool, fullDisk);
    QFETCH(QByteArray, found);

    PageCache cache(m_folder);
    cache.storePage(u"http://h/a"_s, "text/html", QByteArray(1000, 'a'));
    QCOMPARE(files().size(), 1);
    if (fullDisk) {
        // Writes past the limit fail with EFBIG as on a full disk, for root too.
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
        const rlimit limited{4096, previous.rlim_max};
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        cache.storePage(u"http://h/a"_s, "text/html", QByteArray(10000, 'b'));
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &previous), 0);
        std::signal(SIGXFSZ, previousHandler);
    } else {
        QFile file(m_folder + u'/' + files().first());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        bytes[600] = char(bytes[600] ^ 0x01); // in the body: only the checksum can tell
        QVERIFY(file.resize(0) && file.write(bytes) == bytes.size());
    }

    const std::optional<PageCache::Page> page = cache.lookup(u"http://h/a"_s);
    QCOMPARE(page ? page->body : QByteArray(), found);
    QCOMPARE(files().size(), found.isEmpty() ? 0 : 1); // no half-written file left either
}

QTEST_GUILESS_MAIN(TestPageCache)
#include "tst_pagecache.moc"
