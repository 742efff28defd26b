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

}  // namespace tq
