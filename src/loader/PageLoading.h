// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Browser.h"

#include <QString>

#include <chrono>

namespace diarytrawl {

// Which loads are tried again and how long to wait first. A load the server asks to repeat (429, 502,
// 503, 504) or that broke off (reset, cut short, timed out) is tried again on the same address, waiting
// as the answer's Retry-After says, otherwise 2, 4, 8, 16 s.
struct RetryPolicy {
    int maxRetries = 4;
    std::chrono::milliseconds firstBackoff{2000};
    int longestRetryAfterSeconds = 300; // a server that asks for longer is not waited for
    // Every wait is this many times as long as the log says; tests shorten the waits with it.
    double timeScale = 1.0;
};

// How the last IELoadLink went when it returned true: the outcome of its last try, how many tries it
// took, and the reason to give when the page was not read.
struct LoadReport {
    LoadOutcome outcome;
    int tries = 0;
    bool waitTooLong = false; // the server asked to wait longer than the policy waits

    QString failureReason() const;
};

// A passing fault that IELoadLink tries again after a wait.
struct LoadRetry {
    QString reason;             // why the try failed
    qint64 waitSeconds = 0;     // how long it waits first, rounded up
    bool askedByServer = false; // the wait is what the answer's Retry-After asked for
    int attempt = 0;            // 1 for the first try again
    int maxRetries = 0;
};

// What IELoadLink tells while it waits; by default, nothing.
class LoadProgress {
public:
    virtual ~LoadProgress() = default;
    // Another poll interval has passed with the load still running.
    virtual void loadWaiting() {}
    virtual void loadRetrying(const LoadRetry & /*retry*/) {}
    // The user asked to stop while the load was running.
    virtual void loadStopped() {}
    // The least time between two requests to the site is now pace; siteLimited: because the site
    // answered that its limit was met.
    virtual void paceChanged(std::chrono::milliseconds /*pace*/, bool /*siteLimited*/) {}
};

// Sends objIE to strAddress and waits, with the window's events running meanwhile, until the page is
// ready (true) or the user asks to stop (false). Each 100 ms that the load is still running is told as
// loadWaiting; the wait ends as soon as the load does. bStopRequested is read only after a wait, so a
// page that is ready at once is taken even when a stop is pending. On a stop the browser is made
// visible and loadStopped is told; the browser is not quit. Passing faults are tried again as the
// policy says, each try told as loadRetrying; the waits between tries stop within about 100 ms of a stop.
// A pace that a try's answer made slower is told as paceChanged.
// maxAge: a page read from the network less than this long ago may come from the page cache.
bool IELoadLink(Browser &objIE, const QString &strAddress, LoadProgress &progress, const bool &bStopRequested,
                const RetryPolicy &retries = {}, LoadReport *report = nullptr,
                std::chrono::seconds maxAge = std::chrono::seconds(0));

} // namespace diarytrawl
