// What tests need of the system beyond the program's own layer: who runs them, a process id for
// unique names, and a full disk made with a file-size limit. Each says where a system has no
// such thing, so that a test can skip with the reason.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <process.h>
#else
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#endif

namespace qc::test {

// The program's paths are UTF-8 text; std::filesystem takes narrow text in the system's code
// page on Windows. These two convert, so that names in any script reach the same file.
inline std::filesystem::path Path(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The separator of paths as the program writes them: what its messages and reports show.
#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// A folder as the program names it when files go into it: its path and the separator.
inline std::string FolderText(const std::filesystem::path& folder) {
  return Utf8(folder) + kSeparator;
}

inline int ProcessId() {
#ifdef _WIN32
  return ::_getpid();
#else
  return static_cast<int>(::getpid());
#endif
}

// Root reads and writes anything, whatever a file's permissions say.
inline bool RunsAsRoot() {
#ifdef _WIN32
  return false;
#else
  return ::geteuid() == 0;
#endif
}

// Whether this system makes symbolic links for us (Windows does for the privileged, Wine not at
// all). Tried once.
inline bool SymlinksWork() {
  static const bool works = [] {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path link =
        fs::temp_directory_path(ec) / ("qc-link-probe-" + std::to_string(ProcessId()));
    fs::create_symlink("target", link, ec);
    const bool made = !ec;
    fs::remove(link, ec);
    return made;
  }();
  return works;
}

// Why a test that needs POSIX alone cannot run here, for GTEST_SKIP().
inline constexpr const char* kNoSymlinks = "this system makes no symbolic links here";
inline constexpr const char* kPosixOnly =
    "needs POSIX (file permissions, links, signals or file-size limits), which this system lacks";

// A full disk for this process: writes past `bytes` fail with EFBIG while it lives (POSIX's
// RLIMIT_FSIZE; nothing on Windows, where available() is false).
class FileSizeLimit {
 public:
#ifdef _WIN32
  explicit FileSizeLimit(long long) {}
  static bool available() {
    return false;
  }
#else
  explicit FileSizeLimit(long long bytes) {
    ok_ = ::getrlimit(RLIMIT_FSIZE, &old_) == 0;
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old_;
    limited.rlim_cur = static_cast<rlim_t>(bytes);
    ok_ = ok_ && ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  static bool available() {
    return true;
  }
  bool ok() const {
    return ok_;
  }

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
  bool ok_ = false;
#endif
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
};

}  // namespace qc::test
