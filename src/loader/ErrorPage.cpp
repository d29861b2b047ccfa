// SPDX-License-Identifier: GPL-3.0-or-later
#include "ErrorPage.h"

using namespace Qt::StringLiterals;

namespace diarytrawl::web::pages {

// Every sentence is built by concatenation: an address may hold "%1", which an arg() would fill in.

QString messagePage(const QString &sentence)
{
    return u"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Page not shown</title></head>"
           "<body><p>"_s +
           sentence.toHtmlEscaped() + u"</p></body></html>"_s;
}

QString loadFailed(const QString &address, const QString &reason)
{
    return u"The page "_s + address + u" could not be loaded: "_s + reason + u'.';
}

QString notAvailableOffline(const QString &address)
{
    return u"The page "_s + address + u" is not available offline."_s;
}

QString schemeNotLoaded(const QString &address)
{
    return u"The page "_s + address + u" cannot be loaded: only http and https addresses are loaded."_s;
}

QString notAWebAddress(const QString &address)
{
    return u"The page \""_s + address + u"\" cannot be loaded: it is not a complete web address."_s;
}

QString tooManyRedirects(const QString &address, bool loop)
{
    return loadFailed(address, redirectsReason(loop));
}

QString emptyErrorAnswer(const QString &address, const QString &statusText)
{
    return u"The page "_s + address + u" could not be loaded: the server answered with the error "_s +
           statusText + u" and sent no page."_s;
}

QString offlineReason()
{
    return u"it is not in the page cache (offline mode)"_s;
}

QString captchaReason()
{
    return u"the site asks to prove you are a person (captcha)"_s;
}

QString redirectsReason(bool loop)
{
    return loop ? u"its redirects go round in a loop"_s : u"it redirects more than 20 times"_s;
}

QString fileReason(const QString &mimeType)
{
    return u"it holds a file of type "_s + mimeType + u", not a page"_s;
}

QString tooComplexReason(std::chrono::milliseconds parseTimeLimit)
{
    const qint64 ms = parseTimeLimit.count();
    const QString limit = ms % 1000 == 0 ? QString::number(ms / 1000) : QString::number(double(ms) / 1000);
    return u"it is too complex to read (reading it took more than "_s + limit + u" s)"_s;
}

QString plainTextPage(const QString &text)
{
    // The parser drops a line break right after <pre>; the one put there keeps the text's own.
    return u"<html><head></head><body><pre>\n"_s + text.toHtmlEscaped() + u"</pre></body></html>"_s;
}

QString fileNotShown(const QString &address, const QString &mimeType, qint64 size)
{
    return u"The address "_s + address + u" holds a file of type "_s + mimeType + u" ("_s +
           QString::number(size) + u" bytes), not a web page."_s;
}

} // namespace diarytrawl::web::pages
