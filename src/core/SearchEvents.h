// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Excerpts.h"
#include "loader/Browser.h"
#include "loader/PageLoading.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace diarytrawl {

// How a search ended.
enum class CrawlOutcome {
    Completed,                // every month walked, every page read; the report completed and opened
    CompletedWithUnreadPages, // every month walked, but some pages could not be read
    StoppedAtMonthPage,       // the user stopped a month page load; the report has no tail
    StoppedAtEntry,           // the user stopped an entry load; the report completed as aborted and opened
    Failed,                   // a failure ended the search; told in a message and in the log
};

// What a search was asked, as typed, and what its set-up made of it.
struct SearchSettings {
    bool bRegScan = false;
    QString strNick;
    QString strYear;
    QString strSearchTo;
    QString strStartAddress; // the journal's year address
    QString strFromMonth;
    QString strToMonth;
    QString strResultsPageName;
};

struct MonthStart {
    int index = 0; // from 1
    int count = 0;
    QString address;
    QString strYear;
    QString monthText; // two digits at least
};

struct MonthRead {
    qsizetype links = 0;   // every link of the month page
    qsizetype entries = 0; // those that are entries of the journal
};

struct LinkTaken {
    qint64 number = 0;    // links taken up so far, across months, this one included
    qsizetype onPage = 0; // from 1 to pageLinks
    qsizetype pageLinks = 0;
    QString address;
    bool skipped = false; // not an entry of the journal
    QString strYear;
    QString monthText;
};

// Where a page that could not be read was met.
enum class UnreadStage {
    MonthPage,
    Entry,       // the entry did not load
    EntrySearch, // the entry loaded, but searching it failed
    Comments,    // the entry (or a page of its comments) loaded, but not the comments it carries
    CommentPage, // a further page of the entry's comments, or a thread of them, did not load
    YearPage,    // a year's page: its months are then walked one by one
    Calendar,    // the journal's calendar, which names its years
};

// A year page, or the journal's calendar, that a search over several years reads first.
struct CalendarPage {
    QString address;
    int year = 0; // 0: the calendar
};

// What it showed to have entries: the months of a year page (1 to 12), or the years of the calendar.
struct CalendarRead {
    int year = 0; // 0: the calendar
    QList<int> found;
};

struct PageFailure {
    QString address;
    LoadFailure kind = LoadFailure::None;
    QString reason; // a phrase that reads after "could not be read: "
    UnreadStage stage = UnreadStage::Entry;
};

// A comment of the entry that matched.
struct CommentMatch {
    qint64 thread = 0;
    QString address; // its own
    QString author;
    PageExcerpts excerpts;
};

struct EntryMatch {
    qint64 number = 0;   // the running number of matches, this one included
    QString strSearchTo; // what was searched for, as the search ran it
    bool bRegScan = false;
    bool inEntry = true;   // the entry's own text (or HTML code) matched; otherwise only comments did
    QString strPageText;   // what matched: the entry's text, or its HTML code when only that matched
    QString dateStamp;     // of what matched; empty when it has none
    PageExcerpts excerpts; // of what matched
    QList<CommentMatch> comments;
};

// Comments of an entry that were not searched: the further pages and collapsed threads it has.
struct CommentsLeft {
    qsizetype pages = 0;
    qsizetype threads = 0;
};

struct ScannedEntry {
    QString address;
    QString dateStamp; // of the entry's text; empty when none
    std::optional<EntryMatch> match;
    qint64 scanned = 0; // entries scanned so far, this one included
    qint64 found = 0;   // entries that matched so far
};

struct SearchSummary {
    CrawlOutcome outcome = CrawlOutcome::Completed;
    qint64 links = 0;     // links of month pages taken up, skipped or not
    qint64 scanned = 0;   // entries read
    qint64 found = 0;     // entries that matched
    qint64 failed = 0;    // pages that could not be read
    QString report;       // the report's file name
    qint64 fromCache = 0; // entries taken from the page cache in place of a request
};

// A failure that ended the search: what the message box shows and the request it failed on.
struct SearchFailure {
    int number = 0;
    QString message;
    SearchSettings settings;
};

// Everything a search does, step by step. The crawl speaks only through these; the log, the status
// texts, the JSON lines and the report render them. Every call comes from the crawl, on its thread, in
// this order: searchStarted, sessionNote for each, paceChanged, scanStarted; over several years, the
// calendar and each year page with calendarStarted, the load's steps, then calendarRead or pageFailed;
// per month monthStarted, then
// the load's own steps (loadWaiting, loadRetrying, paceChanged), then monthRead or pageFailed; per link
// linkTaken and, for an entry, the load's steps, then pageFailed, or entryLoaded, then pageFailed for
// comments that could not be read, the loads of further comments (commentPageTaken, the load's steps,
// pageFailed) or commentsLeft, then entryScanned or pageFailed; loadStopped when the user stops a load;
// searchFailed when a failure ends the search; searchEnded last, however the search ended. A renderer that
// fails throws PlatformError, which ends the search.
class SearchEvents : public LoadProgress {
public:
    virtual void searchStarted(const SearchSettings & /*settings*/) {}
    // A line worth a place in the log once, before the first load (offline mode, login cookies read).
    virtual void sessionNote(const QString & /*note*/) {}
    virtual void scanStarted(const QDateTime & /*tmScanStart*/) {}
    virtual void calendarStarted(const CalendarPage & /*page*/) {}
    virtual void calendarRead(const CalendarRead & /*read*/) {}
    virtual void monthStarted(const MonthStart & /*month*/) {}
    virtual void monthRead(const MonthRead & /*month*/) {}
    virtual void linkTaken(const LinkTaken & /*link*/) {}
    virtual void entryLoaded(const QString & /*address*/) {}
    // A further page of the entry's comments, or a thread of them, is loaded (all comments asked for).
    virtual void commentPageTaken(const QString & /*address*/) {}
    virtual void commentsLeft(const CommentsLeft & /*left*/) {}
    virtual void pageFailed(const PageFailure & /*failure*/) {}
    virtual void entryScanned(const ScannedEntry & /*entry*/) {}
    virtual void searchFailed(const SearchFailure & /*failure*/) {}
    virtual void searchEnded(const SearchSummary & /*summary*/) {}
};

// Hands every event to each renderer in turn, in the order they were given.
class SearchEventsFanOut final : public SearchEvents {
public:
    explicit SearchEventsFanOut(QList<SearchEvents *> renderers)
        : m_renderers(std::move(renderers))
    {}

    void loadWaiting() override { each(&SearchEvents::loadWaiting); }
    void loadRetrying(const LoadRetry &retry) override { each(&SearchEvents::loadRetrying, retry); }
    void loadStopped() override { each(&SearchEvents::loadStopped); }
    void paceChanged(std::chrono::milliseconds pace, bool siteLimited) override
    {
        each(&SearchEvents::paceChanged, pace, siteLimited);
    }
    void searchStarted(const SearchSettings &settings) override
    {
        each(&SearchEvents::searchStarted, settings);
    }
    void sessionNote(const QString &note) override { each(&SearchEvents::sessionNote, note); }
    void scanStarted(const QDateTime &start) override { each(&SearchEvents::scanStarted, start); }
    void calendarStarted(const CalendarPage &page) override { each(&SearchEvents::calendarStarted, page); }
    void calendarRead(const CalendarRead &read) override { each(&SearchEvents::calendarRead, read); }
    void monthStarted(const MonthStart &month) override { each(&SearchEvents::monthStarted, month); }
    void monthRead(const MonthRead &month) override { each(&SearchEvents::monthRead, month); }
    void linkTaken(const LinkTaken &link) override { each(&SearchEvents::linkTaken, link); }
    void entryLoaded(const QString &address) override { each(&SearchEvents::entryLoaded, address); }
    void commentPageTaken(const QString &address) override { each(&SearchEvents::commentPageTaken, address); }
    void commentsLeft(const CommentsLeft &left) override { each(&SearchEvents::commentsLeft, left); }
    void pageFailed(const PageFailure &failure) override { each(&SearchEvents::pageFailed, failure); }
    void entryScanned(const ScannedEntry &entry) override { each(&SearchEvents::entryScanned, entry); }
    void searchFailed(const SearchFailure &failure) override { each(&SearchEvents::searchFailed, failure); }
    void searchEnded(const SearchSummary &summary) override { each(&SearchEvents::searchEnded, summary); }

private:
    template<typename Event, typename... Args>
    void each(Event event, const Args &...args)
    {
        for (SearchEvents *renderer : std::as_const(m_renderers))
            (renderer->*event)(args...);
    }

    QList<SearchEvents *> m_renderers;
};

} // namespace diarytrawl
