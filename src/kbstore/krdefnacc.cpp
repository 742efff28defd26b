// The accessors every definition kind shares. Plain fields are descriptors
// at the top; the rest is grouped as the header groups it. Every setter runs
// its change inside edit() (or token_edit()), which takes the definition for
// change and gives the hold back on every path; everything that can fail
// (converting a name, opening a resource, allocating) comes before the first
// change, so a failed setter leaves the definition as it was.
#include "kbstore/krdefnacc.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "core/krcorvel.h"
#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "kbstore/krdcat.h"
#include "kbstore/krdefnlist.h"
#include "kbstore/krdtyp.h"
#include "kbstore/krlocload.h"
#include "kbstore/krxml.h"
#include "platform/npmem.h"

namespace tq {

// ---- Plain fields ---------------------------------------------------------------------------

const field_desc kDefnOwner =
    text_field<&defn_rec::owner>("Owner", &kDefnRecords, kFieldConvert | kFieldTrim).raises(kDefnEngineVersion);
const field_desc kDefnIncomplete = flag_field<&defn_rec::incomplete>("Incomplete", &kDefnRecords);
const field_desc kDefnValid = flag_field<&defn_rec::valid>("Valid", &kDefnRecords);
const field_desc kDefnValidFlagInfo = u32_field<&defn_rec::validity_bits>("Valid Flag Info", &kDefnRecords);
const field_desc kDefnEditable = flag_field<&defn_rec::editable>("Editable", &kDefnRecords);
const field_desc kDefnSurface = flag_field<&defn_rec::surface>("Surface", &kDefnRecords);
const field_desc kDefnAutomaticUppercasing =
    flag_field<&defn_rec::automatic_uppercasing>("Automatic Uppercasing", &kDefnRecords)
        .out(1)
        .drops(kFieldDropsPrepared);
// The kinds that run on a parse definition prepare from it.
const field_desc kDefnParseDefnIndex = i32_field<&defn_rec::parse_defn>("Parse Definition", &kDefnRecords)
                                           .out(-1)
                                           .fails_as(TQ_ERR_PART_MISSING)
                                           .drops(kFieldDropsPrepared);
const field_desc kDefnParsedInputFlag =
    flag_field<&defn_rec::allow_parsed_input>("Allow Parsed Input", &kDefnRecords).fails_as(TQ_ERR_INDEX);
const field_desc kDefnTokenAutomaticUppercasing =
    flag_field<&dtok_rec::automatic_uppercasing>("Automatic Uppercasing", &kDefnTokens)
        .out(1)
        .fails_as(TQ_ERR_INDEX)
        .drops(kFieldDropsPrepared);

namespace {

constexpr uint32_t kConv = kStrioConvert;
// A caller's token edit: converted, and what it names opened checked.
constexpr uint32_t kConvEdit = kStrioConvert | kDtokEdit;
constexpr uint32_t kRsrcNameInMax = kDtokRsrcNameMax;  // a resource name taken in or given out
constexpr uint32_t kVocabNameOutMax = 16384;           // the single vocabulary name given out

void drop_prepared(context* ctx, defn_rec* rec) { kDefnRecords.invalidate(ctx, rec, kFieldDropsPrepared); }

// Runs body(rec) on the definition taken for change and gives the hold back.
template <typename F>
int32_t edit(context* ctx, int32_t kind, int32_t index, F&& body) {
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t rc = defn_record_get_for_write(ctx, kind, index, &rec, &held);
  if (rc < 0) return rc;
  try {
    rc = body(rec);
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  return rc_combine(rc, held.release());
}

int32_t find_rec(context* ctx, int32_t kind, int32_t index, defn_rec** rec) {
  return defn_record_get_for_read(ctx, kind, index, rec);
}

// A caller's name into UTF-8 (max bytes); NULL is -802.
// `unkept` (kStrioUnkept) for a name only looked for.
int32_t name_in(context* ctx, const char* name, char* out, uint32_t max, uint32_t unkept = 0) {
  out[0] = '\0';
  if (name == nullptr) return TQ_ERR_ARGUMENT;
  return strio_in(ctx, name, out, max, kConv | unkept);
}

struct rsrc_name_in {
  char text[kRsrcNameInMax + 1];
  int32_t rc = 0;
  rsrc_name_in(context* ctx, const char* name) { rc = name_in(ctx, name, text, kRsrcNameInMax); }
  bool empty() const { return text[0] == '\0'; }
};

rsrc_ref& ref_of(rsrc_ref& r) { return r; }
rsrc_ref& ref_of(defn_vocab& v) { return v.vocab; }
const rsrc_ref& ref_of(const rsrc_ref& r) { return r; }
const rsrc_ref& ref_of(const defn_vocab& v) { return v.vocab; }

// A held resource's name (UTF-8, as registered); "" for an empty ref.
int32_t ref_name(context* ctx, const rsrc_ref& ref, char (&out)[kRsrcNameSize]) {
  out[0] = '\0';
  if (!ref.held()) return 0;
  return rsrc_name_get(ctx, ref.kind(), ref.index(), out, sizeof out);
}

// The same given out in the session encoding (max bytes).
int32_t ref_name_out(context* ctx, const rsrc_ref& ref, char* out, uint32_t max) {
  char utf8[kRsrcNameSize];
  int32_t rc = ref_name(ctx, ref, utf8);
  if (rc < 0) return rc;
  return strio_out(ctx, utf8, out, max, kConv);
}

// The one swap of every list entry and single slot: a slot already holding
// the resource of that name (byte for byte) changes nothing and takes no
// reference; otherwise the named resource is opened first, then the old
// reference given back and the new one put in its place. A failed open
// leaves the slot as it was. *changed tells whether the slot changed.
int32_t ref_swap(context* ctx, uint32_t rkind, rsrc_ref& slot, const char* name, bool* changed,
                 rsrc_register_fn reg = nullptr) {
  *changed = false;
  if (slot.held()) {
    char present[kRsrcNameSize];
    if (ref_name(ctx, slot, present) >= 0 && std::strcmp(present, name) == 0) return 0;
  }
  // A name is taken only for a file that reads as the kind: one that does
  // not would be written and then fail every run and the next load.
  rsrc_ref fresh;
  int32_t rc = reg != nullptr ? rsrc_open_checked_by(ctx, rkind, reg, name, &fresh)
                              : rsrc_open_checked(ctx, rkind, name, 0, &fresh);
  if (rc < 0) return rc;
  // The old reference is given back whatever its free operation reports,
  // so the slot is empty for the new one.
  const int32_t released = slot.release(ctx);
  slot = std::move(fresh);
  *changed = true;
  return rc_combine(released, rc);
}

// Gives every reference of the list back and empties it; the first failure
// of a free operation is returned, the list is empty all the same.
template <typename E>
int32_t list_release_all(context* ctx, std::vector<E>& list) {
  int32_t rc = 0;
  for (E& e : list) rc = rc_combine(rc, ref_of(e).release(ctx));
  list.clear();
  return rc < 0 ? rc : 0;
}

// Opens the named resource into entry's ref and appends the entry: the list
// grows only once the open succeeded (krdefnlist.h).
template <typename E>
int32_t list_append(context* ctx, uint32_t rkind, std::vector<E>& list, const char* name, E entry) {
  int32_t rc = rsrc_open_checked(ctx, rkind, name, 0, &ref_of(entry));
  if (rc < 0) return rc;
  const int32_t grown = defn_list_append(list, std::move(entry), [ctx](E& e) { (void)ref_of(e).release(ctx); });
  return grown < 0 ? grown : rc;
}

// The single form of a list: afterwards it holds only the named resource
// (nothing for an empty name). One entry of another name is swapped in
// place (keeping what else the entry holds); otherwise `entry` is opened,
// then the old ones given back.
template <typename E>
int32_t list_set_only(context* ctx, uint32_t rkind, std::vector<E>& list, const char* name, E entry,
                      bool* changed) {
  *changed = false;
  if (name[0] == '\0') {
    *changed = !list.empty();
    return list_release_all(ctx, list);
  }
  if (list.size() == 1) return ref_swap(ctx, rkind, ref_of(list[0]), name, changed);
  int32_t rc = rsrc_open_checked(ctx, rkind, name, 0, &ref_of(entry));
  if (rc < 0) return rc;
  // Emptied, the list keeps its room; an empty one had nothing to move.
  const int32_t released = list_release_all(ctx, list);
  const int32_t grown = defn_list_append(list, std::move(entry), [ctx](E& e) { (void)ref_of(e).release(ctx); });
  *changed = grown >= 0;  // a list that could not grow was empty
  return grown < 0 ? grown : rc_combine(released, rc);
}

bool in_range(int32_t i, size_t n) { return i >= 0 && static_cast<size_t>(i) < n; }

// Entry `entry` of a list by name: -800 out of range; entry 0 with an empty
// name empties the list; an empty name elsewhere is -802; else the swap.
template <typename E>
int32_t list_set_at(context* ctx, uint32_t rkind, std::vector<E>& list, int32_t entry, const char* name,
                    bool* changed) {
  *changed = false;
  if (!in_range(entry, list.size())) return TQ_ERR_INDEX;
  if (name[0] == '\0') {
    if (entry != 0) return TQ_ERR_ARGUMENT;
    *changed = true;
    return list_release_all(ctx, list);
  }
  return ref_swap(ctx, rkind, ref_of(list[static_cast<size_t>(entry)]), name, changed);
}

template <typename E>
int32_t list_name_get(context* ctx, const std::vector<E>& list, int32_t entry, char* name, uint32_t max) {
  if (!in_range(entry, list.size())) return TQ_ERR_INDEX;
  return ref_name_out(ctx, ref_of(list[static_cast<size_t>(entry)]), name, max);
}

int32_t count_out(context* ctx, int32_t kind, int32_t index, uint32_t* count,
                  uint32_t (*of)(const defn_rec*)) {
  if (count == nullptr) return TQ_ERR_ARGUMENT;
  *count = 0;
  defn_rec* rec = nullptr;
  int32_t rc = find_rec(ctx, kind, index, &rec);
  if (rc < 0) return rc;
  *count = of(rec);
  return 0;
}

// A list of regex libraries of the record (preprocessing or normalization).
using rec_list = std::vector<rsrc_ref> defn_rec::*;

int32_t regexlib_add(context* ctx, int32_t kind, int32_t index, rec_list list, const char* name) {
  rsrc_name_in in(ctx, name);
  if (in.rc < 0) return in.rc;
  int32_t rc = edit(ctx, kind, index, [&](defn_rec* rec) {
    int32_t r = list_append(ctx, kRsrcRegex, rec->*list, in.text, rsrc_ref{});
    if (r >= 0) drop_prepared(ctx, rec);
    return r;
  });
  return rc_combine(rc, in.rc);
}

int32_t regexlibs_delete_all(context* ctx, int32_t kind, int32_t index, rec_list list, bool uppercasing_back) {
  return edit(ctx, kind, index, [&](defn_rec* rec) {
    int32_t r = list_release_all(ctx, rec->*list);
    if (uppercasing_back) rec->automatic_uppercasing = 1;
    drop_prepared(ctx, rec);
    return r;
  });
}

int32_t regexlib_name_get_by_index(context* ctx, int32_t kind, int32_t index, rec_list list, int32_t entry,
                                   char* name) {
  if (name == nullptr) return TQ_ERR_ARGUMENT;
  strio_out_clear(ctx, name);
  defn_rec* rec = nullptr;
  int32_t rc = find_rec(ctx, kind, index, &rec);
  if (rc < 0) return rc;
  rc = list_name_get(ctx, rec->*list, entry, name, kRsrcNameInMax);
  if (rc < 0) strio_out_clear(ctx, name);
  return rc;
}

int32_t regexlib_name_set_by_index(context* ctx, int32_t kind, int32_t index, rec_list list, int32_t entry,
                                   const char* name) {
  rsrc_name_in in(ctx, name);
  if (in.rc < 0) return in.rc;
  int32_t rc = edit(ctx, kind, index, [&](defn_rec* rec) {
    bool changed = false;
    int32_t r = list_set_at(ctx, kRsrcRegex, rec->*list, entry, in.text, &changed);
    if (changed) drop_prepared(ctx, rec);
    return r;
  });
  return rc_combine(rc, in.rc);
}

// A single resource slot of the record (chopper, postprocessing library).
using rec_slot = rsrc_ref defn_rec::*;

int32_t slot_name_get(context* ctx, int32_t kind, int32_t index, rec_slot slot, char* name) {
  if (name == nullptr) return TQ_ERR_ARGUMENT;
  strio_out_clear(ctx, name);
  defn_rec* rec = nullptr;
  int32_t rc = find_rec(ctx, kind, index, &rec);
  if (rc < 0) return rc;
  rc = ref_name_out(ctx, rec->*slot, name, kRsrcNameInMax);
  if (rc < 0) strio_out_clear(ctx, name);
  return rc;
}

int32_t slot_name_set(context* ctx, int32_t kind, int32_t index, rec_slot slot, uint32_t rkind,
                      const char* name) {
  rsrc_name_in in(ctx, name);
  if (in.rc < 0) return in.rc;
  int32_t rc = edit(ctx, kind, index, [&](defn_rec* rec) {
    bool changed = false;
    int32_t r = 0;
    if (in.empty()) {
      changed = (rec->*slot).held();
      r = (rec->*slot).release(ctx);
    } else {
      r = ref_swap(ctx, rkind, rec->*slot, in.text, &changed);
    }
    if (changed) drop_prepared(ctx, rec);
    return r;
  });
  return rc_combine(rc, in.rc);
}

// Comments and layouts: documents the record owns.
using rec_doc = xmldoc* defn_rec::*;

int32_t doc_get(context* ctx, int32_t kind, int32_t index, rec_doc doc, tq_xmldoc** out) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  defn_rec* rec = nullptr;
  int32_t rc = find_rec(ctx, kind, index, &rec);
  if (rc < 0) return rc;
  *out = rec->*doc;
  return 0;
}

int32_t doc_set(context* ctx, int32_t kind, int32_t index, rec_doc doc, tq_xmldoc* given) {
  return edit(ctx, kind, index, [&](defn_rec* rec) {
    // The getter hands out the stored document itself; setting it back must
    // not free it under the caller.
    if (given == rec->*doc) return 0;
    xml_free(ctx, rec->*doc);
    rec->*doc = (given != nullptr && given->include_count > 0) ? given : nullptr;
    return 0;
  });
}

default_category_entry* category_at(const defn_rec* rec, int32_t entry) {
  const default_category_list& list = rec->default_categories;
  if (entry < 0 || static_cast<uint32_t>(entry) >= list.count) return nullptr;
  return static_cast<default_category_entry*>(list.slots[entry]);
}

int32_t category_out_of_range(context* ctx, const defn_rec* rec, int32_t entry) {
  TQ_REPORT(ctx, TQ_ERR_INDEX, 179, defn_kind_name(rec->kind), static_cast<const char*>(rec->name), entry);
  return TQ_ERR_INDEX;
}

dtok_owner owner_of(const defn_rec* rec) {
  dtok_owner owner;
  owner.kind = rec->kind;
  owner.defn_name = rec->name;
  owner.parse_defn = rec->parse_defn;
  return owner;
}

// Runs body(rec, tok) on token `token` taken for change, drops the
// definition's prepared state when the body succeeded and gives the hold
// back.
template <typename F>
int32_t token_edit(context* ctx, int32_t kind, int32_t index, int32_t token, F&& body) {
  dtok_rec* tok = nullptr;
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t rc = defn_token_get_for_write(ctx, kind, index, token, &tok, &rec, &held);
  if (rc < 0) return rc;
  try {
    rc = body(rec, tok);
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  return rc_combine(rc, defn_token_write_end(ctx, rec, rc >= 0, held));
}

// The same for reading.
template <typename F>
int32_t token_read(context* ctx, int32_t kind, int32_t index, int32_t token, F&& body) {
  dtok_rec* tok = nullptr;
  int32_t rc = defn_token_get_for_read(ctx, kind, index, token, &tok);
  if (rc < 0) return rc;
  return body(tok);
}

}  // namespace

int32_t defn_ref_swap(context* ctx, uint32_t rkind, rsrc_ref& slot, const char* name, bool* changed,
                      rsrc_register_fn reg) {
  return ref_swap(ctx, rkind, slot, name, changed, reg);
}

// ---- Names and lookups ------------------------------------------------------------------

int32_t defn_name_get_surfaced(context* ctx, int32_t kind, int32_t index, char* name) {
  return defn_name_get_by_index(ctx, kind, index, kDefnNameConvert, name);
}
int32_t defn_name_get_any(context* ctx, int32_t kind, int32_t index, char* name) {
  return defn_name_get_by_index(ctx, kind, index, kDefnNameConvert | kDefnAnySurface, name);
}
int32_t defn_index_get_surfaced(context* ctx, int32_t kind, const char* name, int32_t* index) {
  return defn_index_get_by_name(ctx, kind, name, kDefnNameConvert, index);
}
int32_t defn_index_get_any(context* ctx, int32_t kind, const char* name, int32_t* index) {
  return defn_index_get_by_name(ctx, kind, name, kDefnNameConvert | kDefnAnySurface, index);
}

int32_t defn_name_set(context* ctx, int32_t kind, int32_t index, const char* name) {
  char text[kDefnNameMax + 1];
  const int32_t conv = name_in(ctx, name, text, kDefnNameMax);
  if (conv < 0) return conv;
  int32_t rc = edit(ctx, kind, index, [&](defn_rec* rec) {
    // An unloaded slot is no definition: named, a lookup would find it.
    if (rec->kind == 0) return TQ_ERR_INDEX;
    loaded_locale_rec* locale = nullptr;
    int32_t r = locale_rec_get(ctx, rec->locale, &locale);
    if (r < 0) return r;
    char was[kDefnNameMax + 1];
    str_copy_bounded(was, rec->name, sizeof was);
    r = defn_rec_name_set(ctx, locale->defns[kind], rec, text);
    // Users follow it under its new name, and those of what the old name or
    // the new one finds now bind as the written locale reads back.
    if (r >= 0) {
      defn_holders_rebind(ctx, kind, rec->name);
      defn_holders_rebind(ctx, kind, was);
    }
    return r;
  });
  return rc_combine(rc, conv);
}

int32_t defn_surface_flag_get(context* ctx, int32_t kind, int32_t index, uint32_t* flag) {
  if (flag == nullptr) return TQ_ERR_ARGUMENT;
  *flag = 0;
  defn_rec* rec = nullptr;
  int32_t rc = find_rec(ctx, kind, index, &rec);
  if (rc < 0) return rc;
  *flag = static_cast<uint32_t>(defn_surfaced_get(ctx, rec));
  return 0;
}

int32_t defn_deprecated_info_get(context* ctx, int32_t kind, int32_t index, uint32_t* deprecated,
                                 char* replacement) {
  if (deprecated == nullptr || replacement == nullptr) return TQ_ERR_ARGUMENT;
  *deprecated = 0;
  strio_out_clear(ctx, replacement);
  defn_rec* rec = nullptr;
  int32_t rc = find_rec(ctx, kind, index, &rec);
  if (rc < 0) return rc;
  *deprecated = rec->deprecated != 0 ? 1 : 0;
  if (*deprecated == 0) return 0;
  rc = strio_out(ctx, rec->replacement, replacement, kDefnReplacementMax, kConv);
  if (rc < 0) strio_out_clear(ctx, replacement);
  return rc;
}

int32_t defn_deprecated_info_set(context* ctx, int32_t kind, int32_t index, uint32_t deprecated,
                                 const char* replacement) {
  char text[kDefnReplacementMax + 1] = {};
  int32_t conv = 0;
  if (deprecated != 0 && replacement != nullptr) {
    conv = name_in(ctx, replacement, text, kDefnReplacementMax);
    if (conv < 0) return conv;
  }
  int32_t rc = edit(ctx, kind, index, [&](defn_rec* rec) {
    int32_t r = defn_rec_version_raise(ctx, rec, kDefnEngineVersion);
    if (r < 0) return r;
    rec->deprecated = deprecated != 0 ? 1 : 0;
    std::memcpy(rec->replacement, text, sizeof text);
    return 0;
  });
  return rc_combine(rc, conv);
}

int32_t defn_datatype_index_get(context* ctx, int32_t kind, int32_t index, int32_t* dtype_index) {
  if (dtype_index == nullptr) return TQ_ERR_ARGUMENT;
  *dtype_index = -1;
  defn_rec* rec = nullptr;
  int32_t rc = find_rec(ctx, kind, index, &rec);
  if (rc < 0 || rec->datatype < 0) return rc;
  // The index is the definition's own locale's; callers speak the current
  // locale's, where the datatype of that name may sit elsewhere.
  loaded_locale_rec* locale = nullptr;
  rc = locale_rec_get(ctx, rec->locale, &locale);
  dtype_chain own{};
  if (rc == 0) rc = dtype_locale_chain(ctx, locale, &own);
  dtype_rec* dt = nullptr;
  if (rc == 0) rc = dtype_record_get(ctx, own, rec->datatype, &dt);
  dtype_chain here{};
  if (rc == 0) rc = dtype_current_chain(ctx, &here);
  if (rc == 0) rc = dtype_index_get_by_name(ctx, here, dt->name, dtype_index);
  if (rc < 0) *dtype_index = -1;
  return rc;
}

int32_t defn_datatype_index_own(context* ctx, const defn_rec* rec, int32_t dtype_index, int32_t* own) {
  *own = -1;
  // None is refused for every kind: a definition's file without a datatype
  // reads back with the one its reader falls back on (identification's
  // "Name", a locale guess definition's from its name), or not at all, so
  // -1 taken here would read back otherwise, and fail once that datatype
  // is renamed.
  if (dtype_index == -1) {
    TQ_REPORT(ctx, TQ_ERR_INDEX, 57, "A definition keeps a datatype: -1 (none) is not taken.");
    return TQ_ERR_INDEX;
  }
  // The reverse of the getter: the caller's index names a datatype of the
  // current locale; the definition keeps the index of the datatype of that
  // name in its own locale, which is where the writer looks it up.
  dtype_chain here{};
  dtype_rec* dt = nullptr;
  int32_t rc = dtype_current_chain(ctx, &here);
  if (rc == 0) rc = dtype_record_get(ctx, here, dtype_index, &dt);
  loaded_locale_rec* locale = nullptr;
  if (rc == 0) rc = locale_rec_get(ctx, rec->locale, &locale);
  dtype_chain mine{};
  if (rc == 0) rc = dtype_locale_chain(ctx, locale, &mine);
  if (rc == 0) rc = dtype_index_get_by_name(ctx, mine, dt->name, own);
  if (rc == TQ_ERR_NO_MEMORY) return rc;
  if (rc < 0 || *own < 0) {
    *own = -1;
    return TQ_ERR_INDEX;
  }
  return 0;
}

int32_t defn_datatype_index_set(context* ctx, int32_t kind, int32_t index, int32_t dtype_index) {
  return defn_datatype_index_set_naming(ctx, kind, index, dtype_index, 0);
}

int32_t defn_datatype_index_set_naming(context* ctx, int32_t kind, int32_t index, int32_t dtype_index, uint32_t names) {
  return edit(ctx, kind, index, [&](defn_rec* rec) {
    int32_t own = -1;
    int32_t rc = defn_datatype_index_own(ctx, rec, dtype_index, &own);
    if (rc < 0) return rc;
    const int32_t before = rec->datatype;
    rec->datatype = own;
    if (names == 0) return 0;
    // A datatype keeps token values of up to 1,024 bytes, a definition's
    // token names 320: checked before anything of the definition changes.
    defn_token_owner owner;
    rc = defn_token_owner_get(ctx, rec, &owner);
    for (uint32_t t = 0; rc >= 0 && t < owner.owner.datatype_token_count && t < names; ++t) {
      const size_t length = std::strlen(owner.datatype_tokens[t]);
      if (length < kDtokNameSize) continue;
      const auto n = static_cast<uint32_t>(length);
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1954, call_name_of(ctx), n, strio_bytes_word(n), kDtokNameSize - 1,
                strio_bytes_word(kDtokNameSize - 1));
      rc = TQ_ERR_INVALID_CONTENT;
    }
    if (rc < 0) rec->datatype = before;
    return rc < 0 ? rc : 0;
  });
}

namespace {

// 1 when the index names a loaded parse definition of the definition's own
// locale, where the writer and the analyses look it up.
bool parse_defn_named(context* ctx, const defn_rec* rec, int32_t parse_index) {
  defn_rec* parse = nullptr;
  return parse_index >= 0 &&
         defn_record_get_for_read_in_locale(ctx, kDefnParse, rec->locale, parse_index, &parse) >= 0 &&
         parse->kind == kDefnParse;
}

}  // namespace

int32_t defn_parse_defn_index_set(context* ctx, int32_t kind, int32_t index, int32_t parse_index) {
  return edit(ctx, kind, index, [&](defn_rec* rec) {
    if (parse_index != -1 && !parse_defn_named(ctx, rec, parse_index)) return TQ_ERR_INDEX;
    // One hidden behind another of its name would not be named after a
    // write and a load.
    if (int32_t r = defn_held_index_check(ctx, kDefnParse, rec->locale, parse_index); r < 0) return r;
    // None, for a kind whose documents do not read without one, would leave
    // a definition that the locale written and read again refuses.
    const defn_kind_ops* ops = defn_kind_ops_get(rec->kind);
    if (parse_index == -1 && ops != nullptr && ops->needs_named != nullptr && ops->needs_named(kDefnParse) != 0) {
      return TQ_ERR_INDEX;
    }
    rec->parse_defn = parse_index;
    // Parsed input goes with the parse definition, as files read it.
    if (parse_index == -1) rec->allow_parsed_input = 0;
    drop_prepared(ctx, rec);
    return 0;
  });
}

int32_t defn_parsed_input_flag_set(context* ctx, int32_t kind, int32_t index, uint32_t flag) {
  return edit(ctx, kind, index, [&](defn_rec* rec) {
    if (flag != 0 && !parse_defn_named(ctx, rec, rec->parse_defn)) return TQ_ERR_PART_MISSING;
    rec->allow_parsed_input = flag != 0 ? 1 : 0;
    return 0;
  });
}

int32_t defn_parse_defn_name_get(context* ctx, int32_t kind, int32_t index, char* name) {
  if (name == nullptr) return TQ_ERR_ARGUMENT;
  strio_out_clear(ctx, name);
  defn_rec* rec = nullptr;
  int32_t rc = find_rec(ctx, kind, index, &rec);
  if (rc < 0 || rec->parse_defn < 0) return rc;
  defn_rec* parse = nullptr;
  rc = defn_record_get_for_read_in_locale(ctx, kDefnParse, rec->locale, rec->parse_defn, &parse);
  if (rc < 0) return rc;
  // The caller's buffer holds TQ_NAME_MAX bytes and the session's terminator.
  rc = strio_out(ctx, parse->name, name, kDefnNameMax, kConv);
  if (rc < 0) strio_out_clear(ctx, name);
  return rc;
}

int32_t defn_comments_get(context* ctx, int32_t kind, int32_t index, tq_xmldoc** comments) {
  return doc_get(ctx, kind, index, &defn_rec::comments, comments);
}
int32_t defn_layouts_get(context* ctx, int32_t kind, int32_t index, tq_xmldoc** layouts) {
  return doc_get(ctx, kind, index, &defn_rec::layouts, layouts);
}
int32_t defn_comments_set(context* ctx, int32_t kind, int32_t index, tq_xmldoc* comments) {
  return doc_set(ctx, kind, index, &defn_rec::comments, comments);
}
int32_t defn_layouts_set(context* ctx, int32_t kind, int32_t index, tq_xmldoc* layouts) {
  return doc_set(ctx, kind, index, &defn_rec::layouts, layouts);
}

// ---- Surfaced definitions ------------------------------------------------------------

namespace {

// Whether the record at a caller's index counts as surfaced (of the current
// locale when locale is -1, which no loaded locale's code is). An unloaded
// slot keeps its index but is no definition.
int32_t surfaced_at(context* ctx, int32_t kind, int32_t locale, int32_t index, bool* surfaced) {
  *surfaced = false;
  defn_rec* rec = nullptr;
  int32_t rc = locale < 0 ? defn_record_get_for_read(ctx, kind, index, &rec)
                          : defn_record_get_for_read_in_locale(ctx, kind, locale, index, &rec);
  if (rc < 0) return rc;
  *surfaced = rec->kind != 0 && defn_surfaced_get(ctx, rec) != 0;
  return 0;
}

// Counts the surfaced ones among n definitions; *count holds what was
// counted when a lookup fails.
int32_t surfaced_count(context* ctx, int32_t kind, int32_t locale, uint32_t n, uint32_t* count) {
  *count = 0;
  for (uint32_t i = 0; i < n; ++i) {
    bool surfaced = false;
    int32_t rc = surfaced_at(ctx, kind, locale, static_cast<int32_t>(i), &surfaced);
    if (rc < 0) return rc;
    if (surfaced) ++*count;
  }
  return 0;
}

}  // namespace

int32_t defn_surfaced_count_get(context* ctx, int32_t kind, uint32_t* count) {
  *count = 0;
  uint32_t n = 0;
  int32_t rc = defn_count_get(ctx, kind, &n);
  if (rc < 0) return rc;
  return surfaced_count(ctx, kind, -1, n, count);
}

int32_t defn_surfaced_count_get_by_locale(context* ctx, int32_t kind, int32_t locale, uint32_t* count) {
  *count = 0;
  uint32_t n = 0;
  int32_t rc = defn_count_get_by_locale(ctx, kind, locale, &n);
  if (rc < 0) return rc;
  return surfaced_count(ctx, kind, locale, n, count);
}

int32_t defn_surfaced_name_get(context* ctx, int32_t kind, int32_t position, char* name) {
  strio_out_clear_n(ctx, name, kDefnNameMax + 1);
  uint32_t n = 0;
  uint32_t surfaced = 0;
  // What could be counted bounds the position; a failed count is not the answer.
  if (defn_count_get(ctx, kind, &n) >= 0) (void)surfaced_count(ctx, kind, -1, n, &surfaced);
  if (position < 0 || static_cast<uint32_t>(position) >= surfaced) return TQ_ERR_INDEX;
  int32_t seen = -1;
  for (uint32_t i = 0; i < n; ++i) {
    bool is = false;
    int32_t rc = surfaced_at(ctx, kind, -1, static_cast<int32_t>(i), &is);
    if (rc < 0) return rc;
    if (is && ++seen == position) return defn_name_get_surfaced(ctx, kind, static_cast<int32_t>(i), name);
  }
  return TQ_ERR_INDEX;
}

// ---- Whole definitions --------------------------------------------------------------

int32_t defn_add_named(context* ctx, int32_t kind, const char* name, int32_t* index) {
  return defn_add(ctx, kind, name, kDefnNameConvert, index);
}

int32_t defn_copy_named(context* ctx, int32_t kind, const char* source, const char* dest, int32_t* index) {
  return defn_copy(ctx, kind, source, dest, kDefnNameConvert, index);
}

int32_t defn_write_into(context* ctx, int32_t kind, tq_xmldoc* xml, int32_t index) {
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, kind, index, &rec);
  if (rc < 0) return rc;
  if (rec->kind == 0) return TQ_ERR_INDEX;
  rc = defn_element_write(ctx, xml, rec);
  return rc < 0 ? rc : 0;
}

// ---- Regex-library lists ------------------------------------------------------------------

int32_t defn_preprocessing_regexlib_count_get(context* ctx, int32_t kind, int32_t index, uint32_t* count) {
  return count_out(ctx, kind, index, count,
                   [](const defn_rec* r) { return static_cast<uint32_t>(r->preprocessing.size()); });
}
int32_t defn_preprocessing_regexlib_add(context* ctx, int32_t kind, int32_t index, const char* name) {
  return regexlib_add(ctx, kind, index, &defn_rec::preprocessing, name);
}
int32_t defn_preprocessing_regexlibs_delete_all(context* ctx, int32_t kind, int32_t index) {
  return regexlibs_delete_all(ctx, kind, index, &defn_rec::preprocessing, false);
}
int32_t defn_preprocessing_regexlib_name_get_by_index(context* ctx, int32_t kind, int32_t index, int32_t entry,
                                                      char* name) {
  return regexlib_name_get_by_index(ctx, kind, index, &defn_rec::preprocessing, entry, name);
}
int32_t defn_preprocessing_regexlib_name_set_by_index(context* ctx, int32_t kind, int32_t index, int32_t entry,
                                                      const char* name) {
  return regexlib_name_set_by_index(ctx, kind, index, &defn_rec::preprocessing, entry, name);
}

int32_t defn_preprocessing_regexlib_name_get(context* ctx, int32_t kind, int32_t index, char* name) {
  if (name == nullptr) return TQ_ERR_ARGUMENT;
  strio_out_clear(ctx, name);
  defn_rec* rec = nullptr;
  int32_t rc = find_rec(ctx, kind, index, &rec);
  if (rc < 0 || rec->preprocessing.empty()) return rc;
  rc = ref_name_out(ctx, rec->preprocessing[0], name, kRsrcNameInMax);
  if (rc < 0) strio_out_clear(ctx, name);
  return rc;
}

int32_t defn_preprocessing_regexlib_name_set(context* ctx, int32_t kind, int32_t index, const char* name) {
  rsrc_name_in in(ctx, name);
  if (in.rc < 0) return in.rc;
  int32_t rc = edit(ctx, kind, index, [&](defn_rec* rec) {
    bool changed = false;
    int32_t r = list_set_only(ctx, kRsrcRegex, rec->preprocessing, in.text, rsrc_ref{}, &changed);
    if (changed) drop_prepared(ctx, rec);
    return r;
  });
  return rc_combine(rc, in.rc);
}

int32_t defn_normalization_regexlib_count_get(context* ctx, int32_t kind, int32_t index, uint32_t* count) {
  return count_out(ctx, kind, index, count,
                   [](const defn_rec* r) { return static_cast<uint32_t>(r->normalization.size()); });
}
int32_t defn_normalization_regexlib_add(context* ctx, int32_t kind, int32_t index, const char* name) {
  rsrc_name_in in(ctx, name);
  if (in.rc < 0) return in.rc;
  if (in.empty()) return rc_combine(defn_normalization_regexlibs_delete_all(ctx, kind, index), in.rc);
  return regexlib_add(ctx, kind, index, &defn_rec::normalization, name);
}
int32_t defn_normalization_regexlibs_delete_all(context* ctx, int32_t kind, int32_t index) {
  // Without normalization a value is matched as the vocabularies hold
  // words: uppercased.
  return regexlibs_delete_all(ctx, kind, index, &defn_rec::normalization, true);
}
int32_t defn_normalization_regexlib_name_get_by_index(context* ctx, int32_t kind, int32_t index, int32_t entry,
                                                      char* name) {
  return regexlib_name_get_by_index(ctx, kind, index, &defn_rec::normalization, entry, name);
}
int32_t defn_normalization_regexlib_name_set_by_index(context* ctx, int32_t kind, int32_t index, int32_t entry,
                                                      const char* name) {
  return regexlib_name_set_by_index(ctx, kind, index, &defn_rec::normalization, entry, name);
}

// ---- Single resources -----------------------------------------------------------------------

int32_t defn_chopper_name_get(context* ctx, int32_t kind, int32_t index, char* name) {
  return slot_name_get(ctx, kind, index, &defn_rec::chopper, name);
}
int32_t defn_chopper_name_set(context* ctx, int32_t kind, int32_t index, const char* name) {
  return slot_name_set(ctx, kind, index, &defn_rec::chopper, kRsrcChopper, name);
}
int32_t defn_postprocessing_regexlib_name_get(context* ctx, int32_t kind, int32_t index, char* name) {
  return slot_name_get(ctx, kind, index, &defn_rec::postprocessing, name);
}
int32_t defn_postprocessing_regexlib_name_set(context* ctx, int32_t kind, int32_t index, const char* name) {
  return slot_name_set(ctx, kind, index, &defn_rec::postprocessing, kRsrcRegex, name);
}

// ---- Default categories ------------------------------------------------------------------

int32_t defn_default_category_count_get(context* ctx, int32_t kind, int32_t index, uint32_t* count) {
  return count_out(ctx, kind, index, count, [](const defn_rec* r) { return r->default_categories.count; });
}

int32_t defn_default_category_add(context* ctx, int32_t kind, int32_t index, int32_t* cat_index) {
  if (cat_index == nullptr) return TQ_ERR_ARGUMENT;
  *cat_index = -1;
  return edit(ctx, kind, index, [&](defn_rec* rec) {
    auto* entry = static_cast<default_category_entry*>(np_calloc(1, sizeof(default_category_entry)));
    if (entry == nullptr) return TQ_ERR_NO_MEMORY;
    entry->likelihood = kLikelihoodDefault;  // and no category yet
    if (vec_push(&rec->default_categories, entry) != 0) {
      std::free(entry);
      return TQ_ERR_NO_MEMORY;
    }
    *cat_index = static_cast<int32_t>(rec->default_categories.count - 1);
    drop_prepared(ctx, rec);
    return 0;
  });
}

int32_t defn_default_category_delete(context* ctx, int32_t kind, int32_t index, int32_t entry) {
  return edit(ctx, kind, index, [&](defn_rec* rec) {
    if (category_at(rec, entry) == nullptr) return category_out_of_range(ctx, rec, entry);
    int32_t r = default_category_delete(&rec->default_categories, entry);
    if (r >= 0) drop_prepared(ctx, rec);
    return r;
  });
}

int32_t defn_default_categories_delete_all(context* ctx, int32_t kind, int32_t index) {
  return edit(ctx, kind, index, [&](defn_rec* rec) {
    default_category_list_clear(&rec->default_categories);
    drop_prepared(ctx, rec);
    return 0;
  });
}

int32_t defn_default_category_info_get(context* ctx, int32_t kind, int32_t index, int32_t entry, char* category,
                                       uint32_t* likelihood) {
  if (category == nullptr || likelihood == nullptr) return TQ_ERR_ARGUMENT;
  strio_out_clear(ctx, category);
  *likelihood = kLikelihoodDefault;
  defn_rec* rec = nullptr;
  int32_t rc = find_rec(ctx, kind, index, &rec);
  if (rc < 0) return rc;
  const default_category_entry* e = category_at(rec, entry);
  if (e == nullptr) return category_out_of_range(ctx, rec, entry);
  *likelihood = static_cast<uint32_t>(e->likelihood);
  if (e->category == nullptr) return 0;
  rc = strio_out(ctx, e->category->name, category, kCategoryNameSize - 1, kConv);
  if (rc < 0) strio_out_clear(ctx, category);
  return rc;
}

int32_t defn_default_category_info_set(context* ctx, int32_t kind, int32_t index, int32_t entry,
                                       const char* category, uint32_t likelihood) {
  char text[kCategoryNameSize];
  const int32_t conv = name_in(ctx, category, text, kCategoryNameSize - 1);
  if (conv < 0) return conv;
  if (text[0] == '\0') return TQ_ERR_ARGUMENT;
  if (int32_t rc = number_limit_check(ctx, kLikelihoodLimit, likelihood, TQ_ERR_ARGUMENT); rc < 0) return rc;
  int32_t rc = edit(ctx, kind, index, [&](defn_rec* rec) {
    default_category_entry* e = category_at(rec, entry);
    if (e == nullptr) return category_out_of_range(ctx, rec, entry);
    // Interned as a category read from a file is: uppercased, numbered.
    int32_t r = default_category_entry_set(ctx, e, text, likelihood);
    if (r >= 0) drop_prepared(ctx, rec);
    return r;
  });
  return rc_combine(rc, conv);
}

// ---- Vocabularies ------------------------------------------------------------------------

namespace {

defn_vocab vocab_entry(uint32_t stop) {
  defn_vocab v;
  v.stop = stop != 0 ? 1 : 0;
  fuzzy_params_default(&v.fuzzy);
  return v;
}

int32_t vocab_failed(context* ctx, const defn_rec* rec, const char* name, int32_t rc) {
  if (rc < 0 && !err_is_critical(rc)) {
    TQ_REPORT(ctx, rc, 192, name, defn_kind_name(rec->kind), static_cast<const char*>(rec->name));
  }
  return rc;
}

}  // namespace

int32_t defn_vocabulary_count_get(context* ctx, int32_t kind, int32_t index, uint32_t* count) {
  return count_out(ctx, kind, index, count,
                   [](const defn_rec* r) { return static_cast<uint32_t>(r->vocabularies.size()); });
}

int32_t defn_vocabulary_add(context* ctx, int32_t kind, int32_t index, const char* name, uint32_t stop) {
  rsrc_name_in in(ctx, name);
  if (in.rc < 0) return in.rc;
  int32_t rc = edit(ctx, kind, index, [&](defn_rec* rec) {
    int32_t r = list_append(ctx, kRsrcVocab, rec->vocabularies, in.text, vocab_entry(stop));
    if (r >= 0) drop_prepared(ctx, rec);
    return vocab_failed(ctx, rec, in.text, r);
  });
  return rc_combine(rc, in.rc);
}

int32_t defn_vocabularies_delete_all(context* ctx, int32_t kind, int32_t index) {
  return edit(ctx, kind, index, [&](defn_rec* rec) {
    int32_t r = list_release_all(ctx, rec->vocabularies);
    drop_prepared(ctx, rec);
    return r;
  });
}

int32_t defn_vocabulary_info_get_by_index(context* ctx, int32_t kind, int32_t index, int32_t entry, char* name,
                                          uint32_t* stop) {
  if (name == nullptr || stop == nullptr) return TQ_ERR_ARGUMENT;
  strio_out_clear(ctx, name);
  *stop = 0;
  defn_rec* rec = nullptr;
  int32_t rc = find_rec(ctx, kind, index, &rec);
  if (rc < 0) return rc;
  rc = list_name_get(ctx, rec->vocabularies, entry, name, kRsrcNameInMax);
  if (rc < 0) {
    strio_out_clear(ctx, name);
    return rc;
  }
  *stop = static_cast<uint32_t>(rec->vocabularies[static_cast<size_t>(entry)].stop);
  return rc;
}

int32_t defn_vocabulary_info_set_by_index(context* ctx, int32_t kind, int32_t index, int32_t entry,
                                          const char* name, uint32_t stop) {
  rsrc_name_in in(ctx, name);
  if (in.rc < 0) return in.rc;
  int32_t rc = edit(ctx, kind, index, [&](defn_rec* rec) {
    bool changed = false;
    int32_t r = list_set_at(ctx, kRsrcVocab, rec->vocabularies, entry, in.text, &changed);
    if (r >= 0 && !in.empty()) {
      defn_vocab& v = rec->vocabularies[static_cast<size_t>(entry)];
      changed = changed || v.stop != (stop != 0 ? 1 : 0);
      v.stop = stop != 0 ? 1 : 0;
    }
    if (changed) drop_prepared(ctx, rec);
    return vocab_failed(ctx, rec, in.text, r);
  });
  return rc_combine(rc, in.rc);
}

int32_t defn_vocabulary_name_get(context* ctx, int32_t kind, int32_t index, char* name) {
  if (name == nullptr) return TQ_ERR_ARGUMENT;
  strio_out_clear(ctx, name);
  defn_rec* rec = nullptr;
  int32_t rc = find_rec(ctx, kind, index, &rec);
  if (rc < 0 || rec->vocabularies.empty()) return rc;
  rc = ref_name_out(ctx, rec->vocabularies[0].vocab, name, kVocabNameOutMax);
  if (rc < 0) strio_out_clear(ctx, name);
  return rc;
}

int32_t defn_vocabulary_name_set(context* ctx, int32_t kind, int32_t index, const char* name) {
  rsrc_name_in in(ctx, name);
  if (in.rc < 0) return in.rc;
  int32_t rc = edit(ctx, kind, index, [&](defn_rec* rec) {
    bool changed = false;
    int32_t r = list_set_only(ctx, kRsrcVocab, rec->vocabularies, in.text, vocab_entry(0), &changed);
    if (changed) drop_prepared(ctx, rec);
    return vocab_failed(ctx, rec, in.text, r);
  });
  return rc_combine(rc, in.rc);
}

int32_t defn_fuzzy_vocab_lookup_params_get_by_index(context* ctx, int32_t kind, int32_t index, int32_t entry,
                                                    uint32_t* enabled, uint32_t* threshold) {
  if (enabled == nullptr || threshold == nullptr) return TQ_ERR_ARGUMENT;
  fuzzy_params defaults{};
  fuzzy_params_default(&defaults);
  fuzzy_params_get(&defaults, enabled, threshold);
  defn_rec* rec = nullptr;
  int32_t rc = find_rec(ctx, kind, index, &rec);
  if (rc < 0) return rc;
  if (!in_range(entry, rec->vocabularies.size())) return TQ_ERR_INDEX;
  fuzzy_params_get(&rec->vocabularies[static_cast<size_t>(entry)].fuzzy, enabled, threshold);
  return 0;
}

int32_t defn_fuzzy_vocab_lookup_params_set_by_index(context* ctx, int32_t kind, int32_t index, int32_t entry,
                                                    uint32_t enabled, uint32_t threshold) {
  return edit(ctx, kind, index, [&](defn_rec* rec) {
    if (!in_range(entry, rec->vocabularies.size())) return TQ_ERR_INDEX;
    fuzzy_params_set(&rec->vocabularies[static_cast<size_t>(entry)].fuzzy, enabled, threshold);
    drop_prepared(ctx, rec);
    return 0;
  });
}

int32_t defn_fuzzy_vocab_lookup_params_get(context* ctx, int32_t kind, int32_t index, uint32_t* enabled,
                                           uint32_t* threshold) {
  return defn_fuzzy_vocab_lookup_params_get_by_index(ctx, kind, index, 0, enabled, threshold);
}
int32_t defn_fuzzy_vocab_lookup_params_set(context* ctx, int32_t kind, int32_t index, uint32_t enabled,
                                           uint32_t threshold) {
  return defn_fuzzy_vocab_lookup_params_set_by_index(ctx, kind, index, 0, enabled, threshold);
}

// ---- Tokens ---------------------------------------------------------------------------------

int32_t defn_token_get_for_read(context* ctx, int32_t kind, int32_t index, int32_t token, dtok_rec** out) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  defn_rec* rec = nullptr;
  int32_t rc = find_rec(ctx, kind, index, &rec);
  if (rc < 0) return rc;
  const dtok_owner owner = owner_of(rec);
  return dtok_list_get(ctx, owner, &rec->tokens, token, out);
}

int32_t defn_token_get_for_write(context* ctx, int32_t kind, int32_t index, int32_t token, dtok_rec** out,
                                 defn_rec** rec, write_hold* held) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  if (rec != nullptr) *rec = nullptr;
  defn_rec* r = nullptr;
  write_hold hold;
  int32_t rc = defn_record_get_for_write(ctx, kind, index, &r, &hold);
  if (rc < 0) return rc;
  const dtok_owner owner = owner_of(r);
  rc = dtok_list_get(ctx, owner, &r->tokens, token, out);
  if (rc < 0) return rc_combine(rc, hold.release());
  if (rec != nullptr) *rec = r;
  *held = std::move(hold);
  return rc;
}

int32_t defn_token_write_end(context* ctx, defn_rec* rec, bool changed, write_hold& held) {
  if (changed && rec != nullptr) drop_prepared(ctx, rec);
  return held.release();
}

int32_t defn_token_count_get(context* ctx, int32_t kind, int32_t index, uint32_t* count) {
  if (count == nullptr) return TQ_ERR_ARGUMENT;
  *count = 0;
  defn_rec* rec = nullptr;
  if (find_rec(ctx, kind, index, &rec) < 0) return TQ_ERR_INDEX;
  *count = rec->tokens.count();
  return 0;
}

int32_t defn_token_add(context* ctx, int32_t kind, int32_t index, int32_t* token_index) {
  if (token_index == nullptr) return TQ_ERR_ARGUMENT;
  *token_index = -1;
  return edit(ctx, kind, index, [&](defn_rec* rec) {
    int32_t r = dtok_list_add(ctx, owner_of(rec), &rec->tokens, token_index);
    if (r >= 0) drop_prepared(ctx, rec);
    return r;
  });
}

int32_t defn_token_add_named(context* ctx, int32_t kind, int32_t index, const char* name, int32_t* token_index) {
  if (token_index == nullptr || name == nullptr) return TQ_ERR_ARGUMENT;
  *token_index = -1;
  return edit(ctx, kind, index, [&](defn_rec* rec) {
    defn_token_owner owner;
    int32_t r = defn_token_owner_get(ctx, rec, &owner);
    if (r < 0) return r;
    // The name is taken on a token apart, as the token will be counted.
    dtok_rec named;
    const int32_t taken = dtok_name_set(ctx, owner.owner, rec->tokens.count() + 1, &named, name, kConv);
    if (taken < 0) return taken;
    int32_t p = -1;
    r = dtok_list_add(ctx, owner.owner, &rec->tokens, &p);
    if (r < 0) return r;
    dtok_rec* tok = rec->tokens.items[static_cast<size_t>(p)].get();
    std::memcpy(tok->name, named.name, sizeof tok->name);
    tok->key = named.key;
    *token_index = p;
    drop_prepared(ctx, rec);
    return rc_combine(taken, r);
  });
}

int32_t defn_token_delete(context* ctx, int32_t kind, int32_t index, int32_t token) {
  return edit(ctx, kind, index, [&](defn_rec* rec) {
    // Without its datatype (gone from the locale) the later tokens keep
    // their keys; the token still goes.
    defn_token_owner owner;
    (void)defn_token_owner_get(ctx, rec, &owner);
    int32_t r = dtok_list_delete(ctx, owner.owner, &rec->tokens, token);
    if (r >= 0) drop_prepared(ctx, rec);
    return r;
  });
}

int32_t defn_token_rearrange(context* ctx, int32_t kind, int32_t index, const int32_t* order) {
  if (order == nullptr) return TQ_ERR_ARGUMENT;
  return edit(ctx, kind, index, [&](defn_rec* rec) {
    int32_t r = dtok_list_rearrange(ctx, &rec->tokens, order, rec->tokens.count());
    if (r >= 0) drop_prepared(ctx, rec);
    return r;
  });
}

int32_t defn_token_name_get(context* ctx, int32_t kind, int32_t index, int32_t token, char* name) {
  if (name == nullptr) return TQ_ERR_ARGUMENT;
  strio_out_clear_n(ctx, name, kDtokNameOutSize);
  defn_rec* rec = nullptr;
  int32_t rc = find_rec(ctx, kind, index, &rec);
  if (rc < 0) return rc;
  return dtok_list_name_get(ctx, owner_of(rec), &rec->tokens, token, name, kConv);
}

int32_t defn_token_names_get(context* ctx, int32_t kind, const char* defn_name, char** names,
                             uint32_t* num_names) {
  if (num_names == nullptr || names == nullptr) return TQ_ERR_ARGUMENT;
  *num_names = 0;
  int32_t index = -1;
  const int32_t found = defn_index_get_by_name(ctx, kind, defn_name, kDefnNameConvert | kDefnAnySurface, &index);
  if (found < 0) return found;
  defn_rec* rec = nullptr;
  int32_t rc = find_rec(ctx, kind, index, &rec);
  if (rc < 0) return rc;
  return rc_combine(dtok_list_names_get(ctx, &rec->tokens, names, num_names, kConv), found);
}

int32_t defn_token_name_set(context* ctx, int32_t kind, int32_t index, int32_t token, const char* name) {
  if (name == nullptr) return TQ_ERR_ARGUMENT;
  return edit(ctx, kind, index, [&](defn_rec* rec) {
    defn_token_owner owner;
    int32_t r = defn_token_owner_get(ctx, rec, &owner);
    dtok_rec* tok = nullptr;
    if (r >= 0) r = dtok_list_get(ctx, owner.owner, &rec->tokens, token, &tok);
    if (r >= 0) r = dtok_name_set(ctx, owner.owner, rec->tokens.count(), tok, name, kConv);
    if (r >= 0) drop_prepared(ctx, rec);
    return r;
  });
}

int32_t defn_token_key_get_by_name(context* ctx, int32_t kind, int32_t index, const char* name, int32_t* key) {
  if (key == nullptr) return TQ_ERR_ARGUMENT;
  *key = -1;
  char text[kDtokNameInMax + 1];
  const int32_t conv = name_in(ctx, name, text, kDtokNameInMax, kStrioUnkept);
  if (conv < 0) return conv;
  defn_rec* rec = nullptr;
  int32_t rc = find_rec(ctx, kind, index, &rec);
  if (rc < 0) return rc;
  return rc_combine(dtok_list_key_get_by_name(ctx, owner_of(rec), &rec->tokens, text, key), conv);
}

int32_t defn_token_regexlib_count_get(context* ctx, int32_t kind, int32_t index, int32_t token, uint32_t* count) {
  if (count == nullptr) return TQ_ERR_ARGUMENT;
  *count = 0;
  return token_read(ctx, kind, index, token, [&](const dtok_rec* tok) {
    *count = static_cast<uint32_t>(tok->regexlibs.size());
    return 0;
  });
}

int32_t defn_token_regexlibs_delete_all(context* ctx, int32_t kind, int32_t index, int32_t token) {
  return token_edit(ctx, kind, index, token, [&](defn_rec*, dtok_rec* tok) {
    dtok_regexlibs_delete_all(ctx, tok);
    return 0;
  });
}

int32_t defn_token_regexlib_add(context* ctx, int32_t kind, int32_t index, int32_t token, const char* name,
                                uint32_t high, uint32_t low) {
  if (name == nullptr) return TQ_ERR_ARGUMENT;
  return token_edit(ctx, kind, index, token, [&](defn_rec*, dtok_rec* tok) {
    return dtok_regexlib_add(ctx, tok, name, static_cast<int32_t>(high), static_cast<int32_t>(low), kConvEdit);
  });
}

int32_t defn_token_regexlib_set(context* ctx, int32_t kind, int32_t index, int32_t token, int32_t entry,
                                const char* name, uint32_t high, uint32_t low) {
  if (name == nullptr) return TQ_ERR_ARGUMENT;
  if (int32_t rc = strio_kept_check(ctx, name, kConv); rc < 0) return rc;
  return token_edit(ctx, kind, index, token, [&](defn_rec*, dtok_rec* tok) {
    return dtok_regexlib_set(ctx, tok, entry, name, static_cast<int32_t>(high), static_cast<int32_t>(low),
                             kConvEdit);
  });
}

int32_t defn_token_regexlib_info_get(context* ctx, int32_t kind, int32_t index, int32_t token, int32_t entry,
                                     char* name) {
  if (name == nullptr) return TQ_ERR_ARGUMENT;
  strio_out_clear(ctx, name);
  return token_read(ctx, kind, index, token, [&](const dtok_rec* tok) {
    int32_t rc = dtok_regexlib_info_get(ctx, tok, entry, name, nullptr, nullptr, kConv);
    if (rc < 0) strio_out_clear(ctx, name);
    return rc;
  });
}

int32_t defn_token_regexlib_name_set(context* ctx, int32_t kind, int32_t index, int32_t token, int32_t entry,
                                     const char* name) {
  if (name == nullptr) return TQ_ERR_ARGUMENT;
  if (int32_t rc = strio_kept_check(ctx, name, kConv); rc < 0) return rc;
  return token_edit(ctx, kind, index, token, [&](defn_rec*, dtok_rec* tok) {
    return dtok_regexlib_name_set(ctx, tok, entry, name, kConvEdit);
  });
}

int32_t defn_token_stdz_scheme_count_get(context* ctx, int32_t kind, int32_t index, int32_t token,
                                         uint32_t* count) {
  if (count == nullptr) return TQ_ERR_ARGUMENT;
  *count = 0;
  return token_read(ctx, kind, index, token, [&](const dtok_rec* tok) {
    *count = static_cast<uint32_t>(tok->schemes.size());
    return 0;
  });
}

int32_t defn_token_stdz_scheme_info_get(context* ctx, int32_t kind, int32_t index, int32_t token, int32_t entry,
                                        char* name, uint32_t* options) {
  if (name == nullptr || options == nullptr) return TQ_ERR_ARGUMENT;
  strio_out_clear(ctx, name);
  *options = 0;
  return token_read(ctx, kind, index, token, [&](const dtok_rec* tok) {
    int32_t rc = dtok_scheme_info_get(ctx, tok, entry, kConv, name, options);
    if (rc < 0) {
      strio_out_clear(ctx, name);
      *options = 0;
    }
    return rc;
  });
}

int32_t defn_token_stdz_scheme_info_set(context* ctx, int32_t kind, int32_t index, int32_t token, int32_t entry,
                                        const char* name, uint32_t options, int32_t disable_phonetx, int32_t high,
                                        int32_t low) {
  if (name == nullptr) return TQ_ERR_ARGUMENT;
  // The entry is found inside the edit: the text is checked before.
  if (int32_t rc = strio_kept_check(ctx, name, kConv); rc < 0) return rc;
  return token_edit(ctx, kind, index, token, [&](defn_rec*, dtok_rec* tok) {
    return dtok_scheme_set(ctx, tok, entry, name, options, disable_phonetx, high, low, kConvEdit);
  });
}

int32_t defn_token_stdz_schemes_delete_all(context* ctx, int32_t kind, int32_t index, int32_t token) {
  return token_edit(ctx, kind, index, token, [&](defn_rec*, dtok_rec* tok) {
    dtok_schemes_delete_all(ctx, tok);
    return 0;
  });
}

int32_t defn_token_stdz_scheme_add(context* ctx, int32_t kind, int32_t index, int32_t token, const char* name,
                                   uint32_t options, uint32_t disable_phonetx, uint32_t high, uint32_t low) {
  if (name == nullptr) return TQ_ERR_ARGUMENT;
  return token_edit(ctx, kind, index, token, [&](defn_rec*, dtok_rec* tok) {
    return dtok_scheme_add(ctx, tok, name, options, static_cast<int32_t>(disable_phonetx), static_cast<int32_t>(high),
                           static_cast<int32_t>(low), kConvEdit);
  });
}

}  // namespace tq
