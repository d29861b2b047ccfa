// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace diarytrawl {

// The window-level state that the search, the report, the stored pages and the log share. The window
// (or the command line) owns it for the program's lifetime; option menus change it during a search and
// the crawl reads it afresh at every entry. The last two are read once, when a search starts.
struct WindowState {
    bool bStopRequested = false;
    bool bSearchHtmlCode = false;
    // Every page and thread of an entry's comments is loaded and searched, not only what its page carries.
    bool bSearchAllComments = false;
    bool bSavePages = false;
    bool bSaveMatchingOnly = false;
    QString strSavedPagesFolder = QStringLiteral("saved.pages.tmp");
    QString strFormCaption;
    QString strSiteHost;
    // The user has said they are 18 or older: the sites' adult-content notices are answered.
    bool bShowAdultContent = false;
    // Where the user's login cookies come from (see BrowserSession::loginCookies); empty for none.
    QString strLoginCookies;
};

} // namespace diarytrawl
