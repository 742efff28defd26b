#include "fields/krxeng.h"

#include <bit>

#include <cstring>
#include <string>

#include "core/krerr.h"
#include "core/krstr.h"
#include "fields/krxdef.h"
#include "fields/krxinfo.h"
#include "platform/nputf8.h"
#include "resources/krchop.h"
#include "resources/krregx.h"
#include "resources/krsch.h"
#include "resources/krwlst.h"
#include "parse/krawl.h"
#include "parse/krmorph.h"
#include "parse/krparser.h"
#include "parse/krsoln.h"
#include "resources/krgram.h"
#include <algorithm>
#include <map>

namespace tq {

namespace {

// A window's matches are pairwise disjoint in a combination, so a total
// holds at most 32 matches and 32 sought words: the pattern term of all of
// them stays below one sought word, and the sought words of all of them below
// one unit of weight.
constexpr int64_t kIndexSpan = kExtractPatternsMax;                 // index term 1..256
constexpr int64_t kSoughtUnit = kIndexSpan * kExtractWindowMax * 2;  // 16,384
constexpr int64_t kWeightUnit = kSoughtUnit * kExtractWindowMax * 2;  // 1,048,576

struct search_state {
  const std::vector<extract_candidate>& c;
  std::vector<uint32_t> path;
  std::vector<uint32_t> best;
  // A combination must beat this, as an empty window's choice (total 0)
  // beats the state of a reset window.
  int64_t best_total = -1;
  bool found = false;

  // Chosen: the words taken so far; last: the highest index on the path.
  void visit(uint32_t taken, int64_t total, int64_t last) {
    bool maximal = true;
    // Each free word can bring at most the best share per word of a
    // candidate that may still be added over it.
    int64_t share[kExtractWindowMax] = {};
    for (size_t j = 0; j < c.size(); ++j) {
      if (c[j].words == 0 || (c[j].words & taken) != 0) continue;
      maximal = false;
      if (static_cast<int64_t>(j) <= last || c[j].score <= 0) continue;
      const int64_t n = std::popcount(c[j].words);
      const int64_t per_word = (c[j].score + n - 1) / n;
      for (uint32_t w = 0; w < kExtractWindowMax; ++w) {
        if ((c[j].words >> w & 1u) != 0 && per_word > share[w]) share[w] = per_word;
      }
    }
    if (maximal) {
      if (total > best_total) {
        best_total = total;
        best = path;
        found = true;
      }
      return;
    }
    // Every set below adds only candidates after `last`, on free words.
    int64_t bound = total;
    for (int64_t v : share) bound += v;
    if (bound <= best_total) return;
    for (size_t j = static_cast<size_t>(last + 1); j < c.size(); ++j) {
      if (c[j].words == 0 || (c[j].words & taken) != 0) continue;
      path.push_back(static_cast<uint32_t>(j));
      visit(taken | c[j].words, total + c[j].score, static_cast<int64_t>(j));
      path.pop_back();
    }
  }
};

}  // namespace

std::vector<uint32_t> extract_combination_search(const std::vector<extract_candidate>& candidates,
                                                 int64_t* total) {
  search_state s{candidates, {}, {}};
  s.path.reserve(kExtractWindowMax);
  s.visit(0, 0, -1);
  *total = s.found ? s.best_total : 0;
  return s.found ? s.best : std::vector<uint32_t>{};
}

int64_t extract_match_score(int32_t weight, uint32_t sought_words, uint32_t pattern_index) {
  const uint32_t index = pattern_index < kExtractPatternsMax ? pattern_index : kExtractPatternsMax - 1;
  return static_cast<int64_t>(weight) * kWeightUnit + static_cast<int64_t>(sought_words) * kSoughtUnit +
         (kIndexSpan - static_cast<int64_t>(index));
}


// ---- The run --------------------------------------------------------------------------------

namespace {

// At most this many words of a value are examined.
constexpr uint32_t kWordsMax = 128;

// Appends text to a token's value, after the separator when the value holds
// text already; each piece cut between characters to the room left.
void token_append(extract_value* slot, const char* separator, const char* text) {
  size_t used = std::strlen(slot->value);
  auto put = [&](const char* piece) {
    if (used + 1 >= kExtractValueSize) return;
    const size_t room = kExtractValueSize - 1 - used;
    size_t n = std::strlen(piece);
    if (n > room) n = np_uchar_cut(piece, room);
    std::memcpy(slot->value + used, piece, n);
    used += n;
    slot->value[used] = '\0';
  };
  if (used != 0) put(separator);
  put(text);
}

struct word_lists {
  word_list chopped{};
  word_list spaced{};
  bool chopped_made = false;
  bool spaced_made = false;
  ~word_lists() {
    if (chopped_made) wordlist_free(&chopped);
    if (spaced_made) wordlist_free(&spaced);
  }
};

// Bytes [first, last] of a word of a list of n examined words: up to the
// byte before the next word, the last one (or `own_end`) to its own end.
void span_of(const word_list* list, uint32_t i, uint32_t n, bool own_end, int32_t* first, int32_t* last) {
  const word_rec* w = wordlist_word_at(list, static_cast<int32_t>(i));
  *first = w->start;
  const word_rec* next = i + 1 < n ? wordlist_word_at(list, static_cast<int32_t>(i + 1)) : nullptr;
  *last = own_end || next == nullptr ? w->start + w->length - 1 : next->start - 1;
}

int32_t known_words(context* ctx, const extract_defn_kind_rec* part, const char* text, word_lists& lists,
                    uint32_t n, uint8_t* taken, extract_value* slots, extract_info* info) {
  int32_t rc = chop_run(ctx, -2, text, &lists.spaced);
  lists.spaced_made = true;
  if (rc < 0) return rc;
  const uint32_t total = wordlist_word_count(&lists.spaced);
  const uint32_t m = total < kWordsMax ? total : kWordsMax;
  std::string phrase;
  uint32_t start = 0;
  while (start < m) {
    bool found = false;
    int32_t token = -1;
    int32_t scheme_index = -1;
    uint32_t end = m - 1;
    for (;; --end) {
      phrase.clear();
      for (uint32_t i = start; i <= end; ++i) {
        const char* word = wordlist_word_at(&lists.spaced, static_cast<int32_t>(i))->text;
        const size_t add = std::strlen(word) + (i == start ? 0 : 1);
        if (phrase.size() + add >= kExtractValueSize) continue;
        if (i != start) phrase += ' ';
        phrase += word;
      }
      for (size_t s = 0; s < part->schemes.size() && !found; ++s) {
        const extract_known_word_scheme& e = part->schemes[s];
        scheme_rec* sch = nullptr;
        if (!e.scheme.held() || e.token < 0) continue;
        rc = scheme_get(ctx, e.scheme.index(), &sch);
        if (rc < 0) return rc;
        if (scheme_standard_get_by_data(ctx, sch, phrase.c_str(), nullptr) != 1) continue;
        found = true;
        token = e.token;
        scheme_index = static_cast<int32_t>(s);
      }
      if (found || end == start) break;
    }
    if (found) {
      token_append(&slots[token], part->separator, phrase.c_str());
      for (uint32_t k = 0; k < n; ++k) {
        int32_t a = 0, b = 0;
        span_of(&lists.chopped, k, n, false, &a, &b);
        for (uint32_t i = start; i <= end; ++i) {
          int32_t c = 0, d = 0;
          span_of(&lists.spaced, i, m, i == end, &c, &d);
          if (a <= d && c <= b) taken[k] = 1;
        }
      }
    }
    if (info != nullptr) {
      extract_known_word_rec r;
      r.found = found ? 1 : 0;
      if (found) {
        char name[kRsrcNameSize] = "";
        (void)rsrc_name_get(ctx, kRsrcScheme, part->schemes[static_cast<size_t>(scheme_index)].scheme.index(), name,
                            sizeof name);
        r.scheme_name = name;
      }
      r.scheme_index = scheme_index;
      r.token = token;
      r.phrase = phrase;
      try {
        info->known_words.push_back(std::move(r));
      } catch (const std::bad_alloc&) {
        return TQ_ERR_NO_MEMORY;
      }
    }
    start = found ? end + 1 : start + 1;
  }
  return 0;
}

// One pattern over the analysed words of a window: the marks of its match
// (bit w: word w; sought: bit w inside a sought category's span, token per
// word), or no match.
struct match {
  uint32_t words = 0;
  uint32_t sought = 0;
  int8_t token_of[kExtractWindowMax];
  bool start_of[kExtractWindowMax];
};

uint32_t awl_count(const analysed_word_list* awl) {
  return awl == nullptr ? 0 : std::min<uint32_t>(vec_count(awl), kExtractWindowMax);
}

int32_t pattern_match(context* ctx, const extract_pattern_rec& p, const analysed_word_list* awl, uint32_t n,
                      vec* solutions, match* m, bool* matched) {
  *matched = false;
  // The list tells the info what the match came from: empty for one word.
  vec_clear(solutions);
  if (n == 0) return 0;
  if (p.parser == nullptr || p.root_index < 0) return TQ_ERR_HOLD_NOT_HELD;
  grammar_rec* g = nullptr;
  int32_t rc = grammar_get(ctx, p.grammar.index(), &g);
  if (rc < 0) return rc;
  std::fill(std::begin(m->token_of), std::end(m->token_of), static_cast<int8_t>(-1));
  std::fill(std::begin(m->start_of), std::end(m->start_of), false);
  m->words = 0;
  m->sought = 0;
  if (grammar_category_has_rules(grammar_category_get(g, p.root_index)) != 0) {
    for (uint32_t from = 0; from < n; ++from) {
      for (uint32_t to = n; to-- > from;) {
        vec_clear(solutions);
        rc = parser_run(ctx, p.parser, awl, static_cast<int32_t>(from), static_cast<int32_t>(to), solutions);
        if (rc < 0) return rc;
        if (vec_count(solutions) == 0) continue;
        parse_solution* best = nullptr;
        rc = parse_solution_best_get(ctx, solutions, &best);
        if (rc < 0) return rc;
        for (size_t s = 0; best != nullptr && s < p.sought.size(); ++s) {
          cat_span span{};
          rc = parse_solution_cat_span_get(ctx, best, p.sought[s].name, &span);
          if (rc < 0) return rc;
          if (span.found == 0) continue;
          if (!*matched) {
            *matched = true;
            for (uint32_t w = from; w <= to; ++w) m->words |= 1u << w;
          }
          for (int32_t w = span.first; w <= span.last && w < static_cast<int32_t>(n); ++w) {
            if (w < 0) continue;
            m->sought |= 1u << w;
            m->token_of[w] = static_cast<int8_t>(p.sought[s].token);
            m->start_of[w] = w == span.first;
          }
        }
        if (*matched || p.mode == kExtractPhrase) return 0;
      }
    }
    return 0;
  }
  if (p.mode == kExtractPhrase && n > 1) return 0;
  if (p.sought.empty()) return TQ_ERR_HOLD_NOT_HELD;
  for (uint32_t w = 0; w < n; ++w) {
    uint32_t cats = 0;
    (void)morph_word_list_cat_count(ctx, awl, static_cast<int32_t>(w), &cats);
    for (uint32_t j = 0; j < cats; ++j) {
      cat_entry* e = nullptr;
      if (morph_word_list_cat_get(ctx, awl, static_cast<int32_t>(w), static_cast<int32_t>(j), &e) < 0) continue;
      if (e == nullptr || e->category == nullptr || std::strcmp(e->category->name, p.sought[0].name) != 0) continue;
      m->words = m->sought = 1u << w;
      m->token_of[w] = static_cast<int8_t>(p.sought[0].token);
      m->start_of[w] = true;
      *matched = true;
      return 0;
    }
  }
  return 0;
}

// The word states of an iteration: consumed, inside the window [i, j], or not
// yet examined.
void states_fill(extract_info_iteration_rec* it, const uint8_t* taken, uint32_t n, int64_t i, int64_t j) {
  for (size_t k = 0; k < it->states.size(); ++k) {
    const bool consumed = k < n ? taken[k] != 0 : j < 0;
    it->states[k] = consumed ? kWordConsumed
                             : (static_cast<int64_t>(k) >= i && static_cast<int64_t>(k) <= j ? kWordInWindow
                                                                                            : kWordUnexamined);
  }
}

int32_t window_loop(context* ctx, const extract_defn_kind_rec* part, word_lists& lists, uint32_t n, uint8_t* taken,
                    uint8_t* assigned, extract_value* slots, extract_info* info) {
  const uint32_t all = wordlist_word_count(&lists.chopped);
  std::vector<uint32_t> counters(part->patterns.size(), 0);
  vec solutions{};
  if (vec_init_from_pool(ctx->small_pool, &solutions) != 0) return TQ_ERR_NO_MEMORY;
  vec_free_fn_set(&solutions, parse_solution_free);
  struct cleanup {
    vec* v;
    ~cleanup() { vec_free(v); }
  } guard{&solutions};
  uint32_t i = 0;
  while (i < n) {
    if (taken[i] != 0) {
      ++i;
      continue;
    }
    uint32_t j = i;
    while (j + 1 < n && taken[j + 1] == 0 && j + 1 - i < kExtractWindowMax) ++j;
    word_list window{};
    int32_t rc = wordlist_slice_copy(ctx, &lists.chopped, static_cast<int32_t>(i), static_cast<int32_t>(j), &window);
    if (rc < 0) return rc;
    struct window_free {
      word_list* w;
      ~window_free() { wordlist_free(w); }
    } wguard{&window};
    analysed_word_list* awl = nullptr;
    extract_info_iteration_rec* iter = nullptr;
    morph_analyzer_info* minfo = nullptr;
    if (info != nullptr && (rc = morph_info_create(&minfo)) < 0) return rc;
    rc = morph_analyze(ctx, part->morph.get(), &window, 0, &awl, minfo);
    if (info != nullptr) {
      const int32_t added = extract_info_iteration_add(info, all, &iter);
      if (added < 0) {
        morph_info_free(minfo);
        return added;
      }
      states_fill(iter, taken, n, i, j);
      const int32_t set = extract_info_iteration_window_set(ctx, iter, minfo, &window);
      if (set < 0) return set;
      if ((rc = rc < 0 ? rc : extract_info_iteration_patterns_init(iter, static_cast<uint32_t>(part->patterns.size()))) < 0) return rc;
    }
    if (rc < 0) return rc;
    const uint32_t wn = awl_count(awl);
    // Identical marks of several patterns: the greater weight, else the
    // earlier pattern.
    std::map<std::pair<uint32_t, uint32_t>, std::pair<size_t, match>> table;
    std::vector<std::pair<uint32_t, uint32_t>> order;
    for (size_t p = 0; p < part->patterns.size(); ++p) {
      const extract_pattern_rec& pat = part->patterns[p];
      if (static_cast<int64_t>(counters[p]) >= pat.max_matches) continue;
      match m;
      bool matched = false;
      rc = pattern_match(ctx, pat, awl, wn, &solutions, &m, &matched);
      if (rc < 0) return rc;
      if (!matched) continue;
      if (iter != nullptr) {
        // What the match came from: the parse's solutions, or the one word.
        rc = vec_count(&solutions) > 0
                 ? extract_info_pattern_solutions_record(ctx, &iter->patterns[p], &solutions, &window)
                 : extract_info_pattern_word_record(ctx, iter, static_cast<uint32_t>(p), std::countr_zero(m.words));
        if (rc < 0) return rc;
      }
      const auto key = std::make_pair(m.words, m.sought);
      auto it = table.find(key);
      if (it == table.end()) {
        table.emplace(key, std::make_pair(p, m));
        order.push_back(key);
      } else if (pat.weight > part->patterns[it->second.first].weight) {
        it->second = std::make_pair(p, m);
      }
    }
    std::vector<extract_candidate> cands;
    for (const auto& key : order) {
      const auto& [p, m] = table.at(key);
      cands.push_back({m.words, extract_match_score(part->patterns[p].weight,
                                                    static_cast<uint32_t>(std::popcount(m.sought)),
                                                    static_cast<uint32_t>(p))});
    }
    int64_t total = 0;
    const std::vector<uint32_t> chosen = extract_combination_search(cands, &total);
    int32_t pattern_of[kExtractWindowMax];
    int32_t token_of[kExtractWindowMax];
    bool start_of[kExtractWindowMax] = {};
    std::fill(std::begin(pattern_of), std::end(pattern_of), -1);
    std::fill(std::begin(token_of), std::end(token_of), -1);
    for (uint32_t c : chosen) {
      const auto& [p, m] = table.at(order[c]);
      if (iter != nullptr) iter->patterns[p].matched = 1;
      for (uint32_t w = 0; w < wn; ++w) {
        if ((m.words >> w & 1u) != 0) pattern_of[w] = static_cast<int32_t>(p);
        if ((m.sought >> w & 1u) != 0) {
          token_of[w] = m.token_of[w];
          start_of[w] = m.start_of[w];
        }
      }
    }
    // Runs of one token go to it; taken words are consumed; each run of one
    // pattern counts as one of its matches.
    uint32_t taken_now = 0;
    int32_t run_first = -1;
    int32_t run_token = -1;
    auto close = [&](uint32_t end) {
      if (run_first < 0) return;
      if (run_token >= 0 && static_cast<uint32_t>(run_token) < kExtractTokensMax) {
        char piece[kWordTextSize];
        wordlist_surface_text(piece, &window, run_first, static_cast<int32_t>(end));
        token_append(&slots[run_token], part->separator, piece);
      }
      for (uint32_t w = static_cast<uint32_t>(run_first); w < end; ++w) assigned[i + w] = 1;
      run_first = -1;
    };
    for (uint32_t w = 0; w < wn; ++w) {
      if (token_of[w] < 0) {
        close(w);
      } else if (!(token_of[w] == run_token && run_first >= 0 && !start_of[w])) {
        close(w);
        run_first = static_cast<int32_t>(w);
        run_token = token_of[w];
      }
      if (pattern_of[w] >= 0) {
        taken[i + w] = 1;
        ++taken_now;
        if (w == 0 || pattern_of[w - 1] != pattern_of[w]) counters[static_cast<size_t>(pattern_of[w])] += 1;
      }
    }
    close(wn);
    if (taken_now == 0 || taken_now == wn) {
      for (uint32_t w = i; w <= j; ++w) taken[w] = 1;
      i = j + 1;
    }
  }
  if (info != nullptr) {
    extract_info_iteration_rec* last = nullptr;
    int32_t rc = extract_info_iteration_add(info, all, &last);
    if (rc < 0) return rc;
    states_fill(last, taken, n, -1, -1);
  }
  return 0;
}

}  // namespace

int32_t extract_engine_run(context* ctx, defn_rec* rec, const char* text, extract_value* out, uint32_t* count,
                           extract_info* info) {
  *count = 0;
  if (info != nullptr) extract_info_reset(info);
  extract_defn_kind_rec* part = extract_defn_part(rec);
  if (part == nullptr) return TQ_ERR_DEFN_INVALID;
  int32_t rc = defn_rec_check_usable(ctx, rec);
  if (rc < 0) return rc;
  if (text == nullptr || std::strlen(text) >= kExtractValueSize) return TQ_ERR_ARGUMENT;
  if (part->prepared.load(std::memory_order_acquire) == 0) {
    rc = extract_defn_prepare(ctx, rec);
    if (rc < 0) return rc;
  }
  const uint32_t tokens = rec->tokens.count();
  if (tokens > kExtractTokensMax) return TQ_ERR_INVALID_CONTENT;
  extract_value slots[kExtractTokensMax];
  for (uint32_t i = 0; i < tokens; ++i) {
    slots[i].index = static_cast<int32_t>(i);
    slots[i].value[0] = '\0';
  }
  // Preprocessing.
  char running[kRegexResultSize];
  str_copy_bounded(running, text, sizeof running);
  for (const rsrc_ref& lib : rec->preprocessing) {
    regexlib_rec* r = nullptr;
    if (!lib.held()) continue;
    rc = regexlib_get(ctx, lib.index(), &r);
    if (rc < 0) return rc;
    char next[kRegexResultSize];
    rc = regexlib_replace_all(ctx, r, running, next, 0);
    if (rc < 0) return rc;
    str_copy_bounded(running, next, sizeof running);
    if (info != nullptr) {
      info->preprocessing.push_back({running, rc > 0 ? 1u : 0u});
      if (rc > 0) info->any_preprocessing_matched = 1;
    }
  }
  if (std::strlen(running) >= kExtractValueSize) running[np_uchar_cut(running, kExtractValueSize - 1)] = '\0';
  word_lists lists;
  rc = chop_run(ctx, rec->chopper.index(), running, &lists.chopped);
  lists.chopped_made = true;
  if (rc < 0) return rc;
  if (info != nullptr && (rc = info->all_words.assign(ctx, &lists.chopped)) < 0) return rc;
  const uint32_t total = wordlist_word_count(&lists.chopped);
  const uint32_t n = total < kWordsMax ? total : kWordsMax;
  uint8_t taken[kWordsMax] = {};
  rc = known_words(ctx, part, running, lists, n, taken, slots, info);
  if (rc < 0) return rc;
  if (info != nullptr) {
    if ((rc = info->chopped.assign(ctx, &lists.chopped)) < 0) return rc;
    for (uint32_t k = n; k-- > 0;) {
      if (taken[k] != 0) (void)wordlist_word_delete(ctx, &info->chopped.list, static_cast<int32_t>(k));
    }
  }
  // Known words are assigned where they are consumed.
  uint8_t assigned[kWordsMax] = {};
  std::memcpy(assigned, taken, sizeof assigned);
  if (part->parser_enabled != 0) {
    rc = window_loop(ctx, part, lists, n, taken, assigned, slots, info);
    if (rc < 0) return rc;
  }
  // Default token: each run of words no phase took, words past the examined
  // ones included.
  if (part->default_token >= 0 && static_cast<uint32_t>(part->default_token) < tokens) {
    uint32_t k = 0;
    while (k < total) {
      if (k < n && assigned[k] != 0) {
        ++k;
        continue;
      }
      uint32_t e = k;
      while (e < total && (e >= n || assigned[e] == 0)) ++e;
      char piece[kWordTextSize];
      wordlist_surface_text(piece, &lists.chopped, static_cast<int32_t>(k), static_cast<int32_t>(e));
      token_append(&slots[part->default_token], part->separator, piece);
      k = e;
    }
  }
  for (uint32_t i = 0; i < tokens; ++i) {
    out[i] = slots[i];
    *count += 1;
  }
  return 0;
}

}  // namespace tq
