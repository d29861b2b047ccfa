// SPDX-License-Identifier: GPL-3.0-or-later
#include "CodePage1251.h"

#include <array>

namespace diarytrawl::cp1251 {

namespace {

// Unicode of bytes 0x80..0xFF; U+FFFD marks the one unassigned byte, 0x98.
constexpr std::array<char16_t, 128> UpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410,
    0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
    0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A,
    0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444,
    0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

constexpr char16_t Unassigned = 0xFFFD;

// The inverse of UpperHalf for the BMP, built once: 0 means "not in the code page".
struct EncodeTable {
    std::array<unsigned char, 0x10000> byteOf{};
    constexpr EncodeTable()
    {
        for (unsigned i = 0; i < 0x80; ++i)
            byteOf[i] = static_cast<unsigned char>(i);
        for (unsigned i = 0; i < UpperHalf.size(); ++i) {
            if (UpperHalf[i] != Unassigned)
                byteOf[UpperHalf[i]] = static_cast<unsigned char>(0x80 + i);
        }
    }
};

const EncodeTable &encodeTable()
{
    static const EncodeTable table;
    return table;
}

} // namespace

QByteArray fromUnicode(QStringView text, Unmapped unmapped)
{
    const EncodeTable &table = encodeTable();
    QByteArray bytes;
    bytes.reserve(text.size());
    auto missing = [&](char32_t codePoint) {
        if (unmapped == Unmapped::QuestionMark) {
            bytes.append('?');
            return;
        }
        const bool readable = !QChar::isSurrogate(codePoint) && (codePoint < 0x80 || codePoint > 0x9F);
        bytes.append("&#");
        bytes.append(QByteArray::number(readable ? quint32(codePoint) : 0xFFFDu));
        bytes.append(';');
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            missing(QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
            ++i;
            continue;
        }
        const unsigned char byte = table.byteOf[unit];
        if (byte != 0 || unit == 0)
            bytes.append(static_cast<char>(byte));
        else
            missing(unit);
    }
    return bytes;
}

bool hasCharacter(QChar c)
{
    return c.unicode() == 0 || encodeTable().byteOf[c.unicode()] != 0;
}

QString toUnicode(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        *out++ = value < 0x80 ? char16_t(value) : UpperHalf[value - 0x80];
    }
    return text;
}

} // namespace diarytrawl::cp1251
