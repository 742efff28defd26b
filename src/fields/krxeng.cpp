#include "fields/krxeng.h"

#include <bit>
#include <new>

#include <cstring>
#include <string>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krzel.h"
#include "kbstore/krshared.h"
#include "kbstore/krdtyp.h"
#include "kbstore/krlocload.h"
#include "core/krstr.h"
#include "core/krvec.h"
#include "fields/krfdctx.h"
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
  const extract_candidate* c;
  uint32_t n;
  std::vector<uint32_t>& path;
  std::vector<uint32_t>& best;
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
    for (uint32_t j = 0; j < n; ++j) {
      if (c[j].words == 0 || (c[j].words & taken) != 0) continue;
      maximal = false;
      if (static_cast<int64_t>(j) <= last || c[j].score <= 0) continue;
      const int64_t words = std::popcount(c[j].words);
      const int64_t per_word = (c[j].score + words - 1) / words;
      for (uint32_t w = 0; w < kExtractWindowMax; ++w) {
        if ((c[j].words >> w & 1u) != 0 && per_word > share[w]) share[w] = per_word;
      }
    }
    if (maximal) {
      if (total > best_total) {
        best_total = total;
        best.assign(path.begin(), path.end());
        found = true;
      }
      return;
    }
    // Every set below adds only candidates after `last`, on free words.
    int64_t bound = total;
    for (int64_t v : share) bound += v;
    if (bound <= best_total) return;
    for (uint32_t j = static_cast<uint32_t>(last + 1); j < n; ++j) {
      if (c[j].words == 0 || (c[j].words & taken) != 0) continue;
      path.push_back(j);
      visit(taken | c[j].words, total + c[j].score, static_cast<int64_t>(j));
      path.pop_back();
    }
  }
};

}  // namespace

void extract_combination_search_into(const extract_candidate* candidates, uint32_t count,
                                     std::vector<uint32_t>* path, std::vector<uint32_t>* chosen, int64_t* total) {
  path->clear();
  chosen->clear();
  search_state s{candidates, count, *path, *chosen};
  s.visit(0, 0, -1);
  if (!s.found) chosen->clear();
  *total = s.found ? s.best_total : 0;
}

std::vector<uint32_t> extract_combination_search(const std::vector<extract_candidate>& candidates,
                                                 int64_t* total) {
  std::vector<uint32_t> path;
  std::vector<uint32_t> chosen;
  path.reserve(kExtractWindowMax);
  extract_combination_search_into(candidates.data(), static_cast<uint32_t>(candidates.size()), &path, &chosen,
                                  total);
  return chosen;
}

int64_t extract_match_score(int32_t weight, uint32_t sought_words, uint32_t pattern_index) {
  const uint32_t index = pattern_index < kExtractPatternsMax ? pattern_index : kExtractPatternsMax - 1;
  return static_cast<int64_t>(weight) * kWeightUnit + static_cast<int64_t>(sought_words) * kSoughtUnit +
         (kIndexSpan - static_cast<int64_t>(index));
}


// ---- The work area --------------------------------------------------------------------------

namespace {

// At most this many words of a value are examined.
constexpr uint32_t kWordsMax = 128;
// The interface takes at most 1,024 bytes of text.
constexpr uint32_t kInputMax = kExtractValueSize - 1;

// One pattern's match over the analysed words of a window: bit w of words
// for word w, of sought for a word inside a sought category's span, with
// that word's token and whether the span starts there.
struct match {
  uint32_t words = 0;
  uint32_t sought = 0;
  int8_t token_of[kExtractWindowMax];
  bool start_of[kExtractWindowMax];
};

// An entry of the window's marks table: identical marks of several patterns
// are one candidate, kept by the pattern of greater weight (the earlier one
// on equal weights).
struct marks_entry {
  uint32_t pattern;
  match m;
};

}  // namespace

struct extract_work_area {
  extract_value slots[kExtractTokensMax];
  extract_value out[kExtractTokensMax];  // what the exports convert out
  char given[kExtractValueSize];         // the exports' input in UTF-8
  char input[kExtractValueSize];
  char running[kRegexResultSize];
  char next[kRegexResultSize];
  char phrase[kExtractValueSize];
  char piece[kWordTextSize];
  uint8_t taken[kWordsMax];     // no later window may use the word
  uint8_t assigned[kWordsMax];  // the word's text went to a token
  // Per token, the bytes of its pieces its value could not take: its cut is
  // told once the run is over, with the whole value's length.
  uint64_t lost[kExtractTokensMax];
  uint32_t counters[kExtractPatternsMax];
  // The lists of one run; their pieces go back to the context's pools at
  // the end of every run.
  word_list chopped{};
  word_list spaced{};
  word_list window{};
  // One window's marks table and search.
  marks_entry marks[kExtractPatternsMax];
  uint32_t mark_count = 0;
  extract_candidate candidates[kExtractPatternsMax];
  std::vector<uint32_t> path;
  std::vector<uint32_t> chosen;
};

int32_t extract_work_area_create(context*, extract_work_area** out) {
  *out = nullptr;
  auto* area = big_new<extract_work_area>();
  if (area == nullptr) return TQ_ERR_NO_MEMORY;
  try {
    area->path.reserve(kExtractWindowMax + 1);
    area->chosen.reserve(kExtractWindowMax + 1);
  } catch (const std::bad_alloc&) {
    big_delete(area);
    return TQ_ERR_NO_MEMORY;
  }
  *out = area;
  return 0;
}

void extract_work_area_free(context*, extract_work_area* area) {
  if (area == nullptr) return;
  wordlist_free(&area->chopped);
  wordlist_free(&area->spaced);
  wordlist_free(&area->window);
  big_delete(area);
}

namespace {

// Slots for `tokens` tokens (index i, empty), no counts, no flags, no lists.
void area_reset(extract_work_area* area, uint32_t tokens, uint32_t patterns) {
  for (uint32_t i = 0; i < kExtractTokensMax; ++i) {
    area->slots[i].index = i < tokens ? static_cast<int32_t>(i) : -1;
    area->slots[i].value[0] = '\0';
    area->lost[i] = 0;
  }
  std::memset(area->counters, 0, sizeof(uint32_t) * std::min(patterns, kExtractPatternsMax));
  std::memset(area->taken, 0, sizeof area->taken);
  std::memset(area->assigned, 0, sizeof area->assigned);
  area->mark_count = 0;
}

void lists_free(extract_work_area* area) {
  wordlist_free(&area->chopped);
  area->chopped = word_list{};
  wordlist_free(&area->spaced);
  area->spaced = word_list{};
  wordlist_free(&area->window);
  area->window = word_list{};
}

// Appends text to a token's value, after the separator when the value holds
// text already; each piece cut between characters to the room left. What
// is left out, whole or in part, adds to *lost, which the run tells as the
// value's cut once every piece is in (values_cut_note).
void token_append(extract_value* slot, uint64_t* lost, const char* separator, const char* text) {
  size_t used = std::strlen(slot->value);
  auto put = [&](const char* piece) {
    size_t n = std::strlen(piece);
    const size_t room = used + 1 >= kExtractValueSize ? 0 : kExtractValueSize - 1 - used;
    if (n > room) {
      *lost += n;
      n = np_uchar_cut(piece, room);
      *lost -= n;
    }
    std::memcpy(slot->value + used, piece, n);
    used += n;
    slot->value[used] = '\0';
  };
  if (used != 0) put(separator);
  put(text);
}

// One message for each token value that lost text, giving the whole value's
// length: every piece was either kept or counted as lost. The lengths are
// all measured before any is told (one token's cut does not make its
// siblings' lengths unknown).
void values_cut_note(context* ctx, const extract_work_area* area, uint32_t tokens) {
  const bool known = strio_whole_known(ctx, 0) == 0;
  for (uint32_t i = 0; i < tokens; ++i) {
    if (area->lost[i] == 0) continue;
    const size_t kept = std::strlen(area->slots[i].value);
    strio_note_measured_cut(ctx, "an extracted token's value", 0, kept, known ? kept + area->lost[i] : kWholeUnknown);
  }
}

// Bytes [first, last] of a word of a list of n examined words: up to the
// byte before the next word, the last one (or `own_end`) to its own end.
void span_of(const word_list* list, uint32_t i, uint32_t n, bool own_end, int32_t* first, int32_t* last) {
  const word_rec* w = wordlist_word_at(list, static_cast<int32_t>(i));
  *first = w->start;
  const word_rec* next = i + 1 < n ? wordlist_word_at(list, static_cast<int32_t>(i + 1)) : nullptr;
  *last = own_end || next == nullptr ? w->start + w->length - 1 : next->start - 1;
}

// What one run works with.
struct run_state {
  context* ctx;
  const defn_rec* rec;
  const extract_defn_kind_rec* part;
  extract_work_area* area;
  extract_info* info;
  uint32_t tokens;  // the definition's token count
  uint32_t n;       // chopped words examined
};

void append_to(run_state& s, int32_t token, const char* text) {
  if (token < 0 || static_cast<uint32_t>(token) >= s.tokens) return;
  token_append(&s.area->slots[token], &s.area->lost[token], s.part->separator, text);
}

int32_t known_words(run_state& s, const char* text) {
  extract_work_area* a = s.area;
  const extract_defn_kind_rec* part = s.part;
  int32_t rc = chop_run(s.ctx, -2, text, &a->spaced);
  if (rc < 0) return rc;
  const uint32_t total = wordlist_word_count(&a->spaced);
  const uint32_t m = total < kWordsMax ? total : kWordsMax;
  uint32_t start = 0;
  while (start < m) {
    bool found = false;
    int32_t token = -1;
    int32_t scheme_index = -1;
    uint32_t end = m - 1;
    for (;; --end) {
      size_t used = 0;
      a->phrase[0] = '\0';
      for (uint32_t i = start; i <= end; ++i) {
        const char* word = wordlist_word_at(&a->spaced, static_cast<int32_t>(i))->text;
        const size_t length = std::strlen(word);
        const size_t add = length + (i == start ? 0 : 1);
        // A word that would fill the phrase is left out.
        if (used + add >= kExtractValueSize) continue;
        if (i != start) a->phrase[used++] = ' ';
        std::memcpy(a->phrase + used, word, length);
        used += length;
        a->phrase[used] = '\0';
      }
      for (size_t k = 0; k < part->schemes.size() && !found; ++k) {
        const extract_known_word_scheme& e = part->schemes[k];
        scheme_rec* sch = nullptr;
        if (!e.scheme.held() || e.token < 0) continue;
        rc = scheme_get(s.ctx, e.scheme.index(), &sch);
        if (rc < 0) return rc;
        if (scheme_standard_get_by_data(s.ctx, sch, a->phrase, nullptr) != 1) continue;
        found = true;
        token = e.token;
        scheme_index = static_cast<int32_t>(k);
      }
      if (found || end == start) break;
    }
    if (found) {
      append_to(s, token, a->phrase);
      for (uint32_t k = 0; k < s.n; ++k) {
        int32_t b0 = 0, b1 = 0;
        span_of(&a->chopped, k, s.n, false, &b0, &b1);
        for (uint32_t i = start; i <= end; ++i) {
          int32_t c0 = 0, c1 = 0;
          span_of(&a->spaced, i, m, i == end, &c0, &c1);
          if (b0 <= c1 && c0 <= b1) a->taken[k] = a->assigned[k] = 1;
        }
      }
    }
    if (s.info != nullptr) {
      extract_known_word_rec r;
      r.found = found ? 1 : 0;
      if (found) {
        char name[kRsrcNameSize] = "";
        (void)rsrc_name_get(s.ctx, kRsrcScheme, part->schemes[static_cast<size_t>(scheme_index)].scheme.index(),
                            name, sizeof name);
        r.scheme_name = name;
      }
      r.scheme_index = scheme_index;
      r.token = token;
      try {
        r.phrase = a->phrase;
        s.info->known_words.push_back(std::move(r));
      } catch (const std::bad_alloc&) {
        return TQ_ERR_NO_MEMORY;
      }
    }
    start = found ? end + 1 : start + 1;
  }
  return 0;
}

uint32_t awl_count(const analysed_word_list* awl) {
  return awl == nullptr ? 0 : std::min<uint32_t>(vec_count(awl), kExtractWindowMax);
}

int32_t pattern_match(context* ctx, const extract_pattern_rec& p, const analysed_word_list* awl, uint32_t n,
                      vec* solutions, match* m, bool* matched) {
  *matched = false;
  // The list tells the info what the match came from: empty for one word.
  // Each parse makes the list anew, so the previous one is given back first.
  vec_free(solutions);
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
        vec_free(solutions);
        rc = parser_run(ctx, p.parser, awl, static_cast<int32_t>(from), static_cast<int32_t>(to), solutions);
        if (rc < 0) return rc;
        if (vec_count(solutions) == 0) continue;
        parse_solution* best = nullptr;
        rc = parse_solution_best_get(ctx, solutions, &best);
        if (rc < 0) return rc;
        for (size_t k = 0; best != nullptr && k < p.sought.size(); ++k) {
          cat_span span{};
          rc = parse_solution_cat_span_get(ctx, best, p.sought[k].name, &span);
          if (rc < 0) return rc;
          if (span.found == 0) continue;
          if (!*matched) {
            *matched = true;
            for (uint32_t w = from; w <= to; ++w) m->words |= 1u << w;
          }
          for (int32_t w = span.first; w <= span.last && w < static_cast<int32_t>(n); ++w) {
            if (w < 0) continue;
            m->sought |= 1u << w;
            m->token_of[w] = static_cast<int8_t>(p.sought[k].token);
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

// Records pattern p's match into the window's marks table.
void marks_record(extract_work_area* a, const extract_defn_kind_rec* part, uint32_t p, const match& m) {
  for (uint32_t e = 0; e < a->mark_count; ++e) {
    marks_entry& entry = a->marks[e];
    if (entry.m.words != m.words || entry.m.sought != m.sought) continue;
    if (part->patterns[p].weight > part->patterns[entry.pattern].weight) entry = {p, m};
    return;
  }
  if (a->mark_count < kExtractPatternsMax) a->marks[a->mark_count++] = {p, m};
}

int32_t window_loop(run_state& s) {
  context* ctx = s.ctx;
  extract_work_area* a = s.area;
  const extract_defn_kind_rec* part = s.part;
  const uint32_t patterns = std::min<uint32_t>(static_cast<uint32_t>(part->patterns.size()), kExtractPatternsMax);
  const uint32_t all = wordlist_word_count(&a->chopped);
  // Made by each parse (parser_run), given back before the next one.
  vec solutions{};
  struct cleanup {
    vec* v;
    ~cleanup() { vec_free(v); }
  } guard{&solutions};
  uint32_t i = 0;
  while (i < s.n) {
    if (a->taken[i] != 0) {
      ++i;
      continue;
    }
    uint32_t j = i;
    while (j + 1 < s.n && a->taken[j + 1] == 0 && j + 1 - i < kExtractWindowMax) ++j;
    wordlist_free(&a->window);
    a->window = word_list{};
    int32_t rc = wordlist_slice_copy(ctx, &a->chopped, static_cast<int32_t>(i), static_cast<int32_t>(j), &a->window);
    if (rc < 0) return rc;
    analysed_word_list* awl = nullptr;
    extract_info_iteration_rec* iter = nullptr;
    morph_analyzer_info* minfo = nullptr;
    if (s.info != nullptr && (rc = morph_info_create(&minfo)) < 0) return rc;
    rc = morph_analyze(ctx, part->morph.get(), &a->window, 0, &awl, minfo);
    if (s.info != nullptr) {
      const int32_t added = extract_info_iteration_add(s.info, all, &iter);
      if (added < 0) {
        morph_info_free(minfo);
        return added;
      }
      states_fill(iter, a->taken, s.n, i, j);
      const int32_t set = extract_info_iteration_window_set(ctx, iter, minfo, &a->window);
      if (set < 0) return set;
      if (rc >= 0) rc = extract_info_iteration_patterns_init(iter, patterns);
    }
    if (rc < 0) return rc;
    const uint32_t wn = awl_count(awl);
    a->mark_count = 0;
    for (uint32_t p = 0; p < patterns; ++p) {
      const extract_pattern_rec& pat = part->patterns[p];
      if (static_cast<int64_t>(a->counters[p]) >= pat.max_matches) continue;
      match m;
      bool matched = false;
      rc = pattern_match(ctx, pat, awl, wn, &solutions, &m, &matched);
      if (rc < 0) return rc;
      if (!matched) continue;
      if (iter != nullptr) {
        // What the match came from: the parse's solutions, or the one word.
        rc = vec_count(&solutions) > 0
                 ? extract_info_pattern_solutions_record(ctx, s.info, &iter->patterns[p], pat.parser, &solutions,
                                                         &a->window)
                 : extract_info_pattern_word_record(ctx, iter, p, std::countr_zero(m.words));
        if (rc < 0) return rc;
      }
      marks_record(a, part, p, m);
    }
    for (uint32_t e = 0; e < a->mark_count; ++e) {
      const marks_entry& entry = a->marks[e];
      a->candidates[e] = {entry.m.words,
                          extract_match_score(part->patterns[entry.pattern].weight,
                                              static_cast<uint32_t>(std::popcount(entry.m.sought)), entry.pattern)};
    }
    int64_t total = 0;
    extract_combination_search_into(a->candidates, a->mark_count, &a->path, &a->chosen, &total);
    int32_t pattern_of[kExtractWindowMax];
    int32_t token_of[kExtractWindowMax];
    bool start_of[kExtractWindowMax] = {};
    std::fill(std::begin(pattern_of), std::end(pattern_of), -1);
    std::fill(std::begin(token_of), std::end(token_of), -1);
    for (uint32_t c : a->chosen) {
      const marks_entry& entry = a->marks[c];
      if (iter != nullptr) iter->patterns[entry.pattern].matched = 1;
      for (uint32_t w = 0; w < wn; ++w) {
        if ((entry.m.words >> w & 1u) != 0) pattern_of[w] = static_cast<int32_t>(entry.pattern);
        if ((entry.m.sought >> w & 1u) != 0) {
          token_of[w] = entry.m.token_of[w];
          start_of[w] = entry.m.start_of[w];
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
      wordlist_surface_text(a->piece, &a->window, run_first, static_cast<int32_t>(end));
      append_to(s, run_token, a->piece);
      for (uint32_t w = static_cast<uint32_t>(run_first); w < end; ++w) a->assigned[i + w] = 1;
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
        a->taken[i + w] = 1;
        ++taken_now;
        if (w == 0 || pattern_of[w - 1] != pattern_of[w]) a->counters[pattern_of[w]] += 1;
      }
    }
    close(wn);
    if (taken_now == 0 || taken_now == wn) {
      for (uint32_t w = i; w <= j; ++w) a->taken[w] = 1;
      i = j + 1;
    }
  }
  if (s.info != nullptr) {
    extract_info_iteration_rec* last = nullptr;
    int32_t rc = extract_info_iteration_add(s.info, all, &last);
    if (rc < 0) return rc;
    states_fill(last, a->taken, s.n, -1, -1);
  }
  return 0;
}

// The definition's datatype must be there in the definition's locale.
int32_t datatype_check(context* ctx, const defn_rec* rec) {
  loaded_locale_rec* locale = nullptr;
  int32_t rc = locale_rec_get(ctx, rec->locale, &locale);
  dtype_chain chain{};
  if (rc >= 0) rc = dtype_locale_chain(ctx, locale, &chain);
  dtype_rec* dt = nullptr;
  if (rc >= 0) rc = dtype_record_get(ctx, chain, rec->datatype, &dt);
  return rc < 0 ? rc : 0;
}

// Steps from preprocessing on; the caller resets the work area when this
// fails.
int32_t run_steps(run_state& s, const char* text) {
  context* ctx = s.ctx;
  extract_work_area* a = s.area;
  const defn_rec* rec = s.rec;
  // Preprocessing.
  str_copy_bounded(a->running, text, sizeof a->running);
  for (const rsrc_ref& lib : rec->preprocessing) {
    regexlib_rec* r = nullptr;
    if (!lib.held()) continue;
    int32_t rc = regexlib_get(ctx, lib.index(), &r);
    if (rc < 0) return rc;
    rc = regexlib_replace_all(ctx, r, a->running, a->next, 0);
    if (rc < 0) return rc;
    str_copy_bounded(a->running, a->next, sizeof a->running);
    if (s.info != nullptr) {
      try {
        s.info->preprocessing.push_back({a->running, rc > 0 ? 1u : 0u});
      } catch (const std::bad_alloc&) {
        return TQ_ERR_NO_MEMORY;
      }
      if (rc > 0) s.info->any_preprocessing_matched = 1;
    }
  }
  // Chopping takes at most 1,024 bytes; preprocessing may leave more.
  if (const size_t len = std::strlen(a->running); len > kInputMax) {
    a->running[np_uchar_cut(a->running, kInputMax)] = '\0';
    strio_note_inside_cut(ctx, "the preprocessed value", std::strlen(a->running), len);
  }
  int32_t rc = chop_run(ctx, rec->chopper.index(), a->running, &a->chopped);
  if (rc < 0) return rc;
  if (s.info != nullptr && (rc = s.info->all_words.assign(ctx, &a->chopped)) < 0) return rc;
  const uint32_t total = wordlist_word_count(&a->chopped);
  s.n = total < kWordsMax ? total : kWordsMax;
  rc = known_words(s, a->running);
  if (rc < 0) return rc;
  if (s.info != nullptr) {
    if ((rc = s.info->chopped.assign(ctx, &a->chopped)) < 0) return rc;
    for (uint32_t k = s.n; k-- > 0;) {
      if (a->taken[k] != 0) (void)wordlist_word_delete(ctx, &s.info->chopped.list, static_cast<int32_t>(k));
    }
  }
  if (s.part->parser_enabled != 0 && (rc = window_loop(s)) < 0) return rc;
  // Default token: each run of words no phase assigned, the words past the
  // examined ones included.
  if (s.part->default_token >= 0 && static_cast<uint32_t>(s.part->default_token) < s.tokens) {
    uint32_t k = 0;
    while (k < total) {
      if (k < s.n && a->assigned[k] != 0) {
        ++k;
        continue;
      }
      uint32_t e = k;
      while (e < total && (e >= s.n || a->assigned[e] == 0)) ++e;
      wordlist_surface_text(a->piece, &a->chopped, static_cast<int32_t>(k), static_cast<int32_t>(e));
      append_to(s, s.part->default_token, a->piece);
      k = e;
    }
  }
  return 0;
}

int32_t run_core(context* ctx, extract_work_area* a, defn_rec* rec, const char* text, extract_value* out,
                 uint32_t* count, extract_info* info) {
  const extract_defn_kind_rec* part = extract_defn_part(rec);
  const uint32_t tokens = rec->tokens.count();
  if (tokens > kExtractTokensMax) return TQ_ERR_INVALID_CONTENT;
  int32_t rc = datatype_check(ctx, rec);
  if (rc < 0) return rc;
  const uint32_t patterns = static_cast<uint32_t>(part->patterns.size());
  area_reset(a, tokens, patterns);
  lists_free(a);
  // The input, cut between characters to what chopping takes.
  const size_t length = std::strlen(text);
  const size_t keep = length > kInputMax ? np_uchar_cut(text, kInputMax) : length;
  std::memcpy(a->input, text, keep);
  a->input[keep] = '\0';
  run_state s{ctx, rec, part, a, info, tokens, 0};
  rc = run_steps(s, a->input);
  lists_free(a);
  if (rc < 0) {
    // Nothing of a failed run stays for the next one.
    area_reset(a, 0, patterns);
    return rc;
  }
  values_cut_note(ctx, a, tokens);
  for (uint32_t i = 0; i < tokens; ++i) {
    out[i] = a->slots[i];
    *count += 1;
  }
  return 0;
}

}  // namespace

int32_t extract_engine_run(context* ctx, defn_rec* rec, const char* text, extract_value* out, uint32_t* count,
                           extract_info* info) {
  *count = 0;
  extract_defn_kind_rec* part = extract_defn_part(rec);
  auto run = [&]() -> int32_t {
    // What the info holds goes first, whatever the run gives.
    if (int32_t rc = extract_info_reset(ctx, info); rc < 0) return rc;
    if (part == nullptr) return TQ_ERR_DEFN_INVALID;
    if (int32_t rc = defn_rec_check_usable(ctx, rec); rc < 0) return rc;
    extract_work_area* area = nullptr;
    if (int32_t rc = extract_work_area_get(ctx, &area); rc != 0) return rc;
    if (text == nullptr) return TQ_ERR_ARGUMENT;
    if (int32_t rc = extract_defn_prepare_held(ctx, rec); rc < 0) return rc;
    return run_core(ctx, area, rec, text, out, count, info);
  };
  if (info == nullptr && (part == nullptr || part->prepared.load(std::memory_order_acquire) != 0)) return run();
  // Preparing needs the write hold, and so does an info, which takes a
  // reference to the parsers its solutions were made by. While the call
  // only reads it is refused, and runs again under it.
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  const int32_t rc = run();
  const int32_t released = hold.release();
  return rc < 0 ? rc : released < 0 ? released : rc;
}

// ---- Exports ---------------------------------------------------------------------------------

namespace {

int32_t extract_by_record(context* ctx, int32_t index, const char* data, extract_token* tokens,
                          uint32_t* num_tokens, extract_info* info) {
  *num_tokens = 0;
  // Whatever happens, the info holds this call only.
  if (int32_t rc = extract_info_reset(ctx, info); rc < 0) return rc;
  extract_work_area* a = nullptr;
  if (int32_t made = extract_work_area_get(ctx, &a); made != 0) return made;
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, kDefnExtract, index, &rec);
  if (rc < 0) return rc;
  const int32_t input = strio_in_1024(ctx, data, a->given, kStrioConvert | kStrioValue);
  if (input < 0) return input;
  uint32_t count = 0;
  rc = extract_engine_run(ctx, rec, a->given, a->out, &count, info);
  if (rc < 0) return rc;
  int32_t output = 0;
  for (uint32_t k = 0; k < count; ++k) {
    tokens[k].index = a->out[k].index;
    const int32_t converted =
        strio_out_sized(ctx, a->out[k].value, tokens[k].value, sizeof tokens[k].value, kStrioConvert);
    if (converted < 0) {
      for (uint32_t j = 0; j <= k; ++j) strio_out_clear(ctx, tokens[j].value);
      return converted;
    }
    if (converted > 0) output = converted;
  }
  *num_tokens = count;
  if (input > 0) return input;
  if (output > 0) return output;
  return rc;
}

int32_t extract_by_name(context* ctx, const char* name, const char* data, extract_token* tokens,
                        uint32_t* num_tokens, extract_info* info) {
  *num_tokens = 0;
  if (int32_t rc = extract_info_reset(ctx, info); rc < 0) return rc;
  int32_t index = -1;
  const int32_t rc = defn_index_get_by_name(ctx, kDefnExtract, name, kDefnNameConvert, &index);
  if (rc < 0) return rc;
  return extract_by_record(ctx, index, data, tokens, num_tokens, info);
}

}  // namespace

int32_t tqx_extract(context* ctx, const char* defn_name, const char* data, extract_token* tokens,
                    uint32_t* num_tokens) {
  return extract_by_name(ctx, defn_name, data, tokens, num_tokens, nullptr);
}
int32_t tqx_extract_by_index(context* ctx, int32_t index, const char* data, extract_token* tokens,
                             uint32_t* num_tokens) {
  return extract_by_record(ctx, index, data, tokens, num_tokens, nullptr);
}
int32_t tqx_extract_with_info(context* ctx, const char* defn_name, const char* data, extract_token* tokens,
                              uint32_t* num_tokens, extract_info* info) {
  return extract_by_name(ctx, defn_name, data, tokens, num_tokens, info);
}
int32_t tqx_extract_by_index_with_info(context* ctx, int32_t index, const char* data, extract_token* tokens,
                                       uint32_t* num_tokens, extract_info* info) {
  return extract_by_record(ctx, index, data, tokens, num_tokens, info);
}

}  // namespace tq
