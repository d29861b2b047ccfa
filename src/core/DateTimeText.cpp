// SPDX-License-Identifier: GPL-3.0-or-later
#include "DateTimeText.h"

namespace diarytrawl {

namespace {

// The locale's short time pattern with seconds added after the minutes when it has none.
QString timeFormatWithSeconds(const QLocale &locale)
{
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (format.contains(u's'))
        return format;
    const qsizetype minutes = format.indexOf(u"mm");
    if (minutes < 0)
        return format + u":ss";
    const QChar separator = minutes > 0 ? format.at(minutes - 1) : QChar(u':');
    format.insert(minutes + 2, separator + QStringLiteral("ss"));
    return format;
}

} // namespace

DateTimeText::DateTimeText(const QLocale &locale)
    : m_locale(locale)
    , m_dateFormat(locale.dateFormat(QLocale::ShortFormat))
    , m_timeFormat(timeFormatWithSeconds(locale))
{
    const qsizetype minutes = m_timeFormat.indexOf(u"mm");
    if (minutes > 0)
        m_timeSeparator = m_timeFormat.at(minutes - 1);
    m_twoDigitHours = m_timeFormat.contains(u"HH") || m_timeFormat.contains(u"hh");
}

QString DateTimeText::toText(const QDateTime &moment) const
{
    return m_locale.toString(moment.date(), m_dateFormat) + u' ' +
           m_locale.toString(moment.time(), m_timeFormat);
}

QString DateTimeText::toText(std::chrono::seconds interval) const
{
    const qint64 total = std::max<qint64>(0, interval.count());
    const qint64 hours = total / 3600;
    const auto twoDigits = [](qint64 value) {
        return QStringLiteral("%1").arg(value, 2, 10, QChar(u'0'));
    };
    const QString hourText = m_twoDigitHours ? twoDigits(hours) : QString::number(hours);
    return hourText + m_timeSeparator + twoDigits(total / 60 % 60) + m_timeSeparator + twoDigits(total % 60);
}

} // namespace diarytrawl
