#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/krcorvel.h"
#include "core/krfio.h"
#include "platform/npfio.h"
#include "platform/npmem.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace fs = std::filesystem;
using namespace tq;

namespace {

// A temporary folder removed at the end of the test.
struct Scratch {
  fs::path dir;
  Scratch() {
    std::string tmpl = (fs::temp_directory_path() / "tq-fio-XXXXXX").string();
    char* made = mkdtemp(tmpl.data());
    EXPECT_NE(made, nullptr);
    dir = tmpl;
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string put(const std::string& rel, const std::string& bytes) const {
    fs::path p = dir / rel;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
  }
  std::string at(const std::string& rel) const { return (dir / rel).string(); }
};

struct Ctx {
  tq_test::ContextPtr c = tq_test::make_bare_context();
  tq_context* get() { return c.get(); }
  void path(const std::string& text) { ASSERT_EQ(path_list_set(get(), c->search_path, text.c_str()), 0); }
};

std::string ext_set(const char* name, const char* ext, uint32_t size = 64) {
  char out[64];
  int32_t rc = fio_name_extension_set(name, ext, out, size);
  // Built with append: GCC 12 at -O2 and above warns falsely (-Wrestrict) on "literal" + temporary string.
  return rc == 0 ? std::string(out) : std::string("<").append(std::to_string(rc)).append(">");
}

std::string joined(const path_list* list, uint32_t size = 256) {
  char out[256];
  path_list_join(nullptr, list, out, size);
  return out;
}

std::string read_all(fio_handle* h) {
  std::string all;
  char buf[7];  // small on purpose: reads come in pieces
  for (int32_t n; (n = fio_getb(h, buf, sizeof buf)) > 0;) all.append(buf, static_cast<size_t>(n));
  return all;
}

}  // namespace

TEST(FioNames, ExtensionsAreAddedKeptOrReplacedByTheNewerTwin) {
  EXPECT_EQ(ext_set("de.loc", "zel"), "de.loc.zel");
  EXPECT_EQ(ext_set("x.krd", "zel"), "x.zel");
  EXPECT_EQ(ext_set("x.krv", "zev"), "x.zev");
  EXPECT_EQ(ext_set("x.zel", "krd"), "x.zel.krd");  // never newer -> older
  EXPECT_EQ(ext_set("x.zel", ".zel"), "x.zel");
  EXPECT_EQ(ext_set("x.ZEL", "zel"), "x.ZEL.zel");  // case-sensitive
  EXPECT_EQ(ext_set("kb.v2/de", "zel"), "kb.v2/de.zel");
  EXPECT_EQ(ext_set("x.krd", "zel", 6), "x.zel");
  EXPECT_EQ(ext_set("abc", "zel", 8), "abc.zel");
  EXPECT_EQ(ext_set("abc", "zel", 7), "<-1>");
  EXPECT_EQ(ext_set("abcdefg", "zel", 7), "<-1>");

  char out[32];
  EXPECT_EQ(fio_name_extension_strip("de.loc.zel", out, sizeof out), 0);
  EXPECT_STREQ(out, "de.loc");
  EXPECT_EQ(fio_name_extension_strip("a.krd", out, sizeof out), 0);
  EXPECT_STREQ(out, "a");
  EXPECT_EQ(fio_name_extension_strip("notes.txt", out, sizeof out), 0);
  EXPECT_STREQ(out, "notes.txt");
  EXPECT_EQ(fio_name_extension_strip("a.xml/b", out, sizeof out), 0);
  EXPECT_STREQ(out, "a.xml/b");
  EXPECT_EQ(fio_name_extension_strip("abcdef.zel", out, 6), -1);
  EXPECT_EQ(fio_name_extension_strip("abcde.zel", out, 6), 0);
  EXPECT_STREQ(out, "abcde");

  EXPECT_EQ(fio_name_build(nullptr, kFioKindLck, 0, "vault", out, sizeof out), 0);
  EXPECT_STREQ(out, "vault.lck");
  EXPECT_EQ(fio_name_build(nullptr, kFioKindLck, kFioFlagNameAsGiven, "vault", out, sizeof out), 0);
  EXPECT_STREQ(out, "vault");
  EXPECT_EQ(fio_name_build(nullptr, 9, 0, "vault", out, sizeof out), -1);
  EXPECT_EQ(fio_name_build(nullptr, kFioKindZel, kFioFlagNameAsGiven, "vault", out, 5), -1);
}

TEST(FioPaths, JoinBasenameAndType) {
  char out[32];
  EXPECT_EQ(fio_path_join("C:\\kb\\", "vocab", out, sizeof out), 0);
  EXPECT_STREQ(out, "C:\\kb\\vocab");
  EXPECT_EQ(fio_path_join("/kb/", "vocab", out, sizeof out), 0);
  EXPECT_STREQ(out, "/kb/vocab");
  EXPECT_EQ(fio_path_join("/kb", "vocab", out, sizeof out), 0);
  EXPECT_STREQ(out, "/kb/vocab");
  EXPECT_EQ(fio_path_join("", "vocab", out, sizeof out), 0);
  EXPECT_STREQ(out, "vocab");
  // "/kb/vocab" needs 10 bytes; one fewer is refused, never cut.
  EXPECT_EQ(fio_path_join("/kb", "vocab", out, 10), 0);
  EXPECT_EQ(fio_path_join("/kb", "vocab", out, 9), -1);
  EXPECT_STREQ(out, "");

  EXPECT_EQ(fio_path_basename_get("a/b\\c.zel", out, sizeof out), 0);
  EXPECT_STREQ(out, "c.zel");
  EXPECT_EQ(fio_path_basename_get("C:\\kb\\vocab\\", out, sizeof out), 0);
  EXPECT_STREQ(out, "vocab");
  EXPECT_EQ(fio_path_basename_get("plain", out, sizeof out), 0);
  EXPECT_STREQ(out, "plain");
  EXPECT_EQ(fio_path_basename_get("/", out, sizeof out), 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(fio_path_basename_get("/d/plain", out, 5), -1);

  EXPECT_EQ(fio_path_type("casetab.xml"), 0);
  EXPECT_EQ(fio_path_type("d1/casetab.xml"), 1);
  EXPECT_EQ(fio_path_type("d1\\casetab.xml"), 1);
  EXPECT_EQ(fio_path_type("/kb/casetab.xml"), 2);
  EXPECT_EQ(fio_path_type("C:\\kb"), 2);
  EXPECT_EQ(fio_path_type(""), -1);
  EXPECT_EQ(fio_path_type(nullptr), -1);
}

TEST(FioPathList, EmptyDirectoriesDropAndTheBlockIsFreedSafely) {
  path_list* list = nullptr;
  ASSERT_EQ(path_list_create(&list), 0);
  EXPECT_EQ(list->count, 0u);
  EXPECT_EQ(joined(list), "");

  // A leading empty directory moves dirs[0] off the block's start.
  ASSERT_EQ(path_list_set(nullptr, list, ";a"), 0);
  ASSERT_EQ(list->count, 1u);
  EXPECT_STREQ(list->dirs[0], "a");
  EXPECT_EQ(joined(list), "a");

  ASSERT_EQ(path_list_set(nullptr, list, "a;;b;"), 0);
  EXPECT_EQ(list->count, 2u);
  EXPECT_EQ(joined(list), "a;b");

  ASSERT_EQ(path_list_set(nullptr, list, ";;;"), 0);
  EXPECT_EQ(list->count, 0u);
  ASSERT_EQ(path_list_set(nullptr, list, "x"), 0);
  ASSERT_EQ(path_list_set(nullptr, list, nullptr), 0);
  EXPECT_EQ(list->count, 0u);
  ASSERT_EQ(path_list_set(nullptr, list, "x"), 0);
  ASSERT_EQ(path_list_set(nullptr, list, ""), 0);
  EXPECT_EQ(list->count, 0u);

  // Joins are cut to size - 1 bytes, between characters.
  ASSERT_EQ(path_list_set(nullptr, list, "abcdef"), 0);
  EXPECT_EQ(joined(list, 4), "abc");
  EXPECT_EQ(joined(list, 1), "");
  ASSERT_EQ(path_list_set(nullptr, list, "a\xC3\xA9;b"), 0);
  EXPECT_EQ(joined(list, 3), "a");
  EXPECT_EQ(joined(list, 4), "a\xC3\xA9");
  EXPECT_EQ(joined(list, 5), "a\xC3\xA9;");

  // A copy owns its own block with the pointers rebased.
  ASSERT_EQ(path_list_set(nullptr, list, ";x;;yy;"), 0);
  path_list* copy = nullptr;
  ASSERT_EQ(path_list_create(&copy), 0);
  ASSERT_EQ(path_list_set(nullptr, copy, "old;dirs"), 0);
  ASSERT_EQ(path_list_copy(nullptr, list, copy), 0);
  path_list_destroy(list);
  ASSERT_EQ(copy->count, 2u);
  EXPECT_EQ(joined(copy), "x;yy");
  EXPECT_EQ(path_list_free(nullptr, copy), 0);
  EXPECT_EQ(copy->count, 0u);
  EXPECT_EQ(copy->dirs, nullptr);
  path_list_destroy(copy);
  path_list_destroy(nullptr);
}

TEST(FioSearch, ResolveAndOpenAlongTheSearchPath) {
  Scratch s;
  Ctx ctx;
  std::string d1 = s.at("d1"), d2 = s.at("d2");
  fs::create_directories(d1);
  std::string found = s.put("d2/de.loc.zel", "vault");
  s.put("d2/casetab.xml", "<casetab/>");
  s.put("d1/old.krd", "older vault");

  char out[kFioPathSize];
  // No search path yet.
  EXPECT_EQ(fio_path_resolve(ctx.get(), "de.loc", kFioKindZel, out, sizeof out), -1);

  ctx.path(d1 + ";" + d2);
  EXPECT_EQ(fio_path_resolve(ctx.get(), "de.loc", kFioKindZel, out, sizeof out), 0);
  EXPECT_EQ(std::string(out), found);
  EXPECT_EQ(fio_path_resolve(ctx.get(), "de.loc.zel", kFioKindZel, out, sizeof out), 0);
  EXPECT_EQ(std::string(out), found);
  EXPECT_EQ(fio_path_resolve(ctx.get(), "old", kFioKindKrd, out, sizeof out), 0);
  EXPECT_EQ(std::string(out), d1 + "/old.krd");
  EXPECT_EQ(fio_path_resolve(ctx.get(), "missing", kFioKindZel, out, sizeof out), -404);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(fio_path_resolve(ctx.get(), "de.loc", 9, out, sizeof out), -1);
  // A path is checked as it is, context or not; directories are not files.
  EXPECT_EQ(fio_path_resolve(nullptr, (d2 + "/de.loc").c_str(), kFioKindZel, out, sizeof out), 0);
  EXPECT_EQ(std::string(out), found);
  EXPECT_EQ(fio_path_resolve(nullptr, d2.c_str(), kFioKindXml, out, sizeof out), -404);
  EXPECT_EQ(fio_stat(d2.c_str(), nullptr, 0), -404);
  // A result that does not fit is refused, not cut.
  char small[8];
  EXPECT_EQ(fio_path_resolve(ctx.get(), "de.loc", kFioKindZel, small, sizeof small), -1);

  fio_handle* h = nullptr;
  fio_open_report r;
  ASSERT_EQ(fio_open_in_path(ctx.get(), "casetab.xml", kFioKindXml, kFioOpenRead, &h, &r), 0);
  EXPECT_EQ(read_all(h), "<casetab/>");
  EXPECT_EQ(std::string(r.path), d2 + "/casetab.xml");
  fio_close(h);
  // A vault is taken in its older form when it has no other.
  ASSERT_EQ(fio_open_in_path(ctx.get(), "old", kFioKindZel, kFioOpenRead, &h, &r), 0);
  EXPECT_EQ(read_all(h), "older vault");
  EXPECT_EQ(r.kind, kFioKindKrd);
  fio_close(h);
  EXPECT_EQ(fio_open_in_path(ctx.get(), "nothing", kFioKindZel, kFioOpenRead, &h, &r), -404);
  EXPECT_EQ(h, nullptr);
  EXPECT_STREQ(r.path, "nothing.zel");
  EXPECT_EQ(fio_open_in_path(ctx.get(), "casetab", 9, kFioOpenRead, &h, &r), -1);
  fio_close(nullptr);
}

namespace {

// The file layer's hook failing every "open" with EIO; the allocator's
// refusing the handle cell of the second open it makes.
int eio_at_open(const char* call) { return std::strcmp(call, "open") == 0 ? EIO : 0; }
int g_cells = 0;
bool second_cell_refused(std::size_t size) { return size == sizeof(fio_handle) && ++g_cells == 2; }

}  // namespace

// A failed open carries its own cause from where it failed: what a caller
// says of it and whether it may pass (counted on the context) come from
// that attempt, never from another attempt of the search or a later call.
TEST(FioSearch, AFailedOpenCarriesItsOwnCause) {
  Scratch s;
  Ctx ctx;
  fs::create_directories(s.at("d1"));
  s.put("d2/here.xml", "<here/>");
  fs::create_symlink("loop.xml", s.at("d1/loop.xml"));
  ctx.path(s.at("d1") + ";" + s.at("d2"));
  struct Row {
    const char* what;
    const char* name;
    int (*fault)(const char*);
    bool (*refuse)(std::size_t);
    int32_t rc;
    err_cause cause;
    const char* said;
  };
  const Row rows[] = {
      {"missing", "nothing.xml", nullptr, nullptr, -404, err_cause::missing, "was not found along the search path"},
      {"a link loop", "loop.xml", nullptr, nullptr, -400, err_cause::permanent, "Too many levels of symbolic links"},
      {"an I/O error", "nothing.xml", eio_at_open, nullptr, -400, err_cause::passing, "Input/output error"},
      // The first folder's attempt failed (not there) before memory ran out.
      {"memory out at the second folder", "here.xml", nullptr, second_cell_refused, -600, err_cause::passing,
       "There was not enough memory to open the file"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const uint32_t mark = err_passing_mark(ctx.get());
    fio_handle* h = nullptr;
    fio_open_report r;
    g_cells = 0;
    np_fio_fault_set(row.fault);
    np_alloc_refuse_set(row.refuse);
    const int32_t rc = fio_open_in_path(ctx.get(), row.name, kFioKindXml, kFioOpenRead, &h, &r);
    np_alloc_refuse_set(nullptr);
    np_fio_fault_set(nullptr);
    fio_close(h);
    EXPECT_EQ(rc, row.rc);
    EXPECT_EQ(r.cause, row.cause);
    EXPECT_EQ(err_passing_mark(ctx.get()) != mark, row.cause == err_cause::passing);
    char text[kErrTextSize];
    fio_open_report_text(ctx.get(), r, text);
    EXPECT_NE(std::string(text).find(row.said), std::string::npos) << text;
    if (rc == -600) {
      EXPECT_EQ(std::string(text).find("No such file"), std::string::npos) << text;
    }
  }
}

namespace {
// Refuses the allocation numbered g_refuse_at (from 1) of those counted.
int g_allocations = 0;
int g_refuse_at = 0;
bool refuse_nth(std::size_t) { return ++g_allocations == g_refuse_at; }
}  // namespace

// Each allocation of the search refused in turn: the answer is the clean
// one or -600, never a file handed out with -600 nor another failure, and
// a plain-name save walks the same road.
TEST(FioSearch, MemoryRefusedAtEachStepOfTheWalkIsNoMemory) {
  Scratch s;
  Ctx ctx;
  s.put("d2/here.xml", "<here/>");
  ctx.path(s.at("d1") + ";" + s.at("d2"));
  const struct {
    const char* what;
    int32_t clean;
    std::function<int32_t()> call;
  } rows[] = {
      {"open", 0,
       [&] {
         fio_handle* h = nullptr;
         fio_open_report r;
         const int32_t rc = fio_open_in_path(ctx.get(), "here", kFioKindXml, kFioOpenRead, &h, &r);
         EXPECT_EQ(h != nullptr, rc == 0);
         fio_close(h);
         return rc;
       }},
      {"find", 0,
       [&] {
         fio_open_report r;
         return fio_find_in_path(ctx.get(), "here", kFioKindXml, 0, &r);
       }},
      {"resolve", 0,
       [&] {
         char out[256];
         return fio_path_resolve(ctx.get(), "here", kFioKindXml, out, sizeof out);
       }},
      {"walk", 0,
       [&] {
         fio_walk_end end;
         return fio_search_walk(ctx.get(), "here.xml", &end, [](const char*) { return false; });
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    bool refused = true;
    for (g_refuse_at = 1; refused; ++g_refuse_at) {
      g_allocations = 0;
      np_alloc_refuse_set(refuse_nth);
      const int32_t rc = row.call();
      np_alloc_refuse_set(nullptr);
      refused = g_allocations >= g_refuse_at;
      EXPECT_EQ(rc, refused ? -600 : row.clean) << "allocation " << g_refuse_at;
    }
  }
}

TEST(FioLocking, ConflictingOpensReportLocked) {
  Scratch s;
  Ctx ctx;
  std::string d1 = s.at("d1"), d2 = s.at("d2");
  fs::create_directories(d1);
  fs::create_directories(d2);
  ctx.path(d1 + ";" + d2);

  fio_handle* a = nullptr;
  fio_handle* b = nullptr;
  fio_open_report r;
  ASSERT_EQ(fio_open((d1 + "/vault.lck").c_str(), kFioOpenLock, &a), 0);
  EXPECT_TRUE(fs::exists(d1 + "/vault.lck"));
  // A second handle of the same process is refused, as another process is.
  EXPECT_EQ(fio_open((d1 + "/vault.lck").c_str(), kFioOpenLock, &b), -401);
  EXPECT_EQ(b, nullptr);
  // Locked in d1 and missing in d2 is still "locked", not "cannot open".
  EXPECT_EQ(fio_open_in_path(ctx.get(), "vault", kFioKindLck, kFioFlagRead, &b, &r), -401);
  EXPECT_EQ(std::string(r.path), d1 + "/vault.lck");
  // Shared opens meet the exclusive lock too.
  EXPECT_EQ(fio_open((d1 + "/vault.lck").c_str(), kFioOpenRead, &b), -401);

  np_fio_handle raw = nullptr;
  EXPECT_EQ(np_fio_open((d1 + "/vault.lck").c_str(), kNpFioWrite | kNpFioCreate, &raw), kNpFioLocked);
  // The option to take no locks opens it anyway.
  ctx.get()->options |= kOptNoLockFiles;
  ASSERT_EQ(fio_open_in_path(ctx.get(), "vault", kFioKindLck, kFioFlagRead, &b, &r), 0);
  fio_close(b);
  ctx.get()->options = 0;
  fio_close(a);

  // Shared opens coexist; an exclusive one is refused while they are open.
  std::string data = s.put("d1/data.dat", "x");
  ASSERT_EQ(fio_open(data.c_str(), kFioOpenRead, &a), 0);
  ASSERT_EQ(fio_open(data.c_str(), kFioOpenRead, &b), 0);
  fio_handle* c = nullptr;
  EXPECT_EQ(fio_open(data.c_str(), kFioOpenRead | kFioFlagExclusive, &c), -401);
  // With the exclusive-open option every open through the path is exclusive.
  ctx.get()->options |= kOptSecondOpenFlag;
  EXPECT_EQ(fio_open_in_path(ctx.get(), "data", kFioKindDat, kFioOpenRead, &c, &r), -401);
  fio_close(a);
  fio_close(b);
  ASSERT_EQ(fio_open_in_path(ctx.get(), "data", kFioKindDat, kFioOpenRead, &c, &r), 0);
  fio_close(c);

  // A file held elsewhere is held: neither the same name in a later folder
  // nor the older form beside it stands in for it, and the account says so
  // whatever was tried after it.
  const std::string held = s.put("d1/res.zel", "newer");
  s.put("d1/res.krd", "older");
  s.put("d2/res.zel", "shadowed");
  ASSERT_EQ(fio_open(held.c_str(), kFioOpenRead, &a), 0);
  EXPECT_EQ(fio_open_in_path(ctx.get(), "res", kFioKindZel, kFioOpenRead, &c, &r), -401);
  EXPECT_EQ(c, nullptr);
  EXPECT_EQ(std::string(r.path), held);
  char text[kErrTextSize];
  fio_open_report_text(ctx.get(), r, text);
  EXPECT_EQ(std::string(text), "The file '" + held + "' is locked by another program or context.");
  fio_close(a);
  ctx.get()->options = 0;

  // A lock file removed while held leaves the name free: the next lock
  // open makes and locks a fresh file.
  ASSERT_EQ(fio_open((d1 + "/vault.lck").c_str(), kFioOpenLock, &a), 0);
  EXPECT_EQ(fio_unlink((d1 + "/vault.lck").c_str()), 0);
  ASSERT_EQ(fio_open((d1 + "/vault.lck").c_str(), kFioOpenLock, &b), 0);
  fio_close(a);
  fio_close(b);
}

TEST(FioIo, BinaryWriteReadLinesAndTruncate) {
  Scratch s;
  std::string path = s.at("f.dat");
  const std::string bytes("line one\r\nline\0two\n\xC3\xA9nd", 23);

  fio_handle* h = nullptr;
  ASSERT_EQ(fio_open(path.c_str(), kFioOpenWrite, &h), 0);
  EXPECT_EQ(fio_putb(h, bytes.data(), static_cast<uint32_t>(bytes.size())), 23);
  EXPECT_EQ(fio_puts(h, "!"), 1);
  fio_close(h);

  ASSERT_EQ(fio_open(path.c_str(), kFioOpenRead, &h), 0);
  EXPECT_EQ(read_all(h), bytes + "!");  // no newline translation
  EXPECT_EQ(fio_getb(h, nullptr, 0), 0);
  fio_close(h);

  // Lines keep their '\n' (and any '\r'); long lines come in pieces.
  ASSERT_EQ(fio_open(path.c_str(), kFioOpenRead, &h), 0);
  char line[64];
  EXPECT_EQ(fio_gets(h, line, sizeof line), 10);
  EXPECT_STREQ(line, "line one\r\n");
  EXPECT_EQ(fio_gets(h, line, 4), 3);
  EXPECT_STREQ(line, "lin");
  EXPECT_EQ(fio_gets(h, line, sizeof line), 6);
  EXPECT_EQ(std::string(line, 6), std::string("e\0two\n", 6));
  EXPECT_EQ(fio_gets(h, line, sizeof line), 5);
  EXPECT_STREQ(line, "\xC3\xA9nd!");
  EXPECT_EQ(fio_gets(h, line, sizeof line), 0);
  // Writing to a read-only handle fails as a write failure.
  EXPECT_EQ(fio_puts(h, "x"), -402);
  fio_close(h);

  // Opening for writing truncates; truncation cuts at the position reached,
  // bytes read ahead for lines not counted.
  ASSERT_EQ(np_fio_stat(path.c_str(), 0), 0);
  np_fio_handle raw = nullptr;
  ASSERT_EQ(np_fio_open(path.c_str(), kNpFioRead | kNpFioWrite, &raw), 0);
  fio_handle wrap{raw};
  EXPECT_EQ(fio_gets(&wrap, line, sizeof line), 10);
  EXPECT_EQ(fio_puts(&wrap, "LINE"), 4);
  EXPECT_EQ(fio_trunc(&wrap), 0);
  np_fio_close(raw);
  std::ifstream in(path, std::ios::binary);
  std::string back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(back, "line one\r\nLINE");

  ASSERT_EQ(fio_open(path.c_str(), kFioOpenWrite, &h), 0);
  fio_close(h);
  EXPECT_EQ(fs::file_size(path), 0u);

  EXPECT_EQ(fio_unlink(path.c_str()), 0);
  EXPECT_EQ(fio_unlink(path.c_str()), -400);
  EXPECT_EQ(fio_open(path.c_str(), kFioOpenRead, &h), -400);
  EXPECT_EQ(fio_open(s.dir.string().c_str(), kFioOpenRead, &h), -400);
  EXPECT_EQ(fio_open(nullptr, kFioOpenRead, &h), -802);
  // Paths written with '\' reach the same file.
  std::string back_slashed = s.put("sub/g.dat", "g");
  std::string win = s.dir.string() + "\\sub\\g.dat";
  EXPECT_EQ(fio_stat(win.c_str(), line, sizeof line), 0);
  ASSERT_EQ(fio_open(win.c_str(), kFioOpenRead, &h), 0);
  EXPECT_EQ(read_all(h), "g");
  fio_close(h);
}

TEST(FioFiles, ExistingOpensIdentitiesAndReplaceTargets) {
  Scratch s;
  std::string file = s.put("d/f.xml", "x");
  std::string other = s.put("d/g.xml", "y");
  fs::create_symlink("f.xml", s.at("d/link.xml"));

  // What is no file is -404 (a search goes on); a locked file stops it.
  fio_handle* a = nullptr;
  fio_handle* b = nullptr;
  EXPECT_EQ(fio_open_existing(s.at("d/f.xml/x").c_str(), kFioOpenRead, &a), -404);
  ASSERT_EQ(fio_open(other.c_str(), kFioOpenLock, &a), 0);
  EXPECT_EQ(fio_open_existing(other.c_str(), kFioOpenRead, &b), -401);
  fio_close(a);

  // A file has one identity under every name.
  fio_file_id ids[3]{};
  const std::string names[3] = {file, s.at("d/link.xml"), other};
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(fio_open_existing(names[i].c_str(), kFioOpenRead, &a), 0) << names[i];
    EXPECT_EQ(fio_identity(a, &ids[i]), 0);
    fio_close(a);
  }
  EXPECT_TRUE(ids[0] == ids[1]);
  EXPECT_FALSE(ids[0] == ids[2]);

  // Replace targets: a file itself, the end of a chain of links (relative
  // to each link's folder, or absolute), a missing end; loops refused.
  fs::create_directories(s.at("e"));
  fs::create_symlink("../d/link.xml", s.at("e/up.xml"));
  fs::create_symlink(s.at("e/up.xml"), s.at("abs.xml"));
  fs::create_symlink("nothing.xml", s.at("d/dangling.xml"));
  fs::create_symlink("loop.xml", s.at("d/loop.xml"));
  char out[kFioPathSize];
  struct Case {
    std::string path;
    int32_t rc;
    std::string target;
  };
  const Case cases[] = {
      {file, 0, file},
      {s.at("e/up.xml"), 0, s.at("e/../d/f.xml")},
      {s.at("abs.xml"), 0, s.at("e/../d/f.xml")},
      {s.at("d/dangling.xml"), 0, s.at("d/nothing.xml")},
      {s.at("d/new.xml"), 0, s.at("d/new.xml")},
      {s.at("d/loop.xml"), -400, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fio_replace_target(c.path.c_str(), out, sizeof out), c.rc) << c.path;
    if (c.rc == 0) {
      EXPECT_EQ(std::string(out), c.target);
    }
  }
  char small[8];
  EXPECT_EQ(fio_replace_target(file.c_str(), small, sizeof small), -1);
}

namespace {

// A sweep removes a temporary file only when its process is gone and
// nobody holds its lock: a writer elsewhere (its id meaningless here)
// keeps its file while it holds the lock. Names that are not temporary
// files of this file are never touched.
TEST(FioFiles, SweepRemovesOnlyAbandonedTemporaries) {
  Scratch s;
  const std::string target = s.put("d/f.zel", "old");
  pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  const std::string gone = std::to_string(child);
  const std::string abandoned = s.put("d/f.zel.~tq" + gone + ".1", "x");
  const std::string held = s.put("d/f.zel.~tq" + gone + ".2", "x");
  const std::string others[] = {s.put("d/f.zel.~tq" + gone + ".x", "x"), s.put("d/g.zel.~tq" + gone + ".1", "x"),
                                s.put("d/f.zel.~tq" + std::to_string(getpid()) + ".1", "x")};
  np_fio_handle lock = nullptr;
  ASSERT_EQ(np_fio_open(held.c_str(), kNpFioRead, &lock), 0);  // an exclusive lock
  np_fio_temp_sweep(target.c_str());
  EXPECT_FALSE(fs::exists(abandoned));
  EXPECT_TRUE(fs::exists(held));
  for (const std::string& o : others) EXPECT_TRUE(fs::exists(o)) << o;
  np_fio_close(lock);
  np_fio_temp_sweep(target.c_str());
  EXPECT_FALSE(fs::exists(held));

  // A temporary file of this process is new and locked while it exists.
  char temp[512];
  np_fio_handle h = nullptr;
  ASSERT_EQ(np_fio_temp_open(target.c_str(), 0600, temp, sizeof temp, &h), 0);
  EXPECT_EQ(std::string(temp).rfind(target + ".~tq" + std::to_string(getpid()) + ".", 0), 0u);
  np_fio_handle other = nullptr;
  EXPECT_EQ(np_fio_open(temp, kNpFioRead, &other), kNpFioLocked);
  np_fio_close(h);
  np_fio_unlink(temp);
}

}  // namespace

namespace {

// Root without the privilege of acting as any file's owner (CAP_FOWNER),
// as a service confined to the capabilities it needs may run: it can give
// a file away, but not set the list or the bits of a file it gave away.
bool drop_fowner() {
  __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (syscall(SYS_capget, &head, data) != 0) return false;
  data[0].effective &= ~(1u << CAP_FOWNER);
  return syscall(SYS_capset, &head, data) == 0;
}

// Gives a file the bits `mode` and the list entries `acl` (setfacl -m;
// NULL for none), dropping what the folder's default list gave it where
// `lists`; then what it has, for comparing after a save. False on a failure.
bool access_set(const std::string& file, mode_t mode, const char* acl, bool lists, struct stat* st, std::string* text) {
  if ((lists && !tq_test::setfacl("-b", file)) || chmod(file.c_str(), mode) != 0 ||
      (acl != nullptr && !tq_test::setfacl(std::string("-m ") + acl, file)) || stat(file.c_str(), st) != 0) {
    return false;
  }
  *text = tq_test::acl_text(file);
  return true;
}

// Whether `uid` may open the file for writing.
bool writable_by(uid_t uid, const std::string& file) {
  pid_t child = fork();
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(uid) != 0 || setuid(uid) != 0) _exit(9);
    int fd = open(file.c_str(), O_WRONLY);
    _exit(fd >= 0 ? 0 : 1);
  }
  int status = -1;
  waitpid(child, &status, 0);
  return status == 0;
}

// A writer keeps the file its owner's and in its group where it may, and
// otherwise replaces it only when nobody's access changes: a save as root
// gives a user's file back to the user; a user saves their own file into a
// group of theirs; a file whose owner or group cannot be kept and whose
// bits favour that owner or group is refused, named, and left as it was.
// The file's access control list goes with it, and the one the new file
// takes from the folder's default list (every file here has one) does not
// stay: a plain file stays plain. A list or bits that cannot be given to
// the new file are refused alike, and so is an owner or group that cannot
// be kept of a file with a list, whose bits do not tell who may do what.
TEST(FioFiles, ReplacementKeepsOwnerGroupAndAccess) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to make files of other users";
  Scratch s;
  fs::permissions(s.dir, fs::perms::all);
  const bool lists = tq_test::acl_supported(s.dir) && tq_test::setfacl("-d -m u:1235:rw", s.dir);
  struct Case {
    uid_t file_uid;
    gid_t file_gid;
    mode_t mode;
    uid_t writer;  // 0: root; else the user, in groups 1234 and 1236
    int32_t rc;
    uid_t uid_after;
    gid_t gid_after;
    const char* acl = nullptr;  // given to the file with setfacl -m
    bool fowner = true;         // false: root without CAP_FOWNER
  };
  const Case cases[] = {
      {1234, 1234, 0640, 0, 0, 1234, 1234},        // root keeps both
      {1234, 1236, 0640, 1234, 0, 1234, 1236},     // own file, a group of the writer's
      {1235, 1234, 0664, 1234, -400, 1235, 1234},  // another's file, writable through the group
      {1235, 1235, 0666, 1234, 0, 1234, 1234},     // everybody's bits alike: nobody's access changes
      {1234, 1235, 0644, 1234, 0, 1234, 1234},     // a group not the writer's, granting nothing more
      {1234, 1235, 0660, 1234, -400, 1234, 1235},  // a group not the writer's that reads and writes it
      {1234, 1234, 0640, 0, 0, 1234, 1234, "u:1235:rw"},            // root keeps the list
      {1234, 1236, 0640, 1234, 0, 1234, 1236, "u:1235:rw"},         // so does the owner
      {1234, 1234, 0640, 0, -400, 1234, 1234, "u:1235:rw", false},  // a list that cannot be given
      {1234, 1234, 0640, 0, -400, 1234, 1234, nullptr, false},      // nor can the bits
      // Bits alike, but the list holds the owning group to nothing: a group
      // that cannot be kept would open the file to that group.
      {1235, 1235, 0666, 1234, -400, 1235, 1235, "g::-,u:1237:rw"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n);
    const std::string file = s.put("f" + std::to_string(n++) + ".zel", "old");
    if (c.acl != nullptr && !lists) continue;
    ASSERT_EQ(chown(file.c_str(), c.file_uid, c.file_gid), 0);
    struct stat before {};
    std::string acl_before;
    ASSERT_TRUE(access_set(file, c.mode, c.acl, lists, &before, &acl_before));
    pid_t child = fork();
    if (child == 0) {
      const gid_t groups[] = {1234, 1236};
      if (c.writer != 0 && (setgroups(2, groups) != 0 || setgid(1234) != 0 || setuid(c.writer) != 0)) _exit(9);
      if (!c.fowner && !drop_fowner()) _exit(8);
      Ctx ctx;
      int32_t rc = fio_write_replacing(ctx.get(), file.c_str(), [](fio_handle* h) {
        return fio_puts(h, "new") == 3 ? 0 : TQ_ERR_FILE_WRITE;
      });
      if (rc != c.rc) _exit(1);
      const std::string named =
          "The file '" + file + "' " +
          (c.fowner ? "belongs to user " + std::to_string(c.file_uid) + " and group " + std::to_string(c.file_gid) +
                          ", which"
                    : std::string("has an access control list or permission bits that")) +
          " its replacement could not be given (Operation not permitted)";
      if (rc != 0 && (ctx.get()->errors.count != 1 || std::strstr(ctx.get()->errors.recs[0].text, named.c_str()) == nullptr)) {
        _exit(2);
      }
      _exit(0);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, c.uid_after);
    EXPECT_EQ(st.st_gid, c.gid_after);
    EXPECT_EQ(st.st_mode & 07777, before.st_mode & 07777);
    EXPECT_EQ(tq_test::acl_text(file), acl_before);
    std::ifstream in(file);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, c.rc == 0 ? "new" : "old");
    if (c.acl != nullptr && c.rc == 0) {
      EXPECT_TRUE(writable_by(1235, file));
    }
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(s.dir), fs::directory_iterator()), n);  // no temporary left
  if (!lists) GTEST_SKIP() << "the rows with access control lists need setfacl and a file system that keeps lists";
}

// A finished temporary file keeps its lock until it has taken the file's
// name: a sweep that cannot ask the writer's process (another process
// namespace or host; here, the same file under the name of a process that
// is gone) leaves it, and the save succeeds.
std::string g_target;
std::string g_alias;
TEST(FioFiles, TemporaryStaysLockedUntilRenamed) {
  Scratch s;
  g_target = s.put("d/f.zel", "old");
  pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  g_alias = g_target + ".~tq" + std::to_string(child) + ".1";
  fio_write_hook_set([](fio_write_stage stage, const char* temp) {
    // The alias is the same file, so it carries the writer's lock.
    if (stage == fio_write_stage::renaming && link(temp, g_alias.c_str()) == 0) np_fio_temp_sweep(g_target.c_str());
  });
  Ctx ctx;
  int32_t rc = fio_write_replacing(ctx.get(), g_target.c_str(), [](fio_handle* h) {
    return fio_puts(h, "new") == 3 ? 0 : TQ_ERR_FILE_WRITE;
  });
  fio_write_hook_set(nullptr);
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(fs::exists(g_alias));
  EXPECT_TRUE(fs::equivalent(g_alias, g_target));
  // Once the writer is done, the alias is abandoned and goes.
  np_fio_temp_sweep(g_target.c_str());
  EXPECT_FALSE(fs::exists(g_alias));
}

// What the temporary file was when it was made and when its first byte was
// about to be written.
struct Seen {
  struct stat made;
  struct stat filling;
  std::string acl;
};
Seen g_seen;

// Under umask 002 in a setgid folder, a new file would be born writable by
// the folder's group. The replacement of an existing file is born open to
// its owner alone (in a folder with a default list too), and holds the old
// file's owner, group, bits and list before its first byte. A file that
// was not there is born as the system makes new files, the same as one
// made with open() beside it, and stays so.
TEST(FioFiles, ReplacementIsBornNarrow) {
  Scratch s;
  const bool lists = tq_test::acl_supported(s.dir);
  ASSERT_EQ(chmod(s.dir.c_str(), 02775), 0);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(s.dir.c_str(), static_cast<uid_t>(-1), 1234), 0);
  }
  std::vector<std::string> folders{s.dir.string()};
  if (lists) {
    folders.push_back(s.at("listed"));
    fs::create_directory(folders.back());
    ASSERT_TRUE(tq_test::setfacl("-d -m u:1235:rw", folders.back()));
  }
  struct Restore {
    mode_t mask;
    ~Restore() {
      fio_write_hook_set(nullptr);
      umask(mask);
    }
  } restore{umask(002)};
  fio_write_hook_set([](fio_write_stage stage, const char* temp) {
    if (stage == fio_write_stage::made) stat(temp, &g_seen.made);
    if (stage == fio_write_stage::filling) {
      stat(temp, &g_seen.filling);
      g_seen.acl = tq_test::acl_text(temp);
    }
  });
  auto save = [](const std::string& file) {
    Ctx ctx;
    return fio_write_replacing(ctx.get(), file.c_str(),
                               [](fio_handle* h) { return fio_puts(h, "new") == 3 ? 0 : TQ_ERR_FILE_WRITE; });
  };
  struct Case {
    const char* name;
    mode_t mode;
    const char* acl;  // given with setfacl -m
  };
  for (const std::string& folder : folders) {
    SCOPED_TRACE(folder);
    for (const Case& c : {Case{"plain.zel", 0644, nullptr}, Case{"listed.zel", 0640, "u:1235:rw"}}) {
      SCOPED_TRACE(c.name);
      if (c.acl != nullptr && !lists) continue;
      const std::string file = folder + "/" + c.name;
      std::ofstream(file) << "old";
      struct stat old {};
      std::string acl;
      ASSERT_TRUE(access_set(file, c.mode, c.acl, lists, &old, &acl));
      g_seen = Seen{};
      ASSERT_EQ(save(file), 0);
      EXPECT_EQ(g_seen.made.st_mode & 077, 0u) << std::oct << g_seen.made.st_mode;
      EXPECT_EQ(g_seen.filling.st_size, 0);
      EXPECT_EQ(g_seen.filling.st_uid, old.st_uid);
      EXPECT_EQ(g_seen.filling.st_gid, old.st_gid);
      EXPECT_EQ(g_seen.filling.st_mode & 07777, old.st_mode & 07777);
      EXPECT_EQ(g_seen.acl, acl);
    }

    const std::string made = folder + "/made.zel";
    const std::string by_open = folder + "/by-open.zel";
    close(open(by_open.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666));
    g_seen = Seen{};
    ASSERT_EQ(save(made), 0);
    struct stat want {};
    struct stat got {};
    ASSERT_EQ(stat(by_open.c_str(), &want), 0);
    ASSERT_EQ(stat(made.c_str(), &got), 0);
    EXPECT_EQ(g_seen.made.st_mode & 07777, want.st_mode & 07777);
    EXPECT_EQ(got.st_mode & 07777, want.st_mode & 07777);
    EXPECT_EQ(got.st_mode & 07777, 0664u);
    EXPECT_EQ(got.st_gid, want.st_gid);
    EXPECT_EQ(tq_test::acl_text(made), tq_test::acl_text(by_open));
  }
  if (!lists) GTEST_SKIP() << "the cases with access control lists need setfacl and a file system that keeps lists";
}

}  // namespace

namespace {

// The file layer's hook for one case: fails the nth call (from 1) of a
// name with an error (kNpFioFaultAfter added: made, then failed), counting
// from the start or, for a save, from the making of its temporary file.
struct CallFault {
  const char* call;
  int nth;
  int error;
};
struct FaultPlan {
  static inline std::vector<CallFault> faults;
  static inline std::vector<std::pair<std::string, int>> seen;
  static inline bool armed = false;
  static int hook(const char* call) {
    if (!armed) return 0;
    int n = 1;
    auto it = std::find_if(seen.begin(), seen.end(), [&](const auto& e) { return e.first == call; });
    if (it == seen.end()) {
      seen.emplace_back(call, 1);
    } else {
      n = ++it->second;
    }
    for (const CallFault& f : faults) {
      if (std::strcmp(f.call, call) == 0 && f.nth == n) return f.error;
    }
    return 0;
  }
  FaultPlan(std::vector<CallFault> f, bool from_start) {
    faults = std::move(f);
    seen.clear();
    armed = from_start;
    np_fio_fault_set(&hook);
    fio_write_hook_set([](fio_write_stage stage, const char*) { armed = armed || stage == fio_write_stage::made; });
  }
  ~FaultPlan() {
    np_fio_fault_set(nullptr);
    fio_write_hook_set(nullptr);
    armed = false;
  }
  FaultPlan(const FaultPlan&) = delete;
  FaultPlan& operator=(const FaultPlan&) = delete;
};

constexpr int kDone = kNpFioFaultAfter;

// The temporary files beside the files of the folder.
int temporaries(const fs::path& dir) {
  int n = 0;
  for (const auto& e : fs::directory_iterator(dir)) n += e.path().filename().string().find(".~tq") != std::string::npos;
  return n;
}

// The outcome of one case: what the call answered, what the file holds
// (or "-" when there is none), how many temporary files stay, and the
// error list.
std::string outcome(int32_t rc, const std::string& file, const fs::path& dir) {
  std::string bytes = fs::exists(file) ? tq_test::read_file(file) : "-";
  return std::to_string(rc) + "|" + bytes + "|" + std::to_string(temporaries(dir));
}

struct FaultCase {
  const char* name;
  std::vector<CallFault> faults;
  bool from_start;  // else from the making of a save's temporary file
  // Runs the case on the file "f" (holding "old") of the folder: its outcome.
  std::string (*run)(tq_context* ctx, const std::string& file);
  const char* want;
  std::vector<const char*> texts;  // what the error list must say
};

std::string save_new(tq_context* ctx, const std::string& file) {
  int32_t rc = fio_write_replacing(ctx, file.c_str(), [](fio_handle* h) {
    return fio_puts(h, "new") == 3 ? 0 : TQ_ERR_FILE_WRITE;
  });
  return outcome(rc, file, fs::path(file).parent_path());
}

}  // namespace

// Failures and interruptions the file layer meets, one case each: a read
// that fails is the read's failure, never the end of a line; a save tells
// a folder it could not force to the disk, an owner or bits it could not
// read, a temporary file it could not remove; and a call that is not
// idempotent, made and then answered EINTR (as on a network or FUSE file
// system), counts as made.
TEST(FioFaults, EachFaultIsToldAndEachCallMadeCountsAsMade) {
  const std::vector<FaultCase> cases = {
      {"read failing mid-line", {{"read", 2, EIO}}, true,
       [](tq_context*, const std::string& file) {
         std::ofstream(file, std::ios::binary) << std::string(10000, 'a') << "\nb\n";
         np_fio_handle h = nullptr;
         if (np_fio_open(file.c_str(), kNpFioRead | kNpFioNoLock, &h) != 0) return std::string("no open");
         std::vector<char> line(20000, 'x');
         const int32_t first = np_fio_gets(h, line.data(), 20000);
         const size_t kept = std::strlen(line.data());
         const int32_t next = np_fio_gets(h, line.data(), 20000);
         const bool eio = np_fio_last_error() == EIO;
         np_fio_close(h);
         return std::to_string(first) + " " + std::to_string(kept) + " " + std::to_string(next) + (eio ? " EIO" : "");
       },
       "-11 0 -11 EIO", {}},
      {"folder not forced to the disk", {{"fsync", 2, EIO}}, false, save_new, "118|new|0",
       {"is replaced, but its folder", "/d' could not be forced to the disk (Input/output error)"}},
      {"rename made, then interrupted", {{"renameat", 1, kDone | EINTR}}, false, save_new, "0|new|0", {}},
      {"owner not read", {{"fstat", 1, EIO}}, false, save_new, "-400|old|0",
       {"The owner and group of the file", "could not be read (Input/output error)"}},
      {"bits not read", {{"fgetxattr", 1, EIO}}, false, save_new, "-400|old|0",
       {"permission bits of the file", "could not be read (Input/output error)"}},
      {"temporary file not removed", {{"write", 1, ENOSPC}, {"unlinkat", 1, EIO}}, false, save_new, "-402|old|1",
       {"No space left on device", "The temporary file '", "/d/f.~tq", "could not be removed (Input/output error)"}},
      {"unlink made, then interrupted", {{"unlink", 1, kDone | EINTR}}, true,
       [](tq_context*, const std::string& file) {
         return outcome(np_fio_unlink(file.c_str()), file, fs::path(file).parent_path());
       },
       "0|-|0", {}},
      {"temporary create made, then interrupted", {{"open", 1, kDone | EINTR}}, true,
       [](tq_context*, const std::string& file) {
         char temp[4200];
         np_fio_handle h = nullptr;
         int32_t rc = np_fio_temp_open(file.c_str(), 0600, temp, sizeof temp, &h);
         std::string out = outcome(rc, file, fs::path(file).parent_path());
         np_fio_unlink(temp);
         np_fio_close(h);
         return out;
       },
       "0|old|1", {}},
  };
  // A new file made, its making (a temporary file, then a link to it)
  // interrupted after each step was made.
  std::vector<FaultCase> all = cases;
  for (const char* call : {"open", "link"}) {
    all.push_back({call, {{call, 1, kDone | EINTR}}, true,
                   [](tq_context*, const std::string& file) {
                     fs::remove(file);
                     bool made = false;
                     const int32_t rc = np_fio_create_new(file.c_str(), &made);
                     return outcome(rc, file, fs::path(file).parent_path()) + (made ? " made" : " found");
                   },
                   "0||0 made", {}});
  }
  for (const FaultCase& c : all) {
    SCOPED_TRACE(c.name);
    Scratch s;
    const std::string file = s.put("d/f", "old");
    Ctx ctx;
    std::string got;
    {
      FaultPlan plan(c.faults, c.from_start);
      got = c.run(ctx.get(), file);
    }
    EXPECT_EQ(got, c.want);
    std::string list;
    for (uint32_t i = 0; i < ctx.get()->errors.count; ++i) list += std::string(ctx.get()->errors.recs[i].text) + "\n";
    for (const char* text : c.texts) EXPECT_NE(list.find(text), std::string::npos) << list;
    if (c.texts.empty()) {
      EXPECT_EQ(list, "");
    }
  }
}
