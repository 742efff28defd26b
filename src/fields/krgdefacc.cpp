// Accessors of gender analysis definitions with logic of their own; the
// plain ones are rows bound to the shared definition accessors
// (kbstore/krdefnacc.cpp). The changes to the kind's parts themselves (cuts,
// the register-first swap of a library entry) are the kind's own
// (fields/krgdef.h); what is here converts texts, finds the record and
// keeps the hold discipline.
#include "fields/krgdefacc.h"

#include <cstring>
#include <new>
#include <utility>

#include "core/krenc.h"
#include "core/krerr.h"
#include "fields/krgdef.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdefnacc.h"
#include "kbstore/krlib.h"

namespace tq {

namespace {

constexpr int32_t K = kDefnGender;
constexpr uint32_t kTextInMax = 1024;  // the room for a value, category or description taken in
constexpr uint32_t kNameMax = 4096;    // a library name taken in or given out

// A text the kind keeps in `max` bytes (a gender value 4, a category 80, a
// description 1,024): a longer one is refused, not cut.
int32_t text_in(context* ctx, const char* text, char (&out)[kTextInMax + 1], uint32_t max) {
  return strio_in(ctx, text, out, max, kStrioConvert);
}

// Runs body(rec, part) on the definition taken for change and gives the
// hold back on every path.
template <typename F>
int32_t edit_defn(context* ctx, int32_t index, F&& body) {
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t rc = defn_record_get_for_write(ctx, K, index, &rec, &held);
  if (rc < 0) return rc;
  try {
    gender_defn_kind_rec* part = gender_defn_part(rec);
    rc = part == nullptr ? TQ_ERR_INDEX : body(rec, part);
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  return rc_combine(rc, held.release());
}

template <typename F>
int32_t read_defn(context* ctx, int32_t index, F&& body) {
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, K, index, &rec);
  if (rc < 0) return rc;
  const gender_defn_kind_rec* part = gender_defn_part(rec);
  return part == nullptr ? TQ_ERR_INDEX : body(rec, part);
}

// The same for a token: body(tok, part) under the write hold, which
// defn_token_write_end gives back after the change.
template <typename F>
int32_t edit_token(context* ctx, int32_t index, int32_t token, F&& body) {
  dtok_rec* tok = nullptr;
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t rc = defn_token_get_for_write(ctx, K, index, token, &tok, &rec, &held);
  if (rc < 0) return rc;
  try {
    gender_token_kind_rec* part = gender_token_part(tok);
    rc = part == nullptr ? TQ_ERR_INDEX : body(tok, part);
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  return rc_combine(rc, defn_token_write_end(ctx, rec, rc >= 0, held));
}

template <typename F>
int32_t read_token(context* ctx, int32_t index, int32_t token, F&& body) {
  dtok_rec* tok = nullptr;
  int32_t rc = defn_token_get_for_read(ctx, K, index, token, &tok);
  if (rc < 0) return rc;
  const gender_token_kind_rec* part = gender_token_part(tok);
  return part == nullptr ? TQ_ERR_INDEX : body(tok, part);
}

bool out_of_range(int32_t position, size_t count) {
  return position < 0 || static_cast<size_t>(position) >= count;
}

// Two texts given out (a value of 4 bytes and another text); both empty on
// failure. The first text's positive code wins, else the second's.
int32_t pair_out(context* ctx, const char* first, char* first_out, uint32_t first_max, const char* second,
                 char* second_out, uint32_t second_max) {
  const int32_t a = strio_out(ctx, first, first_out, first_max, kStrioConvert);
  const int32_t b = a < 0 ? a : strio_out(ctx, second, second_out, second_max, kStrioConvert);
  if (a < 0 || b < 0) {
    strio_out_clear(ctx, first_out);
    strio_out_clear(ctx, second_out);
  }
  return rc_combine(a, b);
}

// The parse definition a gender definition names, as (index, locale) in
// the gender definition's own locale; -708 when it names none.
int32_t named_parse_defn(context* ctx, int32_t index, int32_t* parse, int32_t* locale) {
  *parse = -1;
  *locale = -1;
  defn_rec* rec = nullptr;
  const int32_t rc = defn_record_get_for_read(ctx, K, index, &rec);
  if (rc < 0) return rc;
  if (rec->parse_defn < 0) return TQ_ERR_PART_MISSING;
  *parse = rec->parse_defn;
  *locale = rec->locale;
  return 0;
}

}  // namespace

// ---- Lookup ---------------------------------------------------------------------------------

int32_t tqx_gender_defn_index_get_default(context* ctx, int32_t* index) {
  const uint32_t mark = ctx->errors.count;
  int32_t rc = defn_index_get_by_name(ctx, K, "Name", 0, index);
  if (rc != TQ_ERR_NAME) return rc;
  rc = defn_index_get_by_name(ctx, K, "Gender", 0, index);
  // Found under the second name: the first name's miss was no failure of
  // the call, and leaves no message. When neither is there, both say so.
  if (rc >= 0) err_list_truncate(ctx, mark);
  return rc;
}

// ---- The named parse definition -----------------------------------------------------------

int32_t tqx_gender_defn_parse_defn_token_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  int32_t parse = -1, locale = -1;
  int32_t rc = named_parse_defn(ctx, index, &parse, &locale);
  if (rc < 0) return rc;
  rc = defn_token_count_get_in_locale(ctx, kDefnParse, parse, locale, count);
  return rc < 0 ? rc : 0;
}

int32_t tqx_gender_defn_parse_defn_token_name_get(context* ctx, int32_t index, int32_t token, char* name) {
  strio_out_clear(ctx, name);
  int32_t parse = -1, locale = -1;
  int32_t rc = named_parse_defn(ctx, index, &parse, &locale);
  if (rc < 0) return rc;
  rc = defn_token_name_get_in_locale(ctx, kDefnParse, parse, locale, token, name);
  return rc < 0 ? rc : 0;
}

int32_t tqx_gender_defn_parse_defn_token_key_get_by_name(context* ctx, int32_t index, const char* name,
                                                         int32_t* key) {
  *key = -1;
  int32_t parse = -1, locale = -1;
  const int32_t rc = named_parse_defn(ctx, index, &parse, &locale);
  if (rc < 0) return rc;
  return defn_token_key_get_by_name_in_locale(ctx, kDefnParse, parse, locale, name, kDefnNameConvert, key);
}

// ---- Gender values ------------------------------------------------------------------------

int32_t tqx_gender_defn_value_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  return read_defn(ctx, index, [&](const defn_rec*, const gender_defn_kind_rec* part) {
    *count = static_cast<uint32_t>(part->values.size());
    return 0;
  });
}

int32_t tqx_gender_defn_value_info_get(context* ctx, int32_t index, int32_t value_index, char* value, char* desc,
                                       uint32_t* dflt_flag) {
  strio_out_clear(ctx, value);
  strio_out_clear(ctx, desc);
  *dflt_flag = 0;
  return read_defn(ctx, index, [&](const defn_rec*, const gender_defn_kind_rec* part) {
    if (out_of_range(value_index, part->values.size())) return TQ_ERR_INDEX;
    const gender_value& v = part->values[static_cast<size_t>(value_index)];
    const int32_t rc = pair_out(ctx, v.value, value, kGenderValueMax, v.desc, desc, kGenderDescMax);
    if (rc >= 0) *dflt_flag = static_cast<uint32_t>(v.dflt);
    return rc;
  });
}

int32_t tqx_gender_defn_value_add(context* ctx, int32_t index, const char* value, const char* desc,
                                  uint32_t dflt_flag) {
  char v[kTextInMax + 1], d[kTextInMax + 1];
  const int32_t cv = text_in(ctx, value, v, kGenderValueMax);
  if (cv < 0) return cv;
  const int32_t cd = text_in(ctx, desc, d, kGenderDescMax);
  if (cd < 0) return cd;
  if (v[0] == '\0') return TQ_ERR_ARGUMENT;
  const int32_t rc = edit_defn(ctx, index, [&](defn_rec* rec, gender_defn_kind_rec*) {
    return gender_value_add(ctx, rec, v, d, static_cast<int32_t>(dflt_flag));
  });
  return rc_combine(rc, rc_combine(cv, cd));
}

int32_t tqx_gender_defn_values_delete_all(context* ctx, int32_t index) {
  return edit_defn(ctx, index, [&](defn_rec* rec, gender_defn_kind_rec*) { return gender_values_delete_all(ctx, rec); });
}

// ---- Normalization, single form -----------------------------------------------------------

int32_t tqx_gender_defn_normalization_regexlib_name_get(context* ctx, int32_t index, char* name) {
  strio_out_clear(ctx, name);
  uint32_t count = 0;
  const int32_t rc = defn_normalization_regexlib_count_get(ctx, K, index, &count);
  if (rc < 0) return rc;
  if (count == 0) return 0;
  return defn_normalization_regexlib_name_get_by_index(ctx, K, index, 0, name);
}

int32_t tqx_gender_defn_normalization_regexlib_name_set(context* ctx, int32_t index, const char* name) {
  char utf8[kNameMax + 1];
  const int32_t conv = strio_in(ctx, name, utf8, kNameMax, kStrioConvert);
  if (conv < 0) return conv;
  const int32_t rc = edit_defn(ctx, index, [&](defn_rec* rec, gender_defn_kind_rec*) {
    rsrc_ref fresh;
    if (utf8[0] != '\0') {
      const int32_t opened = rsrc_open_checked(ctx, kRsrcRegex, utf8, 0, &fresh);
      if (opened < 0) return opened;
    }
    int32_t released = 0;
    for (rsrc_ref& r : rec->normalization) released = rc_combine(released, r.release(ctx));
    rec->normalization.clear();  // keeps its room: an empty list had nothing to move
    if (fresh.held()) {
      const int32_t grown =
          defn_list_append(rec->normalization, std::move(fresh), [ctx](rsrc_ref& f) { (void)f.release(ctx); });
      if (grown < 0) return grown;  // the list was empty: nothing changed
    }
    rec->automatic_uppercasing = 1;
    if (kDefnRecords.invalidate != nullptr) kDefnRecords.invalidate(ctx, rec, kFieldDropsPrepared);
    return released < 0 ? released : 0;
  });
  return rc_combine(rc, conv);
}

// ---- Token stop flag ------------------------------------------------------------------------

int32_t tqx_gender_defn_token_stop_flag_get(context* ctx, int32_t index, int32_t token, uint32_t* stop_flag) {
  *stop_flag = 0;
  return read_token(ctx, index, token, [&](const dtok_rec*, const gender_token_kind_rec* part) {
    *stop_flag = static_cast<uint32_t>(part->stop);
    return 0;
  });
}

int32_t tqx_gender_defn_token_stop_flag_set(context* ctx, int32_t index, int32_t token, uint32_t flag) {
  return edit_token(ctx, index, token, [&](dtok_rec* tok, gender_token_kind_rec*) {
    return gender_token_stop_flag_set(tok, static_cast<int32_t>(flag));
  });
}

// ---- Token substring categories -------------------------------------------------------------

int32_t tqx_gender_defn_token_category_count_get(context* ctx, int32_t index, int32_t token, uint32_t* count) {
  *count = 0;
  return read_token(ctx, index, token, [&](const dtok_rec*, const gender_token_kind_rec* part) {
    *count = static_cast<uint32_t>(part->cats.size());
    return 0;
  });
}

int32_t tqx_gender_defn_token_category_info_get(context* ctx, int32_t index, int32_t token, int32_t cat_index,
                                                char* abbrev, char* value) {
  strio_out_clear(ctx, abbrev);
  strio_out_clear(ctx, value);
  return read_token(ctx, index, token, [&](const dtok_rec*, const gender_token_kind_rec* part) {
    if (out_of_range(cat_index, part->cats.size())) return TQ_ERR_INDEX;
    const gender_subcat& c = part->cats[static_cast<size_t>(cat_index)];
    return pair_out(ctx, c.name, abbrev, kGenderCatNameMax, c.value, value, kGenderValueMax);
  });
}

int32_t tqx_gender_defn_token_category_add(context* ctx, int32_t index, int32_t token, const char* abbrev,
                                           const char* value) {
  char a[kTextInMax + 1], v[kTextInMax + 1];
  const int32_t ca = text_in(ctx, abbrev, a, kGenderCatNameMax);
  if (ca < 0) return ca;
  const int32_t cv = text_in(ctx, value, v, kGenderValueMax);
  if (cv < 0) return cv;
  if (a[0] == '\0' || v[0] == '\0') return TQ_ERR_ARGUMENT;
  const int32_t rc = edit_token(ctx, index, token, [&](dtok_rec* tok, gender_token_kind_rec*) {
    return gender_token_category_add(ctx, tok, a, v);
  });
  return rc_combine(rc, rc_combine(ca, cv));
}

int32_t tqx_gender_defn_token_categories_delete_all(context* ctx, int32_t index, int32_t token) {
  return edit_token(ctx, index, token,
                    [&](dtok_rec* tok, gender_token_kind_rec*) { return gender_token_categories_delete_all(ctx, tok); });
}

// ---- Token "Match Regexlibs" entries ----------------------------------------------------------

int32_t tqx_gender_defn_token_regexlib_count_get(context* ctx, int32_t index, int32_t token, uint32_t* count) {
  *count = 0;
  return read_token(ctx, index, token, [&](const dtok_rec*, const gender_token_kind_rec* part) {
    *count = static_cast<uint32_t>(part->regexlibs.size());
    return 0;
  });
}

int32_t tqx_gender_defn_token_regexlib_info_get(context* ctx, int32_t index, int32_t token, int32_t rlib_index,
                                                char* name, char* value) {
  strio_out_clear(ctx, name);
  strio_out_clear(ctx, value);
  return read_token(ctx, index, token, [&](const dtok_rec* tok, const gender_token_kind_rec* part) {
    char utf8[kRsrcNameSize];
    const int32_t rc = gender_token_regexlib_name_get(ctx, tok, rlib_index, utf8, sizeof utf8);
    if (rc < 0) return rc;
    return pair_out(ctx, utf8, name, kNameMax, part->regexlibs[static_cast<size_t>(rlib_index)].value, value,
                    kGenderValueMax);
  });
}

int32_t tqx_gender_defn_token_regexlib_add(context* ctx, int32_t index, int32_t token, const char* name,
                                           const char* value) {
  char n[kNameMax + 1], v[kTextInMax + 1];
  const int32_t cn = strio_in(ctx, name, n, kNameMax, kStrioConvert);
  if (cn < 0) return cn;
  const int32_t cv = text_in(ctx, value, v, kGenderValueMax);
  if (cv < 0) return cv;
  if (n[0] == '\0' || v[0] == '\0') return TQ_ERR_ARGUMENT;
  const int32_t rc = edit_token(ctx, index, token, [&](dtok_rec* tok, gender_token_kind_rec*) {
    return gender_token_regexlib_add(ctx, tok, n, v);
  });
  return rc_combine(rc, rc_combine(cn, cv));
}

int32_t tqx_gender_defn_token_regexlib_info_set(context* ctx, int32_t index, int32_t token, int32_t rlib_index,
                                                const char* name, const char* value) {
  char n[kNameMax + 1], v[kTextInMax + 1];
  const int32_t cn = strio_in(ctx, name, n, kNameMax, kStrioConvert);
  if (cn < 0) return cn;
  const int32_t cv = text_in(ctx, value, v, kGenderValueMax);
  if (cv < 0) return cv;
  if (n[0] == '\0' || v[0] == '\0') return TQ_ERR_ARGUMENT;
  const int32_t rc = edit_token(ctx, index, token, [&](dtok_rec* tok, gender_token_kind_rec*) {
    return gender_token_regexlib_set(ctx, tok, rlib_index, n, v);
  });
  return rc_combine(rc, rc_combine(cn, cv));
}

int32_t tqx_gender_defn_token_regexlibs_delete_all(context* ctx, int32_t index, int32_t token) {
  return edit_token(ctx, index, token,
                    [&](dtok_rec* tok, gender_token_kind_rec*) { return gender_token_regexlibs_delete_all(ctx, tok); });
}

}  // namespace tq
