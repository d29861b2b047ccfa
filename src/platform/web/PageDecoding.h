#pragma once

#include <QByteArray>
#include <QString>

namespace diarytrawl::web {

// Turns a page's bytes into text as browsers do: the charset named by the HTTP Content-Type header
// (httpContentType, may be empty), else a byte-order mark, else a meta declaration within the first
// 1024 bytes, else windows-1251. Bytes the charset cannot decode become U+FFFD.
QString decodePage(const QByteArray &body, const QByteArray &httpContentType);

} // namespace diarytrawl::web
