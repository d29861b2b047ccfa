// SPDX-License-Identifier: GPL-3.0-or-later
#include "GumboArena.h"

#include <gumbo.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace diarytrawl::web {

namespace {

// What precedes every block: its size class and, for large blocks, its slot in largeBlocks.
struct Header {
    std::uint32_t sizeClass;
    std::uint32_t unused;
    std::uint64_t largeSlot;
};
static_assert(sizeof(Header) == 16);

constexpr std::size_t MaxChunkSize = 8 * 1024 * 1024;

} // namespace

GumboArena::~GumboArena()
{
    for (char *chunk : chunks)
        std::free(chunk);
    for (void *block : largeBlocks)
        std::free(block);
}

int GumboArena::sizeClass(std::size_t size)
{
    if (size <= 256)
        return size == 0 ? 0 : int((size - 1) / 16);
    std::size_t classBytes = 512;
    for (int medium = 0; medium < MediumClasses; ++medium, classBytes *= 2) {
        if (size <= classBytes)
            return SmallClasses + medium;
    }
    return int(LargeClass);
}

std::size_t GumboArena::classSize(int sizeClass)
{
    if (sizeClass < SmallClasses)
        return std::size_t(sizeClass + 1) * 16;
    return std::size_t(512) << (sizeClass - SmallClasses);
}

char *GumboArena::carve(std::size_t bytes)
{
    if (std::size_t(chunkEnd - cursor) < bytes || cursor == nullptr) {
        std::size_t size = nextChunkSize;
        while (size < bytes)
            size *= 2;
        char *chunk = static_cast<char *>(std::malloc(size));
        if (!chunk)
            throw std::bad_alloc();
        chunks.push_back(chunk);
        cursor = chunk;
        chunkEnd = chunk + size;
        if (nextChunkSize < MaxChunkSize)
            nextChunkSize *= 2;
    }
    char *block = cursor;
    cursor += bytes;
    return block;
}

void *GumboArena::allocateBlock(std::size_t size)
{
    const int blockClass = sizeClass(size);
    if (blockClass == int(LargeClass)) {
        auto *raw = static_cast<char *>(std::malloc(HeaderSize + size));
        if (!raw)
            throw std::bad_alloc();
        auto *header = reinterpret_cast<Header *>(raw);
        header->sizeClass = LargeClass;
        header->largeSlot = largeBlocks.size();
        largeBlocks.push_back(raw);
        return raw + HeaderSize;
    }
    if (FreeBlock *reused = freeLists[blockClass]) {
        freeLists[blockClass] = reused->next;
        return reused;
    }
    char *raw = carve(HeaderSize + classSize(blockClass));
    auto *header = reinterpret_cast<Header *>(raw);
    header->sizeClass = std::uint32_t(blockClass);
    header->largeSlot = 0;
    return raw + HeaderSize;
}

void GumboArena::releaseBlock(void *block)
{
    if (!block)
        return;
    char *raw = static_cast<char *>(block) - HeaderSize;
    auto *header = reinterpret_cast<Header *>(raw);
    if (header->sizeClass == LargeClass) {
        largeBlocks[header->largeSlot] = nullptr;
        std::free(raw);
        return;
    }
    auto *freed = static_cast<FreeBlock *>(block);
    freed->next = freeLists[header->sizeClass];
    freeLists[header->sizeClass] = freed;
}

bool GumboArena::releaseLarge(const void *block)
{
    if (!block)
        return false;
    const char *raw = static_cast<const char *>(block) - HeaderSize;
    const auto *header = reinterpret_cast<const Header *>(raw);
    if (header->sizeClass != LargeClass || header->largeSlot >= largeBlocks.size() ||
        largeBlocks[header->largeSlot] != raw)
        return false;
    releaseBlock(const_cast<void *>(block));
    return true;
}

void GumboArena::setLimits(SteadyTime deadline, std::function<bool()> abandoned)
{
    m_deadline = deadline;
    m_abandoned = std::move(abandoned);
}

bool GumboArena::checkLimits()
{
    // Asking the clock costs more than an allocation: only now and then.
    if (++m_allocations % 256 != 0 || !m_escape)
        return false;
    m_stoppedByDeadline = std::chrono::steady_clock::now() > m_deadline;
    m_stopped = m_stoppedByDeadline || (m_abandoned && m_abandoned());
    return m_stopped;
}

void *GumboArena::allocate(void *arena, std::size_t size)
{
    auto *self = static_cast<GumboArena *>(arena);
    if (self->checkLimits())
        std::longjmp(*self->m_escape, 1); // only gumbo's C frames lie between here and parse
    // gumbo is C and cannot take an exception through its frames: out of memory ends the program,
    // as it would inside gumbo with its own allocator.
    try {
        return self->allocateBlock(size);
    } catch (const std::bad_alloc &) {
        std::abort();
    }
}

// Nothing with a destructor may live in this frame: the allocator may jump back into it.
const GumboOutput *GumboArena::parse(const GumboOptions *options, const char *text, std::size_t length,
                                     GumboArena &arena)
{
    std::jmp_buf escape;
    arena.m_escape = &escape;
    if (setjmp(escape) != 0) {
        arena.m_escape = nullptr;
        return nullptr;
    }
    const GumboOutput *output = gumbo_parse_with_options(options, text, length);
    arena.m_escape = nullptr;
    return output;
}

void GumboArena::deallocate(void *arena, void *block)
{
    static_cast<GumboArena *>(arena)->releaseBlock(block);
}

} // namespace diarytrawl::web
