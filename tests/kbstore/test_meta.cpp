// The line lexer and the product table behind the knowledge-base version.
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "kbstore/krmeta.h"
#include "kbstore/krlib.h"
#include "platform/nplex.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

using namespace tq;
using tq_test::TempDir;

std::vector<std::string> split(const std::string& line) {
  char** tokens = nullptr;
  uint32_t count = 99;
  EXPECT_EQ(np_lex_split(line.data(), static_cast<uint32_t>(line.size()), &tokens, &count), kNpLexOk);
  std::vector<std::string> out;
  for (uint32_t i = 0; i < count; ++i) out.emplace_back(tokens[i]);
  EXPECT_EQ(tokens[count], nullptr);
  np_lex_tokens_free(tokens);
  return out;
}

TEST(Lexer, LinesAndTokens) {
  TempDir dir;
  std::string long_line(kNpLexLineMax + 1, 'x');
  auto path = dir.write("m.txt", "first line\r\n\n  a\tb  \r\nlast" "\n" + long_line + "\n");
  np_lex_state* lex = nullptr;
  ASSERT_EQ(np_lex_init(&lex, path.string().c_str()), kNpLexOk);
  const char* line = nullptr;
  uint32_t length = 0;
  std::vector<std::string> lines;
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(np_lex_line(lex, 0, &line, &length), kNpLexOk);
    EXPECT_EQ(std::strlen(line), length);
    lines.emplace_back(line, length);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"first line", "", "  a\tb  ", "last"}));
  EXPECT_EQ(np_lex_line(lex, 0, &line, &length), kNpLexLineTooLong);
  np_lex_clean(lex);

  path = dir.write("n.txt", "no end");
  ASSERT_EQ(np_lex_init(&lex, path.string().c_str()), kNpLexOk);
  ASSERT_EQ(np_lex_line(lex, 0, &line, &length), kNpLexOk);
  EXPECT_STREQ(line, "no end");
  EXPECT_EQ(np_lex_line(lex, 0, &line, &length), kNpLexEnd);
  np_lex_clean(lex);

  EXPECT_EQ(np_lex_init(&lex, (dir / "missing").string().c_str()), kNpLexOpenFailed);
  EXPECT_EQ(lex, nullptr);
  np_lex_clean(nullptr);

  EXPECT_EQ(split("description Knowledge Base - 2009A"),
            (std::vector<std::string>{"description", "Knowledge", "Base", "-", "2009A"}));
  EXPECT_EQ(split(" \t\r\n"), std::vector<std::string>{});
  EXPECT_EQ(split("a\vb\fc"), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(ProductTable, RowsAreWellFormed) {
  std::set<std::string> names, abbrevs;
  std::set<int32_t> codes;
  for (const product_row& row : kProductTable) {
    SCOPED_TRACE(row.name);
    EXPECT_LE(std::strlen(row.name), kProductNameMax);
    EXPECT_GT(std::strlen(row.name), 0u);
    EXPECT_EQ(std::strlen(row.abbrev), 2u);
    EXPECT_TRUE(names.insert(row.name).second);
    EXPECT_TRUE(abbrevs.insert(row.abbrev).second);
    EXPECT_TRUE(codes.insert(row.code).second);
    EXPECT_GE(row.code, 1);
    EXPECT_LE(row.code, 16);
    EXPECT_EQ(product_find_by_name(row.name), &row);
    EXPECT_EQ(product_find_by_abbrev(row.abbrev), &row);
  }
  EXPECT_EQ(codes.size(), 16u);
  EXPECT_EQ(product_find_by_abbrev("zz"), nullptr);
  EXPECT_EQ(product_find_by_name(nullptr), nullptr);
}

}  // namespace

namespace {

using tq::rsrc_callbacks;
using tq_test::BareContext;

TEST(FileIsLoaded, NamesWithAndWithoutTheirExtension) {
  TempDir dir;
  dir.write("addr.zel", "x");
  BareContext bc(dir.str());
  rsrc_callbacks cb{};
  int32_t index = -1;
  ASSERT_GE(tq::rsrc_register(bc.get(), tq::kRsrcGrammar, "addr", &cb, &index), 0);
  EXPECT_EQ(zel_file_is_loaded(bc.get(), "addr"), 0);
  EXPECT_EQ(zel_file_is_loaded(bc.get(), "addr.zel"), 0);
  EXPECT_EQ(zel_file_is_loaded(bc.get(), "addr.xml"), 0);
  EXPECT_EQ(zel_file_is_loaded(bc.get(), "addr.loc"), -1);
  EXPECT_EQ(zel_file_is_loaded(bc.get(), "add"), -1);
  EXPECT_EQ(zel_file_is_loaded(bc.get(), ""), -1);
  EXPECT_EQ(zel_file_is_loaded(bc.get(), ".zel"), -1);
  ASSERT_EQ(tq::rsrc_unref(bc.get(), tq::kRsrcGrammar, index), 0);
  EXPECT_EQ(zel_file_is_loaded(bc.get(), "addr"), -1);
}

}  // namespace
