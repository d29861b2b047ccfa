// SPDX-License-Identifier: GPL-3.0-or-later
#include "StandInPages.h"

#include <QUrl>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace diarytrawl::web {

namespace {

constexpr QStringView AdultCheck = u"adult_check";

AdultNoticeKind adultKindOfAction(const QString &action)
{
    const QString path = QUrl(action).path().toLower();
    if (path.endsWith(u"adult_explicit.bml") || path.endsWith(u"/journal/adult_explicit"))
        return AdultNoticeKind::Explicit;
    if (path.endsWith(u"adult_concepts.bml") || path.endsWith(u"/journal/adult_concepts"))
        return AdultNoticeKind::Concepts;
    return AdultNoticeKind::None;
}

bool hasField(const HtmlForm &form, QStringView name)
{
    return std::any_of(form.fields.cbegin(), form.fields.cend(),
                       [name](const HtmlFormField &field) { return field.name == name; });
}

// application/x-www-form-urlencoded, as the HTML standard writes it: spaces as '+'.
QByteArray formEncoded(const QString &text)
{
    return QUrl::toPercentEncoding(text, " ").replace(' ', '+');
}

} // namespace

StandIn recogniseStandIn(const HtmlDocument &document)
{
    StandIn standIn;
    for (const HtmlForm &form : document.forms) {
        const AdultNoticeKind kind = adultKindOfAction(form.action);
        if (kind != AdultNoticeKind::None && hasField(form, AdultCheck)) {
            standIn.failure = LoadFailure::AdultNotice;
            standIn.adultKind = kind;
            standIn.form = form;
            return standIn;
        }
    }
    if (document.forms.size() == 1 && document.forms.first().method == u"post") {
        const HtmlForm &form = document.forms.first();
        if (std::any_of(form.fields.cbegin(), form.fields.cend(),
                        [](const HtmlFormField &field) { return field.type == u"password"; }))
            standIn.failure = LoadFailure::LoginPage;
    }
    return standIn;
}

FormSubmission consentSubmission(const HtmlForm &form)
{
    QByteArray encoded;
    const auto add = [&encoded](const QString &name, const QString &value) {
        if (!encoded.isEmpty())
            encoded += '&';
        encoded += formEncoded(name) + '=' + formEncoded(value);
    };
    bool checked = false;
    for (const HtmlFormField &field : form.fields) {
        if (field.name.isEmpty())
            continue;
        if (field.name == AdultCheck) {
            if (!checked)
                add(field.name, field.value.isEmpty() ? u"1"_s : field.value);
            checked = true;
        } else if (field.type != u"submit" && field.type != u"image" && field.type != u"button" &&
                   field.type != u"reset") {
            add(field.name, field.value);
        }
    }
    FormSubmission submission;
    if (form.method == u"post") {
        submission.method = "POST";
        submission.address = form.action;
        submission.body = encoded;
    } else {
        submission.method = "GET";
        QUrl address(form.action);
        address.setQuery(QString::fromLatin1(encoded), QUrl::StrictMode);
        submission.address = address.toString(QUrl::FullyEncoded);
    }
    return submission;
}

} // namespace diarytrawl::web
