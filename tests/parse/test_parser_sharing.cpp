// Parser objects shared between clones: one cached object, parses on two
// threads at once, nothing allocated per parse once warm, and objects still
// cached when the shared state goes are freed with it.
#include <thread>

#include "kbstore/krxml.h"
#include "parse/kroptp.h"
#include "parse_fixture.h"
#include "support/alloc_counter.h"

namespace {

using namespace tq;
using namespace parse_test;

TEST(ParserSharing, ClonesShareObjectsAndParseInParallelWithoutAllocating) {
  tq_test::BareContext bc;
  context* ctx = bc.get();
  const int32_t g = make_grammar(ctx, "Names", {"GIVEN", "INITIAL", "FAMILY", "NAME", "BODY"},
                                 {"NAME > BODY : 50", "NAME > BODY FAMILY : 40", "BODY > GIVEN INITIAL FAMILY : 80",
                                  "BODY > GIVEN FAMILY : 70"});
  const int32_t root = cat_index(ctx, g, "NAME");
  tq_context clone{};
  context_record_init(&clone);
  const auto layers = tq_test::default_layers();
  ASSERT_EQ(context_parts_clone(ctx, &clone, layers), 0);
  parser_rec* mine[2] = {nullptr, nullptr};
  parser_rec* theirs[2] = {nullptr, nullptr};
  for (uint32_t k = 0; k < 2; ++k) {
    ASSERT_EQ(parser_get(ctx, k, g, root, nullptr, &mine[k]), 0);
    ASSERT_EQ(parser_get(&clone, k, g, root, nullptr, &theirs[k]), 0);
    EXPECT_EQ(mine[k], theirs[k]);
    EXPECT_EQ(mine[k]->refs, 2);
  }
  Words a(ctx, {{{"GIVEN", 90}}, {{"INITIAL", 70}, {"GIVEN", 40}}, {{"FAMILY", 90}}, {{"FAMILY", 60}}});
  // The first parse of each kind warms the runtime; afterwards a parse takes
  // nothing from the heap.
  for (uint32_t k = 0; k < 2; ++k) {
    Solutions s;
    ASSERT_EQ(parser_run(ctx, mine[k], a.get(), 0, 3, &s.list), 0);
    ASSERT_EQ(s.count(), 1u);
  }
  {
    tq_test::AllocCounter counter;
    for (int i = 0; i < 20; ++i)
      for (uint32_t k = 0; k < 2; ++k) {
        Solutions s;
        ASSERT_EQ(parser_run(ctx, mine[k], a.get(), 0, 3, &s.list), 0);
      }
    if (counter.available) {
      EXPECT_EQ(counter.allocations(), 0);
    }
  }
  auto worker = [&a](context* c, parser_rec* const* parsers, int32_t* failures) {
    for (int i = 0; i < 300; ++i) {
      Solutions s;
      const uint32_t k = static_cast<uint32_t>(i % 2);
      if (parser_run(c, parsers[k], a.get(), 0, 3, &s.list) != 0 || s.count() != 1 || s.best()->score <= 0) {
        ++*failures;
      }
    }
  };
  int32_t failures[2] = {0, 0};
  std::thread t1(worker, ctx, mine, &failures[0]);
  std::thread t2(worker, &clone, theirs, &failures[1]);
  t1.join();
  t2.join();
  EXPECT_EQ(failures[0] + failures[1], 0);
  for (uint32_t k = 0; k < 2; ++k) EXPECT_EQ(parser_release(&clone, theirs[k]), 0);
  context_parts_free(&clone, layers);
  // mine[] stay referenced: the shared state frees them with the grammar.
  EXPECT_EQ(parser_cache_count(ctx), 2u);
}

TEST(OptParamsDocument, PropertiesAndRows) {
  tq_test::BareContext bc;
  context* ctx = bc.get();
  xmldoc* doc = nullptr;
  ASSERT_EQ(xmldoc_create(ctx, "Parsorithm", "7.0", &doc), 0);
  parse_opt_params block;
  optp_block_init(&block);
  ASSERT_EQ(optp_xml_write(ctx, doc, &block), 0);  // flag off: nothing
  EXPECT_EQ(xmldoc_prop_exists(ctx, doc, "Levels To Score"), 0);
  ASSERT_EQ(xmldoc_prop_add(ctx, doc, "Input Length", "long"), 0);
  block.levels = 9;
  ASSERT_EQ(optp_xml_read(ctx, doc, &block), 0);
  EXPECT_EQ(block.override_flag, 1u);
  EXPECT_EQ(block.input_length, kInputAutomatic);  // only "Long" itself is Long
  EXPECT_EQ(block.levels, 9);
  ASSERT_EQ(xmldoc_prop_add(ctx, doc, "Levels To Score", "12"), 0);
  EXPECT_EQ(optp_xml_read(ctx, doc, &block), TQ_ERR_ARGUMENT);  // refused, not carried to an engine
  xml_free(ctx, doc);

  // Switching a block on starts it from the context's defaults.
  ASSERT_EQ(tqx_parse_opt_params_scoring_levels_default_set(ctx, 7), 0);
  optp_block_init(&block);
  optp_override_set(ctx, &block, 1);
  EXPECT_EQ(block.levels, 7);
  block.levels = 10;
  block.limit = 7000;
  block.input_length = kInputLong;
  ASSERT_EQ(xmldoc_create(ctx, "Table", "7.0", &doc), 0);
  xmldoc_field fields[kOptpColumns];
  int32_t added = 0;
  ASSERT_EQ(optp_xml_elements_add(ctx, doc, 0, fields, kOptpColumns, &added), 0);
  EXPECT_EQ(added, kOptpColumns);
  optp_xml_row_fill(&block, fields, 0);
  ASSERT_GE(xmldoc_record_add(ctx, doc, "r", nullptr, fields), 0);
  parse_opt_params back;
  optp_block_init(&back);
  ASSERT_EQ(optp_xml_row_read(ctx, doc, 0, &back), 0);
  EXPECT_EQ(back.override_flag, 1u);
  EXPECT_EQ(back.levels, 10);
  EXPECT_EQ(back.limit, 7000);
  EXPECT_EQ(back.input_length, kInputLong);
  xml_free(ctx, doc);
}

}  // namespace
