// Temporary folders and whole-file helpers for tests that work on real files. Paths are UTF-8
// text, as the program's own.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "util/tests/test_system.h"

namespace qc::test {

class TempDir {
 public:
  TempDir() {
    std::random_device random;
    for (int attempt = 0;; ++attempt) {
      const std::string name = "qc-test-" + std::to_string(ProcessId()) + "-" +
                               std::to_string(static_cast<unsigned>(random()));
      path_ = std::filesystem::temp_directory_path() / name;
      std::error_code ec;
      if (std::filesystem::create_directory(path_, ec)) return;
      if (attempt > 100) std::abort();
    }
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return Utf8(path_ / Path(name)); }

 private:
  std::filesystem::path path_;
};

// Where the run puts the messages of a mailbox when the output folder is `out`: the mailbox's
// path below it, less the root (and on Windows the drive).
inline std::string OutFolder(const TempDir& out, const std::string& mailbox) {
  return Utf8(out.path() / Path(mailbox).relative_path());
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(Path(path).parent_path());
  std::ofstream out(Path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(Path(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The names in `folder`, sorted.
inline std::vector<std::string> Listing(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(Utf8(entry.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}
inline std::vector<std::string> Listing(const std::string& folder) {
  return Listing(Path(folder));
}

}  // namespace qc::test
