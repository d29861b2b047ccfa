#include "JournalServer.h"

#include "platform/CodePage1251.h"

#include <QDir>
#include <QRegularExpression>

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace diarytrawl::test {

namespace {

constexpr QStringView LiveJournalSuffix = u".livejournal.com";
constexpr int ThreadCount = 24; // hung and endless answers each hold one
const auto Html = "text/html; charset=utf-8";

struct CustomPage {
    int status = 200;
    std::string contentType; // empty, with an empty body: no body at all
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
};

QString twoDigits(int number)
{
    return u"%1"_s.arg(number, 2, 10, QChar(u'0'));
}

QString hostLabelOf(const QString &user)
{
    QString label = user;
    return label.replace(u'_', u'-');
}

QString anchor(const QString &href, const QString &text)
{
    return u"<a href=\""_s + href + u"\">"_s + text + u"</a>"_s;
}

const std::string PageTail = "</body></html>\n";

std::string pageHead(const QString &title)
{
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title.toStdString() +
           "</title></head>\n<body>\n";
}

std::string page(const QString &title, const QString &body)
{
    return pageHead(title) + body.toStdString() + PageTail;
}

// The server's end of the connection a request came on. The clients run in the same process, so their
// sockets have the same two ports the other way round.
int serverSocketOf(const httplib::Request &request)
{
    for (const QString &name : QDir(u"/proc/self/fd"_s).entryList(QDir::AllEntries | QDir::System)) {
        const int fd = name.toInt();
        sockaddr_in own{};
        sockaddr_in peer{};
        socklen_t ownLength = sizeof own;
        socklen_t peerLength = sizeof peer;
        if (fd > 2 && getsockname(fd, reinterpret_cast<sockaddr *>(&own), &ownLength) == 0 &&
            own.sin_family == AF_INET &&
            getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &peerLength) == 0 &&
            ntohs(own.sin_port) == request.local_port && ntohs(peer.sin_port) == request.remote_port)
            return fd;
    }
    return -1;
}

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

std::map<std::string, CustomPage> fixedPages()
{
    std::map<std::string, CustomPage> pages;
    const auto add = [&pages](QStringView path, int status, const char *type, const QByteArray &body = {}) {
        return &(pages[path.toString().toStdString()] = CustomPage{status, type, body.toStdString(), {}});
    };
    add(JournalServer::RedirectLoopPath, 302, "")->headers = {{"Location", "/misbehave/redirect-loop/b"}};
    add(u"/misbehave/redirect-loop/b", 302, "")->headers = {{"Location", "/misbehave/redirect-loop/a"}};
    add(JournalServer::RedirectToFilePath, 302, "")->headers = {{"Location", "file:///etc/passwd"}};
    add(JournalServer::NotFoundPath, 404, Html,
        QByteArray::fromStdString(page(u"Error"_s, u"<p>The server has no such page.</p>\n"_s)));
    add(JournalServer::Cp1251MetaPath, 200, "text/html",
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">"
        "<title>cp1251</title></head><body><p>" +
            cp1251::fromUnicode(JournalServer::CyrillicText) + "</p></body></html>\n");
    add(JournalServer::Utf8HeaderPath, 200, Html,
        "<html><head><title>utf-8</title></head><body><p>" + JournalServer::CyrillicText.toUtf8() +
            "</p></body></html>\n");
    add(JournalServer::ImagePath, 200, "image/png",
        QByteArray::fromHex("89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c489"));
    return pages;
}

} // namespace

struct JournalServer::State {
    httplib::Server server;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<int> inFlight{0};

    mutable std::mutex mutex;
    std::vector<JournalEntry> entries;
    std::atomic<bool> liveJournalRedirect{false};
    std::map<std::string, CustomPage> pages = fixedPages();
    std::set<std::string> hangs;
    std::vector<RequestRecord> log;
    std::string hugePage;

    void answer(const httplib::Request &request, httplib::Response &response);
    bool pause(std::chrono::milliseconds duration) const;
    bool misbehave(const QString &path, const httplib::Request &request, httplib::Response &response);
    bool serveJournal(const QString &host, const QString &path, httplib::Response &response);
    std::vector<JournalEntry> entriesWhere(const std::function<bool(const JournalEntry &)> &wanted) const;
    const std::string &huge();
};

// Sleeps in short steps so that a stopping server is never held up; false when it is stopping.
bool JournalServer::State::pause(std::chrono::milliseconds duration) const
{
    const auto end = std::chrono::steady_clock::now() + duration;
    while (!stopping) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(end - now, 5ms));
    }
    return false;
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

const std::string &JournalServer::State::huge()
{
    std::lock_guard lock(mutex);
    if (hugePage.empty()) {
        const std::string tail = "<p><a href=\"/huge-end.html\">last link</a> " +
                                 HugePageEnd.toString().toStdString() + "</p>\n" + PageTail;
        const std::string line = "<p>A line of a page far longer than any journal's.</p>\n";
        hugePage = pageHead(u"A huge page"_s);
        while (hugePage.size() + line.size() + tail.size() <= size_t(HugePageBytes))
            hugePage += line;
        hugePage.resize(size_t(HugePageBytes) - tail.size(), '\n');
        hugePage += tail;
    }
    return hugePage;
}

void JournalServer::State::answer(const httplib::Request &request, httplib::Response &response)
{
    // Uncompressed whatever the client accepts: compression would hold a slow drip back.
    const_cast<httplib::Request &>(request).headers.erase("Accept-Encoding");

    const QString host = QString::fromStdString(request.get_header_value("Host"));
    const QString path = QString::fromStdString(request.path);
    bool hanging = false;
    std::optional<CustomPage> custom;
    {
        std::lock_guard lock(mutex);
        log.push_back({host, QString::fromStdString(request.target),
                       QByteArray::fromStdString(request.get_header_value("User-Agent"))});
        hanging = hangs.count(request.path) > 0;
        if (auto it = pages.find(request.path); it != pages.end())
            custom = it->second;
    }
    if (hanging) {
        const int fd = serverSocketOf(request);
        while (!stopping && !(fd >= 0 && clientHasGone(fd)))
            std::this_thread::sleep_for(5ms);
        response.status = 503;
        return;
    }
    if (custom) {
        response.status = custom->status;
        for (const auto &[name, value] : custom->headers)
            response.set_header(name, value);
        if (!custom->contentType.empty() || !custom->body.empty())
            response.set_content(custom->body, custom->contentType);
        return;
    }
    if (misbehave(path, request, response) || serveJournal(host, path, response))
        return;
    response.status = 404;
    response.set_content(page(u"Not found"_s, u"<p>No such page: "_s + path.toHtmlEscaped() + u"</p>\n"_s),
                         Html);
}

bool JournalServer::State::misbehave(const QString &path, const httplib::Request &request,
                                     httplib::Response &response)
{
    const auto param = [&](const char *name, int fallback) {
        return request.has_param(name) ? std::stoi(request.get_param_value(name)) : fallback;
    };
    if (path == SlowDripPath) {
        const int pieces = param("pieces", 10);
        const int ms = param("ms", 20);
        auto next = std::make_shared<int>(0); // 0: the page's start, 1 to pieces: the drops, then its end
        response.set_chunked_content_provider(
            Html, [this, pieces, ms, next](size_t, httplib::DataSink &sink) {
                const int n = (*next)++;
                if (n > 0 && n <= pieces && !pause(std::chrono::milliseconds(ms)))
                    return false;
                const std::string text = n == 0        ? "<html><body>\n"
                                         : n <= pieces ? "<p>Drop " + std::to_string(n) + "</p>\n"
                                                       : "<p>End of the drip</p></body></html>\n";
                if (!sink.write(text.data(), text.size()))
                    return false;
                if (n > pieces)
                    sink.done();
                return true;
            });
        return true;
    }
    if (path == EndlessPath) {
        const int ms = param("ms", 0);
        response.set_chunked_content_provider(Html, [this, ms](size_t, httplib::DataSink &sink) {
            static const std::string piece =
                QByteArray("<p>This page goes on and on and on.</p>\n").repeated(1600).toStdString();
            if (stopping || (ms > 0 && !pause(std::chrono::milliseconds(ms))))
                return false;
            return sink.write(piece.data(), piece.size());
        });
        return true;
    }
    if (path.startsWith(RedirectChainPath)) {
        const int left = path.mid(RedirectChainPath.size()).toInt();
        if (left > 0)
            response.set_redirect(QString(RedirectChainPath + QString::number(left - 1)).toStdString(), 302);
        else
            response.set_content(page(u"Chain"_s, u"<p>End of the chain</p>\n"_s), Html);
        return true;
    }
    if (path == CutShortPath) {
        response.set_content_provider(100000, Html, [](size_t offset, size_t, httplib::DataSink &sink) {
            const std::string start = "<html><body><p>" + std::string(1000 - 15, 'x');
            return offset == 0 && sink.write(start.data(), start.size());
        });
        return true;
    }
    if (path == HugePath) {
        response.set_content(huge(), Html);
        return true;
    }
    return false;
}

bool JournalServer::State::serveJournal(const QString &host, const QString &path, httplib::Response &response)
{
    static const QRegularExpression oldPath(u"^/~([^/]+)(/.*)$"_s);
    static const QRegularExpression journalPath(u"^/(?:(\\d{4})/(\\d{2})/|(\\d+)\\.html)$"_s);

    // The old shape lives under "/~user/" on the site's host, today's on a host of its own per journal.
    QString user;
    QString rest = path;
    const QString hostName = host.section(u':', 0, 0).toLower();
    const bool today = hostName.endsWith(LiveJournalSuffix) && hostName != u"www"_s + LiveJournalSuffix;
    if (today) {
        const QString label = hostName.chopped(LiveJournalSuffix.size());
        std::lock_guard lock(mutex);
        for (const JournalEntry &candidate : entries) {
            if (hostLabelOf(candidate.user).compare(label, Qt::CaseInsensitive) == 0)
                user = candidate.user;
        }
    } else if (const QRegularExpressionMatch old = oldPath.match(path); old.hasMatch()) {
        user = old.captured(1);
        rest = old.captured(2);
    }
    const QRegularExpressionMatch match = journalPath.match(rest);
    if (user.isEmpty() || !match.hasMatch())
        return false;
    const auto todaysRoot = [](const QString &name) -> QString {
        return u"https://"_s + hostLabelOf(name) + LiveJournalSuffix;
    };
    const QString site = today ? u"https://www.livejournal.com"_s : QString(u"http://"_s + host);
    const QString journal = today ? todaysRoot(user) : QString(site + u"/~"_s + user);
    const QString pal = today ? todaysRoot(user + u"_pal"_s) : QString(journal + u"_pal"_s);
    const QString yearText = match.captured(1);

    if (match.hasCaptured(3)) {
        const int id = match.captured(3).toInt();
        const std::vector<JournalEntry> found =
            entriesWhere([&](const JournalEntry &e) { return e.user == user && e.id == id; });
        if (found.empty())
            return false;
        const JournalEntry &e = found.front();
        const QString entryLink = journal + u'/' + QString::number(e.id) + u".html"_s;
        const QString stamp = u"@ %1-%2-%3 %4"_s.arg(e.year).arg(twoDigits(e.month), twoDigits(e.day),
                                                                 e.time.toString(u"HH:mm:ss"_s));
        response.set_content(
            page(user + u": "_s + e.subject.toHtmlEscaped(),
                 u"<div class=\"site\">"_s + anchor(site + u"/login.bml"_s, u"Log in"_s) +
                     u"</div>\n<div class=\"entry\"><h2 class=\"subject\">"_s + e.subject.toHtmlEscaped() +
                     u"</h2>\n<div class=\"text\">"_s + e.htmlText + u"</div>\n<p class=\"stamp\">"_s +
                     stamp + u"</p></div>\n<p>"_s +
                     anchor(entryLink + u"?mode=reply"_s, u"Leave a comment"_s) + u"</p>\n"_s),
            Html);
        return true;
    }
    const QString monthRoot = journal + u'/' + yearText + u'/';

    const int monthNumber = match.captured(2).toInt();
    if (liveJournalRedirect && !today) {
        response.set_redirect(
            QString(todaysRoot(user) + u'/' + yearText + u'/' + twoDigits(monthNumber) + u'/').toStdString(),
            301);
        return true;
    }
    const std::vector<JournalEntry> found = entriesWhere([&](const JournalEntry &e) {
        return e.user == user && e.year == yearText.toInt() && e.month == monthNumber;
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
    body += u"<div class=\"footer\">"_s + anchor(site + u"/site/about.bml"_s, u"About"_s) + u' ' +
            anchor(site + u"/legal/tos.bml"_s, u"Terms of service"_s) + u"</div>\n"_s;
    response.set_content(page(user + u": "_s + yearText + u'/' + twoDigits(monthNumber), body), Html);
    return true;
}

JournalServer::JournalServer()
    : m_state(std::make_unique<State>())
{
    State &state = *m_state;
    state.server.new_task_queue = [] {
        return new httplib::ThreadPool(ThreadCount);
    };
    // One request per connection: an idle kept-alive connection would hold the destructor for seconds.
    state.server.set_keep_alive_max_count(1);
    state.server.set_keep_alive_timeout(1);
    state.server.Get(".*", [&state](const httplib::Request &request, httplib::Response &response) {
        ++state.inFlight;
        state.answer(request, response);
        if (response.content_provider_) // streamed answers count until the server lets go of them
            response.content_provider_resource_releaser_ = [&state](bool) {
                --state.inFlight;
            };
        else
            --state.inFlight;
    });
    const int port = state.server.bind_to_any_port("127.0.0.1");
    if (port <= 0)
        throw std::runtime_error("the test journal server cannot listen on 127.0.0.1");
    m_port = quint16(port);
    state.thread = std::thread([&state] { state.server.listen_after_bind(); });
    while (!state.server.is_running())
        std::this_thread::sleep_for(1ms);
}

JournalServer::~JournalServer()
{
    m_state->stopping = true;
    m_state->server.stop();
    m_state->thread.join();
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

void JournalServer::setPage(const QString &path, int status, const QByteArray &contentType,
                            const QByteArray &body,
                            const QList<std::pair<QByteArray, QByteArray>> &extraHeaders)
{
    CustomPage custom{status, contentType.toStdString(), body.toStdString(), {}};
    for (const auto &[name, value] : extraHeaders)
        custom.headers.emplace_back(name.toStdString(), value.toStdString());
    std::lock_guard lock(m_state->mutex);
    m_state->pages[path.toStdString()] = std::move(custom);
}

void JournalServer::setHang(const QString &path, bool hang)
{
    std::lock_guard lock(m_state->mutex);
    if (hang)
        m_state->hangs.insert(path.toStdString());
    else
        m_state->hangs.erase(path.toStdString());
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
