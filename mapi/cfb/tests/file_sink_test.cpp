#include "mapi/file_sink.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "mapi/cfb/tests/cfb_test_support.h"
#include "mapi/check/cfb/cfb_reader.h"
#include "util/tests/test_system.h"

namespace qc::mapi {
namespace {

namespace fs = std::filesystem;
using cfb::test::PatternByte;
using cfb::test::PatternSource;

class FileSinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("qc-cfb-" + std::to_string(qc::test::ProcessId()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  std::string path(const std::string& name) const { return (folder_ / name).string(); }
  // The folder's files but for the lock files of the writers still open.
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      const std::string name = entry.path().filename().string();
      if (!WriterOfLockName(name)) names.push_back(name);
    }
    return names;
  }
  static Bytes readFile(const std::string& file) {
    Bytes bytes(fs::file_size(file));
    std::ifstream in(file, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
  }

  fs::path folder_;
};

TEST_F(FileSinkTest, WritesUnderATemporaryNameUntilCommitted) {
  Bytes content(3 << 20);  // larger than the buffer, written in odd pieces
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = PatternByte(1, i);
  FileSink sink(path("out.msg"));
  ASSERT_EQ(listing().size(), 1u);
  EXPECT_TRUE(listing()[0].starts_with(".out.msg.") && listing()[0].ends_with(".part"))
      << listing()[0];
  sink.write(content.data(), 7);
  sink.write(content.data() + 7, 2 << 20);
  sink.write(content.data() + 7 + (2 << 20), content.size() - 7 - (2 << 20));
  EXPECT_FALSE(fs::exists(path("out.msg")));
  sink.commit();
  EXPECT_EQ(listing(), std::vector<std::string>{"out.msg"});
  EXPECT_EQ(readFile(path("out.msg")), content);
  EXPECT_THROW(sink.write(content.data(), 1), Error);
  EXPECT_THROW(sink.commit(), Error);
}

TEST_F(FileSinkTest, FailedWriteLeavesNoFile) {
  cfb::CompoundFile file;
  file.root().addStream("data", std::make_shared<cfb::test::ShortSource>(3 << 20, 2 << 20, true));
  {
    FileSink sink(path("out.msg"));
    EXPECT_THROW(file.write(sink), Error);
  }
  EXPECT_EQ(listing(), std::vector<std::string>{});
}

TEST_F(FileSinkTest, MissingFolderIsAnErrorNamingThePath) {
  try {
    FileSink sink(path("missing/out.msg"));
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("missing/out.msg'"), std::string::npos) << e.what();
    EXPECT_EQ(e.code(), ENOENT);
  }
}

// A full disk, made with a file size limit in a child process so the test runner keeps its own.
TEST_F(FileSinkTest, FullDiskIsAnErrorAndLeavesNoFile) {
#ifdef _WIN32
  GTEST_SKIP() << qc::test::kPosixOnly;
#else
  const std::string target = path("out.msg");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1 << 20, 1 << 20};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    int status = 1;
    try {
      cfb::CompoundFile file;
      file.root().addStream("data", std::make_shared<PatternSource>(3 << 20, 2));
      FileSink sink(target);
      file.write(sink);
      sink.commit();
    } catch (const Error& e) {
      const bool named = std::string(e.what()).find(target) != std::string::npos;
      status = named && e.code() == EFBIG ? 0 : 2;
    }
    ::_exit(status);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: no error, 2: error without the path or reason";
  EXPECT_EQ(listing(), std::vector<std::string>{});
#endif
}

TEST(MemorySink, WritesOverWhatItTookAndNothingBeyond) {
  MemorySink sink;
  const Bytes start{1, 2, 3, 4, 5};
  sink.write(start.data(), start.size());
  const Bytes patch{9, 8};
  sink.writeAt(3, patch.data(), patch.size());
  sink.writeAt(0, patch.data(), 0);
  EXPECT_EQ(sink.bytes, (Bytes{1, 2, 3, 9, 8}));
  EXPECT_EQ(sink.size(), 5u);
  EXPECT_THROW(sink.writeAt(4, patch.data(), patch.size()), Error);
  EXPECT_THROW(sink.writeAt(6, patch.data(), 0), Error);
  EXPECT_EQ(sink.bytes, (Bytes{1, 2, 3, 9, 8}));
}

// A store's writer appends pages and fixes up headers and maps later: the bytes written over
// may be on disk already or still in the buffer, or both.
TEST_F(FileSinkTest, WritesOverBytesOnDiskInTheBufferOrBoth) {
  Bytes expected(200'000);
  for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = PatternByte(4, i);
  FileSink sink(path("store.pst"));
  const Bytes header(512, 0);
  sink.write(header.data(), header.size());
  for (std::size_t at = 512; at < expected.size(); at += 7'000) {
    const std::size_t n = std::min<std::size_t>(7'000, expected.size() - at);
    sink.write(expected.data() + at, n);
  }
  EXPECT_EQ(sink.size(), expected.size());
  sink.writeAt(0, expected.data(), 512);           // long flushed
  const std::uint64_t tail = sink.size() - 1'000;  // still buffered
  Bytes marks(3'000, 0xEE);
  sink.writeAt(tail, marks.data(), 1'000);
  std::copy_n(marks.begin(), 1'000, expected.begin() + static_cast<std::ptrdiff_t>(tail));
  // Across every point where a write began, so also across where the buffer begins.
  for (std::uint64_t at = 512 + 7'000; at + 1'500 < tail; at += 7'000) {
    const std::uint64_t from = at - 1'500;
    sink.writeAt(from, marks.data(), marks.size());
    std::copy(marks.begin(), marks.end(), expected.begin() + static_cast<std::ptrdiff_t>(from));
  }
  EXPECT_EQ(sink.size(), expected.size());
  EXPECT_THROW(sink.writeAt(sink.size() - 1, marks.data(), 2), Error);

  const Bytes more{1, 2, 3};
  sink.write(more.data(), more.size());
  expected.insert(expected.end(), more.begin(), more.end());
  sink.commit();
  EXPECT_EQ(readFile(path("store.pst")), expected);
  EXPECT_THROW(sink.writeAt(0, more.data(), 1), Error);
}

// Sinks hand their buffer on to the next one of the thread: sinks open at the same time, one
// after another, in a held-open folder and by path, each keeps its own bytes.
TEST_F(FileSinkTest, SinksInTurnAndAtOnceKeepTheirOwnBytes) {
  const OutputFolder folder(folder_.string());
  const auto content = [](int file, std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = PatternByte(10 + file, i);
    return bytes;
  };
  for (int round = 0; round < 3; ++round) {
    FileSink first(folder, "a" + std::to_string(round) + ".msg");
    FileSink second(path("b" + std::to_string(round) + ".msg"));
    const Bytes a = content(2 * round, 1000 + 70'000 * round);
    const Bytes b = content(2 * round + 1, 300);
    first.write(a.data(), a.size() / 2);
    second.write(b.data(), b.size());
    first.write(a.data() + a.size() / 2, a.size() - a.size() / 2);
    second.commit();
    first.commit();
    EXPECT_EQ(readFile(path("a" + std::to_string(round) + ".msg")), a) << round;
    EXPECT_EQ(readFile(path("b" + std::to_string(round) + ".msg")), b) << round;
  }
  EXPECT_EQ(listing().size(), 6u) << "no temporary file is left";
}

// About 100 MB streamed from a generated source to disk, then checked whole.
TEST_F(FileSinkTest, HundredMegabyteFile) {
  const std::uint64_t size = 100ull << 20;
  cfb::CompoundFile file;
  file.root().addStream("__substg1.0_0037001F", Bytes(40, 'x'));
  file.root()
      .addStorage("__attach_version1.0_#00000000")
      .addStream("__substg1.0_37010102", std::make_shared<PatternSource>(size, 3));
  {
    FileSink sink(path("big.msg"));
    file.write(sink);
    sink.commit();
  }
  const Bytes bytes = readFile(path("big.msg"));
  const cfb::ReadResult read = cfb::ReadCompoundFile(bytes);
  EXPECT_EQ(read.defects, std::vector<std::string>{});
  const Bytes& data = read.streams.at("/__attach_version1.0_#00000000/__substg1.0_37010102");
  ASSERT_EQ(data.size(), size);
  for (std::uint64_t at = 0; at < size; at += 4'999'999) EXPECT_EQ(data[at], PatternByte(3, at));
  EXPECT_EQ(data[size - 1], PatternByte(3, size - 1));
}

}  // namespace
}  // namespace qc::mapi
