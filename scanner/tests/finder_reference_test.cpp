// The finder against a plain model of its search rules: one byte at a time, positions as
// counters, exactly the steps of a Find and each Find next. The finder scans through large
// buffers; whatever it does, every search must show what the model shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "scanner/frm_finder.h"
#include "scanner/tests/fake_screen.h"
#include "scanner/tests/recording_log.h"
#include "util/tests/scratch_folder.h"

namespace qc {
namespace {

// Windows-1252 letters with a capital of their own, each small letter above its capital.
constexpr std::string_view kSmall =
    "abcdefghijklmnopqrstuvwxyz"
    "\x9a\x9c\x9e\xff"
    "\xe0\xe1\xe2\xe3\xe4\xe5\xe6\xe7\xe8\xe9\xea\xeb\xec\xed\xee\xef"
    "\xf0\xf1\xf2\xf3\xf4\xf5\xf6\xf8\xf9\xfa\xfb\xfc\xfd\xfe";
constexpr std::string_view kCapital =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
    "\x8a\x8c\x8e\x9f"
    "\xc0\xc1\xc2\xc3\xc4\xc5\xc6\xc7\xc8\xc9\xca\xcb\xcc\xcd\xce\xcf"
    "\xd0\xd1\xd2\xd3\xd4\xd5\xd6\xd8\xd9\xda\xdb\xdc\xdd\xde";
static_assert(kSmall.size() == kCapital.size());

std::uint8_t Upper(std::uint8_t byte) {
  const auto at = kSmall.find(static_cast<char>(byte));
  return at == std::string_view::npos ? byte : static_cast<std::uint8_t>(kCapital[at]);
}

// What one Find or Find next leaves on the screen and in the log.
struct Search {
  bool found = false;
  std::int64_t offset = -1;
  std::string label;     // LblHappening
  double progress = -1;  // ProgressBar2
  std::vector<std::string> log;
  bool operator==(const Search&) const = default;
};

void PrintTo(const Search& s, std::ostream* out) {
  *out << (s.found ? "find at " + std::to_string(s.offset) : std::string("end"));
  if (s.found) *out << ", label \"" << s.label << "\", progress " << s.progress;
  *out << ", log:";
  for (const auto& line : s.log) *out << " [" << ::testing::PrintToString(line) << "]";
}

std::int64_t RoundHalfToEven(std::int64_t numerator, std::int64_t denominator) {
  const std::int64_t q = numerator / denominator;
  const std::int64_t twiceRest = 2 * (numerator % denominator);
  if (twiceRest > denominator || (twiceRest == denominator && q % 2 == 1)) return q + 1;
  return q;
}

// The search rules as plain steps over the file's bytes. Positions are 1-based when reading
// and 0-based in the offsets, as in the finder.
class ReferenceFinder {
 public:
  ReferenceFinder(std::string_view file, std::string text2, bool check1)
      : file_(file), Text2(std::move(text2)), Check1(check1) {}

  std::vector<Search> run() {
    std::vector<Search> searches;
    CurPos = 0;  // Find
    searches.push_back(SearchString());
    while (FoundPos >= 0) {  // Find next, until a search finds nothing
      CurPos = FoundPos + SearchLen;
      searches.push_back(SearchString());
    }
    return searches;
  }

  std::string offsets;
  int FoundCount = 0;

 private:
  std::uint8_t Read(std::int64_t position) const {
    return static_cast<std::uint8_t>(file_[static_cast<std::size_t>(position - 1)]);
  }

  Search SearchString() {
    log_ = {"FILE SIZE : " + std::to_string(FileSize) + " bytes\r\n"};
    GetString();
    ScanString();
    return StrFound ? ShowString() : EndOfSearch();
  }

  void GetString() {
    SearchStr = Text2;
    SearchLen = static_cast<std::int64_t>(SearchStr.size());
    if (SearchLen > 2 && SearchStr.front() == '"' && SearchStr.back() == '"') {
      SearchStr = SearchStr.substr(1, SearchStr.size() - 2);
      SearchLen -= 2;
    }
    if (!Check1) {
      for (auto& c : SearchStr) c = static_cast<char>(Upper(static_cast<std::uint8_t>(c)));
    }
  }

  void ScanString() {
    for (;;) {
      if (!(FileSize - SearchLen > CurPos)) {
        FoundPos = -1;
        StrFound = false;
        return;
      }
      StrFound = true;
      for (std::int64_t j = 1; j <= SearchLen; ++j) {
        ++CurPos;
        std::uint8_t ByteBuf = Read(CurPos);
        if (!Check1) ByteBuf = Upper(ByteBuf);
        if (ByteBuf != static_cast<std::uint8_t>(SearchStr[static_cast<std::size_t>(j - 1)])) {
          StrFound = false;
          break;
        }
      }
      if (StrFound) {
        CurPos -= SearchLen;
        FoundPos = CurPos;
        return;
      }
    }
  }

  Search ShowString() {
    Search s;
    s.found = true;
    s.offset = CurPos;
    log_.push_back("Byte :" + std::to_string(CurPos) + "\r\n");
    offsets += std::to_string(CurPos) + "|";
    s.progress = static_cast<double>(RoundHalfToEven(FoundPos * 100, FileSize));
    ++FoundCount;
    s.label = "Searching for messages... Messages Found : " + std::to_string(FoundCount);
    std::string shown;
    for (std::int64_t j = 1; j <= SearchLen; ++j) shown += static_cast<char>(Read(++CurPos));
    ++CurPos;
    const std::int64_t R = FileSize - CurPos;
    std::int64_t n = 0;
    if (R > 512 - SearchLen) {
      n = 512 - SearchLen;
    } else if (R <= SearchLen) {
      n = 0;
    } else {
      n = R - SearchLen;
    }
    for (std::int64_t k = 0; k < n; ++k) shown += static_cast<char>(Read(CurPos + k));
    log_.push_back(shown);  // written without a line break: the log's open last line
    s.log = log_;
    return s;
  }

  Search EndOfSearch() {
    log_.push_back("");
    log_.push_back("[EOF]");
    Search s;
    s.log = log_;
    return s;
  }

  std::string_view file_;
  std::string Text2;
  bool Check1;
  std::int64_t FileSize = static_cast<std::int64_t>(file_.size());
  std::int64_t CurPos = 0;
  std::int64_t FoundPos = -1;
  std::string SearchStr;
  std::int64_t SearchLen = 0;
  bool StrFound = false;
  std::vector<std::string> log_;
};

// The finder driven as the conversion drives it, recording what each search left behind.
class FinderHarness {
 public:
  std::vector<Search> run(const std::string& path, const std::string& text2, bool check1) {
    shared = {};
    finder.Text2 = text2;
    finder.Check1 = check1;
    finder.Open_MBOX(path);
    std::vector<Search> searches;
    const auto record = [&] {
      Search s;
      s.log = log.lines;
      if (shared.MessageOffsets.size() > found_) {
        found_ = shared.MessageOffsets.size();
        s.found = true;
        s.offset = shared.MessageOffsets[found_ - 1];
        s.label = screen.labels[Label::LblHappening];
        s.progress = screen.progress[Bar::ProgressBar2];
      }
      searches.push_back(std::move(s));
    };
    found_ = 0;
    finder.Find_Click();
    record();
    // Every search ends in a find or in the end; more searches than bytes is a loop.
    const auto bound = static_cast<std::size_t>(finder.FileSize) + 2;
    while (shared.SearchFinished == 0 && searches.size() <= bound) {
      finder.FindNext_Click();
      record();
    }
    finder.CloseFile();
    return searches;
  }

  test::FakeScreen screen;
  test::RecordingLog log;
  SearchShared shared;
  FrmFinder finder{screen, shared, log};

 private:
  std::size_t found_ = 0;
};

// ---- Random mailboxes -------------------------------------------------------------------

class Random {
 public:
  explicit Random(std::uint64_t seed) : engine_(seed) {}
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(engine_() % n); }
  bool chance(std::size_t inN) { return below(inN) == 0; }
  char byte() { return static_cast<char>(below(256)); }

 private:
  std::mt19937_64 engine_;
};

const std::string kLongText = "From ???@???" + std::string(520, '-') + "!";

// Search texts as Text2 holds them, with the text the finder then looks for (quotes dropped).
struct SearchText {
  std::string text2;
  std::string needle;
};
const std::vector<SearchText> kSearchTexts = {
    {"From ???@???", "From ???@???"},
    {"From ???@???", "From ???@???"},
    {"\"From ???@???\"", "From ???@???"},
    {"Fr", "Fr"},
    {"F", "F"},
    {"aa", "aa"},  // overlaps itself: "aaa" holds one find, not two
    {"\"\"", "\"\""},
    {"\"\"\"", "\""},
    {" From", " From"},
    {"\xe9t\xe9", "\xe9t\xe9"},
    {"\xff", "\xff"},
    {kLongText, kLongText},  // longer than the 512 characters the log shows per find
};

const std::vector<std::string> kFragments = {
    "From ???@???", "FROM ???@???", "from ???@???", "F", "f",  "Fr",        "From ", "From ???",
    "From ???@",    "\r\n",         "\n",           "a", "\"", "\xc9T\xc9", "\x9f",  "\xb5",
};

std::string NeedleVariant(Random& random, const std::string& needle) {
  std::string variant = needle;
  switch (random.below(4)) {
    case 0:
      break;
    case 1:
      for (auto& c : variant) c = static_cast<char>(Upper(static_cast<std::uint8_t>(c)));
      break;
    case 2:
      for (auto& c : variant) {
        const auto at = kCapital.find(c);
        if (at != std::string_view::npos) c = kSmall[at];
      }
      break;
    default:
      variant.resize(random.below(variant.size()) + 1);
      break;  // a partial match
  }
  return variant;
}

// A mailbox of about `size` bytes: separators in every spelling, their beginnings, line breaks,
// random bytes (also 0x80-0xFF) and long runs without a candidate byte; often a separator
// right at the end.
std::string MakeMailbox(Random& random, std::size_t size, const std::string& needle) {
  std::string bytes;
  while (bytes.size() < size) {
    const std::size_t kind = random.below(10);
    if (kind < 4) {
      bytes += kFragments[random.below(kFragments.size())];
    } else if (kind < 6) {
      bytes += NeedleVariant(random, needle);
    } else if (kind < 9) {
      for (std::size_t n = random.below(40) + 1; n > 0; --n) bytes += random.byte();
    } else {
      const std::size_t run = random.below(std::min<std::size_t>(size / 8, 16384) + 1) + 1;
      bytes.append(run, random.chance(2) ? 'x' : '\0');
    }
  }
  bytes.resize(size);
  if (random.chance(3) && needle.size() + 4 <= size) {
    const std::size_t after = random.below(4);
    bytes.replace(size - needle.size() - after, needle.size(), needle);
  }
  return bytes;
}

void ExpectSameAsReference(FinderHarness& harness, const test::ScratchFolder& folder,
                           const std::string& bytes, const SearchText& text, bool check1,
                           const std::string& what) {
  SCOPED_TRACE(what + ", " + std::to_string(bytes.size()) + " bytes, Text2 " +
               ::testing::PrintToString(text.text2.substr(0, 20)) +
               (check1 ? ", case-sensitive" : ", any case"));
  const std::string path = folder.write("In.mbx", bytes);
  ReferenceFinder model(bytes, text.text2, check1);
  const std::vector<Search> expected = model.run();
  const std::vector<Search> actual = harness.run(path, text.text2, check1);

  EXPECT_EQ(harness.shared.MessageOffsets.text(), model.offsets);
  EXPECT_EQ(harness.finder.FoundCount, model.FoundCount);
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(actual[i], expected[i]) << "search " << i;
  }
}

void CompareOnRandomMailboxes(std::uint64_t seed, int count, std::size_t minSize,
                              std::size_t maxSize, bool plantAtWindowEdges) {
  test::ScratchFolder folder;
  FinderHarness harness;  // one finder for all, as the conversion keeps one
  Random random(seed);
  for (int i = 0; i < count; ++i) {
    const SearchText& text = kSearchTexts[random.below(kSearchTexts.size())];
    const bool check1 = random.chance(2);
    const std::size_t size = minSize + random.below(maxSize - minSize + 1);
    std::string bytes = MakeMailbox(random, size, text.needle);
    if (plantAtWindowEdges) {
      // Separators across every 1 MiB step, where the finder's read window tends to end.
      for (std::size_t edge = ByteWindow::kDefaultCapacity; edge + 64 < size;
           edge += ByteWindow::kDefaultCapacity) {
        const std::size_t at = edge - random.below(text.needle.size() + 2);
        bytes.replace(at, text.needle.size(), text.needle);
      }
    }
    ExpectSameAsReference(harness, folder, bytes, text, check1,
                          "seed " + std::to_string(seed) + " mailbox " + std::to_string(i));
    if (::testing::Test::HasFatalFailure()) return;
  }
  EXPECT_TRUE(harness.screen.messages.empty()) << harness.screen.messages.front().text;
}

TEST(FinderAgainstReference, SmallMailboxes) {
  CompareOnRandomMailboxes(20240601, 600, 2, 1500, false);
}

TEST(FinderAgainstReference, MailboxesAroundTheReadWindow) {
  CompareOnRandomMailboxes(7, 12, ByteWindow::kDefaultCapacity - 4096,
                           ByteWindow::kDefaultCapacity + 4096, true);
}

TEST(FinderAgainstReference, MailboxesOfSeveralMebibytes) {
  CompareOnRandomMailboxes(99, 4, 2 * ByteWindow::kDefaultCapacity,
                           5 * ByteWindow::kDefaultCapacity, true);
}

}  // namespace
}  // namespace qc
