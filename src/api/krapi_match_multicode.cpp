// Framed exports of the multicode road of the match engine.
#include "api/krapi_frame.h"
#include "match/krmmulti.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/match_multicode.def"
#undef TQ_FN
#undef TQ_FNK
