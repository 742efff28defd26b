// Framed exports of identification and its info object.
#include "api/krapi_frame.h"
#include "fields/kridinf.h"
#include "fields/krident.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/identify.def"
#include "api/tables/ident_info.def"
#undef TQ_FN
#undef TQ_FNK
