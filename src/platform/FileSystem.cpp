#include "FileSystem.h"

#include "PlatformError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace diarytrawl::fso {

namespace {

int errorNumberOf(QFileDevice::FileError error)
{
    switch (error) {
    case QFileDevice::PermissionsError:
        return ErrorNumber::PermissionDenied;
    case QFileDevice::OpenError:
        return ErrorNumber::PathNotFound;
    default:
        return ErrorNumber::FileWriteFailed;
    }
}

[[noreturn]] void throwFileError(const QFile &file, const QString &what)
{
    throw PlatformError(errorNumberOf(file.error()),
                        QStringLiteral("%1 \"%2\": %3").arg(what, file.fileName(), file.errorString()));
}

} // namespace

bool FolderExists(const QString &path)
{
    return QFileInfo(path).isDir();
}

QString CreateFolder(const QString &path)
{
    const QString fullPath = GetAbsolutePathName(path);
    const QFileInfo parent(QFileInfo(fullPath).absolutePath());
    if (!parent.isDir())
        throw PlatformError(
            ErrorNumber::PathNotFound,
            QStringLiteral("Cannot create folder \"%1\": its parent folder does not exist").arg(path));
    if (QFileInfo::exists(fullPath) || !QDir().mkdir(fullPath))
        throw PlatformError(ErrorNumber::PermissionDenied,
                            QStringLiteral("Cannot create folder \"%1\"").arg(path));
    return fullPath;
}

void WriteBytes(const QString &fileName, QByteArrayView bytes, bool rewrite)
{
    QFile file(fileName);
    if (rewrite) {
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throwFileError(file, QStringLiteral("Cannot create file"));
    } else {
        if (!QFileInfo(fileName).isFile())
            throw PlatformError(ErrorNumber::FileNotFound,
                                QStringLiteral("Cannot append to \"%1\": file not found").arg(fileName));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
            throwFileError(file, QStringLiteral("Cannot open file"));
    }
    if (file.write(bytes.data(), bytes.size()) != bytes.size() || !file.flush())
        throwFileError(file, QStringLiteral("Cannot write file"));
    file.close();
    if (file.error() != QFileDevice::NoError)
        throwFileError(file, QStringLiteral("Cannot write file"));
}

QString GetAbsolutePathName(const QString &name)
{
    return QDir::cleanPath(QDir::current().absoluteFilePath(name));
}

QString GetFileName(const QString &path)
{
    return QFileInfo(QDir::cleanPath(path)).fileName();
}

} // namespace diarytrawl::fso
