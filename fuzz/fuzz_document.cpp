// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes through everything that turns a page into a document: charset detection and
// decoding, the HTML parse under its time bound, links, forms and the pages recognised by them, the
// comments a page carries (in script data or markup), innerText and both innerHTMLs, and checks what
// must always hold.
//
// Input: the first byte gives the length (modulo 64) of a Content-Type header value that follows it;
// the rest is the page.

#include "loader/HtmlParser.h"
#include "loader/PageDecoding.h"
#include "loader/WebAddress.h"
#include "sites/JournalSiteRules.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

using namespace Qt::StringLiterals;

namespace {

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t typeLength = std::min<std::size_t>(data[0] % 64, size - 1);
    const QByteArray contentType(reinterpret_cast<const char *>(data + 1), qsizetype(typeLength));
    const QByteArray body(reinterpret_cast<const char *>(data + 1 + typeLength),
                          qsizetype(size - 1 - typeLength));

    const QString text = diarytrawl::web::decodePage(body, contentType);
    const diarytrawl::web::Utf8Page utf8 = diarytrawl::web::pageToUtf8(body, contentType);
    // (QString::fromUtf8 would drop a byte-order mark the page has as text after its own.)
    check(diarytrawl::web::wellFormedUtf8ToString(utf8.text) == text,
          "the parser reads the text decodePage gives");

    // An href may take a shortcut past the parser, from UTF-8 or from text; it must give what the parser
    // gives.
    QString href = text.left(120);
    if (!href.isEmpty() && href.back().isHighSurrogate())
        href.chop(1); // cut in the middle of a pair

    const QByteArray hrefUtf8 = href.toUtf8();
    const QString baseAddress = u"http://fuzz.example/dir/page.html?q#f"_s;
    const diarytrawl::web::HrefResolver resolver(baseAddress, utf8.encoding);
    const auto base = diarytrawl::web::WebAddress::parse(baseAddress);
    const auto parsed = diarytrawl::web::WebAddress::parse(href, &*base, utf8.encoding)
                            .value_or(diarytrawl::web::WebAddress::unparsed(href));
    check(resolver.resolveUtf8(std::string_view(hrefUtf8.constData(), std::size_t(hrefUtf8.size()))) ==
              parsed,
          "hrefs resolve alike from UTF-8 and through the parser");
    check(resolver.resolve(href) == parsed, "hrefs resolve alike from text and through the parser");

    // Pages whose parse time grows with the square of their nesting or attribute count stop at the
    // bound, as they do in a search; the bound must leave nothing behind for the sanitizers to find.
    diarytrawl::web::ParseBudget budget;
    budget.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    diarytrawl::HtmlDocument document;
    const diarytrawl::sites::JournalSiteRules rules;
    diarytrawl::web::PageReading reading = rules.commentReading();
    try {
        document = diarytrawl::web::buildDocument(body, contentType, u"http://fuzz.example/dir/page.html"_s,
                                                  budget, &reading);
        // The comments a page carries, in its script data or its markup, with their HTML read as pages are.
        document.comments = rules.readComments(document, reading, [&budget](QByteArrayView html) {
            return diarytrawl::web::buildDocumentFromUtf8(html, QString(), "UTF-8", budget);
        });
    } catch (const diarytrawl::web::ParseStopped &) {
        return 0;
    }
    for (const auto &[start, end] : document.comments.textRanges)
        check(start >= 0 && start <= end && end <= document.bodyInnerText.size(), "comments lie in the text");
    const diarytrawl::StandIn standIn = rules.recogniseStandIn(document);
    if (standIn.failure == diarytrawl::LoadFailure::None && !document.forms.isEmpty())
        rules.consentSubmission({diarytrawl::LoadFailure::AdultNotice, document.forms.first(), {}});
    else if (standIn.failure == diarytrawl::LoadFailure::AdultNotice)
        check(!rules.consentSubmission(standIn).body.contains(' '), "forms are encoded");
    check(document.bodyHtmlStart >= 0 && document.bodyHtmlStart <= document.bodyHtmlEnd &&
              document.bodyHtmlEnd <= document.htmlUtf8.size(),
          "the body's HTML is part of the html element's");
    check(QByteArrayView(document.htmlUtf8).isValidUtf8(), "the HTML is well-formed UTF-8");
    for (const auto &[start, end] : document.comments.htmlRanges)
        check(start >= 0 && start <= end && end <= document.bodyHtmlUtf8().size(),
              "comments lie in the HTML");
    const QString &innerText = document.bodyInnerText;
    for (qsizetype i = 0; i < innerText.size(); ++i) {
        if (innerText[i] == u'\r')
            check(i + 1 < innerText.size() && innerText[i + 1] == u'\n', "CR only before LF");
        if (innerText[i] == u'\n')
            check(i > 0 && innerText[i - 1] == u'\r', "LF only after CR");
    }
    return 0;
}
