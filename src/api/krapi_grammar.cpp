// Framed exports of the grammar family.
#include "api/krapi_frame.h"
#include "resources/krrsacc.h"
#include "kbstore/krlock.h"
#include "resources/krgram.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/grammar.def"
#undef TQ_FN
#undef TQ_FNK
