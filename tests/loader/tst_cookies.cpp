// SPDX-License-Identifier: GPL-3.0-or-later
#include "loader/CookieJar.h"
#include "loader/LoginCookies.h"
#include "platform/PlatformError.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace diarytrawl;
using namespace diarytrawl::web;
using namespace Qt::StringLiterals;

static const QString Profile = u"HOME/.mozilla/firefox/Profiles/abc.default-release"_s;

// Every cookie value here holds "Secret", which no note and no message may repeat.
class TestCookies : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void sources_data();
    void sources();
    void scoping_data();
    void scoping();

private:
    // Each cookie's raw form, then the notes; or "error:" and the message. The temporary folder as "HOME".
    QStringList outcomeOf(const QString &source) const;

    QTemporaryDir m_home;
    QSqlDatabase m_browser; // holds the database open, as a running browser does
};

void TestCookies::initTestCase()
{
    qputenv("HOME", QFile::encodeName(m_home.path()));
    const QString database = QString(Profile).replace(u"HOME"_s, m_home.path()) + u"/cookies.sqlite"_s;
    QVERIFY(QDir().mkpath(QFileInfo(database).path()));
    m_browser = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"browser"_s);
    m_browser.setDatabaseName(database);
    QVERIFY(m_browser.open());
    QSqlQuery query(m_browser);
    // What follows stays in the write-ahead log: only a reader that copies the log sees the cookies.
    for (const QString &statement :
         {u"PRAGMA journal_mode=WAL"_s, u"PRAGMA wal_autocheckpoint=0"_s,
          u"CREATE TABLE moz_cookies (name TEXT, value TEXT, host TEXT, path TEXT, expiry INTEGER, "
          u"isSecure INTEGER, isHttpOnly INTEGER)"_s,
          u"INSERT INTO moz_cookies VALUES ('ljmastersession', 'v-Secret', '.lj.example', '/', "
          u"4102444800, 1, 1), ('ljuniq', 'u-Secret', 'nick.lj.example', '/2005', 4102444800000, 0, 0), "
          u"('old', 'o-Secret', 'lj.example', '/', 1000, 0, 0), "
          u"('bad', 'b;Secret', 'lj.example', '/', 0, 0, 0)"_s})
        QVERIFY2(query.exec(statement), qPrintable(query.lastError().text()));
}

QStringList TestCookies::outcomeOf(const QString &source) const
{
    QStringList lines;
    try {
        const CookieImport import = readLoginCookies(QString(source).replace(u"HOME"_s, m_home.path()));
        for (const QNetworkCookie &cookie : import.cookies)
            lines.append(QString::fromUtf8(cookie.toRawForm()));
        lines += import.notes.filter(u"Secret"_s).isEmpty() ? import.notes : QStringList{u"A VALUE LEAKED"_s};
    } catch (const PlatformError &error) {
        lines = {u"error:"_s,
                 error.description().contains(u"Secret"_s) ? u"A VALUE LEAKED"_s : error.description()};
    }
    return lines.replaceInStrings(m_home.path(), u"HOME"_s);
}

void TestCookies::sources_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QByteArray>("file");      // the source's contents, or for "firefox" profiles.ini
    QTest::addColumn<QStringList>("expected"); // outcomeOf; of the message, a part

    const QString read = u"login cookies: %1 read from HOME/cookies.txt"_s;
    QTest::newRow("host-only; leading dot, Secure, expiry; TRUE, #HttpOnly_, CRLF")
        << u"HOME/cookies.txt"_s
        << QByteArray("nick.lj.example\tFALSE\t/\tFALSE\t0\tljsession\tv1-Secret\n"
                      ".lj.example\tFALSE\t/2005/\tTRUE\t4102444800\tljmastersession\tv2-Secret\n"
                      "#HttpOnly_LJ.Example\tTRUE\t/\tfalse\t0\tljloggedin\tv3-Secret\r\n")
        << QStringList{u"ljsession=v1-Secret; domain=nick.lj.example; path=/"_s,
                       u"ljmastersession=v2-Secret; secure; expires=Fri, 01-Jan-2100 00:00:00 GMT; "
                       u"domain=.lj.example; path=/2005/"_s,
                       u"ljloggedin=v3-Secret; HttpOnly; domain=.lj.example; path=/"_s, read.arg(3)};
    QTest::newRow("comments, blank lines and bad lines by number")
        << u"HOME/cookies.txt"_s
        << QByteArray("# Netscape HTTP Cookie File\n\n  \t\nlj.example\tMAYBE\t/\tFALSE\t0\tn\tSecret\n"
                      "lj.example\tFALSE\t/\tFALSE\tsoon\tn\tSecret\n"
                      "lj.example\tFALSE\tx/\tFALSE\t0\tn\tSecret\n"
                      ".\tFALSE\t/\tFALSE\t0\tn\tSecret\n")
        << QStringList{
               u"cookies.txt line 4 skipped: the second or the fourth field is neither TRUE nor FALSE"_s,
               u"cookies.txt line 5 skipped: the fifth field (the expiry) is not a whole number"_s,
               u"cookies.txt line 6 skipped: the path does not start with '/'"_s,
               u"cookies.txt line 7 skipped: no domain"_s, read.arg(0)};
    QStringList many;
    for (int line = 1; line <= 20; ++line)
        many.append(u"cookies.txt line %1 skipped: not seven fields"_s.arg(line));
    QTest::newRow("past twenty bad lines, a count")
        << u"HOME/cookies.txt"_s << QByteArray("Secret\n").repeated(25)
        << many + QStringList{u"cookies.txt: 5 more lines skipped"_s, read.arg(0)};

    // The profile's database, as initTestCase made it.
    const QStringList firefox = {
        u"ljmastersession=v-Secret; secure; HttpOnly; expires=Fri, 01-Jan-2100 00:00:00 GMT; "
        u"domain=.lj.example; path=/"_s,
        u"ljuniq=u-Secret; expires=Fri, 01-Jan-2100 00:00:00 GMT; domain=nick.lj.example; path=/2005"_s,
        u"cookies.sqlite row 4 skipped: the name or the value holds a character"_s,
        u"login cookies: 2 read from "_s + Profile + u"/cookies.sqlite (1 expired, left out)"_s};
    QTest::newRow("profile folder") << u"firefox:"_s + Profile << QByteArray() << firefox;
    QTest::newRow("cookies.sqlite") << Profile + u"/cookies.sqlite"_s << QByteArray() << firefox;
    QTest::newRow("default profile: the Install section's")
        << u"firefox"_s
        << QByteArray("[Profile0]\nName=other\nIsRelative=1\nPath=Profiles/other\nDefault=1\n\n"
                      "[Install4F96D1932A9F858E]\nDefault=Profiles/abc.default-release\nLocked=1\n")
        << firefox;
    QTest::newRow("default profile: Default=1, absolute")
        << u"firefox"_s
        << QByteArray("[Profile1]\nIsRelative=0\nPath=") + Profile.toUtf8() +
               "\nDefault=1\n[Profile0]\nIsRelative=1\nPath=Profiles/other\n"
        << firefox;
    QTest::newRow("no default profile")
        << u"firefox"_s << QByteArray("[Profile0]\nPath=a\n[Profile1]\nPath=b\n")
        << QStringList{u"error:"_s, u"\"HOME/.mozilla/firefox/profiles.ini\" names no default profile"_s};
    QTest::newRow("no profiles.ini") << u"firefox"_s << QByteArray()
                                     << QStringList{u"error:"_s,
                                                    u"there is no \"HOME/.mozilla/firefox/profiles.ini\""_s};
    QTest::newRow("missing file") << u"HOME/exported.txt"_s << QByteArray()
                                  << QStringList{u"error:"_s, u"\"HOME/exported.txt\" does not exist"_s};
    // A browser's name with a profile after it is no path, though it holds a '/'.
    QTest::newRow("Chrome with a profile") << u"Chrome:HOME/.config/google-chrome/Default"_s << QByteArray()
                                           << QStringList{u"error:"_s, u"encrypt"_s};
}

void TestCookies::sources()
{
    QFETCH(QString, source);
    QFETCH(QByteArray, file);
    QFETCH(QStringList, expected);

    const QString ini = m_home.filePath(u".mozilla/firefox/profiles.ini"_s);
    QFile::remove(ini);
    QFile written(source == u"firefox"_s ? ini : QString(source).replace(u"HOME"_s, m_home.path()));
    file.replace("HOME", QFile::encodeName(m_home.path()));
    QVERIFY(file.isEmpty() || (written.open(QIODevice::WriteOnly) && written.write(file) == file.size()));
    written.close();
    const QStringList outcome = outcomeOf(source);
    QCOMPARE(outcome.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i)
        QVERIFY2(outcome[i].contains(expected[i]), qPrintable(outcome.join(u'\n')));
}

void TestCookies::scoping_data()
{
    QTest::addColumn<QByteArray>("cookies"); // Set-Cookie values, one a line
    QTest::addColumn<QString>("from");       // the address that answered with them; empty: imported
    QTest::addColumn<QString>("to");
    QTest::addColumn<QByteArray>("header");

    const QString nick = u"http://nick.lj.example/2005/03/"_s;
    // Cookies a site sets for its domain reach its other hosts in the network browser's tests.
    QTest::newRow("domain: not a name that ends alike")
        << QByteArray("a=1; Domain=lj.example") << nick << u"http://evillj.example/"_s << QByteArray();
    QTest::newRow("Domain of a public suffix refused")
        << QByteArray("a=1; Domain=co.uk") << u"http://nick.lj.co.uk/"_s << u"http://co.uk/"_s
        << QByteArray();
    QTest::newRow("Domain on an IP address refused")
        << QByteArray("a=1; Domain=.0.0.1") << u"http://127.0.0.1/"_s << u"http://10.0.0.1/"_s
        << QByteArray();
    QTest::newRow("no path: the folder of the address; longer paths first")
        << QByteArray("a=1\nb=2; Path=/2005/03/\nc=3; Path=/") << nick + u"x.html"_s << nick
        << QByteArray("b=2; a=1; c=3");
    QTest::newRow("Secure: not over http")
        << QByteArray("a=1; Secure") << u"https://nick.lj.example/"_s << nick << QByteArray();
    QTest::newRow("Secure set over http refused")
        << QByteArray("a=1; Secure; Path=/") << nick << u"https://nick.lj.example/"_s << QByteArray();
    QTest::newRow("past the size bound refused")
        << QByteArray("a=") + QByteArray(5000, 'x') << nick << nick << QByteArray();
    QByteArrayList many;
    for (int i = 0; i <= CookieJar::MaxCookiesFromSites; ++i)
        many.append("c" + QByteArray::number(i) + "=1");
    QTest::newRow("past the count bound refused")
        << many.join('\n') << nick << nick << many.mid(0, CookieJar::MaxCookiesFromSites).join("; ");
    QTest::newRow("imported host-only and domain cookies")
        << QByteArray("a=1; domain=nick.lj.example\nb=2; domain=.LJ.Example; secure; path=/2005") << QString()
        << u"https://x.nick.lj.example/2005/"_s << QByteArray("b=2");
}

void TestCookies::scoping()
{
    QFETCH(QByteArray, cookies);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QByteArray, header);

    CookieJar jar;
    const QList<QByteArray> values = cookies.split('\n');
    if (!from.isEmpty())
        jar.setFromResponse(values, *WebAddress::parse(from));
    for (const QByteArray &value : from.isEmpty() ? values : QList<QByteArray>())
        for (const QNetworkCookie &cookie : QNetworkCookie::parseCookies(value))
            jar.insert(cookie);
    QCOMPARE(jar.cookieHeaderFor(*WebAddress::parse(to)), header);
}

QTEST_GUILESS_MAIN(TestCookies)
#include "tst_cookies.moc"
