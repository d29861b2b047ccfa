// SPDX-License-Identifier: GPL-3.0-or-later
#include "Excerpts.h"

#include "CaselessFinder.h"
#include "RegExpObject.h"

#include <algorithm>
#include <vector>

namespace diarytrawl {

namespace {

constexpr QStringView LeadingText = u"... ";
constexpr QStringView Separator = u" ... ";

// Positions here count characters from 1, as the excerpt rules are written; 0 means "none". The spaces
// of the text as the rules ask for them, looked for only within the reach of the excerpt being cut:
// what lies past it is clipped away in the end, whatever it holds, so a page's excerpts cost no more
// than their own length.
class Spaces {
public:
    explicit Spaces(const QString &text)
        : m_text(text)
    {}

    // The first space at or after min(r + 1, n); the end of the text when there is none. Past reach, any
    // place past reach (or the end, if it comes first).
    qsizetype nextSpaceAfter(qsizetype r, qsizetype reach) const
    {
        const qsizetype n = m_text.size();
        const qsizetype from = max(min(r + 1, n), qsizetype(1)); // an empty text has no place 0
        const qsizetype to = min(reach, n);
        if (from > to)
            return from;
        const qsizetype found = QStringView(m_text).sliced(from - 1, to - from + 1).indexOf(u' ');
        return found >= 0 ? from + found : to;
    }

    // The last space at or before max(1, l - 1); 0 when there is none. Short of reach (at least 1), any
    // place short of it.
    qsizetype previousSpaceBefore(qsizetype l, qsizetype reach) const
    {
        const qsizetype upTo = min(max(qsizetype(1), l - 1), m_text.size());
        const qsizetype from = max(reach, qsizetype(1));
        if (upTo < from)
            return upTo;
        const qsizetype found = QStringView(m_text).sliced(from - 1, upTo - from + 1).lastIndexOf(u' ');
        return found >= 0 ? from + found : reach >= 1 ? reach : 0;
    }

    qsizetype textLength() const { return m_text.size(); }

private:
    const QString &m_text;
};

// Widens [left, right] by the given number of words on each side, then clips it to the character
// reach measured from `anchor` and `anchorEnd`, and returns the text from left to right.
QStringView cutExcerpt(const QString &text, const Spaces &spaces, qsizetype left, qsizetype right, int passes,
                       qsizetype anchor, qsizetype anchorEnd)
{
    for (int pass = 0; pass < passes; ++pass) {
        right = spaces.nextSpaceAfter(right, anchorEnd + ExcerptReach);
        left = spaces.previousSpaceBefore(left, anchor - ExcerptReach);
    }
    right = min(min(anchorEnd + ExcerptReach, right), spaces.textLength());
    left = max(max(anchor - ExcerptReach, left), qsizetype(1));
    return QStringView(text).mid(left - 1, max(qsizetype(0), right - left + 1));
}

// Every occurrence of the finder's string in text, ignoring case, from left to right and apart.
QList<std::pair<qsizetype, qsizetype>> marksOf(const QString &text, const CaselessFinder &finder)
{
    QList<std::pair<qsizetype, qsizetype>> marks;
    const qsizetype size = finder.needle().size();
    if (size == 0)
        return marks;
    for (qsizetype at = finder.indexIn(text); at >= 0; at = finder.indexIn(text, at + size))
        marks.append({at, size});
    return marks;
}

PageExcerpts plainExcerpts(const QString &strText, const QString &strSubstr)
{
    PageExcerpts result;
    if (strSubstr.isEmpty())
        return result;

    const Spaces spaces(strText);
    const CaselessFinder finder(strSubstr);
    const qsizetype n = strText.size();
    const qsizetype L = strSubstr.size();
    for (qsizetype from = 0; from < n;) {
        const qsizetype found = finder.indexIn(strText, from);
        if (found < 0)
            break;
        if (result.excerpts.size() == MaxExcerptsPerPage) {
            result.cut = true;
            break;
        }
        const qsizetype p = found + 1;
        Excerpt excerpt{cutExcerpt(strText, spaces, p, p + L, 3, p, p + L).toString(), {}};
        excerpt.marks = marksOf(excerpt.text, finder);
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

    const Spaces spaces(strText);
    PageExcerpts result;
    regExp.forEachMatch(strText, [&](qsizetype f, qsizetype L) {
        if (result.excerpts.size() == MaxExcerptsPerPage) {
            result.cut = true;
            return false;
        }
        Excerpt excerpt{cutExcerpt(strText, spaces, f, f + L, 4, f, f + L).toString(), {}};
        excerpt.marks = marksOf(excerpt.text, CaselessFinder(strText.mid(f, L)));
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
