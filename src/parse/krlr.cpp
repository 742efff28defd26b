#include "parse/krlr.h"

namespace tq {

struct lr_automaton {
  int32_t unused;
};
struct lr_work {
  int32_t unused;
};

int32_t lr_automaton_build(parser_rec* p) {
  (void)p;
  return 0;
}
void lr_automaton_free(lr_automaton* a) { delete a; }
int32_t lr_work_create(lr_work** out) {
  *out = new lr_work{};
  return 0;
}
void lr_work_free(lr_work* work) { delete work; }
void lr_work_reset(lr_work* work) { (void)work; }
int32_t lrparse_parse(context*, parser_rec*, parser_runtime*, vec*, const analysed_word_list*, int32_t, int32_t, int32_t,
                      int32_t) {
  return TQ_ERR_NOT_SUPPORTED;
}

}  // namespace tq
