// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace diarytrawl {

// Where the running log goes. Neither call adds a line break: callers end their lines with "\r\n".
class LogSink {
public:
    virtual ~LogSink() = default;

    // bClear: the log becomes strOutput. Otherwise the same as Echo2.
    virtual void Echo(const QString &strOutput, bool bClear) = 0;
    // Appends strOutput (or restarts a log that has grown too long), then lets pending events run.
    virtual void Echo2(const QString &strOutput) = 0;
};

} // namespace diarytrawl
