// Results that agree with their error lists: a call that answers 0 leaves no
// failure in its list (one that went on past a failure says so with a
// warning), and one that fails says why. Tried on the sample knowledge base
// with each of its files in turn held by another program, missing or
// corrupt, through the calls that read it: locale loads (plain, and for
// editing with preparation on reading), resource loads with a first use,
// the engines' first uses, the current-locale switch, unloads, and a
// document read that references another file.
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/file_holder.h"
#include "support/sample_locales.h"
#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::Context;
using tq_test::kEveryPart;
using tq_test::kSampleEnusa;
using tq_test::SampleKbCopy;
namespace fs = std::filesystem;

constexpr int32_t kGerman = 39000, kFrench = 33000, kTurkish = 123000, kLatin1 = 800000;
const int32_t kLocales[] = {kSampleEnusa, kGerman, kFrench, kTurkish};
// Latin-1, loaded as English's parent, holds no locale guess definition: a
// candidate passed over.
const uint32_t kGuessLocales[] = {kSampleEnusa, kLatin1, kGerman};

// What the calls write.
struct Out {
  char text[TQ_STANDARD_SIZE];
  tq_parse_token parse[TQ_PARSE_TOKENS];
  tq_extract_token extract[TQ_EXTRACT_TOKENS];
  uint32_t n;
  int32_t i;
};
struct Step {
  const char* what;
  int32_t (*call)(tq_context*, Out&);
  int32_t (*then)(tq_context*, int32_t, char*) = nullptr;  // on o.i when the call did not fail
};
using C = tq_context*;

const Step kEngineSteps[] = {
    {"tq_parse", [](C c, Out& o) { return tq_parse(c, "Name", "Dr. John Q. Smith Jr.", o.parse, &o.n); }},
    {"tq_standardize", [](C c, Out& o) { return tq_standardize(c, "Name", "Dr. John Smith", o.text); }},
    {"tq_propercase", [](C c, Out& o) { return tq_propercase(c, "Name", "dr. o'brien", o.text, 1024); }},
    {"tq_match", [](C c, Out& o) { return tq_match(c, "Name", 85, "Bill O'Brien", o.text); }},
    {"tq_identify", [](C c, Out& o) { return tq_identify(c, "Name", "Smith and Jones Ltd", o.text); }},
    {"tq_extract", [](C c, Out& o) { return tq_extract(c, "Contact", "John 555-1234", o.extract, &o.n); }},
    {"tq_gender_determine", [](C c, Out& o) { return tq_gender_determine(c, "Name", "Mary", o.text); }},
    {"tq_pattern_analyze", [](C c, Out& o) { return tq_pattern_analyze(c, "Pattern", "Mary", o.text); }},
    {"tq_language_guess_score",
     [](C c, Out& o) { return tq_language_guess_score(c, "English", "the dog and the cat", &o.i); }},
    {"tq_guess_locale",
     [](C c, Out& o) {
       return tq_guess_locale(c, "Language", "der Hund und die Katze", kGuessLocales, nullptr, 3, &o.n);
     }},
};

// Resource loads (the index in o.i), each with a first use: its owner.
const Step kResourceSteps[] = {
    {"tq_chopper_load", [](C c, Out& o) { return tq_chopper_load(c, "en_name", &o.i); }, tq_chopper_owner_get},
    {"tq_grammar_load", [](C c, Out& o) { return tq_grammar_load(c, "en_person", &o.i); }, tq_grammar_owner_get},
    {"tq_regexlib_load", [](C c, Out& o) { return tq_regexlib_load(c, "en_comma", nullptr, &o.i); },
     tq_regexlib_owner_get},
    {"tq_transf_scheme_load", [](C c, Out& o) { return tq_transf_scheme_load(c, "en_nickname", -1, -1, 0, &o.i); },
     tq_scheme_owner_get},
    {"tq_phonetx_load", [](C c, Out& o) { return tq_phonetx_load(c, "en_name_sound", &o.i); }, tq_phonetx_owner_get},
    {"tq_vocabulary_load", [](C c, Out& o) { return tq_vocabulary_load(c, "en_person", nullptr, &o.i); },
     tq_vocab_owner_get},
    {"tq_xml_read",
     [](C c, Out&) {
       tq_xmldoc* doc = nullptr;
       const int32_t rc = tq_xml_read(c, "ref_outer", 0, &doc);
       if (doc != nullptr) tq_xml_free(c, doc);
       return rc;
     }},
};

enum class Fault { held, missing, corrupt };

// One file of the knowledge base held by another program (exclusively),
// taken away, or overwritten with what no reader takes, until the end of
// the scope.
struct Faulted {
  fs::path file, away;
  std::optional<tq_test::FileHolder> holder;
  Faulted(const fs::path& f, Fault fault) : file(f), away(f.string() + ".away") {
    if (fault == Fault::held) {
      holder.emplace(file, LOCK_EX);
      return;
    }
    fs::rename(file, away);
    if (fault == Fault::corrupt) std::ofstream(file, std::ios::binary) << "<file type=\"garbage";
  }
  ~Faulted() {
    if (holder) return;
    fs::remove(file);
    fs::rename(away, file);
  }
  bool ok() const { return !holder || holder->held(); }
};

// The agreement of one call's result with its error list.
void expect_agrees(tq_context* ctx, const std::string& what, int32_t rc) {
  const bool failed = tq_test::failure_recorded(ctx);
  EXPECT_FALSE(rc == 0 && failed) << what << " gave 0 beside a failure\n" << tq_test::error_list_text(ctx);
  EXPECT_FALSE(rc < 0 && !failed) << what << " gave " << rc << " with no failure recorded\n"
                                  << tq_test::error_list_text(ctx);
}

// Each step on ctx, or, given a root (fresh), on a context of its own there.
template <size_t N>
void run(tq_context* ctx, const Step (&steps)[N], const std::string& where, const char* fresh = nullptr) {
  const auto out = std::make_unique<Out>();
  for (const Step& s : steps) {
    std::optional<Context> own;
    if (fresh != nullptr) ctx = own.emplace(fresh);
    int32_t rc = s.call(ctx, *out);
    if (rc >= 0 && s.then != nullptr) rc = s.then(ctx, out->i, out->text);
    expect_agrees(ctx, where + s.what, rc);
  }
}

// An edit-mode context with a lock handle, given back at the end.
struct EditContext : Context {
  tq_lock_handle* lock = nullptr;
  const int32_t init_rc;
  explicit EditContext(const SampleKbCopy& kb) : Context(kb.str().c_str(), true), init_rc(tq_lock_init(*this, &lock)) {}
  ~EditContext() { EXPECT_EQ(tq_lock_free(*this, lock), 0); }
};

// The locales loaded with every part; the engines, the locale switch and the
// unloads on what they left.
void loads_then_uses(tq_context* ctx, tq_lock_handle* lock, const std::string& where) {
  for (int32_t locale : kLocales) {
    const int32_t rc = lock != nullptr ? tq_zel_locale_load_edit(ctx, locale, kEveryPart, lock)
                                       : tq_zel_locale_load(ctx, locale, kEveryPart);
    expect_agrees(ctx, where + "load " + std::to_string(locale) + " ", rc);
  }
  if (tq_locale_set(ctx, kSampleEnusa) != 0) return;
  run(ctx, kEngineSteps, where);
  for (int32_t locale : kLocales) {
    expect_agrees(ctx, where + "tq_locale_set " + std::to_string(locale), tq_locale_set(ctx, locale));
  }
  for (int32_t locale : kLocales) {
    expect_agrees(ctx, where + "tq_zel_locale_unload " + std::to_string(locale), tq_zel_locale_unload(ctx, locale));
  }
}

void sweep(Fault fault) {
  SampleKbCopy kb;
  const std::string root = kb.str();
  // A plain document that references another along the search path.
  fs::create_directories(kb / "casetab");
  {
    Context ctx(root.c_str());
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
    Context warm(root.c_str());
    for (int32_t locale : kLocales) ASSERT_TQ_OK(warm, tq_zel_locale_load(warm, locale, kEveryPart));
    Faulted faulted(file, fault);
    ASSERT_TRUE(faulted.ok());
    ASSERT_EQ(tq_locale_set(warm, kSampleEnusa), 0);
    run(warm, kEngineSteps, where + "first use: ");
    {
      Context plain(root.c_str());
      loads_then_uses(plain, nullptr, where);
    }
    {
      EditContext edit(kb);
      tq_options_set(edit, tq_options_get(edit) | TQ_OPT_PREPARE_ON_READ);
      ASSERT_EQ(edit.init_rc, 0);
      loads_then_uses(edit, edit.lock, where + "edit, prepared: ");
    }
    run(nullptr, kResourceSteps, where, root.c_str());
  }
}

TEST(FileFaults, HeldFilesLeaveResultsThatAgreeWithTheirErrors) { sweep(Fault::held); }
TEST(FileFaults, MissingFilesLeaveResultsThatAgreeWithTheirErrors) { sweep(Fault::missing); }
TEST(FileFaults, CorruptFilesLeaveResultsThatAgreeWithTheirErrors) { sweep(Fault::corrupt); }

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
    ASSERT_EQ(tq_zel_locale_load(ctx, kSampleEnusa, kEveryPart), 0) << tq_test::error_list_text(ctx);
    ASSERT_EQ(tq_identify(ctx, "Name", value, clean), 0) << tq_test::error_list_text(ctx);
  }
  tq_test::FileHolder holder(grammar, LOCK_EX);
  ASSERT_TRUE(holder.held());
  Context ctx(kb.str().c_str());
  EXPECT_EQ(tq_zel_locale_load(ctx, kSampleEnusa, kEveryPart), TQ_WARN_LOCALE_PROBLEMS);
  const std::string errors = tq_test::error_list_text(ctx);
  EXPECT_NE(errors.find("-401: The file '" + grammar.string() + "' is locked by another program or context."),
            std::string::npos)
      << errors;
  EXPECT_NE(errors.find("-401: Grammar 'en_person' could not be loaded."), std::string::npos) << errors;

  Context quiet(kb.str().c_str());
  ASSERT_EQ(tq_error_allow_msgs_set(quiet, 0), 0);
  EXPECT_EQ(tq_zel_locale_load(quiet, kSampleEnusa, kEveryPart), TQ_WARN_LOCALE_PROBLEMS);
  uint32_t count = 1;
  EXPECT_EQ(tq_error_count_get(quiet, &count), 0);
  EXPECT_EQ(count, 0u);

  Context importer(kb.str().c_str());
  tq_xmldoc* english = nullptr;
  ASSERT_EQ(tq_xml_read(importer, (kb / "locale" / "en.loc").string().c_str(), 1, &english), 0);
  ASSERT_EQ(tq_zel_locale_load(importer, kLatin1, kEveryPart), 0) << tq_test::error_list_text(importer);
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
  EditContext other(kb);
  EditContext ctx(kb);
  ASSERT_EQ(other.init_rc, 0);
  ASSERT_EQ(ctx.init_rc, 0);
  ASSERT_EQ(tq_zel_locale_load(ctx, tq_test::kSampleEn, TQ_LOAD_DATATYPES), 0) << tq_test::error_list_text(ctx);
  ASSERT_EQ(tq_lock_create(other, "l1.loc", 7, other.lock, nullptr), 0) << tq_test::error_list_text(other);
  EXPECT_EQ(tq_zel_locale_load_edit(ctx, kSampleEnusa, TQ_LOAD_DATATYPES, ctx.lock), TQ_WARN_LOCALE_PROBLEMS);
  const std::string errors = tq_test::error_list_text(ctx);
  EXPECT_NE(errors.find("-401: The file '" + (kb / "locale" / "l1.loc.zel").string() +
                        "' is locked by another program or context."),
            std::string::npos)
      << errors;
}

// A chopper rule whose vocabulary cannot be had is kept, flagged and
// skipped: its add says so with 105, and so does the call that first reads
// the chopper from its file while the vocabulary is held elsewhere; the
// next call, which reads nothing, gives 0.
TEST(FileFaults, AChopperReadWithoutARuleVocabularyGives105) {
  SampleKbCopy kb;
  for (const char* vocab : {"nosuch", "en_person"}) {
    EditContext ctx(kb);
    ASSERT_EQ(ctx.init_rc, 0);
    int32_t chopper = -1;
    ASSERT_TQ_OK(ctx, tq_chopper_edit(ctx, "en_name", ctx.lock, &chopper));
    uint32_t rule = 0;
    const int32_t rc = tq_chopper_vocab_rule_add(ctx, chopper, vocab, "GIVEN", "", "", 1, "", &rule);
    if (std::string(vocab) == "nosuch") {
      // Not saved: only the rule whose vocabulary is there goes into the file.
      EXPECT_EQ(rc, TQ_WARN_READ_PROBLEMS) << tq_test::error_list_text(ctx);
      EXPECT_NE(tq_test::error_list_text(ctx).find("'nosuch'"), std::string::npos);
    } else {
      ASSERT_EQ(rc, 0) << tq_test::error_list_text(ctx);
      ASSERT_TQ_OK(ctx, tq_chopper_save(ctx, chopper, ctx.lock));
    }
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

namespace {

// A file that is there but cannot be read is named with the system's
// reason, wherever it is met (a resource looked for along the search path,
// a document's reference); only a file that is not there is "not found".
TEST(FileFaults, AFileThatCannotBeReadIsNamedWithItsCause) {
  SampleKbCopy kb;
  fs::create_symlink("loop.zel", kb / "chopinfo" / "loop.zel");
  const std::string long_name(300, 'x');
  struct Row {
    const char* what;
    std::function<int32_t(tq_context*)> call;
    std::string said;
  };
  auto chopper = [](std::string name) {
    return [name](tq_context* ctx) {
      int32_t i = -1;
      return tq_chopper_load(ctx, name.c_str(), &i);
    };
  };
  auto reference = [&](const char* file) {
    return [&kb, file](tq_context* ctx) {
      tq_xmldoc* outer = nullptr;
      const std::string path = (kb / "outer").string();
      int32_t rc = tq_xml_create(ctx, "Outer", "1.0", &outer);
      if (rc >= 0) rc = tq_xml_addref(ctx, outer, "Inner", 2, const_cast<char*>(file));
      // Names as given (8): the reference is the file named.
      if (rc >= 0) rc = tq_xml_write(ctx, 0, path.c_str(), 8, outer);
      tq_xml_free(ctx, outer);
      tq_xmldoc* doc = nullptr;
      if (rc >= 0) rc = tq_xml_read(ctx, path.c_str(), 8, &doc);
      if (doc != nullptr) tq_xml_free(ctx, doc);
      return rc;
    };
  };
  const Row rows[] = {
      {"a name too long for the system", chopper(long_name), "File name too long"},
      {"a link that loops", chopper("loop"), "Too many levels of symbolic links"},
      {"a reference to a device", reference("/dev/zero"), "'/dev/zero' could not be opened: it is not a regular file."},
      {"a name that is nowhere", chopper("nosuch"), "The file 'nosuch' was not found along the search path"},
      {"a reference to nothing", reference("/nonexistent/inner"), "No such file or directory"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Context ctx(kb.str().c_str());
    EXPECT_EQ(row.call(ctx), -400);
    const std::string text = tq_test::error_list_text(ctx);
    EXPECT_NE(text.find(row.said), std::string::npos) << text;
    if (row.said.find("No such file") == std::string::npos && row.said.find("not found") == std::string::npos) {
      EXPECT_EQ(text.find("not found"), std::string::npos) << text;
      EXPECT_EQ(text.find("No such file"), std::string::npos) << text;
    }
  }
}

}  // namespace
