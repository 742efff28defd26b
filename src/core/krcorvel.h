// The engine context: the per-caller object every exported function takes
// first. It owns its paths, options, call-state stack, trace state, error
// list and scratch areas; loaded knowledge lives in the shared state that it
// references (and that its clones share).
#pragma once

#include <cstdint>
#include <span>

#include "core/krerr.h"
#include "core/krtrace.h"

struct tq_context;
struct tq_vault_file;
struct tq_ngram_profile;

namespace tq {

struct path_list;
struct hash_table;
struct block_pool;
struct shared_state;
struct chop_work;
struct chopper_builtin;
struct phonetx_work;
struct scheme_scratch;
struct phonetx_edit_session;
struct morph_scratch;
struct parse_opt_settings;
struct parser_runtimes;
struct parse_scratch;
struct case_work;
struct stdzn_work_area;
struct match_work_area;
struct ident_work_area;
struct extract_work_area;
struct gender_work_area;
struct guess_work_area;
struct np_case_cache;

// A work area that a higher layer makes on a context's first use of it and
// that carries its own release, so that whoever tears the context down
// frees it without knowing its contents.
struct lazy_work {
  void (*release)(lazy_work* work);
};

using context = ::tq_context;
struct rwlock;

// A context's place among the readers of its shared state. The context's
// own thread writes `inside` on every read hold; a writer only reads it, and
// only while it waits. It lives in the context record, so no two contexts'
// words share a cache line. The links are changed under the lock's gate
// when a context joins or leaves a shared state.
struct reader_slot {
  uint32_t inside;     // 1 while among the readers; accessed atomically only
  rwlock* lock;        // the lock it is registered with, or NULL
  reader_slot* next;   // the lock's other registered readers
  reader_slot* prev;
};

inline constexpr uint32_t kContextMarker = 0xF0FFF0FFu;
inline constexpr uint32_t kCallStateDepth = 256;

// Option word bits (tq_options_set); the default word is 1.
inline constexpr uint32_t kOptNoLockFiles = TQ_OPT_NO_LOCK_FILES;
inline constexpr uint32_t kOptSecondOpenFlag = TQ_OPT_SECOND_OPEN_FLAG;
inline constexpr uint32_t kOptStrictConversion = TQ_OPT_STRICT_CONVERSION;
inline constexpr uint32_t kOptWarnReplaced = TQ_OPT_WARN_REPLACED;
inline constexpr uint32_t kOptAllSurfaced = TQ_OPT_ALL_SURFACED;
inline constexpr uint32_t kOptAllowParsedInput = TQ_OPT_ALLOW_PARSED_INPUT;
inline constexpr uint32_t kOptPrepareOnRead = TQ_OPT_PREPARE_ON_READ;
inline constexpr uint32_t kOptApplyNewerDefns = TQ_OPT_APPLY_NEWER_DEFNS;

}  // namespace tq

struct tq_context {
  uint32_t marker;
  uint32_t record_size;
  char* root_path;                 // UTF-8, owned; NULL when none
  tq::path_list* search_path;      // owned
  uint32_t options;
  uint32_t edit_mode;
  int32_t session_encoding;        // 0..15; -1 after teardown
  uint32_t call_state[tq::kCallStateDepth];
  uint32_t call_depth;
  uint32_t read_holds;             // re-entrant holds on the shared state
  uint32_t write_holds;
  // Set when the write hold was refused to this context's call because it
  // only read (kRcNeedsWriteHold); the frame runs the call again under the
  // write hold and clears it, whatever code the call came back with.
  uint32_t write_refused;
  // The cuts of the current call's texts (kCutInput, kCutOutput, kCutInside in
  // core/krenc.h): the conversions that cut set them with a message, the
  // frame clears them on entry and turns them into the warning 102 on exit.
  uint32_t cuts;
  // Set when the current call read a resource on first use that came in
  // only in part (a chopper rule whose vocabulary cannot be had is kept and
  // skipped), with the failures in the error list: the frame clears it on
  // entry and makes a result of 0 the warning 105 on exit.
  uint32_t partial_reads;
  // Asked by a definition's reader for the one registration it makes next
  // (rsrc_open_kept, src/kbstore/krlib.h): a name whose file cannot be
  // found now is registered all the same. That registration takes it back
  // at once, so nothing it does in turn (the first load of what it names)
  // sees it.
  uint32_t rsrc_keep_name;
  const char* call_name;           // the current framed export's name, for messages
  tq::reader_slot reader;          // where a writer sees this context reading
  tq::trace_state trace;
  tq::err_list errors;
  uint32_t pending_line;           // where the next error report comes from
  const char* pending_file;
  char msg_locale[20];
  uint32_t allow_msgs;
  tq::hash_table* file_locks;      // lock files this context holds
  tq::hash_table* xml_stash;       // newer included XML sections kept for rewriting
  tq_vault_file* vault_files;      // open vault-file handles, closed at teardown when the client did not
  int32_t current_locale;          // index of the current loaded locale, -1 for none
  int32_t current_locale_code;     // its locale code (0 for none), for locale-aware casing
  tq::shared_state* shared;
  // This context's number among those that have shared its state, never
  // given to another while the state lasts: what the client loads it made
  // are recorded under (only it may give them back).
  uint64_t sharer_id;
  tq::block_pool* small_pool;      // 320-byte blocks: vector slots
  tq::block_pool* large_pool;      // 4,096-byte blocks
  tq::block_pool* lock_entry_pool; // entries of the file-lock table
  tq::np_case_cache* case_cache;   // title casing's word-break iterators, made on first use
  tq::chop_work* chop_work;        // the chopping engine's work area
  tq::chopper_builtin* chopper_whitespace;  // built-in chopper of handles -1 and -2
  tq::chopper_builtin* chopper_cjk;         // built-in chopper of handle -3
  tq::scheme_scratch* scheme_scratch;  // block pools of scheme applications
  tq::phonetx_work* phonetx_work;  // the phonetics engine's work area
  tq::phonetx_edit_session* phonetx_edit;  // rules of a phonetics file read for editing, or NULL
  tq::lazy_work* regex_work;       // match data and limits of regex matching; NULL until first used
  // Word analysis (parse layer).
  tq::morph_scratch* morph_scratch;  // word buffers and the pool of analysed words
  tq::parse_opt_settings* parse_opts;     // parse optimization defaults and overrides
  tq::parser_runtimes* parser_runtimes;   // the parse engines' per-context state and pools
  tq::parse_scratch* parse_scratch;       // the parse road's token slots, word list and tables
  // Casing and standardization (standardize layer).
  tq::case_work* case_work;               // the casing engine's work area
  tq::stdzn_work_area* stdzn_work_area;   // standardization's token slots and scheme blocks
  // Matching.
  tq::match_work_area* match_work_area;   // the match engine's token slots, scheme blocks, pool and input
  // Field analysis.
  tq::ident_work_area* ident_work_area;   // identification's scores and pattern states
  tq::extract_work_area* extract_work_area;  // extraction's token slots, word flags and marks table
  tq::gender_work_area* gender_work_area; // gender analysis's scores and token blocks
  // Locale and language guessing.
  tq_ngram_profile* lang_scratch_profile;  // the n-grams of the text being scored
  tq::guess_work_area* guess_work_area;    // the locale guess engine's candidates and word flags
  uint32_t guess_force_override;           // the force-choice override: its value,
  uint32_t guess_force_override_set;       // and 1 while it is set
};

namespace tq {

// The current framed export's name for a message, or "the call" outside a
// framed export.
inline const char* call_name_of(const context* ctx) {
  return ctx->call_name != nullptr ? ctx->call_name : "the call";
}

// One thing a layer adds to every context: a work area, a table, a setting.
// Each layer lists its parts in the order they are made; a context is built
// by walking the layers' lists from the bottom up and torn down by walking
// them back. A new work area is one more entry, not an edit to every place
// that makes or frees a context.
struct context_part {
  const char* name;
  // Makes the part in a zeroed record: 0, or a negative code. NULL when the
  // part is made later (lazily) or not at all and only needs freeing.
  int32_t (*create)(context* ctx);
  // Frees the part. Runs for every part the walk reached, the one that
  // failed included, so it accepts a zeroed, half-made or made part.
  void (*free)(context* ctx);
  // Makes the part of a copy from its source's (tq_clone). NULL when a copy
  // makes its own as a new context does.
  int32_t (*clone)(context* src, context* dst);
  // A work area that its engine makes when it first needs it
  // (context_work_get), by create, rather than the walk: a new context or a
  // copy that never runs the engine neither makes nor touches it. The walk
  // still frees it.
  bool on_first_use = false;
};

using context_layer = std::span<const context_part>;

// Core's parts: trace state, messages and settings, error list, block pools,
// root and search path, the casing cache.
context_layer core_context_parts();

// A zeroed record with its marker and size, ready for the walk; NULL when
// out of memory. context_record_init does the same to a record the caller
// holds.
context* context_alloc();
void context_record_init(context* ctx);

// Makes every part of every layer in order. The first failure frees what was
// made, in reverse (the failing part included), and returns its code; the
// record itself is left to the caller.
int32_t context_parts_create(context* ctx, std::span<const context_layer> layers);

// The same walk for a copy: each part's clone, or its create where it has
// none. A failure leaves dst as context_parts_create's does.
int32_t context_parts_clone(context* src, context* dst, std::span<const context_layer> layers);

// Frees every part of every layer, last made first, then zeroes the record.
// Always runs to the end.
void context_parts_free(context* ctx, std::span<const context_layer> layers);

// Makes a part left to first use: its create, and on a failure its free
// (which accepts what create left) and a record of the failure in ctx's
// error list. 0, or create's code.
int32_t context_part_make(context* ctx, const context_part& part);

// The work area kept in ctx->*field, made by part on the first call:
// 0 with *out set, or the code of the failed creation (recorded; *out NULL),
// after which the next call tries again. Inline, with the part declared in
// its layer's header, so that once the area is made a call costs one test.
template <typename Area>
int32_t context_work_get(context* ctx, Area* tq_context::*field, const context_part& part, Area** out) {
  if (ctx->*field == nullptr) {
    const int32_t rc = context_part_make(ctx, part);
    if (rc != 0) {
      *out = nullptr;
      return rc;
    }
  }
  *out = ctx->*field;
  return 0;
}

// A test hook: the nth part made from now on (by create or clone in the
// walk, or on first use, counted across contexts) fails with -600 without
// being called; 0 turns it off.
void context_part_fail_at(uint32_t nth);

}  // namespace tq
