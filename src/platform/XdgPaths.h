#pragma once

#include <QString>

// Where the program keeps files of its own, following the XDG base-directory rules so that
// XDG_CONFIG_HOME and XDG_CACHE_HOME move them (the tests rely on that). Neither folder is created here.
namespace diarytrawl::xdg {

// $XDG_CONFIG_HOME/diarytrawl, by default ~/.config/diarytrawl
QString configFolder();

// $XDG_CACHE_HOME/diarytrawl, by default ~/.cache/diarytrawl
QString cacheFolder();

} // namespace diarytrawl::xdg
