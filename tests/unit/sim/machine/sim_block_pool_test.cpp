#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "platform/sim/machine/block_pool.h"

namespace sim {
namespace {

// Blocks of a size that fills no slab evenly, and of one smaller than a free list's link:
// each is aligned for any type, holds its bytes apart from every other block's, and a
// freed block serves again. Two threads take and give back blocks at once.
template <size_t kSize>
void TakeWriteAndGiveBack() {
  constexpr int kBlocks = 3000;  // more than one slab's worth
  std::vector<unsigned char*> blocks;
  for (int i = 0; i < kBlocks; ++i) {
    auto* block = static_cast<unsigned char*>(BlockPool<kSize>::Allocate());
    ASSERT_EQ(0u, reinterpret_cast<uintptr_t>(block) % alignof(std::max_align_t)) << kSize;
    std::memset(block, i & 0xff, kSize);
    blocks.push_back(block);
  }
  for (int i = 0; i < kBlocks; ++i) {
    for (size_t b = 0; b < kSize; ++b)
      ASSERT_EQ(i & 0xff, blocks[i][b]) << "block " << i << " of " << kSize << " bytes, byte " << b;
  }
  const std::set<unsigned char*> given(blocks.begin(), blocks.end());
  for (unsigned char* block : blocks) BlockPool<kSize>::Release(block);
  EXPECT_EQ(static_cast<size_t>(kBlocks), given.size());
}

TEST(SimBlockPool, BlocksAreAlignedAndApartAcrossSlabs) {
  TakeWriteAndGiveBack<1>();
  TakeWriteAndGiveBack<200>();
  TakeWriteAndGiveBack<200>();  // the blocks freed above, again
  std::thread other([] { TakeWriteAndGiveBack<200>(); });
  TakeWriteAndGiveBack<200>();
  other.join();
}

TEST(SimBlockPool, SharedRecordsComeFromThePoolAndGoBack) {
  struct Record {
    std::string name;
    uint64_t times[3] = {};
  };
  std::weak_ptr<Record> weak;
  {
    auto record = std::allocate_shared<Record>(PoolAllocator<Record>());
    record->name = std::string(100, 'x');
    weak = record;
    EXPECT_FALSE(weak.expired());
  }
  EXPECT_TRUE(weak.expired());
}

}  // namespace
}  // namespace sim
