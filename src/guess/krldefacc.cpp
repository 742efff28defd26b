#include "guess/krldefacc.h"

#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "core/krenc.h"
#include "core/krerr.h"
#include "guess/krldef.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdefnlist.h"
#include "kbstore/krfield.h"
#include "kbstore/krlib.h"

namespace tq {

namespace {

constexpr int32_t K = kDefnLangGuess;
constexpr uint32_t kNameIn = 4096;
constexpr uint32_t kRegexNameIn = 16384;

// A known pattern's likelihood is the place of its name in "Very High" ..
// "Never"; the window, the characters of one n-gram. A refusal names the
// range as the file's other numbers' setters do.
constexpr number_limit kKnownLikelihoodLimit{"Likelihood", 0, static_cast<int32_t>(kLangLikelihoodCount) - 1};
constexpr number_limit kWindowLimit{"Window Size", static_cast<int32_t>(kLangWindowMin),
                                    static_cast<int32_t>(kLangWindowMax)};

int32_t part_for_read(context* ctx, int32_t index, lang_defn_kind_rec** part) {
  *part = nullptr;
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, K, index, &rec);
  if (rc < 0) return rc;
  *part = lang_defn_part(rec);
  return *part == nullptr ? TQ_ERR_INDEX : 0;
}

// Runs body(rec, part) on the definition taken for change and gives the
// hold back on every path.
template <typename F>
int32_t edit_part(context* ctx, int32_t index, F&& body) {
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t rc = defn_record_get_for_write(ctx, K, index, &rec, &held);
  if (rc < 0) return rc;
  try {
    lang_defn_kind_rec* part = lang_defn_part(rec);
    rc = part == nullptr ? TQ_ERR_INDEX : body(rec, part);
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  return rc_combine(rc, held.release());
}

// A caller's text in UTF-8 (at most max bytes).
struct text_in {
  std::vector<char> text;
  int32_t rc;
  text_in(context* ctx, const char* given, uint32_t max) : text(max + 1, '\0') {
    rc = strio_in(ctx, given, text.data(), max, kStrioConvert);
  }
  const char* c_str() const { return text.data(); }
};

// A name (UTF-8) out to the caller; out empty on failure.
int32_t text_out(context* ctx, const char* name, char* out) {
  const int32_t rc = strio_out_4096(ctx, name, out, kStrioConvert);
  if (rc < 0) strio_out_clear(ctx, out);
  return rc;
}

int32_t name_out(context* ctx, uint32_t kind, const rsrc_ref& ref, char* out) {
  char name[kRsrcNameSize] = "";
  if (ref.held()) {
    if (int32_t rc = rsrc_name_get(ctx, kind, ref.index(), name, sizeof name); rc < 0) return rc;
  }
  return text_out(ctx, name, out);
}

int32_t refuse_empty(context* ctx, const char* text, const char* what) {
  if (text[0] != '\0') return 0;
  TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, what);
  return TQ_ERR_ARGUMENT;
}

void untrain(lang_defn_kind_rec* part) { part->trained.store(0, std::memory_order_release); }

}  // namespace

int32_t tqx_lang_defn_add(context* ctx, const char* name, int32_t* index) {
  return defn_add(ctx, K, name, kDefnNameConvert, index);
}

int32_t tqx_lang_defn_copy(context* ctx, const char* sname, const char* dname, int32_t* index) {
  return defn_copy(ctx, K, sname, dname, kDefnNameConvert, index);
}

// ---- Training schemes ---------------------------------------------------------------------

int32_t tqx_lang_defn_training_scheme_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  lang_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  *count = static_cast<uint32_t>(part->schemes.size());
  return 0;
}

int32_t tqx_lang_defn_training_scheme_info_get(context* ctx, int32_t index, uint32_t item, char* sch_name) {
  strio_out_clear(ctx, sch_name);
  lang_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  if (item >= part->schemes.size()) return TQ_ERR_INDEX;
  char name[kRsrcNameSize];
  const int32_t rc = lang_training_scheme_name(ctx, part->schemes[item], name, sizeof name);
  return rc < 0 ? rc : text_out(ctx, name, sch_name);
}

int32_t tqx_lang_defn_training_scheme_info_set(context* ctx, int32_t index, uint32_t item, const char* sch_name) {
  text_in name(ctx, sch_name, kNameIn);
  if (name.rc < 0) return name.rc;
  if (int32_t rc = refuse_empty(ctx, name.c_str(), "'sch_name' is empty."); rc < 0) return rc;
  const int32_t rc = edit_part(ctx, index, [&](defn_rec*, lang_defn_kind_rec* part) -> int32_t {
    if (item >= part->schemes.size()) return TQ_ERR_INDEX;
    rsrc_ref fresh;
    int32_t orc = rsrc_open_checked(ctx, kRsrcScheme, name.c_str(), lang_scheme_load_options(part->options), &fresh);
    if (orc < 0) return orc;
    lang_training_scheme& slot = part->schemes[item];
    const int32_t released = slot.ref.release(ctx);
    slot.ref = std::move(fresh);
    slot.name.clear();
    untrain(part);
    return released < 0 ? released : 0;
  });
  return rc < 0 ? rc : name.rc;
}

int32_t tqx_lang_defn_training_schemes_delete_all(context* ctx, int32_t index) {
  return edit_part(ctx, index, [&](defn_rec*, lang_defn_kind_rec* part) -> int32_t {
    int32_t first = 0;
    for (lang_training_scheme& s : part->schemes) {
      const int32_t rc = s.ref.release(ctx);
      if (rc < 0 && first == 0) first = rc;
    }
    part->schemes.clear();
    untrain(part);
    return first;
  });
}

int32_t tqx_lang_defn_training_scheme_add(context* ctx, int32_t index, const char* sch_name) {
  text_in name(ctx, sch_name, kNameIn);
  if (name.rc < 0) return name.rc;
  if (int32_t rc = refuse_empty(ctx, name.c_str(), "'sch_name' is empty."); rc < 0) return rc;
  const int32_t rc = edit_part(ctx, index, [&](defn_rec*, lang_defn_kind_rec* part) -> int32_t {
    lang_training_scheme fresh;
    int32_t orc =
        rsrc_open_checked(ctx, kRsrcScheme, name.c_str(), lang_scheme_load_options(part->options), &fresh.ref);
    if (orc < 0) return orc;
    orc = defn_list_append(part->schemes, std::move(fresh), [ctx](lang_training_scheme& x) { (void)x.ref.release(ctx); });
    if (orc < 0) return orc;
    untrain(part);
    return 0;
  });
  return rc < 0 ? rc : name.rc;
}

int32_t tqx_lang_defn_train(context* ctx, int32_t index) {
  return edit_part(ctx, index, [&](defn_rec* rec, lang_defn_kind_rec*) { return lang_defn_train_held(ctx, rec); });
}

// ---- Known pattern regex libraries ---------------------------------------------------------

int32_t tqx_lang_defn_known_ptrn_rgx_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  lang_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  *count = static_cast<uint32_t>(part->known.size());
  return 0;
}

int32_t tqx_lang_defn_known_ptrn_rgx_info_get(context* ctx, int32_t index, uint32_t item, uint32_t* likelihood,
                                              char* rlib_name) {
  strio_out_clear(ctx, rlib_name);
  *likelihood = kLangLikelihoodMedium;
  lang_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  if (item >= part->known.size()) return TQ_ERR_INDEX;
  *likelihood = part->known[item].likelihood;
  return name_out(ctx, kRsrcRegex, part->known[item].lib, rlib_name);
}

int32_t tqx_lang_defn_known_ptrn_rgx_delete(context* ctx, int32_t index, uint32_t item) {
  return edit_part(ctx, index, [&](defn_rec*, lang_defn_kind_rec* part) -> int32_t {
    if (item >= part->known.size()) return TQ_ERR_INDEX;
    const int32_t rc = part->known[item].lib.release(ctx);
    part->known.erase(part->known.begin() + item);
    return rc;
  });
}

int32_t tqx_lang_defn_known_ptrn_rgx_delete_all(context* ctx, int32_t index) {
  return edit_part(ctx, index, [&](defn_rec*, lang_defn_kind_rec* part) -> int32_t {
    int32_t first = 0;
    for (lang_known_regexlib& k : part->known) {
      const int32_t rc = k.lib.release(ctx);
      if (rc < 0 && first == 0) first = rc;
    }
    part->known.clear();
    return first;
  });
}

int32_t tqx_lang_defn_known_ptrn_rgx_info_set(context* ctx, int32_t index, uint32_t item, uint32_t likelihood,
                                              const char* rlib_name) {
  if (int32_t rc = number_limit_check(ctx, kKnownLikelihoodLimit, likelihood, TQ_ERR_ARGUMENT); rc < 0) return rc;
  text_in name(ctx, rlib_name, kRegexNameIn);
  if (name.rc < 0) return name.rc;
  int32_t open_rc = 0;
  const int32_t rc = edit_part(ctx, index, [&](defn_rec*, lang_defn_kind_rec* part) -> int32_t {
    if (item >= part->known.size()) return TQ_ERR_INDEX;
    rsrc_ref fresh;
    open_rc = rsrc_open_checked(ctx, kRsrcRegex, name.c_str(), 0, &fresh);
    if (open_rc < 0) return open_rc;
    const int32_t released = part->known[item].lib.release(ctx);
    part->known[item].lib = std::move(fresh);
    part->known[item].likelihood = likelihood;
    return released < 0 ? released : 0;
  });
  if (rc < 0) return rc;
  return name.rc > 0 ? name.rc : open_rc;
}

int32_t tqx_lang_defn_known_ptrn_rgx_add(context* ctx, int32_t index, uint32_t likelihood, const char* rlib_name) {
  if (int32_t rc = number_limit_check(ctx, kKnownLikelihoodLimit, likelihood, TQ_ERR_ARGUMENT); rc < 0) return rc;
  text_in name(ctx, rlib_name, kRegexNameIn);
  if (name.rc < 0) return name.rc;
  int32_t open_rc = 0;
  const int32_t rc = edit_part(ctx, index, [&](defn_rec*, lang_defn_kind_rec* part) -> int32_t {
    lang_known_regexlib entry;
    open_rc = rsrc_open_checked(ctx, kRsrcRegex, name.c_str(), 0, &entry.lib);
    if (open_rc < 0) return open_rc;
    entry.likelihood = likelihood;
    return defn_list_append(part->known, std::move(entry), [ctx](lang_known_regexlib& x) { (void)x.lib.release(ctx); });
  });
  if (rc < 0) return rc;
  return name.rc > 0 ? name.rc : open_rc;
}

// ---- Settings -------------------------------------------------------------------------------

int32_t tqx_lang_defn_window_size_get(context* ctx, int32_t index, uint32_t* size) {
  *size = 0;
  lang_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  *size = part->window;
  return 0;
}

int32_t tqx_lang_defn_window_size_set(context* ctx, int32_t index, uint32_t size) {
  if (int32_t rc = number_limit_check(ctx, kWindowLimit, size, TQ_ERR_ARGUMENT); rc < 0) return rc;
  return edit_part(ctx, index, [&](defn_rec*, lang_defn_kind_rec* part) -> int32_t {
    part->window = size;
    untrain(part);
    return 0;
  });
}

int32_t tqx_lang_defn_scoring_bias_get(context* ctx, int32_t index, uint32_t* bias) {
  *bias = 0;
  lang_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  *bias = part->bias;
  return 0;
}

int32_t tqx_lang_defn_scoring_bias_set(context* ctx, int32_t index, uint32_t bias) {
  if (bias >= kLangBiasCount) return TQ_ERR_ARGUMENT;
  return edit_part(ctx, index, [&](defn_rec*, lang_defn_kind_rec* part) -> int32_t {
    part->bias = bias;
    return 0;
  });
}

int32_t tqx_lang_defn_options_get(context* ctx, int32_t index, uint32_t* options) {
  *options = 0;
  lang_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  *options = part->options;
  return 0;
}

int32_t tqx_lang_defn_options_set(context* ctx, int32_t index, uint32_t options) {
  // The file holds these three bits only; any other would be lost on write.
  if ((options & ~(kLangCaseSensitive | kLangBookends | kLangSquashSpace)) != 0) {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57,
              "The options hold bits other than case sensitive (1), bookends (2) and squash white space (4).");
    return TQ_ERR_ARGUMENT;
  }
  return edit_part(ctx, index, [&](defn_rec*, lang_defn_kind_rec* part) -> int32_t {
    if (options == part->options) return 0;
    if (((options ^ part->options) & kLangCaseSensitive) != 0) {
      // The schemes load again with the new case rule: every new one first,
      // so a failed open leaves the definition as it was.
      std::vector<rsrc_ref> fresh(part->schemes.size());
      const uint32_t load = lang_scheme_load_options(options);
      int32_t rc = 0;
      for (size_t i = 0; i < part->schemes.size() && rc >= 0; ++i) {
        if (!part->schemes[i].ref.held()) continue;
        char name[kRsrcNameSize];
        rc = rsrc_name_get(ctx, kRsrcScheme, part->schemes[i].ref.index(), name, sizeof name);
        if (rc >= 0) rc = rsrc_open(ctx, kRsrcScheme, name, load, &fresh[i]);
      }
      if (rc < 0) {
        for (rsrc_ref& f : fresh) (void)f.release(ctx);
        return rc;
      }
      int32_t first = 0;
      for (size_t i = 0; i < part->schemes.size(); ++i) {
        const int32_t released = part->schemes[i].ref.release(ctx);
        if (released < 0 && first == 0) first = released;
        part->schemes[i].ref = std::move(fresh[i]);
      }
      part->options = options;
      untrain(part);
      return first;
    }
    part->options = options;
    untrain(part);
    return 0;
  });
}

}  // namespace tq
