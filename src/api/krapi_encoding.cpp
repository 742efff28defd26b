// Framed exports of the session-encoding family.
#include "api/krapi_frame.h"
#include "core/krenc.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/encoding.def"
#undef TQ_FN
#undef TQ_FNK
