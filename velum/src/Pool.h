// Small blocks for the library's bodies and short strings. A parsed tree is
// made of many blocks of a few dozen bytes; taking each from the system
// allocator costs a header and a search per block and as much again to free
// it. Blocks of up to kLargestPooled bytes come instead from 16 KiB chunks,
// one size class (a multiple of 8 bytes) per chunk; larger ones go to the
// system allocator. PoolRelease tells the two apart by the chunk a pointer
// lies in, so callers need not remember a block's size.
#pragma once

#include <cstddef>

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

}  // namespace Velum
