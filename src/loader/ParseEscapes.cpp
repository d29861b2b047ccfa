// SPDX-License-Identifier: GPL-3.0-or-later
#include "ParseEscapes.h"

#include <QtAlgorithms>

#include <algorithm>
#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <array>

namespace diarytrawl::web {

namespace {

constexpr char32_t Escape = 0x10FFFD;
constexpr char32_t StandInBase = 0x10FE00; // stand-ins of the kept characters, by their index below

// The index of a character the parser would replace, or -1. Indexes: C0 controls and DEL to U+009F by
// their value (0 to 0x9F), the noncharacters U+FDD0 to U+FDEF from 0xA0, U+xFFFE and U+xFFFF from 0xC0.
int keptIndex(char32_t c)
{
    if ((c >= 0x01 && c <= 0x08) || c == 0x0B || (c >= 0x0E && c <= 0x1F) || (c >= 0x7F && c <= 0x9F))
        return int(c);
    if (c >= 0xFDD0 && c <= 0xFDEF)
        return 0xA0 + int(c - 0xFDD0);
    if ((c & 0xFFFE) == 0xFFFE)
        return 0xC0 + int(c >> 16) * 2 + int(c & 1);
    return -1;
}

char32_t keptCharacter(int index)
{
    if (index < 0xA0)
        return char32_t(index);
    if (index < 0xC0)
        return char32_t(0xFDD0 + index - 0xA0);
    const int plane = (index - 0xC0) / 2;
    return char32_t(plane << 16) | 0xFFFE | char32_t((index - 0xC0) % 2);
}

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(char(c));
    } else if (c < 0x800) {
        out.push_back(char(0xC0 | (c >> 6)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(char(0xE0 | (c >> 12)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (c >> 18)));
        out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    }
}

// The code point at p (well-formed UTF-8) and its length.
char32_t decode(const unsigned char *p, int &length)
{
    if (p[0] < 0x80) {
        length = 1;
        return p[0];
    }
    if (p[0] < 0xE0) {
        length = 2;
        return char32_t(p[0] & 0x1F) << 6 | (p[1] & 0x3F);
    }
    if (p[0] < 0xF0) {
        length = 3;
        return char32_t(p[0] & 0x0F) << 12 | char32_t(p[1] & 0x3F) << 6 | (p[2] & 0x3F);
    }
    length = 4;
    return char32_t(p[0] & 0x07) << 18 | char32_t(p[1] & 0x3F) << 12 | char32_t(p[2] & 0x3F) << 6 |
           (p[3] & 0x3F);
}

// Whether the byte may start a character to escape: an ASCII control or DEL, or the lead byte of
// U+0080 to U+009F, of U+FDD0 to U+FFFF, or of anything past the first plane.
constexpr std::array<bool, 256> makeSuspects()
{
    std::array<bool, 256> suspects{};
    for (int b = 0x01; b < 0x20; ++b)
        suspects[b] = b != '\t' && b != '\n' && b != '\f' && b != '\r';
    suspects[0x7F] = true;
    suspects[0xC2] = true;
    suspects[0xEF] = true;
    for (int b = 0xF0; b <= 0xF4; ++b)
        suspects[b] = true;
    return suspects;
}
constexpr std::array<bool, 256> Suspects = makeSuspects();

} // namespace

ParseEscapes::ParseEscapes(std::string_view page)
{
    const auto *begin = reinterpret_cast<const unsigned char *>(page.data());
    const auto *end = begin + page.size();
    const unsigned char *p = begin;
    const unsigned char *copied = begin;
    while (p < end) {
#if defined(__SSE2__)
        // Sixteen bytes at a time while none may start a character to escape: most pages have none.
        const __m128i space = _mm_set1_epi8(0x20);
        const __m128i lead = _mm_set1_epi8(char(0xF0));
        while (end - p >= 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            const __m128i control =
                _mm_andnot_si128(_mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t')),
                                                           _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))),
                                              _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\f')),
                                                           _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')))),
                                 _mm_cmpeq_epi8(_mm_min_epu8(bytes, space), bytes));
            const __m128i other =
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x7F)),
                                          _mm_cmpeq_epi8(bytes, _mm_set1_epi8(char(0xC2)))),
                             _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(char(0xEF))),
                                          _mm_cmpeq_epi8(_mm_max_epu8(bytes, lead), bytes)));
            if (const int mask = _mm_movemask_epi8(_mm_or_si128(control, other)); mask != 0) {
                p += qCountTrailingZeroBits(quint32(mask));
                break;
            }
            p += 16;
        }
        if (p >= end)
            break;
#endif
        if (!Suspects[*p]) {
            ++p;
            continue;
        }
        int length = 1;
        const char32_t c =
            end - p >= 4 || *p < 0x80 || (*p < 0xE0 && end - p >= 2) || (*p < 0xF0 && end - p >= 3)
                ? decode(p, length)
                : char32_t(0xFFFD);
        const int index = keptIndex(c);
        if (index < 0 && c != Escape) {
            p += length;
            continue;
        }
        if (m_escaped.empty())
            m_escaped.reserve(page.size() + page.size() / 16);
        m_escaped.append(reinterpret_cast<const char *>(copied), std::size_t(p - copied));
        appendUtf8(m_escaped, Escape);
        appendUtf8(m_escaped, index < 0 ? Escape : StandInBase + char32_t(index));
        p += length;
        copied = p;
    }
    if (!m_escaped.empty())
        m_escaped.append(reinterpret_cast<const char *>(copied), std::size_t(end - copied));
}

std::string ParseEscapes::unescape(std::string_view text, std::vector<Shift> *shifts)
{
    // U+10FFFD is F4 8F BF BD; its stand-ins U+10FE00 to U+10FFFC start F4 8F B8 to F4 8F BF.
    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0;
    std::size_t shorter = 0;
    for (std::size_t at = text.find("\xF4\x8F\xBF\xBD");
         at != std::string_view::npos && at + 8 <= text.size(); at = text.find("\xF4\x8F\xBF\xBD", at)) {
        int length = 0;
        const char32_t standIn =
            decode(reinterpret_cast<const unsigned char *>(text.data()) + at + 4, length);
        out.append(text.substr(copied, at - copied));
        const std::size_t before = out.size();
        appendUtf8(out, standIn == Escape ? Escape : keptCharacter(int(standIn - StandInBase)));
        shorter += 8 - (out.size() - before);
        at += 8;
        copied = at;
        if (shifts)
            shifts->push_back({at, shorter});
    }
    out.append(text.substr(copied));
    return out;
}

std::size_t ParseEscapes::unescapedOffset(const std::vector<Shift> &shifts, std::size_t offset)
{
    const auto after =
        std::upper_bound(shifts.begin(), shifts.end(), offset,
                         [](std::size_t value, const Shift &shift) { return value < shift.at; });
    return after == shifts.begin() ? offset : offset - std::prev(after)->shorterBy;
}

} // namespace diarytrawl::web
