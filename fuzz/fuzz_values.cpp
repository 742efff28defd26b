// Values through every engine that reads a caller's text, on the sample
// knowledge base as the build makes it: each line of the "values" section,
// and the main file as one value, is identified, extracted from,
// standardized, proper-cased, upper-cased, given a gender and a pattern,
// scored for a language, guessed a locale, and given match codes (single
// and multicodes), with the sample's definitions, in the session encoding
// and with the conversion options the input's first byte chooses
// (fuzz_kb.h): the values and the definitions' names are given in it.
// The outputs are sized as the header asks for the largest terminator (a
// UCS-2 session's), so any write past them is a fault the sanitizers catch.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_kb.h"

namespace {

constexpr int32_t kEnusa = 29840;
constexpr uint32_t kGuessLocales[] = {29000, 39000, 33000, 123000};

tq_context* sample_kb() {
  static tq_context* ctx = [] {
    tq_context* c = nullptr;
    if (tq_init(&c, nullptr) < 0) return static_cast<tq_context*>(nullptr);
    int32_t rc = tq_session_encoding_set(c, TQ_ENC_UTF8);
    if (rc == 0) rc = tq_zel_path_set(c, TQ_SAMPLE_KB);
    const uint32_t all = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_CASE_DEFNS | TQ_LOAD_STDZN_DEFNS |
                         TQ_LOAD_EXTRACT_DEFNS | TQ_LOAD_GENDER_DEFNS | TQ_LOAD_PATTERN_DEFNS | TQ_LOAD_IDENT_DEFNS |
                         TQ_LOAD_LANGUAGE_DEFNS | TQ_LOAD_GUESS_DEFNS | TQ_LOAD_MATCH_DEFNS;
    if (rc >= 0) rc = tq_zel_locale_load(c, kEnusa, all);
    for (int i = 1; i < 4 && rc >= 0; ++i) {
      rc = tq_zel_locale_load(c, static_cast<int32_t>(kGuessLocales[i]),
                              TQ_LOAD_DATATYPES | TQ_LOAD_LANGUAGE_DEFNS | TQ_LOAD_GUESS_DEFNS);
    }
    if (rc >= 0) rc = tq_locale_set(c, kEnusa);
    if (rc < 0) {
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

// The sample's definitions by name in one session encoding.
struct Names {
  std::string name, contact, pattern, english, language;
  explicit Names(uint32_t encoding)
      : name(tq_fuzz::session_name("Name", encoding)),
        contact(tq_fuzz::session_name("Contact", encoding)),
        pattern(tq_fuzz::session_name("Pattern", encoding)),
        english(tq_fuzz::session_name("English", encoding)),
        language(tq_fuzz::session_name("Language", encoding)) {}
};

// A code of the definition "Name" fills code length x 4 bytes and the
// terminator: the buffer is sized to that, so a longer write is caught.
void match_codes(tq_context* ctx, const Names& names, const char* v) {
  const char* name = names.name.c_str();
  uint32_t bytes = 0;
  int32_t index = -1;
  if (tq_match_defn_index_get_by_name(ctx, name, &index) < 0 ||
      tq_match_defn_matchcode_length_get(ctx, index, &bytes) < 0) {
    return;
  }
  std::vector<char> code(bytes + 1);
  for (uint32_t sens : {95u, 85u, 50u}) tq_match(ctx, name, sens, v, code.data());
  tq_match_multicode_entry* block = nullptr;
  if (tq_match_multicode_output_create(ctx, name, &block) < 0) return;
  uint32_t num = 0;
  tq_match_multicode(ctx, name, 85, v, &block, &num);
  tq_match_multicode_output_destroy(ctx, block);
  // Whole-value codes of 7 characters in exactly 4 x 7 + 1 bytes, and the
  // encoding in place in a copy no larger than the value: neither may grow.
  std::vector<char> exact(4 * 7 + 1);
  tq_match_exact(ctx, v, 7, exact.data());
  tq_match_exact_no_pad(ctx, v, 7, exact.data());
  std::vector<char> copy(v, v + std::strlen(v) + 1);
  tq_match_encode(ctx, copy.data());
}

void run_value(tq_context* ctx, const Names& names, const std::string& value) {
  const std::string text = tq_fuzz::session_value(value);
  const char* v = text.c_str();
  const char* name = names.name.c_str();
  // 1,028 bytes with the terminator: the identification, standardization
  // and pattern outputs as tq.h gives them.
  std::vector<char> out(1028);
  tq_identify(ctx, name, v, out.data());
  static tq_extract_token tokens[TQ_EXTRACT_TOKENS];
  uint32_t count = 0;
  tq_extract(ctx, names.contact.c_str(), v, tokens, &count);
  tq_standardize(ctx, name, v, out.data());
  tq_propercase(ctx, name, v, out.data(), static_cast<int32_t>(out.size()));
  tq_uppercase(ctx, nullptr, v, out.data(), 16);
  // The gender output holds 4 bytes of text and the terminator.
  char gender[4 + 2];
  tq_gender_determine(ctx, name, v, gender);
  tq_pattern_analyze(ctx, names.pattern.c_str(), v, out.data());
  int32_t score = 0;
  tq_language_guess_score(ctx, names.english.c_str(), v, &score);
  uint32_t guessed = 0;
  tq_guess_locale(ctx, names.language.c_str(), v, kGuessLocales, nullptr, 4, &guessed);
  match_codes(ctx, names, v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tq_context* ctx = sample_kb();
  if (ctx == nullptr) return 0;
  uint8_t first = 0;
  const uint32_t encoding = tq_fuzz::take_encoding(&data, &size, &first);
  if (tq_session_encoding_set(ctx, encoding) < 0) return 0;
  tq_fuzz::session_options(ctx, first);
  static const std::vector<Names> names_of = [] {
    std::vector<Names> all;
    for (uint32_t e = 0; e < 16; ++e) all.emplace_back(e);
    return all;
  }();
  const Names& names = names_of[encoding];
  tq_fuzz::Input in = tq_fuzz::split_input(data, size);
  run_value(ctx, names, in.main);
  for (const std::string& v : in.values) run_value(ctx, names, v);
  return 0;
}
