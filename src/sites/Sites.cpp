// SPDX-License-Identifier: GPL-3.0-or-later
#include "Sites.h"

#include <QCoreApplication>

#include <algorithm>

namespace diarytrawl::sites {

using namespace Qt::StringLiterals;

namespace {

// Why a host is refused is said in the desktop's language: the window and the command line show it.
class SiteHost {
    Q_DECLARE_TR_FUNCTIONS(SiteHost)
};

constexpr qsizetype LongestLabel = 63;
constexpr qsizetype LongestHost = 253;

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isHostCharacter(QChar c)
{
    return isAsciiDigit(c) || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'-';
}

bool isAddressCharacter(QChar c)
{
    return isHostCharacter(c) || c == u'.' || c == u':';
}

bool allDigits(QStringView text)
{
    return std::all_of(text.begin(), text.end(), isAsciiDigit);
}

bool isPort(QStringView text)
{
    return !text.isEmpty() && text.size() <= 5 && allDigits(text) && text.toInt() >= 1 &&
           text.toInt() <= 65535;
}

// A part of a dotted IPv4 address; leading zeros are refused, as some read them as octal.
bool isAddressPart(QStringView label)
{
    return label.size() <= 3 && (label.size() == 1 || label[0] != u'0') && label.toInt() <= 255;
}

} // namespace

QString siteHostProblem(QStringView text)
{
    if (!std::all_of(text.begin(), text.end(), isAddressCharacter))
        return SiteHost::tr(
            "give the host name alone: the letters a to z, digits, '-' and '.', then maybe ':' and a port");
    const qsizetype colon = text.indexOf(u':');
    const QStringView host = colon < 0 ? text : text.left(colon);
    if (host.isEmpty())
        return SiteHost::tr("no host name was given");
    if (colon >= 0 && !isPort(text.mid(colon + 1)))
        return SiteHost::tr("the port after ':' must be a number from 1 to 65535");
    if (host.size() > LongestHost)
        return SiteHost::tr("a host name has at most 253 characters");

    bool numeric = true;
    qsizetype labels = 0;
    for (const QStringView label : host.tokenize(u'.')) {
        ++labels;
        if (label.isEmpty())
            return SiteHost::tr("a host name has no empty part before, between or after its dots");
        if (label.size() > LongestLabel)
            return SiteHost::tr("each dot-separated part of a host name has at most 63 characters");
        numeric = numeric && allDigits(label);
    }
    // Digits and dots are an IPv4 address or nothing: "10.1" would be read as one, in shorthand.
    if (numeric) {
        bool address = labels == 4;
        for (const QStringView label : host.tokenize(u'.'))
            address = address && isAddressPart(label);
        if (!address)
            return SiteHost::tr("an IPv4 address has four numbers from 0 to 255, without leading zeros");
    }
    return {};
}

QString siteDomain(const QString &siteHost)
{
    QString domain = siteHost.section(u':', 0, 0).toLower();
    if (domain.startsWith(u"www."))
        domain.remove(0, 4);
    return domain;
}

QString siteOf(QStringView host)
{
    const QString name = host.toString().section(u':', 0, 0).toLower();
    if (std::all_of(name.begin(), name.end(), [](QChar c) { return isAsciiDigit(c) || c == u'.'; }))
        return name;
    const qsizetype lastDot = name.lastIndexOf(u'.');
    const qsizetype dotBefore = lastDot <= 0 ? -1 : name.lastIndexOf(u'.', lastDot - 1);
    return dotBefore < 0 ? name : name.mid(dotBefore + 1);
}

bool isDreamwidth(QStringView site)
{
    return site == Dreamwidth.mid(4);
}

} // namespace diarytrawl::sites
