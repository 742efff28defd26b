// Gender analysis of personal names with the sample knowledge base
// (examples/kb, as the build makes it): values per second on one context for
// whole names (parsed by the definition's parse definition, then scored),
// beside the parse alone of the same names (the step gender analysis builds
// on) and beside already parsed tokens (the scoring alone); then whole names
// on 1, 2, 4 and 8 clones each on its own thread. "allocs" counts heap
// allocations per value once the context is warm.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench_sample.h"

namespace {

using bench::must;

constexpr int32_t kEnUsa = 29840;
constexpr uint32_t kLoadFlags = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_GENDER_DEFNS;
constexpr int kMaxThreads = 8;

// Known and unknown given names, with and without titles and middle names.
const std::vector<std::string>& names() {
  static const std::vector<std::string> v = {
      "John Smith",       "Mary Johnson",        "Dr. Robert Q. Brown", "Patricia Garcia", "Alessandra Rossi",
      "Jean Martin",      "Mrs. Elizabeth Taylor", "Marcus Aurelius",   "Smith, John",     "Chris Evans Jr."};
  return v;
}

using World = bench::ParsedContexts;

World& world() {
  static World w(kEnUsa, kLoadFlags, "Name", names(), kMaxThreads);
  return w;
}

enum class Road { kGender, kParseOnly, kParsed };

int32_t once(tq_context* ctx, Road road, size_t i) {
  char gender[8];
  thread_local tq_parse_token tokens[TQ_PARSE_TOKENS];
  uint32_t count = 0;
  switch (road) {
    case Road::kGender:
      return tq_gender_determine(ctx, "Name", names()[i].c_str(), gender);
    case Road::kParseOnly:
      return tq_parse(ctx, "Name", names()[i].c_str(), tokens, &count);
    case Road::kParsed: {
      const std::vector<tq_parse_token>& t = world().parsed[i];
      return tq_gender_determine_parsed(ctx, "Name", t.data(), static_cast<int32_t>(t.size()), gender);
    }
  }
  return -1;
}

void run(benchmark::State& state, tq_context* ctx, Road road) {
  bench::timed(state, ctx, names().size(), [road](tq_context* c, size_t i) { return once(c, road, i); });
}

void BM_GenderName(benchmark::State& state) { run(state, world().contexts.base, Road::kGender); }
BENCHMARK(BM_GenderName);

void BM_ParseNameOnly(benchmark::State& state) { run(state, world().contexts.base, Road::kParseOnly); }
BENCHMARK(BM_ParseNameOnly);

void BM_GenderParsedTokens(benchmark::State& state) { run(state, world().contexts.base, Road::kParsed); }
BENCHMARK(BM_GenderParsedTokens);

void BM_GenderClones(benchmark::State& state) {
  run(state, world().contexts.clones[static_cast<size_t>(state.thread_index())], Road::kGender);
}
BENCHMARK(BM_GenderClones)->UseRealTime()->ThreadRange(1, kMaxThreads);

}  // namespace
