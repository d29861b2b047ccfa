#include "StoredPages.h"

#include "TextFile.h"
#include "platform/PlatformError.h"

#include <QCryptographicHash>

namespace diarytrawl {

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype LongestName = 255; // bytes, as Linux file systems count them
constexpr qsizetype SafeNameStem = 120;

bool isSafeCharacter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           QStringView(u".-_~").contains(c);
}

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

void SavePage(const HtmlDocument &objDoc, const QString &strAddress, const QString &strSavedPagesFolder)
{
    QString strPageText = objDoc.htmlInnerHtml;
    strPageText.replace(u"text/html; charset=utf-8"_s, u"text/html; charset=windows-1251"_s,
                        Qt::CaseInsensitive);

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
        WriteString(folder + u'/' + fileName, strPageText, 1);
    } catch (const PlatformError &) {
        const QString safeName = safePageName(fileName);
        if (safeName == fileName)
            throw;
        WriteString(folder + u'/' + safeName, strPageText, 1);
    }
}

} // namespace diarytrawl
