// Counts heap allocations made while a scope is open, for tests that hold
// the engine's roads to allocating nothing per value once a context is
// warm. It works through the sanitizer runtime's allocation hooks, so it
// counts only in sanitizer builds (as CI runs); elsewhere `available` is
// false and tests skip the check.
#pragma once

#include <atomic>
#include <cstddef>

extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                                         void (*free_hook)(const volatile void*))
    __attribute__((weak));

namespace tq_test {

class AllocCounter {
 public:
  AllocCounter() {
    static const bool installed = __sanitizer_install_malloc_and_free_hooks != nullptr &&
                                  __sanitizer_install_malloc_and_free_hooks(on_malloc, on_free) != 0;
    available = installed;
    count().store(0);
    counting().store(true);
  }
  ~AllocCounter() { counting().store(false); }
  AllocCounter(const AllocCounter&) = delete;
  AllocCounter& operator=(const AllocCounter&) = delete;

  // Allocations since the counter was made.
  long allocations() const { return count().load(); }
  bool available = false;

 private:
  static std::atomic<long>& count() {
    static std::atomic<long> n{0};
    return n;
  }
  static std::atomic<bool>& counting() {
    static std::atomic<bool> on{false};
    return on;
  }
  static void on_free(const volatile void*) {}
  static void on_malloc(const volatile void*, size_t) {
    if (counting().load(std::memory_order_relaxed)) count().fetch_add(1, std::memory_order_relaxed);
  }
};

}  // namespace tq_test
