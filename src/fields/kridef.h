// Identification definitions (kind 3): the kind part of a definition record
// (identity values, known identities, categorization libraries, identity
// patterns with their grammars and optimization parameters), its document
// form inside the "Dovirizered" element, the hooks through which the
// definition store reaches it, and the small operations the accessors use
// to change it.
//
// A definition has a format level: 5 ("Dovirizered"), 7 ("Dovirizered V7")
// or 8 ("Dovirizered V8"). Below 8 one "Grammar" property and one block of
// optimization parameters serve every pattern; at 8 each pattern row names
// its own. The level also decides how the engine runs (krident.h), so
// raising it by an edit changes results on purpose.
//
// Binding (krident.h) is lazy: the first run fills the analysis options and
// gets a parser per pattern under the write hold. Every change to what
// binding read clears the bound flag, also when the change then fails, so
// the next run binds again and never uses a parser of a grammar given back.
//
// The whole definition is written by defn_element_write (kbstore/krdefn.h):
// the element's type is the versioned one ("Dovirizered V7"/"V8"), the
// include that holds it the plain root type "Dovirizered", for the locale
// writer and the definition's own write export alike.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/krcorvel.h"
#include "kbstore/krdcat.h"
#include "kbstore/krdefn.h"
#include "kbstore/krkind.h"
#include "kbstore/krlib.h"
#include "parse/krmorph.h"
#include "parse/kroptp.h"
#include "parse/krparser.h"
#include "resources/krregxcat.h"

namespace tq {

inline constexpr const char* kIdentRootType = "Dovirizered";
inline constexpr const char* kIdentTypeV7 = "Dovirizered V7";
inline constexpr const char* kIdentTypeV8 = "Dovirizered V8";
inline constexpr const char* kIdentTypeVertical = "Dovirizered -- Vertical";
inline constexpr const char* kIdentTypeV8Vertical = "Dovirizered V8 -- Vertical";

inline constexpr uint32_t kIdentLevel5 = 5;
inline constexpr uint32_t kIdentLevel7 = 7;
inline constexpr uint32_t kIdentLevel8 = 8;

// Sizes with the terminator: an identity value text or category name holds
// at most 128 bytes, a description 1,024; cuts fall between characters.
inline constexpr uint32_t kIdentValueSize = 129;
inline constexpr uint32_t kIdentDescSize = 1025;
// A level-8 definition read without a "Grammar" column: a warning record
// with this code (and message 200); the patterns then have no grammar.
inline constexpr int32_t kIdentWarnNoGrammar = 200;
// Pattern options: bit 0 set for the search type "Phrase".
inline constexpr uint32_t kIdentPhrase = 0x1;
// Known-identity flags: bit 1 "Case Insensitive" (the scheme's match option).
inline constexpr uint32_t kIdentCaseInsensitive = 0x2;

struct ident_value_rec {
  char desc[kIdentDescSize];
  char value[kIdentValueSize];
  int32_t dflt;  // nonzero: the default value
};

struct ident_known_rec {
  int32_t value = -1;  // identity value index, -1 none
  rsrc_ref scheme;     // kRsrcScheme; empty for none
  uint32_t flags = 0;  // kIdentCaseInsensitive
};

struct ident_pattern_rec {
  char root_name[kIdentValueSize] = {};
  char sought_name[kIdentValueSize] = {};
  int32_t root_index = -1;    // in the pattern's grammar; set by binding and reading
  int32_t sought_index = -1;
  rsrc_ref grammar;           // kRsrcGrammar; empty for none
  uint32_t position = 0;      // the pattern's index when read or added
  uint32_t options = 0;       // kIdentPhrase
  int32_t value = -1;         // identity value index, -1 none
  int32_t weight = 0;
  uint32_t stop = 0;          // 0 or 1
  parser_rec* parser = nullptr;  // one cache reference, made by binding
  parse_opt_params opt{};
};

struct ident_defn_kind_rec {
  uint32_t level = 0;
  std::vector<ident_value_rec> values;
  std::vector<ident_known_rec> known;
  std::vector<cat_regexlib_entry*> cat_regexlibs;  // owned
  std::vector<ident_pattern_rec> patterns;
  std::unique_ptr<morph_options_rec> morph;  // filled by binding
  // 1 after binding. Written under the write hold, read by runs under the
  // read hold alone: atomic, published after everything binding filled.
  std::atomic<uint32_t> bound{0};
};

inline ident_defn_kind_rec* ident_defn_part(defn_rec* rec) {
  return rec != nullptr && rec->kind == kDefnIdent ? static_cast<ident_defn_kind_rec*>(rec->part) : nullptr;
}
inline const ident_defn_kind_rec* ident_defn_part(const defn_rec* rec) {
  return rec != nullptr && rec->kind == kDefnIdent ? static_cast<const ident_defn_kind_rec*>(rec->part) : nullptr;
}

// The kind's operations, lent to the definition store at context start.
extern const defn_kind_ops kIdentDefnKindOps;

// ---- Hooks ----------------------------------------------------------------------------------

// 1 when the include name begins with "Dovirizered".
int32_t ident_defn_type_matches(context* ctx, const char* include_name);
int32_t ident_defn_kind_init(context* ctx, defn_rec* rec);
// 0; 105 when any step reported something (the definition is then not
// valid for every error); -100 or -600 stop the read.
int32_t ident_defn_kind_read(context* ctx, const xmldoc* element, defn_rec* rec);
int32_t ident_defn_kind_write(context* ctx, xmldoc* element, const defn_rec* rec);
// Deep copy with one more reference per scheme and grammar; unbound.
int32_t ident_defn_kind_copy(context* ctx, const defn_rec* src, defn_rec* dst);
int32_t ident_defn_kind_free(context* ctx, defn_rec* rec, int32_t keep_refs);
// The versioned element type by level.
const char* ident_defn_element_type(const defn_rec* rec);
// Any drop bit clears the bound flag.
void ident_defn_invalidate(context* ctx, defn_rec* rec, uint32_t what);

// ---- Record operations ------------------------------------------------------------------------

// The value whose text equals `text` byte for byte; -1 when none.
int32_t ident_defn_value_index_by_text(const ident_defn_kind_rec* part, const char* text);
// The list preprocessing runs: the preprocessing libraries above level 5,
// else the normalization libraries.
const std::vector<rsrc_ref>& ident_defn_preproc_list(const defn_rec* rec, const ident_defn_kind_rec* part);
// Raises the level to 8 (the "change epilogue"'s first step).
inline void ident_defn_level_raise(ident_defn_kind_rec* part) {
  if (part->level < kIdentLevel8) part->level = kIdentLevel8;
}
inline void ident_defn_unbind(ident_defn_kind_rec* part) { part->bound.store(0, std::memory_order_release); }

// The changes below take UTF-8 texts, change the record as given (the
// caller holds the write hold) and clear the bound flag whenever they
// changed anything, failures included. Texts are cut to their sizes between
// characters. Name-not-found results are -801.

// Appends a value; -802 for an empty value text.
int32_t ident_defn_value_add(ident_defn_kind_rec* part, const char* value, const char* desc, uint32_t dflt);
void ident_defn_values_delete_all(ident_defn_kind_rec* part);

// Known identity at `known` (add: known < 0 appends). The scheme is opened
// with the options as match options before the old one is given back; a
// known identity whose scheme already has that name and those options keeps
// it. The value index is looked up from the identity text: -801 when no
// value has it (the change stays). An add that fails to open the scheme
// adds nothing. -802 for an empty scheme or identity.
int32_t ident_defn_known_set(context* ctx, ident_defn_kind_rec* part, int32_t known, const char* scheme,
                             uint32_t options, const char* identity);
int32_t ident_defn_known_delete_all(context* ctx, ident_defn_kind_rec* part);

// Pattern at `pattern` (add: pattern < 0 appends). An unchanged grammar
// name keeps its reference; another is opened before the old one is given
// back. -802 for an empty grammar name or a root or sought category the
// grammar lacks; -801 for an identity text that names no value. A failed
// add leaves no pattern behind; a failed set keeps what it changed (and
// the definition unbound).
int32_t ident_defn_pattern_set(context* ctx, ident_defn_kind_rec* part, int32_t pattern, const char* grammar,
                               const char* root_cat, const char* sought_cat, uint32_t options, const char* id_val,
                               int32_t weight, uint32_t stop);
// Releases every pattern's parser and grammar, as freeing does.
int32_t ident_defn_patterns_delete_all(context* ctx, ident_defn_kind_rec* part);
// The pattern's grammar by name (opened first, then the old one given
// back); category indices are left to binding. -800 out of range.
int32_t ident_defn_pattern_grammar_set(context* ctx, ident_defn_kind_rec* part, int32_t pattern,
                                       const char* grammar);

// Takes over `entry` (allocated with new); -600 with the entry freed.
int32_t ident_defn_cat_regexlib_append(context* ctx, ident_defn_kind_rec* part, cat_regexlib_entry* entry);
int32_t ident_defn_cat_regexlib_delete_all(context* ctx, ident_defn_kind_rec* part);

}  // namespace tq
