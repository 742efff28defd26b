// Framed exports of the lock-file family.
#include "api/krapi_frame.h"
#include "kbstore/krlock.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/lock.def"
#undef TQ_FN
#undef TQ_FNK
