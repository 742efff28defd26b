#include "platform/npmem.h"

#include <atomic>

namespace {

std::atomic<np_alloc_refuse_fn> g_refuse{nullptr};

}  // namespace

bool np_alloc_refused(std::size_t size) noexcept {
  const np_alloc_refuse_fn refuse = g_refuse.load(std::memory_order_relaxed);
  return refuse != nullptr && refuse(size);
}

void np_alloc_refuse_set(np_alloc_refuse_fn refuse) noexcept { g_refuse.store(refuse, std::memory_order_relaxed); }

void* np_malloc(std::size_t size) noexcept { return np_alloc_refused(size) ? nullptr : std::malloc(size); }

void* np_calloc(std::size_t count, std::size_t size) noexcept {
  return np_alloc_refused(count * size) ? nullptr : std::calloc(count, size);
}

void* np_realloc(void* block, std::size_t size) noexcept {
  return np_alloc_refused(size) ? nullptr : std::realloc(block, size);
}
