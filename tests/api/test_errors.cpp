// Error records and their readers, through the exports.
#include <cstring>
#include <string>
#include <vector>

#include "support/tq_test.h"

namespace {

using tq_test::Context;

struct Record {
  int32_t rc;
  int32_t code;
  std::string text;
};

Record last_error(tq_context* ctx) {
  Record r{};
  char text[4100];
  r.rc = tq_error_info_get(ctx, &r.code, text);
  r.text = text;
  return r;
}

TEST(Errors, FreshContextHasNoError) {
  Context ctx;
  Record r = last_error(ctx);
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.text, "No error info available");
}

TEST(Errors, GuardFailureRecordsOneRecord) {
  Context ctx;
  EXPECT_EQ(tq_session_encoding_get(ctx, nullptr), -802);
  uint32_t count = 0;
  EXPECT_EQ(tq_error_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 1u);
  int32_t code = 1;
  char text[4100];
  EXPECT_EQ(tq_error_info_get_by_index(ctx, 0, &code, text), 0);
  EXPECT_EQ(code, -802);
  EXPECT_STREQ(text, "'enc' is null.");
  std::strcpy(text, "junk");
  EXPECT_EQ(tq_error_info_get_by_index(ctx, 1, &code, text), -800);
  EXPECT_EQ(code, 0);
  EXPECT_STREQ(text, "");
  // Reading the list does not clear it; the next framed call does.
  EXPECT_EQ(tq_error_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 1u);
  uint32_t enc = 0;
  EXPECT_EQ(tq_session_encoding_get(ctx, &enc), 0);
  EXPECT_EQ(tq_error_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(last_error(ctx).text, "No error info available");
}

TEST(Errors, FirstNullPointerIsTheOneReported) {
  Context ctx;
  EXPECT_EQ(tq_encoding_get_by_name(ctx, nullptr, nullptr), -802);
  uint32_t count = 0;
  tq_error_count_get(ctx, &count);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(last_error(ctx).text, "'name' is null.");
}

TEST(Errors, GenericRecordForUnrecordedFailure) {
  Context ctx;
  uint32_t enc = 0;
  EXPECT_EQ(tq_encoding_get_by_name(ctx, "utf-8", &enc), -1);
  EXPECT_EQ(enc, 0xFFFFFFFFu);
  uint32_t count = 0;
  tq_error_count_get(ctx, &count);
  EXPECT_EQ(count, 1u);
  Record r = last_error(ctx);
  EXPECT_EQ(r.code, -1);
  EXPECT_EQ(r.text, "The operation failed.");
  EXPECT_EQ(tq_session_encoding_set(ctx, 16), -802);
  r = last_error(ctx);
  EXPECT_EQ(r.code, -802);
  EXPECT_EQ(r.text, "An argument is invalid.");
  EXPECT_EQ(tq_session_encoding_get(ctx, &enc), 0);
  EXPECT_EQ(enc, 0u);
}

TEST(Errors, MessagesDisallowed) {
  Context ctx;
  uint32_t allow = 5;
  EXPECT_EQ(tq_error_allow_msgs_get(ctx, &allow), 0);
  EXPECT_EQ(allow, 1u);
  EXPECT_EQ(tq_error_allow_msgs_set(ctx, 0), 0);
  EXPECT_EQ(tq_session_encoding_get(ctx, nullptr), -802);
  EXPECT_EQ(tq_session_encoding_set(ctx, 99), -802);
  uint32_t count = 9;
  EXPECT_EQ(tq_error_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(tq_error_allow_msgs_get(ctx, &allow), 0);
  EXPECT_EQ(allow, 0u);
  EXPECT_EQ(tq_error_allow_msgs_set(nullptr, 1), -100);
  EXPECT_EQ(tq_error_allow_msgs_get(nullptr, &allow), -100);
}

// The error readers never change the list they read: a NULL argument or
// context gives its result code and records nothing.
TEST(Errors, ReadersRecordNothingForTheirArguments) {
  Context ctx;
  ASSERT_EQ(tq_session_encoding_get(ctx, nullptr), -802);
  int32_t code = 0;
  char text[4100];
  uint32_t n = 3;
  const struct {
    const char* call;
    int32_t rc;
  } calls[] = {
      {"tq_error_info_get(NULL context)", tq_error_info_get(nullptr, &code, text)},
      {"tq_error_info_get(NULL error_code)", tq_error_info_get(ctx, nullptr, text)},
      {"tq_error_info_get(NULL error_string)", tq_error_info_get(ctx, &code, nullptr)},
      {"tq_error_info_get_by_index(NULL error_code)", tq_error_info_get_by_index(ctx, 0, nullptr, text)},
      {"tq_error_info_get_by_index(NULL error_string)", tq_error_info_get_by_index(ctx, 0, &code, nullptr)},
      {"tq_error_info_get_by_index(NULL context)", tq_error_info_get_by_index(nullptr, 0, &code, text)},
      {"tq_error_count_get(NULL count)", tq_error_count_get(ctx, nullptr)},
      {"tq_error_count_get(NULL context)", tq_error_count_get(nullptr, &n)},
      {"tq_error_allow_msgs_get(NULL allow)", tq_error_allow_msgs_get(ctx, nullptr)},
      {"tq_error_allow_msgs_get(NULL context)", tq_error_allow_msgs_get(nullptr, &n)},
  };
  for (const auto& c : calls) {
    EXPECT_EQ(c.rc, std::strstr(c.call, "NULL context") != nullptr ? -100 : -802) << c.call;
  }
  EXPECT_EQ(n, 0u);  // tq_error_count_get's count, set before its context is checked
  EXPECT_EQ(tq_test::error_list_text(ctx), "  [0] -802: 'enc' is null.\n");
}

TEST(Errors, CriticalCodes) {
  EXPECT_EQ(tq_error_is_critical(-600), 1u);
  EXPECT_EQ(tq_error_is_critical(-200), 1u);
  EXPECT_EQ(tq_error_is_critical(-100), 1u);
  EXPECT_EQ(tq_error_is_critical(-802), 0u);
  EXPECT_EQ(tq_error_is_critical(116), 0u);
  EXPECT_EQ(tq_error_is_critical(0), 0u);
  // Only the three codes tq.h names: not the library's own restart code.
  EXPECT_EQ(tq_error_is_critical(-9100), 0u);
}

// A reader gives a record's text out and leaves the list as it was: a text
// longer than TQ_ERROR_TEXT_MAX bytes in the session encoding is cut between
// characters and told by the result alone.
TEST(Errors, ReadersCutWithoutChangingTheList) {
  using Reader = int32_t (*)(tq_context*, int32_t*, char*);
  const struct {
    const char* name;
    Reader read;
  } readers[] = {
      {"tq_error_info_get", [](tq_context* c, int32_t* code, char* text) { return tq_error_info_get(c, code, text); }},
      {"tq_error_info_get_by_index",
       [](tq_context* c, int32_t* code, char* text) { return tq_error_info_get_by_index(c, 0, code, text); }},
  };
  // A missing file whose name makes the record's text longer than the
  // reader's room: 4,099 characters, in one byte each or in two.
  const std::string name = "/no-such-folder/" + std::string(5000, 'n');
  const struct {
    uint32_t enc;
    std::string name;
    std::string unit;  // 'n' in the session encoding
  } sessions[] = {{TQ_ENC_ISO_8859_1, name + '\0', "n"}, {TQ_ENC_UCS2_LE, tq_test::ucs2le(name), {'n', '\0'}}};
  for (const auto& s : sessions) {
    Context ctx;
    ASSERT_EQ(tq_session_encoding_set(ctx, s.enc), 0);
    tq_xmldoc* doc = nullptr;
    ASSERT_EQ(tq_xml_read(ctx, s.name.data(), 0, &doc), -400);
    const size_t unit = s.unit.size();
    for (const auto& r : readers) {
      // Read twice: the first read leaves nothing that the second would give.
      for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(std::string(r.name) + " in encoding " + std::to_string(s.enc) + ", read " + std::to_string(round));
        std::vector<char> text(2 * (TQ_ERROR_TEXT_MAX + 4), '\x55');
        int32_t code = 0;
        EXPECT_EQ(r.read(ctx, &code, text.data()), TQ_WARN_LIMIT_REACHED);
        EXPECT_EQ(code, -400);
        // The record's start, cut after its last whole character, then the
        // terminator and nothing more.
        EXPECT_EQ(text[0], 'T');
        EXPECT_EQ(std::string(&text[TQ_ERROR_TEXT_MAX - unit], unit), s.unit);
        EXPECT_EQ(std::string(&text[TQ_ERROR_TEXT_MAX], unit + 1), std::string(unit, '\0') + '\x55');
        uint32_t count = 0;
        EXPECT_EQ(tq_error_count_get(ctx, &count), 0);
        EXPECT_EQ(count, 1u);
      }
    }
  }
}

TEST(Errors, ErrorTextInSessionEncoding) {
  Context ctx;
  ASSERT_EQ(tq_session_encoding_set(ctx, 14), 0);
  EXPECT_EQ(tq_session_encoding_get(ctx, nullptr), -802);
  int32_t code = 0;
  char text[8200];
  ASSERT_EQ(tq_error_info_get(ctx, &code, text), 0);
  EXPECT_EQ(std::string(text, 8), std::string("\0'\0e\0n\0c", 8));
}

}  // namespace
