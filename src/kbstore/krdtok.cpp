#include "kbstore/krdtok.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "kbstore/krdefnlist.h"
#include "kbstore/krxml.h"
#include "platform/npuchar.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr const char* kElemToken = "Token";
constexpr const char* kElemSubstring = "Parse Substring";
constexpr const char* kElemVersion = "7.0";
constexpr const char* kGroup9 = "9.0";
constexpr const char* kPropName = "Name";
constexpr const char* kPropUpper = "Automatic Uppercasing";
constexpr const char* kPropUseSep = "Use Separator";
constexpr const char* kPropSep = "Separator";
constexpr const char* kIncRegexlibs = "Regexlibs";
constexpr const char* kIncSchemes = "Stdz Schemes";
constexpr const char* kColHigh = "Sens Range High";
constexpr const char* kColLow = "Sens Range Low";
constexpr const char* kColType = "Stdz Type";
constexpr const char* kColCase = "Case Insensitive";
constexpr const char* kColPhonetx = "Disable Phonetx";
constexpr const char* kColOutCase = "Scheme Output Case";

// Both a critical code and a failure outrank what came before; among the
// rest the first failure, then the first warning, stands.
int32_t worst(int32_t acc, int32_t rc) {
  if (err_is_critical(acc)) return acc;
  if (err_is_critical(rc)) return rc;
  return rc_combine(acc, rc);
}

// A name taken in (session encoding or UTF-8) into a heap buffer of max
// bytes and the terminator; the conversion's result.
struct name_in {
  char* text = nullptr;
  ~name_in() { std::free(text); }
  int32_t take(context* ctx, const char* src, uint32_t max, uint32_t flags) {
    text = static_cast<char*>(np_malloc(max + 1));
    if (text == nullptr) return TQ_ERR_NO_MEMORY;
    return strio_in(ctx, src, text, max, flags & kStrioConvert);
  }
};

int32_t regexlib_open(context* ctx, const char* name, rsrc_ref* out, uint32_t flags) {
  return (flags & kDtokEdit) != 0 ? rsrc_open_checked(ctx, kRsrcRegex, name, 0, out)
                                  : rsrc_open(ctx, kRsrcRegex, name, 0, out);
}

int32_t scheme_open(context* ctx, const char* name, uint32_t options, rsrc_ref* out, uint32_t flags) {
  return (flags & kDtokEdit) != 0 ? rsrc_open_checked(ctx, kRsrcScheme, name, options, out)
                                  : rsrc_open(ctx, kRsrcScheme, name, options, out);
}

bool in_range(int32_t j, size_t count) { return j >= 0 && static_cast<size_t>(j) < count; }

// The range of an entry, in and out of records in the order (high, low).
int32_t range_write(context* ctx, xmldoc* doc) {
  int32_t rc = xmldoc_column_add(ctx, doc, kColHigh, kXmlColInt);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColLow, kXmlColInt);
  return rc;
}

struct range_cols {
  int32_t high = -1;
  int32_t low = -1;
  void find(context* ctx, const xmldoc* doc) {
    if (xmldoc_column_find(ctx, doc, kColHigh, &high) != 0 || xmldoc_column_find(ctx, doc, kColLow, &low) != 0) {
      high = low = -1;
    }
  }
  void get(const xmldoc_record& rec, int32_t* hi, int32_t* lo) const {
    *hi = kDtokRangeHigh;
    *lo = kDtokRangeLow;
    if (high >= 0 && low >= 0) {
      *hi = xmldoc_record_number(rec, high, kDtokRangeHigh);
      *lo = xmldoc_record_number(rec, low, kDtokRangeLow);
    }
  }
};

const char* out_case_text(uint32_t options) {
  if (options & kDtokSchemeOutUpper) return "Upper";
  if (options & kDtokSchemeOutLower) return "Lower";
  if (options & kDtokSchemeOutProper) return "Proper";
  return "Exact";
}

int32_t regexlibs_write(context* ctx, xmldoc* elem, const dtok_rec* tok) {
  if (tok->regexlibs.empty()) return 0;
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, kIncRegexlibs, kElemVersion, &doc);
  if (rc < 0) return rc;
  rc = range_write(ctx, doc);
  char name[kRsrcNameSize];
  for (size_t i = 0; rc >= 0 && i < tok->regexlibs.size(); ++i) {
    const dtok_regexlib& e = tok->regexlibs[i];
    rc = rsrc_name_get(ctx, kRsrcRegex, e.lib.index(), name, sizeof name);
    if (rc < 0) break;
    xmldoc_field fields[2];
    fields[0].type = kXmlColInt;
    fields[0].number = e.high;
    fields[1].type = kXmlColInt;
    fields[1].number = e.low;
    rc = xmldoc_record_add(ctx, doc, name, nullptr, fields);
  }
  if (rc >= 0) rc = xmldoc_include_add(ctx, elem, kIncRegexlibs, kXmlIncludeInline, doc);
  if (rc < 0) {
    xml_free(ctx, doc);
    return rc;
  }
  return 0;
}

int32_t schemes_write(context* ctx, xmldoc* elem, const dtok_rec* tok) {
  if (tok->schemes.empty()) return 0;
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, kIncSchemes, kElemVersion, &doc);
  if (rc < 0) return rc;
  rc = xmldoc_column_add(ctx, doc, kColType, kXmlColString);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColCase, kXmlColString);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColPhonetx, kXmlColInt);
  if (rc >= 0) rc = range_write(ctx, doc);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColOutCase, kXmlColString);
  char name[kRsrcNameSize];
  for (size_t i = 0; rc >= 0 && i < tok->schemes.size(); ++i) {
    const dtok_scheme& e = tok->schemes[i];
    rc = rsrc_name_get(ctx, kRsrcScheme, e.scheme.index(), name, sizeof name);
    if (rc < 0) break;
    xmldoc_field f[6];
    f[0].type = kXmlColString;
    f[0].text = const_cast<char*>((e.options & kDtokSchemeElement) ? "Element" : "Phrase");
    f[1].type = kXmlColString;
    f[1].text = const_cast<char*>((e.options & kDtokSchemeCaseInsensitive) ? "Yes" : "No");
    f[2].type = kXmlColInt;
    f[2].number = e.disable_phonetx;
    f[3].type = kXmlColInt;
    f[3].number = e.high;
    f[4].type = kXmlColInt;
    f[4].number = e.low;
    f[5].type = kXmlColString;
    f[5].text = const_cast<char*>(out_case_text(e.options));
    rc = xmldoc_record_add(ctx, doc, name, nullptr, f);
  }
  if (rc >= 0) rc = xmldoc_include_add(ctx, elem, kIncSchemes, kXmlIncludeInline, doc);
  if (rc < 0) {
    xml_free(ctx, doc);
    return rc;
  }
  return 0;
}

// Reading the lists: each record is kept, one whose resource cannot be
// opened now by its name (rsrc_open_kept) with its code recorded, and the
// rest are still read.
int32_t regexlibs_read(context* ctx, const dtok_owner& owner, const xmldoc* elem, dtok_rec* tok) {
  const xmldoc* doc = xmldoc_include_doc_find(elem, kIncRegexlibs);
  if (doc == nullptr) return 0;
  range_cols cols;
  cols.find(ctx, doc);
  int32_t result = 0;
  for (int32_t r = 0; r < doc->record_count; ++r) {
    const xmldoc_record& rec = doc->records[r];
    if (rec.key == nullptr) continue;
    int32_t high = 0, low = 0;
    cols.get(rec, &high, &low);
    int32_t rc = dtok_regexlib_add(ctx, tok, rec.key, high, low, 0);
    if (rc < 0) {
      TQ_REPORT(ctx, rc, 88, rec.key, tok->name, defn_kind_name(owner.kind), owner.defn_name);
      result = rc;  // the last such code
      if (err_is_critical(rc)) return rc;
    }
  }
  return result;
}

uint32_t scheme_options_read(const xmldoc_record& rec, int32_t type, int32_t ci, int32_t out_case) {
  uint32_t options = 0;
  if (std::strcmp(xmldoc_record_text(rec, type), "Element") == 0) options |= kDtokSchemeElement;
  if (std::strcmp(xmldoc_record_text(rec, ci), "Yes") == 0) options |= kDtokSchemeCaseInsensitive;
  const char* oc = xmldoc_record_text(rec, out_case);
  if (std::strcmp(oc, "Upper") == 0) options |= kDtokSchemeOutUpper;
  else if (std::strcmp(oc, "Lower") == 0) options |= kDtokSchemeOutLower;
  else if (std::strcmp(oc, "Proper") == 0) options |= kDtokSchemeOutProper;
  return options;
}

int32_t schemes_read(context* ctx, const dtok_owner& owner, const xmldoc* elem, dtok_rec* tok) {
  const xmldoc* doc = xmldoc_include_doc_find(elem, kIncSchemes);
  if (doc == nullptr) return 0;
  range_cols cols;
  cols.find(ctx, doc);
  int32_t type = -1, ci = -1, out_case = -1, phonetx = -1;
  (void)xmldoc_column_find(ctx, doc, kColType, &type);
  (void)xmldoc_column_find(ctx, doc, kColCase, &ci);
  (void)xmldoc_column_find(ctx, doc, kColOutCase, &out_case);
  (void)xmldoc_column_find(ctx, doc, kColPhonetx, &phonetx);
  int32_t result = 0;
  for (int32_t r = 0; r < doc->record_count; ++r) {
    const xmldoc_record& rec = doc->records[r];
    if (rec.key == nullptr) continue;
    int32_t high = 0, low = 0;
    cols.get(rec, &high, &low);
    uint32_t options = scheme_options_read(rec, type, ci, out_case);
    int32_t disable = xmldoc_record_number(rec, phonetx, 0);
    int32_t rc = dtok_scheme_add(ctx, tok, rec.key, options, disable, high, low, 0);
    if (rc < 0) {
      TQ_REPORT(ctx, rc, 89, rec.key, tok->name, defn_kind_name(owner.kind), owner.defn_name);
      result = rc;
      if (err_is_critical(rc)) return rc;
    }
  }
  return result;
}

void lists_free(context* ctx, dtok_rec* tok, int32_t keep_refs) {
  for (dtok_regexlib& e : tok->regexlibs) {
    if (keep_refs) e.lib.forget();
    else (void)e.lib.release(ctx);
  }
  tok->regexlibs.clear();
  tok->automatic_uppercasing = 1;
  for (dtok_scheme& e : tok->schemes) {
    if (keep_refs) e.scheme.forget();
    else (void)e.scheme.release(ctx);
  }
  tok->schemes.clear();
}

// The key of a token name among the datatype's tokens (byte-exact), or -1.
int32_t datatype_key(const dtok_owner& owner, const char* name) {
  for (uint32_t k = 0; k < owner.datatype_token_count && owner.datatype_tokens != nullptr; ++k) {
    if (owner.datatype_tokens[k] != nullptr && std::strcmp(owner.datatype_tokens[k], name) == 0) {
      return static_cast<int32_t>(k);
    }
  }
  return -1;
}

}  // namespace


// ---- One token ----------------------------------------------------------------------

int32_t dtok_init(context* ctx, int32_t kind, dtok_rec* tok) {
  if (tok == nullptr) return TQ_ERR_ARGUMENT;
  if (int32_t rc = defn_kind_check(ctx, kind); rc != 0) return rc;
  lists_free(ctx, tok, 0);
  tok->kind = kind;
  tok->name[0] = '\0';
  tok->key = -1;
  tok->automatic_uppercasing = 1;
  tok->use_separator = 1;
  std::memcpy(tok->separator, " ", 2);
  tok->part = nullptr;
  return defn_kind_call<&defn_kind_ops::token_init>(ctx, kind, tok);
}

void dtok_clear(context* ctx, dtok_rec* tok, int32_t keep_refs) {
  if (tok == nullptr) return;
  if (tok->kind != 0) (void)defn_kind_call<&defn_kind_ops::token_free>(ctx, tok->kind, tok, keep_refs);
  tok->part = nullptr;
  tok->kind = 0;
  tok->key = -1;
  tok->name[0] = '\0';
  tok->use_separator = 0;
  tok->separator[0] = '\0';
  lists_free(ctx, tok, keep_refs);
}

int32_t dtok_copy(context* ctx, dtok_rec* dst, const dtok_rec* src) {
  if (dst == nullptr || src == nullptr || dst == src) return TQ_ERR_ARGUMENT;
  lists_free(ctx, dst, 0);
  dst->kind = src->kind;
  std::memcpy(dst->name, src->name, sizeof dst->name);
  dst->key = src->key;
  dst->automatic_uppercasing = src->automatic_uppercasing;
  dst->use_separator = src->use_separator;
  std::memcpy(dst->separator, src->separator, sizeof dst->separator);
  int32_t rc = 0;
  try {
    dst->regexlibs.reserve(src->regexlibs.size());
    dst->schemes.reserve(src->schemes.size());
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  for (size_t i = 0; rc == 0 && i < src->regexlibs.size(); ++i) {
    const dtok_regexlib& e = src->regexlibs[i];
    dtok_regexlib c{rsrc_ref(), e.low, e.high};
    rc = e.lib.share(ctx, &c.lib);
    if (rc == 0) dst->regexlibs.push_back(std::move(c));
  }
  for (size_t i = 0; rc == 0 && i < src->schemes.size(); ++i) {
    const dtok_scheme& e = src->schemes[i];
    dtok_scheme c{rsrc_ref(), e.options, e.low, e.high, e.disable_phonetx};
    rc = e.scheme.share(ctx, &c.scheme);
    if (rc == 0) dst->schemes.push_back(std::move(c));
  }
  if (rc == 0) rc = defn_kind_call<&defn_kind_ops::token_copy>(ctx, src->kind, src, dst, 0);
  if (rc < 0) {
    dtok_clear(ctx, dst, 0);
    return rc;
  }
  return 0;
}

namespace {

// The name (UTF-8) and its key into the token. A refused name is stored
// only when keep_refused is set: a token read from a file keeps the name it
// was written with, so that saving it again loses nothing.
int32_t name_assign(context* ctx, const dtok_owner& owner, uint32_t token_count, dtok_rec* tok, const char* name,
                    bool keep_refused) {
  if (name[0] == '\0') {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 86, defn_kind_name(owner.kind), owner.defn_name, name);
    return TQ_ERR_INVALID_CONTENT;
  }
  char cut[kDtokNameSize];
  str_copy_bounded(cut, name, sizeof cut);
  const char* dtype = owner.datatype_name != nullptr ? owner.datatype_name : "";
  int32_t key = -1;
  if (owner.kind != kDefnParse && owner.kind != kDefnExtract && owner.parse_defn < 0 && token_count == 1 &&
      std::strcmp(cut, dtype) == 0) {
    key = 0;
  } else {
    key = datatype_key(owner, cut);
  }
  int32_t rc = 0;
  if (key < 0) {
    // Without a datatype no name is a token of it. Read from a file, the
    // definition's datatype could not be found, which its own message
    // says (with the load flag when datatypes were not loaded).
    if (dtype[0] != '\0') {
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 87, cut, dtype, defn_kind_name(owner.kind));
    } else if (!keep_refused) {
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1942, defn_kind_name(owner.kind), owner.defn_name, cut);
    }
    rc = TQ_ERR_INVALID_CONTENT;
    if (!keep_refused) return rc;
  }
  std::memcpy(tok->name, cut, sizeof cut);
  tok->key = key;
  return rc;
}

}  // namespace

int32_t dtok_name_set(context* ctx, const dtok_owner& owner, uint32_t token_count, dtok_rec* tok, const char* name,
                      uint32_t flags) {
  if (tok == nullptr || name == nullptr) return TQ_ERR_ARGUMENT;
  // A token keeps 320 bytes of its name: a longer one is refused, not cut
  // (a cut name could name another token).
  name_in in;
  int32_t crc = in.take(ctx, name, kDtokNameSize - 1, flags);
  if (crc < 0) return crc;
  return rc_combine(name_assign(ctx, owner, token_count, tok, in.text, false), crc);
}

int32_t dtok_regexlib_add(context* ctx, dtok_rec* tok, const char* name, int32_t high, int32_t low, uint32_t flags) {
  if (tok == nullptr || name == nullptr) return TQ_ERR_ARGUMENT;
  name_in in;
  int32_t crc = in.take(ctx, name, kDtokRsrcNameMax, flags);
  if (crc < 0) return crc;
  dtok_regexlib e{rsrc_ref(), low, high};
  int32_t rc = regexlib_open(ctx, in.text, &e.lib, flags);
  // A reader's library kept by its name alone is listed with its failure
  // (rsrc_open_kept): the file names it.
  if (rc < 0 && !e.lib.held()) return rc;
  const int32_t grown =
      defn_list_append(tok->regexlibs, std::move(e), [ctx](dtok_regexlib& x) { (void)x.lib.release(ctx); });
  if (grown < 0) return grown;
  return rc_combine(crc, rc);
}

int32_t dtok_regexlib_set(context* ctx, dtok_rec* tok, int32_t j, const char* name, int32_t high, int32_t low,
                          uint32_t flags) {
  if (tok == nullptr || name == nullptr) return TQ_ERR_ARGUMENT;
  if (!in_range(j, tok->regexlibs.size())) return TQ_ERR_INDEX;
  name_in in;
  int32_t crc = in.take(ctx, name, kDtokRsrcNameMax, flags);
  if (crc < 0) return crc;
  dtok_regexlib& e = tok->regexlibs[static_cast<size_t>(j)];
  char old[kRsrcNameSize];
  int32_t rc = rsrc_name_get(ctx, kRsrcRegex, e.lib.index(), old, sizeof old);
  if (rc < 0 || !rsrc_same_name(kRsrcRegex, old, in.text)) {
    rsrc_ref fresh;
    rc = regexlib_open(ctx, in.text, &fresh, flags);
    if (rc < 0) {
      (void)fresh.release(ctx);  // a failed set leaves the entry as it was
      return rc;
    }
    (void)e.lib.release(ctx);
    e.lib = std::move(fresh);
  } else {
    rc = 0;
  }
  e.high = high;
  e.low = low;
  return rc_combine(crc, rc);
}

int32_t dtok_regexlib_name_set(context* ctx, dtok_rec* tok, int32_t j, const char* name, uint32_t flags) {
  if (tok == nullptr || name == nullptr || name[0] == '\0') return TQ_ERR_ARGUMENT;
  if (!in_range(j, tok->regexlibs.size())) return TQ_ERR_INDEX;
  const dtok_regexlib& e = tok->regexlibs[static_cast<size_t>(j)];
  return dtok_regexlib_set(ctx, tok, j, name, e.high, e.low, flags);
}

int32_t dtok_regexlib_info_get(context* ctx, const dtok_rec* tok, int32_t j, char* name, int32_t* high,
                               int32_t* low, uint32_t flags) {
  if (name != nullptr) name[0] = '\0';
  if (tok == nullptr) return TQ_ERR_ARGUMENT;
  if (!in_range(j, tok->regexlibs.size())) return TQ_ERR_INDEX;
  const dtok_regexlib& e = tok->regexlibs[static_cast<size_t>(j)];
  if (high != nullptr) *high = e.high;
  if (low != nullptr) *low = e.low;
  if (name == nullptr) return 0;
  char utf8[kRsrcNameSize];
  int32_t rc = rsrc_name_get(ctx, kRsrcRegex, e.lib.index(), utf8, sizeof utf8);
  if (rc < 0) return rc;
  return strio_out(ctx, utf8, name, kDtokRsrcNameMax, flags & kStrioConvert);
}

void dtok_regexlibs_delete_all(context* ctx, dtok_rec* tok) {
  if (tok == nullptr) return;
  for (dtok_regexlib& e : tok->regexlibs) (void)e.lib.release(ctx);
  tok->regexlibs.clear();
  tok->automatic_uppercasing = 1;
}

int32_t dtok_scheme_add(context* ctx, dtok_rec* tok, const char* name, uint32_t options, int32_t disable_phonetx,
                        int32_t high, int32_t low, uint32_t flags) {
  if (tok == nullptr || name == nullptr || !dtok_scheme_options_ok(options)) return TQ_ERR_ARGUMENT;
  name_in in;
  int32_t crc = in.take(ctx, name, kDtokRsrcNameMax, flags);
  if (crc < 0) return crc;
  dtok_scheme e{rsrc_ref(), options, low, high, disable_phonetx};
  int32_t rc = scheme_open(ctx, in.text, options, &e.scheme, flags);
  if (rc < 0 && !e.scheme.held()) return rc;  // kept by its name: listed, as a library is
  const int32_t grown =
      defn_list_append(tok->schemes, std::move(e), [ctx](dtok_scheme& x) { (void)x.scheme.release(ctx); });
  if (grown < 0) return grown;
  return rc_combine(crc, rc);
}

int32_t dtok_scheme_set(context* ctx, dtok_rec* tok, int32_t j, const char* name, uint32_t options,
                        int32_t disable_phonetx, int32_t high, int32_t low, uint32_t flags) {
  if (tok == nullptr || name == nullptr || !dtok_scheme_options_ok(options)) return TQ_ERR_ARGUMENT;
  if (!in_range(j, tok->schemes.size())) return TQ_ERR_INDEX;
  name_in in;
  int32_t crc = in.take(ctx, name, kDtokRsrcNameMax, flags);
  if (crc < 0) return crc;
  dtok_scheme& e = tok->schemes[static_cast<size_t>(j)];
  char old[kRsrcNameSize];
  int32_t rc = rsrc_name_get(ctx, kRsrcScheme, e.scheme.index(), old, sizeof old);
  if (rc < 0 || options != e.options || !rsrc_same_name(kRsrcScheme, old, in.text)) {
    rsrc_ref fresh;
    rc = scheme_open(ctx, in.text, options, &fresh, flags);
    if (rc < 0) {
      (void)fresh.release(ctx);  // a failed set leaves the entry as it was
      return rc;
    }
    (void)e.scheme.release(ctx);
    e.scheme = std::move(fresh);
    e.options = options;
  } else {
    rc = 0;
  }
  // Each end on its own: one end given keeps the other.
  if (disable_phonetx != -1) e.disable_phonetx = disable_phonetx;
  if (high != -1) e.high = high;
  if (low != -1) e.low = low;
  return rc_combine(crc, rc);
}

int32_t dtok_scheme_info_get(context* ctx, const dtok_rec* tok, int32_t j, uint32_t flags, char* name,
                             uint32_t* options) {
  if (name != nullptr) name[0] = '\0';
  if (options != nullptr) *options = 0;
  if (tok == nullptr || name == nullptr || options == nullptr) return TQ_ERR_ARGUMENT;
  if (!in_range(j, tok->schemes.size())) return TQ_ERR_INDEX;
  const dtok_scheme& e = tok->schemes[static_cast<size_t>(j)];
  char utf8[kRsrcNameSize];
  int32_t rc = rsrc_name_get(ctx, kRsrcScheme, e.scheme.index(), utf8, sizeof utf8);
  if (rc < 0) return rc;
  *options = e.options;
  return strio_out(ctx, utf8, name, kDtokRsrcNameMax, flags & kStrioConvert);
}

void dtok_schemes_delete_all(context* ctx, dtok_rec* tok) {
  if (tok == nullptr) return;
  for (dtok_scheme& e : tok->schemes) (void)e.scheme.release(ctx);
  tok->schemes.clear();
}

int32_t dtok_separator_get(context* ctx, const dtok_rec* tok, char* out, uint32_t flags) {
  if (out != nullptr) out[0] = '\0';
  if (tok == nullptr || out == nullptr) return TQ_ERR_ARGUMENT;
  return strio_out(ctx, tok->separator, out, kDtokSeparatorSize - 1, flags & kStrioConvert);
}

int32_t dtok_separator_set(context* ctx, dtok_rec* tok, const char* text, uint32_t flags) {
  if (tok == nullptr || text == nullptr) return TQ_ERR_ARGUMENT;
  char in[kDtokSeparatorSize];
  int32_t rc = strio_in(ctx, text, in, kDtokSeparatorSize - 1, flags & kStrioConvert);
  if (rc < 0) return rc;
  std::memcpy(tok->separator, in, sizeof in);
  return rc;
}

int32_t dtok_use_separator_get(context*, const dtok_rec* tok, int32_t* flag) {
  if (flag != nullptr) *flag = 1;
  if (tok == nullptr || flag == nullptr) return TQ_ERR_ARGUMENT;
  *flag = tok->use_separator;
  return 0;
}

int32_t dtok_use_separator_set(context*, dtok_rec* tok, int32_t flag) {
  if (tok == nullptr) return TQ_ERR_ARGUMENT;
  tok->use_separator = flag != 0 ? 1 : 0;
  return 0;
}

int32_t dtok_xml_write(context* ctx, xmldoc* defn, const dtok_rec* tok) {
  if (defn == nullptr || tok == nullptr) return TQ_ERR_ARGUMENT;
  xmldoc* elem = nullptr;
  int32_t rc = xmldoc_create(ctx, tok->kind == kDefnGender ? kElemSubstring : kElemToken, kElemVersion, &elem);
  if (rc < 0) return rc;
  rc = xmldoc_prop_add(ctx, elem, kPropName, tok->name);
  if (rc >= 0) rc = xmldoc_prop_add_yes_no(ctx, elem, kPropUpper, tok->automatic_uppercasing, 0);
  if (rc >= 0) rc = xmldoc_prop_add_yes_no_grouped(ctx, elem, kGroup9, kPropUseSep, tok->use_separator, 0);
  if (rc >= 0) rc = xmldoc_prop_add_grouped(ctx, elem, kGroup9, kPropSep, tok->separator);
  if (rc >= 0) rc = regexlibs_write(ctx, elem, tok);
  if (rc >= 0) rc = schemes_write(ctx, elem, tok);
  if (rc >= 0) rc = defn_kind_call<&defn_kind_ops::token_write>(ctx, tok->kind, elem, tok);
  if (rc >= 0) rc = xmldoc_include_add(ctx, defn, kElemToken, kXmlIncludeInline, elem);
  if (rc < 0) {
    xml_free(ctx, elem);
    return rc;
  }
  return 0;
}

int32_t dtok_xml_read(context* ctx, const dtok_owner& owner, uint32_t token_count, const xmldoc* element,
                      dtok_rec* tok) {
  if (element == nullptr || tok == nullptr) return TQ_ERR_ARGUMENT;
  tok->kind = owner.kind;
  int32_t result = name_assign(ctx, owner, token_count, tok, xmldoc_prop_get(ctx, element, kPropName), true);
  tok->automatic_uppercasing = std::strcmp(xmldoc_prop_get(ctx, element, kPropUpper), "No") == 0 ? 0 : 1;
  if (!err_is_critical(result)) result = worst(result, regexlibs_read(ctx, owner, element, tok));
  if (!err_is_critical(result)) result = worst(result, schemes_read(ctx, owner, element, tok));
  int32_t use = 1;
  if (xmldoc_prop_get_yes_no(ctx, element, kPropUseSep, 1, &use, nullptr) != 0) use = 1;
  tok->use_separator = use;
  // At most 64 bytes, cut between characters; an empty text reads as " ".
  const char* sep = xmldoc_prop_get(ctx, element, kPropSep);
  str_copy_bounded(tok->separator, sep[0] != '\0' ? sep : " ", sizeof tok->separator);
  if (!err_is_critical(result)) {
    result = worst(result, defn_kind_call<&defn_kind_ops::token_read>(ctx, tok->kind, element, tok));
  }
  return result;
}

// ---- The token list -----------------------------------------------------------------------

int32_t dtok_list_get(context* ctx, const dtok_owner& owner, const dtok_list* list, int32_t i, dtok_rec** out) {
  if (out != nullptr) *out = nullptr;
  if (list == nullptr || out == nullptr) return TQ_ERR_ARGUMENT;
  if (!in_range(i, list->items.size())) {
    TQ_REPORT(ctx, TQ_ERR_INDEX, 194, i, defn_kind_name(owner.kind), owner.defn_name);
    return TQ_ERR_INDEX;
  }
  *out = list->items[static_cast<size_t>(i)].get();
  return 0;
}

int32_t dtok_list_add(context* ctx, const dtok_owner& owner, dtok_list* list, int32_t* index) {
  if (index != nullptr) *index = -1;
  if (list == nullptr || index == nullptr) return TQ_ERR_ARGUMENT;
  if (list->count() >= kDtokMax) {
    TQ_REPORT(ctx, TQ_ERR_CALL_STACK_FULL, 29, "A definition holds at most 32 tokens.");
    return TQ_ERR_CALL_STACK_FULL;
  }
  std::unique_ptr<dtok_rec> tok(new (std::nothrow) dtok_rec());
  if (tok == nullptr) return TQ_ERR_NO_MEMORY;
  int32_t rc = dtok_init(ctx, owner.kind, tok.get());
  if (rc >= 0) {
    const int32_t grown = defn_list_append(list->items, std::move(tok));
    if (grown < 0) rc = grown;
  }
  if (rc < 0) {
    if (tok != nullptr) dtok_clear(ctx, tok.get(), 0);
    return rc;
  }
  *index = static_cast<int32_t>(list->items.size() - 1);
  return rc;
}

int32_t dtok_list_delete(context* ctx, const dtok_owner& owner, dtok_list* list, int32_t i) {
  dtok_rec* tok = nullptr;
  int32_t rc = dtok_list_get(ctx, owner, list, i, &tok);
  if (rc != 0) return rc;
  dtok_clear(ctx, tok, 0);
  list->items.erase(list->items.begin() + i);
  // Later tokens moved down one place: their keys follow their names.
  for (size_t j = static_cast<size_t>(i); j < list->items.size(); ++j) {
    dtok_rec* t = list->items[j].get();
    int32_t key = datatype_key(owner, t->name);
    if (key >= 0) t->key = key;
  }
  if (list->items.empty()) std::vector<std::unique_ptr<dtok_rec>>().swap(list->items);
  return 0;
}

int32_t dtok_list_rearrange(context*, dtok_list* list, const int32_t* order, uint32_t n) {
  if (list == nullptr || order == nullptr || n != list->count() || n > kDtokMax) return TQ_ERR_ARGUMENT;
  // Each old position exactly once, before anything moves.
  bool seen[kDtokMax] = {};
  for (uint32_t k = 0; k < n; ++k) {
    if (order[k] < 0 || static_cast<uint32_t>(order[k]) >= n || seen[order[k]]) return TQ_ERR_ARGUMENT;
    seen[order[k]] = true;
  }
  std::unique_ptr<dtok_rec> moved[kDtokMax];
  for (uint32_t k = 0; k < n; ++k) moved[k] = std::move(list->items[static_cast<size_t>(order[k])]);
  for (uint32_t k = 0; k < n; ++k) list->items[k] = std::move(moved[k]);
  return 0;
}

void dtok_list_clear(context* ctx, dtok_list* list, int32_t keep_refs) {
  if (list == nullptr) return;
  for (auto& tok : list->items) dtok_clear(ctx, tok.get(), keep_refs);
  std::vector<std::unique_ptr<dtok_rec>>().swap(list->items);
}

int32_t dtok_list_copy(context* ctx, dtok_list* dst, const dtok_list* src) {
  if (dst == nullptr || src == nullptr || dst == src) return TQ_ERR_ARGUMENT;
  dtok_list_clear(ctx, dst, 0);
  try {
    dst->items.reserve(src->items.size());
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  for (const auto& s : src->items) {
    std::unique_ptr<dtok_rec> tok(new (std::nothrow) dtok_rec());
    int32_t rc = tok == nullptr ? TQ_ERR_NO_MEMORY : dtok_init(ctx, s->kind, tok.get());
    if (rc >= 0) rc = dtok_copy(ctx, tok.get(), s.get());
    if (rc < 0) {
      if (tok != nullptr) dtok_clear(ctx, tok.get(), 0);
      dtok_list_clear(ctx, dst, 0);
      return rc;
    }
    dst->items.push_back(std::move(tok));
  }
  return 0;
}

namespace {

// Bytes of name text that fit a kDtokNameOutSize buffer with the terminator
// the output writes (strio_terminator_for).
uint32_t name_out_max(context* ctx, uint32_t flags) { return kDtokNameOutSize - strio_terminator_for(ctx, flags); }

}  // namespace

int32_t dtok_list_name_get(context* ctx, const dtok_owner& owner, const dtok_list* list, int32_t i, char* out,
                           uint32_t flags) {
  if (out != nullptr) out[0] = '\0';
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  dtok_rec* tok = nullptr;
  int32_t rc = dtok_list_get(ctx, owner, list, i, &tok);
  if (rc != 0) return rc;
  return strio_out(ctx, tok->name, out, name_out_max(ctx, flags), flags & kStrioConvert);
}

int32_t dtok_list_names_get(context* ctx, const dtok_list* list, char* const* out, uint32_t* count,
                            uint32_t flags) {
  if (count != nullptr) *count = 0;
  if (list == nullptr || out == nullptr || count == nullptr) return TQ_ERR_ARGUMENT;
  int32_t result = 0;
  for (uint32_t i = 0; i < list->count() && i < kDtokMax; ++i) {
    if (out[i] == nullptr) return TQ_ERR_ARGUMENT;
    int32_t rc = strio_out(ctx, list->items[i]->name, out[i], name_out_max(ctx, flags), flags & kStrioConvert);
    if (rc < 0) return rc;
    if (rc > 0) result = rc;
    *count = i + 1;
  }
  return result;
}

int32_t dtok_list_key_get_by_name(context* ctx, const dtok_owner& owner, const dtok_list* list, const char* name,
                                  int32_t* key) {
  if (key != nullptr) *key = -1;
  if (list == nullptr || name == nullptr || key == nullptr) return TQ_ERR_ARGUMENT;
  for (const auto& tok : list->items) {
    if (np_uchar_icomp(tok->name, name) == 0) {
      *key = tok->key;
      return 0;
    }
  }
  TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 86, defn_kind_name(owner.kind), owner.defn_name, name);
  return TQ_ERR_ARGUMENT;
}

}  // namespace tq
