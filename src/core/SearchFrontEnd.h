// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DateTimeText.h"
#include "LogSink.h"
#include "SearchEvents.h"
#include "WindowState.h"
#include "loader/Browser.h"
#include "loader/PageLoading.h"
#include "platform/Clock.h"

#include <QString>

namespace diarytrawl {

// Everything a search asks of the window it runs under. The window implements it, so does the command
// line, and the crawl knows nothing else of either. Events are pumped through Qt's event loop (Wait),
// so whichever front end runs the crawl stays responsive while it waits.
class SearchFrontEnd {
public:
    virtual ~SearchFrontEnd() = default;

    virtual WindowState &windowState() = 0;
    virtual LogSink &log() = 0;
    // Shows the status text (the log's tool tip; the caption while minimized).
    virtual void StatusReport(const QString &strText) = 0;
    // A modal message with an OK button, titled with the application's title; returns when dismissed.
    virtual void showMessage(const QString &strMessage) = 0;
    // Opens the finished report with the desktop's program for it, without waiting for that program.
    virtual void Run(const QString &strFileName) = 0;
    virtual BrowserFactory &browserFactory() = 0;
    virtual const Clock &clock() const = 0;
    virtual const DateTimeText &dateTimeText() const = 0;
    // Step-by-step events, for front ends that show more than the log.
    virtual SearchEvents &events()
    {
        static SearchEvents none;
        return none;
    }
    // How passing faults are tried again.
    virtual RetryPolicy retryPolicy() const { return {}; }
};

} // namespace diarytrawl
