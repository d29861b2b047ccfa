#include "RegExpObject.h"

#include "PlatformError.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <QDeadlineTimer>
#include <QElapsedTimer>

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

// Rewrites the escapes whose meaning differs between ECMAScript and PCRE2; everything else passes
// through. originOf maps each unit of the result back to the pattern, for error offsets.
QString toPcrePattern(const QString &ecma, std::vector<qsizetype> &originOf)
{
    QString out;
    out.reserve(ecma.size() + 16);
    originOf.clear();
    originOf.reserve(ecma.size() + 16);
    auto emit = [&](QStringView text, qsizetype origin) {
        out += text;
        originOf.insert(originOf.end(), text.size(), origin);
    };

    bool inClass = false;
    bool classJustOpened = false; // a ']' right after '[' or '[^' closes an empty class
    for (qsizetype i = 0; i < ecma.size(); ++i) {
        const QChar c = ecma.at(i);
        if (c == u'\\' && i + 1 < ecma.size()) {
            const QChar e = ecma.at(i + 1);
            ++i;
            classJustOpened = false;
            if (e == u's' || e == u'S') {
                if (inClass && e == u's') {
                    emit(u"\\s", i - 1);
                    emit(EcmaExtraSpaces, i - 1);
                } else if (inClass) {
                    emit(u"\\S", i - 1); // rare; PCRE2's own complement is close enough inside a class
                } else {
                    emit(e == u's' ? u"[\\s" : u"[^\\s", i - 1);
                    emit(EcmaExtraSpaces, i - 1);
                    emit(u"]", i - 1);
                }
            } else if (e == u'v') {
                emit(u"\\x0b", i - 1);
            } else if (isAsciiLetter(e) && !QStringView(u"dDwWbBfnrtcxuk").contains(e)) {
                // An identity escape in ECMAScript (\e, \h, \Q, \A, \z, \p ...): the letter itself.
                emit(QStringView(&e, 1), i - 1);
            } else {
                emit(QStringView(ecma).mid(i - 1, 2), i - 1);
            }
            continue;
        }
        if (inClass) {
            if (c == u']' && !classJustOpened) {
                inClass = false;
            } else if (c == u'[') {
                emit(u"\\[", i); // ECMAScript has no POSIX classes: '[' inside a class is literal
                classJustOpened = false;
                continue;
            } else if (c == u'^' && classJustOpened && i > 0 && ecma.at(i - 1) == u'[') {
                emit(u"^", i);
                continue; // still just opened: "[^]" is the class of every character
            }
            classJustOpened = false;
            emit(QStringView(&c, 1), i);
            continue;
        }
        if (c == u'[') {
            inClass = true;
            classJustOpened = true;
        }
        emit(QStringView(&c, 1), i);
    }
    return out;
}

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
        const QString translated = toPcrePattern(ecmaPattern, originOf);

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
            throw PlatformError(errorCode,
                                QStringLiteral("Syntax error in regular expression: %1 (at character %2)")
                                    .arg(pcreMessage(errorCode))
                                    .arg(at + 1));
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

    [[noreturn]] static void throwRunaway(int rc)
    {
        throw PlatformError(rc, QStringLiteral("The regular expression needs too much backtracking on this "
                                               "text (%1)")
                                    .arg(pcreMessage(rc)));
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
                throwRunaway(rc);
            if (rc != PCRE2_ERROR_NOMATCH)
                throw PlatformError(rc, pcreMessage(rc));
            if (deadline.hasExpired())
                throwRunaway(PCRE2_ERROR_MATCHLIMIT);
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
