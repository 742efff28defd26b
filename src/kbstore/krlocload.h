// Loading and unloading locales, and the queries on loaded locales. A
// locale is loaded with its ancestors (parent first), kept in the shared
// state as a reference-counted record, and made current for the loading
// context.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "core/krzel.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdtyp.h"
#include "kbstore/krlocp.h"
#include "kbstore/krlock.h"

namespace tq {

struct lock_handle;

// What a load reads, in this order.
inline constexpr uint32_t kLoadDatatypes = 0x2;
inline constexpr uint32_t kLoadPatternDefns = 0x200;
inline constexpr uint32_t kLoadCaseDefns = 0x80;
inline constexpr uint32_t kLoadParseDefns = 0x4;
inline constexpr uint32_t kLoadIdentDefns = 0x8;
inline constexpr uint32_t kLoadStdznDefns = 0x10;
inline constexpr uint32_t kLoadGenderDefns = 0x20;
inline constexpr uint32_t kLoadMatchDefns = 0x40;
inline constexpr uint32_t kLoadLanguageDefns = 0x800;
inline constexpr uint32_t kLoadGuessDefns = 0x100;
inline constexpr uint32_t kLoadExtractDefns = 0x400;
inline constexpr uint32_t kLoadAllParts = kLoadDatatypes | kLoadPatternDefns | kLoadCaseDefns | kLoadParseDefns |
                                          kLoadIdentDefns | kLoadStdznDefns | kLoadGenderDefns | kLoadMatchDefns |
                                          kLoadLanguageDefns | kLoadGuessDefns | kLoadExtractDefns;

struct loaded_locale_rec {
  int32_t code;  // -1 marks a free record
  char iso[kLocaleIsoSize];
  char description[kLocaleDescriptionSize];
  uint32_t encoding;      // 13 at creation
  uint32_t refs;             // child records naming it as parent, plus client loads
  sharer_loads client_refs;  // the part of refs that client loads hold (its
                             // total), per open context that made them and
                             // left by closed ones
  int32_t parent;         // index of the parent's record, -1 for none
  uint32_t parts;         // the load flags of the parts read into it
  dtype_set datatypes;    // own datatypes and, outside edit mode, the inherited list
  defn_set defns[kDefnKindCount + 1];  // by kind number; [0] unused
  // What its settings file was read from (the lock ref of an edit load, or
  // of one that took it loaded already, and the version read), which
  // decides tq_locale_write and every taking of the file again.
  file_read read;
  // The head's properties of that file the writer does not make (its
  // vault object name and description), which a write keeps; NULL when it
  // had none. Owned.
  xmldoc* head_kept;
};

// The loaded locales of a shared state. Records live in their own
// allocations, so a record pointer stays valid while the array grows.
struct locale_table_loaded {
  loaded_locale_rec** recs;
  uint32_t count;
};

// Loads the locale of an ISO code with its ancestors and makes it current.
// nested: 0 for a client's load, 1 for a parent's. 0, 104 when something
// could not be read, or the failure.
int32_t locale_load(context* ctx, const char* iso, uint32_t flags, lock_handle* lock, uint32_t nested,
                    int32_t* code_out);
// Gives back one of this context's client loads of a loaded locale or, when
// it holds none, one that a closed context left. A locale of which the
// context holds no load and closed contexts left none (loaded only as
// another's parent, or only by other open contexts) is left as it is, and
// the answer is 0, as for a locale not loaded at all.
int32_t locale_client_unload(context* ctx, int32_t code, lock_handle* lock);
// Reads into a loaded locale what the mask selects of a locale document, in
// the order of the mask bits above: the datatypes, then each kind's
// definitions, each followed by its list of inherited ones. The caller holds
// the write hold and has made the locale current (definitions look their
// datatype up in the current locale). A kind this engine does not read yet
// is skipped, or with report_unbuilt recorded (message 1701) as 105. A
// critical result stops the reading and is returned; otherwise the last
// nonzero result, or 0. The document's datatype comments are taken out of it.
int32_t locale_parts_read(context* ctx, loaded_locale_rec* rec, xmldoc* doc, uint32_t mask,
                          int32_t report_unbuilt);
int32_t loaded_locale_rec_create(context* ctx, uint32_t* index);
// Reads into a loaded locale the parts `flags` asks for that it was not
// loaded with (its parts lack), from its document, as a load of them reads
// them (locale_parts_read), the locale current meanwhile: what its
// definitions hold still names the same records, and the definitions
// already loaded that name what was read bind it. A critical failure takes
// everything the read appended out again (unloaded slots) and leaves the
// parts as they were, and is returned; otherwise the read's result. Nothing
// to read: 0. Under the write hold; for an edit load of a locale already
// loaded, whose write keeps only what it read or the file held.
int32_t locale_parts_missing_read(context* ctx, loaded_locale_rec* rec, xmldoc* doc, uint32_t flags);
// The load flag that reads the part of a kind (0: the datatypes), with
// *name (when given) the flag's name as tq.h spells it; 0 and NULL for a
// kind no flag reads.
uint32_t locale_part_flag(int32_t kind, const char** name = nullptr);

// What a definition of the loaded locale `code` names (kind 0 a datatype,
// else a definition of that kind) and could not find because the locale was
// loaded without that part: its load flag's name as tq.h spells it
// ("TQ_LOAD_PARSE_DEFNS"), with *what the thing named ("parse
// definition"). NULL when the part was read (the name is then simply
// unknown) or the locale is not loaded.
const char* locale_part_unloaded(context* ctx, int32_t code, int32_t kind, const char** what);
void loaded_locales_free(context* ctx, locale_table_loaded* table);

// Queries on loaded locales; -707 for a locale of the table that is not
// loaded (or no current locale), -802 for a code outside the table.
int32_t locale_current_rec_get(context* ctx, loaded_locale_rec** rec);
// The _locked queries answer 0 holding the write hold, in *held (the
// record found under it); on failure nothing is held.
int32_t locale_current_rec_get_locked(context* ctx, loaded_locale_rec** rec, write_hold* held);
int32_t locale_select(context* ctx, int32_t code);
// Keeps the context's current locale (index and code) as it is while a
// step makes others current, and puts it back exactly when it goes, on
// every path: never through the locale's record, which may be gone
// (another context gave back its last load) or never was.
class current_locale_kept {
 public:
  explicit current_locale_kept(context* ctx)
      : ctx_(ctx), index_(ctx->current_locale), code_(ctx->current_locale_code) {}
  ~current_locale_kept() {
    ctx_->current_locale = index_;
    ctx_->current_locale_code = code_;
  }
  current_locale_kept(const current_locale_kept&) = delete;
  current_locale_kept& operator=(const current_locale_kept&) = delete;
  int32_t code() const { return code_; }

 private:
  context* ctx_;
  int32_t index_;
  int32_t code_;
};
int32_t locale_index_get(context* ctx, int32_t code, uint32_t* index);
int32_t locale_rec_get(context* ctx, int32_t code, loaded_locale_rec** rec);
int32_t locale_rec_get_locked(context* ctx, int32_t code, loaded_locale_rec** rec, write_hold* held);
int32_t locale_rec_get_by_index(context* ctx, uint32_t index, loaded_locale_rec** rec);
int32_t locale_rec_get_by_index_locked(context* ctx, uint32_t index, loaded_locale_rec** rec, write_hold* held);

// Export implementations.
int32_t zel_locale_load(context* ctx, int32_t locale, uint32_t flags);
int32_t zel_locale_load_edit(context* ctx, int32_t locale, uint32_t flags, lock_handle* lock);
int32_t zel_locale_unload(context* ctx, int32_t locale);
int32_t zel_locale_unload_edit(context* ctx, int32_t locale, lock_handle* lock);
int32_t locale_set(context* ctx, int32_t locale);
int32_t locale_get(context* ctx, int32_t* locale);
int32_t parent_locale_get(context* ctx, int32_t locale, int32_t* parent);

}  // namespace tq
