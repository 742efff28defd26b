// Framed exports of locale guessing: the guesses and scores, the
// force-choice override and the guess info.
#include "api/krapi_frame.h"
#include "guess/krgeng.h"
#include "guess/krginfo.h"

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/guess.def"
#include "api/tables/guess_info.def"
#undef TQ_FN
#undef TQ_FNK
