#include "WebAddress.h"

#include <QUrl>

namespace diarytrawl::web {

QString resolveHref(const QString &href, const QString &base)
{
    return QUrl(base).resolved(QUrl(href)).toString(QUrl::FullyEncoded); // placeholder
}

} // namespace diarytrawl::web
