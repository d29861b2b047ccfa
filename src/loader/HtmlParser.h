// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Browser.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <chrono>
#include <functional>
#include <stdexcept>

namespace diarytrawl::web {

// Parses a page as HTML5 and extracts what a search reads of it, as a browser's DOM gives it:
//  - links: document.links[i].href, in document order;
//  - bodyInnerText: document.body.innerText, from the default rendering of each element (no style
//    sheets are applied), line breaks as "\r\n";
//  - bodyInnerHtml, htmlInnerHtml: innerHTML of the body (or frameset) and of the html element; the
//    first is exactly the part of the second between the body's tags.
//  - forms: every form with its action (absolute), method and the fields a browser would submit.
// address is the page's final address, against which links resolve. Scripting counts as on:
// noscript content is raw text. Pure functions of their arguments; safe on any thread.

// How long a parse may take and how it learns that nobody waits for it any more. A parse that runs
// past either throws ParseStopped; the thread is free again within milliseconds.
struct ParseBudget {
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    std::function<bool()> abandoned; // asked now and then on the parsing thread
};

class ParseStopped : public std::runtime_error {
public:
    explicit ParseStopped(bool pastDeadline)
        : std::runtime_error(pastDeadline ? "the page took too long to read" : "the parse was abandoned")
        , m_pastDeadline(pastDeadline)
    {}
    bool pastDeadline() const { return m_pastDeadline; }

private:
    bool m_pastDeadline;
};

HtmlDocument buildDocument(const QString &html, const QString &address, const ParseBudget &budget = {});

// decodePage, then buildDocument; a query in a link is written in the page's charset as browsers
// write it.
HtmlDocument buildDocument(const QByteArray &body, const QByteArray &httpContentType, const QString &address,
                           const ParseBudget &budget = {});

// The same from text already in UTF-8 (well-formed) that was read in the given charset.
HtmlDocument buildDocumentFromUtf8(QByteArrayView utf8, const QString &address, QByteArrayView encoding,
                                   const ParseBudget &budget = {});

} // namespace diarytrawl::web
