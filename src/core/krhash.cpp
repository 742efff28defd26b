#include "core/krhash.h"

#include <cstdlib>
#include <cstring>

#include "core/krvec.h"
#include "platform/npmem.h"

namespace tq {

namespace {

inline constexpr uint32_t kInitialBuckets = 8;
inline constexpr uint32_t kEntryPoolKilobytes = 128;

inline char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Bytes enter the hash sign-extended, as a signed char would.
inline uint32_t byte_value(char c) { return static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c))); }

// The magnitude of h read as a signed value (0x80000000 stays as it is).
inline uint32_t abs_signed(uint32_t h) { return (h & 0x80000000u) ? 0u - h : h; }

uint32_t hash_int(int32_t n) {
  const auto u = static_cast<uint32_t>(n);
  const auto shifted = static_cast<uint32_t>(n >> 8);  // arithmetic shift
  return shifted ^ (u << 8) ^ u;
}

uint32_t hash_word(const void* key) {
  const auto p = reinterpret_cast<uintptr_t>(key);
  return static_cast<uint32_t>((p >> 8) ^ (p << 8) ^ p);
}

uint32_t hash_text_ci(const char* key, int32_t length) {
  uint32_t h = 0;
  for (int32_t i = 0; i < length; ++i) h ^= byte_value(fold(key[i])) ^ (h << 3);
  return abs_signed(h);
}

uint32_t hash_bytes(const char* key, int32_t length) {
  if (length < 1) return 0;
  uint32_t h = 0;
  for (int32_t i = 0; i < length; ++i) h ^= (h << 3) ^ byte_value(key[i]);
  return abs_signed(h);
}

// Brings a caller's key into the form the table stores and compares:
// a text key given with length below 1 gets its real length, a missing text
// or byte key is the empty key.
void normalise_key(const hash_table* t, const void*& key, int32_t& length) {
  if (t->key_kind == kHashKeyTextCi) {
    if (key == nullptr) {
      length = 0;
    } else if (length < 1) {
      length = static_cast<int32_t>(std::strlen(static_cast<const char*>(key)));
    }
  } else if (t->key_kind == kHashKeyBytes) {
    if (key == nullptr || length < 0) length = 0;
  }
}

uint32_t key_hash(const hash_table* t, const void* key, int32_t length) {
  if (t->hash != nullptr) return t->hash(key, length);
  switch (t->key_kind) {
    case kHashKeyInt:
      return hash_int(length);
    case kHashKeyWord:
      return hash_word(key);
    case kHashKeyTextCi:
      return hash_text_ci(static_cast<const char*>(key), length);
    default:
      return hash_bytes(static_cast<const char*>(key), length);
  }
}

bool key_equal(const hash_table* t, const hash_entry* e, const void* key, int32_t length) {
  if (t->compare != nullptr) return t->compare(e->key, e->key_length, key, length) == 0;
  switch (t->key_kind) {
    case kHashKeyInt:
      return e->key_length == length;
    case kHashKeyWord:
      return e->key == key;
    case kHashKeyTextCi: {
      if (e->key_length != length) return false;
      const auto* a = static_cast<const char*>(e->key);
      const auto* b = static_cast<const char*>(key);
      for (int32_t i = 0; i < length; ++i) {
        if (fold(a[i]) != fold(b[i])) return false;
      }
      return true;
    }
    default:
      return e->key_length == length &&
             (length == 0 || std::memcmp(e->key, key, static_cast<size_t>(length)) == 0);
  }
}

hash_entry* lookup(const hash_table* t, const void* key, int32_t length) {
  if (t->bucket_count == 0) return nullptr;
  const hash_bucket& b = t->buckets[key_hash(t, key, length) & (t->bucket_count - 1)];
  hash_entry* e = b.first;
  for (uint32_t i = 0; i < b.count && e != nullptr; ++i, e = e->next) {
    if (key_equal(t, e, key, length)) return e;
  }
  return nullptr;
}

// Puts an entry on the list in front of its bucket's run (or at the head of
// the list when the bucket is empty) and makes it the bucket's first.
void link_entry(hash_table* t, hash_entry* e) {
  hash_bucket& b = t->buckets[key_hash(t, e->key, e->key_length) & (t->bucket_count - 1)];
  hash_entry* before = b.first != nullptr ? b.first : t->list;
  e->next = before;
  e->prev = before != nullptr ? before->prev : nullptr;
  if (e->prev != nullptr) {
    e->prev->next = e;
  } else {
    t->list = e;
  }
  if (before != nullptr) before->prev = e;
  ++b.count;
  b.first = e;
}

bool resize(hash_table* t, uint32_t n) {
  auto* buckets = static_cast<hash_bucket*>(np_calloc(n, sizeof(hash_bucket)));
  if (buckets == nullptr) return false;
  std::free(t->buckets);
  t->buckets = buckets;
  t->bucket_count = n;
  hash_entry* e = t->list;
  t->list = nullptr;
  // Relinking touches only entries already moved, so the rest of the old
  // list stays intact while we walk it.
  while (e != nullptr) {
    hash_entry* next = e->next;
    link_entry(t, e);
    e = next;
  }
  return true;
}

void* table_alloc(hash_table* t, size_t size) {
  if (t->entry_pool != nullptr) {
    if (size > UINT32_MAX) return nullptr;
    int32_t status = 0;
    return mempool_alloc(t->entry_pool, static_cast<uint32_t>(size), &status);
  }
  return np_malloc(size);
}

void table_release(hash_table* t, void* p) {
  if (t->entry_pool == nullptr) std::free(p);
}

bool owns_keys(const hash_table* t) {
  return t->copy_keys != 0 && (t->key_kind == kHashKeyTextCi || t->key_kind == kHashKeyBytes);
}

// Makes a new entry for a key known to be absent; NULL when out of memory.
hash_entry* insert_new(hash_table* t, const void* key, int32_t length, uintptr_t value0, uintptr_t value1) {
  // The first buckets come before anything is counted, so a failure here
  // leaves the table exactly as it was.
  if (t->bucket_count == 0 && !resize(t, kInitialBuckets)) return nullptr;
  auto* e = static_cast<hash_entry*>(table_alloc(t, sizeof(hash_entry)));
  if (e == nullptr) return nullptr;
  *e = hash_entry{};
  e->key = key;
  if (owns_keys(t) && key != nullptr) {
    // Text keys keep their terminator so that the stored key is a text too.
    const size_t bytes = static_cast<size_t>(length) + (t->key_kind == kHashKeyTextCi ? 1 : 0);
    void* copy = bytes > 0 ? table_alloc(t, bytes) : nullptr;
    if (bytes > 0 && copy == nullptr) {
      table_release(t, e);
      return nullptr;
    }
    if (copy != nullptr) {
      std::memcpy(copy, key, static_cast<size_t>(length));
      if (t->key_kind == kHashKeyTextCi) static_cast<char*>(copy)[length] = '\0';
    }
    e->key = copy;
  }
  e->key_length = length;
  ++t->count;
  // A failed doubling keeps the old buckets; lookups stay correct, only longer.
  if (t->count > t->bucket_count && t->bucket_count <= UINT32_MAX / 2) resize(t, t->bucket_count * 2);
  link_entry(t, e);
  e->value[0] = value0;
  e->value[1] = value1;
  return e;
}

void release_entry(hash_table* t, hash_entry* e) {
  if (t->entry_pool != nullptr) return;
  if (owns_keys(t)) std::free(const_cast<void*>(e->key));
  std::free(e);
}

}  // namespace

int32_t hash_init(hash_table* table, int32_t key_kind, uint32_t copy_keys, uint32_t use_pool) {
  if (table == nullptr || key_kind < kHashKeyInt || key_kind > kHashKeyBytes) return kRcBadArgument;
  *table = hash_table{};
  table->key_kind = static_cast<int8_t>(key_kind);
  table->copy_keys = (copy_keys != 0 && (key_kind == kHashKeyTextCi || key_kind == kHashKeyBytes)) ? 1 : 0;
  if (use_pool) {
    auto* pool = static_cast<mempool*>(np_calloc(1, sizeof(mempool)));
    if (pool == nullptr) return kRcNoMemory;
    const int32_t rc = mempool_init(pool, kEntryPoolKilobytes);
    if (rc != 0) {
      std::free(pool);
      return rc;
    }
    mempool_enable_set(pool, 1);
    table->entry_pool = pool;
  }
  return 0;
}

void hash_clear(hash_table* table) {
  if (table == nullptr) return;
  if (table->entry_pool != nullptr) {
    mempool_reset(table->entry_pool);
  } else {
    hash_entry* e = table->list;
    while (e != nullptr) {
      hash_entry* next = e->next;
      release_entry(table, e);
      e = next;
    }
  }
  table->list = nullptr;
  std::free(table->buckets);
  table->buckets = nullptr;
  table->bucket_count = 0;
  table->count = 0;
}

void hash_free(hash_table* table) {
  if (table == nullptr) return;
  hash_clear(table);
  if (table->entry_pool != nullptr) {
    mempool_free(table->entry_pool);
    std::free(table->entry_pool);
    table->entry_pool = nullptr;
  }
}

int32_t hash_put(hash_table* table, const void* key, int32_t length, uintptr_t value0, uintptr_t value1,
                 uintptr_t out[2]) {
  if (table == nullptr) {
    if (out != nullptr) {
      out[0] = value0;
      out[1] = value1;
    }
    return 1;
  }
  normalise_key(table, key, length);
  if (hash_entry* e = lookup(table, key, length)) {
    if (out != nullptr) {
      out[0] = e->value[0];
      out[1] = e->value[1];
    }
    e->value[0] = value0;
    e->value[1] = value1;
    return 1;
  }
  if (insert_new(table, key, length, value0, value1) == nullptr) {
    if (out != nullptr) {
      out[0] = value0;
      out[1] = value1;
    }
    return 1;
  }
  return 0;
}

uintptr_t* hash_find(hash_table* table, const void* key, int32_t length) {
  if (table == nullptr) return nullptr;
  normalise_key(table, key, length);
  hash_entry* e = lookup(table, key, length);
  return e != nullptr ? e->value : nullptr;
}

int32_t hash_get(hash_table* table, const void* key, int32_t length, uintptr_t out[2]) {
  const uintptr_t* v = hash_find(table, key, length);
  if (v == nullptr) return 0;
  if (out != nullptr) {
    out[0] = v[0];
    out[1] = v[1];
  }
  return 1;
}

uintptr_t* hash_find_or_insert(hash_table* table, const void* key, int32_t length, uintptr_t value0,
                               uintptr_t value1) {
  if (table == nullptr) return nullptr;
  normalise_key(table, key, length);
  if (hash_entry* e = lookup(table, key, length)) return e->value;
  hash_entry* e = insert_new(table, key, length, value0, value1);
  return e != nullptr ? e->value : nullptr;
}

uintptr_t hash_remove(hash_table* table, const void* key, int32_t length) {
  if (table == nullptr) return 0;
  normalise_key(table, key, length);
  hash_entry* e = lookup(table, key, length);
  if (e == nullptr) return 0;
  hash_bucket& b = table->buckets[key_hash(table, e->key, e->key_length) & (table->bucket_count - 1)];
  if (e->prev != nullptr) {
    e->prev->next = e->next;
  } else {
    table->list = e->next;
  }
  if (e->next != nullptr) e->next->prev = e->prev;
  --b.count;
  if (b.first == e) b.first = b.count > 0 ? e->next : nullptr;
  const uintptr_t value = e->value[0];
  release_entry(table, e);
  --table->count;
  return value;
}

uintptr_t hash_put_word(hash_table* table, const void* key, int32_t length, uintptr_t word) {
  // Like hash_put: when the entry cannot be stored, the given word comes back
  // as if it had been displaced.
  uintptr_t out[2] = {0, 0};
  return hash_put(table, key, length, word, 0, out) == 1 ? out[0] : 0;
}

uintptr_t hash_get_word(hash_table* table, const void* key, int32_t length) {
  const uintptr_t* v = hash_find(table, key, length);
  return v != nullptr ? v[0] : 0;
}

}  // namespace tq
