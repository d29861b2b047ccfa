// SPDX-License-Identifier: GPL-3.0-or-later
#include "DesktopOpener.h"
#include "Form1.h"
#include "PageCommand.h"
#include "SearchCommand.h"
#include "platform/PlatformError.h"
#include "platform/web/NetworkBrowser.h"

#include <QApplication>
#include <QMessageBox>
#include <QTextStream>

#include <cstring>

using namespace Qt::StringLiterals;
using namespace diarytrawl;

namespace {

void printUsage(QTextStream &out)
{
    out << "Usage: diarytrawl                      open the window\n"
           "       diarytrawl search [options]     run one search, log on standard output\n"
           "       diarytrawl page URL [options]   show what a search sees of one page\n"
           "       diarytrawl --help | --version\n"
           "Run a command with --help for its options; see also diarytrawl(1).\n";
}

void describeApplication()
{
    QCoreApplication::setApplicationName(u"diarytrawl"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(DIARYTRAWL_VERSION));
}

int runCommand(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    describeApplication();
    QStringList arguments = QCoreApplication::arguments().mid(1);
    const QString command = arguments.takeFirst();
    if (command == u"page")
        return runPageCommand(arguments);
    if (command == u"search") {
        return runSearchCommand(arguments,
                                [](const LoaderChoices &choices) -> std::unique_ptr<BrowserFactory> {
                                    web::NetworkBrowserOptions options;
                                    options.forceOffline = choices.offline;
                                    options.forceOnline = choices.online;
                                    options.contact = choices.contact;
                                    options.idleTimeout = choices.timeout;
                                    return std::make_unique<web::NetworkBrowserFactory>(options);
                                });
    }
    if (command == u"--version" || command == u"-v") {
        QTextStream(stdout) << "diarytrawl " << QCoreApplication::applicationVersion() << '\n';
        return exitStatus::Completed;
    }
    const bool asked = command == u"--help" || command == u"-h";
    QTextStream out(asked ? stdout : stderr);
    if (!asked)
        out << "diarytrawl: unknown command \"" << command << "\"\n";
    printUsage(out);
    return asked ? exitStatus::Completed : exitStatus::Usage;
}

int runWindow(int argc, char *argv[])
{
    QApplication app(argc, argv);
    describeApplication();
    QApplication::setDesktopFileName(u"net.diarytrawl.DiaryTrawl"_s);

    web::NetworkBrowserOptions options;
    options.openExternally = openInDesktop;
    web::NetworkBrowserFactory browsers(options);
    SettingsStore settings;
    SystemClock clock;
    Form1 window({browsers, settings, clock, openInDesktop});
    window.show();
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    // The commands run without a display; only the window needs one.
    if (argc > 1)
        return runCommand(argc, argv);
    return runWindow(argc, argv);
}
