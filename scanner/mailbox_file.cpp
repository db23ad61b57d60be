#include "scanner/mailbox_file.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

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

// One read at a time on a thread of its own.
class ReadAhead {
 public:
  explicit ReadAhead(const MailboxFile& file) : file_(file), thread_([this] { run(); }) {}
  ~ReadAhead() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  // Reads `n` bytes at `offset` into `buffer`, which no one else touches until take().
  void start(std::int64_t offset, std::uint8_t* buffer, std::size_t n) {
    {
      std::lock_guard lock(mutex_);
      job_ = {offset, buffer, n};
      pending_ = true;
      done_ = false;
      error_ = nullptr;
    }
    changed_.notify_all();
  }

  // Waits for the read started last, if any. Its length when it was the read of `n` bytes at
  // `offset` (its error thrown), nothing otherwise.
  std::optional<std::size_t> take(std::int64_t offset, std::size_t n) {
    std::unique_lock lock(mutex_);
    if (!pending_) return std::nullopt;
    changed_.wait(lock, [&] { return done_; });
    pending_ = false;
    if (job_.offset != offset || job_.n != n) return std::nullopt;
    if (error_) std::rethrow_exception(error_);
    return length_;
  }

 private:
  struct Job {
    std::int64_t offset = 0;
    std::uint8_t* buffer = nullptr;
    std::size_t n = 0;
  };

  void run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return quit_ || (pending_ && !done_); });
      if (quit_) return;
      const Job job = job_;
      lock.unlock();
      std::size_t length = 0;
      std::exception_ptr error;
      try {
        length = file_.readAt(job.offset, job.buffer, job.n);
      } catch (...) {
        error = std::current_exception();
      }
      lock.lock();
      length_ = length;
      error_ = error;
      done_ = true;
      changed_.notify_all();
    }
  }

  const MailboxFile& file_;
  std::mutex mutex_;
  std::condition_variable changed_;
  Job job_;
  bool pending_ = false;  // a read was started and not taken
  bool done_ = false;
  bool quit_ = false;
  std::size_t length_ = 0;
  std::exception_ptr error_;
  std::thread thread_;  // last: it starts running at once
};

void ByteWindow::Buffer::reserve(std::size_t n) {
  if (n <= size) return;
  bytes = std::make_unique_for_overwrite<std::uint8_t[]>(n);
  size = n;
}

ByteWindow::ByteWindow(const MailboxFile& file, std::size_t capacity, Reading reading)
    : file_(file), capacity_(capacity), readAhead_(reading == Reading::Ahead) {}

ByteWindow::~ByteWindow() {
  ahead_.reset();  // waits for a read into spare_
}

std::span<const std::uint8_t> ByteWindow::at(std::int64_t pos, std::size_t want) {
  const std::int64_t end = start_ + static_cast<std::int64_t>(length_);
  if (pos >= start_ && pos + static_cast<std::int64_t>(want) <= end) {
    const auto skip = static_cast<std::size_t>(pos - start_);
    return {buffer_.bytes.get() + skip, length_ - skip};
  }
  const auto behind =
      static_cast<std::size_t>(std::min<std::int64_t>(pos, static_cast<std::int64_t>(kLookBehind)));
  const std::size_t n = behind + std::max(want, capacity_);
  const std::int64_t start = pos - static_cast<std::int64_t>(behind);
  // The read ahead was of exactly these bytes when the scan went on from the window's end.
  if (const auto read = ahead_ ? ahead_->take(start, n) : std::nullopt) {
    std::swap(buffer_, spare_);
    length_ = *read;
  } else {
    buffer_.reserve(n);
    length_ = file_.readAt(start, buffer_.bytes.get(), n);
  }
  start_ = start;
  if (readAhead_ && length_ == n) {  // the file goes on: the refill that the scan comes to next
    if (!ahead_) ahead_ = std::make_unique<ReadAhead>(file_);
    const std::int64_t next = start_ + static_cast<std::int64_t>(length_);
    const auto nextBehind = static_cast<std::size_t>(
        std::min<std::int64_t>(next, static_cast<std::int64_t>(kLookBehind)));
    spare_.reserve(nextBehind + capacity_);
    ahead_->start(next - static_cast<std::int64_t>(nextBehind), spare_.bytes.get(),
                  nextBehind + capacity_);
  }
  if (length_ <= behind) return {};
  return {buffer_.bytes.get() + behind, length_ - behind};
}

}  // namespace qc
