// SPDX-License-Identifier: GPL-3.0-or-later
#include "CaselessFinder.h"

#include <QMultiHash>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <optional>

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

template<typename Units>
bool isOneOf(char16_t unit, const Units &units)
{
    return std::find(units.begin(), units.end(), unit) != units.end();
}

} // namespace

CaselessFinder::CaselessFinder(QString needle)
    : m_needle(std::move(needle))
{
    if (m_needle.isEmpty())
        return;
    const std::optional<Units> firsts = foldingAs<Units>(m_needle.front());
    const std::optional<Units> lasts = foldingAs<Units>(m_needle.back());
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
    const auto matchesAt = [&](qsizetype at) {
        return isOneOf(units[at], m_firsts) && isOneOf(units[at + size - 1], m_lasts) &&
               text.sliced(at, size).compare(m_needle, Qt::CaseInsensitive) == 0;
    };
    qsizetype at = from;
#if defined(__SSE2__)
    const auto fill = [](char16_t unit) {
        return _mm_set1_epi16(static_cast<short>(unit));
    };
    const __m128i first0 = fill(m_firsts[0]), first1 = fill(m_firsts[1]), first2 = fill(m_firsts[2]),
                  first3 = fill(m_firsts[3]);
    const __m128i last0 = fill(m_lasts[0]), last1 = fill(m_lasts[1]), last2 = fill(m_lasts[2]),
                  last3 = fill(m_lasts[3]);
    for (; at + 8 <= end; at += 8) {
        const __m128i heads = _mm_loadu_si128(reinterpret_cast<const __m128i *>(units + at));
        const __m128i tails = _mm_loadu_si128(reinterpret_cast<const __m128i *>(units + at + size - 1));
        const __m128i headsFit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(heads, first0), _mm_cmpeq_epi16(heads, first1)),
                         _mm_or_si128(_mm_cmpeq_epi16(heads, first2), _mm_cmpeq_epi16(heads, first3)));
        const __m128i tailsFit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(tails, last0), _mm_cmpeq_epi16(tails, last1)),
                         _mm_or_si128(_mm_cmpeq_epi16(tails, last2), _mm_cmpeq_epi16(tails, last3)));
        // Two bits a place: the lower one of each pair tells.
        for (int places = _mm_movemask_epi8(_mm_and_si128(headsFit, tailsFit)); places != 0;
             places &= places - 1) {
            const qsizetype candidate = at + std::countr_zero(unsigned(places)) / 2;
            if (text.sliced(candidate, size).compare(m_needle, Qt::CaseInsensitive) == 0)
                return candidate;
            places &= places - 1; // the pair's upper bit
        }
    }
#endif
    for (; at < end; ++at) {
        if (matchesAt(at))
            return at;
    }
    return -1;
}

} // namespace diarytrawl
