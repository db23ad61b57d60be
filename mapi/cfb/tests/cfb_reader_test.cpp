#include "mapi/check/cfb/cfb_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include "mapi/cfb/compound_file.h"
#include "mapi/cfb/tests/cfb_test_support.h"

namespace qc::mapi::cfb {
namespace {

std::uint32_t Get32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A sound file to damage. Root children: AA, BB (mini streams with names of equal length),
// big1, big2 (ten sectors each), seven (a storage with s0..s6, a complete tree of black
// entries: s3 on top, s1 and s5 below it, then s0, s2, s4, s6).
Bytes GoodFile() {
  CompoundFile file;
  file.root().setClsid(Guid::Parse("00020D0B-0000-0000-C000-000000000046"));
  file.root().addStream("AA", Bytes(100, 'a'));
  file.root().addStream("BB", Bytes(100, 'b'));
  file.root().addStream("big1", Bytes(5000, '1'));
  file.root().addStream("big2", Bytes(5000, '2'));
  Storage& seven = file.root().addStorage("seven");
  for (int i = 0; i < 7; ++i) seven.addStream("s" + std::to_string(i), Bytes(10, 's'));
  MemorySink sink;
  file.write(sink);
  return sink.bytes;
}

std::size_t FatEntry(const Bytes& file, std::uint32_t sector) {
  return 512 + 512 * std::size_t{Get32(file, 76)} + 4 * sector;
}

// The offset of the directory entry named `name` (ASCII), following the directory chain.
std::size_t EntryAt(const Bytes& file, const std::string& name) {
  for (std::uint32_t s = Get32(file, 48); s < 0xFFFFFFFA; s = Get32(file, FatEntry(file, s))) {
    for (std::size_t at = 512 + 512 * std::size_t{s}; at < 1024 + 512 * std::size_t{s}; at += 128) {
      bool same = file[at + 64] == 2 * name.size() + 2;
      for (std::size_t i = 0; same && i < name.size(); ++i) same = file[at + 2 * i] == name[i];
      if (same) return at;
    }
  }
  throw std::runtime_error("no entry " + name);
}

std::uint32_t StartOf(const Bytes& file, const std::string& name) {
  return Get32(file, EntryAt(file, name) + 116);
}

::testing::AssertionResult HasDefect(const Bytes& file, const std::string& fragment) {
  const ReadResult read = ReadCompoundFile(file);
  for (const std::string& defect : read.defects) {
    if (defect.find(fragment) != std::string::npos) return ::testing::AssertionSuccess();
  }
  auto failure = ::testing::AssertionFailure() << "no defect with \"" << fragment << "\" among:";
  for (const std::string& defect : read.defects) failure << "\n  " << defect;
  return failure;
}

TEST(CfbReader, GoodFileHasNoDefects) {
  const ReadResult read = ReadCompoundFile(GoodFile());
  EXPECT_EQ(read.defects, std::vector<std::string>{});
  std::vector<std::string> paths;
  for (const Entry& entry : read.entries) paths.push_back(entry.path);
  EXPECT_EQ(paths, (std::vector<std::string>{"/", "/AA", "/BB", "/big1", "/big2", "/seven",
                                             "/seven/s0", "/seven/s1", "/seven/s2", "/seven/s3",
                                             "/seven/s4", "/seven/s5", "/seven/s6"}));
  EXPECT_EQ(read.streams.at("/big2"), Bytes(5000, '2'));
}

struct Damage {
  const char* what;
  std::function<void(Bytes&)> apply;
  const char* defect;
};

TEST(CfbReader, EachDamageIsReported) {
  const auto setColour = [](Bytes& f, const char* name, std::uint8_t colour) {
    f[EntryAt(f, name) + 67] = colour;
  };
  const std::vector<Damage> cases = {
      {"signature", [](Bytes& f) { f[0] = 0; }, "bad signature"},
      {"header CLSID", [](Bytes& f) { f[8] = 1; }, "header CLSID"},
      {"minor version", [](Bytes& f) { f[24] = 0x3F; }, "minor version"},
      {"major version", [](Bytes& f) { f[26] = 4; }, "version 3"},
      {"byte order", [](Bytes& f) { f[28] = 0xFF, f[29] = 0xFE; }, "byte order"},
      {"mini sector shift", [](Bytes& f) { f[32] = 7; }, "mini sector shift"},
      {"reserved", [](Bytes& f) { f[36] = 1; }, "reserved"},
      {"directory sector count", [](Bytes& f) { f[40] = 1; }, "number of directory sectors"},
      {"cutoff", [](Bytes& f) { Put32(f, 56, 8192); }, "cutoff"},
      {"unused header DIFAT entry", [](Bytes& f) { Put32(f, 80, 3); }, "DIFAT entry 1"},
      {"FAT cycle",
       [](Bytes& f) { Put32(f, FatEntry(f, StartOf(f, "big1") + 3), StartOf(f, "big1") + 1); },
       "loops"},
      {"sector used twice",
       [](Bytes& f) { Put32(f, FatEntry(f, StartOf(f, "big1") + 9), StartOf(f, "big2")); },
       "used twice"},
      {"lost sector", [](Bytes& f) { Put32(f, FatEntry(f, StartOf(f, "big1") + 8), 0xFFFFFFFE); },
       "lost sector"},
      {"chain into a free sector",
       [](Bytes& f) { Put32(f, FatEntry(f, StartOf(f, "big1") + 9), 0xFFFFFFFF); },
       "runs into a free sector"},
      {"FAT sector not FATSECT", [](Bytes& f) { Put32(f, FatEntry(f, Get32(f, 76)), 0xFFFFFFFE); },
       "not marked FATSECT"},
      {"mini FAT cycle", [](Bytes& f) { Put32(f, 512 + 512 * std::size_t{Get32(f, 60)} + 4, 0); },
       "loops"},
      {"red root", [&](Bytes& f) { setColour(f, "s3", 0); }, "red root"},
      {"red-red", [&](Bytes& f) { setColour(f, "s1", 0), setColour(f, "s0", 0); }, "red-red"},
      {"black count", [&](Bytes& f) { setColour(f, "s0", 0); }, "black"},
      {"sibling order",
       [](Bytes& f) {
         const std::size_t a = EntryAt(f, "AA"), b = EntryAt(f, "BB");
         f[a] = f[a + 2] = 'B', f[b] = f[b + 2] = 'A';
       },
       "out of sibling order"},
      {"same name",
       [](Bytes& f) {
         const std::size_t b = EntryAt(f, "BB");
         f[b] = f[b + 2] = 'a';
       },
       "same name"},
      {"small stream size", [](Bytes& f) { Put32(f, EntryAt(f, "AA") + 120, 200); }, "wrong size"},
      {"large stream size", [](Bytes& f) { Put32(f, EntryAt(f, "big1") + 120, 6000); },
       "wrong size"},
      {"mini stream size", [](Bytes& f) { Put32(f, EntryAt(f, "Root Entry") + 120, 2000); },
       "wrong size"},
      {"size over 2 GiB", [](Bytes& f) { f[EntryAt(f, "big1") + 124] = 1; }, "2 GiB"},
      {"name length", [](Bytes& f) { f[EntryAt(f, "AA") + 64] = 4; }, "name length"},
      {"forbidden name", [](Bytes& f) { f[EntryAt(f, "AA")] = '/'; }, "contains"},
      {"object type", [](Bytes& f) { f[EntryAt(f, "AA") + 66] = 3; }, "object type"},
      {"storage with a size", [](Bytes& f) { Put32(f, EntryAt(f, "seven") + 120, 1); },
       "start sector or size"},
      {"unused entry", [](Bytes& f) { f[EntryAt(f, "s6") + 128] = 'x'; }, "not zeroed"},
      {"entry reached twice",
       [](Bytes& f) {
         Put32(f, EntryAt(f, "seven") + 76, Get32(f, EntryAt(f, "Root Entry") + 76));
       },
       "reached twice"},
      {"entry in no tree", [](Bytes& f) { Put32(f, EntryAt(f, "seven") + 76, 0xFFFFFFFF); },
       "in no storage's tree"},
      {"extra sector", [](Bytes& f) { f.resize(f.size() + 512); }, "file size"},
      {"partial sector", [](Bytes& f) { f.resize(f.size() + 100); }, "multiple of 512"},
      {"truncated", [](Bytes& f) { f.resize(f.size() - 1024); }, "past the end of the file"},
      {"too short", [](Bytes& f) { f.resize(300); }, "shorter than the 512-byte header"},
  };
  for (const Damage& damage : cases) {
    Bytes file = GoodFile();
    damage.apply(file);
    EXPECT_TRUE(HasDefect(file, damage.defect)) << "damage: " << damage.what;
  }
}

// Past 109 FAT sectors the FAT sector list continues in DIFAT sectors, which must be listed and
// marked in the FAT.
TEST(CfbReader, DifatDamage) {
  CompoundFile file;
  file.root().addStream("data", std::make_shared<test::PatternSource>(7'400'000, 1));
  MemorySink sink;
  file.write(sink);
  const Bytes good = sink.bytes;
  ASSERT_EQ(ReadCompoundFile(good).defects, std::vector<std::string>{});
  const std::uint32_t difat = Get32(good, 68);
  ASSERT_EQ(Get32(good, 72), 1u);

  Bytes uncounted = good;
  Put32(uncounted, 72, 0);
  EXPECT_TRUE(HasDefect(uncounted, "DIFAT lists"));
  Bytes unmarked = good;
  Put32(unmarked, FatEntry(unmarked, difat), 0xFFFFFFFF);
  EXPECT_TRUE(HasDefect(unmarked, "not marked DIFSECT"));
  Bytes unterminated = good;
  Put32(unterminated, 512 + 512 * std::size_t{difat} + 508, difat);
  EXPECT_TRUE(HasDefect(unterminated, "ENDOFCHAIN"));
}

// Damaged files are input like any other: random damage must give defects, never a crash or a
// read outside the file (run under AddressSanitizer).
TEST(CfbReader, RandomDamageNeverCrashes) {
  const Bytes good = GoodFile();
  std::mt19937 rng(99);
  std::size_t reported = 0;
  for (int round = 0; round < 3000; ++round) {
    Bytes file = good;
    const int flips = std::uniform_int_distribution<int>(1, 4)(rng);
    for (int i = 0; i < flips; ++i) {
      const auto at = std::uniform_int_distribution<std::size_t>(0, file.size() - 1)(rng);
      file[at] = static_cast<std::uint8_t>(rng());
    }
    if (round % 10 == 0)
      file.resize(std::uniform_int_distribution<std::size_t>(0, file.size())(rng));
    reported += ReadCompoundFile(file).defects.empty() ? 0 : 1;
  }
  EXPECT_GT(reported, 1000u);
}

}  // namespace
}  // namespace qc::mapi::cfb
