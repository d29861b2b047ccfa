#include "SearchTranslation.h"

#include "RegexpHelpers.h"

namespace diarytrawl {

using namespace Qt::StringLiterals;

namespace {

void rewriteDosMasks(QString &pattern)
{
    pattern.replace(u"\\*"_s, u".*"_s);
    pattern.replace(u"\\?"_s, u".?"_s);
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
    if (orThen)
        rewriteOrThen(pattern);
    return {true, pattern};
}

} // namespace diarytrawl
