// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "loader/SiteRules.h"

namespace diarytrawl::sites {

using web::PageReading;

// The rules of the LiveJournal family, for the loader.
//  - Consent: LiveJournal remembers an adult's consent in the cookies adult_explicit and adult_concepts
//    on its domain (LJ::ContentFlag::check_adult_cookie), and its notice forms set them too: a notice is
//    answered once per journal and kind. Dreamwidth keeps a consent per journal and entry
//    (DW::Logic::AdultContent::set_confirmed_pages), and its form names the entry (entryid, 0 for the
//    whole journal): such a notice at an entry is answered once for that entry's address.
//  - Notices are forms with an adult_check field whose action ends in adult_explicit.bml,
//    adult_concepts.bml, /journal/adult_explicit or /journal/adult_concepts; a login page is a page whose
//    only form posts a password; Dreamwidth's captcha (DW/Captcha.pm, views/auth/captcha.tt) is its
//    /captcha page, whose form carries the address to return to. Pages are known by their forms alone,
//    never by the words of a language.
//  - Pace: at most five requests a second, as LiveJournal's bot policy asks. Dreamwidth allows a visitor
//    30 requests a minute, and 100 to someone logged in (Plack::Middleware::DW::RateLimit): one every
//    2 s, or 0.6 s with the user's login cookies.
class JournalSiteRules final : public SiteRules {
public:
    QList<QNetworkCookie> consentCookies(const QString &siteHost) const override;
    StandIn recogniseStandIn(const HtmlDocument &document) const override;
    bool isCaptcha(const web::WebAddress &address) const override;
    FormSubmission consentSubmission(const StandIn &notice) const override;
    QString consentScope(const StandIn &notice, const web::WebAddress &requested) const override;
    QString siteOf(QStringView host) const override;
    std::chrono::milliseconds pace(const QString &site, bool withLoginCookies) const override;
    PageReading commentReading() const override;
    quint32 readingVersion() const override { return 1; }
    PageComments readComments(const HtmlDocument &document, const PageReading &reading,
                              const FragmentParser &parseFragment) const override;
};

} // namespace diarytrawl::sites
