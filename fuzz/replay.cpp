// Replays inputs through a fuzz target without libFuzzer, so that the
// targets build and run with any compiler: every argument is a file, or a
// folder whose files are run in name order. Fails when no input was found,
// so that a missing corpus does not pass unnoticed. As with libFuzzer,
// -rss_limit_mb=N (2048 by default) fails the run when the peak resident
// size exceeds N megabytes; other options starting with '-' are ignored, so
// that one command line serves both.
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  long rss_limit_mb = 2048;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "-rss_limit_mb=", 14) == 0) {
      rss_limit_mb = std::strtol(argv[i] + 14, nullptr, 10);
      continue;
    }
    if (argv[i][0] == '-') continue;
    fs::path arg(argv[i]);
    if (fs::is_directory(arg)) {
      std::vector<fs::path> files;
      for (const auto& entry : fs::directory_iterator(arg)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
      inputs.insert(inputs.end(), files.begin(), files.end());
    } else if (fs::is_regular_file(arg)) {
      inputs.push_back(arg);
    } else {
      std::fprintf(stderr, "%s: no such file or folder\n", argv[i]);
      return 2;
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "no inputs\n");
    return 2;
  }
  for (const fs::path& p : inputs) {
    std::ifstream in(p, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "running %s (%zu bytes)\n", p.c_str(), bytes.size());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    long peak_mb = usage.ru_maxrss / 1024;
    if (rss_limit_mb > 0 && peak_mb > rss_limit_mb) {
      std::fprintf(stderr, "%s: peak resident size %ld MB exceeds the limit of %ld MB\n", p.c_str(), peak_mb,
                   rss_limit_mb);
      return 1;
    }
  }
  std::fprintf(stderr, "%zu inputs run\n", inputs.size());
  return 0;
}
