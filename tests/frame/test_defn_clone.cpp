// A context that reads is refused the write hold with nothing given up; the
// frame's upgrade then lets a clone append to the same set in the gap, and
// what the holder finds again by index afterwards is the same definition.
// Run once under ThreadSanitizer too.
#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "core/krzel.h"
#include "kbstore/krdefn.h"
#include "kbstore/krlocload.h"
#include "support/test_defn_kind.h"
#include "support/tq_test.h"
#include "support/watchdog.h"

namespace {

using namespace tq;
using tqtest::kTestKind;

TEST(DefnClone, RefusedWhileReadingFoundAgainAfterTheUpgrade) {
  tq_test::Watchdog watchdog;
  tqtest::TestDefnKind kind;
  tq_context* a = nullptr;
  ASSERT_EQ(tq_init(&a, nullptr), 0);
  uint32_t at = 0;
  ASSERT_EQ(loaded_locale_rec_create(a, &at), 0);
  loaded_locale_rec* loc = nullptr;
  ASSERT_EQ(locale_rec_get_by_index(a, at, &loc), 0);
  loc->code = 29840;
  ASSERT_EQ(locale_select(a, 29840), 0);
  int32_t index = -1;
  ASSERT_EQ(defn_add(a, kTestKind, "Kept", 0, &index), 0);
  tq_context* b = nullptr;
  ASSERT_EQ(tq_clone(a, &b), 0);
  ASSERT_EQ(locale_select(b, 29840), 0);

  constexpr int kAppends = 2000;
  std::atomic<bool> go{false};
  std::atomic<bool> finished{false};
  std::thread appender([&] {
    while (!go.load()) std::this_thread::yield();
    for (int i = 0; i < kAppends; ++i) {
      int32_t added = -1;
      const int32_t rc = defn_add(b, kTestKind, ("Added " + std::to_string(i)).c_str(), 0, &added);
      if (rc != 0) {
        ADD_FAILURE() << "append " << i << ": " << rc;
        break;
      }
    }
    finished.store(true);
  });

  ASSERT_EQ(shared_state_read_lock(a, a->shared), 0);
  defn_rec* rec = nullptr;
  ASSERT_EQ(defn_record_get_for_read(a, kTestKind, 0, &rec), 0);
  // Reading, the write hold is refused and the read hold kept.
  EXPECT_EQ(shared_state_write_lock(a, a->shared), kRcNeedsWriteHold);
  EXPECT_EQ(a->read_holds, 1u);
  EXPECT_EQ(a->write_holds, 0u);
  a->write_refused = 0;
  go.store(true);
  int bad = 0;
  int changes = 0;  // write holds that found the set grown since the last
  uint32_t seen = loc->defns[kTestKind].count;
  while (!finished.load()) {
    // The frame's upgrade gives the read hold up until the write hold
    // ends: the clone may append, and the record is found again.
    ASSERT_EQ(shared_state_write_lock_upgrade(a, a->shared), 0);
    if (loc->defns[kTestKind].count != seen) {
      seen = loc->defns[kTestKind].count;
      ++changes;
    }
    ASSERT_EQ(defn_record_get_for_read(a, kTestKind, 0, &rec), 0);
    if (std::strcmp(rec->name, "Kept") != 0) ++bad;
    rec->validity_bits |= kDefnValidityStepReported;  // what a preparation would change
    ASSERT_EQ(shared_state_write_unlock(a, a->shared), 0);
    ASSERT_EQ(defn_record_get_for_read(a, kTestKind, 0, &rec), 0);
    if (std::strcmp(rec->name, "Kept") != 0 || rec->kind != kTestKind) ++bad;
  }
  ASSERT_EQ(shared_state_read_unlock(a, a->shared), 0);
  appender.join();
  EXPECT_EQ(bad, 0);
  EXPECT_GT(changes, 0);
  uint32_t count = 0;
  EXPECT_EQ(defn_count_get(a, kTestKind, &count), 0);
  EXPECT_EQ(count, static_cast<uint32_t>(kAppends + 1));

  EXPECT_EQ(tq_close(b), 0);
  ASSERT_EQ(shared_state_write_lock(a, a->shared), 0);
  defn_set_free(a, &loc->defns[kTestKind], 0);
  ASSERT_EQ(shared_state_write_unlock(a, a->shared), 0);
  EXPECT_EQ(tq_close(a), 0);
  EXPECT_EQ(kind.counters().init, kind.counters().free);
}

}  // namespace
