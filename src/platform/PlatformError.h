// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <stdexcept>

namespace diarytrawl {

// A failure of a platform object (regular-expression engine, file system, settings store, page loader).
// Nothing below the crawl catches these: they travel up to whoever started the search, which reports
// the number and the description to the user.
class PlatformError : public std::runtime_error {
public:
    PlatformError(int number, const QString &description)
        : std::runtime_error(description.toStdString())
        , m_number(number)
        , m_description(description)
    {}

    int number() const { return m_number; }
    const QString &description() const { return m_description; }

private:
    int m_number;
    QString m_description;
};

// Numbers for failures that do not come with an engine's own error code.
namespace ErrorNumber {
inline constexpr int FileNotFound = 53;
inline constexpr int PermissionDenied = 70;
inline constexpr int PathNotFound = 76;
inline constexpr int FileWriteFailed = 75;
inline constexpr int InvalidNumber = 13;
inline constexpr int InvalidArgument = 5;
inline constexpr int Overflow = 6;
inline constexpr int SettingsStoreFailed = 80;
// The file system refuses the name itself (too long, characters it cannot store), not the write.
inline constexpr int BadFileName = 52;
// Another process holds the lock on a file this one means to write.
inline constexpr int FileLocked = 71;
// A pattern this program's regular-expression syntax refuses (the engine's own refusals keep the
// engine's numbers, 101 and up).
inline constexpr int RegExpSyntax = 100;
// A match that would cost too much: the engine's backtracking or depth limits, or the time a search
// gives one text. Told apart from a pattern that does not compile.
inline constexpr int TooCostly = 28;
inline constexpr int LoginCookiesUnreadable = 81;
} // namespace ErrorNumber

} // namespace diarytrawl
