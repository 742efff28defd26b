// A call refused the write hold whose run again fails because another clone
// unloaded the locale in the refusal's gap: its outputs, infos and error
// list are as the same failure leaves them single-threaded. The upgrade's
// test hook makes the unload land in the gap every time, on the sample
// knowledge base, for each info kind and output that a road writes before
// it may be refused.
#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "core/krzel.h"
#include "kbstore/krdefn.h"
#include "standardize/krcdef.h"
#include "support/refused_roads.h"
#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::error_list_text;

constexpr int32_t kEnglish = 29000;
constexpr uint32_t kAllParts = 0xFFEu;
constexpr const char* kFirst = "Mary Ann Smith";  // what the infos hold before
constexpr const char* kValue = "Dr. John Q. Smith Jr.";
constexpr const char* kSentinel = "#before#";

// The clone that unloads English in the gap of `target`'s next upgrade.
struct GapUnload {
  tq_context* target = nullptr;
  tq_context* unloader = nullptr;
  int fired = 0;
};

void unload_in_gap(tq_context* ctx, void* arg) {
  auto* g = static_cast<GapUnload*>(arg);
  if (ctx != g->target || g->fired != 0) return;
  g->fired = 1;
  EXPECT_EQ(tq_zel_locale_unload(g->unloader, kEnglish), 0) << error_list_text(g->unloader);
}

void prepare_case_defn(tq_context* c) {
  int32_t index = -1;
  ASSERT_EQ(tq::defn_index_get_by_name(c, tq::kDefnCase, "Name", 0, &index), 0);
  tq::defn_rec* rec = nullptr;
  ASSERT_EQ(tq::defn_record_get_for_read(c, tq::kDefnCase, index, &rec), 0);
  ASSERT_EQ(tq::shared_state_write_lock(c, c->shared), 0);
  EXPECT_GE(tq::case_defn_prepare_held(c, rec), 0) << error_list_text(c);
  EXPECT_EQ(tq::shared_state_write_unlock(c, c->shared), 0);
}

// The match definition ready at 95, where the noise vocabulary and the
// phonetics are not used yet.
void match_at_95(tq_context* c) {
  char code[1100];
  EXPECT_GE(tq_match(c, "Name", 95, kValue, code), 0) << error_list_text(c);
}

// What makes a fresh load's definitions ready enough that a road is refused
// late, once it has started writing (by default nothing: a fresh road is
// refused where it prepares its definition).
const std::map<std::string, std::function<void(tq_context*)>>& warmers() {
  static const std::map<std::string, std::function<void(tq_context*)>> list = {
      // Prepared (its known-word scheme loaded): refused at the first
      // resource the case road itself loads.
      {"propercase_with_info", prepare_case_defn},
      // The parse definition ready: refused where the first word is scored.
      {"gender_determine_with_info",
       [](tq_context* c) {
         tq_parse_token t[TQ_PARSE_TOKENS];
         uint32_t n = 0;
         EXPECT_GE(tq_parse(c, "Name", kValue, t, &n), 0) << error_list_text(c);
       }},
      {"match", match_at_95},
      {"match_multicode", match_at_95},
  };
  return list;
}

TEST(RefusedRun, LocaleUnloadedInTheGapLeavesOutputsAndInfosAsASingleThreadedFailure) {
  tq_test::Context a(TQ_SAMPLE_KB);
  tq_context* b = nullptr;
  ASSERT_EQ(tq_clone(a, &b), 0);
  ASSERT_EQ(tq_session_encoding_set(a, TQ_ENC_UTF8), 0);
  tq_test::RoadInfos infos(a);
  GapUnload gap{a, b, 0};
  for (const tq_test::InfoRoad& road : tq_test::info_roads()) {
    SCOPED_TRACE(road.name);
    auto shown = [&] { return road.shown ? road.shown(a, infos) : std::string(); };
    // A run that fills the infos and makes the output, on a first load.
    ASSERT_EQ(tq_zel_locale_load(b, kEnglish, kAllParts), 0) << error_list_text(b);
    ASSERT_EQ(tq_locale_set(a, kEnglish), 0);
    char out[1100] = "";
    ASSERT_GE(road.call(a, infos, kFirst, out), 0) << error_list_text(a);
    // A fresh load, made ready up to the step that refuses the call.
    ASSERT_EQ(tq_zel_locale_unload(b, kEnglish), 0);
    ASSERT_EQ(tq_zel_locale_load(b, kEnglish, kAllParts), 0) << error_list_text(b);
    ASSERT_EQ(tq_locale_set(a, kEnglish), 0);
    if (auto warm = warmers().find(road.name); warm != warmers().end()) warm->second(a);
    const std::string before = shown();

    std::strcpy(out, kSentinel);
    gap.fired = 0;
    tq::shared_state_upgrade_gap_hook_set(unload_in_gap, &gap);
    const int32_t rc = road.call(a, infos, kValue, out);
    tq::shared_state_upgrade_gap_hook_set(nullptr, nullptr);
    EXPECT_EQ(gap.fired, 1) << "the call was not refused";
    EXPECT_EQ(rc, TQ_ERR_NO_LOCALE) << error_list_text(a);
    EXPECT_EQ(a.get()->errors.count, 1u) << error_list_text(a);
    const std::string failed_out = out;
    EXPECT_EQ(shown(), before);

    // The same call single-threaded, English not loaded.
    std::strcpy(out, kSentinel);
    EXPECT_EQ(road.call(a, infos, kValue, out), TQ_ERR_NO_LOCALE);
    EXPECT_EQ(failed_out, std::string(out));
    EXPECT_EQ(shown(), before);
  }
  EXPECT_EQ(tq_close(b), 0);
}

}  // namespace
