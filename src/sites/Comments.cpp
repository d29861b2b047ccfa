// SPDX-License-Identifier: GPL-3.0-or-later
#include "Comments.h"

#include "JsonCursor.h"
#include "loader/PageDecoding.h"

#include <QSet>

using namespace Qt::StringLiterals;

namespace diarytrawl::sites {

namespace {

using web::WebAddress;

// The selectors commentReading asks for, by their place in its list.
enum Noted {
    Comment,        // Dreamwidth: div.dwexpcomment#cmtID
    CommentTitle,   // .comment-title in it
    CommentContent, // .comment-content in it
    Poster,         // .poster in it
    PosterName,     // [lj:user] in that
    CommentPages,   // div.comment-pages
    CommentPage,    // a.comment-page in it
    PagerPages,     // LiveJournal: ul.b-pager-pages
    PagerPage,      // a[href] in it
};

constexpr QByteArrayView PageScript = "Site.page = ";

// The entry's own address: the page's, without its query and fragment.
QString entryOf(const HtmlDocument &document)
{
    const std::optional<WebAddress> address = WebAddress::parse(document.address);
    if (!address)
        return document.address;
    QStringView entry = address->withoutFragment();
    if (const std::optional<QStringView> query = address->query())
        entry.chop(query->size() + 1);
    return entry.toString();
}

// Adds an address once, unless it is the page's own.
void addAddress(QList<WebAddress> &addresses, QSet<QString> &seen, const std::optional<WebAddress> &address)
{
    if (address && address->isHttp() && !seen.contains(address->href())) {
        seen.insert(address->href());
        addresses.append(*address);
    }
}

// A thread's address with format=light, which shows it whole (lj-dl's add_argument_to_url).
std::optional<WebAddress> lightThread(const QString &threadUrl, const QString &base)
{
    const std::optional<WebAddress> baseAddress = WebAddress::parse(base);
    const std::optional<WebAddress> thread =
        WebAddress::parse(threadUrl, baseAddress ? &*baseAddress : nullptr);
    if (!thread)
        return std::nullopt;
    QString text = thread->withoutFragment().toString();
    text += thread->query() ? u"&format=light"_s : u"?format=light"_s;
    if (const std::optional<QStringView> fragment = thread->fragment())
        text += u'#' + fragment->toString();
    return WebAddress::parse(text);
}

struct JsonComment {
    std::optional<qint64> thread;
    QString author;
    std::optional<QByteArray> article;
    bool collapsed = false;
    bool deleted = false;
    QString threadUrl;
    QString expandUrl;
    std::optional<qint64> more;
    QString data;
};

JsonComment readJsonComment(JsonCursor &cursor)
{
    JsonComment comment;
    if (!cursor.enterObject()) {
        cursor.skip();
        return comment;
    }
    while (const std::optional<QString> key = cursor.nextKey()) {
        if (*key == u"thread")
            comment.thread = cursor.integer();
        else if (*key == u"uname" && cursor.peek() == JsonCursor::Kind::String)
            comment.author = QString::fromUtf8(cursor.string().value_or(QByteArray()));
        else if (*key == u"article" && cursor.peek() == JsonCursor::Kind::String)
            comment.article = cursor.string();
        else if (*key == u"collapsed")
            comment.collapsed = cursor.integer().value_or(0) != 0;
        else if (*key == u"deleted")
            comment.deleted = cursor.integer().value_or(0) != 0;
        else if (*key == u"thread_url" && cursor.peek() == JsonCursor::Kind::String)
            comment.threadUrl = QString::fromUtf8(cursor.string().value_or(QByteArray()));
        else if (*key == u"more")
            comment.more = cursor.integer();
        else if (*key == u"data" && cursor.peek() == JsonCursor::Kind::String)
            comment.data = QString::fromUtf8(cursor.string().value_or(QByteArray()));
        else if (*key == u"actions" && cursor.enterArray()) {
            while (cursor.moreElements()) {
                if (!cursor.enterObject()) {
                    cursor.skip();
                    continue;
                }
                while (const std::optional<QString> actionKey = cursor.nextKey()) {
                    if (*actionKey == u"href" && cursor.peek() == JsonCursor::Kind::String)
                        comment.expandUrl = QString::fromUtf8(cursor.string().value_or(QByteArray()));
                    else
                        cursor.skip();
                }
            }
        } else
            cursor.skip();
    }
    return comment;
}

// LiveJournal's comments, from the page's script data.
void readScriptComments(const HtmlDocument &document, QByteArrayView payload,
                        const FragmentParser &parseFragment, PageComments &comments)
{
    const QString entry = entryOf(document);
    QSet<QString> seen;
    JsonCursor cursor(payload, MaxJsonDepth);
    qsizetype count = 0;
    bool tooMany = false;
    if (cursor.enterObject()) {
        while (const std::optional<QString> key = cursor.nextKey()) {
            if (*key != u"comments" || !cursor.enterArray()) {
                cursor.skip();
                continue;
            }
            while (!tooMany && cursor.moreElements()) {
                tooMany = ++count > MaxCommentsPerPage;
                const JsonComment json = readJsonComment(cursor);
                if (tooMany || json.deleted)
                    continue;
                if (json.thread && json.article) {
                    const HtmlDocument article = parseFragment(*json.article);
                    const QString id = QString::number(*json.thread);
                    comments.comments.append({*json.thread, json.author, article.bodyInnerText.trimmed(),
                                              article.bodyInnerHtml(),
                                              entry + u"?thread="_s + id + u"#t"_s + id});
                } else if (json.thread && json.collapsed) {
                    addAddress(
                        comments.collapsed, seen,
                        lightThread(json.threadUrl.isEmpty() ? json.expandUrl : json.threadUrl, entry));
                } else if (json.more && !json.expandUrl.isEmpty()) {
                    for (const QString &thread : json.data.split(u':', Qt::SkipEmptyParts))
                        addAddress(comments.collapsed, seen,
                                   lightThread(entry + u"?thread="_s + thread + u"#t"_s + thread, entry));
                }
            }
        }
    }
    if (tooMany || cursor.failed() || cursor.peek() != JsonCursor::Kind::None) {
        comments.comments.clear();
        comments.collapsed.clear();
        comments.problem = tooMany ? u"its comment data holds more than 20000 comments"_s
                                   : u"its comment data is damaged or nested deeper than 64 levels"_s;
    }
}

QString textOf(const HtmlDocument &document, const NotedElement &element)
{
    return document.bodyInnerText.sliced(element.textStart, element.textEnd - element.textStart).trimmed();
}

} // namespace

PageReading commentReading()
{
    PageReading reading;
    reading.selectors = {
        {"div", "dwexpcomment", "cmt", {}, -1},
        {{}, "comment-title", {}, {}, Comment},
        {{}, "comment-content", {}, {}, Comment},
        {{}, "poster", {}, {}, Comment},
        {{}, {}, {}, "lj:user", Poster},
        {"div", "comment-pages", {}, {}, -1},
        {"a", "comment-page", {}, "href", CommentPages},
        {"ul", "b-pager-pages", {}, {}, -1},
        {"a", {}, {}, "href", PagerPages},
    };
    reading.findPayload = [](QByteArrayView page) -> std::optional<std::pair<qsizetype, qsizetype>> {
        const qsizetype marker = page.indexOf(PageScript);
        if (marker < 0)
            return std::nullopt;
        qsizetype start = marker + PageScript.size();
        while (start < page.size() && (page[start] == ' ' || page[start] == '\t'))
            ++start;
        if (start >= page.size() || page[start] != '{')
            return std::nullopt;
        const qsizetype end = JsonCursor::valueEnd(page, start, MaxJsonDepth);
        // Data that is not JSON is taken all the same, its first brace alone, for the reading to fail on.
        return std::pair{start, end < 0 ? start + 1 : end};
    };
    return reading;
}

PageComments readComments(const HtmlDocument &document, const PageReading &reading,
                          const FragmentParser &parseFragment)
{
    PageComments comments;
    if (!reading.payload.isEmpty())
        readScriptComments(document, reading.payload, parseFragment, comments);

    const QString entry = entryOf(document);
    const std::optional<WebAddress> base = WebAddress::parse(document.address);
    QSet<QString> seen{base ? base->withoutFragment().toString() : document.address};
    const QList<NotedElement> &noted = reading.noted;
    for (qsizetype i = 0; i < noted.size(); ++i) {
        const NotedElement &element = noted[i];
        switch (element.selector) {
        case Comment: {
            bool ok = false;
            const qint64 thread = QStringView(element.id).sliced(3).toLongLong(&ok);
            if (!ok)
                break;
            comments.textRanges.append({element.textStart, element.textEnd});
            comments.htmlRanges.append({element.htmlStart, element.htmlEnd});
            QString title;
            QString author;
            const NotedElement *content = nullptr;
            for (qsizetype j = i + 1; j < noted.size() && noted[j].htmlStart < element.htmlEnd; ++j) {
                const NotedElement &part = noted[j];
                if (part.selector == CommentTitle && part.within == i)
                    title = textOf(document, part);
                else if (part.selector == CommentContent && part.within == i)
                    content = &part;
                else if (part.selector == PosterName && noted[part.within].within == i && author.isEmpty())
                    author = part.value;
            }
            const QString id = QString::number(thread);
            const QString address = entry + u"?thread="_s + id + u"#cmt"_s + id;
            if (!content) { // past the page's limit: only its subject shows
                addAddress(comments.collapsed, seen, WebAddress::parse(address));
                break;
            }
            const QString text = textOf(document, *content);
            comments.comments.append({thread, author, title.isEmpty() ? text : title + u"\r\n"_s + text,
                                      web::wellFormedUtf8ToString(document.bodyHtmlUtf8().sliced(
                                          content->htmlStart, content->htmlEnd - content->htmlStart)),
                                      address});
            break;
        }
        case CommentPage:
        case PagerPage:
            addAddress(comments.morePages, seen, WebAddress::parse(element.value, base ? &*base : nullptr));
            break;
        default:
            break;
        }
    }
    return comments;
}

} // namespace diarytrawl::sites
