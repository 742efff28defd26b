// Every text getter and setter among the resource kinds' accessor rows, read
// from the export tables themselves (a new TQ_FNK row of these operations, or
// of field_get / field_set on a text field, is tested without a line here):
// texts cross in ISO-8859-1 and UTF-8 sessions,
// strict conversion fails with -10000 and changes nothing, a replaced
// character gives 116, a stale index -800 even when the text gave a warning,
// and the edit rules of the row and of the kind's record refuse with -501.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <type_traits>
#include <vector>

#include "api/krapi_frame.h"
#include "core/krstr.h"
#include "kbstore/krdefnacc.h"
#include "kbstore/krdtyp.h"
#include "kbstore/krfield.h"
#include "kbstore/krlib.h"
#include "kbstore/krlocp.h"
#include "kbstore/krvlt.h"
#include "match/krmdefacc.h"
#include "match/krminfo.h"
#include "parse/krpdefacc.h"
#include "resources/krchprexp.h"
#include "resources/krrsacc.h"
#include "standardize/krsdefacc.h"
#include "support/tq_test.h"

namespace {

using tq_test::Context;
using tq_test::TempDir;
using AnyFn = void (*)();

struct Row {
  std::string name;
  uint32_t edit;
  std::string op;  // the generic implementation
  uint32_t kind;
  const tq::rsrc_access* access;  // a shared accessor's row, or
  const tq::field_desc* field;    // a text field's row
  bool item;                      // the field's record is an item: a rule id follows the index
  AnyFn fn;
};

template <typename R, typename... A>
constexpr std::size_t arity(R (*)(A...)) {
  return sizeof...(A);
}

template <typename F, typename... Bound>
void collect(std::vector<Row>& rows, const char* name, uint32_t edit, const char* op, F fn, const Bound&... bound) {
  if constexpr (sizeof...(Bound) == 1 && (std::is_same_v<Bound, tq::rsrc_access> && ...)) {
    const tq::rsrc_access& k = (bound, ...);
    rows.push_back({name, edit, op, k.kind, &k, nullptr, false, reinterpret_cast<AnyFn>(fn)});
  } else if constexpr (sizeof...(Bound) == 2) {
    const auto& [kind, field] = std::tie(bound...);
    if constexpr (std::is_same_v<std::decay_t<decltype(field)>, tq::field_desc>) {
      if (field.type != tq::field_type::text && field.type != tq::field_type::owned_text) return;
      // Definitions are made through their kind's exports; their text rows
      // are tested with the kind (tests/api/test_parse_defn.cpp).
      if (field.store == &tq::kDefnRecords || field.store == &tq::kDefnTokens) return;
      // (ctx, index, text) or (ctx, index, item, text)
      rows.push_back({name, edit, op, static_cast<uint32_t>(kind), nullptr, &field, arity(fn) == 4,
                      reinterpret_cast<AnyFn>(fn)});
    }
  }
}

#define TQ_T_BOUND(a) TQ_CAT(TQ_T_BOUND_, TQ_IS_PAREN(a))(a)
#define TQ_T_BOUND_1(p)
#define TQ_T_BOUND_0(c) , ::tq::c
#define TQ_FN(...)
#define TQ_FNK(export_name, hold, edit, impl, ...) \
  collect(rows, #export_name, ::tq::api::edit, #impl, &export_name TQ_FOR_EACH(TQ_T_BOUND, __VA_ARGS__));

const std::vector<Row>& text_rows() {
  static const std::vector<Row> text = [] {
    std::vector<Row> rows;
#include "api/tables/all.def"
    std::vector<Row> kept;
    for (const Row& r : rows) {
      if (r.field != nullptr || r.op.starts_with("rsrc_owner") || r.op.starts_with("rsrc_locale_info") ||
          r.op == "rsrc_vault_info_set" || r.op == "rsrc_name_set" || r.op == "rsrc_name_get_by_index") {
        kept.push_back(r);
      }
    }
    return kept;
  }();
  return text;
}

#undef TQ_FN
#undef TQ_FNK

bool is_setter(const Row& r) { return r.op.ends_with("_set"); }
// Locale and vault names come in pairs and live in the kind's record; owner
// and name are one text of the registry slot.
bool is_pair(const Row& r) { return r.op.starts_with("rsrc_locale") || r.op.starts_with("rsrc_vault"); }

// A field's record made with the kind's record: the chopper's first rule has
// id 0; a higher id names no rule.
constexpr uint32_t kItem = 0;
constexpr uint32_t kNoItem = 5;

// The setter's texts: a alone, or a (ISO code, vault object name) and b
// (description).
int32_t set(const Row& r, tq_context* ctx, int32_t i, const char* a, const char* b, uint32_t item = kItem) {
  if (r.item) return reinterpret_cast<int32_t (*)(tq_context*, int32_t, uint32_t, const char*)>(r.fn)(ctx, i, item, a);
  if (!is_pair(r)) return reinterpret_cast<int32_t (*)(tq_context*, int32_t, const char*)>(r.fn)(ctx, i, a);
  if (r.op == "rsrc_locale_info_set") {
    return reinterpret_cast<int32_t (*)(tq_context*, int32_t, const char*, const char*, int32_t)>(r.fn)(ctx, i, a, b,
                                                                                                     29840);
  }
  return reinterpret_cast<int32_t (*)(tq_context*, int32_t, const char*, const char*)>(r.fn)(ctx, i, a, b);
}

int32_t get(const Row& r, tq_context* ctx, int32_t i, std::string* out, uint32_t item = kItem) {
  char a[4100] = {};
  char b[1100] = {};
  int32_t code = 0;
  if (r.item) {
    int32_t rc = reinterpret_cast<int32_t (*)(tq_context*, int32_t, uint32_t, char*)>(r.fn)(ctx, i, item, a);
    *out = a;
    return rc;
  }
  if (!is_pair(r)) {
    int32_t rc = reinterpret_cast<int32_t (*)(tq_context*, int32_t, char*)>(r.fn)(ctx, i, a);
    *out = a;
    return rc;
  }
  int32_t rc = reinterpret_cast<int32_t (*)(tq_context*, int32_t, char*, char*, int32_t*)>(r.fn)(ctx, i, a, b, &code);
  *out = std::string(a) + "|" + b;
  return rc;
}

// A field's text in its record, found through the field's store; an owned
// text may be none.
char** field_text(const Row& r, tq_context* ctx, int32_t i, char** array) {
  void* rec = nullptr;
  const tq::field_addr addr{static_cast<int32_t>(r.kind), i, static_cast<int32_t>(kItem)};
  if (r.field->store->lookup(ctx, addr, &rec) != 0) return nullptr;
  if (r.field->type == tq::field_type::owned_text) return static_cast<char**>(r.field->at(rec));
  *array = static_cast<char*>(r.field->at(rec));
  return array;
}

// The record's UTF-8 texts of the row's field, reached past every accessor.
std::vector<char*> fields(const Row& r, tq_context* ctx, int32_t i) {
  if (r.field != nullptr) {
    char* array = nullptr;
    char** text = field_text(r, ctx, i, &array);
    if (text == nullptr) return {};
    return {*text != nullptr ? *text : const_cast<char*>("")};
  }
  tq::resource_slot* slot = nullptr;
  if (tq::rsrc_slot_get_used(ctx, r.access->kind, i, &slot) != 0) return {};
  char* part = static_cast<char*>(slot->part);
  if (r.op.starts_with("rsrc_owner")) return {slot->owner};
  if (r.op.starts_with("rsrc_name")) return {slot->name};
  if (r.op.starts_with("rsrc_locale")) {
    auto* l = reinterpret_cast<tq::locale_info*>(part + r.access->locale_at);
    return {l->iso, l->description};
  }
  auto* v = reinterpret_cast<tq::vault_info*>(part + r.access->vault_at);
  return {v->name, v->description};
}

std::string stored(const Row& r, tq_context* ctx, int32_t i) {
  std::string joined;
  for (const char* f : fields(r, ctx, i)) joined += (joined.empty() ? "" : "|") + std::string(f);
  return joined;
}

void store(const Row& r, tq_context* ctx, int32_t i, const char* utf8) {
  char* array = nullptr;
  if (r.field != nullptr && r.field->type == tq::field_type::owned_text) {
    char** text = field_text(r, ctx, i, &array);
    std::free(*text);
    *text = tq::str_dup(utf8);
    return;
  }
  for (char* f : fields(r, ctx, i)) std::strcpy(f, utf8);
}

// An edit-mode context with ENUSA current, where every kind can be created.
struct Kb {
  TempDir dir;
  Context ctx;
  int serial = 0;
  Kb() : ctx(dir.str().c_str(), true) {
    std::filesystem::create_directories(dir / "locale");
    const char* files[][3] = {{"l1.loc", "ISO-8859-1 (Latin-1)", ""},
                              {"en.loc", "English", "l1.loc"},
                              {"enusa.loc", "English (United States)", ""}};
    for (const auto& [file, description, parent] : files) {
      tq_test::write_locale_settings(ctx, dir.path(), file, description, parent);
    }
    EXPECT_GE(tq_zel_locale_load(ctx, 29840, 0), 0) << tq_test::error_list_text(ctx);
  }
  int32_t make(uint32_t kind) {
    char name[16];
    std::snprintf(name, sizeof name, "r%d", ++serial);
    int32_t i = -1;
    int32_t rc = -1;
    switch (kind) {
      case tq::kRsrcChopper: rc = tq_chopper_create(ctx, name, &i); break;
      case tq::kRsrcRegex: rc = tq_regexlib_create(ctx, name, &i); break;
      case tq::kRsrcScheme: rc = tq_scheme_create_in_memory(ctx, name, 0, &i); break;
      case tq::kRsrcVocab: rc = tq_vocabulary_create(ctx, &i); break;
      case tq::kRsrcPhonetx: rc = tq_phonetx_create(ctx, name, &i); break;
      case tq::kRsrcGrammar: rc = tq_grammar_create(ctx, name, &i); break;
      case tq::kDtypeRecords: rc = tq_datatype_add(ctx, name, &i); break;
      default: break;
    }
    EXPECT_EQ(rc, 0) << "kind " << kind << "\n" << tq_test::error_list_text(ctx);
    return i;
  }
  // The record of a row: for an item's field, with its first item.
  int32_t make(const Row& r) {
    int32_t i = make(r.kind);
    if (r.item && r.kind == tq::kDtypeRecords) {
      int32_t token = 99;
      EXPECT_EQ(tq_datatype_token_add(ctx, i, &token), 0);
      EXPECT_EQ(token, static_cast<int32_t>(kItem));
    } else if (r.item) {
      uint32_t id = 99;
      EXPECT_EQ(r.kind, tq::kRsrcChopper);
      EXPECT_EQ(tq_chopper_regex_rule_add(ctx, i, "a", "", "", 0, "", &id), 0);
      EXPECT_EQ(id, kItem);
    }
    return i;
  }
  void session(uint32_t enc, uint32_t options = 0) {
    ASSERT_EQ(tq_session_encoding_set(ctx, enc), 0);
    tq_options_set(ctx, 1 | options);
  }
};

TEST(ResourceTextAccessors, EveryRowOfTheTables) {
  // Six resource kinds: owner get and set each, locale info get and set and vault
  // info set each; a regex library's name set, a scheme's name get; a
  // chopper rule's notes get and set and prerequisite get; a datatype's
  // name get, example and owner get and set, and token value get.
  ASSERT_EQ(text_rows().size(), 41u);
  Kb kb;
  Context plain;
  for (const Row& r : text_rows()) {
    SCOPED_TRACE(r.name);
    const bool two = is_pair(r);
    const std::string both_utf8 = two ? "Caf\xC3\xA9|Caf\xC3\xA9" : "Caf\xC3\xA9";
    int32_t i = kb.make(r);
    if (is_setter(r)) {
      // In from either session, stored as UTF-8.
      kb.session(TQ_ENC_ISO_8859_1);
      EXPECT_EQ(set(r, kb.ctx, i, "Caf\xE9", "Caf\xE9"), 0);
      EXPECT_EQ(stored(r, kb.ctx, i), both_utf8);
      kb.session(TQ_ENC_UTF8);
      EXPECT_EQ(set(r, kb.ctx, i, "Gr\xC3\xBC\xC3\x9F", "Gr\xC3\xBC\xC3\x9F"), 0);
      // Strict: one text that does not convert changes nothing, whichever it is.
      const std::string before = stored(r, kb.ctx, i);
      kb.session(TQ_ENC_UTF8, TQ_OPT_STRICT_CONVERSION);
      EXPECT_EQ(set(r, kb.ctx, i, "bad\xFF", "ok"), -10000);
      EXPECT_EQ(stored(r, kb.ctx, i), before);
      if (two) {
        EXPECT_EQ(set(r, kb.ctx, i, "ok", "bad\xFF"), -10000);
        EXPECT_EQ(stored(r, kb.ctx, i), before);
      }
      // A replaced character is a warning, and the change is made.
      kb.session(TQ_ENC_UTF8, TQ_OPT_WARN_REPLACED);
      EXPECT_EQ(set(r, kb.ctx, i, "x\xFF", "y"), 116);
      EXPECT_NE(stored(r, kb.ctx, i), before);
    } else {
      kb.session(TQ_ENC_UTF8);
      store(r, kb.ctx, i, "Caf\xC3\xA9");
      std::string out;
      EXPECT_EQ(get(r, kb.ctx, i, &out), 0);
      EXPECT_EQ(out, two ? both_utf8 : "Caf\xC3\xA9");
      kb.session(TQ_ENC_ISO_8859_1);
      EXPECT_EQ(get(r, kb.ctx, i, &out), 0);
      EXPECT_EQ(out, two ? "Caf\xE9|Caf\xE9" : "Caf\xE9");
      // A character the session cannot hold.
      store(r, kb.ctx, i, "\xE4\xB8\xAD");
      kb.session(TQ_ENC_ISO_8859_1, TQ_OPT_STRICT_CONVERSION);
      EXPECT_EQ(get(r, kb.ctx, i, &out), -10000);
      kb.session(TQ_ENC_ISO_8859_1, TQ_OPT_WARN_REPLACED);
      EXPECT_EQ(get(r, kb.ctx, i, &out), 116);
    }
    // A stale index: a failure, even when the text gave a warning first.
    kb.session(TQ_ENC_UTF8, TQ_OPT_WARN_REPLACED);
    // (A datatype index of edit mode names a depth beyond 255: 200 stays
    // in the locale itself.)
    const bool dtype = r.kind == tq::kDtypeRecords;
    int32_t gone = kb.make(r);
    ASSERT_EQ(dtype ? tq_datatype_unload(kb.ctx, gone) : tq::rsrc_client_unload(kb.ctx, r.kind, gone), 0);
    for (int32_t stale : {gone, dtype ? 200 : 9999, -5}) {
      std::string out;
      EXPECT_EQ(is_setter(r) ? set(r, kb.ctx, stale, "x\xFF", "y") : get(r, kb.ctx, stale, &out), -800);
    }
    if (r.item) {
      // A token index past the datatype's tokens is out of range.
      std::string out;
      EXPECT_EQ(is_setter(r) ? set(r, kb.ctx, i, "x\xFF", "y", kNoItem) : get(r, kb.ctx, i, &out, kNoItem),
                dtype ? -800 : -802);
    }
    // Edit rules: the row's, then the record's own (a scheme out of edit
    // state keeps its locale and vault names).
    kb.session(TQ_ENC_UTF8);
    if (r.edit == tq::api::NEEDS_EDIT) {
      EXPECT_EQ(set(r, plain, 0, "a", "b"), -501);
    }
    if (r.access != nullptr && r.access->state_bit != 0 && two) {
      int32_t done = kb.make(r.access->kind);
      ASSERT_EQ(tq_scheme_finalize_in_memory(kb.ctx, done), 0);
      std::string out;
      EXPECT_EQ(is_setter(r) ? set(r, kb.ctx, done, "a", "b") : get(r, kb.ctx, done, &out), -501);
    }
  }
}

}  // namespace
