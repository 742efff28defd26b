// What a clone costs in resident memory (sample knowledge base, UTF-8
// session): a base with every definition kind of ENUSA loaded and the
// languages EN, DE, FR and TR, warmed by running every engine once; then 64
// clones of it, the resident growth per fresh clone; then one parse on each
// clone, the growth per clone again; then every engine run once on each, the
// growth per clone once more. A program that keeps a clone per thread or per
// connection pays the first figure for each one. Then cycles of many clones,
// each made, used for one parse (or for every engine) and closed, with the
// process' resident memory after each cycle: what closed clones leave behind
// shows as growth from the first cycle to the last. Beside it, the time to
// make and close one clone.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "bench_sample.h"

namespace {

using bench::must;

constexpr int32_t kEnUsa = 29840;
constexpr uint32_t kLocales[] = {29000, 39000, 33000, 123000};
constexpr uint32_t kAllDefns = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_IDENT_DEFNS | TQ_LOAD_STDZN_DEFNS |
                               TQ_LOAD_GENDER_DEFNS | TQ_LOAD_MATCH_DEFNS | TQ_LOAD_CASE_DEFNS |
                               TQ_LOAD_GUESS_DEFNS | TQ_LOAD_PATTERN_DEFNS | TQ_LOAD_EXTRACT_DEFNS |
                               TQ_LOAD_LANGUAGE_DEFNS;
constexpr size_t kClones = 64;
constexpr size_t kCycleClones = 500;
constexpr int kCycles = 30;
constexpr const char* kName = "Dr. John Q. Smith Jr.";

// Resident bytes of the process now.
size_t resident() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  must(f != nullptr, "/proc/self/statm");
  unsigned long size = 0;
  unsigned long pages = 0;
  must(std::fscanf(f, "%lu %lu", &size, &pages) == 2, "statm");
  std::fclose(f);
  return static_cast<size_t>(pages) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

struct Resources {
  int32_t chopper = -1;
  int32_t phonetx = -1;
  int32_t regexlib = -1;
};

// Every engine once on ctx: chopping, phonetics, regex matching, parsing,
// extraction, identification, casing, standardization, gender, matching,
// pattern analysis, a language score and a locale guess.
void every_engine(tq_context* ctx, const Resources& r) {
  const char* name = kName;
  tq_chop_word words[32];
  uint32_t n = 32;
  must(tq_chop_string(ctx, r.chopper, name, words, &n) >= 0, "chop", ctx);
  char out[1100];
  must(tq_phonetx_execute(ctx, r.phonetx, "PHILLIPS", out, sizeof out) >= 0, "phonetics", ctx);
  int32_t matched = 0;
  must(tq_regexlib_match(ctx, r.regexlib, "Smith, John", &matched) >= 0, "regex", ctx);
  tq_parse_token tokens[TQ_PARSE_TOKENS];
  uint32_t count = 0;
  must(tq_parse(ctx, "Name", name, tokens, &count) >= 0, "parse", ctx);
  tq_extract_token extracted[TQ_EXTRACT_TOKENS];
  count = 0;
  must(tq_extract(ctx, "Contact", "John Smith joined Acme Corp on Monday.", extracted, &count) >= 0, "extract", ctx);
  must(tq_identify(ctx, "Name", name, out) >= 0, "identify", ctx);
  must(tq_propercase(ctx, "Name", "douglas macarthur jr", out, 1028) >= 0, "propercase", ctx);
  must(tq_standardize(ctx, "Name", name, out) >= 0, "standardize", ctx);
  char gender[8];
  must(tq_gender_determine(ctx, "Name", name, gender) >= 0, "gender", ctx);
  char code[4 * 256 + 1];
  must(tq_match(ctx, "Name", 85, name, code) >= 0, "match", ctx);
  must(tq_pattern_analyze(ctx, "Pattern", "AB-1234 x", out) >= 0, "pattern", ctx);
  int32_t score = 0;
  must(tq_language_guess_score(ctx, "German", "Wir sehen uns morgen im Büro", &score) >= 0, "language", ctx);
  uint32_t guessed = 0;
  must(tq_guess_locale(ctx, "Language", "Nous avons mangé une très bonne soupe", kLocales, nullptr, 4, &guessed) >= 0,
       "guess", ctx);
}

struct World {
  tq_context* base = nullptr;
  Resources r;
  World() {
    base = bench::open_kb();
    for (uint32_t locale : kLocales) {
      must(tq_zel_locale_load(base, static_cast<int32_t>(locale), kAllDefns) == 0, "language load", base);
    }
    must(tq_zel_locale_load(base, kEnUsa, kAllDefns) == 0, "locale load", base);
    must(tq_chopper_load(base, "en_name", &r.chopper) == 0, "chopper", base);
    must(tq_phonetx_load(base, "en_name_sound", &r.phonetx) == 0, "phonetics", base);
    must(tq_regexlib_load(base, "en_comma", nullptr, &r.regexlib) == 0, "regex library", base);
    every_engine(base, r);
  }
  ~World() { tq_close(base); }
};

World& world() {
  static World w;
  return w;
}

void parse_once(tq_context* ctx) {
  tq_parse_token tokens[TQ_PARSE_TOKENS];
  uint32_t count = 0;
  must(tq_parse(ctx, "Name", kName, tokens, &count) >= 0, "parse", ctx);
}

// Resident KB per clone: fresh, after one parse on each, then after every
// engine ran once on each (the growth past the parse).
void BM_CloneResident(benchmark::State& state) {
  World& w = world();
  for (auto _ : state) {
    std::vector<tq_context*> clones(kClones, nullptr);
    const size_t before = resident();
    for (tq_context*& c : clones) must(tq_clone(w.base, &c) == 0, "clone", w.base);
    const size_t fresh = resident();
    for (tq_context* c : clones) parse_once(c);
    const size_t parsed = resident();
    for (tq_context* c : clones) every_engine(c, w.r);
    const size_t used = resident();
    for (tq_context* c : clones) tq_close(c);
    state.counters["fresh_KB"] = static_cast<double>(fresh - before) / 1024.0 / kClones;
    state.counters["parsed_KB"] = static_cast<double>(parsed - fresh) / 1024.0 / kClones;
    state.counters["used_KB"] = static_cast<double>(used - parsed) / 1024.0 / kClones;
  }
}
BENCHMARK(BM_CloneResident)->Iterations(1)->Unit(benchmark::kMillisecond);

// Cycles of 500 clones, each made, used for one parse (/0) or for every
// engine once (/1) and then closed; the process' resident MB after the first
// and the last cycle, and the growth per cycle between them. Closed clones
// that give their memory back keep the growth near 0.
void BM_CloneCycles(benchmark::State& state) {
  World& w = world();
  const bool every = state.range(0) != 0;
  state.SetLabel(every ? "every engine" : "one parse");
  for (auto _ : state) {
    std::vector<tq_context*> clones(kCycleClones, nullptr);
    double first = 0;
    double last = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
      for (tq_context*& c : clones) must(tq_clone(w.base, &c) == 0, "clone", w.base);
      for (tq_context* c : clones) {
        if (every) {
          every_engine(c, w.r);
        } else {
          parse_once(c);
        }
      }
      for (tq_context*& c : clones) {
        tq_close(c);
        c = nullptr;
      }
      last = static_cast<double>(resident()) / (1024.0 * 1024.0);
      if (cycle == 0) first = last;
    }
    state.counters["rss_first_MB"] = first;
    state.counters["rss_last_MB"] = last;
    state.counters["growth_MB_per_cycle"] = (last - first) / (kCycles - 1);
  }
}
BENCHMARK(BM_CloneCycles)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// Making and closing one clone.
void BM_CloneCloseTime(benchmark::State& state) {
  World& w = world();
  for (auto _ : state) {
    tq_context* c = nullptr;
    must(tq_clone(w.base, &c) == 0, "clone", w.base);
    tq_close(c);
  }
}
BENCHMARK(BM_CloneCloseTime)->Unit(benchmark::kMicrosecond);

// Making a clone and running every engine once on it, then closing it.
void BM_CloneFirstUse(benchmark::State& state) {
  World& w = world();
  for (auto _ : state) {
    tq_context* c = nullptr;
    must(tq_clone(w.base, &c) == 0, "clone", w.base);
    every_engine(c, w.r);
    tq_close(c);
  }
}
BENCHMARK(BM_CloneFirstUse)->Unit(benchmark::kMicrosecond);

// Clones that each load a locale and a chopper the base already holds and
// close without unloading them, as a service that makes a clone per request
// does: 160,000 of them in blocks of 20,000, with the processor time per
// clone (steadier than the wall clock on a busy machine) and the resident
// growth of the first and the last block. What a closed clone
// leaves in the shared state must not make later loads slower or the
// process larger. Then the base gives back every load the clones left,
// which it may (given_back counts the unloads that took one), and one more
// locale unload than the clones left takes the base's own load too, which
// leaves the locale unloaded (locale_gone 1).
void BM_CloneLoadClose(benchmark::State& state) {
  constexpr int32_t kFrench = 33000;
  constexpr int kBlock = 20000;
  constexpr int kBlocks = 8;
  for (auto _ : state) {
    tq_context* base = bench::open_sample(kFrench, TQ_LOAD_DATATYPES);
    int32_t chopper = -1;
    must(tq_chopper_load(base, "en_name", &chopper) == 0, "chopper", base);
    double us[kBlocks] = {};
    double kb[kBlocks] = {};
    for (int block = 0; block < kBlocks; ++block) {
      const size_t before = resident();
      const std::clock_t start = std::clock();
      for (int i = 0; i < kBlock; ++i) {
        tq_context* c = nullptr;
        must(tq_clone(base, &c) == 0, "clone", base);
        must(tq_zel_locale_load(c, kFrench, TQ_LOAD_DATATYPES) == 0, "clone's locale load", c);
        int32_t index = -1;
        must(tq_chopper_load(c, "en_name", &index) == 0, "clone's chopper load", c);
        tq_close(c);
      }
      us[block] = 1e6 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC / kBlock;
      kb[block] = (static_cast<double>(resident()) - static_cast<double>(before)) / 1024.0;
    }
    int given_back = 0;
    for (int i = 0; i < kBlock * kBlocks; ++i) {
      if (tq_chopper_unload(base, chopper) == 0) ++given_back;
    }
    for (int i = 0; i <= kBlock * kBlocks; ++i) (void)tq_zel_locale_unload(base, kFrench);
    state.counters["us_first_20k"] = us[0];
    state.counters["us_last_20k"] = us[kBlocks - 1];
    state.counters["KB_first_20k"] = kb[0];
    state.counters["KB_last_20k"] = kb[kBlocks - 1];
    state.counters["given_back"] = given_back;
    state.counters["locale_gone"] = tq_locale_set(base, kFrench) == TQ_ERR_NO_LOCALE ? 1 : 0;
    tq_close(base);
  }
}
BENCHMARK(BM_CloneLoadClose)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
