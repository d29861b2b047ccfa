// SPDX-License-Identifier: GPL-3.0-or-later
#include "StoredPages.h"

#include "TextFile.h"
#include "loader/CodePage1251.h"
#include "platform/FileSystem.h"
#include "platform/PlatformError.h"

#include <QCryptographicHash>

namespace diarytrawl {

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype LongestName = 255; // bytes, as Linux file systems count them
constexpr qsizetype SafeNameStem = 120;
constexpr QStringView OwnCharset = u"windows-1251";
constexpr QStringView OwnContentType = u"text/html; charset=windows-1251";
constexpr QStringView OwnDeclaration = u"<meta charset=\"windows-1251\">";

bool isSafeCharacter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           QStringView(u".-_~").contains(c);
}

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

bool sameName(QStringView a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Elements whose text a browser reads literally: a character reference there would show as written.
bool isRawTextElement(QStringView name)
{
    for (const QStringView raw :
         {u"script", u"style", u"xmp", u"iframe", u"noembed", u"noframes", u"noscript", u"plaintext"}) {
        if (sameName(name, raw))
            return true;
    }
    return false;
}

// Writes the page's HTML in windows-1251 with every charset declaration telling so. A character the
// code page lacks is a character reference where HTML reads one (text, attribute values) and '?'
// elsewhere (the text of raw-text elements, comments, names).
class StoredPageWriter {
public:
    explicit StoredPageWriter(const QString &html)
        : m_html(html)
    {}

    QByteArray bytes()
    {
        const qsizetype n = m_html.size();
        qsizetype i = 0;
        while (i < n) {
            const qsizetype lt = m_html.indexOf(u'<', i);
            const qsizetype textEnd = lt < 0 ? n : lt;
            if (!m_rawText.isEmpty()) {
                const qsizetype end = rawTextEnd(i);
                literal(i, end);
                i = end;
                m_rawText.clear();
                continue;
            }
            text(i, textEnd);
            i = textEnd;
            if (i < n)
                i = markup(i);
        }
        if (!m_declared)
            m_out.insert(m_headContentStart, cp1251::fromUnicode(OwnDeclaration));
        return m_out;
    }

private:
    void text(qsizetype from, qsizetype to)
    {
        m_out += cp1251::fromUnicode(QStringView(m_html).mid(from, to - from),
                                     cp1251::Unmapped::CharacterReference);
    }

    void literal(qsizetype from, qsizetype to)
    {
        m_out += cp1251::fromUnicode(QStringView(m_html).mid(from, to - from));
    }

    void replacement(QStringView value) { m_out += cp1251::fromUnicode(value); }

    // Where the text of the raw-text element that is open ends: at its end tag, or at the end.
    qsizetype rawTextEnd(qsizetype from) const
    {
        if (sameName(m_rawText, u"plaintext"))
            return m_html.size();
        const QString endTag = u"</" + m_rawText;
        for (qsizetype at = m_html.indexOf(endTag, from, Qt::CaseInsensitive); at >= 0;
             at = m_html.indexOf(endTag, at + 1, Qt::CaseInsensitive)) {
            const qsizetype after = at + endTag.size();
            if (after == m_html.size() || isSpace(m_html.at(after)) || m_html.at(after) == u'/' ||
                m_html.at(after) == u'>')
                return at;
        }
        return m_html.size();
    }

    qsizetype endOf(QStringView terminator, qsizetype from) const
    {
        const qsizetype at = m_html.indexOf(terminator, from);
        return at < 0 ? m_html.size() : at + terminator.size();
    }

    // Markup from the '<' at i on; returns where it ends.
    qsizetype markup(qsizetype i)
    {
        const QStringView rest = QStringView(m_html).mid(i);
        qsizetype end = 0;
        if (rest.startsWith(u"<!--")) {
            end = endOf(u"-->", i + 4);
        } else if (rest.startsWith(u"<!") || rest.startsWith(u"<?")) {
            end = endOf(u">", i + 2);
        } else if (rest.startsWith(u"</") && rest.size() > 2 && isAsciiLetter(rest.at(2))) {
            end = endOf(u">", i + 2);
            const QStringView name = tagName(i + 2);
            if (sameName(name, u"head"))
                m_pastHead = true;
        } else if (rest.size() > 1 && isAsciiLetter(rest.at(1))) {
            return startTag(i);
        } else {
            text(i, i + 1);
            return i + 1;
        }
        literal(i, end);
        return end;
    }

    QStringView tagName(qsizetype from) const
    {
        qsizetype to = from;
        while (to < m_html.size() && !isSpace(m_html.at(to)) && m_html.at(to) != u'/' &&
               m_html.at(to) != u'>')
            ++to;
        return QStringView(m_html).mid(from, to - from);
    }

    struct Attribute {
        QStringView name;
        qsizetype valueStart = -1; // -1: no value
        qsizetype valueEnd = -1;
    };

    qsizetype startTag(qsizetype i)
    {
        const QStringView name = tagName(i + 1);
        QList<Attribute> attributes;
        const qsizetype n = m_html.size();
        qsizetype at = i + 1 + name.size();
        while (at < n && m_html.at(at) != u'>') {
            const QChar c = m_html.at(at);
            if (isSpace(c) || c == u'/') {
                ++at;
                continue;
            }
            const qsizetype nameStart = at++; // a '=' here starts a name
            while (at < n && !isSpace(m_html.at(at)) && !QStringView(u"/>=").contains(m_html.at(at)))
                ++at;
            Attribute attribute{QStringView(m_html).mid(nameStart, at - nameStart)};
            qsizetype afterName = at;
            while (afterName < n && isSpace(m_html.at(afterName)))
                ++afterName;
            if (afterName < n && m_html.at(afterName) == u'=') {
                at = afterName + 1;
                while (at < n && isSpace(m_html.at(at)))
                    ++at;
                if (at < n && (m_html.at(at) == u'"' || m_html.at(at) == u'\'')) {
                    const QChar quote = m_html.at(at);
                    attribute.valueStart = at + 1;
                    const qsizetype close = m_html.indexOf(quote, at + 1);
                    attribute.valueEnd = close < 0 ? n : close;
                    at = close < 0 ? n : close + 1;
                } else {
                    attribute.valueStart = at;
                    while (at < n && !isSpace(m_html.at(at)) && m_html.at(at) != u'>')
                        ++at;
                    attribute.valueEnd = at;
                }
            }
            attributes.append(attribute);
        }
        const qsizetype end = at < n ? at + 1 : n;

        const QList<qsizetype> declared =
            sameName(name, u"meta") ? declarations(attributes) : QList<qsizetype>();
        qsizetype done = i;
        for (qsizetype k = 0; k < attributes.size(); ++k) {
            const Attribute &attribute = attributes[k];
            if (attribute.valueStart < 0)
                continue;
            literal(done, attribute.valueStart);
            if (!declared.contains(k))
                text(attribute.valueStart, attribute.valueEnd);
            else if (sameName(attribute.name, u"charset"))
                replacement(OwnCharset);
            else
                replacement(OwnContentType);
            done = attribute.valueEnd;
        }
        literal(done, end);

        if (sameName(name, u"head") && !m_pastHead)
            m_headContentStart = m_out.size();
        if (sameName(name, u"body"))
            m_pastHead = true;
        if (!declared.isEmpty() && !m_pastHead)
            m_declared = true;
        if (isRawTextElement(name)) // "<script/>" opens one all the same
            m_rawText = name.toString();
        return end;
    }

    QStringView valueOf(const Attribute &attribute) const
    {
        return QStringView(m_html).mid(attribute.valueStart, attribute.valueEnd - attribute.valueStart);
    }

    // The attributes of a meta element that declare a charset, as browsers read them: a charset, or
    // the content of an http-equiv="Content-Type".
    QList<qsizetype> declarations(const QList<Attribute> &attributes) const
    {
        QList<qsizetype> found;
        qsizetype content = -1;
        bool contentType = false;
        for (qsizetype k = 0; k < attributes.size(); ++k) {
            const Attribute &attribute = attributes[k];
            if (attribute.valueStart < 0)
                continue;
            if (sameName(attribute.name, u"charset"))
                found.append(k);
            else if (sameName(attribute.name, u"content"))
                content = k;
            else if (sameName(attribute.name, u"http-equiv"))
                contentType = sameName(valueOf(attribute).trimmed(), u"content-type");
        }
        if (content >= 0 && contentType)
            found.append(content);
        return found;
    }

    const QString &m_html;
    QByteArray m_out;
    QString m_rawText; // the raw-text element that is open
    qsizetype m_headContentStart = 0;
    bool m_pastHead = false;
    bool m_declared = false;
};

} // namespace

QString safePageName(const QString &segment)
{
    QString stem;
    for (const QChar c : segment.left(SafeNameStem))
        stem += isSafeCharacter(c) ? c : QChar(u'_');
    const QByteArray hash =
        QCryptographicHash::hash(segment.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
    return stem + u'~' + QString::fromLatin1(hash);
}

QString storedPageName(const QString &segment)
{
    if (segment.isEmpty() || segment == u"." || segment == u"..")
        return u'_' + segment;
    if (segment.toUtf8().size() > LongestName || segment.contains(QChar(0)))
        return safePageName(segment);
    return segment;
}

QByteArray storedPageBytes(const QString &html)
{
    return StoredPageWriter(html).bytes();
}

void SavePage(const HtmlDocument &objDoc, const QString &strAddress, const QString &strSavedPagesFolder)
{
    const QByteArray bytes = storedPageBytes(objDoc.htmlInnerHtml());

    // The slashes are looked for from the address's second character on.
    const qsizetype lastSlash = strAddress.lastIndexOf(u'/');
    const qsizetype previousSlash = lastSlash > 1 ? strAddress.lastIndexOf(u'/', lastSlash - 1) : -1;
    const bool hasLast = lastSlash >= 1;
    const bool hasPrevious = hasLast && previousSlash >= 1;
    const QString fileName = storedPageName(hasLast ? strAddress.mid(lastSlash + 1) : strAddress);
    const QString subfolder =
        hasPrevious ? storedPageName(strAddress.mid(previousSlash + 1, lastSlash - previousSlash - 1))
                    : u"_"_s;

    const QString pagesFolder = CreateFolder(strSavedPagesFolder);
    const QString folder = CreateFolder(pagesFolder + u'/' + subfolder);
    try {
        fso::ReplaceFile(folder + u'/' + fileName, bytes);
    } catch (const PlatformError &error) {
        // Only a name the file system refuses gets a second try; a failed write is the search's end.
        const QString safeName = safePageName(fileName);
        if (error.number() != ErrorNumber::BadFileName || safeName == fileName)
            throw;
        fso::ReplaceFile(folder + u'/' + safeName, bytes);
    }
}

} // namespace diarytrawl
