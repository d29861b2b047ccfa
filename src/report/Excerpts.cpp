#include "Excerpts.h"

#include "platform/RegExpObject.h"

#include <algorithm>
#include <vector>

namespace diarytrawl {

namespace {

constexpr QStringView LeadingText = u"... ";
constexpr QStringView Separator = u" ... ";

// Positions here count characters from 1, as the excerpt rules are written; 0 means "none".
class SpaceIndex {
public:
    explicit SpaceIndex(const QString &text)
        : m_length(text.size())
    {
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.at(i) == u' ')
                m_spaces.push_back(i + 1);
        }
    }

    // The first space at or after min(r + 1, n); the end of the text when there is none.
    qsizetype nextSpaceAfter(qsizetype r) const
    {
        const qsizetype from = min(r + 1, m_length);
        const auto it = std::lower_bound(m_spaces.begin(), m_spaces.end(), from);
        return it == m_spaces.end() ? m_length : *it;
    }

    // The last space at or before max(1, l - 1); 0 when there is none.
    qsizetype previousSpaceBefore(qsizetype l) const
    {
        const qsizetype upTo = max(qsizetype(1), l - 1);
        const auto it = std::upper_bound(m_spaces.begin(), m_spaces.end(), upTo);
        return it == m_spaces.begin() ? 0 : *std::prev(it);
    }

    qsizetype textLength() const { return m_length; }

private:
    qsizetype m_length;
    std::vector<qsizetype> m_spaces;
};

// Widens [left, right] by the given number of words on each side, then clips it to the character
// reach measured from `anchor` and `anchorEnd`, and returns the text from left to right.
QStringView cutExcerpt(const QString &text, const SpaceIndex &spaces, qsizetype left, qsizetype right,
                       int passes, qsizetype anchor, qsizetype anchorEnd)
{
    for (int pass = 0; pass < passes; ++pass) {
        right = spaces.nextSpaceAfter(right);
        left = spaces.previousSpaceBefore(left);
    }
    right = min(min(anchorEnd + ExcerptReach, right), spaces.textLength());
    left = max(max(anchor - ExcerptReach, left), qsizetype(1));
    return QStringView(text).mid(left - 1, max(qsizetype(0), right - left + 1));
}

} // namespace

QString getNeighborhood(const QString &strText, const QString &strSubstr)
{
    QString result = LeadingText.toString();
    if (strSubstr.isEmpty())
        return result;

    const SpaceIndex spaces(strText);
    const qsizetype n = strText.size();
    const qsizetype L = strSubstr.size();
    qsizetype excerpts = 0;
    for (qsizetype from = 0; from < n && excerpts < MaxExcerptsPerPage; ++excerpts) {
        const qsizetype found = strText.indexOf(strSubstr, from, Qt::CaseInsensitive);
        if (found < 0)
            break;
        const qsizetype p = found + 1;
        result += cutExcerpt(strText, spaces, p, p + L, 3, p, p + L);
        result += Separator;
        from = found + 1;
    }
    return result;
}

QString getHtmlNghbrhdRgxSel(const QString &strText, const QString &strRegexp)
{
    RegExpObject regExp;
    regExp.Pattern = strRegexp;
    regExp.IgnoreCase = true;
    regExp.Global = true;

    const SpaceIndex spaces(strText);
    QString result = LeadingText.toString();
    qsizetype excerpts = 0;
    regExp.forEachMatch(strText, [&](qsizetype f, qsizetype L) {
        QString excerpt = cutExcerpt(strText, spaces, f, f + L, 4, f, f + L).toString();
        htmlSafeDecore(excerpt);
        htmlMarkText(excerpt, strText.mid(f, L));
        result += excerpt;
        result += Separator;
        return ++excerpts < MaxExcerptsPerPage;
    });
    return result;
}

void htmlSafeDecore(QString &strText)
{
    qsizetype specials = 0;
    for (const QChar c : std::as_const(strText))
        specials += (c == u'&' || c == u'<' || c == u'>');
    if (specials == 0)
        return;
    QString escaped;
    escaped.reserve(strText.size() + specials * 4);
    for (const QChar c : std::as_const(strText)) {
        if (c == u'&')
            escaped += u"&amp;";
        else if (c == u'<')
            escaped += u"&lt;";
        else if (c == u'>')
            escaped += u"&gt;";
        else
            escaped += c;
    }
    strText = escaped;
}

void htmlMarkText(QString &strText, const QString &strMarkTo)
{
    if (strMarkTo.isEmpty())
        return;
    strText.replace(strMarkTo, u"<b>" + strMarkTo + u"</b>", Qt::CaseInsensitive);
}

} // namespace diarytrawl
