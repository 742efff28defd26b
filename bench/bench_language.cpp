// Language scores through the exports (UTF-8 session, locale EN of the
// sample knowledge base and its trained definitions "English", "German",
// "French" and "Turkish"): one item is one phrase of 20 to 40 characters
// scored against one definition, by index and by name. Beside it, ICU
// uppercasing the same phrases with one UCaseMap made beforehand
// (ucasemap_utf8ToUpper), the first step every score takes. The target is
// 1,000,000 scores per second on one core. "allocs" counts heap
// allocations per score once the context is warm.
#include <benchmark/benchmark.h>
#include <unicode/ucasemap.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_allocs.h"
#include "tq.h"

namespace {

constexpr int32_t kEn = 29000;
const char* const kLanguages[] = {"English", "German", "French", "Turkish"};

void must(bool ok, const char* what, tq_context* ctx = nullptr) {
  if (ok) return;
  std::fprintf(stderr, "bench_language: %s failed\n", what);
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

// Phrases of 20 to 40 characters in the four languages.
const std::vector<std::string>& phrases() {
  static const std::vector<std::string> values = {
      "The train leaves at seven tonight",  "Please close the door behind you",
      "Wir sehen uns morgen im Büro",       "Das Wetter ist heute sehr schön",
      "Je cherche la gare la plus proche",  "Nous partons en vacances demain",
      "Yarın akşam sinemaya gidelim mi",    "Bu şehirde çok güzel parklar var"};
  return values;
}

tq_context* context() {
  static tq_context* ctx = [] {
    tq_context* c = nullptr;
    must(tq_init(&c, nullptr) == 0, "tq_init");
    must(tq_session_encoding_set(c, TQ_ENC_UTF8) == 0, "encoding", c);
    must(tq_zel_path_set(c, TQ_SAMPLE_KB) == 0, "path", c);
    must(tq_zel_locale_load(c, kEn, TQ_LOAD_DATATYPES | TQ_LOAD_LANGUAGE_DEFNS) == 0, "locale load", c);
    return c;
  }();
  return ctx;
}

void BM_LanguageScoreByIndex(benchmark::State& state) {
  tq_context* ctx = context();
  const std::vector<std::string>& values = phrases();
  int32_t index[4];
  for (int i = 0; i < 4; ++i) must(tq_lang_defn_index_get_by_name(ctx, kLanguages[i], &index[i]) == 0, "index", ctx);
  int32_t score = 0;
  // Warm: every definition trained, the scratch profile grown.
  for (const std::string& v : values) {
    for (int32_t d : index) must(tq_language_guess_score_by_index(ctx, d, v.c_str(), &score) == 0, v.c_str(), ctx);
  }
  const uint64_t allocs_before = bench::allocs.load();
  size_t i = 0;
  int d = 0;
  for (auto _ : state) {
    if (tq_language_guess_score_by_index(ctx, index[d], values[i].c_str(), &score) != 0) must(false, "score", ctx);
    benchmark::DoNotOptimize(score);
    if (++d == 4) {
      d = 0;
      if (++i == values.size()) i = 0;
    }
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["allocs"] =
      benchmark::Counter(static_cast<double>(bench::allocs.load() - allocs_before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LanguageScoreByIndex);

void BM_LanguageScoreByName(benchmark::State& state) {
  tq_context* ctx = context();
  const std::vector<std::string>& values = phrases();
  int32_t score = 0;
  size_t i = 0;
  int d = 0;
  for (auto _ : state) {
    if (tq_language_guess_score(ctx, kLanguages[d], values[i].c_str(), &score) != 0) must(false, "score", ctx);
    benchmark::DoNotOptimize(score);
    if (++d == 4) {
      d = 0;
      if (++i == values.size()) i = 0;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LanguageScoreByName);

void BM_IcuUpperPhrase(benchmark::State& state) {
  UErrorCode err = U_ZERO_ERROR;
  UCaseMap* map = ucasemap_open("", 0, &err);
  if (U_FAILURE(err)) must(false, "ucasemap_open");
  const std::vector<std::string>& values = phrases();
  static char out[1028];
  size_t i = 0;
  for (auto _ : state) {
    err = U_ZERO_ERROR;
    int32_t n = ucasemap_utf8ToUpper(map, out, sizeof out, values[i].data(), static_cast<int32_t>(values[i].size()),
                                     &err);
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(out);
    if (++i == values.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
  ucasemap_close(map);
}
BENCHMARK(BM_IcuUpperPhrase);

}  // namespace
