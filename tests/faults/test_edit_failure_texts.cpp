// What the error list says of a failed edit read or save, for every kind
// read for editing: a -600 always says what ran out.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "faults/edit_kinds.h"
#include "faults/fail_alloc.h"
#include "support/tq_test.h"

namespace {

using held_kinds::Editor;
using held_kinds::kKinds;
using held_kinds::SaveKind;

// The records of code -600 whose text is empty.
int silent_shortages(tq_context* ctx) {
  uint32_t count = 0;
  EXPECT_EQ(tq_error_count_get(ctx, &count), 0);
  std::vector<char> text(2 * (TQ_ERROR_TEXT_MAX + 1));
  int silent = 0;
  for (uint32_t i = 0; i < count; ++i) {
    int32_t code = 0;
    if (tq_error_info_get_by_index(ctx, i, &code, text.data()) == 0 && code == TQ_ERR_NO_MEMORY) {
      silent += text[0] == '\0' ? 1 : 0;
    }
  }
  return silent;
}

// Memory gone for good from some allocation of an edit and its save on:
// a -600 recorded on the way has a text, though the step that ran out
// could make none.
TEST(LastingShortage, EveryOutOfMemoryRecordSaysWhatRanOut) {
  for (const SaveKind& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    tq_test::SampleKbCopy kb;
    long clean = 0;
    {
      Editor e(kb.path());
      tq_test::FailingAllocator counter(0);
      ASSERT_GE(kind.open(e), 0) << tq_test::error_list_text(e.ctx);
      ASSERT_GE(kind.save(e), 0) << tq_test::error_list_text(e.ctx);
      clean = counter.count();
    }
    for (const long n : tq_test::failure_points(clean)) {
      Editor e(kb.path());
      {
        tq_test::FailingAllocator fail(n, true);
        if (kind.open(e) >= 0) (void)kind.save(e);
      }
      EXPECT_EQ(silent_shortages(e.ctx), 0) << "from allocation " << n << "\n" << tq_test::error_list_text(e.ctx);
      if (::testing::Test::HasFailure()) break;
    }
  }
}

}  // namespace
