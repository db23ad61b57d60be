// Speed of the separator search, in bytes of mailbox per second.
//
//   search_bench [--mailbox=PATH] [benchmark flags]
//
// Without --mailbox the benchmark uses /dev/shm/qc-bench/qc-bench-256m.mbx and writes it first when
// it is missing (256 MiB, 75,000 messages, seed 1: the mailbox compare.sh uses). On /dev/shm the
// file is in memory, so the numbers are those of reading from the page cache.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bench/mailbox_gen.h"
#include "scanner/cp1252.h"
#include "scanner/frm_finder.h"
#include "scanner/log_sink.h"
#include "scanner/mailbox_file.h"
#include "scanner/separator_scan.h"
#include "util/ui.h"

namespace {

constexpr std::string_view kSeparator = "From ???@???";
std::string g_mailbox = "/dev/shm/qc-bench/qc-bench-256m.mbx";

// A screen nobody looks at; it keeps the first message box so a failed open stops the benchmark.
class NullScreen final : public qc::Screen {
 public:
  qc::MsgButton messageBox(std::string_view text, qc::MsgStyle, std::string_view) override {
    if (message.empty()) message = text;
    return qc::MsgButton::Ok;
  }
  void beep() override {}
  void yield() override {}
  void setLabel(qc::Label, std::string_view) override {}
  void setProgressRange(qc::Bar, int, int) override {}
  void setProgress(qc::Bar, double) override {}

  std::string message;
};

// The whole search of one mailbox as the conversion drives it: open, Find, Find next until the
// finder reports the end, close.
void BM_FinderSearch(benchmark::State& state) {
  NullScreen screen;
  qc::NullLog log;
  std::int64_t bytes = 0;
  std::size_t found = 0;
  for (auto _ : state) {
    qc::SearchShared shared;
    qc::FrmFinder finder(screen, shared, log);
    finder.Text2 = std::string(kSeparator);
    finder.Open_MBOX(g_mailbox);
    finder.Find_Click();
    while (shared.SearchFinished != -1) finder.FindNext_Click();
    finder.CloseFile();
    if (!screen.message.empty()) {
      state.SkipWithError(screen.message.c_str());
      return;
    }
    found = shared.MessageOffsets.size();
    bytes += finder.FileSize;
  }
  state.SetBytesProcessed(bytes);
  state.counters["messages"] = static_cast<double>(found);
}

// The mailbox read into memory once; the scans below then see no file system at all.
struct InMemory {
  InMemory() : file(g_mailbox), size(file.size()), window(file, static_cast<std::size_t>(size)) {
    if (window.at(0, static_cast<std::size_t>(size)).size() != static_cast<std::size_t>(size)) {
      throw std::runtime_error("the mailbox changed while it was read");
    }
  }
  qc::MailboxFile file;
  std::int64_t size;
  qc::ByteWindow window;
};

InMemory& Loaded() {
  static InMemory loaded;
  return loaded;
}

// The scan loop alone, with the finder's bookkeeping left out.
void BM_ScanForPatternInMemory(benchmark::State& state) {
  InMemory& mailbox = Loaded();
  const qc::ScanPattern pattern(qc::UpperCp1252(std::string(kSeparator)), false);
  std::size_t found = 0;
  for (auto _ : state) {
    found = 0;
    std::int64_t pos = 0;
    for (;;) {
      const auto result = qc::ScanForPattern(mailbox.window, pattern, pos, mailbox.size, [] {});
      if (!result.found) break;
      ++found;
      pos = result.curPos + static_cast<std::int64_t>(kSeparator.size());
    }
  }
  state.SetBytesProcessed(state.iterations() * mailbox.size);
  state.counters["messages"] = static_cast<double>(found);
}

// For scale: the C library's memmem over the same bytes, exact case only.
void BM_MemmemInMemory(benchmark::State& state) {
  InMemory& mailbox = Loaded();
  const auto all = mailbox.window.at(0, static_cast<std::size_t>(mailbox.size));
  const char* begin = reinterpret_cast<const char*>(all.data());
  const char* end = begin + all.size();
  std::size_t found = 0;
  for (auto _ : state) {
    found = 0;
    for (const char* p = begin;;) {
      const void* hit =
          ::memmem(p, static_cast<std::size_t>(end - p), kSeparator.data(), kSeparator.size());
      if (!hit) break;
      ++found;
      p = static_cast<const char*>(hit) + kSeparator.size();
    }
  }
  state.SetBytesProcessed(state.iterations() * mailbox.size);
  state.counters["messages"] = static_cast<double>(found);
}

BENCHMARK(BM_FinderSearch)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScanForPatternInMemory)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MemmemInMemory)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.substr(0, 10) == "--mailbox=") {
      g_mailbox = std::string(arg.substr(10));
    } else {
      rest.push_back(argv[i]);
    }
  }
  if (!std::filesystem::exists(g_mailbox)) {
    std::fprintf(stderr, "writing %s ...\n", g_mailbox.c_str());
    const auto folder = std::filesystem::path(g_mailbox).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder);
    qc::bench::WriteMailbox(g_mailbox, qc::bench::MailboxOptions{});
  }
  int count = static_cast<int>(rest.size());
  benchmark::Initialize(&count, rest.data());
  if (benchmark::ReportUnrecognizedArguments(count, rest.data())) return 2;
  benchmark::AddCustomContext("mailbox", g_mailbox);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
