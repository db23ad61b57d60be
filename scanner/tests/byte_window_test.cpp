// The read window gives the file's bytes wherever it is asked, whether it reads on demand or
// ahead on a thread of its own, at every window size, and stops where the file now ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "scanner/mailbox_file.h"
#include "util/tests/scratch_folder.h"

namespace qc {
namespace {

std::string Bytes(const std::span<const std::uint8_t> span) {
  return {reinterpret_cast<const char*>(span.data()), span.size()};
}

TEST(ByteWindow, GivesTheFilesBytesWhereverItIsAsked) {
  test::ScratchFolder folder;
  std::mt19937 rng(11);
  std::string content(300000, '\0');
  for (char& c : content) c = static_cast<char>(rng());
  const std::string path = folder.write("box", content);
  MailboxFile file(path);
  for (const auto reading : {ByteWindow::Reading::OnDemand, ByteWindow::Reading::Ahead}) {
    for (const std::size_t capacity : {std::size_t{7}, std::size_t{4096}, std::size_t{65536}}) {
      ByteWindow window(file, capacity, reading);
      std::int64_t pos = 0;
      for (int step = 0; step < 3000; ++step) {
        // Mostly front to back, as the search and the cutting go; now and then back a little,
        // far ahead, or more bytes than a window holds.
        const int move = static_cast<int>(rng() % 20);
        if (move == 0) {
          pos = std::max<std::int64_t>(0, pos - static_cast<std::int64_t>(rng() % 5000));
        } else if (move == 1) {
          pos = static_cast<std::int64_t>(rng() % content.size());
        } else {
          pos += static_cast<std::int64_t>(rng() % (2 * capacity));
        }
        if (pos >= static_cast<std::int64_t>(content.size())) pos = 0;
        const std::size_t want = move == 2 ? 3 * capacity : 1 + rng() % 16;
        const std::string got = Bytes(window.at(pos, want));
        const std::string expected = content.substr(static_cast<std::size_t>(pos), got.size());
        ASSERT_EQ(got, expected) << "at " << pos << ", capacity " << capacity;
        ASSERT_GE(got.size(), std::min(want, content.size() - static_cast<std::size_t>(pos)));
      }
    }
  }
}

// A window read ahead of a file that shrinks meanwhile ends where the file now ends, as one
// reading on demand does.
TEST(ByteWindow, ReadingAheadStopsWhereAShrunkenFileEnds) {
  test::ScratchFolder folder;
  const std::string content(100000, 'x');
  const std::string path = folder.write("box", content);
  MailboxFile file(path);
  ByteWindow window(file, 8192, ByteWindow::Reading::Ahead);
  std::int64_t pos = 0;
  for (int i = 0; i < 3; ++i) pos += static_cast<std::int64_t>(window.at(pos).size());
  std::filesystem::resize_file(test::Path(path), 30000);
  std::int64_t seen = pos;
  for (;;) {
    const auto bytes = window.at(pos);
    if (bytes.empty()) break;
    pos += static_cast<std::int64_t>(bytes.size());
    seen = pos;
  }
  // The windows read ahead before the cut may still hold bytes past it; none past them.
  EXPECT_LE(seen, 3 * 8192 + 8192 + 4096);
  EXPECT_GE(seen, 30000);
}

}  // namespace
}  // namespace qc
