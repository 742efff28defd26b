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
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_allocs.h"
#include "tq.h"

namespace {

constexpr int32_t kEnUsa = 29840;
constexpr uint32_t kLoadFlags = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_MATCH_DEFNS;
constexpr int kMaxThreads = 8;
// A sensitivity at which the nickname scheme and the noise words take part.
constexpr uint32_t kSensitivity = 80;

void must(bool ok, const char* what, tq_context* ctx = nullptr) {
  if (ok) return;
  std::fprintf(stderr, "bench_match: %s failed\n", what);
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

// Three-word names: familiar given names, initials with periods, particles,
// every case.
const std::vector<std::string>& names() {
  static const std::vector<std::string> v = {
      "bill q. smith",       "Robert James Brown",  "MARY ANN JOHNSON", "jim van dyke",
      "Kate L. Garcia",      "Bob Taylor Jones",    "JOHN QUINCY ADAMS", "anna maria rossi"};
  return v;
}

struct World {
  tq_context* base = nullptr;
  std::vector<tq_context*> clones;
  std::vector<std::vector<tq_parse_token>> parsed;  // each name's parse
  World() {
    must(tq_init(&base, nullptr) == 0, "tq_init");
    must(tq_session_encoding_set(base, TQ_ENC_UTF8) == 0, "encoding", base);
    must(tq_zel_path_set(base, TQ_SAMPLE_KB) == 0, "path", base);
    must(tq_zel_locale_load(base, kEnUsa, kLoadFlags) == 0, "locale load", base);
    for (const std::string& n : names()) {
      std::vector<tq_parse_token> tokens(TQ_PARSE_TOKENS);
      uint32_t count = 0;
      must(tq_parse(base, "Name", n.c_str(), tokens.data(), &count) >= 0, n.c_str(), base);
      tokens.resize(count);
      parsed.push_back(tokens);
    }
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
  const size_t n = names().size();
  size_t i = static_cast<size_t>(state.thread_index()) % n;
  for (size_t k = 0; k < n; ++k) must(once(ctx, road, k) >= 0, names()[k].c_str(), ctx);
  const uint64_t allocs_before = bench::allocs.load();
  for (auto _ : state) {
    int32_t rc = once(ctx, road, i);
    if (rc < 0) must(false, names()[i].c_str(), ctx);
    benchmark::DoNotOptimize(rc);
    if (++i == n) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
  if (state.thread_index() == 0 && state.threads() == 1) {
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(bench::allocs.load() - allocs_before),
                                                  benchmark::Counter::kAvgIterations);
  }
}

void BM_MatchName(benchmark::State& state) { run(state, world().base, Road::kMatch); }
BENCHMARK(BM_MatchName);

void BM_ParseNameOnly(benchmark::State& state) { run(state, world().base, Road::kParseOnly); }
BENCHMARK(BM_ParseNameOnly);

void BM_MatchParsedTokens(benchmark::State& state) { run(state, world().base, Road::kParsed); }
BENCHMARK(BM_MatchParsedTokens);

void BM_MatchClones(benchmark::State& state) {
  run(state, world().clones[static_cast<size_t>(state.thread_index())], Road::kMatch);
}
BENCHMARK(BM_MatchClones)->UseRealTime()->ThreadRange(1, kMaxThreads);

}  // namespace
