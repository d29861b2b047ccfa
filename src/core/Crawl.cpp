// SPDX-License-Identifier: GPL-3.0-or-later
#include "Crawl.h"

#include "RegExpObject.h"
#include "RegexpHelpers.h"
#include "ReportFile.h"
#include "ReportLock.h"
#include "ScanSetUp.h"
#include "StatusText.h"
#include "StoredPages.h"
#include "loader/PageLoading.h"
#include "platform/PlatformError.h"
#include "sites/LinkClassification.h"

#include <limits>
#include <optional>

namespace diarytrawl {

using namespace Qt::StringLiterals;

namespace {

constexpr int InternalErrorNumber = 51;

// What the user can do about a page the site put in place of the one asked for.
QString hintFor(LoadFailure failure)
{
    switch (failure) {
    case LoadFailure::AdultNotice:
        return u" (to read such pages, say you are 18 or older: \"Show adult content\" in the Other menu, "
               u"or --adult)"_s;
    case LoadFailure::LoginPage:
        return u" (to read friends-only pages, search with your own login: \"Use login cookies from a "
               u"file...\" in the Other menu, or --cookies / --cookies-from-browser)"_s;
    default:
        return QString();
    }
}

QString quoted(const QString &text)
{
    return u'"' + text + u'"';
}

// Line breaks become spaces, so that a pattern with a space can match across them.
QString joinLines(QString text)
{
    text.replace(u"\r\n"_s, u" "_s);
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

class Crawl {
public:
    Crawl(SearchFrontEnd &frontEnd, bool bRegScan, const QString &strNick, const QString &strYear,
          const QString &strFromMonth, const QString &strToMonth, const QString &strSearchTo)
        : m_frontEnd(frontEnd)
        , m_log(frontEnd.log())
        , m_bRegScan(bRegScan)
        , m_strNick(strNick)
        , m_strYear(strYear)
        , m_strFromMonth(strFromMonth)
        , m_strToMonth(strToMonth)
        , m_strSearchTo(strSearchTo)
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
        m_log.Echo(m_bRegScan ? u"RegScan():\r\n"_s : u"Scan():\r\n"_s, true);
        m_strSiteHost = window().strSiteHost;
        ScanSetUpStrings(m_strNick, m_strYear, m_strFromMonth, m_strToMonth, m_strSearchTo, m_strStartAddress,
                         m_strResultsPageName, m_bRegScan, m_strSiteHost, m_log);

        BrowserSession session;
        session.siteHost = m_strSiteHost;
        session.adultConsent = window().bShowAdultContent;
        session.loginCookies = window().strLoginCookies;
        m_objIE = m_frontEnd.browserFactory().createBrowser(session);
        m_objIE->setVisible(false);
        m_objIE->setSilent(true);
        for (const QString &note : m_objIE->sessionNotes())
            m_log.Echo2(note + u";\r\n"_s);

        m_tmScanStart = m_frontEnd.clock().now();
        m_reportLock.emplace(m_strResultsPageName);
        StartHtmlReportFile(m_strNick, m_strYear, m_strFromMonth, m_strToMonth, m_strSearchTo,
                            m_strStartAddress, m_strResultsPageName, m_tmScanStart, m_bRegScan,
                            m_frontEnd.dateTimeText());

        const int firstMonth = monthNumber(m_strFromMonth);
        const int lastMonth = monthNumber(m_strToMonth);
        m_nLinksPassed = 0;
        m_nLinksFound = 0;
        m_nLinksScanned = 0;
        if (m_bRegScan) {
            m_regExp.Pattern = m_strSearchTo; // a faulty pattern fails at its first test
            m_regExp.IgnoreCase = true;
            m_regExp.Global = false;
        }

        m_monthCount = firstMonth <= lastMonth ? lastMonth - firstMonth + 1 : 0;
        for (int month = firstMonth; month <= lastMonth; ++month) {
            if (const std::optional<CrawlOutcome> stopped = walkMonth(month, month - firstMonth + 1))
                return *stopped;
        }

        m_log.Echo2(u"\r\n--------------------\r\n"_s);
        m_log.Echo2(u"results: " + QString::number(m_nLinksFound) + u" links found (see log above);\r\n");
        m_log.Echo2(QString::number(m_nLinksScanned) + u" links scanned;\r\n");
        if (!m_unreadPages.isEmpty())
            m_log.Echo2(QString::number(m_unreadPages.size()) +
                        u" pages could not be read (see log above);\r\n");
        completeReport(false);
        m_objIE->Quit();
        m_frontEnd.Run(m_strResultsPageName);
        return ended(m_unreadPages.isEmpty() ? CrawlOutcome::Completed
                                             : CrawlOutcome::CompletedWithUnreadPages);
    }

    CrawlOutcome ended(CrawlOutcome outcome)
    {
        m_frontEnd.events().searchEnded({outcome, m_nLinksPassed, m_nLinksScanned, m_nLinksFound,
                                         qint64(m_unreadPages.size()), m_strResultsPageName});
        return outcome;
    }

    bool load(const QString &address)
    {
        return IELoadLink(*m_objIE, address, m_log, window().bStopRequested, m_frontEnd.retryPolicy(),
                          &m_lastLoad);
    }

    // A page that could not be read: counted, listed in the report's tail, never searched.
    void unread(const QString &address, const LoadOutcome &outcome, const QString &reason)
    {
        m_unreadPages.append({address, reason});
        m_frontEnd.events().pageFailed(address, outcome.failure, reason);
    }

    // Returns how the search ended when the user stopped it during this month.
    std::optional<CrawlOutcome> walkMonth(int month, int monthIndex)
    {
        QString monthText = QString::number(month);
        if (monthText.size() < 2)
            monthText.prepend(u'0');
        const QString monthAddress = m_strStartAddress + monthText + u'/';

        m_frontEnd.events().monthStarted(monthIndex, m_monthCount, monthAddress);
        m_log.Echo2(u"Loading page ... " + quoted(monthAddress) + u";\r\n");
        if (!load(monthAddress)) {
            m_objIE->setVisible(true);
            m_objIE->Quit();
            m_objIE.reset();
            return ended(CrawlOutcome::StoppedAtMonthPage);
        }
        const std::shared_ptr<const HtmlDocument> monthPage = m_objIE->Document();
        if (!monthPage->outcome.ok()) {
            // Its links are not walked: a page the loader made up, or an error page, links nowhere useful.
            const QString reason = m_lastLoad.failureReason();
            m_log.Echo2(u"Could not read the month page " + quoted(monthAddress) + u": " + reason + u';' +
                        hintFor(monthPage->outcome.failure) + u"\r\n");
            unread(monthAddress, monthPage->outcome, reason);
            return std::nullopt;
        }
        m_log.Echo2(u"Page loaded, parsing...\r\n"_s);

        const QStringList links = monthPage->links;
        m_frontEnd.events().monthRead(links.size());
        for (qsizetype onPage = 0; onPage < links.size(); ++onPage) {
            const QString &strLink = links.at(onPage);
            ++m_nLinksPassed;
            const bool calendar = IsCalendarLink(strLink, m_strYear);
            const bool skip = SkipLink(strLink, m_strNick, m_strSiteHost);
            m_frontEnd.events().linkTaken(m_nLinksPassed, onPage + 1, links.size(), strLink,
                                          calendar || skip);
            if (calendar || skip) {
                m_log.Echo2(u"link(" + QString::number(m_nLinksPassed) + u"): '" + strLink +
                            u"' -- skipped\r\n");
                continue;
            }
            m_log.Echo2(m_strYear + u'/' + monthText + u"/link(" + QString::number(m_nLinksPassed) + u"): '" +
                        strLink + u"'\r\n");
            if (!load(strLink)) {
                m_objIE->setVisible(true);
                m_objIE->Quit();
                m_objIE.reset();
                completeReport(true);
                m_frontEnd.Run(m_strResultsPageName);
                return ended(CrawlOutcome::StoppedAtEntry);
            }
            const std::shared_ptr<const HtmlDocument> objDoc = m_objIE->Document();
            if (!objDoc->outcome.ok()) {
                const QString reason = m_lastLoad.failureReason();
                m_log.Echo2(u"Not read: " + reason + u';' + hintFor(objDoc->outcome.failure) + u"\r\n");
                unread(strLink, objDoc->outcome, reason);
                continue;
            }
            ++m_nLinksScanned;
            m_log.Echo2(u"Ok \r\n"_s);
            matchEntry(strLink, *objDoc);
        }
        return std::nullopt;
    }

    bool matches(const QString &text) const
    {
        if (m_bRegScan)
            return m_regExp.Test(text);
        // An empty search string is found in every text but an empty one.
        return !text.isEmpty() && text.contains(m_strSearchTo, Qt::CaseInsensitive);
    }

    void matchEntry(const QString &strLink, const HtmlDocument &objDoc)
    {
        try {
            matchEntryText(strLink, objDoc);
        } catch (const PlatformError &error) {
            // A pattern that runs away on one page costs that page, not the search.
            if (error.number() != ErrorNumber::TooCostly)
                throw;
            const QString reason = u"too costly to search with this pattern"_s;
            --m_nLinksScanned; // read, but not searched
            m_log.Echo2(u"Not searched: "_s + reason + u";\r\n"_s);
            unread(strLink, LoadOutcome{LoadFailure::TooComplex, reason}, reason);
        }
    }

    void matchEntryText(const QString &strLink, const HtmlDocument &objDoc)
    {
        if (window().bSavePages)
            SavePage(objDoc, strLink, window().strSavedPagesFolder);

        const QString entryText = m_bRegScan ? joinLines(objDoc.bodyInnerText) : objDoc.bodyInnerText;
        bool found = false;
        QString strPageText;
        if (window().bSearchHtmlCode) {
            const QString entryHtml = m_bRegScan ? joinLines(objDoc.bodyInnerHtml) : objDoc.bodyInnerHtml;
            if (matches(entryHtml)) {
                found = true;
                strPageText = entryHtml;
            }
        }
        if (matches(entryText)) {
            found = true;
            strPageText = entryText;
        }
        // Cut before anything is written: a match that costs too much fails the entry, not half a block.
        const PageExcerpts excerpts =
            found ? pageExcerpts(strPageText, m_strSearchTo, m_bRegScan) : PageExcerpts();
        m_log.Echo2(u"... scanned;\r\n"_s);
        if (found) {
            ++m_nLinksFound;
            m_log.Echo2(u"--> link '" + strLink + u"':\r\n");
            m_log.Echo2((m_bRegScan ? u"    found match '"_s : u"    found string '"_s) + m_strSearchTo +
                        u"' (occurrence " + QString::number(m_nLinksFound) + u")\r\n");
            AddToHtmlReportFile(m_strResultsPageName, m_strSearchTo, m_strYear, strLink, m_nLinksFound,
                                strPageText, excerpts);
            if (window().bSaveMatchingOnly && !window().bSavePages)
                SavePage(objDoc, strLink, window().strSavedPagesFolder);
        }

        const QString lastMessageDate = RegMatch(entryText, dateStampPattern(m_strYear), true);
        m_frontEnd.events().entryRead(strLink, lastMessageDate);
        if (found) {
            // The date the report shows: of what matched, which is most often the entry's text itself.
            const QString matchDate = strPageText == entryText
                                          ? lastMessageDate
                                          : RegMatch(strPageText, dateStampPattern(m_strYear), true);
            m_frontEnd.events().entryMatched(strLink, m_nLinksFound, matchDate, excerpts);
        }
        if (!lastMessageDate.isEmpty())
            SetStatusReport(lastMessageDate);
    }

    void SetStatusReport(const QString &lastMessageDate)
    {
        m_frontEnd.StatusReport(statusReportText(m_tmScanStart, m_frontEnd.clock().now(), m_nLinksPassed,
                                                 m_nLinksScanned, m_nLinksFound, lastMessageDate,
                                                 m_frontEnd.dateTimeText()));
    }

    void completeReport(bool bInterrupt)
    {
        const QDateTime tmScanEnd = m_frontEnd.clock().now();
        CompleteReportFile(m_strResultsPageName, m_nLinksScanned, m_nLinksFound, m_tmScanStart, tmScanEnd,
                           bInterrupt, m_unreadPages, window(), m_frontEnd.dateTimeText());
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
        m_log.Echo2(message);
        m_log.Echo2(u"---\r\n"
                    u"If You're going to report the error, please, provide the following information:\r\n"
                    u" -- Your Windows version;\r\n"
                    u" -- Your Internet Explorer version;\r\n"
                    u" -- Your request:\r\n"
                    u"journal: " +
                    quoted(m_strNick) +
                    u";\r\n"
                    u"year: " +
                    quoted(m_strYear) +
                    u";\r\n"
                    u"search-string: " +
                    quoted(m_strSearchTo) +
                    u";\r\n"
                    u"from month: " +
                    m_strFromMonth +
                    u";\r\n"
                    u"to month: " +
                    m_strToMonth + u";\r\n");
    }

    SearchFrontEnd &m_frontEnd;
    LogSink &m_log;
    const bool m_bRegScan;
    const QString m_strNick;
    const QString m_strYear;
    const QString m_strFromMonth;
    const QString m_strToMonth;
    const QString m_strSearchTo;

    QString m_strStartAddress;
    QString m_strResultsPageName;
    std::unique_ptr<Browser> m_objIE;
    QDateTime m_tmScanStart;
    qint64 m_nLinksPassed = 0;
    qint64 m_nLinksScanned = 0;
    qint64 m_nLinksFound = 0;
    RegExpObject m_regExp;
    QList<UnreadPage> m_unreadPages;
    LoadReport m_lastLoad;
    int m_monthCount = 0;
    QString m_strSiteHost;
    std::optional<ReportLock> m_reportLock;
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

CrawlOutcome Scan(SearchFrontEnd &frontEnd, const QString &strNick, const QString &strYear,
                  const QString &strFromMonth, const QString &strToMonth, const QString &strSearchTo)
{
    return Crawl(frontEnd, false, strNick, strYear, strFromMonth, strToMonth, strSearchTo).run();
}

CrawlOutcome RegScan(SearchFrontEnd &frontEnd, const QString &strNick, const QString &strYear,
                     const QString &strFromMonth, const QString &strToMonth, const QString &strSearchTo)
{
    return Crawl(frontEnd, true, strNick, strYear, strFromMonth, strToMonth, strSearchTo).run();
}

} // namespace diarytrawl
