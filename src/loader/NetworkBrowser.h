// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Browser.h"
#include "CookieJar.h"
#include "HttpTransfer.h"
#include "PageCache.h"
#include "RequestPacer.h"
#include "SiteRules.h"
#include "WebAddress.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace diarytrawl::web {

struct NetworkBrowserOptions {
    // Pages come from the cache only (--offline), or from the network (--online), whatever the settings
    // store says. Otherwise every new browser reads GlobalUserOffline from the store.
    bool forceOffline = false;
    bool forceOnline = false;
    // The settings store's file; empty: the user's ($XDG_CONFIG_HOME/diarytrawl/settings.json).
    QString settingsFile;
    // The page cache's database; empty: the user's ($XDG_CACHE_HOME/diarytrawl/pages.sqlite).
    QString cacheFile;
    // Past this much content the pages read longest ago leave the cache (--cache-limit).
    qint64 cacheMaxBytes = PageCache::DefaultMaxBytes;
    // A contact address for the User-Agent; empty: the settings store's, if it holds one.
    QString contact;
    // A load that receives no byte for this long fails as timed out.
    std::chrono::milliseconds idleTimeout{60000};
    // The least time between two requests to a site that goes to the network, for every site (--pace);
    // empty: what the site's rules ask for, 200 ms without rules (the sites' bot policy asks for at most
    // five a second).
    std::optional<std::chrono::milliseconds> pace;
    // Every pace and wait is this many times as long as it says; tests shorten them with it.
    double timeScale = 1.0;
    // A page that takes longer to parse fails as too complex to read.
    std::chrono::milliseconds parseTimeLimit{10000};
    // For tests, which cannot make real host names resolve: requests for an origin (a key such as
    // "https://inkwell.journal.example", or "https://*.journal.example" for every host under that name)
    // go to another origin ("http://127.0.0.1:8080") with the original Host header, while the document's
    // address, the links, the cookies and the cache keep the original address. Empty in the program.
    QHash<QString, QString> originMap;
    // How a visible browser shows an address. Empty: xdg-open, detached.
    std::function<void(const QString &address)> openExternally;
    // What the journal sites put in place of pages and how their notices are answered; without rules
    // every page is taken as the one asked for.
    std::shared_ptr<const SiteRules> siteRules;
};

// The browser object on libcurl (HttpTransfer.h). Fetching runs on a thread per request, parsing on a
// worker thread, so the window stays responsive whatever a server or a page does; the conductor runs
// on the thread that made the object and needs its events pumped, as Wait does. Everything Browser
// promises holds; in addition:
//  - Only http and https are loaded, by the first request and by every redirect; redirects are followed
//    as a browser follows them, at most MaxRedirects, and the document's address is the final one.
//  - A Navigate to the loaded page's address with another fragment does not fetch again.
//  - Bounds: a body past MaxBodyBytes (as it is unpacked), a header block past MaxHeaderBytes, no byte
//    for idleTimeout, a parse past parseTimeLimit: each fails the load.
//  - Requests to a site start at least its pace apart, counted from when the last one went out; a
//    site that answers 429 gets a slower pace for the rest of the browser's life. Pages from the cache
//    cost no wait.
//  - A site that shows its captcha, or redirects to it, gets no more requests from this browser: every
//    load from it fails at once as the captcha did.
//  - Every page that loads with status 200 and is the page asked for goes to the page cache;
//    offline, pages come only from there.
//  - Cookies: one jar per browser holds the session's login cookies and what the sites set; each
//    request carries the cookies of its own address. With the session's adult consent, the site's
//    consent cookies go out from the first request, and a notice that still comes is answered once in
//    the scope the site keeps its consent in by submitting its form, then the page is asked for again.
//  - text/plain is shown as text; pictures, sound, video and archives as a line saying what the address
//    holds (a failed load: not a page); any other type is read as HTML.
class NetworkBrowser final : public QObject, public Browser {
public:
    static constexpr int MaxRedirects = 20;
    static constexpr qint64 MaxBodyBytes = qint64(64) * 1024 * 1024;
    static constexpr qint64 MaxHeaderBytes = qint64(256) * 1024;

    // Reads the offline setting unless forced and the session's login cookies: throws PlatformError
    // when the settings store is damaged or the cookies cannot be read.
    explicit NetworkBrowser(NetworkBrowserOptions options = {}, BrowserSession session = {});
    ~NetworkBrowser() override;
    NetworkBrowser(const NetworkBrowser &) = delete;
    NetworkBrowser &operator=(const NetworkBrowser &) = delete;

    void setVisible(bool visible) override;
    void setSilent(bool silent) override;
    void Navigate(const QString &address, std::chrono::seconds maxAge = std::chrono::seconds(0)) override;
    bool Busy() const override;
    std::shared_ptr<const HtmlDocument> Document() const override;
    void Quit() override;
    void notifyWhenIdle(std::function<void()> notify) override;
    QStringList sessionNotes() const override;
    std::chrono::milliseconds pace() const override;

    bool isVisible() const { return m_visible; }

    // "diarytrawl/VERSION", and "(contact: ADDRESS)" when there is one.
    static QByteArray userAgent(const QString &contact);

    struct Loaded; // a document made on a worker, on its way back
    struct Relay;  // how workers reach a browser that may be gone

private:
    void abandonLoad();
    void request(const WebAddress &url, const QByteArray &method = "GET", const QByteArray &body = {});
    void startTransfer(const WebAddress &url, const QByteArray &method, const QByteArray &body);
    void onTransferDone(TransferResult result);
    void followRedirect(const QByteArray &location);
    void fail(const LoadOutcome &outcome, const QString &sentence, const QString &address);
    void readPage(TransferResult result, const QString &address);
    // From the page cache: offline, whatever its age; online, when it was read within maxAge, or else
    // from the network after all.
    void lookUp(const WebAddress &url, std::optional<std::chrono::seconds> maxAge = std::nullopt);
    void runOnWorker(std::function<Loaded(const std::function<bool()> &abandoned)> make);
    // Makes a document on the calling thread and sends it to the browser, if it still wants it.
    static void deliver(const std::shared_ptr<Relay> &relay, quint64 generation,
                        std::chrono::milliseconds limit,
                        const std::function<Loaded(const std::function<bool()> &abandoned)> &make);
    void install(quint64 generation, const std::shared_ptr<Loaded> &loaded);
    bool answerAdultNotice(const Loaded &loaded);
    void setDocument(std::shared_ptr<const HtmlDocument> document, bool isPage);
    bool isFragmentOfCurrentPage(const WebAddress &url) const;
    QString currentAddress() const;
    QByteArray wireAddress(const WebAddress &url, QByteArray &hostHeader) const;
    QString siteOf(QStringView host) const;
    void blockSite(const WebAddress &url);

    NetworkBrowserOptions m_options;
    BrowserSession m_session;
    QHash<QString, QString> m_origins; // originMap with keys in lower case
    QByteArray m_userAgent;
    QStringList m_notes;
    bool m_offline = false;
    bool m_visible = false;
    bool m_busy = false;
    bool m_quit = false;

    std::shared_ptr<const HtmlDocument> m_document;
    const std::shared_ptr<const HtmlDocument> m_blank; // the document while nothing is loaded
    static constexpr qsizetype RecentPages = 4;
    static constexpr qsizetype RecentPageChars = 1024 * 1024;
    QList<std::shared_ptr<const HtmlDocument>> m_recentPages; // the last pages read, newest last
    bool m_documentIsPage = false; // the server's or the cache's page, not one of ours

    HttpSession m_http;
    std::shared_ptr<std::atomic<bool>> m_abandonTransfer;
    CookieJar m_cookies;
    RequestPacer m_pacer;
    WebAddress m_requested;            // the address asked for, without fragment
    WebAddress m_url;                  // the address being fetched, without fragment
    std::optional<QString> m_fragment; // the first address's, kept through redirects that name none
    int m_redirects = 0;
    QSet<QString> m_visited;
    bool m_answeringNotice = false;  // the request in flight submits an adult-content notice's form
    QSet<QString> m_noticesAnswered; // consent scopes
    QSet<QString> m_loginSites;      // sites the user's login cookies are for
    QSet<QString> m_blockedSites;    // sites that showed their captcha

    quint64 m_generation = 0;
    std::shared_ptr<PageCache> m_cache;
    std::unique_ptr<PageCache::Reader> m_cacheReader; // on this browser's thread, made at the first lookup
    static constexpr qint64 ReadHereBytes = 2 * 1024 * 1024;
    PageCache::Owner m_owner; // the journal this browser reads for
    quint32 m_reader = 0;     // what makes its documents
    std::shared_ptr<Relay> m_relay;
    std::function<void()> m_notifyWhenIdle;
};

// Makes the browsers of searches and of the help page, all with the same options.
class NetworkBrowserFactory final : public BrowserFactory {
public:
    explicit NetworkBrowserFactory(NetworkBrowserOptions options = {});
    std::unique_ptr<Browser> createBrowser(const BrowserSession &session = {}) override;

    NetworkBrowserOptions &options() { return m_options; }

private:
    NetworkBrowserOptions m_options;
};

} // namespace diarytrawl::web
