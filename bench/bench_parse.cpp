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
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_allocs.h"
#include "tq.h"

namespace {

constexpr int32_t kEnUsa = 29840;
constexpr uint32_t kLoadFlags = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS;
constexpr int kMaxThreads = 8;

void must(bool ok, const char* what, tq_context* ctx = nullptr) {
  if (ok) return;
  std::fprintf(stderr, "bench_parse: %s failed\n", what);
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

// A context on the sample knowledge base with ENUSA loaded; NULL when the
// load fails (the caller says what).
tq_context* open_loaded(bool load = true) {
  tq_context* ctx = nullptr;
  must(tq_init(&ctx, nullptr) == 0, "tq_init");
  must(tq_session_encoding_set(ctx, TQ_ENC_UTF8) == 0, "encoding", ctx);
  must(tq_zel_path_set(ctx, TQ_SAMPLE_KB) == 0, "path", ctx);
  if (load) must(tq_zel_locale_load(ctx, kEnUsa, kLoadFlags) == 0, "locale load", ctx);
  return ctx;
}

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

struct World {
  tq_context* base = nullptr;
  std::vector<tq_context*> clones;
  World() {
    base = open_loaded();
    // The definition is prepared and every resource read before timing.
    must(parse(base, "Dr. John Q. Smith Jr.") >= 0, "first parse", base);
    clones.resize(kMaxThreads);
    for (tq_context*& c : clones) must(tq_clone(base, &c) == 0, "clone", base);
  }
  ~World() {
    for (tq_context* c : clones) tq_close(c);
    tq_close(base);
  }
};

World& world() {
  static World w;
  return w;
}

void run(benchmark::State& state, tq_context* ctx, const std::vector<std::string>& values) {
  size_t i = static_cast<size_t>(state.thread_index()) % values.size();
  // Warm: every value once, so that the context's work areas have grown.
  for (const std::string& v : values) must(parse(ctx, v.c_str()) >= 0, v.c_str(), ctx);
  const uint64_t allocs_before = bench::allocs.load();
  for (auto _ : state) {
    int32_t rc = parse(ctx, values[i].c_str());
    if (rc < 0) must(false, values[i].c_str(), ctx);
    benchmark::DoNotOptimize(rc);
    if (++i == values.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
  if (state.thread_index() == 0 && state.threads() == 1) {
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(bench::allocs.load() - allocs_before),
                                                  benchmark::Counter::kAvgIterations);
  }
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
    tq_context* ctx = open_loaded(false);
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
    tq_context* ctx = open_loaded(false);
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
  static tq_context* ctx = [] {
    tq_context* c = open_loaded(false);
    must(tq_zel_locale_load(c, kEnUsa, kLoadFlags | TQ_LOAD_EXTRACT_DEFNS) == 0, "locale load", c);
    return c;
  }();
  tq_extract_token tokens[TQ_EXTRACT_TOKENS];
  uint32_t count = 0;
  // Warm: the definition is prepared and the work areas have grown.
  for (int round = 0; round < 3; ++round) {
    for (const std::string& v : sentences) must(tq_extract(ctx, "Contact", v.c_str(), tokens, &count) >= 0, "extract", ctx);
  }
  size_t i = 0;
  const uint64_t allocs_before = bench::allocs.load();
  for (auto _ : state) {
    const int32_t rc = tq_extract(ctx, "Contact", sentences[i].c_str(), tokens, &count);
    if (rc < 0) must(false, sentences[i].c_str(), ctx);
    benchmark::DoNotOptimize(rc);
    if (++i == sentences.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["allocs"] = benchmark::Counter(static_cast<double>(bench::allocs.load() - allocs_before),
                                                benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ExtractSentences);

// Identifying names as a person's or an organisation's with the sample
// identification definition "Name": values per second on one context, once
// the definition is bound and the context's work area has grown.
void BM_Identify(benchmark::State& state) {
  static const std::vector<std::string> values = {
      "John Smith",        "Dr. John Q. Smith Jr.", "Acme Holdings Ltd", "First National Bank",
      "Smith, John",       "Mary Ann Smith",        "Oxford University", "Zbigniew Brzezinski"};
  tq_context* ctx = open_loaded(false);
  must(tq_zel_locale_load(ctx, kEnUsa, kLoadFlags | TQ_LOAD_IDENT_DEFNS) == 0, "locale load", ctx);
  char result[1028];
  for (const std::string& v : values) must(tq_identify(ctx, "Name", v.c_str(), result) >= 0, v.c_str(), ctx);
  size_t i = 0;
  const uint64_t allocs_before = bench::allocs.load();
  for (auto _ : state) {
    int32_t rc = tq_identify(ctx, "Name", values[i].c_str(), result);
    if (rc < 0) must(false, values[i].c_str(), ctx);
    benchmark::DoNotOptimize(rc);
    if (++i == values.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["allocs"] = benchmark::Counter(static_cast<double>(bench::allocs.load() - allocs_before),
                                                benchmark::Counter::kAvgIterations);
  tq_close(ctx);
}
BENCHMARK(BM_Identify);

}  // namespace
