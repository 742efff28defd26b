// Framed exports of the locale-table family.
#include "api/krapi_frame.h"
#include "kbstore/krlocl.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/locale.def"
#undef TQ_FN
#undef TQ_FNK
