// What the error list says of a failed edit read or save, for every kind
// read for editing: a -600 always says what ran out, a held file that
// cannot be opened is said alike, and a vault handle whose edit failed
// says so to the calls made on it after.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "faults/edit_kinds.h"
#include "faults/fail_alloc.h"
#include "platform/npfio.h"
#include "support/tq_test.h"

namespace {

namespace fs = std::filesystem;
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

// Fails the read of the held file: the first open made once its lock file
// is there.
struct FailHeldRead {
  static inline fs::path lock_file;
  static inline bool done = false;
  static int hook(const char* call) {
    if (done || std::strcmp(call, "openat") != 0 || !fs::exists(lock_file)) return 0;
    done = true;
    return EACCES;
  }
};

TEST(HeldFile, OneFailureIsSaidAlikeByEveryKind) {
  for (const SaveKind& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    tq_test::SampleKbCopy kb;
    Editor e(kb.path());
    FailHeldRead::lock_file = (kb.path() / kind.file).string() + ".lck";
    FailHeldRead::done = false;
    np_fio_fault_set(&FailHeldRead::hook);
    const int32_t rc = kind.open(e);
    np_fio_fault_set(nullptr);
    ASSERT_TRUE(FailHeldRead::done);
    EXPECT_EQ(rc, TQ_ERR_FILE_OPEN);
    EXPECT_TRUE(tq_test::holds(tq_test::error_list_text(e.ctx),
                               "/" + std::string(kind.file) + "' held for editing could not be read: Permission denied."));
    if (e.vault == nullptr) continue;
    // The vault handle whose edit failed holds no file: what would change
    // or write it says so.
    EXPECT_EQ(tq_zel_vlt_file_desc_set(e.ctx, e.vault, "new"), TQ_ERR_NOT_USABLE);
    EXPECT_TRUE(tq_test::holds(tq_test::error_list_text(e.ctx), "holds no file: its edit failed"));
    EXPECT_EQ(tq_zel_vlt_file_write(e.ctx, e.vault), TQ_ERR_NOT_USABLE);
    EXPECT_TRUE(tq_test::holds(tq_test::error_list_text(e.ctx), "holds no file: its edit failed"));
  }
}

}  // namespace
