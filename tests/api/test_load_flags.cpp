// The table of tq.h of what each operation needs loaded, on the sample
// knowledge base: with exactly the listed flags the operation runs; without
// any one of them it fails, and when the flag left out is one its
// definition names, the messages of the load and of the call name it; when
// it is the operation's own kind, the call's message and the kind's lookup
// by name say that the locale was loaded without it.
#include <cstring>
#include <string>

#include "support/tq_test.h"

namespace {

using tq_test::Context;

constexpr int32_t kEnUsa = 29840;
constexpr const char* kName = "Dr. John Q. Smith Jr";

struct Flag {
  uint32_t bit;
  const char* name;
};
constexpr Flag kFlags[] = {
    {TQ_LOAD_DATATYPES, "TQ_LOAD_DATATYPES"},         {TQ_LOAD_PARSE_DEFNS, "TQ_LOAD_PARSE_DEFNS"},
    {TQ_LOAD_IDENT_DEFNS, "TQ_LOAD_IDENT_DEFNS"},     {TQ_LOAD_STDZN_DEFNS, "TQ_LOAD_STDZN_DEFNS"},
    {TQ_LOAD_GENDER_DEFNS, "TQ_LOAD_GENDER_DEFNS"},   {TQ_LOAD_MATCH_DEFNS, "TQ_LOAD_MATCH_DEFNS"},
    {TQ_LOAD_CASE_DEFNS, "TQ_LOAD_CASE_DEFNS"},       {TQ_LOAD_GUESS_DEFNS, "TQ_LOAD_GUESS_DEFNS"},
    {TQ_LOAD_PATTERN_DEFNS, "TQ_LOAD_PATTERN_DEFNS"}, {TQ_LOAD_EXTRACT_DEFNS, "TQ_LOAD_EXTRACT_DEFNS"},
    {TQ_LOAD_LANGUAGE_DEFNS, "TQ_LOAD_LANGUAGE_DEFNS"},
};

struct Operation {
  const char* name;
  uint32_t flags;   // as the table in tq.h lists them
  uint32_t own;     // the kind of the operation's own definition
  int32_t (*run)(tq_context* ctx);
  int32_t (*lookup)(tq_context* ctx);  // the kind's index by name
};

int32_t g_index = 0;

char g_out[4096];
tq_parse_token g_tokens[TQ_PARSE_TOKENS];
tq_extract_token g_found[TQ_EXTRACT_TOKENS];

const Operation kOperations[] = {
    {"tq_parse", TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS, TQ_LOAD_PARSE_DEFNS,
     [](tq_context* c) {
       uint32_t n = 0;
       return tq_parse(c, "Name", kName, g_tokens, &n);
     },
     [](tq_context* c) { return tq_parse_defn_index_get_by_name(c, "Name", &g_index); }},
    {"tq_standardize", TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_STDZN_DEFNS | TQ_LOAD_CASE_DEFNS,
     TQ_LOAD_STDZN_DEFNS, [](tq_context* c) { return tq_standardize(c, "Name", kName, g_out); },
     [](tq_context* c) { return tq_stdzn_defn_index_get_by_name(c, "Name", &g_index); }},
    {"tq_match", TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_MATCH_DEFNS, TQ_LOAD_MATCH_DEFNS,
     [](tq_context* c) { return tq_match(c, "Name", 85, kName, g_out); },
     [](tq_context* c) { return tq_match_defn_index_get_by_name(c, "Name", &g_index); }},
    {"tq_propercase", TQ_LOAD_DATATYPES | TQ_LOAD_CASE_DEFNS, TQ_LOAD_CASE_DEFNS,
     [](tq_context* c) { return tq_propercase(c, "Name", kName, g_out, static_cast<int32_t>(sizeof g_out)); },
     [](tq_context* c) { return tq_case_defn_index_get_by_name(c, "Name", &g_index); }},
    {"tq_identify", TQ_LOAD_DATATYPES | TQ_LOAD_IDENT_DEFNS, TQ_LOAD_IDENT_DEFNS,
     [](tq_context* c) { return tq_identify(c, "Name", kName, g_out); },
     [](tq_context* c) { return tq_identification_defn_index_get_by_name(c, "Name", &g_index); }},
    {"tq_gender_determine", TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_GENDER_DEFNS, TQ_LOAD_GENDER_DEFNS,
     [](tq_context* c) { return tq_gender_determine(c, "Name", kName, g_out); },
     [](tq_context* c) { return tq_gender_defn_index_get_by_name(c, "Name", &g_index); }},
    {"tq_pattern_analyze", TQ_LOAD_DATATYPES | TQ_LOAD_PATTERN_DEFNS, TQ_LOAD_PATTERN_DEFNS,
     [](tq_context* c) { return tq_pattern_analyze(c, "Pattern", kName, g_out); },
     [](tq_context* c) { return tq_patrn_defn_index_get_by_name(c, "Pattern", &g_index); }},
    {"tq_extract", TQ_LOAD_DATATYPES | TQ_LOAD_EXTRACT_DEFNS, TQ_LOAD_EXTRACT_DEFNS,
     [](tq_context* c) {
       uint32_t n = 0;
       return tq_extract(c, "Contact", "John Smith joined Acme Corp", g_found, &n);
     },
     [](tq_context* c) { return tq_extraction_defn_index_get_by_name(c, "Contact", &g_index); }},
    {"tq_language_guess_score", TQ_LOAD_DATATYPES | TQ_LOAD_LANGUAGE_DEFNS, TQ_LOAD_LANGUAGE_DEFNS,
     [](tq_context* c) {
       int32_t score = 0;
       return tq_language_guess_score(c, "English", kName, &score);
     },
     [](tq_context* c) { return tq_lang_defn_index_get_by_name(c, "English", &g_index); }},
    {"tq_guess_locale", TQ_LOAD_DATATYPES | TQ_LOAD_GUESS_DEFNS | TQ_LOAD_LANGUAGE_DEFNS, TQ_LOAD_GUESS_DEFNS,
     [](tq_context* c) {
       const uint32_t candidates[] = {kEnUsa};
       uint32_t guessed = 0;
       return tq_guess_locale(c, "Language", kName, candidates, nullptr, 1, &guessed);
     },
     [](tq_context* c) { return tq_guess_defn_index_get_by_name(c, "Language", &g_index); }},
};

// The operation on a fresh context whose locale was loaded with `flags`:
// the call's result, with the load's result and both error lists.
struct Outcome {
  int32_t load = 0;
  int32_t rc = 0;
  std::string load_errors;
  std::string call_errors;
  int32_t lookup = 0;
  std::string lookup_errors;
};

Outcome run(const Operation& op, uint32_t flags) {
  Context ctx(TQ_SAMPLE_KB);
  Outcome r;
  r.load = tq_zel_locale_load(ctx, kEnUsa, flags);
  r.load_errors = tq_test::error_list_text(ctx);
  r.rc = op.run(ctx);
  r.call_errors = tq_test::error_list_text(ctx);
  r.lookup = op.lookup(ctx);
  r.lookup_errors = tq_test::error_list_text(ctx);
  return r;
}

TEST(LoadFlags, EachOperationNeedsExactlyTheFlagsOfTheHeaderTable) {
  for (const Operation& op : kOperations) {
    const Outcome all = run(op, op.flags);
    EXPECT_EQ(all.load, 0) << op.name << ": " << all.load_errors;
    EXPECT_GE(all.rc, 0) << op.name << ": " << all.call_errors;
    EXPECT_EQ(all.lookup, 0) << op.name << ": " << all.lookup_errors;
    for (const Flag& flag : kFlags) {
      if ((op.flags & flag.bit) == 0) continue;
      const Outcome r = run(op, op.flags & ~flag.bit);
      const std::string what = std::string(op.name) + " without " + flag.name;
      // No message stands for a datatype that was not loaded by naming
      // an empty one.
      EXPECT_EQ(r.load_errors.find("datatype ''"), std::string::npos) << what << ": " << r.load_errors;
      if (flag.bit == op.own) {
        // Its definition was not read: no definition of the name, and the
        // call and the lookup by name say which flag was left out.
        const std::string why = "the locale was loaded without its ";
        const std::string load_with = std::string("(load it with ") + flag.name + ")";
        EXPECT_EQ(r.rc, TQ_ERR_NAME) << what << ": " << r.call_errors;
        EXPECT_EQ(r.lookup, TQ_ERR_NAME) << what << ": " << r.lookup_errors;
        for (const std::string& errors : {r.call_errors, r.lookup_errors}) {
          EXPECT_NE(errors.find(why), std::string::npos) << what << ": " << errors;
          EXPECT_NE(errors.find(load_with), std::string::npos) << what << ": " << errors;
        }
        continue;
      }
      // Its definition was read, but names what was not: the load warns
      // and the call fails, both naming the flag.
      EXPECT_EQ(r.load, TQ_WARN_LOCALE_PROBLEMS) << what;
      EXPECT_NE(r.load_errors.find(std::string("which was not loaded: load with ") + flag.name), std::string::npos)
          << what << ": " << r.load_errors;
      EXPECT_EQ(r.rc, TQ_ERR_DEFN_INVALID) << what << ": " << r.call_errors;
      EXPECT_NE(r.call_errors.find(std::string("load the locale with ") + flag.name), std::string::npos)
          << what << ": " << r.call_errors;
    }
  }
}

}  // namespace
