// The casing engine: changes the case of one UTF-8 value word by word under
// a case definition or none. A definition adds a preprocessing regex
// library (its first), its own chopper, a known-word scheme (whole words, or
// runs of two or more words, whose written form it gives), a known-pattern
// regex library and a postprocessing regex library; whatever they leave is
// cased by the default rule of the mode with the current locale's special
// casing. A run can record its steps into a case info.
//
// Working texts are locals of each run, so a run nested in another (a
// scheme that cases its output) cannot clobber them; the work area holds
// only the pool of output-pointer blocks that scheme applications borrow.
// No text is ever cut inside a character: inputs are cut to 1,024 bytes
// before chopping, a known-word standard is handed to the words of its
// span by characters, and the rebuilt text is bounded: it ends at the first
// piece that does not fit whole, so it is always the start of the cased
// value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/krcorvel.h"
#include "kbstore/krdefn.h"
#include "resources/krsch.h"
#include "standardize/krcdef.h"

// The record of one casing run (the case info object of the exports).
// Each run appends its word records behind those already held; the chop
// words and the texts and flags of the run replace those of an earlier one.
struct tq_case_info {
  struct word {
    std::string source;        // the word, or the span's text, as passed in
    // Under a definition a word's after-scheme text is the word until the
    // scheme changes it, and its after-regex text the after-scheme text
    // until the regexlib changes it; a span's are empty for a step that left
    // it alone; without a definition both are empty.
    std::string after_scheme;
    std::string after_regex;
    std::string final_text;    // empty for a span the scheme alone changed
    uint32_t scheme_flag = 0;
  };
  std::string preprocessed;
  std::vector<std::string> chop_words;
  std::vector<word> words;
  uint32_t preprocessing_matched = 0;
  uint32_t scheme_matched = 0;
  uint32_t regex_matched = 0;
  uint32_t default_casing_used = 0;
  uint32_t postprocessing_matched = 0;
  std::string concatenated;
};

namespace tq {

using case_info = ::tq_case_info;

// Working texts: the value (1,024 bytes of text and room for a converted
// input of up to 1,027), each word and each per-word text.
inline constexpr uint32_t kCaseTextSize = 1028;
inline constexpr uint32_t kCaseWordSize = 1025;
inline constexpr uint32_t kCaseValueMax = 1024;

// The context's casing work area.
struct case_work {
  scheme_pool pool;  // blocks of output pointers for scheme applications
  uint32_t ready;
};

// The context part: made on first use (-600), freed at teardown.
int32_t case_work_area_create(context* ctx);
void case_work_area_free(context* ctx);

// Cases `input` (UTF-8) by `mode` (0..3; another value leaves it as it is)
// under `rec` (a case definition, or NULL) into `out`, which holds `max`
// bytes; `max` bounds the output, terminator included (at most
// kCaseTextSize; the text itself is at most kCaseValueMax bytes, as the
// words rebuild it). A definition not prepared is prepared first (-706
// when its scheme changes word lengths). With info, the run is recorded,
// under the write hold (asked for first: kRcNeedsWriteHold while the call
// only reads, with nothing touched).
// Upper- and lowercasing with neither a definition nor an info case a
// well-formed value whole, with one call of the character library, which
// gives what the word road gives. The whole value is cased whatever `max`
// is; `out` holds the start of the cased text that fits, and *whole the
// whole cased text's length in bytes (of the value as the engine took it,
// cut to 1,024 bytes), whether or not it all fit: kWholeUnknown when a
// word lost a part that was not measured (a regex library's text). The run
// tells no cut of the cased text itself: its caller does, knowing its
// bound (case_upper_with_defn and its siblings). 0 or a negative code; the
// output holds what was written so far.
int32_t case_engine_run(context* ctx, defn_rec* rec, case_work* work, uint32_t mode, const char* input,
                        uint32_t max, char* out, case_info* info, uint64_t* whole);

// Default casing of a word in place (size bytes with the terminator) with
// the current locale's special casing. Proper: with unicode set, each word
// title-cased by the character library's word breaks ("jean-paul" gives
// "Jean-Paul"); without it the first character upper and the rest lower
// ("Jean-paul"). Returns the whole cased word's length in bytes: above
// size - 1 when it was cut to fit.
uint32_t case_default_apply(context* ctx, uint32_t mode, uint32_t unicode, char* text, uint32_t size);

}  // namespace tq
