// The chopping engine: splits one UTF-8 value (at most 1,024 bytes) into a
// word list of words, separators and dropped spans with a chopper. Two
// passes mark boundaries in byte arrays of boundary codes, one driven by the
// character table, one by the chopping rules; a merge chooses between them
// position by position, and the word split cuts the value at the merged
// boundaries. With a chop info the engine also records why each word
// starts where it does.
#pragma once

#include <cstdint>

#include "tq.h"
#include "core/krcorvel.h"
#include "core/krvec.h"
#include "resources/krwlst.h"

namespace tq {

// Longest value a chop takes, in bytes.
inline constexpr uint32_t kChopValueMax = 1024;
// Positions of the boundary arrays and of the per-position source records
// (a value's bytes and the position just after it).
inline constexpr uint32_t kChopPositions = kChopValueMax + 1;
inline constexpr uint32_t kChopEvalStack = 32;

// Boundary codes.
inline constexpr uint8_t kCodeWord = 0;       // a word starts here
inline constexpr uint8_t kCodeSeparator = 1;  // a separator span starts here
inline constexpr uint8_t kCodeDropped = 2;    // a dropped span starts here
inline constexpr uint8_t kCodeUnused = 3;     // no pass writes it
inline constexpr uint8_t kCodeContinue = 4;   // the piece before goes on

// Source types of a chop info record; 0 where no pass recorded a reason
// (for example the first word of a value that starts with it).
inline constexpr uint32_t kSourceNone = 0;
inline constexpr uint32_t kSourceSeparator = 1;  // data: the separator's code point
inline constexpr uint32_t kSourceRule = 2;       // data: the rule's id
inline constexpr uint32_t kSourceImplicit = 3;   // data: the code point starting the new word

struct chop_source {
  uint32_t type;
  uint32_t data;
};

// The chopping work area of a context.
struct chop_work {
  uint8_t rules_codes[kChopPositions];
  uint8_t table_codes[kChopPositions];
  uint32_t eval_stack[kChopEvalStack];
  block_pool* word_pool;  // blocks of one word_rec each
};

}  // namespace tq

// The result object of tq_chop_string_with_info. Each chop into it writes
// the per-position records of its own value (positions without a reason
// hold type 0) and appends one record per word; successive chops add up
// until kChopPositions word records are held, after which further words
// get none (their index is then out of range for the getters).
struct tq_chop_info {
  const uint8_t* table_codes;  // the last chop's table-pass codes, or NULL when its table was not used
  const uint8_t* rules_codes;  // the same for the rules pass (the context's work area, valid until its next chop)
  tq::chop_source table_sources[tq::kChopPositions];
  tq::chop_source rules_sources[tq::kChopPositions];
  tq::chop_source merged_sources[tq::kChopPositions];
  tq::chop_source word_sources[tq::kChopPositions];
  int32_t word_count;
};

namespace tq {

using chop_info = ::tq_chop_info;

// The work area: -600 when memory or the word pool cannot be had.
int32_t chop_work_create(context* ctx, chop_work** out);
void chop_work_free(chop_work* work);

// Prepares a boundary array for a value of `length` bytes: -601 above 1,024;
// else every position 4, and positions 0 and length 0.
int32_t chop_codes_prepare(uint8_t* codes, uint32_t length);

// The chop core: chops `value` (UTF-8) with the chopper of `handle` (a
// registry index, or -1, -2, -3 for the built-ins; -802 for any other
// negative handle) into `out`, which it initialises; with info, records the
// reasons. On failure `out` holds the pieces made so far and the caller
// frees it. -601 for a value above 1,024 bytes; -603 when a piece cannot be
// copied whole; -600; the chopper's and the passes' failures pass through.
int32_t chop_core(context* ctx, int32_t handle, const char* value, word_list* out, chop_info* info);
// The core without chop info, for the engines of other subsystems.
int32_t chop_run(context* ctx, int32_t handle, const char* value, word_list* out);

// ---- Export implementations ---------------------------------------------------------------

// out_strings holds *num_out_strings entries of sizeof(tq_chop_word) bytes,
// each receiving one word in the session encoding (at most TQ_CHOP_WORD_MAX
// bytes and its terminator).
int32_t chop_string(context* ctx, int32_t chopper, const char* in_string, ::tq_chop_word* out_strings,
                    uint32_t* num_out_strings);
int32_t chop_string_with_info(context* ctx, int32_t chopper, const char* in_string, ::tq_chop_word* out_strings,
                              uint32_t* num_out_strings, chop_info* info);
int32_t chop_info_init(context* ctx, chop_info** info);
int32_t chop_info_free(context* ctx, chop_info* info);
int32_t chop_info_source_type_get(context* ctx, chop_info* info, int32_t word_index, uint32_t* type);
int32_t chop_info_source_data_get(context* ctx, chop_info* info, int32_t word_index, uint32_t* data);

}  // namespace tq
