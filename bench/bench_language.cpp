// Language scores through the exports (UTF-8 session, locale EN of the
// sample knowledge base and its trained definitions "English", "German",
// "French" and "Turkish"): one item is one phrase of 20 to 40 characters
// scored against one definition, by index and by name. Beside it, ICU
// uppercasing the same phrases with one UCaseMap made beforehand
// (ucasemap_utf8ToUpper), the first step every score takes. The target is
// 1,000,000 scores per second on one core. "allocs" counts heap
// allocations per score once the context is warm. BM_LanguageIdentify
// counts phrases: one item scores a phrase against all four definitions,
// as a caller identifying its language does.
#include <benchmark/benchmark.h>
#include <unicode/ucasemap.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench_sample.h"

namespace {

using bench::must;

constexpr int32_t kEn = 29000;
const char* const kLanguages[] = {"English", "German", "French", "Turkish"};

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
  static tq_context* ctx = bench::open_sample(kEn, TQ_LOAD_DATATYPES | TQ_LOAD_LANGUAGE_DEFNS);
  return ctx;
}

// Item k scores phrase k / 4 against definition k % 4: every definition in
// turn, then the next phrase. A score is 0 or a failure.
void BM_LanguageScoreByIndex(benchmark::State& state) {
  tq_context* ctx = context();
  const std::vector<std::string>& values = phrases();
  int32_t index[4];
  for (int i = 0; i < 4; ++i) must(tq_lang_defn_index_get_by_name(ctx, kLanguages[i], &index[i]) == 0, "index", ctx);
  bench::timed(state, ctx, values.size() * 4, [&](tq_context* c, size_t k) {
    int32_t score = 0;
    const int32_t rc = tq_language_guess_score_by_index(c, index[k % 4], values[k / 4].c_str(), &score);
    benchmark::DoNotOptimize(score);
    return rc == 0 ? 0 : -1;
  });
}
BENCHMARK(BM_LanguageScoreByIndex);

// Item k is phrase k scored by index against the four definitions in turn;
// the best one is the phrase's language.
void BM_LanguageIdentify(benchmark::State& state) {
  tq_context* ctx = context();
  const std::vector<std::string>& values = phrases();
  int32_t index[4];
  for (int i = 0; i < 4; ++i) must(tq_lang_defn_index_get_by_name(ctx, kLanguages[i], &index[i]) == 0, "index", ctx);
  bench::timed(state, ctx, values.size(), [&](tq_context* c, size_t k) {
    int32_t best = -1;
    int32_t best_score = -1;
    for (int i = 0; i < 4; ++i) {
      int32_t score = 0;
      if (tq_language_guess_score_by_index(c, index[i], values[k].c_str(), &score) != 0) return -1;
      if (score > best_score) {
        best_score = score;
        best = i;
      }
    }
    benchmark::DoNotOptimize(best);
    return 0;
  });
}
BENCHMARK(BM_LanguageIdentify);

void BM_LanguageScoreByName(benchmark::State& state) {
  const std::vector<std::string>& values = phrases();
  bench::timed(state, context(), values.size() * 4, [&](tq_context* c, size_t k) {
    int32_t score = 0;
    const int32_t rc = tq_language_guess_score(c, kLanguages[k % 4], values[k / 4].c_str(), &score);
    benchmark::DoNotOptimize(score);
    return rc == 0 ? 0 : -1;
  });
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
