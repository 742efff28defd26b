#include "resources/krphtx.h"

#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "kbstore/krfield.h"
#include "kbstore/krlock.h"
#include "kbstore/krlocl.h"
#include "kbstore/krxml.h"
#include "resources/krrsctx.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr const char* kDocType = "phonetx";
constexpr const char* kDocVersion = "7.0";
constexpr const char* kPropGroup = "9.0";
// The columns, read by position.
constexpr const char* kColumns[] = {"search_for", "replace_with", "priority", "flags"};
constexpr uint32_t kColumnTypes[] = {kXmlColString, kXmlColString, kXmlColInt, kXmlColInt};
constexpr int32_t kColumnCount = 4;
// Saved texts: 1,024 bytes and the terminator.
constexpr uint32_t kSavedTextSize = 1025;
constexpr uint32_t kNameMax = 4096;
constexpr uint32_t kRuleTextMax = 1024;
constexpr uint32_t kFolderMax = 16384;

phonetx_rec* rec_new(const char* name) {
  auto* rec = static_cast<phonetx_rec*>(np_calloc(1, sizeof(phonetx_rec)));
  if (rec == nullptr) return nullptr;
  locale_info_clear(&rec->locale);
  vault_info_clear(&rec->vault);
  px_ruleset_init(&rec->rules, name);
  return rec;
}

void rec_delete(phonetx_rec* rec) {
  if (rec == nullptr) return;
  px_machine_free(rec->rules.machine);
  rec->rules.machine = nullptr;
  px_rules_free(&rec->rules);
  std::free(rec);
}

// Fields are read by position, so a rule-set document must have exactly
// the four columns with their types.
bool columns_ok(const xmldoc* doc) {
  if (doc->column_count != kColumnCount) return false;
  for (int32_t c = 0; c < kColumnCount; ++c) {
    if (doc->columns[c].type != kColumnTypes[c]) return false;
  }
  return true;
}

// A record that holds a rule (empty records hold none).
bool record_used(const xmldoc* doc, int32_t r) {
  const xmldoc_record& rec = doc->records[r];
  return rec.key != nullptr && rec.fields != nullptr;
}

const char* field_text(const xmldoc* doc, int32_t r, int32_t c) {
  const char* text = doc->records[r].fields[c].text;
  return text != nullptr ? text : "";
}

// A number past int32 reads as none: the set that holds one is refused.
int32_t field_number(const xmldoc* doc, int32_t r, int32_t c) {
  return xmldoc_field_number(&doc->records[r].fields[c], 0);
}

// Reads the document into a new compiled record.
int32_t read_document(context* ctx, resource_slot* slot, phonetx_rec** out, const fio_place* held) {
  *out = nullptr;
  std::unique_ptr<phonetx_rec, void (*)(phonetx_rec*)> rec(rec_new(slot->name), rec_delete);
  if (rec == nullptr) return TQ_ERR_NO_MEMORY;
  xmldoc_ptr doc = xmldoc_owned(ctx);
  xmldoc* read = nullptr;
  int32_t rc = held != nullptr ? xmldoc_read_place(ctx, *held, kXmlFlagVault | kXmlFlagNameAsGiven, &read)
                               : xmldoc_read(ctx, slot->name, kXmlFlagVault, &read);
  doc.reset(read);
  if (rc < 0) return rc;
  slot->read.version = doc->read_from;
  (void)rsrc_version_read(ctx, slot, doc.get());
  (void)rsrc_owner_read(ctx, slot, doc.get());
  rc = locale_info_read(ctx, doc.get(), &rec->locale);
  if (rc < 0) {
    TQ_REPORT(ctx, rc, 111, static_cast<const char*>(slot->name), rc);
  } else {
    rc = 0;
    vault_info_read(doc.get(), &rec->vault);
    if (!columns_ok(doc.get())) rc = TQ_ERR_INVALID_CONTENT;
  }
  if (rc == 0) rc = number_past_refuse(ctx, doc.get(), number_owner{"phonetics rule set", slot->name, false});
  for (int32_t r = 0; rc == 0 && r < doc->record_count; ++r) {
    if (!record_used(doc.get(), r)) continue;
    // Rules from a file keep their priority as written.
    rc = px_rule_intake(ctx, &rec->rules, field_text(doc.get(), r, 0), field_text(doc.get(), r, 1),
                        field_number(doc.get(), r, 2), static_cast<uint32_t>(field_number(doc.get(), r, 3)));
  }
  doc.reset();
  if (rc == 0) rc = px_compile(ctx, &rec->rules);
  if (rc < 0) return rc;
  *out = rec.release();
  return 0;
}

// Whether a path names a vault file (".zel" or ".krd"), which is written
// enciphered.
bool is_vault_path(const char* path) {
  size_t n = std::strlen(path);
  if (n < 4) return false;
  const char* ext = path + n - 4;
  return strcasecmp(ext, ".zel") == 0 || strcasecmp(ext, ".krd") == 0;
}

// Builds the document of a set: negative on failure (-1 for the document
// layer, the locale writer's own code).
int32_t document_build(context* ctx, const resource_slot* slot, const phonetx_rec* rec, xmldoc** out) {
  *out = nullptr;
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, kDocType, kDocVersion, &doc);
  if (rc < 0) return rc == TQ_ERR_NO_MEMORY ? rc : -1;
  if (slot->version[0] != '\0') rc = xmldoc_prop_add_grouped(ctx, doc, kPropGroup, "Version", slot->version);
  if (rc >= 0 && slot->owner[0] != '\0') rc = xmldoc_prop_add_grouped(ctx, doc, kPropGroup, "Owner", slot->owner);
  if (rc < 0) rc = rc == TQ_ERR_NO_MEMORY ? rc : -1;
  if (rc >= 0) rc = locale_info_write(ctx, &rec->locale, doc);
  if (rc >= 0 && vault_info_write(doc, &rec->vault) < 0) rc = TQ_ERR_NO_MEMORY;
  for (int32_t c = 0; rc >= 0 && c < kColumnCount; ++c) {
    rc = xmldoc_column_add(ctx, doc, kColumns[c], kColumnTypes[c]);
    if (rc < 0) rc = rc == TQ_ERR_NO_MEMORY ? rc : -1;
  }
  char pattern[kSavedTextSize];
  char replacement[kSavedTextSize];
  for (uint32_t i = 0; rc >= 0 && i < rec->rules.rule_count; ++i) {
    const px_rule* rule = rec->rules.rules[i];
    if (rule->generated) continue;
    // A blank pattern is saved as it was given.
    px_encode(rule->given_pattern != nullptr ? rule->given_pattern : rule->pattern, pattern, sizeof pattern);
    px_encode(rule->replacement, replacement, sizeof replacement);
    xmldoc_field fields[kColumnCount];
    fields[0].type = kXmlColString;
    fields[0].text = pattern;
    fields[1].type = kXmlColString;
    fields[1].text = replacement;
    fields[2].type = kXmlColInt;
    fields[2].number = rule->given_priority;
    fields[3].type = kXmlColInt;
    fields[3].number = static_cast<int32_t>(rule->flags);
    int32_t added = xmldoc_record_add(ctx, doc, nullptr, nullptr, fields);
    if (added < 0) rc = added == TQ_ERR_NO_MEMORY ? added : -1;
  }
  if (rc < 0) {
    xml_free(ctx, doc);
    return rc;
  }
  *out = doc;
  return 0;
}

phonetx_edit_session* session_of(context* ctx, bool make) {
  if (ctx->phonetx_edit == nullptr && make) {
    auto* session = static_cast<phonetx_edit_session*>(np_calloc(1, sizeof(phonetx_edit_session)));
    if (session == nullptr) return nullptr;
    locale_info_clear(&session->locale);
    ctx->phonetx_edit = session;
  }
  return ctx->phonetx_edit;
}

void session_clear(phonetx_edit_session* session) {
  for (uint32_t i = 0; i < session->count; ++i) {
    std::free(session->rules[i].search);
    std::free(session->rules[i].replace);
  }
  std::free(session->rules);
  session->rules = nullptr;
  session->count = 0;
  locale_info_clear(&session->locale);
  session->held = lock_ref{};
  session->name[0] = '\0';
}

// Reads the rules of a document into a new table.
int32_t session_table_read(const xmldoc* doc, phonetx_edit_rule** out, uint32_t* count) {
  *out = nullptr;
  *count = 0;
  if (doc->record_count <= 0) return 0;
  auto* rules = static_cast<phonetx_edit_rule*>(
      np_calloc(static_cast<size_t>(doc->record_count), sizeof(phonetx_edit_rule)));
  if (rules == nullptr) return TQ_ERR_NO_MEMORY;
  uint32_t n = 0;
  for (int32_t r = 0; r < doc->record_count; ++r) {
    if (!record_used(doc, r)) continue;
    phonetx_edit_rule* rule = &rules[n++];
    rule->search = str_dup(field_text(doc, r, 0));
    rule->replace = str_dup(field_text(doc, r, 1));
    rule->priority = field_number(doc, r, 2);
    rule->flags = static_cast<uint32_t>(field_number(doc, r, 3));
    if (rule->search == nullptr || rule->replace == nullptr) {
      for (uint32_t i = 0; i < n; ++i) {
        std::free(rules[i].search);
        std::free(rules[i].replace);
      }
      std::free(rules);
      return TQ_ERR_NO_MEMORY;
    }
  }
  *out = rules;
  *count = n;
  return 0;
}

// The byte length of a text in the session encoding.
uint32_t session_text_length(const context* ctx, const char* text, uint32_t max) {
  if (strio_terminator_size(ctx) == 1) return static_cast<uint32_t>(strnlen(text, max + 1));
  uint32_t n = 0;
  while (n + 1 < max + 2 && (text[n] != 0 || text[n + 1] != 0)) n += 2;
  return n;
}

}  // namespace

// ---- The resource kind -------------------------------------------------------------

int32_t phonetx_rsrc_load(context* ctx, resource_slot* slot, lock_handle* lock, uintptr_t arg) {
  (void)lock;
  (void)arg;
  if (slot == nullptr) return TQ_ERR_ARGUMENT;
  // The rule set the context's edit session read through its lock is read
  // from that file, not from wherever its name leads by now, and is saved
  // to it: the session's rules and the set saved come from one file.
  const phonetx_edit_session* session = session_of(ctx, false);
  fio_place place;
  const bool edited = session != nullptr && rsrc_same_name(kRsrcPhonetx, session->name, slot->name) &&
                      lock_ref_live(session->held, &place);
  phonetx_rec* rec = nullptr;
  int32_t rc = read_document(ctx, slot, &rec, edited ? &place : nullptr);
  if (rc < 0) return rc;
  slot->part = rec;
  slot->read.ref = edited ? session->held : lock_ref{};
  return 0;
}

int32_t phonetx_rsrc_free(context* ctx, resource_slot* slot, uintptr_t arg) {
  (void)ctx;
  (void)arg;
  if (slot == nullptr) return 0;
  rec_delete(static_cast<phonetx_rec*>(slot->part));
  slot->part = nullptr;
  return 0;
}

int32_t phonetx_get(context* ctx, int32_t index, phonetx_rec** out) {
  return rsrc_part_get(ctx, kRsrcPhonetx, index, out);
}

int32_t phonetx_get_for_edit(context* ctx, int32_t index, resource_slot** slot, phonetx_rec** out) {
  return rsrc_part_get_for_edit(ctx, kRsrcPhonetx, index, out, slot);
}

int32_t phonetx_load_by_name(context* ctx, const char* name, int32_t* index) {
  rsrc_callbacks cb{};
  cb.load = phonetx_rsrc_load;
  cb.free = phonetx_rsrc_free;
  int32_t rc = rsrc_register(ctx, kRsrcPhonetx, name, &cb, index);
  return rc == TQ_WARN_ALREADY_REGISTERED ? 0 : rc;
}

int32_t phonetx_run(context* ctx, const phonetx_rec* set, const char* input, char* output) {
  output[0] = '\0';
  if (set == nullptr) return -1;
  phonetx_work* work = nullptr;
  const int32_t rc = phonetx_work_get(ctx, &work);
  if (rc != 0) return rc;
  return px_run(ctx, &set->rules, work, input, output, kPxOutputMax);
}

void phonetx_edit_session_free(context* ctx) {
  if (ctx == nullptr || ctx->phonetx_edit == nullptr) return;
  session_clear(ctx->phonetx_edit);
  std::free(ctx->phonetx_edit);
  ctx->phonetx_edit = nullptr;
}

// ---- Export implementations ---------------------------------------------------------

// A client's load, counted as its own (the registry's client loads).
int32_t phonetx_load(context* ctx, const char* name, int32_t* index) {
  *index = -1;
  char text[kNameMax + 1];
  int32_t crc = strio_in(ctx, name, text, kNameMax, kStrioConvert);
  if (crc < 0) return crc;
  return rsrc_client_load(ctx, kRsrcPhonetx, index,
                          [&] { return rc_combine(phonetx_load_by_name(ctx, text, index), crc); });
}

namespace {

int32_t create(context* ctx, const char* name, int32_t* index) {
  *index = -1;
  char text[kNameMax + 1];
  int32_t crc = strio_in(ctx, name, text, kNameMax, kStrioConvert);
  if (crc < 0) return crc;
  rsrc_callbacks cb{};
  cb.free = phonetx_rsrc_free;
  int32_t slot_index = -1;
  int32_t rc = rsrc_slot_create(ctx, kRsrcPhonetx, text, 0, &cb, &slot_index);
  if (rc != 0) return rc;
  resource_slot* slot = nullptr;
  rc = rsrc_slot_get(ctx, kRsrcPhonetx, slot_index, 1, &slot);
  if (rc != 0) return rc;
  write_hold hold = write_hold::adopt(ctx);  // rsrc_slot_get returned holding it
  phonetx_rec* rec = rec_new(slot->name);
  if (rec == nullptr) {
    (void)hold.release();
    (void)rsrc_release(ctx, slot);
    return TQ_ERR_NO_MEMORY;
  }
  // A set made here takes the current locale, when there is one, so that
  // once saved it can be read again.
  locale_info_from_current(ctx, &rec->locale);
  slot->part = rec;
  rc = hold.release();
  *index = slot_index;
  return rc_combine(rc, crc);
}

}  // namespace

// What is created is the client's load, as a load by name is.
int32_t phonetx_create(context* ctx, const char* name, int32_t* index) {
  return rsrc_client_load(ctx, kRsrcPhonetx, index, [&] { return create(ctx, name, index); });
}

int32_t phonetx_rule_add(context* ctx, int32_t index, const char* rule_text, const char* replace_text,
                         int32_t priority, uint32_t flags, int32_t* rule_index) {
  *rule_index = -1;
  // Priorities given here are held to 10..90 (5 stores 10), while rules read
  // from a file keep theirs, so that saved rule sets give the same codes.
  priority = std::clamp(priority, kPhonetxPriorityMin, kPhonetxPriorityMax);
  char pattern[kRuleTextMax + 1];
  char replacement[kRuleTextMax + 1];
  int32_t crc = strio_in(ctx, rule_text, pattern, kRuleTextMax, kStrioConvert);
  if (crc < 0) return crc;
  crc = rc_combine(crc, strio_in(ctx, replace_text, replacement, kRuleTextMax, kStrioConvert));
  if (crc < 0) return crc;
  resource_slot* slot = nullptr;
  phonetx_rec* rec = nullptr;
  int32_t rc = phonetx_get_for_edit(ctx, index, &slot, &rec);
  if (rc != 0) return rc;
  write_hold hold = write_hold::adopt(ctx);  // phonetx_get_for_edit returned holding it
  rc = px_rule_intake(ctx, &rec->rules, pattern, replacement, priority, flags);
  // A compiled set's machine lacks the new rule: the set is editable again
  // and runs once prepared with every rule, as its file would be read. The
  // set is reopened only once the rule is in, so that a refused rule leaves
  // it compiled.
  if (rc == 0) px_reopen(&rec->rules);
  if (rc == 0) *rule_index = static_cast<int32_t>(rec->rules.rule_count) - 1;
  int32_t released = hold.release();
  if (rc < 0) return rc;
  return rc_combine(released, crc);
}

int32_t phonetx_prepare(context* ctx, int32_t index) {
  resource_slot* slot = nullptr;
  phonetx_rec* rec = nullptr;
  int32_t rc = phonetx_get_for_edit(ctx, index, &slot, &rec);
  if (rc != 0) return rc;
  write_hold hold = write_hold::adopt(ctx);  // phonetx_get_for_edit returned holding it
  rc = px_compile(ctx, &rec->rules);
  int32_t released = hold.release();
  return rc != 0 ? rc : released;
}

namespace {

// A set is compiled when its file is read: its rules are taken and
// compiled here as the reader will take them, from their saved texts, so
// that a set the reader would refuse (rules that cannot go together) is not
// written. Compiled sets are tried too: what is written is the rule list,
// and its texts as saved, not the machine.
int32_t compiles_when_read(context* ctx, const phonetx_rec* rec) {
  px_ruleset trial;
  px_ruleset_init(&trial, rec->rules.name);
  char pattern[kSavedTextSize];
  char replacement[kSavedTextSize];
  int32_t rc = 0;
  for (uint32_t i = 0; rc == 0 && i < rec->rules.rule_count; ++i) {
    const px_rule* rule = rec->rules.rules[i];
    if (rule->generated) continue;
    px_encode(rule->given_pattern != nullptr ? rule->given_pattern : rule->pattern, pattern, sizeof pattern);
    px_encode(rule->replacement, replacement, sizeof replacement);
    rc = px_rule_intake(ctx, &trial, pattern, replacement, rule->given_priority, rule->flags);
  }
  if (rc == 0) rc = px_compile(ctx, &trial);
  px_machine_free(trial.machine);
  px_rules_free(&trial);
  return rc;
}

}  // namespace

int32_t phonetx_save(context* ctx, int32_t index, tq_lock_handle* lock) {
  phonetx_rec* rec = nullptr;
  int32_t rc = phonetx_get(ctx, index, &rec);
  if (rc != 0) return rc;
  resource_slot* slot = nullptr;
  rc = rsrc_slot_get_used(ctx, kRsrcPhonetx, index, &slot);
  if (rc != 0) return rc;
  // A rule set without a valid locale would be written but could never be
  // loaded again: refuse it, as the other resources do.
  if (!locale_table_contains(rec->locale.code) || rec->locale.iso[0] == '\0' ||
      rec->locale.description[0] == '\0') {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1702, static_cast<const char*>(slot->name));
    return TQ_ERR_INVALID_CONTENT;
  }
  // The rule set's own file, which the handle must lock.
  fio_place place;  // the file the lock holds
  rc = rsrc_save_place(ctx, slot, lock, &place);
  if (rc != 0) return rc;
  rc = compiles_when_read(ctx, rec);
  if (rc < 0) return rc;
  xmldoc* doc = nullptr;
  rc = document_build(ctx, slot, rec, &doc);
  if (rc < 0) return rsrc_save_build_failed(ctx, slot, rc);
  const xmldoc_ptr owned = xmldoc_owned(ctx, doc);
  return xml_write_place(ctx, place, is_vault_path(place.path) ? kXmlFlagVault : 0, doc);
}

int32_t phonetx_execute(context* ctx, int32_t index, const char* input, char* result, uint32_t size) {
  strio_out_clear_n(ctx, result, size);
  // size is the whole buffer: the text and the session encoding's terminator.
  uint32_t term = strio_terminator_size(ctx);
  if (size < term) return TQ_ERR_ARGUMENT;
  uint32_t max = std::min(size - term, kPxOutputMax);
  char in[kRuleTextMax + 1];
  int32_t rc_in = strio_in_1024(ctx, input, in, kStrioConvert | kStrioValue);
  if (rc_in < 0) return rc_in;
  phonetx_rec* rec = nullptr;
  int32_t rc = phonetx_get(ctx, index, &rec);
  if (rc != 0) return rc;
  phonetx_work* work = nullptr;
  rc = phonetx_work_get(ctx, &work);
  if (rc != 0) return rc;
  char out[kPhonetxRunSize];
  int32_t rc_run = px_run(ctx, &rec->rules, work, in, out, kPxOutputMax);
  if (rc_run < 0) return rc_run;
  // The caller's limit counts bytes of the session encoding, where the text
  // may be shorter or longer than in UTF-8: a result that does not fit is
  // cut there, between characters, and reported as the engine reports its
  // own cut. Every encoding takes at most four bytes for a UTF-8 byte.
  constexpr uint32_t kWide = 4 * kPxOutputMax;
  int32_t rc_out = 0;
  if (4 * static_cast<uint32_t>(std::strlen(out)) <= max) {
    // Fits whatever the encoding: converted straight into the result.
    rc_out = strio_out(ctx, out, result, max, kStrioConvert);
  } else {
    char wide[kWide + 2];
    rc_out = strio_out(ctx, out, wide, kWide, kStrioConvert);
    uint32_t length = rc_out >= 0 ? session_text_length(ctx, wide, kWide) : 0;
    if (rc_out >= 0 && length <= max) {
      std::memcpy(result, wide, length + term);
    } else if (rc_out >= 0) {
      rc_out = strio_out(ctx, out, result, max, kStrioConvert);
      if (rc_out >= 0 && rc_run != TQ_WARN_PHONETICS_CUT) {
        TQ_REPORT(ctx, TQ_WARN_PHONETICS_CUT, 1485, static_cast<const char*>(rec->rules.name));
        rc_run = TQ_WARN_PHONETICS_CUT;
      }
    }
  }
  if (rc_out < 0) {
    strio_out_clear_n(ctx, result, size);
    return rc_out;
  }
  if (rc_run > 0) return rc_run;
  return rc_in > 0 ? rc_in : rc_out;
}

int32_t phonetx_edit_new(context* ctx, const char* path, const char* name, tq_lock_handle* lock) {
  std::string folder;
  char file[kNameMax + 1];
  int32_t rc_path = xmldoc_file_folder_in(ctx, path, kFolderMax, &folder);
  int32_t rc_name = rc_path < 0 ? 0 : strio_in(ctx, name, file, kNameMax, kStrioConvert);
  int32_t rc = rc_combine(rc_path, rc_name);
  if (rc >= 0) {
    rc = rc_combine(rc, xmldoc_file_create(ctx, folder.empty() ? nullptr : folder.c_str(), file, kXmlFlagVault, lock));
  }
  return rc;
}

int32_t phonetx_edit(context* ctx, const char* name, tq_lock_handle* lock) {
  char text[kNameMax + 1];
  int32_t crc = strio_in(ctx, name, text, kNameMax, kStrioConvert);
  if (crc < 0) return crc;
  phonetx_edit_session* session = session_of(ctx, true);
  if (session == nullptr) return TQ_ERR_NO_MEMORY;
  // The file is read into a session of its own, which replaces the one
  // there only once it is whole: a file that cannot be read leaves the
  // rules read before.
  phonetx_edit_session read{};
  locale_info_clear(&read.locale);
  // The handle may lock other files for the caller: a failure gives back
  // only what this edit took.
  lock_mark_guard taken(ctx, lock);
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_read_for_edit(ctx, text, kXmlFlagVault, lock, &doc, &read.held);
  if (rc < 0) return rc;
  rc = locale_info_read(ctx, doc, &read.locale);
  if (rc >= 0 && !columns_ok(doc)) rc = TQ_ERR_INVALID_CONTENT;
  if (rc >= 0) rc = rc_combine(rc, number_past_refuse(ctx, doc, number_owner{"phonetics rule set", text, false}));
  if (rc >= 0) rc = session_table_read(doc, &read.rules, &read.count);
  xml_free(ctx, doc);
  if (rc < 0) {
    session_clear(&read);
    return rc;
  }
  taken.keep();
  session_clear(session);
  *session = read;
  str_copy_bounded(session->name, text, sizeof session->name);
  return crc;
}

int32_t phonetx_edit_rule_count_get(context* ctx, uint32_t* count) {
  const phonetx_edit_session* session = session_of(ctx, false);
  *count = session != nullptr ? session->count : 0;
  return 0;
}

int32_t phonetx_edit_rule_get(context* ctx, int32_t index, char* rule_text, char* replace_text, int32_t* priority,
                              uint32_t* flags) {
  strio_out_clear(ctx, rule_text);
  strio_out_clear(ctx, replace_text);
  *priority = kPhonetxPriorityDefault;
  *flags = 0;
  const phonetx_edit_session* session = session_of(ctx, false);
  uint32_t count = session != nullptr ? session->count : 0;
  if (index < 0 || static_cast<uint32_t>(index) >= count) return TQ_ERR_INDEX;
  const phonetx_edit_rule& rule = session->rules[index];
  int32_t rc_rule = strio_out_1028(ctx, rule.search, rule_text, kStrioConvert);
  if (rc_rule < 0) return rc_rule;
  int32_t rc_repl = strio_out_1028(ctx, rule.replace, replace_text, kStrioConvert);
  if (rc_repl < 0) return rc_repl;
  *priority = rule.priority;
  *flags = rule.flags;
  return rc_combine(rc_rule, rc_repl);
}

int32_t phonetx_edit_locale_info_get(context* ctx, char* iso, char* desc, int32_t* code) {
  strio_out_clear(ctx, iso);
  strio_out_clear(ctx, desc);
  locale_info none;
  locale_info_clear(&none);
  const phonetx_edit_session* session = session_of(ctx, false);
  return locale_info_get(ctx, session != nullptr ? &session->locale : &none, iso, desc, code, kStrioConvert);
}

int32_t phonetx_edit_free(context* ctx) {
  phonetx_edit_session* session = session_of(ctx, false);
  if (session != nullptr) session_clear(session);
  return 0;
}

}  // namespace tq
