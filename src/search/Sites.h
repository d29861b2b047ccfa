#pragma once

#include <QStringView>

namespace diarytrawl::sites {

// Host names of the journal sites of the family the site menu offers.
inline constexpr QStringView LiveJournal = u"www.livejournal.com";
inline constexpr QStringView GreatestJournal = u"www.greatestjournal.com";
inline constexpr QStringView DeadJournal = u"www.deadjournal.com";
inline constexpr QStringView RossiaOrg = u"lj.rossia.org";
inline constexpr QStringView Dreamwidth = u"www.dreamwidth.org";
inline constexpr QStringView InsaneJournal = u"www.insanejournal.com";

} // namespace diarytrawl::sites
