// Standardizing three-word personal names through the exports (UTF-8
// session, locale ENUSA of the sample knowledge base) with the
// standardization definition "Name": the parse, every token's steps (given
// names and suffixes through their schemes) and the postprocessing proper
// case with the case definition "Name". Beside it, what the parse alone
// and the proper casing alone cost on the same values, so the figure can
// be read as the sum of its parts. "allocs" counts heap allocations per
// value once the context is warm.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_allocs.h"
#include "tq.h"

namespace {

constexpr int32_t kEnUsa = 29840;
constexpr uint32_t kLoadFlags = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_CASE_DEFNS | TQ_LOAD_STDZN_DEFNS;

void must(bool ok, const char* what, tq_context* ctx = nullptr) {
  if (ok) return;
  std::fprintf(stderr, "bench_standardize: %s failed\n", what);
  uint32_t n = 0;
  if (ctx != nullptr) tq_error_count_get(ctx, &n);
  for (uint32_t i = 0; i < n; ++i) {
    int32_t code = 0;
    char text[TQ_ERROR_TEXT_MAX + 1];
    tq_error_info_get_by_index(ctx, i, &code, text);
    std::fprintf(stderr, "  %d: %s\n", code, text);
  }
  std::abort();
}

// Three-word names: given-name variants, suffixes written out, initials
// with periods, every case.
const std::vector<std::string>& names() {
  static const std::vector<std::string> values = {
      "bill q. smith",       "Robert James Brown", "MARY ANN JOHNSON",   "jim smith junior",
      "Dr. Thomas Lee",      "kate l. garcia",     "Bob Taylor Senior",  "JOHN QUINCY ADAMS"};
  return values;
}

tq_context* context() {
  static tq_context* ctx = [] {
    tq_context* c = nullptr;
    must(tq_init(&c, nullptr) == 0, "tq_init");
    must(tq_session_encoding_set(c, TQ_ENC_UTF8) == 0, "encoding", c);
    must(tq_zel_path_set(c, TQ_SAMPLE_KB) == 0, "path", c);
    must(tq_zel_locale_load(c, kEnUsa, kLoadFlags) == 0, "locale load", c);
    return c;
  }();
  return ctx;
}

template <typename Fn>
void run(benchmark::State& state, Fn fn) {
  tq_context* ctx = context();
  const std::vector<std::string>& values = names();
  // Warm: every value once (definitions prepared, resources read).
  for (const std::string& v : values) must(fn(ctx, v.c_str()) >= 0, v.c_str(), ctx);
  const uint64_t allocs_before = bench::allocs.load();
  size_t i = 0;
  for (auto _ : state) {
    if (fn(ctx, values[i].c_str()) < 0) must(false, values[i].c_str(), ctx);
    if (++i == values.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["allocs"] =
      benchmark::Counter(static_cast<double>(bench::allocs.load() - allocs_before), benchmark::Counter::kAvgIterations);
}

char out[TQ_STANDARD_SIZE];

void BM_Standardize(benchmark::State& state) {
  run(state, [](tq_context* ctx, const char* v) {
    const int32_t rc = tq_standardize(ctx, "Name", v, out);
    benchmark::DoNotOptimize(out);
    return rc;
  });
}
void BM_ParseOnly(benchmark::State& state) {
  static tq_parse_token tokens[TQ_PARSE_TOKENS];
  run(state, [](tq_context* ctx, const char* v) {
    uint32_t count = 0;
    const int32_t rc = tq_parse(ctx, "Name", v, tokens, &count);
    benchmark::DoNotOptimize(tokens);
    return rc;
  });
}
void BM_PropercaseOnly(benchmark::State& state) {
  run(state, [](tq_context* ctx, const char* v) {
    const int32_t rc = tq_propercase(ctx, "Name", v, out, sizeof out);
    benchmark::DoNotOptimize(out);
    return rc;
  });
}
BENCHMARK(BM_Standardize);
BENCHMARK(BM_ParseOnly);
BENCHMARK(BM_PropercaseOnly);

}  // namespace
