// Extraction through the interface on the sample knowledge base's
// definition "Contact" (Given Name, Family Name, Company, Other): golden
// sentences by every form of the call, the run recorded in an info, input
// and output bounds, and no allocation once a context is warm.
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/alloc_counter.h"
#include "support/tq_test.h"
#include "support/watchdog.h"

namespace {

using tq_test::Context;

constexpr int32_t kEn = 29000;
using Values = std::vector<std::string>;

struct Sample {
  Context ctx{TQ_SAMPLE_KB};
  int32_t index = -1;
  Sample() {
    const uint32_t parts = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_EXTRACT_DEFNS;
    EXPECT_GE(tq_zel_locale_load(ctx, kEn, parts), 0) << tq_test::error_list_text(ctx);
    EXPECT_EQ(tq_locale_set(ctx, kEn), 0);
    EXPECT_EQ(tq_extraction_defn_index_get_by_name(ctx, "Contact", &index), 0) << tq_test::error_list_text(ctx);
  }
  // form: 0 by name, 1 by index, 2 by name with info, 3 by index with info.
  Values run(const std::string& text, int32_t* rc, tq_extract_info* info = nullptr, int form = 2) {
    std::vector<tq_extract_token> tokens(TQ_EXTRACT_TOKENS);
    uint32_t n = 99;
    const char* data = text.c_str();
    switch (form) {
      case 0: *rc = tq_extract(ctx, "Contact", data, tokens.data(), &n); break;
      case 1: *rc = tq_extract_by_index(ctx, index, data, tokens.data(), &n); break;
      case 2: *rc = tq_extract_with_info(ctx, "Contact", data, tokens.data(), &n, info); break;
      default: *rc = tq_extract_by_index_with_info(ctx, index, data, tokens.data(), &n, info); break;
    }
    Values out;
    for (uint32_t i = 0; i < n; ++i) {
      EXPECT_EQ(tokens[i].index, static_cast<int32_t>(i));
      out.emplace_back(tokens[i].value);
    }
    return out;
  }
};

std::vector<std::vector<std::string>> golden_rows(const char* file) {
  std::vector<std::vector<std::string>> rows;
  for (tq_test::GoldenRow& row : tq_test::golden_rows(std::filesystem::path(TQ_API_GOLDEN_DIR) / file)) {
    if (row.f.size() == 6) rows.push_back(std::move(row.f));
  }
  return rows;
}

// golden/extract_contact.tsv, by each of the four calls, with and without
// an info: every form gives the same tokens.
TEST(Extract, ContactGolden) {
  Sample s;
  const auto rows = golden_rows("extract_contact.tsv");
  ASSERT_GE(rows.size(), 7u);
  tq_extract_info* info = nullptr;
  ASSERT_EQ(tq_extract_info_init(s.ctx, &info), 0);
  for (const auto& row : rows) {
    const Values want(row.begin() + 2, row.end());
    for (int form = 0; form < 4; ++form) {
      for (tq_extract_info* with : {static_cast<tq_extract_info*>(nullptr), info}) {
        if (form < 2 && with != nullptr) continue;
        int32_t rc = -1;
        EXPECT_EQ(s.run(row[0], &rc, with, form), want) << row[0] << " form " << form;
        EXPECT_EQ(rc, std::stoi(row[1])) << row[0] << tq_test::error_list_text(s.ctx);
      }
    }
  }
  EXPECT_EQ(tq_extract_info_free(s.ctx, info), 0);
  EXPECT_EQ(tq_extract_info_free(s.ctx, nullptr), 0);
}

TEST(Extract, InfoRecordsTheRun) {
  Sample s;
  tq_context* ctx = s.ctx;
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_ISO_8859_1), 0);
  tq_extract_info* info = nullptr;
  ASSERT_EQ(tq_extract_info_init(ctx, &info), 0);
  int32_t rc = -1;
  char text[TQ_EXTRACT_VALUE_SIZE] = "";
  uint32_t count = 9, a = 9, b = 9, c = 9;
  int32_t i1 = 9, i2 = 9;
  // Known words: every phrase looked up is recorded, found or not.
  s.run("call acme corp today", &rc, info);
  ASSERT_EQ(tq_extract_info_known_word_count_get(ctx, info, &count), 0);
  EXPECT_EQ(count, 3u);
  const struct {
    uint32_t used;
    const char* phrase;
    const char* scheme;
    int32_t scheme_idx, token;
  } known[] = {{0, "call", "", -1, -1}, {1, "acme corp", "en_company", 0, 2}, {0, "today", "", -1, -1}};
  for (uint32_t k = 0; k < 3; ++k) {
    ASSERT_EQ(tq_extract_info_known_word_get(ctx, info, k, text), 0);
    EXPECT_STREQ(text, known[k].phrase);
    ASSERT_EQ(tq_extract_info_known_word_info_get(ctx, info, k, &a, text, &i1, &i2), 0);
    EXPECT_EQ(a, known[k].used);
    EXPECT_STREQ(text, known[k].scheme);
    EXPECT_EQ(i1, known[k].scheme_idx);
    EXPECT_EQ(i2, known[k].token);
  }
  EXPECT_EQ(tq_extract_info_known_word_get(ctx, info, 3, text), -800);
  // The chopped words less the known ones; no preprocessing in "Contact".
  ASSERT_EQ(tq_extract_info_chopped_word_list_count_get(ctx, info, &count), 0);
  EXPECT_EQ(count, 2u);
  ASSERT_EQ(tq_extract_info_chopped_word_get(ctx, info, 1, text), 0);
  EXPECT_STREQ(text, "today");
  EXPECT_EQ(tq_extract_info_chopped_word_get(ctx, info, 2, text), -800);
  EXPECT_EQ(tq_extract_info_preproc_rgx_count_get(ctx, info, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(tq_extract_info_any_preprocessing_regexlib_matched_get(ctx, info, &a), 0);
  EXPECT_EQ(a, 0u);
  EXPECT_EQ(tq_extract_info_preprocessed_info_get(ctx, info, 0, text, &a), -800);
  // Windows "call" and "today", then the last iteration: every word
  // consumed, no pattern records.
  ASSERT_EQ(tq_extract_info_iteration_count_get(ctx, info, &count), 0);
  ASSERT_EQ(count, 3u);
  ASSERT_EQ(tq_extract_info_iteration_state_string_get(ctx, info, 2, text), 0);
  EXPECT_STREQ(text, "call acme corp today");
  for (uint32_t w = 0; w < 4; ++w) {
    ASSERT_EQ(tq_extract_info_iteration_state_word_info_get(ctx, info, 2, w, &a, &b, &c), 0);
    EXPECT_EQ(a, 2u);
  }
  EXPECT_EQ(tq_extract_info_iteration_state_word_info_get(ctx, info, 2, 4, &a, &b, &c), -800);
  EXPECT_EQ(tq_extract_info_iteration_matched_count_get(ctx, info, 2, &count), 0);
  EXPECT_EQ(count, 0u);
  uint32_t pat = 9, type = 9, sols = 9;
  EXPECT_EQ(tq_extract_info_iteration_matched_info_get(ctx, info, 2, 0, text, &pat, &type, &sols), -800);
  tq_morph_analyzer_info* ma = nullptr;
  EXPECT_EQ(tq_extract_info_iteration_morph_analyzer_info_get(ctx, info, 2, &ma), 0);
  EXPECT_EQ(ma, nullptr);
  EXPECT_EQ(tq_extract_info_iteration_morph_analyzer_info_get(ctx, info, 0, &ma), 0);
  EXPECT_NE(ma, nullptr);
  EXPECT_EQ(tq_extract_info_iteration_morph_analyzer_info_get(ctx, info, 3, &ma), -800);
  // Iteration 0 examined "call" (1), had not reached "today" (0).
  ASSERT_EQ(tq_extract_info_iteration_state_word_info_get(ctx, info, 0, 0, &a, &b, &c), 0);
  EXPECT_EQ(a, 1u);
  ASSERT_EQ(tq_extract_info_iteration_state_word_info_get(ctx, info, 0, 3, &a, &b, &c), 0);
  EXPECT_EQ(a, 0u);
  // A pattern that found nothing holds no solutions.
  EXPECT_EQ(tq_extract_info_iteration_pattern_solution_score_get(ctx, info, 0, 0, 0, &i1), -700);
  EXPECT_EQ(tq_extract_info_iteration_pattern_solution_score_get(ctx, info, 0, 1, 0, &i1), -800);

  // A name: its parse solutions, the chosen match (the given name looked up
  // without its accent); positions count characters of the Latin-1 value
  // ("Smith" starts after a two-byte character in UTF-8).
  EXPECT_EQ(s.run("Zo\xEB Smith", &rc, info), (Values{"Zo\xEB", "Smith", "", ""}));
  ASSERT_EQ(tq_extract_info_iteration_count_get(ctx, info, &count), 0);
  EXPECT_EQ(count, 2u);
  ASSERT_EQ(tq_extract_info_iteration_state_word_info_get(ctx, info, 0, 1, &a, &b, &c), 0);
  EXPECT_EQ(a, 1u);
  EXPECT_EQ(b, 4u);
  EXPECT_EQ(c, 8u);
  EXPECT_EQ(s.run("Kestrel Bank hired Mary Jones", &rc, info), (Values{"Mary", "Jones", "Kestrel Bank", "hired"}));
  ASSERT_EQ(tq_extract_info_iteration_matched_count_get(ctx, info, 0, &count), 0);
  EXPECT_EQ(count, 1u);
  ASSERT_EQ(tq_extract_info_iteration_matched_info_get(ctx, info, 0, 0, text, &pat, &type, &sols), 0);
  EXPECT_STREQ(text, "Mary Jones");
  EXPECT_EQ(pat, 0u);
  EXPECT_EQ(type, 1u);
  ASSERT_GE(sols, 1u);
  const uint32_t solutions = sols;
  EXPECT_EQ(tq_extract_info_iteration_matched_info_get(ctx, info, 0, 1, text, &pat, &type, &sols), -800);
  sols = solutions;
  ASSERT_EQ(tq_extract_info_iteration_pattern_solution_score_get(ctx, info, 0, 0, 0, &i1), 0);
  EXPECT_GT(i1, 0);
  EXPECT_EQ(tq_extract_info_iteration_pattern_solution_score_get(ctx, info, 0, 0, sols, &i1), -800);
  tq_solution_rule* rule = nullptr;
  ASSERT_EQ(tq_extract_info_iteration_pattern_best_solution_rule_get(ctx, info, 0, 0, &rule), 0);
  ASSERT_NE(rule, nullptr);
  ASSERT_EQ(tq_extract_info_iteration_pattern_solution_rule_string_get(ctx, info, 0, rule, text), 0);
  EXPECT_STREQ(text, "Mary Jones");
  // The last iteration has no window to read it in.
  EXPECT_EQ(tq_extract_info_iteration_pattern_solution_rule_string_get(ctx, info, 2, rule, text), -800);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(tq_solution_rule_free(ctx, rule), 0);
  ASSERT_EQ(tq_extract_info_iteration_pattern_solution_rule_get(ctx, info, 0, 0, 0, &rule), 0);
  EXPECT_EQ(tq_solution_rule_free(ctx, rule), 0);
  EXPECT_EQ(tq_extract_info_iteration_pattern_solution_rule_get(ctx, info, 0, 0, sols, &rule), -800);
  EXPECT_EQ(rule, nullptr);
  // A call that fails leaves the info empty too.
  std::vector<tq_extract_token> none(TQ_EXTRACT_TOKENS);
  EXPECT_LT(tq_extract_with_info(ctx, "NoSuchDefinition", "x", none.data(), &count, info), 0);
  EXPECT_EQ(tq_extract_info_iteration_count_get(ctx, info, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(s.run("Kestrel Bank hired Mary Jones", &rc, info), (Values{"Mary", "Jones", "Kestrel Bank", "hired"}));
  // The solution copies outlive the definition's unload.
  EXPECT_EQ(tq_zel_locale_unload(ctx, kEn), 0) << tq_test::error_list_text(ctx);
  ASSERT_EQ(tq_extract_info_iteration_pattern_solution_score_get(ctx, info, 0, 0, 0, &i1), 0);
  ASSERT_EQ(tq_extract_info_iteration_pattern_best_solution_rule_get(ctx, info, 0, 0, &rule), 0);
  ASSERT_EQ(tq_extract_info_iteration_pattern_solution_rule_string_get(ctx, info, 0, rule, text), 0);
  EXPECT_STREQ(text, "Mary Jones");
  EXPECT_EQ(tq_solution_rule_free(ctx, rule), 0);
  EXPECT_EQ(tq_extract_info_free(ctx, info), 0);
}

// The interface takes 1,024 bytes of input: 600 one-letter words are cut
// between words' characters (told by 102) and every token stays within its
// 1,024 bytes.
TEST(Extract, BoundsAndRefusals) {
  Sample s;
  std::string many;
  for (int i = 0; i < 600; ++i) many += (i == 0 ? "" : " ") + std::string(1, static_cast<char>('a' + i % 26));
  int32_t rc = -1;
  Values v = s.run(many, &rc);
  EXPECT_EQ(rc, TQ_WARN_LIMIT_REACHED) << tq_test::error_list_text(s.ctx);
  ASSERT_EQ(v.size(), 4u);
  EXPECT_EQ(v[3], many.substr(0, 1023));
  std::vector<tq_extract_token> tokens(TQ_EXTRACT_TOKENS);
  uint32_t n = 99;
  EXPECT_LT(tq_extract(s.ctx, "NoSuchDefinition", "John Smith", tokens.data(), &n), 0);
  EXPECT_EQ(n, 0u);
  n = 99;
  EXPECT_EQ(tq_extract_by_index(s.ctx, 77, "John Smith", tokens.data(), &n), -800);
  EXPECT_EQ(n, 0u);
}

// A warm context extracts without a heap allocation.
TEST(Extract, WarmContextAllocatesNothing) {
  Sample s;
  std::vector<tq_extract_token> tokens(TQ_EXTRACT_TOKENS);
  uint32_t n = 0;
  const char* values[] = {"John Smith joined Acme Corp on Monday.", "Kestrel Bank hired Mary Jones", "",
                          "call acme corp today"};
  // The pools reach their size over a few rounds.
  for (int i = 0; i < 5; ++i) {
    for (const char* v : values) ASSERT_EQ(tq_extract(s.ctx, "Contact", v, tokens.data(), &n), 0);
  }
  tq_test::AllocCounter counter;
  for (int i = 0; i < 30; ++i) {
    for (const char* v : values) ASSERT_EQ(tq_extract(s.ctx, "Contact", v, tokens.data(), &n), 0);
  }
  if (counter.available) {
    EXPECT_EQ(counter.allocations(), 0);
  }
}

// Clones extract on their own threads, each in its own work area; the
// definition, not yet prepared, is prepared once by whichever comes first.
TEST(Extract, ClonesOnThreadsGiveTheGolden) {
  tq_test::Watchdog watchdog;
  Sample s;
  const auto rows = golden_rows("extract_contact.tsv");
  constexpr int kThreads = 4;
  std::vector<tq_context*> clones(kThreads, nullptr);
  for (tq_context*& c : clones) ASSERT_EQ(tq_clone(s.ctx, &c), 0);
  std::vector<int> wrong(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::vector<tq_extract_token> tokens(TQ_EXTRACT_TOKENS);
      for (int round = 0; round < 20; ++round) {
        for (const auto& row : rows) {
          uint32_t n = 0;
          const int32_t rc = tq_extract(clones[t], "Contact", row[0].c_str(), tokens.data(), &n);
          bool same = rc == std::stoi(row[1]) && n == 4;
          for (uint32_t k = 0; same && k < 4; ++k) same = row[2 + k] == tokens[k].value;
          wrong[t] += same ? 0 : 1;
        }
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(wrong[t], 0) << "clone " << t;
  for (tq_context* c : clones) tq_close(c);
}

}  // namespace
