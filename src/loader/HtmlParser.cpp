// SPDX-License-Identifier: GPL-3.0-or-later
#include "HtmlParser.h"

#include "GumboArena.h"
#include "PageDecoding.h"
#include "ParseEscapes.h"
#include "WebAddress.h"

#include <QtAlgorithms>

#include <gumbo.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace diarytrawl::web {

namespace {

using namespace std::string_view_literals;

// --- What the default rendering and the serialisation make of each HTML element -----------------

enum TagFlag : quint32 {
    Void = 1u << 0,          // written without an end tag
    RawTextParent = 1u << 1, // its text is written unescaped
    NotRendered = 1u << 2,   // display: none
    Block = 1u << 3,         // one required line break before and after
    Paragraph = 1u << 4,     // two required line breaks
    Preformatted = 1u << 5,  // white space kept
    TableCell = 1u << 6,
    TableRow = 1u << 7,
    TablePart = 1u << 8,    // white space between its children makes no box
    Replaced = 1u << 9,     // an inline box whose content is not shown
    InlineBlock = 1u << 10, // an inline box with its own lines inside
    LineBreak = 1u << 11,
    Select = 1u << 12,
    OptGroup = 1u << 13,
    Details = 1u << 14,
    Dialog = 1u << 15,
    Input = 1u << 16,
    Audio = 1u << 17,
    Link = 1u << 18, // a and area: members of document.links
    Base = 1u << 19,
    Template = 1u << 20,
};

struct TagEntry {
    std::string_view name;
    quint32 flags;
};

constexpr TagEntry TagEntries[] = {
    {"area"sv, Void | NotRendered | Link},
    {"base"sv, Void | NotRendered | Base},
    {"basefont"sv, Void | NotRendered},
    {"bgsound"sv, Void},
    {"br"sv, Void | LineBreak},
    {"col"sv, Void},
    {"embed"sv, Void | Replaced},
    {"frame"sv, Void | Replaced},
    {"hr"sv, Void | Block},
    {"img"sv, Void | Replaced},
    {"input"sv, Void | Replaced | Input},
    {"keygen"sv, Void | Replaced},
    {"link"sv, Void | NotRendered},
    {"meta"sv, Void | NotRendered},
    {"param"sv, Void | NotRendered},
    {"source"sv, Void},
    {"track"sv, Void},
    {"wbr"sv, Void},
    {"style"sv, RawTextParent | NotRendered},
    {"script"sv, RawTextParent | NotRendered},
    {"xmp"sv, RawTextParent | Block | Preformatted},
    {"iframe"sv, RawTextParent | Replaced},
    {"noembed"sv, RawTextParent | NotRendered},
    {"noframes"sv, RawTextParent | NotRendered},
    {"plaintext"sv, RawTextParent | Block | Preformatted},
    {"noscript"sv, RawTextParent | NotRendered},
    {"head"sv, NotRendered},
    {"title"sv, NotRendered},
    {"template"sv, NotRendered | Template},
    {"datalist"sv, NotRendered},
    {"rp"sv, NotRendered},
    {"html"sv, Block},
    {"body"sv, Block},
    {"frameset"sv, Block},
    {"address"sv, Block},
    {"article"sv, Block},
    {"aside"sv, Block},
    {"blockquote"sv, Block},
    {"center"sv, Block},
    {"dialog"sv, Block | Dialog},
    {"div"sv, Block},
    {"figure"sv, Block},
    {"figcaption"sv, Block},
    {"footer"sv, Block},
    {"form"sv, Block},
    {"header"sv, Block},
    {"hgroup"sv, Block},
    {"legend"sv, Block},
    {"main"sv, Block},
    {"nav"sv, Block},
    {"search"sv, Block},
    {"section"sv, Block},
    {"h1"sv, Block},
    {"h2"sv, Block},
    {"h3"sv, Block},
    {"h4"sv, Block},
    {"h5"sv, Block},
    {"h6"sv, Block},
    {"dir"sv, Block},
    {"dd"sv, Block},
    {"dl"sv, Block},
    {"dt"sv, Block},
    {"menu"sv, Block},
    {"ol"sv, Block},
    {"ul"sv, Block},
    {"li"sv, Block},
    {"fieldset"sv, Block},
    {"details"sv, Block | Details},
    {"summary"sv, Block},
    {"p"sv, Block | Paragraph},
    {"pre"sv, Block | Preformatted},
    {"listing"sv, Block | Preformatted},
    {"table"sv, Block | TablePart},
    {"caption"sv, Block},
    {"thead"sv, TablePart},
    {"tbody"sv, TablePart},
    {"tfoot"sv, TablePart},
    {"tr"sv, TablePart | TableRow},
    {"colgroup"sv, TablePart},
    {"td"sv, TableCell},
    {"th"sv, TableCell},
    {"select"sv, Select},
    {"optgroup"sv, Block | OptGroup},
    {"option"sv, Block},
    {"textarea"sv, Replaced},
    {"meter"sv, Replaced},
    {"progress"sv, Replaced},
    {"video"sv, Replaced},
    {"audio"sv, Replaced | Audio},
    {"canvas"sv, Replaced},
    {"object"sv, Replaced},
    {"button"sv, InlineBlock},
    {"marquee"sv, InlineBlock},
    {"a"sv, Link},
};

// Flags of gumbo's known tags, by tag number; names gumbo does not know are looked up by name.
class TagTable {
public:
    TagTable()
    {
        for (const TagEntry &entry : TagEntries) {
            const GumboTag tag = gumbo_tagn_enum(entry.name.data(), unsigned(entry.name.size()));
            if (tag != GUMBO_TAG_UNKNOWN)
                known[tag] = entry.flags;
        }
    }
    quint32 flags(GumboTag tag, std::string_view name) const
    {
        if (tag != GUMBO_TAG_UNKNOWN && tag < GUMBO_TAG_LAST)
            return known[tag];
        if (name.empty())
            return 0;
        for (const TagEntry &entry : TagEntries) {
            if (entry.name == name)
                return entry.flags;
        }
        return 0;
    }

private:
    std::array<quint32, GUMBO_TAG_LAST + 1> known{};
};

const TagTable &tagTable()
{
    static const TagTable table;
    return table;
}

// --- Tags the parser would read by an older edition of the HTML standard -------------------------
//
// gumbo parses as a browser with scripting off, and knows isindex and menuitem as the standard once
// defined them. A browser has scripting on, so noscript content is raw text; isindex and menuitem
// are now ordinary unknown elements. Before parsing, each such tag name is overwritten with one of
// the same length that the parser treats as a browser treats the real one (noframes is raw text
// wherever noscript is); the original names and text are put back in everything written out.

struct RenamedTag {
    std::string_view name;        // lower case, as it appears in the page in any case
    std::string_view replacement; // same length
};

constexpr RenamedTag RenamedTags[] = {
    {"noscript"sv, "noframes"sv},
    {"isindex"sv, "isinde_"sv},
    {"menuitem"sv, "menuite_"sv},
};

bool isTagNameEnd(char c)
{
    return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ' || c == '/' || c == '>';
}

bool matchesNoCase(const char *at, std::string_view lowerName)
{
    for (std::size_t i = 0; i < lowerName.size(); ++i) {
        char c = at[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c + ('a' - 'A'));
        if (c != lowerName[i])
            return false;
    }
    return true;
}

class MarkupRenames {
public:
    // Scans the page; parseText() is what the parser reads, the page itself when nothing is renamed.
    explicit MarkupRenames(std::string_view page)
        : original(page)
    {
        const char *data = page.data();
        const std::size_t size = page.size();
        std::size_t at = 0;
        while (true) {
            const void *found = at < size ? std::memchr(data + at, '<', size - at) : nullptr;
            if (!found)
                break;
            std::size_t name = std::size_t(static_cast<const char *>(found) - data) + 1;
            at = name;
            if (name < size && data[name] == '/')
                ++name;
            for (int kind = 0; kind < int(std::size(RenamedTags)); ++kind) {
                const RenamedTag &tag = RenamedTags[kind];
                const std::size_t length = tag.name.size();
                if (name + length >= size || !isTagNameEnd(data[name + length]))
                    continue;
                const bool real = matchesNoCase(data + name, tag.name);
                if (!real && !matchesNoCase(data + name, tag.replacement))
                    continue;
                occurrences.push_back({std::uint32_t(name), std::uint8_t(kind), real});
                if (real) {
                    if (renamed.empty())
                        renamed.assign(page);
                    std::memcpy(renamed.data() + name, tag.replacement.data(), length);
                }
                break;
            }
        }
    }

    bool any() const { return !renamed.empty(); }
    std::string_view parseText() const { return any() ? std::string_view(renamed) : original; }

    // Where a piece of the parsed text sits in the page; npos for a pointer that is not into it.
    std::size_t offsetOf(const char *parsed) const
    {
        const std::string_view text = parseText();
        if (parsed < text.data() || parsed > text.data() + text.size())
            return std::string_view::npos;
        return std::size_t(parsed - text.data());
    }

    // The page's own bytes for a piece of the parsed text.
    std::string_view originalOf(const char *parsed, std::size_t length) const
    {
        const std::size_t offset = offsetOf(parsed);
        if (offset == std::string_view::npos || length > original.size() - offset)
            return std::string_view(parsed, length);
        return original.substr(offset, length);
    }

    // Whether the tag whose '<' is at parsed was renamed.
    bool renamedTagAt(const char *parsed) const
    {
        if (!any() || offsetOf(parsed) == std::string_view::npos)
            return false;
        std::size_t name = offsetOf(parsed) + 1;
        if (name < original.size() && original[name] == '/')
            ++name;
        const auto found = std::lower_bound(occurrences.begin(), occurrences.end(), name,
                                            [](const Occurrence &o, std::size_t n) { return o.offset < n; });
        return found != occurrences.end() && found->offset == name && found->renamed;
    }

    // Puts the original names back into text the parser made of the page from source onwards
    // (character data, a comment, an attribute value). The n-th tag-like name in the text is taken to
    // come from the n-th such name in the page from source on, which holds unless the page spells
    // one with character references.
    void restore(std::string &text, const char *source) const
    {
        if (!any() || offsetOf(source) == std::string_view::npos)
            return;
        auto next = std::lower_bound(occurrences.begin(), occurrences.end(), offsetOf(source),
                                     [](const Occurrence &o, std::size_t n) { return o.offset < n; });
        std::size_t at = 0;
        while (next != occurrences.end()) {
            const std::size_t open = text.find('<', at);
            if (open == std::string::npos)
                return;
            std::size_t name = open + 1;
            at = name;
            if (name < text.size() && text[name] == '/')
                ++name;
            for (const RenamedTag &tag : RenamedTags) {
                const std::size_t length = tag.name.size();
                if (name + length >= text.size() || !isTagNameEnd(text[name + length]))
                    continue;
                if (!matchesNoCase(text.data() + name, tag.name) &&
                    !matchesNoCase(text.data() + name, tag.replacement))
                    continue;
                if (next->renamed)
                    std::memcpy(text.data() + name, original.data() + next->offset, length);
                ++next;
                break;
            }
        }
    }

    // Whether text may need restore: only text holding a '<' can.
    bool mayNeedRestore(std::string_view text) const
    {
        return any() && text.find('<') != std::string_view::npos;
    }

private:
    struct Occurrence {
        std::uint32_t offset; // of the name's first letter
        std::uint8_t kind;
        bool renamed;
    };

    std::string_view original;
    std::string renamed;
    std::vector<Occurrence> occurrences;
};

// --- Helpers on gumbo's tree ---------------------------------------------------------------------

const GumboVector &childrenOf(const GumboNode *node)
{
    return node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
}

bool isElement(const GumboNode *node)
{
    return node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE;
}

bool isHtml(const GumboNode *node, GumboTag tag)
{
    return isElement(node) && node->v.element.tag == tag &&
           node->v.element.tag_namespace == GUMBO_NAMESPACE_HTML;
}

const GumboAttribute *attribute(const GumboNode *element, const char *name)
{
    const GumboVector &attributes = element->v.element.attributes;
    for (unsigned i = 0; i < attributes.length; ++i) {
        const auto *candidate = static_cast<const GumboAttribute *>(attributes.data[i]);
        if (candidate->attr_namespace == GUMBO_ATTR_NAMESPACE_NONE && std::strcmp(candidate->name, name) == 0)
            return candidate;
    }
    return nullptr;
}

bool asciiEqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && matchesNoCase(a.data(), b);
}

bool isCollapsibleSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isWhitespaceOnly(std::string_view text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; });
}

// --- Text as the document keeps it -------------------------------------------------------------------

// Text built straight into the container the document keeps (QByteArray for UTF-8, QString for UTF-16),
// so a page's text and HTML are never copied from one buffer to another: writes go through a pointer,
// and growing asks the allocator to extend the block (realloc), which for a large block moves pages
// rather than bytes. Reserved room that is never written costs no memory.
template<typename Container, typename Unit>
class TextBuffer {
public:
    explicit TextBuffer(std::size_t expected)
        : m_text(qsizetype(std::max<std::size_t>(expected, 64)), Qt::Uninitialized)
    {
        point(0);
    }

    // Room for n more units, to be written before advance.
    Unit *room(std::size_t n)
    {
        if (std::size_t(m_end - m_cursor) < n)
            grow(n);
        return m_cursor;
    }
    void advance(Unit *to) { m_cursor = to; }

    void append(const Unit *units, std::size_t n)
    {
        std::memcpy(room(n), units, n * sizeof(Unit));
        m_cursor += n;
    }
    void push_back(Unit unit)
    {
        *room(1) = unit;
        ++m_cursor;
    }

    std::size_t size() const { return std::size_t(m_cursor - m_begin); }
    bool empty() const { return m_cursor == m_begin; }
    const Unit *data() const { return m_begin; }

    // The text, at its own size; the buffer is empty after.
    Container take()
    {
        m_text.truncate(qsizetype(size()));
        m_text.squeeze();
        Container taken = std::move(m_text);
        m_text = Container();
        m_begin = m_cursor = m_end = nullptr;
        return taken;
    }

private:
    void point(std::size_t used)
    {
        m_begin = reinterpret_cast<Unit *>(m_text.data());
        m_cursor = m_begin + used;
        m_end = m_begin + m_text.size();
    }
    void grow(std::size_t n)
    {
        const std::size_t used = size();
        m_text.resize(qsizetype(std::max(used + n, std::size_t(m_text.size()) * 2)));
        point(used);
    }

    Container m_text;
    Unit *m_begin = nullptr;
    Unit *m_cursor = nullptr;
    Unit *m_end = nullptr;
};

class Utf8Text : public TextBuffer<QByteArray, char> {
public:
    using TextBuffer::append;
    using TextBuffer::TextBuffer;
    void append(std::string_view text) { append(text.data(), text.size()); }
    std::string_view view(std::size_t from = 0) const { return {data() + from, size() - from}; }
};

// Writes UTF-8 (well formed) as UTF-16 at out, which has room for one unit a byte; returns the end.
char16_t *utf8ToUtf16(const char *begin, const char *end, char16_t *out)
{
    return wellFormedUtf8ToUtf16(QByteArrayView(begin, end), out, out + (end - begin));
}

// --- innerText ------------------------------------------------------------------------------------

// Collects the rendered text (UTF-16, as the document keeps it): runs of collapsible white space become
// one space, dropped at the start and end of lines; required line breaks collapse to the largest count
// and vanish at both ends of the result.
class TextCollector {
public:
    explicit TextCollector(std::size_t expected)
        : out(expected)
    {}

    void requiredBreak(int count)
    {
        pendingSpace = false;
        lineHasContent = false;
        pendingBreaks = std::max(pendingBreaks, count);
    }

    // A line break that is content: br, a newline in preformatted text, the end of a table row.
    void newline()
    {
        pendingSpace = false;
        flushBreaks();
        lineBreak();
        lineHasContent = false;
    }

    // The separator after a table cell; the next cell starts a line of its own.
    void tab()
    {
        pendingSpace = false;
        flushBreaks();
        out.push_back(u'\t');
        lineHasContent = false;
    }

    // Edges of a box with lines of its own (a table cell, the inside of a button).
    void boxStart()
    {
        pendingSpace = false;
        lineHasContent = false;
    }
    void boxEnd() { pendingSpace = false; }

    // An inline box (an image, a button): the space before it stays, and one after it counts.
    void inlineBoxStart()
    {
        if (pendingSpace) {
            flushBreaks();
            out.push_back(u' ');
            pendingSpace = false;
        }
        lineHasContent = false;
    }
    void inlineBoxEnd()
    {
        pendingSpace = false;
        lineHasContent = true;
    }

    // Text in UTF-8. Giving a text in consecutive pieces makes the same as giving it whole.
    void text(std::string_view text, bool preformatted)
    {
        const char *p = text.data();
        const char *end = p + text.size();
        if (preformatted) {
            // A carriage return (only a character reference makes one) is a space to CSS.
            while (p < end) {
                const char *stop = p;
                while (stop < end && *stop != '\n' && *stop != '\r')
                    ++stop;
                if (stop > p)
                    content(p, stop);
                if (stop == end)
                    break;
                if (*stop == '\n')
                    newline();
                else
                    content(Space, Space + 1);
                p = stop + 1;
            }
            return;
        }
        while (p < end) {
            if (isCollapsibleSpace(*p)) {
                if (lineHasContent)
                    pendingSpace = true;
                ++p;
                continue;
            }
            const char *run = p;
            while (p < end && !isCollapsibleSpace(*p))
                ++p;
            content(run, p);
        }
    }

    // Text content (UTF-8) as it is, every line break made CR LF.
    void appendRaw(std::string_view text)
    {
        const char *p = text.data();
        const char *end = p + text.size();
        while (p < end) {
            const char *stop = p;
            while (stop < end && *stop != '\n' && *stop != '\r')
                ++stop;
            out.advance(utf8ToUtf16(p, stop, out.room(std::size_t(stop - p))));
            if (stop == end)
                break;
            lineBreak();
            p = stop + 1;
        }
    }

    QString result() { return out.take(); }
    std::size_t size() const { return out.size(); } // in UTF-16 units

private:
    static constexpr char Space[] = " ";

    void lineBreak() { out.append(u"\r\n", 2); }
    void flushBreaks()
    {
        if (pendingBreaks > 0 && !out.empty()) {
            for (int i = 0; i < pendingBreaks; ++i)
                lineBreak();
        }
        pendingBreaks = 0;
    }
    void content(const char *begin, const char *end)
    {
        flushBreaks();
        char16_t *to = out.room(std::size_t(end - begin) + 1);
        if (pendingSpace) {
            *to++ = u' ';
            pendingSpace = false;
        }
        out.advance(utf8ToUtf16(begin, end, to));
        lineHasContent = true;
    }

    TextBuffer<QString, char16_t> out;
    int pendingBreaks = 0;
    bool pendingSpace = false;
    bool lineHasContent = false;
};

// --- The walk --------------------------------------------------------------------------------------

// What leaving an element undoes or adds.
enum ExitAction : quint32 {
    ShowAgain = 1u << 0,
    EndInlineBox = 1u << 1,
    EndCell = 1u << 2,
    EndRow = 1u << 3,
    BreakAfter1 = 1u << 4,
    BreakAfter2 = 1u << 5,
    EndPreformatted = 1u << 6,
    EndTemplate = 1u << 7,
    EndBody = 1u << 8,
    EndBox = 1u << 9,
    EndSvgText = 1u << 10,
    EndForm = 1u << 11,
};

// A form and its fields as the page writes them; made into HtmlForm once the walk is done.
struct RawField {
    std::string name;
    std::string value;
    std::string type;
    bool checked = true;
};
struct RawForm {
    std::optional<std::string> action;
    std::string method;
    std::vector<RawField> fields;
};

std::string lowerAscii(std::string_view text)
{
    std::string lower(text);
    for (char &c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = char(c + ('a' - 'A'));
    }
    return lower;
}

constexpr std::array<const char *, 256> makeTextEscapes(bool attribute)
{
    std::array<const char *, 256> escapes{};
    escapes['&'] = "&amp;";
    escapes['<'] = "&lt;";
    escapes['>'] = "&gt;";
    if (attribute)
        escapes['"'] = "&quot;";
    return escapes;
}

constexpr std::array<const char *, 256> TextEscapes = makeTextEscapes(false);
constexpr std::array<const char *, 256> AttributeEscapes = makeTextEscapes(true);

void appendEscaped(Utf8Text &out, std::string_view text, const std::array<const char *, 256> &escapes)
{
    const char *p = text.data();
    const char *end = p + text.size();
    const char *run = p;
    while (p < end) {
#if defined(__SSE2__)
        // Sixteen bytes at a time while none of them needs a look: most text has nothing to escape.
        const __m128i amp = _mm_set1_epi8('&');
        const __m128i lt = _mm_set1_epi8('<');
        const __m128i gt = _mm_set1_epi8('>');
        const __m128i quote = _mm_set1_epi8(escapes['"'] ? '"' : '&');
        const __m128i nbspLead = _mm_set1_epi8(char(0xC2));
        while (end - p >= 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            const __m128i hits = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi8(bytes, amp), _mm_cmpeq_epi8(bytes, lt)),
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, gt), _mm_cmpeq_epi8(bytes, quote)),
                             _mm_cmpeq_epi8(bytes, nbspLead)));
            const int mask = _mm_movemask_epi8(hits);
            if (mask != 0) {
                p += qCountTrailingZeroBits(quint32(mask));
                break;
            }
            p += 16;
        }
        if (p >= end)
            break;
#endif
        const auto c = static_cast<unsigned char>(*p);
        if (const char *escape = escapes[c]) {
            out.append(run, std::size_t(p - run));
            out.append(std::string_view(escape));
            run = ++p;
        } else if (c == 0xC2 && p + 1 < end && static_cast<unsigned char>(p[1]) == 0xA0) {
            out.append(run, std::size_t(p - run));
            out.append("&nbsp;", 6);
            p += 2;
            run = p;
        } else {
            ++p;
        }
    }
    out.append(run, std::size_t(end - run));
}

// Gives take a text in pieces: as it stands or, when it is what appendEscaped wrote of it (TextEscapes),
// with what was escaped put back.
template<typename Take>
void takeText(std::string_view text, bool escaped, const Take &take)
{
    for (std::size_t amp = 0; escaped && (amp = text.find('&')) != std::string_view::npos;) {
        take(text.substr(0, amp));
        // "&amp;", "&lt;", "&gt;" or "&nbsp;", known by their first letter.
        const char letter = amp + 1 < text.size() ? text[amp + 1] : 'a';
        const std::string_view put = letter == 'l'   ? "<"sv
                                     : letter == 'g' ? ">"sv
                                     : letter == 'n' ? "\xC2\xA0"sv
                                                     : "&"sv;
        const std::size_t length = letter == 'l' || letter == 'g' ? 4 : letter == 'n' ? 6 : 5;
        take(put);
        text.remove_prefix(std::min(amp + length, text.size()));
    }
    take(text);
}

// An element a site's rules want noted (ElementSelector), in the parser's own terms.
struct Selector {
    std::string tag;
    std::string classToken;
    std::string idPrefix;
    std::string attribute;
    int within = -1;
};

// A noted element; offsets into the walker's text (UTF-16) and HTML (UTF-8).
struct RawNoted {
    int selector = 0;
    int within = -1;
    std::string id;
    std::string value;
    std::size_t textStart = 0;
    std::size_t textEnd = 0;
    std::size_t htmlStart = 0;
    std::size_t htmlEnd = 0;
};

bool hasClassToken(std::string_view classes, std::string_view token)
{
    for (std::size_t at = classes.find(token); at != std::string_view::npos;
         at = classes.find(token, at + 1)) {
        const auto isSpace = [](char c) {
            return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
        };
        const std::size_t end = at + token.size();
        if ((at == 0 || isSpace(classes[at - 1])) && (end == classes.size() || isSpace(classes[end])))
            return true;
    }
    return false;
}

class DocumentWalker {
public:
    // The text is given room for one unit a byte of the page, which only pages of little but line
    // breaks outgrow; the HTML for the page and an eighth more.
    DocumentWalker(const MarkupRenames &markup, std::size_t pageSize, GumboArena &parseArena)
        : html(pageSize + pageSize / 8 + 64)
        , innerText(pageSize + 64)
        , renames(markup)
        , arena(parseArena)
    {}

    void walk(const GumboNode *root, const GumboNode *bodyElement);

    Utf8Text html;
    std::size_t bodyStart = 0;
    std::size_t bodyEnd = 0;
    TextCollector innerText;
    std::vector<std::string_view> hrefs;
    std::deque<std::string> restoredHrefs; // hrefs holds views of these
    std::optional<std::string> baseHref;
    std::vector<RawForm> forms;

    // The elements of the body a site's rules want noted.
    std::vector<Selector> selectors;
    std::vector<RawNoted> noted;
    // A script's payload the rules read themselves stands in the parsed page as a placeholder; the
    // script's text is written with the payload in its place. Spliced counts the scripts that held it,
    // strayed whether it turned up anywhere else.
    std::string_view placeholder;
    std::string_view payload;
    int spliced = 0;
    bool strayed = false;
    // Read whole, the payload is the one the rules found when a script's text holds it: [start, end)
    // of the parsed text.
    std::size_t payloadStart = 0;
    std::size_t payloadEnd = 0;
    bool payloadInScript = false;

private:
    // Which of its children a box shows: a select only options and option groups, an option group
    // only options, a closed details only its first summary.
    enum class ChildBoxes : quint8 { All, OptionsAndGroups, Options, FirstSummary };

    struct Frame {
        const GumboNode *node;
        unsigned nextChild;  // so the child being visited is nextChild - 1
        quint32 flags;       // TagFlag, for HTML elements
        quint32 exitActions; // ExitAction
        std::string_view name;
        bool staticName;
        ChildBoxes childBoxes;
        const GumboNode *summary; // the one a closed details shows
        int noted = -1;           // index into noted
    };

    std::string_view elementName(const GumboNode *element);
    void enterElement(Frame &frame, const Frame &parent);
    void leaveElement(const Frame &frame, const Frame *parent, const Frame *grandparent, bool endTag);
    void visitText(const GumboNode *node, const Frame &parent);
    void startTag(const GumboNode *element, std::string_view name);
    void takeFormPart(const GumboNode *element, quint32 &exit);
    void note(Frame &frame, std::size_t htmlStart);
    std::string attributeText(const GumboNode *element, const char *name);
    std::string_view restored(std::string_view text, const char *source, std::string &scratch) const;
    static bool rendersChild(const Frame &parent, const GumboNode *child);
    static bool hiddenElement(const GumboNode *element, quint32 flags);
    static bool hasFollowingCell(const GumboNode *row, unsigned cellIndex);
    static bool hasFollowingRow(const GumboNode *parent, unsigned rowIndex, const GumboNode *table,
                                unsigned parentIndex);

    bool letGo(const GumboText &node, std::string_view text);

    const MarkupRenames &renames;
    GumboArena &arena;
    const GumboNode *body = nullptr;
    bool inBody = false;
    bool textContentOnly = false; // a hidden body reads as its text content
    int hidden = 0;
    int preformatted = 0;
    int templates = 0;
    int svgText = 0;              // inside an SVG text element, whose text is drawn
    std::ptrdiff_t openForm = -1; // index into forms
    std::vector<int> openNoted;   // noted elements being walked, innermost last
    std::string nameScratch;
    std::string textScratch;
};

std::string_view DocumentWalker::elementName(const GumboNode *element)
{
    const GumboElement &e = element->v.element;
    std::string_view name;
    if (e.tag != GUMBO_TAG_UNKNOWN && !renames.renamedTagAt(e.original_tag.data)) {
        name = gumbo_normalized_tagname(e.tag);
    } else {
        GumboStringPiece piece = e.original_tag;
        if (piece.data && piece.length > 0) {
            if (renames.any()) {
                const std::string_view source = renames.originalOf(piece.data, piece.length);
                piece.data = source.data();
                piece.length = source.size();
            }
            gumbo_tag_from_original_text(&piece);
        }
        nameScratch.assign(piece.data ? piece.data : "", piece.data ? piece.length : 0);
        for (char &c : nameScratch) {
            if (c >= 'A' && c <= 'Z')
                c = char(c + ('a' - 'A'));
        }
        name = nameScratch;
    }
    if (e.tag_namespace == GUMBO_NAMESPACE_SVG) {
        GumboStringPiece piece{name.data(), name.size()};
        if (const char *adjusted = gumbo_normalize_svg_tagname(&piece))
            name = adjusted;
    }
    return name;
}

std::string_view DocumentWalker::restored(std::string_view text, const char *source,
                                          std::string &scratch) const
{
    if (!renames.mayNeedRestore(text))
        return text;
    scratch.assign(text);
    renames.restore(scratch, source);
    return scratch;
}

void DocumentWalker::startTag(const GumboNode *element, std::string_view name)
{
    html.push_back('<');
    html.append(name);
    const GumboVector &attributes = element->v.element.attributes;
    for (unsigned i = 0; i < attributes.length; ++i) {
        const auto *a = static_cast<const GumboAttribute *>(attributes.data[i]);
        html.push_back(' ');
        switch (a->attr_namespace) {
        case GUMBO_ATTR_NAMESPACE_XLINK:
            html.append("xlink:");
            break;
        case GUMBO_ATTR_NAMESPACE_XML:
            html.append("xml:");
            break;
        case GUMBO_ATTR_NAMESPACE_XMLNS:
            if (std::strcmp(a->name, "xmlns") != 0)
                html.append("xmlns:");
            break;
        case GUMBO_ATTR_NAMESPACE_NONE:
            break;
        }
        html.append(a->name);
        html.append("=\"", 2);
        appendEscaped(html, restored(a->value, a->original_value.data, textScratch), AttributeEscapes);
        html.push_back('"');
    }
    html.push_back('>');
}

std::string DocumentWalker::attributeText(const GumboNode *element, const char *name)
{
    const GumboAttribute *a = attribute(element, name);
    return a ? std::string(restored(a->value, a->original_value.data, textScratch)) : std::string();
}

// Forms and their fields, as a browser would submit them: what a stand-in page (an adult-content
// notice, a login page) is recognised by. Forms do not nest in a parsed page.
void DocumentWalker::takeFormPart(const GumboNode *element, quint32 &exit)
{
    const GumboTag tag = element->v.element.tag;
    if (tag == GUMBO_TAG_FORM) {
        RawForm &form = forms.emplace_back();
        if (attribute(element, "action"))
            form.action = attributeText(element, "action");
        form.method = lowerAscii(attributeText(element, "method")) == "post" ? "post" : "get";
        openForm = std::ptrdiff_t(forms.size()) - 1;
        exit |= EndForm;
        return;
    }
    if (openForm < 0 || !(tag == GUMBO_TAG_INPUT || tag == GUMBO_TAG_BUTTON || tag == GUMBO_TAG_TEXTAREA ||
                          tag == GUMBO_TAG_SELECT))
        return;
    RawField field{attributeText(element, "name"), attributeText(element, "value"),
                   lowerAscii(attributeText(element, "type"))};
    if (tag == GUMBO_TAG_INPUT && field.type.empty())
        field.type = "text";
    else if (tag == GUMBO_TAG_BUTTON && field.type.empty())
        field.type = "submit";
    else if (tag != GUMBO_TAG_INPUT && tag != GUMBO_TAG_BUTTON)
        field.type = gumbo_normalized_tagname(tag);
    // An unticked box is not sent, but it is part of the form: a site's form may be known by it.
    if (field.type == "checkbox" || field.type == "radio")
        field.checked = attribute(element, "checked") != nullptr;
    forms[std::size_t(openForm)].fields.push_back(std::move(field));
}

bool DocumentWalker::hiddenElement(const GumboNode *element, quint32 flags)
{
    if (flags & NotRendered)
        return true;
    if (attribute(element, "hidden"))
        return true;
    if (flags & Input) {
        const GumboAttribute *type = attribute(element, "type");
        return type && asciiEqualNoCase(type->value, "hidden"sv);
    }
    if (flags & Dialog)
        return !attribute(element, "open");
    if (flags & Audio)
        return !attribute(element, "controls");
    return false;
}

bool DocumentWalker::rendersChild(const Frame &parent, const GumboNode *child)
{
    switch (parent.childBoxes) {
    case ChildBoxes::All:
        return true;
    case ChildBoxes::OptionsAndGroups:
        return isHtml(child, GUMBO_TAG_OPTION) || isHtml(child, GUMBO_TAG_OPTGROUP);
    case ChildBoxes::Options:
        return isHtml(child, GUMBO_TAG_OPTION);
    case ChildBoxes::FirstSummary:
        return child == parent.summary;
    }
    return true;
}

bool DocumentWalker::hasFollowingCell(const GumboNode *row, unsigned cellIndex)
{
    const GumboVector &siblings = row->v.element.children;
    for (unsigned i = cellIndex + 1; i < siblings.length; ++i) {
        const auto *sibling = static_cast<const GumboNode *>(siblings.data[i]);
        if ((isHtml(sibling, GUMBO_TAG_TD) || isHtml(sibling, GUMBO_TAG_TH)) && !attribute(sibling, "hidden"))
            return true;
    }
    return false;
}

// Whether a row box follows in the same table: later in its group, or in a later group.
bool DocumentWalker::hasFollowingRow(const GumboNode *parent, unsigned rowIndex, const GumboNode *table,
                                     unsigned parentIndex)
{
    const auto rowIn = [](const GumboNode *node, unsigned from) {
        const GumboVector &children = node->v.element.children;
        for (unsigned i = from; i < children.length; ++i) {
            const auto *child = static_cast<const GumboNode *>(children.data[i]);
            if (isHtml(child, GUMBO_TAG_TR) && !attribute(child, "hidden"))
                return true;
        }
        return false;
    };
    if (rowIn(parent, rowIndex + 1))
        return true;
    const bool inGroup =
        isHtml(parent, GUMBO_TAG_TBODY) || isHtml(parent, GUMBO_TAG_THEAD) || isHtml(parent, GUMBO_TAG_TFOOT);
    if (!inGroup || !table || !isHtml(table, GUMBO_TAG_TABLE))
        return false;
    const GumboVector &groups = table->v.element.children;
    for (unsigned i = parentIndex + 1; i < groups.length; ++i) {
        const auto *group = static_cast<const GumboNode *>(groups.data[i]);
        if ((isHtml(group, GUMBO_TAG_TBODY) || isHtml(group, GUMBO_TAG_THEAD) ||
             isHtml(group, GUMBO_TAG_TFOOT)) &&
            !attribute(group, "hidden") && rowIn(group, 0))
            return true;
    }
    return false;
}

// Notes the element for the first selector it answers, when it lies in the body.
void DocumentWalker::note(Frame &frame, std::size_t htmlStart)
{
    const GumboNode *element = frame.node;
    for (std::size_t i = 0; i < selectors.size(); ++i) {
        const Selector &selector = selectors[i];
        if ((selector.within >= 0 && openNoted.empty()) ||
            (!selector.tag.empty() && frame.name != selector.tag))
            continue;
        const GumboAttribute *asked = nullptr;
        if (!selector.attribute.empty() && !(asked = attribute(element, selector.attribute.c_str())))
            continue;
        const GumboAttribute *classes = selector.classToken.empty() ? nullptr : attribute(element, "class");
        if (!selector.classToken.empty() && !(classes && hasClassToken(classes->value, selector.classToken)))
            continue;
        const GumboAttribute *id = attribute(element, "id");
        if (!selector.idPrefix.empty() && !(id && std::string_view(id->value).starts_with(selector.idPrefix)))
            continue;
        int within = -1;
        for (auto open = openNoted.rbegin(); selector.within >= 0 && open != openNoted.rend() && within < 0;
             ++open) {
            if (noted[std::size_t(*open)].selector == selector.within)
                within = *open;
        }
        if (selector.within >= 0 && within < 0)
            continue;
        RawNoted entry;
        entry.selector = int(i);
        entry.within = within;
        if (id)
            entry.id = restored(id->value, id->original_value.data, textScratch);
        if (asked)
            entry.value = restored(asked->value, asked->original_value.data, textScratch);
        entry.textStart = innerText.size();
        entry.htmlStart = htmlStart;
        frame.noted = int(noted.size());
        openNoted.push_back(frame.noted);
        noted.push_back(std::move(entry));
        return;
    }
}

// Writes the start tag and takes the element's part in links and text; sets what leaving it does.
void DocumentWalker::enterElement(Frame &frame, const Frame &parent)
{
    const GumboNode *element = frame.node;
    const std::size_t htmlStart = html.size();
    const std::string_view name = frame.name;
    const GumboElement &e = element->v.element;
    const bool htmlElement = e.tag_namespace == GUMBO_NAMESPACE_HTML;
    const quint32 flags = htmlElement ? tagTable().flags(e.tag, name) : 0;
    frame.flags = flags;
    quint32 &exit = frame.exitActions;

    if (flags & Select) {
        frame.childBoxes = ChildBoxes::OptionsAndGroups;
    } else if (flags & OptGroup) {
        frame.childBoxes = ChildBoxes::Options;
    } else if ((flags & Details) && !attribute(element, "open")) {
        frame.childBoxes = ChildBoxes::FirstSummary;
        for (unsigned i = 0; i < e.children.length && !frame.summary; ++i) {
            const auto *child = static_cast<const GumboNode *>(e.children.data[i]);
            if (isHtml(child, GUMBO_TAG_SUMMARY))
                frame.summary = child;
        }
    }

    startTag(element, name);
    if (element == body) {
        bodyStart = html.size();
        inBody = true;
        textContentOnly = attribute(element, "hidden") != nullptr;
        exit |= EndBody;
    }

    if (!selectors.empty() && inBody && templates == 0)
        note(frame, htmlStart);
    if ((flags & Link) && templates == 0) {
        if (const GumboAttribute *href = attribute(element, "href")) {
            const std::string_view value = restored(href->value, href->original_value.data, textScratch);
            if (value.data() == href->value) {
                hrefs.push_back(value);
            } else {
                restoredHrefs.emplace_back(value);
                hrefs.push_back(restoredHrefs.back());
            }
        }
    }
    if (htmlElement && templates == 0)
        takeFormPart(element, exit);
    if ((flags & Base) && templates == 0 && !baseHref) {
        if (const GumboAttribute *href = attribute(element, "href"))
            baseHref = std::string(restored(href->value, href->original_value.data, textScratch));
    }
    if (flags & Template) {
        ++templates;
        exit |= EndTemplate;
    }
    if (flags & Preformatted) {
        ++preformatted;
        exit |= EndPreformatted;
    }

    if (!inBody || textContentOnly || hidden > 0)
        return;
    if (element != body && (!rendersChild(parent, element) || hiddenElement(element, flags))) {
        ++hidden;
        exit |= ShowAgain;
        return;
    }
    if (!htmlElement) {
        // MathML reads as inline text. An svg is an inline box where only SVG text and the HTML of a
        // foreignObject are drawn; definitions, gradients, titles and the like are not.
        if (e.tag_namespace != GUMBO_NAMESPACE_SVG)
            return;
        if (name == "svg"sv &&
            !(isElement(parent.node) && parent.node->v.element.tag_namespace == GUMBO_NAMESPACE_SVG)) {
            innerText.inlineBoxStart();
            exit |= EndInlineBox;
        } else if (name != "svg"sv && name != "g"sv && name != "a"sv && name != "switch"sv &&
                   name != "text"sv && name != "tspan"sv && name != "textPath"sv &&
                   name != "foreignObject"sv) {
            ++hidden;
            exit |= ShowAgain;
            return;
        }
        if (name == "text"sv) {
            ++svgText;
            exit |= EndSvgText;
        } else if (name == "foreignObject"sv) {
            innerText.boxStart();
            exit |= EndBox;
        }
        return;
    }
    if (flags & Replaced) {
        innerText.inlineBoxStart();
        innerText.inlineBoxEnd();
        ++hidden;
        exit |= ShowAgain;
        return;
    }
    if (flags & InlineBlock) {
        innerText.inlineBoxStart();
        exit |= EndInlineBox;
    }
    if (flags & Paragraph) {
        innerText.requiredBreak(2);
        exit |= BreakAfter2;
    } else if (flags & Block) {
        innerText.requiredBreak(1);
        exit |= BreakAfter1;
    }
    if (flags & TableCell) {
        innerText.boxStart();
        exit |= EndCell;
    }
    if (flags & TableRow)
        exit |= EndRow;
    if (flags & LineBreak)
        innerText.newline();
}

void DocumentWalker::leaveElement(const Frame &frame, const Frame *parent, const Frame *grandparent,
                                  bool endTag)
{
    const quint32 exit = frame.exitActions;
    if (exit & ShowAgain)
        --hidden;
    if (exit & EndSvgText)
        --svgText;
    if (exit & EndBox)
        innerText.boxEnd();
    if (exit & EndInlineBox)
        innerText.inlineBoxEnd();
    if (exit & EndCell) {
        innerText.boxEnd();
        if (parent && hasFollowingCell(parent->node, parent->nextChild - 1))
            innerText.tab();
    }
    if ((exit & EndRow) && parent &&
        hasFollowingRow(parent->node, parent->nextChild - 1, grandparent ? grandparent->node : nullptr,
                        grandparent ? grandparent->nextChild - 1 : 0))
        innerText.newline();
    if (exit & BreakAfter2)
        innerText.requiredBreak(2);
    if (exit & BreakAfter1)
        innerText.requiredBreak(1);
    if (exit & EndPreformatted)
        --preformatted;
    if (exit & EndTemplate)
        --templates;
    if (exit & EndForm)
        openForm = -1;
    if (exit & EndBody) {
        bodyEnd = html.size();
        inBody = false;
    }
    if (endTag) {
        html.append("</", 2);
        html.append(frame.staticName ? frame.name : elementName(frame.node));
        html.push_back('>');
    }
    if (frame.noted >= 0) {
        RawNoted &entry = noted[std::size_t(frame.noted)];
        entry.textEnd = innerText.size();
        entry.htmlEnd = html.size();
        openNoted.pop_back();
    }
}

// A long text node is let go of once its HTML is written: a page of one long line holds little else,
// and its text, its HTML and the page itself are more than enough at once. Nothing reads a text node
// twice.
bool DocumentWalker::letGo(const GumboText &node, std::string_view text)
{
    return text.size() >= GumboArena::LargeBlockFrom && text.data() == node.text &&
           arena.releaseLarge(node.text);
}

void DocumentWalker::visitText(const GumboNode *node, const Frame &parent)
{
    const GumboText &t = node->v.text;
    std::string_view text = restored(t.text, t.original_text.data, textScratch);
    if (node->type == GUMBO_NODE_COMMENT) {
        html.append("<!--", 4);
        html.append(text);
        html.append("-->", 3);
        letGo(t, text);
        return;
    }
    const std::size_t placed = placeholder.empty() ? std::string_view::npos : text.find(placeholder);
    if (placed != std::string_view::npos && parent.name == "script"sv &&
        text.substr(0, placed).find("<!--") == std::string_view::npos) {
        // The script's own text up to the payload leaves the tokenizer in plain script data, and the
        // payload holds nothing that would leave it: the page read whole gives this text.
        html.append(text.substr(0, placed));
        html.append(payload);
        html.append(text.substr(placed + placeholder.size()));
        ++spliced;
        letGo(t, text);
        return;
    }
    strayed = strayed || placed != std::string_view::npos;
    if (payloadEnd > payloadStart && parent.name == "script"sv) {
        const std::size_t source = renames.offsetOf(t.original_text.data);
        payloadInScript = payloadInScript || (source != std::string_view::npos && source <= payloadStart &&
                                              payloadEnd <= source + t.original_text.length);
    }
    const std::size_t written = html.size();
    const bool escaped = !(parent.flags & RawTextParent);
    if (escaped)
        appendEscaped(html, text, TextEscapes);
    else
        html.append(text);
    // From here on a text let go of is read back from its HTML.
    const bool fromHtml = letGo(t, text);
    if (fromHtml)
        text = html.view(written);
    const bool unescape = fromHtml && escaped;

    if (!inBody)
        return;
    if (textContentOnly) {
        if (templates == 0)
            takeText(text, unescape, [this](std::string_view piece) { innerText.appendRaw(piece); });
        return;
    }
    if (hidden > 0 || !rendersChild(parent, node))
        return;
    if ((parent.flags & TablePart) && isWhitespaceOnly(text))
        return;
    // Text right in an SVG element other than text is not drawn.
    if (svgText == 0 && isElement(parent.node) &&
        parent.node->v.element.tag_namespace == GUMBO_NAMESPACE_SVG &&
        parent.node->v.element.tag != GUMBO_TAG_FOREIGNOBJECT)
        return;
    const bool pre = preformatted > 0;
    takeText(text, unescape, [this, pre](std::string_view piece) { innerText.text(piece, pre); });
}

void DocumentWalker::walk(const GumboNode *root, const GumboNode *bodyElement)
{
    body = bodyElement;
    std::vector<Frame> stack;
    stack.reserve(64);
    stack.push_back({root, 0, Block, 0, {}, true, ChildBoxes::All, nullptr});
    while (true) {
        Frame &top = stack.back();
        const GumboVector &children = childrenOf(top.node);
        if (top.nextChild >= children.length) {
            if (stack.size() == 1)
                return;
            const std::size_t depth = stack.size();
            leaveElement(top, &stack[depth - 2], depth >= 3 ? &stack[depth - 3] : nullptr, true);
            stack.pop_back();
            continue;
        }
        const auto *child = static_cast<const GumboNode *>(children.data[top.nextChild++]);
        if (!isElement(child)) {
            visitText(child, top);
            continue;
        }
        const std::string_view name = elementName(child);
        // A name made from the page sits in a buffer the next element reuses: leaving makes it again.
        const bool staticName = name.data() != nameScratch.data();
        Frame frame{child, 0, 0, 0, name, staticName, ChildBoxes::All, nullptr};
        enterElement(frame, top);
        if (!staticName)
            frame.name = {};
        if (frame.flags & Void) {
            leaveElement(frame, &top, nullptr, false);
            continue;
        }
        stack.push_back(frame);
    }
}

const GumboNode *bodyOf(const GumboNode *root)
{
    const GumboVector &children = root->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        const auto *child = static_cast<const GumboNode *>(children.data[i]);
        if (isHtml(child, GUMBO_TAG_BODY) || isHtml(child, GUMBO_TAG_FRAMESET))
            return child;
    }
    return nullptr;
}

QString fromUtf8(std::string_view text)
{
    return wellFormedUtf8ToString(QByteArrayView(text.data(), qsizetype(text.size())));
}

HtmlForm makeForm(const RawForm &raw, const HrefResolver &resolver, const QString &address)
{
    HtmlForm form;
    // A form without an action goes to the page itself, whatever the base says.
    form.action = raw.action && !raw.action->empty() ? resolver.resolveUtf8(*raw.action).href() : address;
    form.method = QString::fromLatin1(raw.method);
    for (const RawField &field : raw.fields)
        form.fields.append(
            {fromUtf8(field.name), fromUtf8(field.value), fromUtf8(field.type), field.checked});
    return form;
}

// One parse of a page and the walk over it; the walk's views into the tree live as long as this.
struct PageParse {
    explicit PageParse(std::string_view text)
        : renames(text)
    {}

    MarkupRenames renames;
    GumboArena arena;
    std::optional<DocumentWalker> walker;
    const GumboNode *body = nullptr;
};

// With a placeholder, the payload is spliced in where it stands; without one, the payload's place in
// the page is only checked.
std::unique_ptr<PageParse> parsePage(std::string_view page, const ParseBudget &budget,
                                     const std::vector<Selector> &selectors, std::string_view placeholder,
                                     std::string_view payload,
                                     std::pair<std::size_t, std::size_t> payloadRange = {})
{
    auto parse = std::make_unique<PageParse>(page);
    const std::string_view text = parse->renames.parseText();
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &GumboArena::allocate;
    options.deallocator = &GumboArena::deallocate;
    options.userdata = &parse->arena;
    options.max_errors = 0; // parse errors are of no use here, and recording them costs
    parse->arena.setLimits(budget.deadline, budget.abandoned);
    // The tree is released with the arena: gumbo_destroy_output would recurse once per nesting level.
    const GumboOutput *output = GumboArena::parse(&options, text.data(), text.size(), parse->arena);
    if (!output)
        throw ParseStopped(parse->arena.stoppedByDeadline());
    parse->body = bodyOf(output->root);
    DocumentWalker &walker = parse->walker.emplace(parse->renames, text.size(), parse->arena);
    walker.selectors = selectors;
    walker.placeholder = placeholder;
    walker.payload = payload;
    std::tie(walker.payloadStart, walker.payloadEnd) = payloadRange;
    walker.walk(output->root, parse->body);
    return parse;
}

bool containsNoCase(std::string_view text, std::string_view lowerNeedle)
{
    for (std::size_t at = 0; at + lowerNeedle.size() <= text.size(); ++at) {
        if (matchesNoCase(text.data() + at, lowerNeedle))
            return true;
    }
    return false;
}

} // namespace

HtmlDocument buildDocumentFromUtf8(QByteArrayView utf8, const QString &address, QByteArrayView encoding,
                                   const ParseBudget &budget, PageReading *reading)
{
    HtmlDocument document;
    document.address = address;

    const std::string_view original(utf8.isEmpty() ? "" : utf8.data(), std::size_t(utf8.size()));
    const ParseEscapes escapes(original);
    const std::string_view page = escapes.needed() ? escapes.escaped() : original;
    const auto unescaped = [&escapes](std::string_view text) {
        return escapes.needed() ? ParseEscapes::unescaped(text) : std::string(text);
    };

    std::vector<Selector> selectors;
    std::string cut; // the page with the payload out, when it can be taken out
    std::string_view payload;
    std::string placeholder;
    if (reading) {
        for (const ElementSelector &selector : std::as_const(reading->selectors))
            selectors.push_back({selector.tag.toStdString(), selector.classToken.toStdString(),
                                 selector.idPrefix.toStdString(), selector.attribute.toStdString(),
                                 selector.within});
        const auto range = reading->findPayload
                               ? reading->findPayload(QByteArrayView(page.data(), qsizetype(page.size())))
                               : std::nullopt;
        if (range && range->first >= 0 && range->first <= range->second &&
            std::size_t(range->second) <= page.size()) {
            payload = page.substr(std::size_t(range->first), std::size_t(range->second - range->first));
            // Only what keeps the tokenizer in plain script data can be taken out unread (and the
            // parser turns NUL and CR into other characters).
            const bool plain = payload.find('\0') == std::string_view::npos &&
                               payload.find('\r') == std::string_view::npos &&
                               payload.find("<!--") == std::string_view::npos &&
                               !containsNoCase(payload, "</script");
            for (int n = 0; plain && n < 8 && placeholder.empty(); ++n) {
                const std::string candidate = "diarytrawl-payload-" + std::to_string(n);
                if (page.find(candidate) == std::string_view::npos)
                    placeholder = candidate;
            }
            if (!placeholder.empty()) {
                cut.reserve(page.size() - payload.size() + placeholder.size());
                cut.append(page.substr(0, std::size_t(range->first)));
                cut.append(placeholder);
                cut.append(page.substr(std::size_t(range->second)));
            }
        }
    }

    std::pair<std::size_t, std::size_t> payloadRange;
    if (!payload.empty())
        payloadRange = {std::size_t(payload.data() - page.data()),
                        std::size_t(payload.data() - page.data()) + payload.size()};
    std::unique_ptr<PageParse> parse = cut.empty() ? parsePage(page, budget, selectors, {}, {}, payloadRange)
                                                   : parsePage(cut, budget, selectors, placeholder, payload);
    bool payloadRead = !cut.empty() || parse->walker->payloadInScript;
    if (!cut.empty()) {
        const DocumentWalker &walked = *parse->walker;
        if (walked.spliced != 1 || walked.strayed ||
            walked.html.view().find(placeholder) != std::string::npos) {
            // Not where a script's payload would be, or not alone: the page is read whole after all.
            parse.reset();
            parse = parsePage(page, budget, selectors, {}, {}, payloadRange);
            payloadRead = parse->walker->payloadInScript;
        }
    }
    DocumentWalker &walker = *parse->walker;

    // Everything gumbo hands out is well-formed UTF-8, and so is what the walk adds: the document keeps
    // the HTML as the walk wrote it, and the text it collected.
    std::vector<ParseEscapes::Shift> htmlShifts;
    std::vector<ParseEscapes::Shift> textShifts;
    document.htmlUtf8 = walker.html.take();
    document.bodyInnerText = walker.innerText.result();
    if (escapes.needed()) {
        ParseEscapes::unescape(document.htmlUtf8, &htmlShifts);
        ParseEscapes::unescape(document.bodyInnerText, &textShifts);
    }
    const auto inHtml = [&htmlShifts](std::size_t offset) {
        return qsizetype(ParseEscapes::unescapedOffset(htmlShifts, offset));
    };
    if (parse->body) {
        document.bodyHtmlStart = inHtml(walker.bodyStart);
        document.bodyHtmlEnd = inHtml(walker.bodyEnd);
    }

    std::optional<QString> baseHref;
    if (walker.baseHref)
        baseHref = fromUtf8(unescaped(*walker.baseHref));
    const HrefResolver resolver = HrefResolver::forDocument(address, baseHref, encoding);
    document.links.reserve(qsizetype(walker.hrefs.size()));
    for (const std::string_view href : walker.hrefs)
        document.links.append(escapes.needed() ? resolver.resolveUtf8(unescaped(href))
                                               : resolver.resolveUtf8(href));
    for (const RawForm &form : walker.forms) {
        RawForm kept = form;
        if (escapes.needed()) {
            if (kept.action)
                kept.action = unescaped(*kept.action);
            for (RawField &field : kept.fields) {
                field.name = unescaped(field.name);
                field.value = unescaped(field.value);
            }
        }
        document.forms.append(makeForm(kept, resolver, address.left(address.indexOf(u'#'))));
    }

    if (reading) {
        if (payloadRead && !payload.empty())
            reading->payload = QByteArray::fromStdString(unescaped(payload));
        for (const RawNoted &raw : walker.noted) {
            NotedElement element;
            element.selector = raw.selector;
            element.within = raw.within;
            element.id = fromUtf8(unescaped(raw.id));
            element.value = fromUtf8(unescaped(raw.value));
            element.textStart = qsizetype(ParseEscapes::unescapedOffset(textShifts, raw.textStart));
            element.textEnd = qsizetype(ParseEscapes::unescapedOffset(textShifts, raw.textEnd));
            element.htmlStart = inHtml(raw.htmlStart) - document.bodyHtmlStart;
            element.htmlEnd = inHtml(raw.htmlEnd) - document.bodyHtmlStart;
            reading->noted.append(element);
        }
    }
    return document;
}

} // namespace diarytrawl::web

namespace diarytrawl {

QByteArrayView HtmlDocument::bodyHtmlUtf8() const
{
    // Kept inside the HTML whatever the offsets say: a document may come from a store, not a parse.
    const qsizetype start = std::clamp(bodyHtmlStart, qsizetype(0), htmlUtf8.size());
    return QByteArrayView(htmlUtf8).sliced(start, std::clamp(bodyHtmlEnd, start, htmlUtf8.size()) - start);
}

QString HtmlDocument::bodyInnerHtml() const
{
    return web::wellFormedUtf8ToString(bodyHtmlUtf8());
}

QString HtmlDocument::htmlInnerHtml() const
{
    return web::wellFormedUtf8ToString(htmlUtf8);
}

} // namespace diarytrawl

namespace diarytrawl::web {

HtmlDocument buildDocument(const QString &html, const QString &address, const ParseBudget &budget)
{
    const QByteArray utf8 = html.toUtf8();
    return buildDocumentFromUtf8(utf8, address, "UTF-8", budget);
}

HtmlDocument buildDocument(const QByteArray &body, const QByteArray &httpContentType, const QString &address,
                           const ParseBudget &budget, PageReading *reading)
{
    const Utf8Page page = pageToUtf8(body, httpContentType);
    return buildDocumentFromUtf8(page.text, address, page.encoding, budget, reading);
}

} // namespace diarytrawl::web
