// The program's one door to the operating system: files, folders, file identity, time, random
// bits, the console and stop requests. One interface with a POSIX side (system_posix.cpp) and a
// Win32 side (system_win32.cpp); nothing else in the program calls the system directly.
//
// Paths are UTF-8 text. The Win32 side turns them into UTF-16 at every call and reaches paths
// longer than 260 characters whether or not they are written with "\\?\".
//
// Errors are numbers in the errno space: the Win32 side maps its own codes onto errno values
// where one means the same (a missing file is ENOENT on both sides) and keeps the rest as
// negative numbers; ErrorText() gives the text of either.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qc::sys {

// The error of something that is there but is no regular file (a pipe, a device, a socket).
inline constexpr int kNotRegularFile = 0x7FFF0001;

// The text of an error number: strerror's for errno values, the system's own message for the
// Win32 side's codes, "not a regular file" for kNotRegularFile.
std::string ErrorText(int error);

// Who a file is, whatever names it goes by: the device (volume serial) and the file's number on
// it (inode, file index).
struct FileId {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  friend bool operator==(const FileId&, const FileId&) = default;
};

enum class Kind {
  Missing,  // nothing there (or `error` says why it could not be looked at)
  File,
  Folder,
  Link,   // only when links are not followed
  Other,  // a pipe, a device, a socket
};

struct PathInfo {
  Kind kind = Kind::Missing;
  std::int64_t size = 0;  // of a file
  FileId id;
  int error = 0;  // why a path that may exist could not be looked at (not for a missing one)
};

// What stands at `path`; links (and Windows reparse points) are followed unless `followLinks`
// is false, when they are reported as Link.
PathInfo Inspect(const std::string& path, bool followLinks = true);

// A regular file open for reading at any offset, by several threads at once. Opening never
// waits on a pipe and refuses anything but a regular file.
class InputFile {
 public:
  // Opens `path` (links followed). Returns 0, or the error: EISDIR for a folder,
  // kNotRegularFile for a pipe or device.
  int open(const std::string& path);
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool isOpen() const;
  // Reads up to `n` bytes at `offset` into `out`, as many as there are (fewer only at the end of
  // the file), and sets `got` to their count. Returns 0 or the error.
  int readAt(std::uint64_t offset, void* out, std::size_t n, std::size_t& got) const;
  // The size the file has now (it may grow or shrink while it is read). Returns 0 or the error.
  int size(std::int64_t& out) const;
  // Who the open file is; false when it cannot be told.
  bool id(FileId& out) const;
  // The file will be read from start to end: read ahead.
  void adviseSequential() const;

 private:
  std::intptr_t handle_ = -1;
};

// A whole file mapped into memory for reading (a data file checked in place).
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  // Returns 0 or the error. An empty file maps to no bytes.
  int open(const std::string& path);
  const std::uint8_t* data() const { return data_; }
  std::uint64_t size() const { return size_; }

 private:
  const std::uint8_t* data_ = nullptr;
  std::uint64_t size_ = 0;
};

// An entry of a folder as a listing sees it, without following links into folders. The name
// lives only as long as the call that hands it over.
struct FolderEntry {
  enum class Type {
    File,        // a file, or a link to one, or anything that is no folder
    Folder,      // a folder itself
    FolderLink,  // a link (or reparse point) to a folder: never entered
    Unknown,     // could not be looked at: `error` says why
  };
  std::string_view name;
  Type type = Type::File;
  int error = 0;
};

// Hands each entry of `folder` ("." and ".." left out) to `each`, in the order the system
// gives them. Returns 0 or the error of listing the folder.
int ListFolder(const std::string& folder, const std::function<void(const FolderEntry&)>& each);

// A file open for writing (or for holding a lock): a descriptor on POSIX, a handle on Windows.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // closes without asking how it went; close() for that
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  struct Piece {
    const void* data;
    std::size_t size;
  };
  bool isOpen() const;
  // Appends all of `pieces`, in order, with as few system calls as it can. Returns 0 or the
  // error; `written` grows by what reached the file either way.
  int write(const Piece* pieces, std::size_t count, std::uint64_t& written);
  // Writes at `offset` without moving the append position. Returns 0 or the error.
  int writeAt(std::uint64_t offset, const void* data, std::size_t size);
  // The file's bytes on the disk. Returns 0 or the error; a file system that cannot do it
  // (some network ones) is no error of ours.
  int sync();
  // Returns 0 or the error of closing (which can mean lost bytes on a network drive); the file
  // is closed either way.
  int close();
  bool id(FileId& out) const;

  enum class Lock {
    Taken,        // the file is now locked by us
    Held,         // someone else holds its lock
    Unavailable,  // the file system keeps no locks
  };
  // An exclusive lock, without waiting. The system drops it when the process ends, however it
  // ends.
  Lock tryLock();

 private:
  friend class Folder;
  std::intptr_t handle_ = -1;
};

// A folder held open: its files are made, renamed and removed relative to the folder itself,
// whatever happens to its path meanwhile (on Windows, relative to its path).
class Folder {
 public:
  Folder() = default;
  ~Folder();
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  // Returns 0 or the error (ENOTDIR for something that is no folder).
  int open(const std::string& path);
  const std::string& path() const { return path_; }
  // `name` of this folder as a path.
  std::string pathOf(std::string_view name) const;

  // Makes `name` for writing: only where nothing is, never through a link. Returns 0, EEXIST
  // when the name is taken, or another error.
  int create(std::string_view name, OutputFile& out) const;
  // Opens the existing regular file `name` to probe its lock: never through a link (ELOOP),
  // never waiting on a pipe (kNotRegularFile). Returns 0, ENOENT, or another error.
  int openToLock(std::string_view name, OutputFile& out) const;
  // Removes the file `name` (never a folder). Returns 0 or the error.
  int remove(std::string_view name) const;
  // Renames `from` to `to`; an entry at `to` is replaced only when `replace` (and never a
  // folder), else EEXIST, atomically. Returns 0 or the error.
  int rename(std::string_view from, std::string_view to, bool replace) const;
  // What `name` is, links not followed.
  PathInfo inspect(std::string_view name) const;
  int list(const std::function<void(const FolderEntry&)>& each) const;

  // The folder's own entries (the names just made) on the disk. Returns 0 or the error.
  int sync() const;
  // The files named `written` of this folder, written since it was opened, on the disk. POSIX
  // flushes the whole file system at once and reports a failed write-back of any file since
  // the folder was opened, names or not; Windows flushes the named files one by one.
  int syncFiles(const std::vector<std::string>& written) const;
  // Whether syncFiles() needs the names at all.
  static bool SyncNeedsNames();

 private:
  std::intptr_t handle_ = -1;
  std::string path_;
};

// Creates the folder `path` (its parent must exist). Returns 0, EEXIST when something is there
// already, or another error.
int CreateFolder(const std::string& path);

// `path` made absolute against the current folder, without resolving links: "." and ".."
// parts and repeated separators tidied away as the system would.
std::string AbsolutePath(const std::string& path);

// Fills `out` with bits no one can predict, from the system's random source. False when there
// is none.
bool RandomBytes(void* out, std::size_t size);

// The system's ANSI code page (Windows: 1252 for Western Europe, 1251 for Cyrillic, 932 for
// Japanese...), the charset its programs wrote text in; 0 where the system has none (POSIX).
int AnsiCodePage();

// The name of the locale the user's text is in ("ru_RU.KOI8-R", "el_GR.UTF-8"), as the
// environment sets it for POSIX programs (LC_ALL, else LC_CTYPE, else LANG); empty when unset.
std::string LocaleName();

// The local time of `when`, as the system's time zone has it.
std::tm LocalTime(std::time_t when);
// The same in UTC.
std::tm UtcTime(std::time_t when);

#ifdef _WIN32
// A slot for one value per thread, handed to `destroy` when its thread ends (see per_thread.h).
// Returns the slot, or -1 when the system has none left.
int NewThreadSlot(void (*destroy)(void*));
void* ThreadSlotValue(int slot);
void SetThreadSlotValue(int slot, void* value);
#endif

// The program's arguments as UTF-8 (on Windows read again from the UTF-16 command line, so that
// names in any script survive).
std::vector<std::string> Arguments(int argc, char** argv);

// Makes the console show the program's UTF-8 text as such; a file-size limit ends in a write
// error the program reports rather than in its death.
void PrepareConsole();

// Whether standard error is a terminal (for a live progress line).
bool StandardErrorIsTerminal();

// Stop requests from outside: Ctrl-C and SIGTERM on POSIX; Ctrl-C, Ctrl-Break and closing the
// console window on Windows. The first sets the flag and remembers which signal (SIGINT for
// Ctrl-C and Ctrl-Break, SIGTERM for the others); a second ends the program at once.
void InstallStopHandlers();
int StopSignal();                     // 0 until a stop is requested
const std::atomic<bool>* StopFlag();  // set once a stop is requested

}  // namespace qc::sys
