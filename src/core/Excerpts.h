// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <utility>

namespace diarytrawl {

// Excerpts around the matches of a page, one per match in order. An excerpt reaches a few words
// (single spaces) to each side of its match, three for a plain search and four for a regular
// expression, never more than ExcerptReach characters from it. The cost is linear in the text.

inline constexpr qsizetype ExcerptReach = 80;
// A page that matches at every character would otherwise put megabytes into the report for one entry.
inline constexpr qsizetype MaxExcerptsPerPage = 10000;

// The page's own text around a match, and the pieces of it shown in bold: every occurrence, ignoring
// case, of the search string (of the matched text, for a regular expression), each in the page's own
// letters.
struct Excerpt {
    QString text;
    QList<std::pair<qsizetype, qsizetype>> marks; // (position in text, length), in order, apart

    friend bool operator==(const Excerpt &, const Excerpt &) = default;
};

struct PageExcerpts {
    QList<Excerpt> excerpts;
    bool cut = false; // the page has more than MaxExcerptsPerPage matches; these are the first ones

    friend bool operator==(const PageExcerpts &, const PageExcerpts &) = default;
};

// Plain search (bRegScan false): the occurrences of search, ignoring case; an empty search string gives
// no excerpt at all. Regular expression: its matches, ignoring case; throws PlatformError for a pattern
// the engine rejects or a match that costs too much.
PageExcerpts pageExcerpts(const QString &pageText, const QString &search, bool bRegScan);

// As the report shows them: "... ", then each excerpt's HTML followed by " ... ", then, when the page
// had more matches, a line that says so.
QString excerptsHtml(const PageExcerpts &excerpts);

// The excerpts of a plain search and of a regular-expression search, as the report shows them.
QString getNeighborhood(const QString &strText, const QString &strSubstr);
QString getHtmlNghbrhdRgxSel(const QString &strText, const QString &strRegexp);

// An excerpt's HTML: its text escaped, each mark in bold.
QString htmlMarkText(const Excerpt &excerpt);

// "&" -> "&amp;", "<" -> "&lt;", ">" -> "&gt;": text that reads as itself in an HTML text. Quotes stay.
void htmlSafeDecore(QString &strText);
// The same, and '"' -> "&quot;": text that reads as itself in a double-quoted attribute value.
QString htmlAttribute(const QString &text);

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
