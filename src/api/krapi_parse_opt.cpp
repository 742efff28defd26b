// Framed exports of the parse opt family.
#include "api/krapi_frame.h"
#include "parse/kroptp.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/parse_opt.def"
#undef TQ_FN
#undef TQ_FNK
