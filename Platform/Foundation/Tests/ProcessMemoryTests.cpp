#include "Platform/Foundation/ProcessMemory.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <malloc.h>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool ownAllocator = false;
#else
constexpr bool ownAllocator = true;
#endif

// Blocks the allocator holds mapped apart from its heaps right now.
std::size_t mappedBlocks()
{
    return ::mallinfo2().hblks;
}

// Allocates `size` bytes, touched so they are real, and answers how many
// more blocks were mapped apart while it was held.
std::size_t mappedWhileHolding(std::size_t size)
{
    const auto before = mappedBlocks();
    auto* block = static_cast<char*>(std::malloc(size));
    std::memset(block, 1, size);
    // Kept, so that the compiler cannot drop the block with its use.
    asm volatile("" : : "r"(block) : "memory");
    const auto during = mappedBlocks();
    std::free(block);
    return during - before;
}

// What the allocator does with large blocks once the program set it up:
// mapping them apart is what hands them back when they are freed.
class ProcessMemoryTests : public testing::Test {
protected:
    void SetUp() override
    {
        if (!ownAllocator)
            GTEST_SKIP() << "a sanitizer's allocator replaces the system's";
        Platform::setUpAllocator();
    }
};

TEST_F(ProcessMemoryTests, LargeBlocksStayMappedApartAfterALargerOneWasFreed)
{
    // A listing's body comes and goes; the lists made after it must not be carved from a heap.
    EXPECT_EQ(mappedWhileHolding(8 * 1024 * 1024), 1u);
    EXPECT_EQ(mappedWhileHolding(Platform::separatelyMappedBlockSize), 1u);
    EXPECT_EQ(mappedWhileHolding(4 * Platform::separatelyMappedBlockSize), 1u);
}

TEST_F(ProcessMemoryTests, ATransfersReceiveBufferIsTakenFromAHeap)
{
    // One per transfer, thousands in a run: mapping each would cost a system call and fresh pages.
    EXPECT_EQ(mappedWhileHolding(256 * 1024 + 1), 0u);
    EXPECT_EQ(mappedWhileHolding(Platform::separatelyMappedBlockSize - 4096), 0u);
}

} // namespace
