// Accessors of identification definitions with logic of their own; the
// plain ones are rows bound to the shared definition accessors
// (kbstore/krdefnacc.cpp).
#include "fields/kridefacc.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "core/krenc.h"
#include "core/krerr.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdefnacc.h"
#include "kbstore/krdtok.h"
#include "fields/kridef.h"
#include "resources/krregxcat.h"

namespace tq {

namespace {

constexpr int32_t K = kDefnIdent;

}  // namespace

int32_t tqx_identification_defn_datatype_index_set_no_upcast(context* ctx, int32_t index, int32_t dtype_index) {
  int32_t rc = defn_datatype_index_set(ctx, K, index, dtype_index);
  if (rc < 0) return rc;
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t r = defn_record_get_for_write(ctx, K, index, &rec, &held);
  if (r < 0) return r;
  kDefnRecords.invalidate(ctx, rec, kFieldDropsPrepared);
  return rc_combine(rc, held.release());
}

int32_t tqx_identification_defn_normalization_regexlib_name_get(context* ctx, int32_t index, char* name) {
  return defn_normalization_regexlib_name_get_by_index(ctx, K, index, 0, name);
}

// ---- Whole definitions ---------------------------------------------------------------

int32_t tqx_identification_defn_add(context* ctx, const char* name, int32_t* index) {
  return defn_add(ctx, K, name, kDefnNameConvert, index);
}

int32_t tqx_identification_defn_copy(context* ctx, const char* sname, const char* dname, int32_t* index) {
  return defn_copy(ctx, K, sname, dname, kDefnNameConvert, index);
}

int32_t tqx_identification_defn_write(context* ctx, int32_t index, tq_xmldoc* xml) {
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, K, index, &rec);
  if (rc < 0) return rc;
  if (rec->kind == 0) return TQ_ERR_INDEX;
  rc = defn_element_write(ctx, xml, rec);
  return rc < 0 ? rc : 0;
}


// ---- Format level and the change epilogue ------------------------------------------------

namespace {

// Runs body(rec, part) on the definition taken for change and gives the hold
// back on every path; an unloaded slot is -800.
template <typename F>
int32_t edit(context* ctx, int32_t index, F&& body) {
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t rc = defn_record_get_for_write(ctx, K, index, &rec, &held);
  if (rc < 0) return rc;
  try {
    ident_defn_kind_rec* part = ident_defn_part(rec);
    rc = part != nullptr ? body(rec, part) : TQ_ERR_INDEX;
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  return rc_combine(rc, held.release());
}

// The epilogue inside a change that holds the record already.
void epilogue(ident_defn_kind_rec* part) {
  ident_defn_level_raise(part);
  ident_defn_unbind(part);
}

// A change of the kind part with the epilogue on success. The part's own
// operations leave it unbound whenever they changed something, failures
// included.
template <typename F>
int32_t change(context* ctx, int32_t index, F&& body) {
  return edit(ctx, index, [&](defn_rec*, ident_defn_kind_rec* part) {
    const int32_t r = body(part);
    if (r >= 0) epilogue(part);
    return r;
  });
}

int32_t read_part(context* ctx, int32_t index, const defn_rec** rec, const ident_defn_kind_rec** part) {
  *part = nullptr;
  defn_rec* r = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, K, index, &r);
  if (rc < 0) return rc;
  *rec = r;
  *part = ident_defn_part(r);
  return *part == nullptr ? TQ_ERR_INDEX : 0;
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

// Out sizes with the session's terminator included: values and category
// names 128 bytes, descriptions and resource names 1,028.
constexpr uint32_t kShortOut = 128;
constexpr uint32_t kLongOut = 1028;
constexpr uint32_t kRegexlibOut = 16384;
// An identity value is kept in at most what its 128-byte output gives back
// whole with a one-byte terminator: 127 bytes. A longer one would be kept
// and never read back (the texts naming a value take the same limit).
constexpr uint32_t kIdentValueIn = kShortOut - 1;

int32_t text_out(context* ctx, const char* utf8, char* out, uint32_t size) {
  const int32_t rc = strio_out_sized(ctx, utf8, out, size, kStrioConvert);
  if (rc < 0) strio_out_clear(ctx, out);
  return rc;
}

// The registered name of a held reference into a caller's buffer; nothing
// for an empty one.
int32_t ref_name_out(context* ctx, const rsrc_ref& ref, char* out, uint32_t size) {
  if (!ref.held()) return 0;
  char utf8[kRsrcNameSize];
  const int32_t rc = rsrc_name_get(ctx, ref.kind(), ref.index(), utf8, sizeof utf8);
  if (rc < 0) return rc;
  return text_out(ctx, utf8, out, size);
}

// The first failure, else the first warning, in the order given.
int32_t first_of(std::initializer_list<int32_t> results) {
  for (int32_t r : results)
    if (r < 0) return r;
  for (int32_t r : results)
    if (r > 0) return r;
  return 0;
}

}  // namespace

int32_t ident_defn_epilogue(context* ctx, int32_t index) {
  return edit(ctx, index, [&](defn_rec*, ident_defn_kind_rec* part) {
    epilogue(part);
    return 0;
  });
}

int32_t ident_defn_field_changed(context* ctx, int32_t kind, const field_desc& f, int32_t index, int32_t value) {
  int32_t rc = field_set(ctx, kind, f, index, value);
  if (rc < 0) return rc;
  return rc_combine(rc, ident_defn_epilogue(ctx, index));
}

int32_t ident_defn_field_changed(context* ctx, int32_t kind, const field_desc& f, int32_t index, uint32_t value) {
  int32_t rc = field_set(ctx, kind, f, index, value);
  if (rc < 0) return rc;
  return rc_combine(rc, ident_defn_epilogue(ctx, index));
}

int32_t tqx_identification_defn_datatype_index_set(context* ctx, int32_t index, int32_t dtype_index) {
  int32_t rc = defn_datatype_index_set(ctx, K, index, dtype_index);
  if (rc < 0) return rc;
  return rc_combine(rc, ident_defn_epilogue(ctx, index));
}

int32_t tqx_identification_defn_touch(context* ctx, int32_t index) {
  return edit(ctx, index, [&](defn_rec*, ident_defn_kind_rec* part) {
    ident_defn_level_raise(part);
    return 0;
  });
}

int32_t tqx_identification_defn_version_get(context* ctx, int32_t index, uint32_t* value) {
  *value = 0;
  const defn_rec* rec = nullptr;
  const ident_defn_kind_rec* part = nullptr;
  int32_t rc = read_part(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  *value = part->level;
  return 0;
}

int32_t tqx_identification_defn_normalization_regexlib_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  const defn_rec* rec = nullptr;
  const ident_defn_kind_rec* part = nullptr;
  int32_t rc = read_part(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  // Below level 7 the normalization libraries serve as the preprocessing
  // ones and no analysis sees them.
  if (part->level > kIdentLevel5) *count = static_cast<uint32_t>(rec->normalization.size());
  return 0;
}

int32_t tqx_identification_defn_preprocessing_regexlib_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  const defn_rec* rec = nullptr;
  const ident_defn_kind_rec* part = nullptr;
  int32_t rc = read_part(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  *count = static_cast<uint32_t>(ident_defn_preproc_list(rec, part).size());
  return 0;
}

int32_t tqx_identification_defn_preprocessing_regexlib_name_get_by_index(context* ctx, int32_t index,
                                                                          int32_t position, char* name) {
  const defn_rec* rec = nullptr;
  const ident_defn_kind_rec* part = nullptr;
  int32_t rc = read_part(ctx, index, &rec, &part);
  if (rc < 0) {
    strio_out_clear(ctx, name);
    return rc;
  }
  return part->level > kIdentLevel5
             ? defn_preprocessing_regexlib_name_get_by_index(ctx, K, index, position, name)
             : defn_normalization_regexlib_name_get_by_index(ctx, K, index, position, name);
}

int32_t tqx_identification_defn_normalization_regexlib_name_set(context* ctx, int32_t index, const char* name) {
  text_in in(ctx, name, kDtokRsrcNameMax);
  if (in.rc < 0) return in.rc;
  if (in.empty()) {
    const int32_t rc = defn_normalization_regexlibs_delete_all(ctx, K, index);
    if (rc < 0) return rc;
    return first_of({in.rc, rc, ident_defn_epilogue(ctx, index)});
  }
  // The named library is opened before the old ones are given back, so a
  // name that cannot be opened changes nothing.
  return rc_combine(edit(ctx, index,
                         [&](defn_rec* rec, ident_defn_kind_rec* part) {
                           rsrc_ref fresh;
                           const int32_t r = rsrc_open_checked(ctx, kRsrcRegex, in.c_str(), 0, &fresh);
                           if (r < 0) return r;
                           int32_t released = 0;
                           for (rsrc_ref& old : rec->normalization) released = rc_combine(released, old.release(ctx));
                           // Emptied, the list keeps its room: an empty one had nothing to move.
                           rec->normalization.clear();
                           const int32_t grown = defn_list_append(rec->normalization, std::move(fresh),
                                                                  [ctx](rsrc_ref& f) { (void)f.release(ctx); });
                           if (grown < 0) return grown;
                           // As emptying the list does: without the old libraries
                           // words are looked up uppercased.
                           rec->automatic_uppercasing = 1;
                           epilogue(part);
                           return rc_combine(released < 0 ? released : 0, r);
                         }),
                    in.rc);
}

// ---- Identity values --------------------------------------------------------------------

int32_t tqx_identification_defn_value_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  const defn_rec* rec = nullptr;
  const ident_defn_kind_rec* part = nullptr;
  // Whatever keeps the definition from being had, the caller hears -800.
  if (read_part(ctx, index, &rec, &part) < 0) return TQ_ERR_INDEX;
  *count = static_cast<uint32_t>(part->values.size());
  return 0;
}

int32_t tqx_identification_defn_value_info_get(context* ctx, int32_t index, int32_t value_index, char* value,
                                               char* desc, uint32_t* dflt_flag) {
  strio_out_clear(ctx, value);
  strio_out_clear(ctx, desc);
  *dflt_flag = 0;
  const defn_rec* rec = nullptr;
  const ident_defn_kind_rec* part = nullptr;
  int32_t rc = read_part(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  if (value_index < 0 || static_cast<size_t>(value_index) >= part->values.size()) return TQ_ERR_INDEX;
  const ident_value_rec& v = part->values[static_cast<size_t>(value_index)];
  rc = text_out(ctx, v.value, value, kShortOut);
  if (rc >= 0) rc = rc_combine(rc, text_out(ctx, v.desc, desc, kLongOut));
  if (rc < 0) return rc;
  *dflt_flag = v.dflt != 0 ? 1 : 0;
  return rc;
}

int32_t tqx_identification_defn_value_add(context* ctx, int32_t index, const char* value, const char* desc,
                                          uint32_t dflt_flag) {
  text_in v(ctx, value, kIdentValueIn);
  text_in d(ctx, desc, kIdentDescSize - 1);
  if (int32_t r = first_of({v.rc, d.rc}); r < 0) return r;
  const int32_t rc = change(ctx, index, [&](ident_defn_kind_rec* part) {
    return ident_defn_value_add(part, v.c_str(), d.c_str(), dflt_flag);
  });
  return rc < 0 ? rc : first_of({v.rc, d.rc, rc});
}

int32_t tqx_identification_defn_values_delete_all(context* ctx, int32_t index) {
  return change(ctx, index, [&](ident_defn_kind_rec* part) {
    ident_defn_values_delete_all(part);
    return 0;
  });
}

// ---- Known identities -------------------------------------------------------------------

int32_t tqx_identification_defn_known_identity_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  const defn_rec* rec = nullptr;
  const ident_defn_kind_rec* part = nullptr;
  int32_t rc = read_part(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  *count = static_cast<uint32_t>(part->known.size());
  return 0;
}

int32_t tqx_identification_defn_known_identity_info_get(context* ctx, int32_t index, int32_t known_index,
                                                        char* scheme, uint32_t* options, char* value) {
  strio_out_clear(ctx, scheme);
  strio_out_clear(ctx, value);
  *options = 0;
  const defn_rec* rec = nullptr;
  const ident_defn_kind_rec* part = nullptr;
  int32_t rc = read_part(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  if (known_index < 0 || static_cast<size_t>(known_index) >= part->known.size()) return TQ_ERR_INDEX;
  const ident_known_rec& k = part->known[static_cast<size_t>(known_index)];
  rc = ref_name_out(ctx, k.scheme, scheme, kLongOut);
  if (rc < 0) return rc;
  if (k.scheme.held()) *options = k.flags;
  // One whose identity text named no value gives an empty value.
  if (k.value >= 0 && static_cast<size_t>(k.value) < part->values.size())
    rc = rc_combine(rc, text_out(ctx, part->values[static_cast<size_t>(k.value)].value, value, kShortOut));
  return rc;
}

namespace {

int32_t known_change(context* ctx, int32_t index, int32_t known, const char* scheme, uint32_t options,
                     const char* identity) {
  text_in s(ctx, scheme, kDtokRsrcNameMax);
  text_in id(ctx, identity, kIdentValueIn);
  if (int32_t r = first_of({s.rc, id.rc}); r < 0) return r;
  const int32_t rc = change(ctx, index, [&](ident_defn_kind_rec* part) {
    return ident_defn_known_set(ctx, part, known, s.c_str(), options, id.c_str());
  });
  return rc < 0 ? rc : first_of({s.rc, id.rc, rc});
}

}  // namespace

int32_t tqx_identification_defn_known_identity_add(context* ctx, int32_t index, const char* scheme,
                                                   uint32_t options, const char* identity) {
  return known_change(ctx, index, -1, scheme, options, identity);
}

int32_t tqx_identification_defn_known_identity_info_set(context* ctx, int32_t index, int32_t known_index,
                                                        const char* scheme, uint32_t options, const char* identity) {
  // A negative position would name no identity here rather than add one.
  if (known_index < 0) return TQ_ERR_INDEX;
  return known_change(ctx, index, known_index, scheme, options, identity);
}

int32_t tqx_identification_defn_known_identities_delete_all(context* ctx, int32_t index) {
  return change(ctx, index, [&](ident_defn_kind_rec* part) { return ident_defn_known_delete_all(ctx, part); });
}

// ---- Patterns ---------------------------------------------------------------------------

namespace {

int32_t pattern_change(context* ctx, int32_t index, int32_t pattern, const char* grammar_name, const char* root_cat,
                       const char* sought_cat, uint32_t options, const char* id_val, int32_t weight, uint32_t stop) {
  text_in g(ctx, grammar_name, kDtokRsrcNameMax);
  text_in root(ctx, root_cat, kIdentValueSize - 1);
  text_in sought(ctx, sought_cat, kIdentValueSize - 1);
  text_in id(ctx, id_val, kIdentValueIn);
  if (int32_t r = first_of({root.rc, sought.rc, id.rc, g.rc}); r < 0) return r;
  const int32_t rc = change(ctx, index, [&](ident_defn_kind_rec* part) {
    return ident_defn_pattern_set(ctx, part, pattern, g.c_str(), root.c_str(), sought.c_str(), options, id.c_str(),
                                  weight, stop);
  });
  return rc < 0 ? rc : first_of({root.rc, sought.rc, id.rc, g.rc, rc});
}

// The pattern at pattern_index for reading; -800 out of range.
int32_t pattern_for_read(context* ctx, int32_t index, int32_t pattern_index, const ident_defn_kind_rec** part,
                         const ident_pattern_rec** p) {
  const defn_rec* rec = nullptr;
  int32_t rc = read_part(ctx, index, &rec, part);
  if (rc < 0) return rc;
  if (pattern_index < 0 || static_cast<size_t>(pattern_index) >= (*part)->patterns.size()) return TQ_ERR_INDEX;
  *p = &(*part)->patterns[static_cast<size_t>(pattern_index)];
  return 0;
}

}  // namespace

int32_t tqx_identification_defn_pattern_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  const defn_rec* rec = nullptr;
  const ident_defn_kind_rec* part = nullptr;
  int32_t rc = read_part(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  *count = static_cast<uint32_t>(part->patterns.size());
  return 0;
}

int32_t tqx_identification_defn_pattern_info_get(context* ctx, int32_t index, int32_t pattern_index, char* root_cat,
                                                 char* sought_cat, uint32_t* options, char* id_val, int32_t* weight,
                                                 uint32_t* stop) {
  strio_out_clear(ctx, root_cat);
  strio_out_clear(ctx, sought_cat);
  strio_out_clear(ctx, id_val);
  *options = 0;
  *weight = 0;
  *stop = 0;
  const ident_defn_kind_rec* part = nullptr;
  const ident_pattern_rec* p = nullptr;
  int32_t rc = pattern_for_read(ctx, index, pattern_index, &part, &p);
  if (rc < 0) return rc;
  if (p->value < 0 || static_cast<size_t>(p->value) >= part->values.size()) return TQ_ERR_INDEX;
  rc = text_out(ctx, p->root_name, root_cat, kShortOut);
  if (rc >= 0) rc = rc_combine(rc, text_out(ctx, p->sought_name, sought_cat, kShortOut));
  if (rc >= 0)
    rc = rc_combine(rc, text_out(ctx, part->values[static_cast<size_t>(p->value)].value, id_val, kShortOut));
  if (rc < 0) return rc;
  *options = p->options;
  *weight = p->weight;
  *stop = p->stop;
  return rc;
}

int32_t tqx_identification_defn_pattern_add(context* ctx, int32_t index, const char* grammar_name,
                                            const char* root_cat, const char* sought_cat, uint32_t options,
                                            const char* id_val, int32_t weight, uint32_t stop) {
  return pattern_change(ctx, index, -1, grammar_name, root_cat, sought_cat, options, id_val, weight, stop);
}

int32_t tqx_identification_defn_pattern_info_set(context* ctx, int32_t index, int32_t pattern_index,
                                                 const char* grammar_name, const char* root_cat,
                                                 const char* sought_cat, uint32_t options, const char* id_val,
                                                 int32_t weight, uint32_t stop) {
  if (pattern_index < 0) return TQ_ERR_INDEX;
  return pattern_change(ctx, index, pattern_index, grammar_name, root_cat, sought_cat, options, id_val, weight, stop);
}

int32_t tqx_identification_defn_patterns_delete_all(context* ctx, int32_t index) {
  return change(ctx, index, [&](ident_defn_kind_rec* part) { return ident_defn_patterns_delete_all(ctx, part); });
}

int32_t tqx_identification_defn_grammar_name_get(context* ctx, int32_t index, int32_t pattern_index, char* name) {
  strio_out_clear(ctx, name);
  const ident_defn_kind_rec* part = nullptr;
  const ident_pattern_rec* p = nullptr;
  int32_t rc = pattern_for_read(ctx, index, pattern_index, &part, &p);
  if (rc < 0) return rc;
  return ref_name_out(ctx, p->grammar, name, kLongOut);
}

int32_t tqx_identification_defn_grammar_name_set(context* ctx, int32_t index, int32_t pattern_index,
                                                 const char* name) {
  text_in in(ctx, name, kDtokRsrcNameMax);
  if (in.rc < 0) return in.rc;
  const int32_t rc = change(ctx, index, [&](ident_defn_kind_rec* part) {
    return ident_defn_pattern_grammar_set(ctx, part, pattern_index, in.c_str());
  });
  return rc < 0 ? rc : first_of({in.rc, rc});
}

// ---- Optimization parameters of a pattern ------------------------------------------------

namespace {

template <typename F>
int32_t opt_change(context* ctx, int32_t index, int32_t pattern_index, F&& body) {
  return change(ctx, index, [&](ident_defn_kind_rec* part) {
    if (pattern_index < 0 || static_cast<size_t>(pattern_index) >= part->patterns.size()) return TQ_ERR_INDEX;
    ident_pattern_rec& p = part->patterns[static_cast<size_t>(pattern_index)];
    body(&p.opt);
    // Binding builds the pattern's parser from these values.
    ident_defn_unbind(part);
    return 0;
  });
}

// A value setter switches the override on first (from the values then in
// effect), then stores the value.
int32_t opt_set(context* ctx, int32_t index, int32_t pattern_index, int32_t parse_opt_params::*field, int32_t value) {
  return opt_change(ctx, index, pattern_index, [&](parse_opt_params* opt) {
    optp_override_set(ctx, opt, 1);
    opt->*field = value;
  });
}

template <typename F>
int32_t opt_get(context* ctx, int32_t index, int32_t pattern_index, F&& body) {
  const ident_defn_kind_rec* part = nullptr;
  const ident_pattern_rec* p = nullptr;
  int32_t rc = pattern_for_read(ctx, index, pattern_index, &part, &p);
  if (rc < 0) return rc;
  body(&p->opt);
  return 0;
}

}  // namespace

int32_t tqx_identification_defn_opt_params_override_get(context* ctx, int32_t index, int32_t pattern_index,
                                                        uint32_t* value) {
  *value = 0;
  return opt_get(ctx, index, pattern_index,
                 [&](const parse_opt_params* o) { *value = o->override_flag != 0 ? 1 : 0; });
}
int32_t tqx_identification_defn_opt_params_resource_limit_get(context* ctx, int32_t index, int32_t pattern_index,
                                                              int32_t* value) {
  *value = 0;
  return opt_get(ctx, index, pattern_index,
                 [&](const parse_opt_params* o) { *value = optp_resource_limit_effective(ctx, o); });
}
int32_t tqx_identification_defn_opt_params_scoring_levels_get(context* ctx, int32_t index, int32_t pattern_index,
                                                              int32_t* value) {
  *value = 0;
  return opt_get(ctx, index, pattern_index,
                 [&](const parse_opt_params* o) { *value = optp_scoring_levels_effective(ctx, o); });
}
int32_t tqx_identification_defn_opt_params_input_length_get(context* ctx, int32_t index, int32_t pattern_index,
                                                            int32_t* value) {
  *value = 0;
  return opt_get(ctx, index, pattern_index,
                 [&](const parse_opt_params* o) { *value = optp_input_length_effective(ctx, o); });
}
int32_t tqx_identification_defn_opt_params_override_set(context* ctx, int32_t index, int32_t pattern_index,
                                                        uint32_t value) {
  return opt_change(ctx, index, pattern_index,
                    [&](parse_opt_params* o) { optp_override_set(ctx, o, value != 0 ? 1 : 0); });
}
int32_t tqx_identification_defn_opt_params_resource_limit_set(context* ctx, int32_t index, int32_t pattern_index,
                                                              int32_t value) {
  return opt_set(ctx, index, pattern_index, &parse_opt_params::limit, value);
}
int32_t tqx_identification_defn_opt_params_scoring_levels_set(context* ctx, int32_t index, int32_t pattern_index,
                                                              int32_t value) {
  // Binding builds parsers that score at most ten levels: refused here
  // rather than met at the next run.
  if (int32_t rc = optp_levels_validate(ctx, value); rc < 0) return rc;
  return opt_set(ctx, index, pattern_index, &parse_opt_params::levels, value);
}
int32_t tqx_identification_defn_opt_params_input_length_set(context* ctx, int32_t index, int32_t pattern_index,
                                                            int32_t value) {
  // A parser asked for another length than short, long or automatic picks
  // no engine and the run fails; the written form would turn it into
  // "Automatic". Refused here instead.
  if (int32_t rc = optp_input_length_validate(ctx, value); rc < 0) return rc;
  return opt_set(ctx, index, pattern_index, &parse_opt_params::input_length, value);
}

// ---- Categorization regex libraries -------------------------------------------------------

int32_t tqx_identification_defn_cat_regexlib_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  const defn_rec* rec = nullptr;
  const ident_defn_kind_rec* part = nullptr;
  int32_t rc = read_part(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  *count = static_cast<uint32_t>(part->cat_regexlibs.size());
  return 0;
}

int32_t tqx_identification_defn_cat_regexlib_info_get(context* ctx, int32_t index, int32_t entry_index, char* abbrev,
                                                      uint32_t* likelihood, char* rlib_name, uint32_t* stop) {
  strio_out_clear(ctx, abbrev);
  strio_out_clear(ctx, rlib_name);
  *likelihood = kLikelihoodDefault;
  *stop = 0;
  const defn_rec* rec = nullptr;
  const ident_defn_kind_rec* part = nullptr;
  int32_t rc = read_part(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  if (entry_index < 0 || static_cast<size_t>(entry_index) >= part->cat_regexlibs.size()) return TQ_ERR_INDEX;
  int32_t l = 0;
  int32_t s = 0;
  // Taken in UTF-8 first, then given in the sizes above, terminator
  // included, so that nothing lands past a buffer of those sizes.
  char cat[kCategoryNameSize];
  std::string lib(kCatRegexlibNameMax + 1, '\0');
  rc = cat_regexlib_entry_info_get(ctx, part->cat_regexlibs[static_cast<size_t>(entry_index)], cat, lib.data(), &l,
                                   &s, 0);
  if (rc >= 0) rc = text_out(ctx, cat, abbrev, kShortOut);
  if (rc >= 0) rc = rc_combine(rc, text_out(ctx, lib.c_str(), rlib_name, kRegexlibOut));
  if (rc < 0) {
    strio_out_clear(ctx, abbrev);
    strio_out_clear(ctx, rlib_name);
    return rc;
  }
  *likelihood = static_cast<uint32_t>(l);
  *stop = s != 0 ? 1 : 0;
  return rc;
}

int32_t tqx_identification_defn_cat_regexlib_info_set(context* ctx, int32_t index, int32_t entry_index,
                                                      const char* cat_abbr, uint32_t likelihood,
                                                      const char* rlib_name, uint32_t stop) {
  if (int32_t rc = cat_regexlib_texts_check(ctx, cat_abbr, rlib_name, kStrioConvert); rc < 0) return rc;
  return edit(ctx, index, [&](defn_rec*, ident_defn_kind_rec* part) {
    if (entry_index < 0 || static_cast<size_t>(entry_index) >= part->cat_regexlibs.size()) return TQ_ERR_INDEX;
    // The entry is rebuilt only when the new one could be: a failure
    // changed nothing, and the definition stays bound at its level.
    const int32_t r = cat_regexlib_entry_set(ctx, part->cat_regexlibs[static_cast<size_t>(entry_index)], cat_abbr, -1,
                                             likelihood, rlib_name, stop != 0 ? 1 : 0, kStrioConvert);
    if (r >= 0) epilogue(part);
    return r;
  });
}

int32_t tqx_identification_defn_cat_regexlib_add(context* ctx, int32_t index, const char* cat_abbr,
                                                 uint32_t likelihood, const char* rlib_name, uint32_t stop) {
  return change(ctx, index, [&](ident_defn_kind_rec* part) {
    auto* entry = new cat_regexlib_entry;
    cat_regexlib_entry_init(entry);
    const int32_t r =
        cat_regexlib_entry_set(ctx, entry, cat_abbr, -1, likelihood, rlib_name, stop != 0 ? 1 : 0, kStrioConvert);
    if (r < 0) {
      cat_regexlib_entry_free(ctx, entry, 0);
      delete entry;
      return r;
    }
    const int32_t appended = ident_defn_cat_regexlib_append(ctx, part, entry);
    return appended < 0 ? appended : r;
  });
}

int32_t tqx_identification_defn_cat_regexlib_delete_all(context* ctx, int32_t index) {
  return change(ctx, index, [&](ident_defn_kind_rec* part) { return ident_defn_cat_regexlib_delete_all(ctx, part); });
}

}  // namespace tq
