// The allocators the engine builds on:
//  - big blocks: memory of 64 KiB and more taken straight from the system and
//    given straight back, for the pools' blocks and the large work areas;
//  - vec: a growable array of element pointers whose first slots may live in a
//    block taken from a block pool;
//  - block_pool: fixed-size blocks carved from chunks of 128 blocks, kept on a
//    free and a used list;
//  - mempool: a bump allocator over big blocks, rewound (not freed) between
//    uses, so that many short-lived allocations cost one reset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "tq.h"

namespace tq {

// Result codes of these allocators.
inline constexpr int32_t kRcNoMemory = TQ_ERR_NO_MEMORY;
inline constexpr int32_t kRcPoolFailedBefore = -601;
inline constexpr int32_t kRcPoolDisabled = -603;
inline constexpr int32_t kRcBadArgument = TQ_ERR_ARGUMENT;

// ---- Big blocks
//
// A context's pools and large work areas live as long as the context. Taken
// from malloc, a block of that size lands in the heap once glibc has raised
// its mmap threshold (it does so when such a block is freed), and a closed
// context's blocks then stay there: their touched pages stay resident, and
// the next contexts' blocks land elsewhere in them and touch pages of their
// own, so that a program that makes and closes many clones grows without
// bound. A block of kBigBlockMin bytes or more is therefore mapped from the
// system (anonymous, private; its pages are made on first touch, so the
// untouched part of a big pool block costs no resident memory) and unmapped
// when freed. A smaller one comes from the heap, which serves it well; so
// does a big one when no mapping can be had (the system's count of mappings
// used up). Freeing needs no size: a small header says how the block was had.
// Under AddressSanitizer every block comes from the heap, so that an access
// past a big block's end and a use after its free are reported as for any
// heap block.
inline constexpr size_t kBigBlockMin = 64 * 1024;

// size bytes aligned for any record, zeroed when `zeroed` (a mapped block
// happens to be, a sanitizer's heap block is not: ask); NULL when out of
// memory.
void* big_block_alloc(size_t size, bool zeroed);
// Gives a block from big_block_alloc back (NULL is ignored).
void big_block_free(void* block);
// Bytes that blocks of kBigBlockMin or more hold now, in the whole process
// (mapped, or under AddressSanitizer taken from its heap in their place): a
// closed context leaves none of its own.
size_t big_block_held_bytes();

// A record of type T made in a big block (default-initialised, as `new T`
// makes it; NULL when out of memory), and its destruction.
template <class T>
T* big_new() {
  static_assert(alignof(T) <= alignof(std::max_align_t));
  void* block = big_block_alloc(sizeof(T), false);
  return block == nullptr ? nullptr : new (block) T;
}
template <class T>
void big_delete(T* record) {
  if (record == nullptr) return;
  record->~T();
  big_block_free(record);
}

struct block_pool;

// Called with one element when a vector is cleared or freed.
using vec_free_fn = void (*)(void* element);

struct vec {
  uint32_t count;
  uint32_t capacity;
  uint32_t step;          // growth step
  block_pool* pool;       // with block: the pool block holding the slots, else NULL
  void* block;
  void** slots;
  uintptr_t user_data;
  vec_free_fn free_fn;
};

// Element free functions: the heap's free (NULL is ignored) and one that
// leaves the elements alone.
void vec_free_heap(void* element);
void vec_free_noop(void* element);

// count 0, n heap slots, capacity and step n, heap free. -600.
int32_t vec_init(vec* v, uint32_t n);
// Slots in a block of the pool (capacity = block size / pointer size); with
// no pool, or when no block can be had, 80 heap slots. Step = capacity,
// heap free. -600.
int32_t vec_init_from_pool(block_pool* pool, vec* v);
// A vector whose elements belong to it and are given back to the heap when it
// is cleared or freed; slots as vec_init_from_pool.
int32_t vec_init_owning(block_pool* pool, vec* v);
// Appends, growing first when full (-600, the vector unchanged).
int32_t vec_push(vec* v, void* element);
// The element at index; NULL for an index below 0 or not below the count.
void* vec_get(const vec* v, int32_t index);
uint32_t vec_count(const vec* v);
// Removes the first element equal to `element`, shifting the rest down.
// 0, or -1 when absent.
int32_t vec_remove_value(vec* v, void* element);
// Calls the free function on every element, last first; count 0. Returns 0.
int32_t vec_clear(vec* v);
// Clears, then gives the slots back (to their pool or the heap); capacity 0.
void vec_free(vec* v);
int32_t vec_free_fn_set(vec* v, vec_free_fn fn);
void vec_user_data_set(vec* v, uintptr_t word);

// Every block carries this header (two list pointers) before the caller's data.
inline constexpr size_t kPoolBlockHeader = 2 * sizeof(void*);
inline constexpr uint32_t kPoolChunkBlocks = 128;

struct pool_block_link {
  pool_block_link* prev;
  pool_block_link* next;
};

// One allocation of 128 blocks; the blocks follow this header.
struct alignas(std::max_align_t) pool_chunk {
  pool_chunk* next;
};

struct block_pool {
  uint32_t block_size;          // requested size rounded up to a multiple of 8
  pool_chunk* chunks;           // chain of chunks, oldest first
  pool_block_link* free_list;   // blocks given back
  pool_block_link* used_list;
  char* unused;                 // the newest chunk's blocks never handed out,
  uint32_t unused_count;        // from here on
};

// A pool of blocks of block_size bytes (rounded up to 8), without a chunk
// yet; NULL when out of memory. Chunks are made (as big blocks) as blocks are
// taken and a block's memory is first written when it is first taken, so that
// a pool that is never used costs its record only and the pages of blocks
// never taken stay untouched.
block_pool* pool_create(uint32_t block_size);
// A block of block_size bytes (the caller's data, which the block's header
// precedes), zeroed when first handed out; a block given back comes back as
// it was left. A new chunk is made when none is free. NULL when out of
// memory.
void* pool_block_take(block_pool* pool);
// Gives a block taken from this pool back; returns it.
void* pool_block_return(block_pool* pool, void* block);
// Frees every chunk and the pool record.
void pool_destroy(block_pool* pool);

struct mempool {
  char* current;          // current block
  uint32_t initialised;
  char* next_free;        // next free byte of the current block
  vec blocks;             // every block, in order of use
  uint32_t block_size;    // bytes
  uint32_t used;          // bytes used in the current block
  uint32_t index;         // index of the current block
  uint32_t enabled;
  uint32_t failed;
};

// Block size := kilobytes * 1024; the first block is made. Blocks are big
// blocks, so that a pool's blocks go back to the system when it is freed. Allocation stays
// refused until the pool is enabled. -600 (block size 0); -802 for a size of
// 0 or one too large to express.
int32_t mempool_init(mempool* pool, uint32_t kilobytes);
void mempool_enable_set(mempool* pool, uint32_t flag);
// Size rounded up to 8. status (may be NULL) := 0, or -603 when the pool is
// not enabled (or not initialised), -601 when an earlier block allocation
// failed, -600 when out of memory or the request is larger than a block.
void* mempool_alloc(mempool* pool, uint32_t size, int32_t* status);
// Back to the first block, every block kept; used 0, failed 0.
void mempool_reset(mempool* pool);
// Frees every block; the record is left as after zeroing.
void mempool_free(mempool* pool);

}  // namespace tq
