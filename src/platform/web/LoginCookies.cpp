#include "LoginCookies.h"

namespace diarytrawl::web {

CookieImport readLoginCookies(const QString &)
{
    return {};
}

} // namespace diarytrawl::web
