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
// interval after a page has arrived.
void waitForLoad(Browser &browser, int msec)
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
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
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

QString seconds(qint64 count)
{
    return QString::number(count) + u" s"_s;
}

void stop(Browser &objIE, LogSink &log)
{
    objIE.setVisible(true);
    log.Echo2(u"\r\n --- stopped by user --- \r\n"_s);
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

bool IELoadLink(Browser &objIE, const QString &strAddress, LogSink &log, const bool &bStopRequested,
                const RetryPolicy &retries, LoadReport *report)
{
    LoadReport local;
    LoadReport &result = report ? *report : local;
    result = LoadReport();
    for (int attempt = 0;; ++attempt) {
        objIE.Navigate(strAddress);
        bool dots = false;
        while (objIE.Busy()) {
            log.Echo2(u"."_s);
            dots = true;
            waitForLoad(objIE, PollIntervalMs);
            if (bStopRequested) {
                stop(objIE, log);
                return false;
            }
        }
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
        const QString waitText = seconds((waitMs + 999) / 1000);
        log.Echo2((dots ? u"\r\n"_s : QString()) + outcome.reason +
                  (outcome.retryAfterSeconds >= 0 ? u"; it asked to wait "_s : u"; waiting "_s) + waitText +
                  u"; trying again ("_s + QString::number(attempt + 1) + u" of "_s +
                  QString::number(retries.maxRetries) + u")\r\n"_s);
        auto left = qint64(std::llround(double(waitMs) * retries.timeScale));
        do {
            const int step = int(std::min<qint64>(left, PollIntervalMs));
            Wait(step);
            left -= step;
            if (bStopRequested) {
                stop(objIE, log);
                return false;
            }
        } while (left > 0);
    }
}

} // namespace diarytrawl
