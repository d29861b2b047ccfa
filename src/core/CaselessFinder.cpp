// SPDX-License-Identifier: GPL-3.0-or-later
#include "CaselessFinder.h"

#include <QMultiHash>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define DIARYTRAWL_SCAN_AVX2 1
#endif

#include <algorithm>
#include <bit>
#include <functional>
#include <optional>
#include <string_view>

namespace diarytrawl {

namespace {

// The code units that do not fold to themselves, by what they fold to; made once.
const QMultiHash<char32_t, char16_t> &unfolded()
{
    static const QMultiHash<char32_t, char16_t> units = [] {
        QMultiHash<char32_t, char16_t> made;
        for (char32_t unit = 0; unit <= 0xFFFF; ++unit) {
            if (!QChar::isSurrogate(unit) && QChar::toCaseFolded(unit) != unit)
                made.insert(QChar::toCaseFolded(unit), char16_t(unit));
        }
        return made;
    }();
    return units;
}

// Every code unit that folds as unit does (the unit among them), as many times over as fills the set.
template<typename Units>
std::optional<Units> foldingAs(QChar unit)
{
    if (unit.isSurrogate())
        return std::nullopt;
    const char32_t folded = QChar::toCaseFolded(unit.unicode());
    if (folded > 0xFFFF)
        return std::nullopt;
    const QList<char16_t> others = unfolded().values(folded);
    Units units{};
    if (others.size() >= qsizetype(units.size()))
        return std::nullopt;
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = i == 0 ? char16_t(folded) : others.value(qsizetype(i) - 1, char16_t(folded));
    return units;
}

// How common a character is in the text of a journal, as far as letter frequencies of English and
// Russian tell; a character of neither alphabet counts as rare, a space or a mark as most common.
int commonness(QChar c)
{
    static constexpr std::u16string_view Latin = u"etaoinsrhldcumfpgwybvkxjqz";
    static constexpr std::u16string_view Cyrillic = u"оеаинтсрвлкмдпуяыьгзбчйхжшюцщэфъё";
    const char16_t folded = char16_t(c.toCaseFolded().unicode());
    if (const std::size_t at = Latin.find(folded); at != std::u16string_view::npos)
        return 100 - int(at);
    if (const std::size_t at = Cyrillic.find(folded); at != std::u16string_view::npos)
        return 100 - int(at);
    if (folded >= u'0' && folded <= u'9')
        return 80;
    if (folded < 0x80 || c.isSpace() || c.isPunct())
        return 200;
    return 0;
}

template<typename Units>
bool isOneOf(char16_t unit, const Units &units)
{
    return std::find(units.begin(), units.end(), unit) != units.end();
}

// The vector scans: from at, a block of places at a time, the places where units that fold as the
// needle's two chosen ones stand headAt and tailAt after the place; each is handed to confirmed. They return
// the first place confirmed, or -1 with at left where fewer places than a block remain.
using Confirm = std::function<bool(qsizetype)>;

#if defined(__SSE2__)
qsizetype scanNarrow(const char16_t *units, qsizetype &at, qsizetype end, qsizetype headAt, qsizetype tailAt,
                     const std::array<char16_t, 4> &firsts, const std::array<char16_t, 4> &lasts,
                     const Confirm &confirmed)
{
    const auto fill = [](char16_t unit) {
        return _mm_set1_epi16(static_cast<short>(unit));
    };
    const __m128i first0 = fill(firsts[0]), first1 = fill(firsts[1]), first2 = fill(firsts[2]),
                  first3 = fill(firsts[3]);
    const __m128i last0 = fill(lasts[0]), last1 = fill(lasts[1]), last2 = fill(lasts[2]),
                  last3 = fill(lasts[3]);
    for (; at + 8 <= end; at += 8) {
        const __m128i heads = _mm_loadu_si128(reinterpret_cast<const __m128i *>(units + at + headAt));
        const __m128i tails = _mm_loadu_si128(reinterpret_cast<const __m128i *>(units + at + tailAt));
        const __m128i headsFit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(heads, first0), _mm_cmpeq_epi16(heads, first1)),
                         _mm_or_si128(_mm_cmpeq_epi16(heads, first2), _mm_cmpeq_epi16(heads, first3)));
        const __m128i tailsFit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(tails, last0), _mm_cmpeq_epi16(tails, last1)),
                         _mm_or_si128(_mm_cmpeq_epi16(tails, last2), _mm_cmpeq_epi16(tails, last3)));
        // Two bits a place: the lower one of each pair tells.
        for (unsigned places = unsigned(_mm_movemask_epi8(_mm_and_si128(headsFit, tailsFit))); places != 0;
             places &= places - 1) {
            const qsizetype candidate = at + std::countr_zero(places) / 2;
            if (confirmed(candidate))
                return candidate;
            places &= places - 1; // the pair's upper bit
        }
    }
    return -1;
}
#endif

#if defined(DIARYTRAWL_SCAN_AVX2)
// Sixteen places at a time, where the processor has AVX2 (asked once, at run time).
__attribute__((target("avx2"))) qsizetype scanWide(const char16_t *units, qsizetype &at, qsizetype end,
                                                   qsizetype headAt, qsizetype tailAt,
                                                   const std::array<char16_t, 4> &firsts,
                                                   const std::array<char16_t, 4> &lasts,
                                                   const Confirm &confirmed)
{
    const auto fill = [](char16_t unit) {
        return static_cast<short>(unit);
    };
    const __m256i first0 = _mm256_set1_epi16(fill(firsts[0])), first1 = _mm256_set1_epi16(fill(firsts[1])),
                  first2 = _mm256_set1_epi16(fill(firsts[2])), first3 = _mm256_set1_epi16(fill(firsts[3]));
    const __m256i last0 = _mm256_set1_epi16(fill(lasts[0])), last1 = _mm256_set1_epi16(fill(lasts[1])),
                  last2 = _mm256_set1_epi16(fill(lasts[2])), last3 = _mm256_set1_epi16(fill(lasts[3]));
    for (; at + 16 <= end; at += 16) {
        const __m256i heads = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(units + at + headAt));
        const __m256i tails = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(units + at + tailAt));
        const __m256i headsFit = _mm256_or_si256(
            _mm256_or_si256(_mm256_cmpeq_epi16(heads, first0), _mm256_cmpeq_epi16(heads, first1)),
            _mm256_or_si256(_mm256_cmpeq_epi16(heads, first2), _mm256_cmpeq_epi16(heads, first3)));
        const __m256i tailsFit = _mm256_or_si256(
            _mm256_or_si256(_mm256_cmpeq_epi16(tails, last0), _mm256_cmpeq_epi16(tails, last1)),
            _mm256_or_si256(_mm256_cmpeq_epi16(tails, last2), _mm256_cmpeq_epi16(tails, last3)));
        for (unsigned places = unsigned(_mm256_movemask_epi8(_mm256_and_si256(headsFit, tailsFit)));
             places != 0; places &= places - 1) {
            const qsizetype candidate = at + std::countr_zero(places) / 2;
            if (confirmed(candidate))
                return candidate;
            places &= places - 1;
        }
    }
    return -1;
}
#endif

} // namespace

CaselessFinder::CaselessFinder(QString needle)
    : m_needle(std::move(needle))
{
    if (m_needle.isEmpty())
        return;
    // The two units of the needle least common in text are looked for, so that few places need the
    // whole needle compared; the first and the last when either of those cannot be.
    qsizetype rarest = -1, next = -1;
    for (qsizetype i = 0; i < m_needle.size(); ++i) {
        if (m_needle[i].isSurrogate())
            continue;
        const int common = commonness(m_needle[i]);
        if (rarest < 0 || common < commonness(m_needle[rarest])) {
            next = rarest;
            rarest = i;
        } else if (next < 0 || common < commonness(m_needle[next])) {
            next = i;
        }
    }
    if (rarest >= 0) {
        m_headAt = std::min(rarest, next < 0 ? rarest : next);
        m_tailAt = std::max(rarest, next < 0 ? rarest : next);
    } else {
        m_tailAt = m_needle.size() - 1;
    }
    const std::optional<Units> firsts = foldingAs<Units>(m_needle[m_headAt]);
    const std::optional<Units> lasts = foldingAs<Units>(m_needle[m_tailAt]);
    m_scans = firsts && lasts;
    if (m_scans) {
        m_firsts = *firsts;
        m_lasts = *lasts;
    }
}

qsizetype CaselessFinder::indexIn(QStringView text, qsizetype from) const
{
    if (!m_scans || from < 0)
        return text.indexOf(m_needle, from, Qt::CaseInsensitive);
    const qsizetype size = m_needle.size();
    const qsizetype end = text.size() - size + 1; // places a match can start: [from, end)
    const char16_t *units = text.utf16();
    const auto confirmed = [&](qsizetype at) {
        return text.sliced(at, size).compare(m_needle, Qt::CaseInsensitive) == 0;
    };
    qsizetype at = from;
#if defined(DIARYTRAWL_SCAN_AVX2)
    static const bool wide = __builtin_cpu_supports("avx2");
    if (wide) {
        const qsizetype found = scanWide(units, at, end, m_headAt, m_tailAt, m_firsts, m_lasts, confirmed);
        if (found >= 0)
            return found;
    }
#endif
#if defined(__SSE2__)
    const qsizetype found = scanNarrow(units, at, end, m_headAt, m_tailAt, m_firsts, m_lasts, confirmed);
    if (found >= 0)
        return found;
#endif
    for (; at < end; ++at) {
        if (isOneOf(units[at + m_headAt], m_firsts) && isOneOf(units[at + m_tailAt], m_lasts) &&
            confirmed(at))
            return at;
    }
    return -1;
}

} // namespace diarytrawl
