// SPDX-License-Identifier: GPL-3.0-or-later
#include "YearSpan.h"

#include "platform/PlatformError.h"

#include <QRegularExpression>

namespace diarytrawl {

using namespace Qt::StringLiterals;

YearSpan yearSpan(const QString &strYear)
{
    if (strYear == u"all")
        return {YearSpan::Kind::All, 0, 0};
    static const QRegularExpression form(u"^(\\d{1,4})(?:-(\\d{1,4}))?$"_s);
    const QRegularExpressionMatch match = form.match(strYear);
    if (!match.hasMatch())
        throw PlatformError(ErrorNumber::InvalidNumber, u"Type mismatch: the year \""_s + strYear +
                                                            u"\" is neither a year, a range of years "
                                                            u"(2003-2012) nor all"_s);
    YearSpan span;
    span.first = match.captured(1).toInt();
    if (!match.hasCaptured(2)) {
        span.last = span.first;
        return span;
    }
    span.kind = YearSpan::Kind::Range;
    span.last = match.captured(2).toInt();
    if (span.last < span.first)
        throw PlatformError(ErrorNumber::InvalidArgument,
                            u"Invalid range: the years \""_s + strYear + u"\" run backwards"_s);
    if (span.last - span.first + 1 > MaxYearsInRange)
        throw PlatformError(ErrorNumber::Overflow, u"Overflow: the years \""_s + strYear +
                                                       u"\" span more than "_s +
                                                       QString::number(MaxYearsInRange) + u" years"_s);
    return span;
}

} // namespace diarytrawl
