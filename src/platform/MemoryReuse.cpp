// SPDX-License-Identifier: GPL-3.0-or-later
#include "MemoryReuse.h"

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace diarytrawl {

void keepFreedMemoryForReuse()
{
#if defined(M_MMAP_THRESHOLD) && defined(M_TRIM_THRESHOLD)
    constexpr int FromTheHeapUpTo = 1024 * 1024; // larger blocks are mapped, and unmapped when freed
    constexpr int KeptAtTheHeapTop = 32 * 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, FromTheHeapUpTo);
    mallopt(M_TRIM_THRESHOLD, KeptAtTheHeapTop);
#endif
}

} // namespace diarytrawl
