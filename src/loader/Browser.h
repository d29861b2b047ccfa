// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "WebAddress.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <utility>

namespace diarytrawl {

// Why a load did not give the page that was asked for.
enum class LoadFailure {
    None,        // the page asked for
    Network,     // refused, reset or cut short, name not found, TLS failure, timed out
    Http,        // the server answered with a status of 400 or above
    Offline,     // offline mode, and the address is not in the page cache
    TooLarge,    // the body (or the header block) is past its bound
    NotAPage,    // a picture, a file, an address that is no web page, a redirect loop
    AdultNotice, // a 200 answer that shows the site's adult-content notice in place of the page
    LoginPage,   // the site asks a visitor to log in to see the page
    TooComplex,  // the page took too long to read (parse time bound)
    Captcha,     // the site asks to prove the visitor is a person before it shows anything more
    Comments,    // the page was read, but not the comments it carries
};

// How one load ended. The reason is a short phrase in plain words ("the server answered 404 (Not
// Found)"), never holding a cookie or anything else the user did not see.
struct LoadOutcome {
    LoadFailure failure = LoadFailure::None;
    QString reason;
    int status = 0;             // the HTTP status of the last answer, 0 when there was none
    bool transient = false;     // 429, 502, 503, 504, reset or timed out: worth trying again
    int retryAfterSeconds = -1; // what the answer's Retry-After asked for; -1 when it asked nothing

    bool ok() const { return failure == LoadFailure::None; }
};

// One field of a form, as a browser would submit it.
struct HtmlFormField {
    QString name;
    QString value;
    QString
        type; // the input's type in lower case ("hidden", "password", "submit", ...), "textarea", "select"
    bool checked = true; // false for a check box or radio button that is not ticked: it is not sent
};

// A form of the page: where and how it is submitted and what it holds.
struct HtmlForm {
    QString action; // absolute address; the page's own when the form names none
    QString method; // "get" or "post"
    QList<HtmlFormField> fields;
};

// A comment of an entry, as the site's rules read it from the page.
struct PageComment {
    qint64 thread = 0; // its number on the site
    QString author;
    QString text; // as a browser shows it
    QString html;
    QString address; // its own
};

// The comments a page carries, and where more are.
struct PageComments {
    QList<PageComment> comments;
    QList<web::WebAddress> morePages; // further pages of the entry's comments
    QList<web::WebAddress> collapsed; // threads the page shows only in part
    // The parts of the body's text (UTF-16 positions in bodyInnerText) and of its HTML (byte offsets in
    // bodyHtmlUtf8()) that are comments, not the page's own.
    QList<std::pair<qsizetype, qsizetype>> textRanges;
    QList<std::pair<qsizetype, qsizetype>> htmlRanges;
    QString problem; // why the comments could not be read; empty when they could, or there are none

    bool more() const { return !morePages.isEmpty() || !collapsed.isEmpty(); }
};

// What a search reads of a loaded page, as a browser's DOM gives it (HtmlParser.h).
struct HtmlDocument {
    QString address; // where the page came from, after redirects
    // Every a and area element with an href, in document order: its address, parsed once, or the href
    // as written when it does not parse (as a browser's a.href gives it).
    QList<web::WebAddress> links;
    QString bodyInnerText; // the body's rendered text, line breaks as "\r\n"
    // The HTML stays UTF-8 (well formed), as the parse wrote it: a page's HTML is its largest part, and
    // most searches never read it.
    QByteArray htmlUtf8;         // the html element's inner HTML (head and body), UTF-8
    qsizetype bodyHtmlStart = 0; // the body's inner HTML: [bodyHtmlStart, bodyHtmlEnd) of htmlUtf8
    qsizetype bodyHtmlEnd = 0;
    QList<HtmlForm> forms;  // every form, in document order
    PageComments comments;  // as the site's rules read them
    bool fromCache = false; // taken from the page cache, without a request
    LoadOutcome outcome;    // whether this is the page asked for; a failed load still has a document

    QByteArrayView bodyHtmlUtf8() const;
    QString bodyInnerHtml() const; // decoded on demand
    QString htmlInnerHtml() const;
};

// The browser object: loads one address at a time in the background while events are pumped.
//  - Navigate returns at once; Busy is true until the new document is ready. A Navigate during a load
//    abandons the earlier one.
//  - Whatever ends a load (an HTTP error, a failed connection, a scheme that is not loaded) leaves a
//    document: the server's page or a short page saying what failed, as a browser would show, and the
//    document's outcome tells whether it is the page asked for. Nothing throws.
//  - Visible: a visible browser shows the addresses it is sent to in the desktop's web browser
//    instead of loading them itself (the help page). Making a search's browser visible shows nothing.
//  - Silent: this browser never shows dialogs of its own, so it has nothing to silence.
//  - Quit aborts a load in flight and frees what it holds; the object stays usable only for Document.
class Browser {
public:
    virtual ~Browser() = default;

    virtual void setVisible(bool visible) = 0;
    virtual void setSilent(bool silent) = 0;
    // maxAge: a page read from the network less than this long ago may come from the page cache
    // without a request; zero asks the network (unless the browser works offline).
    virtual void Navigate(const QString &address, std::chrono::seconds maxAge = std::chrono::seconds(0)) = 0;
    virtual bool Busy() const = 0;
    // The current document; an empty page before the first load completes.
    virtual std::shared_ptr<const HtmlDocument> Document() const = 0;
    virtual void Quit() = 0;

    // Called (on the browser's thread, from the event loop) when a load ends; empty to stop.
    virtual void notifyWhenIdle(std::function<void()> notify) = 0;
    // Lines worth a place in the search's log once, before the first load: offline mode, login
    // cookies read and any lines of the cookie file that were skipped.
    virtual QStringList sessionNotes() const = 0;
    // The least time between two requests to the site of the address last navigated to (before any,
    // the session's site): what the site asks, slower once it has answered that its limit was met; 0
    // when pages come from the page cache alone.
    virtual std::chrono::milliseconds pace() const = 0;
};

// What a search's browser needs to know of the search it serves.
struct BrowserSession {
    // The journal site's host (maybe with a port); consent cookies go to its domain.
    QString siteHost;
    // The user has said they are an adult: the sites' adult-content notices are answered.
    bool adultConsent = false;
    // Where the user's login cookies come from: empty for none, a cookies.txt or cookies.sqlite file,
    // or "firefox" / "firefox:PROFILE_FOLDER".
    QString loginCookies;
    // The journal the search reads: the page cache files its pages under it and the site.
    QString journal;
    // Whether the search reads the pages' HTML (it searches the HTML code, or stores pages); when it
    // does not, pages from the page cache may come without it.
    bool readsHtml = true;
};

// Makes a fresh browser object: one per search, one per help-page request. Throws PlatformError when
// the browser cannot start (a damaged settings store, a login cookie source that cannot be read).
class BrowserFactory {
public:
    virtual ~BrowserFactory() = default;
    virtual std::unique_ptr<Browser> createBrowser(const BrowserSession &session = {}) = 0;
};

} // namespace diarytrawl
