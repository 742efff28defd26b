// Framed exports of the locale guess definition family.
#include "api/krapi_frame.h"
#include "guess/krgdef.h"
#include "guess/krgdefacc.h"
#include "kbstore/krdefnacc.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/guess_defn.def"
#undef TQ_FN
#undef TQ_FNK
