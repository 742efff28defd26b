#include "match/krmeng.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/krcaseloc.h"
#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "core/krvec.h"
#include "core/krzel.h"
#include "match/krmtctx.h"
#include "match/krmtres.h"
#include "parse/krpdef.h"
#include "platform/nputf8.h"
#include "standardize/krcaseop.h"
#include "standardize/krtslot.h"

namespace tq {

namespace {

// Code points of a code placed or cut: the largest code a definition can
// produce, whatever its code length says.
uint32_t code_points_of(uint32_t code_length) { return std::min(code_length, kMatchCodeMax); }

int32_t argument_null(context* ctx, const char* name) {
  char text[64];
  std::snprintf(text, sizeof text, "'%s' is null.", name);
  TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, text);
  return TQ_ERR_ARGUMENT;
}

// A caller's slot count above the 32 slots every road keeps.

uint32_t defn_code_length(const defn_rec* rec) {
  const match_defn_kind_rec* part = match_defn_part(rec);
  return part != nullptr ? part->code_length : kMatchCodeLengthMin;
}

// Copies a finished (encoded, UTF-8) code to a caller's buffer of
// min(code length, 256) x 4 + 1 bytes, in the session encoding with convert.
int32_t code_copy_out(context* ctx, const char* code, char* out, uint32_t code_length, uint32_t convert) {
  const uint32_t room = code_points_of(code_length) * 4 + 1;
  const uint32_t term = strio_terminator_for(ctx, convert);
  return strio_out(ctx, code, out, room - term, convert & kStrioConvert);
}

void record(std::string& to, const char* from) { to.assign(from); }

// Whole-value codes of area->input into every output.
int32_t whole_value_codes(context* ctx, const defn_rec* rec, const char* value, uint32_t count, uint32_t convert,
                          char* const* codes) {
  const uint32_t length = defn_code_length(rec);
  char scratch[kMatchTextSize];
  for (uint32_t i = 0; i < count; ++i) {
    int32_t rc = match_exact_code(ctx, length, value, scratch, 0);
    if (rc < 0) return rc;
    rc = code_copy_out(ctx, scratch, codes[i], length, convert);
    if (rc < 0) return rc;
  }
  return 0;
}

// Pre-fills every output after checking it (and keeping what it held); a
// NULL one stops with -802 and the outputs before it keep their pre-fill.
int32_t outputs_prefill(context* ctx, const defn_rec* rec, uint32_t count, char* const* codes, caller_keep& kept) {
  const uint32_t length = defn_code_length(rec);
  for (uint32_t i = 0; i < count; ++i) {
    if (codes[i] == nullptr) {
      char name[32];
      std::snprintf(name, sizeof name, "matchcodes[%u]", i);
      return argument_null(ctx, name);
    }
    if (int32_t rc = kept.keep(codes[i], match_code_prefill_size(length)); rc < 0) return rc;
    match_code_prefill(codes[i], length);
  }
  return 0;
}

// The engine is not re-entrant on its work area: a run nested in another
// (a scheme keyed by match codes applied inside a run) would overwrite the
// slots the outer one is working on. Definitions never open such schemes,
// so nesting cannot happen; the guard keeps it that way, refusing a nested
// run (-603) rather than letting it corrupt the outer one.
// Step group P: the preprocessing schemes on area->input, each with its
// own settings.
int32_t preproc_apply(context* ctx, const defn_rec* rec, match_work_area* area, match_info* info) {
  const match_defn_kind_rec* part = match_defn_part(rec);
  if (part == nullptr || part->schemes.empty()) return 0;
  void* block = nullptr;
  int32_t rc = scheme_pool_block_take(&area->pool, &block);
  if (rc < 0) return rc;
  char** outputs = static_cast<char**>(block);
  char out[kMatchTextSize];
  for (size_t j = 0; j < part->schemes.size(); ++j) {
    const int32_t index = part->schemes[j].scheme.index();
    if (index < 0) continue;
    scheme_rec* scheme = nullptr;
    rc = scheme_get(ctx, index, &scheme);
    if (rc < 0) break;
    outputs[0] = out;
    out[0] = '\0';
    uint32_t produced = 0;
    int32_t found = 0;
    rc = scheme_apply(ctx, scheme, area->input, 1, kMatchTextSize, 0, 0, outputs, &produced, &found);
    if (rc < 0) break;
    rc = 0;
    const bool matched = found > 0 && produced > 0;
    if (matched) strio_copy_noted(ctx, "a scheme's result", area->input, out, kMatchTextSize);
    if (info != nullptr && j < info->preproc_strings.size()) {
      record(info->preproc_strings[j], area->input);
      if (j < info->preproc_matched.size()) info->preproc_matched[j] = matched ? 1 : 0;
    }
  }
  (void)scheme_pool_block_return(&area->pool);
  return rc;
}

void match_slots_clear(match_work_area* area) {
  for (parse_token_slot& slot : area->tokens) {
    slot.index = -1;
    slot.value[0] = '\0';
  }
}

uint32_t token_limit(const defn_rec* rec) { return std::min(rec->tokens.count(), kParseSlots); }

// The per-sensitivity steps of D over the match slots, outputs pre-filled.
int32_t codes_compute(context* ctx, const defn_rec* rec, match_work_area* area, const uint32_t* sens,
                      uint32_t count, uint32_t convert, char* const* codes, match_info* info) {
  const uint32_t n = token_limit(rec);
  for (uint32_t t = 0; t < n; ++t) {
    const int32_t rc = match_token_uppercase(ctx, rec, t, area->tokens[t].value, info, 0);
    if (rc < 0) return rc;
  }
  const uint32_t length = defn_code_length(rec);
  match_code code;
  char text[kMatchTextSize];
  char value[kMatchBufferSize];
  int32_t last = 0;
  for (uint32_t i = 0; i < count; ++i) {
    match_code_clear(&code);
    for (uint32_t t = 0; t < n; ++t) {
      uint32_t start = kMatchNone;
      uint32_t end = kMatchNone;
      (void)match_token_position_get(rec, sens[i], t, &start, &end);
      const bool placed = start != kMatchNone && end != kMatchNone;
      if (!placed && info == nullptr) continue;
      np_uchar_bufcopy(value, area->tokens[t].value, kMatchTextSize);
      const int32_t rc = match_token_pipeline(ctx, rec, t, sens[i], value, info, 0);
      // An info never changes the outcome: a token that is not placed runs
      // only for the record, and its failure is not the call's.
      if (rc < 0) {
        if (placed) return rc;
        continue;
      }
      if (placed) match_code_place(&code, start, end, value);
    }
    match_code_text(&code, length, text);
    if (info != nullptr && !info->codes.empty()) {
      match_info::code_record& cr = info->codes[0];
      record(cr.unencoded, text);
      cr.score = 0.0;
      cr.duplicate = 0;
      info->output_count = 1;
    }
    (void)match_encode(text);
    last = code_copy_out(ctx, text, codes[i], length, convert);
    if (last < 0) return last;
    if (info != nullptr && !info->codes.empty()) record(info->codes[0].encoded, text);
  }
  return last;
}

// The info's names of the definition's datatype tokens, by key; all NULL
// when it has none.
void datatype_names(context* ctx, const defn_rec* rec, defn_token_owner* owner) {
  if (defn_token_owner_get(ctx, rec, owner) < 0) {
    for (const char*& name : owner->datatype_tokens) name = nullptr;
  }
}

const char* name_or_empty(const char* name) { return name != nullptr ? name : ""; }

}  // namespace

// ---- Work area ----------------------------------------------------------------------------

int32_t match_work_area_create(context* ctx) {
  auto* area = big_new<match_work_area>();
  if (area == nullptr) return TQ_ERR_NO_MEMORY;
  for (uint32_t i = 0; i < kParseSlots; ++i) {
    area->parsed[i].index = area->tokens[i].index = -1;
    area->parsed[i].value[0] = area->tokens[i].value[0] = '\0';
  }
  area->input[0] = '\0';
  area->depth = 0;
  area->memory = mempool{};
  const int32_t rc = mempool_init(&area->memory, kMatchMempoolKilobytes);
  if (rc < 0) {
    mempool_free(&area->memory);
    big_delete(area);
    return rc;
  }
  mempool_enable_set(&area->memory, 1);
  mempool_reset(&area->memory);
  scheme_pool_init(ctx, &area->pool);
  area->ready = 1;
  ctx->match_work_area = area;
  return 0;
}

void match_work_area_free(context* ctx) {
  match_work_area* area = ctx->match_work_area;
  if (area == nullptr) return;
  if (area->ready != 0) scheme_pool_free(ctx, &area->pool);
  mempool_free(&area->memory);
  big_delete(area);
  ctx->match_work_area = nullptr;
}


// ---- Buckets and positions ----------------------------------------------------------------

uint32_t match_sens_bucket(uint32_t sensitivity) {
  for (uint32_t i = 0; i < kMatchSensCount; ++i) {
    if (sensitivity >= static_cast<uint32_t>(kMatchSensValues[i])) return i;
  }
  return kMatchSensCount - 1;
}

int32_t match_token_position_get(const defn_rec* rec, uint32_t sensitivity, uint32_t token, uint32_t* start,
                                 uint32_t* end) {
  *start = kMatchNone;
  *end = kMatchNone;
  if (rec == nullptr || token >= rec->tokens.count()) return TQ_ERR_ARGUMENT;
  const match_token_kind_rec* t = match_token_part(rec->tokens.items[token].get());
  if (t == nullptr) return TQ_ERR_ARGUMENT;
  // Positions are compared whole: a stored value never aliases a smaller
  // one, whatever a setter let through.
  const match_position& p = t->positions[match_sens_bucket(sensitivity)];
  if (p.start > p.end) return 0;
  const auto max = static_cast<int32_t>(kMatchCodeMax);
  if (p.start >= 1 && p.start <= max) *start = static_cast<uint32_t>(p.start - 1);
  if (p.end >= 1 && p.end <= max) *end = static_cast<uint32_t>(p.end - 1);
  return 0;
}

// ---- Preparation and pre-fill ---------------------------------------------------------------

int32_t match_defn_ready(context* ctx, defn_rec* rec) {
  int32_t rc = defn_rec_check_usable(ctx, rec);
  if (rc < 0) return rc;
  const match_defn_kind_rec* part = match_defn_part(rec);
  if (part == nullptr) return TQ_ERR_DEFN_INVALID;
  if (part->prepared.load(std::memory_order_acquire) != 0) return 0;
  rc = match_defn_prepare(ctx, rec);
  return rc < 0 ? rc : 0;
}

uint32_t match_code_prefill_size(uint32_t code_length) { return code_points_of(code_length) * 4 + 1; }

void match_code_prefill(char* out, uint32_t code_length) {
  // '$' maps to itself, so the pre-fill keeps its size once encoded.
  const uint32_t bytes = code_points_of(code_length) * 4;
  std::memset(out, '$', bytes);
  out[bytes] = '\0';
  (void)match_encode(out);
}

// ---- Shared steps of both roads -------------------------------------------------------------

int32_t match_value_prepare(context* ctx, defn_rec* rec, match_work_area* area, const char* input,
                            match_info* info, uint32_t rule_slots, match_prepared* out) {
  *out = match_prepared{};
  const match_defn_kind_rec* part = match_defn_part(rec);
  if (part == nullptr) return TQ_ERR_DEFN_INVALID;
  try {
    if (info != nullptr) {
      match_info_clear(info);
      const int32_t rc = match_info_preproc_alloc(info, static_cast<uint32_t>(part->schemes.size()));
      if (rc < 0) return rc;
    }
    np_uchar_bufcopy(area->input, input, kMatchTextSize);
    int32_t rc = preproc_apply(ctx, rec, area, info);
    if (rc < 0) {
      TQ_REPORT(ctx, rc, 130, rec->name);
      return rc;
    }
    if (info != nullptr) record(info->preprocessed, area->input);
    match_slots_clear(area);
    if (rec->parse_defn == -1) {
      area->tokens[0].index = 0;
      np_uchar_bufcopy(area->tokens[0].value, area->input, kMatchTextSize);
      if (info != nullptr) {
        rc = match_info_arrays_alloc(info, rec, 1, 1, rule_slots);
        if (rc < 0) return rc;
        // A definition without tokens names its one value with an empty name.
        const char* name = rec->tokens.count() > 0 ? rec->tokens.items[0]->name : "";
        if (!info->tokens.empty()) {
          record(info->tokens[0].name, name);
          record(info->tokens[0].value, area->input);
        }
        if (!info->sig_tokens.empty()) {
          record(info->sig_tokens[0].name, name);
          record(info->sig_tokens[0].value, area->input);
        }
      }
      return 0;
    }
    defn_rec* prec = nullptr;
    rc = defn_record_get_for_read_in_locale(ctx, kDefnParse, rec->locale, rec->parse_defn, &prec);
    if (rc < 0) return rc;
    uint32_t count = 0;
    const int32_t parsed = parse_defn_run(ctx, prec, area->input, area->parsed, &count, nullptr);
    if (parsed < 0) return parsed;
    if (parsed == TQ_WARN_NO_SOLUTION || parsed == TQ_WARN_LIMIT_REACHED) {
      out->no_solution = 1;
      if (parse_defn_has_nosol_tokens(prec) == 0) {
        out->whole_value = 1;
        if (info != nullptr) info->exact_match = 1;
        case_upper_current_locale_noted(ctx, area->input, kMatchTextSize, "the uppercased value");
        return 0;
      }
    }
    count = std::min(count, kParseSlots);
    match_token_slots_fill(area->tokens, rec, count, area->parsed);
    if (info != nullptr) {
      const uint32_t sig = token_limit(rec);
      rc = match_info_arrays_alloc(info, rec, count, sig, rule_slots);
      if (rc < 0) return rc;
      defn_token_owner owner;
      datatype_names(ctx, rec, &owner);
      for (uint32_t i = 0; i < count && i < info->tokens.size(); ++i) {
        record(info->tokens[i].name, name_or_empty(i < kDtypeTokensMax ? owner.datatype_tokens[i] : nullptr));
        record(info->tokens[i].value, area->parsed[i].value);
      }
      for (uint32_t j = 0; j < sig && j < info->sig_tokens.size(); ++j) {
        record(info->sig_tokens[j].name, rec->tokens.items[j]->name);
        record(info->sig_tokens[j].value, area->tokens[j].value);
      }
    }
    return 0;
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
}

int32_t match_parsed_prepare(context* ctx, defn_rec* rec, match_work_area* area, const parse_token_slot* slots,
                             uint32_t count, match_info* info, uint32_t rule_slots) {
  if (int32_t refused = match_slot_count_check(ctx, count); refused < 0) return refused;
  try {
    if (info != nullptr) {
      match_info_clear(info);
      info->preprocessed.clear();
    }
    match_slots_clear(area);
    match_token_slots_fill(area->tokens, rec, count, slots);
    if (info != nullptr) {
      const uint32_t sig = token_limit(rec);
      const int32_t rc = match_info_arrays_alloc(info, rec, count, sig, rule_slots);
      if (rc < 0) return rc;
      const uint32_t both = std::min(count, sig);
      for (uint32_t i = 0; i < both; ++i) {
        const char* name = rec->tokens.items[i]->name;
        if (i < info->tokens.size()) {
          record(info->tokens[i].name, name);
          record(info->tokens[i].value, area->tokens[i].value);
        }
        if (i < info->sig_tokens.size()) {
          record(info->sig_tokens[i].name, name);
          record(info->sig_tokens[i].value, area->tokens[i].value);
        }
      }
    }
    return 0;
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
}

}  // namespace tq

namespace tq {

// ---- The code -------------------------------------------------------------------------------

void match_code_clear(match_code* code) {
  std::fill(std::begin(code->points), std::end(code->points), U' ');
}

void match_code_place(match_code* code, uint32_t start, uint32_t end, const char* value) {
  if (start == kMatchNone || end == kMatchNone || start > end || end >= kMatchCodeMax) return;
  // A position that holds anything but a space belongs to an earlier token.
  if (code->points[start] != U' ') return;
  uint32_t pos = start;
  const char* cursor = value;
  while (pos <= end && *cursor != '\0') {
    int32_t cp = 0;
    if (np_uchar_toint(&cursor, &cp) < 0) cp = '?';
    code->points[pos++] = static_cast<char32_t>(cp);
  }
  for (; pos <= end; ++pos) code->points[pos] = U' ';
}

void match_code_text(const match_code* code, uint32_t code_length, char* out) {
  const uint32_t n = code_points_of(code_length);
  uint32_t at = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const char32_t cp = code->points[i];
    if (cp < 0x80) {
      out[at++] = static_cast<char>(cp);
      continue;
    }
    const int32_t wrote = np_uchar_intcopy(static_cast<int32_t>(cp), out + at, kMatchTextMax - at);
    if (wrote <= 0) break;
    at += static_cast<uint32_t>(wrote);
  }
  out[at] = '\0';
}

// ---- Encoding --------------------------------------------------------------------------------

namespace {

// The code-point table of the match-code format covers code points 0..383
// and is the identity: codes that clients store stay valid from one build to
// the next, and since every code point keeps its own size the encoded code
// fits wherever the unencoded one did, in every session encoding. A golden
// test freezes it.
constexpr uint32_t kCodeTableSize = 384;
constexpr int32_t code_table_at(int32_t cp) { return cp; }
static_assert(code_table_at('$') == '$' && code_table_at(' ') == ' ', "the pre-fill and padding keep their size");

}  // namespace

uint32_t match_encode(char* text) {
  if (text == nullptr) return 0;
  // The identity leaves well-formed ASCII as it is.
  size_t n = 0;
  while (n <= kMatchTextMax && text[n] != '\0' && static_cast<unsigned char>(text[n]) < 0x80) ++n;
  if (text[n] == '\0' && n <= kMatchTextMax) return static_cast<uint32_t>(n);
  char scratch[kMatchTextSize];
  uint32_t at = 0;
  const char* cursor = text;
  while (*cursor != '\0') {
    int32_t cp = 0;
    (void)uchar_get(&cursor, &cp);  // an undecodable byte reads as '?'
    if (cp >= 0 && static_cast<uint32_t>(cp) < kCodeTableSize) cp = code_table_at(cp);
    const int32_t wrote = np_uchar_intcopy(cp, scratch + at, kMatchTextMax - at);
    if (wrote <= 0) break;
    at += static_cast<uint32_t>(wrote);
  }
  scratch[at] = '\0';
  std::memcpy(text, scratch, at + 1);
  return at;
}

int32_t match_exact_code(context* ctx, uint32_t length, const char* text, char* out, uint32_t no_pad) {
  if (length == 0) {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "'length' is 0.");
    return TQ_ERR_ARGUMENT;
  }
  const uint32_t points = code_points_of(length);
  const uint32_t room = points * 4;
  char upper[kMatchTextSize];
  const int32_t rc = case_upper_with_defn(ctx, nullptr, text, upper, kMatchTextSize, 0, nullptr);
  if (rc < 0) return rc;
  uint32_t at = 0;
  uint32_t written = 0;
  bool full = false;
  const char* cursor = upper;
  while (*cursor != '\0' && written < points) {
    int32_t cp = 0;
    (void)uchar_get(&cursor, &cp);
    if (np_uchar_isspace(cp) != 0) continue;
    const int32_t wrote = np_uchar_intcopy(cp, out + at, room - at);
    if (wrote <= 0) {
      full = true;
      break;
    }
    at += static_cast<uint32_t>(wrote);
    ++written;
  }
  if (no_pad == 0 && !full) {
    for (; written < points && at < room; ++written) out[at++] = ' ';
  }
  out[at] = '\0';
  (void)match_encode(out);
  return 0;
}

// ---- The single-code road --------------------------------------------------------------------

int32_t match_engine_run(context* ctx, defn_rec* rec, match_work_area* area, const char* input,
                         const uint32_t* sens, uint32_t count, uint32_t convert, char* const* codes,
                         match_info* info) {
  match_area_hold hold(area);
  if (int32_t refused = hold.refused(ctx); refused < 0) return refused;
  // Whatever happens next, the info tells of this run only.
  if (info != nullptr) match_info_clear(info);
  int32_t rc = match_defn_ready(ctx, rec);
  if (rc < 0) return rc;
  caller_keep kept(ctx, area);
  rc = outputs_prefill(ctx, rec, count, codes, kept);
  if (rc < 0) return rc;
  match_prepared prep;
  rc = match_value_prepare(ctx, rec, area, input, info, 1, &prep);
  if (rc < 0) return rc;
  if (prep.whole_value != 0) {
    rc = whole_value_codes(ctx, rec, area->input, count, convert, codes);
    return rc < 0 ? rc : TQ_WARN_NO_SOLUTION;
  }
  try {
    rc = codes_compute(ctx, rec, area, sens, count, convert, codes, info);
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  if (rc < 0) return rc;
  return prep.no_solution != 0 ? TQ_WARN_NO_SOLUTION : 0;
}

int32_t match_engine_run_parsed(context* ctx, defn_rec* rec, match_work_area* area, const parse_token_slot* slots,
                                uint32_t slot_count, const uint32_t* sens, uint32_t count, uint32_t convert,
                                char* const* codes, match_info* info) {
  match_area_hold hold(area);
  if (int32_t refused = hold.refused(ctx); refused < 0) return refused;
  if (info != nullptr) match_info_clear(info);
  int32_t rc = defn_rec_check_usable(ctx, rec);
  if (rc < 0) return rc;
  if (match_defn_part(rec) == nullptr) return TQ_ERR_DEFN_INVALID;
  if (defn_rec_parsed_input_get(ctx, rec) == 0) return TQ_ERR_FAILED;
  if (int32_t refused = match_slot_count_check(ctx, slot_count); refused < 0) return refused;
  rc = match_defn_ready(ctx, rec);
  if (rc < 0) return rc;
  caller_keep kept(ctx, area);
  for (uint32_t i = 0; i < count; ++i) {
    if (codes[i] == nullptr) continue;
    if (int32_t k = kept.keep(codes[i], 4); k < 0) return k;
    strio_out_clear_n(ctx, codes[i], 4);
  }
  if (info != nullptr) match_info_clear(info);
  rc = outputs_prefill(ctx, rec, count, codes, kept);
  if (rc < 0) return rc;
  rc = match_parsed_prepare(ctx, rec, area, slots, slot_count, info, 1);
  if (rc < 0) return rc;
  try {
    rc = codes_compute(ctx, rec, area, sens, count, convert, codes, info);
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  return rc < 0 ? rc : 0;
}

caller_keep::caller_keep(context* ctx, match_work_area* area)
    : ctx_(ctx), store_(&area->kept), mark_(area->kept.size()),
      active_(ctx->read_holds > 0 && ctx->write_holds == 0) {}

// Each kept piece is stored as its bytes, then where they go and how many,
// so that the pieces are put back from the last: a byte kept twice gets the
// first (the caller's) value.
int32_t caller_keep::keep(void* at, size_t size) {
  if (!active_ || size == 0) return 0;
  const size_t from = store_->size();
  try {
    store_->resize(from + size + sizeof at + sizeof size);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  unsigned char* p = store_->data() + from;
  std::memcpy(p, at, size);
  std::memcpy(p + size, &at, sizeof at);
  std::memcpy(p + size + sizeof at, &size, sizeof size);
  return 0;
}

caller_keep::~caller_keep() {
  if (active_ && call_refused(ctx_)) {
    size_t end = store_->size();
    while (end > mark_) {
      const unsigned char* p = store_->data();
      void* at = nullptr;
      size_t size = 0;
      std::memcpy(&size, p + end - sizeof size, sizeof size);
      std::memcpy(&at, p + end - sizeof size - sizeof at, sizeof at);
      end -= size + sizeof at + sizeof size;
      std::memcpy(at, p + end, size);
    }
  }
  store_->resize(mark_);
}

int32_t match_area_hold::refused(context* ctx) const {
  if (ok_) return 0;
  TQ_REPORT(ctx, TQ_ERR_HOLD_NOT_HELD, 57, "The match engine's work area is already in use by this context.");
  return TQ_ERR_HOLD_NOT_HELD;
}

int32_t match_slot_count_check(context* ctx, uint32_t count) {
  if (count <= kParseSlots) return 0;
  TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "'num_tokens' is more than 32.");
  return TQ_ERR_ARGUMENT;
}

int32_t match_string_by_defn_index(context* ctx, int32_t index, const uint32_t* sens, uint32_t count,
                                   const char* input, uint32_t convert, char* const* codes, match_info* info) {
  match_work_area* area = nullptr;
  if (int32_t made = match_work_area_get(ctx, &area); made != 0) return made;
  if (area->depth != 0) return match_area_hold(area).refused(ctx);
  if (int32_t claimed = shared_state_write_claim_for(ctx, info); claimed != 0) return claimed;
  // The info tells of this call only, even when the definition is refused.
  if (info != nullptr) match_info_clear(info);
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, kDefnMatch, index, &rec);
  if (rc < 0) return rc;
  char text[kMatchTextSize];
  const int32_t in = strio_in(ctx, input, text, kMatchTextMax, (convert & kStrioConvert) | kStrioValue);
  if (in < 0) return in;
  rc = match_engine_run(ctx, rec, area, text, sens, count, convert, codes, info);
  if (rc < 0) return rc;
  return in > 0 ? in : rc;
}

int32_t match_parsed_by_defn_index(context* ctx, int32_t index, const uint32_t* sens, uint32_t count,
                                   const parse_token_slot* slots, uint32_t slot_count, uint32_t convert,
                                   char* const* codes, match_info* info) {
  match_work_area* area = nullptr;
  if (int32_t made = match_work_area_get(ctx, &area); made != 0) return made;
  if (area->depth != 0) return match_area_hold(area).refused(ctx);
  if (int32_t refused = match_slot_count_check(ctx, slot_count); refused < 0) return refused;
  if (int32_t claimed = shared_state_write_claim_for(ctx, info); claimed != 0) return claimed;
  if (info != nullptr) match_info_clear(info);
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, kDefnMatch, index, &rec);
  if (rc < 0) return rc;
  // The caller's slots go where a parse would put its own.
  int32_t in = 0;
  for (uint32_t k = 0; k < slot_count; ++k) {
    area->parsed[k].index = slots[k].index;
    rc = strio_in(ctx, slots[k].value, area->parsed[k].value, kMatchTextMax, (convert & kStrioConvert) | kStrioValue);
    if (rc < 0) return rc;
    if (rc > 0) in = rc;
  }
  rc = match_engine_run_parsed(ctx, rec, area, area->parsed, slot_count, sens, count, convert, codes, info);
  if (rc < 0) return rc;
  return in;
}

// ---- What schemes keyed by match codes use ---------------------------------------------------

namespace {

int32_t scheme_defn_index(context* ctx, const char* name, int32_t* index) {
  return defn_index_get_by_name(ctx, kDefnMatch, name, kDefnAnySurface, index);
}

int32_t scheme_defn_usable(context* ctx, int32_t index) {
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, kDefnMatch, index, &rec);
  if (rc < 0) return rc;
  rc = defn_rec_check_usable(ctx, rec);
  if (rc < 0) return rc;
  return match_defn_part(rec) != nullptr ? 0 : TQ_ERR_DEFN_INVALID;
}

int32_t scheme_defn_name(context* ctx, int32_t index, char* out, uint32_t size) {
  defn_rec* rec = nullptr;
  const int32_t rc = defn_record_get_for_read(ctx, kDefnMatch, index, &rec);
  if (rc < 0) return rc;
  str_copy_bounded(out, rec->name, size);
  return 0;
}

int32_t scheme_match_codes(context* ctx, int32_t index, const uint32_t* sens, uint32_t count, const char* text,
                           uint32_t convert, char** codes, void* info) {
  return match_string_by_defn_index(ctx, index, sens, count, text, convert, codes, static_cast<match_info*>(info));
}

}  // namespace

const scheme_match_ops kMatchSchemeOps{scheme_defn_index, scheme_defn_usable, scheme_defn_name,
                                       scheme_match_codes};

}  // namespace tq
