// SPDX-License-Identifier: GPL-3.0-or-later
#include "match/MatchModes.h"
#include "match/SearchTranslation.h"
#include "platform/RegExpObject.h"

#include <QTest>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

namespace {

// A menu state written as three items "xe": x checked or -, e enabled or d (disabled).
QString describe(const MatchModes &modes)
{
    auto item = [](const MenuItemState &state) -> QString {
        return QString(QChar(state.checked ? u'x' : u'-')) + QChar(state.enabled ? u'e' : u'd');
    };
    return item(modes.useRegExps()) + u' ' + item(modes.assumeDosFilemasks()) + u' ' +
           item(modes.assumeOrAndNot());
}

void click(MatchModes &modes, QChar item)
{
    if (item == u'R')
        modes.useRegExps_Click();
    else if (item == u'M')
        modes.assumeDosFilemasks_Click();
    else
        modes.assumeOrAndNot_Click();
}

} // namespace

class TestMatchModes : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void interlock_data();
    void interlock();
    void translation_data();
    void translation();
};

void TestMatchModes::interlock_data()
{
    QTest::addColumn<QString>("clicks"); // R regular expression, M masks, O OR/THEN
    QTest::addColumn<QString>("state");

    QTest::newRow("start") << QString() << u"-e -e -e"_s;
    QTest::newRow("regular expression") << u"R"_s << u"xe -d -d"_s;
    QTest::newRow("regular expression and back") << u"RR"_s << u"-e -e -e"_s;
    QTest::newRow("masks") << u"M"_s << u"-d xe -e"_s;
    QTest::newRow("OR/THEN") << u"O"_s << u"-d -e xe"_s;
    QTest::newRow("masks and OR/THEN") << u"MO"_s << u"-d xe xe"_s;
    QTest::newRow("both, masks off again") << u"MOM"_s << u"-d -e xe"_s;
    QTest::newRow("disabled items ignore clicks") << u"RMO"_s << u"xe -d -d"_s;
}

void TestMatchModes::interlock()
{
    QFETCH(QString, clicks);
    QFETCH(QString, state);
    MatchModes modes;
    for (const QChar item : std::as_const(clicks))
        click(modes, item);
    QCOMPARE(describe(modes), state);
}

void TestMatchModes::translation_data()
{
    QTest::addColumn<QString>("clicks");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("regScan");
    QTest::addColumn<QString>("pattern");

    QTest::newRow("plain keeps everything") << QString() << u"a*b? OR (c)"_s << false << u"a*b? OR (c)"_s;
    QTest::newRow("regexp unchanged") << u"R"_s << u"a.*b"_s << true << u"a.*b"_s;
    QTest::newRow("masks") << u"M"_s << u"ca?t*"_s << true << u"ca.?t.*"_s;
    QTest::newRow("masks escape the rest") << u"M"_s << u"a.b*"_s << true << u"a\\.b.*"_s;
    QTest::newRow("or/then with groups")
        << u"O"_s << u"(cat  OR dog )  then food"_s << true << u"(cat|dog).*food"_s;
    QTest::newRow("or/then lower case") << u"O"_s << u"a+b or c"_s << true << u"a\\+b|c"_s;
    QTest::newRow("spaces collapse") << u"O"_s << u"A   OR   B"_s << true << u"A|B"_s;
    QTest::newRow("operator at the end stays") << u"O"_s << u"A OR"_s << true << u"A OR"_s;
    QTest::newRow("operator at the start stays") << u"O"_s << u"or A"_s << true << u"or A"_s;
    QTest::newRow("masks in OR/THEN mode are literal") << u"O"_s << u"a* OR b"_s << true << u"a\\*|b"_s;
    QTest::newRow("both") << u"MO"_s << u"x* OR y?"_s << true << u"x.*|y.?"_s;
    QTest::newRow("masks: parentheses are literal")
        << u"M"_s << u"echo :-) (sic)"_s << true << u"echo :-\\) \\(sic\\)"_s;
    QTest::newRow("masks: every other sign is literal") << u"M"_s << u"[a]{2}|^$+.\\ -,:/<>&'\"ё"_s << true
                                                        << u"\\[a\\]\\{2\\}\\|\\^\\$\\+\\.\\\\ -,:/<>&'\"ё"_s;
    QTest::newRow("OR/THEN: only paired parentheses group")
        << u"MO"_s << u"(a) OR :-) THEN (b*"_s << true << u"(a)|:-\\).*\\(b.*"_s;
}

void TestMatchModes::translation()
{
    QFETCH(QString, clicks);
    QFETCH(QString, typed);
    QFETCH(bool, regScan);
    QFETCH(QString, pattern);
    MatchModes modes;
    for (const QChar item : std::as_const(clicks))
        click(modes, item);
    QCOMPARE(planSearch(typed, modes), (SearchPlan{regScan, pattern}));
    if (clicks != u"M" || typed.contains(u'*') || typed.contains(u'?'))
        return;
    // Without masks in it, what was typed is found as it is, and only that.
    RegExpObject regExp;
    regExp.Pattern = pattern;
    const QList<RegExpMatch> matches = regExp.Execute(u"<" + typed + u">");
    QCOMPARE(matches.size(), 1);
    QCOMPARE(matches[0].Value, typed);
}

QTEST_GUILESS_MAIN(TestMatchModes)
#include "tst_matchmodes.moc"
