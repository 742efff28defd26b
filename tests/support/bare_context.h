// A context built without the export layer, for white-box tests: made from
// the same part lists as tq_init's, up to the layer under test, so a part
// added to a layer reaches every fixture on its own. Header-only so that
// tests of lower layers never need the layers above them.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/krcorvel.h"
#include "core/krerr.h"
#include "core/krfio.h"
#include "fields/krfdctx.h"
#include "guess/krgsctx.h"
#include "kbstore/krkbctx.h"
#include "parse/krpsctx.h"
#include "resources/krrsctx.h"
#include "standardize/krstctx.h"

namespace tq_test {

using Layers = std::vector<tq::context_layer>;

// Core only: settings, errors, pools, paths; no shared state.
inline Layers core_layers() { return {tq::core_context_parts()}; }
// The knowledge-base store and what it shares.
inline Layers store_layers() {
  return {tq::core_context_parts(), tq::kbstore_context_parts(), tq::shared_state_parts()};
}
// The store and the resources' work areas.
inline Layers resources_layers() {
  return {tq::core_context_parts(), tq::kbstore_context_parts(), tq::resources_context_parts(),
          tq::shared_state_parts()};
}

// The resources and the parse layer's work areas and settings.
inline Layers parse_layers() {
  return {tq::core_context_parts(), tq::kbstore_context_parts(), tq::resources_context_parts(),
          tq::parse_context_parts(), tq::shared_state_parts()};
}

// The parse layer's and the standardization layer's work areas.
inline Layers standardize_layers() {
  return {tq::core_context_parts(),  tq::kbstore_context_parts(),     tq::resources_context_parts(),
          tq::parse_context_parts(), tq::standardize_context_parts(), tq::shared_state_parts()};
}

// Up to the field-analysis layer's work areas. The match layer sits between
// standardize and fields; its list joins here when it exists.
inline Layers fields_layers() {
  return {tq::core_context_parts(),        tq::kbstore_context_parts(), tq::resources_context_parts(),
          tq::parse_context_parts(),       tq::standardize_context_parts(), tq::fields_context_parts(),
          tq::shared_state_parts()};
}

// Up to the guessing layer's scratch areas.
inline Layers guess_layers() {
  return {tq::core_context_parts(),        tq::kbstore_context_parts(),     tq::resources_context_parts(),
          tq::parse_context_parts(),       tq::standardize_context_parts(), tq::fields_context_parts(),
          tq::guess_context_parts(),       tq::shared_state_parts()};
}

// Every layer that the test executable links (its build names the highest
// as TQ_TEST_LAYER_<folder>); a new layer adds its branch here once.
inline Layers default_layers() {
#if defined(TQ_TEST_LAYER_guess)
  return guess_layers();
#elif defined(TQ_TEST_LAYER_fields)
  return fields_layers();
#elif defined(TQ_TEST_LAYER_standardize)
  return standardize_layers();
#elif defined(TQ_TEST_LAYER_parse)
  return parse_layers();
#elif defined(TQ_TEST_LAYER_resources)
  return resources_layers();
#elif defined(TQ_TEST_LAYER_core) || defined(TQ_TEST_LAYER_platform)
  return core_layers();
#else
  return store_layers();
#endif
}

struct BareContext {
  tq_context ctx{};
  explicit BareContext(const std::string& search_path = "", Layers layers = default_layers())
      : layers_(std::move(layers)) {
    tq::context_record_init(&ctx);
    int32_t rc = tq::context_parts_create(&ctx, layers_);
    if (rc != 0) {
      ADD_FAILURE() << "building a test context failed: " << rc;
      layers_.clear();
      return;
    }
    tq::path_list_set(&ctx, ctx.search_path, search_path.c_str());
  }
  ~BareContext() { tq::context_parts_free(&ctx, layers_); }
  BareContext(const BareContext&) = delete;
  BareContext& operator=(const BareContext&) = delete;
  tq_context* get() { return &ctx; }
  // The text of the newest error record, "" when none.
  std::string last_error() const { return ctx.errors.count ? ctx.errors.last->text : ""; }

 private:
  Layers layers_;
};

// The same on the heap, for tests that hand a context around.
struct ContextDeleter {
  void operator()(tq_context* ctx) const {
    tq::context_parts_free(ctx, default_layers());
    delete ctx;
  }
};
using ContextPtr = std::unique_ptr<tq_context, ContextDeleter>;

inline ContextPtr make_bare_context() {
  ContextPtr ctx(new tq_context);
  tq::context_record_init(ctx.get());
  EXPECT_EQ(tq::context_parts_create(ctx.get(), default_layers()), 0);
  return ctx;
}

}  // namespace tq_test
