#include "fields/kridef.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>
#include <utility>

#include "core/krerr.h"
#include "core/krstr.h"
#include "core/krvec.h"
#include "kbstore/krdefnlist.h"
#include "fields/krident.h"
#include "kbstore/krxml.h"
#include "resources/krgram.h"
#include "resources/krsch.h"

namespace tq {

namespace {

constexpr const char* kKindName = "Identification Analysis";
constexpr const char* kVersion = "7.0";
constexpr const char* kPropGrammar = "Grammar";
constexpr const char* kIncValues = "Entity Values";
constexpr const char* kIncKnown = "Known Entities";
constexpr const char* kIncPatterns = "Entity Categories";
constexpr const char* kIncCatList = "Categorization Regexlibs";
constexpr const char* kTypeCatList = "Cat Rlib List";
constexpr const char* kColDesc = "Description";
constexpr const char* kColValue = "Value";
constexpr const char* kColDefault = "Default";
constexpr const char* kColScheme = "Scheme";
constexpr const char* kColCase = "Case Insensitive";
constexpr const char* kColEntity = "Entity";
constexpr const char* kColCategory = "Category";
constexpr const char* kColSought = "Sought Category";
constexpr const char* kColWeight = "Weight";
constexpr const char* kColSearch = "Search Type";
constexpr const char* kColStop = "Stop Flag";
constexpr const char* kColGrammar = "Grammar";
constexpr const char* kPhrase = "Phrase";
constexpr const char* kElement = "Element";

// The document of the first include of that name or type; NULL when none.
const xmldoc* section_find(const xmldoc* el, const char* name, const char* type = nullptr) {
  for (int32_t i = 0; i < el->include_count; ++i) {
    const xmldoc* doc = el->includes[i].doc;
    if (doc == nullptr) continue;
    if (std::strcmp(el->includes[i].name, name) == 0 || std::strcmp(doc->type, type != nullptr ? type : name) == 0) {
      return doc;
    }
  }
  return nullptr;
}

int32_t column_of(context* ctx, const xmldoc* doc, const char* name) {
  int32_t column = -1;
  (void)xmldoc_column_find(ctx, doc, name, &column);
  return column;
}

// Message 29 carries its whole text.
void pattern_release(context* ctx, ident_pattern_rec* p, int32_t keep_refs) {
  if (p->parser != nullptr && keep_refs == 0) (void)parser_release(ctx, p->parser);
  p->parser = nullptr;
  if (keep_refs != 0) {
    p->grammar.forget();
  } else {
    (void)p->grammar.release(ctx);
  }
}

void pattern_init(ident_pattern_rec* p, uint32_t position) {
  *p = ident_pattern_rec{};
  p->position = position;
  optp_block_init(&p->opt);
}

void part_release(context* ctx, ident_defn_kind_rec* part, int32_t keep_refs) {
  if (part->morph != nullptr) morph_options_release(ctx, part->morph.get());
  cat_regexlib_list_clear(ctx, &part->cat_regexlibs, keep_refs);
  part->values.clear();
  for (ident_known_rec& k : part->known) {
    if (keep_refs != 0) {
      k.scheme.forget();
    } else {
      (void)k.scheme.release(ctx);
    }
  }
  part->known.clear();
  for (ident_pattern_rec& p : part->patterns) pattern_release(ctx, &p, keep_refs);
  part->patterns.clear();
  part->level = 0;
  ident_defn_unbind(part);
}

// The category index of a name in a grammar held by index; -1 when absent.
int32_t category_index(context* ctx, const rsrc_ref& grammar, const char* name) {
  grammar_rec* g = nullptr;
  if (!grammar.held() || grammar_get(ctx, grammar.index(), &g) < 0) return -1;
  return grammar_category_index_by_name(ctx, g, name);
}

// ---- Reading -----------------------------------------------------------------------------

struct read_state {
  context* ctx;
  const xmldoc* el;
  defn_rec* rec;
  ident_defn_kind_rec* part;
  int32_t last = 0;
  int32_t step(int32_t rc) { return defn_rec_load_result(ctx, rec, rc, &last); }
};

int32_t grammar_open(read_state& s, const char* name, rsrc_ref* out) {
  if (name[0] == '\0') return 0;  // no grammar
  // Kept by its name when its file cannot be had now (rsrc_open_kept).
  int32_t rc = rsrc_open_kept(s.ctx, kRsrcGrammar, out,
                              [&](int32_t* index) { return grammar_load_by_name(s.ctx, name, nullptr, index); });
  if (rc < 0) {
    if (rc == TQ_ERR_FAILED) rc = TQ_ERR_FILE_OPEN;
    TQ_REPORT(s.ctx, rc, 190, name, kKindName, s.rec->name);
    return rc;
  }
  return 0;
}

int32_t read_level(read_state& s) {
  const char* type = s.el->type;
  if (std::strcmp(type, kIdentRootType) == 0) {
    s.part->level = kIdentLevel5;
  } else if (std::strcmp(type, kIdentTypeV7) == 0 || std::strcmp(type, kIdentTypeVertical) == 0) {
    s.part->level = kIdentLevel7;
  } else if (std::strcmp(type, kIdentTypeV8) == 0 || std::strcmp(type, kIdentTypeV8Vertical) == 0) {
    s.part->level = kIdentLevel8;
  } else {
    TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 1466, kKindName, s.rec->name);
    return TQ_ERR_INVALID_CONTENT;
  }
  return 0;
}

int32_t read_default_check(read_state& s) {
  if (s.part->level != kIdentLevel8 || vec_count(&s.rec->default_categories) != 0) return 0;
  TQ_REPORT(s.ctx, TQ_ERR_PART_MISSING, 1556, kKindName, s.rec->name);
  return TQ_ERR_PART_MISSING;
}

int32_t read_values(read_state& s) {
  const xmldoc* doc = section_find(s.el, kIncValues);
  if (doc == nullptr) return 0;
  if (doc->record_count < 1) {
    TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 146, s.rec->name);
    return TQ_ERR_INVALID_CONTENT;
  }
  int32_t cols[3];
  const char* names[3] = {kColDesc, kColValue, kColDefault};
  for (int32_t c = 0; c < 3; ++c) {
    cols[c] = column_of(s.ctx, doc, names[c]);
    if (cols[c] < 0) {
      TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 149, names[c], s.rec->name);
      return TQ_ERR_INVALID_CONTENT;
    }
  }
  try {
    s.part->values.reserve(static_cast<size_t>(doc->record_count));
  } catch (const std::bad_alloc&) {
    defn_memory_report(s.ctx, "Allocating memory for identity values of identification definition %s.", s.rec->name);
    return TQ_ERR_NO_MEMORY;
  }
  int32_t result = 0;
  bool have_default = false;
  for (int32_t i = 0; i < doc->record_count; ++i) {
    const xmldoc_record& r = doc->records[i];
    if (r.key == nullptr) continue;
    ident_value_rec v{};
    str_copy_bounded(v.desc, xmldoc_record_text(r, cols[0]), sizeof v.desc);
    str_copy_bounded(v.value, xmldoc_record_text(r, cols[1]), sizeof v.value);
    v.dflt = xmldoc_record_number(r, cols[2], 0);
    if (v.dflt != 0 && have_default && result == 0) {
      TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 150, s.rec->name);
      result = TQ_ERR_INVALID_CONTENT;
    }
    have_default = have_default || v.dflt != 0;
    s.part->values.push_back(v);  // reserved
  }
  return result;
}

// The index of the identity value a known identity or a pattern names; one
// that is none of the definition's values fails the step, told once.
int32_t value_of(read_state& s, const char* text, const char* what, int32_t* result) {
  const int32_t value = ident_defn_value_index_by_text(s.part, text);
  if (value >= 0) return value;
  if (*result >= 0) TQ_REPORT(s.ctx, TQ_ERR_NAME, 151, text, what, s.rec->name);
  *result = rc_combine(*result, TQ_ERR_NAME);
  return value;
}

int32_t read_known(read_state& s) {
  const xmldoc* doc = section_find(s.el, kIncKnown);
  if (doc == nullptr || doc->record_count < 1) return 0;
  const int32_t entity = column_of(s.ctx, doc, kColEntity);
  const int32_t scheme = column_of(s.ctx, doc, kColScheme);
  const int32_t ci = column_of(s.ctx, doc, kColCase);
  for (const auto& [col, name] : {std::pair{entity, kColEntity}, std::pair{scheme, kColScheme}}) {
    if (col < 0) {
      TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 147, name, s.rec->name);
      return TQ_ERR_INVALID_CONTENT;
    }
  }
  try {
    s.part->known.reserve(static_cast<size_t>(doc->record_count));
  } catch (const std::bad_alloc&) {
    defn_memory_report(s.ctx, "Allocating memory for known identities of identification definition %s.", s.rec->name);
    return TQ_ERR_NO_MEMORY;
  }
  int32_t result = 0;
  for (int32_t i = 0; i < doc->record_count; ++i) {
    const xmldoc_record& r = doc->records[i];
    if (r.key == nullptr) continue;
    s.part->known.emplace_back();  // reserved
    ident_known_rec& k = s.part->known.back();
    k.value = value_of(s, xmldoc_record_text(r, entity), "a known identity", &result);
    k.flags = std::strcmp(xmldoc_record_text(r, ci), "Yes") == 0 ? kIdentCaseInsensitive : 0;
    const char* name = xmldoc_record_text(r, scheme);
    if (name[0] == '\0') continue;  // no scheme
    // Kept by its name when its file cannot be had now (rsrc_open_kept).
    int32_t rc = rsrc_open_kept(s.ctx, kRsrcScheme, &k.scheme, [&](int32_t* index) {
      return scheme_load_by_name(s.ctx, name, static_cast<int32_t>(k.flags), -1, 0, nullptr, 0, index);
    });
    if (rc < 0) {
      if (rc == TQ_ERR_FAILED) rc = TQ_ERR_FILE_OPEN;
      TQ_REPORT(s.ctx, rc, 148, name, kKindName, s.rec->name);
      if (err_is_critical(rc)) return rc;
      result = rc_combine(result, rc);
    }
  }
  return result;
}

int32_t read_patterns(read_state& s) {
  const xmldoc* doc = section_find(s.el, kIncPatterns);
  if (doc == nullptr || doc->record_count < 1) {
    TQ_REPORT(s.ctx, TQ_ERR_PART_MISSING, 1557, kKindName, s.rec->name);
    return TQ_ERR_PART_MISSING;
  }
  const int32_t entity = column_of(s.ctx, doc, kColEntity);
  const int32_t category = column_of(s.ctx, doc, kColCategory);
  const int32_t weight = column_of(s.ctx, doc, kColWeight);
  for (const auto& [col, name] :
       {std::pair{entity, kColEntity}, std::pair{category, kColCategory}, std::pair{weight, kColWeight}}) {
    if (col < 0) {
      // The rows are not read: a row through a missing column reads nothing.
      TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 200, name, s.el->type, kKindName, s.rec->name);
      return TQ_ERR_INVALID_CONTENT;
    }
  }
  const int32_t sought = column_of(s.ctx, doc, kColSought);
  const int32_t search = column_of(s.ctx, doc, kColSearch);
  const int32_t stop = column_of(s.ctx, doc, kColStop);
  const int32_t grammar = column_of(s.ctx, doc, kColGrammar);
  const bool level8 = s.part->level == kIdentLevel8;
  int32_t result = 0;
  if (level8 && grammar < 0) {
    TQ_REPORT(s.ctx, kIdentWarnNoGrammar, 200, kColGrammar, s.el->type, kKindName, s.rec->name);
    result = kIdentWarnNoGrammar;
  }
  try {
    s.part->patterns.reserve(static_cast<size_t>(doc->record_count));
  } catch (const std::bad_alloc&) {
    defn_memory_report(s.ctx, "Allocating memory for identity patterns of identification definition %s.", s.rec->name);
    return TQ_ERR_NO_MEMORY;
  }
  for (int32_t i = 0; i < doc->record_count; ++i) {
    const xmldoc_record& r = doc->records[i];
    if (r.key == nullptr) continue;
    s.part->patterns.emplace_back();  // reserved
    ident_pattern_rec& p = s.part->patterns.back();
    pattern_init(&p, static_cast<uint32_t>(s.part->patterns.size() - 1));
    if (level8 && grammar >= 0) {
      const int32_t rc = grammar_open(s, xmldoc_record_text(r, grammar), &p.grammar);
      if (err_is_critical(rc)) return rc;
      result = rc_combine(result, rc);
    }
    str_copy_bounded(p.root_name, xmldoc_record_text(r, category), sizeof p.root_name);
    p.root_index = category_index(s.ctx, p.grammar, p.root_name);
    if (sought >= 0) {
      str_copy_bounded(p.sought_name, xmldoc_record_text(r, sought), sizeof p.sought_name);
      p.sought_index = category_index(s.ctx, p.grammar, p.sought_name);
    } else {
      std::memcpy(p.sought_name, p.root_name, sizeof p.sought_name);
      p.sought_index = p.root_index;
    }
    p.value = value_of(s, xmldoc_record_text(r, entity), "an identity pattern", &result);
    p.options = std::strcmp(xmldoc_record_text(r, search), kPhrase) == 0 ? kIdentPhrase : 0;
    p.weight = xmldoc_record_number(r, weight, 0);
    p.stop = xmldoc_record_number(r, stop, 0) != 0 ? 1 : 0;
    // A row without the parameter columns keeps the default block.
    if (level8) (void)optp_xml_row_read(s.ctx, doc, i, &p.opt);
  }
  return result;
}

int32_t read_cat_regexlibs(read_state& s) {
  const xmldoc* table = section_find(s.el, kIncCatList, kTypeCatList);
  if (table == nullptr || table->record_count < 1) return 0;
  // Rows are combined here; the caller accounts the result once.
  int32_t result = 0;
  auto row = [](void* state, int32_t rc) {
    if (err_is_critical(rc)) return rc;
    int32_t& r = *static_cast<int32_t*>(state);
    r = rc_combine(r, rc);
    return 0;
  };
  const int32_t rc = cat_regexlib_list_read(s.ctx, table, &s.part->cat_regexlibs, s.rec->name,
                                            "Allocating memory for cat regexlibs of ident defn %s.",
                                            "Alloc'ing memory for cat regexlib of ident defn %s.", row, &result);
  return rc != 0 ? rc : result;
}

// Below level 8 one grammar and one block serve every pattern.
int32_t read_shared_grammar(read_state& s) {
  if (s.part->level == kIdentLevel8) return 0;
  parse_opt_params block;
  optp_block_init(&block);
  if (optp_xml_read(s.ctx, s.el, &block) < 0) optp_block_init(&block);
  const char* name = xmldoc_prop_get(s.ctx, s.el, kPropGrammar);
  int32_t result = 0;
  for (ident_pattern_rec& p : s.part->patterns) {
    optp_block_copy(&block, &p.opt);
    if (name[0] == '\0') continue;
    const int32_t rc = grammar_open(s, name, &p.grammar);
    if (err_is_critical(rc)) return rc;
    result = rc_combine(result, rc);
    p.root_index = category_index(s.ctx, p.grammar, p.root_name);
    p.sought_index = category_index(s.ctx, p.grammar, p.sought_name);
  }
  return result;
}

// ---- Writing -----------------------------------------------------------------------------

struct built_doc {
  context* ctx;
  xmldoc* doc = nullptr;
  ~built_doc() {
    if (doc != nullptr) xml_free(ctx, doc);
  }
  int32_t include_into(xmldoc* el, const char* name) {
    int32_t rc = xmldoc_include_add(ctx, el, name, kXmlIncludeInline, doc);
    if (rc >= 0) doc = nullptr;
    return rc;
  }
};

int32_t resource_name(context* ctx, const rsrc_ref& ref, char* out) {
  out[0] = '\0';
  if (!ref.held()) return 0;
  const int32_t rc = rsrc_name_get(ctx, ref.kind(), ref.index(), out, kRsrcNameSize);
  return rc < 0 ? rc : 0;
}

int32_t write_shared_grammar(context* ctx, xmldoc* el, const ident_defn_kind_rec* part) {
  if (part->level >= kIdentLevel8) return 0;
  char name[kRsrcNameSize] = "";
  for (const ident_pattern_rec& p : part->patterns) {
    if (!p.grammar.held()) continue;
    if (int32_t rc = resource_name(ctx, p.grammar, name); rc < 0) return rc;
    break;
  }
  int32_t rc = name[0] != '\0' ? xmldoc_prop_add(ctx, el, kPropGrammar, name) : 0;
  if (rc < 0) return rc;
  for (const ident_pattern_rec& p : part->patterns) {
    if (p.opt.override_flag != 0) return optp_xml_write(ctx, el, &p.opt);
  }
  return 0;
}

int32_t columns_add(context* ctx, xmldoc* doc, std::initializer_list<std::pair<const char*, uint32_t>> cols) {
  for (const auto& [name, type] : cols) {
    if (int32_t rc = xmldoc_column_add(ctx, doc, name, type); rc < 0) return rc;
  }
  return 0;
}

xmldoc_field text_field(const char* text) {
  xmldoc_field f{};
  f.type = kXmlColString;
  f.text = const_cast<char*>(text);
  return f;
}
xmldoc_field int_field(int32_t n) {
  xmldoc_field f{};
  f.type = kXmlColInt;
  f.number = n;
  return f;
}

int32_t write_values(context* ctx, xmldoc* el, const ident_defn_kind_rec* part) {
  built_doc b{ctx};
  int32_t rc = xmldoc_create(ctx, kIncValues, kVersion, &b.doc);
  if (rc >= 0) rc = columns_add(ctx, b.doc, {{kColDesc, kXmlColString}, {kColValue, kXmlColString},
                                              {kColDefault, kXmlColInt}});
  for (const ident_value_rec& v : part->values) {
    if (rc < 0) break;
    xmldoc_field f[3] = {text_field(v.desc), text_field(v.value), int_field(v.dflt)};
    rc = xmldoc_record_add(ctx, b.doc, "", nullptr, f);
  }
  return rc < 0 ? rc : b.include_into(el, kIncValues);
}

const char* value_text(const ident_defn_kind_rec* part, int32_t index) {
  return index >= 0 && static_cast<size_t>(index) < part->values.size() ? part->values[index].value : "";
}

int32_t write_known(context* ctx, xmldoc* el, const ident_defn_kind_rec* part) {
  built_doc b{ctx};
  int32_t rc = xmldoc_create(ctx, kIncKnown, kVersion, &b.doc);
  if (rc >= 0) rc = columns_add(ctx, b.doc, {{kColScheme, kXmlColString}, {kColCase, kXmlColString},
                                              {kColEntity, kXmlColString}});
  char name[kRsrcNameSize];
  for (const ident_known_rec& k : part->known) {
    if (rc < 0) break;
    rc = resource_name(ctx, k.scheme, name);
    if (rc < 0) break;
    xmldoc_field f[3] = {text_field(name), text_field((k.flags & kIdentCaseInsensitive) != 0 ? "Yes" : "No"),
                         text_field(value_text(part, k.value))};
    rc = xmldoc_record_add(ctx, b.doc, "", nullptr, f);
  }
  return rc < 0 ? rc : b.include_into(el, kIncKnown);
}

int32_t write_patterns(context* ctx, xmldoc* el, const ident_defn_kind_rec* part) {
  built_doc b{ctx};
  constexpr int32_t kOwn = 7;
  xmldoc_field f[kOwn + kOptpColumns]{};
  int32_t added = 0;
  int32_t rc = xmldoc_create(ctx, kIncPatterns, kVersion, &b.doc);
  if (rc >= 0) {
    rc = columns_add(ctx, b.doc, {{kColCategory, kXmlColString}, {kColSought, kXmlColString},
                                  {kColEntity, kXmlColString}, {kColWeight, kXmlColInt},
                                  {kColSearch, kXmlColString}, {kColStop, kXmlColInt},
                                  {kColGrammar, kXmlColString}});
  }
  if (rc >= 0) rc = optp_xml_elements_add(ctx, b.doc, kOwn, f, kOwn + kOptpColumns, &added);
  char name[kRsrcNameSize];
  for (const ident_pattern_rec& p : part->patterns) {
    if (rc < 0) break;
    rc = resource_name(ctx, p.grammar, name);
    if (rc < 0) break;
    f[0] = text_field(p.root_name);
    f[1] = text_field(p.sought_name);
    f[2] = text_field(value_text(part, p.value));
    f[3] = int_field(p.weight);
    f[4] = text_field((p.options & kIdentPhrase) != 0 ? kPhrase : kElement);
    f[5] = int_field(static_cast<int32_t>(p.stop));
    f[6] = text_field(name);
    optp_xml_row_fill(&p.opt, f, kOwn);
    rc = xmldoc_record_add(ctx, b.doc, "", nullptr, f);
  }
  return rc < 0 ? rc : b.include_into(el, kIncPatterns);
}

// Opens a grammar an edit names into a new reference, read at once so that
// another kind's file of that name is refused.
int32_t grammar_ref_open(context* ctx, const char* name, rsrc_ref* out) {
  return rsrc_open_checked_by(ctx, kRsrcGrammar, grammar_register, name, out);
}

// 1 when the held reference is registered under exactly that name.
bool ref_named(context* ctx, const rsrc_ref& ref, const char* name) {
  char current[kRsrcNameSize];
  return ref.held() && resource_name(ctx, ref, current) == 0 && std::strcmp(current, name) == 0;
}

}  // namespace

// ---- Hooks --------------------------------------------------------------------------------

int32_t ident_defn_type_matches(context*, const char* include_name) {
  return include_name != nullptr && std::strncmp(include_name, kIdentRootType, std::strlen(kIdentRootType)) == 0
             ? 1
             : 0;
}

int32_t ident_defn_kind_init(context* ctx, defn_rec* rec) {
  auto* part = defn_part_with_morph_new<ident_defn_kind_rec>(ctx);
  if (part == nullptr) return TQ_ERR_NO_MEMORY;
  rec->part = part;
  return 0;
}

int32_t ident_defn_kind_read(context* ctx, const xmldoc* element, defn_rec* rec) {
  ident_defn_kind_rec* part = ident_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  part_release(ctx, part, 0);
  read_state s{ctx, element, rec, part};
  int32_t rc = 0;
  for (int32_t (*step)(read_state&) : {read_level, read_default_check, read_values, read_known, read_patterns,
                                       read_cat_regexlibs, read_shared_grammar}) {
    rc = s.step(step(s));
    if (rc != 0) return rc;
  }
  // Bound on reading (option bit 22): problems binding finds are read problems.
  if (rec->valid != 0 && (ctx->options & kOptPrepareOnRead) != 0) {
    rc = s.step(ident_defn_bind_held(ctx, rec));
    if (rc != 0) return rc;
  }
  return s.last != 0 ? TQ_WARN_READ_PROBLEMS : 0;
}

int32_t ident_defn_kind_write(context* ctx, xmldoc* element, const defn_rec* rec) {
  const ident_defn_kind_rec* part = ident_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  int32_t rc = write_shared_grammar(ctx, element, part);
  if (rc >= 0) rc = cat_regexlib_list_write(ctx, element, part->cat_regexlibs, kTypeCatList, kIncCatList, kVersion);
  if (rc >= 0) rc = write_values(ctx, element, part);
  if (rc >= 0) rc = write_known(ctx, element, part);
  if (rc >= 0) rc = write_patterns(ctx, element, part);
  return rc < 0 ? rc : 0;
}

int32_t ident_defn_kind_copy(context* ctx, const defn_rec* src, defn_rec* dst) {
  const ident_defn_kind_rec* from = ident_defn_part(src);
  ident_defn_kind_rec* to = ident_defn_part(dst);
  if (from == nullptr || to == nullptr) return TQ_ERR_ARGUMENT;
  int32_t rc = 0;
  try {
    to->level = from->level;
    to->values = from->values;
    for (const ident_known_rec& k : from->known) {
      to->known.emplace_back();
      ident_known_rec& c = to->known.back();
      c.value = k.value;
      c.flags = k.flags;
      if ((rc = k.scheme.share(ctx, &c.scheme)) < 0) break;
    }
    for (size_t i = 0; rc >= 0 && i < from->patterns.size(); ++i) {
      const ident_pattern_rec& p = from->patterns[i];
      to->patterns.emplace_back();
      ident_pattern_rec& c = to->patterns.back();
      std::memcpy(c.root_name, p.root_name, sizeof c.root_name);
      std::memcpy(c.sought_name, p.sought_name, sizeof c.sought_name);
      c.root_index = p.root_index;
      c.sought_index = p.sought_index;
      c.position = p.position;
      c.options = p.options;
      c.value = p.value;
      c.weight = p.weight;
      c.stop = p.stop;
      optp_block_copy(&p.opt, &c.opt);
      rc = p.grammar.share(ctx, &c.grammar);
    }
    if (rc >= 0) rc = cat_regexlib_list_copy(ctx, from->cat_regexlibs, &to->cat_regexlibs);
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  ident_defn_unbind(to);
  if (rc < 0) part_release(ctx, to, 0);
  return rc < 0 ? rc : 0;
}

int32_t ident_defn_kind_free(context* ctx, defn_rec* rec, int32_t keep_refs) {
  ident_defn_kind_rec* part = ident_defn_part(rec);
  if (part == nullptr) return 0;
  part_release(ctx, part, keep_refs);
  delete part;
  rec->part = nullptr;
  return 0;
}

const char* ident_defn_element_type(const defn_rec* rec) {
  const ident_defn_kind_rec* part = ident_defn_part(rec);
  if (part == nullptr) return nullptr;
  if (part->level == kIdentLevel8) return kIdentTypeV8;
  if (part->level == kIdentLevel7) return kIdentTypeV7;
  return kIdentRootType;
}

void ident_defn_invalidate(context*, defn_rec* rec, uint32_t what) {
  ident_defn_kind_rec* part = ident_defn_part(rec);
  if (part != nullptr && what != 0) ident_defn_unbind(part);
}

const defn_kind_ops kIdentDefnKindOps = [] {
  defn_kind_ops ops;
  ops.root_type = kIdentRootType;
  ops.element_type = ident_defn_element_type;
  ops.type_matches = ident_defn_type_matches;
  ops.init = ident_defn_kind_init;
  ops.read = ident_defn_kind_read;
  ops.write = ident_defn_kind_write;
  ops.copy = ident_defn_kind_copy;
  ops.free = ident_defn_kind_free;
  ops.invalidate = ident_defn_invalidate;
  return ops;
}();

// ---- Record operations ----------------------------------------------------------------------

int32_t ident_defn_value_index_by_text(const ident_defn_kind_rec* part, const char* text) {
  if (part == nullptr || text == nullptr) return -1;
  for (size_t i = 0; i < part->values.size(); ++i) {
    if (std::strcmp(part->values[i].value, text) == 0) return static_cast<int32_t>(i);
  }
  return -1;
}

const std::vector<rsrc_ref>& ident_defn_preproc_list(const defn_rec* rec, const ident_defn_kind_rec* part) {
  return part->level > kIdentLevel5 ? rec->preprocessing : rec->normalization;
}

int32_t ident_defn_value_add(ident_defn_kind_rec* part, const char* value, const char* desc, uint32_t dflt) {
  if (value == nullptr || value[0] == '\0') return TQ_ERR_ARGUMENT;
  ident_value_rec v{};
  str_copy_bounded(v.value, value, sizeof v.value);
  str_copy_bounded(v.desc, desc != nullptr ? desc : "", sizeof v.desc);
  v.dflt = static_cast<int32_t>(dflt);
  try {
    part->values.push_back(v);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  ident_defn_unbind(part);
  return 0;
}

void ident_defn_values_delete_all(ident_defn_kind_rec* part) {
  part->values.clear();
  ident_defn_unbind(part);
}

int32_t ident_defn_known_set(context* ctx, ident_defn_kind_rec* part, int32_t known, const char* scheme,
                             uint32_t options, const char* identity) {
  if (scheme == nullptr || scheme[0] == '\0' || identity == nullptr || identity[0] == '\0') {
    return TQ_ERR_ARGUMENT;
  }
  // The file holds whether the scheme is read case insensitively and
  // nothing else: other options (an edit state that no engine applies,
  // match keys) would work otherwise in memory than after a load.
  if ((options & ~kIdentCaseInsensitive) != 0) return TQ_ERR_ARGUMENT;
  if (known >= 0 && static_cast<size_t>(known) >= part->known.size()) return TQ_ERR_INDEX;
  // Everything that can refuse comes before the first change: an identity
  // that names no value, then the scheme's open.
  const int32_t value = ident_defn_value_index_by_text(part, identity);
  if (value < 0) return TQ_ERR_NAME;
  ident_known_rec* k = known >= 0 ? &part->known[static_cast<size_t>(known)] : nullptr;
  int32_t opened = 0;
  if (k == nullptr || !ref_named(ctx, k->scheme, scheme) || k->flags != options) {
    rsrc_ref fresh;
    opened = rsrc_open_checked(ctx, kRsrcScheme, scheme, options, &fresh);
    if (opened < 0) return opened;
    if (k == nullptr) {
      ident_known_rec added;
      added.scheme = std::move(fresh);
      added.flags = options;
      added.value = value;
      const int32_t grown =
          defn_list_append(part->known, std::move(added), [ctx](ident_known_rec& e) { (void)e.scheme.release(ctx); });
      if (grown < 0) return grown;
      ident_defn_unbind(part);
      return opened;
    }
    ident_defn_unbind(part);
    const int32_t released = k->scheme.release(ctx);  // the ref is empty afterwards whatever it reports
    k->scheme = std::move(fresh);
    k->flags = options;
    if (released < 0) return released;
  }
  ident_defn_unbind(part);
  k->value = value;
  return opened;
}

int32_t ident_defn_known_delete_all(context* ctx, ident_defn_kind_rec* part) {
  int32_t result = 0;
  for (ident_known_rec& k : part->known) result = rc_combine(result, k.scheme.release(ctx));
  part->known.clear();
  ident_defn_unbind(part);
  return result < 0 ? result : 0;
}

int32_t ident_defn_pattern_set(context* ctx, ident_defn_kind_rec* part, int32_t pattern, const char* grammar,
                               const char* root_cat, const char* sought_cat, uint32_t options, const char* id_val,
                               int32_t weight, uint32_t stop) {
  if (grammar == nullptr || grammar[0] == '\0' || root_cat == nullptr || sought_cat == nullptr ||
      id_val == nullptr) {
    return TQ_ERR_ARGUMENT;
  }
  const bool add = pattern < 0;
  if (!add && static_cast<size_t>(pattern) >= part->patterns.size()) return TQ_ERR_INDEX;
  // The grammar first, then the categories in it and the value: a change
  // that cannot take them all changes nothing.
  rsrc_ref fresh;
  int32_t rc = 0;
  if (add || !ref_named(ctx, part->patterns[static_cast<size_t>(pattern)].grammar, grammar)) {
    rc = grammar_ref_open(ctx, grammar, &fresh);
    if (rc < 0) return rc;
  }
  const rsrc_ref& named = fresh.held() ? fresh : part->patterns[static_cast<size_t>(pattern)].grammar;
  const int32_t root_index = category_index(ctx, named, root_cat);
  const int32_t sought_index = category_index(ctx, named, sought_cat);
  const int32_t value = ident_defn_value_index_by_text(part, id_val);
  if (root_index < 0 || sought_index < 0 || value < 0) {
    (void)fresh.release(ctx);
    return value < 0 && root_index >= 0 && sought_index >= 0 ? TQ_ERR_NAME : TQ_ERR_ARGUMENT;
  }
  if (add) {
    ident_pattern_rec added;
    pattern_init(&added, static_cast<uint32_t>(part->patterns.size()));
    const int32_t grown = defn_list_append(part->patterns, std::move(added));
    if (grown < 0) {
      (void)fresh.release(ctx);
      return grown;
    }
  }
  ident_pattern_rec& p = add ? part->patterns.back() : part->patterns[static_cast<size_t>(pattern)];
  ident_defn_unbind(part);
  if (fresh.held()) {
    // The old grammar's parser goes with it; binding makes a new one.
    if (p.parser != nullptr) (void)parser_release(ctx, p.parser);
    p.parser = nullptr;
    const int32_t released = p.grammar.release(ctx);
    p.grammar = std::move(fresh);
    rc = rc_combine(released, rc);
  }
  p.root_index = root_index;
  p.sought_index = sought_index;
  str_copy_bounded(p.root_name, root_cat, sizeof p.root_name);
  str_copy_bounded(p.sought_name, sought_cat, sizeof p.sought_name);
  p.options = options;
  p.weight = weight;
  p.stop = stop != 0 ? 1 : 0;
  p.value = value;
  return rc;
}

int32_t ident_defn_patterns_delete_all(context* ctx, ident_defn_kind_rec* part) {
  for (ident_pattern_rec& p : part->patterns) pattern_release(ctx, &p, 0);
  part->patterns.clear();
  ident_defn_unbind(part);
  return 0;
}

int32_t ident_defn_pattern_grammar_set(context* ctx, ident_defn_kind_rec* part, int32_t pattern,
                                       const char* grammar) {
  if (grammar == nullptr) return TQ_ERR_ARGUMENT;
  if (pattern < 0 || static_cast<size_t>(pattern) >= part->patterns.size()) return TQ_ERR_INDEX;
  ident_pattern_rec& p = part->patterns[static_cast<size_t>(pattern)];
  if (ref_named(ctx, p.grammar, grammar)) return 0;
  rsrc_ref fresh;
  const int32_t rc = grammar[0] == '\0' ? 0 : grammar_ref_open(ctx, grammar, &fresh);
  if (rc < 0) return rc;
  ident_defn_unbind(part);
  if (p.parser != nullptr) (void)parser_release(ctx, p.parser);
  p.parser = nullptr;
  const int32_t released = p.grammar.release(ctx);
  p.grammar = std::move(fresh);
  return rc_combine(released, rc);
}

int32_t ident_defn_cat_regexlib_append(context* ctx, ident_defn_kind_rec* part, cat_regexlib_entry* entry) {
  if (part == nullptr || entry == nullptr) return TQ_ERR_ARGUMENT;
  const int32_t rc = cat_regexlib_list_append(ctx, &part->cat_regexlibs, entry);
  if (rc == 0) ident_defn_unbind(part);
  return rc;
}

int32_t ident_defn_cat_regexlib_delete_all(context* ctx, ident_defn_kind_rec* part) {
  cat_regexlib_list_clear(ctx, &part->cat_regexlibs, 0);
  ident_defn_unbind(part);
  return 0;
}

}  // namespace tq
