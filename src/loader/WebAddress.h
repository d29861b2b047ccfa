// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDataStream>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>
#include <optional>
#include <string_view>

namespace diarytrawl::web {

// An address as a browser's URL parser leaves it, parsed once: the serialisation (what a link's href
// reads in a browser) and where each of its parts lies in it, so that asking for a part costs nothing.
// Or an href that did not parse, kept as written, as browsers keep it.
class WebAddress {
public:
    WebAddress() = default; // empty and not parsed

    // Parses input as a browser's URL parser does, relative to base when there is one (an unparsed
    // base counts as none). encoding is the document's charset: browsers write the query of an
    // http(s) address in it. nullopt when browsers reject the address.
    static std::optional<WebAddress> parse(QStringView input, const WebAddress *base = nullptr,
                                           QByteArrayView encoding = "UTF-8");
    // An href that did not parse; href() gives it back exactly as written.
    static WebAddress unparsed(QString text);

    bool isValid() const { return m_valid; }
    const QString &href() const { return m_href; }

    // The parts, as a browser's URL object has them, without their delimiters. All empty when the
    // href did not parse.
    QStringView scheme() const { return view(0, m_schemeEnd); } // lower case
    QStringView username() const { return m_hasHost ? view(m_schemeEnd + 3, m_usernameEnd) : QStringView(); }
    QStringView password() const;
    bool hasHost() const { return m_hasHost; }
    QStringView host() const { return view(m_hostStart, m_hostEnd); } // lower case, punycode, [v6], dotted v4
    int port() const { return m_port; }                               // -1: none, or the scheme's default
    QStringView path() const { return view(m_pathStart, pathEnd()); }
    bool hasOpaquePath() const { return m_opaquePath; } // javascript:, mailto:, data: ...
    std::optional<QStringView> query() const;
    std::optional<QStringView> fragment() const;
    // The href up to its fragment's '#': all of it when there is no fragment, or it did not parse.
    QStringView withoutFragment() const
    {
        return view(0, m_fragmentStart < 0 ? m_href.size() : m_fragmentStart);
    }
    bool isHttp() const;
    // The same address without its fragment.
    WebAddress stripped() const;

    friend bool operator==(const WebAddress &a, const WebAddress &b) { return a.m_href == b.m_href; }

    // As the page cache keeps an address: its text and where its parts lie, so that reading it back
    // costs no parse. Reading fails (the stream's status set to ReadCorruptData) when the parts do not
    // fit the text.
    friend QDataStream &operator<<(QDataStream &out, const WebAddress &address);
    friend QDataStream &operator>>(QDataStream &in, WebAddress &address);

private:
    friend struct AddressWriter;

    QStringView view(qsizetype from, qsizetype to) const
    {
        return QStringView(m_href).sliced(from, to - from);
    }
    qsizetype pathEnd() const
    {
        return m_queryStart >= 0 ? m_queryStart : m_fragmentStart >= 0 ? m_fragmentStart : m_href.size();
    }

    // Offsets into m_href. Userinfo, when there is any, runs from after the "//" to the '@' before the
    // host; a password follows the username after a ':'. An unparsed href has its path start at its end,
    // which leaves every part empty.
    QString m_href;
    qsizetype m_schemeEnd = 0; // the ':'
    qsizetype m_usernameEnd = 0;
    qsizetype m_hostStart = 0;
    qsizetype m_hostEnd = 0;
    qsizetype m_pathStart = 0;
    qsizetype m_queryStart = -1;    // the '?', or -1
    qsizetype m_fragmentStart = -1; // the '#', or -1
    int m_port = -1;
    bool m_valid = false;
    bool m_hasHost = false;
    bool m_opaquePath = false;
};

// Resolves many hrefs against one base, parsing the base once. What it gives is what a link's href
// gives in a browser: the resolved address, or the attribute value as written when it does not resolve.
class HrefResolver {
public:
    // base: an absolute address; when it does not parse, only absolute hrefs resolve.
    explicit HrefResolver(const QString &base, QByteArrayView encoding = "UTF-8");

    // The base a document's links resolve against: its first <base href>, resolved against the
    // document's address, unless that fails or is a data: or javascript: address.
    static HrefResolver forDocument(const QString &documentAddress, const std::optional<QString> &baseHref,
                                    QByteArrayView encoding);

    WebAddress resolve(QStringView href) const;
    // The same for an href in UTF-8, as the HTML parser hands it out.
    WebAddress resolveUtf8(std::string_view href) const;

private:
    struct ParsedBase;
    std::shared_ptr<ParsedBase> m_base;
    QByteArray m_encoding;
};

// The hrefs of addresses, in order.
QStringList hrefsOf(const QList<WebAddress> &addresses);

// One href resolved against one base: HrefResolver(base, encoding).resolve(href).href().
QString resolveHref(const QString &href, const QString &base, QByteArrayView encoding = "UTF-8");

} // namespace diarytrawl::web
