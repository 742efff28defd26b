// The export frame itself, driven with implementations written here.
#include <functional>
#include <string>
#include <vector>

#include "api/krapi_frame.h"
#include "core/krcorvel.h"
#include "core/krerr.h"
#include "core/krzel.h"
#include "support/tq_test.h"

namespace {

using tq::api::frame;
using tq_test::Context;

int32_t run(tq_context* ctx, uint32_t hold, uint32_t edit, const std::function<int32_t()>& body,
            const tq::api::checked_arg* checks = nullptr) {
  static const tq::api::checked_arg none[] = {{nullptr, nullptr}};
  auto call = [&]() -> int32_t { return body(); };
  return frame(ctx, "tq_test_call", hold, edit, checks ? checks : none, &tq::api::thunk<decltype(call)>, &call);
}

uint32_t error_count(tq_context* ctx) { return ctx->errors.count; }

// A context tracing every module into a file of its own, truncated first.
class Traced {
 public:
  Traced() { EXPECT_EQ(tq_init(&ctx_, nullptr), 0); }
  ~Traced() { close(); }
  Traced(const Traced&) = delete;
  Traced& operator=(const Traced&) = delete;
  tq_context* get() const { return ctx_; }
  // Closes the context (its last line written) and gives the lines.
  std::vector<std::string> lines() {
    close();
    return tq_test::read_lines(file_);
  }

 private:
  void close() {
    if (ctx_ != nullptr) tq_close(ctx_);
    ctx_ = nullptr;
  }
  tq_test::TempDir dir_;
  std::string file_ = (dir_ / "t.log").string();
  tq_test::ScopedEnv env_{"CORVEL_TRACE_FILE", file_.c_str()};
  tq_test::ScopedEnv opts_{"CORVEL_TRACE_OPTIONS", "1"};
  tq_context* ctx_ = nullptr;
};

TEST(Frame, NestedCallsUpToTheStackDepth) {
  Context ctx;
  int deepest = 0;
  std::function<int32_t(int)> nest = [&](int level) -> int32_t {
    return run(ctx, 1, 0, [&]() -> int32_t {
      deepest = level;
      if (level == 300) return 0;
      return nest(level + 1);
    });
  };
  EXPECT_EQ(nest(1), -601);
  EXPECT_EQ(deepest, 256);
  EXPECT_EQ(ctx.get()->call_depth, 0u);
  EXPECT_EQ(ctx.get()->read_holds, 0u);
}

TEST(Frame, ReadHoldIsTakenOnceAndReentrant) {
  Context ctx;
  uint32_t outer = 0, inner = 0;
  EXPECT_EQ(run(ctx, 1, 0, [&]() -> int32_t {
              outer = ctx.get()->read_holds;
              return run(ctx, 1, 0, [&]() -> int32_t {
                inner = ctx.get()->read_holds;
                return 0;
              });
            }),
            0);
  EXPECT_EQ(outer, 1u);
  EXPECT_EQ(inner, 2u);
  EXPECT_EQ(ctx.get()->read_holds, 0u);
  uint32_t during = 9;
  EXPECT_EQ(run(ctx, 0, 0, [&]() -> int32_t {
              during = ctx.get()->read_holds;
              return 0;
            }),
            0);
  EXPECT_EQ(during, 0u);
}

TEST(Frame, GenericRecordOnlyWhenNothingWasRecorded) {
  Context ctx;
  EXPECT_EQ(run(ctx, 1, 0, [] { return -707; }), -707);
  ASSERT_EQ(error_count(ctx), 1u);
  EXPECT_EQ(ctx.get()->errors.recs[0].code, -707);
  EXPECT_STREQ(ctx.get()->errors.recs[0].text, "The locale is not loaded, or no locale is current.");
  EXPECT_EQ(run(ctx, 1, 0, [&]() -> int32_t {
              TQ_REPORT(ctx.get(), -300, 1491, 7);
              return -300;
            }),
            -300);
  ASSERT_EQ(error_count(ctx), 1u);
  EXPECT_STREQ(ctx.get()->errors.recs[0].text, "Encoding 7 cannot be converted by the character library.");
  // Warnings pass through without a record.
  EXPECT_EQ(run(ctx, 1, 0, [] { return 101; }), 101);
  EXPECT_EQ(error_count(ctx), 0u);
  // Out of memory thrown by the implementation becomes -600.
  EXPECT_EQ(run(ctx, 1, 0, []() -> int32_t { throw std::bad_alloc(); }), -600);
  EXPECT_EQ(ctx.get()->call_depth, 0u);
  EXPECT_EQ(ctx.get()->read_holds, 0u);
}

// A call refused the write hold while it reads runs again from the start
// under it: the first run's messages go, whatever code it passed up (even
// one a path on the way made of the refusal), and a nested frame leaves the
// run again to the outermost one.
TEST(Frame, RefusedWriteHoldRunsTheCallAgainUnderIt) {
  Context ctx;
  tq_context* c = ctx.get();
  for (const bool turned : {false, true}) {
    int runs = 0;
    uint32_t writes_seen = 9;
    EXPECT_EQ(run(c, 1, 0, [&]() -> int32_t {
                ++runs;
                const int32_t rc = tq::shared_state_write_lock(c, c->shared);
                if (rc != 0) {
                  TQ_REPORT(c, -300, 1491, 7);
                  return turned ? -300 : rc;
                }
                writes_seen = c->write_holds;
                return tq::shared_state_write_unlock(c, c->shared);
              }),
              0);
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(writes_seen, 2u);  // nested in the frame's own
    EXPECT_EQ(error_count(c), 0u);
    EXPECT_EQ(c->write_holds, 0u);
    EXPECT_EQ(c->read_holds, 0u);
    EXPECT_EQ(c->write_refused, 0u);
  }
  int inner_runs = 0;
  int outer_runs = 0;
  EXPECT_EQ(run(c, 1, 0, [&]() -> int32_t {
              ++outer_runs;
              return run(c, 1, 0, [&]() -> int32_t {
                ++inner_runs;
                const int32_t rc = tq::shared_state_write_lock(c, c->shared);
                if (rc != 0) return rc;
                return tq::shared_state_write_unlock(c, c->shared);
              });
            }),
            0);
  EXPECT_EQ(outer_runs, 2);
  EXPECT_EQ(inner_runs, 2);
  EXPECT_EQ(c->call_depth, 0u);
  EXPECT_EQ(c->read_holds, 0u);
  EXPECT_EQ(c->write_holds, 0u);
}

// A call that throws out of memory between taking holds and giving them
// back (a pair that no guard covers) leaves nothing held: the frame gives
// back what the call took above what it found, keeps the call's -600, and
// another context sharing the state then takes the write hold at once. A
// call that reads is refused the write hold first and runs again under it.
TEST(Frame, HoldsLeftByAThrowingCallAreGivenBack) {
  tq_context* c = nullptr;
  tq_context* clone = nullptr;
  ASSERT_EQ(tq_init(&c, nullptr), 0);
  ASSERT_EQ(tq_clone(c, &clone), 0);
  for (const uint32_t hold : {0u, 1u}) {
    SCOPED_TRACE(hold);
    EXPECT_EQ(run(c, hold, 0, [&]() -> int32_t {
                const int32_t rc = tq::shared_state_write_lock(c, c->shared);
                if (rc != 0) return rc;
                EXPECT_EQ(tq::shared_state_read_lock(c, c->shared), 0);
                throw std::bad_alloc();
              }),
              -600);
    ASSERT_EQ(error_count(c), 1u);
    EXPECT_EQ(c->errors.recs[0].code, -600);
    EXPECT_EQ(c->call_depth, 0u);
    EXPECT_EQ(c->read_holds, 0u);
    ASSERT_EQ(c->write_holds, 0u);
    ASSERT_EQ(tq::rwlock_writers(&c->shared->lock), 0u);
    ASSERT_EQ(tq::rwlock_readers(&c->shared->lock), 0u);
    ASSERT_EQ(tq::shared_state_write_lock(clone, clone->shared), 0);
    EXPECT_EQ(tq::shared_state_write_unlock(clone, clone->shared), 0);
  }
  tq_close(c);
  tq_close(clone);
}

// The trace tells of the run again only, as the error list does: an error
// recorded before the refusal, and a nested call's lines, appear once.
TEST(Frame, RefusedRunLeavesNoTraceLines) {
  Traced traced;
  tq_context* c = traced.get();
  int runs = 0;
  EXPECT_EQ(run(c, 1, 0, [&]() -> int32_t {
              ++runs;
              TQ_REPORT(c, -300, 1491, 7);
              (void)run(c, 1, 0, [] { return 0; });
              const int32_t rc = tq::shared_state_write_lock(c, c->shared);
              if (rc != 0) return rc;
              (void)tq::shared_state_write_unlock(c, c->shared);
              return -300;
            }),
            -300);
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(error_count(c), 1u);
  const std::vector<std::string> lines = traced.lines();
  auto count = [&](const std::string& text) {
    int n = 0;
    for (const std::string& line : lines) n += line.find(text) != std::string::npos ? 1 : 0;
    return n;
  };
  EXPECT_EQ(count("]: API Entry @ tqx_test_call"), 2);  // the call's and the nested call's
  EXPECT_EQ(count("Encoding 7 cannot be converted"), 1);
  EXPECT_EQ(count("]: API Exit @ tqx_test_call, rc=-300"), 1);
}

TEST(Frame, EditRulesRecordNothing) {
  Context plain;
  Context edit(nullptr, true);
  bool called = false;
  auto body = [&]() -> int32_t {
    called = true;
    return 0;
  };
  EXPECT_EQ(run(plain, 1, tq::api::NEEDS_EDIT, body), -501);
  EXPECT_EQ(run(edit, 1, tq::api::REFUSES_EDIT, body), -500);
  EXPECT_FALSE(called);
  EXPECT_EQ(error_count(plain), 0u);
  EXPECT_EQ(error_count(edit), 0u);
  EXPECT_EQ(run(edit, 1, tq::api::NEEDS_EDIT, body), 0);
  EXPECT_TRUE(called);
  EXPECT_EQ(run(nullptr, 1, 0, body), -100);
}

TEST(Frame, GuardsCheckInOrder) {
  Context ctx;
  int value = 1;
  const tq::api::checked_arg checks[] = {{"first", &value}, {"second", nullptr}, {"third", nullptr}, {nullptr, nullptr}};
  EXPECT_EQ(run(ctx, 1, 0, [] { return 0; }, checks), -802);
  ASSERT_EQ(error_count(ctx), 1u);
  EXPECT_STREQ(ctx.get()->errors.recs[0].text, "'second' is null.");
  EXPECT_EQ(ctx.get()->call_depth, 0u);
}

TEST(Frame, ImplementationGuards) {
  Context ctx;
  using namespace tq::api;
  EXPECT_EQ(api_check_string_empty(ctx, "f.cpp", 1, 2, "name", ""), -802);
  EXPECT_STREQ(ctx.get()->errors.last->text, "'name' is empty.");
  EXPECT_EQ(api_check_string_empty(ctx, "f.cpp", 1, 2, "name", "x"), 0);
  EXPECT_EQ(api_check_value_zero(ctx, "f.cpp", 1, 1, "count", 0), -802);
  EXPECT_STREQ(ctx.get()->errors.last->text, "'count' is 0.");
  EXPECT_EQ(api_check_value_zero(ctx, "f.cpp", 1, 2, "count", 3), -802);
  EXPECT_STREQ(ctx.get()->errors.last->text, "'count' is not 0.");
  EXPECT_EQ(api_check_value_zero(ctx, "f.cpp", 1, 4, "ok", 1), -802);
  EXPECT_STREQ(ctx.get()->errors.last->text, "'ok' is false.");
  EXPECT_EQ(api_check_value_zero(ctx, "f.cpp", 1, 0, "ok", 1), 0);
  EXPECT_EQ(api_check_not_null(ctx, "f.cpp", 1, 0, "p", nullptr), 0);
  EXPECT_EQ(error_count(ctx), 4u);
}

TEST(Frame, ExitTraceCarriesWarnings) {
  Traced traced;
  EXPECT_EQ(run(traced.get(), 1, 0, [] { return 101; }), 101);
  auto lines = traced.lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_NE(lines[1].find("]: API Entry @ tqx_test_call"), std::string::npos);
  EXPECT_NE(lines[2].find("]: API Exit @ tqx_test_call, rc=101"), std::string::npos);
}

}  // namespace
