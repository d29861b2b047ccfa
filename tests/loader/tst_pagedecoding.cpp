// SPDX-License-Identifier: GPL-3.0-or-later
#include "loader/PageDecoding.h"

#include <QRandomGenerator>
#include <QTest>

using namespace diarytrawl::web;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(diarytrawl::web::CharsetSource)

class TestPageDecoding : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void charset_data();
    void charset();
    void decoding_data();
    void decoding();
    void wellFormedDecoder();
};

void TestPageDecoding::charset_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<CharsetSource>("source");

    using enum CharsetSource;
    const auto row = [](const char *name, const QByteArray &page, const QByteArray &header,
                        const QByteArray &encoding, CharsetSource source) {
        QTest::newRow(name) << page << header << encoding << source;
    };
    const auto header = [](const char *label) -> QByteArray {
        return "text/html; charset="_ba + label;
    };
    const QByteArray meta = "<meta charset=koi8-r>";
    row("label latin1", {}, header("latin1"), "windows-1252", HttpHeader);
    row("label utf-16", {}, header("utf-16"), "UTF-16LE", HttpHeader);
    row("label iso-2022-kr", {}, header("iso-2022-kr"), "replacement", HttpHeader);
    row("utf-7 is no label", {}, header("utf-7"), "windows-1251", Default);
    row("inner space", {}, header("windows 1251"), "windows-1251", Default);
    row("quoted, escaped", {}, header("\"utf\\-8\""), "UTF-8", HttpHeader);
    row("case and spaces", {}, "Text/HTML ;  CHARSET=UTF-8 ", "UTF-8", HttpHeader);
    row("first charset wins", {}, header("utf-8; charset=koi8-r"), "UTF-8", HttpHeader);
    row("other parameters", {}, "text/html; q=\"a;b\"; charset=cp1251", "windows-1251", HttpHeader);
    row("no type", {}, "charset=utf-8", "windows-1251", Default);
    row("two headers, last type", {}, "text/plain; charset=koi8-r, text/html", "windows-1251", Default);
    row("two headers, same type", {}, "text/html; charset=koi8-r, text/html", "KOI8-R", HttpHeader);
    row("meta charset", "<META CHARSET=' CP1251 '>", {}, "windows-1251", MetaDeclaration);
    row("http-equiv", "<meta content='text/html;charset=\"koi8-r\"' http-equiv=content-type>", {}, "KOI8-R",
        MetaDeclaration);
    row("content without pragma", "<meta content=\"text/html; charset=koi8-r\">", {}, "windows-1251",
        Default);
    row("unknown meta, then known", "<meta charset=klingon>" + meta, {}, "KOI8-R", MetaDeclaration);
    row("utf-16 meta means utf-8", "<meta charset=utf-16le>", {}, "UTF-8", MetaDeclaration);
    row("meta in a comment", "<!-- <meta charset=utf-8> -->" + meta, {}, "KOI8-R", MetaDeclaration);
    row("meta in an attribute", "<p title='<meta charset=utf-8>'>" + meta, {}, "KOI8-R", MetaDeclaration);
    row("meta cut by 1024 bytes", QByteArray(1010, ' ') + meta, {}, "windows-1251", Default);
    row("xml declaration", "<?xml version=\"1.0\" encoding=\"koi8-r\"?><p>", {}, "KOI8-R", MetaDeclaration);
    row("bom beats header", "\xEF\xBB\xBF" + meta, header("cp1251"), "UTF-8", ByteOrderMark);
    row("utf-16be bom", "\xFE\xFF\0<"_ba, {}, "UTF-16BE", ByteOrderMark);
    row("header beats meta", meta, header("utf-8"), "UTF-8", HttpHeader);
    row("unknown header falls through", meta, header("klingon"), "KOI8-R", MetaDeclaration);
}

void TestPageDecoding::charset()
{
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, encoding);
    QFETCH(CharsetSource, source);
    const PageCharset charset = detectCharset(page, header);
    QCOMPARE(charset.encoding, encoding);
    QCOMPARE(charset.source, source);
}

void TestPageDecoding::decoding_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("charset"); // of the HTTP header
    QTest::addColumn<QString>("text");

    const auto row = [](const char *name, const QByteArray &page, const QByteArray &charset,
                        const QString &text) {
        QTest::newRow(name) << page << charset << text;
    };
    row("windows-1251, undefined byte", "\xcf\xf0\xe8\xe2\xe5\xf2 \xb8\x98", {}, u"Привет ё\uFFFD"_s);
    row("koi8-r through Qt", "\xf0\xd2\xc9\xd7\xc5\xd4", "koi8-r", u"Привет"_s);
    row("windows-1252 controls", "\x80\x81\x9f", "latin1", u"\u20AC\u0081\u0178"_s);
    row("x-user-defined", "a\x80\xff", "x-user-defined", u"a\uF780\uF7FF"_s);
    row("replacement encoding", "<p>anything", "hz-gb-2312", u"\uFFFD"_s);
    row("utf-16 lone surrogate, odd byte", "\xFF\xFE\x00\xD8h\0i"_ba, {}, u"\uFFFDh\uFFFD"_s);
    row("utf-8 bom goes, a later one stays", "\xEF\xBB\xBFz\xEF\xBB\xBF", {}, u"z\uFEFF"_s);
    // One U+FFFD for each maximal ill-formed subsequence, as browsers' decoders give.
    row("utf-8 truncated", "a\xe2\x82z\xf0\x9f\x98\x80\xd0", "utf-8", u"a\uFFFDz\U0001F600\uFFFD"_s);
    row("utf-8 overlong", "\xc0\xaf", "utf-8", u"\uFFFD\uFFFD"_s);
    row("utf-8 surrogate", "\xed\xa0\x80", "utf-8", u"\uFFFD\uFFFD\uFFFD"_s);
    row("utf-8 beyond U+10FFFF", "\xf4\x90\x80\x80", "utf-8", u"\uFFFD\uFFFD\uFFFD\uFFFD"_s);
}

void TestPageDecoding::decoding()
{
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, charset);
    QFETCH(QString, text);
    const QByteArray header = charset.isEmpty() ? QByteArray() : "text/html; charset=" + charset;
    QCOMPARE(decodePage(page, header), text);
    // The parser reads the same text in UTF-8.
    const Utf8Page utf8 = pageToUtf8(page, header);
    QCOMPARE(wellFormedUtf8ToString(utf8.text), text);
    QCOMPARE(utf8.encoding, detectCharset(page, header).encoding);
}

void TestPageDecoding::wellFormedDecoder()
{
    // Runs of every length and width, so that both the sixteen-byte steps and the tails are used.
    const QStringList pieces = {u"a"_s, u"<p class=x> "_s, u"Ж"_s, u"ёлка "_s, u"€"_s, u"\U0001F600"_s};
    QRandomGenerator random(866);
    for (int round = 0; round < 1000; ++round) {
        QString text;
        for (int i = random.bounded(40); i > 0; --i)
            text += pieces[random.bounded(int(pieces.size()))].repeated(1 + random.bounded(20));
        const QByteArray utf8 = text.toUtf8();
        QCOMPARE(wellFormedUtf16Length(utf8), text.size());
        QCOMPARE(wellFormedUtf8ToString(utf8), text);
    }
    // Ill-formed input may give any text but must stay inside the buffers (the sanitizer builds check).
    for (const QByteArray &bytes : {"a\xf0\x9f"_ba, "\x80\x80\xe2"_ba, QByteArray(40, '\xf4')})
        QVERIFY(wellFormedUtf8ToString(bytes).size() <= 2 * bytes.size());
}

QTEST_GUILESS_MAIN(TestPageDecoding)
#include "tst_pagedecoding.moc"
