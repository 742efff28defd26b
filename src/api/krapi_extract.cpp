// Framed exports of extraction and its info object.
#include "api/krapi_frame.h"
#include "fields/krxeng.h"
#include "fields/krxinfo.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/extract.def"
#undef TQ_FN
#undef TQ_FNK
