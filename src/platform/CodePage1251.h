#pragma once

#include <QByteArray>
#include <QString>

namespace diarytrawl::cp1251 {

// windows-1251: the single-byte code page every file we write is in, and the charset a page without
// any declaration is read in. Encoding gives one byte per character and '?' for each character the
// code page lacks; a surrogate pair is one character.
QByteArray fromUnicode(QStringView text);
QString toUnicode(QByteArrayView bytes);

} // namespace diarytrawl::cp1251
