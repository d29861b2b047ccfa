// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/RegExpObject.h"
#include "platform/PlatformError.h"

#include <QTest>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

class TestRegExpObject : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void matches_data();
    void matches();
    void refused_data();
    void refused();
};

// Constructs of the ECMAScript dialect and every match they find ("index:value"), case ignored.
void TestRegExpObject::matches_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("matches");

    const auto row = [](const char *name, const QString &pattern, const QString &text,
                        const QStringList &matches) {
        QTest::newRow(name) << pattern << text << matches;
    };
    row("\\d is ASCII only", u"\\d"_s, u"\u0663"_s, {});
    row("dot stops at line feed", u"a.c"_s, u"a\nc"_s, {});
    row("dot takes carriage return", u"a.c"_s, u"a\rc"_s, {u"0:a\rc"_s});
    row("[^] is any character", u"[^]"_s, u"\n"_s, {u"0:\n"_s});
    row("\\uhhhh escape", u"\\u0041"_s, u"xA"_s, {u"1:A"_s});
    row("\\s takes no-break space", u"a\\sb"_s, u"a\u00a0b"_s, {u"0:a\u00a0b"_s});
    row("\\s in a class", u"[\\s]"_s, u"x\u2028"_s, {u"1:\u2028"_s});
    row("\\v is vertical tab", u"\\v"_s, u"\n\u000b"_s, {u"1:\u000b"_s});
    row("identity escape", u"\\e\\Q"_s, u"eQ"_s, {u"0:eQ"_s});
    row("unset back-reference is empty", u"(a)?b\\1"_s, u"b"_s, {u"0:b"_s});
    row("$ only at the very end", u"a$"_s, u"a\n"_s, {});
    row("counted repetition", u"x{2,3}"_s, u"xxxx"_s, {u"0:xxx"_s});
    row("lone bracket is literal", u"]"_s, u"a]"_s, {u"1:]"_s});
    row("no POSIX classes", u"[[:alpha:]]"_s, u"l]"_s, {u"0:l]"_s});
    row("lookbehind", u"(?<=a)b"_s, u"bab"_s, {u"2:b"_s});
    row("yo folds", u"Ё"_s, u"ёлка"_s, {u"0:ё"_s});
    row("positions count UTF-16 units", u"y"_s, u"x\U0001F600y"_s, {u"3:y"_s});
    row("lone surrogate in text", u"b"_s, QString(u"a"_s + QChar(0xD800) + u"b"_s), {u"2:b"_s});
    row("empty matches move on", u"a*"_s, u"baaa"_s, {u"0:"_s, u"1:aaa"_s, u"4:"_s});
    row("empty match steps over a pair", u"x?"_s, u"\U0001F600"_s, {u"0:"_s, u"2:"_s});
    // The web-compatibility grammar.
    row("\\8 and \\9 are the digits", u"\\8\\9"_s, u"789"_s, {u"1:89"_s});
    row("\\1 without a group is octal", u"a\\1"_s, u"a1a\u0001"_s, {u"2:a\u0001"_s});
    row("octal past the group count", u"(a)\\12"_s, u"a12a\n"_s, {u"3:a\n"_s});
    row("back-reference before its group", u"\\1(a)"_s, u"a"_s, {u"0:a"_s});
    row("octal in a class", u"[\\1\\8]"_s, u"x8"_s, {u"1:8"_s});
    row("\\k without named groups", u"\\k<a>"_s, u"k<a>"_s, {u"0:k<a>"_s});
    row("class escape ends a range", u"[--\\d]+"_s, u"a-5-b"_s, {u"1:-5-"_s});
    row("$ in a group name", u"(?<$a>x)\\k<$a>"_s, u"xx"_s, {u"0:xx"_s});
    const QString longName = QString(40, u'n');
    row("long group name", u"(?<"_s + longName + u">y)\\k<"_s + longName + u'>', u"yy"_s, {u"0:yy"_s});
    row("\\c without a letter is literal", u"\\c1"_s, u"\\c1"_s, {u"0:\\c1"_s});
    row("{ without a count is literal", u"a{,2}"_s, u"a{,2}"_s, {u"0:a{,2}"_s});
    row("repeated lookahead", u"(?=a)*b"_s, u"b"_s, {u"0:b"_s});
}

void TestRegExpObject::matches()
{
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QFETCH(QStringList, matches);

    // Used with another pattern and without IgnoreCase first: both changes must take effect.
    RegExpObject regExp;
    for (const QString &first : {u"\\d"_s, pattern}) {
        regExp.Pattern = first;
        regExp.Test(text);
    }
    regExp.IgnoreCase = true;
    QCOMPARE(regExp.Test(text), !matches.isEmpty());
    QCOMPARE(regExp.Execute(text).size(), qMin(matches.size(), 1));
    regExp.Global = true;
    QStringList found;
    for (const RegExpMatch &match : regExp.Execute(text)) {
        QCOMPARE(match.Value, text.mid(match.FirstIndex, match.length));
        found << QString::number(match.FirstIndex) + u':' + match.Value;
    }
    QCOMPARE(found, matches);
}

// Refused when used, not when set: syntax errors with the engine's number or ours (for syntax the engine
// would take), and matches that would run away.
void TestRegExpObject::refused_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("ending");
    QTest::addColumn<QString>("text");
    const int ours = ErrorNumber::RegExpSyntax;
    const auto row = [](const char *name, const QString &pattern, int number, const QString &ending,
                        const QString &text = QString()) {
        QTest::newRow(name) << pattern << number << ending << text;
    };
    row("unclosed group", u"a(b"_s, 114, u"missing closing parenthesis (at character 4)"_s);
    row("nothing to repeat", u"*a"_s, 109, u"(at character 1)"_s);
    row("trailing backslash", u"ab\\"_s, 101, u"(at character 4)"_s);
    row("duplicate group name", u"(?<n>a)(?<n>b)"_s, 143, u"(at character 13)"_s);
    row("undefined group name", u"(?<n>a)\\k<m>"_s, 115, u"(at character 8)"_s);
    row("possessive", u"a++"_s, ours,
        u"possessive quantifiers such as \"a++\" are not part of this syntax (at character 3)"_s);
    row("atomic group", u"x(?>a)"_s, ours,
        u"atomic groups \"(?>...)\" are not part of this syntax (at character 2)"_s);
    row("inline flags", u"(?ms-i)a"_s, ours, u"(at character 1)"_s);
    row("repeated lookbehind", u"(?<=a)?b"_s, ours, u"a lookbehind cannot be repeated (at character 7)"_s);
    row("verb", u"(*ACCEPT)"_s, ours, u"(at character 2)"_s);
    // Exponential at the first start position; cheap enough at each position, far too dear over all.
    row("nested plus", u"(a+)+$"_s, int(ErrorNumber::TooCostly), u"may do"_s,
        QString(QString(30000, u'a') + u'b'));
    row("costly at every position", u"(a|b)*[^ab]"_s, int(ErrorNumber::TooCostly), u"may do"_s,
        QString(200000, u'a'));
}

void TestRegExpObject::refused()
{
    QFETCH(QString, pattern);
    QFETCH(int, number);
    QFETCH(QString, ending);
    QFETCH(QString, text);
    RegExpObject regExp;
    regExp.Pattern = pattern;
    regExp.IgnoreCase = true;
    try {
        regExp.Test(text);
        QFAIL("the pattern was used to the end");
    } catch (const PlatformError &error) {
        QCOMPARE(error.number(), number);
        const QString description = error.description();
        QVERIFY2(description.endsWith(ending), qPrintable(description));
        QCOMPARE(description.startsWith(u"Syntax error in regular expression: "_s),
                 number != ErrorNumber::TooCostly);
    }
}

QTEST_GUILESS_MAIN(TestRegExpObject)
#include "tst_regexpobject.moc"
