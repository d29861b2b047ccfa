#include "PageDecoding.h"

namespace diarytrawl::web {

QString decodePage(const QByteArray &body, const QByteArray &httpContentType)
{
    Q_UNUSED(httpContentType);
    return QString::fromUtf8(body); // placeholder until charset sniffing lands
}

} // namespace diarytrawl::web
