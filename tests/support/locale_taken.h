// A context's current locale taken by other contexts, one step after the
// other on the calling thread: what a clone-per-request service meets when
// a request's clone unloads a locale another context has made current.
// Header-only, on the exported interface.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "support/tq_test.h"
#include "tq.h"

namespace tq_test {

// Who gives back the last load: a clone still open, or another clone that
// finds only the load a closed clone left.
enum class Taken { ByAClone, LeftByAClosedClone };

// ctx holds one load of `code` (loaded with `parts`) and has made it
// current. Another context loads it too; ctx gives back its own, and the
// other load is given back as `how` says. ctx keeps the code as current,
// but the locale is gone (tq_locale_get gives -707).
inline void current_locale_taken(tq_context* ctx, int32_t code, uint32_t parts, Taken how) {
  tq_context* loader = nullptr;
  ASSERT_EQ(tq_clone(ctx, &loader), 0);
  ASSERT_EQ(tq_zel_locale_load(loader, code, parts), 0) << error_list_text(loader);
  tq_context* unloader = loader;
  if (how == Taken::LeftByAClosedClone) {
    ASSERT_EQ(tq_close(loader), 0);
    ASSERT_EQ(tq_clone(ctx, &unloader), 0);
  }
  ASSERT_EQ(tq_zel_locale_unload(ctx, code), 0);
  ASSERT_EQ(tq_zel_locale_unload(unloader, code), 0);
  ASSERT_EQ(tq_close(unloader), 0);
  int32_t current = 0;
  ASSERT_EQ(tq_locale_get(ctx, &current), TQ_ERR_NO_LOCALE);
}

}  // namespace tq_test
