// SPDX-License-Identifier: GPL-3.0-or-later
// Times turning a journal page into a document (charset, parse, links, innerText, both innerHTMLs)
// against gumbo's bare parse of the same UTF-8 bytes, on generated journal-shaped pages.
//
// Usage: bench_page [runs]   (build RelWithDebInfo for figures worth quoting)
//        bench_page --save       writes the two pages to the current folder, to look at or profile

#include "loader/CodePage1251.h"
#include "loader/HtmlParser.h"
#include "sites/JournalSiteRules.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gumbo.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

// A small deterministic generator, so every run times the same page.
class Random {
public:
    explicit Random(quint32 seed)
        : state(seed)
    {}
    quint32 next()
    {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    int below(int bound) { return int(next() % quint32(bound)); }

private:
    quint32 state;
};

const char *const Words[] = {
    "журнал",  "сегодня", "вчера", "город",  "дорога", "книга",  "письмо",
    "работа",  "вечер",   "утро",  "снег",   "лето",   "друзья", "музыка",
    "кофе",    "поезд",   "море",  "дом",    "окно",   "время",  "jour",
    "note",    "LJ",      "и",     "в",      "на",     "что",    "не",
    "это",     "как",     "мы",    "они",    "очень",  "потом",  "&laquo;цитата&raquo;",
    "&mdash;", "2005",    "12:30", "&nbsp;",
};

class PageWriter {
public:
    PageWriter(quint32 seed, const char *user)
        : random(seed)
        , nick(user)
    {}

    QByteArray page(qsizetype targetSize)
    {
        out.clear();
        out.reserve(targetSize + 65536);
        out += "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">\n<html><head>\n"
               "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n<title>";
        out += nick;
        out += ": Журнал</title>\n<link rel=\"stylesheet\" href=\"/stc/lj_base.css\">\n"
               "<script type=\"text/javascript\">var Site = {siteroot: \"http://www.livejournal.com\", "
               "currentJournal: \"";
        out += nick;
        out += "\"}; if (a < b && c > d) { document.write('<b>x</b>'); }</script>\n"
               "<style>body { font-family: Verdana } .entry td { padding: 2px }</style>\n"
               "<noscript><img src=\"http://counter.example/hit?t=1\" alt=\"\"></noscript>\n</head>\n"
               "<body bgcolor=\"#ffffff\" class=\"journal\">\n";
        header();
        int entry = 1000;
        while (out.size() < targetSize)
            writeEntry(entry++);
        footer();
        out += "</body>\n</html>\n";
        return out;
    }

    // One entry of today's LiveJournal: its comments only in the page script's data, each as
    // leonid-ed/lj-dl reads them.
    QByteArray entryWithComments(int comments)
    {
        out.clear();
        out += "<!DOCTYPE html>\n<html><head>\n<meta charset=\"utf-8\">\n<title>";
        out += nick;
        out += ": Журнал</title>\n<script type=\"text/javascript\">\nSite.page = {\"replycount\":" +
               QByteArray::number(comments) + ",\"comments\":[";
        const QByteArray entryUrl = journal() + "98765.html";
        for (int c = 0; c < comments; ++c) {
            const QByteArray thread = QByteArray::number(1000000 + c * 256);
            out += c > 0 ? ",{" : "{";
            out += "\"thread\":" + thread + ",\"thread_url\":\"" + entryUrl + "?thread=" + thread + "#t" +
                   thread + "\",\"parent\":" +
                   (c % 3 ? QByteArray::number(1000000 + (c - 1) * 256) : QByteArray("0")) +
                   ",\"above\":null,\"below\":null,\"level\":" + QByteArray::number(1 + c % 3) +
                   ",\"uname\":\"friend" + QByteArray::number(c) +
                   "\",\"userpic\":\"https://l-userpic.livejournal.com/" + QByteArray::number(c * 7) +
                   "/1\",\"ctime\":\"March 17 2005, 12:00:00 UTC\",\"ctime_ts\":1111060800,\"collapsed\":0,"
                   "\"deleted\":0,\"actions\":[{\"name\":\"reply\",\"href\":\"" +
                   entryUrl + "?replyto=" + thread + "\"}],\"article\":\"";
            const int paragraphs = 1 + random.below(3);
            for (int p = 0; p < paragraphs; ++p) {
                out += "<p>";
                words(10 + random.below(30));
                out += "<\\/p>";
            }
            out += "\"}";
        }
        out += "]};\nSite.entry = {\"poster\":\"";
        out += nick;
        out += "\"};\n</script>\n</head>\n<body class=\"journal\">\n";
        header();
        writeEntry(1000);
        footer();
        out += "</body>\n</html>\n";
        return out;
    }

private:
    void words(int count)
    {
        for (int i = 0; i < count; ++i) {
            if (i > 0)
                out += ' ';
            out += Words[random.below(int(std::size(Words)))];
        }
    }

    void link(const QByteArray &href, int wordCount)
    {
        out += "<a href=\"" + href + "\">";
        words(wordCount);
        out += "</a>";
    }

    QByteArray journal() const { return "http://" + QByteArray(nick) + ".livejournal.com/"; }

    void header()
    {
        out += "<table width=\"100%\" cellpadding=\"2\"><tr><td class=\"nav\">";
        link(journal(), 1);
        out += " | ";
        link(journal() + "friends", 1);
        out += " | ";
        link(journal() + "calendar", 1);
        out += " | ";
        link("http://www.livejournal.com/userinfo.bml?user=" + QByteArray(nick), 2);
        out += "</td></tr></table>\n<table class=\"calendar\" border=\"0\">\n";
        for (int week = 0; week < 5; ++week) {
            out += "<tr>";
            for (int day = 1; day <= 7; ++day) {
                const int date = week * 7 + day;
                out += "<td align=\"right\">";
                if (date <= 31 && random.below(3) == 0)
                    out += "<a href=\"" + journal() + "2005/03/" +
                           QByteArray::number(date).rightJustified(2, '0') + "/\">" +
                           QByteArray::number(date) + "</a>";
                else
                    out += QByteArray::number(date);
                out += "</td>";
            }
            out += "</tr>\n";
        }
        out += "</table>\n";
    }

    void writeEntry(int number)
    {
        const QByteArray entryUrl = journal() + QByteArray::number(number * 256 + 17) + ".html";
        out += "<div class=\"entry\" id=\"e" + QByteArray::number(number) +
               "\">\n<table class=\"entryHeader\"><tr><td><img src=\"http://l-userpic.livejournal.com/" +
               QByteArray::number(number * 7) +
               "/1\" width=\"100\" height=\"100\" alt=\"userpic\"></td><td>" + "<b>2005-03-" +
               QByteArray::number(1 + number % 28) + " 12:" + QByteArray::number(10 + number % 50) +
               "</b><br>\n<span class=\"subject\">";
        words(3 + random.below(4));
        out += "</span></td></tr></table>\n<div class=\"entryText\">\n";
        const int paragraphs = 2 + random.below(4);
        for (int p = 0; p < paragraphs; ++p) {
            out += "<p>";
            words(20 + random.below(60));
            if (random.below(2) == 0) {
                out += ' ';
                link("http://example.org/page?id=" + QByteArray::number(random.below(100000)) +
                         "&amp;lang=ru",
                     2);
                out += ' ';
            }
            if (random.below(4) == 0) {
                out += " <i>";
                words(4);
                out += "</i> <img src=\"http://stat.livejournal.com/img/smile.gif\" alt=\":)\"> ";
            }
            words(10 + random.below(20));
            out += "</p>\n";
        }
        if (random.below(3) == 0) {
            out += "<a name=\"cutid1\"></a><blockquote>";
            words(30);
            out += "<br>\n";
            words(20);
            out += "</blockquote>\n";
        }
        out += "</div>\n<div class=\"entryFooter\">";
        link(entryUrl, 1);
        out += " | ";
        link(entryUrl + "?mode=reply", 2);
        out += " | ";
        link(entryUrl + "#comments", 2);
        out += "</div>\n";
        const int comments = random.below(6);
        for (int c = 0; c < comments; ++c) {
            const int depth = random.below(4);
            out += "<div class=\"comment\" style=\"margin-left: " + QByteArray::number(depth * 25) +
                   "px\"><table><tr><td><b>" + QByteArray("friend") + QByteArray::number(c) + "</b></td><td>";
            words(8 + random.below(30));
            out += "</td></tr><tr><td colspan=\"2\">(";
            link(entryUrl + "?thread=" + QByteArray::number(c * 1024 + number) + "#t" + QByteArray::number(c),
                 1);
            out += ") (";
            link(entryUrl + "?replyto=" + QByteArray::number(c * 1024 + number), 1);
            out += ")</td></tr></table></div>\n";
        }
        out += "</div>\n<hr>\n";
    }

    void footer()
    {
        out += "<div class=\"footer\">";
        link(journal() + "?skip=20", 2);
        out +=
            " <form action=\"/search\"><input type=\"text\" name=\"q\"><input type=\"submit\" value=\"Go\">"
            "<select name=\"m\"><option>one</option><option selected>two</option></select></form></div>\n";
    }

    Random random;
    const char *nick;
    QByteArray out;
};

// The thread's CPU time: time the scheduler gives other programs on a busy machine does not count.
double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double seconds(const std::function<void()> &work)
{
    const double start = cpuSeconds();
    work();
    return cpuSeconds() - start;
}

void measure(const char *label, const QByteArray &utf8, const QByteArray &pageBytes,
             const QByteArray &contentType, int runs, const diarytrawl::SiteRules *rules = nullptr)
{
    const double megabytes = double(utf8.size()) / (1024.0 * 1024.0);
    qsizetype sink = 0;
    GumboOptions quiet = kGumboDefaultOptions;
    quiet.max_errors = 0;
    const QString address = u"http://inkwell.livejournal.com/2005/03/"_s;
    diarytrawl::HtmlDocument document;
    // The three take turns, so a machine busy with other work slows each of them alike.
    double gumboDefault = 1e9;
    double gumboQuiet = 1e9;
    double pipeline = 1e9;
    for (int i = 0; i < runs; ++i) {
        gumboDefault = std::min(gumboDefault, seconds([&] {
                                    GumboOutput *output = gumbo_parse(utf8.constData());
                                    sink += qsizetype(output->root->v.element.children.length);
                                    gumbo_destroy_output(&kGumboDefaultOptions, output);
                                }));
        gumboQuiet = std::min(gumboQuiet, seconds([&] {
                                  GumboOutput *output = gumbo_parse_with_options(&quiet, utf8.constData(),
                                                                                 std::size_t(utf8.size()));
                                  sink += qsizetype(output->root->v.element.children.length);
                                  gumbo_destroy_output(&quiet, output);
                              }));
        pipeline = std::min(
            pipeline, seconds([&] {
                if (!rules) {
                    document = diarytrawl::web::buildDocument(pageBytes, contentType, address);
                } else {
                    diarytrawl::web::PageReading reading = rules->commentReading();
                    document = diarytrawl::web::buildDocument(pageBytes, contentType, address, {}, &reading);
                    document.comments = rules->readComments(document, reading, [](QByteArrayView html) {
                        return diarytrawl::web::buildDocumentFromUtf8(html, QString(), "UTF-8");
                    });
                }
                sink += document.links.size() + document.comments.comments.size();
            }));
    }
    std::printf("%-28s %6.0f KB  gumbo_parse %5.1f MB/s  gumbo, no error list %5.1f MB/s  pipeline %5.1f MB/s"
                "  ratio %.2f (%.2f)\n",
                label, double(utf8.size()) / 1024.0, megabytes / gumboDefault, megabytes / gumboQuiet,
                megabytes / pipeline, pipeline / gumboDefault, pipeline / gumboQuiet);
    std::printf(
        "%-28s links %lld, comments %lld, text %lld chars, body HTML %lld bytes, html HTML %lld bytes\n", "",
        static_cast<long long>(document.links.size()),
        static_cast<long long>(document.comments.comments.size()),
        static_cast<long long>(document.bodyInnerText.size()),
        static_cast<long long>(document.bodyHtmlUtf8().size()),
        static_cast<long long>(document.htmlUtf8.size()));
    if (sink == 42)
        std::printf(" ");
}

} // namespace

int main(int argc, char **argv)
{
    const QByteArray small = PageWriter(20050301, "inkwell").page(200 * 1024);
    const QByteArray large = PageWriter(20050302, "inkwell").page(1024 * 1024);
    if (argc > 1 && QByteArray(argv[1]) == "--save") {
        for (const auto &[name, page] :
             {std::pair{u"journal-200k.html"_s, small}, std::pair{u"journal-1m.html"_s, large}}) {
            QFile file(name);
            if (!file.open(QIODevice::WriteOnly) || file.write(page) != page.size()) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
                return 1;
            }
        }
        return 0;
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    std::printf("ratio = pipeline time / gumbo_parse + gumbo_destroy_output time (in brackets: against gumbo "
                "without its error list); thread CPU time, best of %d runs\n",
                runs);
    measure("journal page, UTF-8", small, small, "text/html; charset=utf-8", runs);
    measure("journal page, UTF-8", large, large, "text/html; charset=utf-8", std::max(3, runs / 3));

    // The same pages as the family's sites send them: windows-1251, declared in the header.
    const QByteArray small1251 = diarytrawl::cp1251::fromUnicode(QString::fromUtf8(small));
    const QByteArray large1251 = diarytrawl::cp1251::fromUnicode(QString::fromUtf8(large));
    measure("journal page, windows-1251", small, small1251, "text/html; charset=windows-1251", runs);
    measure("journal page, windows-1251", large, large1251, "text/html; charset=windows-1251",
            std::max(3, runs / 3));

    // An entry with 500 comments in its page script, read as the site's rules read a page.
    const QByteArray talk = PageWriter(20050303, "inkwell").entryWithComments(500);
    const diarytrawl::sites::JournalSiteRules rules;
    measure("entry, 500 comments (script)", talk, talk, "text/html; charset=utf-8", runs, &rules);
    return 0;
}
