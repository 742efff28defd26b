// Grammar categories as every parse-based call meets them, on copies of the
// sample knowledge base: a grammar that lacks one a parse needs is named by
// the call, and category names find each other alike under every locale.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/tq_test.h"

namespace {

namespace fs = std::filesystem;
using tq_test::Context;

constexpr uint32_t kEveryKind = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_IDENT_DEFNS | TQ_LOAD_STDZN_DEFNS |
                                TQ_LOAD_GENDER_DEFNS | TQ_LOAD_MATCH_DEFNS | TQ_LOAD_CASE_DEFNS |
                                TQ_LOAD_EXTRACT_DEFNS;
constexpr int32_t kEn = 29000;
constexpr const char* kName = "Dr. John Q. Smith Jr";

fs::path sample_source(const std::string& name) {
  return fs::path(TQ_TEST_KB_DIR) / ".." / ".." / "examples" / "kb" / (name + ".xml");
}

// A krxml text written into the knowledge base as the vault file `to`.
void write_vault(const tq_test::TempDir& kb, const std::string& text, const std::string& to) {
  Context maker(kb.str().c_str());
  const fs::path plain = kb.write("variant.xml", text);
  tq_xmldoc* doc = nullptr;
  ASSERT_EQ(tq_xml_read(maker, plain.c_str(), 8, &doc), 0) << tq_test::error_list_text(maker);
  const int32_t rc = tq_xml_write(maker, 0, (kb / to).c_str(), 1, doc);
  tq_xml_free(maker, doc);
  ASSERT_EQ(rc, 0) << to << tq_test::error_list_text(maker);
  fs::remove(plain);
}

// What a parse-based call answers: its result and what it wrote.
struct Call {
  const char* name;
  std::string (*run)(tq_context* ctx, int32_t* rc);
};

std::string tokens_text(const tq_parse_token* tokens, uint32_t n) {
  std::string text;
  for (uint32_t i = 0; i < n; ++i) text += std::to_string(tokens[i].index) + "=" + tokens[i].value + ";";
  return text;
}

const Call kCalls[] = {
    {"tq_parse",
     [](tq_context* c, int32_t* rc) {
       tq_parse_token tokens[TQ_PARSE_TOKENS];
       uint32_t n = 0;
       *rc = tq_parse(c, "Name", kName, tokens, &n);
       return tokens_text(tokens, n);
     }},
    {"tq_standardize",
     [](tq_context* c, int32_t* rc) {
       char out[4096];
       *rc = tq_standardize(c, "Name", kName, out);
       return std::string(out);
     }},
    {"tq_match",
     [](tq_context* c, int32_t* rc) {
       char out[4096];
       *rc = tq_match(c, "Name", 85, kName, out);
       return std::string(out);
     }},
    {"tq_gender_determine",
     [](tq_context* c, int32_t* rc) {
       char out[4096];
       *rc = tq_gender_determine(c, "Name", kName, out);
       return std::string(out);
     }},
    {"tq_identify",
     [](tq_context* c, int32_t* rc) {
       char out[4096];
       *rc = tq_identify(c, "Name", kName, out);
       return std::string(out);
     }},
    {"tq_extract",
     [](tq_context* c, int32_t* rc) {
       tq_extract_token found[TQ_EXTRACT_TOKENS];
       uint32_t n = 0;
       *rc = tq_extract(c, "Contact", "John Smith joined Acme Corp", found, &n);
       std::string text;
       for (uint32_t i = 0; i < n; ++i) text += std::string(found[i].value) + ";";
       return text;
     }},
};

// A grammar that lacks what every parse needs loads, as its locale does;
// each call that parses with it then names the grammar and the fault under
// a code of its own, every time, rather than answering a bare -1.
TEST(GrammarNames, EveryParseBasedCallNamesWhatTheGrammarLacks) {
  const std::string grammar = tq_test::read_file(sample_source("grammar/en_person"));
  struct Variant {
    const char* from;
    const char* to;
    int32_t rc;
    const char* text;
  };
  for (const Variant& v : {
           Variant{"<record key=\"NUM\">", "<record key=\"NUMBER\">", TQ_ERR_RESOURCE_LACKS,
                   "The grammar 'en_person' has no category 'NUM', "},
           Variant{"<field column=\"CategoryQty\">1</field><field column=\"Rule\">PERSON|</field>",
                   "<field column=\"CategoryQty\">0</field><field column=\"Rule\"></field>", TQ_ERR_INVALID_CONTENT,
                   "The grammar 'en_person' has a rule of its category 'NAME' without a right side"},
       }) {
    SCOPED_TRACE(v.to);
    tq_test::SampleKbCopy kb;
    std::string text = grammar;
    const size_t at = text.find(v.from);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, std::string(v.from).size(), v.to);
    write_vault(kb, text, "grammar/en_person.zel");
    Context ctx(kb.str().c_str());
    EXPECT_EQ(tq_zel_locale_load(ctx, 29840, kEveryKind), 0) << tq_test::error_list_text(ctx);
    for (const Call& call : kCalls) {
      for (int again = 0; again < 2; ++again) {
        int32_t rc = 0;
        call.run(ctx, &rc);
        EXPECT_EQ(rc, v.rc) << call.name;
        const std::string errors = tq_test::error_list_text(ctx);
        EXPECT_NE(errors.find(v.text), std::string::npos) << call.name << "\n" << errors;
      }
    }
  }
}

// The same knowledge base, loaded and used under Turkish, Azeri and
// Lithuanian, answers as it does under English: category names are
// uppercased alike under every locale, so "given" never becomes "GİVEN".
// Each row writes names of one kind in lower case, where the knowledge base
// compares them without case.
TEST(GrammarNames, CategoriesFoundAlikeUnderEveryLocale) {
  const std::regex category_key("key=\"([A-Z]+)\"");
  const std::regex rule_text(">([A-Z|]+)</field></record>");
  const std::regex upper_value(">([A-Z][A-Z]+)<");
  const auto lower = [](const std::string& text, const std::regex& pattern) {
    std::string out;
    auto last = text.cbegin();
    for (std::sregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it) {
      const std::smatch& m = *it;
      out.append(last, m[1].first);
      std::string name = m[1].str();
      std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
      out += name;
      last = m[1].second;
    }
    out.append(last, text.cend());
    return out;
  };
  const std::string grammar = tq_test::read_file(sample_source("grammar/en_person"));
  const std::string locale = tq_test::read_file(sample_source("locale/en.loc"));
  // The parse definition's part of the English locale: its sought, token,
  // no-solution, excluded, default and categorization categories.
  const size_t parse_from = locale.find("<include name=\"Parsorithm\">");
  const size_t parse_to = locale.find("<include name=\"Rivoruzeduv\">");
  ASSERT_TRUE(parse_from != std::string::npos && parse_to != std::string::npos && parse_from < parse_to);
  struct Row {
    const char* kind;
    std::string grammar;
    std::string locale;
  };
  const Row rows[] = {
      {"a grammar's categories and rules", lower(lower(grammar, category_key), rule_text), locale},
      {"a parse definition's categories", grammar,
       locale.substr(0, parse_from) + lower(locale.substr(parse_from, parse_to - parse_from), upper_value) +
           locale.substr(parse_to)},
  };
  struct Locale {
    int32_t code;
    const char* description;  // what a locale file names its locale by
    const char* file;
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind);
    tq_test::SampleKbCopy kb;
    write_vault(kb, row.grammar, "grammar/en_person.zel");
    std::vector<std::string> english;
    for (const Locale& l : {Locale{kEn, "English", "en"}, Locale{123792, "Turkish (T\u00fcrkiye)", "trtur"},
                            Locale{800440, "Azerbaijani (Azerbaijan)", "azaze"},
                            Locale{803230, "Lithuanian (Lithuania)", "ltltu"}}) {
      SCOPED_TRACE(l.description);
      // The English definitions as the locale's own, over English's parent.
      std::string text = std::regex_replace(row.locale, std::regex("<property name=\"Locale Description\">English<"),
                                            std::string("<property name=\"Parent Locale\">l1.loc</property>"
                                                        "<property name=\"Locale Description\">") +
                                                l.description + "<");
      write_vault(kb, text, std::string("locale/") + l.file + ".loc.zel");
      Context ctx(kb.str().c_str());
      ASSERT_GE(tq_zel_locale_load(ctx, l.code, kEveryKind), 0) << tq_test::error_list_text(ctx);
      std::vector<std::string> answers;
      for (const Call& call : kCalls) {
        int32_t rc = 0;
        const std::string out = call.run(ctx, &rc);
        if (l.code == kEn) {
          EXPECT_GE(rc, 0) << call.name << "\n" << tq_test::error_list_text(ctx);
        }
        answers.push_back(std::string(call.name) + " " + std::to_string(rc) + " " + out);
      }
      if (l.code == kEn) {
        english = answers;
      } else {
        EXPECT_EQ(answers, english);
      }
    }
  }
}

}  // namespace
