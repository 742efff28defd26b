// Match codes of three-word personal names with the sample knowledge base
// (examples/kb, as the build makes it), definition "Name", at one
// sensitivity: values per second on one context for whole names (parsed by
// the definition's parse definition, then every token's pipeline and
// placement), beside the parse alone of the same names and beside the
// already parsed tokens (the match steps alone); then whole names on 1, 2,
// 4 and 8 clones each on its own thread. "allocs" counts heap allocations
// per value once the context is warm.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench_sample.h"

namespace {

using bench::must;

constexpr int32_t kEnUsa = 29840;
constexpr uint32_t kLoadFlags = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_MATCH_DEFNS;
constexpr int kMaxThreads = 8;
// A sensitivity at which the nickname scheme and the noise words take part.
constexpr uint32_t kSensitivity = 80;

// Three-word names: familiar given names, initials with periods, particles,
// every case.
const std::vector<std::string>& names() {
  static const std::vector<std::string> v = {
      "bill q. smith",       "Robert James Brown",  "MARY ANN JOHNSON", "jim van dyke",
      "Kate L. Garcia",      "Bob Taylor Jones",    "JOHN QUINCY ADAMS", "anna maria rossi"};
  return v;
}

using World = bench::ParsedContexts;

World& world() {
  static World w(kEnUsa, kLoadFlags, "Name", names(), kMaxThreads);
  return w;
}

enum class Road { kMatch, kParseOnly, kParsed };

int32_t once(tq_context* ctx, Road road, size_t i) {
  thread_local char code[4 * 256 + 1];
  thread_local tq_parse_token tokens[TQ_PARSE_TOKENS];
  uint32_t count = 0;
  switch (road) {
    case Road::kMatch:
      return tq_match(ctx, "Name", kSensitivity, names()[i].c_str(), code);
    case Road::kParseOnly:
      return tq_parse(ctx, "Name", names()[i].c_str(), tokens, &count);
    case Road::kParsed: {
      const std::vector<tq_parse_token>& t = world().parsed[i];
      return tq_match_parsed(ctx, "Name", kSensitivity, t.data(), static_cast<uint32_t>(t.size()), code);
    }
  }
  return -1;
}

void run(benchmark::State& state, tq_context* ctx, Road road) {
  bench::timed(state, ctx, names().size(), [road](tq_context* c, size_t i) { return once(c, road, i); });
}

void BM_MatchName(benchmark::State& state) { run(state, world().contexts.base, Road::kMatch); }
BENCHMARK(BM_MatchName);

void BM_ParseNameOnly(benchmark::State& state) { run(state, world().contexts.base, Road::kParseOnly); }
BENCHMARK(BM_ParseNameOnly);

void BM_MatchParsedTokens(benchmark::State& state) { run(state, world().contexts.base, Road::kParsed); }
BENCHMARK(BM_MatchParsedTokens);

void BM_MatchClones(benchmark::State& state) {
  run(state, world().contexts.clones[static_cast<size_t>(state.thread_index())], Road::kMatch);
}
BENCHMARK(BM_MatchClones)->UseRealTime()->ThreadRange(1, kMaxThreads);

}  // namespace
