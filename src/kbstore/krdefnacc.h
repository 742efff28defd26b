// The accessors every definition kind shares: the common fields of a
// definition, its resource lists, default categories, vocabularies with
// their fuzzy parameters, and its tokens, addressed by (kind, index) in the
// current locale (and a token position). Each kind's exports bind their kind
// number ahead of the caller's arguments, in the exports' order, so that an
// export is one table row with no wrapper of its own:
//
//   TQ_FNK(tq_parse_defn_chopper_name_set, READ, NEEDS_EDIT, defn_chopper_name_set, kDefnParse,
//          (int32_t, index), (const char*, name, NONNULL))
//
// Plain fields are field descriptors read and set by the generic field_get /
// field_set (krfield.h); only accessors with logic of their own are
// functions here.
//
// Conventions of every accessor:
// - Texts cross in the session encoding; names of resources are taken in at
//   most 4,096 bytes. A text that cannot be converted is refused with the
//   conversion's failure and changes nothing; a positive conversion warning
//   is returned when nothing failed.
// - Getters clear their outputs first and read under the caller's read
//   hold. Setters take the definition for change (defn_record_get_for_write)
//   and give the hold back on every path; a failed setter leaves the
//   definition as it was.
// - A setter that names a resource opens the new one first and then gives
//   the old reference back; a name equal (byte for byte, after conversion)
//   to the present resource's name changes nothing and takes no reference.
// - Every change to what a kind prepares from a definition (its resource
//   lists, chopper, vocabularies, default categories, automatic uppercasing,
//   its tokens) drops the prepared state through the kind's invalidate hook.
// - Out types: counts, flags, stop flags, likelihoods, fuzzy parameters and
//   scheme options are uint32_t; indices, positions and keys, which may be
//   -1, are int32_t.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdefnlist.h"
#include "kbstore/krfield.h"

namespace tq {

// The one swap of a resource a record holds, for every kind's setters: a
// slot already holding the resource of that UTF-8 name (byte for byte)
// changes nothing and takes no reference; otherwise the named resource is
// opened first, then the old reference given back and the new one put in
// its place. The new one is read at once as its kind (rsrc_open_checked):
// a file of that name of another kind is refused. A failed open leaves the
// slot as it was. *changed tells whether the slot changed. reg: the kind's
// own registration, for the kinds rsrc_open does not reach (grammars,
// phonetics).
int32_t defn_ref_swap(context* ctx, uint32_t rkind, rsrc_ref& slot, const char* name, bool* changed,
                      rsrc_register_fn reg = nullptr);

// ---- Plain fields (field_get / field_set) --------------------------------------------

extern const field_desc kDefnOwner;                 // text, 320 bytes, trimmed; a set raises to "9.0"
extern const field_desc kDefnIncomplete;            // flag
extern const field_desc kDefnValid;                 // flag
extern const field_desc kDefnValidFlagInfo;         // u32: the validity bits
extern const field_desc kDefnEditable;              // flag
extern const field_desc kDefnSurface;               // flag, as stored (option bit 20 not applied)
extern const field_desc kDefnAutomaticUppercasing;  // flag, out 1; a set drops the prepared state
// Read through these two, set through defn_parse_defn_index_set and
// defn_parsed_input_flag_set, which keep them together.
extern const field_desc kDefnParseDefnIndex;        // i32, out -1; any failure -708
extern const field_desc kDefnParsedInputFlag;       // flag, raw (option bit 21 not applied); any failure -800
// A token's automatic uppercasing, by (kind, index, token): out 1, any
// failure -800; a set drops the definition's prepared state.
extern const field_desc kDefnTokenAutomaticUppercasing;

// ---- Names and lookups ------------------------------------------------------------------

// The name (320 bytes): of a surfaced definition only (-701, message 173),
// or of any.
int32_t defn_name_get_surfaced(context* ctx, int32_t kind, int32_t index, char* name);
int32_t defn_name_get_any(context* ctx, int32_t kind, int32_t index, char* name);
// The index of a definition by name: surfaced ones only, or any.
int32_t defn_index_get_surfaced(context* ctx, int32_t kind, const char* name, int32_t* index);
int32_t defn_index_get_any(context* ctx, int32_t kind, const char* name, int32_t* index);
// Renames after the name rules (krdefn.h: convert, trim, then the checks
// against the own definitions of the definition's locale).
int32_t defn_name_set(context* ctx, int32_t kind, int32_t index, const char* name);

// The surface flag, 1 for every definition under option bit 20.
int32_t defn_surface_flag_get(context* ctx, int32_t kind, int32_t index, uint32_t* flag);

// The replacement (320 bytes) is given only while deprecated is 1.
int32_t defn_deprecated_info_get(context* ctx, int32_t kind, int32_t index, uint32_t* deprecated,
                                 char* replacement);
// Deprecated 1 with a non-empty text keeps the text (converted, at most 320
// bytes); otherwise the replacement is emptied. Raises the version to "9.0".
int32_t defn_deprecated_info_set(context* ctx, int32_t kind, int32_t index, uint32_t deprecated,
                                 const char* replacement);

// The datatype the definition names in its own locale, as the index of the
// datatype of that name in the current locale; -1 when it names none.
int32_t defn_datatype_index_get(context* ctx, int32_t kind, int32_t index, int32_t* dtype_index);
// Sets the datatype from an index the getter speaks (the current locale's),
// so that what the getter gave is taken and read back the same: the
// definition keeps the datatype of that name in its own locale. -800,
// nothing changed, for an index that names no datatype, or one the
// definition's own locale does not see, and for -1 (none), which no kind's
// file keeps: its reader would fall back on another datatype
// (defn_datatype_fallback_name) or refuse the definition.
int32_t defn_datatype_index_set(context* ctx, int32_t kind, int32_t index, int32_t dtype_index);
// The same for a kind whose tokens become the datatype's (extraction): the
// first `names` tokens of the new datatype must each fit a definition's
// token name (320 bytes), or the call is refused with nothing changed, as
// the tokens it would make could not be named.
int32_t defn_datatype_index_set_naming(context* ctx, int32_t kind, int32_t index, int32_t dtype_index, uint32_t names);
// The same resolution for a setter that holds the record for change: *own
// the index the definition would keep (-1 for none).
int32_t defn_datatype_index_own(context* ctx, const defn_rec* rec, int32_t dtype_index, int32_t* own);
// The parse definition, by its index in the definition's own locale: -800,
// nothing changed, for one that names no loaded parse definition; -1 names
// none and takes "Allow Parsed Input" off with it, except for a kind that
// cannot be without one (defn_kind_ops::needs_named: -800). Drops the
// prepared state.
int32_t defn_parse_defn_index_set(context* ctx, int32_t kind, int32_t index, int32_t parse_index);
// "Allow Parsed Input" on needs a parse definition (-708 without one, as a
// file without "Parsorithm" reads it off); off is always taken.
int32_t defn_parsed_input_flag_set(context* ctx, int32_t kind, int32_t index, uint32_t flag);
// The name of the parse definition it names (320 bytes), looked up in the
// definition's own locale; empty when none.
int32_t defn_parse_defn_name_get(context* ctx, int32_t kind, int32_t index, char* name);

// The stored document itself (owned by the definition; NULL for none).
int32_t defn_comments_get(context* ctx, int32_t kind, int32_t index, tq_xmldoc** comments);
int32_t defn_layouts_get(context* ctx, int32_t kind, int32_t index, tq_xmldoc** layouts);
// The present document is freed; the definition takes the given one when it
// has at least one include, else keeps none and the caller keeps its
// document. Setting the stored document itself changes nothing.
int32_t defn_comments_set(context* ctx, int32_t kind, int32_t index, tq_xmldoc* comments);
int32_t defn_layouts_set(context* ctx, int32_t kind, int32_t index, tq_xmldoc* layouts);

// ---- Surfaced definitions ------------------------------------------------------------
// A definition is surfaced when its stored flag is 1, or for every
// definition under option bit 20. Unloaded slots never count.

// The surfaced ones among the current locale's definitions (own and
// inherited).
int32_t defn_surfaced_count_get(context* ctx, int32_t kind, uint32_t* count);
// The surfaced ones among a loaded locale's own definitions.
int32_t defn_surfaced_count_get_by_locale(context* ctx, int32_t kind, int32_t locale, uint32_t* count);
// The name (320 bytes) of the position-th surfaced definition in index
// order, counted from 0; -800 for a position not below the surfaced count.
int32_t defn_surfaced_name_get(context* ctx, int32_t kind, int32_t position, char* name);

// ---- Whole definitions --------------------------------------------------------------
// Names in the session encoding.

// defn_add into the current locale; *index the new definition's index.
int32_t defn_add_named(context* ctx, int32_t kind, const char* name, int32_t* index);
// defn_copy of the definition named source (surfaced or not) as dest.
int32_t defn_copy_named(context* ctx, int32_t kind, const char* source, const char* dest, int32_t* index);
// The definition's element (defn_element_write) included into xml; an
// unloaded slot is -800. Only a failure is returned.
int32_t defn_write_into(context* ctx, int32_t kind, tq_xmldoc* xml, int32_t index);

// ---- Regex-library lists: preprocessing and normalization -----------------------------
// Entries are regex libraries opened by name. An entry may be empty (a
// library whose file went away): its name reads as "".

int32_t defn_preprocessing_regexlib_count_get(context* ctx, int32_t kind, int32_t index, uint32_t* count);
// Opens the library and appends it; the open's failure changes nothing.
int32_t defn_preprocessing_regexlib_add(context* ctx, int32_t kind, int32_t index, const char* name);
int32_t defn_preprocessing_regexlibs_delete_all(context* ctx, int32_t kind, int32_t index);
// -800 for an entry out of range; 4,096 bytes.
int32_t defn_preprocessing_regexlib_name_get_by_index(context* ctx, int32_t kind, int32_t index, int32_t entry,
                                                      char* name);
// -800 for an entry out of range; entry 0 with an empty name empties the
// whole list; an empty name elsewhere is -802; another name replaces the
// entry's library.
int32_t defn_preprocessing_regexlib_name_set_by_index(context* ctx, int32_t kind, int32_t index, int32_t entry,
                                                      const char* name);
// The single form: the first library's name (empty when none; -802 for a
// NULL out), and the set that leaves the list holding only the named
// library (an empty name empties it).
int32_t defn_preprocessing_regexlib_name_get(context* ctx, int32_t kind, int32_t index, char* name);
int32_t defn_preprocessing_regexlib_name_set(context* ctx, int32_t kind, int32_t index, const char* name);

int32_t defn_normalization_regexlib_count_get(context* ctx, int32_t kind, int32_t index, uint32_t* count);
// An empty name does what delete_all does.
int32_t defn_normalization_regexlib_add(context* ctx, int32_t kind, int32_t index, const char* name);
// Empties the list and sets automatic uppercasing back to 1.
int32_t defn_normalization_regexlibs_delete_all(context* ctx, int32_t kind, int32_t index);
int32_t defn_normalization_regexlib_name_get_by_index(context* ctx, int32_t kind, int32_t index, int32_t entry,
                                                      char* name);
int32_t defn_normalization_regexlib_name_set_by_index(context* ctx, int32_t kind, int32_t index, int32_t entry,
                                                      const char* name);

// ---- Single resources: chopper, postprocessing regex library ----------------------------
// Get: 4,096 bytes, empty when none. Set: an empty name drops the present
// one; another name replaces it.

int32_t defn_chopper_name_get(context* ctx, int32_t kind, int32_t index, char* name);
int32_t defn_chopper_name_set(context* ctx, int32_t kind, int32_t index, const char* name);
int32_t defn_postprocessing_regexlib_name_get(context* ctx, int32_t kind, int32_t index, char* name);
int32_t defn_postprocessing_regexlib_name_set(context* ctx, int32_t kind, int32_t index, const char* name);

// ---- Default categories ------------------------------------------------------------------

int32_t defn_default_category_count_get(context* ctx, int32_t kind, int32_t index, uint32_t* count);
// Appends an entry without category, likelihood 50; *cat_index its position.
int32_t defn_default_category_add(context* ctx, int32_t kind, int32_t index, int32_t* cat_index);
// -800 (message 179) for an entry out of range.
int32_t defn_default_category_delete(context* ctx, int32_t kind, int32_t index, int32_t entry);
int32_t defn_default_categories_delete_all(context* ctx, int32_t kind, int32_t index);
// The category (128 bytes; empty for an entry without one) and likelihood
// (out 50 first); -800 (message 179).
int32_t defn_default_category_info_get(context* ctx, int32_t kind, int32_t index, int32_t entry, char* category,
                                       uint32_t* likelihood);
// -802 unless the category is not empty and the likelihood is 10..90; -800
// (message 179). The category is stored uppercased, as categories read from
// files are.
int32_t defn_default_category_info_set(context* ctx, int32_t kind, int32_t index, int32_t entry,
                                       const char* category, uint32_t likelihood);

// ---- Vocabularies ------------------------------------------------------------------------

int32_t defn_vocabulary_count_get(context* ctx, int32_t kind, int32_t index, uint32_t* count);
// Opens the vocabulary and appends it with the stop flag and the default
// fuzzy parameters; one that cannot be opened gives its code (message 192).
int32_t defn_vocabulary_add(context* ctx, int32_t kind, int32_t index, const char* name, uint32_t stop);
int32_t defn_vocabularies_delete_all(context* ctx, int32_t kind, int32_t index);
// Name (4,096 bytes) and stop flag; -800.
int32_t defn_vocabulary_info_get_by_index(context* ctx, int32_t kind, int32_t index, int32_t entry, char* name,
                                          uint32_t* stop);
// -800 (nothing changes); entry 0 with an empty name empties the list; an
// empty name elsewhere is -802; otherwise the vocabulary is replaced when
// the name differs (message 192 on failure, nothing changed) and the stop
// flag set.
int32_t defn_vocabulary_info_set_by_index(context* ctx, int32_t kind, int32_t index, int32_t entry,
                                          const char* name, uint32_t stop);
// The single form: the first vocabulary's name (16,384 bytes), and the set
// that leaves only the named vocabulary (stop flag 0; an empty name empties
// the list).
int32_t defn_vocabulary_name_get(context* ctx, int32_t kind, int32_t index, char* name);
int32_t defn_vocabulary_name_set(context* ctx, int32_t kind, int32_t index, const char* name);

// A vocabulary's fuzzy lookup parameters (-800 for an entry out of range):
// the get gives the defaults (0, 80) first, and the threshold reads 80 while
// disabled; the set stores the threshold only when enabling.
int32_t defn_fuzzy_vocab_lookup_params_get_by_index(context* ctx, int32_t kind, int32_t index, int32_t entry,
                                                    uint32_t* enabled, uint32_t* threshold);
int32_t defn_fuzzy_vocab_lookup_params_set_by_index(context* ctx, int32_t kind, int32_t index, int32_t entry,
                                                    uint32_t enabled, uint32_t threshold);
// The same for the first vocabulary.
int32_t defn_fuzzy_vocab_lookup_params_get(context* ctx, int32_t kind, int32_t index, uint32_t* enabled,
                                           uint32_t* threshold);
int32_t defn_fuzzy_vocab_lookup_params_set(context* ctx, int32_t kind, int32_t index, uint32_t enabled,
                                           uint32_t threshold);

// ---- Tokens ---------------------------------------------------------------------------------
// Token positions count from 0; a position out of range is -800 (message
// 194). Every change drops the definition's prepared state.

// Any failure gives -800 (count 0).
int32_t defn_token_count_get(context* ctx, int32_t kind, int32_t index, uint32_t* count);
// Appends a token initialised for the kind; *token_index its position.
int32_t defn_token_add(context* ctx, int32_t kind, int32_t index, int32_t* token_index);
// Appends a token named as a token of the definition's datatype (the
// checks of defn_token_name_set, made before the token is added: a name
// refused adds nothing); *token_index its position.
int32_t defn_token_add_named(context* ctx, int32_t kind, int32_t index, const char* name, int32_t* token_index);
// Removes the token (its references given back); later tokens move down one
// place and take the key of their datatype token again.
int32_t defn_token_delete(context* ctx, int32_t kind, int32_t index, int32_t token);
// Position k takes the old token order[k]; order holds one entry per token
// and names each position once, else -802 and nothing moves.
int32_t defn_token_rearrange(context* ctx, int32_t kind, int32_t index, const int32_t* order);

// The token for reading, under the caller's read hold.
int32_t defn_token_get_for_read(context* ctx, int32_t kind, int32_t index, int32_t token, dtok_rec** out);
// The token for change, returning holding the write hold on success, in
// *held (give it back with defn_token_write_end, which also drops the
// definition's prepared state); *rec (when given) its definition. Nothing
// held on failure.
int32_t defn_token_get_for_write(context* ctx, int32_t kind, int32_t index, int32_t token, dtok_rec** out,
                                 defn_rec** rec, write_hold* held);
// Ends a change begun by defn_token_get_for_write: drops the prepared state
// of `rec` when `changed`, then gives the hold back.
int32_t defn_token_write_end(context* ctx, defn_rec* rec, bool changed, write_hold& held);

// Token names: 320-byte caller buffers.
int32_t defn_token_name_get(context* ctx, int32_t kind, int32_t index, int32_t token, char* name);
// Every name into names[0 .. *num_names - 1] (at most 32 buffers) of the
// definition of that name (surfaced or not, ignoring case).
int32_t defn_token_names_get(context* ctx, int32_t kind, const char* defn_name, char** names,
                             uint32_t* num_names);
// The name (1,024 bytes taken in) must be a token of the definition's
// datatype (-300, message 87; empty -300, message 86).
int32_t defn_token_name_set(context* ctx, int32_t kind, int32_t index, int32_t token, const char* name);
// The key of the token of that name, ignoring case (-802, message 86).
int32_t defn_token_key_get_by_name(context* ctx, int32_t kind, int32_t index, const char* name, int32_t* key);

// A token's regex libraries.
int32_t defn_token_regexlib_count_get(context* ctx, int32_t kind, int32_t index, int32_t token, uint32_t* count);
int32_t defn_token_regexlibs_delete_all(context* ctx, int32_t kind, int32_t index, int32_t token);
int32_t defn_token_regexlib_add(context* ctx, int32_t kind, int32_t index, int32_t token, const char* name,
                                uint32_t high, uint32_t low);
// The same name keeps library j and replaces the range; another opens the
// named library in its place. -800 for j out of range.
int32_t defn_token_regexlib_set(context* ctx, int32_t kind, int32_t index, int32_t token, int32_t entry,
                                const char* name, uint32_t high, uint32_t low);
// Library j's name, 4,096 bytes.
int32_t defn_token_regexlib_info_get(context* ctx, int32_t kind, int32_t index, int32_t token, int32_t entry,
                                     char* name);
// -802 for an empty name; replaces library j when the name differs.
int32_t defn_token_regexlib_name_set(context* ctx, int32_t kind, int32_t index, int32_t token, int32_t entry,
                                     const char* name);

// A token's standardization schemes.
int32_t defn_token_stdz_scheme_count_get(context* ctx, int32_t kind, int32_t index, int32_t token,
                                         uint32_t* count);
// Scheme j's name (4,096 bytes) and options.
int32_t defn_token_stdz_scheme_info_get(context* ctx, int32_t kind, int32_t index, int32_t token, int32_t entry,
                                        char* name, uint32_t* options);
// A name or options other than scheme j's open the named scheme in its
// place; disable phonetx -1 and each range end -1 keep what is stored.
int32_t defn_token_stdz_scheme_info_set(context* ctx, int32_t kind, int32_t index, int32_t token, int32_t entry,
                                        const char* name, uint32_t options, int32_t disable_phonetx, int32_t high,
                                        int32_t low);
int32_t defn_token_stdz_schemes_delete_all(context* ctx, int32_t kind, int32_t index, int32_t token);
int32_t defn_token_stdz_scheme_add(context* ctx, int32_t kind, int32_t index, int32_t token, const char* name,
                                   uint32_t options, uint32_t disable_phonetx, uint32_t high, uint32_t low);

}  // namespace tq
