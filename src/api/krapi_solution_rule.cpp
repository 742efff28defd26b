// Framed exports of the solution rule family.
#include "api/krapi_frame.h"
#include "parse/krsoln.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/solution_rule.def"
#undef TQ_FN
#undef TQ_FNK
