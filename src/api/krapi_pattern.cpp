// Framed exports of pattern analysis and of the pattern analysis definition
// family.
#include "api/krapi_frame.h"
#include "fields/krpadef.h"
#include "fields/krpattern.h"
#include "kbstore/krdefnacc.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/pattern.def"
#include "api/tables/patrn_defn.def"
#undef TQ_FN
#undef TQ_FNK
