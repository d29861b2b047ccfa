#include "SearchCommand.h"

#include "platform/FileSystem.h"
#include "progress/SearchLog.h"
#include "search/SearchLaunch.h"
#include "search/Sites.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QProcess>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace diarytrawl {

using namespace Qt::StringLiterals;

namespace {

constexpr int ExitCompleted = 0;
constexpr int ExitStopped = 1;
constexpr int ExitFailed = 2;
constexpr int ExitUsage = 64;

void writeTo(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// Ctrl+C: the first one asks the search to stop, as Cancel Search does; the handler then steps aside,
// so a second one ends the program at once.
int interruptPipe[2] = {-1, -1};

extern "C" void onInterrupt(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(interruptPipe[1], &byte, 1);
    std::signal(SIGINT, SIG_DFL);
}

// The command line as the search's window: fields and marks from the options, the log on standard
// output, everything else on standard error.
class CommandLineSearch final : public SearchFrontEnd, public SearchForm, private LogView {
public:
    CommandLineSearch(SearchFields fields, MatchModes modes, bool openReport,
                      std::unique_ptr<BrowserFactory> browsers)
        : m_fields(std::move(fields))
        , m_modes(modes)
        , m_openReport(openReport)
        , m_browsers(std::move(browsers))
        , m_log(*this, SearchLog::Bound::None)
        , m_statusToTerminal(::isatty(STDERR_FILENO) == 1)
    {}

    WindowState &windowState() override { return m_state; }
    LogSink &log() override { return m_log; }
    void StatusReport(const QString &strText) override
    {
        if (m_statusToTerminal)
            writeTo(stderr, strText + u'\n');
    }
    void showMessage(const QString &strMessage) override { writeTo(stderr, strMessage); }
    void Run(const QString &strFileName) override
    {
        if (m_openReport)
            QProcess::startDetached(u"xdg-open"_s, {fso::GetAbsolutePathName(strFileName)});
    }
    BrowserFactory &browserFactory() override { return *m_browsers; }
    const Clock &clock() const override { return m_clock; }
    const DateTimeText &dateTimeText() const override { return m_dateTimeText; }

    void setSearchButtonEnabled(bool) override {}
    void setCancelSearchButtonEnabled(bool) override {}
    SearchFields readSearchFields() const override { return m_fields; }
    const MatchModes &matchModes() const override { return m_modes; }

private:
    void replaceLogText(const QString &text) override { writeTo(stdout, text); }
    void appendLogText(const QString &text) override { writeTo(stdout, text); }

    WindowState m_state;
    SearchFields m_fields;
    MatchModes m_modes;
    bool m_openReport;
    std::unique_ptr<BrowserFactory> m_browsers;
    SearchLog m_log;
    SystemClock m_clock;
    DateTimeText m_dateTimeText;
    bool m_statusToTerminal;
};

int usageError(const QString &message, const QCommandLineParser &parser)
{
    writeTo(stderr, u"diarytrawl search: "_s + message + u"\n\n"_s + parser.helpText());
    return ExitUsage;
}

} // namespace

int runSearchCommand(const QStringList &arguments, const BrowserFactoryMaker &makeBrowserFactory)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Searches one journal's entries for a string, as the window's Search button "
        u"does; the log goes to standard output."_s);
    const QCommandLineOption help({u"h"_s, u"help"_s}, u"Show this help."_s);
    const QCommandLineOption version({u"v"_s, u"version"_s}, u"Show the version."_s);
    const QCommandLineOption user(u"user"_s, u"Journal user name."_s, u"NAME"_s, u"inkwell"_s);
    const QCommandLineOption year(u"year"_s, u"Year to search."_s, u"YEAR"_s, u"2005"_s);
    const QCommandLineOption from(u"from"_s, u"First month."_s, u"MONTH"_s, u"03"_s);
    const QCommandLineOption to(u"to"_s, u"Last month."_s, u"MONTH"_s, u"03"_s);
    const QCommandLineOption text(u"text"_s, u"What to look for."_s, u"STRING"_s, u"LJ"_s);
    const QCommandLineOption regexp(u"regexp"_s, u"The string is a regular expression."_s);
    const QCommandLineOption masks(u"masks"_s,
                                   u"'*' and '?' in the string mean any characters, any character."_s);
    const QCommandLineOption orThen(u"or-then"_s, u"The words OR and THEN in the string are operators."_s);
    const QCommandLineOption htmlCode(u"html-code"_s, u"Search the pages' HTML code too."_s);
    const QCommandLineOption savePages(u"save-pages"_s, u"Store every scanned page in saved.pages.tmp/."_s);
    const QCommandLineOption saveMatching(u"save-matching"_s, u"Store only the matching pages."_s);
    const QCommandLineOption site(u"site"_s, u"Journal site's host, with an optional port."_s, u"HOST"_s,
                                  sites::LiveJournal.toString());
    const QCommandLineOption open(u"open"_s, u"Open the finished report in the desktop's program for it."_s);
    const QCommandLineOption offline(u"offline"_s, u"Read pages only from the page cache."_s);
    parser.addOptions({help, version, user, year, from, to, text, regexp, masks, orThen, htmlCode, savePages,
                       saveMatching, site, open, offline});

    if (!parser.parse(QStringList{u"diarytrawl search"_s} + arguments))
        return usageError(parser.errorText(), parser);
    if (parser.isSet(help)) {
        writeTo(stdout, parser.helpText());
        return ExitCompleted;
    }
    if (parser.isSet(version)) {
        writeTo(stdout, u"diarytrawl "_s + QCoreApplication::applicationVersion() + u'\n');
        return ExitCompleted;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(u"unexpected argument \""_s + parser.positionalArguments().first() + u'"', parser);
    if (parser.isSet(regexp) && (parser.isSet(masks) || parser.isSet(orThen)))
        return usageError(u"--regexp cannot be combined with --masks or --or-then"_s, parser);
    if (parser.isSet(savePages) && parser.isSet(saveMatching))
        return usageError(u"--save-pages and --save-matching exclude each other"_s, parser);

    MatchModes modes;
    if (parser.isSet(regexp))
        modes.useRegExps_Click();
    if (parser.isSet(masks))
        modes.assumeDosFilemasks_Click();
    if (parser.isSet(orThen))
        modes.assumeOrAndNot_Click();

    CommandLineSearch search(
        {parser.value(user), parser.value(year), parser.value(from), parser.value(to), parser.value(text)},
        modes, parser.isSet(open), makeBrowserFactory(parser.isSet(offline)));
    WindowState &state = search.windowState();
    state.strSiteHost = parser.value(site);
    state.bSearchHtmlCode = parser.isSet(htmlCode);
    state.bSavePages = parser.isSet(savePages);
    state.bSaveMatchingOnly = parser.isSet(saveMatching);

    std::unique_ptr<QSocketNotifier> interrupts;
    if (::pipe(interruptPipe) == 0) {
        interrupts = std::make_unique<QSocketNotifier>(interruptPipe[0], QSocketNotifier::Read);
        QObject::connect(interrupts.get(), &QSocketNotifier::activated, interrupts.get(), [&state] {
            char byte = 0;
            [[maybe_unused]] const ssize_t got = ::read(interruptPipe[0], &byte, 1);
            CancelSearchButton_Click(state);
        });
        std::signal(SIGINT, onInterrupt);
    }

    const CrawlOutcome outcome = SearchButton_Click(search, search);
    std::signal(SIGINT, SIG_DFL);
    switch (outcome) {
    case CrawlOutcome::Completed:
        return ExitCompleted;
    case CrawlOutcome::StoppedAtMonthPage:
    case CrawlOutcome::StoppedAtEntry:
        return ExitStopped;
    case CrawlOutcome::Failed:
        break;
    }
    return ExitFailed;
}

} // namespace diarytrawl
