#pragma once

#include <QNetworkReply>
#include <QString>

// The small pages the loader shows in place of a page it cannot show, and the pages it makes for
// content that is not HTML. Each says in plain words what happened and for which address.
namespace diarytrawl::web::pages {

// A page whose text is the sentence (escaped as HTML).
QString messagePage(const QString &sentence);

QString loadFailed(const QString &address, const QString &reason);
QString notAvailableOffline(const QString &address);
QString schemeNotLoaded(const QString &address);
QString notAWebAddress(const QString &address);
QString tooManyRedirects(const QString &address, bool loop);
QString tooLarge(const QString &address, qint64 limitBytes);
QString emptyErrorAnswer(const QString &address, int status, const QString &reasonPhrase);
QString notShown(const QString &address, const QString &reason);

// What went wrong on the network, in plain words ("the server refused the connection").
QString networkFailureReason(QNetworkReply::NetworkError error, const QString &detail);

// How a browser shows text/plain: the text as it is, inside a pre.
QString plainTextPage(const QString &text);

// What is at an address that holds a file rather than a page (a picture, an archive).
QString fileNotShown(const QString &address, const QString &mimeType, qint64 size);

} // namespace diarytrawl::web::pages
