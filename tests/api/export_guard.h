// Rows of the export guard test (test_exports.cpp), made from the export
// tables. Each table is compiled in a unit of its own (export_table.cpp.in,
// one per table listed in src/api/tables/all.def), without GoogleTest and
// without templates per row: a row is a constant with a plain function that
// calls the export once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "tq.h"

namespace tq_export_guard {

// Pointer parameters an export checks; a row with more fails to compile.
constexpr std::size_t kMaxChecked = 8;

struct ExportCase {
  const char* name;
  uint32_t edit;  // 0 any, 1 refuses edit mode, 2 needs it
  // The checked pointer parameters' names, in parameter order.
  const char* checked[kMaxChecked];
  // Calls the export with ctx and every argument harmless, except the
  // checked pointer named null_name (none for NULL), which is NULL.
  int32_t (*call)(tq_context* ctx, const char* null_name);
};

// A table's rows, collected by the test when the program starts.
struct Table {
  template <std::size_t N>
  Table(const char* table_name, const ExportCase (&table_rows)[N]) : Table(table_name, table_rows, N) {}
  Table(const char* table_name, const ExportCase* table_rows, std::size_t count);
};

// A harmless value for a parameter that is not under test: zero for numbers,
// a zeroed buffer (64 KB) for pointers.
void* scratch();

template <typename T>
T harmless() {
  if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<T>(scratch());
  } else {
    return T{};
  }
}

// A checked pointer: NULL when it is the one under test.
template <typename T>
T checked(const char* null_name, const char* name) {
  return null_name != nullptr && std::strcmp(null_name, name) == 0 ? static_cast<T>(nullptr) : harmless<T>();
}

}  // namespace tq_export_guard

#define NOHOLD 0
#define READ 1
#define ANY 0
#define REFUSES_EDIT 1
#define NEEDS_EDIT 2

#define TQ_T_PARENS ()
#define TQ_T_EXPAND(...) TQ_T_E4(TQ_T_E4(TQ_T_E4(TQ_T_E4(__VA_ARGS__))))
#define TQ_T_E4(...) TQ_T_E3(TQ_T_E3(TQ_T_E3(TQ_T_E3(__VA_ARGS__))))
#define TQ_T_E3(...) TQ_T_E2(TQ_T_E2(TQ_T_E2(TQ_T_E2(__VA_ARGS__))))
#define TQ_T_E2(...) TQ_T_E1(TQ_T_E1(TQ_T_E1(TQ_T_E1(__VA_ARGS__))))
#define TQ_T_E1(...) __VA_ARGS__
#define TQ_T_FOR_EACH(macro, ...) __VA_OPT__(TQ_T_EXPAND(TQ_T_HELPER(macro, __VA_ARGS__)))
#define TQ_T_HELPER(macro, a1, ...) macro(a1) __VA_OPT__(TQ_T_AGAIN TQ_T_PARENS(macro, __VA_ARGS__))
#define TQ_T_AGAIN() TQ_T_HELPER

// A row's arguments after the implementation are parameter tuples, or
// (TQ_FNK rows) bound constants first, which the export does not take.
#define TQ_T_CAT(a, b) TQ_T_CAT_(a, b)
#define TQ_T_CAT_(a, b) a##b
#define TQ_T_SECOND(a, b, ...) b
#define TQ_T_SECOND_(...) TQ_T_SECOND(__VA_ARGS__)
#define TQ_T_PROBE(...) ~, 1
#define TQ_T_IS_PAREN(x) TQ_T_SECOND_(TQ_T_PROBE x, 0, ~)
#define TQ_T_PARAM(m, a) TQ_T_CAT(TQ_T_PARAM_, TQ_T_IS_PAREN(a))(m, a)
#define TQ_T_PARAM_1(m, p) m(p)
#define TQ_T_PARAM_0(m, c)
#define TQ_T_A_ARG(a) TQ_T_PARAM(TQ_T_ARG, a)
#define TQ_T_A_NAME(a) TQ_T_PARAM(TQ_T_NAME, a)

// Each argument: harmless, or NULL when it is the checked pointer under
// test. Checked pointers are told by name, so the order in which a call's
// arguments are evaluated does not matter.
#define TQ_T_ARG(p) , TQ_T_ARG_ p
#define TQ_T_ARG_(type, name, ...) TQ_T_ARG_SEL_##__VA_ARGS__(type, name)
#define TQ_T_ARG_SEL_(type, name) ::tq_export_guard::harmless<type>()
#define TQ_T_ARG_SEL_NONNULL(type, name) ::tq_export_guard::checked<type>(null_name, #name)
#define TQ_T_NAME(p) TQ_T_NAME_ p
#define TQ_T_NAME_(type, name, ...) TQ_T_NAME_SEL_##__VA_ARGS__(name)
#define TQ_T_NAME_SEL_(name)
#define TQ_T_NAME_SEL_NONNULL(name) #name,
// The output annotations are checked as NONNULL.
#define TQ_T_ARG_SEL_TEXT_OUT TQ_T_ARG_SEL_NONNULL
#define TQ_T_ARG_SEL_TEXT_OUTS TQ_T_ARG_SEL_NONNULL
#define TQ_T_ARG_SEL_TEXT_OUT_MAX_LEN TQ_T_ARG_SEL_NONNULL
#define TQ_T_ARG_SEL_TEXT_OUT_SIZE TQ_T_ARG_SEL_NONNULL
#define TQ_T_ARG_SEL_TEXT_OUT_OUT_SIZE TQ_T_ARG_SEL_NONNULL
#define TQ_T_ARG_SEL_CODE_BLOCK TQ_T_ARG_SEL_NONNULL
#define TQ_T_ARG_SEL_CODE_BLOCKS TQ_T_ARG_SEL_NONNULL
#define TQ_T_ARG_SEL_COUNT_OUT TQ_T_ARG_SEL_NONNULL
#define TQ_T_ARG_SEL_COUNT_OUTS TQ_T_ARG_SEL_NONNULL
#define TQ_T_NAME_SEL_TEXT_OUT TQ_T_NAME_SEL_NONNULL
#define TQ_T_NAME_SEL_TEXT_OUTS TQ_T_NAME_SEL_NONNULL
#define TQ_T_NAME_SEL_TEXT_OUT_MAX_LEN TQ_T_NAME_SEL_NONNULL
#define TQ_T_NAME_SEL_TEXT_OUT_SIZE TQ_T_NAME_SEL_NONNULL
#define TQ_T_NAME_SEL_TEXT_OUT_OUT_SIZE TQ_T_NAME_SEL_NONNULL
#define TQ_T_NAME_SEL_CODE_BLOCK TQ_T_NAME_SEL_NONNULL
#define TQ_T_NAME_SEL_CODE_BLOCKS TQ_T_NAME_SEL_NONNULL
#define TQ_T_NAME_SEL_COUNT_OUT TQ_T_NAME_SEL_NONNULL
#define TQ_T_NAME_SEL_COUNT_OUTS TQ_T_NAME_SEL_NONNULL

#define TQ_FN(export_name, hold, edit, impl, ...)                                                  \
  ::tq_export_guard::ExportCase{#export_name, edit, {TQ_T_FOR_EACH(TQ_T_A_NAME, __VA_ARGS__)},     \
                                [](tq_context* ctx, const char* null_name) -> int32_t {            \
                                  (void)null_name;                                                 \
                                  return export_name(ctx TQ_T_FOR_EACH(TQ_T_A_ARG, __VA_ARGS__));  \
                                }},
#define TQ_FNK TQ_FN
