// Framed exports of the standardization definition family.
#include "api/krapi_frame.h"
#include "kbstore/krdefnacc.h"
#include "standardize/krsdefacc.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/stdzn_defn.def"
#undef TQ_FN
#undef TQ_FNK
