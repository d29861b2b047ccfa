// SPDX-License-Identifier: GPL-3.0-or-later
#include "XdgPaths.h"

#include "FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

QString sizeText(qint64 bytes)
{
    constexpr qint64 Megabyte = 1024 * 1024;
    if (bytes >= Megabyte && bytes % Megabyte == 0)
        return QString::number(bytes / Megabyte) + u" MB"_s;
    return QString::number(bytes) + u" bytes"_s;
}

QString refusalOf(const struct stat &status, qint64 maxBytes)
{
    if (S_ISDIR(status.st_mode))
        return u"it is a folder"_s;
    if (!S_ISREG(status.st_mode))
        return u"it is not a regular file"_s;
    if (status.st_size > maxBytes)
        return u"it is larger than "_s + sizeText(maxBytes);
    return {};
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

bool makePrivateFolder(const QString &path)
{
    const QString folder = QFileInfo(path).absoluteFilePath();
    QStringList missing;
    for (QString current = folder; !QFileInfo::exists(current);) {
        missing.prepend(current);
        const QString parent = QFileInfo(current).path();
        if (parent == current)
            break;
        current = parent;
    }
    for (const QString &each : std::as_const(missing)) {
        // Made 0700 from the start: a chmod afterwards would leave a moment in which others can look in.
        if (::mkdir(QFile::encodeName(each).constData(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return QFileInfo(folder).isDir();
}

QString replaceFile(const QString &path, const QList<QByteArrayView> &parts, const QDateTime &modified)
{
    const int error = fso::ReplaceFileContents(path, parts, {true, true, modified});
    return error == 0 ? QString() : qt_error_string(error);
}

FileRead readRegularFile(const QString &path, qint64 maxBytes)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::stat(name.constData(), &status) != 0) {
        if (errno == ENOENT)
            return {FileRead::Status::Missing, {}, {}};
        return {FileRead::Status::Refused, {}, qt_error_string(errno)};
    }
    if (QString reason = refusalOf(status, maxBytes); !reason.isEmpty())
        return {FileRead::Status::Refused, {}, reason};

    // Without O_NONBLOCK, a pipe put in the file's place since the stat would hold the open until a
    // writer comes; with it the open returns and the fstat below sees what it got.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {errno == ENOENT ? FileRead::Status::Missing : FileRead::Status::Refused,
                {},
                qt_error_string(errno)};
    FileRead result{FileRead::Status::Read, {}, {}};
    if (::fstat(fd, &status) != 0)
        result = {FileRead::Status::Refused, {}, qt_error_string(errno)};
    else if (QString reason = refusalOf(status, maxBytes); !reason.isEmpty())
        result = {FileRead::Status::Refused, {}, reason};
    while (result.status == FileRead::Status::Read) {
        // The size may have changed since the fstat: read to the end, but never past the bound.
        const qsizetype had = result.bytes.size();
        const qsizetype room = qsizetype(std::min<qint64>(maxBytes + 1 - had, 64 * 1024));
        result.bytes.resize(had + room);
        const ssize_t got = ::read(fd, result.bytes.data() + had, size_t(room));
        if (got < 0 && errno == EINTR) {
            result.bytes.resize(had);
            continue;
        }
        if (got < 0) {
            result = {FileRead::Status::Refused, {}, qt_error_string(errno)};
            break;
        }
        result.bytes.resize(had + got);
        if (result.bytes.size() > maxBytes)
            result = {FileRead::Status::Refused, {}, u"it is larger than "_s + sizeText(maxBytes)};
        else if (got == 0)
            break;
    }
    ::close(fd);
    return result;
}

} // namespace diarytrawl::xdg
