// Framed exports of gender analysis and its info object.
#include "api/krapi_frame.h"
#include "fields/krgender.h"
#include "fields/krginfo.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/gender.def"
#include "api/tables/gender_info.def"
#undef TQ_FN
#undef TQ_FNK
