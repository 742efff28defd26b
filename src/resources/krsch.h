// Schemes: tables that map data values to standard values. A phrase scheme
// replaces a whole value that its table holds; an element scheme chops the
// value into words and replaces the longest runs of words that it holds. A
// scheme can be keyed by match codes, so that a value finds its entry when
// it has the same match code under a match definition at a sensitivity.
// The resource kind 5 ("Scheme"): registry callbacks, the "scheme"
// document (".sch" vault files), preparation, lookup and application, the
// per-context scratch, editing, and the exported scheme family.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tq.h"
#include "core/krcorvel.h"
#include "kbstore/krlib.h"
#include "kbstore/krlocp.h"
#include "kbstore/krvlt.h"

namespace tq {

struct resource_slot;
struct lock_handle;

// Flag bits of a scheme.
inline constexpr uint32_t kSchemeElement = 0x1;          // applied to runs of chopped words
inline constexpr uint32_t kSchemeCaseInsensitive = 0x2;  // data uppercased, values uppercased before lookup
inline constexpr uint32_t kSchemeMatchKeyed = 0x4;       // keyed by match codes
inline constexpr uint32_t kSchemeEditState = 0x8;        // being built or changed: never applied
inline constexpr uint32_t kSchemeDuplicates = 0x10;      // equal data stay and form groups
inline constexpr uint32_t kSchemeOutUpper = 0x20;
inline constexpr uint32_t kSchemeOutLower = 0x40;
inline constexpr uint32_t kSchemeOutProper = 0x80;
inline constexpr uint32_t kSchemeTransfLoad = 0x100;     // loaded through tq_transf_scheme_load
inline constexpr uint32_t kSchemeNoTrim = 0x200;         // data keep their surrounding white space
// The bits an application may take from its caller instead of the scheme
// (scheme_apply's flags_override): element mode and output casing.
inline constexpr uint32_t kSchemeOverridable = kSchemeElement | kSchemeOutUpper | kSchemeOutLower | kSchemeOutProper;
// scheme_apply's flags_override when the scheme's own flags apply.
inline constexpr int64_t kSchemeOwnFlags = -1;

// The chopper index of a scheme without a chopper (element schemes then
// chop with the built-in whitespace chopper of the same handle).
inline constexpr int32_t kSchemeNoChopper = -2;

// Limits.
inline constexpr uint32_t kSchemeMaxOutputs = 32;      // outputs of one application
inline constexpr uint32_t kSchemeMaxWords = 64;        // words of an element application looked up
inline constexpr uint32_t kSchemeValueMax = 1024;      // bytes of a value, data or standard taken in
inline constexpr uint32_t kSchemeKeySize = 1025;       // a match-code key with its terminator
inline constexpr uint32_t kSchemeOutputMax = 16384;    // bytes of one output text inside
inline constexpr uint32_t kSchemeInitialCapacity = 128;

// One entry. Who frees a text follows who allocated it: `owned` tells
// which texts are heap copies of their own; the others live in the
// scheme's text block.
inline constexpr uint32_t kSchemeOwnData = 0x1;
inline constexpr uint32_t kSchemeOwnStandard = 0x2;
struct scheme_entry {
  char* data;      // the key looked up
  char* standard;  // what the data stand for
  char* key;       // match-code key (kSchemeKeySize bytes) when keyed by match codes, else NULL
  uint32_t group;  // 0: no equal neighbour; equal neighbours share a number from 1 up
  uint32_t owned;  // kSchemeOwnData | kSchemeOwnStandard
};

// The kind's record, kept in the slot's part.
struct scheme_rec {
  resource_slot* slot;
  vault_info vault;
  locale_info locale;
  uint32_t sorted;      // 1 when the entries are in search order
  uint32_t flags;
  int32_t chopper;      // registry index of the chopper, kSchemeNoChopper for none
  int32_t mdefn;        // match definition index, -1 for none
  int32_t key_locale;   // the locale code current when the match-code keys were built, -1
  uint32_t sens;        // sensitivity of the match-code keys
  uint32_t file_options;  // 1 when loaded for a request that took the options of the file
  char* text_block;     // the texts of a scheme loaded for use, in one allocation
  size_t text_size;
  uint32_t capacity;
  uint32_t count;
  scheme_entry* entries;
};

// The three words a scheme is opened with; the registry compares them to
// decide whether a registered scheme serves a new request. Flags below 0
// take the options from the scheme's file.
struct scheme_options {
  int32_t flags;
  int32_t mdefn;
  uint32_t sens;
};

// The one block of the process equal to `wanted`, which lives as long as
// the process (slots keep its address); NULL when memory runs out.
const scheme_options* scheme_options_intern(const scheme_options& wanted);

// ---- Scratch -------------------------------------------------------------------------

// A pool of blocks of 32 pointer slots, taken and given back last-in
// first-out, in pages of 32 blocks. Applications borrow their arrays of
// output pointers from here instead of allocating them.
inline constexpr uint32_t kSchemePoolPageBlocks = 32;
inline constexpr uint32_t kSchemePoolBlockSize = kSchemeMaxOutputs * sizeof(void*);
struct scheme_pool {
  char** pages;
  uint32_t page_count;
  uint32_t in_use;  // blocks taken and not given back
};
void scheme_pool_init(context* ctx, scheme_pool* pool);
// The next block, zeroed (a new page when every block is in use; -600).
int32_t scheme_pool_block_take(scheme_pool* pool, void** block);
// Gives the last block taken back; -802 when none is in use.
int32_t scheme_pool_block_return(scheme_pool* pool);
// Frees every page.
void scheme_pool_free(context* ctx, scheme_pool* pool);

// Room for the texts of applications, taken and given back last-in
// first-out like the pools' blocks (an application inside the matching of
// another takes after it and gives back before it). Chunks are kept once
// made, so a warm context takes its texts without allocating.
struct scheme_text_chunk {
  char* data;
  size_t size;
  size_t used;
};
struct scheme_text_arena {
  scheme_text_chunk* chunks;
  uint32_t count;
  uint32_t current;  // the chunk texts are taken from
};
// Where the arena stands, to give back to.
struct scheme_text_mark {
  uint32_t chunk;
  size_t used;
};
// bytes of room (uninitialised) and the mark to give it back with; -600.
int32_t scheme_text_take(scheme_text_arena* arena, size_t bytes, char** room, scheme_text_mark* mark);
void scheme_text_give_back(scheme_text_arena* arena, const scheme_text_mark& mark);

// The context's scratch: one pool for whole applications, one for the runs
// of element applications, and the texts of both.
struct scheme_scratch {
  scheme_pool pools[2];
  scheme_text_arena texts;
};
// Made at context initialisation (-600), freed at teardown; freeing a
// context that has none is harmless.
int32_t scheme_scratch_create(context* ctx);
void scheme_scratch_free(context* ctx);

// ---- Matching -------------------------------------------------------------------------

// What schemes keyed by match codes need of the matching subsystem, which
// lives in a layer above this one and installs these operations at start.
// Until they are installed a scheme keyed by match codes cannot be loaded,
// prepared or written (-705).
struct scheme_match_ops {
  // The index of the match definition of that name among the current
  // locale's; a negative code when there is none.
  int32_t (*defn_index_get_by_name)(context* ctx, const char* name, int32_t* index);
  // 0 when the match definition of that index in the current locale can be
  // used for match codes, else its negative code.
  int32_t (*defn_usable)(context* ctx, int32_t index);
  // The name of the match definition of that index (UTF-8, size bytes with
  // the terminator).
  int32_t (*defn_name_get)(context* ctx, int32_t index, char* out, uint32_t size);
  // match_string_by_defn_index: the match codes of a UTF-8 text under the
  // match definition of that index in the current locale, one per
  // sensitivity, into codes[i] (schemes pass one sensitivity, convert 0,
  // a kSchemeKeySize-byte buffer and no info). Negative on failure.
  int32_t (*match_string_by_defn_index)(context* ctx, int32_t defn_index, const uint32_t* sens, uint32_t count,
                                        const char* text, uint32_t convert, char** codes, void* info);
};
// Records why the match-code keys of a scheme cannot be had, from the
// failure rc of a match operation: -707 (the locale whose match definition
// builds them, locale_code, is not loaded, or 0: none is current) with
// message 1722 or 1723, anything else with message 93 naming the match
// definition. Only keyed schemes need a loaded locale.
void scheme_keys_refused(context* ctx, int32_t rc, const char* mdefn_name, const char* scheme_name,
                         int32_t locale_code);
// Installs the operations (NULL removes them).
void scheme_match_ops_set(const scheme_match_ops* ops);
const scheme_match_ops* scheme_match_ops_get();

// ---- Engine -----------------------------------------------------------------------------

// An empty record: no entries (capacity 0), no chopper, no match definition,
// locale and vault cleared. NULL when out of memory.
scheme_rec* scheme_rec_new();
// Frees the entries, the text block and the record; gives the chopper back.
void scheme_rec_delete(context* ctx, scheme_rec* rec);
// Frees every entry, the array and the text block (count and capacity 0,
// sorted 0); the chopper is kept.
void scheme_entries_free(context* ctx, scheme_rec* rec);
// Room for one more entry: the capacity doubles (128 from nothing). -600.
int32_t scheme_entries_reserve(scheme_rec* rec, uint32_t extra);
// Appends an entry with heap copies of both texts. -600.
int32_t scheme_entry_append_copy(scheme_rec* rec, const char* data, const char* standard);
// Removes entry i (its texts freed); later entries move down one place.
void scheme_entry_remove(scheme_rec* rec, uint32_t i);

// Sorts by data (by_key 0) or match-code key (1), byte order, keeping the
// order of equal entries; group numbers are cleared; the sorted flag is set.
void scheme_sort(scheme_rec* rec, uint32_t by_key);
// Numbers the groups of equal neighbours (by data or by key).
void scheme_groups_number(scheme_rec* rec, uint32_t by_key);
// Sorts and removes the earlier entry of every pair of equal neighbours:
// equal data; by key: equal keys and equal data; for a case-insensitive
// scheme equal standards too. Returns the number removed.
uint32_t scheme_duplicates_remove(scheme_rec* rec, uint32_t by_key);
// Index of an entry whose data equal the text (binary search over sorted
// data), or -1.
int32_t scheme_search_data(const scheme_rec* rec, const char* data);
// Makes a scheme ready for lookups: match-code keys, uppercased data,
// sorting, groups. A scheme in edit state is left alone. 0 or a negative
// code (-705 for a scheme keyed by match codes without the matching
// operations).
int32_t scheme_prepare(context* ctx, scheme_rec* rec);

// 1 when the text (UTF-8) is a data value of the scheme, else 0; with
// standard not NULL, *standard points at the entry's standard.
int32_t scheme_standard_get_by_data(context* ctx, const scheme_rec* rec, const char* data, const char** standard);

// Applies a scheme to a value. outputs: nout pointers (at most 32 are used)
// to buffers of out_size bytes each, terminator included; with convert 1
// the value comes in and the outputs go out in the session encoding, else
// in UTF-8. rechop 1 chops each output again and puts its words in byte
// order ("Sort Words"). flags_override, unless kSchemeOwnFlags, gives the
// element and output-case bits for this application in place of the
// scheme's own (kSchemeOverridable); the shared scheme is never changed.
// *count receives the outputs filled, *found the entries applied (a phrase
// scheme: 0 or 1; an element scheme: the runs replaced). -500 for a scheme
// in edit state; -802 for no outputs, a NULL output or a size below the
// terminator; a NULL value fills nothing and gives 0. Result: the input
// conversion's warning, else the last output conversion's warning, else 0.
// Outputs not filled are left empty, on failure too, except by a run
// refused the write hold, which leaves them as they were.
int32_t scheme_apply(context* ctx, const scheme_rec* rec, const char* value, uint32_t nout, uint32_t out_size,
                     uint32_t rechop, uint32_t convert, char** outputs, uint32_t* count, int32_t* found,
                     int64_t flags_override = kSchemeOwnFlags);

// ---- The resource kind -------------------------------------------------------------------

// The scheme of a slot index for reading, loaded on first use (-800 for an
// index that is not a scheme).
int32_t scheme_get(context* ctx, int32_t index, scheme_rec** out);
// The option bits (kScheme*) a scheme of a slot index serves with: a loaded
// scheme's own, else those it was registered with, without loading it (a
// definition always registers with its own options); only a registration
// for the file's options (a client's load) is loaded to tell them. -800 for
// an index that is not a scheme.
int32_t scheme_flags_get(context* ctx, int32_t index, uint32_t* flags);
// The same for change: returns holding the shared state's write hold,
// which scheme_edit_end gives back.
int32_t scheme_get_for_edit(context* ctx, int32_t index, scheme_rec** out);
int32_t scheme_edit_end(context* ctx, scheme_rec* rec);
// A scheme held for change for the life of the object.
using scheme_edit_scope = rsrc_edit_scope<scheme_rec, scheme_get_for_edit, scheme_edit_end>;

// Registers a scheme by name with its options (a registered scheme that
// serves them gets one more reference), its file read on first use. With
// convert 1 the name comes in the session encoding. flags below 0 take the
// options from the file; without kSchemeMatchKeyed the match definition and
// sensitivity are ignored. lock: the handle of an edit, or NULL. Result:
// the name conversion's warning, else 0, or the failure.
int32_t scheme_load_by_name(context* ctx, const char* name, int32_t flags, int32_t mdefn, uint32_t sens,
                            lock_handle* lock, uint32_t convert, int32_t* index);
// Drops one reference a definition holds (never a client load); the last
// frees the scheme.
int32_t scheme_unload(context* ctx, int32_t index);
// The slot's name ("" for none) into out (size bytes, cut between characters).
int32_t scheme_name_get(context* ctx, int32_t index, char* out, uint32_t size);

// Registry callbacks of kind 5.
int32_t scheme_rsrc_load(context* ctx, resource_slot* slot, lock_handle* lock, uintptr_t arg);
int32_t scheme_rsrc_free(context* ctx, resource_slot* slot, uintptr_t arg);
int32_t scheme_rsrc_same_loaded(context* ctx, resource_slot* slot, const char* name, uintptr_t arg, int32_t* same);
int32_t scheme_rsrc_same_registered(context* ctx, resource_slot* slot, const char* name, uintptr_t arg,
                                    int32_t* same);

// ---- Export implementations -----------------------------------------------------------------

int32_t transf_scheme_load(context* ctx, const char* scheme_name, int32_t options, int32_t mdefn_index, uint32_t sens,
                           int32_t* index);
int32_t scheme_load_edit(context* ctx, const char* scheme_name, tq_lock_handle* lock, int32_t* index);
int32_t scheme_unload_edit(context* ctx, int32_t index, tq_lock_handle* lock);
int32_t transf_scheme_apply(context* ctx, int32_t index, const char* data, char* out, uint32_t out_size,
                            int32_t* num_trans);
int32_t transf_scheme_apply_mult_out(context* ctx, int32_t index, const char* data, uint32_t num_bufs,
                                     uint32_t buf_size, char** out_bufs, uint32_t* num_out);
int32_t transf_scheme_options_get(context* ctx, int32_t index, uint32_t* options, int32_t* mdefn_index,
                                  uint32_t* sens);
int32_t transf_scheme_options_set(context* ctx, int32_t index, uint32_t options, int32_t mdefn_index, uint32_t sens);
int32_t scheme_create(context* ctx, const char* path, const char* scheme_name, uint32_t options,
                      tq_lock_handle* lock, int32_t* index);
int32_t scheme_create_in_memory(context* ctx, const char* scheme_name, uint32_t options, int32_t* index);
int32_t scheme_finalize_in_memory(context* ctx, int32_t index);
int32_t scheme_entry_add(context* ctx, int32_t index, const char* data, const char* standard);
int32_t scheme_entry_delete(context* ctx, int32_t index, const char* data);
int32_t scheme_import_begin(context* ctx, int32_t index);
int32_t scheme_import_record(context* ctx, int32_t index, const char* data, const char* standard);
int32_t scheme_import_end(context* ctx, int32_t index);
int32_t scheme_write(context* ctx, int32_t index, tq_lock_handle* lock);
int32_t scheme_element_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t scheme_element_data_get(context* ctx, int32_t index, uint32_t element, char* data);
int32_t scheme_element_standard_get(context* ctx, int32_t index, uint32_t element, char* standard);
int32_t scheme_merge(context* ctx, int32_t index, int32_t source_index);
int32_t scheme_clear(context* ctx, int32_t index);
int32_t scheme_locale_set(context* ctx, int32_t index, int32_t code);
int32_t scheme_chopper_name_get(context* ctx, int32_t index, char* name);
int32_t scheme_chopper_name_set(context* ctx, int32_t index, const char* name);

}  // namespace tq
