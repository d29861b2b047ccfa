// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <string_view>

namespace diarytrawl::web {

// An absolute address split as browsers split one.
struct WebAddress {
    QString scheme; // lower case, without the ':'
    QString username;
    QString password;
    std::optional<QString> host; // as written back: lower case, punycode, [IPv6], dotted IPv4
    int port = -1;               // -1: none, or the scheme's default
    bool opaquePath = false;     // javascript:, mailto:, data: ...: path holds one opaque string
    QStringList path;
    std::optional<QString> query;
    std::optional<QString> fragment;

    // The address written out, as a link's href reads in a browser.
    QString toString() const;
};

// Parses input as a browser's URL parser does, relative to base when there is one. encoding is the
// document's charset: browsers write a query of an http(s) address in it. nullopt when browsers
// reject the address.
std::optional<WebAddress> parseWebAddress(QStringView input, const WebAddress *base = nullptr,
                                          QByteArrayView encoding = "UTF-8");

// What a link's href gives in a browser: the resolved absolute address, or the attribute value as
// written when it does not resolve. Either way nothing in the result can end an HTML attribute
// value or start markup: no '"', '<', '>', space or control character (a failed href is
// percent-encoded where it has them, and non-ASCII too; an address whose host would hold one is
// rejected; an opaque path has them percent-encoded).
QString resolveHref(const QString &href, const QString &base);
QString resolveHref(const QString &href, const QString &base, QByteArrayView encoding);

// Resolves many hrefs against one base, parsing the base once.
class HrefResolver {
public:
    // base: an absolute address; when it does not parse, only absolute hrefs resolve.
    explicit HrefResolver(const QString &base, QByteArrayView encoding = "UTF-8");

    // The base a document's links resolve against: its first <base href>, resolved against the
    // document's address, unless that fails or is a data: or javascript: address.
    static HrefResolver forDocument(const QString &documentAddress, const std::optional<QString> &baseHref,
                                    QByteArrayView encoding);

    QString resolve(QStringView href) const;
    // The same for an href in UTF-8, as the HTML parser hands it out.
    QString resolveUtf8(std::string_view href) const;

private:
    struct ParsedBase;
    std::shared_ptr<ParsedBase> base;
    QByteArray encoding;
};

// An href that did not resolve, as it can be written into a report: C0 controls, DEL, space, '"',
// '<', '>', '`' and everything outside ASCII percent-encoded (UTF-8); all else as written.
QString reportSafeHref(QStringView href);

} // namespace diarytrawl::web
