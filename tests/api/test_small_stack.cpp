// Every call works on a thread of 64 KiB of stack: paths and buffers of
// kilobytes live on the heap or in the context, never in a frame. The
// calls run in a child process on such a thread, so that one whose frames
// need more dies there (at the stack's guard page) and is reported here;
// what they give must be what the same calls give on the test's own stack.
//
// The figure holds for an optimized build (NDEBUG). Under AddressSanitizer
// every frame carries red zones around its locals and the sanitizer's own
// reports run on the faulting thread's stack, so no figure of the
// library's would be measured there: the test is skipped, as it is in a
// Debug build, whose unoptimized frames the figure does not promise.
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/sample_locales.h"
#include "support/tq_test.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
#define TQ_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TQ_TEST_ASAN 1
#endif
#endif

// Why this build does not measure the figure; NULL when it does.
const char* not_measured() {
#if defined(TQ_TEST_ASAN)
  return "AddressSanitizer's red zones and reports need stacks of their own size";
#elif !defined(NDEBUG)
  return "a Debug build's frames are not those the figure promises";
#else
  return nullptr;
#endif
}

constexpr size_t kSmallStack = 64 * 1024;
// Where the child sends what each call gave as soon as it returns, so that
// a call that dies is known by the last one before it; -1 for none.
int g_progress = -1;
constexpr char kValue[] = "Dr. Bill O'Brien Jr";

// The loads, the engines, the edit loads and the saves, on the knowledge
// base at `root` (which the saves rewrite): each call's result, and the
// engines' outputs. Every buffer is the heap's, so that the thread's stack
// is left to the library.
std::string workload(const std::string& root) {
  std::string said;
  auto add = [&](const char* what, int32_t rc) {
    const std::string piece = std::string(what) + "=" + std::to_string(rc) + " ";
    said += piece;
    if (g_progress >= 0 && write(g_progress, piece.data(), piece.size()) < 0) _exit(5);
  };
  std::vector<char> out(4096);
  tq_context* ctx = nullptr;
  add("init", tq_init(&ctx, root.c_str()));
  if (ctx == nullptr) return said;
  add("encoding", tq_session_encoding_set(ctx, TQ_ENC_UTF8));
  add("load", tq_zel_locale_load(ctx, tq_test::kSampleEnusa, tq_test::kEveryPart));
  auto engine = [&](const char* what, int32_t rc) {
    add(what, rc);
    if (rc >= 0) said += std::string(out.data()) + "\n";
  };
  engine("propercase", tq_propercase(ctx, "Name", kValue, out.data(), static_cast<int32_t>(out.size())));
  engine("standardize", tq_standardize(ctx, "Name", kValue, out.data()));
  engine("match", tq_match(ctx, "Name", 85, kValue, out.data()));
  engine("gender", tq_gender_determine(ctx, "Name", kValue, out.data()));
  engine("identify", tq_identify(ctx, "Name", kValue, out.data()));
  engine("pattern", tq_pattern_analyze(ctx, "Pattern", kValue, out.data()));
  std::vector<tq_parse_token> tokens(TQ_PARSE_TOKENS);
  uint32_t count = 0;
  add("parse", tq_parse(ctx, "Name", kValue, tokens.data(), &count));
  for (uint32_t i = 0; i < count; ++i) said += std::string(tokens[i].value) + ",";
  int32_t score = -1;
  add("language", tq_language_guess_score(ctx, "English", "the quick brown fox", &score));
  said += std::to_string(score) + "\n";
  add("load en", tq_zel_locale_load(ctx, tq_test::kSampleEn, tq_test::kEveryPart));
  add("locale en", tq_locale_set(ctx, tq_test::kSampleEn));
  std::vector<tq_extract_token> parts(TQ_EXTRACT_TOKENS);
  uint32_t n = 0;
  add("extract", tq_extract(ctx, "Contact", "Bill O'Brien bill@example.com 555-0100", parts.data(), &n));
  uint32_t guessed = 0;
  const uint32_t locales[] = {static_cast<uint32_t>(tq_test::kSampleEn)};
  add("guess", tq_guess_locale(ctx, "Language", "the weather was cold all night", locales, nullptr, 1, &guessed));
  tq_zel_version_info info{};
  add("version", tq_zel_version_info_get(ctx, &info));
  tq_close(ctx);

  tq_context* edit = nullptr;
  add("init edit", tq_init_edit_mode(&edit, root.c_str()));
  if (edit == nullptr) return said;
  tq_lock_handle* lock = nullptr;
  add("lock", tq_lock_init(edit, &lock));
  add("load edit", tq_zel_locale_load_edit(edit, tq_test::kSampleEnusa, tq_test::kEveryPart, lock));
  add("locale write", tq_locale_write(edit, tq_test::kSampleEnusa, lock));
  int32_t i = -1;
  add("scheme edit", tq_scheme_load_edit(edit, "en_nickname", lock, &i));
  add("scheme write", tq_scheme_write(edit, i, lock));
  add("grammar edit", tq_grammar_edit(edit, "en_person", lock, &i));
  add("grammar save", tq_grammar_save(edit, i, lock));
  add("chopper edit", tq_chopper_edit(edit, "en_name", lock, &i));
  add("chopper save", tq_chopper_save(edit, i, lock));
  add("regexlib load", tq_regexlib_load(edit, "en_pattern", lock, &i));
  add("regexlib save", tq_regexlib_save(edit, i, lock));
  add("phonetx edit", tq_phonetx_edit(edit, "en_name_sound", lock));
  add("phonetx load", tq_phonetx_load(edit, "en_name_sound", &i));
  add("phonetx save", tq_phonetx_save(edit, i, lock));
  add("vocab load", tq_vocabulary_load(edit, "en_name_noise", lock, &i));
  add("vocab save", tq_vocab_save(edit, i, lock));
  add("vocab to xml", tq_vocab_file_convert(edit, 1, "en_name_noise", (root + "/vocab/noise").c_str()));
  add("vocab to compiled", tq_vocab_file_convert(edit, 0, (root + "/vocab/noise").c_str(), "noise"));
  add("chopper new", tq_chopper_edit_new(edit, (root + "/chopinfo").c_str(), "fresh", lock));
  tq_xmldoc* doc = nullptr;
  add("xml read", tq_xml_read(edit, "en.loc", 1, &doc));
  add("xml write", tq_xml_write(edit, 0, "en.loc", 1, doc));
  tq_xml_free(edit, doc);
  tq_vault_file* vault = nullptr;
  add("vault edit", tq_zel_vlt_file_edit(edit, "en.loc", 7, &vault));
  add("vault write", tq_zel_vlt_file_write(edit, vault));
  if (vault != nullptr) tq_zel_vlt_file_close(edit, vault);
  add("lock free", tq_lock_free(edit, lock));
  tq_close(edit);
  return said;
}

struct StackRun {
  std::string root;
  std::string said;
};

void* run_workload(void* arg) {
  auto* run = static_cast<StackRun*>(arg);
  run->said = workload(run->root);
  return nullptr;
}

TEST(SmallStack, EveryCallWorksOnA64KiBThread) {
  if (const char* why = not_measured()) GTEST_SKIP() << "not measured in this build: " << why;
  tq_test::SampleKbCopy reference_kb;
  const std::string reference = workload(reference_kb.str());
  ASSERT_EQ(reference.find("=-"), std::string::npos) << reference;

  tq_test::SampleKbCopy kb;
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(pipe_ends[0]);
    g_progress = pipe_ends[1];
    StackRun run{kb.str(), ""};
    pthread_attr_t attr;
    pthread_t thread;
    if (pthread_attr_init(&attr) != 0 || pthread_attr_setstacksize(&attr, kSmallStack) != 0 ||
        pthread_create(&thread, &attr, run_workload, &run) != 0 || pthread_join(thread, nullptr) != 0) {
      _exit(3);
    }
    g_progress = -1;
    const std::string end = "\n--\n" + run.said;
    _exit(write(pipe_ends[1], end.data(), end.size()) == static_cast<ssize_t>(end.size()) ? 0 : 4);
  }
  close(pipe_ends[1]);
  std::string said;
  char block[4096];
  for (ssize_t n; (n = read(pipe_ends[0], block, sizeof block)) > 0;) said.append(block, static_cast<size_t>(n));
  close(pipe_ends[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_FALSE(WIFSIGNALED(status)) << "the calls died on a 64 KiB stack with signal " << WTERMSIG(status)
                                    << " after: " << said;
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  const size_t end = said.find("\n--\n");
  ASSERT_NE(end, std::string::npos) << said;
  EXPECT_EQ(said.substr(end + 4), reference);
}

}  // namespace
