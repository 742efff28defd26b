// Framed exports of the morph analyzer info family.
#include "api/krapi_frame.h"
#include "parse/krmorph.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/morph.def"
#undef TQ_FN
#undef TQ_FNK
