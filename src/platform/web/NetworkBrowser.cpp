#include "NetworkBrowser.h"

#include "ErrorPage.h"
#include "HtmlParser.h"
#include "PageDecoding.h"
#include "platform/SettingsStore.h"

#include <QCoreApplication>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QThreadPool>

#include <atomic>
#include <exception>
#include <utility>

using namespace Qt::StringLiterals;

namespace diarytrawl::web {

struct NetworkBrowser::Loaded {
    HtmlDocument document;
    bool isPage = false;
};

// Workers hold this rather than the browser: the browser clears target when it goes, under the mutex,
// so a worker never posts to a browser that is gone. latest lets a worker skip parsing a page that a
// newer Navigate has already abandoned.
struct NetworkBrowser::Relay {
    QMutex mutex;
    NetworkBrowser *target = nullptr;
    std::atomic<quint64> latest{0};
};

namespace {

enum class Shape { Html, PlainText, File };

QString mimeTypeOf(const QByteArray &contentType)
{
    const qsizetype semicolon = contentType.indexOf(';');
    return QString::fromLatin1(semicolon < 0 ? contentType : contentType.left(semicolon)).trimmed().toLower();
}

// What a browser does with a type: show it as a page, show it as text, or offer to save it.
Shape shapeOf(const QString &mimeType)
{
    if (mimeType == u"text/html" || mimeType == u"application/xhtml+xml")
        return Shape::Html;
    if (mimeType.startsWith(u"text/") || mimeType == u"application/json" ||
        mimeType == u"application/javascript" || mimeType == u"application/xml")
        return Shape::PlainText;
    static const QStringList topLevelFiles = {u"image/"_s, u"audio/"_s, u"video/"_s, u"font/"_s, u"model/"_s};
    for (const QString &prefix : topLevelFiles) {
        if (mimeType.startsWith(prefix))
            return Shape::File;
    }
    static const QStringList applicationFiles = {u"application/octet-stream"_s,
                                                 u"application/zip"_s,
                                                 u"application/gzip"_s,
                                                 u"application/x-gzip"_s,
                                                 u"application/x-bzip2"_s,
                                                 u"application/x-xz"_s,
                                                 u"application/x-tar"_s,
                                                 u"application/x-7z-compressed"_s,
                                                 u"application/vnd.rar"_s,
                                                 u"application/x-rar-compressed"_s,
                                                 u"application/pdf"_s,
                                                 u"application/java-archive"_s,
                                                 u"application/x-shockwave-flash"_s,
                                                 u"application/wasm"_s,
                                                 u"application/msword"_s};
    if (applicationFiles.contains(mimeType) || mimeType.startsWith(u"application/vnd."))
        return Shape::File;
    return Shape::Html; // unknown or missing: as browsers sniff most such pages, as HTML
}

bool isLoadedScheme(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == u"http" || scheme == u"https";
}

bool isRedirectStatus(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Errors that Qt reports for an answer the server did give: its page is what a browser shows.
bool isServerAnswer(QNetworkReply::NetworkError error)
{
    const int code = int(error);
    return error == QNetworkReply::NoError || (code >= 201 && code <= 299) || (code >= 401 && code <= 499) ||
           error == QNetworkReply::ProtocolInvalidOperationError;
}

QString addressText(const QUrl &url)
{
    return url.toString(QUrl::FullyEncoded);
}

QString withFragment(const QString &address, const QString &fragment)
{
    if (fragment.isNull() || address.contains(u'#'))
        return address;
    return address + u'#' + fragment;
}

NetworkBrowser::Loaded messageDocument(const QString &sentence, const QString &address)
{
    return {buildDocument(pages::messagePage(sentence), address), false};
}

NetworkBrowser::Loaded pageDocument(const QByteArray &body, const QByteArray &contentType,
                                    const QString &address)
{
    const QString mimeType = mimeTypeOf(contentType);
    switch (shapeOf(mimeType)) {
    case Shape::PlainText:
        return {buildDocument(pages::plainTextPage(decodePage(body, contentType)), address), true};
    case Shape::File:
        return {
            buildDocument(pages::messagePage(pages::fileNotShown(address, mimeType, body.size())), address),
            true};
    case Shape::Html:
        break;
    }
    return {buildDocument(body, contentType, address), true};
}

void openWithDesktop(const QString &address)
{
    QProcess::startDetached(u"xdg-open"_s, {address});
}

} // namespace

NetworkBrowser::NetworkBrowser(NetworkBrowserOptions options)
    : m_options(std::move(options))
    , m_document(std::make_shared<const HtmlDocument>())
    , m_relay(std::make_shared<Relay>())
{
    if (!m_options.forceOffline) {
        const SettingsStore store =
            m_options.settingsFile.isEmpty() ? SettingsStore() : SettingsStore(m_options.settingsFile);
        m_offline = isGlobalUserOffline(store);
    } else {
        m_offline = true;
    }
    for (auto it = m_options.originMap.cbegin(); it != m_options.originMap.cend(); ++it) {
        QString origin = it.key().toLower();
        while (origin.endsWith(u'/'))
            origin.chop(1);
        m_origins.insert(origin, it.value());
    }
    m_cache = std::make_shared<PageCache>(m_options.cacheFolder.isEmpty() ? PageCache::defaultFolder()
                                                                          : m_options.cacheFolder,
                                          m_options.cacheMaxBytes);
    m_network = new QNetworkAccessManager(this);
    m_network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    m_relay->target = this;
}

NetworkBrowser::~NetworkBrowser()
{
    {
        QMutexLocker lock(&m_relay->mutex);
        m_relay->target = nullptr;
    }
    m_relay->latest = ~quint64(0);
    releaseReply();
}

QByteArray NetworkBrowser::userAgent()
{
    QString version = QCoreApplication::applicationVersion();
    if (version.isEmpty())
        version = QStringLiteral(DIARYTRAWL_VERSION);
    return "Mozilla/5.0 (X11; Linux x86_64) diarytrawl/" + version.toLatin1();
}

void NetworkBrowser::setVisible(bool visible)
{
    m_visible = visible;
}

void NetworkBrowser::setSilent(bool)
{
    // This browser shows no dialogs of its own, so there is nothing to silence.
}

bool NetworkBrowser::Busy() const
{
    return m_busy;
}

std::shared_ptr<const HtmlDocument> NetworkBrowser::Document() const
{
    return m_document;
}

void NetworkBrowser::Quit()
{
    abandonLoad();
    m_quit = true;
    delete m_network; // takes any reply still in its care with it
    m_network = nullptr;
    m_cache.reset();
}

void NetworkBrowser::Navigate(const QString &address)
{
    if (m_quit)
        return;
    abandonLoad();
    if (m_visible) {
        if (m_options.openExternally)
            m_options.openExternally(address);
        else
            openWithDesktop(address);
        return;
    }

    const QUrl url(address.trimmed(), QUrl::TolerantMode);
    m_busy = true;
    m_redirects = 0;
    m_visited.clear();
    m_fragment = url.fragment(QUrl::FullyEncoded);
    if (!url.isValid() || url.isRelative()) {
        showMessage(pages::notAWebAddress(address), address);
        return;
    }
    if (!isLoadedScheme(url)) {
        showMessage(pages::schemeNotLoaded(addressText(url)), addressText(url));
        return;
    }
    if (url.host().isEmpty()) {
        showMessage(pages::notAWebAddress(address), address);
        return;
    }
    if (isFragmentOfCurrentPage(url)) {
        auto document = std::make_shared<HtmlDocument>(*m_document);
        document->address = addressText(url);
        m_document = std::move(document);
        m_busy = false;
        return;
    }
    if (m_offline)
        lookUpOffline(url);
    else
        startRequest(url.adjusted(QUrl::RemoveFragment));
}

bool NetworkBrowser::isFragmentOfCurrentPage(const QUrl &url) const
{
    if (!url.hasFragment() || !m_documentIsPage || m_document->address.isEmpty())
        return false;
    const QUrl current(m_document->address);
    return addressText(current.adjusted(QUrl::RemoveFragment)) ==
           addressText(url.adjusted(QUrl::RemoveFragment));
}

void NetworkBrowser::abandonLoad()
{
    ++m_generation;
    m_relay->latest = m_generation;
    releaseReply();
    m_busy = false;
}

void NetworkBrowser::releaseReply()
{
    if (QNetworkReply *reply = m_reply) {
        m_reply = nullptr;
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
    m_body = QByteArray();
}

QString NetworkBrowser::currentAddress() const
{
    return withFragment(addressText(m_url), m_fragment);
}

QUrl NetworkBrowser::wireUrl(const QUrl &url, QByteArray &hostHeader) const
{
    hostHeader.clear();
    if (m_origins.isEmpty())
        return url;
    const QString scheme = url.scheme().toLower();
    const QString host = url.host(QUrl::FullyEncoded).toLower();
    const QString port = url.port() < 0 ? QString() : u':' + QString::number(url.port());
    auto mapped = m_origins.constFind(scheme + u"://" + host + port);
    for (qsizetype dot = host.indexOf(u'.'); mapped == m_origins.cend() && dot >= 0;
         dot = host.indexOf(u'.', dot + 1))
        mapped = m_origins.constFind(scheme + u"://*" + QStringView(host).mid(dot) + port);
    if (mapped == m_origins.cend())
        return url;
    const QUrl origin(mapped.value());
    QUrl wire = url;
    wire.setScheme(origin.scheme());
    wire.setHost(origin.host());
    wire.setPort(origin.port());
    hostHeader = (host + port).toLatin1();
    return wire;
}

void NetworkBrowser::startRequest(const QUrl &url)
{
    m_url = url;
    m_body = QByteArray();
    QByteArray hostHeader;
    QNetworkRequest request(wireUrl(url, hostHeader));
    request.setRawHeader("User-Agent", userAgent());
    request.setRawHeader("Accept", "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
    if (!hostHeader.isEmpty())
        request.setRawHeader("Host", hostHeader);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // The body's own bound (MaxBodyBytes) applies to what arrives, compressed or not.
    request.setDecompressedSafetyCheckThreshold(-1);

    QNetworkReply *reply = m_network->get(request);
    // Qt's network thread keeps reading into this buffer whether or not the window's thread takes the
    // data; a bound makes a fast endless body wait for us instead of filling the memory.
    reply->setReadBufferSize(ReadBufferBytes);
    m_reply = reply;
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { onReadyRead(reply); });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onFinished(reply); });
}

void NetworkBrowser::onReadyRead(QNetworkReply *reply)
{
    if (reply != m_reply)
        return;
    if (m_body.isEmpty()) {
        const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (announced > 0 && announced <= MaxBodyBytes)
            m_body.reserve(announced);
    }
    const QByteArray chunk = reply->readAll();
    if (m_body.size() + chunk.size() > MaxBodyBytes) {
        const QString address = currentAddress();
        releaseReply();
        showMessage(pages::tooLarge(address, MaxBodyBytes), address);
        return;
    }
    m_body += chunk;
}

void NetworkBrowser::onFinished(QNetworkReply *reply)
{
    if (reply != m_reply)
        return;
    onReadyRead(reply);
    if (reply != m_reply) // the body was too large
        return;
    m_reply = nullptr;
    reply->deleteLater();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    const QString address = currentAddress();
    if (!status.isValid() || !isServerAnswer(error)) {
        m_body = QByteArray();
        showMessage(pages::loadFailed(address, pages::networkFailureReason(error, reply->errorString())),
                    address);
        return;
    }
    const int code = status.toInt();
    if (isRedirectStatus(code) && reply->hasRawHeader("Location")) {
        followRedirect(reply);
        return;
    }
    if (code >= 400 && m_body.isEmpty()) {
        showMessage(
            pages::emptyErrorAnswer(address, code,
                                    reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString()),
            address);
        return;
    }
    showPage(std::exchange(m_body, QByteArray()), reply->rawHeader("Content-Type"), address, code == 200);
}

void NetworkBrowser::followRedirect(QNetworkReply *reply)
{
    m_body = QByteArray();
    const QString location = QString::fromUtf8(reply->rawHeader("Location")).trimmed();
    QUrl target = m_url.resolved(QUrl(location, QUrl::TolerantMode));
    if (target.hasFragment())
        m_fragment = target.fragment(QUrl::FullyEncoded);
    target = target.adjusted(QUrl::RemoveFragment);
    const QString from = addressText(m_url);
    const QString to = addressText(target);

    if (isLoadedScheme(target) && target.isValid() && !target.host().isEmpty()) {
        std::shared_ptr<PageCache> cache = m_cache;
        QThreadPool::globalInstance()->start([cache, from, to] { cache->storeRedirect(from, to); });
    }
    m_visited.insert(from);
    if (++m_redirects > MaxRedirects) {
        const QString address = currentAddress();
        showMessage(pages::tooManyRedirects(address, m_visited.contains(to)), address);
        return;
    }
    if (!target.isValid() || !isLoadedScheme(target) || target.host().isEmpty()) {
        const QString address = withFragment(to, m_fragment);
        showMessage(isLoadedScheme(target) ? pages::notAWebAddress(address) : pages::schemeNotLoaded(address),
                    address);
        return;
    }
    startRequest(target);
}

void NetworkBrowser::lookUpOffline(const QUrl &url)
{
    std::shared_ptr<PageCache> cache = m_cache;
    const QString address = addressText(url);
    const QString fragment = m_fragment;
    runOnWorker(withFragment(address, fragment), [cache, address, fragment] {
        std::optional<PageCache::Page> page = cache->lookup(address);
        if (!page)
            return messageDocument(pages::notAvailableOffline(address), address);
        return pageDocument(page->body, page->contentType, withFragment(page->address, fragment));
    });
}

void NetworkBrowser::showMessage(const QString &sentence, const QString &address)
{
    runOnWorker(address, [sentence, address] { return messageDocument(sentence, address); });
}

void NetworkBrowser::showPage(QByteArray body, const QByteArray &contentType, const QString &address,
                              bool keepInCache)
{
    if (keepInCache) {
        // Kept even when a newer Navigate abandons the page before it is shown: it did load.
        std::shared_ptr<PageCache> cache = m_cache;
        QThreadPool::globalInstance()->start(
            [cache, body, contentType, address] { cache->storePage(address, contentType, body); });
    }
    runOnWorker(address, [body = std::move(body), contentType, address] {
        return pageDocument(body, contentType, address);
    });
}

void NetworkBrowser::runOnWorker(const QString &address, std::function<Loaded()> make)
{
    const quint64 generation = m_generation;
    std::shared_ptr<Relay> relay = m_relay;
    QThreadPool::globalInstance()->start([relay, generation, address, make = std::move(make)] {
        if (relay->latest != generation)
            return; // abandoned before a worker came to it
        auto loaded = std::make_shared<Loaded>();
        try {
            *loaded = make();
        } catch (const std::exception &failure) {
            // Nothing in a load reaches the caller as an exception; the page says what happened.
            *loaded =
                messageDocument(pages::notShown(address, QString::fromLocal8Bit(failure.what())), address);
        }
        QMutexLocker lock(&relay->mutex);
        if (NetworkBrowser *target = relay->target) {
            QMetaObject::invokeMethod(
                target, [target, generation, loaded] { target->install(generation, loaded); },
                Qt::QueuedConnection);
        }
    });
}

void NetworkBrowser::install(quint64 generation, const std::shared_ptr<Loaded> &loaded)
{
    if (generation != m_generation || m_quit)
        return;
    m_document = std::make_shared<const HtmlDocument>(std::move(loaded->document));
    m_documentIsPage = loaded->isPage;
    m_busy = false;
    if (m_notifyWhenIdle)
        m_notifyWhenIdle();
}

void NetworkBrowser::notifyWhenIdle(std::function<void()> notify)
{
    m_notifyWhenIdle = std::move(notify);
}

QStringList NetworkBrowser::sessionNotes() const
{
    return {};
}

NetworkBrowserFactory::NetworkBrowserFactory(NetworkBrowserOptions options)
    : m_options(std::move(options))
{}

std::unique_ptr<Browser> NetworkBrowserFactory::createBrowser(const BrowserSession &)
{
    return std::make_unique<NetworkBrowser>(m_options);
}

} // namespace diarytrawl::web
