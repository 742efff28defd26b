// Loading a locale (three vault files: ENUSA, its parent EN and the root
// L1) and reading a plain krxml document, beside Expat parsing the same
// XML text from memory with handlers that only count: what the file
// search, the reads, the line cipher and the document building add. Also
// a read whose tags carry many attributes (the reader checks each start
// tag with attributes for entity references), and the write of a document
// with one long text (the writer escapes it). Last, the edit roads on a
// copy of the sample knowledge base: an edit load of EN (and L1) with every
// part, the same of EN loaded already (its file taken again as the version
// read), and the saves of a chopper and of the locale.
#include <benchmark/benchmark.h>
#include <expat.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tq.h"

namespace {

namespace fs = std::filesystem;

struct Kb {
  fs::path root;
  Kb() {
    std::string tmpl = (fs::temp_directory_path() / "tq-bench-load-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    root = tmpl;
    fs::create_directories(root / "locale");
    fs::create_directories(root / "plain");
  }
  ~Kb() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

struct LocaleFile {
  const char* name;
  const char* description;
  const char* parent;
};
constexpr LocaleFile kLocales[] = {
    {"l1.loc", "ISO-8859-1 (Latin-1)", ""},
    {"en.loc", "English", "l1.loc"},
    {"enusa.loc", "English (United States)", ""},
};

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

// Each locale file written twice: as the vault file the load reads, and as
// plain XML, whose text is what the vault file deciphers to.
const Kb& locale_kb(std::vector<std::string>* texts) {
  static Kb kb;
  static std::vector<std::string> plain;
  if (plain.empty()) {
    tq_context* ctx = nullptr;
    if (tq_init(&ctx, kb.root.c_str()) != 0) std::abort();
    for (const LocaleFile& f : kLocales) {
      tq_xmldoc* doc = nullptr;
      tq_xml_create(ctx, "Locale Settings", "9.0", &doc);
      tq_xml_addprop(ctx, doc, "Locale Description", f.description);
      tq_xml_addprop(ctx, doc, "Parent Locale", f.parent);
      std::string vault = (kb.root / "locale" / f.name).string();
      std::string text = (kb.root / "plain" / f.name).string();
      if (tq_xml_write(ctx, 0, vault.c_str(), 1, doc) != 0 || tq_xml_write(ctx, 0, text.c_str(), 0, doc) != 0) {
        std::abort();
      }
      tq_xml_free(ctx, doc);
      plain.push_back(slurp(text + ".xml"));
    }
    tq_close(ctx);
  }
  if (texts != nullptr) *texts = plain;
  return kb;
}

// A plain document of n records with two columns.
std::string document_text(int n) {
  std::string t = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<krxml>\n    <file type=\"Vocabulary\" version=\"9.0\">\n";
  t += "        <property name=\"Name\">bench</property>\n";
  t += "        <data length=\"" + std::to_string(n) + "\">\n";
  t += "            <layout width=\"2\">\n                <column type=\"string\">Word</column>\n";
  t += "                <column type=\"int\">Weight</column>\n            </layout>\n";
  for (int i = 0; i < n; ++i) {
    std::string k = "KEY" + std::to_string(i);
    t += "            <record key=\"" + k + "\">\n                <field column=\"Word\">word " + k +
         "</field>\n                <field column=\"Weight\">" + std::to_string(i % 100) +
         "</field>\n                <value>v</value>\n            </record>\n";
  }
  t += "        </data>\n    </file>\n</krxml>\n";
  return t;
}

const fs::path& document_file(int n) {
  static Kb kb;
  static std::vector<std::pair<int, fs::path>> made;
  for (const auto& m : made) {
    if (m.first == n) return m.second;
  }
  fs::path p = kb.root / ("doc" + std::to_string(n) + ".xml");
  std::ofstream(p, std::ios::binary) << document_text(n);
  made.emplace_back(n, p);
  return made.back().second;
}

void XMLCALL count_start(void* user, const XML_Char*, const XML_Char**) { ++*static_cast<long*>(user); }
void XMLCALL count_end(void* user, const XML_Char*) { ++*static_cast<long*>(user); }
void XMLCALL count_chars(void* user, const XML_Char*, int) { ++*static_cast<long*>(user); }

long expat_parse(const std::string& text) {
  long events = 0;
  XML_Parser p = XML_ParserCreate(nullptr);
  XML_SetUserData(p, &events);
  XML_SetElementHandler(p, count_start, count_end);
  XML_SetCharacterDataHandler(p, count_chars);
  if (XML_Parse(p, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_ERROR) std::abort();
  XML_ParserFree(p);
  return events;
}

// ---- Locale load ---------------------------------------------------------------

void BM_LocaleLoad(benchmark::State& state) {
  const Kb& kb = locale_kb(nullptr);
  tq_context* ctx = nullptr;
  if (tq_init(&ctx, kb.root.c_str()) != 0) std::abort();
  for (auto _ : state) {
    if (tq_zel_locale_load(ctx, 29840, 0) != 0) std::abort();
    tq_zel_locale_unload(ctx, 29840);
  }
  state.SetItemsProcessed(state.iterations() * 3);  // files
  tq_close(ctx);
}
BENCHMARK(BM_LocaleLoad);

void BM_LocaleExpat(benchmark::State& state) {
  std::vector<std::string> texts;
  locale_kb(&texts);
  for (auto _ : state) {
    for (const std::string& t : texts) benchmark::DoNotOptimize(expat_parse(t));
  }
  state.SetItemsProcessed(state.iterations() * 3);
}
BENCHMARK(BM_LocaleExpat);

// ---- Document read -------------------------------------------------------------

// Reads the plain document at path and frees it, again and again.
void document_reads(benchmark::State& state, const fs::path& file) {
  const std::string path = file.string();
  tq_context* ctx = nullptr;
  if (tq_init(&ctx, nullptr) != 0) std::abort();
  for (auto _ : state) {
    tq_xmldoc* doc = nullptr;
    if (tq_xml_read(ctx, path.c_str(), 0, &doc) != 0) std::abort();
    tq_xml_free(ctx, doc);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(path)));
  tq_close(ctx);
}

void BM_DocumentRead(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  document_reads(state, document_file(n));
  state.SetItemsProcessed(state.iterations() * n);  // records
}
BENCHMARK(BM_DocumentRead)->Arg(100)->Arg(10000);

void BM_DocumentExpat(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::string text = slurp(document_file(n));
  for (auto _ : state) benchmark::DoNotOptimize(expat_parse(text));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_DocumentExpat)->Arg(100)->Arg(10000);

// ---- Attribute-heavy read ------------------------------------------------------

// 20,000 records whose start tags carry five attributes each (the key and
// four the reader passes over); with refs, one value of each tag holds
// references ("&amp;", "&#65;").
const fs::path& attribute_file(bool refs) {
  static Kb kb;
  static fs::path made[2];
  fs::path& p = made[refs ? 1 : 0];
  if (!p.empty()) return p;
  constexpr int kRecords = 20000;
  std::string t = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<krxml>\n    <file type=\"Vocabulary\" version=\"9.0\">\n";
  t += "        <data length=\"" + std::to_string(kRecords) + "\">\n";
  for (int i = 0; i < kRecords; ++i) {
    const std::string n = std::to_string(i);
    t += "            <record key=\"KEY" + n + "\" source=\"" + (refs ? "list &amp; book &#65;" : "list and book A") +
         "\" lang=\"en\" stamp=\"2024-05-" + std::to_string(10 + i % 20) + "T12:00:00\" note=\"entry number " + n +
         "\"><value>v</value></record>\n";
  }
  t += "        </data>\n    </file>\n</krxml>\n";
  p = kb.root / (refs ? "attrs-refs.xml" : "attrs.xml");
  std::ofstream(p, std::ios::binary) << t;
  return p;
}

void BM_AttributeRead(benchmark::State& state) { document_reads(state, attribute_file(state.range(0) != 0)); }
BENCHMARK(BM_AttributeRead)->ArgName("refs")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// ---- Large write ---------------------------------------------------------------

// A document whose one property holds 1 MiB of text: prose with a quote,
// an ampersand or an angle bracket to escape every few dozen bytes, and
// some characters beyond ASCII.
void BM_LargeWrite(benchmark::State& state) {
  static Kb kb;
  const std::string sentence = "The \"quick\" brown fox & the lazy dog <jumped> over caf\xC3\xA9 fences, 42 times. ";
  std::string text;
  while (text.size() < (1u << 20)) text += sentence;
  text.resize(1u << 20);
  while ((static_cast<unsigned char>(text.back()) & 0x80) != 0) text.pop_back();  // no cut character
  tq_context* ctx = nullptr;
  if (tq_init(&ctx, kb.root.c_str()) != 0) std::abort();
  tq_xmldoc* doc = nullptr;
  if (tq_xml_create(ctx, "Bench", "1.0", &doc) != 0 || tq_xml_addprop(ctx, doc, "Text", text.c_str()) != 0) {
    std::abort();
  }
  const std::string file = (kb.root / "large").string();
  for (auto _ : state) {
    if (tq_xml_write(ctx, 0, file.c_str(), 0, doc) != 0) std::abort();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
  tq_xml_free(ctx, doc);
  tq_close(ctx);
}
BENCHMARK(BM_LargeWrite)->Unit(benchmark::kMillisecond);

// ---- Edit loads and saves ------------------------------------------------------

constexpr int32_t kEn = 29000;
constexpr uint32_t kEveryPart = 0xFFEu;

// An edit-mode context on a copy of the sample knowledge base.
struct EditKb {
  Kb kb;
  tq_context* ctx = nullptr;
  EditKb() {
    fs::copy(TQ_SAMPLE_KB, kb.root / "kb", fs::copy_options::recursive);
    const std::string root = (kb.root / "kb").string();
    if (tq_init_edit_mode(&ctx, root.c_str()) != 0 || tq_zel_path_set(ctx, root.c_str()) != 0) std::abort();
  }
  ~EditKb() { tq_close(ctx); }
};

void edit_loads(benchmark::State& state, bool loaded_before) {
  EditKb e;
  if (loaded_before && tq_zel_locale_load(e.ctx, kEn, kEveryPart) < 0) std::abort();
  for (auto _ : state) {
    tq_lock_handle* lock = nullptr;
    if (tq_lock_init(e.ctx, &lock) != 0 || tq_zel_locale_load_edit(e.ctx, kEn, kEveryPart, lock) < 0) std::abort();
    tq_zel_locale_unload_edit(e.ctx, kEn, lock);
    tq_lock_free(e.ctx, lock);
  }
}

void BM_LocaleLoadEdit(benchmark::State& state) { edit_loads(state, false); }
BENCHMARK(BM_LocaleLoadEdit)->Unit(benchmark::kMillisecond);

void BM_LocaleLoadEditLoaded(benchmark::State& state) { edit_loads(state, true); }
BENCHMARK(BM_LocaleLoadEditLoaded);

void BM_ChopperSave(benchmark::State& state) {
  EditKb e;
  tq_lock_handle* lock = nullptr;
  int32_t index = -1;
  if (tq_lock_init(e.ctx, &lock) != 0 || tq_chopper_edit(e.ctx, "en_name", lock, &index) < 0) std::abort();
  for (auto _ : state) {
    if (tq_chopper_save(e.ctx, index, lock) < 0) std::abort();
  }
  tq_lock_free(e.ctx, lock);
}
BENCHMARK(BM_ChopperSave);

void BM_LocaleWrite(benchmark::State& state) {
  EditKb e;
  tq_lock_handle* lock = nullptr;
  if (tq_lock_init(e.ctx, &lock) != 0 || tq_zel_locale_load_edit(e.ctx, kEn, kEveryPart, lock) < 0) std::abort();
  for (auto _ : state) {
    if (tq_locale_write(e.ctx, kEn, lock) < 0) std::abort();
  }
  tq_lock_free(e.ctx, lock);
}
BENCHMARK(BM_LocaleWrite)->Unit(benchmark::kMillisecond);

}  // namespace
