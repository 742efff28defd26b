// Framed exports of the vault-file family.
#include "api/krapi_frame.h"
#include "kbstore/krvlt.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/vault.def"
#undef TQ_FN
#undef TQ_FNK
