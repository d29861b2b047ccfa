#include "ErrorPage.h"

using namespace Qt::StringLiterals;

namespace diarytrawl::web::pages {

QString messagePage(const QString &sentence)
{
    return u"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Page not shown</title></head>"
           "<body><p>"_s +
           sentence.toHtmlEscaped() + u"</p></body></html>"_s;
}

QString loadFailed(const QString &address, const QString &reason)
{
    return u"The page %1 could not be loaded: %2."_s.arg(address, reason);
}

QString notAvailableOffline(const QString &address)
{
    return u"The page %1 is not available offline."_s.arg(address);
}

QString schemeNotLoaded(const QString &address)
{
    return u"The page %1 cannot be loaded: only http and https addresses are loaded."_s.arg(address);
}

QString notAWebAddress(const QString &address)
{
    return u"The page \"%1\" cannot be loaded: it is not a complete web address."_s.arg(address);
}

QString tooManyRedirects(const QString &address, bool loop)
{
    return loadFailed(address,
                      loop ? u"its redirects go round in a loop"_s : u"it redirects more than 20 times"_s);
}

QString tooLarge(const QString &address, qint64 limitBytes)
{
    return loadFailed(address, u"it is larger than %1 MB"_s.arg(limitBytes / (1024 * 1024)));
}

QString emptyErrorAnswer(const QString &address, int status, const QString &reasonPhrase)
{
    QString answer = QString::number(status);
    if (!reasonPhrase.isEmpty())
        answer += u" (" + reasonPhrase + u')';
    return u"The page %1 could not be loaded: the server answered with the error %2 and sent no page."_s.arg(
        address, answer);
}

QString notShown(const QString &address, const QString &reason)
{
    return u"The page %1 could not be shown: %2."_s.arg(address, reason);
}

QString networkFailureReason(QNetworkReply::NetworkError error, const QString &detail)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return u"the server refused the connection"_s;
    case QNetworkReply::RemoteHostClosedError:
        return u"the server closed the connection before the whole page arrived"_s;
    case QNetworkReply::HostNotFoundError:
        return u"the server's name was not found"_s;
    case QNetworkReply::TimeoutError:
        return u"the connection timed out"_s;
    case QNetworkReply::SslHandshakeFailedError:
        return u"a secure (TLS) connection to the server could not be made"_s;
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return u"the network is not available"_s;
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
        return u"the proxy server failed (%1)"_s.arg(detail);
    case QNetworkReply::ProtocolFailure:
        return u"the server's answer could not be understood"_s;
    default:
        return u"a network error occurred (%1)"_s.arg(detail);
    }
}

QString plainTextPage(const QString &text)
{
    // The parser drops a line break right after <pre>; the one put there keeps the text's own.
    return u"<html><head></head><body><pre>\n"_s + text.toHtmlEscaped() + u"</pre></body></html>"_s;
}

QString fileNotShown(const QString &address, const QString &mimeType, qint64 size)
{
    return u"The address %1 holds a file of type %2 (%3 bytes), not a web page."_s.arg(address, mimeType)
        .arg(size);
}

} // namespace diarytrawl::web::pages
