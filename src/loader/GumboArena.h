// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <csetjmp>
#include <cstddef>
#include <functional>
#include <vector>

struct GumboInternalOptions;
struct GumboInternalOutput;

namespace diarytrawl::web {

// The memory one gumbo parse allocates, all released at once when the arena goes. Freeing the tree
// this way, instead of with gumbo's own recursive teardown, keeps deeply nested pages from running
// the thread out of stack; blocks gumbo frees while parsing are reused. One arena per parse; not
// shared between threads.
//
// The arena is also how a parse is cut short: gumbo's time grows with the square of a page's nesting
// depth and of an element's attribute count, and it allocates all along, so the allocator checks a
// deadline and an abandon question now and then and, when either says stop, jumps back to where the
// parse began (parse below). Everything gumbo made lives in the arena, so nothing leaks.
class GumboArena {
public:
    using SteadyTime = std::chrono::steady_clock::time_point;

    GumboArena() = default;
    GumboArena(const GumboArena &) = delete;
    GumboArena &operator=(const GumboArena &) = delete;
    ~GumboArena();

    // The allocator and deallocator gumbo's options take, with the arena as userdata.
    static void *allocate(void *arena, std::size_t size);
    static void deallocate(void *arena, void *block);

    // Stop a parse when the deadline passes or abandoned() answers true.
    void setLimits(SteadyTime deadline, std::function<bool()> abandoned);
    bool stoppedByDeadline() const { return m_stoppedByDeadline; }
    bool stopped() const { return m_stopped; }

    // Blocks larger than this are allocations of their own, not carved from the arena's chunks (a text
    // of this length and more, with its terminating NUL).
    static constexpr std::size_t LargeBlockFrom = 64 * 1024;
    // Frees a block gumbo was given now, rather than with the arena, when it is a large one; a smaller
    // block stays. Says whether it was freed. For reading a parsed tree once through: its long texts
    // need not be held until the end.
    bool releaseLarge(const void *block);

    // gumbo_parse_with_options with the arena's options; nullptr when the limits stopped it.
    static const GumboInternalOutput *parse(const GumboInternalOptions *options, const char *text,
                                            std::size_t length, GumboArena &arena);

private:
    struct FreeBlock {
        FreeBlock *next;
    };

    static constexpr std::size_t HeaderSize = 16;
    static constexpr int SmallClasses = 16; // 16, 32, ... 256 bytes
    static constexpr int MediumClasses = 8; // 512 bytes ... 64 KiB
    static constexpr int ClassCount = SmallClasses + MediumClasses;
    static constexpr unsigned LargeClass = ClassCount; // straight from malloc
    static_assert(LargeBlockFrom == std::size_t(512) << (MediumClasses - 1));

    static int sizeClass(std::size_t size);
    static std::size_t classSize(int sizeClass);

    void *allocateBlock(std::size_t size);
    void releaseBlock(void *block);
    char *carve(std::size_t bytes);

    FreeBlock *freeLists[ClassCount] = {};
    std::vector<char *> chunks;
    std::vector<void *> largeBlocks; // slots of freed blocks are null
    char *cursor = nullptr;
    char *chunkEnd = nullptr;
    std::size_t nextChunkSize = 256 * 1024;

    bool checkLimits();

    SteadyTime m_deadline = SteadyTime::max();
    std::function<bool()> m_abandoned;
    std::jmp_buf *m_escape = nullptr;
    unsigned m_allocations = 0;
    bool m_stopped = false;
    bool m_stoppedByDeadline = false;
};

} // namespace diarytrawl::web
