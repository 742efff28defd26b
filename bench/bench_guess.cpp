// Locale guessing through the exports (UTF-8 session, sample knowledge
// base): the locale guess definition "Language" of English (United States)
// chooses among English, German, French and Turkish by each locale's
// language score, one sentence a call. The figure is values per second over
// the four candidate locales; "allocs" counts heap allocations per value
// once the context is warm.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench_sample.h"

namespace {

using bench::must;

constexpr int32_t kEnUsa = 29840;
constexpr uint32_t kLocales[] = {29000, 39000, 33000, 123000};
constexpr uint32_t kLoadFlags = TQ_LOAD_DATATYPES | TQ_LOAD_LANGUAGE_DEFNS | TQ_LOAD_GUESS_DEFNS;

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

constexpr size_t kMaxThreads = 4;

// The four candidate locales, then ENUSA (current, for its guess
// definition); a clone for each thread of the threaded runs.
bench::Contexts& world() {
  static bench::Contexts w([] {
    tq_context* c = bench::open_sample(static_cast<int32_t>(kLocales[0]), kLoadFlags);
    for (size_t k = 1; k < 4; ++k) {
      must(tq_zel_locale_load(c, static_cast<int32_t>(kLocales[k]), kLoadFlags) == 0, "load", c);
    }
    must(tq_zel_locale_load(c, kEnUsa, kLoadFlags) == 0, "locale load", c);
    return c;
  }(), kMaxThreads);
  return w;
}

// A guess is 0 or a failure.
int32_t guess(tq_context* ctx, size_t i) {
  uint32_t guessed = 0;
  const int32_t rc = tq_guess_locale(ctx, "Language", sentences()[i].c_str(), kLocales, nullptr, 4, &guessed);
  benchmark::DoNotOptimize(guessed);
  return rc == 0 ? 0 : -1;
}

void BM_GuessLocale(benchmark::State& state) { bench::timed(state, world().base, sentences().size(), guess); }
BENCHMARK(BM_GuessLocale);

// Each thread guesses on a clone of its own.
void BM_GuessLocaleClones(benchmark::State& state) {
  bench::timed(state, world().clones[static_cast<size_t>(state.thread_index())], sentences().size(), guess);
}
BENCHMARK(BM_GuessLocaleClones)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();

}  // namespace
