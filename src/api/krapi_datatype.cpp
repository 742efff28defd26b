// Framed exports of the datatype family.
#include "api/krapi_frame.h"
#include "kbstore/krdtyp.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/datatype.def"
#undef TQ_FN
#undef TQ_FNK
