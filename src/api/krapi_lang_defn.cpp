// Framed exports of the language definition family.
#include "api/krapi_frame.h"
#include "guess/krldef.h"
#include "guess/krldefacc.h"
#include "kbstore/krdefnacc.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/lang_defn.def"
#undef TQ_FN
#undef TQ_FNK
