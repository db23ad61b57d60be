// A fresh folder per test for mailbox files, removed with everything in it afterwards.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "util/tests/test_system.h"

namespace qc::test {

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(Path(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ScratchFolder {
 public:
  ScratchFolder() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("qc-scratch-" + std::to_string(ProcessId()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(std::string_view name) const { return Utf8(path_ / Path(name)); }

  // Writes `bytes` to `name` (replacing it) and returns the file's full path.
  std::string write(std::string_view name, std::string_view bytes) const {
    const std::string target = file(name);
    std::ofstream out(Path(target), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return target;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace qc::test
