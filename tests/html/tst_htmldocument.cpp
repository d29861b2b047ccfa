#include "platform/CodePage1251.h"
#include "platform/web/HtmlParser.h"

#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <memory>
#include <thread>
#include <vector>

using namespace diarytrawl;
using namespace diarytrawl::web;
using namespace Qt::StringLiterals;

namespace {

const QString Address = u"http://example.com/dir/page.html"_s;

HtmlDocument parse(const QString &html)
{
    return buildDocument(html, Address);
}

// The body's HTML must be the html element's HTML between the body's tags.
void verifyBodyInsideHtml(const HtmlDocument &document)
{
    const QString &html = document.htmlInnerHtml;
    const qsizetype bodyTag = std::max(html.indexOf(u"<body"), html.indexOf(u"<frameset"));
    if (bodyTag < 0) {
        QVERIFY(document.bodyInnerHtml.isEmpty());
        return;
    }
    const qsizetype start = html.indexOf(u'>', bodyTag) + 1;
    QVERIFY(html.sliced(start).startsWith(document.bodyInnerHtml));
    const QString rest = html.sliced(start + document.bodyInnerHtml.size());
    QVERIFY2(rest.startsWith(u"</body>") || rest.startsWith(u"</frameset>"), qPrintable(rest.left(40)));
}

bool reportSafe(const QString &href)
{
    for (const QChar c : href) {
        const char16_t u = c.unicode();
        if (u <= 0x20 || u >= 0x7F || u == u'"' || u == u'<' || u == u'>')
            return false;
    }
    return true;
}

} // namespace

class TestHtmlDocument : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void links_data();
    void links();
    void linksInThePageCharset();
    void innerText_data();
    void innerText();
    void innerTextAsBrowsers_data();
    void innerTextAsBrowsers();
    void innerHtml_data();
    void innerHtml();
    void htmlInnerHtml_data();
    void htmlInnerHtml();
    void scriptingIsOn();
    void renamedTagsLeaveTextAlone();
    void emptyPage();
    void address();
    void garbage();
    void nulCharacters();
    void deepNesting_data();
    void deepNesting();
    void largePage();
    void threads();
};

void TestHtmlDocument::links_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QStringList>("links");

    const QString dir = u"http://example.com/dir/"_s;
    QTest::newRow("a and area in order")
        << u"<a href=a1>x</a><map><area href=a2></map><a>none</a><a href=''>e</a>"
           u"<link href=css><A HREF=UP>"_s
        << QStringList{dir + u"a1", dir + u"a2", Address, dir + u"UP"};
    QTest::newRow("base") << u"<head><base href='http://other.org/x/'></head><a href=y>"_s
                          << QStringList{u"http://other.org/x/y"_s};
    QTest::newRow("relative base") << u"<base href=/sub/><a href=y>"_s
                                   << QStringList{u"http://example.com/sub/y"_s};
    QTest::newRow("base after the link")
        << u"<a href=y></a><base href='http://other.org/'>"_s << QStringList{u"http://other.org/y"_s};
    QTest::newRow("first base with href")
        << u"<base target=_top><base href='http://one/'><base href='http://two/'>"
           u"<a href=y>"_s
        << QStringList{u"http://one/y"_s};
    QTest::newRow("base in a template")
        << u"<template><base href='http://t/'></template><a href=y>"_s << QStringList{dir + u"y"};
    QTest::newRow("javascript base") << u"<base href='javascript:x'><a href=y>"_s << QStringList{dir + u"y"};
    QTest::newRow("svg a is no link")
        << u"<svg><a href=s></a><a xlink:href=s2></a><foreignObject><a href=h></a>"
           u"</foreignObject></svg>"_s
        << QStringList{dir + u"h"};
    QTest::newRow("template contents")
        << u"<template><a href=t></a></template><a href=x>"_s << QStringList{dir + u"x"};
    QTest::newRow("noscript is text")
        << u"<noscript><a href=n>n</a></noscript><a href=x>"_s << QStringList{dir + u"x"};
    QTest::newRow("trimmed") << u"<a href='  \n x y\t '>"_s << QStringList{dir + u"x%20y"};
    // In an attribute a reference without ';' before '=' stays as written.
    QTest::newRow("entities") << u"<a href='?a=1&amp;b=2&copy=3&copy;'>"_s
                              << QStringList{Address + u"?a=1&b=2&copy=3%C2%A9"};
    QTest::newRow("hostile javascript")
        << u"<a href='javascript:alert(\"<x>\")'>"_s << QStringList{u"javascript:alert(%22%3Cx%3E%22)"_s};
    QTest::newRow("failed href") << u"<a href='http://a b/\"<'>"_s << QStringList{u"http://a%20b/%22%3C"_s};
    QTest::newRow("link in head moves to body") << u"<head><a href=h></head>"_s << QStringList{dir + u"h"};
}

void TestHtmlDocument::links()
{
    QFETCH(QString, html);
    QFETCH(QStringList, links);
    QCOMPARE(parse(html).links, links);
}

void TestHtmlDocument::linksInThePageCharset()
{
    // A query is written in the page's charset, the path in UTF-8, as browsers write them.
    const QString html = u"<a href='?q=тест'>q</a><a href='тест'>p</a>"_s;
    const HtmlDocument cp1251 =
        buildDocument(cp1251::fromUnicode(html), "text/html; charset=windows-1251", Address);
    QCOMPARE(cp1251.links, (QStringList{Address + u"?q=%F2%E5%F1%F2",
                                        u"http://example.com/dir/%D1%82%D0%B5%D1%81%D1%82"_s}));
    const HtmlDocument utf8 = buildDocument(html.toUtf8(), "text/html; charset=utf-8", Address);
    QCOMPARE(utf8.links, (QStringList{Address + u"?q=%D1%82%D0%B5%D1%81%D1%82",
                                      u"http://example.com/dir/%D1%82%D0%B5%D1%81%D1%82"_s}));
    // No declaration at all: the family's default.
    const HtmlDocument undeclared = buildDocument(cp1251::fromUnicode(html), QByteArray(), Address);
    QCOMPARE(undeclared.links, cp1251.links);
    QCOMPARE(undeclared.bodyInnerText, u"qp"_s);
}

void TestHtmlDocument::innerText_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("text");

    QTest::newRow("paragraphs") << u"<p>one</p><p>two</p>"_s << u"one\r\n\r\ntwo"_s;
    QTest::newRow("divs") << u"<div>one</div><div>two</div>"_s << u"one\r\ntwo"_s;
    QTest::newRow("p in a div") << u"<div>a<p>b</p>c</div>"_s << u"a\r\n\r\nb\r\n\r\nc"_s;
    QTest::newRow("br") << u"a<br>b<br><br>c"_s << u"a\r\nb\r\n\r\nc"_s;
    QTest::newRow("br after a block") << u"<div>a</div><br>b"_s << u"a\r\n\r\nb"_s;
    QTest::newRow("white space collapses") << u"<div>  a \n\t b  </div>"_s << u"a b"_s;
    QTest::newRow("across inline elements") << u"a <b> b </b> c"_s << u"a b c"_s;
    QTest::newRow("no space, no space") << u"a<b>b</b>c"_s << u"abc"_s;
    QTest::newRow("space before a block goes")
        << u"<span>a </span><div> b </div> <div>c</div>"_s << u"a\r\nb\r\nc"_s;
    QTest::newRow("spaces around br go") << u"a <br> b"_s << u"a\r\nb"_s;
    QTest::newRow("pre keeps white space") << u"<pre>  a\n   b\t </pre>"_s << u"  a\r\n   b\t "_s;
    QTest::newRow("pre drops its first newline") << u"<pre>\nx</pre>"_s << u"x"_s;
    QTest::newRow("pre carriage returns") << u"<pre>a\r\nb\rc</pre>"_s << u"a\r\nb\r\nc"_s;
    QTest::newRow("listing and xmp") << u"<listing>a  b</listing><xmp><i> c</i></xmp>"_s
                                     << u"a  b\r\n<i> c</i>"_s;
    QTest::newRow("table")
        << u"<table><tr><td>1</td><td>2</td></tr><tr><td>3</td><td>4</td></tr></table>after"_s
        << u"1\t2\r\n3\t4\r\nafter"_s;
    QTest::newRow("table white space")
        << u"<table>\n <tr>\n  <th> a </th>\n  <td> b </td>\n </tr>\n</table>"_s << u"a\tb"_s;
    QTest::newRow("table sections") << u"<table><thead><tr><td>h</td></tr></thead><tbody><tr><td>b</td></tr>"
                                       u"</tbody></table>"_s
                                    << u"h\r\nb"_s;
    QTest::newRow("hidden last cell") << u"<table><tr><td>a</td><td hidden>b</td></tr></table>"_s << u"a"_s;
    QTest::newRow("caption") << u"<table><caption>c</caption><tr><td>x</td></tr></table>"_s << u"c\r\nx"_s;
    QTest::newRow("list") << u"<ul><li>a</li><li>b<ol><li>c</li></ol></li></ul>"_s << u"a\r\nb\r\nc"_s;
    QTest::newRow("definition list") << u"<dl><dt>t</dt><dd>d</dd></dl>"_s << u"t\r\nd"_s;
    QTest::newRow("heading") << u"<h1>T</h1>text<hr>more"_s << u"T\r\ntext\r\nmore"_s;
    QTest::newRow("not rendered") << u"x<script>s</script><style>s</style><template>t</template><noscript>n"
                                     u"</noscript><title>t</title><datalist><option>d</datalist>y"_s
                                  << u"xy"_s;
    QTest::newRow("hidden attribute") << u"<div hidden>h</div><span hidden>s</span>v"_s << u"v"_s;
    QTest::newRow("hidden input") << u"a<input type=HIDDEN>b"_s << u"ab"_s;
    QTest::newRow("select") << u"<select><option>a</option><option>b</option></select>"_s << u"a\r\nb"_s;
    QTest::newRow("select shows only options") << u"<select>x<optgroup label=g><option>a</option>"
                                                  u"</optgroup></select>"_s
                                               << u"a"_s;
    QTest::newRow("textarea") << u"a<textarea>t</textarea>b"_s << u"ab"_s;
    QTest::newRow("closed details") << u"<details><summary>S</summary><p>hidden</p></details>"_s << u"S"_s;
    QTest::newRow("open details") << u"<details open><summary>S</summary><p>shown</p></details>"_s
                                  << u"S\r\n\r\nshown"_s;
    QTest::newRow("closed dialog") << u"<dialog>d</dialog>x"_s << u"x"_s;
    QTest::newRow("nbsp stays") << u"&nbsp;a&nbsp; &nbsp;b"_s << u"\u00a0a\u00a0 \u00a0b"_s;
    QTest::newRow("character references") << u"&lt;&amp;&gt;&copy;&#x416;&#1046;"_s << u"<&>©ЖЖ"_s;
    QTest::newRow("image between spaces") << u"a <img src=x> b"_s << u"a  b"_s;
    QTest::newRow("button") << u"a <button> OK </button> b"_s << u"a OK b"_s;
    QTest::newRow("space before an image at the end stays") << u"<div>a <img></div>"_s << u"a "_s;
    QTest::newRow("replaced contents") << u"a<object>o</object><video>v</video><iframe>i</iframe><canvas>c"
                                          u"</canvas>b"_s
                                       << u"ab"_s;
    QTest::newRow("svg draws only text")
        << u"a<svg><text>s<tspan>t</tspan></text><title>T</title><defs><text>d"
           u"</text></defs>g</svg>b"_s
        << u"astb"_s;
    QTest::newRow("svg foreignObject")
        << u"<svg><foreignObject>x<p>f</p></foreignObject></svg>"_s << u"x\r\n\r\nf"_s;
    QTest::newRow("empty cells keep their tabs") << u"<table><tr><td>a<td><td></table>"_s << u"a\t\t"_s;
    QTest::newRow("optgroup outside select")
        << u"a<optgroup>123</optgroup>bc<option>o</option>"_s << u"a\r\nbc\r\no"_s;
    QTest::newRow("ruby") << u"<ruby>漢<rp>(</rp><rt>kan</rt><rp>)</rp></ruby>"_s << u"漢kan"_s;
    QTest::newRow("unknown elements are inline") << u"<lj-cut>a</lj-cut> <lj user=x>b</lj>"_s << u"a b"_s;
    QTest::newRow("comments") << u"a<!-- c -->b"_s << u"ab"_s;
    QTest::newRow("head is not body") << u"<head><title>T</title></head><body>b</body>"_s << u"b"_s;
    QTest::newRow("empty blocks") << u"<div></div><p></p><div>a</div><p></p>"_s << u"a"_s;
    QTest::newRow("hidden body reads as text content")
        << u"<body hidden>a<script>b\n</script><p>c</p></body>"_s << u"ab\r\nc"_s;
    QTest::newRow("frameset") << u"<frameset><frame src=a><noframes>nf</noframes></frameset>"_s << QString();
}

void TestHtmlDocument::innerText()
{
    QFETCH(QString, html);
    QFETCH(QString, text);
    QCOMPARE(parse(html).bodyInnerText, text);
}

void TestHtmlDocument::innerTextAsBrowsers_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("text");

    // Cases the browsers' shared conformance tests for innerText check, those that need no style
    // sheet; their "\n" is our "\r\n".
    QTest::newRow("input keeps the spaces around it") << u"<div>abc <input> def"_s << u"abc  def"_s;
    QTest::newRow("input then block") << u"<div><input> <div>abc</div>"_s << u"abc"_s;
    QTest::newRow("space after a leading image") << u"<div><img> abc"_s << u" abc"_s;
    QTest::newRow("empty inline elements") << u"<div>abc <b><i></i></b> def"_s << u"abc def"_s;
    QTest::newRow("canvas keeps the space after it") << u"<div><canvas></canvas> abc"_s << u" abc"_s;
    QTest::newRow("empty blocks") << u"<div>abc<div></div><div></div>def"_s << u"abc\r\ndef"_s;
    QTest::newRow("empty paragraphs") << u"<div><p>abc<p></p><p></p><p>def"_s << u"abc\r\n\r\ndef"_s;
    QTest::newRow("paragraphs around an empty block")
        << u"<div><p>abc</p><div></div><p>def"_s << u"abc\r\n\r\ndef"_s;
    QTest::newRow("paragraph in its own block")
        << u"<div>abc<div><p>123</p></div>def"_s << u"abc\r\n\r\n123\r\n\r\ndef"_s;
    QTest::newRow("block in inline") << u"<div>abc<span>123<div>456</div>789</span>def"_s
                                     << u"abc123\r\n456\r\n789def"_s;
    QTest::newRow("headings") << u"<div>123<h3>abc</h3>def"_s << u"123\r\nabc\r\ndef"_s;
    QTest::newRow("empty cells") << u"<div><table><tr><td>abc<td><td>def</table>"_s << u"abc\t\tdef"_s;
    QTest::newRow("rows") << u"<div><table><tr><td>abc<tr><td>def</table>"_s << u"abc\r\ndef"_s;
    QTest::newRow("around a table") << u"<div>abc<table><td>def</table>ghi"_s << u"abc\r\ndef\r\nghi"_s;
    QTest::newRow("caption after cells")
        << u"<div><table><tr><td>abc<caption>def</caption></table>"_s << u"abc\r\ndef"_s;
    QTest::newRow("row groups in document order")
        << u"<table><tfoot><tr><td>footer</tfoot><thead><tr><td>head</thead><tbody><tr><td>body</tbody></table>"_s
        << u"footer\r\nhead\r\nbody"_s;
    QTest::newRow("empty select") << u"<div>a<select></select>bc"_s << u"abc"_s;
    QTest::newRow("empty option") << u"<div>a<select><option></select>bc"_s << u"a\r\nbc"_s;
    QTest::newRow("option outside select") << u"<div>a<option>123</option>bc"_s << u"a\r\n123\r\nbc"_s;
    QTest::newRow("soft hyphen") << u"<div>abc&shy;def"_s << u"abc\u00ADdef"_s;
    QTest::newRow("ruby without rp") << u"<div><ruby>abc<rt>def</rt></ruby>"_s << u"abcdef"_s;
    QTest::newRow("lone rp") << u"<div><rp>abc</rp>"_s << QString();
    QTest::newRow("hr runs") << u"<div>abc<hr><hr><hr>def"_s << u"abc\r\ndef"_s;
    QTest::newRow("br at the end of a block") << u"<div>abc<br>"_s << u"abc\r\n"_s;
    QTest::newRow("fieldset and legend") << u"<div><fieldset><legend>abc"_s << u"abc"_s;
    QTest::newRow("input contents") << u"<div><input type='text' value='abc'>"_s << QString();
    QTest::newRow("audio contents") << u"<div><audio>abc"_s << QString();
}

void TestHtmlDocument::innerTextAsBrowsers()
{
    QFETCH(QString, html);
    QFETCH(QString, text);
    QCOMPARE(parse(html).bodyInnerText, text);
}

void TestHtmlDocument::innerHtml_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("body");

    QTest::newRow("text escaping") << u"<p>x&amp;y&lt;z&gt;&nbsp;\"'</p>"_s
                                   << u"<p>x&amp;y&lt;z&gt;&nbsp;\"'</p>"_s;
    QTest::newRow("attribute escaping") << u"<p title='a\"b&amp;c<d>e&nbsp;' class=x></p>"_s
                                        << u"<p title=\"a&quot;b&amp;c&lt;d&gt;e&nbsp;\" class=\"x\"></p>"_s;
    QTest::newRow("void elements")
        << u"<br><img src=a><hr><input disabled><wbr><embed><param><source><track>"
           u"<keygen><basefont><bgsound><area></br>"_s
        << u"<br><img src=\"a\"><hr><input disabled=\"\"><wbr><embed><param><source>"
           u"<track><keygen><basefont><bgsound><area><br>"_s;
    QTest::newRow("script and style")
        << u"<script>if (a<b && c>d) x = \"&amp;\";</script><style>a>b{}</style>"_s
        << u"<script>if (a<b && c>d) x = \"&amp;\";</script><style>a>b{}</style>"_s;
    QTest::newRow("raw text elements") << u"<xmp><b>&amp;</b></xmp><iframe><b>&amp;</b></iframe><noembed>&lt;"
                                          u"</noembed><noframes>&lt;</noframes>"_s
                                       << u"<xmp><b>&amp;</b></xmp><iframe><b>&amp;</b></iframe><noembed>&lt;"
                                          u"</noembed><noframes>&lt;</noframes>"_s;
    QTest::newRow("plaintext") << u"<plaintext><b>&"_s << u"<plaintext><b>&</plaintext>"_s;
    QTest::newRow("escapable raw text") << u"<textarea>&lt;b&gt;</textarea><title>&amp;</title>"_s
                                        << u"<textarea>&lt;b&gt;</textarea><title>&amp;</title>"_s;
    QTest::newRow("pre newline") << u"<pre>\n\nx</pre>"_s << u"<pre>\nx</pre>"_s;
    QTest::newRow("svg names")
        << u"<svg viewbox='0 0 1 1'><foreignobject><p>x</p></foreignobject><clippath>"
           u"<lineargradient/></clippath></svg>"_s
        << u"<svg viewBox=\"0 0 1 1\"><foreignObject><p>x</p></foreignObject><clipPath>"
           u"<linearGradient></linearGradient></clipPath></svg>"_s;
    QTest::newRow("namespaced attributes")
        << u"<svg xmlns:xlink='http://www.w3.org/1999/xlink'><use xlink:href='#a' xml:lang=en /></svg>"_s
        << u"<svg xmlns:xlink=\"http://www.w3.org/1999/xlink\"><use xlink:href=\"#a\" xml:lang=\"en\"></use></svg>"_s;
    QTest::newRow("mathml") << u"<math definitionurl=x><mi>x</mi></math>"_s
                            << u"<math definitionURL=\"x\"><mi>x</mi></math>"_s;
    QTest::newRow("svg style is escaped")
        << u"<svg><style>a&amp;b</style></svg>"_s << u"<svg><style>a&amp;b</style></svg>"_s;
    QTest::newRow("cdata in svg") << u"<svg><![CDATA[a<b]]></svg>"_s << u"<svg>a&lt;b</svg>"_s;
    QTest::newRow("comments") << u"<!-- a -- b --><!----><?php x ?><![CDATA[y]]>"_s
                              << u"<!-- a -- b --><!----><!--?php x ?--><!--[CDATA[y]]-->"_s;
    QTest::newRow("case and duplicates")
        << u"<DIV CLASS=X ID=a id=b>d</DIV>"_s << u"<div class=\"X\" id=\"a\">d</div>"_s;
    QTest::newRow("template contents") << u"<template><p>t</p><a href=x>l</a></template>"_s
                                       << u"<template><p>t</p><a href=\"x\">l</a></template>"_s;
    QTest::newRow("unknown elements") << u"<lj-cut text=more>x</lj-cut><My-Tag A=1>t</My-Tag>"_s
                                      << u"<lj-cut text=\"more\">x</lj-cut><my-tag a=\"1\">t</my-tag>"_s;
    QTest::newRow("isindex is an ordinary element")
        << u"<isindex prompt=p>x</isindex>"_s << u"<isindex prompt=\"p\">x</isindex>"_s;
    QTest::newRow("menuitem is not void") << u"<menuitem>m</menuitem>"_s << u"<menuitem>m</menuitem>"_s;
    QTest::newRow("noscript is raw text")
        << u"<noscript><p title=x>&amp;</p></noscript>"_s << u"<noscript><p title=x>&amp;</p></noscript>"_s;
    QTest::newRow("noscript in a table")
        << u"<table><noscript>n</noscript><tr><td>c</td></tr></table>"_s
        << u"<noscript>n</noscript><table><tbody><tr><td>c</td></tr></tbody></table>"_s;
    QTest::newRow("misnested formatting") << u"<b>1<p>2</b>3</p>"_s << u"<b>1</b><p><b>2</b>3</p>"_s;
    QTest::newRow("frameset") << u"<frameset cols=50%><frame src=a></frameset>"_s << u"<frame src=\"a\">"_s;
}

void TestHtmlDocument::innerHtml()
{
    QFETCH(QString, html);
    QFETCH(QString, body);
    // Opened first, so that what would go into the head at the top of a page stays in the body.
    const HtmlDocument document = parse(html.startsWith(u"<frameset") ? html : u"<body>" + html);
    QCOMPARE(document.bodyInnerHtml, body);
    verifyBodyInsideHtml(document);
}

void TestHtmlDocument::htmlInnerHtml_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");

    QTest::newRow("implied head and body") << u"x"_s << u"<head></head><body>x</body>"_s;
    QTest::newRow("white space where the parser puts it")
        << u"<!DOCTYPE html><html> <head> </head> <body> x </body> </html>"_s
        << u"<head> </head> <body> x  </body>"_s;
    QTest::newRow("comment after body")
        << u"<body>b</body><!--c--></html><!--outside-->"_s << u"<head></head><body>b</body><!--c-->"_s;
    QTest::newRow("body attributes") << u"<body class=a><p>x</body>"_s
                                     << u"<head></head><body class=\"a\"><p>x</p></body>"_s;
    QTest::newRow("frameset") << u"<frameset cols=50%><frame src=a></frameset>"_s
                              << u"<head></head><frameset cols=\"50%\"><frame src=\"a\"></frameset>"_s;
}

void TestHtmlDocument::htmlInnerHtml()
{
    QFETCH(QString, html);
    QFETCH(QString, expected);
    const HtmlDocument document = parse(html);
    QCOMPARE(document.htmlInnerHtml, expected);
    verifyBodyInsideHtml(document);
}

void TestHtmlDocument::scriptingIsOn()
{
    // A counter in a noscript in the head: with scripting on it is raw text and the head goes on.
    const HtmlDocument document =
        parse(u"<html><head><title>T</title><noscript><div><img src=c></div></noscript><meta charset=utf-8>"
              u"<link rel=x href=y></head><body><p>text</p></body></html>"_s);
    QCOMPARE(document.htmlInnerHtml,
             u"<head><title>T</title><noscript><div><img src=c></div></noscript><meta charset=\"utf-8\">"
             u"<link rel=\"x\" href=\"y\"></head><body><p>text</p></body>"_s);
    QCOMPARE(document.bodyInnerText, u"text"_s);
    QVERIFY(document.links.isEmpty());
}

void TestHtmlDocument::renamedTagsLeaveTextAlone()
{
    // The tag names overwritten for the parser must come back wherever page text holds them.
    const QString page =
        u"<body><script>document.write('<noscript><img></NoScript>')</script><!-- <noscript> -->"
        u"<p title='<noscript>'><noscript>n</noscript><noframes>f</noframes>"
        u"<textarea><isindex x></textarea><style><menuitem></style>"_s;
    const HtmlDocument document = parse(page);
    QCOMPARE(document.bodyInnerHtml,
             u"<script>document.write('<noscript><img></NoScript>')</script><!-- <noscript> -->"
             u"<p title=\"&lt;noscript&gt;\"><noscript>n</noscript><noframes>f</noframes>"
             u"<textarea>&lt;isindex x&gt;</textarea><style><menuitem></style></p>"_s);
}

void TestHtmlDocument::emptyPage()
{
    const HtmlDocument document = buildDocument(QByteArray(), QByteArray(), Address);
    QCOMPARE(document.htmlInnerHtml, u"<head></head><body></body>"_s);
    QCOMPARE(document.bodyInnerHtml, QString());
    QCOMPARE(document.bodyInnerText, QString());
    QVERIFY(document.links.isEmpty());
}

void TestHtmlDocument::address()
{
    QCOMPARE(parse(u"x"_s).address, Address);
}

void TestHtmlDocument::garbage()
{
    QRandomGenerator random(1251);
    for (int round = 0; round < 20; ++round) {
        QByteArray bytes(16 * 1024 + random.bounded(16 * 1024), Qt::Uninitialized);
        for (char &byte : bytes) {
            // Mostly markup characters, so the parser gets deep into its states.
            const quint32 roll = random.bounded(100);
            byte = roll < 30 ? "<>/=\"'!-&;#ax \n\0"[random.bounded(16)] : char(random.bounded(256));
        }
        const QByteArray type = round % 2 ? "text/html; charset=utf-8"_ba : QByteArray();
        const HtmlDocument document = buildDocument(bytes, type, Address);
        verifyBodyInsideHtml(document);
        for (const QString &link : document.links)
            QVERIFY2(reportSafe(link), qPrintable(link));
    }
}

void TestHtmlDocument::nulCharacters()
{
    const char raw[] = "<p>a\0b</p><a href='x\0y' title='\0'>\0</a><script>\0</script>";
    const QByteArray page(raw, sizeof raw - 1);
    const HtmlDocument document = buildDocument(page, "text/html; charset=utf-8", Address);
    QCOMPARE(document.bodyInnerText, u"ab"_s);
    QCOMPARE(document.links, QStringList{u"http://example.com/dir/x%EF%BF%BDy"_s});
    QCOMPARE(document.bodyInnerHtml,
             u"<p>ab</p><a href=\"x\uFFFDy\" title=\"\uFFFD\"></a><script>\uFFFD</script>"_s);
}

void TestHtmlDocument::deepNesting_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("open");
    QTest::addColumn<int>("depth");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("text");

    // Deep enough to overflow a thread's stack if anything recursed once per level.
    QTest::newRow("spans") << QString() << u"<span>"_s << 100000 << u"<span>"_s << u"xy"_s;
    QTest::newRow("svg groups") << u"<svg>"_s << u"<g>"_s << 100000 << u"<g>"_s << u"xy"_s;
    QTest::newRow("tables") << QString() << u"<table><tr><td>"_s << 20000 << u"<td>"_s << u"xy"_s;
    QTest::newRow("divs") << QString() << u"<div>"_s << 5000 << u"<div>"_s << u"xy"_s;
}

void TestHtmlDocument::deepNesting()
{
    QFETCH(QString, before);
    QFETCH(QString, open);
    QFETCH(int, depth);
    QFETCH(QString, tag);
    QFETCH(QString, text);
    const QString inner =
        before.isEmpty() ? u"x<a href=deep>y</a>"_s : u"<foreignObject>x<a href=deep>y</a>"_s;
    const QString page = before + open.repeated(depth) + inner;
    const HtmlDocument document = parse(page);
    QCOMPARE(document.links, QStringList{u"http://example.com/dir/deep"_s});
    QCOMPARE(document.bodyInnerText, text);
    QCOMPARE(document.bodyInnerHtml.count(tag), depth);
    verifyBodyInsideHtml(document);

    // The same page on a thread with a small stack.
    HtmlDocument onThread;
    std::unique_ptr<QThread> worker(QThread::create([&] { onThread = parse(page); }));
    worker->setStackSize(256 * 1024);
    worker->start();
    QVERIFY(worker->wait());
    QCOMPARE(onThread.bodyInnerHtml, document.bodyInnerHtml);
}

void TestHtmlDocument::largePage()
{
    // 20 MB of journal-like markup. (Formatting elements left open in every block would nest each
    // block one level deeper, and the parser's work grows with the square of that depth.)
    QByteArray block =
        "<div class=entry><p>Запись <b>номер</b> <a href='/~nick/123.html?mode=reply'>ответ</a>"
        "<table><tr><td>x<td>y</table>&amp; &nbsp; <i>курсив</i><p>ещё</div>\n"_ba;
    QByteArray page;
    page.reserve(21 * 1024 * 1024);
    while (page.size() < 20 * 1024 * 1024)
        page += block;
    const qsizetype blocks = page.size() / block.size();
    const HtmlDocument document = buildDocument(page, "text/html; charset=utf-8", Address);
    QCOMPARE(document.links.size(), blocks);
    QCOMPARE(document.links.front(), u"http://example.com/~nick/123.html?mode=reply"_s);
    QVERIFY(
        document.bodyInnerText.startsWith(u"Запись номер ответ\r\nx\ty\r\n& \u00a0 курсив\r\n\r\nещё\r\n"_s));
    verifyBodyInsideHtml(document);
}

void TestHtmlDocument::threads()
{
    QString page;
    for (int i = 0; i < 300; ++i)
        page += u"<p>Абзац %1 <a href='e%1.html'>ссылка</a><table><tr><td>%1</td></tr></table>"_s.arg(i);
    const HtmlDocument expected = parse(page);
    std::vector<HtmlDocument> results(4);
    std::vector<std::thread> workers;
    for (HtmlDocument &result : results)
        workers.emplace_back([&result, &page] {
            for (int i = 0; i < 5; ++i)
                result = parse(page);
        });
    for (std::thread &worker : workers)
        worker.join();
    for (const HtmlDocument &result : results) {
        QCOMPARE(result.links, expected.links);
        QCOMPARE(result.bodyInnerText, expected.bodyInnerText);
        QCOMPARE(result.htmlInnerHtml, expected.htmlInnerHtml);
    }
}

QTEST_GUILESS_MAIN(TestHtmlDocument)
#include "tst_htmldocument.moc"
