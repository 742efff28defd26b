// Datatypes: per locale, named lists of the tokens that definitions fill
// (a name, an address ...), with an example, an owner and comments.
//
// A locale's datatypes are a dtype_set: its own records and, outside edit
// mode, the list of those it inherits. Operations that look through the
// ancestors take a dtype_chain, the locale's set followed by its parent's,
// grandparent's ...; the locale store builds the chain from its loaded
// locales, so nothing here needs to know how locales are kept.
//
// Texts are UTF-8 here; the exports convert from and to the session
// encoding before and after.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "kbstore/krfield.h"
#include "kbstore/krindex.h"
#include "kbstore/krxml.h"

namespace tq {

// The type of a datatype's document: any include of a settings document
// holding a document of this type is a datatype to its reader.
inline constexpr const char* kDtypeType = "Datatype";
inline constexpr uint32_t kDtypeNameMax = 320;      // bytes, terminator not counted
inline constexpr uint32_t kDtypeExampleMax = 1024;
inline constexpr uint32_t kDtypeOwnerMax = 320;
inline constexpr uint32_t kDtypeTokenValueMax = 1024;
inline constexpr uint32_t kDtypeTokensMax = 32;
// A locale and at most this many ancestors (the locale table's chains hold
// at most four; the rest is room for settings files that name parents).
inline constexpr uint32_t kDtypeChainMax = 16;

struct dtype_token {
  uint32_t key;  // always the token's position
  char value[kDtypeTokenValueMax + 1];
};

struct dtype_rec {
  char name[kDtypeNameMax + 1];
  char example[kDtypeExampleMax + 1];
  char owner[kDtypeOwnerMax + 1];
  int32_t own_index;  // position in its locale's array; -1 once cleared
  dtype_token* tokens;
  uint32_t token_count;
  uint32_t editable;
  xmldoc* comments;  // owned; NULL for none
};

// An inherited datatype, relative to the locale that lists it: the own
// record at `position` of the ancestor `depth` steps up.
struct dtype_pair {
  uint32_t depth;
  uint32_t position;
};

// Records live in their own allocations, so a record pointer stays valid
// while the array grows.
struct dtype_set {
  dtype_rec** recs;
  uint32_t count;
  uint32_t capacity;
  dtype_pair* inherited;
  uint32_t inherited_count;
};

struct dtype_chain {
  dtype_set* sets[kDtypeChainMax];  // [0] the locale, [1] its parent ...
  uint32_t levels;
};

// Frees every record and the inherited list; the set is empty afterwards.
void dtype_set_free(context* ctx, dtype_set* set);
// Empties name, example and owner, own index -1, frees tokens and comments.
void dtype_clear(context* ctx, dtype_rec* rec);

// ---- Lookup ----------------------------------------------------------------------

// The record a caller's index names in the chain's locale (kb_index_decode;
// edit mode as the context is). -800 (message 167) for no record there,
// -603 (message 166) for an edit-mode index past the last ancestor.
int32_t dtype_record_get(context* ctx, const dtype_chain& chain, int32_t index, dtype_rec** out);
// The same without reporting: NULL where dtype_record_get fails.
dtype_rec* dtype_record_at(context* ctx, const dtype_chain& chain, int32_t index);
// Case-insensitive search of the locale's own datatypes, then of each
// ancestor's own ones in order; -801 (message 170) when none. depth and
// position (when not NULL) tell where it was found.
int32_t dtype_find_by_name(context* ctx, const dtype_chain& chain, const char* name, dtype_rec** out,
                           uint32_t* depth = nullptr, uint32_t* position = nullptr);
// The caller's index of a datatype by name (case-insensitive): the own ones,
// then in edit mode each ancestor's own ones (depth x 256 + position),
// outside it the inherited list (own count + list position). -801 (message
// 170) with *index -1 when none.
int32_t dtype_index_get_by_name(context* ctx, const dtype_chain& chain, const char* name, int32_t* index);
// The caller's index of `rec` in the chain's locale, reporting nothing; when
// the locale does not show it (an own datatype of its name hides it outside
// edit mode), that of the datatype its name finds there, as a load binds
// it. -1 when none.
int32_t dtype_index_rebound(context* ctx, const dtype_chain& chain, const dtype_rec* rec);
// The caller's count outside edit mode: own plus inherited.
uint32_t dtype_count(const dtype_set& set);

// Builds the locale's inherited list from its parent (chain.sets[1]): the
// parent's own datatypes whose names none of the locale's own bear, then
// the parent's inherited ones likewise. Nothing without a parent. -600.
int32_t dtype_inherited_build(context* ctx, const dtype_chain& chain);

// ---- Editing -------------------------------------------------------------------------

// Appends a datatype: name trimmed; -802 (message 165) for an empty name,
// -802 ("'name' is empty.") when only white space; -801 for a name the
// locale has (message 1360) or a comma (1361); in edit mode -601 (message
// 1745) when the locale holds 256 own datatypes. *index: the new position,
// -1 on failure. -600.
int32_t dtype_add(context* ctx, dtype_set* set, const char* name, int32_t* index);
// Renames with the tests of dtype_add against every own datatype of the
// set, the record itself included. The record is unchanged on failure.
int32_t dtype_name_set(context* ctx, dtype_set* set, dtype_rec* rec, const char* name);
// Adds a datatype named dest with the example, owner and tokens of the
// datatype named source, which is found (ancestors included) before dest is
// added, so a dest that differs from it only in case cannot find itself.
// On failure the set is as before and *index is -1.
int32_t dtype_copy(context* ctx, const dtype_chain& chain, const char* source, const char* dest, int32_t* index);

// Texts cut to the field's size between characters (no trimming).
void dtype_example_set(dtype_rec* rec, const char* example);
void dtype_owner_set(dtype_rec* rec, const char* owner);

// The record takes `doc` when it holds at least one record; otherwise the
// comments become none and the caller keeps `doc`. The present comments are
// freed, unless `doc` is they themselves: then nothing changes.
int32_t dtype_comments_set(context* ctx, dtype_rec* rec, xmldoc* doc);

// At 32 tokens -300 (message 164); otherwise an empty token is appended and
// *token its position. -600.
int32_t dtype_token_add(context* ctx, dtype_rec* rec, uint32_t* token);
// The value is trimmed; -800 (message 163) for no such token, -300 for a
// value another token has ignoring case (message 168) or a comma (169).
// A refused value leaves the old one stored.
int32_t dtype_token_value_set(context* ctx, dtype_rec* rec, int32_t token, const char* value);
// -800 for no such token; the later tokens move down and are renumbered.
int32_t dtype_token_delete(context* ctx, dtype_rec* rec, int32_t token);

// ---- Documents ---------------------------------------------------------------------------

// Appends the datatype to `settings` as an inline include "Datatype" of type
// "Datatype", version "7.0". Only negative results are returned.
int32_t dtype_write(context* ctx, const dtype_rec& rec, xmldoc* settings);
// dtype_write for every own datatype of the set that is not cleared.
int32_t dtype_write_all(context* ctx, const dtype_set& set, xmldoc* settings);
// Appends one datatype per include of `settings` whose document has type
// "Datatype", in order; its "Comments" include is taken out of the
// document. A datatype whose tokens repeat a value or hold a comma keeps
// the tokens before and gives -300; reading goes on with the next one. The
// first failure is the result. -600 (message 29).
int32_t dtype_read_all(context* ctx, dtype_set* set, xmldoc* settings);

// ---- The current locale and the exports ------------------------------------------

struct loaded_locale_rec;

// The chain of a loaded locale: its datatypes, then its ancestors'.
// -707 when a parent named by the chain is not loaded any more.
int32_t dtype_locale_chain(context* ctx, loaded_locale_rec* locale, dtype_chain* chain);
// The same for the current locale (-707 when none).
int32_t dtype_current_chain(context* ctx, dtype_chain* chain);

// Field tables: the records of the current locale by the caller's index
// (an item names a token). The bound kind is not looked at.
inline constexpr int32_t kDtypeRecords = 64;
extern const field_desc kDtypeName;
extern const field_desc kDtypeExample;
extern const field_desc kDtypeOwner;
extern const field_desc kDtypeEditable;
extern const field_desc kDtypeTokenCount;
extern const field_desc kDtypeTokenValue;

// Export implementations: texts in and out in the session encoding; setters
// take the shared state's write hold and give it back.
int32_t datatype_count_get(context* ctx, uint32_t* count);
int32_t datatype_count_get_by_locale(context* ctx, int32_t locale, uint32_t* count);
int32_t datatype_index_get_by_name(context* ctx, const char* name, int32_t* index);
int32_t datatype_comments_get(context* ctx, int32_t index, tq_xmldoc** comments);
int32_t datatype_comments_set(context* ctx, int32_t index, tq_xmldoc* comments);
int32_t datatype_name_set(context* ctx, int32_t index, const char* name);
int32_t datatype_token_value_set(context* ctx, int32_t index, int32_t token, const char* value);
int32_t datatype_token_add(context* ctx, int32_t index, int32_t* token_index);
int32_t datatype_token_delete(context* ctx, int32_t index, int32_t token);
int32_t datatype_add(context* ctx, const char* name, int32_t* index);
int32_t datatype_copy(context* ctx, const char* source, const char* dest, int32_t* index);
int32_t datatype_unload(context* ctx, int32_t index);
int32_t datatype_write(context* ctx, tq_xmldoc* xml, int32_t index);

}  // namespace tq
