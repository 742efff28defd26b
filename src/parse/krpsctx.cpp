#include "parse/krpsctx.h"

#include "parse/krmorph.h"
#include "parse/kroptp.h"
#include "parse/krparse.h"
#include "parse/krparser.h"

namespace tq {

namespace {

int32_t morph_part_create(context* ctx) { return morph_scratch_create(ctx, &ctx->morph_scratch); }

void morph_part_free(context* ctx) {
  morph_scratch_free(ctx, ctx->morph_scratch);
  ctx->morph_scratch = nullptr;
}

int32_t parse_part_create(context* ctx) { return parse_scratch_create(ctx, &ctx->parse_scratch); }

void parse_part_free(context* ctx) {
  parse_scratch_free(ctx, ctx->parse_scratch);
  ctx->parse_scratch = nullptr;
}

}  // namespace

// Word analysis and the parse road make their scratch on their first run;
// a clone parses into scratch of its own.
constexpr context_part kMorphScratch = {"morph scratch", morph_part_create, morph_part_free, nullptr, true};
constexpr context_part kParseScratch = {"parse scratch", parse_part_create, parse_part_free, nullptr, true};

namespace {

// Each part of the layer is one entry, made in this order and freed in
// reverse. The first entry only marks where the layer's parts begin.
constexpr context_part kParseParts[] = {
    {"parse layer", nullptr, nullptr, nullptr},
    kMorphScratch,
    // A clone starts from its source's defaults and overrides.
    {"parse optimization settings", optp_part_create, optp_part_free, optp_part_clone},
    // The engines' runtimes are made on the first parse of each kind.
    {"parser runtimes", parser_runtimes_part_create, parser_runtimes_part_free, nullptr},
    kParseScratch,
};

}  // namespace

context_layer parse_context_parts() { return kParseParts; }

}  // namespace tq
