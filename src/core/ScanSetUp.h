// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LogSink.h"

#include <QString>

namespace diarytrawl {

// Logs the settings of a search, one line each, and builds the journal's year address
// ("http://<host>/~<nick>/<year>/") and the report's file name ("results.tmp.<nick>.<year>.<from>-<to>.htm").
// Every value is used exactly as typed.
void ScanSetUpStrings(const QString &strNick, const QString &strYear, const QString &strFromMonth,
                      const QString &strToMonth, const QString &strSearchTo, QString &strStartAddress,
                      QString &strResultsPageName, bool bRegScan, const QString &strSiteHost, LogSink &log);

} // namespace diarytrawl
