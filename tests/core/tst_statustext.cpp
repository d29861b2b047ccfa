// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/DateTimeText.h"
#include "progress/StatusText.h"

#include <QTest>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

class TestStatusText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void intervals_data();
    void intervals();
    void momentsCarrySeconds_data();
    void momentsCarrySeconds();
};

void TestStatusText::intervals_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    QTest::newRow("under a day") << english << qint64(3 * 3600 + 7 * 60 + 9) << u"3:07:09"_s;
    QTest::newRow("a day and more") << english << qint64(26 * 3600 + 3 * 60 + 4) << u"26:03:04"_s;
    QTest::newRow("clock went back") << english << qint64(-5) << u"0:00:00"_s;
    QTest::newRow("two-digit hours locale") << russian << qint64(65) << u"00:01:05"_s;
}

void TestStatusText::intervals()
{
    QFETCH(QLocale, locale);
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    const DateTimeText dateTimeText(locale);
    QCOMPARE(dateTimeText.toText(std::chrono::seconds(seconds)), text);
    // The status line, from a start just before midnight; with no date stamp yet it ends in a space.
    const QDateTime start(QDate(2005, 3, 17), QTime(23, 59, 30));
    QCOMPARE(statusReportText(start, start.addSecs(seconds), 5, 3, 0, QString(), dateTimeText),
             u"5/3/0 ["_s + text + u"] "_s);
}

void TestStatusText::momentsCarrySeconds_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");
    QTest::newRow("en_US: seconds added to h:mm AP")
        << QLocale(QLocale::English, QLocale::UnitedStates) << u"3/17/05 9:05:07 PM"_s;
    QTest::newRow("ru_RU") << QLocale(QLocale::Russian, QLocale::Russia) << u"17.03.2005 21:05:07"_s;
}

void TestStatusText::momentsCarrySeconds()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, text);
    const QDateTime moment(QDate(2005, 3, 17), QTime(21, 5, 7));
    QCOMPARE(DateTimeText(locale).toText(moment), text);
}

QTEST_GUILESS_MAIN(TestStatusText)
#include "tst_statustext.moc"
