// A scratch folder on the host for the tests that save machines to disk, removed with
// all it holds when the test ends, and what the tests read back from such folders.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace host_files {

class TempDir {
 public:
  // `name` starts the folder's name. Memory-backed when the host has it: every save
  // flushes each file, and the crash tests save hundreds of times.
  explicit TempDir(const std::string& name) {
    namespace fs = std::filesystem;
    const fs::path base =
        fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / (name + "-XXXXXX")).string();
    // Without a folder every path below would be relative to the file system's root.
    if (!::mkdtemp(&pattern[0]))
      throw std::runtime_error("cannot make " + pattern + ": " + std::strerror(errno));
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The names in `dir`, sorted, without the lock files machine folders keep beside them
// for good.
inline std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string name = e.path().filename();
    const std::string lock = ".winsim-lock";
    if (name.size() > lock.size() &&
        name.compare(name.size() - lock.size(), lock.size(), lock) == 0)
      continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace host_files
