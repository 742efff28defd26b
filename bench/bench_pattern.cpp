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
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_allocs.h"
#include "tq.h"

namespace {

constexpr int32_t kEnUsa = 29840;
constexpr uint32_t kLoadFlags = TQ_LOAD_DATATYPES | TQ_LOAD_PATTERN_DEFNS;
constexpr size_t kOutSize = 1028;

void must(bool ok, const char* what, tq_context* ctx = nullptr) {
  if (ok) return;
  std::fprintf(stderr, "bench_pattern: %s failed\n", what);
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

// Values of the kinds whose patterns are looked at: codes, phone numbers,
// dates, names, addresses.
const std::vector<std::string>& values() {
  static const std::vector<std::string> v = {"Ab 12-x",         "(555) 123-4567", "2026-12-07",
                                             "John Q. Smith",   "SW1A 1AA",       "Élise Müller",
                                             "221B Baker St.",  "INV-0042/2026"};
  return v;
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

template <typename F>
void run(benchmark::State& state, F analyze) {
  tq_context* ctx = context();
  const std::vector<std::string>& v = values();
  static char out[kOutSize];
  for (const std::string& s : v) must(analyze(ctx, s.c_str(), out) >= 0, s.c_str(), ctx);
  const uint64_t allocs_before = bench::allocs.load();
  size_t i = 0;
  for (auto _ : state) {
    if (analyze(ctx, v[i].c_str(), out) < 0) must(false, v[i].c_str(), ctx);
    benchmark::DoNotOptimize(out);
    if (++i == v.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["allocs"] =
      benchmark::Counter(static_cast<double>(bench::allocs.load() - allocs_before), benchmark::Counter::kAvgIterations);
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
