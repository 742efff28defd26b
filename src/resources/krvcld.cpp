#include "resources/krvcld.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krfio.h"
#include "core/krstr.h"
#include "core/krzel.h"
#include "kbstore/krfield.h"
#include "kbstore/krlocl.h"
#include "kbstore/krlock.h"
#include "kbstore/krxml.h"
#include "resources/krvocb.h"
#include "platform/npmem.h"

namespace tq {

const vocab_likelihood kVocabLikelihoods[kVocabLikelihoodCount] = {
    {"Very Low", 10}, {"Low", 30}, {"Medium", 50}, {"High", 70}, {"Very High", 90},
};

namespace {

constexpr uint32_t kConvert = kStrioConvert;
// The folder an edit_new makes its file in: at most 1,024 bytes in UTF-8,
// refused past that, never cut.
constexpr uint32_t kFolderMax = 1024;

// Owns a vocabulary until it is handed on with release(): every way out
// before that, an exception included, destroys it.
struct vocab_destroy {
  void operator()(vocab_rec* vocab) const noexcept { vocab_rec_destroy(vocab); }
};
using owned_vocab = std::unique_ptr<vocab_rec, vocab_destroy>;

// ---- The record -------------------------------------------------------------------

void vocab_parts_free(vocab_rec* vocab) {
  vocab_index_drop(vocab);
  vocab_text_pool_free(&vocab->texts);
  vocab_text_pool_free(&vocab->pairs);
  std::free(vocab->words);
  std::free(vocab->categories);
  vocab->words = nullptr;
  vocab->word_count = 0;
  vocab->words_made = 0;
  vocab->categories = nullptr;
  vocab->category_count = 0;
  vocab->categories_made = 0;
}

bool text_less(const char* a, const char* b) { return vocab_text_compare(a, b) < 0; }

// ---- Building from a document ----------------------------------------------------


const char* first_key(const xmldoc* doc) {
  for (int32_t i = 0; i < doc->record_count; ++i) {
    if (doc->records[i].key != nullptr) return doc->records[i].key;
  }
  return "";
}

int32_t missing_column(context* ctx, const char* name, const xmldoc* doc, const char* column) {
  TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 85, name, first_key(doc), column);
  return TQ_ERR_INVALID_CONTENT;
}

// Sorts the words unless they are in order already (compiled files are
// written sorted, so a load usually only checks).
void words_sort_if_needed(vocab_rec* vocab) {
  for (uint32_t i = 1; i < vocab->word_count; ++i) {
    if (vocab_text_compare(vocab->words[i - 1].text, vocab->words[i].text) > 0) {
      std::sort(vocab->words, vocab->words + vocab->word_count,
                [](const vocab_word& a, const vocab_word& b) { return text_less(a.text, b.text); });
      return;
    }
  }
}

// ---- Resource access ---------------------------------------------------------------

vocab_rec* part_of(resource_slot* slot) { return slot != nullptr ? static_cast<vocab_rec*>(slot->part) : nullptr; }

int32_t refuse_save(context* ctx, const char* detail) {
  TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1571, detail);
  return TQ_ERR_INVALID_CONTENT;
}

// The first text of `texts` that comes twice, or NULL; the array is sorted
// on the way.
const char* first_repeated(const char** texts, uint32_t count) {
  std::sort(texts, texts + count, text_less);
  for (uint32_t i = 1; i < count; ++i) {
    if (vocab_text_compare(texts[i - 1], texts[i]) == 0) return texts[i];
  }
  return nullptr;
}

// An abbreviation given to two categories, or a word text given to two
// words, or NULL. Found on a sorted copy of the texts, so that the caller's
// indexes stay as they are: a prepare or save refused for it changes
// nothing. The file keeps one record per word and category, and a load makes
// one word of the records of one text: two such words would come back as
// one; two categories of one abbreviation would make the pairs ambiguous.
const char* duplicate_text(const vocab_rec* vocab, bool categories, bool* out_of_memory) {
  *out_of_memory = false;
  const uint32_t count = categories ? vocab->category_count : vocab->word_count;
  if (count < 2) return nullptr;
  auto* texts = static_cast<const char**>(np_malloc(sizeof(const char*) * count));
  if (texts == nullptr) {
    *out_of_memory = true;
    return nullptr;
  }
  for (uint32_t i = 0; i < count; ++i) texts[i] = categories ? vocab->categories[i].name : vocab->words[i].text;
  const char* twice = first_repeated(texts, count);
  std::free(texts);
  return twice;
}

// Refuses a vocabulary with two categories of one abbreviation: -300, or
// -600 when the check could not be made.
int32_t check_categories_distinct(context* ctx, const vocab_rec* vocab) {
  bool out_of_memory = false;
  if (const char* twice = duplicate_text(vocab, true, &out_of_memory)) {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1574, twice);
    return TQ_ERR_INVALID_CONTENT;
  }
  return out_of_memory ? TQ_ERR_NO_MEMORY : 0;
}

// The buffers that sorting the categories takes, got before anything is
// moved: once they are held the sort cannot fail. They are given back on
// every way out, an exception included.
struct category_sort_buffers {
  uint32_t* order = nullptr;
  uint32_t* where = nullptr;
  category_rec* sorted = nullptr;

  category_sort_buffers() = default;
  category_sort_buffers(const category_sort_buffers&) = delete;
  category_sort_buffers& operator=(const category_sort_buffers&) = delete;
  ~category_sort_buffers() {
    std::free(order);
    std::free(where);
    std::free(sorted);
  }
};

void sort_buffers_free(category_sort_buffers* b) {
  std::free(std::exchange(b->order, nullptr));
  std::free(std::exchange(b->where, nullptr));
  std::free(std::exchange(b->sorted, nullptr));
}

int32_t sort_buffers_get(const vocab_rec* vocab, category_sort_buffers* b) {
  const uint32_t m = vocab->category_count;
  if (m < 2) return 0;
  b->order = static_cast<uint32_t*>(np_malloc(sizeof(uint32_t) * m));
  b->where = static_cast<uint32_t*>(np_malloc(sizeof(uint32_t) * m));
  b->sorted = static_cast<category_rec*>(np_malloc(sizeof(category_rec) * m));
  if (b->order == nullptr || b->where == nullptr || b->sorted == nullptr) {
    sort_buffers_free(b);
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

void sort_with(vocab_rec* vocab, const category_sort_buffers& b) {
  const uint32_t m = vocab->category_count;
  if (m > 1) {
    // Sorted through a permutation so that every pair can follow its
    // category to the new place: pairs hold indices, not names.
    for (uint32_t i = 0; i < m; ++i) b.order[i] = i;
    const category_rec* cats = vocab->categories;
    std::sort(b.order, b.order + m, [cats](uint32_t x, uint32_t y) { return text_less(cats[x].name, cats[y].name); });
    for (uint32_t k = 0; k < m; ++k) {
      b.sorted[k] = cats[b.order[k]];
      b.where[b.order[k]] = k;
    }
    std::memcpy(static_cast<void*>(vocab->categories), b.sorted, sizeof(category_rec) * m);
    for (uint32_t w = 0; w < vocab->word_count; ++w) {
      vocab_word& word = vocab->words[w];
      for (uint32_t p = 0; p < word.category_count; ++p) {
        if (word.pairs[p].category < m) word.pairs[p].category = b.where[word.pairs[p].category];
      }
    }
  }
  if (vocab->word_count > 1) {
    std::sort(vocab->words, vocab->words + vocab->word_count,
              [](const vocab_word& x, const vocab_word& y) { return text_less(x.text, y.text); });
  }
  // Without an index lookups still work (by search), so memory running out
  // here fails nothing.
  (void)vocab_index_build(vocab);
}

// ---- Writing ---------------------------------------------------------------------------

int32_t record_compare(const xmldoc_record* a, const xmldoc_record* b) {
  // Records without a key go last.
  if (a->key == nullptr || b->key == nullptr) return (a->key == nullptr) - (b->key == nullptr);
  int32_t c = vocab_text_compare(a->key, b->key);
  if (c != 0) return c;
  c = vocab_text_compare(xmldoc_record_text(*a, 1), xmldoc_record_text(*b, 1));
  if (c != 0) return c;
  const int32_t la = xmldoc_record_number(*a, 0, 0);
  const int32_t lb = xmldoc_record_number(*b, 0, 0);
  return (la > lb) - (la < lb);
}

int32_t record_same(context*, const xmldoc_record* later, const xmldoc_record* earlier) {
  return later->key != nullptr && earlier->key != nullptr && std::strcmp(later->key, earlier->key) == 0 &&
         std::strcmp(xmldoc_record_text(*later, 1), xmldoc_record_text(*earlier, 1)) == 0;
}

// The two documents of the XML form, filled from the vocabulary.
int32_t documents_build(context* ctx, const vocab_rec* vocab, const resource_slot* slot, xmldoc* doc,
                        xmldoc* category, int32_t* dropped) {
  int32_t rc = 0;
  if (slot != nullptr && slot->version[0] != '\0') rc = xmldoc_prop_add_grouped(ctx, doc, "9.0", "Version", slot->version);
  if (rc == 0 && slot != nullptr && slot->owner[0] != '\0') {
    rc = xmldoc_prop_add_grouped(ctx, doc, "9.0", "Owner", slot->owner);
  }
  if (rc == 0) rc = locale_info_write(ctx, &vocab->locale, doc);
  if (rc == 0) rc = vault_info_write(doc, &vocab->vault);
  if (rc == 0) rc = xmldoc_column_add(ctx, category, "CategoryName", kXmlColString);
  if (rc == 0) rc = xmldoc_column_add(ctx, doc, "Likelihood", kXmlColInt);
  if (rc == 0) rc = xmldoc_column_add(ctx, doc, "CategoryAbbreviation", kXmlColString);
  for (uint32_t i = 0; rc == 0 && i < vocab->category_count; ++i) {
    xmldoc_field field{};
    field.type = kXmlColString;
    field.text = const_cast<char*>(vocab->categories[i].description);
    rc = xmldoc_record_add(ctx, category, vocab->categories[i].name, nullptr, &field);
  }
  for (uint32_t w = 0; rc == 0 && w < vocab->word_count; ++w) {
    const vocab_word& word = vocab->words[w];
    for (uint32_t p = 0; rc == 0 && p < word.category_count; ++p) {
      const category_rec* cat = vocab_category_get(vocab, word.pairs[p].category);
      xmldoc_field fields[2]{};
      fields[0].type = kXmlColInt;
      fields[0].number = word.pairs[p].likelihood;
      fields[1].type = kXmlColString;
      fields[1].text = const_cast<char*>(cat != nullptr ? cat->name : "");
      rc = xmldoc_record_add(ctx, doc, word.text != nullptr ? word.text : "", nullptr, fields);
    }
  }
  if (rc == 0) rc = xmldoc_records_sort(ctx, category, nullptr);
  if (rc == 0) rc = xmldoc_records_sort(ctx, doc, record_compare);
  if (rc == 0) {
    rc = xmldoc_records_dedupe(ctx, doc, record_same);
    if (rc == TQ_WARN_DUPLICATES_DROPPED) {
      *dropped = 1;
      rc = 0;
    }
  }
  return rc;
}

// ---- Files -----------------------------------------------------------------------------

// The compiled file `name` in `folder` for a new vocabulary, locked through
// the handle: made empty when missing, otherwise kept as it is until the
// save replaces it (xml_edit_file_make).
int32_t vocab_file_create(context* ctx, const char* name, const char* folder, lock_handle* lock) {
  fio_path_buffer joined_buffer;
  fio_path_buffer path_buffer;
  char* const joined = joined_buffer.get();
  char* const path = path_buffer.get();
  if (joined == nullptr || path == nullptr) return TQ_ERR_NO_MEMORY;
  folder = xmldoc_file_folder(ctx, folder != nullptr && *folder != '\0' ? folder : nullptr);
  if (folder == nullptr) {
    const bool fits = fio_name_build(ctx, kFioKindZev, 0, name, path, path_buffer.size()) == 0;
    return fio_no_folder_report(ctx, fits ? path : name);
  }
  if (fio_path_join(folder, name, joined, joined_buffer.size()) != 0 ||
      fio_name_build(ctx, kFioKindZev, 0, joined, path, path_buffer.size()) != 0) {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "The vocabulary path is too long.");
    return TQ_ERR_ARGUMENT;
  }
  return xml_edit_file_make(ctx, path, kFioKindZev, lock);
}

// The UTF-8 text of an interface text into a buffer of max + 1 bytes.
int32_t text_in(context* ctx, const char* src, char* dst, uint32_t max) { return strio_in(ctx, src, dst, max, kConvert); }

}  // namespace

// ---- The record -------------------------------------------------------------------

int32_t vocab_rec_create(vocab_rec** out) {
  *out = nullptr;
  auto* vocab = static_cast<vocab_rec*>(np_calloc(1, sizeof(vocab_rec)));
  if (vocab == nullptr) return TQ_ERR_NO_MEMORY;
  locale_info_clear(&vocab->locale);
  vault_info_clear(&vocab->vault);
  *out = vocab;
  return 0;
}

void vocab_rec_destroy(vocab_rec* vocab) {
  if (vocab == nullptr) return;
  vocab_parts_free(vocab);
  std::free(vocab);
}

void* vocab_text_pool_alloc(vocab_text_pool* pool, uint32_t n) {
  if (n > kVocabChunkSize) return nullptr;
  const uint32_t need = (n + 7u) & ~7u;
  vocab_chunk* chunk = pool->head;
  if (chunk == nullptr || chunk->used + need > kVocabChunkSize) {
    chunk = static_cast<vocab_chunk*>(np_calloc(1, sizeof(vocab_chunk)));
    if (chunk == nullptr) return nullptr;
    chunk->next = pool->head;
    pool->head = chunk;
  }
  void* block = chunk->bytes + chunk->used;
  chunk->used += need;
  return block;
}

void vocab_text_pool_free(vocab_text_pool* pool) {
  vocab_chunk* chunk = pool->head;
  while (chunk != nullptr) {
    vocab_chunk* next = chunk->next;
    std::free(chunk);
    chunk = next;
  }
  pool->head = nullptr;
}

int32_t vocab_clear(vocab_rec* vocab, uint32_t n_words, uint32_t n_categories) {
  vocab_parts_free(vocab);
  vault_info_clear(&vocab->vault);
  if (vocab_text_pool_alloc(&vocab->texts, 0) == nullptr || vocab_text_pool_alloc(&vocab->pairs, 0) == nullptr) {
    vocab_parts_free(vocab);
    return TQ_ERR_NO_MEMORY;
  }
  if (n_words > 0) {
    vocab->words = static_cast<vocab_word*>(np_calloc(n_words, sizeof(vocab_word)));
    if (vocab->words == nullptr) {
      vocab_parts_free(vocab);
      return TQ_ERR_NO_MEMORY;
    }
  }
  if (n_categories > 0) {
    vocab->categories = static_cast<category_rec*>(np_calloc(n_categories, sizeof(category_rec)));
    if (vocab->categories == nullptr) {
      vocab_parts_free(vocab);
      return TQ_ERR_NO_MEMORY;
    }
  }
  vocab->word_count = n_words;
  vocab->words_made = 1;
  vocab->category_count = n_categories;
  vocab->categories_made = 1;
  return 0;
}

int32_t vocab_word_set(vocab_rec* vocab, uint32_t index, const char* text, uint32_t count, const vocab_pair* pairs) {
  if (index >= vocab->word_count || text == nullptr || count > kVocabCategoriesMax) return TQ_ERR_ARGUMENT;
  const size_t length = std::strlen(text);
  if (length > kVocabWordMax) return TQ_ERR_ARGUMENT;
  auto* copy = static_cast<char*>(vocab_text_pool_alloc(&vocab->texts, static_cast<uint32_t>(length + 1)));
  vocab_pair* pair_copy = nullptr;
  if (count > 0) {
    pair_copy = static_cast<vocab_pair*>(vocab_text_pool_alloc(&vocab->pairs, count * sizeof(vocab_pair)));
  }
  if (copy == nullptr || (count > 0 && pair_copy == nullptr)) return TQ_ERR_NO_MEMORY;
  std::memcpy(copy, text, length + 1);
  if (pairs != nullptr && count > 0) std::memcpy(static_cast<void*>(pair_copy), pairs, count * sizeof(vocab_pair));
  vocab_index_drop(vocab);
  vocab_word& word = vocab->words[index];
  word.text = copy;
  word.category_count = count;
  word.pairs = pair_copy;
  return 0;
}

int32_t vocab_text_compare(const char* a, const char* b) {
  const int c = std::strcmp(a != nullptr ? a : "", b != nullptr ? b : "");
  return (c > 0) - (c < 0);
}

int32_t vocab_sort(vocab_rec* vocab) {
  category_sort_buffers buffers;
  const int32_t rc = sort_buffers_get(vocab, &buffers);
  if (rc != 0) return rc;
  sort_with(vocab, buffers);
  return 0;
}

int32_t vocab_category_find(const vocab_rec* vocab, const char* abbrev) {
  if (vocab == nullptr || vocab->categories == nullptr || abbrev == nullptr) return -1;
  int64_t low = 0;
  int64_t high = static_cast<int64_t>(vocab->category_count) - 1;
  while (low <= high) {
    const int64_t middle = (low + high) / 2;
    const int32_t c = vocab_text_compare(abbrev, vocab->categories[middle].name);
    if (c == 0) return static_cast<int32_t>(middle);
    if (c < 0) {
      high = middle - 1;
    } else {
      low = middle + 1;
    }
  }
  return -1;
}

const category_rec* vocab_category_get(const vocab_rec* vocab, uint32_t index) {
  if (vocab == nullptr || vocab->categories == nullptr || index >= vocab->category_count) return nullptr;
  return &vocab->categories[index];
}

// The bytes of a vocabulary's name, without the extension of a form it is
// kept in.
namespace {
size_t vocab_name_length(const char* name) {
  const size_t n = std::strlen(name);
  if (n >= 5) {
    const char* tail = name + n - 4;
    if (std::strcmp(tail, ".krd") == 0 || std::strcmp(tail, ".xml") == 0 || std::strcmp(tail, ".krv") == 0 ||
        std::strcmp(tail, ".zev") == 0) {
      return n - 4;
    }
  }
  return n;
}
}  // namespace

int32_t vocab_name_cut(const char* name, char* out, uint32_t size) {
  if (name == nullptr || out == nullptr || size == 0) return -1;
  const size_t n = vocab_name_length(name);
  if (n >= size) {
    out[0] = '\0';
    return -1;
  }
  std::memcpy(out, name, n);
  out[n] = '\0';
  return 0;
}

// ---- Building from a document ----------------------------------------------------

int32_t vocab_from_document(context* ctx, const char* name, const xmldoc* doc, vocab_rec* vocab) {
  const xmldoc* category = xmldoc_include_doc_find(doc, "Category");
  if (category == nullptr) {
    TQ_REPORT(ctx, -1, 1573, name);
    return -1;
  }
  // Words are runs of records with byte-equal keys, in document order.
  uint32_t n_words = 0;
  const char* previous = nullptr;
  for (int32_t i = 0; i < doc->record_count; ++i) {
    const char* key = doc->records[i].key;
    if (key == nullptr) continue;
    if (previous == nullptr || std::strcmp(previous, key) != 0) ++n_words;
    previous = key;
  }
  uint32_t n_categories = 0;
  for (int32_t i = 0; i < category->record_count; ++i) {
    if (category->records[i].key != nullptr) ++n_categories;
  }
  int32_t rc = vocab_clear(vocab, n_words, n_categories);
  if (rc != 0) return rc;
  vault_info_read(doc, &vocab->vault);

  int32_t name_col = -1;
  if (xmldoc_column_find(ctx, category, "CategoryName", &name_col) != 0) {
    return missing_column(ctx, name, category, "CategoryName");
  }
  uint32_t c = 0;
  for (int32_t i = 0; i < category->record_count; ++i) {
    const xmldoc_record& rec = category->records[i];
    if (rec.key == nullptr) continue;
    if (std::strlen(rec.key) > kVocabAbbrevMax) {
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1570, name);
      return TQ_ERR_INVALID_CONTENT;
    }
    rc = category_intern(ctx, &vocab->categories[c++], rec.key, xmldoc_record_text(rec, name_col));
    if (rc < 0) return rc;
  }
  std::sort(vocab->categories, vocab->categories + vocab->category_count,
            [](const category_rec& a, const category_rec& b) { return text_less(a.name, b.name); });

  int32_t like_col = -1;
  int32_t abbrev_col = -1;
  if (n_words > 0 && xmldoc_column_find(ctx, doc, "Likelihood", &like_col) != 0) {
    return missing_column(ctx, name, doc, "Likelihood");
  }
  if (n_words > 0 && xmldoc_column_find(ctx, doc, "CategoryAbbreviation", &abbrev_col) != 0) {
    return missing_column(ctx, name, doc, "CategoryAbbreviation");
  }
  vocab_pair pairs[kVocabCategoriesMax];
  uint32_t w = 0;
  int32_t i = 0;
  while (i < doc->record_count) {
    const char* key = doc->records[i].key;
    if (key == nullptr) {
      ++i;
      continue;
    }
    uint32_t count = 0;
    for (; i < doc->record_count; ++i) {
      const xmldoc_record& rec = doc->records[i];
      if (rec.key == nullptr) continue;
      if (std::strcmp(rec.key, key) != 0) break;
      if (count == kVocabCategoriesMax) {
        TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 83, name, key);
        return TQ_ERR_INVALID_CONTENT;
      }
      const char* abbrev = xmldoc_record_text(rec, abbrev_col);
      const int32_t at = vocab_category_find(vocab, abbrev);
      if (at < 0) {
        TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 84, name, key, abbrev);
        return TQ_ERR_INVALID_CONTENT;
      }
      // Refused rather than cut to a byte: a setter takes no other value.
      int32_t likelihood = 0;
      const int32_t refused = number_field_read(ctx, xmldoc_field_get(doc, i, like_col), kLikelihoodLimit,
                                                TQ_ERR_INVALID_CONTENT, name, 0, &likelihood);
      if (refused < 0) return refused;
      pairs[count].category = static_cast<uint32_t>(at);
      pairs[count].likelihood = static_cast<uint8_t>(likelihood);
      ++count;
    }
    if (std::strlen(key) > kVocabWordMax) {
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1570, name);
      return TQ_ERR_INVALID_CONTENT;
    }
    rc = vocab_word_set(vocab, w++, key, count, pairs);
    if (rc < 0) return rc;
  }
  words_sort_if_needed(vocab);
  (void)vocab_index_build(vocab);
  return 0;
}

int32_t vocab_read_file(context* ctx, const char* name, uint32_t form, resource_slot* slot, vocab_rec** out,
                        const fio_place* held) {
  *out = nullptr;
  xmldoc* read = nullptr;
  uint32_t encoding = 0;
  int32_t rc = 0;
  if (form == kVocabFormXml && held == nullptr) {
    rc = xmldoc_read(ctx, name, 0, &read);
  } else if (form == kVocabFormCompiled) {
    rc = vocab_compiled_read(&encoding, ctx, name, kVocabFileCode, &read, held);
  } else {
    return -1;
  }
  // The document and the vocabulary are freed on every way out, an
  // exception included, until the vocabulary is handed out.
  const xmldoc_ptr doc = xmldoc_owned(ctx, read);
  if (rc < 0) return rc;
  if (slot != nullptr) {
    slot->read.version = doc->read_from;
    rsrc_version_read(ctx, slot, doc.get());
    rsrc_owner_read(ctx, slot, doc.get());
  }
  vocab_rec* made = nullptr;
  locale_info locale;
  rc = locale_info_read(ctx, doc.get(), &locale);
  if (rc >= 0) rc = vocab_rec_create(&made);
  owned_vocab vocab(made);
  if (rc >= 0) {
    vocab->locale = locale;
    vocab->slot = slot;
    rc = vocab_from_document(ctx, slot != nullptr ? slot->name : name, doc.get(), vocab.get());
  }
  const number_owner owner{"vocabulary", slot != nullptr ? slot->name : name, false};
  if (rc >= 0) rc = rc_combine(rc, number_past_refuse(ctx, doc.get(), owner));
  if (rc < 0) return rc;
  *out = vocab.release();
  return 0;
}

int32_t vocab_check_complete(context* ctx, const vocab_rec* vocab) {
  char detail[kVocabWordMax + 128];
  for (uint32_t i = 0; i < vocab->category_count; ++i) {
    if (vocab->categories[i].name[0] == '\0') {
      std::snprintf(detail, sizeof detail, "category %u has no abbreviation.", i);
      return refuse_save(ctx, detail);
    }
  }
  for (uint32_t w = 0; w < vocab->word_count; ++w) {
    const vocab_word& word = vocab->words[w];
    if (word.text == nullptr) {
      std::snprintf(detail, sizeof detail, "word %u was never set.", w);
      return refuse_save(ctx, detail);
    }
    for (uint32_t p = 0; p < word.category_count; ++p) {
      if (word.pairs[p].likelihood == 0 || word.pairs[p].category >= vocab->category_count) {
        std::snprintf(detail, sizeof detail, "category %u of the word '%s' was never set.", p, word.text);
        return refuse_save(ctx, detail);
      }
    }
  }
  if (!locale_table_contains(vocab->locale.code)) return refuse_save(ctx, "it has no locale.");
  bool out_of_memory = false;
  if (const char* twice = duplicate_text(vocab, false, &out_of_memory)) {
    std::snprintf(detail, sizeof detail, "the word '%s' is given twice; its file would hold it once.", twice);
    return refuse_save(ctx, detail);
  }
  return out_of_memory ? TQ_ERR_NO_MEMORY : 0;
}

int32_t vocab_write(vocab_rec* vocab, const resource_slot* slot, context* ctx, const char* path, uint32_t mode,
                    const fio_place* held) {
  // Both documents are freed on every way out, an exception included.
  xmldoc* made = nullptr;
  int32_t dropped = 0;
  int32_t rc = xmldoc_create(ctx, "Category", "7.0", &made);
  xmldoc_ptr category = xmldoc_owned(ctx, made);
  made = nullptr;
  if (rc == 0) rc = xmldoc_create(ctx, "Vocabulary", "7.0", &made);
  const xmldoc_ptr doc = xmldoc_owned(ctx, made);
  if (rc == 0) rc = documents_build(ctx, vocab, slot, doc.get(), category.get(), &dropped);
  if (rc == 0) {
    rc = xmldoc_include_add(ctx, doc.get(), "Category", kXmlIncludeInline, category.get());
    if (rc == 0) (void)category.release();  // the vocabulary document holds it now
  }
  if (rc < 0) return rsrc_save_build_failed(ctx, slot, rc);
  if (rc != 0) {
  } else if (held != nullptr) {
    // The file the lock holds, whatever its form's extension: never the
    // name looked up again, nor another form's file beside it.
    if (mode == kVocabFormXml) {
      rc = xml_write_place(ctx, *held, 0, doc.get());
    } else if (mode == kVocabFormCompiled) {
      rc = vocab_compile(held->path, ctx, doc.get(), kVocabFileCode, held);
    }
  } else {
    std::string cut(kFioPathSize, '\0');  // on the heap: saves run on small stacks
    if (vocab_name_cut(path, cut.data(), kFioPathSize) != 0) {
      rc = -1;
    } else if (mode == kVocabFormXml) {
      rc = xmldoc_write(ctx, cut.c_str(), 0, doc.get());
    } else if (mode == kVocabFormCompiled) {
      rc = vocab_compile(cut.c_str(), ctx, doc.get(), kVocabFileCode);
    }
  }
  // Said in the list too: a warning that wins over it (118) leaves this
  // one there.
  if (dropped && rc >= 0) TQ_REPORT(ctx, TQ_WARN_DUPLICATES_DROPPED, 2320, path);
  return rc_combine(dropped ? TQ_WARN_DUPLICATES_DROPPED : 0, rc);
}

// ---- The resource ---------------------------------------------------------------

int32_t vocab_get(context* ctx, int32_t index, vocab_rec** out) {
  return rsrc_part_get(ctx, kRsrcVocab, index, out);
}

int32_t vocab_get_for_edit(context* ctx, int32_t index, vocab_rec** out) {
  return rsrc_part_get_for_edit(ctx, kRsrcVocab, index, out);
}

int32_t vocab_load_by_name(context* ctx, const char* name, lock_handle* lock, uint32_t form, int32_t* index) {
  rsrc_callbacks cb{};
  cb.load = vocab_rsrc_load;
  cb.free = vocab_rsrc_free;
  cb.arg = form;
  cb.lock = lock;
  int32_t rc = rsrc_register(ctx, kRsrcVocab, name, &cb, index);
  return rc < 0 ? rc : 0;
}

int32_t vocab_load_from_record(context* ctx, const char* kind_name, const char* defn_name, const xmldoc* doc,
                               int32_t row, vocab_ref* out) {
  out->index = -1;
  out->stop = 0;
  int32_t name_col = -1;
  int32_t stop_col = -1;
  xmldoc_column_find(ctx, doc, "Name", &name_col);
  xmldoc_column_find(ctx, doc, "Stop Flag", &stop_col);
  const char* name = "";
  if (row >= 0 && row < doc->record_count) {
    name = xmldoc_record_text(doc->records[row], name_col);
    out->stop = xmldoc_record_number(doc->records[row], stop_col, 0);
  }
  if (*name == '\0') {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1469, kind_name, defn_name);
    return TQ_ERR_INVALID_CONTENT;
  }
  int32_t rc = vocab_load_by_name(ctx, name, nullptr, kVocabFormCompiled, &out->index);
  if (rc < 0) TQ_REPORT(ctx, rc, 192, name, kind_name, defn_name);
  return rc;
}

int32_t vocab_find_by_name(context* ctx, const char* name, int32_t* index) {
  int32_t rc = rsrc_find_by_name(ctx, kRsrcVocab, name, index);
  if (rc < 0) TQ_REPORT(ctx, rc, 1404, name);
  return rc;
}

int32_t vocab_rsrc_load(context* ctx, resource_slot* slot, lock_handle* lock, uintptr_t form) {
  char name[kRsrcNameSize];
  if (vocab_name_cut(slot->name, name, sizeof name) != 0) return -1;
  // For editing, the file read is the one the lock holds, in its folder
  // under its name there: never what the name leads to by the read, or a
  // link pointed elsewhere in between would put another file's words in
  // this one at the save.
  lock_ref taken;
  fio_place held;
  if (lock != nullptr) {
    int32_t rc = lock_file_create_found(ctx, name, kFioKindZev, lock, nullptr, 0, &taken);
    if (rc < 0) return rc;
    if (!lock_ref_held(lock, taken, &held)) return TQ_ERR_LOCK_ACQUIRE;
  }
  vocab_rec* vocab = nullptr;
  // A failure leaves the slot registered with its references as they were:
  // the registrant still owns its reference, and the next use tries again.
  int32_t rc = vocab_read_file(ctx, name, static_cast<uint32_t>(form), slot, &vocab, lock != nullptr ? &held : nullptr);
  if (rc < 0) return rc;
  slot->part = vocab;
  if (lock != nullptr) {
    slot->read.ref = taken;
    lock_ref_edited(lock, taken);
  }
  return 0;
}

int32_t vocab_rsrc_free(context* ctx, resource_slot* slot, uintptr_t arg) {
  (void)ctx;
  (void)arg;
  if (slot == nullptr) return 0;
  vocab_rec_destroy(part_of(slot));
  slot->part = nullptr;
  return 0;
}

// ---- Export implementations ---------------------------------------------------------

int32_t vocabulary_load(context* ctx, const char* name, lock_handle* lock, int32_t* index) {
  *index = -1;
  char text[4096 + 1];
  const int32_t conv = strio_in_4096(ctx, name, text, kConvert);
  if (conv < 0) return conv;
  // A client's load, counted as its own (the registry's client loads).
  return rsrc_client_load(ctx, kRsrcVocab, index, [&] {
    return rc_combine(conv, vocab_load_by_name(ctx, text, lock, kVocabFormCompiled, index));
  }, lock);
}

namespace {

int32_t create(context* ctx, int32_t* index) {
  *index = -1;
  vocab_rec* made = nullptr;
  int32_t rc = vocab_rec_create(&made);
  if (rc != 0) return rc;
  // The vocabulary is this call's until its slot holds it: every way out
  // before that, an exception included, destroys it.
  owned_vocab vocab(made);
  // A new vocabulary is made for the current locale, so that what is saved
  // can be loaded again.
  locale_info_from_current(ctx, &vocab->locale);
  rsrc_callbacks cb{};
  cb.free = vocab_rsrc_free;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  rc = rsrc_slot_create(ctx, kRsrcVocab, nullptr, 1, &cb, index);
  resource_slot* slot = nullptr;
  if (rc == 0) rc = rsrc_slot_get_used(ctx, kRsrcVocab, *index, &slot);
  if (rc == 0) {
    vocab->slot = slot;
    slot->part = vocab.release();
  }
  const int32_t released = hold.release();
  return rc != 0 ? rc : released;
}

}  // namespace

// What is created is the client's load, as a load by name is.
int32_t vocabulary_create(context* ctx, int32_t* index) {
  return rsrc_client_load(ctx, kRsrcVocab, index, [&] { return create(ctx, index); });
}

int32_t vocabulary_likelihood_count_get(context* ctx, uint32_t* count) {
  (void)ctx;
  *count = kVocabLikelihoodCount;
  return 0;
}

int32_t vocabulary_likelihood_info_get(context* ctx, int32_t position, char* name, int32_t* value) {
  strio_out_clear(ctx, name);
  *value = 0;
  if (position < 0 || position >= kVocabLikelihoodCount) return TQ_ERR_ARGUMENT;
  const int32_t rc = strio_out_1028(ctx, kVocabLikelihoods[position].name, name, kConvert);
  if (rc >= 0) *value = kVocabLikelihoods[position].value;
  return rc;
}

int32_t vocabulary_likelihood_name_get_by_value(context* ctx, int32_t value, char* name) {
  strio_out_clear(ctx, name);
  for (const vocab_likelihood& l : kVocabLikelihoods) {
    if (l.value == value) return strio_out_1028(ctx, l.name, name, kConvert);
  }
  return TQ_ERR_ARGUMENT;
}

int32_t vocabulary_likelihood_value_get_by_name(context* ctx, const char* name, int32_t* value) {
  *value = 0;
  char text[1024 + 1];
  const int32_t conv = strio_in_1024(ctx, name, text, kConvert | kStrioUnkept);
  if (conv < 0) return conv;
  for (const vocab_likelihood& l : kVocabLikelihoods) {
    if (std::strcmp(l.name, text) == 0) *value = l.value;
  }
  return conv;
}

int32_t vocab_file_convert(context* ctx, int32_t direction, const char* fromfile, const char* tofile) {
  uint32_t read_form = 0;
  uint32_t write_mode = 0;
  if (direction == 0) {
    read_form = kVocabFormXml;
    write_mode = kVocabFormCompiled;
  } else if (direction == 1) {
    read_form = kVocabFormCompiled;
    write_mode = kVocabFormXml;
  } else {
    return TQ_ERR_ARGUMENT;
  }
  // Both names whole, never cut: a cut name would name another file, and
  // the source's length is measured on what the caller gave.
  std::string from_text;
  std::string to_text;
  const int32_t conv_from = strio_in_whole(ctx, fromfile, &from_text, kConvert | kStrioUnkept);
  if (conv_from < 0) return conv_from;
  const int32_t conv_to = strio_in_whole(ctx, tofile, &to_text, kConvert | kStrioUnkept);
  if (conv_to < 0) return conv_to;
  const char* from = from_text.c_str();
  const char* to = to_text.c_str();
  // The source is read directly rather than registered: registration wants
  // a compiled file of the name, and a vocabulary of the same name already
  // loaded (perhaps being edited) is not the file asked for.
  // The slot and the vocabulary read are freed on every way out.
  const std::unique_ptr<resource_slot, heap_free> slot(
      static_cast<resource_slot*>(np_calloc(1, sizeof(resource_slot))));
  if (slot == nullptr) return TQ_ERR_NO_MEMORY;
  // The source is read by its name without the extension, kept in as many
  // bytes as any resource's name: a longer one is refused whole, since a
  // cut one would name another file.
  if (const size_t n = vocab_name_length(from); n >= kRsrcNameSize) {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 2100, call_name_of(ctx), static_cast<uint32_t>(n), kRsrcNameSize - 1);
    return TQ_ERR_ARGUMENT;
  }
  // So is a written name too long for a path, as every writer refuses it.
  if (const int32_t too_long = xmldoc_file_length_check(ctx, nullptr, to, 0); too_long != 0) return too_long;
  char cut[kRsrcNameSize];
  int32_t rc = vocab_name_cut(from, cut, sizeof cut);
  if (rc == 0) {
    str_copy_bounded(slot->name, cut, sizeof slot->name);
    slot->kind = kRsrcVocab;
    slot->version_supported = 1;
  }
  vocab_rec* read = nullptr;
  if (rc == 0) rc = vocab_read_file(ctx, cut, read_form, slot.get(), &read);
  const owned_vocab vocab(read);
  if (rc >= 0) rc = vocab_write(vocab.get(), slot.get(), ctx, to, write_mode);
  return rc_combine(rc_combine(conv_from, conv_to), rc);
}

int32_t vocab_numwords_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  vocab_rec* vocab = nullptr;
  int32_t rc = vocab_get(ctx, index, &vocab);
  if (rc != 0) return rc;
  *count = vocab->word_count;
  return 0;
}

int32_t vocab_numcats_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  vocab_rec* vocab = nullptr;
  int32_t rc = vocab_get(ctx, index, &vocab);
  if (rc != 0) return rc;
  *count = vocab->category_count;
  return 0;
}

int32_t vocab_word_get(context* ctx, int32_t index, uint32_t word_index, char* word, uint32_t* num_cats) {
  strio_out_clear(ctx, word);
  *num_cats = 0;
  vocab_rec* vocab = nullptr;
  int32_t rc = vocab_get(ctx, index, &vocab);
  if (rc != 0) return rc;
  if (word_index >= vocab->word_count) return -1;
  const vocab_word& entry = vocab->words[word_index];
  rc = strio_out_1028(ctx, entry.text != nullptr ? entry.text : "", word, kConvert);
  if (rc >= 0) *num_cats = entry.category_count;
  return rc;
}

int32_t vocab_wordcat_get(context* ctx, int32_t index, uint32_t word_index, uint32_t cat_pos, char* abbrev,
                          int32_t* likelihood) {
  strio_out_clear(ctx, abbrev);
  *likelihood = -1;
  vocab_rec* vocab = nullptr;
  int32_t rc = vocab_get(ctx, index, &vocab);
  if (rc != 0) return rc;
  if (word_index >= vocab->word_count) return -1;
  const vocab_word& entry = vocab->words[word_index];
  if (cat_pos >= entry.category_count) return -1;
  const category_rec* cat = vocab_category_get(vocab, entry.pairs[cat_pos].category);
  rc = strio_out(ctx, cat != nullptr ? cat->name : "", abbrev, kVocabAbbrevMax, kConvert);
  if (rc >= 0) *likelihood = entry.pairs[cat_pos].likelihood;
  return rc;
}

int32_t vocab_category_get(context* ctx, int32_t index, uint32_t cat_index, char* category, char* abbrev) {
  strio_out_clear(ctx, category);
  strio_out_clear(ctx, abbrev);
  vocab_rec* vocab = nullptr;
  int32_t rc = vocab_get(ctx, index, &vocab);
  if (rc != 0) return rc;
  const category_rec* cat = vocab_category_get(vocab, cat_index);
  if (cat == nullptr) return -1;
  const int32_t rc_name = strio_out_1028(ctx, cat->description, category, kConvert);
  if (rc_name < 0) return rc_name;
  const int32_t rc_abbrev = strio_out(ctx, cat->name, abbrev, kVocabAbbrevMax, kConvert);
  if (rc_abbrev < 0) return rc_abbrev;
  return rc_name > 0 ? rc_name : rc_abbrev;
}

int32_t vocab_edit_numcategories_set(context* ctx, int32_t index, uint32_t count) {
  vocab_rec* vocab = nullptr;
  int32_t rc = vocab_get_for_edit(ctx, index, &vocab);
  if (rc != 0) return rc;
  write_hold hold = write_hold::adopt(ctx);  // the edit's, given back on every path
  if (vocab->categories_made) {
    rc = -1;
  } else {
    auto* made = count > 0 ? static_cast<category_rec*>(np_calloc(count, sizeof(category_rec))) : nullptr;
    if (count > 0 && made == nullptr) {
      rc = TQ_ERR_NO_MEMORY;
    } else {
      vocab->categories = made;
      vocab->category_count = count;
      vocab->categories_made = 1;
    }
  }
  (void)hold.release();
  return rc;
}

int32_t vocab_edit_numwords_set(context* ctx, int32_t index, uint32_t count) {
  vocab_rec* vocab = nullptr;
  int32_t rc = vocab_get_for_edit(ctx, index, &vocab);
  if (rc != 0) return rc;
  write_hold hold = write_hold::adopt(ctx);  // the edit's, given back on every path
  if (vocab->words_made) {
    rc = -1;
  } else {
    auto* made = count > 0 ? static_cast<vocab_word*>(np_calloc(count, sizeof(vocab_word))) : nullptr;
    if (count > 0 && made == nullptr) {
      rc = TQ_ERR_NO_MEMORY;
    } else {
      vocab->words = made;
      vocab->word_count = count;
      vocab->words_made = 1;
    }
  }
  (void)hold.release();
  return rc;
}

int32_t vocab_edit_category_set(context* ctx, int32_t index, uint32_t cat_index, const char* abbrev,
                                const char* name) {
  char abbrev_text[kVocabAbbrevMax + 1];
  char name_text[1024 + 1];
  const int32_t conv_abbrev = text_in(ctx, abbrev, abbrev_text, kVocabAbbrevMax);
  if (conv_abbrev < 0) return conv_abbrev;
  const int32_t conv_name = strio_in_1024(ctx, name, name_text, kConvert);
  if (conv_name < 0) return conv_name;
  // The save refuses a category without abbreviation: so does the setter.
  if (abbrev_text[0] == '\0') {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "'abbrev' is empty: a category needs an abbreviation.");
    return TQ_ERR_ARGUMENT;
  }
  vocab_rec* vocab = nullptr;
  int32_t rc = vocab_get_for_edit(ctx, index, &vocab);
  if (rc != 0) return rc;
  write_hold hold = write_hold::adopt(ctx);  // the edit's, given back on every path
  if (cat_index >= vocab->category_count) {
    rc = TQ_ERR_INDEX;
  } else {
    // Interned into a copy: a failure leaves the category as it was.
    category_rec changed = vocab->categories[cat_index];
    rc = category_intern(ctx, &changed, abbrev_text, name_text, true);
    if (rc >= 0) vocab->categories[cat_index] = changed;
  }
  (void)hold.release();
  return rc_combine(rc_combine(conv_abbrev, conv_name), rc);
}

int32_t vocab_edit_word_set(context* ctx, int32_t index, uint32_t word_index, const char* word, uint32_t num_cats) {
  // Converted first, as every setter's text: a word over the limit is
  // refused there rather than cut.
  char text[kVocabWordMax + 1];
  const int32_t conv = strio_in(ctx, word, text, kVocabWordMax, kConvert);
  if (conv < 0) return conv;
  if (num_cats > kVocabCategoriesMax) {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "'num_cats' is above 255.");
    return TQ_ERR_ARGUMENT;
  }
  // The file holds a word only through its categories: one without any
  // would be written as nothing and be gone after the next load.
  if (num_cats == 0) {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "'num_cats' is 0: a word needs at least one category.");
    return TQ_ERR_ARGUMENT;
  }
  vocab_rec* vocab = nullptr;
  int32_t rc = vocab_get_for_edit(ctx, index, &vocab);
  if (rc != 0) return rc;
  write_hold hold = write_hold::adopt(ctx);  // the edit's, given back on every path
  rc = word_index >= vocab->word_count ? TQ_ERR_INDEX : vocab_word_set(vocab, word_index, text, num_cats, nullptr);
  (void)hold.release();
  return rc_combine(conv, rc);
}

int32_t vocab_edit_wordcat_set(context* ctx, int32_t index, uint32_t word_index, uint32_t cat_pos,
                               const char* abbrev, int32_t likelihood) {
  char text[kVocabAbbrevMax + 1];
  const int32_t conv = text_in(ctx, abbrev, text, kVocabAbbrevMax);
  if (conv < 0) return conv;
  if (int32_t rc = number_limit_check(ctx, kLikelihoodLimit, likelihood, TQ_ERR_ARGUMENT); rc < 0) return rc;
  vocab_rec* vocab = nullptr;
  int32_t rc = vocab_get_for_edit(ctx, index, &vocab);
  if (rc != 0) return rc;
  write_hold hold = write_hold::adopt(ctx);  // the edit's, given back on every path
  if (word_index >= vocab->word_count || cat_pos >= vocab->words[word_index].category_count) {
    rc = TQ_ERR_INDEX;
  } else {
    const int32_t at = vocab_category_find(vocab, text);
    if (at < 0) {
      rc = -1;
    } else {
      vocab_pair& pair = vocab->words[word_index].pairs[cat_pos];
      pair.category = static_cast<uint32_t>(at);
      pair.likelihood = static_cast<uint8_t>(likelihood);
    }
  }
  (void)hold.release();
  return rc_combine(conv, rc);
}

int32_t vocab_edit_prepare(context* ctx, int32_t index) {
  vocab_rec* vocab = nullptr;
  int32_t rc = vocab_get_for_edit(ctx, index, &vocab);
  if (rc != 0) return rc;
  write_hold hold = write_hold::adopt(ctx);  // the edit's, given back on every path
  // Checked before sorting: a refused prepare leaves every index as the
  // caller set it.
  rc = check_categories_distinct(ctx, vocab);
  if (rc == 0) rc = vocab_sort(vocab);
  (void)hold.release();
  return rc;
}

int32_t vocab_edit_new(context* ctx, const char* path, const char* name, lock_handle* lock) {
  std::string folder;
  const int32_t conv_path = xmldoc_file_folder_in(ctx, path, kFolderMax, &folder);
  if (conv_path < 0) return conv_path;
  char file[1024 + 1];
  const int32_t conv_name = strio_in_1024(ctx, name, file, kConvert);
  if (conv_name < 0) return conv_name;
  const int32_t rc = vocab_file_create(ctx, file, folder.c_str(), lock);
  if (rc < 0) return rc;
  return rc_combine(rc_combine(conv_path, conv_name), rc);
}

int32_t vocab_save(context* ctx, int32_t index, lock_handle* lock) {
  vocab_rec* vocab = nullptr;
  int32_t rc = vocab_get_for_edit(ctx, index, &vocab);
  if (rc != 0) return rc;
  write_hold hold = write_hold::adopt(ctx);  // the edit's, given back on every path
  // The vocabulary's own file, which the handle must lock (one made here
  // without a name takes the handle's only vocabulary file). The saved
  // vocabulary is sorted, as a load would give it back; but the file is
  // written in its own order whatever the vocabulary's, so the sort comes
  // last, once the file is written, with its buffers got before: a refused
  // or failed save leaves every index as the caller set it.
  fio_place place;  // the file the lock holds
  rc = rsrc_save_place(ctx, vocab->slot, lock, &place);
  if (rc == 0) rc = vocab_check_complete(ctx, vocab);
  if (rc == 0) rc = check_categories_distinct(ctx, vocab);
  category_sort_buffers buffers;
  if (rc == 0) rc = sort_buffers_get(vocab, &buffers);
  if (rc == 0) {
    rc = vocab_write(vocab, vocab->slot, ctx, place.path, kVocabFormCompiled, &place);
    if (rc >= 0) sort_with(vocab, buffers);
  }
  (void)hold.release();
  return rc;
}

}  // namespace tq
