// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DateTimeText.h"

#include <QDateTime>
#include <QString>

namespace diarytrawl {

// The crawl's counters as one status text: "37/12/2 [0:03:41] @ 2005-03-17" (links passed, entries
// scanned, entries found, time since tmStart, date stamp of the last entry read).
QString statusReportText(const QDateTime &tmStart, const QDateTime &now, qint64 nLinksPassed,
                         qint64 nLinksScanned, qint64 nLinksFound, const QString &lastMessageDate,
                         const DateTimeText &dateTimeText);

} // namespace diarytrawl
