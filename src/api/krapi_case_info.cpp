// Framed exports of the case info family.
#include "api/krapi_frame.h"
#include "standardize/krcinfo.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/case_info.def"
#undef TQ_FN
#undef TQ_FNK
