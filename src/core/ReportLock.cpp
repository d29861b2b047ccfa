// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReportLock.h"

#include "platform/PlatformError.h"

namespace diarytrawl {

ReportLock::ReportLock(const QString &strResultsPageName)
    : m_lock(strResultsPageName + u".lock")
{
    if (!m_lock.held())
        throw PlatformError(ErrorNumber::FileLocked,
                            u"Another search is writing \"" + strResultsPageName + u"\"; wait for it to end");
}

} // namespace diarytrawl
