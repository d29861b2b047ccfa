// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLineOutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace diarytrawl {

namespace {

constexpr QStringView ClearLine = u"\r\x1b[K";

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QString kindName(LoadFailure kind)
{
    switch (kind) {
    case LoadFailure::None:
        return u"none"_s;
    case LoadFailure::Network:
        return u"network"_s;
    case LoadFailure::Http:
        return u"http"_s;
    case LoadFailure::Offline:
        return u"offline"_s;
    case LoadFailure::TooLarge:
        return u"too-large"_s;
    case LoadFailure::NotAPage:
        return u"not-a-page"_s;
    case LoadFailure::AdultNotice:
        return u"adult-notice"_s;
    case LoadFailure::LoginPage:
        return u"login-page"_s;
    case LoadFailure::TooComplex:
        return u"too-complex"_s;
    case LoadFailure::Captcha:
        return u"captcha"_s;
    case LoadFailure::Comments:
        return u"comments"_s;
    }
    return QString();
}

QString endName(CrawlOutcome outcome)
{
    switch (outcome) {
    case CrawlOutcome::Completed:
        return u"completed"_s;
    case CrawlOutcome::CompletedWithUnreadPages:
        return u"completed-with-unread-pages"_s;
    case CrawlOutcome::StoppedAtMonthPage:
    case CrawlOutcome::StoppedAtEntry:
        return u"stopped"_s;
    case CrawlOutcome::Failed:
        break;
    }
    return u"failed"_s;
}

} // namespace

void writeText(FILE *stream, const QString &text, bool flush)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    if (flush)
        std::fflush(stream);
}

JsonRenderer::JsonRenderer(std::function<void(const QString &line)> write, bool quiet)
    : m_write(std::move(write))
    , m_quiet(quiet)
{}

void JsonRenderer::calendarStarted(const CalendarPage &page)
{
    m_calendar = page.address;
}

void JsonRenderer::calendarRead(const CalendarRead &read)
{
    QJsonArray found;
    for (const int number : read.found)
        found.append(number);
    QJsonObject object{{u"event"_s, read.year > 0 ? u"year"_s : u"calendar"_s},
                       {u"address"_s, m_calendar},
                       {read.year > 0 ? u"months"_s : u"years"_s, found}};
    if (read.year > 0)
        object.insert(u"year"_s, read.year);
    if (!m_quiet)
        m_write(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
}

void JsonRenderer::monthStarted(const MonthStart &month)
{
    if (!m_quiet)
        m_write(QString::fromUtf8(QJsonDocument(QJsonObject{{u"event"_s, u"month"_s},
                                                            {u"address"_s, month.address},
                                                            {u"month"_s, month.index},
                                                            {u"months"_s, month.count},
                                                            {u"year"_s, month.strYear.toInt()},
                                                            {u"monthOfYear"_s, month.monthText.toInt()}})
                                      .toJson(QJsonDocument::Compact)));
}

void JsonRenderer::linkTaken(const LinkTaken &link)
{
    if (!m_quiet)
        m_write(QString::fromUtf8(QJsonDocument(QJsonObject{{u"event"_s, u"link"_s},
                                                            {u"address"_s, link.address},
                                                            {u"number"_s, link.number},
                                                            {u"skipped"_s, link.skipped}})
                                      .toJson(QJsonDocument::Compact)));
}

void JsonRenderer::pageFailed(const PageFailure &failure)
{
    if (!m_quiet)
        m_write(QString::fromUtf8(QJsonDocument(QJsonObject{{u"event"_s, u"failure"_s},
                                                            {u"address"_s, failure.address},
                                                            {u"kind"_s, kindName(failure.kind)},
                                                            {u"reason"_s, failure.reason}})
                                      .toJson(QJsonDocument::Compact)));
}

void JsonRenderer::entryScanned(const ScannedEntry &entry)
{
    if (!m_quiet)
        m_write(QString::fromUtf8(QJsonDocument(QJsonObject{{u"event"_s, u"entry"_s},
                                                            {u"address"_s, entry.address},
                                                            {u"date"_s, textOrNull(entry.dateStamp)}})
                                      .toJson(QJsonDocument::Compact)));
    if (!entry.match)
        return;
    QJsonArray excerpts;
    QJsonArray pieces;
    for (const Excerpt &excerpt : entry.match->excerpts.excerpts) {
        excerpts.append(excerpt.text);
        for (const auto &[at, length] : excerpt.marks)
            pieces.append(excerpt.text.mid(at, length));
    }
    QJsonObject match{{u"event"_s, u"match"_s},           {u"address"_s, entry.address},
                      {u"number"_s, entry.match->number}, {u"date"_s, textOrNull(entry.match->dateStamp)},
                      {u"excerpts"_s, excerpts},          {u"pieces"_s, pieces}};
    if (!entry.match->comments.isEmpty()) {
        QJsonArray comments;
        for (const CommentMatch &comment : entry.match->comments) {
            QJsonArray texts;
            for (const Excerpt &excerpt : comment.excerpts.excerpts)
                texts.append(excerpt.text);
            comments.append(QJsonObject{{u"thread"_s, comment.thread},
                                        {u"address"_s, comment.address},
                                        {u"author"_s, comment.author},
                                        {u"excerpts"_s, texts}});
        }
        match.insert(u"comments"_s, comments);
    }
    m_write(QString::fromUtf8(QJsonDocument(match).toJson(QJsonDocument::Compact)));
}

void JsonRenderer::searchFailed(const SearchFailure &failure)
{
    m_failure = failure.message.trimmed();
}

void JsonRenderer::searchEnded(const SearchSummary &summary)
{
    QJsonObject object{{u"event"_s, u"summary"_s},
                       {u"links"_s, summary.links},
                       {u"scanned"_s, summary.scanned},
                       {u"found"_s, summary.found},
                       {u"failed"_s, summary.failed},
                       {u"ended"_s, endName(summary.outcome)},
                       {u"report"_s, textOrNull(summary.report)},
                       {u"fromCache"_s, summary.fromCache}};
    if (!m_failure.isEmpty())
        object.insert(u"message"_s, m_failure);
    m_write(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
}

CommandLineOutput::CommandLineOutput(bool json, bool quiet, FILE *out, FILE *err, bool statusLine,
                                     const Clock &clock, const DateTimeText &dateTimeText)
    : SearchProgress(clock, dateTimeText)
    , m_out(out)
    , m_err(err)
    , m_statusLine(statusLine)
    , m_log(*this, SearchLog::Bound::None)
    , m_logRenderer(m_log, quiet ? LogRenderer::Lines::MatchesAndSummary : LogRenderer::Lines::All)
    , m_jsonRenderer([this](const QString &line) { writeOut(line + u'\n'); }, quiet)
    , m_events({json ? static_cast<SearchEvents *>(&m_jsonRenderer) : &m_logRenderer, this})
{
    m_flusher.setSingleShot(true);
    m_flusher.setInterval(FlushMs);
    QObject::connect(&m_flusher, &QTimer::timeout, &m_flusher, [this] { flushOut(); });
    if (m_statusLine) {
        m_ticker.setInterval(1000);
        QObject::connect(&m_ticker, &QTimer::timeout, &m_ticker, [this] { drawStatus(); });
        m_ticker.start();
    }
}

CommandLineOutput::~CommandLineOutput()
{
    flushOut();
    clearStatus();
}

// A search from the page cache writes thousands of lines a second: they go out together.
void CommandLineOutput::writeOut(const QString &text)
{
    if (m_statusLine) {
        clearStatus();
        writeText(m_out, text);
        drawStatus();
        return;
    }
    writeText(m_out, text, false);
    if (!m_flusher.isActive())
        m_flusher.start();
}

void CommandLineOutput::flushOut()
{
    m_flusher.stop();
    std::fflush(m_out);
}

void CommandLineOutput::replaceLogText(const QString &text)
{
    appendLogText(text);
}

void CommandLineOutput::appendLogText(const QString &text)
{
    QString lines = text;
    writeOut(lines.replace(u"\r\n"_s, u"\n"_s));
}

void CommandLineOutput::failureMessage(const QString &message)
{
    flushOut();
    clearStatus();
    writeText(m_err, message);
    drawStatus();
}

void CommandLineOutput::searchEnded(const SearchSummary &summary)
{
    SearchProgress::searchEnded(summary);
    flushOut();
    m_ticker.stop();
    clearStatus();
    m_statusLine = false;
}

void CommandLineOutput::progressed(bool)
{
    drawStatus();
}

void CommandLineOutput::drawStatus()
{
    if (!m_statusLine)
        return;
    writeText(m_err, ClearLine + terminalText());
    m_statusShown = true;
}

void CommandLineOutput::clearStatus()
{
    if (!m_statusShown)
        return;
    writeText(m_err, ClearLine.toString());
    m_statusShown = false;
}

} // namespace diarytrawl
