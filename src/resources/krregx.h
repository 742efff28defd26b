// Regex libraries: ordered lists of elements, each a regular expression with
// a substitution text, used to test a value (does any element match), to
// rewrite it (every element applied in turn as search and replace, with the
// engine's own substitution syntax: \0..\9 and the case escapes \U \L \E \u
// \l) and to measure how much of it the elements cover. Patterns run on
// PCRE2 (8-bit, UTF mode, ASCII \w and \d). The resource kind 4 ("Regex"):
// registry callbacks, the "Regexlib" document, editing and saving, and the
// implementations of the exported regexlib family.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/krcorvel.h"
#include "kbstore/krlocp.h"
#include "kbstore/krvlt.h"

struct tq_lock_handle;

namespace tq {

struct resource_slot;
struct lock_handle;

// Option bits of an element as the knowledge base stores them: the UTF-8
// bit, and the engine's own Turkish bit, which compilation sets when the
// current locale is Turkish. They are translated for PCRE2, never passed
// through.
inline constexpr uint32_t kRegexOptUtf8 = 0x800;
inline constexpr uint32_t kRegexOptTurkish = 0x80000000u;
// Compiles the element anchored at the start offset (rule regexes, which
// always run anchored, so that the JIT serves them).
inline constexpr uint32_t kRegexOptAnchored = 0x10;

// Execution options of regexlib_element_exec: anchored at the start
// offset; the subject is already known to be well-formed UTF-8 (it is then
// not checked again, which matters for calls at every offset of a value).
inline constexpr uint32_t kRegexExecAnchored = 0x10;
inline constexpr uint32_t kRegexExecChecked = 0x2000;

// Match positions callers ask for: the whole match and groups 1 to 9, as
// pairs of offsets. A pattern needing more pairs reports no match.
inline constexpr uint32_t kRegexOvectorSize = 30;
inline constexpr size_t kRegexUnset = ~static_cast<size_t>(0);

// Replacement results: at most 1,024 bytes and the terminator.
inline constexpr uint32_t kRegexResultMax = 1024;
inline constexpr uint32_t kRegexResultSize = kRegexResultMax + 1;

// Every match runs under limits suited to values of at most 1,024 bytes: a
// pattern that backtracks without end (such as '(a+)+b') gives up after
// this many backtracking steps, or at this depth of nested backtracking,
// instead of taking seconds per value. Giving up is the code -601 (a fixed
// capacity exceeded), recorded with message 1730.
inline constexpr uint32_t kRegexMatchLimit = 1000000;
inline constexpr uint32_t kRegexDepthLimit = 10000;

// Codes.
inline constexpr int32_t kRcRegexSyntax = TQ_ERR_SYNTAX;
inline constexpr int32_t kRcRegexNotStudied = TQ_WARN_REGEX_NOT_STUDIED;
inline constexpr int32_t kRcRegexLimit = -601;

struct regexlib_element {
  void* code;              // compiled pattern (pcre2_code); NULL until compiled
  uint32_t jit;            // 1 when the JIT compiled it (our "study data")
  uint32_t compiled_with;  // the option word it was compiled with
  char* regex;             // never empty once set
  char* sub;               // "" when none
  char* notes;             // "" when none
  uint32_t options;        // the document's "Options" value; 1 through the API
  int32_t encoding;        // -1 at creation
  int32_t compile_rc;      // result of the last compilation (0 before any)
  // The bytes a match can begin with, as the compiled pattern knows them
  // (its one first code unit or its start bitmap), when first_known is 1. A
  // subject holding none of them cannot match, so rewriting a value skips
  // the element without running it: a library of many rare spellings costs
  // little on values that have none.
  uint32_t first_known;
  uint64_t first_bytes[4];  // bit b % 64 of word b / 64 for byte b
};

// The kind's record, kept in the slot's part.
struct regexlib_rec {
  uint32_t count;
  regexlib_element* elements;
  vault_info vault;
  locale_info locale;
};

// ---- Elements ----------------------------------------------------------------------

// Makes the context's regex work area (ctx->regex_work): match data, and the
// limits and JIT stack of a match context. 0, or -600.
int32_t regex_work_create(context* ctx);

// Fills an element (zeroed or freed before): -802 for an empty or NULL regex
// text; texts copied (NULL becomes ""); not compiled; encoding -1. -600.
int32_t regexlib_element_create(regexlib_element* e, const char* regex, const char* sub, const char* notes,
                                uint32_t options);
// Frees the texts and the compiled pattern; the element is zeroed.
void regexlib_element_free(regexlib_element* e);
// The option word compilation uses: UTF-8, plus the Turkish bit when the
// current locale is Turkish ("TR", "TRTUR", "L5").
uint32_t regexlib_compile_options(context* ctx);
// Compiles (again) the element's regex with the option word (plus
// kRegexOptAnchored when asked). 0; 113 when JIT compilation failed for a
// reason other than JIT being unavailable (the pattern still runs); -803
// with message 51 when the pattern does not compile; -600.
int32_t regexlib_element_compile(context* ctx, regexlib_element* e, uint32_t options);
// Runs the element over subject[0, length) from byte `start`. The PCRE2
// result goes to *result (when not NULL): above 0 the number of pairs set,
// 0 when more than the ovector's pairs were needed, negative for no match
// or an error. ovector (may be NULL) receives ovector_size / 3 pairs of
// offsets (unset groups kRegexUnset; without a match only the first pair
// is written, unset); ovector_size is counted like the classic interface,
// 30 for groups 0..9. Returns 1 when it matched, else 0;
// -601 (recorded) when the match gave up at its limits; -600 when the
// context's match data cannot be made. An uncompiled element or a NULL
// subject never matches. The match data and limits are the context's, made
// on its first match and reused.
int32_t regexlib_element_exec(context* ctx, const regexlib_element* e, const char* subject, size_t length,
                              size_t start, size_t* ovector, uint32_t ovector_size, int32_t* result,
                              uint32_t exec_options);
// 1 when subject[0, length) is well-formed UTF-8 (calls over it may then
// pass kRegexExecChecked), 0 when not; -600.
int32_t regexlib_subject_check(context* ctx, const char* subject, size_t length);
// Search and replace with one element over a UTF-8 subject into result
// (kRegexResultSize bytes). 0 when nothing matched (result untouched); 1
// when something matched (result = the rewritten text, at most 1,024 bytes,
// cut between characters); negative when a match failed (-601, -600;
// result untouched). Each match's replacement starts with no case escape in
// force; the text between matches is copied as it is.
int32_t regexlib_element_replace(context* ctx, const regexlib_element* e, const char* subject, char* result);

// ---- Libraries -----------------------------------------------------------------------

// 1 when any element matches the text (converted from the session encoding
// first when convert is 1), else 0. Negative: the conversion's failure, or
// a match that gave up at its limits (-601). convert may also carry
// kRegexExecChecked when the text is known to be well-formed UTF-8 (already
// validated by the caller), so that no element checks it again.
int32_t regexlib_match_any(context* ctx, const regexlib_rec* lib, const char* text, uint32_t convert);
// Every element in turn rewrites the running text; the result goes to out
// (converted to the session encoding when convert is 1; out then holds 1,028
// bytes, else kRegexResultSize). 1 when any element matched; 0 when none
// did. Negative: a conversion's failure or a match that gave up (out is
// then untouched).
int32_t regexlib_replace_all(context* ctx, const regexlib_rec* lib, const char* input, char* out,
                             uint32_t convert);
// Every element from offset 0 and again after each match: the number of
// matches, the bytes covered by any match, and the text's length (outs may
// be NULL). An element matching the empty string moves on one character.
// 0; -802 without a library or text; -601 when a match gave up.
int32_t regexlib_coverage_scan(context* ctx, const regexlib_rec* lib, const char* text, uint32_t* matches,
                               uint32_t* covered, uint32_t* length);
// Frees every element and the array; count 0.
void regexlib_elements_free(regexlib_rec* lib);

// ---- The resource kind -------------------------------------------------------------

// The library of a slot index for reading, loaded on first use (-800 for an
// index that is not a regex library). Elements not yet compiled (a load
// without compiling) are compiled on this first use for matching.
int32_t regexlib_get(context* ctx, int32_t index, regexlib_rec** out);
// Registers a library by name (the compiling load); a registered name adds a
// reference and gives 0. lock: a lock handle for editing, or NULL. With
// convert 1 the name comes in the session encoding (at most 1,024 bytes).
int32_t regexlib_load_by_name(context* ctx, const char* name, lock_handle* lock, int32_t* index,
                              uint32_t convert);
// Drops one reference a definition holds (never a client load); the last
// frees the library.
int32_t regexlib_unload(context* ctx, int32_t index);
// The slot's name ("" for none) into out (size bytes, cut between characters).
int32_t regexlib_name_get(context* ctx, int32_t index, char* out, uint32_t size);

// Registry callbacks of kind 4.
int32_t regexlib_rsrc_load(context* ctx, resource_slot* slot, lock_handle* lock, uintptr_t arg);
int32_t regexlib_rsrc_load_no_compile(context* ctx, resource_slot* slot, lock_handle* lock, uintptr_t arg);
int32_t regexlib_rsrc_free(context* ctx, resource_slot* slot, uintptr_t arg);

// ---- Export implementations ----------------------------------------------------------

int32_t regexlib_load(context* ctx, const char* name, tq_lock_handle* lock, int32_t* index);
int32_t regexlib_load_no_compile(context* ctx, const char* name, tq_lock_handle* lock, int32_t* index);
int32_t regexlib_rule_count_get(context* ctx, int32_t library, uint32_t* count);
int32_t regexlib_save(context* ctx, int32_t library, tq_lock_handle* lock);
int32_t regexlib_create(context* ctx, const char* name, int32_t* index);
int32_t regexlib_edit_new(context* ctx, const char* path, const char* name, tq_lock_handle* lock);
int32_t regexlib_element_array_size_set(context* ctx, int32_t library, uint32_t n);
int32_t regexlib_element_info_get(context* ctx, int32_t library, uint32_t index, char* regex, char* sub,
                                  char* notes);
int32_t regexlib_element_info_set(context* ctx, int32_t library, uint32_t index, const char* regex,
                                  const char* sub, const char* notes);
int32_t regexlib_regex_compile(context* ctx, const char* regex);
int32_t regexlib_match(context* ctx, int32_t library, const char* s, int32_t* matched);
int32_t regexlib_match_and_replace(context* ctx, int32_t library, const char* s, char* r, int32_t* matched);

}  // namespace tq
