// Casing three-word personal names through the exports (UTF-8 session,
// locale ENUSA of the sample knowledge base): uppercase, lowercase and
// propercase with no definition, propercase with the case definition
// "Name" (its known-word scheme), each beside ICU's case mapping called
// directly on the same UTF-8 values with one UCaseMap made beforehand
// (ucasemap_utf8ToUpper, ucasemap_utf8ToLower, ucasemap_utf8ToTitle); and
// the definition's casing of one value of many short words. The
// target for uppercasing with no definition is half ICU's figure or more.
// "allocs" counts heap allocations per value once the context is warm.
#include <benchmark/benchmark.h>
#include <unicode/ucasemap.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench_sample.h"

namespace {

using bench::must;

constexpr int32_t kEnUsa = 29840;
constexpr uint32_t kLoadFlags = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_CASE_DEFNS;
constexpr int32_t kOutSize = 1028;

// Three-word names in every case, with particles and inner capitals that
// the definition's scheme knows.
const std::vector<std::string>& names() {
  static const std::vector<std::string> values = {
      "John Quincy Smith",    "mary ann johnson",   "ROBERT JAMES BROWN", "Johannes van Waals",
      "douglas macarthur jr", "SEAN PATRICK O'BRIEN", "Élise Müller Straße", "Zbigniew K. Brzezinski"};
  return values;
}

using CaseFn = int32_t (*)(tq_context*, const char*, const char*, char*, int32_t);

void run(benchmark::State& state, CaseFn fn, const char* defn) {
  static tq_context* ctx = bench::open_sample(kEnUsa, kLoadFlags);
  const std::vector<std::string>& values = names();
  bench::timed(state, ctx, values.size(), [&](tq_context* c, size_t i) {
    static char out[kOutSize];
    const int32_t rc = fn(c, defn, values[i].c_str(), out, kOutSize);
    benchmark::DoNotOptimize(out);
    return rc;
  });
}

void BM_Uppercase(benchmark::State& state) { run(state, tq_uppercase, nullptr); }
void BM_Lowercase(benchmark::State& state) { run(state, tq_lowercase, nullptr); }
void BM_Propercase(benchmark::State& state) { run(state, tq_propercase, nullptr); }
void BM_PropercaseDefn(benchmark::State& state) { run(state, tq_propercase, "Name"); }
BENCHMARK(BM_Uppercase);
BENCHMARK(BM_Lowercase);
BENCHMARK(BM_Propercase);
BENCHMARK(BM_PropercaseDefn);

// One value of 341 two-letter words (1,023 bytes) proper-cased with the
// definition: its scheme is tried on every run of up to 64 words from each
// word, so this is the longest road casing takes for one value.
void BM_PropercaseDefnManyWords(benchmark::State& state) {
  static tq_context* ctx = bench::open_sample(kEnUsa, kLoadFlags);
  std::string value = "ab";
  while (value.size() + 3 <= 1024) value += " ab";
  bench::timed(state, ctx, 1, [&](tq_context* c, size_t) {
    static char out[kOutSize];
    const int32_t rc = tq_propercase(c, "Name", value.c_str(), out, kOutSize);
    benchmark::DoNotOptimize(out);
    return rc;
  });
}
BENCHMARK(BM_PropercaseDefnManyWords);

using IcuFn = int32_t (*)(const UCaseMap*, char*, int32_t, const char*, int32_t, UErrorCode*);

int32_t icu_title(const UCaseMap* map, char* dest, int32_t size, const char* src, int32_t length, UErrorCode* err) {
  // Title casing keeps its break iterator in the map, which it changes.
  return ucasemap_utf8ToTitle(const_cast<UCaseMap*>(map), dest, size, src, length, err);
}

void icu_run(benchmark::State& state, IcuFn fn) {
  UErrorCode err = U_ZERO_ERROR;
  UCaseMap* map = ucasemap_open("", 0, &err);
  if (U_FAILURE(err)) must(false, "ucasemap_open");
  const std::vector<std::string>& values = names();
  static char out[kOutSize];
  size_t i = 0;
  for (auto _ : state) {
    err = U_ZERO_ERROR;
    int32_t n = fn(map, out, kOutSize, values[i].data(), static_cast<int32_t>(values[i].size()), &err);
    if (U_FAILURE(err)) must(false, values[i].c_str());
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(out);
    if (++i == values.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
  ucasemap_close(map);
}

void BM_IcuUpper(benchmark::State& state) { icu_run(state, ucasemap_utf8ToUpper); }
void BM_IcuLower(benchmark::State& state) { icu_run(state, ucasemap_utf8ToLower); }
void BM_IcuTitle(benchmark::State& state) { icu_run(state, icu_title); }
BENCHMARK(BM_IcuUpper);
BENCHMARK(BM_IcuLower);
BENCHMARK(BM_IcuTitle);

}  // namespace
