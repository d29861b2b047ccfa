// SPDX-License-Identifier: GPL-3.0-or-later
#include "CacheCommand.h"
#include "PageCommand.h"
#include "SearchCommand.h"
#include "gui/WindowMain.h"
#include "loader/NetworkBrowser.h"
#include "platform/MemoryReuse.h"
#include "platform/Translations.h"
#include "sites/JournalSiteRules.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QTextStream>
#include <QThreadPool>

#include <cstring>

using namespace Qt::StringLiterals;
using namespace diarytrawl;

namespace {

// The usage is said in the desktop's language; what a command prints when it runs is not.
class Program {
    Q_DECLARE_TR_FUNCTIONS(Program)
};

void printUsage(QTextStream &out)
{
    out << Program::tr("Usage: diarytrawl                      open the window\n"
                       "       diarytrawl search [options]     run one search, log on standard output\n"
                       "       diarytrawl page URL [options]   show what a search sees of one page\n"
                       "       diarytrawl cache [options]      show or clear what the page cache holds\n"
                       "       diarytrawl --help | --version\n"
                       "Run a command with --help for its options; see also diarytrawl(1).\n");
}

void describeApplication()
{
    QCoreApplication::setApplicationName(u"diarytrawl"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(DIARYTRAWL_VERSION));
}

int runCommand(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Pages read last may still be on their way to the page cache: they get there before the program
    // ends, whichever way the command ends.
    const auto waitForCacheWrites = qScopeGuard([] { QThreadPool::globalInstance()->waitForDone(); });
    describeApplication();
    installTranslations();
    QStringList arguments = QCoreApplication::arguments().mid(1);
    const QString command = arguments.takeFirst();
    if (command == u"page")
        return runPageCommand(arguments);
    if (command == u"cache")
        return runCacheCommand(arguments);
    if (command == u"search") {
        return runSearchCommand(arguments,
                                [](const LoaderChoices &choices) -> std::unique_ptr<BrowserFactory> {
                                    web::NetworkBrowserOptions options;
                                    options.forceOffline = choices.offline;
                                    options.forceOnline = choices.online;
                                    options.contact = choices.contact;
                                    options.idleTimeout = choices.timeout;
                                    options.pace = choices.pace;
                                    if (choices.cacheMaxBytes)
                                        options.cacheMaxBytes = *choices.cacheMaxBytes;
                                    options.siteRules = std::make_shared<sites::JournalSiteRules>();
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
        out << Program::tr("diarytrawl: unknown command \"%1\"").arg(command) << '\n';
    printUsage(out);
    return asked ? exitStatus::Completed : exitStatus::Usage;
}

} // namespace

int main(int argc, char *argv[])
{
    keepFreedMemoryForReuse();
    // The commands run without a display; only the window needs one.
    if (argc > 1)
        return runCommand(argc, argv);
    describeApplication();
    return runWindow(argc, argv);
}
