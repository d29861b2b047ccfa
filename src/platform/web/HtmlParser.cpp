#include "HtmlParser.h"

#include "PageDecoding.h"

namespace diarytrawl::web {

HtmlDocument buildDocument(const QString &html, const QString &address)
{
    HtmlDocument document; // placeholder until the gumbo extraction lands
    document.address = address;
    document.bodyInnerText = html;
    document.bodyInnerHtml = html;
    document.htmlInnerHtml = u"<head></head><body>" + html + u"</body>";
    return document;
}

HtmlDocument buildDocument(const QByteArray &body, const QByteArray &httpContentType, const QString &address)
{
    return buildDocument(decodePage(body, httpContentType), address);
}

} // namespace diarytrawl::web
