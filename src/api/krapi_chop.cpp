// Framed exports of the chopping family (chop a value, chop info).
#include "api/krapi_frame.h"
#include "resources/krchop.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/chop.def"
#undef TQ_FN
#undef TQ_FNK
