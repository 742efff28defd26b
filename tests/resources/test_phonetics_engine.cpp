// The phonetics engine from first principles: each case is a small rule set
// and a value whose output was worked out by hand, symbol by symbol.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/krcorvel.h"
#include "core/krerr.h"
#include "resources/krpx.h"
#include "resources/krpxfsm.h"
#include "resources/krpxraw.h"
#include "resources/px_reference.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

using namespace tq;

struct Rule {
  const char* pattern;
  const char* replacement;
  int32_t priority = 50;
  uint32_t flags = 0;
};

struct Result {
  int32_t rc;
  std::string text;
};

class Engine {
 public:
  Engine() {
    px_ruleset_init(&set_, "test-set");
    EXPECT_EQ(phonetx_work_create(bc_.get(), &work_), 0);
  }
  ~Engine() {
    px_machine_free(set_.machine);
    px_rules_free(&set_);
    phonetx_work_free(bc_.get(), work_);
  }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  int32_t add(const Rule& r) { return px_rule_intake(bc_.get(), &set_, r.pattern, r.replacement, r.priority, r.flags); }
  int32_t compile() { return px_compile(bc_.get(), &set_); }
  // Adds the rules and compiles, expecting both to succeed.
  void build(const std::vector<Rule>& rules) {
    for (const Rule& r : rules) ASSERT_EQ(add(r), 0) << r.pattern;
    ASSERT_EQ(compile(), 0) << bc_.last_error();
  }
  // Runs the engine, and the reference engine beside it, which must give the
  // same text, result and messages.
  Result run(const char* input, uint32_t size = kPxOutputMax) {
    std::vector<char> out(size + 1, '#');
    uint32_t errors = bc_.ctx.errors.count;
    int32_t rc = px_run(bc_.get(), &set_, work_, input, out.data(), size);
    std::string message = bc_.ctx.errors.count != errors ? last_error() : "";
    uint32_t reported = bc_.ctx.errors.count - errors;
    tq_ref::px_ref_work* ref = nullptr;
    EXPECT_EQ(tq_ref::px_ref_work_create(&ref), 0);
    std::vector<char> ref_out(size + 1, '#');
    errors = bc_.ctx.errors.count;
    int32_t ref_rc = tq_ref::px_ref_run(bc_.get(), &set_, ref, input, ref_out.data(), size);
    tq_ref::px_ref_work_free(ref);
    EXPECT_EQ(rc, ref_rc) << input;
    EXPECT_STREQ(out.data(), ref_out.data()) << input;
    EXPECT_EQ(reported, bc_.ctx.errors.count - errors) << input;
    EXPECT_EQ(message, bc_.ctx.errors.count != errors ? last_error() : "") << input;
    return {rc, out.data()};
  }
  std::string last_error() const { return bc_.last_error(); }
  px_ruleset& set() { return set_; }
  phonetx_work* work() { return work_; }
  tq_context* ctx() { return bc_.get(); }

 private:
  tq_test::BareContext bc_;
  px_ruleset set_{};
  phonetx_work* work_ = nullptr;
};

Result run_rules(const std::vector<Rule>& rules, const char* input) {
  Engine e;
  e.build(rules);
  return e.run(input);
}

#define EXPECT_RUN(result, code, expected) \
  do {                                      \
    Result r_ = (result);                   \
    EXPECT_EQ(r_.rc, code);                 \
    EXPECT_EQ(r_.text, expected);           \
  } while (0)

TEST(PhonetxEngine, WordMarkersSurroundEveryWord) {
  // ^K: BOW then K. Only the K after a begin-of-word marker goes.
  EXPECT_RUN(run_rules({{"^K", ""}}, "KAK"), 0, "AK");
  EXPECT_RUN(run_rules({{"^K", ""}}, "KAK KAK"), 0, "AK AK");
  EXPECT_RUN(run_rules({{"K$", "X"}}, "KAK KAK"), 0, "KAX KAX");
  // Leading and trailing blanks stay outside the markers: " A " reads as
  // ' ' BOW A EOW ' '.
  EXPECT_RUN(run_rules({{"^A$", "B"}}, " A "), 0, " B ");
  EXPECT_RUN(run_rules({{"^A$", "B"}}, "AA A"), 0, "AA B");
  // "." matches the markers too: "^." takes BOW and the first letter.
  EXPECT_RUN(run_rules({{"^.", "x"}}, "AB CD"), 0, "xB xD");
}

TEST(PhonetxEngine, PartialMatchesAndTheWindow) {
  // After E no partial match is left: AB is the only match, CE is read again.
  EXPECT_RUN(run_rules({{"AB", "X"}, {"ABCD", "Y"}}, "ABCE"), 0, "XCE");
  // ABCD matches too, but AB was found first with the better order number.
  EXPECT_RUN(run_rules({{"AB", "X"}, {"ABCD", "Y"}}, "ABCD"), 0, "XCD");
  EXPECT_RUN(run_rules({{"AB", "X"}, {"ABCD", "Y", 90}}, "ABCD"), 0, "Y");
  // The text after "/" is context: matched, pushed back and read again.
  EXPECT_RUN(run_rules({{"A/B", "X"}}, "AB"), 0, "XB");
  EXPECT_RUN(run_rules({{"A/B", "X"}}, "AC"), 0, "AC");
  // ABC keeps the window open from A; B matches at position 1, so the A
  // before the match start goes out unchanged and D is read again.
  EXPECT_RUN(run_rules({{"ABC", "1"}, {"B", "2"}}, "ABD"), 0, "A2D");
  // Classes, negated classes, "$" inside a class, the any-check and escapes.
  EXPECT_RUN(run_rules({{"[AE]B", "X"}, {"[^AE]B", "Y"}}, "AB CB"), 0, "X Y");
  EXPECT_RUN(run_rules({{"A[$]", "Z"}}, "BA AB"), 0, "BZ AB");
  EXPECT_RUN(run_rules({{"A.C", "X"}}, "ABC"), 0, "X");
  EXPECT_RUN(run_rules({{"A\\.", "X"}}, "AB A."), 0, "AB X");
  EXPECT_RUN(run_rules({{"\\$", "S"}}, "A$B"), 0, "ASB");
  // A backslash at the very end stands for itself.
  EXPECT_RUN(run_rules({{"A\\", "X"}}, "A\\ A"), 0, "X A");
}

TEST(PhonetxEngine, PreferredMatchByPriorityAndPosition) {
  EXPECT_RUN(run_rules({{"AB", "1", 90}, {"B", "2", 10}}, "AB"), 0, "1");
  EXPECT_RUN(run_rules({{"AB", "1", 10}, {"B", "2", 90}}, "AB"), 0, "A2");
  // Equal priorities: the rule added first wins.
  EXPECT_RUN(run_rules({{"B", "2"}, {"AB", "1"}}, "AB"), 0, "A2");

  // ABCDE keeps the window open. CD has the best priority, but AB ends
  // before CD starts, so the earlier AB is taken first; CD follows on the
  // second reading.
  EXPECT_RUN(run_rules({{"ABCDE", "9", 50}, {"AB", "1", 10}, {"CD", "2", 90}}, "ABCDX"), 0, "12X");
  // Found: AB (end 1), CD (end 3), EF (end 5). EF is best and CD ends
  // before it; among AB and CD, CD is best and AB ends before it: AB.
  EXPECT_RUN(run_rules({{"ABCDEFG", "9", 50}, {"AB", "1", 30}, {"CD", "2", 70}, {"EF", "3", 90}}, "ABCDEFX"), 0,
             "123X");
  // Found: ABC (end 2), CD (end 3), EF (end 5). EF is best, CD ends before
  // it; among ABC and CD, CD is best and overlaps ABC, so CD is chosen. A
  // and B go out, then CD's replacement; EF follows on the second reading.
  EXPECT_RUN(run_rules({{"ABCDEFG", "9", 40}, {"ABC", "1", 50}, {"CD", "2", 70}, {"EF", "3", 90}}, "ABCDEFX"), 0,
             "AB23X");
}

TEST(PhonetxEngine, IgnoreKeepsTheMatchedText) {
  // AB/C is kept as it is (A and B out unchanged, C read again), so B never
  // reaches the lower rule; without the C the lower rule applies.
  std::vector<Rule> rules = {{"AB/C", "Q", 90, kPxFlagIgnore}, {"B", "X", 10}};
  EXPECT_RUN(run_rules(rules, "ABC"), 0, "ABC");
  EXPECT_RUN(run_rules(rules, "ABD"), 0, "AXD");
}

TEST(PhonetxEngine, ResetBowMakesTheNextLetterWordInitial) {
  EXPECT_RUN(run_rules({{"^A", "", 50, kPxFlagResetBow}}, "AAB"), 0, "B");
  EXPECT_RUN(run_rules({{"^A", "", 50, 0}}, "AAB"), 0, "AB");
  // A rule that replaces only the marker opening the window would start
  // over from the same input for ever; it applies once and the run ends.
  EXPECT_RUN(run_rules({{"^", "X", 50, kPxFlagResetBow}}, "A"), 0, "XA");
  EXPECT_RUN(run_rules({{".", "", 50, kPxFlagResetBow}}, "AB"), 0, "");
}

TEST(PhonetxEngine, RewindFeedsTheReplacementBack) {
  EXPECT_RUN(run_rules({{"A", "B", 50, kPxFlagRewind}, {"B", "C"}}, "A"), 0, "C");
  // The context after "/" is pushed back behind the replacement: X B, then XB.
  EXPECT_RUN(run_rules({{"A/B", "X", 50, kPxFlagRewind}, {"XB", "Y"}}, "AB"), 0, "Y");
  // A to A with rewind: 2 x 1 rule x 3 symbols = 6 rewinds, then A goes out.
  Engine e;
  e.build({{"A", "A", 50, kPxFlagRewind}});
  EXPECT_RUN(e.run("A"), 114, "A");
  EXPECT_NE(e.last_error().find("rewind limit"), std::string::npos) << e.last_error();
  // A budget used up exactly also reports 114; a set without rules has none.
  EXPECT_RUN(run_rules({}, "AB"), 114, "AB");
}

TEST(PhonetxEngine, OutputCutOnACharacterBoundary) {
  Engine e;
  e.build({{"A", "BBBB"}});
  EXPECT_RUN(e.run("AA", 4), 115, "BBBB");
  EXPECT_NE(e.last_error().find("cut"), std::string::npos);
  EXPECT_RUN(e.run("AA", 8), 0, "BBBBBBBB");
  Engine u;
  u.build({{"A", "\xC3\xA9"}});  // é, two bytes
  EXPECT_RUN(u.run("AAA", 5), 115, "\xC3\xA9\xC3\xA9");
  // Never more than 1,024 bytes of text, whatever the size.
  std::string input(257, 'A');
  Result big = e.run(input.c_str(), 4096);
  EXPECT_EQ(big.rc, 115);
  EXPECT_EQ(big.text.size(), 1024u);
}

TEST(PhonetxEngine, BlankPatternsAndWordEndTwins) {
  for (const char* blank : {" ", "\\ ", "[ ]", "", "^ $"}) {
    SCOPED_TRACE(std::string("pattern '") + blank + "'");
    EXPECT_RUN(run_rules({{blank, "_"}}, "A B"), 0, "A_B");
  }
  // Only a whole blank pattern is normalised: " S" keeps its own rule, so it
  // is no duplicate of " ", and "[" alone still fails.
  Engine e;
  e.build({{" ", "_"}, {" S", "Z"}});
  EXPECT_EQ(e.set().rule_count, 2u);
  EXPECT_EQ(px_length(e.set().rules[1]->pattern), 2u);
  EXPECT_EQ(e.set().rules[0]->given_pattern, nullptr);
  // "^" and "$" alone are word markers, not blanks.
  EXPECT_RUN(run_rules({{"$", "!"}}, "AB C"), 0, "AB! C!");
  EXPECT_RUN(run_rules({{"^", "#"}}, "AB C"), 0, "#AB #C");
  Engine f;
  ASSERT_EQ(f.add({"\\ ", "_"}), 0);
  ASSERT_NE(f.set().rules[0]->given_pattern, nullptr);
  EXPECT_EQ(px_length(f.set().rules[0]->given_pattern), 2u);

  // With a " " rule, S$ gets a twin "S$ ". In "AS B" the " " rule is best,
  // S$ ends before it and is chosen, and its twin (also matched) is used:
  // the twin copies S, keeps EOW and takes the blank.
  EXPECT_RUN(run_rules({{" ", "_"}, {"S$", "Z"}}, "AS B"), 0, "ASB");
  // At the end of the input the twin never matches: S$ applies.
  EXPECT_RUN(run_rules({{" ", "_"}, {"S$", "Z"}}, "B AS"), 0, "B_AZ");
  // Without a " " rule there is no twin.
  EXPECT_RUN(run_rules({{"S$", "Z"}}, "AS B"), 0, "AZ B");
  // The twin of AB$ -> VWXYZ spans A B EOW ' ': its copies stop there.
  EXPECT_RUN(run_rules({{"AB$", "VWXYZ"}, {" ", "_"}}, "AB C"), 0, "AB C");

  Engine t;
  t.build({{" ", "_"}, {"S$", "Z"}, {"T$", "Y", 50, kPxFlagIgnore}});
  ASSERT_EQ(t.set().rule_count, 4u);  // " ", twin, S$, T$ (ignore: no twin)
  const px_rule* twin = t.set().rules[1];
  EXPECT_EQ(twin->generated, 1u);
  EXPECT_EQ(t.set().rules[2]->linked, twin);
  EXPECT_EQ(twin->order, t.set().rules[2]->order);
  EXPECT_EQ(twin->path_length, 3u);
  ASSERT_EQ(twin->marked_length, 3u);
  EXPECT_EQ(twin->marked[0], kPxCopy);
  EXPECT_EQ(twin->marked[1], kPxEow);
  EXPECT_EQ(twin->marked[2], kPxWild);
}

TEST(PhonetxEngine, CompileErrors) {
  struct Case {
    std::vector<Rule> rules;
    const char* message_part;
  };
  const Case cases[] = {
      {{{"A[B", "x"}}, "without a closing"},   {{{"A^", "x"}}, "'^' after"},
      {{{"A$B", "x"}}, "'$' before"},          {{{"/A", "x"}}, "starts with '/'"},
      {{{"A/B/C", "x"}}, "more than one '/'"}, {{{"AB", "x"}, {"AB", "y"}}, "repeats the pattern"},
      {{{"[", "x"}}, "without a closing"},
  };
  for (const Case& c : cases) {
    Engine e;
    for (const Rule& r : c.rules) ASSERT_EQ(e.add(r), 0);
    EXPECT_EQ(e.compile(), -803) << c.rules[0].pattern;
    EXPECT_NE(e.last_error().find(c.message_part), std::string::npos) << e.last_error();
    EXPECT_NE(e.last_error().find("test-set"), std::string::npos);
    // The set stays editable without a machine; compiling again fails again.
    EXPECT_EQ(e.set().state, kPxStateEditable);
    EXPECT_EQ(e.set().machine, nullptr);
    EXPECT_EQ(e.compile(), -803);
    EXPECT_EQ(e.run("A").rc, -1);
  }
  // The duplicate message names both texts.
  Engine d;
  d.build({{"AB", "x"}});
  Engine dup;
  ASSERT_EQ(dup.add({"AB", "first"}), 0);
  ASSERT_EQ(dup.add({"AB", "second"}), 0);
  EXPECT_EQ(dup.compile(), -803);
  EXPECT_NE(dup.last_error().find("'AB' (replacement 'second')"), std::string::npos) << dup.last_error();
  // A compiled set is not compiled again.
  EXPECT_EQ(d.compile(), -603);
  EXPECT_NE(d.last_error().find("already compiled"), std::string::npos);
}

TEST(PhonetxEngine, IntakeRulesAndOrder) {
  Engine e;
  EXPECT_EQ(e.add({"A", "B", 50, kPxFlagRewind | kPxFlagIgnore}), -705);
  EXPECT_NE(e.last_error().find("rewind and the ignore"), std::string::npos);
  EXPECT_EQ(e.set().rule_count, 0u);
  EXPECT_EQ(e.set().rules_added, 0u);
  ASSERT_EQ(e.add({"^AB$", "X"}), 0);
  const px_rule* r = e.set().rules[0];
  EXPECT_EQ(r->order, 1u);
  ASSERT_EQ(r->marked_length, 3u);
  EXPECT_EQ(r->marked[0], kPxBow);
  EXPECT_EQ(r->marked[1], 'X');
  EXPECT_EQ(r->marked[2], kPxEow);
  // Texts past 257 characters are ignored.
  std::string long_text(300, 'Q');
  ASSERT_EQ(e.add({long_text.c_str(), long_text.c_str()}), 0);
  EXPECT_EQ(px_length(e.set().rules[1]->pattern), kPxTextMax);
  // Compiling sorts by priority, then by order, numbering from 0.
  ASSERT_EQ(e.add({"C", "c", 90}), 0);
  ASSERT_EQ(e.compile(), 0);
  EXPECT_EQ(e.set().rules[0]->pattern[0], 'C');
  EXPECT_EQ(e.set().rules[0]->order, 0u);
  EXPECT_EQ(e.set().rules[1]->pattern[0], '^');
  EXPECT_EQ(e.set().rules[2]->order, 2u);
  EXPECT_EQ(e.set().rules[1]->path_length, 4u);
  EXPECT_EQ(e.set().rules[1]->replace_length, 4u);
}

TEST(PhonetxEngine, RunEdgesAndADirtyWorkArea) {
  Engine e;
  ASSERT_EQ(e.add({"A", "B"}), 0);
  EXPECT_RUN(e.run("A"), -1, "");  // not compiled
  EXPECT_RUN(e.run(""), 0, "");
  ASSERT_EQ(e.compile(), 0);
  // Whatever a failed run left in the work area, the next run starts clean.
  phonetx_work* w = e.work();
  w->steps.items[w->steps.count++] = {'Z', 0, 0, 0, 0};
  w->output.items[w->output.count++] = 'Z';
  w->input.items[w->input.count++] = 'Z';
  w->pins.items[w->pins.count++] = {0, 0};
  w->matched.items[w->matched.count++] = e.set().rules[0];
  w->ends.items[w->ends.count++] = 0;
  EXPECT_RUN(e.run("XAX"), 0, "XBX");
  EXPECT_RUN(e.run("XAX"), 0, "XBX");
}

TEST(PhonetxEngine, TracingWritesTheRun) {
  tq_test::TempDir dir;
  std::string path = (dir / "trace.txt").string();
  Engine e;
  e.ctx()->trace.on = 1;
  std::strcpy(e.ctx()->trace.path, path.c_str());
  e.build({{"AB", "X", 50, kPxFlagRewind}, {"X", "Y"}, {"[AB]", "Q"}});
  EXPECT_RUN(e.run("AB C"), 0, "Y C");
  e.ctx()->trace.on = 0;
  std::string text = tq_test::read_file(path);
  EXPECT_NE(text.find("Add rule -- Priority: [50] flags: [2]"), std::string::npos);
  EXPECT_NE(text.find("  rewind flag"), std::string::npos);
  EXPECT_NE(text.find("Maximum rewinds: 48"), std::string::npos);  // 2 x 3 rules x 8 symbols
  EXPECT_NE(text.find("--Incoming letter-->'A'"), std::string::npos);
  EXPECT_NE(text.find("Push-back repl: X"), std::string::npos);
}

}  // namespace

namespace {

// The run finds a node's CHAR child through an index, except when tracing,
// where every child is tested in turn; both must give the same results,
// matched in the same order.
TEST(PhonetxEngine, IndexedAndScannedChildrenAgree) {
  tq_test::TempDir dir;
  std::string path = (dir / "trace.txt").string();
  Engine e;
  std::strcpy(e.ctx()->trace.path, path.c_str());
  e.build({{"[AB]C", "1", 50},
           {"AC", "2", 50},
           {".C", "3", 60},
           {"A[^B]", "4", 40},
           {"B", "5", 30},
           {"^A", "6", 70},
           {"C$", "7", 50},
           {" ", "_", 20},
           {"AB$", "8", 50},
           {"A", "9", 10, kPxFlagRewind},
           {"9C", "Z", 10},
           {"CA/B", "Y", 45, kPxFlagIgnore},
           {"\xC3\xA9", "E", 50}});
  const char* inputs[] = {"AC", "BC", "XC", "AB", "AAB AC", "CAB", "ABC CA", "A", "\xC3\xA9" "C", "AXC BBC"};
  for (const char* input : inputs) {
    SCOPED_TRACE(input);
    e.ctx()->trace.on = 0;
    Result indexed = e.run(input);
    e.ctx()->trace.on = 1;
    Result scanned = e.run(input);
    e.ctx()->trace.on = 0;
    EXPECT_EQ(indexed.rc, scanned.rc);
    EXPECT_EQ(indexed.text, scanned.text);
  }
  // One worked by hand: "AC" finds [AB]C, AC (order 2 and 3) and .C at C;
  // .C has the best order (its priority is highest after ^A): "3".
  EXPECT_RUN(e.run("XAC"), 0, "X3");
}

}  // namespace

namespace {

// Rule sets built to make a run's work explode stay bounded: the output
// limit bounds a rewind that lengthens the text, and the work budget bounds
// the rereading that rewinds and many partial matches cause.
TEST(PhonetxEngine, CraftedRuleSetsStayBounded) {
  // A to 257 As, rewinding, and nine rules that never match: every A read
  // pushes 257 back, then, with the rewinds used up, each A emits 257.
  {
    Engine e;
    std::string as(257, 'A');
    std::vector<Rule> rules = {{"A", as.c_str(), 50, kPxFlagRewind}};
    std::vector<std::string> fillers;
    for (int i = 1; i <= 9; ++i) fillers.push_back("Q" + std::to_string(i));
    for (const std::string& f : fillers) rules.push_back({f.c_str(), "x"});
    e.build(rules);
    Result r = e.run(as.c_str());
    EXPECT_EQ(r.rc, 115);
    EXPECT_EQ(r.text, std::string(1024, 'A'));
    EXPECT_LE(e.work()->output.count, 2048u);
    EXPECT_LE(e.work()->input.capacity, 2 * kPxPendingMax);
  }
  // T$ rewinding at the end of a word, and 101 (then 250) rules ".", "..",
  // ... whose partial matches never end: every rewind rereads the rest of
  // the text with a hundred partial matches and thousands of matched rules.
  // The work budget stops the run; the dots had removed the letters before
  // the T, the rest goes out unchanged.
  for (int fillers : {101, 250}) {
    Engine e;
    std::vector<std::string> dots;
    for (int k = 1; k <= fillers; ++k) dots.push_back(std::string(static_cast<size_t>(k), '.'));
    std::vector<Rule> rules = {{"T$", "T", 90, kPxFlagRewind}};
    for (const std::string& d : dots) rules.push_back({d.c_str(), "", 10});
    e.build(rules);
    Result r = e.run("KNIGHT SCHOOL");
    EXPECT_EQ(r.rc, 114);
    EXPECT_NE(e.last_error().find("rewind limit"), std::string::npos) << e.last_error();
    EXPECT_EQ(r.text, "T SCHOOL");
  }
}

}  // namespace
