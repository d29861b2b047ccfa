// SPDX-License-Identifier: GPL-3.0-or-later
#include "loader/HtmlParser.h"
#include "loader/PageCache.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace diarytrawl;
using namespace diarytrawl::web;
using namespace Qt::StringLiterals;

namespace {

constexpr quint32 Reader = 7;
const PageCache::Owner Inkwell{u"livejournal.com"_s, u"inkwell"_s};

// A document as the loader reads one, with comments as the site's rules would add them.
HtmlDocument readDocument(const QString &address, const QString &text)
{
    HtmlDocument document = buildDocument(
        u"<html><head><title>t</title></head><body><p>%1</p><a href='/next.html?a=b#c'>next</a>"
        u"<a href='http://[bad'>bad</a><form action='/post' method='post'><input name='q' value='Привет'>"
        u"<input type='checkbox' name='c'></form><div class='c'>a comment</div></body></html>"_s.arg(text),
        address);
    PageComment comment{42, u"reader"_s, u"a comment"_s, u"<b>a</b> comment"_s, address + u"?thread=42"_s};
    document.comments.comments = {comment};
    document.comments.morePages = {*WebAddress::parse(QString(address + u"?page=2"_s))};
    const qsizetype at = document.bodyInnerText.indexOf(u"a comment"_s);
    document.comments.textRanges = {{at, at + 9}};
    document.comments.problem = u"a thread could not be read"_s;
    return document;
}

PageCache::Page page(const HtmlDocument &document, const QByteArray &body, qint64 secondsAgo = 0)
{
    PageCache::Page stored;
    stored.contentType = "text/html; charset=utf-8";
    stored.fetched = QDateTime::currentDateTimeUtc().addSecs(-secondsAgo);
    stored.document = document;
    stored.body = body;
    return stored;
}

// A page as the program kept them in a folder before the database: a file named by the SHA-1 of the
// address, framed with its size and a checksum.
void writeFolderEntry(const QString &folder, const QString &key, quint8 kind, const QString &target,
                      const QByteArray &body, qint64 fetchedMs)
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << key << kind << target << QByteArray("text/html") << body << fetchedMs;
    QByteArray size(8, '\0');
    for (int i = 0; i < 8; ++i)
        size[7 - i] = char(quint64(payload.size()) >> (8 * i));
    QDir().mkpath(folder);
    QFile file(folder + u'/' +
               QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex()) +
               u".page"_s);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("DTPAGE02" + size + payload + QCryptographicHash::hash(payload, QCryptographicHash::Sha1));
}

// Run as a second program: stores pages under PREFIX, as another search would at the same time.
int writeAsAnotherProgram(const QString &file, const QString &prefix)
{
    std::shared_ptr<PageCache> cache = PageCache::open(file);
    for (int i = 0; i < 60; ++i) {
        const QString address = prefix + QString::number(i) + u".html"_s;
        cache->storePage(address, page(readDocument(address, u"entry %1"_s.arg(i)), QByteArray(20000, 'x')),
                         Inkwell, Reader);
    }
    cache->flush();
    for (const QString &note : cache->notes())
        qWarning().noquote() << note;
    return cache->notes().isEmpty() ? 0 : 1;
}

} // namespace

class TestPageCache : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void keepsWhatASearchReads();
    void dropsTheOldestPastTheLimit();
    void failureCostsNothingGood_data();
    void failureCostsNothingGood();
    void takesOverTheFolderCacheOnce();
    void twoProgramsWriteAtOnce();
    void journalsListedAndForgotten();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
};

void TestPageCache::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_file = m_dir->filePath(u"cache/pages.sqlite"_s);
}

void TestPageCache::keepsWhatASearchReads()
{
    const QString address = u"http://inkwell.journal.example/1.html"_s;
    const HtmlDocument read = readDocument(address, u"Some text with LJ: \u0001 \U0001F600"_s);
    std::shared_ptr<PageCache> cache = PageCache::open(m_file);
    QCOMPARE(PageCache::open(m_file), cache); // one per file in a process
    cache->storePage(address + u"#top"_s, page(read, "<p>served</p>"), Inkwell, Reader);
    cache->storeRedirect(u"http://journal.example/~inkwell/1.html"_s, address, Inkwell);

    const PageCache::Found found =
        cache->lookup(u"http://journal.example/~inkwell/1.html#comments"_s, Reader);
    QVERIFY(found.page && found.page->document && found.problem.isEmpty());
    QCOMPARE(found.page->address, address);
    QVERIFY(found.page->body.isEmpty()); // not read when the document is there
    const HtmlDocument &kept = *found.page->document;
    QCOMPARE(kept.bodyInnerText, read.bodyInnerText);
    QCOMPARE(kept.bodyInnerHtml(), read.bodyInnerHtml());
    QCOMPARE(kept.htmlUtf8, read.htmlUtf8);
    QCOMPARE(kept.links.size(), 2);
    for (qsizetype i = 0; i < kept.links.size(); ++i) {
        QCOMPARE(kept.links[i].href(), read.links[i].href());
        QCOMPARE(kept.links[i].isValid(), read.links[i].isValid());
        QCOMPARE(kept.links[i].host(), read.links[i].host());
        QCOMPARE(kept.links[i].query(), read.links[i].query());
        QCOMPARE(kept.links[i].fragment(), read.links[i].fragment());
    }
    QCOMPARE(kept.forms.size(), 1);
    QCOMPARE(kept.forms[0].fields.size(), 2);
    QCOMPARE(kept.forms[0].fields[0].value, u"Привет"_s);
    QVERIFY(!kept.forms[0].fields[1].checked);
    QCOMPARE(kept.comments.comments.size(), 1);
    QCOMPARE(kept.comments.comments[0].html, u"<b>a</b> comment"_s);
    QCOMPARE(kept.comments.morePages[0].href(), address + u"?page=2"_s);
    QCOMPARE(kept.comments.textRanges, read.comments.textRanges);
    QCOMPARE(kept.comments.problem, read.comments.problem);

    // Another reader gets the bytes, to read them its own way.
    const PageCache::Found bytes = cache->lookup(address, Reader + 1);
    QVERIFY(bytes.page && !bytes.page->document);
    QCOMPARE(bytes.page->body, QByteArray("<p>served</p>"));
    QCOMPARE(bytes.page->contentType, QByteArray("text/html; charset=utf-8"));
    QVERIFY(!cache->lookup(u"http://inkwell.journal.example/2.html"_s, Reader).page);

    // What the user read is for the user's eyes alone.
    cache->flush();
    QCOMPARE(QFileInfo(QFileInfo(m_file).path()).permissions() & 0x0077, 0);
    for (const QString &name : QDir(QFileInfo(m_file).path()).entryList(QDir::Files))
        QCOMPARE(QFileInfo(QFileInfo(m_file).path() + u'/' + name).permissions() & 0x0077, 0);
}

void TestPageCache::dropsTheOldestPastTheLimit()
{
    constexpr qint64 Limit = 3 * 1024 * 1024;
    std::shared_ptr<PageCache> cache = PageCache::open(m_file, Limit);
    const auto address = [](int n) {
        return u"http://h/%1.html"_s.arg(n);
    };
    const auto store = [&](int n, qint64 secondsAgo, qsizetype bytes) {
        cache->storePage(address(n),
                         page(readDocument(address(n), u"page"_s), QByteArray(bytes, 'x'), secondsAgo),
                         Inkwell, Reader);
    };
    for (int n = 0; n < 5; ++n)
        store(n, 100 - n, 600 * 1024); // 0 read longest ago
    store(9, 0, 5 * 1024 * 1024);      // larger than the limit: pushes nothing out
    QVERIFY(cache->storedBytes() <= Limit);
    QVERIFY(!cache->lookup(address(9), Reader).page);
    QVERIFY(cache->lookup(address(4), Reader).page);

    store(5, 0, 1200 * 1024);
    QVERIFY(cache->storedBytes() <= Limit);
    QVERIFY(!cache->lookup(address(0), Reader).page);
    QVERIFY(!cache->lookup(address(1), Reader).page);
    for (int n : {3, 4, 5})
        QVERIFY(cache->lookup(address(n), Reader).page);
    cache->flush();
    // Dropped pages give their room back to the file system.
    QVERIFY(QFileInfo(m_file).size() < 2 * Limit);
}

void TestPageCache::failureCostsNothingGood_data()
{
    QTest::addColumn<QByteArray>("damage"); // written over the file's start; empty: the disk fills up
    QTest::addColumn<bool>("kept");         // the page stored before is still there

    QTest::newRow("full file system: the page before stays") << QByteArray() << true;
    QTest::newRow("not a database: kept aside, a new one") << QByteArray("GARBAGE GARBAGE!") << false;
    QTest::newRow("pages damaged: kept aside, a new one") << QByteArray(4096, '\0') << false;
}

void TestPageCache::failureCostsNothingGood()
{
    QFETCH(QByteArray, damage);
    QFETCH(bool, kept);

    const QString address = u"http://h/a.html"_s;
    {
        std::shared_ptr<PageCache> cache = PageCache::open(m_file);
        cache->storePage(address, page(readDocument(address, u"first"_s), QByteArray(1000, 'a')), Inkwell,
                         Reader);
        if (damage.isEmpty()) {
            // Writes past the limit fail with EFBIG as on a full disk, for root too.
            cache->flush();
            const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
            rlimit previous{};
            QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
            const rlimit limited{rlim_t(QFileInfo(m_file + u"-wal"_s).size() + 8192), previous.rlim_max};
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
            cache->storePage(address, page(readDocument(address, u"second"_s), QByteArray(4 << 20, 'b')),
                             Inkwell, Reader);
            cache->flush();
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &previous), 0);
            std::signal(SIGXFSZ, previousHandler);
        }
    }
    if (!damage.isEmpty()) {
        QFile file(m_file);
        QVERIFY(file.open(QIODevice::ReadWrite));
        if (damage.size() > 100)
            file.seek(file.size() / 2); // past the header, into the pages
        file.write(damage);
        QFile::remove(m_file + u"-wal"_s); // what the log held went into the file when it closed
    }

    std::shared_ptr<PageCache> cache = PageCache::open(m_file);
    const PageCache::Found found = cache->lookup(address, Reader);
    const QStringList asides = QDir(QFileInfo(m_file).path()).entryList({u"pages.sqlite.damaged-*"_s});
    if (kept) {
        QVERIFY(found.page && found.page->document);
        QCOMPARE(found.page->document->bodyInnerText.trimmed().left(5), u"first"_s);
        QVERIFY(asides.isEmpty());
        return;
    }
    QVERIFY(!found.page);
    // Said once, naming both files; the damaged one is there to look at, and the new one works.
    const QString notes = (cache->notes() + QStringList{found.problem}).join(u'\n');
    QCOMPARE(asides.size(), 1);
    QVERIFY2(notes.contains(u"is damaged"_s) && notes.contains(m_file) && notes.contains(asides.first()),
             qPrintable(notes));
    cache->storePage(address, page(readDocument(address, u"again"_s), "x"), Inkwell, Reader);
    QVERIFY(cache->lookup(address, Reader).page);
}

void TestPageCache::takesOverTheFolderCacheOnce()
{
    const QString folder = QFileInfo(m_file).path() + u"/pages"_s;
    const qint64 readAt = QDateTime::currentMSecsSinceEpoch() - 5000;
    writeFolderEntry(folder, u"http://h/old.html"_s, 1, u"http://h/old.html"_s, "<p>Kept before</p>", readAt);
    writeFolderEntry(folder, u"http://h/moved.html"_s, 2, u"http://h/old.html#x"_s, {}, readAt);
    QFile damaged(folder + u"/0000.page"_s);
    QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write("DTPAGE02 and nothing else") > 0);
    damaged.close();
    const QStringList before = QDir(folder).entryList(QDir::Files);

    {
        std::shared_ptr<PageCache> cache = PageCache::open(m_file);
        QCOMPARE(cache->notes().size(), 1);
        QVERIFY(cache->notes().first().startsWith(u"1 pages of the page cache folder"_s));
        const PageCache::Found found = cache->lookup(u"http://h/moved.html"_s, Reader);
        QVERIFY(found.page && !found.page->document); // bytes, to be read when first asked for
        QCOMPARE(found.page->body, QByteArray("<p>Kept before</p>"));
        QCOMPARE(found.page->fetched.toMSecsSinceEpoch(), readAt);
        QCOMPARE(cache->forget({QString(), QString()}), 1); // taken over for no journal
    }
    QCOMPARE(QDir(folder).entryList(QDir::Files), before); // left as it was
    std::shared_ptr<PageCache> again = PageCache::open(m_file);
    QVERIFY(again->notes().isEmpty());
    QVERIFY(!again->lookup(u"http://h/old.html"_s, Reader).page); // not taken over twice
}

void TestPageCache::twoProgramsWriteAtOnce()
{
    QDir().mkpath(QFileInfo(m_file).path());
    QList<QProcess *> writers;
    for (const QString &prefix : {u"http://a/"_s, u"http://b/"_s}) {
        auto *writer = new QProcess(this);
        writer->setProcessChannelMode(QProcess::ForwardedChannels);
        writer->start(QCoreApplication::applicationFilePath(),
                      {u"--write-as-another-program"_s, m_file, prefix});
        writers.append(writer);
    }
    for (QProcess *writer : std::as_const(writers)) {
        QVERIFY(writer->waitForFinished(60000));
        QCOMPARE(writer->exitCode(), 0); // no lock error, no damage
    }
    std::shared_ptr<PageCache> cache = PageCache::open(m_file);
    for (const QString &prefix : {u"http://a/"_s, u"http://b/"_s})
        for (int i = 0; i < 60; ++i) {
            const PageCache::Found found = cache->lookup(prefix + QString::number(i) + u".html"_s, Reader);
            QVERIFY(found.page && found.page->document);
            QVERIFY(found.page->document->bodyInnerText.contains(u"entry %1"_s.arg(i)));
        }
    QCOMPARE(cache->journals().size(), 1);
    QCOMPARE(cache->journals().first().pages, 120);
}

void TestPageCache::journalsListedAndForgotten()
{
    std::shared_ptr<PageCache> cache = PageCache::open(m_file);
    const PageCache::Owner other{u"dreamwidth.org"_s, u"inkwell"_s};
    const PageCache::Owner pen{u"livejournal.com"_s, u"pen"_s};
    for (const auto &[owner, address] :
         {std::pair(Inkwell, u"http://lj/1.html"_s), std::pair(Inkwell, u"http://lj/2.html"_s),
          std::pair(other, u"http://dw/1.html"_s), std::pair(pen, u"http://lj/p.html"_s)})
        cache->storePage(address, page(readDocument(address, u"x"_s), "x"), owner, Reader);
    cache->storeRedirect(u"http://lj/~inkwell/1.html"_s, u"http://lj/1.html"_s, Inkwell);

    const QList<PageCache::JournalSummary> journals = cache->journals();
    QCOMPARE(journals.size(), 3);
    QCOMPARE(journals[0].owner.site, u"dreamwidth.org"_s);
    QCOMPARE(journals[1].pages, 2);
    QCOMPARE(cache->pagesOf(Inkwell).size(), 3); // two pages and a redirect
    QCOMPARE(cache->pagesOf({QString(), u"inkwell"_s}).size(), 4);

    const qint64 before = cache->storedBytes();
    QCOMPARE(cache->forget(Inkwell), 2);
    QVERIFY(cache->storedBytes() < before);
    QVERIFY(!cache->lookup(u"http://lj/~inkwell/1.html"_s, Reader).page); // its redirects go too
    QVERIFY(cache->lookup(u"http://dw/1.html"_s, Reader).page);
    QCOMPARE(cache->forget({QString(), u"inkwell"_s}), 1);
    QCOMPARE(cache->journals().size(), 1);
}

int main(int argc, char *argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--write-as-another-program") == 0) {
        QCoreApplication app(argc, argv);
        return writeAsAnotherProgram(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication app(argc, argv);
    TestPageCache test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_pagecache.moc"
