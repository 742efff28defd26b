// Phonetics rule sets, the resource kind "Phonetx": an ordered set of rewrite
// rules that turns a text into its phonetic form. The rule set lives in its
// registry slot; it is read from "phonetx" documents (compiled at once),
// created and filled in edit mode, compiled, saved and executed through the
// phonetics engine. A context can also read a file's rules into its edit
// session to show them to an editor.
#pragma once

#include <cstdint>

#include "tq.h"
#include "core/krcorvel.h"
#include "kbstore/krlib.h"
#include "kbstore/krlocp.h"
#include "kbstore/krvlt.h"
#include "resources/krpx.h"
#include "resources/krpxraw.h"

namespace tq {

// Priorities given through the interface are kept within these bounds.
inline constexpr int32_t kPhonetxPriorityMin = 10;
inline constexpr int32_t kPhonetxPriorityMax = 90;
inline constexpr int32_t kPhonetxPriorityDefault = 50;
// The output of phonetx_run: 1,024 bytes of text and the terminator.
inline constexpr uint32_t kPhonetxRunSize = kPxOutputMax + 1;

// The record a phonetics slot keeps in its part.
struct phonetx_rec {
  locale_info locale;
  vault_info vault;
  px_ruleset rules;  // state, rules added, compiled machine, rule list
};

// One rule of a file read into the edit session.
struct phonetx_edit_rule {
  char* search;   // UTF-8, owned
  char* replace;  // UTF-8, owned
  int32_t priority;
  uint32_t flags;
};

// The context's edit session: the locale and rules of one file, and the
// locked file they were read through with the name it was asked by: a load
// of that name in the context reads that file while it is held.
struct phonetx_edit_session {
  locale_info locale;
  phonetx_edit_rule* rules;
  uint32_t count;
  lock_ref held;
  char name[kRsrcNameSize];
};

// ---- The resource kind ------------------------------------------------------------

// Registry load callback: reads the set's document by the slot's name (the
// file the context's edit session read, when it is of that name and held
// still: the file its save then writes), takes
// every record in by rule intake and compiles the set. On failure nothing is
// kept and the slot stays registered, so that a later use tries again.
int32_t phonetx_rsrc_load(context* ctx, resource_slot* slot, lock_handle* lock, uintptr_t arg);
// Registry free callback: the machine, the rules and the record.
int32_t phonetx_rsrc_free(context* ctx, resource_slot* slot, uintptr_t arg);

// The set at a registry index for reading, loaded on first use.
int32_t phonetx_get(context* ctx, int32_t index, phonetx_rec** out);
// The same for change: returns 0 holding the shared state's write hold,
// which the caller takes over at once (write_hold::adopt); on failure
// nothing is held.
int32_t phonetx_get_for_edit(context* ctx, int32_t index, resource_slot** slot, phonetx_rec** out);
// Registers the set by its file name (UTF-8) or adds a reference to the one
// registered: 0 with its index, or the registry's failure (-400 when the
// file is missing).
int32_t phonetx_load_by_name(context* ctx, const char* name, int32_t* index);
// Rewrites a UTF-8 text with a compiled set in the context's work area;
// output holds kPhonetxRunSize bytes and is always terminated. The engine's
// result: 0, 114, 115, or -1; -600 when the work area cannot be made.
int32_t phonetx_run(context* ctx, const phonetx_rec* set, const char* input, char* output);

// Frees the context's edit session (at teardown); NULL session is accepted.
void phonetx_edit_session_free(context* ctx);

// ---- Export implementations ---------------------------------------------------------

int32_t phonetx_load(context* ctx, const char* name, int32_t* index);
int32_t phonetx_create(context* ctx, const char* name, int32_t* index);
int32_t phonetx_rule_add(context* ctx, int32_t index, const char* rule_text, const char* replace_text,
                         int32_t priority, uint32_t flags, int32_t* rule_index);
int32_t phonetx_prepare(context* ctx, int32_t index);
int32_t phonetx_save(context* ctx, int32_t index, tq_lock_handle* lock);
int32_t phonetx_execute(context* ctx, int32_t index, const char* input, char* result, uint32_t size);
int32_t phonetx_edit_new(context* ctx, const char* path, const char* name, tq_lock_handle* lock);
int32_t phonetx_edit(context* ctx, const char* name, tq_lock_handle* lock);
int32_t phonetx_edit_rule_count_get(context* ctx, uint32_t* count);
int32_t phonetx_edit_rule_get(context* ctx, int32_t index, char* rule_text, char* replace_text, int32_t* priority,
                              uint32_t* flags);
int32_t phonetx_edit_locale_info_get(context* ctx, char* iso, char* desc, int32_t* code);
int32_t phonetx_edit_free(context* ctx);

}  // namespace tq
