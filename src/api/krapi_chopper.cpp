// Framed exports of the chopper family: the resource, its character table
// and its chopping rules.
#include "api/krapi_frame.h"
#include "resources/krrsacc.h"
#include "resources/krchpr.h"
#include "resources/krchprexp.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/chopper.def"
#undef TQ_FN
#undef TQ_FNK
