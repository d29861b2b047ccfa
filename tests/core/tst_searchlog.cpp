// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/SearchLog.h"

#include <QTest>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

namespace {

// Keeps what a log box would show, and how often the whole text was replaced.
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
    void terminalKeepsEverything();
};

void TestSearchLog::bound_data()
{
    QTest::addColumn<int>("before"); // characters in the log before the append
    QTest::addColumn<QString>("expectedStart");
    QTest::addColumn<int>("expectedLength");

    QTest::newRow("64999 appends") << 64999 << QString() << 64999 + 3;
    QTest::newRow("65000 restarts") << 65000 << Warning << int(Warning.size()) + 3;
    QTest::newRow("far above restarts") << 200000 << Warning << int(Warning.size()) + 3;
    QTest::newRow("empty appends") << 0 << QString() << 3;
}

void TestSearchLog::bound()
{
    QFETCH(int, before);
    QFETCH(QString, expectedStart);
    QFETCH(int, expectedLength);

    TextView view;
    SearchLog log(view);
    log.Echo(QString(before, u'x'), true);
    log.Echo2(u"abc"_s);
    QCOMPARE(log.length(), expectedLength);
    QCOMPARE(view.shown.size(), expectedLength);
    QVERIFY(view.shown.endsWith(u"abc"_s));
    if (!expectedStart.isEmpty())
        QCOMPARE(view.shown, expectedStart + u"abc"_s); // nothing older survives
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

void TestSearchLog::terminalKeepsEverything()
{
    TextView view;
    SearchLog log(view, SearchLog::Bound::None);
    log.Echo(QString(100000, u'x'), true);
    log.Echo2(u"abc"_s);
    QCOMPARE(view.shown.size(), 100003);
}

QTEST_GUILESS_MAIN(TestSearchLog)
#include "tst_searchlog.moc"
