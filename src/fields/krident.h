// The identification engine: what kind of value a text is, by an
// identification definition (fields/kridef.h). A value found whole in the
// scheme of a known identity is that identity. Otherwise the value is
// preprocessed, chopped and analysed, and each pattern in turn adds its
// weight to its identity value for every match: by the words' categories,
// or at level 7 and above, for a pattern whose root category has rules, by
// parsing with the pattern's grammar (the whole value for "Phrase", the
// longest spans from each word on for "Element"). The value with the
// highest total wins when no other value reaches it and it is above 0;
// else the default value (or nothing) is the result.
//
// At level 7 exactly a phrase parse also decides the later patterns on the
// same grammar and root category (propagation), with or without an info:
// the info only records what a run did, so identifying with and without
// one gives the same result.
//
// A run works in the context's work area (scores, pattern states, the
// solution list, the word list), so a warm context allocates nothing per
// value when no info is given. Binding, and every run with an info (whose
// copied solutions keep the pattern's parser alive), run under the write
// hold.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "kbstore/krdefn.h"
#include "fields/kridinf.h"

namespace tq {

struct ident_work_area;

inline constexpr uint32_t kIdentResultSize = 1028;   // the caller's result buffer
inline constexpr uint32_t kIdentElementWords = 64;   // words an element search looks at

int32_t ident_work_area_create(context* ctx, ident_work_area** out);
void ident_work_area_free(context* ctx, ident_work_area* area);

// Binds the definition (analysis options, category indices, one parser per
// pattern whose root category has rules) for a caller holding the write
// hold. The bound flag is set on success only.
int32_t ident_defn_bind_held(context* ctx, defn_rec* rec);
// Takes the write hold, checks the record is still loaded (-704), binds.
int32_t ident_defn_bind(context* ctx, defn_rec* rec);

// One run: data in the session encoding, result out (1,028 bytes, session
// encoding; empty on failure). 0, or the input's or output's conversion
// warning; -704/-705 for a definition that is not usable; -800 for a
// matching pattern or known identity whose identity value does not exist;
// the failures of every step.
int32_t ident_engine_run(context* ctx, defn_rec* rec, const char* data, char* result, ident_info* info);

// ---- Exports -------------------------------------------------------------------------------

int32_t tqx_identify(context* ctx, const char* ident_defn, const char* data, char* result);
int32_t tqx_identify_by_index(context* ctx, int32_t index, const char* data, char* result);
int32_t tqx_identify_with_info(context* ctx, const char* ident_defn, const char* data, char* result,
                               ident_info* info);

}  // namespace tq
