// Tracing from the environment, through the exports.
#include <regex>
#include <string>
#include <vector>

#include "support/tq_test.h"

namespace {

using tq_test::ScopedEnv;
using tq_test::TempDir;

struct TraceEnv {
  TempDir dir;
  std::string file = (dir / "trace.log").string();
  ScopedEnv file_env;
  ScopedEnv options_env;
  ScopedEnv modules_env;
  TraceEnv(const char* options, const char* modules)
      : file_env("CORVEL_TRACE_FILE", file.c_str()),
        options_env("CORVEL_TRACE_OPTIONS", options),
        modules_env("CORVEL_TRACE_MODULES", modules) {}
  std::vector<std::string> lines() const { return tq_test::read_lines(file); }
};

// The message part of a trace line, after "<stamp> [<module>, <address>]: ".
std::string message_of(const std::string& line) {
  auto pos = line.find("]: ");
  return pos == std::string::npos ? line : line.substr(pos + 3);
}
std::string module_of(const std::string& line) {
  auto open = line.find(" [");
  auto comma = line.find(", ", open);
  return line.substr(open + 2, comma - open - 2);
}

void failing_call(tq_context* ctx) {
  uint32_t enc = 0;
  EXPECT_EQ(tq_encoding_get_by_name(ctx, "utf-8", &enc), -1);
}

TEST(Trace, OffWhenUnset) {
  ScopedEnv unset("CORVEL_TRACE_FILE", nullptr);
  TempDir dir;
  tq_context* ctx = nullptr;
  ASSERT_EQ(tq_init(&ctx, nullptr), 0);
  failing_call(ctx);
  tq_close(ctx);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(Trace, StartEndAndCallLines) {
  TraceEnv env("1", nullptr);
  tq_context* ctx = nullptr;
  ASSERT_EQ(tq_init(&ctx, nullptr), 0);
  uint32_t enc = 0;
  EXPECT_EQ(tq_session_encoding_get(ctx, &enc), 0);
  failing_call(ctx);
  tq_close(ctx);
  auto lines = env.lines();
  ASSERT_EQ(lines.size(), 6u);
  std::regex shape(R"(^.+ \[krtrace, .+\]: Corvel tracing initiated\.$)");
  EXPECT_TRUE(std::regex_match(lines[0], shape)) << lines[0];
  EXPECT_EQ(message_of(lines[1]), "API Entry @ tqx_session_encoding_get");
  EXPECT_EQ(module_of(lines[1]), "krapi");
  // A successful call writes no exit line.
  EXPECT_EQ(message_of(lines[2]), "API Entry @ tqx_encoding_get_by_name");
  EXPECT_EQ(message_of(lines[3]), "Error: The operation failed. (rc = -1)");
  EXPECT_EQ(module_of(lines[3]), "krerr");
  EXPECT_EQ(message_of(lines[4]), "API Exit @ tqx_encoding_get_by_name, rc=-1");
  EXPECT_EQ(module_of(lines[4]), "krapi");
  EXPECT_EQ(message_of(lines[5]), "Corvel tracing terminated.");
  EXPECT_EQ(module_of(lines[5]), "krtrace");
}

TEST(Trace, TruncateOrAppend) {
  TraceEnv env("0", nullptr);
  env.dir.write("trace.log", "earlier line\n");
  tq_context* ctx = nullptr;
  ASSERT_EQ(tq_init(&ctx, nullptr), 0);
  tq_close(ctx);
  auto lines = env.lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "earlier line");
  TraceEnv truncating("1", nullptr);
  truncating.dir.write("trace.log", "earlier line\n");
  ASSERT_EQ(tq_init(&ctx, nullptr), 0);
  tq_close(ctx);
  EXPECT_EQ(truncating.lines().size(), 2u);
}

TEST(Trace, ModuleFilter) {
  {
    TraceEnv env("1", "  krapi, krerr");
    tq_context* ctx = nullptr;
    ASSERT_EQ(tq_init(&ctx, nullptr), 0);
    failing_call(ctx);
    tq_close(ctx);
    auto lines = env.lines();
    // Start and end lines bypass the filter.
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(module_of(lines[1]), "krapi");
    EXPECT_EQ(module_of(lines[2]), "krerr");
  }
  {
    TraceEnv env("5", "  krapi, krerr");
    tq_context* ctx = nullptr;
    ASSERT_EQ(tq_init(&ctx, nullptr), 0);
    failing_call(ctx);
    tq_close(ctx);
    auto lines = env.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(module_of(lines[0]), "krtrace");
    EXPECT_EQ(module_of(lines[1]), "krtrace");
  }
  {
    TraceEnv env("3", "krtrace");
    tq_context* ctx = nullptr;
    ASSERT_EQ(tq_init(&ctx, nullptr), 0);
    failing_call(ctx);
    tq_close(ctx);
    EXPECT_EQ(env.lines().size(), 5u);
  }
  {
    // A list of separators only selects nothing, so everything is traced.
    TraceEnv env("1", " , ,");
    tq_context* ctx = nullptr;
    ASSERT_EQ(tq_init(&ctx, nullptr), 0);
    failing_call(ctx);
    tq_close(ctx);
    EXPECT_EQ(env.lines().size(), 5u);
  }
}

TEST(Trace, UnopenableFileFailsInit) {
  ScopedEnv file("CORVEL_TRACE_FILE", "/nonexistent/d/t.log");
  tq_context* ctx = reinterpret_cast<tq_context*>(1);
  EXPECT_EQ(tq_init(&ctx, nullptr), -400);
  EXPECT_EQ(ctx, nullptr);
}

TEST(Trace, CloneSharesTheTraceWithoutRestarting) {
  TraceEnv env("1", nullptr);
  tq_context* ctx = nullptr;
  ASSERT_EQ(tq_init(&ctx, nullptr), 0);
  failing_call(ctx);
  tq_context* copy = nullptr;
  ASSERT_EQ(tq_clone(ctx, &copy), 0);
  failing_call(copy);
  tq_close(copy);
  tq_close(ctx);
  auto lines = env.lines();
  // One start line, two failing calls of three lines, two end lines: the
  // clone neither truncated the file nor announced a second start.
  ASSERT_EQ(lines.size(), 9u);
  int starts = 0;
  for (const auto& l : lines) starts += message_of(l) == "Corvel tracing initiated." ? 1 : 0;
  EXPECT_EQ(starts, 1);
}

}  // namespace
