// The definition store: records, the index spaces over a locale and its
// ancestors, name lookup, add, copy and unload. Reading and writing the
// definition documents lives in krdefnxml.cpp.
//
// Every record is its own allocation and the sets hold pointers, so a record
// keeps its address while another clone appends. Records go away only when
// the last one of a set is removed (a failed add or copy) or the whole
// locale is unloaded.
#include "kbstore/krdefn.h"

#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <new>
#include <type_traits>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "core/krzel.h"
#include "kbstore/krindex.h"
#include "kbstore/krlocload.h"
#include "kbstore/krshared.h"
#include "kbstore/krxml.h"
#include "platform/npuchar.h"
#include "platform/nputf8.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr const char* kNoMemoryDefn = "Allocating memory for definition.";
constexpr const char* kNoMemoryCats = "Allocating memory for default cats list in defn.";

int32_t no_memory(context* ctx, const char* text) {
  TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 29, text);
  return TQ_ERR_NO_MEMORY;
}

bool edit_mode(const context* ctx) { return ctx->edit_mode != 0; }

bool kind_in_range(int32_t kind) { return kind >= 1 && kind <= kDefnKindCount; }

uint32_t strio_flags(uint32_t flags) { return (flags & kDefnNameConvert) != 0 ? kStrioConvert : 0; }

const char* kind_name(int32_t kind) { return defn_kind_name(kind); }

// A loaded locale's parent, or NULL when it has none (or it is gone).
loaded_locale_rec* parent_of(context* ctx, const loaded_locale_rec* locale) {
  if (locale == nullptr || locale->parent < 0) return nullptr;
  loaded_locale_rec* parent = nullptr;
  if (locale_rec_get_by_index(ctx, static_cast<uint32_t>(locale->parent), &parent) != 0) return nullptr;
  return parent != nullptr && parent->code != -1 ? parent : nullptr;
}

// The locale and its ancestors, nearest first: the edit-mode index space.
struct locale_chain {
  loaded_locale_rec* locs[kDtypeChainMax];
  uint32_t levels;
};

void chain_build(context* ctx, loaded_locale_rec* locale, locale_chain* chain) {
  *chain = locale_chain{};
  for (loaded_locale_rec* at = locale; at != nullptr && chain->levels < kDtypeChainMax; at = parent_of(ctx, at)) {
    chain->locs[chain->levels++] = at;
  }
}

// The record an inherited pair names, or NULL when its locale or position
// is gone.
defn_rec* pair_rec(context* ctx, int32_t kind, const defn_pair& pair) {
  if (pair.locale < 0) return nullptr;
  loaded_locale_rec* at = nullptr;
  if (locale_rec_get_by_index(ctx, static_cast<uint32_t>(pair.locale), &at) != 0 || at == nullptr ||
      at->code == -1) {
    return nullptr;
  }
  const defn_set& set = at->defns[kind];
  return pair.position < set.count ? set.recs[pair.position] : nullptr;
}

// The record at a caller's index in the locale (the kind is known good);
// report false: an index past the end is not recorded either.
int32_t lookup(context* ctx, int32_t kind, loaded_locale_rec* locale, int32_t index, defn_rec** out,
               bool report = true) {
  *out = nullptr;
  if (index < 0) return TQ_ERR_INDEX;
  locale_chain chain{};
  uint32_t counts[kDtypeChainMax] = {};
  if (edit_mode(ctx)) {
    chain_build(ctx, locale, &chain);
  } else {
    chain.locs[0] = locale;
    chain.levels = 1;
  }
  for (uint32_t d = 0; d < chain.levels; ++d) counts[d] = chain.locs[d]->defns[kind].count;
  const defn_set& own = locale->defns[kind];
  const uint32_t inherited = edit_mode(ctx) ? 0 : own.inherited_count;
  kb_index_ref ref{};
  switch (kb_index_decode(index, edit_mode(ctx), counts, chain.levels, inherited, &ref)) {
    case kb_index_status::no_ancestor:
      return TQ_ERR_INDEX;
    case kb_index_status::out_of_range: {
      if (!report) return TQ_ERR_INDEX;
      const uint32_t at = static_cast<uint32_t>(index);
      if (edit_mode(ctx)) {
        const uint32_t depth = at / kKbIndexSpan;
        const int32_t code = depth < chain.levels ? chain.locs[depth]->code : locale->code;
        TQ_REPORT(ctx, TQ_ERR_INDEX, 172, at % kKbIndexSpan, kind_name(kind), code);
      } else {
        TQ_REPORT(ctx, TQ_ERR_INDEX, 172, at - own.count, kind_name(kind), locale->code);
      }
      return TQ_ERR_INDEX;
    }
    case kb_index_status::ok:
      break;
  }
  defn_rec* rec = ref.inherited ? pair_rec(ctx, kind, own.inherited[ref.position])
                                : chain.locs[ref.depth]->defns[kind].recs[ref.position];
  if (rec == nullptr) return TQ_ERR_INDEX;
  *out = rec;
  return 0;
}

// Case-insensitive search for a UTF-8 name: own, then inherited (outside
// edit mode) or each ancestor's own (in edit mode). *index -1 when none.
int32_t find_by_name(context* ctx, int32_t kind, loaded_locale_rec* locale, const char* name, uint32_t flags,
                     int32_t* index, defn_rec** found) {
  *index = -1;
  defn_rec* rec = nullptr;
  int32_t at = -1;
  const defn_set& own = locale->defns[kind];
  for (uint32_t i = 0; i < own.count && at < 0; ++i) {
    if (np_uchar_icomp(own.recs[i]->name, name) == 0) {
      rec = own.recs[i];
      at = static_cast<int32_t>(i);
    }
  }
  if (at < 0 && edit_mode(ctx)) {
    locale_chain chain{};
    chain_build(ctx, locale, &chain);
    for (uint32_t d = 1; d < chain.levels && at < 0; ++d) {
      const defn_set& set = chain.locs[d]->defns[kind];
      for (uint32_t i = 0; i < set.count && i < kKbIndexSpan && at < 0; ++i) {
        if (np_uchar_icomp(set.recs[i]->name, name) == 0) {
          rec = set.recs[i];
          at = kb_index_encode(d, i);
        }
      }
    }
  } else if (at < 0) {
    for (uint32_t i = 0; i < own.inherited_count && at < 0; ++i) {
      defn_rec* r = pair_rec(ctx, kind, own.inherited[i]);
      if (r != nullptr && np_uchar_icomp(r->name, name) == 0) {
        rec = r;
        at = static_cast<int32_t>(own.count + i);
      }
    }
  }
  if (at < 0) {
    // A kind the locale was loaded without holds no name at all: the
    // message names the load flag, which is what the caller has to change.
    const char* what = nullptr;
    if (const char* flag = locale_part_unloaded(ctx, locale->code, kind, &what); flag != nullptr) {
      TQ_REPORT(ctx, TQ_ERR_NAME, 177, kind_name(kind), name, kind_name(kind), flag);
    } else {
      TQ_REPORT(ctx, TQ_ERR_NAME, 176, kind_name(kind), name);
    }
    return TQ_ERR_NAME;
  }
  if ((flags & kDefnAnySurface) == 0 && defn_surfaced_get(ctx, rec) == 0) {
    TQ_REPORT(ctx, TQ_ERR_INDEX, 175, kind_name(kind), name);
    return TQ_ERR_INDEX;
  }
  *index = at;
  if (found != nullptr) *found = rec;
  return 0;
}

// A caller's name into UTF-8 (at most 320 bytes): the conversion's result.
// `unkept` (kStrioUnkept) for a name only looked for.
int32_t name_in(context* ctx, const char* name, uint32_t flags, char (&out)[kDefnNameMax + 1], uint32_t unkept = 0) {
  out[0] = '\0';
  if (name == nullptr) return 0;
  return strio_in(ctx, name, out, kDefnNameMax, strio_flags(flags) | unkept);
}

// Trimmed copy of a UTF-8 name.
void name_trimmed(const char* name, char (&out)[kDefnNameMax + 1]) {
  str_copy_bounded(out, name, sizeof out);
  np_uchar_trim(out, sizeof out);
}

void ref_drop(context* ctx, rsrc_ref& ref, int32_t keep_refs) {
  if (keep_refs != 0) {
    ref.forget();
  } else {
    ref.release(ctx);
  }
}

// One more reference to each resource of src in dst (dst's lists empty).
// Entries src holds empty stay empty, so positions agree.
int32_t refs_share(context* ctx, const std::vector<rsrc_ref>& src, std::vector<rsrc_ref>* dst) {
  try {
    dst->reserve(src.size());
  } catch (const std::bad_alloc&) {
    return no_memory(ctx, kNoMemoryDefn);
  }
  for (const rsrc_ref& from : src) {
    rsrc_ref to;
    if (int32_t rc = from.share(ctx, &to); rc < 0) return rc;
    dst->push_back(std::move(to));  // within the reserved room: cannot throw
  }
  return 0;
}

int32_t vocabs_share(context* ctx, const std::vector<defn_vocab>& src, std::vector<defn_vocab>* dst) {
  try {
    dst->reserve(src.size());
  } catch (const std::bad_alloc&) {
    return no_memory(ctx, kNoMemoryDefn);
  }
  for (const defn_vocab& from : src) {
    defn_vocab to;
    to.stop = from.stop;
    to.fuzzy = from.fuzzy;
    if (int32_t rc = from.vocab.share(ctx, &to.vocab); rc < 0) return rc;
    dst->push_back(std::move(to));
  }
  return 0;
}

// Everything of src a copy takes over (not the name, the locale, comments
// and layouts); dst is a new record of the kind.
int32_t copy_into(context* ctx, const defn_rec* src, defn_rec* dst) {
  std::memcpy(dst->owner, src->owner, sizeof dst->owner);
  std::memcpy(dst->version, src->version, sizeof dst->version);
  std::memcpy(dst->replacement, src->replacement, sizeof dst->replacement);
  dst->version_supported = src->version_supported;
  dst->incomplete = src->incomplete;
  dst->deprecated = src->deprecated;
  dst->surface = src->surface;
  dst->valid = src->valid;
  dst->validity_bits = src->validity_bits;
  dst->unloaded_flag = src->unloaded_flag;
  dst->unloaded_what = src->unloaded_what;
  dst->datatype = src->datatype;
  dst->parse_defn = src->parse_defn;
  dst->allow_parsed_input = src->allow_parsed_input;
  dst->automatic_uppercasing = src->automatic_uppercasing;
  int32_t rc = refs_share(ctx, src->preprocessing, &dst->preprocessing);
  if (rc == 0) rc = src->chopper.share(ctx, &dst->chopper);
  if (rc == 0) rc = refs_share(ctx, src->normalization, &dst->normalization);
  if (rc == 0) rc = vocabs_share(ctx, src->vocabularies, &dst->vocabularies);
  if (rc == 0) rc = default_category_list_copy(ctx, &src->default_categories, &dst->default_categories);
  if (rc == 0) rc = src->postprocessing.share(ctx, &dst->postprocessing);
  if (rc == 0) rc = defn_kind_call<&defn_kind_ops::copy>(ctx, dst->kind, src, dst);
  if (rc >= 0) rc = dtok_list_copy(ctx, &dst->tokens, &src->tokens);
  return rc < 0 ? rc : 0;
}

// Takes the last own record of the set off: cleared (references given
// back), its list freed, deleted.
void drop_last(context* ctx, defn_set* set) {
  if (set->count == 0) return;
  defn_rec* rec = set->recs[--set->count];
  set->recs[set->count] = nullptr;
  defn_record_clear(ctx, rec, 0);
  default_category_list_free(&rec->default_categories);
  delete rec;
}

bool own_name(const defn_set& set, const char* name) {
  for (uint32_t i = 0; i < set.count; ++i) {
    if (std::strncmp(set.recs[i]->name, name, kDefnNameMax) == 0) return true;
  }
  return false;
}

int32_t current(context* ctx, loaded_locale_rec** locale) { return locale_current_rec_get(ctx, locale); }

// Every field that is not a list or a part: a new record (surface 1,
// validity bits 1) and a cleared one (kind 0, surface 0, validity bits 0)
// differ only there.
void scalars_reset(defn_rec* rec, int32_t kind, int32_t surface, uint32_t validity_bits) {
  rec->kind = kind;
  rec->name[0] = '\0';
  rec->owner[0] = '\0';
  rec->version[0] = '\0';
  rec->replacement[0] = '\0';
  rec->version_supported = 1;
  rec->incomplete = 0;
  rec->deprecated = 0;
  rec->locale = -1;
  rec->surface = surface;
  rec->valid = 0;
  rec->validity_bits = validity_bits;
  rec->unloaded_flag = nullptr;
  rec->unloaded_what = nullptr;
  rec->datatype = -1;
  rec->editable = 0;
  rec->reread = 0;
  rec->parse_defn = -1;
  rec->allow_parsed_input = 0;
  rec->automatic_uppercasing = 1;
}

// Calls f(what it names, &index) for every index the record holds of
// another definition or of a datatype: the common fields, then the kind
// part's (krkind.h).
template <typename F>
void held_each(defn_rec* rec, F&& f) {
  f(kHeldDatatype, &rec->datatype);
  f(int32_t{kDefnParse}, &rec->parse_defn);
  const defn_kind_ops* ops = defn_kind_ops_get(rec->kind);
  if (ops == nullptr || ops->held_indices == nullptr) return;
  using fn = std::remove_reference_t<F>;
  ops->held_indices(
      rec, [](void* arg, int32_t named, int32_t* held) { (*static_cast<fn*>(arg))(named, held); },
      const_cast<void*>(static_cast<const void*>(&f)));
}

// Calls f(locale, record) for every definition of every loaded locale that
// is not an emptied slot, until f returns true.
template <typename F>
void each_loaded_defn(context* ctx, F&& f) {
  const shared_contents* sc = ctx_contents(ctx);
  if (sc == nullptr) return;
  for (uint32_t i = 0; i < sc->locales.count; ++i) {
    loaded_locale_rec* locale = sc->locales.recs[i];
    if (locale == nullptr || locale->code == -1) continue;
    for (int32_t kind = 1; kind <= kDefnKindCount; ++kind) {
      const defn_set& set = locale->defns[kind];
      for (uint32_t j = 0; j < set.count; ++j) {
        defn_rec* rec = set.recs[j];
        if (rec != nullptr && rec->kind != 0 && f(locale, rec)) return;
      }
    }
  }
}

// The definition a load binds a name of the kind to, seen from `locale`:
// the first that answers to it (ignoring case) among the locale's own, then
// each ancestor's own, nearest first, as the reader finds the names a
// document holds. Outside edit mode the inherited list holds the ancestors'
// ones in that order, less those an own name hides, which the own ones
// answer for first. `gone` (about to be emptied; may be NULL) and emptied
// slots answer to no name. NULL when none answers.
defn_rec* bound_rec(context* ctx, int32_t kind, loaded_locale_rec* locale, const char* name, const defn_rec* gone) {
  locale_chain chain{};
  chain_build(ctx, locale, &chain);
  for (uint32_t d = 0; d < chain.levels; ++d) {
    const defn_set& set = chain.locs[d]->defns[kind];
    for (uint32_t i = 0; i < set.count && i < kKbIndexSpan; ++i) {
      defn_rec* rec = set.recs[i];
      if (rec != gone && rec->kind != 0 && np_uchar_icomp(rec->name, name) == 0) return rec;
    }
  }
  return nullptr;
}

// The index of `rec` in the locale's index space; -1 when it has none there.
int32_t index_in(context* ctx, int32_t kind, loaded_locale_rec* locale, const defn_rec* rec) {
  if (edit_mode(ctx)) {
    locale_chain chain{};
    chain_build(ctx, locale, &chain);
    for (uint32_t d = 0; d < chain.levels; ++d) {
      const defn_set& set = chain.locs[d]->defns[kind];
      for (uint32_t i = 0; i < set.count && i < kKbIndexSpan; ++i) {
        if (set.recs[i] == rec) return kb_index_encode(d, i);
      }
    }
    return -1;
  }
  const defn_set& own = locale->defns[kind];
  for (uint32_t i = 0; i < own.count; ++i) {
    if (own.recs[i] == rec) return static_cast<int32_t>(i);
  }
  for (uint32_t i = 0; i < own.inherited_count; ++i) {
    if (pair_rec(ctx, kind, own.inherited[i]) == rec) return static_cast<int32_t>(own.count + i);
  }
  return -1;
}

// Binds again, as a load binds it (bound_rec, `gone` left out), every
// index of a definition that `user` (of `locale`) holds and that
// pick(kind named, record held) selects; to none (-1) when nothing answers
// to the held one's name. A write names what a definition holds and the
// load finds it by that name from the holder's locale, so once a name
// comes or goes (an add, a copy, a rename, an unload) the index held must
// follow, or the definition would work on one definition now and on
// another after a write and a load. Without its parse definition a
// definition takes no parsed input either. Datatypes keep their indices.
// Under the write hold, before `gone` is cleared.
template <typename Pick>
void held_rebind(context* ctx, loaded_locale_rec* locale, defn_rec* user, const defn_rec* gone, Pick&& pick) {
  bool changed = false;
  held_each(user, [&](int32_t named, int32_t* held) {
    defn_rec* rec = nullptr;
    if (named == kHeldDatatype || *held < 0 || lookup(ctx, named, locale, *held, &rec, false) != 0 ||
        !pick(named, rec)) {
      return;
    }
    const defn_rec* to = bound_rec(ctx, named, locale, rec->name, gone);
    const int32_t index = to != nullptr ? index_in(ctx, named, locale, to) : -1;
    if (index != *held) {
      *held = index;
      changed = true;
    }
  });
  if (!changed) return;
  if (user->parse_defn < 0) user->allow_parsed_input = 0;
  const defn_kind_ops* ops = defn_kind_ops_get(user->kind);
  if (ops != nullptr && ops->invalidate != nullptr) ops->invalidate(ctx, user, kFieldDropsPrepared);
}

// Every loaded definition holding a definition of `kind` that answers to
// `name` (ignoring case), bound again (held_rebind).
void holders_rebind(context* ctx, int32_t kind, const char* name, const defn_rec* gone) {
  each_loaded_defn(ctx, [&](loaded_locale_rec* locale, defn_rec* user) {
    held_rebind(ctx, locale, user, gone, [&](int32_t named, const defn_rec* rec) {
      return named == kind && np_uchar_icomp(rec->name, name) == 0;
    });
    return false;
  });
}

}  // namespace

// ---- Records ------------------------------------------------------------------------

void defn_set_free(context* ctx, defn_set* set, int32_t keep_refs) {
  if (set == nullptr) return;
  for (uint32_t i = 0; i < set->count; ++i) {
    defn_rec* rec = set->recs[i];
    defn_record_clear(ctx, rec, keep_refs);
    default_category_list_free(&rec->default_categories);
    delete rec;
  }
  std::free(static_cast<void*>(set->recs));
  std::free(set->inherited);
  *set = defn_set{};
}

int32_t defn_record_init(context* ctx, int32_t kind, defn_rec* rec) {
  if (int32_t rc = defn_kind_check(ctx, kind); rc != 0) return rc;
  // A new record or a cleared one: the lists are empty.
  scalars_reset(rec, kind, 1, 1);
  rec->part = nullptr;
  // A cleared record keeps its (empty) list.
  if (rec->default_categories.slots == nullptr && default_category_list_init(&rec->default_categories) != 0) {
    rec->kind = 0;
    return no_memory(ctx, kNoMemoryCats);
  }
  int32_t rc = defn_kind_call<&defn_kind_ops::init>(ctx, kind, rec);
  if (rc < 0) {
    // Nothing of the kind to free: the record reads as cleared.
    rec->kind = 0;
    rec->part = nullptr;
    return rc;
  }
  return 0;
}

void defn_record_clear(context* ctx, defn_rec* rec, int32_t keep_refs) {
  if (rec == nullptr) return;
  dtok_list_clear(ctx, &rec->tokens, keep_refs);
  // A cleared record (kind 0) has no kind part: no hook runs twice.
  if (rec->kind != 0) {
    const defn_kind_ops* ops = defn_kind_ops_get(rec->kind);
    if (ops != nullptr && ops->free != nullptr) ops->free(ctx, rec, keep_refs);
  }
  rec->part = nullptr;
  for (rsrc_ref& ref : rec->preprocessing) ref_drop(ctx, ref, keep_refs);
  rec->preprocessing.clear();
  ref_drop(ctx, rec->chopper, keep_refs);
  for (rsrc_ref& ref : rec->normalization) ref_drop(ctx, ref, keep_refs);
  rec->normalization.clear();
  for (defn_vocab& v : rec->vocabularies) ref_drop(ctx, v.vocab, keep_refs);
  rec->vocabularies.clear();
  ref_drop(ctx, rec->postprocessing, keep_refs);
  // The entries go, the list stays: accessors on an unloaded slot find an
  // empty list rather than freed memory.
  default_category_list_clear(&rec->default_categories);
  xml_free(ctx, rec->comments);
  rec->comments = nullptr;
  xml_free(ctx, rec->layouts);
  rec->layouts = nullptr;
  xml_free(ctx, rec->unread);
  rec->unread = nullptr;
  scalars_reset(rec, 0, 0, 0);
}

int32_t defn_record_append(context* ctx, loaded_locale_rec* locale, int32_t kind, defn_rec** out,
                           uint32_t* position) {
  *out = nullptr;
  *position = 0;
  if (int32_t rc = defn_kind_check(ctx, kind); rc != 0) return rc;
  if (locale == nullptr) return TQ_ERR_NO_LOCALE;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  int32_t rc = 0;
  defn_set& set = locale->defns[kind];
  // An edit-mode position must stay below 256 (krindex.h): position 256
  // would read as the parent's first definition.
  if (edit_mode(ctx) && set.count >= kKbIndexSpan) {
    TQ_REPORT(ctx, TQ_ERR_CALL_STACK_FULL, 1756, kKbIndexSpan, kind_name(kind));
    return rc_combine(TQ_ERR_CALL_STACK_FULL, hold.release());
  }
  if (set.count == set.capacity) {
    const uint32_t grown = set.capacity == 0 ? 8 : set.capacity * 2;
    void* recs = np_realloc(static_cast<void*>(set.recs), grown * sizeof(defn_rec*));
    if (recs == nullptr) return rc_combine(no_memory(ctx, kNoMemoryDefn), hold.release());
    set.recs = static_cast<defn_rec**>(recs);
    set.capacity = grown;
  }
  defn_rec* rec = new (std::nothrow) defn_rec;
  if (rec == nullptr) return rc_combine(no_memory(ctx, kNoMemoryDefn), hold.release());
  rc = defn_record_init(ctx, kind, rec);
  if (rc < 0) {
    default_category_list_free(&rec->default_categories);
    delete rec;
    return rc_combine(rc, hold.release());
  }
  rec->locale = locale->code;
  *position = set.count;
  set.recs[set.count++] = rec;
  *out = rec;
  return hold.release();
}

int32_t defn_name_check(context* ctx, const defn_set& set, int32_t kind, const defn_rec* self, const char* name) {
  if (name == nullptr || name[0] == '\0') {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "'name' is empty.");
    return TQ_ERR_ARGUMENT;
  }
  for (uint32_t i = 0; i < set.count; ++i) {
    if (set.recs[i] != self && std::strcmp(set.recs[i]->name, name) == 0) {
      TQ_REPORT(ctx, TQ_ERR_NAME, 181, kind_name(kind), name);
      return TQ_ERR_NAME;
    }
  }
  if (str_has_comma(name) != 0) {
    TQ_REPORT(ctx, TQ_ERR_NAME, 182, kind_name(kind), name);
    return TQ_ERR_NAME;
  }
  return 0;
}

int32_t defn_rec_name_set(context* ctx, const defn_set& set, defn_rec* rec, const char* name) {
  if (name == nullptr) return TQ_ERR_ARGUMENT;
  if (std::strcmp(rec->name, name) == 0) return 0;
  char trimmed[kDefnNameMax + 1];
  name_trimmed(name, trimmed);
  int32_t rc = defn_name_check(ctx, set, rec->kind, rec, trimmed);
  if (rc < 0) return rc;
  std::memcpy(rec->name, trimmed, sizeof trimmed);
  return 0;
}

int32_t defn_rec_check_usable(context* ctx, const defn_rec* rec) {
  if (rec->valid == 0 && rec->unloaded_flag != nullptr) {
    TQ_REPORT(ctx, TQ_ERR_DEFN_INVALID, 1941, kind_name(rec->kind), static_cast<const char*>(rec->name),
              rec->unloaded_what, rec->unloaded_flag);
  }
  if (rec->valid == 0) return TQ_ERR_DEFN_INVALID;
  if (rec->version_supported == 0 && (ctx->options & kOptionNewerVersions) == 0) {
    TQ_REPORT(ctx, TQ_ERR_NOT_USABLE, 1558, kind_name(rec->kind), static_cast<const char*>(rec->name));
    return TQ_ERR_NOT_USABLE;
  }
  return 0;
}

bool defn_rec_unloaded_report(context* ctx, defn_rec* rec, int32_t part, const char* name, int32_t code) {
  const char* what = nullptr;
  const char* flag = locale_part_unloaded(ctx, rec->locale, part, &what);
  if (flag == nullptr) return false;
  TQ_REPORT(ctx, code, 1940, kind_name(rec->kind), static_cast<const char*>(rec->name), what, name, flag);
  rec->unloaded_flag = flag;
  rec->unloaded_what = what;
  return true;
}

bool defn_failure_may_pass(int32_t code, bool passing_met) {
  switch (code) {
    case TQ_ERR_NO_MEMORY:
    case TQ_ERR_FILE_LOCKED:
    case TQ_ERR_FILE_WRITE:
    case TQ_ERR_FILE_OPERATION:
    case TQ_ERR_LOCK_ACQUIRE:
      return true;
    default:
      // A file that could not be opened or read for a cause of the moment
      // (an I/O error, no descriptor left, an interrupted call) may open
      // next time; one that is not there, or can never be read as it
      // stands, stays a fault of the knowledge base, reported once.
      return code < 0 && passing_met;
  }
}

void defn_rec_load_begin(context* ctx, defn_rec* rec) { rec->passing_mark = err_passing_mark(ctx); }

int32_t defn_rec_load_result(context* ctx, defn_rec* rec, int32_t step, int32_t* last) {
  // The failures of this step are those met since the record's last step
  // ended, each counted where it happened.
  const uint32_t passing = err_passing_mark(ctx);
  const bool passing_met = passing != rec->passing_mark;
  rec->passing_mark = passing;
  if (step == 0) return 0;
  if (last != nullptr) *last = step;
  rec->validity_bits |= kDefnValidityStepReported;
  if (step < 0) rec->valid = 0;
  if (defn_failure_may_pass(step, passing_met)) rec->reread = 1;
  return err_is_critical(step) ? step : 0;
}

void defn_memory_report(context* ctx, const char* format, const char* name) {
  char text[kDefnNameMax + 128];
  std::snprintf(text, sizeof text, format, name);
  TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 29, text);
}

int32_t defn_rec_version_raise(context* ctx, defn_rec* rec, const char* version) {
  if (version == nullptr || version[0] == '\0') return 0;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  int32_t rc = 0;
  uint32_t not_newer = 0;
  if (rec->version[0] != '\0') rc = kbstore_version_compare(ctx, version, rec->version, &not_newer);
  if (rc == 0 && not_newer == 0) str_copy_bounded(rec->version, version, sizeof rec->version);
  return rc_combine(rc, hold.release());
}

int32_t defn_version_raise_by_index(context* ctx, int32_t kind, int32_t index, const char* version) {
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t rc = defn_record_get_for_write(ctx, kind, index, &rec, &held);
  if (rc < 0) return rc;
  rc = defn_rec_version_raise(ctx, rec, version);
  return rc_combine(rc, held.release());
}

int32_t defn_surfaced_get(const context* ctx, const defn_rec* rec) {
  if ((ctx->options & kOptionAllSurfaced) != 0) return 1;
  return rec->surface != 0 ? 1 : 0;
}

int32_t defn_rec_parsed_input_get(const context* ctx, const defn_rec* rec) {
  if ((ctx->options & kOptionAllParsedInput) != 0) return 1;
  return rec->allow_parsed_input != 0 ? 1 : 0;
}

int32_t defn_index_rebase(int32_t source_index, int32_t held_index) {
  // -1 (none) must stay none: rebased it would name a real definition.
  if (held_index < 0 || source_index < static_cast<int32_t>(kKbIndexSpan)) return held_index;
  const int32_t span = static_cast<int32_t>(kKbIndexSpan);
  return (held_index / span + source_index / span) * span + held_index % span;
}

// ---- The store, by kind and index ----------------------------------------------------

int32_t defn_count_get(context* ctx, int32_t kind, uint32_t* count) {
  *count = 0;
  if (int32_t rc = defn_kind_check(ctx, kind); rc != 0) return rc;
  if (edit_mode(ctx)) return TQ_ERR_EDIT_MODE;
  loaded_locale_rec* locale = nullptr;
  int32_t rc = current(ctx, &locale);
  if (rc != 0) return rc;
  *count = locale->defns[kind].count + locale->defns[kind].inherited_count;
  return 0;
}

int32_t defn_count_get_by_locale(context* ctx, int32_t kind, int32_t locale, uint32_t* count) {
  *count = 0;
  if (int32_t rc = defn_kind_check(ctx, kind); rc != 0) return rc;
  loaded_locale_rec* rec = nullptr;
  int32_t rc = locale_rec_get(ctx, locale, &rec);
  if (rc != 0) return rc;
  *count = rec->defns[kind].count;
  return 0;
}

int32_t defn_record_get_for_read_in_locale(context* ctx, int32_t kind, int32_t locale, int32_t index,
                                           defn_rec** out) {
  *out = nullptr;
  if (int32_t rc = defn_kind_check(ctx, kind); rc != 0) return rc;
  loaded_locale_rec* rec = nullptr;
  int32_t rc = locale_rec_get(ctx, locale, &rec);
  return rc != 0 ? rc : lookup(ctx, kind, rec, index, out);
}

int32_t defn_record_get_for_read(context* ctx, int32_t kind, int32_t index, defn_rec** out) {
  *out = nullptr;
  if (int32_t rc = defn_kind_check(ctx, kind); rc != 0) return rc;
  loaded_locale_rec* rec = nullptr;
  int32_t rc = current(ctx, &rec);
  return rc != 0 ? rc : lookup(ctx, kind, rec, index, out);
}

namespace {

// An unloaded slot keeps its index (nothing held shifts) and reads as an
// empty definition, but takes no change: it is not written, so whatever a
// change put there would be lost, and a kind's own part is gone. Nor does
// a definition refused whole as it was read: it is written as its file
// gave it, and nothing of it was read to change.
int32_t refuse_unloaded(context* ctx, int32_t kind, int32_t index, const defn_rec* rec) {
  if (rec->unread != nullptr) {
    TQ_REPORT(ctx, TQ_ERR_DEFN_INVALID, 2452, kind_name(kind), static_cast<const char*>(rec->name));
    return TQ_ERR_DEFN_INVALID;
  }
  if (rec->kind != 0) return 0;
  TQ_REPORT(ctx, TQ_ERR_INDEX, 1980, kind_name(kind), index);
  return TQ_ERR_INDEX;
}

// The record under the write hold, loaded or not (an unload of an unloaded
// slot changes nothing and is no failure).
int32_t record_for_write_any(context* ctx, int32_t kind, int32_t index, defn_rec** out, write_hold* held) {
  *out = nullptr;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  // Looked up under the write hold: nothing found before it is trusted.
  const int32_t rc = defn_record_get_for_read(ctx, kind, index, out);
  if (rc < 0) {
    *out = nullptr;
    return rc_combine(rc, hold.release());
  }
  *held = std::move(hold);
  return rc;
}

}  // namespace

int32_t defn_record_get_for_write_in_locale(context* ctx, int32_t kind, int32_t locale, int32_t index,
                                            defn_rec** out, write_hold* held) {
  *out = nullptr;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  // Looked up under the write hold: nothing found before it is trusted.
  int32_t rc = defn_record_get_for_read_in_locale(ctx, kind, locale, index, out);
  if (rc >= 0) rc = rc_combine(refuse_unloaded(ctx, kind, index, *out), rc);
  if (rc < 0) {
    *out = nullptr;
    return rc_combine(rc, hold.release());
  }
  (*out)->reread = 0;  // what the caller sets is kept
  *held = std::move(hold);
  return rc;
}

int32_t defn_record_get_for_write(context* ctx, int32_t kind, int32_t index, defn_rec** out, write_hold* held) {
  write_hold hold;
  int32_t rc = record_for_write_any(ctx, kind, index, out, &hold);
  if (rc < 0) return rc;
  if (int32_t refused = refuse_unloaded(ctx, kind, index, *out); refused < 0) {
    *out = nullptr;
    return rc_combine(refused, hold.release());
  }
  (*out)->reread = 0;  // what the caller sets is kept
  *held = std::move(hold);
  return rc;
}

namespace {

// The index of a definition by a caller's name, in the locale of that code
// or, without one, in the current locale.
int32_t index_by_name(context* ctx, int32_t kind, const char* name, const int32_t* locale, uint32_t flags,
                      int32_t* index) {
  *index = -1;
  if (int32_t rc = defn_kind_check(ctx, kind); rc != 0) return rc;
  char text[kDefnNameMax + 1];
  const int32_t conv = name_in(ctx, name, flags, text, kStrioUnkept);
  if (conv < 0) return conv;
  if (text[0] == '\0') {
    TQ_REPORT(ctx, TQ_ERR_NAME, 174, kind_name(kind));
    return TQ_ERR_NAME;
  }
  loaded_locale_rec* rec = nullptr;
  int32_t rc = locale != nullptr ? locale_rec_get(ctx, *locale, &rec) : current(ctx, &rec);
  if (rc == 0) rc = find_by_name(ctx, kind, rec, text, flags, index, nullptr);
  return rc_combine(rc, conv);
}

}  // namespace

int32_t defn_index_get_by_name_in_locale(context* ctx, int32_t kind, const char* name, int32_t locale,
                                         uint32_t flags, int32_t* index) {
  return index_by_name(ctx, kind, name, &locale, flags, index);
}

int32_t defn_index_get_by_name(context* ctx, int32_t kind, const char* name, uint32_t flags, int32_t* index) {
  return index_by_name(ctx, kind, name, nullptr, flags, index);
}

int32_t defn_name_get_by_index(context* ctx, int32_t kind, int32_t index, uint32_t flags, char* out) {
  const uint32_t sflags = strio_flags(flags);
  if (sflags != 0) {
    strio_out_clear_n(ctx, out, kDefnNameMax + 1);
  } else {
    out[0] = '\0';
  }
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, kind, index, &rec);
  if (rc < 0) return rc;
  if ((flags & kDefnAnySurface) == 0 && defn_surfaced_get(ctx, rec) == 0) {
    TQ_REPORT(ctx, TQ_ERR_NOT_SURFACED, 173, kind_name(kind), index);
    return TQ_ERR_NOT_SURFACED;
  }
  // out holds TQ_NAME_MAX bytes and the session encoding's terminator, as
  // tq.h gives every output: a name at its limit comes out whole in UCS-2.
  return strio_out(ctx, rec->name, out, kDefnNameMax, sflags);
}

int32_t defn_add(context* ctx, int32_t kind, const char* name, uint32_t flags, int32_t* index) {
  *index = -1;
  if (int32_t rc = defn_kind_check(ctx, kind); rc != 0) return rc;
  char text[kDefnNameMax + 1];
  const int32_t conv = name_in(ctx, name, flags, text);
  if (conv < 0) return conv;
  if (text[0] == '\0') {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 174, kind_name(kind));
    return TQ_ERR_ARGUMENT;
  }
  char trimmed[kDefnNameMax + 1];
  name_trimmed(text, trimmed);
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  int32_t rc = 0;
  loaded_locale_rec* locale = nullptr;
  rc = current(ctx, &locale);
  // The name rules first, so that a refused name leaves nothing behind.
  if (rc == 0) rc = defn_name_check(ctx, locale->defns[kind], kind, nullptr, trimmed);
  defn_rec* rec = nullptr;
  uint32_t position = 0;
  if (rc == 0) rc = defn_record_append(ctx, locale, kind, &rec, &position);
  if (rc == 0) {
    std::memcpy(rec->name, trimmed, sizeof trimmed);
    rec->editable = 1;
    // The appended record's own index: a case-insensitive lookup could find
    // an older definition whose name differs only in case.
    *index = static_cast<int32_t>(position);
    // Users of an ancestor's definition of that name read it from here now.
    holders_rebind(ctx, kind, rec->name, nullptr);
  }
  return rc_combine(rc_combine(rc, hold.release()), conv);
}

int32_t defn_copy(context* ctx, int32_t kind, const char* source, const char* dest, uint32_t flags,
                  int32_t* index) {
  *index = -1;
  if (int32_t rc = defn_kind_check(ctx, kind); rc != 0) return rc;
  char from[kDefnNameMax + 1];
  char to[kDefnNameMax + 1];
  const int32_t conv = name_in(ctx, source, flags, from, kStrioUnkept);
  if (conv < 0) return conv;
  const int32_t conv2 = name_in(ctx, dest, flags, to);
  if (conv2 < 0) return conv2;
  if (from[0] == '\0' || to[0] == '\0') {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 180, kind_name(kind));
    return TQ_ERR_ARGUMENT;
  }
  char trimmed[kDefnNameMax + 1];
  name_trimmed(to, trimmed);
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  int32_t rc = 0;
  loaded_locale_rec* locale = nullptr;
  rc = current(ctx, &locale);
  // The source among all definitions, surfaced or not, ancestors included.
  int32_t source_index = -1;
  defn_rec* src = nullptr;
  if (rc == 0) rc = find_by_name(ctx, kind, locale, from, kDefnAnySurface, &source_index, &src);
  // The new name against every own definition before anything is appended,
  // so that no two own definitions end up with one name.
  if (rc == 0) rc = defn_name_check(ctx, locale->defns[kind], kind, nullptr, trimmed);
  defn_rec* dst = nullptr;
  uint32_t position = 0;
  if (rc == 0) rc = defn_record_append(ctx, locale, kind, &dst, &position);
  if (rc == 0) {
    // src keeps its address across the append: records never move.
    rc = copy_into(ctx, src, dst);
    if (rc == 0) {
      std::memcpy(dst->name, trimmed, sizeof trimmed);
      dst->editable = 1;
      // Only an edit-mode index tells the depth of the ancestor the source
      // came from; outside edit mode an index of 256 or more is a plain
      // position in a large locale, and the copy's indices stay as they are.
      const int32_t rebase_from = edit_mode(ctx) ? source_index : 0;
      held_each(dst, [rebase_from](int32_t, int32_t* held) { *held = defn_index_rebase(rebase_from, *held); });
      rc = defn_kind_call<&defn_kind_ops::remap>(ctx, kind, dst, rebase_from);
    }
    if (rc < 0) {
      drop_last(ctx, &locale->defns[kind]);
    } else {
      rc = 0;
      *index = static_cast<int32_t>(position);
      // What the copy holds is read from its own locale, and users of an
      // ancestor's definition of its name read it from here now.
      held_rebind(ctx, locale, dst, nullptr, [](int32_t, const defn_rec*) { return true; });
      holders_rebind(ctx, kind, dst->name, nullptr);
    }
  }
  return rc_combine(rc_combine(rc_combine(rc, hold.release()), conv), conv2);
}

namespace {

// Whether `user` (of `locale`) holds an index of `gone`.
bool names(context* ctx, loaded_locale_rec* locale, defn_rec* user, const defn_rec* gone) {
  bool found = false;
  held_each(user, [&](int32_t named, int32_t* held) {
    defn_rec* rec = nullptr;
    if (!found && named == gone->kind && *held >= 0 && lookup(ctx, named, locale, *held, &rec, false) == 0 &&
        rec == gone) {
      found = true;
    }
  });
  return found;
}

// A loaded definition that names `gone`, whose kind cannot be read without
// it, and for which no other definition answers to its name (to be bound
// in its place); NULL when there is none.
const defn_rec* user_that_needs(context* ctx, const defn_rec* gone) {
  const defn_rec* found = nullptr;
  each_loaded_defn(ctx, [ctx, gone, &found](loaded_locale_rec* locale, defn_rec* user) {
    const defn_kind_ops* ops = defn_kind_ops_get(user->kind);
    if (ops == nullptr || ops->needs_named == nullptr || ops->needs_named(gone->kind) == 0) return false;
    if (names(ctx, locale, user, gone) && bound_rec(ctx, gone->kind, locale, gone->name, gone) == nullptr) {
      found = user;
    }
    return found != nullptr;
  });
  return found;
}

// Outside edit mode a locale lists the definitions it inherits, leaving out
// those its own definitions hide (defn_inherited_build). When an own one
// goes, what it hid is inherited again, as the locale read again without
// it inherits it: the locale appends what its parent shows under that name
// (at the end, so the inherited ones keep their indices), and a descendant
// that inherited the gone one through it inherits that in its place (users
// of the gone one have forgotten it). Under the write hold, before `gone`
// is cleared.
void hidden_uncover(context* ctx, const defn_rec* gone) {
  const shared_contents* sc = ctx_contents(ctx);
  if (sc == nullptr || edit_mode(ctx)) return;
  const int32_t kind = gone->kind;
  defn_pair was{-1, 0};
  for (uint32_t i = 0; i < sc->locales.count && was.locale < 0; ++i) {
    const loaded_locale_rec* at = sc->locales.recs[i];
    if (at == nullptr || at->code == -1 || at->code != gone->locale) continue;
    for (uint32_t p = 0; p < at->defns[kind].count; ++p) {
      if (at->defns[kind].recs[p] == gone) was = defn_pair{static_cast<int32_t>(i), p};
    }
  }
  if (was.locale < 0) return;
  loaded_locale_rec* locale = sc->locales.recs[was.locale];
  // What the parent shows under the name: its own, else what it inherits.
  defn_pair shown{-1, 0};
  if (const loaded_locale_rec* parent = parent_of(ctx, locale); parent != nullptr) {
    const defn_set& up = parent->defns[kind];
    for (uint32_t i = 0; i < up.count && shown.locale < 0; ++i) {
      const defn_rec* r = up.recs[i];
      if (r->kind != 0 && std::strncmp(r->name, gone->name, kDefnNameMax) == 0) shown = defn_pair{locale->parent, i};
    }
    for (uint32_t i = 0; i < up.inherited_count && shown.locale < 0; ++i) {
      const defn_rec* r = pair_rec(ctx, kind, up.inherited[i]);
      if (r != nullptr && r->kind != 0 && std::strncmp(r->name, gone->name, kDefnNameMax) == 0) {
        shown = up.inherited[i];
      }
    }
  }
  if (shown.locale < 0) return;  // nothing hidden: the emptied slot is no definition to inherit
  defn_set& own = locale->defns[kind];
  auto* grown = static_cast<defn_pair*>(np_realloc(own.inherited, (own.inherited_count + 1) * sizeof(defn_pair)));
  // Without room the parent's stays out of sight, as before the unload.
  if (grown != nullptr) {
    own.inherited = grown;
    own.inherited[own.inherited_count++] = shown;
  }
  for (uint32_t i = 0; i < sc->locales.count; ++i) {
    loaded_locale_rec* below = sc->locales.recs[i];
    if (below == nullptr || below->code == -1) continue;
    defn_set& set = below->defns[kind];
    for (uint32_t j = 0; j < set.inherited_count; ++j) {
      if (set.inherited[j].locale == was.locale && set.inherited[j].position == was.position) set.inherited[j] = shown;
    }
  }
}

}  // namespace

int32_t defn_unload(context* ctx, int32_t kind, int32_t index) {
  if (index == -1) return TQ_ERR_ARGUMENT;
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t rc = record_for_write_any(ctx, kind, index, &rec, &held);
  if (rc < 0) return rc;
  if (rec->kind != 0) {
    // A user whose documents do not read without it keeps it loaded, as a
    // datatype stays while a definition is of it, unless an ancestor's
    // definition of its name takes its place; every other user binds what
    // its name then finds, or forgets it, as the documents read again do.
    if (const defn_rec* user = user_that_needs(ctx, rec); user != nullptr) {
      TQ_REPORT(ctx, TQ_ERR_NOT_USABLE, 1800, kind_name(rec->kind), static_cast<const char*>(rec->name),
                kind_name(user->kind), static_cast<const char*>(user->name), user->locale);
      return rc_combine(TQ_ERR_NOT_USABLE, held.release());
    }
    hidden_uncover(ctx, rec);
    holders_rebind(ctx, rec->kind, rec->name, rec);
  }
  defn_record_clear(ctx, rec, 0);
  return held.release();
}

void defn_holders_rebind(context* ctx, int32_t kind, const char* name) {
  if (kind_in_range(kind) && name != nullptr) holders_rebind(ctx, kind, name, nullptr);
}

int32_t defn_held_index_check(context* ctx, int32_t kind, int32_t locale, int32_t index) {
  loaded_locale_rec* at = nullptr;
  defn_rec* rec = nullptr;
  if (!kind_in_range(kind) || index < 0 || locale_rec_get(ctx, locale, &at) != 0 ||
      lookup(ctx, kind, at, index, &rec, false) != 0) {
    return 0;
  }
  const defn_rec* to = bound_rec(ctx, kind, at, rec->name, nullptr);
  if (to == nullptr || to == rec) return 0;
  TQ_REPORT(ctx, TQ_ERR_INDEX, 1961, kind_name(kind), index, locale, static_cast<const char*>(rec->name),
            index_in(ctx, kind, at, to));
  return TQ_ERR_INDEX;
}

void defn_all_rebind(context* ctx) {
  each_loaded_defn(ctx, [ctx](loaded_locale_rec* locale, defn_rec* user) {
    held_rebind(ctx, locale, user, nullptr, [](int32_t, const defn_rec*) { return true; });
    return false;
  });
}

int32_t defn_held_remember(context* ctx, loaded_locale_rec* locale, std::vector<defn_held_record>* kept) {
  kept->clear();
  dtype_chain chain{};
  const bool datatypes = dtype_locale_chain(ctx, locale, &chain) == 0;
  try {
    for (int32_t kind = 1; kind <= kDefnKindCount; ++kind) {
      const defn_set& set = locale->defns[kind];
      for (uint32_t i = 0; i < set.count; ++i) {
        defn_rec* user = set.recs[i];
        if (user == nullptr || user->kind == 0) continue;
        held_each(user, [&](int32_t named, int32_t* held) {
          if (*held < 0) return;
          const void* rec = nullptr;
          if (named == kHeldDatatype) {
            if (datatypes) rec = dtype_record_at(ctx, chain, *held);
          } else if (defn_rec* d = nullptr; lookup(ctx, named, locale, *held, &d, false) == 0 && d->kind == named) {
            rec = d;
          }
          kept->push_back({user, held, named, rec});
        });
      }
    }
  } catch (const std::bad_alloc&) {
    kept->clear();
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

void defn_held_restore(context* ctx, loaded_locale_rec* locale, const std::vector<defn_held_record>& kept) {
  dtype_chain chain{};
  const bool datatypes = dtype_locale_chain(ctx, locale, &chain) == 0;
  for (const defn_held_record& k : kept) {
    int32_t index = -1;
    if (k.rec == nullptr) {
      index = -1;
    } else if (k.named == kHeldDatatype) {
      if (datatypes) index = dtype_index_rebound(ctx, chain, static_cast<const dtype_rec*>(k.rec));
    } else {
      const defn_rec* to = bound_rec(ctx, k.named, locale, static_cast<const defn_rec*>(k.rec)->name, nullptr);
      if (to != nullptr) index = index_in(ctx, k.named, locale, to);
    }
    if (index == *k.index) continue;
    *k.index = index;
    if (k.user->parse_defn < 0) k.user->allow_parsed_input = 0;
    const defn_kind_ops* ops = defn_kind_ops_get(k.user->kind);
    if (ops != nullptr && ops->invalidate != nullptr) ops->invalidate(ctx, k.user, kFieldDropsPrepared);
  }
}

const defn_rec* defn_datatype_user(context* ctx, const dtype_rec* datatype) {
  const defn_rec* found = nullptr;
  each_loaded_defn(ctx, [ctx, datatype, &found](loaded_locale_rec* locale, defn_rec* user) {
    dtype_chain chain{};
    if (user->datatype < 0 || dtype_locale_chain(ctx, locale, &chain) != 0) return false;
    if (dtype_record_at(ctx, chain, user->datatype) == datatype) found = user;
    return found != nullptr;
  });
  return found;
}

int32_t defn_unload_last(context* ctx, int32_t kind) {
  if (int32_t rc = defn_kind_check(ctx, kind); rc != 0) return rc;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  int32_t rc = 0;
  loaded_locale_rec* locale = nullptr;
  rc = current(ctx, &locale);
  if (rc == 0 && locale->defns[kind].count == 0) rc = TQ_ERR_INDEX;
  if (rc == 0) {
    // Its add bound the users of an ancestor's definition of its name to
    // it: they go back to what that name finds without it, or a failed add
    // would leave them holding a position past the locale's definitions.
    // It is the last one, so no other own definition's index moves.
    const defn_set& set = locale->defns[kind];
    const defn_rec* gone = set.recs[set.count - 1];
    if (gone->kind != 0) holders_rebind(ctx, kind, gone->name, gone);
    drop_last(ctx, &locale->defns[kind]);
  }
  return rc_combine(rc, hold.release());
}

int32_t defn_inherited_build(context* ctx, int32_t kind, loaded_locale_rec* locale) {
  if (!kind_in_range(kind)) {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 171, kind);
    return TQ_ERR_ARGUMENT;
  }
  if (locale == nullptr) return TQ_ERR_ARGUMENT;
  defn_set& own = locale->defns[kind];
  std::free(own.inherited);
  own.inherited = nullptr;
  own.inherited_count = 0;
  if (edit_mode(ctx)) return 0;
  loaded_locale_rec* parent = parent_of(ctx, locale);
  if (parent == nullptr) return 0;
  const defn_set& up = parent->defns[kind];
  const uint32_t most = up.count + up.inherited_count;
  if (most == 0) return 0;
  auto* list = static_cast<defn_pair*>(np_malloc(most * sizeof(defn_pair)));
  if (list == nullptr) return no_memory(ctx, kNoMemoryDefn);
  uint32_t n = 0;
  // An unloaded slot of the parent (kind 0) is no definition to inherit.
  for (uint32_t i = 0; i < up.count; ++i) {
    const defn_rec* rec = up.recs[i];
    if (rec->kind != 0 && !own_name(own, rec->name)) list[n++] = defn_pair{locale->parent, i};
  }
  for (uint32_t i = 0; i < up.inherited_count; ++i) {
    const defn_rec* rec = pair_rec(ctx, kind, up.inherited[i]);
    if (rec != nullptr && rec->kind != 0 && !own_name(own, rec->name)) list[n++] = up.inherited[i];
  }
  if (n == 0) {
    std::free(list);
    return 0;
  }
  own.inherited = list;
  own.inherited_count = n;
  return 0;
}

namespace {

// The owner of a record's tokens, with the datatype `dt` (NULL: none).
void token_owner_fill(const defn_rec* rec, const dtype_rec* dt, defn_token_owner* out) {
  *out = defn_token_owner{};
  out->owner.kind = rec->kind;
  out->owner.defn_name = rec->name;
  out->owner.parse_defn = rec->parse_defn;
  out->owner.datatype_tokens = out->datatype_tokens;
  if (dt == nullptr) return;
  out->owner.datatype_name = dt->name;
  const uint32_t n = dt->token_count < kDtypeTokensMax ? dt->token_count : kDtypeTokensMax;
  for (uint32_t i = 0; i < n; ++i) out->datatype_tokens[i] = dt->tokens[i].value;
  out->owner.datatype_token_count = n;
}

}  // namespace

int32_t defn_token_owner_get(context* ctx, const defn_rec* rec, defn_token_owner* out) {
  token_owner_fill(rec, nullptr, out);
  if (rec->datatype < 0) return 0;
  loaded_locale_rec* locale = nullptr;
  int32_t rc = locale_rec_get(ctx, rec->locale, &locale);
  dtype_chain chain{};
  if (rc == 0) rc = dtype_locale_chain(ctx, locale, &chain);
  dtype_rec* dt = nullptr;
  if (rc == 0) rc = dtype_record_get(ctx, chain, rec->datatype, &dt);
  if (rc < 0) return rc;
  token_owner_fill(rec, dt, out);
  return 0;
}

void defn_token_owner_held(context* ctx, const defn_rec* rec, defn_token_owner* out) {
  token_owner_fill(rec, defn_datatype_held(ctx, rec), out);
}

const dtype_rec* defn_datatype_held(context* ctx, const defn_rec* rec) {
  if (rec->datatype < 0) return nullptr;
  loaded_locale_rec* locale = nullptr;
  dtype_chain chain{};
  if (locale_rec_get(ctx, rec->locale, &locale) != 0 || dtype_locale_chain(ctx, locale, &chain) != 0) return nullptr;
  return dtype_record_at(ctx, chain, rec->datatype);
}

const defn_rec* defn_held_get(context* ctx, int32_t kind, int32_t locale, int32_t index) {
  if (index < 0 || defn_kind_ops_get(kind) == nullptr) return nullptr;
  loaded_locale_rec* holder = nullptr;
  defn_rec* rec = nullptr;
  if (locale_rec_get(ctx, locale, &holder) != 0 || lookup(ctx, kind, holder, index, &rec, false) != 0) return nullptr;
  // An unloaded slot keeps its place but is no definition.
  return rec->kind == kind ? rec : nullptr;
}

int32_t defn_token_count_get_in_locale(context* ctx, int32_t kind, int32_t index, int32_t locale,
                                       uint32_t* count) {
  *count = 0;
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read_in_locale(ctx, kind, locale, index, &rec);
  if (rc < 0) return rc;
  *count = rec->tokens.count();
  return 0;
}

int32_t defn_token_name_get_in_locale(context* ctx, int32_t kind, int32_t index, int32_t locale, int32_t token,
                                      char* out) {
  strio_out_clear_n(ctx, out, kDtokNameOutSize);
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read_in_locale(ctx, kind, locale, index, &rec);
  if (rc < 0) return rc;
  // Only the kind and the name serve here (messages).
  dtok_owner owner;
  owner.kind = rec->kind;
  owner.defn_name = rec->name;
  return dtok_list_name_get(ctx, owner, &rec->tokens, token, out, kStrioConvert);
}

int32_t defn_token_key_get_by_name_in_locale(context* ctx, int32_t kind, int32_t index, int32_t locale,
                                             const char* name, uint32_t flags, int32_t* key) {
  *key = -1;
  char text[kDtokNameInMax + 1];
  const int32_t conv = strio_in(ctx, name != nullptr ? name : "", text, kDtokNameInMax, strio_flags(flags) | kStrioUnkept);
  if (conv < 0) return conv;
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read_in_locale(ctx, kind, locale, index, &rec);
  if (rc < 0) return rc;
  dtok_owner owner;
  owner.kind = rec->kind;
  owner.defn_name = rec->name;
  rc = dtok_list_key_get_by_name(ctx, owner, &rec->tokens, text, key);
  return rc_combine(rc, conv);
}

// ---- Field-table stores ------------------------------------------------------------

namespace {

int32_t record_lookup(context* ctx, const field_addr& addr, void** out) {
  *out = nullptr;
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, addr.kind, addr.index, &rec);
  if (rc >= 0) *out = rec;
  return rc;
}

int32_t record_lookup_for_write(context* ctx, const field_addr& addr, void** out) {
  *out = nullptr;
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, addr.kind, addr.index, &rec);
  if (rc >= 0) rc = rc_combine(refuse_unloaded(ctx, addr.kind, addr.index, rec), rc);
  if (rc >= 0) *out = rec;
  return rc;
}

int32_t token_lookup(context* ctx, const field_addr& addr, void** out) {
  *out = nullptr;
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, addr.kind, addr.index, &rec);
  if (rc < 0) return rc;
  dtok_owner owner;
  owner.kind = rec->kind;
  owner.defn_name = rec->name;
  dtok_rec* tok = nullptr;
  rc = dtok_list_get(ctx, owner, &rec->tokens, addr.item, &tok);
  if (rc >= 0) *out = tok;
  return rc;
}

void record_invalidate(context* ctx, void* rec, uint32_t what) {
  defn_rec* r = static_cast<defn_rec*>(rec);
  const defn_kind_ops* ops = defn_kind_ops_get(r->kind);
  if (ops != nullptr && ops->invalidate != nullptr) ops->invalidate(ctx, r, what);
}

int32_t record_version_raise(context* ctx, void* rec, const char* version) {
  return defn_rec_version_raise(ctx, static_cast<defn_rec*>(rec), version);
}

}  // namespace

const record_store kDefnRecords{record_lookup, record_invalidate, record_version_raise, nullptr,
                                record_lookup_for_write};
// A token does not know its definition: a token field set raises the
// version of, and drops what the kind prepared from, the definition found
// by the same (kind, index).
const record_store kDefnTokens{token_lookup, nullptr, nullptr, &kDefnRecords};

int32_t defn_run_under_write_hold(context* ctx, defn_rec* rec, int32_t kind, int32_t (*held)(context*, defn_rec*)) {
  // Refused while only reading (kRcNeedsWriteHold, nothing given up); nested
  // in the write hold, or with no hold, `rec` was found under a hold that
  // has not been given up since.
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  const int32_t rc = rec != nullptr && rec->kind == kind ? held(ctx, rec) : TQ_ERR_DEFN_INVALID;
  const int32_t released = hold.release();
  return rc < 0 ? rc : (released < 0 ? released : rc);
}

}  // namespace tq
