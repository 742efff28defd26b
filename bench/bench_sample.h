// What the benchmarks on the sample knowledge base (TQ_SAMPLE_KB, as the
// build makes it) share: a check that stops the program with the context's
// errors, a context opened on the sample knowledge base, a base context with
// clones for the threaded runs, and the timing loop over a set of values.
// Include it in one file of a program only (it brings bench_allocs.h).
#pragma once

#include <benchmark/benchmark.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_allocs.h"
#include "tq.h"

namespace bench {

// Stops the program when !ok: says what failed and lists ctx's errors.
inline void must(bool ok, const char* what, tq_context* ctx = nullptr) {
  if (ok) return;
  std::fprintf(stderr, "%s: %s failed\n", program_invocation_short_name, what);
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

// A context in a UTF-8 session on the sample knowledge base, no locale loaded
// yet (for timing the load itself).
inline tq_context* open_kb() {
  tq_context* ctx = nullptr;
  must(tq_init(&ctx, nullptr) == 0, "tq_init");
  must(tq_session_encoding_set(ctx, TQ_ENC_UTF8) == 0, "encoding", ctx);
  must(tq_zel_path_set(ctx, TQ_SAMPLE_KB) == 0, "path", ctx);
  return ctx;
}

// The same with locale loaded (its ancestors too) for what flags ask.
inline tq_context* open_sample(int32_t locale, uint32_t flags) {
  tq_context* ctx = open_kb();
  must(tq_zel_locale_load(ctx, locale, flags) == 0, "locale load", ctx);
  return ctx;
}

// A base context and n clones of it, one per thread of the threaded runs.
// The base is made ready (loaded, definitions prepared) before it is handed
// over, so that every clone starts from the same state.
struct Contexts {
  tq_context* base = nullptr;
  std::vector<tq_context*> clones;

  Contexts(tq_context* ready, size_t n) : base(ready), clones(n, nullptr) {
    for (tq_context*& c : clones) must(tq_clone(base, &c) == 0, "clone", base);
  }
  ~Contexts() {
    for (tq_context* c : clones) tq_close(c);
    tq_close(base);
  }
  Contexts(const Contexts&) = delete;
  Contexts& operator=(const Contexts&) = delete;
};

// Every value parsed on ctx with the parse definition `defn`, as the
// benchmarks of already parsed tokens pass them; returns ctx.
inline tq_context* parse_all(tq_context* ctx, const char* defn, const std::vector<std::string>& values,
                             std::vector<std::vector<tq_parse_token>>* parsed) {
  for (const std::string& v : values) {
    std::vector<tq_parse_token> tokens(TQ_PARSE_TOKENS);
    uint32_t count = 0;
    must(tq_parse(ctx, defn, v.c_str(), tokens.data(), &count) >= 0, v.c_str(), ctx);
    tokens.resize(count);
    parsed->push_back(tokens);
  }
  return ctx;
}

// A base on the sample with the locale loaded and every value parsed (the
// parse definition prepared before the clones are made), and n clones.
struct ParsedContexts {
  std::vector<std::vector<tq_parse_token>> parsed;  // built before the contexts
  Contexts contexts;
  ParsedContexts(int32_t locale, uint32_t flags, const char* defn, const std::vector<std::string>& values, size_t n)
      : contexts(parse_all(open_sample(locale, flags), defn, values, &parsed), n) {}
};

[[noreturn]] inline void value_failed(size_t i, tq_context* ctx) {
  char what[32];
  std::snprintf(what, sizeof what, "value %zu", i);
  must(false, what, ctx);
  std::abort();
}

// Times once(ctx, i) over the values 0..count-1 in turn; a negative result
// stops the program. Every value runs once before timing, so that the
// definitions are prepared, the resources read and the context's work areas
// grown. Threads start at different values. "allocs" (heap allocations per
// value) is counted on single-thread runs only: the counter is the
// program's, and other threads' allocations would land in it.
template <typename Once>
void timed(benchmark::State& state, tq_context* ctx, size_t count, Once once) {
  for (size_t k = 0; k < count; ++k) {
    if (once(ctx, k) < 0) value_failed(k, ctx);
  }
  const uint64_t allocs_before = allocs.load();
  size_t i = static_cast<size_t>(state.thread_index()) % count;
  for (auto _ : state) {
    const int32_t rc = once(ctx, i);
    if (rc < 0) value_failed(i, ctx);
    benchmark::DoNotOptimize(rc);
    if (++i == count) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
  if (state.threads() == 1) {
    state.counters["allocs"] =
        benchmark::Counter(static_cast<double>(allocs.load() - allocs_before), benchmark::Counter::kAvgIterations);
  }
}

}  // namespace bench
