// Framed exports of the parse definition family.
#include "api/krapi_frame.h"
#include "kbstore/krdefnacc.h"
#include "parse/krpdefacc.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/parse_defn.def"
#undef TQ_FN
#undef TQ_FNK
