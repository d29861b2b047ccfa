// SPDX-License-Identifier: GPL-3.0-or-later
#include "JournalServer.h"

#include "loader/CodePage1251.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QUrlQuery>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace diarytrawl::test {

namespace {

Answer html(int status, const QString &title, const QString &body)
{
    return {status, "text/html; charset=utf-8",
            "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title.toUtf8() +
                "</title></head>\n<body>\n" + body.toUtf8() + "</body></html>\n"};
}

// The year view of S2's core2 (YearPage): the year's months with entries, each with its days and a link to
// its page, then the years with entries; year 0 is the latest of them.
Answer yearPage(const QString &journal, const QList<JournalEntry> &entries, int year)
{
    QSet<int> years;
    QList<std::pair<int, int>> days; // month, day of the year's entries
    for (const JournalEntry &e : entries)
        years.insert(e.year);
    QList<int> ordered(years.begin(), years.end());
    std::ranges::sort(ordered);
    year = year > 0 || ordered.isEmpty() ? year : ordered.last();
    for (const JournalEntry &e : entries)
        if (e.year == year)
            days.append({e.month, e.day});
    std::ranges::sort(days);
    QString body;
    for (int month = 1; month <= 12; ++month) {
        QString links;
        for (qsizetype i = 0; i < days.size(); ++i)
            if (days[i].first == month && (i == 0 || days[i] != days[i - 1]))
                links += u"<td class=\"day day-has-entries\"><span class=\"label\">%1</span><p><a "
                         u"href=\"%2/%3/%4/%5/\">1"
                         u"</a></p></td>"_s.arg(QString::number(days[i].second), journal,
                                                QString::number(year), QString::asprintf("%02d", month),
                                                QString::asprintf("%02d", days[i].second));
        if (!links.isEmpty()) // a month without entries shows nothing (YearPage::print_month)
            body += u"<div class=\"month-wrapper\"><div class=\"header\"><div "
                    u"class=\"inner\"><h3>%1</h3></div></div>"
                    u"<table class=\"month\"><tr>%2</tr></table><div class=\"footer\"><div class=\"inner\">"
                    u"<a href=\"%3/%4/%5/\">View month</a></div></div></div>\n"_s.arg(
                        QLocale::c().monthName(month), links, journal, QString::number(year),
                        QString::asprintf("%02d", month));
    }
    body += u"<div class=\"navigation topnav\"><ul>"_s;
    for (const int other : std::as_const(ordered))
        body += other == year ? u"<li class=\"active\">%1</li>"_s.arg(other)
                              : u"<li><a href=\"%1/%2/\">%2</a></li>"_s.arg(journal, QString::number(other));
    return html(200, QString::number(year), body + u"</ul></div>\n"_s);
}

// An entry page with the comments of the page (or the thread) the query asks for.
QByteArray withComments(QByteArray page, const JournalEntry &entry, const QString &address,
                        const QUrlQuery &query, bool dreamwidth)
{
    const int thread = query.queryItemValue(u"thread"_s).toInt();
    const int shown = std::max(1, query.queryItemValue(u"page"_s).toInt());
    int pages = 1;
    QList<JournalComment> comments;
    for (const JournalComment &comment : entry.comments) {
        pages = std::max(pages, comment.page);
        if (thread ? comment.thread == thread : comment.page == shown)
            comments.append(comment);
    }
    const QString link = address + u"?thread=%1#%2%1"_s;
    QString pager; // The page shown is no link (core2.s2, ItemRange::print).
    for (int n = 1; pages > 1 && n <= pages; ++n)
        pager +=
            n == (thread ? 0 : shown) ? u"<span class=\"comment-page-current\"><b>[%1]</b></span> "_s.arg(n)
            : dreamwidth
                ? u"<a href='%1?page=%2#comments' class=\"comment-page\"><b>[%2]</b></a> "_s.arg(address).arg(
                      n)
                : u"<li><a href=\"/%1.html?page=%2\">%2</a></li>"_s.arg(entry.id).arg(n);
    if (!dreamwidth) {
        QJsonArray list;
        for (const JournalComment &c : std::as_const(comments)) {
            QJsonObject object{{u"thread"_s, c.thread}, {u"thread_url"_s, link.arg(c.thread).arg(u't')},
                               {u"parent"_s, 0},        {u"level"_s, 1},
                               {u"uname"_s, c.author},  {u"ctime"_s, u"March 17 2005, 12:00:00 UTC"_s},
                               {u"deleted"_s, 0},       {u"collapsed"_s, c.collapsed && !thread ? 1 : 0}};
            if (c.collapsed && !thread)
                object.insert(u"actions"_s,
                              QJsonArray{QJsonObject{{u"name"_s, u"expand"_s},
                                                     {u"href"_s, link.arg(c.thread).arg(u't')}}});
            else
                object.insert(u"article"_s, c.htmlText);
            list.append(object);
        }
        const QByteArray data =
            QJsonDocument(QJsonObject{{u"replycount"_s, entry.comments.size()}, {u"comments"_s, list}})
                .toJson(QJsonDocument::Compact)
                .replace("</", "<\\/");
        page.replace("</title>",
                     QByteArray("</title><script type=\"text/javascript\">\nSite.page = " + data +
                                ";\nSite.entry = {\"poster\":\"" + entry.user.toUtf8() + "\"};\n</script>"));
        if (!pager.isEmpty())
            page.replace("</body>",
                         QByteArray("<ul class=\"b-pager-pages\">" + pager.toUtf8() + "</ul>\n</body>"));
        return page;
    }
    QString rendered = u"<div id=\"comments\">"_s;
    if (!pager.isEmpty())
        rendered += u"<div class=\"comment-pages toppages\">"_s + pager + u"</div>\n"_s;
    for (const JournalComment &c : std::as_const(comments)) {
        const bool partial = c.collapsed && !thread;
        rendered +=
            u"<div class='comment-thread comment-depth-odd comment-depth-1'>\n<div id='cmt%1' "
            u"class='dwexpcomment' style='margin-left: 0px; margin-top: 5px;'>\n<div class=\"comment-wrapper "
            u"visible %2\"><div class=\"comment\" id=\"comment-cmt%1\"><div class=\"inner\">\n<div "
            u"class=\"header\"><div class=\"inner\"><h4 class=\"comment-title\">Re: %3</h4>\n<span "
            u"class=\"poster comment-poster\"><span class=\"comment-from-text\">From </span><span "
            u"lj:user='%4' class='ljuser'><a href='https://%4.dreamwidth.org/'><b>%4</b></a></span></span>"
            u"</div></div>\n"_s.arg(QString::number(c.thread), partial ? u"partial"_s : u"full"_s,
                                    entry.subject.toHtmlEscaped(), c.author);
        rendered += partial
                        ? u" - <a href='"_s + link.arg(c.thread).arg(u"cmt"_s) + u"'>Expand</a>\n"_s
                        : u"<div class=\"contents\"><div class=\"inner\"><div class=\"comment-content\">"_s +
                              c.htmlText + u"</div></div></div>\n"_s;
        rendered += u"</div></div></div>\n</div>\n</div>\n"_s;
    }
    return page.replace("</body>", QByteArray(rendered.toUtf8() + "</div>\n</body>"));
}

Answer redirect(int status, const QString &location)
{
    return {status, {}, {}, {{"Location", location.toUtf8()}}};
}

QByteArray cookie(const RequestRecord &request, const QByteArray &name)
{
    const QRegularExpression pair(u"(?:^|;) *"_s + QString::fromLatin1(name) + u"=([^;]*)"_s);
    return pair.match(QString::fromLatin1(request.cookie)).captured(1).toLatin1();
}

// The status line and headers; length < 0: no Content-Length, the body ends with the connection.
QByteArray head(const Answer &answer, qint64 length)
{
    // No reason phrase, as HTTP/2 sends none: the client names the status itself.
    QByteArray text = "HTTP/1.1 " + QByteArray::number(answer.status) + " \r\nConnection: close\r\n";
    if (!answer.contentType.isEmpty())
        text += "Content-Type: " + answer.contentType + "\r\n";
    for (const auto &[name, value] : answer.headers)
        text += name + ": " + value + "\r\n";
    return text + (length < 0 ? QByteArray() : "Content-Length: " + QByteArray::number(length) + "\r\n") +
           "\r\n";
}

// Made on the first request for one of them: the huge page alone takes 20 MB, which a benchmark's memory
// figure should not show.
const QHash<QString, Answer> &fixedAnswers()
{
    static const QHash<QString, Answer> answers = [] {
        const QString m = u"/misbehave/"_s;
        const QString huge = u"<p>A line of a page far longer than any journal's.</p>\n"_s.repeated(380000) +
                             u"<p><a href=\"/huge-end.html\">last link</a> "_s + JournalServer::HugePageEnd;
        const QByteArray windows1251 = cp1251::fromUnicode(JournalServer::CyrillicText);
        QByteArray drip = "<html><body>\n";
        for (int drop = 1; drop <= 8; ++drop)
            drip += "<p>Drop " + QByteArray::number(drop) + "</p>\n";
        QHash<QString, Answer> rows = {
            {m + u"redirect-loop/a"_s, redirect(302, m + u"redirect-loop/b"_s)},
            {m + u"redirect-loop/b"_s, redirect(302, m + u"redirect-loop/a"_s)},
            {m + u"redirect-to-file"_s, redirect(302, u"file:///etc/passwd"_s)},
            {m + u"not-found"_s, html(404, u"Error"_s, u"<p>The server has no such page.</p>\n"_s)},
            {m + u"cut-short"_s, {.body = QByteArray(1000, 'x'), .shape = Answer::CutShort}},
            {m + u"slow-drip"_s,
             {.body = drip + "<p>End of the drip</p></body></html>\n", .shape = Answer::Drip, .pauseMs = 15}},
            {m + u"endless"_s,
             {.body = QByteArray(1 << 20, 'x'), .shape = Answer::EndlessBody, .pauseMs = 5}},
            {m + u"huge"_s, html(200, u"A huge page"_s, huge)},
            {m + u"cp1251-meta"_s, {200, "text/html", "<meta charset=windows-1251><p>" + windows1251}},
            {m + u"utf8-header"_s, {.body = "<p>" + JournalServer::CyrillicText.toUtf8()}},
        };
        for (int left = 0; left <= 30; ++left)
            rows.insert(JournalServer::RedirectChainPath + QString::number(left),
                        left > 0 ? redirect(302, JournalServer::RedirectChainPath + QString::number(left - 1))
                                 : html(200, u"Chain"_s, u"<p>End of the chain</p>\n"_s));
        return rows;
    }();
    return answers;
}

// One request, body included; false when the client leaves first, the server stops, or what comes is no
// plain HTTP request (a TLS greeting, say) or more than a megabyte.
bool receive(int fd, RequestRecord &request)
{
    QByteArray data;
    qsizetype headerEnd = -1, bodyLength = 0;
    char buffer[16384];
    while (headerEnd < 0 || data.size() < headerEnd + 4 + bodyLength) {
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0 || data.size() > (1 << 20) || (data.isEmpty() && (buffer[0] < 'A' || buffer[0] > 'Z')))
            return false;
        if (data.isEmpty())
            request.arrivedMs = QDeadlineTimer::current().deadline(); // on a steady clock
        data.append(buffer, got);
        if (headerEnd >= 0 || (headerEnd = data.indexOf("\r\n\r\n")) < 0)
            continue;
        const QList<QByteArray> lines = data.left(headerEnd).split('\n');
        request.method = lines[0].split(' ').value(0);
        request.target = QString::fromUtf8(lines[0].split(' ').value(1));
        QHash<QByteArray, QByteArray> headers;
        for (const QByteArray &line : lines)
            headers.insert(line.left(line.indexOf(':')).trimmed().toLower(),
                           line.mid(line.indexOf(':') + 1).trimmed());
        request.host = QString::fromUtf8(headers.value("host"));
        request.userAgent = headers.value("user-agent");
        request.cookie = headers.value("cookie");
        bodyLength = std::clamp<qsizetype>(headers.value("content-length").toLongLong(), 0, 2 << 20);
    }
    request.body = data.sliced(headerEnd + 4, bodyLength);
    return true;
}

// Sends all of data however slowly the client reads; false once the client has gone or the server stops.
bool send(int fd, QByteArrayView data)
{
    for (ssize_t sent = 0; !data.isEmpty(); data = data.sliced(sent))
        if ((sent = ::send(fd, data.data(), size_t(data.size()), MSG_NOSIGNAL)) <= 0)
            return false;
    return true;
}

// Waits ms milliseconds (forever when negative); false once the client has gone or the server stops.
bool pause(int fd, int ms)
{
    pollfd watch{fd, POLLRDHUP, 0};
    return poll(&watch, 1, ms) == 0;
}

void write(int fd, const Answer &answer)
{
    const qsizetype size = answer.body.size();
    const linger reset{1, 0}; // makes the close send a reset
    switch (answer.shape) {
    case Answer::Hang:
    case Answer::Stall:
        (answer.shape == Answer::Hang || send(fd, head(answer, -1))) && pause(fd, -1);
        return;
    case Answer::Reset:
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        return;
    case Answer::Normal:
    case Answer::CutShort:
    case Answer::Drip: {
        const qsizetype piece = std::max<qsizetype>(1, answer.shape == Answer::Drip ? (size + 9) / 10 : size);
        bool going = send(fd, head(answer, answer.shape == Answer::CutShort ? size + 100000 : size));
        for (qsizetype at = 0; going && at < size; at += piece)
            going = (at == 0 || pause(fd, answer.pauseMs)) &&
                    send(fd, answer.body.sliced(at, std::min(piece, size - at)));
        return;
    }
    case Answer::EndlessBody:
    case Answer::EndlessHeader:
        const bool header = answer.shape == Answer::EndlessHeader;
        const QByteArray piece = header || answer.body.isEmpty() ? QByteArray(65536, 'x') : answer.body;
        for (bool going = send(fd, header ? "HTTP/1.1 200 OK\r\nX-Filler: " : head(answer, -1)); going;)
            going = send(fd, piece) && pause(fd, answer.pauseMs);
    }
}

} // namespace

struct JournalServer::State {
    int listener = -1;
    std::thread acceptor;
    std::atomic<int> inFlight = 0;
    std::atomic<bool> liveJournalRedirect = false;
    std::atomic<int> extraMonthLinks = 0;
    std::atomic<qint64> rateWindowMs = 0;
    std::atomic<bool> captcha = false;
    std::mutex mutex; // guards all below
    QSet<int> open;   // connections being served, shut down by the destructor
    QList<RequestRecord> log;
    QHash<QString, std::pair<QList<Answer>, qsizetype>> answers; // and how many requests took them
    QList<JournalEntry> entries;
    QHash<QString, AdultNotice> adultJournals;
    std::pair<QByteArray, QByteArray> session;
    QSet<QByteArray> consented; // "ljuniq journal entry" of Dreamwidth visitors who said yes
    QHash<QByteArray, std::pair<double, qint64>> buckets; // the limiter's: level, and when it was last taken

    void serve(int fd)
    {
        RequestRecord request;
        const bool received = receive(fd, request);
        // A TLS client takes the 400 for a failed handshake, as it would with a real server.
        write(fd, received ? answerFor(request) : Answer{.status = 400, .contentType = {}});
        std::lock_guard lock(mutex); // the last touch: the server may be gone right after
        inFlight -= received;
        open.remove(fd);
        close(fd);
    }
    Answer answerFor(const RequestRecord &request);
    Answer respond(const RequestRecord &request, const QString &path);
    std::optional<Answer> limit(const QByteArray &visitor, double capacity);
    Answer journalPage(const RequestRecord &request, const QString &path, const QString &onDomain,
                       const QByteArray &ljuniq, bool friendly);
};

Answer JournalServer::State::answerFor(const RequestRecord &request)
{
    const QString path = QUrl::fromPercentEncoding(request.target.section(u'?', 0, 0).toUtf8());
    std::lock_guard lock(mutex);
    ++inFlight;
    log.append(request);
    const qsizetype logged = log.size() - 1;
    const Answer answer = respond(request, path);
    log[logged].status = answer.status;
    return answer;
}

// Dreamwidth's token bucket (DW/RateLimit.pm, check): it starts full, refills evenly, and a request that
// finds less than one token is refused without taking any.
std::optional<Answer> JournalServer::State::limit(const QByteArray &visitor, double capacity)
{
    const qint64 window = rateWindowMs;
    if (window <= 0)
        return {};
    const qint64 now = QDeadlineTimer::current().deadline();
    const auto [level, taken] = buckets.value(visitor, {capacity, now});
    const double refilled = std::min(capacity, level + double(now - taken) * capacity / double(window));
    if (refilled < 1)
        return Answer{429,
                      "text/html",
                      "<h1>429 Too Many Requests</h1><p>You have made too many requests. Please try again "
                      "later.</p><p>Please wait 60 seconds before trying again.</p>",
                      {{"Retry-After", "60"}}};
    buckets.insert(visitor, {refilled - 1, now});
    return {};
}

Answer JournalServer::State::respond(const RequestRecord &request, const QString &path)
{
    static const QRegularExpression siteHost(
        u"\\.(livejournal\\.com|journal\\.example|dreamwidth\\.org)(?::\\d*)?$"_s);
    const QString domain = siteHost.match(request.host.toLower()).captured(1); // "" outside them
    const bool dreamwidth = domain == u"dreamwidth.org"_s;
    const bool friendly = !session.first.isEmpty() && cookie(request, session.first) == session.second;
    if (dreamwidth) {
        if (const std::optional<Answer> refused =
                limit(friendly ? "account" : "address", friendly ? 100 : 30))
            return *refused;
    }
    if (auto preset = answers.find(path); preset != answers.end() && !preset->first.isEmpty())
        return preset->first.at(std::min(preset->second++, preset->first.size() - 1));
    if (path.startsWith(u"/misbehave/"_s) && fixedAnswers().contains(path))
        return fixedAnswers().value(path);
    const bool newVisitor = cookie(request, "ljuniq").isEmpty();
    const QByteArray ljuniq = newVisitor ? QByteArray::number(QRandomGenerator::global()->generate64(), 36)
                                         : cookie(request, "ljuniq");
    const QByteArray cookieDomain = domain.isEmpty() ? QByteArray() : "; Domain=." + domain.toUtf8();
    const QUrlQuery form(QString::fromUtf8(request.body));
    const QString ret = form.queryItemValue(u"ret"_s, QUrl::FullyDecoded);
    const bool siteItself = request.host.toLower().startsWith(u"www."_s);
    Answer answer = html(403, u"Forbidden"_s, u"<p>The form did not come back as it was given.</p>\n"_s);
    if (dreamwidth && captcha && !friendly && !siteItself) {
        const QString address = u"https://"_s + request.host + request.target;
        answer = redirect(303, u"https://www.dreamwidth.org/captcha?returnto="_s +
                                   QString::fromLatin1(QUrl::toPercentEncoding(address)));
    } else if (dreamwidth && siteItself && path == u"/captcha"_s) {
        const QUrlQuery query(request.target.section(u'?', 1));
        answer =
            html(200, u"Captcha Check"_s,
                 u"<script src=\"https://js.hcaptcha.com/1/api.js\" async defer></script>\n"
                 u"<form method='post'>\n<input type='hidden' name=\"lj_form_auth\" value=\"%1\" />\n"
                 u"<div class=\"h-captcha\" data-sitekey=\"10000000-ffff-ffff-ffff-000000000001\"></div>\n"
                 u"<input type=\"hidden\" name=\"returnto\" value=\"%2\" />\n"
                 u"<input type=\"submit\" name=\"submit\" value=\"Press to Validate\" />\n</form>\n"_s.arg(
                     QString::fromLatin1(ljuniq),
                     query.queryItemValue(u"returnto"_s, QUrl::FullyDecoded).toHtmlEscaped()));
    } else if (request.method != "POST") {
        answer = journalPage(request, path, domain, ljuniq, friendly);
    } else if (!ret.isEmpty() && path.endsWith(u".bml"_s) && form.hasQueryItem(u"adult_check"_s)) {
        answer = redirect(302, ret);
        answer.headers.append({"Set-Cookie", "adult_explicit=1" + cookieDomain + "; Path=/"});
    } else if (!ret.isEmpty() && path.startsWith(u"/journal/"_s) &&
               form.queryItemValue(u"lj_form_auth"_s).toLatin1() == ljuniq) {
        consented.insert(ljuniq + ' ' + form.queryItemValue(u"journalid"_s).toUtf8() + ' ' +
                         form.queryItemValue(u"entryid"_s).toUtf8());
        answer = redirect(303, ret);
    }
    if (newVisitor)
        answer.headers.append({"Set-Cookie", "ljuniq=" + ljuniq + cookieDomain + "; Path=/"});
    return answer;
}

// A journal's page, with the mutex held.
Answer JournalServer::State::journalPage(const RequestRecord &request, const QString &path,
                                         const QString &onDomain, const QByteArray &ljuniq, bool friendly)
{
    static const QRegularExpression journalPath(
        u"^(?:/~([^/]+))?/(?:(\\d{4})/(\\d{2})/|(\\d+)\\.html|(\\d{4})/(\\d{2})/(\\d{2})/"
        u"([a-z0-9_-]+)\\.html|"
        u"(\\d{4})/|(calendar|archive))$"_s);
    const QRegularExpressionMatch match = journalPath.match(path);
    const QString host = request.host.section(u':', 0, 0).toLower(), year = match.captured(2),
                  month = match.captured(3);
    const bool entryPage = match.hasCaptured(4) || match.hasCaptured(8);
    const bool yearView = match.hasCaptured(9) || match.hasCaptured(10);
    const QString domain = onDomain.isEmpty() ? u"livejournal.com"_s : onDomain; // of today's addresses
    const bool today = !onDomain.isEmpty() && host != u"www."_s + domain;        // on the journal's own host
    const QString user = today ? host.chopped(domain.size() + 1).replace(u'-', u'_') : match.captured(1);
    const QString site = onDomain.isEmpty() ? u"http://"_s + request.host : u"https://www."_s + domain;
    const auto todaysRoot = [&domain](QString name) -> QString {
        return u"https://"_s + name.replace(u'_', u'-') + u'.' + domain;
    };
    QList<JournalEntry> found; // the entry asked for, or the month's entries the visitor may see
    std::copy_if(entries.begin(), entries.end(), std::back_inserter(found), [&](const JournalEntry &e) {
        if (e.user != user)
            return false;
        if (match.hasCaptured(4))
            return e.id == match.captured(4).toInt();
        if (match.hasCaptured(8))
            return today && e.slug == match.captured(8) &&
                   QDate(e.year, e.month, e.day) ==
                       QDate(match.captured(5).toInt(), match.captured(6).toInt(), match.captured(7).toInt());
        if (yearView)
            return friendly || !e.friendsOnly;
        return e.year == year.toInt() && e.month == month.toInt() && (friendly || !e.friendsOnly);
    });
    std::ranges::stable_sort(found, {}, [](const JournalEntry &e) { return std::tie(e.day, e.time, e.id); });
    if (!match.hasMatch() || today == match.hasCaptured(1) || (entryPage && found.empty()))
        return html(404, u"Not found"_s, u"<p>No such page: "_s + path.toHtmlEscaped() + u"</p>\n"_s);
    const QString journal = today ? todaysRoot(user) : u"http://"_s + request.host + u"/~"_s + user;
    // Where an entry lives: under its name on today's Dreamwidth host, else under its number.
    const auto entryAddress = [&](const JournalEntry &e) -> QString {
        if (today && !e.slug.isEmpty())
            return journal + QString::asprintf("/%04d/%02d/%02d/", e.year, e.month, e.day) + e.slug +
                   u".html"_s;
        return journal + u'/' + QString::number(e.id) + u".html"_s;
    };
    // The notice before a page, unless the visitor has said yes to it. LiveJournal names its button
    // adult_check and keeps the consent in a cookie; Dreamwidth posts a token of the visitor's own (its
    // ljuniq) with the journal and the entry, 0 on pages that are not entries
    // (views/journal/adult_content.tt).
    const auto notice = [&](AdultNotice kind, int entry) -> std::optional<Answer> {
        const bool liveJournal = kind == AdultNotice::LiveJournal;
        const QString ret = (today ? u"https://"_s : u"http://"_s) + request.host + request.target;
        const QByteArray consent = ljuniq + ' ' + user.toUtf8() + ' ' + QByteArray::number(entry);
        if (kind == AdultNotice::None || (liveJournal ? cookie(request, "adult_explicit") == "1" ||
                                                            cookie(request, "adult_concepts") == "1"
                                                      : consented.contains(consent)))
            return {};
        const QString form =
            u"<p>This journal may hold adult content.</p>\n<form method=\"post\" action=\"%1\">\n"
            u"<input type=\"hidden\" name=\"ret\" value=\"%2\">\n%3</form>\n"_s;
        const QString dreamwidth =
            u"<input type='hidden' name=\"lj_form_auth\" value=\"%1\" />\n<input type=\"hidden\" "
            u"name=\"journalid\" value=\"%2\">\n<input type=\"hidden\" name=\"entryid\" value=\"%3\">\n"
            u"<input type=\"submit\" name=\"adult_check\" value=\"Yes, I want to view this content\">\n"_s;
        return html(
            200, u"Adult content"_s,
            form.arg(site + (liveJournal ? u"/misc/adult_explicit.bml"_s : u"/journal/adult_concepts"_s),
                     ret.toHtmlEscaped(),
                     liveJournal ? u"<input type=\"hidden\" name=\"journal\" value=\"%1\">\n<input "
                                   u"type=\"submit\" name=\"adult_check\" value=\"Yes\">\n"_s.arg(
                                       user.toHtmlEscaped())
                                 : dreamwidth.arg(QString::fromLatin1(ljuniq), user.toHtmlEscaped(),
                                                  QString::number(entry))));
    };
    if (yearView) {
        // Dreamwidth sends the calendar to its archive (DW/Controller/Journal.pm); both show the latest year.
        if (match.captured(10) == u"calendar" && onDomain == u"dreamwidth.org"_s)
            return redirect(302, journal + u"/archive"_s);
        return yearPage(journal, found, match.hasCaptured(9) ? match.captured(9).toInt() : 0);
    }
    if (entryPage) {
        const JournalEntry &e = found.front();
        if (e.friendsOnly && !friendly)
            return html(200, u"Log in"_s,
                        u"<form method=\"post\" action=\"%1/login.bml\"><input name=\"user\">"
                        u"<input type=\"password\" name=\"password\"></form>\n"_s.arg(site));
        if (const auto stop =
                notice(e.adult != AdultNotice::None ? e.adult : adultJournals.value(user), e.id))
            return *stop;
        const QString page =
            u"<div class=\"site\"><a href=\"%1/login.bml\">Log in</a></div>\n<div class=\"entry\">"
            u"<h2 class=\"subject\">%2</h2>\n<div class=\"text\">%3</div>\n<p class=\"stamp\">@ %4"
            u"</p></div>\n<p><a href=\"%5/%6.html?mode=reply\">Leave a comment</a></p>\n"_s;
        const QString stamp =
            QString::asprintf("%d-%02d-%02d ", e.year, e.month, e.day) + e.time.toString(u"HH:mm:ss"_s);
        Answer answer = html(
            200, user + u": "_s + e.subject.toHtmlEscaped(),
            page.arg(site, e.subject.toHtmlEscaped(), e.htmlText, stamp, journal, QString::number(e.id)));
        if (!e.comments.isEmpty())
            answer.body =
                withComments(answer.body, e, journal + u'/' + QString::number(e.id) + u".html"_s,
                             QUrlQuery(request.target.section(u'?', 1)), onDomain == u"dreamwidth.org"_s);
        // Both addresses of a named entry name the one it lives at (LJ::S2::EntryPage, LJ::canonical_link).
        if (today && !e.slug.isEmpty())
            answer.body.replace("</title>", QByteArray("</title><link rel=\"canonical\" href=\"" +
                                                       entryAddress(e).toHtmlEscaped().toUtf8() + "\" />"));
        return answer;
    }
    if (liveJournalRedirect && !today)
        return redirect(301, todaysRoot(user) + u'/' + year + u'/' + month + u'/');
    if (const auto stop = notice(adultJournals.value(user), 0))
        return *stop;
    const QString monthRoot = journal + u'/' + year + u'/';
    QString body =
        u"<div class=\"site\"><a href=\"%1/login.bml\">Log in</a> <a href=\"%1/create.bml\">Create a "
        u"journal</a> <a href=\"%2/friends\">Friends</a> <a href=\"%1/doc/tour/\">Tour</a></div>\n<div "
        u"class=\"calendar\"><a href=\"%3\">%4</a>\n"_s.arg(site, journal, monthRoot, year);
    const QString link = u"<a href=\"%1%2/\">%2</a>\n"_s;
    for (int m = 1; m <= 12; ++m)
        if (m != month.toInt())
            body += link.arg(monthRoot, QString::asprintf("%02d", m));
    for (qsizetype i = 0; i < found.size(); ++i)
        if (i == 0 || found[i].day != found[i - 1].day)
            body += link.arg(monthRoot + month + u'/', QString::asprintf("%02d", found[i].day));
    body += u"</div>\n"_s;
    const QString entry =
        u"<div class=\"entry\"><h3><a href=\"%1\">%2</a></h3><p class=\"time\">%3</p>\n"
        u"<p><a href=\"%4/%5.html?mode=reply\">Leave a comment</a> <a href=\"%4/%5.html#comments\">"
        u"Comments</a> <a href=\"%6/%7.html\">A friend's entry</a></p></div>\n"_s;
    for (const JournalEntry &e : found)
        body += entry.arg(entryAddress(e), e.subject.toHtmlEscaped(), e.time.toString(u"HH:mm"_s), journal,
                          QString::number(e.id), today ? todaysRoot(user + u"_pal"_s) : journal + u"_pal"_s,
                          QString::number(e.id + 1));
    for (int n = 0; n < extraMonthLinks; ++n) {
        const QString filler[] = {monthRoot + month + QString::asprintf("/%02d/", n / 3 % 28 + 1),
                                  todaysRoot(u"friend_"_s + QString::number(n)) + u"/profile"_s,
                                  site + u"/site/page"_s + QString::number(n) + u".bml"_s};
        body += u"<a href=\"%1\">More</a>\n"_s.arg(filler[n % 3]);
    }
    return html(200, user + u": "_s + year + u'/' + month,
                body + u"<div class=\"footer\"><a href=\"%1/site/about.bml\">About</a> <a "
                       u"href=\"%1/legal/tos.bml\">Terms of service</a></div>\n"_s.arg(site));
}

JournalServer::JournalServer()
    : m_state(std::make_unique<State>())
{
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    const int listener = m_state->listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bind(listener, reinterpret_cast<sockaddr *>(&address), length) || listen(listener, 128) ||
        getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length))
        qFatal("The test journal server cannot listen on 127.0.0.1");
    m_port = ntohs(address.sin_port);
    m_state->acceptor = std::thread([state = m_state.get(), listener] {
        sigset_t all; // the test's signals are for its own threads: no call here is cut short by one
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        // Once the destructor has shut the listener down, accept fails with EINVAL.
        for (int fd; (fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0 || errno != EINVAL;) {
            std::lock_guard lock(state->mutex);
            if (fd >= 0)
                std::thread(&State::serve, state, *state->open.insert(fd)).detach();
        }
    });
}

JournalServer::~JournalServer()
{
    shutdown(m_state->listener, SHUT_RDWR); // wakes the acceptor
    m_state->acceptor.join();
    close(m_state->listener);
    for (bool serving = true; serving; std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
        std::lock_guard lock(m_state->mutex);
        for (const int fd : m_state->open)
            shutdown(fd, SHUT_RDWR); // ends every wait, read and write on it
        serving = !m_state->open.empty();
    }
}

QByteArray JournalServer::compressedZeros(QByteArrayView encoding, qint64 size)
{
    // Made once by Debian's brotli 1.0.9 and zstd 1.5.4: head -c 104857600 /dev/zero | brotli -q 11 -c
    // >tests/data/zeros-100MiB.br, and the same through zstd -19 -q -c into zeros-100MiB.zst.
    QFile file(QStringLiteral(DIARYTRAWL_TEST_DATA "/zeros-100MiB.") +
               (encoding == "br" ? u"br"_s : u"zst"_s));
    const bool committed = encoding == "br" || encoding == "zstd";
    if (committed ? size != CommittedZeros || !file.open(QIODevice::ReadOnly)
                  : size <= 0 || (encoding != "gzip" && encoding != "deflate"))
        qFatal("No %lld zero bytes compressed with %s at hand", size, encoding.toByteArray().constData());
    if (committed)
        return file.readAll();
    // The tests ask for the same bombs again and again, and each takes a while to make.
    static std::mutex mutex;
    static QHash<qint64, std::pair<QByteArray, QByteArray>> made; // deflate and gzip
    std::lock_guard lock(mutex);
    if (!made.contains(size)) {
        const QByteArray zlib = qCompress(QByteArray(size, '\0'), 1).sliced(4); // without qCompress's size
        quint32 crc = 0xffffffffu, zeroByte[256]; // what a zero byte does to the register, by its low byte
        for (quint32 low = 0; low < 256; ++low) {
            zeroByte[low] = low;
            for (int bit = 0; bit < 8; ++bit)
                zeroByte[low] = (zeroByte[low] >> 1) ^ (zeroByte[low] & 1 ? 0xedb88320u : 0);
        }
        for (qint64 byte = 0; byte < size; ++byte)
            crc = zeroByte[crc & 0xff] ^ (crc >> 8);
        // gzip wraps the same deflate stream in a header of its own, then the CRC-32 and the size.
        QByteArray gzip = QByteArray("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10) + zlib.sliced(2, zlib.size() - 6);
        for (const quint32 value : {~crc, quint32(size)})
            for (int shift = 0; shift < 32; shift += 8)
                gzip += char(value >> shift);
        made.insert(size, {zlib, gzip});
    }
    return encoding == "deflate" ? made[size].first : made[size].second;
}

void JournalServer::addEntry(const JournalEntry &entry)
{
    std::lock_guard lock(m_state->mutex);
    m_state->entries.push_back(entry);
}

void JournalServer::setLiveJournalRedirect(bool enabled)
{
    m_state->liveJournalRedirect = enabled;
}

void JournalServer::setAdultNotice(const QString &user, AdultNotice notice)
{
    std::lock_guard lock(m_state->mutex);
    m_state->adultJournals.insert(user, notice);
}

void JournalServer::setSession(const QByteArray &name, const QByteArray &value)
{
    std::lock_guard lock(m_state->mutex);
    m_state->session = {name, value};
}

void JournalServer::setExtraMonthLinks(int n)
{
    m_state->extraMonthLinks = n;
}

void JournalServer::setRateLimit(std::chrono::milliseconds window)
{
    m_state->rateWindowMs = window.count();
}

void JournalServer::setCaptcha(bool enabled)
{
    m_state->captcha = enabled;
}

void JournalServer::setAnswers(const QString &path, const QList<Answer> &answers)
{
    std::lock_guard lock(m_state->mutex);
    m_state->answers.insert(path, {answers, 0});
}

int JournalServer::answersInFlight() const
{
    return m_state->inFlight;
}

QList<RequestRecord> JournalServer::requests() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->log;
}

int JournalServer::requestCount(const QString &target) const
{
    const QList<RequestRecord> all = requests();
    return int(
        std::count_if(all.begin(), all.end(), [&](const RequestRecord &r) { return r.target == target; }));
}

void JournalServer::clearRequests()
{
    std::lock_guard lock(m_state->mutex);
    m_state->log.clear();
}

} // namespace diarytrawl::test
