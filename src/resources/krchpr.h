// The chopper resource (kind 1, "Chopper"): a character table and chopping
// rules that tell the chopping engine how to split values into words. A
// chopper is a "Chopping Table" document in the knowledge base's "chopinfo"
// folder, registered by name when a definition names it or a client loads
// it, read on first use and freed with its last reference. Every context
// also owns two built-in choppers that need no file.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "kbstore/krlib.h"
#include "kbstore/krlock.h"
#include "kbstore/krlocp.h"
#include "kbstore/krvlt.h"
#include "resources/krcrld.h"
#include "resources/krctld.h"

namespace tq {

// Handles that select the built-in choppers (any other negative handle is
// refused): -1 and -2 the whitespace-only chopper, -3 the whitespace and
// CJK chopper.
inline constexpr int32_t kChopperDefault = -1;
inline constexpr int32_t kChopperWhitespace = -2;
inline constexpr int32_t kChopperWhitespaceCjk = -3;

// The kind's record, kept in the registry slot's part.
struct chopper_rec {
  resource_slot* slot;  // the registry slot, or the built-in's own
  locale_info locale;
  vault_info vault;
  chopper_table table;
  chopper_rules rules;
};

// A built-in chopper with the slot that names it; the context owns it.
struct chopper_builtin {
  resource_slot slot;
  chopper_rec rec;
};

// Initial content: vault names empty, the default table, no rules. -600 (the
// record then holds nothing to free).
int32_t chopper_rec_init(chopper_rec* rec);
// Frees the table and the rules (vocabulary references given back).
void chopper_rec_content_free(context* ctx, chopper_rec* rec);
// The chopper's name for messages ("[none]" without a slot).
const char* chopper_name(const chopper_rec* rec);
// The lock handle the chopper was loaded for editing with, or NULL.
lock_handle* chopper_lock(const chopper_rec* rec);

// ---- Built-ins -------------------------------------------------------------------------

// Makes one built-in chopper: handle -2 (or -1) "Vantrel Whitespace-Only
// Chopper", -3 "Vantrel Whitespace and CJK Chopper" (the same content: the
// default table splits at blanks, tabs, line feeds, form feeds and carriage
// returns). -600; -802 for another handle.
int32_t chopper_builtin_create(context* ctx, int32_t handle, chopper_builtin** out);
void chopper_builtin_free(context* ctx, chopper_builtin* builtin);
// Both built-ins of a context, made at its creation after its chop work
// area; freed at teardown (safe on a context that has none).
int32_t chopper_builtins_create(context* ctx);
void chopper_builtins_free(context* ctx);

// ---- Getting choppers --------------------------------------------------------------------

// The chopper of a registry index for reading, read on first use; the
// caller's read hold covers its use. -800 for an index that is not a chopper.
int32_t chopper_get(context* ctx, int32_t index, chopper_rec** out);
// The same for chopping: -1, -2 and -3 give the context's built-ins, any
// other negative handle -802.
int32_t chopper_get_for_chop(context* ctx, int32_t handle, chopper_rec** out);
// The chopper for change, returning with the shared state's write hold;
// end with chopper_edit_end on every path that succeeded.
int32_t chopper_get_for_edit(context* ctx, int32_t index, chopper_rec** out);
int32_t chopper_edit_end(context* ctx, chopper_rec* rec);
// The chopper of an index held for change for the life of the object: the
// write hold is given back on every path.
using chopper_edit_scope = rsrc_edit_scope<chopper_rec, chopper_get_for_edit, chopper_edit_end>;
// Registers (or references) a chopper by file name; an already registered
// chopper gives its index with result 0. lock: the handle of an edit, or NULL.
int32_t chopper_load_by_name(context* ctx, const char* name, lock_handle* lock, int32_t* index);

// Registry callbacks of kind 1. A failed load frees what it built, releases
// the edit's locks and leaves the registrant's reference alone, so that the
// next use tries again.
int32_t chopper_rsrc_load(context* ctx, resource_slot* slot, lock_handle* lock, uintptr_t arg);
int32_t chopper_rsrc_free(context* ctx, resource_slot* slot, uintptr_t arg);

// Builds the "Chopping Table" document of a chopper (the caller frees it).
int32_t chopper_document_build(context* ctx, const chopper_rec* rec, xmldoc** out);
// Fills an initialised chopper from its document; the slot (may be NULL)
// receives its version and owner and names it in messages.
int32_t chopper_document_read(context* ctx, const xmldoc* doc, resource_slot* slot, chopper_rec* rec);

// ---- Export implementations ---------------------------------------------------------

int32_t chopper_load(context* ctx, const char* name, int32_t* index);
int32_t chopper_edit(context* ctx, const char* name, lock_handle* lock, int32_t* index);
int32_t chopper_create(context* ctx, const char* name, int32_t* index);
int32_t chopper_edit_new(context* ctx, const char* path, const char* name, lock_handle* lock);
int32_t chopper_save(context* ctx, int32_t chopper, lock_handle* lock);

}  // namespace tq
