// Framed exports of the regex-library family.
#include "api/krapi_frame.h"
#include "resources/krrsacc.h"
#include "kbstore/krlock.h"
#include "resources/krregx.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/regexlib.def"
#undef TQ_FN
#undef TQ_FNK
