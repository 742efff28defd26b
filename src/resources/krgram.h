// Grammars, the resource kind "Grammar": the token categories that analysed
// words carry and the rules that build larger categories out of sequences
// of categories. The parse engines read them; in edit mode they are built,
// changed and written back. A grammar lives in its registry slot; it is read
// from a "Grammar" document with an inline "Category" table.
#pragma once

#include <cstdint>

#include "tq.h"
#include "core/krcorvel.h"
#include "core/krhash.h"
#include "core/krvec.h"
#include "kbstore/krdcat.h"
#include "kbstore/krlib.h"
#include "kbstore/krlocp.h"
#include "kbstore/krvlt.h"

namespace tq {

// Priorities given through the interface; rules read from a file keep theirs
// (a parse's sums of them saturate).
inline constexpr int32_t kGrammarPriorityMin = 10;
inline constexpr int32_t kGrammarPriorityMax = 90;
inline constexpr number_limit kGrammarPriorityLimit{"Priority", kGrammarPriorityMin, kGrammarPriorityMax};

struct grammar_category;

// One rule of a syntactic category (the category is its left side).
struct grammar_rule {
  int32_t number;     // -1 until added, then the grammar's rule counter
  uint32_t priority;
  vec right;          // grammar_category* of the same grammar, not owned
  int32_t min_span;   // working fields of the LR parser's preparation
  uint32_t passes;
};

struct grammar_category {
  category_rec cat;  // name (the "abbreviation"), description, registry id
  vec* rules;        // owning vector of grammar_rule*; NULL for a terminal category
  int32_t min_span;  // -1 at creation; set by the LR parser's preparation
};

// The record a grammar's slot keeps in its part.
struct grammar_rec {
  resource_slot* slot;  // its registry slot (names the grammar in messages)
  vec categories;       // owning vector of grammar_category*, in order of adding
  hash_table names;     // category name (case-insensitive) -> index + 1
  locale_info locale;
  vault_info vault;
  uint32_t rule_counter;  // the number the next rule added takes
  // Unique in the process for every grammar record made: what a parser
  // built on this grammar is known by, so that a grammar loaded again into
  // the same slot is never mistaken for the one that was freed.
  uint64_t serial;
};

// ---- The resource kind ---------------------------------------------------------------

// Registry load callback: reads the grammar's document by the slot's name
// (locking it through the handle when one is given). On failure nothing is
// kept, the lock this load took is given back, and the slot stays
// registered with its references.
int32_t grammar_rsrc_load(context* ctx, resource_slot* slot, lock_handle* lock, uintptr_t arg);
int32_t grammar_rsrc_free(context* ctx, resource_slot* slot, uintptr_t arg);

// The grammar at a registry index for reading, loaded on first use.
int32_t grammar_get(context* ctx, int32_t index, grammar_rec** out);
// The same for change: returns holding the shared state's write hold, which
// grammar_edit_end gives back.
int32_t grammar_get_for_edit(context* ctx, int32_t index, grammar_rec** out);
int32_t grammar_edit_end(context* ctx, grammar_rec* rec);
// Registers the grammar by file name (UTF-8) or adds a reference to the one
// registered: 0 with its index, or the registry's failure.
int32_t grammar_load_by_name(context* ctx, const char* name, lock_handle* lock, int32_t* index);
// The same without a lock, in the registry's form of a kind's registration
// (rsrc_register_fn), so that an edit naming a grammar opens it checked:
// rsrc_open_checked_by(ctx, kRsrcGrammar, grammar_register, name, &ref).
int32_t grammar_register(context* ctx, const char* name, int32_t* index);

const vec* grammar_category_list(const grammar_rec* rec);
// Index by name (looked up without regard to case), or -1.
int32_t grammar_category_index_by_name(context* ctx, grammar_rec* rec, const char* name);
// NULL for -1 or an index out of range.
grammar_category* grammar_category_get(const grammar_rec* rec, int32_t index);
grammar_category* grammar_category_get_by_name(context* ctx, grammar_rec* rec, const char* name);
int32_t grammar_category_has_rules(const grammar_category* category);
void grammar_rule_init(grammar_rule* rule, uint32_t priority);
void grammar_rule_free(grammar_rule* rule);

// Appends a copy of a filled category: -300 (1461) for a name the grammar
// holds, (1462) for a rule naming a category the grammar lacks; -600. The
// grammar is unchanged on failure.
int32_t grammar_category_append(context* ctx, grammar_rec* rec, const grammar_category* given);
// Appends a copy of a filled rule to a category: -1 for none; -300 (1463)
// for a category not of this grammar, (1464) for a right side naming a
// category the grammar lacks, (1465) for a right side the category already
// has; -600. On failure the grammar is as it was.
int32_t grammar_rule_append(context* ctx, grammar_rec* rec, grammar_category* category, const grammar_rule* rule);

// For the categorization entries: copies the category record (name,
// description, registry id) of the grammar's category of that name, under
// the grammar's edit hold. 1 when found, 0 when the grammar has none, or the
// failure to take the grammar.
int32_t grammar_category_copy_by_name(context* ctx, int32_t grammar, const char* name, category_rec* out);

// ---- Export implementations -------------------------------------------------------------

int32_t grammar_load(context* ctx, const char* name, int32_t* index);
int32_t grammar_edit(context* ctx, const char* name, tq_lock_handle* lock, int32_t* index);
int32_t grammar_create(context* ctx, const char* name, int32_t* index);
int32_t grammar_edit_new(context* ctx, const char* path, const char* name, tq_lock_handle* lock);
int32_t grammar_save(context* ctx, int32_t index, tq_lock_handle* lock);
int32_t grammar_category_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t grammar_category_info_get(context* ctx, int32_t index, int32_t cat_index, char* abbrev, char* name,
                                  uint32_t* rule_count);
int32_t grammar_rule_info_get(context* ctx, int32_t index, int32_t cat_index, int32_t rule_index, int32_t* priority,
                              uint32_t* cat_count);
int32_t grammar_rule_category_abbrev_get(context* ctx, int32_t index, int32_t cat_index, int32_t rule_index,
                                         int32_t position, char* abbrev);
int32_t grammar_category_add(context* ctx, int32_t index, const char* abbrev, const char* name);
int32_t grammar_rule_add(context* ctx, int32_t index, int32_t cat_index, int32_t priority);
int32_t grammar_rule_category_add(context* ctx, int32_t index, int32_t cat_index, int32_t rule_index,
                                  const char* abbrev);
int32_t grammar_syntactic_category_info_get(context* ctx, int32_t index, int32_t cat_index, char* name,
                                            int32_t* derived_flag);
int32_t grammar_syntactic_category_name_get(context* ctx, int32_t index, int32_t cat_index, char* name);
int32_t grammar_syntactic_category_desc_get(context* ctx, int32_t index, int32_t cat_index, char* desc);

}  // namespace tq
