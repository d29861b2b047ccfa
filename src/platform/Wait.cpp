// SPDX-License-Identifier: GPL-3.0-or-later
#include "Wait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace diarytrawl {

namespace {

thread_local std::chrono::steady_clock::time_point eventsRan;

void processEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    eventsRan = std::chrono::steady_clock::now();
}

} // namespace

void KeepResponsive()
{
    if (std::chrono::steady_clock::now() - eventsRan >= std::chrono::milliseconds(ResponsiveMs))
        processEvents();
}

void Wait(int msec)
{
    processEvents();
    msec = std::clamp(msec, 0, 32767);
    if (msec > 0) {
        QEventLoop pause;
        QTimer::singleShot(msec, Qt::PreciseTimer, &pause, &QEventLoop::quit);
        pause.exec();
    }
    processEvents();
}

} // namespace diarytrawl
