// SPDX-License-Identifier: GPL-3.0-or-later
#include "JournalServer.h"
#include "core/LogRenderer.h"
#include "core/SearchLog.h"
#include "loader/NetworkBrowser.h"
#include "loader/PageLoading.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace diarytrawl;
using namespace diarytrawl::test;
using namespace Qt::StringLiterals;

namespace {

class TextView final : public LogView {
public:
    void replaceLogText(const QString &text) override { shown = text; }
    void appendLogText(const QString &text) override { shown += text; }

    QString shown;
};

} // namespace

class TestPageLoading : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void loadLink_data();
    void loadLink();
};

void TestPageLoading::loadLink_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("stopAfterMs"); // 0: requested before the call
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<QString>("log"); // a pattern for the whole log

    // Ends of loads and stops during one are the crawl's rows. Another fragment of the loaded page is
    // ready at once, not fetched; the stop flag is read only after a wait.
    const QString stopLine = u"\r\n --- stopped by user --- \r\n"_s;
    QTest::newRow("ready at once, stop pending") << u"/entry.html#comments"_s << 0 << true << QString();
    QTest::newRow("stop pending") << u"/hang.html"_s << 0 << false << u"\\."_s + stopLine;
    // The wait before another try ends at a stop, as a load does.
    QTest::newRow("stop while waiting to try again")
        << u"/busy.html"_s << 250 << false
        << u"\\.+\r\nthe server answered 503 \\(Service Unavailable\\); it asked to wait 30 s; trying again "
           u"\\(1 of 4\\)\r\n"_s +
               stopLine;
}

void TestPageLoading::loadLink()
{
    QFETCH(QString, path);
    QFETCH(int, stopAfterMs);
    QFETCH(bool, loaded);
    QFETCH(QString, log);

    JournalServer server;
    server.setPage(u"/entry.html"_s, 200, "text/html", "<p>entry</p>");
    server.setHang(u"/hang.html"_s);
    server.setAnswers(u"/busy.html"_s, {{503, "", "", {{"Retry-After", "30"}}}});
    QTemporaryDir dir;
    web::NetworkBrowserOptions options;
    options.settingsFile = dir.filePath(u"settings.json"_s);
    options.cacheFile = dir.filePath(u"pages.sqlite"_s);
    options.openExternally = [](const QString &) {
        QFAIL("becoming visible shows nothing");
    };
    web::NetworkBrowser browser(options);
    browser.setVisible(false);
    TextView view;
    SearchLog searchLog(view);
    LogRenderer progress(searchLog);
    bool bStopRequested = false;
    QVERIFY(IELoadLink(browser, server.url(u"/entry.html"), progress, bStopRequested));
    view.shown.clear();

    // The stop comes from an event, as the Cancel button's click does: the wait must let it run.
    if (stopAfterMs > 0)
        QTimer::singleShot(stopAfterMs, [&] { bStopRequested = true; });
    bStopRequested = stopAfterMs == 0;
    QCOMPARE(IELoadLink(browser, server.url(path), progress, bStopRequested), loaded);
    QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(log)).match(view.shown).hasMatch(),
             qPrintable(view.shown));
    QCOMPARE(browser.isVisible(), !loaded);
    // The loader does not quit the browser; the crawl does. Between two tries nothing is loading.
    QCOMPARE(browser.Busy(), !loaded && path != u"/busy.html"_s);
    if (loaded)
        QCOMPARE(browser.Document()->address, server.url(path));
}

QTEST_GUILESS_MAIN(TestPageLoading)
#include "tst_pageloading.moc"
