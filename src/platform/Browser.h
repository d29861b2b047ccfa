#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace diarytrawl {

// What a search reads of a loaded page, as a browser's DOM gives it (web/HtmlParser.h). No link
// holds '"', '<', '>', a space or a control character: one that does not resolve is given as written
// with those percent-encoded, so any link can go into an HTML attribute.
struct HtmlDocument {
    QString address;       // where the page came from, after redirects
    QStringList links;     // href of every a and area element with an href, in document order, absolute
    QString bodyInnerText; // the body's rendered text, line breaks as "\r\n"
    QString bodyInnerHtml; // the body's HTML
    QString htmlInnerHtml; // the html element's inner HTML: head and body
};

// The browser object: loads one address at a time in the background while events are pumped.
//  - Navigate returns at once; Busy is true until the new document is ready. A Navigate during a load
//    abandons the earlier one.
//  - Whatever ends a load (an HTTP error, a failed connection, a scheme that is not loaded) leaves a
//    document: the server's page or a short error page, as a browser would show. Nothing throws.
//  - Visible: a visible browser shows the addresses it is sent to in the desktop's web browser
//    instead of loading them itself (the help page). Making a search's browser visible shows nothing.
//  - Silent: this browser never shows dialogs of its own, so it has nothing to silence.
//  - Quit aborts a load in flight and frees what it holds; the object stays usable only for Document.
class Browser {
public:
    virtual ~Browser() = default;

    virtual void setVisible(bool visible) = 0;
    virtual void setSilent(bool silent) = 0;
    virtual void Navigate(const QString &address) = 0;
    virtual bool Busy() const = 0;
    // The current document; an empty page before the first load completes.
    virtual std::shared_ptr<const HtmlDocument> Document() const = 0;
    virtual void Quit() = 0;
};

// Makes a fresh browser object: one per search, one per help-page request.
class BrowserFactory {
public:
    virtual ~BrowserFactory() = default;
    virtual std::unique_ptr<Browser> createBrowser() = 0;
};

} // namespace diarytrawl
