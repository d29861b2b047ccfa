// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>
#include <QVariant>

#include <optional>

namespace diarytrawl {

// The registry values that the browser settings menu writes and the page loader and the window read,
// kept in a small JSON file because this platform has no registry.
//  - Names are full registry names: a root (HKEY_CURRENT_USER or HKCU, HKEY_LOCAL_MACHINE or HKLM,
//    HKEY_CLASSES_ROOT or HKCR, HKEY_USERS or HKU, HKEY_CURRENT_CONFIG), keys, then the value's name,
//    separated by '\'. Names compare without regard to case, as the registry's do; keys need no
//    creating.
//  - Types: "REG_DWORD" (a whole number that fits in 32 bits, read back as an unsigned number) and
//    "REG_SZ" (text).
//  - Every write replaces the file atomically, so a crash leaves the old file or the new one.
//  - A damaged file is never overwritten: reads and writes fail until the user repairs or removes it.
// Failures throw PlatformError (ErrorNumber::SettingsStoreFailed) with a message naming the value or
// the file.
class SettingsStore {
public:
    // The user's store: $XDG_CONFIG_HOME/diarytrawl/settings.json.
    SettingsStore();
    explicit SettingsStore(QString filePath);

    static QString defaultFilePath();

    // The value's data; the browser version has a built-in answer when the store holds none.
    QVariant RegRead(const QString &name) const;
    // The stored data, or nothing when the store holds no such value (no built-in answer).
    std::optional<QVariant> find(const QString &name) const;
    void RegWrite(const QString &name, const QVariant &data, const QString &type);

    const QString &filePath() const { return m_filePath; }

private:
    QString m_filePath;
};

namespace registry {

inline constexpr QStringView GlobalUserOffline =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\GlobalUserOffline";
inline constexpr QStringView BrowserVersion = u"HKLM\\Software\\Microsoft\\Internet Explorer\\Version";

// What the page loader answers for BrowserVersion: it honours the settings that the browser settings
// menu writes, and that menu is offered for versions "5." and "6.".
inline constexpr QStringView BuiltInBrowserVersion = u"6.0 (diarytrawl page loader)";

// The program's own settings, kept beside the browser's.
// REG_DWORD 1: the user has said they are 18 or older; the sites' adult-content notices are answered.
inline constexpr QStringView ShowAdultContent = u"HKCU\\Software\\diarytrawl\\ShowAdultContent";
// REG_SZ: the file the user's login cookies are read from (cookies.txt or a browser's cookies.sqlite).
inline constexpr QStringView LoginCookiesFile = u"HKCU\\Software\\diarytrawl\\LoginCookiesFile";
// REG_SZ: the host (HOST or HOST:PORT) last given for "Other site...".
inline constexpr QStringView OtherSiteHost = u"HKCU\\Software\\diarytrawl\\OtherSiteHost";
// REG_SZ: a contact address the User-Agent names, as the sites' bot policy asks.
inline constexpr QStringView Contact = u"HKCU\\Software\\diarytrawl\\Contact";
// REG_DWORD 1: every page and thread of an entry's comments is searched, not only what its page carries.
inline constexpr QStringView SearchAllComments = u"HKCU\\Software\\diarytrawl\\SearchAllComments";

} // namespace registry

// Whether the store asks for offline mode: GlobalUserOffline holds 1. A missing value means online;
// a damaged store throws.
bool isGlobalUserOffline(const SettingsStore &store);

} // namespace diarytrawl
