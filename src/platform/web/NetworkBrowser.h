#pragma once

#include "PageCache.h"
#include "platform/Browser.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

namespace diarytrawl::web {

struct NetworkBrowserOptions {
    // Pages come from the cache only, whatever the settings store says (the command line's --offline).
    // Otherwise every new browser reads GlobalUserOffline from the store.
    bool forceOffline = false;
    // The settings store's file; empty: the user's ($XDG_CONFIG_HOME/diarytrawl/settings.json).
    QString settingsFile;
    // The page cache; empty: the user's ($XDG_CACHE_HOME/diarytrawl/pages).
    QString cacheFolder;
    qint64 cacheMaxBytes = PageCache::DefaultMaxBytes;
    // For tests, which cannot make real host names resolve: requests for an origin (a key such as
    // "https://inkwell.livejournal.com", or "https://*.livejournal.com" for every host under that name)
    // go to another origin ("http://127.0.0.1:8080") with the original Host header, while the document's
    // address, the links and the cache keep the original address. Empty in the program.
    QHash<QString, QString> originMap;
    // How a visible browser shows an address. Empty: xdg-open, detached.
    std::function<void(const QString &address)> openExternally;
};

// The browser object on Qt Network. Fetching runs on the event loop of the thread that made the object
// (so it needs the events pumped, as Wait does); parsing runs on a worker thread, so the window stays
// responsive while a large page is read. Everything Browser promises holds; in addition:
//  - Only http and https are loaded, by the first request and by every redirect; redirects are followed
//    as a browser follows them, at most MaxRedirects, and the document's address is the final one.
//  - A Navigate to the loaded page's address with another fragment does not fetch again.
//  - An HTTP error status shows the server's page; a network failure, a refused scheme, an offline miss
//    or a body past MaxBodyBytes shows a short page that says what failed for which address.
//  - Every page that loads with status 200 goes to the page cache; offline, pages come only from there.
//  - text/plain is shown as text; pictures, sound, video and archives as a line saying what the address
//    holds; any other type is read as HTML.
class NetworkBrowser final : public QObject, public Browser {
public:
    static constexpr int MaxRedirects = 20;
    static constexpr qint64 MaxBodyBytes = qint64(64) * 1024 * 1024;
    static constexpr qint64 ReadBufferBytes = qint64(4) * 1024 * 1024;

    // Reads the offline setting unless forced: throws PlatformError when the settings store is damaged.
    explicit NetworkBrowser(NetworkBrowserOptions options = {});
    ~NetworkBrowser() override;
    NetworkBrowser(const NetworkBrowser &) = delete;
    NetworkBrowser &operator=(const NetworkBrowser &) = delete;

    void setVisible(bool visible) override;
    void setSilent(bool silent) override;
    void Navigate(const QString &address) override;
    bool Busy() const override;
    std::shared_ptr<const HtmlDocument> Document() const override;
    void Quit() override;
    void notifyWhenIdle(std::function<void()> notify) override;
    QStringList sessionNotes() const override;

    bool isVisible() const { return m_visible; }

    static QByteArray userAgent();

    struct Loaded; // a document made on a worker, on its way back
    struct Relay;  // how workers reach a browser that may be gone

private:
    void abandonLoad();
    void startRequest(const QUrl &url);
    void onReadyRead(QNetworkReply *reply);
    void onFinished(QNetworkReply *reply);
    void followRedirect(QNetworkReply *reply);
    void releaseReply();
    void showMessage(const QString &sentence, const QString &address);
    void showPage(QByteArray body, const QByteArray &contentType, const QString &address, bool keepInCache);
    void lookUpOffline(const QUrl &url);
    void runOnWorker(const QString &address, std::function<Loaded()> make);
    void install(quint64 generation, const std::shared_ptr<Loaded> &loaded);
    bool isFragmentOfCurrentPage(const QUrl &url) const;
    QString currentAddress() const;
    QUrl wireUrl(const QUrl &url, QByteArray &hostHeader) const;

    NetworkBrowserOptions m_options;
    QHash<QString, QString> m_origins; // originMap with keys in lower case
    bool m_offline = false;
    bool m_visible = false;
    bool m_busy = false;
    bool m_quit = false;

    std::shared_ptr<const HtmlDocument> m_document;
    bool m_documentIsPage = false; // the server's or the cache's page, not one of ours

    QNetworkAccessManager *m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_body;
    QUrl m_url;         // the address being fetched, without fragment
    QString m_fragment; // the first address's fragment, kept through redirects that name none
    int m_redirects = 0;
    QSet<QString> m_visited;

    quint64 m_generation = 0;
    std::shared_ptr<PageCache> m_cache;
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
