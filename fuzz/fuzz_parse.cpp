// The parse road on the personal-name knowledge base of the tests
// (tests/kb/parse, built once into the scratch knowledge base by the
// library's own writers): each line of the "values" section, and the main
// file as one value, is parsed with every definition, plain and with parse
// info, whose getters are then read, in the session encoding and with the
// conversion options the input's first byte chooses (fuzz_kb.h): the values
// and the definitions' names are given in it.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_kb.h"

namespace {

namespace fs = std::filesystem;

const char* const kDefns[] = {"Name", "Name Split", "Name Limited", "Joined", "Family Only", "Ambiguous"};

// Builds the knowledge base and loads EN; a context that cannot do so
// leaves every input with nothing to parse.
tq_context* name_kb() {
  static tq_context* ctx = [] {
    const fs::path root = tq_fuzz::Kb::fresh().root();
    const fs::path src = fs::path(TQ_TEST_KB_DIR) / "parse";
    {
      tq_fuzz::Context maker(root, true);
      if (!maker.ok()) return static_cast<tq_context*>(nullptr);
      for (const char* f : {"grammar/PersonName", "grammar/Ambiguous", "regexlib/StripPeriods", "regexlib/Initials",
                            "locale/en.loc", "locale/l1.loc"}) {
        tq_xmldoc* doc = nullptr;
        if (tq_xml_read(maker, (src / (std::string(f) + ".xml")).c_str(), 8, &doc) < 0) {
          return static_cast<tq_context*>(nullptr);
        }
        const int32_t rc = tq_xml_write(maker, 0, (root / f).c_str(), 1, doc);
        tq_xml_free(maker, doc);
        if (rc < 0) return static_cast<tq_context*>(nullptr);
      }
      std::error_code ec;
      fs::copy_file(src / "vocab" / "PersonName.xml", root / "vocab" / "PersonNameSource.xml", ec);
      if (ec || tq_vocab_file_convert(maker, 0, "PersonNameSource", "PersonName") < 0) {
        return static_cast<tq_context*>(nullptr);
      }
    }
    tq_context* c = nullptr;
    if (tq_init(&c, root.c_str()) < 0) return static_cast<tq_context*>(nullptr);
    if (tq_session_encoding_set(c, TQ_ENC_UTF8) < 0 ||
        tq_zel_locale_load(c, 29000, TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS) < 0) {
      tq_close(c);
      return static_cast<tq_context*>(nullptr);
    }
    return c;
  }();
  static const bool closed_at_exit = [] {
    std::atexit([] {
      if (ctx != nullptr) tq_close(ctx);
    });
    return true;
  }();
  (void)closed_at_exit;
  return ctx;
}

void read_info(tq_context* ctx, tq_parse_info* info) {
  std::vector<char> text(TQ_PARSE_VALUE_SIZE * 2);
  uint32_t n = 0, value = 0;
  tq_parse_info_chopped_word_list_count_get(ctx, info, &n);
  for (uint32_t i = 0; i <= n; ++i) tq_parse_info_chopped_word_get(ctx, info, static_cast<int32_t>(i), text.data());
  tq_parse_info_preprocessed_info_get(ctx, info, 0, text.data(), &value);
  tq_parse_info_solution_list_count_get(ctx, info, &n);
  for (uint32_t i = 0; i < n && i < 8; ++i) {
    tq_parse_info_solution_score_get(ctx, info, static_cast<int32_t>(i), &value);
    tq_solution_rule* rule = nullptr;
    if (tq_parse_info_solution_rule_get(ctx, info, static_cast<int32_t>(i), &rule) == 0 && rule != nullptr) {
      tq_parse_solution_rule_string_get(ctx, info, rule, text.data());
      tq_solution_rule_free(ctx, rule);
    }
  }
  tq_parse_info_best_solution_score_get(ctx, info, &value);
  tq_parse_info_token_name_get(ctx, info, 0, text.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tq_context* ctx = name_kb();
  if (ctx == nullptr) return 0;
  uint8_t first = 0;
  const uint32_t encoding = tq_fuzz::take_encoding(&data, &size, &first);
  if (tq_session_encoding_set(ctx, encoding) < 0) return 0;
  tq_fuzz::session_options(ctx, first);
  tq_fuzz::Input in = tq_fuzz::split_input(data, size);
  in.values.push_back(in.main);
  std::vector<tq_parse_token> tokens(TQ_PARSE_TOKENS);
  tq_parse_info* info = nullptr;
  if (tq_parse_info_init(ctx, &info) < 0) return 0;
  for (const std::string& given : in.values) {
    const std::string value = tq_fuzz::session_value(given);
    for (const char* defn : kDefns) {
      const std::string name = tq_fuzz::session_name(defn, encoding);
      uint32_t n = 0;
      tq_parse(ctx, name.c_str(), value.c_str(), tokens.data(), &n);
      if (tq_parse_with_info(ctx, name.c_str(), value.c_str(), tokens.data(), &n, info) >= 0) read_info(ctx, info);
    }
  }
  tq_parse_info_free(ctx, info);
  return 0;
}
