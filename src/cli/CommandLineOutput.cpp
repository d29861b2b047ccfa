// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLineOutput.h"

#include <chrono>

using namespace Qt::StringLiterals;

namespace diarytrawl {

namespace {

constexpr QStringView ClearLine = u"\r\x1b[K";

QString jsonBool(bool value)
{
    return value ? u"true"_s : u"false"_s;
}

QString jsonNumber(qint64 value)
{
    return QString::number(value);
}

QString jsonOptional(const QString &text)
{
    return text.isEmpty() ? u"null"_s : jsonString(text);
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

// The lines of the log that say what matched and how the search came out.
bool isQuietLine(QStringView line)
{
    return line.startsWith(u"--> link '") || line.startsWith(u"    found ") ||
           line.startsWith(u"results: ") || line.endsWith(u" links scanned;") ||
           line.endsWith(u" pages could not be read (see log above);");
}

} // namespace

void writeText(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

QString jsonString(const QString &text)
{
    QString quoted;
    quoted.reserve(text.size() + 2);
    quoted += u'"';
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"':
            quoted += u"\\\"";
            break;
        case u'\\':
            quoted += u"\\\\";
            break;
        case u'\n':
            quoted += u"\\n";
            break;
        case u'\r':
            quoted += u"\\r";
            break;
        case u'\t':
            quoted += u"\\t";
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x2028 || c.unicode() == 0x2029)
                quoted += u"\\u" + QString::number(c.unicode(), 16).rightJustified(4, u'0');
            else
                quoted += c;
        }
    }
    quoted += u'"';
    return quoted;
}

CommandLineOutput::CommandLineOutput(bool json, bool quiet, FILE *out, FILE *err, bool statusLine)
    : m_json(json)
    , m_quiet(quiet)
    , m_out(out)
    , m_err(err)
    , m_statusLine(statusLine)
{
    m_elapsed.start();
    if (m_statusLine) {
        m_ticker.setInterval(1000);
        QObject::connect(&m_ticker, &QTimer::timeout, &m_ticker, [this] { drawStatus(); });
        m_ticker.start();
    }
}

CommandLineOutput::~CommandLineOutput()
{
    clearStatus();
}

void CommandLineOutput::writeOut(const QString &text)
{
    clearStatus();
    writeText(m_out, text);
    drawStatus();
}

void CommandLineOutput::replaceLogText(const QString &text)
{
    appendLogText(text);
}

void CommandLineOutput::appendLogText(const QString &text)
{
    QString lines = text;
    lines.replace(u"\r\n"_s, u"\n"_s);
    if (m_json)
        return;
    if (m_quiet)
        logLines(lines);
    else
        writeOut(lines);
}

void CommandLineOutput::logLines(const QString &text)
{
    m_pendingLine += text;
    QString kept;
    qsizetype lineEnd = 0;
    while ((lineEnd = m_pendingLine.indexOf(u'\n')) >= 0) {
        const QStringView line = QStringView(m_pendingLine).first(lineEnd);
        if (isQuietLine(line))
            kept += line + u'\n';
        m_pendingLine.remove(0, lineEnd + 1);
    }
    if (!kept.isEmpty())
        writeOut(kept);
}

void CommandLineOutput::json(const QString &object, bool essential)
{
    if (m_json && (essential || !m_quiet))
        writeOut(object + u'\n');
}

void CommandLineOutput::monthStarted(int monthIndex, int monthCount, const QString &address)
{
    m_month = monthIndex;
    m_months = monthCount;
    m_onPage = 0;
    m_pageLinks = 0;
    json(u"{\"event\":\"month\",\"address\":"_s + jsonString(address) + u",\"month\":"_s +
         jsonNumber(monthIndex) + u",\"months\":"_s + jsonNumber(monthCount) + u'}');
    drawStatus();
}

void CommandLineOutput::monthRead(qsizetype links)
{
    m_pageLinks = links;
    drawStatus();
}

void CommandLineOutput::linkTaken(qint64 number, qsizetype onPage, qsizetype pageLinks,
                                  const QString &address, bool skipped)
{
    m_onPage = onPage;
    m_pageLinks = pageLinks;
    json(u"{\"event\":\"link\",\"address\":"_s + jsonString(address) + u",\"number\":"_s +
         jsonNumber(number) + u",\"skipped\":"_s + jsonBool(skipped) + u'}');
    drawStatus();
}

void CommandLineOutput::entryRead(const QString &address, const QString &dateStamp)
{
    ++m_scanned;
    if (!dateStamp.isEmpty())
        m_lastDate = dateStamp;
    json(u"{\"event\":\"entry\",\"address\":"_s + jsonString(address) + u",\"date\":"_s +
         jsonOptional(dateStamp) + u'}');
    drawStatus();
}

void CommandLineOutput::entryMatched(const QString &address, qint64 number, const QString &dateStamp,
                                     const PageExcerpts &excerpts)
{
    m_found = number;
    QStringList texts;
    QStringList pieces;
    for (const Excerpt &excerpt : excerpts.excerpts) {
        texts << jsonString(excerpt.text);
        for (const auto &[at, length] : excerpt.marks)
            pieces << jsonString(excerpt.text.mid(at, length));
    }
    json(u"{\"event\":\"match\",\"address\":"_s + jsonString(address) + u",\"number\":"_s +
             jsonNumber(number) + u",\"date\":"_s + jsonOptional(dateStamp) + u",\"excerpts\":["_s +
             texts.join(u',') + u"],\"pieces\":["_s + pieces.join(u',') + u"]}"_s,
         true);
    drawStatus();
}

void CommandLineOutput::pageFailed(const QString &address, LoadFailure kind, const QString &reason)
{
    ++m_failed;
    json(u"{\"event\":\"failure\",\"address\":"_s + jsonString(address) + u",\"kind\":"_s +
         jsonString(kindName(kind)) + u",\"reason\":"_s + jsonString(reason) + u'}');
    drawStatus();
}

void CommandLineOutput::failureMessage(const QString &message)
{
    m_failure = message.trimmed();
    clearStatus();
    writeText(m_err, message);
    drawStatus();
}

void CommandLineOutput::searchEnded(const SearchSummary &summary)
{
    m_ticker.stop();
    QString object = u"{\"event\":\"summary\",\"links\":"_s + jsonNumber(summary.links) + u",\"scanned\":"_s +
                     jsonNumber(summary.scanned) + u",\"found\":"_s + jsonNumber(summary.found) +
                     u",\"failed\":"_s + jsonNumber(summary.failed) + u",\"ended\":"_s +
                     jsonString(endName(summary.outcome)) + u",\"report\":"_s + jsonOptional(summary.report);
    if (!m_failure.isEmpty())
        object += u",\"message\":"_s + jsonString(m_failure);
    json(object + u'}', true);
    clearStatus();
    m_statusLine = false;
}

void CommandLineOutput::drawStatus()
{
    if (!m_statusLine)
        return;
    QString status = u"month "_s + QString::number(m_month) + u" of "_s + QString::number(m_months);
    if (m_pageLinks > 0)
        status += u", link "_s + QString::number(m_onPage) + u" of "_s + QString::number(m_pageLinks);
    status += u", "_s + QString::number(m_scanned) + u" scanned, "_s + QString::number(m_found) +
              u" found, "_s + QString::number(m_failed) + u" failed, "_s +
              m_time.toText(std::chrono::seconds(m_elapsed.elapsed() / 1000));
    if (!m_lastDate.isEmpty())
        status += u", "_s + m_lastDate;
    writeText(m_err, ClearLine + status);
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
