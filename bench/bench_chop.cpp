// Values per second through chopping, on name-and-address values with some
// accented letters: the export tq_chop_string in an ISO-8859-1 session (the
// default) and in a UTF-8 session, the chop core it wraps (UTF-8 in, word
// list out), and ICU's word break iterator over the same UTF-8 values. The
// "allocs" counter is heap allocations per value once the context is warm.
#include <benchmark/benchmark.h>
#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tq.h"
#include "core/krcorvel.h"
#include "resources/krchop.h"

#include "bench_allocs.h"

namespace {

// UTF-8 values; every character is in ISO-8859-1 as well.
const std::vector<std::string>& utf8_values() {
  static const std::vector<std::string> values = {
      "John Smith",
      "  Mary-Ann   O'Neil ",
      "Dr. J\xC3\xBCrgen M\xC3\xBCller-L\xC3\xBC" "denscheid",
      "1234 Main Street, Apt 5B",
      "ACME Widgets & Gadgets Inc.",
      "Fran\xC3\xA7ois de la Tour d'Auvergne",
      "P.O. Box 77, Springfield IL 62704",
      "Stra\xC3\x9F" "e des 17. Juni 135, 10623 Berlin",
      "Jos\xC3\xA9 Mar\xC3\xAD" "a Garc\xC3\xAD" "a L\xC3\xB3pez",
      "The Quick Brown Fox Jumps Over The Lazy Dog",
      "N\xC3\xB8rre Voldgade 12, 1358 K\xC3\xB8" "benhavn K",
      "Mr & Mrs Robert T. Johnson III",
  };
  return values;
}

std::string to_latin1(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      auto d = static_cast<unsigned char>(utf8[++i]);
      out += static_cast<char>(((c & 0x1F) << 6) | (d & 0x3F));
    }
  }
  return out;
}

struct Fixture {
  tq_context* ctx = nullptr;
  Fixture() {
    if (tq_init(&ctx, nullptr) != 0) std::abort();
  }
  ~Fixture() { tq_close(ctx); }
};

void report_allocs(benchmark::State& state, uint64_t before, size_t values) {
  const double n = static_cast<double>(state.iterations()) * static_cast<double>(values);
  state.counters["allocs"] = static_cast<double>(bench::allocs.load() - before) / (n > 0 ? n : 1);
  state.SetItemsProcessed(static_cast<int64_t>(n));
}

using chop_fn = int32_t (*)(tq_context*, int32_t, const char*, tq_chop_word*, uint32_t*);

void chop_export(benchmark::State& state, uint32_t encoding, chop_fn chop = tq_chop_string) {
  Fixture f;
  if (tq_session_encoding_set(f.ctx, encoding) != 0) std::abort();
  std::vector<std::string> values;
  for (const std::string& v : utf8_values()) values.push_back(encoding == TQ_ENC_UTF8 ? v : to_latin1(v));
  std::vector<tq_chop_word> out(64);
  // Warm up the context's pools.
  for (const std::string& v : values) {
    uint32_t n = 64;
    if (chop(f.ctx, TQ_CHOPPER_DEFAULT, v.c_str(), out.data(), &n) != 0) std::abort();
  }
  const uint64_t before = bench::allocs.load();
  for (auto _ : state) {
    for (const std::string& v : values) {
      uint32_t n = 64;
      int32_t rc = chop(f.ctx, TQ_CHOPPER_DEFAULT, v.c_str(), out.data(), &n);
      benchmark::DoNotOptimize(rc);
      benchmark::DoNotOptimize(out[0][0]);
    }
  }
  report_allocs(state, before, values.size());
}

void BM_ChopStringLatin1(benchmark::State& state) { chop_export(state, TQ_ENC_ISO_8859_1); }
void BM_ChopStringUtf8(benchmark::State& state) { chop_export(state, TQ_ENC_UTF8); }
// The export's body without the call frame (argument checks, read hold,
// error list), to tell the frame's share from the conversions'.
void BM_ChopStringLatin1NoFrame(benchmark::State& state) { chop_export(state, TQ_ENC_ISO_8859_1, tq::chop_string); }
void BM_ChopStringUtf8NoFrame(benchmark::State& state) { chop_export(state, TQ_ENC_UTF8, tq::chop_string); }

// A value of 512 one-letter words, more pieces than a small pool block's
// slots: still no heap allocation once warm.
void BM_ChopStringLongValue(benchmark::State& state) {
  Fixture f;
  std::string value;
  for (int i = 0; i < 511; ++i) value += static_cast<char>('a' + i % 26) + std::string(" ");
  value += "z";
  std::vector<tq_chop_word> out(600);
  uint32_t n = 600;
  if (tq_chop_string(f.ctx, TQ_CHOPPER_DEFAULT, value.c_str(), out.data(), &n) != 0 || n != 512) std::abort();
  const uint64_t before = bench::allocs.load();
  for (auto _ : state) {
    n = 600;
    int32_t rc = tq_chop_string(f.ctx, TQ_CHOPPER_DEFAULT, value.c_str(), out.data(), &n);
    benchmark::DoNotOptimize(rc);
  }
  report_allocs(state, before, 1);
}

void BM_ChopCore(benchmark::State& state) {
  Fixture f;
  const std::vector<std::string>& values = utf8_values();
  for (const std::string& v : values) {
    tq::word_list words;
    if (tq::chop_run(f.ctx, TQ_CHOPPER_DEFAULT, v.c_str(), &words) != 0) std::abort();
    tq::wordlist_free(&words);
  }
  const uint64_t before = bench::allocs.load();
  for (auto _ : state) {
    for (const std::string& v : values) {
      tq::word_list words;
      int32_t rc = tq::chop_run(f.ctx, TQ_CHOPPER_DEFAULT, v.c_str(), &words);
      benchmark::DoNotOptimize(rc);
      benchmark::DoNotOptimize(tq::wordlist_word_count(&words));
      tq::wordlist_free(&words);
    }
  }
  report_allocs(state, before, values.size());
}

// ICU's word boundaries over the same UTF-8 values, read in place through a
// UText: the closest step the dependency offers to a chop.
void BM_IcuWordBreak(benchmark::State& state) {
  UErrorCode err = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createWordInstance(icu::Locale::getRoot(), err));
  if (U_FAILURE(err)) std::abort();
  const std::vector<std::string>& values = utf8_values();
  UText text = UTEXT_INITIALIZER;
  const uint64_t before = bench::allocs.load();
  for (auto _ : state) {
    for (const std::string& v : values) {
      err = U_ZERO_ERROR;
      utext_openUTF8(&text, v.data(), static_cast<int64_t>(v.size()), &err);
      it->setText(&text, err);
      int32_t words = 0;
      for (int32_t b = it->first(); b != icu::BreakIterator::DONE; b = it->next()) {
        if (it->getRuleStatus() != UBRK_WORD_NONE) ++words;
      }
      benchmark::DoNotOptimize(words);
    }
  }
  utext_close(&text);
  report_allocs(state, before, values.size());
}

}  // namespace

BENCHMARK(BM_ChopStringLatin1);
BENCHMARK(BM_ChopStringUtf8);
BENCHMARK(BM_ChopStringLatin1NoFrame);
BENCHMARK(BM_ChopStringUtf8NoFrame);
BENCHMARK(BM_ChopCore);
BENCHMARK(BM_ChopStringLongValue);
BENCHMARK(BM_IcuWordBreak);
