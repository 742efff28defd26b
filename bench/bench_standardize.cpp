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
#include <string>
#include <vector>

#include "bench_sample.h"

namespace {

constexpr int32_t kEnUsa = 29840;
constexpr uint32_t kLoadFlags = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_CASE_DEFNS | TQ_LOAD_STDZN_DEFNS;

// Three-word names: given-name variants, suffixes written out, initials
// with periods, every case.
const std::vector<std::string>& names() {
  static const std::vector<std::string> values = {
      "bill q. smith",       "Robert James Brown", "MARY ANN JOHNSON",   "jim smith junior",
      "Dr. Thomas Lee",      "kate l. garcia",     "Bob Taylor Senior",  "JOHN QUINCY ADAMS"};
  return values;
}

tq_context* context() {
  static tq_context* ctx = bench::open_sample(kEnUsa, kLoadFlags);
  return ctx;
}

template <typename Fn>
void run(benchmark::State& state, Fn fn) {
  const std::vector<std::string>& values = names();
  bench::timed(state, context(), values.size(), [&](tq_context* c, size_t i) { return fn(c, values[i].c_str()); });
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
