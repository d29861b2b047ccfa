// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

namespace diarytrawl::sites {

// Host names of the journal sites of the family the site menu offers.
inline constexpr QStringView LiveJournal = u"www.livejournal.com";
inline constexpr QStringView GreatestJournal = u"www.greatestjournal.com";
inline constexpr QStringView DeadJournal = u"www.deadjournal.com";
inline constexpr QStringView RossiaOrg = u"lj.rossia.org";
inline constexpr QStringView Dreamwidth = u"www.dreamwidth.org";
inline constexpr QStringView InsaneJournal = u"www.insanejournal.com";

// The page the "Help!" menu opens.
inline constexpr QStringView HelpPage = u"https://www.livejournal.com/support/faq/?lang=ru";

// What is wrong with text as the address of a journal site, HOST or HOST:PORT, in the desktop's language;
// empty when nothing is.
// HOST is a host name of ASCII letters, digits and '-' in dot-separated labels of 1 to 63 characters
// (253 at most in all), or an IPv4 address in four decimal parts; PORT is 1 to 65535. Anything else
// (spaces, a scheme, a path, IPv6, user names) is refused, as the search writes the host into its
// addresses as it stands.
QString siteHostProblem(QStringView text);

// The domain a site's journals live under: its host without a port and a leading "www."
// ("www.livejournal.com" -> "livejournal.com"), in lower case.
QString siteDomain(const QString &siteHost);

// The site a host belongs to, for pacing: the host in lower case without a port and without the labels
// before the last two ("www.dreamwidth.org" and "some-user.dreamwidth.org" -> "dreamwidth.org"); an
// IPv4 address stays as it is.
QString siteOf(QStringView host);

// Whether a site (siteOf) is Dreamwidth.
bool isDreamwidth(QStringView site);

} // namespace diarytrawl::sites
