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
  // Windows of the pattern phase are not run by this engine yet.
  // Default token: each run of words no phase took, words past the examined
  // ones included.
  if (part->default_token >= 0 && static_cast<uint32_t>(part->default_token) < tokens) {
    uint32_t k = 0;
    while (k < total) {
      if (k < n && taken[k] != 0) {
        ++k;
        continue;
      }
      uint32_t e = k;
      while (e < total && (e >= n || taken[e] == 0)) ++e;
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
