#include "util/pending_file.h"

#include <cerrno>

#include "util/error.h"
#include "util/random_bits.h"

namespace qc {

namespace {

#ifdef _WIN32
constexpr std::string_view kSeparators = "\\/";
#else
constexpr std::string_view kSeparators = "/";
#endif

std::string FolderPartOf(const std::string& path) {
  const auto cut = path.find_last_of(kSeparators);
  if (cut == std::string::npos) return ".";
  if (cut == 0) return path.substr(0, 1);
#ifdef _WIN32
  if (cut == 2 && path[1] == ':') return path.substr(0, 3);  // "C:\"
#endif
  return path.substr(0, cut);
}

std::string NamePartOf(const std::string& path) {
  const auto cut = path.find_last_of(kSeparators);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

OutputFolder::OutputFolder(std::string path) {
  if (const int error = folder_.open(path); error != 0) {
    throw systemError("cannot open the output folder", path, error);
  }
  lock_ = std::make_unique<WriterLock>(folder_);
}

OutputFolder::~OutputFolder() {
  lock_.reset();  // it lives in the folder
}

void OutputFolder::committed(const std::string& name) const {
  if (!sys::Folder::SyncNeedsNames()) return;
  std::lock_guard lock(committedMutex_);
  committed_.push_back(name);
}

void OutputFolder::flush() const {
  std::vector<std::string> names;
  {
    std::lock_guard lock(committedMutex_);
    names.swap(committed_);
  }
  if (const int error = folder_.syncFiles(names); error != 0) {
    throw systemError("cannot flush the files written to", path(), error);
  }
}

std::string_view NamePrefix(std::string_view name, std::size_t maxBytes) {
  if (name.size() <= maxBytes) return name;
  std::size_t end = maxBytes;
  // Back to the first byte of a character: continuation bytes are 10xxxxxx.
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return name.substr(0, end);
}

bool OutputFolder::removeFile(const std::string& name) const noexcept {
  return folder_.remove(name) == 0;
}

PendingFile::PendingFile(const OutputFolder& folder, std::string name)
    : folder_(&folder), name_(std::move(name)) {
  create();
}

namespace {

// The folder of a file about to be written; a failure names the file the user asked for.
std::unique_ptr<OutputFolder> FolderFor(const std::string& finalPath) {
  try {
    return std::make_unique<OutputFolder>(FolderPartOf(finalPath));
  } catch (const Error& e) {
    if (e.code() == 0) throw;
    throw systemError("cannot create", finalPath, e.code());
  }
}

}  // namespace

PendingFile::PendingFile(const std::string& finalPath)
    : ownFolder_(FolderFor(finalPath)), folder_(ownFolder_.get()), name_(NamePartOf(finalPath)) {
  if (name_.empty()) throw Error("cannot create '" + finalPath + "': the path names a folder");
  create();
}

void PendingFile::create() {
  // A final name near the limit must not fail for want of room in its temporary name.
  const std::string_view prefix = NamePrefix(name_, kNameMax - 1 - kTemporarySuffixSize);
  for (int attempt = 0;; ++attempt) {
    tempName_ = TemporaryFileName(prefix, folder_->writer(),
                                  static_cast<std::uint32_t>(UnpredictableNumber()));
    const int error = folder_->folder().create(tempName_, file_);
    if (error == 0) return;
    if (error == EEXIST && attempt < 16) continue;
    // The user looks for the file under its final name; the hidden name would only puzzle.
    throw systemError("cannot create", finalPath(), error);
  }
}

PendingFile::~PendingFile() {
  discard();
}

void PendingFile::discard() noexcept {
  if (file_.isOpen()) {
    file_.close();
    folder_->folder().remove(tempName_);
  }
}

void PendingFile::write(const void* data, std::size_t size) {
  const Piece piece{data, size};
  write(&piece, 1);
}

void PendingFile::write(const Piece* pieces, std::size_t count) {
  if (!file_.isOpen()) {
    throw Error("cannot write '" + finalPath() + "': the file is already complete");
  }
  if (const int error = file_.write(pieces, count, written_); error != 0) {
    throw systemError("cannot write", finalPath(), error);
  }
}

void PendingFile::writeAt(std::uint64_t offset, const void* data, std::size_t size) {
  if (!file_.isOpen()) {
    throw Error("cannot write '" + finalPath() + "': the file is already complete");
  }
  if (const int error = file_.writeAt(offset, data, size); error != 0) {
    throw systemError("cannot write", finalPath(), error);
  }
}

void PendingFile::close(Durability durability) {
  if (!file_.isOpen()) throw Error("cannot complete '" + finalPath() + "' twice");
  // The bytes first: a power cut after the rename must not leave the final name on a file
  // whose bytes never reached the disk.
  const int synced = durability == Durability::Now ? file_.sync() : 0;
  // A failed close can mean lost data (for example on a network drive), so it fails the file.
  const int closed = file_.close();
  if (synced != 0 || closed != 0) {
    folder_->folder().remove(tempName_);
    throw systemError("cannot write", finalPath(), synced != 0 ? synced : closed);
  }
}

void PendingFile::sync(Durability durability, const sys::FileId& ours) {
  if (durability == Durability::Folder) {
    folder_->committed(name_);
    return;
  }
  // Then the folder, which holds the new name. A name that may not last is not left standing
  // as if it would, but only while it is still our file.
  if (const int error = folder_->folder().sync(); error != 0) {
    const sys::PathInfo named = folder_->folder().inspect(name_);
    if (named.kind == sys::Kind::File && named.id == ours) folder_->folder().remove(name_);
    throw systemError("cannot write", finalPath(), error);
  }
}

void PendingFile::commit(bool replace, Durability durability) {
  sys::FileId ours;
  if (file_.isOpen()) file_.id(ours);
  close(durability);
  if (const int error = folder_->folder().rename(tempName_, name_, replace); error != 0) {
    folder_->folder().remove(tempName_);
    throw systemError("cannot create", finalPath(), error);
  }
  sync(durability, ours);
}

void PendingFile::commitUnderFreeName(const std::function<std::string()>& nextName,
                                      Durability durability) {
  sys::FileId ours;
  if (file_.isOpen()) file_.id(ours);
  close(durability);
  for (;;) {
    const int error = folder_->folder().rename(tempName_, name_, false);
    if (error == 0) break;
    std::string next;
    if (error == EEXIST) {
      try {
        next = nextName();
      } catch (...) {
        folder_->folder().remove(tempName_);
        throw;
      }
    }
    if (next.empty() || next.find_first_of(kSeparators) != std::string::npos) {
      folder_->folder().remove(tempName_);
      throw systemError("cannot create", finalPath(), error);
    }
    name_ = std::move(next);
  }
  sync(durability, ours);
}

}  // namespace qc
