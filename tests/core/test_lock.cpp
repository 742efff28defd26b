#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "core/krcorvel.h"
#include "core/krzel.h"
#include "platform/npmutex.h"

using namespace tq;
using namespace std::chrono_literals;

namespace {

struct Ctx {
  std::unique_ptr<tq_context> c;
  Ctx() : c(std::make_unique<tq_context>()) { std::memset(c.get(), 0, sizeof *c); }
  tq_context* get() { return c.get(); }
  tq_context* operator->() { return c.get(); }
};

// The lock's counts, read under their guards so that threads do not race.
uint32_t readers_of(shared_state* ss) {
  np_mutex_lock(ss->lock.reader_count_guard, 0);
  uint32_t n = ss->lock.readers;
  np_mutex_unlock(ss->lock.reader_count_guard);
  return n;
}
uint32_t writers_of(shared_state* ss) {
  np_mutex_lock(ss->lock.writer_count_guard, 0);
  uint32_t n = ss->lock.writers;
  np_mutex_unlock(ss->lock.writer_count_guard);
  return n;
}

template <typename F>
bool eventually(F cond) {
  for (int i = 0; i < 2000; ++i) {
    if (cond()) return true;
    std::this_thread::sleep_for(1ms);
  }
  return false;
}

struct State {
  Ctx owner;
  shared_state* ss = nullptr;
  State() {
    EXPECT_EQ(shared_state_create(owner.get(), &ss), 0);
    owner->shared = ss;
  }
  ~State() { EXPECT_EQ(shared_state_release(owner.get(), ss), 0); }
};

}  // namespace

TEST(Mutex, OwnerlessAndStatuses) {
  np_mutex_handle m = nullptr;
  ASSERT_EQ(np_mutex_create(0, &m), 0);
  EXPECT_EQ(np_mutex_unlock(m), kNpMutexNotLocked);
  ASSERT_EQ(np_mutex_lock(m, 0), 0);
  // Given back by another thread than the one that took it.
  std::thread([m] { EXPECT_EQ(np_mutex_unlock(m), 0); }).join();
  ASSERT_EQ(np_mutex_lock(m, 0), 0);
  EXPECT_EQ(np_mutex_unlock(m), 0);
  EXPECT_EQ(np_mutex_destroy(m), 0);
  EXPECT_EQ(np_mutex_destroy(nullptr), 0);
  EXPECT_NE(np_mutex_lock(nullptr, 0), 0);
}

TEST(SharedStateLock, ReadHoldsNestAndUnheldReleasesFail) {
  State st;
  Ctx& a = st.owner;
  EXPECT_EQ(shared_state_read_unlock(a.get(), st.ss), -603);
  EXPECT_EQ(shared_state_write_unlock(a.get(), st.ss), -603);
  EXPECT_EQ(ctx_shared_state_write_unlock(a.get()), -603);
  EXPECT_EQ(rwlock_read_release(&st.ss->lock), -603);

  ASSERT_EQ(shared_state_read_lock(a.get(), st.ss), 0);
  ASSERT_EQ(shared_state_read_lock(a.get(), st.ss), 0);
  EXPECT_EQ(a->read_holds, 2u);
  EXPECT_EQ(readers_of(st.ss), 1u);  // entered once
  ASSERT_EQ(shared_state_read_unlock(a.get(), st.ss), 0);
  EXPECT_EQ(readers_of(st.ss), 1u);  // the inner release keeps the hold
  ASSERT_EQ(shared_state_read_unlock(a.get(), st.ss), 0);
  EXPECT_EQ(readers_of(st.ss), 0u);
  EXPECT_EQ(shared_state_read_unlock(a.get(), st.ss), -603);
  EXPECT_EQ(a->read_holds, 0u);
}

TEST(SharedStateLock, WriteFromReadGivesThePlaceBackAndRetakesIt) {
  State st;
  Ctx& a = st.owner;
  Ctx b;
  ASSERT_EQ(shared_state_read_lock(b.get(), st.ss), 0);
  ASSERT_EQ(shared_state_read_lock(a.get(), st.ss), 0);
  EXPECT_EQ(readers_of(st.ss), 2u);
  ASSERT_EQ(shared_state_read_unlock(b.get(), st.ss), 0);

  ASSERT_EQ(shared_state_write_lock(a.get(), st.ss), 0);
  EXPECT_EQ(readers_of(st.ss), 0u);
  EXPECT_EQ(writers_of(st.ss), 1u);
  EXPECT_EQ(a->read_holds, 1u);
  ASSERT_EQ(shared_state_write_lock(a.get(), st.ss), 0);  // nested
  // Reads taken while writing are counted, not entered (no self-wait).
  ASSERT_EQ(shared_state_read_lock(a.get(), st.ss), 0);
  EXPECT_EQ(readers_of(st.ss), 0u);
  ASSERT_EQ(shared_state_read_unlock(a.get(), st.ss), 0);
  ASSERT_EQ(shared_state_write_unlock(a.get(), st.ss), 0);
  EXPECT_EQ(writers_of(st.ss), 1u);
  ASSERT_EQ(ctx_shared_state_write_unlock(a.get()), 0);
  EXPECT_EQ(writers_of(st.ss), 0u);
  EXPECT_EQ(readers_of(st.ss), 1u);  // as before the write
  EXPECT_EQ(a->read_holds, 1u);
  EXPECT_EQ(a->write_holds, 0u);
  ASSERT_EQ(shared_state_read_unlock(a.get(), st.ss), 0);
  EXPECT_EQ(readers_of(st.ss), 0u);

  // A read taken under a write with none before becomes a real read after.
  ASSERT_EQ(shared_state_write_lock(a.get(), st.ss), 0);
  ASSERT_EQ(shared_state_read_lock(a.get(), st.ss), 0);
  ASSERT_EQ(shared_state_write_unlock(a.get(), st.ss), 0);
  EXPECT_EQ(readers_of(st.ss), 1u);
  ASSERT_EQ(shared_state_read_unlock(a.get(), st.ss), 0);
  EXPECT_EQ(readers_of(st.ss), 0u);
}

TEST(SharedStateLock, WaitingWriterKeepsNewReadersOut) {
  State st;
  Ctx& a = st.owner;
  Ctx w, r;
  std::atomic<int> order{0};
  std::atomic<int> wrote_at{0}, read_at{0};

  ASSERT_EQ(shared_state_read_lock(a.get(), st.ss), 0);
  std::thread writer([&] {
    EXPECT_EQ(shared_state_write_lock(w.get(), st.ss), 0);
    wrote_at = ++order;
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(shared_state_write_unlock(w.get(), st.ss), 0);
  });
  ASSERT_TRUE(eventually([&] { return writers_of(st.ss) == 1; }));
  std::thread reader([&] {
    EXPECT_EQ(shared_state_read_lock(r.get(), st.ss), 0);
    read_at = ++order;
    EXPECT_EQ(shared_state_read_unlock(r.get(), st.ss), 0);
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(order.load(), 0);  // neither the writer nor the new reader got in
  EXPECT_EQ(readers_of(st.ss), 1u);

  // The hold taken on this thread is given back on another one.
  std::thread([&] { EXPECT_EQ(shared_state_read_unlock(a.get(), st.ss), 0); }).join();
  writer.join();
  reader.join();
  EXPECT_EQ(wrote_at.load(), 1);
  EXPECT_EQ(read_at.load(), 2);
  EXPECT_EQ(readers_of(st.ss), 0u);
  EXPECT_EQ(writers_of(st.ss), 0u);
}

TEST(SharedStateLock, ReadersOnTwoThreadsWithAWriterNeverSeeAHalfWrite) {
  State st;
  Ctx c1, c2, cw;
  ASSERT_EQ(shared_state_addref(st.owner.get(), st.ss), 0);
  ASSERT_EQ(shared_state_addref(st.owner.get(), st.ss), 0);
  ASSERT_EQ(shared_state_addref(st.owner.get(), st.ss), 0);
  EXPECT_EQ(st.ss->ref_count, 4u);

  int pair[2] = {0, 0};  // the writer keeps both equal, one step at a time
  std::atomic<int> torn{0};
  auto read_loop = [&](Ctx* c) {
    for (int i = 0; i < 3000; ++i) {
      ASSERT_EQ(shared_state_read_lock(c->get(), st.ss), 0);
      ASSERT_EQ(shared_state_read_lock(c->get(), st.ss), 0);
      if (pair[0] != pair[1]) ++torn;
      ASSERT_EQ(shared_state_read_unlock(c->get(), st.ss), 0);
      ASSERT_EQ(shared_state_read_unlock(c->get(), st.ss), 0);
    }
  };
  std::thread t1(read_loop, &c1), t2(read_loop, &c2);
  std::thread tw([&] {
    for (int i = 0; i < 300; ++i) {
      ASSERT_EQ(shared_state_write_lock(cw.get(), st.ss), 0);
      ++pair[0];
      std::this_thread::yield();
      ++pair[1];
      ASSERT_EQ(shared_state_write_unlock(cw.get(), st.ss), 0);
    }
  });
  t1.join();
  t2.join();
  tw.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(pair[0], 300);

  // Each clone gives its reference back; the last one (the owner, in the
  // fixture) frees the state.
  for (Ctx* c : {&c1, &c2, &cw}) EXPECT_EQ(shared_state_release(c->get(), st.ss), 0);
  EXPECT_EQ(st.ss->ref_count, 1u);
  EXPECT_EQ(readers_of(st.ss), 0u);
  EXPECT_EQ(shared_state_release(c1.get(), nullptr), 0);
}
