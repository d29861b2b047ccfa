// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LogSink.h"

namespace diarytrawl {

// The widget or stream that shows the log. SearchLog decides what to show; the view only shows it.
class LogView {
public:
    virtual ~LogView() = default;
    virtual void replaceLogText(const QString &text) = 0;
    virtual void appendLogText(const QString &text) = 0;
};

// The log with its bound: once it holds LogBound characters (UTF-16 units) or more, the next append
// starts it afresh with the truncation warning. A terminal keeps everything, so it runs unbounded.
class SearchLog final : public LogSink {
public:
    static constexpr qsizetype LogBound = 65000;
    static constexpr QStringView TruncationWarning = u"warning, log too long, truncated...";

    enum class Bound { Applied, None };

    explicit SearchLog(LogView &view, Bound bound = Bound::Applied);

    void Echo(const QString &strOutput, bool bClear) override;
    void Echo2(const QString &strOutput) override;

    qsizetype length() const { return m_length; }
    // Sets the text without an append's side effects, e.g. the log box's first text.
    void reset(const QString &text);

private:
    LogView &m_view;
    Bound m_bound;
    qsizetype m_length = 0;
};

} // namespace diarytrawl
