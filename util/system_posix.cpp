// The POSIX side of the system layer.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "util/system.h"

namespace qc::sys {

namespace {

Kind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return Kind::File;
  if (S_ISDIR(mode)) return Kind::Folder;
  if (S_ISLNK(mode)) return Kind::Link;
  return Kind::Other;
}

FileId IdOf(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

int Fd(std::intptr_t handle) {
  return static_cast<int>(handle);
}

}  // namespace

std::string ErrorText(int error) {
  if (error == kNotRegularFile) return "not a regular file";
  return std::strerror(error);
}

PathInfo Inspect(const std::string& path, bool followLinks) {
  PathInfo info;
  struct stat st {};
  const int done = followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
  if (done != 0) {
    if (errno != ENOENT && errno != ENOTDIR) info.error = errno;
    return info;
  }
  info.kind = KindOf(st.st_mode);
  info.size = static_cast<std::int64_t>(st.st_size);
  info.id = IdOf(st);
  return info;
}

int InputFile::open(const std::string& path) {
  if (handle_ >= 0) ::close(Fd(handle_));
  handle_ = -1;
  // O_NONBLOCK: a pipe put in a file's place must not hang the program (it changes nothing for
  // a regular file).
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile;
  }
  handle_ = fd;
  return 0;
}

InputFile::~InputFile() {
  if (handle_ >= 0) ::close(Fd(handle_));
}

bool InputFile::isOpen() const {
  return handle_ >= 0;
}

int InputFile::readAt(std::uint64_t offset, void* out, std::size_t n, std::size_t& got) const {
  auto* bytes = static_cast<std::uint8_t*>(out);
  got = 0;
  while (got < n) {
    const ssize_t done = ::pread(Fd(handle_), bytes + got, n - got,
                                 static_cast<off_t>(offset + static_cast<std::uint64_t>(got)));
    if (done == 0) break;
    if (done < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    got += static_cast<std::size_t>(done);
  }
  return 0;
}

int InputFile::size(std::int64_t& out) const {
  struct stat st {};
  if (::fstat(Fd(handle_), &st) != 0) return errno;
  out = static_cast<std::int64_t>(st.st_size);
  return 0;
}

bool InputFile::id(FileId& out) const {
  struct stat st {};
  if (::fstat(Fd(handle_), &st) != 0) return false;
  out = IdOf(st);
  return true;
}

void InputFile::adviseSequential() const {
#ifdef POSIX_FADV_SEQUENTIAL
  ::posix_fadvise(Fd(handle_), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

MappedFile::~MappedFile() {
  if (data_) ::munmap(const_cast<std::uint8_t*>(data_), size_);
}

int MappedFile::open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  size_ = static_cast<std::uint64_t>(st.st_size);
  if (size_ == 0) {
    ::close(fd);
    return 0;
  }
  void* map = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
  const int error = errno;
  ::close(fd);
  if (map == MAP_FAILED) {
    size_ = 0;
    return error;
  }
  data_ = static_cast<const std::uint8_t*>(map);
  return 0;
}

namespace {

// Lists the folder open as `fd` (taken over and closed), named `folder` for nothing but errors.
int ListFolderAt(int fd, const std::string&, const std::function<void(const FolderEntry&)>& each) {
  if (fd < 0) return errno;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(fd), &::closedir);
  if (!dir) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  // A million entries pass through here on a large home folder: plain readdir with the type it
  // reports, a stat only where it reports none or a link.
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (!entry) break;
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry out{name, FolderEntry::Type::File, 0};
    if (entry->d_type == DT_DIR) {
      out.type = FolderEntry::Type::Folder;
    } else if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      struct stat st {};
      if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        out.type = FolderEntry::Type::Unknown;
        out.error = errno;
      } else if (S_ISLNK(st.st_mode)) {
        // A link whose target cannot be reached counts as a file: whoever opens it gets the
        // reason.
        if (::fstatat(fd, entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode)) {
          out.type = FolderEntry::Type::FolderLink;
        }
      } else if (S_ISDIR(st.st_mode)) {
        out.type = FolderEntry::Type::Folder;
      }
    }
    each(out);
  }
  return errno;
}

}  // namespace

int ListFolder(const std::string& folder, const std::function<void(const FolderEntry&)>& each) {
  return ListFolderAt(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), folder, each);
}

OutputFile::~OutputFile() {
  if (handle_ >= 0) ::close(Fd(handle_));
}

bool OutputFile::isOpen() const {
  return handle_ >= 0;
}

int OutputFile::write(const Piece* pieces, std::size_t count, std::uint64_t& written) {
  constexpr std::size_t kMaxPieces = 8;
  while (count > kMaxPieces) {
    if (const int error = write(pieces, kMaxPieces, written); error != 0) return error;
    pieces += kMaxPieces;
    count -= kMaxPieces;
  }
  iovec vec[kMaxPieces];
  std::size_t n = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (pieces[i].size == 0) continue;
    vec[n].iov_base = const_cast<void*>(pieces[i].data);
    vec[n].iov_len = pieces[i].size;
    ++n;
  }
  iovec* next = vec;
  while (n > 0) {
    const ssize_t done = ::writev(Fd(handle_), next, static_cast<int>(n));
    if (done < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    written += static_cast<std::uint64_t>(done);
    // Skip what was written; a short write continues inside a piece.
    auto left = static_cast<std::size_t>(done);
    while (n > 0 && left >= next->iov_len) {
      left -= next->iov_len;
      ++next;
      --n;
    }
    if (n > 0) {
      next->iov_base = static_cast<char*>(next->iov_base) + left;
      next->iov_len -= left;
    }
  }
  return 0;
}

int OutputFile::writeAt(std::uint64_t offset, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t done = ::pwrite(Fd(handle_), bytes, size, static_cast<off_t>(offset));
    if (done < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes += done;
    size -= static_cast<std::size_t>(done);
    offset += static_cast<std::uint64_t>(done);
  }
  return 0;
}

namespace {

// fsync() where the file system can do it. Some (network and FUSE ones) refuse it, for folders
// above all, with EINVAL: nothing more can be done there, and it is no failure of ours.
int SyncToDisk(int fd) {
  for (;;) {
    if (::fsync(fd) == 0) return 0;
    if (errno == EINTR) continue;
    return errno == EINVAL || errno == EOPNOTSUPP ? 0 : errno;
  }
}

}  // namespace

int OutputFile::sync() {
  return SyncToDisk(Fd(handle_));
}

int OutputFile::close() {
  if (handle_ < 0) return 0;
  const int fd = Fd(handle_);
  handle_ = -1;
  return ::close(fd) == 0 ? 0 : errno;
}

bool OutputFile::id(FileId& out) const {
  struct stat st {};
  if (::fstat(Fd(handle_), &st) != 0) return false;
  out = IdOf(st);
  return true;
}

OutputFile::Lock OutputFile::tryLock() {
  if (::flock(Fd(handle_), LOCK_EX | LOCK_NB) == 0) return Lock::Taken;
  return errno == EWOULDBLOCK ? Lock::Held : Lock::Unavailable;
}

Folder::~Folder() {
  if (handle_ >= 0) ::close(Fd(handle_));
}

int Folder::open(const std::string& path) {
  if (handle_ >= 0) ::close(Fd(handle_));
  path_ = path;
  handle_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return handle_ >= 0 ? 0 : errno;
}

std::string Folder::pathOf(std::string_view name) const {
  std::string full = path_;
  if (!full.empty() && full.back() != '/') full += '/';
  full += name;
  return full;
}

int Folder::create(std::string_view name, OutputFile& out) const {
  // O_EXCL: never an existing file, and never through a link, dangling or not.
  const int fd = ::openat(Fd(handle_), std::string(name).c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  if (out.handle_ >= 0) ::close(Fd(out.handle_));
  out.handle_ = fd;
  return 0;
}

int Folder::openToLock(std::string_view name, OutputFile& out) const {
  const int fd = ::openat(Fd(handle_), std::string(name).c_str(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return kNotRegularFile;
  }
  if (out.handle_ >= 0) ::close(Fd(out.handle_));
  out.handle_ = fd;
  return 0;
}

int Folder::remove(std::string_view name) const {
  return ::unlinkat(Fd(handle_), std::string(name).c_str(), 0) == 0 ? 0 : errno;
}

int Folder::rename(std::string_view from, std::string_view to, bool replace) const {
  const std::string a(from);
  const std::string b(to);
  const int at = Fd(handle_);
  if (replace) return ::renameat(at, a.c_str(), at, b.c_str()) == 0 ? 0 : errno;
#ifdef RENAME_NOREPLACE
  if (::renameat2(at, a.c_str(), at, b.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
#endif
  // File systems without it: a hard link is made only where nothing is, then the old name goes.
  if (::linkat(at, a.c_str(), at, b.c_str(), 0) != 0) return errno;
  ::unlinkat(at, a.c_str(), 0);
  return 0;
}

PathInfo Folder::inspect(std::string_view name) const {
  PathInfo info;
  struct stat st {};
  if (::fstatat(Fd(handle_), std::string(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno != ENOENT && errno != ENOTDIR) info.error = errno;
    return info;
  }
  info.kind = KindOf(st.st_mode);
  info.size = static_cast<std::int64_t>(st.st_size);
  info.id = IdOf(st);
  return info;
}

int Folder::list(const std::function<void(const FolderEntry&)>& each) const {
  // A descriptor of its own: a listing moves its position.
  return ListFolderAt(::openat(Fd(handle_), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC), path_, each);
}

int Folder::sync() const {
  return SyncToDisk(Fd(handle_));
}

int Folder::syncFiles(const std::vector<std::string>&) const {
  // syncfs() reports write-back errors of the file system since this descriptor was opened
  // (Linux 5.8 and later), so a file lost on the way to the disk is not passed off as written.
  return ::syncfs(Fd(handle_)) == 0 ? 0 : errno;
}

bool Folder::SyncNeedsNames() {
  return false;
}

int CreateFolder(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
}

std::string AbsolutePath(const std::string& path) {
  std::string joined;
  if (!path.starts_with('/')) {
    char here[PATH_MAX];
    if (::getcwd(here, sizeof here)) joined = here;
    joined += '/';
  }
  joined += path;
  // Tidy "." and ".." and repeated separators as text: links are left for the system.
  std::vector<std::string_view> parts;
  std::string_view rest = joined;
  while (!rest.empty()) {
    const auto slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out;
  for (const auto part : parts) {
    out += '/';
    out += part;
  }
  return out.empty() ? "/" : out;
}

bool RandomBytes(void* out, std::size_t size) {
  auto* bytes = static_cast<std::uint8_t*>(out);
  while (size > 0) {
    const ssize_t got = ::getrandom(bytes, size, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

std::tm LocalTime(std::time_t when) {
  std::tm local{};
  ::localtime_r(&when, &local);
  return local;
}

std::tm UtcTime(std::time_t when) {
  std::tm utc{};
  ::gmtime_r(&when, &utc);
  return utc;
}

std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

int AnsiCodePage() {
  return 0;
}

std::string LocaleName() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

void PrepareConsole() {
  std::signal(SIGXFSZ, SIG_IGN);
}

bool StandardErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

namespace {

std::atomic<int> received{0};
std::atomic<bool> stopFlag{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

extern "C" void OnStopSignal(int signal) {
  received.store(signal);
  stopFlag.store(true);
  // The next one is not deferred: a user pressing Ctrl-C twice wants out now.
  std::signal(signal, SIG_DFL);
}

}  // namespace

void InstallStopHandlers() {
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
}

int StopSignal() {
  return received.load();
}

const std::atomic<bool>* StopFlag() {
  return &stopFlag;
}

}  // namespace qc::sys
