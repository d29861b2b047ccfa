#include "LinkClassification.h"

namespace diarytrawl {

namespace {

bool contains(const QString &text, QStringView part) {
    return text.contains(part, Qt::CaseInsensitive);
}

} // namespace

bool IsCalendarLink(const QString &strLink, const QString &strYear) {
    bool result = false;
    for (int month = 1; month <= 12 && !result; ++month) {
        const QString monthText = QStringLiteral("%1").arg(month, 2, 10, QChar(u'0'));
        result = contains(strLink, QString(u'/' + strYear + u'/' + monthText + u'/'));
    }
    return result;
}

bool SkipLink(const QString &strLink, const QString &strNick) {
    return contains(strLink, u".bml") || strLink.endsWith(u'/') || contains(strLink, u"/friends") ||
           contains(strLink, u"/doc/tour") || !contains(strLink, QString(strNick + u'/')) ||
           !contains(strLink, u".html");
}

} // namespace diarytrawl
