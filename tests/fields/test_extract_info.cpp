// The extract info: character offsets of words, emptied between runs,
// records that own their copies.
#include <cstring>

#include "fields/krxinfo.h"
#include "resources/krchop.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

using namespace tq;

TEST(ExtractInfo, OffsetsCountCharactersAndAResetEmptiesEverything) {
  tq_test::BareContext bc("", tq_test::fields_layers());
  extract_info* info = nullptr;
  ASSERT_EQ(extract_info_create(&info), 0);
  word_list words{};
  ASSERT_EQ(chop_run(bc.get(), -1, "Zo\xC3\xAB Smith", &words), 0);
  ASSERT_EQ(info->all_words.assign(bc.get(), &words), 0);
  wordlist_free(&words);
  extract_info_iteration_rec* it = nullptr;
  ASSERT_EQ(extract_info_iteration_add(info, 2, &it), 0);
  it->states[1] = kWordInWindow;
  ASSERT_EQ(extract_info_iteration_patterns_init(it, 3), 0);
  EXPECT_EQ(it->patterns[2].pattern_index, 2u);
  // Without a window, no word can be recorded.
  EXPECT_EQ(extract_info_pattern_word_record(bc.get(), it, 0, 0), TQ_ERR_INDEX);
  uint32_t status = 9, begin = 9, end = 9;
  ASSERT_EQ(extract_info_state_word_info_get(info, 0, 1, &status, &begin, &end), 0);
  EXPECT_EQ(status, 1u);
  EXPECT_EQ(begin, 4u);  // "Smith" starts at byte 5, after a two-byte character
  EXPECT_EQ(end, 8u);
  EXPECT_EQ(extract_info_state_word_info_get(info, 1, 0, &status, &begin, &end), TQ_ERR_INDEX);
  EXPECT_EQ(extract_info_state_word_info_get(info, 0, 2, &status, &begin, &end), TQ_ERR_INDEX);
  info->known_words.push_back({1, "Companies", 0, 2, "acme corp"});
  extract_info_reset(info);
  EXPECT_TRUE(info->known_words.empty());
  EXPECT_TRUE(info->iterations.empty());
  EXPECT_EQ(info->all_words.present, 0u);
  extract_info_free(info);
}

}  // namespace
