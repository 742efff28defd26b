#include "fields/krgender.h"

#include <cstring>

#include "core/krcaseloc.h"
#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krzel.h"
#include "core/krstr.h"
#include "core/krvec.h"
#include "fields/krfdctx.h"
#include "fields/krgdef.h"
#include "parse/krparse.h"
#include "resources/krchop.h"
#include "resources/krregx.h"
#include "resources/krvocb.h"
#include "resources/krwlst.h"

namespace tq {

namespace {

constexpr uint32_t kValueMax = 1024;       // bytes of a token value or word
constexpr uint32_t kWorkSize = 1028;       // working texts (uppercasing may lengthen a word)
constexpr uint32_t kUpperMax = 1025;       // what uppercasing may fill
constexpr const char* kDefaultDefn = "Name";

struct input_token {
  int32_t index;
  char value[kValueMax + 1];
};

}  // namespace

struct gender_work_area {
  int32_t scores[256];  // by the first byte of a gender value's text
  parse_token_slot block[kParseSlots];  // the parse of a whole value
  input_token inputs[kGenderTokensMax];
};

namespace {

// What one run works with.
struct run_state {
  context* ctx;
  const defn_rec* rec;
  const gender_defn_kind_rec* part;
  gender_work_area* area;
  gender_info* info;
  const dtok_rec* tok;                 // the gender token being analysed
  const gender_token_kind_rec* gtok;
  uint32_t t;                          // its position
  uint32_t w;                          // the word's position
};

int32_t& score_of(gender_work_area* area, const char* value) {
  return area->scores[static_cast<unsigned char>(value[0])];
}

// The record's information, or nothing: the info's own failures (-600) end
// the run like any other.
int32_t note(int32_t rc) { return rc < 0 ? rc : 0; }

const char* first_default(const gender_defn_kind_rec* part) {
  for (const gender_value& v : part->values) {
    if (v.dflt != 0) return v.value;
  }
  return "";
}

const char* last_default(const gender_defn_kind_rec* part) {
  const char* found = "";
  for (const gender_value& v : part->values) {
    if (v.dflt != 0) found = v.value;
  }
  return found;
}

// The single highest score above 0 decides; a tie at the top or no score
// leaves the result as it was.
void value_choose(run_state& s, char* result, bool* decided) {
  *decided = false;
  int32_t best = 0;
  const gender_value* chosen = nullptr;
  for (size_t i = 0; i < s.part->values.size(); ++i) {
    const gender_value& v = s.part->values[i];
    const int32_t score = score_of(s.area, v.value);
    if (score == best) {
      *decided = false;
    } else if (score > best) {
      *decided = true;
      best = score;
      chosen = &v;
    }
    if (s.info != nullptr && i < s.info->scores.size()) s.info->scores[i] = score;
  }
  if (*decided && chosen != nullptr) str_copy_bounded(result, chosen->value, kGenderValueMax + 1);
}

// The vocabulary stage of one word: *scored when a category scored.
int32_t vocab_score(run_state& s, const char* word, const char* working, bool* scored) {
  *scored = false;
  if (s.rec->vocabularies.empty()) return TQ_ERR_NOTHING_TO_DO;
  for (size_t v = 0; v < s.rec->vocabularies.size(); ++v) {
    const defn_vocab& dv = s.rec->vocabularies[v];
    if (!dv.vocab.held()) continue;
    vocab_rec* vocab = nullptr;
    int32_t rc = vocab_get(s.ctx, dv.vocab.index(), &vocab);
    if (rc < 0) return rc;
    uint32_t found = 0;
    vocab_word_match match{};
    rc = vocab_word_lookup(s.ctx, vocab, working, dv.fuzzy.enabled, static_cast<int32_t>(dv.fuzzy.threshold),
                           &found, &match);
    if (rc < 0 || found == 0) continue;
    const char* fuzzy = "";
    if (dv.fuzzy.enabled != 0 && match.text != nullptr && std::strcmp(match.text, working) != 0) fuzzy = match.text;
    const uint32_t vpos = static_cast<uint32_t>(v);
    bool fuzzy_noted = false;
    for (uint32_t c = 0; c < match.category_count && c < kVocabCategoriesMax; ++c) {
      const char* cat = match.categories[c].category != nullptr ? match.categories[c].category->name : "";
      bool matched = false;
      for (const gender_subcat& sub : s.gtok->cats) {
        if (s.info != nullptr && fuzzy[0] != '\0' && !fuzzy_noted) {
          fuzzy_noted = true;
          if ((rc = note(gender_info_fuzzy_add(s.info, s.t, s.w, vpos, fuzzy))) < 0) return rc;
        }
        if (std::strcmp(cat, sub.name) != 0) continue;
        ++score_of(s.area, sub.value);
        matched = true;
        *scored = true;
        if (s.info != nullptr) {
          if ((rc = note(gender_info_word_row_add(s.info, word, working, fuzzy, sub.value))) < 0) return rc;
          if ((rc = note(gender_info_vocab_cat_add(s.info, s.t, s.w, vpos, sub.value, cat))) < 0) return rc;
        }
      }
      if (!matched && s.info != nullptr) {
        if ((rc = note(gender_info_vocab_cat_add(s.info, s.t, s.w, vpos, "", cat))) < 0) return rc;
      }
    }
    // A stop vocabulary that knew the word ends the lookup, scored or not.
    if (dv.stop != 0) break;
  }
  return 0;
}

// One word of one gender token.
int32_t word_score(run_state& s, const char* word) {
  char working[kWorkSize];
  str_copy_bounded(working, word, kValueMax + 1);
  if (s.tok->automatic_uppercasing != 0) {
    case_upper_current_locale_noted(s.ctx, working, kUpperMax, "a word's uppercased value");
  }
  str_trim(working);
  int32_t rc = 0;
  if (s.info != nullptr && (rc = note(gender_info_word_texts_set(s.info, s.t, s.w, word, working))) < 0) return rc;
  char out[kRegexResultSize];
  for (size_t n = 0; n < s.rec->normalization.size(); ++n) {
    const rsrc_ref& ref = s.rec->normalization[n];
    if (!ref.held()) continue;
    regexlib_rec* lib = nullptr;
    if ((rc = regexlib_get(s.ctx, ref.index(), &lib)) < 0) return rc;
    const int32_t replaced = regexlib_replace_all(s.ctx, lib, working, out, 0);
    if (replaced < 0) return replaced;
    if (replaced == 0) str_copy_bounded(out, working, sizeof out);
    str_copy_bounded(working, out, sizeof working);
    if (s.info != nullptr &&
        (rc = note(gender_info_norm_set(s.info, s.t, s.w, static_cast<uint32_t>(n), working,
                                        replaced != 0 ? 1u : 0u))) < 0) {
      return rc;
    }
  }
  bool scored = false;
  if ((rc = vocab_score(s, word, working, &scored)) < 0) return rc;
  if (scored) {
    // Regex libraries are for words the vocabularies did not know.
    if (s.info != nullptr && !s.gtok->regexlibs.empty()) s.info->tokens[s.t].regexlibs_skipped = 1;
    return 0;
  }
  bool any = false;
  for (size_t e = 0; e < s.gtok->regexlibs.size(); ++e) {
    const gender_match_regexlib& entry = s.gtok->regexlibs[e];
    if (!entry.lib.held()) continue;
    regexlib_rec* lib = nullptr;
    if ((rc = regexlib_get(s.ctx, entry.lib.index(), &lib)) < 0) return rc;
    const int32_t hit = regexlib_match_any(s.ctx, lib, word, 0);
    if (hit < 0) return hit;
    if (hit == 0) continue;
    any = true;
    ++score_of(s.area, entry.value);
    if (s.info != nullptr) {
      if ((rc = note(gender_info_word_row_add(s.info, word, working, "", entry.value))) < 0) return rc;
      if ((rc = note(gender_info_entry_value_set(s.info, s.t, s.w, static_cast<uint32_t>(e), entry.value))) < 0) {
        return rc;
      }
    }
  }
  if (!any && s.info != nullptr) return note(gender_info_word_row_add(s.info, word, working, "", ""));
  return 0;
}

// The name of the datatype token at an input token's index; NULL for an
// index that is not one (the empty slots of parse output carry -1).
const char* input_name(const defn_token_owner& owner, int32_t index) {
  if (index < 0 || static_cast<uint32_t>(index) >= owner.owner.datatype_token_count) return nullptr;
  return owner.datatype_tokens[index];
}

// One token of the definition: its text, chopped, each word scored.
int32_t token_score(run_state& s, const defn_token_owner& owner, uint32_t n_inputs) {
  const char* text = "";
  bool found = false;
  for (uint32_t i = 0; i < n_inputs && !found; ++i) {
    const char* name = input_name(owner, s.area->inputs[i].index);
    if (name != nullptr && std::strcmp(name, s.tok->name) == 0) {
      text = s.area->inputs[i].value;
      found = true;
    }
  }
  int32_t rc = 0;
  if (found && s.info != nullptr && (rc = note(gender_info_sig_token_add(s.info, s.tok->name, text))) < 0) {
    return rc;
  }
  word_list words{};
  rc = chop_run(s.ctx, s.rec->chopper.index(), text, &words);
  if (rc < 0) {
    wordlist_free(&words);
    return rc;
  }
  const uint32_t count = wordlist_word_count(&words);
  if (s.info != nullptr) {
    rc = note(gender_info_token_words_init(s.info, s.t, count, static_cast<uint32_t>(s.rec->vocabularies.size()),
                                           static_cast<uint32_t>(s.rec->normalization.size()),
                                           static_cast<uint32_t>(s.gtok->regexlibs.size())));
  }
  for (uint32_t w = 0; rc >= 0 && w < count; ++w) {
    const word_rec* word = wordlist_word_at(&words, static_cast<int32_t>(w));
    s.w = w;
    if (word != nullptr) rc = word_score(s, word->text);
  }
  wordlist_free(&words);
  return rc < 0 ? rc : 0;
}

// The scoring run over input tokens already in the work area (UTF-8).
int32_t engine_core(context* ctx, const defn_rec* rec, gender_work_area* area, uint32_t n_inputs, char* result,
                    gender_info* info) {
  const gender_defn_kind_rec* part = gender_defn_part(rec);
  str_copy_bounded(result, last_default(part), kGenderValueMax + 1);
  for (const gender_value& v : part->values) score_of(area, v.value) = 0;
  // Input tokens are named by the datatype of the parse definition that
  // made them.
  if (rec->parse_defn < 0) return TQ_ERR_PART_MISSING;
  defn_rec* parse = nullptr;
  int32_t rc = defn_record_get_for_read_in_locale(ctx, kDefnParse, rec->locale, rec->parse_defn, &parse);
  if (rc < 0) return rc;
  defn_token_owner owner{};
  if ((rc = defn_token_owner_get(ctx, parse, &owner)) < 0) return rc;
  run_state s{ctx, rec, part, area, info, nullptr, nullptr, 0, 0};
  const uint32_t n_tokens = rec->tokens.count();
  if (info != nullptr) {
    if ((rc = note(gender_info_tokens_init(info, n_inputs))) < 0) return rc;
    for (uint32_t i = 0; i < n_inputs; ++i) {
      const char* name = input_name(owner, area->inputs[i].index);
      if ((rc = note(gender_info_token_set(info, i, name, area->inputs[i].value))) < 0) return rc;
    }
    rc = note(gender_info_token_records_init(info, n_tokens, static_cast<uint32_t>(part->values.size())));
    if (rc < 0) return rc;
  }
  bool decided = false;
  for (uint32_t t = 0; t < n_tokens; ++t) {
    s.tok = rec->tokens.items[t].get();
    s.gtok = gender_token_part(s.tok);
    s.t = t;
    if (s.gtok == nullptr) continue;
    if ((rc = token_score(s, owner, n_inputs)) < 0) return rc;
    if (s.gtok->stop == 0) continue;
    bool any = false;
    for (const gender_value& v : part->values) any = any || score_of(area, v.value) > 0;
    if (!any) continue;
    value_choose(s, result, &decided);
    if (decided) {
      if (info != nullptr) {
        info->stop = 1;
        for (uint32_t later = t + 1; later < n_tokens; ++later) info->tokens[later].skipped = 1;
      }
      return 0;
    }
  }
  value_choose(s, result, &decided);
  return 0;
}

// Copies the caller's or the parse's tokens into the work area: at most 32,
// values converted from the session encoding when convert is set. The
// first positive conversion code, or a failure.
int32_t inputs_take(context* ctx, gender_work_area* area, const parse_token_slot* tokens, int32_t count,
                    uint32_t convert, uint32_t* n) {
  *n = count <= 0 ? 0u : (count > static_cast<int32_t>(kGenderTokensMax) ? kGenderTokensMax : static_cast<uint32_t>(count));
  int32_t warning = 0;
  for (uint32_t i = 0; i < *n; ++i) {
    area->inputs[i].index = tokens[i].index;
    const int32_t rc = strio_in(ctx, tokens[i].value, area->inputs[i].value, kValueMax, convert | kStrioValue);
    if (rc < 0) return rc;
    if (warning == 0) warning = rc;
  }
  return warning;
}

// The whole run over given tokens: usability, inputs, scoring, output.
int32_t engine_run(context* ctx, const defn_rec* rec, const parse_token_slot* tokens, int32_t count,
                   uint32_t convert, char* out, gender_info* info) {
  if (gender_defn_part(rec) == nullptr) return TQ_ERR_DEFN_INVALID;
  int32_t rc = defn_rec_check_usable(ctx, rec);
  if (rc < 0) return rc;
  gender_work_area* area = nullptr;
  if ((rc = gender_work_area_get(ctx, &area)) != 0) return rc;
  uint32_t n = 0;
  const int32_t warning = inputs_take(ctx, area, tokens, count, convert, &n);
  if (warning < 0) return warning;
  char result[kGenderValueMax + 1];
  if ((rc = engine_core(ctx, rec, area, n, result, info)) < 0) return rc;
  const int32_t written = strio_out(ctx, result, out, kGenderValueMax, convert);
  if (written < 0) return written;
  return warning > 0 ? warning : written;
}

// The definition's index by name as the exports take it.
int32_t index_by_name(context* ctx, const char* gender_defn, int32_t* index) {
  if (gender_defn == nullptr || strio_is_empty(ctx, gender_defn, kStrioConvert) != 0) {
    // A literal of our own, already UTF-8.
    return defn_index_get_by_name(ctx, kDefnGender, kDefaultDefn, 0, index);
  }
  return defn_index_get_by_name(ctx, kDefnGender, gender_defn, kDefnNameConvert, index);
}

}  // namespace

int32_t gender_work_area_create(context*, gender_work_area** out) {
  *out = big_new<gender_work_area>();
  return *out == nullptr ? TQ_ERR_NO_MEMORY : 0;
}

void gender_work_area_free(context*, gender_work_area* area) { big_delete(area); }

int32_t gender_determine_by_index(context* ctx, int32_t index, const char* value, char* result, gender_info* info) {
  result[0] = '\0';
  if (int32_t claimed = shared_state_write_claim_for(ctx, info); claimed != 0) return claimed;
  defn_rec* rec = nullptr;
  if (defn_record_get_for_read(ctx, kDefnGender, index, &rec) < 0 || gender_defn_part(rec) == nullptr) {
    TQ_REPORT(ctx, TQ_ERR_INDEX, 160, value != nullptr ? value : "");
    return TQ_ERR_INDEX;
  }
  str_copy_bounded(result, first_default(gender_defn_part(rec)), kGenderValueMax + 1);
  if (value == nullptr || value[0] == '\0') return 0;
  // A definition that cannot be used is not worth a parse.
  int32_t rc = defn_rec_check_usable(ctx, rec);
  if (rc < 0) return rc;
  gender_work_area* area = nullptr;
  if ((rc = gender_work_area_get(ctx, &area)) != 0) return rc;
  if (rec->parse_defn < 0) return TQ_ERR_PART_MISSING;
  defn_rec* parse = nullptr;
  rc = defn_record_get_for_read_in_locale(ctx, kDefnParse, rec->locale, rec->parse_defn, &parse);
  if (rc < 0) return rc;
  uint32_t count = 0;
  rc = parse_defn_run(ctx, parse, value, area->block, &count, nullptr);
  if (rc != 0) {
    if (info != nullptr) info->no_solution = 1;
    return rc;
  }
  char out[kGenderValueMax + 1];
  rc = engine_run(ctx, rec, area->block, static_cast<int32_t>(count), 0, out, info);
  if (rc < 0) return rc;
  str_copy_bounded(result, out, kGenderValueMax + 1);
  return rc;
}

int32_t gender_determine_parsed(context* ctx, int32_t index, const ::tq_parse_token* tokens, int32_t count,
                                uint32_t convert, char* gender, gender_info* info) {
  if (int32_t claimed = shared_state_write_claim_for(ctx, info); claimed != 0) return claimed;
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, kDefnGender, index, &rec);
  if (rc < 0) return rc;
  if (defn_rec_parsed_input_get(ctx, rec) == 0) return TQ_ERR_FAILED;
  rc = engine_run(ctx, rec, tokens, count, convert, gender, info);
  if (rc < 0) strio_out_clear(ctx, gender);
  return rc;
}

// ---- Exports -------------------------------------------------------------------------------

int32_t tqx_gender_determine_with_info(context* ctx, const char* gender_defn, const char* name, char* gender,
                                       gender_info* info) {
  strio_out_clear(ctx, gender);
  int32_t index = -1;
  const int32_t looked = index_by_name(ctx, gender_defn, &index);
  if (looked < 0) return looked;
  char value[kValueMax + 1];
  const int32_t in = strio_in_1024(ctx, name, value, kStrioConvert | kStrioValue);
  if (in < 0) return in;
  char result[kGenderValueMax + 1];
  const int32_t rc = gender_determine_by_index(ctx, index, value, result, info);
  if (rc < 0) return rc;
  const int32_t out = strio_out(ctx, result, gender, kGenderValueMax, kStrioConvert);
  if (out < 0) return out;
  // A positive code of the run (a parse without solution) is not returned.
  return looked > 0 ? looked : (in > 0 ? in : out);
}

int32_t tqx_gender_determine(context* ctx, const char* gender_defn, const char* name, char* gender) {
  return tqx_gender_determine_with_info(ctx, gender_defn, name, gender, nullptr);
}

int32_t tqx_gender_determine_by_index(context* ctx, int32_t index, const char* name, char* gender) {
  strio_out_clear(ctx, gender);
  char value[kValueMax + 1];
  const int32_t in = strio_in_1024(ctx, name, value, kStrioConvert | kStrioValue);
  if (in < 0) return in;
  char result[kGenderValueMax + 1];
  const int32_t rc = gender_determine_by_index(ctx, index, value, result, nullptr);
  if (rc < 0) return rc;
  const int32_t out = strio_out(ctx, result, gender, kGenderValueMax, kStrioConvert);
  if (out < 0) return out;
  return in > 0 ? in : out;
}

int32_t tqx_gender_determine_parsed_with_info(context* ctx, const char* gender_defn,
                                              const ::tq_parse_token* tokens, int32_t num_tokens, char* gender,
                                              gender_info* info) {
  strio_out_clear(ctx, gender);
  int32_t index = -1;
  const int32_t looked = index_by_name(ctx, gender_defn, &index);
  if (looked < 0) return looked;
  const int32_t rc = gender_determine_parsed(ctx, index, tokens, num_tokens, 1, gender, info);
  if (rc < 0) return rc;
  return looked > 0 ? looked : rc;
}

int32_t tqx_gender_determine_parsed(context* ctx, const char* gender_defn, const ::tq_parse_token* tokens,
                                    int32_t num_tokens, char* gender) {
  return tqx_gender_determine_parsed_with_info(ctx, gender_defn, tokens, num_tokens, gender, nullptr);
}

int32_t tqx_gender_determine_parsed_by_index(context* ctx, int32_t index, const ::tq_parse_token* tokens,
                                             int32_t num_tokens, char* gender) {
  strio_out_clear(ctx, gender);
  return gender_determine_parsed(ctx, index, tokens, num_tokens, 1, gender, nullptr);
}

}  // namespace tq
