// A locale read for editing while a file its definitions name cannot be
// read keeps every name the locale file gave: the write that follows writes
// what a write after a clean load writes, byte for byte. Each open and each
// stat the edit load makes fails in turn, with each cause a file may meet
// (an I/O error, no descriptor left, no memory, the file gone); the write
// itself runs with the file layer back. A load that could not read the
// locale at all writes nothing: its write is refused and every file stays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "platform/npfio.h"
#include "support/sample_locales.h"
#include "support/tq_test.h"

namespace {

namespace fs = std::filesystem;

// Fails the Nth open or stat of this thread (from 1) with the error.
struct OpenStatFault {
  static thread_local long nth;
  static thread_local long count;
  static thread_local int error;
  static int hook(const char* call) {
    for (const char* name : {"open", "openat", "stat", "lstat", "fstat", "fstatat"}) {
      if (std::strcmp(call, name) == 0) return ++count == nth ? error : 0;
    }
    return 0;
  }
};
thread_local long OpenStatFault::nth = 0;
thread_local long OpenStatFault::count = 0;
thread_local int OpenStatFault::error = 0;

// The files under the root but lock files (an empty one whose opening
// failed may stay: it may be another editor's).
std::map<std::string, std::string> files_of(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file() && !e.path().string().ends_with(".lck"))
      files[fs::relative(e.path(), root).string()] = tq_test::read_file(e.path());
  }
  return files;
}

struct Written {
  int32_t load = 0;
  int32_t write = 0;
  std::map<std::string, std::string> files;  // the knowledge base after the write
  std::string errors;
};

// The sample copied once; each run puts back what the last one wrote.
const tq_test::SampleKbCopy& sample_copy() {
  static const tq_test::SampleKbCopy kb;
  return kb;
}

// An edit load of ENUSA on the copy, the Nth open or stat failed (0: none),
// then its write. *calls: the opens and stats counted.
Written edit_load_then_write(long nth, int error, long* calls) {
  const tq_test::SampleKbCopy& kb = sample_copy();
  for (const char* file : {"locale/en.loc.zel", "locale/enusa.loc.zel"}) {
    std::ofstream(kb.path() / file, std::ios::binary | std::ios::trunc)
        << tq_test::read_file(fs::path(TQ_SAMPLE_KB) / file);
  }
  const std::string root = kb.path().string();
  Written w;
  tq_context* ctx = nullptr;
  tq_lock_handle* lock = nullptr;
  EXPECT_GE(tq_init_edit_mode(&ctx, root.c_str()), 0);
  EXPECT_GE(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  EXPECT_GE(tq_zel_path_set(ctx, root.c_str()), 0);
  EXPECT_EQ(tq_lock_init(ctx, &lock), 0);
  OpenStatFault::nth = nth;
  OpenStatFault::count = 0;
  OpenStatFault::error = error;
  np_fio_fault_set(&OpenStatFault::hook);
  w.load = tq_zel_locale_load_edit(ctx, tq_test::kSampleEnusa, tq_test::kEveryPart, lock);
  np_fio_fault_set(nullptr);
  *calls = OpenStatFault::count;
  w.errors = tq_test::error_list_text(ctx);
  // ENUSA and its parent EN, whose definitions ENUSA inherits. A load that
  // met no failure is the clean one (each write syncs its file and folder,
  // which is most of this test's time).
  const bool met_failure = nth == 0 || w.load != 0;
  for (int32_t locale : {tq_test::kSampleEnusa, tq_test::kSampleEn}) {
    if (!met_failure) break;
    w.write = std::min(w.write, tq_locale_write(ctx, locale, lock));
    w.errors += tq_test::error_list_text(ctx);
  }
  tq_lock_free(ctx, lock);
  tq_close(ctx);
  w.files = files_of(kb.path());
  return w;
}

// One cause a pass (so that CTest runs them side by side).
class NamesKept : public ::testing::TestWithParam<int> {};

TEST_P(NamesKept, AWriteAfterAnEditLoadThatFailedPartWayWritesWhatACleanOneWrites) {
  const int error = GetParam();
  long clean_calls = 0;
  const Written clean = edit_load_then_write(0, 0, &clean_calls);
  ASSERT_EQ(clean.load, 0) << clean.errors;
  ASSERT_EQ(clean.write, 0) << clean.errors;
  ASSERT_GT(clean_calls, 0);
  const std::map<std::string, std::string> old_files = files_of(TQ_SAMPLE_KB);
  int partial = 0;
  for (long n = 1; n <= clean_calls; ++n) {
    SCOPED_TRACE(std::string(std::strerror(error)) + " at open or stat " + std::to_string(n) + " of " +
                 std::to_string(clean_calls));
    long calls = 0;
    const Written got = edit_load_then_write(n, error, &calls);
    if (got.load < 0) {
      // The locale itself (or memory for what it reads) could not be had.
      EXPECT_TRUE(got.load == TQ_ERR_FILE_OPEN || got.load == TQ_ERR_FILE_MISSING || got.load == TQ_ERR_NO_MEMORY)
          << got.load << got.errors;
      EXPECT_LT(got.write, 0);
      EXPECT_TRUE(got.files == old_files) << "a refused write changed the files";
    } else if (got.load == 0) {
      EXPECT_EQ(got.errors.find("] -"), std::string::npos) << got.errors;  // met nothing
    } else {
      partial += 1;
      EXPECT_EQ(got.load, TQ_WARN_LOCALE_PROBLEMS);
      EXPECT_GE(got.write, 0) << got.errors;
      EXPECT_TRUE(got.files == clean.files) << "the write differs from the clean one's\n" << got.errors;
    }
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GT(partial, 0);  // the case the test is about was met
}

INSTANTIATE_TEST_SUITE_P(Causes, NamesKept, ::testing::Values(EIO, EMFILE, ENOMEM, ENOENT),
                         [](const ::testing::TestParamInfo<int>& p) {
                           return std::string(p.param == EIO      ? "EIO"
                                              : p.param == EMFILE ? "EMFILE"
                                              : p.param == ENOMEM ? "ENOMEM"
                                                                  : "ENOENT");
                         });

}  // namespace
