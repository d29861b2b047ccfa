#pragma once

#include <QByteArrayView>
#include <QString>

// The file-system object: the few file and folder operations the program needs. Relative names are
// taken against the current folder; paths keep '/' as their separator. Failures throw PlatformError.
namespace diarytrawl::fso {

bool FolderExists(const QString &path);

// Makes one folder whose parent exists and returns its full path (no closing '/'). Fails when the
// parent is missing or something that is not a folder already has the name.
QString CreateFolder(const QString &path);

// rewrite: create the file or empty an existing one, then write. Otherwise append to a file that must
// already exist. The file is closed again when the call returns, even when it fails.
void WriteBytes(const QString &fileName, QByteArrayView bytes, bool rewrite);

QString GetAbsolutePathName(const QString &name);
QString GetFileName(const QString &path);

} // namespace diarytrawl::fso
