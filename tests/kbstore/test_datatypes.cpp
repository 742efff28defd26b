// Datatypes: the two index spaces over a parent and a child locale, adding,
// renaming, copying, token edits, and the document form written and read
// back. The sets are built by hand from the krxml sources in
// tests/kb/datatypes, as the locale store will build them at load.
#include <cstring>
#include <string>
#include <vector>

#include "kbstore/krdtyp.h"
#include "kbstore/krindex.h"
#include "kbstore/krxml.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

using namespace tq;

std::string fixture(const char* name) { return std::string(TQ_TEST_KB_DIR) + "/datatypes/" + name; }

struct Doc {
  xmldoc* d = nullptr;
  ~Doc() { xml_free(nullptr, d); }
  operator xmldoc*() const { return d; }
  xmldoc* operator->() const { return d; }
};

// A locale's datatypes, freed at the end of the scope.
struct Set {
  context* ctx;
  dtype_set s{};
  explicit Set(context* c) : ctx(c) {}
  ~Set() { dtype_set_free(ctx, &s); }
};

struct Env {
  tq_test::TempDir dir;
  tq_test::BareContext bc{dir.str()};
  context* ctx() { return bc.get(); }

  // Reads a fixture's datatypes into `set`.
  void read(const char* name, Set* set) {
    Doc doc;
    ASSERT_EQ(xmldoc_read(ctx(), fixture(name).c_str(), 0, &doc.d), 0) << bc.last_error();
    ASSERT_EQ(dtype_read_all(ctx(), &set->s, doc), 0) << bc.last_error();
  }
};

dtype_chain chain_of(std::vector<dtype_set*> sets) {
  dtype_chain c{};
  for (dtype_set* s : sets) c.sets[c.levels++] = s;
  return c;
}

std::string name_at(context* ctx, const dtype_chain& c, int32_t index) {
  dtype_rec* rec = nullptr;
  int32_t rc = dtype_record_get(ctx, c, index, &rec);
  return rc == 0 ? rec->name : "rc " + std::to_string(rc);
}

TEST(Datatypes, IndexDecoderCoversBothSpaces) {
  const uint32_t counts[] = {2, 3};
  struct Row {
    int32_t index;
    bool edit;
    kb_index_status status;
    bool inherited;
    uint32_t depth, position;
  } rows[] = {
      {0, false, kb_index_status::ok, false, 0, 0},       {1, false, kb_index_status::ok, false, 0, 1},
      {2, false, kb_index_status::ok, true, 0, 0},        {3, false, kb_index_status::ok, true, 0, 1},
      {4, false, kb_index_status::out_of_range, false, 0, 0},
      {-1, false, kb_index_status::out_of_range, false, 0, 0},
      {1, true, kb_index_status::ok, false, 0, 1},        {2, true, kb_index_status::out_of_range, false, 0, 0},
      {256, true, kb_index_status::ok, false, 1, 0},      {258, true, kb_index_status::ok, false, 1, 2},
      {259, true, kb_index_status::out_of_range, false, 0, 0},
      {512, true, kb_index_status::no_ancestor, false, 0, 0},
      {-256, true, kb_index_status::out_of_range, false, 0, 0},
  };
  for (const Row& r : rows) {
    kb_index_ref ref{};
    EXPECT_EQ(kb_index_decode(r.index, r.edit, counts, 2, 2, &ref), r.status) << r.index << " edit " << r.edit;
    EXPECT_EQ(ref.inherited, r.inherited) << r.index;
    EXPECT_EQ(ref.depth, r.depth) << r.index;
    EXPECT_EQ(ref.position, r.position) << r.index;
  }
  EXPECT_EQ(kb_index_encode(1, 2), 258);
  EXPECT_EQ(kb_index_encode(0, 256), -1);
}

TEST(Datatypes, ChildInheritsWhatItDoesNotNameItself) {
  Env env;
  context* ctx = env.ctx();
  Set parent(ctx), child(ctx);
  env.read("parent.xml", &parent);
  env.read("child.xml", &child);
  dtype_chain pc = chain_of({&parent.s});
  dtype_chain cc = chain_of({&child.s, &parent.s});
  ASSERT_EQ(dtype_inherited_build(ctx, pc), 0);
  ASSERT_EQ(dtype_inherited_build(ctx, cc), 0);
  EXPECT_EQ(dtype_count(parent.s), 3u);

  // Outside edit mode: own first, then the parent's others in its order.
  EXPECT_EQ(dtype_count(child.s), 4u);
  const char* expected[] = {"Address", "Email", "Name", "Phone"};
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(name_at(ctx, cc, i), expected[i]);
  EXPECT_EQ(name_at(ctx, cc, 4), "rc -800");
  EXPECT_EQ(name_at(ctx, cc, -2), "rc -800");
  int32_t index = 0;
  EXPECT_EQ(dtype_index_get_by_name(ctx, cc, "phone", &index), 0);
  EXPECT_EQ(index, 3);
  EXPECT_EQ(dtype_index_get_by_name(ctx, cc, "ADDRESS", &index), 0);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(dtype_index_get_by_name(ctx, cc, "Fax", &index), -801);
  EXPECT_EQ(index, -1);

  // In edit mode: depth x 256 + position.
  ctx->edit_mode = 1;
  EXPECT_EQ(name_at(ctx, cc, 257), "Address");
  EXPECT_EQ(name_at(ctx, cc, 256), "Name");
  EXPECT_EQ(name_at(ctx, cc, 2), "rc -800");
  EXPECT_EQ(name_at(ctx, cc, 259), "rc -800");
  EXPECT_EQ(name_at(ctx, cc, 512), "rc -603");
  EXPECT_EQ(name_at(ctx, cc, -1), "rc -800");
  EXPECT_EQ(dtype_index_get_by_name(ctx, cc, "phone", &index), 0);
  EXPECT_EQ(index, 258);
  ctx->edit_mode = 0;

  // Three levels: the child lists its parent's inherited ones after the
  // parent's own, one step further up.
  Set top(ctx), mid(ctx), low(ctx);
  for (const char* n : {"Name", "Fax", "Email"}) ASSERT_EQ(dtype_add(ctx, &top.s, n, &index), 0);
  for (const char* n : {"Name", "Address"}) ASSERT_EQ(dtype_add(ctx, &mid.s, n, &index), 0);
  ASSERT_EQ(dtype_add(ctx, &low.s, "Email", &index), 0);
  dtype_chain mc = chain_of({&mid.s, &top.s});
  dtype_chain lc = chain_of({&low.s, &mid.s, &top.s});
  ASSERT_EQ(dtype_inherited_build(ctx, mc), 0);
  ASSERT_EQ(dtype_inherited_build(ctx, lc), 0);
  ASSERT_EQ(dtype_count(low.s), 4u);
  const char* low_names[] = {"Email", "Name", "Address", "Fax"};
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(name_at(ctx, lc, i), low_names[i]);
  dtype_rec* rec = nullptr;
  ASSERT_EQ(dtype_record_get(ctx, lc, 3, &rec), 0);
  EXPECT_EQ(rec, top.s.recs[1]);
  // Names are found case-insensitively, nearest locale first.
  uint32_t depth = 9, position = 9;
  ASSERT_EQ(dtype_find_by_name(ctx, lc, "NAME", &rec, &depth, &position), 0);
  EXPECT_EQ(rec, mid.s.recs[0]);
  EXPECT_EQ(depth, 1u);
  EXPECT_EQ(position, 0u);
}

TEST(Datatypes, AddAndRenameCheckNamesAndEditModeStopsAt256) {
  Env env;
  context* ctx = env.ctx();
  ctx->edit_mode = 1;
  Set set(ctx);
  int32_t index = 7;
  ASSERT_EQ(dtype_add(ctx, &set.s, "  Name \t", &index), 0);
  EXPECT_EQ(index, 0);
  dtype_rec* rec = set.s.recs[0];
  EXPECT_STREQ(rec->name, "Name");
  EXPECT_EQ(rec->editable, 1u);
  EXPECT_EQ(rec->own_index, 0);
  struct Bad {
    const char* name;
    int32_t rc;
  } bad[] = {{"Name", -801}, {"Na,me", -801}, {"   ", -802}, {"", -802}};
  for (const Bad& b : bad) {
    EXPECT_EQ(dtype_add(ctx, &set.s, b.name, &index), b.rc) << b.name;
    EXPECT_EQ(index, -1);
    EXPECT_EQ(dtype_name_set(ctx, &set.s, rec, b.name), b.rc) << b.name;
    EXPECT_STREQ(rec->name, "Name");
  }
  EXPECT_EQ(dtype_add(ctx, &set.s, " ", &index), -802);
  EXPECT_EQ(env.bc.last_error(), "'name' is empty.") << "empty only after trimming";
  EXPECT_EQ(set.s.count, 1u);
  ASSERT_EQ(dtype_name_set(ctx, &set.s, rec, "name"), 0);  // byte comparison: another name
  EXPECT_STREQ(rec->name, "name");

  // Position 256 would read as the parent's first: the 257th is refused.
  for (int i = 1; i < 256; ++i) ASSERT_EQ(dtype_add(ctx, &set.s, ("T" + std::to_string(i)).c_str(), &index), 0);
  EXPECT_EQ(index, 255);
  EXPECT_EQ(dtype_add(ctx, &set.s, "T256", &index), -601);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(set.s.count, 256u);
  ctx->edit_mode = 0;
  EXPECT_EQ(dtype_add(ctx, &set.s, "T256", &index), 0) << "outside edit mode no index can alias";
}

TEST(Datatypes, CopyFindsItsSourceBeforeAddingTheCopy) {
  Env env;
  context* ctx = env.ctx();
  Set parent(ctx), child(ctx);
  env.read("parent.xml", &parent);
  env.read("child.xml", &child);
  ctx->edit_mode = 1;
  dtype_chain cc = chain_of({&child.s, &parent.s});
  // "NAME" differs from the parent's "Name" only in case: looked up after
  // the append, the source would be the new, empty record itself.
  int32_t index = -5;
  ASSERT_EQ(dtype_copy(ctx, cc, "name", "NAME", &index), 0) << env.bc.last_error();
  ASSERT_EQ(index, 2);
  const dtype_rec& copy = *child.s.recs[2];
  EXPECT_STREQ(copy.name, "NAME");
  EXPECT_STREQ(copy.example, "Dr. Ann Q. Smith");
  EXPECT_STREQ(copy.owner, "Base");
  EXPECT_EQ(copy.editable, 1u);
  EXPECT_EQ(copy.comments, nullptr);
  ASSERT_EQ(copy.token_count, 3u);
  EXPECT_STREQ(copy.tokens[2].value, "Family");
  EXPECT_EQ(copy.tokens[2].key, 2u);
  EXPECT_NE(copy.tokens, parent.s.recs[0]->tokens);

  struct Bad {
    const char* source;
    const char* dest;
    int32_t rc;
  } bad[] = {{"Fax", "Fax2", -801}, {"Email", "Address", -801}, {"", "X", -802}, {"Email", "", -802}};
  for (const Bad& b : bad) {
    index = 5;
    EXPECT_EQ(dtype_copy(ctx, cc, b.source, b.dest, &index), b.rc) << b.source << " " << b.dest;
    EXPECT_EQ(index, -1);
    EXPECT_EQ(child.s.count, 3u);
  }
}

TEST(Datatypes, TokenEditsKeepTheListValid) {
  Env env;
  context* ctx = env.ctx();
  Set set(ctx);
  int32_t index = 0;
  ASSERT_EQ(dtype_add(ctx, &set.s, "Name", &index), 0);
  dtype_rec* rec = set.s.recs[0];
  uint32_t token = 99;
  for (uint32_t i = 0; i < 32; ++i) {
    ASSERT_EQ(dtype_token_add(ctx, rec, &token), 0);
    EXPECT_EQ(token, i);
    ASSERT_EQ(dtype_token_value_set(ctx, rec, static_cast<int32_t>(i), ("T" + std::to_string(i)).c_str()), 0);
  }
  EXPECT_EQ(dtype_token_add(ctx, rec, &token), -300);
  EXPECT_EQ(rec->token_count, 32u);

  // A refused value leaves the old one, so the datatype can still be written
  // and read back.
  ASSERT_EQ(dtype_token_value_set(ctx, rec, 0, "  GIVEN "), 0);
  EXPECT_STREQ(rec->tokens[0].value, "GIVEN");
  EXPECT_EQ(dtype_token_value_set(ctx, rec, 1, "given"), -300);
  EXPECT_EQ(dtype_token_value_set(ctx, rec, 1, "a,b"), -300);
  EXPECT_STREQ(rec->tokens[1].value, "T1");
  EXPECT_EQ(dtype_token_value_set(ctx, rec, 0, "Given"), 0) << "its own value in another case";
  EXPECT_EQ(dtype_token_value_set(ctx, rec, 32, "x"), -800);
  EXPECT_EQ(dtype_token_value_set(ctx, rec, -1, "x"), -800);

  // Deleting renumbers the later tokens.
  while (rec->token_count > 3) ASSERT_EQ(dtype_token_delete(ctx, rec, 3), 0);
  ASSERT_EQ(dtype_token_delete(ctx, rec, 0), 0);
  ASSERT_EQ(rec->token_count, 2u);
  EXPECT_STREQ(rec->tokens[0].value, "T1");
  EXPECT_STREQ(rec->tokens[1].value, "T2");
  EXPECT_EQ(rec->tokens[0].key, 0u);
  EXPECT_EQ(rec->tokens[1].key, 1u);
  EXPECT_EQ(dtype_token_delete(ctx, rec, 2), -800);
  ASSERT_EQ(dtype_token_delete(ctx, rec, 1), 0);
  ASSERT_EQ(dtype_token_delete(ctx, rec, 0), 0);
  EXPECT_EQ(rec->tokens, nullptr);

  // Comments: the stored document set again changes nothing; a document
  // without records leaves none, and the caller keeps it.
  xmldoc* comments = nullptr;
  ASSERT_EQ(xmldoc_create(ctx, "Comments", "7.0", &comments), 0);
  ASSERT_EQ(xmldoc_record_add(ctx, comments, "1", "note", nullptr), 0);
  ASSERT_EQ(dtype_comments_set(ctx, rec, comments), 0);
  ASSERT_EQ(dtype_comments_set(ctx, rec, comments), 0);
  ASSERT_EQ(rec->comments, comments);
  EXPECT_EQ(rec->comments->record_count, 1);  // still alive (ASan would say otherwise)
  Doc empty;
  ASSERT_EQ(xmldoc_create(ctx, "Comments", "7.0", &empty.d), 0);
  ASSERT_EQ(dtype_comments_set(ctx, rec, empty), 0);
  EXPECT_EQ(rec->comments, nullptr);
}

TEST(Datatypes, WrittenBackByteForByteAndReadSoundly) {
  Env env;
  context* ctx = env.ctx();
  for (const char* name : {"parent.xml", "child.xml"}) {
    Set set(ctx);
    env.read(name, &set);
    Doc out;
    ASSERT_EQ(xmldoc_create(ctx, "Locale Settings", "7.0", &out.d), 0);
    ASSERT_EQ(dtype_write_all(ctx, set.s, out), 0);
    ASSERT_EQ(xmldoc_write(ctx, (env.dir / "out").string().c_str(), 0, out), 0) << env.bc.last_error();
    EXPECT_EQ(tq_test::read_file(env.dir / "out.xml"), tq_test::read_file(fixture(name))) << name;
  }

  // The comments are taken out of the document read; only "Y" is editable;
  // a repeated token ends its datatype's tokens, and the next datatype is
  // still read.
  const char* text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<krxml><file type=\"Locale Settings\" version=\"7.0\">"
      "<include name=\"Datatype\"><file type=\"Datatype\" version=\"7.0\">"
      "<property name=\"Name\">A</property><property name=\"Editable\">Yes</property>"
      "<include name=\"Comments\"><file type=\"Comments\" version=\"7.0\"><data length=\"1\">"
      "<record key=\"1\"><value>c</value></record></data></file></include>"
      "<data length=\"3\"><record key=\"\"><value>X</value></record><record key=\"\"><value>x</value></record>"
      "<record key=\"\"><value>Y</value></record></data></file></include>"
      "<include name=\"Datatype\"><file type=\"Datatype\" version=\"7.0\">"
      "<property name=\"Name\">B</property><property name=\"Editable\">Y</property>"
      "<data length=\"1\"><record key=\"\"><value>Z</value></record></data></file></include>"
      "<data length=\"0\"></data></file></krxml>\n";
  env.dir.write("in.xml", text);
  Doc in;
  ASSERT_EQ(xmldoc_read(ctx, (env.dir / "in.xml").string().c_str(), 0, &in.d), 0) << env.bc.last_error();
  Set set(ctx);
  EXPECT_EQ(dtype_read_all(ctx, &set.s, in), -300);
  ASSERT_EQ(set.s.count, 2u);
  const dtype_rec& a = *set.s.recs[0];
  EXPECT_EQ(a.editable, 0u);
  ASSERT_NE(a.comments, nullptr);
  EXPECT_EQ(in->includes[0].doc->include_count, 0);
  ASSERT_EQ(a.token_count, 1u);
  EXPECT_STREQ(a.tokens[0].value, "X");
  EXPECT_EQ(set.s.recs[1]->editable, 1u);
  EXPECT_EQ(set.s.recs[1]->token_count, 1u);

  // Without an owner there is no "Properties" group.
  Doc out;
  ASSERT_EQ(xmldoc_create(ctx, "Locale Settings", "7.0", &out.d), 0);
  ASSERT_EQ(dtype_write(ctx, *set.s.recs[1], out), 0);
  ASSERT_EQ(out->include_count, 1);
  const xmldoc* b = out->includes[0].doc;
  EXPECT_STREQ(out->includes[0].name, "Datatype");
  EXPECT_EQ(b->include_count, 0);
  EXPECT_STREQ(xmldoc_prop_get(ctx, b, "Editable"), "Y");
  ASSERT_EQ(b->record_count, 1);
  EXPECT_STREQ(b->records[0].key, "");
  EXPECT_STREQ(b->records[0].value, "Z");
}

}  // namespace
