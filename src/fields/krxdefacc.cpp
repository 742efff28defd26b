// Accessors of extraction definitions with logic of their own; the plain
// ones are rows bound to the shared definition accessors
// (kbstore/krdefnacc.cpp).
#include "fields/krxdefacc.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "core/krenc.h"
#include "core/krerr.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdefnacc.h"
#include "kbstore/krdtok.h"
#include "core/krstr.h"
#include "fields/krxdef.h"
#include "resources/krgram.h"
#include "resources/krregxcat.h"
#include "resources/krsch.h"

namespace tq {

namespace {

constexpr int32_t K = kDefnExtract;
// The code of a call-state stack that is full is also that of a bounded
// list that is.
constexpr int32_t kListFull = TQ_ERR_CALL_STACK_FULL;
constexpr uint32_t kTokensMax = kExtractTokensMax;

}  // namespace

int32_t tqx_extraction_defn_token_add(context* ctx, int32_t index, const char* name, int32_t* tok_idx) {
  *tok_idx = -1;
  uint32_t count = 0;
  int32_t rc = defn_token_count_get(ctx, K, index, &count);
  if (rc < 0) return rc;
  if (count >= kTokensMax) {
    TQ_REPORT(ctx, kListFull, 57, "An extraction definition holds at most 32 tokens.");
    return kListFull;
  }
  int32_t p = -1;
  // A name that is no token of the datatype adds nothing.
  rc = defn_token_add_named(ctx, K, index, name, &p);
  if (rc < 0) return rc;
  *tok_idx = p;
  return rc;
}

int32_t tqx_extraction_defn_normalization_regexlib_add(context* ctx, int32_t index, const char* name) {
  std::vector<char> text(kDtokRsrcNameMax + 1);
  const int32_t conv = strio_in(ctx, name, text.data(), kDtokRsrcNameMax, kStrioConvert);
  if (conv < 0) return conv;
  // The shared accessor takes an empty name for "delete all"; this export
  // refuses it.
  if (text[0] == '\0') return TQ_ERR_ARGUMENT;
  return defn_normalization_regexlib_add(ctx, K, index, name);
}

// ---- The kind part ----------------------------------------------------------------------

namespace {

constexpr uint32_t kNameOut = 1028;  // a grammar name given out
constexpr uint32_t kCategoryOut = kExtractNameMax;

void drop_prepared(context* ctx, defn_rec* rec) { kDefnRecords.invalidate(ctx, rec, kFieldDropsPrepared); }

// The kind part of a definition found for reading.
int32_t part_for_read(context* ctx, int32_t index, extract_defn_kind_rec** part) {
  *part = nullptr;
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, K, index, &rec);
  if (rc < 0) return rc;
  *part = extract_defn_part(rec);
  return *part == nullptr ? TQ_ERR_INDEX : 0;
}

// Runs body(rec, part) on the definition taken for change and gives the
// hold back on every path; a change that succeeds must be prepared again.
template <typename F>
int32_t edit_part(context* ctx, int32_t index, F&& body) {
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t rc = defn_record_get_for_write(ctx, K, index, &rec, &held);
  if (rc < 0) return rc;
  try {
    extract_defn_kind_rec* part = extract_defn_part(rec);
    rc = part == nullptr ? TQ_ERR_INDEX : body(rec, part);
    if (rc >= 0) drop_prepared(ctx, rec);
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  return rc_combine(rc, held.release());
}

int32_t text_out(context* ctx, const char* utf8, char* out, uint32_t max) {
  int32_t rc = strio_out(ctx, utf8, out, max, kStrioConvert);
  if (rc < 0) {
    strio_out_clear(ctx, out);
    return rc;
  }
  return 0;
}

// A caller's text in UTF-8, at most max bytes, cut between characters.
struct text_in {
  std::vector<char> text;
  int32_t rc;
  text_in(context* ctx, const char* given, uint32_t max) : text(max + 1, '\0') {
    rc = strio_in(ctx, given, text.data(), max, kStrioConvert);
  }
  const char* c_str() const { return text.data(); }
  bool empty() const { return text[0] == '\0'; }
};

bool in_range(uint32_t j, size_t n) { return j < n; }

int32_t token_count(const defn_rec* rec) { return static_cast<int32_t>(rec->tokens.count()); }

// The index of a category in a pattern's grammar, -1 when it has none or
// lacks the name.
int32_t category_in(context* ctx, const extract_pattern_rec& p, const char* name) {
  return extract_grammar_category(ctx, p.grammar, name);
}

}  // namespace

int32_t tqx_extraction_defn_parser_enabled_get(context* ctx, int32_t index, uint32_t* enabled) {
  *enabled = 0;
  extract_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &part);
  if (rc >= 0) *enabled = part->parser_enabled;
  return rc;
}

int32_t tqx_extraction_defn_parser_enabled_set(context* ctx, int32_t index, uint32_t enabled) {
  return edit_part(ctx, index, [&](defn_rec*, extract_defn_kind_rec* part) {
    part->parser_enabled = enabled != 0 ? 1 : 0;  // the file holds yes or no
    return 0;
  });
}

int32_t tqx_extraction_defn_separator_get(context* ctx, int32_t index, char* separator) {
  strio_out_clear(ctx, separator);
  extract_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &part);
  if (rc < 0) return rc;
  return text_out(ctx, part->separator, separator, kExtractSeparatorMax);
}

int32_t tqx_extraction_defn_separator_set(context* ctx, int32_t index, const char* separator) {
  text_in in(ctx, separator, kExtractSeparatorMax);
  if (in.rc < 0) return in.rc;
  int32_t rc = edit_part(ctx, index, [&](defn_rec*, extract_defn_kind_rec* part) {
    str_copy_bounded(part->separator, in.c_str(), sizeof part->separator);
    return 0;
  });
  return rc_combine(rc, in.rc);
}

int32_t tqx_extraction_defn_default_token_get(context* ctx, int32_t index, int32_t* tok_idx) {
  *tok_idx = -1;
  extract_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &part);
  if (rc >= 0) *tok_idx = part->default_token;
  return rc;
}

int32_t tqx_extraction_defn_default_token_set(context* ctx, int32_t index, int32_t tok_idx) {
  // Checked against the definition's own tokens: a value in a slot the
  // definition does not have would never be given out.
  int32_t rc = edit_part(ctx, index, [&](defn_rec* rec, extract_defn_kind_rec* part) {
    if (tok_idx < -1 || tok_idx >= token_count(rec)) return TQ_ERR_INDEX;
    part->default_token = tok_idx;
    return 0;
  });
  if (rc < 0) return rc;
  return rc_combine(defn_version_raise_by_index(ctx, K, index, "9.0"), rc);
}

// ---- Patterns ----------------------------------------------------------------------------

int32_t tqx_extraction_defn_grammar_name_get(context* ctx, int32_t index, uint32_t pattern, char* name) {
  strio_out_clear(ctx, name);
  extract_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &part);
  if (rc < 0) return rc;
  if (!in_range(pattern, part->patterns.size())) return TQ_ERR_INDEX;
  const extract_pattern_rec& p = part->patterns[pattern];
  if (!p.grammar.held()) return 0;
  char utf8[kRsrcNameSize];
  rc = rsrc_name_get(ctx, kRsrcGrammar, p.grammar.index(), utf8, sizeof utf8);
  if (rc < 0) return rc;
  return text_out(ctx, utf8, name, kNameOut);
}

int32_t tqx_extraction_defn_grammar_name_set(context* ctx, int32_t index, uint32_t pattern, const char* name) {
  text_in in(ctx, name, kDtokRsrcNameMax);
  if (in.rc < 0) return in.rc;
  int32_t rc = edit_part(ctx, index, [&](defn_rec* rec, extract_defn_kind_rec* part) {
    if (!in_range(pattern, part->patterns.size())) return TQ_ERR_INDEX;
    return extract_pattern_grammar_set(ctx, rec, static_cast<int32_t>(pattern), in.c_str());
  });
  return rc_combine(rc, in.rc);
}

int32_t tqx_extraction_defn_pattern_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  extract_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &part);
  if (rc >= 0) *count = static_cast<uint32_t>(part->patterns.size());
  return rc;
}

int32_t tqx_extraction_defn_pattern_info_get(context* ctx, int32_t index, uint32_t pattern, char* root_cat,
                                             uint32_t* mode, int32_t* weight, int32_t* max_matches) {
  strio_out_clear(ctx, root_cat);
  *mode = 0;
  *weight = 0;
  *max_matches = 0;
  extract_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &part);
  if (rc < 0) return rc;
  if (!in_range(pattern, part->patterns.size())) return TQ_ERR_INDEX;
  const extract_pattern_rec& p = part->patterns[pattern];
  *mode = p.mode;
  *weight = p.weight;
  *max_matches = p.max_matches;
  return text_out(ctx, p.root_name, root_cat, kCategoryOut);
}

namespace {

int32_t pattern_args_check(uint32_t mode, int32_t max_matches) {
  return (mode == kExtractElement || mode == kExtractPhrase) && max_matches != 0 ? 0 : TQ_ERR_ARGUMENT;
}

}  // namespace

int32_t tqx_extraction_defn_pattern_info_set(context* ctx, int32_t index, uint32_t pattern, const char* grammar_name,
                                             const char* root_cat, uint32_t mode, int32_t weight,
                                             int32_t max_matches) {
  text_in root(ctx, root_cat, kCategoryOut);
  if (root.rc < 0) return root.rc;
  text_in grammar(ctx, grammar_name, kRsrcNameSize - 1);  // the name it registers
  if (grammar.rc < 0) return grammar.rc;
  if (int32_t rc = pattern_args_check(mode, max_matches); rc < 0) return rc;
  int32_t rc = edit_part(ctx, index, [&](defn_rec* rec, extract_defn_kind_rec* part) {
    if (!in_range(pattern, part->patterns.size())) return TQ_ERR_INDEX;
    const auto j = static_cast<int32_t>(pattern);
    bool changed = false;
    char present[kRsrcNameSize] = "";
    if (part->patterns[pattern].grammar.held()) {
      (void)rsrc_name_get(ctx, kRsrcGrammar, part->patterns[pattern].grammar.index(), present, sizeof present);
    }
    // The root is checked in the grammar the pattern will have before
    // anything changes.
    if (std::strcmp(present, grammar.c_str()) != 0) {
      int32_t r = extract_pattern_grammar_set(ctx, rec, j, grammar.c_str(), root.c_str());
      if (r < 0) return r;
      changed = true;
    }
    extract_pattern_rec& p = part->patterns[pattern];
    const int32_t at = category_in(ctx, p, root.c_str());
    if (at < 0) return TQ_ERR_ARGUMENT;
    if (changed || std::strcmp(p.root_name, root.c_str()) != 0) p.sought.clear();
    p.root_index = at;
    extract_name_take(p.root_name, root.c_str());
    p.weight = weight;
    p.mode = mode;
    p.max_matches = max_matches;
    return 0;
  });
  return rc_combine(rc, rc_combine(root.rc, grammar.rc));
}

int32_t tqx_extraction_defn_pattern_add(context* ctx, int32_t index, const char* grammar_name, const char* root_cat,
                                        uint32_t mode, int32_t weight, int32_t max_matches, uint32_t* pat_idx) {
  *pat_idx = 0;
  text_in root(ctx, root_cat, kCategoryOut);
  if (root.rc < 0) return root.rc;
  text_in grammar(ctx, grammar_name, kRsrcNameSize - 1);  // the name it registers
  if (grammar.rc < 0) return grammar.rc;
  if (int32_t rc = pattern_args_check(mode, max_matches); rc < 0) return rc;
  int32_t rc = edit_part(ctx, index, [&](defn_rec* rec, extract_defn_kind_rec*) {
    int32_t at = -1;
    // A root category the grammar lacks leaves no pattern behind.
    int32_t r = extract_pattern_add(ctx, rec, grammar.c_str(), root.c_str(), mode, weight, max_matches, &at);
    if (r < 0) return r;
    *pat_idx = static_cast<uint32_t>(at);
    return r;
  });
  return rc_combine(rc, rc_combine(root.rc, grammar.rc));
}

int32_t tqx_extraction_defn_patterns_delete_all(context* ctx, int32_t index) {
  return edit_part(ctx, index, [&](defn_rec* rec, extract_defn_kind_rec* part) {
    int32_t rc = 0;
    while (!part->patterns.empty()) {
      rc = rc_combine(rc, extract_pattern_delete(ctx, rec, static_cast<int32_t>(part->patterns.size()) - 1));
    }
    return rc < 0 ? rc : 0;
  });
}

int32_t tqx_extraction_defn_pattern_sought_cat_count_get(context* ctx, int32_t index, uint32_t pattern,
                                                         uint32_t* count) {
  *count = 0;
  extract_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &part);
  if (rc < 0) return rc;
  if (!in_range(pattern, part->patterns.size())) return TQ_ERR_INDEX;
  *count = static_cast<uint32_t>(part->patterns[pattern].sought.size());
  return 0;
}

int32_t tqx_extraction_defn_pattern_sought_cat_info_get(context* ctx, int32_t index, uint32_t pattern,
                                                        uint32_t sought, char* cat_abbr, int32_t* tok_idx) {
  strio_out_clear(ctx, cat_abbr);
  *tok_idx = -1;
  extract_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &part);
  if (rc < 0) return rc;
  if (!in_range(pattern, part->patterns.size())) return TQ_ERR_INDEX;
  const extract_pattern_rec& p = part->patterns[pattern];
  if (!in_range(sought, p.sought.size())) return TQ_ERR_INDEX;
  *tok_idx = p.sought[sought].token;
  return text_out(ctx, p.sought[sought].name, cat_abbr, kCategoryOut);
}

int32_t tqx_extraction_defn_pattern_sought_cat_add(context* ctx, int32_t index, uint32_t pattern,
                                                   const char* cat_abbr, uint32_t tok_idx) {
  text_in in(ctx, cat_abbr, kCategoryOut);
  if (in.rc < 0) return in.rc;
  int32_t rc = edit_part(ctx, index, [&](defn_rec* rec, extract_defn_kind_rec* part) {
    if (!in_range(pattern, part->patterns.size())) return TQ_ERR_INDEX;
    if (tok_idx >= static_cast<uint32_t>(token_count(rec))) return TQ_ERR_INDEX;
    const auto j = static_cast<int32_t>(pattern);
    return extract_sought_cat_add(ctx, rec, j, in.c_str(), static_cast<int32_t>(tok_idx));
  });
  return rc_combine(rc, in.rc);
}

int32_t tqx_extraction_defn_pattern_sought_cats_clear(context* ctx, int32_t index, uint32_t pattern) {
  return edit_part(ctx, index, [&](defn_rec*, extract_defn_kind_rec* part) {
    if (!in_range(pattern, part->patterns.size())) return TQ_ERR_INDEX;
    part->patterns[pattern].sought.clear();
    return 0;
  });
}

// ---- Optimization parameters of a pattern ----------------------------------------------------

namespace {

template <typename F>
int32_t opt_get(context* ctx, int32_t index, uint32_t pattern, F&& value) {
  extract_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &part);
  if (rc < 0) return rc;
  if (!in_range(pattern, part->patterns.size())) return TQ_ERR_INDEX;
  value(part->patterns[pattern].opt);
  return 0;
}

// Switches the override on (starting from the values in effect), then
// stores the value as given.
int32_t opt_set(context* ctx, int32_t index, uint32_t pattern, int32_t parse_opt_params::*field, uint32_t value) {
  return edit_part(ctx, index, [&](defn_rec*, extract_defn_kind_rec* part) {
    if (!in_range(pattern, part->patterns.size())) return TQ_ERR_INDEX;
    parse_opt_params& opt = part->patterns[pattern].opt;
    optp_override_set(ctx, &opt, 1);
    opt.*field = static_cast<int32_t>(std::min<uint32_t>(value, INT32_MAX));
    return 0;
  });
}

}  // namespace

int32_t tqx_extraction_defn_opt_params_override_get(context* ctx, int32_t index, uint32_t pattern,
                                                    uint32_t* override_flag) {
  *override_flag = 0;
  return opt_get(ctx, index, pattern,
                 [&](const parse_opt_params& p) { *override_flag = p.override_flag != 0 ? 1 : 0; });
}
int32_t tqx_extraction_defn_opt_params_resource_limit_get(context* ctx, int32_t index, uint32_t pattern,
                                                          int32_t* limit) {
  *limit = 0;
  return opt_get(ctx, index, pattern,
                 [&](const parse_opt_params& p) { *limit = optp_resource_limit_effective(ctx, &p); });
}
int32_t tqx_extraction_defn_opt_params_scoring_levels_get(context* ctx, int32_t index, uint32_t pattern,
                                                          int32_t* levels) {
  *levels = 0;
  return opt_get(ctx, index, pattern,
                 [&](const parse_opt_params& p) { *levels = optp_scoring_levels_effective(ctx, &p); });
}
int32_t tqx_extraction_defn_opt_params_input_length_get(context* ctx, int32_t index, uint32_t pattern,
                                                        int32_t* length) {
  *length = 0;
  return opt_get(ctx, index, pattern,
                 [&](const parse_opt_params& p) { *length = optp_input_length_effective(ctx, &p); });
}
int32_t tqx_extraction_defn_opt_params_override_set(context* ctx, int32_t index, uint32_t pattern,
                                                    uint32_t override_flag) {
  return edit_part(ctx, index, [&](defn_rec*, extract_defn_kind_rec* part) {
    if (!in_range(pattern, part->patterns.size())) return TQ_ERR_INDEX;
    optp_override_set(ctx, &part->patterns[pattern].opt, override_flag != 0 ? 1 : 0);
    return 0;
  });
}
int32_t tqx_extraction_defn_opt_params_resource_limit_set(context* ctx, int32_t index, uint32_t pattern,
                                                          uint32_t limit) {
  return opt_set(ctx, index, pattern, &parse_opt_params::limit, limit);
}
int32_t tqx_extraction_defn_opt_params_scoring_levels_set(context* ctx, int32_t index, uint32_t pattern,
                                                          uint32_t levels) {
  // The reader refuses a level count outside what the engines score, as
  // the other families' setters do.
  if (levels > INT32_MAX) return TQ_ERR_ARGUMENT;
  if (int32_t rc = optp_levels_validate(ctx, static_cast<int32_t>(levels)); rc < 0) return rc;
  return opt_set(ctx, index, pattern, &parse_opt_params::levels, levels);
}
int32_t tqx_extraction_defn_opt_params_input_length_set(context* ctx, int32_t index, uint32_t pattern,
                                                        uint32_t length) {
  // Any other value leaves no parser to pick and is written as automatic.
  if (length > INT32_MAX) return TQ_ERR_ARGUMENT;
  if (int32_t rc = optp_input_length_validate(ctx, static_cast<int32_t>(length)); rc < 0) return rc;
  return opt_set(ctx, index, pattern, &parse_opt_params::input_length, length);
}

// ---- Known-word schemes ------------------------------------------------------------------

int32_t tqx_extraction_defn_scheme_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  extract_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &part);
  if (rc >= 0) *count = static_cast<uint32_t>(part->schemes.size());
  return rc;
}

int32_t tqx_extraction_defn_scheme_info_get(context* ctx, int32_t index, uint32_t scheme, uint32_t* tok_index,
                                            char* sch_name, uint32_t* case_sens) {
  *tok_index = 0;
  *case_sens = 0;
  strio_out_clear(ctx, sch_name);
  extract_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &part);
  if (rc < 0) return rc;
  if (!in_range(scheme, part->schemes.size())) return TQ_ERR_INDEX;
  const extract_known_word_scheme& e = part->schemes[scheme];
  *tok_index = static_cast<uint32_t>(e.token);
  if (!e.scheme.held()) return 0;
  // As the writer writes it: the options the scheme was opened with.
  uint32_t flags = 0;
  rc = scheme_flags_get(ctx, e.scheme.index(), &flags);
  if (rc < 0) return rc;
  *case_sens = (flags & kSchemeCaseInsensitive) ? 0 : 1;
  char utf8[kRsrcNameSize];
  rc = rsrc_name_get(ctx, kRsrcScheme, e.scheme.index(), utf8, sizeof utf8);
  if (rc < 0) return rc;
  return text_out(ctx, utf8, sch_name, kDtokRsrcNameMax);
}

int32_t tqx_extraction_defn_scheme_info_set(context* ctx, int32_t index, uint32_t scheme, uint32_t tok_index,
                                            const char* sch_name, uint32_t case_sens) {
  text_in in(ctx, sch_name, kDtokRsrcNameMax);
  if (in.rc < 0) return in.rc;
  if (in.empty()) {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "'sch_name' is empty.");
    return TQ_ERR_ARGUMENT;
  }
  int32_t rc = edit_part(ctx, index, [&](defn_rec* rec, extract_defn_kind_rec* part) {
    if (!in_range(scheme, part->schemes.size())) return TQ_ERR_INDEX;
    if (tok_index >= static_cast<uint32_t>(token_count(rec))) return TQ_ERR_INDEX;
    extract_known_word_scheme& e = part->schemes[scheme];
    const uint32_t wanted = case_sens != 0 ? 0 : kSchemeCaseInsensitive;
    bool same = false;
    if (e.scheme.held()) {
      scheme_rec* s = nullptr;
      char present[kRsrcNameSize] = "";
      if (scheme_get(ctx, e.scheme.index(), &s) >= 0 &&
          rsrc_name_get(ctx, kRsrcScheme, e.scheme.index(), present, sizeof present) >= 0) {
        same = (s->flags & kSchemeCaseInsensitive) == wanted && std::strcmp(present, in.c_str()) == 0;
      }
    }
    if (!same) {
      // The entry is replaced by a fresh one at the end, then moved into
      // place: the old reference goes only once the new scheme is loaded.
      int32_t r = extract_scheme_add(ctx, rec, in.c_str(), case_sens != 0 ? 0 : 1, static_cast<int32_t>(tok_index));
      if (r < 0) return r;
      std::swap(part->schemes[scheme], part->schemes.back());
      r = extract_scheme_delete(ctx, rec, static_cast<int32_t>(part->schemes.size()) - 1);
      return r < 0 ? r : 0;
    }
    e.token = static_cast<int32_t>(tok_index);
    return 0;
  });
  return rc_combine(rc, in.rc);
}

int32_t tqx_extraction_defn_scheme_add(context* ctx, int32_t index, uint32_t tok_index, const char* sch_name,
                                       uint32_t case_sens) {
  text_in in(ctx, sch_name, kDtokRsrcNameMax);
  if (in.rc < 0) return in.rc;
  if (in.empty()) {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "'sch_name' is empty.");
    return TQ_ERR_ARGUMENT;
  }
  int32_t rc = edit_part(ctx, index, [&](defn_rec* rec, extract_defn_kind_rec*) {
    if (tok_index >= static_cast<uint32_t>(token_count(rec))) return TQ_ERR_INDEX;
    int32_t r = extract_scheme_add(ctx, rec, in.c_str(), case_sens != 0 ? 0 : 1, static_cast<int32_t>(tok_index));
    if (r < 0) TQ_REPORT(ctx, r, 148, in.c_str(), defn_kind_name(K), static_cast<const char*>(rec->name));
    return r;
  });
  return rc_combine(rc, in.rc);
}

int32_t tqx_extraction_defn_schemes_delete_all(context* ctx, int32_t index) {
  return edit_part(ctx, index, [&](defn_rec* rec, extract_defn_kind_rec* part) {
    int32_t rc = 0;
    while (!part->schemes.empty()) {
      rc = rc_combine(rc, extract_scheme_delete(ctx, rec, static_cast<int32_t>(part->schemes.size()) - 1));
    }
    return rc < 0 ? rc : 0;
  });
}

// ---- Categorization regex libraries ------------------------------------------------------------

int32_t tqx_extraction_defn_cat_regexlib_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  extract_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &part);
  if (rc >= 0) *count = static_cast<uint32_t>(part->cat_regexlibs.size());
  return rc;
}

int32_t tqx_extraction_defn_cat_regexlib_info_get(context* ctx, int32_t index, uint32_t entry, char* abbrev,
                                                  uint32_t* likelihood, char* rlib_name, uint32_t* stop) {
  strio_out_clear(ctx, abbrev);
  strio_out_clear(ctx, rlib_name);
  *likelihood = kLikelihoodDefault;
  *stop = 0;
  extract_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &part);
  if (rc < 0) return rc;
  if (!in_range(entry, part->cat_regexlibs.size())) return TQ_ERR_INDEX;
  int32_t l = 0;
  int32_t s = 0;
  rc = cat_regexlib_entry_info_get(ctx, part->cat_regexlibs[entry], abbrev, rlib_name, &l, &s, kStrioConvert);
  if (rc < 0) {
    strio_out_clear(ctx, abbrev);
    strio_out_clear(ctx, rlib_name);
    return rc;
  }
  *likelihood = static_cast<uint32_t>(l);
  *stop = s != 0 ? 1 : 0;
  return rc;
}

int32_t tqx_extraction_defn_cat_regexlib_info_set(context* ctx, int32_t index, uint32_t entry, const char* cat_abbr,
                                                  uint32_t likelihood, const char* rlib_name, uint32_t stop) {
  if (int32_t rc = cat_regexlib_texts_check(ctx, cat_abbr, rlib_name, kStrioConvert); rc < 0) return rc;
  return edit_part(ctx, index, [&](defn_rec*, extract_defn_kind_rec* part) {
    if (!in_range(entry, part->cat_regexlibs.size())) return TQ_ERR_INDEX;
    return cat_regexlib_entry_set(ctx, part->cat_regexlibs[entry], cat_abbr, -1, likelihood, rlib_name,
                                  stop != 0 ? 1 : 0, kStrioConvert);
  });
}

int32_t tqx_extraction_defn_cat_regexlib_add(context* ctx, int32_t index, const char* cat_abbr, uint32_t likelihood,
                                             const char* rlib_name, uint32_t stop) {
  return edit_part(ctx, index, [&](defn_rec* rec, extract_defn_kind_rec*) {
    auto* entry = new cat_regexlib_entry;
    cat_regexlib_entry_init(entry);
    int32_t r =
        cat_regexlib_entry_set(ctx, entry, cat_abbr, -1, likelihood, rlib_name, stop != 0 ? 1 : 0, kStrioConvert);
    if (r < 0) {
      cat_regexlib_entry_free(ctx, entry, 0);
      delete entry;
      return r;
    }
    const int32_t appended = extract_cat_regexlib_append(ctx, rec, entry);
    return appended < 0 ? appended : r;
  });
}

int32_t tqx_extraction_defn_cat_regexlib_delete(context* ctx, int32_t index, uint32_t entry) {
  return edit_part(ctx, index, [&](defn_rec* rec, extract_defn_kind_rec* part) {
    // An entry past the end changes nothing.
    if (!in_range(entry, part->cat_regexlibs.size())) return 0;
    int32_t r = extract_cat_regexlib_delete(ctx, rec, static_cast<int32_t>(entry));
    return r < 0 ? r : 0;
  });
}

int32_t tqx_extraction_defn_cat_regexlib_delete_all(context* ctx, int32_t index) {
  return edit_part(ctx, index, [&](defn_rec* rec, extract_defn_kind_rec* part) {
    while (!part->cat_regexlibs.empty()) {
      int32_t r = extract_cat_regexlib_delete(ctx, rec, static_cast<int32_t>(part->cat_regexlibs.size()) - 1);
      if (r < 0) return r;
    }
    return 0;
  });
}

// ---- Tokens that the kind part follows ------------------------------------------------------

int32_t tqx_extraction_defn_token_delete(context* ctx, int32_t index, int32_t token) {
  int32_t rc = defn_token_delete(ctx, K, index, token);
  if (rc < 0) return rc;
  return edit_part(ctx, index, [&](defn_rec* rec, extract_defn_kind_rec*) {
    return extract_defn_token_deleted(ctx, rec, token);
  });
}

int32_t tqx_extraction_defn_datatype_index_set(context* ctx, int32_t index, int32_t dtype_index) {
  // A datatype that is not there (or -1: an extraction definition needs
  // one) changes nothing.
  int32_t rc = defn_datatype_index_set_naming(ctx, K, index, dtype_index, kTokensMax);
  if (rc < 0) return rc;
  // The old tokens go first, with everything of the kind part that named
  // them, then one token per token of the datatype (at most 32), in order.
  return edit_part(ctx, index, [&](defn_rec* rec, extract_defn_kind_rec*) {
    int32_t r = extract_defn_tokens_cleared(ctx, rec);
    if (r < 0) return r;
    dtok_list_clear(ctx, &rec->tokens, 0);
    defn_token_owner owner;
    r = defn_token_owner_get(ctx, rec, &owner);
    for (uint32_t t = 0; r >= 0 && t < owner.owner.datatype_token_count && t < kTokensMax; ++t) {
      int32_t position = -1;
      r = dtok_list_add(ctx, owner.owner, &rec->tokens, &position);
      if (r < 0) break;
      dtok_rec* tok = rec->tokens.items[static_cast<size_t>(position)].get();
      r = dtok_name_set(ctx, owner.owner, rec->tokens.count(), tok, owner.datatype_tokens[t], 0);
    }
    return r;
  });
}

}  // namespace tq
