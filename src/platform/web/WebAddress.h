#pragma once

#include <QString>

namespace diarytrawl::web {

// Resolves href against base as a browser's URL parser does and writes the result as a browser writes
// an absolute address (percent-encoded where a browser encodes). An href that does not resolve gives
// what a browser gives for it.
QString resolveHref(const QString &href, const QString &base);

} // namespace diarytrawl::web
