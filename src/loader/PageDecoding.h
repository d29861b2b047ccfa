// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace diarytrawl::web {

// Where the charset a page is read in came from, strongest first.
enum class CharsetSource { ByteOrderMark, HttpHeader, MetaDeclaration, Default };

struct PageCharset {
    QByteArray encoding; // the encoding's canonical name, as a browser reports document.characterSet
    CharsetSource source = CharsetSource::Default;
    qsizetype bomLength = 0; // bytes of byte-order mark at the start that are not text
};

// Canonical name of an encoding label as browsers map labels ("cp1251" -> "windows-1251",
// "latin1" -> "windows-1252"); empty for a label browsers do not know. Surrounding white space and
// letter case do not matter.
QByteArray encodingForLabel(QByteArrayView label);

// The encoding named by the charset parameter of a Content-Type header value, as browsers read the
// header (several comma-separated types, quoted values); empty when there is none or it is unknown.
QByteArray charsetFromContentType(QByteArrayView contentType);

// The encoding a page declares in its first 1024 bytes (meta charset, meta http-equiv, an XML
// declaration), found the way a browser's prescan finds it; empty when none.
QByteArray prescanCharset(QByteArrayView bytes);

// The charset a browser reads a page in: a byte-order mark, else the HTTP charset, else the page's
// own declaration, else windows-1251. Labels that name no encoding this build can decode are passed
// over as unknown.
PageCharset detectCharset(QByteArrayView body, QByteArrayView httpContentType);

// Turns a page's bytes into text as browsers do, in the charset detectCharset finds. Bytes the
// charset cannot decode become U+FFFD.
QString decodePage(const QByteArray &body, const QByteArray &httpContentType);

// Decodes bytes (no byte-order mark) in a known encoding; unknown encodings decode as windows-1251.
QString decodeBytes(QByteArrayView bytes, QByteArrayView encoding);

// A page as well-formed UTF-8 (what the HTML parser reads), sharing the page's own bytes when they
// already are well-formed UTF-8.
struct Utf8Page {
    QByteArray storage; // keeps text alive
    QByteArrayView text;
    QByteArray encoding; // canonical name of the charset the page was read in
};
Utf8Page pageToUtf8(const QByteArray &body, const QByteArray &httpContentType);

// Replaces each ill-formed UTF-8 sequence with U+FFFD as browsers' decoders do (one U+FFFD per
// maximal ill-formed subsequence). Returns false and leaves repaired empty when bytes are well formed.
bool repairUtf8(QByteArrayView bytes, QByteArray &repaired);

// Decodes UTF-8 that is known to be well formed (repairUtf8's output, gumbo's strings) faster than
// a decoder that must check it, and unlike QString::fromUtf8 keeps a leading U+FEFF. Ill-formed
// input gives garbage, never a crash.
QString wellFormedUtf8ToString(QByteArrayView utf8);
// The same into out, never past outEnd (one unit a byte is always room enough); returns the end written.
char16_t *wellFormedUtf8ToUtf16(QByteArrayView utf8, char16_t *out, const char16_t *outEnd);
// How many UTF-16 units wellFormedUtf8ToString makes of it.
qsizetype wellFormedUtf16Length(QByteArrayView utf8);

} // namespace diarytrawl::web
