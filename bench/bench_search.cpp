// A whole search of a fixture journal on loopback, timed against its floor: the crawl pauses 100 ms after
// every link and polls every page load at least once, 100 ms later.
#include "JournalServer.h"
#include "platform/web/NetworkBrowser.h"
#include "progress/SearchLog.h"
#include "search/Crawl.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>

using namespace diarytrawl;
using namespace diarytrawl::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int Months = 3;
constexpr int EntriesPerMonth = 5;

class BenchFrontEnd final : public SearchFrontEnd, private LogView {
public:
    explicit BenchFrontEnd(const QString &folder)
        : m_log(*this)
        , m_browsers(optionsFor(folder))
    {}

    WindowState &windowState() override { return state; }
    LogSink &log() override { return m_log; }
    void StatusReport(const QString &) override {}
    void showMessage(const QString &strMessage) override { QTextStream(stderr) << strMessage; }
    void Run(const QString &) override {}
    BrowserFactory &browserFactory() override { return m_browsers; }
    const Clock &clock() const override { return m_clock; }
    const DateTimeText &dateTimeText() const override { return m_dateTimeText; }

    WindowState state;
    QString logText;

private:
    static web::NetworkBrowserOptions optionsFor(const QString &folder)
    {
        web::NetworkBrowserOptions options;
        options.settingsFile = folder + u"/settings.json"_s;
        options.cacheFolder = folder + u"/cache"_s;
        return options;
    }
    void replaceLogText(const QString &text) override { logText = text; }
    void appendLogText(const QString &text) override { logText += text; }

    SearchLog m_log;
    web::NetworkBrowserFactory m_browsers;
    SystemClock m_clock;
    DateTimeText m_dateTimeText;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());

    JournalServer server;
    int id = 1000;
    for (int month = 1; month <= Months; ++month) {
        for (int day = 1; day <= EntriesPerMonth; ++day)
            server.addEntry({u"bench"_s, 2005, month, day * 5, ++id, u"Entry %1"_s.arg(id),
                             u"<p>Some text of the entry, now and then about LJ.</p>"_s.repeated(20)});
    }

    BenchFrontEnd frontEnd(folder.path());
    frontEnd.state.strSiteHost = server.host();
    QElapsedTimer timer;
    timer.start();
    const CrawlOutcome outcome = Scan(frontEnd, u"bench"_s, u"2005"_s, u"01"_s,
                                      QString::number(Months).rightJustified(2, u'0'), u"LJ"_s);
    const qint64 elapsedMs = timer.elapsed();

    const qsizetype links = frontEnd.logText.count(u"link("_s);
    const qsizetype loads =
        frontEnd.logText.count(u"Loading page ... "_s) + frontEnd.logText.count(u"Ok \r\n"_s);
    const qint64 floorMs = (links + loads) * 100;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);

    out << "search " << (outcome == CrawlOutcome::Completed ? "completed" : "did NOT complete") << ": "
        << Months << " months, " << links << " links, " << loads << " page loads\n"
        << "elapsed " << elapsedMs << " ms, floor " << floorMs << " ms (links x 100 ms + loads x 100 ms)\n"
        << "ratio " << QString::number(double(elapsedMs) / double(floorMs), 'f', 4) << " (goal <= 1.03)\n"
        << "peak memory (max RSS, test server included) " << usage.ru_maxrss / 1024 << " MB\n";
    return outcome == CrawlOutcome::Completed ? 0 : 1;
}
