// The edit-sequence target's bytecode, shared with the seed writer: the
// exports that change the knowledge base, taken from the export tables, and
// how an input names them and their arguments.
//
// An input is a sequence of operations. An operation is two bytes, an
// operation code (low byte first) taken modulo the number of operations,
// then one byte per argument the export takes from the caller:
//   int32_t   below 0x40: the byte - 2 (-2 .. 61); 0x40..0x7F: 256 + (byte -
//             0x40) and 0x80..0xBF: 512 + (byte - 0x80) (edit-mode indices
//             of the parent and grandparent's definitions); 0xC0..0xEF: an
//             index an earlier call gave back; 0xF0..0xFF: an odd value
//             (locale codes, limits, negatives).
//   uint32_t  below 0xF0: the byte mod 100; else an odd value.
//   double    the byte / 2.
//   order     (const int32_t*, a token order) positions in order, those of
//             the byte's two nibbles swapped.
//   document  (tq_xmldoc*) takes no byte: the input's one document.
//   text      below 0xF0: a name of kNames (names the sample has and names
//             it has not); else a length byte and that many bytes of text
//             ('/' and '\' become '_': no path leaves the scratch folder).
//             Parameters named as paths or files take kPaths instead.
// Out parameters take no byte. The input ends where its bytes end, or
// after 32 operations; an argument past the end reads as 0.
//
// Operation codes follow the tables' order, so an input found may do other
// things once exports are added: the seeds are written by export name
// (make_seeds.cpp), and faults this target found are pinned by tests.
//
// The table's exports come first, in table order (edit_ops()); the last
// code writes every loaded locale, loads it again in a second context and
// compares (op_write_check(): last, so that runs of zero bytes, which
// mutations make often, do not write every time).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "tq.h"

namespace tq_fuzz_edit {


// Names of the sample knowledge base (definitions, datatypes, tokens,
// categories, resources, values) and names it has not.
inline constexpr const char* kNames[] = {
    "Name", "Contact", "Pattern", "English", "Language", "Company", "Text", "Proper", "Upper",
    "Given Name", "Family Name", "Middle Name", "Prefix", "Suffix", "GIVEN", "FAMILY", "INITIAL", "COMMA",
    "SUFFIX", "PREFIX", "NAME", "MALE", "FEMALE", "TITLE", "PERSON", "ORG", "UNKNOWN", "en_name", "en_person",
    "en_firm", "en_name_normalize", "en_name_sound", "en_nickname", "en_name_suffix", "en_given_variants",
    "en_name_noise", "en_name_case_fix", "en_name_case", "en_gender", "en_comma", "en_initial", "en_company",
    "en_gender_female", "en_gender_male", "ENUSA", "EN", "L1", "", "New", "new_res", "Nope", "no such thing",
    "[A-Z]+", "(", "a\\1", "Dr. John Q. Smith Jr.", "x"};
inline constexpr size_t kNameCount = sizeof(kNames) / sizeof(kNames[0]);

// Edit ops' bytes for a name of kNames.
inline uint8_t name_byte(std::string_view name) {
  for (size_t i = 0; i < kNameCount; ++i) {
    if (name == kNames[i]) return static_cast<uint8_t>(i);
  }
  return 0xFF;
}

enum class Family : uint8_t {
  none, parse, case_, stdzn, extraction, gender, patrn, identification, match, lang, guess, datatype,
  vocab, regexlib, phonetx, chopper, grammar, scheme
};
constexpr size_t kFamilies = 18;

struct FamilyPrefix {
  const char* prefix;
  Family family;
};
inline constexpr FamilyPrefix kFamilyPrefixes[] = {
    {"parse_defn_", Family::parse}, {"case_defn_", Family::case_}, {"stdzn_defn_", Family::stdzn},
    {"extraction_defn_", Family::extraction}, {"gender_defn_", Family::gender}, {"patrn_defn_", Family::patrn},
    {"identification_defn_", Family::identification}, {"match_defn_", Family::match},
    {"lang_defn_", Family::lang}, {"guess_defn_", Family::guess}, {"datatype_", Family::datatype},
    {"vocabulary_", Family::vocab}, {"vocab_", Family::vocab}, {"regexlib_", Family::regexlib},
    {"phonetx_", Family::phonetx}, {"chopper_", Family::chopper}, {"grammar_", Family::grammar},
    {"transf_scheme_", Family::scheme}, {"scheme_", Family::scheme}};

// The family of an export and its name without "tq_" and the family.
inline Family family_of(std::string_view name, std::string_view* rest = nullptr) {
  if (name.substr(0, 3) != "tq_") return Family::none;
  name.remove_prefix(3);
  for (std::string_view s : {"surfaced_", "nonsurfaced_"}) {
    if (name.substr(0, s.size()) == s) name.remove_prefix(s.size());
  }
  for (const FamilyPrefix& f : kFamilyPrefixes) {
    std::string_view p(f.prefix);
    if (name.substr(0, p.size()) == p) {
      if (rest != nullptr) *rest = name.substr(p.size());
      return f.family;
    }
  }
  return Family::none;
}

inline bool is_definition(Family f) { return f >= Family::parse && f <= Family::datatype; }

// ---- Calling an export from its table row ----

struct Call;
using Invoker = int32_t (*)(tq_context* ctx, Call& call);

constexpr size_t kMaxParams = 10;
constexpr size_t kBufSize = 20000;  // above every text out the header names

struct Param {
  std::string type;
  std::string name;
};

struct Row {
  const char* name;
  int edit;  // 0 any, 1 refuses edit mode, 2 needs it
  const char* params;  // the row's parameter text
  Invoker invoke;  // null when a parameter type is not one the target makes
};

// Where the arguments of one call come from: the input's bytes (ops), or
// fixed small numbers (getters), and where its outputs go.
struct Call {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t pos = 0;
  bool from_input = false;
  int32_t fixed[kMaxParams] = {};  // getters: the int inputs by parameter position
  const std::vector<Param>* params = nullptr;
  std::vector<int32_t>* pool = nullptr;  // indices earlier calls gave back
  tq_lock_handle* lock = nullptr;
  tq_xmldoc* doc = nullptr;  // comments, layouts, a definition written into it
  int32_t order[32] = {};
  const char* const* paths = nullptr;
  size_t path_count = 0;
  char bufs[kMaxParams][kBufSize];
  int32_t i32[kMaxParams];
  uint32_t u32[kMaxParams];
  double dbl[kMaxParams];
  tq_xmldoc* docs[kMaxParams];
  std::string texts[kMaxParams];
  const char* text_used[kMaxParams] = {};

  uint8_t byte() { return pos < size ? data[pos++] : 0; }
  const std::string& param_name(size_t i) const {
    static const std::string none;
    return params != nullptr && i < params->size() ? (*params)[i].name : none;
  }
  int32_t int_at(size_t i) {
    if (!from_input) return fixed[i];
    uint8_t b = byte();
    if (b < 0x40) return b - 2;
    if (b < 0x80) return 256 + (b - 0x40);
    if (b < 0xC0) return 512 + (b - 0x80);
    if (b < 0xF0) {
      if (pool == nullptr || pool->empty()) return 0;
      return (*pool)[(b - 0xC0) % pool->size()];
    }
    static constexpr int32_t kOdd[] = {-1,     -800,  255,   256,    999,  1000,       65535,     29840,
                                       29000,  29001, 100,   101,    -256, INT32_MAX, INT32_MIN, 1 << 20};
    return kOdd[b - 0xF0];
  }
  uint32_t uint_at(size_t i) {
    if (!from_input) return static_cast<uint32_t>(fixed[i]);
    uint8_t b = byte();
    if (b < 0xF0) return b % 100u;
    static constexpr uint32_t kOdd[] = {255,   256,   1000,   1024,        1025,       16384,      16385, 65535,
                                        65536, 0xFFu, 0x3FFu, 0xFFFFFFFFu, 0x7FFFFFFF, 0x80000000, 300,   101};
    return kOdd[b - 0xF0];
  }
  double double_at(size_t) { return from_input ? byte() / 2.0 : 0.0; }
  const char* text_at(size_t i) {
    const std::string& pname = param_name(i);
    bool is_path = pname == "path" || pname.find("file") != std::string::npos;
    uint8_t b = from_input ? byte() : 0;
    if (is_path && paths != nullptr && path_count > 0) return text_used[i] = paths[b % path_count];
    if (b < 0xF0) return text_used[i] = kNames[b % kNameCount];
    size_t n = byte();
    std::string& t = texts[i];
    t.clear();
    for (size_t k = 0; k < n && pos < size; ++k) {
      char c = static_cast<char>(data[pos++]);
      t.push_back(c == '/' || c == '\\' || c == '\0' ? '_' : c);
    }
    return text_used[i] = t.c_str();
  }
  // A token order: positions in order but two swapped (the byte's low and
  // high nibble, 0..15 each).
  const int32_t* order_at(size_t) {
    uint8_t b = from_input ? byte() : 0;
    for (int32_t k = 0; k < 32; ++k) order[k] = k;
    std::swap(order[b & 0xF], order[b >> 4]);
    return order;
  }
  char* buf_at(size_t i) {
    bufs[i][0] = '\0';
    bufs[i][1] = '\0';
    return bufs[i];
  }
};

template <typename T>
struct Arg {
  static constexpr bool ok = false;
};
template <>
struct Arg<int32_t> {
  static constexpr bool ok = true;
  static int32_t make(Call& c, size_t i) { return c.int_at(i); }
};
template <>
struct Arg<uint32_t> {
  static constexpr bool ok = true;
  static uint32_t make(Call& c, size_t i) { return c.uint_at(i); }
};
template <>
struct Arg<double> {
  static constexpr bool ok = true;
  static double make(Call& c, size_t i) { return c.double_at(i); }
};
template <>
struct Arg<const char*> {
  static constexpr bool ok = true;
  static const char* make(Call& c, size_t i) { return c.text_at(i); }
};
template <>
struct Arg<char*> {
  static constexpr bool ok = true;
  static char* make(Call& c, size_t i) { return c.buf_at(i); }
};
template <>
struct Arg<int32_t*> {
  static constexpr bool ok = true;
  static int32_t* make(Call& c, size_t i) { return &(c.i32[i] = -12345); }
};
template <>
struct Arg<uint32_t*> {
  static constexpr bool ok = true;
  static uint32_t* make(Call& c, size_t i) { return &(c.u32[i] = 12345); }
};
template <>
struct Arg<double*> {
  static constexpr bool ok = true;
  static double* make(Call& c, size_t i) { return &(c.dbl[i] = -1.5); }
};
template <>
struct Arg<const int32_t*> {
  static constexpr bool ok = true;
  static const int32_t* make(Call& c, size_t i) { return c.order_at(i); }
};
template <>
struct Arg<tq_xmldoc*> {
  static constexpr bool ok = true;
  static tq_xmldoc* make(Call& c, size_t) { return c.doc; }
};
template <>
struct Arg<tq_xmldoc**> {
  static constexpr bool ok = true;
  static tq_xmldoc** make(Call& c, size_t i) { return &(c.docs[i] = nullptr); }
};
template <>
struct Arg<tq_lock_handle*> {
  static constexpr bool ok = true;
  static tq_lock_handle* make(Call& c, size_t) { return c.lock; }
};

template <typename F>
struct Export;
template <typename... P>
struct ExportArgs {
  static constexpr bool supported = sizeof...(P) <= kMaxParams && (Arg<P>::ok && ...);
  template <auto Fn, size_t... I>
  static int32_t call(tq_context* ctx, Call& c, std::index_sequence<I...>) {
    std::tuple<P...> args{Arg<P>::make(c, I)...};  // braced: made in parameter order
    return Fn(ctx, std::get<I>(args)...);
  }
  template <auto Fn>
  static int32_t invoke(tq_context* ctx, Call& c) {
    return call<Fn>(ctx, c, std::index_sequence_for<P...>{});
  }
};
template <typename... P>
struct Export<int32_t (*)(tq_context*, P...) noexcept> : ExportArgs<P...> {};
template <typename... P>
struct Export<int32_t (*)(tq_context*, P...)> : ExportArgs<P...> {};
template <typename F>
struct ExportOther {
  static constexpr bool supported = false;
};

template <auto Fn>
constexpr Invoker invoker_for() {
  using E = std::conditional_t<requires { Export<decltype(Fn)>::supported; }, Export<decltype(Fn)>,
                               ExportOther<decltype(Fn)>>;
  if constexpr (E::supported) {
    return &E::template invoke<Fn>;
  } else {
    return nullptr;
  }
}

#define NOHOLD 0
#define READ 1
#define ANY 0
#define REFUSES_EDIT 1
#define NEEDS_EDIT 2
#define TQ_FN(export_name, hold, edit, impl, ...) \
  ::tq_fuzz_edit::Row{#export_name, edit, #__VA_ARGS__, ::tq_fuzz_edit::invoker_for<&export_name>()},
#define TQ_FNK TQ_FN
inline const Row kRows[] = {
#include "api/tables/all.def"
};
#undef TQ_FN
#undef TQ_FNK
#undef NOHOLD
#undef READ
#undef ANY
#undef REFUSES_EDIT
#undef NEEDS_EDIT

// The parameters of a row: its "(type, name[, NONNULL])" tuples, in order.
inline std::vector<Param> parse_params(const char* text) {
  std::vector<Param> out;
  std::string_view s(text);
  for (size_t open = s.find('('); open != std::string_view::npos; open = s.find('(', open + 1)) {
    size_t close = s.find(')', open);
    if (close == std::string_view::npos) break;
    std::string_view inner = s.substr(open + 1, close - open - 1);
    size_t comma = inner.find(',');
    auto trim = [](std::string_view v) {
      while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
      while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
      return v;
    };
    Param p;
    p.type = std::string(trim(inner.substr(0, comma)));
    std::string_view rest = comma == std::string_view::npos ? std::string_view() : inner.substr(comma + 1);
    size_t comma2 = rest.find(',');
    p.name = std::string(trim(rest.substr(0, comma2)));
    out.push_back(std::move(p));
    open = close;
  }
  return out;
}

inline bool contains(std::string_view s, std::string_view part) { return s.find(part) != std::string_view::npos; }

inline bool ends_with(std::string_view s, std::string_view end) {
  return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

// An export the sequences call: one that changes definitions or resources
// (or loads, saves and unloads them) and takes only arguments the target
// makes. Locale loading and writing is the target's own (op_write_check()).
inline bool is_edit_op(const Row& r) {
  std::string_view rest;  // the name after the family
  if (r.invoke == nullptr || family_of(r.name, &rest) == Family::none) return false;
  std::string n = "_" + std::string(rest);
  if (contains(n, "_get") || contains(n, "_validate") || contains(n, "_compile") || contains(n, "_apply") ||
      contains(n, "_execute") || contains(n, "_match")) {
    return false;
  }
  if (r.edit == 2) return true;
  for (std::string_view verb : {"_load", "_unload", "_create", "_save", "_write", "_close", "_add", "_delete",
                                "_set", "_clear", "_merge", "_import", "_prepare", "_finalize", "_remove",
                                "_new", "_edit", "_begin", "_end", "_record"}) {
    if (contains(std::string_view(r.name), verb)) return true;
  }
  return false;
}

// The exports of the operations, in table order.
inline const std::vector<const Row*>& edit_ops() {
  static const std::vector<const Row*> ops = [] {
    std::vector<const Row*> v;
    for (const Row& r : kRows) {
      if (is_edit_op(r)) v.push_back(&r);
    }
    return v;
  }();
  return ops;
}

inline uint16_t op_count() { return static_cast<uint16_t>(edit_ops().size() + 1); }
inline uint16_t op_write_check() { return static_cast<uint16_t>(edit_ops().size()); }

// The operation code of an export (for seeds); 0xFFFF when it is none.
inline uint16_t op_code(std::string_view export_name) {
  const auto& ops = edit_ops();
  for (size_t i = 0; i < ops.size(); ++i) {
    if (export_name == ops[i]->name) return static_cast<uint16_t>(i);
  }
  return 0xFFFF;
}

}  // namespace tq_fuzz_edit
