// Every part of a real context failing in turn, in tq_init and in tq_clone:
// the call returns the failure, leaves no context and (under LeakSanitizer)
// nothing allocated, and the source of a failed copy goes on working.
#include <cstdint>
#include <string>

#include "core/krcorvel.h"
#include "kbstore/krkbctx.h"
#include "resources/krrsctx.h"
#include "support/tq_test.h"

namespace {

// The parts below the export layer; the export layer adds its own.
std::size_t parts_below_api() {
  return tq::core_context_parts().size() + tq::kbstore_context_parts().size() +
         tq::resources_context_parts().size() + tq::shared_state_parts().size();
}

// Tracing on, with a module list, so that a copy has a trace state to copy.
struct Traced {
  tq_test::TempDir dir;
  std::string file = (dir / "trace.txt").string();
  tq_test::ScopedEnv on{"CORVEL_TRACE_FILE", file.c_str()};
  tq_test::ScopedEnv modules{"CORVEL_TRACE_MODULES", "krcorvel,krzel"};
};

TEST(ContextParts, InitFailsInEachPartAndLeavesNothing) {
  Traced traced;
  for (uint32_t edit = 0; edit < 2; ++edit) {
    uint32_t n = 1;
    for (;; ++n) {
      tq::context_part_fail_at(n);
      tq_context* ctx = reinterpret_cast<tq_context*>(1);
      int32_t rc = edit ? tq_init_edit_mode(&ctx, "/kb") : tq_init(&ctx, "/kb");
      tq::context_part_fail_at(0);
      if (rc == 0) {
        ASSERT_NE(ctx, nullptr);
        EXPECT_EQ(ctx->edit_mode, edit);
        EXPECT_EQ(tq_close(ctx), 0);
        break;
      }
      EXPECT_EQ(rc, -600) << "part " << n;
      EXPECT_EQ(ctx, nullptr) << "part " << n;
    }
    EXPECT_GT(n, parts_below_api());
  }
}

TEST(ContextParts, CloneFailsInEachPartAndTheSourceGoesOn) {
  Traced traced;
  tq_context* src = nullptr;
  ASSERT_EQ(tq_init(&src, "/kb"), 0);
  EXPECT_EQ(tq_root_path_get(src, nullptr), -802);  // leaves an error record
  uint32_t n = 1;
  for (;; ++n) {
    tq::context_part_fail_at(n);
    tq_context* copy = reinterpret_cast<tq_context*>(1);
    int32_t rc = tq_clone(src, &copy);
    tq::context_part_fail_at(0);
    if (rc == 0) {
      uint32_t count = 0;
      EXPECT_EQ(tq_error_count_get(copy, &count), 0);
      EXPECT_EQ(count, 1u);
      EXPECT_EQ(copy->trace.on, 1u);
      EXPECT_EQ(tq_close(src), 0);
      EXPECT_EQ(tq_close(copy), 0);
      break;
    }
    EXPECT_EQ(rc, -600) << "part " << n;
    EXPECT_EQ(copy, nullptr) << "part " << n;
  }
  EXPECT_GT(n, parts_below_api());
}

}  // namespace
