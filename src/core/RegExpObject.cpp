// SPDX-License-Identifier: GPL-3.0-or-later
#include "RegExpObject.h"

#include "platform/PlatformError.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>

#include <pcre2.h>

#include <vector>

namespace diarytrawl {

namespace {

// Runaway matches. The engine's own limits bound the work spent at one start position; a pattern that
// costs almost that much at every position of a long text would still run for hours, so the start
// positions are tried in windows, with a deadline checked between them. A window starts small and
// grows while the windows go quickly, so an ordinary search makes only a handful of calls.
constexpr uint32_t MatchLimit = 5'000'000;
constexpr uint32_t DepthLimit = 100'000;
constexpr int MatchBudgetMs = 2000;
constexpr qsizetype FirstWindow = 16;
constexpr qsizetype LargestWindow = qsizetype(1) << 22;
constexpr qint64 QuickWindowMs = 5;
constexpr size_t JitStackStart = 32 * 1024;
constexpr size_t JitStackMax = 4 * 1024 * 1024;

// ECMAScript's \s also covers these; PCRE2 without Unicode properties knows only the ASCII ones.
// (\uhhhh, as the compatibility mode reads escapes.)
constexpr char16_t EcmaExtraSpaces[] =
    u"\\u00a0\\u1680\\u2000-\\u200a\\u2028\\u2029\\u202f\\u205f\\u3000\\ufeff";

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isOctalDigit(QChar c)
{
    return c >= u'0' && c <= u'7';
}

// A group name as ECMAScript's identifiers allow it ('$', '_', letters, and after the first also
// digits, marks and connectors); escapes in names are not read.
bool isGroupName(QStringView name)
{
    if (name.isEmpty())
        return false;
    bool first = true;
    for (const char32_t c : name.toUcs4()) {
        const QChar::Category category = QChar::category(c);
        const bool start = c == u'$' || c == u'_' || QChar::isLetter(c) || category == QChar::Number_Letter;
        const bool part = start || category == QChar::Mark_NonSpacing ||
                          category == QChar::Mark_SpacingCombining ||
                          category == QChar::Number_DecimalDigit ||
                          category == QChar::Punctuation_Connector || c == 0x200C || c == 0x200D;
        if (!(first ? start : part))
            return false;
        first = false;
    }
    return true;
}

[[noreturn]] void refuse(const QString &what, qsizetype at)
{
    throw PlatformError(ErrorNumber::RegExpSyntax, u"Syntax error in regular expression: " + what +
                                                       u" (at character " + QString::number(at + 1) + u')');
}

// Rewrites an ECMAScript pattern (with the web-compatibility grammar) into PCRE2 syntax: the escapes
// whose meaning differs, back-references that ECMAScript reads as octal escapes, group names PCRE2
// cannot take, class ranges with a class escape at one end; and refuses what PCRE2 would accept but
// ECMAScript does not (possessive quantifiers, atomic groups, inline flags, a repeated lookbehind).
class EcmaTranslation {
public:
    EcmaTranslation(const QString &ecma, std::vector<qsizetype> &originOf)
        : m_ecma(ecma)
        , m_originOf(originOf)
    {
        countGroups();
    }

    QString run()
    {
        m_out.reserve(m_ecma.size() + 16);
        m_originOf.clear();
        m_originOf.reserve(m_ecma.size() + 16);
        while (m_at < m_ecma.size()) {
            if (m_inClass)
                classAtom();
            else
                atom();
        }
        return m_out;
    }

private:
    enum class Last { Nothing, Atom, Lookbehind, Quantifier };

    QChar at(qsizetype i) const { return i < m_ecma.size() ? m_ecma.at(i) : QChar(); }

    void emit(QStringView text, qsizetype origin)
    {
        m_out += text;
        m_originOf.insert(m_originOf.end(), text.size(), origin);
    }

    // A code of at most 0xFF: the compatibility mode reads \x with exactly two digits.
    void emitCode(char32_t code, qsizetype origin)
    {
        emit(QString(u"\\x" + QString::number(quint32(code), 16).rightJustified(2, u'0')), origin);
    }

    // Capturing groups and group names of the whole pattern: ECMAScript reads "\2" and "\k<a>" by
    // what the pattern holds anywhere, before or after.
    void countGroups()
    {
        bool inClass = false;
        for (qsizetype i = 0; i < m_ecma.size(); ++i) {
            const QChar c = m_ecma.at(i);
            if (c == u'\\') {
                ++i;
            } else if (inClass) {
                inClass = c != u']';
            } else if (c == u'[') {
                inClass = true;
            } else if (c == u'(' && at(i + 1) != u'?') {
                ++m_groups;
            } else if (c == u'(' && at(i + 2) == u'<' && at(i + 3) != u'=' && at(i + 3) != u'!') {
                ++m_groups;
                m_namedGroups = true;
            }
        }
    }

    // The PCRE2 name for an ECMAScript group name: PCRE2 takes neither '$' nor names past 32 units.
    QString pcreName(QStringView name)
    {
        if (!isGroupName(name))
            return name.toString(); // as written, for the engine to refuse
        const QString key = name.toString();
        auto it = m_names.constFind(key);
        if (it == m_names.cend())
            it = m_names.insert(key, u"n" + QString::number(m_names.size() + 1));
        return *it;
    }

    // "\8", "\9" (the digits), or an octal escape of at most three digits up to \377.
    void legacyEscape(qsizetype backslash)
    {
        const QChar first = at(m_at);
        if (!isOctalDigit(first)) {
            emit(QStringView(&first, 1), backslash);
            ++m_at;
            return;
        }
        char32_t code = first.unicode() - u'0';
        ++m_at;
        if (isOctalDigit(at(m_at))) {
            code = code * 8 + (at(m_at++).unicode() - u'0');
            if (first <= u'3' && isOctalDigit(at(m_at)))
                code = code * 8 + (at(m_at++).unicode() - u'0');
        }
        emitCode(code, backslash);
    }

    // An escape outside a class, m_at on the character after the backslash.
    void escape()
    {
        const qsizetype backslash = m_at - 1;
        const QChar e = at(m_at);
        m_last = Last::Atom;
        if (e.isNull()) {
            emit(u"\\", backslash); // the engine tells of the trailing backslash
        } else if (isDigit(e) && e != u'0') {
            qsizetype end = m_at;
            qint64 number = 0;
            while (isDigit(at(end)) && number <= m_groups)
                number = number * 10 + (at(end++).unicode() - u'0');
            if (number <= m_groups && !isDigit(at(end))) {
                emit(QString(u"\\g{" + QString::number(number) + u'}'), backslash);
                m_at = end;
            } else {
                legacyEscape(backslash);
            }
        } else if (e == u'0') {
            legacyEscape(backslash);
        } else if (e == u'k' && m_namedGroups && at(m_at + 1) == u'<') {
            const qsizetype close = m_ecma.indexOf(u'>', m_at + 2);
            if (close < 0) {
                emit(u"\\k", backslash);
                ++m_at;
            } else {
                emit(QString(u"\\k<" + pcreName(QStringView(m_ecma).mid(m_at + 2, close - m_at - 2)) + u'>'),
                     backslash);
                m_at = close + 1;
            }
        } else if (e == u's' || e == u'S') {
            emit(e == u's' ? u"[\\s" : u"[^\\s", backslash);
            emit(EcmaExtraSpaces, backslash);
            emit(u"]", backslash);
            ++m_at;
        } else if (e == u'v') {
            emit(u"\\x0b", backslash);
            ++m_at;
        } else if (e == u'c' && !isAsciiLetter(at(m_at + 1))) {
            emit(u"\\\\", backslash); // no control letter: a backslash, then 'c'
        } else if (isAsciiLetter(e) &&
                   (!QStringView(u"dDwWbBfnrtcxuk").contains(e) || (e == u'k' && !m_namedGroups))) {
            // An identity escape in ECMAScript (\e, \h, \Q, \A, \z, \p, \k without named groups ...):
            // the letter itself.
            emit(QStringView(&e, 1), backslash);
            ++m_at;
        } else {
            if (e == u'b' || e == u'B')
                m_last = Last::Nothing;
            emit(QStringView(m_ecma).mid(backslash, 2), backslash);
            ++m_at;
        }
    }

    void group()
    {
        const qsizetype open = m_at;
        m_last = Last::Nothing;
        if (at(open + 1) == u'*') // the engine's verbs, "(*ACCEPT)"
            refuse(QStringLiteral("nothing to repeat before '*'"), open + 1);
        if (at(open + 1) != u'?') {
            m_groupKinds.push_back(Last::Atom);
            emit(u"(", open);
            ++m_at;
            return;
        }
        const QChar kind = at(open + 2);
        if (kind == u':' || kind == u'=' || kind == u'!') {
            m_groupKinds.push_back(Last::Atom);
            emit(QStringView(m_ecma).mid(open, 3), open);
            m_at += 3;
        } else if (kind == u'<' && (at(open + 3) == u'=' || at(open + 3) == u'!')) {
            m_groupKinds.push_back(Last::Lookbehind);
            emit(QStringView(m_ecma).mid(open, 4), open);
            m_at += 4;
        } else if (kind == u'<') {
            const qsizetype close = m_ecma.indexOf(u'>', open + 3);
            if (close < 0)
                refuse(QStringLiteral("a group name is not closed with '>'"), open);
            m_groupKinds.push_back(Last::Atom);
            emit(QString(u"(?<" + pcreName(QStringView(m_ecma).mid(open + 3, close - open - 3)) + u'>'),
                 open);
            m_at = close + 1;
        } else if (kind == u'>') {
            refuse(QStringLiteral("atomic groups \"(?>...)\" are not part of this syntax"), open);
        } else if (isAsciiLetter(kind) || kind == u'-') {
            refuse(QStringLiteral("inline flags such as \"(?i)\" are not part of this syntax; the search "
                                  "already ignores case"),
                   open);
        } else {
            refuse(QStringLiteral("\"(?\" must be followed by ':', '=', '!', '<=', '<!' or a group name"),
                   open);
        }
    }

    // A '{' that begins a counted repetition "{n}", "{n,}" or "{n,m}"; any other is a literal brace.
    qsizetype countedRepetitionEnd(qsizetype open) const
    {
        qsizetype i = open + 1;
        const qsizetype digits = i;
        while (isDigit(at(i)))
            ++i;
        if (i == digits)
            return -1;
        if (at(i) == u',') {
            ++i;
            while (isDigit(at(i)))
                ++i;
        }
        return at(i) == u'}' ? i + 1 : -1;
    }

    void quantifier(qsizetype end)
    {
        const qsizetype start = m_at;
        if (m_last == Last::Lookbehind)
            refuse(QStringLiteral("a lookbehind cannot be repeated"), start);
        emit(QStringView(m_ecma).mid(start, end - start), start);
        m_at = end;
        if (at(m_at) == u'?') {
            emit(u"?", m_at);
            ++m_at;
        }
        if (at(m_at) == u'+' && m_last != Last::Nothing && m_last != Last::Quantifier)
            refuse(QStringLiteral("possessive quantifiers such as \"a++\" are not part of this syntax"),
                   m_at);
        m_last = Last::Quantifier;
    }

    void atom()
    {
        const QChar c = m_ecma.at(m_at);
        if (c == u'\\') {
            ++m_at;
            escape();
        } else if (c == u'(') {
            group();
        } else if (c == u')') {
            m_last = Last::Atom;
            if (!m_groupKinds.empty()) {
                m_last = m_groupKinds.back();
                m_groupKinds.pop_back();
            }
            emit(u")", m_at++);
        } else if (c == u'*' || c == u'+' || c == u'?') {
            quantifier(m_at + 1);
        } else if (c == u'{') {
            const qsizetype end = countedRepetitionEnd(m_at);
            if (end >= 0) {
                quantifier(end);
            } else {
                m_last = Last::Atom;
                emit(u"\\{", m_at++);
            }
        } else if (c == u'[') {
            m_inClass = true;
            m_last = Last::Atom;
            emit(u"[", m_at++);
            if (at(m_at) == u'^')
                emit(u"^", m_at++);
            m_rangeFrom = ClassItem::None;
        } else {
            m_last = (c == u'|' || c == u'^' || c == u'$') ? Last::Nothing : Last::Atom;
            emit(QStringView(&c, 1), m_at++);
        }
    }

    enum class ClassItem { None, Character, ClassEscape, Range };

    // One item of a class: a character, an escape, or the '-' of a range.
    void classAtom()
    {
        const QChar c = m_ecma.at(m_at);
        if (c == u']') { // even right after '[': "[]" matches nothing, "[^]" anything
            m_inClass = false;
            emit(u"]", m_at++);
            return;
        }
        if (c == u'-' && m_rangeFrom != ClassItem::None && m_rangeFrom != ClassItem::Range &&
            at(m_at + 1) != u']' && m_at + 1 < m_ecma.size()) {
            // A range, unless an end of it is a class escape: then the '-' is itself a member.
            const qsizetype dash = m_at++;
            const bool fromClass = m_rangeFrom == ClassItem::ClassEscape;
            const qsizetype outSize = m_out.size();
            const ClassItem to = classMember();
            if (fromClass || to == ClassItem::ClassEscape) {
                m_out.insert(outSize, u"\\-");
                m_originOf.insert(m_originOf.begin() + outSize, 2, dash);
            } else {
                m_out.insert(outSize, u'-');
                m_originOf.insert(m_originOf.begin() + outSize, dash);
            }
            m_rangeFrom = ClassItem::Range;
            return;
        }
        m_rangeFrom = classMember();
    }

    // A class member from m_at on: a character or an escape.
    ClassItem classMember()
    {
        const QChar c = at(m_at);
        const qsizetype start = m_at;
        if (c == u'[') {
            emit(u"\\[", m_at++); // ECMAScript has no POSIX classes: '[' inside a class is literal
            return ClassItem::Character;
        }
        if (c != u'\\' || m_at + 1 >= m_ecma.size()) {
            emit(QStringView(&c, 1), m_at++);
            return ClassItem::Character;
        }
        const QChar e = at(m_at + 1);
        m_at += 2;
        if (e == u's') {
            emit(u"\\s", start);
            emit(EcmaExtraSpaces, start);
            return ClassItem::ClassEscape;
        }
        if (QStringView(u"dDwWS").contains(e)) {
            emit(QStringView(m_ecma).mid(start, 2), start); // \S: PCRE2's own complement is close enough
            return ClassItem::ClassEscape;
        }
        if (isDigit(e)) {
            --m_at;
            legacyEscape(start); // no back-references in a class
        } else if (e == u'v') {
            emit(u"\\x0b", start);
        } else if (e == u'c' && (isDigit(at(m_at)) || at(m_at) == u'_')) {
            emitCode(at(m_at++).unicode() % 32, start);
        } else if (e == u'c' && !isAsciiLetter(at(m_at))) {
            emit(u"\\\\", start); // a backslash; the 'c' comes next
            --m_at;
        } else if (isAsciiLetter(e) && !QStringView(u"bfnrtcxu").contains(e)) {
            emit(QStringView(&e, 1), start);
        } else {
            emit(QStringView(m_ecma).mid(start, 2), start);
        }
        return ClassItem::Character;
    }

    const QString &m_ecma;
    std::vector<qsizetype> &m_originOf;
    QString m_out;
    qsizetype m_at = 0;
    qint64 m_groups = 0;
    bool m_namedGroups = false;
    QHash<QString, QString> m_names;
    std::vector<Last> m_groupKinds;
    Last m_last = Last::Nothing;
    bool m_inClass = false;
    ClassItem m_rangeFrom = ClassItem::None;
};

QString pcreMessage(int code)
{
    PCRE2_UCHAR buffer[256];
    const int length = pcre2_get_error_message(code, buffer, std::size(buffer));
    if (length < 0)
        return QStringLiteral("unknown regular-expression error");
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(buffer), length);
}

PCRE2_SPTR16 subjectOf(const QString &text)
{
    return reinterpret_cast<PCRE2_SPTR16>(text.utf16());
}

} // namespace

struct RegExpObject::Engine {
    QString pattern;
    bool ignoreCase = false;

    pcre2_code *code = nullptr;
    pcre2_match_data *matchData = nullptr;
    pcre2_match_context *matchContext = nullptr;
    pcre2_jit_stack *jitStack = nullptr;

    Engine(const QString &ecmaPattern, bool caseless)
        : pattern(ecmaPattern)
        , ignoreCase(caseless)
    {
        std::vector<qsizetype> originOf;
        const QString translated = EcmaTranslation(ecmaPattern, originOf).run();

        pcre2_compile_context *compileContext = pcre2_compile_context_create(nullptr);
        pcre2_set_newline(compileContext, PCRE2_NEWLINE_LF); // '.' stops only at a line feed
        uint32_t options = PCRE2_USE_OFFSET_LIMIT | PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_ALT_BSUX |
                           PCRE2_ALLOW_EMPTY_CLASS | PCRE2_MATCH_UNSET_BACKREF | PCRE2_DOLLAR_ENDONLY;
        if (caseless)
            options |= PCRE2_CASELESS;
        int errorCode = 0;
        PCRE2_SIZE errorOffset = 0;
        code = pcre2_compile(subjectOf(translated), static_cast<PCRE2_SIZE>(translated.size()), options,
                             &errorCode, &errorOffset, compileContext);
        pcre2_compile_context_free(compileContext);
        if (!code) {
            const qsizetype at = errorOffset < originOf.size() ? originOf[errorOffset] : ecmaPattern.size();
            throw PlatformError(errorCode, u"Syntax error in regular expression: " + pcreMessage(errorCode) +
                                               u" (at character " + QString::number(at + 1) + u')');
        }
        matchData = pcre2_match_data_create_from_pattern(code, nullptr);
        matchContext = pcre2_match_context_create(nullptr);
        pcre2_set_match_limit(matchContext, MatchLimit);
        pcre2_set_depth_limit(matchContext, DepthLimit);
        if (pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0) {
            jitStack = pcre2_jit_stack_create(JitStackStart, JitStackMax, nullptr);
            pcre2_jit_stack_assign(matchContext, nullptr, jitStack);
        }
    }

    ~Engine()
    {
        pcre2_jit_stack_free(jitStack);
        pcre2_match_context_free(matchContext);
        pcre2_match_data_free(matchData);
        pcre2_code_free(code);
    }

    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;

    [[noreturn]] static void throwRunaway(const QString &why)
    {
        throw PlatformError(ErrorNumber::TooCostly,
                            u"The regular expression costs too much on this text (" + why +
                                u"); a simpler pattern, or one that leaves less to try again, may do");
    }

    // The leftmost match starting at or after `start`; false when there is none.
    bool matchAt(const QString &text, qsizetype start, const QDeadlineTimer &deadline, qsizetype &matchStart,
                 qsizetype &matchEnd) const
    {
        qsizetype window = FirstWindow;
        for (qsizetype windowStart = start; windowStart <= text.size();) {
            const qsizetype lastStart = std::min(text.size(), windowStart + window - 1);
            pcre2_set_offset_limit(matchContext, static_cast<PCRE2_SIZE>(lastStart));
            QElapsedTimer windowTime;
            windowTime.start();
            const int rc = pcre2_match(code, subjectOf(text), static_cast<PCRE2_SIZE>(text.size()),
                                       static_cast<PCRE2_SIZE>(windowStart), 0, matchData, matchContext);
            if (rc >= 0) {
                const PCRE2_SIZE *ovector = pcre2_get_ovector_pointer(matchData);
                matchStart = static_cast<qsizetype>(ovector[0]);
                matchEnd = std::max(matchStart, static_cast<qsizetype>(ovector[1])); // \K may end first
                return true;
            }
            if (rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT || rc == PCRE2_ERROR_HEAPLIMIT ||
                rc == PCRE2_ERROR_JIT_STACKLIMIT)
                throwRunaway(pcreMessage(rc));
            if (rc != PCRE2_ERROR_NOMATCH)
                throw PlatformError(rc, pcreMessage(rc));
            if (deadline.hasExpired())
                throwRunaway(QStringLiteral("it took longer than a search gives one text"));
            windowStart = lastStart + 1;
            if (windowTime.elapsed() < QuickWindowMs)
                window = std::min(window * 2, LargestWindow);
            else
                window = std::max<qsizetype>(1, window / 2);
        }
        return false;
    }
};

RegExpObject::RegExpObject() = default;
RegExpObject::~RegExpObject() = default;

const RegExpObject::Engine &RegExpObject::engine() const
{
    if (!m_engine || m_engine->pattern != Pattern || m_engine->ignoreCase != IgnoreCase) {
        m_engine.reset();
        m_engine = std::make_unique<Engine>(Pattern, IgnoreCase);
    }
    return *m_engine;
}

bool RegExpObject::Test(const QString &text) const
{
    qsizetype start = 0;
    qsizetype end = 0;
    return engine().matchAt(text, 0, QDeadlineTimer(MatchBudgetMs), start, end);
}

void RegExpObject::forEachMatch(const QString &text, const MatchVisitor &visit) const
{
    const Engine &e = engine();
    const QDeadlineTimer deadline(MatchBudgetMs);
    qsizetype from = 0;
    while (from <= text.size()) {
        qsizetype start = 0;
        qsizetype end = 0;
        if (!e.matchAt(text, from, deadline, start, end))
            return;
        if (!visit(start, end - start) || !Global)
            return;
        from = end;
        if (end == start) {
            // An empty match moves the search on by one character, or it would be found again forever.
            const bool pairFollows =
                end + 1 < text.size() && text.at(end).isHighSurrogate() && text.at(end + 1).isLowSurrogate();
            from += pairFollows ? 2 : 1;
        }
    }
}

QList<RegExpMatch> RegExpObject::Execute(const QString &text) const
{
    QList<RegExpMatch> matches;
    forEachMatch(text, [&](qsizetype firstIndex, qsizetype length) {
        matches.append({text.mid(firstIndex, length), firstIndex, length});
        return true;
    });
    return matches;
}

} // namespace diarytrawl
