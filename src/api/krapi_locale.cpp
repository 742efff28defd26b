// Framed exports of the locale-table family and of locale settings files.
#include "api/krapi_frame.h"
#include "kbstore/krlock.h"
#include "kbstore/krlocl.h"
#include "kbstore/krlocset.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/locale.def"
#undef TQ_FN
#undef TQ_FNK
