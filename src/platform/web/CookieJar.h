#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QUrl>

namespace diarytrawl::web {

// Placeholder until the real jar lands.
class CookieJar {
public:
    void insert(const QNetworkCookie &cookie) { m_jar.insertCookie(cookie); }
    void setFromResponse(const QList<QByteArray> &setCookieValues, const QUrl &address)
    {
        QList<QNetworkCookie> cookies;
        for (const QByteArray &value : setCookieValues)
            cookies += QNetworkCookie::parseCookies(value);
        m_jar.setCookiesFromUrl(cookies, address);
    }
    QByteArray cookieHeaderFor(const QUrl &address) const
    {
        QByteArray header;
        for (const QNetworkCookie &cookie : m_jar.cookiesForUrl(address)) {
            if (!header.isEmpty())
                header += "; ";
            header += cookie.toRawForm(QNetworkCookie::NameAndValueOnly);
        }
        return header;
    }
    qsizetype size() const { return 0; }

private:
    QNetworkCookieJar m_jar;
};

} // namespace diarytrawl::web
