// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebAddress.h"

#include "CodePage1251.h"
#include "PageDecoding.h"

#include <QHash>
#include <QStringEncoder>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace diarytrawl::web {

namespace {

using namespace Qt::StringLiterals;
using namespace std::string_view_literals;

constexpr char32_t EndOfInput = 0xFFFFFFFF;

// The percent-encode sets of the URL standard.
enum class EncodeSet { C0Control, Fragment, Query, SpecialQuery, Path, Userinfo };

bool inEncodeSet(char32_t c, EncodeSet set)
{
    if (c < 0x20 || c > 0x7E)
        return true;
    const auto queryChar = [](char32_t q) {
        return q == ' ' || q == '"' || q == '#' || q == '<' || q == '>';
    };
    const auto pathChar = [&](char32_t p) {
        return queryChar(p) || p == '?' || p == '^' || p == '`' || p == '{' || p == '}';
    };
    switch (set) {
    case EncodeSet::C0Control:
        return false;
    case EncodeSet::Fragment:
        return c == ' ' || c == '"' || c == '<' || c == '>' || c == '`';
    case EncodeSet::Query:
        return queryChar(c);
    case EncodeSet::SpecialQuery:
        return queryChar(c) || c == '\'';
    case EncodeSet::Path:
        return pathChar(c);
    case EncodeSet::Userinfo:
        return pathChar(c) || c == '/' || c == ':' || c == ';' || c == '=' || c == '@' ||
               (c >= '[' && c <= '^') || c == '|';
    }
    return true;
}

constexpr char HexDigits[] = "0123456789ABCDEF";

void appendPercentByte(std::string &out, unsigned char byte)
{
    out.push_back('%');
    out.push_back(HexDigits[byte >> 4]);
    out.push_back(HexDigits[byte & 0xF]);
}

int utf8Bytes(char32_t c, unsigned char *bytes)
{
    if (c < 0x80) {
        bytes[0] = static_cast<unsigned char>(c);
        return 1;
    }
    if (c < 0x800) {
        bytes[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
        bytes[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        bytes[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
        bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 3;
    }
    bytes[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
    bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    bytes[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 4;
}

void appendEncoded(std::string &out, char32_t c, EncodeSet set)
{
    if (!inEncodeSet(c, set)) {
        out.push_back(char(c));
        return;
    }
    unsigned char bytes[4];
    const int count = utf8Bytes(c, bytes);
    for (int i = 0; i < count; ++i)
        appendPercentByte(out, bytes[i]);
}

// Code points of a string; an unpaired surrogate becomes U+FFFD as it would on its way to UTF-8.
std::u32string codePoints(QStringView text)
{
    std::u32string points;
    points.reserve(std::size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            points.push_back(QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
            ++i;
        } else if (QChar::isSurrogate(unit)) {
            points.push_back(0xFFFD);
        } else {
            points.push_back(unit);
        }
    }
    return points;
}

// Code points of well-formed UTF-8 (what the HTML parser hands out).
std::u32string codePointsOfUtf8(std::string_view utf8)
{
    std::u32string points;
    points.reserve(utf8.size());
    const auto *p = reinterpret_cast<const unsigned char *>(utf8.data());
    const auto *end = p + utf8.size();
    while (p < end) {
        const unsigned char lead = *p;
        const int length = lead < 0x80 ? 1 : lead < 0xC0 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (length == 0 || end - p < length) {
            points.push_back(0xFFFD);
            ++p;
            continue;
        }
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (int i = 1; i < length; ++i)
            c = (c << 6) | (p[i] & 0x3F);
        points.push_back(c);
        p += length;
    }
    return points;
}

QString fromCodePoints(std::u32string_view points)
{
    QString text;
    text.reserve(qsizetype(points.size()));
    for (const char32_t c : points) {
        if (c > 0xFFFF) {
            text.append(QChar(QChar::highSurrogate(c)));
            text.append(QChar(QChar::lowSurrogate(c)));
        } else {
            text.append(QChar(char16_t(c)));
        }
    }
    return text;
}

bool isAsciiAlpha(char32_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isAsciiDigit(char32_t c)
{
    return c >= '0' && c <= '9';
}
bool isAsciiHexDigit(char32_t c)
{
    return isAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int hexValue(char32_t c)
{
    if (isAsciiDigit(c))
        return int(c - '0');
    return int((c | 0x20) - 'a' + 10);
}
char32_t asciiLower(char32_t c)
{
    return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
}

bool isSpecialScheme(std::string_view scheme)
{
    return scheme == "http"sv || scheme == "https"sv || scheme == "ws"sv || scheme == "wss"sv ||
           scheme == "ftp"sv || scheme == "file"sv;
}

int defaultPort(std::string_view scheme)
{
    if (scheme == "http"sv || scheme == "ws"sv)
        return 80;
    if (scheme == "https"sv || scheme == "wss"sv)
        return 443;
    if (scheme == "ftp"sv)
        return 21;
    return -1;
}

bool isForbiddenHostCodePoint(char32_t c)
{
    switch (c) {
    case 0x00:
    case '\t':
    case '\n':
    case '\r':
    case ' ':
    case '#':
    case '/':
    case ':':
    case '<':
    case '>':
    case '?':
    case '@':
    case '[':
    case '\\':
    case ']':
    case '^':
    case '|':
        return true;
    default:
        return false;
    }
}

bool isForbiddenDomainCodePoint(char32_t c)
{
    return isForbiddenHostCodePoint(c) || c <= 0x1F || c == '%' || c == 0x7F;
}

// --- Hosts ---------------------------------------------------------------------------------------

template<typename View>
std::optional<quint64> parseIpv4Number(View input)
{
    if (input.empty())
        return std::nullopt;
    int radix = 10;
    if (input.size() >= 2 && input[0] == '0' && (input[1] == 'x' || input[1] == 'X')) {
        input.remove_prefix(2);
        radix = 16;
    } else if (input.size() >= 2 && input[0] == '0') {
        input.remove_prefix(1);
        radix = 8;
    }
    if (input.empty())
        return 0;
    quint64 value = 0;
    for (const auto point : input) {
        const auto c = char32_t(static_cast<unsigned char>(point));
        int digit;
        if (radix == 16 && isAsciiHexDigit(c))
            digit = hexValue(c);
        else if (radix == 10 && isAsciiDigit(c))
            digit = int(c - '0');
        else if (radix == 8 && c >= '0' && c <= '7')
            digit = int(c - '0');
        else
            return std::nullopt;
        // Anything past 2^32 fails later whatever its size; saturate instead of overflowing.
        value = std::min<quint64>(value * quint64(radix) + quint64(digit), quint64(1) << 40);
    }
    return value;
}

bool endsInANumber(std::string_view input)
{
    if (!input.empty() && input.back() == '.') {
        input.remove_suffix(1);
        if (input.empty())
            return false;
    }
    const std::size_t dot = input.rfind('.');
    const std::string_view last = dot == std::string_view::npos ? input : input.substr(dot + 1);
    if (!last.empty() && std::all_of(last.begin(), last.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return true;
    return parseIpv4Number(last).has_value();
}

std::optional<std::string> parseIpv4(std::string_view input)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = input.find('.', start);
        parts.push_back(
            input.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    if (parts.back().empty() && parts.size() > 1)
        parts.pop_back();
    if (parts.size() > 4)
        return std::nullopt;
    std::vector<quint64> numbers;
    for (const std::string_view part : parts) {
        const std::optional<quint64> number = parseIpv4Number(part);
        if (!number)
            return std::nullopt;
        numbers.push_back(*number);
    }
    for (std::size_t i = 0; i + 1 < numbers.size(); ++i) {
        if (numbers[i] > 255)
            return std::nullopt;
    }
    if (numbers.back() >= (quint64(1) << (8 * (5 - numbers.size()))))
        return std::nullopt;
    quint64 address = numbers.back();
    for (std::size_t i = 0; i + 1 < numbers.size(); ++i)
        address += numbers[i] << (8 * (3 - i));
    return std::to_string((address >> 24) & 0xFF) + '.' + std::to_string((address >> 16) & 0xFF) + '.' +
           std::to_string((address >> 8) & 0xFF) + '.' + std::to_string(address & 0xFF);
}

std::optional<std::string> parseIpv6(std::u32string_view input)
{
    std::array<quint16, 8> address{};
    int pieceIndex = 0;
    int compress = -1;
    std::size_t pointer = 0;
    const auto at = [&](std::size_t i) {
        return i < input.size() ? input[i] : EndOfInput;
    };
    if (at(pointer) == ':') {
        if (at(pointer + 1) != ':')
            return std::nullopt;
        pointer += 2;
        ++pieceIndex;
        compress = pieceIndex;
    }
    while (at(pointer) != EndOfInput) {
        if (pieceIndex == 8)
            return std::nullopt;
        if (at(pointer) == ':') {
            if (compress != -1)
                return std::nullopt;
            ++pointer;
            ++pieceIndex;
            compress = pieceIndex;
            continue;
        }
        unsigned value = 0;
        int length = 0;
        while (length < 4 && isAsciiHexDigit(at(pointer))) {
            value = value * 0x10 + unsigned(hexValue(at(pointer)));
            ++pointer;
            ++length;
        }
        if (at(pointer) == '.') {
            if (length == 0)
                return std::nullopt;
            pointer -= std::size_t(length);
            if (pieceIndex > 6)
                return std::nullopt;
            int numbersSeen = 0;
            while (at(pointer) != EndOfInput) {
                int ipv4Piece = -1;
                if (numbersSeen > 0) {
                    if (at(pointer) == '.' && numbersSeen < 4)
                        ++pointer;
                    else
                        return std::nullopt;
                }
                if (!isAsciiDigit(at(pointer)))
                    return std::nullopt;
                while (isAsciiDigit(at(pointer))) {
                    const int number = int(at(pointer) - '0');
                    if (ipv4Piece == -1)
                        ipv4Piece = number;
                    else if (ipv4Piece == 0)
                        return std::nullopt;
                    else
                        ipv4Piece = ipv4Piece * 10 + number;
                    if (ipv4Piece > 255)
                        return std::nullopt;
                    ++pointer;
                }
                address[std::size_t(pieceIndex)] =
                    quint16(address[std::size_t(pieceIndex)] * 0x100 + ipv4Piece);
                ++numbersSeen;
                if (numbersSeen == 2 || numbersSeen == 4)
                    ++pieceIndex;
            }
            if (numbersSeen != 4)
                return std::nullopt;
            break;
        }
        if (at(pointer) == ':') {
            ++pointer;
            if (at(pointer) == EndOfInput)
                return std::nullopt;
        } else if (at(pointer) != EndOfInput) {
            return std::nullopt;
        }
        address[std::size_t(pieceIndex)] = quint16(value);
        ++pieceIndex;
    }
    if (compress != -1) {
        int swaps = pieceIndex - compress;
        pieceIndex = 7;
        while (pieceIndex != 0 && swaps > 0) {
            std::swap(address[std::size_t(pieceIndex)], address[std::size_t(compress + swaps - 1)]);
            --pieceIndex;
            --swaps;
        }
    } else if (pieceIndex != 8) {
        return std::nullopt;
    }

    // Written with the first longest run of two or more zero pieces compressed.
    int runStart = -1;
    int runLength = 1;
    for (int i = 0; i < 8;) {
        if (address[std::size_t(i)] != 0) {
            ++i;
            continue;
        }
        int j = i;
        while (j < 8 && address[std::size_t(j)] == 0)
            ++j;
        if (j - i > runLength) {
            runStart = i;
            runLength = j - i;
        }
        i = j;
    }
    std::string out = "[";
    bool ignoreZero = false;
    char piece[8];
    for (int i = 0; i < 8; ++i) {
        if (ignoreZero && address[std::size_t(i)] == 0)
            continue;
        ignoreZero = false;
        if (i == runStart) {
            out += i == 0 ? "::" : ":";
            ignoreZero = true;
            continue;
        }
        std::snprintf(piece, sizeof piece, "%x", unsigned(address[std::size_t(i)]));
        out += piece;
        if (i != 7)
            out += ':';
    }
    out += ']';
    return out;
}

QByteArray percentDecode(std::u32string_view input)
{
    std::string utf8;
    for (const char32_t c : input) {
        unsigned char bytes[4];
        const int count = utf8Bytes(c, bytes);
        utf8.append(reinterpret_cast<const char *>(bytes), std::size_t(count));
    }
    QByteArray out;
    out.reserve(qsizetype(utf8.size()));
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '%' && i + 2 < utf8.size() && isAsciiHexDigit(char32_t(utf8[i + 1])) &&
            isAsciiHexDigit(char32_t(utf8[i + 2]))) {
            out.append(char(hexValue(char32_t(utf8[i + 1])) * 16 + hexValue(char32_t(utf8[i + 2]))));
            i += 2;
        } else {
            out.append(utf8[i]);
        }
    }
    return out;
}

bool startsPunycodeLabel(std::u32string_view domain, std::size_t i)
{
    return (i == 0 || domain[i - 1] == '.') && i + 4 <= domain.size() && asciiLower(domain[i]) == 'x' &&
           asciiLower(domain[i + 1]) == 'n' && domain[i + 2] == '-' && domain[i + 3] == '-';
}

// Whether every label of an ASCII domain that is in punycode decodes to a label IDNA would write so
// itself: browsers reject an "xn--" label that is no punycode or that decodes to something IDNA maps
// or disallows.
bool punycodeLabelsValid(std::string_view domain)
{
    for (std::size_t start = 0; start <= domain.size();) {
        const std::size_t dot = std::min(domain.find('.', start), domain.size());
        const std::string_view label = domain.substr(start, dot - start);
        if (label.starts_with("xn--"sv)) {
            const QByteArray ace(label.data(), qsizetype(label.size()));
            // Qt gives an ACE label back unchanged when it does not decode to a valid one.
            if (QUrl::fromAce(ace, QUrl::IgnoreIDNWhitelist) == QLatin1StringView(ace))
                return false;
        }
        start = dot + 1;
    }
    return true;
}

// The host of a special address, as browsers write it; nullopt when they reject it.
std::optional<std::string> domainToAscii(std::u32string_view input)
{
    std::string result;
    bool simple = true;
    for (std::size_t i = 0; i < input.size() && simple; ++i)
        simple = input[i] < 0x80 && input[i] != '%' && !startsPunycodeLabel(input, i);
    if (simple) {
        result.reserve(input.size());
        for (const char32_t c : input)
            result.push_back(char(asciiLower(c)));
    } else {
        const QString domain = QString::fromUtf8(percentDecode(input));
        const QByteArray ace = QUrl::toAce(domain);
        result.assign(ace.constData(), std::size_t(ace.size()));
        if (!punycodeLabelsValid(result))
            return std::nullopt;
    }
    if (result.empty())
        return std::nullopt;
    for (const char c : result) {
        if (isForbiddenDomainCodePoint(static_cast<unsigned char>(c)))
            return std::nullopt;
    }
    return result;
}

// A host, written as it is serialised; nullopt when browsers reject it.
std::optional<std::string> parseHost(std::u32string_view input, bool isNotSpecial)
{
    if (!input.empty() && input.front() == '[') {
        if (input.back() != ']' || input.size() < 2)
            return std::nullopt;
        return parseIpv6(input.substr(1, input.size() - 2));
    }
    if (isNotSpecial) {
        std::string host;
        for (const char32_t c : input) {
            if (isForbiddenHostCodePoint(c))
                return std::nullopt;
            appendEncoded(host, c, EncodeSet::C0Control);
        }
        return host;
    }
    std::optional<std::string> asciiDomain = domainToAscii(input);
    if (!asciiDomain)
        return std::nullopt;
    if (endsInANumber(*asciiDomain))
        return parseIpv4(*asciiDomain);
    return asciiDomain;
}

// --- Query encoding in a document's legacy charset ------------------------------------------------

// Encodes one code point for a query: its bytes, or nothing when the charset lacks it.
class QueryEncoder {
public:
    explicit QueryEncoder(std::string_view encoding)
    {
        if (encoding == "windows-1251"sv) {
            kind = Kind::Cp1251;
        } else if (encoding.empty() || encoding == "UTF-8"sv || encoding == "UTF-16LE"sv ||
                   encoding == "UTF-16BE"sv || encoding == "replacement"sv) {
            kind = Kind::Utf8;
        } else {
            name = QByteArray(encoding.data(), qsizetype(encoding.size()));
            if (name == "GBK")
                name = "GB18030";
            else if (name == "EUC-KR")
                name = "windows-949";
            else if (name == "Shift_JIS")
                name = "windows-31j";
            else if (name == "Big5")
                name = "Big5-HKSCS";
            else if (name == "ISO-8859-8-I")
                name = "ISO-8859-8";
            kind = QStringEncoder(name.constData()).isValid() ? Kind::Qt : Kind::Utf8;
        }
    }

    bool isUtf8() const { return kind == Kind::Utf8; }

    // false when the charset has no bytes for c.
    bool encode(char32_t c, std::string &bytes) const
    {
        bytes.clear();
        if (c < 0x80) {
            bytes.push_back(char(c));
            return true;
        }
        if (kind == Kind::Cp1251) {
            const QHash<char32_t, char> &table = cp1251Bytes();
            const auto found = table.constFind(c);
            if (found == table.constEnd())
                return false;
            bytes.push_back(found.value());
            return true;
        }
        QStringEncoder encoder(name.constData(), QStringConverter::Flag::Stateless);
        const QByteArray encoded = encoder.encode(fromCodePoints(std::u32string_view(&c, 1)));
        bytes.assign(encoded.constData(), std::size_t(encoded.size()));
        return !encoder.hasError();
    }

private:
    enum class Kind { Utf8, Cp1251, Qt };

    static const QHash<char32_t, char> &cp1251Bytes()
    {
        static const QHash<char32_t, char> table = [] {
            QHash<char32_t, char> bytes;
            char upper[128];
            for (int i = 0; i < 128; ++i)
                upper[i] = char(0x80 + i);
            const QString text = cp1251::toUnicode(QByteArrayView(upper, 128));
            for (int i = 0; i < 128; ++i) {
                if (text[i].unicode() != 0xFFFD)
                    bytes.insert(text[i].unicode(), upper[i]);
            }
            return bytes;
        }();
        return table;
    }

    Kind kind = Kind::Utf8;
    QByteArray name;
};

// --- The parser ----------------------------------------------------------------------------------

// An address as the parser builds it. Every part is ASCII once parsed: what is not is percent-encoded
// or, in a host, punycode.
struct Record {
    std::string scheme;
    bool special = false;
    std::string username;
    std::string password;
    bool hasHost = false;
    std::string host;
    int port = -1;
    bool opaquePath = false;
    std::vector<std::string> path;
    bool hasQuery = false;
    std::string query;
    bool hasFragment = false;
    std::string fragment;
};

// Code points of an href as the parser takes them: leading and trailing C0 controls and spaces
// dropped, tabs and newlines dropped anywhere.
std::u32string cleanInput(std::u32string points)
{
    std::size_t begin = 0;
    std::size_t end = points.size();
    while (begin < end && points[begin] <= 0x20)
        ++begin;
    while (end > begin && points[end - 1] <= 0x20)
        --end;
    points.erase(end);
    points.erase(0, begin);
    std::erase_if(points, [](char32_t c) { return c == '\t' || c == '\n' || c == '\r'; });
    return points;
}

class Parser {
public:
    Parser(std::u32string text, const Record *baseRecord, std::string_view documentEncoding)
        : base(baseRecord)
        , encoding(documentEncoding)
        , input(cleanInput(std::move(text)))
    {}

    std::optional<Record> run();

private:
    enum class State {
        SchemeStart,
        Scheme,
        NoScheme,
        SpecialRelativeOrAuthority,
        PathOrAuthority,
        Relative,
        RelativeSlash,
        SpecialAuthoritySlashes,
        SpecialAuthorityIgnoreSlashes,
        Authority,
        Host,
        Port,
        File,
        FileSlash,
        FileHost,
        PathStart,
        Path,
        OpaquePath,
        Query,
        Fragment,
    };

    char32_t at(qsizetype i) const
    {
        return i >= 0 && i < qsizetype(input.size()) ? input[std::size_t(i)] : EndOfInput;
    }
    bool remainingStartsWith(char32_t c) const { return at(pointer + 1) == c; }
    void setScheme(std::string scheme)
    {
        url.scheme = std::move(scheme);
        url.special = isSpecialScheme(url.scheme);
    }

    static bool isWindowsDriveLetter(std::u32string_view s)
    {
        return s.size() == 2 && isAsciiAlpha(s[0]) && (s[1] == ':' || s[1] == '|');
    }
    static bool isNormalizedWindowsDriveLetter(std::string_view s)
    {
        return s.size() == 2 && isAsciiAlpha(char32_t(s[0])) && s[1] == ':';
    }
    bool startsWithWindowsDriveLetter(qsizetype from) const
    {
        if (from < 0 || from + 2 > qsizetype(input.size()))
            return false;
        if (!isWindowsDriveLetter(std::u32string_view(input).substr(std::size_t(from), 2)))
            return false;
        const char32_t third = at(from + 2);
        return third == EndOfInput || third == '/' || third == '\\' || third == '?' || third == '#';
    }
    static bool equalsNoCase(std::string_view s, std::string_view lower)
    {
        if (s.size() != lower.size())
            return false;
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (char(asciiLower(char32_t(s[i]))) != lower[i])
                return false;
        }
        return true;
    }
    static bool isSingleDot(std::string_view s) { return s == "."sv || equalsNoCase(s, "%2e"sv); }
    static bool isDoubleDot(std::string_view s)
    {
        return s == ".."sv || equalsNoCase(s, ".%2e"sv) || equalsNoCase(s, "%2e."sv) ||
               equalsNoCase(s, "%2e%2e"sv);
    }
    void shortenPath()
    {
        if (url.scheme == "file"sv && url.path.size() == 1 &&
            isNormalizedWindowsDriveLetter(url.path.front()))
            return;
        if (!url.path.empty())
            url.path.pop_back();
    }
    void copyAuthority(const Record &from)
    {
        url.username = from.username;
        url.password = from.password;
        url.hasHost = from.hasHost;
        url.host = from.host;
        url.port = from.port;
    }
    void setHost(std::string host)
    {
        url.hasHost = true;
        url.host = std::move(host);
    }
    void encodeQuery();

    const Record *base;
    std::string_view encoding;
    std::u32string input;
    qsizetype pointer = 0;
    Record url;
    std::u32string buffer;
    std::string pathBuffer;
    bool atSignSeen = false;
    bool insideBrackets = false;
    bool passwordTokenSeen = false;
};

void Parser::encodeQuery()
{
    const EncodeSet set = url.special ? EncodeSet::SpecialQuery : EncodeSet::Query;
    const bool legacy = url.special && url.scheme != "ws"sv && url.scheme != "wss"sv;
    bool ascii = true;
    for (const char32_t c : buffer)
        ascii = ascii && c < 0x80;
    if (ascii || !legacy) {
        for (const char32_t c : buffer)
            appendEncoded(url.query, c, set);
        buffer.clear();
        return;
    }
    const QueryEncoder encoder(encoding);
    std::string bytes;
    for (const char32_t c : buffer) {
        if (encoder.isUtf8()) {
            appendEncoded(url.query, c, set);
            continue;
        }
        if (!encoder.encode(c, bytes)) {
            // As browsers do: a character the charset lacks goes as its numeric character reference.
            url.query += "%26%23" + std::to_string(quint32(c)) + "%3B";
            continue;
        }
        for (const char byte : bytes) {
            const auto value = static_cast<unsigned char>(byte);
            if (inEncodeSet(value, set))
                appendPercentByte(url.query, value);
            else
                url.query.push_back(byte);
        }
    }
    buffer.clear();
}

std::optional<Record> Parser::run()
{
    State state = State::SchemeStart;
    for (pointer = 0;; ++pointer) {
        const char32_t c = at(pointer);
        switch (state) {
        case State::SchemeStart:
            if (isAsciiAlpha(c)) {
                buffer.push_back(asciiLower(c));
                state = State::Scheme;
            } else {
                state = State::NoScheme;
                --pointer;
            }
            break;

        case State::Scheme:
            if (isAsciiAlpha(c) || isAsciiDigit(c) || c == '+' || c == '-' || c == '.') {
                buffer.push_back(asciiLower(c));
            } else if (c == ':') {
                setScheme(std::string(buffer.begin(), buffer.end()));
                buffer.clear();
                if (url.scheme == "file"sv) {
                    state = State::File;
                } else if (url.special && base && base->scheme == url.scheme) {
                    state = State::SpecialRelativeOrAuthority;
                } else if (url.special) {
                    state = State::SpecialAuthoritySlashes;
                } else if (remainingStartsWith('/')) {
                    state = State::PathOrAuthority;
                    ++pointer;
                } else {
                    url.opaquePath = true;
                    url.path.assign(1, std::string());
                    state = State::OpaquePath;
                }
            } else {
                buffer.clear();
                state = State::NoScheme;
                pointer = -1;
            }
            break;

        case State::NoScheme:
            if (!base || (base->opaquePath && c != '#'))
                return std::nullopt;
            if (base->opaquePath && c == '#') {
                setScheme(base->scheme);
                url.opaquePath = true;
                url.path = base->path;
                url.hasQuery = base->hasQuery;
                url.query = base->query;
                url.hasFragment = true;
                state = State::Fragment;
            } else if (base->scheme != "file"sv) {
                state = State::Relative;
                --pointer;
            } else {
                state = State::File;
                --pointer;
            }
            break;

        case State::SpecialRelativeOrAuthority:
            if (c == '/' && remainingStartsWith('/')) {
                state = State::SpecialAuthorityIgnoreSlashes;
                ++pointer;
            } else {
                state = State::Relative;
                --pointer;
            }
            break;

        case State::PathOrAuthority:
            if (c == '/') {
                state = State::Authority;
            } else {
                state = State::Path;
                --pointer;
            }
            break;

        case State::Relative:
            setScheme(base->scheme);
            if (c == '/' || (url.special && c == '\\')) {
                state = State::RelativeSlash;
            } else {
                copyAuthority(*base);
                url.path = base->path;
                url.hasQuery = base->hasQuery;
                url.query = base->query;
                if (c == '?') {
                    url.hasQuery = true;
                    url.query.clear();
                    state = State::Query;
                } else if (c == '#') {
                    url.hasFragment = true;
                    state = State::Fragment;
                } else if (c != EndOfInput) {
                    url.hasQuery = false;
                    url.query.clear();
                    shortenPath();
                    state = State::Path;
                    --pointer;
                }
            }
            break;

        case State::RelativeSlash:
            if (url.special && (c == '/' || c == '\\')) {
                state = State::SpecialAuthorityIgnoreSlashes;
            } else if (c == '/') {
                state = State::Authority;
            } else {
                copyAuthority(*base);
                state = State::Path;
                --pointer;
            }
            break;

        case State::SpecialAuthoritySlashes:
            state = State::SpecialAuthorityIgnoreSlashes;
            if (c == '/' && remainingStartsWith('/'))
                ++pointer;
            else
                --pointer;
            break;

        case State::SpecialAuthorityIgnoreSlashes:
            if (c != '/' && c != '\\') {
                state = State::Authority;
                --pointer;
            }
            break;

        case State::Authority:
            if (c == '@') {
                if (atSignSeen)
                    buffer.insert(0, U"%40");
                atSignSeen = true;
                for (const char32_t point : buffer) {
                    if (point == ':' && !passwordTokenSeen) {
                        passwordTokenSeen = true;
                        continue;
                    }
                    appendEncoded(passwordTokenSeen ? url.password : url.username, point,
                                  EncodeSet::Userinfo);
                }
                buffer.clear();
            } else if (c == EndOfInput || c == '/' || c == '?' || c == '#' || (url.special && c == '\\')) {
                if (atSignSeen && buffer.empty())
                    return std::nullopt;
                pointer -= qsizetype(buffer.size()) + 1;
                buffer.clear();
                state = State::Host;
            } else {
                buffer.push_back(c);
            }
            break;

        case State::Host:
            if (c == ':' && !insideBrackets) {
                if (buffer.empty())
                    return std::nullopt;
                std::optional<std::string> host = parseHost(buffer, !url.special);
                if (!host)
                    return std::nullopt;
                setHost(std::move(*host));
                buffer.clear();
                state = State::Port;
            } else if (c == EndOfInput || c == '/' || c == '?' || c == '#' || (url.special && c == '\\')) {
                --pointer;
                if (url.special && buffer.empty())
                    return std::nullopt;
                std::optional<std::string> host = parseHost(buffer, !url.special);
                if (!host)
                    return std::nullopt;
                setHost(std::move(*host));
                buffer.clear();
                state = State::PathStart;
            } else {
                if (c == '[')
                    insideBrackets = true;
                if (c == ']')
                    insideBrackets = false;
                buffer.push_back(c);
            }
            break;

        case State::Port:
            if (isAsciiDigit(c)) {
                buffer.push_back(c);
            } else if (c == EndOfInput || c == '/' || c == '?' || c == '#' || (url.special && c == '\\')) {
                if (!buffer.empty()) {
                    quint64 port = 0;
                    for (const char32_t digit : buffer) {
                        port = port * 10 + (digit - '0');
                        if (port > 65535)
                            return std::nullopt;
                    }
                    url.port = int(port) == defaultPort(url.scheme) ? -1 : int(port);
                    buffer.clear();
                }
                state = State::PathStart;
                --pointer;
            } else {
                return std::nullopt;
            }
            break;

        case State::File:
            setScheme("file");
            setHost(std::string());
            if (c == '/' || c == '\\') {
                state = State::FileSlash;
            } else if (base && base->scheme == "file"sv) {
                url.hasHost = base->hasHost;
                url.host = base->host;
                url.path = base->path;
                url.hasQuery = base->hasQuery;
                url.query = base->query;
                if (c == '?') {
                    url.hasQuery = true;
                    url.query.clear();
                    state = State::Query;
                } else if (c == '#') {
                    url.hasFragment = true;
                    state = State::Fragment;
                } else if (c != EndOfInput) {
                    url.hasQuery = false;
                    url.query.clear();
                    if (!startsWithWindowsDriveLetter(pointer))
                        shortenPath();
                    else
                        url.path.clear();
                    state = State::Path;
                    --pointer;
                }
            } else {
                state = State::Path;
                --pointer;
            }
            break;

        case State::FileSlash:
            if (c == '/' || c == '\\') {
                state = State::FileHost;
            } else {
                if (base && base->scheme == "file"sv) {
                    url.hasHost = base->hasHost;
                    url.host = base->host;
                    if (!startsWithWindowsDriveLetter(pointer) && !base->path.empty() &&
                        isNormalizedWindowsDriveLetter(base->path.front()))
                        url.path.push_back(base->path.front());
                }
                state = State::Path;
                --pointer;
            }
            break;

        case State::FileHost:
            if (c == EndOfInput || c == '/' || c == '\\' || c == '?' || c == '#') {
                --pointer;
                if (isWindowsDriveLetter(buffer)) {
                    state = State::Path;
                } else if (buffer.empty()) {
                    setHost(std::string());
                    state = State::PathStart;
                } else {
                    std::optional<std::string> host = parseHost(buffer, !url.special);
                    if (!host)
                        return std::nullopt;
                    if (*host == "localhost"sv)
                        host->clear();
                    setHost(std::move(*host));
                    buffer.clear();
                    state = State::PathStart;
                }
            } else {
                buffer.push_back(c);
            }
            break;

        case State::PathStart:
            if (url.special) {
                state = State::Path;
                if (c != '/' && c != '\\')
                    --pointer;
            } else if (c == '?') {
                url.hasQuery = true;
                state = State::Query;
            } else if (c == '#') {
                url.hasFragment = true;
                state = State::Fragment;
            } else if (c != EndOfInput) {
                state = State::Path;
                if (c != '/')
                    --pointer;
            }
            break;

        case State::Path:
            // A drive letter the file host state left in the buffer comes first.
            if (!buffer.empty()) {
                for (const char32_t point : buffer)
                    appendEncoded(pathBuffer, point, EncodeSet::Path);
                buffer.clear();
            }
            if (c == EndOfInput || c == '/' || (url.special && c == '\\') || c == '?' || c == '#') {
                const bool slash = c == '/' || (url.special && c == '\\');
                if (isDoubleDot(pathBuffer)) {
                    shortenPath();
                    if (!slash)
                        url.path.emplace_back();
                } else if (isSingleDot(pathBuffer) && !slash) {
                    url.path.emplace_back();
                } else if (!isSingleDot(pathBuffer)) {
                    if (url.scheme == "file"sv && url.path.empty() && pathBuffer.size() == 2 &&
                        isAsciiAlpha(char32_t(pathBuffer[0])) &&
                        (pathBuffer[1] == ':' || pathBuffer[1] == '|'))
                        pathBuffer[1] = ':';
                    url.path.push_back(pathBuffer);
                }
                pathBuffer.clear();
                if (c == '?') {
                    url.hasQuery = true;
                    url.query.clear();
                    state = State::Query;
                } else if (c == '#') {
                    url.hasFragment = true;
                    state = State::Fragment;
                }
            } else {
                appendEncoded(pathBuffer, c, EncodeSet::Path);
            }
            break;

        case State::OpaquePath:
            if (c == '?') {
                url.hasQuery = true;
                state = State::Query;
            } else if (c == '#') {
                url.hasFragment = true;
                state = State::Fragment;
            } else if (c != EndOfInput) {
                appendEncoded(url.path.front(), c, EncodeSet::C0Control);
            }
            break;

        case State::Query:
            if (c == '#' || c == EndOfInput) {
                encodeQuery();
                if (c == '#') {
                    url.hasFragment = true;
                    state = State::Fragment;
                }
            } else {
                buffer.push_back(c);
            }
            break;

        case State::Fragment:
            if (c != EndOfInput)
                appendEncoded(url.fragment, c, EncodeSet::Fragment);
            break;
        }
        if (pointer >= qsizetype(input.size()))
            break;
    }
    return url;
}

// A parsed part as the parser keeps parts: ASCII.
std::string toAscii(QStringView text)
{
    std::string ascii;
    ascii.reserve(std::size_t(text.size()));
    for (const QChar c : text)
        ascii.push_back(char(c.unicode()));
    return ascii;
}

Record toRecord(const WebAddress &address)
{
    Record record;
    record.scheme = toAscii(address.scheme());
    record.special = isSpecialScheme(record.scheme);
    record.username = toAscii(address.username());
    record.password = toAscii(address.password());
    record.hasHost = address.hasHost();
    record.host = toAscii(address.host());
    record.port = address.port();
    record.opaquePath = address.hasOpaquePath();
    const QStringView path = address.path();
    if (record.opaquePath) {
        record.path.push_back(toAscii(path));
    } else if (!path.isEmpty()) {
        // Each segment follows a '/' and holds none.
        for (const QStringView segment : path.sliced(1).split(u'/'))
            record.path.push_back(toAscii(segment));
    }
    record.hasQuery = address.query().has_value();
    record.query = toAscii(address.query().value_or(QStringView()));
    record.hasFragment = address.fragment().has_value();
    record.fragment = toAscii(address.fragment().value_or(QStringView()));
    return record;
}

std::string_view asView(QByteArrayView bytes)
{
    return std::string_view(bytes.data(), std::size_t(bytes.size()));
}

} // namespace

// Writes addresses out with the offsets of their parts.
struct AddressWriter {
    static void append(QString &out, std::string_view ascii)
    {
        out.append(QLatin1StringView(ascii.data(), qsizetype(ascii.size())));
    }

    // Written as bytes first: one conversion of the whole costs less than one per part.
    static WebAddress write(const Record &url)
    {
        WebAddress address;
        std::string out;
        std::size_t length = url.scheme.size() + url.username.size() + url.password.size() + url.host.size() +
                             url.query.size() + url.fragment.size() + 16;
        for (const std::string &segment : url.path)
            length += segment.size() + 1;
        out.reserve(length);
        const auto offset = [&] {
            return qsizetype(out.size());
        };
        out += url.scheme;
        address.m_schemeEnd = offset();
        out += ':';
        if (url.hasHost) {
            out += "//";
            out += url.username;
            address.m_usernameEnd = offset();
            if (!url.password.empty()) {
                out += ':';
                out += url.password;
            }
            if (!url.username.empty() || !url.password.empty())
                out += '@';
            address.m_hostStart = offset();
            out += url.host;
            address.m_hostEnd = offset();
            if (url.port >= 0) {
                out += ':';
                out += std::to_string(url.port);
            }
        } else {
            address.m_hostStart = address.m_hostEnd = offset();
        }
        if (url.opaquePath) {
            address.m_pathStart = offset();
            if (!url.path.empty())
                out += url.path.front();
        } else {
            // Without it, a path starting with an empty segment would read back as a host.
            if (!url.hasHost && url.path.size() > 1 && url.path.front().empty())
                out += "/.";
            address.m_pathStart = offset();
            for (const std::string &segment : url.path) {
                out += '/';
                out += segment;
            }
        }
        if (url.hasQuery) {
            address.m_queryStart = offset();
            out += '?';
            out += url.query;
        }
        if (url.hasFragment) {
            address.m_fragmentStart = offset();
            out += '#';
            out += url.fragment;
        }
        address.m_href = QString::fromLatin1(out.data(), offset());
        address.m_port = url.port;
        address.m_valid = true;
        address.m_hasHost = url.hasHost;
        address.m_opaquePath = url.opaquePath;
        return address;
    }

    static WebAddress unparsed(QString text)
    {
        WebAddress address;
        address.m_pathStart = text.size();
        address.m_href = std::move(text);
        return address;
    }

    // Most links of a journal page are absolute http addresses that the parser would give back as
    // they are, but for a '/' when there is no path: lower-case scheme and host, no port, userinfo, dot
    // segment, backslash, percent escape or character any part encodes. Those skip the parser;
    // anything else, however slightly off, takes it.
    template<typename Char>
    static std::optional<WebAddress> plain(std::basic_string_view<Char> href)
    {
        const auto has = [&](std::size_t at, std::string_view text) {
            if (href.size() - at < text.size())
                return false;
            for (std::size_t i = 0; i < text.size(); ++i) {
                if (href[at + i] != Char(text[i]))
                    return false;
            }
            return true;
        };
        const std::size_t hostStart = has(0, "http://"sv) ? 7 : has(0, "https://"sv) ? 8 : 0;
        if (hostStart == 0)
            return std::nullopt;
        std::size_t at = hostStart;
        std::size_t labelStart = at;
        for (; at < href.size() && href[at] != '/' && href[at] != '?' && href[at] != '#'; ++at) {
            const Char c = href[at];
            if (c == '.')
                labelStart = at + 1;
            else if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'))
                return std::nullopt;
            // Punycode labels are checked by the parser.
            if (at == labelStart && has(at, "xn--"sv))
                return std::nullopt;
        }
        const std::size_t hostEnd = at;
        // A host must be there; one whose last label could be a number is an IPv4 address to parse.
        if (hostEnd == hostStart || labelStart >= hostEnd || href[labelStart] < 'a' || href[labelStart] > 'z')
            return std::nullopt;
        std::size_t queryStart = std::string_view::npos;
        std::size_t fragmentStart = std::string_view::npos;
        for (; at < href.size(); ++at) {
            const auto c = static_cast<std::make_unsigned_t<Char>>(href[at]);
            if (c <= ' ' || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '%')
                return std::nullopt;
            if (fragmentStart != std::string_view::npos) {
                if (c == '`')
                    return std::nullopt;
            } else if (c == '#') {
                fragmentStart = at;
            } else if (queryStart != std::string_view::npos) {
                if (c == '\'')
                    return std::nullopt;
            } else if (c == '?') {
                queryStart = at;
            } else if (c == '`' || c == '{' || c == '}' || (c == '.' && href[at - 1] == '/')) {
                return std::nullopt;
            }
        }

        WebAddress address;
        const bool addSlash = hostEnd == href.size() || href[hostEnd] != '/';
        const auto shifted = [&](std::size_t offset) {
            return offset == std::string_view::npos ? qsizetype(-1) : qsizetype(offset + (addSlash ? 1 : 0));
        };
        QString &out = address.m_href;
        out.reserve(qsizetype(href.size() + 1));
        const auto appendText = [&](std::basic_string_view<Char> text) {
            if constexpr (std::is_same_v<Char, char>)
                append(out, text);
            else
                out.append(QStringView(text.data(), qsizetype(text.size())));
        };
        appendText(href.substr(0, hostEnd));
        if (addSlash)
            out += u'/';
        appendText(href.substr(hostEnd));
        address.m_schemeEnd = qsizetype(hostStart - 3);
        address.m_usernameEnd = address.m_hostStart = qsizetype(hostStart);
        address.m_hostEnd = address.m_pathStart = qsizetype(hostEnd);
        address.m_queryStart = shifted(queryStart);
        address.m_fragmentStart = shifted(fragmentStart);
        address.m_valid = true;
        address.m_hasHost = true;
        return address;
    }
};

QStringView WebAddress::password() const
{
    // A password follows the username's ':' and runs to the '@'.
    if (!m_hasHost || m_usernameEnd >= m_hostStart || m_href[m_usernameEnd] != u':')
        return {};
    return view(m_usernameEnd + 1, m_hostStart - 1);
}

std::optional<QStringView> WebAddress::query() const
{
    if (m_queryStart < 0)
        return std::nullopt;
    return view(m_queryStart + 1, m_fragmentStart < 0 ? m_href.size() : m_fragmentStart);
}

std::optional<QStringView> WebAddress::fragment() const
{
    if (m_fragmentStart < 0)
        return std::nullopt;
    return view(m_fragmentStart + 1, m_href.size());
}

bool WebAddress::isHttp() const
{
    const QStringView name = scheme();
    return name == u"http" || name == u"https";
}

WebAddress WebAddress::stripped() const
{
    WebAddress address = *this;
    if (m_fragmentStart >= 0) {
        address.m_href.truncate(m_fragmentStart);
        address.m_fragmentStart = -1;
    }
    return address;
}

std::optional<WebAddress> WebAddress::parse(QStringView input, const WebAddress *base,
                                            QByteArrayView encoding)
{
    std::optional<Record> baseRecord;
    if (base && base->isValid())
        baseRecord = toRecord(*base);
    const std::optional<Record> record =
        Parser(codePoints(input), baseRecord ? &*baseRecord : nullptr, asView(encoding)).run();
    if (!record)
        return std::nullopt;
    return AddressWriter::write(*record);
}

WebAddress WebAddress::unparsed(QString text)
{
    return AddressWriter::unparsed(std::move(text));
}

QDataStream &operator<<(QDataStream &out, const WebAddress &address)
{
    const quint8 flags =
        quint8(address.m_valid) | quint8(address.m_hasHost) << 1 | quint8(address.m_opaquePath) << 2;
    return out << address.m_href << flags << qint64(address.m_schemeEnd) << qint64(address.m_usernameEnd)
               << qint64(address.m_hostStart) << qint64(address.m_hostEnd) << qint64(address.m_pathStart)
               << qint64(address.m_queryStart) << qint64(address.m_fragmentStart) << qint32(address.m_port);
}

QDataStream &operator>>(QDataStream &in, WebAddress &address)
{
    WebAddress read;
    quint8 flags = 0;
    qint64 offsets[7] = {};
    qint32 port = -1;
    in >> read.m_href >> flags;
    for (qint64 &offset : offsets)
        in >> offset;
    in >> port;
    const qint64 size = read.m_href.size();
    const auto [schemeEnd, usernameEnd, hostStart, hostEnd, pathStart, queryStart, fragmentStart] = offsets;
    // Every view stays within the text whatever the stream held.
    const bool fits =
        schemeEnd >= 0 && schemeEnd <= usernameEnd && usernameEnd <= size && hostStart >= 0 &&
        hostStart <= hostEnd && hostEnd <= size && pathStart >= 0 && pathStart <= size && queryStart >= -1 &&
        queryStart <= size && fragmentStart >= -1 && fragmentStart <= size &&
        (queryStart < 0 || queryStart >= pathStart) &&
        (fragmentStart < 0 || (fragmentStart >= pathStart && fragmentStart >= queryStart)) && port >= -1 &&
        port <= 65535 && flags < 8 &&
        (!(flags & 2) ||
         (schemeEnd + 3 <= usernameEnd && usernameEnd <= hostStart &&
          (usernameEnd == hostStart || read.m_href[usernameEnd] != u':' || usernameEnd + 2 <= hostStart)));
    if (in.status() != QDataStream::Ok || !fits) {
        in.setStatus(QDataStream::ReadCorruptData);
        return in;
    }
    read.m_schemeEnd = schemeEnd;
    read.m_usernameEnd = usernameEnd;
    read.m_hostStart = hostStart;
    read.m_hostEnd = hostEnd;
    read.m_pathStart = pathStart;
    read.m_queryStart = queryStart;
    read.m_fragmentStart = fragmentStart;
    read.m_port = port;
    read.m_valid = flags & 1;
    read.m_hasHost = flags & 2;
    read.m_opaquePath = flags & 4;
    address = std::move(read);
    return in;
}

struct HrefResolver::ParsedBase {
    std::optional<Record> record;
};

HrefResolver::HrefResolver(const QString &baseAddress, QByteArrayView documentEncoding)
    : m_base(std::make_shared<ParsedBase>())
    , m_encoding(documentEncoding.toByteArray())
{
    m_base->record = Parser(codePoints(baseAddress), nullptr, asView(m_encoding)).run();
}

HrefResolver HrefResolver::forDocument(const QString &documentAddress, const std::optional<QString> &baseHref,
                                       QByteArrayView documentEncoding)
{
    HrefResolver resolver(documentAddress, documentEncoding);
    if (baseHref) {
        const Record *fallback = resolver.m_base->record ? &*resolver.m_base->record : nullptr;
        std::optional<Record> declared =
            Parser(codePoints(*baseHref), fallback, asView(resolver.m_encoding)).run();
        if (declared && declared->scheme != "data"sv && declared->scheme != "javascript"sv)
            resolver.m_base->record = std::move(declared);
    }
    return resolver;
}

WebAddress HrefResolver::resolve(QStringView href) const
{
    if (std::optional<WebAddress> address =
            AddressWriter::plain(std::u16string_view(href.utf16(), std::size_t(href.size()))))
        return std::move(*address);
    const Record *baseRecord = m_base->record ? &*m_base->record : nullptr;
    const std::optional<Record> address = Parser(codePoints(href), baseRecord, asView(m_encoding)).run();
    if (!address)
        return WebAddress::unparsed(href.toString());
    return AddressWriter::write(*address);
}

WebAddress HrefResolver::resolveUtf8(std::string_view href) const
{
    if (std::optional<WebAddress> address = AddressWriter::plain(href))
        return std::move(*address);
    const Record *baseRecord = m_base->record ? &*m_base->record : nullptr;
    const std::optional<Record> address =
        Parser(codePointsOfUtf8(href), baseRecord, asView(m_encoding)).run();
    if (!address)
        return WebAddress::unparsed(
            wellFormedUtf8ToString(QByteArrayView(href.data(), qsizetype(href.size()))));
    return AddressWriter::write(*address);
}

QStringList hrefsOf(const QList<WebAddress> &addresses)
{
    QStringList hrefs;
    hrefs.reserve(addresses.size());
    for (const WebAddress &address : addresses)
        hrefs.append(address.href());
    return hrefs;
}

QString resolveHref(const QString &href, const QString &base, QByteArrayView encoding)
{
    return HrefResolver(base, encoding).resolve(href).href();
}

} // namespace diarytrawl::web
