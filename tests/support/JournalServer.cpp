// SPDX-License-Identifier: GPL-3.0-or-later
#include "JournalServer.h"

#include "platform/CodePage1251.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QUrlQuery>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;
using namespace std::chrono;
using namespace std::chrono_literals;

namespace diarytrawl::test {

namespace {

const QStringList SiteDomains = {u"livejournal.com"_s, u"journal.example"_s};
const QByteArray Html = "text/html; charset=utf-8";
constexpr qsizetype MaxRequestBytes = 1 << 20;

QString twoDigits(int number)
{
    return u"%1"_s.arg(number, 2, 10, QChar(u'0'));
}

QString anchor(const QString &href, const QString &text)
{
    return u"<a href=\""_s + href + u"\">"_s + text + u"</a>"_s;
}

QString hidden(const QString &name, const QString &value)
{
    return u"<input type=\"hidden\" name=\""_s + name + u"\" value=\""_s + value.toHtmlEscaped() + u"\">\n"_s;
}

QByteArray page(const QString &title, const QByteArray &body)
{
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title.toUtf8() +
           "</title></head>\n<body>\n" + body + "</body></html>\n";
}

Answer htmlAnswer(int status, const QString &title, const QString &body)
{
    return {status, Html, page(title, body.toUtf8())};
}

Answer redirect(int status, const QString &location)
{
    return {.status = status, .contentType = {}, .headers = {{"Location", location.toUtf8()}}};
}

QByteArray cookieValue(const QByteArray &header, const QByteArray &name)
{
    for (const QByteArray &pair : header.split(';')) {
        if (pair.trimmed().startsWith(QByteArray(name + '=')))
            return pair.trimmed().mid(name.size() + 1);
    }
    return {};
}

// The lj_form_auth value of the Dreamwidth notice: one per visitor, which no other visitor could send.
QString formToken(const QByteArray &ljuniq)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(QByteArray("form " + ljuniq), QCryptographicHash::Sha1).toHex());
}

// The status line and headers; length < 0: no Content-Length, the body ends with the connection.
QByteArray head(const Answer &answer, qint64 length)
{
    // No reason phrase, as HTTP/2 sends none: the client names the status itself.
    QByteArray text = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' + "\r\nConnection: close\r\n";
    if (!answer.contentType.isEmpty())
        text += "Content-Type: " + answer.contentType + "\r\n";
    for (const auto &[name, value] : answer.headers)
        text += name + ": " + value + "\r\n";
    if (length >= 0)
        text += "Content-Length: " + QByteArray::number(length) + "\r\n";
    return text + "\r\n";
}

QByteArray hugePage()
{
    const QByteArray tail =
        "<p><a href=\"/huge-end.html\">last link</a> " + JournalServer::HugePageEnd.toUtf8() + "</p>\n";
    const QByteArray line = "<p>A line of a page far longer than any journal's.</p>\n";
    const qsizetype room = JournalServer::HugePageBytes - page(u"A huge page"_s, tail).size();
    return page(u"A huge page"_s,
                line.repeated(room / line.size()) + QByteArray(room % line.size(), '\n') + tail);
}

// The misbehaving addresses every server answers, made on the first request for one of them: the huge
// page alone takes 20 MB, which a benchmark's memory figure should not show.
const QHash<QString, Answer> &fixedAnswers()
{
    using S = JournalServer;
    static const QHash<QString, Answer> answers = [] {
        QHash<QString, Answer> rows;
        for (int left = 0; left <= 30; ++left)
            rows.insert(S::RedirectChainPath + QString::number(left),
                        left > 0 ? redirect(302, S::RedirectChainPath + QString::number(left - 1))
                                 : htmlAnswer(200, u"Chain"_s, u"<p>End of the chain</p>\n"_s));
        rows.insert(S::RedirectLoopPath.toString(), redirect(302, u"/misbehave/redirect-loop/b"_s));
        rows.insert(u"/misbehave/redirect-loop/b"_s, redirect(302, S::RedirectLoopPath.toString()));
        rows.insert(S::RedirectToFilePath.toString(), redirect(302, u"file:///etc/passwd"_s));
        rows.insert(S::NotFoundPath.toString(),
                    htmlAnswer(404, u"Error"_s, u"<p>The server has no such page.</p>\n"_s));
        rows.insert(S::CutShortPath.toString(),
                    {.body = "<html><body><p>" + QByteArray(1000 - 15, 'x'), .shape = Answer::CutShort});
        rows.insert(S::HugePath.toString(), {.body = hugePage()});
        QByteArray drip = "<html><body>\n";
        for (int drop = 1; drop <= 8; ++drop)
            drip += "<p>Drop " + QByteArray::number(drop) + "</p>\n";
        rows.insert(
            S::SlowDripPath.toString(),
            {.body = drip + "<p>End of the drip</p></body></html>\n", .shape = Answer::Drip, .pauseMs = 15});
        rows.insert(S::EndlessPath.toString(),
                    {.body = QByteArray("<p>This page goes on and on and on.</p>\n").repeated(25000),
                     .shape = Answer::EndlessBody,
                     .pauseMs = 5});
        rows.insert(
            S::Cp1251MetaPath.toString(),
            {.contentType = "text/html",
             .body =
                 "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">"
                 "<title>cp1251</title></head><body><p>" +
                 cp1251::fromUnicode(S::CyrillicText) + "</p></body></html>\n"});
        rows.insert(S::Utf8HeaderPath.toString(),
                    {.body = "<html><head><title>utf-8</title></head><body><p>" + S::CyrillicText.toUtf8() +
                             "</p></body></html>\n"});
        return rows;
    }();
    return answers;
}

// A Unix socket call's way to tell the client has closed its end.
bool clientHasGone(int fd)
{
    pollfd watch{fd, POLLIN | POLLRDHUP, 0};
    if (poll(&watch, 1, 0) <= 0)
        return false;
    if (watch.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL))
        return true;
    char byte = 0;
    return recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

// Where a request goes among the journals.
struct Visit {
    const RequestRecord &request;
    QString path;
    QString domain = SiteDomains.first(); // of the host; outside the domains the one of today's addresses
    QString site = u"http://"_s + request.host;
    QByteArray cookieDomain = {}; // "; Domain=.DOMAIN" on the domains
    bool today = false;           // on the journal's own host
    QString user = {};            // empty: no journal
    QString rest = {};            // the address inside the journal

    QString todaysRoot(QString name) const
    {
        return u"https://"_s + name.replace(u'_', u'-') + u'.' + domain;
    }
};

Visit visitOf(const RequestRecord &request, const QString &path)
{
    static const QRegularExpression oldPath(u"^/~([^/]+)(/.*)$"_s);
    const QString host = request.host.section(u':', 0, 0).toLower();
    const auto domain = std::find_if(SiteDomains.begin(), SiteDomains.end(),
                                     [&host](const QString &name) { return host.endsWith(u'.' + name); });
    Visit visit = domain == SiteDomains.end() ? Visit{request, path}
                                              : Visit{request,
                                                      path,
                                                      *domain,
                                                      u"https://www."_s + *domain,
                                                      "; Domain=." + domain->toUtf8(),
                                                      host != u"www."_s + *domain};
    if (visit.today) {
        visit.user = host.chopped(visit.domain.size() + 1).replace(u'-', u'_');
        visit.rest = path;
    } else if (const QRegularExpressionMatch old = oldPath.match(path); old.hasMatch()) {
        visit.user = old.captured(1);
        visit.rest = old.captured(2);
    }
    return visit;
}

Answer adultNotice(const Visit &visit, AdultNotice notice, const QByteArray &ljuniq)
{
    const bool liveJournal = notice == AdultNotice::LiveJournal;
    const QString action = liveJournal ? u"/misc/adult_explicit.bml"_s : u"/journal/adult_concepts"_s;
    const QString ret =
        (visit.today ? u"https://"_s : u"http://"_s) + visit.request.host + visit.request.target;
    // LiveJournal names its button adult_check; Dreamwidth sends it as a hidden field.
    const QString submit = liveJournal ? u"<input type=\"submit\" name=\"adult_check\" value=\"Yes\">\n"_s
                                       : hidden(u"adult_check"_s, u"1"_s) + u"<input type=\"submit\">\n"_s;
    return htmlAnswer(200, u"Adult content"_s,
                      u"<p>This journal may hold adult content.</p>\n<form method=\"post\" action=\""_s +
                          visit.site + action + u"\">\n"_s + hidden(u"ret"_s, ret) +
                          hidden(u"journal"_s, visit.user) +
                          (liveJournal ? QString() : hidden(u"lj_form_auth"_s, formToken(ljuniq))) + submit +
                          u"</form>\n"_s);
}

} // namespace

struct JournalServer::State {
    int listener = -1;
    std::thread acceptor;
    std::atomic<bool> stopping{false};
    std::atomic<int> connections{0};
    std::atomic<int> inFlight{0};

    mutable std::mutex mutex;
    std::vector<JournalEntry> entries;
    QHash<QString, QList<Answer>> presets;
    QHash<QString, qsizetype> presetsTaken; // how many requests took a path's answers
    std::vector<RequestRecord> log;
    QSet<QByteArray> consented; // ljuniq values of Dreamwidth visitors who said yes
    struct Settings {
        QHash<QString, AdultNotice> adultJournals;
        std::pair<QByteArray, QByteArray> session;
        bool liveJournalRedirect = false;
        int extraMonthLinks = 0;
    } settings;

    void serve(int fd);
    bool receive(int fd, RequestRecord &request);
    bool pause(int fd, int ms) const;
    bool send(int fd, QByteArrayView data) const;
    void write(int fd, const Answer &answer) const;
    Answer answerFor(const RequestRecord &request);
    Answer journalPage(const Visit &visit, const QByteArray &ljuniq);
    Answer consent(const Visit &visit, const QByteArray &ljuniq);
    std::vector<JournalEntry> entriesWhere(const std::function<bool(const JournalEntry &)> &wanted) const;
};

void JournalServer::State::serve(int fd)
{
    RequestRecord request;
    const bool received = receive(fd, request);
    if (received) {
        ++inFlight;
        {
            std::lock_guard lock(mutex);
            log.push_back(request);
        }
        write(fd, answerFor(request));
    } else { // a TLS client takes this for a failed handshake, as it would with a real server
        send(fd, "HTTP/1.1 400 Bad Request\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
    }
    close(fd);
    if (received)
        --inFlight;
}

// One request, body included; false when the client leaves first, the server stops, or what comes is no
// plain HTTP request (a TLS greeting, say).
bool JournalServer::State::receive(int fd, RequestRecord &request)
{
    QByteArray data;
    qsizetype headerEnd = -1;
    qsizetype bodyLength = 0;
    while (headerEnd < 0 || data.size() < headerEnd + 4 + bodyLength) {
        if (stopping || data.size() > MaxRequestBytes ||
            (!data.isEmpty() && (data.front() < 'A' || data.front() > 'Z')))
            return false;
        pollfd watch{fd, POLLIN, 0};
        if (poll(&watch, 1, 5) <= 0)
            continue;
        char buffer[16384];
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            return false;
        if (data.isEmpty())
            request.arrivedMs = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
        data.append(buffer, got);
        if (headerEnd >= 0 || (headerEnd = data.indexOf("\r\n\r\n")) < 0)
            continue;
        QList<QByteArray> lines = data.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.takeFirst().trimmed().split(' ');
        if (requestLine.size() != 3)
            return false;
        request.method = requestLine[0];
        request.target = QString::fromUtf8(requestLine[1]);
        QHash<QByteArray, QByteArray> headers;
        for (const QByteArray &line : lines)
            headers.insert(line.left(line.indexOf(':')).trimmed().toLower(),
                           line.mid(line.indexOf(':') + 1).trimmed());
        request.host = QString::fromUtf8(headers.value("host"));
        request.userAgent = headers.value("user-agent");
        request.cookie = headers.value("cookie");
        bodyLength =
            std::clamp<qsizetype>(headers.value("content-length").toLongLong(), 0, MaxRequestBytes + 1);
    }
    request.body = data.sliced(headerEnd + 4, bodyLength);
    return true;
}

// Waits ms milliseconds (forever when negative); false once the client has gone or the server stops.
bool JournalServer::State::pause(int fd, int ms) const
{
    const auto end = steady_clock::now() + milliseconds(ms);
    while (!stopping && !clientHasGone(fd)) {
        const auto left = end - steady_clock::now();
        if (ms >= 0 && left <= 0ns)
            return true;
        std::this_thread::sleep_for(ms < 0 ? 5ms : std::min<steady_clock::duration>(left, 5ms));
    }
    return false;
}

// Sends all of data however slowly the client reads; false once the client has gone or the server stops.
bool JournalServer::State::send(int fd, QByteArrayView data) const
{
    while (!data.isEmpty()) {
        pollfd watch{fd, POLLOUT, 0};
        if (stopping || poll(&watch, 1, 5) < 0)
            return false;
        const ssize_t sent = ::send(fd, data.data(), size_t(data.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        data = data.sliced(std::max<ssize_t>(sent, 0));
    }
    return true;
}

void JournalServer::State::write(int fd, const Answer &answer) const
{
    const qsizetype size = answer.body.size();
    switch (answer.shape) {
    case Answer::Normal:
        send(fd, head(answer, size)) && send(fd, answer.body);
        return;
    case Answer::Hang:
        pause(fd, -1);
        return;
    case Answer::Reset: {
        const linger now{1, 0}; // a close that resets
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
        return;
    }
    case Answer::Stall:
        send(fd, head(answer, -1)) && pause(fd, -1);
        return;
    case Answer::CutShort:
        send(fd, head(answer, size + 100000)) && send(fd, answer.body);
        return;
    case Answer::Drip: {
        const qsizetype piece = std::max<qsizetype>(1, (size + 9) / 10);
        bool going = send(fd, head(answer, size));
        for (qsizetype at = 0; going && at < size; at += piece)
            going = (at == 0 || pause(fd, std::max(answer.pauseMs, 0))) &&
                    send(fd, answer.body.sliced(at, std::min(piece, size - at)));
        return;
    }
    case Answer::EndlessBody:
    case Answer::EndlessHeader: {
        const bool header = answer.shape == Answer::EndlessHeader;
        const QByteArray piece = header || answer.body.isEmpty() ? QByteArray(65536, 'x') : answer.body;
        bool going = send(fd, header ? "HTTP/1.1 200 OK\r\nX-Filler: " : head(answer, -1));
        while (going)
            going = send(fd, piece) && pause(fd, std::max(answer.pauseMs, 0));
        return;
    }
    }
}

std::vector<JournalEntry>
JournalServer::State::entriesWhere(const std::function<bool(const JournalEntry &)> &wanted) const
{
    std::vector<JournalEntry> found;
    {
        std::lock_guard lock(mutex);
        std::copy_if(entries.begin(), entries.end(), std::back_inserter(found), wanted);
    }
    std::stable_sort(found.begin(), found.end(), [](const JournalEntry &a, const JournalEntry &b) {
        return std::tie(a.day, a.time, a.id) < std::tie(b.day, b.time, b.id);
    });
    return found;
}

Answer JournalServer::State::answerFor(const RequestRecord &request)
{
    const QString path =
        QString::fromUtf8(QByteArray::fromPercentEncoding(request.target.section(u'?', 0, 0).toUtf8()));
    {
        std::lock_guard lock(mutex);
        if (const QList<Answer> preset = presets.value(path); !preset.isEmpty())
            return preset.at(std::min(presetsTaken[path]++, preset.size() - 1));
    }
    if (path.startsWith(u"/misbehave/"_s) && fixedAnswers().contains(path))
        return fixedAnswers().value(path);
    QByteArray ljuniq = cookieValue(request.cookie, "ljuniq");
    const bool newVisitor = ljuniq.isEmpty();
    if (newVisitor)
        ljuniq = QByteArray::number(QRandomGenerator::global()->generate64(), 36);
    const Visit visit = visitOf(request, path);
    const bool consenting = request.method == "POST" &&
                            (path == u"/misc/adult_explicit.bml"_s || path.startsWith(u"/journal/adult_"_s));
    Answer answer = consenting ? consent(visit, ljuniq) : journalPage(visit, ljuniq);
    if (newVisitor)
        answer.headers.append({"Set-Cookie", "ljuniq=" + ljuniq + visit.cookieDomain + "; Path=/"});
    return answer;
}

Answer JournalServer::State::consent(const Visit &visit, const QByteArray &ljuniq)
{
    const QUrlQuery form(QString::fromUtf8(visit.request.body));
    const QString ret = form.queryItemValue(u"ret"_s, QUrl::FullyDecoded);
    if (!ret.isEmpty() && visit.path.endsWith(u".bml"_s) && form.hasQueryItem(u"adult_check"_s)) {
        Answer answer = redirect(302, ret);
        answer.headers.append({"Set-Cookie", "adult_explicit=1" + visit.cookieDomain + "; Path=/"});
        return answer;
    }
    if (!ret.isEmpty() && visit.path.startsWith(u"/journal/"_s) &&
        form.queryItemValue(u"lj_form_auth"_s) == formToken(ljuniq)) {
        std::lock_guard lock(mutex);
        consented.insert(ljuniq);
        return redirect(302, ret);
    }
    return htmlAnswer(403, u"Forbidden"_s, u"<p>The form did not come back as it was given.</p>\n"_s);
}

Answer JournalServer::State::journalPage(const Visit &visit, const QByteArray &ljuniq)
{
    static const QRegularExpression journalPath(u"^/(?:(\\d{4})/(\\d{2})/|(\\d+)\\.html)$"_s);
    const QRegularExpressionMatch match = journalPath.match(visit.rest);
    const QString &user = visit.user;
    const auto notFound = [&visit] {
        return htmlAnswer(404, u"Not found"_s,
                          u"<p>No such page: "_s + visit.path.toHtmlEscaped() + u"</p>\n"_s);
    };
    if (user.isEmpty() || !match.hasMatch())
        return notFound();
    std::unique_lock lock(mutex);
    const Settings now = settings;
    const bool admittedByServer = consented.contains(ljuniq);
    lock.unlock();
    const bool friendly = !now.session.first.isEmpty() &&
                          cookieValue(visit.request.cookie, now.session.first) == now.session.second;
    const AdultNotice journalNotice = now.adultJournals.value(user, AdultNotice::None);
    const auto admitted = [&](AdultNotice notice) {
        if (notice == AdultNotice::LiveJournal)
            return cookieValue(visit.request.cookie, "adult_explicit") == "1" ||
                   cookieValue(visit.request.cookie, "adult_concepts") == "1";
        return notice == AdultNotice::None || admittedByServer;
    };
    const QString site = visit.site;
    const QString journal =
        visit.today ? visit.todaysRoot(user) : QString(u"http://"_s + visit.request.host + u"/~"_s + user);
    const QString pal = visit.today ? visit.todaysRoot(user + u"_pal"_s) : QString(journal + u"_pal"_s);
    const QString yearText = match.captured(1);

    if (match.hasCaptured(3)) {
        const int id = match.captured(3).toInt();
        const std::vector<JournalEntry> found =
            entriesWhere([&](const JournalEntry &e) { return e.user == user && e.id == id; });
        if (found.empty())
            return notFound();
        const JournalEntry &e = found.front();
        if (e.friendsOnly && !friendly)
            return htmlAnswer(200, u"Log in"_s,
                              u"<form method=\"post\" action=\""_s + site +
                                  u"/login.bml\"><input type=\"text\" name=\"user\"> <input "
                                  u"type=\"password\" name=\"password\"> <input type=\"submit\"></form>\n"_s);
        if (const AdultNotice notice = e.adult != AdultNotice::None ? e.adult : journalNotice;
            !admitted(notice))
            return adultNotice(visit, notice, ljuniq);
        const QString entryLink = journal + u'/' + QString::number(e.id) + u".html"_s;
        const QString stamp = u"@ %1-%2-%3 %4"_s.arg(e.year).arg(twoDigits(e.month), twoDigits(e.day),
                                                                 e.time.toString(u"HH:mm:ss"_s));
        return htmlAnswer(200, user + u": "_s + e.subject.toHtmlEscaped(),
                          u"<div class=\"site\">"_s + anchor(site + u"/login.bml"_s, u"Log in"_s) +
                              u"</div>\n<div class=\"entry\"><h2 class=\"subject\">"_s +
                              e.subject.toHtmlEscaped() + u"</h2>\n<div class=\"text\">"_s + e.htmlText +
                              u"</div>\n<p class=\"stamp\">"_s + stamp + u"</p></div>\n<p>"_s +
                              anchor(entryLink + u"?mode=reply"_s, u"Leave a comment"_s) + u"</p>\n"_s);
    }
    const QString monthRoot = journal + u'/' + yearText + u'/';
    const int monthNumber = match.captured(2).toInt();
    if (now.liveJournalRedirect && !visit.today)
        return redirect(301, visit.todaysRoot(user) + u'/' + yearText + u'/' + twoDigits(monthNumber) + u'/');
    if (!admitted(journalNotice))
        return adultNotice(visit, journalNotice, ljuniq);
    const std::vector<JournalEntry> found = entriesWhere([&](const JournalEntry &e) {
        return e.user == user && e.year == yearText.toInt() && e.month == monthNumber &&
               (friendly || !e.friendsOnly);
    });
    QString body = u"<div class=\"site\">"_s + anchor(site + u"/login.bml"_s, u"Log in"_s) + u' ' +
                   anchor(site + u"/create.bml"_s, u"Create a journal"_s) + u' ' +
                   anchor(journal + u"/friends"_s, u"Friends"_s) + u' ' +
                   anchor(site + u"/doc/tour/"_s, u"Tour"_s) + u"</div>\n<div class=\"calendar\">"_s +
                   anchor(monthRoot, yearText) + u'\n';
    for (int m = 1; m <= 12; ++m)
        if (m != monthNumber)
            body += anchor(monthRoot + twoDigits(m) + u'/', twoDigits(m)) + u'\n';
    std::set<int> days;
    for (const JournalEntry &e : found)
        days.insert(e.day);
    for (const int day : days)
        body +=
            anchor(monthRoot + twoDigits(monthNumber) + u'/' + twoDigits(day) + u'/', twoDigits(day)) + u'\n';
    body += u"</div>\n"_s;
    for (const JournalEntry &e : found) {
        const QString entryLink = journal + u'/' + QString::number(e.id) + u".html"_s;
        body += u"<div class=\"entry\"><h3>"_s + anchor(entryLink, e.subject.toHtmlEscaped()) +
                u"</h3><p class=\"time\">"_s + e.time.toString(u"HH:mm"_s) + u"</p>\n<p>"_s +
                anchor(entryLink + u"?mode=reply"_s, u"Leave a comment"_s) + u' ' +
                anchor(entryLink + u"#comments"_s, u"Comments"_s) + u' ' +
                anchor(pal + u'/' + QString::number(e.id + 1) + u".html"_s, u"A friend's entry"_s) +
                u"</p></div>\n"_s;
    }
    for (int n = 0; n < now.extraMonthLinks; ++n) {
        const QString number = QString::number(n);
        const QString filler[] = {monthRoot + twoDigits(monthNumber) + u'/' + twoDigits(n / 3 % 28 + 1) +
                                      u'/',
                                  visit.todaysRoot(u"friend_"_s + number) + u"/profile"_s,
                                  site + u"/site/page"_s + number + u".bml"_s};
        body += anchor(filler[n % 3], u"More"_s) + u'\n';
    }
    body += u"<div class=\"footer\">"_s + anchor(site + u"/site/about.bml"_s, u"About"_s) + u' ' +
            anchor(site + u"/legal/tos.bml"_s, u"Terms of service"_s) + u"</div>\n"_s;
    return htmlAnswer(200, user + u": "_s + yearText + u'/' + twoDigits(monthNumber), body);
}

JournalServer::JournalServer()
    : m_state(std::make_unique<State>())
{
    State &state = *m_state;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    state.listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (state.listener < 0 || bind(state.listener, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        listen(state.listener, 128) != 0 ||
        getsockname(state.listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        throw std::runtime_error("the test journal server cannot listen on 127.0.0.1");
    m_port = ntohs(address.sin_port);
    state.acceptor = std::thread([&state] {
        while (!state.stopping) {
            pollfd watch{state.listener, POLLIN, 0};
            const int fd =
                poll(&watch, 1, 5) > 0 ? accept4(state.listener, nullptr, nullptr, SOCK_CLOEXEC) : -1;
            if (fd >= 0) {
                ++state.connections;
                std::thread([&state, fd] {
                    state.serve(fd);
                    --state.connections; // the last touch: the server may be gone right after
                }).detach();
            }
        }
    });
}

JournalServer::~JournalServer()
{
    m_state->stopping = true;
    m_state->acceptor.join();
    close(m_state->listener);
    while (m_state->connections > 0)
        std::this_thread::sleep_for(1ms);
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
    std::lock_guard lock(m_state->mutex);
    m_state->settings.liveJournalRedirect = enabled;
}

void JournalServer::setAdultNotice(const QString &user, AdultNotice notice)
{
    std::lock_guard lock(m_state->mutex);
    m_state->settings.adultJournals.insert(user, notice);
}

void JournalServer::setSession(const QByteArray &name, const QByteArray &value)
{
    std::lock_guard lock(m_state->mutex);
    m_state->settings.session = {name, value};
}

void JournalServer::setExtraMonthLinks(int n)
{
    std::lock_guard lock(m_state->mutex);
    m_state->settings.extraMonthLinks = n;
}

void JournalServer::setAnswers(const QString &path, const QList<Answer> &answers)
{
    std::lock_guard lock(m_state->mutex);
    m_state->presets.insert(path, answers);
    m_state->presetsTaken.remove(path);
}

void JournalServer::setPage(const QString &path, int status, const QByteArray &contentType,
                            const QByteArray &body,
                            const QList<std::pair<QByteArray, QByteArray>> &extraHeaders)
{
    setAnswers(path, {Answer{status, contentType, body, extraHeaders}});
}

void JournalServer::setHang(const QString &path, bool hang)
{
    setAnswers(path, hang ? QList<Answer>{Answer{.shape = Answer::Hang}} : QList<Answer>());
}

int JournalServer::answersInFlight() const
{
    return m_state->inFlight;
}

QList<RequestRecord> JournalServer::requests() const
{
    std::lock_guard lock(m_state->mutex);
    return QList<RequestRecord>(m_state->log.begin(), m_state->log.end());
}

int JournalServer::requestCount(const QString &target) const
{
    std::lock_guard lock(m_state->mutex);
    return int(std::count_if(m_state->log.begin(), m_state->log.end(),
                             [&](const RequestRecord &record) { return record.target == target; }));
}

void JournalServer::clearRequests()
{
    std::lock_guard lock(m_state->mutex);
    m_state->log.clear();
}

} // namespace diarytrawl::test
