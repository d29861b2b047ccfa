#pragma once

#include "platform/Browser.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace diarytrawl::web {

// Parses a page as HTML5 and extracts what a search reads of it, as a browser's DOM gives it:
//  - links: document.links[i].href, in document order;
//  - bodyInnerText: document.body.innerText, from the default rendering of each element (no style
//    sheets are applied), line breaks as "\r\n";
//  - bodyInnerHtml, htmlInnerHtml: innerHTML of the body (or frameset) and of the html element; the
//    first is exactly the part of the second between the body's tags.
// address is the page's final address, against which links resolve. Scripting counts as on:
// noscript content is raw text. Pure functions of their arguments; safe on any thread.
HtmlDocument buildDocument(const QString &html, const QString &address);

// decodePage, then buildDocument; a query in a link is written in the page's charset as browsers
// write it.
HtmlDocument buildDocument(const QByteArray &body, const QByteArray &httpContentType, const QString &address);

// The same from text already in UTF-8 (well-formed) that was read in the given charset.
HtmlDocument buildDocumentFromUtf8(QByteArrayView utf8, const QString &address, QByteArrayView encoding);

} // namespace diarytrawl::web
