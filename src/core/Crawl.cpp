// SPDX-License-Identifier: GPL-3.0-or-later
#include "Crawl.h"

#include "CaselessFinder.h"
#include "RegExpObject.h"
#include "RegexpHelpers.h"
#include "ReportFile.h"
#include "StoredPages.h"
#include "YearSpan.h"
#include "loader/PageDecoding.h"
#include "platform/PlatformError.h"
#include "sites/Calendars.h"
#include "sites/LinkClassification.h"

#include <QSet>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <limits>
#include <optional>

namespace diarytrawl {

using namespace Qt::StringLiterals;

namespace {

constexpr int InternalErrorNumber = 51;
// A bound on the further pages and threads of one entry's comments, whatever a page links.
constexpr qsizetype MaxCommentPages = 2000;

// The first line break ('\r' or '\n') at or after from; n when there is none. Eight units at a time.
qsizetype nextBreak(const char16_t *units, qsizetype from, qsizetype n)
{
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi16('\r');
    const __m128i lf = _mm_set1_epi16('\n');
    for (; from + 8 <= n; from += 8) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(units + from));
        const int breaks =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(block, cr), _mm_cmpeq_epi16(block, lf)));
        if (breaks != 0)
            return from + std::countr_zero(unsigned(breaks)) / 2;
    }
#endif
    for (; from < n; ++from) {
        if (units[from] == u'\r' || units[from] == u'\n')
            return from;
    }
    return n;
}

// Line breaks become spaces, so that a pattern with a space can match across them: "\r\n", "\r" and
// "\n" alike. One pass: the text between breaks is copied a run at a time as it is scanned.
QString joinLines(const QString &text)
{
    const qsizetype n = text.size();
    const auto *in = reinterpret_cast<const char16_t *>(text.utf16());
    qsizetype at = nextBreak(in, 0, n);
    if (at == n)
        return text;
    QString joined(n, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(joined.data());
    std::copy(in, in + at, out);
    qsizetype written = at;
    while (at < n) {
        out[written++] = u' ';
        at += in[at] == u'\r' && at + 1 < n && in[at + 1] == u'\n' ? 2 : 1;
        const qsizetype runEnd = nextBreak(in, at, n);
        std::copy(in + at, in + runEnd, out + written);
        written += runEnd - at;
        at = runEnd;
    }
    joined.truncate(written);
    return joined;
}

// A month to walk: its year as the month page's address and the log write it, and its number.
struct MonthToWalk {
    QString strYear;
    int month = 0;
};

class Crawl {
public:
    Crawl(SearchFrontEnd &frontEnd, bool bRegScan, const SearchRequest &request)
        : m_frontEnd(frontEnd)
        , m_report(frontEnd.windowState(), frontEnd.clock(), frontEnd.dateTimeText())
        , m_events({&frontEnd.events(), &m_report})
        , m_bRegScan(bRegScan)
        , m_request(request)
    {}

    CrawlOutcome run()
    {
        try {
            return walk();
        } catch (const PlatformError &error) {
            reportFailure(error.number(), error.description());
        } catch (const std::exception &error) {
            reportFailure(InternalErrorNumber, QString::fromLocal8Bit(error.what()));
        }
        m_objIE.reset(); // released without Quit
        return ended(CrawlOutcome::Failed);
    }

private:
    WindowState &window() { return m_frontEnd.windowState(); }

    CrawlOutcome walk()
    {
        m_strSiteHost = window().strSiteHost;
        m_settings = ScanSetUpStrings(m_request, m_bRegScan, m_strSiteHost);
        m_events.searchStarted(m_settings);

        BrowserSession session;
        session.siteHost = m_strSiteHost;
        session.journal = m_request.strNick.trimmed();
        session.readsHtml = window().bSearchHtmlCode || window().bSavePages || window().bSaveMatchingOnly;
        session.adultConsent = window().bShowAdultContent;
        session.loginCookies = window().strLoginCookies;
        m_objIE = m_frontEnd.browserFactory().createBrowser(session);
        m_objIE->setVisible(false);
        m_objIE->setSilent(true);
        for (const QString &note : m_objIE->sessionNotes())
            m_events.sessionNote(note);
        m_events.paceChanged(m_objIE->pace(), false);

        m_tmScanStart = m_frontEnd.clock().now();
        m_events.scanStarted(m_tmScanStart);

        const YearSpan span = yearSpan(m_request.strYear);
        const int firstMonth = monthNumber(m_request.strFromMonth);
        const int lastMonth = monthNumber(m_request.strToMonth);
        if (span.kind != YearSpan::Kind::Single) {
            for (const QString &month : {m_request.strFromMonth, m_request.strToMonth}) {
                if (monthNumber(month) < 1 || monthNumber(month) > 12)
                    throw PlatformError(ErrorNumber::Overflow,
                                        u"Overflow: the month \""_s + month +
                                            u"\" lies outside 1..12, as it must with a "
                                            u"range of years"_s);
            }
        }
        m_nLinksPassed = 0;
        m_nLinksFound = 0;
        m_nLinksScanned = 0;
        if (m_bRegScan) {
            m_regExp.Pattern = m_request.strSearchTo; // a faulty pattern fails at its first test
            m_regExp.IgnoreCase = true;
            m_regExp.Global = false;
            for (const QString &literal : requiredLiterals(m_request.strSearchTo))
                m_required.emplace_back(literal);
        }

        const std::optional<QList<MonthToWalk>> months = monthsToWalk(span, firstMonth, lastMonth);
        if (!months) {
            quitBrowser();
            return ended(CrawlOutcome::StoppedAtMonthPage);
        }
        m_monthCount = int(months->size());
        for (qsizetype index = 0; index < months->size(); ++index) {
            if (const std::optional<CrawlOutcome> stopped = walkMonth(months->at(index), int(index) + 1))
                return *stopped;
        }

        const CrawlOutcome outcome =
            m_nPagesUnread == 0 ? CrawlOutcome::Completed : CrawlOutcome::CompletedWithUnreadPages;
        ended(outcome);
        m_objIE->Quit();
        m_frontEnd.Run(m_settings.strResultsPageName);
        return outcome;
    }

    CrawlOutcome ended(CrawlOutcome outcome)
    {
        m_events.searchEnded({outcome, m_nLinksPassed, m_nLinksScanned, m_nLinksFound, m_nPagesUnread,
                              m_settings.strResultsPageName, m_nFromCache});
        return outcome;
    }

    // maxAge: an entry read recently may come from the page cache; month pages, year pages and the
    // calendar are always asked for, since they say what is new.
    bool load(const QString &address, std::chrono::seconds maxAge = std::chrono::seconds(0))
    {
        return IELoadLink(*m_objIE, address, m_events, window().bStopRequested, m_frontEnd.retryPolicy(),
                          &m_lastLoad, maxAge);
    }

    // A page that could not be read: counted, listed in the report's tail, never searched.
    void unread(const QString &address, const LoadOutcome &outcome, const QString &reason, UnreadStage stage)
    {
        ++m_nPagesUnread;
        m_events.pageFailed({address, outcome.failure, reason, stage});
    }

    void quitBrowser()
    {
        m_objIE->setVisible(true);
        m_objIE->Quit();
        m_objIE.reset();
    }

    // The months a search walks: of one year, those the search names, as it always has; of a range of
    // years or of the whole journal, those the year pages show to have entries, within the span from the
    // first month of the first year to the last month of the last. nullopt: the user stopped a load.
    std::optional<QList<MonthToWalk>> monthsToWalk(const YearSpan &span, int firstMonth, int lastMonth)
    {
        QList<MonthToWalk> months;
        if (span.kind == YearSpan::Kind::Single) {
            for (int month = firstMonth; month <= lastMonth; ++month)
                months.append({m_request.strYear, month});
            return months;
        }
        QList<int> years;
        std::shared_ptr<const HtmlDocument> calendar;
        if (span.kind == YearSpan::Kind::Range) {
            for (int year = span.first; year <= span.last; ++year)
                years.append(year);
        } else {
            const QString address = sites::calendarAddress(m_strSiteHost, m_request.strNick);
            m_events.calendarStarted({address, 0});
            if (!load(address))
                return std::nullopt;
            calendar = m_objIE->Document();
            if (!calendar->outcome.ok()) {
                unread(address, calendar->outcome, m_lastLoad.failureReason(), UnreadStage::Calendar);
                return months;
            }
            years = sites::yearsWithEntries(*calendar, m_request.strNick, m_strSiteHost);
            m_events.calendarRead({0, years});
        }
        for (const int year : std::as_const(years)) {
            const int from = year == years.first() ? firstMonth : 1;
            const int to = year == years.last() ? lastMonth : 12;
            // The calendar is the year view of the journal's latest year: its months need no page more.
            QList<int> withEntries =
                calendar ? sites::monthsWithEntries(*calendar, year, m_request.strNick, m_strSiteHost)
                         : QList<int>();
            if (withEntries.isEmpty()) {
                const QString address = sites::yearPageAddress(m_strSiteHost, m_request.strNick, year);
                m_events.calendarStarted({address, year});
                if (!load(address))
                    return std::nullopt;
                const std::shared_ptr<const HtmlDocument> page = m_objIE->Document();
                if (page->outcome.ok()) {
                    withEntries = sites::monthsWithEntries(*page, year, m_request.strNick, m_strSiteHost);
                    m_events.calendarRead({year, withEntries});
                } else {
                    unread(address, page->outcome, m_lastLoad.failureReason(), UnreadStage::YearPage);
                    for (int month = 1; month <= 12; ++month)
                        withEntries.append(month);
                }
            }
            for (const int month : std::as_const(withEntries)) {
                if (month >= from && month <= to)
                    months.append({QString::number(year), month});
            }
        }
        return months;
    }

    // Returns how the search ended when the user stopped it during this month.
    std::optional<CrawlOutcome> walkMonth(const MonthToWalk &month, int monthIndex)
    {
        QString monthText = QString::number(month.month);
        if (monthText.size() < 2)
            monthText.prepend(u'0');
        const QString &strYear = month.strYear;
        const QString monthAddress =
            u"http://" + m_strSiteHost + u"/~" + m_request.strNick + u'/' + strYear + u'/' + monthText + u'/';

        m_events.monthStarted({monthIndex, m_monthCount, monthAddress, strYear, monthText});
        if (!load(monthAddress)) {
            quitBrowser();
            return ended(CrawlOutcome::StoppedAtMonthPage);
        }
        const std::shared_ptr<const HtmlDocument> monthPage = m_objIE->Document();
        if (!monthPage->outcome.ok()) {
            // Its links are not walked: a page the loader made up, or an error page, links nowhere useful.
            unread(monthAddress, monthPage->outcome, m_lastLoad.failureReason(), UnreadStage::MonthPage);
            return std::nullopt;
        }

        const QList<web::WebAddress> links = monthPage->links;
        QList<bool> entries(links.size());
        for (qsizetype i = 0; i < links.size(); ++i)
            entries[i] = !IsCalendarLink(links[i], strYear, m_request.strNick, m_strSiteHost) &&
                         !SkipLink(links[i], m_request.strNick, m_strSiteHost);
        m_events.monthRead({links.size(), entries.count(true)});
        for (qsizetype onPage = 0; onPage < links.size(); ++onPage) {
            const QString &strLink = links.at(onPage).href();
            ++m_nLinksPassed;
            m_events.linkTaken(
                {m_nLinksPassed, onPage + 1, links.size(), strLink, !entries[onPage], strYear, monthText});
            if (!entries[onPage])
                continue;
            if (!load(strLink, m_frontEnd.cacheMaxAge())) {
                quitBrowser();
                ended(CrawlOutcome::StoppedAtEntry);
                m_frontEnd.Run(m_settings.strResultsPageName);
                return CrawlOutcome::StoppedAtEntry;
            }
            const std::shared_ptr<const HtmlDocument> objDoc = m_objIE->Document();
            if (!objDoc->outcome.ok()) {
                unread(strLink, objDoc->outcome, m_lastLoad.failureReason(), UnreadStage::Entry);
                continue;
            }
            ++m_nLinksScanned;
            m_nFromCache += objDoc->fromCache ? 1 : 0;
            m_events.entryLoaded(strLink);
            const std::optional<QList<PageComment>> comments = gatherComments(strLink, *objDoc);
            if (!comments) {
                quitBrowser();
                ended(CrawlOutcome::StoppedAtEntry);
                m_frontEnd.Run(m_settings.strResultsPageName);
                return CrawlOutcome::StoppedAtEntry;
            }
            matchEntry(strLink, strYear, *objDoc, *comments);
        }
        return std::nullopt;
    }

    // Whether text may match at all: false when it lacks what every match of the pattern holds. The
    // engine is asked at least once all the same, so that a faulty pattern fails at its first test.
    bool mayMatch(const QString &text) const
    {
        if (!m_bRegScan || !m_regExpTested || m_required.empty())
            return true;
        return std::any_of(m_required.cbegin(), m_required.cend(),
                           [&](const CaselessFinder &literal) { return literal.indexIn(text) >= 0; });
    }

    // prefiltered: mayMatch has said yes of the text already (or of it before its lines were joined).
    bool matches(const QString &text, bool prefiltered = false)
    {
        if (m_bRegScan) {
            if (!prefiltered && !mayMatch(text))
                return false;
            m_regExpTested = true;
            return m_regExp.Test(text);
        }
        // An empty search string is found in every text but an empty one.
        return !text.isEmpty() && m_finder.indexIn(text) >= 0;
    }

    // The comments of an entry: those its page carries and, with all comments asked for, those of its
    // further pages and collapsed threads, each loaded once. nullopt: the user stopped a load.
    std::optional<QList<PageComment>> gatherComments(const QString &strLink, const HtmlDocument &objDoc)
    {
        QList<PageComment> comments = objDoc.comments.comments;
        noteUnreadComments(strLink, objDoc.comments);
        if (!objDoc.comments.more())
            return comments;
        if (!window().bSearchAllComments) {
            m_events.commentsLeft({objDoc.comments.morePages.size(), objDoc.comments.collapsed.size()});
            return comments;
        }
        QSet<qint64> threads;
        for (const PageComment &comment : std::as_const(comments))
            threads.insert(comment.thread);
        QSet<QString> taken{objDoc.address.left(objDoc.address.indexOf(u'#'))};
        QList<web::WebAddress> waiting = objDoc.comments.morePages + objDoc.comments.collapsed;
        for (qsizetype next = 0; next < waiting.size() && taken.size() <= MaxCommentPages; ++next) {
            const QString address = waiting[next].href();
            if (taken.contains(address))
                continue;
            taken.insert(address);
            m_events.commentPageTaken(address);
            if (!load(address, m_frontEnd.cacheMaxAge()))
                return std::nullopt;
            const std::shared_ptr<const HtmlDocument> page = m_objIE->Document();
            if (!page->outcome.ok()) {
                unread(address, page->outcome, m_lastLoad.failureReason(), UnreadStage::CommentPage);
                continue;
            }
            noteUnreadComments(address, page->comments);
            for (const PageComment &comment : page->comments.comments) {
                if (!threads.contains(comment.thread)) {
                    threads.insert(comment.thread);
                    comments.append(comment);
                }
            }
            waiting += page->comments.morePages + page->comments.collapsed;
        }
        return comments;
    }

    void noteUnreadComments(const QString &address, const PageComments &comments)
    {
        if (!comments.problem.isEmpty())
            unread(address, LoadOutcome{LoadFailure::Comments, comments.problem}, comments.problem,
                   UnreadStage::Comments);
    }

    void matchEntry(const QString &strLink, const QString &strYear, const HtmlDocument &objDoc,
                    const QList<PageComment> &comments)
    {
        try {
            matchEntryText(strLink, strYear, objDoc, comments);
        } catch (const PlatformError &error) {
            // A pattern that runs away on one page costs that page, not the search.
            if (error.number() != ErrorNumber::TooCostly)
                throw;
            const QString reason = u"too costly to search with this pattern"_s;
            --m_nLinksScanned; // read, but not searched
            unread(strLink, LoadOutcome{LoadFailure::TooComplex, reason}, reason, UnreadStage::EntrySearch);
        }
    }

    // The page's own text, or its HTML: without the comments it renders, which are searched one by one.
    template<typename Text, typename View>
    static Text withoutComments(View text, const QList<std::pair<qsizetype, qsizetype>> &ranges)
    {
        Text own;
        qsizetype from = 0;
        for (const auto &[start, end] : ranges) {
            if (start >= from) {
                own += text.sliced(from, start - from);
                from = end;
            }
        }
        own += text.sliced(std::min(from, text.size()));
        return own;
    }
    static QString ownText(const HtmlDocument &objDoc)
    {
        const auto &ranges = objDoc.comments.textRanges;
        return ranges.isEmpty() ? objDoc.bodyInnerText
                                : withoutComments<QString>(QStringView(objDoc.bodyInnerText), ranges);
    }
    // Cut from the UTF-8 and decoded once.
    static QString ownHtml(const HtmlDocument &objDoc)
    {
        const auto &ranges = objDoc.comments.htmlRanges;
        return ranges.isEmpty()
                   ? objDoc.bodyInnerHtml()
                   : web::wellFormedUtf8ToString(withoutComments<QByteArray>(objDoc.bodyHtmlUtf8(), ranges));
    }

    void matchEntryText(const QString &strLink, const QString &strYear, const HtmlDocument &objDoc,
                        const QList<PageComment> &comments)
    {
        if (window().bSavePages)
            SavePage(objDoc, strLink, window().strSavedPagesFolder);

        // Lines are joined only for a text that may match: a date stamp holds no line break.
        const QString own = ownText(objDoc);
        const bool ownMayMatch = mayMatch(own);
        const QString entryText = m_bRegScan && ownMayMatch ? joinLines(own) : own;
        ScannedEntry scanned;
        scanned.address = strLink;
        scanned.dateStamp = dateStamp(entryText, strYear);
        QString strPageText;
        bool found = false;
        if (window().bSearchHtmlCode) {
            const QString html = ownHtml(objDoc);
            const bool htmlMayMatch = mayMatch(html);
            const QString entryHtml = m_bRegScan && htmlMayMatch ? joinLines(html) : html;
            if (htmlMayMatch && matches(entryHtml, true)) {
                found = true;
                strPageText = entryHtml;
            }
        }
        const bool textMatches = ownMayMatch && matches(entryText, true);
        if (textMatches) {
            found = true;
            strPageText = entryText;
        }
        // Cut before anything is told: a match that costs too much fails the entry, not half a block.
        QList<CommentMatch> commentMatches;
        for (const PageComment &comment : comments) {
            QString text = m_bRegScan ? joinLines(comment.text) : comment.text;
            bool hit = matches(text);
            if (!hit && window().bSearchHtmlCode) {
                text = m_bRegScan ? joinLines(comment.html) : comment.html;
                hit = matches(text);
            }
            if (!hit)
                continue;
            commentMatches.append({comment.thread, comment.address, comment.author,
                                   pageExcerpts(text, m_request.strSearchTo, m_bRegScan)});
        }
        if (found || !commentMatches.isEmpty()) {
            EntryMatch match;
            match.inEntry = found;
            if (found)
                match.excerpts = pageExcerpts(strPageText, m_request.strSearchTo, m_bRegScan);
            match.comments = std::move(commentMatches);
            match.number = ++m_nLinksFound;
            match.strSearchTo = m_request.strSearchTo;
            match.bRegScan = m_bRegScan;
            // The date the report shows: of what matched, which is most often the entry's text itself.
            match.dateStamp = textMatches || !found ? scanned.dateStamp : dateStamp(strPageText, strYear);
            match.strPageText = std::move(strPageText);
            scanned.match = std::move(match);
        }
        scanned.scanned = m_nLinksScanned;
        scanned.found = m_nLinksFound;
        m_events.entryScanned(scanned);
        if (scanned.match && window().bSaveMatchingOnly && !window().bSavePages)
            SavePage(objDoc, strLink, window().strSavedPagesFolder);
    }

    void reportFailure(int number, const QString &description)
    {
        QString message = u"\r\nError " + QString::number(number) + u": \r\n" + description + u"\r\n---\r\n";
        if (m_bRegScan)
            message += u"(Incorrect regular expression?)\r\n"
                       u"Search aborted. If Your RegExp is correct,\r\n"
                       u"please, go to the help page and let me a note.\r\n"_s;
        else
            message += u"Search aborted.\r\n"_s;
        m_frontEnd.showMessage(message);
        m_events.searchFailed({number, message, m_settings});
    }

    SearchFrontEnd &m_frontEnd;
    ReportWriter m_report;
    SearchEventsFanOut m_events;
    const bool m_bRegScan;
    const SearchRequest m_request;

    SearchSettings m_settings;
    std::unique_ptr<Browser> m_objIE;
    QDateTime m_tmScanStart;
    qint64 m_nLinksPassed = 0;
    qint64 m_nLinksScanned = 0;
    qint64 m_nLinksFound = 0;
    qint64 m_nPagesUnread = 0;
    qint64 m_nFromCache = 0; // entries taken from the page cache in place of a request
    RegExpObject m_regExp;
    std::vector<CaselessFinder> m_required; // one of these every match of the regular expression holds
    bool m_regExpTested = false;
    CaselessFinder m_finder{m_request.strSearchTo}; // the plain search
    LoadReport m_lastLoad;
    int m_monthCount = 0;
    QString m_strSiteHost;
};

} // namespace

qint16 monthNumber(const QString &strMonth)
{
    const QString trimmed = strMonth.trimmed();
    bool isNumber = !trimmed.isEmpty();
    for (qsizetype i = 0; i < trimmed.size() && isNumber; ++i) {
        const QChar c = trimmed.at(i);
        isNumber = (c >= u'0' && c <= u'9') || (i == 0 && trimmed.size() > 1 && (c == u'+' || c == u'-'));
    }
    if (!isNumber)
        throw PlatformError(ErrorNumber::InvalidNumber,
                            u"Type mismatch: the month \"" + strMonth + u"\" is not a whole number");
    bool inRange = false;
    const int value = trimmed.toInt(&inRange);
    if (!inRange || value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max())
        throw PlatformError(ErrorNumber::Overflow,
                            u"Overflow: the month \"" + strMonth + u"\" lies outside -32768..32767");
    return static_cast<qint16>(value);
}

CrawlOutcome Scan(SearchFrontEnd &frontEnd, const SearchRequest &request)
{
    return Crawl(frontEnd, false, request).run();
}

CrawlOutcome RegScan(SearchFrontEnd &frontEnd, const SearchRequest &request)
{
    return Crawl(frontEnd, true, request).run();
}

} // namespace diarytrawl
