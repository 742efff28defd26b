#include "parse/krpdef.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "core/krcaseloc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "core/krzel.h"
#include "kbstore/krshared.h"
#include "kbstore/krxml.h"
#include "resources/krgram.h"

namespace tq {

namespace {

constexpr const char* kKindName = "Parse";
constexpr const char* kPropGrammar = "Grammar";
constexpr const char* kPropSought = "Sought Category";
constexpr const char* kPropUnknown = "NoSol Unknown Token";
constexpr const char* kPropName = "Name";
constexpr const char* kTypeCatList = "Cat Rlib List";
constexpr const char* kIncCatList = "Categorization Regexlibs";
constexpr const char* kNosolToken = "NoSol Token";
constexpr const char* kNosolExclude = "NoSol X Cats";
constexpr const char* kExcludeValue = "Exclude Category";
constexpr const char* kColMaxWords = "MaxWords";
constexpr const char* kVersion = "7.0";

// A category name as files and accessors give it: at most 128 bytes, cut
// between characters, uppercased by the root rules as the grammar's own
// names are, so that it names the same category under every locale.
void category_name_take(context* ctx, char* out, const char* name) {
  str_copy_bounded(out, name != nullptr ? name : "", kCategoryNameSize);
  case_upper_root(ctx, out, kCategoryNameSize);
}

const xmldoc* include_of_type(const xmldoc* el, const char* type) {
  for (int32_t i = 0; i < el->include_count; ++i) {
    const xmldoc* doc = el->includes[i].doc;
    if (doc != nullptr && std::strcmp(doc->type, type) == 0) return doc;
  }
  return nullptr;
}

int32_t includes_named(const xmldoc* el, const char* name) {
  int32_t n = 0;
  for (int32_t i = 0; i < el->include_count; ++i) n += std::strcmp(el->includes[i].name, name) == 0 ? 1 : 0;
  return n;
}

// The parts the kind owns, given back (or with keep_refs forgotten, as the
// store does with its own references when the resources go with it); the
// part itself stays, at its initial values.
void part_release(context* ctx, parse_defn_kind_rec* part, int32_t keep_refs) {
  part->excluded.clear();
  part->excluded_present = 0;
  dtok_list_clear(ctx, &part->nosol, keep_refs);
  part->unknown_token = -1;
  cat_regexlib_list_clear(ctx, &part->cat_regexlibs, keep_refs);
  if (part->morph != nullptr) morph_options_release(ctx, part->morph.get());
  if (part->parser != nullptr && keep_refs == 0) (void)parser_release(ctx, part->parser);
  part->parser = nullptr;
  if (keep_refs != 0) {
    part->grammar.forget();
  } else {
    (void)part->grammar.release(ctx);
  }
  part->root_index = -1;
  part->root_name[0] = '\0';
  optp_block_init(&part->opt);
  part->prepared.store(0, std::memory_order_release);
}

// ---- Reading ------------------------------------------------------------------------

struct read_state {
  context* ctx;
  defn_rec* rec;
  parse_defn_kind_rec* part;
  int32_t last = 0;
  // Through the load-result rule: a critical code is returned, anything
  // else gives 0 after marking the record.
  int32_t step(int32_t rc) { return defn_rec_load_result(ctx, rec, rc, &last); }
};

int32_t read_grammar(read_state& s, const xmldoc* el) {
  (void)s.part->grammar.release(s.ctx);
  const char* name = xmldoc_prop_get(s.ctx, el, kPropGrammar);
  // Kept by its name when its file cannot be had now (rsrc_open_kept).
  int32_t rc = rsrc_open_kept(s.ctx, kRsrcGrammar, &s.part->grammar,
                              [&](int32_t* index) { return grammar_load_by_name(s.ctx, name, nullptr, index); });
  if (rc < 0) {
    if (rc == TQ_ERR_FAILED) rc = TQ_ERR_FILE_OPEN;
    TQ_REPORT(s.ctx, rc, 190, name, kKindName, s.rec->name);
    return rc;
  }
  return 0;
}

int32_t read_cat_regexlibs(read_state& s, const xmldoc* el) {
  cat_regexlib_list_clear(s.ctx, &s.part->cat_regexlibs, 0);
  const xmldoc* table = include_of_type(el, kTypeCatList);
  if (table == nullptr || table->record_count < 1) return 0;
  // Each row is accounted; the last row result that was not 0 is the step's.
  struct rows {
    read_state* s;
    int32_t result;
  } state{&s, 0};
  auto row = [](void* p, int32_t rc) {
    auto* st = static_cast<rows*>(p);
    if (rc != 0) st->result = rc;
    return st->s->step(rc);
  };
  const int32_t rc = cat_regexlib_list_read(s.ctx, table, &s.part->cat_regexlibs, s.rec->name,
                                            "Allocating memory for cat regexlibs of parse defn %s.",
                                            "Alloc'ing memory for cat regexlib of parse defn %s.", row, &state);
  return rc != 0 ? rc : state.result;
}

int32_t read_root(read_state& s, const xmldoc* el) {
  if (!s.part->grammar.held()) {
    TQ_REPORT(s.ctx, TQ_ERR_NOTHING_TO_DO, 116, s.rec->name);
    return TQ_ERR_NOTHING_TO_DO;
  }
  category_name_take(s.ctx, s.part->root_name, xmldoc_prop_get(s.ctx, el, kPropSought));
  return 0;
}

// Position of a datatype token of exactly that name, or -1.
int32_t datatype_position(const defn_token_owner& owner, const char* name) {
  for (uint32_t p = 0; p < owner.owner.datatype_token_count; ++p) {
    if (std::strcmp(owner.datatype_tokens[p], name) == 0) return static_cast<int32_t>(p);
  }
  return -1;
}

int32_t read_nosol_section(read_state& s, const defn_token_owner& owner, const xmldoc* doc, bool* skipped) {
  const char* name = xmldoc_prop_get(s.ctx, doc, kPropName);
  if (name[0] == '\0') {
    TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 119, s.rec->name);
    *skipped = true;
    return 0;
  }
  const int32_t p = datatype_position(owner, name);
  if (p < 0 || static_cast<uint32_t>(p) >= s.part->nosol.count()) {
    TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 120, name, s.rec->name);
    *skipped = true;
    return 0;
  }
  if (doc->record_count > static_cast<int32_t>(kParseTokenCats)) {
    TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 121, name, s.rec->name);
    *skipped = true;
    return 0;
  }
  dtok_rec* slot = s.part->nosol.items[static_cast<size_t>(p)].get();
  parse_token_kind_rec* block = parse_token_part(slot);
  if (block == nullptr) return TQ_ERR_PART_MISSING;
  slot->key = p;
  str_copy_bounded(slot->name, name, sizeof slot->name);
  block->count = 0;
  int32_t column = -1;
  (void)xmldoc_column_find(s.ctx, doc, kColMaxWords, &column);
  for (int32_t i = 0; i < doc->record_count; ++i) {
    const xmldoc_record& r = doc->records[i];
    if (r.key == nullptr) continue;
    if (!s.part->grammar.held()) {
      TQ_REPORT(s.ctx, TQ_ERR_NOTHING_TO_DO, 125, s.rec->name);
      if (int32_t critical = s.step(TQ_ERR_NOTHING_TO_DO); critical != 0) return critical;
      continue;
    }
    parse_token_cat& c = block->cats[block->count++];
    category_name_take(s.ctx, c.name, r.value);
    c.max_words = column >= 0 ? xmldoc_record_number(r, column, 0) : 0;
  }
  return 0;
}

int32_t read_nosol(read_state& s, const xmldoc* el) {
  dtok_list_clear(s.ctx, &s.part->nosol, 0);
  s.part->unknown_token = -1;
  defn_token_owner owner{};
  int32_t rc = s.rec->datatype < 0 ? TQ_ERR_INDEX : defn_token_owner_get(s.ctx, s.rec, &owner);
  if (rc < 0) {
    TQ_REPORT(s.ctx, rc, 118, s.rec->name);
    return rc;
  }
  // The unknown token, at its datatype token's position: required with
  // slots; without any, one set all the same is written, and read back.
  const char* unknown = xmldoc_prop_get(s.ctx, el, kPropUnknown);
  auto take_unknown = [&](bool required) {
    if (unknown[0] == '\0' && !required) return 0;
    const int32_t u = unknown[0] != '\0' ? datatype_position(owner, unknown) : -1;
    if (u < 0) {
      TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 122, unknown, s.rec->name);
      return TQ_ERR_INVALID_CONTENT;
    }
    s.part->unknown_token = u;
    return 0;
  };
  const int32_t n = includes_named(el, kNosolToken);
  if (n == 0) return take_unknown(false);
  // Room first, so that no made slot (its kind part) is lost to a failed push.
  s.part->nosol.items.reserve(s.part->nosol.items.size() + owner.owner.datatype_token_count);
  for (uint32_t p = 0; p < owner.owner.datatype_token_count; ++p) {
    auto slot = std::unique_ptr<dtok_rec>(new (std::nothrow) dtok_rec);
    if (slot == nullptr) return TQ_ERR_NO_MEMORY;
    rc = dtok_init(s.ctx, kDefnParse, slot.get());
    if (rc < 0) return rc;
    s.part->nosol.items.push_back(std::move(slot));
  }
  bool skipped = false;
  int32_t read = 0;
  const int32_t limit = static_cast<int32_t>(owner.owner.datatype_token_count);
  for (int32_t i = 0; i < el->include_count && read < n && read < limit; ++i) {
    const xmldoc* doc = el->includes[i].doc;
    if (doc == nullptr || std::strcmp(doc->type, kNosolToken) != 0) continue;
    bool this_skipped = false;
    rc = read_nosol_section(s, owner, doc, &this_skipped);
    if (rc != 0) return rc;
    if (this_skipped) {
      skipped = true;
    } else {
      ++read;
    }
  }
  if (int32_t taken = take_unknown(true); taken != 0) return taken;
  return skipped ? TQ_ERR_INVALID_CONTENT : 0;
}

int32_t read_excluded(read_state& s, const xmldoc* el) {
  s.part->excluded.clear();
  s.part->excluded_present = 0;
  if (includes_named(el, kNosolExclude) == 0) return 0;
  const xmldoc* doc = include_of_type(el, kNosolExclude);
  if (doc == nullptr) return 0;
  s.part->excluded_present = 1;
  for (int32_t i = 0; i < doc->record_count; ++i) {
    if (doc->records[i].key == nullptr) continue;
    if (int32_t rc = parse_defn_excluded_add(s.ctx, s.part, doc->records[i].value); rc < 0) return rc;
  }
  return 0;
}

// The reader put each slot, and the unknown token, at the position of the
// datatype token it names, while the parse and the accessors take slot p and
// the unknown token as belonging to the definition's token p. Once the
// tokens are read, each slot moves to the position of the definition's token
// of its datatype token, and the unknown token with it, so that a definition
// whose tokens are not in its datatype's order (names swapped, a token
// deleted and added again) comes back as it was written. Slots of datatype
// tokens that no definition token has follow in their order. Nothing moves
// unless each token names a datatype token of its own.
void nosol_follow_tokens(context* ctx, const defn_rec* rec, parse_defn_kind_rec* part) {
  const uint32_t n = part->nosol.count();  // one per datatype token
  const uint32_t t = rec->tokens.count();
  if (n == 0) {
    // No slots: the unknown token alone goes to the definition's token of
    // its datatype token (none when no token has it).
    if (part->unknown_token < 0) return;
    int32_t at = -1;
    for (uint32_t p = 0; p < t && at < 0; ++p) {
      if (rec->tokens.items[p]->key == part->unknown_token) at = static_cast<int32_t>(p);
    }
    part->unknown_token = at;
    return;
  }
  if (t > n || n > kDtokMax) return;
  int32_t order[kDtokMax];  // new position -> datatype position
  bool taken[kDtokMax] = {};
  for (uint32_t p = 0; p < t; ++p) {
    const int32_t k = rec->tokens.items[p]->key;
    if (k < 0 || static_cast<uint32_t>(k) >= n || taken[k]) return;
    taken[k] = true;
    order[p] = k;
  }
  uint32_t next = t;
  for (uint32_t k = 0; k < n; ++k) {
    if (!taken[k]) order[next++] = static_cast<int32_t>(k);
  }
  if (dtok_list_rearrange(ctx, &part->nosol, order, n) < 0) return;
  for (uint32_t p = 0; p < n; ++p) {
    if (part->unknown_token == order[p]) {
      part->unknown_token = static_cast<int32_t>(p);
      break;
    }
  }
}

int32_t prepare_locked(context* ctx, defn_rec* rec, parse_defn_kind_rec* part);

// ---- Writing ------------------------------------------------------------------------

// The name slot p (or the unknown token at definition token p) is written
// under: the datatype token that names it (parse_nosol_key; `key` < 0 when
// it has none), as the no-solution getters report it, which the reader looks
// up and, once the tokens are read, puts back at the position of the
// definition's token of that datatype token. Without one (no datatype, or a
// token named otherwise), the name it was given, else its token's own: the
// reader refuses that section, and so the definition, but what it holds is
// kept in the file rather than lost.
const char* nosol_name(const defn_rec* rec, const defn_token_owner& owner, int32_t p, int32_t key,
                       const dtok_rec* slot) {
  if (key >= 0 && static_cast<uint32_t>(key) < owner.owner.datatype_token_count) return owner.datatype_tokens[key];
  if (slot != nullptr && slot->name[0] != '\0') return slot->name;
  return p >= 0 && static_cast<uint32_t>(p) < rec->tokens.count() ? rec->tokens.items[static_cast<size_t>(p)]->name
                                                                    : "";
}

int32_t write_nosol_slot(context* ctx, xmldoc* el, const char* name, const dtok_rec* slot) {
  const parse_token_kind_rec* block = parse_token_part(slot);
  if (block == nullptr || block->count == 0) return 0;
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, kNosolToken, kVersion, &doc);
  if (rc != 0) return rc;
  rc = xmldoc_prop_add(ctx, doc, kPropName, name);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColMaxWords, kXmlColInt);
  for (uint32_t i = 0; rc >= 0 && i < block->count; ++i) {
    xmldoc_field field{};
    field.type = kXmlColInt;
    field.number = block->cats[i].max_words < 1 ? 0 : block->cats[i].max_words;
    rc = xmldoc_record_add(ctx, doc, "", block->cats[i].name, &field);
  }
  if (rc >= 0) rc = xmldoc_include_add(ctx, el, kNosolToken, kXmlIncludeInline, doc);
  if (rc < 0) xml_free(ctx, doc);
  return rc < 0 ? rc : 0;
}

int32_t write_excluded(context* ctx, xmldoc* el, const parse_defn_kind_rec* part) {
  if (part->excluded_present == 0) return 0;
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, kNosolExclude, kVersion, &doc);
  if (rc != 0) return rc;
  rc = xmldoc_prop_add(ctx, doc, kNosolExclude, kExcludeValue);
  for (const parse_token_cat& c : part->excluded) {
    if (rc < 0) break;
    rc = xmldoc_record_add(ctx, doc, "", c.name, nullptr);
  }
  if (rc >= 0) rc = xmldoc_include_add(ctx, el, kNosolExclude, kXmlIncludeInline, doc);
  if (rc < 0) xml_free(ctx, doc);
  return rc < 0 ? rc : 0;
}

// ---- Preparation ----------------------------------------------------------------------

int32_t prepare_locked(context* ctx, defn_rec* rec, parse_defn_kind_rec* part) {
  part->prepared.store(0, std::memory_order_release);
  grammar_rec* g = nullptr;
  const int32_t gi = part->grammar.index();
  int32_t rc = gi < 0 ? TQ_ERR_NOTHING_TO_DO : grammar_get(ctx, gi, &g);
  if (rc < 0) return rc;
  part->root_index = grammar_category_index_by_name(ctx, g, part->root_name);
  if (part->root_index < 0) {
    TQ_REPORT(ctx, TQ_ERR_RESOURCE_LACKS, 1474, kKindName, rec->name, part->root_name);
    return TQ_ERR_RESOURCE_LACKS;
  }
  for (const auto& tok : rec->tokens.items) {
    const parse_token_kind_rec* block = parse_token_part(tok.get());
    if (block == nullptr) continue;
    for (uint32_t j = 0; j < block->count; ++j) {
      if (grammar_category_get_by_name(ctx, g, block->cats[j].name) == nullptr) {
        TQ_REPORT(ctx, TQ_ERR_RESOURCE_LACKS, 1474, kKindName, rec->name, block->cats[j].name);
        return TQ_ERR_RESOURCE_LACKS;
      }
    }
  }
  for (cat_regexlib_entry* e : part->cat_regexlibs) {
    if (e == nullptr) continue;
    rc = cat_regexlib_entry_bind_grammar(ctx, e, gi);
    if (rc < 0) return rc;
  }
  rc = morph_options_set(ctx, part->morph.get(), static_cast<int32_t>(rec->normalization.size()),
                         rec->normalization.data(), part->cat_regexlibs.data(),
                         static_cast<int32_t>(part->cat_regexlibs.size()), &rec->default_categories, 1,
                         rec->automatic_uppercasing != 0 ? 1u : 0u, rec->chopper.index(),
                         static_cast<int32_t>(rec->vocabularies.size()), rec->vocabularies.data());
  if (rc < 0) return rc;
  parse_opt_params eff;
  optp_effective_get(ctx, &part->opt, &eff);
  // The values are final: the cache must not look at the context's
  // defaults again.
  eff.override_flag = 1;
  // The new object is got before the old one is let go: should the get
  // throw, the definition still holds the old one and no reference is lost.
  parser_rec* got = nullptr;
  rc = parse_defn_parser_get(ctx, gi, part->root_index, &eff, &got);
  parser_rec* old = std::exchange(part->parser, got);
  if (rc < 0) {
    // The old object goes too: the definition no longer has one it could use.
    (void)parser_release(ctx, old);
    return rc;
  }
  rc = parser_release(ctx, old);
  if (rc < 0) return rc;
  part->prepared.store(1, std::memory_order_release);
  return 0;
}

}  // namespace

// ---- Hooks -----------------------------------------------------------------------------

int32_t parse_defn_type_matches(context*, const char* include_name) {
  return defn_root_type_matches(include_name, kParseRootType, kParseRootTypeVertical);
}

int32_t parse_defn_kind_init(context* ctx, defn_rec* rec) {
  auto* part = defn_part_with_morph_new<parse_defn_kind_rec>(ctx);
  if (part == nullptr) return TQ_ERR_NO_MEMORY;
  optp_block_init(&part->opt);
  rec->part = part;
  return 0;
}

int32_t parse_defn_kind_read(context* ctx, const xmldoc* element, defn_rec* rec) {
  parse_defn_kind_rec* part = parse_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  read_state s{ctx, rec, part};
  int32_t rc = s.step(read_grammar(s, element));
  if (rc == 0) rc = s.step(read_cat_regexlibs(s, element));
  if (rc == 0) rc = s.step(optp_xml_read(ctx, element, &part->opt));
  if (rc == 0) rc = s.step(read_root(s, element));
  if (rc == 0) rc = s.step(read_nosol(s, element));
  if (rc == 0) rc = s.step(read_excluded(s, element));
  // Preparing on reading (option bit 22) waits for the validate hook: the
  // tokens, whose categories preparation checks, are read after this part.
  if (rc != 0) return rc;
  return s.last != 0 ? TQ_WARN_READ_PROBLEMS : 0;
}

int32_t parse_defn_kind_write(context* ctx, xmldoc* element, const defn_rec* rec) {
  const parse_defn_kind_rec* part = parse_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  // The root category as held, whether or not the grammar (which is not
  // loaded for this) has it: a grammar set since without it makes the
  // definition unusable until a root is chosen, not unwritable, and a caller
  // moving a definition to another grammar sets the grammar before the root.
  char grammar_name[kRsrcNameSize] = "";
  int32_t rc = 0;
  if (part->grammar.held()) {
    rc = rsrc_name_get(ctx, kRsrcGrammar, part->grammar.index(), grammar_name, sizeof grammar_name);
  }
  if (rc >= 0) rc = xmldoc_prop_add(ctx, element, kPropSought, part->root_name);
  if (rc >= 0) rc = xmldoc_prop_add(ctx, element, kPropGrammar, grammar_name);
  if (rc >= 0) rc = cat_regexlib_list_write(ctx, element, part->cat_regexlibs, kTypeCatList, kIncCatList, kVersion);
  if (rc >= 0) rc = optp_xml_write(ctx, element, &part->opt);
  defn_token_owner owner{};
  defn_token_owner_held(ctx, rec, &owner);
  if (rc >= 0 && part->unknown_token >= 0 && static_cast<uint32_t>(part->unknown_token) < rec->tokens.count()) {
    const int32_t key = parse_nosol_key(rec, part->unknown_token, -1);
    rc = xmldoc_prop_add(ctx, element, kPropUnknown, nosol_name(rec, owner, part->unknown_token, key, nullptr));
  }
  for (uint32_t p = 0; rc >= 0 && p < part->nosol.count(); ++p) {
    const dtok_rec* slot = part->nosol.items[p].get();
    const int32_t key = slot->key < 0 ? -1 : parse_nosol_key(rec, static_cast<int32_t>(p), slot->key);
    rc = write_nosol_slot(ctx, element, nosol_name(rec, owner, static_cast<int32_t>(p), key, slot), slot);
  }
  if (rc >= 0) rc = write_excluded(ctx, element, part);
  return rc < 0 ? rc : 0;
}

int32_t parse_defn_kind_copy(context* ctx, const defn_rec* src, defn_rec* dst) {
  const parse_defn_kind_rec* from = parse_defn_part(src);
  parse_defn_kind_rec* to = parse_defn_part(dst);
  if (from == nullptr || to == nullptr) return TQ_ERR_ARGUMENT;
  to->root_index = from->root_index;
  std::memcpy(to->root_name, from->root_name, sizeof to->root_name);
  to->unknown_token = from->unknown_token;
  optp_block_copy(&from->opt, &to->opt);
  int32_t rc = 0;
  for (const auto& slot : from->nosol.items) {
    auto copy = std::unique_ptr<dtok_rec>(new (std::nothrow) dtok_rec);
    rc = copy == nullptr ? TQ_ERR_NO_MEMORY : dtok_init(ctx, slot->kind, copy.get());
    if (rc >= 0) rc = dtok_copy(ctx, copy.get(), slot.get());
    if (rc < 0) break;
    copy->key = slot->key;
    to->nosol.items.push_back(std::move(copy));
  }
  if (rc >= 0) {
    to->excluded = from->excluded;
    to->excluded_present = from->excluded_present;
    rc = from->grammar.share(ctx, &to->grammar);
  }
  if (rc >= 0) rc = cat_regexlib_list_copy(ctx, from->cat_regexlibs, &to->cat_regexlibs);
  to->prepared.store(0, std::memory_order_release);
  if (rc < 0) part_release(ctx, to, 0);
  return rc < 0 ? rc : 0;
}

int32_t parse_defn_kind_free(context* ctx, defn_rec* rec, int32_t keep_refs) {
  parse_defn_kind_rec* part = parse_defn_part(rec);
  if (part == nullptr) return 0;
  part_release(ctx, part, keep_refs);
  delete part;
  rec->part = nullptr;
  return 0;
}

const char* parse_defn_unreadable(context* ctx, const defn_rec* rec) {
  if (rec->datatype < 0) return nullptr;
  defn_token_owner owner{};
  if (defn_token_owner_get(ctx, rec, &owner) < 0) return "its datatype cannot be found";
  // One token per datatype token: as many, and no datatype token twice (an
  // edit may name two tokens alike on the way to swapping their names; what
  // was written then cannot put its no-solution slots back).
  bool twice = false;
  bool seen[kDtokMax] = {};
  for (const auto& tok : rec->tokens.items) {
    const int32_t k = tok->key;
    if (k < 0 || k >= static_cast<int32_t>(kDtokMax)) continue;
    twice = twice || seen[k];
    seen[k] = true;
  }
  if (rec->tokens.count() != owner.owner.datatype_token_count) return "its token count differs from its datatype's";
  if (twice) return "two of its tokens name one token of its datatype";
  return nullptr;
}

int32_t parse_defn_kind_validate(context* ctx, defn_rec* rec) {
  parse_defn_kind_rec* part = parse_defn_part(rec);
  if (part == nullptr) return TQ_ERR_ARGUMENT;
  int32_t result = 0;
  // What the token hooks found but could not report without the definition.
  bool without_grammar = false;
  for (const auto& tok : rec->tokens.items) {
    parse_token_kind_rec* block = parse_token_part(tok.get());
    if (block == nullptr) continue;
    if (block->overflow != 0) {
      block->overflow = 0;
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 41, kKindName, rec->name);
      result = TQ_ERR_INVALID_CONTENT;
    }
    if (block->count != 0 && !part->grammar.held()) {
      block->count = 0;
      without_grammar = true;
    }
  }
  if (without_grammar) {
    TQ_REPORT(ctx, TQ_ERR_NOTHING_TO_DO, 125, rec->name);
    if (result == 0) result = TQ_ERR_NOTHING_TO_DO;
  }
  if (rec->datatype < 0) return result;
  nosol_follow_tokens(ctx, rec, part);
  defn_token_owner owner{};
  int32_t rc = defn_token_owner_get(ctx, rec, &owner);
  if (rc < 0) return rc;
  if (parse_defn_unreadable(ctx, rec) != nullptr) {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 115, rec->name, owner.owner.datatype_name);
    return TQ_ERR_INVALID_CONTENT;
  }
  // The reader holds the write hold and the record.
  if (result == 0 && rec->valid != 0 && (ctx->options & kOptPrepareOnRead) != 0) {
    result = prepare_locked(ctx, rec, part);
  }
  return result;
}

void parse_defn_invalidate(context*, defn_rec* rec, uint32_t what) {
  parse_defn_kind_rec* part = parse_defn_part(rec);
  if (part != nullptr && what != 0) part->prepared.store(0, std::memory_order_release);
}

int32_t parse_defn_token_init(context*, dtok_rec* tok) {
  auto* block = new (std::nothrow) parse_token_kind_rec{};
  if (block == nullptr) return TQ_ERR_NO_MEMORY;
  tok->part = block;
  return 0;
}

int32_t parse_defn_token_free(context*, dtok_rec* tok, int32_t) {
  delete static_cast<parse_token_kind_rec*>(tok->part);
  tok->part = nullptr;
  return 0;
}

int32_t parse_defn_token_copy(context*, const dtok_rec* src, dtok_rec* dst, int32_t) {
  const parse_token_kind_rec* from = parse_token_part(src);
  parse_token_kind_rec* to = parse_token_part(dst);
  if (from == nullptr || to == nullptr) return TQ_ERR_ARGUMENT;
  *to = *from;
  return 0;
}

int32_t parse_defn_token_read(context* ctx, const xmldoc* element, dtok_rec* tok) {
  parse_token_kind_rec* block = parse_token_part(tok);
  if (block == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  block->count = 0;
  block->overflow = 0;
  for (int32_t i = 0; i < element->record_count; ++i) {
    const xmldoc_record& r = element->records[i];
    if (r.key == nullptr) continue;
    if (block->count == kParseTokenCats) {
      // Reported by the definition's validation, which can name it.
      block->overflow = 1;
      block->count = 0;
      return 0;
    }
    parse_token_cat& c = block->cats[block->count++];
    category_name_take(ctx, c.name, r.value);
    c.max_words = 0;
  }
  return 0;
}

int32_t parse_defn_token_write(context* ctx, xmldoc* element, const dtok_rec* tok) {
  const parse_token_kind_rec* block = parse_token_part(tok);
  if (block == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  for (uint32_t i = 0; i < block->count; ++i) {
    int32_t rc = xmldoc_record_add(ctx, element, "", block->cats[i].name, nullptr);
    if (rc < 0) return rc;
  }
  return 0;
}

const defn_kind_ops kParseDefnKindOps = [] {
  defn_kind_ops ops;
  ops.root_type = kParseRootType;
  ops.type_matches = parse_defn_type_matches;
  ops.init = parse_defn_kind_init;
  ops.read = parse_defn_kind_read;
  ops.write = parse_defn_kind_write;
  ops.copy = parse_defn_kind_copy;
  ops.free = parse_defn_kind_free;
  ops.validate = parse_defn_kind_validate;
  ops.token_init = parse_defn_token_init;
  ops.token_read = parse_defn_token_read;
  ops.token_write = parse_defn_token_write;
  ops.token_copy = parse_defn_token_copy;
  ops.token_free = parse_defn_token_free;
  ops.invalidate = parse_defn_invalidate;
  return ops;
}();

// ---- Preparation ----------------------------------------------------------------------------

int32_t parse_defn_prepare_held(context* ctx, defn_rec* rec) {
  parse_defn_kind_rec* part = parse_defn_part(rec);
  if (part == nullptr) return TQ_ERR_DEFN_INVALID;
  if (part->prepared.load(std::memory_order_acquire) != 0) return 0;
  return prepare_locked(ctx, rec, part);
}

int32_t parse_defn_prepare(context* ctx, defn_rec* rec) {
  return defn_run_under_write_hold(ctx, rec, kDefnParse, parse_defn_prepare_held);
}

int32_t parse_nosol_key(const defn_rec* rec, int32_t p, int32_t own_key) {
  if (p >= 0 && static_cast<uint32_t>(p) < rec->tokens.count()) {
    const int32_t key = rec->tokens.items[static_cast<size_t>(p)]->key;
    if (key >= 0) return key;
  }
  return own_key;
}

// A no-solution slot without categories fills nothing and is not written
// (write_nosol_slot), so only slots with categories count: otherwise adding a
// token (which adds its empty slot) would turn the even split off until the
// definition is written and read again.
int32_t parse_defn_has_nosol_tokens(const defn_rec* rec) {
  const parse_defn_kind_rec* part = parse_defn_part(rec);
  if (part == nullptr) return 0;
  for (const auto& slot : part->nosol.items) {
    const parse_token_kind_rec* block = parse_token_part(slot.get());
    if (block != nullptr && block->count != 0) return 1;
  }
  return 0;
}

// ---- Lists --------------------------------------------------------------------------------

int32_t parse_token_cat_add(context* ctx, const defn_rec* rec, parse_token_kind_rec* block, const char* name,
                            int32_t max_words) {
  if (block == nullptr || name == nullptr) return TQ_ERR_ARGUMENT;
  if (block->count >= kParseTokenCats) {
    TQ_REPORT(ctx, TQ_ERR_CALL_STACK_FULL, 1473, kKindName, rec != nullptr ? rec->name : "");
    return TQ_ERR_CALL_STACK_FULL;
  }
  parse_token_cat& c = block->cats[block->count];
  category_name_take(ctx, c.name, name);
  c.max_words = max_words;
  block->count += 1;
  return 0;
}

int32_t parse_token_cat_delete(context*, parse_token_kind_rec* block, int32_t j) {
  if (block == nullptr) return TQ_ERR_ARGUMENT;
  if (j < 0 || static_cast<uint32_t>(j) >= block->count) return TQ_ERR_INDEX;
  for (uint32_t k = static_cast<uint32_t>(j) + 1; k < block->count; ++k) block->cats[k - 1] = block->cats[k];
  block->count -= 1;
  return 0;
}

int32_t parse_defn_excluded_add(context* ctx, parse_defn_kind_rec* part, const char* name) {
  if (part == nullptr) return TQ_ERR_ARGUMENT;
  parse_token_cat c{};
  category_name_take(ctx, c.name, name);
  try {
    part->excluded.push_back(c);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  part->excluded_present = 1;
  return 0;
}

int32_t parse_defn_cat_regexlib_append(context* ctx, parse_defn_kind_rec* part, cat_regexlib_entry* entry) {
  if (part == nullptr || entry == nullptr) return TQ_ERR_ARGUMENT;
  return cat_regexlib_list_append(ctx, &part->cat_regexlibs, entry);
}

int32_t parse_defn_cat_regexlib_delete(context* ctx, parse_defn_kind_rec* part, int32_t j) {
  if (part == nullptr) return TQ_ERR_ARGUMENT;
  return cat_regexlib_list_delete(ctx, &part->cat_regexlibs, j);
}

// ---- Exports -------------------------------------------------------------------------------

int32_t tqx_parse_defn_optimization_params_get(context* ctx, int32_t index, int32_t* override_flag,
                                               int32_t* levels, int32_t* limit) {
  *override_flag = 0;
  *levels = 0;
  *limit = 0;
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, kDefnParse, index, &rec);
  if (rc < 0) return rc;
  const parse_defn_kind_rec* part = parse_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  *override_flag = static_cast<int32_t>(part->opt.override_flag);
  *levels = optp_scoring_levels_effective(ctx, &part->opt);
  *limit = optp_resource_limit_effective(ctx, &part->opt);
  return 0;
}

int32_t tqx_parse_defn_optimization_params_set(context* ctx, int32_t index, int32_t levels, int32_t limit) {
  // A level count the engines cannot hold, or a limit that is not one of
  // the allowed ones, is refused before anything changes.
  int32_t rc = optp_levels_validate(ctx, levels);
  if (rc == 0) rc = optp_limit_validate(ctx, limit);
  if (rc < 0) return rc;
  defn_rec* rec = nullptr;
  write_hold held;
  rc = defn_record_get_for_write(ctx, kDefnParse, index, &rec, &held);
  if (rc < 0) return rc;
  parse_defn_kind_rec* part = parse_defn_part(rec);
  if (part == nullptr) {
    rc = TQ_ERR_PART_MISSING;
  } else {
    optp_override_set(ctx, &part->opt, 1);
    part->opt.levels = levels;
    part->opt.limit = limit;
    part->prepared.store(0, std::memory_order_release);
  }
  const int32_t released = held.release();
  return rc < 0 ? rc : (released < 0 ? released : 0);
}

int32_t tqx_parse_defn_optimization_params_remove(context* ctx, int32_t index) {
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t rc = defn_record_get_for_write(ctx, kDefnParse, index, &rec, &held);
  if (rc < 0) return rc;
  parse_defn_kind_rec* part = parse_defn_part(rec);
  if (part == nullptr) {
    rc = TQ_ERR_PART_MISSING;
  } else {
    optp_override_set(ctx, &part->opt, 0);
    part->prepared.store(0, std::memory_order_release);
  }
  const int32_t released = held.release();
  return rc < 0 ? rc : (released < 0 ? released : 0);
}

}  // namespace tq
