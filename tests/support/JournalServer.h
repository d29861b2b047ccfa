// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>
#include <QTime>

#include <chrono>
#include <memory>
#include <utility>

namespace diarytrawl::test {

// What stands before adult content. LiveJournal's notice lets in a request with the cookie adult_explicit=1
// or adult_concepts=1, which its form sets (its answer is 302 to "ret"). Dreamwidth's form posts a token of
// the visitor's (lj_form_auth, its ljuniq) with the journal and the entry (0 on other pages), and the
// server keeps the consent per visitor, journal and entry (DW::Logic::AdultContent::set_confirmed_pages),
// answering 303 to "ret" (DW::Controller::Journal::AdultContent).
enum class AdultNotice { None, LiveJournal, DreamwidthConcepts };

// A comment of an entry, on the page of the entry's comments it is shown on.
struct JournalComment {
    int thread = 0; // its number on the site
    QString author;
    QString htmlText;
    int page = 1;
    // Shown without its text until its thread is read ("?thread=ID"): LiveJournal's collapsed comment,
    // Dreamwidth's reply past the page's limit.
    bool collapsed = false;
};

struct JournalEntry {
    QString user; // e.g. "inkwell" or "ink_well"
    int year = 0;
    int month = 0;
    int day = 0;
    int id = 0;       // "/~user/<id>.html"
    QString subject;  // plain text
    QString htmlText; // the entry's text, as HTML
    QTime time = QTime(12, 0);
    bool friendsOnly = false; // listed and shown only to requests with the session cookie (setSession)
    AdultNotice adult = AdultNotice::None;
    // On Dreamwidth, the name that gives the entry its address "/YYYY/MM/DD/<slug>.html" (LJ::Entry::url),
    // which month pages link; the numeric address shows the same page, with a canonical link to it.
    QString slug = {};
    // On LiveJournal's hosts in the page script's data, "Site.page = {...};", with the pages linked from
    // ul.b-pager-pages (as leonid-ed/lj-dl reads them); on Dreamwidth's rendered (styles/core2.s2), with
    // the pages linked as a.comment-page. Entries without comments show neither.
    QList<JournalComment> comments = {};
};

struct RequestRecord {
    QByteArray method;
    QString host;   // the Host header as sent
    QString target; // path and query as requested, e.g. "/~inkwell/123.html?mode=reply"
    QByteArray userAgent;
    QByteArray cookie; // the Cookie header as sent
    QByteArray body;
    qint64 arrivedMs = 0; // when its first byte came, on a steady clock: only differences mean anything
    int status = 0;       // of the answer
};

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
// destructor, which stops it even while answers are in flight. Every member is safe to call from any
// thread. Every answer closes its connection.
//
// A path (without query) gets its preset answers (setAnswers), else a fixed answer below, else a journal's
// page, else 404. On the site host "www.DOMAIN" (DOMAIN: "livejournal.com", "dreamwidth.org" or
// "journal.example") or a host
// outside the domains (HOST) journals have the old shape, "/~user/YYYY/MM/" and "/~user/ID.html"; on their
// own host "user-name.DOMAIN" today's, "/YYYY/MM/" and "/ID.html". A month page links to site pages, the
// friends page, the year, the other months, the days with entries, then per entry in day, time and id
// order to it, with "?mode=reply", with "#comments" and to an entry of "user_pal", then to fillers and
// site pages. An entry shows subject, text and "@ YYYY-MM-DD HH:MM:SS". Site pages are on
// "https://www.DOMAIN" ("http://HOST"); journals set a missing ljuniq cookie for the whole DOMAIN.
// Dreamwidth's limiter and captcha can be switched on for the hosts of "dreamwidth.org".
class JournalServer {
public:
    // Fixed answers under "/misbehave/": redirect-chain/N (N up to 30): 302 to ".../N-1", ".../0" a page
    // "End of the chain"; redirect-loop/a and .../b: 302 to each other; redirect-to-file: 302 to a file:
    // address; not-found: 404 with a page; cut-short: CutShort; slow-drip: a page "Drop 1" to "Drop 8",
    // "End of the drip" as a 15 ms Drip; endless: EndlessBody, 1 MB every 5 ms; huge: 20 MB of HTML ending
    // in HugePageEnd; cp1251-meta, utf8-header: CyrillicText, its charset only in a meta tag or the header.
    static constexpr QStringView RedirectChainPath = u"/misbehave/redirect-chain/";
    static constexpr QStringView NotFoundPath = u"/misbehave/not-found";
    static constexpr QStringView HugePageEnd = u"End of the huge page";
    static constexpr QStringView CyrillicText = u"Привет, журнал";

    // size zero bytes compressed for a Content-Encoding: "gzip" and "deflate" (zlib's wrapping), "br" and
    // "zstd" only of CommittedZeros, from files in tests/data.
    static QByteArray compressedZeros(QByteArrayView encoding, qint64 size);
    static constexpr qint64 CommittedZeros = qint64(100) * 1024 * 1024;

    JournalServer();
    ~JournalServer();

    QString host() const { return QStringLiteral("127.0.0.1:") + QString::number(m_port); }
    QString origin() const { return QStringLiteral("http://") + host(); }
    QString url(QStringView path) const { return origin() + path; }

    void addEntry(const JournalEntry &entry);
    // Old month pages answer 301 with today's address (outside the domains on livejournal.com).
    void setLiveJournalRedirect(bool enabled);
    // The whole journal, month pages too, stands behind a notice.
    void setAdultNotice(const QString &user, AdultNotice notice);
    // The cookie that shows friends-only entries; without it they answer with a login page.
    void setSession(const QByteArray &name, const QByteArray &value);
    // Month pages carry n more links: days, profiles and site pages in turn.
    void setExtraMonthLinks(int n);
    // Dreamwidth's limiter (Plack::Middleware::DW::RateLimit, DW/RateLimit.pm) on every request to a
    // dreamwidth.org host: a bucket per visitor, 30 requests (100 with the session cookie) that starts
    // full and refills evenly over window (60 s there; tests shorten it); a request that finds it empty
    // gets 429 with "Retry-After: 60" and costs nothing. Zero: no limiter.
    void setRateLimit(std::chrono::milliseconds window);
    // Dreamwidth's captcha (DW/Captcha.pm, DW/Controller/Journal.pm): a journal page asked for without
    // the session cookie answers 303 to "https://www.dreamwidth.org/captcha?returnto=ADDRESS", a page
    // titled "Captcha Check" (views/auth/captcha.tt).
    void setCaptcha(bool enabled);

    // Each request for path takes the next answer, the last one over and over; none: no preset answers.
    void setAnswers(const QString &path, const QList<Answer> &answers);
    void setPage(const QString &path, int status, const QByteArray &contentType, const QByteArray &body,
                 const QList<std::pair<QByteArray, QByteArray>> &extraHeaders = {})
    {
        setAnswers(path, {{status, contentType, body, extraHeaders}});
    }
    void setHang(const QString &path, bool hang = true)
    {
        setAnswers(path, hang ? QList<Answer>{{.shape = Answer::Hang}} : QList<Answer>());
    }

    // Requests being answered, a hanging or endless one until the client has gone: 0 once a client gave up.
    int answersInFlight() const;

    QList<RequestRecord> requests() const;
    int requestCount(const QString &target) const; // requests for this path and query
    void clearRequests();

private:
    struct State;
    std::unique_ptr<State> m_state;
    quint16 m_port = 0;
};

} // namespace diarytrawl::test
