// Accessors of match definitions with logic of their own; the plain ones are
// rows bound to the shared definition accessors (kbstore/krdefnacc.cpp).
#include "match/krmdefacc.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krvec.h"
#include "kbstore/krdcat.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdefnacc.h"
#include "kbstore/krdtok.h"
#include "kbstore/krlib.h"
#include "match/krmdef.h"
#include "match/krmrule.h"
#include "match/krmtres.h"
#include "resources/krregxcat.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr int32_t K = kDefnMatch;
constexpr uint32_t kConv = kStrioConvert;
constexpr const char* kVersion9 = "9.0";
constexpr uint32_t kRangeHigh = static_cast<uint32_t>(kMatchRangeHigh);
constexpr uint32_t kRangeLow = static_cast<uint32_t>(kMatchRangeLow);

// Whether a token change leaves the definition's prepared state: the lists
// preparation points the analysis options into must drop it.
enum class prep { keep, drop };

int32_t raise9(context* ctx, defn_rec* rec) { return defn_rec_version_raise(ctx, rec, kVersion9); }

// Runs body(rec, part) on the definition taken for change and gives the
// hold back on every path.
template <typename F>
int32_t edit(context* ctx, int32_t index, F&& body) {
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t rc = defn_record_get_for_write(ctx, K, index, &rec, &held);
  if (rc < 0) return rc;
  try {
    match_defn_kind_rec* part = match_defn_part(rec);
    rc = part != nullptr ? body(rec, part) : TQ_ERR_PART_MISSING;
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  return rc_combine(rc, held.release());
}

// The same on one of its tokens. With prep::drop a change that succeeded
// unprepares the definition and its tokens; a body fails before it changes
// anything (or unprepares itself, when what failed came after a change).
template <typename F>
int32_t token_edit(context* ctx, int32_t index, int32_t token, prep mode, F&& body) {
  dtok_rec* tok = nullptr;
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t rc = defn_token_get_for_write(ctx, K, index, token, &tok, &rec, &held);
  if (rc < 0) return rc;
  try {
    match_token_kind_rec* part = match_token_part(tok);
    rc = part != nullptr && match_defn_part(rec) != nullptr ? body(rec, tok, part) : TQ_ERR_PART_MISSING;
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  return rc_combine(rc, defn_token_write_end(ctx, rec, mode == prep::drop && rc >= 0, held));
}

// The definition and one of its tokens' parts for reading.
int32_t token_find(context* ctx, int32_t index, int32_t token, defn_rec** rec, const match_token_kind_rec** part) {
  int32_t rc = defn_record_get_for_read(ctx, K, index, rec);
  if (rc < 0) return rc;
  dtok_rec* tok = nullptr;
  rc = defn_token_get_for_read(ctx, K, index, token, &tok);
  if (rc < 0) return rc;
  *part = match_token_part(tok);
  return *part != nullptr ? 0 : TQ_ERR_PART_MISSING;
}

// A caller's name taken in: `max` bytes in UTF-8 (4,096 by default).
struct name_in {
  std::vector<char> text;
  int32_t rc;
  name_in(context* ctx, const char* name, uint32_t max = kDtokRsrcNameMax) : text(max + 1, '\0') {
    rc = name == nullptr ? TQ_ERR_ARGUMENT : strio_in(ctx, name, text.data(), max, kConv);
  }
  const char* c_str() const { return text.data(); }
};

// A change that took a name: its failure, else the conversion's warning
// (or the change's own warning).
int32_t with_conversion(int32_t conv, int32_t rc) { return rc < 0 ? rc : rc_combine(conv, rc); }

// The name of a held reference given out in the session encoding (4,096
// bytes); an empty ref gives `unbound` with an empty name.
int32_t ref_name_out(context* ctx, const rsrc_ref& ref, uint32_t kind, char* name, int32_t unbound) {
  strio_out_clear(ctx, name);
  if (!ref.held()) return unbound;
  char utf8[kRsrcNameSize];
  int32_t rc = rsrc_name_get(ctx, kind, ref.index(), utf8, sizeof utf8);
  if (rc >= 0) rc = strio_out(ctx, utf8, name, kDtokRsrcNameMax, kConv);
  if (rc < 0) strio_out_clear(ctx, name);
  return rc;
}

// Whether ref holds the resource of that UTF-8 name (byte for byte).
bool ref_names(context* ctx, const rsrc_ref& ref, uint32_t kind, const char* name) {
  if (!ref.held()) return false;
  char present[kRsrcNameSize];
  return rsrc_name_get(ctx, kind, ref.index(), present, sizeof present) >= 0 && std::strcmp(present, name) == 0;
}

// Binds ref to the named resource: the name it holds keeps it; otherwise
// the named one is opened first, then the old reference given back. An open
// that fails leaves ref as it was.
int32_t ref_rebind(context* ctx, rsrc_ref* ref, uint32_t kind, const char* name) {
  if (ref_names(ctx, *ref, kind, name)) return 0;
  rsrc_ref fresh;
  const int32_t rc = match_token_rsrc_open(ctx, kind, name, &fresh, true);
  if (rc < 0) return rc;
  const int32_t released = ref->release(ctx);  // empty afterwards whatever it reports
  *ref = std::move(fresh);
  return rc_combine(rc, released);
}

// Drops what was prepared from the definition, for a body that changed
// something before what failed.
void unprepare(context* ctx, defn_rec* rec) { kDefnRecords.invalidate(ctx, rec, kFieldDropsPrepared); }

// The length of one of a token's lists (0 when the token is not found).
template <typename Of>
int32_t token_count_get(context* ctx, int32_t index, int32_t token, uint32_t* count, Of of) {
  *count = 0;
  defn_rec* rec = nullptr;
  const match_token_kind_rec* part = nullptr;
  const int32_t rc = token_find(ctx, index, token, &rec, &part);
  if (rc < 0) return rc;
  *count = of(*part);
  return 0;
}

bool in_range(int32_t entry, size_t size) { return entry >= 0 && static_cast<size_t>(entry) < size; }

void report_vocab(context* ctx, int32_t rc, const char* name, const dtok_rec* tok, const defn_rec* rec) {
  TQ_REPORT(ctx, rc, 133, name, tok->name, kMatchKindName, rec->name);
}

}  // namespace

// ---- The definition -----------------------------------------------------------------------

int32_t tqx_match_defn_matchcode_length_get(context* ctx, int32_t index, uint32_t* len) {
  *len = 0;
  defn_rec* rec = nullptr;
  const int32_t rc = defn_record_get_for_read(ctx, K, index, &rec);
  if (rc < 0) return rc;
  const match_defn_kind_rec* part = match_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  *len = part->code_length * 4;  // bytes a code can take in UTF-8
  return 0;
}

namespace {

// The match definition naming a parse definition, or -708.
int32_t parse_defn_of(context* ctx, int32_t index, defn_rec** rec) {
  int32_t rc = defn_record_get_for_read(ctx, K, index, rec);
  if (rc < 0) return rc;
  return (*rec)->parse_defn < 0 ? TQ_ERR_PART_MISSING : 0;
}

}  // namespace

int32_t tqx_match_defn_parse_defn_token_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  defn_rec* rec = nullptr;
  int32_t rc = parse_defn_of(ctx, index, &rec);
  if (rc < 0) return rc;
  rc = defn_token_count_get_in_locale(ctx, kDefnParse, rec->parse_defn, rec->locale, count);
  return rc < 0 ? rc : 0;
}

int32_t tqx_match_defn_parse_defn_token_name_get(context* ctx, int32_t index, int32_t token, char* name) {
  strio_out_clear(ctx, name);
  defn_rec* rec = nullptr;
  int32_t rc = parse_defn_of(ctx, index, &rec);
  if (rc < 0) return rc;
  return defn_token_name_get_in_locale(ctx, kDefnParse, rec->parse_defn, rec->locale, token, name);
}

int32_t tqx_match_defn_parse_defn_token_key_get_by_name(context* ctx, int32_t index, const char* name,
                                                        int32_t* key) {
  *key = -1;
  defn_rec* rec = nullptr;
  int32_t rc = parse_defn_of(ctx, index, &rec);
  if (rc < 0) return rc;
  return defn_token_key_get_by_name_in_locale(ctx, kDefnParse, rec->parse_defn, rec->locale, name,
                                              kDefnNameConvert, key);
}

int32_t tqx_match_defn_parse_defn_surfaced_get(context* ctx, int32_t index, uint32_t* surfaced) {
  *surfaced = 0;
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, K, index, &rec);
  if (rc < 0) return rc;
  if (rec->parse_defn < 0) return TQ_ERR_NOTHING_TO_DO;
  // Looked up in the match definition's locale directly, so the current
  // locale is never switched (nor left switched by a failure).
  defn_rec* prec = nullptr;
  rc = defn_record_get_for_read_in_locale(ctx, kDefnParse, rec->locale, rec->parse_defn, &prec);
  if (rc < 0) return rc;
  *surfaced = static_cast<uint32_t>(defn_surfaced_get(ctx, prec));
  return 0;
}

// ---- Preprocessing schemes ------------------------------------------------------------------

int32_t tqx_match_defn_scheme_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  defn_rec* rec = nullptr;
  const int32_t rc = defn_record_get_for_read(ctx, K, index, &rec);
  if (rc < 0) return rc;
  const match_defn_kind_rec* part = match_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  *count = static_cast<uint32_t>(part->schemes.size());
  return 0;
}

int32_t tqx_match_defn_scheme_info_get(context* ctx, int32_t index, int32_t scheme, char* name,
                                       uint32_t* options) {
  strio_out_clear(ctx, name);
  *options = 0;
  defn_rec* rec = nullptr;
  const int32_t rc = defn_record_get_for_read(ctx, K, index, &rec);
  if (rc < 0) return rc;
  const match_defn_kind_rec* part = match_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  if (!in_range(scheme, part->schemes.size())) return TQ_ERR_INDEX;
  const match_scheme_entry& e = part->schemes[static_cast<size_t>(scheme)];
  *options = e.options;
  return ref_name_out(ctx, e.scheme, kRsrcScheme, name, 0);
}

int32_t tqx_match_defn_scheme_info_set(context* ctx, int32_t index, int32_t scheme, const char* name,
                                       uint32_t options) {
  const name_in in(ctx, name);
  if (in.rc < 0) return in.rc;
  const int32_t rc = edit(ctx, index, [&](defn_rec*, match_defn_kind_rec* part) {
    if (!in_range(scheme, part->schemes.size())) return TQ_ERR_INDEX;
    match_scheme_entry& e = part->schemes[static_cast<size_t>(scheme)];
    // The named scheme first: one that cannot be opened leaves the entry as
    // it was.
    match_scheme_entry fresh;
    const int32_t r = match_scheme_open(ctx, in.c_str(), options, &fresh, true);
    if (r < 0) return r;
    const int32_t released = e.scheme.release(ctx);  // empty afterwards whatever it reports
    e.scheme = std::move(fresh.scheme);
    e.options = fresh.options;
    return rc_combine(r, released);
  });
  return with_conversion(in.rc, rc);
}

int32_t tqx_match_defn_scheme_add(context* ctx, int32_t index, const char* name, uint32_t options) {
  const name_in in(ctx, name);
  if (in.rc < 0) return in.rc;
  const int32_t rc = edit(ctx, index, [&](defn_rec*, match_defn_kind_rec* part) {
    match_scheme_entry e;
    const int32_t r = match_scheme_open(ctx, in.c_str(), options, &e, true);
    if (r < 0) return r;
    const int32_t grown =
        defn_list_append(part->schemes, std::move(e), [ctx](match_scheme_entry& x) { (void)x.scheme.release(ctx); });
    return grown < 0 ? grown : r;
  });
  return with_conversion(in.rc, rc);
}

int32_t tqx_match_defn_schemes_delete_all(context* ctx, int32_t index) {
  return edit(ctx, index, [&](defn_rec*, match_defn_kind_rec* part) {
    for (match_scheme_entry& e : part->schemes) (void)e.scheme.release(ctx);
    std::vector<match_scheme_entry>().swap(part->schemes);
    return 0;
  });
}

// ---- Tokens ---------------------------------------------------------------------------------

int32_t tqx_match_defn_sort_words_flag_get(context* ctx, int32_t index, int32_t token, uint32_t* sort_words) {
  *sort_words = 0;
  defn_rec* rec = nullptr;
  const match_token_kind_rec* part = nullptr;
  const int32_t rc = token_find(ctx, index, token, &rec, &part);
  if (rc < 0) return rc;
  *sort_words = static_cast<uint32_t>(part->sort_words);
  return 0;
}

int32_t tqx_match_defn_sort_words_flag_set(context* ctx, int32_t index, int32_t token, uint32_t value) {
  return token_edit(ctx, index, token, prep::drop, [&](defn_rec* rec, dtok_rec*, match_token_kind_rec* part) {
    const int32_t rc = raise9(ctx, rec);
    if (rc < 0) return rc;
    part->sort_words = value != 0 ? 1 : 0;
    return 0;
  });
}

int32_t tqx_match_defn_token_delete(context* ctx, int32_t index, int32_t token) {
  return edit(ctx, index, [&](defn_rec* rec, match_defn_kind_rec*) {
    // Without its datatype (gone from the locale) the later tokens keep
    // their keys; the token still goes.
    defn_token_owner owner;
    (void)defn_token_owner_get(ctx, rec, &owner);
    dtok_rec* tok = nullptr;
    int32_t rc = dtok_list_get(ctx, owner.owner, &rec->tokens, token, &tok);
    if (rc < 0) return rc;
    char name[kDtokNameSize];
    std::memcpy(name, tok->name, sizeof name);
    rc = dtok_list_delete(ctx, owner.owner, &rec->tokens, token);
    if (rc < 0) return rc;
    rc = match_rules_token_deleted(ctx, rec, name);
    // The code length follows the tokens left, as a reload would set it.
    match_defn_code_length_recompute(rec);
    match_defn_unprepare(rec);
    return rc;
  });
}

int32_t tqx_match_defn_token_name_set(context* ctx, int32_t index, int32_t token, const char* name) {
  return edit(ctx, index, [&](defn_rec* rec, match_defn_kind_rec*) {
    defn_token_owner owner;
    int32_t rc = defn_token_owner_get(ctx, rec, &owner);
    dtok_rec* tok = nullptr;
    if (rc >= 0) rc = dtok_list_get(ctx, owner.owner, &rec->tokens, token, &tok);
    if (rc < 0) return rc;
    char old_name[kDtokNameSize];
    std::memcpy(old_name, tok->name, sizeof old_name);
    rc = dtok_name_set(ctx, owner.owner, rec->tokens.count(), tok, name, kConv);
    if (rc < 0) return rc;
    match_defn_unprepare(rec);
    return rc_combine(match_rules_token_name_changed(ctx, rec, old_name, tok->name), rc);
  });
}

// ---- The common lists: normalization regex libraries, standardization schemes -------------

int32_t tqx_match_defn_token_regexlib_info_get(context* ctx, int32_t index, int32_t token, int32_t entry, char* name,
                                               uint32_t* sens_hi, uint32_t* sens_lo) {
  *sens_hi = kRangeHigh;
  *sens_lo = kRangeLow;
  int32_t rc = defn_token_regexlib_info_get(ctx, K, index, token, entry, name);
  if (rc < 0) return rc;
  dtok_rec* tok = nullptr;
  const int32_t found = defn_token_get_for_read(ctx, K, index, token, &tok);
  if (found < 0) return found;
  const dtok_regexlib& lib = tok->regexlibs[static_cast<size_t>(entry)];  // in range: the name was read
  *sens_hi = static_cast<uint32_t>(lib.high);
  *sens_lo = static_cast<uint32_t>(lib.low);
  return rc;
}

int32_t tqx_match_defn_token_regexlibs_delete_all(context* ctx, int32_t index, int32_t token) {
  const int32_t rc = defn_token_regexlibs_delete_all(ctx, K, index, token);
  return rc < 0 ? rc : 0;
}

int32_t tqx_match_defn_token_stdz_scheme_info_get(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                  char* name, uint32_t* options, uint32_t* disable_phtx,
                                                  uint32_t* sens_hi, uint32_t* sens_lo) {
  *disable_phtx = 0;
  *sens_hi = kRangeHigh;
  *sens_lo = kRangeLow;
  int32_t rc = defn_token_stdz_scheme_info_get(ctx, K, index, token, entry, name, options);
  if (rc < 0) return rc;
  dtok_rec* tok = nullptr;
  const int32_t found = defn_token_get_for_read(ctx, K, index, token, &tok);
  if (found < 0) return found;
  const dtok_scheme& s = tok->schemes[static_cast<size_t>(entry)];  // in range: the name was read
  *disable_phtx = static_cast<uint32_t>(s.disable_phonetx);
  *sens_hi = static_cast<uint32_t>(s.high);
  *sens_lo = static_cast<uint32_t>(s.low);
  return rc;
}

int32_t tqx_match_defn_token_stdz_scheme_info_set(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                  const char* name, uint32_t options, uint32_t disable_phtx,
                                                  uint32_t sens_hi, uint32_t sens_lo) {
  return defn_token_stdz_scheme_info_set(ctx, K, index, token, entry, name, options, disable_phtx != 0 ? 1 : 0,
                                         static_cast<int32_t>(sens_hi), static_cast<int32_t>(sens_lo));
}

// ---- Ranged lists: noise vocabularies, phonetics rule sets, transformation libraries -------

const match_ranged_kind kMatchNoiseList{&match_token_kind_rec::noise, kRsrcVocab, TQ_ERR_INDEX, false};
const match_ranged_kind kMatchPhonetxList{&match_token_kind_rec::phonetx, kRsrcPhonetx, 0, false};
const match_ranged_kind kMatchTransformList{&match_token_kind_rec::transform, kRsrcRegex, 0, true};

int32_t match_ranged_count_get(context* ctx, const match_ranged_kind& k, int32_t index, int32_t token,
                               uint32_t* count) {
  return token_count_get(ctx, index, token, count,
                         [&](const match_token_kind_rec& p) { return static_cast<uint32_t>((p.*k.list).size()); });
}

int32_t match_ranged_info_get(context* ctx, const match_ranged_kind& k, int32_t index, int32_t token, int32_t entry,
                              char* name, uint32_t* sens_hi, uint32_t* sens_lo) {
  strio_out_clear(ctx, name);
  *sens_hi = kRangeHigh;
  *sens_lo = kRangeLow;
  defn_rec* rec = nullptr;
  const match_token_kind_rec* part = nullptr;
  int32_t rc = token_find(ctx, index, token, &rec, &part);
  if (rc < 0) return rc;
  const auto& list = part->*k.list;
  if (!in_range(entry, list.size())) return TQ_ERR_INDEX;
  const match_ranged_ref& e = list[static_cast<size_t>(entry)];
  rc = ref_name_out(ctx, e.ref, k.rsrc, name, k.unbound_rc);
  if (rc < 0) return rc;
  *sens_hi = static_cast<uint32_t>(e.high);
  *sens_lo = static_cast<uint32_t>(e.low);
  return rc;
}

int32_t match_ranged_info_set(context* ctx, const match_ranged_kind& k, int32_t index, int32_t token, int32_t entry,
                              const char* name, uint32_t sens_hi, uint32_t sens_lo) {
  const name_in in(ctx, name);
  if (in.rc < 0) return in.rc;
  const int32_t rc =
      token_edit(ctx, index, token, prep::keep, [&](defn_rec* rec, dtok_rec* tok, match_token_kind_rec* part) {
        auto& list = part->*k.list;
        if (!in_range(entry, list.size())) return TQ_ERR_INDEX;
        match_ranged_ref& e = list[static_cast<size_t>(entry)];
        int32_t r = ref_rebind(ctx, &e.ref, k.rsrc, in.c_str());
        if (r < 0) {
          if (k.rsrc == kRsrcVocab) report_vocab(ctx, r, in.c_str(), tok, rec);
          return r;
        }
        e.high = static_cast<int32_t>(sens_hi);
        e.low = static_cast<int32_t>(sens_lo);
        if (k.raises) r = rc_combine(raise9(ctx, rec), r);
        return r;
      });
  return with_conversion(in.rc, rc);
}

int32_t match_ranged_add(context* ctx, const match_ranged_kind& k, int32_t index, int32_t token, const char* name,
                         uint32_t sens_hi, uint32_t sens_lo) {
  const name_in in(ctx, name);
  if (in.rc < 0) return in.rc;
  const int32_t rc =
      token_edit(ctx, index, token, prep::keep, [&](defn_rec* rec, dtok_rec* tok, match_token_kind_rec* part) {
        auto& list = part->*k.list;
        match_ranged_ref e;
        int32_t r = match_token_rsrc_open(ctx, k.rsrc, in.c_str(), &e.ref, true);
        if (r < 0) {
          if (k.rsrc == kRsrcVocab) report_vocab(ctx, r, in.c_str(), tok, rec);
          return r;
        }
        e.high = static_cast<int32_t>(sens_hi);
        e.low = static_cast<int32_t>(sens_lo);
        const int32_t grown =
            defn_list_append(list, std::move(e), [ctx](match_ranged_ref& x) { (void)x.ref.release(ctx); });
        if (grown < 0) return grown;
        if (k.raises) r = rc_combine(raise9(ctx, rec), r);
        return r;
      });
  return with_conversion(in.rc, rc);
}

int32_t match_ranged_delete_all(context* ctx, const match_ranged_kind& k, int32_t index, int32_t token) {
  return token_edit(ctx, index, token, prep::keep, [&](defn_rec* rec, dtok_rec*, match_token_kind_rec* part) {
    match_ranged_list_clear(ctx, &(part->*k.list), 0);
    return k.raises ? raise9(ctx, rec) : 0;
  });
}


// ---- Counts of the categorization lists ---------------------------------------------------------

const match_token_count kMatchCatNormCount{
    [](const match_token_kind_rec& p) { return static_cast<uint32_t>(p.norm_cat.size()); }};
const match_token_count kMatchVocabCount{
    [](const match_token_kind_rec& p) { return static_cast<uint32_t>(p.vocabularies.size()); }};
const match_token_count kMatchCatRegexCount{
    [](const match_token_kind_rec& p) { return static_cast<uint32_t>(p.cat_regexlibs.size()); }};
const match_token_count kMatchDefaultCatCount{[](const match_token_kind_rec& p) { return p.defaults.count; }};

int32_t match_token_list_count_get(context* ctx, const match_token_count& k, int32_t index, int32_t token,
                                   uint32_t* count) {
  return token_count_get(ctx, index, token, count, k.of);
}

// ---- "Norm Cat" regex libraries --------------------------------------------------------------

int32_t tqx_match_defn_token_cat_norm_regexlib_info_get(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                        char* name) {
  strio_out_clear(ctx, name);
  defn_rec* rec = nullptr;
  const match_token_kind_rec* part = nullptr;
  const int32_t rc = token_find(ctx, index, token, &rec, &part);
  if (rc < 0) return rc;
  if (!in_range(entry, part->norm_cat.size())) return TQ_ERR_INDEX;
  return ref_name_out(ctx, part->norm_cat[static_cast<size_t>(entry)], kRsrcRegex, name, 0);
}

int32_t tqx_match_defn_token_cat_norm_regexlib_info_set(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                        const char* name) {
  const name_in in(ctx, name);
  if (in.rc < 0) return in.rc;
  const int32_t rc =
      token_edit(ctx, index, token, prep::drop, [&](defn_rec* rec, dtok_rec*, match_token_kind_rec* part) {
        if (!in_range(entry, part->norm_cat.size())) return TQ_ERR_INDEX;
        const int32_t r = ref_rebind(ctx, &part->norm_cat[static_cast<size_t>(entry)], kRsrcRegex, in.c_str());
        return rc_combine(r, raise9(ctx, rec));
      });
  return with_conversion(in.rc, rc);
}

int32_t tqx_match_defn_token_cat_norm_regexlib_add(context* ctx, int32_t index, int32_t token, const char* name) {
  const name_in in(ctx, name);
  if (in.rc < 0) return in.rc;
  const int32_t rc =
      token_edit(ctx, index, token, prep::drop, [&](defn_rec* rec, dtok_rec*, match_token_kind_rec* part) {
        rsrc_ref ref;
        const int32_t r = match_token_rsrc_open(ctx, kRsrcRegex, in.c_str(), &ref, true);
        if (r < 0) return r;
        const int32_t grown =
            defn_list_append(part->norm_cat, std::move(ref), [ctx](rsrc_ref& x) { (void)x.release(ctx); });
        if (grown < 0) {
          TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 29, "Adding new norm regexlib for categorization to match defn token.");
          return grown;
        }
        return rc_combine(raise9(ctx, rec), r);
      });
  return with_conversion(in.rc, rc);
}

int32_t tqx_match_defn_token_cat_norm_regexlib_delete(context* ctx, int32_t index, int32_t token, int32_t entry) {
  return token_edit(ctx, index, token, prep::drop, [&](defn_rec* rec, dtok_rec*, match_token_kind_rec* part) {
    if (!in_range(entry, part->norm_cat.size())) return TQ_ERR_INDEX;
    auto at = part->norm_cat.begin() + entry;
    // The entry goes even when giving its reference back fails.
    const int32_t released = at->release(ctx);
    part->norm_cat.erase(at);
    if (part->norm_cat.empty()) std::vector<rsrc_ref>().swap(part->norm_cat);
    const int32_t rc = rc_combine(released, raise9(ctx, rec));
    if (rc < 0) unprepare(ctx, rec);
    return rc;
  });
}

int32_t tqx_match_defn_token_cat_norm_regexlibs_delete_all(context* ctx, int32_t index, int32_t token) {
  return token_edit(ctx, index, token, prep::drop, [&](defn_rec* rec, dtok_rec*, match_token_kind_rec* part) {
    const int32_t rc = raise9(ctx, rec);
    if (rc < 0) return rc;
    for (rsrc_ref& ref : part->norm_cat) (void)ref.release(ctx);
    std::vector<rsrc_ref>().swap(part->norm_cat);
    return 0;
  });
}

// ---- Vocabularies -----------------------------------------------------------------------------

int32_t tqx_match_defn_token_vocabulary_info_get(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                 char* name, uint32_t* stop, uint32_t* fuzzy_enabled,
                                                 uint32_t* fuzzy_threshold) {
  strio_out_clear(ctx, name);
  *stop = 0;
  *fuzzy_enabled = 0;
  *fuzzy_threshold = kFuzzyThresholdDefault;
  defn_rec* rec = nullptr;
  const match_token_kind_rec* part = nullptr;
  int32_t rc = token_find(ctx, index, token, &rec, &part);
  if (rc < 0) return rc;
  if (!in_range(entry, part->vocabularies.size())) return TQ_ERR_INDEX;
  const defn_vocab& v = part->vocabularies[static_cast<size_t>(entry)];
  rc = ref_name_out(ctx, v.vocab, kRsrcVocab, name, 0);
  if (rc < 0) return rc;
  *stop = static_cast<uint32_t>(v.stop);
  fuzzy_params_get(&v.fuzzy, fuzzy_enabled, fuzzy_threshold);
  return rc;
}

int32_t tqx_match_defn_token_vocabulary_info_set(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                 const char* name, uint32_t stop, uint32_t fuzzy_enabled,
                                                 uint32_t fuzzy_threshold) {
  const name_in in(ctx, name);
  if (in.rc < 0) return in.rc;
  const int32_t rc =
      token_edit(ctx, index, token, prep::drop, [&](defn_rec* rec, dtok_rec* tok, match_token_kind_rec* part) {
        if (!in_range(entry, part->vocabularies.size())) return TQ_ERR_INDEX;
        defn_vocab& v = part->vocabularies[static_cast<size_t>(entry)];
        const int32_t r = ref_rebind(ctx, &v.vocab, kRsrcVocab, in.c_str());
        if (r < 0) {
          report_vocab(ctx, r, in.c_str(), tok, rec);
          return r;
        }
        v.stop = stop != 0 ? 1 : 0;
        fuzzy_params_set(&v.fuzzy, fuzzy_enabled, fuzzy_threshold);
        return rc_combine(raise9(ctx, rec), r);
      });
  return with_conversion(in.rc, rc);
}

int32_t tqx_match_defn_token_vocabulary_add(context* ctx, int32_t index, int32_t token, const char* name,
                                            uint32_t stop, uint32_t fuzzy_enabled, uint32_t fuzzy_threshold) {
  const name_in in(ctx, name);
  if (in.rc < 0) return in.rc;
  const int32_t rc =
      token_edit(ctx, index, token, prep::drop, [&](defn_rec* rec, dtok_rec* tok, match_token_kind_rec* part) {
        defn_vocab v;
        const int32_t r = match_token_rsrc_open(ctx, kRsrcVocab, in.c_str(), &v.vocab, true);
        if (r < 0) {
          report_vocab(ctx, r, in.c_str(), tok, rec);
          return r;
        }
        v.stop = stop != 0 ? 1 : 0;
        fuzzy_params_set(&v.fuzzy, fuzzy_enabled, fuzzy_threshold);
        const int32_t grown =
            defn_list_append(part->vocabularies, std::move(v), [ctx](defn_vocab& x) { (void)x.vocab.release(ctx); });
        if (grown < 0) {
          TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 29, "Adding new vocab to match defn token.");
          return grown;
        }
        return rc_combine(raise9(ctx, rec), r);
      });
  return with_conversion(in.rc, rc);
}

int32_t tqx_match_defn_token_vocabulary_delete(context* ctx, int32_t index, int32_t token, int32_t entry) {
  return token_edit(ctx, index, token, prep::drop, [&](defn_rec* rec, dtok_rec*, match_token_kind_rec* part) {
    if (!in_range(entry, part->vocabularies.size())) return TQ_ERR_INDEX;
    auto at = part->vocabularies.begin() + entry;
    // The later vocabularies move down with their own fuzzy parameters.
    const int32_t released = at->vocab.release(ctx);
    part->vocabularies.erase(at);
    if (part->vocabularies.empty()) std::vector<defn_vocab>().swap(part->vocabularies);
    const int32_t rc = rc_combine(released, raise9(ctx, rec));
    if (rc < 0) unprepare(ctx, rec);
    return rc;
  });
}

int32_t tqx_match_defn_token_vocabulary_delete_all(context* ctx, int32_t index, int32_t token) {
  return token_edit(ctx, index, token, prep::drop, [&](defn_rec* rec, dtok_rec*, match_token_kind_rec* part) {
    const int32_t rc = raise9(ctx, rec);
    if (rc < 0) return rc;
    for (defn_vocab& v : part->vocabularies) (void)v.vocab.release(ctx);
    std::vector<defn_vocab>().swap(part->vocabularies);
    return 0;
  });
}

// ---- Categorization regex libraries -------------------------------------------------------------

int32_t tqx_match_defn_token_cat_regexlib_info_get(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                   char* name, char* abbrev, uint32_t* like, uint32_t* stop) {
  strio_out_clear(ctx, name);
  strio_out_clear(ctx, abbrev);
  *like = static_cast<uint32_t>(kLikelihoodDefault);
  *stop = 0;
  defn_rec* rec = nullptr;
  const match_token_kind_rec* part = nullptr;
  int32_t rc = token_find(ctx, index, token, &rec, &part);
  if (rc < 0) return rc;
  if (!in_range(entry, part->cat_regexlibs.size())) return TQ_ERR_INDEX;
  int32_t likelihood = kLikelihoodDefault;
  int32_t stopped = 0;
  rc = cat_regexlib_entry_info_get(ctx, part->cat_regexlibs[static_cast<size_t>(entry)], abbrev, name, &likelihood,
                                   &stopped, kConv);
  if (rc < 0) {
    strio_out_clear(ctx, name);
    strio_out_clear(ctx, abbrev);
    return rc;
  }
  *like = static_cast<uint32_t>(likelihood);
  *stop = static_cast<uint32_t>(stopped);
  return rc;
}

int32_t tqx_match_defn_token_cat_regexlib_info_set(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                   const char* abbrev, uint32_t like, const char* name,
                                                   uint32_t stop) {
  if (int32_t rc = cat_regexlib_texts_check(ctx, abbrev, name, kConv); rc < 0) return rc;
  return token_edit(ctx, index, token, prep::drop, [&](defn_rec* rec, dtok_rec*, match_token_kind_rec* part) {
    if (!in_range(entry, part->cat_regexlibs.size())) return TQ_ERR_INDEX;
    // The likelihood is checked as for an entry added (10..90): the entry
    // is rebuilt, and a failure leaves it as it was.
    const int32_t r = cat_regexlib_entry_set(ctx, part->cat_regexlibs[static_cast<size_t>(entry)], abbrev, -1, like,
                                             name, stop != 0 ? 1 : 0, kConv);
    if (r < 0) return r;
    return rc_combine(raise9(ctx, rec), r);
  });
}

int32_t tqx_match_defn_token_cat_regexlib_add(context* ctx, int32_t index, int32_t token, const char* abbrev,
                                              uint32_t like, const char* name, uint32_t stop) {
  return token_edit(ctx, index, token, prep::drop, [&](defn_rec* rec, dtok_rec*, match_token_kind_rec* part) {
    auto* entry = new (std::nothrow) cat_regexlib_entry;
    if (entry == nullptr) {
      TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 29, "Adding new cat regexlib to match defn token.");
      return TQ_ERR_NO_MEMORY;
    }
    cat_regexlib_entry_init(entry);
    const int32_t r = cat_regexlib_entry_set(ctx, entry, abbrev, -1, like, name, stop != 0 ? 1 : 0, kConv);
    if (r < 0) {
      delete entry;  // holds nothing: the set changes it only on success
      return r;
    }
    const int32_t added = cat_regexlib_list_append(ctx, &part->cat_regexlibs, entry);
    if (added < 0) {
      TQ_REPORT(ctx, added, 29, "Adding new cat regexlib to match defn token.");
      return added;
    }
    return rc_combine(raise9(ctx, rec), r);
  });
}

int32_t tqx_match_defn_token_cat_regexlib_delete(context* ctx, int32_t index, int32_t token, int32_t entry) {
  return token_edit(ctx, index, token, prep::drop, [&](defn_rec* rec, dtok_rec*, match_token_kind_rec* part) {
    if (!in_range(entry, part->cat_regexlibs.size())) return TQ_ERR_INDEX;
    const int32_t rc = raise9(ctx, rec);
    if (rc < 0) return rc;
    const int32_t r = cat_regexlib_list_delete(ctx, &part->cat_regexlibs, entry);
    if (part->cat_regexlibs.empty()) std::vector<cat_regexlib_entry*>().swap(part->cat_regexlibs);
    return r < 0 ? r : 0;
  });
}

int32_t tqx_match_defn_token_cat_regexlibs_delete_all(context* ctx, int32_t index, int32_t token) {
  return token_edit(ctx, index, token, prep::drop, [&](defn_rec* rec, dtok_rec*, match_token_kind_rec* part) {
    const int32_t rc = raise9(ctx, rec);
    if (rc < 0) return rc;
    cat_regexlib_list_clear(ctx, &part->cat_regexlibs, 0);
    std::vector<cat_regexlib_entry*>().swap(part->cat_regexlibs);
    return 0;
  });
}

// ---- Default categories -------------------------------------------------------------------------

namespace {

default_category_entry* default_at(const match_token_kind_rec* part, int32_t entry) {
  if (entry < 0 || static_cast<uint32_t>(entry) >= part->defaults.count) return nullptr;
  return static_cast<default_category_entry*>(part->defaults.slots[entry]);
}

}  // namespace

int32_t tqx_match_defn_token_default_category_info_get(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                       char* abbrev, uint32_t* like) {
  strio_out_clear(ctx, abbrev);
  *like = static_cast<uint32_t>(kLikelihoodDefault);
  defn_rec* rec = nullptr;
  const match_token_kind_rec* part = nullptr;
  int32_t rc = token_find(ctx, index, token, &rec, &part);
  if (rc < 0) return rc;
  const default_category_entry* e = default_at(part, entry);
  if (e == nullptr) return TQ_ERR_INDEX;
  *like = static_cast<uint32_t>(e->likelihood);
  if (e->category == nullptr) return 0;
  rc = strio_out(ctx, e->category->name, abbrev, kCategoryNameSize - 1, kConv);
  if (rc < 0) strio_out_clear(ctx, abbrev);
  return rc;
}

int32_t tqx_match_defn_token_default_category_info_set(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                       const char* abbrev, uint32_t like) {
  const name_in in(ctx, abbrev, kCategoryNameSize - 1);
  if (in.rc < 0) return in.rc;
  const int32_t rc =
      token_edit(ctx, index, token, prep::drop, [&](defn_rec*, dtok_rec*, match_token_kind_rec* part) {
        default_category_entry* e = default_at(part, entry);
        if (e == nullptr) return TQ_ERR_INDEX;
        return default_category_entry_set(ctx, e, in.c_str(), like);
      });
  return with_conversion(in.rc, rc);
}

int32_t tqx_match_defn_token_default_category_add(context* ctx, int32_t index, int32_t token, int32_t* cat_idx) {
  *cat_idx = -1;
  return token_edit(ctx, index, token, prep::drop, [&](defn_rec*, dtok_rec*, match_token_kind_rec* part) {
    auto* entry = static_cast<default_category_entry*>(np_calloc(1, sizeof(default_category_entry)));
    if (entry == nullptr || vec_push(&part->defaults, entry) != 0) {
      std::free(entry);
      TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 29, "Adding new default category to match defn token.");
      return TQ_ERR_NO_MEMORY;
    }
    entry->likelihood = kLikelihoodDefault;  // and no category yet
    *cat_idx = static_cast<int32_t>(part->defaults.count - 1);
    return 0;
  });
}

int32_t tqx_match_defn_token_default_category_delete(context* ctx, int32_t index, int32_t token, int32_t entry) {
  return token_edit(ctx, index, token, prep::drop, [&](defn_rec*, dtok_rec*, match_token_kind_rec* part) {
    if (default_at(part, entry) == nullptr) return TQ_ERR_INDEX;
    return default_category_delete(&part->defaults, entry);
  });
}

int32_t tqx_match_defn_token_default_categories_delete_all(context* ctx, int32_t index, int32_t token) {
  return token_edit(ctx, index, token, prep::drop, [&](defn_rec*, dtok_rec*, match_token_kind_rec* part) {
    default_category_list_clear(&part->defaults);
    return 0;
  });
}

// ---- Single values ------------------------------------------------------------------------------

int32_t tqx_match_defn_token_cat_automatic_uppercasing_get(context* ctx, int32_t index, int32_t token,
                                                           uint32_t* auto_upper) {
  *auto_upper = 1;
  defn_rec* rec = nullptr;
  const match_token_kind_rec* part = nullptr;
  const int32_t rc = token_find(ctx, index, token, &rec, &part);
  if (rc < 0) return rc;
  *auto_upper = static_cast<uint32_t>(part->cat_uppercasing);
  return 0;
}

int32_t tqx_match_defn_token_cat_automatic_uppercasing_set(context* ctx, int32_t index, int32_t token,
                                                           uint32_t value) {
  return token_edit(ctx, index, token, prep::drop, [&](defn_rec* rec, dtok_rec*, match_token_kind_rec* part) {
    const int32_t rc = raise9(ctx, rec);
    if (rc < 0) return rc;
    part->cat_uppercasing = value != 0 ? 1 : 0;
    return 0;
  });
}

int32_t tqx_match_defn_token_sensitivity_info_get(context* ctx, int32_t index, int32_t token, int32_t sens,
                                                  uint32_t* sense, uint32_t* start, uint32_t* stop) {
  *sense = 0;
  *start = 0;
  *stop = 0;
  defn_rec* rec = nullptr;
  const match_token_kind_rec* part = nullptr;
  const int32_t rc = token_find(ctx, index, token, &rec, &part);
  if (rc < 0) return rc;
  if (sens < 0 || static_cast<uint32_t>(sens) >= kMatchSensCount) return TQ_ERR_INDEX;
  *sense = static_cast<uint32_t>(kMatchSensValues[sens]);
  *start = static_cast<uint32_t>(part->positions[sens].start);
  *stop = static_cast<uint32_t>(part->positions[sens].end);
  return 0;
}

int32_t tqx_match_defn_token_sensitivity_info_set(context* ctx, int32_t index, int32_t token, int32_t sens,
                                                  uint32_t start, uint32_t end) {
  return token_edit(ctx, index, token, prep::keep, [&](defn_rec* rec, dtok_rec*, match_token_kind_rec* part) {
    if (sens < 0 || static_cast<uint32_t>(sens) >= kMatchSensCount) return TQ_ERR_INDEX;
    // The positions a file may hold: a code longer than 1,024 characters
    // (or a position wrapping to a negative one) could not be built.
    if (start > end || end > static_cast<uint32_t>(kMatchPositionMax)) return TQ_ERR_ARGUMENT;
    part->positions[sens] = {static_cast<int32_t>(start), static_cast<int32_t>(end)};
    match_defn_code_length_recompute(rec);
    return 0;
  });
}

}  // namespace tq
