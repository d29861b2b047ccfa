// SPDX-License-Identifier: GPL-3.0-or-later
#include "loader/CodePage1251.h"
#include "loader/HtmlParser.h"

#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <future>
#include <memory>
#include <vector>

using namespace diarytrawl;
using namespace diarytrawl::web;
using namespace Qt::StringLiterals;

namespace {

const QString Address = u"http://example.com/dir/page.html"_s;
const QString Dir = u"http://example.com/dir/"_s;

// The body's HTML must be the html element's HTML between the body's (or frameset's) tags.
void verifyBodyInsideHtml(const HtmlDocument &document)
{
    const QByteArray &html = document.htmlUtf8;
    const qsizetype tag = std::max(html.indexOf("<body"), html.indexOf("<frameset"));
    QVERIFY(tag >= 0);
    QCOMPARE(document.bodyHtmlStart, html.indexOf('>', tag) + 1);
    const QByteArray rest = html.sliced(document.bodyHtmlEnd);
    QVERIFY2(rest.startsWith("</body>") || rest.startsWith("</frameset>"), rest.left(80).constData());
}

} // namespace

class TestHtmlDocument : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void links_data();
    void links();
    void innerText_data();
    void innerText();
    void innerHtml_data();
    void innerHtml();
    void garbage();
    void deepNesting_data();
    void deepNesting();
};

void TestHtmlDocument::links_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QStringList>("links");

    QTest::newRow("a and area in order")
        << u"<a href=a1>x</a><map><area href=a2></map><a>none</a><a href=''>e</a><link href=css><A HREF=UP>"_s
        << QStringList{Dir + u"a1", Dir + u"a2", Address, Dir + u"UP"};
    QTest::newRow("base") << u"<head><base href='http://other.org/x/'></head><a href=y>"_s
                          << QStringList{u"http://other.org/x/y"_s};
    QTest::newRow("relative base after the link")
        << u"<a href=y></a><base href=/sub/>"_s << QStringList{u"http://example.com/sub/y"_s};
    QTest::newRow("first base with href")
        << u"<base target=_top><base href='http://one/'><base href='http://two/'><a href=y>"_s
        << QStringList{u"http://one/y"_s};
    QTest::newRow("javascript base") << u"<base href='javascript:x'><a href=y>"_s << QStringList{Dir + u"y"};
    QTest::newRow("base starting with U+FEFF")
        << u"<base href='&#xFEFF;b/'><a href=y>"_s << QStringList{Dir + u"%EF%BB%BFb/y"};
    QTest::newRow("unparsable base") << u"<base href='http://[x/'><a href=y>"_s << QStringList{Dir + u"y"};
    QTest::newRow("svg a is no link")
        << u"<svg><a href=s></a><a xlink:href=s2></a><foreignObject><a href=h></a></foreignObject></svg>"_s
        << QStringList{Dir + u"h"};
    QTest::newRow("template contents")
        << u"<template><base href='http://t/'><a href=t></a></template><a href=x>"_s
        << QStringList{Dir + u"x"};
    QTest::newRow("hostile javascript")
        << u"<a href='javascript:alert(\"<x>\")'>"_s << QStringList{u"javascript:alert(\"<x>\")"_s};
    QTest::newRow("NUL") << u"<a href='x\0y'>"_s << QStringList{Dir + u"x%EF%BF%BDy"};
    QTest::newRow("query in the page's charset")
        << u"<a href='?q=тест'>q</a><a href='тест'>p</a>"_s
        << QStringList{Address + u"?q=%F2%E5%F1%F2", Dir + u"%D1%82%D0%B5%D1%81%D1%82"};
}

void TestHtmlDocument::links()
{
    QFETCH(QString, html);
    QFETCH(QStringList, links);
    // Read as a page of the family, in windows-1251: a query is written in it, the path in UTF-8.
    QCOMPARE(hrefsOf(buildDocument(cp1251::fromUnicode(html), QByteArray(), Address).links), links);
}

void TestHtmlDocument::innerText_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("text");

    QTest::newRow("p in a div") << u"<div>a<p>b</p>c</div><div>d</div>"_s << u"a\r\n\r\nb\r\n\r\nc\r\nd"_s;
    QTest::newRow("empty blocks") << u"<div><p>abc<p></p><div></div><p>def"_s << u"abc\r\n\r\ndef"_s;
    QTest::newRow("heading, hr") << u"<h1>T</h1>text<hr><hr>more"_s << u"T\r\ntext\r\nmore"_s;
    QTest::newRow("br, also at the end of a block")
        << u"<div>a<br>b <br> <br>c<br></div>"_s << u"a\r\nb\r\n\r\nc\r\n"_s;
    QTest::newRow("white space collapses") << u"<div>  a \n\t <b> b </b>  </div>"_s << u"a b"_s;
    QTest::newRow("space before a block goes")
        << u"<span>a </span><div> b </div> <div>c</div>"_s << u"a\r\nb\r\nc"_s;
    QTest::newRow("image between spaces") << u"a <img src=x> b"_s << u"a  b"_s;
    QTest::newRow("nbsp and references stay")
        << u"&nbsp;a&nbsp; &nbsp;b&lt;&#x416;"_s << u"\u00a0a\u00a0 \u00a0b<Ж"_s;
    // A carriage return in the source reaches the text as a line feed; one from a reference is a space.
    QTest::newRow("pre keeps white space, a CR is a space")
        << u"<pre>\n  a\r\n   b\rc&#13;d\t </pre>"_s << u"  a\r\n   b\r\nc d\t "_s;
    QTest::newRow("table")
        << u"<table>\n<tr>\n <th> 1 </th>\n <td>2</td></tr><tr><td>3</td><td>4</td></tr></table>after"_s
        << u"1\t2\r\n3\t4\r\nafter"_s;
    QTest::newRow("empty and hidden cells")
        << u"<table><tr><td>a<td><td>b</tr><tr><td>c</td><td hidden>d</td></table>"_s << u"a\t\tb\r\nc"_s;
    QTest::newRow("not rendered") << u"x<script>s</script><style>s</style><template>t</template><noscript>n"
                                     u"</noscript><title>t</title><datalist><option>d</datalist>y"_s
                                  << u"xy"_s;
    QTest::newRow("hidden") << u"<div hidden>h</div><span hidden>s</span>a<input type=HIDDEN>b"
                               u"<dialog>d</dialog>"_s
                            << u"ab"_s;
    QTest::newRow("replaced contents") << u"a<textarea>t</textarea><object>o</object><video>v</video>"
                                          u"<iframe>i</iframe><canvas>c</canvas>b"_s
                                       << u"ab"_s;
    QTest::newRow("select shows only options")
        << u"<select>x<optgroup label=g><option>a</option></optgroup><option>b</select>"_s << u"a\r\nb"_s;
    QTest::newRow("details") << u"<details><summary>S</summary><p>hidden</p></details><details open>"
                                u"<summary>T</summary><p>shown</p></details>"_s
                             << u"S\r\nT\r\n\r\nshown"_s;
    QTest::newRow("svg draws only text")
        << u"a<svg><text>s<tspan>t</tspan></text><title>T</title><defs><text>d</text></defs>g</svg>b"_s
        << u"astb"_s;
    QTest::newRow("unknown elements are inline") << u"<lj-cut>a</lj-cut> <lj user=x>b</lj>"_s << u"a b"_s;
    QTest::newRow("NUL") << u"<p>a\0b</p>\0"_s << u"ab"_s;
    // Browsers keep these as they stand; so does the parse, whatever the parser underneath does.
    QTest::newRow("controls and noncharacters stay")
        << u"<p>a\u0001b\bc\u0085d\uFDD0e\U0001FFFEf\U0010FFFD\U0010FE08</p>"_s
        << u"a\u0001b\bc\u0085d\uFDD0e\U0001FFFEf\U0010FFFD\U0010FE08"_s;
    // Texts past 64 KiB are let go of in the parse once written, and read back from the HTML.
    QTest::newRow("long texts") << u"<p>"_s + u" w&amp;v&lt;&gt;&nbsp;ж\u0001 "_s.repeated(4000) +
                                       u"<pre>"_s + u"a&amp;b\n"_s.repeated(20000)
                                << (u"w&v<>\u00a0ж\u0001 "_s.repeated(4000).chopped(1) + u"\r\n\r\n"_s +
                                    u"a&b\r\n"_s.repeated(20000));
    QTest::newRow("long raw text in a hidden body")
        << u"<body hidden><xmp>"_s + u"&amp;\u0001\n"_s.repeated(12000)
        << u"&amp;\u0001\r\n"_s.repeated(12000);
}

void TestHtmlDocument::innerText()
{
    QFETCH(QString, html);
    QFETCH(QString, text);
    QCOMPARE(buildDocument(html, Address).bodyInnerText, text);
}

void TestHtmlDocument::innerHtml_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");

    // No expected HTML: it comes back as written.
    QTest::newRow("text escaping") << u"<p>x&amp;y&lt;z&gt;&nbsp;\"'</p>"_s << QString();
    QTest::newRow("attribute escaping") << u"<P title='a\"b&amp;c<d>e&nbsp;' CLASS=x class=y></P>"_s
                                        << u"<p title=\"a&quot;b&amp;c&lt;d&gt;e&nbsp;\" class=\"x\"></p>"_s;
    QTest::newRow("void elements")
        << u"<br><img src=a><hr><input disabled><wbr><embed><param><source><track>"
           u"<keygen><basefont><bgsound><area></br><menuitem>m</menuitem>"_s
        << u"<br><img src=\"a\"><hr><input disabled=\"\"><wbr><embed><param><source>"
           u"<track><keygen><basefont><bgsound><area><br><menuitem>m</menuitem>"_s;
    QTest::newRow("raw text, noscript too, and escapable raw text")
        << u"<script>if (a<b && c>d) x = \"&amp;\";</script><style>a>b{}</style><xmp><b>&amp;</b></xmp>"
           u"<iframe><b>&amp;</b></iframe><noembed>&lt;</noembed><noscript><p title=x>&amp;</p></noscript>"
           u"<textarea>&lt;b&gt;</textarea><title>&amp;</title>"_s
        << QString();
    QTest::newRow("pre newline") << u"<pre>\n\nx</pre>"_s << u"<pre>\nx</pre>"_s;
    QTest::newRow("svg names")
        << u"<svg viewbox='0 0 1 1'><foreignobject><p>x</p></foreignobject>"
           u"<use xlink:href='#a' xml:lang=en /><style>a&amp;b</style></svg>"_s
        << u"<svg viewBox=\"0 0 1 1\"><foreignObject><p>x</p></foreignObject>"
           u"<use xlink:href=\"#a\" xml:lang=\"en\"></use><style>a&amp;b</style></svg>"_s;
    QTest::newRow("NUL") << u"<a title='\0'>\0</a><script>\0</script>"_s
                         << u"<a title=\"\uFFFD\"></a><script>\uFFFD</script>"_s;
    QTest::newRow("controls and noncharacters stay")
        << u"<a title='\u0001\uFFFF'>\u007F</a><script>\u0085</script>"_s
        << u"<a title=\"\u0001\uFFFF\">\u007F</a><script>\u0085</script>"_s;
    QTest::newRow("template contents") << u"<template><p>t</p><a href=x>l</a></template>"_s
                                       << u"<template><p>t</p><a href=\"x\">l</a></template>"_s;
    QTest::newRow("unknown elements") << u"<lj-cut text=more>x</lj-cut><My-Tag A=1>t</My-Tag>"_s
                                      << u"<lj-cut text=\"more\">x</lj-cut><my-tag a=\"1\">t</my-tag>"_s;
    // Tag names the parser sees renamed must come back wherever page text holds them.
    QTest::newRow("renamed tags in text")
        << u"<script>document.write('<noscript><img></NoScript>')</script><!-- <noscript> -->"
           u"<p title='<noscript>'><noframes>f</noframes><textarea><isindex x></textarea><style><menuitem></style>"_s
        << u"<script>document.write('<noscript><img></NoScript>')</script><!-- <noscript> -->"
           u"<p title=\"&lt;noscript&gt;\"><noframes>f</noframes><textarea>&lt;isindex x&gt;</textarea>"
           u"<style><menuitem></style></p>"_s;
    // Whole pages: the html element's HTML.
    QTest::newRow("empty page") << QString() << u"<head></head><body></body>"_s;
    QTest::newRow("white space where the parser puts it")
        << u"<!DOCTYPE html><html> <head> </head> <body class=a> x </body> </html>"_s
        << u"<head> </head> <body class=\"a\"> x  </body>"_s;
    QTest::newRow("frameset") << u"<frameset cols=50%><frame src=a></frameset>"_s
                              << u"<head></head><frameset cols=\"50%\"><frame src=\"a\"></frameset>"_s;
    QTest::newRow("comment after body")
        << u"<body>b</body><!--c--></html><!--outside-->"_s << u"<head></head><body>b</body><!--c-->"_s;
    // With scripting on, a noscript in the head is raw text and the head goes on after it.
    QTest::newRow("noscript in the head")
        << u"<head><noscript><div><img src=c></div></noscript><meta charset=utf-8></head><p>text"_s
        << u"<head><noscript><div><img src=c></div></noscript><meta charset=\"utf-8\"></head>"
           u"<body><p>text</p></body>"_s;
}

void TestHtmlDocument::innerHtml()
{
    QFETCH(QString, html);
    QFETCH(QString, expected);
    // Other rows are opened in the body, so that what would go into the head at the top of a page
    // stays in the body.
    const bool page = expected.startsWith(u"<head>");
    const HtmlDocument document = buildDocument(page ? html : u"<body>" + html, Address);
    QCOMPARE(page ? document.htmlInnerHtml() : document.bodyInnerHtml(),
             expected.isEmpty() ? html : expected);
    verifyBodyInsideHtml(document);
}

void TestHtmlDocument::garbage()
{
    // Mostly markup characters, so the parser gets deep into its states; parsed at once on several
    // threads, as loads parse on the pool while an abandoned one may still be parsing.
    QRandomGenerator random(1251);
    std::vector<QByteArray> pages(8);
    for (QByteArray &bytes : pages) {
        bytes.resize(16 * 1024 + random.bounded(16 * 1024));
        for (char &byte : bytes)
            byte = random.bounded(100) < 30 ? "<>/=\"'!-&;#ax \n\0"[random.bounded(16)]
                                            : char(random.bounded(256));
    }
    const auto build = [&pages](std::size_t i) {
        return buildDocument(pages[i], i % 2 ? "text/html; charset=utf-8"_ba : QByteArray(), Address);
    };
    std::vector<std::future<HtmlDocument>> together;
    for (std::size_t i = 0; i < pages.size(); ++i)
        together.push_back(std::async(std::launch::async, build, i));
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const HtmlDocument document = together[i].get(), alone = build(i);
        verifyBodyInsideHtml(document);
        QCOMPARE(document.htmlUtf8, alone.htmlUtf8);
        QCOMPARE(document.bodyInnerText, alone.bodyInnerText);
        QCOMPARE(document.links, alone.links);
    }
}

void TestHtmlDocument::deepNesting_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<int>("depth");

    const QString inner = u"x<a href=deep>y</a>"_s;
    QTest::newRow("spans") << u"<span>"_s.repeated(100000) + inner << u"<span>"_s << 100000;
    QTest::newRow("svg groups") << u"<svg>"_s + u"<g>"_s.repeated(100000) + u"<foreignObject>" + inner
                                << u"<g>"_s << 100000;
    QTest::newRow("tables") << u"<table><tr><td>"_s.repeated(20000) + inner << u"<td>"_s << 20000;
}

void TestHtmlDocument::deepNesting()
{
    QFETCH(QString, page);
    QFETCH(QString, tag);
    QFETCH(int, depth);
    // Deep enough to overflow a small stack if anything recursed once per level.
    HtmlDocument document;
    std::unique_ptr<QThread> worker(QThread::create([&] { document = buildDocument(page, Address); }));
    worker->setStackSize(256 * 1024);
    worker->start();
    QVERIFY(worker->wait());
    QCOMPARE(hrefsOf(document.links), QStringList{Dir + u"deep"});
    QCOMPARE(document.bodyInnerText, u"xy"_s);
    QCOMPARE(document.bodyInnerHtml().count(tag), depth);
    verifyBodyInsideHtml(document);
}

QTEST_GUILESS_MAIN(TestHtmlDocument)
#include "tst_htmldocument.moc"
