// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Excerpts.h"
#include "loader/Browser.h"

#include <QString>

namespace diarytrawl {

// How a search ended. The crawl itself reports everything through the front end; this is for callers
// that need an exit status.
enum class CrawlOutcome {
    Completed,                // every month walked, every page read; the report completed and opened
    CompletedWithUnreadPages, // every month walked, but some pages could not be read
    StoppedAtMonthPage,       // the user stopped a month page load; the report has no tail
    StoppedAtEntry,           // the user stopped an entry load; the report completed as aborted and opened
    Failed,                   // a failure ended the search; reported in a message and in the log
};

struct SearchSummary {
    CrawlOutcome outcome = CrawlOutcome::Completed;
    qint64 links = 0;   // links of month pages taken up, skipped or not
    qint64 scanned = 0; // entries read
    qint64 found = 0;   // entries that matched
    qint64 failed = 0;  // pages that could not be read
    QString report;     // the report's file name
};

// What a search does, step by step, for front ends that show more than the log: the command line's
// JSON lines and its status line. Every call comes from the crawl, on its thread, in this order: per
// month monthStarted, then monthRead or pageFailed, then per link linkTaken and, for an entry,
// entryRead or pageFailed, and entryMatched when it matched; searchEnded last, however the search ended.
class SearchEvents {
public:
    virtual ~SearchEvents() = default;
    virtual void monthStarted(int /*monthIndex*/, int /*monthCount*/, const QString & /*address*/) {}
    virtual void monthRead(qsizetype /*links*/) {}
    // number counts links across months; onPage runs from 1 to pageLinks.
    virtual void linkTaken(qint64 /*number*/, qsizetype /*onPage*/, qsizetype /*pageLinks*/,
                           const QString & /*address*/, bool /*skipped*/)
    {}
    virtual void entryRead(const QString & /*address*/, const QString & /*dateStamp*/) {}
    // excerpts: of what matched (the entry's text, or its HTML code when only that matched).
    virtual void entryMatched(const QString & /*address*/, qint64 /*number*/, const QString & /*dateStamp*/,
                              const PageExcerpts & /*excerpts*/)
    {}
    virtual void pageFailed(const QString & /*address*/, LoadFailure /*kind*/, const QString & /*reason*/) {}
    virtual void searchEnded(const SearchSummary & /*summary*/) {}
};

} // namespace diarytrawl
