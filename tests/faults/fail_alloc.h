// A failing allocator for the tests of failure paths: it counts the heap
// allocations made on the thread that armed it (operator new, the
// library's own blocks, ICU's and, through the library's allocators,
// PCRE2's and expat's) and fails the Nth, as a machine out of memory would.
// Linking this file replaces the program's operator new, so it lives in the
// executable of these tests only.
#pragma once

#include <cstdint>
#include <vector>

namespace tq_test {

// Which allocations a FailingAllocator counts and fails: every one, or
// ICU's alone (the dependency out of memory while the rest of the call
// allocates as usual).
enum class Counted { all, icu };

class FailingAllocator {
 public:
  // Counting starts now on this thread; allocation number `nth` (from 1)
  // fails, and with `persist` every one after it too. 0 only counts. With
  // `instead`, allocation `nth` does not fail: `instead` runs at it, so that
  // something else can run out at a point the count names.
  explicit FailingAllocator(long nth, bool persist = false, Counted counted = Counted::all,
                            void (*instead)() = nullptr);
  ~FailingAllocator();
  FailingAllocator(const FailingAllocator&) = delete;
  FailingAllocator& operator=(const FailingAllocator&) = delete;

  // Allocations counted so far, and whether one was failed.
  long count() const;
  bool failed() const;
  // Stops counting before the scope ends (the rest of the scope allocates
  // as usual).
  void stop();
  // In a process where ICU has not allocated yet, ICU's first allocation
  // is counted but never failed; spared() tells whether it fell on `nth`.
  // ICU 72 waits on itself for ever when that one fails (see tq.h).
  void spare_first_icu();
  bool spared() const;
};

// Neither counts nor fails the allocations of its scope, for the test's own
// bookkeeping inside a counted call (the text it keeps of a result).
class AllocPause {
 public:
  AllocPause();
  ~AllocPause();
  AllocPause(const AllocPause&) = delete;
  AllocPause& operator=(const AllocPause&) = delete;

 private:
  bool armed_;
};

// The points to fail a call at whose clean run made `clean` allocations:
// every one in the full sweep (TQ_FAULT_SWEEP=all in the environment),
// else the first 8, about `samples` more spread over the rest, and each of
// the last `tail` (for a call whose few allocations of interest come last).
std::vector<long> failure_points(long clean, long samples = 48, long tail = 0);

}  // namespace tq_test
