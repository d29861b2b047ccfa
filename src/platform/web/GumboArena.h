#pragma once

#include <cstddef>
#include <vector>

namespace diarytrawl::web {

// The memory one gumbo parse allocates, all released at once when the arena goes. Freeing the tree
// this way, instead of with gumbo's own recursive teardown, keeps deeply nested pages from running
// the thread out of stack; blocks gumbo frees while parsing are reused. One arena per parse; not
// shared between threads.
class GumboArena {
public:
    GumboArena() = default;
    GumboArena(const GumboArena &) = delete;
    GumboArena &operator=(const GumboArena &) = delete;
    ~GumboArena();

    // The allocator and deallocator gumbo's options take, with the arena as userdata.
    static void *allocate(void *arena, std::size_t size);
    static void deallocate(void *arena, void *block);

private:
    struct FreeBlock {
        FreeBlock *next;
    };

    static constexpr std::size_t HeaderSize = 16;
    static constexpr int SmallClasses = 16; // 16, 32, ... 256 bytes
    static constexpr int MediumClasses = 8; // 512 bytes ... 64 KiB
    static constexpr int ClassCount = SmallClasses + MediumClasses;
    static constexpr unsigned LargeClass = ClassCount; // straight from malloc

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
};

} // namespace diarytrawl::web
