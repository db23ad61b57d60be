// Compressed RTF: the worked examples of MS-OXRTFCP both ways, golden bytes for a small input,
// round trips across the dictionary's wrap, and a decoder that refuses damaged input.
#include "mapi/rtf/compressed_rtf.h"

#include <gtest/gtest.h>

#include <random>

#include "mapi/little_endian.h"
#include "mapi/rtf/dictionary.h"
#include "util/error.h"

namespace qc::mapi::rtf {
namespace {

Bytes FromHex(std::string_view hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

std::string RoundTrip(std::string_view rtf) {
  return DecompressRtf(CompressRtf(rtf));
}

// Something like the RTF our encapsulation writes, varied enough not to be one repeated line.
std::string RtfLike(std::size_t size, unsigned seed) {
  static const char* const kPieces[] = {
      "{\\*\\htmltag84 <span style='font-size:10.0pt'>}",
      "\\htmlrtf {\\b \\htmlrtf0 ",
      "Hello there, ",
      "\\par\r\n",
      "{\\*\\htmltag72 </p>}",
      "\\'e9t\\'e9 ",
      "\\u20013?",
      "numbers 1234567890 ",
      "\\htmlrtf }\\htmlrtf0 ",
      "the quick brown fox ",
  };
  std::mt19937 random(seed);
  std::string out;
  while (out.size() < size) {
    out += kPieces[random() % std::size(kPieces)];
    if (random() % 7 == 0) out += std::to_string(random());
  }
  out.resize(size);
  return out;
}

// MS-OXRTFCP's two worked examples: simple compressed RTF, and a run that copies from the
// dictionary while writing to it.
struct DocumentedExample {
  const char* name;
  std::string_view hex;
  std::string_view raw;
};
const DocumentedExample kExamples[] = {
    {"simple",
     "2d0000002b0000004c5a4675f1c5c7a703000a007263706731323542320af32068656c090020627705b06c647d0a"
     "800fa0",
     "{\\rtf1\\ansi\\ansicpg1252\\pard hello world}\r\n"},
    {"run", "1a0000001c0000004c5a4675e2d44b51410004205758595a0d6e7d010eb0",
     "{\\rtf1 WXYZWXYZWXYZWXYZWXYZ}"},
};

TEST(CompressedRtfDocumentedExamples, ExamplesDecompress) {
  for (const auto& example : kExamples) {
    EXPECT_EQ(DecompressRtf(FromHex(example.hex)), example.raw) << example.name;
  }
}

// The examples show one valid stream; ours may choose other matches (another of equal length,
// or none where a two-byte one would hide a longer one), but must come back exactly and be no
// larger.
TEST(CompressedRtfDocumentedExamples, ExamplesCompressNoLargerAndComeBack) {
  for (const auto& example : kExamples) {
    const Bytes ours = CompressRtf(example.raw);
    EXPECT_EQ(DecompressRtf(ours), example.raw) << example.name;
    EXPECT_LE(ours.size(), FromHex(example.hex).size()) << example.name;
  }
}

TEST(CompressedRtfDocumentedExamples, CrcOfTheExamplesContent) {
  for (const auto& example : kExamples) {
    const Bytes bytes = FromHex(example.hex);
    EXPECT_EQ(RtfCrc(std::span(bytes).subspan(kHeaderSize)), Get32(bytes.data() + 12))
        << example.name;
  }
  EXPECT_EQ(RtfCrc({}), 0u);
  // Not zlib's CRC-32 (which gives 0xCBF43926 here): no initial or final inversion.
  const std::string_view check = "123456789";
  EXPECT_NE(RtfCrc(std::span(reinterpret_cast<const std::uint8_t*>(check.data()), check.size())),
            0xCBF43926u);
}

TEST(CompressedRtfGolden, SmallInputFieldByField) {
  const Bytes out = CompressRtf("xyxyxyx");
  const Bytes expected = {
      0x13, 0x00, 0x00, 0x00,  // COMPSIZE: 7 bytes of content + 12
      0x07, 0x00, 0x00, 0x00,  // RAWSIZE: 7
      0x4C, 0x5A, 0x46, 0x75,  // COMPTYPE "LZFu"
      0,    0,    0,    0,     // CRC, checked below
      0x0C,                    // control: tokens 0 and 1 literals, 2 and 3 references
      'x',  'y',               // literals: no "xy" in the initial dictionary
      0x0C, 0xF3,              // offset 207 (where 'x' went), length 3 + 2: copies its own output
      0x0D, 0x60,              // offset 214 = the write position: the end
  };
  ASSERT_EQ(out.size(), expected.size());
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 12, expected.begin()));
  EXPECT_TRUE(std::equal(out.begin() + 16, out.end(), expected.begin() + 16));
  EXPECT_EQ(Get32(out.data() + 12), RtfCrc(std::span(out).subspan(16)));
}

TEST(CompressedRtfGolden, EmptyInputIsOnlyTheEndMarker) {
  const Bytes out = CompressRtf("");
  // Control byte 0x01, then a reference to offset 207, the write position.
  EXPECT_EQ(out, FromHex("0f000000000000004c5a467527d7ca10010cf0"));
  EXPECT_EQ(DecompressRtf(out), "");
}

TEST(CompressedRtfRoundTrip, SizesAroundTheDictionaryAndControlRuns) {
  for (const std::size_t size :
       {1, 2, 3, 8, 9, 16, 17, 18, 4095, 4096, 4097, 4300, 8192, 12289, 100000}) {
    const std::string rtf = RtfLike(size, static_cast<unsigned>(size));
    EXPECT_EQ(RoundTrip(rtf), rtf) << size;
  }
}

TEST(CompressedRtfRoundTrip, LongRunsAndIncompressibleBytes) {
  const std::string run(1 << 20, 'a');
  const Bytes packed = CompressRtf(run);
  EXPECT_EQ(DecompressRtf(packed), run);
  // 17 bytes a reference: 2 bytes and one bit each.
  EXPECT_LT(packed.size(), run.size() / 7);

  std::mt19937 random(7);
  std::string noise(50000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  const Bytes noisy = CompressRtf(noise);
  EXPECT_EQ(DecompressRtf(noisy), noise);
  EXPECT_LE(noisy.size(), kHeaderSize + noise.size() * 9 / 8 + 3);

  std::string every(256 * 20, '\0');
  for (std::size_t i = 0; i < every.size(); ++i) every[i] = static_cast<char>(i * 37 % 251);
  EXPECT_EQ(RoundTrip(every), every);
}

// A repeat exactly 4096 bytes back lies where the reader has already overwritten it (and an
// offset equal to the write position is the end marker): only 4095 back may be used.
TEST(CompressedRtfRoundTrip, RepeatsAtTheEdgeOfTheWindow) {
  std::mt19937 random(11);
  for (const std::size_t distance : {4094, 4095, 4096, 4097}) {
    std::string rtf(distance + 40, '\0');
    for (char& c : rtf) c = static_cast<char>('a' + random() % 26);
    for (std::size_t i = 0; i < 40; ++i) rtf[distance + i] = rtf[i];
    EXPECT_EQ(RoundTrip(rtf), rtf) << distance;
  }
  // The initial dictionary itself is matched while it is still in the window, and not after.
  std::string late(5000, '.');
  late.replace(10, 20, "\\pard\\plain\\f0\\fs20");
  late.replace(4900, 20, "\\pard\\plain\\f0\\fs20");
  EXPECT_EQ(RoundTrip(late), late);
}

TEST(CompressedRtfRoundTrip, CompressesRealisticRtf) {
  const std::string rtf = RtfLike(200000, 3);
  const Bytes packed = CompressRtf(rtf);
  EXPECT_EQ(DecompressRtf(packed), rtf);
  EXPECT_LT(packed.size(), rtf.size() / 3);
}

TEST(CompressedRtfUncompressedForm, RoundTripAndHeader) {
  const Bytes wrapped = WrapUncompressedRtf("{\\rtf1 x}");
  EXPECT_EQ(Get32(wrapped.data()), 9u + 12);
  EXPECT_EQ(Get32(wrapped.data() + 4), 9u);
  EXPECT_EQ(Get32(wrapped.data() + 8), kUncompressedMagic);
  EXPECT_EQ(Get32(wrapped.data() + 12), 0u);
  EXPECT_EQ(DecompressRtf(wrapped), "{\\rtf1 x}");
}

void ExpectRefused(const Bytes& bytes, const std::string& what) {
  EXPECT_THROW(DecompressRtf(bytes), qc::Error) << what;
}

// Rewrites the header so that only the damage we meant is left.
Bytes Resealed(Bytes bytes, std::optional<std::uint32_t> rawSize = std::nullopt) {
  Put32(bytes.data(), static_cast<std::uint32_t>(bytes.size() - 4));
  if (rawSize) Put32(bytes.data() + 4, *rawSize);
  Put32(bytes.data() + 12, RtfCrc(std::span(bytes).subspan(kHeaderSize)));
  return bytes;
}

TEST(CompressedRtfDamage, EveryKindIsAnError) {
  const Bytes good = FromHex(kExamples[0].hex);
  ExpectRefused(Bytes(good.begin(), good.begin() + 15), "short header");
  Bytes longer = good;
  Put32(longer.data(), Get32(good.data()) + 1);
  ExpectRefused(longer, "COMPSIZE past the end");
  Bytes tiny = good;
  Put32(tiny.data(), 11);
  ExpectRefused(tiny, "COMPSIZE smaller than the rest of the header");
  Bytes magic = good;
  magic[8] = 'X';
  ExpectRefused(magic, "unknown COMPTYPE");
  Bytes flipped = good;
  flipped[20] ^= 1;
  ExpectRefused(flipped, "CRC");
  ExpectRefused(Resealed(Bytes(good.begin(), good.end() - 2)), "end marker missing");
  ExpectRefused(Resealed(Bytes(good.begin(), good.end() - 1)), "reference cut in half");
  ExpectRefused(Resealed(good, 42), "RAWSIZE too small");
  ExpectRefused(Resealed(good, 44), "RAWSIZE too large");
  Bytes mela = WrapUncompressedRtf("abc");
  Put32(mela.data() + 4, 4);
  ExpectRefused(mela, "MELA RAWSIZE past the content");
}

TEST(CompressedRtfDamage, EveryTruncationIsRefusedNotMisread) {
  const Bytes good = CompressRtf(RtfLike(3000, 5));
  for (std::size_t cut = 0; cut < good.size(); ++cut) {
    ExpectRefused(Bytes(good.begin(), good.begin() + cut), "cut at " + std::to_string(cut));
    if (cut > kHeaderSize) {
      ExpectRefused(Resealed(Bytes(good.begin(), good.begin() + cut)),
                    "resealed cut at " + std::to_string(cut));
    }
  }
}

// A header claiming 4 GiB of output must neither be believed nor allocated.
TEST(CompressedRtfDamage, HugeRawSizeIsRefusedCheaply) {
  ExpectRefused(Resealed(FromHex(kExamples[0].hex), 0xFFFFFFF0u), "RAWSIZE 4 GiB");
}

}  // namespace
}  // namespace qc::mapi::rtf
