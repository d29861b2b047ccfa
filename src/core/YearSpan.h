// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace diarytrawl {

// The years a search covers, as its year field gives them: one year ("2005"), a range of years
// ("2003-2012", from the first month of the first year through the last month of the last), or "all"
// the years the journal has.
struct YearSpan {
    enum class Kind { Single, Range, All };
    Kind kind = Kind::Single;
    int first = 0;
    int last = 0;
};

inline constexpr int MaxYearsInRange = 100;

// Reads the year field. Throws PlatformError naming the problem: a year that is not a number
// (ErrorNumber::InvalidNumber), a range that runs backwards (ErrorNumber::InvalidArgument), a range over
// MaxYearsInRange years (ErrorNumber::Overflow).
YearSpan yearSpan(const QString &strYear);

} // namespace diarytrawl
