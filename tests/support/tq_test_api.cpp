// Helpers that call the exported interface; kept in their own object so
// that white-box tests of the lower layers do not need the export layer.
#include <sstream>
#include <vector>

#include "support/tq_test.h"

namespace tq_test {

std::string error_list_text(tq_context* ctx) {
  if (ctx == nullptr) return "(no context)";
  uint32_t count = 0;
  tq_error_count_get(ctx, &count);
  std::ostringstream out;
  for (uint32_t i = 0; i < count; ++i) {
    int32_t code = 0;
    std::vector<char> text(4100 * 2);
    tq_error_info_get_by_index(ctx, i, &code, text.data());
    out << "  [" << i << "] " << code << ": " << text.data() << "\n";
  }
  if (count == 0) out << "  (no error records)\n";
  return out.str();
}

bool failure_recorded(tq_context* ctx) {
  uint32_t count = 0;
  if (ctx == nullptr || tq_error_count_get(ctx, &count) != 0) return false;
  std::vector<char> text(2 * (TQ_ERROR_TEXT_MAX + 1));
  for (uint32_t i = 0; i < count; ++i) {
    int32_t code = 0;
    if (tq_error_info_get_by_index(ctx, i, &code, text.data()) == 0 && code < 0) return true;
  }
  return false;
}

std::string ucs2_error_text(tq_context* ctx, uint32_t index, int32_t* code) {
  int32_t got = 0;
  std::vector<char> text(2 * (TQ_ERROR_TEXT_MAX + 1));
  EXPECT_EQ(tq_error_info_get_by_index(ctx, index, &got, text.data()), 0) << "error record " << index;
  if (code != nullptr) *code = got;
  std::string ascii;
  for (size_t k = 0; k + 1 < text.size() && (text[k] != 0 || text[k + 1] != 0); k += 2) {
    ascii += text[k] != 0 ? text[k] : text[k + 1];
  }
  return ascii;
}

std::string ucs2_error_list_text(tq_context* ctx) {
  uint32_t count = 0;
  EXPECT_EQ(tq_error_count_get(ctx, &count), 0);
  std::string all;
  for (uint32_t i = 0; i < count; ++i) all += ucs2_error_text(ctx, i) + '\n';
  return all;
}

void write_locale_settings(tq_context* ctx, const std::filesystem::path& root, const char* file,
                           const char* description, const char* parent) {
  tq_xmldoc* doc = nullptr;
  ASSERT_EQ(tq_xml_create(ctx, "Locale Settings", "9.0", &doc), 0) << error_list_text(ctx);
  tq_xml_addprop(ctx, doc, "Locale Description", description);
  tq_xml_addprop(ctx, doc, "Parent Locale", parent);
  int32_t rc = tq_xml_write(ctx, 0, (root / "locale" / file).string().c_str(), 1, doc);
  tq_xml_free(ctx, doc);
  ASSERT_EQ(rc, 0) << error_list_text(ctx);
}

std::string encoding_name(tq_context* ctx, uint32_t enc) {
  uint32_t old = 0;
  tq_session_encoding_get(ctx, &old);
  tq_session_encoding_set(ctx, enc);
  char name[400] = "";
  tq_session_encoding_name_get(ctx, name);
  tq_session_encoding_set(ctx, old);
  return name;
}

void install_chopper(tq_context* ctx, const TempDir& kb, const std::string& name, const std::string& text) {
  std::string plain = kb.write(name + ".xml", text).string();
  tq_xmldoc* doc = nullptr;
  ASSERT_EQ(tq_xml_read(ctx, plain.c_str(), 8, &doc), 0) << error_list_text(ctx);
  int32_t rc = tq_xml_write(ctx, 0, (kb / "chopinfo" / name).string().c_str(), 1, doc);
  tq_xml_free(ctx, doc);
  ASSERT_EQ(rc, 0) << error_list_text(ctx);
}

Context::Context(const char* root, bool edit_mode) {
  int32_t rc = edit_mode ? tq_init_edit_mode(&ctx_, root) : tq_init(&ctx_, root);
  if (rc != 0) ADD_FAILURE() << "opening a context failed: " << rc;
}

Context::~Context() {
  if (ctx_ != nullptr) tq_close(ctx_);
}

}  // namespace tq_test
