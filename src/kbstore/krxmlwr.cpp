// The krxml writer (files are replaced through the file layer's
// fio_write_replacing) and the context's table of kept newer sections.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krhash.h"
#include "core/krstr.h"
#include "core/krvec.h"
#include "kbstore/krvlt.h"
#include "kbstore/krxml.h"
#include "kbstore/krxmlpriv.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr uint32_t kIndentMax = 64;
constexpr size_t kFlushAt = 1 << 16;
constexpr const char* kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE krxml SYSTEM \"krxml.dtd\">\n<krxml>\n";
constexpr const char* kFooter = "</krxml>\n";
constexpr const char* kColumnTypes[] = {"NULL", "string", "int"};

// Where the output goes: collected in a buffer, written in large pieces,
// through the line cipher for a vault file.
struct sink {
  fio_handle* fh = nullptr;
  bool vault = false;
  cipher_state cipher{};
  std::string buf;
  int32_t rc = 0;
  context* ctx = nullptr;
  const char* path = nullptr;  // the file, for the message of a refused text

  // Bytes below 0x20 other than tab, LF and CR never reach the file; the
  // runs between them go in whole.
  void put(const char* s, size_t n) {
    size_t run = 0;
    for (size_t k = 0; k < n; ++k) {
      auto c = static_cast<unsigned char>(s[k]);
      if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') continue;
      buf.append(s + run, k - run);
      run = k + 1;
    }
    put_clean(s + run, n - run);
  }
  // Bytes known to hold none of those.
  void put_clean(const char* s, size_t n) {
    buf.append(s, n);
    if (buf.size() >= kFlushAt) flush();
  }
  void put(const char* s) { put(s, std::strlen(s)); }

  void write_out(const std::string& bytes) {
    if (rc != 0 || bytes.empty()) return;
    if (fio_putb(fh, bytes.data(), static_cast<uint32_t>(bytes.size())) < 0) rc = TQ_ERR_FILE_WRITE;
  }

  void flush() {
    if (!vault) {
      write_out(buf);
      buf.clear();
      return;
    }
    std::string lines;
    char line[kCipherLineSize];
    size_t off = 0;
    while (off < buf.size()) {
      int32_t ready = 0;
      int32_t took = cipher_line_encode(&cipher, buf.data() + off, static_cast<uint32_t>(buf.size() - off), line, &ready);
      off += static_cast<size_t>(took);
      if (ready) lines.append(line);
    }
    buf.clear();
    write_out(lines);
  }

  void finish() {
    flush();
    if (!vault) return;
    char line[kCipherLineSize];
    int32_t ready = 0;
    cipher_line_encode(&cipher, nullptr, 0, line, &ready);
    if (ready) write_out(line);
  }
};

void indent(sink& s, uint32_t n) {
  static const char spaces[kIndentMax + 1] = "                                                                ";
  s.put(spaces, n < kIndentMax ? n : kIndentMax);
}

// A text the reader would refuse or read back changed (text_flaw_find)
// stops the write: the setters refuse such texts, but one may come another
// way (a compiled vocabulary's words). Nothing after it reaches the file,
// and the failure leaves the file as it was.
bool refused(sink& s, const char* text) {
  text_flaw flaw{};
  if (!text_flaw_find(text, &flaw)) return false;
  if (s.rc == 0) {
    // Up to 40 bytes before the flaw, from a character's start.
    constexpr uint32_t kBefore = 40;
    uint32_t from = flaw.offset > kBefore ? flaw.offset - kBefore : 0;
    while (from < flaw.offset && (static_cast<unsigned char>(text[from]) & 0xC0) == 0x80) ++from;
    const std::string before(text + from, flaw.offset - from);
    const text_flaw_words words = text_flaw_describe(flaw);
    TQ_REPORT(s.ctx, TQ_ERR_INVALID_CONTENT, 1931, s.path != nullptr ? s.path : "", static_cast<const char*>(words.what),
              flaw.character, before.c_str(), words.why);
    s.rc = TQ_ERR_INVALID_CONTENT;
  }
  return true;
}

// The bytes put_escaped writes as references: the five markup characters
// and the control bytes.
constexpr std::array<bool, 256> kEscaped = [] {
  std::array<bool, 256> t{};
  for (unsigned c = 0; c < t.size(); ++c) {
    t[c] = c < 0x20 || c == 0x7F || c == '&' || c == '\'' || c == '"' || c == '<' || c == '>';
  }
  return t;
}();

// The five markup characters as entities; control bytes as characters of
// U+10FF00..U+10FF7F, which the reader turns back into the bytes. The runs
// between them go to the sink whole: a long text is mostly such runs.
void put_escaped(sink& s, const char* text) {
  if (text == nullptr || refused(s, text)) return;
  const char* run = text;
  for (const char* p = text;; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (!kEscaped[c]) continue;
    s.put_clean(run, static_cast<size_t>(p - run));
    if (c == '\0') return;
    run = p + 1;
    switch (c) {
      case '&': s.put_clean("&amp;", 5); break;
      case '\'': s.put_clean("&apos;", 6); break;
      case '"': s.put_clean("&quot;", 6); break;
      case '<': s.put_clean("&lt;", 4); break;
      case '>': s.put_clean("&gt;", 4); break;
      default: {
        char ref[16];
        const int n = std::snprintf(ref, sizeof ref, "&#x%06x;", 0x10FF00u + c);
        s.put_clean(ref, static_cast<size_t>(n));
      }
    }
  }
}

void start_tag(sink& s, const char* name, const char* attr = nullptr, const char* value = nullptr) {
  s.put("<");
  s.put(name);
  if (attr != nullptr) {
    s.put(" ");
    s.put(attr);
    s.put("=\"");
    put_escaped(s, value);
    s.put("\"");
  }
  s.put(">");
}

void end_tag(sink& s, const char* name) {
  s.put("</");
  s.put(name);
  s.put(">");
}

int32_t write_doc(sink& s, const xmldoc* d, uint32_t at) {
  indent(s, at);
  s.put("<file type=\"");
  put_escaped(s, d->type);
  s.put("\" version=\"");
  put_escaped(s, d->version);
  s.put("\">\n");

  for (int32_t i = 0; i < d->prop_count; ++i) {
    indent(s, at + 4);
    start_tag(s, "property", "name", d->props[i].name);
    put_escaped(s, d->props[i].value);
    end_tag(s, "property");
    s.put("\n");
  }

  for (int32_t i = 0; i < d->include_count; ++i) {
    const xmldoc_include& inc = d->includes[i];
    indent(s, at + 4);
    start_tag(s, "include", "name", inc.name);
    if (inc.kind == kXmlIncludeRef) {
      start_tag(s, "ref");
      put_escaped(s, inc.file_name);
      end_tag(s, "ref");
      end_tag(s, "include");
      s.put("\n");
    } else if (inc.kind == kXmlIncludeInline && inc.doc != nullptr) {
      s.put("\n");
      if (int32_t rc = write_doc(s, inc.doc, at + 8); rc != 0) return rc;
      indent(s, at + 4);
      end_tag(s, "include");
      s.put("\n");
    } else {
      return -1;
    }
  }

  int32_t kept = 0;
  for (int32_t r = 0; r < d->record_count; ++r) {
    if (d->records[r].key != nullptr) ++kept;
  }
  char number[kIntTextSize];
  indent(s, at + 4);
  start_tag(s, "data", "length", str_from_int(kept, number));
  s.put("\n");

  if (d->column_count > 0) {
    indent(s, at + 8);
    start_tag(s, "layout", "width", str_from_int(d->column_count, number));
    s.put("\n");
    for (int32_t c = 0; c < d->column_count; ++c) {
      uint32_t type = d->columns[c].type;
      if (type > kXmlColInt) return -1;
      indent(s, at + 12);
      start_tag(s, "column", "type", kColumnTypes[type]);
      put_escaped(s, d->columns[c].name);
      end_tag(s, "column");
      s.put("\n");
    }
    indent(s, at + 8);
    end_tag(s, "layout");
    s.put("\n");
  }

  for (int32_t r = 0; r < d->record_count; ++r) {
    const xmldoc_record& rec = d->records[r];
    if (rec.key == nullptr) continue;
    indent(s, at + 8);
    if (rec.key[0] != '\0') {
      start_tag(s, "record", "key", rec.key);
    } else {
      start_tag(s, "record");
    }
    if (d->column_count == 0) {
      if (rec.value != nullptr) {
        start_tag(s, "value");
        put_escaped(s, rec.value);
        end_tag(s, "value");
      }
      end_tag(s, "record");
      s.put("\n");
      continue;
    }
    s.put("\n");
    for (int32_t c = 0; c < d->column_count; ++c) {
      indent(s, at + 12);
      start_tag(s, "field", "column", d->columns[c].name);
      const xmldoc_field* f = rec.fields != nullptr ? &rec.fields[c] : nullptr;
      uint32_t type = f != nullptr ? f->type : d->columns[c].type;
      if (type == kXmlColString || type == kXmlColPast) {
        // A number past int32 as its file wrote it.
        put_escaped(s, f != nullptr ? f->text : "");
      } else if (type == kXmlColInt) {
        put_escaped(s, str_from_int(f != nullptr ? f->number : 0, number));
      } else {
        return -1;
      }
      end_tag(s, "field");
      s.put("\n");
    }
    if (rec.value != nullptr) {
      indent(s, at + 12);
      start_tag(s, "value");
      put_escaped(s, rec.value);
      end_tag(s, "value");
      s.put("\n");
    }
    indent(s, at + 8);
    end_tag(s, "record");
    s.put("\n");
  }

  indent(s, at + 4);
  end_tag(s, "data");
  s.put("\n");
  indent(s, at);
  end_tag(s, "file");
  s.put("\n");
  return s.rc;
}

// ---- Kept newer sections -------------------------------------------------------------

// One step of a stash key: the include's name, its document's type and
// "Name" property.
std::string key_segment(context* ctx, const xmldoc_include& inc) {
  std::string seg;
  seg.push_back('\x01');
  seg += inc.name;
  seg.push_back('\x01');
  seg += inc.doc->type;
  seg.push_back('\x02');
  seg += xmldoc_prop_get(ctx, inc.doc, "Name");
  return seg;
}

struct key_step {
  std::string name;
  std::string type;
  std::string value;
};

// The steps of a key after the file's base name.
std::vector<key_step> key_steps(const char* key, size_t length, size_t start) {
  std::vector<key_step> steps;
  size_t i = start;
  while (i < length && key[i] == '\x01') {
    key_step st;
    size_t j = ++i;
    while (j < length && key[j] != '\x01') ++j;
    st.name.assign(key + i, j - i);
    i = j + 1;
    j = i;
    while (j < length && key[j] != '\x02') ++j;
    st.type.assign(key + i, j - i);
    i = j + 1;
    j = i;
    while (j < length && key[j] != '\x01') ++j;
    st.value.assign(key + i, j - i);
    i = j;
    steps.push_back(std::move(st));
  }
  return steps;
}

bool key_has_prefix(const hash_entry* e, const std::string& prefix) {
  return static_cast<size_t>(e->key_length) >= prefix.size() &&
         std::memcmp(e->key, prefix.data(), prefix.size()) == 0;
}

vec* entry_docs(const hash_entry* e) { return reinterpret_cast<vec*>(e->value[0]); }

// Whether any kept section belongs to the file of this base name.
bool stash_has_file(context* ctx, const std::string& prefix) {
  if (ctx == nullptr || ctx->xml_stash == nullptr) return false;
  for (const hash_entry* e = ctx->xml_stash->list; e != nullptr; e = e->next) {
    if (key_has_prefix(e, prefix) && vec_count(entry_docs(e)) > 0) return true;
  }
  return false;
}

// Appends copies of the kept sections of this file to their places in doc.
int32_t stash_attach(context* ctx, const std::string& prefix, xmldoc* doc) {
  for (const hash_entry* e = ctx->xml_stash->list; e != nullptr; e = e->next) {
    if (!key_has_prefix(e, prefix)) continue;
    vec* docs = entry_docs(e);
    if (vec_count(docs) == 0) continue;
    auto steps = key_steps(static_cast<const char*>(e->key), static_cast<size_t>(e->key_length), prefix.size() - 1);
    if (steps.empty()) continue;
    xmldoc* target = doc;
    for (size_t k = 0; k + 1 < steps.size() && target != nullptr; ++k) {
      xmldoc* next = nullptr;
      for (int32_t i = 0; i < target->include_count && next == nullptr; ++i) {
        const xmldoc_include& inc = target->includes[i];
        if (inc.kind != kXmlIncludeInline || inc.doc == nullptr) continue;
        if (steps[k].name == inc.name && steps[k].type == inc.doc->type &&
            steps[k].value == xmldoc_prop_get(ctx, inc.doc, "Name")) {
          next = inc.doc;
        }
      }
      target = next;
    }
    if (target == nullptr) continue;  // the path is gone: the section is not written
    for (uint32_t k = 0; k < vec_count(docs); ++k) {
      xmldoc* copy = nullptr;
      int32_t rc = xmldoc_copy(ctx, &copy, static_cast<xmldoc*>(vec_get(docs, static_cast<int32_t>(k))));
      if (rc == 0) rc = xmldoc_include_add(ctx, target, steps.back().name.c_str(), kXmlIncludeInline, copy);
      if (rc != 0) {
        xml_free(ctx, copy);
        return rc;
      }
    }
  }
  return 0;
}

// The file's last component (as fio_path_basename_get gives it, "" when
// longer than a path) and the key separator, taken from the path in place.
std::string stash_prefix(const char* path) {
  const auto separator = [](char c) { return c == '/' || c == '\\'; };
  size_t end = path != nullptr ? std::strlen(path) : 0;
  while (end > 0 && separator(path[end - 1])) --end;
  size_t start = end;
  while (start > 0 && !separator(path[start - 1])) --start;
  std::string prefix;
  if (end - start < kFioPathSize) prefix.assign(path + start, end - start);
  prefix += '\x01';
  return prefix;
}

// The copy written in place of the caller's document, freed on every way
// out.
struct doc_copy {
  context* ctx;
  xmldoc* doc = nullptr;
  explicit doc_copy(context* c) : ctx(c) {}
  doc_copy(const doc_copy&) = delete;
  doc_copy& operator=(const doc_copy&) = delete;
  ~doc_copy() { xml_free(ctx, doc); }
};

// Writes to the path, or, when `place` is given, to the file a lock holds
// there (path then the name it was found by, which keeps its sections).
int32_t write_path(context* ctx, const char* path, const fio_place* place, uint32_t flags, xmldoc* doc) {
  if (flags & kXmlFlagSort) xmldoc_records_sort(ctx, doc, nullptr);

  // Sections kept from a newer engine go out with the file, attached to a
  // copy: the caller's document stays as it was, so writing it twice does
  // not double them.
  doc_copy copy(ctx);
  std::string prefix = stash_prefix(path);
  if (stash_has_file(ctx, prefix)) {
    int32_t rc = xmldoc_copy(ctx, &copy.doc, doc);
    if (rc == 0) rc = stash_attach(ctx, prefix, copy.doc);
    if (rc != 0) return rc;
  }
  const xmldoc* out_doc = copy.doc != nullptr ? copy.doc : doc;

  auto fill = [&](fio_handle* fh) {
    sink s;
    s.fh = fh;
    s.ctx = ctx;
    s.path = path;
    s.vault = (flags & kXmlFlagVault) != 0;
    if (s.vault) cipher_key_setup(&s.cipher);
    s.put(kHeader);
    int32_t wrc = write_doc(s, out_doc, 4);
    if (wrc != 0) return wrc;
    s.put(kFooter);
    s.finish();
    return s.rc;
  };
  return place != nullptr ? fio_write_replacing(ctx, *place, fill) : fio_write_replacing(ctx, path, fill);
}

}  // namespace

int32_t xml_write_path(context* ctx, const char* path, uint32_t flags, xmldoc* doc) {
  if (doc == nullptr || path == nullptr) return TQ_ERR_ARGUMENT;
  // The savers that call this free their documents by hand: out of memory
  // comes back to them as a result, so that they do.
  try {
    return write_path(ctx, path, nullptr, flags, doc);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
}

int32_t xml_write_place(context* ctx, const fio_place& place, uint32_t flags, xmldoc* doc) {
  if (doc == nullptr || place.path == nullptr) return TQ_ERR_ARGUMENT;
  try {
    return write_path(ctx, place.path, &place, flags, doc);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
}

int32_t xmldoc_write(context* ctx, const char* path, uint32_t flags, xmldoc* doc) {
  if (doc == nullptr || path == nullptr) return TQ_ERR_ARGUMENT;
  uint32_t kind = (flags & kXmlFlagVault) ? kFioKindZel : kFioKindXml;
  uint32_t open_flags = kFioOpenWrite | ((flags & kXmlFlagNameAsGiven) ? kFioFlagNameAsGiven : 0);
  fio_path_buffer built;
  if (!built.ok()) return TQ_ERR_NO_MEMORY;
  if (*path == '\0' || fio_name_build(ctx, kind, open_flags, path, built.get(), built.size()) != 0) return -1;
  int32_t type = fio_path_type(built.get());
  if (type < 0) return -1;
  if (type != 0 || ctx == nullptr) return xml_write_path(ctx, built.get(), flags, doc);
  // A plain name goes into the first search-path folder where it can be made.
  // A folder where it cannot be made is passed over without a trace, but a
  // file that is there and refused (read-only, say), or one that cannot be
  // looked at, stops the write: it must not be shadowed by a new one
  // further on. The folders are those a read of the name looks in
  // (fio_search_walk); when there is none, the write is refused as the
  // read is.
  int32_t rc = TQ_ERR_FILE_OPEN;
  uint32_t mark = UINT32_MAX;  // the records of the last folder tried
  fio_walk_end end;
  const int32_t walked = fio_search_walk(ctx, built.get(), &end, [&](const char* joined) {
    if (mark != UINT32_MAX) err_list_truncate(ctx, mark);
    mark = ctx->errors.count;
    rc = xml_write_path(ctx, joined, flags, doc);
    return rc != TQ_ERR_FILE_OPEN || fio_stat(joined, nullptr, 0) != TQ_ERR_FILE_MISSING;
  });
  if (walked != 0) return walked;
  if (end.visited == 0) return fio_walk_nowhere(ctx, end, built.get());
  return rc;
}

// ---- The table of kept sections --------------------------------------------------------

int32_t xmldoc_stash_create(context* ctx) {
  if (ctx == nullptr) return TQ_ERR_ARGUMENT;
  if (ctx->xml_stash != nullptr) return 0;
  auto* t = static_cast<hash_table*>(np_calloc(1, sizeof(hash_table)));
  if (t == nullptr) return TQ_ERR_NO_MEMORY;
  int32_t rc = hash_init(t, kHashKeyBytes, 1, 0);
  if (rc != 0) {
    std::free(t);
    return rc;
  }
  ctx->xml_stash = t;
  return 0;
}

namespace {

void docs_free(context* ctx, vec* docs) {
  if (docs == nullptr) return;
  for (uint32_t k = 0; k < vec_count(docs); ++k) xml_free(ctx, static_cast<xmldoc*>(vec_get(docs, static_cast<int32_t>(k))));
  vec_free(docs);
  std::free(docs);
}

}  // namespace

void xmldoc_stash_free(context* ctx) {
  if (ctx == nullptr || ctx->xml_stash == nullptr) return;
  for (hash_entry* e = ctx->xml_stash->list; e != nullptr; e = e->next) docs_free(ctx, entry_docs(e));
  hash_free(ctx->xml_stash);
  std::free(ctx->xml_stash);
  ctx->xml_stash = nullptr;
}

// Drops every kept section of the file of this path.
void xml_stash_drop_file(context* ctx, const char* path) {
  if (ctx == nullptr || ctx->xml_stash == nullptr) return;
  std::string prefix = stash_prefix(path);
  std::vector<std::string> keys;
  for (const hash_entry* e = ctx->xml_stash->list; e != nullptr; e = e->next) {
    if (key_has_prefix(e, prefix)) keys.emplace_back(static_cast<const char*>(e->key), static_cast<size_t>(e->key_length));
  }
  for (const std::string& k : keys) {
    auto* docs = reinterpret_cast<vec*>(hash_remove(ctx->xml_stash, k.data(), static_cast<int32_t>(k.size())));
    docs_free(ctx, docs);
  }
}

// Keeps a detached section under its key; on failure the caller still owns it.
int32_t xml_stash_keep(context* ctx, const std::string& key, xmldoc* doc) {
  if (ctx->xml_stash == nullptr) {
    if (int32_t rc = xmldoc_stash_create(ctx); rc != 0) return rc;
  }
  auto len = static_cast<int32_t>(key.size());
  vec* docs = reinterpret_cast<vec*>(hash_get_word(ctx->xml_stash, key.data(), len));
  if (docs == nullptr) {
    docs = static_cast<vec*>(np_calloc(1, sizeof(vec)));
    if (docs == nullptr || vec_init(docs, 4) != 0) {
      std::free(docs);
      return TQ_ERR_NO_MEMORY;
    }
    vec_free_fn_set(docs, vec_free_noop);
    uintptr_t* slot = hash_find_or_insert(ctx->xml_stash, key.data(), len, reinterpret_cast<uintptr_t>(docs), 0);
    if (slot == nullptr) {
      vec_free(docs);
      std::free(docs);
      return TQ_ERR_NO_MEMORY;
    }
  }
  return vec_push(docs, doc);
}

// Detaches, from the last include to the first, every inline section newer
// than the engine into the table; walks into the others.
int32_t xml_stash_walk(context* ctx, xmldoc* doc, const std::string& key) {
  for (int32_t i = doc->include_count - 1; i >= 0; --i) {
    xmldoc_include inc = doc->includes[i];
    if (inc.kind != kXmlIncludeInline || inc.doc == nullptr) continue;
    std::string child = key + key_segment(ctx, inc);
    if (!xmldoc_version_is_newer(inc.doc->version)) {
      if (int32_t rc = xml_stash_walk(ctx, inc.doc, child); rc != 0) return rc;
      continue;
    }
    if (int32_t rc = xml_stash_keep(ctx, child, inc.doc); rc != 0) return rc;
    std::free(inc.file_name);
    std::memmove(&doc->includes[i], &doc->includes[i + 1],
                 sizeof(xmldoc_include) * static_cast<size_t>(doc->include_count - i - 1));
    --doc->include_count;
  }
  return 0;
}

bool xml_stash_holds_file(context* ctx, const char* path) { return stash_has_file(ctx, stash_prefix(path)); }

// Takes out, from the last include to the first, every inline section newer
// than the engine that the table keeps under its key; walks into the others.
void xml_stash_kept_drop(context* ctx, xmldoc* doc, const std::string& key) {
  for (int32_t i = doc->include_count - 1; i >= 0; --i) {
    xmldoc_include inc = doc->includes[i];
    if (inc.kind != kXmlIncludeInline || inc.doc == nullptr) continue;
    std::string child = key + key_segment(ctx, inc);
    if (!xmldoc_version_is_newer(inc.doc->version)) {
      xml_stash_kept_drop(ctx, inc.doc, child);
      continue;
    }
    const auto* docs = reinterpret_cast<const vec*>(
        hash_get_word(ctx->xml_stash, child.data(), static_cast<int32_t>(child.size())));
    if (docs == nullptr || vec_count(docs) == 0) continue;
    xml_free(ctx, inc.doc);
    std::free(inc.file_name);
    std::memmove(&doc->includes[i], &doc->includes[i + 1],
                 sizeof(xmldoc_include) * static_cast<size_t>(doc->include_count - i - 1));
    --doc->include_count;
  }
}

std::string xml_stash_base_key(const char* path) {
  std::string p = stash_prefix(path);
  p.pop_back();
  return p;
}

}  // namespace tq
