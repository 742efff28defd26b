// Counts the heap allocations of a whole benchmark program, for the "allocs"
// counters: malloc, calloc and realloc are interposed and passed on to
// glibc's allocator under its internal names. Include it in one file of a
// program only.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t n, size_t size);
extern "C" void* __libc_realloc(void* p, size_t size);

namespace bench {
inline std::atomic<uint64_t> allocs{0};
}  // namespace bench

extern "C" void* malloc(size_t size) {
  bench::allocs.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}
extern "C" void* calloc(size_t n, size_t size) {
  bench::allocs.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, size_t size) {
  bench::allocs.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, size);
}
