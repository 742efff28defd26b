// Values per second through a phonetics rule set of a few hundred rules,
// shaped like the sound-alike keys of name matching: word-initial rules,
// digraphs with context, word-end rules (with their twins, since the set
// has a blank rule), doubled letters that rewind, vowel pairs and single
// letters. Measured through the engine itself and through the export, in
// tokens (values) per second: on a few dozen names, and on twenty thousand
// made-up ones, where far fewer windows repeat (the engine keeps what it
// decided for a window it met before).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "tq.h"
#include "core/krcorvel.h"
#include "resources/krphtx.h"

namespace {

struct BenchRule {
  std::string pattern;
  std::string replacement;
  int32_t priority;
  uint32_t flags;
};

std::vector<BenchRule> rule_set() {
  std::vector<BenchRule> rules;
  std::set<std::string> seen;
  auto add = [&](const std::string& p, const std::string& r, int32_t priority, uint32_t flags = 0) {
    if (seen.insert(p).second) rules.push_back({p, r, priority, flags});
  };
  const std::string vowels = "AEIOU";
  const std::string consonants = "BCDFGHJKLMNPQRSTVWXYZ";

  for (const char* p : {"^KN", "^GN", "^PN", "^PS", "^TS", "^CZ"}) add(p, std::string(1, p[2]), 90);
  add("^AE", "E", 90);
  add("^WR", "R", 90);
  add("^X", "S", 90);
  add("^WH", "W", 90);
  add("^MAC", "MK", 90);
  add("^MC", "MK", 90);
  add("^GH", "K", 90);
  add("^[AEIOU]", "A", 85);
  for (char c : consonants) add(std::string{'^', c}, std::string(1, c), 85);

  const char* digraphs[][2] = {{"SCH", "SK"}, {"TCH", "X"},      {"CH", "X"},       {"SH", "X"},  {"TH", "0"},
                               {"PH", "F"},   {"CK", "K"},       {"DG/[EIY]", "J"}, {"C/[EIY]", "S"},
                               {"G/[EIY]", "J"}, {"GH/[^AEIOU]", ""}, {"QU", "KW"},  {"SIO", "X"},
                               {"SIA", "X"},  {"TIO", "X"},      {"TIA", "X"},      {"CIA", "X"}, {"X", "KS"},
                               {"Q", "K"},    {"Z", "S"},        {"V", "F"},        {"Y/[^AEIOU]", ""},
                               {"W/[^AEIOU]", ""}};
  for (const auto& d : digraphs) add(d[0], d[1], 80);

  const char* ends[][2] = {{"MB$", "M"}, {"GNED$", "ND"}, {"GN$", "N"}, {"ES$", "S"}, {"ED$", "T"}, {"ING$", "NK"},
                           {"LY$", "L"}, {"IE$", "I"},    {"EY$", "I"}, {"Y$", "I"},  {"E$", ""}};
  for (const auto& e : ends) add(e[0], e[1], 70);
  for (char c : consonants) add(std::string{c, 'E', '$'}, std::string(1, c), 75);  // silent E
  for (char c : consonants) add(std::string{c, 'H'}, std::string(1, c), 65);
  for (char v : vowels) add(std::string{v, 'R'}, "R", 55);

  for (char c = 'A'; c <= 'Z'; ++c) add(std::string(2, c), std::string(1, c), 60, TQ_PHONETX_FLAG_REWIND);
  for (char a : vowels) {
    for (char b : vowels) add(std::string{a, b}, std::string(1, a), 50);
  }
  for (char v : vowels) {
    for (char c : consonants) add(std::string{v, c, '$'}, std::string(1, c), 40);
  }
  add("[AEIOU]", "", 20);
  for (char c : consonants) add(std::string{c, '$'}, std::string(1, c), 30);
  for (char c : consonants) add(std::string(1, c), std::string(1, c), 20);
  add(" ", "", 10);
  return rules;
}

const std::vector<std::string>& values() {
  static const std::vector<std::string> v = {
      "JOHNSON", "SMITH", "WILLIAMS", "BROWN", "JONES", "GARCIA", "MILLER", "DAVIS", "RODRIGUEZ", "MARTINEZ",
      "HERNANDEZ", "LOPEZ", "GONZALEZ", "WILSON", "ANDERSON", "THOMAS", "TAYLOR", "MOORE", "JACKSON", "MARTIN",
      "MACDONALD", "SCHMIDT", "KNIGHT", "WRIGHT", "PHILLIPS", "THOMPSON", "CHRISTOPHER", "XAVIER", "GNAGY",
      "MCCORMICK", "ELIZABETH ANNE", "MAIN STREET", "ROBERT JAMES KNOWLES", "PHOENIX TECHNOLOGIES",
      "SCHWARZENEGGER", "AEBERSOLD", "WHITAKER", "PSYCHOLOGY ASSOCIATES", "CZERNY", "TSCHUDIN",
      "QUEENSBURY ROAD", "NATIONAL INSURANCE", "BUTTERWORTH", "GREENWOOD LANE", "LITTLEFIELD"};
  return v;
}

// Twenty thousand different names of one or two words (about ten
// characters, like the names above), made from syllables by a fixed
// generator.
const std::vector<std::string>& many_values() {
  static const std::vector<std::string> v = [] {
    const char* syllables[] = {"AN", "BER", "CHRIS", "DA", "EL", "FITZ", "GOR", "HAR", "IN", "JO", "KNI", "LOU",
                               "MAC", "NOR", "O", "PHI", "QUIN", "ROS", "SCHM", "TON", "U", "VAL", "WRI", "XA",
                               "YOR", "ZE", "GH", "TH", "ED", "ING", "SON", "LEY", "MB", "PS", "CK", "IE"};
    const size_t count = sizeof syllables / sizeof syllables[0];
    std::vector<std::string> out;
    std::set<std::string> seen;
    uint32_t x = 12345;
    auto next = [&x] {
      x = x * 1103515245u + 12345u;
      return (x >> 16) & 0x7FFF;
    };
    while (out.size() < 20000) {
      std::string value;
      uint32_t words = next() % 4 == 0 ? 2 : 1;
      for (uint32_t w = 0; w < words; ++w) {
        if (w > 0) value += ' ';
        uint32_t parts = 2 + next() % 2;
        for (uint32_t p = 0; p < parts; ++p) value += syllables[next() % count];
      }
      if (seen.insert(value).second) out.push_back(value);
    }
    return out;
  }();
  return v;
}

// A context in edit mode with the rule set built, compiled and ready.
struct Fixture {
  tq_context* ctx = nullptr;
  int32_t index = -1;
  size_t rule_count = 0;

  Fixture() {
    if (tq_init_edit_mode(&ctx, nullptr) != 0) std::abort();
    if (tq_phonetx_create(ctx, "bench", &index) != 0) std::abort();
    std::vector<BenchRule> rules = rule_set();
    rule_count = rules.size();
    for (const BenchRule& r : rules) {
      int32_t at = -1;
      if (tq_phonetx_rule_add(ctx, index, r.pattern.c_str(), r.replacement.c_str(), r.priority, r.flags, &at) != 0) {
        std::fprintf(stderr, "rule %s refused\n", r.pattern.c_str());
        std::abort();
      }
    }
    if (tq_phonetx_prepare(ctx, index) != 0) {
      std::fprintf(stderr, "the rule set does not compile\n");
      std::abort();
    }
  }
  ~Fixture() { tq_close(ctx); }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void BM_PhonetxEngineRun(benchmark::State& state) {
  Fixture& f = fixture();
  tq::phonetx_rec* rec = nullptr;
  if (tq::phonetx_get(f.ctx, f.index, &rec) != 0) std::abort();
  const auto& inputs = values();
  char out[tq::kPhonetxRunSize];
  size_t i = 0;
  for (auto _ : state) {
    int32_t rc = tq::phonetx_run(f.ctx, rec, inputs[i].c_str(), out);
    benchmark::DoNotOptimize(rc);
    benchmark::DoNotOptimize(out[0]);
    if (++i == inputs.size()) i = 0;
  }
  state.counters["rules"] = static_cast<double>(f.rule_count);
  state.counters["tokens/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PhonetxEngineRun);

// Through the export, as a caller runs it.
void execute_export(benchmark::State& state, const std::vector<std::string>& inputs) {
  Fixture& f = fixture();
  char out[1100];
  size_t i = 0;
  for (auto _ : state) {
    int32_t rc = tq_phonetx_execute(f.ctx, f.index, inputs[i].c_str(), out, sizeof out);
    benchmark::DoNotOptimize(rc);
    if (++i == inputs.size()) i = 0;
  }
  state.counters["values"] = static_cast<double>(inputs.size());
  state.counters["tokens/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_PhonetxExecuteExport(benchmark::State& state) { execute_export(state, values()); }
BENCHMARK(BM_PhonetxExecuteExport);

void BM_PhonetxExecuteExportManyValues(benchmark::State& state) { execute_export(state, many_values()); }
BENCHMARK(BM_PhonetxExecuteExportManyValues);

}  // namespace
