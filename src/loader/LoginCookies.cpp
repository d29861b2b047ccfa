// SPDX-License-Identifier: GPL-3.0-or-later
#include "LoginCookies.h"

#include "CookieJar.h"
#include "platform/PlatformError.h"
#include "platform/XdgPaths.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <optional>
#include <utility>

using namespace Qt::StringLiterals;

namespace diarytrawl::web {

namespace {

constexpr qint64 MaxSourceBytes = qint64(64) * 1024 * 1024;
constexpr qint64 MaxIniBytes = 1024 * 1024;
constexpr int MaxNotedLines = 20;
constexpr QByteArrayView SqliteHeader{"SQLite format 3\0", 16};
// 9999-12-31T23:59:59Z, the last expiry taken as written. Newer versions of Firefox write milliseconds,
// which all lie past it; the rare expiry beyond it in seconds is brought back to it.
constexpr qint64 LastSecond = 253402300799;

[[noreturn]] void fail(int number, const QString &message)
{
    throw PlatformError(number, message);
}

QString withHomeExpanded(const QString &path)
{
    if (path == u"~"_s || path.startsWith(u"~/"_s))
        return QDir::homePath() + path.mid(1);
    return path;
}

// What a source's lines and rows come to: the cookies, and notes that never repeat a name or a value.
class Collector {
public:
    Collector(const QString &path, const QString &unit)
        : m_file(QFileInfo(path).fileName())
        , m_unit(unit)
    {}

    // domain with a leading '.' is a domain cookie whatever domainCookie says; expiry 0: a session cookie.
    void add(qsizetype number, QString domain, bool domainCookie, const QString &path, bool secure,
             bool httpOnly, qint64 expiry, const QByteArray &name, const QByteArray &value)
    {
        domain = domain.trimmed().toLower();
        if (domain.startsWith(u'.')) {
            domainCookie = true;
            domain.remove(0, 1);
        }
        if (domain.isEmpty())
            return skip(number, u"no domain"_s);
        if (!path.startsWith(u'/'))
            return skip(number, u"the path does not start with '/'"_s);
        QNetworkCookie cookie(name, value);
        cookie.setDomain(domainCookie ? u'.' + domain : domain);
        cookie.setPath(path);
        cookie.setSecure(secure);
        cookie.setHttpOnly(httpOnly);
        if (expiry != 0)
            cookie.setExpirationDate(
                QDateTime::fromSecsSinceEpoch(std::clamp(expiry, qint64(1), LastSecond), Qt::UTC));
        if (name.isEmpty())
            return skip(number, u"no name"_s);
        if (!isSendable(cookie))
            return skip(number,
                        u"the name or the value holds a character that a Cookie header cannot carry"_s);
        if (!cookie.isSessionCookie() && cookie.expirationDate() < QDateTime::currentDateTimeUtc())
            ++m_expired;
        else
            m_import.cookies.append(cookie);
    }

    void skip(qsizetype number, const QString &problem)
    {
        if (++m_skipped <= MaxNotedLines)
            m_import.notes.append(
                u"%1 %2 %3 skipped: %4"_s.arg(m_file, m_unit, QString::number(number), problem));
    }

    CookieImport finish(const QString &source)
    {
        if (m_skipped > MaxNotedLines)
            m_import.notes.append(
                u"%1: %2 more %3s skipped"_s.arg(m_file, QString::number(m_skipped - MaxNotedLines), m_unit));
        QString summary =
            u"login cookies: %1 read from %2"_s.arg(QString::number(m_import.cookies.size()), source);
        if (m_expired > 0)
            summary += u" ("_s + QString::number(m_expired) + u" expired, left out)"_s;
        m_import.notes.append(summary);
        return std::move(m_import);
    }

private:
    QString m_file;
    QString m_unit; // "line", "row"
    CookieImport m_import;
    qsizetype m_skipped = 0;
    qsizetype m_expired = 0;
};

xdg::FileRead readSource(const QString &path, const QString &what)
{
    xdg::FileRead read = xdg::readRegularFile(path, MaxSourceBytes);
    if (read.status == xdg::FileRead::Status::Missing)
        fail(ErrorNumber::FileNotFound, u"The %1 \"%2\" does not exist."_s.arg(what, path));
    if (read.status == xdg::FileRead::Status::Refused)
        fail(ErrorNumber::LoginCookiesUnreadable,
             u"Cannot read the %1 \"%2\": %3."_s.arg(what, path, read.reason));
    return read;
}

std::optional<bool> trueOrFalse(QByteArrayView field)
{
    if (field.compare("TRUE", Qt::CaseInsensitive) == 0)
        return true;
    if (field.compare("FALSE", Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

CookieImport parseCookiesTxt(QByteArrayView text, const QString &path)
{
    Collector collector(path, u"line"_s);
    qsizetype number = 0;
    for (qsizetype start = 0; start < text.size(); ++number) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        QByteArrayView line = text.sliced(start, end - start);
        start = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        constexpr QByteArrayView HttpOnlyMark = "#HttpOnly_";
        const bool httpOnly = line.startsWith(HttpOnlyMark);
        if (httpOnly)
            line = line.sliced(HttpOnlyMark.size());
        else if (line.trimmed().isEmpty() || line.startsWith('#'))
            continue;

        const QList<QByteArray> fields = line.toByteArray().split('\t');
        if (fields.size() != 7) {
            collector.skip(number + 1, u"not seven fields"_s);
            continue;
        }
        const std::optional<bool> subdomains = trueOrFalse(fields[1]);
        const std::optional<bool> secure = trueOrFalse(fields[3]);
        bool isNumber = false;
        const qint64 expiry = fields[4].trimmed().toLongLong(&isNumber);
        if (!subdomains || !secure)
            collector.skip(number + 1, u"the second or the fourth field is neither TRUE nor FALSE"_s);
        else if (!isNumber)
            collector.skip(number + 1, u"the fifth field (the expiry) is not a whole number"_s);
        else
            collector.add(number + 1, QString::fromUtf8(fields[0]), *subdomains, QString::fromUtf8(fields[2]),
                          *secure, httpOnly, expiry, fields[5], fields[6]);
    }
    return collector.finish(path);
}

// Removes the connection when it goes, after the QSqlDatabase handles on it, which live in a scope
// within its own.
struct SqlConnection {
    QString name;
    ~SqlConnection() { QSqlDatabase::removeDatabase(name); }
};

CookieImport readCookieDatabase(const QByteArray &bytes, const QString &path)
{
    const auto unreadable = [&](const QString &reason) {
        fail(ErrorNumber::LoginCookiesUnreadable,
             u"Cannot read the Firefox cookies in \"%1\": %2."_s.arg(path, reason));
    };
    if (!QSqlDatabase::isDriverAvailable(u"QSQLITE"_s))
        unreadable(u"the SQLite driver of Qt SQL is not installed (Debian package libqt6sql6-sqlite)"_s);
    // A copy stands still while it is read, and the browser's lock does not apply to it. Its write-ahead
    // log holds what the browser wrote lately, which the copy takes in when it is opened.
    const QTemporaryDir folder;
    const QString copy = folder.filePath(u"cookies.sqlite"_s);
    QString failure = folder.isValid() ? xdg::replaceFile(copy, {bytes}) : folder.errorString();
    if (const xdg::FileRead log = xdg::readRegularFile(path + u"-wal"_s, MaxSourceBytes);
        failure.isEmpty() && log.status != xdg::FileRead::Status::Missing)
        failure = log.status == xdg::FileRead::Status::Read ? xdg::replaceFile(copy + u"-wal"_s, {log.bytes})
                                                            : u"its write-ahead log: "_s + log.reason;
    if (!failure.isEmpty())
        unreadable(u"cannot copy it: "_s + failure);

    static std::atomic<quint64> connections{0};
    const SqlConnection connection{u"diarytrawl-login-cookies-"_s + QString::number(++connections)};
    Collector collector(path, u"row"_s);
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(u"QSQLITE"_s, connection.name);
        database.setDatabaseName(copy);
        if (!database.open())
            failure = database.lastError().text();
        QSqlQuery query(database);
        query.setForwardOnly(true);
        if (failure.isEmpty() &&
            !query.exec(u"SELECT host, name, value, path, expiry, isSecure, isHttpOnly FROM moz_cookies"_s))
            failure = query.lastError().text();
        for (qsizetype row = 1; failure.isEmpty() && query.next(); ++row) {
            qint64 expiry = query.value(4).toLongLong();
            if (expiry > LastSecond)
                expiry /= 1000;
            collector.add(row, query.value(0).toString(), false, query.value(3).toString(),
                          query.value(5).toInt() != 0, query.value(6).toInt() != 0, expiry,
                          query.value(1).toString().toUtf8(), query.value(2).toString().toUtf8());
        }
    }
    if (!failure.isEmpty())
        unreadable(u"it is not a Firefox cookie database ("_s + failure + u')');
    return collector.finish(path);
}

CookieImport readCookieFile(const QString &path)
{
    const xdg::FileRead read = readSource(path, u"login cookie file"_s);
    if (read.bytes.startsWith(SqliteHeader))
        return readCookieDatabase(read.bytes, path);
    return parseCookiesTxt(read.bytes, path);
}

// profiles.ini: the profile that the first [Install...] section names as its Default, else the
// [Profile...] marked Default=1, else the only profile there is. Relative paths are taken against the
// ini's folder (Firefox marks them IsRelative=1; the Install sections always write them so).
QString defaultFirefoxProfile()
{
    const QString home = QDir::homePath();
    const QStringList roots = {home + u"/.mozilla/firefox"_s,
                               home + u"/snap/firefox/common/.mozilla/firefox"_s,
                               home + u"/.var/app/org.mozilla.firefox/.mozilla/firefox"_s};
    const auto root = std::find_if(roots.begin(), roots.end(), [](const QString &folder) {
        return QFileInfo::exists(folder + u"/profiles.ini"_s);
    });
    if (root == roots.end())
        fail(ErrorNumber::FileNotFound,
             u"No Firefox profile found: there is no \"%1/profiles.ini\". Give the profile folder as "
             u"\"firefox:PROFILE_FOLDER\"."_s.arg(roots.first()));
    const QString ini = *root + u"/profiles.ini"_s;
    const xdg::FileRead read = xdg::readRegularFile(ini, MaxIniBytes);
    if (read.status != xdg::FileRead::Status::Read)
        fail(ErrorNumber::LoginCookiesUnreadable, u"Cannot read \"%1\": %2."_s.arg(ini, read.reason));

    QList<std::pair<QString, QHash<QString, QString>>> sections;
    for (const QString &rawLine : QString::fromUtf8(read.bytes).split(u'\n')) {
        const QString line = rawLine.trimmed();
        const qsizetype equals = line.indexOf(u'=');
        if (line.startsWith(u'[') && line.endsWith(u']'))
            sections.append({line.mid(1, line.size() - 2), {}});
        else if (!sections.isEmpty() && equals > 0)
            sections.last().second.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    const auto profileSections = [&] {
        QList<QHash<QString, QString>> profiles;
        for (const auto &[name, keys] : std::as_const(sections)) {
            if (name.startsWith(u"Profile"_s))
                profiles.append(keys);
        }
        return profiles;
    }();
    const QDir folder(*root);
    for (const auto &[name, keys] : std::as_const(sections)) {
        if (name.startsWith(u"Install"_s) && !keys.value(u"Default"_s).isEmpty())
            return folder.filePath(keys.value(u"Default"_s));
    }
    for (const QHash<QString, QString> &keys : profileSections) {
        if (keys.value(u"Default"_s) == u"1"_s || profileSections.size() == 1) {
            const QString profile = keys.value(u"Path"_s);
            return keys.value(u"IsRelative"_s) == u"1"_s ? folder.filePath(profile) : profile;
        }
    }
    fail(ErrorNumber::LoginCookiesUnreadable,
         u"\"%1\" names no default profile. Give the profile folder as \"firefox:PROFILE_FOLDER\"."_s.arg(
             ini));
}

CookieImport readFirefox(const QString &profile)
{
    const QString folder = profile.isEmpty() ? defaultFirefoxProfile() : profile;
    if (!QFileInfo(folder).isDir())
        fail(ErrorNumber::FileNotFound, u"The Firefox profile folder \"%1\" does not exist."_s.arg(folder));
    const QString path = QDir(folder).filePath(u"cookies.sqlite"_s);
    const xdg::FileRead read = readSource(path, u"Firefox cookie database"_s);
    if (!read.bytes.startsWith(SqliteHeader))
        fail(ErrorNumber::LoginCookiesUnreadable,
             u"Cannot read the Firefox cookies in \"%1\": it is not an SQLite database."_s.arg(path));
    return readCookieDatabase(read.bytes, path);
}

[[noreturn]] void failForBrowser(const QString &name, const QString &source)
{
    static const QStringList Chromium = {u"chrome"_s, u"chromium"_s, u"google-chrome"_s,
                                         u"brave"_s,  u"edge"_s,     u"msedge"_s,
                                         u"opera"_s,  u"vivaldi"_s,  u"yandex"_s};
    if (Chromium.contains(name))
        fail(ErrorNumber::LoginCookiesUnreadable,
             u"The cookies of %1 cannot be read: Chrome, Chromium and the browsers built on them encrypt "
             u"their cookies with a key that the desktop's keyring keeps. Export the journal site's cookies "
             u"from the browser to a cookies.txt file with a cookie-export extension (one that writes the "
             u"Netscape format) and give that file instead, or use Firefox (\"firefox\")."_s.arg(name));
    fail(ErrorNumber::LoginCookiesUnreadable,
         u"\"%1\" names no file and no browser whose cookies this program reads. Give a cookies.txt file "
         u"(exported from the browser), a Firefox cookies.sqlite file, \"firefox\" for the default "
         u"Firefox profile or \"firefox:PROFILE_FOLDER\"."_s.arg(source));
}

} // namespace

CookieImport readLoginCookies(const QString &source)
{
    const QString given = source.trimmed();
    if (given.isEmpty())
        return {};
    const qsizetype colon = given.indexOf(u':');
    const QString browser = (colon < 0 ? given : given.left(colon)).toLower();
    if (browser == u"firefox"_s)
        return readFirefox(colon < 0 ? QString() : withHomeExpanded(given.mid(colon + 1).trimmed()));
    const QString path = withHomeExpanded(given);
    // "chrome", "chromium:Default": a name where a path would have a '/' or a '.'.
    static const QRegularExpression BrowserName(u"^[a-z][a-z0-9-]*$"_s);
    if (!QFileInfo::exists(path) && BrowserName.match(browser).hasMatch())
        failForBrowser(browser, given);
    return readCookieFile(path);
}

} // namespace diarytrawl::web
