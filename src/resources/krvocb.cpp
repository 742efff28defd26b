#include "resources/krvocb.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/krerr.h"
#include "core/krstr.h"
#include "platform/npmem.h"

namespace tq {

namespace {

const char* text_of(const vocab_word& w) { return w.text != nullptr ? w.text : ""; }

// The last usable index of the word array, as a signed index. The arrays
// never approach 2^31 words; a larger count is clamped rather than wrapped.
int32_t last_index(const vocab_rec* vocab) {
  uint32_t n = vocab->word_count;
  if (n > static_cast<uint32_t>(INT32_MAX)) n = static_cast<uint32_t>(INT32_MAX);
  return static_cast<int32_t>(n) - 1;
}

bool has_words(const vocab_rec* vocab) {
  return vocab != nullptr && vocab->words != nullptr && vocab->word_count > 0;
}

// FNV-1a over the text's bytes, folded to 32 bits.
uint32_t text_hash(const char* text) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    h = (h ^ *p) * 0x100000001b3ull;
  }
  return static_cast<uint32_t>(h ^ (h >> 32));
}

int32_t first_code(const char* text, int32_t* code) {
  const char* cursor = text;
  return uchar_get(&cursor, code);
}

}  // namespace

void vocab_match_fill(const vocab_rec* vocab, const vocab_word* entry, vocab_word_match* match) {
  if (match == nullptr || entry == nullptr) return;
  match->text = entry->text;
  uint32_t n = entry->category_count;
  if (n > kVocabCategoriesMax) n = kVocabCategoriesMax;
  match->category_count = n;
  for (uint32_t i = 0; i < n; ++i) {
    const vocab_pair& p = entry->pairs[i];
    match->categories[i].category = vocab_category_get(vocab, p.category);
    match->categories[i].likelihood = p.likelihood;
  }
}

int32_t vocab_word_search(const vocab_rec* vocab, const char* word) {
  if (!has_words(vocab) || word == nullptr) return -1;
  int32_t low = 0;
  int32_t high = last_index(vocab);
  while (low <= high) {
    const int32_t middle = low + (high - low) / 2;
    const int32_t cmp = vocab_text_compare(word, text_of(vocab->words[middle]));
    if (cmp == 0) return middle;
    if (cmp < 0) {
      high = middle - 1;
    } else {
      low = middle + 1;
    }
  }
  return -1;
}

void vocab_index_drop(vocab_rec* vocab) {
  if (vocab == nullptr) return;
  std::free(vocab->index.slots);
  vocab->index = vocab_word_index{};
}

int32_t vocab_index_build(vocab_rec* vocab) {
  vocab_index_drop(vocab);
  if (!has_words(vocab) || vocab->word_count > (1u << 29)) return 0;
  const uint32_t n = vocab->word_count;
  for (uint32_t i = 1; i < n; ++i) {
    if (vocab_text_compare(text_of(vocab->words[i - 1]), text_of(vocab->words[i])) > 0) return 0;
  }
  // At most half full, so that a miss ends after a probe or two.
  uint32_t size = 16;
  while (size < 2 * n) size *= 2;
  auto* slots = static_cast<vocab_index_slot*>(np_calloc(size, sizeof(vocab_index_slot)));
  if (slots == nullptr) return TQ_ERR_NO_MEMORY;
  const uint32_t mask = size - 1;
  for (uint32_t i = 0; i < n; ++i) {
    const char* text = text_of(vocab->words[i]);
    // Of words with equal texts, the one the search lands on is the one found.
    const bool twin = (i > 0 && vocab_text_compare(text_of(vocab->words[i - 1]), text) == 0) ||
                      (i + 1 < n && vocab_text_compare(text, text_of(vocab->words[i + 1])) == 0);
    if (twin && vocab_word_search(vocab, text) != static_cast<int32_t>(i)) continue;
    const uint32_t h = text_hash(text);
    uint32_t at = h & mask;
    while (slots[at].word != 0) at = (at + 1) & mask;
    slots[at] = {h, i + 1};
  }
  vocab->index.slots = slots;
  vocab->index.mask = mask;
  vocab->index.words = vocab->words;
  vocab->index.count = n;
  return 0;
}

int32_t vocab_word_find_exact(const vocab_rec* vocab, const char* word, uint32_t* found, vocab_word_match* match) {
  if (found != nullptr) *found = 0;
  if (!has_words(vocab) || word == nullptr) return 0;
  int32_t at = -1;
  const vocab_word_index& index = vocab->index;
  if (index.slots != nullptr && index.words == vocab->words && index.count == vocab->word_count) {
    const uint32_t h = text_hash(word);
    for (uint32_t s = h & index.mask; index.slots[s].word != 0; s = (s + 1) & index.mask) {
      if (index.slots[s].hash != h) continue;
      const uint32_t w = index.slots[s].word - 1;
      if (std::strcmp(text_of(vocab->words[w]), word) == 0) {
        at = static_cast<int32_t>(w);
        break;
      }
    }
  } else {
    at = vocab_word_search(vocab, word);
  }
  if (at < 0) return 0;
  if (found != nullptr) *found = 1;
  vocab_match_fill(vocab, &vocab->words[at], match);
  return 0;
}

int32_t vocab_word_find_fuzzy(context* ctx, const vocab_rec* vocab, const char* word, int32_t threshold,
                              uint32_t* found, vocab_word_match* match) {
  if (found != nullptr) *found = 0;
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  if (word == nullptr) {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "'word' is null.");
    return TQ_ERR_ARGUMENT;
  }
  if (*word == '\0') {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "'word' is empty.");
    return TQ_ERR_ARGUMENT;
  }
  if (threshold < 0) {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "threshold < 0");
    return TQ_ERR_ARGUMENT;
  }
  if (threshold > 100) {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "threshold > 100");
    return TQ_ERR_ARGUMENT;
  }
  if (!has_words(vocab)) return 0;

  int32_t wanted = 0;
  int32_t rc = first_code(word, &wanted);
  if (rc < 0) return rc;

  // Binary search on first code points for any word that shares the word's.
  int32_t low = 0;
  int32_t high = last_index(vocab);
  int32_t anchor = -1;
  while (low <= high) {
    const int32_t middle = low + (high - low) / 2;
    int32_t code = 0;
    rc = first_code(text_of(vocab->words[middle]), &code);
    if (rc < 0) return rc;
    if (wanted > code) {
      low = middle + 1;
    } else if (wanted < code) {
      high = middle - 1;
    } else {
      anchor = middle;
      break;
    }
  }
  if (anchor < 0) return 0;

  // Score every word of the run that shares the first character: downwards
  // from the anchor, then upwards; the first best score met wins.
  double best = 0.0;
  int32_t best_index = anchor;
  const int32_t last = last_index(vocab);
  for (int32_t step = -1; step <= 1; step += 2) {
    for (int32_t i = anchor; i >= 0 && i <= last; i += step) {
      const char* text = text_of(vocab->words[i]);
      int32_t code = 0;
      rc = first_code(text, &code);
      if (rc < 0) return rc;
      if (code != wanted) break;
      const double score = str_similarity(ctx, 0, word, text);
      if (score > best) {
        best = score;
        best_index = i;
      }
    }
  }
  const auto percent = static_cast<int32_t>(std::trunc(best * 100.0));
  if (percent < threshold) return 0;
  if (found != nullptr) *found = 1;
  vocab_match_fill(vocab, &vocab->words[best_index], match);
  return 0;
}

int32_t vocab_word_lookup(context* ctx, const vocab_rec* vocab, const char* word, uint32_t fuzzy_enabled,
                          int32_t threshold, uint32_t* found, vocab_word_match* match) {
  uint32_t hit = 0;
  vocab_word_find_exact(vocab, word, &hit, match);
  if (found != nullptr) *found = hit;
  if (hit != 0 || fuzzy_enabled == 0) return 0;
  int32_t rc = vocab_word_find_fuzzy(ctx, vocab, word, threshold, found, match);
  return rc < 0 ? rc : 0;
}

void vocab_prefix_range_init(context* ctx, const vocab_rec* vocab, vocab_prefix_range* range) {
  (void)ctx;
  if (range == nullptr) return;
  range->low = 0;
  range->high = vocab != nullptr && vocab->words != nullptr ? last_index(vocab) : -1;
  range->finished = 0;
}

int32_t vocab_prefix_compare(const char* text, const char* word) {
  const auto* t = reinterpret_cast<const unsigned char*>(text != nullptr ? text : "");
  const auto* w = reinterpret_cast<const unsigned char*>(word != nullptr ? word : "");
  while (*t != 0 && *t == *w) {
    ++t;
    ++w;
  }
  if (*t == 0) return 0;
  if (*w == 0) return 1;
  return *t < *w ? -1 : 1;
}

int32_t vocab_prefix_lookup(context* ctx, const vocab_rec* vocab, vocab_prefix_range* range, const char* text,
                            uint32_t* found, uint32_t* finished, vocab_word_match* match) {
  (void)ctx;
  if (found != nullptr) *found = 0;
  if (range == nullptr || range->finished != 0) return 0;
  const int32_t count = vocab != nullptr && vocab->words != nullptr ? last_index(vocab) + 1 : 0;
  if (text == nullptr) text = "";
  // A range from another vocabulary (or a stale one) is held inside this one.
  int32_t low = range->low < 0 ? 0 : range->low;
  int32_t high = range->high >= count ? count - 1 : range->high;
  int32_t position = low;
  int32_t cmp = 0;
  uint32_t hit = 0;
  if (high >= low) {
    do {
      position = low + (high - low) / 2;
      cmp = vocab_text_compare(text, text_of(vocab->words[position]));
      if (cmp == 0) {
        hit = 1;
        range->low = low;
      } else if (cmp < 0) {
        high = position - 1;
      } else {
        low = position + 1;
      }
      if (high < low) break;
      range->low = low;
      // Words after `high` that the text does not begin can never match a
      // longer text either.
      if (vocab_prefix_compare(text, text_of(vocab->words[high])) < 0) range->high = high;
    } while (hit == 0);
  }
  if (hit != 0) vocab_match_fill(vocab, &vocab->words[position], match);
  if (found != nullptr) *found = hit;
  if (cmp >= 0) position += 1;
  range->finished = 1;
  if (position >= 0 && position < count && vocab_prefix_compare(text, text_of(vocab->words[position])) == 0) {
    range->finished = 0;
  }
  if (finished != nullptr) *finished = range->finished;
  return 0;
}

}  // namespace tq
