// The locale a resource was made for, as resources keep it in their
// documents ("Locale ISO Code", "Locale Description", "Locale Code") and hand
// it out through their families' locale-info exports.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"

struct tq_xmldoc;

namespace tq {

using xmldoc = ::tq_xmldoc;

inline constexpr uint32_t kLocaleIsoSize = 21;
inline constexpr uint32_t kLocaleDescriptionSize = 321;

struct locale_info {
  int32_t code;  // -1 when unset
  char iso[kLocaleIsoSize];
  char description[kLocaleDescriptionSize];
};

void locale_info_clear(locale_info* info);
// Out through the interface: iso (20 bytes + terminator), description (320 +
// terminator), code. A negative conversion result is returned at once;
// otherwise the ISO code's warning, else the description's result.
int32_t locale_info_get(context* ctx, const locale_info* info, char* iso, char* description, int32_t* code,
                        uint32_t flags);
// In through the interface; the code is stored as given. Both texts convert
// or nothing changes.
int32_t locale_info_set(context* ctx, locale_info* info, const char* iso, const char* description, int32_t code,
                        uint32_t flags);
// Adds the three properties to a document; the first failure is returned.
int32_t locale_info_write(context* ctx, const locale_info* info, xmldoc* doc);
// Reads the three properties: -300 (recorded) for a missing one or a code
// outside the locale table.
int32_t locale_info_read(context* ctx, const xmldoc* doc, locale_info* info);
// The locale of the context's current locale, or a cleared record when none
// is current: what resources created in edit mode take as theirs.
void locale_info_from_current(context* ctx, locale_info* info);

}  // namespace tq
