// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DateTimeText.h"
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
    // Whatever shows the search's steps: the log, the status texts, JSON lines.
    virtual SearchEvents &events() = 0;
    // A modal message with an OK button, titled with the application's title; returns when dismissed.
    virtual void showMessage(const QString &strMessage) = 0;
    // Opens the finished report with the desktop's program for it, without waiting for that program.
    virtual void Run(const QString &strFileName) = 0;
    virtual BrowserFactory &browserFactory() = 0;
    virtual const Clock &clock() const = 0;
    virtual const DateTimeText &dateTimeText() const = 0;
    // How passing faults are tried again.
    virtual RetryPolicy retryPolicy() const { return {}; }
    // An entry read from the network less than this long ago is taken from the page cache; zero reads
    // every entry again.
    virtual std::chrono::seconds cacheMaxAge() const { return std::chrono::hours(24); }
};

} // namespace diarytrawl
