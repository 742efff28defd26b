// Framed exports of the phonetics family.
#include "api/krapi_frame.h"
#include "resources/krrsacc.h"
#include "kbstore/krlock.h"
#include "resources/krphtx.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/phonetx.def"
#undef TQ_FN
#undef TQ_FNK
