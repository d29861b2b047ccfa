// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/MatchModes.h"
#include "core/RegExpObject.h"
#include "core/SearchTranslation.h"

#include <QTest>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

namespace {

// The match-mode items after clicks on them: R regular expression, M masks, O OR/THEN.
MatchModes clicked(const QString &clicks)
{
    MatchModes modes;
    for (const QChar item : clicks)
        (modes.*(item == u'R'   ? &MatchModes::useRegExps_Click
                 : item == u'M' ? &MatchModes::assumeDosFilemasks_Click
                                : &MatchModes::assumeOrAndNot_Click))();
    return modes;
}

// The three items as "xe": x checked or -, e enabled or d (disabled).
QString describe(const MatchModes &modes)
{
    QStringList items;
    for (const MenuItemState &item : {modes.useRegExps(), modes.assumeDosFilemasks(), modes.assumeOrAndNot()})
        items << QString(QChar(item.checked ? u'x' : u'-')) + QChar(item.enabled ? u'e' : u'd');
    return items.join(u' ');
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
    QTest::addColumn<QString>("clicks");
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
    QCOMPARE(describe(clicked(clicks)), state);
}

void TestMatchModes::translation_data()
{
    QTest::addColumn<QString>("clicks");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("regScan");
    QTest::addColumn<QString>("pattern");

    QTest::newRow("plain keeps everything") << QString() << u"a*b? OR (c)"_s << false << u"a*b? OR (c)"_s;
    QTest::newRow("masks") << u"M"_s << u"ca?t.b*"_s << true << u"ca.?t\\.b.*"_s;
    QTest::newRow("or/then with groups, spaces collapse")
        << u"O"_s << u"(cat  OR dog )  then food"_s << true << u"(cat|dog).*food"_s;
    QTest::newRow("or/then lower case") << u"O"_s << u"a+b or c"_s << true << u"a\\+b|c"_s;
    QTest::newRow("operator at the end stays") << u"O"_s << u"A OR"_s << true << u"A OR"_s;
    QTest::newRow("operator at the start stays") << u"O"_s << u"or A"_s << true << u"or A"_s;
    QTest::newRow("masks in OR/THEN mode are literal") << u"O"_s << u"a* OR b"_s << true << u"a\\*|b"_s;
    QTest::newRow("both") << u"MO"_s << u"x* OR y?"_s << true << u"x.*|y.?"_s;
    QTest::newRow("masks: every other sign is literal, parentheses too")
        << u"M"_s << u"echo :-) (sic) [a]{2}|^$+.\\ -,:/<>&'\"ё"_s << true
        << u"echo :-\\) \\(sic\\) \\[a\\]\\{2\\}\\|\\^\\$\\+\\.\\\\ -,:/<>&'\"ё"_s;
    QTest::newRow("OR/THEN: only paired parentheses group")
        << u"MO"_s << u"(a) OR :-) THEN (b*"_s << true << u"(a)|:-\\).*\\(b.*"_s;
}

void TestMatchModes::translation()
{
    QFETCH(QString, clicks);
    QFETCH(QString, typed);
    QFETCH(bool, regScan);
    QFETCH(QString, pattern);
    QCOMPARE(planSearch(typed, clicked(clicks)), (SearchPlan{regScan, pattern}));
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
