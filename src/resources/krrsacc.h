// What the accessors every resource kind shares need to know of each kind
// (src/kbstore/krlib.h, rsrc_access): where its record keeps the locale and
// vault names, the state its record must be in for them, how long a name
// looked up may be. The kinds' export rows bind these constants; a
// difference between kinds belongs here, never in the accessors.
#pragma once

#include <cstddef>

#include "kbstore/krlib.h"
#include "resources/krchpr.h"
#include "resources/krgram.h"
#include "resources/krphtx.h"
#include "resources/krregx.h"
#include "resources/krsch.h"
#include "resources/krvcld.h"

namespace tq {

inline constexpr rsrc_access kChopperAccess{kRsrcChopper, offsetof(chopper_rec, locale), offsetof(chopper_rec, vault),
                                            0, 0, 1024, 1, nullptr};
inline constexpr rsrc_access kRegexlibAccess{kRsrcRegex, offsetof(regexlib_rec, locale), offsetof(regexlib_rec, vault),
                                             0, 0, kRsrcNameSize - 1, 1, nullptr};
// A scheme's locale and vault names are read and changed only while the
// scheme is in edit state; a lookup by name answers 0 whatever the name's
// conversion gave.
inline constexpr rsrc_access kSchemeAccess{kRsrcScheme, offsetof(scheme_rec, locale), offsetof(scheme_rec, vault),
                                           offsetof(scheme_rec, flags), kSchemeEditState, 16384, 0, nullptr};
// A vocabulary missing from a lookup by name is recorded with its name.
inline constexpr rsrc_access kVocabAccess{kRsrcVocab, offsetof(vocab_rec, locale), offsetof(vocab_rec, vault),
                                          0, 0, 4096, 1, vocab_find_by_name};
inline constexpr rsrc_access kPhonetxAccess{kRsrcPhonetx, offsetof(phonetx_rec, locale), offsetof(phonetx_rec, vault),
                                            0, 0, 4096, 1, nullptr};

inline constexpr rsrc_access kGrammarAccess{kRsrcGrammar, offsetof(grammar_rec, locale), offsetof(grammar_rec, vault),
                                            0, 0, 4096, 1, nullptr};

}  // namespace tq
