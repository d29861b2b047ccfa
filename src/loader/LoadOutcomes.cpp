// SPDX-License-Identifier: GPL-3.0-or-later
#include "LoadOutcomes.h"

#include <QLocale>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace diarytrawl::web::outcomes {

namespace {

// The phrases of the statuses a journal site gives, for answers that name none (HTTP/2 never does).
QString standardPhrase(int status)
{
    static const std::pair<int, QStringView> phrases[] = {{400, u"Bad Request"},
                                                          {401, u"Unauthorized"},
                                                          {403, u"Forbidden"},
                                                          {404, u"Not Found"},
                                                          {410, u"Gone"},
                                                          {429, u"Too Many Requests"},
                                                          {500, u"Internal Server Error"},
                                                          {502, u"Bad Gateway"},
                                                          {503, u"Service Unavailable"},
                                                          {504, u"Gateway Timeout"}};
    for (const auto &[code, phrase] : phrases) {
        if (code == status)
            return phrase.toString();
    }
    return QString();
}

QString megabytes(qint64 bytes)
{
    return QString::number(bytes / (1024 * 1024)) + u" MB"_s;
}

} // namespace

LoadOutcome failed(LoadFailure failure, const QString &reason)
{
    LoadOutcome outcome;
    outcome.failure = failure;
    outcome.reason = reason;
    return outcome;
}

QString statusText(int status, const QByteArray &reasonPhrase)
{
    QString phrase = QString::fromLatin1(reasonPhrase).trimmed();
    if (phrase.isEmpty())
        phrase = standardPhrase(status);
    // What a server writes there is shown to the user: keep it to one short line of plain text.
    phrase = phrase.left(80);
    for (QChar &c : phrase) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u' ';
    }
    return phrase.isEmpty() ? QString::number(status) : QString::number(status) + u" (" + phrase + u')';
}

LoadOutcome fromTransfer(const TransferResult &result, std::chrono::milliseconds idleTimeout,
                         qint64 maxBodyBytes, qint64 maxHeaderBytes)
{
    using Error = TransferResult::Error;
    LoadOutcome outcome;
    outcome.failure = LoadFailure::Network;
    switch (result.error) {
    case Error::None:
    case Error::BodyNotRead:
        return {};
    case Error::Refused:
        outcome.reason = u"the server refused the connection"_s;
        break;
    case Error::NameNotFound:
        outcome.reason = u"the server's name was not found"_s;
        break;
    case Error::Tls:
        outcome.reason = u"a secure (TLS) connection to the server could not be made"_s;
        break;
    case Error::Reset:
        outcome.reason = u"the connection was reset"_s;
        outcome.transient = true;
        break;
    case Error::CutShort:
        outcome.reason = u"the connection was cut short before the whole page arrived"_s;
        outcome.transient = true;
        break;
    case Error::TimedOut: {
        const qint64 ms = idleTimeout.count();
        const QString seconds =
            ms % 1000 == 0 ? QString::number(ms / 1000) : QString::number(double(ms) / 1000);
        outcome.reason = u"nothing arrived for "_s + seconds + u" s (timed out)"_s;
        outcome.transient = true;
        break;
    }
    case Error::BodyTooLarge:
        outcome.failure = LoadFailure::TooLarge;
        outcome.reason = u"it is larger than "_s + megabytes(maxBodyBytes);
        break;
    case Error::HeadersTooLarge:
        outcome.failure = LoadFailure::TooLarge;
        outcome.reason =
            u"its headers are larger than "_s + QString::number(maxHeaderBytes / 1024) + u" KB"_s;
        break;
    case Error::BadEncoding:
        outcome.reason = u"its compressed body cannot be unpacked"_s;
        break;
    case Error::Other:
        outcome.reason = u"a network error occurred ("_s + result.detail + u')';
        break;
    }
    outcome.status = result.status;
    return outcome;
}

LoadOutcome fromErrorStatus(int status, const QByteArray &reasonPhrase, const HeaderList &headers,
                            const QDateTime &now)
{
    LoadOutcome outcome;
    outcome.status = status;
    outcome.reason = u"the server answered "_s + statusText(status, reasonPhrase);
    if (status == 403) {
        outcome.failure = LoadFailure::LoginPage;
        outcome.reason += u": the site asks to log in to see it"_s;
        return outcome;
    }
    outcome.failure = LoadFailure::Http;
    outcome.transient = status == 429 || status == 502 || status == 503 || status == 504;
    if (outcome.transient)
        outcome.retryAfterSeconds = retryAfterSeconds(headerValue(headers, "Retry-After"), now);
    return outcome;
}

int retryAfterSeconds(QByteArrayView value, const QDateTime &now)
{
    const QByteArray text = value.trimmed().toByteArray();
    if (text.isEmpty())
        return -1;
    bool isNumber = false;
    const qlonglong seconds = text.toLongLong(&isNumber);
    if (isNumber)
        return seconds < 0 ? -1 : int(std::min<qlonglong>(seconds, std::numeric_limits<int>::max()));
    // An HTTP date: "Sun, 06 Nov 1994 08:49:37 GMT" (and the two obsolete forms browsers still take).
    static const QString formats[] = {u"ddd, dd MMM yyyy HH:mm:ss 'GMT'"_s,
                                      u"dddd, dd-MMM-yy HH:mm:ss 'GMT'"_s, u"ddd MMM d HH:mm:ss yyyy"_s};
    const QString dateText = QString::fromLatin1(text).simplified();
    for (const QString &format : formats) {
        QDateTime when = QLocale::c().toDateTime(dateText, format);
        if (!when.isValid())
            continue;
        when.setTimeSpec(Qt::UTC);
        return int(std::clamp<qint64>(now.secsTo(when), 0, std::numeric_limits<int>::max()));
    }
    // Servers that write the zone as an offset ("+0000") mean the same.
    if (const QDateTime when = QDateTime::fromString(dateText, Qt::RFC2822Date); when.isValid())
        return int(std::clamp<qint64>(now.secsTo(when), 0, std::numeric_limits<int>::max()));
    return -1;
}

} // namespace diarytrawl::web::outcomes
