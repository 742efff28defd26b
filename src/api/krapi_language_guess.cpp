// Framed exports of the language guess score and info family.
#include "api/krapi_frame.h"
#include "guess/krlginfo.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/language_guess.def"
#undef TQ_FN
#undef TQ_FNK
