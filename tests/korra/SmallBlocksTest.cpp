// Small blocks: every live block holds its own bytes whatever sizes are
// mixed and given back, and the fault hook fails exactly the allocations it
// is asked about.
#include "korra/SmallBlocks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <vector>

namespace {

struct Live {
    unsigned char* bytes;
    std::size_t size;
    unsigned char fill;
};

bool Intact(const Live& block)
{
    for (std::size_t i = 0; i < block.size; ++i) {
        if (block.bytes[i] != block.fill)
            return false;
    }
    return true;
}

TEST(SmallBlocks, LiveBlocksNeverShareBytes)
{
    // Sizes on both sides of each class's edge and of the limit, in rounds
    // that give back every other block before asking again, so that given
    // back blocks are handed out anew among fresh ones.
    const std::size_t sizes[] = {1, 15, 16, 17, 31, 32, 88, 96, 255, 256, 257, 1000};
    std::vector<Live> live;
    unsigned char fill = 1;
    for (int round = 0; round < 3; ++round) {
        for (int repeat = 0; repeat < 2000; ++repeat) {
            for (std::size_t size : sizes) {
                auto* bytes = static_cast<unsigned char*>(korra::SmallBlockAllocate(size));
                std::memset(bytes, fill, size);
                live.push_back({bytes, size, fill});
                fill = static_cast<unsigned char>(fill % 250 + 1);
            }
        }
        std::vector<Live> kept;
        for (std::size_t i = 0; i < live.size(); ++i) {
            ASSERT_TRUE(Intact(live[i])) << "round " << round << ", block of " << live[i].size;
            if (i % 2 == 0)
                korra::SmallBlockFree(live[i].bytes, live[i].size);
            else
                kept.push_back(live[i]);
        }
        live.swap(kept);
    }
    for (const Live& block : live) {
        EXPECT_TRUE(Intact(block));
        korra::SmallBlockFree(block.bytes, block.size);
    }
}

std::size_t g_failingSize = 0;

TEST(SmallBlocks, FaultHookFailsTheAllocationsItChooses)
{
    korra::SetSmallBlockFaultHook([](std::size_t bytes) { return bytes == g_failingSize; });
    g_failingSize = 40;
    EXPECT_THROW(korra::SmallBlockAllocate(40), std::bad_alloc);
    void* other = korra::SmallBlockAllocate(48);
    EXPECT_NE(nullptr, other);
    korra::SmallBlockFree(other, 48);
    // Through a container, as the command lines use it.
    std::vector<int, korra::SmallBlockAllocator<int>> numbers;
    EXPECT_THROW(numbers.reserve(10), std::bad_alloc);
    EXPECT_EQ(0u, numbers.capacity());
    korra::SetSmallBlockFaultHook(nullptr);
    numbers.reserve(10);
    EXPECT_EQ(10u, numbers.capacity());
}

}  // namespace
