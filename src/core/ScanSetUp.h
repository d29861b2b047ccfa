// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SearchEvents.h"

#include <QString>

namespace diarytrawl {

// What to search, as the search form gives it: the string already read as the match modes say.
struct SearchRequest {
    QString strNick;
    QString strYear;
    QString strFromMonth;
    QString strToMonth;
    QString strSearchTo;
};

// The settings of a search as its log and report show them, with the journal's year address
// ("http://<host>/~<nick>/<year>/"; over several years the journal's, "http://<host>/~<nick>/") and the
// report's file name ("results.tmp.<nick>.<year>.<from>-<to>.htm"). Every value is used exactly as typed.
SearchSettings ScanSetUpStrings(const SearchRequest &request, bool bRegScan, const QString &strSiteHost);

} // namespace diarytrawl
