#pragma once

#include "platform/Browser.h"

#include <QByteArray>
#include <QString>

namespace diarytrawl::web {

// Parses a page as HTML5 and extracts what a search reads of it. address is the page's final address,
// against which links resolve. Pure function of its arguments; safe on any thread.
HtmlDocument buildDocument(const QString &html, const QString &address);

// decodePage, then buildDocument.
HtmlDocument buildDocument(const QByteArray &body, const QByteArray &httpContentType, const QString &address);

} // namespace diarytrawl::web
