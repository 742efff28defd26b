// The accessors of parse definitions (kind 5) that have logic of their own.
// Most parse-definition exports are rows bound to the accessors every kind
// shares (kbstore/krdefnacc.h) with kDefnParse; the functions here are the
// rest: the surfaced counts and names, the composite regex-library setters,
// the token separators, adding, copying and writing whole definitions.
// Each is named as its export without the tq prefix, takes the context
// first and runs under the frame's read hold; a change takes the write hold
// inside and gives it back on every path.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "kbstore/krfield.h"

struct tq_xmldoc;

namespace tq {

// A token's separator flag and separator text (64 bytes, session
// encoding), by (kind, index, token) through kDefnTokens. The separators
// are read by every parse as it fills the tokens, so a set drops nothing.
extern const field_desc kParseTokenUseSeparator;
extern const field_desc kParseTokenSeparator;

// ---- Surfaced definitions ------------------------------------------------------------
// A definition is surfaced when its stored flag is 1, or for every
// definition under option bit 20. Unloaded slots never count.

// The surfaced ones among the current locale's definitions (own and
// inherited).
int32_t tqx_surfaced_parse_defn_count_get(context* ctx, uint32_t* count);
// The surfaced ones among a loaded locale's own definitions.
int32_t tqx_surfaced_parse_defn_count_get_by_locale(context* ctx, int32_t locale, uint32_t* count);
// The name (320 bytes) of the index-th surfaced definition, counted from 0;
// -800 for an index not below the surfaced count.
int32_t tqx_surfaced_parse_defn_name_get(context* ctx, int32_t index, char* name);

// ---- Normalization libraries --------------------------------------------------------

// The first library's name; -800 when the definition has none.
int32_t tqx_parse_defn_normalization_regexlib_name_get(context* ctx, int32_t index, char* name);
// Leaves the list holding only the named library (an empty name empties
// it) and automatic uppercasing 1. The named library is opened before the
// old ones are given back, so a name that cannot be opened changes nothing.
int32_t tqx_parse_defn_normalization_regexlib_name_set(context* ctx, int32_t index, const char* name);
// An empty name is -802.
int32_t tqx_parse_defn_normalization_regexlib_add(context* ctx, int32_t index, const char* name);

// ---- Whole definitions ---------------------------------------------------------------

// Appends a definition named `name` on the datatype at dtype_index of the
// current locale, with one token per datatype token in the datatype's
// order, each without categories. A failure leaves no definition behind.
int32_t tqx_parse_defn_add(context* ctx, const char* name, int32_t dtype_index, int32_t* parse_defn_index);
// Copies the definition named source (surfaced or not) under the name dest.
int32_t tqx_parse_defn_copy(context* ctx, const char* source, const char* dest, int32_t* index);
// Appends the whole definition to xml as an include "Parsorithm".
int32_t tqx_parse_defn_write(context* ctx, tq_xmldoc* xml, int32_t index);

}  // namespace tq
