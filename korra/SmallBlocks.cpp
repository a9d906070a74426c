#include "korra/SmallBlocks.h"

#include <atomic>

namespace korra {

namespace {

constexpr std::size_t kGrain = 16;
constexpr std::size_t kClassCount = kSmallBlockLimit / kGrain;
constexpr std::size_t kChunkBytes = 64 * 1024;

struct FreeBlock {
    FreeBlock* next;
};

// The chunks are never freed: blocks given back wait on their class's list
// for the next block of that class. Plain data, so that it is ready before
// any constructor runs and outlives every destructor.
struct Pool {
    FreeBlock* free[kClassCount];
    char* next;  // the unused rest of the newest chunk
    char* end;
    std::atomic_flag busy;
};

Pool g_pool = {{}, nullptr, nullptr, ATOMIC_FLAG_INIT};
SmallBlockFaultHook g_faultHook = nullptr;

// The launcher has one thread; the lock only keeps a stray second one from
// tearing the lists.
class Hold {
public:
    Hold()
    {
        while (g_pool.busy.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~Hold() { g_pool.busy.clear(std::memory_order_release); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
};

std::size_t ClassOf(std::size_t bytes)
{
    return (bytes + kGrain - 1) / kGrain - 1;
}

}  // namespace

void* SmallBlockAllocate(std::size_t bytes)
{
    if (g_faultHook != nullptr && g_faultHook(bytes))
        throw std::bad_alloc();
    if (bytes == 0 || bytes > kSmallBlockLimit)
        return ::operator new(bytes == 0 ? 1 : bytes);
    const std::size_t size = ClassOf(bytes);
    Hold hold;
    if (FreeBlock* block = g_pool.free[size]) {
        // A list given back long ago is cold: each block's link would be a
        // wait on memory when its turn comes. The next one is fetched now,
        // while the caller fills this one (null is never touched).
        g_pool.free[size] = block->next;
        __builtin_prefetch(block->next);
        return block;
    }
    const std::size_t rounded = (size + 1) * kGrain;
    if (static_cast<std::size_t>(g_pool.end - g_pool.next) < rounded) {
        // The rest of the old chunk is left unused: at most one block of
        // the largest class.
        char* chunk = static_cast<char*>(::operator new(kChunkBytes));
        g_pool.next = chunk;
        g_pool.end = chunk + kChunkBytes;
    }
    void* block = g_pool.next;
    g_pool.next += rounded;
    return block;
}

void SmallBlockFree(void* block, std::size_t bytes) noexcept
{
    if (block == nullptr)
        return;
    if (bytes == 0 || bytes > kSmallBlockLimit) {
        ::operator delete(block);
        return;
    }
    const std::size_t size = ClassOf(bytes);
    Hold hold;
    FreeBlock* freed = static_cast<FreeBlock*>(block);
    freed->next = g_pool.free[size];
    g_pool.free[size] = freed;
}

void SetSmallBlockFaultHook(SmallBlockFaultHook hook)
{
    g_faultHook = hook;
}

}  // namespace korra
