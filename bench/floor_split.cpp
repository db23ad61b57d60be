// floor_split: the least work any converter to .eml files must do, as a yardstick for ours.
//
//   floor_split offsets MAILBOX                 prints the separator offsets, one per line
//   floor_split split MAILBOX OFFSETS OUTDIR [THREADS]
//                                               writes OUTDIR/email-0.eml, email-1.eml, ...
//
// `offsets` looks for "From ???@???" with memmem and keeps the hits at the start of a line (or of
// the file). On the benchmark mailboxes that is exactly what the converter's finder finds; it is
// not the finder's rule in general (the finder also takes separators in mid-line, in other letter
// cases, and skips some after a partial match).
//
// `split` reads the mailbox once, front to back, in large chunks, and writes message j, the bytes
// [O[j], O[j+1]) or to the end of the file, without its leading and trailing spaces and followed
// by CR LF. Each file is written under a temporary name in OUTDIR and renamed when complete, as
// the converter does. Nothing is parsed and nothing is kept but the offsets and one chunk (per
// thread). With THREADS above 1, that many threads take batches of neighbouring messages within
// 512 KiB, as the converter's writer threads do.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

constexpr std::string_view kSeparator = "From ???@???";
constexpr std::size_t kChunk = std::size_t{4} << 20;

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
  std::fprintf(stderr, "floor_split: %s '%s': %s\n", what.c_str(), path.c_str(),
               std::strerror(error));
  std::exit(1);
}

int OpenMailbox(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("cannot open", path, errno);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return fd;
}

// Fills `buffer` from the current position; short only at the end of the file.
std::size_t ReadFull(int fd, char* buffer, std::size_t n, const std::string& path) {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got = ::read(fd, buffer + done, n - done);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail("cannot read", path, errno);
    }
    done += static_cast<std::size_t>(got);
  }
  return done;
}

int PrintOffsets(const std::string& mailbox) {
  const int fd = OpenMailbox(mailbox);
  std::vector<char> buffer(kChunk + kSeparator.size());
  // The last bytes of a chunk are carried over, so a separator across two chunks is seen whole;
  // `carried` also remembers whether the byte before the chunk ended a line.
  std::size_t carried = 0;
  std::int64_t base = 0;  // file offset of buffer[0]
  char before = '\n';     // the byte before buffer[0]; the file start counts as a line start
  std::string out;
  for (;;) {
    const std::size_t got = ReadFull(fd, buffer.data() + carried, kChunk, mailbox);
    const std::size_t have = carried + got;
    const char* begin = buffer.data();
    const char* p = begin;
    while (const void* hit = ::memmem(p, static_cast<std::size_t>(begin + have - p),
                                      kSeparator.data(), kSeparator.size())) {
      const char* at = static_cast<const char*>(hit);
      const char previous = at == begin ? before : at[-1];
      if (previous == '\n') out += std::to_string(base + (at - begin)) + '\n';
      p = at + kSeparator.size();
    }
    if (got == 0) break;
    const std::size_t keep = std::min(have, kSeparator.size() - 1);
    before = have > keep ? begin[have - keep - 1] : before;
    std::memmove(buffer.data(), begin + have - keep, keep);
    base += static_cast<std::int64_t>(have - keep);
    carried = keep;
    if (out.size() > (1u << 16)) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  ::close(fd);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

std::vector<std::int64_t> ReadOffsets(const std::string& path, std::int64_t fileSize) {
  std::ifstream in(path);
  if (!in) Fail("cannot open", path, errno);
  std::vector<std::int64_t> offsets;
  long long value = 0;
  while (in >> value) {
    if (value < 0 || value >= fileSize || (!offsets.empty() && value <= offsets.back())) {
      std::fprintf(stderr, "floor_split: offset %lld in '%s' is out of order or past the end\n",
                   value, path.c_str());
      std::exit(1);
    }
    offsets.push_back(value);
  }
  if (!in.eof()) {
    std::fprintf(stderr, "floor_split: '%s' holds something that is not an offset\n", path.c_str());
    std::exit(1);
  }
  return offsets;
}

// Writes the messages of one mailbox as its bytes stream past.
class Splitter {
 public:
  Splitter(int dirfd, std::string outdir) : dirfd_(dirfd), outdir_(std::move(outdir)) {
    spaces_.fill(' ');
  }

  void begin(std::size_t number) {
    final_ = "email-" + std::to_string(number) + ".eml";
    temp_ = final_ + ".tmp";
    fd_ = ::openat(dirfd_, temp_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) Fail("cannot create", outdir_ + "/" + temp_, errno);
    atStart_ = true;
    pendingSpaces_ = 0;
  }

  // Bytes of the current message. Spaces at the end of a piece are held back until a later byte
  // shows they are not the message's trailing spaces.
  void bytes(const char* data, std::size_t n) {
    if (atStart_) {
      while (n > 0 && *data == ' ') ++data, --n;
      if (n == 0) return;
      atStart_ = false;
    }
    std::size_t keep = n;
    while (keep > 0 && data[keep - 1] == ' ') --keep;
    if (keep == 0) {
      pendingSpaces_ += n;
      return;
    }
    while (pendingSpaces_ > 0) {
      const std::size_t k = std::min(pendingSpaces_, spaces_.size());
      queue(spaces_.data(), k);
      pendingSpaces_ -= k;
    }
    queue(data, keep);
    pendingSpaces_ = n - keep;
  }

  void end() {
    queue("\r\n", 2);
    flush();
    if (::close(fd_) != 0) Fail("cannot write", outdir_ + "/" + temp_, errno);
    fd_ = -1;
    if (::renameat(dirfd_, temp_.c_str(), dirfd_, final_.c_str()) != 0) {
      Fail("cannot rename to", outdir_ + "/" + final_, errno);
    }
  }

  // Must be called before the chunk that the queued pieces point into is overwritten.
  void flush() {
    std::size_t first = 0;
    while (first < count_) {
      const ssize_t put = ::writev(fd_, iov_.data() + first, static_cast<int>(count_ - first));
      if (put < 0) {
        if (errno == EINTR) continue;
        Fail("cannot write", outdir_ + "/" + temp_, errno);
      }
      auto done = static_cast<std::size_t>(put);
      while (first < count_ && done >= iov_[first].iov_len) done -= iov_[first++].iov_len;
      if (first < count_) {
        iov_[first].iov_base = static_cast<char*>(iov_[first].iov_base) + done;
        iov_[first].iov_len -= done;
      }
    }
    count_ = 0;
  }

  bool open() const { return fd_ >= 0; }

 private:
  void queue(const char* data, std::size_t n) {
    if (count_ == iov_.size()) flush();
    iov_[count_++] = {const_cast<char*>(data), n};
  }

  int dirfd_;
  std::string outdir_;
  int fd_ = -1;
  std::string final_, temp_;
  bool atStart_ = true;
  std::size_t pendingSpaces_ = 0;
  std::array<char, 4096> spaces_{};
  std::array<iovec, 16> iov_{};
  std::size_t count_ = 0;
};

// Fills `buffer` from `offset`; short only at the end of the file.
std::size_t PreadFull(int fd, char* buffer, std::size_t n, std::int64_t offset,
                      const std::string& path) {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got = ::pread(fd, buffer + done, n - done, offset + static_cast<off_t>(done));
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail("cannot read", path, errno);
    }
    done += static_cast<std::size_t>(got);
  }
  return done;
}

// Writes messages [first, last), whose bytes run from offsets[first] to `end`, reading them in
// chunks as they stream past.
void SplitRange(int fd, const std::string& mailbox, const std::vector<std::int64_t>& offsets,
                std::size_t first, std::size_t last, std::int64_t end, Splitter& splitter,
                std::vector<char>& chunk) {
  std::size_t next = first;  // the message that starts at the next offset
  std::int64_t pos = offsets[first];
  while (pos < end) {
    const auto want = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(chunk.size()), end - pos));
    const std::size_t got = PreadFull(fd, chunk.data(), want, pos, mailbox);
    if (got == 0) break;
    const std::int64_t chunkEnd = pos + static_cast<std::int64_t>(got);
    std::int64_t at = pos;
    while (at < chunkEnd) {
      const std::int64_t boundary = next < last ? offsets[next] : chunkEnd;
      const std::int64_t stop = std::min(boundary, chunkEnd);
      if (splitter.open()) {
        splitter.bytes(chunk.data() + (at - pos), static_cast<std::size_t>(stop - at));
      }
      at = stop;
      if (next < last && at == offsets[next]) {
        if (splitter.open()) splitter.end();
        splitter.begin(next++);
      }
    }
    if (splitter.open()) splitter.flush();
    pos = chunkEnd;
  }
  if (splitter.open()) splitter.end();
}

// Batches of neighbouring messages within 512 KiB (at most 512 messages, or one larger
// message), as the converter's writer threads take them.
std::vector<std::pair<std::size_t, std::size_t>> Batches(const std::vector<std::int64_t>& offsets) {
  constexpr std::int64_t kBatchBytes = std::int64_t{512} << 10;
  constexpr std::size_t kBatchMessages = 512;
  std::vector<std::pair<std::size_t, std::size_t>> batches;
  for (std::size_t first = 0; first < offsets.size();) {
    std::size_t last = first + 1;
    // Message `last` joins when it ends within the batch's bytes.
    while (last < offsets.size() && last - first < kBatchMessages &&
           (last + 1 < offsets.size() ? offsets[last + 1] : offsets[last]) <=
               offsets[first] + kBatchBytes) {
      ++last;
    }
    batches.emplace_back(first, last);
    first = last;
  }
  return batches;
}

int Split(const std::string& mailbox, const std::string& offsetsPath, const std::string& outdir,
          unsigned threads) {
  const int fd = OpenMailbox(mailbox);
  struct stat st {};
  if (::fstat(fd, &st) != 0) Fail("cannot read the size of", mailbox, errno);
  const std::vector<std::int64_t> offsets = ReadOffsets(offsetsPath, st.st_size);
  if (::mkdir(outdir.c_str(), 0777) != 0 && errno != EEXIST) Fail("cannot create", outdir, errno);
  const int dirfd = ::open(outdir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirfd < 0) Fail("cannot open", outdir, errno);

  const auto endOf = [&](std::size_t last) {
    return last < offsets.size() ? offsets[last] : static_cast<std::int64_t>(st.st_size);
  };
  if (threads <= 1) {
    if (!offsets.empty()) {
      Splitter splitter(dirfd, outdir);
      std::vector<char> chunk(kChunk);
      SplitRange(fd, mailbox, offsets, 0, offsets.size(), endOf(offsets.size()), splitter, chunk);
    }
  } else {
    const auto batches = Batches(offsets);
    std::atomic<std::size_t> nextBatch{0};
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t) {
      workers.emplace_back([&] {
        Splitter splitter(dirfd, outdir);
        std::vector<char> chunk(kChunk);
        for (std::size_t b; (b = nextBatch++) < batches.size();) {
          const auto [first, last] = batches[b];
          SplitRange(fd, mailbox, offsets, first, last, endOf(last), splitter, chunk);
        }
      });
    }
    for (auto& worker : workers) worker.join();
  }
  ::close(dirfd);
  ::close(fd);
  std::printf("%zu messages written to %s\n", offsets.size(), outdir.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view mode = argc > 1 ? argv[1] : "";
  if (mode == "offsets" && argc == 3) return PrintOffsets(argv[2]);
  if (mode == "split" && (argc == 5 || argc == 6)) {
    const int threads = argc == 6 ? std::atoi(argv[5]) : 1;
    if (threads >= 1 && threads <= 64) {
      return Split(argv[2], argv[3], argv[4], static_cast<unsigned>(threads));
    }
  }
  std::fprintf(stderr,
               "usage: floor_split offsets MAILBOX > OFFSETS\n"
               "       floor_split split MAILBOX OFFSETS OUTDIR [THREADS]\n");
  return 2;
}
