// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SearchLog.h"

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
};

void TestSearchLog::bound_data()
{
    QTest::addColumn<bool>("bounded");
    QTest::addColumn<int>("before");   // characters in the log before "abc" is added
    QTest::addColumn<bool>("clear");   // "abc" replaces the text
    QTest::addColumn<QString>("kept"); // what "abc" follows

    QTest::newRow("64999 appends") << true << 64999 << false << QString(64999, u'x');
    QTest::newRow("65000 restarts") << true << 65000 << false << Warning;
    QTest::newRow("a terminal keeps everything") << false << 100000 << false << QString(100000, u'x');
    QTest::newRow("clearing ignores the bound") << true << 70000 << true << QString();
}

void TestSearchLog::bound()
{
    QFETCH(bool, bounded);
    QFETCH(int, before);
    QFETCH(bool, clear);
    QFETCH(QString, kept);

    TextView view;
    SearchLog log(view, bounded ? SearchLog::Bound::Applied : SearchLog::Bound::None);
    log.Echo(QString(before, u'x'), true);
    if (clear)
        log.Echo(u"abc"_s, true);
    else
        log.Echo2(u"abc"_s);
    QCOMPARE(view.shown, kept + u"abc"_s);
    QCOMPARE(log.length(), view.shown.size());
}

QTEST_GUILESS_MAIN(TestSearchLog)
#include "tst_searchlog.moc"
