// Framed exports of the case definition family.
#include "api/krapi_frame.h"
#include "kbstore/krdefnacc.h"
#include "standardize/krcdefacc.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/case_defn.def"
#undef TQ_FN
#undef TQ_FNK
