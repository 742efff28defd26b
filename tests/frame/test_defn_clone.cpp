// A context that reads is refused the write hold with nothing given up; the
// frame's upgrade then lets a clone append to the same set in the gap, and
// what the holder finds again by index afterwards is the same definition.
// The clone appends from the upgrade's gap hook, on the same thread, so
// every upgrade sees the set grown (and moved, as it grows past its room)
// whatever the scheduler does.
#include <cstring>
#include <string>

#include "core/krzel.h"
#include "kbstore/krdefn.h"
#include "kbstore/krlocload.h"
#include "support/test_defn_kind.h"
#include "support/tq_test.h"

namespace {

using namespace tq;
using tqtest::kTestKind;

TEST(DefnClone, RefusedWhileReadingFoundAgainAfterTheUpgrade) {
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

  // Each upgrade's gap appends a batch through the clone: the reader has
  // given its place back and not yet waited as a writer, so the clone's
  // write hold is free to take.
  constexpr int kRounds = 40;
  constexpr int kBatch = 50;
  constexpr int kAppends = kRounds * kBatch;
  struct Gap {
    tq_context* clone;
    int next;
    int failures;
  } gap{b, 0, 0};
  auto append_batch = [](context*, void* arg) {
    auto* g = static_cast<Gap*>(arg);
    for (int i = 0; i < kBatch; ++i, ++g->next) {
      int32_t added = -1;
      if (defn_add(g->clone, kTestKind, ("Added " + std::to_string(g->next)).c_str(), 0, &added) != 0) {
        ++g->failures;
      }
    }
  };

  ASSERT_EQ(shared_state_read_lock(a, a->shared), 0);
  defn_rec* rec = nullptr;
  ASSERT_EQ(defn_record_get_for_read(a, kTestKind, 0, &rec), 0);
  // Reading, the write hold is refused and the read hold kept.
  EXPECT_EQ(shared_state_write_lock(a, a->shared), kRcNeedsWriteHold);
  EXPECT_EQ(a->read_holds, 1u);
  EXPECT_EQ(a->write_holds, 0u);
  a->write_refused = 0;
  int bad = 0;
  int changes = 0;  // write holds that found the set grown since the last
  uint32_t seen = loc->defns[kTestKind].count;
  shared_state_upgrade_gap_hook_set(append_batch, &gap);
  for (int round = 0; round < kRounds; ++round) {
    // The frame's upgrade gives the read hold up until the write hold
    // ends: the clone appends, and the record is found again.
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
  shared_state_upgrade_gap_hook_set(nullptr, nullptr);
  ASSERT_EQ(shared_state_read_unlock(a, a->shared), 0);
  EXPECT_EQ(gap.failures, 0);
  EXPECT_EQ(bad, 0);
  EXPECT_EQ(changes, kRounds);
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
