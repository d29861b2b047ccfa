#include "platform/PlatformError.h"
#include "report/Excerpts.h"

#include <QTest>

#include <cmath>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

namespace {

const QString ElevenWords = u"alpha bravo delta echo golf hotel india kilo lima oscar papa"_s;

QString excerpts(std::initializer_list<QString> pieces)
{
    QString result = u"... "_s;
    for (const QString &piece : pieces)
        result += piece + u" ... "_s;
    return result;
}

} // namespace

class TestExcerpts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void plain_data();
    void plain();
    void regularExpression_data();
    void regularExpression();
    void manyMatchesAreCapped();
    void rejectedPatternFails();
    void safeDecore_data();
    void safeDecore();
    void markText_data();
    void markText();
    void maxMinTies();
};

void TestExcerpts::plain_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("result");

    QTest::newRow("fifth of eleven words")
        << ElevenWords << u"golf"_s << excerpts({u" delta echo golf hotel india kilo "_s});
    QTest::newRow("ignoring case") << ElevenWords << u"GOLF"_s
                                   << excerpts({u" delta echo golf hotel india kilo "_s});
    QTest::newRow("first word") << ElevenWords << u"alpha"_s << excerpts({u"alpha bravo delta echo "_s});
    QTest::newRow("second-to-last word")
        << ElevenWords << u"oscar"_s << excerpts({u" kilo lima oscar papa"_s});
    QTest::newRow("no match") << ElevenWords << u"zulu"_s << excerpts({});
    QTest::newRow("empty search string") << ElevenWords << QString() << excerpts({});
    QTest::newRow("empty text") << QString() << u"x"_s << excerpts({});
    QTest::newRow("last character") << u"abc d"_s << u"d"_s << excerpts({u"abc d"_s});
    QTest::newRow("overlapping occurrences") << u"aaa"_s << u"aa"_s << excerpts({u"aaa"_s, u"aaa"_s});
    const QString noSpaces = QString(200, u'x') + u"needle"_s + QString(200, u'y');
    QTest::newRow("no spaces: 80 characters each side")
        << noSpaces << u"needle"_s << excerpts({noSpaces.mid(120, 167)});
    QTest::newRow("line breaks are no word boundary")
        << u"one\r\ntwo three"_s << u"two"_s << excerpts({u"one\r\ntwo three"_s});
    QTest::newRow("two nearby matches") << u"aa bb cc dd ee ff gg hh"_s << u"c"_s
                                        << excerpts({u"aa bb cc dd ee "_s, u"aa bb cc dd ee ff "_s});
}

void TestExcerpts::plain()
{
    QFETCH(QString, text);
    QFETCH(QString, search);
    QFETCH(QString, result);
    QCOMPARE(getNeighborhood(text, search), result);
}

void TestExcerpts::regularExpression_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("result");

    QTest::newRow("fifth of eleven words")
        << ElevenWords << u"golf"_s << excerpts({u"alpha bravo delta echo <b>golf</b> hotel india kilo "_s});
    QTest::newRow("match shown as found")
        << ElevenWords << u"G.LF"_s << excerpts({u"alpha bravo delta echo <b>golf</b> hotel india kilo "_s});
    QTest::newRow("empty text, empty match") << QString() << u".*"_s << excerpts({QString()});
    QTest::newRow("escaped around the mark")
        << u"a <i> golf & co"_s << u"golf"_s << excerpts({u"a &lt;i&gt; <b>golf</b> &amp; co"_s});
    QTest::newRow("every match") << u"ab ab"_s << u"b"_s
                                 << excerpts({u"a<b>b</b> a<b>b</b>"_s, u"a<b>b</b> a<b>b</b>"_s});
    QTest::newRow("no match") << ElevenWords << u"zulu"_s << excerpts({});
}

void TestExcerpts::regularExpression()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(QString, result);
    QCOMPARE(getHtmlNghbrhdRgxSel(text, pattern), result);
}

void TestExcerpts::manyMatchesAreCapped()
{
    const QString text = QString(3 * MaxExcerptsPerPage, u'a');
    QCOMPARE(getNeighborhood(text, u"a"_s).count(u" ... "_s), MaxExcerptsPerPage);
    QCOMPARE(getHtmlNghbrhdRgxSel(text, QString()).count(u" ... "_s), MaxExcerptsPerPage);
}

void TestExcerpts::rejectedPatternFails()
{
    QVERIFY_THROWS_EXCEPTION(PlatformError, getHtmlNghbrhdRgxSel(ElevenWords, u"(golf"_s));
}

void TestExcerpts::safeDecore_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("escaped");
    QTest::newRow("entity escaped again") << u"&lt;"_s << u"&amp;lt;"_s;
    QTest::newRow("tag") << u"<b>"_s << u"&lt;b&gt;"_s;
    QTest::newRow("quotes stay") << u"\"'"_s << u"\"'"_s;
    QTest::newRow("nothing to do") << u"plain"_s << u"plain"_s;
}

void TestExcerpts::safeDecore()
{
    QFETCH(QString, text);
    QFETCH(QString, escaped);
    htmlSafeDecore(text);
    QCOMPARE(text, escaped);
}

void TestExcerpts::markText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("mark");
    QTest::addColumn<QString>("marked");
    QTest::newRow("shown in the mark's case")
        << u"Hello HELLO"_s << u"hello"_s << u"<b>hello</b> <b>hello</b>"_s;
    QTest::newRow("Cyrillic case") << u"ЛЖ и лж"_s << u"лж"_s << u"<b>лж</b> и <b>лж</b>"_s;
    QTest::newRow("inserted tags not searched") << u"b b"_s << u"b"_s << u"<b>b</b> <b>b</b>"_s;
    QTest::newRow("empty mark") << u"text"_s << QString() << u"text"_s;
    QTest::newRow("escaped text hides the typed form") << u"a &amp; b"_s << u"a & b"_s << u"a &amp; b"_s;
}

void TestExcerpts::markText()
{
    QFETCH(QString, text);
    QFETCH(QString, mark);
    QFETCH(QString, marked);
    htmlMarkText(text, mark);
    QCOMPARE(text, marked);
}

void TestExcerpts::maxMinTies()
{
    QCOMPARE(diarytrawl::max(3, 2), 3);
    QCOMPARE(diarytrawl::min(3, 2), 2);
    // On a tie both give the second value: observable with values that compare equal but differ.
    QCOMPARE(diarytrawl::max(0.0, -0.0), -0.0);
    QVERIFY(std::signbit(diarytrawl::max(0.0, -0.0)));
    QVERIFY(std::signbit(diarytrawl::min(0.0, -0.0)));
}

QTEST_GUILESS_MAIN(TestExcerpts)
#include "tst_excerpts.moc"
