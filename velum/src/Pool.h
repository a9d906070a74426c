// Small blocks for the library's bodies and short strings. A parsed tree is
// made of many blocks of a few dozen bytes; taking each from the system
// allocator costs a header and a search per block and as much again to free
// it. Blocks of up to kLargestPooled bytes come instead from 16 KiB chunks,
// one size class (a multiple of 8 bytes) per chunk; larger ones go to the
// system allocator. PoolRelease tells the two apart by the chunk a pointer
// lies in, so callers need not remember a block's size.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Velum {

const std::size_t kLargestPooled = 256;

// A block of at least bytes bytes, 8-byte aligned, or null when memory runs
// out. 0 bytes gives a block of 8.
void* PoolAllocate(std::size_t bytes);

// Gives back a block of PoolAllocate; null is ignored. A chunk whose last
// block comes back goes back to the system, unless it is the only chunk
// left with room in its size class (a tree built and freed again and again
// then does not take and return the same chunk each time).
void PoolRelease(void* block);

// PoolRelease for a caller that knows the size it asked for: a block of at
// most kLargestPooled bytes is known to be pooled, so the chunk set is not
// consulted.
void PoolReleaseSized(void* block, std::size_t bytes);

// While one of these is alive, the blocks of up to kLargestInArena bytes
// its thread asks for are cut one after another from chunks of their own
// ("arena chunks") instead of coming from the size classes: a parse makes
// its whole tree that way, packed without per-class slack and at the cost
// of a pointer bump. Each arena chunk counts its blocks still in use and
// goes back to the system when the last one is released (after the arena
// has moved on from it), so a body a handle still holds keeps only its own
// chunk. Blocks are released as any other. Scopes nest; the innermost one
// is in force.
//
// The chunks of one arena also make one PoolTree, which can be freed whole
// in one sweep, without visiting its bodies, when nothing outside it holds
// anything inside it and nothing inside it holds anything outside:
// - pins counts the references to its bodies and strings held from
//   outside (handles, string handles, bodies of other trees or of none);
// - foreign counts the references its bodies hold to bodies and strings
//   outside it (which a sweep would not release).
// The handle and link code keeps both; see the helpers in TreeMemory.h.
const std::size_t kLargestInArena = 2048;

struct PoolTree {
    long pins;
    long foreign;
    bool tainted;          // a body of it holds a block from outside it
    void** kept;           // large blocks of its bodies, freed by a sweep
    unsigned keptCount;
    unsigned keptCapacity;
    unsigned chunks;       // arena chunks still mapped
    bool open;             // its arena is still cutting blocks
    void* firstChunk;      // the chunks, linked through their headers
};

class PoolArena {
public:
    PoolArena();
    ~PoolArena();
    PoolArena(const PoolArena&) = delete;
    PoolArena& operator=(const PoolArena&) = delete;

    // The next block of the arena (PoolAllocate's way in), or null when
    // memory runs out.
    void* take(std::size_t bytes);

private:
    void* takeFromNewChunk(std::size_t size);

    PoolArena* m_outer;
    PoolTree* m_tree;  // null when its bookkeeping could not be allocated (no arena then)
    void* m_chunk;   // the chunk being filled, or null
    char* m_next;
    char* m_end;
    unsigned m_cut;  // blocks cut from m_chunk so far
};

// True while the thread's arena would take a block of bytes bytes.
bool PoolArenaTakes(std::size_t bytes);

// The tree of an arena block, or null for any other pooled block. block
// must come from PoolAllocate with at most kLargestPooled bytes, or from an
// arena (whatever its size): such a block always lies in a 16 KiB chunk,
// whose header starts with that tree (null in a size-class chunk).
inline PoolTree* PoolTreeOf(const void* block)
{
    const std::uintptr_t chunk = reinterpret_cast<std::uintptr_t>(block) & ~static_cast<std::uintptr_t>(0x3FFF);
    return *reinterpret_cast<PoolTree* const*>(chunk);
}

// Large blocks (of the system allocator) that bodies of tree hold, such as
// the directory of a long child list: a sweep frees them with the chunks.
// PoolTreeKeep is false when the record cannot grow (then the caller must
// keep the tree from being swept); PoolTreeForget is for a kept block that
// its body frees itself, and ignores any other.
bool PoolTreeKeep(PoolTree* tree, void* block);
void PoolTreeForget(PoolTree* tree, void* block);

// Frees every chunk of tree at once, and tree itself, when its arena is
// closed and no pin nor foreign reference is left; false (and nothing
// done) otherwise. The bodies in it are not destroyed: the caller knows
// that everything they hold lies in the same chunks.
bool PoolSweepTree(PoolTree* tree);

// Suspends the thread's arena: what is made meanwhile (an error message
// kept past the parse) comes from the size classes.
class PoolArenaPause {
public:
    PoolArenaPause();
    ~PoolArenaPause();
    PoolArenaPause(const PoolArenaPause&) = delete;
    PoolArenaPause& operator=(const PoolArenaPause&) = delete;

private:
    PoolArena* m_paused;
};

}  // namespace Velum
