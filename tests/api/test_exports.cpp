// The library's exported symbols, and the frame's argument guards on every
// framed export.
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <span>
#include <string>
#include <vector>

#include "api/export_guard.h"
#include "support/tq_test.h"

namespace {

using tq_export_guard::ExportCase;
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

// The library reaches ICU through its public interface alone: no name of
// ICU's private functions (uprv_, "Unicode private"), which an ICU that
// exports only its public interface lacks.
TEST(Exports, LibraryNeedsNoPrivateIcuName) {
  const std::string cmd = std::string("nm -D --undefined-only '") + TQ_LIBRARY_PATH + "'";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  char line[1024];
  int names = 0;
  while (std::fgets(line, sizeof line, p) != nullptr) {
    std::istringstream in(line);
    std::string type, name;
    in >> type >> name;
    ++names;
    EXPECT_NE(name.rfind("uprv_", 0), 0u) << name;
  }
  pclose(p);
  EXPECT_GT(names, 0);
}

// ---- Every framed export: NULL context, then NULL in each checked pointer.
// The rows come from the export tables, one generated unit per table
// (export_guard.h).

struct TableRows {
  std::string table;
  const ExportCase* rows;
  std::size_t count;
};

std::vector<TableRows>& tables() {
  static std::vector<TableRows> all;
  return all;
}

alignas(16) std::array<char, 1 << 16> g_scratch{};

TEST(Exports, EveryFramedExportGuardsItsArguments) {
  Context plain;
  Context edit(nullptr, true);
  // Every table listed in src/api/tables/all.def has its unit.
  ASSERT_EQ(tables().size(), static_cast<std::size_t>(TQ_EXPORT_TABLE_COUNT));
  std::size_t rows = 0;
  std::size_t null_checks = 0;
  for (const TableRows& t : tables()) {
    SCOPED_TRACE(t.table);
    for (const ExportCase& c : std::span(t.rows, t.count)) {
      SCOPED_TRACE(c.name);
      ++rows;
      EXPECT_EQ(c.call(nullptr, nullptr), -100);
      tq_context* ctx = c.edit == NEEDS_EDIT ? edit.get() : plain.get();
      for (const char* name : c.checked) {
        if (name == nullptr) break;
        SCOPED_TRACE(name);
        ++null_checks;
        EXPECT_EQ(c.call(ctx, name), -802);
        uint32_t count = 0;
        tq_error_count_get(ctx, &count);
        EXPECT_EQ(count, 1u);
        int32_t code = 0;
        char text[4100];
        tq_error_info_get(ctx, &code, text);
        EXPECT_EQ(code, -802);
        EXPECT_EQ(std::string(text), "'" + std::string(name) + "' is null.");
      }
      if (c.edit == NEEDS_EDIT && c.checked[0] != nullptr) {
        // The edit rule comes before the guards and records nothing.
        EXPECT_EQ(c.call(plain, c.checked[0]), -501);
        uint32_t count = 9;
        tq_error_count_get(plain, &count);
        EXPECT_EQ(count, 0u);
      }
      if (c.edit == REFUSES_EDIT) {
        EXPECT_EQ(c.call(edit, c.checked[0]), -500);
        uint32_t count = 9;
        tq_error_count_get(edit, &count);
        EXPECT_EQ(count, 0u);
      }
    }
  }
  RecordProperty("exports", static_cast<int>(rows));
  RecordProperty("null_checks", static_cast<int>(null_checks));
}

}  // namespace

void* tq_export_guard::scratch() { return g_scratch.data(); }

tq_export_guard::Table::Table(const char* table_name, const ExportCase* table_rows, std::size_t count) {
  tables().push_back({table_name, table_rows, count});
}
