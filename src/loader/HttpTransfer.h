// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace diarytrawl::web {

using HeaderList = QList<std::pair<QByteArray, QByteArray>>;

// The first value of a header, its name compared without case; empty when there is none.
QByteArray headerValue(const HeaderList &headers, QByteArrayView name);
QList<QByteArray> headerValues(const HeaderList &headers, QByteArrayView name);

struct TransferRequest {
    QByteArray url; // as it goes on the wire, fully encoded
    QByteArray method = "GET";
    HeaderList headers;
    QByteArray body; // sent with POST
    std::chrono::milliseconds idleTimeout{60000};
    qint64 maxBodyBytes = 0;   // after decompression
    qint64 maxHeaderBytes = 0; // every header line of every answer, interim ones included
    // Asked once the answer's headers are in (status and headers filled): false leaves the body unread.
    std::function<bool(int status, const HeaderList &headers)> wantsBody;
};

struct TransferResult {
    enum class Error {
        None,
        Refused,         // nothing listens there
        NameNotFound,    // the host name does not resolve
        Tls,             // no secure connection could be made
        Reset,           // the connection broke off, or closed before any answer
        CutShort,        // the answer ended before its announced length
        TimedOut,        // no byte for the idle time-out
        BodyTooLarge,    // past maxBodyBytes as it was unpacked
        HeadersTooLarge, // past maxHeaderBytes, or one line past what the library takes
        BadEncoding,     // a compressed body that cannot be unpacked
        BodyNotRead,     // wantsBody said no
        Other,
    };
    Error error = Error::None;
    QString detail; // the library's own words, for Other
    int status = 0;
    QByteArray reasonPhrase;
    HeaderList headers; // of the final answer
    QByteArray body;
    // When the request went out, after the connection was made; not set when it never did.
    std::optional<std::chrono::steady_clock::time_point> sentAt;
};

// One HTTP request on libcurl, on a thread of its own, so that nothing about it (a name lookup, a
// server that never answers, a body that unpacks without end) can hold the caller's thread. Answers are
// unpacked as they arrive (gzip, deflate, br, zstd), so a compression bomb costs at most the body bound
// plus the library's buffers. Redirects are not followed. Connections, names and TLS sessions are
// reused across the requests of one session.
class HttpSession {
public:
    HttpSession();
    ~HttpSession();
    HttpSession(const HttpSession &) = delete;
    HttpSession &operator=(const HttpSession &) = delete;

    // done runs on the transfer's thread when it ends, unless abandon was set first; a transfer whose
    // abandon flag is set stops within about 100 ms and reports nothing. The session may go before its
    // transfers end.
    void start(TransferRequest request, std::shared_ptr<std::atomic<bool>> abandon,
               std::function<void(TransferResult)> done);

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};

} // namespace diarytrawl::web
