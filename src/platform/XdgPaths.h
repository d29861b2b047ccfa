// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

// Where the program keeps files of its own, following the XDG base-directory rules so that
// XDG_CONFIG_HOME and XDG_CACHE_HOME move them (the tests rely on that), and how those files and the
// ones it reads for the user are made and read: what the program keeps (settings, pages the user read,
// login cookies) is for the user's eyes alone, and a file it reads may be anything a path can name.
namespace diarytrawl::xdg {

// $XDG_CONFIG_HOME/diarytrawl, by default ~/.config/diarytrawl
QString configFolder();

// $XDG_CACHE_HOME/diarytrawl, by default ~/.cache/diarytrawl
QString cacheFolder();

// Makes the folder and any missing parents; those it makes are readable by the user alone (0700).
// Folders that exist keep their permissions. False when the folder does not exist afterwards.
bool makePrivateFolder(const QString &path);

// Replaces a file of the program's own with the parts, or leaves it as it was (fso::ReplaceFileContents),
// readable by the user alone; a symbolic link is followed, so its target is replaced. The modification
// time is set when given. Returns an empty text, or why the file was left as it was, in plain words.
QString replaceFile(const QString &path, const QList<QByteArrayView> &parts, const QDateTime &modified = {});

struct FileRead {
    enum class Status { Read, Missing, Refused };
    Status status = Status::Missing;
    QByteArray bytes;
    QString reason; // Refused: why, in plain words ("it is not a regular file", "it is larger than 1 MB")
};

// Reads the whole file when it is a regular file (symbolic links followed) of at most maxBytes. Never
// waits on a pipe or a device and never reads more than maxBytes + 1 bytes, whatever the path names.
FileRead readRegularFile(const QString &path, qint64 maxBytes);

} // namespace diarytrawl::xdg
