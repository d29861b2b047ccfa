// SPDX-License-Identifier: GPL-3.0-or-later
#include "SearchTranslation.h"

#include "RegexpHelpers.h"

#include <algorithm>
#include <functional>
#include <vector>

namespace diarytrawl {

using namespace Qt::StringLiterals;

namespace {

void rewriteDosMasks(QString &pattern)
{
    pattern.replace(u"\\*"_s, u".*"_s);
    pattern.replace(u"\\?"_s, u".?"_s);
}

// The escaped parentheses that pair up become groups again: an OR/THEN query groups its words with
// them. One without a partner ("echo :-)") stays literal.
void restoreGroups(QString &pattern)
{
    std::vector<qsizetype> opens; // positions of the backslashes of "\(" waiting for a partner
    std::vector<qsizetype> paired;
    for (qsizetype i = 0; i + 1 < pattern.size(); ++i) {
        if (pattern.at(i) != u'\\')
            continue;
        const QChar escaped = pattern.at(++i); // a backslash always escapes the next character
        if (escaped == u'(') {
            opens.push_back(i - 1);
        } else if (escaped == u')' && !opens.empty()) {
            paired.push_back(opens.back());
            paired.push_back(i - 1);
            opens.pop_back();
        }
    }
    std::sort(paired.begin(), paired.end(), std::greater<>());
    for (const qsizetype backslash : paired)
        pattern.remove(backslash, 1);
}

void rewriteOrThen(QString &pattern)
{
    while (pattern.contains(u"  "_s))
        pattern.replace(u"  "_s, u" "_s);
    pattern.replace(u"( "_s, u"("_s);
    pattern.replace(u" )"_s, u")"_s);
    pattern.replace(u" OR "_s, u"|"_s, Qt::CaseInsensitive);
    pattern.replace(u" THEN "_s, u".*"_s, Qt::CaseInsensitive);
}

} // namespace

SearchPlan planSearch(const QString &strTyped, const MatchModes &modes)
{
    if (modes.useRegExps().checked)
        return {true, strTyped};

    const bool masks = modes.assumeDosFilemasks().checked;
    const bool orThen = modes.assumeOrAndNot().checked;
    if (!masks && !orThen)
        return {false, strTyped};

    QString pattern = strTyped;
    regexpDecore(pattern);
    if (masks)
        rewriteDosMasks(pattern);
    if (orThen) {
        restoreGroups(pattern);
        rewriteOrThen(pattern);
    }
    return {true, pattern};
}

} // namespace diarytrawl
