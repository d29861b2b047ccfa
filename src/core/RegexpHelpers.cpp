// SPDX-License-Identifier: GPL-3.0-or-later
#include "RegexpHelpers.h"

#include "RegExpObject.h"

namespace diarytrawl {

QString regexpDecore(QString &strText)
{
    // The backslash goes first, so the backslashes the other steps insert are not doubled.
    static constexpr char16_t Metacharacters[] = u"\\^$.*+?()[]{}|";
    QString escaped;
    escaped.reserve(strText.size() + strText.size() / 8);
    for (const QChar c : std::as_const(strText)) {
        if (QStringView(Metacharacters).contains(c))
            escaped += u'\\';
        escaped += c;
    }
    strText = escaped;
    return strText;
}

QString RegMatch(const QString &strText, const QString &strRegEx, bool bCaseSensitive)
{
    // The same pattern comes again and again (the date stamp, for every entry): compiled once a thread.
    thread_local RegExpObject regExp;
    regExp.Pattern = strRegEx;
    regExp.IgnoreCase = !bCaseSensitive;
    regExp.Global = false;
    QString result;
    regExp.forEachMatch(strText, [&](qsizetype firstIndex, qsizetype length) {
        result = strText.mid(firstIndex, length);
        return false;
    });
    return result;
}

QString dateStampPattern(const QString &strYear)
{
    return u"@ " + strYear + u"-\\d\\d-\\d\\d";
}

QString dateStamp(QStringView strText, const QString &strYear)
{
    const QString lead = u"@ " + strYear + u'-';
    const auto digit = [](QChar unit) {
        return unit >= u'0' && unit <= u'9'; // the engine's \d: ASCII digits only
    };
    // The rare '@' is looked for, a vector of units at a time, and only there the rest.
    for (qsizetype at = strText.indexOf(u'@'); at >= 0; at = strText.indexOf(u'@', at + 1)) {
        if (!strText.sliced(at).startsWith(lead))
            continue;
        const QStringView rest = strText.sliced(at + lead.size());
        if (rest.size() >= 5 && digit(rest[0]) && digit(rest[1]) && rest[2] == u'-' && digit(rest[3]) &&
            digit(rest[4]))
            return strText.sliced(at, lead.size() + 5).toString();
    }
    return QString();
}

} // namespace diarytrawl
