// Error records, the message catalogue and the status tables.
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "core/krcorvel.h"
#include "core/krerr.h"
#include "platform/npmem.h"
#include "platform/tqmsg.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

tq_test::ContextPtr bare_context() { return tq_test::make_bare_context(); }

TEST(Catalogue, NumbersUniqueAndFormatsWellFormed) {
  std::set<int32_t> seen;
  for (const auto& e : tq::msg::kCatalog) {
    EXPECT_TRUE(seen.insert(e.number).second) << "duplicate message " << e.number;
    EXPECT_GE(tq::msg::conversions(e.format, nullptr, 0), 0) << "bad format in message " << e.number;
    EXPECT_LT(std::strlen(e.format), 1000u);
  }
  // Every generic message exists and takes no arguments.
  for (int32_t code : {-100, -101, -200, -300, -301, -400, -401, -402, -403, -404, -405, -406, -407, -500,
                       -501, -600, -601, -602, -603, -604, -700, -701, -702, -703, -704, -705, -706, -707,
                       -708, -800, -801, -802, -803, -10000, -1, -12345}) {
    int32_t n = tq::err_generic_msg_number(code);
    const char* f = tq::msg::find_format(n);
    ASSERT_NE(f, nullptr) << "no generic message for " << code;
    EXPECT_EQ(tq::msg::conversions(f, nullptr, 0), 0) << n;
  }
  EXPECT_EQ(tq::err_generic_msg_number(-10000), 1529);
  EXPECT_EQ(tq::err_generic_msg_number(-708), 1532);
  EXPECT_EQ(tq::err_generic_msg_number(-200), 1553);
  EXPECT_EQ(tq::err_generic_msg_number(-1), 1530);
  EXPECT_STREQ(tq::msg::find_format(57), "%s");
}

// The codes the library knows (each with a generic message of its own) are
// exactly the failure codes tq.h declares.
TEST(Catalogue, EveryKnownCodeIsDeclared) {
  std::set<int32_t> declared;
  for (const std::string& line : tq_test::read_lines(std::string(TQ_TEST_KB_DIR) + "/../../include/tq.h")) {
    int32_t code = 0;
    if (std::sscanf(line.c_str(), "#define TQ_ERR_%*[A-Z0-9_] (%d)", &code) == 1) declared.insert(code);
  }
  std::set<int32_t> known;
  std::set<int32_t> messages;
  for (const tq::err_code_row& row : tq::err_code_table()) {
    known.insert(row.code);
    EXPECT_TRUE(messages.insert(row.msg_number).second) << row.code;
    ASSERT_NE(tq::msg::find_format(row.msg_number), nullptr) << row.code;
  }
  EXPECT_GT(declared.size(), 40u);
  EXPECT_EQ(known, declared);
}

TEST(Catalogue, CompileTimeArgumentCheck) {
  static_assert(tq::msg::args_match<57, const char*>());
  static_assert(!tq::msg::args_match<57>());
  static_assert(!tq::msg::args_match<57, int>());
  static_assert(tq::msg::args_match<1490, int>());
  static_assert(!tq::msg::args_match<1490, const char*>());
  static_assert(tq::msg::args_match<1495>());
  static_assert(!tq::msg::args_match<999999>());
}

TEST(Catalogue, LongTextIsCutBetweenCharacters) {
  auto ctx = bare_context();
  std::string detail;
  for (int i = 0; i < 3000; ++i) detail += "\xC3\xA9";  // 6,000 bytes of 'é'
  TQ_REPORT(ctx.get(), -300, 57, detail.c_str());
  ASSERT_EQ(ctx->errors.count, 1u);
  std::size_t len = std::strlen(ctx->errors.recs[0].text);
  EXPECT_LT(len, tq::kErrTextSize);
  EXPECT_EQ(len % 2, 0u);
  tq::err_list_free(ctx.get());
}

TEST(ErrList, RecordingAndReset) {
  auto ctx = bare_context();
  EXPECT_EQ(ctx->errors.last, tq::err_empty_record());
  EXPECT_EQ(TQ_REPORT(ctx.get(), -802, 57, "'x' is null."), 0);
  EXPECT_EQ(TQ_REPORT(ctx.get(), -300, 1491, 5), 0);
  ASSERT_EQ(ctx->errors.count, 2u);
  // With the slot kept apart for a failure.
  EXPECT_EQ(ctx->errors.capacity, 3u);
  EXPECT_EQ(ctx->errors.last, &ctx->errors.recs[1]);
  EXPECT_STREQ(ctx->errors.recs[1].text, "Encoding 5 cannot be converted by the character library.");
  // The pending report is consumed by each record.
  EXPECT_STREQ(ctx->pending_file, "");
  tq::err_record_generic(ctx.get(), -600);
  EXPECT_EQ(ctx->errors.count, 2u);
  tq::err_list_reset(ctx.get());
  EXPECT_EQ(ctx->errors.count, 0u);
  EXPECT_EQ(ctx->errors.last, tq::err_empty_record());
  tq::err_record_generic(ctx.get(), -600);
  EXPECT_EQ(ctx->errors.count, 1u);
  EXPECT_STREQ(ctx->errors.recs[0].text, "Out of memory.");
  tq::err_record_generic(ctx.get(), 116);
  EXPECT_EQ(ctx->errors.count, 1u);
  ctx->allow_msgs = 0;
  tq::err_list_reset(ctx.get());
  EXPECT_EQ(TQ_REPORT(ctx.get(), -802, 57, "'x' is null."), 109);
  EXPECT_EQ(ctx->errors.count, 0u);
  EXPECT_EQ(tq::err_record_append(nullptr, -1, 1530), 0);
  tq::err_list_free(ctx.get());
}

// What a step that goes on past failures answers for: the failures
// reported since its mark, warnings not counted, those a passed-over
// attempt's truncation drops not counted, those not recorded for disallowed
// messages counted all the same.
TEST(ErrList, FailuresCountedOverAStep) {
  auto ctx = bare_context();
  uint32_t mark = tq::err_failures_mark(ctx.get());
  EXPECT_EQ(TQ_REPORT(ctx.get(), 117, 57, "newer"), 0);
  EXPECT_EQ(tq::err_went_on(ctx.get(), mark, 0, 104), 0);
  const uint32_t passed_over = ctx->errors.count;
  EXPECT_EQ(TQ_REPORT(ctx.get(), -404, 57, "not in this folder"), 0);
  tq::err_list_truncate(ctx.get(), passed_over);
  EXPECT_FALSE(tq::err_failed_since(ctx.get(), mark));
  EXPECT_EQ(TQ_REPORT(ctx.get(), -401, 57, "held"), 0);
  EXPECT_EQ(tq::err_went_on(ctx.get(), mark, 0, 104), 104);
  EXPECT_EQ(tq::err_went_on(ctx.get(), mark, 117, 104), 117);
  EXPECT_EQ(tq::err_went_on(ctx.get(), mark, -401, 104), -401);
  ctx->allow_msgs = 0;
  tq::err_list_reset(ctx.get());
  mark = tq::err_failures_mark(ctx.get());
  EXPECT_EQ(TQ_REPORT(ctx.get(), -401, 57, "held"), 109);
  EXPECT_EQ(ctx->errors.count, 0u);
  EXPECT_EQ(tq::err_went_on(ctx.get(), mark, 0, 104), 104);
  tq::err_list_free(ctx.get());
}

// With no memory to be had, a context that never recorded anything (a new
// one, or a clone of a list that was empty) still records a failure: the
// list keeps a slot apart for one. A warning that finds the list unable to
// grow is left out; a second failure finds no room.
TEST(ErrList, AFailureIsRecordedWithNoMemoryLeft) {
  auto ctx = bare_context();
  auto clone = bare_context();
  tq::err_list_free(clone.get());
  ASSERT_EQ(tq::err_list_copy(ctx.get(), clone.get()), 0);
  struct NoMemory {
    NoMemory() { np_alloc_refuse_set([](std::size_t) { return true; }); }
    ~NoMemory() { np_alloc_refuse_set(nullptr); }
  };
  std::optional<NoMemory> none(std::in_place);
  for (tq_context* c : {ctx.get(), clone.get()}) {
    EXPECT_EQ(TQ_REPORT(c, -600, 57, "out"), 0);
    ASSERT_EQ(c->errors.count, 1u);
    EXPECT_EQ(c->errors.last->code, -600);
  }
  tq::err_list_reset(ctx.get());
  EXPECT_EQ(TQ_REPORT(ctx.get(), 102, 57, "cut"), TQ_ERR_NO_MEMORY);
  EXPECT_EQ(TQ_REPORT(ctx.get(), -600, 57, "out"), 0);
  EXPECT_EQ(TQ_REPORT(ctx.get(), -401, 57, "held"), TQ_ERR_NO_MEMORY);
  none.reset();
  ASSERT_EQ(ctx->errors.count, 1u);
  EXPECT_STREQ(ctx->errors.last->text, "out");
  EXPECT_EQ(ctx->errors.failures, 3u);
}

// Nothing recorded is replaced: a failure that finds the list unable to
// grow takes the slot kept for it, so an attempt passed over (the list
// truncated to the mark taken before it) leaves what came before the mark.
// A -600 asks for no memory, and one whose step could make no text says
// what it is.
long g_asked = 0;
TEST(ErrList, AShortageReplacesNoRecordBeforeAMark) {
  auto ctx = bare_context();
  EXPECT_EQ(TQ_REPORT(ctx.get(), 117, 57, "newer"), 0);
  np_alloc_refuse_set([](std::size_t) { return ++g_asked > 0; });
  const uint32_t mark = ctx->errors.count;
  EXPECT_EQ(TQ_REPORT(ctx.get(), -404, 57, "not in this folder"), 0);
  tq::err_list_truncate(ctx.get(), mark);
  g_asked = 0;
  EXPECT_EQ(TQ_REPORT(ctx.get(), -600, 57, ""), 0);
  EXPECT_EQ(g_asked, 0);
  np_alloc_refuse_set(nullptr);
  ASSERT_EQ(ctx->errors.count, 2u);
  EXPECT_STREQ(ctx->errors.recs[0].text, "newer");
  EXPECT_STREQ(ctx->errors.recs[1].text, "Out of memory.");
  tq::err_list_free(ctx.get());
}

TEST(ErrList, MessageLocale) {
  auto ctx = bare_context();
  EXPECT_EQ(tq::err_msg_locale_set(ctx.get(), "EN"), 0);
  EXPECT_STREQ(ctx->msg_locale, "EN");
  EXPECT_EQ(tq::err_msg_locale_set(ctx.get(), "ABCDEFGHIJKLMNOPQRST"), -101);
  EXPECT_EQ(tq::err_msg_locale_set(ctx.get(), "E1"), -101);
  EXPECT_STREQ(ctx->msg_locale, "EN");
  EXPECT_EQ(tq::err_msg_locale_set(nullptr, "EN"), -100);
  EXPECT_EQ(tq::err_msg_locale_set(ctx.get(), nullptr), -802);
  tq::err_list_free(ctx.get());
}

TEST(ErrList, StatusTables) {
  EXPECT_EQ(tq::err_from_fio_status(0), 0);
  EXPECT_EQ(tq::err_from_fio_status(2), -600);
  EXPECT_EQ(tq::err_from_fio_status(7), -401);
  EXPECT_EQ(tq::err_from_fio_status(11), -400);
  EXPECT_EQ(tq::err_from_fio_status(13), -802);
  EXPECT_EQ(tq::err_from_fio_status(10), -601);
  EXPECT_EQ(tq::err_from_fio_status(12), -402);
  EXPECT_EQ(tq::err_from_fio_status(99), -1);
  EXPECT_EQ(tq::err_from_mutex_status(4), -406);
  EXPECT_EQ(tq::err_from_mutex_status(3), -405);
  EXPECT_EQ(tq::err_from_mutex_status(2), -600);
  EXPECT_EQ(tq::err_from_mutex_status(9), -1);
  EXPECT_TRUE(tq::err_is_critical(-200));
  EXPECT_FALSE(tq::err_is_critical(-802));
}

}  // namespace

// Two steps' results: the first failure wins over any warning (a warning of
// the first step never hides a failing second one), then the first warning.
TEST(Errors, ResultsCombineFirstFailureThenFirstWarning) {
  EXPECT_EQ(tq::rc_combine(0, 0), 0);
  EXPECT_EQ(tq::rc_combine(116, -10000), -10000);
  EXPECT_EQ(tq::rc_combine(-800, 116), -800);
  EXPECT_EQ(tq::rc_combine(-800, -10000), -800);
  EXPECT_EQ(tq::rc_combine(116, 117), 116);
  EXPECT_EQ(tq::rc_combine(0, 117), 117);
  // 118 wins over any other warning, never over a failure.
  EXPECT_EQ(tq::rc_combine(111, 118), 118);
  EXPECT_EQ(tq::rc_combine(118, 111), 118);
  EXPECT_EQ(tq::rc_combine(-400, 118), -400);
  EXPECT_EQ(tq::rc_combine(118, -400), -400);
}
