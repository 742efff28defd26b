// Framed exports of the vocabulary family.
#include "api/krapi_frame.h"
#include "kbstore/krlock.h"
#include "resources/krvcld.h"

#define TQ_FN TQ_FN_DEFINE
#include "api/tables/vocab.def"
#undef TQ_FN
