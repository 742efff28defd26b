// The frame every framed export passes through. Each export is one row of a
// table in src/api/tables/<family>.def:
//
//   TQ_FN(tq_session_encoding_get, NOHOLD, ANY, session_encoding_get, (uint32_t*, enc, NONNULL))
//
// name in full, read hold (READ or NOHOLD), edit rule (ANY, NEEDS_EDIT,
// REFUSES_EDIT), the implementation in namespace tq, then each parameter
// after the context as (type, name[, NONNULL]). The macros only stamp out
// the extern "C" definition; the logic is the ordinary function frame().
// An output the frame empties on entry is marked in place of NONNULL (it is
// checked as NONNULL too): TEXT_OUT, TEXT_OUTS and the others listed at
// TQ_CHECK_NONNULL below.
//
// A row that binds constants is written TQ_FNK: the constants (names in
// namespace tq, bare, before the parenthesised parameters) are passed first,
// so one generic implementation serves every kind:
//
//   TQ_FNK(tq_chopper_owner_get, READ, ANY, rsrc_owner_get, kChopperAccess, (int32_t, chopper), (char*, owner, NONNULL))
//
// calls tq::rsrc_owner_get(ctx, tq::kChopperAccess, chopper, owner). Table
// readers define TQ_FNK beside TQ_FN; both take the same arguments.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tq.h"
#include "core/krcorvel.h"
#include "core/krzel.h"

namespace tq::api {

enum hold_rule : uint32_t { NOHOLD = 0, READ = 1 };
enum edit_rule : uint32_t { ANY = 0, REFUSES_EDIT = 1, NEEDS_EDIT = 2 };

// What the frame does to an output parameter before anything else, so that
// a call refused or failing anywhere (a guard, the edit rule, a name
// unknown, a character refused) leaves no caller's old text in it: the
// implementation then writes its output (or its own pre-fill) over it.
// `n` is how many outputs the parameter points at (an array's count).
using output_clear_fn = void (*)(context* ctx, const void* value, uint64_t n);

struct checked_arg {
  const char* name;  // nullptr ends the list
  const void* value;
  output_clear_fn clear = nullptr;  // an output emptied on entry; nullptr: a guard only
  uint64_t n = 0;
};

// The clears of the output annotations below. A NULL pointer (the guard's
// business) and NULL array elements (the implementation's) are left alone.
void output_clear_text(context* ctx, const void* value, uint64_t n);
void output_clear_texts(context* ctx, const void* value, uint64_t n);
void output_clear_sized(context* ctx, const void* value, uint64_t n);
void output_clear_code_blocks(context* ctx, const void* value, uint64_t n);
void output_clear_counts(context* ctx, const void* value, uint64_t n);

using invoke_fn = int32_t (*)(void* closure);

// Runs the whole frame around one implementation call: context check, error
// list reset, entry trace, edit rule, pointer guards, call-state push, read
// hold, the call (run again under the write hold when it was refused that
// hold while reading), generic error record, exit trace, pop and hold
// release.
// Never throws: out of memory becomes -600.
int32_t frame(context* ctx, const char* export_name, uint32_t hold, uint32_t edit,
              const checked_arg* checks, invoke_fn invoke, void* closure) noexcept;

template <typename F>
int32_t thunk(void* closure) {
  return (*static_cast<F*>(closure))();
}

// Argument guards, for implementations too. Each records -802 with message 57
// and returns -802 when it fails; a clear flag bit does nothing.
int32_t api_check_not_null(context* ctx, const char* file, uint32_t line, uint32_t flag,
                           const char* name, const void* value);
int32_t api_check_string_empty(context* ctx, const char* file, uint32_t line, uint32_t flag,
                               const char* name, const char* text);
int32_t api_check_value_zero(context* ctx, const char* file, uint32_t line, uint32_t flag,
                             const char* name, uintptr_t value);
int32_t api_check_edit_mode(const context* ctx, const char* file, uint32_t line, uint32_t flag);

// These three run on every framed call: inline, down to the read hold's
// fast path.
inline int32_t api_check_context(const context* ctx, const char* file, uint32_t line, uint32_t flag) {
  (void)file;
  (void)line;
  return ((flag & 1) && ctx == nullptr) ? TQ_ERR_NULL_CONTEXT : 0;
}
inline int32_t api_lock_enter(context* ctx, uint32_t lock_word) {
  if (!(lock_word & READ)) return 0;
  return shared_state_read_lock(ctx, ctx->shared);
}
inline int32_t api_lock_leave(context* ctx, uint32_t lock_word) {
  if (!(lock_word & READ)) return 0;
  return shared_state_read_unlock(ctx, ctx->shared);
}

}  // namespace tq::api

// ---- Table expansion machinery ----------------------------------------------

#define TQ_PARENS ()
#define TQ_EXPAND(...) TQ_EXPAND4(TQ_EXPAND4(TQ_EXPAND4(TQ_EXPAND4(__VA_ARGS__))))
#define TQ_EXPAND4(...) TQ_EXPAND3(TQ_EXPAND3(TQ_EXPAND3(TQ_EXPAND3(__VA_ARGS__))))
#define TQ_EXPAND3(...) TQ_EXPAND2(TQ_EXPAND2(TQ_EXPAND2(TQ_EXPAND2(__VA_ARGS__))))
#define TQ_EXPAND2(...) TQ_EXPAND1(TQ_EXPAND1(TQ_EXPAND1(TQ_EXPAND1(__VA_ARGS__))))
#define TQ_EXPAND1(...) __VA_ARGS__
#define TQ_FOR_EACH(macro, ...) __VA_OPT__(TQ_EXPAND(TQ_FOR_EACH_HELPER(macro, __VA_ARGS__)))
#define TQ_FOR_EACH_HELPER(macro, a1, ...) \
  macro(a1) __VA_OPT__(TQ_FOR_EACH_AGAIN TQ_PARENS(macro, __VA_ARGS__))
#define TQ_FOR_EACH_AGAIN() TQ_FOR_EACH_HELPER

// One parameter tuple (type, name[, NONNULL]) as a declaration, an argument
// and a guard entry. Each row argument after the implementation is either
// such a tuple or a bound constant; TQ_IS_PAREN tells them apart (1 for a
// tuple), and a constant adds only an argument.
#define TQ_P_DECL(p) , TQ_P_DECL_ p
#define TQ_P_DECL_(type, name, ...) type name
#define TQ_P_ARG(p) , TQ_P_ARG_ p
#define TQ_P_ARG_(type, name, ...) name
#define TQ_P_TYPE(p) , TQ_P_TYPE_ p
#define TQ_P_TYPE_(type, name, ...) type
#define TQ_P_CHECK(p) TQ_P_CHECK_ p
#define TQ_P_CHECK_(type, name, ...) __VA_OPT__(TQ_CHECK_##__VA_ARGS__(name))
#define TQ_CHECK_NONNULL(name) ::tq::api::checked_arg{#name, static_cast<const void*>(name)},
// Output annotations: NONNULL, and the output is made empty on entry.
//   TEXT_OUT     a text in the session encoding (a buffer of a documented
//                size, at least the terminator's)
//   TEXT_OUTS    an array of `count` such texts (the row's parameter named
//                count)
//   TEXT_OUT_MAX_LEN / TEXT_OUT_SIZE / TEXT_OUT_OUT_SIZE   a text in a
//                buffer of the caller's size, the row's parameter max_len /
//                size / out_size (a negative max_len: no bound); a size
//                below the terminator's is not written
//   CODE_BLOCK / CODE_BLOCKS   one / `count` multicode blocks: the first
//                entry's code empty
//   COUNT_OUT / COUNT_OUTS     one / `count` entry counts: 0
#define TQ_CHECK_TEXT_OUT(name) \
  ::tq::api::checked_arg{#name, static_cast<const void*>(name), &::tq::api::output_clear_text, 1},
#define TQ_CHECK_TEXT_OUTS(name) \
  ::tq::api::checked_arg{#name, static_cast<const void*>(name), &::tq::api::output_clear_texts, count},
#define TQ_CHECK_TEXT_OUT_MAX_LEN(name)                                                     \
  ::tq::api::checked_arg{#name, static_cast<const void*>(name), &::tq::api::output_clear_sized, \
                         static_cast<uint64_t>(static_cast<int64_t>(max_len))},
#define TQ_CHECK_TEXT_OUT_SIZE(name) \
  ::tq::api::checked_arg{#name, static_cast<const void*>(name), &::tq::api::output_clear_sized, size},
#define TQ_CHECK_TEXT_OUT_OUT_SIZE(name) \
  ::tq::api::checked_arg{#name, static_cast<const void*>(name), &::tq::api::output_clear_sized, out_size},
#define TQ_CHECK_CODE_BLOCK(name) \
  ::tq::api::checked_arg{#name, static_cast<const void*>(name), &::tq::api::output_clear_code_blocks, 1},
#define TQ_CHECK_CODE_BLOCKS(name) \
  ::tq::api::checked_arg{#name, static_cast<const void*>(name), &::tq::api::output_clear_code_blocks, count},
#define TQ_CHECK_COUNT_OUT(name) \
  ::tq::api::checked_arg{#name, static_cast<const void*>(name), &::tq::api::output_clear_counts, 1},
#define TQ_CHECK_COUNT_OUTS(name) \
  ::tq::api::checked_arg{#name, static_cast<const void*>(name), &::tq::api::output_clear_counts, count},

#define TQ_CAT(a, b) TQ_CAT_(a, b)
#define TQ_CAT_(a, b) a##b
#define TQ_SECOND(a, b, ...) b
#define TQ_SECOND_(...) TQ_SECOND(__VA_ARGS__)
#define TQ_PAREN_PROBE(...) ~, 1
#define TQ_IS_PAREN(x) TQ_SECOND_(TQ_PAREN_PROBE x, 0, ~)
#define TQ_A_DECL(a) TQ_CAT(TQ_A_DECL_, TQ_IS_PAREN(a))(a)
#define TQ_A_DECL_1(p) TQ_P_DECL(p)
#define TQ_A_DECL_0(c)
#define TQ_A_ARG(a) TQ_CAT(TQ_A_ARG_, TQ_IS_PAREN(a))(a)
#define TQ_A_ARG_1(p) TQ_P_ARG(p)
#define TQ_A_ARG_0(c) , ::tq::c
#define TQ_A_CHECK(a) TQ_CAT(TQ_A_CHECK_, TQ_IS_PAREN(a))(a)
#define TQ_A_CHECK_1(p) TQ_P_CHECK(p)
#define TQ_A_CHECK_0(c)

// The definition of one framed export (a TQ_FN or a TQ_FNK row).
#define TQ_FN_DEFINE(export_name, hold, edit, impl, ...)                                       \
  extern "C" TQ_API int32_t export_name(tq_context* ctx TQ_FOR_EACH(TQ_A_DECL, __VA_ARGS__)) \
      noexcept {                                                                             \
    const ::tq::api::checked_arg tq_checks_[] = {TQ_FOR_EACH(TQ_A_CHECK, __VA_ARGS__){      \
        nullptr, nullptr}};                                                                  \
    auto tq_call_ = [&]() -> int32_t {                                                       \
      return ::tq::impl(ctx TQ_FOR_EACH(TQ_A_ARG, __VA_ARGS__));                            \
    };                                                                                       \
    return ::tq::api::frame(ctx, #export_name, ::tq::api::hold, ::tq::api::edit, tq_checks_, \
                            &::tq::api::thunk<decltype(tq_call_)>, &tq_call_);              \
  }
