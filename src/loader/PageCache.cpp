// SPDX-License-Identifier: GPL-3.0-or-later
#include "PageCache.h"

#include "platform/XdgPaths.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace diarytrawl::web {

namespace {

// Entries of the first kind do not say when they were read from the network.
constexpr QByteArrayView Magic = "DTPAGE02";
constexpr QByteArrayView FirstMagic = "DTPAGE01";
constexpr qint64 HashSize = 20; // SHA-1
constexpr qint64 FramingSize = 8 + 8 + HashSize;
const QString EntrySuffix = u".page"_s;

QByteArray bigEndian64(quint64 value)
{
    QByteArray bytes(8, '\0');
    for (int i = 7; i >= 0; --i) {
        bytes[i] = char(value & 0xFF);
        value >>= 8;
    }
    return bytes;
}

quint64 fromBigEndian64(QByteArrayView bytes)
{
    quint64 value = 0;
    for (const char byte : bytes)
        value = (value << 8) | quint8(byte);
    return value;
}

} // namespace

QString cacheKeyOf(const QString &address)
{
    const qsizetype hash = address.indexOf(u'#');
    return hash < 0 ? address : address.left(hash);
}

QString PageCache::defaultFolder()
{
    return xdg::cacheFolder() + u"/pages"_s;
}

PageCache::PageCache(QString folder, qint64 maxBytes)
    : m_folder(std::move(folder))
    , m_maxBytes(maxBytes)
{}

QString PageCache::fileNameFor(const QString &key) const
{
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex();
    return m_folder + u'/' + QString::fromLatin1(hash) + EntrySuffix;
}

void PageCache::storePage(const QString &address, const QByteArray &contentType, const QByteArray &body)
{
    const QString key = cacheKeyOf(address);
    store(key, Entry{Kind::Page, key, contentType, body, QDateTime::currentMSecsSinceEpoch()});
}

void PageCache::storeRedirect(const QString &from, const QString &to)
{
    store(cacheKeyOf(from), Entry{Kind::Redirect, to, {}, {}});
}

void PageCache::store(const QString &key, const Entry &entry)
{
    QByteArray payload;
    {
        QDataStream out(&payload, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_4);
        out << key << quint8(entry.kind) << entry.target << entry.contentType << entry.body
            << entry.fetchedMs;
    }
    const qint64 fileSize = FramingSize + payload.size();
    if (fileSize > m_maxBytes)
        return; // would push out everything else and still not fit

    const QByteArray size = bigEndian64(quint64(payload.size()));
    const QByteArray hash = QCryptographicHash::hash(payload, QCryptographicHash::Sha1);
    QMutexLocker lock(&m_mutex);
    // A full disk must cost the new page only: the entry it would replace stays until the new one is
    // whole on disk, or an offline search finds nothing where it found a page before.
    if (!xdg::makePrivateFolder(m_folder) ||
        !xdg::replaceFile(fileNameFor(key), {Magic, size, payload, hash}, nextUseStamp()).isEmpty())
        return;
    evictIfNeeded(fileSize);
}

std::optional<PageCache::Page> PageCache::lookup(const QString &address)
{
    QMutexLocker lock(&m_mutex);
    QString key = cacheKeyOf(address);
    for (int hops = 0; hops <= MaxRedirects; ++hops) {
        std::optional<Entry> entry = read(key);
        if (!entry)
            return std::nullopt;
        if (entry->kind == Kind::Page)
            return Page{entry->target, std::move(entry->contentType), std::move(entry->body),
                        entry->fetchedMs > 0 ? QDateTime::fromMSecsSinceEpoch(entry->fetchedMs, Qt::UTC)
                                             : QDateTime()};
        key = cacheKeyOf(entry->target);
    }
    return std::nullopt;
}

std::optional<PageCache::Entry> PageCache::read(const QString &key)
{
    const QString fileName = fileNameFor(key);
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    auto damaged = [&]() -> std::optional<Entry> {
        file.close();
        QFile::remove(fileName);
        return std::nullopt;
    };
    const qint64 size = file.size();
    const QByteArray magic = size < FramingSize ? QByteArray() : file.read(Magic.size());
    if (magic != Magic && magic != FirstMagic)
        return damaged();
    const quint64 payloadSize = fromBigEndian64(file.read(8));
    if (payloadSize != quint64(size - FramingSize))
        return damaged();
    const QByteArray payload = file.read(qint64(payloadSize));
    const QByteArray hash = file.read(HashSize);
    if (payload.size() != qint64(payloadSize) ||
        hash != QCryptographicHash::hash(payload, QCryptographicHash::Sha1))
        return damaged();

    QDataStream in(payload);
    in.setVersion(QDataStream::Qt_6_4);
    QString storedKey;
    quint8 kind = 0;
    Entry entry;
    in >> storedKey >> kind >> entry.target >> entry.contentType >> entry.body;
    if (magic == Magic)
        in >> entry.fetchedMs;
    if (in.status() != QDataStream::Ok || storedKey != key ||
        (kind != quint8(Kind::Page) && kind != quint8(Kind::Redirect)))
        return damaged(); // or two addresses share a file name, which SHA-1 makes a curiosity
    entry.kind = Kind(kind);
    file.setFileTime(nextUseStamp(), QFileDevice::FileModificationTime);
    return entry;
}

// Modification times order the entries for eviction. The file system's clock is coarse, so the
// stamps given in this process are made strictly increasing, across all caches on the folder.
QDateTime PageCache::nextUseStamp()
{
    static std::atomic<qint64> lastStampMs{0};
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    qint64 last = lastStampMs.load();
    qint64 stamp = 0;
    do {
        stamp = std::max(now, last + 1);
    } while (!lastStampMs.compare_exchange_weak(last, stamp));
    return QDateTime::fromMSecsSinceEpoch(stamp, Qt::UTC);
}

void PageCache::evictIfNeeded(qint64 justWritten)
{
    if (m_knownBytes >= 0)
        m_knownBytes += justWritten;
    if (m_knownBytes >= 0 && m_knownBytes <= m_maxBytes)
        return;

    QFileInfoList entries = QDir(m_folder).entryInfoList({u"*"_s + EntrySuffix}, QDir::Files);
    std::sort(entries.begin(), entries.end(),
              [](const QFileInfo &a, const QFileInfo &b) { return a.lastModified() < b.lastModified(); });
    qint64 total = 0;
    for (const QFileInfo &entry : entries)
        total += entry.size();
    for (const QFileInfo &entry : std::as_const(entries)) {
        if (total <= m_maxBytes)
            break;
        if (QFile::remove(entry.filePath()))
            total -= entry.size();
    }
    m_knownBytes = total;
}

qint64 PageCache::bytesOnDisk() const
{
    QMutexLocker lock(&m_mutex);
    qint64 total = 0;
    const QFileInfoList entries = QDir(m_folder).entryInfoList({u"*"_s + EntrySuffix}, QDir::Files);
    for (const QFileInfo &entry : entries)
        total += entry.size();
    return total;
}

} // namespace diarytrawl::web
