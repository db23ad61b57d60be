// Times the .pst path: the messages of a mailbox, read in pieces, each imported and added to one
// store, as the conversion will do. Prints the message bytes per second; run it under
// /usr/bin/time -v for the peak memory.
//
//   pst_bench [--fixed] MAILBOX OUT.pst [LIMIT]
//   pst_bench [--fixed] --attachment SIZE OUT.pst|OUT.msg [COUNT]
//       COUNT messages (one for .msg) each with a generated attachment of SIZE bytes
// --fixed: a fixed clock and counted GUIDs, so that two builds can be compared byte for byte.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "bench/mailbox_gen.h"
#include "mapi/import/rfc822_import.h"
#include "mapi/msg/msg_writer.h"
#include "mapi/store_file.h"

namespace {

using namespace qc::mapi;

// Bytes made up as they are read: a large attachment that is never in memory whole.
class GeneratedSource final : public ByteSource {
 public:
  explicit GeneratedSource(std::uint64_t size) : size_(size) {}
  std::uint64_t size() const override { return size_; }
  std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const override {
    if (offset >= size_) return 0;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - offset));
    for (std::size_t i = 0; i < n; ++i)
      out[i] = static_cast<std::uint8_t>((offset + i) * 2654435761u >> 24);
    return n;
  }

 private:
  std::uint64_t size_;
};

pst::StoreOptions Fixed() {
  return pst::FixedSources(FileTime{0x01DA000000000000});
}

int LargeAttachments(std::int64_t size, const std::string& out, int count,
                     const pst::StoreOptions& options) {
  auto m =
      ImportRfc822("From: a@example.org\r\nTo: b@example.org\r\nSubject: large\r\n\r\nbody\r\n");
  Attachment a;
  a.props.set(tags::PR_ATTACH_METHOD, ATTACH_BY_VALUE);
  a.props.set(tags::PR_ATTACH_LONG_FILENAME_W, std::string("large.bin"));
  a.props.set(tags::PR_ATTACH_DATA_BIN,
              std::shared_ptr<const ByteSource>(std::make_shared<GeneratedSource>(size)));
  m->attachments.push_back(std::move(a));
  SetMessageFlags(*m, 17);
  const auto start = std::chrono::steady_clock::now();
  if (out.size() > 4 && out.compare(out.size() - 4, 4, ".msg") == 0) {
    msg::WriteMsgFile(*m, out);
  } else {
    auto store = pst::PstStore::Create(out, "large", options);
    const auto folder = store->addMailFolder("Large");
    for (int i = 0; i < count; ++i) store->addMessage(folder, *m);
    store->close();
  }
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double mb = static_cast<double>(size) * count / 1e6;
  std::printf("%d message(s) with a %.1f MB attachment in %.3f s: %.1f MB/s\n", count,
              static_cast<double>(size) / 1e6, s, mb / s);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  pst::StoreOptions options;
  if (argc > 1 && std::strcmp(argv[1], "--fixed") == 0) {
    options = Fixed();
    --argc;
    ++argv;
  }
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: pst_bench [--fixed] MAILBOX OUT.pst [LIMIT]\n"
                 "       pst_bench [--fixed] --attachment SIZE OUT.pst|OUT.msg [COUNT]\n");
    return 1;
  }
  try {
    if (std::strcmp(argv[1], "--attachment") == 0 && argc >= 4) {
      return LargeAttachments(qc::bench::ParseSize(argv[2]), argv[3],
                              argc > 4 ? std::stoi(argv[4]) : 1, options);
    }
    const std::size_t limit = argc > 3 ? std::stoul(argv[3]) : SIZE_MAX;
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) throw std::runtime_error(std::string("cannot read ") + argv[1]);
    auto store = StoreFile::Create(argv[2], "bench", options);
    const auto folder = store->addFolder("bench");
    const std::string sep = "From ???@???";
    // The message being read and what follows it; `at` is where the message starts, so that
    // taking a message moves no bytes (erasing it from the front moved the rest every time).
    std::string pending;
    std::size_t at = 0;
    std::vector<char> chunk(std::size_t{1} << 20);
    std::size_t messages = 0, bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    bool eof = false;
    while (messages < limit) {
      const std::size_t next =
          pending.size() > at + 1 ? pending.find(sep, at + 1) : std::string::npos;
      if (next == std::string::npos && !eof) {
        pending.erase(0, at);
        at = 0;
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        pending.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
        eof = in.gcount() == 0;
        continue;
      }
      const std::size_t end = next == std::string::npos ? pending.size() : next;
      if (end == at) break;
      store->addMessageFromRfc822(folder, std::string_view(pending).substr(at, end - at), 17);
      bytes += end - at;
      ++messages;
      at = end;
    }
    store->close();
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%zu messages, %.1f MB of message data in %.3f s: %.1f MB/s\n", messages,
                static_cast<double>(bytes) / 1e6, s, static_cast<double>(bytes) / 1e6 / s);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pst_bench: %s\n", e.what());
    return 2;
  }
  return 0;
}
