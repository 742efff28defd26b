// Framed exports of the identification definition family.
#include "api/krapi_frame.h"
#include "fields/kridefacc.h"
#include "kbstore/krdefnacc.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/ident_defn.def"
#undef TQ_FN
#undef TQ_FNK
