// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Browser.h"
#include "HtmlParser.h"
#include "WebAddress.h"

#include <QByteArray>
#include <QList>
#include <QNetworkCookie>
#include <QString>
#include <QStringView>

#include <chrono>
#include <functional>

namespace diarytrawl {

// A page a site answers with in place of the one asked for, as the site's rules recognise it.
struct StandIn {
    LoadFailure failure = LoadFailure::None; // AdultNotice, LoginPage, Captcha, or None for the page itself
    HtmlForm form;                           // a notice's form
    QString kind;                            // which notice, in the site's own terms
};

// A form as a browser submits it.
struct FormSubmission {
    QByteArray method;       // "GET" or "POST"
    web::WebAddress address; // for GET, with the fields as its query
    QByteArray body;         // for POST: application/x-www-form-urlencoded
};

// Reads a piece of HTML (UTF-8) as a page is read, with the same parser and within the same bounds;
// throws ParseStopped as the page's own parse does.
using FragmentParser = std::function<HtmlDocument(QByteArrayView utf8)>;

// What the loader asks of the family of journal sites a search reads: the loader declares the
// questions, src/sites answers them. Every answer depends on its arguments alone, so the rules are
// asked from any thread.
class SiteRules {
public:
    virtual ~SiteRules() = default;

    // Cookies that carry an adult's consent to the site's notices, sent from the first request.
    virtual QList<QNetworkCookie> consentCookies(const QString &siteHost) const = 0;
    // Whether a page stands in for the one asked for (a notice, a login page, a captcha), known by its
    // markup.
    virtual StandIn recogniseStandIn(const HtmlDocument &document) const = 0;
    // Whether a redirect to this address sends the visitor to the site's captcha, which is not followed.
    virtual bool isCaptcha(const web::WebAddress &address) const = 0;
    // The notice's form as a browser submits it when the consent is given.
    virtual FormSubmission consentSubmission(const StandIn &notice) const = 0;
    // Where an answer holds: a notice is answered once for each scope; one that comes again in a scope
    // already answered is the load's failure. requested is the address asked for.
    virtual QString consentScope(const StandIn &notice, const web::WebAddress &requested) const = 0;

    // Which site a host belongs to: requests to one site are paced together, and once it shows a
    // captcha none go to it any more.
    virtual QString siteOf(QStringView host) const = 0;
    // The least time between two requests to the site; withLoginCookies: the user's login cookies go
    // with the requests.
    virtual std::chrono::milliseconds pace(const QString &site, bool withLoginCookies) const = 0;

    // What the parser should note of a page and take out of it for the rules to read its comments.
    virtual web::PageReading commentReading() const = 0;
    // Changes whenever what the rules read of a page changes: the page cache then reads its pages again.
    virtual quint32 readingVersion() const = 0;
    // The comments a page carries, from what its parse noted and took out.
    virtual PageComments readComments(const HtmlDocument &document, const web::PageReading &reading,
                                      const FragmentParser &parseFragment) const = 0;
};

} // namespace diarytrawl
