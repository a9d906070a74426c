// Small fixed-size blocks for the command table's many little objects (the
// entries and the arrays of their line lists), taken from large chunks
// instead of one heap call each: under Wine a heap call costs as much as
// filling the block several times over.
#pragma once

#include <cstddef>
#include <new>

namespace korra {

// Blocks of up to this many bytes come from the chunks; larger ones from
// operator new.
constexpr std::size_t kSmallBlockLimit = 256;

// A block of bytes bytes (bytes > 0); std::bad_alloc when memory runs out.
// Blocks are given back with SmallBlockFree and the same bytes; the memory
// of given-back blocks is kept for later blocks of the same size class and
// never returned to the system while the program runs.
void* SmallBlockAllocate(std::size_t bytes);
void SmallBlockFree(void* block, std::size_t bytes) noexcept;

// Asked before each block is handed out; true makes that allocation throw
// std::bad_alloc, as when memory runs out (tests). Null, the default,
// fails nothing.
using SmallBlockFaultHook = bool (*)(std::size_t bytes);
void SetSmallBlockFaultHook(SmallBlockFaultHook hook);

// The allocator of containers whose arrays are mostly small.
template <typename T>
struct SmallBlockAllocator {
    using value_type = T;
    SmallBlockAllocator() noexcept = default;
    template <typename U>
    SmallBlockAllocator(const SmallBlockAllocator<U>&) noexcept
    {
    }
    T* allocate(std::size_t count)
    {
        if (count > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_alloc();
        return static_cast<T*>(SmallBlockAllocate(count * sizeof(T)));
    }
    void deallocate(T* block, std::size_t count) noexcept { SmallBlockFree(block, count * sizeof(T)); }
};

template <typename T, typename U>
bool operator==(const SmallBlockAllocator<T>&, const SmallBlockAllocator<U>&) noexcept
{
    return true;
}
template <typename T, typename U>
bool operator!=(const SmallBlockAllocator<T>&, const SmallBlockAllocator<U>&) noexcept
{
    return false;
}

}  // namespace korra
