// Edit sequences on an edit-mode copy of the sample knowledge base with
// ENUSA (and so EN and L1) loaded whole: the input is a sequence of edit
// exports with their arguments (fuzz_edit.h says how it is read), taken
// from the export tables: definitions added, copied and unloaded, their
// lists, tokens, flags and values changed; resources loaded, made, changed,
// saved and unloaded. Besides the sanitizers it checks what the edits
// promise:
//  - an edit that fails changes nothing: before and after it, the getters
//    of the definition or resource it names, the names of its kind and the
//    engines' results on a few values of their datatype are the same;
//  - a resource saved reads back the same: loaded by name in a second
//    context, its getters and results are those of the one saved (and a
//    rule set the input made gives what its rules, as given, give);
//  - the locales written (the last operation) are written (a warning is
//    fine, a failure is not: edits that each succeeded must leave what the
//    writer can write) and read back the same: in a second context, the
//    definitions the load holds not valid are exactly those the write's
//    warnings named, every other definition has the getters it had before
//    the write, and the engine results where all the engine reads read
//    back whole.
// A broken promise aborts with a line on stderr naming the export, the
// getter or engine and both values.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_edit.h"
#include "fuzz_kb.h"

namespace {

namespace fs = std::filesystem;
using namespace tq_fuzz_edit;

constexpr int32_t kEnusa = 29840;
constexpr int32_t kEn = 29000;
constexpr uint32_t kEverything = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_IDENT_DEFNS |
                                 TQ_LOAD_STDZN_DEFNS | TQ_LOAD_GENDER_DEFNS | TQ_LOAD_MATCH_DEFNS |
                                 TQ_LOAD_CASE_DEFNS | TQ_LOAD_GUESS_DEFNS | TQ_LOAD_PATTERN_DEFNS |
                                 TQ_LOAD_EXTRACT_DEFNS | TQ_LOAD_LANGUAGE_DEFNS;

// The values the engines are compared on, by the datatype that the sample's
// definitions of a kind take, chosen so that each step of those definitions
// is met with few values: for names a title, an initial and a suffix; the
// comma layout with a hyphenated given name; accents (folded at lower
// sensitivities); an apostrophe in lower case (the case definition's fixes,
// the nickname scheme); company words. For contacts a company the scheme
// knows, and a sentence of titles, accents to fold and several windows; for
// texts a sentence and an accented name.
constexpr const char* kNameValues[] = {"Dr. John Q. Smith Jr.", "Smith, Anne-Marie", "José García", "bill o'brien",
                                       "Miller and Sons PLC"};
// Resources are also given the names in upper case, as the definitions
// hand them on (phonetics rules, say, match upper-case letters only).
constexpr const char* kNameValuesUpper[] = {"DR. JOHN Q. SMITH JR.", "SMITH, ANNE-MARIE", "JOSÉ GARCÍA",
                                            "BILL O'BRIEN", "MILLER AND SONS PLC"};
constexpr const char* kContactValues[] = {"John Smith joined Acme Corp on Monday.",
                                          "Dr. Anne-Marie O'Brien met José García of Miller and Sons."};
constexpr const char* kTextValues[] = {"John Smith joined Acme Corp on Monday.", "José García"};

// What a snapshot holds: a label (getter or engine and its arguments) and
// what it gave.
using Snapshot = std::vector<std::pair<std::string, std::string>>;

// FUZZ_EDIT_TRACE=1 in the environment: each operation, its texts, the
// indices it gave back and its result on stderr, for reading an input.
bool trace() {
  static const bool on = std::getenv("FUZZ_EDIT_TRACE") != nullptr;
  return on;
}

// FUZZ_EDIT_KEEP_GOING=1: a broken promise ends its input only, which is
// written to finding-<hash> in the current folder, so that one run lists
// every finding of a corpus (with ASAN_OPTIONS=detect_leaks=0: the
// contexts of the input are left open).
struct Finding {};
bool keep_going() {
  static const bool on = std::getenv("FUZZ_EDIT_KEEP_GOING") != nullptr;
  return on;
}
std::string_view current_input;

[[noreturn]] void broken(const std::string& what) {
  std::fprintf(stderr, "fuzz_edit: %s\n", what.c_str());
  if (keep_going()) {
    const std::string name = "finding-" + std::to_string(std::hash<std::string_view>{}(current_input));
    if (std::FILE* out = std::fopen(name.c_str(), "wb")) {
      std::fwrite(current_input.data(), 1, current_input.size(), out);
      std::fclose(out);
    }
    std::fprintf(stderr, "fuzz_edit: the input is %s\n", name.c_str());
    std::fflush(stderr);
    throw Finding{};
  }
  std::fflush(stderr);
  __builtin_trap();
}

// ---- The table's rows by family ----

struct Getter {
  const Row* row;
  std::vector<Param> params;
  std::vector<size_t> ints;  // positions of int inputs; the first is the definition's or resource's index
};

struct Tables {
  std::vector<Getter> getters[kFamilies];
  std::vector<std::vector<Param>> op_params;  // by operation, after the special ones
  std::map<std::string, const Row*> by_name;
};

// What the header calls the index of one of the family's definitions or
// resources, which a getter of one takes first.
const char* own_index_name(Family f) {
  switch (f) {
    case Family::chopper: return "chopper";
    case Family::regexlib: return "library";
    default: return "index";
  }
}

// A getter of one definition or resource: its first int input is that
// one's index. Those whose first int is something else (a locale's
// counts, a vocabulary's likelihood table, a chopper's names of
// classifications and operations) answer the same whatever definition or
// resource is meant, and are left out: called with the index of a resource
// read again in another context, which may differ, they would differ too.
bool getter_takes(Family f, const std::vector<Param>& params, std::vector<size_t>* ints) {
  for (size_t i = 0; i < params.size(); ++i) {
    const std::string& t = params[i].type;
    if (t == "int32_t" || t == "uint32_t") {
      ints->push_back(i);
    } else if (t != "char*" && t != "int32_t*" && t != "uint32_t*" && t != "double*") {
      return false;  // names, handles, structures: not a getter of an index
    }
  }
  return ints->size() <= 3 && (ints->empty() || params[ints->front()].name == own_index_name(f));
}

const Tables& tables() {
  static const Tables all = [] {
    Tables t;
    for (const Row& r : kRows) {
      t.by_name[r.name] = &r;
      std::string_view name(r.name);
      Family f = family_of(name);
      if (f == Family::none || r.invoke == nullptr || !contains(name, "_get") || contains(name, "by_name")) {
        continue;
      }
      Getter g{&r, parse_params(r.params), {}};
      if (getter_takes(f, g.params, &g.ints)) t.getters[static_cast<size_t>(f)].push_back(std::move(g));
    }
    for (const Row* r : edit_ops()) t.op_params.push_back(parse_params(r->params));
    return t;
  }();
  return all;
}

Call& scratch_call() {
  static Call* c = new Call();
  return *c;
}

std::string defn_name(tq_context* ctx, Family f, int32_t index);

// The kind of definition an index-valued getter names ("..._parse_defn_
// index_get", or its own kind's default definition), none for another
// getter.
Family referenced_kind(std::string_view getter) {
  if (ends_with(getter, "_index_get_default")) return family_of(getter);
  if (!ends_with(getter, "_index_get")) return Family::none;
  if (ends_with(getter, "parse_defn_index_get")) return Family::parse;
  if (ends_with(getter, "case_defn_index_get")) return Family::case_;
  if (ends_with(getter, "lang_defn_index_get")) return Family::lang;
  if (ends_with(getter, "datatype_index_get")) return Family::datatype;
  return Family::none;
}

// A parse or language definition held by another is given as the holder
// keeps it, an index in the holder's own locale: depth from that locale,
// then position. The datatype and case definition getters answer in the
// current locale's numbering. The held index as an edit-mode index of the
// current locale, for a holder at holder_index (-1 for a getter of no
// definition's).
int32_t held_in_current(Family named, int32_t holder_index, int32_t held) {
  if ((named != Family::parse && named != Family::lang) || held < 0 || holder_index < 0) return held;
  return (holder_index / 256) * 256 + held;
}

// The getter called with the int inputs given; its outputs are in
// scratch_call().
int32_t invoke_getter(tq_context* ctx, const Getter& g, const int32_t* ints) {
  Call& c = scratch_call();
  c.from_input = false;
  c.params = &g.params;
  for (size_t k = 0; k < g.ints.size(); ++k) c.fixed[g.ints[k]] = ints[k];
  return g.row->invoke(ctx, c);
}

// Calls the getter with the int inputs given and records rc and its
// outputs. A definition another names is recorded by name, not index: its
// index moves when one before it is refused by a reload, and a name names
// the nearest definition (a locale's own before its parent's) once read
// again.
void record(tq_context* ctx, const Getter& g, const int32_t* ints, const std::string& label, Snapshot& out) {
  const int32_t rc = invoke_getter(ctx, g, ints);
  const Call& c = scratch_call();
  const int32_t holder = g.ints.empty() ? -1 : ints[0];
  std::string v = std::to_string(rc);
  if (rc >= 0) {
    for (size_t i = 0; i < g.params.size(); ++i) {
      const std::string& t = g.params[i].type;
      if (t == "char*") {
        v += " '" + std::string(c.bufs[i], strnlen(c.bufs[i], kBufSize)) + "'";
      } else if (t == "int32_t*") {
        const Family named = referenced_kind(g.row->name);
        v += " " + (named != Family::none && c.i32[i] >= 0
                        ? "'" + defn_name(ctx, named, held_in_current(named, holder, c.i32[i])) + "'"
                        : std::to_string(c.i32[i]));
      } else if (t == "uint32_t*") {
        v += " " + std::to_string(c.u32[i]);
      } else if (t == "double*") {
        v += " " + std::to_string(c.dbl[i]);
      }
    }
  }
  out.emplace_back(label, std::move(v));
}

// Every getter of the family on index (the first int input), the next int
// input (token, entry, position) 0 and 1, any further one 0.
void snap_getters(tq_context* ctx, Family f, int32_t index, Snapshot& out) {
  for (const Getter& g : tables().getters[static_cast<size_t>(f)]) {
    size_t n = g.ints.size();
    size_t combos = n > 1 ? 2 : 1;
    for (size_t combo = 0; combo < combos; ++combo) {
      int32_t ints[3] = {index, 0, 0};
      size_t rest = combo;
      std::string label = g.row->name;
      for (size_t k = 1; k < n; ++k) {
        ints[k] = static_cast<int32_t>(rest % 2);
        rest /= 2;
        label += " " + std::to_string(ints[k]);
      }
      record(ctx, g, ints, label, out);
    }
  }
}

// ---- Definitions of a kind: their names and engines ----

struct Named {
  int32_t index;
  std::string name;
};

const char* const kFamilyNames[kFamilies] = {"",           "parse_defn",  "case_defn",           "stdzn_defn",
                                             "extraction_defn", "gender_defn", "patrn_defn",
                                             "identification_defn", "match_defn", "lang_defn", "guess_defn",
                                             "datatype",   "vocab",       "regexlib",            "phonetx",
                                             "chopper",    "grammar",     "scheme"};

// The kinds of definition as the library's messages name them.
const char* const kKindTexts[kFamilies] = {"",      "Parse",           "Case",     "Standardization",
                                           "Extraction",      "Gender Analysis", "Pattern Analysis",
                                           "Identification Analysis", "Match", "Language Guess", "Locale Guess"};

// The definitions of a kind by edit-mode index: depth x 256 + position, the
// locale's own, its parent's and its grandparent's.
std::vector<Named> definitions(tq_context* ctx, Family f) {
  std::vector<Named> out;
  std::string base = std::string("tq_") + kFamilyNames[static_cast<size_t>(f)] + "_name_get_by_index";
  auto& by_name = tables().by_name;
  auto it = by_name.find(base + "_ex");
  if (it == by_name.end()) it = by_name.find(base);
  if (it == by_name.end()) return out;
  Call& c = scratch_call();
  std::vector<Param> params = parse_params(it->second->params);
  // Unloads may leave gaps: a few misses in a row end a depth.
  for (int32_t depth = 0; depth < 3; ++depth) {
    for (int32_t pos = 0, misses = 0; pos < 64 && misses < 4; ++pos) {
      c.from_input = false;
      c.params = &params;
      c.fixed[0] = depth * 256 + pos;
      if (it->second->invoke(ctx, c) < 0) {
        ++misses;
        continue;
      }
      misses = 0;
      out.push_back({depth * 256 + pos, std::string(c.bufs[1])});
    }
  }
  return out;
}

// The definition of the list with the name in the locale at the depth
// (0 the current one); null when there is none.
const Named* find_named(const std::vector<Named>& list, const std::string& name, int32_t depth) {
  for (const Named& d : list) {
    if (d.name == name && d.index / 256 == depth) return &d;
  }
  return nullptr;
}

std::string defn_name(tq_context* ctx, Family f, int32_t index) {
  std::string base = std::string("tq_") + kFamilyNames[static_cast<size_t>(f)] + "_name_get_by_index";
  auto& by_name = tables().by_name;
  auto it = by_name.find(base + "_ex");
  if (it == by_name.end()) it = by_name.find(base);
  if (it == by_name.end()) return std::to_string(index);
  static Call* c = new Call();  // not the caller's: its outputs are being read
  std::vector<Param> params = parse_params(it->second->params);
  c->from_input = false;
  c->params = &params;
  c->fixed[0] = index;
  const int32_t rc = it->second->invoke(ctx, *c);
  return rc < 0 ? "rc " + std::to_string(rc) : std::string(c->bufs[1]);
}

std::string tokens_text(int32_t rc, const tq_parse_token* tokens, uint32_t n) {
  std::string v = std::to_string(rc);
  for (uint32_t i = 0; rc >= 0 && i < n && i < TQ_PARSE_TOKENS; ++i) {
    v += " " + std::to_string(tokens[i].index) + ":" + tokens[i].value;
  }
  return v;
}

// The engine of a definition kind on one value, as text.
std::string run_engine(tq_context* ctx, Family f, const char* defn, const char* v) {
  static char out[8192];
  out[0] = '\0';
  int32_t rc = 0;
  switch (f) {
    case Family::parse: {
      static tq_parse_token tokens[TQ_PARSE_TOKENS];
      uint32_t n = TQ_PARSE_TOKENS;
      rc = tq_parse(ctx, defn, v, tokens, &n);
      return tokens_text(rc, tokens, n);
    }
    case Family::extraction: {
      static tq_extract_token tokens[TQ_EXTRACT_TOKENS];
      uint32_t n = TQ_EXTRACT_TOKENS;
      rc = tq_extract(ctx, defn, v, tokens, &n);
      std::string s = std::to_string(rc);
      for (uint32_t i = 0; rc >= 0 && i < n && i < TQ_EXTRACT_TOKENS; ++i) {
        s += " " + std::to_string(tokens[i].index) + ":" + tokens[i].value;
      }
      return s;
    }
    case Family::case_: rc = tq_propercase(ctx, defn, v, out, static_cast<int32_t>(sizeof(out))); break;
    case Family::stdzn: rc = tq_standardize(ctx, defn, v, out); break;
    case Family::gender: rc = tq_gender_determine(ctx, defn, v, out); break;
    case Family::patrn: rc = tq_pattern_analyze(ctx, defn, v, out); break;
    case Family::identification: rc = tq_identify(ctx, defn, v, out); break;
    case Family::match: rc = tq_match(ctx, defn, 85, v, out); break;
    case Family::lang: {
      int32_t score = -1;
      rc = tq_language_guess_score(ctx, defn, v, &score);
      return std::to_string(rc) + " " + std::to_string(score);
    }
    case Family::guess: {
      static const uint32_t locales[] = {static_cast<uint32_t>(kEn), static_cast<uint32_t>(kEnusa)};
      uint32_t guessed = 0;
      rc = tq_guess_locale(ctx, defn, v, locales, nullptr, 2, &guessed);
      return std::to_string(rc) + " " + std::to_string(guessed);
    }
    default: return "";
  }
  return std::to_string(rc) + (rc >= 0 ? std::string(" '") + out + "'" : std::string());
}

bool has_engine(Family f) { return f >= Family::parse && f <= Family::guess; }

// The values of a kind's engine: by the kind, not by the datatype a
// definition names, which edits change and a load may fill in.
std::span<const char* const> values_of(Family f) {
  switch (f) {
    case Family::extraction: return kContactValues;
    case Family::lang:
    case Family::guess: return kTextValues;
    default: return kNameValues;
  }
}

void snap_engines(tq_context* ctx, Family f, const std::string& defn, Snapshot& out) {
  if (!has_engine(f)) return;
  for (const char* v : values_of(f)) {
    out.emplace_back(std::string(kFamilyNames[static_cast<size_t>(f)]) + " engine '" + defn + "' '" + v + "'",
                     run_engine(ctx, f, defn.c_str(), v));
  }
}

// The results of a resource on the names (the sample's resources serve its
// name definitions), as given and in upper case, where the kind has an
// engine of its own.
void snap_resource(tq_context* ctx, Family f, int32_t index, Snapshot& out) {
  static char buf[4096];
  static const std::vector<const char*> values = [] {
    std::vector<const char*> v(std::begin(kNameValues), std::end(kNameValues));
    v.insert(v.end(), std::begin(kNameValuesUpper), std::end(kNameValuesUpper));
    return v;
  }();
  for (const char* v : values) {
    std::string label = std::string(kFamilyNames[static_cast<size_t>(f)]) + " apply '" + v + "'";
    int32_t rc = 0, n = 0;
    buf[0] = '\0';
    switch (f) {
      case Family::regexlib: rc = tq_regexlib_match_and_replace(ctx, index, v, buf, &n); break;
      case Family::phonetx: rc = tq_phonetx_execute(ctx, index, v, buf, sizeof(buf)); break;
      case Family::scheme: rc = tq_transf_scheme_apply(ctx, index, v, buf, sizeof(buf), &n); break;
      case Family::chopper: {
        static tq_chop_word words[8];
        uint32_t count = 8;
        rc = tq_chop_string(ctx, index, v, words, &count);
        std::string s = std::to_string(rc);
        for (uint32_t i = 0; rc >= 0 && i < count && i < 8; ++i) s += " '" + std::string(words[i]) + "'";
        out.emplace_back(label, s);
        continue;
      }
      default: return;
    }
    out.emplace_back(label,
                     std::to_string(rc) + " " + std::to_string(n) + (rc >= 0 ? std::string(" '") + buf + "'" : ""));
  }
}

// What an edit of family f on index may change.
Snapshot snapshot(tq_context* ctx, Family f, int32_t index) {
  Snapshot s;
  if (f == Family::none) return s;
  if (is_definition(f)) {
    // Every definition's name, and the engine of the one named.
    for (const Named& d : definitions(ctx, f)) {
      s.emplace_back("listed " + std::to_string(d.index), d.name);
      if (d.index == index) snap_engines(ctx, f, d.name, s);
    }
  } else {
    snap_resource(ctx, f, index, s);
    // Definitions read resources by name: a resource edit shows in them
    // (the sample's definitions of these kinds are all named "Name").
    for (Family e : {Family::parse, Family::case_, Family::stdzn, Family::match, Family::gender}) {
      snap_engines(ctx, e, "Name", s);
    }
  }
  snap_getters(ctx, f, index, s);
  return s;
}

// What the files do not keep, by design, and so may read back otherwise:
// a parse definition's no-solution slot without categories is not written
// (it fills nothing), so its token's name reads back as none, and with no
// slot that has categories none reads back at all; a locale
// guess definition without a datatype (as added) is read with the datatype
// its name stands for; scheme options beyond those the file holds; a
// flag stored as given (any nonzero means set), which a file keeps as yes
// or no and so reads back as 1.
bool not_kept(const std::string& label, const std::string& before, const std::string& after) {
  if (label == "tq_guess_defn_datatype_index_get" && before == "0 -1") return true;
  if (ends_with(label, "_flag_get") && before.rfind("0 ", 0) == 0 && before != "0 0" && after == "0 1") return true;
  // A scheme a definition names is written with whether it is applied to
  // elements, case insensitively, and its output case; its other option
  // bits are not kept.
  if (label.find("scheme_info_get") != std::string::npos) {
    const size_t b = before.rfind(' '), a = after.rfind(' ');
    if (b != std::string::npos && a != std::string::npos && before.substr(0, b) == after.substr(0, a)) {
      constexpr unsigned long kKept = TQ_SCHEME_ELEMENT | TQ_SCHEME_CASE_INSENSITIVE | TQ_SCHEME_OUT_UPPER |
                                      TQ_SCHEME_OUT_LOWER | TQ_SCHEME_OUT_PROPER;
      return (std::strtoul(before.c_str() + b, nullptr, 10) & kKept) ==
             (std::strtoul(after.c_str() + a, nullptr, 10) & kKept);
    }
  }
  // When no slot has categories no section is written at all, and the
  // reader then makes no slots: the count reads back 0 (with any category
  // it is one slot per datatype token, as in memory) and the empty slots
  // are past it.
  if (label == "tq_parse_defn_nosol_token_count_get" && after == "0 0") return true;
  return label.rfind("tq_parse_defn_nosol_token_info_get ", 0) == 0 && before.size() > 2 &&
         before.substr(before.size() - 2) == " 0" && (after == "0 '' 0" || after.rfind("-800", 0) == 0);
}

void compare(const Snapshot& before, const Snapshot& after, const std::string& what, bool reloaded = false) {
  size_t n = std::min(before.size(), after.size());
  for (size_t i = 0; i < n; ++i) {
    if (before[i].first != after[i].first) {
      broken(what + ": '" + before[i].first + "' became '" + after[i].first + "'");
    }
    const bool differs = before[i].second != after[i].second;
    if (differs && !(reloaded && not_kept(before[i].first, before[i].second, after[i].second))) {
      broken(what + ": " + before[i].first + " gave " + before[i].second + ", now " + after[i].second);
    }
  }
  if (before.size() != after.size()) {
    broken(what + ": " + std::to_string(before.size()) + " results, now " + std::to_string(after.size()) +
           (n < before.size() ? " (first missing: " + before[n].first + ")" : " (first new: " + after[n].first + ")"));
  }
}

// ---- The scratch knowledge base and the contexts ----

// A rule added to a rule set, as the caller gave it.
struct GivenRule {
  std::string rule_text;
  std::string replace_text;
  int32_t priority;
  uint32_t flags;
};

struct Session {
  tq_context* ctx = nullptr;
  tq_lock_handle* lock = nullptr;
  tq_xmldoc* doc = nullptr;
  std::vector<int32_t> pool;
  std::map<std::pair<Family, int32_t>, std::string> resource_names;
  // The rules given, in order, to the rule sets this input made, by index:
  // all such a set holds, and so what a load of its save compiles.
  std::map<int32_t, std::vector<GivenRule>> given_rules;
  uint32_t touched = 0;  // families an edit changed since the context opened, by bit
  // Resources changed in memory since they were last saved (a rename, a
  // rule or entry added, one made): a definition naming one is read back by
  // the write as it is in memory, and by the next load from its file.
  std::set<std::pair<Family, int32_t>> unsaved;
  // Snapshots taken since the last edit that changed something: a failed
  // edit changes nothing, so what was seen after it is what the next edit
  // of that definition or resource starts from.
  std::map<std::pair<Family, int32_t>, Snapshot> seen;
};

// Language scoring trains on first use in every context, which is most of
// the cost of a reload: the language and locale guess engines are compared
// after a reload only when something they read may have changed (their own
// definitions, datatypes, the regex libraries and schemes they name). The
// other engines always are.
bool engines_may_differ(const Session& s, Family f) {
  if (f != Family::lang && f != Family::guess) return true;
  uint32_t reads = 0;
  for (Family r : {Family::lang, Family::guess, Family::datatype, Family::regexlib, Family::scheme}) {
    reads |= 1u << static_cast<unsigned>(r);
  }
  return (s.touched & reads) != 0;
}

fs::path scratch_root() { return tq_fuzz::Kb::get().root(); }

// The sample copied into the scratch folder: at the start, and again after
// an input that may have written to it.
void restore_scratch() {
  std::error_code ec;
  // libFuzzer's timers interrupt system calls: a copy cut short by a
  // signal is made again from the start.
  for (int attempt = 0; attempt < 10; ++attempt) {
    ec.clear();
    fs::remove_all(scratch_root(), ec);
    fs::copy(TQ_SAMPLE_KB, scratch_root(), fs::copy_options::recursive, ec);
    if (ec != std::errc::interrupted) break;
  }
  if (ec) {
    std::fprintf(stderr, "fuzz_edit: cannot copy the sample: %s\n", ec.message().c_str());
    std::abort();
  }
}

tq_context* open_edit(int32_t* load_rc) {
  tq_context* ctx = nullptr;
  if (tq_init_edit_mode(&ctx, scratch_root().c_str()) < 0) return nullptr;
  tq_session_encoding_set(ctx, TQ_ENC_UTF8);
  *load_rc = tq_zel_locale_load(ctx, kEnusa, kEverything);
  return ctx;
}

const char* const* scratch_paths(size_t* count) {
  static std::vector<std::string> texts;
  static std::vector<const char*> ptrs;
  if (texts.empty()) {
    const fs::path root = scratch_root();
    texts = {"",
             (root / "vocab").string(),
             (root / "regexlib").string(),
             (root / "scheme").string(),
             (root / "phonetx").string(),
             (root / "chopinfo").string(),
             (root / "grammar").string(),
             (root / "no_such_folder").string(),
             "New",
             "en_person"};
    for (const std::string& t : texts) ptrs.push_back(t.c_str());
  }
  *count = ptrs.size();
  return ptrs.data();
}

// ---- Writing the locales and reading them back ----

// The loaded locales, child first, with their files.
std::vector<std::pair<int32_t, std::string>> loaded_locales(tq_context* ctx) {
  std::vector<std::pair<int32_t, std::string>> out;
  int32_t code = kEnusa;
  for (int depth = 0; depth < 4 && code >= 0; ++depth) {
    char iso[64] = "", file[512] = "";
    if (tq_locale_iso_name_get_by_code(ctx, code, iso) < 0 || tq_locale_get_file_name(ctx, iso, file) < 0) break;
    out.emplace_back(code, file);
    int32_t parent = -1;
    if (tq_parent_locale_get(ctx, code, &parent) < 0) break;
    code = parent;
  }
  return out;
}

// A flag of a definition by its getter "tq_<family>_<field>_get"; -1 when
// the kind has none or it fails.
int64_t defn_flag(tq_context* ctx, Family f, const Named& d, const char* field) {
  auto& by_name = tables().by_name;
  auto it = by_name.find(std::string("tq_") + kFamilyNames[static_cast<size_t>(f)] + "_" + field + "_get");
  if (it == by_name.end()) return -1;
  Call& c = scratch_call();
  std::vector<Param> params = parse_params(it->second->params);
  c.from_input = false;
  c.params = &params;
  c.fixed[0] = d.index;
  return it->second->invoke(ctx, c) < 0 ? -1 : c.u32[1];
}

// Whether a definition is valid, complete and has no validity bits: what
// it keeps when written and read. Valid and the validity bits are made by
// the load, and a definition marked incomplete reads back not valid, so a
// definition edited into another state is compared on everything else.
bool clean(tq_context* ctx, Family f, const Named& d) {
  int64_t valid = defn_flag(ctx, f, d, "valid");
  return (valid == -1 || valid == 1) && defn_flag(ctx, f, d, "incomplete") <= 0 &&
         defn_flag(ctx, f, d, "valid_flag_info") <= 0;
}

bool load_made(const std::string& label) {
  for (const char* field : {"_valid_get", "_valid_flag_info_get", "_incomplete_get"}) {
    size_t at = label.find(field);
    if (at != std::string::npos && (at + std::strlen(field) == label.size() || label[at + std::strlen(field)] == ' ')) {
      return true;
    }
  }
  return false;
}

// What a definition shows, for the comparison after a reload: its engine
// when it is clean, and its getters but those the load makes when its kind
// (or a datatype) was edited. Every definition is written and read again,
// but going through the getters of every one after every write would make
// the target too slow; those of a kind no edit changed are read through its
// engine.
Snapshot definition_snapshot(tq_context* ctx, Family f, const Named& d, bool engines, bool getters) {
  Snapshot s;
  if (engines) snap_engines(ctx, f, d.name, s);
  if (!getters) return s;
  Snapshot all;
  snap_getters(ctx, f, d.index, all);
  for (auto& entry : all) {
    if (!load_made(entry.first)) s.push_back(std::move(entry));
  }
  return s;
}

// Whether a getter's label names a getter of a kind's edit session
// ("tq_<family>_edit_..."), which takes no resource index.
bool reads_edit_session(const std::string& label) {
  const std::string_view name = std::string_view(label).substr(0, label.find(' '));
  std::string_view rest;
  return family_of(name, &rest) != Family::none && rest.substr(0, 5) == "edit_";
}

// The records of a context's error list (what its last call recorded):
// code and text.
using ErrorRecords = std::vector<std::pair<int32_t, std::string>>;
ErrorRecords error_records(tq_context* ctx) {
  ErrorRecords out;
  uint32_t count = 0;
  static char text[TQ_ERROR_TEXT_MAX + 1];
  if (tq_error_count_get(ctx, &count) < 0) return out;
  for (uint32_t i = 0; i < count; ++i) {
    int32_t code = 0;
    text[0] = '\0';
    if (tq_error_info_get_by_index(ctx, i, &code, text) >= 0) out.emplace_back(code, text);
  }
  return out;
}

// The last error a context recorded, for a finding's line.
std::string last_error(tq_context* ctx) {
  const ErrorRecords records = error_records(ctx);
  if (records.empty()) return "no error recorded";
  return std::to_string(records.back().first) + " " + records.back().second;
}

// A definition or datatype an engine reads.
struct Read {
  Family f;
  int32_t index;  // edit-mode index of the current locale
};

// What a definition holds by index: the definitions (a standardization's
// parse and case definitions, a match or gender definition's parse
// definition, a locale guess definition's language definition) and its
// datatype, as edit-mode indices of the current locale.
void held_by(tq_context* ctx, Read holder, std::vector<Read>* out) {  // a copy: out may hold it
  for (const Getter& g : tables().getters[static_cast<size_t>(holder.f)]) {
    const Family named = referenced_kind(g.row->name);
    if (named == Family::none || g.ints.empty()) continue;  // not the holder's (the kind's default)
    size_t held_at = g.params.size();
    for (size_t i = 0; i < g.params.size(); ++i) {
      if (g.params[i].type == "int32_t*") held_at = i;
    }
    if (held_at == g.params.size()) continue;
    // A getter of a token's (a second int input) is asked token by token
    // until one is refused.
    const int32_t tokens = g.ints.size() > 1 ? 64 : 1;
    for (int32_t t = 0; t < tokens; ++t) {
      const int32_t ints[3] = {holder.index, t, 0};
      if (invoke_getter(ctx, g, ints) < 0) break;
      const int32_t held = scratch_call().i32[held_at];
      if (held >= 0) out->push_back({named, held_in_current(named, holder.index, held)});
    }
  }
}

// Whether the engine of a kind run by name in the context read again reads
// only what the load took whole: the nearest definition of the name (a
// locale guess reads the one of that name in each candidate locale, so
// every one), what each holds, and so on, valid and clean, and their
// datatypes among those that read back the same (intact; all when null).
bool engine_reads_sound(tq_context* again, Family f, const std::string& name, const std::vector<Named>& defs,
                        const std::vector<int32_t>* intact) {
  std::vector<Read> reads;
  for (const Named& d : defs) {
    if (d.name != name) continue;
    reads.push_back({f, d.index});
    if (f != Family::guess) break;
  }
  for (size_t i = 0; i < reads.size() && reads.size() < 64; ++i) {
    if (reads[i].f != Family::datatype) held_by(again, reads[i], &reads);
  }
  for (const Read& r : reads) {
    const bool sound = r.f == Family::datatype
                           ? intact == nullptr || std::find(intact->begin(), intact->end(), r.index) != intact->end()
                           : clean(again, r.f, Named{r.index, ""});
    if (!sound) {
      if (trace()) {
        std::fprintf(stderr, "fuzz_edit: the %s engine '%s' reads %s %d, not read back whole\n",
                     kFamilyNames[static_cast<size_t>(f)], name.c_str(), kFamilyNames[static_cast<size_t>(r.f)],
                     r.index);
      }
      return false;
    }
  }
  return !reads.empty();
}

// The datatypes of the context read again whose getters give what those of
// the same name and depth gave before the write.
std::vector<int32_t> intact_datatypes(tq_context* ctx, tq_context* again) {
  std::vector<int32_t> out;
  const std::vector<Named> before = definitions(ctx, Family::datatype);
  for (const Named& d : definitions(again, Family::datatype)) {
    const Named* b = find_named(before, d.name, d.index / 256);
    if (b == nullptr) continue;
    Snapshot x, y;
    snap_getters(ctx, Family::datatype, b->index, x);
    snap_getters(again, Family::datatype, d.index, y);
    if (x == y) out.push_back(d.index);
  }
  return out;
}

// A definition by kind, the depth of its locale (0 the current one) and
// name: one a locale write warned will read back not valid, or one that
// does.
struct Unreadable {
  Family f;
  int32_t depth;
  std::string name;
  auto operator<=>(const Unreadable&) const = default;
};

std::string describe(const Unreadable& u, int32_t code) {
  return std::string(kKindTexts[static_cast<size_t>(u.f)]) + " definition '" + u.name + "' of locale " +
         std::to_string(code);
}

// The definitions the warnings of a locale write name, read from its error
// records: 104 with "The <kind> definition '<name>' of locale <code> is
// written, but will not be valid when the locale is read again: <why>."
void warned_unreadable(const ErrorRecords& records, int32_t code, int32_t depth, std::set<Unreadable>* out) {
  const std::string tail =
      "' of locale " + std::to_string(code) + " is written, but will not be valid when the locale is read again: ";
  for (const auto& [error, text] : records) {
    if (error != TQ_WARN_LOCALE_PROBLEMS) continue;
    const std::string_view t(text);
    for (size_t fi = 1; fi <= static_cast<size_t>(Family::guess); ++fi) {
      const std::string head = std::string("The ") + kKindTexts[fi] + " definition '";
      if (t.substr(0, head.size()) != head) continue;
      const size_t end = t.find(tail, head.size());
      if (end != std::string_view::npos) {
        out->insert({static_cast<Family>(fi), depth, std::string(t.substr(head.size(), end - head.size()))});
      }
    }
  }
}

// What the load said of a definition (its first message that names it),
// for a finding's line.
std::string message_about(const ErrorRecords& records, const std::string& name) {
  for (const auto& [error, text] : records) {
    if (text.find("'" + name + "'") != std::string::npos) return std::to_string(error) + " " + text;
  }
  return "the load names it in no message";
}

void write_and_reload(Session& s) {
  tq_context* ctx = s.ctx;
  const std::vector<std::pair<int32_t, std::string>> locales = loaded_locales(ctx);
  std::set<Unreadable> warned;
  for (size_t depth = 0; depth < locales.size(); ++depth) {
    const auto& [code, file] = locales[depth];
    // The target's own lock on the file: one it cannot take (the file is
    // locked elsewhere) is no fault of the sequence or the writer, which
    // refuses a file the handle does not lock; nothing is compared then.
    tq_lock_handle* lock = nullptr;
    if (tq_lock_init(ctx, &lock) < 0) return;
    const int32_t locked = tq_lock_create(ctx, file.c_str(), 7, lock, nullptr);
    if (locked < 0) {
      if (trace()) std::fprintf(stderr, "fuzz_edit: %s not locked (%d): not written\n", file.c_str(), locked);
      tq_lock_free(ctx, lock);
      return;
    }
    // A positive result is a warning (a definition that will read back not
    // valid): the file is written. A failure writes nothing or a part, and
    // a sequence of edits that each succeeded should not make a locale the
    // writer cannot write.
    const int32_t rc = tq_locale_write(ctx, code, lock);
    // Read before the next call clears the error list.
    const std::string error = rc < 0 ? last_error(ctx) : std::string();
    warned_unreadable(error_records(ctx), code, static_cast<int32_t>(depth), &warned);
    tq_lock_free(ctx, lock);
    if (trace() && rc != 0) std::fprintf(stderr, "fuzz_edit: tq_locale_write %d: %d\n", code, rc);
    if (rc < 0) {
      broken("tq_locale_write of locale " + std::to_string(code) + " failed (" + std::to_string(rc) + "): " + error);
    }
  }
  int32_t load_rc = 0;
  tq_context* again = open_edit(&load_rc);
  if (again == nullptr) broken("the knowledge base written does not open");
  const ErrorRecords load_errors = error_records(again);
  if (trace()) {
    std::fprintf(stderr, "fuzz_edit: written and loaded again: %d\n", load_rc);
    for (const auto& [code, text] : load_errors) std::fprintf(stderr, "  %d %s\n", code, text.c_str());
  }
  // Every definition the load holds not valid is one the write warned
  // for, and every one it warned for the load holds not valid: the writer
  // and the reader apply the same rules.
  std::vector<Named> after[kFamilies];
  std::set<Unreadable> held;
  for (size_t fi = 1; fi <= static_cast<size_t>(Family::datatype); ++fi) {
    const Family f = static_cast<Family>(fi);
    after[fi] = definitions(again, f);
    for (const Named& d : after[fi]) {
      if (defn_flag(again, f, d, "valid") == 0) held.insert({f, d.index / 256, d.name});
    }
  }
  auto code_of = [&](int32_t depth) {
    return depth >= 0 && static_cast<size_t>(depth) < locales.size() ? locales[depth].first : -1;
  };
  // The write reads each definition back with the resources it names as
  // they are in memory; one changed and not saved is read from its file by
  // the load, so the two may then disagree.
  for (const Unreadable& u : s.unsaved.empty() ? held : std::set<Unreadable>{}) {
    if (warned.count(u) != 0) continue;
    // What the load said of it, and whether the write's side had it marked
    // incomplete (the flag, or validity bit 8, which a load sets for it and
    // the writer keeps), for the finding's line.
    std::string why = message_about(load_errors, u.name);
    const std::vector<Named> before = definitions(ctx, u.f);
    const Named* was = find_named(before, u.name, u.depth);
    if (was != nullptr && defn_flag(ctx, u.f, *was, "incomplete") > 0) why += "; it was marked incomplete";
    if (was != nullptr && defn_flag(ctx, u.f, *was, "valid_flag_info") > 0 &&
        (defn_flag(ctx, u.f, *was, "valid_flag_info") & 0x8) != 0) {
      why += "; its validity bit 8 (incomplete) was set";
    }
    broken("after the write, the " + describe(u, code_of(u.depth)) +
           " reads back not valid, but tq_locale_write did not warn for it (" + why + ")");
  }
  for (const Unreadable& u : s.unsaved.empty() ? warned : std::set<Unreadable>{}) {
    if (held.count(u) != 0) continue;
    const bool there = find_named(after[static_cast<size_t>(u.f)], u.name, u.depth) != nullptr;
    broken("tq_locale_write warned that the " + describe(u, code_of(u.depth)) +
           " will not be valid when read again, but it " + (there ? "reads back valid" : "does not read back at all"));
  }
  // A definition the load holds not valid (checked above to be one the
  // write warned for) is left out of the getter comparison: the part the
  // reader refused is not what was written, and the load does not say
  // which part that is. The engine of another is compared when all it
  // reads (its parse definition, say) read back valid and clean; after a
  // load that reported problems (104), also the datatypes those read must
  // read back the same, since a datatype has no validity that tells
  // whether the load took it whole.
  std::vector<int32_t> intact;
  if (load_rc != 0) intact = intact_datatypes(ctx, again);
  // A resource changed in memory (and not saved, or saved elsewhere) is
  // not what the reloaded definitions read: engines are then not compared.
  const bool resources_edited = (s.touched >> static_cast<unsigned>(Family::vocab)) != 0;
  for (size_t fi = 1; fi <= static_cast<size_t>(Family::datatype); ++fi) {
    Family f = static_cast<Family>(fi);
    const std::vector<Named> before = definitions(ctx, f);
    // Nothing written is lost: every definition reads back, valid or not
    // (a slot whose definition was unloaded answers with no name; names
    // are never empty).
    for (const Named& b : before) {
      if (!b.name.empty() && find_named(after[fi], b.name, b.index / 256) == nullptr) {
        broken(std::string("after the write, ") + kFamilyNames[fi] + " '" + b.name + "' (" + std::to_string(b.index) +
               ") does not read back");
      }
    }
    // After a load that reported problems, datatypes are not compared.
    if (f == Family::datatype && load_rc != 0) continue;
    for (const Named& d : after[fi]) {
      const Named* was = find_named(before, d.name, d.index / 256);
      std::string what = std::string("after the write, ") + kFamilyNames[fi] + " '" + d.name + "' (" +
                         std::to_string(d.index) + ")";
      if (was == nullptr) broken(what + " was not there before the write");
      if (defn_flag(again, f, d, "valid") == 0) {
        if (trace()) std::fprintf(stderr, "fuzz_edit: %s reads back not valid\n", what.c_str());
        continue;
      }
      bool engines = !resources_edited && has_engine(f) && clean(ctx, f, *was) && engines_may_differ(s, f) &&
                     engine_reads_sound(again, f, d.name, after[fi], load_rc != 0 ? &intact : nullptr);
      bool getters = (s.touched & ((1u << fi) | (1u << static_cast<unsigned>(Family::datatype)))) != 0;
      compare(definition_snapshot(ctx, f, *was, engines, getters), definition_snapshot(again, f, d, engines, getters),
              what, true);
    }
  }
  tq_close(again);
}

// ---- A resource saved and read back ----

int32_t load_resource(tq_context* ctx, Family f, const char* name, int32_t* index, tq_lock_handle** lock) {
  switch (f) {
    case Family::vocab: return tq_vocabulary_load(ctx, name, nullptr, index);
    case Family::regexlib: return tq_regexlib_load(ctx, name, nullptr, index);
    case Family::phonetx: return tq_phonetx_load(ctx, name, index);
    case Family::chopper: return tq_chopper_load(ctx, name, index);
    case Family::grammar: return tq_grammar_load(ctx, name, index);
    case Family::scheme: {
      // Read for editing, as it was saved, so that the getters of an edited
      // scheme answer; the first context still holds the file's lock.
      tq_options_set(ctx, TQ_OPT_NO_LOCK_FILES);
      if (tq_lock_init(ctx, lock) < 0) return -1;
      return tq_scheme_load_edit(ctx, name, *lock, index);
    }
    default: return -1;
  }
}

// The results of a rule set made in the context from the rules given, for
// the saved set what (none when the target cannot make one there: a set
// of its name is loaded). A rule refused or a set that does not compile
// breaks the save's promise that its file compiles when read.
bool given_rules_results(tq_context* ctx, const std::vector<GivenRule>& rules, const std::string& what,
                         Snapshot* out) {
  int32_t made = -1, rule_index = -1;
  if (tq_phonetx_create(ctx, "given rules", &made) < 0) return false;
  for (const GivenRule& r : rules) {
    if (tq_phonetx_rule_add(ctx, made, r.rule_text.c_str(), r.replace_text.c_str(), r.priority, r.flags,
                            &rule_index) < 0) {
      broken(what + ": the rule '" + r.rule_text + "' given to it is refused in a set made anew: " + last_error(ctx));
    }
  }
  const int32_t rc = tq_phonetx_prepare(ctx, made);
  if (rc < 0) {
    broken(what + ": the rules given to it do not compile (" + std::to_string(rc) + "), but it was saved: " +
           last_error(ctx));
  }
  snap_resource(ctx, Family::phonetx, made, *out);
  return true;
}

void resource_reload(Session& s, Family f, int32_t index) {
  auto it = s.resource_names.find({f, index});
  if (it == s.resource_names.end()) return;
  int32_t load_rc = 0;
  tq_context* again = open_edit(&load_rc);
  if (again == nullptr) return;
  int32_t index2 = -1;
  std::string what = std::string("saved ") + kFamilyNames[static_cast<size_t>(f)] + " '" + it->second + "'";
  tq_lock_handle* lock = nullptr;
  const int32_t rc = load_resource(again, f, it->second.c_str(), &index2, &lock);
  if (trace()) std::fprintf(stderr, "fuzz_edit: %s loaded again: %d\n", what.c_str(), rc);
  if (rc >= 0) {
    Snapshot a, b;
    snap_resource(s.ctx, f, index, a);
    snap_resource(again, f, index2, b);
    // A scheme being edited is not applied (-500), a rule set made and not
    // prepared is not compiled (-1), and the one read back is: their
    // results are compared on no side.
    if (!a.empty() && ((f == Family::scheme && a[0].second.substr(0, 4) == "-500") ||
                       (f == Family::phonetx && a[0].second.substr(0, 3) == "-1 "))) {
      a.clear();
      b.clear();
    }
    // A scheme's file keeps whether it is applied to elements, case
    // insensitively, by match codes and untrimmed; duplicates and the
    // output case are options of a load, which the one read back does not
    // have: with them the results are not compared either.
    uint32_t options = 0, sens = 0;
    int32_t mdefn = -1;
    constexpr uint32_t kLoadOnly = TQ_SCHEME_DUPLICATES | TQ_SCHEME_OUT_UPPER | TQ_SCHEME_OUT_LOWER |
                                   TQ_SCHEME_OUT_PROPER | TQ_SCHEME_EDIT_STATE | TQ_SCHEME_TRANSF_LOAD;
    if (f == Family::scheme && tq_transf_scheme_options_get(s.ctx, index, &options, &mdefn, &sens) >= 0 &&
        (options & kLoadOnly & ~TQ_SCHEME_EDIT_STATE) != 0) {
      a.clear();
      b.clear();
    }
    // The rules given to a set the input made, compiled here as a load
    // compiles them, give what the saved file loaded gives: so the save is
    // checked whether or not the set saved was compiled.
    auto given = s.given_rules.find(index);
    Snapshot from_given;
    if (f == Family::phonetx && given != s.given_rules.end() &&
        given_rules_results(again, given->second, what, &from_given)) {
      Snapshot loaded;
      snap_resource(again, f, index2, loaded);
      compare(from_given, loaded, what + " read back, against the rules given");
    }
    snap_getters(s.ctx, f, index, a);
    snap_getters(again, f, index2, b);
    // The getters of a kind's edit session (tq_phonetx_edit_rule_count_get
    // and its like) read what the context's edit of a file holds, not the
    // resource at the index: they are no part of what was saved.
    for (Snapshot* side : {&a, &b}) {
      std::erase_if(*side, [](const auto& entry) { return reads_edit_session(entry.first); });
    }
    // A vocabulary is saved compiled, and the compiled file has no field
    // for the owner: the owner set in memory is not what reads back.
    if (f == Family::vocab) {
      for (Snapshot* side : {&a, &b}) {
        std::erase_if(*side, [](const auto& entry) { return entry.first == "tq_vocab_owner_get"; });
      }
    }
    if (f == Family::scheme) {
      for (Snapshot* side : {&a, &b}) {
        for (auto& [label, value] : *side) {
          int got = 0;
          unsigned opts = 0;
          char rest[64] = "";
          if (label == "tq_transf_scheme_options_get" &&
              std::sscanf(value.c_str(), "%d %u %63[^\n]", &got, &opts, rest) >= 2) {
            value = std::to_string(got) + " " + std::to_string(opts & ~kLoadOnly) + " " + rest;
          }
        }
      }
    }
    compare(a, b, what + " read back");
  }
  tq_lock_free(again, lock);
  tq_close(again);
}

// ---- One operation ----

// Keeps the rules given to a rule set made by the input, after the call
// (which succeeded) that made it or added one. A set loaded by name holds
// the rules of its file, which the input did not give: a load (which may
// give back a set made earlier) or an unload (after which the index may
// name another set) forgets what was kept for its index.
void note_given_rules(Session& s, std::string_view name, const std::vector<Param>& params, const Call& c,
                      const int32_t* ints, const uint32_t* uints) {
  auto at = [&](const char* param) {
    for (size_t i = 0; i < params.size(); ++i) {
      if (params[i].name == param) return i;
    }
    return params.size();
  };
  const size_t index = at("index"), rule = at("rule_text"), replace = at("replace_text");
  const size_t priority = at("priority"), flags = at("flags");
  if (name == "tq_phonetx_create" && index < params.size()) {
    s.given_rules[c.i32[index]].clear();
  } else if ((name == "tq_phonetx_load" || name == "tq_phonetx_unload") && index < params.size()) {
    s.given_rules.erase(params[index].type == "int32_t*" ? c.i32[index] : ints[index]);
  } else if (name == "tq_phonetx_rule_add" && std::max({index, rule, replace, priority, flags}) < params.size()) {
    auto it = s.given_rules.find(ints[index]);
    if (it != s.given_rules.end()) {
      it->second.push_back({c.text_used[rule], c.text_used[replace], ints[priority], uints[flags]});
    }
  }
}

// The operation op reading its arguments from data at *pos, which it
// moves past them.
void run_op(Session& s, size_t op, const uint8_t* data, size_t size, size_t* pos) {
  const Row* row = edit_ops()[op];
  const std::vector<Param>& params = tables().op_params[op];
  Family f = family_of(row->name);
  // Read the arguments once to know the index, then again for the call.
  Call& c = scratch_call();
  size_t start = *pos;
  auto setup = [&] {
    c.data = data;
    c.size = size;
    c.pos = start;
    c.from_input = true;
    c.params = &params;
    c.pool = &s.pool;
    c.lock = s.lock;
    c.doc = s.doc;
    c.paths = scratch_paths(&c.path_count);
  };
  // The index: the first int parameter, read as the call will read it.
  int32_t index = -1;
  bool have_index = false;
  int32_t ints[kMaxParams] = {};
  uint32_t uints[kMaxParams] = {};
  setup();
  for (size_t i = 0; i < params.size(); ++i) {
    const std::string& t = params[i].type;
    if (t == "int32_t") {
      ints[i] = c.int_at(i);
      if (!have_index) index = ints[i];
      have_index = true;
    } else if (t == "uint32_t") {
      uints[i] = c.uint_at(i);
    } else if (t == "double") {
      c.double_at(i);
    } else if (t == "const char*") {
      c.text_at(i);
    } else if (t == "const int32_t*") {
      c.order_at(i);
    }
  }
  auto cached = s.seen.find({f, index});
  Snapshot before = cached != s.seen.end() ? std::move(cached->second) : snapshot(s.ctx, f, index);
  setup();
  int32_t rc = row->invoke(s.ctx, c);
  *pos = c.pos;
  if (trace()) {
    std::fprintf(stderr, "fuzz_edit: %s", row->name);
    for (size_t i = 0; i < params.size(); ++i) {
      const std::string& t = params[i].type;
      if (t == "const char*") std::fprintf(stderr, " '%s'", c.text_used[i]);
      else if (t == "int32_t*") std::fprintf(stderr, " ->%d", c.i32[i]);
      else if (t == "char*") std::fprintf(stderr, " ->'%.40s'", c.bufs[i]);
    }
    std::fprintf(stderr, " (index %d): %d\n", index, rc);
  }
  std::string_view name(row->name);
  if (rc >= 0) s.touched |= 1u << static_cast<unsigned>(f);
  if (rc < 0) {
    compare(before, snapshot(s.ctx, f, index), std::string("failed ") + row->name + " (" + std::to_string(rc) + ")");
    s.seen[{f, index}] = std::move(before);
    return;
  }
  s.seen.clear();
  // A definition takes the document it is given as comments or layouts
  // when the document holds an include (the getter then gives it back):
  // the input's next document is a new one.
  if (ends_with(name, "_comments_set") || ends_with(name, "_layouts_set")) {
    auto getter = tables().by_name.find(std::string(name.substr(0, name.size() - 4)) + "_get");
    if (getter != tables().by_name.end() && getter->second->invoke != nullptr) {
      std::vector<Param> gp = parse_params(getter->second->params);
      c.from_input = false;
      c.params = &gp;
      c.fixed[0] = index;
      if (getter->second->invoke(s.ctx, c) >= 0 && c.docs[1] == s.doc && s.doc != nullptr) {
        if (tq_xml_create(s.ctx, "Comments", "9.0", &s.doc) < 0) s.doc = nullptr;
      }
    }
  }
  // Indices given back feed later arguments; the names of resources loaded
  // or made are kept for the read-back of a save.
  const char* res_name = nullptr;
  for (size_t i = 0; i < params.size(); ++i) {
    if (params[i].type == "const char*" && (params[i].name == "name" || params[i].name == "scheme_name")) {
      res_name = c.text_used[i];
    }
  }
  for (size_t i = 0; i < params.size(); ++i) {
    if (params[i].type != "int32_t*") continue;
    if (s.pool.size() < 16) s.pool.push_back(c.i32[i]);
    if (!is_definition(f) && res_name != nullptr && *res_name != '\0') s.resource_names[{f, c.i32[i]}] = res_name;
  }
  if (f == Family::phonetx) note_given_rules(s, name, params, c, ints, uints);
  if (!is_definition(f)) {
    if (ends_with(name, "_save") || name == "tq_scheme_write") {
      s.unsaved.erase({f, index});
      resource_reload(s, f, index);
    } else if (!ends_with(name, "_load") && !ends_with(name, "_unload") && !contains(name, "_get")) {
      s.unsaved.insert({f, index});
      for (size_t i = 0; i < params.size(); ++i) {
        if (params[i].type == "int32_t*") s.unsaved.insert({f, c.i32[i]});
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Every input opens a fresh copy of the sample, so that an input found
  // does the same when run alone (a failed edit may leave a file behind).
  restore_scratch();
  current_input = std::string_view(reinterpret_cast<const char*>(data), size);
  Session s;
  int32_t load_rc = 0;
  s.ctx = open_edit(&load_rc);
  if (s.ctx == nullptr || load_rc != 0) {
    std::fprintf(stderr, "fuzz_edit: the sample does not load in edit mode (%d)\n", load_rc);
    std::abort();
  }
  tq_lock_init(s.ctx, &s.lock);
  if (trace() && std::string_view(std::getenv("FUZZ_EDIT_TRACE")) == "ops") {
    for (size_t i = 0; i < edit_ops().size(); ++i) std::fprintf(stderr, "%zu %s\n", i, edit_ops()[i]->name);
  }
  if (tq_xml_create(s.ctx, "Comments", "9.0", &s.doc) < 0) s.doc = nullptr;
  size_t pos = 0;
  const uint16_t count = op_count();
  try {
    for (int steps = 0; pos + 2 <= size && steps < 32; ++steps) {
      uint16_t code = static_cast<uint16_t>((data[pos] | (data[pos + 1] << 8)) % count);
      pos += 2;
      if (code == op_write_check()) {
        write_and_reload(s);
        s.seen.clear();
      } else {
        run_op(s, code, data, size, &pos);
      }
    }
  } catch (const Finding&) {
    return 0;
  }
  if (s.doc != nullptr) tq_xml_free(s.ctx, s.doc);
  tq_lock_free(s.ctx, s.lock);
  tq_close(s.ctx);
  return 0;
}
