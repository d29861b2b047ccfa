// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QLocale>

class QTranslator;

namespace diarytrawl {

// The program speaks the desktop's language where it has a translation for it; English, the language of
// its sources, needs none. Installs the program's translation for the first of the locale's languages
// that has one (the .qm files built into the program under :/i18n), then Qt's own translation of that
// same language, so that Qt's dialogs and buttons say the same; Qt's only where the system has it (Debian:
// qt6-translations-l10n). Needs the application object. Returns what it installed, owned by the
// application: deleting a translator uninstalls it.
QList<QTranslator *> installTranslations(const QLocale &locale = QLocale::system());

} // namespace diarytrawl
