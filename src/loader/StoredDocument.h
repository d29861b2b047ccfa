// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Browser.h"

#include <QByteArray>
#include <QByteArrayView>

namespace diarytrawl::web {

// What the page cache keeps of a document besides its text and its HTML, which it keeps as they are:
// the links as parsed, the forms, the comments, how the load ended and the sizes of the text and the
// HTML, so that reading a stored page back costs no parse. The form is the program's own and changes
// only with StoredDocumentForm.
inline constexpr quint32 StoredDocumentForm = 1;

QByteArray documentFacts(const HtmlDocument &document);

struct DocumentFacts {
    qsizetype textSize = 0;      // UTF-16 units of the body's text
    qsizetype htmlUtf8Size = 0;  // bytes of the html element's HTML, in UTF-8
    qsizetype bodyHtmlStart = 0; // the body's HTML within it, in bytes
    qsizetype bodyHtmlSize = 0;
};

// Fills everything but the text, the HTML and the address; false when the bytes are not what
// documentFacts wrote (then the document is left half filled, for the caller to drop).
bool readDocumentFacts(QByteArrayView bytes, HtmlDocument &document, DocumentFacts &facts);

} // namespace diarytrawl::web
