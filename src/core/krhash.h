// The engine's keyed table: chained hashing over a power-of-two bucket array,
// four built-in key kinds, values of two machine words, optional copying of
// keys and optional allocation of entries from a memory pool.
//
// Every entry is also on one doubly linked list (table->list, walked through
// entry->next), on which the entries of one bucket lie together; a lookup
// walks only its bucket's run of that list. The list is also the way to visit
// every entry.
#pragma once

#include <cstdint>

namespace tq {

struct mempool;

// Key kinds. A key is always given as a pointer and a length.
inline constexpr int32_t kHashKeyInt = 1;     // the integer is the length; the pointer is ignored
inline constexpr int32_t kHashKeyWord = 2;    // the pointer value itself
inline constexpr int32_t kHashKeyTextCi = 3;  // text compared without ASCII case; length < 1: up to the terminator
inline constexpr int32_t kHashKeyBytes = 4;   // bytes of the given length

struct hash_entry {
  hash_entry* next;
  hash_entry* prev;
  uintptr_t value[2];
  const void* key;
  int32_t key_length;  // kind 1: the integer key itself
};

struct hash_bucket {
  uint32_t count;
  hash_entry* first;
};

using hash_fn = uint32_t (*)(const void* key, int32_t length);
using hash_compare_fn = int32_t (*)(const void* key1, int32_t length1, const void* key2, int32_t length2);

struct hash_table {
  int8_t key_kind;
  uint8_t copy_keys;
  uint32_t count;
  hash_entry* list;
  uint32_t bucket_count;  // 0 before the first insert, then a power of two from 8
  hash_bucket* buckets;
  mempool* entry_pool;    // NULL, or the pool entries and copied keys come from
  hash_fn hash;           // NULL, or replaces the kind's own hash
  hash_compare_fn compare;  // NULL, or replaces the kind's own comparison (0: equal)
};

// -802 for a NULL table or a kind outside 1..4; -600 when the pool cannot be
// made. copy_keys takes effect for kinds 3 and 4 only.
int32_t hash_init(hash_table* table, int32_t key_kind, uint32_t copy_keys, uint32_t use_pool);
// Removes every entry; the table stays usable.
void hash_clear(hash_table* table);
// Clears and releases the pool.
void hash_free(hash_table* table);
// Inserts or replaces. Returns 1 when the key was present (its old words go to
// out, when not NULL, and are replaced) and also when the entry could not be
// stored for lack of memory (the given words go to out, as if displaced);
// 0 when newly inserted.
int32_t hash_put(hash_table* table, const void* key, int32_t length, uintptr_t value0, uintptr_t value1,
                 uintptr_t out[2]);
// The entry's two value words, or NULL.
uintptr_t* hash_find(hash_table* table, const void* key, int32_t length);
// 1 and both words copied to out when found; 0 otherwise.
int32_t hash_get(hash_table* table, const void* key, int32_t length, uintptr_t out[2]);
// The existing entry's value words, or those of a new entry holding the given
// words; NULL when out of memory.
uintptr_t* hash_find_or_insert(hash_table* table, const void* key, int32_t length, uintptr_t value0,
                               uintptr_t value1);
// The removed entry's first word; 0 when absent.
uintptr_t hash_remove(hash_table* table, const void* key, int32_t length);
// Stores a one-word value (second word 0); returns the displaced first word
// when a value was replaced, 0 when newly inserted. When the entry cannot be
// stored for lack of memory, the given word comes back, as from hash_put.
uintptr_t hash_put_word(hash_table* table, const void* key, int32_t length, uintptr_t word);
// The first value word; 0 when absent.
uintptr_t hash_get_word(hash_table* table, const void* key, int32_t length);

}  // namespace tq
