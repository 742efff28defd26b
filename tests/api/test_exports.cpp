// The library's exported symbols, and the frame's argument guards on every
// framed export.
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/tq_test.h"

namespace {

using tq_test::Context;

std::set<std::string> exported_symbols() {
  std::set<std::string> names;
  std::string cmd = std::string("nm -D --defined-only '") + TQ_LIBRARY_PATH + "'";
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return names;
  char line[1024];
  while (std::fgets(line, sizeof line, p) != nullptr) {
    std::istringstream in(line);
    std::string addr, type, name;
    in >> addr >> type >> name;
    if (name.empty()) continue;
    if (type == "T" || type == "W" || type == "D" || type == "B" || type == "R") names.insert(name);
  }
  pclose(p);
  return names;
}

std::set<std::string> header_functions() {
  std::ifstream f(TQ_HEADER_PATH);
  std::stringstream ss;
  ss << f.rdbuf();
  std::string text = ss.str();
  std::set<std::string> names;
  std::regex decl(R"(TQ_API\s+[A-Za-z0-9_]+\s*\*?\s*(tq_[A-Za-z0-9_]+)\s*\()");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), decl); it != std::sregex_iterator(); ++it) {
    names.insert((*it)[1].str());
  }
  return names;
}

TEST(Exports, LibraryExportsExactlyTheHeader) {
  auto exported = exported_symbols();
  auto declared = header_functions();
  ASSERT_FALSE(declared.empty());
  for (const auto& name : exported) {
    EXPECT_EQ(name.rfind("tq_", 0), 0u) << "exported name without the tq_ prefix: " << name;
    EXPECT_TRUE(declared.count(name)) << "exported but not declared: " << name;
  }
  for (const auto& name : declared) {
    EXPECT_TRUE(exported.count(name)) << "declared but not exported: " << name;
  }
}

// ---- Every framed export: NULL context, then NULL in each checked pointer.

// A harmless value for a parameter that is not under test: zero for numbers,
// a zeroed buffer for pointers.
struct Scratch {
  alignas(16) std::array<char, 1 << 16> bytes{};
};

Scratch g_scratch;

template <typename T>
T harmless(Scratch& s) {
  if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<T>(s.bytes.data());
  } else {
    return T{};
  }
}

int next_checked(int& seen) { return seen++; }

struct ExportCase {
  const char* name;
  uint32_t edit;       // 0 any, 1 refuses edit mode, 2 needs it
  int checked;         // number of checked pointers
  std::vector<std::string> checked_names;
  // Calls the export with ctx and every argument harmless except the
  // checked pointer number `null_index` (-1 for none), which is NULL.
  int32_t (*call)(tq_context* ctx, int null_index);
};

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
#define TQ_T_A_TYPE(a) TQ_T_PARAM(TQ_T_TYPE, a)
#define TQ_T_A_NAME(a) TQ_T_PARAM(TQ_T_NAME, a)

// Each argument: harmless, or NULL when it is the checked pointer under test.
#define TQ_T_ARG(p) , TQ_T_ARG_ p
#define TQ_T_ARG_(type, name, ...) TQ_T_ARG_SEL_##__VA_ARGS__(type)
#define TQ_T_ARG_SEL_(type) harmless<type>(s)
#define TQ_T_ARG_SEL_NONNULL(type) (next_checked(checked_seen) == null_index ? static_cast<type>(nullptr) : harmless<type>(s))
#define TQ_T_TYPE(p) , TQ_T_TYPE_ p
#define TQ_T_TYPE_(type, name, ...) type
#define TQ_T_NAME(p) TQ_T_NAME_ p
#define TQ_T_NAME_(type, name, ...) TQ_T_NAME_SEL_##__VA_ARGS__(name)
#define TQ_T_NAME_SEL_(name)
#define TQ_T_NAME_SEL_NONNULL(name) #name,

#define TQ_FN(export_name, hold, edit, impl, ...)                                     \
  ExportCase{#export_name, edit, 0, {TQ_T_FOR_EACH(TQ_T_A_NAME, __VA_ARGS__)},         \
             [](tq_context* ctx, int null_index) -> int32_t {                          \
               Scratch& s = g_scratch;                                                 \
               int checked_seen = 0;                                                   \
               (void)checked_seen;                                                     \
               (void)s;                                                                \
               (void)null_index;                                                       \
               /* A braced list evaluates left to right, so the checked */              \
               /* pointers are counted in parameter order. */                          \
               std::tuple<tq_context* TQ_T_FOR_EACH(TQ_T_A_TYPE, __VA_ARGS__)> args{      \
                   ctx TQ_T_FOR_EACH(TQ_T_A_ARG, __VA_ARGS__)};                          \
               return std::apply(export_name, args);                                   \
             }},

#define TQ_FNK TQ_FN

const std::vector<ExportCase>& all_exports() {
  static const std::vector<ExportCase> cases = {
#include "api/tables/all.def"
  };
  return cases;
}

#undef TQ_FN
#undef TQ_FNK

TEST(Exports, EveryFramedExportGuardsItsArguments) {
  Context plain;
  Context edit(nullptr, true);
  ASSERT_FALSE(all_exports().empty());
  for (const ExportCase& c : all_exports()) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(nullptr, -1), -100);
    tq_context* ctx = c.edit == NEEDS_EDIT ? edit.get() : plain.get();
    for (std::size_t i = 0; i < c.checked_names.size(); ++i) {
      SCOPED_TRACE(c.checked_names[i]);
      EXPECT_EQ(c.call(ctx, static_cast<int>(i)), -802);
      uint32_t count = 0;
      tq_error_count_get(ctx, &count);
      EXPECT_EQ(count, 1u);
      int32_t code = 0;
      char text[4100];
      tq_error_info_get(ctx, &code, text);
      EXPECT_EQ(code, -802);
      EXPECT_EQ(std::string(text), "'" + c.checked_names[i] + "' is null.");
    }
    if (c.edit == NEEDS_EDIT && !c.checked_names.empty()) {
      // The edit rule comes before the guards and records nothing.
      EXPECT_EQ(c.call(plain, 0), -501);
      uint32_t count = 9;
      tq_error_count_get(plain, &count);
      EXPECT_EQ(count, 0u);
    }
    if (c.edit == REFUSES_EDIT) {
      EXPECT_EQ(c.call(edit, 0), -500);
      uint32_t count = 9;
      tq_error_count_get(edit, &count);
      EXPECT_EQ(count, 0u);
    }
  }
}

}  // namespace
