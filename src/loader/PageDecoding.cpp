// SPDX-License-Identifier: GPL-3.0-or-later
#include "PageDecoding.h"

#include "CodePage1251.h"

#include <QList>
#include <QStringDecoder>
#include <QtAlgorithms>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace diarytrawl::web {

namespace {

using namespace std::string_view_literals;

constexpr qsizetype PrescanLength = 1024;
constexpr char16_t ReplacementCharacter = 0xFFFD;

struct LabelEntry {
    std::string_view label;
    std::string_view encoding;
};

// Every label browsers accept, lower case, with the encoding it names.
constexpr LabelEntry Labels[] = {
    {"unicode-1-1-utf-8"sv, "UTF-8"sv},
    {"unicode11utf8"sv, "UTF-8"sv},
    {"unicode20utf8"sv, "UTF-8"sv},
    {"utf-8"sv, "UTF-8"sv},
    {"utf8"sv, "UTF-8"sv},
    {"x-unicode20utf8"sv, "UTF-8"sv},
    {"866"sv, "IBM866"sv},
    {"cp866"sv, "IBM866"sv},
    {"csibm866"sv, "IBM866"sv},
    {"ibm866"sv, "IBM866"sv},
    {"csisolatin2"sv, "ISO-8859-2"sv},
    {"iso-8859-2"sv, "ISO-8859-2"sv},
    {"iso-ir-101"sv, "ISO-8859-2"sv},
    {"iso8859-2"sv, "ISO-8859-2"sv},
    {"iso88592"sv, "ISO-8859-2"sv},
    {"iso_8859-2"sv, "ISO-8859-2"sv},
    {"iso_8859-2:1987"sv, "ISO-8859-2"sv},
    {"l2"sv, "ISO-8859-2"sv},
    {"latin2"sv, "ISO-8859-2"sv},
    {"csisolatin3"sv, "ISO-8859-3"sv},
    {"iso-8859-3"sv, "ISO-8859-3"sv},
    {"iso-ir-109"sv, "ISO-8859-3"sv},
    {"iso8859-3"sv, "ISO-8859-3"sv},
    {"iso88593"sv, "ISO-8859-3"sv},
    {"iso_8859-3"sv, "ISO-8859-3"sv},
    {"iso_8859-3:1988"sv, "ISO-8859-3"sv},
    {"l3"sv, "ISO-8859-3"sv},
    {"latin3"sv, "ISO-8859-3"sv},
    {"csisolatin4"sv, "ISO-8859-4"sv},
    {"iso-8859-4"sv, "ISO-8859-4"sv},
    {"iso-ir-110"sv, "ISO-8859-4"sv},
    {"iso8859-4"sv, "ISO-8859-4"sv},
    {"iso88594"sv, "ISO-8859-4"sv},
    {"iso_8859-4"sv, "ISO-8859-4"sv},
    {"iso_8859-4:1988"sv, "ISO-8859-4"sv},
    {"l4"sv, "ISO-8859-4"sv},
    {"latin4"sv, "ISO-8859-4"sv},
    {"csisolatincyrillic"sv, "ISO-8859-5"sv},
    {"cyrillic"sv, "ISO-8859-5"sv},
    {"iso-8859-5"sv, "ISO-8859-5"sv},
    {"iso-ir-144"sv, "ISO-8859-5"sv},
    {"iso8859-5"sv, "ISO-8859-5"sv},
    {"iso88595"sv, "ISO-8859-5"sv},
    {"iso_8859-5"sv, "ISO-8859-5"sv},
    {"iso_8859-5:1988"sv, "ISO-8859-5"sv},
    {"arabic"sv, "ISO-8859-6"sv},
    {"asmo-708"sv, "ISO-8859-6"sv},
    {"csiso88596e"sv, "ISO-8859-6"sv},
    {"csiso88596i"sv, "ISO-8859-6"sv},
    {"csisolatinarabic"sv, "ISO-8859-6"sv},
    {"ecma-114"sv, "ISO-8859-6"sv},
    {"iso-8859-6"sv, "ISO-8859-6"sv},
    {"iso-8859-6-e"sv, "ISO-8859-6"sv},
    {"iso-8859-6-i"sv, "ISO-8859-6"sv},
    {"iso-ir-127"sv, "ISO-8859-6"sv},
    {"iso8859-6"sv, "ISO-8859-6"sv},
    {"iso88596"sv, "ISO-8859-6"sv},
    {"iso_8859-6"sv, "ISO-8859-6"sv},
    {"iso_8859-6:1987"sv, "ISO-8859-6"sv},
    {"csisolatingreek"sv, "ISO-8859-7"sv},
    {"ecma-118"sv, "ISO-8859-7"sv},
    {"elot_928"sv, "ISO-8859-7"sv},
    {"greek"sv, "ISO-8859-7"sv},
    {"greek8"sv, "ISO-8859-7"sv},
    {"iso-8859-7"sv, "ISO-8859-7"sv},
    {"iso-ir-126"sv, "ISO-8859-7"sv},
    {"iso8859-7"sv, "ISO-8859-7"sv},
    {"iso88597"sv, "ISO-8859-7"sv},
    {"iso_8859-7"sv, "ISO-8859-7"sv},
    {"iso_8859-7:1987"sv, "ISO-8859-7"sv},
    {"sun_eu_greek"sv, "ISO-8859-7"sv},
    {"csiso88598e"sv, "ISO-8859-8"sv},
    {"csisolatinhebrew"sv, "ISO-8859-8"sv},
    {"hebrew"sv, "ISO-8859-8"sv},
    {"iso-8859-8"sv, "ISO-8859-8"sv},
    {"iso-8859-8-e"sv, "ISO-8859-8"sv},
    {"iso-ir-138"sv, "ISO-8859-8"sv},
    {"iso8859-8"sv, "ISO-8859-8"sv},
    {"iso88598"sv, "ISO-8859-8"sv},
    {"iso_8859-8"sv, "ISO-8859-8"sv},
    {"iso_8859-8:1988"sv, "ISO-8859-8"sv},
    {"visual"sv, "ISO-8859-8"sv},
    {"csiso88598i"sv, "ISO-8859-8-I"sv},
    {"iso-8859-8-i"sv, "ISO-8859-8-I"sv},
    {"logical"sv, "ISO-8859-8-I"sv},
    {"csisolatin6"sv, "ISO-8859-10"sv},
    {"iso-8859-10"sv, "ISO-8859-10"sv},
    {"iso-ir-157"sv, "ISO-8859-10"sv},
    {"iso8859-10"sv, "ISO-8859-10"sv},
    {"iso885910"sv, "ISO-8859-10"sv},
    {"l6"sv, "ISO-8859-10"sv},
    {"latin6"sv, "ISO-8859-10"sv},
    {"iso-8859-13"sv, "ISO-8859-13"sv},
    {"iso8859-13"sv, "ISO-8859-13"sv},
    {"iso885913"sv, "ISO-8859-13"sv},
    {"iso-8859-14"sv, "ISO-8859-14"sv},
    {"iso8859-14"sv, "ISO-8859-14"sv},
    {"iso885914"sv, "ISO-8859-14"sv},
    {"csisolatin9"sv, "ISO-8859-15"sv},
    {"iso-8859-15"sv, "ISO-8859-15"sv},
    {"iso8859-15"sv, "ISO-8859-15"sv},
    {"iso885915"sv, "ISO-8859-15"sv},
    {"iso_8859-15"sv, "ISO-8859-15"sv},
    {"l9"sv, "ISO-8859-15"sv},
    {"iso-8859-16"sv, "ISO-8859-16"sv},
    {"cskoi8r"sv, "KOI8-R"sv},
    {"koi"sv, "KOI8-R"sv},
    {"koi8"sv, "KOI8-R"sv},
    {"koi8-r"sv, "KOI8-R"sv},
    {"koi8_r"sv, "KOI8-R"sv},
    {"koi8-ru"sv, "KOI8-U"sv},
    {"koi8-u"sv, "KOI8-U"sv},
    {"csmacintosh"sv, "macintosh"sv},
    {"mac"sv, "macintosh"sv},
    {"macintosh"sv, "macintosh"sv},
    {"x-mac-roman"sv, "macintosh"sv},
    {"dos-874"sv, "windows-874"sv},
    {"iso-8859-11"sv, "windows-874"sv},
    {"iso8859-11"sv, "windows-874"sv},
    {"iso885911"sv, "windows-874"sv},
    {"tis-620"sv, "windows-874"sv},
    {"windows-874"sv, "windows-874"sv},
    {"cp1250"sv, "windows-1250"sv},
    {"windows-1250"sv, "windows-1250"sv},
    {"x-cp1250"sv, "windows-1250"sv},
    {"cp1251"sv, "windows-1251"sv},
    {"windows-1251"sv, "windows-1251"sv},
    {"x-cp1251"sv, "windows-1251"sv},
    {"ansi_x3.4-1968"sv, "windows-1252"sv},
    {"ascii"sv, "windows-1252"sv},
    {"cp1252"sv, "windows-1252"sv},
    {"cp819"sv, "windows-1252"sv},
    {"csisolatin1"sv, "windows-1252"sv},
    {"ibm819"sv, "windows-1252"sv},
    {"iso-8859-1"sv, "windows-1252"sv},
    {"iso-ir-100"sv, "windows-1252"sv},
    {"iso8859-1"sv, "windows-1252"sv},
    {"iso88591"sv, "windows-1252"sv},
    {"iso_8859-1"sv, "windows-1252"sv},
    {"iso_8859-1:1987"sv, "windows-1252"sv},
    {"l1"sv, "windows-1252"sv},
    {"latin1"sv, "windows-1252"sv},
    {"us-ascii"sv, "windows-1252"sv},
    {"windows-1252"sv, "windows-1252"sv},
    {"x-cp1252"sv, "windows-1252"sv},
    {"cp1253"sv, "windows-1253"sv},
    {"windows-1253"sv, "windows-1253"sv},
    {"x-cp1253"sv, "windows-1253"sv},
    {"cp1254"sv, "windows-1254"sv},
    {"csisolatin5"sv, "windows-1254"sv},
    {"iso-8859-9"sv, "windows-1254"sv},
    {"iso-ir-148"sv, "windows-1254"sv},
    {"iso8859-9"sv, "windows-1254"sv},
    {"iso88599"sv, "windows-1254"sv},
    {"iso_8859-9"sv, "windows-1254"sv},
    {"iso_8859-9:1989"sv, "windows-1254"sv},
    {"l5"sv, "windows-1254"sv},
    {"latin5"sv, "windows-1254"sv},
    {"windows-1254"sv, "windows-1254"sv},
    {"x-cp1254"sv, "windows-1254"sv},
    {"cp1255"sv, "windows-1255"sv},
    {"windows-1255"sv, "windows-1255"sv},
    {"x-cp1255"sv, "windows-1255"sv},
    {"cp1256"sv, "windows-1256"sv},
    {"windows-1256"sv, "windows-1256"sv},
    {"x-cp1256"sv, "windows-1256"sv},
    {"cp1257"sv, "windows-1257"sv},
    {"windows-1257"sv, "windows-1257"sv},
    {"x-cp1257"sv, "windows-1257"sv},
    {"cp1258"sv, "windows-1258"sv},
    {"windows-1258"sv, "windows-1258"sv},
    {"x-cp1258"sv, "windows-1258"sv},
    {"x-mac-cyrillic"sv, "x-mac-cyrillic"sv},
    {"x-mac-ukrainian"sv, "x-mac-cyrillic"sv},
    {"chinese"sv, "GBK"sv},
    {"csgb2312"sv, "GBK"sv},
    {"csiso58gb231280"sv, "GBK"sv},
    {"gb2312"sv, "GBK"sv},
    {"gb_2312"sv, "GBK"sv},
    {"gb_2312-80"sv, "GBK"sv},
    {"gbk"sv, "GBK"sv},
    {"iso-ir-58"sv, "GBK"sv},
    {"x-gbk"sv, "GBK"sv},
    {"gb18030"sv, "gb18030"sv},
    {"big5"sv, "Big5"sv},
    {"big5-hkscs"sv, "Big5"sv},
    {"cn-big5"sv, "Big5"sv},
    {"csbig5"sv, "Big5"sv},
    {"x-x-big5"sv, "Big5"sv},
    {"cseucpkdfmtjapanese"sv, "EUC-JP"sv},
    {"euc-jp"sv, "EUC-JP"sv},
    {"x-euc-jp"sv, "EUC-JP"sv},
    {"csiso2022jp"sv, "ISO-2022-JP"sv},
    {"iso-2022-jp"sv, "ISO-2022-JP"sv},
    {"csshiftjis"sv, "Shift_JIS"sv},
    {"ms932"sv, "Shift_JIS"sv},
    {"ms_kanji"sv, "Shift_JIS"sv},
    {"shift-jis"sv, "Shift_JIS"sv},
    {"shift_jis"sv, "Shift_JIS"sv},
    {"sjis"sv, "Shift_JIS"sv},
    {"windows-31j"sv, "Shift_JIS"sv},
    {"x-sjis"sv, "Shift_JIS"sv},
    {"cseuckr"sv, "EUC-KR"sv},
    {"csksc56011987"sv, "EUC-KR"sv},
    {"euc-kr"sv, "EUC-KR"sv},
    {"iso-ir-149"sv, "EUC-KR"sv},
    {"korean"sv, "EUC-KR"sv},
    {"ks_c_5601-1987"sv, "EUC-KR"sv},
    {"ks_c_5601-1989"sv, "EUC-KR"sv},
    {"ksc5601"sv, "EUC-KR"sv},
    {"ksc_5601"sv, "EUC-KR"sv},
    {"windows-949"sv, "EUC-KR"sv},
    {"csiso2022kr"sv, "replacement"sv},
    {"hz-gb-2312"sv, "replacement"sv},
    {"iso-2022-cn"sv, "replacement"sv},
    {"iso-2022-cn-ext"sv, "replacement"sv},
    {"iso-2022-kr"sv, "replacement"sv},
    {"replacement"sv, "replacement"sv},
    {"unicodefffe"sv, "UTF-16BE"sv},
    {"utf-16be"sv, "UTF-16BE"sv},
    {"csunicode"sv, "UTF-16LE"sv},
    {"iso-10646-ucs-2"sv, "UTF-16LE"sv},
    {"ucs-2"sv, "UTF-16LE"sv},
    {"unicode"sv, "UTF-16LE"sv},
    {"unicodefeff"sv, "UTF-16LE"sv},
    {"utf-16"sv, "UTF-16LE"sv},
    {"utf-16le"sv, "UTF-16LE"sv},
    {"x-user-defined"sv, "x-user-defined"sv},
};

// The decoders Qt finds by name (ICU) for the encodings we do not decode ourselves. Where a browser's
// decoder is a superset of the similarly named classic charset, the superset is asked for.
const char *qtDecoderName(std::string_view encoding)
{
    if (encoding == "GBK"sv || encoding == "gb18030"sv)
        return "GB18030";
    if (encoding == "ISO-8859-8-I"sv)
        return "ISO-8859-8";
    if (encoding == "EUC-KR"sv)
        return "windows-949";
    if (encoding == "Shift_JIS"sv)
        return "windows-31j";
    if (encoding == "Big5"sv)
        return "Big5-HKSCS";
    return nullptr;
}

bool decodedByUs(std::string_view encoding)
{
    return encoding == "UTF-8"sv || encoding == "windows-1251"sv || encoding == "UTF-16LE"sv ||
           encoding == "UTF-16BE"sv || encoding == "x-user-defined"sv || encoding == "replacement"sv;
}

// Which encodings of the table Qt can decode here, asked once: ICU builds differ.
class DecoderAvailability {
public:
    DecoderAvailability()
    {
        for (std::size_t i = 0; i < std::size(Labels); ++i) {
            const std::string_view encoding = Labels[i].encoding;
            if (decodedByUs(encoding)) {
                available[i] = true;
                continue;
            }
            const char *name = qtDecoderName(encoding);
            const QByteArray fallback(encoding.data(), qsizetype(encoding.size()));
            available[i] = QStringDecoder(name ? name : fallback.constData()).isValid();
        }
    }
    std::array<bool, std::size(Labels)> available{};
};

const DecoderAvailability &decoderAvailability()
{
    static const DecoderAvailability availability;
    return availability;
}

bool isAsciiWhitespace(char c)
{
    return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

QByteArray toByteArray(std::string_view text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

// A charset label as the lookup sees it: trimmed of ASCII white space and lower-cased.
std::optional<std::string_view> lookUpLabel(QByteArrayView label)
{
    qsizetype begin = 0;
    qsizetype end = label.size();
    while (begin < end && isAsciiWhitespace(label[begin]))
        ++begin;
    while (end > begin && isAsciiWhitespace(label[end - 1]))
        --end;
    const qsizetype length = end - begin;
    if (length == 0 || length > 24)
        return std::nullopt;
    char lowered[24];
    for (qsizetype i = 0; i < length; ++i)
        lowered[i] = asciiLower(label[begin + i]);
    const std::string_view key(lowered, std::size_t(length));
    const DecoderAvailability &availability = decoderAvailability();
    for (std::size_t i = 0; i < std::size(Labels); ++i) {
        if (Labels[i].label == key)
            return availability.available[i] ? std::optional(Labels[i].encoding) : std::nullopt;
    }
    return std::nullopt;
}

// --- Content-Type, read as browsers read MIME types ------------------------------------------------

bool isHttpWhitespace(char c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

bool isHttpTokenCharacter(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return std::strchr("!#$%&'*+-.^_`|~", c) != nullptr && c != '\0';
}

bool isQuotedStringCharacter(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte == '\t' || (byte >= 0x20 && byte != 0x7F);
}

bool allOf(QByteArrayView text, bool (*predicate)(char))
{
    for (const char c : text) {
        if (!predicate(c))
            return false;
    }
    return true;
}

QByteArrayView trimmedHttp(QByteArrayView text)
{
    while (!text.isEmpty() && isHttpWhitespace(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isHttpWhitespace(text.back()))
        text.chop(1);
    return text;
}

// Reads a quoted string starting at the quote; returns its value with the escapes undone and moves
// position past it. With extractValue false it returns the string as written, quotes included.
QByteArray collectQuotedString(QByteArrayView input, qsizetype &position, bool extractValue)
{
    const qsizetype start = position;
    QByteArray value;
    ++position;
    while (true) {
        while (position < input.size() && input[position] != '"' && input[position] != '\\')
            value.append(input[position++]);
        if (position >= input.size())
            break;
        const char quoteOrBackslash = input[position++];
        if (quoteOrBackslash == '\\') {
            if (position >= input.size()) {
                value.append('\\');
                break;
            }
            value.append(input[position++]);
        } else {
            break;
        }
    }
    if (!extractValue)
        return input.sliced(start, position - start).toByteArray();
    return value;
}

struct MimeType {
    QByteArray essence;
    std::optional<QByteArray> charset;
};

std::optional<MimeType> parseMimeType(QByteArrayView input)
{
    input = trimmedHttp(input);
    const qsizetype slash = input.indexOf('/');
    if (slash <= 0)
        return std::nullopt;
    const QByteArrayView type = input.first(slash);
    if (!allOf(type, isHttpTokenCharacter))
        return std::nullopt;
    qsizetype position = slash + 1;
    qsizetype subtypeEnd = position;
    while (subtypeEnd < input.size() && input[subtypeEnd] != ';')
        ++subtypeEnd;
    const QByteArrayView subtype = trimmedHttp(input.sliced(position, subtypeEnd - position));
    if (subtype.isEmpty() || !allOf(subtype, isHttpTokenCharacter))
        return std::nullopt;
    MimeType mime;
    mime.essence = type.toByteArray().toLower() + '/' + subtype.toByteArray().toLower();
    position = subtypeEnd;
    while (position < input.size()) {
        ++position; // the ';'
        while (position < input.size() && isHttpWhitespace(input[position]))
            ++position;
        const qsizetype nameStart = position;
        while (position < input.size() && input[position] != ';' && input[position] != '=')
            ++position;
        const QByteArray name = input.sliced(nameStart, position - nameStart).toByteArray().toLower();
        if (position < input.size()) {
            if (input[position] == ';')
                continue;
            ++position; // the '='
        }
        if (position >= input.size())
            break;
        QByteArray value;
        if (input[position] == '"') {
            value = collectQuotedString(input, position, true);
            while (position < input.size() && input[position] != ';')
                ++position;
        } else {
            const qsizetype valueStart = position;
            while (position < input.size() && input[position] != ';')
                ++position;
            value = trimmedHttp(input.sliced(valueStart, position - valueStart)).toByteArray();
            if (value.isEmpty())
                continue;
        }
        if (name == "charset" && !mime.charset && allOf(value, isQuotedStringCharacter))
            mime.charset = value;
    }
    return mime;
}

// Splits a header value at commas that are not inside quoted strings.
QList<QByteArray> splitHeaderValues(QByteArrayView input)
{
    QList<QByteArray> values;
    qsizetype position = 0;
    QByteArray value;
    while (true) {
        while (position < input.size() && input[position] != '"' && input[position] != ',')
            value.append(input[position++]);
        if (position < input.size()) {
            if (input[position] == '"') {
                value.append(collectQuotedString(input, position, false));
                if (position < input.size())
                    continue;
            } else {
                ++position; // the ','
            }
        }
        QByteArrayView trimmed = value;
        while (!trimmed.isEmpty() && (trimmed.front() == ' ' || trimmed.front() == '\t'))
            trimmed = trimmed.sliced(1);
        while (!trimmed.isEmpty() && (trimmed.back() == ' ' || trimmed.back() == '\t'))
            trimmed.chop(1);
        values.append(trimmed.toByteArray());
        value.clear();
        if (position >= input.size())
            return values;
    }
}

// --- The prescan of a page's first bytes ---------------------------------------------------------

class Prescan {
public:
    explicit Prescan(QByteArrayView bytes)
        : b(bytes.first(std::min(bytes.size(), PrescanLength)))
    {}

    // The declared encoding, an empty array for none found.
    QByteArray run()
    {
        if (startsWith(0, "<\0?\0x\0"sv))
            return "UTF-16LE";
        if (startsWith(0, "\0<\0?\0x"sv))
            return "UTF-16BE";
        if (std::optional<QByteArray> found = scan())
            return *found;
        return xmlEncoding();
    }

private:
    struct Attribute {
        QByteArray name;
        QByteArray value;
    };
    enum class Got { Attribute, Nothing, OutOfBytes };

    bool startsWith(qsizetype at, std::string_view prefix) const
    {
        return at + qsizetype(prefix.size()) <= b.size() &&
               std::memcmp(b.data() + at, prefix.data(), prefix.size()) == 0;
    }
    bool startsWithNoCase(qsizetype at, std::string_view prefix) const
    {
        if (at + qsizetype(prefix.size()) > b.size())
            return false;
        for (std::size_t i = 0; i < prefix.size(); ++i) {
            if (asciiLower(b[at + qsizetype(i)]) != prefix[i])
                return false;
        }
        return true;
    }
    bool isLetter(qsizetype at) const
    {
        return at < b.size() && ((b[at] >= 'a' && b[at] <= 'z') || (b[at] >= 'A' && b[at] <= 'Z'));
    }

    // nullopt when the bytes ran out before a declaration was found.
    std::optional<QByteArray> scan()
    {
        qsizetype position = 0;
        while (position < b.size()) {
            if (startsWith(position, "<!--"sv)) {
                // Ends at the first "-->", whose dashes may be those of the "<!--".
                qsizetype end = position + 2;
                while (end < b.size() && !(b[end] == '>' && b[end - 1] == '-' && b[end - 2] == '-'))
                    ++end;
                if (end >= b.size())
                    return std::nullopt;
                position = end + 1;
                continue;
            }
            if (startsWithNoCase(position, "<meta"sv) && position + 5 < b.size() &&
                (isAsciiWhitespace(b[position + 5]) || b[position + 5] == '/')) {
                position += 5;
                std::optional<QByteArray> declared;
                if (!meta(position, declared))
                    return std::nullopt;
                if (declared)
                    return declared;
                ++position;
                continue;
            }
            if (b[position] == '<' &&
                (isLetter(position + 1) ||
                 (position + 1 < b.size() && b[position + 1] == '/' && isLetter(position + 2)))) {
                while (position < b.size() && !isAsciiWhitespace(b[position]) && b[position] != '>')
                    ++position;
                Attribute attribute;
                Got got;
                while ((got = getAttribute(position, attribute)) == Got::Attribute) {
                }
                if (got == Got::OutOfBytes)
                    return std::nullopt;
                ++position;
                continue;
            }
            if (startsWith(position, "<!"sv) || startsWith(position, "</"sv) ||
                startsWith(position, "<?"sv)) {
                const qsizetype end = b.indexOf('>', position + 1);
                if (end < 0)
                    return std::nullopt;
                position = end + 1;
                continue;
            }
            ++position;
        }
        return std::nullopt;
    }

    // Reads one meta tag's attributes. Returns false when the bytes ran out; declared is set when the
    // tag declares an encoding. position ends on the byte that ended the tag.
    bool meta(qsizetype &position, std::optional<QByteArray> &declared)
    {
        QList<QByteArray> seen;
        bool gotPragma = false;
        std::optional<bool> needPragma;
        enum class Charset { Null, Failure, Found } charsetState = Charset::Null;
        QByteArray charset;
        Attribute attribute;
        while (true) {
            const Got got = getAttribute(position, attribute);
            if (got == Got::OutOfBytes)
                return false;
            if (got == Got::Nothing)
                break;
            if (seen.contains(attribute.name))
                continue;
            seen.append(attribute.name);
            if (attribute.name == "http-equiv") {
                if (attribute.value == "content-type")
                    gotPragma = true;
            } else if (attribute.name == "content") {
                if (std::optional<QByteArray> label = charsetInContent(attribute.value)) {
                    const QByteArray encoding = metaEncoding(*label);
                    if (!encoding.isEmpty() && charsetState == Charset::Null) {
                        charset = encoding;
                        charsetState = Charset::Found;
                        needPragma = true;
                    }
                }
            } else if (attribute.name == "charset") {
                charset = metaEncoding(attribute.value);
                charsetState = charset.isEmpty() ? Charset::Failure : Charset::Found;
                needPragma = false;
            }
        }
        if (!needPragma || (*needPragma && !gotPragma) || charsetState != Charset::Found)
            return true;
        if (charset == "UTF-16LE" || charset == "UTF-16BE")
            charset = "UTF-8";
        else if (charset == "x-user-defined")
            charset = "windows-1252";
        declared = charset;
        return true;
    }

    // A page that names the replacement encoding in its markup is not thereby made unreadable.
    static QByteArray metaEncoding(QByteArrayView label)
    {
        const std::optional<std::string_view> encoding = lookUpLabel(label);
        if (!encoding || *encoding == "replacement"sv)
            return {};
        return toByteArray(*encoding);
    }

    // The charset named in a meta element's content attribute ("text/html; charset=koi8-r").
    static std::optional<QByteArray> charsetInContent(QByteArrayView s)
    {
        qsizetype position = 0;
        while (true) {
            qsizetype found = -1;
            for (qsizetype i = position; i + 7 <= s.size() && found < 0; ++i) {
                found = i;
                for (qsizetype k = 0; k < 7; ++k) {
                    if (asciiLower(s[i + k]) != "charset"[k]) {
                        found = -1;
                        break;
                    }
                }
            }
            if (found < 0)
                return std::nullopt;
            position = found + 7;
            while (position < s.size() && isAsciiWhitespace(s[position]))
                ++position;
            if (position >= s.size() || s[position] != '=')
                continue;
            ++position;
            while (position < s.size() && isAsciiWhitespace(s[position]))
                ++position;
            if (position >= s.size())
                return std::nullopt;
            const char first = s[position];
            if (first == '"' || first == '\'') {
                const qsizetype close = s.indexOf(first, position + 1);
                if (close < 0)
                    return std::nullopt;
                return s.sliced(position + 1, close - position - 1).toByteArray();
            }
            qsizetype end = position;
            while (end < s.size() && !isAsciiWhitespace(s[end]) && s[end] != ';')
                ++end;
            return s.sliced(position, end - position).toByteArray();
        }
    }

    Got getAttribute(qsizetype &position, Attribute &attribute)
    {
        attribute.name.clear();
        attribute.value.clear();
        while (position < b.size() && (isAsciiWhitespace(b[position]) || b[position] == '/'))
            ++position;
        if (position >= b.size())
            return Got::OutOfBytes;
        if (b[position] == '>')
            return Got::Nothing;
        // The name.
        while (true) {
            if (position >= b.size())
                return Got::OutOfBytes;
            const char c = b[position];
            if (c == '=' && !attribute.name.isEmpty()) {
                ++position;
                break;
            }
            if (isAsciiWhitespace(c)) {
                while (position < b.size() && isAsciiWhitespace(b[position]))
                    ++position;
                if (position >= b.size())
                    return Got::OutOfBytes;
                if (b[position] != '=')
                    return Got::Attribute;
                ++position;
                break;
            }
            if (c == '/' || c == '>')
                return Got::Attribute;
            attribute.name.append(asciiLower(c));
            ++position;
        }
        // The value.
        while (position < b.size() && isAsciiWhitespace(b[position]))
            ++position;
        if (position >= b.size())
            return Got::OutOfBytes;
        const char first = b[position];
        if (first == '"' || first == '\'') {
            while (true) {
                ++position;
                if (position >= b.size())
                    return Got::OutOfBytes;
                if (b[position] == first) {
                    ++position;
                    return Got::Attribute;
                }
                attribute.value.append(asciiLower(b[position]));
            }
        }
        if (first == '>')
            return Got::Attribute;
        attribute.value.append(asciiLower(first));
        ++position;
        while (true) {
            if (position >= b.size())
                return Got::OutOfBytes;
            const char c = b[position];
            if (isAsciiWhitespace(c) || c == '>')
                return Got::Attribute;
            attribute.value.append(asciiLower(c));
            ++position;
        }
    }

    // The encoding pseudo-attribute of an XML declaration at the very start.
    QByteArray xmlEncoding() const
    {
        if (!startsWith(0, "<?xml"sv))
            return {};
        const qsizetype declarationEnd = b.indexOf('>');
        if (declarationEnd < 0)
            return {};
        qsizetype position = QByteArrayView(b.first(declarationEnd)).indexOf("encoding");
        if (position < 0)
            return {};
        position += 8;
        while (position < declarationEnd && static_cast<unsigned char>(b[position]) <= 0x20)
            ++position;
        if (position >= declarationEnd || b[position] != '=')
            return {};
        ++position;
        while (position < declarationEnd && static_cast<unsigned char>(b[position]) <= 0x20)
            ++position;
        if (position >= declarationEnd || (b[position] != '"' && b[position] != '\''))
            return {};
        const char quote = b[position++];
        const qsizetype close = b.indexOf(quote, position);
        if (close < 0 || close > declarationEnd)
            return {};
        const QByteArrayView label = b.sliced(position, close - position);
        for (const char c : label) {
            if (static_cast<unsigned char>(c) <= 0x20)
                return {};
        }
        QByteArray encoding = metaEncoding(label);
        if (encoding == "UTF-16LE" || encoding == "UTF-16BE")
            encoding = "UTF-8";
        else if (encoding == "x-user-defined")
            encoding = "windows-1252";
        return encoding;
    }

    QByteArrayView b;
};

// --- Decoders ------------------------------------------------------------------------------------

void appendUtf8(QByteArray &out, char32_t c)
{
    if (c < 0x80) {
        out.append(char(c));
    } else if (c < 0x800) {
        out.append(char(0xC0 | (c >> 6)));
        out.append(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.append(char(0xE0 | (c >> 12)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    } else {
        out.append(char(0xF0 | (c >> 18)));
        out.append(char(0x80 | ((c >> 12) & 0x3F)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    }
}

constexpr char Utf8Replacement[] = "\xEF\xBF\xBD";

// Length of the well-formed UTF-8 sequence at position, 0 when the bytes there are ill formed; then
// bad is how many bytes the one U+FFFD stands for.
int utf8SequenceLength(const unsigned char *p, qsizetype available, int &bad)
{
    const unsigned char lead = p[0];
    int needed;
    unsigned char lower = 0x80;
    unsigned char upper = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        needed = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        needed = 2;
        if (lead == 0xE0)
            lower = 0xA0;
        else if (lead == 0xED)
            upper = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        needed = 3;
        if (lead == 0xF0)
            lower = 0x90;
        else if (lead == 0xF4)
            upper = 0x8F;
    } else {
        bad = 1;
        return 0;
    }
    for (int i = 1; i <= needed; ++i) {
        if (i >= available || p[i] < lower || p[i] > upper) {
            bad = i;
            return 0;
        }
        lower = 0x80;
        upper = 0xBF;
    }
    return needed + 1;
}

// Where the run of ASCII bytes from position ends.
qsizetype skipAscii(const unsigned char *p, qsizetype position, qsizetype size)
{
#if defined(__SSE2__)
    while (position + 16 <= size) {
        const int high = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + position)));
        if (high != 0)
            return position + qCountTrailingZeroBits(quint32(high));
        position += 16;
    }
#endif
    while (position < size && p[position] < 0x80)
        ++position;
    return position;
}

qsizetype firstIllFormedUtf8(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    while (i < size) {
        const unsigned char lead = p[i];
        if (lead < 0x80) {
            i = skipAscii(p, i + 1, size);
            continue;
        }
        // Two-byte sequences (Cyrillic) are most of what is not ASCII on the pages we read.
        if (lead >= 0xC2 && lead <= 0xDF && i + 1 < size && (p[i + 1] & 0xC0) == 0x80) {
            i += 2;
            while (i + 1 < size && p[i] >= 0xC2 && p[i] <= 0xDF && (p[i + 1] & 0xC0) == 0x80)
                i += 2;
            continue;
        }
        int bad = 0;
        const int length = utf8SequenceLength(p + i, size - i, bad);
        if (length == 0)
            return i;
        i += length;
    }
    return -1;
}

// Bytes 0x80..0xFF of windows-1251 as UTF-8, from the code page table every file we write uses.
struct Cp1251Utf8 {
    Cp1251Utf8()
    {
        char upper[128];
        for (int i = 0; i < 128; ++i)
            upper[i] = char(0x80 + i);
        const QString text = cp1251::toUnicode(QByteArrayView(upper, 128));
        for (int i = 0; i < 128; ++i) {
            QByteArray utf8;
            appendUtf8(utf8, text[i].unicode());
            length[i] = static_cast<unsigned char>(utf8.size());
            std::memcpy(bytes[i], utf8.constData(), std::size_t(utf8.size()));
        }
    }
    char bytes[128][3];
    unsigned char length[128];
};

const Cp1251Utf8 &cp1251Utf8()
{
    static const Cp1251Utf8 table;
    return table;
}

QByteArray cp1251ToUtf8(QByteArrayView bytes)
{
    const Cp1251Utf8 &table = cp1251Utf8();
    QByteArray out(bytes.size() * 2, Qt::Uninitialized);
    char *o = out.data();
    char *limit = o + out.size();
    qsizetype written = 0;
    for (const char c : bytes) {
        if (limit - o < 3) {
            written = o - out.data();
            out.resize(out.size() + out.size() / 2 + 16);
            o = out.data() + written;
            limit = out.data() + out.size();
        }
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            *o++ = c;
        } else {
            const unsigned char length = table.length[byte - 0x80];
            std::memcpy(o, table.bytes[byte - 0x80], length);
            o += length;
        }
    }
    out.resize(o - out.data());
    return out;
}

QString utf16ToString(QByteArrayView bytes, bool bigEndian)
{
    QString text;
    text.reserve(bytes.size() / 2 + 1);
    const auto unitAt = [&](qsizetype i) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        return char16_t(bigEndian ? (first << 8) | second : (second << 8) | first);
    };
    const qsizetype units = bytes.size() / 2;
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t unit = unitAt(i * 2);
        if (QChar::isHighSurrogate(unit)) {
            if (i + 1 < units && QChar::isLowSurrogate(unitAt((i + 1) * 2))) {
                text.append(QChar(unit));
                text.append(QChar(unitAt((i + 1) * 2)));
                ++i;
            } else {
                text.append(QChar(ReplacementCharacter));
            }
        } else if (QChar::isLowSurrogate(unit)) {
            text.append(QChar(ReplacementCharacter));
        } else {
            text.append(QChar(unit));
        }
    }
    if (bytes.size() % 2 != 0)
        text.append(QChar(ReplacementCharacter));
    return text;
}

QString userDefinedToString(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = byte < 0x80 ? char16_t(byte) : char16_t(0xF780 + byte - 0x80);
    }
    return text;
}

QString qtDecode(QByteArrayView bytes, QByteArrayView encoding)
{
    const std::string_view name(encoding.data(), std::size_t(encoding.size()));
    const char *qtName = qtDecoderName(name);
    const QByteArray fallback = encoding.toByteArray();
    // Stateless: the page is all there is, so a sequence cut off by its end is an error too.
    QStringDecoder decoder(qtName ? qtName : fallback.constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return cp1251::toUnicode(bytes);
    return decoder.decode(bytes);
}

} // namespace

qsizetype wellFormedUtf16Length(QByteArrayView utf8)
{
    const auto *p = reinterpret_cast<const unsigned char *>(utf8.data());
    const qsizetype size = utf8.size();
    qsizetype units = 0;
    qsizetype i = 0;
#if defined(__SSE2__)
    // Every byte but a continuation byte (0x80..0xBF, below -64 as signed) starts a character; one
    // from 0xF0 up (-16 up) starts a character of two units. Each lane counts up to 255 times before
    // the lanes are summed, so no population count instruction is needed.
    const __m128i continuationLimit = _mm_set1_epi8(-65);
    const __m128i fourByteLimit = _mm_set1_epi8(-17);
    const __m128i zero = _mm_setzero_si128();
    while (i + 16 <= size) {
        __m128i counts = zero;
        for (int round = 0; round < 127 && i + 16 <= size; ++round, i += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
            const __m128i starts = _mm_cmpgt_epi8(bytes, continuationLimit);
            const __m128i fourByteLeads =
                _mm_and_si128(_mm_cmpgt_epi8(bytes, fourByteLimit), _mm_cmplt_epi8(bytes, zero));
            counts = _mm_sub_epi8(_mm_sub_epi8(counts, starts), fourByteLeads);
        }
        const __m128i sums = _mm_sad_epu8(counts, zero);
        units += _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums));
    }
#endif
    for (; i < size; ++i)
        units += ((p[i] & 0xC0) != 0x80) + (p[i] >= 0xF0);
    return units;
}

char16_t *wellFormedUtf8ToUtf16(QByteArrayView utf8, char16_t *out, const char16_t *outEnd)
{
    const auto *p = reinterpret_cast<const unsigned char *>(utf8.data());
    const auto *end = p + utf8.size();
    // The checks against outEnd only matter for input that breaks the promise of being well formed.
    while (p < end && out < outEnd) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            // A lone space between words is copied as it is; longer runs (markup) sixteen at a time.
            *out++ = lead;
            if (++p == end || *p >= 0x80)
                continue;
#if defined(__SSE2__)
            const __m128i zero = _mm_setzero_si128();
            while (end - p >= 16 && outEnd - out >= 16) {
                const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
                if (_mm_movemask_epi8(bytes) != 0)
                    break;
                _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_unpacklo_epi8(bytes, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 8), _mm_unpackhi_epi8(bytes, zero));
                out += 16;
                p += 16;
            }
#endif
            while (p < end && *p < 0x80 && out < outEnd)
                *out++ = *p++;
            continue;
        }
        if (lead >= 0xC0 && lead < 0xE0 && end - p >= 2) {
            // Runs of two-byte sequences: Cyrillic text.
            do {
                *out++ = char16_t(((p[0] & 0x1F) << 6) | (p[1] & 0x3F));
                p += 2;
            } while (end - p >= 2 && (*p & 0xE0) == 0xC0 && out < outEnd);
        } else if (lead >= 0xE0 && lead < 0xF0 && end - p >= 3) {
            *out++ = char16_t(((lead & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
            p += 3;
        } else if (lead >= 0xF0 && end - p >= 4 && outEnd - out >= 2) {
            const char32_t c = char32_t(((lead & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) |
                                        (p[3] & 0x3F));
            *out++ = QChar::highSurrogate(c);
            *out++ = QChar::lowSurrogate(c);
            p += 4;
        } else {
            *out++ = ReplacementCharacter;
            ++p;
        }
    }
    return out;
}

QString wellFormedUtf8ToString(QByteArrayView utf8)
{
    QString text(wellFormedUtf16Length(utf8), Qt::Uninitialized);
    auto *out = reinterpret_cast<char16_t *>(text.data());
    const char16_t *written = wellFormedUtf8ToUtf16(utf8, out, out + text.size());
    text.truncate(written - out);
    return text;
}

QByteArray encodingForLabel(QByteArrayView label)
{
    const std::optional<std::string_view> encoding = lookUpLabel(label);
    return encoding ? toByteArray(*encoding) : QByteArray();
}

QByteArray charsetFromContentType(QByteArrayView contentType)
{
    std::optional<QByteArray> charset;
    QByteArray essence;
    bool found = false;
    for (const QByteArray &value : splitHeaderValues(contentType)) {
        const std::optional<MimeType> mime = parseMimeType(value);
        if (!mime || mime->essence == "*/*")
            continue;
        found = true;
        if (mime->essence != essence) {
            charset = mime->charset;
            essence = mime->essence;
        } else if (mime->charset) {
            charset = mime->charset;
        }
    }
    if (!found || !charset)
        return {};
    return encodingForLabel(*charset);
}

QByteArray prescanCharset(QByteArrayView bytes)
{
    return Prescan(bytes).run();
}

PageCharset detectCharset(QByteArrayView body, QByteArrayView httpContentType)
{
    if (body.startsWith("\xEF\xBB\xBF"))
        return {"UTF-8", CharsetSource::ByteOrderMark, 3};
    if (body.startsWith("\xFE\xFF"))
        return {"UTF-16BE", CharsetSource::ByteOrderMark, 2};
    if (body.startsWith("\xFF\xFE"))
        return {"UTF-16LE", CharsetSource::ByteOrderMark, 2};
    QByteArray encoding = charsetFromContentType(httpContentType);
    if (!encoding.isEmpty())
        return {encoding, CharsetSource::HttpHeader, 0};
    encoding = prescanCharset(body);
    if (!encoding.isEmpty())
        return {encoding, CharsetSource::MetaDeclaration, 0};
    return {"windows-1251", CharsetSource::Default, 0};
}

bool repairUtf8(QByteArrayView bytes, QByteArray &repaired)
{
    qsizetype position = firstIllFormedUtf8(bytes);
    if (position < 0)
        return false;
    repaired.clear();
    repaired.reserve(bytes.size() + 16);
    repaired.append(bytes.first(position));
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    while (position < bytes.size()) {
        if (p[position] < 0x80) {
            repaired.append(char(p[position++]));
            continue;
        }
        int bad = 0;
        const int length = utf8SequenceLength(p + position, bytes.size() - position, bad);
        if (length == 0) {
            repaired.append(Utf8Replacement, 3);
            position += bad;
        } else {
            repaired.append(bytes.sliced(position, length));
            position += length;
        }
    }
    return true;
}

QString decodeBytes(QByteArrayView bytes, QByteArrayView encoding)
{
    if (encoding == "UTF-8") {
        QByteArray repaired;
        return wellFormedUtf8ToString(repairUtf8(bytes, repaired) ? QByteArrayView(repaired) : bytes);
    }
    if (encoding == "windows-1251")
        return cp1251::toUnicode(bytes);
    if (encoding == "UTF-16LE" || encoding == "UTF-16BE")
        return utf16ToString(bytes, encoding == "UTF-16BE");
    if (encoding == "x-user-defined")
        return userDefinedToString(bytes);
    if (encoding == "replacement")
        return bytes.isEmpty() ? QString() : QString(QChar(ReplacementCharacter));
    return qtDecode(bytes, encoding);
}

QString decodePage(const QByteArray &body, const QByteArray &httpContentType)
{
    const PageCharset charset = detectCharset(body, httpContentType);
    return decodeBytes(QByteArrayView(body).sliced(charset.bomLength), charset.encoding);
}

Utf8Page pageToUtf8(const QByteArray &body, const QByteArray &httpContentType)
{
    const PageCharset charset = detectCharset(body, httpContentType);
    const QByteArrayView bytes = QByteArrayView(body).sliced(charset.bomLength);
    Utf8Page page;
    page.encoding = charset.encoding;
    if (charset.encoding == "UTF-8") {
        QByteArray repaired;
        if (repairUtf8(bytes, repaired)) {
            page.storage = std::move(repaired);
            page.text = page.storage;
        } else {
            page.storage = body;
            page.text = QByteArrayView(page.storage).sliced(charset.bomLength);
        }
        return page;
    }
    if (charset.encoding == "windows-1251")
        page.storage = cp1251ToUtf8(bytes);
    else
        page.storage = decodeBytes(bytes, charset.encoding).toUtf8();
    page.text = page.storage;
    return page;
}

} // namespace diarytrawl::web
