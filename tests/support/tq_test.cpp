#include "support/tq_test.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace tq_test {

TempDir::TempDir() {
  std::random_device rd;
  std::mt19937_64 gen(rd());
  auto base = std::filesystem::temp_directory_path();
  for (;;) {
    auto candidate = base / ("tqtest-" + std::to_string(gen()));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      path_ = candidate;
      break;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::filesystem::path TempDir::write(const std::string& name, const std::string& bytes) const {
  auto p = path_ / name;
  std::filesystem::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return p;
}

KbSandbox::KbSandbox(const std::string& fixture) {
  std::filesystem::path src = std::filesystem::path(TQ_TEST_KB_DIR) / fixture;
  std::filesystem::copy(src, path(), std::filesystem::copy_options::recursive);
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream out;
  out << f.rdbuf();
  return out.str();
}

std::vector<std::string> read_lines(const std::filesystem::path& path) {
  std::vector<std::string> lines;
  std::ifstream f(path, std::ios::binary);
  std::string line;
  while (std::getline(f, line)) lines.push_back(line);
  return lines;
}

std::vector<GoldenRow> golden_rows(const std::filesystem::path& path) {
  std::vector<GoldenRow> rows;
  const std::vector<std::string> lines = read_lines(path);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty() || line[0] == '#') continue;
    GoldenRow row{i + 1, {}};
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
      row.f.push_back(line.substr(start, tab - start));
    }
    row.f.push_back(line.substr(start));
    rows.push_back(std::move(row));
  }
  EXPECT_FALSE(rows.empty()) << path;
  return rows;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  const char* old = std::getenv(name);
  had_ = old != nullptr;
  if (had_) old_ = old;
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (had_) {
    setenv(name_.c_str(), old_.c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

bool setfacl(const std::string& args, const std::filesystem::path& path) {
  return std::system(("setfacl " + args + " '" + path.string() + "' 2>/dev/null").c_str()) == 0;
}

bool acl_supported(const std::filesystem::path& dir) {
  const std::filesystem::path probe = dir / ".acl-probe";
  std::ofstream(probe).put('x');
  const bool ok = setfacl("-m u:1235:r", probe) && acl_text(probe).find("user:1235:r") != std::string::npos;
  std::error_code ec;
  std::filesystem::remove(probe, ec);
  return ok;
}

std::string acl_text(const std::filesystem::path& path) {
  std::string text;
  if (FILE* p = ::popen(("getfacl -cnp '" + path.string() + "' 2>/dev/null").c_str(), "r")) {
    char buf[256];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
    ::pclose(p);
  }
  return text;
}

}  // namespace tq_test
