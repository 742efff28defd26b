// A context built without the export layer, for white-box tests of the
// knowledge-base store and above: errors, a search path, a shared state with
// its contents. Header-only so that tests of lower layers never need it.
#pragma once

#include <cstring>
#include <string>

#include "core/krcorvel.h"
#include "core/krerr.h"
#include "core/krfio.h"
#include "core/krzel.h"
#include "kbstore/krshared.h"

namespace tq_test {

struct BareContext {
  tq_context ctx{};
  explicit BareContext(const std::string& search_path = "") {
    std::memset(static_cast<void*>(&ctx), 0, sizeof ctx);
    tq::err_list_init(&ctx);
    ctx.allow_msgs = 1;
    ctx.options = 1;
    ctx.current_locale = -1;
    std::strcpy(ctx.msg_locale, "EN");
    tq::path_list_create(&ctx.search_path);
    tq::path_list_set(&ctx, ctx.search_path, search_path.c_str());
    tq::shared_state_create(&ctx, &ctx.shared);
    tq::shared_contents_create(&ctx, ctx.shared);
  }
  ~BareContext() {
    if (ctx.regex_work != nullptr) ctx.regex_work->release(ctx.regex_work);
    tq::shared_state_release(&ctx, ctx.shared);
    tq::path_list_destroy(ctx.search_path);
    tq::err_list_free(&ctx);
  }
  BareContext(const BareContext&) = delete;
  BareContext& operator=(const BareContext&) = delete;
  tq_context* get() { return &ctx; }
  // The text of the newest error record, "" when none.
  std::string last_error() const { return ctx.errors.count ? ctx.errors.last->text : ""; }
};

}  // namespace tq_test
