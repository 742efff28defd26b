// Framed exports of the parse family.
#include "api/krapi_frame.h"
#include "parse/krparse.h"
#include "parse/krpdef.h"
#include "parse/krpinfo.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/parse.def"
#undef TQ_FN
#undef TQ_FNK
