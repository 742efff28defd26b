// Accessors of parse definitions with logic of their own; the plain ones are
// rows bound to the shared definition accessors (kbstore/krdefnacc.cpp).
#include "parse/krpdefacc.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/krenc.h"
#include "core/krerr.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdefnacc.h"
#include "kbstore/krdtok.h"
#include "kbstore/krlib.h"
#include "parse/krpdef.h"
#include "resources/krgram.h"
#include "resources/krregxcat.h"
#include "core/krstr.h"

namespace tq {

const field_desc kParseTokenUseSeparator = flag_field<&dtok_rec::use_separator>("Use Separator", &kDefnTokens);
const field_desc kParseTokenSeparator =
    text_field<&dtok_rec::separator>("Separator", &kDefnTokens, kFieldConvert);

namespace {

constexpr int32_t K = kDefnParse;

void drop_prepared(context* ctx, defn_rec* rec) { kDefnRecords.invalidate(ctx, rec, kFieldDropsPrepared); }

// Runs body(rec) on the definition taken for change and gives the hold back
// on every path.
template <typename F>
int32_t edit(context* ctx, int32_t index, F&& body) {
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t rc = defn_record_get_for_write(ctx, K, index, &rec, &held);
  if (rc < 0) return rc;
  try {
    rc = body(rec);
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  return rc_combine(rc, held.release());
}

}  // namespace

// ---- Normalization libraries --------------------------------------------------------

int32_t tqx_parse_defn_normalization_regexlib_name_get(context* ctx, int32_t index, char* name) {
  return defn_normalization_regexlib_name_get_by_index(ctx, K, index, 0, name);
}

int32_t tqx_parse_defn_normalization_regexlib_name_set(context* ctx, int32_t index, const char* name) {
  std::vector<char> text(kDtokRsrcNameMax + 1);
  const int32_t conv = strio_in(ctx, name, text.data(), kDtokRsrcNameMax, kStrioConvert);
  if (conv < 0) return conv;
  if (text[0] == '\0') return rc_combine(defn_normalization_regexlibs_delete_all(ctx, K, index), conv);
  int32_t rc = edit(ctx, index, [&](defn_rec* rec) {
    if (rec->kind == 0) return TQ_ERR_INDEX;
    rsrc_ref fresh;
    int32_t r = rsrc_open_checked(ctx, kRsrcRegex, text.data(), 0, &fresh);
    if (r < 0) return r;
    int32_t released = 0;
    for (rsrc_ref& old : rec->normalization) released = rc_combine(released, old.release(ctx));
    rec->normalization.clear();  // keeps its room: an empty list had nothing to move
    const int32_t grown =
        defn_list_append(rec->normalization, std::move(fresh), [ctx](rsrc_ref& f) { (void)f.release(ctx); });
    if (grown < 0) return grown;  // the list was empty: nothing changed
    // As emptying the list does: without the old libraries a value is
    // matched uppercased, as the vocabularies hold words.
    rec->automatic_uppercasing = 1;
    drop_prepared(ctx, rec);
    return rc_combine(released < 0 ? released : 0, r);
  });
  return rc_combine(rc, conv);
}

int32_t tqx_parse_defn_normalization_regexlib_add(context* ctx, int32_t index, const char* name) {
  std::vector<char> text(kDtokRsrcNameMax + 1);
  const int32_t conv = strio_in(ctx, name, text.data(), kDtokRsrcNameMax, kStrioConvert);
  if (conv < 0) return conv;
  // The shared accessor takes an empty name for "delete all"; this export
  // refuses it.
  if (text[0] == '\0') return TQ_ERR_ARGUMENT;
  return defn_normalization_regexlib_add(ctx, K, index, name);
}

// ---- Whole definitions ---------------------------------------------------------------

namespace {

// Gives the definition its datatype and one token per datatype token, in
// order, named as the datatype's tokens (UTF-8 already: no conversion). A
// datatype with a token longer than a token name keeps is refused first
// (-300, message 1954), its length said: cut, the name would be no token
// of the datatype.
int32_t tokens_from_datatype(context* ctx, int32_t index, int32_t dtype_index) {
  int32_t rc = defn_datatype_index_set_naming(ctx, K, index, dtype_index, UINT32_MAX);
  if (rc < 0) return rc;
  return edit(ctx, index, [&](defn_rec* rec) {
    defn_token_owner owner;
    int32_t r = defn_token_owner_get(ctx, rec, &owner);
    for (uint32_t t = 0; r >= 0 && t < owner.owner.datatype_token_count; ++t) {
      int32_t position = -1;
      r = dtok_list_add(ctx, owner.owner, &rec->tokens, &position);
      if (r < 0) break;
      dtok_rec* tok = rec->tokens.items[static_cast<size_t>(position)].get();
      r = dtok_name_set(ctx, owner.owner, rec->tokens.count(), tok, owner.datatype_tokens[t], 0);
    }
    drop_prepared(ctx, rec);
    return r;
  });
}

}  // namespace

int32_t tqx_parse_defn_add(context* ctx, const char* name, int32_t dtype_index, int32_t* parse_defn_index) {
  *parse_defn_index = -1;
  int32_t index = -1;
  int32_t rc = defn_add(ctx, K, name, kDefnNameConvert, &index);
  if (rc < 0) return rc;
  const int32_t built = tokens_from_datatype(ctx, index, dtype_index);
  if (built < 0) {
    // A half-made definition would hold the name, so that the caller could
    // not even try again: the appended record goes.
    (void)defn_unload_last(ctx, K);
    return built;
  }
  *parse_defn_index = index;
  return rc_combine(rc, built);
}

// ---- The kind part ---------------------------------------------------------------------

namespace {

constexpr uint32_t kNameOut = 1028;     // a token or grammar name given out
constexpr uint32_t kCategoryOut = kCategoryNameSize - 1;

// The kind part of a definition found for reading.
int32_t part_for_read(context* ctx, int32_t index, defn_rec** rec, parse_defn_kind_rec** part) {
  *part = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, K, index, rec);
  if (rc < 0) return rc;
  *part = parse_defn_part(*rec);
  return *part == nullptr ? TQ_ERR_INDEX : 0;
}

// Runs body(rec, part) on the definition taken for change.
template <typename F>
int32_t edit_part(context* ctx, int32_t index, F&& body) {
  return edit(ctx, index, [&](defn_rec* rec) {
    parse_defn_kind_rec* part = parse_defn_part(rec);
    if (part == nullptr) return TQ_ERR_INDEX;
    return body(rec, part);
  });
}

// The same, and on success the definition must be prepared again.
template <typename F>
int32_t edit_part_prepared(context* ctx, int32_t index, F&& body) {
  return edit_part(ctx, index, [&](defn_rec* rec, parse_defn_kind_rec* part) {
    int32_t r = body(rec, part);
    if (r >= 0) drop_prepared(ctx, rec);
    return r;
  });
}

// A UTF-8 text given out in the session encoding; a positive conversion
// result is not passed on.
int32_t text_out(context* ctx, const char* utf8, char* out, uint32_t max) {
  int32_t rc = strio_out(ctx, utf8, out, max, kStrioConvert);
  if (rc < 0) {
    strio_out_clear(ctx, out);
    return rc;
  }
  return 0;
}

// A caller's text in UTF-8 (at most max bytes); `unkept` (kStrioUnkept)
// for a name only looked for.
struct text_in {
  std::vector<char> text;
  int32_t rc;
  text_in(context* ctx, const char* given, uint32_t max, uint32_t unkept = 0) : text(max + 1, '\0') {
    rc = strio_in(ctx, given, text.data(), max, kStrioConvert | unkept);
  }
  const char* c_str() const { return text.data(); }
  bool empty() const { return text[0] == '\0'; }
};

}  // namespace

// ---- Grammar and root category -----------------------------------------------------------

int32_t tqx_parse_defn_grammar_name_get(context* ctx, int32_t index, char* name) {
  strio_out_clear(ctx, name);
  defn_rec* rec = nullptr;
  parse_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0 || !part->grammar.held()) return rc;
  char utf8[kRsrcNameSize];
  rc = rsrc_name_get(ctx, kRsrcGrammar, part->grammar.index(), utf8, sizeof utf8);
  if (rc < 0) return rc;
  return text_out(ctx, utf8, name, kNameOut);
}

int32_t tqx_parse_defn_grammar_name_set(context* ctx, int32_t index, const char* name) {
  text_in in(ctx, name, kDtokRsrcNameMax);
  if (in.rc < 0) return in.rc;
  return edit_part(ctx, index, [&](defn_rec* rec, parse_defn_kind_rec* part) {
    // The one swap: the new grammar is opened and read first, so another
    // kind's file of that name (a regex library, a chopper) is refused and
    // the definition keeps its grammar; "" names no file and is refused
    // too, as the file must name one.
    bool changed = false;
    const int32_t r = defn_ref_swap(ctx, kRsrcGrammar, part->grammar, in.c_str(), &changed, grammar_register);
    // The root category keeps its name: preparation looks it up in the new
    // grammar.
    if (changed) drop_prepared(ctx, rec);
    return r < 0 ? r : 0;
  });
}

int32_t tqx_parse_defn_root_category_name_get(context* ctx, int32_t index, char* name) {
  strio_out_clear(ctx, name);
  defn_rec* rec = nullptr;
  parse_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  return text_out(ctx, part->root_name, name, kCategoryOut);
}

int32_t tqx_parse_defn_root_category_index_set(context* ctx, int32_t index, int32_t cat_index) {
  return edit_part_prepared(ctx, index, [&](defn_rec*, parse_defn_kind_rec* part) {
    grammar_rec* g = nullptr;
    int32_t r = part->grammar.held() ? grammar_get(ctx, part->grammar.index(), &g) : TQ_ERR_INDEX;
    if (r < 0) return r;
    // A negative index names no category either.
    const grammar_category* c = grammar_category_get(g, cat_index);
    if (c == nullptr) return TQ_ERR_INDEX;
    part->root_index = cat_index;
    str_copy_bounded(part->root_name, c->cat.name, sizeof part->root_name);
    return 0;
  });
}

// ---- Optimization parameters ------------------------------------------------------------

namespace {

template <typename F>
int32_t opt_get(context* ctx, int32_t index, int32_t* out, F&& value) {
  *out = 0;
  defn_rec* rec = nullptr;
  parse_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  *out = value(part->opt);
  return 0;
}

// Switches the block's override on (starting from the values in effect),
// then stores one value.
int32_t opt_set(context* ctx, int32_t index, int32_t parse_opt_params::*field, int32_t value) {
  return edit_part_prepared(ctx, index, [&](defn_rec*, parse_defn_kind_rec* part) {
    optp_override_set(ctx, &part->opt, 1);
    part->opt.*field = value;
    return 0;
  });
}

}  // namespace

int32_t tqx_parse_defn_opt_params_override_get(context* ctx, int32_t index, uint32_t* override_flag) {
  int32_t v = 0;
  int32_t rc = opt_get(ctx, index, &v, [](const parse_opt_params& p) { return static_cast<int32_t>(p.override_flag); });
  *override_flag = static_cast<uint32_t>(v);
  return rc;
}
int32_t tqx_parse_defn_opt_params_scoring_levels_get(context* ctx, int32_t index, int32_t* levels) {
  return opt_get(ctx, index, levels, [&](const parse_opt_params& p) { return optp_scoring_levels_effective(ctx, &p); });
}
int32_t tqx_parse_defn_opt_params_resource_limit_get(context* ctx, int32_t index, int32_t* limit) {
  return opt_get(ctx, index, limit, [&](const parse_opt_params& p) { return optp_resource_limit_effective(ctx, &p); });
}
int32_t tqx_parse_defn_opt_params_input_length_get(context* ctx, int32_t index, int32_t* length) {
  return opt_get(ctx, index, length, [&](const parse_opt_params& p) { return optp_input_length_effective(ctx, &p); });
}

int32_t tqx_parse_defn_opt_params_override_set(context* ctx, int32_t index, uint32_t override_flag) {
  return edit_part_prepared(ctx, index, [&](defn_rec*, parse_defn_kind_rec* part) {
    optp_override_set(ctx, &part->opt, override_flag != 0 ? 1 : 0);
    return 0;
  });
}
int32_t tqx_parse_defn_opt_params_scoring_levels_set(context* ctx, int32_t index, int32_t levels) {
  // The engines score at most as many levels as they hold room for: a level
  // count out of range is refused here rather than met at the first parse.
  if (int32_t rc = optp_levels_validate(ctx, levels); rc < 0) return rc;
  return opt_set(ctx, index, &parse_opt_params::levels, levels);
}
int32_t tqx_parse_defn_opt_params_resource_limit_set(context* ctx, int32_t index, int32_t limit) {
  return opt_set(ctx, index, &parse_opt_params::limit, limit);
}
int32_t tqx_parse_defn_opt_params_input_length_set(context* ctx, int32_t index, int32_t length) {
  // Any other value leaves no parser to pick and is written as automatic.
  if (int32_t rc = optp_input_length_validate(ctx, length); rc < 0) return rc;
  return opt_set(ctx, index, &parse_opt_params::input_length, length);
}

// ---- Token categories -------------------------------------------------------------------

namespace {

template <typename F>
int32_t token_block_read(context* ctx, int32_t index, int32_t token, F&& body) {
  dtok_rec* tok = nullptr;
  int32_t rc = defn_token_get_for_read(ctx, K, index, token, &tok);
  if (rc < 0) return rc;
  const parse_token_kind_rec* block = parse_token_part(tok);
  if (block == nullptr) return TQ_ERR_INDEX;
  return body(tok, block);
}

// Runs body(rec, block) on the token taken for change; the definition must
// be prepared again after a change.
template <typename F>
int32_t token_block_edit(context* ctx, int32_t index, int32_t token, F&& body) {
  dtok_rec* tok = nullptr;
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t rc = defn_token_get_for_write(ctx, K, index, token, &tok, &rec, &held);
  if (rc < 0) return rc;
  parse_token_kind_rec* block = parse_token_part(tok);
  try {
    rc = block == nullptr ? TQ_ERR_INDEX : body(rec, block);
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  return rc_combine(rc, defn_token_write_end(ctx, rec, rc >= 0, held));
}

}  // namespace

int32_t tqx_parse_defn_token_info_get(context* ctx, int32_t index, int32_t token, char* name, uint32_t* num_cats) {
  strio_out_clear(ctx, name);
  *num_cats = 0;
  return token_block_read(ctx, index, token, [&](const dtok_rec* tok, const parse_token_kind_rec* block) {
    *num_cats = block->count;
    return text_out(ctx, tok->name, name, kNameOut);
  });
}

int32_t tqx_parse_defn_token_cat_abbr_get(context* ctx, int32_t index, int32_t token, int32_t cat, char* abbr) {
  strio_out_clear(ctx, abbr);
  return token_block_read(ctx, index, token, [&](const dtok_rec*, const parse_token_kind_rec* block) {
    if (cat < 0 || static_cast<uint32_t>(cat) >= block->count) return TQ_ERR_INDEX;
    return text_out(ctx, block->cats[cat].name, abbr, kCategoryOut);
  });
}

int32_t tqx_parse_defn_token_cat_add(context* ctx, int32_t index, int32_t token, const char* abbr) {
  text_in in(ctx, abbr, kCategoryOut);
  if (in.rc < 0) return in.rc;
  if (int32_t rc = category_name_kept_check(ctx, in.c_str()); rc < 0) return rc;
  // Uppercased, as categories read from files are: the spans and the
  // no-solution matches compare names byte for byte.
  int32_t rc = token_block_edit(ctx, index, token, [&](defn_rec* rec, parse_token_kind_rec* block) {
    return parse_token_cat_add(ctx, rec, block, in.c_str(), 0);
  });
  return rc_combine(rc, in.rc);
}

int32_t tqx_parse_defn_token_cat_list_clear(context* ctx, int32_t index, int32_t token) {
  return token_block_edit(ctx, index, token, [&](defn_rec*, parse_token_kind_rec* block) {
    for (parse_token_cat& c : block->cats) c = parse_token_cat{};
    block->count = 0;
    return 0;
  });
}

// ---- No-solution settings ---------------------------------------------------------------
// Slots follow the token positions: slot p holds the no-solution categories
// of token p, so adding and deleting tokens adds and removes slots with them.

namespace {

constexpr uint32_t kTokenNameIn = kDtokNameInMax;

// The position of the definition's token of exactly that name (UTF-8), or
// -802 with message 1472.
int32_t token_position(context* ctx, const defn_rec* rec, const char* name, int32_t* p) {
  *p = -1;
  for (uint32_t i = 0; i < rec->tokens.count(); ++i) {
    if (std::strcmp(rec->tokens.items[i]->name, name) == 0) {
      *p = static_cast<int32_t>(i);
      return 0;
    }
  }
  TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 1472, defn_kind_name(K), static_cast<const char*>(rec->name));
  return TQ_ERR_ARGUMENT;
}

// An unfilled slot: no key, no categories.
int32_t slot_append(context* ctx, dtok_list* slots) {
  auto slot = std::make_unique<dtok_rec>();
  int32_t rc = dtok_init(ctx, K, slot.get());
  if (rc < 0) return rc;
  slot->key = -1;
  slots->items.push_back(std::move(slot));
  return 0;
}

void slot_clear(dtok_rec* slot) {
  slot->key = -1;
  slot->name[0] = '\0';
  if (parse_token_kind_rec* block = parse_token_part(slot)) block->count = 0;
}

uint32_t slot_cat_count(const dtok_rec* slot) {
  const parse_token_kind_rec* block = parse_token_part(slot);
  return block != nullptr ? block->count : 0;
}

// Slots up to one per token; on failure the list is as it was.
int32_t slots_fill(context* ctx, const defn_rec* rec, dtok_list* slots) {
  const size_t before = slots->items.size();
  slots->items.reserve(rec->tokens.count());
  while (slots->count() < rec->tokens.count()) {
    int32_t rc = slot_append(ctx, slots);
    if (rc < 0) {
      while (slots->items.size() > before) {
        dtok_clear(ctx, slots->items.back().get(), 0);
        slots->items.pop_back();
      }
      return rc;
    }
  }
  return 0;
}

// Slot p of the token named `name`: -802 for a name that is no token's,
// -800 when the definition has no slot there.
int32_t slot_of(context* ctx, const defn_rec* rec, const parse_defn_kind_rec* part, const char* name, int32_t* p,
                dtok_rec** slot) {
  int32_t rc = token_position(ctx, rec, name, p);
  if (rc < 0) return rc;
  if (static_cast<uint32_t>(*p) >= part->nosol.count()) return TQ_ERR_INDEX;
  *slot = part->nosol.items[static_cast<size_t>(*p)].get();
  return 0;
}

}  // namespace

int32_t tqx_parse_defn_nosol_token_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  defn_rec* rec = nullptr;
  parse_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  *count = part->nosol.count();
  return 0;
}

int32_t tqx_parse_defn_nosol_token_info_get(context* ctx, int32_t index, int32_t slot, char* name,
                                            uint32_t* num_cats) {
  strio_out_clear(ctx, name);
  *num_cats = 0;
  defn_rec* rec = nullptr;
  parse_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  if (slot < 0 || static_cast<uint32_t>(slot) >= part->nosol.count()) return TQ_ERR_INDEX;
  const dtok_rec* s = part->nosol.items[static_cast<size_t>(slot)].get();
  if (s->key < 0) return 0;
  // The slot's name is the datatype token of the token it belongs to, as the
  // writer names it.
  defn_token_owner owner;
  rc = defn_token_owner_get(ctx, rec, &owner);
  if (rc < 0) return rc;
  const int32_t key = parse_nosol_key(rec, slot, s->key);
  if (static_cast<uint32_t>(key) >= owner.owner.datatype_token_count) return TQ_ERR_INDEX;
  *num_cats = slot_cat_count(s);
  return text_out(ctx, owner.datatype_tokens[key], name, kNameOut);
}

int32_t tqx_parse_defn_nosol_token_cat_info_get(context* ctx, int32_t index, int32_t slot, int32_t cat, char* abbr,
                                                uint32_t* max_words) {
  strio_out_clear(ctx, abbr);
  *max_words = 0;
  defn_rec* rec = nullptr;
  parse_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  if (slot < 0 || static_cast<uint32_t>(slot) >= part->nosol.count()) return TQ_ERR_INDEX;
  const parse_token_kind_rec* block = parse_token_part(part->nosol.items[static_cast<size_t>(slot)].get());
  if (block == nullptr || cat < 0 || static_cast<uint32_t>(cat) >= block->count) return TQ_ERR_INDEX;
  *max_words = static_cast<uint32_t>(std::max(block->cats[cat].max_words, 0));
  return text_out(ctx, block->cats[cat].name, abbr, kCategoryOut);
}

namespace {

// Sets up the slot of token p without categories; a definition without
// slots first gets one unfilled slot per token.
int32_t slot_set_up(context* ctx, const defn_rec* rec, parse_defn_kind_rec* part, int32_t p) {
  int32_t rc = slots_fill(ctx, rec, &part->nosol);
  if (rc < 0) return rc;
  dtok_rec* slot = part->nosol.items[static_cast<size_t>(p)].get();
  const dtok_rec* tok = rec->tokens.items[static_cast<size_t>(p)].get();
  slot_clear(slot);
  slot->key = tok->key;
  str_copy_bounded(slot->name, tok->name, sizeof slot->name);
  return 0;
}

}  // namespace

int32_t tqx_parse_defn_nosol_token_add(context* ctx, int32_t index, const char* name, int32_t* token_index) {
  *token_index = -1;
  text_in in(ctx, name, kTokenNameIn);
  if (in.rc < 0) return in.rc;
  if (in.empty()) return TQ_ERR_ARGUMENT;
  int32_t rc = edit_part(ctx, index, [&](defn_rec* rec, parse_defn_kind_rec* part) {
    int32_t p = -1;
    int32_t r = token_position(ctx, rec, in.c_str(), &p);
    if (r >= 0) r = slot_set_up(ctx, rec, part, p);
    if (r >= 0) *token_index = p;
    return r;
  });
  return rc < 0 ? rc : 0;
}

int32_t tqx_parse_defn_nosol_category_add(context* ctx, int32_t index, const char* tname, const char* cname,
                                          uint32_t max_words, int32_t* cidx) {
  *cidx = -1;
  text_in token(ctx, tname, kTokenNameIn);
  if (token.rc < 0) return token.rc;
  text_in category(ctx, cname, kCategoryOut);
  if (category.rc < 0) return category.rc;
  if (int32_t rc = category_name_kept_check(ctx, category.c_str()); rc < 0) return rc;
  if (token.empty() || category.empty()) return TQ_ERR_ARGUMENT;
  int32_t rc = edit_part(ctx, index, [&](defn_rec* rec, parse_defn_kind_rec* part) {
    int32_t p = -1;
    dtok_rec* slot = nullptr;
    int32_t r = slot_of(ctx, rec, part, token.c_str(), &p, &slot);
    if (r < 0) return r;
    parse_token_kind_rec* block = parse_token_part(slot);
    if (block == nullptr) return TQ_ERR_INDEX;
    const auto words = static_cast<int32_t>(std::min<uint32_t>(max_words, INT32_MAX));
    r = parse_token_cat_add(ctx, rec, block, category.c_str(), words);
    if (r < 0) return r;
    // A slot never set up takes its token now, so that it is written under
    // the token's name.
    if (slot->key < 0) {
      const dtok_rec* tok = rec->tokens.items[static_cast<size_t>(p)].get();
      slot->key = tok->key;
      str_copy_bounded(slot->name, tok->name, sizeof slot->name);
    }
    *cidx = static_cast<int32_t>(block->count) - 1;
    return r;
  });
  return rc_combine(rc, rc_combine(token.rc, category.rc));
}

int32_t tqx_parse_defn_nosol_category_delete(context* ctx, int32_t index, const char* tname, int32_t cat) {
  text_in token(ctx, tname, kTokenNameIn, kStrioUnkept);
  if (token.rc < 0) return token.rc;
  if (token.empty()) return TQ_ERR_ARGUMENT;
  int32_t rc = edit_part(ctx, index, [&](defn_rec* rec, parse_defn_kind_rec* part) {
    int32_t p = -1;
    dtok_rec* slot = nullptr;
    int32_t r = slot_of(ctx, rec, part, token.c_str(), &p, &slot);
    if (r < 0) return r;
    return parse_token_cat_delete(ctx, parse_token_part(slot), cat);
  });
  return rc_combine(rc, token.rc);
}

namespace {

// Slot p loses its categories (with remove, the slot goes too, as its token
// does); when it was the only slot holding any, no slot is left and there is
// no unknown token any more.
void slot_drop(context* ctx, parse_defn_kind_rec* part, int32_t p, bool remove) {
  if (static_cast<uint32_t>(p) >= part->nosol.count()) return;
  dtok_rec* slot = part->nosol.items[static_cast<size_t>(p)].get();
  uint32_t others = 0;
  for (const auto& s : part->nosol.items) others += s.get() != slot && slot_cat_count(s.get()) != 0 ? 1 : 0;
  if (slot_cat_count(slot) != 0 && others == 0) {
    dtok_list_clear(ctx, &part->nosol, 0);
    part->unknown_token = -1;
    return;
  }
  if (!remove) {
    if (slot_cat_count(slot) != 0) slot_clear(slot);
    return;
  }
  dtok_clear(ctx, slot, 0);
  part->nosol.items.erase(part->nosol.items.begin() + p);
}

}  // namespace

int32_t tqx_parse_defn_nosol_token_delete(context* ctx, int32_t index, const char* tok_name) {
  text_in in(ctx, tok_name, kTokenNameIn, kStrioUnkept);
  if (in.rc < 0) return in.rc;
  if (in.empty()) return TQ_ERR_ARGUMENT;
  int32_t rc = edit_part(ctx, index, [&](defn_rec* rec, parse_defn_kind_rec* part) {
    if (part->nosol.count() == 0) return 0;
    int32_t p = -1;
    int32_t r = token_position(ctx, rec, in.c_str(), &p);
    if (r < 0) return r;
    slot_drop(ctx, part, p, false);
    return 0;
  });
  return rc_combine(rc, in.rc);
}

int32_t tqx_parse_defn_nosol_delete_all(context* ctx, int32_t index) {
  return edit_part(ctx, index, [&](defn_rec*, parse_defn_kind_rec* part) {
    dtok_list_clear(ctx, &part->nosol, 0);
    part->excluded.clear();
    part->excluded_present = 0;
    part->unknown_token = -1;
    return 0;
  });
}

int32_t tqx_parse_defn_nosol_unknown_token_info_get(context* ctx, int32_t index, char* name, int32_t* tidx) {
  strio_out_clear(ctx, name);
  *tidx = 0;
  defn_rec* rec = nullptr;
  parse_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0 || part->unknown_token < 0) return rc;
  dtok_rec* tok = nullptr;
  rc = defn_token_get_for_read(ctx, K, index, part->unknown_token, &tok);
  if (rc < 0) return rc;
  *tidx = part->unknown_token;
  return text_out(ctx, tok->name, name, kNameOut);
}

int32_t tqx_parse_defn_nosol_unknown_token_set(context* ctx, int32_t index, const char* name, int32_t* token_index) {
  *token_index = -1;
  text_in in(ctx, name, kTokenNameIn);
  if (in.rc < 0) return in.rc;
  if (in.empty()) return TQ_ERR_ARGUMENT;
  int32_t rc = edit_part(ctx, index, [&](defn_rec* rec, parse_defn_kind_rec* part) {
    int32_t p = -1;
    int32_t r = token_position(ctx, rec, in.c_str(), &p);
    if (r < 0) return r;
    part->unknown_token = p;
    *token_index = p;
    return 0;
  });
  return rc_combine(rc, in.rc);
}

int32_t tqx_parse_defn_nosol_xcat_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  defn_rec* rec = nullptr;
  parse_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  *count = static_cast<uint32_t>(part->excluded.size());
  return 0;
}

int32_t tqx_parse_defn_nosol_xcat_info_get(context* ctx, int32_t index, int32_t entry, char* abbr) {
  strio_out_clear(ctx, abbr);
  defn_rec* rec = nullptr;
  parse_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  if (entry < 0 || static_cast<size_t>(entry) >= part->excluded.size()) return TQ_ERR_INDEX;
  return text_out(ctx, part->excluded[static_cast<size_t>(entry)].name, abbr, kCategoryOut);
}

int32_t tqx_parse_defn_nosol_xcat_add(context* ctx, int32_t index, const char* cname, int32_t* cidx) {
  *cidx = -1;
  text_in in(ctx, cname, kCategoryOut);
  if (in.rc < 0) return in.rc;
  if (in.empty()) return TQ_ERR_ARGUMENT;
  if (int32_t rc = category_name_kept_check(ctx, in.c_str()); rc < 0) return rc;
  int32_t rc = edit_part(ctx, index, [&](defn_rec*, parse_defn_kind_rec* part) {
    int32_t r = parse_defn_excluded_add(ctx, part, in.c_str());
    if (r >= 0) *cidx = static_cast<int32_t>(part->excluded.size()) - 1;
    return r;
  });
  return rc_combine(rc, in.rc);
}

int32_t tqx_parse_defn_nosol_xcat_delete(context* ctx, int32_t index, int32_t entry) {
  return edit_part(ctx, index, [&](defn_rec*, parse_defn_kind_rec* part) {
    if (entry < 0 || static_cast<size_t>(entry) >= part->excluded.size()) return TQ_ERR_INDEX;
    part->excluded.erase(part->excluded.begin() + entry);
    if (part->excluded.empty()) part->excluded_present = 0;
    return 0;
  });
}

int32_t tqx_parse_defn_nosol_xcat_delete_all(context* ctx, int32_t index) {
  return edit_part(ctx, index, [&](defn_rec*, parse_defn_kind_rec* part) {
    part->excluded.clear();
    part->excluded_present = 0;
    return 0;
  });
}

// ---- Adding and deleting tokens ----------------------------------------------------------

int32_t tqx_parse_defn_token_add(context* ctx, int32_t index, const char* name, int32_t* token_index) {
  *token_index = -1;
  int32_t p = -1;
  // A name that is no token of the datatype adds nothing.
  int32_t rc = defn_token_add_named(ctx, K, index, name, &p);
  if (rc < 0) return rc;
  // The new token's no-solution slot (the definition's first slots when it
  // has none), found by position: the name is the token's already.
  rc = edit_part(ctx, index, [&](defn_rec* rec, parse_defn_kind_rec* part) {
    return slot_set_up(ctx, rec, part, p);
  });
  if (rc >= 0) *token_index = p;
  return rc < 0 ? rc : 0;
}

int32_t tqx_parse_defn_token_delete(context* ctx, int32_t index, int32_t token) {
  int32_t rc = defn_token_delete(ctx, K, index, token);
  if (rc < 0) return rc;
  return edit_part(ctx, index, [&](defn_rec*, parse_defn_kind_rec* part) {
    if (part->nosol.count() != 0) slot_drop(ctx, part, token, true);
    if (part->unknown_token == token) {
      part->unknown_token = -1;
    } else if (part->unknown_token > token) {
      part->unknown_token -= 1;
    }
    return 0;
  });
}

// ---- Categorization regex libraries ------------------------------------------------------

int32_t tqx_parse_defn_cat_regexlib_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  defn_rec* rec = nullptr;
  parse_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  *count = static_cast<uint32_t>(part->cat_regexlibs.size());
  return 0;
}

int32_t tqx_parse_defn_cat_regexlib_info_get(context* ctx, int32_t index, int32_t entry, char* filename,
                                             char* category, uint32_t* likelihood, uint32_t* stop) {
  strio_out_clear(ctx, filename);
  strio_out_clear(ctx, category);
  *likelihood = kLikelihoodDefault;
  *stop = 0;
  defn_rec* rec = nullptr;
  parse_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  if (entry < 0 || static_cast<size_t>(entry) >= part->cat_regexlibs.size()) return TQ_ERR_INDEX;
  int32_t l = 0;
  int32_t s = 0;
  rc = cat_regexlib_entry_info_get(ctx, part->cat_regexlibs[static_cast<size_t>(entry)], category, filename, &l, &s,
                                   kStrioConvert);
  if (rc < 0) {
    strio_out_clear(ctx, filename);
    strio_out_clear(ctx, category);
    return rc;
  }
  *likelihood = static_cast<uint32_t>(l);
  *stop = s != 0 ? 1 : 0;
  return rc;
}

int32_t tqx_parse_defn_cat_regexlib_info_set(context* ctx, int32_t index, int32_t entry, const char* filename,
                                             const char* category, uint32_t likelihood, uint32_t stop) {
  if (int32_t rc = cat_regexlib_texts_check(ctx, category, filename, kStrioConvert); rc < 0) return rc;
  return edit_part_prepared(ctx, index, [&](defn_rec*, parse_defn_kind_rec* part) {
    if (entry < 0 || static_cast<size_t>(entry) >= part->cat_regexlibs.size()) return TQ_ERR_INDEX;
    return cat_regexlib_entry_set(ctx, part->cat_regexlibs[static_cast<size_t>(entry)], category,
                                  part->grammar.index(), likelihood, filename, stop != 0 ? 1 : 0, kStrioConvert);
  });
}

int32_t tqx_parse_defn_cat_regexlib_add(context* ctx, int32_t index, const char* rlib_name, uint32_t likelihood,
                                        const char* cat_abbr, uint32_t stop) {
  return edit_part_prepared(ctx, index, [&](defn_rec*, parse_defn_kind_rec* part) {
    auto* entry = new cat_regexlib_entry;
    cat_regexlib_entry_init(entry);
    // Built from the caller's texts (converted, the category uppercased).
    int32_t r = cat_regexlib_entry_set(ctx, entry, cat_abbr, part->grammar.index(), likelihood, rlib_name,
                                       stop != 0 ? 1 : 0, kStrioConvert);
    if (r < 0) {
      cat_regexlib_entry_free(ctx, entry, 0);
      delete entry;
      return r;
    }
    const int32_t appended = parse_defn_cat_regexlib_append(ctx, part, entry);
    return appended < 0 ? appended : r;
  });
}

int32_t tqx_parse_defn_cat_regexlib_delete(context* ctx, int32_t index, int32_t entry) {
  return edit_part_prepared(ctx, index, [&](defn_rec*, parse_defn_kind_rec* part) {
    return parse_defn_cat_regexlib_delete(ctx, part, entry);
  });
}

int32_t tqx_parse_defn_cat_regexlibs_delete_all(context* ctx, int32_t index) {
  return edit_part(ctx, index, [&](defn_rec* rec, parse_defn_kind_rec* part) {
    while (!part->cat_regexlibs.empty()) {
      (void)parse_defn_cat_regexlib_delete(ctx, part, static_cast<int32_t>(part->cat_regexlibs.size()) - 1);
    }
    drop_prepared(ctx, rec);
    return 0;
  });
}

}  // namespace tq
