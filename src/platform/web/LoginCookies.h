#pragma once

#include <QList>
#include <QNetworkCookie>
#include <QStringList>

namespace diarytrawl::web {

struct CookieImport {
    QList<QNetworkCookie> cookies;
    QStringList notes;
};

CookieImport readLoginCookies(const QString &source);

} // namespace diarytrawl::web
