// The match engine: a value, or tokens a caller parsed, turned into match
// codes under a match definition (kind 4, krmdef.h), one code per requested
// sensitivity. Codes are fixed-length texts, equal for values the
// definition considers the same at that sensitivity.
//
// A run: the definition is prepared on first use; the outputs are
// pre-filled with '$' so a failed call never leaves stale text; the value
// goes through the preprocessing schemes and the parse definition; the
// parse's slots are rearranged into one slot per match token; then, per
// sensitivity, every token's value runs through its pipeline
// (uppercasing and trimming, normalization regex libraries, noise words,
// standardization schemes in element mode with upper-case output,
// transformation regex libraries, phonetics) and is placed at the token's
// positions for that sensitivity's bucket. A parse without a solution gives
// whole-value codes instead. Codes are encoded through a fixed code-point
// table that is the identity: codes clients have stored stay valid from one
// build to the next and survive every session encoding.
//
// Each context has one work area; the engine is not re-entrant on it. Texts
// are UTF-8 in 1,025-byte buffers (1,028 where a resource may write that
// much). Once warm, a run without a match info allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/krcorvel.h"
#include "core/krvec.h"
#include "kbstore/krdefn.h"
#include "match/krmdef.h"
#include "match/krminfo.h"
#include "parse/krparse.h"
#include "resources/krsch.h"

namespace tq {

inline constexpr uint32_t kMatchTextSize = 1025;     // a text and its terminator
inline constexpr uint32_t kMatchTextMax = 1024;
inline constexpr uint32_t kMatchBufferSize = 1028;   // what a regex library or a phonetics run may write
inline constexpr uint32_t kMatchCodeMax = 256;       // code points of a code
inline constexpr uint32_t kMatchNone = 0xFFFF;       // no position
inline constexpr uint32_t kMatchMempoolKilobytes = 512;

struct match_work_area {
  parse_token_slot parsed[kParseSlots];  // the parse's output, by datatype key
  parse_token_slot tokens[kParseSlots];  // one per token of the match definition
  scheme_pool pool;                      // output blocks of scheme applications
  uint32_t ready;                        // the pool is initialised
  mempool memory;                        // the multicode road's analysed word lists
  char input[kMatchTextSize];            // the working copy of the value
  uint32_t depth;                        // runs in progress on this area (0 or 1)
  std::vector<unsigned char> kept;       // caller bytes a run may have to put back (caller_keep)
};

// The context part: made on the first match (-600), freed at teardown;
// match_work_area_get (match/krmtctx.h) obtains it.
int32_t match_work_area_create(context* ctx);
void match_work_area_free(context* ctx);

// A run's claim on its work area for its lifetime. The engine is not
// re-entrant on it (a scheme keyed by match codes must never reach it while
// a run is under way): a nested claim is refused, before it touches anything.
class match_area_hold {
 public:
  explicit match_area_hold(match_work_area* area) : area_(area), ok_(area->depth == 0) { ++area_->depth; }
  ~match_area_hold() { --area_->depth; }
  match_area_hold(const match_area_hold&) = delete;
  match_area_hold& operator=(const match_area_hold&) = delete;
  // 0, or -603 (message 57) when the area was already running.
  int32_t refused(context* ctx) const;

 private:
  match_work_area* area_;
  bool ok_;
};

// The caller's code buffers (and counts) as a run found them, kept while
// the run may still be refused the write hold (it reads, and holds no write
// hold) and put back when it was. The pre-fill comes once the definition is
// prepared, but a later step may still be refused (a resource loaded on
// first use, the parse definition prepared): the run again may then fail
// before its own pre-fill (the locale unloaded in between), and must find
// the buffers as a single-threaded call failing there leaves them. Kept in
// the work area, so that once warm a run allocates nothing; under the
// write hold nothing is kept.
class caller_keep {
 public:
  caller_keep(context* ctx, match_work_area* area);
  ~caller_keep();
  caller_keep(const caller_keep&) = delete;
  caller_keep& operator=(const caller_keep&) = delete;
  // Keeps `size` bytes at `at` before the run first writes them: 0, or
  // -600 when the store cannot grow.
  int32_t keep(void* at, size_t size);

 private:
  context* ctx_;
  std::vector<unsigned char>* store_;
  size_t mark_;
  bool active_;
};

// -802 (message 57) for more caller slots than 32, else 0.
int32_t match_slot_count_check(context* ctx, uint32_t count);

// ---- Building blocks (shared with the multicode road) ----------------------------------

// The bucket of a sensitivity: the first i with sens >= 95 - 5i, else 9.
uint32_t match_sens_bucket(uint32_t sensitivity);
// Token `token`'s 0-based start and end at that sensitivity's bucket, or
// kMatchNone for either side that is unset, above 256, or when start > end.
// -802 for a missing definition or token.
int32_t match_token_position_get(const defn_rec* rec, uint32_t sensitivity, uint32_t token, uint32_t* start,
                                 uint32_t* end);

// The prepared, usable definition: -704/-705, or preparation's failure.
int32_t match_defn_ready(context* ctx, defn_rec* rec);
// The '$' pre-fill of an output of a definition with that code length:
// min(length, 256) x 4 bytes of '$', terminated, encoded.
void match_code_prefill(char* out, uint32_t code_length);
// The bytes that pre-fill writes, terminator included: what a code of that
// length may take of its output.
uint32_t match_code_prefill_size(uint32_t code_length);

// A value on its way to codes, after preprocessing and parsing.
struct match_prepared {
  uint32_t no_solution = 0;  // the parse gave 101 or 102: the call ends with 101
  uint32_t whole_value = 0;  // ... and there are no NoSol tokens: whole-value codes of area->input
};
// Steps shared by both roads once the outputs are pre-filled: the info (if
// any) cleared and its preprocessing records made; the value copied into
// area->input; the preprocessing schemes (message 130 on failure); without
// a parse definition the whole value in match slot 0; otherwise the parse,
// and either the whole-value case (area->input uppercased with the current
// locale's special casing) or the match slots filled from the parse. With
// an info, its token lists and per-token arrays are made for `rule_slots`
// rule slots and filled. A negative code, else 0.
int32_t match_value_prepare(context* ctx, defn_rec* rec, match_work_area* area, const char* input,
                            match_info* info, uint32_t rule_slots, match_prepared* out);
// The same for a caller's slots (at most 32, values UTF-8; -802 above 32):
// no preprocessing (the info's preprocessed string empty), no parse; the
// match slots filled from the caller's; the info's lists made and filled.
int32_t match_parsed_prepare(context* ctx, defn_rec* rec, match_work_area* area, const parse_token_slot* slots,
                             uint32_t count, match_info* info, uint32_t rule_slots);

// Automatic uppercasing (when the token asks for it) and trimming of one
// token's value in place (kMatchTextSize bytes); recorded as the token's
// uppercased value at rule slot `slot`.
int32_t match_token_uppercase(context* ctx, const defn_rec* rec, uint32_t token, char* value, match_info* info,
                              uint32_t slot);
// The rest of the pipeline on one token's value at one sensitivity, in
// place (kMatchBufferSize bytes): normalization regex libraries, noise words,
// standardization schemes, transformation regex libraries, phonetics.
// Entries out of the sensitivity's range and unbound entries leave the value
// as it is. Every value and flag is recorded at rule slot `slot`; the
// token-level values (normalized, noise-filtered, ...) too. A resource's
// negative code.
int32_t match_token_pipeline(context* ctx, const defn_rec* rec, uint32_t token, uint32_t sensitivity, char* value,
                             match_info* info, uint32_t slot);

// A code under construction: 256 code points and room for the terminator.
struct match_code {
  char32_t points[kMatchCodeMax + 1];
};
// Every position a space.
void match_code_clear(match_code* code);
// Places a value at 0-based positions start..end when position start still
// holds a space: its code points from start on (an undecodable byte as '?')
// until the range is full or the value ends, the rest of the range spaces.
// Nothing when start or end is kMatchNone or start already holds something.
void match_code_place(match_code* code, uint32_t start, uint32_t end, const char* value);
// The code cut at the code length (256 at most) as UTF-8 into out
// (kMatchTextSize bytes), not yet encoded.
void match_code_text(const match_code* code, uint32_t code_length, char* out);

// Encodes a UTF-8 code text in place through the code-point table; the
// bytes written (0 for NULL).
uint32_t match_encode(char* text);
// The whole-value code of a UTF-8 text: uppercased with the current
// locale's casing (root casing when there is none), white space dropped,
// cut at `length` code points (a length above 256 as 256), padded with
// spaces unless no_pad, encoded. out holds length x 4 + 1 bytes (at most
// 1,025). -802 for length 0; the casing's failure.
int32_t match_exact_code(context* ctx, uint32_t length, const char* text, char* out, uint32_t no_pad);

// ---- The single-code road ----------------------------------------------------------------

// codes[i] holds min(code length, 256) x 4 + 1 bytes; with convert 1
// (kStrioConvert) codes go out in the session encoding. 0, 101 (whole-value
// codes, or a parse without solution), or a negative code.
int32_t match_engine_run(context* ctx, defn_rec* rec, match_work_area* area, const char* input,
                         const uint32_t* sens, uint32_t count, uint32_t convert, char* const* codes,
                         match_info* info);
// From a caller's slots (UTF-8): -702 when the definition does not allow
// parsed input; 0 or a negative code.
int32_t match_engine_run_parsed(context* ctx, defn_rec* rec, match_work_area* area, const parse_token_slot* slots,
                                uint32_t slot_count, const uint32_t* sens, uint32_t count, uint32_t convert,
                                char* const* codes, match_info* info);

// The definition at `index` of the current locale run on a caller's value
// (session encoding when convert is 1, else UTF-8) or tokens. A negative
// code; else a positive result of converting the input; else the engine's.
int32_t match_string_by_defn_index(context* ctx, int32_t index, const uint32_t* sens, uint32_t count,
                                   const char* input, uint32_t convert, char* const* codes, match_info* info);
int32_t match_parsed_by_defn_index(context* ctx, int32_t index, const uint32_t* sens, uint32_t count,
                                   const parse_token_slot* slots, uint32_t slot_count, uint32_t convert,
                                   char* const* codes, match_info* info);

// The operations schemes keyed by match codes use (installed at start-up).
extern const scheme_match_ops kMatchSchemeOps;

}  // namespace tq
