// The morph analyzer info getters behind the exported family. None takes a
// hold: an info is the caller's own object. Every output is cleared first,
// texts go out through the session encoding (at most 1,028 bytes), and a
// word index i counts the words of the value as chopped.
#include <cstring>

#include "core/krenc.h"
#include "parse/krmorph.h"

namespace tq {

namespace {

constexpr uint32_t kNameInMax = 1024;

uint32_t word_count(const morph_analyzer_info* info) { return static_cast<uint32_t>(info->chopped.size()); }

// Word i was chopped and lies among the analysed words' slots.
bool word_ok(const morph_analyzer_info* info, int32_t i) {
  return i >= 0 && static_cast<uint32_t>(i) < word_count(info) && static_cast<uint32_t>(i) < kAwlMaxWords;
}

bool slot_ok(int32_t i) { return i >= 0 && static_cast<uint32_t>(i) < kAwlMaxWords; }

int32_t text_out(context* ctx, const std::string& text, char* out) {
  return strio_out_sized(ctx, text.c_str(), out, kTextOutSize, kStrioConvert);
}

// The category vector of word i's analysed position; NULL for a deleted word.
const vec* analysed_word(const morph_analyzer_info* info, int32_t i) {
  const int32_t position = info->words[i].position;
  if (position < 0 || info->analysed == nullptr) return nullptr;
  return awl_word(info->analysed, position);
}

const cat_entry* analysed_entry(const morph_analyzer_info* info, int32_t i, int32_t j) {
  const vec* word = analysed_word(info, i);
  return word == nullptr ? nullptr : static_cast<const cat_entry*>(vec_get(word, j));
}

// The j-th vocabulary result of word i that came from vocabulary `vocab`
// (NULL when there are fewer); -800 when j is not below the word's number
// of vocabulary results.
int32_t vocab_result(const morph_analyzer_info* info, int32_t i, int32_t j, int32_t vocab,
                     const morph_vocab_result** out) {
  *out = nullptr;
  if (!word_ok(info, i)) return TQ_ERR_INDEX;
  const auto& results = info->words[i].vocab;
  if (j < 0 || static_cast<size_t>(j) >= results.size()) return TQ_ERR_INDEX;
  int32_t seen = 0;
  for (const morph_vocab_result& r : results) {
    if (vocab < 0 || r.vocab != static_cast<uint32_t>(vocab)) continue;
    if (seen++ == j) {
      *out = &r;
      break;
    }
  }
  return 0;
}

// A category name and likelihood out; both cleared when the text fails.
int32_t cat_out(context* ctx, const std::string& name, int32_t likelihood, char* cat, int32_t* like) {
  int32_t rc = text_out(ctx, name, cat);
  if (rc < 0) {
    strio_out_clear(ctx, cat);
    return rc;
  }
  *like = likelihood;
  return rc;
}

}  // namespace

int32_t morph_analyzer_info_analyzed_word_list_count_get(context*, morph_analyzer_info* info, uint32_t* count) {
  *count = word_count(info);
  return 0;
}

int32_t morph_analyzer_info_analyzed_word_string_get(context* ctx, morph_analyzer_info* info, int32_t i,
                                                     char* word) {
  strio_out_clear(ctx, word);
  if (i < 0 || static_cast<uint32_t>(i) >= word_count(info)) return TQ_ERR_INDEX;
  return text_out(ctx, info->chopped[static_cast<size_t>(i)], word);
}

int32_t morph_analyzer_info_uppercased_word_get(context* ctx, morph_analyzer_info* info, int32_t i, char* buf) {
  strio_out_clear(ctx, buf);
  if (!word_ok(info, i)) return TQ_ERR_INDEX;
  return text_out(ctx, info->uppercased[static_cast<size_t>(i)], buf);
}

int32_t morph_analyzer_info_analyzed_word_norm_get(context* ctx, morph_analyzer_info* info, int32_t i,
                                                   char* norm) {
  strio_out_clear(ctx, norm);
  if (!word_ok(info, i)) return TQ_ERR_INDEX;
  const morph_word_info& w = info->words[i];
  int32_t rc = 0;
  if (info->norm_count > 0) {
    if (!w.norm.empty()) rc = text_out(ctx, w.norm.front().text, norm);
  } else {
    rc = text_out(ctx, info->uppercased[static_cast<size_t>(i)], norm);
  }
  return rc < 0 ? rc : 0;
}

int32_t morph_analyzer_info_any_normalization_regexlib_matched_get(context*, morph_analyzer_info* info,
                                                                   uint32_t* matched) {
  *matched = info->any_norm;
  return 0;
}

int32_t morph_analyzer_info_normalization_regexlib_count_get(context*, morph_analyzer_info* info,
                                                             uint32_t* count) {
  *count = static_cast<uint32_t>(info->norm_count);
  return 0;
}

int32_t morph_analyzer_info_analyzed_word_norm_per_regexlib_get(context* ctx, morph_analyzer_info* info,
                                                                int32_t i, int32_t regexlib, char* norm,
                                                                uint32_t* matched) {
  strio_out_clear(ctx, norm);
  *matched = 0;
  if (!word_ok(info, i)) return TQ_ERR_INDEX;
  for (const morph_norm_result& r : info->words[i].norm) {
    if (regexlib < 0 || r.regexlib != static_cast<uint32_t>(regexlib)) continue;
    int32_t rc = text_out(ctx, r.text, norm);
    if (rc < 0) return rc;
    *matched = r.matched;
    return rc;
  }
  return 0;
}

int32_t morph_analyzer_info_fuzzy_enabled_get(context*, morph_analyzer_info* info, int32_t vocab, uint32_t* fuzzy) {
  *fuzzy = 0;
  if (vocab < 0 || vocab >= info->vocab_count) return TQ_ERR_INDEX;
  if (static_cast<size_t>(vocab) < info->fuzzy_used.size()) *fuzzy = info->fuzzy_used[static_cast<size_t>(vocab)];
  return 0;
}

int32_t morph_analyzer_info_analyzed_word_fuzzy_get(context* ctx, morph_analyzer_info* info, int32_t i,
                                                    char* fuzzy) {
  strio_out_clear(ctx, fuzzy);
  if (!word_ok(info, i)) return TQ_ERR_INDEX;
  const auto& results = info->words[i].fuzzy;
  return results.empty() ? 0 : text_out(ctx, results.front().word, fuzzy);
}

int32_t morph_analyzer_info_analyzed_word_fuzzy_per_vocab_get(context* ctx, morph_analyzer_info* info, int32_t i,
                                                              int32_t vocab, char* fuzzy) {
  strio_out_clear(ctx, fuzzy);
  if (!word_ok(info, i)) return TQ_ERR_INDEX;
  for (const morph_fuzzy_result& r : info->words[i].fuzzy) {
    if (vocab >= 0 && r.vocab == static_cast<uint32_t>(vocab)) return text_out(ctx, r.word, fuzzy);
  }
  return 0;
}

int32_t morph_analyzer_info_vocab_count_get(context*, morph_analyzer_info* info, uint32_t* count) {
  *count = static_cast<uint32_t>(info->vocab_count);
  return 0;
}

int32_t morph_analyzer_info_any_vocab_found_get(context*, morph_analyzer_info* info, uint32_t* matched) {
  *matched = info->any_vocab;
  return 0;
}

int32_t morph_analyzer_info_analyzed_word_cat_count_get(context*, morph_analyzer_info* info, int32_t i,
                                                        uint32_t* count) {
  *count = 0;
  if (!word_ok(info, i)) return TQ_ERR_INDEX;
  *count = vec_count(analysed_word(info, i));
  return 0;
}

int32_t morph_analyzer_info_analyzed_word_cat_count_per_vocab_get(context*, morph_analyzer_info* info, int32_t i,
                                                                  int32_t vocab, uint32_t* count) {
  *count = 0;
  if (!word_ok(info, i)) return TQ_ERR_INDEX;
  for (const morph_vocab_result& r : info->words[i].vocab) {
    if (vocab >= 0 && r.vocab == static_cast<uint32_t>(vocab)) ++*count;
  }
  return 0;
}

int32_t morph_analyzer_info_analyzed_word_cat_abbr_get(context* ctx, morph_analyzer_info* info, int32_t i,
                                                       int32_t j, char* abbr) {
  strio_out_clear(ctx, abbr);
  if (!word_ok(info, i)) return TQ_ERR_INDEX;
  const cat_entry* e = analysed_entry(info, i, j);
  if (e == nullptr) return TQ_ERR_INDEX;
  return text_out(ctx, e->category != nullptr ? e->category->name : "", abbr);
}

int32_t morph_analyzer_info_analyzed_word_cat_abbr_per_vocab_get(context* ctx, morph_analyzer_info* info,
                                                                 int32_t i, int32_t j, int32_t vocab, char* abbr) {
  strio_out_clear(ctx, abbr);
  const morph_vocab_result* r = nullptr;
  int32_t rc = vocab_result(info, i, j, vocab, &r);
  if (rc != 0 || r == nullptr) return rc;
  return text_out(ctx, r->category, abbr);
}

int32_t morph_analyzer_info_analyzed_word_cat_like_get(context*, morph_analyzer_info* info, int32_t i, int32_t j,
                                                       int32_t* likelihood) {
  *likelihood = 0;
  if (!word_ok(info, i)) return TQ_ERR_INDEX;
  const cat_entry* e = analysed_entry(info, i, j);
  if (e == nullptr) return TQ_ERR_INDEX;
  *likelihood = e->likelihood;
  return 0;
}

int32_t morph_analyzer_info_analyzed_word_cat_like_per_vocab_get(context*, morph_analyzer_info* info, int32_t i,
                                                                 int32_t j, int32_t vocab, int32_t* likelihood) {
  *likelihood = 0;
  const morph_vocab_result* r = nullptr;
  int32_t rc = vocab_result(info, i, j, vocab, &r);
  if (rc == 0 && r != nullptr) *likelihood = r->likelihood;
  return rc;
}

int32_t morph_analyzer_info_num_check_flag_get(context*, morph_analyzer_info* ma_info, int32_t i, uint32_t* flag) {
  *flag = 0;
  if (!slot_ok(i)) return TQ_ERR_INDEX;
  *flag = ma_info->words[i].num_check;
  return 0;
}

int32_t morph_analyzer_info_cat_regex_info_get(context* ctx, morph_analyzer_info* info, int32_t i,
                                               const char* regex_name, char* cat, int32_t* like) {
  strio_out_clear(ctx, cat);
  *like = 0;
  if (!slot_ok(i)) return TQ_ERR_INDEX;
  char name[kNameInMax + 1];
  int32_t crc = strio_in(ctx, regex_name, name, kNameInMax, kStrioConvert | kStrioUnkept);
  if (crc < 0) return crc;
  const morph_cat_result* last = nullptr;
  for (const morph_cat_result& r : info->words[i].cat) {
    if (r.regexlib_name == name) last = &r;
  }
  if (last == nullptr) return crc;
  return rc_combine(crc, cat_out(ctx, last->category, last->likelihood, cat, like));
}

int32_t morph_analyzer_info_categorization_regexlib_count_get(context*, morph_analyzer_info* info,
                                                              uint32_t* count) {
  *count = static_cast<uint32_t>(info->cat_count);
  return 0;
}

int32_t morph_analyzer_info_any_categorization_regexlib_matched_get(context*, morph_analyzer_info* info,
                                                                    uint32_t* matched) {
  *matched = info->any_cat;
  return 0;
}

int32_t morph_analyzer_info_cat_regex_info_per_regexlib_get(context* ctx, morph_analyzer_info* info, int32_t i,
                                                            int32_t regexlib, char* cat, int32_t* like) {
  strio_out_clear(ctx, cat);
  *like = 0;
  if (!slot_ok(i)) return TQ_ERR_INDEX;
  for (const morph_cat_result& r : info->words[i].cat) {
    if (regexlib >= 0 && r.regexlib == static_cast<uint32_t>(regexlib)) {
      return cat_out(ctx, r.category, r.likelihood, cat, like);
    }
  }
  return 0;
}

int32_t morph_analyzer_info_default_cats_count_get(context*, morph_analyzer_info* info, int32_t i,
                                                   uint32_t* count) {
  *count = 0;
  if (!slot_ok(i)) return TQ_ERR_INDEX;
  *count = static_cast<uint32_t>(info->words[i].fallback.size());
  return 0;
}

int32_t morph_analyzer_info_default_cats_info_get(context* ctx, morph_analyzer_info* info, int32_t i, int32_t j,
                                                  char* cat, int32_t* like) {
  strio_out_clear(ctx, cat);
  *like = 0;
  if (!slot_ok(i)) return TQ_ERR_INDEX;
  const auto& fallback = info->words[i].fallback;
  if (j < 0 || static_cast<size_t>(j) >= fallback.size()) return TQ_ERR_INDEX;
  return cat_out(ctx, fallback[static_cast<size_t>(j)].category, fallback[static_cast<size_t>(j)].likelihood, cat,
                 like);
}

}  // namespace tq
