#include "match/krminfo.h"

#include <new>

#include "core/krenc.h"
#include "core/krerr.h"
#include "kbstore/krdtok.h"
#include "match/krmdef.h"

namespace {

void morph_infos_free(std::vector<tq_match_info::sig_token>& tokens) {
  for (tq_match_info::sig_token& t : tokens) {
    tq::morph_info_free(t.morph);
    t.morph = nullptr;
  }
}

}  // namespace

tq_match_info::~tq_match_info() { morph_infos_free(sig_tokens); }

namespace tq {

namespace {

// One entry per item of a definition list, each with a record per rule slot.
void entries_make(std::vector<match_info::entry>* list, size_t count, uint32_t rule_slots) {
  list->assign(count, match_info::entry(rule_slots));
}

}  // namespace

void match_info_clear(match_info* info) {
  morph_infos_free(info->sig_tokens);
  info->preproc_matched.clear();
  info->preproc_strings.clear();
  info->preprocessed.clear();
  info->tokens.clear();
  info->sig_tokens.clear();
  info->exact_match = 0;
  info->rules.clear();
  info->default_used = 0;
  info->output_count = 0;
  info->codes.clear();
}

int32_t match_info_preproc_alloc(match_info* info, uint32_t count) {
  try {
    info->preproc_matched.assign(count, 0);
    info->preproc_strings.assign(count, std::string());
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

int32_t match_info_arrays_alloc(match_info* info, const defn_rec* rec, uint32_t token_count, uint32_t sig_count,
                                uint32_t rule_slots) {
  // A second allocation without a clear must not lose the morph infos made
  // by the first.
  morph_infos_free(info->sig_tokens);
  try {
    info->tokens.assign(token_count, match_info::token());
    info->sig_tokens.assign(sig_count, match_info::sig_token());
    match_info::rule_slot fresh;
    fresh.mapping.fill(-1);
    info->rules.assign(rule_slots, fresh);
    info->codes.assign(static_cast<size_t>(rule_slots) + 1, match_info::code_record());
    const uint32_t defined = rec == nullptr ? 0 : rec->tokens.count();
    for (uint32_t i = 0; i < sig_count; ++i) {
      match_info::sig_token& s = info->sig_tokens[i];
      s.slots.assign(rule_slots, match_info::token_slot());
      // A definition without tokens still runs with one (unnamed) token;
      // it has no resource lists.
      if (i < defined) {
        const dtok_rec* tok = rec->tokens.items[i].get();
        const match_token_kind_rec* part = match_token_part(tok);
        entries_make(&s.normalization, tok->regexlibs.size(), rule_slots);
        entries_make(&s.schemes, tok->schemes.size(), rule_slots);
        if (part != nullptr) {
          entries_make(&s.noise, part->noise.size(), rule_slots);
          entries_make(&s.transformation, part->transform.size(), rule_slots);
          entries_make(&s.phonetics, part->phonetx.size(), rule_slots);
        }
      }
      const int32_t rc = morph_info_create(&s.morph);
      if (rc < 0) return rc;
    }
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

int32_t match_info_init(context*, match_info** info) {
  *info = new (std::nothrow) match_info;
  if (*info == nullptr) return TQ_ERR_NO_MEMORY;
  match_info_clear(*info);
  return 0;
}

int32_t match_info_free(context*, match_info* info) {
  delete info;
  return 0;
}

// ---- Getters ------------------------------------------------------------------------------

namespace {

constexpr uint32_t kInfoTextSize = 1028;  // the caller's buffer, terminator included
constexpr uint32_t kCodeTextMax = 1024;   // bytes of a code handed out

// The element at a caller's index, or nullptr when the index is out of range.
template <typename T>
const T* at(const std::vector<T>& items, int32_t i) {
  return i < 0 || static_cast<size_t>(i) >= items.size() ? nullptr : &items[static_cast<size_t>(i)];
}

// Empties the caller's buffer, then hands out the text when there is one;
// -800 when there is none (the index was out of range).
int32_t text_out(context* ctx, const std::string* text, char* out, uint32_t max = kInfoTextSize) {
  strio_out_clear_n(ctx, out, kInfoTextSize);
  if (text == nullptr) return TQ_ERR_INDEX;
  const uint32_t room = kInfoTextSize - strio_terminator_size(ctx);
  return strio_out(ctx, text->c_str(), out, max < room ? max : room, kStrioConvert);
}

// Sets *out from the field of the item, or leaves the default for none.
template <typename Out, typename Item, typename Get>
int32_t value_out(const Item* item, Out* out, Out fallback, Get get) {
  *out = fallback;
  if (item == nullptr) return TQ_ERR_INDEX;
  *out = get(*item);
  return 0;
}

const match_info::entry_slot* entry_slot_at(const match_info* info, match_info_list list, int32_t t, int32_t e,
                                            int32_t r) {
  const match_info::sig_token* tok = at(info->sig_tokens, t);
  if (tok == nullptr) return nullptr;
  const match_info::entry* entry = at(tok->*list, e);
  return entry == nullptr ? nullptr : at(*entry, r);
}

const match_info::code_record* code_at(const match_info* info, int32_t r) {
  // Only the records of the rule slots are read out.
  return at(info->rules, r) == nullptr ? nullptr : at(info->codes, r);
}

}  // namespace

int32_t match_info_count_get(context*, match_info_count which, match_info* info, uint32_t* count) {
  size_t n = 0;
  switch (which) {
    case kMatchInfoPreprocSchemes: n = info->preproc_matched.size(); break;
    case kMatchInfoTokens: n = info->tokens.size(); break;
    case kMatchInfoSigTokens: n = info->sig_tokens.size(); break;
    case kMatchInfoRuleSlots: n = info->rules.size(); break;
  }
  *count = static_cast<uint32_t>(n);
  return 0;
}

int32_t match_info_token_text_get(context* ctx, match_info_token_text field, match_info* info, int32_t token,
                                  char* value) {
  const match_info::token* tok = at(info->tokens, token);
  return text_out(ctx, tok == nullptr ? nullptr : &(tok->*field), value);
}

int32_t match_info_sig_text_get(context* ctx, match_info_sig_text field, match_info* info, int32_t t, char* value) {
  const match_info::sig_token* tok = at(info->sig_tokens, t);
  return text_out(ctx, tok == nullptr ? nullptr : &(tok->*field), value);
}

int32_t match_info_list_count_get(context*, match_info_list list, match_info* info, int32_t t, uint32_t* count) {
  return value_out(at(info->sig_tokens, t), count, 0u,
                   [&](const match_info::sig_token& tok) { return static_cast<uint32_t>((tok.*list).size()); });
}

int32_t match_info_list_any_get(context*, match_info_list list, match_info* info, int32_t t, uint32_t* value) {
  return value_out(at(info->sig_tokens, t), value, 0u, [&](const match_info::sig_token& tok) {
    for (const match_info::entry& entry : tok.*list) {
      for (const match_info::entry_slot& slot : entry) {
        if (slot.matched != 0) return 1u;
      }
    }
    return 0u;
  });
}

int32_t match_info_list_entry_get(context* ctx, match_info_list list, match_info* info, int32_t t, int32_t e,
                                  int32_t r, uint32_t* matched, char* value) {
  const match_info::entry_slot* slot = entry_slot_at(info, list, t, e, r);
  value_out(slot, matched, 0u, [](const match_info::entry_slot& s) { return s.matched; });
  return text_out(ctx, slot == nullptr ? nullptr : &slot->value, value);
}

int32_t match_info_code_text_get(context* ctx, match_info_code_text field, match_info* info, int32_t r,
                                 char* value) {
  const match_info::code_record* code = code_at(info, r);
  return text_out(ctx, code == nullptr ? nullptr : &(code->*field), value, kCodeTextMax);
}

int32_t match_info_exact_match_flag_get(context*, match_info* info, uint32_t* flag) {
  *flag = info->exact_match;
  return 0;
}

int32_t match_info_preproc_string_get(context* ctx, match_info* info, char* value) {
  return text_out(ctx, &info->preprocessed, value);
}

int32_t match_info_any_preproc_scheme_matched_get(context*, match_info* info, uint32_t* value) {
  *value = 0;
  for (uint32_t matched : info->preproc_matched) {
    if (matched != 0) *value = 1;
  }
  return 0;
}

int32_t match_info_preproc_string_get_per_scheme(context* ctx, match_info* info, int32_t scheme, uint32_t* matched,
                                                 char* value) {
  const uint32_t* flag = at(info->preproc_matched, scheme);
  value_out(flag, matched, 0u, [](uint32_t f) { return f; });
  return text_out(ctx, at(info->preproc_strings, scheme), value);
}

int32_t match_info_encoded_string_isdup_get(context*, match_info* info, int32_t r, uint32_t* value) {
  return value_out(code_at(info, r), value, 0u, [](const match_info::code_record& c) { return c.duplicate; });
}

int32_t match_info_string_score_get(context*, match_info* info, int32_t r, double* value) {
  return value_out(code_at(info, r), value, 100.0, [](const match_info::code_record& c) { return c.score; });
}

int32_t match_info_match_uppercased_token_value_get(context* ctx, match_info* info, int32_t t, int32_t r,
                                                    char* value) {
  const match_info::sig_token* tok = at(info->sig_tokens, t);
  const match_info::token_slot* slot = tok == nullptr ? nullptr : at(tok->slots, r);
  return text_out(ctx, slot == nullptr ? nullptr : &slot->uppercased, value);
}

int32_t match_info_filtered_word_count_get_per_vocab(context*, match_info* info, int32_t t, int32_t e, int32_t r,
                                                     uint32_t* value) {
  return value_out(entry_slot_at(info, kMatchInfoNoise, t, e, r), value, 0u,
                   [](const match_info::entry_slot& s) { return static_cast<uint32_t>(s.filtered.size()); });
}

int32_t match_info_filtered_word_get_per_vocab(context* ctx, match_info* info, int32_t t, int32_t e, int32_t r,
                                               int32_t w, char* value) {
  const match_info::entry_slot* slot = entry_slot_at(info, kMatchInfoNoise, t, e, r);
  return text_out(ctx, slot == nullptr ? nullptr : at(slot->filtered, w), value);
}

int32_t match_info_token_all_noise_flag_get(context*, match_info* info, int32_t t, uint32_t* flag) {
  return value_out(at(info->sig_tokens, t), flag, 0u, [](const match_info::sig_token& s) { return s.all_noise; });
}

int32_t match_info_token_all_noise_flag_get_per_vocab(context*, match_info* info, int32_t t, int32_t e, int32_t r,
                                                      uint32_t* flag) {
  return value_out(entry_slot_at(info, kMatchInfoNoise, t, e, r), flag, 0u,
                   [](const match_info::entry_slot& s) { return s.all_noise; });
}

int32_t match_info_morph_analyzer_info_get(context*, match_info* info, int32_t t, morph_analyzer_info** morph) {
  return value_out(at(info->sig_tokens, t), morph, static_cast<morph_analyzer_info*>(nullptr),
                   [](const match_info::sig_token& s) { return s.morph; });
}

int32_t match_info_token_rule_info_get(context*, match_info* info, int32_t r, uint32_t* matched, double* score) {
  const match_info::rule_slot* slot = at(info->rules, r);
  value_out(slot, matched, 0u, [](const match_info::rule_slot& s) { return s.matched; });
  return value_out(slot, score, 100.0, [](const match_info::rule_slot& s) { return s.score; });
}

int32_t match_info_any_token_rule_matched_get(context*, match_info* info, uint32_t* nondefault_matched,
                                              uint32_t* default_matched) {
  *nondefault_matched = 0;
  *default_matched = 0;
  const size_t n = info->rules.size();
  if (n == 0) return 0;
  for (size_t r = 0; r + 1 < n; ++r) {
    if (info->rules[r].matched != 0) *nondefault_matched = 1;
  }
  *default_matched = info->rules[n - 1].matched != 0 ? 1 : 0;
  return 0;
}

int32_t match_info_position_get(context*, match_info* info, int32_t r, int32_t t, int32_t* replace) {
  *replace = -1;
  const match_info::rule_slot* slot = at(info->rules, r);
  if (slot == nullptr || at(info->sig_tokens, t) == nullptr || static_cast<size_t>(t) >= slot->mapping.size()) {
    return TQ_ERR_INDEX;
  }
  *replace = slot->mapping[static_cast<size_t>(t)];
  return 0;
}

}  // namespace tq
