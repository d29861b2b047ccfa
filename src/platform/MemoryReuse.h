// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace diarytrawl {

// Asks the C library to keep memory it is given back for reuse rather than return it to the system at
// once. A search makes and drops buffers of a few hundred kilobytes for every page (its text, its HTML,
// what the page cache reads); returning them and taking them back costs a system call and page faults
// each time, more than the search itself when pages come from the cache. Buffers of a megabyte and more
// still go back as soon as they are freed, so a large page holds no memory past its turn. Called once,
// first thing in main; a C library without the setting is left as it is.
void keepFreedMemoryForReuse();

} // namespace diarytrawl
