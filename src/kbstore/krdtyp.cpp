#include "kbstore/krdtyp.h"

#include <cstdlib>
#include <cstring>

#include "core/krerr.h"
#include "core/krstr.h"
#include "platform/npuchar.h"
#include "platform/nputf8.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr const char* kDtypeVersion = "7.0";
constexpr const char* kOwnerGroup = "9.0";
constexpr const char* kCommentsName = "Comments";

bool edit_mode(const context* ctx) { return ctx->edit_mode != 0; }

int32_t no_memory(context* ctx, const char* text) {
  TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 29, text);
  return TQ_ERR_NO_MEMORY;
}

// The name as it will be stored, with the tests every name must pass:
// not empty, not empty once trimmed, no comma, not already a name of the
// set (byte comparison; `self` is not skipped, so renaming a datatype to
// its present name is refused too).
int32_t name_check(context* ctx, const dtype_set& set, const char* in, char (&name)[kDtypeNameMax + 1]) {
  if (in == nullptr || *in == '\0') {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 165);
    return TQ_ERR_ARGUMENT;
  }
  str_copy_bounded(name, in, sizeof name);
  np_uchar_trim(name, sizeof name);
  if (name[0] == '\0') {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "'name' is empty.");
    return TQ_ERR_ARGUMENT;
  }
  for (uint32_t i = 0; i < set.count; ++i) {
    if (std::strcmp(set.recs[i]->name, name) == 0) {
      TQ_REPORT(ctx, TQ_ERR_NAME, 1360, static_cast<const char*>(name));
      return TQ_ERR_NAME;
    }
  }
  if (str_has_comma(name) != 0) {
    TQ_REPORT(ctx, TQ_ERR_NAME, 1361, static_cast<const char*>(name));
    return TQ_ERR_NAME;
  }
  return 0;
}

// Appends an empty record (own index = its position). In edit mode a
// position must be addressable below 256 (krindex.h).
int32_t append(context* ctx, dtype_set* set, dtype_rec** out) {
  *out = nullptr;
  if (edit_mode(ctx) && set->count >= kKbIndexSpan) {
    TQ_REPORT(ctx, TQ_ERR_CALL_STACK_FULL, 1745, kKbIndexSpan);
    return TQ_ERR_CALL_STACK_FULL;
  }
  if (set->count == set->capacity) {
    uint32_t grown = set->capacity == 0 ? 8 : set->capacity * 2;
    void* recs = np_realloc(set->recs, grown * sizeof(dtype_rec*));
    if (recs == nullptr) return no_memory(ctx, "Allocating memory for datatype.");
    set->recs = static_cast<dtype_rec**>(recs);
    set->capacity = grown;
  }
  dtype_rec* rec = static_cast<dtype_rec*>(np_calloc(1, sizeof(dtype_rec)));
  if (rec == nullptr) return no_memory(ctx, "Allocating memory for datatype.");
  rec->own_index = static_cast<int32_t>(set->count);
  set->recs[set->count++] = rec;
  *out = rec;
  return 0;
}

// Takes the last record off again (a failed add or copy).
void drop_last(context* ctx, dtype_set* set) {
  if (set->count == 0) return;
  dtype_rec* rec = set->recs[--set->count];
  dtype_clear(ctx, rec);
  std::free(rec);
}

// The record an inherited pair names, or NULL when the chain lacks it.
dtype_rec* pair_rec(const dtype_chain& chain, const dtype_pair& pair) {
  if (pair.depth >= chain.levels || chain.sets[pair.depth] == nullptr) return nullptr;
  const dtype_set& set = *chain.sets[pair.depth];
  return pair.position < set.count ? set.recs[pair.position] : nullptr;
}

bool own_name(const dtype_set& set, const char* name) {
  for (uint32_t i = 0; i < set.count; ++i) {
    if (std::strncmp(set.recs[i]->name, name, kDtypeNameMax) == 0) return true;
  }
  return false;
}

int32_t tokens_copy(context* ctx, dtype_rec* to, const dtype_rec& from) {
  if (from.token_count == 0) return 0;
  void* tokens = np_malloc(from.token_count * sizeof(dtype_token));
  if (tokens == nullptr) return no_memory(ctx, "Allocating memory for datatype.");
  std::memcpy(tokens, from.tokens, from.token_count * sizeof(dtype_token));
  std::free(to->tokens);
  to->tokens = static_cast<dtype_token*>(tokens);
  to->token_count = from.token_count;
  return 0;
}

// Takes the first inline "Comments" include out of a datatype document.
xmldoc* comments_detach(context* ctx, xmldoc* doc) {
  for (int32_t i = 0; i < doc->include_count; ++i) {
    xmldoc_include& inc = doc->includes[i];
    if (std::strcmp(inc.name, kCommentsName) != 0 || inc.kind != kXmlIncludeInline || inc.doc == nullptr) continue;
    if (inc.doc->shares != 0) {
      // Held by other includes as well: take a copy and leave it to them.
      xmldoc* copy = nullptr;
      return xmldoc_copy(ctx, &copy, inc.doc) == 0 ? copy : nullptr;
    }
    xmldoc* taken = inc.doc;
    std::free(inc.file_name);
    std::memmove(&doc->includes[i], &doc->includes[i + 1],
                 static_cast<size_t>(doc->include_count - i - 1) * sizeof(xmldoc_include));
    doc->include_count -= 1;
    return taken;
  }
  return nullptr;
}

}  // namespace

void dtype_clear(context* ctx, dtype_rec* rec) {
  if (rec == nullptr) return;
  rec->name[0] = '\0';
  rec->example[0] = '\0';
  rec->owner[0] = '\0';
  rec->own_index = -1;
  std::free(rec->tokens);
  rec->tokens = nullptr;
  rec->token_count = 0;
  xml_free(ctx, rec->comments);
  rec->comments = nullptr;
}

void dtype_set_free(context* ctx, dtype_set* set) {
  if (set == nullptr) return;
  for (uint32_t i = 0; i < set->count; ++i) {
    dtype_clear(ctx, set->recs[i]);
    std::free(set->recs[i]);
  }
  std::free(set->recs);
  std::free(set->inherited);
  *set = dtype_set{};
}

uint32_t dtype_count(const dtype_set& set) { return set.count + set.inherited_count; }

namespace {

// The record a caller's index names, or why none: no_ancestor, or
// out_of_range also for an unloaded datatype. Reports nothing.
kb_index_status record_find(context* ctx, const dtype_chain& chain, int32_t index, dtype_rec** out) {
  *out = nullptr;
  uint32_t counts[kDtypeChainMax] = {};
  for (uint32_t d = 0; d < chain.levels; ++d) counts[d] = chain.sets[d] != nullptr ? chain.sets[d]->count : 0;
  const dtype_set& own = *chain.sets[0];
  kb_index_ref ref{};
  const kb_index_status status = kb_index_decode(index, edit_mode(ctx), counts, chain.levels, own.inherited_count, &ref);
  if (status != kb_index_status::ok) return status;
  dtype_rec* rec = ref.inherited ? pair_rec(chain, own.inherited[ref.position])
                                 : chain.sets[ref.depth]->recs[ref.position];
  // An unloaded datatype keeps its place but is no datatype any more.
  if (rec == nullptr || rec->own_index < 0) return kb_index_status::out_of_range;
  *out = rec;
  return kb_index_status::ok;
}

bool chain_usable(const dtype_chain& chain) {
  return chain.levels != 0 && chain.levels <= kDtypeChainMax && chain.sets[0] != nullptr;
}

}  // namespace

int32_t dtype_record_get(context* ctx, const dtype_chain& chain, int32_t index, dtype_rec** out) {
  *out = nullptr;
  if (!chain_usable(chain)) return TQ_ERR_NO_LOCALE;
  switch (record_find(ctx, chain, index, out)) {
    case kb_index_status::no_ancestor:
      TQ_REPORT(ctx, TQ_ERR_HOLD_NOT_HELD, 166, index);
      return TQ_ERR_HOLD_NOT_HELD;
    case kb_index_status::out_of_range:
      TQ_REPORT(ctx, TQ_ERR_INDEX, 167, index);
      return TQ_ERR_INDEX;
    case kb_index_status::ok:
      break;
  }
  return 0;
}

dtype_rec* dtype_record_at(context* ctx, const dtype_chain& chain, int32_t index) {
  dtype_rec* rec = nullptr;
  if (chain_usable(chain)) (void)record_find(ctx, chain, index, &rec);
  return rec;
}

int32_t dtype_find_by_name(context* ctx, const dtype_chain& chain, const char* name, dtype_rec** out,
                           uint32_t* depth, uint32_t* position) {
  *out = nullptr;
  for (uint32_t d = 0; name != nullptr && d < chain.levels && d < kDtypeChainMax; ++d) {
    const dtype_set* set = chain.sets[d];
    for (uint32_t i = 0; set != nullptr && i < set->count; ++i) {
      if (np_uchar_icomp(set->recs[i]->name, name) != 0) continue;
      *out = set->recs[i];
      if (depth != nullptr) *depth = d;
      if (position != nullptr) *position = i;
      return 0;
    }
  }
  TQ_REPORT(ctx, TQ_ERR_NAME, 170, name != nullptr ? name : "");
  return TQ_ERR_NAME;
}

namespace {

// Calls f(caller's index, record) for every datatype of the chain's locale
// in index order: the own ones, then in edit mode each ancestor's own ones,
// outside it the inherited list; stops at the first that f returns true for.
template <typename F>
bool each_indexed(context* ctx, const dtype_chain& chain, F&& f) {
  const dtype_set& own = *chain.sets[0];
  for (uint32_t i = 0; i < own.count; ++i) {
    if (f(static_cast<int32_t>(i), own.recs[i])) return true;
  }
  if (edit_mode(ctx)) {
    for (uint32_t d = 1; d < chain.levels && d < kDtypeChainMax; ++d) {
      const dtype_set* set = chain.sets[d];
      for (uint32_t i = 0; set != nullptr && i < set->count && i < kKbIndexSpan; ++i) {
        if (f(kb_index_encode(d, i), set->recs[i])) return true;
      }
    }
    return false;
  }
  for (uint32_t i = 0; i < own.inherited_count; ++i) {
    const dtype_rec* rec = pair_rec(chain, own.inherited[i]);
    if (rec != nullptr && f(static_cast<int32_t>(own.count + i), rec)) return true;
  }
  return false;
}

// The caller's index of the first datatype answering to the name, or -1.
int32_t index_by_name(context* ctx, const dtype_chain& chain, const char* name) {
  int32_t found = -1;
  each_indexed(ctx, chain, [&](int32_t at, const dtype_rec* rec) {
    if (rec->own_index < 0 || np_uchar_icomp(rec->name, name) != 0) return false;
    found = at;
    return true;
  });
  return found;
}

}  // namespace

int32_t dtype_index_get_by_name(context* ctx, const dtype_chain& chain, const char* name, int32_t* index) {
  *index = -1;
  if (name == nullptr || chain.levels == 0 || chain.sets[0] == nullptr) return TQ_ERR_ARGUMENT;
  *index = index_by_name(ctx, chain, name);
  if (*index >= 0) return 0;
  TQ_REPORT(ctx, TQ_ERR_NAME, 170, name);
  return TQ_ERR_NAME;
}

int32_t dtype_index_rebound(context* ctx, const dtype_chain& chain, const dtype_rec* rec) {
  if (rec == nullptr || rec->own_index < 0 || !chain_usable(chain)) return -1;
  int32_t found = -1;
  each_indexed(ctx, chain, [&](int32_t at, const dtype_rec* r) {
    if (r != rec) return false;
    found = at;
    return true;
  });
  return found >= 0 ? found : index_by_name(ctx, chain, rec->name);
}

int32_t dtype_inherited_build(context* ctx, const dtype_chain& chain) {
  if (chain.levels == 0 || chain.sets[0] == nullptr) return TQ_ERR_ARGUMENT;
  dtype_set& own = *chain.sets[0];
  std::free(own.inherited);
  own.inherited = nullptr;
  own.inherited_count = 0;
  if (chain.levels < 2 || chain.sets[1] == nullptr) return 0;
  const dtype_set& parent = *chain.sets[1];
  const uint32_t most = parent.count + parent.inherited_count;
  if (most == 0) return 0;
  dtype_pair* list = static_cast<dtype_pair*>(np_malloc(most * sizeof(dtype_pair)));
  if (list == nullptr) return no_memory(ctx, "Allocating memory for datatype.");
  uint32_t n = 0;
  for (uint32_t i = 0; i < parent.count; ++i) {
    if (!own_name(own, parent.recs[i]->name)) list[n++] = dtype_pair{1, i};
  }
  for (uint32_t i = 0; i < parent.inherited_count; ++i) {
    // The parent's pairs count from the parent: one step further from here.
    dtype_pair pair{parent.inherited[i].depth + 1, parent.inherited[i].position};
    const dtype_rec* rec = pair_rec(chain, pair);
    if (rec != nullptr && !own_name(own, rec->name)) list[n++] = pair;
  }
  own.inherited = list;
  own.inherited_count = n;
  return 0;
}

int32_t dtype_add(context* ctx, dtype_set* set, const char* name, int32_t* index) {
  *index = -1;
  char checked[kDtypeNameMax + 1];
  int32_t rc = name_check(ctx, *set, name, checked);
  if (rc < 0) return rc;
  dtype_rec* rec = nullptr;
  rc = append(ctx, set, &rec);
  if (rc < 0) return rc;
  std::memcpy(rec->name, checked, sizeof checked);
  rec->editable = 1;
  *index = rec->own_index;
  return 0;
}

int32_t dtype_name_set(context* ctx, dtype_set* set, dtype_rec* rec, const char* name) {
  char checked[kDtypeNameMax + 1];
  int32_t rc = name_check(ctx, *set, name, checked);
  if (rc < 0) return rc;
  std::memcpy(rec->name, checked, sizeof checked);
  return 0;
}

int32_t dtype_copy(context* ctx, const dtype_chain& chain, const char* source, const char* dest, int32_t* index) {
  *index = -1;
  if (source == nullptr || *source == '\0' || dest == nullptr || *dest == '\0') {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 165);
    return TQ_ERR_ARGUMENT;
  }
  if (chain.levels == 0 || chain.sets[0] == nullptr) return TQ_ERR_NO_LOCALE;
  // Found before the new record exists; records keep their addresses while
  // the array grows, so the pointer stays good across the append.
  dtype_rec* from = nullptr;
  int32_t rc = dtype_find_by_name(ctx, chain, source, &from);
  if (rc < 0) return rc;
  dtype_set* set = chain.sets[0];
  int32_t at = -1;
  rc = dtype_add(ctx, set, dest, &at);
  if (rc < 0) return rc;
  dtype_rec* to = set->recs[at];
  rc = tokens_copy(ctx, to, *from);
  if (rc < 0) {
    drop_last(ctx, set);
    return rc;
  }
  std::memcpy(to->example, from->example, sizeof to->example);
  std::memcpy(to->owner, from->owner, sizeof to->owner);
  *index = at;
  return 0;
}

void dtype_example_set(dtype_rec* rec, const char* example) {
  str_copy_bounded(rec->example, example, sizeof rec->example);
}

void dtype_owner_set(dtype_rec* rec, const char* owner) { str_copy_bounded(rec->owner, owner, sizeof rec->owner); }

int32_t dtype_comments_set(context* ctx, dtype_rec* rec, xmldoc* doc) {
  // The getter hands out the stored document itself; a caller that edits it
  // and sets it back must not have it freed under it.
  if (doc == rec->comments) return 0;
  xml_free(ctx, rec->comments);
  rec->comments = (doc != nullptr && doc->record_count > 0) ? doc : nullptr;
  return 0;
}

int32_t dtype_token_add(context* ctx, dtype_rec* rec, uint32_t* token) {
  *token = 0;
  if (rec->token_count >= kDtypeTokensMax) {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 164, kDtypeTokensMax, static_cast<const char*>(rec->name));
    return TQ_ERR_INVALID_CONTENT;
  }
  void* tokens = np_realloc(rec->tokens, (rec->token_count + 1) * sizeof(dtype_token));
  if (tokens == nullptr) return no_memory(ctx, "Allocating memory for token of datatype.");
  rec->tokens = static_cast<dtype_token*>(tokens);
  dtype_token& t = rec->tokens[rec->token_count];
  t.key = rec->token_count;
  t.value[0] = '\0';
  *token = rec->token_count++;
  return 0;
}

int32_t dtype_token_value_set(context* ctx, dtype_rec* rec, int32_t token, const char* value) {
  if (token < 0 || static_cast<uint32_t>(token) >= rec->token_count) {
    TQ_REPORT(ctx, TQ_ERR_INDEX, 163, token, static_cast<const char*>(rec->name));
    return TQ_ERR_INDEX;
  }
  char text[kDtypeTokenValueMax + 1];
  str_copy_bounded(text, value, sizeof text);
  str_trim(text);
  for (uint32_t i = 0; i < rec->token_count; ++i) {
    if (i != static_cast<uint32_t>(token) && np_uchar_icomp(rec->tokens[i].value, text) == 0) {
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 168, static_cast<const char*>(text),
                static_cast<const char*>(rec->name));
      return TQ_ERR_INVALID_CONTENT;
    }
  }
  if (str_has_comma(text) != 0) {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 169, static_cast<const char*>(text),
              static_cast<const char*>(rec->name));
    return TQ_ERR_INVALID_CONTENT;
  }
  std::memcpy(rec->tokens[token].value, text, sizeof text);
  return 0;
}

int32_t dtype_token_delete(context* ctx, dtype_rec* rec, int32_t token) {
  if (token < 0 || static_cast<uint32_t>(token) >= rec->token_count) {
    TQ_REPORT(ctx, TQ_ERR_INDEX, 163, token, static_cast<const char*>(rec->name));
    return TQ_ERR_INDEX;
  }
  if (rec->token_count == 1) {
    std::free(rec->tokens);
    rec->tokens = nullptr;
    rec->token_count = 0;
    return 0;
  }
  for (uint32_t i = static_cast<uint32_t>(token); i + 1 < rec->token_count; ++i) {
    rec->tokens[i] = rec->tokens[i + 1];
    rec->tokens[i].key = i;
  }
  rec->token_count -= 1;
  return 0;
}

int32_t dtype_write(context* ctx, const dtype_rec& rec, xmldoc* settings) {
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, kDtypeType, kDtypeVersion, &doc);
  if (rc == 0) rc = xmldoc_prop_add(ctx, doc, "Name", rec.name);
  if (rc == 0) rc = xmldoc_prop_add(ctx, doc, "Example", rec.example);
  if (rc == 0 && rec.owner[0] != '\0') rc = xmldoc_prop_add_grouped(ctx, doc, kOwnerGroup, "Owner", rec.owner);
  if (rc == 0) rc = xmldoc_prop_add_yes_no(ctx, doc, "Editable", rec.editable != 0 ? 1 : 0, 1);
  if (rc == 0 && rec.comments != nullptr) {
    xmldoc* copy = nullptr;
    rc = xmldoc_copy(ctx, &copy, rec.comments);
    if (rc == 0) {
      rc = xmldoc_include_add(ctx, doc, kCommentsName, kXmlIncludeInline, copy);
      if (rc != 0) xml_free(ctx, copy);
    }
  }
  for (uint32_t i = 0; rc == 0 && i < rec.token_count; ++i) {
    rc = xmldoc_record_add(ctx, doc, "", rec.tokens[i].value, nullptr);
  }
  if (rc == 0) rc = xmldoc_include_add(ctx, settings, kDtypeType, kXmlIncludeInline, doc);
  if (rc != 0) xml_free(ctx, doc);
  return rc < 0 ? rc : 0;
}

int32_t dtype_write_all(context* ctx, const dtype_set& set, xmldoc* settings) {
  for (uint32_t i = 0; i < set.count; ++i) {
    if (set.recs[i]->own_index < 0) continue;
    int32_t rc = dtype_write(ctx, *set.recs[i], settings);
    if (rc < 0) return rc;
  }
  return 0;
}

int32_t dtype_read_all(context* ctx, dtype_set* set, xmldoc* settings) {
  if (settings == nullptr) return TQ_ERR_ARGUMENT;
  int32_t result = 0;
  for (int32_t i = 0; i < settings->include_count; ++i) {
    xmldoc* doc = settings->includes[i].doc;
    if (doc == nullptr || std::strcmp(doc->type, kDtypeType) != 0) continue;
    dtype_rec* rec = nullptr;
    int32_t rc = append(ctx, set, &rec);
    if (rc < 0) return rc_combine(result, rc);
    // A bad name leaves the datatype nameless; the rest is still read.
    result = rc_combine(result, dtype_name_set(ctx, set, rec, xmldoc_prop_get(ctx, doc, "Name")));
    dtype_example_set(rec, xmldoc_prop_get(ctx, doc, "Example"));
    dtype_owner_set(rec, xmldoc_prop_get(ctx, doc, "Owner"));
    rec->editable = std::strcmp(xmldoc_prop_get(ctx, doc, "Editable"), "Y") == 0 ? 1 : 0;
    rec->comments = comments_detach(ctx, doc);
    for (int32_t r = 0; r < doc->record_count; ++r) {
      if (doc->records[r].key == nullptr) continue;  // an empty record is no token
      uint32_t token = 0;
      rc = dtype_token_add(ctx, rec, &token);
      if (rc == 0) {
        const char* value = doc->records[r].value;
        rc = dtype_token_value_set(ctx, rec, static_cast<int32_t>(token), value != nullptr ? value : "");
        // The refused token goes again, so what was read stays loadable.
        if (rc < 0) dtype_token_delete(ctx, rec, static_cast<int32_t>(token));
      }
      if (rc < 0) {
        result = rc_combine(result, rc);
        if (rc == TQ_ERR_NO_MEMORY) return result;
        break;
      }
    }
  }
  return result;
}

}  // namespace tq
