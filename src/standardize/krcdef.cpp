#include "standardize/krcdef.h"

#include <cstring>
#include <new>

#include "core/krerr.h"
#include "core/krstr.h"
#include "core/krzel.h"
#include "kbstore/krdefnacc.h"
#include "kbstore/krlocload.h"
#include "kbstore/krshared.h"
#include "kbstore/krxml.h"
#include "platform/nputf8.h"
#include "resources/krregx.h"
#include "resources/krsch.h"

namespace tq {

namespace {

constexpr const char* kPropCase = "Case";
constexpr const char* kPropSkip = "Skip Regexlib On Scheme Xform";
constexpr const char* kPropUnicode = "Unicode Casing";
constexpr const char* kPropRegexlib = "Known Pattern Regexlib";
constexpr const char* kPropScheme = "Known Word Scheme";
constexpr const char* kPropInsensitive = "Case Insensitive";

// The table of case modes; names are compared over at most 6 characters.
constexpr const char* kCaseNames[] = {"None", "Upper", "Lower", "Proper"};
constexpr uint32_t kCaseNameCompare = 6;

const char* kind_name() { return defn_kind_name(kDefnCase); }

// Gives back (or with keep_refs forgets) what the part holds and resets it
// to the values a freed part has.
void part_clear(context* ctx, case_defn_kind_rec* part, int32_t keep_refs) {
  if (keep_refs != 0) {
    part->known_word_scheme.forget();
    part->known_pattern_regexlib.forget();
  } else {
    (void)part->known_word_scheme.release(ctx);
    (void)part->known_pattern_regexlib.release(ctx);
  }
  part->target_case = kCaseNone;
  part->skip_regexlib_on_scheme = 0;
  part->unicode_casing = 1;
  part->prepared.store(0, std::memory_order_release);
}

struct read_state {
  context* ctx;
  defn_rec* rec;
  case_defn_kind_rec* part;
  int32_t last = 0;
  int32_t step(int32_t rc) { return defn_rec_load_result(ctx, rec, rc, &last); }
};

int32_t read_case(read_state& s, const xmldoc* el) {
  const char* value = xmldoc_prop_get(s.ctx, el, kPropCase);
  if (value[0] == '\0') {
    s.part->target_case = kCaseProper;
    return 0;
  }
  const int32_t id = case_id_get_by_name(value);
  if (id < 0) {
    TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 90, value, kind_name(), s.rec->name);
    return TQ_ERR_INVALID_CONTENT;
  }
  s.part->target_case = static_cast<uint32_t>(id);
  return 0;
}

int32_t read_unicode(read_state& s, const xmldoc* el) {
  // A document written before the property existed reads as 0.
  int32_t flag = static_cast<int32_t>(s.part->unicode_casing);
  const int32_t rc = xmldoc_prop_get_yes_no(s.ctx, el, kPropUnicode, 0, &flag, nullptr);
  if (rc < 0) return TQ_ERR_INVALID_CONTENT;
  s.part->unicode_casing = static_cast<uint32_t>(flag);
  return 0;
}

int32_t read_regexlib(read_state& s, const xmldoc* el) {
  const char* name = xmldoc_prop_get(s.ctx, el, kPropRegexlib);
  if (name[0] == '\0') return 0;
  int32_t rc = rsrc_open(s.ctx, kRsrcRegex, name, 0, &s.part->known_pattern_regexlib);
  if (rc < 0 || !s.part->known_pattern_regexlib.held()) {
    // The open's own failure (out of memory, a file it could not open) is
    // what the load names and answers for.
    if (rc >= 0) rc = TQ_ERR_INVALID_CONTENT;
    TQ_REPORT(s.ctx, rc, 201, name, kind_name(), s.rec->name);
    return rc;
  }
  return 0;
}

int32_t read_scheme(read_state& s, const xmldoc* el) {
  const char* name = xmldoc_prop_get(s.ctx, el, kPropScheme);
  if (name[0] == '\0') return 0;
  const uint32_t options =
      std::strcmp(xmldoc_prop_get(s.ctx, el, kPropInsensitive), "Yes") == 0 ? kSchemeCaseInsensitive : 0;
  int32_t rc = rsrc_open(s.ctx, kRsrcScheme, name, options, &s.part->known_word_scheme);
  if (rc < 0 || !s.part->known_word_scheme.held()) {
    if (rc >= 0) rc = TQ_ERR_INVALID_CONTENT;
    TQ_REPORT(s.ctx, rc, 148, name, kind_name(), s.rec->name);
    return rc;
  }
  return 0;
}

int32_t resource_name(context* ctx, uint32_t kind, const rsrc_ref& ref, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return TQ_ERR_ARGUMENT;
  out[0] = '\0';
  if (!ref.held()) return 0;
  return rsrc_name_get(ctx, kind, ref.index(), out, size);
}

}  // namespace

// ---- Case modes -------------------------------------------------------------------------

int32_t case_id_get_by_name(const char* name) {
  if (name == nullptr) return -1;
  for (uint32_t i = 0; i < 4; ++i) {
    if (std::strncmp(name, kCaseNames[i], kCaseNameCompare) == 0) return static_cast<int32_t>(i);
  }
  return -1;
}

int32_t case_name_get_by_id(uint32_t id, char* out, uint32_t size) {
  if (out != nullptr && size != 0) out[0] = '\0';
  if (id > kCaseProper) return -1;
  if (out != nullptr && size != 0) str_copy_bounded(out, kCaseNames[id], size);
  return 0;
}

int32_t case_id_is_valid(uint32_t id) { return id <= kCaseProper ? 1 : 0; }

// ---- Hooks ------------------------------------------------------------------------------

int32_t case_defn_type_matches(context*, const char* include_name) {
  return defn_root_type_matches(include_name, kCaseRootType, kCaseRootTypeVertical);
}

int32_t case_defn_kind_init(context*, defn_rec* rec) {
  auto* part = new (std::nothrow) case_defn_kind_rec;
  if (part == nullptr) return TQ_ERR_NO_MEMORY;
  rec->part = part;
  return 0;
}

int32_t case_defn_kind_read(context* ctx, const xmldoc* element, defn_rec* rec) {
  case_defn_kind_rec* part = case_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  // The part starts from its initial values: a record re-read gives its
  // resources back first.
  (void)part->known_word_scheme.release(ctx);
  (void)part->known_pattern_regexlib.release(ctx);
  part->target_case = kCaseProper;
  part->skip_regexlib_on_scheme = 0;
  part->unicode_casing = 1;
  part->prepared.store(1, std::memory_order_release);
  read_state s{ctx, rec, part};
  int32_t rc = s.step(read_case(s, element));
  if (rc == 0) {
    part->skip_regexlib_on_scheme = std::strcmp(xmldoc_prop_get(ctx, element, kPropSkip), "Yes") == 0 ? 1 : 0;
    rc = s.step(read_unicode(s, element));
  }
  if (rc == 0) rc = s.step(read_regexlib(s, element));
  if (rc == 0) rc = s.step(read_scheme(s, element));
  if (rc == 0 && (ctx->options & kOptPrepareOnRead) != 0) {
    // The reader holds the write hold and the record.
    if (part->known_word_scheme.held()) part->prepared.store(0, std::memory_order_release);
    rc = s.step(case_defn_prepare_held(ctx, rec));
  }
  if (rc != 0) return rc;
  return s.last != 0 ? TQ_WARN_READ_PROBLEMS : 0;
}

int32_t case_defn_kind_write(context* ctx, xmldoc* element, const defn_rec* rec) {
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  const case_defn_kind_rec* part = case_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  char name[kRsrcNameSize];
  (void)case_name_get_by_id(part->target_case, name, sizeof name);
  int32_t rc = xmldoc_prop_add(ctx, element, kPropCase, name);
  if (rc >= 0) rc = xmldoc_prop_add_yes_no(ctx, element, kPropSkip, static_cast<int32_t>(part->skip_regexlib_on_scheme), 0);
  if (rc >= 0) {
    rc = xmldoc_prop_add_yes_no_grouped(ctx, element, kCaseVersionGroup, kPropUnicode,
                                        static_cast<int32_t>(part->unicode_casing), 0);
  }
  if (rc >= 0 && part->known_pattern_regexlib.held()) {
    rc = resource_name(ctx, kRsrcRegex, part->known_pattern_regexlib, name, sizeof name);
    if (rc >= 0) rc = xmldoc_prop_add(ctx, element, kPropRegexlib, name);
  }
  if (rc >= 0 && part->known_word_scheme.held()) {
    uint32_t options = 0;
    rc = case_defn_known_word_scheme_options_get(ctx, rec, &options);
    if (rc >= 0) rc = resource_name(ctx, kRsrcScheme, part->known_word_scheme, name, sizeof name);
    if (rc >= 0) rc = xmldoc_prop_add(ctx, element, kPropScheme, name);
    if (rc >= 0) rc = xmldoc_prop_add_yes_no(ctx, element, kPropInsensitive, options != 0 ? 1 : 0, 0);
  }
  return rc < 0 ? rc : 0;
}

int32_t case_defn_kind_copy(context* ctx, const defn_rec* src, defn_rec* dst) {
  const case_defn_kind_rec* from = case_defn_part(src);
  case_defn_kind_rec* to = case_defn_part(dst);
  if (from == nullptr || to == nullptr) return TQ_ERR_ARGUMENT;
  to->target_case = from->target_case;
  to->skip_regexlib_on_scheme = from->skip_regexlib_on_scheme;
  to->unicode_casing = from->unicode_casing;
  int32_t rc = from->known_pattern_regexlib.share(ctx, &to->known_pattern_regexlib);
  if (rc >= 0) rc = from->known_word_scheme.share(ctx, &to->known_word_scheme);
  // Checked before its first use.
  to->prepared.store(0, std::memory_order_release);
  // A reference taken before a later one failed is given back, not leaked.
  if (rc < 0) part_clear(ctx, to, 0);
  return rc < 0 ? rc : 0;
}

int32_t case_defn_kind_free(context* ctx, defn_rec* rec, int32_t keep_refs) {
  case_defn_kind_rec* part = case_defn_part(rec);
  if (part == nullptr) return 0;
  part_clear(ctx, part, keep_refs);
  delete part;
  rec->part = nullptr;
  return 0;
}

void case_defn_invalidate(context*, defn_rec* rec, uint32_t what) {
  case_defn_kind_rec* part = case_defn_part(rec);
  if (part != nullptr && what != 0) part->prepared.store(0, std::memory_order_release);
}

const defn_kind_ops kCaseDefnKindOps = [] {
  defn_kind_ops ops;
  ops.root_type = kCaseRootType;
  ops.type_matches = case_defn_type_matches;
  ops.init = case_defn_kind_init;
  ops.read = case_defn_kind_read;
  ops.write = case_defn_kind_write;
  ops.copy = case_defn_kind_copy;
  ops.free = case_defn_kind_free;
  ops.invalidate = case_defn_invalidate;
  return ops;
}();

// ---- Preparation ------------------------------------------------------------------------

namespace {

// A known-word scheme serves a case definition when every entry keeps the
// length of the text it replaces.
int32_t known_word_scheme_check(context* ctx, const defn_rec* rec, const rsrc_ref& known) {
  scheme_rec* scheme = nullptr;
  const int32_t got = scheme_get(ctx, known.index(), &scheme);
  if (got < 0) return got;
  for (uint32_t i = 0; i < scheme->count; ++i) {
    const scheme_entry& e = scheme->entries[i];
    if (np_uchar_length(e.standard) != np_uchar_length(e.data)) {
      TQ_REPORT(ctx, TQ_ERR_RESOURCE_LACKS, 1460, kind_name(), rec->name, e.standard, e.data);
      return TQ_ERR_RESOURCE_LACKS;
    }
  }
  return got;
}

}  // namespace

int32_t case_defn_prepare_held(context* ctx, defn_rec* rec) {
  case_defn_kind_rec* part = case_defn_part(rec);
  if (part == nullptr) return TQ_ERR_DEFN_INVALID;
  if (part->prepared.load(std::memory_order_acquire) != 0) return 0;
  if (!part->known_word_scheme.held()) {
    part->prepared.store(1, std::memory_order_release);
    return 0;
  }
  const int32_t got = known_word_scheme_check(ctx, rec, part->known_word_scheme);
  if (got < 0) return got;
  part->prepared.store(1, std::memory_order_release);
  return got;
}

int32_t case_defn_prepare(context* ctx, defn_rec* rec) {
  const case_defn_kind_rec* part = case_defn_part(rec);
  if (part == nullptr) return TQ_ERR_DEFN_INVALID;
  if (part->prepared.load(std::memory_order_acquire) != 0) return 0;
  // Another context may have unloaded the definition, or prepared it,
  // while this one waited for the hold.
  return defn_run_under_write_hold(ctx, rec, kDefnCase, case_defn_prepare_held);
}

// ---- Setters ----------------------------------------------------------------------------

int32_t case_defn_target_case_set(defn_rec* rec, uint32_t mode) {
  case_defn_kind_rec* part = case_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  if (case_id_is_valid(mode) == 0) return TQ_ERR_ARGUMENT;
  part->target_case = mode;
  return 0;
}

int32_t case_defn_skip_flag_set(defn_rec* rec, uint32_t flag) {
  case_defn_kind_rec* part = case_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  part->skip_regexlib_on_scheme = flag != 0 ? 1 : 0;
  return 0;
}

int32_t case_defn_unicode_casing_set(defn_rec* rec, uint32_t flag) {
  case_defn_kind_rec* part = case_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  part->unicode_casing = flag != 0 ? 1 : 0;
  return 0;
}

int32_t case_defn_known_pattern_regexlib_set(context* ctx, defn_rec* rec, const char* name) {
  case_defn_kind_rec* part = case_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  if (name == nullptr || name[0] == '\0') return part->known_pattern_regexlib.release(ctx);
  // The new library is opened before the old one is given back, so that a
  // name that cannot be opened leaves the definition as it was.
  bool changed = false;
  return defn_ref_swap(ctx, kRsrcRegex, part->known_pattern_regexlib, name, &changed);
}

int32_t case_defn_known_word_scheme_set(context* ctx, defn_rec* rec, const char* name, uint32_t options) {
  case_defn_kind_rec* part = case_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  // The new scheme is opened and checked before the old one is given back,
  // so that a name that cannot be opened, or a scheme that does not serve
  // casing, leaves the definition as it was.
  rsrc_ref opened;
  const bool named = name != nullptr && name[0] != '\0';
  int32_t checked = 0;
  if (named) {
    int32_t rc = rsrc_open_checked(ctx, kRsrcScheme, name, options & kSchemeCaseInsensitive, &opened);
    if (rc >= 0) rc = known_word_scheme_check(ctx, rec, opened);
    if (rc < 0) {
      (void)opened.release(ctx);
      return rc;
    }
    checked = rc;
  }
  const int32_t rc = part->known_word_scheme.release(ctx);
  part->known_word_scheme = std::move(opened);
  part->prepared.store(1, std::memory_order_release);
  return rc_combine(rc, checked);
}

int32_t case_defn_known_pattern_regexlib_name_get(context* ctx, const defn_rec* rec, char* out, uint32_t size) {
  const case_defn_kind_rec* part = case_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  return resource_name(ctx, kRsrcRegex, part->known_pattern_regexlib, out, size);
}

int32_t case_defn_known_word_scheme_name_get(context* ctx, const defn_rec* rec, char* out, uint32_t size) {
  const case_defn_kind_rec* part = case_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  return resource_name(ctx, kRsrcScheme, part->known_word_scheme, out, size);
}

int32_t case_defn_known_word_scheme_options_get(context* ctx, const defn_rec* rec, uint32_t* options) {
  *options = 0;
  const case_defn_kind_rec* part = case_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  if (!part->known_word_scheme.held()) return 0;
  // As the scheme was opened, loaded or not: a scheme whose file cannot be
  // read still has its name and options written.
  uint32_t flags = 0;
  const int32_t rc = scheme_flags_get(ctx, part->known_word_scheme.index(), &flags);
  if (rc < 0) return rc;
  *options = flags & kSchemeCaseInsensitive;
  return 0;
}

}  // namespace tq
