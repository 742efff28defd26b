#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <set>
#include <vector>

#include "core/krvec.h"

namespace {

using namespace tq;

void* word(uintptr_t n) { return reinterpret_cast<void*>(n); }

std::vector<uintptr_t> g_freed;
void record_free(void* element) { g_freed.push_back(reinterpret_cast<uintptr_t>(element)); }

TEST(Vec, PushGetRemoveAndBounds) {
  vec v;
  ASSERT_EQ(vec_init(&v, 2), 0);
  vec_free_fn_set(&v, vec_free_noop);
  for (uintptr_t i = 1; i <= 5; ++i) ASSERT_EQ(vec_push(&v, word(i)), 0);
  EXPECT_EQ(vec_count(&v), 5u);
  EXPECT_EQ(v.capacity, 7u);  // 2, then 2 + 2 (step becomes 3), then 4 + 3
  EXPECT_EQ(v.step, 4u);
  EXPECT_EQ(vec_get(&v, 0), word(1));
  EXPECT_EQ(vec_get(&v, 4), word(5));
  EXPECT_EQ(vec_get(&v, 5), nullptr);
  EXPECT_EQ(vec_get(&v, -1), nullptr);
  EXPECT_EQ(vec_remove_value(&v, word(3)), 0);
  EXPECT_EQ(vec_count(&v), 4u);
  EXPECT_EQ(vec_get(&v, 2), word(4));
  EXPECT_EQ(vec_remove_value(&v, word(3)), -1);
  vec_free(&v);
  EXPECT_EQ(v.capacity, 0u);
  EXPECT_EQ(vec_remove_value(&v, word(1)), -1);
}

TEST(Vec, ClearFreesLastFirstAndZeroSizedVectorGrows) {
  vec v;
  ASSERT_EQ(vec_init(&v, 0), 0);
  vec_free_fn_set(&v, record_free);
  vec_user_data_set(&v, 77);
  EXPECT_EQ(v.user_data, 77u);
  for (uintptr_t i = 1; i <= 3; ++i) ASSERT_EQ(vec_push(&v, word(i)), 0);
  g_freed.clear();
  EXPECT_EQ(vec_clear(&v), 0);
  EXPECT_EQ(g_freed, (std::vector<uintptr_t>{3, 2, 1}));
  EXPECT_EQ(vec_count(&v), 0u);
  vec_free(&v);

  // The default free function gives heap elements back.
  ASSERT_EQ(vec_init(&v, 1), 0);
  ASSERT_EQ(vec_push(&v, std::malloc(10)), 0);
  ASSERT_EQ(vec_push(&v, nullptr), 0);
  vec_free(&v);
}

TEST(Vec, PoolBackedVectorMovesToHeapWhenFull) {
  block_pool* pool = pool_create(320);
  ASSERT_NE(pool, nullptr);
  vec v;
  ASSERT_EQ(vec_init_owning(pool, &v), 0);
  EXPECT_EQ(v.capacity, 320u / sizeof(void*));
  EXPECT_EQ(v.step, v.capacity);
  ASSERT_NE(v.block, nullptr);
  EXPECT_EQ(v.free_fn, &vec_free_heap);
  vec_free_fn_set(&v, vec_free_noop);
  const uint32_t cap = v.capacity;
  for (uint32_t i = 0; i < cap; ++i) ASSERT_EQ(vec_push(&v, word(i + 1)), 0);
  EXPECT_NE(v.block, nullptr);
  ASSERT_EQ(vec_push(&v, word(cap + 1)), 0);
  EXPECT_EQ(v.block, nullptr);
  EXPECT_EQ(v.pool, nullptr);
  EXPECT_EQ(v.capacity, 2 * cap);
  EXPECT_EQ(v.step, cap + 1);
  for (uint32_t i = 0; i <= cap; ++i) ASSERT_EQ(vec_get(&v, static_cast<int32_t>(i)), word(i + 1));
  // The block went back to the pool and is the next one handed out.
  void* again = pool_block_take(pool);
  EXPECT_NE(again, nullptr);
  pool_block_return(pool, again);
  vec_free(&v);

  // Without a pool: 80 heap slots.
  ASSERT_EQ(vec_init_from_pool(nullptr, &v), 0);
  EXPECT_EQ(v.capacity, 80u);
  EXPECT_EQ(v.block, nullptr);
  vec_free(&v);

  // A pool-backed vector freed before growing returns its block.
  ASSERT_EQ(vec_init_from_pool(pool, &v), 0);
  void* block = v.block;
  vec_free(&v);
  EXPECT_EQ(pool->free_list, reinterpret_cast<pool_block_link*>(static_cast<char*>(block) - kPoolBlockHeader));
  pool_destroy(pool);
}

TEST(BlockPool, ChunksGrowAndReturnedBlocksAreReused) {
  block_pool* pool = pool_create(20);
  ASSERT_NE(pool, nullptr);
  EXPECT_EQ(pool->block_size, 24u);
  auto chunk_count = [&] {
    int n = 0;
    for (pool_chunk* c = pool->chunks; c != nullptr; c = c->next) ++n;
    return n;
  };
  EXPECT_EQ(chunk_count(), 0);  // a pool that is never used costs its record only
  std::vector<void*> blocks;
  std::set<void*> distinct;
  for (int i = 0; i < 128; ++i) {
    void* b = pool_block_take(pool);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % alignof(std::max_align_t), 0u);
    std::memset(b, 0xAB, 24);  // every byte of the block is the caller's
    blocks.push_back(b);
    distinct.insert(b);
  }
  EXPECT_EQ(chunk_count(), 1);
  EXPECT_EQ(pool->free_list, nullptr);
  blocks.push_back(pool_block_take(pool));  // the 129th needs a second chunk
  ASSERT_NE(blocks.back(), nullptr);
  distinct.insert(blocks.back());
  EXPECT_EQ(chunk_count(), 2);
  EXPECT_EQ(distinct.size(), 129u);
  // Return some from the middle of the used list and take them again.
  EXPECT_EQ(pool_block_return(pool, blocks[5]), blocks[5]);
  EXPECT_EQ(pool_block_return(pool, blocks[128]), blocks[128]);
  EXPECT_EQ(pool_block_take(pool), blocks[128]);
  EXPECT_EQ(pool_block_take(pool), blocks[5]);
  for (int i = 0; i < 127; ++i) ASSERT_NE(pool_block_take(pool), nullptr);
  EXPECT_EQ(chunk_count(), 2);
  ASSERT_NE(pool_block_take(pool), nullptr);
  EXPECT_EQ(chunk_count(), 3);
  pool_destroy(pool);
  pool_destroy(nullptr);
}

TEST(MemPool, AllocatesRoundsResetsAndRefuses) {
  mempool pool;
  ASSERT_EQ(mempool_init(&pool, 1), 0);
  EXPECT_EQ(pool.block_size, 1024u);
  int32_t status = 0;
  EXPECT_EQ(mempool_alloc(&pool, 8, &status), nullptr);
  EXPECT_EQ(status, kRcPoolDisabled);
  mempool_enable_set(&pool, 1);

  // 1 byte takes 8; then fill past the first block into a second.
  std::vector<void*> first;
  const uint32_t sizes[] = {1, 8, 1000, 500, 17};
  for (uint32_t s : sizes) {
    first.push_back(mempool_alloc(&pool, s, &status));
    ASSERT_NE(first.back(), nullptr);
    EXPECT_EQ(status, 0);
  }
  EXPECT_EQ(static_cast<char*>(first[1]) - static_cast<char*>(first[0]), 8);
  // 8 + 8 + 1000 fill the first block to 1016; 500 (504) needs a second.
  EXPECT_EQ(pool.blocks.count, 2u);
  EXPECT_EQ(pool.index, 1u);
  EXPECT_EQ(pool.used, 528u);
  std::memset(first[2], 1, 1000);

  mempool_reset(&pool);
  for (size_t i = 0; i < std::size(sizes); ++i) EXPECT_EQ(mempool_alloc(&pool, sizes[i], &status), first[i]);
  EXPECT_EQ(pool.blocks.count, 2u);

  // A request larger than a block is refused and leaves the pool usable.
  EXPECT_EQ(mempool_alloc(&pool, 1025, &status), nullptr);
  EXPECT_EQ(status, kRcNoMemory);
  EXPECT_EQ(mempool_alloc(&pool, 0xFFFFFFFFu, &status), nullptr);
  EXPECT_EQ(status, kRcNoMemory);
  EXPECT_NE(mempool_alloc(&pool, 1024, nullptr), nullptr);

  mempool_free(&pool);
  EXPECT_EQ(pool.initialised, 0u);
  EXPECT_EQ(mempool_alloc(&pool, 8, &status), nullptr);
  EXPECT_EQ(status, kRcPoolDisabled);
  EXPECT_EQ(mempool_init(&pool, 0), kRcBadArgument);
  EXPECT_EQ(mempool_init(&pool, 0x400000), kRcBadArgument);
}

// Blocks of kBigBlockMin bytes and more are counted while held (mapped, or
// under AddressSanitizer its heap blocks) and given back when freed, smaller
// ones come from the heap uncounted; the blocks of a memory pool as large as
// the parser's and a block pool's big chunks are big too, and all of them
// go back when their pool is freed; a record made in a big block is
// destroyed when given back (LeakSanitizer sees its vector's buffer freed).
TEST(BigBlock, BigBlocksAreMappedAndGivenBackWithTheirPools) {
  const size_t start = big_block_held_bytes();
  auto held = [&] { return big_block_held_bytes() - start; };
  auto zeroed = [](const void* p, size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    return std::all_of(b, b + n, [](unsigned char c) { return c == 0; });
  };
  void* small = big_block_alloc(kBigBlockMin - 1, true);
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(held(), 0u);
  EXPECT_TRUE(zeroed(small, kBigBlockMin - 1));
  void* big = big_block_alloc(kBigBlockMin, true);
  ASSERT_NE(big, nullptr);
  EXPECT_GE(held(), kBigBlockMin);
  EXPECT_TRUE(zeroed(big, kBigBlockMin));
  for (void* p : {small, big}) EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(std::max_align_t), 0u);
  std::memset(big, 0xCD, kBigBlockMin);
  big_block_free(small);
  big_block_free(big);
  big_block_free(nullptr);
  EXPECT_EQ(held(), 0u);

  mempool pool;
  ASSERT_EQ(mempool_init(&pool, 24000), 0);
  mempool_enable_set(&pool, 1);
  EXPECT_GE(held(), 24000u * 1024);
  int32_t status = 0;
  ASSERT_NE(mempool_alloc(&pool, 24000u * 1024, &status), nullptr);
  ASSERT_NE(mempool_alloc(&pool, 8, &status), nullptr);  // a second block
  EXPECT_GE(held(), 2 * 24000u * 1024);
  mempool_free(&pool);
  EXPECT_EQ(held(), 0u);

  block_pool* blocks = pool_create(4096);
  ASSERT_NE(blocks, nullptr);
  EXPECT_EQ(held(), 0u);
  ASSERT_NE(pool_block_take(blocks), nullptr);
  EXPECT_GE(held(), size_t{4096} * kPoolChunkBlocks);
  pool_destroy(blocks);
  EXPECT_EQ(held(), 0u);

  struct Area {
    std::vector<int> owned;
    char room[kBigBlockMin];
  };
  Area* area = big_new<Area>();
  ASSERT_NE(area, nullptr);
  EXPECT_GE(held(), sizeof(Area));
  area->owned.assign(1000, 7);
  big_delete(area);
  big_delete<Area>(nullptr);
  EXPECT_EQ(held(), 0u);
}

#if defined(__SANITIZE_ADDRESS__)
#define TQ_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TQ_TEST_ASAN 1
#endif
#endif

// The sanitizer build checks big blocks as it checks any heap block: one
// byte past a big block, past a block of a memory pool as large as the
// parser's, and a read of a freed big block are each reported.
TEST(BigBlockDeathTest, SanitizerSeesPastTheEndAndAfterTheFree) {
#ifndef TQ_TEST_ASAN
  GTEST_SKIP() << "only AddressSanitizer checks block ends";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto touch = [](void* p) { *static_cast<volatile char*>(p) = 1; };
  EXPECT_DEATH(
      {
        auto* p = static_cast<char*>(big_block_alloc(kBigBlockMin, false));
        touch(p + kBigBlockMin);
      },
      "heap-buffer-overflow");
  EXPECT_DEATH(
      {
        mempool pool;
        if (mempool_init(&pool, 24000) == 0) touch(pool.current + 24000u * 1024);
      },
      "heap-buffer-overflow");
  EXPECT_DEATH(
      {
        auto* p = static_cast<char*>(big_block_alloc(4 * kBigBlockMin, true));
        big_block_free(p);
        touch(p + kBigBlockMin);
      },
      "heap-use-after-free");
#endif
}

}  // namespace
