#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>
#include <QTime>

#include <memory>
#include <utility>

namespace diarytrawl::test {

// One journal entry as the test server shows it.
struct JournalEntry {
    QString user; // the journal's user name, e.g. "inkwell" or "ink_well"
    int year = 0;
    int month = 0;
    int day = 0;
    int id = 0;       // the entry's number: "/~user/<id>.html"
    QString subject;  // plain text
    QString htmlText; // the entry's text, as HTML
    QTime time = QTime(12, 0);
};

// One request the server received.
struct RequestRecord {
    QString host;   // the Host header as sent
    QString target; // path and query as requested, e.g. "/~inkwell/123.html?mode=reply"
    QByteArray userAgent;
};

// An HTTP server on 127.0.0.1 (an ephemeral port) on threads of its own from the constructor to the
// destructor, which stops it even while slow or endless answers are in flight. Every member is safe to
// call from any thread. It serves the journals the test adds, in LiveJournal-family page shapes:
//   /~user/YYYY/MM/  month page: site links (".bml" pages, "/~user/friends", "/doc/tour/"), the calendar (the
//                    year, the other months, the days with entries), then per entry in day and id order
//                    "http://HOST/~user/ID.html" (HOST: the Host sent), the same with "?mode=reply" and with
//                    "#comments", an entry of another user ("/~user_pal/ID.html"); then footer site links.
//   /~user/ID.html   the entry (with any query): subject, text and "@ YYYY-MM-DD HH:MM:SS"
// A Host "user-name.livejournal.com" (the user name with '_' written '-') gets that journal in today's
// shape: "/YYYY/MM/" and "/ID.html", with links "https://user-name.livejournal.com/...". With
// setLiveJournalRedirect(true) the month pages above answer 301 with their address of today.
// Then the misbehaving addresses below; anything else answers 404 with a small HTML body.
class JournalServer {
public:
    // 200 text/html in pieces: ?pieces=N (default 10) every ?ms=M milliseconds (default 20).
    static constexpr QStringView SlowDripPath = u"/misbehave/slow-drip";
    // 200 text/html, chunked, that never ends: pieces of 64 KB as fast as the client reads them (or one
    // every ?ms=M milliseconds) until the client leaves or the server stops.
    static constexpr QStringView EndlessPath = u"/misbehave/endless";
    // "/misbehave/redirect-chain/N": 302 to ".../N-1"; ".../0" is a 200 page saying "End of the chain".
    static constexpr QStringView RedirectChainPath = u"/misbehave/redirect-chain/";
    // 302 to ".../b", which answers 302 to ".../a"; and 302 to "file:///etc/passwd".
    static constexpr QStringView RedirectLoopPath = u"/misbehave/redirect-loop/a";
    static constexpr QStringView RedirectToFilePath = u"/misbehave/redirect-to-file";
    // 404 with an HTML body that says so.
    static constexpr QStringView NotFoundPath = u"/misbehave/not-found";
    // Content-Length 100000, then 1000 bytes and the connection closed.
    static constexpr QStringView CutShortPath = u"/misbehave/cut-short";
    // A 20 MB HTML page: HugePageBytes bytes, ending with a link to "/huge-end.html" and HugePageEnd.
    static constexpr QStringView HugePath = u"/misbehave/huge";
    static constexpr qint64 HugePageBytes = qint64(20) * 1024 * 1024;
    static constexpr QStringView HugePageEnd = u"End of the huge page";
    // CyrillicText in windows-1251 declared only by a meta tag, and in UTF-8 only by the Content-Type.
    static constexpr QStringView Cp1251MetaPath = u"/misbehave/cp1251-meta";
    static constexpr QStringView Utf8HeaderPath = u"/misbehave/utf8-header";
    static constexpr QStringView CyrillicText = u"Привет, журнал";
    // A 33-byte PNG picture.
    static constexpr QStringView ImagePath = u"/misbehave/image";

    JournalServer();
    ~JournalServer();
    JournalServer(const JournalServer &) = delete;
    JournalServer &operator=(const JournalServer &) = delete;

    QString host() const { return QStringLiteral("127.0.0.1:") + QString::number(m_port); }
    QString origin() const { return QStringLiteral("http://") + host(); }
    QString url(QStringView path) const { return origin() + path; }

    void addEntry(const JournalEntry &entry);
    void setLiveJournalRedirect(bool enabled);

    // Answers every request for path (without query) so, before any other rule.
    void setPage(const QString &path, int status, const QByteArray &contentType, const QByteArray &body,
                 const QList<std::pair<QByteArray, QByteArray>> &extraHeaders = {});
    // Requests for path get no answer at all until the client goes away or the server stops.
    void setHang(const QString &path, bool hang = true);

    // Answers being worked on or sent now: a hanging or endless answer counts until the client
    // has gone or the answer is complete. A test waits for 0 to see that a client gave up a request.
    int answersInFlight() const;

    QList<RequestRecord> requests() const;
    // How many requests had this target (path and query).
    int requestCount(const QString &target) const;
    void clearRequests();

    struct State;

private:
    std::unique_ptr<State> m_state;
    quint16 m_port = 0;
};

} // namespace diarytrawl::test
