// Out of memory at every step of a call: for each workload, the Nth heap
// allocation of the call fails (N sampled over the clean run's count, every
// N with TQ_FAULT_SWEEP=all), and each run must end in the clean result or
// in -600, named as critical. Afterwards nothing stays held (a clone's call
// answers), the same call gives the clean result, and a new context finds
// the knowledge base as a clean run does.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/krcorvel.h"
#include "core/krzel.h"
#include "faults/fail_alloc.h"
#include "faults/sample_engines.h"
#include "resources/krsch.h"
#include "support/sample_locales.h"
#include "support/tq_test.h"

namespace {

using tq_test::kEveryPart;
using tq_test::kSampleEnusa;

// What a call gave: its result and what it wrote, as text.
struct Outcome {
  int32_t rc = 0;
  std::string out;
};

// One run of a workload: the contexts it sets up (not counted) and a clone
// of the first, whose calls must answer after any failure of the first.
struct CallRun {
  tq_context* ctx = nullptr;
  tq_context* clone = nullptr;
  std::filesystem::path root;
  std::string root_text;  // root as text, made before the call is counted
  // What an edit or a save works on, given back before the contexts.
  tq_lock_handle* lock = nullptr;
  int32_t index = -1;
  tq_xmldoc* doc = nullptr;
  tq_vault_file* vault = nullptr;
  std::string file;  // made before the call: a path is too long to allocate nothing
  ~CallRun() {
    if (doc != nullptr) tq_xml_free(ctx, doc);
    if (vault != nullptr) tq_zel_vlt_file_close(ctx, vault);
    if (lock != nullptr) tq_lock_free(ctx, lock);
    if (clone != nullptr) tq_close(clone);
    if (ctx != nullptr) tq_close(ctx);
  }
};

struct Workload {
  const char* name;
  // Prepares the run (not counted); false when it could not.
  std::function<bool(CallRun&)> setup;
  // The call whose allocations are failed.
  std::function<Outcome(CallRun&)> call;
  // Whether the run's root is a copy of the sample (the call writes).
  bool writes = false;
  // Whether the call may go on past a failure with a warning (a locale
  // load's 104), which must then name -600 in its list.
  bool may_warn = false;
  // What the knowledge base gives once the call is made again with memory
  // back, compared with the clean run's (a load's engines); may be empty.
  std::function<std::string(CallRun&)> after = nullptr;
  // The file a save replaces, under the root: after a failed run it is the
  // old one or the clean run's new one whole, with no temporary file
  // beside it.
  const char* saved = nullptr;
  // Whether the root is reached through a symbolic link to the copy.
  bool linked = false;
  // A file under the root (with its extension) that a run failing with
  // -600 leaves unlocked: another context's lock on it is not refused.
  const char* unlocked = nullptr;
  // The last allocations of the call, each failed besides the sample: a
  // save makes its document and writes it last, after checks that allocate
  // far more (a rule set compiled as its reader will).
  long tail = 0;
};

// A context on the root, UTF-8, and a clone of it (an edit-mode context
// has none).
bool open_on(CallRun& run, bool edit = false) {
  const std::string& root = run.root_text;
  if ((edit ? tq_init_edit_mode(&run.ctx, root.c_str()) : tq_init(&run.ctx, root.c_str())) < 0) return false;
  return tq_session_encoding_set(run.ctx, TQ_ENC_UTF8) >= 0 && tq_zel_path_set(run.ctx, root.c_str()) >= 0 &&
         (edit || tq_clone(run.ctx, &run.clone) >= 0);
}

bool loaded(CallRun& run, uint32_t parts = kEveryPart, bool edit = false) {
  return open_on(run, edit) && tq_zel_locale_load(run.ctx, kSampleEnusa, parts) >= 0;
}

// An edit-mode context with a lock handle, ENUSA loaded for editing.
bool editing(CallRun& run) {
  return open_on(run, true) && tq_lock_init(run.ctx, &run.lock) == 0 &&
         tq_zel_locale_load_edit(run.ctx, kSampleEnusa, kEveryPart, run.lock) >= 0;
}

// An edit-mode context whose lock handle a vocabulary is registered with,
// so that its first use locks its file.
bool vocab_editing(CallRun& run) {
  return open_on(run, true) && tq_lock_init(run.ctx, &run.lock) == 0 &&
         tq_vocabulary_load(run.ctx, "en_name_noise", run.lock, &run.index) >= 0;
}

Outcome numwords(CallRun& run) {
  uint32_t count = 0;
  Outcome o;
  o.rc = tq_vocab_numwords_get(run.ctx, run.index, &count);
  tq_test::AllocPause pause;
  o.out = std::to_string(count);
  return o;
}

Outcome load_edit(CallRun& run) {
  Outcome o;
  o.rc = tq_zel_locale_load_edit(run.ctx, kSampleEnusa, kEveryPart, run.lock);
  return o;
}

// An edit load of ENUSA whose allocations are counted, then, memory back,
// the write of its parent EN (which holds the definitions): the result is
// the write's, and what it wrote. So a load that failed part way and the
// next load made after it both write what a clean load writes.
Outcome load_edit_then_write(CallRun& run) {
  Outcome o;
  o.rc = tq_zel_locale_load_edit(run.ctx, kSampleEnusa, kEveryPart, run.lock);
  tq_test::AllocPause pause;
  if (o.rc < 0) return o;
  o.rc = tq_locale_write(run.ctx, tq_test::kSampleEn, run.lock);
  o.out = tq_test::read_file(run.root / "locale" / "en.loc.zel");
  return o;
}

// EN of the copy at `root` with its first likelihood past the int32 range,
// as its file writes it (a definition refused whole, written back so).
bool likelihood_past_int32(const std::filesystem::path& root) {
  tq_test::Context maker(root.c_str(), true);
  const std::string vault = (root / "locale" / "en.loc").string(), plain = (root / "en.xml").string();
  const std::string from = "<field column=\"Likelihood\">70<", to = "<field column=\"Likelihood\">2147483648<";
  tq_xmldoc* doc = nullptr;
  if (tq_xml_read(maker, vault.c_str(), 1, &doc) != 0) return false;
  const bool written = tq_xml_write(maker, 0, plain.c_str(), 8, doc) == 0;
  tq_xml_free(maker, doc);
  std::string text = tq_test::read_file(plain);
  const size_t at = text.find(from);
  if (!written || at == std::string::npos) return false;
  std::ofstream(plain, std::ios::trunc) << text.replace(at, from.size(), to);
  if (tq_xml_read(maker, plain.c_str(), 8, &doc) != 0) return false;
  const bool made = tq_xml_write(maker, 0, vault.c_str(), 1, doc) == 0;
  tq_xml_free(maker, doc);
  return made;
}

// A scheme of ENUSA opened for editing.
bool scheme_editing(CallRun& run) {
  return editing(run) && tq_scheme_load_edit(run.ctx, "en_nickname", run.lock, &run.index) >= 0;
}

// An entry added to the scheme (taken out first, so that the call can be
// made again: the sample's scheme lacks it); its count of entries after.
Outcome entry_add(CallRun& run) {
  Outcome o;
  o.rc = tq_scheme_entry_delete(run.ctx, run.index, "BOBBIE");
  if (o.rc != TQ_ERR_NO_MEMORY) o.rc = tq_scheme_entry_add(run.ctx, run.index, "BOBBIE", "ROBERT");
  uint32_t count = 0;
  tq_scheme_element_count_get(run.ctx, run.index, &count);
  tq_test::AllocPause pause;
  o.out = std::to_string(count);
  return o;
}

// A resource of the sample opened for editing through the run's lock by
// `open` (a load or edit export taking a name, the lock and the index).
using ResourceOpen = int32_t (*)(tq_context*, const char*, tq_lock_handle*, int32_t*);
bool resource_editing(CallRun& run, ResourceOpen open, const char* name) {
  return editing(run) && open(run.ctx, name, run.lock, &run.index) >= 0;
}

// A rule set is read for editing into the context's session (which locks
// its file) and saved through its load.
int32_t phonetx_open(tq_context* ctx, const char* name, tq_lock_handle* lock, int32_t* index) {
  const int32_t rc = tq_phonetx_edit(ctx, name, lock);
  return rc < 0 ? rc : tq_phonetx_load(ctx, name, index);
}

// The save of a resource opened as above, replacing its file `saved`.
Workload save_row(const char* row, ResourceOpen open, const char* name,
                  int32_t (*save)(tq_context*, int32_t, tq_lock_handle*), const char* saved) {
  return {row, [=](CallRun& run) { return resource_editing(run, open, name); },
          [=](CallRun& run) {
            Outcome o;
            o.rc = save(run.ctx, run.index, run.lock);
            return o;
          },
          true, false, nullptr, saved, false, nullptr, 40};
}

Outcome text_call(const std::function<int32_t(char*)>& call) {
  char out[4096] = "";
  Outcome o;
  o.rc = call(out);
  tq_test::AllocPause pause;
  o.out = out;
  return o;
}

// A read that refuses a reference: the entity check's answer, or Expat's
// own refusal named the same way. The documents live in one folder made
// once, so that every run's message is the same.
Workload refused_read_row(const char* row, const char* name, const char* text) {
  return {row,
          [=](CallRun& run) {
            static tq_test::TempDir dir;
            run.file = dir.write(name, text).string();
            return open_on(run);
          },
          [](CallRun& run) {
            tq_xmldoc* doc = nullptr;
            Outcome o;
            const int32_t rc = tq_xml_read(run.ctx, run.file.c_str(), 8, &doc);
            tq_test::AllocPause pause;
            // The refusal's message is the reader tests' concern: the error
            // list keeps a report's code alone when its text finds no memory.
            o.rc = rc == TQ_ERR_INVALID_CONTENT ? 0 : rc < 0 ? rc : 1;
            if (doc != nullptr) tq_xml_free(run.ctx, doc);
            return o;
          }};
}

constexpr const char* kName = tq_test::kSampleName;

std::string engines(CallRun& run) { return tq_test::sample_engines(run.ctx); }

// A context started on the run's root by `start` (tq_init or
// tq_init_edit_mode).
Outcome started(CallRun& run, int32_t (*start)(tq_context**, const char*)) {
  Outcome o;
  o.rc = start(&run.ctx, run.root_text.c_str());
  o.out = run.ctx != nullptr ? "context" : "none";
  return o;
}

std::vector<Workload> workloads() {
  return {
      {"Init", [](CallRun&) { return true; }, [](CallRun& run) { return started(run, tq_init); }},
      {"InitEditMode", [](CallRun&) { return true; }, [](CallRun& run) { return started(run, tq_init_edit_mode); }},
      {"PathSet", [](CallRun& run) { return tq_init(&run.ctx, nullptr) >= 0; },
       [](CallRun& run) {
         Outcome o;
         o.rc = tq_zel_path_set(run.ctx, run.root_text.c_str());
         return o;
       }},
      {"Clone", [](CallRun& run) { return open_on(run); },
       [](CallRun& run) {
         tq_context* made = nullptr;
         Outcome o;
         o.rc = tq_clone(run.ctx, &made);
         o.out = made != nullptr ? "context" : "none";
         if (made != nullptr) tq_close(made);
         return o;
       }},
      {"LocaleLoad", [](CallRun& run) { return open_on(run); },
       [](CallRun& run) {
         Outcome o;
         o.rc = tq_zel_locale_load(run.ctx, kSampleEnusa, kEveryPart);
         return o;
       },
       false, true, &engines},
      {"Parse", [](CallRun& run) { return loaded(run); },
       [](CallRun& run) {
         static tq_parse_token tokens[TQ_PARSE_TOKENS];
         uint32_t count = 0;
         Outcome o;
         o.rc = tq_parse(run.ctx, "Name", kName, tokens, &count);
         tq_test::AllocPause pause;
         for (uint32_t i = 0; i < count; ++i) o.out += std::string(tokens[i].value) + "|";
         return o;
       }},
      {"Propercase", [](CallRun& run) { return loaded(run); },
       [](CallRun& run) {
         return text_call([&](char* out) { return tq_propercase(run.ctx, "Name", kName, out, 4096); });
       }},
      {"Standardize", [](CallRun& run) { return loaded(run); },
       [](CallRun& run) { return text_call([&](char* out) { return tq_standardize(run.ctx, "Name", kName, out); }); }},
      {"Match", [](CallRun& run) { return loaded(run); },
       [](CallRun& run) { return text_call([&](char* out) { return tq_match(run.ctx, "Name", 85, kName, out); }); }},
      {"Gender", [](CallRun& run) { return loaded(run); },
       [](CallRun& run) {
         return text_call([&](char* out) { return tq_gender_determine(run.ctx, "Name", kName, out); });
       }},
      {"Identify", [](CallRun& run) { return loaded(run); },
       [](CallRun& run) { return text_call([&](char* out) { return tq_identify(run.ctx, "Name", kName, out); }); }},
      {"Pattern", [](CallRun& run) { return loaded(run); },
       [](CallRun& run) {
         return text_call([&](char* out) { return tq_pattern_analyze(run.ctx, "Pattern", kName, out); });
       }},
      {"Extract", [](CallRun& run) { return loaded(run); },
       [](CallRun& run) {
         static tq_extract_token tokens[TQ_EXTRACT_TOKENS];
         uint32_t count = 0;
         int32_t index = -1;
         Outcome o;
         o.rc = tq_extraction_defn_index_get_by_name(run.ctx, "Contact", &index);
         if (o.rc >= 0) o.rc = tq_extract_by_index(run.ctx, index, "John Smith joined Acme Corp on Monday.", tokens, &count);
         tq_test::AllocPause pause;
         for (uint32_t i = 0; i < count; ++i) o.out += std::string(tokens[i].value) + "|";
         return o;
       }},
      {"LanguageGuess", [](CallRun& run) { return loaded(run); },
       [](CallRun& run) {
         int32_t score = -1;
         Outcome o;
         o.rc = tq_language_guess_score(run.ctx, "English", "the quick brown fox", &score);
         tq_test::AllocPause pause;
         o.out = std::to_string(score);
         return o;
       }},
      {"LocaleGuess", [](CallRun& run) { return loaded(run); },
       [](CallRun& run) {
         static const uint32_t candidates[] = {static_cast<uint32_t>(kSampleEnusa)};
         uint32_t guessed = 0;
         Outcome o;
         o.rc = tq_guess_locale(run.ctx, "Language", "the quick brown fox", candidates, nullptr, 1, &guessed);
         tq_test::AllocPause pause;
         o.out = std::to_string(guessed);
         return o;
       }},
      // A regex library read without compiling, compiled by its first use;
      // the rewritten text shows every element's work.
      {"RegexlibFirstUse",
       [](CallRun& run) {
         return loaded(run) && tq_regexlib_load_no_compile(run.ctx, "en_pattern", nullptr, &run.index) >= 0;
       },
       [](CallRun& run) {
         int32_t matched = -1;
         return text_call([&](char* out) {
           return tq_regexlib_match_and_replace(run.ctx, run.index, kName, out, &matched);
         });
       }},
      // Entities a tag names, one whose text brings a tag, and an undefined
      // one: under an external DTD, which Expat reads as nothing; with none,
      // which it refuses itself.
      refused_read_row("XmlReadEntityRefused", "dtd.xml",
                       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE krxml SYSTEM \"krxml.dtd\" ["
                       "<!ENTITY c \"&amp;\"><!ENTITY b \"&c;&c;\"><!ENTITY a \"x&b;\">"
                       "<!ENTITY t \"<value a='&a;'>v</value>\">]>\n<krxml><file type=\"T\" version=\"1\">"
                       "<data length=\"2\"><record key=\"&a;&b;\">&t;</record>\n"
                       "<record key=\"&a;&undefined;\"/></data></file></krxml>\n"),
      refused_read_row("XmlReadEntityRefusedByExpat", "none.xml",
                       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<!DOCTYPE krxml ["
                       "<!ENTITY c \"&amp;\"><!ENTITY b \"&c;&c;\"><!ENTITY a \"x&b;\">]>\n<krxml>"
                       "<file type=\"T\" version=\"1\"><data length=\"2\"><record key=\"&a;\xE9\"/>\n"
                       "<record key=\"\xE9&a;&undefined;\"/></data></file></krxml>\n"),
      {"XmlRead", [](CallRun& run) { return open_on(run); },
       [](CallRun& run) {
         tq_xmldoc* doc = nullptr;
         Outcome o;
         o.rc = tq_xml_read(run.ctx, "en_pattern", 1, &doc);
         tq_test::AllocPause pause;
         char type[1028 + 4] = "";
         if (doc != nullptr) tq_xml_getprop(run.ctx, doc, "Type", type);
         o.out = doc != nullptr ? std::string("document ") + type : "none";
         if (doc != nullptr) tq_xml_free(run.ctx, doc);
         return o;
       }},
      // An engine in a UCS-2 session, whose texts take the general
      // conversions.
      {"PropercaseUcs2",
       [](CallRun& run) { return loaded(run) && tq_session_encoding_set(run.ctx, TQ_ENC_UCS2_LE) >= 0; },
       [](CallRun& run) {
         static const char name[] = "N\0a\0m\0e\0\0";
         static const char value[] = "D\0r\0.\0 \0B\0i\0l\0l\0 \0O\0'\0B\0r\0i\0e\0n\0 \0J\0r\0\0";
         char out[4096] = {};
         Outcome o;
         o.rc = tq_propercase(run.ctx, name, value, out, sizeof out);
         tq_test::AllocPause pause;
         for (size_t i = 0; i + 1 < sizeof out && (out[i] != 0 || out[i + 1] != 0); i += 2) o.out += out[i];
         return o;
       }},
      {"SchemeEdit", scheme_editing, entry_add, true},
      {"LocaleWrite",
       [](CallRun& run) {
         int32_t parse = -1;
         return editing(run) && tq_parse_defn_index_get_by_name(run.ctx, "Name", &parse) == 0 &&
                tq_parse_defn_owner_set(run.ctx, parse, "DQ Team") == 0;
       },
       [](CallRun& run) {
         Outcome o;
         o.rc = tq_locale_write(run.ctx, kSampleEnusa, run.lock);
         return o;
       },
       true, false, nullptr, "locale/enusa.loc.zel"},
      {"SchemeWrite", [](CallRun& run) { return scheme_editing(run) && entry_add(run).rc >= 0; },
       [](CallRun& run) {
         Outcome o;
         o.rc = tq_scheme_write(run.ctx, run.index, run.lock);
         return o;
       },
       true, false, nullptr, "scheme/en_nickname.sch.zel"},
      // The knowledge base's folder renamed, and a copy put in its place,
      // while the scheme is held: the save reaches the held file where it
      // now is (the run's root follows it there, for the files compared).
      {"SchemeWriteMovedFolder",
       [](CallRun& run) {
         if (!scheme_editing(run) || entry_add(run).rc < 0) return false;
         const std::filesystem::path moved = run.root.string() + ".old";
         std::filesystem::rename(run.root, moved);
         std::filesystem::copy(moved, run.root, std::filesystem::copy_options::recursive);
         run.root = moved;
         return true;
       },
       [](CallRun& run) {
         Outcome o;
         o.rc = tq_scheme_write(run.ctx, run.index, run.lock);
         return o;
       },
       true, false, nullptr, "scheme/en_nickname.sch.zel"},
      {"XmlWrite",
       [](CallRun& run) {
         run.file = (run.root / "locale" / "en.loc").string();
         return open_on(run, true) && tq_xml_read(run.ctx, run.file.c_str(), 1, &run.doc) == 0 &&
                tq_xml_setprop(run.ctx, run.doc, "Owner", "Data Quality Team") >= 0;
       },
       [](CallRun& run) {
         Outcome o;
         o.rc = tq_xml_write(run.ctx, 0, run.file.c_str(), 1, run.doc);
         return o;
       },
       true, false, nullptr, "locale/en.loc.zel"},
      {"VaultWrite",
       [](CallRun& run) { return open_on(run, true) && tq_zel_vlt_file_edit(run.ctx, "en.loc", 7, &run.vault) >= 0; },
       [](CallRun& run) {
         Outcome o;
         o.rc = tq_zel_vlt_file_write(run.ctx, run.vault);
         return o;
       },
       true, false, nullptr, "locale/en.loc.zel"},
      save_row("GrammarSave", tq_grammar_edit, "en_person", tq_grammar_save, "grammar/en_person.zel"),
      save_row("PhonetxSave", phonetx_open, "en_name_sound", tq_phonetx_save, "phonetx/en_name_sound.zel"),
      save_row("ChopperSave", tq_chopper_edit, "en_name", tq_chopper_save, "chopinfo/en_name.zel"),
      save_row("RegexlibSave", tq_regexlib_load, "en_pattern", tq_regexlib_save, "regexlib/en_pattern.zel"),
      save_row("VocabSave", tq_vocabulary_load, "en_name_noise", tq_vocab_save, "vocab/en_name_noise.zev"),
      // A compiled vocabulary written out as its XML form, a file the
      // sample lacks: after a failure there is none or the whole new one.
      {"VocabToXml",
       [](CallRun& run) {
         run.file = (run.root / "vocab" / "en_name_noise.xml").string();
         return open_on(run, true);
       },
       [](CallRun& run) {
         Outcome o;
         o.rc = tq_vocab_file_convert(run.ctx, 1, "en_name_noise", run.file.c_str());
         tq_test::AllocPause pause;
         o.out = std::filesystem::exists(run.file) ? "written" : "none";
         return o;
       },
       true, false, nullptr, "vocab/en_name_noise.xml"},
      // An edit of what a locale's plain load read locks its file; a failed
      // one, however late (the record of the client's load), gives the
      // lock back.
      {"ChopperEditLoaded",
       [](CallRun& run) {
         if (!open_on(run, true) || tq_lock_init(run.ctx, &run.lock) != 0) return false;
         tq_options_set(run.ctx, tq_options_get(run.ctx) | TQ_OPT_PREPARE_ON_READ);
         return tq_zel_locale_load(run.ctx, tq_test::kSampleEn, kEveryPart) >= 0;
       },
       [](CallRun& run) {
         Outcome o;
         int32_t index = -1;
         o.rc = tq_chopper_edit(run.ctx, "en_name", run.lock, &index);
         return o;
       },
       true, false, nullptr, nullptr, false, "chopinfo/en_name.zel", 8},
      // A vocabulary's first use in an edit context locks its file; a
      // failed one gives the lock back, whichever way the reader left.
      {"VocabFirstUseEdit", vocab_editing, numwords, true, false, nullptr, nullptr, false, "vocab/en_name_noise.zev"},
      // The edit roads on a knowledge base reached through a link, where a
      // file's own path is not the name it was found by.
      {"VocabFirstUseEditLinked", vocab_editing, numwords, true, false, nullptr, nullptr, true,
       "vocab/en_name_noise.zev"},
      {"LocaleLoadEditLinked",
       [](CallRun& run) { return open_on(run, true) && tq_lock_init(run.ctx, &run.lock) == 0; }, load_edit, true,
       true, &engines, nullptr, true, "locale/enusa.loc.zel"},
      {"SchemeEditLinked", scheme_editing, entry_add, true, false, nullptr, nullptr, true},
      {"LocaleWriteAfterEditLoad",
       [](CallRun& run) { return open_on(run, true) && tq_lock_init(run.ctx, &run.lock) == 0; },
       load_edit_then_write, true, false, nullptr, "locale/en.loc.zel"},
      // The same with a definition that a number past int32 refuses whole:
      // kept as its file gave it and written back so.
      {"LocaleWriteNumberPastInt32",
       [](CallRun& run) {
         return likelihood_past_int32(run.root) && open_on(run, true) && tq_lock_init(run.ctx, &run.lock) == 0;
       },
       load_edit_then_write, true},
      // An edit load over its parent loaded already with its datatypes
      // alone: the parent's other parts are read, or, failed, left unread
      // as they were, for the next load to read and the write to keep.
      {"LocaleLoadEditOverPartLoad",
       [](CallRun& run) {
         return open_on(run, true) && tq_lock_init(run.ctx, &run.lock) == 0 &&
                tq_zel_locale_load(run.ctx, tq_test::kSampleEn, TQ_LOAD_DATATYPES) >= 0;
       },
       [](CallRun& run) {
         Outcome o = load_edit_then_write(run);
         tq_test::AllocPause pause;
         int32_t parse = -1;
         if (o.rc >= 0 && tq_parse_defn_index_get_by_name(run.ctx, "Name", &parse) < 0) o.rc = TQ_ERR_NAME;
         return o;
       },
       true, false, nullptr, "locale/en.loc.zel"},
      // A locale whose parent is loaded already, with fewer parts: the
      // parent is taken as it is.
      {"LocaleLoadOverParent",
       [](CallRun& run) {
         return open_on(run) &&
                tq_zel_locale_load(run.ctx, tq_test::kSampleEn,
                                   TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_CASE_DEFNS) >= 0;
       },
       [](CallRun& run) {
         Outcome o;
         o.rc = tq_zel_locale_load(run.ctx, kSampleEnusa, kEveryPart);
         return o;
       },
       false, true, &engines},
  };
}

// The saved file is the old one or the clean run's new one, whole, and no
// temporary file is left beside it.
::testing::AssertionResult old_or_new(const std::filesystem::path& file, const std::string& old_bytes,
                                      const std::string& new_bytes) {
  const std::string bytes = tq_test::read_file(file);
  if (bytes != old_bytes && bytes != new_bytes)
    return ::testing::AssertionFailure() << file << " is neither the old file nor the new one";
  for (const auto& e : std::filesystem::directory_iterator(file.parent_path())) {
    if (e.path().filename().string().find(".~tq") != std::string::npos)
      return ::testing::AssertionFailure() << "a temporary file is left: " << e.path();
  }
  return ::testing::AssertionSuccess();
}

// Nothing the call took stays held: the failing context holds nothing and
// the lock has no reader or writer inside.
::testing::AssertionResult nothing_held(tq_context* ctx) {
  if (ctx == nullptr) return ::testing::AssertionSuccess();
  if (ctx->call_depth != 0 || ctx->read_holds != 0 || ctx->write_holds != 0)
    return ::testing::AssertionFailure() << "holds left: depth " << ctx->call_depth << ", read " << ctx->read_holds
                                         << ", write " << ctx->write_holds;
  if (ctx->shared != nullptr &&
      (tq::rwlock_readers(&ctx->shared->lock) != 0 || tq::rwlock_writers(&ctx->shared->lock) != 0))
    return ::testing::AssertionFailure() << "the shared lock is held";
  return ::testing::AssertionSuccess();
}

// Whether the context's error list holds the code.
bool lists(tq_context* ctx, int32_t code) {
  uint32_t count = 0;
  tq_error_count_get(ctx, &count);
  for (uint32_t i = 0; i < count; ++i) {
    int32_t got = 0;
    char text[TQ_ERROR_TEXT_MAX + 1];
    if (tq_error_info_get_by_index(ctx, i, &got, text) == 0 && got == code) return true;
  }
  return false;
}

// What another edit context's lock on a file under the run's root gives
// (the lock given back at once).
int32_t lock_elsewhere(const CallRun& run, const char* file) {
  tq_context* other = nullptr;
  tq_lock_handle* lock = nullptr;
  int32_t rc = tq_init_edit_mode(&other, run.root_text.c_str());
  if (rc >= 0) rc = tq_lock_init(other, &lock);
  const std::string path = (run.root / file).string();
  if (rc >= 0) rc = tq_lock_create(other, path.c_str(), path.ends_with(".zev") ? 8 : 7, lock, nullptr);
  if (lock != nullptr) tq_lock_free(other, lock);
  if (other != nullptr) tq_close(other);
  return rc;
}

void PrintTo(const Workload& w, std::ostream* os) { *os << w.name; }

// A run of the workload set up on the sample, or on a copy of it in `copy`.
bool fresh_run(const Workload& w, CallRun& run, tq_test::TempDir* copy) {
  run.root = TQ_SAMPLE_KB;
  if (copy != nullptr) {
    std::filesystem::copy(TQ_SAMPLE_KB, copy->path() / "kb", std::filesystem::copy_options::recursive);
    run.root = copy->path() / "kb";
  }
  if (w.linked && copy != nullptr) {
    std::filesystem::create_directory_symlink(run.root, copy->path() / "link");
    run.root = copy->path() / "link";
  }
  run.root_text = run.root.string();
  return w.setup(run);
}

class AllocFailure : public ::testing::TestWithParam<Workload> {};

TEST_P(AllocFailure, CleanResultOrNamedFailureAndNothingLeft) {
  const Workload& w = GetParam();
  auto fresh = [&](CallRun& run, tq_test::TempDir* copy) { return fresh_run(w, run, copy); };
  // The clean run: its result and its count of allocations.
  Outcome clean;
  std::string clean_after;
  std::string old_bytes;
  std::string new_bytes;
  long clean_count = 0;
  {
    tq_test::TempDir dir;
    CallRun run;
    ASSERT_TRUE(fresh(run, w.writes ? &dir : nullptr)) << (run.ctx != nullptr ? tq_test::error_list_text(run.ctx) : "");
    tq_test::FailingAllocator counter(0);
    clean = w.call(run);
    counter.stop();
    clean_count = counter.count();
    ASSERT_GE(clean.rc, 0) << tq_test::error_list_text(run.ctx);
    if (w.after) clean_after = w.after(run);
    if (w.saved != nullptr) new_bytes = tq_test::read_file(run.root / w.saved);
  }
  if (w.saved != nullptr) old_bytes = tq_test::read_file(std::filesystem::path(TQ_SAMPLE_KB) / w.saved);
  ASSERT_GT(clean_count, 0);
  for (long n : tq_test::failure_points(clean_count, 48, w.tail)) {
    SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(clean_count));
    tq_test::TempDir dir;
    CallRun run;
    ASSERT_TRUE(fresh(run, w.writes ? &dir : nullptr));
    Outcome got;
    {
      tq_test::FailingAllocator fail(n);
      got = w.call(run);
      }
    if (got.rc == TQ_ERR_NO_MEMORY) {
      EXPECT_EQ(tq_error_is_critical(got.rc), 1);
    } else if (w.may_warn && got.rc == TQ_WARN_LOCALE_PROBLEMS) {
      EXPECT_TRUE(lists(run.ctx, TQ_ERR_NO_MEMORY)) << tq_test::error_list_text(run.ctx);
    } else {
      EXPECT_EQ(got.rc, clean.rc) << (run.ctx != nullptr ? tq_test::error_list_text(run.ctx) : "");
      EXPECT_EQ(got.out, clean.out);
    }
    const ::testing::AssertionResult free_ctx = nothing_held(run.ctx), free_clone = nothing_held(run.clone);
    if (!free_ctx || !free_clone) {
      ADD_FAILURE() << (free_ctx ? free_clone.message() : free_ctx.message());
      // Closing would wait for the hold for ever: the contexts are left.
      run.ctx = run.clone = nullptr;
      run.lock = nullptr;
      run.doc = nullptr;
      run.vault = nullptr;
      break;
    }
    if (w.saved != nullptr) {
      EXPECT_TRUE(old_or_new(run.root / w.saved, old_bytes, new_bytes));
    }
    if (w.unlocked != nullptr && got.rc < 0) {
      EXPECT_EQ(lock_elsewhere(run, w.unlocked), 0) << w.unlocked << " stays locked after the failed call";
    }
    if (run.clone != nullptr) {
      int32_t locale = -1;
      EXPECT_EQ(tq_locale_code_get_by_iso_name(run.clone, "ENUSA", &locale), 0);
    }
    // The same call, memory back: the clean result.
    if (run.ctx != nullptr && std::string(w.name) != "Init" && std::string(w.name) != "InitEditMode") {
      const Outcome again = w.call(run);
      EXPECT_EQ(again.rc, clean.rc) << tq_test::error_list_text(run.ctx);
      EXPECT_EQ(again.out, clean.out);
      if (w.after) {
        EXPECT_EQ(w.after(run), clean_after);
      }
    }
    if (::testing::Test::HasFailure()) break;
  }
  // A new context on the same root finds everything as a clean run does.
  tq_test::TempDir dir;
  CallRun run;
  ASSERT_TRUE(fresh(run, w.writes ? &dir : nullptr));
  const Outcome after = w.call(run);
  EXPECT_EQ(after.rc, clean.rc);
  EXPECT_EQ(after.out, clean.out);
  if (w.after) {
    EXPECT_EQ(w.after(run), clean_after);
  }
}

INSTANTIATE_TEST_SUITE_P(Workloads, AllocFailure, ::testing::ValuesIn(workloads()),
                         [](const ::testing::TestParamInfo<Workload>& p) { return std::string(p.param.name); });

// Memory gone for good from some allocation of a save on, in a context
// whose list has never held a record: a save that fails lists a failure,
// and one that answers -600 lists that (the list keeps room for one record
// from the context's making on).
TEST(LastingShortage, AFailedSaveListsItsFailure) {
  for (const Workload& w : workloads()) {
    if (w.saved == nullptr) continue;
    SCOPED_TRACE(w.name);
    long clean_count = 0;
    {
      tq_test::TempDir dir;
      CallRun run;
      ASSERT_TRUE(fresh_run(w, run, &dir));
      tq_test::FailingAllocator counter(0);
      ASSERT_GE(w.call(run).rc, 0);
      clean_count = counter.count();
    }
    for (const long n : {1L, clean_count / 2, clean_count}) {
      SCOPED_TRACE("from allocation " + std::to_string(n) + " of " + std::to_string(clean_count));
      tq_test::TempDir dir;
      CallRun run;
      ASSERT_TRUE(fresh_run(w, run, &dir));
      uint32_t before = 1;
      ASSERT_EQ(tq_error_count_get(run.ctx, &before), 0);
      Outcome got;
      {
        tq_test::FailingAllocator fail(n, true);
        got = w.call(run);
      }
      if (got.rc < 0) {
        EXPECT_TRUE(tq_test::failure_recorded(run.ctx)) << before << " records before\n" << tq_test::error_list_text(run.ctx);
      }
      if (got.rc == TQ_ERR_NO_MEMORY) {
        EXPECT_TRUE(lists(run.ctx, TQ_ERR_NO_MEMORY)) << tq_test::error_list_text(run.ctx);
      }
    }
  }
}

}  // namespace

namespace {

// Out of file descriptors part way through a load: from the Nth allocation
// of the load on, every open fails (EMFILE). The load reads every resource
// as it goes (TQ_OPT_PREPARE_ON_READ), so a definition can be left unread.
// The load fails (-400) or goes on without what it could not open (104, the
// cause listed); with the limit back, the next load reads what was left
// out, and every engine gives the clean results.
rlimit g_limit{};
void descriptors_run_out() {
  rlimit low = g_limit;
  const int next = ::dup(0);  // the lowest free descriptor
  if (next < 0) return;
  ::close(next);
  low.rlim_cur = static_cast<rlim_t>(next);
  ::setrlimit(RLIMIT_NOFILE, &low);
}

bool prepare_on_read(CallRun& run) {
  tq_options_set(run.ctx, tq_options_get(run.ctx) | TQ_OPT_PREPARE_ON_READ);
  return (tq_options_get(run.ctx) & TQ_OPT_PREPARE_ON_READ) != 0;
}

TEST(DescriptorsRunOut, TheNextLoadReadsWhatALoadLeftOut) {
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &g_limit), 0);
  std::string clean_after;
  long clean_count = 0;
  {
    CallRun run;
    run.root = TQ_SAMPLE_KB;
    run.root_text = run.root.string();
    ASSERT_TRUE(open_on(run) && prepare_on_read(run));
    tq_test::FailingAllocator counter(0);
    ASSERT_EQ(tq_zel_locale_load(run.ctx, kSampleEnusa, kEveryPart), 0);
    counter.stop();
    clean_count = counter.count();
    clean_after = engines(run);
  }
  // About 32 points spread over the load (the full sweep of the loop
  // above is for allocations, and would take this one far too long).
  int partial = 0;
  const long stride = clean_count / 32 + 1;
  for (long n = 1; n <= clean_count; n += stride) {
    SCOPED_TRACE("descriptors out from allocation " + std::to_string(n));
    CallRun run;
    run.root = TQ_SAMPLE_KB;
    run.root_text = run.root.string();
    ASSERT_TRUE(open_on(run) && prepare_on_read(run));
    int32_t rc = 0;
    {
      tq_test::FailingAllocator out(n, false, tq_test::Counted::all, &descriptors_run_out);
      rc = tq_zel_locale_load(run.ctx, kSampleEnusa, kEveryPart);
    }
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &g_limit), 0);
    if (rc == TQ_WARN_LOCALE_PROBLEMS) {
      ++partial;
      EXPECT_TRUE(lists(run.ctx, TQ_ERR_FILE_OPEN)) << tq_test::error_list_text(run.ctx);
    } else if (rc != 0) {
      EXPECT_EQ(rc, TQ_ERR_FILE_OPEN) << tq_test::error_list_text(run.ctx);
    }
    EXPECT_EQ(tq_zel_locale_load(run.ctx, kSampleEnusa, kEveryPart), 0) << tq_test::error_list_text(run.ctx);
    EXPECT_EQ(engines(run), clean_after);
    if (::testing::Test::HasFailure()) break;
  }
  // The case the test is about was met.
  EXPECT_GT(partial, 0);
}

}  // namespace

namespace {

// The blocks of scheme options are kept in one set per process, made by
// the first scheme registration. Memory running out while it is made must
// not leave schemes failing for good: the next registration makes it, in
// a new context too. The case runs in a process of its own (the threadsafe
// death-test style executes the test binary again, with no fork of this
// one), so whatever ran before in this process cannot have made the set.
TEST(SchemeOptionsSet, MadeAgainAfterItsMakingFailed) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        bool first_failed = false;
        {
          tq_test::FailingAllocator fail(1);
          first_failed = tq::scheme_options_intern({1, -1, 0}) == nullptr && fail.failed();
        }
        CallRun run;
        run.root = TQ_SAMPLE_KB;
        run.root_text = run.root.string();
        int32_t index = -1;
        const bool loads = open_on(run) && tq_transf_scheme_load(run.ctx, "en_nickname", 0, -1, 0, &index) >= 0;
        std::_Exit(first_failed && loads ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
