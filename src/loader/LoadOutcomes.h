// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Browser.h"
#include "HttpTransfer.h"

#include <QDateTime>

namespace diarytrawl::web {

// How a load ended, in the words the log and the report use. Each reason is a short phrase that reads
// after "could not be read: ".
namespace outcomes {

LoadOutcome fromTransfer(const TransferResult &result, std::chrono::milliseconds idleTimeout,
                         qint64 maxBodyBytes, qint64 maxHeaderBytes);
// An answer of status 400 or above; 403 is what a protected page gives an anonymous visitor.
LoadOutcome fromErrorStatus(int status, const QByteArray &reasonPhrase, const HeaderList &headers,
                            const QDateTime &now);
LoadOutcome failed(LoadFailure failure, const QString &reason);

// Seconds the server asks to wait: Retry-After as a number of seconds or as an HTTP date (then
// counted from now); -1 when the value is neither.
int retryAfterSeconds(QByteArrayView value, const QDateTime &now);

// "404 (Not Found)": the status and its phrase (the standard one when the answer gave none).
QString statusText(int status, const QByteArray &reasonPhrase);

} // namespace outcomes

} // namespace diarytrawl::web
