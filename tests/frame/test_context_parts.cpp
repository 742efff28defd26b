// Every part of a real context failing in turn, in tq_init and in tq_clone:
// the call returns the failure, leaves no context and (under LeakSanitizer)
// nothing allocated, and the source of a failed copy goes on working. The
// engines' work areas, made on first use: a clone has none until it runs the
// engine, then gives its source's results, and a work area that cannot be
// made fails the call with -600 and leaves the next call to make it. A
// closed clone gives its big blocks back to the system, and cycles of many
// clones keep the process' resident memory flat.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/krcorvel.h"
#include "core/krvec.h"
#include "kbstore/krkbctx.h"
#include "parse/krparser.h"
#include "resources/krrsctx.h"
#include "support/tq_test.h"

namespace {

// The parts below the export layer that a context makes when it starts; the
// export layer adds its own.
std::size_t parts_below_api() {
  std::size_t n = 0;
  for (tq::context_layer layer : {tq::core_context_parts(), tq::kbstore_context_parts(),
                                  tq::resources_context_parts(), tq::shared_state_parts()}) {
    for (const tq::context_part& part : layer) n += part.on_first_use ? 0 : 1;
  }
  return n;
}

// Tracing on, with a module list, so that a copy has a trace state to copy.
struct Traced {
  tq_test::TempDir dir;
  std::string file = (dir / "trace.txt").string();
  tq_test::ScopedEnv on{"CORVEL_TRACE_FILE", file.c_str()};
  tq_test::ScopedEnv modules{"CORVEL_TRACE_MODULES", "krcorvel,krzel"};
};

TEST(ContextParts, InitFailsInEachPartAndLeavesNothing) {
  Traced traced;
  for (uint32_t edit = 0; edit < 2; ++edit) {
    uint32_t n = 1;
    for (;; ++n) {
      tq::context_part_fail_at(n);
      tq_context* ctx = reinterpret_cast<tq_context*>(1);
      int32_t rc = edit ? tq_init_edit_mode(&ctx, "/kb") : tq_init(&ctx, "/kb");
      tq::context_part_fail_at(0);
      if (rc == 0) {
        ASSERT_NE(ctx, nullptr);
        EXPECT_EQ(ctx->edit_mode, edit);
        EXPECT_EQ(tq_close(ctx), 0);
        break;
      }
      EXPECT_EQ(rc, -600) << "part " << n;
      EXPECT_EQ(ctx, nullptr) << "part " << n;
    }
    EXPECT_GT(n, parts_below_api());
  }
}

TEST(ContextParts, CloneFailsInEachPartAndTheSourceGoesOn) {
  Traced traced;
  tq_context* src = nullptr;
  ASSERT_EQ(tq_init(&src, "/kb"), 0);
  EXPECT_EQ(tq_root_path_get(src, nullptr), -802);  // leaves an error record
  uint32_t n = 1;
  for (;; ++n) {
    tq::context_part_fail_at(n);
    tq_context* copy = reinterpret_cast<tq_context*>(1);
    int32_t rc = tq_clone(src, &copy);
    tq::context_part_fail_at(0);
    if (rc == 0) {
      uint32_t count = 0;
      EXPECT_EQ(tq_error_count_get(copy, &count), 0);
      EXPECT_EQ(count, 1u);
      EXPECT_EQ(copy->trace.on, 1u);
      EXPECT_EQ(tq_close(src), 0);
      EXPECT_EQ(tq_close(copy), 0);
      break;
    }
    EXPECT_EQ(rc, -600) << "part " << n;
    EXPECT_EQ(copy, nullptr) << "part " << n;
  }
  EXPECT_GT(n, parts_below_api());
}

// The sample knowledge base: every kind of definition of ENUSA and of the
// languages EN, DE, FR and TR, its chopper, phonetics and a regex library.
struct Sample {
  tq_context* base = nullptr;
  int32_t chopper = -1;
  int32_t phonetx = -1;
  int32_t regexlib = -1;
  Sample() {
    EXPECT_EQ(tq_init(&base, nullptr), 0);
    EXPECT_EQ(tq_session_encoding_set(base, TQ_ENC_UTF8), 0);
    EXPECT_EQ(tq_zel_path_set(base, TQ_SAMPLE_KB), 0);
    for (int32_t locale : {29000, 39000, 33000, 123000, 29840}) {
      EXPECT_TQ_OK(base, tq_zel_locale_load(base, locale, 0xFFEu));
    }
    EXPECT_TQ_OK(base, tq_chopper_load(base, "en_name", &chopper));
    EXPECT_TQ_OK(base, tq_phonetx_load(base, "en_name_sound", &phonetx));
    EXPECT_TQ_OK(base, tq_regexlib_load(base, "en_comma", nullptr, &regexlib));
  }
  ~Sample() { tq_close(base); }
};

// One engine run once through the exports: its result code, what it gave in
// *out, and whether ctx has the work areas it makes.
struct Engine {
  const char* name;
  int32_t (*run)(tq_context* ctx, const Sample& s, std::string* out);
  bool (*made)(const tq_context* ctx);
};

int32_t chop(tq_context* ctx, int32_t chopper, std::string* out) {
  tq_chop_word words[16];
  uint32_t n = 16;
  const int32_t rc = tq_chop_string(ctx, chopper, "Smith,  John Q.", words, &n);
  for (uint32_t i = 0; rc >= 0 && i < n; ++i) *out += std::string(words[i]) + "|";
  return rc;
}

constexpr const char* kName = "Dr. John Q. Smith Jr.";
constexpr uint32_t kLocales[] = {29000, 39000, 33000, 123000};

const Engine kEngines[] = {
    {"chop", [](tq_context* c, const Sample& s, std::string* out) { return chop(c, s.chopper, out); },
     [](const tq_context* c) { return c->chop_work != nullptr; }},
    {"built-in chopper", [](tq_context* c, const Sample&, std::string* out) { return chop(c, -1, out); },
     [](const tq_context* c) { return c->chopper_whitespace != nullptr && c->chopper_cjk != nullptr; }},
    {"phonetics",
     [](tq_context* c, const Sample& s, std::string* out) {
       char text[1100];
       const int32_t rc = tq_phonetx_execute(c, s.phonetx, "PHILLIPS", text, sizeof text);
       *out = text;
       return rc;
     },
     [](const tq_context* c) { return c->phonetx_work != nullptr; }},
    {"regex",
     [](tq_context* c, const Sample& s, std::string* out) {
       int32_t matched = -1;
       const int32_t rc = tq_regexlib_match(c, s.regexlib, "Smith, John", &matched);
       *out = std::to_string(matched);
       return rc;
     },
     [](const tq_context* c) { return c->regex_work != nullptr; }},
    {"parse",
     [](tq_context* c, const Sample&, std::string* out) {
       tq_parse_token tokens[TQ_PARSE_TOKENS];
       uint32_t n = 0;
       const int32_t rc = tq_parse(c, "Name", kName, tokens, &n);
       for (uint32_t i = 0; rc >= 0 && i < n; ++i) *out += std::to_string(tokens[i].index) + tokens[i].value + "|";
       return rc;
     },
     [](const tq_context* c) { return c->parse_scratch != nullptr && c->morph_scratch != nullptr; }},
    {"propercase",
     [](tq_context* c, const Sample&, std::string* out) {
       char text[1028];
       const int32_t rc = tq_propercase(c, "Name", "douglas macarthur jr", text, sizeof text);
       *out = text;
       return rc;
     },
     [](const tq_context* c) { return c->case_work != nullptr; }},
    {"standardize",
     [](tq_context* c, const Sample&, std::string* out) {
       char text[1028];
       const int32_t rc = tq_standardize(c, "Name", kName, text);
       *out = text;
       return rc;
     },
     [](const tq_context* c) { return c->stdzn_work_area != nullptr; }},
    {"identify",
     [](tq_context* c, const Sample&, std::string* out) {
       char text[1028];
       const int32_t rc = tq_identify(c, "Name", "Acme Holdings Ltd", text);
       *out = text;
       return rc;
     },
     [](const tq_context* c) { return c->ident_work_area != nullptr; }},
    {"extract",
     [](tq_context* c, const Sample&, std::string* out) {
       tq_extract_token tokens[TQ_EXTRACT_TOKENS];
       uint32_t n = 0;
       const int32_t rc = tq_extract(c, "Contact", "John Smith joined Acme Corp on Monday.", tokens, &n);
       for (uint32_t i = 0; rc >= 0 && i < n; ++i) *out += std::string(tokens[i].value) + "|";
       return rc;
     },
     [](const tq_context* c) { return c->extract_work_area != nullptr; }},
    {"gender",
     [](tq_context* c, const Sample&, std::string* out) {
       char text[8];
       const int32_t rc = tq_gender_determine(c, "Name", "Mrs. Mary Ann Smith", text);
       *out = text;
       return rc;
     },
     [](const tq_context* c) { return c->gender_work_area != nullptr; }},
    {"match",
     [](tq_context* c, const Sample&, std::string* out) {
       char code[4 * 256 + 1];
       const int32_t rc = tq_match(c, "Name", 85, kName, code);
       *out = code;
       return rc;
     },
     [](const tq_context* c) { return c->match_work_area != nullptr; }},
    {"locale guess",
     [](tq_context* c, const Sample&, std::string* out) {
       uint32_t guessed = 0;
       const int32_t rc = tq_guess_locale(c, "Language", "Nous avons mangé une très bonne soupe", kLocales,
                                          nullptr, 4, &guessed);
       *out = std::to_string(guessed);
       return rc;
     },
     [](const tq_context* c) { return c->guess_work_area != nullptr; }},
};

struct Clone {
  tq_context* ctx = nullptr;
  explicit Clone(tq_context* base) { EXPECT_EQ(tq_clone(base, &ctx), 0); }
  ~Clone() { tq_close(ctx); }
};

TEST(ContextParts, WorkAreasAreMadeOnTheirEnginesFirstUse) {
  Sample s;
  for (const Engine& e : kEngines) {
    SCOPED_TRACE(e.name);
    std::string expected;
    ASSERT_TQ_OK(s.base, e.run(s.base, s, &expected));
    EXPECT_FALSE(expected.empty());
    Clone clone(s.base);
    for (const Engine& any : kEngines) EXPECT_FALSE(any.made(clone.ctx)) << any.name;
    std::string got;
    EXPECT_TQ_OK(clone.ctx, e.run(clone.ctx, s, &got));
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(e.made(clone.ctx));
  }
}

// Each work area an engine makes on its first run failing in turn (the
// engine's own, then those of the engines it runs): -600 and the failure
// recorded; the next call makes it and gives the source's result.
TEST(ContextParts, WorkAreaThatCannotBeMadeFailsTheCallOnly) {
  Sample s;
  for (const Engine& e : kEngines) {
    SCOPED_TRACE(e.name);
    std::string expected;
    ASSERT_TQ_OK(s.base, e.run(s.base, s, &expected));
    uint32_t n = 1;
    for (; n < 16; ++n) {
      Clone clone(s.base);
      std::string got;
      tq::context_part_fail_at(n);
      const int32_t rc = e.run(clone.ctx, s, &got);
      tq::context_part_fail_at(0);
      if (rc >= 0) {
        EXPECT_EQ(got, expected) << "failing part " << n << " was not made";
        break;
      }
      EXPECT_EQ(rc, -600) << "part " << n;
      int32_t code = 0;
      char text[TQ_ERROR_TEXT_MAX + 1];
      EXPECT_EQ(tq_error_info_get(clone.ctx, &code, text), 0);
      EXPECT_EQ(code, -600) << "part " << n << ": " << text;
      got.clear();
      EXPECT_TQ_OK(clone.ctx, e.run(clone.ctx, s, &got));
      EXPECT_EQ(got, expected) << "after part " << n;
    }
    EXPECT_GT(n, 1u);
    EXPECT_LT(n, 16u);
  }
}

// Every engine run on a clone: the big blocks the clone took for its pools
// and work areas (the parser's pool block among them) go back when it is
// closed.
TEST(ContextParts, ClosedCloneGivesItsBigBlocksBack) {
  Sample s;
  std::string out;
  for (const Engine& e : kEngines) ASSERT_TQ_OK(s.base, e.run(s.base, s, &out));
  const size_t before = tq::big_block_held_bytes();
  {
    Clone clone(s.base);
    for (const Engine& e : kEngines) EXPECT_TQ_OK(clone.ctx, e.run(clone.ctx, s, &out));
    EXPECT_GE(tq::big_block_held_bytes() - before, size_t{tq::kRuntimePoolKb} * 1024);
  }
  EXPECT_EQ(tq::big_block_held_bytes(), before);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TQ_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TQ_TEST_SANITIZED 1
#endif
#endif

#ifndef TQ_TEST_SANITIZED
size_t resident_bytes() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return 0;
  unsigned long size = 0;
  unsigned long pages = 0;
  const int n = std::fscanf(f, "%lu %lu", &size, &pages);
  std::fclose(f);
  return n == 2 ? static_cast<size_t>(pages) * static_cast<size_t>(sysconf(_SC_PAGESIZE)) : 0;
}
#endif

// Five cycles of 100 clones, each running every engine once before all are
// closed: the process' resident memory after the last cycle stays within
// 16 MB of what it was after the first (closed clones' blocks left in the
// heap made it grow by some 200 MB). Sanitizer runtimes hold freed memory back
// in quarantine, so the check runs only in builds without them (CI's Release
// run).
TEST(ContextParts, CyclesOfClonesKeepResidentMemoryFlat) {
#ifdef TQ_TEST_SANITIZED
  GTEST_SKIP() << "resident memory is the sanitizer runtime's to keep";
#else
  if (resident_bytes() == 0) GTEST_SKIP() << "no /proc/self/statm";
  Sample s;
  std::string out;
  for (const Engine& e : kEngines) ASSERT_TQ_OK(s.base, e.run(s.base, s, &out));
  std::vector<tq_context*> clones(100, nullptr);
  size_t first = 0;
  size_t last = 0;
  for (int cycle = 0; cycle < 5; ++cycle) {
    for (tq_context*& c : clones) ASSERT_EQ(tq_clone(s.base, &c), 0);
    for (tq_context* c : clones) {
      for (const Engine& e : kEngines) ASSERT_TQ_OK(c, e.run(c, s, &out));
    }
    for (tq_context*& c : clones) {
      tq_close(c);
      c = nullptr;
    }
    last = resident_bytes();
    if (cycle == 0) first = last;
  }
  EXPECT_LT(last, first + (size_t{16} << 20)) << "resident MB after the first cycle " << (first >> 20)
                                               << ", after the last " << (last >> 20);
#endif
}

}  // namespace
