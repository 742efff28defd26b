// Counts heap allocations made while a scope is open, for tests that hold
// the engine's roads to allocating nothing per value once a context is
// warm, and the most bytes held at once above what was held when it was
// made, for tests that bound a road's memory. It works through the sanitizer runtime's allocation hooks, so it
// counts only in sanitizer builds (as CI runs); elsewhere `available` is
// false and tests skip the check.
#pragma once

#include <atomic>
#include <cstddef>

extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                                         void (*free_hook)(const volatile void*))
    __attribute__((weak));
extern "C" size_t __sanitizer_get_allocated_size(const volatile void* p) __attribute__((weak));

namespace tq_test {

class AllocCounter {
 public:
  AllocCounter() {
    static const bool installed = __sanitizer_install_malloc_and_free_hooks != nullptr &&
                                  __sanitizer_install_malloc_and_free_hooks(on_malloc, on_free) != 0;
    available = installed;
    count().store(0);
    held().store(0);
    peak().store(0);
    counting().store(true);
  }
  ~AllocCounter() { counting().store(false); }
  AllocCounter(const AllocCounter&) = delete;
  AllocCounter& operator=(const AllocCounter&) = delete;

  // Allocations since the counter was made.
  long allocations() const { return count().load(); }
  // The most bytes held at once, counted from 0 when the counter was made
  // (frees of older blocks take it below 0).
  long long peak_bytes() const { return peak().load(); }
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
  static std::atomic<long long>& held() {
    static std::atomic<long long> n{0};
    return n;
  }
  static std::atomic<long long>& peak() {
    static std::atomic<long long> n{0};
    return n;
  }
  static void on_free(const volatile void* p) {
    if (p == nullptr || __sanitizer_get_allocated_size == nullptr || !counting().load(std::memory_order_relaxed)) return;
    held().fetch_sub(static_cast<long long>(__sanitizer_get_allocated_size(p)), std::memory_order_relaxed);
  }
  static void on_malloc(const volatile void*, size_t size) {
    if (!counting().load(std::memory_order_relaxed)) return;
    count().fetch_add(1, std::memory_order_relaxed);
    long long now = held().fetch_add(static_cast<long long>(size), std::memory_order_relaxed) + static_cast<long long>(size);
    long long top = peak().load(std::memory_order_relaxed);
    while (now > top && !peak().compare_exchange_weak(top, now, std::memory_order_relaxed)) {
    }
  }
};

}  // namespace tq_test
