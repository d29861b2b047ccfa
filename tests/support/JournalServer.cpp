#include "JournalServer.h"

#include "platform/CodePage1251.h"

#include <QRegularExpression>
#include <QUrl>

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <dirent.h>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace diarytrawl::test {

namespace {

constexpr QStringView LiveJournalSuffix = u".livejournal.com";
constexpr int ThreadCount = 24; // hung and endless answers each hold one

struct CustomPage {
    int status = 200;
    std::string contentType;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
};

std::string toStd(const QString &text)
{
    return text.toStdString();
}

QString fromStd(const std::string &text)
{
    return QString::fromStdString(text);
}

QString twoDigits(int number)
{
    return u"%1"_s.arg(number, 2, 10, QChar(u'0'));
}

QString hostLabelOf(const QString &user)
{
    QString label = user;
    label.replace(u'_', u'-');
    return label;
}

// The server's end of the connection a request came on: the socket whose own port is the request's
// local port and whose peer's port is its remote port. The clients run in the same process, so their
// sockets have the two ports the other way round.
int serverSocketOf(const httplib::Request &request)
{
    DIR *folder = opendir("/proc/self/fd");
    if (!folder)
        return -1;
    int found = -1;
    while (const dirent *entry = readdir(folder)) {
        const int fd = atoi(entry->d_name);
        if (fd <= 2 || fd == dirfd(folder))
            continue;
        sockaddr_in own{};
        sockaddr_in peer{};
        socklen_t ownLength = sizeof own;
        socklen_t peerLength = sizeof peer;
        if (getsockname(fd, reinterpret_cast<sockaddr *>(&own), &ownLength) != 0 ||
            own.sin_family != AF_INET ||
            getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &peerLength) != 0)
            continue;
        if (ntohs(own.sin_port) == request.local_port && ntohs(peer.sin_port) == request.remote_port) {
            found = fd;
            break;
        }
    }
    closedir(folder);
    return found;
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

// Resets the connection at once: with a zero linger time the close sends RST. dup2 puts a fresh,
// unconnected socket in its place, so that the server's own later writes and close touch nothing else.
void resetConnection(int fd)
{
    const linger abort{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    const int placeholder = socket(AF_INET, SOCK_STREAM, 0);
    if (placeholder < 0)
        return;
    dup2(placeholder, fd);
    close(placeholder);
}

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

const QString PageHead =
    u"<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title></head>\n<body>\n"_s;
const QString PageTail = u"</body></html>\n"_s;

// Where the pieces of one journal live: the old shape under "/~user/" on the site's host, or today's on
// a host of its own.
struct JournalAddresses {
    QString siteRoot;    // "http://HOST" or "https://www.livejournal.com"
    QString journalRoot; // "http://HOST/~user" or "https://user-name.livejournal.com"
    QString palRoot;     // the same for the other user the month pages link to
};

JournalAddresses oldShape(const QString &host, const QString &user)
{
    const QString site = u"http://"_s + host;
    return {site, site + u"/~"_s + user, site + u"/~"_s + user + u"_pal"_s};
}

JournalAddresses todaysShape(const QString &user)
{
    const QString label = hostLabelOf(user);
    return {u"https://www.livejournal.com"_s, u"https://"_s + label + LiveJournalSuffix,
            u"https://"_s + label + u"-pal"_s + LiveJournalSuffix};
}

} // namespace

struct JournalServer::State {
    httplib::Server server;
    std::thread thread;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::atomic<int> inFlight{0};

    mutable std::mutex mutex;
    std::vector<JournalEntry> entries;
    bool liveJournalRedirect = false;
    std::map<std::string, CustomPage> pages;
    std::map<std::string, int> delays;
    std::set<std::string> hangs;
    std::vector<RequestRecord> log;
    std::string hugePage;

    void handle(const httplib::Request &request, httplib::Response &response);
    void answer(const httplib::Request &request, httplib::Response &response);
    bool pause(std::chrono::milliseconds duration) const;
    void hang(const httplib::Request &request) const;
    bool misbehave(const QString &path, const httplib::Request &request, httplib::Response &response);
    bool serveJournal(const QString &host, const QString &path, httplib::Response &response);
    std::vector<JournalEntry> entriesOf(const QString &user, int year, int month) const;
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

void JournalServer::State::hang(const httplib::Request &request) const
{
    const int fd = serverSocketOf(request);
    while (!stopping && !(fd >= 0 && clientHasGone(fd)))
        std::this_thread::sleep_for(5ms);
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

std::vector<JournalEntry> JournalServer::State::entriesOf(const QString &user, int year, int month) const
{
    return entriesWhere([&](const JournalEntry &entry) {
        return entry.user == user && entry.year == year && entry.month == month;
    });
}

const std::string &JournalServer::State::huge()
{
    std::lock_guard lock(mutex);
    if (hugePage.empty()) {
        const std::string head = toStd(PageHead.arg(u"A huge page"_s));
        const std::string tail =
            toStd(u"<p><a href=\"/huge-end.html\">last link</a> "_s + HugePageEnd + u"</p>\n"_s + PageTail);
        hugePage.reserve(size_t(HugePageBytes));
        hugePage += head;
        std::string line;
        for (int number = 0; hugePage.size() + tail.size() < size_t(HugePageBytes); ++number) {
            line = "<p>Line " + std::to_string(number) + " of a page far longer than any journal's.</p>\n";
            hugePage += line;
        }
        hugePage.resize(size_t(HugePageBytes) - tail.size(), '\n');
        hugePage += tail;
    }
    return hugePage;
}

void JournalServer::State::handle(const httplib::Request &request, httplib::Response &response)
{
    ++inFlight;
    answer(request, response);
    if (response.content_provider_) {
        // Streamed answers count until the server lets go of them.
        response.content_provider_resource_releaser_ = [this](bool) {
            --inFlight;
        };
    } else {
        --inFlight;
    }
}

void JournalServer::State::answer(const httplib::Request &request, httplib::Response &response)
{
    // Answers go out uncompressed whatever the client accepts, so that sizes and timing are what the
    // test set up (compression would hold a slow drip back in the compressor).
    const_cast<httplib::Request &>(request).headers.erase("Accept-Encoding");

    const QString host = fromStd(request.get_header_value("Host"));
    const QString path = fromStd(request.path);
    const std::string stdPath = request.path;
    int delay = 0;
    bool hanging = false;
    std::optional<CustomPage> custom;
    {
        std::lock_guard lock(mutex);
        log.push_back({host, fromStd(request.target),
                       QByteArray::fromStdString(request.get_header_value("User-Agent"))});
        if (auto it = delays.find(stdPath); it != delays.end())
            delay = it->second;
        hanging = hangs.count(stdPath) > 0;
        if (auto it = pages.find(stdPath); it != pages.end())
            custom = it->second;
    }
    if (hanging) {
        hang(request);
        response.status = 503;
        return;
    }
    if (delay > 0 && !pause(std::chrono::milliseconds(delay))) {
        response.status = 503;
        return;
    }
    if (custom) {
        response.status = custom->status;
        for (const auto &[name, value] : custom->headers)
            response.set_header(name, value);
        response.set_content(custom->body, custom->contentType);
        return;
    }
    if (misbehave(path, request, response))
        return;
    if (serveJournal(host, path, response))
        return;
    response.status = 404;
    response.set_content(
        toStd(PageHead.arg(u"Not found"_s) + u"<p>No such page: "_s + escaped(path) + u"</p>\n"_s + PageTail),
        "text/html; charset=utf-8");
}

bool JournalServer::State::misbehave(const QString &path, const httplib::Request &request,
                                     httplib::Response &response)
{
    if (!path.startsWith(u"/misbehave/"))
        return false;
    const auto html = "text/html; charset=utf-8";
    if (path == SlowDripPath) {
        const int pieces = request.has_param("pieces") ? std::stoi(request.get_param_value("pieces")) : 10;
        const int ms = request.has_param("ms") ? std::stoi(request.get_param_value("ms")) : 20;
        auto sent = std::make_shared<int>(-1); // pieces sent so far; -1 before the page's start
        response.set_chunked_content_provider(
            html, [this, pieces, ms, sent](size_t, httplib::DataSink &sink) {
                std::string text;
                if (*sent < 0) {
                    text = "<html><body>\n";
                } else if (*sent >= pieces) {
                    text = "<p>End of the drip</p></body></html>\n";
                    if (!sink.write(text.data(), text.size()))
                        return false;
                    sink.done();
                    return true;
                } else if (!pause(std::chrono::milliseconds(ms))) {
                    return false;
                } else {
                    text = "<p>Drop " + std::to_string(*sent + 1) + "</p>\n";
                }
                ++*sent;
                return sink.write(text.data(), text.size());
            });
        return true;
    }
    if (path == EndlessPath) {
        const int ms = request.has_param("ms") ? std::stoi(request.get_param_value("ms")) : 0;
        response.set_chunked_content_provider(html, [this, ms](size_t, httplib::DataSink &sink) {
            static const std::string piece = [] {
                std::string text;
                while (text.size() < 64 * 1024)
                    text += "<p>This page goes on and on and on.</p>\n";
                return text;
            }();
            if (stopping || (ms > 0 && !pause(std::chrono::milliseconds(ms))))
                return false;
            return sink.write(piece.data(), piece.size());
        });
        return true;
    }
    if (path.startsWith(RedirectChainPath)) {
        const int left = path.mid(RedirectChainPath.size()).toInt();
        if (left <= 0) {
            response.set_content(toStd(PageHead.arg(u"Chain"_s) + u"<p>End of the chain</p>\n"_s + PageTail),
                                 html);
        } else {
            response.set_redirect(toStd(RedirectChainPath + QString::number(left - 1)), 302);
        }
        return true;
    }
    if (path == u"/misbehave/redirect-loop/a" || path == u"/misbehave/redirect-loop/b") {
        response.set_redirect(
            path.endsWith(u'a') ? "/misbehave/redirect-loop/b" : "/misbehave/redirect-loop/a", 302);
        return true;
    }
    if (path == RedirectToFilePath) {
        response.set_redirect("file:///etc/passwd", 302);
        return true;
    }
    if (path == NotFoundPath || path == ServerErrorPath) {
        const bool notFound = path == NotFoundPath;
        response.status = notFound ? 404 : 500;
        response.set_content(
            toStd(PageHead.arg(u"Error"_s) + u"<p>"_s +
                  (notFound ? u"The server has no such page."_s : u"The server broke down."_s) + u"</p>\n"_s +
                  PageTail),
            html);
        return true;
    }
    if (path == EmptyServerErrorPath) {
        response.status = 500;
        return true;
    }
    if (path == ResetPath) {
        const int fd = serverSocketOf(request);
        if (fd >= 0)
            resetConnection(fd);
        response.status = 500;
        return true;
    }
    if (path == CutShortPath) {
        response.set_content_provider(100000, html, [](size_t offset, size_t, httplib::DataSink &sink) {
            if (offset > 0)
                return false;
            const std::string start = "<html><body><p>" + std::string(1000 - 15, 'x');
            return sink.write(start.data(), start.size());
        });
        return true;
    }
    if (path == HugePath) {
        response.set_content(huge(), html);
        return true;
    }
    if (path == BinaryPath || path == GarbageHtmlPath) {
        std::mt19937 random(1251);
        std::string bytes(64 * 1024, '\0');
        for (char &byte : bytes)
            byte = char(random() & 0xFF);
        response.set_content(bytes, path == BinaryPath ? "application/octet-stream" : "text/html");
        return true;
    }
    if (path == Cp1251MetaPath) {
        const QByteArray body =
            "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">"
            "<title>cp1251</title></head><body><p>" +
            cp1251::fromUnicode(CyrillicText) + "</p></body></html>\n";
        response.set_content(body.toStdString(), "text/html");
        return true;
    }
    if (path == Utf8HeaderPath) {
        const QByteArray body = "<html><head><title>utf-8</title></head><body><p>" + CyrillicText.toUtf8() +
                                "</p></body></html>\n";
        response.set_content(body.toStdString(), html);
        return true;
    }
    if (path == PlainTextPath) {
        response.set_content("First line\nSecond <line> & more\n", "text/plain; charset=utf-8");
        return true;
    }
    if (path == ImagePath) {
        static constexpr unsigned char header[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0,   0, 0, 13,
                                                   'I',  'H', 'D', 'R', 0,    0,    0,    1,    0,   0, 0, 1,
                                                   8,    6,   0,   0,   0,    0x1f, 0x15, 0xc4, 0x89};
        const std::string png(reinterpret_cast<const char *>(header), sizeof header);
        response.set_content(png, "image/png");
        return true;
    }
    return false;
}

bool JournalServer::State::serveJournal(const QString &host, const QString &path, httplib::Response &response)
{
    static const QRegularExpression oldYear(u"^/~([^/]+)/(\\d{4})/$"_s);
    static const QRegularExpression oldMonth(u"^/~([^/]+)/(\\d{4})/(\\d{2})/$"_s);
    static const QRegularExpression oldEntry(u"^/~([^/]+)/(\\d+)\\.html$"_s);
    static const QRegularExpression newYear(u"^/(\\d{4})/$"_s);
    static const QRegularExpression newMonth(u"^/(\\d{4})/(\\d{2})/$"_s);
    static const QRegularExpression newEntry(u"^/(\\d+)\\.html$"_s);
    const auto html = "text/html; charset=utf-8";

    QString user;
    JournalAddresses at;
    QRegularExpressionMatch year;
    QRegularExpressionMatch month;
    QRegularExpressionMatch entry;
    const QString hostName = host.section(u':', 0, 0).toLower();
    if (hostName.endsWith(LiveJournalSuffix) && hostName != u"www"_s + LiveJournalSuffix) {
        const QString label = hostName.chopped(LiveJournalSuffix.size());
        {
            std::lock_guard lock(mutex);
            for (const JournalEntry &candidate : entries) {
                if (hostLabelOf(candidate.user).compare(label, Qt::CaseInsensitive) == 0)
                    user = candidate.user;
            }
        }
        if (user.isEmpty())
            return false;
        at = todaysShape(user);
        year = newYear.match(path);
        month = newMonth.match(path);
        entry = newEntry.match(path);
    } else {
        year = oldYear.match(path);
        month = oldMonth.match(path);
        entry = oldEntry.match(path);
        const QRegularExpressionMatch any = year.hasMatch() ? year : month.hasMatch() ? month : entry;
        if (!any.hasMatch())
            return false;
        user = any.captured(1);
        at = oldShape(host, user);
    }
    const int offset = at.journalRoot.contains(u"/~") ? 1 : 0; // the old shape's first group is the user

    if (year.hasMatch()) {
        const QString yearText = year.captured(1 + offset);
        QString body = PageHead.arg(user + u": "_s + yearText) + u"<h1>"_s + yearText + u"</h1>\n"_s;
        for (int m = 1; m <= 12; ++m)
            body += u"<a href=\""_s + at.journalRoot + u'/' + yearText + u'/' + twoDigits(m) + u"/\">"_s +
                    twoDigits(m) + u"</a>\n"_s;
        response.set_content(toStd(body + PageTail), html);
        return true;
    }
    if (month.hasMatch()) {
        const int yearNumber = month.captured(1 + offset).toInt();
        const int monthNumber = month.captured(2 + offset).toInt();
        const QString yearText = month.captured(1 + offset);
        bool redirect = false;
        {
            std::lock_guard lock(mutex);
            redirect = liveJournalRedirect && offset == 1;
        }
        if (redirect) {
            response.set_redirect(
                toStd(todaysShape(user).journalRoot + u'/' + yearText + u'/' + twoDigits(monthNumber) + u'/'),
                301);
            return true;
        }
        const std::vector<JournalEntry> found = entriesOf(user, yearNumber, monthNumber);
        QString body = PageHead.arg(user + u": "_s + yearText + u'/' + twoDigits(monthNumber));
        body += u"<div class=\"site\"><a href=\""_s + at.siteRoot + u"/login.bml\">Log in</a> <a href=\""_s +
                at.siteRoot + u"/create.bml\">Create a journal</a> <a href=\""_s + at.journalRoot +
                u"/friends\">Friends</a> <a href=\""_s + at.siteRoot + u"/doc/tour/\">Tour</a></div>\n"_s;
        body += u"<div class=\"calendar\"><a href=\""_s + at.journalRoot + u'/' + yearText + u"/\">"_s +
                yearText + u"</a>\n"_s;
        for (int m = 1; m <= 12; ++m) {
            if (m != monthNumber)
                body += u"<a href=\""_s + at.journalRoot + u'/' + yearText + u'/' + twoDigits(m) + u"/\">"_s +
                        twoDigits(m) + u"</a>\n"_s;
        }
        std::set<int> days;
        for (const JournalEntry &e : found)
            days.insert(e.day);
        for (const int day : days)
            body += u"<a href=\""_s + at.journalRoot + u'/' + yearText + u'/' + twoDigits(monthNumber) +
                    u'/' + twoDigits(day) + u"/\">"_s + twoDigits(day) + u"</a>\n"_s;
        body += u"</div>\n"_s;
        for (const JournalEntry &e : found) {
            const QString link = at.journalRoot + u'/' + QString::number(e.id) + u".html"_s;
            body += u"<div class=\"entry\"><h3><a href=\""_s + link + u"\">"_s + escaped(e.subject) +
                    u"</a></h3><p class=\"time\">"_s + e.time.toString(u"HH:mm"_s) +
                    u"</p>\n<p><a href=\""_s + link + u"?mode=reply\">Leave a comment</a> <a href=\""_s +
                    link + u"#comments\">Comments</a> <a href=\""_s + at.palRoot + u'/' +
                    QString::number(e.id + 1) + u".html\">A friend's entry</a></p></div>\n"_s;
        }
        body += u"<div class=\"footer\"><a href=\""_s + at.siteRoot +
                u"/site/about.bml\">About</a> <a href=\""_s + at.siteRoot +
                u"/legal/tos.bml\">Terms of service</a></div>\n"_s;
        response.set_content(toStd(body + PageTail), html);
        return true;
    }
    if (entry.hasMatch()) {
        const int id = entry.captured(1 + offset).toInt();
        const std::vector<JournalEntry> found =
            entriesWhere([&](const JournalEntry &e) { return e.user == user && e.id == id; });
        if (found.empty())
            return false;
        const JournalEntry &e = found.front();
        const QString link = at.journalRoot + u'/' + QString::number(e.id) + u".html"_s;
        const QString stamp = u"@ %1-%2-%3 %4"_s.arg(e.year).arg(twoDigits(e.month), twoDigits(e.day),
                                                                 e.time.toString(u"HH:mm:ss"_s));
        QString body = PageHead.arg(user + u": "_s + escaped(e.subject));
        body += u"<div class=\"site\"><a href=\""_s + at.siteRoot + u"/login.bml\">Log in</a></div>\n"_s;
        body += u"<div class=\"entry\"><h2 class=\"subject\">"_s + escaped(e.subject) +
                u"</h2>\n<div class=\"text\">"_s + e.htmlText + u"</div>\n<p class=\"stamp\">"_s + stamp +
                u"</p></div>\n<p><a href=\""_s + link + u"?mode=reply\">Leave a comment</a></p>\n"_s;
        response.set_content(toStd(body + PageTail), html);
        return true;
    }
    return false;
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
        state.handle(request, response);
    });
    state.port = state.server.bind_to_any_port("127.0.0.1");
    if (state.port <= 0)
        throw std::runtime_error("the test journal server cannot listen on 127.0.0.1");
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

quint16 JournalServer::port() const
{
    return quint16(m_state->port);
}

QString JournalServer::host() const
{
    return u"127.0.0.1:"_s + QString::number(m_state->port);
}

QString JournalServer::origin() const
{
    return u"http://"_s + host();
}

QString JournalServer::url(QStringView path) const
{
    return origin() + path;
}

void JournalServer::addEntry(const JournalEntry &entry)
{
    std::lock_guard lock(m_state->mutex);
    m_state->entries.push_back(entry);
}

void JournalServer::setLiveJournalRedirect(bool enabled)
{
    std::lock_guard lock(m_state->mutex);
    m_state->liveJournalRedirect = enabled;
}

void JournalServer::setPage(const QString &path, int status, const QByteArray &contentType,
                            const QByteArray &body,
                            const QList<std::pair<QByteArray, QByteArray>> &extraHeaders)
{
    CustomPage page{status, contentType.toStdString(), body.toStdString(), {}};
    for (const auto &[name, value] : extraHeaders)
        page.headers.emplace_back(name.toStdString(), value.toStdString());
    std::lock_guard lock(m_state->mutex);
    m_state->pages[toStd(path)] = std::move(page);
}

void JournalServer::setDelay(const QString &path, int msec)
{
    std::lock_guard lock(m_state->mutex);
    m_state->delays[toStd(path)] = msec;
}

void JournalServer::setHang(const QString &path, bool hang)
{
    std::lock_guard lock(m_state->mutex);
    if (hang)
        m_state->hangs.insert(toStd(path));
    else
        m_state->hangs.erase(toStd(path));
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
