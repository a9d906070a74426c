// The small-block pool. Every chunk is 16 KiB on a 16 KiB boundary: its
// header sits at the start, so the chunk of a block is the block's address
// with the low 14 bits cleared. Chunks are small because every size class
// in use holds one partly filled chunk: a small document (the launcher's
// settings) would otherwise pay more for those than for its nodes. A set of
// the chunk addresses tells a pooled block from one of the system allocator
// (which can never lie inside a chunk). The pool is shared by every thread and guarded by one spin lock:
// two threads each working on a document of their own may allocate and free
// at the same time, and a body may be freed on another thread than the one
// that made it.
#include "Pool.h"

#include "velum/Collections.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <thread>

#ifdef _WIN32
#  include <windows.h>
#else
#  include <sys/mman.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#  define VELUM_POOL_ASAN 1
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer)
#    define VELUM_POOL_ASAN 1
#  endif
#endif

#ifdef VELUM_POOL_ASAN
// Free blocks and the untouched end of a chunk are poisoned, so that the
// address sanitizer still reports a use of a freed body (until its block is
// handed out again) and a block given back twice.
#  include <sanitizer/asan_interface.h>
#  define POOL_POISON(address, size) ASAN_POISON_MEMORY_REGION(address, size)
#  define POOL_UNPOISON(address, size) ASAN_UNPOISON_MEMORY_REGION(address, size)
#else
#  define POOL_POISON(address, size) ((void)(address), (void)(size))
#  define POOL_UNPOISON(address, size) ((void)(address), (void)(size))
#endif

namespace Velum {

namespace {

const std::uintptr_t kChunkBytes = 0x4000;
const std::size_t kGrain = 8;
const std::size_t kClassCount = kLargestPooled / kGrain;

struct Region;

struct FreeBlock {
    FreeBlock* next;
};

struct Chunk {
    PoolTree* tree;        // an arena chunk's tree, else null (read by PoolTreeOf)
    Chunk* next;           // chunks of the class that have room
    Chunk* prev;
    FreeBlock* freeList;   // blocks given back
    char* unused;          // blocks never handed out start here
    char* end;
    std::size_t blockBytes;
    unsigned live;         // blocks handed out (an arena chunk's: changed atomically)
    unsigned classIndex;
    bool listed;           // in its class's list of chunks with room
    bool arena;            // cut by a PoolArena: blocks of any size, never reused
    bool filling;          // the arena is still cutting from it
    Region* region;        // the mapping it was carved from
};
static_assert(offsetof(Chunk, tree) == 0, "PoolTreeOf reads the tree from a chunk's first word");
static_assert(kChunkBytes == 0x4000, "PoolTreeOf masks with the chunk size");

// The header takes a whole number of grains, so blocks stay 8-aligned.
const std::size_t kHeaderBytes = (sizeof(Chunk) + kGrain - 1) / kGrain * kGrain;

Chunk* g_withRoom[kClassCount];

// Open-addressed set of the chunk addresses (linear probing, 0 = empty).
std::uintptr_t* g_chunks = nullptr;
std::size_t g_chunkSlots = 0;   // a power of 2, or 0
std::size_t g_chunkCount = 0;

std::atomic<bool> g_locked(false);

class Lock {
public:
    Lock()
    {
        while (g_locked.exchange(true, std::memory_order_acquire))
            std::this_thread::yield();
    }
    ~Lock() { g_locked.store(false, std::memory_order_release); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
};

std::size_t SlotOf(std::uintptr_t chunk, std::size_t slots)
{
    // Fibonacci hashing of the chunk number.
    const std::uint64_t number = static_cast<std::uint64_t>(chunk / kChunkBytes);
    return static_cast<std::size_t>((number * 0x9E3779B97F4A7C15ull) >> 32) & (slots - 1);
}

bool IsChunk(std::uintptr_t chunk)
{
    if (g_chunkSlots == 0)
        return false;
    for (std::size_t slot = SlotOf(chunk, g_chunkSlots);; slot = (slot + 1) & (g_chunkSlots - 1)) {
        if (g_chunks[slot] == chunk)
            return true;
        if (g_chunks[slot] == 0)
            return false;
    }
}

void PlaceChunk(std::uintptr_t* slots, std::size_t count, std::uintptr_t chunk)
{
    std::size_t slot = SlotOf(chunk, count);
    while (slots[slot] != 0)
        slot = (slot + 1) & (count - 1);
    slots[slot] = chunk;
}

// False when the set cannot grow (memory ran out); the set is unchanged then.
bool AddChunk(std::uintptr_t chunk)
{
    // At most half full, so that every probe ends soon at an empty slot.
    if ((g_chunkCount + 1) * 2 > g_chunkSlots) {
        const std::size_t count = g_chunkSlots != 0 ? g_chunkSlots * 2 : 64;
        std::uintptr_t* slots = static_cast<std::uintptr_t*>(std::calloc(count, sizeof(std::uintptr_t)));
        if (slots == nullptr)
            return false;
        for (std::size_t i = 0; i < g_chunkSlots; ++i) {
            if (g_chunks[i] != 0)
                PlaceChunk(slots, count, g_chunks[i]);
        }
        std::free(g_chunks);
        g_chunks = slots;
        g_chunkSlots = count;
    }
    PlaceChunk(g_chunks, g_chunkSlots, chunk);
    ++g_chunkCount;
    return true;
}

void RemoveChunk(std::uintptr_t chunk)
{
    const std::size_t mask = g_chunkSlots - 1;
    std::size_t slot = SlotOf(chunk, g_chunkSlots);
    while (g_chunks[slot] != chunk)
        slot = (slot + 1) & mask;
    g_chunks[slot] = 0;
    --g_chunkCount;
    // Moves the entries of the run after the hole back where a lookup that
    // starts at their home slot still finds them.
    for (std::size_t next = (slot + 1) & mask; g_chunks[next] != 0; next = (next + 1) & mask) {
        const std::size_t home = SlotOf(g_chunks[next], g_chunkSlots);
        const bool reachable = slot <= next ? (home > slot && home <= next) : (home > slot || home <= next);
        if (!reachable) {
            g_chunks[slot] = g_chunks[next];
            g_chunks[next] = 0;
            slot = next;
        }
    }
}

// Chunks are carved from regions of kChunksPerRegion chunks, mapped whole
// (pages are only made resident when touched): under Wine every mapping is a
// trip to the system that costs more than filling the chunk, and freeing a
// large tree would otherwise unmap each of its chunks in turn. The region's
// header takes its first chunk's place; a region whose chunks are all
// empty is unmapped, unless it is the only one with room.
const std::size_t kChunksPerRegion = 64;
const std::size_t kRegionBytes = kChunksPerRegion * kChunkBytes;

struct Region {
    Region* next;          // regions with chunks to hand out
    Region* prev;
    void* emptyChunks;     // chunks given back, linked through their first word
    unsigned inUse;        // chunks handed out
    unsigned carved;       // chunks handed out at least once
    bool listed;
};

Region* g_regionsWithRoom = nullptr;

void* SystemRegion()
{
#ifdef _WIN32
    // VirtualAlloc hands out regions on 64 KiB boundaries.
    return VirtualAlloc(nullptr, kRegionBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
#else
    // One chunk more, then the parts before and after the aligned region go
    // back.
    const std::size_t mapped = kRegionBytes + kChunkBytes;
    char* area = static_cast<char*>(mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (area == MAP_FAILED)
        return nullptr;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(area);
    char* region = area + ((kChunkBytes - (start & (kChunkBytes - 1))) & (kChunkBytes - 1));
    if (region != area)
        munmap(area, static_cast<std::size_t>(region - area));
    char* tail = region + kRegionBytes;
    if (tail != area + mapped)
        munmap(tail, static_cast<std::size_t>(area + mapped - tail));
    return region;
#endif
}

void FreeSystemRegion(void* memory)
{
#ifdef _WIN32
    VirtualFree(memory, 0, MEM_RELEASE);
#else
    munmap(memory, kRegionBytes);
#endif
}

void ListRegion(Region* region)
{
    region->prev = nullptr;
    region->next = g_regionsWithRoom;
    if (region->next != nullptr)
        region->next->prev = region;
    g_regionsWithRoom = region;
    region->listed = true;
}

void UnlistRegion(Region* region)
{
    if (region->prev != nullptr)
        region->prev->next = region->next;
    else
        g_regionsWithRoom = region->next;
    if (region->next != nullptr)
        region->next->prev = region->prev;
    region->next = region->prev = nullptr;
    region->listed = false;
}

// An empty chunk and the region it lies in, or null when memory runs out.
void* TakeChunk(Region*& owner)
{
    Region* region = g_regionsWithRoom;
    if (region == nullptr) {
        region = static_cast<Region*>(SystemRegion());
        if (region == nullptr)
            return nullptr;
        region->emptyChunks = nullptr;
        region->inUse = 0;
        region->carved = 0;
        ListRegion(region);
    }
    void* chunk = region->emptyChunks;
    if (chunk != nullptr)
        region->emptyChunks = *static_cast<void**>(chunk);
    else
        chunk = reinterpret_cast<char*>(region) + (1 + region->carved++) * kChunkBytes;
    ++region->inUse;
    if (region->emptyChunks == nullptr && region->carved == kChunksPerRegion - 1)
        UnlistRegion(region);
    owner = region;
    POOL_UNPOISON(chunk, kHeaderBytes);
    return chunk;
}

void GiveChunkBack(void* chunk, Region* region)
{
    *static_cast<void**>(chunk) = region->emptyChunks;
    region->emptyChunks = chunk;
    // A body used after its chunk went back is reported, not read.
    POOL_POISON(static_cast<char*>(chunk) + sizeof(void*), kChunkBytes - sizeof(void*));
    --region->inUse;
    if (!region->listed)
        ListRegion(region);
    if (region->inUse == 0 && (region->next != nullptr || region->prev != nullptr)) {
        UnlistRegion(region);
        POOL_UNPOISON(region, kRegionBytes);
        FreeSystemRegion(region);
    }
}

void Unlist(Chunk* chunk)
{
    if (chunk->prev != nullptr)
        chunk->prev->next = chunk->next;
    else
        g_withRoom[chunk->classIndex] = chunk->next;
    if (chunk->next != nullptr)
        chunk->next->prev = chunk->prev;
    chunk->next = chunk->prev = nullptr;
    chunk->listed = false;
}

void List(Chunk* chunk)
{
    chunk->prev = nullptr;
    chunk->next = g_withRoom[chunk->classIndex];
    if (chunk->next != nullptr)
        chunk->next->prev = chunk;
    g_withRoom[chunk->classIndex] = chunk;
    chunk->listed = true;
}

// A chunk taken from a region and entered in the chunk set, its header
// cleared and the rest poisoned, or null when memory runs out; the lock is
// held.
Chunk* FreshChunk()
{
    Region* region = nullptr;
    void* memory = TakeChunk(region);
    if (memory == nullptr)
        return nullptr;
    if (!AddChunk(reinterpret_cast<std::uintptr_t>(memory))) {
        GiveChunkBack(memory, region);
        return nullptr;
    }
    Chunk* chunk = static_cast<Chunk*>(memory);
    chunk->tree = nullptr;
    chunk->next = chunk->prev = nullptr;
    chunk->freeList = nullptr;
    chunk->unused = static_cast<char*>(memory) + kHeaderBytes;
    chunk->end = static_cast<char*>(memory) + kChunkBytes;
    chunk->blockBytes = 0;
    chunk->live = 0;
    chunk->classIndex = 0;
    chunk->listed = false;
    chunk->arena = false;
    chunk->filling = false;
    chunk->region = region;
    POOL_POISON(chunk->unused, chunk->end - chunk->unused);
    return chunk;
}

Chunk* NewChunk(std::size_t classIndex)
{
    Chunk* chunk = FreshChunk();
    if (chunk == nullptr)
        return nullptr;
    chunk->blockBytes = (classIndex + 1) * kGrain;
    chunk->classIndex = static_cast<unsigned>(classIndex);
    List(chunk);
    return chunk;
}

}  // namespace

namespace {

// The innermost arena of the thread, read on every allocation while any
// thread has one open. On ELF systems a thread_local in the initial-exec
// model is one load from the thread pointer. MinGW reaches a thread_local
// through its emulation, a chain of runtime calls per access; the system's
// own slot is a few loads from the thread's block instead.
#ifdef _WIN32
const DWORD g_arenaSlot = TlsAlloc();

inline PoolArena* CurrentArena()
{
    if (g_arenaSlot == TLS_OUT_OF_INDEXES)
        return nullptr;
    // TlsGetValue clears the thread's last error, which a caller between a
    // failed call and its GetLastError must still find.
    const DWORD lastError = GetLastError();
    PoolArena* arena = static_cast<PoolArena*>(TlsGetValue(g_arenaSlot));
    SetLastError(lastError);
    return arena;
}

inline bool SetCurrentArena(PoolArena* arena)
{
    return g_arenaSlot != TLS_OUT_OF_INDEXES && TlsSetValue(g_arenaSlot, arena) != 0;
}
#else
#  if defined(__ELF__)
__attribute__((tls_model("initial-exec")))
#  endif
thread_local PoolArena* t_arena = nullptr;

inline PoolArena* CurrentArena()
{
    return t_arena;
}

inline bool SetCurrentArena(PoolArena* arena)
{
    t_arena = arena;
    return true;
}
#endif

// Arenas open on any thread: while there is none, an allocation does not
// read the thread's own (a call into the runtime on Windows).
std::atomic<unsigned> g_openArenas(0);

#ifdef _WIN32
// While a single arena is open in the whole process, its thread finds it by
// the address of its own thread block, which needs no call at all; any
// other thread, or more arenas, read the slot. Set by the thread that opens
// the only arena, cleared when a second one opens, a pause starts or it
// closes: another thread never matches, and its own thread sees its own
// writes.
std::atomic<void*> g_soleThread(nullptr);
std::atomic<PoolArena*> g_soleArena(nullptr);
#endif

#ifdef _WIN32
// The thread's own block; GCC takes the header's read of it through the
// segment register for an access past an empty array.
#  pragma GCC diagnostic push
#  pragma GCC diagnostic ignored "-Warray-bounds"
inline void* ThisThread()
{
    return NtCurrentTeb();
}
#  pragma GCC diagnostic pop
#endif

inline PoolArena* ThreadArena()
{
#ifdef _WIN32
    if (g_soleThread.load(std::memory_order_relaxed) == ThisThread())
        return g_soleArena.load(std::memory_order_relaxed);
#endif
    return CurrentArena();
}

Chunk* ChunkOf(const void* block)
{
    return reinterpret_cast<Chunk*>(reinterpret_cast<std::uintptr_t>(block) & ~(kChunkBytes - 1));
}

// A tree's bookkeeping, once its last chunk has gone (or been swept).
void FreeTree(PoolTree* tree)
{
    std::free(tree->kept);
    std::free(tree);
}

// Gives an arena chunk back to its region; the lock is held. The tree's
// bookkeeping goes with its last chunk once its arena is closed.
void FreeArenaChunk(Chunk* chunk)
{
    PoolTree* tree = chunk->tree;
    if (chunk->prev != nullptr)
        chunk->prev->next = chunk->next;
    else
        tree->firstChunk = chunk->next;
    if (chunk->next != nullptr)
        chunk->next->prev = chunk->prev;
    --tree->chunks;
    RemoveChunk(reinterpret_cast<std::uintptr_t>(chunk));
    POOL_UNPOISON(chunk, kChunkBytes);
    GiveChunkBack(chunk, chunk->region);
    if (tree->chunks == 0 && !tree->open)
        FreeTree(tree);
}

// The arena moves on from chunk, having cut `cut` blocks from it. Until
// now releases only counted down from 0 (the count wraps below it, and so
// cannot reach 0 while the chunk is filling); from now on it is the number
// of blocks in use, and the chunk goes with the last of them.
void LeaveArenaChunk(Chunk* chunk, unsigned cut)
{
    Lock lock;
    chunk->filling = false;
    if (__atomic_add_fetch(&chunk->live, cut, __ATOMIC_ACQ_REL) == 0)
        FreeArenaChunk(chunk);
}

// One block of an arena chunk is back.
void ReleaseArenaBlock(Chunk* chunk, void* block, std::size_t bytes, bool locked)
{
#ifdef VELUM_POOL_ASAN
    if (__asan_address_is_poisoned(block))
        __asan_report_error(__builtin_return_address(0), nullptr, nullptr, block, 1, 1);
#endif
    POOL_POISON(block, bytes);
    if (__atomic_sub_fetch(&chunk->live, 1, __ATOMIC_ACQ_REL) != 0)
        return;
    if (locked) {
        FreeArenaChunk(chunk);
        return;
    }
    Lock lock;
    FreeArenaChunk(chunk);
}

std::size_t ArenaSize(std::size_t bytes)
{
    return bytes != 0 ? (bytes + kGrain - 1) & ~(kGrain - 1) : kGrain;
}

}  // namespace

PoolArena::PoolArena()
    : m_outer(CurrentArena()), m_tree(nullptr), m_chunk(nullptr), m_next(nullptr), m_end(nullptr), m_cut(0)
{
    m_tree = static_cast<PoolTree*>(std::malloc(sizeof(PoolTree)));
    if (m_tree == nullptr)
        return;  // no arena: the size classes serve as before
    m_tree->pins = 0;
    m_tree->foreign = 0;
    m_tree->tainted = false;
    m_tree->kept = nullptr;
    m_tree->keptCount = 0;
    m_tree->keptCapacity = 0;
    m_tree->chunks = 0;
    m_tree->open = true;
    m_tree->firstChunk = nullptr;
    if (!SetCurrentArena(this)) {
        std::free(m_tree);
        m_tree = nullptr;
        return;
    }
#ifdef _WIN32
    if (g_openArenas.fetch_add(1, std::memory_order_relaxed) == 0) {
        g_soleArena.store(this, std::memory_order_relaxed);
        g_soleThread.store(ThisThread(), std::memory_order_relaxed);
    } else {
        g_soleThread.store(nullptr, std::memory_order_relaxed);
    }
#else
    g_openArenas.fetch_add(1, std::memory_order_relaxed);
#endif
}

PoolArena::~PoolArena()
{
    if (m_tree == nullptr)
        return;
    SetCurrentArena(m_outer);
#ifdef _WIN32
    if (g_soleArena.load(std::memory_order_relaxed) == this)
        g_soleThread.store(nullptr, std::memory_order_relaxed);
#endif
    g_openArenas.fetch_sub(1, std::memory_order_relaxed);
    if (m_chunk != nullptr)
        LeaveArenaChunk(static_cast<Chunk*>(m_chunk), m_cut);
    Lock lock;
    m_tree->open = false;
    if (m_tree->chunks == 0)
        FreeTree(m_tree);
}

inline void* PoolArena::take(std::size_t bytes)
{
    const std::size_t size = ArenaSize(bytes);
    if (static_cast<std::size_t>(m_end - m_next) < size)
        return takeFromNewChunk(size);
    void* block = m_next;
    m_next += size;
    ++m_cut;
    POOL_UNPOISON(block, size);
    return block;
}

__attribute__((noinline)) void* PoolArena::takeFromNewChunk(std::size_t size)
{
    Chunk* chunk;
    {
        Lock lock;
        chunk = FreshChunk();
        if (chunk == nullptr)
            return nullptr;
        chunk->arena = true;
        chunk->filling = true;
        chunk->tree = m_tree;
        chunk->next = static_cast<Chunk*>(m_tree->firstChunk);
        if (chunk->next != nullptr)
            chunk->next->prev = chunk;
        m_tree->firstChunk = chunk;
        ++m_tree->chunks;
    }
    if (m_chunk != nullptr)
        LeaveArenaChunk(static_cast<Chunk*>(m_chunk), m_cut);
    m_chunk = chunk;
    m_next = chunk->unused + size;
    m_end = chunk->end;
    m_cut = 1;
    POOL_UNPOISON(chunk->unused, size);
    return chunk->unused;
}

bool PoolArenaTakes(std::size_t bytes)
{
    return g_openArenas.load(std::memory_order_relaxed) != 0 && bytes <= kLargestInArena && ThreadArena() != nullptr;
}

bool PoolSweepTree(PoolTree* tree)
{
    if (tree->open || tree->pins != 0 || tree->foreign != 0 || tree->tainted)
        return false;
    Lock lock;
    // The chunks still filling belong to an open arena, so none is here.
    Chunk* chunk = static_cast<Chunk*>(tree->firstChunk);
    while (chunk != nullptr) {
        Chunk* next = chunk->next;
        RemoveChunk(reinterpret_cast<std::uintptr_t>(chunk));
        POOL_UNPOISON(chunk, kChunkBytes);
        GiveChunkBack(chunk, chunk->region);
        chunk = next;
    }
    for (unsigned i = 0; i < tree->keptCount; ++i)
        std::free(tree->kept[i]);
    FreeTree(tree);
    return true;
}

bool PoolTreeKeep(PoolTree* tree, void* block)
{
    if (tree->keptCount == tree->keptCapacity) {
        const unsigned capacity = tree->keptCapacity != 0 ? tree->keptCapacity * 2 : 8;
        void** kept = static_cast<void**>(std::realloc(tree->kept, capacity * sizeof(void*)));
        if (kept == nullptr)
            return false;
        tree->kept = kept;
        tree->keptCapacity = capacity;
    }
    tree->kept[tree->keptCount++] = block;
    return true;
}

void PoolTreeForget(PoolTree* tree, void* block)
{
    for (unsigned i = tree->keptCount; i > 0; --i) {
        if (tree->kept[i - 1] == block) {
            tree->kept[i - 1] = tree->kept[--tree->keptCount];
            return;
        }
    }
}

PoolArenaPause::PoolArenaPause() : m_paused(g_openArenas.load(std::memory_order_relaxed) != 0 ? ThreadArena() : nullptr)
{
    if (m_paused != nullptr) {
#ifdef _WIN32
        // The arena is found through the slot from now on.
        if (g_soleArena.load(std::memory_order_relaxed) == m_paused)
            g_soleThread.store(nullptr, std::memory_order_relaxed);
#endif
        SetCurrentArena(nullptr);
    }
}

PoolArenaPause::~PoolArenaPause()
{
    if (m_paused != nullptr)
        SetCurrentArena(m_paused);
}

namespace {

__attribute__((noinline)) void* AllocateFromClass(std::size_t bytes)
{
    const std::size_t classIndex = bytes != 0 ? (bytes - 1) / kGrain : 0;
    Lock lock;
    Chunk* chunk = g_withRoom[classIndex];
    if (chunk == nullptr) {
        chunk = NewChunk(classIndex);
        if (chunk == nullptr)
            return nullptr;
    }
    void* block;
    if (chunk->freeList != nullptr) {
        FreeBlock* given = chunk->freeList;
        POOL_UNPOISON(given, chunk->blockBytes);
        chunk->freeList = given->next;
        block = given;
    } else {
        block = chunk->unused;
        POOL_UNPOISON(block, chunk->blockBytes);
        chunk->unused += chunk->blockBytes;
    }
    ++chunk->live;
    // A full chunk leaves the list until a block comes back to it.
    if (chunk->freeList == nullptr && static_cast<std::size_t>(chunk->end - chunk->unused) < chunk->blockBytes)
        Unlist(chunk);
    return block;
}

}  // namespace

namespace {

inline void* Allocate(std::size_t bytes)
{
    if (g_openArenas.load(std::memory_order_relaxed) != 0 && bytes <= kLargestInArena) {
        if (PoolArena* arena = ThreadArena())
            return arena->take(bytes);
    }
    if (bytes > kLargestPooled)
        return std::malloc(bytes);
    return AllocateFromClass(bytes);
}

}  // namespace

void* PoolAllocate(std::size_t bytes)
{
    return Allocate(bytes);
}

namespace {

// Takes a pooled block back; the lock is held.
void GiveBack(Chunk* chunk, void* block)
{
#ifdef VELUM_POOL_ASAN
    // A block given back twice is already poisoned: let the sanitizer
    // report it as the double free it is.
    if (__asan_address_is_poisoned(block))
        __asan_report_error(__builtin_return_address(0), nullptr, nullptr, block, 1, 1);
#endif
    FreeBlock* given = static_cast<FreeBlock*>(block);
    given->next = chunk->freeList;
    chunk->freeList = given;
    POOL_POISON(block, chunk->blockBytes);
    --chunk->live;
    if (!chunk->listed)
        List(chunk);
    // An empty chunk goes back to the system unless it is its class's only
    // chunk with room.
    if (chunk->live == 0 && (chunk->next != nullptr || chunk->prev != nullptr)) {
        Unlist(chunk);
        RemoveChunk(reinterpret_cast<std::uintptr_t>(chunk));
        POOL_UNPOISON(chunk, kChunkBytes);
        GiveChunkBack(chunk, chunk->region);
    }
}


}  // namespace

void PoolRelease(void* block)
{
    if (block == nullptr)
        return;
    Chunk* chunk = ChunkOf(block);
    Lock lock;
    if (!IsChunk(reinterpret_cast<std::uintptr_t>(chunk)))
        std::free(block);
    else if (chunk->arena)
        ReleaseArenaBlock(chunk, block, kGrain, true);  // its size is unknown here
    else
        GiveBack(chunk, block);
}

void PoolReleaseSized(void* block, std::size_t bytes)
{
    if (block == nullptr)
        return;
    Chunk* chunk = ChunkOf(block);
    if (bytes > kLargestPooled) {
        // Only an arena cuts blocks this large from a chunk.
        Lock lock;
        if (bytes <= kLargestInArena && IsChunk(reinterpret_cast<std::uintptr_t>(chunk)))
            ReleaseArenaBlock(chunk, block, ArenaSize(bytes), true);
        else
            std::free(block);
        return;
    }
    if (chunk->arena) {
        ReleaseArenaBlock(chunk, block, ArenaSize(bytes), false);
        return;
    }
    Lock lock;
    GiveBack(chunk, block);
}

// ---------------------------------------------------------------------------
// Bodies and map entries come from the pool

namespace {

void* PooledOrThrow(std::size_t bytes)
{
    void* block = Allocate(bytes);
    if (block == nullptr)
        throw VelumException(VelumException::OUT_OF_MEMORY_ERR);
    return block;
}

}  // namespace

// The sized forms get the size of the whole object (the destructors are
// virtual), so the chunk set need not be asked.
void* Instance::operator new(std::size_t bytes) { return PooledOrThrow(bytes); }
void* Instance::operator new(std::size_t bytes, const std::nothrow_t&) noexcept { return Allocate(bytes); }
void Instance::operator delete(void* block, std::size_t bytes) noexcept { PoolReleaseSized(block, bytes); }
void Instance::operator delete(void* block, const std::nothrow_t&) noexcept { PoolRelease(block); }

void* LISTITEM::operator new(std::size_t bytes) { return PooledOrThrow(bytes); }
void* LISTITEM::operator new(std::size_t bytes, const std::nothrow_t&) noexcept { return Allocate(bytes); }
void LISTITEM::operator delete(void* block, std::size_t bytes) noexcept { PoolReleaseSized(block, bytes); }
void LISTITEM::operator delete(void* block, const std::nothrow_t&) noexcept { PoolRelease(block); }

}  // namespace Velum
