// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Browser.h"

#include <QByteArray>
#include <QString>

namespace diarytrawl::web {

// The pages the journal sites answer with 200 in place of the page asked for. They are recognised by
// their forms alone, never by the words of one language.
enum class AdultNoticeKind { None, Explicit, Concepts };

struct StandIn {
    LoadFailure failure = LoadFailure::None; // AdultNotice, LoginPage or None
    AdultNoticeKind adultKind = AdultNoticeKind::None;
    HtmlForm form; // the notice's form
};

// An adult-content notice: a form with an adult_check field whose action ends in adult_explicit.bml,
// adult_concepts.bml, /journal/adult_explicit or /journal/adult_concepts. A login page: the page's only
// form posts a password.
StandIn recogniseStandIn(const HtmlDocument &document);

// The notice's form as a browser submits it when its adult_check button is pressed: every field the
// form has (other submit buttons left out), adult_check set.
struct FormSubmission {
    QByteArray method; // "GET" or "POST"
    QString address;   // for GET, with the fields as its query
    QByteArray body;   // for POST: application/x-www-form-urlencoded
};
FormSubmission consentSubmission(const HtmlForm &form);

} // namespace diarytrawl::web
