// Framed exports of the n-gram profile family.
#include "api/krapi_frame.h"
#include "guess/krngram.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/ngram.def"
#undef TQ_FN
#undef TQ_FNK
