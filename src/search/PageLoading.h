#pragma once

#include "platform/Browser.h"
#include "progress/LogSink.h"

#include <QString>

namespace diarytrawl {

// Sends objIE to strAddress and polls it every 100 ms, with the window's events running meanwhile,
// until the page is ready (true) or the user asks to stop (false). One "." goes to the log per poll
// that finds the browser busy. bStopRequested is read only after a wait, so a page that is ready at
// once is taken even when a stop is pending. On a stop the browser is made visible and the stop line
// is logged; the browser is not quit.
bool IELoadLink(Browser &objIE, const QString &strAddress, LogSink &log, const bool &bStopRequested);

} // namespace diarytrawl
