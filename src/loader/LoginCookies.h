// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QNetworkCookie>
#include <QString>
#include <QStringList>

namespace diarytrawl::web {

struct CookieImport {
    QList<QNetworkCookie> cookies; // host-only cookies have a domain without a leading '.'
    // Lines for the search log: one per skipped line or row ("cookies.txt line 7 skipped: not seven
    // fields"; past the twentieth, one line tells how many more), then a summary ("login cookies: 12
    // read from /path/cookies.txt"). No note holds a cookie's name or value.
    QStringList notes;
};

// The login cookies of the user's browser, read from source:
//  - a Netscape cookies.txt file (what curl, wget and yt-dlp read and cookie-export extensions write):
//    seven TAB-separated fields per line (domain, TRUE/FALSE for "and its subdomains", path,
//    TRUE/FALSE for Secure, expiry in Unix seconds with 0 for a session cookie, name, value); a domain
//    with "#HttpOnly_" before it is an HttpOnly cookie, other lines starting with '#' and blank lines
//    are comments, and a line that is none of these is skipped with a note;
//  - a Firefox cookies.sqlite file, recognised by its first bytes whatever its name;
//  - "firefox": the default profile of ~/.mozilla/firefox/profiles.ini; "firefox:PROFILE_FOLDER": that
//    profile. Firefox keeps its database locked and writes to it as it runs, so a copy of it and of its
//    write-ahead log is read, and removed afterwards.
// Expired cookies are left out and counted in the summary. Source files are never written.
// Throws PlatformError when the source cannot be read at all: ErrorNumber::FileNotFound when the file,
// the profile or profiles.ini is missing, ErrorNumber::LoginCookiesUnreadable otherwise (not a regular
// file, larger than 64 MB, a damaged database, a browser whose cookies this program cannot read, such as
// Chrome and Chromium, which encrypt theirs: the message says how to export a cookies.txt instead).
CookieImport readLoginCookies(const QString &source);

} // namespace diarytrawl::web
