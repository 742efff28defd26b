// Framed exports of the match info object.
#include "api/krapi_frame.h"
#include "match/krminfo.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/match_info.def"
#undef TQ_FN
#undef TQ_FNK
