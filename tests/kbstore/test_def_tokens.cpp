// Definition tokens on a token list as a definition record owns it, with a
// test kind's token hooks in the kind table and test resources in the
// registry standing for regex libraries and schemes.
#include <cstring>
#include <string>
#include <vector>

#include "core/krenc.h"
#include "core/krerr.h"
#include "kbstore/krdtok.h"
#include "kbstore/krkind.h"
#include "kbstore/krlib.h"
#include "kbstore/krxml.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

using namespace tq;
using tq_test::BareContext;

// The test kind's token block: one number, read from and written as
// "Weight"; live blocks are counted so that a leak or a double free shows.
struct weight_part {
  int32_t weight;
};
int g_live_parts = 0;

weight_part* part_of(const dtok_rec* tok) { return static_cast<weight_part*>(tok->part); }
int32_t tok_init(context*, dtok_rec* tok) {
  tok->part = new weight_part{7};
  ++g_live_parts;
  return 0;
}
int32_t tok_free(context*, dtok_rec* tok, int32_t) {
  if (tok->part != nullptr) --g_live_parts;
  delete part_of(tok);
  tok->part = nullptr;
  return 0;
}
int32_t tok_copy(context*, const dtok_rec* src, dtok_rec* dst, int32_t) {
  part_of(dst)->weight = part_of(src)->weight;
  return 0;
}
int32_t tok_read(context* ctx, const xmldoc* elem, dtok_rec* tok) {
  const char* w = xmldoc_prop_get(ctx, elem, "Weight");
  if (w[0] == '\0') return TQ_ERR_INVALID_CONTENT;
  part_of(tok)->weight = std::atoi(w);
  return 0;
}
int32_t tok_write(context* ctx, xmldoc* elem, const dtok_rec* tok) {
  return xmldoc_prop_add(ctx, elem, "Weight", std::to_string(part_of(tok)->weight).c_str());
}
constexpr defn_kind_ops kTestOps{.token_init = tok_init,
                                 .token_read = tok_read,
                                 .token_write = tok_write,
                                 .token_copy = tok_copy,
                                 .token_free = tok_free};

// Regex libraries and schemes as plain registry slots of their kinds.
int g_frees = 0;
int32_t test_rsrc_free(context*, resource_slot*, uintptr_t) {
  ++g_frees;
  return 0;
}
int32_t open_kind(context* ctx, uint32_t kind, const char* name, int32_t* index) {
  rsrc_callbacks cb{};
  cb.free = test_rsrc_free;
  return rsrc_register(ctx, kind, name, &cb, index);
}
int32_t test_regexlib_open(context* ctx, const char* name, int32_t* index) {
  return open_kind(ctx, kRsrcRegex, name, index);
}
int32_t test_scheme_open(context* ctx, const char* name, uint32_t, int32_t* index) {
  return open_kind(ctx, kRsrcScheme, name, index);
}
constexpr rsrc_open_ops kTestRsrcOps{test_regexlib_open, test_scheme_open, nullptr, nullptr};

const char* const kDatatype[] = {"GIVEN", "MIDDLE", "FAMILY"};

// A knowledge base with the resource files, a context on it, the test
// kind filled in as `kind`, and the owner a definition would describe.
struct Fixture {
  tq_test::TempDir dir;
  std::unique_ptr<BareContext> bc;
  dtok_owner owner;
  dtok_list list;
  explicit Fixture(int32_t kind = kDefnMatch) {
    for (const char* f : {"R1.zel", "R2.zel", "S1.sch.zel", "S2.sch.zel"}) dir.write(f, "x");
    bc = std::make_unique<BareContext>(dir.str());
    defn_kind_ops_set(kind, &kTestOps);
    rsrc_open_ops_set(&kTestRsrcOps);
    owner.kind = kind;
    owner.defn_name = "Name";
    owner.datatype_name = "Name";
    owner.datatype_tokens = kDatatype;
    owner.datatype_token_count = 3;
    g_frees = 0;
  }
  ~Fixture() {
    dtok_list_clear(ctx(), &list, 0);
    EXPECT_EQ(g_live_parts, 0);
    bc.reset();
    defn_kind_ops_set(owner.kind, nullptr);
    rsrc_open_ops_set(nullptr);
  }
  context* ctx() { return bc->get(); }
  dtok_rec* add(const char* name) {
    int32_t i = -1;
    EXPECT_EQ(dtok_list_add(ctx(), owner, &list, &i), 0);
    dtok_rec* tok = list.items.at(static_cast<size_t>(i)).get();
    EXPECT_EQ(dtok_name_set(ctx(), owner, list.count(), tok, name, 0), 0);
    return tok;
  }
  // References held on a resource; 0 once its slot is free.
  uint32_t refs(uint32_t kind, const char* name) {
    int32_t index = -1;
    resource_slot* slot = nullptr;
    if (rsrc_find_by_name(ctx(), kind, name, &index) != 0) return 0;
    if (rsrc_slot_get_used(ctx(), kind, index, &slot) != 0) return 0;
    return slot->refs;
  }
  std::string names() const {
    std::string s;
    for (const auto& t : list.items) s += std::string(t->name) + "=" + std::to_string(t->key) + " ";
    return s;
  }
};

// Delete moves later tokens down without touching their references and
// re-keys them; a library shared by every token is freed with its last
// user; a copy of the list holds references of its own.
TEST(DefinitionTokens, DeleteAndCopyCountReferences) {
  Fixture f;
  for (const char* name : {"GIVEN", "MIDDLE", "FAMILY"}) {
    dtok_rec* tok = f.add(name);
    ASSERT_EQ(dtok_regexlib_add(f.ctx(), tok, "R1", 100, 50, 0), 0);
  }
  ASSERT_EQ(dtok_regexlib_add(f.ctx(), f.list.items[1].get(), "R2", 90, 10, 0), 0);
  ASSERT_EQ(dtok_scheme_add(f.ctx(), f.list.items[2].get(), "S1", 0x21, 0, 100, 50, 0), 0);
  EXPECT_EQ(f.refs(kRsrcRegex, "R1"), 3u);
  resource_slot* r1 = nullptr;  // loaded, so that its last release frees it
  ASSERT_EQ(rsrc_slot_get_loaded(f.ctx(), kRsrcRegex, f.list.items[0]->regexlibs[0].lib.index(), 0, &r1), 0);

  dtok_list copy;
  ASSERT_EQ(dtok_list_copy(f.ctx(), &copy, &f.list), 0);
  EXPECT_EQ(f.refs(kRsrcRegex, "R1"), 6u);
  EXPECT_EQ(f.refs(kRsrcScheme, "S1"), 2u);
  EXPECT_EQ(part_of(copy.items[2].get())->weight, 7);
  dtok_list_clear(f.ctx(), &copy, 0);
  EXPECT_EQ(f.refs(kRsrcRegex, "R1"), 3u);
  EXPECT_EQ(f.refs(kRsrcScheme, "S1"), 1u);

  // Deleting the first of three: names and keys shift down.
  f.list.items[1]->key = 9;  // a stale key is taken again from the datatype
  ASSERT_EQ(dtok_list_delete(f.ctx(), f.owner, &f.list, 0), 0);
  EXPECT_EQ(f.names(), "MIDDLE=1 FAMILY=2 ");
  EXPECT_EQ(f.refs(kRsrcRegex, "R1"), 2u);
  EXPECT_EQ(f.refs(kRsrcRegex, "R2"), 1u);
  EXPECT_EQ(dtok_list_delete(f.ctx(), f.owner, &f.list, 2), TQ_ERR_INDEX);
  EXPECT_EQ(f.bc->last_error(), "Token 2 is out of range in the Match definition 'Name'.");
  EXPECT_EQ(dtok_list_delete(f.ctx(), f.owner, &f.list, -1), TQ_ERR_INDEX);

  EXPECT_EQ(g_frees, 0);
  ASSERT_EQ(dtok_list_delete(f.ctx(), f.owner, &f.list, 0), 0);
  EXPECT_EQ(f.refs(kRsrcRegex, "R2"), 0u);
  ASSERT_EQ(dtok_list_delete(f.ctx(), f.owner, &f.list, 0), 0);
  EXPECT_EQ(f.refs(kRsrcRegex, "R1"), 0u);  // freed with its last user
  EXPECT_EQ(g_frees, 1);
  EXPECT_EQ(f.refs(kRsrcScheme, "S1"), 0u);
  EXPECT_EQ(f.list.count(), 0u);
  EXPECT_EQ(g_live_parts, 0);
}

// Rearranging moves tokens with their references; anything that is not a
// permutation of the positions changes nothing. The 33rd token is refused.
TEST(DefinitionTokens, RearrangeAndTheTokenLimit) {
  Fixture f;
  for (const char* name : {"GIVEN", "MIDDLE", "FAMILY"}) {
    ASSERT_EQ(dtok_regexlib_add(f.ctx(), f.add(name), "R1", 100, 50, 0), 0);
  }
  const int32_t order[] = {2, 0, 1};
  ASSERT_EQ(dtok_list_rearrange(f.ctx(), &f.list, order, 3), 0);
  EXPECT_EQ(f.names(), "FAMILY=2 GIVEN=0 MIDDLE=1 ");
  EXPECT_EQ(f.refs(kRsrcRegex, "R1"), 3u);
  const std::vector<std::vector<int32_t>> refused = {{0, 0, 1}, {0, 1, 3}, {-1, 0, 1}, {0, 1}, {0, 1, 2, 3}};
  for (const auto& o : refused) {
    EXPECT_EQ(dtok_list_rearrange(f.ctx(), &f.list, o.data(), static_cast<uint32_t>(o.size())), TQ_ERR_ARGUMENT);
  }
  EXPECT_EQ(f.names(), "FAMILY=2 GIVEN=0 MIDDLE=1 ");
  EXPECT_EQ(f.refs(kRsrcRegex, "R1"), 3u);

  // Names out into buffers of exactly 320 bytes (ASan guards each), cut to
  // leave room for the terminator: one byte, two in a UCS-2 session.
  std::memset(f.list.items[0]->name, 'a', kDtokNameSize - 1);
  std::vector<std::vector<char>> bufs(kDtokMax, std::vector<char>(kDtokNameOutSize));
  std::vector<char*> outs;
  for (auto& b : bufs) outs.push_back(b.data());
  uint32_t count = 0;
  EXPECT_EQ(dtok_list_names_get(f.ctx(), &f.list, outs.data(), &count, kStrioConvert), 0);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(std::strlen(outs[0]), kDtokNameOutSize - 1);
  EXPECT_STREQ(outs[2], "MIDDLE");
  f.ctx()->session_encoding = kEncodingUcs2Le;
  EXPECT_EQ(dtok_list_name_get(f.ctx(), f.owner, &f.list, 0, outs[0], kStrioConvert), 0);
  EXPECT_EQ(outs[0][kDtokNameOutSize - 2], 0);
  EXPECT_EQ(outs[0][kDtokNameOutSize - 1], 0);
  f.ctx()->session_encoding = 0;

  for (uint32_t i = f.list.count(); i < kDtokMax; ++i) f.add("GIVEN");
  int32_t index = 5;
  EXPECT_EQ(dtok_list_add(f.ctx(), f.owner, &f.list, &index), TQ_ERR_CALL_STACK_FULL);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(f.list.count(), kDtokMax);
}

xmldoc* token_element(context* ctx, const std::vector<std::string>& libs, bool ranges) {
  xmldoc* elem = nullptr;
  EXPECT_EQ(xmldoc_create(ctx, "Token", "7.0", &elem), 0);
  EXPECT_EQ(xmldoc_prop_add(ctx, elem, "Name", "NICKNAME"), 0);  // not in the datatype
  EXPECT_EQ(xmldoc_prop_add(ctx, elem, "Automatic Uppercasing", "No"), 0);
  EXPECT_EQ(xmldoc_prop_add(ctx, elem, "Separator", ""), 0);
  EXPECT_EQ(xmldoc_prop_add(ctx, elem, "Weight", "3"), 0);
  xmldoc* inc = nullptr;
  EXPECT_EQ(xmldoc_create(ctx, "Regexlibs", "7.0", &inc), 0);
  if (ranges) {
    EXPECT_EQ(xmldoc_column_add(ctx, inc, "Sens Range High", kXmlColInt), 0);
    EXPECT_EQ(xmldoc_column_add(ctx, inc, "Sens Range Low", kXmlColInt), 0);
  }
  for (const std::string& l : libs) EXPECT_EQ(xmldoc_record_add(ctx, inc, l.c_str(), nullptr, nullptr), 0);
  EXPECT_EQ(xmldoc_include_add(ctx, elem, "Regexlibs", kXmlIncludeInline, inc), 0);
  return elem;
}

// Every step of a read runs: a name the datatype lacks and a library that
// cannot be opened cost only themselves; the rest is kept.
TEST(DefinitionTokens, ReadKeepsWhatCouldBeRead) {
  Fixture f;
  xmldoc* elem = token_element(f.ctx(), {"R1", "Missing", "R2"}, false);
  dtok_rec tok;
  ASSERT_EQ(dtok_init(f.ctx(), f.owner.kind, &tok), 0);
  EXPECT_EQ(dtok_xml_read(f.ctx(), f.owner, 1, elem, &tok), TQ_ERR_INVALID_CONTENT);
  EXPECT_STREQ(tok.name, "NICKNAME");
  EXPECT_EQ(tok.key, -1);
  EXPECT_EQ(tok.automatic_uppercasing, 0);
  ASSERT_EQ(tok.regexlibs.size(), 2u);
  char name[kDtokRsrcNameMax + 1];
  int32_t high = 0, low = 0;
  EXPECT_EQ(dtok_regexlib_info_get(f.ctx(), &tok, 1, name, &high, &low, 0), 0);
  EXPECT_STREQ(name, "R2");
  EXPECT_EQ(high, 100);
  EXPECT_EQ(low, 50);
  EXPECT_STREQ(tok.separator, " ");
  EXPECT_EQ(tok.use_separator, 1);
  EXPECT_EQ(part_of(&tok)->weight, 3);
  std::vector<std::string> errors;
  for (uint32_t i = 0; i < f.bc->ctx.errors.count; ++i) errors.push_back(f.bc->ctx.errors.recs[i].text);
  ASSERT_EQ(errors.size(), 3u);
  // The middle text names the search path, which is the test's own folder.
  EXPECT_EQ(errors[1].rfind("The file 'Missing' was not found along the search path '", 0), 0u) << errors[1];
  errors[1].clear();
  EXPECT_EQ(errors, (std::vector<std::string>{
                        "The token 'NICKNAME' is not a token of the datatype 'Name' of the Match definition.", "",
                        "The regex library 'Missing' of token 'NICKNAME' of the Match definition 'Name' cannot be "
                        "opened."}));
  dtok_clear(f.ctx(), &tok, 0);
  dtok_clear(f.ctx(), &tok, 0);  // a second clear is harmless
  EXPECT_EQ(f.refs(kRsrcRegex, "R1"), 0u);
  xml_free(f.ctx(), elem);

  // A single token named like its datatype takes key 0 unless the kind is
  // parse or extraction.
  dtok_rec single;
  ASSERT_EQ(dtok_init(f.ctx(), f.owner.kind, &single), 0);
  EXPECT_EQ(dtok_name_set(f.ctx(), f.owner, 1, &single, "Name", 0), 0);
  EXPECT_EQ(single.key, 0);
  // A refused name leaves the token as it was.
  EXPECT_EQ(dtok_name_set(f.ctx(), f.owner, 2, &single, "Name", 0), TQ_ERR_INVALID_CONTENT);
  EXPECT_EQ(dtok_name_set(f.ctx(), f.owner, 1, &single, "", 0), TQ_ERR_INVALID_CONTENT);
  EXPECT_STREQ(single.name, "Name");
  EXPECT_EQ(single.key, 0);
  dtok_clear(f.ctx(), &single, 0);
}

// A token written (a gender-analysis token as "Parse Substring", included
// as "Token") reads back the same; scheme and library edits keep what they
// are not given.
TEST(DefinitionTokens, WriteAndReadBack) {
  Fixture f(kDefnGender);
  dtok_rec* tok = f.add("MIDDLE");
  ASSERT_EQ(dtok_regexlib_add(f.ctx(), tok, "R1", 95, 20, 0), 0);
  ASSERT_EQ(dtok_scheme_add(f.ctx(), tok, "S1", kDtokSchemeElement | kDtokSchemeOutProper, 1, 90, 40, 0), 0);
  ASSERT_EQ(dtok_scheme_add(f.ctx(), tok, "S2", kDtokSchemeCaseInsensitive, 0, 100, 50, 0), 0);
  // Only the ends given change; the same name and options keep the scheme.
  ASSERT_EQ(dtok_scheme_set(f.ctx(), tok, 1, "S2", kDtokSchemeCaseInsensitive, -1, -1, 60, 0), 0);
  EXPECT_EQ(tok->schemes[1].high, 100);
  EXPECT_EQ(tok->schemes[1].low, 60);
  EXPECT_EQ(dtok_scheme_set(f.ctx(), tok, 2, "S2", 0, -1, -1, -1, 0), TQ_ERR_INDEX);
  EXPECT_EQ(dtok_regexlib_set(f.ctx(), tok, 0, "Missing", 1, 1, 0), TQ_ERR_FILE_OPEN);
  EXPECT_EQ(tok->regexlibs[0].high, 95);  // a failed open changes nothing
  EXPECT_EQ(f.refs(kRsrcRegex, "R1"), 1u);
  ASSERT_EQ(dtok_regexlib_name_set(f.ctx(), tok, 0, "R2", 0), 0);
  EXPECT_EQ(f.refs(kRsrcRegex, "R1"), 0u);
  EXPECT_EQ(tok->regexlibs[0].high, 95);
  ASSERT_EQ(dtok_separator_set(f.ctx(), tok, "-", 0), 0);
  ASSERT_EQ(dtok_use_separator_set(f.ctx(), tok, 0), 0);
  tok->automatic_uppercasing = 0;
  part_of(tok)->weight = 12;

  xmldoc* defn = nullptr;
  ASSERT_EQ(xmldoc_create(f.ctx(), "Gender Analysis", "9.0", &defn), 0);
  ASSERT_EQ(dtok_xml_write(f.ctx(), defn, tok), 0);
  ASSERT_EQ(defn->include_count, 1);
  EXPECT_STREQ(defn->includes[0].name, "Token");
  const xmldoc* elem = defn->includes[0].doc;
  EXPECT_STREQ(elem->type, "Parse Substring");
  EXPECT_STREQ(xmldoc_prop_get(f.ctx(), xmldoc_include_doc_find(elem, "Properties"), "Use Separator"), "No");
  const xmldoc* schemes = xmldoc_include_doc_find(elem, "Stdz Schemes");
  ASSERT_NE(schemes, nullptr);
  int32_t col = -1;
  ASSERT_EQ(xmldoc_column_find(f.ctx(), schemes, "Scheme Output Case", &col), 0);
  EXPECT_STREQ(xmldoc_field_text(xmldoc_field_get(schemes, 0, col)), "Proper");

  dtok_rec back;
  ASSERT_EQ(dtok_init(f.ctx(), f.owner.kind, &back), 0);
  ASSERT_EQ(dtok_xml_read(f.ctx(), f.owner, 1, elem, &back), 0);
  EXPECT_STREQ(back.name, "MIDDLE");
  EXPECT_EQ(back.key, 1);
  EXPECT_EQ(back.automatic_uppercasing, 0);
  EXPECT_EQ(back.use_separator, 0);
  EXPECT_STREQ(back.separator, "-");
  EXPECT_EQ(part_of(&back)->weight, 12);
  ASSERT_EQ(back.regexlibs.size(), 1u);
  EXPECT_EQ(back.regexlibs[0].high, 95);
  EXPECT_EQ(back.regexlibs[0].low, 20);
  ASSERT_EQ(back.schemes.size(), 2u);
  char name[kDtokRsrcNameMax + 1];
  uint32_t options = 0;
  for (size_t j = 0; j < 2; ++j) {
    EXPECT_EQ(dtok_scheme_info_get(f.ctx(), &back, static_cast<int32_t>(j), 0, name, &options), 0);
    EXPECT_STREQ(name, j == 0 ? "S1" : "S2");
    EXPECT_EQ(options, tok->schemes[j].options);
    EXPECT_EQ(back.schemes[j].high, tok->schemes[j].high);
    EXPECT_EQ(back.schemes[j].low, tok->schemes[j].low);
    EXPECT_EQ(back.schemes[j].disable_phonetx, tok->schemes[j].disable_phonetx);
  }
  EXPECT_EQ(f.refs(kRsrcScheme, "S1"), 2u);
  dtok_clear(f.ctx(), &back, 0);
  xml_free(f.ctx(), defn);
}

}  // namespace
