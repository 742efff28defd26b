// Framed exports of the vocabulary family.
#include "api/krapi_frame.h"
#include "resources/krrsacc.h"
#include "kbstore/krlock.h"
#include "resources/krvcld.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/vocab.def"
#undef TQ_FN
#undef TQ_FNK
