// Heap blocks of the library and of the dependencies it hands an allocator
// (PCRE2's general context, expat's memory suite). Each is the C library's
// call of the same name, asked first of a refusal hook that tests set to
// make the Nth allocation fail, as a machine out of memory would: so every
// road that allocates can be driven down its failure path. Blocks are given
// back with std::free (np_free is the same call, for tables of functions).
#pragma once

#include <cstddef>
#include <cstdlib>

void* np_malloc(std::size_t size) noexcept;
void* np_calloc(std::size_t count, std::size_t size) noexcept;
void* np_realloc(void* block, std::size_t size) noexcept;
inline void np_free(void* block) noexcept { std::free(block); }

// Whether the allocation about to be made of `size` bytes is refused (a
// test's failing allocator). NULL, the default, refuses nothing; the hook
// is read once per allocation, with no lock.
using np_alloc_refuse_fn = bool (*)(std::size_t size);
void np_alloc_refuse_set(np_alloc_refuse_fn refuse) noexcept;
// Asks the hook, for allocators outside this file (large mapped blocks).
bool np_alloc_refused(std::size_t size) noexcept;
