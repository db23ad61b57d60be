// Times the .msg path on the messages of a mailbox: each message is imported and written as a
// .msg file, as the conversion will do. Prints the message bytes per second.
//
//   msg_bench MAILBOX OUTDIR [LIMIT [THREADS]]
//
// With THREADS > 1 the messages are shared out between that many threads, as a conversion that
// writes files beside its own thread would.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "mapi/import/rfc822_import.h"
#include "mapi/msg/msg_writer.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: msg_bench MAILBOX OUTDIR [LIMIT [THREADS]]\n");
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
  const std::string sep = "From ???@???";
  for (std::size_t at = box.find(sep); at != std::string::npos && messages.size() < limit;) {
    const std::size_t next = box.find(sep, at + 1);
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
  std::printf("%zu messages, %u thread(s), %.1f MB of message data in %.3f s: %.1f MB/s\n",
              messages.size(), threads, static_cast<double>(bytes) / 1e6, seconds,
              static_cast<double>(bytes) / 1e6 / seconds);
  return 0;
}
