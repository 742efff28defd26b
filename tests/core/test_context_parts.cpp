// The walk over the layers' part lists: order of making and freeing, what a
// failure frees, and what a copy takes from its source.
#include <cstring>
#include <string>
#include <vector>

#include "core/krcorvel.h"
#include "support/tq_test.h"

namespace {

std::vector<std::string> g_log;
int32_t g_fail_code = 0;  // what the part named "c" returns from create

int32_t make_a(tq_context*) { return g_log.push_back("+a"), 0; }
int32_t make_b(tq_context*) { return g_log.push_back("+b"), 0; }
int32_t make_c(tq_context*) { return g_log.push_back("+c"), g_fail_code; }
int32_t copy_b(tq_context* src, tq_context* dst) {
  g_log.push_back("=b");
  dst->options = src->options;
  return 0;
}
void free_a(tq_context*) { g_log.push_back("-a"); }
void free_b(tq_context*) { g_log.push_back("-b"); }
void free_c(tq_context*) { g_log.push_back("-c"); }
void free_lazy(tq_context*) { g_log.push_back("-lazy"); }

constexpr tq::context_part kLower[] = {{"a", make_a, free_a, nullptr}, {"b", make_b, free_b, copy_b}};
constexpr tq::context_part kUpper[] = {{"lazy", nullptr, free_lazy, nullptr}, {"c", make_c, free_c, nullptr}};
const tq::context_layer kLayers[] = {kLower, kUpper};

std::string log_text() {
  std::string out;
  for (const auto& step : g_log) out += step + " ";
  g_log.clear();
  return out;
}

TEST(ContextParts, MadeInOrderFreedInReverse) {
  tq_context ctx;
  tq::context_record_init(&ctx);
  g_fail_code = 0;
  ASSERT_EQ(tq::context_parts_create(&ctx, kLayers), 0);
  EXPECT_EQ(log_text(), "+a +b +c ");
  EXPECT_EQ(ctx.marker, tq::kContextMarker);
  tq::context_parts_free(&ctx, kLayers);
  EXPECT_EQ(log_text(), "-c -lazy -b -a ");
  EXPECT_EQ(ctx.marker, 0u);
}

TEST(ContextParts, FailureFreesWhatWasReachedInReverse) {
  struct Case {
    uint32_t inject;  // nth part fails by the test hook; 0: "c" fails on its own
    int32_t code;
    const char* log;
  };
  const Case cases[] = {
      {1, -600, "-a "},
      {2, -600, "+a -b -a "},
      {3, -600, "+a +b -lazy -b -a "},
      {4, -600, "+a +b -c -lazy -b -a "},
      {0, -123, "+a +b +c -c -lazy -b -a "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.inject);
    tq_context ctx;
    tq::context_record_init(&ctx);
    g_fail_code = c.inject == 0 ? c.code : 0;
    tq::context_part_fail_at(c.inject);
    EXPECT_EQ(tq::context_parts_create(&ctx, kLayers), c.code);
    tq::context_part_fail_at(0);
    EXPECT_EQ(log_text(), c.log);
    EXPECT_EQ(ctx.marker, 0u);
  }
  g_fail_code = 0;
}

TEST(ContextParts, CopyUsesCloneWhereThereIsOne) {
  tq_context src;
  tq::context_record_init(&src);
  g_fail_code = 0;
  ASSERT_EQ(tq::context_parts_create(&src, kLayers), 0);
  src.options = 0x40001;
  tq_context dst;
  tq::context_record_init(&dst);
  g_log.clear();
  ASSERT_EQ(tq::context_parts_clone(&src, &dst, kLayers), 0);
  EXPECT_EQ(log_text(), "+a =b +c ");
  EXPECT_EQ(dst.options, 0x40001u);
  tq::context_parts_free(&dst, kLayers);
  tq::context_parts_free(&src, kLayers);
  g_log.clear();
}

// A part left to first use: the walk neither makes it nor counts it for the
// failure hook, context_part_make makes it, and a failure (injected or its
// own) frees what it left, records the code and leaves the next call to try
// again.
int32_t make_late(tq_context*) { return g_log.push_back("+late"), g_fail_code; }
void free_late(tq_context*) { g_log.push_back("-late"); }
constexpr tq::context_part kLate = {"late", make_late, free_late, nullptr, true};
constexpr tq::context_part kWithLate[] = {kLate, {"a", make_a, free_a, nullptr}};

TEST(ContextParts, FirstUsePartsAreMadeOnlyWhenAsked) {
  const tq::context_layer layers[] = {tq::core_context_parts(), kWithLate};
  tq_context ctx;
  tq::context_record_init(&ctx);
  g_fail_code = 0;
  tq::context_part_fail_at(tq::core_context_parts().size() + 1);
  EXPECT_EQ(tq::context_parts_create(&ctx, layers), -600);  // "a", not "late"
  tq::context_part_fail_at(0);
  EXPECT_EQ(log_text(), "-a -late ");
  tq::context_record_init(&ctx);
  ASSERT_EQ(tq::context_parts_create(&ctx, layers), 0);
  EXPECT_EQ(log_text(), "+a ");
  struct Case {
    uint32_t inject;
    int32_t code;
    const char* log;
  };
  const Case cases[] = {{1, -600, "-late "}, {0, -123, "+late -late "}, {0, 0, "+late "}};
  for (const Case& c : cases) {
    g_fail_code = c.inject == 0 ? c.code : 0;
    tq::context_part_fail_at(c.inject);
    EXPECT_EQ(tq::context_part_make(&ctx, kLate), c.code);
    tq::context_part_fail_at(0);
    EXPECT_EQ(log_text(), c.log);
    if (c.code != 0) {
      ASSERT_GT(ctx.errors.count, 0u);
      EXPECT_EQ(ctx.errors.recs[ctx.errors.count - 1].code, c.code);
      EXPECT_NE(std::string(ctx.errors.recs[ctx.errors.count - 1].text).find("late"), std::string::npos);
    }
  }
  EXPECT_EQ(ctx.errors.count, 2u);
  tq::context_parts_free(&ctx, layers);
  EXPECT_EQ(log_text(), "-a -late ");
  g_fail_code = 0;
}

}  // namespace
