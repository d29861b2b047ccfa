// SPDX-License-Identifier: GPL-3.0-or-later
// How long the window goes without handling an event while a search reads 1 MB pages. A 5 ms timer runs
// through the search; the longest gap between two of its ticks is the longest time the window could
// not have reacted to the user. Goal: at most 50 ms.
#include "JournalServer.h"
#include "gui/Form1.h"
#include "loader/NetworkBrowser.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>

using namespace diarytrawl;
using namespace diarytrawl::test;
using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());

    // Four entries of about 1 MB each, with a match near the end of every one.
    JournalServer server;
    const QString paragraph =
        u"<p>Журнал, записи, друзья and a long day of writing about everything else. </p>\n"_s;
    const QString megabyte = paragraph.repeated(1024 * 1024 / paragraph.toUtf8().size());
    for (int day = 1; day <= 4; ++day)
        server.addEntry(
            {u"bench"_s, 2005, 3, day, 100 + day, u"Long entry"_s, megabyte + u"<p>LJ at last</p>"_s});

    SettingsStore settings(folder.path() + u"/settings.json"_s);
    web::NetworkBrowserOptions options;
    options.settingsFile = settings.filePath();
    options.cacheFile = folder.path() + u"/cache/pages.sqlite"_s;
    web::NetworkBrowserFactory browsers(options);
    SystemClock clock;
    Form1 window({browsers, settings, clock, [](const QString &) {
                  }});
    window.findChild<QLineEdit *>(u"EditNick"_s)->setText(u"bench"_s);
    window.windowState().strSiteHost = server.host();
    window.show();

    QElapsedTimer sinceTick;
    qint64 longestGapMs = 0;
    qint64 ticks = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, &heartbeat, [&] {
        longestGapMs = std::max(longestGapMs, sinceTick.restart());
        ++ticks;
    });

    QElapsedTimer searchTime;
    QTimer::singleShot(0, &window, [&] {
        sinceTick.start();
        heartbeat.start(5);
        searchTime.start();
        window.findChild<QPushButton *>(u"SearchButton"_s)->click(); // returns when the search has ended
        heartbeat.stop();
        QCoreApplication::quit();
    });
    app.exec();

    const bool found = window.logText().contains(u"results: 12 links found"_s);
    out << "search of 12 entry loads of " << megabyte.toUtf8().size() / 1024
        << " KB each: " << searchTime.elapsed() << " ms, "
        << (found ? "all matches found" : "MATCHES MISSING") << "\n"
        << "heartbeat ticks: " << ticks << ", longest gap between two processed events: " << longestGapMs
        << " ms (goal <= 50 ms)\n";
    return found ? 0 : 1;
}
