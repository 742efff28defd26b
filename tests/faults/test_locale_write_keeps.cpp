// A write of a locale loaded in part reads the file it replaces first, to
// keep the parts its load left out. When that read fails, at its open or
// part way, the write fails naming the file, the system's reason and what
// was to be kept, and the file stays as it was, byte for byte.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/npfio.h"
#include "support/sample_locales.h"
#include "support/tq_test.h"

namespace {

using tq_test::holds;

// Fails the first call of its name with EIO.
struct FailFirst {
  static inline const char* call = nullptr;
  static inline bool done = false;
  static int hook(const char* name) {
    if (done || std::strcmp(name, call) != 0) return 0;
    done = true;
    return EIO;
  }
};

TEST(LocaleWriteKeeps, AHeldFileThatCannotBeReadIsNotWritten) {
  struct Case {
    uint32_t parts;
    const char* call;
    const char* said;  // what was to be kept
  };
  for (const Case& c : {Case{TQ_LOAD_DATATYPES, "openat", "TQ_LOAD_PARSE_DEFNS"},
                        Case{TQ_LOAD_DATATYPES, "read", "TQ_LOAD_PARSE_DEFNS"}}) {
    SCOPED_TRACE(std::string(c.call) + " " + c.said);
    tq_test::SampleKbCopy kb;
    const std::filesystem::path en = kb / "locale" / "en.loc.zel";
    const std::string before = tq_test::read_file(en);
    tq_test::Context ctx(kb.str().c_str(), true);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
    ASSERT_EQ(tq_zel_locale_load_edit(ctx, tq_test::kSampleEn, c.parts, lock), 0) << tq_test::error_list_text(ctx);
    FailFirst::call = c.call;
    FailFirst::done = false;
    np_fio_fault_set(&FailFirst::hook);
    const int32_t rc = tq_locale_write(ctx, tq_test::kSampleEn, lock);
    np_fio_fault_set(nullptr);
    EXPECT_TRUE(FailFirst::done);
    EXPECT_EQ(rc, TQ_ERR_FILE_OPEN);
    const std::string errors = tq_test::error_list_text(ctx);
    EXPECT_TRUE(holds(errors, en.string()));
    EXPECT_TRUE(holds(errors, std::strerror(EIO)));
    EXPECT_TRUE(holds(errors, c.said));
    EXPECT_TRUE(tq_test::read_file(en) == before) << "the file was written";
    tq_lock_free(ctx, lock);
  }
}

}  // namespace
