// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/CaselessFinder.h"
#include "core/Excerpts.h"
#include "core/RegExpObject.h"
#include "core/RegexpHelpers.h"

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
    void findsAsQtFinds_data();
    void findsAsQtFinds();
    void dateStampAsTheEngineFindsIt();
    void requiredLiteralOfAPattern_data();
    void requiredLiteralOfAPattern();
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

// A plain search finds, ignoring case, exactly what QString::indexOf finds: every occurrence, wherever
// it lies against the finder's eight-place steps, in letters that fold with others.
void TestExcerpts::findsAsQtFinds_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("needle");

    const QString filler = u"Some words of an entry, now and then. "_s.repeated(3);
    QTest::newRow("latin, at every place") << filler + u"LiveJournal"_s + filler << u"livejournal"_s;
    QTest::newRow("one letter") << filler << u"E"_s;
    QTest::newRow("cyrillic") << u"Мой ЖУРНАЛ и журнал, ЖурнаЛ."_s.repeated(5) << u"журнал"_s;
    QTest::newRow("kelvin sign folds as k") << u"ok Kelvin KELVIN kelvin"_s.repeated(3) << u"kelvin"_s;
    QTest::newRow("final sigma") << u"ΟΔΟΣ οδος οδός"_s.repeated(4) << u"οδοσ"_s;
    QTest::newRow("sharp s, one letter each") << u"STRASSE straße STRAẞE"_s.repeated(4) << u"straße"_s;
    QTest::newRow("dotted and dotless i") << u"İstanbul ıstanbul Istanbul"_s.repeated(4) << u"istanbul"_s;
    QTest::newRow("beyond the plane") << u"a 𐐨𐐩 𐐀𐐁 b"_s.repeated(3) << u"𐐀𐐁"_s;
    QTest::newRow("needle at the very end") << filler + u"ENd"_s << u"end"_s;
    QTest::newRow("longer than the text") << u"short"_s << u"much longer than that"_s;
    QTest::newRow("empty needle") << filler << QString();
}

void TestExcerpts::findsAsQtFinds()
{
    QFETCH(QString, text);
    QFETCH(QString, needle);
    const CaselessFinder finder(needle);
    for (qsizetype from = 0; from <= text.size() + 1; ++from)
        QCOMPARE(finder.indexIn(text, from), text.indexOf(needle, from, Qt::CaseInsensitive));
    for (qsizetype cut = 0; cut < 17; ++cut) // every length against the steps of either width
        QCOMPARE(finder.indexIn(QStringView(text).first(text.size() - std::min(cut, text.size()))),
                 QStringView(text)
                     .first(text.size() - std::min(cut, text.size()))
                     .indexOf(needle, 0, Qt::CaseInsensitive));
}

// An entry's date stamp, looked for without the regular-expression engine, is what the engine finds.
void TestExcerpts::dateStampAsTheEngineFindsIt()
{
    const QString lone = QString(QChar(0xD800));
    for (const QString &text :
         QStringList{u"posted @ 2005-03-17 12:00"_s, u"@ 2005-3-17 and @ 2005-03-1x, then @ 2005-12-31"_s,
                     u"@ 2004-03-17 @ 2005-03-17"_s, u"@@ 2005-03-17"_s, u"@  2005-03-17"_s,
                     u"cut short @ 2005-03-1"_s, u"@ 2005-٣٠-١٧ then @ 2005-01-01"_s,
                     lone + u"@ 2005-03-17"_s + lone, QString()})
        QCOMPARE(dateStamp(text, u"2005"_s), RegMatch(text, dateStampPattern(u"2005"_s), true));
}

// What a text must hold for a pattern to match it: a text the engine matches always holds it; a pattern
// whose matches need not share a word gives none.
void TestExcerpts::requiredLiteralOfAPattern_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("literals");
    QTest::addColumn<QString>("matched"); // a text the pattern matches

    QTest::newRow("before a group") << u"hail(storm|stone)s?\\b"_s << QStringList{u"hail"_s}
                                    << u"HAILSTONES"_s;
    QTest::newRow("an optional letter ends a run") << u"colou?r"_s << QStringList{u"colo"_s} << u"color"_s;
    QTest::newRow("the longest run") << u"ab.cdef"_s << QStringList{u"cdef"_s} << u"abXCDEF"_s;
    QTest::newRow("bounds are no text") << u"a{10}b"_s << QStringList{u"b"_s} << u"aaaaaaaaaab"_s;
    QTest::newRow("a class and an escape") << u"[xyz]word\\d"_s << QStringList{u"word"_s} << u"yWord7"_s;
    QTest::newRow("masks as translated")
        << u"hail.*came .?ver"_s << QStringList{u"hail"_s} << u"Hail, then came ver"_s;
    QTest::newRow("or-then as translated: one of the alternatives")
        << u"blizzard|hailstorm.*river"_s << QStringList{u"blizzard"_s, u"hailstorm"_s} << u"Blizzard"_s;
    QTest::newRow("alternatives in a group are not the top")
        << u"(snow|rain)fall"_s << QStringList{u"fall"_s} << u"rainfall"_s;
    QTest::newRow("an alternative with none") << u"snow|.*"_s << QStringList() << u"rain"_s;
    QTest::newRow("a code escape") << u"ab\\x41cd"_s << QStringList() << u"abAcd"_s;
    QTest::newRow("a back reference") << u"(a)b\\1"_s << QStringList() << u"aba"_s;
    QTest::newRow("an unclosed group") << u"snow|(rain"_s << QStringList() << QString();
    QTest::newRow("a trailing backslash") << u"snow|rain\\"_s << QStringList() << QString();
    QTest::newRow("nothing but quantified") << u"a*b?"_s << QStringList() << u""_s;
}

void TestExcerpts::requiredLiteralOfAPattern()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, literals);
    QFETCH(QString, matched);
    QCOMPARE(requiredLiterals(pattern), literals);
    if (!matched.isNull()) {
        RegExpObject regExp;
        regExp.Pattern = pattern;
        regExp.IgnoreCase = true;
        QVERIFY(regExp.Test(matched));
        if (!literals.isEmpty())
            QVERIFY(std::any_of(literals.cbegin(), literals.cend(), [&](const QString &literal) {
                return matched.contains(literal, Qt::CaseInsensitive);
            }));
    }
}

QTEST_GUILESS_MAIN(TestExcerpts)
#include "tst_excerpts.moc"
