// SPDX-License-Identifier: GPL-3.0-or-later
#include "Wait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace diarytrawl {

void Wait(int msec)
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    msec = std::clamp(msec, 0, 32767);
    if (msec > 0) {
        QEventLoop pause;
        QTimer::singleShot(msec, Qt::PreciseTimer, &pause, &QEventLoop::quit);
        pause.exec();
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace diarytrawl
