#pragma once

#include <QString>

namespace diarytrawl {

// The window-level state that the search, the report, the stored pages and the log share. The window
// (or the command line) owns it for the program's lifetime; option menus change it during a search and
// the crawl reads it afresh at every entry.
struct WindowState {
    bool bStopRequested = false;
    bool bSearchHtmlCode = false;
    bool bSavePages = false;
    bool bSaveMatchingOnly = false;
    QString strSavedPagesFolder = QStringLiteral("saved.pages.tmp");
    QString strFormCaption;
    QString strSiteHost;
};

} // namespace diarytrawl
