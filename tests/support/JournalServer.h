// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>
#include <QTime>

#include <memory>
#include <utility>

namespace diarytrawl::test {

// What stands before adult content. LiveJournal's notice lets in a request with the cookie
// adult_explicit=1 or adult_concepts=1; its form posts "adult_check" to "/misc/adult_explicit.bml" on the
// site host, which answers 302 to the form's "ret" and sets adult_explicit=1. Dreamwidth's keeps consent
// on the server per ljuniq cookie: its form posts "ret" and the visitor's "lj_form_auth" token to
// "/journal/adult_concepts" on the site host, which answers 302 to "ret".
enum class AdultNotice { None, LiveJournal, DreamwidthConcepts };

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
    bool friendsOnly = false; // listed and shown only to requests with the session cookie (setSession)
    AdultNotice adult = AdultNotice::None;
};

// One request the server received.
struct RequestRecord {
    QByteArray method;
    QString host;   // the Host header as sent
    QString target; // path and query as requested, e.g. "/~inkwell/123.html?mode=reply"
    QByteArray userAgent;
    QByteArray cookie; // the Cookie header as sent
    QByteArray body;
    qint64 arrivedMs = 0; // when its first byte came, on a steady clock: only differences mean anything
};

// One preset answer to a request.
struct Answer {
    enum Shape {
        Normal,
        Hang,          // no answer until the client leaves
        Reset,         // the connection reset right after the request
        Stall,         // the status line and headers without a length, then nothing until the client leaves
        EndlessBody,   // the headers without a length, then the body over and over, a pause between
        EndlessHeader, // "HTTP/1.1 200 OK\r\nX-Filler: " and header bytes forever, a pause between pieces
        CutShort,      // a Content-Length 100000 more than the body, the body, then the connection closed
        Drip,          // the body in 10 pieces with a pause before each but the first
    };
    int status = 200;
    QByteArray contentType = "text/html; charset=utf-8"; // no header when empty
    QByteArray body = {}; // sent as given: compressed only when a test gives compressed bytes
    QList<std::pair<QByteArray, QByteArray>> headers = {};
    Shape shape = Normal;
    int pauseMs = 0; // Drip, EndlessBody, EndlessHeader: between pieces
};

// An HTTP/1.1 server on 127.0.0.1 (an ephemeral port) on threads of its own from the constructor to the
// destructor, which stops it even while slow or endless answers are in flight. Every member is safe to
// call from any thread. Every answer closes its connection.
//
// A request whose path (without query) has preset answers gets the next of them (setAnswers). Otherwise
// it goes to the journals the test adds, on the site domains "livejournal.com" and "journal.example":
//   Old shape, on the site host "www.DOMAIN" or any host outside those domains (e.g. 127.0.0.1:port):
//   /~user/YYYY/MM/  month page: site links (".bml" pages, "/~user/friends", "/doc/tour/"), the calendar (the
//                    year, the other months, the days with entries), then per entry in day and id order
//                    "http://HOST/~user/ID.html" (HOST: the Host sent), the same with "?mode=reply" and with
//                    "#comments", an entry of another user ("/~user_pal/ID.html"); any filler links
//                    (setExtraMonthLinks); then footer site links.
//   /~user/ID.html   the entry (with any query): subject, text and "@ YYYY-MM-DD HH:MM:SS"
//   Today's shape, on the journal's own host "user-name.DOMAIN" ('_' in the user name written '-'):
//   "/YYYY/MM/" and "/ID.html", with links "https://user-name.DOMAIN/...".
// Site links go to "https://www.DOMAIN" (outside the domains: "http://HOST"). Answers of the journals
// to a request without an ljuniq cookie set one (with "Domain=.DOMAIN" on the site domains). Anything
// else answers 404 with a small HTML body.
class JournalServer {
public:
    // Preset answers from the start; the query of a request is not looked at.
    // 200, the body in 10 pieces 15 ms apart: "Drop 1" to "Drop 8", then "End of the drip".
    static constexpr QStringView SlowDripPath = u"/misbehave/slow-drip";
    // 200 without a length that never ends: 1 MB every 5 ms.
    static constexpr QStringView EndlessPath = u"/misbehave/endless";
    // "/misbehave/redirect-chain/N" (N up to 30): 302 to ".../N-1"; ".../0" is a page "End of the chain".
    static constexpr QStringView RedirectChainPath = u"/misbehave/redirect-chain/";
    // 302 to ".../b", which answers 302 to ".../a"; and 302 to "file:///etc/passwd".
    static constexpr QStringView RedirectLoopPath = u"/misbehave/redirect-loop/a";
    static constexpr QStringView RedirectToFilePath = u"/misbehave/redirect-to-file";
    // 404 with an HTML body that says so.
    static constexpr QStringView NotFoundPath = u"/misbehave/not-found";
    // Content-Length 101000, then 1000 bytes and the connection closed.
    static constexpr QStringView CutShortPath = u"/misbehave/cut-short";
    // A 20 MB HTML page: HugePageBytes bytes, ending with a link to "/huge-end.html" and HugePageEnd.
    static constexpr QStringView HugePath = u"/misbehave/huge";
    static constexpr qint64 HugePageBytes = qint64(20) * 1024 * 1024;
    static constexpr QStringView HugePageEnd = u"End of the huge page";
    // CyrillicText in windows-1251 declared only by a meta tag, and in UTF-8 only by the Content-Type.
    static constexpr QStringView Cp1251MetaPath = u"/misbehave/cp1251-meta";
    static constexpr QStringView Utf8HeaderPath = u"/misbehave/utf8-header";
    static constexpr QStringView CyrillicText = u"Привет, журнал";

    // size zero bytes compressed for a Content-Encoding: "gzip" and "deflate" (zlib's wrapping), "br" and
    // "zstd" only of CommittedZeros, from files in tests/data.
    static QByteArray compressedZeros(QByteArrayView encoding, qint64 size);
    static constexpr qint64 CommittedZeros = qint64(100) * 1024 * 1024;

    JournalServer();
    ~JournalServer();
    JournalServer(const JournalServer &) = delete;
    JournalServer &operator=(const JournalServer &) = delete;

    QString host() const { return QStringLiteral("127.0.0.1:") + QString::number(m_port); }
    QString origin() const { return QStringLiteral("http://") + host(); }
    QString url(QStringView path) const { return origin() + path; }

    void addEntry(const JournalEntry &entry);
    // Old month pages on a site host, or outside the domains, answer 301 with today's address
    // "https://user-name.DOMAIN/YYYY/MM/" (outside the domains: on livejournal.com).
    void setLiveJournalRedirect(bool enabled);
    // The whole journal, month pages too, stands behind a notice.
    void setAdultNotice(const QString &user, AdultNotice notice);
    // The cookie that shows friends-only entries. Without it their addresses answer with a login page
    // (200, one form, posting a password field).
    void setSession(const QByteArray &name, const QByteArray &value);
    // Month pages carry n more links: days, profiles and site pages in turn.
    void setExtraMonthLinks(int n);

    // Each request for path (without query) takes the next answer, the last one over and over; an empty
    // list removes the path's answers.
    void setAnswers(const QString &path, const QList<Answer> &answers);
    void setPage(const QString &path, int status, const QByteArray &contentType, const QByteArray &body,
                 const QList<std::pair<QByteArray, QByteArray>> &extraHeaders = {});
    void setHang(const QString &path, bool hang = true);

    // Requests being answered: a hanging or endless answer counts until the client has gone or the
    // answer is complete. A test waits for 0 to see that a client gave up a request.
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
