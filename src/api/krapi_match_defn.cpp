// Framed exports of the match definition family and its token lists.
#include "api/krapi_frame.h"
#include "kbstore/krdefnacc.h"
#include "match/krmdefacc.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/match_defn.def"
#include "api/tables/match_token.def"
#undef TQ_FN
#undef TQ_FNK
