// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a report for arbitrary page text, search string and user name (plain and regular-expression
// searches), reads it back through the project's own HTML parser and checks that a reader sees exactly
// what it quotes: the user name and the search string in the settings lines, the entry's address as its
// link and the search string as the link's text, the excerpts as the page holds them, each bold piece
// the page's own text of a match.
//
// Input: the first byte's lowest bit chooses a regular-expression search. The rest is split at 0xFF
// bytes (never part of UTF-8) into the search string, the page text, the user name and the address's
// query, each read as UTF-8.

#include "core/Excerpts.h"
#include "core/ReportFile.h"
#include "loader/HtmlParser.h"
#include "platform/PlatformError.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;
using namespace diarytrawl;

namespace {

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

void checkSame(const QString &read, const QString &expected, const char *what)
{
    if (read != expected)
        std::fprintf(stderr, "read:     %s\nexpected: %s\n", qUtf8Printable(read), qUtf8Printable(expected));
    check(read == expected, what);
}

// Characters that read back as the replacement character: the C1 controls, which the report writes as
// U+FFFD's reference because a reference to one names a windows-1252 character instead. The other
// controls and the noncharacters (U+FDD0, U+FFFE, U+7FFFF, ...) are kept, as a browser keeps them.
bool readAsReplacement(char32_t c)
{
    return c >= 0x80 && c <= 0x9F;
}

// What the parser makes of text as the report writes it: line breaks read as line feeds, NUL dropped,
// a lone surrogate or a C1 control (which a reference cannot name) as the replacement character.
QString asRead(QStringView text)
{
    QString read;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            read += u'\n';
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            const char32_t pair = QChar::surrogateToUcs4(c, text[i + 1]);
            read += readAsReplacement(pair) ? QString(QChar(0xFFFD)) : text.mid(i, 2).toString();
            ++i;
        } else if (c.isSurrogate() || readAsReplacement(c.unicode())) {
            read += QChar(0xFFFD);
        } else if (c.unicode() != 0) {
            read += c;
        }
    }
    return read;
}

// Text as the parser's serialisation writes it.
QString serialised(QStringView text)
{
    QString html;
    for (const QChar c : asRead(text)) {
        if (c == u'&')
            html += u"&amp;";
        else if (c == u'<')
            html += u"&lt;";
        else if (c == u'>')
            html += u"&gt;";
        else if (c == u'\u00a0')
            html += u"&nbsp;";
        else
            html += c;
    }
    return html;
}

// The text between `from` (looked for at or after `at`) and the next `to`; `at` moves past it.
QString between(const QString &html, QStringView from, QStringView to, qsizetype &at)
{
    const qsizetype start = html.indexOf(from, at);
    check(start >= 0, "a marker of the report is where it belongs");
    const qsizetype end = html.indexOf(to, start + from.size());
    check(end >= 0, "a marker of the report is where it belongs");
    at = end + to.size();
    return html.mid(start + from.size(), end - start - from.size());
}

QString queryPart(const QByteArray &bytes)
{
    QString query;
    for (const char c : bytes) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            QByteArrayView("&;=._~-/?").contains(c))
            query += QLatin1Char(c);
    }
    return query;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    static QTemporaryDir folder;
    const QString report = folder.filePath(u"results.tmp.fuzz.htm"_s);
    const bool regScan = data[0] & 1;
    const QList<QByteArray> fields =
        QByteArray(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1)).split('\xff');
    auto field = [&](int i) {
        return i < fields.size() ? QString::fromUtf8(fields[i]) : QString();
    };
    const QString search = field(0);
    const QString page = field(1);
    const QString nick = field(2);
    const QString address =
        u"http://fuzz.example/~nick/1.html?"_s + queryPart(fields.size() > 3 ? fields[3] : QByteArray());

    const QDateTime start(QDate(2005, 3, 17), QTime(21, 5, 7));
    const DateTimeText dateTimeText{QLocale::c()};
    PageExcerpts excerpts;
    try {
        excerpts = pageExcerpts(page, search, regScan);
        StartHtmlReportFile(nick, u"2005"_s, u"01"_s, u"3"_s, search, u"http://fuzz.example/~nick/2005/"_s,
                            report, start, regScan, dateTimeText);
        AddToHtmlReportFile(report, search, u"2005"_s, address, 1, page, regScan);
        CompleteReportFile(report, 1, 1, start, start, false, {}, WindowState(), dateTimeText);
    } catch (const PlatformError &) {
        return 0; // a pattern the engine refuses, or one that costs too much
    }

    for (const Excerpt &excerpt : std::as_const(excerpts.excerpts)) {
        check(page.contains(excerpt.text), "an excerpt is the page's own text");
        for (const auto &[at, length] : excerpt.marks) {
            check(at >= 0 && length > 0 && at + length <= excerpt.text.size(),
                  "marks lie inside the excerpt");
            check(regScan || excerpt.text.mid(at, length).compare(search, Qt::CaseInsensitive) == 0,
                  "a plain search marks what it looked for");
        }
    }

    QFile file(report);
    check(file.open(QIODevice::ReadOnly), "the report can be read");
    const HtmlDocument document = web::buildDocument(file.readAll(), QByteArray(), u"file:///r.htm"_s);
    const QString html = document.bodyInnerHtml();

    check(diarytrawl::web::hrefsOf(document.links) == QStringList{address},
          "the link leads to the address that was read");
    qsizetype at = 0;
    checkSame(between(html, u"nick: \"", u"\"; <br>", at), serialised(nick), "the user name reads as typed");
    checkSame(between(html, regScan ? u"search expression: \"" : u"search-string: \"", u"\"; <br>", at),
              serialised(search), "the search string reads as typed");
    checkSame(between(html, u"\">", u"(1) </a>", at), serialised(search), "the link's text reads as typed");

    QString expected = u"... "_s;
    for (const Excerpt &excerpt : std::as_const(excerpts.excerpts)) {
        qsizetype done = 0;
        for (const auto &[markAt, length] : excerpt.marks) {
            expected += serialised(QStringView(excerpt.text).mid(done, markAt - done)) + u"<b>" +
                        serialised(QStringView(excerpt.text).mid(markAt, length)) + u"</b>";
            done = markAt + length;
        }
        expected += serialised(QStringView(excerpt.text).mid(done)) + u" ... ";
    }
    checkSame(between(html, u"&nbsp;&nbsp;&nbsp;&nbsp; ", u"<br>", at), expected,
              "the excerpts read as the page holds them, the matches in bold");
    check(excerpts.cut ==
              html.mid(at).startsWith(u"\n&nbsp;&nbsp;&nbsp;&nbsp; <i>(this page has more matches"_s),
          "a cut is told");
    return 0;
}
