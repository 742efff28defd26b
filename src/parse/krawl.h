// The analysed word list: what word analysis hands the parse engines. One
// position per word that survived analysis, in word order, each holding the
// word's candidate categories with their likelihoods.
//
// The list is a vec whose element i is word i's vec of cat_entry pointers.
// Its user-data word points at an awl_side block: the memory pool the list
// lives in (NULL: the heap) and the word texts, kept only when the analysis
// was asked to keep them. A list made in the context's analysis pool is
// valid until the next analysis on that context.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "core/krvec.h"
#include "kbstore/krdcat.h"

namespace tq {

// At most this many words are analysed and parsed per value.
inline constexpr uint32_t kAwlMaxWords = 128;
inline constexpr uint32_t kAwlTextSize = 1025;  // a word text with its terminator

// One candidate category of a word. The category record is owned elsewhere
// (a vocabulary entry, a definition's regexlib entry or default list, the
// numeric category of the analysis options) unless the list is a deep copy.
struct cat_entry {
  int32_t likelihood;
  category_rec* category;
};

struct awl_side {
  mempool* pool;                // NULL: the list and its entries are on the heap
  char* texts[kAwlMaxWords];    // kAwlTextSize bytes each; NULL when not kept
};

using analysed_word_list = vec;

inline const vec* awl_word(const analysed_word_list* list, int32_t i) {
  return static_cast<const vec*>(vec_get(list, i));
}

// The number of categories of word i; -800 when i is out of range.
inline int32_t morph_word_list_cat_count(context*, const analysed_word_list* list, int32_t i, uint32_t* count) {
  *count = 0;
  const vec* word = list == nullptr ? nullptr : awl_word(list, i);
  if (word == nullptr) return TQ_ERR_INDEX;
  *count = vec_count(word);
  return 0;
}

// Category j of word i; -800 when i or j is out of range.
inline int32_t morph_word_list_cat_get(context*, const analysed_word_list* list, int32_t i, int32_t j,
                                       cat_entry** out) {
  *out = nullptr;
  const vec* word = list == nullptr ? nullptr : awl_word(list, i);
  if (word == nullptr) return TQ_ERR_INDEX;
  auto* entry = static_cast<cat_entry*>(vec_get(word, j));
  if (entry == nullptr) return TQ_ERR_INDEX;
  *out = entry;
  return 0;
}

// The first category of word i whose registry id is `id`; *out NULL when
// none (0), -800 when i is out of range.
inline int32_t morph_word_list_cat_by_id(context*, const analysed_word_list* list, int32_t i, int32_t id,
                                         cat_entry** out) {
  *out = nullptr;
  const vec* word = list == nullptr ? nullptr : awl_word(list, i);
  if (word == nullptr) return TQ_ERR_INDEX;
  for (uint32_t j = 0; j < word->count; ++j) {
    auto* entry = static_cast<cat_entry*>(word->slots[j]);
    if (entry != nullptr && entry->category != nullptr && entry->category->id == id) {
      *out = entry;
      return 0;
    }
  }
  return 0;
}

}  // namespace tq
