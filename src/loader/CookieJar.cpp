// SPDX-License-Identifier: GPL-3.0-or-later
#include "CookieJar.h"

#include <QHostAddress>
#include <QMutexLocker>
#include <QNetworkCookieJar>
#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace diarytrawl::web {

// Qt's jar keeps the domain and path rules and the public-suffix list; what it keeps protected is all
// this class needs besides.
class CookieJar::Store : public QNetworkCookieJar {
public:
    using QNetworkCookieJar::allCookies;
    using QNetworkCookieJar::validateCookie;
};

namespace {

bool isControl(char c)
{
    return quint8(c) < 0x20 || c == 0x7F;
}

// RFC 6265 5.1.4: the address's folder, without its closing '/'.
QString defaultPathOf(const WebAddress &address)
{
    const QStringView path = address.path();
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? u"/"_s : path.left(slash).toString();
}

// Qt's jar takes its own address type; an address a browser has serialised reads the same in it.
QUrl forQt(const WebAddress &address)
{
    return QUrl(address.withoutFragment().toString(), QUrl::StrictMode);
}

} // namespace

bool isSendable(const QNetworkCookie &cookie)
{
    const QByteArray name = cookie.name();
    const QByteArray value = cookie.value();
    const QString domain = cookie.domain();
    return !name.isEmpty() && !domain.isEmpty() && domain != u"."_s &&
           std::none_of(name.begin(), name.end(),
                        [](char c) { return isControl(c) || c == ';' || c == '=' || c == ' '; }) &&
           std::none_of(value.begin(), value.end(), [](char c) { return isControl(c) || c == ';'; });
}

CookieJar::CookieJar()
    : m_store(std::make_unique<Store>())
{}

CookieJar::~CookieJar() = default;

void CookieJar::insert(const QNetworkCookie &cookie)
{
    QNetworkCookie kept = cookie;
    kept.setDomain(cookie.domain().toLower());
    if (kept.path().isEmpty())
        kept.setPath(u"/"_s);
    if (!isSendable(kept))
        return;
    QMutexLocker lock(&m_mutex);
    m_store->insertCookie(kept); // an expired one only removes the cookie it names, as a site's would
}

void CookieJar::setFromResponse(const QList<QByteArray> &setCookieValues, const WebAddress &webAddress)
{
    const QUrl address = forQt(webAddress);
    const QString host = address.host();
    // A Domain attribute widens a cookie to the hosts below a name; an IP address has none.
    const bool hostIsAddress = !QHostAddress(host).isNull();
    const bool overHttps = address.scheme() == u"https"_s;
    QMutexLocker lock(&m_mutex);
    for (const QByteArray &value : setCookieValues) {
        if (value.size() > MaxCookieBytes)
            continue;
        const QList<QNetworkCookie> parsed = QNetworkCookie::parseCookies(value);
        for (QNetworkCookie cookie : parsed) {
            if (hostIsAddress && !cookie.domain().isEmpty() && cookie.domain() != host)
                continue;
            if (cookie.path().isEmpty())
                cookie.setPath(defaultPathOf(webAddress)); // Qt's default keeps the closing '/'
            cookie.normalize(address);
            if (!isSendable(cookie) || (cookie.isSecure() && !overHttps) ||
                !m_store->validateCookie(cookie, address))
                continue;
            const QList<QNetworkCookie> held = m_store->allCookies();
            const bool replaces = std::any_of(held.begin(), held.end(), [&](const QNetworkCookie &other) {
                return other.hasSameIdentifier(cookie);
            });
            if (!replaces && m_addedBySites >= MaxCookiesFromSites)
                continue;
            if (m_store->insertCookie(cookie) && !replaces)
                ++m_addedBySites;
        }
    }
}

QByteArray CookieJar::cookieHeaderFor(const WebAddress &address) const
{
    QMutexLocker lock(&m_mutex);
    const QList<QNetworkCookie> cookies = m_store->cookiesForUrl(forQt(address));
    QByteArray header;
    for (const QNetworkCookie &cookie : cookies) {
        if (!header.isEmpty())
            header += "; ";
        header += cookie.name() + '=' + cookie.value();
    }
    return header;
}

qsizetype CookieJar::size() const
{
    QMutexLocker lock(&m_mutex);
    return m_store->allCookies().size();
}

} // namespace diarytrawl::web
