// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace diarytrawl {

// Puts a backslash in front of every character with a meaning in a pattern (\ ^ $ . * + ? ( ) [ ] { } |),
// so the text matches itself. Changes strText and returns it.
QString regexpDecore(QString &strText);

// The text of the first match of strRegEx in strText, or an empty string. Throws PlatformError for a
// pattern the engine rejects.
QString RegMatch(const QString &strText, const QString &strRegEx, bool bCaseSensitive);

// The pattern of an entry's date stamp in the given year: "@ 2005-03-17".
QString dateStampPattern(const QString &strYear);
// Runs of ASCII letters and digits one of which every match of an ECMAScript pattern holds (ignoring
// case), as far as a plain reading of the pattern's top level tells: for each alternative at the top,
// its longest run outside groups, classes, escapes and quantified characters. Empty when an
// alternative has none that can be told. A text without any of them cannot match, so the engine need
// not be asked.
QStringList requiredLiterals(QStringView pattern);

// What RegMatch(strText, dateStampPattern(strYear), true) gives, without the regular-expression engine:
// it is asked of every entry a search reads.
QString dateStamp(QStringView strText, const QString &strYear);

} // namespace diarytrawl
