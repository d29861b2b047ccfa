// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "loader/Browser.h"

#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace diarytrawl {

// How the page loader of one command-line run is set up.
struct LoaderChoices {
    bool offline = false; // the page cache only
    bool online = false;  // the network, whatever the settings store says
    QString contact;      // for the User-Agent; empty: the settings store's
    std::chrono::milliseconds timeout{60000};
    std::optional<std::chrono::milliseconds> pace; // for every site; empty: what each site asks
    std::optional<qint64> cacheMaxBytes;           // the page cache's bound; empty: the default
};

using BrowserFactoryMaker = std::function<std::unique_ptr<BrowserFactory>(const LoaderChoices &choices)>;

// Exit statuses of the commands.
namespace exitStatus {
inline constexpr int Completed = 0; // the search ran to its end and read every page
inline constexpr int Stopped = 1;   // the user stopped it
inline constexpr int Failed = 2;    // a failure ended it
inline constexpr int Unread = 3;    // it ran to its end, but some pages could not be read
inline constexpr int Usage = 64;    // the command line was wrong; nothing was done
} // namespace exitStatus

// diarytrawl search [options]: one search as the Search button runs it, the log on standard output.
// arguments: what follows "search" on the command line. Returns the exit status.
int runSearchCommand(const QStringList &arguments, const BrowserFactoryMaker &makeBrowserFactory);

} // namespace diarytrawl
