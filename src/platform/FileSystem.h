// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

// The file-system object: the few file and folder operations the program needs. Relative names are
// taken against the current folder; paths keep '/' as their separator. Failures throw PlatformError
// with the system's own reason ("No space left on device", "File too large").
namespace diarytrawl::fso {

bool FolderExists(const QString &path);

// Makes one folder whose parent exists and returns its full path (no closing '/'). Fails when the
// parent is missing or something that is not a folder already has the name.
QString CreateFolder(const QString &path);

// rewrite: create the file or empty an existing one, then write. Otherwise append to a file that must
// already exist. Only a regular file is written: a symbolic link, a pipe or a device at the name fails,
// and whatever it leads to stays untouched. The file is closed again when the call returns, even when
// it fails.
void WriteBytes(const QString &fileName, QByteArrayView bytes, bool rewrite);

// How ReplaceFileContents makes the new file.
struct ReplaceOptions {
    bool privateFile = false; // readable by the user alone (0600), whatever the umask allows
    bool followLink = false;  // a symbolic link at the name: what it leads to is replaced, not the link
    QDateTime modified;       // set on the new file when valid
};

// Writes the parts, one after the other, to a file under a short temporary name beside fileName, checks
// every write, syncs it to disk and renames it into place: the name holds its earlier content or the
// new one, never a part, and a failure leaves nothing behind. Returns 0, or the errno of what failed.
int ReplaceFileContents(const QString &fileName, const QList<QByteArrayView> &parts,
                        const ReplaceOptions &options = {});

// ReplaceFileContents that throws PlatformError; ErrorNumber::BadFileName when the file system refuses
// the name itself (too long, characters it cannot store) rather than the write.
void ReplaceFile(const QString &fileName, QByteArrayView bytes);

// An exclusive lock on a lock file, held for as long as the object lives; the file is made when
// missing and removed when the lock is released. Locks of other processes (and other objects of this
// one) on the same name exclude it.
class LockFile {
public:
    // Throws PlatformError for a file that cannot be made or locked; the lock is not held (held() is
    // false) when someone else holds it.
    explicit LockFile(const QString &fileName);
    ~LockFile();
    LockFile(const LockFile &) = delete;
    LockFile &operator=(const LockFile &) = delete;

    bool held() const { return m_fd >= 0; }

private:
    QString m_fileName;
    int m_fd = -1;
};

QString GetAbsolutePathName(const QString &name);
QString GetFileName(const QString &path);

} // namespace diarytrawl::fso
