// SPDX-License-Identifier: GPL-3.0-or-later
#include "SearchLog.h"

#include "platform/Wait.h"

namespace diarytrawl {

SearchLog::SearchLog(LogView &view, Bound bound)
    : m_view(view)
    , m_bound(bound)
{}

void SearchLog::reset(const QString &text)
{
    m_length = text.size();
    m_view.replaceLogText(text);
}

void SearchLog::Echo(const QString &strOutput, bool bClear)
{
    if (bClear)
        reset(strOutput);
    else
        Echo2(strOutput);
}

void SearchLog::Echo2(const QString &strOutput)
{
    if (m_bound == Bound::Applied && m_length >= LogBound) {
        reset(TruncationWarning + u"\r\n" + strOutput);
    } else {
        m_length += strOutput.size();
        m_view.appendLogText(strOutput);
    }
    KeepResponsive();
}

} // namespace diarytrawl
