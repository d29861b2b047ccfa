// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QTemporaryDir>

namespace diarytrawl::test {

// A temporary folder that is the current folder for as long as it lives: reports and stored pages go
// to the current folder.
class TestFolder {
public:
    TestFolder()
        : m_previous(QDir::currentPath())
    {
        QDir::setCurrent(m_dir.path());
    }
    ~TestFolder() { QDir::setCurrent(m_previous); } // QTemporaryDir makes it neither copyable nor movable

    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }

private:
    QString m_previous;
    QTemporaryDir m_dir;
};

} // namespace diarytrawl::test
