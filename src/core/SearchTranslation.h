// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MatchModes.h"

#include <QString>

namespace diarytrawl {

// What a search runs: a plain substring search, or a regular-expression search with this pattern.
struct SearchPlan {
    bool bRegScan = false;
    QString strSearchTo;

    friend bool operator==(const SearchPlan &, const SearchPlan &) = default;
};

// Reads the search string as the match-mode marks say: unchanged for a plain or a regular-expression
// search; escaped, then with masks ('*', '?') and/or the words OR and THEN rewritten into pattern
// syntax otherwise. "ca?t*" with masks gives "ca.?t.*"; "(cat  OR dog )  then food" gives
// "(cat|dog).*food". Every other character means itself: parentheses group only in an OR/THEN query,
// and only those that pair up.
SearchPlan planSearch(const QString &strTyped, const MatchModes &modes);

} // namespace diarytrawl
