// Accessors of standardization definitions with logic of their own; the
// plain ones are rows bound to the shared definition accessors
// (kbstore/krdefnacc.cpp).
#include "standardize/krsdefacc.h"

#include <cstring>
#include <new>
#include <vector>

#include "core/krenc.h"
#include "core/krerr.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdefnacc.h"
#include "kbstore/krdtok.h"
#include "kbstore/krindex.h"
#include "standardize/krcdef.h"
#include "standardize/krsdef.h"

namespace tq {

const field_desc kStdznTokenUseSeparator = flag_field<&dtok_rec::use_separator>("Use Separator", &kDefnTokens);
const field_desc kStdznTokenSeparator =
    text_field<&dtok_rec::separator>("Separator", &kDefnTokens, kFieldConvert);

namespace {

constexpr int32_t K = kDefnStdzn;
constexpr uint32_t kConv = kStrioConvert;
constexpr int32_t kSensLowest = 0;
constexpr int32_t kSensHighest = 100;

// Runs body(rec) on the definition taken for change and gives the hold back
// on every path.
template <typename F>
int32_t edit(context* ctx, int32_t index, F&& body) {
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t rc = defn_record_get_for_write(ctx, K, index, &rec, &held);
  if (rc < 0) return rc;
  try {
    rc = body(rec);
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  return rc_combine(rc, held.release());
}

// The same on one of its tokens.
template <typename F>
int32_t token_edit(context* ctx, int32_t index, int32_t token, F&& body) {
  dtok_rec* tok = nullptr;
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t rc = defn_token_get_for_write(ctx, K, index, token, &tok, &rec, &held);
  if (rc < 0) return rc;
  try {
    rc = stdzn_token_part(tok) != nullptr ? body(rec, tok) : TQ_ERR_PART_MISSING;
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  return rc_combine(rc, defn_token_write_end(ctx, rec, rc >= 0, held));
}

// The definition and one of its tokens for reading.
int32_t token_find(context* ctx, int32_t index, int32_t token, defn_rec** rec, dtok_rec** tok) {
  int32_t rc = defn_record_get_for_read(ctx, K, index, rec);
  if (rc < 0) return rc;
  rc = defn_token_get_for_read(ctx, K, index, token, tok);
  if (rc < 0) return rc;
  return stdzn_token_part(*tok) != nullptr ? 0 : TQ_ERR_PART_MISSING;
}

int32_t raise9(context* ctx, defn_rec* rec) { return defn_rec_version_raise(ctx, rec, kStdznVersion9); }

// ---- Case definition indices between the two index spaces ------------------------------
// A definition keeps a case definition as an index of its own locale;
// callers speak the current locale's. In edit mode a definition at depth d
// (index / 256) sees the case definitions of its own locale and above, at
// their current-space index minus d x 256. Outside edit mode an own
// definition shares the current locale's space; an inherited one's is its
// ancestor's, where the case definition is found again by name.

// The stored index as the caller's; -1 for none or one that cannot be read.
int32_t case_index_out(context* ctx, const defn_rec* rec, int32_t index, int32_t held, int32_t* out) {
  *out = -1;
  if (held < 0) return 0;
  if (ctx->edit_mode != 0) {
    *out = defn_index_rebase(index, held);
    return 0;
  }
  if (rec->locale == ctx->current_locale_code) {
    *out = held;
    return 0;
  }
  defn_rec* crec = nullptr;
  int32_t rc = stdzn_case_defn_get(ctx, rec->locale, held, &crec);
  if (rc < 0) return rc;
  rc = defn_index_get_by_name(ctx, kDefnCase, crec->name, kDefnAnySurface, out);
  if (rc < 0) *out = -1;
  return rc;
}

// The caller's index (which must name a case definition of the current
// locale: *crec) as the definition's own.
int32_t case_index_in(context* ctx, const defn_rec* rec, int32_t index, int32_t given, int32_t* held,
                      defn_rec** crec) {
  *held = -1;
  *crec = nullptr;
  int32_t rc = stdzn_case_defn_get(ctx, -1, given, crec);
  if (rc < 0) return rc;
  if (ctx->edit_mode != 0) {
    const int32_t span = static_cast<int32_t>(kKbIndexSpan);
    const int32_t depth = index / span;
    // A case definition of a locale below the definition's is out of its sight.
    if (given / span < depth) return TQ_ERR_INDEX;
    *held = given - depth * span;
    // One hidden behind another of its name would not be named after a
    // write and a load.
    return defn_held_index_check(ctx, kDefnCase, rec->locale, *held);
  }
  if (rec->locale == ctx->current_locale_code) {
    *held = given;
    return 0;
  }
  return defn_index_get_by_name_in_locale(ctx, kDefnCase, (*crec)->name, rec->locale, kDefnAnySurface, held);
}

// The name of the case definition the definition holds at `held`, given out
// in the session encoding (320 bytes).
int32_t case_name_out(context* ctx, const defn_rec* rec, int32_t held, char* name) {
  if (held < 0) return 0;
  defn_rec* crec = nullptr;
  if (stdzn_case_defn_get(ctx, rec->locale, held, &crec) < 0) return TQ_ERR_PART_MISSING;
  int32_t rc = strio_out(ctx, crec->name, name, kDefnNameMax + 1 - strio_terminator_size(ctx), kConv);
  if (rc < 0) strio_out_clear(ctx, name);
  return rc;
}

// The definition's parse definition, or -708.
int32_t parse_defn_of(context* ctx, int32_t index, defn_rec** rec) {
  int32_t rc = defn_record_get_for_read(ctx, K, index, rec);
  if (rc < 0) return rc;
  return (*rec)->parse_defn < 0 ? TQ_ERR_PART_MISSING : 0;
}

// A library name taken in (4,096 bytes).
struct lib_name_in {
  char text[kDtokRsrcNameMax + 1];
  int32_t rc;
  lib_name_in(context* ctx, const char* name) {
    text[0] = '\0';
    rc = name == nullptr ? TQ_ERR_ARGUMENT : strio_in(ctx, name, text, kDtokRsrcNameMax, kConv);
  }
};

}  // namespace

// ---- The parse definition's tokens -------------------------------------------------------

int32_t tqx_stdzn_defn_parse_defn_token_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  defn_rec* rec = nullptr;
  int32_t rc = parse_defn_of(ctx, index, &rec);
  if (rc < 0) return rc;
  return defn_token_count_get_in_locale(ctx, kDefnParse, rec->parse_defn, rec->locale, count);
}

int32_t tqx_stdzn_defn_parse_defn_token_name_get(context* ctx, int32_t index, int32_t token, char* name) {
  strio_out_clear(ctx, name);
  defn_rec* rec = nullptr;
  int32_t rc = parse_defn_of(ctx, index, &rec);
  if (rc < 0) return rc;
  return defn_token_name_get_in_locale(ctx, kDefnParse, rec->parse_defn, rec->locale, token, name);
}

int32_t tqx_stdzn_defn_parse_defn_token_key_get_by_name(context* ctx, int32_t index, const char* name,
                                                        int32_t* key) {
  *key = -1;
  defn_rec* rec = nullptr;
  int32_t rc = parse_defn_of(ctx, index, &rec);
  if (rc < 0) return rc;
  return defn_token_key_get_by_name_in_locale(ctx, kDefnParse, rec->parse_defn, rec->locale, name,
                                              kDefnNameConvert, key);
}

// ---- Case modes and case definitions of the definition ------------------------------------

int32_t tqx_stdzn_defn_case_get(context* ctx, int32_t index, uint32_t* scase) {
  *scase = kCaseUpper;
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, K, index, &rec);
  if (rc < 0) return rc;
  const stdzn_defn_kind_rec* part = stdzn_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  *scase = part->case_mode;
  return 0;
}

int32_t tqx_stdzn_defn_case_set(context* ctx, int32_t index, uint32_t scase) {
  if (case_id_is_valid(scase) == 0) return TQ_ERR_ARGUMENT;
  return edit(ctx, index, [&](defn_rec* rec) {
    stdzn_defn_kind_rec* part = stdzn_defn_part(rec);
    if (part == nullptr) return TQ_ERR_PART_MISSING;
    part->case_mode = scase;
    return 0;
  });
}

int32_t tqx_stdzn_defn_post_case_get(context* ctx, int32_t index, uint32_t* scase) {
  *scase = kCaseNone;
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, K, index, &rec);
  if (rc < 0) return rc;
  const stdzn_defn_kind_rec* part = stdzn_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  *scase = part->post_case_mode;
  return 0;
}

int32_t tqx_stdzn_defn_post_case_set(context* ctx, int32_t index, uint32_t scase) {
  if (case_id_is_valid(scase) == 0) return TQ_ERR_ARGUMENT;
  return edit(ctx, index, [&](defn_rec* rec) {
    stdzn_defn_kind_rec* part = stdzn_defn_part(rec);
    if (part == nullptr) return TQ_ERR_PART_MISSING;
    if (part->post_case_mode == scase) return 0;
    const int32_t rc = raise9(ctx, rec);
    if (rc < 0) return rc;
    part->post_case_mode = scase;
    return 0;
  });
}

namespace {

using case_member = int32_t stdzn_defn_kind_rec::*;

int32_t case_defn_index_get(context* ctx, int32_t index, case_member which, int32_t* cdefn_index) {
  *cdefn_index = -1;
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, K, index, &rec);
  if (rc < 0) return rc;
  const stdzn_defn_kind_rec* part = stdzn_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  return case_index_out(ctx, rec, index, part->*which, cdefn_index);
}

int32_t case_defn_index_set(context* ctx, int32_t index, case_member which, bool raises, int32_t cdefn_index) {
  return edit(ctx, index, [&](defn_rec* rec) {
    stdzn_defn_kind_rec* part = stdzn_defn_part(rec);
    if (part == nullptr) return TQ_ERR_PART_MISSING;
    int32_t held = -1;
    if (cdefn_index != -1) {
      defn_rec* crec = nullptr;
      const int32_t rc = case_index_in(ctx, rec, index, cdefn_index, &held, &crec);
      if (rc < 0) return rc;
    }
    if (part->*which == held) return 0;
    if (raises) {
      const int32_t rc = raise9(ctx, rec);
      if (rc < 0) return rc;
    }
    part->*which = held;
    return 0;
  });
}

int32_t case_defn_name_get(context* ctx, int32_t index, case_member which, char* name) {
  strio_out_clear(ctx, name);
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, K, index, &rec);
  if (rc < 0) return rc;
  const stdzn_defn_kind_rec* part = stdzn_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  return case_name_out(ctx, rec, part->*which, name);
}

}  // namespace

int32_t tqx_stdzn_defn_case_defn_index_get(context* ctx, int32_t index, int32_t* cdefn_index) {
  return case_defn_index_get(ctx, index, &stdzn_defn_kind_rec::case_defn, cdefn_index);
}
int32_t tqx_stdzn_defn_case_defn_index_set(context* ctx, int32_t index, int32_t cdefn_index) {
  return case_defn_index_set(ctx, index, &stdzn_defn_kind_rec::case_defn, false, cdefn_index);
}
int32_t tqx_stdzn_defn_post_case_defn_index_get(context* ctx, int32_t index, int32_t* cdefn_index) {
  return case_defn_index_get(ctx, index, &stdzn_defn_kind_rec::post_case_defn, cdefn_index);
}
int32_t tqx_stdzn_defn_post_case_defn_index_set(context* ctx, int32_t index, int32_t cdefn_index) {
  // "Postprocessing Caseorithm" came with "9.0".
  return case_defn_index_set(ctx, index, &stdzn_defn_kind_rec::post_case_defn, true, cdefn_index);
}
int32_t tqx_stdzn_defn_case_defn_name_get(context* ctx, int32_t index, char* name) {
  return case_defn_name_get(ctx, index, &stdzn_defn_kind_rec::case_defn, name);
}
int32_t tqx_stdzn_defn_post_case_defn_name_get(context* ctx, int32_t index, char* name) {
  return case_defn_name_get(ctx, index, &stdzn_defn_kind_rec::post_case_defn, name);
}

// ---- Tokens ------------------------------------------------------------------------------

int32_t tqx_stdzn_defn_token_add(context* ctx, int32_t index, int32_t* token_index) {
  *token_index = -1;
  return edit(ctx, index, [&](defn_rec* rec) {
    // Without its datatype (gone from the locale) the token is still added.
    defn_token_owner owner;
    (void)defn_token_owner_get(ctx, rec, &owner);
    int32_t at = -1;
    const int32_t rc = dtok_list_add(ctx, owner.owner, &rec->tokens, &at);
    if (rc < 0) return rc;
    stdzn_token_kind_rec* part = stdzn_token_part(rec->tokens.items[static_cast<size_t>(at)].get());
    if (part != nullptr) {
      part->case_set = 1;
      part->case_mode = kCaseNone;
      part->locale = rec->locale;
    }
    *token_index = at;
    return rc;
  });
}

int32_t tqx_stdzn_defn_token_case_get(context* ctx, int32_t index, int32_t token, uint32_t* scase) {
  *scase = kCaseNone;
  defn_rec* rec = nullptr;
  dtok_rec* tok = nullptr;
  const int32_t rc = token_find(ctx, index, token, &rec, &tok);
  if (rc < 0) return rc;
  *scase = stdzn_token_case_mode(rec, tok);
  return 0;
}

int32_t tqx_stdzn_defn_token_case_set(context* ctx, int32_t index, int32_t token, uint32_t scase) {
  if (case_id_is_valid(scase) == 0) return TQ_ERR_ARGUMENT;
  return token_edit(ctx, index, token, [&](defn_rec*, dtok_rec* tok) {
    stdzn_token_kind_rec* part = stdzn_token_part(tok);
    part->case_mode = scase;
    part->case_set = 1;
    return 0;
  });
}

int32_t tqx_stdzn_defn_token_case_defn_index_get(context* ctx, int32_t index, int32_t token, int32_t* cdefn_index) {
  *cdefn_index = -1;
  defn_rec* rec = nullptr;
  dtok_rec* tok = nullptr;
  const int32_t rc = token_find(ctx, index, token, &rec, &tok);
  if (rc < 0) return rc;
  return case_index_out(ctx, rec, index, stdzn_token_case_defn(rec, tok), cdefn_index);
}

int32_t tqx_stdzn_defn_token_case_defn_index_set(context* ctx, int32_t index, int32_t token, int32_t cdefn_index) {
  return token_edit(ctx, index, token, [&](defn_rec* rec, dtok_rec* tok) {
    stdzn_token_kind_rec* part = stdzn_token_part(tok);
    int32_t held = -1;
    if (cdefn_index != -1) {
      defn_rec* crec = nullptr;
      const int32_t rc = case_index_in(ctx, rec, index, cdefn_index, &held, &crec);
      if (rc < 0) return rc;
      // The token's case definition must make the token's case.
      const case_defn_kind_rec* cpart = case_defn_part(crec);
      if (cpart == nullptr || cpart->target_case != stdzn_token_case_mode(rec, tok)) return TQ_ERR_ARGUMENT;
    }
    part->case_defn = held;
    part->locale = rec->locale;
    return 0;
  });
}

int32_t tqx_stdzn_defn_token_regexlib_add(context* ctx, int32_t index, int32_t token, const char* name) {
  return defn_token_regexlib_add(ctx, K, index, token, name, kSensHighest, kSensLowest);
}

int32_t tqx_stdzn_defn_token_scheme_add(context* ctx, int32_t index, int32_t token, const char* name,
                                        uint32_t options) {
  return defn_token_stdz_scheme_add(ctx, K, index, token, name, options, 0, kSensHighest, kSensLowest);
}

int32_t tqx_stdzn_defn_token_scheme_info_set(context* ctx, int32_t index, int32_t token, int32_t entry,
                                             const char* name, uint32_t options) {
  return defn_token_stdz_scheme_info_set(ctx, K, index, token, entry, name, options, -1, -1, -1);
}

// ---- Transformation regex libraries -------------------------------------------------------

int32_t tqx_stdzn_defn_token_trans_regexlib_count_get(context* ctx, int32_t index, int32_t token, uint32_t* count) {
  *count = 0;
  defn_rec* rec = nullptr;
  dtok_rec* tok = nullptr;
  const int32_t rc = token_find(ctx, index, token, &rec, &tok);
  if (rc < 0) return rc;
  *count = static_cast<uint32_t>(stdzn_token_part(tok)->trans.size());
  return 0;
}

int32_t tqx_stdzn_defn_token_trans_regexlib_name_get(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                     char* name) {
  strio_out_clear(ctx, name);
  defn_rec* rec = nullptr;
  dtok_rec* tok = nullptr;
  int32_t rc = token_find(ctx, index, token, &rec, &tok);
  if (rc < 0) return rc;
  if (entry < 0) return TQ_ERR_INDEX;
  char utf8[kRsrcNameSize];
  rc = stdzn_token_trans_name_get(ctx, tok, static_cast<uint32_t>(entry), utf8, sizeof utf8);
  if (rc < 0) return rc;
  rc = strio_out(ctx, utf8, name, kDtokRsrcNameMax, kConv);
  if (rc < 0) strio_out_clear(ctx, name);
  return rc;
}

int32_t tqx_stdzn_defn_token_trans_regexlib_name_set(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                     const char* name) {
  // A name that cannot be converted is refused before anything is taken.
  const lib_name_in in(ctx, name);
  if (in.rc < 0) return in.rc;
  const int32_t rc = token_edit(ctx, index, token, [&](defn_rec* rec, dtok_rec* tok) {
    if (entry < 0) return TQ_ERR_INDEX;
    bool changed = false;
    int32_t r = stdzn_token_trans_set(ctx, tok, static_cast<uint32_t>(entry), in.text, &changed);
    if (r >= 0 && changed) r = rc_combine(r, raise9(ctx, rec));
    return r;
  });
  return rc < 0 ? rc : rc_combine(in.rc, rc);
}

int32_t tqx_stdzn_defn_token_trans_regexlibs_delete_all(context* ctx, int32_t index, int32_t token) {
  return token_edit(ctx, index, token, [&](defn_rec* rec, dtok_rec* tok) {
    if (stdzn_token_part(tok)->trans.empty()) return 0;
    const int32_t rc = raise9(ctx, rec);
    if (rc < 0) return rc;
    stdzn_token_trans_delete_all(ctx, tok);
    return 0;
  });
}

int32_t tqx_stdzn_defn_token_trans_regexlib_add(context* ctx, int32_t index, int32_t token, const char* name) {
  const lib_name_in in(ctx, name);
  if (in.rc < 0) return in.rc;
  const int32_t rc = token_edit(ctx, index, token, [&](defn_rec* rec, dtok_rec* tok) {
    int32_t r = stdzn_token_trans_add(ctx, tok, in.text);
    if (r >= 0) r = rc_combine(r, raise9(ctx, rec));
    return r;
  });
  return rc < 0 ? rc : rc_combine(in.rc, rc);
}

}  // namespace tq
