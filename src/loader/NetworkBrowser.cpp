// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetworkBrowser.h"

#include "ErrorPage.h"
#include "HtmlParser.h"
#include "LoadOutcomes.h"
#include "LoginCookies.h"
#include "PageDecoding.h"
#include "platform/SettingsStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QMutex>
#include <QProcess>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <exception>
#include <utility>

using namespace Qt::StringLiterals;

namespace diarytrawl::web {

struct NetworkBrowser::Loaded {
    HtmlDocument document;
    bool isPage = false;
    StandIn standIn;         // what the site put in place of the page, if anything
    bool askNetwork = false; // the cache has no page read recently enough: the network is asked after all
};

// Workers hold this rather than the browser: the browser clears target when it goes, under the mutex,
// so a worker never posts to a browser that is gone. latest lets a worker drop work that a newer
// Navigate has already abandoned, and cut a parse short.
struct NetworkBrowser::Relay {
    QMutex mutex;
    NetworkBrowser *target = nullptr;
    std::atomic<quint64> latest{0};

    // Runs what on the browser's thread if the browser is still there and still wants generation.
    void post(quint64 generation, std::function<void(NetworkBrowser &)> what)
    {
        QMutexLocker lock(&mutex);
        if (NetworkBrowser *browser = target; browser && latest == generation) {
            QMetaObject::invokeMethod(
                browser,
                [browser, generation, what = std::move(what)] {
                    if (browser->m_generation == generation && !browser->m_quit)
                        what(*browser);
                },
                Qt::QueuedConnection);
        }
    }
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

bool isRedirectStatus(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

QString withFragment(const QString &address, const std::optional<QString> &fragment)
{
    if (!fragment || address.contains(u'#'))
        return address;
    return address + u'#' + *fragment;
}

std::optional<QString> fragmentOf(const WebAddress &address)
{
    const std::optional<QStringView> fragment = address.fragment();
    return fragment ? std::optional(fragment->toString()) : std::nullopt;
}

NetworkBrowser::Loaded messageDocument(const QString &sentence, const QString &address, LoadOutcome outcome)
{
    NetworkBrowser::Loaded loaded;
    loaded.document = buildDocument(pages::messagePage(sentence), address);
    loaded.document.outcome = std::move(outcome);
    return loaded;
}

// The document a browser shows for a page's bytes, and whether it is the page asked for.
NetworkBrowser::Loaded pageDocument(const QByteArray &body, const QByteArray &contentType,
                                    const QString &address, const ParseBudget &budget, const SiteRules *rules)
{
    const QString mimeType = mimeTypeOf(contentType);
    NetworkBrowser::Loaded loaded;
    loaded.isPage = true;
    switch (shapeOf(mimeType)) {
    case Shape::PlainText:
        loaded.document = buildDocument(pages::plainTextPage(decodePage(body, contentType)), address, budget);
        return loaded;
    case Shape::File: {
        const QString sentence = pages::fileNotShown(address, mimeType, body.size());
        loaded = messageDocument(sentence, address,
                                 outcomes::failed(LoadFailure::NotAPage, pages::fileReason(mimeType)));
        return loaded;
    }
    case Shape::Html:
        break;
    }
    if (!rules) {
        loaded.document = buildDocument(body, contentType, address, budget);
        return loaded;
    }
    PageReading reading = rules->commentReading();
    loaded.document = buildDocument(body, contentType, address, budget, &reading);
    loaded.standIn = rules->recogniseStandIn(loaded.document);
    // A comment's HTML is read as a page is, within the page's own time.
    loaded.document.comments = rules->readComments(loaded.document, reading, [&budget](QByteArrayView html) {
        return buildDocumentFromUtf8(html, QString(), "UTF-8", budget);
    });
    return loaded;
}

// Offline, any page the cache has; online, one read from the network less than maxAge ago.
bool freshEnough(const PageCache::Page &page, std::optional<std::chrono::seconds> maxAge)
{
    return !maxAge ||
           (page.fetched.isValid() && page.fetched.secsTo(QDateTime::currentDateTimeUtc()) < maxAge->count());
}

// What a lookup in the cache gives: the stored document, the network to be asked after all, or a page
// saying why there is nothing.
NetworkBrowser::Loaded cachedDocument(PageCache::Found found, const QString &address,
                                      const std::optional<QString> &fragment,
                                      std::optional<std::chrono::seconds> maxAge)
{
    NetworkBrowser::Loaded loaded;
    if (found.page && !freshEnough(*found.page, maxAge))
        found.page.reset();
    if (!found.page && maxAge) {
        loaded.askNetwork = true;
        return loaded;
    }
    if (!found.page) {
        const QString reason = found.problem.isEmpty() ? pages::offlineReason() : found.problem;
        return messageDocument(pages::notAvailableOffline(address), address,
                               outcomes::failed(LoadFailure::Offline, reason));
    }
    loaded.document = std::move(*found.page->document);
    loaded.document.address = withFragment(found.page->address, fragment);
    loaded.document.fromCache = maxAge.has_value(); // offline, every page comes from there
    loaded.isPage = true;
    return loaded;
}

void openWithDesktop(const QString &address)
{
    QProcess::startDetached(u"xdg-open"_s, {address});
}

QString readContact(const SettingsStore &store)
{
    const std::optional<QVariant> stored = store.find(registry::Contact.toString());
    return stored ? stored->toString() : QString();
}

} // namespace

NetworkBrowser::NetworkBrowser(NetworkBrowserOptions options, BrowserSession session)
    : m_options(std::move(options))
    , m_session(std::move(session))
    , m_document(std::make_shared<const HtmlDocument>())
    , m_blank(m_document)
    , m_pacer(m_options.timeScale)
    , m_relay(std::make_shared<Relay>())
{
    QString contact = m_options.contact;
    if (m_options.forceOffline) {
        m_offline = true;
    } else if (!m_options.forceOnline || contact.isEmpty()) {
        const SettingsStore store =
            m_options.settingsFile.isEmpty() ? SettingsStore() : SettingsStore(m_options.settingsFile);
        m_offline = !m_options.forceOnline && isGlobalUserOffline(store);
        if (contact.isEmpty())
            contact = readContact(store);
    }
    m_userAgent = userAgent(contact);
    if (m_offline)
        m_notes << u"offline mode: pages are read only from the page cache"_s;

    for (auto it = m_options.originMap.cbegin(); it != m_options.originMap.cend(); ++it) {
        QString origin = it.key().toLower();
        while (origin.endsWith(u'/'))
            origin.chop(1);
        m_origins.insert(origin, it.value());
    }

    if (m_session.adultConsent && m_options.siteRules) {
        for (const QNetworkCookie &consent : m_options.siteRules->consentCookies(m_session.siteHost))
            m_cookies.insert(consent);
    }
    if (!m_session.loginCookies.isEmpty()) {
        CookieImport imported = readLoginCookies(m_session.loginCookies);
        for (const QNetworkCookie &cookie : std::as_const(imported.cookies)) {
            m_cookies.insert(cookie);
            m_loginSites.insert(siteOf(QStringView(cookie.domain()).mid(cookie.domain().startsWith(u'.'))));
        }
        m_notes += imported.notes;
    }

    m_cache = PageCache::open(m_options.cacheFile.isEmpty() ? PageCache::defaultFile() : m_options.cacheFile,
                              m_options.cacheMaxBytes);
    m_notes += m_cache->notes();
    m_owner = {m_session.siteHost.toLower(), m_session.journal.toLower()};
    m_reader = readerTag(m_options.siteRules ? m_options.siteRules->readingVersion() : 0);
    m_relay->target = this;
}

NetworkBrowser::~NetworkBrowser()
{
    {
        QMutexLocker lock(&m_relay->mutex);
        m_relay->target = nullptr;
    }
    abandonLoad();
}

QByteArray NetworkBrowser::userAgent(const QString &contact)
{
    QString version = QCoreApplication::applicationVersion();
    if (version.isEmpty())
        version = QStringLiteral(DIARYTRAWL_VERSION);
    QByteArray agent = "diarytrawl/" + version.toLatin1();
    // A header value holds printable ASCII only; anything else in a contact is left out.
    QByteArray printable;
    for (const QChar c : contact) {
        if (c.unicode() > 0x20 && c.unicode() < 0x7F && c != u'(' && c != u')')
            printable += char(c.unicode());
    }
    if (!printable.isEmpty())
        agent += " (contact: " + printable + ')';
    return agent;
}

QStringList NetworkBrowser::sessionNotes() const
{
    return m_notes;
}

QString NetworkBrowser::siteOf(QStringView host) const
{
    return m_options.siteRules ? m_options.siteRules->siteOf(host) : host.toString().toLower();
}

std::chrono::milliseconds NetworkBrowser::pace() const
{
    if (m_offline)
        return std::chrono::milliseconds(0); // the cache costs no wait
    const QString site =
        m_url.isValid() ? siteOf(m_url.host()) : siteOf(m_session.siteHost.section(u':', 0, 0));
    if (const std::chrono::milliseconds paced = m_pacer.pace(site); paced.count() > 0)
        return paced;
    if (m_options.pace)
        return *m_options.pace;
    if (m_options.siteRules)
        return m_options.siteRules->pace(site, m_loginSites.contains(site));
    return std::chrono::milliseconds(200);
}

// The site showed its captcha: asking again would only earn the visitor a ban.
void NetworkBrowser::blockSite(const WebAddress &url)
{
    m_blockedSites.insert(siteOf(url.host()));
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

void NetworkBrowser::notifyWhenIdle(std::function<void()> notify)
{
    m_notifyWhenIdle = std::move(notify);
}

void NetworkBrowser::Quit()
{
    abandonLoad();
    m_quit = true;
    m_cacheReader.reset();
    m_cache.reset();
}

void NetworkBrowser::Navigate(const QString &address, std::chrono::seconds maxAge)
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

    const std::optional<WebAddress> parsed = WebAddress::parse(address);
    m_busy = true;
    m_redirects = 0;
    m_visited.clear();
    if (!parsed || (parsed->isHttp() && parsed->host().isEmpty())) {
        fail(outcomes::failed(LoadFailure::NotAPage, u"it is not a complete web address"_s),
             pages::notAWebAddress(address), address);
        return;
    }
    const WebAddress &url = *parsed;
    m_fragment = fragmentOf(url);
    if (!url.isHttp()) {
        fail(outcomes::failed(LoadFailure::NotAPage, u"only http and https addresses are loaded"_s),
             pages::schemeNotLoaded(url.href()), url.href());
        return;
    }
    if (isFragmentOfCurrentPage(url)) {
        auto document = std::make_shared<HtmlDocument>(*m_document);
        document->address = url.href();
        setDocument(std::move(document), true);
        return;
    }
    // The page before is let go of as the next one is asked for (a crawl holds what it still reads): a
    // page as large as the body bound is not held twice.
    m_document = m_blank;
    m_documentIsPage = false;
    m_requested = url.stripped();
    if (m_offline || maxAge.count() > 0) {
        // A page read moments ago is what the cache would give again (a month page links an entry,
        // then its reply page, then its comments).
        for (const std::shared_ptr<const HtmlDocument> &recent : std::as_const(m_recentPages)) {
            if (cacheKeyOf(recent->address) != m_requested.href())
                continue;
            auto document = std::make_shared<HtmlDocument>(*recent);
            document->address = url.href();
            document->fromCache = !m_offline;
            setDocument(std::move(document), true);
            return;
        }
    }
    if (m_offline)
        lookUp(m_requested);
    else if (maxAge.count() > 0)
        lookUp(m_requested, maxAge);
    else
        request(m_requested);
}

bool NetworkBrowser::isFragmentOfCurrentPage(const WebAddress &url) const
{
    if (!url.fragment() || !m_documentIsPage || m_document->address.isEmpty())
        return false;
    const QString &current = m_document->address;
    return QStringView(current).first(current.contains(u'#') ? current.indexOf(u'#') : current.size()) ==
           url.withoutFragment();
}

void NetworkBrowser::abandonLoad()
{
    ++m_generation;
    m_relay->latest = m_generation;
    if (m_abandonTransfer)
        m_abandonTransfer->store(true);
    m_abandonTransfer.reset();
    m_answeringNotice = false;
    m_busy = false;
}

QString NetworkBrowser::currentAddress() const
{
    return withFragment(m_url.href(), m_fragment);
}

// The address as it goes on the wire, a browser's serialisation being what libcurl takes; with an
// origin map, the mapped origin's, and the original host for the Host header.
QByteArray NetworkBrowser::wireAddress(const WebAddress &url, QByteArray &hostHeader) const
{
    hostHeader.clear();
    const QByteArray address = url.withoutFragment().toUtf8();
    if (m_origins.isEmpty())
        return address;
    const QString host = url.host().toString();
    const QString port = url.port() < 0 ? QString() : u':' + QString::number(url.port());
    const QString scheme = url.scheme().toString();
    auto mapped = m_origins.constFind(scheme + u"://" + host + port);
    for (qsizetype dot = host.indexOf(u'.'); mapped == m_origins.cend() && dot >= 0;
         dot = host.indexOf(u'.', dot + 1))
        mapped = m_origins.constFind(scheme + u"://*" + QStringView(host).mid(dot) + port);
    if (mapped == m_origins.cend())
        return address;
    hostHeader = (host + port).toLatin1();
    const qsizetype pathAt = url.path().data() - url.href().constData();
    return mapped.value().toUtf8() + url.withoutFragment().mid(pathAt).toUtf8();
}

void NetworkBrowser::request(const WebAddress &url, const QByteArray &method, const QByteArray &body)
{
    m_url = url;
    const QString site = siteOf(url.host());
    if (m_blockedSites.contains(site)) {
        const QString address = currentAddress();
        fail(outcomes::failed(LoadFailure::Captcha, pages::captchaReason()),
             pages::loadFailed(address, pages::captchaReason()), address);
        return;
    }
    m_pacer.setPace(site, pace());
    const std::chrono::milliseconds wait = m_pacer.delayBeforeNext(site);
    if (wait.count() == 0) {
        startTransfer(url, method, body);
        return;
    }
    const quint64 generation = m_generation;
    QTimer::singleShot(wait, Qt::PreciseTimer, this, [this, generation, url, method, body] {
        if (generation == m_generation && !m_quit)
            startTransfer(url, method, body);
    });
}

void NetworkBrowser::startTransfer(const WebAddress &url, const QByteArray &method, const QByteArray &body)
{
    m_pacer.requestStarts(siteOf(url.host()));
    QByteArray hostHeader;
    TransferRequest transfer;
    transfer.url = wireAddress(url, hostHeader);
    transfer.method = method;
    transfer.body = body;
    transfer.idleTimeout = m_options.idleTimeout;
    transfer.maxBodyBytes = MaxBodyBytes;
    transfer.maxHeaderBytes = MaxHeaderBytes;
    transfer.headers = {{"User-Agent", m_userAgent},
                        {"Accept", "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8"}};
    if (!hostHeader.isEmpty())
        transfer.headers.append({"Host", hostHeader});
    if (const QByteArray cookies = m_cookies.cookieHeaderFor(url); !cookies.isEmpty())
        transfer.headers.append({"Cookie", cookies});
    if (method == "POST")
        transfer.headers.append(
            {QByteArray("Content-Type"), QByteArray("application/x-www-form-urlencoded")});
    // Only a page's body is worth reading: not a redirect's, not a picture's.
    transfer.wantsBody = [](int status, const HeaderList &headers) {
        if (isRedirectStatus(status) && !headerValue(headers, "Location").isEmpty())
            return false;
        return status >= 400 || shapeOf(mimeTypeOf(headerValue(headers, "Content-Type"))) != Shape::File;
    };

    m_abandonTransfer = std::make_shared<std::atomic<bool>>(false);
    const quint64 generation = m_generation;
    std::shared_ptr<Relay> relay = m_relay;
    m_http.start(std::move(transfer), m_abandonTransfer, [relay, generation](TransferResult result) {
        relay->post(generation, [result = std::move(result)](NetworkBrowser &browser) mutable {
            browser.onTransferDone(std::move(result));
        });
    });
}

void NetworkBrowser::onTransferDone(TransferResult result)
{
    m_abandonTransfer.reset();
    if (result.sentAt)
        m_pacer.requestSent(siteOf(m_url.host()), *result.sentAt);
    const QList<QByteArray> setCookies = headerValues(result.headers, "Set-Cookie");
    if (!setCookies.isEmpty())
        m_cookies.setFromResponse(setCookies, m_url);
    if (m_answeringNotice) {
        // Whatever the notice's form led to, the consent is given: ask for the page again.
        m_answeringNotice = false;
        request(m_requested);
        return;
    }

    const QString address = currentAddress();
    const LoadOutcome network =
        outcomes::fromTransfer(result, m_options.idleTimeout, MaxBodyBytes, MaxHeaderBytes);
    if (!network.ok()) {
        fail(network, pages::loadFailed(address, network.reason), address);
        return;
    }
    const QByteArray location = headerValue(result.headers, "Location");
    if (isRedirectStatus(result.status) && !location.isEmpty()) {
        followRedirect(location);
        return;
    }
    if (result.error == TransferResult::Error::BodyNotRead) {
        const QString mimeType = mimeTypeOf(headerValue(result.headers, "Content-Type"));
        const qint64 size = headerValue(result.headers, "Content-Length").toLongLong();
        fail(outcomes::failed(LoadFailure::NotAPage, pages::fileReason(mimeType)),
             pages::fileNotShown(address, mimeType, size), address);
        return;
    }
    readPage(std::move(result), address);
}

void NetworkBrowser::followRedirect(const QByteArray &location)
{
    const QString written = QString::fromUtf8(location);
    const std::optional<WebAddress> parsed = WebAddress::parse(written, &m_url);
    if (!parsed) {
        const QString address = withFragment(written.trimmed(), m_fragment);
        fail(outcomes::failed(LoadFailure::NotAPage, u"it redirects to an address that is not complete"_s),
             pages::notAWebAddress(address), address);
        return;
    }
    if (parsed->fragment())
        m_fragment = fragmentOf(*parsed);
    const WebAddress target = parsed->stripped();
    const QString &from = m_url.href();
    const QString &to = target.href();
    if (m_options.siteRules && m_options.siteRules->isCaptcha(target)) {
        // Not followed, and not kept in the cache: the page is there, only not for this visitor now.
        const QString address = currentAddress();
        blockSite(m_url);
        blockSite(target);
        fail(outcomes::failed(LoadFailure::Captcha, pages::captchaReason()),
             pages::loadFailed(address, pages::captchaReason()), address);
        return;
    }

    const bool web = target.isHttp();
    if (web && !target.host().isEmpty()) {
        m_cache->storeRedirect(from, to, m_owner);
    }
    m_visited.insert(from);
    if (++m_redirects > MaxRedirects) {
        const QString address = currentAddress();
        const bool loop = m_visited.contains(to);
        fail(outcomes::failed(LoadFailure::NotAPage, pages::redirectsReason(loop)),
             pages::tooManyRedirects(address, loop), address);
        return;
    }
    if (!web || target.host().isEmpty()) {
        const QString address = withFragment(to, m_fragment);
        fail(
            outcomes::failed(LoadFailure::NotAPage, web ? u"it redirects to an address that is not complete"_s
                                                        : u"it redirects to an address that is not loaded"_s),
            web ? pages::notAWebAddress(address) : pages::schemeNotLoaded(address), address);
        return;
    }
    request(target);
}

void NetworkBrowser::readPage(TransferResult result, const QString &address)
{
    LoadOutcome outcome;
    if (result.status >= 400) {
        outcome = outcomes::fromErrorStatus(result.status, result.reasonPhrase, result.headers,
                                            QDateTime::currentDateTimeUtc());
        if (result.status == 429)
            m_pacer.limitMet(siteOf(m_url.host()),
                             outcome.retryAfterSeconds >= 0
                                 ? std::optional(std::chrono::seconds(outcome.retryAfterSeconds))
                                 : std::nullopt);
        if (result.body.isEmpty()) {
            fail(outcome,
                 pages::emptyErrorAnswer(address, outcomes::statusText(result.status, result.reasonPhrase)),
                 address);
            return;
        }
    }
    PageCache::Page page;
    page.status = result.status;
    page.contentType = headerValue(result.headers, "Content-Type");
    page.fetched = QDateTime::currentDateTimeUtc();
    page.body = std::move(result.body);
    runOnWorker([page = std::move(page), address, outcome, limit = m_options.parseTimeLimit,
                 rules = m_options.siteRules, cache = m_cache, owner = m_owner,
                 reader = m_reader](const std::function<bool()> &abandoned) mutable {
        const ParseBudget budget{std::chrono::steady_clock::now() + limit, abandoned};
        Loaded loaded = pageDocument(page.body, page.contentType, address, budget, rules.get());
        if (!outcome.ok()) {
            loaded.document.outcome = outcome; // the server's own error page
            loaded.isPage = false;
        } else if (loaded.document.outcome.ok() && loaded.standIn.failure == LoadFailure::None &&
                   page.status == 200) {
            // The page asked for: kept as it is read, before the bytes are let go.
            page.document = loaded.document;
            cache->storePage(address, page, owner, reader);
        }
        return loaded;
    });
}

void NetworkBrowser::lookUp(const WebAddress &url, std::optional<std::chrono::seconds> maxAge)
{
    const QString address = url.href();
    // A page of a common size is read here and now: no turn on the cache's thread, no event to wait for.
    if (!m_cacheReader)
        m_cacheReader = m_cache->reader();
    if (std::optional<PageCache::Found> found =
            m_cacheReader->lookup(address, m_reader, m_session.readsHtml, ReadHereBytes)) {
        install(m_generation,
                std::make_shared<Loaded>(cachedDocument(std::move(*found), address, m_fragment, maxAge)));
        return;
    }
    // Else answered on the cache's thread: a stored document goes to the browser from there; a page kept
    // as bytes alone is read on a worker. The cache is not held from its own thread, where it cannot end.
    m_cache->find(
        address, m_reader, m_session.readsHtml,
        [relay = m_relay, generation = m_generation, weakCache = std::weak_ptr(m_cache), address,
         fragment = m_fragment, maxAge, limit = m_options.parseTimeLimit, rules = m_options.siteRules,
         owner = m_owner, reader = m_reader](PageCache::Found found) mutable {
            if (!found.page || found.page->document || !freshEnough(*found.page, maxAge)) {
                deliver(relay, generation, limit, [&](const std::function<bool()> &) {
                    return cachedDocument(std::move(found), address, fragment, maxAge);
                });
                return;
            }
            QThreadPool::globalInstance()->start([=, page = std::move(*found.page)] {
                deliver(relay, generation, limit, [&](const std::function<bool()> &abandoned) {
                    // Kept as bytes alone: read once more, and kept as read for the next time.
                    const ParseBudget budget{std::chrono::steady_clock::now() + limit, abandoned};
                    Loaded loaded = pageDocument(page.body, page.contentType,
                                                 withFragment(page.address, fragment), budget, rules.get());
                    const std::shared_ptr<PageCache> cache = weakCache.lock();
                    if (cache && loaded.isPage && loaded.document.outcome.ok() &&
                        loaded.standIn.failure == LoadFailure::None)
                        cache->storeDocument(page.address, loaded.document, owner, reader);
                    loaded.document.fromCache = maxAge.has_value();
                    return loaded;
                });
            });
        });
}

void NetworkBrowser::fail(const LoadOutcome &outcome, const QString &sentence, const QString &address)
{
    runOnWorker([sentence, address, outcome](const std::function<bool()> &) {
        return messageDocument(sentence, address, outcome);
    });
}

void NetworkBrowser::runOnWorker(std::function<Loaded(const std::function<bool()> &abandoned)> make)
{
    QThreadPool::globalInstance()->start(
        [relay = m_relay, generation = m_generation, limit = m_options.parseTimeLimit,
         make = std::move(make)] { deliver(relay, generation, limit, make); });
}

void NetworkBrowser::deliver(const std::shared_ptr<Relay> &relay, quint64 generation,
                             std::chrono::milliseconds limit,
                             const std::function<Loaded(const std::function<bool()> &abandoned)> &make)
{
    if (relay->latest != generation)
        return; // abandoned before a worker came to it
    const std::function<bool()> abandoned = [&relay, generation] {
        return relay->latest != generation;
    };
    auto loaded = std::make_shared<Loaded>();
    try {
        *loaded = make(abandoned);
    } catch (const ParseStopped &stopped) {
        if (!stopped.pastDeadline())
            return;
        const QString reason = pages::tooComplexReason(limit);
        *loaded = messageDocument(reason, QString(), outcomes::failed(LoadFailure::TooComplex, reason));
    } catch (const std::exception &failure) {
        // Nothing in a load reaches the caller as an exception; the page says what happened.
        const QString reason = u"it could not be shown ("_s + QString::fromLocal8Bit(failure.what()) + u')';
        *loaded = messageDocument(reason, QString(), outcomes::failed(LoadFailure::NotAPage, reason));
    }
    relay->post(generation,
                [generation, loaded](NetworkBrowser &browser) { browser.install(generation, loaded); });
}

void NetworkBrowser::install(quint64 generation, const std::shared_ptr<Loaded> &loaded)
{
    if (generation != m_generation || m_quit)
        return;
    if (loaded->askNetwork) {
        request(m_requested);
        return;
    }
    if (loaded->document.address.isEmpty())
        loaded->document.address = currentAddress();
    if (loaded->standIn.failure == LoadFailure::AdultNotice && answerAdultNotice(*loaded))
        return;
    switch (loaded->standIn.failure) {
    case LoadFailure::None:
        break;
    case LoadFailure::Captcha:
        blockSite(m_url);
        loaded->document.outcome = outcomes::failed(LoadFailure::Captcha, pages::captchaReason());
        loaded->isPage = false;
        break;
    default: {
        const bool notice = loaded->standIn.failure == LoadFailure::AdultNotice;
        const QString reason = !notice ? u"the site asks to log in to see it"_s
                               : m_session.adultConsent
                                   ? u"the site still shows its adult-content notice after it was answered"_s
                                   : u"the site shows an adult-content notice in place of it"_s;
        loaded->document.outcome = outcomes::failed(loaded->standIn.failure, reason);
        loaded->isPage = false;
    }
    }
    setDocument(std::make_shared<const HtmlDocument>(std::move(loaded->document)), loaded->isPage);
}

// Answers a notice by submitting its form, once in its scope, when the user has consented.
bool NetworkBrowser::answerAdultNotice(const Loaded &loaded)
{
    if (!m_session.adultConsent || !m_options.siteRules)
        return false;
    const SiteRules &rules = *m_options.siteRules;
    const QString scope = rules.consentScope(loaded.standIn, m_requested);
    if (m_noticesAnswered.contains(scope))
        return false;
    m_noticesAnswered.insert(scope);
    const FormSubmission submission = rules.consentSubmission(loaded.standIn);
    if (!submission.address.isHttp() || submission.address.host().isEmpty())
        return false;
    m_answeringNotice = true;
    request(submission.address.stripped(), submission.method, submission.body);
    return true;
}

void NetworkBrowser::setDocument(std::shared_ptr<const HtmlDocument> document, bool isPage)
{
    // Only pages of a common size are kept: a large one would hold its memory past its turn.
    if (isPage && document->outcome.ok() && !document->address.isEmpty() &&
        document->bodyInnerText.size() + document->htmlUtf8.size() <= RecentPageChars) {
        if (m_recentPages.size() == RecentPages)
            m_recentPages.removeFirst();
        m_recentPages.append(document);
    }
    m_document = std::move(document);
    m_documentIsPage = isPage;
    m_busy = false;
    if (m_notifyWhenIdle)
        m_notifyWhenIdle();
}

NetworkBrowserFactory::NetworkBrowserFactory(NetworkBrowserOptions options)
    : m_options(std::move(options))
{}

std::unique_ptr<Browser> NetworkBrowserFactory::createBrowser(const BrowserSession &session)
{
    return std::make_unique<NetworkBrowser>(m_options, session);
}

} // namespace diarytrawl::web
