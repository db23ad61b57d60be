// The cutting of one message at any read size: spaces around a message are dropped wherever the
// reads happen to split them, and everything between is copied unchanged.
#include "convert/message_cutter.h"
#include "convert/form.h"

#include <gtest/gtest.h>

#include <random>

#include "convert/tests/test_files.h"

namespace qc {
namespace {

// What a message file holds: the slice without spaces (0x20) at either end, then CR LF.
std::string Expected(const std::string& slice) {
  const auto first = slice.find_first_not_of(' ');
  if (first == std::string::npos) return "\r\n";
  const auto last = slice.find_last_not_of(' ');
  return slice.substr(first, last - first + 1) + "\r\n";
}

TEST(MessageCutter, SpacesSplitAcrossReadsAreKeptOrDroppedAsAWhole) {
  test::TempDir dir;
  std::mt19937 rng(99);
  const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  for (int round = 0; round < 200; ++round) {
    // Runs of spaces of every length between short runs of text, so that reads of a few bytes
    // end inside, at the start and at the end of a run, and a message spans many reads.
    std::string box;
    std::vector<std::int64_t> offsets;
    const int messages = 1 + pick(4);
    for (int m = 0; m < messages; ++m) {
      box += std::string(static_cast<std::size_t>(pick(3)), ' ');
      offsets.push_back(static_cast<std::int64_t>(box.size()));
      box += "From ???@???";
      for (int part = pick(8); part > 0; --part) {
        box += pick(2) ? std::string(static_cast<std::size_t>(pick(12)), ' ')
                       : std::string(static_cast<std::size_t>(1 + pick(3)), "xy\n"[pick(3)]);
      }
    }
    const std::string path = dir / ("box" + std::to_string(round) + ".mbx");
    test::WriteFile(path, box);
    const std::size_t readSize = 1 + static_cast<std::size_t>(pick(9));
    const SearchedMailbox searched{std::make_shared<MailboxFile>(path),
                                   static_cast<std::int64_t>(box.size())};
    MessageCutter cutter(searched, offsets, readSize);
    const OutputFolder folder(dir.path().string());
    for (std::size_t j = 0; j < offsets.size(); ++j) {
      const auto start = static_cast<std::size_t>(offsets[j]);
      const std::size_t end =
          j + 1 < offsets.size() ? static_cast<std::size_t>(offsets[j + 1]) : box.size();
      const CutResult cut = cutter.write(j, folder, MessageFileName(Form::EML, j), nullptr);
      ASSERT_EQ(test::ReadFile(folder.pathOf(cut.name)), Expected(box.substr(start, end - start)))
          << "round " << round << ", message " << j << ", reads of " << readSize << " bytes";
      EXPECT_EQ(cut.bytes, Expected(box.substr(start, end - start)).size());
    }
  }
}

}  // namespace
}  // namespace qc
