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

namespace {

// The longest run of one alternative; empty when none can be told.
QString requiredLiteral(QStringView pattern)
{
    const auto literal = [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
    };
    const auto quantifier = [](QChar c) {
        return c == u'?' || c == u'*' || c == u'+' || c == u'{';
    };
    QStringView best;
    qsizetype runStart = 0;
    qsizetype runEnd = 0; // the run [runStart, runEnd) of literal characters so far
    const auto cut = [&](qsizetype next) {
        if (runEnd - runStart > best.size())
            best = pattern.sliced(runStart, runEnd - runStart);
        runStart = runEnd = next;
    };
    // Past a class or a group, from its opening character; -1 when it does not close.
    const auto skipBracket = [&](qsizetype at) -> qsizetype {
        int depth = 0;
        bool inClass = false;
        for (; at < pattern.size(); ++at) {
            const QChar c = pattern[at];
            if (c == u'\\') {
                ++at;
            } else if (inClass) {
                inClass = c != u']';
                if (!inClass && depth == 0)
                    return at + 1;
            } else if (c == u'[') {
                inClass = true;
            } else if (c == u'(') {
                ++depth;
            } else if (c == u')' && --depth == 0) {
                return at + 1;
            }
        }
        return -1;
    };
    for (qsizetype at = 0; at < pattern.size();) {
        const QChar c = pattern[at];
        if (literal(c) && !(at + 1 < pattern.size() && quantifier(pattern[at + 1]))) {
            if (runEnd != at)
                runStart = at;
            runEnd = ++at;
            continue;
        }
        cut(at + 1);
        if (c == u'|')
            return QString(); // not one alternative: cut at the top by requiredLiterals
        if (c == u'\\') {
            // \d, \b, \. and the like; an escape that goes on (a code, a back reference, a name, a
            // property) is not read further.
            if (at + 1 >= pattern.size() || QStringView(u"xuckpP0123456789").contains(pattern[at + 1]))
                return QString();
            at += 2;
        } else if (c == u'[' || c == u'(') {
            at = skipBracket(at);
            if (at < 0)
                return QString();
        } else if (c == u'{') {
            // A quantifier's bounds are no text: {n}, {n,}, {n,m}; else the brace stands for itself.
            qsizetype end = at + 1;
            while (end < pattern.size() && (pattern[end].isDigit() || pattern[end] == u','))
                ++end;
            at = end < pattern.size() && pattern[end] == u'}' ? end + 1 : at + 1;
        } else {
            ++at;
        }
        runStart = runEnd = at;
    }
    cut(pattern.size());
    return best.toString();
}

} // namespace

QStringList requiredLiterals(QStringView pattern)
{
    QStringList literals;
    int depth = 0;
    bool inClass = false;
    qsizetype from = 0;
    for (qsizetype at = 0; at <= pattern.size(); ++at) {
        const bool end = at == pattern.size();
        if (end && (depth != 0 || inClass))
            return {}; // a pattern the engine will refuse
        const QChar c = end ? QChar(u'|') : pattern[at];
        if (c == u'\\') {
            if (at + 1 == pattern.size())
                return {};
            ++at;
        } else if (inClass) {
            inClass = c != u']';
        } else if (c == u'[') {
            inClass = true;
        } else if (c == u'(') {
            ++depth;
        } else if (c == u')') {
            --depth;
        } else if (c == u'|' && depth == 0) {
            const QString literal = requiredLiteral(pattern.sliced(from, at - from));
            if (literal.isEmpty())
                return {};
            literals.append(literal);
            from = at + 1;
        }
    }
    return literals;
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
