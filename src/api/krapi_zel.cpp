// Framed exports of locale loading and the current locale.
#include "api/krapi_frame.h"
#include "kbstore/krlock.h"
#include "kbstore/krlocload.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/zel.def"
#undef TQ_FN
#undef TQ_FNK
