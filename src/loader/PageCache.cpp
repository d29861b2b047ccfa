// SPDX-License-Identifier: GPL-3.0-or-later
#include "PageCache.h"

#include "StoredDocument.h"
#include "platform/XdgPaths.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

using namespace Qt::StringLiterals;

namespace diarytrawl::web {

namespace {

// What the parser gives; a change to it makes every stored document be read again from its bytes.
constexpr quint32 ParserVersion = 2;

// A part of a page is kept in pieces of at most this much, so that SQLite never holds a whole large
// page in one record.
constexpr qsizetype PieceBytes = 1024 * 1024;
// Writes given and not yet done; past this, whoever gives one waits.
constexpr int MaxQueuedWrites = 8;
// A write that would leave more than this waiting returns only once it is written: a page as large as the
// body bound is not still held for the cache while the next one is read.
constexpr qint64 MaxQueuedBytes = 32 * 1024 * 1024;
constexpr int BusyTimeoutMs = 10000;
constexpr int ReaderBusyTimeoutMs = 50;
constexpr int SchemaVersion = 1;
constexpr int ImportBatch = 200;

enum Part : int { Facts = 0, Text = 1, Html = 2, Body = 3 };

// SQLite's primary result codes, as Qt SQL passes them on.
enum SqliteCode : int { Busy = 5, Locked = 6, Corrupt = 11, NotADatabase = 26 };

int sqliteCode(const QSqlError &error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? code & 0xFF : -1;
}

bool isDamage(const QSqlError &error)
{
    const int code = sqliteCode(error);
    return code == Corrupt || code == NotADatabase;
}

bool isBusy(const QSqlError &error)
{
    const int code = sqliteCode(error);
    return code == Busy || code == Locked;
}

// A failed statement, carried out of a transaction to where it is rolled back.
struct SqlFailure {
    QSqlError error;
};

// What a document holds in memory, about: its text and its HTML.
qint64 heldBytes(const HtmlDocument &document)
{
    return document.bodyInnerText.size() * qint64(sizeof(QChar)) + document.htmlUtf8.size();
}

qint64 msOf(const QDateTime &time)
{
    return time.isValid() ? time.toMSecsSinceEpoch() : 0;
}

// SQLite takes a null QString as NULL; an owner's parts are text, empty when there is none.
QString text(const QString &value)
{
    return value.isNull() ? u""_s : value;
}

QDateTime timeOf(qint64 ms)
{
    return ms > 0 ? QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC) : QDateTime();
}

// The pieces of a part as views of its bytes: no copy is made.
QList<QByteArray> piecesOf(const QByteArray &bytes)
{
    QList<QByteArray> pieces;
    for (qsizetype at = 0; at < bytes.size(); at += PieceBytes)
        pieces.append(QByteArray::fromRawData(bytes.data() + at, std::min(PieceBytes, bytes.size() - at)));
    return pieces;
}

// The pieces of a text as views of it. The database keeps text in UTF-16, as the program does, so a
// piece goes in and comes back out without conversion.
QList<QString> piecesOf(const QString &text)
{
    constexpr qsizetype PieceUnits = PieceBytes / 2;
    QList<QString> pieces;
    for (qsizetype at = 0; at < text.size(); at += PieceUnits)
        pieces.append(QString::fromRawData(text.constData() + at, std::min(PieceUnits, text.size() - at)));
    return pieces;
}

// A page of the folder cache that came before the database.
struct FolderEntry {
    QString key;
    bool redirect = false;
    QString target;
    QByteArray contentType;
    QByteArray body;
    qint64 fetchedMs = 0;
};

std::optional<FolderEntry> readFolderEntry(const QString &fileName)
{
    constexpr qint64 HashSize = 20; // SHA-1
    constexpr qint64 FramingSize = 8 + 8 + HashSize;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || file.size() < FramingSize)
        return std::nullopt;
    const QByteArray magic = file.read(8);
    const bool noted = magic == "DTPAGE02"; // the first form did not say when a page was read
    if (!noted && magic != "DTPAGE01")
        return std::nullopt;
    quint64 payloadSize = 0;
    for (const char byte : file.read(8))
        payloadSize = (payloadSize << 8) | quint8(byte);
    if (payloadSize != quint64(file.size() - FramingSize))
        return std::nullopt;
    const QByteArray payload = file.read(qint64(payloadSize));
    if (payload.size() != qint64(payloadSize) ||
        file.read(HashSize) != QCryptographicHash::hash(payload, QCryptographicHash::Sha1))
        return std::nullopt;
    QDataStream in(payload);
    in.setVersion(QDataStream::Qt_6_4);
    FolderEntry entry;
    quint8 kind = 0;
    in >> entry.key >> kind >> entry.target >> entry.contentType >> entry.body;
    if (noted)
        in >> entry.fetchedMs;
    if (in.status() != QDataStream::Ok || (kind != 1 && kind != 2) || entry.key.isEmpty())
        return std::nullopt;
    entry.redirect = kind == 2;
    return entry;
}

} // namespace

QString cacheKeyOf(const QString &address)
{
    const qsizetype hash = address.indexOf(u'#');
    return hash < 0 ? address : address.left(hash);
}

quint32 readerTag(quint32 rulesVersion)
{
    return ParserVersion << 16 | (rulesVersion & 0xFFFF);
}

QString PageCache::defaultFile()
{
    return xdg::cacheFolder() + u"/pages.sqlite"_s;
}

// A connection to the database, used on the thread that opened it, with its statements prepared once.
class PageCache::Connection {
public:
    Connection()
        : m_connection(u"diarytrawl-pages-"_s + QString::number(++connections))
    {}
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool open(const QString &file, QString &failure, int busyTimeoutMs = BusyTimeoutMs);
    void close();
    QSqlDatabase database() const { return QSqlDatabase::database(m_connection, false); }
    QSqlQuery &query(const QString &sql);
    QSqlQuery &exec(const QString &sql, const QVariantList &values = {});
    void transaction(const std::function<void()> &work, bool write = true);
    // A statement left part read would hold a read transaction, and with it keep this connection's next
    // write waiting behind every other program's.
    void finishAll()
    {
        for (auto &[sql, statement] : m_queries)
            statement.finish();
    }

    PageCache::Found find(const QString &address, quint32 reader, bool withHtml, qint64 sizeLimit,
                          bool *tooLarge);
    std::optional<HtmlDocument> readDocument(qint64 page, bool withHtml);
    QByteArray readBody(qint64 page);

protected:
    QString m_connection;
    std::map<QString, QSqlQuery> m_queries; // prepared once

private:
    static inline std::atomic<quint64> connections{0};
};

bool PageCache::Connection::open(const QString &file, QString &failure, int busyTimeoutMs)
{
    QSqlDatabase database = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_connection);
    database.setDatabaseName(file);
    database.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT="_s + QString::number(busyTimeoutMs));
    if (database.open())
        return true;
    failure = database.lastError().text();
    return false;
}

void PageCache::Connection::close()
{
    m_queries.clear();
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

QSqlQuery &PageCache::Connection::query(const QString &sql)
{
    auto found = m_queries.find(sql);
    if (found == m_queries.end()) {
        QSqlQuery prepared(QSqlDatabase::database(m_connection, false));
        prepared.setForwardOnly(true);
        if (!prepared.prepare(sql))
            throw SqlFailure{prepared.lastError()};
        found = m_queries.emplace(sql, std::move(prepared)).first;
    }
    return found->second;
}

QSqlQuery &PageCache::Connection::exec(const QString &sql, const QVariantList &values)
{
    QSqlQuery &statement = query(sql);
    for (qsizetype i = 0; i < values.size(); ++i)
        statement.bindValue(int(i), values.at(i));
    if (!statement.exec())
        throw SqlFailure{statement.lastError()};
    return statement;
}

void PageCache::Connection::transaction(const std::function<void()> &work, bool write)
{
    // IMMEDIATE takes the write lock at once (waiting out another program's), so that the transaction
    // never has to give up half way for a lock it cannot upgrade.
    exec(write ? u"BEGIN IMMEDIATE"_s : u"BEGIN"_s);
    try {
        work();
        exec(u"COMMIT"_s);
    } catch (...) {
        for (auto &[sql, statement] : m_queries)
            statement.finish();
        QSqlQuery(QSqlDatabase::database(m_connection, false)).exec(u"ROLLBACK"_s);
        throw;
    }
}

// The page stored for address, following stored redirects; throws SqlFailure. Past sizeLimit bytes it
// is left unread, and tooLarge says so.
PageCache::Found PageCache::Connection::find(const QString &address, quint32 reader, bool withHtml,
                                             qint64 sizeLimit, bool *tooLarge)
{
    PageCache::Found found;
    transaction(
        [&] {
            QString key = cacheKeyOf(address);
            for (int hops = 0; hops <= PageCache::MaxRedirects; ++hops) {
                QSqlQuery &stored = exec(
                    u"SELECT id, status, content_type, fetched, reader, bytes FROM pages WHERE address = ?"_s,
                    {key});
                if (stored.next()) {
                    PageCache::Page page;
                    const qint64 id = stored.value(0).toLongLong();
                    page.address = key;
                    page.status = stored.value(1).toInt();
                    page.contentType = stored.value(2).toByteArray();
                    page.fetched = timeOf(stored.value(3).toLongLong());
                    const bool readable = stored.value(4).toUInt() == reader;
                    const qint64 bytes = stored.value(5).toLongLong();
                    stored.finish();
                    if (tooLarge && bytes > sizeLimit) {
                        *tooLarge = true;
                        return;
                    }
                    if (readable)
                        page.document = readDocument(id, withHtml);
                    if (!page.document)
                        page.body = readBody(id);
                    found.page = std::move(page);
                    return;
                }
                stored.finish();
                QSqlQuery &redirect = exec(u"SELECT target FROM redirects WHERE address = ?"_s, {key});
                if (!redirect.next()) {
                    redirect.finish();
                    return;
                }
                key = cacheKeyOf(redirect.value(0).toString());
                redirect.finish();
            }
        },
        false); // one snapshot, whatever other programs write meanwhile
    return found;
}

std::optional<HtmlDocument> PageCache::Connection::readDocument(qint64 page, bool withHtml)
{
    QSqlQuery &parts =
        exec(u"SELECT kind, data FROM parts WHERE page = ? AND kind < ? ORDER BY kind, piece"_s,
             {page, int(withHtml ? Body : Html)});
    HtmlDocument document;
    DocumentFacts facts;
    QByteArray factBytes;
    QByteArray html;
    qsizetype textAt = 0;
    bool good = true;
    while (good && parts.next()) {
        const int kind = parts.value(0).toInt();
        const QVariant data = parts.value(1);
        switch (kind) {
        case Facts:
            factBytes += data.toByteArray();
            break;
        case Text: {
            if (textAt == 0)
                good = readDocumentFacts(factBytes, document, facts);
            const QString piece = data.toString();
            good = good && textAt + piece.size() <= facts.textSize;
            if (!good)
                break;
            if (textAt == 0 && piece.size() == facts.textSize) {
                document.bodyInnerText = piece; // one piece: taken as it comes
            } else {
                if (textAt == 0)
                    document.bodyInnerText.reserve(facts.textSize);
                document.bodyInnerText += piece;
            }
            textAt += piece.size();
            break;
        }
        case Html:
            if (html.isEmpty())
                html.reserve(facts.htmlUtf8Size);
            html += data.toByteArray();
            break;
        default:
            good = false;
        }
    }
    parts.finish();
    if (textAt == 0 && good) // an empty text has no piece
        good = readDocumentFacts(factBytes, document, facts);
    if (!good || textAt != facts.textSize || (withHtml && html.size() != facts.htmlUtf8Size))
        return std::nullopt;
    if (!withHtml)
        return document;
    if (facts.bodyHtmlStart + facts.bodyHtmlSize > html.size())
        return std::nullopt;
    document.htmlUtf8 = std::move(html);
    document.bodyHtmlStart = facts.bodyHtmlStart;
    document.bodyHtmlEnd = facts.bodyHtmlStart + facts.bodyHtmlSize;
    return document;
}

QByteArray PageCache::Connection::readBody(qint64 page)
{
    QSqlQuery &parts =
        exec(u"SELECT data FROM parts WHERE page = ? AND kind = ? ORDER BY piece"_s, {page, int(Body)});
    QByteArray body;
    while (parts.next())
        body += parts.value(0).toByteArray();
    parts.finish();
    return body;
}

// The writer's connection lives on a thread of its own, which runs the jobs given in order.
class PageCache::Store : private Connection {
public:
    Store(QString file, qint64 maxBytes)
        : m_file(std::move(file))
        , m_maxBytes(maxBytes)
    {
        m_thread = std::thread([this] { run(); });
    }

    ~Store()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    void setMaxBytes(qint64 maxBytes) { m_maxBytes = maxBytes; }

    QStringList notes() const
    {
        std::lock_guard lock(m_mutex);
        return m_notes;
    }

    // A write: waits only while too many are queued.
    // Never from the connection's own thread. bytes: about what the job holds.
    void write(std::function<void()> job, qint64 bytes = 0)
    {
        std::unique_lock lock(m_mutex);
        m_roomFreed.wait(lock, [this] { return m_queuedWrites < MaxQueuedWrites; });
        ++m_queuedWrites;
        m_queuedBytes += bytes;
        const quint64 ticket = ++m_writesQueued;
        m_jobs.push_back([this, job = std::move(job), bytes] {
            job();
            {
                std::lock_guard done(m_mutex);
                --m_queuedWrites;
                m_queuedBytes -= bytes;
                ++m_writesDone;
            }
            m_roomFreed.notify_all();
        });
        const bool waitForIt = m_queuedBytes > MaxQueuedBytes;
        lock.unlock();
        m_wake.notify_one();
        if (waitForIt) {
            lock.lock();
            m_roomFreed.wait(lock, [this, ticket] { return m_writesDone >= ticket; });
        }
    }

    // A job that runs on the connection's thread after the jobs before it.
    void post(std::function<void()> job)
    {
        {
            std::lock_guard lock(m_mutex);
            m_jobs.push_back(std::move(job));
        }
        m_wake.notify_one();
    }

    // A question, answered on the connection's thread after the jobs before it.
    template<typename Result>
    Result ask(std::function<Result()> question)
    {
        std::packaged_task<Result()> task(std::move(question));
        std::future<Result> answer = task.get_future();
        {
            std::lock_guard lock(m_mutex);
            m_jobs.push_back([&task] { task(); });
        }
        m_wake.notify_one();
        return answer.get();
    }

    // Everything below runs on the connection's thread.

    // Asked from any thread.
    bool usable() const { return m_usable; }
    // Changes when the file is set aside and a new one started.
    quint64 generation() const { return m_generation; }
    bool writesPending() const
    {
        std::lock_guard lock(m_mutex);
        return m_queuedWrites > 0;
    }
    const QString &file() const { return m_file; }

    void storePage(const QString &key, const Page &page, const Owner &owner, quint32 reader);
    void storeRedirect(const QString &from, const QString &to, const Owner &owner);
    void storeDocument(const QString &key, const HtmlDocument &document, const Owner &owner, quint32 reader);
    Found lookup(const QString &address, quint32 reader, bool withHtml);
    QList<JournalSummary> journals();
    QList<StoredPage> pagesOf(const Owner &owner);
    qint64 forget(const Owner &owner);
    qint64 storedBytes();

private:
    void run();
    void openDatabase();
    bool setUp();
    void setAside(const QSqlError &error);
    void recover(const QSqlError &error);
    void vacuumIfEvicted();
    void importFolder();
    void writeParts(qint64 page, Part part, const QByteArray &bytes);
    void writeParts(qint64 page, Part part, const QString &text);
    qint64 partsBytes(const HtmlDocument *document, const QByteArray &htmlUtf8, const QByteArray &facts,
                      const QByteArray &body) const;
    void evictOver(qint64 keep);
    void note(const QString &sentence);

    QString m_file;
    std::atomic<qint64> m_maxBytes;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_roomFreed;
    std::deque<std::function<void()>> m_jobs;
    int m_queuedWrites = 0;
    qint64 m_queuedBytes = 0;
    quint64 m_writesQueued = 0; // jobs are run in order: the n-th is written once m_writesDone reaches n
    quint64 m_writesDone = 0;
    bool m_stopping = false;
    QStringList m_notes;

    // The connection's thread only.
    std::atomic<bool> m_usable = false;
    std::atomic<quint64> m_generation = 0;
    bool m_evicted = false;
};

void PageCache::Store::note(const QString &sentence)
{
    std::lock_guard lock(m_mutex);
    m_notes.append(sentence);
}

void PageCache::Store::run()
{
    openDatabase();
    while (true) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_jobs.empty())
                break; // stopping, with every job done
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
        finishAll();
    }
    close();
}

void PageCache::Store::openDatabase()
{
    const QString folder = QFileInfo(m_file).absolutePath();
    if (!QSqlDatabase::isDriverAvailable(u"QSQLITE"_s)) {
        note(u"The page cache is off: the SQLite driver of Qt SQL is not installed (Debian package "
             u"libqt6sql6-sqlite)."_s);
        return;
    }
    if (!xdg::makePrivateFolder(folder)) {
        note(u"The page cache is off: the folder \"%1\" cannot be made."_s.arg(folder));
        return;
    }
    if (!QFileInfo::exists(m_file)) {
        // Made for the user alone before SQLite writes a byte; its journal files take the same mode.
        QFile made(m_file);
        if (made.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            made.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    if (QString failure; !open(m_file, failure)) {
        note(u"The page cache is off: \"%1\" cannot be opened (%2)."_s.arg(m_file, failure));
        return;
    }
    m_usable = setUp();
    if (m_usable)
        importFolder();
}

// The schema, made when the file is new; false when the file is not one the program can use.
bool PageCache::Store::setUp()
{
    QSqlDatabase database = QSqlDatabase::database(m_connection, false);
    QSqlQuery setting(database);
    const auto run = [&](const QString &sql) {
        if (!setting.exec(sql))
            throw SqlFailure{setting.lastError()};
        const QVariant value = setting.next() ? setting.value(0) : QVariant();
        setting.finish();
        return value;
    };
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            const int version = run(u"PRAGMA user_version"_s).toInt();
            if (version > SchemaVersion) {
                note(u"The page cache is off: \"%1\" was made by a later version of diarytrawl."_s.arg(
                    m_file));
                return false;
            }
            if (version == 0) {
                // Settled before the first byte is written, or never. Text as the program holds it, so a
                // page's text is read back without conversion; a page's parts in few database pages.
                run(u"PRAGMA auto_vacuum=INCREMENTAL"_s);
                run(u"PRAGMA encoding='UTF-16le'"_s);
                run(u"PRAGMA page_size=65536"_s);
            }
            if (run(u"PRAGMA journal_mode=WAL"_s).toString().toLower() != u"wal")
                throw SqlFailure{QSqlError(u"the write-ahead log cannot be used"_s)};
            run(u"PRAGMA synchronous=NORMAL"_s);
            run(u"PRAGMA foreign_keys=ON"_s);
            run(u"PRAGMA journal_size_limit=16777216"_s);
            if (version == 0) {
                transaction([&] {
                    // Looked at again under the write lock: another program may have made it meanwhile.
                    if (run(u"PRAGMA user_version"_s).toInt() != 0)
                        return;
                    if (run(u"SELECT count(*) FROM sqlite_master"_s).toInt() != 0)
                        throw SqlFailure{QSqlError(QString(), u"it holds tables of another program"_s,
                                                   QSqlError::UnknownError, QString::number(NotADatabase))};
                    for (const QString &sql :
                         {u"CREATE TABLE IF NOT EXISTS pages(id INTEGER PRIMARY KEY, address TEXT NOT NULL "
                          u"UNIQUE, status INTEGER NOT NULL, content_type BLOB, fetched INTEGER NOT NULL, "
                          u"site TEXT NOT NULL, journal TEXT NOT NULL, bytes INTEGER NOT NULL, reader "
                          u"INTEGER NOT NULL)"_s,
                          u"CREATE INDEX IF NOT EXISTS pages_by_age ON pages(fetched)"_s,
                          u"CREATE INDEX IF NOT EXISTS pages_by_journal ON pages(journal, site)"_s,
                          u"CREATE TABLE IF NOT EXISTS parts(page INTEGER NOT NULL REFERENCES pages(id) ON "
                          u"DELETE CASCADE, kind INTEGER NOT NULL, piece INTEGER NOT NULL, data BLOB NOT "
                          u"NULL, PRIMARY KEY(page, kind, piece))"_s,
                          u"CREATE TABLE IF NOT EXISTS redirects(address TEXT PRIMARY KEY, target TEXT NOT "
                          u"NULL, fetched INTEGER NOT NULL, site TEXT NOT NULL, journal TEXT NOT NULL)"_s,
                          u"CREATE TABLE IF NOT EXISTS totals(id INTEGER PRIMARY KEY CHECK (id = 1), bytes "
                          u"INTEGER NOT NULL)"_s,
                          u"INSERT OR IGNORE INTO totals VALUES (1, 0)"_s,
                          u"CREATE TABLE IF NOT EXISTS facts(name TEXT PRIMARY KEY, value)"_s,
                          u"PRAGMA user_version=1"_s})
                        run(sql);
                });
            }
            return true;
        } catch (const SqlFailure &failure) {
            if (attempt == 0 && isDamage(failure.error)) {
                setAside(failure.error);
                continue;
            }
            note(u"The page cache is off: \"%1\" cannot be used (%2)."_s.arg(m_file, failure.error.text()));
            return false;
        }
    }
    return false;
}

// Renames a damaged file aside, with its log, and opens a new one in its place.
void PageCache::Store::setAside(const QSqlError &error)
{
    m_queries.clear();
    QSqlDatabase::database(m_connection, false).close();
    const QString stem =
        m_file + u".damaged-"_s + QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_s);
    QString aside = stem;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = stem + u'~' + QString::number(n);
    const bool moved = QFile::rename(m_file, aside);
    ++m_generation;
    if (moved)
        QFile::rename(m_file + u"-wal"_s, aside + u"-wal"_s);
    QFile::remove(m_file + u"-shm"_s);
    const QString reason = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    note(
        moved
            ? u"The page cache \"%1\" is damaged (%2): it is kept aside as \"%3\" and a new one is started."_s
                  .arg(m_file, reason, aside)
            : u"The page cache \"%1\" is damaged (%2) and cannot be moved aside."_s.arg(m_file, reason));
    if (!moved)
        return;
    QFile made(m_file);
    if (made.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        made.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QSqlDatabase::database(m_connection, false).open();
}

// After a failed write or read: a damaged file goes aside and a new one takes its place.
void PageCache::Store::recover(const QSqlError &error)
{
    if (!isDamage(error))
        return;
    setAside(error);
    m_usable = setUp();
}

// Pages dropped leave free pages in the file; they go back to the file system.
void PageCache::Store::vacuumIfEvicted()
{
    if (!m_evicted)
        return;
    m_evicted = false;
    QSqlQuery vacuum(QSqlDatabase::database(m_connection, false));
    vacuum.exec(u"PRAGMA incremental_vacuum"_s);
    while (vacuum.next()) {
    }
}

void PageCache::Store::importFolder()
{
    const QString folder = QFileInfo(m_file).absolutePath() + u"/pages"_s;
    try {
        QSqlQuery &done = exec(u"SELECT value FROM facts WHERE name = 'folder taken over'"_s);
        const bool takenOver = done.next();
        done.finish();
        if (takenOver)
            return;
        const QStringList files = QDir(folder).entryList({u"*.page"_s}, QDir::Files);
        qint64 pages = 0;
        for (qsizetype first = 0; first < files.size(); first += ImportBatch) {
            transaction([&] {
                for (const QString &name : files.mid(first, ImportBatch)) {
                    const std::optional<FolderEntry> entry = readFolderEntry(folder + u'/' + name);
                    if (!entry)
                        continue;
                    if (entry->redirect) {
                        exec(u"INSERT OR IGNORE INTO redirects VALUES (?, ?, ?, '', '')"_s,
                             {entry->key, entry->target, entry->fetchedMs});
                        continue;
                    }
                    const qint64 bytes = entry->body.size() + entry->key.size() * 2;
                    QSqlQuery &added = exec(
                        u"INSERT OR IGNORE INTO pages(address, status, content_type, fetched, site, journal, "
                        u"bytes, reader) VALUES (?, 200, ?, ?, '', '', ?, 0)"_s,
                        {entry->key, entry->contentType, entry->fetchedMs, bytes});
                    if (added.numRowsAffected() != 1)
                        continue; // the database has it already
                    const qint64 page = added.lastInsertId().toLongLong();
                    writeParts(page, Body, entry->body);
                    exec(u"UPDATE totals SET bytes = bytes + ?"_s, {bytes});
                    ++pages;
                }
            });
        }
        transaction([&] {
            evictOver(0);
            exec(u"INSERT OR REPLACE INTO facts VALUES ('folder taken over', ?)"_s,
                 {QDateTime::currentMSecsSinceEpoch()});
        });
        if (pages > 0)
            note(u"%1 pages of the page cache folder \"%2\" were taken over; the folder is left as it was."_s
                     .arg(QString::number(pages), folder));
    } catch (const SqlFailure &failure) {
        note(u"The page cache folder \"%1\" could not be taken over (%2); it is tried again next time."_s.arg(
            folder, failure.error.text()));
    }
}

void PageCache::Store::writeParts(qint64 page, Part part, const QByteArray &bytes)
{
    const QList<QByteArray> pieces = piecesOf(bytes);
    for (qsizetype piece = 0; piece < pieces.size(); ++piece)
        exec(u"INSERT INTO parts VALUES (?, ?, ?, ?)"_s, {page, int(part), piece, pieces.at(piece)});
}

void PageCache::Store::writeParts(qint64 page, Part part, const QString &text)
{
    const QList<QString> pieces = piecesOf(text);
    for (qsizetype piece = 0; piece < pieces.size(); ++piece)
        exec(u"INSERT INTO parts VALUES (?, ?, ?, ?)"_s, {page, int(part), piece, pieces.at(piece)});
}

// Drops the pages read longest ago until the content is within maxBytes; keep is a page that stays.
void PageCache::Store::evictOver(qint64 keep)
{
    QSqlQuery &counted = exec(u"SELECT bytes FROM totals"_s);
    qint64 total = counted.next() ? counted.value(0).toLongLong() : 0;
    counted.finish();
    const qint64 limit = m_maxBytes;
    while (total > limit) {
        QSqlQuery &oldest =
            exec(u"SELECT id, bytes FROM pages WHERE id != ? ORDER BY fetched, id LIMIT 64"_s, {keep});
        QList<std::pair<qint64, qint64>> doomed;
        qint64 left = total;
        while (left > limit && oldest.next()) {
            doomed.append({oldest.value(0).toLongLong(), oldest.value(1).toLongLong()});
            left -= doomed.last().second;
        }
        oldest.finish();
        if (doomed.isEmpty())
            break;
        for (const auto &[id, bytes] : std::as_const(doomed))
            exec(u"DELETE FROM pages WHERE id = ?"_s, {id});
        total = left;
        m_evicted = true;
    }
    exec(u"UPDATE totals SET bytes = ?"_s, {std::max<qint64>(total, 0)});
}

qint64 PageCache::Store::partsBytes(const HtmlDocument *document, const QByteArray &htmlUtf8,
                                    const QByteArray &facts, const QByteArray &body) const
{
    const qint64 text = document ? document->bodyInnerText.size() * 2 : 0;
    return text + htmlUtf8.size() + facts.size() + body.size();
}

void PageCache::Store::storePage(const QString &key, const Page &page, const Owner &owner, quint32 reader)
{
    if (!m_usable)
        return;
    const HtmlDocument *document = page.document ? &*page.document : nullptr;
    const QByteArray html = document ? document->htmlUtf8 : QByteArray();
    const QByteArray facts = document ? documentFacts(*document) : QByteArray();
    const qint64 bytes = partsBytes(document, html, facts, page.body) + key.size() * 2;
    if (bytes > m_maxBytes)
        return; // would push out everything else and still not fit
    try {
        transaction([&] {
            exec(u"DELETE FROM redirects WHERE address = ?"_s, {key});
            QSqlQuery &previous = exec(u"SELECT id, bytes FROM pages WHERE address = ?"_s, {key});
            qint64 freed = 0;
            if (previous.next()) {
                const qint64 id = previous.value(0).toLongLong();
                freed = previous.value(1).toLongLong();
                previous.finish();
                exec(u"DELETE FROM pages WHERE id = ?"_s, {id});
            }
            previous.finish();
            QSqlQuery &added =
                exec(u"INSERT INTO pages(address, status, content_type, fetched, site, journal, "
                     u"bytes, reader) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"_s,
                     {key, page.status, page.contentType, msOf(page.fetched), text(owner.site),
                      text(owner.journal), bytes, document ? reader : 0u});
            const qint64 id = added.lastInsertId().toLongLong();
            if (document) {
                writeParts(id, Facts, facts);
                writeParts(id, Text, document->bodyInnerText);
                writeParts(id, Html, html);
            }
            writeParts(id, Body, page.body);
            exec(u"UPDATE totals SET bytes = bytes + ?"_s, {bytes - freed});
            evictOver(id);
        });
    } catch (const SqlFailure &failure) {
        // The page was read all the same; only a damaged file is worth more than leaving it out.
        recover(failure.error);
    }
    vacuumIfEvicted();
}

void PageCache::Store::storeRedirect(const QString &from, const QString &to, const Owner &owner)
{
    if (!m_usable)
        return;
    try {
        transaction([&] {
            QSqlQuery &previous = exec(u"SELECT id, bytes FROM pages WHERE address = ?"_s, {from});
            if (previous.next()) {
                const qint64 id = previous.value(0).toLongLong();
                const qint64 bytes = previous.value(1).toLongLong();
                previous.finish();
                exec(u"DELETE FROM pages WHERE id = ?"_s, {id});
                exec(u"UPDATE totals SET bytes = bytes - ?"_s, {bytes});
            }
            previous.finish();
            exec(u"INSERT OR REPLACE INTO redirects VALUES (?, ?, ?, ?, ?)"_s,
                 {from, to, QDateTime::currentMSecsSinceEpoch(), text(owner.site), text(owner.journal)});
        });
    } catch (const SqlFailure &failure) {
        recover(failure.error);
    }
}

void PageCache::Store::storeDocument(const QString &key, const HtmlDocument &document, const Owner &owner,
                                     quint32 reader)
{
    if (!m_usable)
        return;
    const QByteArray &html = document.htmlUtf8;
    const QByteArray facts = documentFacts(document);
    try {
        transaction([&] {
            QSqlQuery &stored =
                exec(u"SELECT id, bytes, site, journal FROM pages WHERE address = ?"_s, {key});
            if (!stored.next())
                return;
            const qint64 id = stored.value(0).toLongLong();
            const qint64 before = stored.value(1).toLongLong();
            const bool owned = !stored.value(3).toString().isEmpty();
            const QString site = owned ? stored.value(2).toString() : text(owner.site);
            const QString journal = owned ? stored.value(3).toString() : text(owner.journal);
            stored.finish();
            exec(u"DELETE FROM parts WHERE page = ? AND kind < ?"_s, {id, int(Body)});
            QSqlQuery &body = exec(u"SELECT total(length(data)) FROM parts WHERE page = ?"_s, {id});
            const qint64 bodyBytes = body.next() ? body.value(0).toLongLong() : 0;
            body.finish();
            const qint64 bytes = partsBytes(&document, html, facts, {}) + bodyBytes + key.size() * 2;
            writeParts(id, Facts, facts);
            writeParts(id, Text, document.bodyInnerText);
            writeParts(id, Html, html);
            exec(u"UPDATE pages SET reader = ?, bytes = ?, site = ?, journal = ? WHERE id = ?"_s,
                 {reader, bytes, site, journal, id});
            exec(u"UPDATE totals SET bytes = bytes + ?"_s, {bytes - before});
            evictOver(id);
        });
    } catch (const SqlFailure &failure) {
        recover(failure.error);
    }
    vacuumIfEvicted();
}

PageCache::Found PageCache::Store::lookup(const QString &address, quint32 reader, bool withHtml)
{
    Found found;
    if (!m_usable)
        return found;
    try {
        found = find(address, reader, withHtml, 0, nullptr);
    } catch (const SqlFailure &failure) {
        found = {};
        if (isDamage(failure.error)) {
            recover(failure.error);
            found.problem = notes().constLast();
        } else if (isBusy(failure.error)) {
            found.problem =
                u"the page cache is held by another program for more than %1 s"_s.arg(BusyTimeoutMs / 1000);
        } else {
            found.problem = u"the page cache cannot be read ("_s + failure.error.text() + u')';
        }
    }
    return found;
}

QList<PageCache::JournalSummary> PageCache::Store::journals()
{
    QList<JournalSummary> summaries;
    if (!m_usable)
        return summaries;
    try {
        QSqlQuery &rows = exec(u"SELECT site, journal, count(*), total(bytes), max(fetched) FROM pages "
                               u"GROUP BY journal, site ORDER BY journal, site"_s);
        while (rows.next())
            summaries.append({{rows.value(0).toString(), rows.value(1).toString()},
                              rows.value(2).toLongLong(),
                              rows.value(3).toLongLong(),
                              timeOf(rows.value(4).toLongLong())});
        rows.finish();
    } catch (const SqlFailure &) {
    }
    return summaries;
}

QList<PageCache::StoredPage> PageCache::Store::pagesOf(const Owner &owner)
{
    QList<StoredPage> pages;
    if (!m_usable)
        return pages;
    try {
        QSqlQuery &rows =
            exec(u"SELECT address, fetched, bytes FROM pages WHERE journal = ? AND (site = ? OR "
                 u"? = '') ORDER BY address"_s,
                 {text(owner.journal), text(owner.site), text(owner.site)});
        while (rows.next())
            pages.append({rows.value(0).toString(),
                          timeOf(rows.value(1).toLongLong()),
                          rows.value(2).toLongLong(),
                          {}});
        rows.finish();
        QSqlQuery &redirects =
            exec(u"SELECT address, fetched, target FROM redirects WHERE journal = ? AND (site = ? "
                 u"OR ? = '') ORDER BY address"_s,
                 {text(owner.journal), text(owner.site), text(owner.site)});
        while (redirects.next())
            pages.append({redirects.value(0).toString(), timeOf(redirects.value(1).toLongLong()), 0,
                          redirects.value(2).toString()});
        redirects.finish();
    } catch (const SqlFailure &) {
    }
    return pages;
}

qint64 PageCache::Store::forget(const Owner &owner)
{
    if (!m_usable)
        return 0;
    qint64 pages = 0;
    try {
        transaction([&] {
            const QVariantList whose = {text(owner.journal), text(owner.site), text(owner.site)};
            QSqlQuery &counted =
                exec(u"SELECT count(*), total(bytes) FROM pages WHERE journal = ? AND (site = ? "
                     u"OR ? = '')"_s,
                     whose);
            counted.next();
            pages = counted.value(0).toLongLong();
            const qint64 bytes = counted.value(1).toLongLong();
            counted.finish();
            exec(u"DELETE FROM pages WHERE journal = ? AND (site = ? OR ? = '')"_s, whose);
            exec(u"DELETE FROM redirects WHERE journal = ? AND (site = ? OR ? = '')"_s, whose);
            exec(u"UPDATE totals SET bytes = max(bytes - ?, 0)"_s, {bytes});
        });
        m_evicted = true;
    } catch (const SqlFailure &failure) {
        recover(failure.error);
        return -1;
    }
    vacuumIfEvicted();
    return pages;
}

qint64 PageCache::Store::storedBytes()
{
    if (!m_usable)
        return 0;
    try {
        QSqlQuery &counted = exec(u"SELECT bytes FROM totals"_s);
        const qint64 bytes = counted.next() ? counted.value(0).toLongLong() : 0;
        counted.finish();
        return bytes;
    } catch (const SqlFailure &) {
        return 0;
    }
}

std::shared_ptr<PageCache> PageCache::open(const QString &file, qint64 maxBytes)
{
    static QMutex mutex;
    static std::map<QString, std::weak_ptr<PageCache>> opened;
    const QString path = QFileInfo(file).absoluteFilePath();
    QMutexLocker lock(&mutex);
    if (std::shared_ptr<PageCache> cache = opened[path].lock()) {
        cache->m_store->setMaxBytes(maxBytes);
        return cache;
    }
    std::shared_ptr<PageCache> cache(new PageCache(path, maxBytes));
    opened[path] = cache;
    return cache;
}

PageCache::Reader::Reader(PageCache &cache)
    : m_cache(cache)
{}

PageCache::Reader::~Reader()
{
    if (m_connection)
        m_connection->close();
}

std::optional<PageCache::Found> PageCache::Reader::lookup(const QString &address, quint32 reader,
                                                          bool withHtml, qint64 sizeLimit)
{
    const Store &store = *m_cache.m_store;
    // A write still to be done may be of this very page; and a file set aside is not read any more.
    if (!store.usable() || store.writesPending())
        return std::nullopt;
    if (m_connection && m_generation != store.generation()) {
        m_connection->close();
        m_connection.reset();
    }
    if (!m_connection) {
        auto connection = std::make_unique<Connection>();
        m_generation = store.generation();
        // Never kept waiting long on the browser's thread: the cache's own thread can wait.
        if (QString failure; !connection->open(store.file(), failure, ReaderBusyTimeoutMs)) {
            connection->close();
            return std::nullopt;
        }
        m_connection = std::move(connection);
    }
    try {
        bool tooLarge = false;
        Found found = m_connection->find(address, reader, withHtml, sizeLimit, &tooLarge);
        m_connection->finishAll();
        if (tooLarge || (found.page && !found.page->document))
            return std::nullopt;
        return found;
    } catch (const SqlFailure &) {
        m_connection->finishAll();
        return std::nullopt; // the cache's own thread tells what is wrong
    }
}

std::unique_ptr<PageCache::Reader> PageCache::reader()
{
    return std::unique_ptr<Reader>(new Reader(*this));
}

PageCache::PageCache(QString file, qint64 maxBytes)
    : m_file(std::move(file))
    , m_store(std::make_unique<Store>(m_file, maxBytes))
{}

PageCache::~PageCache() = default;

QStringList PageCache::notes() const
{
    m_store->ask<bool>([] { return true; }); // the file is opened first of all
    return m_store->notes();
}

void PageCache::storePage(const QString &address, const Page &page, const Owner &owner, quint32 reader)
{
    Store *store = m_store.get();
    const qint64 bytes = page.body.size() + (page.document ? heldBytes(*page.document) : 0);
    store->write([store, key = cacheKeyOf(address), page, owner,
                  reader] { store->storePage(key, page, owner, reader); },
                 bytes);
}

void PageCache::storeRedirect(const QString &from, const QString &to, const Owner &owner)
{
    Store *store = m_store.get();
    store->write([store, from = cacheKeyOf(from), to, owner] { store->storeRedirect(from, to, owner); });
}

void PageCache::storeDocument(const QString &address, const HtmlDocument &document, const Owner &owner,
                              quint32 reader)
{
    Store *store = m_store.get();
    store->write([store, key = cacheKeyOf(address), document, owner,
                  reader] { store->storeDocument(key, document, owner, reader); },
                 heldBytes(document));
}

PageCache::Found PageCache::lookup(const QString &address, quint32 reader, bool withHtml)
{
    Store *store = m_store.get();
    return store->ask<Found>(
        [store, &address, reader, withHtml] { return store->lookup(address, reader, withHtml); });
}

void PageCache::find(const QString &address, quint32 reader, bool withHtml, std::function<void(Found)> then)
{
    Store *store = m_store.get();
    store->post([store, address, reader, withHtml, then = std::move(then)] {
        then(store->lookup(address, reader, withHtml));
    });
}

QList<PageCache::JournalSummary> PageCache::journals()
{
    Store *store = m_store.get();
    return store->ask<QList<JournalSummary>>([store] { return store->journals(); });
}

QList<PageCache::StoredPage> PageCache::pagesOf(const Owner &owner)
{
    Store *store = m_store.get();
    return store->ask<QList<StoredPage>>([store, &owner] { return store->pagesOf(owner); });
}

qint64 PageCache::forget(const Owner &owner)
{
    Store *store = m_store.get();
    return store->ask<qint64>([store, &owner] { return store->forget(owner); });
}

qint64 PageCache::storedBytes()
{
    Store *store = m_store.get();
    return store->ask<qint64>([store] { return store->storedBytes(); });
}

void PageCache::flush()
{
    m_store->ask<bool>([] { return true; });
}

} // namespace diarytrawl::web
