// SPDX-License-Identifier: GPL-3.0-or-later
#include "PageLoading.h"

#include "platform/Wait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace diarytrawl {

namespace {

constexpr int PollIntervalMs = 100;

// Wait(msec) that ends early when the browser's load does: the crawl does not idle out a poll
// interval after a page has arrived. A load the browser ended at once (a page from the cache) costs
// no round of events of its own.
void waitForLoad(Browser &browser, int msec)
{
    KeepResponsive();
    if (browser.Busy()) {
        QEventLoop pause;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &pause, &QEventLoop::quit);
        browser.notifyWhenIdle([&pause] { pause.quit(); });
        timer.start(msec);
        pause.exec();
        browser.notifyWhenIdle({});
    }
    KeepResponsive();
}

QString seconds(qint64 count)
{
    return QString::number(count) + u" s"_s;
}

void stop(Browser &objIE, LoadProgress &progress)
{
    objIE.setVisible(true);
    progress.loadStopped();
}

} // namespace

QString LoadReport::failureReason() const
{
    QString reason = outcome.reason;
    if (waitTooLong)
        reason += u" and asked to wait "_s + seconds(outcome.retryAfterSeconds) + u", too long to wait for"_s;
    else if (tries > 1)
        reason += u" (tried "_s + QString::number(tries) + u" times)"_s;
    return reason;
}

bool IELoadLink(Browser &objIE, const QString &strAddress, LoadProgress &progress, const bool &bStopRequested,
                const RetryPolicy &retries, LoadReport *report, std::chrono::seconds maxAge)
{
    LoadReport local;
    LoadReport &result = report ? *report : local;
    result = LoadReport();
    for (int attempt = 0;; ++attempt) {
        objIE.Navigate(strAddress, attempt == 0 ? maxAge : std::chrono::seconds(0));
        const std::chrono::milliseconds paceBefore = objIE.pace();
        while (objIE.Busy()) {
            progress.loadWaiting();
            waitForLoad(objIE, PollIntervalMs);
            if (bStopRequested) {
                stop(objIE, progress);
                return false;
            }
        }
        if (const std::chrono::milliseconds pace = objIE.pace(); pace > paceBefore)
            progress.paceChanged(pace, true);
        result.tries = attempt + 1;
        result.outcome = objIE.Document()->outcome;
        const LoadOutcome &outcome = result.outcome;
        if (outcome.ok() || !outcome.transient || attempt >= retries.maxRetries)
            return true;
        if (outcome.retryAfterSeconds > retries.longestRetryAfterSeconds) {
            result.waitTooLong = true;
            return true;
        }

        const qint64 waitMs = outcome.retryAfterSeconds >= 0
                                  ? qint64(outcome.retryAfterSeconds) * 1000
                                  : qint64(retries.firstBackoff.count()) << attempt;
        progress.loadRetrying({outcome.reason, (waitMs + 999) / 1000, outcome.retryAfterSeconds >= 0,
                               attempt + 1, retries.maxRetries});
        auto left = qint64(std::llround(double(waitMs) * retries.timeScale));
        do {
            const int step = int(std::min<qint64>(left, PollIntervalMs));
            Wait(step);
            left -= step;
            if (bStopRequested) {
                stop(objIE, progress);
                return false;
            }
        } while (left > 0);
    }
}

} // namespace diarytrawl
