// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowMain.h"

#include "Form1.h"
#include "loader/NetworkBrowser.h"
#include "platform/DesktopOpener.h"
#include "platform/Translations.h"
#include "sites/JournalSiteRules.h"

#include <QApplication>

using namespace Qt::StringLiterals;

namespace diarytrawl {

int runWindow(int &argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setDesktopFileName(u"net.diarytrawl.DiaryTrawl"_s);
    installTranslations();

    web::NetworkBrowserOptions options;
    options.openExternally = openInDesktop;
    options.siteRules = std::make_shared<sites::JournalSiteRules>();
    web::NetworkBrowserFactory browsers(options);
    SettingsStore settings;
    SystemClock clock;
    Form1 window({browsers, settings, clock, openInDesktop});
    window.show();
    return app.exec();
}

} // namespace diarytrawl
