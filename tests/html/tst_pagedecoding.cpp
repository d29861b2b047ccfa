#include "platform/web/PageDecoding.h"

#include <QRandomGenerator>
#include <QTest>

using namespace diarytrawl::web;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(diarytrawl::web::CharsetSource)

class TestPageDecoding : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void labels_data();
    void labels();
    void contentType_data();
    void contentType();
    void prescan_data();
    void prescan();
    void precedence_data();
    void precedence();
    void decoding_data();
    void decoding();
    void utf8Repair_data();
    void utf8Repair();
    void utf8PageIsNotCopied();
    void utf8PagesMatchDecodePage_data();
    void utf8PagesMatchDecodePage();
    void wellFormedDecoderSurvivesIllFormedInput();
    void wellFormedDecoderMatchesQt();
};

void TestPageDecoding::labels_data()
{
    QTest::addColumn<QByteArray>("label");
    QTest::addColumn<QByteArray>("encoding");

    QTest::newRow("cp1251") << "cp1251"_ba
                            << "windows-1251"_ba;
    QTest::newRow("x-cp1251") << "x-cp1251"_ba
                              << "windows-1251"_ba;
    QTest::newRow("upper case, spaces") << " \tWINDOWS-1251\n"_ba
                                        << "windows-1251"_ba;
    QTest::newRow("latin1") << "latin1"_ba
                            << "windows-1252"_ba;
    QTest::newRow("iso-8859-1") << "ISO-8859-1"_ba
                                << "windows-1252"_ba;
    QTest::newRow("us-ascii") << "us-ascii"_ba
                              << "windows-1252"_ba;
    QTest::newRow("utf8") << "utf8"_ba
                          << "UTF-8"_ba;
    QTest::newRow("unicode-1-1-utf-8") << "unicode-1-1-utf-8"_ba
                                       << "UTF-8"_ba;
    QTest::newRow("koi8-r") << "koi8-r"_ba
                            << "KOI8-R"_ba;
    QTest::newRow("koi8") << "koi8"_ba
                          << "KOI8-R"_ba;
    QTest::newRow("koi8-u") << "koi8-u"_ba
                            << "KOI8-U"_ba;
    QTest::newRow("iso-8859-5") << "iso-8859-5"_ba
                                << "ISO-8859-5"_ba;
    QTest::newRow("cp866") << "cp866"_ba
                           << "IBM866"_ba;
    QTest::newRow("gb2312") << "gb2312"_ba
                            << "GBK"_ba;
    QTest::newRow("sjis") << "sjis"_ba
                          << "Shift_JIS"_ba;
    QTest::newRow("euc-kr") << "euc-kr"_ba
                            << "EUC-KR"_ba;
    QTest::newRow("utf-16") << "utf-16"_ba
                            << "UTF-16LE"_ba;
    QTest::newRow("iso-2022-kr") << "iso-2022-kr"_ba
                                 << "replacement"_ba;
    QTest::newRow("unknown") << "klingon"_ba << QByteArray();
    QTest::newRow("utf-7 is not a label") << "utf-7"_ba << QByteArray();
    QTest::newRow("inner space") << "windows 1251"_ba << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestPageDecoding::labels()
{
    QFETCH(QByteArray, label);
    QFETCH(QByteArray, encoding);
    QCOMPARE(encodingForLabel(label), encoding);
}

void TestPageDecoding::contentType_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("encoding");

    QTest::newRow("plain") << "text/html; charset=windows-1251"_ba
                           << "windows-1251"_ba;
    QTest::newRow("quoted") << "text/html; charset=\"koi8-r\""_ba
                            << "KOI8-R"_ba;
    QTest::newRow("escaped quote") << "text/html; charset=\"utf\\-8\""_ba
                                   << "UTF-8"_ba;
    QTest::newRow("case and spaces") << "Text/HTML ;  CHARSET=UTF-8 "_ba
                                     << "UTF-8"_ba;
    QTest::newRow("first charset wins") << "text/html; charset=utf-8; charset=koi8-r"_ba
                                        << "UTF-8"_ba;
    QTest::newRow("other parameters") << "text/html; q=\"a;b\"; charset=cp1251"_ba
                                      << "windows-1251"_ba;
    QTest::newRow("no charset") << "text/html"_ba << QByteArray();
    QTest::newRow("unknown charset") << "text/html; charset=klingon"_ba << QByteArray();
    QTest::newRow("empty charset") << "text/html; charset="_ba << QByteArray();
    QTest::newRow("no type") << "charset=utf-8"_ba << QByteArray();
    QTest::newRow("two headers, last type") << "text/plain; charset=koi8-r, text/html"_ba << QByteArray();
    QTest::newRow("two headers, same type") << "text/html; charset=koi8-r, text/html"_ba
                                            << "KOI8-R"_ba;
    QTest::newRow("star type ignored") << "text/html; charset=koi8-r, */*"_ba
                                       << "KOI8-R"_ba;
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestPageDecoding::contentType()
{
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, encoding);
    QCOMPARE(charsetFromContentType(header), encoding);
}

void TestPageDecoding::prescan_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("encoding");

    QTest::newRow("meta charset") << "<meta charset=koi8-r>"_ba
                                  << "KOI8-R"_ba;
    QTest::newRow("quoted, upper case") << "<META CHARSET='CP1251'>"_ba
                                        << "windows-1251"_ba;
    QTest::newRow("http-equiv")
        << "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=koi8-r\">"_ba
        << "KOI8-R"_ba;
    QTest::newRow("content before http-equiv")
        << "<meta content='text/html;charset=\"iso-8859-5\"' http-equiv=content-type>"_ba
        << "ISO-8859-5"_ba;
    QTest::newRow("content without pragma")
        << "<meta content=\"text/html; charset=koi8-r\">"_ba << QByteArray();
    QTest::newRow("first meta wins") << "<meta charset=koi8-r><meta charset=utf-8>"_ba
                                     << "KOI8-R"_ba;
    QTest::newRow("unknown then known") << "<meta charset=klingon><meta charset=utf-8>"_ba
                                        << "UTF-8"_ba;
    QTest::newRow("utf-16 means utf-8") << "<meta charset=utf-16le>"_ba
                                        << "UTF-8"_ba;
    QTest::newRow("x-user-defined means 1252") << "<meta charset=x-user-defined>"_ba
                                               << "windows-1252"_ba;
    QTest::newRow("replacement ignored") << "<meta charset=iso-2022-kr>"_ba << QByteArray();
    QTest::newRow("in a comment") << "<!-- <meta charset=koi8-r> --><meta charset=utf-8>"_ba
                                  << "UTF-8"_ba;
    QTest::newRow("short comment") << "<!--><meta charset=koi8-r>"_ba
                                   << "KOI8-R"_ba;
    QTest::newRow("in an attribute") << "<div title='<meta charset=koi8-r>'><meta charset=utf-8>"_ba
                                     << "UTF-8"_ba;
    QTest::newRow("meta needs a space") << "<metacharset=koi8-r>"_ba << QByteArray();
    QTest::newRow("slash after meta") << "<meta/charset=koi8-r>"_ba
                                      << "KOI8-R"_ba;
    QTest::newRow("in a script is still seen") << "<script>x='<meta charset=koi8-r>'</script>"_ba
                                               << "KOI8-R"_ba;
    QTest::newRow("duplicate attribute") << "<meta charset=koi8-r charset=utf-8>"_ba
                                         << "KOI8-R"_ba;
    QTest::newRow("after 1024 bytes") << QByteArray(1024, ' ') + "<meta charset=koi8-r>" << QByteArray();
    QTest::newRow("cut by 1024 bytes") << QByteArray(1010, ' ') + "<meta charset=koi8-r>" << QByteArray();
    QTest::newRow("xml declaration") << "<?xml version=\"1.0\" encoding=\"koi8-r\"?><p>"_ba
                                     << "KOI8-R"_ba;
    QTest::newRow("utf-16 xml declaration") << QByteArray("<\0?\0x\0m\0l\0", 10) << "UTF-16LE"_ba;
    QTest::newRow("nothing") << "<p>hello"_ba << QByteArray();
}

void TestPageDecoding::prescan()
{
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, encoding);
    QCOMPARE(prescanCharset(page), encoding);
}

void TestPageDecoding::precedence_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<CharsetSource>("source");
    QTest::addColumn<int>("bomLength");

    const QByteArray meta = "<meta charset=koi8-r>";
    QTest::newRow("bom beats header") << "\xEF\xBB\xBF"_ba + meta << "text/html; charset=cp1251"_ba
                                      << "UTF-8"_ba << CharsetSource::ByteOrderMark << 3;
    QTest::newRow("utf-16le bom") << "\xFF\xFE<\0"_ba << QByteArray() << "UTF-16LE"_ba
                                  << CharsetSource::ByteOrderMark << 2;
    QTest::newRow("utf-16be bom") << "\xFE\xFF\0<"_ba << QByteArray() << "UTF-16BE"_ba
                                  << CharsetSource::ByteOrderMark << 2;
    QTest::newRow("header beats meta") << meta << "text/html; charset=utf-8"_ba
                                       << "UTF-8"_ba << CharsetSource::HttpHeader << 0;
    QTest::newRow("header may name utf-16") << meta << "text/html; charset=utf-16"_ba
                                            << "UTF-16LE"_ba << CharsetSource::HttpHeader << 0;
    QTest::newRow("unknown header label falls through") << meta << "text/html; charset=klingon"_ba
                                                        << "KOI8-R"_ba << CharsetSource::MetaDeclaration << 0;
    QTest::newRow("default is windows-1251") << "<p>\xcf\xf0\xe8\xe2\xe5\xf2"_ba
                                             << "text/html"_ba
                                             << "windows-1251"_ba << CharsetSource::Default << 0;
}

void TestPageDecoding::precedence()
{
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, encoding);
    QFETCH(CharsetSource, source);
    QFETCH(int, bomLength);
    const PageCharset charset = detectCharset(page, header);
    QCOMPARE(charset.encoding, encoding);
    QCOMPARE(charset.source, source);
    QCOMPARE(charset.bomLength, bomLength);
}

void TestPageDecoding::decoding_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QString>("text");

    QTest::newRow("windows-1251 by default")
        << "\xcf\xf0\xe8\xe2\xe5\xf2 \xb8\x98"_ba << QByteArray() << u"Привет ё\uFFFD"_s;
    QTest::newRow("windows-1251 quotes") << "\x93\x94\x85\xb9"_ba
                                         << "text/html; charset=cp1251"_ba << u"\u201C\u201D\u2026\u2116"_s;
    QTest::newRow("utf-8 without bom in text") << "\xEF\xBB\xBF"
                                                  "a\xEF\xBB\xBF"_ba
                                               << QByteArray() << u"a\uFEFF"_s;
    QTest::newRow("koi8-r through Qt") << "\xf0\xd2\xc9\xd7\xc5\xd4"_ba
                                       << "text/html; charset=koi8-r"_ba << u"Привет"_s;
    QTest::newRow("windows-1252 controls") << "\x80\x81\x9f"_ba
                                           << "text/html; charset=latin1"_ba << u"\u20AC\u0081\u0178"_s;
    QTest::newRow("utf-16le") << "\xFF\xFEh\0i\0"_ba << QByteArray() << u"hi"_s;
    QTest::newRow("utf-16be") << "\xFE\xFF\0h\0i"_ba << QByteArray() << u"hi"_s;
    QTest::newRow("utf-16 odd byte") << "\xFF\xFEh\0i"_ba << QByteArray() << u"h\uFFFD"_s;
    QTest::newRow("utf-16 lone surrogates")
        << "\xFF\xFE\x00\xD8h\0\x00\xDC"_ba << QByteArray() << u"\uFFFDh\uFFFD"_s;
    QTest::newRow("utf-16 pair") << "\xFF\xFE\x3D\xD8\x00\xDE"_ba << QByteArray() << u"\U0001F600"_s;
    QTest::newRow("replacement encoding") << "<p>anything"_ba
                                          << "text/html; charset=hz-gb-2312"_ba << u"\uFFFD"_s;
    QTest::newRow("x-user-defined") << "a\x80\xff"_ba
                                    << "text/html; charset=x-user-defined"_ba << u"a\uF780\uF7FF"_s;
    QTest::newRow("empty") << QByteArray() << QByteArray() << QString();
}

void TestPageDecoding::decoding()
{
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, header);
    QFETCH(QString, text);
    QCOMPARE(decodePage(page, header), text);
}

void TestPageDecoding::utf8Repair_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    // One U+FFFD for each maximal ill-formed subsequence, as browsers' decoders give.
    QTest::newRow("well formed") << "a\xd0\x96\xe2\x82\xac\xf0\x9f\x98\x80"_ba << u"aЖ€\U0001F600"_s;
    QTest::newRow("truncated three-byte") << "a\xe2\x82z"_ba << u"a\uFFFDz"_s;
    QTest::newRow("truncated four-byte") << "\xf0\x9f\x98z"_ba << u"\uFFFDz"_s;
    QTest::newRow("lone continuation") << "\x80\x80"_ba << u"\uFFFD\uFFFD"_s;
    QTest::newRow("overlong") << "\xc0\xaf"_ba << u"\uFFFD\uFFFD"_s;
    QTest::newRow("overlong three-byte") << "\xe0\x80\xaf"_ba << u"\uFFFD\uFFFD\uFFFD"_s;
    QTest::newRow("surrogate") << "\xed\xa0\x80"_ba << u"\uFFFD\uFFFD\uFFFD"_s;
    QTest::newRow("beyond U+10FFFF") << "\xf4\x90\x80\x80"_ba << u"\uFFFD\uFFFD\uFFFD\uFFFD"_s;
    QTest::newRow("invalid lead") << "\xff"_ba << u"\uFFFD"_s;
    QTest::newRow("cut at the end") << "ab\xd0"_ba << u"ab\uFFFD"_s;
    QTest::newRow("nul kept") << QByteArray("a\0b", 3) << QString(u"a\0b"_s);
}

void TestPageDecoding::utf8Repair()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(decodePage(bytes, "text/html; charset=utf-8"), text);
    // The parser's input is the same text in UTF-8.
    const Utf8Page page = pageToUtf8(bytes, "text/html; charset=utf-8");
    QCOMPARE(QString::fromUtf8(page.text), text);
}

void TestPageDecoding::utf8PageIsNotCopied()
{
    const QByteArray body = "<p>Привет</p>"_ba;
    const Utf8Page page = pageToUtf8(body, "text/html; charset=utf-8");
    QCOMPARE(page.text.data(), body.constData());
    QCOMPARE(page.encoding, "UTF-8"_ba);

    const QByteArray withBom = "\xEF\xBB\xBF<p>x"_ba;
    const Utf8Page skipped = pageToUtf8(withBom, QByteArray());
    QCOMPARE(skipped.text.data(), withBom.constData() + 3);
    QCOMPARE(skipped.text, "<p>x"_ba);
}

void TestPageDecoding::utf8PagesMatchDecodePage_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("header");

    QTest::newRow("windows-1251") << "\xcf\xf0\xe8\xe2\xe5\xf2 \x98\xff"_ba << QByteArray();
    QTest::newRow("koi8-r") << "\xf0\xd2\xc9\xd7\xc5\xd4"_ba
                            << "text/html; charset=koi8-r"_ba;
    QTest::newRow("utf-16") << "\xFF\xFEh\0\x00\xD8"_ba << QByteArray();
    QTest::newRow("broken utf-8") << "\xd0\x9f\xd0"_ba
                                  << "text/html; charset=utf-8"_ba;
}

void TestPageDecoding::utf8PagesMatchDecodePage()
{
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, header);
    const Utf8Page utf8 = pageToUtf8(page, header);
    QCOMPARE(QString::fromUtf8(utf8.text), decodePage(page, header));
    QCOMPARE(utf8.encoding, detectCharset(page, header).encoding);
}

void TestPageDecoding::wellFormedDecoderSurvivesIllFormedInput()
{
    // Its callers promise well-formed input; breaking the promise may give any text, but must not
    // read or write past the buffers (the sanitizer builds check that).
    for (const QByteArray &bytes :
         QList<QByteArray>{"a\xf0\x9f"_ba, "\x80\x80\xe2"_ba, "\xf0\xf0\xf0\xf0"_ba, QByteArray(40, '\xf4'),
                           QByteArray(QByteArray(40, '\x80') + "\xe2")}) {
        const QString text = wellFormedUtf8ToString(bytes);
        QVERIFY(text.size() <= 2 * bytes.size());
    }
    QCOMPARE(wellFormedUtf8ToString("Жa\xf0\x9f\x98\x80"_ba), u"Жa\U0001F600"_s);
}

void TestPageDecoding::wellFormedDecoderMatchesQt()
{
    // Runs of every length and width, so that both the sixteen-byte steps and the tails are used.
    const QStringList pieces = {u"a"_s, u"markup <p class=x> "_s, u"Ж"_s, u"ёлка "_s,
                                u"€"_s, u"\U0001F600"_s,          u" "_s};
    QRandomGenerator random(866);
    for (int round = 0; round < 2000; ++round) {
        QString text;
        const int count = random.bounded(40);
        for (int i = 0; i < count; ++i)
            text += pieces[random.bounded(int(pieces.size()))].repeated(1 + random.bounded(20));
        const QByteArray utf8 = text.toUtf8();
        QCOMPARE(wellFormedUtf16Length(utf8), text.size());
        QCOMPARE(wellFormedUtf8ToString(utf8), text);
    }
}

QTEST_GUILESS_MAIN(TestPageDecoding)
#include "tst_pagedecoding.moc"
