#include "kbstore/krlocload.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "core/krerr.h"
#include "core/krstr.h"
#include "core/krzel.h"
#include "kbstore/krlock.h"
#include "kbstore/krlocl.h"
#include "kbstore/krlocset.h"
#include "kbstore/krshared.h"
#include "kbstore/krxml.h"
#include "core/krfio.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr uint32_t kUtf8Encoding = 13;
// A parent chain deeper than this can only be a loop of "Parent Locale"
// properties (the table's chains are at most four ancestors long).
constexpr uint32_t kMaxChain = 16;
constexpr uint32_t kFileNameSize = 4097;

// The mask bits in reading order, with what each reads: the datatypes
// (kind 0), or the definitions of a kind; the flag's name in tq.h and one
// of what it reads, for the messages of a definition naming something its
// load left out.
struct mask_step {
  uint32_t bit;
  int32_t kind;
  const char* what;
  const char* flag;
  const char* one;
};
constexpr mask_step kMaskOrder[] = {
    {kLoadDatatypes, 0, "Datatypes", "TQ_LOAD_DATATYPES", "datatype"},
    {kLoadPatternDefns, kDefnPattern, "Pattern Analysis definitions", "TQ_LOAD_PATTERN_DEFNS",
     "pattern analysis definition"},
    {kLoadCaseDefns, kDefnCase, "Case definitions", "TQ_LOAD_CASE_DEFNS", "case definition"},
    {kLoadParseDefns, kDefnParse, "Parse definitions", "TQ_LOAD_PARSE_DEFNS", "parse definition"},
    {kLoadIdentDefns, kDefnIdent, "Identification Analysis definitions", "TQ_LOAD_IDENT_DEFNS",
     "identification analysis definition"},
    {kLoadStdznDefns, kDefnStdzn, "Standardization definitions", "TQ_LOAD_STDZN_DEFNS",
     "standardization definition"},
    {kLoadGenderDefns, kDefnGender, "Gender Analysis definitions", "TQ_LOAD_GENDER_DEFNS",
     "gender analysis definition"},
    {kLoadMatchDefns, kDefnMatch, "Match definitions", "TQ_LOAD_MATCH_DEFNS", "match definition"},
    {kLoadLanguageDefns, kDefnLangGuess, "Language Guess definitions", "TQ_LOAD_LANGUAGE_DEFNS",
     "language guess definition"},
    {kLoadGuessDefns, kDefnLocaleGuess, "Locale Guess definitions", "TQ_LOAD_GUESS_DEFNS",
     "locale guess definition"},
    {kLoadExtractDefns, kDefnExtract, "Extraction definitions", "TQ_LOAD_EXTRACT_DEFNS", "extraction definition"},
};

locale_table_loaded* loaded(const context* ctx) {
  shared_contents* sc = ctx_contents(ctx);
  return sc == nullptr ? nullptr : &sc->locales;
}

loaded_locale_rec* rec_at(const context* ctx, int32_t index) {
  const locale_table_loaded* t = loaded(ctx);
  if (t == nullptr || index < 0 || static_cast<uint32_t>(index) >= t->count) return nullptr;
  return t->recs[index];
}

int32_t find_index(const context* ctx, int32_t code) {
  const locale_table_loaded* t = loaded(ctx);
  if (t == nullptr || code < 0) return -1;
  for (uint32_t i = 0; i < t->count; ++i) {
    if (t->recs[i]->code == code) return static_cast<int32_t>(i);
  }
  return -1;
}

void make_current(context* ctx, int32_t index, int32_t code) {
  ctx->current_locale = index;
  ctx->current_locale_code = code;
}

// -707 for a code of the table that is not loaded, -802 (recorded) for one
// outside the table.
int32_t not_loaded(context* ctx, int32_t code) {
  if (locale_table_contains(code)) return TQ_ERR_NO_LOCALE;
  TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 144, code);
  return TQ_ERR_ARGUMENT;
}

// Frees what a record holds: the definitions first (a definition names its
// datatype), then the datatypes. keep_refs as defn_set_free.
void parts_free(context* ctx, loaded_locale_rec* rec, int32_t keep_refs) {
  for (int32_t kind = 1; kind <= kDefnKindCount; ++kind) defn_set_free(ctx, &rec->defns[kind], keep_refs);
  dtype_set_free(ctx, &rec->datatypes);
}

// Drops one reference held by a child record; at the last one the record is
// freed and its own parent released in turn. The handle's release of its
// files warns when a lock file stays or was lost (119, 120): that warning.
int32_t release_ref(context* ctx, int32_t index, lock_handle* lock) {
  int32_t released = 0;
  while (index >= 0) {
    loaded_locale_rec* rec = rec_at(ctx, index);
    if (rec == nullptr || rec->code == -1 || rec->refs == 0) return released;
    rec->refs -= 1;
    if (rec->refs > 0) return released;
    if (ctx->current_locale == index) make_current(ctx, -1, 0);
    int32_t parent = rec->parent;
    rec->code = -1;
    rec->iso[0] = '\0';
    rec->description[0] = '\0';
    rec->parent = -1;
    sharer_loads_free(&rec->client_refs);
    parts_free(ctx, rec, 0);
    xml_free(ctx, rec->head_kept);
    rec->head_kept = nullptr;
    if (lock != nullptr && lock->held) {
      const int32_t rc = lock_release_all(ctx, lock);
      if (rc > 0) released = rc;
    }
    index = parent;
  }
  return released;
}

struct load_chain {
  char iso[kMaxChain][kLocaleIsoSize];
  uint32_t depth;
};

// With a lock, the file read is the one the lock holds; taken (may be
// NULL) receives its ref.
int32_t read_locale_file(context* ctx, const char* iso, lock_handle* lock, xmldoc** doc, lock_ref* taken = nullptr) {
  char file[kFileNameSize];
  if (locale_file_name_get(ctx, iso, file, sizeof file) != 0) {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 1470, iso);
    return TQ_ERR_ARGUMENT;
  }
  int32_t rc = lock != nullptr ? xmldoc_read_for_edit(ctx, file, kXmlFlagVault, lock, doc, taken)
                               : xmldoc_read(ctx, file, kXmlFlagVault, doc);
  if (rc < 0) {
    TQ_REPORT(ctx, rc, 1583, static_cast<const char*>(file));
    *doc = nullptr;
  }
  return rc < 0 ? rc : 0;
}

// With a lock handle, an already loaded ancestor's file is locked too: the
// file a write of that ancestor then writes.
void lock_ancestors(context* ctx, int32_t index, lock_handle* lock) {
  if (lock == nullptr) return;
  for (uint32_t guard = 0; index >= 0 && guard < kMaxChain; ++guard) {
    loaded_locale_rec* rec = rec_at(ctx, index);
    if (rec == nullptr || rec->code == -1) return;
    char file[kFileNameSize];
    if (locale_file_name_get(ctx, rec->iso, file, sizeof file) == 0) {
      // Taken only as the version the ancestor was read from: one another
      // editor has saved since stays unlocked, and its write is refused.
      const lock_mark mark = lock_mark_get(lock);
      lock_ref taken;
      if ((lock_add(lock, ctx, file, kFioKindZel, nullptr, 0, &taken) == 0 ||
           lock_add(lock, ctx, file, kFioKindKrd, nullptr, 0, &taken) == 0) &&
          file_read_take(ctx, &rec->read, lock, taken, "locale", rec->iso) != 0) {
        lock_release_since(ctx, lock, mark);
      }
    }
    index = rec->parent;
  }
}

int32_t load_impl(context* ctx, const char* iso, uint32_t flags, lock_handle* lock, uint32_t nested,
                  int32_t* code_out, load_chain* chain);

// Loads the parent named by the document, or the table's first ancestor.
int32_t parent_load(context* ctx, int32_t code, const xmldoc* doc, uint32_t flags, lock_handle* lock,
                    int32_t* parent_index, load_chain* chain) {
  *parent_index = -1;
  char parent_iso[kLocaleIsoSize] = "";
  const char* parent_file = xmldoc_prop_get(ctx, doc, "Parent Locale");
  if (parent_file != nullptr && parent_file[0] != '\0') {
    locale_iso_from_file_name(ctx, parent_file, parent_iso, sizeof parent_iso);
  } else {
    const locale_row* row = locale_table_row_get(code);
    if (row != nullptr && row->ancestors[0] >= 0) {
      locale_table_iso_get(nullptr, row->ancestors[0], parent_iso, sizeof parent_iso);
    }
  }
  if (parent_iso[0] == '\0') return 0;
  int32_t parent_code = -1;
  int32_t rc = load_impl(ctx, parent_iso, flags, lock, 1, &parent_code, chain);
  if (rc < 0) return rc;
  *parent_index = find_index(ctx, parent_code);
  return *parent_index < 0 ? -603 : rc;
}

// What one step of a load holds until it ends, given back on every way
// out, an exception included: its place in the chain, the locale document,
// and, until the load is kept, the context's current locale and the new
// record (or, before that, the reference taken on the parent), so that a
// failed load leaves no locale half registered.
class load_step {
 public:
  load_step(context* ctx, load_chain* chain)
      : ctx_(ctx), chain_(chain), index_(ctx->current_locale), code_(ctx->current_locale_code) {}
  ~load_step() {
    if (!kept_) {
      if (held_ >= 0) (void)release_ref(ctx_, held_, nullptr);
      make_current(ctx_, index_, code_);
    }
    if (doc != nullptr) xml_free(ctx_, doc);
    chain_->depth--;
  }
  load_step(const load_step&) = delete;
  load_step& operator=(const load_step&) = delete;
  // The reference the step holds (the parent's, then the new record's,
  // which holds the parent's in turn), given back unless kept.
  void hold(int32_t index) { held_ = index; }
  void keep() { kept_ = true; }

  xmldoc* doc = nullptr;

 private:
  context* ctx_;
  load_chain* chain_;
  int32_t index_;
  int32_t code_;
  int32_t held_ = -1;
  bool kept_ = false;
};

// Reads again what failures outside the files left unread in a loaded
// locale (its document given) and in each of its ancestors (their documents
// read now), each made current while it is read.
int32_t rereads_run(context* ctx, int32_t index, const xmldoc* doc) {
  current_locale_kept kept(ctx);
  int32_t last = 0;
  for (uint32_t guard = 0; index >= 0 && guard < kMaxChain; ++guard) {
    loaded_locale_rec* rec = rec_at(ctx, index);
    if (rec == nullptr || rec->code == -1) break;
    if (defn_locale_rereads_pending(rec)) {
      xmldoc* own = nullptr;
      if (doc == nullptr) {
        int32_t rc = read_locale_file(ctx, rec->iso, nullptr, &own);
        if (rc != 0) return rc;
      }
      const xmldoc* from = doc != nullptr ? doc : own;
      make_current(ctx, index, rec->code);
      int32_t rc = 0;
      for (const mask_step& step : kMaskOrder) {
        if (step.kind == 0 || (rec->parts & step.bit) == 0 || defn_kind_ops_get(step.kind) == nullptr) continue;
        try {
          rc = defn_locale_xml_reread(ctx, rec, step.kind, from);
        } catch (...) {
          xml_free(ctx, own);
          throw;
        }
        if (err_is_critical(rc)) break;
        if (rc != 0) last = rc;
      }
      xml_free(ctx, own);
      if (err_is_critical(rc)) return rc;
    }
    doc = nullptr;
    index = rec->parent;
  }
  return last;
}

int32_t load_impl(context* ctx, const char* iso, uint32_t flags, lock_handle* lock, uint32_t nested,
                  int32_t* code_out, load_chain* chain) {
  *code_out = -1;
  for (uint32_t i = 0; i < chain->depth; ++i) {
    if (std::strcmp(chain->iso[i], iso) == 0) {
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1700, iso);
      return TQ_ERR_INVALID_CONTENT;
    }
  }
  if (chain->depth >= kMaxChain) {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1700, iso);
    return TQ_ERR_INVALID_CONTENT;
  }
  str_copy_bounded(chain->iso[chain->depth++], iso, kLocaleIsoSize);
  load_step step(ctx, chain);
  lock_ref taken;
  const lock_mark before_read = lock_mark_get(lock);
  int32_t rc = read_locale_file(ctx, iso, lock, &step.doc, &taken);
  if (rc != 0) return rc;
  const char* description = xmldoc_prop_get(ctx, step.doc, "Locale Description");
  int32_t code = -1;
  if (description == nullptr || locale_table_code_get_by_description(nullptr, description, &code) != 0) {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 140, iso, description != nullptr ? description : "");
    return TQ_ERR_INVALID_CONTENT;
  }

  int32_t index = find_index(ctx, code);
  if (index >= 0) {
    loaded_locale_rec* rec = rec_at(ctx, index);
    // An edit load takes a locale loaded before only as the version it was
    // read from: what it holds is what a write will save over the file.
    // Another editor's save since is never overwritten with what was read
    // before it: the load is refused, and gives back what it locked. A
    // parent of what the load reads is left unlocked instead, as an
    // ancestor loaded already is (lock_ancestors): its write is refused,
    // and the load goes on, its failure listed (104).
    bool stale = false;
    if (lock != nullptr) {
      rc = file_read_take(ctx, &rec->read, lock, taken, "locale", rec->iso);
      if (rc != 0 && !(nested && rc == TQ_ERR_LOCK_ACQUIRE)) return rc;
      if (rc != 0) lock_release_since(ctx, lock, before_read);
      stale = rc != 0;
    }
    // A locale already loaded is taken as it is: a plain load asking for
    // more parts (a wider mask) reads nothing more, as clients have always
    // seen.
    // What a failure outside the files (memory, a file that could not be
    // opened) left unread of the parts it has is read now, before the
    // reference is taken, so that a critical failure takes none.
    rc = rereads_run(ctx, index, step.doc);
    // An edit load reads the parts it asks for that the locale lacks, for
    // the editor to have them.
    const int32_t more = lock != nullptr && !stale && !err_is_critical(rc)
                             ? locale_parts_missing_read(ctx, rec, step.doc, flags) : 0;
    if (more != 0) rc = more;
    if (err_is_critical(rc)) return rc;
    const int32_t reread = rc;
    // Every load holds a reference; a client's also counts among the
    // client loads of the context that made it, so that each needs its own
    // unload by that context.
    if (!nested && sharer_loads_add(&rec->client_refs, ctx) != 0) {
      TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 29, "Allocating memory for the record of a client's load of a locale.");
      return TQ_ERR_NO_MEMORY;
    }
    rec->refs += 1;
    step.keep();
    if (nested) lock_ancestors(ctx, rec->parent, lock);
    make_current(ctx, index, code);
    *code_out = code;
    return reread != 0 ? TQ_WARN_LOCALE_PROBLEMS : 0;
  }

  int32_t parent_index = -1;
  rc = parent_load(ctx, code, step.doc, flags, lock, &parent_index, chain);
  if (rc < 0) return rc;
  step.hold(parent_index);
  int32_t remembered = rc > 0 ? rc : 0;
  uint32_t new_index = 0;
  rc = loaded_locale_rec_create(ctx, &new_index);
  if (rc != 0) return rc;
  loaded_locale_rec* rec = rec_at(ctx, static_cast<int32_t>(new_index));
  rec->parent = parent_index;
  rec->code = code;
  // The new record holds the parent's reference from here on.
  step.hold(static_cast<int32_t>(new_index));
  if (!nested && sharer_loads_add(&rec->client_refs, ctx) != 0) {
    TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 29, "Allocating memory for the record of a client's load of a locale.");
    return TQ_ERR_NO_MEMORY;
  }
  str_copy_bounded(rec->iso, iso, kLocaleIsoSize);
  uchar_buf_copy(rec->description, description, kLocaleDescriptionSize);
  make_current(ctx, static_cast<int32_t>(new_index), code);

  // The locale is current while its parts are read: definitions look their
  // datatype and parse definition up in the current locale. Nothing of a
  // half-read locale stays: on a critical failure the record goes with the
  // reference this load took on its parent.
  rc = locale_parts_read(ctx, rec, step.doc, flags, 1);
  if (err_is_critical(rc)) return rc;
  const int32_t head = locale_head_kept(ctx, step.doc, &rec->head_kept);
  if (head != 0) {
    TQ_REPORT(ctx, head, 29, "Allocating memory for the head of a locale's file.");
    return head;
  }
  step.keep();
  rec->read = file_read{taken, step.doc->read_from};
  if (rc != 0) remembered = rc;
  *code_out = code;
  return remembered != 0 ? TQ_WARN_LOCALE_PROBLEMS : 0;
}

int32_t query_prologue(context* ctx, int32_t code, int32_t* index) {
  *index = find_index(ctx, code);
  return *index < 0 ? not_loaded(ctx, code) : 0;
}

}  // namespace

int32_t loaded_locale_rec_create(context* ctx, uint32_t* index) {
  locale_table_loaded* t = loaded(ctx);
  if (t == nullptr) return TQ_ERR_NO_LOCALE;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  uint32_t at = t->count;
  for (uint32_t i = 0; i < t->count; ++i) {
    if (t->recs[i]->code == -1) {
      at = i;
      break;
    }
  }
  if (at == t->count) {
    auto* rec = static_cast<loaded_locale_rec*>(np_calloc(1, sizeof(loaded_locale_rec)));
    auto* grown = rec == nullptr ? nullptr
                                 : static_cast<loaded_locale_rec**>(
                                       np_realloc(t->recs, sizeof(loaded_locale_rec*) * (t->count + 1)));
    if (grown == nullptr) {
      std::free(rec);
      return TQ_ERR_NO_MEMORY;
    }
    t->recs = grown;
    t->recs[t->count++] = rec;
  }
  loaded_locale_rec* rec = t->recs[at];
  std::memset(static_cast<void*>(rec), 0, sizeof *rec);
  rec->code = -1;
  rec->encoding = kUtf8Encoding;
  rec->refs = 1;
  rec->parent = -1;
  *index = at;
  return hold.release();
}

void loaded_locales_free(context* ctx, locale_table_loaded* table) {
  // Runs before the resource registry is torn down (krshared.cpp), so the
  // definitions give their resource references back to a registry that
  // still exists.
  for (uint32_t i = 0; i < table->count; ++i) {
    parts_free(ctx, table->recs[i], 0);
    xml_free(ctx, table->recs[i]->head_kept);
    sharer_loads_free(&table->recs[i]->client_refs);
    std::free(table->recs[i]);
  }
  std::free(table->recs);
  table->recs = nullptr;
  table->count = 0;
}

int32_t locale_parts_read(context* ctx, loaded_locale_rec* rec, xmldoc* doc, uint32_t mask,
                          int32_t report_unbuilt) {
  int32_t last = 0;
  for (const mask_step& step : kMaskOrder) {
    if ((mask & step.bit) == 0) continue;
    rec->parts |= step.bit;
    int32_t rc = 0;
    if (step.kind == 0) {
      rc = dtype_read_all(ctx, &rec->datatypes, doc);
      if (!err_is_critical(rc)) {
        dtype_chain chain{};
        int32_t built = dtype_locale_chain(ctx, rec, &chain);
        if (built == 0) built = dtype_inherited_build(ctx, chain);
        if (built != 0) rc = built;
      }
    } else if (defn_kind_ops_get(step.kind) == nullptr) {
      // A kind this engine does not read yet: the locale is used without it.
      if (!report_unbuilt) continue;
      TQ_REPORT(ctx, TQ_WARN_READ_PROBLEMS, 1701, step.what, static_cast<const char*>(rec->iso));
      rc = TQ_WARN_READ_PROBLEMS;
    } else {
      rc = defn_locale_xml_read(ctx, rec->code, step.kind, doc);
      if (!err_is_critical(rc)) {
        int32_t built = defn_inherited_build(ctx, step.kind, rec);
        if (built != 0) rc = built;
      }
    }
    if (err_is_critical(rc)) return rc;
    if (rc != 0) last = rc;
  }
  return last;
}

const char* locale_part_unloaded(context* ctx, int32_t code, int32_t kind, const char** what) {
  const loaded_locale_rec* rec = rec_at(ctx, find_index(ctx, code));
  if (rec == nullptr) return nullptr;
  for (const mask_step& step : kMaskOrder) {
    if (step.kind != kind || (rec->parts & step.bit) != 0) continue;
    *what = step.one;
    return step.flag;
  }
  return nullptr;
}

uint32_t locale_part_flag(int32_t kind, const char** name) {
  for (const mask_step& step : kMaskOrder) {
    if (step.kind != kind) continue;
    if (name != nullptr) *name = step.flag;
    return step.bit;
  }
  if (name != nullptr) *name = nullptr;
  return 0;
}

namespace {

// What a read into a loaded locale appended, taken out again unless the
// read is kept: every record it appended cleared to an unloaded slot (a
// definition first, for it names its datatype), the parts read as they
// were. Indices stay where they are: nothing else may have bound to those
// records before the read is kept.
class parts_read_step {
 public:
  parts_read_step(context* ctx, loaded_locale_rec* rec) : ctx_(ctx), rec_(rec), parts_(rec->parts) {
    datatypes_ = rec->datatypes.count;
    for (int32_t kind = 1; kind <= kDefnKindCount; ++kind) defns_[kind] = rec->defns[kind].count;
  }
  ~parts_read_step() {
    if (kept_) return;
    for (int32_t kind = 1; kind <= kDefnKindCount; ++kind) {
      const defn_set& set = rec_->defns[kind];
      for (uint32_t i = defns_[kind]; i < set.count; ++i) defn_record_clear(ctx_, set.recs[i], 0);
    }
    for (uint32_t i = datatypes_; i < rec_->datatypes.count; ++i) dtype_clear(ctx_, rec_->datatypes.recs[i]);
    rec_->parts = parts_;
  }
  parts_read_step(const parts_read_step&) = delete;
  parts_read_step& operator=(const parts_read_step&) = delete;
  void keep() { kept_ = true; }

 private:
  context* ctx_;
  loaded_locale_rec* rec_;
  uint32_t parts_;
  uint32_t datatypes_ = 0;
  uint32_t defns_[kDefnKindCount + 1] = {};
  bool kept_ = false;
};

}  // namespace

int32_t locale_parts_missing_read(context* ctx, loaded_locale_rec* rec, xmldoc* doc, uint32_t flags) {
  const uint32_t missing = flags & kLoadAllParts & ~rec->parts;
  if (missing == 0) return 0;
  // Read as a load reads them, the locale current; what the locale's
  // definitions hold names the same records after, and those already
  // loaded that name what the read brought bind it, as in an import.
  const current_locale_kept current(ctx);
  int32_t rc = locale_select(ctx, rec->code);
  if (rc != 0) return rc;
  std::vector<defn_held_record> held;
  rc = defn_held_remember(ctx, rec, &held);
  if (rc != 0) return rc;
  {
    parts_read_step step(ctx, rec);
    try {
      rc = locale_parts_read(ctx, rec, doc, missing, 1);
    } catch (const std::bad_alloc&) {
      TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 29, "Allocating memory while reading parts into a loaded locale.");
      rc = TQ_ERR_NO_MEMORY;
    }
    if (!err_is_critical(rc)) step.keep();
  }
  defn_held_restore(ctx, rec, held);
  if (!err_is_critical(rc)) defn_all_rebind(ctx);
  return rc;
}

int32_t locale_load(context* ctx, const char* iso, uint32_t flags, lock_handle* lock, uint32_t nested,
                    int32_t* code_out) {
  *code_out = -1;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  load_chain chain{};
  // A load goes on past some failures: a definition whose reader meets a
  // file it cannot read now (a grammar whose categories it looks up, a
  // resource prepared on reading) may stay valid and read it on first use,
  // and an ancestor already loaded whose file the handle cannot lock stays
  // unlocked. Whatever failed on the way, the load says so with 104, not 0
  // beside a failure in its list.
  const uint32_t failures = err_failures_mark(ctx);
  int32_t rc = 0;
  {
    // A failed client's load gives back the locks it took (its own file and
    // its ancestors'), and only those: the handle may hold others.
    lock_mark_guard taken(ctx, lock);
    try {
      rc = load_impl(ctx, iso, flags, lock, nested, code_out, &chain);
    } catch (const std::bad_alloc&) {
      // Every step has given back what it held on the way out.
      TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 29, "Allocating memory while loading a locale.");
      rc = TQ_ERR_NO_MEMORY;
    }
    if (rc >= 0 || nested) taken.keep();
  }
  rc = err_went_on(ctx, failures, rc, TQ_WARN_LOCALE_PROBLEMS);
  int32_t released = hold.release();
  return rc != 0 ? rc : released;
}

int32_t locale_client_unload(context* ctx, int32_t code, lock_handle* lock) {
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  int32_t index = find_index(ctx, code);
  loaded_locale_rec* rec = rec_at(ctx, index);
  // Only this context's own loads are its to give back, and those closed
  // contexts left: a locale loaded only as another's parent is held by that
  // child, and another open context's load by that context (whose calls
  // would otherwise find it gone).
  int32_t released = 0;
  if (rec != nullptr && rec->code != -1 && sharer_loads_take(&rec->client_refs, ctx)) {
    released = release_ref(ctx, index, lock);
  }
  return rc_combine(hold.release(), released);
}

int32_t locale_current_rec_get(context* ctx, loaded_locale_rec** rec) {
  *rec = nullptr;
  loaded_locale_rec* r = rec_at(ctx, ctx->current_locale);
  // The index is checked against the code it was made current with: another
  // context sharing the state may have unloaded it (and the record been
  // reused for another locale) since.
  if (r == nullptr || r->code == -1 || r->code != ctx->current_locale_code) return TQ_ERR_NO_LOCALE;
  *rec = r;
  return 0;
}

int32_t locale_current_rec_get_locked(context* ctx, loaded_locale_rec** rec, write_hold* held) {
  *rec = nullptr;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  const int32_t rc = locale_current_rec_get(ctx, rec);
  if (rc == 0) *held = std::move(hold);
  return rc;
}

int32_t locale_select(context* ctx, int32_t code) {
  int32_t index = -1;
  int32_t rc = query_prologue(ctx, code, &index);
  if (rc != 0) return rc;
  make_current(ctx, index, code);
  return 0;
}

int32_t locale_index_get(context* ctx, int32_t code, uint32_t* index) {
  int32_t at = -1;
  int32_t rc = query_prologue(ctx, code, &at);
  *index = rc == 0 ? static_cast<uint32_t>(at) : 0;
  return rc;
}

int32_t locale_rec_get(context* ctx, int32_t code, loaded_locale_rec** rec) {
  *rec = nullptr;
  int32_t at = -1;
  int32_t rc = query_prologue(ctx, code, &at);
  if (rc == 0) *rec = rec_at(ctx, at);
  return rc;
}

int32_t locale_rec_get_locked(context* ctx, int32_t code, loaded_locale_rec** rec, write_hold* held) {
  *rec = nullptr;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  const int32_t rc = locale_rec_get(ctx, code, rec);
  if (rc == 0) *held = std::move(hold);
  return rc;
}

int32_t locale_rec_get_by_index(context* ctx, uint32_t index, loaded_locale_rec** rec) {
  *rec = nullptr;
  const locale_table_loaded* t = loaded(ctx);
  if (t == nullptr || index >= t->count) return TQ_ERR_INDEX;
  *rec = t->recs[index];
  return 0;
}

int32_t locale_rec_get_by_index_locked(context* ctx, uint32_t index, loaded_locale_rec** rec, write_hold* held) {
  *rec = nullptr;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  const int32_t rc = locale_rec_get_by_index(ctx, index, rec);
  if (rc == 0) *held = std::move(hold);
  return rc;
}

// ---- Exports ------------------------------------------------------------------

int32_t zel_locale_load_edit(context* ctx, int32_t locale, uint32_t flags, lock_handle* lock) {
  char iso[kLocaleIsoSize];
  if (locale_table_iso_get(nullptr, locale, iso, sizeof iso) != 0) {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 144, locale);
    return TQ_ERR_ARGUMENT;
  }
  int32_t code = -1;
  return locale_load(ctx, iso, flags, lock, 0, &code);
}

int32_t zel_locale_load(context* ctx, int32_t locale, uint32_t flags) {
  return zel_locale_load_edit(ctx, locale, flags, nullptr);
}

int32_t zel_locale_unload_edit(context* ctx, int32_t locale, lock_handle* lock) {
  return locale_client_unload(ctx, locale, lock);
}

int32_t zel_locale_unload(context* ctx, int32_t locale) { return locale_client_unload(ctx, locale, nullptr); }

int32_t locale_set(context* ctx, int32_t locale) { return locale_select(ctx, locale); }

int32_t locale_get(context* ctx, int32_t* locale) {
  *locale = -1;
  loaded_locale_rec* rec = nullptr;
  int32_t rc = locale_current_rec_get(ctx, &rec);
  if (rc != 0) return rc;
  *locale = rec->code;
  return 0;
}

int32_t parent_locale_get(context* ctx, int32_t locale, int32_t* parent) {
  *parent = -1;
  loaded_locale_rec* rec = nullptr;
  int32_t rc = locale_rec_get(ctx, locale, &rec);
  if (rc != 0) return rc;
  loaded_locale_rec* up = rec_at(ctx, rec->parent);
  if (up != nullptr && up->code != -1) *parent = up->code;
  return 0;
}

}  // namespace tq
