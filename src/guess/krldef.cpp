#include "guess/krldef.h"
#include "guess/krgrefs.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/krerr.h"
#include "core/krstr.h"
#include "kbstore/krshared.h"
#include "kbstore/krxml.h"
#include "kbstore/krxmltab.h"
#include "resources/krsch.h"

namespace tq {

namespace {

constexpr const char* kKindName = "Language Guess";
constexpr const char* kVersion = "7.0";
constexpr const char* kPropWindow = "Window Size";
constexpr const char* kPropBias = "Scoring Bias";
constexpr const char* kPropCaseSensitive = "Case Sensitive";
constexpr const char* kPropBookends = "Use Bookends";
constexpr const char* kPropSquash = "Squash Whitespace";
constexpr const char* kIncKnown = "Known Pattern Regexlibs";
constexpr const char* kIncSchemes = "Training Schemes";
constexpr const char* kColRegexlib = "Regexlib";
constexpr const char* kColLikelihood = "Likelihood";
constexpr const char* kColScheme = "Scheme";

constexpr const char* kBiasNames[kLangBiasCount] = {"Scheme Only",  "Scheme Most", "Scheme Slight", "Equal",
                                                    "Regex Slight", "Regex Most",  "Regex Only"};
constexpr const char* kLikelihoodNames[kLangLikelihoodCount] = {"Very High", "High",     "Medium",
                                                                "Low",       "Very Low", "Never"};

// Gives back (or forgets) every reference of the lists; each slot is empty
// as soon as its reference went. The first failure.
int32_t lists_release(context* ctx, lang_defn_kind_rec* part, int32_t keep_refs) {
  int32_t first = 0;
  auto drop = [&](rsrc_ref& ref) {
    if (keep_refs != 0) {
      ref.forget();
      return;
    }
    const int32_t rc = ref.release(ctx);
    if (rc < 0 && first == 0) first = rc;
  };
  for (lang_training_scheme& s : part->schemes) drop(s.ref);
  part->schemes.clear();
  part->schemes.shrink_to_fit();
  for (lang_known_regexlib& k : part->known) drop(k.lib);
  part->known.clear();
  part->known.shrink_to_fit();
  return first;
}

// ---- Reading ------------------------------------------------------------------------------

struct read_state {
  context* ctx;
  const xmldoc* el;
  defn_rec* rec;
  lang_defn_kind_rec* part;
  int32_t last = 0;
  int32_t step(int32_t rc) { return defn_rec_load_result(ctx, rec, rc, &last); }
  int32_t bad_property(const char* name) {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 200, name, el->type, kKindName, rec->name);
    return TQ_ERR_INVALID_CONTENT;
  }
};

// A window outside 2..4 (or not a number) makes the definition not valid:
// no model is built on a window nobody can set.
int32_t read_window(read_state& s) {
  const char* text = xmldoc_prop_get(s.ctx, s.el, kPropWindow);
  if (text[0] == '\0') return s.bad_property(kPropWindow);
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < static_cast<long>(kLangWindowMin) ||
      value > static_cast<long>(kLangWindowMax)) {
    // The property is there: the refusal names what it holds.
    TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 2440, kKindName, s.rec->name, kPropWindow, text,
              static_cast<int32_t>(kLangWindowMin), static_cast<int32_t>(kLangWindowMax));
    return TQ_ERR_INVALID_CONTENT;
  }
  s.part->window = static_cast<uint32_t>(value);
  return 0;
}

int32_t read_bias(read_state& s) {
  const int32_t bias = guess_name_index(kBiasNames, kLangBiasCount, xmldoc_prop_get(s.ctx, s.el, kPropBias));
  if (bias < 0) return s.bad_property(kPropBias);
  s.part->bias = static_cast<uint32_t>(bias);
  return 0;
}

int32_t read_option(read_state& s, const char* name, uint32_t bit) {
  int32_t flag = 0;
  if (xmldoc_prop_get_yes_no(s.ctx, s.el, name, 0, &flag, nullptr) < 0 || flag < 0) return s.bad_property(name);
  if (flag != 0) s.part->options |= bit;
  return 0;
}

int32_t read_known(read_state& s) {
  const xmldoc* table = guess_include_find(s.el, kIncKnown);
  if (table == nullptr || table->record_count < 1) return 0;
  int32_t col_lib = -1;
  int32_t col_like = -1;
  if (int32_t rc = xmldoc_column_find(s.ctx, table, kColRegexlib, &col_lib); rc < 0 || col_lib < 0) {
    TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 200, kColRegexlib, table->type, kKindName, s.rec->name);
    return TQ_ERR_INVALID_CONTENT;
  }
  if (int32_t rc = xmldoc_column_find(s.ctx, table, kColLikelihood, &col_like); rc < 0 || col_like < 0) {
    TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 200, kColLikelihood, table->type, kKindName, s.rec->name);
    return TQ_ERR_INVALID_CONTENT;
  }
  try {
    s.part->known.reserve(static_cast<size_t>(table->record_count));
  } catch (const std::bad_alloc&) {
    defn_memory_report(s.ctx, "Allocating memory for known regexlibs of lang defn %s.", s.rec->name);
    return TQ_ERR_NO_MEMORY;
  }
  for (int32_t r = 0; r < table->record_count; ++r) {
    const xmldoc_record& row = table->records[r];
    if (row.key == nullptr) continue;
    const char* like = xmldoc_record_text(row, col_like);
    const int32_t likelihood = guess_name_index(kLikelihoodNames, kLangLikelihoodCount, like);
    if (likelihood < 0) {
      TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 1351, kColLikelihood, kKindName, s.rec->name, like);
      if (int32_t critical = s.step(TQ_ERR_INVALID_CONTENT); critical != 0) return critical;
      continue;
    }
    lang_known_regexlib entry;
    entry.likelihood = static_cast<uint32_t>(likelihood);
    const int32_t rc = rsrc_open(s.ctx, kRsrcRegex, xmldoc_record_text(row, col_lib), 0, &entry.lib);
    if (rc < 0) {
      if (int32_t critical = s.step(rc); critical != 0) return critical;
    }
    // Kept by its name alone too: the file names it (rsrc_open_kept).
    if (entry.lib.held()) s.part->known.push_back(std::move(entry));  // reserved: cannot throw
  }
  return 0;
}

int32_t read_schemes(read_state& s) {
  const xmldoc* table = guess_include_find(s.el, kIncSchemes);
  if (table == nullptr || table->record_count < 1) return 0;
  int32_t col = -1;
  if (int32_t rc = xmldoc_column_find(s.ctx, table, kColScheme, &col); rc < 0 || col < 0) {
    TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 200, kColScheme, table->type, kKindName, s.rec->name);
    return TQ_ERR_INVALID_CONTENT;
  }
  try {
    s.part->schemes.reserve(static_cast<size_t>(table->record_count));
  } catch (const std::bad_alloc&) {
    defn_memory_report(s.ctx, "Allocating memory for training schemes of lang defn %s.", s.rec->name);
    return TQ_ERR_NO_MEMORY;
  }
  const uint32_t options = lang_scheme_load_options(s.part->options);
  int32_t result = 0;
  for (int32_t r = 0; r < table->record_count; ++r) {
    const xmldoc_record& row = table->records[r];
    if (row.key == nullptr) continue;
    const char* name = xmldoc_record_text(row, col);
    if (name[0] == '\0') {
      TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 1351, kColScheme, kKindName, s.rec->name, "<null>");
      return TQ_ERR_INVALID_CONTENT;
    }
    // One that cannot be opened now is kept by its name (rsrc_open_kept),
    // and the schemes after it are read all the same: the next write
    // writes every name the file gave. The first failure is the step's.
    lang_training_scheme scheme;
    int32_t rc = rsrc_open(s.ctx, kRsrcScheme, name, options, &scheme.ref);
    if (rc < 0) {
      TQ_REPORT(s.ctx, rc, 148, name, kKindName, s.rec->name);
      if (err_is_critical(rc)) return rc;
      if (result == 0) result = rc;
    }
    if (scheme.ref.held()) s.part->schemes.push_back(std::move(scheme));  // reserved: cannot throw
  }
  return result;
}

// ---- Writing ------------------------------------------------------------------------------

// Every training scheme the definition holds, also those given back after
// training: their names are what a load trains from again.
int32_t write_schemes(context* ctx, xmldoc* el, const lang_defn_kind_rec* part) {
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, kIncSchemes, kVersion, &doc);
  if (rc != 0) return rc;
  rc = xmldoc_column_add(ctx, doc, kColScheme, kXmlColString);
  for (const lang_training_scheme& scheme : part->schemes) {
    if (rc < 0) break;
    char name[kRsrcNameSize];
    rc = lang_training_scheme_name(ctx, scheme, name, sizeof name);
    if (rc < 0 || name[0] == '\0') continue;  // a slot with neither is nothing a reader could open
    xmldoc_field f{};
    f.type = kXmlColString;
    f.text = name;
    rc = xmldoc_record_add(ctx, doc, "", nullptr, &f);
  }
  return xmldoc_include_or_free(ctx, el, kIncSchemes, doc, rc);
}

// The names of the held training schemes, one per slot, taken before
// anything gives them back.
int32_t scheme_names_take(context* ctx, const defn_rec* rec, const lang_defn_kind_rec* part,
                          std::vector<std::string>* names) {
  try {
    names->resize(part->schemes.size());
    for (size_t i = 0; i < part->schemes.size(); ++i) {
      const rsrc_ref& ref = part->schemes[i].ref;
      if (!ref.held()) continue;
      char name[kRsrcNameSize];
      if (int32_t rc = rsrc_name_get(ctx, kRsrcScheme, ref.index(), name, sizeof name); rc < 0) return rc;
      (*names)[i] = name;
    }
  } catch (const std::bad_alloc&) {
    defn_memory_report(ctx, "Allocating memory for training schemes of lang defn %s.", rec->name);
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

// ---- Training -----------------------------------------------------------------------------

}  // namespace

int32_t lang_count_value(const char* text) {
  errno = 0;
  const long long v = std::strtoll(text != nullptr ? text : "", nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

const char* lang_bias_name(uint32_t bias) { return bias < kLangBiasCount ? kBiasNames[bias] : nullptr; }

const char* lang_likelihood_name(uint32_t likelihood) {
  return likelihood < kLangLikelihoodCount ? kLikelihoodNames[likelihood] : kLikelihoodNames[kLangLikelihoodMedium];
}

uint32_t lang_scheme_load_options(uint32_t options) {
  return kLangSchemeLoadOptions | ((options & kLangCaseSensitive) != 0 ? 0u : kLangSchemeCaseInsensitive);
}

int32_t lang_training_scheme_name(context* ctx, const lang_training_scheme& scheme, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return TQ_ERR_ARGUMENT;
  if (scheme.ref.held()) {
    out[0] = '\0';
    return rsrc_name_get(ctx, kRsrcScheme, scheme.ref.index(), out, size);
  }
  str_copy_bounded(out, scheme.name.c_str(), size);
  return 0;
}

// ---- Hooks ----------------------------------------------------------------------------------

int32_t lang_defn_type_matches(context*, const char* include_name) {
  return defn_root_type_matches(include_name, kLangRootType, kLangRootTypeVertical);
}

int32_t lang_defn_kind_init(context* ctx, defn_rec* rec) {
  auto* part = new (std::nothrow) lang_defn_kind_rec;
  if (part == nullptr) return TQ_ERR_NO_MEMORY;
  if (ngram_profile_create(ctx, &part->model) != 0) {
    delete part;
    return TQ_ERR_NO_MEMORY;
  }
  rec->part = part;
  return 0;
}

int32_t lang_defn_kind_read(context* ctx, const xmldoc* element, defn_rec* rec) {
  lang_defn_kind_rec* part = lang_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  read_state s{ctx, element, rec, part};
  int32_t rc = s.step(read_window(s));
  if (rc == 0) rc = s.step(read_bias(s));
  if (rc == 0) rc = s.step(read_option(s, kPropCaseSensitive, kLangCaseSensitive));
  if (rc == 0) rc = s.step(read_option(s, kPropBookends, kLangBookends));
  if (rc == 0) rc = s.step(read_option(s, kPropSquash, kLangSquashSpace));
  if (rc == 0) rc = s.step(read_known(s));
  if (rc == 0) rc = s.step(read_schemes(s));
  if (rc == 0 && (ctx->options & kOptPrepareOnRead) != 0) rc = s.step(lang_defn_bind(ctx, rec));
  if (rc != 0) return rc;
  return s.last != 0 ? TQ_WARN_READ_PROBLEMS : 0;
}

int32_t lang_defn_kind_write(context* ctx, xmldoc* element, const defn_rec* rec) {
  const lang_defn_kind_rec* part = lang_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  char window[kIntTextSize];
  const char* bias = lang_bias_name(part->bias);
  int32_t rc = xmldoc_prop_add(ctx, element, kPropWindow, str_from_int(static_cast<int32_t>(part->window), window));
  if (rc >= 0) rc = xmldoc_prop_add(ctx, element, kPropBias, bias != nullptr ? bias : kBiasNames[kLangBiasEqual]);
  if (rc >= 0) {
    rc = xmldoc_prop_add_yes_no(ctx, element, kPropCaseSensitive, (part->options & kLangCaseSensitive) != 0, 0);
  }
  if (rc >= 0) rc = xmldoc_prop_add_yes_no(ctx, element, kPropBookends, (part->options & kLangBookends) != 0, 0);
  if (rc >= 0) rc = xmldoc_prop_add_yes_no(ctx, element, kPropSquash, (part->options & kLangSquashSpace) != 0, 0);
  if (rc >= 0) rc = write_schemes(ctx, element, part);
  if (rc >= 0) rc = guess_known_list_write(ctx, element, part->known, lang_likelihood_name);
  return rc < 0 ? rc : 0;
}

int32_t lang_defn_kind_copy(context* ctx, const defn_rec* src, defn_rec* dst) {
  const lang_defn_kind_rec* from = lang_defn_part(src);
  lang_defn_kind_rec* to = lang_defn_part(dst);
  if (from == nullptr || to == nullptr) return TQ_ERR_ARGUMENT;
  int32_t rc = 0;
  try {
    to->schemes.reserve(from->schemes.size());
    to->known.reserve(from->known.size());
    for (const lang_training_scheme& s : from->schemes) {
      lang_training_scheme& t = to->schemes.emplace_back();
      t.name = s.name;
      rc = s.ref.share(ctx, &t.ref);
      if (rc < 0) break;
    }
    if (rc >= 0) rc = guess_known_list_copy(ctx, from->known, &to->known);
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  if (rc < 0) {
    (void)lists_release(ctx, to, 0);
    return rc;
  }
  to->window = from->window;
  to->bias = from->bias;
  to->options = from->options;
  // The copy trains a model of its own on first use.
  ngram_profile_clear(ctx, to->model);
  to->trained.store(0, std::memory_order_release);
  to->bound.store(0, std::memory_order_release);
  return 0;
}

int32_t lang_defn_kind_free(context* ctx, defn_rec* rec, int32_t keep_refs) {
  lang_defn_kind_rec* part = lang_defn_part(rec);
  if (part == nullptr) return 0;
  const int32_t rc = lists_release(ctx, part, keep_refs);
  ngram_profile_free(ctx, part->model);
  delete part;
  rec->part = nullptr;
  return rc;
}

const defn_kind_ops kLangDefnKindOps = [] {
  defn_kind_ops ops;
  ops.root_type = kLangRootType;
  ops.type_matches = lang_defn_type_matches;
  ops.init = lang_defn_kind_init;
  ops.read = lang_defn_kind_read;
  ops.write = lang_defn_kind_write;
  ops.copy = lang_defn_kind_copy;
  ops.free = lang_defn_kind_free;
  return ops;
}();

// ---- Binding and training -------------------------------------------------------------------

int32_t lang_defn_train_held(context* ctx, defn_rec* rec) {
  lang_defn_kind_rec* part = lang_defn_part(rec);
  if (part == nullptr) return TQ_ERR_DEFN_INVALID;
  part->trained.store(0, std::memory_order_release);
  ngram_profile* model = part->model;
  ngram_profile_clear(ctx, model);
  model->window = part->window;
  const int32_t n = static_cast<int32_t>(part->window);
  int32_t codes[kNgramMaxCodes];
  for (const lang_training_scheme& scheme : part->schemes) {
    const rsrc_ref& ref = scheme.ref;
    if (!ref.held()) continue;
    scheme_rec* sch = nullptr;
    if (int32_t rc = scheme_get(ctx, ref.index(), &sch); rc < 0) return rc;
    for (uint32_t i = 0; i < sch->count; ++i) {
      const scheme_entry& e = sch->entries[i];
      if (e.data == nullptr) continue;
      if (uchar_text_to_array(e.data, codes, static_cast<int32_t>(kNgramMaxCodes)) != n) continue;
      int32_t weight = lang_count_value(e.standard);
      if (weight < 1) weight = 1;
      if (int32_t rc = ngram_profile_add(model, codes, part->window, static_cast<uint32_t>(weight)); rc != 0) {
        return rc;
      }
    }
  }
  if (int32_t rc = ngram_profile_finalize(ctx, model); rc != 0) return rc;
  part->trained.store(1, std::memory_order_release);
  return 0;
}

int32_t lang_defn_train_model(context* ctx, defn_rec* rec) {
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  const int32_t rc = lang_defn_part(rec) != nullptr ? lang_defn_train_held(ctx, rec) : TQ_ERR_DEFN_INVALID;
  const int32_t released = hold.release();
  return rc < 0 ? rc : released;
}

int32_t lang_defn_bind(context* ctx, defn_rec* rec) {
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  int32_t rc = 0;
  lang_defn_kind_rec* part = lang_defn_part(rec);
  if (part == nullptr) {
    rc = TQ_ERR_DEFN_INVALID;
  } else if (part->trained.load(std::memory_order_acquire) != 0) {
    part->bound.store(1, std::memory_order_release);
  } else {
    // Nothing retrains outside edit mode: the schemes go back once trained,
    // their names stay for the getters and the writer. The names are taken
    // first, so that a failure leaves every scheme held.
    std::vector<std::string> names;
    if (ctx->edit_mode == 0) rc = scheme_names_take(ctx, rec, part, &names);
    if (rc >= 0) rc = lang_defn_train_held(ctx, rec);
    if (rc >= 0 && ctx->edit_mode == 0) {
      for (size_t i = 0; i < part->schemes.size(); ++i) {
        lang_training_scheme& s = part->schemes[i];
        if (!s.ref.held()) continue;
        s.name = std::move(names[i]);
        const int32_t released = s.ref.release(ctx);
        if (released < 0 && rc >= 0) rc = released;
      }
    }
    if (rc >= 0) part->bound.store(1, std::memory_order_release);
  }
  const int32_t released = hold.release();
  return rc < 0 ? rc : released;
}

int32_t tqx_lang_defn_write(context* ctx, xmldoc* xml, int32_t index) {
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, kDefnLangGuess, index, &rec);
  if (rc < 0) return rc;
  if (rec->kind == 0) return TQ_ERR_INDEX;  // an unloaded slot
  rc = defn_element_write(ctx, xml, rec);
  return rc < 0 ? rc : 0;
}

}  // namespace tq
