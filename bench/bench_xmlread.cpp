// Reading back a document with one long token, plain and vault, beside the
// time the library takes to write the same file: the reader must stay
// within a small factor of the writer and grow linearly with the token,
// whether the token is an attribute value (a record's key, one token to
// the XML parser) or a text (a record's value, reported in pieces).
//   BM_TokenWrite/<vault>/<text>/<bytes>   BM_TokenRead/<vault>/<text>/<bytes>
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tq.h"

namespace {

namespace fs = std::filesystem;

struct Kb {
  fs::path root;
  Kb() {
    std::string tmpl = (fs::temp_directory_path() / "tq-bench-xmlread-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    root = tmpl;
  }
  ~Kb() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

const Kb& kb() {
  static Kb k;
  return k;
}

// A document of one record whose key (attribute) or value (text) is the
// token: letters, so that nothing is escaped and the file's size is the
// token's plus a few hundred bytes.
tq_xmldoc* token_document(tq_context* ctx, bool text, int64_t bytes) {
  std::string token(static_cast<size_t>(bytes), 'x');
  for (size_t i = 0; i < token.size(); i += 61) token[i] = static_cast<char>('a' + i % 26);
  tq_xmldoc* doc = nullptr;
  if (tq_xml_create(ctx, "Bench", "1.0", &doc) != 0) std::abort();
  if (tq_xml_addrec(ctx, doc, text ? "k" : token.c_str(), text ? token.c_str() : "v", nullptr) != 0) std::abort();
  return doc;
}

constexpr uint32_t kNameAsGiven = 8;
constexpr uint32_t kVault = 1;

// One case of the arguments: a context on the scratch folder, the document
// and its file (named as given, extension included).
struct TokenCase {
  tq_context* ctx = nullptr;
  tq_xmldoc* doc = nullptr;
  std::string file;
  uint32_t flags = kNameAsGiven;
  int64_t bytes;
  explicit TokenCase(const benchmark::State& state) : bytes(state.range(2)) {
    const bool vault = state.range(0) != 0;
    const bool text = state.range(1) != 0;
    if (tq_init(&ctx, kb().root.c_str()) != 0) std::abort();
    doc = token_document(ctx, text, bytes);
    file = (kb().root / ((text ? "text" : "attr") + std::to_string(bytes) + (vault ? ".zel" : ".xml"))).string();
    if (vault) flags |= kVault;
  }
  ~TokenCase() {
    tq_xml_free(ctx, doc);
    tq_close(ctx);
  }
  void write() const {
    if (tq_xml_write(ctx, 0, file.c_str(), flags, doc) != 0) std::abort();
  }
};

void BM_TokenWrite(benchmark::State& state) {
  const TokenCase c(state);
  for (auto _ : state) c.write();
  state.SetBytesProcessed(state.iterations() * c.bytes);
}

void BM_TokenRead(benchmark::State& state) {
  const TokenCase c(state);
  c.write();
  for (auto _ : state) {
    tq_xmldoc* back = nullptr;
    if (tq_xml_read(c.ctx, c.file.c_str(), c.flags, &back) != 0) std::abort();
    tq_xml_free(c.ctx, back);
  }
  state.SetBytesProcessed(state.iterations() * c.bytes);
}

// vault (0 plain, 1 vault) x token (0 attribute, 1 text) x 64 KiB to 4 MiB.
void token_args(benchmark::internal::Benchmark* b) {
  for (int64_t vault : {0, 1}) {
    for (int64_t text : {0, 1}) {
      for (int64_t bytes = 64 << 10; bytes <= 4 << 20; bytes *= 4) b->Args({vault, text, bytes});
    }
  }
  b->ArgNames({"vault", "text", "bytes"})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_TokenWrite)->Apply(token_args);
BENCHMARK(BM_TokenRead)->Apply(token_args);

}  // namespace
