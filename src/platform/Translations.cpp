// SPDX-License-Identifier: GPL-3.0-or-later
#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace diarytrawl {

QList<QTranslator *> installTranslations(const QLocale &locale)
{
    QList<QTranslator *> installed;
    auto *own = new QTranslator(QCoreApplication::instance());
    if (!own->load(locale, u"diarytrawl"_s, u"_"_s, u":/i18n"_s)) {
        delete own;
        return installed;
    }
    QCoreApplication::installTranslator(own);
    installed << own;
    // Qt's texts in the language the program's own were found for, never in another: a German desktop
    // should not get German buttons in an English window.
    auto *qt = new QTranslator(QCoreApplication::instance());
    if (qt->load(u"qtbase_"_s + own->language(), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt);
        installed << qt;
    } else {
        delete qt;
    }
    return installed;
}

} // namespace diarytrawl
