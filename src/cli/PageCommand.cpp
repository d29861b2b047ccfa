// SPDX-License-Identifier: GPL-3.0-or-later
#include "PageCommand.h"

#include "loader/NetworkBrowser.h"
#include "loader/PageLoading.h"
#include "platform/PlatformError.h"
#include "sites/JournalSiteRules.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace diarytrawl {

namespace {

constexpr int ExitLoaded = 0;
constexpr int ExitFailure = 1;
constexpr int ExitNotLoaded = 3;
constexpr int ExitUsage = 64;

enum class Output { Links, Text, BodyHtml, Html };

// The usage is said in the desktop's language; what the page holds and why it could not be read are not.
class PageCommand {
    Q_DECLARE_TR_FUNCTIONS(PageCommand)
};

QString usage()
{
    return PageCommand::tr(
        "usage: diarytrawl page URL [--links | --text | --body-html | --html] [--offline]\n"
        "Loads one address as a search does and prints, as UTF-8, what a search sees of it:\n"
        "  --links      the address of every link, one a line, in page order (default)\n"
        "  --text       the text of the page's body\n"
        "  --body-html  the HTML of the page's body\n"
        "  --html       the HTML of the whole page (head and body)\n"
        "  --offline    take the page from the page cache only\n"
        "Exit status: 0 the page was read, 3 it could not be (what the loader shows instead is\n"
        "printed all the same, and why on standard error), 1 the settings cannot be read, 64 bad\n"
        "usage.\n");
}

void writeUtf8(QFile &file, const QString &whole)
{
    const QStringView text(whole);
    // A piece at a time: a page's text may be as large as the body bound.
    constexpr qsizetype Piece = 1 << 20;
    for (qsizetype at = 0; at < text.size();) {
        qsizetype length = std::min(Piece, text.size() - at);
        if (at + length < text.size() && text[at + length - 1].isHighSurrogate())
            --length;
        file.write(text.sliced(at, length).toUtf8());
        at += length;
    }
}

} // namespace

int runPageCommand(const QStringList &arguments)
{
    QFile out;
    QFile err;
    if (!out.open(stdout, QIODevice::WriteOnly) || !err.open(stderr, QIODevice::WriteOnly))
        return ExitFailure;

    QCommandLineParser parser;
    const QCommandLineOption links(u"links"_s);
    const QCommandLineOption text(u"text"_s);
    const QCommandLineOption bodyHtml(u"body-html"_s);
    const QCommandLineOption html(u"html"_s);
    const QCommandLineOption offline(u"offline"_s);
    const QCommandLineOption help(QStringList{u"h"_s, u"help"_s});
    parser.addOptions({links, text, bodyHtml, html, offline, help});

    if (!parser.parse(QStringList{u"diarytrawl page"_s} + arguments)) {
        writeUtf8(err, parser.errorText() + u'\n' + usage());
        return ExitUsage;
    }
    if (parser.isSet(help)) {
        writeUtf8(out, usage());
        return ExitLoaded;
    }
    const QStringList addresses = parser.positionalArguments();
    const int outputsChosen = int(parser.isSet(links)) + int(parser.isSet(text)) +
                              int(parser.isSet(bodyHtml)) + int(parser.isSet(html));
    if (addresses.size() != 1 || outputsChosen > 1) {
        writeUtf8(err, (addresses.size() != 1
                            ? PageCommand::tr("Give exactly one address.")
                            : PageCommand::tr("Choose one of --links, --text, --body-html and --html.")) +
                           u'\n' + usage());
        return ExitUsage;
    }
    Output output = Output::Links;
    if (parser.isSet(text))
        output = Output::Text;
    else if (parser.isSet(bodyHtml))
        output = Output::BodyHtml;
    else if (parser.isSet(html))
        output = Output::Html;

    web::NetworkBrowserOptions options;
    options.forceOffline = parser.isSet(offline);
    options.siteRules = std::make_shared<sites::JournalSiteRules>();
    std::shared_ptr<const HtmlDocument> document;
    try {
        web::NetworkBrowser browser(options);
        browser.setVisible(false);
        browser.setSilent(true);
        // The page command shows no progress: the dots of a long load would only clutter the output.
        LoadProgress silent;
        const bool bStopRequested = false;
        IELoadLink(browser, addresses.first(), silent, bStopRequested);
        document = browser.Document();
        browser.Quit();
    } catch (const PlatformError &failure) {
        writeUtf8(err,
                  u"Error "_s + QString::number(failure.number()) + u": "_s + failure.description() + u'\n');
        return ExitFailure;
    }

    // Only what is printed stays while it is written: the rest of a page as large as the body bound is
    // let go of first, as the page cache may still be storing the page.
    HtmlDocument page = *document;
    document.reset();
    if (output != Output::Text)
        page.bodyInnerText = QString();
    if (output != Output::BodyHtml && output != Output::Html)
        page.htmlUtf8 = QByteArray();

    switch (output) {
    case Output::Links:
        for (const web::WebAddress &link : std::as_const(page.links))
            writeUtf8(out, link.href() + u'\n');
        break;
    case Output::Text:
        writeUtf8(out, page.bodyInnerText);
        break;
    case Output::BodyHtml:
        out.write(page.bodyHtmlUtf8().data(), page.bodyHtmlUtf8().size());
        break;
    case Output::Html:
        out.write(page.htmlUtf8);
        break;
    }
    out.flush();
    if (!page.outcome.ok()) {
        writeUtf8(err, u"diarytrawl page: could not read "_s + addresses.first() + u": "_s +
                           page.outcome.reason + u'\n');
        return ExitNotLoaded;
    }
    return ExitLoaded;
}

} // namespace diarytrawl
