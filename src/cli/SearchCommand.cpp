// SPDX-License-Identifier: GPL-3.0-or-later
#include "SearchCommand.h"

#include "CommandLineOutput.h"
#include "core/Crawl.h"
#include "core/RegExpObject.h"
#include "core/RegexpHelpers.h"
#include "core/SearchLaunch.h"
#include "core/SearchTranslation.h"
#include "core/YearSpan.h"
#include "platform/FileSystem.h"
#include "platform/PlatformError.h"
#include "sites/Sites.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSocketNotifier>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <limits>
#include <unistd.h>

namespace diarytrawl {

using namespace Qt::StringLiterals;

namespace {

const QString DefaultYear = u"2005"_s;
const QString DefaultMonth = u"03"_s;
const QString DefaultText = u"LJ"_s;
constexpr int DefaultTimeoutSeconds = 60;

// The help and the usage errors are said in the desktop's language; the log, the JSON lines, the status
// line and the crawl's own messages are not: scripts and people read those the same everywhere.
class SearchCommand {
    Q_DECLARE_TR_FUNCTIONS(SearchCommand)
};

QString helpText()
{
    return SearchCommand::
        tr("Usage: diarytrawl search --user NAME [options]\n"
           "\n"
           "Searches one journal's entries for a string, month by month, as the window's Search! button\n"
           "does. The log goes to standard output, the report to the current folder.\n"
           "\n"
           "What to search:\n"
           "  --user NAME             the journal's user name (required)\n"
           "  --year YEAR             the year to search (default: 2005), a range of years (2003-2012:\n"
           "                          from --from of the first through --to of the last) or all\n"
           "  --from MONTH            the first month (default: 03)\n"
           "  --to MONTH              the last month (default: 03)\n"
           "  --text STRING           what to look for (default: LJ); letter case is ignored\n"
           "  --regexp                the string is a regular expression\n"
           "  --masks                 '*' and '?' in the string mean any characters, any character\n"
           "  --or-then               the words OR and THEN in the string are operators\n"
           "  --html-code             search the pages' HTML code too\n"
           "  --all-comments          search every page and collapsed thread of an entry's comments, not\n"
           "                          only the comments its page carries (a request for each)\n"
           "  --site HOST[:PORT]      the journal site (default: %1)\n"
           "\n"
           "What to keep:\n"
           "  --save-pages            store every scanned page in saved.pages.tmp/\n"
           "  --save-matching         store only the matching pages\n"
           "  --open                  open the finished report in the desktop's program for it\n"
           "\n"
           "Reading the site:\n"
           "  --adult                 you are 18 or older: answer the sites' adult-content notices\n"
           "  --cookies FILE          search as yourself, with the login cookies in FILE: a cookies.txt\n"
           "                          (Netscape format, as browser extensions export it) or a Firefox\n"
           "                          cookies.sqlite; the file is only read\n"
           "  --cookies-from-browser firefox[:PROFILE_FOLDER]\n"
           "                          the login cookies of a Firefox profile (default: the default\n"
           "                          profile). Chromium-family browsers encrypt their cookies: export a\n"
           "                          cookies.txt with a browser extension and use --cookies instead\n"
           "  --contact EMAIL         a contact address the User-Agent names, as the sites ask of bots\n"
           "                          (default: the Contact value of the settings, if any)\n"
           "  --timeout SECONDS       a load that receives nothing for this long fails (default: 60)\n"
           "  --pace SECONDS          at least this long between two requests (at least 0.2; default:\n"
           "                          what the site asks, 0.2 on LiveJournal, 2 on Dreamwidth or 0.6\n"
           "                          with login cookies)\n"
           "  --max-age AGE           an entry read from the network less than AGE ago comes from the page\n"
           "                          cache without a request (default: 1d; 12h, 30m, 90s; 0 reads all\n"
           "                          again); month and year pages are always read again\n"
           "  --cache-limit SIZE      keep at most this much in the page cache, dropping the pages read\n"
           "                          longest ago (default: 2G; 500M, 64K, a number of bytes; 0 keeps none)\n"
           "  --offline               read pages only from the page cache\n"
           "  --online                read the network even when the settings ask for offline mode\n"
           "\n"
           "Output:\n"
           "  --json                  one JSON object per line for each step, in place of the log\n"
           "  --quiet                 only the matches and the summary\n"
           "  -h, --help              show this help\n"
           "  -v, --version           show the version\n"
           "\n"
           "Exit status: 0 every page was read, 1 stopped by the user, 2 the search failed, 3 the search\n"
           "ended but some pages could not be read, 64 the command line was wrong.\n")
            .arg(sites::LiveJournal);
}

// "1d", "12h", "30m", "90s", or a number of seconds.
std::optional<std::chrono::seconds> duration(const QString &text)
{
    static const QRegularExpression form(u"^(\\d{1,7})([smhd]?)$"_s);
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const qint64 count = match.captured(1).toLongLong();
    const QString unit = match.captured(2);
    const qint64 factor = unit == u"d" ? 86400 : unit == u"h" ? 3600 : unit == u"m" ? 60 : 1;
    return std::chrono::seconds(count * factor);
}

// "2G", "500M", "64K" (powers of 1024) or a number of bytes.
std::optional<qint64> dataSize(const QString &text)
{
    static const QRegularExpression form(u"^(\\d{1,13})([KMGT]?)B?$"_s,
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const int shift = QStringView(u"KMGT").indexOf(match.captured(2).toUpper()) * 10 + 10;
    const qint64 count = match.captured(1).toLongLong();
    if (match.captured(2).isEmpty())
        return count;
    if (count > (std::numeric_limits<qint64>::max() >> shift))
        return std::nullopt;
    return count << shift;
}

int usageError(const QString &problem)
{
    writeText(stderr, u"diarytrawl search: "_s + problem +
                          SearchCommand::tr("; see 'diarytrawl search --help'") + u'\n');
    return exitStatus::Usage;
}

// A contact the sites can reach: an e-mail address or a web address, printable ASCII without spaces.
bool isContact(const QString &contact)
{
    for (const QChar c : contact) {
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7F || c == u'(' || c == u')')
            return false;
    }
    const qsizetype at = contact.indexOf(u'@');
    return (at > 0 && at < contact.size() - 1) || contact.startsWith(u"https://") ||
           contact.startsWith(u"http://");
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

// The command line as the search's window: fields and marks from the options, the log or the events on
// standard output, messages and the status line on standard error.
class CommandLineSearch final : public SearchFrontEnd, public SearchForm {
public:
    CommandLineSearch(SearchFields fields, MatchModes modes, bool openReport, bool json, bool quiet,
                      std::unique_ptr<BrowserFactory> browsers)
        : m_fields(std::move(fields))
        , m_modes(modes)
        , m_openReport(openReport)
        , m_browsers(std::move(browsers))
        , m_output(json, quiet, stdout, stderr, ::isatty(STDERR_FILENO) == 1, m_clock, m_dateTimeText)
    {}

    WindowState &windowState() override { return m_state; }
    SearchEvents &events() override { return m_output.events(); }
    void showMessage(const QString &strMessage) override { m_output.failureMessage(strMessage); }
    void Run(const QString &strFileName) override
    {
        if (m_openReport)
            QProcess::startDetached(u"xdg-open"_s, {fso::GetAbsolutePathName(strFileName)});
    }
    BrowserFactory &browserFactory() override { return *m_browsers; }
    const Clock &clock() const override { return m_clock; }
    const DateTimeText &dateTimeText() const override { return m_dateTimeText; }
    std::chrono::seconds cacheMaxAge() const override { return maxAge; }

    void setSearchButtonEnabled(bool) override {}
    void setCancelSearchButtonEnabled(bool) override {}
    SearchFields readSearchFields() const override { return m_fields; }
    const MatchModes &matchModes() const override { return m_modes; }

    std::chrono::seconds maxAge = std::chrono::hours(24);

private:
    WindowState m_state;
    SearchFields m_fields;
    MatchModes m_modes;
    bool m_openReport;
    std::unique_ptr<BrowserFactory> m_browsers;
    SystemClock m_clock;
    DateTimeText m_dateTimeText;
    CommandLineOutput m_output;
};

} // namespace

int runSearchCommand(const QStringList &arguments, const BrowserFactoryMaker &makeBrowserFactory)
{
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{u"h"_s, u"help"_s});
    const QCommandLineOption version(QStringList{u"v"_s, u"version"_s});
    const QCommandLineOption user(u"user"_s, QString(), u"NAME"_s);
    const QCommandLineOption year(u"year"_s, QString(), u"YEAR"_s, DefaultYear);
    const QCommandLineOption from(u"from"_s, QString(), u"MONTH"_s, DefaultMonth);
    const QCommandLineOption to(u"to"_s, QString(), u"MONTH"_s, DefaultMonth);
    const QCommandLineOption text(u"text"_s, QString(), u"STRING"_s, DefaultText);
    const QCommandLineOption regexp(u"regexp"_s);
    const QCommandLineOption masks(u"masks"_s);
    const QCommandLineOption orThen(u"or-then"_s);
    const QCommandLineOption htmlCode(u"html-code"_s);
    const QCommandLineOption allComments(u"all-comments"_s);
    const QCommandLineOption savePages(u"save-pages"_s);
    const QCommandLineOption saveMatching(u"save-matching"_s);
    const QCommandLineOption site(u"site"_s, QString(), u"HOST"_s, sites::LiveJournal.toString());
    const QCommandLineOption open(u"open"_s);
    const QCommandLineOption adult(u"adult"_s);
    const QCommandLineOption cookies(u"cookies"_s, QString(), u"FILE"_s);
    const QCommandLineOption cookiesFromBrowser(u"cookies-from-browser"_s, QString(), u"BROWSER"_s);
    const QCommandLineOption contact(u"contact"_s, QString(), u"EMAIL"_s);
    const QCommandLineOption timeout(u"timeout"_s, QString(), u"SECONDS"_s,
                                     QString::number(DefaultTimeoutSeconds));
    const QCommandLineOption pace(u"pace"_s, QString(), u"SECONDS"_s);
    const QCommandLineOption maxAgeOption(u"max-age"_s, QString(), u"AGE"_s);
    const QCommandLineOption cacheLimit(u"cache-limit"_s, QString(), u"SIZE"_s);
    const QCommandLineOption offline(u"offline"_s);
    const QCommandLineOption online(u"online"_s);
    const QCommandLineOption json(u"json"_s);
    const QCommandLineOption quiet(u"quiet"_s);
    parser.addOptions({help,
                       version,
                       user,
                       year,
                       from,
                       to,
                       text,
                       regexp,
                       masks,
                       orThen,
                       htmlCode,
                       allComments,
                       savePages,
                       saveMatching,
                       site,
                       open,
                       adult,
                       cookies,
                       cookiesFromBrowser,
                       contact,
                       timeout,
                       pace,
                       maxAgeOption,
                       cacheLimit,
                       offline,
                       online,
                       json,
                       quiet});

    if (!parser.parse(QStringList{u"diarytrawl search"_s} + arguments)) {
        QString problem = parser.errorText();
        if (problem.endsWith(u'.'))
            problem.chop(1);
        problem[0] = problem[0].toLower();
        return usageError(problem);
    }
    if (parser.isSet(help)) {
        writeText(stdout, helpText());
        return exitStatus::Completed;
    }
    if (parser.isSet(version)) {
        writeText(stdout, u"diarytrawl "_s + QCoreApplication::applicationVersion() + u'\n');
        return exitStatus::Completed;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            SearchCommand::tr("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    if (parser.value(user).isEmpty())
        return usageError(SearchCommand::tr("--user NAME is required"));
    const std::pair<const QCommandLineOption *, const QCommandLineOption *> exclusive[] = {
        {&regexp, &masks},
        {&regexp, &orThen},
        {&savePages, &saveMatching},
        {&offline, &online},
        {&cookies, &cookiesFromBrowser}};
    for (const auto &[one, other] : exclusive) {
        if (parser.isSet(*one) && parser.isSet(*other))
            return usageError(SearchCommand::tr("--%1 and --%2 exclude each other")
                                  .arg(one->names().first(), other->names().first()));
    }
    YearSpan span;
    try {
        span = yearSpan(parser.value(year));
    } catch (const PlatformError &error) {
        const QString typed = parser.value(year);
        switch (error.number()) {
        case ErrorNumber::InvalidArgument:
            return usageError(
                SearchCommand::tr("--year \"%1\" runs backwards: give the earlier year first").arg(typed));
        case ErrorNumber::Overflow:
            return usageError(
                SearchCommand::tr("--year \"%1\" spans more than %n years", nullptr, MaxYearsInRange)
                    .arg(typed));
        default:
            return usageError(
                SearchCommand::tr(
                    "--year must be a year (2005), a range of years (2003-2012) or all, not \"%1\"")
                    .arg(typed));
        }
    }
    for (const QCommandLineOption *month : {&from, &to}) {
        try {
            const int number = monthNumber(parser.value(*month));
            if (span.kind != YearSpan::Kind::Single && (number < 1 || number > 12))
                return usageError(
                    SearchCommand::tr("--%1 must be a month from 1 to 12 with a range of years, not \"%2\"")
                        .arg(month->names().first(), parser.value(*month)));
        } catch (const PlatformError &) {
            return usageError(
                SearchCommand::tr("--%1 must be a whole number from -32768 to 32767, not \"%2\"")
                    .arg(month->names().first(), parser.value(*month)));
        }
    }
    std::chrono::seconds maxAge = std::chrono::hours(24);
    if (parser.isSet(maxAgeOption)) {
        const std::optional<std::chrono::seconds> age = duration(parser.value(maxAgeOption));
        if (!age)
            return usageError(
                SearchCommand::tr("--max-age must be an age such as 1d, 12h, 30m, 90s or 0, not \"%1\"")
                    .arg(parser.value(maxAgeOption)));
        maxAge = *age;
    }
    std::optional<qint64> cacheBytes;
    if (parser.isSet(cacheLimit)) {
        cacheBytes = dataSize(parser.value(cacheLimit));
        if (!cacheBytes)
            return usageError(
                u"--cache-limit must be a size such as 2G, 500M, 64K or a number of bytes, not \""_s +
                parser.value(cacheLimit) + u'"');
    }
    bool timeoutIsNumber = false;
    const double timeoutSeconds = parser.value(timeout).toDouble(&timeoutIsNumber);
    if (!timeoutIsNumber || !std::isfinite(timeoutSeconds) || timeoutSeconds <= 0 || timeoutSeconds > 86400)
        return usageError(SearchCommand::tr("--timeout must be a number of seconds above 0, not \"%1\"")
                              .arg(parser.value(timeout)));
    std::optional<std::chrono::milliseconds> paceChosen;
    if (parser.isSet(pace)) {
        bool paceIsNumber = false;
        const double paceSeconds = parser.value(pace).toDouble(&paceIsNumber);
        if (!paceIsNumber || !std::isfinite(paceSeconds) || paceSeconds < 0.2 || paceSeconds > 3600)
            return usageError(
                SearchCommand::tr("--pace must be a number of seconds from 0.2 to 3600, not \"%1\"")
                    .arg(parser.value(pace)));
        paceChosen = std::chrono::milliseconds(std::llround(paceSeconds * 1000));
    }
    if (parser.isSet(contact) && !isContact(parser.value(contact)))
        return usageError(SearchCommand::tr("--contact must be an e-mail or web address, not \"%1\"")
                              .arg(parser.value(contact)));
    const QString siteHost = parser.value(site);
    if (const QString problem = sites::siteHostProblem(siteHost); !problem.isEmpty())
        return usageError(SearchCommand::tr("--site \"%1\": %2").arg(siteHost, problem));
    QString loginCookies;
    if (parser.isSet(cookies)) {
        loginCookies = parser.value(cookies);
        if (!QFileInfo(loginCookies).isFile() || !QFileInfo(loginCookies).isReadable())
            return usageError(SearchCommand::tr("cannot read the cookie file \"%1\"").arg(loginCookies));
    } else if (parser.isSet(cookiesFromBrowser)) {
        loginCookies = parser.value(cookiesFromBrowser);
        if (loginCookies != u"firefox" && !loginCookies.startsWith(u"firefox:"))
            return usageError(
                SearchCommand::tr("--cookies-from-browser reads Firefox only (\"firefox\" or "
                                  "\"firefox:PROFILE_FOLDER\"); Chromium-family browsers encrypt "
                                  "their cookies, so export a cookies.txt and use --cookies"));
    }

    MatchModes modes;
    if (parser.isSet(regexp))
        modes.useRegExps_Click();
    if (parser.isSet(masks))
        modes.assumeDosFilemasks_Click();
    if (parser.isSet(orThen))
        modes.assumeOrAndNot_Click();
    const SearchFields fields{parser.value(user), parser.value(year), parser.value(from), parser.value(to),
                              parser.value(text)};
    // A pattern that cannot compile is found now rather than after the first page has been loaded.
    const SearchPlan plan = planSearch(fields.strSearchString, modes);
    try {
        if (plan.bRegScan) {
            RegExpObject pattern;
            pattern.Pattern = plan.strSearchTo;
            pattern.Test(QString());
        }
    } catch (const PlatformError &error) {
        return usageError(SearchCommand::tr("the search expression \"%1\" does not compile: %2")
                              .arg(plan.strSearchTo, error.description()));
    }

    LoaderChoices choices;
    choices.offline = parser.isSet(offline);
    choices.online = parser.isSet(online);
    choices.contact = parser.value(contact);
    choices.timeout = std::chrono::milliseconds(std::llround(timeoutSeconds * 1000));
    choices.pace = paceChosen;
    choices.cacheMaxBytes = cacheBytes;
    CommandLineSearch search(fields, modes, parser.isSet(open), parser.isSet(json), parser.isSet(quiet),
                             makeBrowserFactory(choices));
    search.maxAge = maxAge;
    WindowState &state = search.windowState();
    state.strSiteHost = siteHost;
    state.bSearchHtmlCode = parser.isSet(htmlCode);
    state.bSearchAllComments = parser.isSet(allComments);
    state.bSavePages = parser.isSet(savePages);
    state.bSaveMatchingOnly = parser.isSet(saveMatching);
    state.bShowAdultContent = parser.isSet(adult);
    state.strLoginCookies = loginCookies;

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
        return exitStatus::Completed;
    case CrawlOutcome::CompletedWithUnreadPages:
        return exitStatus::Unread;
    case CrawlOutcome::StoppedAtMonthPage:
    case CrawlOutcome::StoppedAtEntry:
        return exitStatus::Stopped;
    case CrawlOutcome::Failed:
        break;
    }
    return exitStatus::Failed;
}

} // namespace diarytrawl
