// Vocabularies: the resource of kind "Vocab" that holds words, each with one
// or more token categories and a likelihood per category. Word analysis looks
// words up in them (resources/krvocb.h); edit mode fills them word by word and
// writes them back. The engine loads vocabularies in their compiled form (a
// flat file of fixed-size records with Base64 texts, ".zev", older ".krv");
// the krxml form is an exchange format reached by conversion.
//
// Invariants after a load, a prepare or a save: the category array is sorted
// by abbreviation and the word array by text, both in unsigned byte order,
// and every pair's category index lies inside the category array.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/krcorvel.h"
#include "kbstore/krdcat.h"
#include "kbstore/krlib.h"
#include "kbstore/krlocp.h"
#include "kbstore/krvlt.h"

struct tq_xmldoc;

namespace tq {

using xmldoc = ::tq_xmldoc;
struct lock_handle;

// Bounds of a vocabulary. A word carries at most 255 categories (a lookup
// result holds that many); its text is at most 1,024 bytes; a category
// abbreviation at most 128 bytes.
inline constexpr uint32_t kVocabCategoriesMax = 255;
inline constexpr uint32_t kVocabWordMax = 1024;
inline constexpr uint32_t kVocabAbbrevMax = kCategoryNameSize - 1;
inline constexpr uint32_t kVocabNameMax = 1024;  // category names in files
// Bytes of one text-pool chunk.
inline constexpr uint32_t kVocabChunkSize = 8192;

// Load forms and write modes.
inline constexpr uint32_t kVocabFormXml = 0;
inline constexpr uint32_t kVocabFormCompiled = 1;

// The five named likelihoods.
inline constexpr int32_t kVocabLikelihoodCount = 5;
struct vocab_likelihood {
  const char* name;
  int32_t value;
};
extern const vocab_likelihood kVocabLikelihoods[kVocabLikelihoodCount];

// One chunk of a text pool; chunks are zero-filled when made and never
// reclaimed before the vocabulary is freed.
struct vocab_chunk {
  vocab_chunk* next;
  uint32_t used;
  alignas(8) unsigned char bytes[kVocabChunkSize];
};

struct vocab_text_pool {
  vocab_chunk* head;  // newest first
};

struct vocab_pair {
  uint32_t category;  // index into the category array
  uint8_t likelihood;
};

struct vocab_word {
  const char* text;  // in the text pool; NULL for a word not set yet (edit mode)
  uint32_t category_count;
  vocab_pair* pairs;  // in the pair pool
};

// The hash index of the word texts that exact lookups use: open addressing,
// each slot the text's hash and its word index + 1 (0: empty). It is built
// while the words are sorted (after a load, a prepare, a save) and dropped
// whenever a word changes; a lookup also checks that it was built for the
// word array in place, and falls back to the binary search otherwise.
struct vocab_index_slot {
  uint32_t hash;
  uint32_t word;
};
struct vocab_word_index {
  vocab_index_slot* slots;
  uint32_t mask;            // slot count - 1 (a power of two)
  const void* words;        // the word array it was built for
  uint32_t count;           // and its word count
};

struct vocab_rec {
  resource_slot* slot;  // the registry slot whose part this is
  locale_info locale;
  vault_info vault;
  vocab_text_pool texts;  // word texts
  vocab_text_pool pairs;  // pair arrays (kept apart so that they stay aligned)
  vocab_word* words;
  uint32_t word_count;
  uint32_t words_made;  // 1 once the word array exists (even with count 0)
  category_rec* categories;
  uint32_t category_count;
  uint32_t categories_made;
  vocab_word_index index;  // exact lookup; slots NULL while there is none
};

// The result of a lookup: the found word's text (owned by the vocabulary),
// its category count and, per pair in stored order, the category record in
// the vocabulary (NULL only for a pair of an edited word whose index was
// never set to an existing category) and the likelihood.
struct vocab_match_category {
  const category_rec* category;
  uint32_t likelihood;
};
struct vocab_word_match {
  const char* text;
  uint32_t category_count;
  vocab_match_category categories[kVocabCategoriesMax];
};

// ---- The record ----------------------------------------------------------------

// A new empty vocabulary record (no arrays, locale cleared). -600.
int32_t vocab_rec_create(vocab_rec** out);
// Frees the pools, the arrays and the record; NULL is ignored.
void vocab_rec_destroy(vocab_rec* vocab);
// Makes the vocabulary hold n zeroed words and m zeroed categories with one
// chunk in each pool; the vault info is cleared. Earlier contents are freed.
// -600.
int32_t vocab_clear(vocab_rec* vocab, uint32_t n_words, uint32_t n_categories);
// n bytes from a pool, aligned to 8, from a fresh chunk when the newest one
// lacks room; the block is zero-filled. NULL when n exceeds a chunk or memory
// is out.
void* vocab_text_pool_alloc(vocab_text_pool* pool, uint32_t n);
void vocab_text_pool_free(vocab_text_pool* pool);
// Word `index` gets a pool copy of the text (at most kVocabWordMax bytes:
// -802 beyond), the category count and a pair array: a copy of `pairs` or,
// with pairs NULL, zeroed pairs. -802 for more than 255 pairs or an index out
// of range; -600.
int32_t vocab_word_set(vocab_rec* vocab, uint32_t index, const char* text, uint32_t count, const vocab_pair* pairs);
// Byte-order comparisons (bytes unsigned, a prefix first; NULL as "").
int32_t vocab_text_compare(const char* a, const char* b);
// Sorts the categories by abbreviation (the pairs follow their categories)
// and then the words by text. -600.
int32_t vocab_sort(vocab_rec* vocab);
// The index of a category by exact abbreviation, by binary search over the
// sorted array; -1 when absent.
int32_t vocab_category_find(const vocab_rec* vocab, const char* abbrev);
// The category record of an index, or NULL out of range.
const category_rec* vocab_category_get(const vocab_rec* vocab, uint32_t index);

// ---- The resource ---------------------------------------------------------------

// The vocabulary of a registry index, loaded on first use; the read hold of
// the caller covers its use.
int32_t vocab_get(context* ctx, int32_t index, vocab_rec** out);
// The same, returning 0 with the shared state's write hold, which the
// caller takes over at once (write_hold::adopt) so that every path gives it
// back; on failure nothing is held.
int32_t vocab_get_for_edit(context* ctx, int32_t index, vocab_rec** out);
// Registers (or references) a vocabulary by file name. Already registered
// counts as 0; negative results pass through.
int32_t vocab_load_by_name(context* ctx, const char* name, lock_handle* lock, uint32_t form, int32_t* index);
// The row of a definition's vocabulary table: columns "Name" and "Stop Flag".
struct vocab_ref {
  int32_t index;
  int32_t stop;
};
int32_t vocab_load_from_record(context* ctx, const char* kind_name, const char* defn_name, const xmldoc* doc,
                               int32_t row, vocab_ref* out);
// rsrc_find_by_name of the kind; -404 (message 1404) when absent.
int32_t vocab_find_by_name(context* ctx, const char* name, int32_t* index);

// Registry callbacks.
int32_t vocab_rsrc_load(context* ctx, resource_slot* slot, lock_handle* lock, uintptr_t form);
int32_t vocab_rsrc_free(context* ctx, resource_slot* slot, uintptr_t arg);

// Builds a vocabulary from a "Vocabulary" document with its "Category"
// include. keep_order 1 keeps the stored word order (compiled files are
// written sorted). `name` names the vocabulary in messages.
int32_t vocab_from_document(context* ctx, const char* name, const xmldoc* doc, uint32_t keep_order,
                            vocab_rec* vocab);
// Reads a vocabulary file of a form (without registering it) into a fresh
// record; version and owner go to the slot when one is given. With `held`,
// the compiled file a lock holds is read (vocab_compiled_read).
int32_t vocab_read_file(context* ctx, const char* name, uint32_t form, resource_slot* slot, vocab_rec** out,
                        const fio_place* held = nullptr);
// Writes the vocabulary: mode 0 as an XML file, mode 1 compiled. The slot
// gives the version and owner (may be NULL). 111 when duplicate pairs were
// dropped. With `held`, the file a lock holds is written (path is then
// held->path), in its place and under its name there.
int32_t vocab_write(vocab_rec* vocab, const resource_slot* slot, context* ctx, const char* path, uint32_t mode,
                    const fio_place* held = nullptr);
// Whether a vocabulary can be written: every word and pair set, every
// category named, a locale of the locale table, no word text given twice
// (a load would make one word of them). -300 (recorded).
int32_t vocab_check_complete(context* ctx, const vocab_rec* vocab);
// A name without ".krd", ".xml", ".krv" or ".zev" (case matters) when it has
// at least 5 characters. -1 when it does not fit.
int32_t vocab_name_cut(const char* name, char* out, uint32_t size);

// ---- Compiled files ----------------------------------------------------------------

// Flag bits of vocab_compile and vocab_compiled_read.
inline constexpr uint32_t kVocabFileCode = 0x1;       // Base64 the texts
inline constexpr uint32_t kVocabFileNameAsGiven = 0x8;  // no extension added
// Size of the locale block and of each vault text field.
inline constexpr uint32_t kVocabLocaleBlockSize = 87;
inline constexpr uint32_t kVocabVaultFieldSize = 1024;
inline constexpr uint32_t kVocabHeaderPathSize = 4096;

void hex8_format(uint32_t value, char* out);  // 9 bytes with the terminator
uint32_t hex8_parse(const unsigned char* bytes);
// Passes the bytes of a locale ISO code through the engine's substitution;
// applying it twice gives the bytes back, and no byte other than 0 becomes 0.
void vocab_locale_code_substitute(unsigned char* bytes, uint32_t n);

// Writes a "Vocabulary" document with its "Category" include as a compiled
// file (to a temporary file beside it, then renamed over it): the file of
// `path`, or, when `held` is given, the file a lock holds there (path then
// only names it).
int32_t vocab_compile(const char* path, context* ctx, const xmldoc* doc, uint32_t flags,
                      const fio_place* held = nullptr);
// Reads a compiled file into a new "Vocabulary" document; *encoding receives
// the stored texts' encoding code. With `held`, the file read is the one a
// lock holds, in its folder under its name there (path then only names it).
int32_t vocab_compiled_read(uint32_t* encoding, context* ctx, const char* path, uint32_t flags, xmldoc** out,
                            const fio_place* held = nullptr);

// The header object of an opened compiled file: what vault handles change
// without touching the words.
struct vocab_baked_header {
  context* ctx;
  uint32_t category_count;
  uint32_t entry_count;
  uint32_t category_size;
  uint32_t entry_size;
  unsigned char* data;  // the category and entry records as stored
  uint32_t data_size;
  char path[kVocabHeaderPathSize];
  uint32_t open_flags;
  int32_t locale_code;
  unsigned char locale_block[kVocabLocaleBlockSize];
  uint32_t encoding;
  char vault_name[kVocabVaultFieldSize + 1];
  char description[kVocabVaultFieldSize + 1];
  uint32_t found_kind;  // the file kind the file was found as (8 or 6)
};

// Reads the header of the compiled file `path`; with `held`, of the file a
// lock holds there instead (path not looked up, a link at its name refused,
// -400), and the header names that file.
int32_t vocab_baked_header_open(context* ctx, const char* path, uint32_t open_flags, vocab_baked_header** out,
                                const fio_place* held = nullptr);
// Writes the header back with the records as read: over the file of its
// path, or, with `held`, over the file the lock holds, wherever it now is.
int32_t vocab_baked_header_write(context* ctx, vocab_baked_header* header, const fio_place* held = nullptr);
int32_t vocab_baked_header_locale_set(context* ctx, vocab_baked_header* header, const char* iso);
// Sets the vault object name and description (each cut to 1,024 bytes).
void vocab_baked_header_vault_set(vocab_baked_header* header, const char* name, const char* description);
void vocab_baked_header_fields_get(const vocab_baked_header* header, const char** name, const char** description,
                                   int32_t* locale_code);
int32_t vocab_baked_header_locale_get(context* ctx, const vocab_baked_header* header, locale_info* out);
void vocab_baked_header_free(vocab_baked_header* header);
// The header operations that the vault-file handles of the knowledge-base
// store (a layer below) need to reach compiled files (kind 8); the top
// layer's wiring lends them (src/api/krwire.cpp).
const vault_vocab_ops* vocab_vault_ops();

// ---- Export implementations ---------------------------------------------------------

int32_t vocabulary_load(context* ctx, const char* name, lock_handle* lock, int32_t* index);
int32_t vocabulary_create(context* ctx, int32_t* index);
int32_t vocabulary_likelihood_count_get(context* ctx, uint32_t* count);
int32_t vocabulary_likelihood_info_get(context* ctx, int32_t position, char* name, int32_t* value);
int32_t vocabulary_likelihood_name_get_by_value(context* ctx, int32_t value, char* name);
int32_t vocabulary_likelihood_value_get_by_name(context* ctx, const char* name, int32_t* value);
int32_t vocab_file_convert(context* ctx, int32_t direction, const char* fromfile, const char* tofile);
int32_t vocab_numwords_get(context* ctx, int32_t index, uint32_t* count);
int32_t vocab_numcats_get(context* ctx, int32_t index, uint32_t* count);
int32_t vocab_word_get(context* ctx, int32_t index, uint32_t word_index, char* word, uint32_t* num_cats);
int32_t vocab_wordcat_get(context* ctx, int32_t index, uint32_t word_index, uint32_t cat_pos, char* abbrev,
                          int32_t* likelihood);
int32_t vocab_category_get(context* ctx, int32_t index, uint32_t cat_index, char* category, char* abbrev);
int32_t vocab_edit_numcategories_set(context* ctx, int32_t index, uint32_t count);
int32_t vocab_edit_numwords_set(context* ctx, int32_t index, uint32_t count);
int32_t vocab_edit_category_set(context* ctx, int32_t index, uint32_t cat_index, const char* abbrev,
                                const char* name);
int32_t vocab_edit_word_set(context* ctx, int32_t index, uint32_t word_index, const char* word, uint32_t num_cats);
int32_t vocab_edit_wordcat_set(context* ctx, int32_t index, uint32_t word_index, uint32_t cat_pos,
                               const char* abbrev, int32_t likelihood);
int32_t vocab_edit_prepare(context* ctx, int32_t index);
int32_t vocab_edit_new(context* ctx, const char* path, const char* name, lock_handle* lock);
int32_t vocab_save(context* ctx, int32_t index, lock_handle* lock);

}  // namespace tq
