// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "WebAddress.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QNetworkCookie>

#include <memory>

namespace diarytrawl::web {

// The cookies of one search: the user's login cookies and what the sites set while it runs (consent
// cookies, ljuniq). The rules are those of RFC 6265:
//  - a host-only cookie (a domain without a leading '.') goes to exactly its host; a domain cookie
//    (".example.org") to example.org and every host below it; only to paths below its path; a Secure
//    cookie only over https; an expired cookie never;
//  - a Set-Cookie is refused when its Domain is not the answering host or a domain above it, when the
//    Domain is a public suffix ("com", "co.uk") and not the host itself, or when it is Secure and came
//    over http; a cookie without Path gets the folder of the address that set it.
// Sites cannot make it grow without bound: a Set-Cookie past MaxCookieBytes is refused, and so is every
// cookie past the first MaxCookiesFromSites that the sites add in a search; one that replaces a cookie
// of the same name, domain and path is always taken, and nothing is ever pushed out to make room.
// Safe to use from several threads. Nothing it holds goes into a message.
class CookieJar {
public:
    static constexpr qsizetype MaxCookieBytes = 4096;
    static constexpr qsizetype MaxCookiesFromSites = 3000;

    CookieJar();
    ~CookieJar();
    CookieJar(const CookieJar &) = delete;
    CookieJar &operator=(const CookieJar &) = delete;

    // Takes the cookie as given: an imported login cookie, or one of the program's own (the consent
    // cookie). An empty path means "/". Ignored when isSendable says no or when it has expired.
    void insert(const QNetworkCookie &cookie);
    // The Set-Cookie values of an answer to a request for address (the address the user's request was
    // for, not where a test's host mapping sent it).
    void setFromResponse(const QList<QByteArray> &setCookieValues, const WebAddress &address);
    // The Cookie header for a request to address: "a=1; b=2", longer paths first; empty when none.
    QByteArray cookieHeaderFor(const WebAddress &address) const;
    qsizetype size() const;

private:
    class Store;

    mutable QMutex m_mutex;
    std::unique_ptr<Store> m_store;
    qsizetype m_addedBySites = 0;
};

// Whether the cookie can go into a Cookie header as it is: a name and a domain, and neither name nor
// value holding a control character, ';' (or, in the name, '=' or a space) that would end it early or
// split the header.
bool isSendable(const QNetworkCookie &cookie);

} // namespace diarytrawl::web
