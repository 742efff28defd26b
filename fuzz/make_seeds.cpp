// Writes the seed corpora of the fuzz targets with the library's own
// writers, so that no opaque file is kept in the tree:
//   tq_fuzz_seeds OUT   fills OUT/<target>/ for every target.
// Each seed is in its target's input format (fuzz_kb.h).
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz_edit.h"
#include "fuzz_kb.h"

namespace {

namespace fs = std::filesystem;
using tq_fuzz::Kb;

int failures = 0;

void check(tq_context* ctx, int32_t rc, const char* what) {
  if (rc >= 0) return;
  int32_t code = 0;
  char text[4200] = "";
  if (ctx != nullptr) tq_error_info_get(ctx, &code, text);
  std::fprintf(stderr, "%s: %d %s\n", what, rc, text);
  ++failures;
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The plain text of a vault file, through the library's reader and writer.
std::string plain_of(tq_context* ctx, const fs::path& vault) {
  tq_xmldoc* doc = nullptr;
  check(ctx, tq_xml_read(ctx, vault.c_str(), 1 | 8, &doc), vault.c_str());
  if (doc == nullptr) return "";
  fs::path out = Kb::get() / "plain.txt";
  check(ctx, tq_xml_write(ctx, 0, out.c_str(), 8, doc), "plain write");
  tq_xml_free(ctx, doc);
  return slurp(out);
}

struct Seeds {
  fs::path dir;
  void put(const char* target, const char* name, const std::string& bytes) const {
    fs::create_directories(dir / target);
    tq_fuzz::write_file(dir / target / name, bytes);
  }
};

// A context on the emptied scratch knowledge base with a lock handle, for
// making one resource with the library's own editors; the handle is freed at
// the end of the scope.
struct Workbench {
  fs::path kb = Kb::fresh().root();
  tq_fuzz::Context ctx;
  tq_lock_handle* lock = nullptr;
  explicit Workbench(bool edit_mode) : ctx(kb, edit_mode) { check(ctx, tq_lock_init(ctx, &lock), "lock"); }
  ~Workbench() { tq_lock_free(ctx, lock); }
  Workbench(const Workbench&) = delete;
  Workbench& operator=(const Workbench&) = delete;
};

std::string values(std::initializer_list<const char*> lines) {
  std::string s = "\n@@ values\n";
  for (const char* l : lines) s += std::string(l) + "\n";
  return s;
}

// A UTF-8 text (Latin-1 characters only for ISO-8859-1) in the encoding
// its declaration names, "ISO-8859-1", "UTF-16LE" or "UTF-16BE" (these
// with a byte order mark), for documents that reach the reader converted.
std::string encoded(const std::string& text, const std::string& form) {
  std::string out = form == "UTF-16LE" ? "\xFF\xFE" : form == "UTF-16BE" ? "\xFE\xFF" : "";
  const auto* u = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t i = 0; i < text.size();) {
    uint32_t cp = u[i];
    const size_t len = cp < 0x80 ? 1 : cp < 0xE0 ? 2 : 3;  // no character past U+FFFF here
    if (len > 1) cp &= 0x3Fu >> (len - 1);
    for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (u[i + k] & 0x3Fu);
    i += len;
    const char hi = static_cast<char>(cp >> 8);
    const char lo = static_cast<char>(cp & 0xFF);
    out += form == "ISO-8859-1" ? std::string{lo} : form == "UTF-16LE" ? std::string{lo, hi} : std::string{hi, lo};
  }
  return out;
}

// A document with properties, a grouped property, records and a reference
// to a second document; the plain files and one vault file.
void xml_and_vault_seeds(const Seeds& seeds) {
  tq_fuzz::Context ctx(Kb::fresh().root());
  fs::path dir = Kb::get() / "locale";
  tq_xmldoc* leaf = nullptr;
  check(ctx, tq_xml_create(ctx, "Leaf", "1.0", &leaf), "create leaf");
  check(ctx, tq_xml_addprop(ctx, leaf, "Colour", "blue & <green>\t"), "leaf prop");
  check(ctx, tq_xml_write(ctx, 0, (dir / "leaf").c_str(), 8, leaf), "write leaf");
  tq_xml_free(ctx, leaf);

  tq_xmldoc* doc = nullptr;
  check(ctx, tq_xml_create(ctx, "Locale Settings", "9.0", &doc), "create");
  check(ctx, tq_xml_addprop(ctx, doc, "Locale ISO Code", "ENUSA"), "prop");
  check(ctx, tq_xml_addprop(ctx, doc, "Locale Description", "English (United States)"), "prop");
  tq_xmldoc* inner = nullptr;
  check(ctx, tq_xml_create(ctx, "Inner", "2.0", &inner), "create inner");
  check(ctx, tq_xml_addprop(ctx, inner, "Depth", "1"), "inner prop");
  check(ctx, tq_xml_addref(ctx, doc, "Inline", 1, inner), "inline include");
  check(ctx, tq_xml_addref(ctx, doc, "Leaf", 2, const_cast<char*>("leaf")), "ref include");
  check(ctx, tq_xml_write(ctx, 0, (dir / "doc").c_str(), 8, doc), "write doc");
  std::string main = slurp(dir / "doc");
  seeds.put("xml", "document", main + "\n@@ leaf\n" + slurp(dir / "leaf"));
  seeds.put("xml", "leaf", slurp(dir / "leaf"));
  // Entities: the document's own internal ones, read; a reference to one it
  // does not define and one to an external entity, refused.
  const std::string entities =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE krxml SYSTEM \"krxml.dtd\" [<!ENTITY co \"ACME &amp; "
      "Co\"><!ENTITY ext SYSTEM \"leaf\"><!ATTLIST record key CDATA \"&co;\">]>\n<krxml><file type=\"T\" "
      "version=\"1\"><data length=\"2\"><record key=\"&co;&#33;\"><value>&co;</value></record><record><value>";
  seeds.put("xml", "entities", entities + "&#x41;&lt;</value></record></data></file></krxml>\n");
  seeds.put("xml", "entity-refused",
            entities + "ACME &undefined; &ext;</value></record></data></file></krxml>\n@@ leaf\n" + slurp(dir / "leaf"));
  // The same converted: comments, instructions and literals longer than
  // the pieces Expat hands converted text in, with a quote and a reference
  // where a piece begins.
  const std::string filler(1019, 'a');
  for (const char* form : {"ISO-8859-1", "UTF-16LE", "UTF-16BE"}) {
    std::string body = entities.substr(entities.find("?>") + 2);
    body.insert(body.find('[') + 1, "<!--" + filler + "\"&y; -->");
    body += "<!--" + filler + "\"-->\xC3\xA9<?pi " + filler + "&x;?></value></record></data></file></krxml>\n";
    const std::string head =
        std::string("<?xml version=\"1.0\" encoding=\"") + (form[0] == 'I' ? form : "UTF-16") + "\"?>";
    seeds.put("xml", (std::string("entities-") + form).c_str(), encoded(head + body, form));
    body.replace(body.find("\xC3\xA9"), 2, "&undefined;");
    seeds.put("xml", (std::string("entity-refused-") + form).c_str(), encoded(head + body, form));
  }
  check(ctx, tq_xml_write(ctx, 0, (dir / "doc").c_str(), 1, doc), "write vault");
  tq_xmldoc* leaf_again = nullptr;
  check(ctx, tq_xml_read(ctx, (dir / "leaf").c_str(), 8, &leaf_again), "read leaf");
  check(ctx, tq_xml_write(ctx, 0, (dir / "leaf").c_str(), 1, leaf_again), "write leaf vault");
  tq_xml_free(ctx, leaf_again);
  seeds.put("vault", "document", slurp(dir / "doc.zel") + "\n@@ leaf.zel\n" + slurp(dir / "leaf.zel"));
  seeds.put("vault", "leaf", slurp(dir / "leaf.zel"));
  tq_xml_free(ctx, doc);
}

// Locale settings: ENUSA with and without a parent file.
void locale_seeds(const Seeds& seeds) {
  tq_fuzz::Context ctx(Kb::fresh().root());
  check(ctx, tq_fuzz::install_locales(ctx), "locales");
  fs::path dir = Kb::get() / "locale";
  seeds.put("locale", "enusa", plain_of(ctx, dir / "enusa.loc.zel"));
  seeds.put("locale", "enusa-en-l1",
            plain_of(ctx, dir / "enusa.loc.zel") + "\n@@ en.loc\n" + plain_of(ctx, dir / "en.loc.zel") +
                "\n@@ l1.loc\n" + plain_of(ctx, dir / "l1.loc.zel"));
}

// Phonetics: word-begin and word-end rules, a class, a context slash, the
// blank rule (so that word-end twins are made) and every flag.
void phonetx_seeds(const Seeds& seeds) {
  Workbench wb(/*edit_mode=*/true);
  auto& [kb, ctx, lock] = wb;
  check(ctx, tq_session_encoding_set(ctx, TQ_ENC_UTF8), "encoding");
  check(ctx, tq_phonetx_edit_new(ctx, (kb / "phonetx").c_str(), "p", lock), "phonetx new");
  int32_t idx = -1, ri = -1;
  check(ctx, tq_phonetx_create(ctx, "p", &idx), "phonetx create");
  check(ctx, tq_phonetx_locale_info_set(ctx, idx, "ENUSA", "English (United States)", 29840), "locale");
  struct Rule {
    const char* search;
    const char* replace;
    int32_t priority;
    uint32_t flags;
  };
  for (Rule r : {Rule{"\\ ", "", 50, 0}, Rule{"PH", "F", 40, 0}, Rule{"^KN", "N", 60, 0}, Rule{"GH$", "", 55, 0},
                 Rule{"[AEIOU]/R", "", 30, 0}, Rule{"C[^H]", "K.", 20, 1}, Rule{"SCH", "SK", 45, 2},
                 Rule{"\xC3\x9F", "SS", 35, 4}, Rule{"Q.", "KW", 25, 0}}) {
    check(ctx, tq_phonetx_rule_add(ctx, idx, r.search, r.replace, r.priority, r.flags, &ri), r.search);
  }
  check(ctx, tq_phonetx_vault_info_set(ctx, idx, "Sounds", "Seed rules"), "vault info");
  check(ctx, tq_phonetx_save(ctx, idx, lock), "phonetx save");
  tq_phonetx_close(ctx, lock);
  seeds.put("phonetx", "rules", plain_of(ctx, kb / "phonetx" / "p.zel") +
                                    values({"KNIGHT SCHOOL", "PHILIP", "STRA\xC3\x9F" "E", "QUEEN CARR", ""}));
}

// A regex library with groups, case changes and anchors.
void regexlib_seeds(const Seeds& seeds) {
  Workbench wb(/*edit_mode=*/true);
  auto& [kb, ctx, lock] = wb;
  check(ctx, tq_session_encoding_set(ctx, TQ_ENC_UTF8), "encoding");
  check(ctx, tq_regexlib_edit_new(ctx, (kb / "regexlib").c_str(), "r", lock), "regexlib new");
  int32_t lib = -1;
  check(ctx, tq_regexlib_create(ctx, "r", &lib), "regexlib create");
  check(ctx, tq_regexlib_locale_info_set(ctx, lib, "ENUSA", "English (United States)", 29840), "locale");
  check(ctx, tq_regexlib_element_array_size_set(ctx, lib, 3), "size");
  check(ctx, tq_regexlib_element_info_set(ctx, lib, 0, "([A-Z]+)-([0-9]+)", "\\2 \\1", "swap"), "e0");
  check(ctx, tq_regexlib_element_info_set(ctx, lib, 1, "^mc([a-z]+)", "Mc\\u\\1", ""), "e1");
  check(ctx, tq_regexlib_element_info_set(ctx, lib, 2, "(\xC3\xA9[a-z]*)", "\\U\\1", "upper"), "e2");
  check(ctx, tq_regexlib_save(ctx, lib, lock), "regexlib save");
  tq_regexlib_close(ctx, lock);
  seeds.put("regexlib", "library",
            plain_of(ctx, kb / "regexlib" / "r.zel") + values({"AB-12", "mcdonald", "\xC3\xA9t\xC3\xA9", "nothing"}));
}

// A scheme of phrases for ENUSA.
void scheme_seeds(const Seeds& seeds) {
  Workbench wb(/*edit_mode=*/false);
  auto& [kb, ctx, lock] = wb;
  check(ctx, tq_fuzz::install_locales(ctx), "locales");
  check(ctx, tq_session_encoding_set(ctx, TQ_ENC_UTF8), "encoding");
  int32_t idx = -1;
  check(ctx, tq_scheme_create(ctx, (kb / "scheme").c_str(), "s", 0, lock, &idx), "scheme create");
  check(ctx, tq_scheme_entry_add(ctx, idx, "ST", "STREET"), "entry");
  check(ctx, tq_scheme_entry_add(ctx, idx, "AVE", "AVENUE"), "entry");
  check(ctx, tq_scheme_entry_add(ctx, idx, "N", "NORTH"), "entry");
  check(ctx, tq_scheme_write(ctx, idx, lock), "scheme write");
  tq_scheme_unload_edit(ctx, idx, lock);
  tq_scheme_close(ctx, lock);
  seeds.put("scheme", "phrases", plain_of(ctx, kb / "scheme" / "s.sch.zel") + values({"ST", "N MAIN AVE", "other"}));
}

// A compiled vocabulary of two categories and two words.
void vocab_seeds(const Seeds& seeds) {
  Workbench wb(/*edit_mode=*/true);
  auto& [kb, ctx, lock] = wb;
  check(ctx, tq_vocab_edit_new(ctx, (kb / "vocab").c_str(), "v", lock), "vocab new");
  int32_t idx = -1;
  check(ctx, tq_vocabulary_create(ctx, &idx), "vocab create");
  check(ctx, tq_vocab_edit_numcategories_set(ctx, idx, 2), "cats");
  check(ctx, tq_vocab_edit_category_set(ctx, idx, 0, "ZZ", "Zed"), "cat");
  check(ctx, tq_vocab_edit_category_set(ctx, idx, 1, "AA", "Aye"), "cat");
  check(ctx, tq_vocab_edit_prepare(ctx, idx), "prepare");
  check(ctx, tq_vocab_edit_numwords_set(ctx, idx, 2), "words");
  check(ctx, tq_vocab_edit_word_set(ctx, idx, 0, "MAIN", 2), "word");
  check(ctx, tq_vocab_edit_wordcat_set(ctx, idx, 0, 0, "AA", 70), "pair");
  check(ctx, tq_vocab_edit_wordcat_set(ctx, idx, 0, 1, "ZZ", 30), "pair");
  check(ctx, tq_vocab_edit_word_set(ctx, idx, 1, "STREET", 1), "word");
  check(ctx, tq_vocab_edit_wordcat_set(ctx, idx, 1, 0, "ZZ", 50), "pair");
  check(ctx, tq_vocab_locale_info_set(ctx, idx, "ENUSA", "English (United States)", 29840), "locale");
  check(ctx, tq_vocab_vault_info_set(ctx, idx, "Streets", "Street words"), "vault info");
  check(ctx, tq_vocab_save(ctx, idx, lock), "vocab save");
  tq_vocabulary_close(ctx, lock);
  seeds.put("vocab", "streets", slurp(kb / "vocab" / "v.zev"));
  // A plain name is written into the first folder of the search path.
  check(ctx, tq_vocab_file_convert(ctx, 1, "v", (kb / "vocab" / "vx").c_str()), "vocab to xml");
  seeds.put("vocabxml", "streets", slurp(kb / "vocab" / "vx.xml"));
}

// A chopper of ENUSA: a rule list with an initial flag and a regex rule, and
// character-table changes.
void chop_seeds(const Seeds& seeds) {
  Workbench wb(/*edit_mode=*/true);
  auto& [kb, ctx, lock] = wb;
  check(ctx, tq_fuzz::install_locales(ctx), "locales");
  check(ctx, tq_session_encoding_set(ctx, TQ_ENC_UTF8), "encoding");
  check(ctx, tq_chopper_edit_new(ctx, (kb / "chopinfo").c_str(), "c", lock), "chopper new");
  int32_t ch = -1;
  uint32_t id = 0;
  check(ctx, tq_chopper_create(ctx, "c", &ch), "chopper create");
  check(ctx, tq_chopper_rules_init_flag_add(ctx, ch, "S", &id), "flag");
  check(ctx, tq_chopper_regex_rule_add(ctx, ch, "[0-9]+", "S", "", TQ_CHOP_RULE_BOUNDARY_BEFORE, "first number", &id),
        "rule");
  check(ctx, tq_chopper_rules_enabled_set(ctx, ch, 1), "rules on");
  check(ctx, tq_chopper_table_char_metadata_set_begin(ctx, ch), "table");
  check(ctx, tq_chopper_table_char_metadata_set(ctx, ch, ';', "SEMI", TQ_CHOP_CLASS_TRAIL_SEPARATOR, TQ_CHOP_OPER_USE),
        "semicolon");
  check(ctx, tq_chopper_table_char_metadata_set(ctx, ch, '-', "DASH", TQ_CHOP_CLASS_LETTER, TQ_CHOP_OPER_SUPPRESS),
        "dash");
  check(ctx, tq_chopper_table_char_metadata_set(ctx, ch, 0x20AC, "EURO", TQ_CHOP_CLASS_FULL_SEPARATOR,
                                                TQ_CHOP_OPER_TRIM),
        "euro");
  check(ctx, tq_chopper_table_char_metadata_set_end(ctx, ch), "table end");
  check(ctx, tq_chopper_save(ctx, ch, lock), "chopper save");
  tq_chopper_close(ctx, lock);
  seeds.put("chop", "chopper",
            plain_of(ctx, kb / "chopinfo" / "c.zel") +
                values({"a\xE2\x82\xAC" "b;c AB12 x-y", "  John   Smith ", "12 MAIN ST", ""}));
}

// A grammar of ENUSA: terminal categories, a category with rules of one and
// two entries, and one with an empty right side.
void grammar_seeds(const Seeds& seeds) {
  Workbench wb(/*edit_mode=*/true);
  auto& [kb, ctx, lock] = wb;
  check(ctx, tq_fuzz::install_locales(ctx), "locales");
  check(ctx, tq_session_encoding_set(ctx, TQ_ENC_UTF8), "encoding");
  check(ctx, tq_grammar_edit_new(ctx, (kb / "grammar").c_str(), "g", lock), "grammar new");
  int32_t g = -1;
  check(ctx, tq_grammar_create(ctx, "g", &g), "grammar create");
  for (const char* c : {"NAME", "GIVEN", "FAMILY", "STRA\xC3\x9F" "E", "EMPTY"}) {
    check(ctx, tq_grammar_category_add(ctx, g, c, "seed category"), c);
  }
  struct Rule {
    int32_t cat;
    int32_t priority;
    std::initializer_list<const char*> right;
  };
  for (const Rule& r : {Rule{0, 70, {"GIVEN", "FAMILY"}}, Rule{0, 40, {"FAMILY"}}, Rule{0, 50, {"NAME", "NAME"}},
                        Rule{4, 90, {}}}) {
    uint32_t rules = 0;
    char a[1100], n[1100];
    check(ctx, tq_grammar_category_info_get(ctx, g, r.cat, a, n, &rules), "info");
    check(ctx, tq_grammar_rule_add(ctx, g, r.cat, r.priority), "rule");
    for (const char* e : r.right) {
      check(ctx, tq_grammar_rule_category_add(ctx, g, r.cat, static_cast<int32_t>(rules), e), e);
    }
  }
  check(ctx, tq_grammar_owner_set(ctx, g, "Seeds"), "owner");
  check(ctx, tq_grammar_vault_info_set(ctx, g, "Names", "Seed grammar"), "vault info");
  check(ctx, tq_grammar_save(ctx, g, lock), "grammar save");
  tq_grammar_close(ctx, lock);
  seeds.put("grammar", "names", plain_of(ctx, kb / "grammar" / "g.zel"));
}

// The meta file is written by hand by whoever builds a knowledge base; the
// seeds are its documented shapes.
void meta_seeds(const Seeds& seeds) {
  seeds.put("meta", "plain", "description Knowledge Base - 2009A\n");
  seeds.put("meta", "product", "name kb\r\ndescription Knowledge Base - CO - 2010B\r\nother - x - y\r\n");
}

// Locale settings holding datatypes as the datatype writer gives them:
// made in edit mode on ENUSA and written into one settings document. One
// more is added by hand with "Editable" as "Yes", which reads as not
// editable.
void datatype_seeds(const Seeds& seeds) {
  Kb& kb = Kb::fresh();
  tq_fuzz::Context ctx(kb.root(), true);
  check(ctx, tq_fuzz::install_locales(ctx), "datatype locales");
  struct Row {
    const char* name;
    const char* owner;
    const char* tokens[3];
  };
  tq_xmldoc* doc = nullptr;
  check(ctx, tq_xml_create(ctx, "Locale Settings", "7.0", &doc), "datatype settings");
  for (Row r : {Row{"Name", "Base", {"Given", "Middle", "Family"}}, Row{"Address", "", {"Street", "City", nullptr}}}) {
    int32_t index = -1;
    check(ctx, tq_datatype_add(ctx, r.name, &index), "datatype add");
    check(ctx, tq_datatype_example_set(ctx, index, "Dr. Ann Q. Smith"), "example");
    if (*r.owner != '\0') {
      check(ctx, tq_datatype_owner_set(ctx, index, r.owner), "owner");
      tq_xmldoc* comments = nullptr;
      check(ctx, tq_xml_create(ctx, "Comments", "7.0", &comments), "comments");
      check(ctx, tq_xml_addrec(ctx, comments, "1", "Personal names", nullptr), "comment");
      check(ctx, tq_datatype_comments_set(ctx, index, comments), "comments set");
    }
    for (const char* t : r.tokens) {
      if (t == nullptr) break;
      int32_t token = -1;
      check(ctx, tq_datatype_token_add(ctx, index, &token), "token add");
      check(ctx, tq_datatype_token_value_set(ctx, index, token, t), "token value");
    }
    check(ctx, tq_datatype_write(ctx, doc, index), "datatype write");
  }
  tq_xmldoc* phone = nullptr;
  check(ctx, tq_xml_create(ctx, "Datatype", "7.0", &phone), "datatype by hand");
  check(ctx, tq_xml_addprop(ctx, phone, "Name", "Phone"), "name");
  check(ctx, tq_xml_addprop(ctx, phone, "Editable", "Yes"), "editable");
  check(ctx, tq_xml_addref(ctx, doc, "Datatype", 1, phone), "datatype include");
  fs::path dir = kb / "locale";
  check(ctx, tq_xml_write(ctx, 0, (dir / "dt").c_str(), 8, doc), "write datatypes");
  tq_xml_free(ctx, doc);
  seeds.put("datatype", "settings", slurp(dir / "dt"));
}

// Definition elements of the tests' kind as a locale document holds them:
// the common properties, the "9.0" group, key-only library tables, a token
// and comments; a second one incomplete and of a newer version.
void defnxml_seeds(const Seeds& seeds) {
  Kb& kb = Kb::fresh();
  tq_fuzz::Context ctx(kb.root());
  tq_xmldoc* doc = nullptr;
  check(ctx, tq_xml_create(ctx, "Locale Settings", "7.0", &doc), "defn settings");
  auto element = [&](const char* name, const char* version, const char* incomplete) {
    tq_xmldoc* el = nullptr;
    check(ctx, tq_xml_create(ctx, "Test Definition", "7.0", &el), "defn element");
    const char* props[][2] = {{"Name", name},
                              {"Editable", "Y"},
                              {"Surface", "N"},
                              {"Datatype", "Name"},
                              {"Automatic Uppercasing", "No"},
                              {"Preprocessing Regexlib", "R1"},
                              {"Chop Table", "C"},
                              {"Vocabulary", "V1"},
                              {"Fuzzy Vocab Threshold", "85"},
                              {"Postprocessing Regexlib", "R2"},
                              {"Test Value", "7"}};
    for (const auto& [n, v] : props) check(ctx, tq_xml_addprop(ctx, el, n, v), "defn property");
    tq_xmldoc* group = nullptr;
    check(ctx, tq_xml_create(ctx, "Properties", "9.0", &group), "group");
    check(ctx, tq_xml_addprop(ctx, group, "Version", version), "version");
    check(ctx, tq_xml_addprop(ctx, group, "Owner", "Team"), "owner");
    check(ctx, tq_xml_addprop(ctx, group, "Incomplete", incomplete), "incomplete");
    check(ctx, tq_xml_addref(ctx, el, "Properties", 1, group), "group include");
    for (const char* table : {"Preprocessing Regexlibs", "Normalization Regexlibs"}) {
      tq_xmldoc* libs = nullptr;
      check(ctx, tq_xml_create(ctx, table, "7.0", &libs), "libs");
      check(ctx, tq_xml_addrec(ctx, libs, "R1", nullptr, nullptr), "lib");
      check(ctx, tq_xml_addrec(ctx, libs, "Gone", nullptr, nullptr), "lib");
      check(ctx, tq_xml_addrec(ctx, libs, "R2", nullptr, nullptr), "lib");
      check(ctx, tq_xml_addref(ctx, el, table, 1, libs), "libs include");
    }
    tq_xmldoc* tok = nullptr;
    check(ctx, tq_xml_create(ctx, "Token", "7.0", &tok), "token");
    check(ctx, tq_xml_addprop(ctx, tok, "Name", "Family"), "token name");
    check(ctx, tq_xml_addref(ctx, el, "Token", 1, tok), "token include");
    tq_xmldoc* comments = nullptr;
    tq_xmldoc* note = nullptr;
    check(ctx, tq_xml_create(ctx, "Comments", "7.0", &comments), "comments");
    check(ctx, tq_xml_create(ctx, "Note", "7.0", &note), "note");
    check(ctx, tq_xml_addprop(ctx, note, "Text", "kept"), "note text");
    check(ctx, tq_xml_addref(ctx, comments, "Note", 1, note), "note include");
    check(ctx, tq_xml_addrec(ctx, comments, "1", "dropped", nullptr), "comment record");
    check(ctx, tq_xml_addref(ctx, el, "Comments", 1, comments), "comments include");
    check(ctx, tq_xml_addref(ctx, doc, "Test Definition", 1, el), "defn include");
  };
  element("Full", "7.0", "No");
  element("Draft", "9.1", "Yes");
  // A parse definition: grammar and sought category, token categories, a
  // no-solution token with its limits, the unknown token, excluded categories.
  tq_xmldoc* parse = nullptr;
  check(ctx, tq_xml_create(ctx, "Parsorithm", "7.0", &parse), "parse element");
  const char* parse_props[][2] = {{"Name", "Names"},         {"Datatype", "Name"},
                                  {"Grammar", "G"},          {"Sought Category", "name"},
                                  {"Vocabulary", "V1"},      {"Levels To Score", "7"},
                                  {"NoSol Unknown Token", "Given"}};
  for (const auto& [n, v] : parse_props) check(ctx, tq_xml_addprop(ctx, parse, n, v), "parse property");
  for (const char* name : {"Given", "Family"}) {
    tq_xmldoc* tok = nullptr;
    check(ctx, tq_xml_create(ctx, "Token", "7.0", &tok), "parse token");
    check(ctx, tq_xml_addprop(ctx, tok, "Name", name), "parse token name");
    check(ctx, tq_xml_addrec(ctx, tok, "", "given", nullptr), "parse token category");
    check(ctx, tq_xml_addref(ctx, parse, "Token", 1, tok), "parse token include");
  }
  tq_xmldoc* nosol = nullptr;
  check(ctx, tq_xml_create(ctx, "NoSol Token", "7.0", &nosol), "nosol");
  check(ctx, tq_xml_addprop(ctx, nosol, "Name", "Family"), "nosol name");
  check(ctx, tq_xml_addrec(ctx, nosol, "", "FAMILY", nullptr), "nosol category");
  check(ctx, tq_xml_addref(ctx, parse, "NoSol Token", 1, nosol), "nosol include");
  tq_xmldoc* excluded = nullptr;
  check(ctx, tq_xml_create(ctx, "NoSol X Cats", "7.0", &excluded), "excluded");
  check(ctx, tq_xml_addrec(ctx, excluded, "", "INITIAL", nullptr), "excluded category");
  check(ctx, tq_xml_addref(ctx, parse, "NoSol X Cats", 1, excluded), "excluded include");
  check(ctx, tq_xml_addref(ctx, doc, "Parsorithm", 1, parse), "parse include");
  fs::path file = kb / "locale" / "defns";
  check(ctx, tq_xml_write(ctx, 0, file.c_str(), 8, doc), "write defns");
  tq_xml_free(ctx, doc);
  seeds.put("defnxml", "two", slurp(file));
  // An extraction definition: a known-word scheme, two patterns with their
  // sought categories (one row naming no pattern), a default token.
  fs::path source = kb / "locale" / "extract.xml";
  {
    std::ofstream out(source);
    out << R"(<?xml version="1.0" encoding="UTF-8"?>
<krxml><file type="Locale Settings" version="7.0"><include name="Vidurivodidiz">
<file type="Vidurivodidiz" version="7.0">
<property name="Name">Ex</property><property name="Datatype">Name</property>
<property name="Chop Table">C</property><property name="Vocabulary">V1</property>
<property name="Use Parser">Yes</property><property name="Separator">|</property>
<include name="Properties"><file type="Properties" version="9.0">
<property name="Default Token">Family</property><data length="0"></data></file></include>
<include name="Known Word Schemes"><file type="Known Word Scheme" version="7.0"><data length="1">
<layout width="3"><column type="string">Scheme</column><column type="string">Case Insensitive</column>
<column type="string">Token Name</column></layout>
<record key=""><field column="Scheme">S</field><field column="Case Insensitive">Yes</field>
<field column="Token Name">Given</field></record></data></file></include>
<include name="Patterns"><file type="Extraction Pattern" version="7.0"><data length="2">
<layout width="5"><column type="string">Category</column><column type="string">Grammar</column>
<column type="string">Mode</column><column type="int">Weight</column><column type="int">Maximum Matches</column></layout>
<record key=""><field column="Category">NAME</field><field column="Grammar">G</field>
<field column="Mode">Element</field><field column="Weight">1</field><field column="Maximum Matches">0</field></record>
<record key=""><field column="Category">GIVEN</field><field column="Grammar"></field>
<field column="Mode">Phrase</field><field column="Weight">-2</field><field column="Maximum Matches">3</field></record>
</data></file></include>
<include name="Pattern Sought Categories"><file type="Extraction Pattern Sought Cats" version="7.0"><data length="3">
<layout width="3"><column type="int">Pattern Index</column><column type="string">Name</column>
<column type="string">Token</column></layout>
<record key=""><field column="Pattern Index">0</field><field column="Name">GIVEN</field><field column="Token">Given</field></record>
<record key=""><field column="Pattern Index">1</field><field column="Name">GIVEN</field><field column="Token">Family</field></record>
<record key=""><field column="Pattern Index">9</field><field column="Name">X</field><field column="Token">Given</field></record>
</data></file></include>
<include name="Token"><file type="Token" version="7.0"><property name="Name">Given</property></file></include>
<include name="Token"><file type="Token" version="7.0"><property name="Name">Family</property></file></include>
</file></include></file></krxml>
)";
  }
  tq_xmldoc* extract = nullptr;
  check(ctx, tq_xml_read(ctx, source.c_str(), 8, &extract), "read extraction element");
  fs::path extract_file = kb / "locale" / "extract";
  check(ctx, tq_xml_write(ctx, 0, extract_file.c_str(), 8, extract), "write extraction element");
  tq_xml_free(ctx, extract);
  seeds.put("defnxml", "extract", slurp(extract_file));
  // Identification definitions at levels 5, 7 and 8 and some that are not
  // valid: the plain locale file of the identification tests.
  seeds.put("defnxml", "ident", slurp(fs::path(TQ_TEST_KB_DIR) / "ident" / "locale" / "en.loc.xml"));
  // Standardization definitions with case definitions, token cases and
  // transformation libraries, and some that are not valid.
  seeds.put("defnxml", "stdzn", slurp(fs::path(TQ_TEST_KB_DIR) / "stdzn" / "locale" / "en.loc.xml"));
  // Gender analysis definitions, some of them not valid on purpose.
  seeds.put("defnxml", "gender", slurp(fs::path(TQ_TEST_KB_DIR) / "gender" / "locale" / "en.loc.xml"));
  // Locale guess definitions in both forms, with patterns, and some that
  // are not valid.
  seeds.put("defnxml", "guess", slurp(fs::path(TQ_TEST_KB_DIR) / "guess" / "locale" / "en.loc.xml"));
}

// The value targets' inputs start with the byte of their session encoding
// and conversion options (fuzz_kb.h, take_encoding).
std::string in_encoding(uint32_t encoding, const std::string& input) {
  return std::string(1, static_cast<char>(encoding)) + input;
}

// Values at the engines' limits, in one session encoding: a word of 1,023,
// 1,024 and 1,025 characters, 512 two-byte letters (1,024 bytes in UTF-8
// and in UCS-2) and a nickname the schemes lengthen past the limit; no
// long run of words, which makes every fuzzed input slow (proper casing
// looks up every run of up to 64 words). Single-byte encodings take
// ISO-8859-1's é (0xE9) as their two-byte letter.
std::string limit_values(uint32_t encoding) {
  const std::u16string lines[] = {std::u16string(1023, u'x'), std::u16string(1024, u'x'), std::u16string(1025, u'x'),
                                  std::u16string(512, u'\u00E9'), u"bill " + std::u16string(1019, u'x')};
  std::string s = "\n@@ values\n";
  for (const std::u16string& line : lines) {
    for (const char16_t c : line) {
      const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
      if (encoding == TQ_ENC_UCS2_BE) {
        s += {high, low};
      } else if (encoding == TQ_ENC_UCS2_LE) {
        s += {low, high};
      } else if (encoding == TQ_ENC_UTF8 && c >= 0x80) {
        s += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
      } else {
        s += low;
      }
    }
    s += '\n';
  }
  return s;
}

// The limits in UTF-8, both UCS-2 byte orders and ISO-8859-1.
void limit_seeds(const Seeds& seeds, const char* target) {
  const std::pair<uint32_t, const char*> encodings[] = {{TQ_ENC_UTF8, "limits-utf8"},
                                                        {TQ_ENC_UCS2_BE, "limits-ucs2be"},
                                                        {TQ_ENC_UCS2_LE, "limits-ucs2le"},
                                                        {TQ_ENC_ISO_8859_1, "limits-latin1"}};
  for (const auto& [encoding, name] : encodings) seeds.put(target, name, in_encoding(encoding, limit_values(encoding)));
}

// Characters the session cannot convert, under each conversion option the
// first byte's bits 4 and 5 set (fuzz_kb.h, session_options): a lone
// surrogate in UCS-2 and bytes that are not UTF-8, replaced and told,
// refused, and replaced silently.
void conversion_seeds(const Seeds& seeds, const char* target) {
  std::string lone = "\n@@ values\n";
  for (const char c : std::string("John ")) lone += {c, '\0'};
  lone += {'\0', '\xD8'};
  for (const char c : std::string(" Smith")) lone += {c, '\0'};
  lone += '\n';
  const std::string not_utf8 = values({"J\xFF\xC3 Smith", "John Smith", "\xC3"});
  seeds.put(target, "replaced-ucs2le", in_encoding(TQ_ENC_UCS2_LE | 0x20u, lone));
  seeds.put(target, "strict-ucs2le", in_encoding(TQ_ENC_UCS2_LE | 0x10u, lone));
  seeds.put(target, "replaced-utf8", in_encoding(TQ_ENC_UTF8 | 0x20u, not_utf8));
  seeds.put(target, "strict-utf8", in_encoding(TQ_ENC_UTF8 | 0x10u, not_utf8));
  seeds.put(target, "both-utf8", in_encoding(TQ_ENC_UTF8 | 0x30u, not_utf8));
}

// Values for the parse road: names with and without a parse, an empty one,
// a long run of one word, text that is not UTF-8; the limits.
void parse_seeds(const Seeds& seeds) {
  seeds.put("parse", "names",
            in_encoding(TQ_ENC_UTF8, values({"Dr. John Q. Smith Jr.", "Smith Jr. Dr.", "", "john q smith",
                                             "Smith Zed Q. Jr. Dr.",
                                             "John John John John John John John John John John John John John "
                                             "John John John",
                                             "J\xFF\xC3 Smith", "Dr.. . Jr."})));
  limit_seeds(seeds, "parse");
  conversion_seeds(seeds, "parse");
}

// Values for every engine on the sample knowledge base: names, an
// organisation, a sentence, phrases in other languages, an empty one, a long
// run of one word, text that is not UTF-8, names the match definition's
// phonetics, nicknames and noise words change; the limits.
void value_seeds(const Seeds& seeds) {
  seeds.put("values", "mixed",
            in_encoding(TQ_ENC_UTF8,
                        values({"Dr. John Q. Smith Jr.", "bill q. smith junior", "Acme Holdings Ltd", "",
                                "John Smith joined Acme Corp on Monday.", "Jürgen Müller aus München", "Şükrü Öztürk",
                                "Ab 12-x", "i i i i i i i i i i i i i i i i i i i i i i i i i i i i i i i i",
                                "J\xFF\xC3 Smith", "\xC3", "Phillip Smyth", "Knight Wright-Lamb",
                                "van der Waals, Bill"})));
  limit_seeds(seeds, "values");
  conversion_seeds(seeds, "values");
}


// ---- Edit sequences (fuzz_edit.h says how they are read) ----

// An argument byte: a name of the vocabulary, a small int, an index of the
// parent locale's definitions, an index an earlier call gave back.
std::string N(const char* name) {
  uint8_t b = tq_fuzz_edit::name_byte(name);
  if (b == 0xFF) {
    std::fprintf(stderr, "edit seeds: '%s' is not among the names\n", name);
    ++failures;
  }
  return std::string(1, static_cast<char>(b));
}
std::string I(int n) { return std::string(1, static_cast<char>(n + 2)); }  // -2 .. 61
std::string U(int n) { return std::string(1, static_cast<char>(n)); }      // 0 .. 99
std::string P(int n) { return std::string(1, static_cast<char>(0x40 + n)); }
std::string R(int k) { return std::string(1, static_cast<char>(0xC0 + k)); }
// Paths (fuzz_edit.cpp, scratch_paths): the sample's folder of each kind.
const std::string kPathVocab(1, '\1'), kPathRegexlib(1, '\2'), kPathScheme(1, '\3'), kPathPhonetx(1, '\4'),
    kPathChopper(1, '\5'), kPathGrammar(1, '\6');

struct EditSeq {
  std::string bytes;
  void code(uint16_t c) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  // The export with one argument string per parameter it reads from the
  // input (out parameters and lock handles take none).
  EditSeq& op(const char* export_name, std::initializer_list<std::string> args) {
    uint16_t c = tq_fuzz_edit::op_code(export_name);
    if (c == 0xFFFF) {
      std::fprintf(stderr, "edit seeds: %s is no edit operation\n", export_name);
      ++failures;
      return *this;
    }
    size_t reads = 0;
    for (const auto& p : tq_fuzz_edit::parse_params(tq_fuzz_edit::edit_ops()[c]->params)) {
      for (const char* t : {"int32_t", "uint32_t", "double", "const char*", "const int32_t*"}) {
        if (p.type == t) ++reads;
      }
    }
    if (reads != args.size()) {
      std::fprintf(stderr, "edit seeds: %s reads %zu arguments, not %zu\n", export_name, reads, args.size());
      ++failures;
    }
    code(c);
    for (const std::string& a : args) bytes += a;
    return *this;
  }
  EditSeq& write_check() {
    code(tq_fuzz_edit::op_write_check());
    return *this;
  }
};

// A name a list add of the export takes that the sample has.
const char* name_for(std::string_view op, std::string_view param) {
  using tq_fuzz_edit::contains;
  if (contains(op, "vocab") || contains(param, "vocab")) return "en_person";
  if (contains(op, "scheme") || contains(param, "scheme")) return "en_nickname";
  if (contains(op, "rgx") || contains(op, "regexlib") || contains(param, "regexlib")) return "en_name_normalize";
  if (contains(op, "phonetx")) return "en_name_sound";
  if (contains(op, "chopper")) return "en_name";
  if (contains(op, "grammar")) return "en_person";
  if (contains(op, "categor") || contains(param, "cat") || contains(param, "abbrev")) return "GIVEN";
  if (contains(op, "token") || contains(param, "token")) return "Given Name";
  if (contains(op, "datatype")) return "Name";
  return "New";
}

// Every edit of a definition kind, on a copy of one of the sample's
// definitions (and so a definition the locale owns), up to 28 edits to a
// sequence; then the copy is unloaded and the locale written and read back.
void edit_definition_seeds(const Seeds& seeds) {
  struct Kind {
    const char* family;
    const char* defn;
  };
  static const Kind kinds[] = {
      {"parse_defn", "Name"},     {"case_defn", "Proper"},      {"stdzn_defn", "Name"},
      {"extraction_defn", "Contact"}, {"gender_defn", "Name"}, {"patrn_defn", "Pattern"},
      {"identification_defn", "Name"}, {"match_defn", "Name"}, {"lang_defn", "English"},
      {"guess_defn", "Language"}, {"datatype", "Name"}};
  for (const Kind& k : kinds) {
    std::string prefix = std::string("tq_") + k.family + "_";
    std::string copy = prefix + "copy", unload = prefix + "unload", add = prefix + "add";
    std::vector<const tq_fuzz_edit::Row*> edits;
    for (const tq_fuzz_edit::Row* r : tq_fuzz_edit::edit_ops()) {
      std::string_view n(r->name);
      if (n.substr(0, prefix.size()) != prefix || n == copy || n == unload || n == add) continue;
      edits.push_back(r);
    }
    for (size_t from = 0, part = 0; from < edits.size(); from += 28, ++part) {
      EditSeq seq;
      seq.op(copy.c_str(), {N(k.defn), N("New")});
      for (size_t i = from; i < edits.size() && i < from + 28; ++i) {
        std::string args;
        bool first_int = true;
        for (const auto& p : tq_fuzz_edit::parse_params(edits[i]->params)) {
          if (p.type == "int32_t") {
            args += first_int ? R(0) : I(0);
            first_int = false;
          } else if (p.type == "uint32_t") {
            args += U(1);
          } else if (p.type == "double") {
            args += U(2);
          } else if (p.type == "const char*") {
            args += N(name_for(edits[i]->name, p.name));
          } else if (p.type == "const int32_t*") {
            args += U(0x10);  // the first two tokens swapped
          }
        }
        seq.code(tq_fuzz_edit::op_code(edits[i]->name));
        seq.bytes += args;
      }
      seq.write_check();
      seeds.put("edit", (std::string(k.family) + "-" + std::to_string(part)).c_str(), seq.bytes);
    }
    // Made new, unloaded, and a parent's definition's lists given names
    // the sample has not.
    EditSeq seq;
    if (std::string(k.family) == "parse_defn") {
      seq.op(add.c_str(), {N("New"), P(0)});
    } else if (tq_fuzz_edit::op_code(add) != 0xFFFF) {
      seq.op(add.c_str(), {N("New")});
    }
    seq.op(copy.c_str(), {N(k.defn), N("Nope")});
    seq.op(unload.c_str(), {R(0)});
    seq.write_check();
    seeds.put("edit", (std::string(k.family) + "-add-unload").c_str(), seq.bytes);
  }
  EditSeq lists;
  lists.op("tq_parse_defn_default_category_add", {P(0)})
      .op("tq_parse_defn_vocabulary_add", {P(0), N("en_gender"), U(0)})
      .op("tq_match_defn_token_noise_vocab_add", {P(0), I(0), N("en_name_noise"), U(95), U(50)})
      .op("tq_parse_defn_unload", {P(0)})
      .op("tq_case_defn_unload", {P(0)})
      .op("tq_lang_defn_unload", {P(0)})
      .write_check();
  seeds.put("edit", "lists-unloads", lists.bytes);
  // The parent's definitions that hold a parse or language definition,
  // changed and so compared by their getters after the write: the index
  // each holds is its own locale's (the parent's first parse definition is
  // its 0), where the child's own slot 0 is an unloaded copy.
  EditSeq holders;
  holders.op("tq_parse_defn_copy", {N("Name"), N("New")})
      .op("tq_parse_defn_unload", {R(0)})
      .op("tq_gender_defn_owner_set", {P(0), N("New")})
      .op("tq_stdzn_defn_owner_set", {P(0), N("New")})
      .op("tq_match_defn_owner_set", {P(0), N("New")})
      .op("tq_guess_defn_owner_set", {P(0), N("New")})
      .write_check();
  seeds.put("edit", "inherited-holders", holders.bytes);
  // A parse definition added empty reads back not valid (the load gives
  // 104, the writer may warn): the engine of the standardization copy made
  // to read it is not compared, those of the other definitions are.
  EditSeq refused;
  refused.op("tq_parse_defn_add", {N("New"), P(0)})
      .op("tq_stdzn_defn_copy", {N("Name"), N("x")})
      .op("tq_stdzn_defn_parse_defn_index_set", {R(1), R(0)})
      .write_check();
  seeds.put("edit", "refused-reader", refused.bytes);
  // A grammar name that names a file of another kind is refused and
  // changes nothing, so the write that follows succeeds.
  EditSeq wrong_kind;
  wrong_kind.op("tq_parse_defn_copy", {N("Name"), N("New")})
      .op("tq_parse_defn_grammar_name_set", {R(0), N("en_comma")})
      .write_check();
  seeds.put("edit", "wrong-kind-name", wrong_kind.bytes);
}

// Resources made, changed, saved (and so read back) and unloaded.
void edit_resource_seeds(const Seeds& seeds) {
  EditSeq regexlib;
  regexlib.op("tq_regexlib_edit_new", {kPathRegexlib, N("new_res")})
      .op("tq_regexlib_create", {N("new_res")})
      .op("tq_regexlib_element_array_size_set", {R(0), U(2)})
      .op("tq_regexlib_element_info_set", {R(0), U(0), N("[A-Z]+"), N("x"), N("")})
      .op("tq_regexlib_element_info_set", {R(0), U(1), N("("), N("x"), N("")})
      .op("tq_regexlib_element_info_set", {R(0), U(1), N("x"), N("a\\1"), N("New")})
      .op("tq_regexlib_save", {R(0)})
      .op("tq_regexlib_unload", {R(0)})
      .op("tq_regexlib_load", {N("en_comma")})
      .op("tq_regexlib_owner_set", {R(1), N("New")})
      .op("tq_regexlib_save", {R(1)});
  seeds.put("edit", "regexlib", regexlib.bytes);
  EditSeq vocab;
  vocab.op("tq_vocab_edit_new", {kPathVocab, N("new_res")})
      .op("tq_vocabulary_create", {})
      .op("tq_vocab_edit_numcategories_set", {R(0), U(1)})
      .op("tq_vocab_edit_category_set", {R(0), U(0), N("GIVEN"), N("Given Name")})
      .op("tq_vocab_edit_prepare", {R(0)})
      .op("tq_vocab_edit_numwords_set", {R(0), U(1)})
      .op("tq_vocab_edit_word_set", {R(0), U(0), N("x"), U(1)})
      .op("tq_vocab_edit_wordcat_set", {R(0), U(0), U(0), N("GIVEN"), I(50)})
      .op("tq_vocab_save", {R(0)})
      .op("tq_vocabulary_load", {N("en_gender")})
      .op("tq_vocab_owner_set", {R(1), N("New")})
      .op("tq_vocab_save", {R(1)})
      .op("tq_vocabulary_unload", {R(1)});
  seeds.put("edit", "vocab", vocab.bytes);
  EditSeq phonetx;
  phonetx.op("tq_phonetx_edit_new", {kPathPhonetx, N("new_res")})
      .op("tq_phonetx_create", {N("new_res")})
      .op("tq_phonetx_rule_add", {R(0), N("x"), N("GIVEN"), I(50), U(0)})
      .op("tq_phonetx_rule_add", {R(0), N("("), N("x"), I(50), U(6)})
      .op("tq_phonetx_prepare", {R(0)})
      .op("tq_phonetx_save", {R(0)})
      .op("tq_phonetx_edit", {N("en_name_sound")})
      .op("tq_phonetx_edit_free", {})
      .op("tq_phonetx_load", {N("en_name_sound")})
      .op("tq_phonetx_unload", {R(2)});
  seeds.put("edit", "phonetx", phonetx.bytes);
  // A set saved while the context's edit session holds another file (no
  // part of the set), once before it is compiled and once after a rule
  // added to it compiled: each save reads back as the rules given.
  EditSeq beside;
  beside.op("tq_phonetx_edit", {N("en_name_sound")})
      .op("tq_phonetx_edit_new", {kPathPhonetx, N("new_res")})
      .op("tq_phonetx_create", {N("new_res")})
      .op("tq_phonetx_rule_add", {R(0), N("EN"), N("x"), I(50), U(0)})
      .op("tq_phonetx_save", {R(0)})
      .op("tq_phonetx_prepare", {R(0)})
      .op("tq_phonetx_rule_add", {R(0), N("x"), N("GIVEN"), I(50), U(1)})
      .op("tq_phonetx_save", {R(0)});
  seeds.put("edit", "phonetx-beside-session", beside.bytes);
  EditSeq chopper;
  chopper.op("tq_chopper_edit", {N("en_name")})
      .op("tq_chopper_owner_set", {R(0), N("New")})
      .op("tq_chopper_table_enabled_set", {R(0), U(0)})
      .op("tq_chopper_save", {R(0)})
      .op("tq_chopper_edit_new", {kPathChopper, N("new_res")})
      .op("tq_chopper_create", {N("new_res")})
      .op("tq_chopper_save", {R(1)})
      .op("tq_chopper_unload", {R(0)});
  seeds.put("edit", "chopper", chopper.bytes);
  EditSeq grammar;
  grammar.op("tq_grammar_edit", {N("en_person")})
      .op("tq_grammar_owner_set", {R(0), N("New")})
      .op("tq_grammar_save", {R(0)})
      .op("tq_grammar_edit_new", {kPathGrammar, N("new_res")})
      .op("tq_grammar_create", {N("new_res")})
      .op("tq_grammar_category_add", {R(1), N("GIVEN"), N("Given Name")})
      .op("tq_grammar_save", {R(1)})
      .op("tq_grammar_unload", {R(0)});
  seeds.put("edit", "grammar", grammar.bytes);
  EditSeq scheme;
  scheme.op("tq_scheme_load_edit", {N("en_nickname")})
      .op("tq_scheme_entry_add", {R(0), N("x"), N("New")})
      .op("tq_scheme_write", {R(0)})
      .op("tq_scheme_create", {kPathScheme, N("new_res"), U(1)})
      .op("tq_scheme_entry_add", {R(1), N("x"), N("New")})
      .op("tq_scheme_write", {R(1)})
      .op("tq_scheme_unload_edit", {R(0)})
      .op("tq_transf_scheme_load", {N("en_nickname"), I(-1), I(-1), U(0)})
      .op("tq_transf_scheme_unload", {R(2)});
  seeds.put("edit", "scheme", scheme.bytes);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT\n", argv[0]);
    return 2;
  }
  Seeds seeds{argv[1]};
  parse_seeds(seeds);
  value_seeds(seeds);
  xml_and_vault_seeds(seeds);
  locale_seeds(seeds);
  phonetx_seeds(seeds);
  regexlib_seeds(seeds);
  scheme_seeds(seeds);
  vocab_seeds(seeds);
  chop_seeds(seeds);
  grammar_seeds(seeds);
  meta_seeds(seeds);
  datatype_seeds(seeds);
  defnxml_seeds(seeds);
  edit_definition_seeds(seeds);
  edit_resource_seeds(seeds);
  return failures == 0 ? 0 : 1;
}
