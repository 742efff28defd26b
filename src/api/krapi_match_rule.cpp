// Framed exports of the match definitions' token combination rules.
#include "api/krapi_frame.h"
#include "match/krmrule.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/match_rule.def"
#undef TQ_FN
#undef TQ_FNK
