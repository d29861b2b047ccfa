// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Browser.h"
#include "core/LogSink.h"

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

// Sends objIE to strAddress and waits, with the window's events running meanwhile, until the page is
// ready (true) or the user asks to stop (false). One "." goes to the log for each 100 ms that the load
// is still running; the wait ends as soon as the load does. bStopRequested is read only after a wait,
// so a page that is ready at once is taken even when a stop is pending. On a stop the browser is made
// visible and the stop line is logged; the browser is not quit. Passing faults are tried again as the
// policy says, with one log line per try; the waits between tries stop within about 100 ms of a stop.
bool IELoadLink(Browser &objIE, const QString &strAddress, LogSink &log, const bool &bStopRequested,
                const RetryPolicy &retries = {}, LoadReport *report = nullptr);

} // namespace diarytrawl
