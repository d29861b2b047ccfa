// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace diarytrawl::cp1251 {

// windows-1251: the single-byte code page every file we write is in, and the charset a page without
// any declaration is read in. A surrogate pair is one character.

// How a character the code page lacks is written.
enum class Unmapped {
    QuestionMark,       // '?': for plain text, and for HTML where a reference is read literally
    CharacterReference, // "&#8381;", as HTML text and attribute values read it
};

// One byte per character the code page has. As a character reference, a lone surrogate (no character
// at all) and a C1 control (which HTML reads as a windows-1252 character) become "&#65533;", the
// replacement character a browser shows for them.
QByteArray fromUnicode(QStringView text, Unmapped unmapped = Unmapped::QuestionMark);
QString toUnicode(QByteArrayView bytes);

// Whether the code page has the character (one UTF-16 unit; surrogates never).
bool hasCharacter(QChar c);

} // namespace diarytrawl::cp1251
