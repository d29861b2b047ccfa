#pragma once

#include "platform/Browser.h"

#include <QString>

namespace diarytrawl {

// Stores a scanned page as <pages folder>/<segment>/<name>: the name is what follows the address's last
// '/', the segment what stands between the last two (for ".../~nick/123.html": "~nick" and "123.html").
// The content is the html element's inner HTML with a "text/html; charset=utf-8" declaration turned
// into windows-1251, the code page the file is written in.
//
// A page never lands outside the pages folder and never fails for its name alone:
//  - a segment or name that is empty, "." or ".." is stored as "_" followed by it ("_", "_.", "_..");
//  - an address without a second-to-last '/' is stored in the segment "_";
//  - a name the file system cannot take (too long, or refused when written) is written in a safe form:
//    letters, digits and ".-_~" kept, every other character as '_', cut to 120 characters, followed by
//    '~' and eight hexadecimal digits of a hash of the original name, so different names stay different.
void SavePage(const HtmlDocument &objDoc, const QString &strAddress, const QString &strSavedPagesFolder);

// The name under which a segment or file name is stored (without the write-time fallback).
QString storedPageName(const QString &segment);
// The safe form used when the file system refuses a name.
QString safePageName(const QString &segment);

} // namespace diarytrawl
