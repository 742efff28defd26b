// Exact word lookups per second in a vocabulary of 20,000 name-like words
// (three in four looked-up words are in it), beside a std::unordered_map
// over the same keys, and the binary search the lookup falls back to when a
// vocabulary has no hash index; then the fuzzy lookup of word analysis. The
// "allocs" counter is heap allocations per lookup once warm.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tq.h"
#include "core/krcorvel.h"
#include "resources/krvocb.h"

#include "bench_allocs.h"

namespace {

constexpr uint32_t kWords = 20000;

struct Data {
  std::vector<std::string> words;  // in the vocabulary
  std::vector<std::string> probes;  // looked up, in random order
};

const Data& data() {
  static const Data d = [] {
    Data out;
    const char* syllables[] = {"AN", "BER", "CHRI", "DA", "EL", "FRAN", "GU", "HEL", "IS", "JO", "KAR", "LEI",
                               "MAR", "NA", "OS", "PE", "QUI", "RO", "STE", "TIN", "UL", "VAN", "WIL", "ZA"};
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pick(0, 23);
    std::uniform_int_distribution<int> parts(2, 4);
    std::set<std::string> unique;
    while (unique.size() < kWords * 4 / 3) {
      std::string w;
      for (int i = parts(rng); i > 0; --i) w += syllables[pick(rng)];
      // Some words with a digit, so that there are enough distinct ones.
      if (pick(rng) < 8) w += static_cast<char>('0' + pick(rng) % 10);
      unique.insert(w);
    }
    std::vector<std::string> made(unique.begin(), unique.end());
    std::shuffle(made.begin(), made.end(), rng);
    out.probes = made;
    made.resize(std::min<size_t>(made.size(), kWords));
    out.words = made;
    std::shuffle(out.probes.begin(), out.probes.end(), rng);
    return out;
  }();
  return d;
}

tq::vocab_rec* make_vocab(bool with_index) {
  const Data& d = data();
  tq::vocab_rec* vocab = nullptr;
  if (tq::vocab_rec_create(&vocab) != 0) std::abort();
  if (tq::vocab_clear(vocab, static_cast<uint32_t>(d.words.size()), 1) != 0) std::abort();
  const tq::vocab_pair pair{0, 50};
  for (uint32_t i = 0; i < d.words.size(); ++i) {
    if (tq::vocab_word_set(vocab, i, d.words[i].c_str(), 1, &pair) != 0) std::abort();
  }
  if (tq::vocab_sort(vocab) != 0) std::abort();
  if (!with_index) tq::vocab_index_drop(vocab);
  return vocab;
}

void lookups(benchmark::State& state, bool with_index) {
  tq::vocab_rec* vocab = make_vocab(with_index);
  const Data& d = data();
  tq::vocab_word_match match;
  const uint64_t before = bench::allocs.load();
  for (auto _ : state) {
    uint32_t hits = 0;
    for (const std::string& p : d.probes) {
      uint32_t found = 0;
      tq::vocab_word_find_exact(vocab, p.c_str(), &found, &match);
      hits += found;
    }
    benchmark::DoNotOptimize(hits);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * d.probes.size()));
  state.counters["allocs"] =
      static_cast<double>(bench::allocs.load() - before) / static_cast<double>(state.iterations() * d.probes.size());
  tq::vocab_rec_destroy(vocab);
}

void BM_VocabExact(benchmark::State& state) { lookups(state, true); }
void BM_VocabExactBinarySearch(benchmark::State& state) { lookups(state, false); }

void BM_UnorderedMap(benchmark::State& state) {
  const Data& d = data();
  std::unordered_map<std::string_view, uint32_t> map;
  for (uint32_t i = 0; i < d.words.size(); ++i) map.emplace(d.words[i], i);
  for (auto _ : state) {
    uint32_t hits = 0;
    for (const std::string& p : d.probes) {
      // The looked-up text arrives as a C string, as the vocabulary's does.
      auto it = map.find(std::string_view(p.c_str()));
      hits += it != map.end() ? 1 : 0;
      if (it != map.end()) benchmark::DoNotOptimize(it->second);
    }
    benchmark::DoNotOptimize(hits);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * d.probes.size()));
}

// Misspelt words (one letter changed) through the combined lookup with
// fuzzy matching on, as word analysis asks.
void BM_VocabFuzzy(benchmark::State& state) {
  tq_context* ctx = nullptr;
  if (tq_init(&ctx, nullptr) != 0) std::abort();
  tq::vocab_rec* vocab = make_vocab(true);
  std::vector<std::string> probes;
  for (size_t i = 0; i < 200; ++i) {
    std::string w = data().words[i * 37 % data().words.size()];
    w[w.size() / 2] = 'X';
    probes.push_back(w);
  }
  tq::vocab_word_match match;
  uint32_t found = 0;
  for (const std::string& p : probes) tq::vocab_word_lookup(ctx, vocab, p.c_str(), 1, 70, &found, &match);
  const uint64_t before = bench::allocs.load();
  for (auto _ : state) {
    for (const std::string& p : probes) {
      int32_t rc = tq::vocab_word_lookup(ctx, vocab, p.c_str(), 1, 70, &found, &match);
      benchmark::DoNotOptimize(rc);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * probes.size()));
  state.counters["allocs"] =
      static_cast<double>(bench::allocs.load() - before) / static_cast<double>(state.iterations() * probes.size());
  tq::vocab_rec_destroy(vocab);
  tq_close(ctx);
}

}  // namespace

BENCHMARK(BM_VocabExact);
BENCHMARK(BM_VocabExactBinarySearch);
BENCHMARK(BM_UnorderedMap);
BENCHMARK(BM_VocabFuzzy);
