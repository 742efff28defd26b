#include "guess/krlscore.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/krerr.h"
#include "core/krstr.h"
#include "core/krzel.h"
#include "guess/krgcase.h"
#include "guess/krldef.h"
#include "resources/krregx.h"

namespace tq {

namespace {

constexpr int32_t kBiasK[kLangBiasCount] = {-3, -2, -1, 0, 1, 2, 3};
constexpr double kLikelihoodWeight[kLangLikelihoodCount] = {4.0, 2.0, 1.0, 0.5, 0.25, -4.0};
// Texts of the road: the input, and regex results (which may run to 1,028
// bytes with their terminator).
constexpr uint32_t kText = 1028;
constexpr uint32_t kCased = 1025;

double finite_or_zero(double v) { return std::isfinite(v) ? v : 0.0; }

int32_t preprocess(context* ctx, const defn_rec* rec, const char* text, char* out, language_guess_info* info) {
  if (rec->preprocessing.empty()) {
    uchar_buf_copy(out, text, kCased);
    return 0;
  }
  if (info != nullptr) {
    try {
      info->preproc.resize(rec->preprocessing.size());
    } catch (const std::bad_alloc&) {
      return TQ_ERR_NO_MEMORY;
    }
  }
  char running[kText];
  uchar_buf_copy(running, text, kCased);
  for (size_t i = 0; i < rec->preprocessing.size(); ++i) {
    const rsrc_ref& ref = rec->preprocessing[i];
    int32_t matched = 0;
    if (ref.held()) {
      regexlib_rec* lib = nullptr;
      if (int32_t rc = regexlib_get(ctx, ref.index(), &lib); rc < 0) return rc;
      char next[kText];
      matched = regexlib_replace_all(ctx, lib, running, next, 0);
      if (matched < 0) return matched;
      if (matched > 0) std::memcpy(running, next, sizeof running);
    }
    if (info != nullptr) {
      uchar_buf_copy(info->preproc[i].text, running, kLangInfoText);
      info->preproc[i].matched = matched > 0 ? 1 : 0;
      if (matched > 0) info->any_preproc_matched = 1;
    }
  }
  uchar_buf_copy(out, running, kText);
  return 0;
}

int32_t ngram_part(context* ctx, defn_rec* rec, lang_defn_kind_rec* part, ngram_profile* scratch,
                   const char* working, language_guess_info* info, double* out) {
  *out = 0.0;
  // A changed definition trains again before it scores, whatever its model
  // held: an edit that emptied the model may be followed by one that fills
  // it again.
  if (part->trained.load(std::memory_order_acquire) == 0) {
    if (ctx->edit_mode == 0) {
      char text[kDefnNameMax + 64];
      std::snprintf(text, sizeof text, "The language definition '%s' has no trained model.", rec->name);
      TQ_REPORT(ctx, TQ_ERR_HOLD_NOT_HELD, 29, text);
      return TQ_ERR_HOLD_NOT_HELD;
    }
    if (int32_t rc = lang_defn_train_model(ctx, rec); rc < 0) return rc;
  }
  // From the model as trained now, so that equal calls score equally after
  // an edit retrained it.
  const ngram_profile* model = part->model;
  if (model->total == 0) return 0;
  const double m = static_cast<double>(model->total);
  const double f = std::log(0.5 / m);
  // The text's n-grams, counted in the scratch profile as an update with
  // weight 1 counts them. White space is always squashed and the n-grams
  // always uppercased, also for a case-sensitive definition, so only the
  // window and the bookends tell definitions apart: the next definition
  // that scores the same text with the same settings (identifying a
  // phrase, the next candidate of a locale guess) finds them counted.
  scratch->options = kNgramSquashSpace | ((part->options & kLangBookends) != 0 ? kNgramBookends : 0u);
  scratch->window = part->window;
  const ngram_key* keys = nullptr;
  if (int32_t rc = ngram_profile_count_text(ctx, scratch, working, &keys); rc != 0) return rc;
  // Each distinct n-gram is looked up in the model, its value kept in its
  // entry: the sum below walks the entries in their order. The model's
  // slots and entries are asked for ahead of the lookups, all at once.
  const uint32_t count = static_cast<uint32_t>(std::min<size_t>(scratch->entries.size(), kNgramTextCodes));
  for (uint32_t j = 0; j < count; ++j) ngram_profile_prefetch(model, keys[j]);
  for (uint32_t j = 0; j < count; ++j) ngram_profile_prefetch_entry(model, keys[j]);
  for (uint32_t j = 0; j < count; ++j) {
    const ngram_entry* hit = ngram_profile_find_key(model, keys[j]);
    scratch->entries[j].logp = hit != nullptr ? hit->logp : f;
  }
  if (info != nullptr) {
    try {
      info->ngrams.resize(scratch->entries.size());
    } catch (const std::bad_alloc&) {
      return TQ_ERR_NO_MEMORY;
    }
    for (size_t i = 0; i < scratch->entries.size(); ++i) {
      const ngram_entry& e = scratch->entries[i];
      const int32_t* key = ngram_entry_key(scratch, e);
      lang_ngram_result& r = info->ngrams[i];
      try {
        r.codes.assign(key, key + e.n);
        r.codes.push_back(0);
      } catch (const std::bad_alloc&) {
        return TQ_ERR_NO_MEMORY;
      }
      uchar_array_to_text(r.codes.data(), r.text, sizeof r.text);
      r.codes.pop_back();
      r.n = e.n;
      r.count = e.count;
    }
  }
  // The sum in a loop of its own, after every call, which keeps it in a
  // register.
  double sum = 0.0;
  for (const ngram_entry& e : scratch->entries) {
    const double c = static_cast<double>(e.count);
    sum += c * e.logp;
  }
  if (scratch->total == 0) return 0;
  const double t = static_cast<double>(scratch->total);
  const double s = model->score;
  *out = finite_or_zero(1000.0 * (sum - f * t) / (t * s - f * t));
  return 0;
}

int32_t regex_part(context* ctx, const lang_defn_kind_rec* part, const char* text, language_guess_info* info,
                   double* out) {
  *out = 0.0;
  if (info != nullptr) {
    try {
      info->regexes.resize(part->known.size());
    } catch (const std::bad_alloc&) {
      return TQ_ERR_NO_MEMORY;
    }
  }
  double r = 0.0;
  for (size_t i = 0; i < part->known.size(); ++i) {
    const lang_known_regexlib& k = part->known[i];
    uint32_t covered = 0;
    uint32_t length = 0;
    if (k.lib.held()) {
      regexlib_rec* lib = nullptr;
      if (int32_t rc = regexlib_get(ctx, k.lib.index(), &lib); rc < 0) return rc;
      if (int32_t rc = regexlib_coverage_scan(ctx, lib, text, nullptr, &covered, &length); rc < 0) return rc;
    }
    const double value = length == 0 ? 0.0
                                     : static_cast<double>(covered) / static_cast<double>(length) *
                                           lang_likelihood_weight(k.likelihood);
    r += value;
    if (info != nullptr) {
      lang_regex_result& res = info->regexes[i];
      res.name[0] = '\0';
      if (k.lib.held()) (void)rsrc_name_get(ctx, kRsrcRegex, k.lib.index(), res.name, sizeof res.name);
      res.likelihood = k.likelihood;
      res.covered = covered;
      res.score = value * 1000.0;
    }
  }
  if (!part->known.empty()) r = r / static_cast<double>(part->known.size());
  r = r * 1000.0;
  if (r >= 1000.0) r = 1000.0;
  *out = finite_or_zero(r);
  return 0;
}

}  // namespace

int32_t lang_bias_k(uint32_t bias) { return kBiasK[bias < kLangBiasCount ? bias : kLangBiasEqual]; }

double lang_likelihood_weight(uint32_t likelihood) {
  return kLikelihoodWeight[likelihood < kLangLikelihoodCount ? likelihood : kLangLikelihoodMedium];
}

int32_t lang_score_compute(context* ctx, defn_rec* rec, ngram_profile* scratch, const char* text, int32_t* score,
                           language_guess_info* info) {
  lang_defn_kind_rec* part = lang_defn_part(rec);
  if (part == nullptr || scratch == nullptr || text == nullptr || score == nullptr) return TQ_ERR_ARGUMENT;
  // With an info the run asks for the write hold before it touches it: a
  // regex library loaded on first use would refuse it with the info half
  // rewritten, and the run again may fail before it rewrites it.
  if (int32_t claimed = shared_state_write_claim_for(ctx, info); claimed != 0) return claimed;
  if (int32_t rc = defn_rec_check_usable(ctx, rec); rc < 0) return rc;
  if (part->bound.load(std::memory_order_acquire) == 0) {
    if (int32_t rc = lang_defn_bind(ctx, rec); rc < 0) return rc;
  }
  if (info != nullptr) {
    lang_info_reset(info);
    int32_t index = -1;
    (void)defn_index_get_by_name(ctx, kDefnLangGuess, rec->name, kDefnAnySurface, &index);
    info->defn_index = static_cast<uint32_t>(index);
  }
  char working[kText];
  if (int32_t rc = preprocess(ctx, rec, text, working, info); rc < 0) return rc;
  if (info != nullptr) {
    // The cased text as the definition sees it (the n-gram part uppercases
    // on its own).
    char cased_buf[kCased];
    const char* cased = working;
    if ((part->options & kLangCaseSensitive) == 0) {
      uchar_buf_copy(cased_buf, working, sizeof cased_buf);
      guess_upper_current_locale(ctx, cased_buf, sizeof cased_buf);
      cased = cased_buf;
    }
    uchar_buf_copy(info->cased, cased, kCased);
    info->cased_count = static_cast<uint32_t>(
        uchar_text_to_array(info->cased, info->cased_codes, static_cast<int32_t>(kLangInfoCodes)));
  }
  const int32_t k = lang_bias_k(part->bias);
  double n = 0.0;
  double r = 0.0;
  if (k != 3) {
    if (int32_t rc = ngram_part(ctx, rec, part, scratch, working, info, &n); rc < 0) return rc;
  }
  if (k != -3) {
    if (int32_t rc = regex_part(ctx, part, working, info, &r); rc < 0) return rc;
  }
  const double wn = static_cast<double>(3 - k) / 3.0 * 0.5;
  const double wr = static_cast<double>(3 + k) / 3.0 * 0.5;
  const double sn = wn * n;
  const double sr = wr * r;
  double total = finite_or_zero(sn + sr);
  if (total > 1000.0) total = 1000.0;
  if (total < 0.0) total = 0.0;
  if (info != nullptr) {
    info->ngram_raw = n;
    info->regex_raw = r;
    info->ngram_weighted = sn;
    info->regex_weighted = sr;
    info->ngram_bias = wn;
    info->regex_bias = wr;
    info->final_score = total;
  }
  *score = static_cast<int32_t>(total);
  return 0;
}

}  // namespace tq
