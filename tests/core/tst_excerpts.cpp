// SPDX-License-Identifier: GPL-3.0-or-later
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
    void excerptHtml_data();
    void excerptHtml();
    void pageOwnText();
    void manyMatchesAreCapped();
    void maxMinTies();
};

// What the report shows of a page: excerpts in order, escaped, the page's own matched text in bold.
void TestExcerpts::excerptHtml_data()
{
    QTest::addColumn<bool>("regScan");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("html");

    QTest::newRow("plain: three words each side")
        << false << ElevenWords << u"golf"_s << excerpts({u" delta echo <b>golf</b> hotel india kilo "_s});
    QTest::newRow("regexp: four words each side")
        << true << ElevenWords << u"G.LF"_s
        << excerpts({u"alpha bravo delta echo <b>golf</b> hotel india kilo "_s});
    QTest::newRow("first word") << false << ElevenWords << u"alpha"_s
                                << excerpts({u"<b>alpha</b> bravo delta echo "_s});
    QTest::newRow("no match") << false << ElevenWords << u"zulu"_s << excerpts({});
    QTest::newRow("empty search string") << false << ElevenWords << QString() << excerpts({});
    QTest::newRow("regexp, empty text, empty match") << true << QString() << u".*"_s << excerpts({QString()});
    QTest::newRow("overlapping occurrences")
        << false << u"aaa"_s << u"aa"_s << excerpts({u"<b>aa</b>a"_s, u"<b>aa</b>a"_s});
    const QString noSpaces = QString(200, u'x') + u"needle"_s + QString(200, u'y');
    QTest::newRow("no spaces: 80 characters each side")
        << false << noSpaces << u"needle"_s
        << excerpts({QString(80, u'x') + u"<b>needle</b>"_s + QString(81, u'y')});
    QTest::newRow("line breaks are no word boundary")
        << false << u"one\r\ntwo three"_s << u"two"_s << excerpts({u"one\r\n<b>two</b> three"_s});
    QTest::newRow("every occurrence in each excerpt")
        << true << u"ab ab"_s << u"b"_s << excerpts({u"a<b>b</b> a<b>b</b>"_s, u"a<b>b</b> a<b>b</b>"_s});
}

void TestExcerpts::excerptHtml()
{
    QFETCH(bool, regScan);
    QFETCH(QString, text);
    QFETCH(QString, search);
    QFETCH(QString, html);
    QCOMPARE(regScan ? getHtmlNghbrhdRgxSel(text, search) : getNeighborhood(text, search), html);
}

void TestExcerpts::pageOwnText()
{
    const PageExcerpts plain = pageExcerpts(u"Ёлка & ёлка"_s, u"ЁЛКА"_s, false);
    const QList<std::pair<qsizetype, qsizetype>> marks{{0, 4}, {7, 4}};
    QCOMPARE(plain.excerpts, (QList<Excerpt>{{u"Ёлка & ёлка"_s, marks}, {u"Ёлка & ёлка"_s, marks}}));
    QVERIFY(!plain.cut);
    QVERIFY_THROWS_EXCEPTION(PlatformError, pageExcerpts(ElevenWords, u"(golf"_s, true));
}

void TestExcerpts::manyMatchesAreCapped()
{
    const QString text = QString(MaxExcerptsPerPage + 1, u'a');
    for (const bool regScan : {false, true}) {
        const PageExcerpts all = pageExcerpts(text, regScan ? u"a"_s : u"A"_s, regScan);
        QCOMPARE(all.excerpts.size(), MaxExcerptsPerPage);
        QVERIFY(all.cut);
        QVERIFY(excerptsHtml(all).endsWith(
            u" ... <br>\r\n&nbsp;&nbsp;&nbsp;&nbsp; <i>(this page has more matches: only the first 10000 are "
            u"shown)</i>"_s));
        QVERIFY(!pageExcerpts(text.left(MaxExcerptsPerPage), u"a"_s, regScan).cut);
    }
}

void TestExcerpts::maxMinTies()
{
    QCOMPARE(diarytrawl::max(3, 2), 3);
    QCOMPARE(diarytrawl::min(3, 2), 2);
    // On a tie both give the second value: observable with values that compare equal but differ.
    QVERIFY(std::signbit(diarytrawl::max(0.0, -0.0)));
    QVERIFY(std::signbit(diarytrawl::min(0.0, -0.0)));
}

QTEST_GUILESS_MAIN(TestExcerpts)
#include "tst_excerpts.moc"
