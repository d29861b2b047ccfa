// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/DateTimeText.h"
#include "core/StatusText.h"

#include <QTest>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

class TestStatusText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void texts_data();
    void texts();
};

// What a locale writes: a moment (seconds added to a short format without them) and an interval, which
// the status line shows.
void TestStatusText::texts_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("interval");
    QTest::addColumn<QString>("moment");
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QString start = u"3/17/05 11:59:30 PM"_s;
    QTest::newRow("under a day") << english << qint64(3 * 3600 + 7 * 60 + 9) << u"3:07:09"_s << start;
    QTest::newRow("a day and more") << english << qint64(26 * 3600 + 3 * 60 + 4) << u"26:03:04"_s << start;
    QTest::newRow("clock went back") << english << qint64(-5) << u"0:00:00"_s << start;
    QTest::newRow("two-digit hours") << QLocale(QLocale::Russian, QLocale::Russia) << qint64(65)
                                     << u"00:01:05"_s << u"17.03.2005 23:59:30"_s;
}

void TestStatusText::texts()
{
    QFETCH(QLocale, locale);
    QFETCH(qint64, seconds);
    QFETCH(QString, interval);
    QFETCH(QString, moment);
    const DateTimeText text(locale);
    const QDateTime start(QDate(2005, 3, 17), QTime(23, 59, 30));
    QCOMPARE(text.toText(start), moment);
    QCOMPARE(text.toText(std::chrono::seconds(seconds)), interval);
    // From a start just before midnight; with no date stamp yet the status line ends in a space.
    QCOMPARE(statusReportText(start, start.addSecs(seconds), 5, 3, 0, QString(), text),
             u"5/3/0 ["_s + interval + u"] "_s);
}

QTEST_GUILESS_MAIN(TestStatusText)
#include "tst_statustext.moc"
