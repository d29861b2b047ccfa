// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Browser.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace diarytrawl::web {

// The pages the loader has read, in an SQLite database, so that a search can run offline and a
// re-search reads what it needs of a page without loading, decoding or parsing it again.
//  - Kept for each address without fragment: the final address (a redirect is kept as one), the
//    status, the content type, the served bytes, when it was read, and what a search reads of it (the
//    document), with the journal it was read for.
//  - Every write is one transaction, run in the background in the order given, on the cache's own
//    connection (write-ahead log, a busy time-out for other programs' writes). A write that fails (a
//    full disk) costs that page only: what the cache held stays as it was.
//  - Bounded: past maxBytes of stored content the pages read longest ago go first.
//  - A file that is not a database, or damaged, is renamed aside and a new one started; notes() says
//    so, naming both files. The file is the user's alone (0600 in a folder of 0700).
//  - Pages of the folder cache that came before it (DIR/pages next to the file) are taken over once,
//    as bytes to be parsed when first asked for; the folder is left as it is.
// One object per file in a process (open); safe to use from any thread.
class PageCache {
public:
    static constexpr qint64 DefaultMaxBytes = qint64(2) * 1024 * 1024 * 1024;
    static constexpr int MaxRedirects = 20;

    // Whose journal a page was read for: the site as the search names it and the user. Empty for a page
    // read outside a search.
    struct Owner {
        QString site;
        QString journal;
    };

    struct Page {
        QString address; // the final address, after the redirects recorded for the one looked up
        int status = 200;
        QByteArray contentType;
        QDateTime fetched; // when it was read from the network; invalid when that is not known
        // What a search reads of it as it was read when stored; missing when only the bytes are kept (a
        // page taken over from the folder cache, or stored by a reader that has changed since).
        std::optional<HtmlDocument> document;
        QByteArray body; // the served bytes; looked up, only when there is no document
    };

    struct Found {
        std::optional<Page> page;
        QString problem; // why the cache could not be asked (damaged, held by another program), or empty
    };

    struct JournalSummary {
        Owner owner;
        qint64 pages = 0;
        qint64 bytes = 0;
        QDateTime lastRead;
    };

    struct StoredPage {
        QString address;
        QDateTime fetched;
        qint64 bytes = 0;
        QString redirectsTo; // for a redirect kept, where it leads; empty for a page
    };

    // $XDG_CACHE_HOME/diarytrawl/pages.sqlite
    static QString defaultFile();

    // The cache on file, shared with everything else in the process that has it open; maxBytes is the
    // latest asked for. Never fails: a file that cannot be opened leaves a cache that keeps nothing,
    // and notes() says why.
    static std::shared_ptr<PageCache> open(const QString &file = defaultFile(),
                                           qint64 maxBytes = DefaultMaxBytes);

    ~PageCache(); // finishes the writes given
    PageCache(const PageCache &) = delete;
    PageCache &operator=(const PageCache &) = delete;

    const QString &file() const { return m_file; }
    // What befell the file since it was opened, a sentence each.
    QStringList notes() const;

    // reader: what made the document (readerTag); a page asked for by another reader comes back as bytes.
    void storePage(const QString &address, const Page &page, const Owner &owner, quint32 reader);
    void storeRedirect(const QString &from, const QString &to, const Owner &owner);
    // The document read from a page the cache held as bytes alone, for the next time.
    void storeDocument(const QString &address, const HtmlDocument &document, const Owner &owner,
                       quint32 reader);

    // The page stored for address, following stored redirects (at most MaxRedirects). Comes after every
    // write given before it. Without withHtml its document comes without its HTML, which is then not read.
    Found lookup(const QString &address, quint32 reader, bool withHtml = true);
    // The same, answered on the cache's own thread, where then runs: it must be quick.
    void find(const QString &address, quint32 reader, bool withHtml, std::function<void(Found)> then);

    QList<JournalSummary> journals();
    // A journal's pages and redirects, on every site when owner.site is empty.
    QList<StoredPage> pagesOf(const Owner &owner);
    // Removes a journal's pages and redirects, on every site when owner.site is empty; how many pages.
    qint64 forget(const Owner &owner);
    // Content bytes stored now, as counted against maxBytes.
    qint64 storedBytes();
    // Waits until the writes given so far are done.
    void flush();

    class Store;      // the writer's connection and its thread
    class Connection; // a connection on one thread

    // What a browser reads from the cache on its own thread, without a turn on the cache's: a page of up
    // to sizeLimit bytes, stored with its document, when no write given is still to be done. Made, used
    // and dropped on one thread.
    class Reader {
    public:
        ~Reader();
        Reader(const Reader &) = delete;
        Reader &operator=(const Reader &) = delete;

        // nullopt: ask lookup or find instead (a larger page, one kept as bytes, a write still to be done,
        // a failure).
        std::optional<Found> lookup(const QString &address, quint32 reader, bool withHtml, qint64 sizeLimit);

    private:
        friend class PageCache;
        explicit Reader(PageCache &cache);

        PageCache &m_cache;
        std::unique_ptr<Connection> m_connection;
        quint64 m_generation = 0; // the file's, when the connection was opened
    };
    // The cache must outlive it.
    std::unique_ptr<Reader> reader();

private:
    PageCache(QString file, qint64 maxBytes);

    QString m_file;
    std::unique_ptr<Store> m_store;
};

// The cache key of an address: the address without its fragment.
QString cacheKeyOf(const QString &address);

// Which reader makes documents: the parser's version and the site rules' (0 without rules). A stored
// document is used only by the reader that made it.
quint32 readerTag(quint32 rulesVersion);

} // namespace diarytrawl::web
