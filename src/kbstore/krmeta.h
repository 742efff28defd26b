// The knowledge base's product line and version: the built-in product table
// and the meta file "tqx.meta" in the knowledge-base root, whose
// "description" line ends with "- <product abbreviation> - <version>".
#pragma once

#include <cstdint>

#include "tq.h"
#include "core/krcorvel.h"

namespace tq {

inline constexpr uint32_t kProductCount = 16;
inline constexpr uint32_t kProductNameMax = 7;    // bytes, terminator not included
inline constexpr uint32_t kProductAbbrevMax = 2;
inline constexpr char kMetaFileName[] = "tqx.meta";
inline constexpr char kUnknownVersion[] = "0000X";

struct product_row {
  const char* name;         // at most kProductNameMax bytes
  int32_t code;             // 1 .. 16
  const char* abbrev;       // two letters
  const char* description;
};

extern const product_row kProductTable[kProductCount];

// Exact, case-sensitive lookups of UTF-8 texts: the row, or NULL.
const product_row* product_find_by_name(const char* name);
const product_row* product_find_by_abbrev(const char* abbrev);

// ---- Export implementations --------------------------------------------------

int32_t zel_product_code_get_by_name(context* ctx, const char* name, int32_t* code);
int32_t zel_product_code_get_by_abbrev(context* ctx, const char* abbrev, int32_t* code);
int32_t zel_version_info_get(context* ctx, tq_zel_version_info* info);
// 0 when a resource of any kind is registered under the file's name (its
// extension stripped), else -1.
int32_t zel_file_is_loaded(context* ctx, const char* filename);

}  // namespace tq
