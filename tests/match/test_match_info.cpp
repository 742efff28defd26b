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

#include "match/krminfo.h"
#include "match/match_kb.h"

namespace {

using Indexes = std::vector<int32_t>;

// What one call needs: the info, the caller's indexes in order.
struct Env {
  tq::match_info* info;
  const Indexes* idx;
  size_t next = 0;
};

// One argument of a getter: made before the call (outs preset to a value no
// getter gives), rendered after it.
template <typename T>
struct Arg;
template <>
struct Arg<tq::match_info*> {
  tq::match_info* v;
  explicit Arg(Env& e) : v(e.info) {}
  tq::match_info* get() { return v; }
  void render(std::string*) const {}
  static std::string dflt() { return ""; }
};
template <>
struct Arg<int32_t> {
  int32_t v;
  explicit Arg(Env& e) : v((*e.idx)[e.next++]) {}
  int32_t get() { return v; }
  void render(std::string*) const {}
  static std::string dflt() { return ""; }
};
template <typename N>
struct NumArg {
  N v = 77;
  explicit NumArg(Env&) {}
  N* get() { return &v; }
  void render(std::string* out) const {
    char text[32];
    std::snprintf(text, sizeof text, " %g", static_cast<double>(v));
    *out += text;
  }
};
template <>
struct Arg<uint32_t*> : NumArg<uint32_t> {
  using NumArg::NumArg;
  static std::string dflt() { return " 0"; }
};
template <>
struct Arg<int32_t*> : NumArg<int32_t> {
  using NumArg::NumArg;
  static std::string dflt() { return " -1"; }
};
template <>
struct Arg<double*> : NumArg<double> {
  using NumArg::NumArg;
  static std::string dflt() { return " 100"; }
};
template <>
struct Arg<char*> {
  char buf[TQ_MATCH_INFO_TEXT_SIZE];
  explicit Arg(Env&) {
    std::memset(buf, 'z', sizeof buf);
    buf[sizeof buf - 1] = '\0';
  }
  char* get() { return buf; }
  void render(std::string* out) const { *out += " [" + std::string(buf) + "]"; }
  static std::string dflt() { return " []"; }
};
template <>
struct Arg<tq::morph_analyzer_info**> {
  tq::morph_analyzer_info* v = reinterpret_cast<tq::morph_analyzer_info*>(uintptr_t{8});
  const tq::match_info* info;
  explicit Arg(Env& e) : info(e.info) {}
  tq::morph_analyzer_info** get() { return &v; }
  void render(std::string* out) const {
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

template <typename... A>
constexpr bool kIsGetter = sizeof...(A) >= 2 && (!std::is_same_v<A, tq::match_info**> && ...);

template <typename... A, typename F>
void add_getter(std::map<std::string, Getter>* all, const char* name, F fn) {
  if constexpr (kIsGetter<A...>) {
    Getter g;
    g.indexes = (static_cast<size_t>(std::is_same_v<A, int32_t>) + ...);
    g.defaults = (Arg<A>::dflt() + ...).substr(1);
    g.call = [=](tq::context* ctx, tq::match_info* info, const Indexes& idx, std::string* outs) {
      Env env{info, &idx};
      std::tuple<Arg<A>...> args{Arg<A>(env)...};
      const int32_t rc = std::apply([&](auto&... a) { return fn(ctx, a.get()...); }, args);
      std::string text;
      std::apply([&](const auto&... a) { (a.render(&text), ...); }, args);
      *outs = text.substr(1);
      return rc;
    };
    (*all)[name] = g;
  }
}
template <typename... A>
void add(std::map<std::string, Getter>* all, const char* name, int32_t (*fn)(tq::context*, A...)) {
  add_getter<A...>(all, name, fn);
}
template <typename K, typename... A>
void add(std::map<std::string, Getter>* all, const char* name, int32_t (*fn)(tq::context*, K, A...), K k) {
  add_getter<A...>(all, name, [fn, k](tq::context* ctx, A... a) { return fn(ctx, k, a...); });
}

const std::map<std::string, Getter>& getters() {
  static const std::map<std::string, Getter> all = [] {
    std::map<std::string, Getter> m;
#define TQ_FN(name, hold, edit, impl, ...) add(&m, #name, &tq::impl);
#define TQ_FNK(name, hold, edit, impl, k, ...) add(&m, #name, &tq::impl, tq::k);
#include "api/tables/match_info.def"
#undef TQ_FN
#undef TQ_FNK
    return m;
  }();
  return all;
}

// Every field of `info` (one token, one entry per list, two rule slots) set
// to a value that names it, so each row shows the field it reads.
void mark(tq::match_info* info) {
  info->preproc_matched = {1};
  info->preproc_strings = {"pre0"};
  info->preprocessed = "PRE";
  info->tokens[0] = {"tname", "tvalue"};
  auto& t = info->sig_tokens[0];
  t.name = "sname";
  t.value = "svalue";
  t.normalized = "norm";
  t.noise_filtered = "noise";
  t.standardized = "stdz";
  t.transformed = "trans";
  t.phonetic = "phon";
  t.all_noise = 1;
  t.slots[1].uppercased = "UP1";
  const std::pair<tq::match_info_list, const char*> lists[] = {
      {tq::kMatchInfoNormalization, "N"}, {tq::kMatchInfoNoise, "V"}, {tq::kMatchInfoSchemes, "S"},
      {tq::kMatchInfoTransformation, "T"}, {tq::kMatchInfoPhonetics, "P"}};
  for (const auto& [list, label] : lists) {
    auto& slot = (t.*list).at(0).at(1);
    slot.matched = 1;
    slot.value = std::string(label) + "1";
  }
  t.noise[0][1].all_noise = 1;
  t.noise[0][1].filtered = {"W0", "W1"};
  info->exact_match = 1;
  info->rules[0].matched = 1;
  info->rules[0].score = 2.5;
  info->rules[0].mapping[0] = 0;
  info->codes[1] = {"UNENC", "ENC", 1.5, 1};
}

Indexes parse_indexes(const std::string& text) {
  Indexes idx;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, ',');) idx.push_back(std::stoi(part));
  return idx;
}

std::vector<std::string> split_tabs(const std::string& line) {
  std::vector<std::string> f;
  std::stringstream in(line);
  for (std::string part; std::getline(in, part, '\t');) f.push_back(part);
  if (!line.empty() && line.back() == '\t') f.emplace_back();
  return f;
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

  match_test::MatchKb kb_;
  tq::match_info* info_ = nullptr;
};

TEST_F(MatchInfo, GoldenCallsAndEveryIndexOutOfRange) {
  alloc_r();
  mark(info_);
  const std::map<std::string, std::function<void()>> scenarios = {
      {"fresh", [&] { tq::match_info_clear(info_); }},
      {"r", [&] { alloc_r(); }},
      {"marked", [&] {
         alloc_r();
         mark(info_);
       }},
  };
  std::map<std::string, int> seen;
  const auto lines = tq_test::read_lines(std::filesystem::path(TQ_TEST_KB_DIR) / "match/info.tsv");
  for (size_t n = 0; n < lines.size(); ++n) {
    if (lines[n].empty() || lines[n][0] == '#') continue;
    const auto f = split_tabs(lines[n]);
    const std::string where = "info.tsv:" + std::to_string(n + 1);
    ASSERT_EQ(f.size(), 5u) << where;
    ASSERT_TRUE(scenarios.count(f[0]) && getters().count(f[1])) << where;
    scenarios.at(f[0])();
    const Getter& g = getters().at(f[1]);
    const Indexes idx = parse_indexes(f[2]);
    ASSERT_EQ(idx.size(), g.indexes) << where;
    std::string outs;
    EXPECT_EQ(g.call(ctx(), info_, idx, &outs), std::stoi(f[3])) << where;
    EXPECT_EQ(outs, f[4]) << where;
    // The first line of a getter on the marked info holds indexes in range:
    // each one moved out of range, alone, gives -800 and the defaults.
    if (f[0] != "marked" || seen[f[1]]++ > 0) continue;
    for (size_t i = 0; i < idx.size(); ++i) {
      for (const int32_t bad : {-1, 33, 1 << 30}) {
        Indexes out_of_range = idx;
        out_of_range[i] = bad;
        std::string got;
        EXPECT_EQ(g.call(ctx(), info_, out_of_range, &got), TQ_ERR_INDEX) << where << " index " << i << " = " << bad;
        EXPECT_EQ(got, g.defaults) << where << " index " << i << " = " << bad;
      }
    }
  }
  for (const auto& [name, g] : getters()) EXPECT_EQ(seen[name], 1) << name << " has no line on the marked info";
}

TEST_F(MatchInfo, ReuseReleasesTheLastRun) {
  // M's one token has no lists; a second significant token beyond the
  // definition's (a definition without tokens runs one) has none either.
  alloc_r();
  mark(info_);
  tq::match_info_clear(info_);
  ASSERT_EQ(tq::match_info_arrays_alloc(info_, kb_.defn(0), 3, 2, 1), 0);
  ASSERT_EQ(tq::match_info_arrays_alloc(info_, kb_.defn(0), 3, 2, 1), 0);  // a second time without a clear
  EXPECT_EQ(info_->tokens.size(), 3u);
  EXPECT_TRUE(info_->sig_tokens[1].noise.empty() && info_->sig_tokens[1].morph != nullptr);
  EXPECT_EQ(info_->codes.size(), 2u);
  EXPECT_EQ(info_->exact_match, 0u);
}

}  // namespace
