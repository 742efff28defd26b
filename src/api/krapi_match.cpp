// Framed exports of match codes (the single-code operations).
#include "api/krapi_frame.h"
#include "match/krmops.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/match.def"
#undef TQ_FN
#undef TQ_FNK
