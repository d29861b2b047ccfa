// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "loader/SiteRules.h"

namespace diarytrawl::sites {

using web::ElementSelector;
using web::NotedElement;
using web::PageReading;

// An entry's comments, known by the markup of either kind of page whatever the host:
//  - today's LiveJournal carries them only in its page script, as the line "Site.page = {...};" whose
//    "comments" list holds an object per comment (thread, uname, article with the comment's HTML; a
//    collapsed one without its article but with its thread_url; "more" items that name further threads
//    in data), and links further pages from ul.b-pager-pages (as leonid-ed/lj-dl reads them);
//  - Dreamwidth renders them (styles/core2.s2, EntryPage::print_comments): a div.dwexpcomment with the id
//    "cmtID" each, its subject in .comment-title, its text in .comment-content, the poster's name in the
//    lj:user attribute inside .poster; a comment past the page's limit shows only its subject, and its
//    thread is read from ENTRY?thread=ID (LJ/Talk.pm); further pages are a.comment-page links in
//    div.comment-pages.
// The script data is read within a nesting depth of 64 and 20,000 comments; past either, or when it is
// not JSON, the page's comments are left unread and the reason is given.
PageReading commentReading();
PageComments readComments(const HtmlDocument &document, const PageReading &reading,
                          const FragmentParser &parseFragment);

inline constexpr int MaxJsonDepth = 64;
inline constexpr int MaxCommentsPerPage = 20000;

} // namespace diarytrawl::sites
