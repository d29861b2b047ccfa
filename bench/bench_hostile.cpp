// SPDX-License-Identifier: GPL-3.0-or-later
// What hostile answers cost the real program: its peak memory for a compression bomb of every encoding,
// for a header that never ends and for an entry as large as the body bound allows, how long a page
// nested 160,000 deep holds a search before it fails as too complex, and how soon Ctrl+C ends a search
// while such a page is being parsed.
#include "JournalServer.h"
#include "ProgramRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <csignal>

using namespace diarytrawl::test;
using namespace Qt::StringLiterals;

namespace {

struct Run : diarytrawl::bench::ProgramRun {
    qint64 afterSignalMs = -1; // from SIGINT to the end
};

// Runs the program; with interruptAfter, sends SIGINT once the server has seen that path and a moment
// has passed, so that the page is being parsed.
Run runProgram(const QString &folder, const QStringList &arguments, JournalServer *server = nullptr,
               const QString &interruptAfter = QString())
{
    QElapsedTimer sinceSignal;
    Run run;
    static_cast<diarytrawl::bench::ProgramRun &>(run) =
        diarytrawl::bench::runProgram(folder, arguments, [&](pid_t pid) {
            if (!server || interruptAfter.isEmpty())
                return;
            while (server->requestCount(interruptAfter) == 0)
                QThread::msleep(5);
            QThread::msleep(1000);
            ::kill(pid, SIGINT);
            sinceSignal.start();
        });
    if (sinceSignal.isValid())
        run.afterSignalMs = sinceSignal.elapsed(); // the program has ended and been reaped
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir folder;
    JournalServer server;

    const Run plain = runProgram(folder.path(), {u"page"_s, server.url(u"/misbehave/not-found")});
    out << "a small page: peak memory " << plain.peakKb / 1024 << " MB (the program's own floor)\n";
    for (const char *encoding : {"gzip", "deflate", "br", "zstd"}) {
        const QByteArray bomb = JournalServer::compressedZeros(encoding, JournalServer::CommittedZeros);
        const QString path = u"/bomb/"_s + QLatin1StringView(encoding);
        server.setAnswers(path, {{200, "text/html", bomb, {{"Content-Encoding", encoding}}}});
        const Run run = runProgram(folder.path(), {u"page"_s, server.url(path)});
        out << encoding << " bomb (" << bomb.size() << " bytes unpacking to 100 MB of zeros): peak memory "
            << run.peakKb / 1024 << " MB, " << run.wallMs << " ms, exit " << run.exitCode
            << " (goal: the 64 MB bound plus buffers; exit 3)\n";
    }
    server.setAnswers(u"/endless-header"_s, {{.shape = Answer::EndlessHeader}});
    const Run header = runProgram(folder.path(), {u"page"_s, server.url(u"/endless-header")});
    out << "a header line that never ends: peak memory " << header.peakKb / 1024 << " MB, " << header.wallMs
        << " ms, exit " << header.exitCode << "\n";

    // The largest page there may be: an entry of one line of words, 64 MB with the page around it.
    const QString word[] = {u"journal "_s, u"weather "_s, u"road "_s, u"tea "_s, u"snow "_s, u"letters "_s};
    QString line;
    line.reserve(64 * 1024 * 1024);
    for (int n = 0; line.size() < 64 * 1024 * 1024 - 64 * 1024; ++n)
        line += word[(n * 7 + n / 5) % 6];
    line += u"needle"_s;
    server.addEntry({u"long"_s, 2005, 3, 15, 1, u"Long"_s, line});
    line = QString();
    const QStringList searchLong = {u"search"_s,   u"--user"_s, u"long"_s,  u"--site"_s,
                                    server.host(), u"--text"_s, u"needle"_s};
    const Run stored = runProgram(folder.path(), searchLong);
    out << "a 64 MB one-line entry read, stored and searched: peak memory " << stored.peakKb / 1024
        << " MB, exit " << stored.exitCode << " (goal: at most 300 MB)\n";
    const Run cached = runProgram(folder.path(), searchLong + QStringList{u"--offline"_s});
    out << "the same, searched from the page cache (nothing stored): peak memory " << cached.peakKb / 1024
        << " MB, exit " << cached.exitCode << "\n";
    const Run text = runProgram(folder.path(), {u"page"_s, u"--text"_s, server.url(u"/~long/1.html"_s)});
    out << "the same, read and stored by page --text: peak memory " << text.peakKb / 1024 << " MB, exit "
        << text.exitCode << "\n";

    const QByteArray deep = "<html><body>" + QByteArray("<div>").repeated(160000) + "x</body></html>";
    server.setAnswers(u"/~deep/2005/03/"_s, {{200, "text/html", deep}});
    const QStringList search = {u"search"_s, u"--user"_s, u"deep"_s, u"--site"_s, server.host()};
    const Run bounded = runProgram(folder.path(), search);
    out << "a month page nested 160,000 deep: the search ended after " << bounded.wallMs << " ms, exit "
        << bounded.exitCode << " (goal: about 10 s of parsing, then the page fails as too complex; exit 3)\n";
    server.clearRequests();
    const Run stopped = runProgram(folder.path(), search, &server, u"/~deep/2005/03/"_s);
    out << "Ctrl+C one second into that parse: the program ended " << stopped.afterSignalMs
        << " ms after the signal, exit " << stopped.exitCode << " (goal: within a second; exit 1)\n";
    return 0;
}
