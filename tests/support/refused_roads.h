// Roads of the sample knowledge base's English definitions "Name" that
// write into an info or an output before they may be refused the write
// hold, for the tests of a failed run again: each road's call (into a text
// that stands for its output) and what its info shows.
#pragma once

#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "tq.h"

namespace tq_test {

// The infos (and the multicode block) of one caller, made and freed together.
struct RoadInfos {
  tq_context* ctx;
  tq_case_info* case_info = nullptr;
  tq_gender_info* gender = nullptr;
  tq_match_info* match = nullptr;
  tq_stand_info* stand = nullptr;
  tq_match_multicode_entry* block = nullptr;
  explicit RoadInfos(tq_context* c) : ctx(c) {
    tq_case_info_init(c, &case_info);
    tq_gender_info_init(c, &gender);
    tq_match_info_init(c, &match);
    tq_stand_info_init(c, &stand);
  }
  ~RoadInfos() {
    tq_case_info_free(ctx, case_info);
    tq_gender_info_free(ctx, gender);
    tq_match_info_free(ctx, match);
    tq_stand_info_free(ctx, stand);
    tq_match_multicode_output_destroy(ctx, block);
  }
  RoadInfos(const RoadInfos&) = delete;
  RoadInfos& operator=(const RoadInfos&) = delete;
};

// One road: the call of a value, its output read from and written back to
// `out` (1,100 bytes), and what its info shows ("" without one).
struct InfoRoad {
  const char* name;
  std::function<int32_t(tq_context*, RoadInfos&, const char* value, char* out)> call;
  std::function<std::string(tq_context*, RoadInfos&)> shown;
};

inline std::string road_counts(std::initializer_list<uint32_t> n) {
  std::string s;
  for (uint32_t v : n) s += std::to_string(v) + ",";
  return s;
}

// The match roads run at 80, where the noise vocabulary and the phonetics
// come in: a definition ready at 95 loads them on first use, after the code
// is pre-filled.
inline const std::vector<InfoRoad>& info_roads() {
  static const std::vector<InfoRoad> list = {
      {"propercase", [](tq_context* c, RoadInfos&, const char* v, char* out) { return tq_propercase(c, "Name", v, out, 1024); },
       nullptr},
      {"propercase_with_info",
       [](tq_context* c, RoadInfos& i, const char* v, char* out) {
         return tq_propercase_with_info(c, "Name", v, out, 1024, i.case_info);
       },
       [](tq_context* c, RoadInfos& i) {
         char concat[1100] = "";
         uint32_t chopped = 0, words = 0;
         tq_case_info_concat_string_get(c, i.case_info, concat);
         tq_case_info_chop_word_count_get(c, i.case_info, &chopped);
         tq_case_info_word_count_get(c, i.case_info, &words);
         return std::string(concat) + "|" + road_counts({chopped, words});
       }},
      {"gender_determine_with_info",
       [](tq_context* c, RoadInfos& i, const char* v, char* out) {
         return tq_gender_determine_with_info(c, "Name", v, out, i.gender);
       },
       [](tq_context* c, RoadInfos& i) {
         uint32_t tokens = 0, sig = 0, words = 0;
         tq_gender_info_token_count_get(c, i.gender, &tokens);
         tq_gender_info_sig_token_count_get(c, i.gender, &sig);
         tq_gender_info_word_count_get(c, i.gender, &words);
         std::string shown = road_counts({tokens, sig, words});
         for (uint32_t t = 0; t < tokens; ++t) {
           char name[400] = "", value[1100] = "";
           tq_gender_info_token_info_get(c, i.gender, t, name, value);
           shown += std::string(name) + "=" + value + ";";
         }
         return shown;
       }},
      {"match", [](tq_context* c, RoadInfos&, const char* v, char* out) { return tq_match(c, "Name", 80, v, out); },
       nullptr},
      // The first entry's code and the count stand for the block.
      {"match_multicode",
       [](tq_context* c, RoadInfos& i, const char* v, char* out) {
         if (i.block == nullptr && tq_match_multicode_output_create(c, "Name", &i.block) != 0) return -1;
         std::strcpy(i.block[0].code, out);
         uint32_t num = 7;
         const int32_t rc = tq_match_multicode(c, "Name", 80, v, &i.block, &num);
         std::strcpy(out, (std::string(i.block[0].code) + "/" + std::to_string(num)).c_str());
         return rc;
       },
       nullptr},
      {"match_with_info",
       [](tq_context* c, RoadInfos& i, const char* v, char* out) {
         return tq_match_with_info(c, "Name", 80, v, out, i.match);
       },
       [](tq_context* c, RoadInfos& i) {
         uint32_t tokens = 0, sig = 0;
         tq_match_info_token_count_get(c, i.match, &tokens);
         tq_match_info_sig_token_count_get(c, i.match, &sig);
         return road_counts({tokens, sig});
       }},
      {"standardize_with_info",
       [](tq_context* c, RoadInfos& i, const char* v, char* out) {
         return tq_standardize_with_info(c, "Name", v, out, i.stand);
       },
       [](tq_context* c, RoadInfos& i) {
         char pre[1100] = "";
         uint32_t tokens = 0;
         tq_stand_info_precased_get(c, i.stand, pre);
         tq_stand_info_token_count_get(c, i.stand, &tokens);
         return std::string(pre) + "|" + road_counts({tokens});
       }},
      // The first token slot stands for them all.
      {"parse",
       [](tq_context* c, RoadInfos&, const char* v, char* out) {
         tq_parse_token t[TQ_PARSE_TOKENS];
         std::strcpy(t[0].value, out);
         uint32_t n = 7;
         const int32_t rc = tq_parse(c, "Name", v, t, &n);
         std::strcpy(out, t[0].value);
         return rc;
       },
       nullptr},
  };
  return list;
}

}  // namespace tq_test
