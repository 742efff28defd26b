// The engine against the reference engine (the run as first written, kept
// in the test tree) on random rule sets and values: the same text, result
// and messages, with the transition table and with the tree alone, and
// again once the run has met every window before.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/krcorvel.h"
#include "resources/krpx.h"
#include "resources/krpxfsm.h"
#include "resources/krpxraw.h"
#include "resources/px_reference.h"
#include "support/bare_context.h"

namespace {

using namespace tq;

struct Outcome {
  int32_t rc;
  std::string text;
  uint32_t reported;
  std::string message;
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  return os << o.rc << " '" << o.text << "' " << o.reported << " " << o.message;
}

std::string pick(std::mt19937& rng, const std::vector<std::string>& from) {
  return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(rng)];
}

// A pattern from a few letters, blanks, any-checks, classes, escapes, word
// markers and a context slash; often one that does not compile.
std::string random_pattern(std::mt19937& rng) {
  static const std::vector<std::string> pieces = {"A", "B", "C", "A", "B", " ", ".", "[AB]", "[^A]", "[$B]",
                                                  "\\.", "\xC3\xA9"};
  std::uniform_int_distribution<int> len(0, 4);
  std::string p;
  if (rng() % 4 == 0) p += "^";
  int n = len(rng);
  for (int i = 0; i < n; ++i) {
    if (i > 0 && rng() % 8 == 0) p += "/";
    p += pick(rng, pieces);
  }
  if (rng() % 4 == 0) p += "$";
  return p;
}

std::string random_text(std::mt19937& rng, int max_len) {
  static const std::vector<std::string> letters = {"A", "B", "C", " ", "A", "B", "\xC3\xA9"};
  std::string t;
  int n = std::uniform_int_distribution<int>(0, max_len)(rng);
  for (int i = 0; i < n; ++i) t += pick(rng, letters);
  return t;
}

class Pair {
 public:
  Pair() {
    px_ruleset_init(&set_, "random-set");
    EXPECT_EQ(phonetx_work_create(bc_.get(), &work_), 0);
    EXPECT_EQ(tq_ref::px_ref_work_create(&ref_), 0);
  }
  ~Pair() {
    px_machine_free(set_.machine);
    px_rules_free(&set_);
    phonetx_work_free(bc_.get(), work_);
    tq_ref::px_ref_work_free(ref_);
  }
  Pair(const Pair&) = delete;
  Pair& operator=(const Pair&) = delete;

  px_ruleset& set() { return set_; }
  tq_context* ctx() { return bc_.get(); }
  phonetx_work* work() { return work_; }

  Outcome run(bool reference, const std::string& input, uint32_t size) {
    std::vector<char> out(size + 1, '#');
    uint32_t errors = bc_.ctx.errors.count;
    int32_t rc = reference ? tq_ref::px_ref_run(bc_.get(), &set_, ref_, input.c_str(), out.data(), size)
                           : px_run(bc_.get(), &set_, work_, input.c_str(), out.data(), size);
    uint32_t reported = bc_.ctx.errors.count - errors;
    return {rc, out.data(), reported, reported > 0 ? bc_.last_error() : ""};
  }

 private:
  tq_test::BareContext bc_;
  px_ruleset set_{};
  phonetx_work* work_ = nullptr;
  tq_ref::px_ref_work* ref_ = nullptr;
};

TEST(PhonetxDifferential, RandomRuleSetsAgreeWithTheReference) {
  std::mt19937 rng(20261207);
  int compiled = 0;
  int compared = 0;
  for (int round = 0; round < 1500; ++round) {
    Pair p;
    int rules = std::uniform_int_distribution<int>(0, 12)(rng);
    std::vector<std::string> texts;
    for (int r = 0; r < rules; ++r) {
      std::string pattern = random_pattern(rng);
      std::string replacement = random_text(rng, 3);
      if (rng() % 6 == 0) replacement += "[";  // plain text in a replacement
      int32_t priority = std::uniform_int_distribution<int32_t>(10, 90)(rng);
      uint32_t flags = static_cast<uint32_t>(rng() % 8);
      (void)px_rule_intake(p.ctx(), &p.set(), pattern.c_str(), replacement.c_str(), priority, flags);
      texts.push_back(pattern + " -> " + replacement + " " + std::to_string(priority) + "/" + std::to_string(flags));
    }
    if (px_compile(p.ctx(), &p.set()) != 0) continue;
    compiled += 1;
    std::string context;
    for (const std::string& t : texts) context += t + "\n";
    std::vector<std::pair<std::string, uint32_t>> inputs;
    for (int v = 0; v < 8; ++v) {
      uint32_t size = rng() % 4 == 0 ? static_cast<uint32_t>(rng() % 12) : kPxOutputMax;
      inputs.emplace_back(random_text(rng, 14), size);
    }
    std::vector<Outcome> refs;
    for (const auto& [input, size] : inputs) refs.push_back(p.run(true, input, size));
    // With the transition table, twice over (the second time every window
    // is known), then with every window in one memo slot, then with the
    // tree alone.
    for (int pass = 0; pass < 4; ++pass) {
      if (pass == 2) p.work()->memo_mask = 0;
      if (pass == 3) {
        ASSERT_EQ(px_tables_build(p.set().machine, 0), 0);
      }
      for (size_t i = 0; i < inputs.size(); ++i) {
        Outcome got = p.run(false, inputs[i].first, inputs[i].second);
        ASSERT_EQ(got, refs[i]) << "pass " << pass << " input '" << inputs[i].first << "' size " << inputs[i].second
                                << "\n" << context;
        compared += 1;
      }
    }
  }
  // The generator must give enough sets that compile to mean something.
  EXPECT_GT(compiled, 300);
  EXPECT_GT(compared, 9600);
}

}  // namespace
