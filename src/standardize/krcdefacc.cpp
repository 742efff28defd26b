// Accessors of case definitions with logic of their own; the plain ones are
// rows bound to the shared definition accessors (kbstore/krdefnacc.cpp).
#include "standardize/krcdefacc.h"

#include <new>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krzel.h"
#include "kbstore/krdefn.h"
#include "kbstore/krlib.h"
#include "platform/nputf8.h"
#include "resources/krsch.h"
#include "standardize/krcdef.h"

namespace tq {

namespace {

constexpr int32_t K = kDefnCase;
constexpr uint32_t kNameMax = 4096;         // a resource name taken in or given out
constexpr uint32_t kEntryOutSize = 1028;    // the check's standard and data buffers

// The kind part of a definition found for reading; -800 for an unloaded slot.
int32_t part_for_read(context* ctx, int32_t index, defn_rec** rec, const case_defn_kind_rec** part) {
  *part = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, K, index, rec);
  if (rc < 0) return rc;
  *part = case_defn_part(*rec);
  return *part == nullptr ? TQ_ERR_INDEX : 0;
}

// Runs body(rec, part) on the definition taken for change and gives the
// hold back on every path.
template <typename F>
int32_t edit_part(context* ctx, int32_t index, F&& body) {
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t rc = defn_record_get_for_write(ctx, K, index, &rec, &held);
  if (rc < 0) return rc;
  try {
    case_defn_kind_rec* part = case_defn_part(rec);
    rc = part == nullptr ? TQ_ERR_INDEX : body(rec, part);
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  return rc_combine(rc, held.release());
}

template <auto Field>
int32_t flag_get(context* ctx, int32_t index, uint32_t* out) {
  *out = 0;
  defn_rec* rec = nullptr;
  const case_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  *out = part->*Field;
  return 0;
}

// A resource name of the kind part given out in the session encoding.
template <typename NameGet>
int32_t name_out(context* ctx, const defn_rec* rec, NameGet get, char* out) {
  char utf8[kRsrcNameSize];
  int32_t rc = get(ctx, rec, utf8, sizeof utf8);
  if (rc < 0) return rc;
  return strio_out(ctx, utf8, out, kNameMax, kStrioConvert);
}

}  // namespace

// ---- Target case and flags ---------------------------------------------------------------

int32_t tqx_case_defn_target_case_get(context* ctx, int32_t index, uint32_t* target_case) {
  return flag_get<&case_defn_kind_rec::target_case>(ctx, index, target_case);
}

int32_t tqx_case_defn_target_case_set(context* ctx, int32_t index, uint32_t target_case) {
  if (case_id_is_valid(target_case) == 0) return TQ_ERR_ARGUMENT;
  return edit_part(ctx, index, [&](defn_rec* rec, case_defn_kind_rec*) {
    return case_defn_target_case_set(rec, target_case);
  });
}

int32_t tqx_case_defn_skip_regexlib_flag_get(context* ctx, int32_t index, uint32_t* skip_regexlib_flag) {
  return flag_get<&case_defn_kind_rec::skip_regexlib_on_scheme>(ctx, index, skip_regexlib_flag);
}

// The two flags keep what the caller gives: a caller that sets 2 reads 2
// back. Casing and the writer test them for nonzero.
int32_t tqx_case_defn_skip_regexlib_flag_set(context* ctx, int32_t index, uint32_t skip_regexlib_flag) {
  return edit_part(ctx, index, [&](defn_rec*, case_defn_kind_rec* part) {
    part->skip_regexlib_on_scheme = skip_regexlib_flag;
    return 0;
  });
}

int32_t tqx_case_defn_unicode_casing_flag_get(context* ctx, int32_t index, uint32_t* unicode_casing_flag) {
  return flag_get<&case_defn_kind_rec::unicode_casing>(ctx, index, unicode_casing_flag);
}

int32_t tqx_case_defn_unicode_casing_flag_set(context* ctx, int32_t index, uint32_t unicode_casing_flag) {
  return edit_part(ctx, index, [&](defn_rec* rec, case_defn_kind_rec* part) {
    int32_t rc = defn_rec_version_raise(ctx, rec, kCaseVersionGroup);
    if (rc < 0) return rc;
    part->unicode_casing = unicode_casing_flag;
    return 0;
  });
}

// ---- Known-pattern library and known-word scheme --------------------------------------------

int32_t tqx_case_defn_known_patrn_rgx_name_get(context* ctx, int32_t index, char* name) {
  strio_out_clear(ctx, name);
  defn_rec* rec = nullptr;
  const case_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  return name_out(ctx, rec, case_defn_known_pattern_regexlib_name_get, name);
}

int32_t tqx_case_defn_known_patrn_rgx_name_set(context* ctx, int32_t index, const char* name) {
  char utf8[kNameMax + 1];
  const int32_t conv = strio_in(ctx, name, utf8, kNameMax, kStrioConvert);
  if (conv < 0) return conv;
  const int32_t rc = edit_part(ctx, index, [&](defn_rec* rec, case_defn_kind_rec*) {
    return case_defn_known_pattern_regexlib_set(ctx, rec, utf8);
  });
  return rc_combine(rc, conv);
}

int32_t tqx_case_defn_known_word_scheme_info_get(context* ctx, int32_t index, char* name, uint32_t* options) {
  strio_out_clear(ctx, name);
  *options = 0;
  defn_rec* rec = nullptr;
  const case_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  rc = name_out(ctx, rec, case_defn_known_word_scheme_name_get, name);
  if (rc < 0) return rc;
  const int32_t got = case_defn_known_word_scheme_options_get(ctx, rec, options);
  if (got < 0) {
    strio_out_clear(ctx, name);
    return got;
  }
  return rc;
}

int32_t tqx_case_defn_known_word_scheme_info_set(context* ctx, int32_t index, const char* name, uint32_t options) {
  char utf8[kNameMax + 1];
  const int32_t conv = strio_in(ctx, name, utf8, kNameMax, kStrioConvert);
  if (conv < 0) return conv;
  const int32_t rc = edit_part(ctx, index, [&](defn_rec* rec, case_defn_kind_rec*) {
    return case_defn_known_word_scheme_set(ctx, rec, utf8, options);
  });
  return rc_combine(rc, conv);
}

// ---- Checking a scheme ------------------------------------------------------------------------

int32_t tqx_case_defn_check_scheme_legal(context* ctx, const char* filename, uint32_t* legal, char* standard,
                                         char* data) {
  *legal = 0;
  standard[0] = '\0';
  data[0] = '\0';
  // The scheme is registered by this name, at most 1,024 bytes: a longer
  // one is refused here, before the hold.
  char utf8[kRsrcNameSize];
  int32_t rc = strio_in(ctx, filename, utf8, kRsrcNameSize - 1, kStrioConvert);
  if (rc < 0) return rc;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  // One way out from here on: the scheme's reference and the write hold are
  // given back whatever the check found.
  int32_t index = -1;
  rc = scheme_load_by_name(ctx, utf8, 0, -1, 0, nullptr, 0, &index);
  if (rc >= 0) {
    scheme_rec* scheme = nullptr;
    rc = scheme_get(ctx, index, &scheme);
    if (rc >= 0) {
      for (uint32_t i = 0; i < scheme->count; ++i) {
        const scheme_entry& e = scheme->entries[i];
        if (np_uchar_length(e.standard) != np_uchar_length(e.data)) {
          np_uchar_bufcopy(standard, e.standard, kEntryOutSize);
          np_uchar_bufcopy(data, e.data, kEntryOutSize);
          rc = TQ_ERR_RESOURCE_LACKS;
          break;
        }
      }
      if (rc >= 0) *legal = 1;
    }
    rc = rc_combine(rc, scheme_unload(ctx, index));
  }
  return rc_combine(rc, hold.release());
}

}  // namespace tq
