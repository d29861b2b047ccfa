// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PlatformError.h"
#include "platform/RegExpObject.h"

#include <QTest>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

class TestRegExpObject : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dialect_data();
    void dialect();
    void rejectedPatterns_data();
    void rejectedPatterns();
    void globalWalksEveryMatch_data();
    void globalWalksEveryMatch();
    void patternChangeTakesEffect();
    void runawayMatchFails_data();
    void runawayMatchFails();
};

// Constructs of the ECMAScript dialect and what they match (first match, IgnoreCase as given).
void TestRegExpObject::dialect_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ignoreCase");
    QTest::addColumn<QString>("value"); // empty with index -1: no match
    QTest::addColumn<int>("index");

    QTest::newRow("\\d is ASCII only") << u"\\d"_s << u"\u0663"_s << false << QString() << -1;
    QTest::newRow("\\w is ASCII only") << u"\\w+"_s << u"привет world"_s << false << u"world"_s << 7;
    QTest::newRow("\\b at ASCII words") << u"\\bcat\\b"_s << u"concat cat"_s << false << u"cat"_s << 7;
    QTest::newRow("dot stops at line feed") << u"a.c"_s << u"a\nc"_s << false << QString() << -1;
    QTest::newRow("dot takes carriage return") << u"a.c"_s << u"a\rc"_s << false << u"a\rc"_s << 0;
    QTest::newRow("[^] is any character") << u"[^]"_s << u"\n"_s << false << u"\n"_s << 0;
    QTest::newRow("[] matches nothing") << u"a[]"_s << u"a"_s << false << QString() << -1;
    QTest::newRow("\\uhhhh escape") << u"\\u0041"_s << u"xA"_s << false << u"A"_s << 1;
    QTest::newRow("\\s takes no-break space") << u"a\\sb"_s << u"a\u00a0b"_s << false << u"a\u00a0b"_s << 0;
    QTest::newRow("\\s in a class") << u"[\\s]"_s << u"x\u2028"_s << false << u"\u2028"_s << 1;
    QTest::newRow("\\v is vertical tab") << u"\\v"_s << u"\n\u000b"_s << false << u"\u000b"_s << 1;
    QTest::newRow("identity escape") << u"\\e\\Q"_s << u"eQ"_s << false << u"eQ"_s << 0;
    QTest::newRow("unset back-reference is empty") << u"(a)?b\\1"_s << u"b"_s << false << u"b"_s << 0;
    QTest::newRow("$ only at the very end") << u"a$"_s << u"a\n"_s << false << QString() << -1;
    QTest::newRow("counted repetition") << u"x{2,3}"_s << u"xxxx"_s << false << u"xxx"_s << 0;
    QTest::newRow("lone brace is literal") << u"a{"_s << u"xa{"_s << false << u"a{"_s << 1;
    QTest::newRow("lone bracket is literal") << u"]"_s << u"a]"_s << false << u"]"_s << 1;
    QTest::newRow("no POSIX classes") << u"[[:alpha:]]"_s << u"l]"_s << false << u"l]"_s << 0;
    QTest::newRow("lookbehind") << u"(?<=a)b"_s << u"bab"_s << false << u"b"_s << 2;
    QTest::newRow("yo folds") << u"Ё"_s << u"ёлка"_s << true << u"ё"_s << 0;
    QTest::newRow("positions count UTF-16 units") << u"y"_s << u"x\U0001F600y"_s << false << u"y"_s << 3;
    QTest::newRow("lone surrogate in text")
        << u"b"_s << QString(u"a"_s + QChar(0xD800) + u"b"_s) << false << u"b"_s << 2;
    // The web-compatibility grammar.
    QTest::newRow("\\8 and \\9 are the digits") << u"\\8\\9"_s << u"789"_s << false << u"89"_s << 1;
    QTest::newRow("\\1 without a group is octal")
        << u"a\\1"_s << u"a1a\u0001"_s << false << u"a\u0001"_s << 2;
    QTest::newRow("octal past the group count") << u"(a)\\12"_s << u"a12a\n"_s << false << u"a\n"_s << 3;
    QTest::newRow("back-reference before its group") << u"\\1(a)"_s << u"a"_s << false << u"a"_s << 0;
    QTest::newRow("octal in a class") << u"[\\1\\8]"_s << u"x8"_s << false << u"8"_s << 1;
    QTest::newRow("\\k without named groups") << u"\\k<a>"_s << u"k<a>"_s << false << u"k<a>"_s << 0;
    QTest::newRow("class escape ends a range") << u"[--\\d]+"_s << u"a-5-b"_s << false << u"-5-"_s << 1;
    QTest::newRow("$ in a group name") << u"(?<$a>x)\\k<$a>"_s << u"xx"_s << false << u"xx"_s << 0;
    QTest::newRow("long group name") << u"(?<"_s + QString(40, u'n') + u">y)\\k<"_s + QString(40, u'n') + u'>'
                                     << u"yy"_s << false << u"yy"_s << 0;
    QTest::newRow("\\c without a letter is literal") << u"\\c1"_s << u"\\c1"_s << false << u"\\c1"_s << 0;
    QTest::newRow("{ without a count is literal") << u"a{,2}"_s << u"a{,2}"_s << false << u"a{,2}"_s << 0;
    QTest::newRow("repeated lookahead") << u"(?=a)*b"_s << u"b"_s << false << u"b"_s << 0;
}

void TestRegExpObject::dialect()
{
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QFETCH(bool, ignoreCase);
    QFETCH(QString, value);
    QFETCH(int, index);

    RegExpObject regExp;
    regExp.Pattern = pattern;
    regExp.IgnoreCase = ignoreCase;
    const QList<RegExpMatch> matches = regExp.Execute(text);
    QCOMPARE(regExp.Test(text), index >= 0);
    if (index < 0) {
        QVERIFY(matches.isEmpty());
        return;
    }
    QCOMPARE(matches.size(), 1);
    QCOMPARE(matches[0].Value, value);
    QCOMPARE(matches[0].FirstIndex, index);
    QCOMPARE(matches[0].length, value.size());
}

void TestRegExpObject::rejectedPatterns_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("number"); // the engine's own, or ours for syntax the engine would take
    QTest::addColumn<QString>("ending");
    QTest::newRow("unclosed group") << u"a(b"_s << 114 << u"missing closing parenthesis (at character 4)"_s;
    QTest::newRow("nothing to repeat") << u"*a"_s << 109 << u"(at character 1)"_s;
    QTest::newRow("trailing backslash") << u"ab\\"_s << 101 << u"(at character 4)"_s;
    QTest::newRow("duplicate group name") << u"(?<n>a)(?<n>b)"_s << 143 << u"(at character 13)"_s;
    QTest::newRow("undefined group name") << u"(?<n>a)\\k<m>"_s << 115 << u"(at character 8)"_s;
    QTest::newRow("possessive") << u"a++"_s << int(ErrorNumber::RegExpSyntax)
                                << u"possessive quantifiers such as \"a++\" are not part of this syntax (at "
                                   u"character 3)"_s;
    QTest::newRow("atomic group")
        << u"x(?>a)"_s << int(ErrorNumber::RegExpSyntax)
        << u"atomic groups \"(?>...)\" are not part of this syntax (at character 2)"_s;
    QTest::newRow("inline flag") << u"(?i)a"_s << int(ErrorNumber::RegExpSyntax) << u"(at character 1)"_s;
    QTest::newRow("inline flags off")
        << u"(?ms-i)a"_s << int(ErrorNumber::RegExpSyntax) << u"(at character 1)"_s;
    QTest::newRow("repeated lookbehind") << u"(?<=a)?b"_s << int(ErrorNumber::RegExpSyntax)
                                         << u"a lookbehind cannot be repeated (at character 7)"_s;
    QTest::newRow("verb") << u"(*ACCEPT)"_s << int(ErrorNumber::RegExpSyntax) << u"(at character 2)"_s;
}

void TestRegExpObject::rejectedPatterns()
{
    QFETCH(QString, pattern);
    QFETCH(int, number);
    QFETCH(QString, ending);
    RegExpObject regExp;
    regExp.Pattern = pattern; // accepted when set...
    try {
        regExp.Test(u"some text"_s); // ...and refused when used
        QFAIL("the pattern was accepted");
    } catch (const PlatformError &error) {
        QCOMPARE(error.number(), number);
        QVERIFY2(error.description().startsWith(u"Syntax error in regular expression: "_s) &&
                     error.description().endsWith(ending),
                 qPrintable(error.description()));
    }
}

void TestRegExpObject::globalWalksEveryMatch_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("matches"); // "index:value"

    QTest::newRow("words") << u"\\w+"_s << u"ab cd  e"_s << QStringList{u"0:ab"_s, u"3:cd"_s, u"7:e"_s};
    QTest::newRow("empty matches move on")
        << u"a*"_s << u"baaa"_s << QStringList{u"0:"_s, u"1:aaa"_s, u"4:"_s};
    QTest::newRow("empty text, empty pattern") << u".*"_s << QString() << QStringList{u"0:"_s};
    QTest::newRow("empty match steps over a pair")
        << u"x?"_s << u"\U0001F600"_s << QStringList{u"0:"_s, u"2:"_s};
}

void TestRegExpObject::globalWalksEveryMatch()
{
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QFETCH(QStringList, matches);

    RegExpObject regExp;
    regExp.Pattern = pattern;
    regExp.IgnoreCase = true;
    regExp.Global = true;
    QStringList found;
    for (const RegExpMatch &match : regExp.Execute(text)) {
        QCOMPARE(match.Value, text.mid(match.FirstIndex, match.length));
        found << QString::number(match.FirstIndex) + u':' + match.Value;
    }
    QCOMPARE(found, matches);
}

void TestRegExpObject::patternChangeTakesEffect()
{
    RegExpObject regExp;
    regExp.Pattern = u"abc"_s;
    QVERIFY(!regExp.Test(u"ABC"_s));
    regExp.IgnoreCase = true;
    QVERIFY(regExp.Test(u"ABC"_s));
    regExp.Pattern = u"xyz"_s;
    QVERIFY(!regExp.Test(u"ABC"_s));
}

void TestRegExpObject::runawayMatchFails_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    // Exponential at the first start position.
    QTest::newRow("nested plus") << u"(a+)+$"_s << QString(QString(30000, u'a') + u'b');
    // Cheap enough at each position, far too dear over all of them.
    QTest::newRow("costly at every position") << u"(a|b)*[^ab]"_s << QString(200000, u'a');
}

void TestRegExpObject::runawayMatchFails()
{
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    RegExpObject regExp;
    regExp.Pattern = pattern;
    regExp.IgnoreCase = true;
    try {
        regExp.Test(text);
        QFAIL("the match ran to its end");
    } catch (const PlatformError &error) {
        QCOMPARE(error.number(), ErrorNumber::TooCostly);
    }
}

QTEST_GUILESS_MAIN(TestRegExpObject)
#include "tst_regexpobject.moc"
