#include "match/RegexpHelpers.h"
#include "platform/PlatformError.h"
#include "platform/RegExpObject.h"

#include <QTest>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

class TestRegexpHelpers : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decore_data();
    void decore();
    void regMatch_data();
    void regMatch();
    void regMatchPassesEngineErrorsOn();
};

void TestRegexpHelpers::decore_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("escaped");
    QTest::newRow("dot") << u"a.b"_s << u"a\\.b"_s;
    QTest::newRow("path with mask") << u"C:\\*.txt"_s << u"C:\\\\\\*\\.txt"_s;
    QTest::newRow("groups stay") << u"(x]"_s << u"(x]"_s;
    QTest::newRow("escaped dot") << u"\\."_s << u"\\\\\\."_s;
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("all ten") << u"\\^$[{.?+*|"_s << u"\\\\\\^\\$\\[\\{\\.\\?\\+\\*\\|"_s;
    QTest::newRow("closing ones stay") << u"a)]}"_s << u"a)]}"_s;
}

void TestRegexpHelpers::decore()
{
    QFETCH(QString, input);
    QFETCH(QString, escaped);
    QString text = input;
    QCOMPARE(regexpDecore(text), escaped);
    QCOMPARE(text, escaped); // changed in place too

    // Whatever was typed, the escaped text matches exactly itself.
    if (!input.isEmpty() && !input.contains(u'(') && !input.contains(u')')) {
        RegExpObject regExp;
        regExp.Pattern = escaped;
        const QList<RegExpMatch> matches = regExp.Execute(u"<" + input + u">");
        QCOMPARE(matches.size(), 1);
        QCOMPARE(matches[0].Value, input);
    }
}

void TestRegexpHelpers::regMatch_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<QString>("result");

    const QString twoStamps = u"first @ 2005-03-17 then @ 2005-04-01 and @ 2004-01-01"_s;
    QTest::newRow("first stamp of the year")
        << twoStamps << dateStampPattern(u"2005"_s) << true << u"@ 2005-03-17"_s;
    QTest::newRow("other year") << twoStamps << dateStampPattern(u"2004"_s) << true << u"@ 2004-01-01"_s;
    QTest::newRow("no stamp") << u"no date here 2005-03-17"_s << dateStampPattern(u"2005"_s) << true
                              << QString();
    QTest::newRow("exact case misses") << u"ABC"_s << u"abc"_s << true << QString();
    QTest::newRow("ignoring case finds") << u"ABC"_s << u"abc"_s << false << u"ABC"_s;
    QTest::newRow("empty text") << QString() << u"x"_s << true << QString();
}

void TestRegexpHelpers::regMatch()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(bool, caseSensitive);
    QFETCH(QString, result);
    QCOMPARE(RegMatch(text, pattern, caseSensitive), result);
}

void TestRegexpHelpers::regMatchPassesEngineErrorsOn()
{
    // A year typed with an unmatched parenthesis makes the date pattern invalid.
    QVERIFY_THROWS_EXCEPTION(PlatformError, RegMatch(u"@ 2005-03-17"_s, dateStampPattern(u"20(05"_s), true));
}

QTEST_GUILESS_MAIN(TestRegexpHelpers)
#include "tst_regexphelpers.moc"
