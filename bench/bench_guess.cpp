// Locale guessing through the exports (UTF-8 session, sample knowledge
// base): the locale guess definition "Language" of English (United States)
// chooses among English, German, French and Turkish by each locale's
// language score, one sentence a call. The figure is values per second over
// the four candidate locales; "allocs" counts heap allocations per value
// once the context is warm.
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
constexpr uint32_t kLocales[] = {29000, 39000, 33000, 123000};
constexpr uint32_t kLoadFlags = TQ_LOAD_DATATYPES | TQ_LOAD_LANGUAGE_DEFNS | TQ_LOAD_GUESS_DEFNS;

void must(bool ok, const char* what, tq_context* ctx = nullptr) {
  if (ok) return;
  std::fprintf(stderr, "bench_guess: %s failed\n", what);
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

const std::vector<std::string>& sentences() {
  static const std::vector<std::string> values = {
      "The weather was cold and windy all through the night",
      "Ich habe heute leider keine Zeit für das Treffen",
      "Nous avons mangé une très bonne soupe à la maison",
      "Çocuklar bahçede top oynuyorlar ve çok mutlular",
      "Where is the nearest railway station, please?",
      "Wir fahren morgen früh mit dem Zug nach Hamburg",
      "Le chat dort sur la chaise près de la fenêtre",
      "Bu akşam arkadaşlarımla birlikte sinemaya gideceğiz"};
  return values;
}

tq_context* context() {
  static tq_context* ctx = [] {
    tq_context* c = nullptr;
    must(tq_init(&c, nullptr) == 0, "tq_init");
    must(tq_session_encoding_set(c, TQ_ENC_UTF8) == 0, "encoding", c);
    must(tq_zel_path_set(c, TQ_SAMPLE_KB) == 0, "path", c);
    for (uint32_t code : kLocales) {
      must(tq_zel_locale_load(c, static_cast<int32_t>(code), kLoadFlags) == 0, "load", c);
    }
    must(tq_zel_locale_load(c, kEnUsa, kLoadFlags) == 0, "locale load", c);
    return c;
  }();
  return ctx;
}

void BM_GuessLocale(benchmark::State& state) {
  tq_context* ctx = context();
  const auto& values = sentences();
  uint32_t guessed = 0;
  // Warm: definitions prepared, language models trained.
  for (const auto& v : values) {
    must(tq_guess_locale(ctx, "Language", v.c_str(), kLocales, nullptr, 4, &guessed) == 0, "guess", ctx);
  }
  size_t i = 0;
  const uint64_t before = bench::allocs.load();
  for (auto _ : state) {
    const int32_t rc = tq_guess_locale(ctx, "Language", values[i].c_str(), kLocales, nullptr, 4, &guessed);
    benchmark::DoNotOptimize(rc);
    benchmark::DoNotOptimize(guessed);
    i = (i + 1) % values.size();
  }
  state.counters["allocs"] =
      benchmark::Counter(static_cast<double>(bench::allocs.load() - before), benchmark::Counter::kAvgIterations);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GuessLocale);

// Each thread guesses on a clone of its own.
void BM_GuessLocaleClones(benchmark::State& state) {
  tq_context* clone = nullptr;
  must(tq_clone(context(), &clone) == 0, "clone");
  const auto& values = sentences();
  uint32_t guessed = 0;
  size_t i = static_cast<size_t>(state.thread_index());
  for (auto _ : state) {
    const int32_t rc = tq_guess_locale(clone, "Language", values[i % values.size()].c_str(), kLocales, nullptr, 4,
                                       &guessed);
    benchmark::DoNotOptimize(rc);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
  tq_close(clone);
}
BENCHMARK(BM_GuessLocaleClones)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();

}  // namespace
