// Times the .msg path on the messages of a mailbox: each message is imported and written as a
// .msg file. Prints the message bytes per second.
//
//   msg_bench MAILBOX OUTDIR [LIMIT [THREADS]]
//   msg_bench --run MAILBOX OUTDIR [WORKERS]
//
// The first form holds the mailbox in memory and imports each message from a copy of its
// bytes; with THREADS > 1 the messages are shared out between that many threads. It measures
// the import and the writer alone.
//
// With --run the messages go the way the conversion takes them: read from the open mailbox
// file where they lie, by the conversion's .msg jobs on WORKERS worker threads (default 2, as
// the conversion uses on a machine with several processors; 0 does all on the calling thread),
// taken in order by the calling thread. Only the messages' offsets are held, so the peak memory
// is the conversion's.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "convert/message_jobs.h"
#include "convert/message_writer_pool.h"
#include "mapi/import/rfc822_import.h"
#include "mapi/msg/msg_writer.h"
#include "scanner/mailbox_file.h"

namespace {

constexpr std::string_view kSeparator = "From ???@???";

void Report(std::size_t messages, unsigned threads, std::uint64_t bytes, double seconds) {
  std::printf("%zu messages, %u thread(s), %.1f MB of message data in %.3f s: %.1f MB/s\n",
              messages, threads, static_cast<double>(bytes) / 1e6, seconds,
              static_cast<double>(bytes) / 1e6 / seconds);
}

// Where the separators start, found in 4 MiB pieces of the file; every separator of the
// generated mailboxes starts a line, as the conversion's search finds them.
std::vector<std::int64_t> SeparatorOffsets(const qc::MailboxFile& file, std::int64_t size) {
  constexpr std::size_t kPiece = std::size_t{4} << 20;
  std::vector<std::int64_t> offsets;
  // Each piece with the byte before it, to tell a line start, and the bytes of a separator
  // that begins at its end.
  std::vector<std::uint8_t> piece(1 + kPiece + kSeparator.size());
  for (std::int64_t at = 0; at < size; at += kPiece) {
    const std::int64_t from = at == 0 ? 0 : at - 1;
    const std::size_t got = file.readAt(from, piece.data(), piece.size());
    const std::string_view text(reinterpret_cast<const char*>(piece.data()), got);
    const std::size_t first = at == 0 ? 0 : 1;  // where this piece's own bytes begin
    for (std::size_t hit = text.find(kSeparator, first);
         hit != std::string_view::npos && hit < first + kPiece;
         hit = text.find(kSeparator, hit + 1)) {
      if (hit == 0 || text[hit - 1] == '\n')
        offsets.push_back(from + static_cast<std::int64_t>(hit));
    }
  }
  return offsets;
}

int Run(const std::string& mailbox, const std::string& outdir, unsigned workers) {
  auto file = std::make_shared<const qc::MailboxFile>(mailbox);
  const std::int64_t size = file->size();
  const std::vector<std::int64_t> offsets = SeparatorOffsets(*file, size);
  std::filesystem::create_directories(outdir);
  const qc::OutputFolder folder(outdir);
  const qc::SearchedMailbox searched{file, size};

  const auto start = std::chrono::steady_clock::now();
  std::uint64_t bytes = 0;
  std::size_t failed = 0;
  {
    qc::MessageWriterPool pool(offsets, qc::MsgFileJobs(searched, offsets, folder), workers);
    for (std::size_t j = 0; j < offsets.size(); ++j) {
      const qc::MessageOutcome outcome = pool.take(j, [](std::int64_t) {});
      bytes += outcome.bytes;
      if (!outcome.done) {
        if (failed++ == 0) std::fprintf(stderr, "%s\n", outcome.error.c_str());
      }
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  Report(offsets.size(), workers == 0 ? 1 : workers, bytes, seconds);
  if (failed > 0) std::fprintf(stderr, "%zu messages failed\n", failed);
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--run") == 0) {
    return Run(argv[2], argv[3], argc > 4 ? static_cast<unsigned>(std::stoul(argv[4])) : 2);
  }
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: msg_bench MAILBOX OUTDIR [LIMIT [THREADS]]\n"
                 "       msg_bench --run MAILBOX OUTDIR [WORKERS]\n");
    return 1;
  }
  // Read whole in one go, so that the time and memory of reading it stay small beside the path's.
  std::string box(std::filesystem::file_size(argv[1]), '\0');
  std::ifstream in(argv[1], std::ios::binary);
  if (!in.read(box.data(), static_cast<std::streamsize>(box.size()))) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  const std::size_t limit = argc > 3 ? std::stoul(argv[3]) : SIZE_MAX;
  std::vector<std::string_view> messages;
  for (std::size_t at = box.find(kSeparator); at != std::string::npos && messages.size() < limit;) {
    const std::size_t next = box.find(kSeparator, at + 1);
    messages.emplace_back(
        std::string_view(box).substr(at, next == std::string::npos ? box.size() - at : next - at));
    at = next;
  }
  std::filesystem::create_directories(argv[2]);
  const qc::OutputFolder folder(argv[2]);
  const unsigned threads = argc > 4 ? static_cast<unsigned>(std::stoul(argv[4])) : 1;
  std::size_t bytes = 0;
  for (const auto m : messages) bytes += m.size();
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next++; i < messages.size(); i = next++) {
      auto message = qc::mapi::ImportRfc822(messages[i]);
      qc::mapi::SetMessageFlags(*message, 17);
      qc::mapi::msg::WriteMsgFile(*message, folder, "m-" + std::to_string(i) + ".msg");
    }
  };
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (auto& t : pool) t.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  Report(messages.size(), threads, bytes, seconds);
  return 0;
}
