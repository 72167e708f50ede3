#include "support/test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace bc::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "bc-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    throw std::runtime_error("mkdtemp failed");
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

ScopedXdgHome::ScopedXdgHome() {
  if (const char* v = std::getenv("XDG_CONFIG_HOME")) {
    hadConfig_ = true;
    oldConfig_ = v;
  }
  if (const char* v = std::getenv("XDG_STATE_HOME")) {
    hadState_ = true;
    oldState_ = v;
  }
  ::setenv("XDG_CONFIG_HOME", (dir_.path() + "/config").c_str(), 1);
  ::setenv("XDG_STATE_HOME", (dir_.path() + "/state").c_str(), 1);
}

ScopedXdgHome::~ScopedXdgHome() {
  if (hadConfig_) {
    ::setenv("XDG_CONFIG_HOME", oldConfig_.c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
  if (hadState_) {
    ::setenv("XDG_STATE_HOME", oldState_.c_str(), 1);
  } else {
    ::unsetenv("XDG_STATE_HOME");
  }
}

std::vector<std::string> DataFiles(const std::string& subdir) {
  std::vector<std::string> files;
  std::error_code error;
  const std::filesystem::path dir = std::filesystem::path(BC_TEST_DATA_DIR) / subdir;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    if (entry.is_regular_file()) {
      files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

void ReplaySavedInputs(const std::string& subdir,
                       const std::function<void(const std::string& bytes)>& check) {
  const std::vector<std::string> files = DataFiles(subdir);
  ASSERT_FALSE(files.empty()) << "no saved inputs in tests/data/" << subdir;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    check(ReadFile(file));
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

}  // namespace bc::test
