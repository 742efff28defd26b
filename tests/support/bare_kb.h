// A knowledge base of vault files in a temporary folder, written from the
// krxml sources under tests/kb by the library's internal writers and read
// by a bare context of the layers a test names, with the resource opens and
// the definition kinds it needs lent for its lifetime. The white-box
// counterpart of built_kb.h: fixtures derive from it, write their files in
// their constructor and call load().
#pragma once

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kbstore/krdefn.h"
#include "kbstore/krkind.h"
#include "kbstore/krlib.h"
#include "kbstore/krlocload.h"
#include "kbstore/krxml.h"
#include "resources/krchpr.h"
#include "resources/krregx.h"
#include "resources/krsch.h"
#include "resources/krvcld.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace tq_test {

class BareKb {
 public:
  BareKb(const BareKb&) = delete;
  BareKb& operator=(const BareKb&) = delete;
  // The lent operations stay while any fixture is open: a fixture's
  // definitions are freed through them.
  ~BareKb() {
    bc_.reset();
    if (--alive() > 0) return;
    for (int32_t kind : lent()) tq::defn_kind_ops_set(kind, nullptr);
    lent().clear();
    tq::rsrc_open_ops_set(nullptr);
  }

  tq::context* ctx() { return bc_->get(); }
  int32_t load_rc() const { return load_rc_; }
  std::string errors() {
    std::string all;
    for (uint32_t i = 0; i < ctx()->errors.count; ++i) all += std::string(ctx()->errors.recs[i].text) + "\n";
    return all;
  }
  // A definition of the kind by name (of any surface unless flags say
  // otherwise), -1 when there is none.
  int32_t index_of(int32_t kind, const char* name, uint32_t flags = tq::kDefnAnySurface) {
    int32_t index = -1;
    (void)tq::defn_index_get_by_name(ctx(), kind, name, flags, &index);
    return index;
  }
  tq::defn_rec* record(int32_t kind, int32_t index) {
    tq::defn_rec* rec = nullptr;
    EXPECT_EQ(tq::defn_record_get_for_read(ctx(), kind, index, &rec), 0) << errors();
    return rec;
  }
  tq::defn_rec* record(int32_t kind, const char* name, uint32_t flags = tq::kDefnAnySurface) {
    const int32_t index = index_of(kind, name, flags);
    EXPECT_GE(index, 0) << name;
    return index < 0 ? nullptr : record(kind, index);
  }
  // The registry references of a resource by name; 0 when it is not open.
  uint32_t refs(uint32_t rkind, const char* name) {
    int32_t index = -1;
    tq::resource_slot* slot = nullptr;
    if (tq::rsrc_find_by_name(ctx(), rkind, name, &index) != 0) return 0;
    return tq::rsrc_slot_get_used(ctx(), rkind, index, &slot) == 0 ? slot->refs : 0;
  }
  static std::filesystem::path source(const std::string& name) {
    return std::filesystem::path(TQ_TEST_KB_DIR) / (name + ".xml");
  }

 protected:
  // A context of those layers whose resource path is a folder of the
  // knowledge base per resource type; the kinds lent until the end.
  BareKb(std::initializer_list<const char*> folders, const Layers& layers,
         std::initializer_list<std::pair<int32_t, const tq::defn_kind_ops*>> kinds) {
    ++alive();
    tq::rsrc_open_ops_set(&kOpen);
    for (const auto& [kind, ops] : kinds) {
      tq::defn_kind_ops_set(kind, ops);
      lent().push_back(kind);
    }
    std::string path;
    for (const char* sub : folders) {
      std::filesystem::create_directories(dir_ / sub);
      path += (path.empty() ? "" : ";") + (dir_ / sub).string();
    }
    bc_ = std::make_unique<BareContext>(path, layers);
  }

  const std::filesystem::path& dir() const { return dir_.path(); }
  // Each source tests/kb/<from>.xml written as the vault file <to>.
  void put(std::initializer_list<std::pair<std::string, std::string>> files) {
    for (const auto& [from, to] : files) write_vault(source(from), dir_ / to);
  }
  // A text (a locale document a test varies) written as the vault file <to>.
  void put_text(const std::string& text, const std::string& to) {
    write_vault(dir_.write("src/" + std::filesystem::path(to).filename().string() + ".xml", text), dir_ / to);
  }
  // A vocabulary compiled from its plain source tests/kb/<from>.xml.
  void compile_vocab(const std::string& from, const std::string& name) {
    std::filesystem::copy_file(source(from), dir_ / "vocab" / (name + "Source.xml"));
    EXPECT_EQ(tq::vocab_file_convert(ctx(), 0, (name + "Source").c_str(), name.c_str()), 0) << errors();
  }
  void load(int32_t locale, uint32_t mask) { load_rc_ = tq::zel_locale_load(ctx(), locale, mask); }

 private:
  static int32_t open_regexlib(tq::context* ctx, const char* name, int32_t* index) {
    return tq::regexlib_load_by_name(ctx, name, nullptr, index, 0);
  }
  static int32_t open_scheme(tq::context* ctx, const char* name, uint32_t options, int32_t* index) {
    return tq::scheme_load_by_name(ctx, name, static_cast<int32_t>(options), -1, 0, nullptr, 0, index);
  }
  static int32_t open_chopper(tq::context* ctx, const char* name, int32_t* index) {
    return tq::chopper_load_by_name(ctx, name, nullptr, index);
  }
  static int32_t open_vocab(tq::context* ctx, const char* name, int32_t* index) {
    return tq::vocab_load_by_name(ctx, name, nullptr, tq::kVocabFormCompiled, index);
  }
  static constexpr tq::rsrc_open_ops kOpen{open_regexlib, open_scheme, open_chopper, open_vocab};

  void write_vault(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::filesystem::create_directories(to.parent_path());
    tq::xmldoc* doc = nullptr;
    ASSERT_EQ(tq::xmldoc_read(ctx(), from.c_str(), tq::kXmlFlagNameAsGiven, &doc), 0) << from << errors();
    const int32_t rc = tq::xmldoc_write(ctx(), to.c_str(), tq::kXmlFlagVault, doc);
    tq::xml_free(ctx(), doc);
    ASSERT_EQ(rc, 0) << to << errors();
  }

  static int& alive() {
    static int n = 0;
    return n;
  }
  static std::vector<int32_t>& lent() {
    static std::vector<int32_t> kinds;
    return kinds;
  }

  TempDir dir_;
  std::unique_ptr<BareContext> bc_;
  int32_t load_rc_ = 0;
};

}  // namespace tq_test
