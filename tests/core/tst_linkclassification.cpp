#include "search/LinkClassification.h"

#include <QTest>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

class TestLinkClassification : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void classify_data();
    void classify();
};

void TestLinkClassification::classify_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("calendar");
    QTest::addColumn<bool>("skip");

    // User "nick", year 2005.
    QTest::newRow("entry") << u"http://host/~nick/123.html"_s << false << false;
    QTest::newRow("users/ entry") << u"http://host/users/nick/123.html"_s << false << false;
    QTest::newRow("reply form") << u"http://host/~nick/123.html?mode=reply"_s << false << false;
    QTest::newRow("comments") << u"http://host/~nick/123.html#comments"_s << false << false;
    QTest::newRow("day page") << u"http://host/~nick/2005/03/17/"_s << true << true;
    QTest::newRow("entry under a month") << u"http://host/~nick/2005/03/456.html"_s << true << false;
    QTest::newRow("month out of range") << u"http://host/~nick/2005/12/"_s << true << true;
    QTest::newRow("other year") << u"http://host/~nick/2004/03/456.html"_s << false << false;
    QTest::newRow("month 13 is no calendar") << u"http://host/~nick/2005/13/456.html"_s << false << false;
    QTest::newRow("friends") << u"http://host/~nick/friends"_s << false << true;
    QTest::newRow("site page") << u"http://host/~nick/x.bml?y=1.html"_s << false << true;
    QTest::newRow("tour") << u"http://host/doc/tour/nick/a.html"_s << false << true;
    QTest::newRow("longer user name contains nick/")
        << u"http://host/~othernick/123.html"_s << false << false;
    QTest::newRow("other user") << u"http://host/~someone/123.html"_s << false << true;
    QTest::newRow("case ignored") << u"http://HOST/~NICK/123.HTML"_s << false << false;
    QTest::newRow("not html") << u"http://host/~nick/profile"_s << false << true;
    QTest::newRow("empty") << QString() << false << true;
}

void TestLinkClassification::classify()
{
    QFETCH(QString, link);
    QFETCH(bool, calendar);
    QFETCH(bool, skip);
    QCOMPARE(IsCalendarLink(link, u"2005"_s), calendar);
    QCOMPARE(SkipLink(link, u"nick"_s), skip);
}

QTEST_GUILESS_MAIN(TestLinkClassification)
#include "tst_linkclassification.moc"
