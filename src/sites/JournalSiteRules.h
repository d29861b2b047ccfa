// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "loader/SiteRules.h"

namespace diarytrawl::sites {

// The rules of the LiveJournal family, for the loader.
//  - Consent: LiveJournal remembers an adult's consent in the cookies adult_explicit and adult_concepts
//    on its domain; its notice forms set them too. A notice is answered once per journal and kind.
//  - Notices are forms with an adult_check field whose action ends in adult_explicit.bml,
//    adult_concepts.bml, /journal/adult_explicit or /journal/adult_concepts; a login page is a page whose
//    only form posts a password. Pages are known by their forms alone, never by the words of a language.
class JournalSiteRules final : public SiteRules {
public:
    QList<QNetworkCookie> consentCookies(const QString &siteHost) const override;
    StandIn recogniseStandIn(const HtmlDocument &document) const override;
    FormSubmission consentSubmission(const StandIn &notice) const override;
    QString consentScope(const StandIn &notice, const QString &requested) const override;
};

} // namespace diarytrawl::sites
