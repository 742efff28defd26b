#include "guess/krgdef.h"
#include "guess/krgrefs.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "core/krerr.h"
#include "core/krstr.h"
#include "kbstore/krxml.h"
#include "kbstore/krxmltab.h"
#include "resources/krgram.h"
#include "resources/krvcld.h"

namespace tq {

namespace {

constexpr const char* kKindName = "Locale Guess";
constexpr const char* kVersion = "7.0";
constexpr const char* kPropWordAnalysis = "Enable Word Analysis";
constexpr const char* kPropForceChoice = "Force Guess Choice";
constexpr const char* kPropLangDefn = "Language Guess Definition";
constexpr const char* kPropNormRegexlib = "Normalization Regexlib";
constexpr const char* kTypeGuessVocab = "Guess Vocab";
constexpr const char* kTypeGuessRegexlib = "Guess Regexlib";
constexpr const char* kTypeKnown = "Known Pattern Regexlibs";
constexpr const char* kTypeCatList = "Categorization Regexlibs";
constexpr const char* kTypePatterns = "Guess Pattern";
constexpr const char* kIncPatterns = "Patterns";
constexpr const char* kColRegexlib = "Regexlib";
constexpr const char* kColLikelihood = "Likelihood";
constexpr const char* kColCategory = "Category";
constexpr const char* kColSought = "Sought Category";
constexpr const char* kColGrammar = "Grammar";
constexpr const char* kColMode = "Mode";
constexpr const char* kColStop = "Stop Flag";
constexpr const char* kModeNames[] = {"Element", "Phrase"};

constexpr const char* kRegexLikelihoods[kGuessRegexLikelihoodCount] = {"Very High", "High",     "Medium",
                                                                       "Low",       "Very Low", "Never"};
constexpr const char* kPatternLikelihoods[kGuessPatternLikelihoodCount] = {
    "Always", "Very High", "High", "Medium", "Low", "Very Low", "Never"};

// Definition names and the datatype each stands for, when a definition
// names none itself.
constexpr const char* kDatatypeByName[][2] = {
    {"Name", "Name"},
    {"Address", "Address"},
    {"City", "City - State/Province - Postal Code"},
    {"State/Province", "City - State/Province - Postal Code"},
    {"Postal Code", "City - State/Province - Postal Code"},
    {"City - State/Province - Postal Code", "City - State/Province - Postal Code"},
    {"Phone", "Phone"},
    {"Organization", "Organization"},
    {"Country", "Text"},
    {"Locale Code", "Text"},
    {"Text", "Text"},
    {"E-mail", "E-mail"},
};

int32_t drop(context* ctx, rsrc_ref& ref, int32_t keep_refs) {
  if (keep_refs != 0) {
    ref.forget();
    return 0;
  }
  return ref.release(ctx);
}

int32_t pattern_release(context* ctx, guess_pattern_rec& p, int32_t keep_refs) {
  int32_t first = 0;
  if (p.parser != nullptr && keep_refs == 0) first = parser_release(ctx, p.parser);
  p.parser = nullptr;
  const int32_t rc = drop(ctx, p.grammar, keep_refs);
  return first < 0 ? first : rc;
}

// Gives back (or forgets) everything the kind part holds, each entry
// emptied as it goes; the first failure.
int32_t part_release(context* ctx, guess_defn_kind_rec* part, int32_t keep_refs) {
  int32_t first = 0;
  auto keep_first = [&first](int32_t rc) {
    if (rc < 0 && first == 0) first = rc;
  };
  cat_regexlib_list_clear(ctx, &part->cat_regexlibs, keep_refs);
  for (guess_pattern_rec& p : part->patterns) keep_first(pattern_release(ctx, p, keep_refs));
  part->patterns.clear();
  part->lang_index = -1;
  for (rsrc_ref& v : part->known_vocabs) keep_first(drop(ctx, v, keep_refs));
  part->known_vocabs.clear();
  for (guess_known_regexlib& k : part->known_regexlibs) keep_first(drop(ctx, k.lib, keep_refs));
  part->known_regexlibs.clear();
  if (part->morph != nullptr) morph_options_release(ctx, part->morph.get());
  part->word_analysis = 0;
  part->force_choice = 1;
  part->prepared.store(0, std::memory_order_release);
  return first;
}

// Kept by its name when its file cannot be had now (rsrc_open_kept).
int32_t grammar_open(context* ctx, const char* name, rsrc_ref* out) {
  const int32_t rc = rsrc_open_kept(ctx, kRsrcGrammar, out,
                                    [&](int32_t* index) { return grammar_load_by_name(ctx, name, nullptr, index); });
  if (rc == TQ_ERR_FAILED) return TQ_ERR_FILE_OPEN;
  return rc < 0 ? rc : 0;
}

// ---- Reading ----------------------------------------------------------------------------------

struct read_state {
  context* ctx;
  const xmldoc* el;
  defn_rec* rec;
  guess_defn_kind_rec* part;
  int32_t last = 0;
  int32_t step(int32_t rc) { return defn_rec_load_result(ctx, rec, rc, &last); }
  int32_t not_allowed(const char* what, const char* value) {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1351, what, kKindName, rec->name, value);
    return TQ_ERR_INVALID_CONTENT;
  }
  int32_t missing(const char* what, const char* table) {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 200, what, table, kKindName, rec->name);
    return TQ_ERR_INVALID_CONTENT;
  }
};

// The level comes from the element's type, never from the include name,
// which is "Guessorithm" for both forms.
int32_t read_level(read_state& s) {
  const char* type = s.el->type;
  if (std::strcmp(type, kGuessRootType) == 0) {
    s.part->level = kGuessLevelOld;
    return 0;
  }
  if (std::strcmp(type, kGuessRootTypeV8) == 0 || std::strcmp(type, "Guessorithm -- Vertical") == 0 ||
      std::strcmp(type, "Guessorithm V8 -- Vertical") == 0) {
    s.part->level = kGuessLevelV8;
    return 0;
  }
  TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 1466, kKindName, s.rec->name);
  return TQ_ERR_INVALID_CONTENT;
}

int32_t read_flag(read_state& s, const char* name, uint32_t* out) {
  int32_t flag = 1;
  if (xmldoc_prop_get_yes_no(s.ctx, s.el, name, 1, &flag, nullptr) < 0 || flag < 0) {
    return s.missing(name, s.el->type);
  }
  *out = flag != 0 ? 1u : 0u;
  return 0;
}

// Language definitions are read before locale guess definitions, so the
// name resolves among those of the definition's own locale.
int32_t read_lang(read_state& s) {
  s.part->lang_index = -1;
  const char* value = xmldoc_prop_get(s.ctx, s.el, kPropLangDefn);
  if (value[0] == '\0') return 0;
  // Without language definitions loaded, that is the one thing to say.
  if (defn_rec_unloaded_report(s.ctx, s.rec, kDefnLangGuess, value, TQ_ERR_NAME)) return TQ_ERR_NAME;
  int32_t index = -1;
  const int32_t rc = defn_index_get_by_name_in_locale(s.ctx, kDefnLangGuess, value, s.rec->locale, kDefnAnySurface,
                                                      &index);
  if (rc < 0) {
    TQ_REPORT(s.ctx, rc, 1390, kPropLangDefn, kKindName, s.rec->name, value);
    return rc;
  }
  s.part->lang_index = index;
  return 0;
}

int32_t read_norm_regexlib(read_state& s) {
  if (!s.rec->normalization.empty()) return 0;
  const char* value = xmldoc_prop_get(s.ctx, s.el, kPropNormRegexlib);
  if (value[0] == '\0') return 0;
  try {
    s.rec->normalization.reserve(1);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  rsrc_ref ref;
  const int32_t rc = rsrc_open(s.ctx, kRsrcRegex, value, 0, &ref);
  if (rc < 0) TQ_REPORT(s.ctx, rc, 108, value, s.rec->name);
  // Kept by its name alone too: the file names it (rsrc_open_kept).
  if (ref.held()) s.rec->normalization.push_back(std::move(ref));  // reserved: cannot throw
  return rc < 0 ? rc : 0;
}

int32_t read_known_vocabs(read_state& s) {
  const xmldoc* table = guess_include_find(s.el, kTypeGuessVocab);
  if (table == nullptr || table->record_count < 1) return 0;
  try {
    s.part->known_vocabs.reserve(static_cast<size_t>(table->record_count));
  } catch (const std::bad_alloc&) {
    defn_memory_report(s.ctx, "Allocating memory for known vocabs of guess defn %s.", s.rec->name);
    return TQ_ERR_NO_MEMORY;
  }
  for (int32_t r = 0; r < table->record_count; ++r) {
    const xmldoc_record& row = table->records[r];
    if (row.key == nullptr) continue;
    const char* name = row.value != nullptr ? row.value : "";
    // A vocabulary that cannot be opened keeps its place, by its name when
    // the registry kept that (rsrc_open_kept), else empty.
    rsrc_ref& slot = s.part->known_vocabs.emplace_back();  // reserved
    int32_t rc = rsrc_open_kept(s.ctx, kRsrcVocab, &slot, [&](int32_t* index) {
      return vocab_load_by_name(s.ctx, name, nullptr, kVocabFormCompiled, index);
    });
    if (rc == TQ_ERR_FAILED) rc = TQ_ERR_FILE_OPEN;
    if (rc < 0) {
      TQ_REPORT(s.ctx, rc, 106, name, s.rec->name);
      if (int32_t critical = s.step(rc); critical != 0) return critical;
    }
  }
  return 0;
}

int32_t known_regexlib_open(read_state& s, const char* name, uint32_t likelihood) {
  guess_known_regexlib& k = s.part->known_regexlibs.emplace_back();  // reserved by the caller
  k.likelihood = likelihood;
  const int32_t rc = rsrc_open(s.ctx, kRsrcRegex, name, 0, &k.lib);
  if (rc < 0) TQ_REPORT(s.ctx, rc, 108, name, s.rec->name);
  return s.step(rc < 0 ? rc : 0);
}

int32_t read_known_regexlibs(read_state& s) {
  const bool v8 = s.part->level == kGuessLevelV8;
  const xmldoc* table = guess_include_find(s.el, v8 ? kTypeKnown : kTypeGuessRegexlib);
  if (table == nullptr || table->record_count < 1) return 0;
  int32_t col_lib = -1;
  int32_t col_like = -1;
  if (v8) {
    if (int32_t rc = xmldoc_column_find(s.ctx, table, kColRegexlib, &col_lib); rc < 0 || col_lib < 0) {
      return rc < 0 ? rc : s.missing(kColRegexlib, table->type);
    }
    if (int32_t rc = xmldoc_column_find(s.ctx, table, kColLikelihood, &col_like); rc < 0 || col_like < 0) {
      return rc < 0 ? rc : s.missing(kColLikelihood, table->type);
    }
  }
  try {
    s.part->known_regexlibs.reserve(static_cast<size_t>(table->record_count));
  } catch (const std::bad_alloc&) {
    defn_memory_report(s.ctx, "Allocating memory for known regexlibs of guess defn %s.", s.rec->name);
    return TQ_ERR_NO_MEMORY;
  }
  for (int32_t r = 0; r < table->record_count; ++r) {
    const xmldoc_record& row = table->records[r];
    if (row.key == nullptr) continue;
    if (!v8) {
      if (int32_t critical = known_regexlib_open(s, row.value != nullptr ? row.value : "",
                                                 kGuessRegexLikelihoodMedium);
          critical != 0) {
        return critical;
      }
      continue;
    }
    const char* like = xmldoc_record_text(row, col_like);
    const int32_t likelihood = guess_regex_likelihood_from_name(like);
    if (likelihood < 0) {
      if (int32_t critical = s.step(s.not_allowed(kColLikelihood, like)); critical != 0) return critical;
      continue;
    }
    if (int32_t critical = known_regexlib_open(s, xmldoc_record_text(row, col_lib), static_cast<uint32_t>(likelihood));
        critical != 0) {
      return critical;
    }
  }
  return 0;
}

int32_t read_cat_regexlibs(read_state& s) {
  const xmldoc* table = guess_include_find(s.el, kTypeCatList);
  if (table == nullptr || table->record_count < 1) return 0;
  auto row = [](void* state, int32_t rc) { return static_cast<read_state*>(state)->step(rc); };
  return cat_regexlib_list_read(s.ctx, table, &s.part->cat_regexlibs, s.rec->name,
                                "Allocating memory for cat regexlibs of guess defn %s.",
                                "Alloc'ing memory for cat regexlib of guess defn %s.", row, &s);
}

int32_t read_pattern_row(read_state& s, const xmldoc* table, const int32_t* col, int32_t r) {
  const xmldoc_record& row = table->records[r];
  guess_pattern_rec& p = s.part->patterns.emplace_back();  // reserved by the caller
  optp_block_init(&p.opt);
  const char* grammar = xmldoc_record_text(row, col[2]);
  if (grammar[0] != '\0') {
    // Always through a load, so that every pattern holds its own reference.
    const int32_t rc = grammar_open(s.ctx, grammar, &p.grammar);
    if (rc < 0) {
      TQ_REPORT(s.ctx, rc, 190, grammar, kKindName, s.rec->name);
      if (int32_t critical = s.step(rc); critical != 0) return critical;
    }
  }
  if (int32_t rc = category_name_upper(s.ctx, xmldoc_record_text(row, col[0]), p.category); rc < 0) return rc;
  if (int32_t rc = category_name_upper(s.ctx, xmldoc_record_text(row, col[1]), p.sought); rc < 0) return rc;
  const char* mode = xmldoc_record_text(row, col[3]);
  const int32_t m = guess_name_index(kModeNames, 2, mode);
  if (m < 0) {
    if (int32_t critical = s.step(s.not_allowed(kColMode, mode)); critical != 0) return critical;
  } else {
    p.mode = static_cast<uint32_t>(m);
  }
  const char* like = xmldoc_record_text(row, col[4]);
  const int32_t likelihood = guess_pattern_likelihood_from_name(like);
  if (likelihood < 0) {
    if (int32_t critical = s.step(s.not_allowed(kColLikelihood, like)); critical != 0) return critical;
  } else {
    p.likelihood = static_cast<uint32_t>(likelihood);
  }
  const char* stop = xmldoc_record_text(row, col[5]);
  if (std::strcmp(stop, "Yes") == 0 || std::strcmp(stop, "No") == 0) {
    p.stop = stop[0] == 'Y' ? 1u : 0u;
  } else {
    if (int32_t critical = s.step(s.not_allowed(kColStop, stop)); critical != 0) return critical;
  }
  // A table without the parse option columns (older files) keeps the defaults.
  int32_t opt_col = -1;
  if (xmldoc_column_find(s.ctx, table, "Opt Param Override", &opt_col) != 0 || opt_col < 0) return 0;
  return s.step(optp_xml_row_read(s.ctx, table, r, &p.opt));
}

int32_t read_patterns(read_state& s) {
  const xmldoc* table = guess_include_find(s.el, kIncPatterns);
  if (table == nullptr) table = guess_include_find(s.el, kTypePatterns);
  if (table == nullptr || table->record_count < 1) return 0;
  static constexpr const char* kCols[] = {kColCategory, kColSought, kColGrammar, kColMode, kColLikelihood, kColStop};
  int32_t col[6];
  for (int i = 0; i < 6; ++i) {
    if (xmldoc_column_find(s.ctx, table, kCols[i], &col[i]) != 0 || col[i] < 0) {
      return s.missing(kCols[i], table->type);
    }
  }
  try {
    s.part->patterns.reserve(static_cast<size_t>(table->record_count));
  } catch (const std::bad_alloc&) {
    defn_memory_report(s.ctx, "Allocating memory for patterns of guess defn %s.", s.rec->name);
    return TQ_ERR_NO_MEMORY;
  }
  for (int32_t r = 0; r < table->record_count; ++r) {
    if (table->records[r].key == nullptr) continue;
    if (int32_t critical = read_pattern_row(s, table, col, r); critical != 0) return critical;
  }
  return 0;
}

// The older form becomes the newer one: its known-word vocabularies join
// the definition's vocabularies and one pattern without a grammar counts
// every analysed word that has a category.
int32_t convert_old_form(read_state& s) {
  for (const rsrc_ref& v : s.part->known_vocabs) {
    if (!v.held()) continue;
    bool present = false;
    for (const defn_vocab& d : s.rec->vocabularies) present = present || d.vocab.index() == v.index();
    if (present) continue;
    defn_vocab d;
    if (int32_t rc = v.share(s.ctx, &d.vocab); rc < 0) return rc;
    try {
      s.rec->vocabularies.push_back(std::move(d));
    } catch (const std::bad_alloc&) {
      (void)d.vocab.release(s.ctx);
      return TQ_ERR_NO_MEMORY;
    }
  }
  try {
    guess_pattern_rec& p = s.part->patterns.emplace_back();
    optp_block_init(&p.opt);
  } catch (const std::bad_alloc&) {
    defn_memory_report(s.ctx, "Allocating memory for patterns of guess defn %s.", s.rec->name);
    return TQ_ERR_NO_MEMORY;
  }
  s.part->word_analysis = 1;
  s.part->force_choice = 1;
  return 0;
}

// ---- Writing ----------------------------------------------------------------------------------

// A table of one value per record: each held resource's name.
template <typename List, typename Ref>
int32_t write_name_list(context* ctx, xmldoc* el, const char* type, uint32_t kind, const List& list, Ref ref) {
  return rsrc_name_table_write(ctx, el, type, type, kVersion, kind, {}, list, ref,
                               [&](xmldoc* doc, const auto&, const char* name) {
                                 return xmldoc_record_add(ctx, doc, "", name, nullptr);
                               });
}

int32_t write_patterns(context* ctx, xmldoc* el, const guess_defn_kind_rec* part) {
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, kTypePatterns, kVersion, &doc);
  if (rc != 0) return rc;
  constexpr int32_t kFields = 6 + kOptpColumns;
  xmldoc_field f[kFields]{};
  static constexpr const char* kCols[] = {kColCategory, kColSought, kColGrammar, kColMode, kColLikelihood, kColStop};
  for (int i = 0; i < 6 && rc >= 0; ++i) {
    rc = xmldoc_column_add(ctx, doc, kCols[i], kXmlColString);
    f[i].type = kXmlColString;
  }
  int32_t added = 0;
  if (rc >= 0) rc = optp_xml_elements_add(ctx, doc, 6, f, kFields, &added);
  for (const guess_pattern_rec& p : part->patterns) {
    if (rc < 0) break;
    char grammar[kRsrcNameSize] = "";
    if (p.grammar.held()) rc = rsrc_name_get(ctx, kRsrcGrammar, p.grammar.index(), grammar, sizeof grammar);
    if (rc < 0) break;
    f[0].text = const_cast<char*>(p.category);
    f[1].text = const_cast<char*>(p.sought);
    f[2].text = grammar;
    f[3].text = const_cast<char*>(kModeNames[p.mode == kGuessElement ? 0 : 1]);
    f[4].text = const_cast<char*>(guess_pattern_likelihood_name(p.likelihood));
    f[5].text = const_cast<char*>(p.stop != 0 ? "Yes" : "No");
    optp_xml_row_fill(&p.opt, f, 6);
    rc = xmldoc_record_add(ctx, doc, "", nullptr, f);
  }
  return xmldoc_include_or_free(ctx, el, kIncPatterns, doc, rc);
}

// ---- Preparation ------------------------------------------------------------------------------

int32_t prepare_locked(context* ctx, defn_rec* rec, guess_defn_kind_rec* part) {
  part->prepared.store(0, std::memory_order_release);
  for (cat_regexlib_entry* e : part->cat_regexlibs) {
    if (e == nullptr) continue;
    if (int32_t rc = cat_regexlib_entry_bind_grammar(ctx, e, -1); rc < 0) return rc;
  }
  // The numeric check is on for the newer form only: the older form never
  // gave numbers a category of their own.
  int32_t rc = morph_options_set(ctx, part->morph.get(), static_cast<int32_t>(rec->normalization.size()),
                                 rec->normalization.data(), part->cat_regexlibs.data(),
                                 static_cast<int32_t>(part->cat_regexlibs.size()), &rec->default_categories,
                                 part->level == kGuessLevelV8 ? 1u : 0u, rec->automatic_uppercasing != 0 ? 1u : 0u,
                                 rec->chopper.index(), static_cast<int32_t>(rec->vocabularies.size()),
                                 rec->vocabularies.data());
  if (rc < 0) return rc;
  for (guess_pattern_rec& p : part->patterns) {
    if (!p.grammar.held()) {
      // A pattern whose grammar was taken away keeps no parser.
      if (p.parser != nullptr) {
        rc = parser_release(ctx, p.parser);
        p.parser = nullptr;
        if (rc < 0) return rc;
      }
      p.category_index = -1;
      p.sought_index = -1;
      continue;
    }
    grammar_rec* g = nullptr;
    rc = grammar_get(ctx, p.grammar.index(), &g);
    if (rc < 0) return rc;
    p.category_index = grammar_category_index_by_name(ctx, g, p.category);
    p.sought_index = grammar_category_index_by_name(ctx, g, p.sought);
    const char* lacking = p.category_index < 0 ? p.category : p.sought_index < 0 ? p.sought : nullptr;
    if (lacking != nullptr) {
      TQ_REPORT(ctx, TQ_ERR_RESOURCE_LACKS, 1474, kKindName, rec->name, lacking);
      return TQ_ERR_RESOURCE_LACKS;
    }
    parse_opt_params eff;
    optp_effective_get(ctx, &p.opt, &eff);
    eff.override_flag = 1;
    // The new object is got before the old one is let go: should the get
    // throw, the pattern still holds the old one and no reference is lost.
    parser_rec* got = nullptr;
    rc = parse_defn_parser_get(ctx, p.grammar.index(), p.category_index, &eff, &got);
    parser_rec* old = std::exchange(p.parser, got);
    const int32_t released = old != nullptr ? parser_release(ctx, old) : 0;
    if (rc < 0) return rc;
    if (released < 0) return released;
  }
  part->prepared.store(1, std::memory_order_release);
  return 0;
}

}  // namespace

int32_t guess_regex_likelihood_from_name(const char* name) {
  return guess_name_index(kRegexLikelihoods, kGuessRegexLikelihoodCount, name);
}
int32_t guess_pattern_likelihood_from_name(const char* name) {
  return guess_name_index(kPatternLikelihoods, kGuessPatternLikelihoodCount, name);
}
const char* guess_regex_likelihood_name(uint32_t likelihood) {
  return kRegexLikelihoods[likelihood < kGuessRegexLikelihoodCount ? likelihood : kGuessRegexLikelihoodMedium];
}
const char* guess_pattern_likelihood_name(uint32_t likelihood) {
  return kPatternLikelihoods[likelihood < kGuessPatternLikelihoodCount ? likelihood
                                                                       : kGuessPatternLikelihoodMedium];
}

// ---- Hooks ------------------------------------------------------------------------------------

int32_t guess_defn_type_matches(context*, const char* include_name) {
  return include_name != nullptr && std::strncmp(include_name, kGuessRootType, 11) == 0 ? 1 : 0;
}

int32_t guess_defn_kind_init(context* ctx, defn_rec* rec) {
  auto* part = defn_part_with_morph_new<guess_defn_kind_rec>(ctx);
  if (part == nullptr) return TQ_ERR_NO_MEMORY;
  rec->part = part;
  return 0;
}

int32_t guess_defn_kind_read(context* ctx, const xmldoc* element, defn_rec* rec) {
  guess_defn_kind_rec* part = guess_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  (void)part_release(ctx, part, 0);
  read_state s{ctx, element, rec, part};
  int32_t rc = s.step(read_level(s));
  if (rc == 0) rc = s.step(read_flag(s, kPropWordAnalysis, &part->word_analysis));
  if (rc == 0) rc = s.step(read_flag(s, kPropForceChoice, &part->force_choice));
  if (rc == 0) rc = s.step(read_lang(s));
  if (rc == 0 && part->level == kGuessLevelOld) rc = s.step(read_norm_regexlib(s));
  if (rc == 0) rc = s.step(read_known_vocabs(s));
  if (rc == 0) rc = s.step(read_known_regexlibs(s));
  if (rc == 0 && part->level == kGuessLevelV8) rc = s.step(read_cat_regexlibs(s));
  if (rc == 0 && part->level == kGuessLevelV8) rc = s.step(read_patterns(s));
  if (rc == 0 && part->level == kGuessLevelOld) rc = s.step(convert_old_form(s));
  if (rc == 0 && (ctx->options & kOptPrepareOnRead) != 0) {
    // The loader holds the write hold.
    rc = s.step(prepare_locked(ctx, rec, part));
  }
  if (rc != 0) return rc;
  return s.last != 0 ? TQ_WARN_READ_PROBLEMS : 0;
}

int32_t guess_defn_kind_write(context* ctx, xmldoc* element, const defn_rec* rec) {
  const guess_defn_kind_rec* part = guess_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  int32_t rc = xmldoc_prop_add_yes_no(ctx, element, kPropWordAnalysis, part->word_analysis != 0, 0);
  if (rc >= 0) rc = xmldoc_prop_add_yes_no(ctx, element, kPropForceChoice, part->force_choice != 0, 0);
  // An index that names nothing any more is written as none (krdefn.h).
  const defn_rec* lang = defn_held_get(ctx, kDefnLangGuess, rec->locale, part->lang_index);
  if (rc >= 0 && lang != nullptr) rc = xmldoc_prop_add(ctx, element, kPropLangDefn, lang->name);
  if (rc >= 0 && part->level < kGuessLevelV8) {
    char name[kRsrcNameSize];
    for (const rsrc_ref& n : rec->normalization) {
      if (!n.held()) continue;
      rc = rsrc_name_get(ctx, kRsrcRegex, n.index(), name, sizeof name);
      if (rc >= 0) rc = xmldoc_prop_add(ctx, element, kPropNormRegexlib, name);
      break;
    }
    if (rc >= 0) {
      rc = write_name_list(ctx, element, kTypeGuessVocab, kRsrcVocab, part->known_vocabs,
                           [](const rsrc_ref& r) -> const rsrc_ref& { return r; });
    }
    if (rc >= 0) {
      rc = write_name_list(ctx, element, kTypeGuessRegexlib, kRsrcRegex, part->known_regexlibs,
                           [](const guess_known_regexlib& k) -> const rsrc_ref& { return k.lib; });
    }
  }
  // The newer form keeps its known-word vocabularies in the same "Guess
  // Vocab" table the reader takes at every level; without it a list edited
  // at level 8 would be written nowhere and lost on the next load.
  if (rc >= 0 && part->level >= kGuessLevelV8 && !part->known_vocabs.empty()) {
    rc = write_name_list(ctx, element, kTypeGuessVocab, kRsrcVocab, part->known_vocabs,
                         [](const rsrc_ref& r) -> const rsrc_ref& { return r; });
  }
  if (rc >= 0 && part->level >= kGuessLevelV8) rc = guess_known_list_write(ctx, element, part->known_regexlibs, guess_regex_likelihood_name);
  if (rc >= 0) rc = cat_regexlib_list_write(ctx, element, part->cat_regexlibs, kTypeCatList, kTypeCatList, kVersion);
  if (rc >= 0) rc = write_patterns(ctx, element, part);
  return rc < 0 ? rc : 0;
}

int32_t guess_defn_kind_copy(context* ctx, const defn_rec* src, defn_rec* dst) {
  const guess_defn_kind_rec* from = guess_defn_part(src);
  guess_defn_kind_rec* to = guess_defn_part(dst);
  if (from == nullptr || to == nullptr) return TQ_ERR_ARGUMENT;
  int32_t rc = 0;
  try {
    to->known_vocabs.reserve(from->known_vocabs.size());
    to->known_regexlibs.reserve(from->known_regexlibs.size());
    to->patterns.reserve(from->patterns.size());
    rc = guess_ref_list_copy(ctx, from->known_vocabs, &to->known_vocabs);
    if (rc >= 0) rc = guess_known_list_copy(ctx, from->known_regexlibs, &to->known_regexlibs);
    for (const guess_pattern_rec& p : from->patterns) {
      if (rc < 0) break;
      guess_pattern_rec& q = to->patterns.emplace_back();
      std::memcpy(q.category, p.category, sizeof q.category);
      std::memcpy(q.sought, p.sought, sizeof q.sought);
      q.category_index = p.category_index;
      q.sought_index = p.sought_index;
      q.mode = p.mode;
      q.likelihood = p.likelihood;
      q.stop = p.stop;
      optp_block_copy(&p.opt, &q.opt);
      rc = p.grammar.share(ctx, &q.grammar);
    }
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  if (rc >= 0) rc = cat_regexlib_list_copy(ctx, from->cat_regexlibs, &to->cat_regexlibs);
  if (rc < 0) {
    (void)part_release(ctx, to, 0);
    return rc;
  }
  to->level = from->level;
  to->word_analysis = from->word_analysis;
  to->force_choice = from->force_choice;
  to->lang_index = from->lang_index;
  to->prepared.store(0, std::memory_order_release);
  return 0;
}

int32_t guess_defn_kind_free(context* ctx, defn_rec* rec, int32_t keep_refs) {
  guess_defn_kind_rec* part = guess_defn_part(rec);
  if (part == nullptr) return 0;
  const int32_t rc = part_release(ctx, part, keep_refs);
  delete part;
  rec->part = nullptr;
  return rc;
}

void guess_defn_held_indices(defn_rec* rec, defn_held_visit visit, void* arg) {
  guess_defn_kind_rec* part = guess_defn_part(rec);
  if (part != nullptr) visit(arg, kDefnLangGuess, &part->lang_index);
}

int32_t guess_defn_datatype_from_name(context*, const char* defn_name, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return TQ_ERR_ARGUMENT;
  out[0] = '\0';
  if (defn_name == nullptr) return 0;
  for (const auto& row : kDatatypeByName) {
    if (std::strcmp(row[0], defn_name) == 0) {
      str_copy_bounded(out, row[1], size);
      break;
    }
  }
  return 0;
}

void guess_defn_invalidate(context*, defn_rec* rec, uint32_t what) {
  guess_defn_kind_rec* part = guess_defn_part(rec);
  if (part != nullptr && what != 0) part->prepared.store(0, std::memory_order_release);
}

namespace {
const char* element_type(const defn_rec* rec) {
  const guess_defn_kind_rec* part = guess_defn_part(rec);
  return part != nullptr && part->level >= kGuessLevelV8 ? kGuessRootTypeV8 : kGuessRootType;
}
}  // namespace

const defn_kind_ops kGuessDefnKindOps = [] {
  defn_kind_ops ops;
  ops.root_type = kGuessRootType;
  ops.element_type = element_type;
  ops.type_matches = guess_defn_type_matches;
  ops.init = guess_defn_kind_init;
  ops.read = guess_defn_kind_read;
  ops.write = guess_defn_kind_write;
  ops.copy = guess_defn_kind_copy;
  ops.free = guess_defn_kind_free;
  ops.held_indices = guess_defn_held_indices;
  ops.datatype_from_name = guess_defn_datatype_from_name;
  ops.invalidate = guess_defn_invalidate;
  return ops;
}();

// ---- Preparation ------------------------------------------------------------------------------

int32_t guess_defn_prepare_held(context* ctx, defn_rec* rec) {
  guess_defn_kind_rec* part = guess_defn_part(rec);
  if (part == nullptr) return TQ_ERR_DEFN_INVALID;
  if (part->prepared.load(std::memory_order_acquire) != 0) return 0;
  return prepare_locked(ctx, rec, part);
}

int32_t guess_defn_prepare(context* ctx, defn_rec* rec) {
  const guess_defn_kind_rec* part = guess_defn_part(rec);
  if (part != nullptr && part->prepared.load(std::memory_order_acquire) != 0) return 0;
  return defn_run_under_write_hold(ctx, rec, kDefnLocaleGuess, guess_defn_prepare_held);
}

// ---- Writing ----------------------------------------------------------------------------------

int32_t tqx_guess_defn_write(context* ctx, xmldoc* xml, int32_t index) {
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, kDefnLocaleGuess, index, &rec);
  if (rc < 0) return rc;
  if (rec->kind == 0) return TQ_ERR_INDEX;  // an unloaded slot
  rc = defn_element_write(ctx, xml, rec);
  return rc < 0 ? rc : 0;
}

}  // namespace tq
