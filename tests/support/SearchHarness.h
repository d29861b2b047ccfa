// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/LogRenderer.h"
#include "core/SearchFrontEnd.h"
#include "core/SearchLog.h"
#include "core/StatusText.h"
#include "loader/NetworkBrowser.h"
#include "sites/JournalSiteRules.h"

#include <QRegularExpression>

namespace diarytrawl::test {

// The crawl's front end for tests: the real page loader (its settings and cache in folder), all a window
// would show kept, and a clock that stands still so that time stamps come out the same every run.
class SearchHarness final : public SearchFrontEnd, private LogView, private Clock {
public:
    explicit SearchHarness(const QString &folder)
        : m_log(*this)
    {
        loaderOptions().settingsFile = folder + QStringLiteral("/settings.json");
        loaderOptions().cacheFolder = folder + QStringLiteral("/cache");
        loaderOptions().idleTimeout = std::chrono::milliseconds(300);
        loaderOptions().timeScale = 0.05; // 10 ms for 200 ms; the whole search checks the real pace
        loaderOptions().siteRules = std::make_shared<sites::JournalSiteRules>();
    }

    WindowState &windowState() override { return state; }
    SearchEvents &events() override { return m_events; }
    void showMessage(const QString &strMessage) override { messages << strMessage; }
    void Run(const QString &strFileName) override { opened << strFileName; }
    BrowserFactory &browserFactory() override { return m_browsers; }
    RetryPolicy retryPolicy() const override { return retries; }
    std::chrono::seconds cacheMaxAge() const override { return maxAge; }
    const Clock &clock() const override { return *this; }
    QDateTime now() const override { return QDateTime(QDate(2026, 12, 6), QTime(10, 0)); }
    const DateTimeText &dateTimeText() const override { return m_dateTimeText; }
    web::NetworkBrowserOptions &loaderOptions() { return m_browsers.options(); }

    // The log with every run of progress dots written "<dots>": how many polls a load takes varies.
    QString normalisedLog() const
    {
        static const QRegularExpression dots(QStringLiteral(
            "(^|\\n)\\.+(?=Page loaded|Year page loaded|Calendar loaded|Ok \\r|\\r\\n --- stopped)"));
        return QString(logText).replace(dots, QStringLiteral("\\1<dots>"));
    }

    WindowState state;
    // Waits between tries a hundred times shorter than the log says.
    RetryPolicy retries{4, std::chrono::milliseconds(2000), 300, 0.01};
    std::chrono::seconds maxAge = std::chrono::hours(24);
    QString logText;
    QStringList statuses, messages, opened;

private:
    // The window's status text, kept as the window would show it.
    class Statuses final : public SearchProgress {
    public:
        explicit Statuses(SearchHarness &harness)
            : SearchProgress(harness, harness.m_dateTimeText)
            , m_harness(harness)
        {}

    protected:
        void progressed(bool datedEntry) override
        {
            if (datedEntry)
                m_harness.statuses << statusText();
        }

    private:
        SearchHarness &m_harness;
    };

    void replaceLogText(const QString &text) override { logText = text; }
    void appendLogText(const QString &text) override { logText += text; }

    DateTimeText m_dateTimeText{QLocale::c()};
    SearchLog m_log;
    LogRenderer m_logRenderer{m_log};
    Statuses m_statuses{*this};
    SearchEventsFanOut m_events{{&m_logRenderer, &m_statuses}};
    web::NetworkBrowserFactory m_browsers;
};

} // namespace diarytrawl::test
