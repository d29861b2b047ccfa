// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogRenderer.h"

namespace diarytrawl {

using namespace Qt::StringLiterals;

namespace {

QString quoted(const QString &text)
{
    return u'"' + text + u'"';
}

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
    case LoadFailure::Captcha:
        return u" (the search asks the site for nothing more; search with your own login: \"Use login "
               u"cookies from a file...\" in the Other menu, or --cookies / --cookies-from-browser; or "
               u"try again later)"_s;
    default:
        return QString();
    }
}

} // namespace

LogRenderer::LogRenderer(LogSink &log, Lines lines)
    : m_log(log)
    , m_all(lines == Lines::All)
{}

void LogRenderer::echo(const QString &text)
{
    m_afterDots = false;
    if (m_all)
        m_log.Echo2(text);
}

void LogRenderer::loadWaiting()
{
    echo(u"."_s);
    m_afterDots = true;
}

void LogRenderer::loadRetrying(const LoadRetry &retry)
{
    echo((m_afterDots ? u"\r\n"_s : QString()) + retry.reason +
         (retry.askedByServer ? u"; it asked to wait "_s : u"; waiting "_s) +
         QString::number(retry.waitSeconds) + u" s; trying again ("_s + QString::number(retry.attempt) +
         u" of "_s + QString::number(retry.maxRetries) + u")\r\n"_s);
}

void LogRenderer::loadStopped()
{
    echo(u"\r\n --- stopped by user --- \r\n"_s);
}

void LogRenderer::paceChanged(std::chrono::milliseconds pace, bool siteLimited)
{
    if (siteLimited)
        echo((m_afterDots ? u"\r\n"_s : QString()) + u"the site limits requests; slowing to one every "_s +
             QString::number(double(pace.count()) / 1000) + u" s\r\n"_s);
}

void LogRenderer::searchStarted(const SearchSettings &settings)
{
    if (!m_all)
        return;
    m_log.Echo(settings.bRegScan ? u"RegScan():\r\n"_s : u"Scan():\r\n"_s, true);
    m_log.Echo(u"nick: \"" + settings.strNick + u"\";\r\n", false);
    m_log.Echo(u"year: \"" + settings.strYear + u"\";\r\n", false);
    const QStringView label = settings.bRegScan ? u"search expression: " : u"search-string: ";
    m_log.Echo(label + u'"' + settings.strSearchTo + u"\";\r\n", false);
    m_log.Echo(u"link: \"" + settings.strStartAddress + u"\";\r\n", false);
    m_log.Echo(u"from month: " + settings.strFromMonth + u";\r\n", false);
    m_log.Echo(u"to month: " + settings.strToMonth + u";\r\n", false);
}

void LogRenderer::sessionNote(const QString &note)
{
    echo(note + u";\r\n"_s);
}

void LogRenderer::calendarStarted(const CalendarPage &page)
{
    echo((page.year > 0 ? u"Loading year page ... "_s : u"Loading calendar ... "_s) + quoted(page.address) +
         u";\r\n"_s);
}

void LogRenderer::calendarRead(const CalendarRead &read)
{
    QStringList found;
    for (const int number : read.found)
        found << QStringLiteral("%1").arg(number, read.year > 0 ? 2 : 4, 10, QChar(u'0'));
    echo((read.year > 0 ? u"Year page loaded, months with entries: "_s
                        : u"Calendar loaded, years with entries: "_s) +
         (found.isEmpty() ? u"none"_s : found.join(u", "_s)) + u";\r\n"_s);
}

void LogRenderer::monthStarted(const MonthStart &month)
{
    echo(u"Loading page ... " + quoted(month.address) + u";\r\n");
}

void LogRenderer::monthRead(const MonthRead &)
{
    echo(u"Page loaded, parsing...\r\n"_s);
}

void LogRenderer::linkTaken(const LinkTaken &link)
{
    if (link.skipped)
        echo(u"link(" + QString::number(link.number) + u"): '" + link.address + u"' -- skipped\r\n");
    else
        echo(link.strYear + u'/' + link.monthText + u"/link(" + QString::number(link.number) + u"): '" +
             link.address + u"'\r\n");
}

void LogRenderer::entryLoaded(const QString &)
{
    echo(u"Ok \r\n"_s);
}

void LogRenderer::commentPageTaken(const QString &address)
{
    echo(u"    comments: '"_s + address + u"'\r\n"_s);
}

void LogRenderer::commentsLeft(const CommentsLeft &left)
{
    QStringList parts;
    if (left.pages > 0)
        parts << QString::number(left.pages) + (left.pages == 1 ? u" more page"_s : u" more pages"_s);
    if (left.threads > 0)
        parts << QString::number(left.threads) +
                     (left.threads == 1 ? u" collapsed thread"_s : u" collapsed threads"_s);
    echo(u"    comments not searched: "_s + parts.join(u", "_s) +
         u" (to search them too: \"Search all comments\" in the Advanced menu, or --all-comments)\r\n"_s);
}

void LogRenderer::pageFailed(const PageFailure &failure)
{
    switch (failure.stage) {
    case UnreadStage::MonthPage:
        echo(u"Could not read the month page " + quoted(failure.address) + u": " + failure.reason + u';' +
             hintFor(failure.kind) + u"\r\n");
        break;
    case UnreadStage::Entry:
        echo(u"Not read: " + failure.reason + u';' + hintFor(failure.kind) + u"\r\n");
        break;
    case UnreadStage::EntrySearch:
        echo(u"Not searched: "_s + failure.reason + u";\r\n"_s);
        break;
    case UnreadStage::Comments:
        echo(u"Comments not read: "_s + failure.reason + u";\r\n"_s);
        break;
    case UnreadStage::CommentPage:
        echo(u"Not read: " + failure.reason + u';' + hintFor(failure.kind) + u"\r\n");
        break;
    case UnreadStage::YearPage:
        echo(u"Could not read the year page " + quoted(failure.address) + u": " + failure.reason + u';' +
             hintFor(failure.kind) + u" its months are loaded one by one;\r\n");
        break;
    case UnreadStage::Calendar:
        echo(u"Could not read the calendar " + quoted(failure.address) + u": " + failure.reason + u';' +
             hintFor(failure.kind) + u"\r\n");
        break;
    }
}

void LogRenderer::entryScanned(const ScannedEntry &entry)
{
    echo(u"... scanned;\r\n"_s);
    if (!entry.match)
        return;
    const EntryMatch &match = *entry.match;
    m_log.Echo2(u"--> link '" + entry.address + u"':\r\n");
    m_log.Echo2((match.bRegScan ? u"    found match '"_s : u"    found string '"_s) + match.strSearchTo +
                u"' (occurrence " + QString::number(match.number) + u")\r\n");
    for (const CommentMatch &comment : match.comments)
        m_log.Echo2(u"    in the comment '"_s + comment.address + u'\'' +
                    (comment.author.isEmpty() ? QString() : u" by "_s + comment.author) + u"\r\n"_s);
}

void LogRenderer::searchFailed(const SearchFailure &failure)
{
    const SearchSettings &request = failure.settings;
    echo(failure.message);
    echo(u"---\r\n"
         u"If You're going to report the error, please, provide the following information:\r\n"
         u" -- Your Windows version;\r\n"
         u" -- Your Internet Explorer version;\r\n"
         u" -- Your request:\r\n"
         u"journal: " +
         quoted(request.strNick) +
         u";\r\n"
         u"year: " +
         quoted(request.strYear) +
         u";\r\n"
         u"search-string: " +
         quoted(request.strSearchTo) +
         u";\r\n"
         u"from month: " +
         request.strFromMonth +
         u";\r\n"
         u"to month: " +
         request.strToMonth + u";\r\n");
}

void LogRenderer::searchEnded(const SearchSummary &summary)
{
    if (summary.outcome != CrawlOutcome::Completed &&
        summary.outcome != CrawlOutcome::CompletedWithUnreadPages)
        return;
    echo(u"\r\n--------------------\r\n"_s);
    m_log.Echo2(u"results: " + QString::number(summary.found) + u" links found (see log above);\r\n");
    m_log.Echo2(QString::number(summary.scanned) + u" links scanned;\r\n");
    if (summary.failed > 0)
        m_log.Echo2(QString::number(summary.failed) + u" pages could not be read (see log above);\r\n");
    if (summary.fromCache > 0)
        m_log.Echo2(QString::number(summary.fromCache) + u" entries came from the page cache;\r\n");
}

} // namespace diarytrawl
