// SPDX-License-Identifier: GPL-3.0-or-later
#include "ParseEscapes.h"

#include <QtAlgorithms>

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Writes c as UTF-8 at out; returns how many bytes that took.
int encodeUtf8(char *out, char32_t c)
{
    if (c < 0x80) {
        out[0] = char(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = char(0xC0 | (c >> 6));
        out[1] = char(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = char(0xE0 | (c >> 12));
        out[1] = char(0x80 | ((c >> 6) & 0x3F));
        out[2] = char(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = char(0xF0 | (c >> 18));
    out[1] = char(0x80 | ((c >> 12) & 0x3F));
    out[2] = char(0x80 | ((c >> 6) & 0x3F));
    out[3] = char(0x80 | (c & 0x3F));
    return 4;
}

void appendUtf8(std::string &out, char32_t c)
{
    char bytes[4];
    out.append(bytes, std::size_t(encodeUtf8(bytes, c)));
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

namespace {

// Undoes the escapes of UTF-8 in place; returns its new size.
std::size_t unescapeUtf8(char *text, std::size_t size, std::vector<ParseEscapes::Shift> *shifts)
{
    // U+10FFFD is F4 8F BF BD; its stand-ins U+10FE00 to U+10FFFC start F4 8F B8 to F4 8F BF.
    constexpr std::string_view EscapeUtf8 = "\xF4\x8F\xBF\xBD";
    const std::string_view view(text, size);
    std::size_t written = 0;
    std::size_t copied = 0;
    std::size_t shorter = 0;
    for (std::size_t at = view.find(EscapeUtf8); at != std::string_view::npos && at + 8 <= size;
         at = view.find(EscapeUtf8, at)) {
        int length = 0;
        const char32_t standIn = decode(reinterpret_cast<const unsigned char *>(text) + at + 4, length);
        // Only what lies before at is written, never past at + 4: the search ahead reads what was there.
        std::memmove(text + written, text + copied, at - copied);
        written += at - copied;
        const int kept = encodeUtf8(text + written,
                                    standIn == Escape ? Escape : keptCharacter(int(standIn - StandInBase)));
        written += std::size_t(kept);
        shorter += 8 - std::size_t(kept);
        at += 8;
        copied = at;
        if (shifts)
            shifts->push_back({at, shorter});
    }
    if (copied == 0)
        return size;
    std::memmove(text + written, text + copied, size - copied);
    return written + size - copied;
}

} // namespace

void ParseEscapes::unescape(QByteArray &utf8, std::vector<Shift> *shifts)
{
    if (utf8.isEmpty())
        return;
    utf8.truncate(qsizetype(unescapeUtf8(utf8.data(), std::size_t(utf8.size()), shifts)));
}

std::string ParseEscapes::unescaped(std::string_view utf8)
{
    std::string text(utf8);
    text.resize(unescapeUtf8(text.data(), text.size(), nullptr));
    return text;
}

void ParseEscapes::unescape(QString &text, std::vector<Shift> *shifts)
{
    // U+10FFFD is DBFF DFFD in UTF-16, its stand-ins DBFF DE00 to DBFF DFFC.
    constexpr char16_t Escape16[] = {0xDBFF, 0xDFFD};
    const QStringView escape(Escape16, 2);
    qsizetype at = QStringView(text).indexOf(escape);
    if (at < 0)
        return;
    const qsizetype size = text.size();
    auto *units = reinterpret_cast<char16_t *>(text.data());
    const QStringView view(units, size);
    qsizetype written = 0;
    qsizetype copied = 0;
    for (; at >= 0 && at + 4 <= size; at = view.indexOf(escape, at)) {
        if (!QChar::isHighSurrogate(units[at + 2]) || !QChar::isLowSurrogate(units[at + 3])) {
            at += 2;
            continue;
        }
        const char32_t standIn = QChar::surrogateToUcs4(units[at + 2], units[at + 3]);
        const char32_t c = standIn == Escape ? Escape : keptCharacter(int(standIn - StandInBase));
        std::memmove(units + written, units + copied, std::size_t(at - copied) * sizeof(char16_t));
        written += at - copied;
        if (QChar::requiresSurrogates(c)) {
            units[written++] = QChar::highSurrogate(c);
            units[written++] = QChar::lowSurrogate(c);
        } else {
            units[written++] = char16_t(c);
        }
        at += 4;
        copied = at;
        if (shifts)
            shifts->push_back({std::size_t(at), std::size_t(at - written)});
    }
    std::memmove(units + written, units + copied, std::size_t(size - copied) * sizeof(char16_t));
    text.truncate(written + size - copied);
}

std::size_t ParseEscapes::unescapedOffset(const std::vector<Shift> &shifts, std::size_t offset)
{
    const auto after =
        std::upper_bound(shifts.begin(), shifts.end(), offset,
                         [](std::size_t value, const Shift &shift) { return value < shift.at; });
    return after == shifts.begin() ? offset : offset - std::prev(after)->shorterBy;
}

} // namespace diarytrawl::web
