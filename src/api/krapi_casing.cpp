// Framed exports of the casing family.
#include "api/krapi_frame.h"
#include "standardize/krcaseop.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/casing.def"
#undef TQ_FN
#undef TQ_FNK
