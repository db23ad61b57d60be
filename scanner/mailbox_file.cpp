#include "scanner/mailbox_file.h"

#include <cerrno>

#include "util/error.h"
#include "util/system.h"

namespace qc {

std::int64_t FileSizeOf(const std::string& path) {
  const sys::PathInfo info = sys::Inspect(path);
  if (info.error != 0) throw systemError("cannot read the size of", path, info.error);
  if (info.kind == sys::Kind::Missing) throw systemError("cannot read the size of", path, ENOENT);
  if (info.kind == sys::Kind::Folder) throw systemError("cannot read the size of", path, EISDIR);
  return info.kind == sys::Kind::File ? info.size : 0;
}

bool IsExistingFile(const std::string& path) {
  return sys::Inspect(path).kind == sys::Kind::File;
}

std::string NotAFileReason(const std::string& path) {
  const sys::PathInfo info = sys::Inspect(path);
  if (info.error != 0) return sys::ErrorText(info.error);
  switch (info.kind) {
    case sys::Kind::Missing:
      return sys::ErrorText(ENOENT);
    case sys::Kind::Folder:
      return sys::ErrorText(EISDIR);
    default:
      return sys::ErrorText(sys::kNotRegularFile);
  }
}

MailboxFile::MailboxFile(const std::string& path) : path_(path) {
  if (const int error = file_.open(path); error != 0) {
    throw systemError("cannot open the mailbox", path, error);
  }
  file_.adviseSequential();
}

MailboxFile::~MailboxFile() = default;

std::int64_t MailboxFile::size() const {
  std::int64_t size = 0;
  if (const int error = file_.size(size); error != 0) {
    throw systemError("cannot read the size of", path_, error);
  }
  return size;
}

bool MailboxFile::isNamedBy(const std::string& path) const {
  sys::FileId mine;
  const sys::PathInfo named = sys::Inspect(path);
  return file_.id(mine) && named.kind == sys::Kind::File && named.id == mine;
}

std::size_t MailboxFile::readAt(std::int64_t offset, std::uint8_t* buffer, std::size_t n) const {
  std::size_t got = 0;
  if (const int error = file_.readAt(static_cast<std::uint64_t>(offset), buffer, n, got);
      error != 0) {
    throw systemError("cannot read the mailbox", path_, error);
  }
  return got;
}

ByteWindow::ByteWindow(const MailboxFile& file, std::size_t capacity)
    : file_(file), buffer_(capacity) {}

std::span<const std::uint8_t> ByteWindow::at(std::int64_t pos, std::size_t want) {
  const std::int64_t end = start_ + static_cast<std::int64_t>(length_);
  if (pos >= start_ && pos + static_cast<std::int64_t>(want) <= end) {
    const auto skip = static_cast<std::size_t>(pos - start_);
    return {buffer_.data() + skip, length_ - skip};
  }
  if (want > buffer_.size()) buffer_.resize(want);
  start_ = pos;
  length_ = file_.readAt(pos, buffer_.data(), buffer_.size());
  return {buffer_.data(), length_};
}

}  // namespace qc
