// SPDX-License-Identifier: GPL-3.0-or-later
#include "HttpTransfer.h"

#include <curl/curl.h>

#include <array>
#include <mutex>
#include <thread>

namespace diarytrawl::web {

namespace {

constexpr int PollMs = 100;

void initialiseLibraryOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool equalNoCase(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

QByteArray headerValue(const HeaderList &headers, QByteArrayView name)
{
    for (const auto &[headerName, value] : headers) {
        if (equalNoCase(headerName, name))
            return value;
    }
    return {};
}

QList<QByteArray> headerValues(const HeaderList &headers, QByteArrayView name)
{
    QList<QByteArray> values;
    for (const auto &[headerName, value] : headers) {
        if (equalNoCase(headerName, name))
            values.append(value);
    }
    return values;
}

// The connection, name and TLS-session caches of a session's transfers. Transfers run one after the
// other, but an abandoned one may still be winding down on its thread while the next starts: the
// library asks for these locks around everything it shares.
struct HttpSession::Shared {
    CURLSH *share = nullptr;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;

    Shared()
    {
        initialiseLibraryOnce();
        share = curl_share_init();
        curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &Shared::lock);
        curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &Shared::unlock);
        curl_share_setopt(share, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    }
    ~Shared() { curl_share_cleanup(share); }
    Shared(const Shared &) = delete;
    Shared &operator=(const Shared &) = delete;

    static void lock(CURL *, curl_lock_data data, curl_lock_access, void *self)
    {
        static_cast<Shared *>(self)->locks[std::size_t(data)].lock();
    }
    static void unlock(CURL *, curl_lock_data data, void *self)
    {
        static_cast<Shared *>(self)->locks[std::size_t(data)].unlock();
    }
};

namespace {

using Clock = std::chrono::steady_clock;

// Everything one transfer's callbacks see; lives on the transfer's thread.
struct Transfer {
    TransferRequest request;
    TransferResult result;
    const std::atomic<bool> *abandon = nullptr;
    qint64 headerBytes = 0;
    bool headersDone = false;
    bool bodyWanted = true;
    Clock::time_point lastByte = Clock::now();
    curl_off_t lastReceived = 0;

    static size_t onHeader(char *data, size_t size, size_t count, void *self)
    {
        return static_cast<Transfer *>(self)->header(QByteArrayView(data, qsizetype(size * count)));
    }
    static size_t onBody(char *data, size_t size, size_t count, void *self)
    {
        return static_cast<Transfer *>(self)->bodyPiece(QByteArrayView(data, qsizetype(size * count)));
    }
    static int onProgress(void *self, curl_off_t, curl_off_t received, curl_off_t, curl_off_t)
    {
        auto *transfer = static_cast<Transfer *>(self);
        if (received != transfer->lastReceived) {
            transfer->lastReceived = received;
            transfer->lastByte = Clock::now();
        }
        return transfer->abandon->load() ? 1 : 0;
    }

    size_t header(QByteArrayView line)
    {
        lastByte = Clock::now();
        headerBytes += line.size();
        if (headerBytes > request.maxHeaderBytes) {
            result.error = TransferResult::Error::HeadersTooLarge;
            return 0;
        }
        const QByteArrayView trimmed = line.trimmed();
        if (trimmed.startsWith("HTTP/")) { // a new answer: an interim one, or the final one
            result.headers.clear();
            headersDone = false;
            const QList<QByteArray> parts = trimmed.toByteArray().split(' ');
            result.status = parts.size() > 1 ? parts.at(1).toInt() : 0;
            const qsizetype phrase = trimmed.indexOf(' ', trimmed.indexOf(' ') + 1);
            result.reasonPhrase = phrase < 0 ? QByteArray() : trimmed.sliced(phrase + 1).toByteArray();
        } else if (trimmed.isEmpty()) {
            headersDone = result.status >= 200;
        } else if (const qsizetype colon = trimmed.indexOf(':'); colon > 0) {
            result.headers.append({trimmed.first(colon).trimmed().toByteArray(),
                                   trimmed.sliced(colon + 1).trimmed().toByteArray()});
        }
        return size_t(line.size());
    }

    size_t bodyPiece(QByteArrayView piece)
    {
        lastByte = Clock::now();
        if (result.body.isEmpty() && bodyWanted && request.wantsBody) {
            bodyWanted = request.wantsBody(result.status, result.headers);
            if (!bodyWanted) {
                result.error = TransferResult::Error::BodyNotRead;
                return 0;
            }
        }
        if (result.body.size() + piece.size() > request.maxBodyBytes) {
            result.error = TransferResult::Error::BodyTooLarge;
            result.body = QByteArray();
            return 0;
        }
        if (result.body.isEmpty()) {
            // Growing by doubling would hold the old and the new copy at once, twice the bound at the
            // end; reserving the bound costs address space only, as pages are touched when written. An
            // answer that is not unpacked and announces its length gets what it announces.
            curl_off_t announced = -1;
            const bool sized =
                headerValue(result.headers, "Content-Encoding").isEmpty() &&
                curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
                announced > 0 && announced <= request.maxBodyBytes;
            result.body.reserve(qsizetype(sized ? announced : request.maxBodyBytes));
        }
        result.body.append(piece);
        return size_t(piece.size());
    }

    CURL *handle = nullptr;
};

TransferResult::Error errorOf(CURLcode code)
{
    using Error = TransferResult::Error;
    switch (code) {
    case CURLE_OK:
        return Error::None;
    case CURLE_COULDNT_CONNECT:
        return Error::Refused;
    case CURLE_COULDNT_RESOLVE_HOST:
        return Error::NameNotFound;
    case CURLE_OPERATION_TIMEDOUT:
        return Error::TimedOut;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return Error::Tls;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return Error::Reset;
    case CURLE_PARTIAL_FILE:
        return Error::CutShort;
    case CURLE_BAD_CONTENT_ENCODING:
        return Error::BadEncoding;
    case CURLE_OUT_OF_MEMORY: // what the library says of a header line past its own limit
        return Error::HeadersTooLarge;
    default:
        return Error::Other;
    }
}

void run(Transfer &transfer, CURLSH *share)
{
    CURL *easy = curl_easy_init();
    transfer.handle = easy;
    TransferRequest &request = transfer.request;
    char errorText[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(easy, CURLOPT_URL, request.url.constData());
    curl_easy_setopt(easy, CURLOPT_SHARE, share);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, ""); // every encoding the library can unpack
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(request.idleTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
    if (request.method == "POST") {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.constData());
    }
    curl_slist *headers = nullptr;
    for (const auto &[name, value] : std::as_const(request.headers))
        headers = curl_slist_append(headers, QByteArray(name + ": " + value).constData());
    headers = curl_slist_append(headers, "Expect:"); // no waiting for "100 Continue" before a form
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);

    CURLM *multi = curl_multi_init();
    const Clock::time_point started = Clock::now();
    curl_multi_add_handle(multi, easy);
    int running = 1;
    bool timedOut = false;
    while (running > 0 && !transfer.abandon->load()) {
        if (curl_multi_perform(multi, &running) != CURLM_OK || running == 0)
            break;
        if (Clock::now() - transfer.lastByte > request.idleTimeout) {
            timedOut = true;
            break;
        }
        curl_multi_poll(multi, nullptr, 0, PollMs, nullptr);
    }
    CURLcode code = CURLE_OK;
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(multi, &left)) {
        if (message->msg == CURLMSG_DONE)
            code = message->data.result;
    }
    curl_multi_remove_handle(multi, easy);
    curl_multi_cleanup(multi);
    curl_slist_free_all(headers);

    TransferResult &result = transfer.result;
    curl_off_t beforeSending = 0;
    if (curl_easy_getinfo(easy, CURLINFO_PRETRANSFER_TIME_T, &beforeSending) == CURLE_OK && beforeSending > 0)
        result.sentAt = started + std::chrono::microseconds(beforeSending);
    if (timedOut) {
        result.error = TransferResult::Error::TimedOut;
    } else if (result.error == TransferResult::Error::None) {
        result.error = errorOf(code);
        if (result.error == TransferResult::Error::Other)
            result.detail = QString::fromUtf8(errorText[0] ? errorText : curl_easy_strerror(code));
    }
    curl_easy_cleanup(easy);
}

} // namespace

HttpSession::HttpSession()
    : m_shared(std::make_shared<Shared>())
{}

HttpSession::~HttpSession() = default;

void HttpSession::start(TransferRequest request, std::shared_ptr<std::atomic<bool>> abandon,
                        std::function<void(TransferResult)> done)
{
    // Detached: a transfer that cannot end at once (a name lookup in progress) must never hold up the
    // window or the program's exit. It holds the shared caches for as long as it runs.
    std::thread([shared = m_shared, request = std::move(request), abandon = std::move(abandon),
                 done = std::move(done)]() mutable {
        Transfer transfer;
        transfer.request = std::move(request);
        transfer.abandon = abandon.get();
        run(transfer, shared->share);
        if (!abandon->load())
            done(std::move(transfer.result));
    }).detach();
}

} // namespace diarytrawl::web
