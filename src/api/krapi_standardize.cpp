// Framed exports of standardization and its stand info object.
#include "api/krapi_frame.h"
#include "standardize/krsinfo.h"
#include "standardize/krstdz.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/standardize.def"
#include "api/tables/stand_info.def"
#undef TQ_FN
#undef TQ_FNK
