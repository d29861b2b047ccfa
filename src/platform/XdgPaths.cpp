#include "XdgPaths.h"

#include <QDir>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace diarytrawl::xdg {

namespace {

QString programFolderIn(QStandardPaths::StandardLocation location, const QString &fallback)
{
    QString base = QStandardPaths::writableLocation(location);
    if (base.isEmpty()) // no home folder known: still a definite place rather than the file-system root
        base = QDir::homePath() + fallback;
    return QDir::cleanPath(base + u"/diarytrawl"_s);
}

} // namespace

QString configFolder()
{
    return programFolderIn(QStandardPaths::GenericConfigLocation, u"/.config"_s);
}

QString cacheFolder()
{
    return programFolderIn(QStandardPaths::GenericCacheLocation, u"/.cache"_s);
}

} // namespace diarytrawl::xdg
