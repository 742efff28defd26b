// An interrupted system call at every step of a load or a save: for each
// workload, the Nth system call of the file layer answers EINTR once (as
// under a signal handler installed without SA_RESTART, or on a network
// file system), for N = 1, 2, ... until a run meets none, and then every
// call at once. Each run must give the clean run's result, error codes and
// output, and leave the knowledge base's files byte for byte as the clean
// run left them, with no temporary file beside them.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/npfio.h"
#include "support/sample_locales.h"
#include "support/tq_test.h"

namespace {

namespace fs = std::filesystem;
using tq_test::kEveryPart;
using tq_test::kSampleEnusa;

// The file layer's hook: counts the calls of this thread and interrupts the
// one numbered `nth` (from 1), or, with `every`, each call once (a call
// interrupted is made again at once, and that attempt goes through).
struct Interrupter {
  static thread_local long count;
  static thread_local long nth;
  static thread_local bool every;
  static thread_local bool interrupted_last;
  static thread_local bool met;
  static int hook(const char*) {
    ++count;
    const bool now = every ? !interrupted_last : count == nth;
    interrupted_last = now;
    met = met || now;
    return now ? EINTR : 0;
  }
  Interrupter(long n, bool all) {
    count = 0;
    nth = n;
    every = all;
    interrupted_last = false;
    met = false;
    np_fio_fault_set(&hook);
  }
  ~Interrupter() { np_fio_fault_set(nullptr); }
  Interrupter(const Interrupter&) = delete;
  Interrupter& operator=(const Interrupter&) = delete;
};
thread_local long Interrupter::count = 0;
thread_local long Interrupter::nth = 0;
thread_local bool Interrupter::every = false;
thread_local bool Interrupter::interrupted_last = false;
thread_local bool Interrupter::met = false;

// A run: an edit-mode context on a copy of the sample (or on the sample
// itself, for a workload that only reads), with a lock handle.
struct Run {
  tq_test::TempDir dir;
  fs::path root;
  tq_context* ctx = nullptr;
  tq_lock_handle* lock = nullptr;
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
};

// What a run gave: the call's text, the error list's codes, and (for a
// workload that writes) every file of the knowledge base afterwards.
struct Outcome {
  std::string out;
  std::string codes;
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

const char kName[] = "Dr. Bill O'Brien Jr";

// Every engine of the sample on one name, as text.
std::string engines(tq_context* ctx) {
  char out[4096];
  std::string all;
  auto add = [&](int32_t rc) { all += std::to_string(rc) + ":" + (rc >= 0 ? out : "") + "|"; };
  add(tq_propercase(ctx, "Name", kName, out, sizeof out));
  add(tq_standardize(ctx, "Name", kName, out));
  add(tq_match(ctx, "Name", 85, kName, out));
  add(tq_gender_determine(ctx, "Name", kName, out));
  add(tq_identify(ctx, "Name", kName, out));
  add(tq_pattern_analyze(ctx, "Pattern", kName, out));
  return all;
}

std::string rc_text(int32_t rc) { return std::to_string(rc) + ";"; }

// A new resource "w" made in its folder with its edit_new, and saved.
template <auto EditNew, auto Create, auto Save, auto Unload>
std::string save_new(Run& run, const char* folder) {
  int32_t i = -1;
  std::string out = rc_text(EditNew(run.ctx, (run.root / folder).string().c_str(), "w", run.lock));
  out += rc_text(Create(run.ctx, "w", &i));
  out += rc_text(Save(run.ctx, i, run.lock));
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
       [](Run& run) { return rc_text(tq_zel_locale_load(run.ctx, kSampleEnusa, kEveryPart)) + engines(run.ctx); }},
      {"LocaleLoadEdit", true, [](Run& run) { return open_edit(run, false); },
       [](Run& run) {
         return rc_text(tq_zel_locale_load_edit(run.ctx, kSampleEnusa, kEveryPart, run.lock)) + engines(run.ctx);
       }},
      {"LocaleWrite", true, [](Run& run) { return open_edit(run, true); },
       [](Run& run) { return rc_text(tq_locale_write(run.ctx, kSampleEnusa, run.lock)); }},
      {"SchemeWrite", true, [](Run& run) { return open_edit(run, true); },
       [](Run& run) {
         int32_t i = -1;
         std::string out = rc_text(tq_scheme_load_edit(run.ctx, "en_nickname", run.lock, &i));
         out += rc_text(tq_scheme_write(run.ctx, i, run.lock));
         if (i >= 0) tq_scheme_unload_edit(run.ctx, i, run.lock);
         return out;
       }},
      {"XmlWrite", true, [](Run& run) { return open_edit(run, false); },
       [](Run& run) {
         tq_xmldoc* doc = nullptr;
         std::string out = rc_text(tq_xml_read(run.ctx, (run.root / "locale" / "en.loc").string().c_str(), 1, &doc));
         out += rc_text(tq_xml_write(run.ctx, 0, (run.root / "locale" / "en.loc").string().c_str(), 1, doc));
         tq_xml_free(run.ctx, doc);
         return out;
       }},
      {"VaultWrite", true, [](Run& run) { return open_edit(run, false); },
       [](Run& run) {
         tq_vault_file* h = nullptr;
         std::string out = rc_text(tq_zel_vlt_file_edit(run.ctx, "en.loc", 7, &h));
         out += rc_text(tq_zel_vlt_file_write(run.ctx, h));
         if (h != nullptr) tq_zel_vlt_file_close(run.ctx, h);
         return out;
       }},
      {"ChopperSave", true, [](Run& run) { return open_edit(run, true); },
       [](Run& run) {
         int32_t i = -1;
         std::string out = rc_text(tq_chopper_edit(run.ctx, "en_name", run.lock, &i));
         out += rc_text(tq_chopper_save(run.ctx, i, run.lock));
         if (i >= 0) tq_chopper_unload(run.ctx, i);
         return out;
       }},
      {"RegexlibSave", true, [](Run& run) { return open_edit(run, true); },
       [](Run& run) {
         int32_t i = -1;
         std::string out = rc_text(tq_regexlib_load(run.ctx, "en_comma", run.lock, &i));
         out += rc_text(tq_regexlib_save(run.ctx, i, run.lock));
         if (i >= 0) tq_regexlib_unload(run.ctx, i);
         return out;
       }},
      {"GrammarSave", true, [](Run& run) { return open_edit(run, true); },
       [](Run& run) {
         int32_t i = -1;
         std::string out = rc_text(tq_grammar_edit(run.ctx, "en_person", run.lock, &i));
         out += rc_text(tq_grammar_save(run.ctx, i, run.lock));
         if (i >= 0) tq_grammar_unload(run.ctx, i);
         return out;
       }},
      {"PhoneticsSave", true, [](Run& run) { return open_edit(run, true); },
       [](Run& run) {
         return save_new<tq_phonetx_edit_new, tq_phonetx_create, tq_phonetx_save, tq_phonetx_unload>(run, "phonetx");
       }},
      {"VocabularySave", true, [](Run& run) { return open_edit(run, true); },
       [](Run& run) {
         int32_t v = -1;
         std::string out = rc_text(tq_vocab_edit_new(run.ctx, (run.root / "vocab").string().c_str(), "w", run.lock));
         out += rc_text(tq_vocabulary_create(run.ctx, &v));
         out += rc_text(tq_vocab_save(run.ctx, v, run.lock));
         if (v >= 0) tq_vocabulary_unload(run.ctx, v);
         return out;
       }},
  };
}

// One run of the workload, the Nth system call of its call interrupted (0:
// none; `every`: each once). *calls: how many the call made; *met whether
// one was interrupted.
Outcome run_once(const Workload& w, long nth, bool every, long* calls, bool* met) {
  Outcome o;
  Run run;
  run.root = TQ_SAMPLE_KB;
  if (w.writes) {
    fs::copy(TQ_SAMPLE_KB, run.dir.path() / "kb", fs::copy_options::recursive);
    run.root = run.dir.path() / "kb";
  }
  if (!w.setup(run)) {
    ADD_FAILURE() << "setup: " << tq_test::error_list_text(run.ctx);
    return o;
  }
  {
    Interrupter interrupt(nth, every);
    o.out = w.call(run);
    *calls = Interrupter::count;
    *met = Interrupter::met;
  }
  o.codes = codes_of(run.ctx);
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
  bool met = false;
  const Outcome clean = run_once(w, 0, false, &clean_calls, &met);
  ASSERT_GT(clean_calls, 0);
  ASSERT_EQ(clean.codes, "") << clean.out;
  for (const auto& [name, bytes] : clean.files) EXPECT_EQ(name.find(".~tq"), std::string::npos) << name;
  for (long n = 1;; ++n) {
    long calls = 0;
    const Outcome got = run_once(w, n, false, &calls, &met);
    if (!met) break;
    EXPECT_EQ(got.out, clean.out) << "system call " << n << " of " << clean_calls;
    EXPECT_EQ(got.codes, clean.codes) << "system call " << n << " of " << clean_calls;
    EXPECT_TRUE(got.files == clean.files) << "system call " << n << " of " << clean_calls
                                          << ": the files differ from the clean run's";
    if (::testing::Test::HasFailure()) return;
  }
  long calls = 0;
  const Outcome every = run_once(w, 0, true, &calls, &met);
  EXPECT_TRUE(every == clean) << "every call interrupted once: " << every.out << " / " << every.codes;
}

INSTANTIATE_TEST_SUITE_P(Workloads, InterruptedCalls, ::testing::ValuesIn(workloads()),
                         [](const ::testing::TestParamInfo<Workload>& p) { return std::string(p.param.name); });

}  // namespace
