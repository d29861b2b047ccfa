// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Browser.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <utility>

namespace diarytrawl::web {

// Parses a page as HTML5 and extracts what a search reads of it, as a browser's DOM gives it:
//  - links: document.links[i].href, in document order;
//  - bodyInnerText: document.body.innerText, from the default rendering of each element (no style
//    sheets are applied), line breaks as "\r\n";
//  - htmlUtf8 and bodyHtmlUtf8(): innerHTML of the html element and of the body (or frameset), in UTF-8;
//    the second is exactly the part of the first between the body's tags.
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

// An element a site's rules want noted: with this tag (empty: any), with this class among its classes
// (empty: any), an id that starts so (empty: any) and this attribute, whose value is kept (empty: none
// asked); only inside an element noted for the selector within (-1: anywhere).
struct ElementSelector {
    QByteArray tag;
    QByteArray classToken;
    QByteArray idPrefix;
    QByteArray attribute;
    int within = -1;
};

// An element of the body that was noted, in document order.
struct NotedElement {
    int selector = 0;
    int within = -1; // the noted element it lies in, for a selector with one
    QString id;
    QString value; // the asked attribute's
    // Its part of the body's text (innerText, UTF-16 positions) and of the body's HTML (its start tag to
    // its end tag, byte offsets in bodyHtmlUtf8()).
    qsizetype textStart = 0;
    qsizetype textEnd = 0;
    qsizetype htmlStart = 0;
    qsizetype htmlEnd = 0;
};

// What a site's rules read of a page besides what every page gives: the elements they want noted, and
// a script's payload they take out of the page themselves ([from, to) in its UTF-8 text), which the
// parser then need not read. The parse fills in the results.
struct PageReading {
    QList<ElementSelector> selectors;
    std::function<std::optional<std::pair<qsizetype, qsizetype>>(QByteArrayView utf8)> findPayload;

    QList<NotedElement> noted;
    QByteArray payload; // UTF-8
};

HtmlDocument buildDocument(const QString &html, const QString &address, const ParseBudget &budget = {});

// decodePage, then buildDocument; a query in a link is written in the page's charset as browsers
// write it.
HtmlDocument buildDocument(const QByteArray &body, const QByteArray &httpContentType, const QString &address,
                           const ParseBudget &budget = {}, PageReading *reading = nullptr);

// The same from text already in UTF-8 (well-formed) that was read in the given charset.
HtmlDocument buildDocumentFromUtf8(QByteArrayView utf8, const QString &address, QByteArrayView encoding,
                                   const ParseBudget &budget = {}, PageReading *reading = nullptr);

} // namespace diarytrawl::web
