// The accessors of identification definitions (kind 3) that have logic of
// their own. Most identification-definition exports are rows bound to the
// accessors every kind shares (kbstore/krdefnacc.h) with kDefnIdent; the
// functions here are the rest. Each is named as its export without the tq
// prefix, takes the context first and runs under the frame's read hold; a
// change takes the write hold inside and gives it back on every path.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"

struct tq_xmldoc;

namespace tq {

// The datatype is stored as given; the definition is bound again before its
// next run, its format level stays.
int32_t tqx_identification_defn_datatype_index_set_no_upcast(context* ctx, int32_t index, int32_t dtype_index);
// The first normalization library's name (4,096 bytes); -800 when the
// definition has none.
int32_t tqx_identification_defn_normalization_regexlib_name_get(context* ctx, int32_t index, char* name);

// ---- Whole definitions ---------------------------------------------------------------

// A new definition named `name` (session encoding) in the current locale.
int32_t tqx_identification_defn_add(context* ctx, const char* name, int32_t* index);
// Copies the definition named sname (surfaced or not) under the name dname.
int32_t tqx_identification_defn_copy(context* ctx, const char* sname, const char* dname, int32_t* index);
// Appends the definition to xml under the same include name and element
// type as the locale writer uses, so that either reads back the same way.
int32_t tqx_identification_defn_write(context* ctx, int32_t index, tq_xmldoc* xml);

}  // namespace tq
