#include "standardize/krcaseop.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krzel.h"
#include "standardize/krcdef.h"
#include "standardize/krstctx.h"

namespace tq {

namespace {

constexpr int64_t kUpperSizeMax = 1028;
constexpr int64_t kLowerSizeMax = 1024;
constexpr int64_t kProperSizeMax = 1024;

// The largest output size a core takes: the exported calls' own limit for
// a caller's buffer; the engine's whole cased text for an engine that cases
// a value of its own (unconverted), so that a value of the engines' full
// length is never cut by the limit of an export.
int64_t size_limit(int64_t exported, uint32_t convert) {
  return (convert & kStrioConvert) != 0 ? exported : static_cast<int64_t>(kCaseTextSize);
}

int32_t argument_zero(context* ctx, const char* name) {
  char text[64];
  std::snprintf(text, sizeof text, "'%s' is 0.", name);
  TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, text);
  return TQ_ERR_ARGUMENT;
}

int32_t argument_null(context* ctx, const char* name) {
  char text[64];
  std::snprintf(text, sizeof text, "'%s' is null.", name);
  TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, text);
  return TQ_ERR_ARGUMENT;
}

int32_t wrong_target(context* ctx, const defn_rec* rec, int32_t msgno) {
  switch (msgno) {
    case 203:
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 203, rec->name);
      break;
    case 139:
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 139, rec->name);
      break;
    default:
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 126, rec->name);
      break;
  }
  return TQ_ERR_INVALID_CONTENT;
}

struct core_rule {
  uint32_t mode;
  int32_t msgno;
  bool usable_test;
};

// The steps of core_run; a failure may leave the output unfinished.
int32_t core_steps(context* ctx, defn_rec* rec, const char* in, char* out, uint32_t size, uint32_t convert,
                   case_info* info, const core_rule& rule) {
  const uint32_t term = strio_terminator_for(ctx, convert);
  if (strio_is_empty(ctx, in, convert) != 0) {
    strio_out_clear_n(ctx, out, size);
    return 0;
  }
  if (rec != nullptr) {
    if (rule.usable_test) {
      const int32_t rc = defn_rec_check_usable(ctx, rec);
      if (rc < 0) return rc;
    }
    const case_defn_kind_rec* part = case_defn_part(rec);
    if (part == nullptr) return TQ_ERR_DEFN_INVALID;
    if (part->target_case != rule.mode) return wrong_target(ctx, rec, rule.msgno);
  }
  case_work* work = nullptr;
  const int32_t made = case_work_get(ctx, &work);
  if (made != 0) return made;
  char text[kCaseTextSize];
  // The whole value up to the engine's length is cased and the result cut
  // to the caller's size on its way out, so that a cut the caller made is
  // told (the warning 102). A well-formed UTF-8 input is read where it lies.
  const char* value = text;
  const int32_t input = strio_in_view(ctx, in, text, kCaseValueMax, convert | kStrioValue, &value);
  if (input < 0) return input;
  // Without a definition the engine's output is the well-formed input's
  // characters cased, cut between characters: in UTF-8 (or unconverted)
  // it goes straight to the caller, as the conversion out would copy it.
  // It stands only when the engine measured the whole cased text within
  // both the caller's size and its own length; anything cut is cased again
  // below, where every cut is told. (Not with an info, whose word records
  // a second run would add again.)
  uint64_t whole = 0;
  if (rec == nullptr && info == nullptr &&
      ((convert & kStrioConvert) == 0 || ctx->session_encoding == kEncodingUtf8)) {
    const int32_t rc = case_engine_run(ctx, nullptr, work, rule.mode, value, size, out, nullptr, &whole);
    if (rc < 0) return rc;
    if (whole < std::min(size, kCaseValueMax + 1)) return input > 0 ? input : 0;
  }
  char cased[kCaseTextSize];
  const int32_t rc = case_engine_run(ctx, rec, work, rule.mode, value, kCaseTextSize, cased, info, &whole);
  if (rc < 0) return rc;
  // The cuts of the cased text, each told once with the whole cased text's
  // length as measured now (unknown after the value was cut on its way in,
  // or a step inside the engine cut a word): by the engines' length, then
  // by the caller's size.
  const size_t kept = std::strlen(cased);
  const uint64_t told = strio_whole_known(ctx, whole);
  if (whole > kept) strio_note_measured_cut(ctx, "the cased text", kCaseValueMax, kept, told);
  int32_t output = 0;
  if ((convert & kStrioConvert) != 0) {
    output = strio_out_whole(ctx, cased, out, size - term, convert, told);
    if (output < 0) return output;
  } else {
    strio_copy_noted(ctx, "the cased text", out, cased, size);
  }
  if (input > 0) return input;
  return output > 0 ? output : 0;
}

// The common road of the three cores once the size is known to hold a
// terminator: test the definition, convert in, run, convert out. A failure
// leaves the output empty, but a run refused the write hold (preparing the
// definition, loading a resource) leaves it as it was: the run again
// writes it, and may fail before it would have (the locale unloaded in
// between, say), as a single-threaded call failing there leaves it.
int32_t core_run(context* ctx, defn_rec* rec, const char* in, char* out, uint32_t size, uint32_t convert,
                 case_info* info, const core_rule& rule) {
  const int32_t rc = core_steps(ctx, rec, in, out, size, convert, info, rule);
  if (rc < 0 && !call_refused(ctx)) strio_out_clear_n(ctx, out, size);
  return rc;
}

// A size that holds no terminator of the caller's encoding is refused
// before anything is written.
bool size_too_small(context* ctx, int64_t size, uint32_t convert) {
  const uint32_t term = strio_terminator_for(ctx, convert);
  return size < static_cast<int64_t>(term);
}

}  // namespace

int32_t case_upper_with_defn(context* ctx, defn_rec* rec, const char* in, char* out, int64_t size, uint32_t convert,
                             case_info* info) {
  if (in == nullptr || out == nullptr) return TQ_ERR_ARGUMENT;
  // Sizes are unsigned to the callers of upper and lower casing.
  size = static_cast<int64_t>(static_cast<uint32_t>(size));
  if (size_too_small(ctx, size, convert)) return argument_zero(ctx, "max_len");
  size = std::min(size, size_limit(kUpperSizeMax, convert));
  return core_run(ctx, rec, in, out, static_cast<uint32_t>(size), convert, info, core_rule{kCaseUpper, 203, true});
}

int32_t case_lower_with_defn(context* ctx, defn_rec* rec, const char* in, char* out, int64_t size, uint32_t convert,
                             case_info* info) {
  if (in == nullptr || out == nullptr) return TQ_ERR_ARGUMENT;
  size = static_cast<int64_t>(static_cast<uint32_t>(size));
  if (size_too_small(ctx, size, convert)) return argument_zero(ctx, "max_len");
  size = std::min(size, size_limit(kLowerSizeMax, convert));
  return core_run(ctx, rec, in, out, static_cast<uint32_t>(size), convert, info, core_rule{kCaseLower, 139, false});
}

int32_t case_proper_with_defn(context* ctx, defn_rec* rec, const char* in, char* out, int64_t size,
                              uint32_t convert, case_info* info) {
  if (in == nullptr) return argument_null(ctx, "in_str");
  if (out == nullptr) return argument_null(ctx, "pr_str");
  if (size == 0 || (size > 0 && size_too_small(ctx, size, convert))) return argument_zero(ctx, "max_len");
  const int64_t limit = size_limit(kProperSizeMax, convert);
  if (size < 0 || size > limit) size = limit;
  return core_run(ctx, rec, in, out, static_cast<uint32_t>(size), convert, info, core_rule{kCaseProper, 126, true});
}

// ---- Exports ------------------------------------------------------------------------------

namespace {

using core_fn = int32_t (*)(context*, defn_rec*, const char*, char*, int64_t, uint32_t, case_info*);

int32_t by_index(context* ctx, core_fn core, int32_t index, bool usable_test, const char* in, char* out,
                 int32_t size, case_info* info) {
  defn_rec* rec = nullptr;
  if (index != -1) {
    int32_t rc = defn_record_get_for_read(ctx, kDefnCase, index, &rec);
    if (rc < 0) return rc;
    if (usable_test) {
      rc = defn_rec_check_usable(ctx, rec);
      if (rc < 0) return rc;
    }
  }
  return core(ctx, rec, in, out, size, kStrioConvert, info);
}

int32_t by_name(context* ctx, core_fn core, const char* name, uint32_t flags, const char* in, char* out,
                int32_t size, case_info* info) {
  defn_rec* rec = nullptr;
  if (strio_is_empty(ctx, name, kStrioConvert) == 0) {
    int32_t index = -1;
    int32_t rc = defn_index_get_by_name(ctx, kDefnCase, name, kDefnNameConvert | flags, &index);
    if (rc < 0) return rc;
    rc = defn_record_get_for_read(ctx, kDefnCase, index, &rec);
    if (rc < 0) return rc;
  }
  return core(ctx, rec, in, out, size, kStrioConvert, info);
}

}  // namespace

int32_t uppercase(context* ctx, const char* name, const char* in_str, char* up_str, int32_t max_len) {
  return by_name(ctx, case_upper_with_defn, name, 0, in_str, up_str, max_len, nullptr);
}
int32_t uppercase_by_index(context* ctx, int32_t index, const char* in_str, char* up_str, int32_t max_len) {
  return by_index(ctx, case_upper_with_defn, index, false, in_str, up_str, max_len, nullptr);
}
int32_t uppercase_nonsurfaced(context* ctx, const char* name, const char* in_str, char* up_str, int32_t max_len) {
  return by_name(ctx, case_upper_with_defn, name, kDefnAnySurface, in_str, up_str, max_len, nullptr);
}
int32_t uppercase_with_info(context* ctx, const char* name, const char* in_str, char* up_str, int32_t max_len,
                            case_info* info) {
  return by_name(ctx, case_upper_with_defn, name, 0, in_str, up_str, max_len, info);
}
int32_t uppercase_with_info_nonsurfaced(context* ctx, const char* name, const char* in_str, char* up_str,
                                        int32_t max_len, case_info* info) {
  return by_name(ctx, case_upper_with_defn, name, kDefnAnySurface, in_str, up_str, max_len, info);
}

int32_t lowercase(context* ctx, const char* name, const char* in_str, char* low_str, int32_t max_len) {
  return by_name(ctx, case_lower_with_defn, name, 0, in_str, low_str, max_len, nullptr);
}
// The lower core itself takes a definition without testing it; the index
// form tests it (a disabled definition is refused here only).
int32_t lowercase_by_index(context* ctx, int32_t index, const char* in_str, char* low_str, int32_t max_len) {
  return by_index(ctx, case_lower_with_defn, index, true, in_str, low_str, max_len, nullptr);
}
int32_t lowercase_nonsurfaced(context* ctx, const char* name, const char* in_str, char* low_str, int32_t max_len) {
  return by_name(ctx, case_lower_with_defn, name, kDefnAnySurface, in_str, low_str, max_len, nullptr);
}
int32_t lowercase_with_info(context* ctx, const char* name, const char* in_str, char* low_str, int32_t max_len,
                            case_info* info) {
  return by_name(ctx, case_lower_with_defn, name, 0, in_str, low_str, max_len, info);
}
int32_t lowercase_with_info_nonsurfaced(context* ctx, const char* name, const char* in_str, char* low_str,
                                        int32_t max_len, case_info* info) {
  return by_name(ctx, case_lower_with_defn, name, kDefnAnySurface, in_str, low_str, max_len, info);
}

int32_t propercase(context* ctx, const char* name, const char* in_str, char* prop_str, int32_t max_len) {
  return by_name(ctx, case_proper_with_defn, name, 0, in_str, prop_str, max_len, nullptr);
}
int32_t propercase_by_index(context* ctx, int32_t index, const char* in_str, char* prop_str, int32_t max_len) {
  return by_index(ctx, case_proper_with_defn, index, false, in_str, prop_str, max_len, nullptr);
}
int32_t propercase_nonsurfaced(context* ctx, const char* name, const char* in_str, char* prop_str,
                               int32_t max_len) {
  return by_name(ctx, case_proper_with_defn, name, kDefnAnySurface, in_str, prop_str, max_len, nullptr);
}
int32_t propercase_with_info(context* ctx, const char* name, const char* in_str, char* prop_str, int32_t max_len,
                             case_info* info) {
  return by_name(ctx, case_proper_with_defn, name, 0, in_str, prop_str, max_len, info);
}
int32_t propercase_with_info_nonsurfaced(context* ctx, const char* name, const char* in_str, char* prop_str,
                                         int32_t max_len, case_info* info) {
  return by_name(ctx, case_proper_with_defn, name, kDefnAnySurface, in_str, prop_str, max_len, info);
}

}  // namespace tq
