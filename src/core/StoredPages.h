// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "loader/Browser.h"

#include <QByteArray>
#include <QString>

namespace diarytrawl {

// Stores a scanned page as <pages folder>/<segment>/<name>: the name is what follows the address's last
// '/', the segment what stands between the last two (for ".../~nick/123.html": "~nick" and "123.html").
// The content is the html element's inner HTML as storedPageBytes gives it. The file is written under a
// temporary name and renamed into place: a failed write leaves no file, neither a part of the page nor
// an empty one, and fails with the system's reason.
//
// A page never lands outside the pages folder and never fails for its name alone:
//  - a segment or name that is empty, "." or ".." is stored as "_" followed by it ("_", "_.", "_..");
//  - an address without a second-to-last '/' is stored in the segment "_";
//  - a name the file system cannot take (too long, or refused as a name when written) is written in a
//    safe form: letters, digits and ".-_~" kept, every other character as '_', cut to 120 characters,
//    followed by '~' and eight hexadecimal digits of a hash of the original name, so different names
//    stay different.
void SavePage(const HtmlDocument &objDoc, const QString &strAddress, const QString &strSavedPagesFolder);

// A page's HTML as it is stored: in windows-1251, with every charset declaration (a meta charset, or
// the content of a meta http-equiv="Content-Type") rewritten to windows-1251, and a declaration added at
// the start of the head when the head has none. A character the code page lacks is written as a
// character reference in text and attribute values; in the text of raw-text elements (script, style,
// ...) and comments, where a browser would show a reference as written, it stays '?'.
QByteArray storedPageBytes(const QString &html);

// The name under which a segment or file name is stored (without the write-time fallback).
QString storedPageName(const QString &segment);
// The safe form used when the file system refuses a name.
QString safePageName(const QString &segment);

} // namespace diarytrawl
