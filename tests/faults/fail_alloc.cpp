#include "faults/fail_alloc.h"

#include <unicode/uclean.h>

#include <atomic>
#include <cstdlib>
#include <algorithm>
#include <new>
#include <string_view>

#include "platform/npmem.h"

namespace {

// Per thread, so that no other thread's allocations (gtest's, a watchdog's)
// move the count. Plain values: no destructor to register.
thread_local bool t_armed = false;
thread_local bool t_persist = false;
thread_local bool t_failed = false;
thread_local bool t_icu_only = false;
thread_local long t_count = 0;
thread_local long t_nth = 0;
thread_local void (*t_instead)() = nullptr;
thread_local bool t_spare_icu_first = false;
thread_local bool t_spared = false;
// Whether ICU has allocated in this process, armed or not.
constinit std::atomic<bool> g_icu_allocated{false};

bool refuse(std::size_t, bool from_icu = false, bool icu_first = false) {
  if (!t_armed || (t_icu_only && !from_icu)) return false;
  const long n = ++t_count;
  if (t_nth == 0 || n < t_nth || (n > t_nth && !t_persist)) return false;
  if (icu_first && t_spare_icu_first) {
    if (n == t_nth) t_spared = true;
    return false;
  }
  if (t_instead != nullptr) {
    if (n == t_nth) t_instead();
    return false;
  }
  t_failed = true;
  return true;
}

void* allocate(std::size_t size) {
  if (refuse(size)) return nullptr;
  return std::malloc(size != 0 ? size : 1);
}

void* allocate_aligned(std::size_t size, std::size_t align) {
  if (refuse(size)) return nullptr;
  const std::size_t rounded = (size + align - 1) / align * align;
  return std::aligned_alloc(align, rounded != 0 ? rounded : align);
}

bool icu_first() { return !g_icu_allocated.exchange(true); }
void* icu_alloc(const void*, std::size_t size) {
  return refuse(size, true, icu_first()) ? nullptr : std::malloc(size != 0 ? size : 1);
}
void* icu_realloc(const void*, void* block, std::size_t size) {
  return refuse(size, true, icu_first()) ? nullptr : std::realloc(block, size);
}
bool refuse_library(std::size_t size) { return refuse(size); }
void icu_free(const void*, void* block) { std::free(block); }

// Installed before main: ICU allocates through these from its first call.
const bool installed = [] {
  np_alloc_refuse_set(&refuse_library);
  UErrorCode status = U_ZERO_ERROR;
  u_setMemoryFunctions(nullptr, &icu_alloc, &icu_realloc, &icu_free, &status);
  return U_SUCCESS(status);
}();

}  // namespace

// ICU 72 keeps blocks of its own (data handles, cache entries it made
// before the allocation that failed) when one of its allocations fails part
// way: those are ICU's, reached through its own frames, and not reported.
// Every block the library allocates is still checked.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions() { return "leak:libicuuc.so\nleak:libicui18n.so\n"; }
#endif

namespace tq_test {

FailingAllocator::FailingAllocator(long nth, bool persist, Counted counted, void (*instead)()) {
  (void)installed;
  t_count = 0;
  t_nth = nth;
  t_persist = persist;
  t_icu_only = counted == Counted::icu;
  t_instead = instead;
  t_spare_icu_first = false;
  t_spared = false;
  t_failed = false;
  t_armed = true;
}

FailingAllocator::~FailingAllocator() { stop(); }

void FailingAllocator::stop() { t_armed = false; }
long FailingAllocator::count() const { return t_count; }
bool FailingAllocator::failed() const { return t_failed; }
void FailingAllocator::spare_first_icu() { t_spare_icu_first = true; }
bool FailingAllocator::spared() const { return t_spared; }

AllocPause::AllocPause() : armed_(t_armed) { t_armed = false; }
AllocPause::~AllocPause() { t_armed = armed_; }

std::vector<long> failure_points(long clean, long samples, long tail) {
  std::vector<long> points;
  const char* sweep = std::getenv("TQ_FAULT_SWEEP");
  const bool all = sweep != nullptr && std::string_view(sweep) == "all";
  const long first = all ? clean : std::min<long>(clean, 8);
  for (long n = 1; n <= first; ++n) points.push_back(n);
  if (all || clean <= first) return points;
  const long rest = clean - first;
  const long stride = std::max<long>(1, rest / samples);
  // An odd offset, so that a stride does not always land on the same kind
  // of allocation in a loop.
  for (long n = first + 1 + stride / 3; n <= clean; n += stride) points.push_back(n);
  for (long n = std::max(first + 1, clean - tail + 1); n <= clean; ++n) points.push_back(n);
  points.push_back(clean);
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  return points;
}

}  // namespace tq_test

// The program's operator new and delete, through the counter. Delete is
// free: every block here comes from malloc or aligned_alloc.
void* operator new(std::size_t size) {
  void* p = allocate(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new(std::size_t size, std::align_val_t align) {
  void* p = allocate_aligned(size, static_cast<std::size_t>(align));
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t size, std::align_val_t align) { return operator new(size, align); }
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return allocate_aligned(size, static_cast<std::size_t>(align));
}
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return allocate_aligned(size, static_cast<std::size_t>(align));
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
