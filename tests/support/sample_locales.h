// The sample knowledge base's locales and the load flags of every part, for
// the tests that edit its definitions and write them back.
#pragma once

#include <cstdint>

#include "tq.h"

namespace tq_test {

inline constexpr int32_t kSampleEn = 29000;
inline constexpr int32_t kSampleEnusa = 29840;
inline constexpr uint32_t kEveryPart = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_IDENT_DEFNS |
                                       TQ_LOAD_STDZN_DEFNS | TQ_LOAD_GENDER_DEFNS | TQ_LOAD_MATCH_DEFNS |
                                       TQ_LOAD_CASE_DEFNS | TQ_LOAD_GUESS_DEFNS | TQ_LOAD_PATTERN_DEFNS |
                                       TQ_LOAD_EXTRACT_DEFNS | TQ_LOAD_LANGUAGE_DEFNS;

}  // namespace tq_test
