// Framed exports of the XML document family.
#include "api/krapi_frame.h"
#include "kbstore/krxml.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/xml.def"
#undef TQ_FN
#undef TQ_FNK
