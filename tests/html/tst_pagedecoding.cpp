// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/web/PageDecoding.h"

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

    const auto header = [](const char *label) -> QByteArray {
        return "text/html; charset="_ba + label;
    };
    const QByteArray meta = "<meta charset=koi8-r>";
    QTest::newRow("label cp1251") << QByteArray() << header("cp1251") << "windows-1251"_ba
                                  << CharsetSource::HttpHeader;
    QTest::newRow("label latin1") << QByteArray() << header("latin1") << "windows-1252"_ba
                                  << CharsetSource::HttpHeader;
    QTest::newRow("label koi8") << QByteArray() << header("koi8") << "KOI8-R"_ba << CharsetSource::HttpHeader;
    QTest::newRow("label utf-16") << QByteArray() << header("utf-16") << "UTF-16LE"_ba
                                  << CharsetSource::HttpHeader;
    QTest::newRow("label iso-2022-kr")
        << QByteArray() << header("iso-2022-kr") << "replacement"_ba << CharsetSource::HttpHeader;
    QTest::newRow("utf-7 is no label")
        << QByteArray() << header("utf-7") << "windows-1251"_ba << CharsetSource::Default;
    QTest::newRow("inner space") << QByteArray() << header("windows 1251") << "windows-1251"_ba
                                 << CharsetSource::Default;
    QTest::newRow("quoted, escaped") << QByteArray() << header("\"utf\\-8\"") << "UTF-8"_ba
                                     << CharsetSource::HttpHeader;
    QTest::newRow("case and spaces") << QByteArray() << "Text/HTML ;  CHARSET=UTF-8 "_ba
                                     << "UTF-8"_ba << CharsetSource::HttpHeader;
    QTest::newRow("first charset wins")
        << QByteArray() << header("utf-8; charset=koi8-r") << "UTF-8"_ba << CharsetSource::HttpHeader;
    QTest::newRow("other parameters") << QByteArray() << "text/html; q=\"a;b\"; charset=cp1251"_ba
                                      << "windows-1251"_ba << CharsetSource::HttpHeader;
    QTest::newRow("no type") << QByteArray() << "charset=utf-8"_ba
                             << "windows-1251"_ba << CharsetSource::Default;
    QTest::newRow("two headers, last type") << QByteArray() << "text/plain; charset=koi8-r, text/html"_ba
                                            << "windows-1251"_ba << CharsetSource::Default;
    QTest::newRow("two headers, same type") << QByteArray() << "text/html; charset=koi8-r, text/html"_ba
                                            << "KOI8-R"_ba << CharsetSource::HttpHeader;
    QTest::newRow("meta charset") << "<META CHARSET=' CP1251 '>"_ba << QByteArray() << "windows-1251"_ba
                                  << CharsetSource::MetaDeclaration;
    QTest::newRow("http-equiv") << "<meta content='text/html;charset=\"koi8-r\"' http-equiv=content-type>"_ba
                                << QByteArray() << "KOI8-R"_ba << CharsetSource::MetaDeclaration;
    QTest::newRow("content without pragma") << "<meta content=\"text/html; charset=koi8-r\">"_ba
                                            << QByteArray() << "windows-1251"_ba << CharsetSource::Default;
    QTest::newRow("unknown meta, then known") << "<meta charset=klingon>"_ba + meta << QByteArray()
                                              << "KOI8-R"_ba << CharsetSource::MetaDeclaration;
    QTest::newRow("utf-16 meta means utf-8")
        << "<meta charset=utf-16le>"_ba << QByteArray() << "UTF-8"_ba << CharsetSource::MetaDeclaration;
    QTest::newRow("meta in a comment") << "<!-- <meta charset=utf-8> -->"_ba + meta << QByteArray()
                                       << "KOI8-R"_ba << CharsetSource::MetaDeclaration;
    QTest::newRow("meta in an attribute") << "<p title='<meta charset=utf-8>'>"_ba + meta << QByteArray()
                                          << "KOI8-R"_ba << CharsetSource::MetaDeclaration;
    QTest::newRow("meta cut by 1024 bytes")
        << QByteArray(1010, ' ') + meta << QByteArray() << "windows-1251"_ba << CharsetSource::Default;
    QTest::newRow("xml declaration") << "<?xml version=\"1.0\" encoding=\"koi8-r\"?><p>"_ba << QByteArray()
                                     << "KOI8-R"_ba << CharsetSource::MetaDeclaration;
    QTest::newRow("bom beats header")
        << "\xEF\xBB\xBF"_ba + meta << header("cp1251") << "UTF-8"_ba << CharsetSource::ByteOrderMark;
    QTest::newRow("utf-16be bom") << "\xFE\xFF\0<"_ba << QByteArray() << "UTF-16BE"_ba
                                  << CharsetSource::ByteOrderMark;
    QTest::newRow("header beats meta") << meta << header("utf-8") << "UTF-8"_ba << CharsetSource::HttpHeader;
    QTest::newRow("unknown header falls through")
        << meta << header("klingon") << "KOI8-R"_ba << CharsetSource::MetaDeclaration;
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
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QString>("text");

    const QByteArray utf8 = "text/html; charset=utf-8"_ba;
    QTest::newRow("windows-1251, undefined byte")
        << "\xcf\xf0\xe8\xe2\xe5\xf2 \xb8\x98"_ba << QByteArray() << u"Привет ё\uFFFD"_s;
    QTest::newRow("koi8-r through Qt") << "\xf0\xd2\xc9\xd7\xc5\xd4"_ba
                                       << "text/html; charset=koi8-r"_ba << u"Привет"_s;
    QTest::newRow("windows-1252 controls") << "\x80\x81\x9f"_ba
                                           << "text/html; charset=latin1"_ba << u"\u20AC\u0081\u0178"_s;
    QTest::newRow("x-user-defined") << "a\x80\xff"_ba
                                    << "text/html; charset=x-user-defined"_ba << u"a\uF780\uF7FF"_s;
    QTest::newRow("replacement encoding") << "<p>anything"_ba
                                          << "text/html; charset=hz-gb-2312"_ba << u"\uFFFD"_s;
    QTest::newRow("utf-16 lone surrogate, odd byte")
        << "\xFF\xFE\x00\xD8h\0i"_ba << QByteArray() << u"\uFFFDh\uFFFD"_s;
    QTest::newRow("utf-8 bom goes, a later one stays") << "\xEF\xBB\xBF"
                                                          "a\xEF\xBB\xBF"_ba
                                                       << QByteArray() << u"a\uFEFF"_s;
    // One U+FFFD for each maximal ill-formed subsequence, as browsers' decoders give.
    QTest::newRow("utf-8 truncated") << "a\xe2\x82z\xf0\x9f\x98\x80\xd0"_ba << utf8
                                     << u"a\uFFFDz\U0001F600\uFFFD"_s;
    QTest::newRow("utf-8 overlong") << "\xc0\xaf"_ba << utf8 << u"\uFFFD\uFFFD"_s;
    QTest::newRow("utf-8 surrogate") << "\xed\xa0\x80"_ba << utf8 << u"\uFFFD\uFFFD\uFFFD"_s;
    QTest::newRow("utf-8 beyond U+10FFFF") << "\xf4\x90\x80\x80"_ba << utf8 << u"\uFFFD\uFFFD\uFFFD\uFFFD"_s;
}

void TestPageDecoding::decoding()
{
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, header);
    QFETCH(QString, text);
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
