// SPDX-License-Identifier: GPL-3.0-or-later
#include "Excerpts.h"

#include "RegExpObject.h"

#include <utility>

namespace diarytrawl {

namespace {

constexpr QStringView LeadingText = u"... ";
constexpr QStringView Separator = u" ... ";

// Positions here count characters from 1, as the excerpt rules are written; 0 means "none". Spaces are
// looked for only as far as an excerpt may reach, [lowest, highest]: past that the reach cuts it all
// the same, and a page as large as the body bound needs no index of its spaces.
class Spaces {
public:
    Spaces(const QString &text, qsizetype lowest, qsizetype highest)
        : m_text(text)
        , m_lowest(max(lowest, qsizetype(1)))
        , m_highest(min(highest, text.size()))
    {}

    // The first space at or after min(r + 1, n); the end of the text when there is none.
    qsizetype nextSpaceAfter(qsizetype r) const
    {
        for (qsizetype p = max(min(r + 1, m_text.size()), qsizetype(1)); p <= m_highest; ++p) {
            if (m_text.at(p - 1) == u' ')
                return p;
        }
        return m_highest;
    }

    // The last space at or before max(1, l - 1); 0 when there is none.
    qsizetype previousSpaceBefore(qsizetype l) const
    {
        for (qsizetype p = min(max(qsizetype(1), l - 1), m_text.size()); p >= m_lowest; --p) {
            if (m_text.at(p - 1) == u' ')
                return p;
        }
        return 0;
    }

private:
    const QString &m_text;
    qsizetype m_lowest;
    qsizetype m_highest;
};

// Widens [left, right] by the given number of words on each side, then clips it to the character
// reach measured from `anchor` and `anchorEnd`, and returns the text from left to right.
QStringView cutExcerpt(const QString &text, qsizetype left, qsizetype right, int passes, qsizetype anchor,
                       qsizetype anchorEnd)
{
    const Spaces spaces(text, anchor - ExcerptReach, anchorEnd + ExcerptReach);
    for (int pass = 0; pass < passes; ++pass) {
        right = spaces.nextSpaceAfter(right);
        left = spaces.previousSpaceBefore(left);
    }
    right = min(min(anchorEnd + ExcerptReach, right), text.size());
    left = max(max(anchor - ExcerptReach, left), qsizetype(1));
    return QStringView(text).mid(left - 1, max(qsizetype(0), right - left + 1));
}

// Every occurrence of piece in text, ignoring case, from left to right and apart.
QList<std::pair<qsizetype, qsizetype>> marksOf(const QString &text, QStringView piece)
{
    QList<std::pair<qsizetype, qsizetype>> marks;
    if (piece.isEmpty())
        return marks;
    for (qsizetype at = text.indexOf(piece, 0, Qt::CaseInsensitive); at >= 0;
         at = text.indexOf(piece, at + piece.size(), Qt::CaseInsensitive))
        marks.append({at, piece.size()});
    return marks;
}

PageExcerpts plainExcerpts(const QString &strText, const QString &strSubstr)
{
    PageExcerpts result;
    if (strSubstr.isEmpty())
        return result;

    const qsizetype n = strText.size();
    const qsizetype L = strSubstr.size();
    for (qsizetype from = 0; from < n;) {
        const qsizetype found = strText.indexOf(strSubstr, from, Qt::CaseInsensitive);
        if (found < 0)
            break;
        if (result.excerpts.size() == MaxExcerptsPerPage) {
            result.cut = true;
            break;
        }
        const qsizetype p = found + 1;
        Excerpt excerpt{cutExcerpt(strText, p, p + L, 3, p, p + L).toString(), {}};
        excerpt.marks = marksOf(excerpt.text, strSubstr);
        result.excerpts.append(std::move(excerpt));
        from = found + 1;
    }
    return result;
}

PageExcerpts regExpExcerpts(const QString &strText, const QString &strRegexp)
{
    RegExpObject regExp;
    regExp.Pattern = strRegexp;
    regExp.IgnoreCase = true;
    regExp.Global = true;

    PageExcerpts result;
    regExp.forEachMatch(strText, [&](qsizetype f, qsizetype L) {
        if (result.excerpts.size() == MaxExcerptsPerPage) {
            result.cut = true;
            return false;
        }
        Excerpt excerpt{cutExcerpt(strText, f, f + L, 4, f, f + L).toString(), {}};
        excerpt.marks = marksOf(excerpt.text, QStringView(strText).mid(f, L));
        result.excerpts.append(std::move(excerpt));
        return true;
    });
    return result;
}

void appendEscaped(QString &out, QStringView text, bool attribute)
{
    for (const QChar c : text) {
        if (c == u'&')
            out += u"&amp;";
        else if (c == u'<')
            out += u"&lt;";
        else if (c == u'>')
            out += u"&gt;";
        else if (c == u'"' && attribute)
            out += u"&quot;";
        else
            out += c;
    }
}

} // namespace

PageExcerpts pageExcerpts(const QString &pageText, const QString &search, bool bRegScan)
{
    return bRegScan ? regExpExcerpts(pageText, search) : plainExcerpts(pageText, search);
}

QString excerptsHtml(const PageExcerpts &excerpts)
{
    QString html = LeadingText.toString();
    for (const Excerpt &excerpt : excerpts.excerpts) {
        html += htmlMarkText(excerpt);
        html += Separator;
    }
    if (excerpts.cut)
        html += u"<br>\r\n&nbsp;&nbsp;&nbsp;&nbsp; <i>(this page has more matches: only the first " +
                QString::number(MaxExcerptsPerPage) + u" are shown)</i>";
    return html;
}

QString getNeighborhood(const QString &strText, const QString &strSubstr)
{
    return excerptsHtml(plainExcerpts(strText, strSubstr));
}

QString getHtmlNghbrhdRgxSel(const QString &strText, const QString &strRegexp)
{
    return excerptsHtml(regExpExcerpts(strText, strRegexp));
}

QString htmlMarkText(const Excerpt &excerpt)
{
    QString html;
    html.reserve(excerpt.text.size() + excerpt.marks.size() * 7 + 16);
    const QStringView text(excerpt.text);
    qsizetype done = 0;
    for (const auto &[at, length] : excerpt.marks) {
        appendEscaped(html, text.mid(done, at - done), false);
        html += u"<b>";
        appendEscaped(html, text.mid(at, length), false);
        html += u"</b>";
        done = at + length;
    }
    appendEscaped(html, text.mid(done), false);
    return html;
}

void htmlSafeDecore(QString &strText)
{
    QString escaped;
    escaped.reserve(strText.size());
    appendEscaped(escaped, strText, false);
    strText = escaped;
}

QString htmlAttribute(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    appendEscaped(escaped, text, true);
    return escaped;
}

} // namespace diarytrawl
