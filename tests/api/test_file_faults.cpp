// Results that agree with their error lists: a call that answers 0 leaves no
// failure in its list (one that went on past a failure says so with a
// warning), and one that fails says why. Tried on the sample knowledge base
// with each of its files in turn held by another program, missing or
// corrupt, through the calls that read it: locale loads (plain, and for
// editing with preparation on reading), resource loads with a first use,
// the engines' first uses, the current-locale switch, unloads, and a
// document read that references another file.
#include <sys/file.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/file_holder.h"
#include "support/sample_locales.h"
#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::Context;
using tq_test::SampleKbCopy;
namespace fs = std::filesystem;

constexpr int32_t kGerman = 39000;
constexpr int32_t kFrench = 33000;
constexpr int32_t kTurkish = 123000;
constexpr int32_t kLatin1 = 800000;
const int32_t kLocales[] = {tq_test::kSampleEnusa, kGerman, kFrench, kTurkish};
// Latin-1, loaded as English's parent, holds no locale guess definition: a
// candidate passed over.
const uint32_t kGuessLocales[] = {static_cast<uint32_t>(tq_test::kSampleEnusa), kLatin1, kGerman};

using Call = std::function<int32_t(tq_context*)>;
struct Step {
  const char* what;
  Call call;
};

// A call that writes a text.
template <typename F>
Call text_call(F f) {
  return [f](tq_context* c) {
    char text[TQ_STANDARD_SIZE];
    return f(c, text);
  };
}

// A call that fills N token records.
template <typename Token, size_t N, typename F>
Call tokens_call(F f) {
  return [f](tq_context* c) {
    Token tokens[N];
    uint32_t n = 0;
    return f(c, tokens, &n);
  };
}

const std::vector<Step>& engine_steps() {
  using T = char*;
  using P = tq_parse_token*;
  using X = tq_extract_token*;
  using N = uint32_t*;
  static const std::vector<Step> steps = {
      {"tq_parse", tokens_call<tq_parse_token, TQ_PARSE_TOKENS>(
                       [](tq_context* c, P t, N n) { return tq_parse(c, "Name", "Dr. John Q. Smith Jr.", t, n); })},
      {"tq_standardize", text_call([](tq_context* c, T s) { return tq_standardize(c, "Name", "Dr. John Smith", s); })},
      {"tq_propercase", text_call([](tq_context* c, T s) { return tq_propercase(c, "Name", "dr. o'brien", s, 1024); })},
      {"tq_match", text_call([](tq_context* c, T s) { return tq_match(c, "Name", 85, "Bill O'Brien", s); })},
      {"tq_identify", text_call([](tq_context* c, T s) { return tq_identify(c, "Name", "Smith and Jones Ltd", s); })},
      {"tq_extract", tokens_call<tq_extract_token, TQ_EXTRACT_TOKENS>(
                         [](tq_context* c, X t, N n) { return tq_extract(c, "Contact", "John 555-1234", t, n); })},
      {"tq_gender_determine", text_call([](tq_context* c, T s) { return tq_gender_determine(c, "Name", "Mary", s); })},
      {"tq_pattern_analyze", text_call([](tq_context* c, T s) { return tq_pattern_analyze(c, "Pattern", "Mary", s); })},
      {"tq_language_guess_score",
       [](tq_context* c) {
         int32_t n = 0;
         return tq_language_guess_score(c, "English", "the dog and the cat", &n);
       }},
      {"tq_guess_locale",
       [](tq_context* c) {
         uint32_t n = 0;
         return tq_guess_locale(c, "Language", "der Hund und die Katze", kGuessLocales, nullptr, 3, &n);
       }},
  };
  return steps;
}

// A resource load, then a first use (its owner).
template <typename Load, typename Owner>
Step resource_step(const char* what, Load load, Owner owner) {
  return {what, [load, owner](tq_context* c) {
            int32_t index = -1;
            const int32_t rc = load(c, &index);
            char text[TQ_NAME_MAX + 2];
            return rc < 0 ? rc : owner(c, index, text);
          }};
}

const std::vector<Step>& resource_steps() {
  using I = int32_t*;
  static const std::vector<Step> steps = {
      resource_step("tq_chopper_load", [](tq_context* c, I i) { return tq_chopper_load(c, "en_name", i); },
                    tq_chopper_owner_get),
      resource_step("tq_grammar_load", [](tq_context* c, I i) { return tq_grammar_load(c, "en_person", i); },
                    tq_grammar_owner_get),
      resource_step("tq_regexlib_load", [](tq_context* c, I i) { return tq_regexlib_load(c, "en_comma", nullptr, i); },
                    tq_regexlib_owner_get),
      resource_step("tq_transf_scheme_load",
                    [](tq_context* c, I i) { return tq_transf_scheme_load(c, "en_nickname", -1, -1, 0, i); },
                    tq_scheme_owner_get),
      resource_step("tq_phonetx_load", [](tq_context* c, I i) { return tq_phonetx_load(c, "en_name_sound", i); },
                    tq_phonetx_owner_get),
      resource_step("tq_vocabulary_load",
                    [](tq_context* c, I i) { return tq_vocabulary_load(c, "en_person", nullptr, i); },
                    tq_vocab_owner_get),
      {"tq_xml_read",
       [](tq_context* c) {
         tq_xmldoc* doc = nullptr;
         const int32_t rc = tq_xml_read(c, "ref_outer", 0, &doc);
         if (doc != nullptr) tq_xml_free(c, doc);
         return rc;
       }},
  };
  return steps;
}

enum class Fault { held, missing, corrupt };

// One file of the knowledge base held by another program (exclusively),
// taken away, or overwritten with what no reader takes, until the end of
// the scope.
class Faulted {
 public:
  Faulted(const fs::path& file, Fault fault) : file_(file), away_(file.string() + ".away") {
    if (fault == Fault::held) {
      holder_ = std::make_unique<tq_test::FileHolder>(file, LOCK_EX);
      ok_ = holder_->held();
      return;
    }
    fs::rename(file_, away_);
    if (fault == Fault::corrupt) std::ofstream(file_, std::ios::binary) << "<file type=\"garbage";
    ok_ = true;
  }
  ~Faulted() {
    if (holder_ != nullptr) return;
    fs::remove(file_);
    fs::rename(away_, file_);
  }
  Faulted(const Faulted&) = delete;
  Faulted& operator=(const Faulted&) = delete;
  bool ok() const { return ok_; }

 private:
  fs::path file_;
  fs::path away_;
  std::unique_ptr<tq_test::FileHolder> holder_;
  bool ok_ = false;
};

// The agreement of one call's result with its error list.
void expect_agrees(tq_context* ctx, const std::string& what, int32_t rc) {
  const bool failed = tq_test::failure_recorded(ctx);
  EXPECT_FALSE(rc == 0 && failed) << what << " gave 0 beside a failure\n" << tq_test::error_list_text(ctx);
  EXPECT_FALSE(rc < 0 && !failed) << what << " gave " << rc << " with no failure recorded\n"
                                  << tq_test::error_list_text(ctx);
}

void run(tq_context* ctx, const std::vector<Step>& steps, const std::string& where) {
  for (const Step& s : steps) expect_agrees(ctx, where + s.what, s.call(ctx));
}

// The locales loaded with every part; the engines, the locale switch and the
// unloads on what they left.
void loads_then_uses(tq_context* ctx, tq_lock_handle* lock, const std::string& where) {
  for (int32_t locale : kLocales) {
    const std::string what = where + "load " + std::to_string(locale) + " ";
    const int32_t rc = lock != nullptr ? tq_zel_locale_load_edit(ctx, locale, tq_test::kEveryPart, lock)
                                       : tq_zel_locale_load(ctx, locale, tq_test::kEveryPart);
    expect_agrees(ctx, what, rc);
  }
  if (tq_locale_set(ctx, tq_test::kSampleEnusa) != 0) return;
  run(ctx, engine_steps(), where);
  for (int32_t locale : kLocales) {
    expect_agrees(ctx, where + "tq_locale_set " + std::to_string(locale), tq_locale_set(ctx, locale));
  }
  for (int32_t locale : kLocales) {
    expect_agrees(ctx, where + "tq_zel_locale_unload " + std::to_string(locale), tq_zel_locale_unload(ctx, locale));
  }
}

void sweep(Fault fault) {
  SampleKbCopy kb;
  // A plain document that references another along the search path.
  fs::create_directories(kb / "casetab");
  {
    Context ctx(kb.str().c_str());
    tq_xmldoc* inner = nullptr;
    tq_xmldoc* outer = nullptr;
    ASSERT_EQ(tq_xml_create(ctx, "Inner", "1.0", &inner), 0);
    ASSERT_EQ(tq_xml_write(ctx, 0, (kb / "casetab" / "ref_inner").string().c_str(), 0, inner), 0)
        << tq_test::error_list_text(ctx);
    tq_xml_free(ctx, inner);
    ASSERT_EQ(tq_xml_create(ctx, "Outer", "1.0", &outer), 0);
    ASSERT_EQ(tq_xml_addref(ctx, outer, "Inner", 2, const_cast<char*>("ref_inner")), 0);
    ASSERT_EQ(tq_xml_write(ctx, 0, (kb / "casetab" / "ref_outer").string().c_str(), 0, outer), 0)
        << tq_test::error_list_text(ctx);
    tq_xml_free(ctx, outer);
  }
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(kb.path())) {
    if (entry.is_regular_file() && entry.path().extension() != ".stamp") files.push_back(entry.path());
  }
  ASSERT_GT(files.size(), 30u);
  for (const fs::path& file : files) {
    const std::string where = fs::relative(file, kb.path()).string() + ": ";
    SCOPED_TRACE(where);
    // Loaded before the fault: what the engines read on first use.
    Context warm(kb.str().c_str());
    for (int32_t locale : kLocales) ASSERT_TQ_OK(warm, tq_zel_locale_load(warm, locale, tq_test::kEveryPart));
    Faulted faulted(file, fault);
    ASSERT_TRUE(faulted.ok());
    ASSERT_EQ(tq_locale_set(warm, tq_test::kSampleEnusa), 0);
    run(warm, engine_steps(), where + "first use: ");
    {
      Context plain(kb.str().c_str());
      loads_then_uses(plain, nullptr, where);
    }
    {
      Context edit(kb.str().c_str(), true);
      tq_options_set(edit, tq_options_get(edit) | TQ_OPT_PREPARE_ON_READ);
      tq_lock_handle* lock = nullptr;
      ASSERT_EQ(tq_lock_init(edit, &lock), 0);
      loads_then_uses(edit, lock, where + "edit, prepared: ");
      EXPECT_EQ(tq_lock_free(edit, lock), 0);
    }
    for (const Step& s : resource_steps()) {
      Context fresh(kb.str().c_str());
      expect_agrees(fresh, where + s.what, s.call(fresh));
    }
  }
}

TEST(FileFaults, HeldFilesLeaveResultsThatAgreeWithTheirErrors) { sweep(Fault::held); }
TEST(FileFaults, MissingFilesLeaveResultsThatAgreeWithTheirErrors) { sweep(Fault::missing); }
TEST(FileFaults, CorruptFilesLeaveResultsThatAgreeWithTheirErrors) { sweep(Fault::corrupt); }

}  // namespace

namespace {

// The identification definition that names a held grammar stays valid and
// reads it on first use, but the load that could not read it now says so:
// 104 with the failures in its list, whether or not messages are allowed,
// and 105 from an import of the same definitions. Once the holder lets go,
// the definition identifies as on a knowledge base never held.
TEST(FileFaults, ALoadThatCouldNotReadAGrammarGives104) {
  SampleKbCopy kb;
  const fs::path grammar = kb / "grammar" / "en_person.zel";
  const char* const value = "Smith and Jones Ltd";
  char clean[1100] = "";
  {
    Context ctx(kb.str().c_str());
    ASSERT_EQ(tq_zel_locale_load(ctx, tq_test::kSampleEnusa, tq_test::kEveryPart), 0)
        << tq_test::error_list_text(ctx);
    ASSERT_EQ(tq_identify(ctx, "Name", value, clean), 0) << tq_test::error_list_text(ctx);
  }
  tq_test::FileHolder holder(grammar, LOCK_EX);
  ASSERT_TRUE(holder.held());
  Context ctx(kb.str().c_str());
  EXPECT_EQ(tq_zel_locale_load(ctx, tq_test::kSampleEnusa, tq_test::kEveryPart), TQ_WARN_LOCALE_PROBLEMS);
  const std::string errors = tq_test::error_list_text(ctx);
  EXPECT_NE(errors.find("-401: The file '" + grammar.string() + "' is locked by another program or context."),
            std::string::npos)
      << errors;
  EXPECT_NE(errors.find("-401: Grammar 'en_person' could not be loaded."), std::string::npos) << errors;

  Context quiet(kb.str().c_str());
  ASSERT_EQ(tq_error_allow_msgs_set(quiet, 0), 0);
  EXPECT_EQ(tq_zel_locale_load(quiet, tq_test::kSampleEnusa, tq_test::kEveryPart), TQ_WARN_LOCALE_PROBLEMS);
  uint32_t count = 1;
  EXPECT_EQ(tq_error_count_get(quiet, &count), 0);
  EXPECT_EQ(count, 0u);

  Context importer(kb.str().c_str());
  tq_xmldoc* english = nullptr;
  ASSERT_EQ(tq_xml_read(importer, (kb / "locale" / "en.loc").string().c_str(), 1, &english), 0);
  ASSERT_EQ(tq_zel_locale_load(importer, kLatin1, tq_test::kEveryPart), 0) << tq_test::error_list_text(importer);
  EXPECT_EQ(tq_locale_import(importer, english), TQ_WARN_READ_PROBLEMS) << tq_test::error_list_text(importer);
  tq_xml_free(importer, english);

  holder.release();
  char out[1100] = "";
  EXPECT_EQ(tq_identify(ctx, "Name", value, out), 0) << tq_test::error_list_text(ctx);
  EXPECT_STREQ(out, clean);
}

// A load for editing locks the files of the ancestors already loaded too;
// one that another context has locked is left unlocked, and the load says
// so with 104.
TEST(FileFaults, AnEditLoadThatCannotLockAnAncestorGives104) {
  SampleKbCopy kb;
  Context other(kb.str().c_str(), true);
  Context ctx(kb.str().c_str(), true);
  tq_lock_handle* theirs = nullptr;
  tq_lock_handle* mine = nullptr;
  ASSERT_EQ(tq_lock_init(other, &theirs), 0);
  ASSERT_EQ(tq_lock_init(ctx, &mine), 0);
  ASSERT_EQ(tq_zel_locale_load(ctx, tq_test::kSampleEn, TQ_LOAD_DATATYPES), 0) << tq_test::error_list_text(ctx);
  ASSERT_EQ(tq_lock_create(other, "l1.loc", 7, theirs, nullptr), 0) << tq_test::error_list_text(other);
  EXPECT_EQ(tq_zel_locale_load_edit(ctx, tq_test::kSampleEnusa, TQ_LOAD_DATATYPES, mine), TQ_WARN_LOCALE_PROBLEMS);
  const std::string errors = tq_test::error_list_text(ctx);
  EXPECT_NE(errors.find("-401: The file '" + (kb / "locale" / "l1.loc.zel").string() +
                        "' is locked by another program or context."),
            std::string::npos)
      << errors;
  EXPECT_EQ(tq_lock_free(ctx, mine), 0);
  EXPECT_EQ(tq_lock_free(other, theirs), 0);
}

// A chopper rule whose vocabulary cannot be had is kept, flagged and
// skipped: its add says so with 105, and so does the call that first reads
// the chopper from its file while the vocabulary is held elsewhere; the
// next call, which reads nothing, gives 0.
TEST(FileFaults, AChopperReadWithoutARuleVocabularyGives105) {
  SampleKbCopy kb;
  for (const char* vocab : {"nosuch", "en_person"}) {
    Context ctx(kb.str().c_str(), true);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
    int32_t chopper = -1;
    ASSERT_TQ_OK(ctx, tq_chopper_edit(ctx, "en_name", lock, &chopper));
    uint32_t rule = 0;
    const int32_t rc = tq_chopper_vocab_rule_add(ctx, chopper, vocab, "GIVEN", "", "", 1, "", &rule);
    if (std::string(vocab) == "nosuch") {
      // Not saved: only the rule whose vocabulary is there goes into the file.
      EXPECT_EQ(rc, TQ_WARN_READ_PROBLEMS) << tq_test::error_list_text(ctx);
      EXPECT_NE(tq_test::error_list_text(ctx).find("'nosuch'"), std::string::npos);
    } else {
      ASSERT_EQ(rc, 0) << tq_test::error_list_text(ctx);
      ASSERT_TQ_OK(ctx, tq_chopper_save(ctx, chopper, lock));
    }
    EXPECT_EQ(tq_lock_free(ctx, lock), 0);
  }
  tq_test::FileHolder holder(kb / "vocab" / "en_person.zev", LOCK_EX);
  ASSERT_TRUE(holder.held());
  Context ctx(kb.str().c_str());
  int32_t chopper = -1;
  ASSERT_EQ(tq_chopper_load(ctx, "en_name", &chopper), 0) << tq_test::error_list_text(ctx);
  uint32_t count = 0;
  EXPECT_EQ(tq_chopper_rules_list_count(ctx, chopper, &count), TQ_WARN_READ_PROBLEMS);
  EXPECT_NE(tq_test::error_list_text(ctx).find("is locked by another program or context."), std::string::npos)
      << tq_test::error_list_text(ctx);
  ASSERT_GT(count, 0u);
  std::vector<uint32_t> rules(count);
  ASSERT_EQ(tq_chopper_rules_list_get(ctx, chopper, rules.data()), 0) << tq_test::error_list_text(ctx);
  uint32_t errors = 0;
  EXPECT_EQ(tq_chopper_rule_errors_get(ctx, chopper, rules.back(), &errors), 0);
  EXPECT_EQ(errors, TQ_CHOP_RULE_ERR_VOCAB | TQ_CHOP_RULE_ERR_CATEGORY);
}

}  // namespace
