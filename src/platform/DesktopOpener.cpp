// SPDX-License-Identifier: GPL-3.0-or-later
#include "DesktopOpener.h"

#include <QProcess>

namespace diarytrawl {

using namespace Qt::StringLiterals;

void openInDesktop(const QString &address)
{
    QProcess::startDetached(u"xdg-open"_s, {address});
}

} // namespace diarytrawl
