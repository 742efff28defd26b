// Session encodings through the exported interface.
#include <cstring>
#include <string>

#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::Context;

TEST(Encoding, NameGetInEveryEncodingRoundTripsByName) {
  Context ctx;
  for (uint32_t e = 0; e < 16; ++e) {
    SCOPED_TRACE(e);
    ASSERT_EQ(tq_session_encoding_set(ctx, e), 0);
    char name[TQ_ENCODING_NAME_MAX + 2];
    std::memset(name, 0x55, sizeof name);
    ASSERT_EQ(tq_session_encoding_name_get(ctx, name), 0);
    uint32_t id = 99;
    EXPECT_EQ(tq_encoding_get_by_name(ctx, name, &id), 0);
    EXPECT_EQ(id, e);
  }
  // UCS-2 little endian: two bytes a character, two zero bytes at the end.
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UCS2_LE), 0);
  char name[TQ_ENCODING_NAME_MAX + 2];
  std::memset(name, 0x55, sizeof name);
  ASSERT_EQ(tq_session_encoding_name_get(ctx, name), 0);
  const std::string want = tq_test::ucs2le("UCS-2 Little Endian");
  EXPECT_EQ(std::string(name, want.size()), want);
  EXPECT_EQ(static_cast<unsigned char>(name[want.size()]), 0x55u);
}

TEST(Encoding, RefusedSetLeavesTheEncoding) {
  Context ctx;
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_CP1254), 0);
  EXPECT_EQ(tq_session_encoding_set(ctx, 16), -802);
  uint32_t enc = 0;
  EXPECT_EQ(tq_session_encoding_get(ctx, &enc), 0);
  EXPECT_EQ(enc, static_cast<uint32_t>(TQ_ENC_CP1254));
}

TEST(Encoding, TextCrossesTheInterfaceInTheSessionEncoding) {
  Context ctx;
  char path[TQ_PATH_MAX + 2];
  // Latin-1 in, UTF-8 out.
  ASSERT_EQ(tq_zel_path_set(ctx, "/kb/M\xFC"), 0);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_root_path_get(ctx, path), 0);
  EXPECT_STREQ(path, "/kb/M\xC3\xBC");
  // UCS-2 big endian in.
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UCS2_BE), 0);
  ASSERT_EQ(tq_zel_path_set(ctx, std::string("\0/\0k\0b\0\0", 8).c_str()), 0);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_root_path_get(ctx, path), 0);
  EXPECT_STREQ(path, "/kb");
}

TEST(Encoding, UnconvertibleInputFollowsTheOptions) {
  Context ctx;
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  tq_options_set(ctx, 1 | TQ_OPT_STRICT_CONVERSION);
  EXPECT_EQ(tq_zel_path_set(ctx, "/kb/\xFF"), -10000);
  tq_options_set(ctx, 1 | TQ_OPT_WARN_REPLACED);
  EXPECT_EQ(tq_zel_path_set(ctx, "/kb/\xFF"), 116);
  tq_options_set(ctx, 1);
  EXPECT_EQ(tq_zel_path_set(ctx, "/kb/\xFF"), 0);
}

TEST(Encoding, UnconvertibleOutputFollowsTheOptions) {
  Context ctx;
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_zel_path_set(ctx, "/kb/\xCE\xA9"), 0);  // Ω has no byte in Latin-1
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_ISO_8859_1), 0);
  char path[TQ_PATH_MAX + 2];
  tq_options_set(ctx, 1 | TQ_OPT_STRICT_CONVERSION);
  EXPECT_EQ(tq_root_path_get(ctx, path), -10000);
  tq_options_set(ctx, 1 | TQ_OPT_WARN_REPLACED);
  EXPECT_EQ(tq_root_path_get(ctx, path), 116);
  EXPECT_STREQ(path, "/kb/?");
  tq_options_set(ctx, 1);
  EXPECT_EQ(tq_root_path_get(ctx, path), 0);
  EXPECT_STREQ(path, "/kb/?");
}

}  // namespace
