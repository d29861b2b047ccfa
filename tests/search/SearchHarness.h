// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JournalServer.h"
#include "platform/web/NetworkBrowser.h"
#include "progress/SearchLog.h"
#include "search/SearchFrontEnd.h"

#include <QRegularExpression>
#include <QTemporaryDir>

namespace diarytrawl::test {

// A clock that stands still, so that report time stamps and status texts come out the same every run.
class FixedClock final : public Clock {
public:
    explicit FixedClock(QDateTime moment)
        : m_moment(std::move(moment))
    {}
    QDateTime now() const override { return m_moment; }

private:
    QDateTime m_moment;
};

// The crawl's front end for tests: the real page loader (its settings and cache in a temporary folder),
// everything the window would show kept for inspection.
class SearchHarness final : public SearchFrontEnd, private LogView {
public:
    explicit SearchHarness(const QString &folder, QHash<QString, QString> originMap = {})
        : m_log(*this)
        , m_browsers(optionsFor(folder, std::move(originMap)))
    {}

    WindowState &windowState() override { return state; }
    LogSink &log() override { return m_log; }
    void StatusReport(const QString &strText) override { statuses << strText; }
    void showMessage(const QString &strMessage) override { messages << strMessage; }
    void Run(const QString &strFileName) override { opened << strFileName; }
    BrowserFactory &browserFactory() override { return m_browsers; }
    // Waits between tries a hundred times shorter than the log says.
    RetryPolicy retryPolicy() const override { return {4, std::chrono::milliseconds(2000), 300, 0.01}; }
    web::NetworkBrowserOptions &loaderOptions() { return m_browsers.options(); }
    const Clock &clock() const override { return m_clock; }
    const DateTimeText &dateTimeText() const override { return m_dateTimeText; }

    // The log with every run of progress dots written "<dots>": how many polls a load takes varies.
    QString normalisedLog() const
    {
        static const QRegularExpression dots(
            QStringLiteral("(^|\\n)\\.+(?=Page loaded|Ok \\r|\\r\\n --- stopped)"));
        QString log = logText;
        return log.replace(dots, QStringLiteral("\\1<dots>"));
    }

    WindowState state;
    QString logText;
    QStringList statuses;
    QStringList messages;
    QStringList opened;

private:
    static web::NetworkBrowserOptions optionsFor(const QString &folder, QHash<QString, QString> originMap)
    {
        web::NetworkBrowserOptions options;
        options.settingsFile = folder + QStringLiteral("/settings.json");
        options.cacheFolder = folder + QStringLiteral("/cache");
        options.originMap = std::move(originMap);
        options.idleTimeout = std::chrono::milliseconds(300);
        options.requestGap = std::chrono::milliseconds(10); // the whole-search test checks the real one
        return options;
    }

    void replaceLogText(const QString &text) override { logText = text; }
    void appendLogText(const QString &text) override { logText += text; }

    SearchLog m_log;
    web::NetworkBrowserFactory m_browsers;
    FixedClock m_clock{QDateTime(QDate(2026, 12, 6), QTime(10, 0, 0))};
    DateTimeText m_dateTimeText{QLocale::c()};
};

} // namespace diarytrawl::test
