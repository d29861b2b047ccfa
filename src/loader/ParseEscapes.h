// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace diarytrawl::web {

// Browsers keep control characters (U+0001 to U+0008, U+000B, U+000E to U+001F, U+007F to U+009F) and
// noncharacters (U+FDD0 to U+FDEF, U+xFFFE, U+xFFFF) in a page as they stand: for HTML they are parse
// errors, not replacements. gumbo turns them into U+FFFD. So the page the parser reads has each of them
// written as two code points of the last private-use plane, an escape U+10FFFD and the character's own
// stand-in, and an escape of the page's own is doubled; everything taken out of the parse is unescaped.
class ParseEscapes {
public:
    // Scans well-formed UTF-8; escaped() holds what the parser reads when needed() says so.
    explicit ParseEscapes(std::string_view page);

    bool needed() const { return !m_escaped.empty(); }
    std::string_view escaped() const { return m_escaped; }

    // Undo every escape of a text taken out of the parse, in place (a text only gets shorter, so a
    // page's text needs no second copy), and note for each escape where it stood: the offset in the
    // escaped text and how many bytes (UTF-8) or units (UTF-16) shorter the text is from there on.
    struct Shift {
        std::size_t at;
        std::size_t shorterBy;
    };
    static void unescape(QByteArray &utf8, std::vector<Shift> *shifts = nullptr);
    static void unescape(QString &text, std::vector<Shift> *shifts = nullptr);
    static std::string unescaped(std::string_view utf8);
    // An offset into escaped text, in the unescaped text.
    static std::size_t unescapedOffset(const std::vector<Shift> &shifts, std::size_t offset);

private:
    std::string m_escaped;
};

} // namespace diarytrawl::web
