// SPDX-License-Identifier: GPL-3.0-or-later
// Excerpt cutting and regular-expression matching on a 1 MB journal page.
#include "core/Excerpts.h"
#include "core/RegExpObject.h"
#include "platform/PlatformError.h"

#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <functional>

using namespace diarytrawl;
using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype PageSize = 1 << 20;
constexpr int Matches = 10000;

// About a million characters of Russian and English prose with exactly `Matches` occurrences of "needle".
QString journalPage()
{
    const QStringList words = {u"journal"_s, u"entry"_s,  u"friends"_s, u"comment"_s, u"сегодня"_s,
                               u"погода"_s,  u"была"_s,   u"хорошая"_s, u"and"_s,     u"the"_s,
                               u"LJ"_s,      u"thread"_s, u"reply"_s,   u"мы"_s,      u"гуляли"_s};
    QString text;
    text.reserve(PageSize + 64);
    const qsizetype stride = PageSize / Matches;
    quint32 seed = 12345;
    for (int match = 0; match < Matches; ++match) {
        while (text.size() < (match + 1) * stride - 7) {
            seed = seed * 1103515245 + 12345;
            text += words[(seed >> 16) % words.size()];
            text += (seed >> 8) % 11 == 0 ? u"\r\n"_s : u" "_s;
        }
        text += u"needle "_s;
    }
    return text;
}

// Best of several runs, in milliseconds.
double bestOf(int runs, const std::function<void()> &work)
{
    double best = 1e9;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

// Throughput in megabytes of the page as it travels (UTF-8) per second.
double megabytesPerSecond(qsizetype utf8Bytes, double ms)
{
    return utf8Bytes / double(1 << 20) / (ms / 1000.0);
}

} // namespace

int main()
{
    QTextStream out(stdout);
    const QString page = journalPage();
    const qsizetype pageBytes = page.toUtf8().size();
    out << "page: " << page.size() << " characters, " << QString::number(pageBytes / double(1 << 20), 'f', 2)
        << " MB as UTF-8, " << page.count(u"needle"_s) << " matches of \"needle\"\n";

    auto report = [&](const char *what, double ms) {
        out << qSetFieldWidth(44) << Qt::left << what << qSetFieldWidth(0) << QString::number(ms, 'f', 2)
            << " ms  " << QString::number(megabytesPerSecond(pageBytes, ms), 'f', 1) << " MB/s\n";
        out.flush();
    };

    report("pageExcerpts (plain excerpts)", bestOf(5, [&] { (void)pageExcerpts(page, u"needle"_s, false); }));
    report("getNeighborhood (plain, as HTML)", bestOf(5, [&] { (void)getNeighborhood(page, u"needle"_s); }));
    report("getHtmlNghbrhdRgxSel (regexp excerpts)",
           bestOf(5, [&] { (void)getHtmlNghbrhdRgxSel(page, u"need\\w+"_s); }));

    RegExpObject regExp;
    regExp.IgnoreCase = true;
    regExp.Pattern = u"\\d+\\s\\d+"_s;
    report("Test, no match (every position tried)", bestOf(5, [&] { (void)regExp.Test(page); }));
    regExp.Pattern = u"сегодня.*needle"_s;
    report("Test, match near the start", bestOf(5, [&] { (void)regExp.Test(page); }));
    regExp.Global = true;
    regExp.Pattern = u"\\bneedle\\b"_s;
    report("Execute, Global, 10000 matches", bestOf(5, [&] { (void)regExp.Execute(page); }));

    auto runaway = [&](const char *what, const QString &pattern, const QString &text) {
        RegExpObject runawayExp;
        runawayExp.Pattern = pattern;
        QElapsedTimer timer;
        timer.start();
        QString result = u"no error (!)"_s;
        try {
            (void)runawayExp.Test(text);
        } catch (const PlatformError &error) {
            result = u"error "_s + QString::number(error.number());
        }
        out << qSetFieldWidth(44) << Qt::left << what << qSetFieldWidth(0) << timer.elapsed() << " ms  ("
            << result << ")\n";
    };
    runaway("runaway: (a+)+$ on 30000 a + b", u"(a+)+$"_s, QString(30000, u'a') + u'b');
    runaway("runaway: (a|b)*[^ab] on 1 MB of a", u"(a|b)*[^ab]"_s, QString(PageSize, u'a'));
    return 0;
}
