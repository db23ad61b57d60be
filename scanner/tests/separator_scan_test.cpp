// The fast scan looks for whole occurrences first and replays the exact attempts only around
// them. Self-overlapping texts, dense partial matches and tiny read windows are where that
// shortcut could go wrong, so it is checked here against the attempts run one byte at a time.
#include "scanner/separator_scan.h"

#include <gtest/gtest.h>

#include <random>

#include "scanner/cp1252.h"
#include "scanner/tests/attempt_model.h"
#include "util/tests/scratch_folder.h"

namespace qc {
namespace {

TEST(ScanForPattern, AgreesWithTheAttemptsRunByteByByte) {
  test::ScratchFolder folder;
  std::mt19937 rng(7);
  const std::vector<std::string> texts = {"FRFROM", "From ???@???", "FF", "FRF", "ABAB?", "?@?"};
  const std::vector<std::string> alphabets = {"FROM ?@", "FRO", "FR?@ M xo", "AB?@F"};
  int checked = 0;
  for (int round = 0; round < 3000; ++round) {
    const std::string& text = texts[round % texts.size()];
    const std::string& alphabet = alphabets[(round / 7) % alphabets.size()];
    std::string bytes;
    const std::size_t size = rng() % (round % 50 == 0 ? 6000 : 300);
    for (std::size_t i = 0; i < size; ++i) bytes += alphabet[rng() % alphabet.size()];
    for (int plant = rng() % 4; plant > 0; --plant) {
      bytes.insert(bytes.empty() ? 0 : rng() % bytes.size(), text);
    }
    const std::string path = folder.write("box", bytes);
    MailboxFile file(path);
    // Many window edges, read on demand or ahead.
    ByteWindow window(file, 16 + rng() % 100,
                      round % 2 ? ByteWindow::Reading::Ahead : ByteWindow::Reading::OnDemand);
    const ScanPattern pattern(text, true);
    std::vector<std::int64_t> finds;
    std::int64_t pos = 0;
    for (;;) {
      const ScanResult r = ScanForPattern(window, pattern, pos, file.size(), [] {});
      if (!r.found) break;
      finds.push_back(r.curPos);
      pos = r.curPos + static_cast<std::int64_t>(text.size());
    }
    ASSERT_EQ(finds, test::AttemptsByteByByte(bytes, text, [](unsigned char c) { return c; }))
        << "round " << round << ": " << bytes;
    checked += static_cast<int>(finds.size());
  }
  EXPECT_GT(checked, 3000);  // the inputs really hold finds
}

TEST(ScanForPattern, FoldsWindows1252LettersWhenNotCaseSensitive) {
  test::ScratchFolder folder;
  const std::string path = folder.write("box", "xx\x9a\x9a\xe9-\x8a\x8a\xc9-");  // šš é, ŠŠ É
  MailboxFile file(path);
  ByteWindow window(file);
  const ScanPattern folded(UpperCp1252("\x9a\x9a\xe9"), false);
  const ScanResult first = ScanForPattern(window, folded, 0, file.size(), [] {});
  ASSERT_TRUE(first.found);
  EXPECT_EQ(first.curPos, 2);
  const ScanResult second = ScanForPattern(window, folded, 5, file.size(), [] {});
  ASSERT_TRUE(second.found);
  EXPECT_EQ(second.curPos, 6);
  const ScanPattern exact("\x9a\x9a\xe9", true);
  EXPECT_FALSE(ScanForPattern(window, exact, 5, file.size(), [] {}).found);
}

}  // namespace
}  // namespace qc
