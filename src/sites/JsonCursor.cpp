// SPDX-License-Identifier: GPL-3.0-or-later
#include "JsonCursor.h"

#include <cmath>
#include <string>

namespace diarytrawl::sites {

namespace {

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

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

JsonCursor::JsonCursor(QByteArrayView text, int maxDepth)
    : m_text(text)
    , m_maxDepth(maxDepth)
{}

void JsonCursor::spaces()
{
    while (m_at < m_text.size() &&
           (m_text[m_at] == ' ' || m_text[m_at] == '\t' || m_text[m_at] == '\n' || m_text[m_at] == '\r'))
        ++m_at;
}

bool JsonCursor::take(char c)
{
    spaces();
    if (m_at < m_text.size() && m_text[m_at] == c) {
        ++m_at;
        return true;
    }
    return false;
}

JsonCursor::Kind JsonCursor::peek()
{
    spaces();
    if (m_failed || m_at >= m_text.size())
        return Kind::None;
    switch (m_text[m_at]) {
    case '{':
        return Kind::Object;
    case '[':
        return Kind::Array;
    case '"':
        return Kind::String;
    case 't':
    case 'f':
    case 'n':
        return Kind::Literal;
    default:
        return (m_text[m_at] == '-' || (m_text[m_at] >= '0' && m_text[m_at] <= '9')) ? Kind::Number
                                                                                     : Kind::None;
    }
}

bool JsonCursor::open(char c)
{
    if (m_failed || !take(c))
        return false;
    if (++m_depth > m_maxDepth) {
        fail();
        return false;
    }
    m_first = true;
    return true;
}

bool JsonCursor::enterObject()
{
    return open('{');
}

bool JsonCursor::enterArray()
{
    return open('[');
}

std::optional<QString> JsonCursor::nextKey()
{
    if (m_failed)
        return std::nullopt;
    if (take('}')) {
        --m_depth;
        m_first = false;
        return std::nullopt;
    }
    if (!m_first && !take(',')) {
        fail();
        return std::nullopt;
    }
    m_first = false;
    const std::optional<QByteArray> key = string();
    if (!key || !take(':')) {
        fail();
        return std::nullopt;
    }
    return QString::fromUtf8(*key);
}

bool JsonCursor::moreElements()
{
    if (m_failed)
        return false;
    if (take(']')) {
        --m_depth;
        m_first = false;
        return false;
    }
    if (!m_first && !take(',')) {
        fail();
        return false;
    }
    m_first = false;
    return true;
}

std::optional<QByteArray> JsonCursor::string()
{
    if (m_failed || !take('"')) {
        fail();
        return std::nullopt;
    }
    QByteArray out;
    const qsizetype start = m_at;
    qsizetype plain = m_at;
    while (m_at < m_text.size()) {
        const char c = m_text[m_at];
        if (c == '"') {
            if (plain == start)
                out = m_text.sliced(start, m_at - start).toByteArray();
            else
                out.append(m_text.sliced(plain, m_at - plain));
            ++m_at;
            return out;
        }
        if (quint8(c) < 0x20)
            break; // a control character must be escaped
        if (c != '\\') {
            ++m_at;
            continue;
        }
        out.append(m_text.sliced(plain, m_at - plain));
        if (m_at + 1 >= m_text.size())
            break;
        const char escape = m_text[m_at + 1];
        m_at += 2;
        switch (escape) {
        case '"':
        case '\\':
        case '/':
            out.append(escape);
            break;
        case 'b':
            out.append('\b');
            break;
        case 'f':
            out.append('\f');
            break;
        case 'n':
            out.append('\n');
            break;
        case 'r':
            out.append('\r');
            break;
        case 't':
            out.append('\t');
            break;
        case 'u': {
            const auto unit = [this](qsizetype at) -> int {
                if (at + 4 > m_text.size())
                    return -1;
                int value = 0;
                for (qsizetype i = at; i < at + 4; ++i) {
                    const int digit = hexValue(m_text[i]);
                    if (digit < 0)
                        return -1;
                    value = value * 16 + digit;
                }
                return value;
            };
            const int first = unit(m_at);
            if (first < 0) {
                fail();
                return std::nullopt;
            }
            m_at += 4;
            char32_t c32 = char32_t(first);
            if (first >= 0xD800 && first < 0xDC00 && m_at + 6 <= m_text.size() && m_text[m_at] == '\\' &&
                m_text[m_at + 1] == 'u') {
                const int second = unit(m_at + 2);
                if (second >= 0xDC00 && second < 0xE000) {
                    c32 = 0x10000 + ((char32_t(first) - 0xD800) << 10) + (char32_t(second) - 0xDC00);
                    m_at += 6;
                }
            }
            // A lone surrogate is no character: it reads as U+FFFD, as a browser's decoder has it.
            if (c32 >= 0xD800 && c32 < 0xE000)
                c32 = 0xFFFD;
            appendUtf8(out, c32);
            break;
        }
        default:
            fail();
            return std::nullopt;
        }
        plain = m_at;
    }
    fail();
    return std::nullopt;
}

std::optional<double> JsonCursor::number()
{
    spaces();
    const qsizetype start = m_at;
    while (m_at < m_text.size() && QByteArrayView("+-.eE0123456789").contains(m_text[m_at]))
        ++m_at;
    bool ok = false;
    const double value = m_text.sliced(start, m_at - start).toByteArray().toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        fail();
        return std::nullopt;
    }
    return value;
}

std::optional<qint64> JsonCursor::integer()
{
    switch (peek()) {
    case Kind::Number:
        if (const std::optional<double> value = number(); value && std::abs(*value) < 9e15)
            return qint64(*value);
        return std::nullopt;
    case Kind::String: {
        bool ok = false;
        const std::optional<QByteArray> text = string();
        const qint64 value = text ? text->toLongLong(&ok) : 0;
        return ok ? std::optional(value) : std::nullopt;
    }
    case Kind::Literal:
        if (m_text.sliced(m_at).startsWith("true")) {
            m_at += 4;
            return 1;
        }
        if (m_text.sliced(m_at).startsWith("false")) {
            m_at += 5;
            return 0;
        }
        skip();
        return std::nullopt;
    default:
        skip();
        return std::nullopt;
    }
}

void JsonCursor::skip()
{
    switch (peek()) {
    case Kind::Object:
        if (enterObject()) {
            while (nextKey())
                skip();
        }
        return;
    case Kind::Array:
        if (enterArray()) {
            while (moreElements())
                skip();
        }
        return;
    case Kind::String:
        string();
        return;
    case Kind::Number:
        number();
        return;
    case Kind::Literal:
        for (const char *literal : {"true", "false", "null"}) {
            if (m_text.sliced(m_at).startsWith(literal)) {
                m_at += qsizetype(std::char_traits<char>::length(literal));
                return;
            }
        }
        fail();
        return;
    case Kind::None:
        fail();
        return;
    }
}

qsizetype JsonCursor::valueEnd(QByteArrayView text, qsizetype from, int maxDepth)
{
    JsonCursor cursor(text, maxDepth);
    cursor.m_at = from;
    cursor.skip();
    return cursor.failed() ? -1 : cursor.m_at;
}

} // namespace diarytrawl::sites
