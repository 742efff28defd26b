// Accessors of parse definitions with logic of their own; the plain ones are
// rows bound to the shared definition accessors (kbstore/krdefnacc.cpp).
#include "parse/krpdefacc.h"

#include <new>
#include <vector>

#include "core/krenc.h"
#include "core/krerr.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdefnacc.h"
#include "kbstore/krdtok.h"
#include "kbstore/krdtyp.h"
#include "kbstore/krlib.h"

namespace tq {

const field_desc kParseTokenUseSeparator = flag_field<&dtok_rec::use_separator>("Use Separator", &kDefnTokens);
const field_desc kParseTokenSeparator =
    text_field<&dtok_rec::separator>("Separator", &kDefnTokens, kFieldConvert);

namespace {

constexpr int32_t K = kDefnParse;

void drop_prepared(context* ctx, defn_rec* rec) { kDefnRecords.invalidate(ctx, rec, kFieldDropsPrepared); }

// Runs body(rec) on the definition taken for change and gives the hold back
// on every path.
template <typename F>
int32_t edit(context* ctx, int32_t index, F&& body) {
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_write(ctx, K, index, &rec);
  if (rc < 0) return rc;
  try {
    rc = body(rec);
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  return rc_combine(rc, defn_write_end(ctx));
}

// Whether the record at a caller's index counts as surfaced. An unloaded
// slot keeps its index but is no definition.
int32_t surfaced_at(context* ctx, int32_t locale, int32_t index, bool* surfaced) {
  *surfaced = false;
  defn_rec* rec = nullptr;
  int32_t rc = locale < 0 ? defn_record_get_for_read(ctx, K, index, &rec)
                          : defn_record_get_for_read_in_locale(ctx, K, locale, index, &rec);
  if (rc < 0) return rc;
  *surfaced = rec->kind != 0 && defn_surfaced_get(ctx, rec) != 0;
  return 0;
}

// Counts the surfaced ones among n definitions (of the current locale when
// locale is -1, which no loaded locale's code is); *count holds what was
// counted when a lookup fails.
int32_t surfaced_count(context* ctx, int32_t locale, uint32_t n, uint32_t* count) {
  *count = 0;
  for (uint32_t i = 0; i < n; ++i) {
    bool surfaced = false;
    int32_t rc = surfaced_at(ctx, locale, static_cast<int32_t>(i), &surfaced);
    if (rc < 0) return rc;
    if (surfaced) ++*count;
  }
  return 0;
}

}  // namespace

// ---- Surfaced definitions ------------------------------------------------------------

int32_t tqx_surfaced_parse_defn_count_get(context* ctx, uint32_t* count) {
  *count = 0;
  uint32_t n = 0;
  int32_t rc = defn_count_get(ctx, K, &n);
  if (rc < 0) return rc;
  return surfaced_count(ctx, -1, n, count);
}

int32_t tqx_surfaced_parse_defn_count_get_by_locale(context* ctx, int32_t locale, uint32_t* count) {
  *count = 0;
  uint32_t n = 0;
  int32_t rc = defn_count_get_by_locale(ctx, K, locale, &n);
  if (rc < 0) return rc;
  return surfaced_count(ctx, locale, n, count);
}

int32_t tqx_surfaced_parse_defn_name_get(context* ctx, int32_t index, char* name) {
  strio_out_clear_n(ctx, name, kDefnNameMax + 1);
  uint32_t n = 0;
  uint32_t surfaced = 0;
  // What could be counted bounds the index; a failed count is not the answer.
  if (defn_count_get(ctx, K, &n) >= 0) (void)surfaced_count(ctx, -1, n, &surfaced);
  if (index < 0 || static_cast<uint32_t>(index) >= surfaced) return TQ_ERR_INDEX;
  int32_t seen = -1;
  for (uint32_t i = 0; i < n; ++i) {
    bool is = false;
    int32_t rc = surfaced_at(ctx, -1, static_cast<int32_t>(i), &is);
    if (rc < 0) return rc;
    if (is && ++seen == index) return defn_name_get_surfaced(ctx, K, static_cast<int32_t>(i), name);
  }
  return TQ_ERR_INDEX;
}

// ---- Normalization libraries --------------------------------------------------------

int32_t tqx_parse_defn_normalization_regexlib_name_get(context* ctx, int32_t index, char* name) {
  return defn_normalization_regexlib_name_get_by_index(ctx, K, index, 0, name);
}

int32_t tqx_parse_defn_normalization_regexlib_name_set(context* ctx, int32_t index, const char* name) {
  std::vector<char> text(kDtokRsrcNameMax + 1);
  const int32_t conv = strio_in(ctx, name, text.data(), kDtokRsrcNameMax, kStrioConvert);
  if (conv < 0) return conv;
  if (text[0] == '\0') return rc_combine(defn_normalization_regexlibs_delete_all(ctx, K, index), conv);
  int32_t rc = edit(ctx, index, [&](defn_rec* rec) {
    if (rec->kind == 0) return TQ_ERR_INDEX;
    rec->normalization.reserve(1);  // may throw: before anything is opened
    rsrc_ref fresh;
    int32_t r = rsrc_open(ctx, kRsrcRegex, text.data(), 0, &fresh);
    if (r < 0) return r;
    int32_t released = 0;
    for (rsrc_ref& old : rec->normalization) released = rc_combine(released, old.release(ctx));
    rec->normalization.clear();
    rec->normalization.push_back(std::move(fresh));  // within the room reserved
    // As emptying the list does: without the old libraries a value is
    // matched uppercased, as the vocabularies hold words.
    rec->automatic_uppercasing = 1;
    drop_prepared(ctx, rec);
    return rc_combine(released < 0 ? released : 0, r);
  });
  return rc_combine(rc, conv);
}

int32_t tqx_parse_defn_normalization_regexlib_add(context* ctx, int32_t index, const char* name) {
  std::vector<char> text(kDtokRsrcNameMax + 1);
  const int32_t conv = strio_in(ctx, name, text.data(), kDtokRsrcNameMax, kStrioConvert);
  if (conv < 0) return conv;
  // The shared accessor takes an empty name for "delete all"; this export
  // refuses it.
  if (text[0] == '\0') return TQ_ERR_ARGUMENT;
  return defn_normalization_regexlib_add(ctx, K, index, name);
}

// ---- Whole definitions ---------------------------------------------------------------

namespace {

// Gives the definition its datatype and one token per datatype token, in
// order, named as the datatype's tokens (UTF-8 already: no conversion).
int32_t tokens_from_datatype(context* ctx, int32_t index, int32_t dtype_index) {
  int32_t rc = field_set(ctx, K, kDefnDatatypeIndex, index, dtype_index);
  if (rc < 0) return rc;
  return edit(ctx, index, [&](defn_rec* rec) {
    dtype_chain chain{};
    dtype_rec* dt = nullptr;
    int32_t r = dtype_current_chain(ctx, &chain);
    if (r >= 0) r = dtype_record_get(ctx, chain, dtype_index, &dt);
    defn_token_owner owner;
    if (r >= 0) r = defn_token_owner_get(ctx, rec, &owner);
    for (uint32_t t = 0; r >= 0 && t < dt->token_count; ++t) {
      int32_t position = -1;
      r = dtok_list_add(ctx, owner.owner, &rec->tokens, &position);
      if (r < 0) break;
      dtok_rec* tok = rec->tokens.items[static_cast<size_t>(position)].get();
      r = dtok_name_set(ctx, owner.owner, rec->tokens.count(), tok, dt->tokens[t].value, 0);
    }
    drop_prepared(ctx, rec);
    return r;
  });
}

}  // namespace

int32_t tqx_parse_defn_add(context* ctx, const char* name, int32_t dtype_index, int32_t* parse_defn_index) {
  *parse_defn_index = -1;
  int32_t index = -1;
  int32_t rc = defn_add(ctx, K, name, kDefnNameConvert, &index);
  if (rc < 0) return rc;
  const int32_t built = tokens_from_datatype(ctx, index, dtype_index);
  if (built < 0) {
    // A half-made definition would hold the name, so that the caller could
    // not even try again: the appended record goes.
    (void)defn_unload_last(ctx, K);
    return built;
  }
  *parse_defn_index = index;
  return rc_combine(rc, built);
}

int32_t tqx_parse_defn_copy(context* ctx, const char* source, const char* dest, int32_t* index) {
  return defn_copy(ctx, K, source, dest, kDefnNameConvert, index);
}

int32_t tqx_parse_defn_write(context* ctx, tq_xmldoc* xml, int32_t index) {
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, K, index, &rec);
  if (rc < 0) return rc;
  if (rec->kind == 0) return TQ_ERR_INDEX;
  rc = defn_element_write(ctx, xml, rec);
  return rc < 0 ? rc : 0;
}

}  // namespace tq
