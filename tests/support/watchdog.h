// Ends the run instead of hanging it when the threads of a test deadlock:
// declared first in a test, it aborts the process unless the test is over
// within the limit. Header-only and standard-library-only, so that tests of
// any layer, and black-box tests of the library, can use it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace tq_test {

class Watchdog {
 public:
  Watchdog()
      : t_([this] {
          std::unique_lock<std::mutex> lk(m_);
          if (!cv_.wait_for(lk, std::chrono::seconds(300), [this] { return done_; })) {
            std::fprintf(stderr, "no progress within 300 s: the threads are deadlocked\n");
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lk(m_);
      done_ = true;
    }
    cv_.notify_one();
    t_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread t_;  // last, so that it starts after the members it waits on
};

}  // namespace tq_test
