// Framed exports of the knowledge-base version family.
#include "api/krapi_frame.h"
#include "kbstore/krmeta.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/version.def"
#undef TQ_FN
#undef TQ_FNK
