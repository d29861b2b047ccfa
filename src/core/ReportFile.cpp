// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReportFile.h"

#include "Excerpts.h"
#include "RegexpHelpers.h"
#include "TextFile.h"
#include "platform/FileSystem.h"

namespace diarytrawl {

using namespace Qt::StringLiterals;

namespace {

constexpr int Rewrite = 1;
constexpr int Append = 0;

QString html(QString text)
{
    htmlSafeDecore(text);
    return text;
}

// Text the report quotes, escaped and between double quotes.
QString quoted(const QString &text)
{
    return u'"' + html(text) + u'"';
}

// The button's address sits inside window.open("...") inside a single-quoted attribute. '#' and '?'
// would end the path there.
QString addressSafeInScript(const QString &path)
{
    QString safe;
    safe.reserve(path.size());
    for (const QChar c : path) {
        if (c.unicode() < 0x20 || QStringView(u"%'\"\\<>&#?").contains(c))
            safe += u'%' + QStringLiteral("%1").arg(c.unicode(), 2, 16, QChar(u'0')).toUpper();
        else
            safe += c;
    }
    return safe;
}

} // namespace

void StartHtmlReportFile(const QString &strNick, const QString &strYear, const QString &strFromMonth,
                         const QString &strToMonth, const QString &strSearchTo,
                         const QString &strStartAddress, const QString &strResultsPageName,
                         const QDateTime &tmScanStart, bool bRegScan, const DateTimeText &dateTimeText)
{
    WriteHtmlString(strResultsPageName, u"<html>\r\n\r\n<head>\r\n"_s, Rewrite);
    WriteHtmlString(strResultsPageName,
                    u"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\r\n"_s,
                    Append);
    WriteHtmlString(strResultsPageName, u"</head>\r\n\r\n<body>\r\n\r\n"_s, Append);

    const QStringView searchLabel = bRegScan ? u"search expression: " : u"search-string: ";
    const QString settings = u"\r\n"
                             u"nick: " +
                             quoted(strNick) +
                             u"; <br>\r\n"
                             u"year: " +
                             quoted(strYear) + u"; <br>\r\n" + searchLabel + quoted(strSearchTo) +
                             u"; <br>\r\n"
                             u"link: " +
                             quoted(strStartAddress) +
                             u"; <br>\r\n"
                             u"from month: " +
                             html(strFromMonth) +
                             u"; <br>\r\n"
                             u"to month: " +
                             html(strToMonth) +
                             u"; <br><br>\r\n\r\n"
                             u"scan started at: <i>" +
                             html(dateTimeText.toText(tmScanStart)) +
                             u"</i>; <br>\r\n"
                             u"---<br>\r\n";
    WriteHtmlString(strResultsPageName, settings, Append);
}

void AddToHtmlReportFile(const QString &strResultsPageName, const QString &strSearchTo,
                         const QString &strYear, const QString &strCurrAddress, qint64 nLinkFoundNumber,
                         const QString &strPageText, bool bRegScan)
{
    const PageExcerpts excerpts = pageExcerpts(strPageText, strSearchTo, bRegScan);
    AddToHtmlReportFile(strResultsPageName, strSearchTo, strCurrAddress, nLinkFoundNumber,
                        dateStamp(strPageText, strYear), &excerpts);
}

void AddToHtmlReportFile(const QString &strResultsPageName, const QString &strSearchTo,
                         const QString &strCurrAddress, qint64 nLinkFoundNumber, const QString &strDateStamp,
                         const PageExcerpts *excerpts)
{
    QString linkLine = u"<a href=\"" + htmlAttribute(strCurrAddress) + u"\">" + html(strSearchTo) + u'(' +
                       QString::number(nLinkFoundNumber) + u") </a><br>\r\n\r\n";
    if (!strDateStamp.isEmpty())
        linkLine += u" &nbsp;&nbsp; <i>" + html(strDateStamp) + u"</i>:";
    if (excerpts) // in the same write: a report cut short by a crash has a match whole or not at all
        linkLine += u"&nbsp;&nbsp;&nbsp;&nbsp; " + excerptsHtml(*excerpts) + u"<br>\r\n";
    WriteHtmlString(strResultsPageName, linkLine, Append);
}

void AddCommentsToHtmlReportFile(const QString &strResultsPageName, const QList<CommentMatch> &comments)
{
    QString lines;
    for (const CommentMatch &comment : comments)
        lines += u"&nbsp;&nbsp;&nbsp;&nbsp; <a href=\"" + htmlAttribute(comment.address) + u"\">comment" +
                 (comment.author.isEmpty() ? QString() : u" by " + html(comment.author)) + u"</a>: " +
                 excerptsHtml(comment.excerpts) + u"<br>\r\n";
    WriteHtmlString(strResultsPageName, lines, Append);
}

QString reportFolderAddress(const QString &strResultsPageName)
{
    const QString fullPath = fso::GetAbsolutePathName(strResultsPageName);
    // Only the last component goes: a folder that happens to contain the file's name keeps it.
    const QString folder = fullPath.left(fullPath.size() - fso::GetFileName(fullPath).size());
    return addressSafeInScript(folder.endsWith(u'/') ? folder : folder + u'/');
}

void CompleteReportFile(const QString &strResultsPageName, qint64 nLinksScanned, qint64 nLinksFound,
                        const QDateTime &tmScanStart, const QDateTime &tmScanEnd, bool bInterrupt,
                        const QList<UnreadPage> &unreadPages, const WindowState &window,
                        const DateTimeText &dateTimeText)
{
    QString summary;
    if (bInterrupt)
        summary += u"\r\n<br> ----- <b><i>scan aborted</i></b> ----- <br>\r\n"_s;
    summary += u"--- <br>\r\n"
               u"scan finished at: <i>" +
               html(dateTimeText.toText(tmScanEnd)) +
               u"</i>; <br>\r\n"
               u"<br>summary: " +
               QString::number(nLinksFound) + u" links found; <br>\r\n" + QString::number(nLinksScanned) +
               u" links scanned<i> (scan time: " +
               html(dateTimeText.toText(std::chrono::seconds(tmScanStart.secsTo(tmScanEnd)))) +
               u")</i>; <br>\r\n";
    if (!unreadPages.isEmpty()) {
        summary += u"<br>"_s + QString::number(unreadPages.size()) + u" pages could not be read: <br>\r\n"_s;
        for (const UnreadPage &page : unreadPages) {
            summary += u"&nbsp;&nbsp;&nbsp;&nbsp; <a href=\""_s + htmlAttribute(page.address) + u"\">"_s +
                       html(page.address) + u"</a> -- "_s + html(page.reason) + u"<br>\r\n"_s;
        }
    }
    WriteHtmlString(strResultsPageName, summary, Append);

    const QString fullPath = fso::GetAbsolutePathName(strResultsPageName);
    const QString folderAddress = reportFolderAddress(strResultsPageName);

    if ((window.bSavePages && nLinksScanned > 0) || (window.bSaveMatchingOnly && nLinksFound > 0)) {
        const QString folder = quoted(window.strSavedPagesFolder);
        WriteHtmlString(strResultsPageName,
                        u"\r\n<br>\r\n"
                        u"&nbsp;&nbsp;&nbsp;&nbsp; You can find stored pages in </i>" +
                            folder +
                            u"</i> subfolder<br>\r\n"
                            u"&nbsp;&nbsp;&nbsp;&nbsp; Сохраненные страницы лежат в директории </i>" +
                            folder +
                            u"</i> <br>\r\n"
                            u"&nbsp;&nbsp;&nbsp;&nbsp; <Input type ='button' value = 'Open Folder' "
                            u"onclick='window.open(\"" +
                            folderAddress + addressSafeInScript(window.strSavedPagesFolder) +
                            u"/\");'><br>\r\n",
                        Append);
    }

    WriteHtmlString(strResultsPageName,
                    u"\r\n<br><br>\r\n"
                    u"<i>This temporary file is located on Your hard disk at </i><br>\r\n"
                    u"&nbsp;&nbsp;&nbsp;&nbsp;" +
                        quoted(fullPath) +
                        u"<br>\r\n"
                        u"<i>it's up to You to remove it.</i><br>\r\n"
                        u"<br>\r\n"
                        u"<Input type ='button' value = 'Open Containing Folder' onclick='window.open(\"" +
                        folderAddress + u"\");'><br>\r\n",
                    Append);
    WriteHtmlString(
        strResultsPageName,
        u"\r\n<br>\r\n"
        u"<i>Этот временный файл лежит у Вас на диске по адресу </i><br>\r\n"
        u"&nbsp;&nbsp;&nbsp;&nbsp;" +
            quoted(fullPath) +
            u"<br>\r\n"
            u"<i> Он не будет стерт автоматически, так что вопрос, когда его стирать, оставлен целиком на "
            u"Ваше усмотрение :-) </i><br><br>\r\n",
        Append);
    WriteHtmlString(strResultsPageName, u"\r\n</body>\r\n\r\n</html>\r\n"_s, Append);
}

ReportWriter::ReportWriter(const WindowState &window, const Clock &clock, const DateTimeText &dateTimeText)
    : m_window(window)
    , m_clock(clock)
    , m_dateTimeText(dateTimeText)
{}

void ReportWriter::searchStarted(const SearchSettings &settings)
{
    m_settings = settings;
}

void ReportWriter::scanStarted(const QDateTime &tmScanStart)
{
    m_tmScanStart = tmScanStart;
    const SearchSettings &s = m_settings;
    m_lock.emplace(s.strResultsPageName);
    StartHtmlReportFile(s.strNick, s.strYear, s.strFromMonth, s.strToMonth, s.strSearchTo, s.strStartAddress,
                        s.strResultsPageName, tmScanStart, s.bRegScan, m_dateTimeText);
}

void ReportWriter::pageFailed(const PageFailure &failure)
{
    m_unreadPages.append({failure.address, failure.reason});
}

void ReportWriter::entryScanned(const ScannedEntry &entry)
{
    const std::optional<EntryMatch> &match = entry.match;
    if (!match)
        return;
    AddToHtmlReportFile(m_settings.strResultsPageName, match->strSearchTo, entry.address, match->number,
                        match->dateStamp, match->inEntry ? &match->excerpts : nullptr);
    if (!match->comments.isEmpty())
        AddCommentsToHtmlReportFile(m_settings.strResultsPageName, match->comments);
}

void ReportWriter::searchEnded(const SearchSummary &summary)
{
    const bool stoppedAtEntry = summary.outcome == CrawlOutcome::StoppedAtEntry;
    if (stoppedAtEntry || summary.outcome == CrawlOutcome::Completed ||
        summary.outcome == CrawlOutcome::CompletedWithUnreadPages)
        CompleteReportFile(m_settings.strResultsPageName, summary.scanned, summary.found, m_tmScanStart,
                           m_clock.now(), stoppedAtEntry, m_unreadPages, m_window, m_dateTimeText);
    m_lock.reset();
}

} // namespace diarytrawl
