// The match info object: the caller-owned record of one match run (the
// single-code engine, krmeng.h, and the multicode road, krmmulti.h). It keeps
// every intermediate value: the preprocessed string, the parse's tokens and
// the match definition's (significant) tokens, each token's value after
// every stage and after every resource entry, the words dropped as noise,
// the analysis behind the rule conditions, which rules applied with their
// mappings, and each code before and after encoding with its score and
// duplicate flag.
//
// Per-entry and per-token records are kept per rule slot: the multicode
// road runs the token pipeline once for every rule (slots 0 .. rule count,
// the last the default rule); the single-code road has one slot, 0.
//
// Texts are stored in UTF-8 as the engine made them; the getters convert
// them to the session encoding once, on the way out. Every run that gets an
// info releases what the previous one stored and starts from a cleared
// object, so one info serves any number of runs.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/krcorvel.h"
#include "kbstore/krdefn.h"
#include "parse/krmorph.h"

struct tq_match_info {
  // One resource entry of a token's list, at one rule slot.
  struct entry_slot {
    uint32_t matched = 0;    // the entry changed the value (a noise word dropped, a scheme matched, ...)
    std::string value;       // the value after the entry
    uint32_t all_noise = 0;  // noise vocabularies: the entry left nothing
    std::vector<std::string> filtered;  // noise vocabularies: the words it dropped, in order
  };
  // One entry of a token's list: its records per rule slot.
  using entry = std::vector<entry_slot>;

  // What a token's pipeline gave at one rule slot.
  struct token_slot {
    std::string uppercased;          // after automatic uppercasing and trimming
    uint32_t phonetics_skipped = 0;  // a matched scheme disabled phonetics
  };

  // A token of the match definition (a significant token).
  struct sig_token {
    std::string name;
    std::string value;
    // The token's value after each stage, as the last pipeline run left it.
    std::string normalized;
    std::string noise_filtered;
    std::string standardized;
    std::string transformed;
    std::string phonetic;
    uint32_t all_noise = 0;  // every word was noise: the normalized value was kept
    std::vector<token_slot> slots;  // per rule slot
    // Per entry of the token's lists, in definition order.
    std::vector<entry> normalization;   // "Regexlibs"
    std::vector<entry> noise;           // "Noise Vocabs"
    std::vector<entry> schemes;         // "Stdz Schemes"
    std::vector<entry> transformation;  // "Transformation Regexlibs"
    std::vector<entry> phonetics;       // "PhonetX Libs"
    // The rule analysis: the token's words as chopped, and the morphological
    // analysis (owned here, freed with the info).
    std::vector<std::string> words;
    tq::morph_analyzer_info* morph = nullptr;
  };

  // A parse token (what the parse gave, in its own order).
  struct token {
    std::string name;
    std::string value;
  };

  // A code the run produced.
  struct code_record {
    std::string unencoded;
    std::string encoded;
    double score = 0.0;
    uint32_t duplicate = 0;
  };

  // A rule slot: whether it applied, its weight, and its mapping (for each
  // token position, the token whose value went there, -1 for none).
  struct rule_slot {
    uint32_t matched = 0;
    double score = 100.0;
    std::array<int32_t, 32> mapping;  // filled with -1 when the slot is made
  };

  // Preprocessing.
  std::vector<uint32_t> preproc_matched;  // per preprocessing scheme
  std::vector<std::string> preproc_strings;
  std::string preprocessed;

  std::vector<token> tokens;
  std::vector<sig_token> sig_tokens;
  uint32_t exact_match = 0;  // whole-value codes were produced

  std::vector<rule_slot> rules;  // rule count + 1 (1 in the single-code road)
  uint32_t default_used = 0;
  uint32_t output_count = 0;
  std::vector<code_record> codes;  // one per rule slot, and one more

  tq_match_info() = default;
  // The morph infos are owned: an info is never copied.
  tq_match_info(const tq_match_info&) = delete;
  tq_match_info& operator=(const tq_match_info&) = delete;
  ~tq_match_info();
};

namespace tq {

using match_info = ::tq_match_info;

// Releases everything a run stored (morph infos included) and leaves the
// object as `init` made it: no counts, no flags, an empty preprocessed
// string.
void match_info_clear(match_info* info);
// The per-scheme preprocessing records of a definition with `count`
// preprocessing schemes: flags 0, strings empty. -600.
int32_t match_info_preproc_alloc(match_info* info, uint32_t count);
// Everything else, for `token_count` parse tokens and `sig_count` tokens of
// the match definition `rec` (at most its token count), with `rule_slots`
// rule slots (1 in the single-code road, rule count + 1 in the multicode
// road): every text empty, flags 0, rule scores 100.0, code scores 0.0,
// mappings -1, each token's entry lists sized from the definition's token
// lists, one morph info per significant token. -600.
int32_t match_info_arrays_alloc(match_info* info, const defn_rec* rec, uint32_t token_count, uint32_t sig_count,
                                uint32_t rule_slots);

// ---- Export implementations (tables/match_info.def) ----------------------------------

int32_t match_info_init(context* ctx, match_info** info);
// NULL is accepted (0).
int32_t match_info_free(context* ctx, match_info* info);

// The getters. Each sets its outs to their defaults first (0; an empty text;
// 100.0 for scores; -1 for positions; NULL for the morph info) and gives
// -800 for any index out of range with the outs left so. Texts go out in the
// session encoding, at most 1,028 bytes with the terminator (codes at most
// 1,024 bytes of text). Families of like getters share one implementation;
// the table rows bind the field below. t counts significant tokens, e entries
// of the token's list, r rule slots, w filtered words.

// Whole-object counts.
enum match_info_count : uint32_t {
  kMatchInfoPreprocSchemes,
  kMatchInfoTokens,
  kMatchInfoSigTokens,
  kMatchInfoRuleSlots,
};
int32_t match_info_count_get(context* ctx, match_info_count which, match_info* info, uint32_t* count);

// A parse token's text (token index).
using match_info_token_text = std::string match_info::token::*;
inline constexpr match_info_token_text kMatchInfoTokenName = &match_info::token::name;
inline constexpr match_info_token_text kMatchInfoTokenValue = &match_info::token::value;
int32_t match_info_token_text_get(context* ctx, match_info_token_text field, match_info* info, int32_t token,
                                  char* value);

// A significant token's text.
using match_info_sig_text = std::string match_info::sig_token::*;
inline constexpr match_info_sig_text kMatchInfoSigName = &match_info::sig_token::name;
inline constexpr match_info_sig_text kMatchInfoSigValue = &match_info::sig_token::value;
inline constexpr match_info_sig_text kMatchInfoSigNormalized = &match_info::sig_token::normalized;
inline constexpr match_info_sig_text kMatchInfoSigNoiseFiltered = &match_info::sig_token::noise_filtered;
inline constexpr match_info_sig_text kMatchInfoSigStandardized = &match_info::sig_token::standardized;
inline constexpr match_info_sig_text kMatchInfoSigPhonetic = &match_info::sig_token::phonetic;
int32_t match_info_sig_text_get(context* ctx, match_info_sig_text field, match_info* info, int32_t t, char* value);

// A significant token's resource list: its entry count, whether any entry
// matched at any rule slot, and one entry's flag and value at slot r.
using match_info_list = std::vector<match_info::entry> match_info::sig_token::*;
inline constexpr match_info_list kMatchInfoNormalization = &match_info::sig_token::normalization;
inline constexpr match_info_list kMatchInfoNoise = &match_info::sig_token::noise;
inline constexpr match_info_list kMatchInfoSchemes = &match_info::sig_token::schemes;
inline constexpr match_info_list kMatchInfoTransformation = &match_info::sig_token::transformation;
inline constexpr match_info_list kMatchInfoPhonetics = &match_info::sig_token::phonetics;
int32_t match_info_list_count_get(context* ctx, match_info_list list, match_info* info, int32_t t, uint32_t* count);
int32_t match_info_list_any_get(context* ctx, match_info_list list, match_info* info, int32_t t, uint32_t* value);
int32_t match_info_list_entry_get(context* ctx, match_info_list list, match_info* info, int32_t t, int32_t e,
                                  int32_t r, uint32_t* matched, char* value);

// A code record's text (rule slot r).
using match_info_code_text = std::string match_info::code_record::*;
inline constexpr match_info_code_text kMatchInfoUnencoded = &match_info::code_record::unencoded;
inline constexpr match_info_code_text kMatchInfoEncoded = &match_info::code_record::encoded;
int32_t match_info_code_text_get(context* ctx, match_info_code_text field, match_info* info, int32_t r,
                                 char* value);

// The rest, one each.
int32_t match_info_exact_match_flag_get(context* ctx, match_info* info, uint32_t* flag);
int32_t match_info_preproc_string_get(context* ctx, match_info* info, char* value);
int32_t match_info_any_preproc_scheme_matched_get(context* ctx, match_info* info, uint32_t* value);
int32_t match_info_preproc_string_get_per_scheme(context* ctx, match_info* info, int32_t scheme, uint32_t* matched,
                                                 char* value);
int32_t match_info_encoded_string_isdup_get(context* ctx, match_info* info, int32_t r, uint32_t* value);
int32_t match_info_string_score_get(context* ctx, match_info* info, int32_t r, double* value);
int32_t match_info_match_uppercased_token_value_get(context* ctx, match_info* info, int32_t t, int32_t r,
                                                    char* value);
int32_t match_info_filtered_word_count_get_per_vocab(context* ctx, match_info* info, int32_t t, int32_t e,
                                                     int32_t r, uint32_t* value);
int32_t match_info_filtered_word_get_per_vocab(context* ctx, match_info* info, int32_t t, int32_t e, int32_t r,
                                               int32_t w, char* value);
int32_t match_info_token_all_noise_flag_get(context* ctx, match_info* info, int32_t t, uint32_t* flag);
int32_t match_info_token_all_noise_flag_get_per_vocab(context* ctx, match_info* info, int32_t t, int32_t e,
                                                      int32_t r, uint32_t* flag);
// The token's own morph info, still owned by the match info.
int32_t match_info_morph_analyzer_info_get(context* ctx, match_info* info, int32_t t,
                                           morph_analyzer_info** morph);
int32_t match_info_token_rule_info_get(context* ctx, match_info* info, int32_t r, uint32_t* matched,
                                       double* score);
// Any of rule slots 0 .. count - 2 applied; the last slot (the default) applied.
int32_t match_info_any_token_rule_matched_get(context* ctx, match_info* info, uint32_t* nondefault_matched,
                                              uint32_t* default_matched);
// The token whose value took token t's positions at rule slot r; -1 for none.
int32_t match_info_position_get(context* ctx, match_info* info, int32_t r, int32_t t, int32_t* replace);

}  // namespace tq
