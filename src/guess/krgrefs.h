// What the guessing kinds' definitions (locale guess and language) share
// in reading, writing and copying their resource lists.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "kbstore/krlib.h"
#include "kbstore/krxml.h"
#include "kbstore/krxmltab.h"

namespace tq {

// ---- Reading and writing -------------------------------------------------------------------

// An include's document by include name or, failing that, by type.
inline const xmldoc* guess_include_find(const xmldoc* el, const char* name) {
  for (int32_t i = 0; i < el->include_count; ++i) {
    const xmldoc_include& inc = el->includes[i];
    if (inc.doc != nullptr && (std::strcmp(inc.name, name) == 0 || std::strcmp(inc.doc->type, name) == 0)) {
      return inc.doc;
    }
  }
  return nullptr;
}

// The position of text among count names, -1 when it is none of them (or NULL).
inline int32_t guess_name_index(const char* const* names, uint32_t count, const char* text) {
  if (text == nullptr) return -1;
  for (uint32_t i = 0; i < count; ++i) {
    if (std::strcmp(names[i], text) == 0) return static_cast<int32_t>(i);
  }
  return -1;
}

// Known regex libraries as the table "Known Pattern Regexlibs": a library's
// name and its likelihood's name a record. An entry whose library could not
// be opened has no name left to write and is left out.
template <typename Known>
int32_t guess_known_list_write(context* ctx, xmldoc* el, const std::vector<Known>& list,
                               const char* (*likelihood_name)(uint32_t)) {
  constexpr const char* kType = "Known Pattern Regexlibs";
  return rsrc_name_table_write(
      ctx, el, kType, kType, "7.0", kRsrcRegex, {{"Regexlib", kXmlColString}, {"Likelihood", kXmlColString}}, list,
      [](const Known& k) -> const rsrc_ref& { return k.lib; },
      [&](xmldoc* doc, const Known& k, char* name) {
        xmldoc_field f[2]{};
        f[0].type = kXmlColString;
        f[0].text = name;
        f[1].type = kXmlColString;
        f[1].text = const_cast<char*>(likelihood_name(k.likelihood));
        return xmldoc_record_add(ctx, doc, "", nullptr, f);
      });
}

// ---- Copying ---------------------------------------------------------------------------------
//
// Each entry appended to the target with a reference of its own. An entry
// whose resource could not be opened is copied empty: there is no reference
// to share. A copy stops at the first failure and leaves what it appended
// for the caller to release; appending may throw std::bad_alloc (callers
// reserve first).

inline int32_t guess_ref_list_copy(context* ctx, const std::vector<rsrc_ref>& from, std::vector<rsrc_ref>* to) {
  for (const rsrc_ref& r : from) {
    if (int32_t rc = r.share(ctx, &to->emplace_back()); rc < 0) return rc;
  }
  return 0;
}

// Known regex libraries: a library and the likelihood its match gives.
template <typename Known>
int32_t guess_known_list_copy(context* ctx, const std::vector<Known>& from, std::vector<Known>* to) {
  for (const Known& k : from) {
    Known& t = to->emplace_back();
    t.likelihood = k.likelihood;
    if (int32_t rc = k.lib.share(ctx, &t.lib); rc < 0) return rc;
  }
  return 0;
}

}  // namespace tq
