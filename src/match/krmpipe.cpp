// The token pipeline of the match engine: what one token's value goes
// through at one sensitivity before it is placed in the code.
#include <cstring>
#include <new>

#include "core/krcaseloc.h"
#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "match/krmeng.h"
#include "resources/krchop.h"
#include "resources/krphtx.h"
#include "resources/krregx.h"
#include "resources/krvocb.h"

namespace tq {

namespace {

using sig_token = match_info::sig_token;
using entry_slot = match_info::entry_slot;

// Noise words are looked up among the first 64 words of a value.
constexpr uint32_t kNoiseWordsMax = 64;
// The built-in chopper that splits at white space only.
constexpr int32_t kWhitespaceChopper = -2;

// An entry takes part when Sens Range Low <= sensitivity <= Sens Range High,
// compared unsigned.
bool in_range(int32_t low, int32_t high, uint32_t sensitivity) {
  return static_cast<uint32_t>(low) <= sensitivity && sensitivity <= static_cast<uint32_t>(high);
}

entry_slot* entry_at(std::vector<match_info::entry>* list, size_t j, uint32_t slot) {
  if (list == nullptr || j >= list->size()) return nullptr;
  match_info::entry& e = (*list)[j];
  return slot < e.size() ? &e[slot] : nullptr;
}

void note(entry_slot* e, uint32_t matched, const char* value) {
  if (e == nullptr) return;
  e->matched = matched;
  e->value.assign(value);
}

void copy_text(char* to, const char* from) { std::memcpy(to, from, std::strlen(from) + 1); }

// One regex library entry: every element applied as match-and-replace.
int32_t regex_entry(context* ctx, int32_t index, char* value, char* other, entry_slot* e) {
  regexlib_rec* lib = nullptr;
  int32_t rc = regexlib_get(ctx, index, &lib);
  if (rc < 0) return rc;
  rc = regexlib_replace_all(ctx, lib, value, other, 0);
  if (rc < 0) return rc;
  if (rc > 0) copy_text(value, other);
  note(e, rc > 0 ? 1 : 0, value);
  return 0;
}

// A noise entry's record starts afresh at each sensitivity.
void noise_reset(entry_slot* e) {
  if (e == nullptr) return;
  e->matched = 0;
  e->all_noise = 0;
  e->filtered.clear();
}

// Step group F: the words of the value found in the vocabulary are dropped;
// the rest are joined with single spaces.
int32_t noise_words_remove(context* ctx, char* value, const vocab_rec* vocab, entry_slot* e) {
  noise_reset(e);
  word_list words{};
  int32_t rc = chop_run(ctx, kWhitespaceChopper, value, &words);
  if (rc < 0) {
    wordlist_free(&words);
    return rc;
  }
  const uint32_t n = std::min(wordlist_word_count(&words), kNoiseWordsMax);
  // Words past the 64th are not looked at and the value loses them: the
  // call tells it, as it tells a cut.
  bool cut = n < wordlist_word_count(&words);
  char kept[kMatchTextSize];
  uint32_t at = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const word_rec* w = wordlist_word_at(&words, static_cast<int32_t>(i));
    uint32_t found = 0;
    rc = vocab_word_lookup(ctx, vocab, w->text, 0, 0, &found, nullptr);
    if (rc < 0) break;
    if (found != 0) {
      if (e != nullptr) {
        e->filtered.emplace_back(w->text);
        e->matched = 1;
      }
      continue;
    }
    const size_t len = std::strlen(w->text);
    if (at + (at > 0 ? 1 : 0) + len > kMatchTextMax) {
      cut = true;
      break;
    }
    if (at > 0) kept[at++] = ' ';
    std::memcpy(kept + at, w->text, len);
    at += static_cast<uint32_t>(len);
  }
  wordlist_free(&words);
  if (rc < 0) return rc;
  kept[at] = '\0';
  if (cut) strio_note_inside_cut(ctx, "a token's value without its noise words", at, 0);
  copy_text(value, kept);
  if (e != nullptr) {
    e->value.assign(value);
    e->all_noise = value[0] == '\0' ? 1 : 0;
  }
  return 0;
}

int32_t pipeline(context* ctx, const dtok_rec* tok, const match_token_kind_rec* tp, uint32_t sens, char* value,
                 sig_token* sig, uint32_t slot) {
  char other[kMatchBufferSize];
  int32_t rc = 0;
  // Normalization.
  for (size_t j = 0; j < tok->regexlibs.size(); ++j) {
    const dtok_regexlib& r = tok->regexlibs[j];
    entry_slot* e = entry_at(sig != nullptr ? &sig->normalization : nullptr, j, slot);
    if (!r.lib.held() || !in_range(r.low, r.high, sens)) {
      note(e, 0, value);
      continue;
    }
    rc = regex_entry(ctx, r.lib.index(), value, other, e);
    if (rc < 0) return rc;
  }
  if (sig != nullptr) sig->normalized.assign(value);
  // Noise words; a value that was nothing but noise keeps its normalized form.
  char normalized[kMatchBufferSize];
  copy_text(normalized, value);
  for (size_t j = 0; j < tp->noise.size(); ++j) {
    const match_ranged_ref& r = tp->noise[j];
    entry_slot* e = entry_at(sig != nullptr ? &sig->noise : nullptr, j, slot);
    if (!r.ref.held() || !in_range(r.low, r.high, sens)) {
      noise_reset(e);
      if (e != nullptr) {
        e->value.assign(value);
        if (value[0] == '\0' && normalized[0] != '\0') e->all_noise = 1;
      }
      continue;
    }
    vocab_rec* vocab = nullptr;
    rc = vocab_get(ctx, r.ref.index(), &vocab);
    if (rc < 0) return rc;
    rc = noise_words_remove(ctx, value, vocab, e);
    if (rc < 0) return rc;
  }
  if (value[0] == '\0' && normalized[0] != '\0') {
    copy_text(value, normalized);
    if (sig != nullptr) sig->all_noise = 1;
  }
  if (sig != nullptr) sig->noise_filtered.assign(value);
  // Standardization: each scheme as an element scheme with upper-case
  // output, whatever its own settings (which other users of the shared
  // scheme keep).
  uint32_t phonetics_off = 0;
  char* outputs[1] = {other};
  for (size_t j = 0; j < tok->schemes.size(); ++j) {
    const dtok_scheme& s = tok->schemes[j];
    entry_slot* e = entry_at(sig != nullptr ? &sig->schemes : nullptr, j, slot);
    if (!s.scheme.held() || !in_range(s.low, s.high, sens)) {
      note(e, 0, value);
      continue;
    }
    scheme_rec* scheme = nullptr;
    rc = scheme_get(ctx, s.scheme.index(), &scheme);
    if (rc < 0) return rc;
    other[0] = '\0';
    uint32_t produced = 0;
    int32_t found = 0;
    rc = scheme_apply(ctx, scheme, value, 1, kMatchTextSize, static_cast<uint32_t>(tp->sort_words != 0), 0,
                      outputs, &produced, &found, kSchemeElement | kSchemeOutUpper);
    if (rc < 0) return rc;
    if (produced > 0) copy_text(value, other);
    const uint32_t matched = found > 0 ? 1 : 0;
    if (matched != 0 && phonetics_off == 0) phonetics_off = s.disable_phonetx != 0 ? 1 : 0;
    note(e, matched, value);
  }
  if (sig != nullptr) sig->standardized.assign(value);
  // Transformation.
  for (size_t j = 0; j < tp->transform.size(); ++j) {
    const match_ranged_ref& r = tp->transform[j];
    entry_slot* e = entry_at(sig != nullptr ? &sig->transformation : nullptr, j, slot);
    if (!r.ref.held() || !in_range(r.low, r.high, sens)) {
      note(e, 0, value);
      continue;
    }
    rc = regex_entry(ctx, r.ref.index(), value, other, e);
    if (rc < 0) return rc;
  }
  if (sig != nullptr) sig->transformed.assign(value);
  // Phonetics, unless a matched scheme switched them off.
  if (sig != nullptr && slot < sig->slots.size()) sig->slots[slot].phonetics_skipped = phonetics_off;
  for (size_t j = 0; j < tp->phonetx.size(); ++j) {
    const match_ranged_ref& r = tp->phonetx[j];
    entry_slot* e = entry_at(sig != nullptr ? &sig->phonetics : nullptr, j, slot);
    if (phonetics_off != 0 || !r.ref.held() || !in_range(r.low, r.high, sens)) {
      note(e, 0, value);
      continue;
    }
    phonetx_rec* set = nullptr;
    rc = phonetx_get(ctx, r.ref.index(), &set);
    if (rc < 0) return rc;
    rc = phonetx_run(ctx, set, value, other);
    if (rc < 0) return rc;
    const uint32_t changed = std::strcmp(value, other) != 0 ? 1 : 0;
    if (changed != 0) copy_text(value, other);
    note(e, changed, value);
  }
  if (sig != nullptr) sig->phonetic.assign(value);
  return 0;
}

// Uppercases a value in place with the current locale's casing. Names are
// mostly ASCII, whose letters every locale but those with a dotted capital I
// uppercases as ASCII does; those go without the character library.
void upper(context* ctx, char* value) {
  size_t n = 0;
  while (value[n] != '\0' && static_cast<unsigned char>(value[n]) < 0x80) ++n;
  if (value[n] != '\0' || case_locale_special_lang_get(ctx->current_locale_code) != nullptr) {
    case_upper_current_locale_noted(ctx, value, kMatchTextSize, "a token's uppercased value");
    return;
  }
  for (size_t i = 0; i < n; ++i) {
    if (value[i] >= 'a' && value[i] <= 'z') value[i] = static_cast<char>(value[i] - ('a' - 'A'));
  }
}

sig_token* sig_at(match_info* info, uint32_t token) {
  return info != nullptr && token < info->sig_tokens.size() ? &info->sig_tokens[token] : nullptr;
}

}  // namespace

int32_t match_token_uppercase(context* ctx, const defn_rec* rec, uint32_t token, char* value, match_info* info,
                              uint32_t slot) {
  if (rec == nullptr || token >= rec->tokens.count()) return TQ_ERR_ARGUMENT;
  if (rec->tokens.items[token]->automatic_uppercasing != 0) upper(ctx, value);
  str_trim(value);
  sig_token* sig = sig_at(info, token);
  if (sig != nullptr && slot < sig->slots.size()) {
    try {
      sig->slots[slot].uppercased.assign(value);
    } catch (const std::bad_alloc&) {
      return TQ_ERR_NO_MEMORY;
    }
  }
  return 0;
}

int32_t match_token_pipeline(context* ctx, const defn_rec* rec, uint32_t token, uint32_t sensitivity, char* value,
                             match_info* info, uint32_t slot) {
  if (rec == nullptr || token >= rec->tokens.count()) return TQ_ERR_ARGUMENT;
  const dtok_rec* tok = rec->tokens.items[token].get();
  const match_token_kind_rec* tp = match_token_part(tok);
  if (tp == nullptr) return TQ_ERR_DEFN_INVALID;
  try {
    return pipeline(ctx, tok, tp, sensitivity, value, sig_at(info, token), slot);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
}

}  // namespace tq
