// Field tables. Most accessors get or set one field of a record: a
// definition, one of its tokens, a caller's info object. Instead of one
// function per field, each field has a constant description (where it lives,
// its type and size, whether its text crosses the interface in the session
// encoding, what a set makes stale, which version a set raises the record
// to), and one generic get and one generic set read it. An export row binds
// the kind and the field ahead of the caller's arguments:
//
//   TQ_FNK(tq_x_owner_get, READ, ANY, field_get, kDefnX, kFieldOwner, (int32_t, index), (char*, owner, NONNULL))
//
// The store of the records tells how to find one by index; the field table
// needs nothing else of it.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <type_traits>

#include "core/krcorvel.h"

namespace tq {

struct xmldoc_field;
using xmldoc = ::tq_xmldoc;

// text: a char array in the record; owned_text: a char* the record owns
// (malloc'd, NULL for none, an empty text kept as none); u32_flag: a flag
// kept in a uint32_t.
enum class field_type : uint8_t { text, i32, u32, flag, owned_text, u32_flag };

// Text fields: the text crosses the interface in the session encoding (else
// it is UTF-8 on both sides); a set trims white space at both ends.
inline constexpr uint32_t kFieldConvert = 0x1;
inline constexpr uint32_t kFieldTrim = 0x2;

// What a set makes stale, passed to the store's invalidate hook.
inline constexpr uint32_t kFieldDropsPrepared = 0x1;  // the record must be prepared again
inline constexpr uint32_t kFieldDropsParser = 0x2;    // a parser bound to the record

// The longest text field in bytes, terminator not counted.
inline constexpr uint32_t kFieldTextMax = 16384;

// A record as the caller names it: the bound kind, the caller's index and,
// for records inside records (a definition's tokens), the inner index (-1
// otherwise).
struct field_addr {
  int32_t kind;
  int32_t index;
  int32_t item;
};

// How the generic functions reach the records of one store.
struct record_store {
  // The record named now by the address, under whatever hold the caller has;
  // -800 for an index that names no record (any more), or the store's code.
  int32_t (*lookup)(context* ctx, const field_addr& addr, void** rec);
  // Drops what a set made stale (kFieldDrops* bits). NULL: nothing to drop.
  void (*invalidate)(context* ctx, void* rec, uint32_t what);
  // Raises the record's version text to at least `version`, under the write
  // hold. NULL: the records carry no version.
  int32_t (*version_raise)(context* ctx, void* rec, const char* version);
  // The store of the record these records lie inside (a definition, for its
  // tokens): an inner record cannot reach its container, so a set's version
  // raise and drops go to the container, found by the same address with item
  // -1. NULL: the record itself takes them.
  const record_store* outer = nullptr;
  // The lookup of a set, when it refuses more than a get does (a record
  // that is no longer loaded reads as empty but takes no change). NULL: the
  // lookup above.
  int32_t (*lookup_for_write)(context* ctx, const field_addr& addr, void** rec) = nullptr;
};

// Built with the helpers below from a member of the record; a field reached
// another way (inside a kind's part of a record) names its own `at`:
//   field_desc{.name = "x", .store = &s, .type = field_type::i32, .at = [](void* r) -> void* {...}}
struct field_desc {
  const char* name = nullptr;           // for messages and generated tests
  const record_store* store = nullptr;  // NULL: a caller-owned object (info objects)
  field_type type = field_type::i32;
  void* (*at)(void* rec) = nullptr;     // the field inside its record
  uint32_t max_bytes = 0;               // text: bytes of text the field holds
  uint32_t text_flags = 0;              // kFieldConvert, kFieldTrim
  int32_t out_default = 0;              // what a getter leaves in a number output when it fails
  int32_t get_failure = 0;              // nonzero: every failure of a get is reported as this code
  uint32_t drop_mask = 0;               // kFieldDrops* bits a set hands to the store
  const char* raise_to = nullptr;       // the version a set raises the record to; NULL: none

  // Table-building modifiers: kFieldOwner = text_field<&rec::owner>(...).raises("9.0").
  constexpr field_desc drops(uint32_t what) const { field_desc f = *this; f.drop_mask = what; return f; }
  constexpr field_desc raises(const char* version) const { field_desc f = *this; f.raise_to = version; return f; }
  constexpr field_desc out(int32_t value) const { field_desc f = *this; f.out_default = value; return f; }
  constexpr field_desc fails_as(int32_t rc) const { field_desc f = *this; f.get_failure = rc; return f; }
};

namespace field_detail {
template <typename>
struct member;
template <typename C, typename T>
struct member<T C::*> {
  using owner = C;
  using type = T;
};
template <auto M>
void* at(void* rec) {
  return &(static_cast<typename member<decltype(M)>::owner*>(rec)->*M);
}
template <auto M>
using type_of = typename member<decltype(M)>::type;
}  // namespace field_detail

// Descriptions built from the member itself, so that type and size cannot
// disagree with the record: a text field is a char array holding max_bytes
// and the terminator.
template <auto M>
constexpr field_desc text_field(const char* name, const record_store* store, uint32_t text_flags) {
  using T = field_detail::type_of<M>;
  static_assert(std::is_array_v<T> && std::is_same_v<std::remove_extent_t<T>, char>, "a text field is a char array");
  static_assert(sizeof(T) >= 2 && sizeof(T) - 1 <= kFieldTextMax, "text field size out of range");
  return {name, store, field_type::text, &field_detail::at<M>, sizeof(T) - 1, text_flags, 0, 0, 0, nullptr};
}
template <auto M>
constexpr field_desc i32_field(const char* name, const record_store* store) {
  static_assert(std::is_same_v<field_detail::type_of<M>, int32_t>, "an i32 field is an int32_t");
  return {name, store, field_type::i32, &field_detail::at<M>, 0, 0, 0, 0, 0, nullptr};
}
template <auto M>
constexpr field_desc u32_field(const char* name, const record_store* store) {
  static_assert(std::is_same_v<field_detail::type_of<M>, uint32_t>, "a u32 field is a uint32_t");
  return {name, store, field_type::u32, &field_detail::at<M>, 0, 0, 0, 0, 0, nullptr};
}
// A text the record owns, of at most MaxBytes.
template <auto M, uint32_t MaxBytes>
constexpr field_desc owned_text_field(const char* name, const record_store* store, uint32_t text_flags) {
  static_assert(std::is_same_v<field_detail::type_of<M>, char*>, "an owned text field is a char*");
  static_assert(MaxBytes >= 1 && MaxBytes <= kFieldTextMax, "text field size out of range");
  return {name, store, field_type::owned_text, &field_detail::at<M>, MaxBytes, text_flags, 0, 0, 0, nullptr};
}
// A flag is kept as 0 or 1 whatever nonzero value a caller sets; being 0 or
// 1, it is read and set through an int32_t or a uint32_t alike, whatever the
// member's type.
template <auto M>
constexpr field_desc flag_field(const char* name, const record_store* store) {
  using T = field_detail::type_of<M>;
  static_assert(std::is_same_v<T, int32_t> || std::is_same_v<T, uint32_t>, "a flag field is an int32_t or uint32_t");
  constexpr field_type type = std::is_same_v<T, int32_t> ? field_type::flag : field_type::u32_flag;
  return {name, store, type, &field_detail::at<M>, 0, 0, 0, 0, 0, nullptr};
}

// ---- Numbers a knowledge base gives ------------------------------------------------
// A number field with a range. Its setters go through number_limit_check,
// and so do its readers where a file must hold no more than a setter takes
// (a likelihood; a grammar rule's priority is kept as its file gives it, and
// the sums of such numbers saturate instead), so that a refusal names the
// field, the value and the range the same way wherever it happens.
struct number_limit {
  const char* name;  // the field as its files name it
  int32_t min;
  int32_t max;
};

// 0 for a value inside the limit; else `code` (-300 where a file gave the
// value, -802 where a caller did) with a message naming the field, the
// value and the range, and `owner` (what holds the field: "grammar X";
// NULL: not named).
int32_t number_limit_check(context* ctx, const number_limit& limit, int64_t value, int32_t code,
                           const char* owner = nullptr);

// The number of a file's "int" field the limit holds: 0 and *out the
// number (`dflt` for no field, or one of another type), or `code` as
// number_limit_check refuses it, also for a number past the int32 range,
// which the message names as its file writes it.
int32_t number_field_read(context* ctx, const xmldoc_field* f, const number_limit& limit, int32_t code,
                          const char* owner, int32_t dflt, int32_t* out);

// What holds a file's fields: a definition ("Identification", its name) or
// a resource ("grammar", its name).
struct number_owner {
  const char* kind;
  const char* name;
  bool definition;
};
// -300 with a message when `doc` (with what it includes) holds a number
// past the int32 range, naming the owner, the field, the number as the
// file writes it, its record and table, and the range: the field's own
// where one of `ranges` names its column, else the int32 one, the only
// range of a field that has none of its own. 0 when it holds none; -600.
// What holds such a number is refused whole, never read with another value
// in its place.
int32_t number_past_refuse(context* ctx, const xmldoc* doc, const number_owner& owner,
                           std::span<const number_limit> ranges = {});

// Scores: sums of numbers a knowledge base gives (a pattern's weight added
// once for every match) stop at the ends of the int32 range rather than
// wrap. `b` stays well inside the int64 range (an int32, or one scaled by a
// small factor).
constexpr int32_t int32_saturated(int64_t v) {
  constexpr int64_t lo = std::numeric_limits<int32_t>::min();
  constexpr int64_t hi = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(v < lo ? lo : v > hi ? hi : v);
}
constexpr int32_t saturated_add(int32_t a, int64_t b) { return int32_saturated(int64_t{a} + b); }

// ---- The generic accessors ---------------------------------------------------------
// Getters clear their output first (text empty, numbers the field's out
// default), look the record up under the caller's read hold and copy the
// field out: a text converted to the session encoding when the field says
// so, with its conversion result (116, -10000). Setters convert the caller's
// text first (a failure there is the result, whatever the index), then take
// the write hold, look the record up again under it and change nothing when
// anything fails; then raise the version, store the value, drop what went
// stale, and give the hold back on every path. A text set returns its
// conversion warning when nothing failed. A field whose type does not fit
// the call: -802. An owned text that cannot be copied: -600.

// Records of a store, by (bound kind, caller's index).
int32_t field_get(context* ctx, int32_t kind, const field_desc& f, int32_t index, char* out);
int32_t field_get(context* ctx, int32_t kind, const field_desc& f, int32_t index, int32_t* out);
int32_t field_get(context* ctx, int32_t kind, const field_desc& f, int32_t index, uint32_t* out);
int32_t field_set(context* ctx, int32_t kind, const field_desc& f, int32_t index, const char* value);
int32_t field_set(context* ctx, int32_t kind, const field_desc& f, int32_t index, int32_t value);
int32_t field_set(context* ctx, int32_t kind, const field_desc& f, int32_t index, uint32_t value);

// Records inside records (a definition's tokens), by (kind, index, item).
int32_t field_get(context* ctx, int32_t kind, const field_desc& f, int32_t index, int32_t item, char* out);
int32_t field_get(context* ctx, int32_t kind, const field_desc& f, int32_t index, int32_t item, int32_t* out);
int32_t field_get(context* ctx, int32_t kind, const field_desc& f, int32_t index, int32_t item, uint32_t* out);
int32_t field_set(context* ctx, int32_t kind, const field_desc& f, int32_t index, int32_t item, const char* value);
int32_t field_set(context* ctx, int32_t kind, const field_desc& f, int32_t index, int32_t item, int32_t value);
int32_t field_set(context* ctx, int32_t kind, const field_desc& f, int32_t index, int32_t item, uint32_t value);

// A caller-owned object (an info object): no store and no hold.
int32_t field_get(context* ctx, const field_desc& f, const void* object, char* out);
int32_t field_get(context* ctx, const field_desc& f, const void* object, int32_t* out);
int32_t field_get(context* ctx, const field_desc& f, const void* object, uint32_t* out);

}  // namespace tq
