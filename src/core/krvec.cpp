#include "core/krvec.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include "platform/npmem.h"

// Under AddressSanitizer big blocks come from the heap (see big_block_alloc).
#if defined(__SANITIZE_ADDRESS__)
#define TQ_ADDRESS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TQ_ADDRESS_SANITIZED 1
#endif
#endif

namespace tq {

namespace {

inline constexpr uint32_t kDefaultHeapSlots = 80;

inline size_t align_up(size_t n, size_t a) { return (n + a - 1) / a * a; }

}  // namespace

// ---------------------------------------------------------------- big blocks

namespace {

// Ahead of every big block's data.
struct alignas(std::max_align_t) big_block_header {
  size_t mapped;   // bytes mapped, header included; 0 for a block from the heap
  size_t counted;  // bytes counted in g_big_held, header included
};

std::atomic<size_t> g_big_held{0};

#ifdef TQ_ADDRESS_SANITIZED
// AddressSanitizer checks heap blocks only: a mapped block's end falls in
// its last page's unused tail, where an access one byte past it goes
// unseen, and a read of an unmapped one is a plain crash, or silent once
// another block is mapped there. So under it every big block comes from its
// heap, whose red zones and quarantine report both. The builds users run
// keep the mapping.
constexpr bool kMapBigBlocks = false;
#else
constexpr bool kMapBigBlocks = true;
#endif

size_t page_size() {
  static const size_t size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return size;
}

// A mapping of at least `bytes`, or NULL.
big_block_header* big_block_map(size_t bytes) {
  const size_t length = align_up(bytes, page_size());
  if (np_alloc_refused(length)) return nullptr;
  void* p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
#ifdef MADV_NOHUGEPAGE
  // A huge page would make the first touch of a pool block resident 2 MB of
  // it; the point of mapping is that untouched pages cost nothing.
  (void)madvise(p, length, MADV_NOHUGEPAGE);
#endif
  auto* header = static_cast<big_block_header*>(p);
  header->mapped = length;
  header->counted = length;
  return header;
}

}  // namespace

void* big_block_alloc(size_t size, bool zeroed) {
  if (size > std::numeric_limits<size_t>::max() / 2) return nullptr;
  const size_t bytes = sizeof(big_block_header) + size;
  const bool big = size >= kBigBlockMin;
  big_block_header* header = big && kMapBigBlocks ? big_block_map(bytes) : nullptr;
  if (header == nullptr) {
    header = static_cast<big_block_header*>(zeroed ? np_calloc(1, bytes) : np_malloc(bytes));
    if (header == nullptr) return nullptr;
    header->mapped = 0;
    // A big block the system would not map is the heap's like any small
    // one; only the sanitizer's stand-ins for mapped blocks are counted.
    header->counted = big && !kMapBigBlocks ? bytes : 0;
  }
  g_big_held.fetch_add(header->counted, std::memory_order_relaxed);
  return header + 1;
}

void big_block_free(void* block) {
  if (block == nullptr) return;
  big_block_header* header = static_cast<big_block_header*>(block) - 1;
  g_big_held.fetch_sub(header->counted, std::memory_order_relaxed);
  if (header->mapped == 0) {
    std::free(header);
    return;
  }
  munmap(header, header->mapped);
}

size_t big_block_held_bytes() { return g_big_held.load(std::memory_order_relaxed); }

// ---------------------------------------------------------------- vec

void vec_free_heap(void* element) { std::free(element); }

void vec_free_noop(void* /*element*/) {}

int32_t vec_init(vec* v, uint32_t n) {
  if (v == nullptr) return kRcBadArgument;
  *v = vec{};
  if (n > 0) {
    v->slots = static_cast<void**>(np_malloc(n * sizeof(void*)));
    if (v->slots == nullptr) return kRcNoMemory;
  }
  v->capacity = n;
  v->step = n;
  v->free_fn = vec_free_heap;
  return 0;
}

int32_t vec_init_from_pool(block_pool* pool, vec* v) {
  if (v == nullptr) return kRcBadArgument;
  // A pool whose blocks cannot hold one slot is no use; fall back to the heap.
  if (pool != nullptr && pool->block_size >= sizeof(void*)) {
    void* block = pool_block_take(pool);
    if (block != nullptr) {
      *v = vec{};
      v->pool = pool;
      v->block = block;
      v->slots = static_cast<void**>(block);
      v->capacity = pool->block_size / static_cast<uint32_t>(sizeof(void*));
      v->step = v->capacity;
      v->free_fn = vec_free_heap;
      return 0;
    }
  }
  return vec_init(v, kDefaultHeapSlots);
}

int32_t vec_init_owning(block_pool* pool, vec* v) { return vec_init_from_pool(pool, v); }

namespace {

int32_t vec_grow(vec* v) {
  // A vector made with no slots has step 0; grow it by one all the same.
  const uint32_t step = v->step > 0 ? v->step : 1;
  if (v->capacity > std::numeric_limits<uint32_t>::max() - step) return kRcNoMemory;
  const uint32_t new_capacity = v->capacity + step;
  if (v->block != nullptr) {
    auto* slots = static_cast<void**>(np_malloc(static_cast<size_t>(new_capacity) * sizeof(void*)));
    if (slots == nullptr) return kRcNoMemory;
    std::memcpy(slots, v->slots, static_cast<size_t>(v->count) * sizeof(void*));
    pool_block_return(v->pool, v->block);
    v->pool = nullptr;
    v->block = nullptr;
    v->slots = slots;
  } else {
    auto* slots = static_cast<void**>(np_realloc(v->slots, static_cast<size_t>(new_capacity) * sizeof(void*)));
    if (slots == nullptr) return kRcNoMemory;
    v->slots = slots;
  }
  v->capacity = new_capacity;
  v->step = new_capacity / 2 + 1;
  return 0;
}

}  // namespace

int32_t vec_push(vec* v, void* element) {
  if (v == nullptr) return kRcBadArgument;
  if (v->count >= v->capacity) {
    const int32_t rc = vec_grow(v);
    if (rc != 0) return rc;
  }
  v->slots[v->count++] = element;
  return 0;
}

void* vec_get(const vec* v, int32_t index) {
  if (v == nullptr || index < 0 || static_cast<uint32_t>(index) >= v->count) return nullptr;
  return v->slots[index];
}

uint32_t vec_count(const vec* v) { return v == nullptr ? 0 : v->count; }

int32_t vec_remove_value(vec* v, void* element) {
  if (v == nullptr) return -1;
  for (uint32_t i = 0; i < v->count; ++i) {
    if (v->slots[i] == element) {
      std::memmove(&v->slots[i], &v->slots[i + 1], static_cast<size_t>(v->count - i - 1) * sizeof(void*));
      --v->count;
      return 0;
    }
  }
  return -1;
}

int32_t vec_clear(vec* v) {
  if (v == nullptr) return 0;
  if (v->free_fn != nullptr && v->free_fn != vec_free_noop) {
    // Count down first so that a free function that looks at the vector sees
    // only the elements still alive.
    while (v->count > 0) {
      --v->count;
      v->free_fn(v->slots[v->count]);
    }
  }
  v->count = 0;
  return 0;
}

void vec_free(vec* v) {
  if (v == nullptr) return;
  vec_clear(v);
  if (v->block != nullptr) {
    pool_block_return(v->pool, v->block);
  } else {
    std::free(v->slots);
  }
  v->pool = nullptr;
  v->block = nullptr;
  v->slots = nullptr;
  v->capacity = 0;
}

int32_t vec_free_fn_set(vec* v, vec_free_fn fn) {
  if (v != nullptr) v->free_fn = fn;
  return 0;
}

void vec_user_data_set(vec* v, uintptr_t word) {
  if (v != nullptr) v->user_data = word;
}

// ---------------------------------------------------------------- block pool

namespace {

// Distance between two blocks of a chunk: header plus data, kept aligned so
// that every block's data is suitably aligned for any record.
inline size_t block_stride(const block_pool* pool) {
  return align_up(kPoolBlockHeader + pool->block_size, alignof(std::max_align_t));
}

inline pool_block_link* link_of(void* data) {
  return reinterpret_cast<pool_block_link*>(static_cast<char*>(data) - kPoolBlockHeader);
}

inline void* data_of(pool_block_link* link) { return reinterpret_cast<char*>(link) + kPoolBlockHeader; }

// A chunk whose blocks are all unused, not zeroed, so that none of its pages
// is written before a block on it is taken.
bool pool_add_chunk(block_pool* pool) {
  auto* chunk =
      static_cast<pool_chunk*>(big_block_alloc(sizeof(pool_chunk) + block_stride(pool) * kPoolChunkBlocks, false));
  if (chunk == nullptr) return false;
  chunk->next = nullptr;
  pool_chunk** tail = &pool->chunks;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = chunk;
  pool->unused = reinterpret_cast<char*>(chunk) + sizeof(pool_chunk);
  pool->unused_count = kPoolChunkBlocks;
  return true;
}

// The next unused block, zeroed; NULL when out of memory.
pool_block_link* pool_carve(block_pool* pool) {
  if (pool->unused_count == 0 && !pool_add_chunk(pool)) return nullptr;
  auto* link = reinterpret_cast<pool_block_link*>(pool->unused);
  pool->unused += block_stride(pool);
  --pool->unused_count;
  std::memset(data_of(link), 0, pool->block_size);
  return link;
}

}  // namespace

block_pool* pool_create(uint32_t block_size) {
  if (block_size > std::numeric_limits<uint32_t>::max() - 7) return nullptr;
  auto* pool = static_cast<block_pool*>(np_calloc(1, sizeof(block_pool)));
  if (pool == nullptr) return nullptr;
  pool->block_size = (block_size + 7u) & ~7u;
  return pool;
}

void* pool_block_take(block_pool* pool) {
  if (pool == nullptr) return nullptr;
  pool_block_link* link = pool->free_list;
  if (link != nullptr) {
    pool->free_list = link->next;
    if (pool->free_list != nullptr) pool->free_list->prev = nullptr;
  } else {
    link = pool_carve(pool);
    if (link == nullptr) return nullptr;
  }
  link->prev = nullptr;
  link->next = pool->used_list;
  if (pool->used_list != nullptr) pool->used_list->prev = link;
  pool->used_list = link;
  return data_of(link);
}

void* pool_block_return(block_pool* pool, void* block) {
  if (pool == nullptr || block == nullptr) return block;
  pool_block_link* link = link_of(block);
  if (link->prev != nullptr) {
    link->prev->next = link->next;
  } else {
    pool->used_list = link->next;
  }
  if (link->next != nullptr) link->next->prev = link->prev;
  link->prev = nullptr;
  link->next = pool->free_list;
  if (pool->free_list != nullptr) pool->free_list->prev = link;
  pool->free_list = link;
  return block;
}

void pool_destroy(block_pool* pool) {
  if (pool == nullptr) return;
  pool_chunk* chunk = pool->chunks;
  while (chunk != nullptr) {
    pool_chunk* next = chunk->next;
    big_block_free(chunk);
    chunk = next;
  }
  std::free(pool);
}

// ---------------------------------------------------------------- memory pool

int32_t mempool_init(mempool* pool, uint32_t kilobytes) {
  if (pool == nullptr) return kRcBadArgument;
  *pool = mempool{};
  if (kilobytes == 0 || kilobytes > (std::numeric_limits<uint32_t>::max() >> 10)) return kRcBadArgument;
  const uint32_t size = kilobytes << 10;
  char* first = static_cast<char*>(big_block_alloc(size, false));
  if (first == nullptr) return kRcNoMemory;
  if (vec_init(&pool->blocks, kDefaultHeapSlots) != 0 || vec_push(&pool->blocks, first) != 0) {
    big_block_free(first);
    vec_free(&pool->blocks);
    *pool = mempool{};
    return kRcNoMemory;
  }
  pool->block_size = size;
  pool->current = first;
  pool->next_free = first;
  pool->initialised = 1;
  return 0;
}

void mempool_enable_set(mempool* pool, uint32_t flag) {
  if (pool != nullptr) pool->enabled = flag;
}

void* mempool_alloc(mempool* pool, uint32_t size, int32_t* status) {
  int32_t dummy = 0;
  int32_t& rc = status != nullptr ? *status : dummy;
  rc = 0;
  if (pool == nullptr || !pool->enabled || !pool->initialised) {
    rc = kRcPoolDisabled;
    return nullptr;
  }
  if (pool->failed) {
    rc = kRcPoolFailedBefore;
    return nullptr;
  }
  // A request no block can hold is refused outright; it does not mark the
  // pool as failed.
  const uint64_t rounded = (static_cast<uint64_t>(size) + 7u) & ~static_cast<uint64_t>(7u);
  if (rounded > pool->block_size) {
    rc = kRcNoMemory;
    return nullptr;
  }
  size = static_cast<uint32_t>(rounded);
  if (size > pool->block_size - pool->used) {
    const uint32_t next_index = pool->index + 1;
    char* block = static_cast<char*>(vec_get(&pool->blocks, static_cast<int32_t>(next_index)));
    if (block == nullptr) {
      block = static_cast<char*>(big_block_alloc(pool->block_size, false));
      if (block == nullptr || vec_push(&pool->blocks, block) != 0) {
        big_block_free(block);
        pool->failed = 1;
        rc = kRcNoMemory;
        return nullptr;
      }
    }
    pool->current = block;
    pool->next_free = block;
    pool->used = 0;
    pool->index = next_index;
  }
  void* result = pool->next_free;
  pool->next_free += size;
  pool->used += size;
  return result;
}

void mempool_reset(mempool* pool) {
  if (pool == nullptr || pool->blocks.count == 0) return;
  pool->current = static_cast<char*>(pool->blocks.slots[0]);
  pool->next_free = pool->current;
  pool->index = 0;
  pool->used = 0;
  pool->failed = 0;
  pool->initialised = 1;
}

void mempool_free(mempool* pool) {
  if (pool == nullptr) return;
  vec_free_fn_set(&pool->blocks, big_block_free);
  vec_free(&pool->blocks);
  *pool = mempool{};
}

}  // namespace tq
