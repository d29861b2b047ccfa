#include "PageCommand.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

constexpr int ExitUsage = 64;

void printUsage(QTextStream &out)
{
    out << "usage: diarytrawl                      open the window\n"
           "       diarytrawl search [options]     run one search, log on standard output\n"
           "       diarytrawl page URL [options]   show what a search sees of one page\n"
           "Run a command with --help for its options.\n";
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"diarytrawl"_s);
    QCoreApplication::setApplicationVersion(u"1.0.1.7b"_s);

    QStringList arguments = QCoreApplication::arguments().mid(1);
    const QString command = arguments.isEmpty() ? QString() : arguments.takeFirst();
    if (command == u"page")
        return diarytrawl::runPageCommand(arguments);

    QTextStream out(stdout);
    printUsage(out);
    return command.isEmpty() || command == u"--help" ? 0 : ExitUsage;
}
