// SPDX-License-Identifier: GPL-3.0-or-later
#include "DesktopOpener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace diarytrawl {

using namespace Qt::StringLiterals;

void openInDesktop(const QString &address)
{
    if (!QDesktopServices::openUrl(QUrl(address)))
        QProcess::startDetached(u"xdg-open"_s, {address});
}

} // namespace diarytrawl
