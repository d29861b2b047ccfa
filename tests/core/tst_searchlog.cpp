// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/SearchLog.h"

#include <QTest>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

namespace {

// Keeps what a log box would show.
class TextView final : public LogView {
public:
    void replaceLogText(const QString &text) override { shown = text; }
    void appendLogText(const QString &text) override { shown += text; }

    QString shown;
};

const QString Warning = u"warning, log too long, truncated...\r\n"_s;

} // namespace

class TestSearchLog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void bound_data();
    void bound();
    void clearIgnoresTheBound();
};

void TestSearchLog::bound_data()
{
    QTest::addColumn<bool>("bounded");
    QTest::addColumn<int>("before"); // characters in the log before the append
    QTest::addColumn<bool>("restarts");

    QTest::newRow("64999 appends") << true << 64999 << false;
    QTest::newRow("65000 restarts") << true << 65000 << true;
    QTest::newRow("a terminal keeps everything") << false << 100000 << false;
}

void TestSearchLog::bound()
{
    QFETCH(bool, bounded);
    QFETCH(int, before);
    QFETCH(bool, restarts);

    TextView view;
    SearchLog log(view, bounded ? SearchLog::Bound::Applied : SearchLog::Bound::None);
    log.Echo(QString(before, u'x'), true);
    log.Echo2(u"abc"_s);
    const QString expected =
        (restarts ? Warning : QString(before, u'x')) + u"abc"_s; // nothing older survives
    QCOMPARE(view.shown, expected);
    QCOMPARE(log.length(), expected.size());
}

void TestSearchLog::clearIgnoresTheBound()
{
    TextView view;
    SearchLog log(view);
    log.Echo(QString(70000, u'x'), true);
    log.Echo(u"Scan():\r\n"_s, true);
    QCOMPARE(view.shown, u"Scan():\r\n"_s);
    // Just below the bound, one append may overshoot it; the next one restarts.
    log.Echo(QString(64999, u'x'), true);
    log.Echo(QString(100, u'y'), false);
    QCOMPARE(log.length(), 65099);
    log.Echo2(u"z"_s);
    QCOMPARE(view.shown, Warning + u"z"_s);
}

QTEST_GUILESS_MAIN(TestSearchLog)
#include "tst_searchlog.moc"
