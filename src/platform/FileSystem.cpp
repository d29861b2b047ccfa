// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileSystem.h"

#include "PlatformError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace diarytrawl::fso {

namespace {

constexpr int MaxLockAttempts = 100;

int errorNumberOf(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case ELOOP:
    case EISDIR:
        return ErrorNumber::PermissionDenied;
    case ENOENT:
    case ENOTDIR:
        return ErrorNumber::PathNotFound;
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
        return ErrorNumber::BadFileName;
    default:
        return ErrorNumber::FileWriteFailed;
    }
}

QString reasonOf(int error)
{
    if (error == ELOOP)
        return QStringLiteral("it is a symbolic link, which is not followed");
    return qt_error_string(error);
}

[[noreturn]] void throwFileError(int error, const QString &what, const QString &fileName)
{
    throw PlatformError(errorNumberOf(error), what + u" \"" + fileName + u"\": " + reasonOf(error));
}

QByteArray nativeName(const QString &fileName)
{
    return QFile::encodeName(fileName);
}

// Closes the descriptor when the scope ends unless it was released.
class Descriptor {
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const { return m_fd; }
    void reset(int fd)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    int release() { return std::exchange(m_fd, -1); }
    // Closes now; the error of close counts (a write may fail only then, on a network file system).
    int close()
    {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

// Opens without following a symbolic link and without waiting for a pipe's reader, then makes sure a
// regular file was opened. Returns the errno of a failure, 0 on success.
int openRegular(const QByteArray &name, int flags, Descriptor &fd)
{
    fd.reset(::open(name.constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    if (fd.get() < 0)
        return errno == ENXIO ? -1 : errno; // ENXIO: a pipe without a reader, a device without a driver
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0)
        return errno;
    return S_ISREG(status.st_mode) ? 0 : -1;
}

// Writes all of bytes; returns the errno of a failure, 0 on success.
int writeAll(int fd, QByteArrayView bytes)
{
    const char *data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        left -= written;
    }
    return 0;
}

[[noreturn]] void throwNotRegular(const QString &what, const QString &fileName)
{
    throw PlatformError(ErrorNumber::PermissionDenied,
                        what + u" \"" + fileName + u"\": something that is not a regular file has the name");
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
        throw PlatformError(ErrorNumber::PathNotFound,
                            u"Cannot create folder \"" + path + u"\": its parent folder does not exist");
    if (::mkdir(nativeName(fullPath).constData(), 0777) != 0)
        throwFileError(errno, QStringLiteral("Cannot create folder"), path);
    return fullPath;
}

void WriteBytes(const QString &fileName, QByteArrayView bytes, bool rewrite)
{
    const QString what = rewrite ? QStringLiteral("Cannot create file") : QStringLiteral("Cannot open file");
    Descriptor fd(-1);
    // Emptied only once it is known to be a regular file.
    const int error = openRegular(nativeName(fileName), O_WRONLY | (rewrite ? O_CREAT : O_APPEND), fd);
    if (error == ENOENT && !rewrite)
        throw PlatformError(ErrorNumber::FileNotFound,
                            u"Cannot append to \"" + fileName + u"\": file not found");
    if (error == -1)
        throwNotRegular(what, fileName);
    if (error != 0)
        throwFileError(error, what, fileName);
    if (rewrite && ::ftruncate(fd.get(), 0) != 0)
        throwFileError(errno, what, fileName);
    if (const int writeError = writeAll(fd.get(), bytes))
        throwFileError(writeError, QStringLiteral("Cannot write file"), fileName);
    if (const int closeError = fd.close())
        throwFileError(closeError, QStringLiteral("Cannot write file"), fileName);
}

int ReplaceFileContents(const QString &fileName, const QList<QByteArrayView> &parts,
                        const ReplaceOptions &options)
{
    QString target = fileName;
    if (const QFileInfo info(fileName); options.followLink && info.isSymLink())
        target = info.exists() ? info.canonicalFilePath() : info.symLinkTarget();
    const QString folder = QFileInfo(target).path();
    QByteArray temporary;
    Descriptor fd(-1);
    for (;;) {
        // A short name of our own, so that only the final rename can find fault with the name.
        temporary = nativeName(folder + u"/.~" +
                               QString::number(QRandomGenerator::global()->generate64(), 36) + u".tmp");
        fd.reset(::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                        options.privateFile ? 0600 : 0666));
        if (fd.get() >= 0)
            break;
        if (errno != EEXIST)
            return errno;
    }
    int error = 0;
    for (const QByteArrayView part : parts) {
        if (error == 0)
            error = writeAll(fd.get(), part);
    }
    if (error == 0 && options.modified.isValid()) {
        const qint64 ms = options.modified.toMSecsSinceEpoch();
        const struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(ms / 1000), long(ms % 1000) * 1000000}};
        if (::futimens(fd.get(), times) != 0)
            error = errno;
    }
    if (error == 0 && ::fsync(fd.get()) != 0)
        error = errno;
    if (const int closeError = fd.close(); error == 0)
        error = closeError;
    if (error == 0 && ::rename(temporary.constData(), nativeName(target).constData()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(temporary.constData());
    return error;
}

void ReplaceFile(const QString &fileName, QByteArrayView bytes)
{
    if (const int error = ReplaceFileContents(fileName, {bytes}))
        throwFileError(error, QStringLiteral("Cannot write file"), fileName);
}

LockFile::LockFile(const QString &fileName)
    : m_fileName(fileName)
{
    const QByteArray name = nativeName(fileName);
    // A holder removes the file before it lets go: a lock won on a file that is no longer at the name
    // locks nothing, so it is tried again on the file that is there now.
    for (int attempt = 0; attempt < MaxLockAttempts; ++attempt) {
        Descriptor fd(-1);
        const int error = openRegular(name, O_RDWR | O_CREAT, fd);
        if (error == -1)
            throwNotRegular(QStringLiteral("Cannot lock"), fileName);
        if (error != 0)
            throwFileError(error, QStringLiteral("Cannot lock"), fileName);
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK)
                return;
            throwFileError(errno, QStringLiteral("Cannot lock"), fileName);
        }
        struct stat locked {};
        struct stat atName {};
        if (::fstat(fd.get(), &locked) == 0 && ::lstat(name.constData(), &atName) == 0 &&
            locked.st_dev == atName.st_dev && locked.st_ino == atName.st_ino) {
            m_fd = fd.release();
            return;
        }
    }
    throw PlatformError(ErrorNumber::FileLocked,
                        u"Cannot lock \"" + fileName + u"\": it keeps being replaced");
}

LockFile::~LockFile()
{
    if (m_fd < 0)
        return;
    ::unlink(QFile::encodeName(m_fileName).constData());
    ::close(m_fd);
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
