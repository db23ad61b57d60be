// The import decodes base64 itself; what it makes of any content, in pieces of any size, must be
// what GMime's decoder makes of it.
#include <gtest/gtest.h>

#include <gmime/gmime.h>

#include <random>
#include <string>
#include <vector>

#include "mapi/import/base64_decoder.h"

namespace qc::mapi::testing {
namespace {

using Pieces = std::vector<std::size_t>;

std::vector<std::uint8_t> ByGMime(const std::string& content, const Pieces& pieces) {
  std::vector<std::uint8_t> out;
  int state = 0;
  guint32 save = 0;
  std::size_t at = 0;
  for (const std::size_t size : pieces) {
    const std::size_t used = out.size();
    out.resize(used + size + 3);
    out.resize(used + g_mime_encoding_base64_decode_step(
                          reinterpret_cast<const unsigned char*>(content.data() + at), size,
                          out.data() + used, &state, &save));
    at += size;
  }
  return out;
}

std::vector<std::uint8_t> ByDecoder(const std::string& content, const Pieces& pieces) {
  std::vector<std::uint8_t> out;
  import::Base64Decoder decoder;
  std::size_t at = 0;
  for (const std::size_t size : pieces) {
    const std::size_t used = out.size();
    out.resize(used + size + 3);
    out.resize(used + decoder.step(content.data() + at, size, out.data() + used));
    at += size;
  }
  return out;
}

TEST(Base64Decoder, DecodesAsGMimeDecodes) {
  static const std::string kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  // Mostly the alphabet in lines, as mail has it, with what else turns up in real content.
  static const std::vector<std::string> kOthers = {
      "\r\n", "\n", " ", "\t", "=", "==", "-", "\x80", "\xff", "*", std::string(1, '\0'), "_"};
  std::mt19937 random(20261208);
  for (int round = 0; round < 20000; ++round) {
    std::string content;
    const std::size_t length = random() % 200;
    const int oddness = static_cast<int>(random() % 4);  // how often a character is not base64
    while (content.size() < length) {
      if (oddness != 0 && random() % (8 * oddness) == 0) {
        content += kOthers[random() % kOthers.size()];
      } else {
        content += kAlphabet[random() % kAlphabet.size()];
      }
    }
    Pieces pieces;
    for (std::size_t left = content.size(); left > 0;) {
      const std::size_t size =
          round % 3 == 0 ? left : 1 + random() % std::min<std::size_t>(left, 9);
      pieces.push_back(size);
      left -= size;
    }
    pieces.push_back(0);  // a step over nothing, as the flush at the end is
    ASSERT_EQ(ByDecoder(content, pieces), ByGMime(content, pieces)) << content;
  }
}

}  // namespace
}  // namespace qc::mapi::testing
