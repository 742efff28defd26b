// The cost of the export frame and its read hold, and how clones scale on
// threads. One framed call with the read hold (a getter that does nearly
// nothing) beside the same call without a hold and the bare hold; then 1, 2,
// 4 and 8 clones, each on its own thread, running phonetic keys and chopping
// through the exports, beside the same work called without the frame.
//
// The knowledge base is built in a temporary folder: a phonetics rule set
// written through the edit exports and a chopper document read and written
// as a vault file; a plain context loads both and is cloned per thread.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tq.h"
#include "core/krcorvel.h"
#include "core/krzel.h"
#include "resources/krchop.h"
#include "resources/krphtx.h"
#include "support/chopper_doc.h"

namespace {

namespace fs = std::filesystem;

constexpr int kMaxThreads = 8;

void must(bool ok, const char* what, tq_context* ctx = nullptr) {
  if (!ok) {
    int32_t code = 0;
    char text[4200] = "";
    if (ctx != nullptr) tq_error_info_get(ctx, &code, text);
    std::fprintf(stderr, "bench setup failed: %s (%d %s)\n", what, code, text);
    std::abort();
  }
}

// A compact sound-alike rule set: word-initial rules, digraphs with context,
// word ends, doubled letters, vowels dropped, single letters kept.
void add_rules(tq_context* ctx, int32_t index) {
  struct Rule {
    const char* pattern;
    const char* replacement;
    int32_t priority;
    uint32_t flags;
  };
  static const Rule rules[] = {
      {"^KN", "N", 90, 0},   {"^WR", "R", 90, 0},      {"^X", "S", 90, 0},         {"^MAC", "MK", 90, 0},
      {"^[AEIOU]", "A", 85, 0}, {"SCH", "SK", 80, 0},  {"CH", "X", 80, 0},         {"SH", "X", 80, 0},
      {"TH", "0", 80, 0},    {"PH", "F", 80, 0},       {"CK", "K", 80, 0},         {"C/[EIY]", "S", 80, 0},
      {"G/[EIY]", "J", 80, 0}, {"QU", "KW", 80, 0},    {"X", "KS", 80, 0},         {"Z", "S", 80, 0},
      {"MB$", "M", 70, 0},   {"ES$", "S", 70, 0},      {"ING$", "NK", 70, 0},      {"E$", "", 70, 0},
      {"LL", "L", 60, TQ_PHONETX_FLAG_REWIND},         {"SS", "S", 60, TQ_PHONETX_FLAG_REWIND},
      {"TT", "T", 60, TQ_PHONETX_FLAG_REWIND},         {"[AEIOU]", "", 20, 0},     {"\\ ", "", 10, 0}};
  for (const Rule& r : rules) {
    int32_t at = -1;
    must(tq_phonetx_rule_add(ctx, index, r.pattern, r.replacement, r.priority, r.flags, &at) == 0, r.pattern);
  }
}

// A chopper: ',' and ';' end words, '-' is dropped, implicit separation
// splits letters from digits, and one regex rule marks numbers.
std::string chopper_document() {
  using tq_test::char_row;
  std::string rows = char_row("COMMA", ',', "TRAIL_SEPARATOR", "TRIM") + char_row("SEMI", ';', "TRAIL_SEPARATOR", "USE") +
                     char_row("DASH", '-', "LETTER", "SUPPRESS");
  return tq_test::chopper_document("UTF-8", rows, 3);
}

const std::vector<std::string>& names() {
  static const std::vector<std::string> v = {
      "JOHNSON", "SMITH", "WILLIAMS", "KNIGHT", "WRIGHT", "PHILLIPS", "THOMPSON", "CHRISTOPHER", "XAVIER",
      "MACDONALD", "SCHMIDT", "ELIZABETH ANNE", "MAIN STREET", "QUEENSBURY ROAD", "BUTTERWORTH", "LITTLEFIELD"};
  return v;
}

const std::vector<std::string>& addresses() {
  static const std::vector<std::string> v = {
      "12 Main Street, Springfield", "Flat 4B; 221 Baker Street", "Unit 7-9 Harbour Road Industrial Estate",
      "PO Box 1123, Queensbury", "The Old Rectory, Church Lane, Little Snoring NR21 0AB",
      "Suite 500 1600 Amphitheatre Parkway"};
  return v;
}

// The temporary knowledge base, a context with both resources loaded, and
// one clone per bench thread.
struct World {
  std::string root;
  tq_context* base = nullptr;
  std::vector<tq_context*> clones;
  int32_t phonetx = -1;
  int32_t chopper = -1;

  World() {
    char tmpl[] = "/tmp/tq-bench-frame-XXXXXX";
    must(mkdtemp(tmpl) != nullptr, "temporary folder");
    root = tmpl;
    fs::create_directories(fs::path(root) / "phonetx");
    fs::create_directories(fs::path(root) / "chopinfo");

    tq_context* edit = nullptr;
    must(tq_init_edit_mode(&edit, root.c_str()) == 0, "edit context");
    tq_lock_handle* lock = nullptr;
    must(tq_lock_init(edit, &lock) == 0, "lock handle", edit);
    must(tq_phonetx_edit_new(edit, (root + "/phonetx").c_str(), "bench", lock) == 0, "phonetics file", edit);
    int32_t index = -1;
    must(tq_phonetx_create(edit, "bench", &index) == 0, "phonetics create", edit);
    must(tq_phonetx_locale_info_set(edit, index, "EN", "English", 29000) == 0, "phonetics locale", edit);
    add_rules(edit, index);
    must(tq_phonetx_prepare(edit, index) == 0, "phonetics compile", edit);
    must(tq_phonetx_vault_info_set(edit, index, "bench", "Bench rules") == 0, "phonetics vault info", edit);
    must(tq_phonetx_save(edit, index, lock) == 0, "phonetics save", edit);
    tq_phonetx_close(edit, lock);
    tq_lock_free(edit, lock);

    std::string plain = root + "/chopper.xml";
    FILE* f = std::fopen(plain.c_str(), "wb");
    must(f != nullptr, "chopper document");
    std::string doc = chopper_document();
    std::fwrite(doc.data(), 1, doc.size(), f);
    std::fclose(f);
    tq_xmldoc* xml = nullptr;
    must(tq_xml_read(edit, plain.c_str(), 8, &xml) == 0, "chopper read", edit);
    must(tq_xml_write(edit, 0, (root + "/chopinfo/addresses").c_str(), 1, xml) == 0, "chopper write", edit);
    tq_xml_free(edit, xml);
    tq_close(edit);

    must(tq_init(&base, root.c_str()) == 0, "context");
    must(tq_phonetx_load(base, "bench", &phonetx) == 0, "phonetics load", base);
    must(tq_chopper_load(base, "addresses", &chopper) == 0, "chopper load", base);
    {
      char out[1100];
      must(tq_phonetx_execute(base, phonetx, "JOHNSON", out, sizeof out) >= 0, "phonetics on base", base);
    }
    clones.resize(kMaxThreads);
    for (tq_context*& c : clones) must(tq_clone(base, &c) == 0, "clone", base);
  }
  ~World() {
    for (tq_context* c : clones) tq_close(c);
    tq_close(base);
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

World& world() {
  static World w;
  return w;
}

// ---- One thread: the frame -------------------------------------------------------------------

void BM_FramedCallReadHold(benchmark::State& state) {
  tq_context* ctx = world().clones[0];
  uint32_t count = 0;
  for (auto _ : state) {
    int32_t rc = tq_chopper_table_char_classif_count_get(ctx, &count);
    benchmark::DoNotOptimize(rc);
  }
  must(count > 0, "getter");
}
BENCHMARK(BM_FramedCallReadHold);

void BM_FramedCallNoHold(benchmark::State& state) {
  tq_context* ctx = world().clones[0];
  uint32_t enc = 0;
  for (auto _ : state) {
    int32_t rc = tq_session_encoding_get(ctx, &enc);
    benchmark::DoNotOptimize(rc);
  }
}
BENCHMARK(BM_FramedCallNoHold);

void BM_ReadHoldAlone(benchmark::State& state) {
  tq_context* ctx = world().clones[0];
  for (auto _ : state) {
    int32_t rc = tq::shared_state_read_lock(ctx, ctx->shared);
    rc |= tq::shared_state_read_unlock(ctx, ctx->shared);
    benchmark::DoNotOptimize(rc);
  }
}
BENCHMARK(BM_ReadHoldAlone);

// ---- Clones on threads -----------------------------------------------------------------------

template <typename Call>
void run_values(benchmark::State& state, const std::vector<std::string>& values, Call call) {
  // Built before the timed loop (the threads wait for each other there).
  tq_context* ctx = world().clones[static_cast<size_t>(state.thread_index())];
  size_t i = static_cast<size_t>(state.thread_index()) % values.size();
  for (auto _ : state) {
    int32_t rc = call(ctx, values[i].c_str());
    if (rc < 0) {
      must(false, "call", ctx);
    }
    benchmark::DoNotOptimize(rc);
    if (++i == values.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

int32_t phonetx_export(tq_context* ctx, const char* value) {
  char out[1100];
  return tq_phonetx_execute(ctx, world().phonetx, value, out, sizeof out);
}
int32_t phonetx_unframed(tq_context* ctx, const char* value) {
  char out[1100];
  return tq::phonetx_execute(ctx, world().phonetx, value, out, sizeof out);
}
int32_t chop_export(tq_context* ctx, const char* value) {
  tq_chop_word words[32];
  uint32_t n = 32;
  return tq_chop_string(ctx, world().chopper, value, words, &n);
}
int32_t chop_unframed(tq_context* ctx, const char* value) {
  tq_chop_word words[32];
  uint32_t n = 32;
  return tq::chop_string(ctx, world().chopper, value, words, &n);
}

void BM_PhonetxExecuteClones(benchmark::State& state) { run_values(state, names(), phonetx_export); }
void BM_PhonetxUnframedClones(benchmark::State& state) { run_values(state, names(), phonetx_unframed); }
void BM_ChopStringClones(benchmark::State& state) { run_values(state, addresses(), chop_export); }
void BM_ChopUnframedClones(benchmark::State& state) { run_values(state, addresses(), chop_unframed); }

void threads(benchmark::internal::Benchmark* b) {
  b->UseRealTime();
  for (int n = 1; n <= kMaxThreads; n *= 2) b->Threads(n);
}
BENCHMARK(BM_PhonetxExecuteClones)->Apply(threads);
BENCHMARK(BM_PhonetxUnframedClones)->Apply(threads);
BENCHMARK(BM_ChopStringClones)->Apply(threads);
BENCHMARK(BM_ChopUnframedClones)->Apply(threads);

}  // namespace
