// Writing a file so that no half-written file ever stands under its final name: the bytes go to
// a temporary file in the same folder, which is renamed to the final name only when complete.
// Every writer of the program (message files, .msg files, stores) goes through this one place.
//
// The temporary file is created exclusively under a name no one can predict, and never through
// an existing file or link: a link planted at a guessable name cannot make us overwrite its
// target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "util/system.h"
#include "util/writer_lock.h"

namespace qc {

// A folder that receives files, held open so that every file of it is created and renamed
// relative to the folder itself, whatever happens to the path meanwhile. While it is open it
// holds the lock that marks its temporary files as those of a live writer (util/writer_lock.h).
class OutputFolder {
 public:
  // Opens an existing folder and takes its lock; throws qc::Error naming the folder (or the
  // lock file) when either cannot be done.
  explicit OutputFolder(std::string path);
  ~OutputFolder();
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  const std::string& path() const { return folder_.path(); }
  std::string pathOf(std::string_view name) const { return folder_.pathOf(name); }
  // Removes the file `name` of this folder (never a folder); false when it could not be removed.
  bool removeFile(const std::string& name) const noexcept;
  const sys::Folder& folder() const { return folder_; }
  // The identity its temporary files carry.
  WriterId writer() const { return lock_->id(); }

  // Makes the files committed into this folder so far, and their names, survive a power cut:
  // one call for any number of files (on POSIX the whole file system is flushed, which also
  // reports a failed write-back of any of them since the folder was opened). Throws qc::Error
  // naming the folder and the system's reason; the files may then be lost or incomplete.
  void flush() const;
  // A file committed here that flush() is to put on the disk (where the system needs its name).
  void committed(const std::string& name) const;

 private:
  sys::Folder folder_;
  std::unique_ptr<WriterLock> lock_;
  // The names flush() has to flush one by one, where the system cannot flush a whole folder.
  mutable std::mutex committedMutex_;
  mutable std::vector<std::string> committed_;
};

// How a committed file is made to survive a power cut.
enum class Durability {
  // By its folder's flush(), together with the other files of the folder: message files, of
  // which a mailbox writes thousands.
  Folder,
  // By the commit itself: the bytes reach the disk before the file takes its final name, and
  // the name after. Stores, one large file that stands for a whole mailbox.
  Now,
};

// The longest file name (one path component, in bytes) the program makes: POSIX file systems
// take 255 bytes.
inline constexpr std::size_t kNameMax = 255;

// `name` cut to at most `maxBytes` bytes without splitting a UTF-8 character.
std::string_view NamePrefix(std::string_view name, std::size_t maxBytes);

// One file being written. Until commit() it lives under a hidden temporary name
// (".<name>.<writer><random>.part", the name shortened where the whole would be too long);
// destroying it uncommitted (a failure, or a run being stopped) removes it.
class PendingFile {
 public:
  // A file `name` (no separator) in `folder`, which must outlive the pending file.
  PendingFile(const OutputFolder& folder, std::string name);
  // A file at `finalPath`, in a folder the pending file opens and holds itself.
  explicit PendingFile(const std::string& finalPath);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  using Piece = sys::OutputFile::Piece;
  // Appends all of the given pieces, in order, with as few system calls as possible.
  void write(const Piece* pieces, std::size_t count);
  void write(const void* data, std::size_t size);
  // Writes at `offset` without moving the append position (for headers and maps written after
  // what they describe). Throws qc::Error.
  void writeAt(std::uint64_t offset, const void* data, std::size_t size);

  // Closes the file and gives it its final name, replacing any file (or link) of that name but
  // never a folder. Throws qc::Error naming the final path; the temporary file is removed then,
  // and so is the final name when only flushing the folder failed (the name may not last).
  // With `replace` false an existing entry of that name is never replaced: the commit fails
  // with EEXIST instead, atomically (no one can slip a file in between a check and the rename).
  void commit(bool replace = true, Durability durability = Durability::Folder);
  // Like commit(false), but a final name taken meanwhile (by another program, or another run
  // writing into the same folder) is no failure: `nextName` is asked for another name in the
  // same folder, as often as the ones it gives are taken too. finalPath() then names the file
  // actually written.
  void commitUnderFreeName(const std::function<std::string()>& nextName,
                           Durability durability = Durability::Folder);

  std::string finalPath() const { return folder_->pathOf(name_); }
  std::string temporaryPath() const { return folder_->pathOf(tempName_); }
  std::uint64_t bytesWritten() const { return written_; }
  bool complete() const { return !file_.isOpen(); }  // committed (or failed while committing)

 private:
  void create();
  void discard() noexcept;
  // Closes the file, after putting it on the disk for Durability::Now.
  void close(Durability durability);
  void sync(Durability durability, const sys::FileId& ours);

  std::unique_ptr<OutputFolder> ownFolder_;
  const OutputFolder* folder_;
  std::string name_;
  std::string tempName_;
  sys::OutputFile file_;
  std::uint64_t written_ = 0;
};

}  // namespace qc
