// The accessors of extraction definitions (kind 8) that have logic of their
// own. Most extraction-definition exports are rows bound to the accessors
// every kind shares (kbstore/krdefnacc.h) with kDefnExtract; the functions
// here are the rest. Each is named as its export without the tq prefix,
// takes the context first and runs under the frame's read hold; a change
// takes the write hold inside and gives it back on every path.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"

struct tq_xmldoc;

namespace tq {

// Appends a token named after one of the datatype's tokens (a refused name
// leaves no token behind); *tok_idx its position. The engine keeps one slot
// per token, 32 of them: a 33rd token is -601.
int32_t tqx_extraction_defn_token_add(context* ctx, int32_t index, const char* name, int32_t* tok_idx);

// An empty name is refused (-802) rather than emptying the list.
int32_t tqx_extraction_defn_normalization_regexlib_add(context* ctx, int32_t index, const char* name);

// ---- Whole definitions ---------------------------------------------------------------

// Appends a definition named `name` without datatype or tokens.
int32_t tqx_extraction_defn_add(context* ctx, const char* name, int32_t* index);
// Copies the definition named sname (surfaced or not) under the name dname.
int32_t tqx_extraction_defn_copy(context* ctx, const char* sname, const char* dname, int32_t* index);
// Appends the whole definition to xml as an include of the kind's root type.
int32_t tqx_extraction_defn_write(context* ctx, tq_xmldoc* xml, int32_t index);

}  // namespace tq
