// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "loader/Browser.h"

#include <QList>
#include <QString>

namespace diarytrawl::sites {

// A journal's year pages and calendar, as LiveJournal's and Dreamwidth's S2 year view shows them
// (core2.s2, YearPage): a month links to its page "JOURNAL/YYYY/MM/" only when it has entries, days
// with entries link to "JOURNAL/YYYY/MM/DD/", and the year links ("JOURNAL/YYYY/") name every year
// with entries; the calendar ("~USER/calendar", Dreamwidth's "/archive") is the year view of the
// latest year. Links count when they lead into the journal: its own host, or "/~USER/" or
// "/users/USER/" on another.

// "http://HOST/~USER/YYYY/" and "http://HOST/~USER/calendar", as the search writes month pages.
QString yearPageAddress(const QString &siteHost, const QString &nick, int year);
QString calendarAddress(const QString &siteHost, const QString &nick);

// Where a page lies in the journal's calendar, by its address: a year page (month 0), a month page, a
// day page, or none of them (year 0).
struct CalendarPlace {
    int year = 0;
    int month = 0;
    int day = 0;
};
CalendarPlace calendarPlaceOf(const web::WebAddress &address, const QString &nick, const QString &siteHost);
// Whether the address is the journal's calendar (LiveJournal's "/calendar", Dreamwidth's "/archive").
bool isCalendarPage(const web::WebAddress &address, const QString &nick, const QString &siteHost);

// The months (1 to 12) of the year that the page shows to have entries, in order.
QList<int> monthsWithEntries(const HtmlDocument &page, int year, const QString &nick,
                             const QString &siteHost);
// The years the page shows to have entries, in order.
QList<int> yearsWithEntries(const HtmlDocument &page, const QString &nick, const QString &siteHost);

} // namespace diarytrawl::sites
