#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "core/krhash.h"

namespace {

using namespace tq;

// Every entry reachable from the list, with the bucket runs contiguous and
// the bucket counts adding up.
void expect_consistent(const hash_table& t) {
  uint32_t on_list = 0;
  const hash_entry* prev = nullptr;
  for (const hash_entry* e = t.list; e != nullptr; e = e->next) {
    EXPECT_EQ(e->prev, prev);
    prev = e;
    ++on_list;
  }
  EXPECT_EQ(on_list, t.count);
  uint32_t in_buckets = 0;
  for (uint32_t b = 0; b < t.bucket_count; ++b) {
    const hash_entry* e = t.buckets[b].first;
    for (uint32_t i = 0; i < t.buckets[b].count; ++i, e = e->next) ASSERT_NE(e, nullptr);
    in_buckets += t.buckets[b].count;
  }
  EXPECT_EQ(in_buckets, t.count);
}

TEST(Hash, InitRefusesBadArguments) {
  hash_table t;
  EXPECT_EQ(hash_init(nullptr, 1, 0, 0), -802);
  EXPECT_EQ(hash_init(&t, 0, 0, 0), -802);
  EXPECT_EQ(hash_init(&t, 5, 0, 0), -802);
  ASSERT_EQ(hash_init(&t, kHashKeyWord, 1, 0), 0);
  EXPECT_EQ(t.copy_keys, 0);  // only text and byte keys are copied
  hash_free(&t);
}

TEST(Hash, TextKeysIgnoreCaseAndCopiesOutliveTheCaller) {
  for (uint32_t use_pool : {0u, 1u}) {
    hash_table t;
    ASSERT_EQ(hash_init(&t, kHashKeyTextCi, 1, use_pool), 0);
    std::string key = "Vocab";
    EXPECT_EQ(hash_put_word(&t, key.c_str(), -1, 11), 0u);
    key = "XXXXX";  // the table kept its own copy
    EXPECT_EQ(hash_get_word(&t, "VOCAB", 5), 11u);
    EXPECT_EQ(hash_get_word(&t, "vocab", 0), 11u);
    EXPECT_EQ(hash_get_word(&t, "vocabs", -1), 0u);
    ASSERT_NE(t.list, nullptr);
    EXPECT_EQ(t.list->key_length, 5);
    EXPECT_STREQ(static_cast<const char*>(t.list->key), "Vocab");
    // A key given with its length and the same key given as a text are one key.
    EXPECT_EQ(hash_put_word(&t, "VoCaB", 5, 12), 11u);
    EXPECT_EQ(t.count, 1u);
    EXPECT_EQ(hash_remove(&t, "vOcAb", -1), 12u);
    EXPECT_EQ(t.count, 0u);
    EXPECT_EQ(t.list, nullptr);
    hash_free(&t);
  }
}

TEST(Hash, ByteKeysOfDifferentLengthsDiffer) {
  hash_table t;
  ASSERT_EQ(hash_init(&t, kHashKeyBytes, 1, 0), 0);
  const char bytes[] = {'a', '\0', 'b', 'c'};
  EXPECT_EQ(hash_put_word(&t, bytes, 4, 1), 0u);
  EXPECT_EQ(hash_put_word(&t, bytes, 3, 2), 0u);
  EXPECT_EQ(hash_put_word(&t, "AB", 2, 3), 0u);
  EXPECT_EQ(hash_get_word(&t, "ab", 2), 0u);  // bytes keep their case
  EXPECT_EQ(hash_get_word(&t, bytes, 4), 1u);
  EXPECT_EQ(hash_get_word(&t, bytes, 3), 2u);
  EXPECT_EQ(hash_get_word(&t, bytes, 1), 0u);
  EXPECT_EQ(hash_put_word(&t, nullptr, 0, 4), 0u);  // the empty key
  EXPECT_EQ(hash_get_word(&t, "", 0), 4u);
  EXPECT_EQ(t.count, 4u);
  expect_consistent(t);
  hash_free(&t);
}

TEST(Hash, PutReplacesAndHandsBackOldValues) {
  hash_table t;
  ASSERT_EQ(hash_init(&t, kHashKeyInt, 0, 0), 0);
  uintptr_t out[2] = {0, 0};
  EXPECT_EQ(hash_put(&t, nullptr, -7, 1, 2, out), 0);
  EXPECT_EQ(hash_put(&t, nullptr, -7, 3, 4, out), 1);
  EXPECT_EQ(out[0], 1u);
  EXPECT_EQ(out[1], 2u);
  EXPECT_EQ(hash_put_word(&t, nullptr, -7, 5), 3u);
  uintptr_t got[2] = {9, 9};
  EXPECT_EQ(hash_get(&t, nullptr, -7, got), 1);
  EXPECT_EQ(got[0], 5u);
  EXPECT_EQ(got[1], 0u);
  EXPECT_EQ(hash_get(&t, nullptr, 7, got), 0);
  // Pointers fit in the value words whole.
  const auto big = static_cast<uintptr_t>(UINTPTR_MAX - 5);
  EXPECT_EQ(hash_put(&t, nullptr, 1, big, big, nullptr), 0);
  EXPECT_EQ(hash_find(&t, nullptr, 1)[1], big);
  // find_or_insert keeps an existing value and stores a new one.
  uintptr_t* v = hash_find_or_insert(&t, nullptr, 1, 0, 0);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v[0], big);
  v = hash_find_or_insert(&t, nullptr, 2, 20, 21);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v[1], 21u);
  v[0] = 22;
  EXPECT_EQ(hash_get_word(&t, nullptr, 2), 22u);
  // Removing an absent key changes nothing.
  EXPECT_EQ(hash_remove(&t, nullptr, 99), 0u);
  EXPECT_EQ(t.count, 3u);
  expect_consistent(t);
  hash_free(&t);
}

TEST(Hash, GrowsAndKeepsEveryEntryReachable) {
  for (uint32_t use_pool : {0u, 1u}) {
    hash_table t;
    ASSERT_EQ(hash_init(&t, kHashKeyWord, 0, use_pool), 0);
    EXPECT_EQ(t.bucket_count, 0u);
    int keys[300];
    for (int i = 0; i < 8; ++i) hash_put_word(&t, &keys[i], 0, static_cast<uintptr_t>(i + 1));
    EXPECT_EQ(t.bucket_count, 8u);
    hash_put_word(&t, &keys[8], 0, 9);
    EXPECT_EQ(t.bucket_count, 16u);
    for (int i = 9; i < 300; ++i) hash_put_word(&t, &keys[i], 0, static_cast<uintptr_t>(i + 1));
    EXPECT_EQ(t.bucket_count, 512u);
    expect_consistent(t);
    for (int i = 0; i < 300; ++i) ASSERT_EQ(hash_get_word(&t, &keys[i], 0), static_cast<uintptr_t>(i + 1));
    // Remove every third entry, including bucket firsts and list heads.
    for (int i = 0; i < 300; i += 3) ASSERT_EQ(hash_remove(&t, &keys[i], 0), static_cast<uintptr_t>(i + 1));
    expect_consistent(t);
    for (int i = 0; i < 300; ++i) {
      ASSERT_EQ(hash_get_word(&t, &keys[i], 0), i % 3 == 0 ? 0u : static_cast<uintptr_t>(i + 1));
    }
    hash_clear(&t);
    EXPECT_EQ(t.count, 0u);
    EXPECT_EQ(t.bucket_count, 0u);
    EXPECT_EQ(hash_get_word(&t, &keys[1], 0), 0u);
    // Usable again after clearing.
    EXPECT_EQ(hash_put_word(&t, &keys[1], 0, 5), 0u);
    EXPECT_EQ(hash_get_word(&t, &keys[1], 0), 5u);
    hash_free(&t);
  }
}

uint32_t first_byte_hash(const void* key, int32_t) { return static_cast<const unsigned char*>(key)[0]; }
int32_t first_byte_compare(const void* a, int32_t, const void* b, int32_t) {
  return static_cast<const unsigned char*>(a)[0] - static_cast<const unsigned char*>(b)[0];
}

TEST(Hash, CustomFunctionsReplaceTheKindsOwn) {
  hash_table t;
  ASSERT_EQ(hash_init(&t, kHashKeyBytes, 0, 0), 0);
  t.hash = first_byte_hash;
  t.compare = first_byte_compare;
  EXPECT_EQ(hash_put_word(&t, "apple", 5, 1), 0u);
  EXPECT_EQ(hash_get_word(&t, "avocado", 7), 1u);
  EXPECT_EQ(hash_get_word(&t, "banana", 6), 0u);
  hash_free(&t);
}

}  // namespace
