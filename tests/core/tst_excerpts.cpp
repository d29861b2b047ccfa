// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Excerpts.h"

#include <QTest>

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
    void manyMatchesAreCapped();
};

// What the report shows of a page: excerpts in order, escaped, the page's own matched text in bold. The
// crawl's whole report shows three words each side of a plain match, across line breaks.
void TestExcerpts::excerptHtml_data()
{
    QTest::addColumn<bool>("regScan");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("html");

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

void TestExcerpts::manyMatchesAreCapped()
{
    const QString text = QString(MaxExcerptsPerPage + 1, u'a');
    for (const bool regScan : {false, true}) {
        const PageExcerpts all = pageExcerpts(text, regScan ? u"a"_s : u"A"_s, regScan);
        QCOMPARE(all.excerpts.size(), MaxExcerptsPerPage);
        QVERIFY(excerptsHtml(all).endsWith(u" ... <br>\r\n&nbsp;&nbsp;&nbsp;&nbsp; <i>(this page has more "
                                           u"matches: only the first 10000 are shown)</i>"_s));
        QVERIFY(!pageExcerpts(text.left(MaxExcerptsPerPage), u"a"_s, regScan).cut);
    }
}

QTEST_GUILESS_MAIN(TestExcerpts)
#include "tst_excerpts.moc"
