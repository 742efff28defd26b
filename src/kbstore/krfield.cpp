#include "kbstore/krfield.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "core/krzel.h"
#include "kbstore/krxml.h"
#include "platform/nputf8.h"

namespace tq {

namespace {

uint32_t strio_flags(const field_desc& f) { return (f.text_flags & kFieldConvert) ? kStrioConvert : 0; }

bool is_text(const field_desc& f) { return f.type == field_type::text || f.type == field_type::owned_text; }
bool fits(const field_desc& f, const char*) { return is_text(f); }
bool is_flag(const field_desc& f) { return f.type == field_type::flag || f.type == field_type::u32_flag; }
bool fits_signed(const field_desc& f) { return f.type == field_type::i32 || is_flag(f); }
bool fits_unsigned(const field_desc& f) { return f.type == field_type::u32 || is_flag(f); }
bool fits(const field_desc& f, const int32_t*) { return fits_signed(f); }
bool fits(const field_desc& f, const uint32_t*) { return fits_unsigned(f); }

void clear(context* ctx, const field_desc&, char* out) { strio_out_clear(ctx, out); }
template <typename N>
void clear(context*, const field_desc& f, N* out) {
  *out = static_cast<N>(f.out_default);
}

int32_t copy_out(context* ctx, const field_desc& f, void* rec, char* out) {
  const char* text = static_cast<const char*>(f.at(rec));
  if (f.type == field_type::owned_text) {
    text = *static_cast<char* const*>(f.at(rec));
    if (text == nullptr) text = "";
  }
  return strio_out(ctx, text, out, f.max_bytes, strio_flags(f));
}
template <typename N>
int32_t copy_out(context*, const field_desc& f, void* rec, N* out) {
  std::memcpy(out, f.at(rec), sizeof(N));
  return 0;
}

// A get: from the store by address, or from the caller's object.
template <typename Out>
int32_t get_any(context* ctx, const field_desc& f, const field_addr* addr, const void* object, Out* out) {
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  clear(ctx, f, out);
  if (!fits(f, out)) return TQ_ERR_ARGUMENT;
  // Reading only: the const of a caller's object is given back to `at`,
  // which serves gets and sets alike.
  void* rec = const_cast<void*>(object);
  int32_t rc = 0;
  if (addr != nullptr) {
    if (f.store == nullptr) return TQ_ERR_ARGUMENT;
    rc = f.store->lookup(ctx, *addr, &rec);
  } else if (rec == nullptr) {
    rc = TQ_ERR_ARGUMENT;
  }
  if (rc >= 0) rc = rc_combine(rc, copy_out(ctx, f, rec, out));
  if (rc < 0) {
    clear(ctx, f, out);
    if (f.get_failure != 0) rc = f.get_failure;
  }
  return rc;
}

// The value a set brings, made ready before the hold is taken: a text
// converted (and trimmed, and for an owned text copied), a number as given.
struct new_value {
  uint32_t number = 0;
  int32_t converted = 0;  // the text's conversion warning
  owned_str owned;  // an owned text's new copy (none: NULL), freed unless stored
  char text[kFieldTextMax + 1];
};

int32_t prepare_text(context* ctx, const field_desc& f, const char* in, new_value* v) {
  v->converted = strio_in(ctx, in, v->text, f.max_bytes, strio_flags(f));
  if (v->converted < 0) return v->converted;
  if (f.text_flags & kFieldTrim) np_uchar_trim(v->text, f.max_bytes + 1);
  if (f.type == field_type::owned_text && v->text[0] != '\0') {
    v->owned.reset(str_dup(v->text));
    if (v->owned == nullptr) return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

// Under the write hold, on the record found under it. Everything that
// can fail comes before the first change.
int32_t store_value(context* ctx, const field_desc& f, const field_addr& addr, void* rec, new_value* v) {
  // The record that takes the raise and the drops: the container of an
  // inner record.
  const record_store* holder = f.store;
  void* holder_rec = rec;
  if (f.store->outer != nullptr && (f.raise_to != nullptr || f.drop_mask != 0)) {
    holder = f.store->outer;
    int32_t rc = holder->lookup(ctx, field_addr{addr.kind, addr.index, -1}, &holder_rec);
    if (rc < 0) return rc;
  }
  if (f.raise_to != nullptr && holder->version_raise != nullptr) {
    int32_t rc = holder->version_raise(ctx, holder_rec, f.raise_to);
    if (rc < 0) return rc;
  }
  void* field = f.at(rec);
  if (f.type == field_type::text) {
    std::memcpy(field, v->text, std::strlen(v->text) + 1);
  } else if (f.type == field_type::owned_text) {
    char** slot = static_cast<char**>(field);
    std::free(*slot);
    *slot = v->owned.release();
  } else {
    uint32_t number = is_flag(f) ? (v->number != 0 ? 1u : 0u) : v->number;
    std::memcpy(field, &number, sizeof number);
  }
  if (f.drop_mask != 0 && holder->invalidate != nullptr) holder->invalidate(ctx, holder_rec, f.drop_mask);
  return v->converted;
}

int32_t set_any(context* ctx, const field_addr& addr, const field_desc& f, bool fits_type, const char* text,
                uint32_t number) {
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  if (!fits_type || f.store == nullptr) return TQ_ERR_ARGUMENT;
  if (is_text(f) && text == nullptr) return TQ_ERR_ARGUMENT;
  // Its text is as long as a field's longest: on the heap, not the stack.
  const std::unique_ptr<new_value> value(new (std::nothrow) new_value);
  if (value == nullptr) return TQ_ERR_NO_MEMORY;
  new_value& v = *value;
  v.number = number;
  if (is_text(f)) {
    int32_t rc = prepare_text(ctx, f, text, &v);
    if (rc < 0) return rc;
  }
  write_hold hold(ctx);
  int32_t rc = hold.rc();
  if (hold.held()) {
    // Looked up under the write hold that the change is made under.
    void* rec = nullptr;
    rc = f.store->lookup_for_write != nullptr ? f.store->lookup_for_write(ctx, addr, &rec)
                                              : f.store->lookup(ctx, addr, &rec);
    if (rc >= 0) rc = rc_combine(rc, store_value(ctx, f, addr, rec, &v));
    rc = rc_combine(rc, hold.release());
  }
  return rc;
}

}  // namespace

int32_t field_get(context* ctx, int32_t kind, const field_desc& f, int32_t index, int32_t item, char* out) {
  field_addr addr{kind, index, item};
  return get_any(ctx, f, &addr, nullptr, out);
}
int32_t field_get(context* ctx, int32_t kind, const field_desc& f, int32_t index, int32_t item, int32_t* out) {
  field_addr addr{kind, index, item};
  return get_any(ctx, f, &addr, nullptr, out);
}
int32_t field_get(context* ctx, int32_t kind, const field_desc& f, int32_t index, int32_t item, uint32_t* out) {
  field_addr addr{kind, index, item};
  return get_any(ctx, f, &addr, nullptr, out);
}
int32_t field_set(context* ctx, int32_t kind, const field_desc& f, int32_t index, int32_t item, const char* value) {
  return set_any(ctx, {kind, index, item}, f, is_text(f), value, 0);
}
int32_t field_set(context* ctx, int32_t kind, const field_desc& f, int32_t index, int32_t item, int32_t value) {
  return set_any(ctx, {kind, index, item}, f, fits_signed(f), nullptr, static_cast<uint32_t>(value));
}
int32_t field_set(context* ctx, int32_t kind, const field_desc& f, int32_t index, int32_t item, uint32_t value) {
  return set_any(ctx, {kind, index, item}, f, fits_unsigned(f), nullptr, value);
}

int32_t field_get(context* ctx, int32_t kind, const field_desc& f, int32_t index, char* out) {
  return field_get(ctx, kind, f, index, -1, out);
}
int32_t field_get(context* ctx, int32_t kind, const field_desc& f, int32_t index, int32_t* out) {
  return field_get(ctx, kind, f, index, -1, out);
}
int32_t field_get(context* ctx, int32_t kind, const field_desc& f, int32_t index, uint32_t* out) {
  return field_get(ctx, kind, f, index, -1, out);
}
int32_t field_set(context* ctx, int32_t kind, const field_desc& f, int32_t index, const char* value) {
  return field_set(ctx, kind, f, index, -1, value);
}
int32_t field_set(context* ctx, int32_t kind, const field_desc& f, int32_t index, int32_t value) {
  return field_set(ctx, kind, f, index, -1, value);
}
int32_t field_set(context* ctx, int32_t kind, const field_desc& f, int32_t index, uint32_t value) {
  return field_set(ctx, kind, f, index, -1, value);
}

int32_t field_get(context* ctx, const field_desc& f, const void* object, char* out) {
  return get_any(ctx, f, nullptr, object, out);
}
int32_t field_get(context* ctx, const field_desc& f, const void* object, int32_t* out) {
  return get_any(ctx, f, nullptr, object, out);
}
int32_t field_get(context* ctx, const field_desc& f, const void* object, uint32_t* out) {
  return get_any(ctx, f, nullptr, object, out);
}

namespace {

int32_t limit_refuse(context* ctx, const number_limit& limit, const char* given, int32_t code, const char* owner) {
  if (owner != nullptr) {
    TQ_REPORT(ctx, code, 2290, owner, limit.name, given, limit.min, limit.max);
  } else {
    TQ_REPORT(ctx, code, 2291, limit.name, given, limit.min, limit.max);
  }
  return code;
}

}  // namespace

int32_t number_limit_check(context* ctx, const number_limit& limit, int64_t value, int32_t code, const char* owner) {
  if (value >= limit.min && value <= limit.max) return 0;
  char text[24];
  std::snprintf(text, sizeof text, "%" PRId64, value);
  return limit_refuse(ctx, limit, text, code, owner);
}

int32_t number_field_read(context* ctx, const xmldoc_field* f, const number_limit& limit, int32_t code,
                          const char* owner, int32_t dflt, int32_t* out) {
  *out = dflt;
  if (f != nullptr && f->type == kXmlColPast) return limit_refuse(ctx, limit, f->text, code, owner);
  const int32_t value = xmldoc_field_number(f, dflt);
  if (int32_t rc = number_limit_check(ctx, limit, value, code, owner); rc < 0) return rc;
  *out = value;
  return 0;
}

int32_t number_past_refuse(context* ctx, const xmldoc* doc, const number_owner& owner,
                           std::span<const number_limit> ranges) {
  xmldoc_past_at at{};
  const int32_t found = xmldoc_past_find(doc, &at);
  if (found < 0) TQ_REPORT(ctx, found, 29, "Allocating memory to look for numbers past the int32 range.");
  if (found <= 0) return found;
  const char* column = at.table->columns[at.column].name;
  const char* given = at.table->records[at.record].fields[at.column].text;
  // A field without a range of its own holds what an int32 holds.
  number_limit range{column, INT32_MIN, INT32_MAX};
  for (const number_limit& own : ranges) {
    if (std::strcmp(own.name, column) == 0) range = own;
  }
  if (owner.definition) {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 2450, owner.kind, owner.name, at.record + 1, at.table->type, column,
              given, range.min, range.max);
  } else {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 2451, owner.kind, owner.name, at.record + 1, at.table->type, column,
              given, range.min, range.max);
  }
  return TQ_ERR_INVALID_CONTENT;
}

}  // namespace tq
