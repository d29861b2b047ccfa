// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LogSink.h"
#include "SearchEvents.h"

namespace diarytrawl {

// The running log, rendered from the search's events into the log sink, line for line as the window
// has always shown it. Quiet keeps only the lines about matches and the summary.
class LogRenderer final : public SearchEvents {
public:
    enum class Lines { All, MatchesAndSummary };

    explicit LogRenderer(LogSink &log, Lines lines = Lines::All);

    void loadWaiting() override;
    void loadRetrying(const LoadRetry &retry) override;
    void loadStopped() override;
    void paceChanged(std::chrono::milliseconds pace, bool siteLimited) override;
    void searchStarted(const SearchSettings &settings) override;
    void sessionNote(const QString &note) override;
    void calendarStarted(const CalendarPage &page) override;
    void calendarRead(const CalendarRead &read) override;
    void monthStarted(const MonthStart &month) override;
    void monthRead(const MonthRead &month) override;
    void linkTaken(const LinkTaken &link) override;
    void entryLoaded(const QString &address) override;
    void commentPageTaken(const QString &address) override;
    void commentsLeft(const CommentsLeft &left) override;
    void pageFailed(const PageFailure &failure) override;
    void entryScanned(const ScannedEntry &entry) override;
    void searchFailed(const SearchFailure &failure) override;
    void searchEnded(const SearchSummary &summary) override;

private:
    // Every line but those about matches and the summary.
    void echo(const QString &text);

    LogSink &m_log;
    bool m_all;
    bool m_afterDots = false; // the log's last line is a run of progress dots
};

} // namespace diarytrawl
