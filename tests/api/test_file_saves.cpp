// Every writer of knowledge-base files replaces its file whole: making a
// resource's file for editing (edit_new) never empties one that is there,
// a save removes the temporary files that killed saves left (never one of a
// save still running), a file the user made read-only is refused with the
// same code by every writer, a save keeps the file's owner, group, bits and
// access control list, and a failure names the file and the cause.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/tq_test.h"

namespace {

using tq_test::Context;
using tq_test::TempDir;
namespace fs = std::filesystem;

constexpr int32_t kEnUsa = 29840;

// A knowledge base with the locale files of ENUSA, in which an edit-mode
// context has ENUSA current.
struct Kb {
  TempDir dir;
  Context ctx;
  explicit Kb(uint32_t options = 0) : ctx(dir.str().c_str(), true) {
    for (const char* sub : {"locale", "chopinfo", "regexlib", "scheme", "phonetx", "vocab", "grammar", "xml"}) {
      fs::create_directories(dir / sub);
    }
    tq_test::write_locale_settings(ctx, dir.path(), "l1.loc", "ISO-8859-1 (Latin-1)", "");
    tq_test::write_locale_settings(ctx, dir.path(), "en.loc", "English", "l1.loc");
    tq_test::write_locale_settings(ctx, dir.path(), "enusa.loc", "English (United States)", "");
    if (options != 0) tq_options_set(ctx, tq_options_get(ctx) | options);
    EXPECT_GE(tq_zel_locale_load(ctx, kEnUsa, 0), 0) << tq_test::error_list_text(ctx);
  }
  std::string folder(const char* sub) const { return (dir / sub).string(); }
};

// The error records of the last save (the calls after it clear the list).
std::string errors;

// Makes a resource "w" in edit mode, saves it and gives it back: each call
// writes the file anew. The ones with an edit_new make their file with it.
using save_fn = int32_t (*)(Kb&, tq_lock_handle*);
using edit_new_fn = int32_t (*)(tq_context*, const char*, const char*, tq_lock_handle*);

template <auto EditNew, auto Create, auto Save, auto Unload>
int32_t save_resource(Kb& kb, tq_lock_handle* lock, const char* folder) {
  int32_t i = -1;
  int32_t rc = EditNew(kb.ctx, kb.folder(folder).c_str(), "w", lock);
  if (rc >= 0) rc = Create(kb.ctx, "w", &i);
  // A regex library needs a record to be read back.
  if (rc >= 0 && Create == tq_regexlib_create) rc = tq_regexlib_element_array_size_set(kb.ctx, i, 1);
  if (rc >= 0 && Create == tq_regexlib_create) rc = tq_regexlib_element_info_set(kb.ctx, i, 0, "a", "b", "");
  if (rc >= 0) rc = Save(kb.ctx, i, lock);
  errors = tq_test::error_list_text(kb.ctx);
  if (i >= 0) Unload(kb.ctx, i);
  return rc;
}

int32_t scheme_edit_new(tq_context* ctx, const char* path, const char* name, tq_lock_handle* lock) {
  int32_t i = -1;
  int32_t rc = tq_scheme_create(ctx, path, name, 0, lock, &i);
  if (i >= 0) tq_transf_scheme_unload(ctx, i);
  return rc;
}

int32_t save_scheme(Kb& kb, tq_lock_handle* lock) {
  int32_t i = -1;
  int32_t rc = tq_scheme_create(kb.ctx, kb.folder("scheme").c_str(), "w", 0, lock, &i);
  if (rc >= 0) rc = tq_scheme_write(kb.ctx, i, lock);
  errors = tq_test::error_list_text(kb.ctx);
  if (i >= 0) tq_transf_scheme_unload(kb.ctx, i);
  return rc;
}

int32_t save_vocab(Kb& kb, tq_lock_handle* lock) {
  int32_t v = -1;
  int32_t rc = tq_vocab_edit_new(kb.ctx, kb.folder("vocab").c_str(), "w", lock);
  if (rc >= 0) rc = tq_vocabulary_create(kb.ctx, &v);
  if (rc >= 0) rc = tq_vocab_save(kb.ctx, v, lock);
  errors = tq_test::error_list_text(kb.ctx);
  if (v >= 0) tq_vocabulary_unload(kb.ctx, v);
  return rc;
}

int32_t save_locale(Kb& kb, tq_lock_handle* lock) {
  int32_t rc = tq_lock_create(kb.ctx, "enusa.loc", 7, lock, nullptr);
  return rc < 0 ? rc : tq_locale_write(kb.ctx, kEnUsa, lock);
}

int32_t save_vault(Kb& kb, tq_lock_handle*) {
  tq_vault_file* h = nullptr;
  int32_t rc = tq_zel_vlt_file_edit(kb.ctx, "en.loc", 7, &h);
  if (rc >= 0) rc = tq_zel_vlt_file_write(kb.ctx, h);
  errors = tq_test::error_list_text(kb.ctx);
  if (h != nullptr) tq_zel_vlt_file_close(kb.ctx, h);
  return rc;
}

int32_t save_xml(Kb& kb, tq_lock_handle*) {
  tq_xmldoc* doc = nullptr;
  int32_t rc = tq_xml_create(kb.ctx, "Plain", "7.0", &doc);
  if (rc >= 0) rc = tq_xml_write(kb.ctx, 0, (kb.dir / "xml" / "w").string().c_str(), 0, doc);
  errors = tq_test::error_list_text(kb.ctx);
  tq_xml_free(kb.ctx, doc);
  return rc;
}

struct Writer {
  const char* file;  // under the root
  save_fn save;
  edit_new_fn edit_new;  // NULL for a writer of a file that exists already
  const char* folder;
};

const Writer kWriters[] = {
    {"chopinfo/w.zel",
     [](Kb& kb, tq_lock_handle* l) {
       return save_resource<tq_chopper_edit_new, tq_chopper_create, tq_chopper_save, tq_chopper_unload>(kb, l, "chopinfo");
     },
     tq_chopper_edit_new, "chopinfo"},
    {"regexlib/w.zel",
     [](Kb& kb, tq_lock_handle* l) {
       return save_resource<tq_regexlib_edit_new, tq_regexlib_create, tq_regexlib_save, tq_regexlib_unload>(kb, l, "regexlib");
     },
     tq_regexlib_edit_new, "regexlib"},
    {"phonetx/w.zel",
     [](Kb& kb, tq_lock_handle* l) {
       return save_resource<tq_phonetx_edit_new, tq_phonetx_create, tq_phonetx_save, tq_phonetx_unload>(kb, l, "phonetx");
     },
     tq_phonetx_edit_new, "phonetx"},
    {"grammar/w.zel",
     [](Kb& kb, tq_lock_handle* l) {
       return save_resource<tq_grammar_edit_new, tq_grammar_create, tq_grammar_save, tq_grammar_unload>(kb, l, "grammar");
     },
     tq_grammar_edit_new, "grammar"},
    {"scheme/w.sch.zel", save_scheme, scheme_edit_new, "scheme"},
    {"vocab/w.zev", save_vocab, tq_vocab_edit_new, "vocab"},
    {"locale/enusa.loc.zel", save_locale, nullptr, nullptr},
    {"locale/en.loc.zel", save_vault, nullptr, nullptr},
    {"xml/w.xml", save_xml, nullptr, nullptr},
};

// A save under a handle of its own.
int32_t save(Kb& kb, const Writer& w) {
  tq_lock_handle* lock = nullptr;
  if (tq_lock_init(kb.ctx, &lock) != 0) return -600;
  errors.clear();
  int32_t rc = w.save(kb, lock);
  if (errors.empty()) errors = tq_test::error_list_text(kb.ctx);
  tq_lock_free(kb.ctx, lock);
  return rc;
}

// The temporary files beside a file, by name.
std::vector<std::string> temporaries(const fs::path& file) {
  std::vector<std::string> out;
  const std::string prefix = file.filename().string() + ".~tq";
  for (const auto& e : fs::directory_iterator(file.parent_path())) {
    if (e.path().filename().string().rfind(prefix, 0) == 0) out.push_back(e.path().filename().string());
  }
  return out;
}

// The id of a process that has ended.
pid_t gone_process() {
  pid_t child = fork();
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  return child;
}

TEST(FileSaves, EveryWriterKeepsWhatWasThere) {
  bool lists = false;
  for (uint32_t options : {0u, static_cast<uint32_t>(TQ_OPT_NO_LOCK_FILES)}) {
    Kb kb(options);
    lists = tq_test::acl_supported(kb.dir.path());
    for (const Writer& w : kWriters) {
      SCOPED_TRACE(std::string(w.file) + (options != 0 ? " without lock files" : ""));
      const fs::path file = kb.dir / w.file;
      ASSERT_EQ(save(kb, w), 0) << errors;
      const std::string saved = tq_test::read_file(file);
      ASSERT_FALSE(saved.empty());

      // An edit_new killed before its save leaves the file as it was.
      if (w.edit_new != nullptr) {
        pid_t child = fork();
        if (child == 0) {
          tq_context* c = nullptr;
          tq_lock_handle* lock = nullptr;
          if (tq_init_edit_mode(&c, kb.dir.str().c_str()) == 0 && tq_lock_init(c, &lock) == 0) {
            tq_options_set(c, tq_options_get(c) | options);
            tq_zel_locale_load(c, kEnUsa, 0);
            if (w.edit_new(c, kb.folder(w.folder).c_str(), "w", lock) >= 0) _exit(0);
            std::fprintf(stderr, "%s\n", tq_test::error_list_text(c).c_str());
            _exit(1);
          }
          _exit(2);
        }
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(tq_test::read_file(file), saved);
        fs::remove(file.string() + ".lck");  // what the kill left
      }

      // What killed saves left goes, what a running save (its process
      // alive: ours, our parent's) writes stays, and no save leaves its own.
      const std::string dead = file.filename().string() + ".~tq" + std::to_string(gone_process()) + ".1";
      const std::string mine = file.filename().string() + ".~tq" + std::to_string(getpid()) + ".999999";
      const std::string alive = file.filename().string() + ".~tq" + std::to_string(getppid()) + ".2";
      for (const std::string& t : {dead, mine, alive}) kb.dir.write(fs::path(w.file).parent_path().string() + "/" + t, "part");
      ASSERT_EQ(save(kb, w), 0) << errors;
      std::vector<std::string> left = temporaries(file);
      std::sort(left.begin(), left.end());
      std::vector<std::string> expected{mine, alive};
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(left, expected);
      for (const std::string& t : expected) fs::remove(file.parent_path() / t);

      // A save as root leaves a user's file theirs, with its bits.
      if (geteuid() == 0) {
        ASSERT_EQ(chown(file.c_str(), 1234, 1234), 0);
        ASSERT_EQ(chmod(file.c_str(), 0640), 0);
        ASSERT_EQ(save(kb, w), 0) << errors;
        struct stat st {};
        ASSERT_EQ(stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 1234u);
        EXPECT_EQ(st.st_gid, 1234u);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
      }

      // A save keeps the file's access control list.
      if (lists) {
        ASSERT_TRUE(tq_test::setfacl("-m u:1235:rw", file));
        const std::string acl = tq_test::acl_text(file);
        ASSERT_EQ(save(kb, w), 0) << errors;
        EXPECT_EQ(tq_test::acl_text(file), acl);
        ASSERT_TRUE(tq_test::setfacl("-b", file));
      }

      // A file made read-only is refused (as root too), and kept.
      const std::string before = tq_test::read_file(file);
      fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
      EXPECT_EQ(save(kb, w), -400);
      EXPECT_NE(errors.find("is read-only"), std::string::npos) << errors;
      EXPECT_EQ(tq_test::read_file(file), before);
      EXPECT_TRUE(temporaries(file).empty());
      fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    }
  }
  if (!lists) GTEST_SKIP() << "the access control list checks need setfacl and a file system that keeps lists";
}

// Making a resource's file through a link whose target is missing is
// refused with both names, and makes nothing; so is writing a plain
// document through one.
TEST(FileSaves, EditNewThroughALinkToNothingNamesBoth) {
  Kb kb;
  for (const Writer& w : kWriters) {
    if (w.edit_new == nullptr && w.save != save_xml) continue;
    SCOPED_TRACE(w.file);
    const fs::path link = kb.dir / w.file;
    const fs::path gone = link.parent_path() / "gone";
    fs::create_symlink("gone", link);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(kb.ctx, &lock), 0);
    EXPECT_EQ(w.edit_new != nullptr ? w.edit_new(kb.ctx, kb.folder(w.folder).c_str(), "w", lock) : w.save(kb, lock),
              -404);
    const std::string text = w.edit_new != nullptr ? tq_test::error_list_text(kb.ctx) : errors;
    EXPECT_NE(text.find("The file '" + link.string() + "' is a link to '" + gone.string() + "', which does not exist."),
              std::string::npos)
        << text;
    tq_lock_free(kb.ctx, lock);
    EXPECT_FALSE(fs::exists(gone));
    EXPECT_FALSE(fs::exists(link.string() + ".lck"));
  }
}

// A folder past what an edit_new takes is refused whole, with its length
// and the limit, and nothing is made: cut to the limit, it would name
// another folder, where the file would be made.
TEST(FileSaves, EditNewRefusesAFolderPastItsLimit) {
  Kb kb;
  // A folder of exactly 1,024 bytes, made; past each limit, folders in it.
  std::string limit_folder = kb.dir.str() + "/";
  while (limit_folder.size() < 1024) limit_folder += limit_folder.size() % 200 == 0 ? '/' : 'd';
  fs::create_directories(limit_folder);
  const struct {
    const char* call;
    edit_new_fn edit_new;
    uint32_t limit;
    const char* file;  // what a made file is called
  } calls[] = {
      {"tq_chopper_edit_new", tq_chopper_edit_new, 1024, "w.zel"},
      {"tq_vocab_edit_new", tq_vocab_edit_new, 1024, "w.zev"},
      {"tq_grammar_edit_new", tq_grammar_edit_new, 16384, "w.zel"},
      {"tq_phonetx_edit_new", tq_phonetx_edit_new, 16384, "w.zel"},
  };
  for (const auto& c : calls) {
    const std::string past = limit_folder + "/" + std::string(c.limit - 1024, 'e') + "sub";
    std::vector<std::string> folders{past, past + std::string(100, 'e')};
    if (c.limit == 1024) folders.push_back(limit_folder);
    for (const std::string& folder : folders) {
      SCOPED_TRACE(std::string(c.call) + ", a folder of " + std::to_string(folder.size()) + " bytes");
      tq_lock_handle* lock = nullptr;
      ASSERT_EQ(tq_lock_init(kb.ctx, &lock), 0);
      const int32_t rc = c.edit_new(kb.ctx, folder.c_str(), "w", lock);
      const std::string list = tq_test::error_list_text(kb.ctx);
      if (folder.size() <= c.limit) {
        EXPECT_EQ(rc, 0) << list;
        EXPECT_TRUE(fs::exists(limit_folder + "/" + c.file));
      } else {
        EXPECT_EQ(rc, -802);
        EXPECT_EQ(list, "  [0] -802: The folder given to " + std::string(c.call) + " is " +
                            std::to_string(folder.size()) + " bytes long in UTF-8, longer than the " +
                            std::to_string(c.limit) + " bytes it may have: it is refused and nothing is changed.\n");
        EXPECT_FALSE(fs::exists(limit_folder + "/" + c.file));
      }
      EXPECT_EQ(tq_lock_free(kb.ctx, lock), 0);
      fs::remove(limit_folder + "/" + c.file);
    }
  }
}

// With no folder given and an empty search path there is nowhere to make a
// file: said so, naming the call and the file, not -1 with no word.
TEST(FileSaves, NoFolderToMakeAFileInIsNamed) {
  Kb kb;
  ASSERT_EQ(save(kb, kWriters[5]), 0) << errors;  // vocab/w.zev
  const std::string vocab = kb.folder("vocab");
  ASSERT_EQ(tq_vocab_file_convert(kb.ctx, 1, (vocab + "/w").c_str(), (vocab + "/x").c_str()), 0)
      << tq_test::error_list_text(kb.ctx);
  ASSERT_EQ(tq_path_set(kb.ctx, ""), 0);
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(kb.ctx, &lock), 0);
  const struct {
    const char* call;
    const char* file;
    std::function<int32_t()> run;
  } rows[] = {
      {"tq_chopper_edit_new", "w.zel", [&] { return tq_chopper_edit_new(kb.ctx, "", "w", lock); }},
      {"tq_vocab_edit_new", "w.zev", [&] { return tq_vocab_edit_new(kb.ctx, "", "w", lock); }},
      {"tq_vocab_file_convert", "bare.zev",
       [&] { return tq_vocab_file_convert(kb.ctx, 0, (vocab + "/x").c_str(), "bare"); }},
      {"tq_vocab_file_convert", "bare.xml",
       [&] { return tq_vocab_file_convert(kb.ctx, 1, (vocab + "/w").c_str(), "bare"); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file);
    EXPECT_EQ(row.run(), -400);
    EXPECT_EQ(tq_test::error_list_text(kb.ctx),
              "  [0] -400: " + std::string(row.call) + " cannot make the file '" + row.file +
                  "': no folder was given and the search path is empty, so there is no folder to make it in.\n");
  }
  EXPECT_EQ(tq_lock_free(kb.ctx, lock), 0);
}

}  // namespace

namespace {

std::string last_text(tq_context* ctx) {
  int32_t code = 0;
  char text[TQ_ERROR_TEXT_MAX + 2] = {};
  tq_error_info_get(ctx, &code, text);
  return text;
}

// A read names the file and why: the parser's reason and position, an
// empty file as empty, the system's reason for a file that cannot be
// opened, and for a name not found, the search path or what is wrong with
// the root.
TEST(FileErrors, ReadsNameTheirCause) {
  TempDir dir;
  dir.write("locale/empty.xml", "");
  dir.write("locale/bad.xml", "<krxml>\n  <file type=\"T\" version=\"1\">\n  </data>\n");
  dir.write("locale/short.xml", "<krxml>\n  <file type=\"T\" version=\"1\">\n");
  fs::create_directories(dir / "locale" / "folder.xml");
  dir.write("root-file", "x");
  const std::string loc = (dir / "locale").string();
  struct Case {
    std::string root;
    std::string name;
    int32_t code;
    std::string text;
  };
  const Case cases[] = {
      {dir.str(), loc + "/empty", -5001, "The file '" + loc + "/empty.xml' is empty."},
      {dir.str(), loc + "/bad", -5001, "Read error in file '" + loc + "/bad.xml' at line 3, column 5: mismatched tag."},
      {dir.str(), loc + "/short", -5001, "Read error in file '" + loc + "/short.xml' at line 3, column 1: no element found."},
      {dir.str(), loc + "/none", -400, "The file '" + loc + "/none.xml' could not be opened: No such file or directory."},
      {dir.str(), loc + "/folder", -400, "The file '" + loc + "/folder.xml' could not be opened: Is a directory."},
      {dir.str(), "none", -400, "The file 'none.xml' was not found along the search path '" + dir.str() + "/casetab;"},
      {dir.str() + "/missing", "none", -400,
       "The file 'none.xml' was not found: the knowledge-base root '" + dir.str() + "/missing' does not exist."},
      {dir.str() + "/root-file", "none", -400,
       "The file 'none.xml' was not found: the knowledge-base root '" + dir.str() + "/root-file' is not a folder."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Context ctx(c.root.c_str());
    tq_xmldoc* doc = nullptr;
    EXPECT_EQ(tq_xml_read(ctx, c.name.c_str(), 0, &doc), c.code);
    EXPECT_EQ(last_text(ctx).rfind(c.text, 0), 0u) << last_text(ctx);
  }
  // A vault file gives "content not valid", with the same cause.
  Context ctx(dir.str().c_str());
  dir.write("locale/empty.zel", "");
  tq_xmldoc* doc = nullptr;
  EXPECT_EQ(tq_xml_read(ctx, (loc + "/empty").c_str(), 1, &doc), -300);
  EXPECT_EQ(last_text(ctx), "The file '" + loc + "/empty.zel' is empty.");
}

// A search-path folder that, joined with the name, makes a path too long
// is not looked in: a name in no other folder is said to be that, with the
// length and the limit, by a read and by a load, never "not found"; a
// folder further on that has the file still gives it.
TEST(FileErrors, AJoinTooLongIsNotNotFound) {
  TempDir dir;
  dir.write("near/here.xml", "<krxml>\n  <file type=\"T\" version=\"1\">\n  </file>\n</krxml>\n");
  const std::string far = dir.str() + "/" + std::string(16250 - dir.str().size(), 'f');
  Context ctx(dir.str().c_str());
  ASSERT_EQ(tq_path_set(ctx, (far + ";" + dir.str() + "/near").c_str()), 0);
  const std::string name(150, 'n');
  const auto refused = [&](const std::string& file) {
    return "The file '" + file + "' is in no folder of the search path where it could be looked for: joined with " +
           "a folder of it, its path has " + std::to_string(far.size() + 1 + file.size()) +
           " bytes, longer than the 16383 bytes a path may have.";
  };
  tq_xmldoc* doc = nullptr;
  EXPECT_EQ(tq_xml_read(ctx, name.c_str(), 0, &doc), -400);
  EXPECT_EQ(last_text(ctx), refused(name + ".xml"));
  int32_t index = -1;
  EXPECT_EQ(tq_chopper_load(ctx, name.c_str(), &index), -400);
  EXPECT_EQ(last_text(ctx), refused(name + ".zel"));
  const std::string here = "here" + std::string(146, 'e');
  fs::rename(dir / "near" / "here.xml", dir / "near" / (here + ".xml"));
  EXPECT_EQ(tq_xml_read(ctx, here.c_str(), 0, &doc), 0) << last_text(ctx);
  tq_xml_free(ctx, doc);
}

// A save by plain name walks the folders a read of the name looks in: when
// every folder joined with the name is too long for a path, the save is
// refused with the read's code and words (the length and the limit).
TEST(FileErrors, ASaveWhereEveryJoinIsTooLongIsSaidAsTheReadSaysIt) {
  Kb kb;
  ASSERT_EQ(save(kb, kWriters[5]), 0) << errors;  // vocab/w.zev
  const std::string vocab = kb.folder("vocab");
  ASSERT_EQ(tq_vocab_file_convert(kb.ctx, 1, (vocab + "/w").c_str(), (vocab + "/x").c_str()), 0)
      << tq_test::error_list_text(kb.ctx);
  const std::string far = kb.dir.str() + "/" + std::string(16250 - kb.dir.str().size(), 'f');
  ASSERT_EQ(tq_path_set(kb.ctx, far.c_str()), 0);
  tq_xmldoc* doc = nullptr;
  ASSERT_EQ(tq_xml_create(kb.ctx, "Plain", "7.0", &doc), 0);
  const std::string name(150, 'n');
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(kb.ctx, &lock), 0);
  int32_t v = -1;
  tq_xmldoc* read = nullptr;
  const struct {
    const char* what;
    std::function<int32_t()> write, read;
  } rows[] = {
      {"tq_xml_write", [&] { return tq_xml_write(kb.ctx, 0, name.c_str(), 0, doc); },
       [&] { return tq_xml_read(kb.ctx, name.c_str(), 0, &read); }},
      {"tq_xml_write, a vault", [&] { return tq_xml_write(kb.ctx, 0, name.c_str(), 1, doc); },
       [&] { return tq_xml_read(kb.ctx, name.c_str(), 1, &read); }},
      {"tq_vocab_file_convert to XML",
       [&] { return tq_vocab_file_convert(kb.ctx, 1, (vocab + "/w").c_str(), name.c_str()); },
       [&] { return tq_xml_read(kb.ctx, name.c_str(), 0, &read); }},
      {"tq_vocab_file_convert to a compiled file",
       [&] { return tq_vocab_file_convert(kb.ctx, 0, (vocab + "/x").c_str(), name.c_str()); },
       [&] { return tq_vocabulary_load(kb.ctx, name.c_str(), lock, &v); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const int32_t read_rc = row.read();
    const std::string read_text = last_text(kb.ctx);
    EXPECT_EQ(read_rc, -400);
    EXPECT_NE(read_text.find("joined with a folder of it, its path has"), std::string::npos) << read_text;
    EXPECT_EQ(row.write(), read_rc);
    EXPECT_EQ(last_text(kb.ctx), read_text);
  }
  EXPECT_EQ(tq_lock_free(kb.ctx, lock), 0);
  tq_xml_free(kb.ctx, doc);
}

// A save or edit that fails names the file and the cause: a full disk (the
// size limit stands in for it), a lock held elsewhere, a lock file that
// cannot be made.
TEST(FileErrors, SavesNameTheirCause) {
  Kb kb;
  const Writer& vocab = kWriters[5];
  ASSERT_EQ(save(kb, vocab), 0) << errors;
  const std::string saved = tq_test::read_file(kb.dir / vocab.file);
  pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{16, 16};
    setrlimit(RLIMIT_FSIZE, &limit);
    int32_t rc = save(kb, vocab);
    _exit(rc == -402 && errors.find("could not be written: File too large") != std::string::npos ? 0 : 1);
  }
  int status = -1;
  waitpid(child, &status, 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(tq_test::read_file(kb.dir / vocab.file), saved);
  EXPECT_TRUE(temporaries(kb.dir / vocab.file).empty());

  // Another context edits the locale: the lock says so.
  Context other(kb.dir.str().c_str(), true);
  tq_lock_handle* theirs = nullptr;
  ASSERT_EQ(tq_lock_init(other, &theirs), 0);
  ASSERT_EQ(tq_lock_create(other, "enusa.loc", 7, theirs, nullptr), 0);
  EXPECT_EQ(save(kb, kWriters[6]), -401);
  EXPECT_NE(errors.find("is locked by another program or context"), std::string::npos) << errors;
  tq_lock_free(other, theirs);

  // No lock file can be made: said so, not "could not be read", nor taken
  // for a file missing in its newer form and looked for in its older one.
  for (const char* file : {"locale/enusa.loc.zel", "vocab/w.zev"}) {
    SCOPED_TRACE(file);
    const std::string lock_file = (kb.dir / file).string() + ".lck";
    fs::create_directories(lock_file);
    Context fresh(kb.dir.str().c_str(), true);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(fresh, &lock), 0);
    int32_t rc = 0;
    if (std::string(file).rfind("locale/", 0) == 0) {
      rc = tq_zel_locale_load_edit(fresh, kEnUsa, 0, lock);
    } else {
      int32_t v = -1;
      uint32_t n = 0;
      ASSERT_EQ(tq_vocabulary_load(fresh, "w", lock, &v), 0);
      rc = tq_vocab_numwords_get(fresh, v, &n);
    }
    EXPECT_EQ(rc, -400);
    const std::string text = tq_test::error_list_text(fresh);
    EXPECT_NE(text.find("The lock file '" + lock_file + "' could not be made: Is a directory."), std::string::npos)
        << text;
    tq_lock_free(fresh, lock);
  }
}

}  // namespace
