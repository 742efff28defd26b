// Parsing personal names with the sample knowledge base (examples/kb, as
// the build makes it): values per second on one context for names of 2 to
// 5 words, the same for three-word names on 1, 2, 4 and 8 clones each on
// its own thread, and the cost of loading the locale (alone, and with the
// first parse, which reads the grammar, vocabulary, regex libraries and
// chopper and prepares the definition), and extraction of sentences with a
// name and a company. "allocs" counts heap allocations
// per value once the context is warm.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench_sample.h"

namespace {

using bench::must;

constexpr int32_t kEnUsa = 29840;
constexpr uint32_t kLoadFlags = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS;
constexpr int kMaxThreads = 8;

int32_t parse(tq_context* ctx, const char* value) {
  thread_local tq_parse_token tokens[TQ_PARSE_TOKENS];
  uint32_t count = 0;
  return tq_parse(ctx, "Name", value, tokens, &count);
}

// Names of 2 to 5 words (a comma counts as a word), known and unknown.
const std::vector<std::string>& names(int words) {
  static const std::vector<std::vector<std::string>> sets = {
      {"John Smith", "Mary Johnson", "Robert Brown", "Patricia Garcia", "Smith John", "Linda Martinez",
       "Zbigniew Brzezinski", "Thomas Lee"},
      {"John Q. Smith", "Mary Ann Smith", "Dr. Robert Jones", "James Brown Jr.", "Smith, John", "Elizabeth Taylor Wilson",
       "J. Robert Oppenheimer", "Mrs. Karen Davis"},
      {"Dr. John Q. Smith", "Mary Ann Smith Jr.", "Smith, John Q.", "Prof. Maria Garcia PhD", "John Michael Lee Jr.",
       "Rev. Martin Luther King", "Brown, Mary Ann", "Mr. J. Robert Wilson"},
      {"Dr. John Q. Smith Jr.", "Rev. Martin Luther King Jr.", "Smith, John Q. Jr.", "Mrs. Mary Ann Smith Jones",
       "Prof. William Henry Gates III", "Lt. James T. Kirk Jr.", "Garcia, Maria Elena Lopez", "Mr. John Smith, Jr."},
  };
  return sets[static_cast<size_t>(words - 2)];
}

// The definition is prepared and every resource read before the base is
// cloned.
bench::Contexts& world() {
  static bench::Contexts w(
      [] {
        tq_context* c = bench::open_sample(kEnUsa, kLoadFlags);
        must(parse(c, "Dr. John Q. Smith Jr.") >= 0, "first parse", c);
        return c;
      }(),
      kMaxThreads);
  return w;
}

void run(benchmark::State& state, tq_context* ctx, const std::vector<std::string>& values) {
  bench::timed(state, ctx, values.size(), [&values](tq_context* c, size_t i) { return parse(c, values[i].c_str()); });
}

// One context, names of state.range(0) words.
void BM_ParseWords(benchmark::State& state) {
  run(state, world().base, names(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_ParseWords)->DenseRange(2, 5)->ArgName("words");

// Three-word names on clones, one per thread.
void BM_ParseClones(benchmark::State& state) {
  run(state, world().clones[static_cast<size_t>(state.thread_index())], names(3));
}
BENCHMARK(BM_ParseClones)->UseRealTime()->ThreadRange(1, kMaxThreads);

// Loading ENUSA with its parents, datatypes and parse definitions into a new
// context, and unloading it.
void BM_LocaleLoad(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    tq_context* ctx = bench::open_kb();
    state.ResumeTiming();
    must(tq_zel_locale_load(ctx, kEnUsa, kLoadFlags) == 0, "locale load", ctx);
    state.PauseTiming();
    tq_close(ctx);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LocaleLoad)->Unit(benchmark::kMillisecond);

// The same and the first parse.
void BM_LocaleLoadFirstParse(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    tq_context* ctx = bench::open_kb();
    state.ResumeTiming();
    must(tq_zel_locale_load(ctx, kEnUsa, kLoadFlags) == 0, "locale load", ctx);
    must(parse(ctx, "Dr. John Q. Smith Jr.") >= 0, "first parse", ctx);
    state.PauseTiming();
    tq_close(ctx);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LocaleLoadFirstParse)->Unit(benchmark::kMillisecond);

// Extraction with the definition "Contact": sentences of 5 to 9 words
// with a name and a company (known words, then windows parsed with the
// grammar of personal names) per second on one context.
void BM_ExtractSentences(benchmark::State& state) {
  static const std::vector<std::string> sentences = {
      "John Smith joined Acme Corp on Monday.", "Kestrel Bank hired Mary Jones last week",
      "call Robert Brown at Northgate Foods today", "Patricia Garcia left Riverton Mills in May",
      "Blue Heron Labs welcomes Thomas Lee", "our meeting with Linda Martinez of Acme Corporation"};
  static tq_context* ctx = bench::open_sample(kEnUsa, kLoadFlags | TQ_LOAD_EXTRACT_DEFNS);
  static tq_extract_token tokens[TQ_EXTRACT_TOKENS];
  const auto extract = [](tq_context* c, size_t i) {
    uint32_t count = 0;
    return tq_extract(c, "Contact", sentences[i].c_str(), tokens, &count);
  };
  // Warm: the definition is prepared and the work areas have grown (two
  // rounds here, the third before timing).
  for (int round = 0; round < 2; ++round) {
    for (size_t i = 0; i < sentences.size(); ++i) must(extract(ctx, i) >= 0, "extract", ctx);
  }
  bench::timed(state, ctx, sentences.size(), extract);
}
BENCHMARK(BM_ExtractSentences);

// Identifying names as a person's or an organisation's with the sample
// identification definition "Name": values per second on one context, once
// the definition is bound and the context's work area has grown.
void BM_Identify(benchmark::State& state) {
  static const std::vector<std::string> values = {
      "John Smith",        "Dr. John Q. Smith Jr.", "Acme Holdings Ltd", "First National Bank",
      "Smith, John",       "Mary Ann Smith",        "Oxford University", "Zbigniew Brzezinski"};
  tq_context* ctx = bench::open_sample(kEnUsa, kLoadFlags | TQ_LOAD_IDENT_DEFNS);
  bench::timed(state, ctx, values.size(), [](tq_context* c, size_t i) {
    char result[1028];
    return tq_identify(c, "Name", values[i].c_str(), result);
  });
  tq_close(ctx);
}
BENCHMARK(BM_Identify);

}  // namespace
