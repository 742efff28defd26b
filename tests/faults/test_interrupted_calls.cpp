// An interrupted system call at every step of a load or a save: for each
// workload, the Nth system call of the file layer answers EINTR once (as
// under a signal handler installed without SA_RESTART, or on a network
// file system), for N = 1, 2, ... until a run meets none, and then every
// call at once. Each run must give the clean run's result, error codes and
// output, and leave the knowledge base's files byte for byte as the clean
// run left them, with no temporary file beside them. So must a run where
// the Nth call that leaves its work in the file system (a rename, a link,
// an open that may create, an unlink) is made and then answers EINTR, as a
// network or FUSE file system may. Then the Nth call
// fails for good (EIO; N sampled over the clean run's calls, every N with
// TQ_FAULT_SWEEP=all): whatever the call gives, a failure names that
// cause, never a missing file or an owner it did not read, each file is
// the old one or the clean run's new one, with nothing left beside, and a
// load made again reads what the failure left unread.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "faults/fail_alloc.h"
#include "faults/sample_engines.h"
#include "platform/npfio.h"
#include "support/sample_locales.h"
#include "support/tq_test.h"

namespace {

namespace fs = std::filesystem;
using tq_test::kEveryPart;
using tq_test::kSampleEnusa;

// The file layer's hook: counts the calls of this thread and fails the one
// numbered `nth` (from 1) with `error`, or, with `every`, each call once
// (an interrupted call is made again at once, and that attempt goes
// through). With `made`, only the calls that leave their work in the file
// system are counted, and the one numbered `nth` is made before it fails.
// With `folder_sync`, every folder sync after a rename fails with `error`.
struct Fault {
  long nth = 0;
  int error = EINTR;
  bool every = false;
  bool made = false;
  bool folder_sync = false;
};
bool leaves_work(const char* call) {
  for (const char* name : {"rename", "renameat", "link", "open", "openat", "unlink", "unlinkat", "mkdir"}) {
    if (std::strcmp(call, name) == 0) return true;
  }
  return false;
}
struct Injector {
  static thread_local Fault fault;
  static thread_local long count;
  static thread_local bool failed_last;
  static thread_local const char* failed;  // the call failed, NULL for none
  static thread_local const char* last;
  static thread_local const char* before_last;
  static int hook(const char* call) {
    if (fault.folder_sync) {
      // A save renames in the folder it holds and syncs that (or, by a
      // path, renames, then opens the folder and syncs it).
      const bool now = std::strcmp(call, "fsync") == 0 && before_last != nullptr &&
                       (std::strcmp(before_last, "rename") == 0 || std::strcmp(last, "renameat") == 0);
      before_last = last;
      last = call;
      if (now && failed == nullptr) failed = call;
      return now ? fault.error : 0;
    }
    if (fault.made) {
      if (!leaves_work(call) || ++count != fault.nth) return 0;
      if (failed == nullptr) failed = call;
      return kNpFioFaultAfter | fault.error;
    }
    ++count;
    const bool now = fault.every ? !failed_last : count == fault.nth;
    failed_last = now;
    if (now && failed == nullptr) failed = call;
    return now ? fault.error : 0;
  }
  explicit Injector(Fault f) {
    fault = f;
    count = 0;
    failed_last = false;
    failed = nullptr;
    last = nullptr;
    before_last = nullptr;
    np_fio_fault_set(&hook);
  }
  ~Injector() { np_fio_fault_set(nullptr); }
  Injector(const Injector&) = delete;
  Injector& operator=(const Injector&) = delete;
};
thread_local Fault Injector::fault;
thread_local long Injector::count = 0;
thread_local bool Injector::failed_last = false;
thread_local const char* Injector::failed = nullptr;
thread_local const char* Injector::last = nullptr;
thread_local const char* Injector::before_last = nullptr;

// A run: an edit-mode context on a copy of the sample (or on the sample
// itself, for a workload that only reads), with a lock handle.
struct Run {
  tq_test::TempDir dir;
  fs::path root;
  tq_context* ctx = nullptr;
  tq_lock_handle* lock = nullptr;
  std::string codes;  // every call's error records
  std::string texts;
  void close() {
    if (lock != nullptr) tq_lock_free(ctx, lock);
    if (ctx != nullptr) tq_close(ctx);
    lock = nullptr;
    ctx = nullptr;
  }
  ~Run() { close(); }
};

struct Workload {
  const char* name;
  bool writes;  // on a copy of the sample, whose files are compared after
  std::function<bool(Run&)> setup;
  // The calls whose system calls are interrupted; what they gave, as text.
  std::function<std::string(Run&)> call;
  // What the same context gives when the call is made again with the
  // system back: a failure of the moment is gone then. May be empty.
  std::function<std::string(Run&)> again = nullptr;
  // Whether the root is reached through a symbolic link to the copy, so
  // that a file's own path is not the name it was found by.
  bool linked = false;
};

// What a run gave: the call's text, the error list's codes and texts, and
// (for a workload that writes) every file of the knowledge base afterwards.
struct Outcome {
  std::string out;
  std::string codes;
  std::string texts;
  std::string again;
  std::map<std::string, std::string> files;
  bool operator==(const Outcome&) const = default;
};

std::string codes_of(tq_context* ctx) {
  uint32_t count = 0;
  tq_error_count_get(ctx, &count);
  std::string codes;
  for (uint32_t i = 0; i < count; ++i) {
    int32_t code = 0;
    char text[TQ_ERROR_TEXT_MAX + 1];
    if (tq_error_info_get_by_index(ctx, i, &code, text) == 0) codes += std::to_string(code) + " ";
  }
  return codes;
}

std::map<std::string, std::string> files_of(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = tq_test::read_file(e.path());
  }
  return files;
}

bool open_edit(Run& run, bool load) {
  const std::string root = run.root.string();
  return tq_init_edit_mode(&run.ctx, root.c_str()) >= 0 && tq_session_encoding_set(run.ctx, TQ_ENC_UTF8) >= 0 &&
         tq_zel_path_set(run.ctx, root.c_str()) >= 0 && tq_lock_init(run.ctx, &run.lock) == 0 &&
         (!load || tq_zel_locale_load_edit(run.ctx, kSampleEnusa, kEveryPart, run.lock) >= 0);
}


// One call of a workload: its result as text, its error records kept (the
// next call clears the list).
std::string step(Run& run, int32_t rc) {
  run.codes += codes_of(run.ctx);
  run.texts += tq_test::error_list_text(run.ctx);
  return std::to_string(rc) + ";";
}

// A new resource "w" made in its folder with its edit_new, and saved.
template <auto EditNew, auto Create, auto Save, auto Unload>
std::string save_new(Run& run, const char* folder) {
  int32_t i = -1;
  std::string out = step(run, EditNew(run.ctx, (run.root / folder).string().c_str(), "w", run.lock));
  out += step(run, Create(run.ctx, "w", &i));
  out += step(run, Save(run.ctx, i, run.lock));
  if (i >= 0) Unload(run.ctx, i);
  return out;
}

// An existing resource opened for editing under the run's lock, and saved.
template <auto Edit, auto Save, auto Unload>
std::string edit_save(Run& run, const char* name) {
  int32_t i = -1;
  std::string out = step(run, Edit(run.ctx, name, run.lock, &i));
  out += step(run, Save(run.ctx, i, run.lock));
  if (i >= 0) Unload(run.ctx, i);
  return out;
}

std::vector<Workload> workloads() {
  return {
      {"LocaleLoad", false,
       [](Run& run) {
         const std::string root = run.root.string();
         return tq_init(&run.ctx, root.c_str()) >= 0 && tq_session_encoding_set(run.ctx, TQ_ENC_UTF8) >= 0 &&
                tq_zel_path_set(run.ctx, root.c_str()) >= 0;
       },
       [](Run& run) { return step(run, tq_zel_locale_load(run.ctx, kSampleEnusa, kEveryPart)) + tq_test::sample_engines(run.ctx); },
       // A definition a failed call left unread is read again, and nothing
       // is said of it any more.
       [](Run& run) {
         const int32_t rc = tq_zel_locale_load(run.ctx, kSampleEnusa, kEveryPart);
         return std::to_string(rc) + ";" + tq_test::error_list_text(run.ctx) + tq_test::sample_engines(run.ctx);
       }},
      {"LocaleLoadEdit", true, [](Run& run) { return open_edit(run, false); },
       [](Run& run) {
         return step(run, tq_zel_locale_load_edit(run.ctx, kSampleEnusa, kEveryPart, run.lock)) + tq_test::sample_engines(run.ctx);
       }},
      {"LocaleWrite", true, [](Run& run) { return open_edit(run, true); },
       [](Run& run) { return step(run, tq_locale_write(run.ctx, kSampleEnusa, run.lock)); }},
      {"LocaleLoadEditLinked", true, [](Run& run) { return open_edit(run, false); },
       [](Run& run) {
         return step(run, tq_zel_locale_load_edit(run.ctx, kSampleEnusa, kEveryPart, run.lock)) + tq_test::sample_engines(run.ctx);
       },
       nullptr, true},
      {"LocaleWriteLinked", true, [](Run& run) { return open_edit(run, true); },
       [](Run& run) { return step(run, tq_locale_write(run.ctx, kSampleEnusa, run.lock)); }, nullptr,
       true},
      {"SchemeWrite", true, [](Run& run) { return open_edit(run, true); },
       [](Run& run) {
         return edit_save<tq_scheme_load_edit, tq_scheme_write, tq_transf_scheme_unload>(run, "en_nickname");
       }},
      // The scheme's folder renamed, and a copy put in its place, while the
      // scheme is held: its save and its release reach it where it now is.
      {"SchemeWriteMovedFolder", true, [](Run& run) { return open_edit(run, false); },
       [](Run& run) {
         int32_t i = -1;
         std::string out = step(run, tq_scheme_load_edit(run.ctx, "en_nickname", run.lock, &i));
         fs::rename(run.root / "scheme", run.root / "scheme.old");
         fs::copy(run.root / "scheme.old", run.root / "scheme", fs::copy_options::recursive);
         fs::remove(run.root / "scheme" / "en_nickname.sch.zel.lck");
         out += step(run, tq_scheme_write(run.ctx, i, run.lock));
         // The release too, whose result is its own (the save's is last).
         (void)tq_scheme_close(run.ctx, run.lock);
         if (i >= 0) tq_transf_scheme_unload(run.ctx, i);
         return out;
       }},
      {"XmlWrite", true, [](Run& run) { return open_edit(run, false); },
       [](Run& run) {
         tq_xmldoc* doc = nullptr;
         std::string out = step(run, tq_xml_read(run.ctx, (run.root / "locale" / "en.loc").string().c_str(), 1, &doc));
         out += step(run, tq_xml_write(run.ctx, 0, (run.root / "locale" / "en.loc").string().c_str(), 1, doc));
         tq_xml_free(run.ctx, doc);
         return out;
       }},
      {"VaultWrite", true, [](Run& run) { return open_edit(run, false); },
       [](Run& run) {
         tq_vault_file* h = nullptr;
         std::string out = step(run, tq_zel_vlt_file_edit(run.ctx, "en.loc", 7, &h));
         out += step(run, tq_zel_vlt_file_write(run.ctx, h));
         if (h != nullptr) tq_zel_vlt_file_close(run.ctx, h);
         return out;
       }},
      {"ChopperSave", true, [](Run& run) { return open_edit(run, true); },
       [](Run& run) { return edit_save<tq_chopper_edit, tq_chopper_save, tq_chopper_unload>(run, "en_name"); }},
      {"RegexlibSave", true, [](Run& run) { return open_edit(run, true); },
       [](Run& run) { return edit_save<tq_regexlib_load, tq_regexlib_save, tq_regexlib_unload>(run, "en_comma"); }},
      {"GrammarSave", true, [](Run& run) { return open_edit(run, true); },
       [](Run& run) { return edit_save<tq_grammar_edit, tq_grammar_save, tq_grammar_unload>(run, "en_person"); }},
      {"PhoneticsSave", true, [](Run& run) { return open_edit(run, true); },
       [](Run& run) {
         return save_new<tq_phonetx_edit_new, tq_phonetx_create, tq_phonetx_save, tq_phonetx_unload>(run, "phonetx");
       }},
      // The vocabulary's and the rule set's edit reads, through the place
      // the lock holds.
      {"VocabularyEditSave", true, [](Run& run) { return open_edit(run, true); },
       [](Run& run) {
         return edit_save<tq_vocabulary_load, tq_vocab_save, tq_vocabulary_unload>(run, "en_name_noise");
       }},
      {"PhoneticsEditSave", true, [](Run& run) { return open_edit(run, true); },
       [](Run& run) {
         int32_t i = -1;
         std::string out = step(run, tq_phonetx_edit(run.ctx, "en_name_sound", run.lock));
         out += step(run, tq_phonetx_load(run.ctx, "en_name_sound", &i));
         out += step(run, tq_phonetx_save(run.ctx, i, run.lock));
         if (i >= 0) tq_phonetx_unload(run.ctx, i);
         return out;
       }},
      {"VocabularySave", true, [](Run& run) { return open_edit(run, true); },
       [](Run& run) {
         int32_t v = -1;
         std::string out = step(run, tq_vocab_edit_new(run.ctx, (run.root / "vocab").string().c_str(), "w", run.lock));
         out += step(run, tq_vocabulary_create(run.ctx, &v));
         out += step(run, tq_vocab_save(run.ctx, v, run.lock));
         if (v >= 0) tq_vocabulary_unload(run.ctx, v);
         return out;
       }},
  };
}

// One run of the workload with the fault (nth 0: none). *calls: how many
// system calls the call made; *failed the one failed, NULL for none.
Outcome run_once(const Workload& w, Fault fault, long* calls, const char** failed) {
  Outcome o;
  Run run;
  run.root = TQ_SAMPLE_KB;
  if (w.writes) {
    fs::copy(TQ_SAMPLE_KB, run.dir.path() / "kb", fs::copy_options::recursive);
    run.root = run.dir.path() / "kb";
    if (w.linked) {
      fs::create_directory_symlink(run.root, run.dir.path() / "link");
      run.root = run.dir.path() / "link";
    }
  }
  if (!w.setup(run)) {
    ADD_FAILURE() << "setup: " << tq_test::error_list_text(run.ctx);
    return o;
  }
  {
    Injector inject(fault);
    o.out = w.call(run);
    *calls = Injector::count;
    *failed = Injector::failed;
  }
  o.codes = run.codes;
  o.texts = run.texts;
  if (w.again) o.again = w.again(run);
  if (!w.writes) return o;
  // Compared with what a clean run leaves once every lock is given back.
  run.close();
  o.files = files_of(run.root);
  return o;
}

void PrintTo(const Workload& w, std::ostream* os) { *os << w.name; }

class InterruptedCalls : public ::testing::TestWithParam<Workload> {};

TEST_P(InterruptedCalls, EachInterruptedCallGivesTheCleanRun) {
  const Workload& w = GetParam();
  long clean_calls = 0;
  const char* failed = nullptr;
  const Outcome clean = run_once(w, Fault{}, &clean_calls, &failed);
  ASSERT_GT(clean_calls, 0);
  ASSERT_EQ(clean.codes, "") << clean.out;
  for (const auto& [name, bytes] : clean.files) EXPECT_EQ(name.find(".~tq"), std::string::npos) << name;
  for (long n = 1;; ++n) {
    long calls = 0;
    const Outcome got = run_once(w, Fault{n}, &calls, &failed);
    if (failed == nullptr) break;
    SCOPED_TRACE("system call " + std::to_string(n) + " of " + std::to_string(clean_calls) + " (" + failed + ")");
    EXPECT_EQ(got.out, clean.out);
    EXPECT_EQ(got.codes, clean.codes) << got.texts;
    EXPECT_TRUE(got.files == clean.files) << "the files differ from the clean run's";
    if (::testing::Test::HasFailure()) return;
  }
  long calls = 0;
  const Outcome every = run_once(w, Fault{0, EINTR, true}, &calls, &failed);
  EXPECT_TRUE(every == clean) << "every call interrupted once: " << every.out << "\n" << every.texts;
  if (!w.writes) return;
  for (long n = 1;; ++n) {
    const Outcome got = run_once(w, Fault{n, EINTR, false, true}, &calls, &failed);
    if (failed == nullptr) break;
    SCOPED_TRACE("made, then interrupted: call " + std::to_string(n) + " of those that leave work (" + failed + ")");
    EXPECT_EQ(got.out, clean.out);
    EXPECT_EQ(got.codes, clean.codes) << got.texts;
    EXPECT_TRUE(got.files == clean.files) << "the files differ from the clean run's";
    if (::testing::Test::HasFailure()) return;
  }
}

TEST_P(InterruptedCalls, EachFailedCallIsNamedAndLeavesOldOrNewFiles) {
  const Workload& w = GetParam();
  long clean_calls = 0;
  const char* failed = nullptr;
  const Outcome clean = run_once(w, Fault{}, &clean_calls, &failed);
  ASSERT_EQ(clean.codes, "") << clean.out;
  const std::map<std::string, std::string> old_files = w.writes ? files_of(TQ_SAMPLE_KB) : clean.files;
  // A call made again is checked after a failure at every call, not a
  // sample: which look-up fails decides which definition is left unread.
  for (long n : tq_test::failure_points(clean_calls, w.again ? clean_calls : 48)) {
    long calls = 0;
    const Outcome got = run_once(w, Fault{n, EIO}, &calls, &failed);
    ASSERT_NE(failed, nullptr);
    const std::string call = failed;
    SCOPED_TRACE("system call " + std::to_string(n) + " of " + std::to_string(clean_calls) + " (" + call + ")");
    if (got.codes.find('-') != std::string::npos) {
      EXPECT_NE(got.texts.find("Input/output error"), std::string::npos) << got.texts;
    }
    for (const char* wrong : {"not found", "No such file", "does not exist", "belongs to user"}) {
      EXPECT_EQ(got.texts.find(wrong), std::string::npos) << got.texts;
    }
    EXPECT_EQ(got.again, clean.again);
    // What cannot be removed stays (a lock file, a temporary file), and so
    // does an empty lock file whose opening failed (it may be another
    // editor's, whom removing it would leave unguarded; nobody holds it, and
    // the next edit of the file takes it over), and the empty file an
    // edit_new makes for a new resource until its save. Every other file is
    // the old one or the new one.
    const bool removal_failed = call == "unlink" || call == "unlinkat";
    for (const auto& [name, bytes] : got.files) {
      const auto old_file = old_files.find(name);
      const auto new_file = clean.files.find(name);
      const bool known = (old_file != old_files.end() && old_file->second == bytes) ||
                         (new_file != clean.files.end() && new_file->second == bytes) ||
                         (bytes.empty() && (name.ends_with(".lck") || old_file == old_files.end()));
      EXPECT_TRUE(known || removal_failed) << name << " is neither the old file nor the new one";
    }
    if (::testing::Test::HasFailure()) return;
  }
}

// A save whose folder cannot be forced to the disk has replaced its file,
// and says so with its warning: the caller learns that the file may not
// survive a crash.
TEST_P(InterruptedCalls, AFolderNotSyncedIsTheSavesWarning) {
  const Workload& w = GetParam();
  if (!w.writes) GTEST_SKIP() << "saves nothing";
  long calls = 0;
  const char* failed = nullptr;
  const Outcome clean = run_once(w, Fault{}, &calls, &failed);
  Fault fault;
  fault.error = EIO;
  fault.folder_sync = true;
  const Outcome got = run_once(w, fault, &calls, &failed);
  if (failed == nullptr) GTEST_SKIP() << "replaces no file";
  ASSERT_TRUE(clean.out.ends_with(";0;") || clean.out == "0;") << clean.out;
  EXPECT_EQ(got.out, clean.out.substr(0, clean.out.size() - 2) + "118;");
  EXPECT_TRUE(got.files == clean.files) << "the files differ from the clean run's";
  EXPECT_NE(got.texts.find("could not be forced to the disk (Input/output error)"), std::string::npos) << got.texts;
}

INSTANTIATE_TEST_SUITE_P(Workloads, InterruptedCalls, ::testing::ValuesIn(workloads()),
                         [](const ::testing::TestParamInfo<Workload>& p) { return std::string(p.param.name); });

}  // namespace

namespace {

// The counterpart of a failure of the moment: a file that is missing, or
// can never be read as it stands, is reported once, by the load that met
// it. The next load of the locale answers 0 and says nothing, whatever
// failed in between (here every trace line: the trace file became a
// folder), and the definition naming the file stays not valid.
TEST(FailureCauses, AFaultOfTheKnowledgeBaseIsReportedOnce) {
  struct Row {
    const char* what;
    void (*spoil)(const fs::path& chopper);
    const char* said;
  };
  const Row rows[] = {
      {"a missing file", [](const fs::path& chopper) { fs::remove(chopper); }, "The file 'en_name' was not found"},
      {"a link loop",
       [](const fs::path& chopper) {
         fs::remove(chopper);
         fs::create_symlink(chopper.filename(), chopper);
       },
       "Too many levels of symbolic links"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    tq_test::SampleKbCopy kb;
    row.spoil(kb / "chopinfo" / "en_name.zel");
    const fs::path trace = kb / "trace";
    tq_test::ScopedEnv env("CORVEL_TRACE_FILE", trace.string().c_str());
    tq_test::Context ctx(kb.str().c_str());
    fs::remove(trace);
    fs::create_directory(trace);
    EXPECT_EQ(tq_zel_locale_load(ctx, kSampleEnusa, kEveryPart), TQ_WARN_LOCALE_PROBLEMS);
    EXPECT_NE(tq_test::error_list_text(ctx).find(row.said), std::string::npos) << tq_test::error_list_text(ctx);
    EXPECT_EQ(tq_zel_locale_load(ctx, kSampleEnusa, kEveryPart), 0) << tq_test::error_list_text(ctx);
    uint32_t records = 0;
    EXPECT_EQ(tq_error_count_get(ctx, &records), 0);
    EXPECT_EQ(records, 0u);
    static tq_parse_token tokens[TQ_PARSE_TOKENS];
    uint32_t count = 0;
    EXPECT_EQ(tq_parse(ctx, "Name", tq_test::kSampleName, tokens, &count), TQ_ERR_DEFN_INVALID);
  }
}

}  // namespace
