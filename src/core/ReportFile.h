// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DateTimeText.h"
#include "Excerpts.h"
#include "ReportLock.h"
#include "SearchEvents.h"
#include "WindowState.h"
#include "platform/Clock.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace diarytrawl {

// The HTML results report, written piece by piece in windows-1251 so that a stopped or failed search
// leaves a readable file: the head with the settings when the search starts, one block per matching
// page as it is found, and the tail with the summary and notices when the search ends. Failures of the
// file are PlatformError; what was written stays.
//
// The report quotes exactly: every text it quotes (search string, user name, year and month texts,
// addresses, dates, excerpts, paths) is escaped for where it stands, a character windows-1251 lacks is
// written as a character reference, and the bold pieces of an excerpt are the page's own text.

void StartHtmlReportFile(const QString &strNick, const QString &strYear, const QString &strFromMonth,
                         const QString &strToMonth, const QString &strSearchTo,
                         const QString &strStartAddress, const QString &strResultsPageName,
                         const QDateTime &tmScanStart, bool bRegScan, const DateTimeText &dateTimeText);

void AddToHtmlReportFile(const QString &strResultsPageName, const QString &strSearchTo,
                         const QString &strYear, const QString &strCurrAddress, qint64 nLinkFoundNumber,
                         const QString &strPageText, bool bRegScan);
// The same with the page's date stamp and excerpts already found (pageExcerpts), so that a match that
// costs too much fails before anything of the block is written; without excerpts (only comments of the
// entry matched) the block is its link and date.
void AddToHtmlReportFile(const QString &strResultsPageName, const QString &strSearchTo,
                         const QString &strCurrAddress, qint64 nLinkFoundNumber, const QString &strDateStamp,
                         const PageExcerpts *excerpts);

// A line for each matching comment of the entry whose block was written last: a link to the comment's
// own address, named by its author, and its excerpts.
void AddCommentsToHtmlReportFile(const QString &strResultsPageName, const QList<CommentMatch> &comments);

// A page the search could not read, and why.
struct UnreadPage {
    QString address;
    QString reason;
};

// unreadPages, when there are any, are listed after the summary with their reasons.
void CompleteReportFile(const QString &strResultsPageName, qint64 nLinksScanned, qint64 nLinksFound,
                        const QDateTime &tmScanStart, const QDateTime &tmScanEnd, bool bInterrupt,
                        const QList<UnreadPage> &unreadPages, const WindowState &window,
                        const DateTimeText &dateTimeText);

// The report's folder as the address its buttons open: the full path without the file name, with a
// closing '/', and with the characters that would end the button's script or attribute percent-encoded.
QString reportFolderAddress(const QString &strResultsPageName);

// The report as the search's events make it: the head once the scan starts, under the lock that keeps
// a second search from writing the same report, a block for each match, the list of pages that could not
// be read and the tail when the search ends (a stop at a month page, or a failure, leaves it without).
class ReportWriter final : public SearchEvents {
public:
    ReportWriter(const WindowState &window, const Clock &clock, const DateTimeText &dateTimeText);

    void searchStarted(const SearchSettings &settings) override;
    void scanStarted(const QDateTime &tmScanStart) override;
    void pageFailed(const PageFailure &failure) override;
    void entryScanned(const ScannedEntry &entry) override;
    void searchEnded(const SearchSummary &summary) override;

private:
    const WindowState &m_window;
    const Clock &m_clock;
    const DateTimeText &m_dateTimeText;
    SearchSettings m_settings;
    QDateTime m_tmScanStart;
    std::optional<ReportLock> m_lock;
    QList<UnreadPage> m_unreadPages;
};

} // namespace diarytrawl
