// SPDX-License-Identifier: GPL-3.0-or-later
#include "StatusText.h"

namespace diarytrawl {

QString statusReportText(const QDateTime &tmStart, const QDateTime &now, qint64 nLinksPassed,
                         qint64 nLinksScanned, qint64 nLinksFound, const QString &lastMessageDate,
                         const DateTimeText &dateTimeText)
{
    const std::chrono::seconds elapsed{tmStart.secsTo(now)};
    return QString::number(nLinksPassed) + u'/' + QString::number(nLinksScanned) + u'/' +
           QString::number(nLinksFound) + u" [" + dateTimeText.toText(elapsed) + u"] " + lastMessageDate;
}

} // namespace diarytrawl
