#include "fields/krxdef.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "core/krerr.h"
#include "core/krstr.h"
#include "core/krzel.h"
#include "kbstore/krdefnlist.h"
#include "kbstore/krshared.h"
#include "kbstore/krxml.h"
#include "kbstore/krxmltab.h"
#include "resources/krgram.h"
#include "resources/krsch.h"

namespace tq {

namespace {

constexpr const char* kKindName = "Extraction";
constexpr const char* kVersion = "7.0";
constexpr const char* kGroup9 = "9.0";
constexpr const char* kPropUseParser = "Use Parser";
constexpr const char* kPropSeparator = "Separator";
constexpr const char* kPropDefaultToken = "Default Token";
constexpr const char* kTypeCatList = "Categorization Regexlibs";
constexpr const char* kTypeSchemes = "Known Word Scheme";
constexpr const char* kIncSchemes = "Known Word Schemes";
constexpr const char* kTypePatterns = "Extraction Pattern";
constexpr const char* kIncPatterns = "Patterns";
constexpr const char* kTypeSought = "Extraction Pattern Sought Cats";
constexpr const char* kIncSought = "Pattern Sought Categories";
constexpr const char* kColCategory = "Category";
constexpr const char* kColGrammar = "Grammar";
constexpr const char* kColMode = "Mode";
constexpr const char* kColWeight = "Weight";
constexpr const char* kColMaxMatches = "Maximum Matches";
constexpr const char* kColPatternIndex = "Pattern Index";
constexpr const char* kColName = "Name";
constexpr const char* kColToken = "Token";
constexpr const char* kColScheme = "Scheme";
constexpr const char* kColCaseInsensitive = "Case Insensitive";
constexpr const char* kColTokenName = "Token Name";
constexpr const char* kModeNames[] = {"Element", "Phrase"};

const xmldoc* include_of_type(const xmldoc* el, const char* type) {
  for (int32_t i = 0; i < el->include_count; ++i) {
    const xmldoc* doc = el->includes[i].doc;
    if (doc != nullptr && std::strcmp(doc->type, type) == 0) return doc;
  }
  return nullptr;
}

void pattern_release(context* ctx, extract_pattern_rec& p, int32_t keep_refs) {
  if (p.parser != nullptr && keep_refs == 0) (void)parser_release(ctx, p.parser);
  p.parser = nullptr;
  p.sought.clear();
  if (keep_refs != 0) {
    p.grammar.forget();
  } else {
    (void)p.grammar.release(ctx);
  }
}

void part_release(context* ctx, extract_defn_kind_rec* part, int32_t keep_refs) {
  cat_regexlib_list_clear(ctx, &part->cat_regexlibs, keep_refs);
  for (extract_pattern_rec& p : part->patterns) pattern_release(ctx, p, keep_refs);
  part->patterns.clear();
  for (extract_known_word_scheme& s : part->schemes) {
    if (keep_refs != 0) {
      s.scheme.forget();
    } else {
      (void)s.scheme.release(ctx);
    }
  }
  part->schemes.clear();
  if (part->morph != nullptr) morph_options_release(ctx, part->morph.get());
  str_copy_bounded(part->separator, " ", sizeof part->separator);
  part->default_token = -1;
  part->parser_enabled = 0;
  part->prepared.store(0, std::memory_order_release);
}

// Position of a datatype token of exactly that name, or -1.
int32_t datatype_position(const defn_token_owner& owner, const char* name) {
  for (uint32_t p = 0; p < owner.owner.datatype_token_count; ++p) {
    if (std::strcmp(owner.datatype_tokens[p], name) == 0) return static_cast<int32_t>(p);
  }
  return -1;
}

// checked: a caller's edit, which reads the grammar at once, so another
// kind's file of that name is refused; a definition read from its file
// leaves the read to the first use.
int32_t grammar_open(context* ctx, const char* name, rsrc_ref* out, bool checked) {
  if (checked) {
    const int32_t rc = rsrc_open_checked_by(ctx, kRsrcGrammar, grammar_register, name, out);
    return rc < 0 ? rc : 0;
  }
  // Kept by its name when its file cannot be had now (rsrc_open_kept).
  const int32_t rc = rsrc_open_kept(ctx, kRsrcGrammar, out,
                                    [&](int32_t* index) { return grammar_load_by_name(ctx, name, nullptr, index); });
  if (rc == TQ_ERR_FAILED) return TQ_ERR_FILE_OPEN;
  return rc < 0 ? rc : 0;
}

// ---- Reading ------------------------------------------------------------------------

struct read_state {
  context* ctx;
  defn_rec* rec;
  extract_defn_kind_rec* part;
  defn_token_owner owner{};
  int32_t last = 0;
  int32_t step(int32_t rc) { return defn_rec_load_result(ctx, rec, rc, &last); }
  // A token by name: -300 with message 1472 (absent) or 87 (unknown).
  int32_t token(const char* name, int32_t* out) {
    *out = -1;
    if (name == nullptr || name[0] == '\0') {
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1472, kKindName, rec->name);
      return TQ_ERR_INVALID_CONTENT;
    }
    *out = datatype_position(owner, name);
    if (*out < 0) {
      // Without its datatype (whose own message says why) no token is known.
      const char* dtype = owner.owner.datatype_name != nullptr ? owner.owner.datatype_name : "";
      if (dtype[0] != '\0') TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 87, name, dtype, kKindName);
      return TQ_ERR_INVALID_CONTENT;
    }
    return 0;
  }
};

int32_t read_header(read_state& s, const xmldoc* el) {
  s.part->parser_enabled = std::strcmp(xmldoc_prop_get(s.ctx, el, kPropUseParser), "Yes") == 0 ? 1 : 0;
  str_copy_bounded(s.part->separator, xmldoc_prop_get(s.ctx, el, kPropSeparator), sizeof s.part->separator);
  s.part->default_token = -1;
  const char* name = xmldoc_prop_get(s.ctx, el, kPropDefaultToken);
  if (name[0] == '\0') return 0;
  int32_t t = -1;
  int32_t rc = s.token(name, &t);
  s.part->default_token = t;
  return rc;
}

int32_t read_cat_regexlibs(read_state& s, const xmldoc* el) {
  const xmldoc* table = include_of_type(el, kTypeCatList);
  if (table == nullptr || table->record_count < 1) return 0;
  auto row = [](void* state, int32_t rc) { return static_cast<read_state*>(state)->step(rc); };
  return cat_regexlib_list_read(s.ctx, table, &s.part->cat_regexlibs, s.rec->name,
                                "Allocating memory for cat regexlibs of xtrac defn %s.",
                                "Alloc'ing memory for cat regexlib of xtrac defn %s.", row, &s);
}

// Each named column, in order; -300 (message 200) for the first missing.
int32_t columns_find(read_state& s, const xmldoc* table, const char* const* names, int32_t* cols, int n) {
  for (int i = 0; i < n; ++i) {
    if (xmldoc_column_find(s.ctx, table, names[i], &cols[i]) != 0 || cols[i] < 0) {
      TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 200, names[i], table->type, kKindName, s.rec->name);
      return TQ_ERR_INVALID_CONTENT;
    }
  }
  return 0;
}

int32_t read_pattern_row(read_state& s, const xmldoc* table, const xmldoc* sought, const int32_t* col,
                         int32_t r, uint32_t position) {
  const xmldoc_record& row = table->records[r];
  extract_pattern_rec& p = s.part->patterns.emplace_back();
  optp_block_init(&p.opt);
  p.pattern_index = position;
  const char* grammar = xmldoc_record_text(row, col[1]);
  if (grammar[0] != '\0') {
    // Always through a load, so that the pattern holds its own reference.
    int32_t rc = grammar_open(s.ctx, grammar, &p.grammar, false);
    if (rc < 0) {
      TQ_REPORT(s.ctx, rc, 190, grammar, kKindName, s.rec->name);
      if (int32_t critical = s.step(rc); critical != 0) return critical;
    }
  }
  extract_name_take(p.root_name, xmldoc_record_text(row, col[0]));
  const char* mode = xmldoc_record_text(row, col[2]);
  if (std::strcmp(mode, kModeNames[1]) == 0) {
    p.mode = kExtractPhrase;
  } else if (std::strcmp(mode, kModeNames[0]) == 0) {
    p.mode = kExtractElement;
  } else {
    TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 1351, kColMode, kKindName, s.rec->name, mode);
    if (int32_t critical = s.step(TQ_ERR_INVALID_CONTENT); critical != 0) return critical;
  }
  p.weight = xmldoc_record_number(row, col[3], 0);
  p.max_matches = xmldoc_record_number(row, col[4], 1);
  if (p.max_matches < 1) p.max_matches = 1;
  // A table without the optimization columns (older files) keeps the defaults.
  int32_t opt_col = -1;
  if (xmldoc_column_find(s.ctx, table, "Opt Param Override", &opt_col) == 0 && opt_col >= 0) {
    if (int32_t critical = s.step(optp_xml_row_read(s.ctx, table, r, &p.opt)); critical != 0) return critical;
  }
  for (int32_t k = 0; k < sought->record_count; ++k) {
    const xmldoc_record& srow = sought->records[k];
    if (srow.key == nullptr || xmldoc_record_number(srow, col[5], -1) != static_cast<int32_t>(position)) continue;
    if (p.sought.size() >= kExtractSoughtMax) continue;
    extract_sought_cat c{};
    extract_name_take(c.name, xmldoc_record_text(srow, col[6]));
    int32_t rc = s.token(col[7] >= 0 ? xmldoc_record_text(srow, col[7]) : "", &c.token);
    if (rc < 0) {
      if (int32_t critical = s.step(rc); critical != 0) return critical;
      continue;
    }
    p.sought.push_back(c);
  }
  return 0;
}

int32_t read_patterns(read_state& s, const xmldoc* el) {
  const xmldoc* table = include_of_type(el, kTypePatterns);
  const xmldoc* sought = include_of_type(el, kTypeSought);
  if (table == nullptr || sought == nullptr || table->record_count < 1) return 0;
  try {
    s.part->patterns.reserve(kExtractPatternsMax);
  } catch (const std::bad_alloc&) {
    defn_memory_report(s.ctx, "Allocating memory for patterns of extraction defn %s.", s.rec->name);
    return TQ_ERR_NO_MEMORY;
  }
  static constexpr const char* kCols[] = {kColCategory, kColGrammar,      kColMode, kColWeight,
                                          kColMaxMatches, kColPatternIndex, kColName, kColToken};
  int32_t col[8];
  for (int i = 0; i < 5; ++i) {
    if (int32_t rc = columns_find(s, table, kCols + i, col + i, 1); rc < 0) return rc;
  }
  for (int i = 5; i < 8; ++i) {
    if (int32_t rc = columns_find(s, sought, kCols + i, col + i, 1); rc < 0) return rc;
  }
  uint32_t position = 0;
  for (int32_t r = 0; r < table->record_count && position < kExtractPatternsMax; ++r) {
    if (table->records[r].key == nullptr) continue;
    if (int32_t critical = read_pattern_row(s, table, sought, col, r, position); critical != 0) return critical;
    ++position;
  }
  return 0;
}

int32_t read_schemes(read_state& s, const xmldoc* el) {
  const xmldoc* table = include_of_type(el, kTypeSchemes);
  if (table == nullptr || table->record_count < 1) return 0;
  try {
    s.part->schemes.reserve(static_cast<size_t>(table->record_count));
  } catch (const std::bad_alloc&) {
    defn_memory_report(s.ctx, "Allocating memory for schemes of extraction defn %s.", s.rec->name);
    return TQ_ERR_NO_MEMORY;
  }
  static constexpr const char* kCols[] = {kColScheme, kColCaseInsensitive, kColTokenName};
  int32_t col[3];
  if (int32_t rc = columns_find(s, table, kCols, col, 3); rc < 0) return rc;
  for (int32_t r = 0; r < table->record_count; ++r) {
    const xmldoc_record& row = table->records[r];
    if (row.key == nullptr) continue;
    extract_known_word_scheme& e = s.part->schemes.emplace_back();
    const char* name = xmldoc_record_text(row, col[0]);
    const char* ci = xmldoc_record_text(row, col[1]);
    int32_t rc = 0;
    int32_t flags = 1;
    if (name[0] == '\0') {
      rc = TQ_ERR_INVALID_CONTENT;
    } else if (std::strcmp(ci, "Yes") == 0 || std::strcmp(ci, "No") == 0) {
      flags = ci[0] == 'Y' ? 3 : 1;
    } else {
      TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 1351, kColCaseInsensitive, kKindName, s.rec->name, ci);
      rc = TQ_ERR_INVALID_CONTENT;
    }
    if (rc == 0) {
      // Kept by its name when its file cannot be had now, and the row's
      // token with it (rsrc_open_kept).
      rc = rsrc_open_kept(s.ctx, kRsrcScheme, &e.scheme, [&](int32_t* index) {
        return scheme_load_by_name(s.ctx, name, flags, -1, 0, nullptr, 0, index);
      });
      if (rc < 0) {
        if (rc == TQ_ERR_FAILED) rc = TQ_ERR_FILE_OPEN;
        TQ_REPORT(s.ctx, rc, 148, name, kKindName, s.rec->name);
      }
      if (e.scheme.held()) {
        const int32_t token = s.token(xmldoc_record_text(row, col[2]), &e.token);
        if (rc >= 0) rc = token;
      }
    }
    if (int32_t critical = s.step(rc < 0 ? rc : 0); critical != 0) return critical;
  }
  return 0;
}

// ---- Writing ------------------------------------------------------------------------

const char* token_name(const defn_token_owner& owner, int32_t t) {
  return t >= 0 && static_cast<uint32_t>(t) < owner.owner.datatype_token_count ? owner.datatype_tokens[t] : "";
}

int32_t write_schemes(context* ctx, xmldoc* el, const extract_defn_kind_rec* part, const defn_token_owner& owner) {
  return rsrc_name_table_write(
      ctx, el, kTypeSchemes, kIncSchemes, kVersion, kRsrcScheme,
      {{kColScheme, kXmlColString}, {kColCaseInsensitive, kXmlColString}, {kColTokenName, kXmlColString}},
      part->schemes, [](const extract_known_word_scheme& s) -> const rsrc_ref& { return s.scheme; },
      [&](xmldoc* doc, const extract_known_word_scheme& s, char* name) {
        // As the scheme was opened, loaded or not (scheme_flags_get).
        uint32_t flags = 0;
        const int32_t rc = scheme_flags_get(ctx, s.scheme.index(), &flags);
        if (rc < 0) return rc;
        xmldoc_field f[3]{};
        for (xmldoc_field& x : f) x.type = kXmlColString;
        f[0].text = name;
        f[1].text = const_cast<char*>((flags & kSchemeCaseInsensitive) != 0 ? "Yes" : "No");
        f[2].text = const_cast<char*>(token_name(owner, s.token));
        return xmldoc_record_add(ctx, doc, "", nullptr, f);
      });
}

int32_t write_patterns(context* ctx, xmldoc* el, const extract_defn_kind_rec* part, const defn_token_owner& owner) {
  xmldoc* pats = nullptr;
  xmldoc* sought = nullptr;
  int32_t rc = xmldoc_create(ctx, kTypePatterns, kVersion, &pats);
  if (rc != 0) return rc;
  rc = xmldoc_create(ctx, kTypeSought, kVersion, &sought);
  if (rc != 0) {
    xml_free(ctx, pats);
    return rc;
  }
  constexpr int32_t kFields = 5 + kOptpColumns;
  xmldoc_field f[kFields]{};
  const uint32_t types[5] = {kXmlColString, kXmlColString, kXmlColString, kXmlColInt, kXmlColInt};
  const char* names[5] = {kColCategory, kColGrammar, kColMode, kColWeight, kColMaxMatches};
  for (int i = 0; i < 5 && rc >= 0; ++i) {
    rc = xmldoc_column_add(ctx, pats, names[i], types[i]);
    f[i].type = types[i];
  }
  int32_t added = 0;
  if (rc >= 0) rc = optp_xml_elements_add(ctx, pats, 5, f, kFields, &added);
  if (rc >= 0) rc = xmldoc_column_add(ctx, sought, kColPatternIndex, kXmlColInt);
  if (rc >= 0) rc = xmldoc_column_add(ctx, sought, kColName, kXmlColString);
  if (rc >= 0) rc = xmldoc_column_add(ctx, sought, kColToken, kXmlColString);
  for (size_t i = 0; rc >= 0 && i < part->patterns.size(); ++i) {
    const extract_pattern_rec& p = part->patterns[i];
    char grammar[kRsrcNameSize] = "";
    if (p.grammar.held()) rc = rsrc_name_get(ctx, kRsrcGrammar, p.grammar.index(), grammar, sizeof grammar);
    if (rc < 0) break;
    f[0].text = const_cast<char*>(p.root_name);
    f[1].text = grammar;
    f[2].text = const_cast<char*>(kModeNames[p.mode == kExtractPhrase ? 1 : 0]);
    f[3].number = p.weight;
    f[4].number = p.max_matches;
    optp_xml_row_fill(&p.opt, f, 5);
    rc = xmldoc_record_add(ctx, pats, "", nullptr, f);
    for (const extract_sought_cat& c : p.sought) {
      if (rc < 0) break;
      xmldoc_field g[3]{};
      g[0].type = kXmlColInt;
      g[0].number = static_cast<int32_t>(i);
      g[1].type = kXmlColString;
      g[1].text = const_cast<char*>(c.name);
      g[2].type = kXmlColString;
      g[2].text = const_cast<char*>(token_name(owner, c.token));
      rc = xmldoc_record_add(ctx, sought, "", nullptr, g);
    }
  }
  if (rc < 0) {
    xml_free(ctx, pats);
    xml_free(ctx, sought);
    return rc;
  }
  rc = xmldoc_include_or_free(ctx, el, kIncPatterns, pats, 0);
  if (rc < 0) {
    xml_free(ctx, sought);
    return rc;
  }
  return xmldoc_include_or_free(ctx, el, kIncSought, sought, 0);
}

// ---- Preparation ----------------------------------------------------------------------

int32_t prepare_locked(context* ctx, defn_rec* rec, extract_defn_kind_rec* part) {
  part->prepared.store(0, std::memory_order_release);
  for (cat_regexlib_entry* e : part->cat_regexlibs) {
    if (e == nullptr) continue;
    if (int32_t rc = cat_regexlib_entry_bind_grammar(ctx, e, -1); rc < 0) return rc;
  }
  int32_t rc = morph_options_set(ctx, part->morph.get(), static_cast<int32_t>(rec->normalization.size()),
                                 rec->normalization.data(), part->cat_regexlibs.data(),
                                 static_cast<int32_t>(part->cat_regexlibs.size()), &rec->default_categories, 1,
                                 rec->automatic_uppercasing != 0 ? 1u : 0u, rec->chopper.index(),
                                 static_cast<int32_t>(rec->vocabularies.size()), rec->vocabularies.data());
  if (rc < 0) return rc;
  for (extract_pattern_rec& p : part->patterns) {
    grammar_rec* g = nullptr;
    if (!p.grammar.held()) {
      // Nothing could match without one: refused here, by name, rather
      // than failing every window later.
      TQ_REPORT(ctx, TQ_ERR_RESOURCE_LACKS, 1489, p.root_name, kKindName, rec->name);
      return TQ_ERR_RESOURCE_LACKS;
    }
    rc = grammar_get(ctx, p.grammar.index(), &g);
    if (rc < 0) return rc;
    p.root_index = grammar_category_index_by_name(ctx, g, p.root_name);
    if (p.root_index < 0) {
      TQ_REPORT(ctx, TQ_ERR_RESOURCE_LACKS, 1474, kKindName, rec->name, p.root_name);
      return TQ_ERR_RESOURCE_LACKS;
    }
    for (extract_sought_cat& c : p.sought) {
      c.index = grammar_category_index_by_name(ctx, g, c.name);
      if (c.index < 0) {
        TQ_REPORT(ctx, TQ_ERR_RESOURCE_LACKS, 1474, kKindName, rec->name, c.name);
        return TQ_ERR_RESOURCE_LACKS;
      }
    }
  }
  for (extract_pattern_rec& p : part->patterns) {
    parse_opt_params eff;
    optp_effective_get(ctx, &p.opt, &eff);
    eff.override_flag = 1;
    // The new object is got before the old one is let go: should the get
    // throw, the pattern still holds the old one and no reference is lost.
    parser_rec* got = nullptr;
    rc = parse_defn_parser_get(ctx, p.grammar.index(), p.root_index, &eff, &got);
    const int32_t released = parser_release(ctx, std::exchange(p.parser, got));
    if (rc < 0) return rc;
    if (released < 0) return released;
  }
  part->prepared.store(1, std::memory_order_release);
  return 0;
}

void changed(extract_defn_kind_rec* part) { part->prepared.store(0, std::memory_order_release); }

}  // namespace

// ---- Hooks -----------------------------------------------------------------------------

int32_t extract_defn_type_matches(context*, const char* include_name) {
  return defn_root_type_matches(include_name, kExtractRootType, kExtractRootTypeVertical);
}

int32_t extract_defn_kind_init(context* ctx, defn_rec* rec) {
  auto* part = defn_part_with_morph_new<extract_defn_kind_rec>(ctx);
  if (part == nullptr) return TQ_ERR_NO_MEMORY;
  rec->part = part;
  return 0;
}

int32_t extract_defn_kind_read(context* ctx, const xmldoc* element, defn_rec* rec) {
  extract_defn_kind_rec* part = extract_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  part_release(ctx, part, 0);
  read_state s{ctx, rec, part};
  if (!rec->chopper.held()) {
    TQ_REPORT(ctx, TQ_ERR_INDEX, 1555, kKindName, rec->name, "Chopper");
    if (int32_t critical = s.step(TQ_ERR_INDEX); critical != 0) return critical;
  }
  if (rec->datatype >= 0) {
    if (int32_t rc = defn_token_owner_get(ctx, rec, &s.owner); rc < 0) s.owner = defn_token_owner{};
  }
  int32_t rc = s.step(read_header(s, element));
  if (rc == 0) rc = s.step(read_cat_regexlibs(s, element));
  if (rc == 0) rc = s.step(read_patterns(s, element));
  if (rc == 0) rc = s.step(read_schemes(s, element));
  // Preparing on reading (option bit 22) waits for the validate hook, after
  // the tokens.
  if (rc != 0) return rc;
  return s.last != 0 ? TQ_WARN_READ_PROBLEMS : 0;
}

int32_t extract_defn_kind_write(context* ctx, xmldoc* element, const defn_rec* rec) {
  const extract_defn_kind_rec* part = extract_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  defn_token_owner owner{};
  defn_token_owner_held(ctx, rec, &owner);
  int32_t rc = cat_regexlib_list_write(ctx, element, part->cat_regexlibs, kTypeCatList, kTypeCatList, kVersion);
  if (rc >= 0) rc = write_schemes(ctx, element, part, owner);
  if (rc >= 0) rc = write_patterns(ctx, element, part, owner);
  if (rc >= 0) rc = xmldoc_prop_add_yes_no(ctx, element, kPropUseParser, part->parser_enabled != 0, 0);
  if (rc >= 0) rc = xmldoc_prop_add(ctx, element, kPropSeparator, part->separator);
  if (rc >= 0 && part->default_token >= 0) {
    rc = xmldoc_prop_add_grouped(ctx, element, kGroup9, kPropDefaultToken, token_name(owner, part->default_token));
  }
  return rc < 0 ? rc : 0;
}

int32_t extract_defn_kind_copy(context* ctx, const defn_rec* src, defn_rec* dst) {
  const extract_defn_kind_rec* from = extract_defn_part(src);
  extract_defn_kind_rec* to = extract_defn_part(dst);
  if (from == nullptr || to == nullptr) return TQ_ERR_ARGUMENT;
  // The records are at hand: no lookup of the source by name (which would
  // refuse hidden definitions that a copy may take).
  int32_t rc = 0;
  try {
    to->patterns.reserve(from->patterns.size());
    to->schemes.reserve(from->schemes.size());
    to->cat_regexlibs.reserve(from->cat_regexlibs.size());
    for (const extract_pattern_rec& p : from->patterns) {
      extract_pattern_rec& q = to->patterns.emplace_back();
      std::memcpy(q.root_name, p.root_name, sizeof q.root_name);
      q.root_index = p.root_index;
      q.sought = p.sought;
      q.mode = p.mode;
      q.weight = p.weight;
      q.pattern_index = p.pattern_index;
      q.max_matches = p.max_matches;
      optp_block_copy(&p.opt, &q.opt);
      rc = p.grammar.share(ctx, &q.grammar);
      if (rc < 0) break;
    }
    for (const extract_known_word_scheme& s : from->schemes) {
      if (rc < 0) break;
      extract_known_word_scheme& t = to->schemes.emplace_back();
      t.token = s.token;
      rc = s.scheme.share(ctx, &t.scheme);
    }
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  if (rc >= 0) rc = cat_regexlib_list_copy(ctx, from->cat_regexlibs, &to->cat_regexlibs);
  if (rc < 0) {
    part_release(ctx, to, 0);
    return rc;
  }
  to->parser_enabled = from->parser_enabled;
  std::memcpy(to->separator, from->separator, sizeof to->separator);
  to->default_token = from->default_token;
  changed(to);
  return 0;
}

int32_t extract_defn_kind_free(context* ctx, defn_rec* rec, int32_t keep_refs) {
  extract_defn_kind_rec* part = extract_defn_part(rec);
  if (part == nullptr) return 0;
  part_release(ctx, part, keep_refs);
  delete part;
  rec->part = nullptr;
  return 0;
}

int32_t extract_defn_kind_validate(context* ctx, defn_rec* rec) {
  extract_defn_kind_rec* part = extract_defn_part(rec);
  if (part == nullptr) return TQ_ERR_ARGUMENT;
  if (rec->datatype < 0) return 0;
  defn_token_owner owner{};
  int32_t rc = defn_token_owner_get(ctx, rec, &owner);
  if (rc < 0) return rc;
  if (rec->tokens.count() != owner.owner.datatype_token_count || rec->tokens.count() > kExtractTokensMax) {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1403, kKindName, rec->name, owner.owner.datatype_name);
    return TQ_ERR_INVALID_CONTENT;
  }
  if (rec->valid != 0 && (ctx->options & kOptPrepareOnRead) != 0) return prepare_locked(ctx, rec, part);
  return 0;
}

void extract_defn_invalidate(context*, defn_rec* rec, uint32_t what) {
  extract_defn_kind_rec* part = extract_defn_part(rec);
  if (part != nullptr && what != 0) changed(part);
}

int32_t extract_defn_needs_vocabulary(const defn_rec* rec) {
  const extract_defn_kind_rec* part = extract_defn_part(rec);
  return part != nullptr && part->parser_enabled != 0 ? 1 : 0;
}

const defn_kind_ops kExtractDefnKindOps = [] {
  defn_kind_ops ops;
  ops.root_type = kExtractRootType;
  ops.type_matches = extract_defn_type_matches;
  ops.init = extract_defn_kind_init;
  ops.read = extract_defn_kind_read;
  ops.write = extract_defn_kind_write;
  ops.copy = extract_defn_kind_copy;
  ops.free = extract_defn_kind_free;
  ops.validate = extract_defn_kind_validate;
  ops.invalidate = extract_defn_invalidate;
  ops.needs_vocabulary = extract_defn_needs_vocabulary;
  return ops;
}();

// ---- Preparation ----------------------------------------------------------------------------

int32_t extract_defn_prepare_held(context* ctx, defn_rec* rec) {
  extract_defn_kind_rec* part = extract_defn_part(rec);
  if (part == nullptr) return TQ_ERR_DEFN_INVALID;
  if (part->prepared.load(std::memory_order_acquire) != 0) return 0;
  return prepare_locked(ctx, rec, part);
}

int32_t extract_defn_prepare(context* ctx, defn_rec* rec) {
  return defn_run_under_write_hold(ctx, rec, kDefnExtract, extract_defn_prepare_held);
}

// ---- Changes --------------------------------------------------------------------------------

void extract_name_take(char* out, const char* name) { str_copy_bounded(out, name, kExtractNameMax + 1); }

int32_t extract_grammar_category(context* ctx, const rsrc_ref& grammar, const char* name) {
  grammar_rec* g = nullptr;
  if (name == nullptr || !grammar.held() || grammar_get(ctx, grammar.index(), &g) < 0) return -1;
  return grammar_category_index_by_name(ctx, g, name);
}

int32_t extract_pattern_add(context* ctx, defn_rec* rec, const char* grammar, const char* root, uint32_t mode,
                            int32_t weight, int32_t max_matches, int32_t* at) {
  extract_defn_kind_rec* part = extract_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  if (part->patterns.size() >= kExtractPatternsMax) {
    TQ_REPORT(ctx, TQ_ERR_CALL_STACK_FULL, 1908, kKindName, rec->name, kExtractPatternsMax);
    return TQ_ERR_CALL_STACK_FULL;
  }
  extract_pattern_rec p;
  optp_block_init(&p.opt);
  int32_t rc = 0;
  if (grammar != nullptr && grammar[0] != '\0') {
    rc = grammar_open(ctx, grammar, &p.grammar, true);
    if (rc < 0) return rc;
  }
  // A root category the grammar lacks is refused before the list grows.
  p.root_index = extract_grammar_category(ctx, p.grammar, root);
  if (p.root_index < 0) {
    (void)p.grammar.release(ctx);
    return TQ_ERR_ARGUMENT;
  }
  extract_name_take(p.root_name, root);
  p.mode = mode == kExtractPhrase ? kExtractPhrase : kExtractElement;
  p.weight = weight;
  p.max_matches = max_matches == 0 ? INT32_MAX : max_matches;
  p.pattern_index = static_cast<uint32_t>(part->patterns.size());
  rc = defn_list_append(part->patterns, std::move(p), [ctx](extract_pattern_rec& x) { (void)x.grammar.release(ctx); });
  if (rc < 0) return rc;
  if (at != nullptr) *at = static_cast<int32_t>(part->patterns.size() - 1);
  changed(part);
  return 0;
}

int32_t extract_pattern_delete(context* ctx, defn_rec* rec, int32_t j) {
  extract_defn_kind_rec* part = extract_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  if (j < 0 || static_cast<size_t>(j) >= part->patterns.size()) return TQ_ERR_INDEX;
  pattern_release(ctx, part->patterns[static_cast<size_t>(j)], 0);
  part->patterns.erase(part->patterns.begin() + j);
  for (size_t i = 0; i < part->patterns.size(); ++i) part->patterns[i].pattern_index = static_cast<uint32_t>(i);
  changed(part);
  return 0;
}

int32_t extract_pattern_grammar_set(context* ctx, defn_rec* rec, int32_t j, const char* grammar, const char* root) {
  extract_defn_kind_rec* part = extract_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  if (j < 0 || static_cast<size_t>(j) >= part->patterns.size()) return TQ_ERR_INDEX;
  extract_pattern_rec& p = part->patterns[static_cast<size_t>(j)];
  // The new grammar first, and the root in it: a grammar that cannot be
  // loaded, or lacks the root, leaves the pattern as it was.
  rsrc_ref fresh;
  int32_t rc = 0;
  if (grammar != nullptr && grammar[0] != '\0') {
    rc = grammar_open(ctx, grammar, &fresh, true);
    if (rc < 0) return rc;
  }
  const int32_t root_index = root != nullptr ? extract_grammar_category(ctx, fresh, root) : -1;
  if (root != nullptr && root_index < 0) {
    (void)fresh.release(ctx);
    return TQ_ERR_ARGUMENT;
  }
  changed(part);
  (void)p.grammar.release(ctx);  // empty afterwards whatever it reports
  p.grammar = std::move(fresh);
  p.root_index = root_index;
  return rc;
}

int32_t extract_sought_cat_add(context* ctx, defn_rec* rec, int32_t j, const char* name, int32_t token) {
  extract_defn_kind_rec* part = extract_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  if (j < 0 || static_cast<size_t>(j) >= part->patterns.size()) return TQ_ERR_INDEX;
  extract_pattern_rec& p = part->patterns[static_cast<size_t>(j)];
  if (p.sought.size() >= kExtractSoughtMax) {
    TQ_REPORT(ctx, TQ_ERR_CALL_STACK_FULL, 1909, j, kKindName, rec->name, kExtractSoughtMax);
    return TQ_ERR_CALL_STACK_FULL;
  }
  if (token < 0 || static_cast<uint32_t>(token) >= rec->tokens.count()) return TQ_ERR_INDEX;
  extract_sought_cat c{};
  extract_name_take(c.name, name);
  c.token = token;
  // A category the pattern's grammar lacks is refused now rather than met
  // at the first extraction.
  c.index = extract_grammar_category(ctx, p.grammar, c.name);
  if (c.index < 0) return TQ_ERR_ARGUMENT;
  const int32_t rc = defn_list_append(p.sought, std::move(c));
  if (rc < 0) return rc;
  changed(part);
  return 0;
}

int32_t extract_sought_cat_delete(context*, defn_rec* rec, int32_t j, int32_t k) {
  extract_defn_kind_rec* part = extract_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  if (j < 0 || static_cast<size_t>(j) >= part->patterns.size()) return TQ_ERR_INDEX;
  extract_pattern_rec& p = part->patterns[static_cast<size_t>(j)];
  if (k < 0 || static_cast<size_t>(k) >= p.sought.size()) return TQ_ERR_INDEX;
  p.sought.erase(p.sought.begin() + k);
  changed(part);
  return 0;
}

int32_t extract_scheme_add(context* ctx, defn_rec* rec, const char* name, int32_t case_insensitive,
                           int32_t token) {
  extract_defn_kind_rec* part = extract_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  if (token < 0 || static_cast<uint32_t>(token) >= rec->tokens.count()) return TQ_ERR_INDEX;
  extract_known_word_scheme e;
  int32_t rc = rsrc_open_checked(ctx, kRsrcScheme, name, case_insensitive != 0 ? 3 : 1, &e.scheme);
  if (rc < 0) return rc;
  e.token = token;
  rc = defn_list_append(part->schemes, std::move(e),
                        [ctx](extract_known_word_scheme& x) { (void)x.scheme.release(ctx); });
  if (rc < 0) return rc;
  changed(part);
  return 0;
}

int32_t extract_scheme_delete(context* ctx, defn_rec* rec, int32_t j) {
  extract_defn_kind_rec* part = extract_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  if (j < 0 || static_cast<size_t>(j) >= part->schemes.size()) return TQ_ERR_INDEX;
  (void)part->schemes[static_cast<size_t>(j)].scheme.release(ctx);
  part->schemes.erase(part->schemes.begin() + j);
  changed(part);
  return 0;
}

int32_t extract_cat_regexlib_append(context* ctx, defn_rec* rec, cat_regexlib_entry* entry) {
  extract_defn_kind_rec* part = extract_defn_part(rec);
  if (part == nullptr || entry == nullptr) return TQ_ERR_ARGUMENT;
  const int32_t rc = cat_regexlib_list_append(ctx, &part->cat_regexlibs, entry);
  if (rc == 0) changed(part);
  return rc;
}

int32_t extract_cat_regexlib_delete(context* ctx, defn_rec* rec, int32_t j) {
  extract_defn_kind_rec* part = extract_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  const int32_t rc = cat_regexlib_list_delete(ctx, &part->cat_regexlibs, j);
  if (rc == 0) changed(part);
  return rc;
}

int32_t extract_defn_token_deleted(context* ctx, defn_rec* rec, int32_t token) {
  extract_defn_kind_rec* part = extract_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  auto moved = [token](int32_t t) { return t > token ? t - 1 : t; };
  for (extract_pattern_rec& p : part->patterns) {
    std::erase_if(p.sought, [token](const extract_sought_cat& c) { return c.token == token; });
    for (extract_sought_cat& c : p.sought) c.token = moved(c.token);
  }
  for (size_t i = part->schemes.size(); i-- > 0;) {
    extract_known_word_scheme& s = part->schemes[i];
    if (s.token == token) {
      (void)s.scheme.release(ctx);
      part->schemes.erase(part->schemes.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      s.token = moved(s.token);
    }
  }
  part->default_token = part->default_token == token ? -1 : moved(part->default_token);
  changed(part);
  return 0;
}

int32_t extract_defn_tokens_cleared(context* ctx, defn_rec* rec) {
  extract_defn_kind_rec* part = extract_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  for (extract_pattern_rec& p : part->patterns) p.sought.clear();
  for (extract_known_word_scheme& s : part->schemes) (void)s.scheme.release(ctx);
  part->schemes.clear();
  part->default_token = -1;
  changed(part);
  return 0;
}

}  // namespace tq
