#include "guess/krlginfo.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krzel.h"
#include "guess/krldef.h"
#include "guess/krlscore.h"
#include "kbstore/krdefn.h"
#include "resources/krsch.h"

namespace tq {

namespace {

bool in_range(int32_t index, size_t count) { return index >= 0 && static_cast<size_t>(index) < count; }

// The n-gram's 1-based position among the cased code points; 0 when it is
// not there, except that an n-gram ending in the end marker counts from the
// end of the cased text.
uint32_t first_position(const language_guess_info* info, const lang_ngram_result& g) {
  const uint32_t n = g.n;
  if (n == 0 || g.codes.size() < n) return 0;
  for (uint32_t p = 0; p + n <= info->cased_count; ++p) {
    if (std::memcmp(info->cased_codes + p, g.codes.data(), sizeof(int32_t) * n) == 0) return p + 1;
  }
  if (g.codes[0] == kNgramStartMarker) return 0;
  if (g.codes[n - 1] == kNgramEndMarker && info->cased_count >= n) return info->cased_count - n + 1;
  return 0;
}

// The sum of the training schemes' counts of the n-gram, in the definition
// the info was filled from. Reads shared definitions and schemes: under the
// read hold.
int32_t training_weight(context* ctx, const language_guess_info* info, const char* ngram, uint32_t* weight) {
  read_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, kDefnLangGuess, static_cast<int32_t>(info->defn_index), &rec);
  const lang_defn_kind_rec* part = rc == 0 ? lang_defn_part(rec) : nullptr;
  int64_t sum = 0;
  if (rc == 0 && part == nullptr) rc = TQ_ERR_DEFN_INVALID;
  for (size_t i = 0; rc == 0 && i < part->schemes.size(); ++i) {
    const rsrc_ref& ref = part->schemes[i].ref;
    if (!ref.held()) continue;
    scheme_rec* sch = nullptr;
    rc = scheme_get(ctx, ref.index(), &sch);
    const char* standard = nullptr;
    if (rc == 0 && scheme_standard_get_by_data(ctx, sch, ngram, &standard) == 1 && standard != nullptr) {
      // Each count as training reads it (within int32), so the sum of any
      // number of schemes fits; the total stops at the output's range.
      sum += lang_count_value(standard);
    }
  }
  const int32_t released = hold.release();
  if (rc < 0) return rc;
  *weight = static_cast<uint32_t>(std::clamp<int64_t>(sum, 0, UINT32_MAX));
  return released < 0 ? released : 0;
}

int32_t score_at(context* ctx, int32_t index, const char* data, int32_t* score, language_guess_info* info) {
  char text[1025];
  // The conversion's warning (116, a character replaced) is the call's.
  const int32_t converted = strio_in_1024(ctx, data, text, kStrioConvert | kStrioValue);
  if (converted < 0) return converted;
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, kDefnLangGuess, index, &rec);
  if (rc < 0) return rc;
  rc = lang_score_compute(ctx, rec, ctx->lang_scratch_profile, text, score, info);
  return rc < 0 ? rc : converted;
}

int32_t score_named(context* ctx, const char* name, const char* data, int32_t* score, language_guess_info* info) {
  int32_t index = -1;
  const int32_t rc = defn_index_get_by_name(ctx, kDefnLangGuess, name, kDefnNameConvert, &index);
  if (rc < 0) return rc;
  return score_at(ctx, index, data, score, info);
}

}  // namespace

void lang_info_reset(language_guess_info* info) {
  info->preproc.clear();
  info->ngrams.clear();
  info->regexes.clear();
  info->any_preproc_matched = 0;
  info->cased[0] = '\0';
  info->cased_count = 0;
  info->ngram_raw = info->regex_raw = info->ngram_bias = info->regex_bias = 0.0;
  info->ngram_weighted = info->regex_weighted = info->final_score = 0.0;
}

int32_t tqx_language_guess_score(context* ctx, const char* name, const char* data, int32_t* score) {
  return score_named(ctx, name, data, score, nullptr);
}

int32_t tqx_language_guess_score_with_info(context* ctx, const char* name, const char* data, int32_t* score,
                                           language_guess_info* info) {
  return score_named(ctx, name, data, score, info);
}

int32_t tqx_language_guess_score_by_index(context* ctx, int32_t index, const char* data, int32_t* score) {
  return score_at(ctx, index, data, score, nullptr);
}

int32_t tqx_language_guess_score_by_index_with_info(context* ctx, int32_t index, const char* data, int32_t* score,
                                                    language_guess_info* info) {
  return score_at(ctx, index, data, score, info);
}

// ---- The info ---------------------------------------------------------------------------------

int32_t tqx_language_guess_info_init(context*, language_guess_info** info) {
  *info = new (std::nothrow) language_guess_info;
  return *info == nullptr ? TQ_ERR_NO_MEMORY : 0;
}

int32_t tqx_language_guess_info_free(context*, language_guess_info* info) {
  delete info;
  return 0;
}

int32_t tqx_language_guess_info_preproc_regexlibs_count_get(context*, language_guess_info* info, uint32_t* count) {
  *count = static_cast<uint32_t>(info->preproc.size());
  return 0;
}

int32_t tqx_language_guess_info_preproc_info_get(context* ctx, language_guess_info* info, int32_t index,
                                                 char* result, uint32_t* matched) {
  strio_out_clear(ctx, result);
  *matched = 0;
  if (!in_range(index, info->preproc.size())) return TQ_ERR_INDEX;
  *matched = info->preproc[static_cast<size_t>(index)].matched;
  return strio_out_sized(ctx, info->preproc[static_cast<size_t>(index)].text, result, kTextOutSize, kStrioConvert);
}

int32_t tqx_language_guess_info_any_preproc_regexlib_matched_get(context*, language_guess_info* info,
                                                                 uint32_t* matched) {
  *matched = info->any_preproc_matched;
  return 0;
}

int32_t tqx_language_guess_info_cased_string_get(context* ctx, language_guess_info* info, char* result) {
  return strio_out_sized(ctx, info->cased, result, kTextOutSize, kStrioConvert);
}

int32_t tqx_language_guess_info_ngram_count_get(context*, language_guess_info* info, uint32_t* count) {
  *count = static_cast<uint32_t>(info->ngrams.size());
  return 0;
}

int32_t tqx_language_guess_info_input_ngram_info_get(context* ctx, language_guess_info* info, int32_t index,
                                                     char* ngram, uint32_t* first_pos, uint32_t* frequency,
                                                     uint32_t* weight) {
  strio_out_clear(ctx, ngram);
  *first_pos = 0;
  *frequency = 0;
  *weight = 0;
  if (!in_range(index, info->ngrams.size())) return TQ_ERR_INDEX;
  const lang_ngram_result& g = info->ngrams[static_cast<size_t>(index)];
  int32_t rc = strio_out_sized(ctx, g.text, ngram, kTextOutSize, kStrioConvert);
  if (rc < 0) return rc;
  *frequency = g.count;
  if (g.count != 0) *first_pos = first_position(info, g);
  if (ctx->edit_mode == 0) return rc;
  const int32_t wrc = training_weight(ctx, info, g.text, weight);
  return wrc < 0 ? wrc : rc;
}

int32_t tqx_language_guess_info_known_regexlib_count_get(context*, language_guess_info* info, uint32_t* count) {
  *count = static_cast<uint32_t>(info->regexes.size());
  return 0;
}

int32_t tqx_language_guess_info_known_regexlib_info_get(context* ctx, language_guess_info* info, int32_t index,
                                                        char* regexlib, uint32_t* likelihood, uint32_t* num_matches,
                                                        double* score) {
  strio_out_clear(ctx, regexlib);
  *likelihood = 0;
  *num_matches = 0;
  *score = 0.0;
  if (!in_range(index, info->regexes.size())) return TQ_ERR_INDEX;
  const lang_regex_result& r = info->regexes[static_cast<size_t>(index)];
  *likelihood = r.likelihood;
  *num_matches = r.covered;
  *score = r.score;
  return strio_out_sized(ctx, r.name, regexlib, kTextOutSize, kStrioConvert);
}

int32_t tqx_language_guess_info_ngram_raw_score_get(context*, language_guess_info* info, double* score) {
  *score = info->ngram_raw;
  return 0;
}
int32_t tqx_language_guess_info_regex_raw_score_get(context*, language_guess_info* info, double* score) {
  *score = info->regex_raw;
  return 0;
}
int32_t tqx_language_guess_info_ngram_weighted_score_get(context*, language_guess_info* info, double* score) {
  *score = info->ngram_weighted;
  return 0;
}
int32_t tqx_language_guess_info_regex_weighted_score_get(context*, language_guess_info* info, double* score) {
  *score = info->regex_weighted;
  return 0;
}
int32_t tqx_language_guess_info_ngram_bias_get(context*, language_guess_info* info, double* bias) {
  *bias = info->ngram_bias;
  return 0;
}
int32_t tqx_language_guess_info_regex_bias_get(context*, language_guess_info* info, double* bias) {
  *bias = info->regex_bias;
  return 0;
}
int32_t tqx_language_guess_info_regex_final_score_get(context*, language_guess_info* info, double* score) {
  *score = info->final_score;
  return 0;
}

}  // namespace tq
