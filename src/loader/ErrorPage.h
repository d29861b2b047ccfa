// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <chrono>

// The small pages the loader shows in place of a page it cannot show, and the pages it makes for
// content that is not HTML. Each says in plain words what happened and for which address. The
// *Reason functions give the short phrase a failed load's outcome carries.
namespace diarytrawl::web::pages {

// A page whose text is the sentence (escaped as HTML).
QString messagePage(const QString &sentence);

QString loadFailed(const QString &address, const QString &reason);
QString notAvailableOffline(const QString &address);
QString schemeNotLoaded(const QString &address);
QString notAWebAddress(const QString &address);
QString tooManyRedirects(const QString &address, bool loop);
QString emptyErrorAnswer(const QString &address, const QString &statusText);

QString offlineReason();
QString captchaReason();
QString redirectsReason(bool loop);
QString fileReason(const QString &mimeType);
QString tooComplexReason(std::chrono::milliseconds parseTimeLimit);

// How a browser shows text/plain: the text as it is, inside a pre.
QString plainTextPage(const QString &text);

// What is at an address that holds a file rather than a page (a picture, an archive).
QString fileNotShown(const QString &address, const QString &mimeType, qint64 size);

} // namespace diarytrawl::web::pages
