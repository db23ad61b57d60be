#include "mapi/crc32.h"

#include <array>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define QC_CRC_CLMUL 1
#endif

namespace qc::mapi {

namespace {

// Eight tables so that eight bytes are folded per step.
using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

Tables MakeTables() {
  Tables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][i] = c;
  }
  for (std::uint32_t i = 0; i < 256; ++i) {
    for (std::size_t k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  }
  return t;
}

std::uint32_t Crc32Tables(const std::uint8_t* data, std::size_t size, std::uint32_t crc) {
  static const Tables t = MakeTables();
  while (size >= 8) {
    const std::uint32_t low =
        crc ^ (std::uint32_t{data[0]} | (std::uint32_t{data[1]} << 8) |
               (std::uint32_t{data[2]} << 16) | (std::uint32_t{data[3]} << 24));
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
          t[3][data[4]] ^ t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]];
    data += 8;
    size -= 8;
  }
  while (size-- > 0) crc = t[0][(crc ^ *data++) & 0xFF] ^ (crc >> 8);
  return crc;
}

#ifdef QC_CRC_CLMUL
#define QC_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

QC_CLMUL_TARGET inline __m128i Load(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// x times the two constants of `k`, lane by lane, added to `next`.
QC_CLMUL_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(x, k, 0x00);
  const __m128i high = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

// Four 128-bit lanes folded 64 bytes a step with carry-less multiplication, then folded into
// one and reduced to 32 bits (Barrett), as Intel's paper "Fast CRC Computation for Generic
// Polynomials Using PCLMULQDQ" describes; the constants are powers of x modulo the polynomial,
// bit-reflected. Every block and page of a store, and every compressed RTF body, passes
// through here.
QC_CLMUL_TARGET std::uint32_t Crc32Clmul(const std::uint8_t* data, std::size_t size,
                                         std::uint32_t crc) {
  if (size < 64) return Crc32Tables(data, size, crc);
  const __m128i k1k2 = _mm_set_epi64x(0x1C6E41596, 0x154442BD4);
  const __m128i k3k4 = _mm_set_epi64x(0x0CCAA009E, 0x1751997D0);
  const __m128i k5 = _mm_set_epi64x(0, 0x163CD6124);
  const __m128i poly = _mm_set_epi64x(0x1F7011641, 0x1DB710641);
  const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);
  __m128i x1 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = Load(data + 16);
  __m128i x3 = Load(data + 32);
  __m128i x4 = Load(data + 48);
  data += 64;
  size -= 64;
  while (size >= 64) {
    x1 = Fold(x1, k1k2, Load(data));
    x2 = Fold(x2, k1k2, Load(data + 16));
    x3 = Fold(x3, k1k2, Load(data + 32));
    x4 = Fold(x4, k1k2, Load(data + 48));
    data += 64;
    size -= 64;
  }
  x1 = Fold(x1, k3k4, x2);
  x1 = Fold(x1, k3k4, x3);
  x1 = Fold(x1, k3k4, x4);
  while (size >= 16) {
    x1 = Fold(x1, k3k4, Load(data));
    data += 16;
    size -= 16;
  }
  // 128 bits to 64, then to 32 with Barrett's reduction.
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 4),
                     _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k5, 0x00));
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), poly, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), poly, 0x00);
  crc = static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, t), 1));
  return Crc32Tables(data, size, crc);
}

bool HasClmul() {
  return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}
#endif

Crc32Function Chosen() {
#ifdef QC_CRC_CLMUL
  if (HasClmul()) return Crc32Clmul;
#endif
  return Crc32Tables;
}

}  // namespace

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc) {
  static const Crc32Function chosen = Chosen();
  return chosen(data, size, crc);
}

std::vector<std::pair<const char*, Crc32Function>> Crc32Implementations() {
  std::vector<std::pair<const char*, Crc32Function>> all;
#ifdef QC_CRC_CLMUL
  if (HasClmul()) all.emplace_back("carry-less multiplication", Crc32Clmul);
#endif
  all.emplace_back("tables", Crc32Tables);
  return all;
}

}  // namespace qc::mapi
