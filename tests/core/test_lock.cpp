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
#include "support/bare_context.h"
#include "support/watchdog.h"

using namespace tq;
using namespace std::chrono_literals;
using tq_test::Watchdog;

namespace {

struct Ctx {
  tq_test::ContextPtr c = tq_test::make_bare_context();
  tq_context* get() { return c.get(); }
  tq_context* operator->() { return c.get(); }
};

uint32_t readers_of(shared_state* ss) { return rwlock_readers(&ss->lock); }
uint32_t writers_of(shared_state* ss) { return rwlock_writers(&ss->lock); }

// Waits for another thread to reach a state, however long the scheduler
// takes to run it (the test's watchdog ends a run that never gets there).
template <typename F>
bool eventually(F cond) {
  while (!cond()) std::this_thread::sleep_for(1ms);
  return true;
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

// Another context sharing the state, as a clone does; it leaves at the end.
struct Sharer {
  Ctx c;
  shared_state* ss;
  explicit Sharer(State& st) : ss(st.ss) { EXPECT_EQ(shared_state_addref(st.owner.get(), ss, c.get()), 0); }
  ~Sharer() { EXPECT_EQ(shared_state_release(c.get(), ss), 0); }
  tq_context* get() { return c.get(); }
  tq_context* operator->() { return c.get(); }
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
  EXPECT_EQ(rwlock_read_release(&st.ss->lock, &a->reader), -603);
  // A context that never joined the state cannot read it.
  Ctx stranger;
  EXPECT_EQ(shared_state_read_lock(stranger.get(), st.ss), -802);
  EXPECT_EQ(stranger->read_holds, 0u);

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

TEST(SharedStateLock, WriteFromReadIsRefusedTheUpgradeGivesThePlaceBackAndRetakesIt) {
  State st;
  Ctx& a = st.owner;
  Sharer b(st);
  ASSERT_EQ(shared_state_read_lock(b.get(), st.ss), 0);
  ASSERT_EQ(shared_state_read_lock(a.get(), st.ss), 0);
  EXPECT_EQ(readers_of(st.ss), 2u);
  ASSERT_EQ(shared_state_read_unlock(b.get(), st.ss), 0);

  // Reading, the write hold is refused: nothing is given up.
  EXPECT_EQ(shared_state_write_lock(a.get(), st.ss), kRcNeedsWriteHold);
  EXPECT_EQ(a->write_refused, 1u);
  EXPECT_EQ(readers_of(st.ss), 1u);
  EXPECT_EQ(writers_of(st.ss), 0u);
  a->write_refused = 0;

  ASSERT_EQ(shared_state_write_lock_upgrade(a.get(), st.ss), 0);
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
  Watchdog watchdog;
  State st;
  Ctx& a = st.owner;
  Sharer w(st), r(st);
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
  // Whenever the reader has come (it may be inside for an instant before
  // it sees the waiting writer and steps back), neither it nor the writer
  // gets in while the first hold stays.
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(order.load(), 0);
  EXPECT_TRUE(eventually([&] { return readers_of(st.ss) == 1u; }));
  EXPECT_EQ(order.load(), 0);

  // The hold taken on this thread is given back on another one.
  std::thread([&] { EXPECT_EQ(shared_state_read_unlock(a.get(), st.ss), 0); }).join();
  writer.join();
  reader.join();
  EXPECT_EQ(wrote_at.load(), 1);
  EXPECT_EQ(read_at.load(), 2);
  EXPECT_EQ(readers_of(st.ss), 0u);
  EXPECT_EQ(writers_of(st.ss), 0u);
}

// Readers on four contexts (nested holds), a writer, and a reader that
// upgrades to the write hold inside its read hold, all on their own threads.
// The writers change two words one step apart; no reader may see them differ
// and no two writers may be inside together. Run under ThreadSanitizer too.
TEST(SharedStateLock, ReadersAndWritersOnManyThreadsNeverOverlap) {
  Watchdog watchdog;
  State st;
  std::vector<std::unique_ptr<Sharer>> readers;
  for (int i = 0; i < 4; ++i) readers.push_back(std::make_unique<Sharer>(st));
  Sharer writer(st), upgrader(st);
  EXPECT_EQ(st.ss->ref_count, 7u);

  int pair[2] = {0, 0};  // plain data: the lock alone orders its accesses
  std::atomic<int> torn{0}, failed{0}, writers_inside{0};
  std::atomic<bool> go{false};  // every thread starts at once
  auto wait_go = [&] {
    while (!go.load()) std::this_thread::yield();
  };
  auto check = [&](int32_t rc) {
    if (rc != 0) ++failed;
  };
  auto read_loop = [&](Sharer* c) {
    wait_go();
    for (int i = 0; i < 4000; ++i) {
      check(shared_state_read_lock(c->get(), st.ss));
      check(shared_state_read_lock(c->get(), st.ss));
      if (pair[0] != pair[1]) ++torn;
      check(shared_state_read_unlock(c->get(), st.ss));
      check(shared_state_read_unlock(c->get(), st.ss));
    }
  };
  auto write_step = [&](tq_context* ctx, bool upgrade = false) {
    check(upgrade ? shared_state_write_lock_upgrade(ctx, st.ss) : shared_state_write_lock(ctx, st.ss));
    if (writers_inside.fetch_add(1) != 0) ++torn;
    ++pair[0];
    std::this_thread::yield();
    ++pair[1];
    writers_inside.fetch_sub(1);
    check(shared_state_write_unlock(ctx, st.ss));
  };
  std::vector<std::thread> threads;
  for (auto& r : readers) threads.emplace_back(read_loop, r.get());
  threads.emplace_back([&] {
    wait_go();
    for (int i = 0; i < 200; ++i) write_step(writer.get());
  });
  threads.emplace_back([&] {
    wait_go();
    for (int i = 0; i < 200; ++i) {
      check(shared_state_read_lock(upgrader.get(), st.ss));
      int before = pair[0];
      if (before != pair[1]) ++torn;
      // Refused while reading; the frame's upgrade takes it.
      if (shared_state_write_lock(upgrader.get(), st.ss) != kRcNeedsWriteHold) ++failed;
      upgrader->write_refused = 0;
      write_step(upgrader.get(), true);
      // Back among the readers with the count it had.
      if (upgrader->read_holds != 1 || upgrader->write_holds != 0) ++failed;
      if (pair[0] != pair[1]) ++torn;
      check(shared_state_read_unlock(upgrader.get(), st.ss));
    }
  });
  go = true;
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(failed.load(), 0);
  EXPECT_EQ(pair[0], 400);
  EXPECT_EQ(readers_of(st.ss), 0u);
  EXPECT_EQ(writers_of(st.ss), 0u);
  readers.clear();
  EXPECT_EQ(st.ss->ref_count, 3u);
  EXPECT_EQ(shared_state_release(nullptr, nullptr), 0);
}

// A context that leaves while it still holds reads and a write takes every
// hold with it: the others can read and write on.
TEST(SharedStateLock, LeavingWithHoldsLetsTheOthersOn) {
  State st;
  Ctx gone;
  ASSERT_EQ(shared_state_addref(st.owner.get(), st.ss, gone.get()), 0);
  EXPECT_EQ(gone->shared, st.ss);
  // A slot joins one shared state at a time.
  shared_state* other = nullptr;
  Ctx second;
  ASSERT_EQ(shared_state_create(second.get(), &other), 0);
  EXPECT_EQ(shared_state_addref(second.get(), other, gone.get()), -802);
  EXPECT_EQ(other->ref_count, 1u);
  EXPECT_EQ(shared_state_release(second.get(), other), 0);

  ASSERT_EQ(shared_state_read_lock(gone.get(), st.ss), 0);
  ASSERT_EQ(shared_state_read_lock(gone.get(), st.ss), 0);
  EXPECT_EQ(readers_of(st.ss), 1u);
  ASSERT_EQ(shared_state_release(gone.get(), st.ss), 0);
  EXPECT_EQ(gone->read_holds, 0u);
  EXPECT_EQ(readers_of(st.ss), 0u);
  EXPECT_EQ(st.ss->ref_count, 1u);

  Ctx writer;
  ASSERT_EQ(shared_state_addref(st.owner.get(), st.ss, writer.get()), 0);
  ASSERT_EQ(shared_state_write_lock(writer.get(), st.ss), 0);
  ASSERT_EQ(shared_state_write_lock(writer.get(), st.ss), 0);
  ASSERT_EQ(shared_state_read_lock(writer.get(), st.ss), 0);
  ASSERT_EQ(shared_state_release(writer.get(), st.ss), 0);
  EXPECT_EQ(writer->read_holds + writer->write_holds, 0u);
  EXPECT_EQ(writers_of(st.ss), 0u);
  Ctx& a = st.owner;
  ASSERT_EQ(shared_state_write_lock(a.get(), st.ss), 0);
  ASSERT_EQ(shared_state_write_unlock(a.get(), st.ss), 0);
  ASSERT_EQ(shared_state_read_lock(a.get(), st.ss), 0);
  ASSERT_EQ(shared_state_read_unlock(a.get(), st.ss), 0);
}
