// The match info: its storage sized from the definition, and every getter
// of its export table called through the implementation the row binds, on
// infos in known states; the calls and what they give are in
// tests/kb/match/info.tsv (scenario, getter, indexes, result, outs).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "match/krmeng.h"
#include "match/krminfo.h"
#include "match/match_kb.h"

namespace {

using Indexes = std::vector<int32_t>;

// One argument after the info: an index taken from the caller's list, or an
// out preset to a value no getter gives and rendered after the call.
template <typename T>
struct Arg {
  std::remove_pointer_t<T> v;
  Arg(const Indexes& idx, size_t* next) : v(std::is_pointer_v<T> ? 77 : idx.at((*next)++)) {}
  T get() {
    if constexpr (std::is_pointer_v<T>) return &v; else return v;
  }
  void render(std::string* out, const tq::match_info*) const {
    char text[32];
    std::snprintf(text, sizeof text, " %g", static_cast<double>(v));
    if (std::is_pointer_v<T>) *out += text;
  }
  static std::string dflt() {
    if (!std::is_pointer_v<T>) return "";
    return std::is_same_v<T, double*> ? " 100" : std::is_same_v<T, int32_t*> ? " -1" : " 0";
  }
};
template <>
struct Arg<char*> {
  char buf[TQ_MATCH_INFO_TEXT_SIZE];
  Arg(const Indexes&, size_t*) { std::memset(buf, 'z', sizeof buf - 1), buf[sizeof buf - 1] = '\0'; }
  char* get() { return buf; }
  void render(std::string* out, const tq::match_info*) const {  // bytes past ASCII as \xNN
    char x[8];
    *out += " [";
    for (const unsigned char c : std::string(buf)) {
      *out += (std::snprintf(x, sizeof x, c < 0x80 ? "%c" : "\\x%02x", c), x);
    }
    *out += "]";
  }
  static std::string dflt() { return " []"; }
};
template <>
struct Arg<tq::morph_analyzer_info**> {
  tq::morph_analyzer_info* v = reinterpret_cast<tq::morph_analyzer_info*>(uintptr_t{8});
  Arg(const Indexes&, size_t*) {}
  tq::morph_analyzer_info** get() { return &v; }
  void render(std::string* out, const tq::match_info* info) const {
    bool own = false;
    for (const auto& t : info->sig_tokens) own = own || (v != nullptr && v == t.morph);
    *out += v == nullptr ? " null" : own ? " own" : " other";
  }
  static std::string dflt() { return " null"; }
};

struct Getter {
  size_t indexes = 0;
  std::string defaults;  // the outs as every getter leaves them for an index out of range
  std::function<int32_t(tq::context*, tq::match_info*, const Indexes&, std::string*)> call;
};
std::map<std::string, Getter> all_getters;

template <typename... A, typename F>
void add_getter(const char* name, F fn) {
  if constexpr (sizeof...(A) > 0) {  // not the free
    all_getters[name] = {(static_cast<size_t>(std::is_same_v<A, int32_t>) + ...), (Arg<A>::dflt() + ...).substr(1),
                         [=](tq::context* ctx, tq::match_info* info, const Indexes& idx, std::string* outs) {
                           size_t next = 0;
                           std::tuple<Arg<A>...> args{Arg<A>(idx, &next)...};
                           const int32_t rc = std::apply([&](auto&... a) { return fn(ctx, info, a.get()...); }, args);
                           std::string text;
                           std::apply([&](const auto&... a) { (a.render(&text, info), ...); }, args);
                           *outs = text.substr(1);
                           return rc;
                         }};
  }
}
template <typename... A>
void add(const char*, int32_t (*)(tq::context*, A...)) {}  // the init
template <typename... A>
void add(const char* name, int32_t (*fn)(tq::context*, tq::match_info*, A...)) {
  add_getter<A...>(name, fn);
}
template <typename K, typename... A>
void add(const char* name, int32_t (*fn)(tq::context*, K, tq::match_info*, A...), K k) {
  add_getter<A...>(name, [fn, k](tq::context* ctx, tq::match_info* info, A... a) { return fn(ctx, k, info, a...); });
}

const std::map<std::string, Getter>& getters() {
  if (all_getters.empty()) {
#define TQ_FN(name, hold, edit, impl, ...) add(#name, &tq::impl);
#define TQ_FNK(name, hold, edit, impl, k, ...) add(#name, &tq::impl, tq::k);
#include "api/tables/match_info.def"
#undef TQ_FN
#undef TQ_FNK
  }
  return all_getters;
}

// Every field of `info` (one token, one entry per list, two rule slots) set
// to a value that names it, so each row shows the field it reads.
void mark(tq::match_info* info) {
  info->preproc_matched = {1}, info->preproc_strings = {"pre0"}, info->preprocessed = "PRE";
  info->tokens[0] = {"tn\xC3\xA4me", "tvalue"};  // kept in UTF-8, given in the session encoding
  auto& t = info->sig_tokens[0];
  t.name = "sname", t.value = "svalue", t.normalized = "norm", t.noise_filtered = "noise";
  t.standardized = "stdz", t.transformed = "trans", t.phonetic = "phon";
  t.all_noise = 1;
  t.slots[1].uppercased = "UP1";
  const std::pair<tq::match_info_list, const char*> lists[] = {
      {tq::kMatchInfoNormalization, "N"}, {tq::kMatchInfoNoise, "V"}, {tq::kMatchInfoSchemes, "S"},
      {tq::kMatchInfoTransformation, "T"}, {tq::kMatchInfoPhonetics, "P"}};
  for (const auto& [list, label] : lists) (t.*list).at(0).at(1) = {1, std::string(label) + "1", 0, {}};
  t.noise[0][1].all_noise = 1;
  t.noise[0][1].filtered = {"W0", "W1"};
  info->exact_match = 1;
  info->rules[0].matched = 1, info->rules[0].score = 2.5, info->rules[0].mapping[0] = 0;
  info->codes[1] = {"UNENC", "ENC", 1.5, 1};
}

std::vector<std::string> split(const std::string& line, char sep) {
  std::vector<std::string> f;
  std::stringstream in(line);
  for (std::string part; std::getline(in, part, sep);) f.push_back(part);
  if (!line.empty() && line.back() == sep) f.emplace_back();
  return f;
}

// The match fixture with MP (definition 2) spliced in.
std::string locale_with_mp() {
  std::string text = match_test::locale_text();
  const std::string mp = tq_test::read_file(match_test::source("match/mp_defns"));
  text.insert(text.rfind("</file>"), mp.substr(mp.find("-->") + 4));
  return text;
}

class MatchInfo : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(kb_.load_rc(), 0) << kb_.errors();
    // Definition R lacks a normalization list and schemes: give its token one of each.
    tq::dtok_rec* tok = kb_.defn(1)->tokens.items[0].get();
    ASSERT_EQ(tq::dtok_regexlib_add(ctx(), tok, "Initials", 100, 0, 0), 0) << kb_.errors();
    ASSERT_EQ(tq::dtok_scheme_add(ctx(), tok, "Companies", tq::kDtokSchemeElement, 0, 100, 0, 0), 0) << kb_.errors();
    ASSERT_EQ(tq::match_info_init(ctx(), &info_), 0);
  }
  void TearDown() override { tq::match_info_free(ctx(), info_); }
  tq::context* ctx() { return kb_.ctx(); }
  // The info as a run of definition R with one rule and the default leaves
  // it before recording anything.
  void alloc_r() {
    tq::match_info_clear(info_);
    ASSERT_EQ(tq::match_info_preproc_alloc(info_, 1), 0);
    ASSERT_EQ(tq::match_info_arrays_alloc(info_, kb_.defn(1), 1, 1, 2), 0);
  }
  // A single-code run of definition `index` (0 M, 2 MP) on a value, or on
  // the caller's tokens, recorded in the info.
  void run(int32_t index, uint32_t sens, const char* value, int32_t rc, const tq::parse_token_slot* slots = nullptr,
           uint32_t count = 0) {
    char code[tq::kMatchTextSize];
    char* codes[] = {code};
    EXPECT_EQ(slots != nullptr ? tq::match_parsed_by_defn_index(ctx(), index, &sens, 1, slots, count, 0, codes, info_)
                               : tq::match_string_by_defn_index(ctx(), index, &sens, 1, value, 0, codes, info_),
              rc)
        << kb_.errors();
  }

  match_test::MatchKb kb_{locale_with_mp(), 0, tq::kLoadParseDefns};
  tq::match_info* info_ = nullptr;
};

TEST_F(MatchInfo, GoldenCallsAndEveryIndexOutOfRange) {
  // Each scenario runs once, before its lines, on the one info, so each run
  // also shows that nothing of the one before is left.
  const std::map<std::string, std::function<void()>> scenarios = {
      {"fresh", [&] { tq::match_info_clear(info_); }},
      {"r", [&] { alloc_r(); }},
      {"marked", [&] { alloc_r(), mark(info_); }},
      {"m95", [&] { run(0, 95, " mc donald ", 0); }},
      {"nosol", [&] { run(2, 95, "12345", 101); }},
      {"m_then_mp", [&] { run(0, 95, " mc donald ", 0), run(2, 95, "John Smith", 0); }},
      {"parsed", [&] {
         const tq::parse_token_slot slots[3] = {{-1, "x"}, {0, "ann"}, {0, "bob lee"}};
         kb_.defn(0)->allow_parsed_input = 1, run(0, 95, nullptr, 0, slots, 3);
       }},
      // Made twice without a clear, for M and one token more than M has.
      {"m_extra", [&] {
         for (int i = 0; i < 2; ++i) ASSERT_EQ(tq::match_info_arrays_alloc(info_, kb_.defn(0), 3, 2, 1), 0);
       }},
  };
  std::map<std::string, int> seen;
  std::string scenario;
  const auto lines = tq_test::read_lines(std::filesystem::path(TQ_TEST_KB_DIR) / "match/info.tsv");
  for (size_t n = 0; n < lines.size(); ++n) {
    if (lines[n].empty() || lines[n][0] == '#') continue;
    const auto f = split(lines[n], '\t');
    const std::string where = "info.tsv:" + std::to_string(n + 1);
    ASSERT_TRUE(f.size() == 5 && scenarios.count(f[0]) && getters().count(f[1])) << where;
    if (f[0] != scenario) scenarios.at(scenario = f[0])();
    const Getter& g = getters().at(f[1]);
    Indexes idx;
    for (const std::string& i : split(f[2], ',')) idx.push_back(std::stoi(i));
    ASSERT_EQ(idx.size(), g.indexes) << where;
    std::string outs;
    EXPECT_EQ(g.call(ctx(), info_, idx, &outs), std::stoi(f[3])) << where;
    EXPECT_EQ(outs, f[4]) << where;
    // The marked info's line of a getter holds indexes in range: each one
    // moved out of range, alone, gives -800 and the defaults.
    if (f[0] != "marked" || seen[f[1]]++ > 0) continue;
    for (size_t i = 0; i < idx.size(); ++i) {
      for (const int32_t bad : {-1, 33, 1 << 30}) {
        Indexes wrong = idx;
        wrong[i] = bad;
        EXPECT_EQ(g.call(ctx(), info_, wrong, &outs), TQ_ERR_INDEX) << where << " index " << i << " = " << bad;
        EXPECT_EQ(outs, g.defaults) << where << " index " << i << " = " << bad;
      }
    }
  }
  for (const auto& [name, g] : getters()) EXPECT_EQ(seen[name], 1) << name << " has no line on the marked info";
}

}  // namespace
