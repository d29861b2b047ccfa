#pragma once

#include "platform/Browser.h"

#include <QStringList>

#include <functional>
#include <memory>

namespace diarytrawl {

// Makes the browser objects of one run; forceOffline reads only the page cache, whatever the settings say.
using BrowserFactoryMaker = std::function<std::unique_ptr<BrowserFactory>(bool forceOffline)>;

// diarytrawl search [options]: one search as the Search button runs it, the log on standard output.
// arguments: what follows "search" on the command line. Returns the exit status: 0 the search ended
// normally, 1 the user stopped it, 2 it failed, 64 bad usage.
int runSearchCommand(const QStringList &arguments, const BrowserFactoryMaker &makeBrowserFactory);

} // namespace diarytrawl
