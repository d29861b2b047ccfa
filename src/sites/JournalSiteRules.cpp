// SPDX-License-Identifier: GPL-3.0-or-later
#include "JournalSiteRules.h"

#include "Comments.h"
#include "Sites.h"

#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace diarytrawl::sites {

namespace {

constexpr QStringView AdultCheck = u"adult_check";
constexpr QStringView EntryField = u"entryid";
constexpr QStringView CaptchaReturn = u"returnto";
constexpr QStringView CaptchaPath = u"/captcha";

// The kind of notice a form's action names: "explicit", "concepts", or none.
using web::WebAddress;

WebAddress addressOf(const QString &href)
{
    return WebAddress::parse(href).value_or(WebAddress::unparsed(href));
}

QString noticeKindOfAction(const QString &action)
{
    const QString path = addressOf(action).path().toString().toLower();
    if (path.endsWith(u"adult_explicit.bml") || path.endsWith(u"/journal/adult_explicit"))
        return u"explicit"_s;
    if (path.endsWith(u"adult_concepts.bml") || path.endsWith(u"/journal/adult_concepts"))
        return u"concepts"_s;
    return {};
}

const HtmlFormField *field(const HtmlForm &form, QStringView name)
{
    const auto found = std::find_if(form.fields.cbegin(), form.fields.cend(),
                                    [name](const HtmlFormField &field) { return field.name == name; });
    return found == form.fields.cend() ? nullptr : &*found;
}

bool hasField(const HtmlForm &form, QStringView name)
{
    return field(form, name) != nullptr;
}

// application/x-www-form-urlencoded, as the HTML standard writes it: spaces as '+'.
QByteArray formEncoded(const QString &text)
{
    return QUrl::toPercentEncoding(text, " ").replace(' ', '+');
}

// Which journal an address belongs to: the host, and on the site's own host the "~user" or "users/user"
// that starts the path.
QString journalOf(const WebAddress &url)
{
    const QStringList segments = url.path().toString().split(u'/', Qt::SkipEmptyParts);
    QString journal = url.host().toString();
    if (!segments.isEmpty() && segments.first().startsWith(u'~'))
        journal += u'/' + segments.first();
    else if (segments.size() > 1 && segments.first() == u"users")
        journal += u"/users/" + segments.at(1);
    return journal;
}

} // namespace

QList<QNetworkCookie> JournalSiteRules::consentCookies(const QString &siteHost) const
{
    const QString domain = siteDomain(siteHost);
    if (domain.isEmpty())
        return {};
    const bool hasDomain = domain.contains(u'.') && WebAddress::parse(QString(u"http://"_s + domain)) &&
                           !domain.front().isDigit();
    QList<QNetworkCookie> cookies;
    for (const char *name : {"adult_explicit", "adult_concepts"}) {
        QNetworkCookie consent(name, "1");
        consent.setDomain(hasDomain ? u'.' + domain : domain);
        consent.setPath(u"/"_s);
        cookies.append(consent);
    }
    return cookies;
}

StandIn JournalSiteRules::recogniseStandIn(const HtmlDocument &document) const
{
    StandIn standIn;
    for (const HtmlForm &form : document.forms) {
        const QString kind = noticeKindOfAction(form.action);
        if (!kind.isEmpty() && hasField(form, AdultCheck)) {
            standIn.failure = LoadFailure::AdultNotice;
            standIn.kind = kind;
            standIn.form = form;
            return standIn;
        }
    }
    for (const HtmlForm &form : document.forms) {
        const HtmlFormField *returnTo = field(form, CaptchaReturn);
        if (returnTo && returnTo->type == u"hidden" && isCaptcha(addressOf(form.action))) {
            standIn.failure = LoadFailure::Captcha;
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

// Every field the form has as its adult_check button is pressed: the other buttons and the boxes that
// are not ticked left out, adult_check sent whatever it is.
FormSubmission JournalSiteRules::consentSubmission(const StandIn &notice) const
{
    const HtmlForm &form = notice.form;
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
        } else if (field.checked && field.type != u"submit" && field.type != u"image" &&
                   field.type != u"button" && field.type != u"reset") {
            add(field.name, field.value);
        }
    }
    FormSubmission submission;
    if (form.method == u"post") {
        submission.method = "POST";
        submission.address = addressOf(form.action);
        submission.body = encoded;
    } else {
        submission.method = "GET";
        // The fields take the place of the action's query (the HTML standard's "mutate action URL").
        const WebAddress action = addressOf(form.action);
        QString target = action.withoutFragment().toString();
        if (const std::optional<QStringView> query = action.query())
            target.chop(query->size() + 1);
        submission.address = addressOf(target + u'?' + QString::fromLatin1(encoded));
    }
    return submission;
}

QString JournalSiteRules::consentScope(const StandIn &notice, const WebAddress &requested) const
{
    const HtmlFormField *entry = field(notice.form, EntryField);
    if (entry && !entry->value.isEmpty() && entry->value != u"0")
        return u"entry "_s + requested.href() + u'#' + notice.kind;
    return journalOf(requested) + u'#' + notice.kind;
}

bool JournalSiteRules::isCaptcha(const WebAddress &address) const
{
    return address.path() == CaptchaPath && isDreamwidth(siteOf(address.host()));
}

QString JournalSiteRules::siteOf(QStringView host) const
{
    return sites::siteOf(host);
}

std::chrono::milliseconds JournalSiteRules::pace(const QString &site, bool withLoginCookies) const
{
    using std::chrono::milliseconds;
    if (isDreamwidth(site))
        return withLoginCookies ? milliseconds(600) : milliseconds(2000);
    return milliseconds(200);
}

PageReading JournalSiteRules::commentReading() const
{
    return sites::commentReading();
}

PageComments JournalSiteRules::readComments(const HtmlDocument &document, const PageReading &reading,
                                            const FragmentParser &parseFragment) const
{
    return sites::readComments(document, reading, parseFragment);
}

} // namespace diarytrawl::sites
