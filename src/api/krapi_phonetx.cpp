// Framed exports of the phonetics family.
#include "api/krapi_frame.h"
#include "kbstore/krlock.h"
#include "resources/krphtx.h"

#define TQ_FN TQ_FN_DEFINE
#include "api/tables/phonetx.def"
#undef TQ_FN

// The one export of the family without parameters after the context. It
// passes the same frame, but stays out of the table, whose walk in the
// export tests does not take parameterless rows yet.
TQ_FN_DEFINE(tq_phonetx_edit_free, READ, NEEDS_EDIT, phonetx_edit_free)
