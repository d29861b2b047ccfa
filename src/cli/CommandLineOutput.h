// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/LogRenderer.h"
#include "core/SearchLog.h"
#include "core/StatusText.h"

#include <QString>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace diarytrawl {

// The search's events as JSON lines, one object per event: month, link, entry, match, failure and a
// last summary. Quiet keeps the matches and the summary.
class JsonRenderer final : public SearchEvents {
public:
    JsonRenderer(std::function<void(const QString &line)> write, bool quiet);

    void calendarStarted(const CalendarPage &page) override;
    void calendarRead(const CalendarRead &read) override;
    void monthStarted(const MonthStart &month) override;
    void linkTaken(const LinkTaken &link) override;
    void pageFailed(const PageFailure &failure) override;
    void entryScanned(const ScannedEntry &entry) override;
    void searchFailed(const SearchFailure &failure) override;
    void searchEnded(const SearchSummary &summary) override;

private:
    std::function<void(const QString &line)> m_write;
    bool m_quiet;
    QString m_failure;  // the message of a failure that ended the search
    QString m_calendar; // the address of the year page or calendar being read
};

// What a search prints on a terminal or into a pipe, rendered from its events: the log as the window
// shows it, with LF line ends, or (json) one JSON object per event in place of the log. Quiet keeps only
// what matched and the summary. On a terminal, standard error also carries one status line, rewritten
// in place at every step and every second. Lines reach standard output at most FlushMs after they are
// written, in one write for all of them.
class CommandLineOutput final : public SearchProgress, private LogView {
public:
    CommandLineOutput(bool json, bool quiet, FILE *out, FILE *err, bool statusLine, const Clock &clock,
                      const DateTimeText &dateTimeText);
    ~CommandLineOutput() override;

    SearchEvents &events() { return m_events; }
    // A message that ends the search, on standard error.
    void failureMessage(const QString &message);

    void searchEnded(const SearchSummary &summary) override;

protected:
    void progressed(bool datedEntry) override;

private:
    void replaceLogText(const QString &text) override;
    void appendLogText(const QString &text) override;
    void writeOut(const QString &text);
    void flushOut();
    void drawStatus();
    void clearStatus();

    static constexpr int FlushMs = 50;

    FILE *m_out;
    FILE *m_err;
    bool m_statusLine;
    bool m_statusShown = false;
    QTimer m_ticker;
    QTimer m_flusher; // runs while lines wait in standard output's buffer
    SearchLog m_log;
    LogRenderer m_logRenderer;
    JsonRenderer m_jsonRenderer;
    SearchEventsFanOut m_events;
};

// The text in UTF-8, at once (a pipe's reader sees each piece as it is written), or with flush false,
// into the stream's buffer.
void writeText(FILE *stream, const QString &text, bool flush = true);

} // namespace diarytrawl
