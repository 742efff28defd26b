// Grammars, analysed word lists and parser objects made in memory for the
// engines' tests.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "kbstore/krdcat.h"
#include "kbstore/krlib.h"
#include "parse/krawl.h"
#include "parse/krparser.h"
#include "parse/krsoln.h"
#include "resources/krgram.h"
#include "support/bare_context.h"

namespace parse_test {

using namespace tq;

// Makes a grammar in the context from its categories (NUM added first) and
// rules written "LEFT > A B C : priority". Returns its registry index.
inline int32_t make_grammar(context* ctx, const std::string& name, const std::vector<std::string>& cats,
                            const std::vector<std::string>& rules) {
  int32_t g = -1;
  EXPECT_EQ(grammar_create(ctx, name.c_str(), &g), 0);
  EXPECT_EQ(grammar_category_add(ctx, g, "NUM", "Number"), 0);
  for (const auto& c : cats) EXPECT_EQ(grammar_category_add(ctx, g, c.c_str(), c.c_str()), 0);
  grammar_rec* rec = nullptr;
  EXPECT_EQ(grammar_get(ctx, g, &rec), 0);
  for (const auto& text : rules) {
    std::istringstream in(text);
    std::string left, arrow, word;
    in >> left >> arrow;
    std::vector<std::string> right;
    int32_t priority = 50;
    while (in >> word) {
      if (word == ":") {
        in >> priority;
        break;
      }
      right.push_back(word);
    }
    const int32_t ci = grammar_category_index_by_name(ctx, rec, left.c_str());
    grammar_category* gc = grammar_category_get(rec, ci);
    const int32_t ri = gc->rules == nullptr ? 0 : static_cast<int32_t>(gc->rules->count);
    EXPECT_EQ(grammar_rule_add(ctx, g, ci, priority), 0) << text;
    for (const auto& r : right) EXPECT_EQ(grammar_rule_category_add(ctx, g, ci, ri, r.c_str()), 0) << text;
  }
  return g;
}

inline int32_t cat_index(context* ctx, int32_t g, const char* name) {
  grammar_rec* rec = nullptr;
  EXPECT_EQ(grammar_get(ctx, g, &rec), 0);
  return grammar_category_index_by_name(ctx, rec, name);
}

// An analysed word list built by hand: per word its (category, likelihood)
// entries in order, category records interned in the context.
class Words {
 public:
  Words(context* ctx, const std::vector<std::vector<std::pair<std::string, int32_t>>>& words) {
    vec_init(&list_, static_cast<uint32_t>(words.size()) + 1);
    for (const auto& w : words) {
      auto* v = new vec;
      vec_init(v, static_cast<uint32_t>(w.size()) + 1);
      for (const auto& [name, likelihood] : w) {
        auto cat = std::make_unique<category_rec>();
        EXPECT_EQ(category_intern(ctx, cat.get(), name.c_str(), ""), 0);
        auto entry = std::make_unique<cat_entry>(cat_entry{likelihood, cat.get()});
        vec_push(v, entry.get());
        cats_.push_back(std::move(cat));
        entries_.push_back(std::move(entry));
      }
      vec_push(&list_, v);
      words_.push_back(v);
    }
  }
  ~Words() {
    for (vec* v : words_) {
      vec_free_fn_set(v, vec_free_noop);
      vec_free(v);
      delete v;
    }
    vec_free_fn_set(&list_, vec_free_noop);
    vec_free(&list_);
  }
  Words(const Words&) = delete;
  Words& operator=(const Words&) = delete;
  const analysed_word_list* get() const { return &list_; }

 private:
  vec list_{};
  std::vector<vec*> words_;
  std::vector<std::unique_ptr<category_rec>> cats_;
  std::vector<std::unique_ptr<cat_entry>> entries_;
};

// A parse's solutions, freed at the end of the scope.
struct Solutions {
  vec list{};
  ~Solutions() { vec_free(&list); }
  parse_solution* at(uint32_t i) const { return static_cast<parse_solution*>(vec_get(&list, static_cast<int32_t>(i))); }
  uint32_t count() const { return list.count; }
  parse_solution* best() const {
    parse_solution* b = nullptr;
    EXPECT_EQ(parse_solution_best_get(nullptr, &list, &b), 0);
    return b;
  }
};

// One reference to a cached parser object, given back at the end of the scope.
struct Parser {
  context* ctx;
  parser_rec* p = nullptr;
  int32_t rc;
  Parser(context* c, uint32_t kind, int32_t grammar, int32_t root, const parse_opt_params* block = nullptr)
      : ctx(c) {
    rc = parser_get(c, kind, grammar, root, block, &p);
  }
  ~Parser() { EXPECT_EQ(parser_release(ctx, p), 0); }
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;
};

}  // namespace parse_test
