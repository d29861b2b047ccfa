// SPDX-License-Identifier: GPL-3.0-or-later
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
    QTest::addColumn<QString>("nick");

    // Year 2005.
    QTest::newRow("entry") << u"http://host/~nick/123.html"_s << false << false << u"nick"_s;
    QTest::newRow("users/ entry") << u"http://host/users/nick/123.html"_s << false << false << u"nick"_s;
    QTest::newRow("reply form") << u"http://host/~nick/123.html?mode=reply"_s << false << false << u"nick"_s;
    QTest::newRow("comments") << u"http://host/~nick/123.html#comments"_s << false << false << u"nick"_s;
    QTest::newRow("day page") << u"http://host/~nick/2005/03/17/"_s << true << true << u"nick"_s;
    QTest::newRow("entry under a month")
        << u"http://host/~nick/2005/03/456.html"_s << true << false << u"nick"_s;
    QTest::newRow("month out of range") << u"http://host/~nick/2005/12/"_s << true << true << u"nick"_s;
    QTest::newRow("other year") << u"http://host/~nick/2004/03/456.html"_s << false << false << u"nick"_s;
    QTest::newRow("month 13 is no calendar")
        << u"http://host/~nick/2005/13/456.html"_s << false << false << u"nick"_s;
    QTest::newRow("friends") << u"http://host/~nick/friends"_s << false << true << u"nick"_s;
    QTest::newRow("site page") << u"http://host/~nick/x.bml?y=1.html"_s << false << true << u"nick"_s;
    QTest::newRow("tour") << u"http://host/doc/tour/nick/a.html"_s << false << true << u"nick"_s;
    QTest::newRow("longer user name contains nick/")
        << u"http://host/~othernick/123.html"_s << false << false << u"nick"_s;
    QTest::newRow("other user") << u"http://host/~someone/123.html"_s << false << true << u"nick"_s;
    QTest::newRow("case ignored") << u"http://HOST/~NICK/123.HTML"_s << false << false << u"nick"_s;
    QTest::newRow("not html") << u"http://host/~nick/profile"_s << false << true << u"nick"_s;
    QTest::newRow("empty") << QString() << false << true << u"nick"_s;

    QTest::newRow("script link") << u"javascript:alert('/~nick/1.html')"_s << false << true << u"nick"_s;
    QTest::newRow("local file") << u"file:///home/nick/1.html"_s << false << true << u"nick"_s;
    QTest::newRow("scheme case ignored") << u"HTTPS://host/~nick/1.html"_s << false << false << u"nick"_s;

    // Journals on hosts of their own.
    QTest::newRow("own host") << u"https://nick.livejournal.com/123.html"_s << false << false << u"nick"_s;
    QTest::newRow("own host, reply") << u"https://nick.livejournal.com/123.html?mode=reply"_s << false
                                     << false << u"nick"_s;
    QTest::newRow("own host, '_' as '-'")
        << u"https://some-user.livejournal.com/5.html"_s << false << false << u"some_user"_s;
    QTest::newRow("own host, case ignored")
        << u"https://Some-User.LiveJournal.com/5.html"_s << false << false << u"some_user"_s;
    QTest::newRow("own host with user info and port")
        << u"https://me@nick.livejournal.com:443/5.html"_s << false << false << u"nick"_s;
    QTest::newRow("own name on another domain")
        << u"http://some-user.evil.example/2.html"_s << false << true << u"some_user"_s;
    QTest::newRow("user name that starts an address")
        << u"http://127.0.0.1:8080/x/page.html"_s << false << true << u"127"_s;
    QTest::newRow("'_' at the start: under users.")
        << u"https://users.livejournal.com/_nick_/1.html"_s << false << false << u"_nick_"_s;
    QTest::newRow("own host, month page")
        << u"https://nick.livejournal.com/2005/03/"_s << true << true << u"nick"_s;
    QTest::newRow("own host, friends")
        << u"https://nick.livejournal.com/friends"_s << false << true << u"nick"_s;
    QTest::newRow("other journal's host")
        << u"https://other.livejournal.com/1.html"_s << false << true << u"nick"_s;
    QTest::newRow("host that only starts with the name")
        << u"https://nickname.livejournal.com/1.html"_s << false << true << u"nick"_s;
    QTest::newRow("name with '.' only in the path")
        << u"https://www.livejournal.com/nick.livejournal.com/1.html"_s << false << true << u"nick"_s;
}

void TestLinkClassification::classify()
{
    QFETCH(QString, link);
    QFETCH(bool, calendar);
    QFETCH(bool, skip);
    QFETCH(QString, nick);
    QCOMPARE(IsCalendarLink(link, u"2005"_s), calendar);
    QCOMPARE(SkipLink(link, nick, u"www.livejournal.com"_s), skip);
}

QTEST_GUILESS_MAIN(TestLinkClassification)
#include "tst_linkclassification.moc"
