// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <chrono>

namespace diarytrawl {

// The one conversion of date-time values to text, for the report's time stamps and for elapsed times.
//  - A moment: the locale's short date, a space, the locale's time of day with seconds ("12/6/26
//    6:53:07 AM" in en_US, "06.12.2026 06:53:07" in ru_RU).
//  - An interval: hours, minutes and seconds with the locale's time separator ("0:01:05"); hours are
//    two-digit when the locale writes them so. An interval of a day or more keeps counting hours
//    ("26:03:04" for a day, two hours, three minutes and four seconds); a negative one shows as 0.
class DateTimeText {
public:
    explicit DateTimeText(const QLocale &locale = QLocale::system());

    QString toText(const QDateTime &moment) const;
    QString toText(std::chrono::seconds interval) const;

private:
    QLocale m_locale;
    QString m_dateFormat;
    QString m_timeFormat;
    QChar m_timeSeparator = u':';
    bool m_twoDigitHours = false;
};

} // namespace diarytrawl
