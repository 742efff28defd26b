#include "match/krminfo.h"

#include <new>

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

}  // namespace tq
