// The definition element of a locale document: reading every definition of
// a kind into a loaded locale, and writing one definition back.
//
// Reading never gives up on a definition for one bad property: each step's
// result goes through defn_rec_load_result, which marks the definition not
// valid and lets the next step run, so a definition with a missing library
// still loads (not valid) and the locale's other definitions are unaffected.
// Only the critical codes stop the load. Writing mirrors reading step for
// step, so that what was read is written back unchanged.
#include <cstring>
#include <new>
#include <vector>

#include "core/krerr.h"
#include "core/krstr.h"
#include "core/krzel.h"
#include "kbstore/krdefn.h"
#include "kbstore/krfield.h"
#include "kbstore/krlocload.h"
#include "kbstore/krxml.h"
#include "platform/nputf8.h"

namespace tq {

namespace {

constexpr const char* kElementVersion = "7.0";
constexpr const char* kTableVersion = "7.0";
// The properties a definition gained with engine version 9.0 live in a
// property group of that version, where older readers do not look.
constexpr const char* kGroup9 = "9.0";

constexpr const char* kPropName = "Name";
constexpr const char* kPropVersion = "Version";
constexpr const char* kPropOwner = "Owner";
constexpr const char* kPropIncomplete = "Incomplete";
constexpr const char* kPropDeprecated = "Deprecated";
constexpr const char* kPropReplacement = "Deprecated Replacement";
constexpr const char* kPropEditable = "Editable";
constexpr const char* kPropSurface = "Surface";
constexpr const char* kPropDatatype = "Datatype";
constexpr const char* kPropDatatype1 = "Datatype1";
constexpr const char* kPropUppercasing = "Automatic Uppercasing";
constexpr const char* kPropPreprocessing = "Preprocessing Regexlib";
constexpr const char* kIncPreprocessing = "Preprocessing Regexlibs";
constexpr const char* kPropParsorithm = "Parsorithm";
constexpr const char* kPropParsedInput = "Allow Parsed Input";
constexpr const char* kPropChopper = "Chop Table";
constexpr const char* kPropNormalization = "Normalization Regexlib";
constexpr const char* kIncNormalization = "Normalization Regexlibs";
constexpr const char* kPropVocabulary = "Vocabulary";
constexpr const char* kIncVocabularies = "Vocabularies";
constexpr const char* kColName = "Name";
constexpr const char* kColStop = "Stop Flag";
constexpr const char* kPropPostprocessing = "Postprocessing Regexlib";
constexpr const char* kIncToken = "Token";
constexpr const char* kIncSubstring = "Parse Substring";
constexpr const char* kIncComments = "Comments";
constexpr const char* kIncLayouts = "Layouts";
// An identification-analysis definition naming no datatype analyses names.
constexpr const char* kIdentDefaultDatatype = "Name";

constexpr uint32_t kChopperNameMax = 4096;

const char* kind_name(const defn_rec* rec) { return defn_kind_name(rec->kind); }

// The document of the first include of that name, inline or a file read
// with the document; NULL when none.
const xmldoc* include_find(const xmldoc* doc, const char* name) {
  for (int32_t i = 0; i < doc->include_count; ++i) {
    const xmldoc_include& inc = doc->includes[i];
    if (inc.doc != nullptr && std::strcmp(inc.name, name) == 0) return inc.doc;
  }
  return nullptr;
}

// Room for one more entry before a reference is taken, so that an append
// can never fail while a reference is in flight.
template <typename T>
int32_t reserve_one(std::vector<T>& v) {
  try {
    v.reserve(v.size() + 1);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

// A yes/no property into *field; a text other than yes or no leaves the
// default and fails the step.
int32_t yes_no_read(context* ctx, const xmldoc* el, const char* name, int32_t dflt, int32_t* field) {
  int32_t flag = dflt;
  if (xmldoc_prop_get_yes_no(ctx, el, name, dflt, &flag, nullptr) != 0) {
    *field = dflt;
    return TQ_ERR_INVALID_CONTENT;
  }
  *field = flag;
  return 0;
}

// ---- Reading the common part: one function per step, in the file's order --------------

int32_t read_version(context* ctx, const xmldoc* el, defn_rec* rec) {
  const char* text = xmldoc_prop_get(ctx, el, kPropVersion);
  if (text[0] == '\0') return 0;
  str_copy_bounded(rec->version, text, sizeof rec->version);
  uint32_t not_newer = 1;
  kbstore_version_check_engine(ctx, rec->version, &not_newer);
  rec->version_supported = not_newer != 0 ? 1 : 0;
  if (not_newer != 0) return 0;
  TQ_REPORT(ctx, TQ_WARN_NEWER_VERSION, 1538, kind_name(rec), rec->name, rec->version);
  return TQ_WARN_NEWER_VERSION;
}

int32_t read_incomplete(context* ctx, const xmldoc* el, defn_rec* rec) {
  return yes_no_read(ctx, el, kPropIncomplete, 0, &rec->incomplete);
}

int32_t read_deprecated(context* ctx, const xmldoc* el, defn_rec* rec) {
  int32_t rc = yes_no_read(ctx, el, kPropDeprecated, 0, &rec->deprecated);
  str_copy_bounded(rec->replacement, xmldoc_prop_get(ctx, el, kPropReplacement), sizeof rec->replacement);
  return rc;
}

int32_t read_owner(context* ctx, const xmldoc* el, defn_rec* rec) {
  const char* text = xmldoc_prop_get(ctx, el, kPropOwner);
  if (text[0] == '\0') return 0;
  str_copy_bounded(rec->owner, text, sizeof rec->owner);
  str_trim(rec->owner);
  return 0;
}

int32_t read_editable(context* ctx, const xmldoc* el, defn_rec* rec) {
  // Only the short form the engine writes counts.
  rec->editable = std::strcmp(xmldoc_prop_get(ctx, el, kPropEditable), "Y") == 0 ? 1 : 0;
  return 0;
}

int32_t read_surface(context* ctx, const xmldoc* el, defn_rec* rec) {
  return yes_no_read(ctx, el, kPropSurface, 1, &rec->surface);
}

// The datatype is looked up in the current locale: the locale loader makes
// the locale being read current while it reads its definitions.
int32_t read_datatype(context* ctx, const xmldoc* el, defn_rec* rec) {
  rec->datatype = -1;
  char name[kDtypeNameMax + 1];
  str_copy_bounded(name, xmldoc_prop_get(ctx, el, kPropDatatype), sizeof name);
  if (name[0] == '\0' && rec->kind == kDefnIdent) {
    str_copy_bounded(name, xmldoc_prop_get(ctx, el, kPropDatatype1), sizeof name);
  }
  if (name[0] == '\0') {
    int32_t rc = defn_datatype_fallback_name(ctx, rec, name, sizeof name);
    if (err_is_critical(rc)) return rc;
  }
  if (name[0] == '\0') {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 183, kind_name(rec), rec->name);
    return TQ_ERR_INVALID_CONTENT;
  }
  dtype_chain chain;
  int32_t index = -1;
  int32_t rc = dtype_current_chain(ctx, &chain);
  if (rc == 0) rc = dtype_index_get_by_name(ctx, chain, name, &index);
  if (rc != 0 || index < 0) {
    if (!defn_rec_unloaded_report(ctx, rec, 0, name, TQ_ERR_INVALID_CONTENT)) {
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 152, static_cast<const char*>(name), kind_name(rec), rec->name);
    }
    return TQ_ERR_INVALID_CONTENT;
  }
  rec->datatype = index;
  return 0;
}

int32_t read_uppercasing(context* ctx, const xmldoc* el, defn_rec* rec) {
  rec->automatic_uppercasing = std::strcmp(xmldoc_prop_get(ctx, el, kPropUppercasing), "No") == 0 ? 0 : 1;
  return 0;
}

// One regex library by name onto a list; a failure is recorded with
// message Msg, and the list takes the name all the same when the registry
// kept it (rsrc_open_kept).
template <int32_t Msg>
int32_t regexlib_append(context* ctx, const char* name, defn_rec* rec, std::vector<rsrc_ref>* list) {
  if (reserve_one(*list) != 0) return TQ_ERR_NO_MEMORY;
  rsrc_ref ref;
  int32_t rc = rsrc_open(ctx, kRsrcRegex, name, 0, &ref);
  if (rc < 0) TQ_REPORT(ctx, rc, Msg, name, kind_name(rec), rec->name);
  // A library kept by its name alone stays on the list: the file names it.
  if (ref.held()) list->push_back(std::move(ref));
  return rc < 0 ? rc : 0;
}

// The table's libraries in order, else the single property's. Reading goes
// on past a library that cannot be opened, and keeps its name when the
// registry did (only one that could not be registered at all is left
// out): stopping, or dropping it, would have the next write erase names
// from the file. The first failure is the step's result.
template <int32_t Msg>
int32_t regexlib_list_read(context* ctx, const xmldoc* el, const char* include, const char* property,
                           defn_rec* rec, std::vector<rsrc_ref>* list) {
  int32_t result = 0;
  if (const xmldoc* table = include_find(el, include); table != nullptr) {
    for (int32_t r = 0; r < table->record_count; ++r) {
      const char* key = table->records[r].key;
      if (key == nullptr) continue;  // an emptied record names nothing
      int32_t rc = regexlib_append<Msg>(ctx, key, rec, list);
      if (err_is_critical(rc)) return rc;
      result = rc_combine(result, rc);
    }
  }
  if (list->empty()) {
    const char* name = xmldoc_prop_get(ctx, el, property);
    if (name[0] != '\0') result = rc_combine(result, regexlib_append<Msg>(ctx, name, rec, list));
  }
  return result;
}

int32_t read_preprocessing(context* ctx, const xmldoc* el, defn_rec* rec) {
  return regexlib_list_read<187>(ctx, el, kIncPreprocessing, kPropPreprocessing, rec, &rec->preprocessing);
}

// The name is UTF-8 from the file and is not converted; definitions that
// are not surfaced may be built on too.
int32_t read_parse_defn(context* ctx, const xmldoc* el, defn_rec* rec) {
  rec->parse_defn = -1;
  const char* name = xmldoc_prop_get(ctx, el, kPropParsorithm);
  if (name[0] == '\0') return 0;
  // Without parse definitions loaded, that is the one thing to say.
  if (defn_rec_unloaded_report(ctx, rec, kDefnParse, name, TQ_ERR_NAME)) return TQ_ERR_NAME;
  loaded_locale_rec* current = nullptr;
  int32_t index = -1;
  int32_t rc = locale_current_rec_get(ctx, &current);
  if (rc == 0) rc = defn_index_get_by_name_in_locale(ctx, kDefnParse, name, current->code, kDefnAnySurface, &index);
  if (rc < 0) {
    TQ_REPORT(ctx, rc, 193, name, kind_name(rec), rec->name);
    return rc;
  }
  rec->parse_defn = index;
  return 0;
}

int32_t read_parsed_input(context* ctx, const xmldoc* el, defn_rec* rec) {
  rec->allow_parsed_input =
      rec->parse_defn >= 0 && std::strcmp(xmldoc_prop_get(ctx, el, kPropParsedInput), "No") != 0 ? 1 : 0;
  return 0;
}

int32_t read_chopper(context* ctx, const xmldoc* el, defn_rec* rec) {
  char name[kChopperNameMax + 1];
  str_copy_bounded(name, xmldoc_prop_get(ctx, el, kPropChopper), sizeof name);
  if (name[0] == '\0') return 0;
  int32_t rc = rsrc_open(ctx, kRsrcChopper, name, 0, &rec->chopper);
  if (rc < 0) TQ_REPORT(ctx, rc, 188, static_cast<const char*>(name), kind_name(rec), rec->name);
  return rc < 0 ? rc : 0;
}

int32_t read_normalization(context* ctx, const xmldoc* el, defn_rec* rec) {
  return regexlib_list_read<189>(ctx, el, kIncNormalization, kPropNormalization, rec, &rec->normalization);
}

int32_t vocab_append(context* ctx, const char* name, int32_t stop, defn_rec* rec, defn_vocab** out) {
  *out = nullptr;
  if (name[0] == '\0') {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1469, kind_name(rec), rec->name);
    return TQ_ERR_INVALID_CONTENT;
  }
  if (reserve_one(rec->vocabularies) != 0) return TQ_ERR_NO_MEMORY;
  defn_vocab v;
  int32_t rc = rsrc_open(ctx, kRsrcVocab, name, 0, &v.vocab);
  if (rc < 0) TQ_REPORT(ctx, rc, 192, name, kind_name(rec), rec->name);
  if (!v.vocab.held()) return rc;
  // Kept by its name alone too: the file names it.
  v.stop = stop;
  rec->vocabularies.push_back(std::move(v));
  *out = &rec->vocabularies.back();
  return rc < 0 ? rc : 0;
}

// Kinds that cannot work without a vocabulary.
bool needs_vocabulary(const defn_rec* rec) {
  switch (rec->kind) {
    case kDefnGender:
    case kDefnIdent:
    case kDefnParse:
      return true;
    default:
      // An extraction definition needs one when its kind part ("Use
      // Parser") says so (needs_vocabulary_of_part).
      return false;
  }
}

// Kinds whose need of a vocabulary their kind part decides, once that part
// was read.
bool needs_vocabulary_of_part(const defn_rec* rec) {
  if (rec->part == nullptr) return false;
  const defn_kind_ops* ops = defn_kind_ops_get(rec->kind);
  return ops != nullptr && ops->needs_vocabulary != nullptr && ops->needs_vocabulary(rec) != 0;
}

// A vocabulary the writer writes: entries left empty are skipped.
bool has_vocabulary(const defn_rec* rec) {
  for (const defn_vocab& v : rec->vocabularies) {
    if (v.vocab.held()) return true;
  }
  return false;
}

// The check of kinds whose need of a vocabulary their kind part decides,
// run once that part was read.
int32_t vocabulary_check_after_part(context* ctx, const defn_rec* rec) {
  if (has_vocabulary(rec) || !needs_vocabulary_of_part(rec)) return 0;
  TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 191, kind_name(rec), rec->name);
  return TQ_ERR_INVALID_CONTENT;
}

// The table's vocabularies (one that cannot be opened is kept by its name,
// as regex libraries are), else the single property's. Fuzzy parameters
// come from the table's columns; a definition written before the columns
// existed (no table, or a table without them) keeps one definition-level
// threshold that applies to every vocabulary.
int32_t read_vocabularies(context* ctx, const xmldoc* el, defn_rec* rec) {
  int32_t result = 0;
  bool all_columns = true;
  if (const xmldoc* table = include_find(el, kIncVocabularies); table != nullptr) {
    int32_t name_col = -1;
    int32_t stop_col = -1;
    xmldoc_column_find(ctx, table, kColName, &name_col);
    xmldoc_column_find(ctx, table, kColStop, &stop_col);
    for (int32_t r = 0; r < table->record_count; ++r) {
      const xmldoc_record& row = table->records[r];
      if (row.key == nullptr) continue;
      defn_vocab* v = nullptr;
      int32_t rc = vocab_append(ctx, xmldoc_record_text(row, name_col), xmldoc_record_number(row, stop_col, 0),
                                rec, &v);
      if (err_is_critical(rc)) return rc;
      result = rc_combine(result, rc);
      if (v != nullptr && fuzzy_params_columns_read(ctx, table, r, &v->fuzzy) != 0) all_columns = false;
    }
  }
  if (rec->vocabularies.empty()) {
    all_columns = false;
    const char* name = xmldoc_prop_get(ctx, el, kPropVocabulary);
    defn_vocab* v = nullptr;
    if (name[0] != '\0') result = rc_combine(result, vocab_append(ctx, name, 0, rec, &v));
    if (err_is_critical(result)) return result;
  }
  if (rec->vocabularies.empty()) {
    if (!needs_vocabulary(rec)) return result;
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 191, kind_name(rec), rec->name);
    return rc_combine(result, TQ_ERR_INVALID_CONTENT);
  }
  if (!all_columns) {
    fuzzy_params_from_property(ctx, el, &rec->vocabularies[0].fuzzy);
    for (size_t i = 1; i < rec->vocabularies.size(); ++i) {
      fuzzy_params_copy(&rec->vocabularies[0].fuzzy, &rec->vocabularies[i].fuzzy);
    }
  }
  return result;
}

int32_t read_default_categories(context* ctx, const xmldoc* el, defn_rec* rec) {
  return default_category_list_read(ctx, &rec->default_categories, el);
}

int32_t read_postprocessing(context* ctx, const xmldoc* el, defn_rec* rec) {
  const char* name = xmldoc_prop_get(ctx, el, kPropPostprocessing);
  if (name[0] == '\0') return 0;
  int32_t rc = rsrc_open(ctx, kRsrcRegex, name, 0, &rec->postprocessing);
  if (rc < 0) TQ_REPORT(ctx, rc, 187, name, kind_name(rec), rec->name);
  return rc < 0 ? rc : 0;
}

using read_step = int32_t (*)(context*, const xmldoc*, defn_rec*);
constexpr read_step kReadSteps[] = {
    read_version,       read_incomplete,    read_deprecated,    read_owner,
    read_editable,      read_surface,       read_datatype,      read_uppercasing,
    read_preprocessing, read_parse_defn,    read_parsed_input,  read_chopper,
    read_normalization, read_vocabularies,  read_default_categories, read_postprocessing,
};

// The common part of a definition element into `rec`, a record made for
// its kind whose locale is set; its name is checked against the own
// definitions of `names`. The caller holds the write hold.
int32_t read_common_into(context* ctx, const defn_set& names, const xmldoc* el, defn_rec* rec) {
  rec->valid = 1;
  rec->validity_bits = 0;
  defn_rec_load_begin(ctx, rec);
  int32_t rc = defn_rec_name_set(ctx, names, rec, xmldoc_prop_get(ctx, el, kPropName));
  if (rc < 0) {
    TQ_REPORT(ctx, rc, 186, kind_name(rec));
    return rc;
  }
  // A number past int32 is a value out of its field's range; its readers
  // would take the field for one without a number, and the definition for
  // what its file does not say. So it is refused whole before any of it
  // is read, naming the first such number and the field's range, and its
  // element is kept as read: a locale write puts it back as it was, not as
  // the little of it a reader could have taken. Every int "Likelihood" of
  // a definition is a category's likelihood, read or compared as one.
  rc = number_past_refuse(ctx, el, number_owner{kind_name(rec), rec->name, true},
                          std::span<const number_limit>(&kLikelihoodLimit, 1));
  if (rc < 0) {
    rec->valid = 0;
    if (err_is_critical(rc)) return rc;
    xmldoc* kept = nullptr;
    if (int32_t copied = xmldoc_copy(ctx, &kept, el); copied < 0) {
      defn_memory_report(ctx, "Allocating memory to keep the definition %s as its file gave it.", rec->name);
      return copied;
    }
    rec->unread = kept;
    return rc;
  }
  int32_t last = 0;
  for (read_step step : kReadSteps) {
    rc = defn_rec_load_result(ctx, rec, step(ctx, el, rec), &last);
    if (rc != 0) return rc;
  }
  return last != 0 ? TQ_WARN_READ_PROBLEMS : 0;
}

// The caller holds the write hold.
int32_t read_common(context* ctx, loaded_locale_rec* locale, int32_t kind, const xmldoc* el, defn_rec** out) {
  uint32_t position = 0;
  int32_t rc = defn_record_append(ctx, locale, kind, out, &position);
  if (rc < 0) {
    *out = nullptr;
    return rc;
  }
  return read_common_into(ctx, locale->defns[kind], el, *out);
}

// A token element's include names.
bool is_token(const xmldoc_include& inc) {
  return inc.doc != nullptr && (std::strcmp(inc.name, kIncToken) == 0 || std::strcmp(inc.name, kIncSubstring) == 0);
}

// Each token through the load-result rule; a critical code stops.
int32_t read_tokens(context* ctx, const xmldoc* el, defn_rec* rec, int32_t* last) {
  uint32_t count = 0;
  for (int32_t i = 0; i < el->include_count; ++i) count += is_token(el->includes[i]) ? 1 : 0;
  if (count == 0) return 0;
  defn_token_owner owner{};
  int32_t rc = defn_token_owner_get(ctx, rec, &owner);
  if (rc < 0) return defn_rec_load_result(ctx, rec, rc, last);
  for (int32_t i = 0; i < el->include_count; ++i) {
    if (!is_token(el->includes[i])) continue;
    int32_t at = -1;
    rc = dtok_list_add(ctx, owner.owner, &rec->tokens, &at);
    // The single-token rule looks at the definition's token count, so every
    // token is read knowing how many the element holds.
    if (rc >= 0) rc = dtok_xml_read(ctx, owner.owner, count, el->includes[i].doc, rec->tokens.items[at].get());
    rc = defn_rec_load_result(ctx, rec, rc, last);
    if (rc != 0) return rc;
  }
  return 0;
}

// The includes of the element's first include of that name, in a new
// document of its type and version; what that include holds itself
// (properties, records) is not kept.
int32_t includes_take(context* ctx, const xmldoc* el, const char* name, xmldoc** out) {
  const xmldoc* source = include_find(el, name);
  if (source == nullptr) return 0;
  xmldoc* copy = nullptr;
  int32_t rc = xmldoc_copy(ctx, &copy, source);
  if (rc != 0) return rc;
  rc = xmldoc_includes_move(ctx, out, copy);
  xml_free(ctx, copy);
  return rc;
}

// Everything of a definition element after its common part, into `rec`:
// `rc` is the common part's result. *reported is set when any step
// reported something. Only a critical code is returned.
int32_t read_rest(context* ctx, int32_t rc, const xmldoc* el, defn_rec* rec, bool* reported) {
  const int32_t kind = rec->kind;
  int32_t last = 0;
  rc = defn_rec_load_result(ctx, rec, rc, &last);
  if (rec->unread != nullptr) {
    // Refused whole: nothing of it is read (read_common_into).
    *reported = true;
    return rc;
  }
  if (rc == 0) rc = defn_rec_load_result(ctx, rec, defn_kind_call<&defn_kind_ops::read>(ctx, kind, el, rec), &last);
  if (rc == 0) rc = defn_rec_load_result(ctx, rec, vocabulary_check_after_part(ctx, rec), &last);
  if (rc == 0) rc = read_tokens(ctx, el, rec, &last);
  if (rc == 0) {
    rc = defn_rec_load_result(ctx, rec, defn_kind_call<&defn_kind_ops::validate>(ctx, kind, rec), &last);
  }
  if (rc == 0) rc = defn_rec_load_result(ctx, rec, includes_take(ctx, el, kIncComments, &rec->comments), &last);
  if (rc == 0) rc = defn_rec_load_result(ctx, rec, includes_take(ctx, el, kIncLayouts, &rec->layouts), &last);
  if (rc == 0 && rec->incomplete == 1) {
    // Unfinished work is kept, but not applied until someone finishes it.
    rec->valid = 0;
    rec->validity_bits |= kDefnValidityIncomplete;
    rec->incomplete = 0;
  }
  *reported = last != 0;
  return rc;
}

// One definition element: *reported is set when any step reported
// something. Only a critical code is returned.
int32_t read_one(context* ctx, loaded_locale_rec* locale, int32_t kind, const xmldoc* el, bool* reported) {
  defn_rec* rec = nullptr;
  int32_t rc = read_common(ctx, locale, kind, el, &rec);
  if (rec == nullptr) {
    // Nothing was appended (out of memory, or the edit-mode limit).
    *reported = true;
    return err_is_critical(rc) ? rc : 0;
  }
  return read_rest(ctx, rc, el, rec, reported);
}

// The text of the first failure recorded since `mark`, without its closing
// full stop (it is quoted inside another sentence); NULL when none was.
const char* first_failure_since(context* ctx, uint32_t mark, char* out, size_t size) {
  const err_list& list = ctx->errors;
  for (uint32_t i = mark; i < list.count; ++i) {
    if (list.recs[i].code >= 0 || is_restart(list.recs[i].code)) continue;
    str_copy_bounded(out, list.recs[i].text, static_cast<uint32_t>(size));
    size_t n = std::strlen(out);
    while (n > 0 && (out[n - 1] == '.' || out[n - 1] == ' ')) out[--n] = '\0';
    return out;
  }
  return nullptr;
}

// ---- Writing: one function per step, in the file's order --------------------------------

int32_t write_name(context* ctx, xmldoc* el, const defn_rec* rec) {
  return xmldoc_prop_add(ctx, el, kPropName, rec->name);
}

int32_t write_group9(context* ctx, xmldoc* el, const defn_rec* rec) {
  int32_t rc = 0;
  if (rec->version[0] != '\0') rc = xmldoc_prop_add_grouped(ctx, el, kGroup9, kPropVersion, rec->version);
  if (rc >= 0 && rec->owner[0] != '\0') rc = xmldoc_prop_add_grouped(ctx, el, kGroup9, kPropOwner, rec->owner);
  // Reading moves "Incomplete" into validity bit 3; an incomplete definition
  // saved again must stay incomplete.
  const int32_t incomplete = rec->incomplete != 0 || (rec->validity_bits & kDefnValidityIncomplete) != 0 ? 1 : 0;
  if (rc >= 0) rc = xmldoc_prop_add_yes_no_grouped(ctx, el, kGroup9, kPropIncomplete, incomplete, 0);
  if (rc >= 0) rc = xmldoc_prop_add_yes_no_grouped(ctx, el, kGroup9, kPropDeprecated, rec->deprecated != 0, 0);
  if (rc >= 0 && rec->replacement[0] != '\0') {
    rc = xmldoc_prop_add_grouped(ctx, el, kGroup9, kPropReplacement, rec->replacement);
  }
  return rc;
}

int32_t write_flags(context* ctx, xmldoc* el, const defn_rec* rec) {
  int32_t rc = xmldoc_prop_add_yes_no(ctx, el, kPropEditable, rec->editable != 0, 1);
  if (rc >= 0) rc = xmldoc_prop_add_yes_no(ctx, el, kPropSurface, rec->surface != 0, 1);
  return rc;
}

// Indices name records of the definition's own locale (and its ancestors);
// one that names nothing any more is written as none (krdefn.h).
int32_t write_datatype(context* ctx, xmldoc* el, const defn_rec* rec) {
  const dtype_rec* dt = defn_datatype_held(ctx, rec);
  if (dt == nullptr) return 0;
  return xmldoc_prop_add(ctx, el, rec->kind == kDefnIdent ? kPropDatatype1 : kPropDatatype, dt->name);
}

int32_t write_parse_defn(context* ctx, xmldoc* el, const defn_rec* rec) {
  const defn_rec* parse = defn_held_get(ctx, kDefnParse, rec->locale, rec->parse_defn);
  if (parse == nullptr) return 0;
  return xmldoc_prop_add(ctx, el, kPropParsorithm, parse->name);
}

// Only the kinds that take parsed input keep the flag in their files.
int32_t write_parsed_input(context* ctx, xmldoc* el, const defn_rec* rec) {
  if (rec->kind != kDefnGender && rec->kind != kDefnMatch && rec->kind != kDefnStdzn) return 0;
  return xmldoc_prop_add_yes_no(ctx, el, kPropParsedInput, rec->allow_parsed_input != 0, 0);
}

int32_t write_uppercasing(context* ctx, xmldoc* el, const defn_rec* rec) {
  return xmldoc_prop_add_yes_no(ctx, el, kPropUppercasing, rec->automatic_uppercasing != 0, 0);
}

// A held reference's name as a property.
int32_t ref_prop_write(context* ctx, xmldoc* el, const char* property, const rsrc_ref& ref) {
  if (!ref.held()) return 0;
  char name[kRsrcNameSize];
  int32_t rc = rsrc_name_get(ctx, ref.kind(), ref.index(), name, sizeof name);
  return rc < 0 ? rc : xmldoc_prop_add(ctx, el, property, name);
}

// A key-only table of library names (empty entries skipped). The property
// of a single library goes before the table, for readers that know only it.
int32_t regexlib_list_write(context* ctx, xmldoc* el, const char* include, const char* property,
                            const std::vector<rsrc_ref>& list) {
  const rsrc_ref* single = nullptr;
  size_t held = 0;
  for (const rsrc_ref& ref : list) {
    if (ref.held() && held++ == 0) single = &ref;
  }
  if (held == 0) return 0;
  int32_t rc = 0;
  if (held == 1 && property != nullptr) rc = ref_prop_write(ctx, el, property, *single);
  if (rc < 0) return rc;
  xmldoc* table = nullptr;
  rc = xmldoc_create(ctx, include, kTableVersion, &table);
  if (rc < 0) return rc;
  char name[kRsrcNameSize];
  for (const rsrc_ref& ref : list) {
    if (!ref.held()) continue;
    rc = rsrc_name_get(ctx, ref.kind(), ref.index(), name, sizeof name);
    if (rc >= 0) rc = xmldoc_record_add(ctx, table, name, nullptr, nullptr);
    if (rc < 0) break;
  }
  if (rc >= 0) rc = xmldoc_include_add(ctx, el, include, kXmlIncludeInline, table);
  if (rc < 0) xml_free(ctx, table);
  return rc;
}

int32_t write_preprocessing(context* ctx, xmldoc* el, const defn_rec* rec) {
  return regexlib_list_write(ctx, el, kIncPreprocessing, kPropPreprocessing, rec->preprocessing);
}

int32_t write_chopper(context* ctx, xmldoc* el, const defn_rec* rec) {
  return ref_prop_write(ctx, el, kPropChopper, rec->chopper);
}

int32_t write_normalization(context* ctx, xmldoc* el, const defn_rec* rec) {
  return regexlib_list_write(ctx, el, kIncNormalization, nullptr, rec->normalization);
}

int32_t write_vocabularies(context* ctx, xmldoc* el, const defn_rec* rec) {
  const defn_vocab* first = nullptr;
  size_t held = 0;
  for (const defn_vocab& v : rec->vocabularies) {
    if (v.vocab.held() && held++ == 0) first = &v;
  }
  if (held == 0) return 0;
  int32_t rc = 0;
  if (held == 1) rc = ref_prop_write(ctx, el, kPropVocabulary, first->vocab);
  if (rc >= 0) rc = fuzzy_params_property_write(ctx, el, &first->fuzzy);
  if (rc < 0) return rc;
  xmldoc* table = nullptr;
  rc = xmldoc_create(ctx, kIncVocabularies, kTableVersion, &table);
  if (rc < 0) return rc;
  xmldoc_field fields[4];
  int32_t added = 0;
  rc = xmldoc_column_add(ctx, table, kColName, kXmlColString);
  if (rc >= 0) rc = xmldoc_column_add(ctx, table, kColStop, kXmlColInt);
  if (rc >= 0) rc = fuzzy_params_columns_declare(ctx, table, 2, fields, 4, &added);
  char name[kRsrcNameSize];
  for (const defn_vocab& v : rec->vocabularies) {
    if (rc < 0) break;
    if (!v.vocab.held()) continue;
    rc = rsrc_name_get(ctx, kRsrcVocab, v.vocab.index(), name, sizeof name);
    if (rc < 0) break;
    fields[0].type = kXmlColString;
    fields[0].text = name;
    fields[1].type = kXmlColInt;
    fields[1].number = v.stop;
    fuzzy_params_columns_fill(&v.fuzzy, fields, 2);
    rc = xmldoc_record_add(ctx, table, "", nullptr, fields);
  }
  if (rc >= 0) rc = xmldoc_include_add(ctx, el, kIncVocabularies, kXmlIncludeInline, table);
  if (rc < 0) xml_free(ctx, table);
  return rc;
}

int32_t write_default_categories(context* ctx, xmldoc* el, const defn_rec* rec) {
  return default_category_list_write(ctx, &rec->default_categories, el);
}

int32_t write_postprocessing(context* ctx, xmldoc* el, const defn_rec* rec) {
  return ref_prop_write(ctx, el, kPropPostprocessing, rec->postprocessing);
}

int32_t write_kind_part(context* ctx, xmldoc* el, const defn_rec* rec) {
  return defn_kind_call<&defn_kind_ops::write>(ctx, rec->kind, el, rec);
}

int32_t write_tokens(context* ctx, xmldoc* el, const defn_rec* rec) {
  for (const auto& tok : rec->tokens.items) {
    int32_t rc = dtok_xml_write(ctx, el, tok.get());
    if (rc < 0) return rc;
  }
  return 0;
}

int32_t doc_copy_include(context* ctx, xmldoc* el, const char* name, const xmldoc* doc) {
  if (doc == nullptr) return 0;
  xmldoc* copy = nullptr;
  int32_t rc = xmldoc_copy(ctx, &copy, doc);
  if (rc == 0) rc = xmldoc_include_add(ctx, el, name, kXmlIncludeInline, copy);
  if (rc != 0) xml_free(ctx, copy);
  return rc;
}

int32_t write_comments(context* ctx, xmldoc* el, const defn_rec* rec) {
  int32_t rc = doc_copy_include(ctx, el, kIncComments, rec->comments);
  return rc < 0 ? rc : doc_copy_include(ctx, el, kIncLayouts, rec->layouts);
}

using write_step = int32_t (*)(context*, xmldoc*, const defn_rec*);
constexpr write_step kWriteSteps[] = {
    write_name,          write_group9,       write_flags,          write_datatype,
    write_parse_defn,    write_parsed_input, write_uppercasing,    write_preprocessing,
    write_chopper,       write_normalization, write_vocabularies,  write_default_categories,
    write_postprocessing, write_kind_part,   write_tokens,         write_comments,
};

}  // namespace

int32_t defn_datatype_fallback_name(context* ctx, const defn_rec* rec, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return TQ_ERR_ARGUMENT;
  out[0] = '\0';
  if (rec->kind == kDefnIdent) {
    str_copy_bounded(out, kIdentDefaultDatatype, size);
    return 0;
  }
  // A kind that knows its datatype from the definition's name says so.
  const defn_kind_ops* ops = defn_kind_ops_get(rec->kind);
  if (ops == nullptr || ops->datatype_from_name == nullptr) return 0;
  const int32_t rc = ops->datatype_from_name(ctx, rec->name, out, size);
  if (rc < 0) out[0] = '\0';
  out[size - 1] = '\0';
  return rc < 0 ? rc : 0;
}

// ---- The document functions -----------------------------------------------------------------

int32_t defn_xml_read_common(context* ctx, int32_t locale, int32_t kind, const xmldoc* element, defn_rec** out) {
  if (out != nullptr) *out = nullptr;
  if (element == nullptr || out == nullptr) return TQ_ERR_ARGUMENT;
  loaded_locale_rec* loc = nullptr;
  write_hold held;
  int32_t rc = locale_rec_get_locked(ctx, locale, &loc, &held);
  if (rc != 0) return rc;
  return read_common(ctx, loc, kind, element, out);
}

int32_t defn_locale_xml_read(context* ctx, int32_t locale, int32_t kind, const xmldoc* doc) {
  if (doc == nullptr) return TQ_ERR_ARGUMENT;
  loaded_locale_rec* loc = nullptr;
  write_hold held;
  int32_t rc = locale_rec_get_locked(ctx, locale, &loc, &held);
  if (rc != 0) return rc;
  int32_t result = 0;
  for (int32_t i = 0; i < doc->include_count; ++i) {
    const xmldoc_include& inc = doc->includes[i];
    if (inc.doc == nullptr || defn_kind_type_matches(ctx, kind, inc.name) == 0) continue;
    bool reported = false;
    rc = read_one(ctx, loc, kind, inc.doc, &reported);
    if (rc != 0) {
      result = rc;
      break;
    }
    if (reported) result = TQ_WARN_READ_PROBLEMS;
  }
  return result;
}

bool defn_locale_rereads_pending(const loaded_locale_rec* locale) {
  for (int32_t kind = 1; kind <= kDefnKindCount; ++kind) {
    const defn_set& set = locale->defns[kind];
    for (uint32_t i = 0; i < set.count; ++i) {
      if (set.recs[i]->reread != 0) return true;
    }
  }
  return false;
}

int32_t defn_locale_xml_reread(context* ctx, loaded_locale_rec* locale, int32_t kind, const xmldoc* doc) {
  if (doc == nullptr) return TQ_ERR_ARGUMENT;
  defn_set& set = locale->defns[kind];
  int32_t result = 0;
  uint32_t position = 0;
  for (int32_t i = 0; i < doc->include_count && position < set.count; ++i) {
    const xmldoc_include& inc = doc->includes[i];
    if (inc.doc == nullptr || defn_kind_type_matches(ctx, kind, inc.name) == 0) continue;
    defn_rec* rec = set.recs[position++];
    if (rec->reread == 0) continue;
    // The file may have changed since: only the element that still names
    // the record is read into it.
    char name[kDefnNameMax + 1];
    str_copy_bounded(name, xmldoc_prop_get(ctx, inc.doc, kPropName), sizeof name);
    np_uchar_trim(name, sizeof name);
    if (rec->name[0] != '\0' && std::strcmp(rec->name, name) != 0) continue;
    bool reported = false;
    int32_t rc = 0;
    try {
      defn_record_clear(ctx, rec, 0);
      rc = defn_record_init(ctx, kind, rec);
      if (rc < 0) {
        reported = true;
      } else {
        rec->locale = locale->code;
        rc = read_rest(ctx, read_common_into(ctx, set, inc.doc, rec), inc.doc, rec, &reported);
      }
    } catch (const std::bad_alloc&) {
      rc = TQ_ERR_NO_MEMORY;
    }
    if (err_is_critical(rc)) {
      // Left for the next load, not applied half read.
      rec->valid = 0;
      rec->reread = 1;
      return rc;
    }
    if (rc < 0) rec->reread = 1;
    if (reported) result = TQ_WARN_READ_PROBLEMS;
  }
  return result;
}

int32_t defn_write(context* ctx, xmldoc* element, const defn_rec* rec) {
  if (element == nullptr || rec == nullptr) return TQ_ERR_ARGUMENT;
  for (write_step step : kWriteSteps) {
    int32_t rc = step(ctx, element, rec);
    if (rc < 0) return rc;
  }
  return 0;
}

int32_t defn_element_write(context* ctx, xmldoc* target, const defn_rec* rec, const xmldoc** written) {
  if (written != nullptr) *written = nullptr;
  if (target == nullptr || rec == nullptr) return TQ_ERR_ARGUMENT;
  int32_t rc = defn_kind_check(ctx, rec->kind);
  if (rc != 0) return rc;
  const defn_kind_ops* ops = defn_kind_ops_get(rec->kind);
  if (ops->root_type == nullptr || ops->root_type[0] == '\0') return TQ_ERR_ARGUMENT;
  // A kind part using a newer layout says so in the element's type; the
  // include that holds it keeps the plain root type the type tests look for.
  const char* type = ops->root_type;
  if (ops->element_type != nullptr) {
    const char* versioned = ops->element_type(rec);
    if (versioned != nullptr && versioned[0] != '\0') type = versioned;
  }
  xmldoc* element = nullptr;
  if (rec->unread != nullptr) {
    // Refused whole as it was read: written back as its file gave it.
    rc = xmldoc_copy(ctx, &element, rec->unread);
  } else {
    rc = xmldoc_create(ctx, type, kElementVersion, &element);
    if (rc == 0) rc = defn_write(ctx, element, rec);
  }
  if (rc >= 0) rc = xmldoc_include_add(ctx, target, ops->root_type, kXmlIncludeInline, element);
  if (rc < 0) {
    xml_free(ctx, element);
    return rc;
  }
  if (written != nullptr) *written = element;
  return 0;
}

int32_t defn_element_read_back(context* ctx, const defn_rec* rec, const xmldoc* element, char* why, size_t size) {
  why[0] = '\0';
  defn_rec back;
  int32_t rc = defn_record_init(ctx, rec->kind, &back);
  if (rc < 0) {
    default_category_list_free(&back.default_categories);
    return rc;
  }
  back.locale = rec->locale;
  // What the reader says goes into the reason, not into the caller's list.
  const uint32_t mark = ctx->errors.count;
  // The record stands alone: its name is checked against no other (the
  // written locale holds each name once).
  const defn_set alone{};
  bool reported = false;
  rc = read_rest(ctx, read_common_into(ctx, alone, element, &back), element, &back, &reported);
  const bool refused = back.valid == 0;
  if (refused && first_failure_since(ctx, mark, why, size) == nullptr) {
    str_copy_bounded(why,
                     (back.validity_bits & kDefnValidityIncomplete) != 0 ? "it is marked incomplete"
                                                                         : "its reader refuses it",
                     static_cast<uint32_t>(size));
  }
  defn_record_clear(ctx, &back, 0);
  default_category_list_free(&back.default_categories);
  err_list_truncate(ctx, mark);
  if (rc < 0) return rc;
  return refused ? 1 : 0;
}

}  // namespace tq
