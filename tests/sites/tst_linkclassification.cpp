// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/LinkClassification.h"

#include <QTest>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

class TestLinkClassification : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void classify_data();
    void classify();
};

// Of the journal "nick" unless a row names another, on www.livejournal.com, year 2005.
void TestLinkClassification::classify_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("calendar");
    QTest::addColumn<bool>("skip");
    QTest::addColumn<QString>("nick");
    const auto row = [](const char *name, const QString &link, bool calendar, bool skip,
                        const QString &nick = u"nick"_s) {
        QTest::newRow(name) << link << calendar << skip << nick;
    };

    row("entry", u"http://host/~nick/123.html?mode=reply"_s, false, false);
    row("day page", u"http://host/~nick/2005/03/17/"_s, true, true);
    row("entry under a month", u"http://host/~nick/2005/03/456.html"_s, true, false);
    row("other year", u"http://host/~nick/2004/03/456.html"_s, false, false);
    row("month 13 is no calendar", u"http://host/~nick/2005/13/456.html"_s, false, false);
    row("friends", u"http://host/~nick/friends"_s, false, true);
    row("site page", u"http://host/~nick/x.bml?y=1.html"_s, false, true);
    row("tour", u"http://host/doc/tour/nick/a.html"_s, false, true);
    row("longer user name contains nick/", u"http://host/~othernick/123.html"_s, false, false);
    row("other user", u"http://host/~someone/123.html"_s, false, true);
    row("case ignored", u"http://HOST/~NICK/123.HTML"_s, false, false);
    row("not html", u"http://host/~nick/profile"_s, false, true);
    row("script link", u"javascript:alert('/~nick/1.html')"_s, false, true);
    row("scheme case ignored", u"HTTPS://host/~nick/1.html"_s, false, false);

    // Journals on hosts of their own.
    row("own host, '_' as '-', case ignored", u"https://Some-User.LiveJournal.com/5.html"_s, false, false,
        u"some_user"_s);
    row("own host with user info and port", u"https://me@nick.livejournal.com:443/5.html"_s, false, false);
    row("own name on another domain", u"http://some-user.evil.example/2.html"_s, false, true, u"some_user"_s);
    row("user name that starts an address", u"http://127.0.0.1:8080/x/page.html"_s, false, true, u"127"_s);
    row("other journal's host", u"https://other.livejournal.com/1.html"_s, false, true);
    row("host that only starts with the name", u"https://nickname.livejournal.com/1.html"_s, false, true);
    row("name with '.' only in the path", u"https://www.livejournal.com/nick.livejournal.com/1.html"_s, false,
        true);
    // Entries with a name live under their day; only on the journal's own host are they entries.
    row("named entry", u"https://nick.livejournal.com/2005/03/17/a-walk.html?thread=5#cmt5"_s, false, false);
    row("named entry on another host", u"https://www.livejournal.com/~nick/2005/03/17/a-walk.html"_s, true,
        false);
    row("named day page", u"https://nick.livejournal.com/2005/03/17/a-walk/"_s, true, true);
}

void TestLinkClassification::classify()
{
    QFETCH(QString, link);
    QFETCH(bool, calendar);
    QFETCH(bool, skip);
    QFETCH(QString, nick);
    const web::WebAddress address = web::WebAddress::parse(link).value_or(web::WebAddress::unparsed(link));
    QCOMPARE(IsCalendarLink(address, u"2005"_s, nick, u"www.livejournal.com"_s), calendar);
    QCOMPARE(SkipLink(address, nick, u"www.livejournal.com"_s), skip);
}

QTEST_GUILESS_MAIN(TestLinkClassification)
#include "tst_linkclassification.moc"
