// SPDX-License-Identifier: GPL-3.0-or-later
#include "TextFile.h"

#include "loader/CodePage1251.h"
#include "platform/FileSystem.h"

namespace diarytrawl {

void WriteString(const QString &strFileName, const QString &strText, int bRewrite)
{
    fso::WriteBytes(strFileName, cp1251::fromUnicode(strText), bRewrite > 0);
}

void WriteHtmlString(const QString &strFileName, const QString &strText, int bRewrite)
{
    fso::WriteBytes(strFileName, cp1251::fromUnicode(strText, cp1251::Unmapped::CharacterReference),
                    bRewrite > 0);
}

QString CreateFolder(const QString &strPath)
{
    if (fso::FolderExists(strPath))
        return fso::GetAbsolutePathName(strPath);
    return fso::CreateFolder(strPath);
}

} // namespace diarytrawl
