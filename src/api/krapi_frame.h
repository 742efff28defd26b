// The frame every framed export passes through. Each export is one row of a
// table in src/api/tables/<family>.def:
//
//   TQ_FN(tq_session_encoding_get, NOHOLD, ANY, session_encoding_get, (uint32_t*, enc, NONNULL))
//
// name in full, read hold (READ or NOHOLD), edit rule (ANY, NEEDS_EDIT,
// REFUSES_EDIT), the implementation in namespace tq, then each parameter
// after the context as (type, name[, NONNULL]). The macros only stamp out
// the extern "C" definition; the logic is the ordinary function frame().
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

struct checked_arg {
  const char* name;  // nullptr ends the list
  const void* value;
};

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
