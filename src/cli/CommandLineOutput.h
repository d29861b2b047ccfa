// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/DateTimeText.h"
#include "core/SearchEvents.h"
#include "core/SearchLog.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <cstdio>

namespace diarytrawl {

// What a search prints on a terminal or into a pipe: the log as the window shows it, with LF line
// ends, or (json) one JSON object per line for each event of the search in place of the log. Quiet
// keeps only what matched and the summary: the log's lines about matches and its summary lines, or the
// match and summary events. On a terminal, standard error also carries one status line, rewritten in
// place.
class CommandLineOutput final : public LogView, public SearchEvents {
public:
    CommandLineOutput(bool json, bool quiet, FILE *out, FILE *err, bool statusLine);
    ~CommandLineOutput() override;

    // LogView
    void replaceLogText(const QString &text) override;
    void appendLogText(const QString &text) override;

    // SearchEvents
    void monthStarted(int monthIndex, int monthCount, const QString &address) override;
    void monthRead(qsizetype links) override;
    void linkTaken(qint64 number, qsizetype onPage, qsizetype pageLinks, const QString &address,
                   bool skipped) override;
    void entryRead(const QString &address, const QString &dateStamp) override;
    void entryMatched(const QString &address, qint64 number, const QString &dateStamp,
                      const PageExcerpts &excerpts) override;
    void pageFailed(const QString &address, LoadFailure kind, const QString &reason) override;
    void searchEnded(const SearchSummary &summary) override;

    // A message that ends the search (written to standard error; in the JSON summary too).
    void failureMessage(const QString &message);

private:
    void writeOut(const QString &text);
    void logLines(const QString &text);
    void json(const QString &object, bool essential = false);
    void drawStatus();
    void clearStatus();

    bool m_json;
    bool m_quiet;
    FILE *m_out;
    FILE *m_err;
    bool m_statusLine;
    bool m_statusShown = false;
    QString m_pendingLine; // Quiet: the start of a line not yet ended
    QString m_failure;

    // What the status line shows.
    QElapsedTimer m_elapsed;
    DateTimeText m_time;
    QTimer m_ticker;
    int m_month = 0;
    int m_months = 0;
    qsizetype m_onPage = 0;
    qsizetype m_pageLinks = 0;
    qint64 m_scanned = 0;
    qint64 m_found = 0;
    qint64 m_failed = 0;
    QString m_lastDate;
};

// A JSON string literal, quotes included.
QString jsonString(const QString &text);

// The text in UTF-8, at once (a pipe's reader sees each piece as it is written).
void writeText(FILE *stream, const QString &text);

} // namespace diarytrawl
