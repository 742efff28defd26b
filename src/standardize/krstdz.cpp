#include "standardize/krstdz.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/krcaseloc.h"
#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "core/krvec.h"
#include "core/krzel.h"
#include "parse/krpdef.h"
#include "platform/nputf8.h"
#include "resources/krregx.h"
#include "standardize/krcaseop.h"
#include "standardize/krcdef.h"
#include "standardize/krsdef.h"
#include "standardize/krstctx.h"
#include "standardize/krtslot.h"

namespace tq {

namespace {

// The casing cores take their output size with the terminator: a token or
// joined value of the engines' whole length is cased whole.
constexpr int64_t kCaseCoreSize = kStdznTextSize;

// The slot blocks hold 32 tokens; a definition never reaches past them.
uint32_t token_limit(const defn_rec* rec) { return std::min(rec->tokens.count(), kParseSlots); }

// Recording allocates; a record that cannot be made marks the run, which
// then ends with -600 once its output is complete.
struct recorder {
  stand_info* info;
  bool failed = false;
  void put(std::string& to, const char* from) {
    try {
      to.assign(from);
    } catch (const std::bad_alloc&) {
      failed = true;
    }
  }
  void put(stand_info::entry* e, uint32_t matched, const char* text) {
    if (e == nullptr) return;
    e->matched = matched;
    put(e->text, text);
  }
};

stand_info::entry* entry_at(std::vector<stand_info::entry>* list, size_t j) {
  return list != nullptr && j < list->size() ? &(*list)[j] : nullptr;
}

// Cases `in` by `mode` under the case definition at `case_index` of the
// definition's own locale (-1: none) into `out` (kStdznTextSize bytes).
// Mode 0, or any other value than 1..3, copies.
int32_t case_by_mode(context* ctx, const defn_rec* rec, uint32_t mode, int32_t case_index, const char* in,
                     char* out) {
  if (mode < kCaseUpper || mode > kCaseProper) {
    np_uchar_bufcopy(out, in, kStdznTextSize);
    return 0;
  }
  defn_rec* crec = nullptr;
  if (case_index != -1) {
    const int32_t rc = stdzn_case_defn_get(ctx, rec->locale, case_index, &crec);
    if (rc < 0) return rc;
  }
  switch (mode) {
    case kCaseUpper:
      return case_upper_with_defn(ctx, crec, in, out, kCaseCoreSize, 0, nullptr);
    case kCaseLower:
      return case_lower_with_defn(ctx, crec, in, out, kCaseCoreSize, 0, nullptr);
    default:
      return case_proper_with_defn(ctx, crec, in, out, kCaseCoreSize, 0, nullptr);
  }
}

// What whole-string casing applies: the tokens' own case fields, whatever
// their case-set flag, when all share the first token's mode; their shared
// case definition, else the definition's. False when the joined text stays
// as it is.
bool whole_string_pick(const defn_rec* rec, uint32_t* mode, int32_t* case_index) {
  const stdzn_defn_kind_rec* part = stdzn_defn_part(rec);
  if (part == nullptr || rec->tokens.count() == 0) return false;
  const stdzn_token_kind_rec* first = stdzn_token_part(rec->tokens.items[0].get());
  if (first == nullptr) return false;
  bool same_defn = true;
  for (const auto& tok : rec->tokens.items) {
    const stdzn_token_kind_rec* t = stdzn_token_part(tok.get());
    if (t == nullptr || t->case_mode != first->case_mode) return false;
    if (t->case_defn != first->case_defn) same_defn = false;
  }
  *mode = first->case_mode;
  *case_index = same_defn ? first->case_defn : part->case_defn;
  return true;
}

int32_t whole_string_case(context* ctx, const defn_rec* rec, const char* joined, char* out) {
  out[0] = '\0';
  uint32_t mode = kCaseNone;
  int32_t case_index = -1;
  if (!whole_string_pick(rec, &mode, &case_index)) {
    np_uchar_bufcopy(out, joined, kStdznTextSize);
    return 0;
  }
  return case_by_mode(ctx, rec, mode, case_index, joined, out);
}

// The postprocessing case's mode and case definition (its own, else the
// definition's).
void post_case_pick(const stdzn_defn_kind_rec* part, uint32_t* mode, int32_t* case_index) {
  *mode = part->post_case_mode;
  *case_index = part->post_case_defn != -1 ? part->post_case_defn : part->case_defn;
}

// A regex library in place on the value; the stand info entry gets the
// flag and the value after it.
int32_t regex_step(context* ctx, int32_t index, char* value, stand_info::entry* e, recorder& rec_info) {
  regexlib_rec* lib = nullptr;
  int32_t rc = regexlib_get(ctx, index, &lib);
  if (rc < 0) return rc;
  char out[kRegexResultSize];
  rc = regexlib_replace_all(ctx, lib, value, out, 0);
  if (rc < 0) return rc;
  if (rc > 0) strio_copy_noted(ctx, "a regex library's result", value, out, kStdznTextSize);
  rec_info.put(e, rc > 0 ? 1 : 0, value);
  return 0;
}

// The token's schemes in turn, each on the previous one's result. One pool
// block holds the output pointer for all of them.
int32_t scheme_steps(context* ctx, stdzn_work_area* area, const dtok_rec* tok, char* value,
                     std::vector<stand_info::entry>* entries, recorder& rec_info) {
  if (tok->schemes.empty()) return 0;
  void* block = nullptr;
  int32_t rc = scheme_pool_block_take(&area->pool, &block);
  if (rc < 0) return rc;
  char** outputs = static_cast<char**>(block);
  char out[kStdznTextSize];
  for (size_t j = 0; j < tok->schemes.size() && rc >= 0; ++j) {
    scheme_rec* scheme = nullptr;
    rc = scheme_get(ctx, tok->schemes[j].scheme.index(), &scheme);
    if (rc < 0) break;
    outputs[0] = out;
    out[0] = '\0';
    uint32_t count = 0;
    int32_t found = 0;
    rc = scheme_apply(ctx, scheme, value, 1, kStdznTextSize, 0, 0, outputs, &count, &found);
    if (rc < 0) break;
    const bool changed = count > 0 && std::strcmp(out, value) != 0;
    if (count > 0) np_uchar_bufcopy(value, out, kStdznTextSize);
    rec_info.put(entry_at(entries, j), changed ? 1 : 0, value);
  }
  (void)scheme_pool_block_return(&area->pool);
  return rc < 0 ? rc : 0;
}

// Sets up the stand info's tables for every token of the definition.
int32_t info_tables_make(const defn_rec* rec, stand_info* info) {
  try {
    const uint32_t n = token_limit(rec);
    info->tokens.assign(n, stand_info::token{});
    for (uint32_t i = 0; i < n; ++i) {
      const dtok_rec* tok = rec->tokens.items[i].get();
      const stdzn_token_kind_rec* t = stdzn_token_part(tok);
      info->tokens[i].normalization.resize(tok->regexlibs.size());
      info->tokens[i].schemes.resize(tok->schemes.size());
      info->tokens[i].transformation.resize(t != nullptr ? t->trans.size() : 0);
    }
  } catch (const std::bad_alloc&) {
    info->tokens.clear();
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

// The steps of every token of the definition on its slot, in place.
int32_t tokens_apply(context* ctx, const defn_rec* rec, stdzn_work_area* area, parse_token_slot* slots,
                     recorder& rec_info) {
  stand_info* info = rec_info.info;
  if (info != nullptr) {
    const int32_t rc = info_tables_make(rec, info);
    if (rc < 0) return rc;
  }
  const uint32_t n = token_limit(rec);
  for (uint32_t i = 0; i < n; ++i) {
    const dtok_rec* tok = rec->tokens.items[i].get();
    const stdzn_token_kind_rec* t = stdzn_token_part(tok);
    char* value = slots[i].value;
    stand_info::token* it = info != nullptr ? &info->tokens[i] : nullptr;
    if (it != nullptr) {
      rec_info.put(it->name, tok->name);
      rec_info.put(it->input, value);
    }
    str_trim(value);
    if (tok->automatic_uppercasing != 0) {
      case_upper_current_locale_noted(ctx, value, kStdznTextSize, "a token's uppercased value");
    }
    if (it != nullptr) rec_info.put(it->uppercased, value);
    for (size_t j = 0; j < tok->regexlibs.size(); ++j) {
      const int32_t rc = regex_step(ctx, tok->regexlibs[j].lib.index(), value,
                                    it != nullptr ? entry_at(&it->normalization, j) : nullptr, rec_info);
      if (rc < 0) return rc;
    }
    str_trim(value);
    if (it != nullptr) rec_info.put(it->normalized, value);
    int32_t rc = scheme_steps(ctx, area, tok, value, it != nullptr ? &it->schemes : nullptr, rec_info);
    if (rc < 0) return rc;
    if (it != nullptr) rec_info.put(it->standardized, value);
    const size_t trans = t != nullptr ? t->trans.size() : 0;
    for (size_t j = 0; j < trans; ++j) {
      rc = regex_step(ctx, t->trans[j].index(), value, it != nullptr ? entry_at(&it->transformation, j) : nullptr,
                      rec_info);
      if (rc < 0) return rc;
    }
    str_trim(value);
    if (it != nullptr) rec_info.put(it->transformed, value);
    const uint32_t mode = stdzn_token_case_mode(rec, tok);
    char cased[kStdznTextSize];
    rc = case_by_mode(ctx, rec, mode, stdzn_token_case_defn(rec, tok), value, cased);
    if (rc < 0) return rc;
    np_uchar_bufcopy(value, cased, kStdznTextSize);
    if (it != nullptr) {
      rec_info.put(it->cased, value);
      it->cased_flag = mode != kCaseNone ? 1 : 0;
    }
  }
  return 0;
}

// The joined text in a buffer of kStdznTextSize bytes: its pieces in turn
// while they fit, the first that does not cut between characters, and
// nothing after it, so that the result is the start of the whole join. A
// separator that would leave no room for its token is left out with it.
struct join_text {
  char* out;
  uint32_t pos = 0;
  uint64_t whole = 0;  // bytes of the whole join
  bool cut = false;
  void put(const char* text, size_t len) {
    whole += len;
    if (cut) return;
    if (pos + len <= kStdznTextMax) {
      std::memcpy(out + pos, text, len);
      pos += static_cast<uint32_t>(len);
      return;
    }
    const size_t fit = np_uchar_cut(text, kStdznTextMax - pos);
    std::memcpy(out + pos, text, fit);
    pos += static_cast<uint32_t>(fit);
    cut = true;
  }
  void put_separator(const char* text, size_t len) {
    if (!cut && pos + len >= kStdznTextMax) cut = true;
    put(text, len);
  }
};

// Joins the values of the first `count` slots (never more than the
// definition's tokens) into `out` (kStdznTextSize bytes), each token after
// its separator, within 1,024 bytes; a longer join is cut and the cut
// recorded. The stand info keeps the result.
void tokens_join(context* ctx, const defn_rec* rec, const parse_token_slot* slots, uint32_t count, char* out,
                 recorder& rec_info) {
  count = std::min(count, token_limit(rec));
  join_text join{out};
  for (uint32_t i = 0; i < count; ++i) {
    const char* value = slots[i].value;
    if (value[0] == '\0') continue;
    const dtok_rec* tok = rec->tokens.items[i].get();
    if (join.whole > 0 && tok->use_separator != 0) {
      const size_t len = std::strlen(tok->separator);
      if (len > 0) {
        join.put_separator(tok->separator, len);
      } else {
        join.put_separator(" ", 1);
      }
    }
    join.put(value, std::strlen(value));
  }
  out[join.pos] = '\0';
  if (join.cut) strio_note_inside_cut(ctx, "the joined text", join.pos, join.whole);
  if (rec_info.info != nullptr) rec_info.put(rec_info.info->precased, out);
}

void info_reset(stand_info* info) {
  if (info != nullptr) *info = stand_info{};
}

int32_t definition_part_check(context* ctx, const defn_rec* rec) {
  const int32_t rc = defn_rec_check_usable(ctx, rec);
  if (rc < 0) return rc;
  return stdzn_defn_part(rec) == nullptr ? TQ_ERR_DEFN_INVALID : 0;
}

void standard_clear(context* ctx, char* standard, uint32_t convert) {
  if ((convert & kStrioConvert) != 0) {
    strio_out_clear_n(ctx, standard, kStdznStandardSize);
  } else {
    standard[0] = '\0';
  }
}

int32_t first_positive(std::initializer_list<int32_t> results) {
  for (int32_t r : results) {
    if (r > 0) return r;
  }
  return 0;
}

}  // namespace

// ---- Work area ----------------------------------------------------------------------------

int32_t stdzn_work_area_create(context* ctx) {
  auto* area = big_new<stdzn_work_area>();
  if (area == nullptr) return TQ_ERR_NO_MEMORY;
  for (uint32_t i = 0; i < kParseSlots; ++i) {
    area->parsed[i].index = area->tokens[i].index = -1;
    area->parsed[i].value[0] = area->tokens[i].value[0] = '\0';
  }
  scheme_pool_init(ctx, &area->pool);
  area->ready = 1;
  ctx->stdzn_work_area = area;
  return 0;
}

void stdzn_work_area_free(context* ctx) {
  stdzn_work_area* area = ctx->stdzn_work_area;
  if (area == nullptr) return;
  if (area->ready != 0) scheme_pool_free(ctx, &area->pool);
  big_delete(area);
  ctx->stdzn_work_area = nullptr;
}

// ---- The engine ---------------------------------------------------------------------------

int32_t stdzn_engine_run(context* ctx, defn_rec* rec, stdzn_work_area* area, const char* input, char* output,
                         stand_info* info) {
  output[0] = '\0';
  info_reset(info);
  int32_t rc = definition_part_check(ctx, rec);
  if (rc < 0) return rc;
  const stdzn_defn_kind_rec* part = stdzn_defn_part(rec);
  for (parse_token_slot& slot : area->tokens) slot.value[0] = '\0';
  recorder rec_info{info};
  int32_t parsed = 0;
  uint32_t count = 1;
  if (rec->parse_defn != -1) {
    defn_rec* prec = nullptr;
    rc = defn_record_get_for_read_in_locale(ctx, kDefnParse, rec->locale, rec->parse_defn, &prec);
    if (rc < 0) return rc;
    parsed = parse_defn_run(ctx, prec, input, area->parsed, &count, nullptr);
    if (parsed < 0) return parsed;
  }
  // No solution, or the parse stopped at its limit: the value is one string.
  const bool whole = parsed == TQ_WARN_NO_SOLUTION || parsed == TQ_WARN_LIMIT_REACHED;
  if (info != nullptr && whole) info->whole_string = 1;
  if (rec->parse_defn != -1 && !whole) {
    match_token_slots_fill(area->tokens, rec, count, area->parsed);
  } else {
    count = 1;
    area->tokens[0].index = 0;
    np_uchar_bufcopy(area->tokens[0].value, input, kStdznTextSize);
  }
  if (!whole) {
    rc = tokens_apply(ctx, rec, area, area->tokens, rec_info);
    if (rc < 0) return rc;
  }
  char joined[kStdznTextSize];
  tokens_join(ctx, rec, area->tokens, count, joined, rec_info);
  if (whole) {
    rc = whole_string_case(ctx, rec, joined, output);
    if (rc < 0) return rc;
  } else {
    np_uchar_bufcopy(output, joined, kStdznTextSize);
  }
  if (info != nullptr) rec_info.put(info->pre_postcased, output);
  uint32_t post_mode = kCaseNone;
  int32_t post_index = -1;
  post_case_pick(part, &post_mode, &post_index);
  if (post_mode != kCaseNone) {
    char cased[kStdznTextSize];
    rc = case_by_mode(ctx, rec, post_mode, post_index, output, cased);
    if (rc < 0) return rc;
    np_uchar_bufcopy(output, cased, kStdznTextSize);
  }
  if (rec_info.failed) return TQ_ERR_NO_MEMORY;
  if (std::strcmp(output, input) == 0) return TQ_WARN_OUTPUT_EQUALS_INPUT;
  return parsed > 0 ? parsed : 0;
}

int32_t stdzn_parsed_engine_run(context* ctx, defn_rec* rec, stdzn_work_area* area, const parse_token_slot* slots,
                                uint32_t count, char* output, stand_info* info) {
  output[0] = '\0';
  info_reset(info);
  int32_t rc = definition_part_check(ctx, rec);
  if (rc < 0) return rc;
  if (defn_rec_parsed_input_get(ctx, rec) == 0) return TQ_ERR_FAILED;
  recorder rec_info{info};
  match_token_slots_fill(area->tokens, rec, std::min(count, kParseSlots), slots);
  rc = tokens_apply(ctx, rec, area, area->tokens, rec_info);
  if (rc < 0) return rc;
  tokens_join(ctx, rec, area->tokens, token_limit(rec), output, rec_info);
  if (info != nullptr) rec_info.put(info->pre_postcased, output);
  return rec_info.failed ? TQ_ERR_NO_MEMORY : 0;
}

int32_t stdzn_value_run(context* ctx, int32_t index, const char* data, char* standard, uint32_t convert,
                        stand_info* info) {
  if (int32_t claimed = shared_state_write_claim_for(ctx, info); claimed != 0) return claimed;
  standard_clear(ctx, standard, convert);
  // The info tells of this call only, even when the definition is refused.
  info_reset(info);
  stdzn_work_area* area = nullptr;
  const int32_t made = stdzn_work_area_get(ctx, &area);
  if (made != 0) return made;
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, kDefnStdzn, index, &rec);
  if (rc < 0) return rc;
  char text[kStdznTextSize];
  const int32_t input = strio_in(ctx, data, text, kStdznTextMax, convert | kStrioValue);
  if (input < 0) return input;
  char out[kStdznTextSize];
  const int32_t engine = stdzn_engine_run(ctx, rec, area, text, out, info);
  if (engine < 0) return engine;
  const int32_t output = strio_out_sized(ctx, out, standard, kStdznStandardSize, convert);
  if (output < 0) return output;
  return first_positive({input, engine, output});
}

int32_t stdzn_parsed_value_run(context* ctx, int32_t index, const parse_token_slot* tokens, uint32_t count,
                               uint32_t convert, char* standard, stand_info* info) {
  if (int32_t claimed = shared_state_write_claim_for(ctx, info); claimed != 0) return claimed;
  standard_clear(ctx, standard, convert);
  // The info tells of this call only, even when the definition is refused.
  info_reset(info);
  stdzn_work_area* area = nullptr;
  const int32_t made = stdzn_work_area_get(ctx, &area);
  if (made != 0) return made;
  if (count > kParseSlots) {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "'num_tokens' is more than 32.");
    return TQ_ERR_ARGUMENT;
  }
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, kDefnStdzn, index, &rec);
  if (rc < 0) return rc;
  // The caller's tokens go into the block a parse would fill.
  int32_t input = 0;
  for (uint32_t k = 0; k < count; ++k) {
    area->parsed[k].index = tokens[k].index;
    rc = strio_in(ctx, tokens[k].value, area->parsed[k].value, kStdznTextMax, convert | kStrioValue);
    if (rc < 0) return rc;
    if (rc > 0) input = rc;
  }
  char out[kStdznTextSize];
  rc = stdzn_parsed_engine_run(ctx, rec, area, area->parsed, count, out, info);
  if (rc < 0) return rc;
  const int32_t output = strio_out_sized(ctx, out, standard, kStdznStandardSize, convert);
  if (output < 0) return output;
  return first_positive({input, output});
}

// ---- Exports ------------------------------------------------------------------------------

namespace {

int32_t index_by_name(context* ctx, const char* name, int32_t* index) {
  return defn_index_get_by_name(ctx, kDefnStdzn, name, kDefnNameConvert, index);
}

}  // namespace

int32_t standardize(context* ctx, const char* stdzn_defn, const char* data, char* standard) {
  return standardize_with_info(ctx, stdzn_defn, data, standard, nullptr);
}

int32_t standardize_by_index(context* ctx, int32_t index, const char* data, char* standard) {
  return stdzn_value_run(ctx, index, data, standard, kStrioConvert, nullptr);
}

int32_t standardize_with_info(context* ctx, const char* stdzn_defn, const char* data, char* standard,
                              stand_info* info) {
  strio_out_clear_n(ctx, standard, kStdznStandardSize);
  int32_t index = -1;
  const int32_t rc = index_by_name(ctx, stdzn_defn, &index);
  if (rc < 0) return rc;
  return stdzn_value_run(ctx, index, data, standard, kStrioConvert, info);
}

int32_t standardize_by_index_with_info(context* ctx, int32_t index, const char* data, char* standard,
                                       stand_info* info) {
  return stdzn_value_run(ctx, index, data, standard, kStrioConvert, info);
}

int32_t standardize_parsed(context* ctx, const char* stdzn_defn, const parse_token_slot* input_array,
                           uint32_t num_tokens, char* standard) {
  return standardize_parsed_with_info(ctx, stdzn_defn, input_array, num_tokens, standard, nullptr);
}

int32_t standardize_parsed_by_index(context* ctx, int32_t index, const parse_token_slot* input_array,
                                    uint32_t num_tokens, char* standard) {
  return stdzn_parsed_value_run(ctx, index, input_array, num_tokens, kStrioConvert, standard, nullptr);
}

int32_t standardize_parsed_with_info(context* ctx, const char* stdzn_defn, const parse_token_slot* input_array,
                                     uint32_t num_tokens, char* standard, stand_info* info) {
  strio_out_clear_n(ctx, standard, kStdznStandardSize);
  int32_t index = -1;
  const int32_t rc = index_by_name(ctx, stdzn_defn, &index);
  if (rc < 0) return rc;
  return stdzn_parsed_value_run(ctx, index, input_array, num_tokens, kStrioConvert, standard, info);
}

}  // namespace tq
