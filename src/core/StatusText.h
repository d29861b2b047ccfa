// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DateTimeText.h"
#include "SearchEvents.h"
#include "platform/Clock.h"

#include <QDateTime>
#include <QString>

namespace diarytrawl {

// The crawl's counters as one status text: "37/12/2 [0:03:41] @ 2005-03-17" (links passed, entries
// scanned, entries found, time since tmStart, date stamp of the last entry read).
QString statusReportText(const QDateTime &tmStart, const QDateTime &now, qint64 nLinksPassed,
                         qint64 nLinksScanned, qint64 nLinksFound, const QString &lastMessageDate,
                         const DateTimeText &dateTimeText);

// What a search has done so far, gathered from its events, and the status texts made of it: the
// window's (statusReportText) and the terminal's one line.
class SearchProgress : public SearchEvents {
public:
    SearchProgress(const Clock &clock, const DateTimeText &dateTimeText);

    // The window's status text, as of now, and when requests go slower than five a second, the pace
    // and the time the month's entries still need: "37/12/2 [0:03:41] @ 2005-03-17 (one page every
    // 2 s, 0:01:10 left in 2005/03)".
    QString statusText() const;
    // "month 2 of 3 (2005/04), link 5 of 43, 3 scanned, 1 found, 0 failed, 0:00:05, @ 2005-03-17", and the
    // pace and time left as above.
    QString terminalText() const;

    void searchStarted(const SearchSettings &settings) override;
    void scanStarted(const QDateTime &tmScanStart) override;
    void monthStarted(const MonthStart &month) override;
    void monthRead(const MonthRead &month) override;
    void paceChanged(std::chrono::milliseconds pace, bool siteLimited) override;
    void linkTaken(const LinkTaken &link) override;
    void pageFailed(const PageFailure &failure) override;
    void entryScanned(const ScannedEntry &entry) override;

protected:
    // After each event that changes what the texts show. datedEntry: an entry with a date stamp has
    // been scanned, which is when the window gives its status text anew.
    virtual void progressed(bool /*datedEntry*/) {}

private:
    const Clock &m_clock;
    const DateTimeText &m_dateTimeText;
    QDateTime m_start;
    // The pace and what is left of the month, when requests go slower than five a second.
    QString paceText() const;

    int m_month = 0;
    int m_months = 0;
    QString m_monthName; // "2005/03"
    qsizetype m_entriesLeft = 0;
    std::chrono::milliseconds m_pace{0};
    qsizetype m_onPage = 0;
    qsizetype m_pageLinks = 0;
    qint64 m_links = 0;
    qint64 m_scanned = 0;
    qint64 m_found = 0;
    qint64 m_failed = 0;
    QString m_lastDate;
};

} // namespace diarytrawl
