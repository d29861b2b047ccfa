// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace diarytrawl {

// Writes strText in windows-1251, one byte per character and '?' for a character the code page lacks,
// adding nothing. bRewrite > 0 starts the file afresh; any other value appends to a file that must
// exist. Only a regular file is written, never through a symbolic link. Throws PlatformError; what was
// written before a failure stays.
void WriteString(const QString &strFileName, const QString &strText, int bRewrite);

// The same for HTML text and attribute values: a character the code page lacks is written as a
// numeric character reference ("&#8381;"), so nothing is lost.
void WriteHtmlString(const QString &strFileName, const QString &strText, int bRewrite);

// Makes the folder when it is missing (its parent must exist) and returns its full path.
QString CreateFolder(const QString &strPath);

} // namespace diarytrawl
