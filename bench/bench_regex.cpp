// Regex matching: the same one-element library run over the same values
// through the export (tq_regexlib_match: frame, conversion, library lookup),
// through the engine (regexlib_match_any, and one element's exec), and
// straight through PCRE2 with the JIT, match data made once. Also the
// search and replace, through the export and the engine, and a chopper
// whose rule is a pattern (tried anchored at every position of a value of
// about 1,000 bytes) beside PCRE2 doing the same anchored tries. Items per
// second are values.
#include <benchmark/benchmark.h>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tq.h"
#include "core/krcorvel.h"
#include "resources/krchop.h"
#include "resources/krchpr.h"
#include "resources/krchprexp.h"
#include "resources/krcrld.h"
#include "resources/krregx.h"
#include "resources/krwlst.h"

namespace {

constexpr const char* kPattern = "([A-Z]+)-([0-9]+)";
constexpr const char* kSubstitution = "\\2 \\1";
constexpr const char* kRulePattern = "[0-9]+";

// Values shaped like codes in free text: about half of them hold a match,
// some near the start, some late, some not at all.
std::vector<std::string> make_values() {
  std::vector<std::string> values;
  const char* words[] = {"order", "ref", "Smith", "box", "unit", "x", "route", "BLK"};
  for (int i = 0; i < 64; ++i) {
    std::string v;
    for (int w = 0; w < 2 + i % 5; ++w) {
      if (!v.empty()) v += ' ';
      v += words[(i + w) % 8];
    }
    if (i % 2 == 0) v += " AB-" + std::to_string(100 + i);
    if (i % 3 == 0) v = "QZ-" + std::to_string(i) + " " + v;
    values.push_back(v);
  }
  return values;
}

struct Setup {
  tq_context* ctx = nullptr;
  int32_t lib = -1;
  tq::regexlib_rec* rec = nullptr;
  std::vector<std::string> values = make_values();
  pcre2_code* raw = nullptr;
  pcre2_match_data* raw_md = nullptr;
  int32_t chopper = -1;
  std::string long_value;
  pcre2_code* raw_rule = nullptr;

  Setup() {
    if (tq_init_edit_mode(&ctx, nullptr) != 0) std::abort();
    // The values are ASCII: the UTF-8 session takes them as they are.
    if (tq_session_encoding_set(ctx, TQ_ENC_UTF8) != 0) std::abort();
    if (tq_regexlib_create(ctx, "bench", &lib) != 0) std::abort();
    if (tq_regexlib_element_array_size_set(ctx, lib, 1) != 0) std::abort();
    if (tq_regexlib_element_info_set(ctx, lib, 0, kPattern, kSubstitution, "") != 0) std::abort();
    if (tq::regexlib_get(ctx, lib, &rec) != 0) std::abort();
    int err = 0;
    PCRE2_SIZE offset = 0;
    raw = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(kPattern), PCRE2_ZERO_TERMINATED, PCRE2_UTF, &err, &offset,
                        nullptr);
    if (raw == nullptr || pcre2_jit_compile(raw, PCRE2_JIT_COMPLETE) != 0) std::abort();
    raw_md = pcre2_match_data_create(10, nullptr);

    // A chopper whose one rule starts a word at every run of digits. The
    // chopper carries the locale code the context would have.
    ctx->current_locale_code = 800010;
    if (tq::chopper_create(ctx, "bench", &chopper) != 0) std::abort();
    if (tq_chopper_rules_enabled_set(ctx, chopper, 1) != 0) std::abort();
    uint32_t id = 0;
    if (tq::chopper_regex_rule_add(ctx, chopper, kRulePattern, "", "", 3, "", &id) != 0) std::abort();
    while (long_value.size() < 990) long_value += "unit" + std::to_string(long_value.size()) + " block ";
    raw_rule = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(kRulePattern), PCRE2_ZERO_TERMINATED,
                             PCRE2_UTF | PCRE2_ANCHORED, &err, &offset, nullptr);
    if (raw_rule == nullptr || pcre2_jit_compile(raw_rule, PCRE2_JIT_COMPLETE) != 0) std::abort();
  }
  ~Setup() {
    pcre2_match_data_free(raw_md);
    pcre2_code_free(raw);
    pcre2_code_free(raw_rule);
    tq_close(ctx);
  }
};

Setup& setup() {
  static Setup s;
  return s;
}

void BM_RawPcre2Jit(benchmark::State& state) {
  Setup& s = setup();
  size_t i = 0;
  int64_t hits = 0;
  for (auto _ : state) {
    const std::string& v = s.values[i++ & 63];
    int rc = pcre2_match(s.raw, reinterpret_cast<PCRE2_SPTR>(v.c_str()), v.size(), 0, 0, s.raw_md, nullptr);
    hits += rc > 0;
    benchmark::DoNotOptimize(rc);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["hits"] = static_cast<double>(hits) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RawPcre2Jit);

void BM_EngineElementExec(benchmark::State& state) {
  Setup& s = setup();
  size_t i = 0;
  for (auto _ : state) {
    const std::string& v = s.values[i++ & 63];
    int32_t m = tq::regexlib_element_exec(s.ctx, &s.rec->elements[0], v.c_str(), v.size(), 0, nullptr, 0, nullptr, 0);
    benchmark::DoNotOptimize(m);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EngineElementExec);

void BM_EngineMatchAny(benchmark::State& state) {
  Setup& s = setup();
  size_t i = 0;
  for (auto _ : state) {
    int32_t m = tq::regexlib_match_any(s.ctx, s.rec, s.values[i++ & 63].c_str(), 0);
    benchmark::DoNotOptimize(m);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EngineMatchAny);

void BM_ExportMatch(benchmark::State& state) {
  Setup& s = setup();
  size_t i = 0;
  for (auto _ : state) {
    int32_t matched = 0;
    int32_t rc = tq_regexlib_match(s.ctx, s.lib, s.values[i++ & 63].c_str(), &matched);
    if (rc != 0) state.SkipWithError("tq_regexlib_match failed");
    benchmark::DoNotOptimize(matched);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExportMatch);

void BM_EngineReplaceAll(benchmark::State& state) {
  Setup& s = setup();
  size_t i = 0;
  char out[tq::kRegexResultSize];
  for (auto _ : state) {
    int32_t m = tq::regexlib_replace_all(s.ctx, s.rec, s.values[i++ & 63].c_str(), out, 0);
    benchmark::DoNotOptimize(m);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EngineReplaceAll);

void BM_ExportMatchAndReplace(benchmark::State& state) {
  Setup& s = setup();
  size_t i = 0;
  char out[1030];
  for (auto _ : state) {
    int32_t matched = 0;
    int32_t rc = tq_regexlib_match_and_replace(s.ctx, s.lib, s.values[i++ & 63].c_str(), out, &matched);
    if (rc != 0) state.SkipWithError("tq_regexlib_match_and_replace failed");
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExportMatchAndReplace);

// The rules pass's share of a chop: one anchored try per character,
// moving past a match.
void BM_RawPcre2JitAnchoredTries(benchmark::State& state) {
  Setup& s = setup();
  const auto* subject = reinterpret_cast<PCRE2_SPTR>(s.long_value.c_str());
  const size_t length = s.long_value.size();
  for (auto _ : state) {
    size_t pos = 0;
    uint32_t checked = 0;  // the first try checks the UTF-8 of the whole value
    while (pos < length) {
      int rc = pcre2_match(s.raw_rule, subject, length, pos, checked, s.raw_md, nullptr);
      checked = PCRE2_NO_UTF_CHECK;
      pos = rc > 0 ? pcre2_get_ovector_pointer(s.raw_md)[1] : pos + 1;
    }
    benchmark::DoNotOptimize(pos);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RawPcre2JitAnchoredTries);

void BM_ChopWithRegexRule(benchmark::State& state) {
  Setup& s = setup();
  for (auto _ : state) {
    tq::word_list list;
    int32_t rc = tq::chop_run(s.ctx, s.chopper, s.long_value.c_str(), &list);
    if (rc != 0) state.SkipWithError("chop_run failed");
    tq::wordlist_free(&list);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ChopWithRegexRule);

}  // namespace
