#include "PageLoading.h"

#include "platform/Wait.h"

using namespace Qt::StringLiterals;

namespace diarytrawl {

namespace {

constexpr int PollIntervalMs = 100;

} // namespace

bool IELoadLink(Browser &objIE, const QString &strAddress, LogSink &log, const bool &bStopRequested)
{
    objIE.Navigate(strAddress);
    while (objIE.Busy()) {
        log.Echo2(u"."_s);
        Wait(PollIntervalMs);
        if (bStopRequested) {
            objIE.setVisible(true);
            log.Echo2(u"\r\n --- stopped by user --- \r\n"_s);
            return false;
        }
    }
    return true;
}

} // namespace diarytrawl
