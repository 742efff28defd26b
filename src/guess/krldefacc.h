// The accessors of the language definition family that belong to the kind
// (the common fields go through the store's shared accessors): training
// schemes and training, known pattern regex libraries, window size, scoring
// bias and options. Texts cross in the session encoding; resource names go
// out in 4,096 bytes.
//
// Setters take the definition for change and give the hold back on every
// path; a setter that names a resource opens the new one first, and gives
// the old reference back only once the new one is held, so a failed open
// leaves the definition as it was. Changes of the training schemes, the
// window size or the case-sensitive option leave the model untrained (the
// next score in edit mode retrains it); bias and regex libraries do not.
// Likelihoods outside 0..5, biases outside 0..6 and window sizes outside
// 2..4 are refused with -802.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"

struct tq_xmldoc;

namespace tq {

int32_t tqx_lang_defn_add(context* ctx, const char* name, int32_t* index);
int32_t tqx_lang_defn_copy(context* ctx, const char* sname, const char* dname, int32_t* index);

int32_t tqx_lang_defn_training_scheme_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_lang_defn_training_scheme_info_get(context* ctx, int32_t index, uint32_t item, char* sch_name);
int32_t tqx_lang_defn_training_scheme_info_set(context* ctx, int32_t index, uint32_t item, const char* sch_name);
int32_t tqx_lang_defn_training_schemes_delete_all(context* ctx, int32_t index);
int32_t tqx_lang_defn_training_scheme_add(context* ctx, int32_t index, const char* sch_name);
int32_t tqx_lang_defn_train(context* ctx, int32_t index);

int32_t tqx_lang_defn_known_ptrn_rgx_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_lang_defn_known_ptrn_rgx_info_get(context* ctx, int32_t index, uint32_t item, uint32_t* likelihood,
                                              char* rlib_name);
int32_t tqx_lang_defn_known_ptrn_rgx_delete(context* ctx, int32_t index, uint32_t item);
int32_t tqx_lang_defn_known_ptrn_rgx_delete_all(context* ctx, int32_t index);
int32_t tqx_lang_defn_known_ptrn_rgx_info_set(context* ctx, int32_t index, uint32_t item, uint32_t likelihood,
                                              const char* rlib_name);
int32_t tqx_lang_defn_known_ptrn_rgx_add(context* ctx, int32_t index, uint32_t likelihood, const char* rlib_name);

int32_t tqx_lang_defn_window_size_get(context* ctx, int32_t index, uint32_t* size);
int32_t tqx_lang_defn_window_size_set(context* ctx, int32_t index, uint32_t size);
int32_t tqx_lang_defn_scoring_bias_get(context* ctx, int32_t index, uint32_t* bias);
int32_t tqx_lang_defn_scoring_bias_set(context* ctx, int32_t index, uint32_t bias);
int32_t tqx_lang_defn_options_get(context* ctx, int32_t index, uint32_t* options);
int32_t tqx_lang_defn_options_set(context* ctx, int32_t index, uint32_t options);

}  // namespace tq
