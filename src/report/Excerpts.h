#pragma once

#include <QString>

namespace diarytrawl {

// Excerpts around the matches of a page: "... " then, for each match in order, the text around it and
// " ... ". An excerpt reaches a few words (single spaces) to each side of its match, never more than
// ExcerptReach characters from it. Both procedures cost time linear in the text.

inline constexpr qsizetype ExcerptReach = 80;
// A page that matches at every character would otherwise put megabytes into the report for one entry.
inline constexpr qsizetype MaxExcerptsPerPage = 10000;

// Plain search: occurrences of strSubstr ignoring case, three words to each side; the result is neither
// escaped nor marked. An empty strSubstr gives no excerpt at all.
QString getNeighborhood(const QString &strText, const QString &strSubstr);

// Regular-expression search (ignoring case): four words to each side, each excerpt escaped for HTML with
// its match in bold. Throws PlatformError for a pattern the engine rejects.
QString getHtmlNghbrhdRgxSel(const QString &strText, const QString &strRegexp);

// "&" -> "&amp;", "<" -> "&lt;", ">" -> "&gt;"; quotes stay.
void htmlSafeDecore(QString &strText);

// Every occurrence of strMarkTo, found ignoring case, becomes "<b>" strMarkTo "</b>" (in strMarkTo's own
// case), in one pass from left to right. An empty strMarkTo changes nothing.
void htmlMarkText(QString &strText, const QString &strMarkTo);

// On a tie both give val2.
template<typename T>
constexpr T max(T val1, T val2)
{
    return val1 > val2 ? val1 : val2;
}

template<typename T>
constexpr T min(T val1, T val2)
{
    return val1 < val2 ? val1 : val2;
}

} // namespace diarytrawl
