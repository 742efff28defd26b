// Datatypes of the current locale as the exports reach them.
#include <cstring>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krzel.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdtyp.h"
#include "kbstore/krlocload.h"

namespace tq {

namespace {

int32_t record_lookup(context* ctx, const field_addr& addr, void** out) {
  *out = nullptr;
  dtype_chain chain{};
  int32_t rc = dtype_current_chain(ctx, &chain);
  dtype_rec* rec = nullptr;
  if (rc == 0) rc = dtype_record_get(ctx, chain, addr.index, &rec);
  if (rc == 0) *out = rec;
  return rc;
}

// A token of a datatype: the item is the token's index.
int32_t token_lookup(context* ctx, const field_addr& addr, void** out) {
  void* found = nullptr;
  int32_t rc = record_lookup(ctx, addr, &found);
  *out = nullptr;
  if (rc != 0) return rc;
  dtype_rec* rec = static_cast<dtype_rec*>(found);
  if (addr.item < 0 || static_cast<uint32_t>(addr.item) >= rec->token_count) {
    TQ_REPORT(ctx, TQ_ERR_INDEX, 163, addr.item, static_cast<const char*>(rec->name));
    return TQ_ERR_INDEX;
  }
  *out = &rec->tokens[addr.item];
  return 0;
}

const record_store kStore{record_lookup, nullptr, nullptr};
const record_store kTokenStore{token_lookup, nullptr, nullptr};

// The current locale's record by the caller's index, under the write hold,
// which the caller gives back whatever this returns.
int32_t record_for_write(context* ctx, int32_t index, dtype_chain* chain, dtype_rec** rec) {
  *rec = nullptr;
  int32_t rc = dtype_current_chain(ctx, chain);
  if (rc == 0) rc = dtype_record_get(ctx, *chain, index, rec);
  return rc;
}

}  // namespace

const field_desc kDtypeName = text_field<&dtype_rec::name>("name", &kStore, kFieldConvert);
const field_desc kDtypeExample = text_field<&dtype_rec::example>("example", &kStore, kFieldConvert);
const field_desc kDtypeOwner = text_field<&dtype_rec::owner>("owner", &kStore, kFieldConvert);
const field_desc kDtypeEditable = flag_field<&dtype_rec::editable>("editable", &kStore);
const field_desc kDtypeTokenCount = u32_field<&dtype_rec::token_count>("token count", &kStore);
const field_desc kDtypeTokenValue = text_field<&dtype_token::value>("value", &kTokenStore, kFieldConvert);

int32_t dtype_locale_chain(context* ctx, loaded_locale_rec* locale, dtype_chain* chain) {
  *chain = dtype_chain{};
  loaded_locale_rec* at = locale;
  while (at != nullptr && chain->levels < kDtypeChainMax) {
    chain->sets[chain->levels++] = &at->datatypes;
    if (at->parent < 0) return 0;
    int32_t rc = locale_rec_get_by_index(ctx, static_cast<uint32_t>(at->parent), &at);
    if (rc != 0 || at->code == -1) return TQ_ERR_NO_LOCALE;
  }
  return 0;
}

int32_t dtype_current_chain(context* ctx, dtype_chain* chain) {
  *chain = dtype_chain{};
  loaded_locale_rec* rec = nullptr;
  int32_t rc = locale_current_rec_get(ctx, &rec);
  return rc != 0 ? rc : dtype_locale_chain(ctx, rec, chain);
}

int32_t datatype_count_get(context* ctx, uint32_t* count) {
  *count = 0;
  loaded_locale_rec* rec = nullptr;
  int32_t rc = locale_current_rec_get(ctx, &rec);
  if (rc == 0) *count = dtype_count(rec->datatypes);
  return rc;
}

int32_t datatype_count_get_by_locale(context* ctx, int32_t locale, uint32_t* count) {
  *count = 0;
  loaded_locale_rec* rec = nullptr;
  int32_t rc = locale_rec_get(ctx, locale, &rec);
  if (rc == 0) *count = rec->datatypes.count;
  return rc;
}

int32_t datatype_index_get_by_name(context* ctx, const char* name, int32_t* index) {
  *index = -1;
  char text[kDtypeNameMax + 1];
  int32_t conv = strio_in(ctx, name, text, kDtypeNameMax, kStrioConvert | kStrioUnkept);
  if (conv < 0) return conv;
  dtype_chain chain{};
  int32_t rc = dtype_current_chain(ctx, &chain);
  if (rc == 0) rc = dtype_index_get_by_name(ctx, chain, text, index);
  return rc_combine(rc, conv);
}

int32_t datatype_comments_get(context* ctx, int32_t index, tq_xmldoc** comments) {
  *comments = nullptr;
  void* rec = nullptr;
  int32_t rc = record_lookup(ctx, {kDtypeRecords, index, -1}, &rec);
  if (rc == 0) *comments = static_cast<dtype_rec*>(rec)->comments;
  return rc;
}

int32_t datatype_comments_set(context* ctx, int32_t index, tq_xmldoc* comments) {
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  int32_t rc = 0;
  dtype_chain chain{};
  dtype_rec* rec = nullptr;
  rc = record_for_write(ctx, index, &chain, &rec);
  if (rc == 0) rc = dtype_comments_set(ctx, rec, comments);
  return rc_combine(rc, hold.release());
}

int32_t datatype_name_set(context* ctx, int32_t index, const char* name) {
  char text[kDtypeNameMax + 1];
  int32_t conv = strio_in(ctx, name, text, kDtypeNameMax, kStrioConvert);
  if (conv < 0) return conv;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  int32_t rc = 0;
  dtype_chain chain{};
  dtype_rec* rec = nullptr;
  rc = record_for_write(ctx, index, &chain, &rec);
  // The names a datatype is checked against are those of its own locale.
  if (rc == 0) {
    dtype_set* set = nullptr;
    for (uint32_t d = 0; d < chain.levels && set == nullptr; ++d) {
      const dtype_set& s = *chain.sets[d];
      if (rec->own_index >= 0 && static_cast<uint32_t>(rec->own_index) < s.count && s.recs[rec->own_index] == rec) {
        set = chain.sets[d];
      }
    }
    rc = set != nullptr ? dtype_name_set(ctx, set, rec, text) : TQ_ERR_INDEX;
  }
  return rc_combine(rc_combine(rc, hold.release()), conv);
}

int32_t datatype_token_value_set(context* ctx, int32_t index, int32_t token, const char* value) {
  char text[kDtypeTokenValueMax + 1];
  int32_t conv = strio_in(ctx, value, text, kDtypeTokenValueMax, kStrioConvert);
  if (conv < 0) return conv;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  int32_t rc = 0;
  dtype_chain chain{};
  dtype_rec* rec = nullptr;
  rc = record_for_write(ctx, index, &chain, &rec);
  if (rc == 0) rc = dtype_token_value_set(ctx, rec, token, text);
  return rc_combine(rc_combine(rc, hold.release()), conv);
}

int32_t datatype_token_add(context* ctx, int32_t index, int32_t* token_index) {
  *token_index = -1;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  int32_t rc = 0;
  dtype_chain chain{};
  dtype_rec* rec = nullptr;
  uint32_t token = 0;
  rc = record_for_write(ctx, index, &chain, &rec);
  if (rc == 0) rc = dtype_token_add(ctx, rec, &token);
  if (rc == 0) *token_index = static_cast<int32_t>(token);
  return rc_combine(rc, hold.release());
}

int32_t datatype_token_delete(context* ctx, int32_t index, int32_t token) {
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  int32_t rc = 0;
  dtype_chain chain{};
  dtype_rec* rec = nullptr;
  rc = record_for_write(ctx, index, &chain, &rec);
  if (rc == 0) rc = dtype_token_delete(ctx, rec, token);
  return rc_combine(rc, hold.release());
}

int32_t datatype_add(context* ctx, const char* name, int32_t* index) {
  *index = -1;
  char text[kDtypeNameMax + 1];
  int32_t conv = strio_in(ctx, name, text, kDtypeNameMax, kStrioConvert);
  if (conv < 0) return conv;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  int32_t rc = 0;
  loaded_locale_rec* locale = nullptr;
  rc = locale_current_rec_get(ctx, &locale);
  if (rc == 0) rc = dtype_add(ctx, &locale->datatypes, text, index);
  return rc_combine(rc_combine(rc, hold.release()), conv);
}

int32_t datatype_copy(context* ctx, const char* source, const char* dest, int32_t* index) {
  *index = -1;
  char from[kDtypeNameMax + 1];
  char to[kDtypeNameMax + 1];
  int32_t conv = strio_in(ctx, source, from, kDtypeNameMax, kStrioConvert | kStrioUnkept);
  if (conv < 0) return conv;
  int32_t conv2 = strio_in(ctx, dest, to, kDtypeNameMax, kStrioConvert);
  if (conv2 < 0) return conv2;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  int32_t rc = 0;
  dtype_chain chain{};
  rc = dtype_current_chain(ctx, &chain);
  if (rc == 0) rc = dtype_copy(ctx, chain, from, to, index);
  return rc_combine(rc_combine(rc_combine(rc, hold.release()), conv), conv2);
}

int32_t datatype_unload(context* ctx, int32_t index) {
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  int32_t rc = 0;
  dtype_chain chain{};
  dtype_rec* rec = nullptr;
  rc = record_for_write(ctx, index, &chain, &rec);
  // A definition is of its datatype: its tokens are the datatype's, and no
  // document of it reads back without one. So a datatype goes only once no
  // loaded definition is of it, and the locale stays writable.
  const defn_rec* user = rc == 0 ? defn_datatype_user(ctx, rec) : nullptr;
  if (user != nullptr) {
    TQ_REPORT(ctx, TQ_ERR_NOT_USABLE, 1761, static_cast<const char*>(rec->name), defn_kind_name(user->kind),
              static_cast<const char*>(user->name), user->locale);
    rc = TQ_ERR_NOT_USABLE;
  }
  if (rc == 0) dtype_clear(ctx, rec);
  return rc_combine(rc, hold.release());
}

int32_t datatype_write(context* ctx, tq_xmldoc* xml, int32_t index) {
  void* rec = nullptr;
  int32_t rc = record_lookup(ctx, {kDtypeRecords, index, -1}, &rec);
  if (rc == 0) rc = dtype_write(ctx, *static_cast<dtype_rec*>(rec), xml);
  return rc < 0 ? rc : 0;
}

}  // namespace tq
