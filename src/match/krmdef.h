// Match definitions (kind 4): the kind part of a definition record and of
// each of its tokens, the hooks through which the definition store reaches
// them, and their content in the "Rivoruzeduv" element.
//
// A match definition says how the match engine turns a value into match
// codes: preprocessing schemes applied to the whole value, the code length,
// and per token the positions of its value in the code at each of the ten
// sensitivity buckets and the resources that normalise it (krmtres.h). The
// token combination rules are in krmrule.h.
//
// Every resource the parts name is held as one counted registry reference
// (rsrc_ref); an entry whose resource could not be opened is kept unbound
// (empty), so that the definition is written back as it was read and the
// engine skips the entry.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/krcorvel.h"
#include "kbstore/krdcat.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdtok.h"
#include "kbstore/krkind.h"
#include "kbstore/krlib.h"
#include "match/krmrule.h"
#include "parse/krmorph.h"
#include "resources/krregxcat.h"

namespace tq {

inline constexpr const char* kMatchRootType = "Rivoruzeduv";
inline constexpr const char* kMatchRootTypeVertical = "Rivoruzeduv -- Vertical";
inline constexpr const char* kMatchKindName = "Match";

// The ten sensitivity buckets, bucket 0 first; a sensitivity falls into the
// first bucket whose value it reaches, below 50 into the last.
inline constexpr uint32_t kMatchSensCount = 10;
inline constexpr int32_t kMatchSensValues[kMatchSensCount] = {95, 90, 85, 80, 75, 70, 65, 60, 55, 50};
// Positions are 1-based characters of the code, 0 for none.
inline constexpr int32_t kMatchPositionMax = 1024;
inline constexpr uint32_t kMatchCodeLengthMin = 15;
inline constexpr int32_t kMatchRangeLow = 0;
inline constexpr int32_t kMatchRangeHigh = 100;

// Preprocessing-scheme options, as the scheme was opened with them.
inline constexpr uint32_t kMatchSchemeElement = 0x1;
inline constexpr uint32_t kMatchSchemeCaseInsensitive = 0x2;

struct match_scheme_entry {
  rsrc_ref scheme;  // kRsrcScheme; empty when it could not be opened
  uint32_t options = 0;
};

struct match_defn_kind_rec {
  std::vector<match_scheme_entry> schemes;
  // In characters: the largest of 15 and every end position of every token.
  uint32_t code_length = kMatchCodeLengthMin;
  std::vector<match_combination_rule> rules;
  uint32_t include_default = 1;
  // 1 once every token is prepared; written under the write hold, read by
  // match runs under the read hold alone.
  std::atomic<uint32_t> prepared{0};
};

struct match_position {
  int32_t start = 0;
  int32_t end = 0;
};

// A resource that takes part only within a sensitivity range.
struct match_ranged_ref {
  rsrc_ref ref;
  int32_t low = kMatchRangeLow;
  int32_t high = kMatchRangeHigh;
};

// A problem found while reading a token, reported once the definition's
// name is known (the token hooks see only the token).
struct match_read_problem {
  int32_t code;
  int32_t message;
  int32_t number;          // a count the message gives
  std::vector<char> name;  // the resource's name, terminated
};

struct match_token_kind_rec {
  match_position positions[kMatchSensCount];
  std::vector<match_ranged_ref> noise;          // kRsrcVocab
  std::vector<match_ranged_ref> phonetx;        // kRsrcPhonetx
  std::vector<match_ranged_ref> transform;      // kRsrcRegex
  // The analysis options point into the lists below, never copy them:
  // every change of those lists clears "prepared" (token and definition).
  std::unique_ptr<morph_options_rec> morph;
  uint32_t prepared = 0;
  int32_t cat_uppercasing = 1;   // "Automatic Cat Uppercasing"
  int32_t sort_words = 0;        // "Sort Words"
  std::vector<rsrc_ref> norm_cat;                 // "Norm Cat Regexlibs", kRsrcRegex
  std::vector<defn_vocab> vocabularies;           // categorization vocabularies
  std::vector<cat_regexlib_entry*> cat_regexlibs;  // owned
  default_category_list defaults{};               // "Deflt Cat List"
  std::vector<match_read_problem> problems;       // until the definition reports them
};

inline match_defn_kind_rec* match_defn_part(defn_rec* rec) {
  return rec != nullptr && rec->kind == kDefnMatch ? static_cast<match_defn_kind_rec*>(rec->part) : nullptr;
}
inline const match_defn_kind_rec* match_defn_part(const defn_rec* rec) {
  return rec != nullptr && rec->kind == kDefnMatch ? static_cast<const match_defn_kind_rec*>(rec->part) : nullptr;
}
inline match_token_kind_rec* match_token_part(dtok_rec* tok) {
  return tok != nullptr && tok->kind == kDefnMatch ? static_cast<match_token_kind_rec*>(tok->part) : nullptr;
}
inline const match_token_kind_rec* match_token_part(const dtok_rec* tok) {
  return tok != nullptr && tok->kind == kDefnMatch ? static_cast<const match_token_kind_rec*>(tok->part) : nullptr;
}

// The kind's operations, lent to the definition store at context start.
extern const defn_kind_ops kMatchDefnKindOps;

// ---- Hooks (reached through kMatchDefnKindOps) -------------------------------------------

int32_t match_defn_type_matches(context* ctx, const char* include_name);
int32_t match_defn_kind_init(context* ctx, defn_rec* rec);
// "PreProc Schemes", then the combination rules; 105 when either reported.
int32_t match_defn_kind_read(context* ctx, const xmldoc* element, defn_rec* rec);
int32_t match_defn_kind_write(context* ctx, xmldoc* element, const defn_rec* rec);
// Code length, "Include Default", the schemes (one more reference each, an
// unbound one copied unbound) and the rules. On failure the target part
// holds nothing.
int32_t match_defn_kind_copy(context* ctx, const defn_rec* src, defn_rec* dst);
int32_t match_defn_kind_free(context* ctx, defn_rec* rec, int32_t keep_refs);
// After the tokens were read: reports the tokens' read problems with the
// definition's name, sets the code length, and under option bit 22
// prepares the definition.
int32_t match_defn_kind_validate(context* ctx, defn_rec* rec);
// After a copy: the code length from the copied tokens; not prepared.
int32_t match_defn_kind_remap(context* ctx, defn_rec* rec, int32_t source_index);
// Anything that preparation reads changed: definition and tokens unprepared.
void match_defn_invalidate(context* ctx, defn_rec* rec, uint32_t what);

int32_t match_defn_token_init(context* ctx, dtok_rec* tok);
int32_t match_defn_token_write(context* ctx, xmldoc* element, const dtok_rec* tok);

// ---- For the accessors and the engine ------------------------------------------------------

// The code length recomputed: the largest of 15 and every end position of
// every token.
void match_defn_code_length_recompute(defn_rec* rec);
// 0 when 0 <= start <= end <= 1024, else -802.
int32_t match_position_check(int32_t start, int32_t end);
// Clears the definition's and every token's prepared flag.
void match_defn_unprepare(defn_rec* rec);
// Opens a preprocessing scheme by name (UTF-8) with its options into an
// empty entry. The open's failure, the entry then empty. checked: a
// caller's edit, which reads the scheme at once (rsrc_open_checked).
int32_t match_scheme_open(context* ctx, const char* name, uint32_t options, match_scheme_entry* entry, bool checked);

}  // namespace tq
