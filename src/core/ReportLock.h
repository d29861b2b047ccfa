// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/FileSystem.h"

#include <QString>

namespace diarytrawl {

// Keeps two searches from writing the same report at once: a lock on "<report>.lock" beside the
// report, held for as long as the object lives and removed afterwards. Throws PlatformError
// (ErrorNumber::FileLocked) when another search holds it, or when the lock file cannot be made.
class ReportLock {
public:
    explicit ReportLock(const QString &strResultsPageName);

private:
    fso::LockFile m_lock;
};

} // namespace diarytrawl
