// What every engine of the sample knowledge base gives for one name, as
// text: the failure-path tests compare it with a clean run's once a failed
// load has been made again.
#pragma once

#include <cstdint>
#include <string>

#include "tq.h"

namespace tq_test {

inline constexpr char kSampleName[] = "Dr. Bill O'Brien Jr";

inline std::string sample_engines(tq_context* ctx) {
  char out[4096];
  std::string all;
  auto add = [&](int32_t rc) { all += std::to_string(rc) + ":" + (rc >= 0 ? out : "") + "|"; };
  add(tq_propercase(ctx, "Name", kSampleName, out, sizeof out));
  add(tq_standardize(ctx, "Name", kSampleName, out));
  add(tq_match(ctx, "Name", 85, kSampleName, out));
  add(tq_gender_determine(ctx, "Name", kSampleName, out));
  add(tq_identify(ctx, "Name", kSampleName, out));
  add(tq_pattern_analyze(ctx, "Pattern", kSampleName, out));
  static tq_parse_token tokens[TQ_PARSE_TOKENS];
  uint32_t count = 0;
  add(tq_parse(ctx, "Name", kSampleName, tokens, &count));
  for (uint32_t i = 0; i < count; ++i) all += std::string(tokens[i].value) + ",";
  int32_t score = -1;
  add(tq_language_guess_score(ctx, "English", "the quick brown fox", &score));
  return all + std::to_string(score);
}

}  // namespace tq_test
