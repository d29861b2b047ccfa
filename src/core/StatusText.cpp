// SPDX-License-Identifier: GPL-3.0-or-later
#include "StatusText.h"

namespace diarytrawl {

using namespace Qt::StringLiterals;

QString statusReportText(const QDateTime &tmStart, const QDateTime &now, qint64 nLinksPassed,
                         qint64 nLinksScanned, qint64 nLinksFound, const QString &lastMessageDate,
                         const DateTimeText &dateTimeText)
{
    const std::chrono::seconds elapsed{tmStart.secsTo(now)};
    return QString::number(nLinksPassed) + u'/' + QString::number(nLinksScanned) + u'/' +
           QString::number(nLinksFound) + u" [" + dateTimeText.toText(elapsed) + u"] " + lastMessageDate;
}

SearchProgress::SearchProgress(const Clock &clock, const DateTimeText &dateTimeText)
    : m_clock(clock)
    , m_dateTimeText(dateTimeText)
    , m_start(clock.now())
{}

QString SearchProgress::statusText() const
{
    const QString pace = paceText();
    return statusReportText(m_start, m_clock.now(), m_links, m_scanned, m_found, m_lastDate, m_dateTimeText) +
           (pace.isEmpty() ? QString() : u" ("_s + pace + u')');
}

QString SearchProgress::paceText() const
{
    if (m_pace <= std::chrono::milliseconds(200))
        return QString();
    const auto left = std::chrono::duration_cast<std::chrono::seconds>(m_pace * m_entriesLeft);
    return u"one page every "_s + QString::number(double(m_pace.count()) / 1000) + u" s, "_s +
           m_dateTimeText.toText(left) + u" left in "_s + m_monthName;
}

QString SearchProgress::terminalText() const
{
    QString text = u"month "_s + QString::number(m_month) + u" of "_s + QString::number(m_months);
    if (!m_monthName.isEmpty())
        text += u" ("_s + m_monthName + u')';
    if (m_pageLinks > 0)
        text += u", link "_s + QString::number(m_onPage) + u" of "_s + QString::number(m_pageLinks);
    text += u", "_s + QString::number(m_scanned) + u" scanned, "_s + QString::number(m_found) +
            u" found, "_s + QString::number(m_failed) + u" failed, "_s +
            m_dateTimeText.toText(std::chrono::seconds(m_start.secsTo(m_clock.now())));
    if (!m_lastDate.isEmpty())
        text += u", "_s + m_lastDate;
    if (const QString pace = paceText(); !pace.isEmpty())
        text += u", "_s + pace;
    return text;
}

void SearchProgress::searchStarted(const SearchSettings &)
{
    m_start = m_clock.now();
    m_month = m_months = 0;
    m_onPage = m_pageLinks = 0;
    m_links = m_scanned = m_found = m_failed = 0;
    m_lastDate.clear();
    m_monthName.clear();
    m_entriesLeft = 0;
    m_pace = std::chrono::milliseconds(0);
}

void SearchProgress::scanStarted(const QDateTime &tmScanStart)
{
    m_start = tmScanStart;
    progressed(false);
}

void SearchProgress::monthStarted(const MonthStart &month)
{
    m_month = month.index;
    m_months = month.count;
    m_monthName = month.strYear + u'/' + month.monthText;
    m_entriesLeft = 0;
    m_onPage = 0;
    m_pageLinks = 0;
    progressed(false);
}

void SearchProgress::monthRead(const MonthRead &month)
{
    m_pageLinks = month.links;
    m_entriesLeft = month.entries;
    progressed(false);
}

void SearchProgress::paceChanged(std::chrono::milliseconds pace, bool)
{
    m_pace = pace;
    progressed(false);
}

void SearchProgress::linkTaken(const LinkTaken &link)
{
    m_links = link.number;
    m_onPage = link.onPage;
    if (!link.skipped && m_entriesLeft > 0)
        --m_entriesLeft;
    m_pageLinks = link.pageLinks;
    progressed(false);
}

void SearchProgress::pageFailed(const PageFailure &)
{
    ++m_failed;
    progressed(false);
}

void SearchProgress::entryScanned(const ScannedEntry &entry)
{
    m_scanned = entry.scanned;
    m_found = entry.found;
    if (!entry.dateStamp.isEmpty())
        m_lastDate = entry.dateStamp;
    progressed(!entry.dateStamp.isEmpty());
}

} // namespace diarytrawl
