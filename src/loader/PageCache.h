// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMutex>
#include <QString>

#include <optional>

namespace diarytrawl::web {

// The pages the loader has seen, on disk, so that a search can run offline. Every page that loaded
// with status 200 is kept whatever its caching headers say, under its address without fragment, and
// so is every redirect, so that an address that redirects works offline too. The folder is bounded:
// past maxBytes the least recently used entries go. Each entry is written atomically and carries a
// checksum; a damaged or unreadable entry reads as missing. Failing to write is not an error: the
// page was loaded all the same, and the entry it would have replaced is kept. The folder and its files
// are the user's alone (0700, 0600): they show what the user read. Safe to use from several threads.
class PageCache {
public:
    static constexpr qint64 DefaultMaxBytes = qint64(256) * 1024 * 1024;
    static constexpr int MaxRedirects = 20;

    struct Page {
        QString address; // the final address, after the redirects recorded for the one looked up
        QByteArray contentType;
        QByteArray body;
        QDateTime fetched; // when it was read from the network; invalid for pages kept before it was noted
    };

    // $XDG_CACHE_HOME/diarytrawl/pages
    static QString defaultFolder();

    explicit PageCache(QString folder = defaultFolder(), qint64 maxBytes = DefaultMaxBytes);

    void storePage(const QString &address, const QByteArray &contentType, const QByteArray &body);
    void storeRedirect(const QString &from, const QString &to);

    // The page stored for address, following stored redirects (at most MaxRedirects).
    std::optional<Page> lookup(const QString &address);

    const QString &folder() const { return m_folder; }
    qint64 maxBytes() const { return m_maxBytes; }
    // Bytes of the entries on disk now.
    qint64 bytesOnDisk() const;

private:
    enum class Kind : quint8 { Page = 1, Redirect = 2 };
    struct Entry {
        Kind kind = Kind::Page;
        QString target; // Page: the address itself; Redirect: where it leads
        QByteArray contentType;
        QByteArray body;
        qint64 fetchedMs = 0; // since the epoch, UTC; 0: not known
    };

    QString fileNameFor(const QString &key) const;
    void store(const QString &key, const Entry &entry);
    std::optional<Entry> read(const QString &key);
    void evictIfNeeded(qint64 justWritten);
    static QDateTime nextUseStamp();

    QString m_folder;
    qint64 m_maxBytes;
    mutable QMutex m_mutex;
    qint64 m_knownBytes = -1; // what the folder held at the last count plus what was written since
};

// The cache key of an address: the address without its fragment.
QString cacheKeyOf(const QString &address);

} // namespace diarytrawl::web
