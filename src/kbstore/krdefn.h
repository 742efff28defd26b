// The definition store. Definitions of all ten kinds share one record layout
// (defn_rec): the common fields every kind has, the tokens, and a kind part
// that only the kind's own handlers (krkind.h) look into. Per loaded locale
// and kind the store keeps the locale's own definitions and, outside edit
// mode, the list of those it inherits from its ancestors (names it does not
// define itself). Callers name a definition by the index of krindex.h: own
// then inherited outside edit mode, depth x 256 + position in edit mode.
//
// Records never move: each lives in its own allocation and the arrays hold
// pointers, so appends by another context leave records where they are.
// Unloading the whole locale frees them: a record is used only under the
// hold it was found under (see krzel.h).
//
// Texts inside are UTF-8. Names that come from a caller are converted from
// the session encoding first; names the engine itself passes (a name read
// from a file, a literal default) are not (kDefnNameConvert).
#pragma once

#include <cstdint>
#include <vector>

#include "core/krcorvel.h"
#include "kbstore/krdcat.h"
#include "kbstore/krdtok.h"
#include "kbstore/krdtyp.h"
#include "kbstore/krfield.h"
#include "kbstore/krkind.h"
#include "kbstore/krlib.h"

namespace tq {

struct loaded_locale_rec;

inline constexpr uint32_t kDefnNameMax = 320;  // bytes, terminator not counted
inline constexpr uint32_t kDefnOwnerMax = 320;
inline constexpr uint32_t kDefnVersionMax = 17;
inline constexpr uint32_t kDefnReplacementMax = 320;
// The engine's own version: a definition using features of a newer one is
// read, but refused in use (-705) unless the context allows it.
inline constexpr const char* kDefnEngineVersion = "9.0";

// Validity bits.
inline constexpr uint32_t kDefnValidityStepReported = 0x1;  // a load step reported something
inline constexpr uint32_t kDefnValidityIncomplete = 0x8;    // read with "Incomplete" set

// Flags of the name operations.
inline constexpr uint32_t kDefnNameConvert = 0x1;    // the name is in the session encoding
inline constexpr uint32_t kDefnAnySurface = 0x2;     // definitions that are not surfaced count too

// Context option bits the store looks at.
inline constexpr uint32_t kOptionAllSurfaced = 1u << 20;
inline constexpr uint32_t kOptionAllParsedInput = 1u << 21;
inline constexpr uint32_t kOptionNewerVersions = 1u << 23;

// One vocabulary of a definition: the reference, the stop flag (stop looking
// after a hit) and the fuzzy lookup parameters.
struct defn_vocab {
  rsrc_ref vocab;
  int32_t stop = 0;
  fuzzy_params fuzzy{0, kFuzzyThresholdDefault};
};

struct defn_rec {
  int32_t kind = 0;  // 1..10; 0 once cleared
  char name[kDefnNameMax + 1] = {};
  char owner[kDefnOwnerMax + 1] = {};
  char version[kDefnVersionMax + 1] = {};
  int32_t version_supported = 1;  // 0: newer than the engine (-705 in use)
  int32_t incomplete = 0;
  int32_t deprecated = 0;
  char replacement[kDefnReplacementMax + 1] = {};
  int32_t locale = -1;  // code of the owning locale
  int32_t surface = 1;
  int32_t valid = 0;
  uint32_t validity_bits = 1;
  // Set when the record was left invalid because its locale was loaded
  // without what it names: that flag's name in tq.h and what it reads
  // (static texts), for the message of a call on it.
  const char* unloaded_flag = nullptr;
  const char* unloaded_what = nullptr;
  int32_t datatype = -1;  // index in the owning locale
  int32_t editable = 0;
  // Set when a step of the record's read failed for a cause outside its
  // file (memory, a file that could not be opened or read now): the next
  // load of its locale reads it again in its place. An edit of the record
  // clears it, so that a load never undoes an edit.
  int32_t reread = 0;
  // The context's count of failures whose cause may pass as the record's
  // last read step ended (err_passing_mark): a step that changed it met one.
  uint32_t passing_mark = 0;
  // Resource lists: an entry may be empty (a replaced library whose new
  // name could not be opened); writers skip empty entries.
  std::vector<rsrc_ref> preprocessing;  // regex libraries
  int32_t parse_defn = -1;              // a parse definition's index in the owning locale
  int32_t allow_parsed_input = 0;
  rsrc_ref chopper;
  std::vector<rsrc_ref> normalization;  // regex libraries
  int32_t automatic_uppercasing = 1;
  std::vector<defn_vocab> vocabularies;
  default_category_list default_categories{};  // made by defn_record_init
  rsrc_ref postprocessing;                     // a regex library
  dtok_list tokens;
  xmldoc* comments = nullptr;  // owned; NULL for none
  xmldoc* layouts = nullptr;   // owned; NULL for none
  // The element as its file gave it, for a definition refused whole as it
  // was read (a number no field of it holds): nothing else of it is read, a
  // write puts it back as it was, and it takes no change. Owned; NULL for
  // any other definition.
  xmldoc* unread = nullptr;
  // The kind's part, made by its init hook and released by its free hook.
  void* part = nullptr;
};

// An inherited definition: the own record at `position` of the loaded locale
// at `locale` (its place in the shared state's list of loaded locales).
struct defn_pair {
  int32_t locale;
  uint32_t position;
};

// The definitions of one kind in one loaded locale. Zero-initialised is
// empty. Records are owned (new/delete); the arrays grow by realloc.
struct defn_set {
  defn_rec** recs;
  uint32_t count;
  uint32_t capacity;
  defn_pair* inherited;
  uint32_t inherited_count;
};

// Clears every record (keep_refs as defn_record_clear), frees them and the
// inherited list; the set is empty afterwards.
void defn_set_free(context* ctx, defn_set* set, int32_t keep_refs);

// ---- Records ------------------------------------------------------------------------

// A new record of the kind: the defaults, an empty default-category list,
// then the kind's init hook (-802, message 171, for a kind not built).
// -600 (message 29).
int32_t defn_record_init(context* ctx, int32_t kind, defn_rec* rec);
// Frees the tokens, the kind part (kind's free hook), the resource lists
// (references given back, or with keep_refs only forgotten), the default
// categories' entries, comments and layouts, and resets the fields: kind 0,
// texts empty, locale, datatype and parse definition -1, valid, editable and
// surface 0, validity bits 0, version supported 1. A cleared record calls no
// hook again, so clearing twice is harmless, and it keeps an empty
// default-category list, so accessors on an unloaded slot find nothing
// rather than freed memory.
void defn_record_clear(context* ctx, defn_rec* rec, int32_t keep_refs);

// Appends a new record of the kind to the locale's own array (under the
// write hold, which the caller may already hold): initialised for the kind,
// its locale field set. *position: its place in the own array. In edit mode
// a locale holds at most 256 own definitions of a kind (-601, message 1756).
// -600 (message 29) with the set unchanged.
int32_t defn_record_append(context* ctx, loaded_locale_rec* locale, int32_t kind, defn_rec** out,
                           uint32_t* position);

// The name rules, for a name already trimmed and UTF-8: not empty (-802,
// "'name' is empty."), not the exact name (byte comparison) of another own
// definition of the kind in the set (-801, message 181), no comma (-801,
// message 182). `self` (may be NULL) is not compared with itself.
int32_t defn_name_check(context* ctx, const defn_set& set, int32_t kind, const defn_rec* self, const char* name);
// Trims the UTF-8 name and sets it after the name rules; a name equal (byte
// for byte, before trimming) to the record's present one is accepted as it
// is. The record is unchanged on failure.
int32_t defn_rec_name_set(context* ctx, const defn_set& set, defn_rec* rec, const char* name);

// 0 when the record may be applied; -704 when it is not valid; -705
// (message 1558) when its version is newer than the engine's, unless the
// context's option bit 23 allows it.
int32_t defn_rec_check_usable(context* ctx, const defn_rec* rec);
// While the record is read: it names `name`, a datatype (part 0) or a
// definition of kind `part`, which the lookup did not find. When its locale
// was loaded without that part, records `code` with message 1940 (naming
// the load flag that reads it), keeps the flag for the message of a call on
// the record (1941) and returns true; otherwise reports nothing and returns
// false, for the caller's own message.
bool defn_rec_unloaded_report(context* ctx, defn_rec* rec, int32_t part, const char* name, int32_t code);
// One load step's result: 0 changes nothing; anything else becomes *last,
// sets validity bit 0, and a negative one clears valid. A critical result
// (-100, -200, -600) is returned (and stops the load); every other result
// gives 0.
// A failure that names no fault of the knowledge base: out of memory, a
// file locked or that could not be written, or a failure of a step that
// met a failure whose cause may pass (passing_met: an I/O error, no
// descriptor left, an interrupted call, as the file layer counted it where
// it happened). A definition that met one is read again by the next load
// of its locale; one whose file is missing or can never be read as it
// stands is not, so that it is reported once.
bool defn_failure_may_pass(int32_t code, bool passing_met);
// Starts the record's steps: each step's failures are those met from here
// or from the end of the record's step before.
void defn_rec_load_begin(context* ctx, defn_rec* rec);
int32_t defn_rec_load_result(context* ctx, defn_rec* rec, int32_t step, int32_t* last);
// Records -600 with message 29: `format` (one %s) filled with the
// definition's name.
void defn_memory_report(context* ctx, const char* format, const char* name);
// Raises the version text to at least `version` (dotted comparison) under
// the write hold; an older or equal version changes nothing.
int32_t defn_rec_version_raise(context* ctx, defn_rec* rec, const char* version);
int32_t defn_version_raise_by_index(context* ctx, int32_t kind, int32_t index, const char* version);

// The surface flag, or 1 for every definition under option bit 20.
int32_t defn_surfaced_get(const context* ctx, const defn_rec* rec);
// The allow-parsed-input flag, or 1 under option bit 21.
int32_t defn_rec_parsed_input_get(const context* ctx, const defn_rec* rec);

// An index held by a definition copied from an ancestor in edit mode (its
// datatype, its parse definition, indices of its kind part) re-expressed
// from the copy: with a source index of 256 or more, the held index moves
// up by the source's depth. A negative held index (none) stays as it is.
int32_t defn_index_rebase(int32_t source_index, int32_t held_index);

// ---- The store, by kind and index ----------------------------------------------------
// All take the current locale (-707 when none) or a locale by code (-707
// when not loaded, -802 for a code outside the table). A kind outside 1..10
// or not built: -802, message 171.

// Own plus inherited definitions of the current locale; -500 in edit mode.
int32_t defn_count_get(context* ctx, int32_t kind, uint32_t* count);
// The own definitions of a loaded locale.
int32_t defn_count_get_by_locale(context* ctx, int32_t kind, int32_t locale, uint32_t* count);

// The record at a caller's index, for reading under the caller's read hold;
// -800 for an index that names none (message 172 past the inherited list or
// past an ancestor's own array).
int32_t defn_record_get_for_read_in_locale(context* ctx, int32_t kind, int32_t locale, int32_t index,
                                           defn_rec** out);
int32_t defn_record_get_for_read(context* ctx, int32_t kind, int32_t index, defn_rec** out);
// The same, returning holding the shared state's write hold on success, in
// *held (which gives it back; release() ends the change early); on failure
// nothing is held.
int32_t defn_record_get_for_write_in_locale(context* ctx, int32_t kind, int32_t locale, int32_t index,
                                            defn_rec** out, write_hold* held);
int32_t defn_record_get_for_write(context* ctx, int32_t kind, int32_t index, defn_rec** out, write_hold* held);

// The index of a definition by name, ignoring case: the own ones first, then
// the inherited list (outside edit mode) or each ancestor's own ones (in
// edit mode, depth x 256 + position). flags: kDefnNameConvert,
// kDefnAnySurface. *index -1 on failure: -801 (message 174) for an empty
// name, -801 (message 176) for none, -800 (message 175) for one that is not
// surfaced without kDefnAnySurface. The result is the name's positive
// conversion warning, else 0.
int32_t defn_index_get_by_name_in_locale(context* ctx, int32_t kind, const char* name, int32_t locale,
                                         uint32_t flags, int32_t* index);
int32_t defn_index_get_by_name(context* ctx, int32_t kind, const char* name, uint32_t flags, int32_t* index);
// The name (at most 320 bytes, out holds 321), in the session encoding with
// kDefnNameConvert; -701 (message 173) for a definition that is not
// surfaced without kDefnAnySurface.
int32_t defn_name_get_by_index(context* ctx, int32_t kind, int32_t index, uint32_t flags, char* out);

// Appends a definition named `name` (kDefnNameConvert: from the session
// encoding) to the current locale: editable, not valid until a caller sets
// it. *index: the appended record's index (never another record's that a
// case-insensitive lookup would find). -802 (message 174) for an empty name;
// the name rules; nothing is left behind on failure and *index is -1.
int32_t defn_add(context* ctx, int32_t kind, const char* name, uint32_t flags, int32_t* index);
// Appends a copy of the definition named `source` (found among all, not
// surfaced ones too, ancestors included) named `dest`: the common fields,
// the resource lists with one more reference each, the kind part (kind's
// copy hook), the tokens; not comments and layouts. Indices the copy holds
// (its datatype, its parse definition, the kind's held_indices) are rebased
// from the source's index, then the kind's remap hook runs; the
// definitions they name are then those their names find from the copy's
// locale, and users of an ancestor's definition named `dest` take the copy
// (defn_holders_rebind), as the written locale reads back. defn_add does
// the latter too.
// -802 (message 180) for an empty name; dest must pass the name rules
// against every own definition. *index as for defn_add.
int32_t defn_copy(context* ctx, int32_t kind, const char* source, const char* dest, uint32_t flags,
                  int32_t* index);
// Empties the slot (references given back); indices of later definitions
// stay, so no other held index moves. -802 for index -1. Every definition
// of a loaded locale that held an index of it (its parse definition, the
// case definitions of a standardization definition and its tokens, the
// language definition of a locale guess definition: whatever the kinds'
// held_indices hooks list) then holds what its name finds without it (an
// ancestor's definition of that name) or none, as it will after a write
// and a read; one left without a parse definition takes no parsed input
// either. Refused (-705, message 1800) while a definition that cannot be
// read without it names it and nothing else answers to its name.
int32_t defn_unload(context* ctx, int32_t kind, int32_t index);
// A write names what a definition holds and a load finds it by that name
// from the holder's locale (its own definitions first, then its
// ancestors'), so where a name now finds another definition than the one
// held, the held index follows, as it reads back. After a definition of the
// kind took or gave up `name` (an add, a copy, a rename; the store's own
// add, copy and unload do this themselves): every loaded definition that
// holds one answering to it, bound again. Under the write hold.
void defn_holders_rebind(context* ctx, int32_t kind, const char* name);
// For a setter of a held index: -800 (message 1961) when the definition at
// `index` (of the locale of that code's index space) is not the one its name
// finds from there (another of that name comes first), since a write and a
// load would name that one; 0 otherwise, and for an index that names none,
// which the setter checks itself.
int32_t defn_held_index_check(context* ctx, int32_t kind, int32_t locale, int32_t index);
// Every index every loaded definition holds of another definition, bound
// again (after definitions were read into a loaded locale). Under the write
// hold.
void defn_all_rebind(context* ctx);
// An index a definition holds and what it named (a defn_rec, or with
// kHeldDatatype a dtype_rec; NULL for nothing), kept across a change of the
// locale's index space.
struct defn_held_record {
  defn_rec* user;
  int32_t* index;
  int32_t named;
  const void* rec;
};
// Outside edit mode an inherited datatype or definition is counted after
// the locale's own ones, so records appended to a loaded locale (an import)
// move every inherited one its definitions hold. Remember what each own
// definition of the locale holds before (-600 with nothing kept), restore
// after: each index then names the same record, or, where an own one of
// its name now hides it, what that name finds, as a load binds it; one that
// named nothing becomes none. Under the write hold.
int32_t defn_held_remember(context* ctx, loaded_locale_rec* locale, std::vector<defn_held_record>* kept);
void defn_held_restore(context* ctx, loaded_locale_rec* locale, const std::vector<defn_held_record>& kept);
// The first definition of any loaded locale whose datatype is `datatype`;
// NULL when none is (a datatype is then free to go).
const defn_rec* defn_datatype_user(context* ctx, const dtype_rec* datatype);
// Removes the last own definition of the kind from the current locale (a
// failed add taken back); users its add bound to it bind again by name.
int32_t defn_unload_last(context* ctx, int32_t kind);

// Builds a loaded locale's inherited list of the kind from its parent: the
// parent's own definitions whose names (byte-exact) none of the locale's own
// bear, then the parent's inherited ones likewise. Nothing in edit mode or
// without a parent. -600.
int32_t defn_inherited_build(context* ctx, int32_t kind, loaded_locale_rec* locale);

// What the token operations need of a record (krdtok.h): its kind and name,
// its parse definition and its datatype's name and token names (looked up
// in the definition's own locale; none when it has no datatype).
struct defn_token_owner {
  dtok_owner owner;
  const char* datatype_tokens[kDtypeTokensMax];
};
int32_t defn_token_owner_get(context* ctx, const defn_rec* rec, defn_token_owner* out);

// ---- What a definition holds, for its writers ------------------------------------------
// A writer writes what the definition holds, whatever its state, so that the
// reader decides what becomes of it: these never fail and report nothing.
// An index that names nothing any more is taken as none, as the reader
// will take the definition written without it.

// The datatype the definition holds, looked up in its own locale; NULL for
// none.
const dtype_rec* defn_datatype_held(context* ctx, const defn_rec* rec);
// defn_token_owner_get with defn_datatype_held's datatype.
void defn_token_owner_held(context* ctx, const defn_rec* rec, defn_token_owner* out);
// The definition of `kind` that a definition of locale `locale` holds by
// `index`, looked up as a load binds it; NULL for none or an unloaded slot.
const defn_rec* defn_held_get(context* ctx, int32_t kind, int32_t locale, int32_t index);

// Tokens of a definition of a given locale: the count, token i's name (320
// bytes, session encoding), and the datatype key of the token named `name`
// ignoring case (-802, message 86, when none).
int32_t defn_token_count_get_in_locale(context* ctx, int32_t kind, int32_t index, int32_t locale,
                                       uint32_t* count);
int32_t defn_token_name_get_in_locale(context* ctx, int32_t kind, int32_t index, int32_t locale, int32_t token,
                                      char* out);
int32_t defn_token_key_get_by_name_in_locale(context* ctx, int32_t kind, int32_t index, int32_t locale,
                                             const char* name, uint32_t flags, int32_t* key);

// Field-table stores (krfield.h): definitions of the current locale by
// (kind, index), and their tokens by (kind, index, token). A token field set
// raises the version of, and drops what the kind prepared from, the token's
// definition (kDefnTokens names kDefnRecords as its outer store).
extern const record_store kDefnRecords;
extern const record_store kDefnTokens;

// ---- Documents --------------------------------------------------------------------------

// Reads every definition of the kind that a locale document includes (an
// include name the kind's type test accepts) into the loaded locale, under
// the write hold. A definition some step could not read stays in the locale,
// not valid, and reading goes on. -100, -200 or -600 when one stopped it;
// else 105 when any step of any definition reported something; else 0.
int32_t defn_locale_xml_read(context* ctx, int32_t locale, int32_t kind, const xmldoc* doc);
// Whether any own definition of the loaded locale waits to be read again.
bool defn_locale_rereads_pending(const loaded_locale_rec* locale);
// Reads again, in its place, every own definition of the kind in the loaded
// locale that a failure outside its file left unread (defn_rec::reread),
// from the locale's document: the element at the same place among the
// kind's elements (skipped when its name is no longer the record's). The
// caller holds the write hold and has made the locale current. Result as
// for defn_locale_xml_read; a record stopped by a critical code stays
// marked, not valid.
int32_t defn_locale_xml_reread(context* ctx, loaded_locale_rec* locale, int32_t kind, const xmldoc* doc);
// Appends a record of the kind to the loaded locale and reads the common
// part of the definition element into it; *out the record (NULL when the
// append failed). Result as for one definition of defn_locale_xml_read.
int32_t defn_xml_read_common(context* ctx, int32_t locale, int32_t kind, const xmldoc* element, defn_rec** out);
// Adds the whole definition (common part, kind part, tokens, comments and
// layouts) to an element the caller created. The first failure.
int32_t defn_write(context* ctx, xmldoc* element, const defn_rec* rec);
// Creates the definition's element (the kind's element type, version "7.0"),
// fills it with defn_write and includes it in `target` under the kind's root
// type; *written (when given) is the included element. Nothing is included
// on failure.
int32_t defn_element_write(context* ctx, xmldoc* target, const defn_rec* rec, const xmldoc** written = nullptr);
// Reads an element written for `rec` back through the loader's own reader,
// into a record of its own that is freed again, as the next load of the
// written locale will read it: 1 when the reader holds it not valid, with
// why (size bytes) the reader's first failure (or that it is marked
// incomplete); 0 when it reads back valid; a critical code. What the reader
// records is not left in the error list. The caller holds the write hold
// and has made the definition's locale current, as a load does.
int32_t defn_element_read_back(context* ctx, const defn_rec* rec, const xmldoc* element, char* why, size_t size);

// The datatype name a definition's element falls back on when it names
// none: "Name" for identification analysis, what the kind derives from the
// definition's name, else empty (the reader then refuses the datatype).
int32_t defn_datatype_fallback_name(context* ctx, const defn_rec* rec, char* out, uint32_t size);

// Lazy preparation: takes the write hold, runs `held` on `rec` and gives
// the hold back. Under a read hold alone nothing runs: kRcNeedsWriteHold,
// for the frame to run the whole call again under the write hold. The
// result of `held` (also a positive one), else the failure to give the hold
// back.
int32_t defn_run_under_write_hold(context* ctx, defn_rec* rec, int32_t kind, int32_t (*held)(context*, defn_rec*));

}  // namespace tq
