// Character patterns of short values through the exports (UTF-8 session,
// locale ENUSA of the sample knowledge base, pattern analysis definition
// "Pattern": its regex library en_pattern rewrites upper-case letters to
// "A", other letters to "a", digits to "9"), by name and by index, beside
// PCRE2 doing the same three global substitutions directly with JIT-compiled
// patterns and one match data made beforehand. "allocs" counts heap
// allocations per value once the context is warm.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <benchmark/benchmark.h>
#include <pcre2.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench_sample.h"

namespace {

using bench::must;

constexpr int32_t kEnUsa = 29840;
constexpr uint32_t kLoadFlags = TQ_LOAD_DATATYPES | TQ_LOAD_PATTERN_DEFNS;
constexpr size_t kOutSize = 1028;

// Values of the kinds whose patterns are looked at: codes, phone numbers,
// dates, names, addresses.
const std::vector<std::string>& values() {
  static const std::vector<std::string> v = {"Ab 12-x",         "(555) 123-4567", "2026-12-07",
                                             "John Q. Smith",   "SW1A 1AA",       "Élise Müller",
                                             "221B Baker St.",  "INV-0042/2026"};
  return v;
}

tq_context* context() {
  static tq_context* ctx = bench::open_sample(kEnUsa, kLoadFlags);
  return ctx;
}

template <typename F>
void run(benchmark::State& state, F analyze) {
  const std::vector<std::string>& v = values();
  bench::timed(state, context(), v.size(), [&](tq_context* ctx, size_t i) {
    static char out[kOutSize];
    const int32_t rc = analyze(ctx, v[i].c_str(), out);
    benchmark::DoNotOptimize(out);
    return rc;
  });
}

void BM_PatternByName(benchmark::State& state) {
  run(state, [](tq_context* ctx, const char* value, char* out) { return tq_pattern_analyze(ctx, "Pattern", value, out); });
}

void BM_PatternByIndex(benchmark::State& state) {
  int32_t index = -1;
  must(tq_patrn_defn_index_get_by_name(context(), "Pattern", &index) == 0, "index", context());
  run(state, [index](tq_context* ctx, const char* value, char* out) {
    return tq_pattern_analyze_by_index(ctx, index, value, out);
  });
}

// The same three substitutions with PCRE2 alone.
void BM_Pcre2Direct(benchmark::State& state) {
  const char* patterns[] = {"[\\p{Lu}\\p{Lt}]", "[\\p{Ll}\\p{Lm}\\p{Lo}]", "\\p{Nd}"};
  const char* subs[] = {"A", "a", "9"};
  pcre2_code* codes[3];
  for (int k = 0; k < 3; ++k) {
    int err = 0;
    PCRE2_SIZE off = 0;
    codes[k] = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(patterns[k]), PCRE2_ZERO_TERMINATED, PCRE2_UTF, &err, &off,
                             nullptr);
    must(codes[k] != nullptr, "pcre2_compile");
    pcre2_jit_compile(codes[k], PCRE2_JIT_COMPLETE);
  }
  pcre2_match_data* md = pcre2_match_data_create(10, nullptr);
  const std::vector<std::string>& v = values();
  static char a[kOutSize], b[kOutSize];
  size_t i = 0;
  for (auto _ : state) {
    const char* in = v[i].c_str();
    PCRE2_SIZE in_len = v[i].size();
    char* out = a;
    for (int k = 0; k < 3; ++k) {
      PCRE2_SIZE out_len = kOutSize;
      int rc = pcre2_substitute(codes[k], reinterpret_cast<PCRE2_SPTR>(in), in_len, 0,
                                PCRE2_SUBSTITUTE_GLOBAL | PCRE2_NO_UTF_CHECK, md, nullptr,
                                reinterpret_cast<PCRE2_SPTR>(subs[k]), 1, reinterpret_cast<PCRE2_UCHAR*>(out), &out_len);
      if (rc < 0) must(false, "pcre2_substitute");
      in = out;
      in_len = out_len;
      out = out == a ? b : a;
    }
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
    if (++i == v.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
  pcre2_match_data_free(md);
  for (pcre2_code* c : codes) pcre2_code_free(c);
}

BENCHMARK(BM_PatternByName);
BENCHMARK(BM_PatternByIndex);
BENCHMARK(BM_Pcre2Direct);

}  // namespace
