// The Win32 side of the system layer. Paths arrive as UTF-8 and go to the system as UTF-16 with
// the "\\?\" prefix, so that names in any script and paths longer than 260 characters work
// whether or not the user wrote the prefix.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first: these need its types.
#include <bcrypt.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "util/system.h"
#include "util/system_win32.h"

namespace qc::sys {

namespace win32 {

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n,
                        nullptr, nullptr);
  return utf8;
}

namespace {

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::wstring FullPath(const std::wstring& path) {
  DWORD n = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  n = ::GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
  full.resize(n);
  return full;
}

}  // namespace

std::wstring SystemPath(const std::string& path) {
  std::wstring wide = Widen(path);
  if (wide.empty()) return wide;
  // Written with the prefix already ("\\?\C:\...", or a device "\\.\..."): exactly as given.
  if (StartsWith(wide, L"\\\\?\\") || StartsWith(wide, L"\\\\.\\")) return wide;
  std::wstring full = FullPath(wide);
  if (StartsWith(full, L"\\\\.\\")) {
    // "NUL" or "COM1" is the device wherever it stands. Older Windows read "CON.mbx" and
    // "nul.txt" as devices too; Windows 11 reads them as files, as the program does (only a
    // "\\?\" path reaches them on older Windows).
    const std::size_t cut = wide.find_last_of(L"\\/:");
    std::wstring name = wide.substr(cut == std::wstring::npos ? 0 : cut + 1);
    while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.pop_back();
    if (name.find(L'.') == std::wstring::npos) return full;
    full = FullPath(cut == std::wstring::npos ? std::wstring(L".") : wide.substr(0, cut + 1));
    if (!full.empty() && full.back() != L'\\') full += L'\\';
    full += wide.substr(cut == std::wstring::npos ? 0 : cut + 1);
  }
  if (StartsWith(full, L"\\\\?\\")) return full;
  if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

int ErrorFromWin32(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_DIR_NOT_EMPTY:
      return ENOTEMPTY;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_INVALID_NAME:
      return EINVAL;
    default:
      // Kept as the system's own code, so that its own text names the reason.
      return code == 0 ? EIO : -static_cast<int>(code);
  }
}

int LastError() {
  return ErrorFromWin32(::GetLastError());
}

}  // namespace win32

using win32::LastError;
using win32::SystemPath;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE H(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

bool IsMissing(DWORD code) {
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
         code == ERROR_INVALID_DRIVE || code == ERROR_BAD_NETPATH || code == ERROR_BAD_NET_NAME;
}

FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber,
          (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

}  // namespace

std::string ErrorText(int error) {
  if (error == kNotRegularFile) return "not a regular file";
  if (error >= 0) return std::strerror(error);
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(-error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (n == 0 || !text) return "system error " + std::to_string(-error);
  std::wstring message(text, n);
  ::LocalFree(text);
  // The system's sentences end in a full stop and a line break; strerror's do not.
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L'.' || message.back() == L' ')) {
    message.pop_back();
  }
  return win32::Narrow(message);
}

PathInfo Inspect(const std::string& path, bool followLinks) {
  PathInfo out;
  const std::wstring wide = SystemPath(path);
  if (wide.empty()) return out;
  // Asking for attributes only needs no sharing: a file another program holds is still seen.
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  HANDLE h = ::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                           flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    if (!IsMissing(code)) {
      // Some things cannot be opened even for their attributes (a page file in use): look at
      // the name instead.
      WIN32_FILE_ATTRIBUTE_DATA data{};
      if (::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) {
        out.kind = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::Folder : Kind::File;
        out.size = static_cast<std::int64_t>(
            (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
        return out;
      }
      out.error = win32::ErrorFromWin32(code);
    }
    return out;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const DWORD type = ::GetFileType(h);
  if (type != FILE_TYPE_DISK) {
    out.kind = Kind::Other;
  } else if (!::GetFileInformationByHandle(h, &info)) {
    out.error = LastError();
  } else {
    out.id = IdOf(info);
    if (!followLinks && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      out.kind = Kind::Link;
    } else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out.kind = Kind::Folder;
    } else {
      out.kind = Kind::File;
      out.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                           info.nFileSizeLow);
    }
  }
  ::CloseHandle(h);
  return out;
}

int InputFile::open(const std::string& path) {
  if (handle_ != -1) ::CloseHandle(H(handle_));
  handle_ = -1;
  const std::wstring wide = SystemPath(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return EISDIR;
  }
  // Others may go on reading, writing, renaming or deleting the file: a mail client must not
  // be stopped by a conversion reading its mailbox.
  HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  if (::GetFileType(h) != FILE_TYPE_DISK) {
    ::CloseHandle(h);
    return kNotRegularFile;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return 0;
}

InputFile::~InputFile() {
  if (handle_ != -1) ::CloseHandle(H(handle_));
}

bool InputFile::isOpen() const {
  return handle_ != -1;
}

int InputFile::readAt(std::uint64_t offset, void* out, std::size_t n, std::size_t& got) const {
  auto* bytes = static_cast<std::uint8_t*>(out);
  got = 0;
  while (got < n) {
    // Each read names its offset, so threads sharing the handle never disturb each other.
    OVERLAPPED at{};
    const std::uint64_t position = offset + got;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    const auto want = static_cast<DWORD>(std::min<std::size_t>(n - got, std::size_t{1} << 30));
    DWORD done = 0;
    if (!::ReadFile(H(handle_), bytes + got, want, &done, &at)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      return LastError();
    }
    if (done == 0) break;
    got += done;
  }
  return 0;
}

int InputFile::size(std::int64_t& out) const {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(H(handle_), &size)) return LastError();
  out = size.QuadPart;
  return 0;
}

bool InputFile::id(FileId& out) const {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(H(handle_), &info)) return false;
  out = IdOf(info);
  return true;
}

void InputFile::adviseSequential() const {}  // the system reads ahead on sequential reads

MappedFile::~MappedFile() {
  if (data_) ::UnmapViewOfFile(data_);
}

int MappedFile::open(const std::string& path) {
  HANDLE file = ::CreateFileW(SystemPath(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file, &size)) {
    const int error = LastError();
    ::CloseHandle(file);
    return error;
  }
  size_ = static_cast<std::uint64_t>(size.QuadPart);
  if (size_ == 0) {
    ::CloseHandle(file);
    return 0;
  }
  HANDLE mapping = ::CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  const int mappingError = mapping ? 0 : LastError();
  ::CloseHandle(file);
  if (!mapping) {
    size_ = 0;
    return mappingError;
  }
  void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  const int viewError = view ? 0 : LastError();
  ::CloseHandle(mapping);  // the view keeps the mapping alive
  if (!view) {
    size_ = 0;
    return viewError;
  }
  data_ = static_cast<const std::uint8_t*>(view);
  return 0;
}

int ListFolder(const std::string& folder, const std::function<void(const FolderEntry&)>& each) {
  std::wstring pattern = SystemPath(folder);
  if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found{};
  HANDLE h = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE) {
    // An empty folder still lists "." (a drive's root lists nothing at all).
    return ::GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : LastError();
  }
  struct Closer {
    HANDLE h;
    ~Closer() { ::FindClose(h); }
  } closer{h};
  do {
    const std::wstring_view wide = found.cFileName;
    if (wide == L"." || wide == L"..") continue;
    const std::string name = win32::Narrow(wide);
    FolderEntry entry{name, FolderEntry::Type::File, 0};
    const DWORD attributes = found.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      // Junctions and folder links are reparse points: never entered, as links are not.
      entry.type = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? FolderEntry::Type::FolderLink
                                                               : FolderEntry::Type::Folder;
    }
    each(entry);
  } while (::FindNextFileW(h, &found));
  const DWORD end = ::GetLastError();
  return end == ERROR_NO_MORE_FILES ? 0 : win32::ErrorFromWin32(end);
}

OutputFile::~OutputFile() {
  if (handle_ != -1) ::CloseHandle(H(handle_));
}

bool OutputFile::isOpen() const {
  return handle_ != -1;
}

int OutputFile::write(const Piece* pieces, std::size_t count, std::uint64_t& written) {
  for (std::size_t i = 0; i < count; ++i) {
    const auto* bytes = static_cast<const std::uint8_t*>(pieces[i].data);
    std::size_t left = pieces[i].size;
    while (left > 0) {
      const auto want = static_cast<DWORD>(std::min<std::size_t>(left, std::size_t{1} << 30));
      DWORD done = 0;
      if (!::WriteFile(H(handle_), bytes, want, &done, nullptr)) return LastError();
      written += done;
      bytes += done;
      left -= done;
    }
  }
  return 0;
}

int OutputFile::writeAt(std::uint64_t offset, const void* data, std::size_t size) {
  // A positioned write moves the handle's position on Windows: the append position is kept
  // and put back.
  LARGE_INTEGER here{};
  LARGE_INTEGER zero{};
  if (!::SetFilePointerEx(H(handle_), zero, &here, FILE_CURRENT)) return LastError();
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  int error = 0;
  while (size > 0 && error == 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const auto want = static_cast<DWORD>(std::min<std::size_t>(size, std::size_t{1} << 30));
    DWORD done = 0;
    if (!::WriteFile(H(handle_), bytes, want, &done, &at)) {
      error = LastError();
      break;
    }
    bytes += done;
    size -= done;
    offset += done;
  }
  if (!::SetFilePointerEx(H(handle_), here, nullptr, FILE_BEGIN) && error == 0) {
    error = LastError();
  }
  return error;
}

int OutputFile::sync() {
  return ::FlushFileBuffers(H(handle_)) ? 0 : LastError();
}

int OutputFile::close() {
  if (handle_ == -1) return 0;
  HANDLE h = H(handle_);
  handle_ = -1;
  return ::CloseHandle(h) ? 0 : LastError();
}

bool OutputFile::id(FileId& out) const {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(H(handle_), &info)) return false;
  out = IdOf(info);
  return true;
}

OutputFile::Lock OutputFile::tryLock() {
  OVERLAPPED at{};
  if (::LockFileEx(H(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    return Lock::Taken;
  }
  const DWORD code = ::GetLastError();
  return code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING ? Lock::Held : Lock::Unavailable;
}

namespace {

std::wstring Child(const std::wstring& folder, std::string_view name) {
  std::wstring path = folder;
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  return path + win32::Widen(name);
}

}  // namespace

Folder::~Folder() {
  if (handle_ != -1) ::CloseHandle(H(handle_));
}

int Folder::open(const std::string& path) {
  if (handle_ != -1) ::CloseHandle(H(handle_));
  handle_ = -1;
  path_ = path;
  // Held open (sharing everything) so that the folder cannot be removed while files are made
  // in it; its files are reached through its path.
  HANDLE h = ::CreateFileW(SystemPath(path).c_str(), FILE_LIST_DIRECTORY, kShareAll, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(h, &info) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::CloseHandle(h);
    return ENOTDIR;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return 0;
}

std::string Folder::pathOf(std::string_view name) const {
  std::string full = path_;
  if (!full.empty() && full.back() != '\\' && full.back() != '/') full += '\\';
  full += name;
  return full;
}

int Folder::create(std::string_view name, OutputFile& out) const {
  // CREATE_NEW: only where nothing is; a link or reparse point there counts as something.
  // Others may read it and the program may rename it while it is open.
  HANDLE h = ::CreateFileW(Child(SystemPath(path_), name).c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  if (out.handle_ != -1) ::CloseHandle(H(out.handle_));
  out.handle_ = reinterpret_cast<std::intptr_t>(h);
  return 0;
}

int Folder::openToLock(std::string_view name, OutputFile& out) const {
  const std::wstring path = Child(SystemPath(path_), name);
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  BY_HANDLE_FILE_INFORMATION info{};
  const bool file = ::GetFileType(h) == FILE_TYPE_DISK && ::GetFileInformationByHandle(h, &info);
  if (!file || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::CloseHandle(h);
    return kNotRegularFile;
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    ::CloseHandle(h);
    return ELOOP;
  }
  if (out.handle_ != -1) ::CloseHandle(H(out.handle_));
  out.handle_ = reinterpret_cast<std::intptr_t>(h);
  return 0;
}

int Folder::remove(std::string_view name) const {
  return ::DeleteFileW(Child(SystemPath(path_), name).c_str()) ? 0 : LastError();
}

int Folder::rename(std::string_view from, std::string_view to, bool replace) const {
  const std::wstring folder = SystemPath(path_);
  // Without MOVEFILE_REPLACE_EXISTING the move fails where anything stands at `to`.
  return ::MoveFileExW(Child(folder, from).c_str(), Child(folder, to).c_str(),
                       replace ? MOVEFILE_REPLACE_EXISTING : 0)
             ? 0
             : LastError();
}

PathInfo Folder::inspect(std::string_view name) const {
  return Inspect(pathOf(name), false);
}

int Folder::list(const std::function<void(const FolderEntry&)>& each) const {
  return ListFolder(path_, each);
}

int Folder::sync() const {
  return 0;  // NTFS keeps its names in its journal; a folder has no bytes of its own to flush
}

int Folder::syncFiles(const std::vector<std::string>& written) const {
  // Windows can flush a whole volume only for an administrator: each file on its own.
  const std::wstring folder = SystemPath(path_);
  for (const std::string& name : written) {
    HANDLE h = ::CreateFileW(Child(folder, name).c_str(), GENERIC_WRITE, kShareAll, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (IsMissing(::GetLastError())) continue;  // removed since, by the user or a stop
      return LastError();
    }
    const int error = ::FlushFileBuffers(h) ? 0 : LastError();
    ::CloseHandle(h);
    if (error != 0) return error;
  }
  return 0;
}

bool Folder::SyncNeedsNames() {
  return true;
}

int CreateFolder(const std::string& path) {
  return ::CreateDirectoryW(SystemPath(path).c_str(), nullptr) ? 0 : LastError();
}

std::string AbsolutePath(const std::string& path) {
  std::wstring full = SystemPath(path);
  // The prefix is the program's way of reaching long paths, not part of the name people see.
  if (full.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    full = L"\\\\" + full.substr(8);
  } else if (full.rfind(L"\\\\?\\", 0) == 0) {
    full = full.substr(4);
  }
  return win32::Narrow(full);
}

bool RandomBytes(void* out, std::size_t size) {
  return BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, static_cast<PUCHAR>(out),
                                          static_cast<ULONG>(size),
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

int AnsiCodePage() {
  return static_cast<int>(::GetACP());
}

std::string LocaleName() {
  return {};  // Windows says it through its code page
}

std::tm LocalTime(std::time_t when) {
  std::tm local{};
  ::localtime_s(&local, &when);
  return local;
}

std::tm UtcTime(std::time_t when) {
  std::tm utc{};
  ::gmtime_s(&utc, &when);
  return utc;
}

int NewThreadSlot(void (*destroy)(void*)) {
  // Fiber-local storage, unlike TlsAlloc, calls back with each thread's value as it ends.
  const DWORD slot = ::FlsAlloc(reinterpret_cast<PFLS_CALLBACK_FUNCTION>(destroy));
  return slot == FLS_OUT_OF_INDEXES ? -1 : static_cast<int>(slot);
}

void* ThreadSlotValue(int slot) {
  return ::FlsGetValue(static_cast<DWORD>(slot));
}

void SetThreadSlotValue(int slot, void* value) {
  ::FlsSetValue(static_cast<DWORD>(slot), value);
}

std::vector<std::string> Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) out.push_back(win32::Narrow(wide[i]));
  ::LocalFree(wide);
  return out;
}

namespace {
bool terminalError = false;
}  // namespace

void PrepareConsole() {
  // No "insert a disk" boxes from a batch program: a missing drive is an error like another.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  ::SetConsoleOutputCP(CP_UTF8);
  HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  // The live progress line redraws itself with terminal escapes.
  terminalError = err != INVALID_HANDLE_VALUE && ::GetConsoleMode(err, &mode) &&
                  ::SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool StandardErrorIsTerminal() {
  return terminalError;
}

namespace {

std::atomic<int> received{0};
std::atomic<bool> stopFlag{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
  if (received.load() != 0 && interrupt) return FALSE;  // a second one: the default, at once
  received.store(interrupt ? SIGINT : SIGTERM);
  stopFlag.store(true);
  if (!interrupt) {
    // Closing the window (or logging off) ends the process when this returns: give the run its
    // few seconds to finish the file it writes and remove its temporary files first. The
    // process ends sooner when the run is done.
    ::Sleep(4500);
  }
  return TRUE;
}

}  // namespace

void InstallStopHandlers() {
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

int StopSignal() {
  return received.load();
}

const std::atomic<bool>* StopFlag() {
  return &stopFlag;
}

}  // namespace qc::sys
