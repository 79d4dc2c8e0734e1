// CRC-16 (reflected 0xA001) and CRC-32 (reflected 0xEDB88320): table-driven, CRC-32 sliced
// by 8 or, where the processor has carry-less multiplication, folded 64 bytes at a time.
#include "engine/core/crc.h"

#include "engine/core/crc_tables.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TESSALY_CRC_CLMUL 1
#endif

namespace engine {
namespace {

using crc_detail::kCrc16;
using crc_detail::kCrc32;

inline std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

std::uint32_t UpdateCrc32Sliced(std::uint32_t r, const std::uint8_t* data, std::size_t count) {
  // Byte steps up to an 8-byte boundary keep the wide loads aligned.
  while (count && (reinterpret_cast<std::uintptr_t>(data) & 7)) {
    r = kCrc32[0][(r ^ *data++) & 0xFF] ^ (r >> 8);
    --count;
  }
  while (count >= 8) {
    const std::uint32_t lo = Load32(data) ^ r;
    const std::uint32_t hi = Load32(data + 4);
    r = kCrc32[7][lo & 0xFF] ^ kCrc32[6][(lo >> 8) & 0xFF] ^ kCrc32[5][(lo >> 16) & 0xFF] ^
        kCrc32[4][lo >> 24] ^ kCrc32[3][hi & 0xFF] ^ kCrc32[2][(hi >> 8) & 0xFF] ^
        kCrc32[1][(hi >> 16) & 0xFF] ^ kCrc32[0][hi >> 24];
    data += 8;
    count -= 8;
  }
  while (count--) r = kCrc32[0][(r ^ *data++) & 0xFF] ^ (r >> 8);
  return r;
}

#ifdef TESSALY_CRC_CLMUL
// Carry-less multiplication folding (the method of Intel's "Fast CRC Computation for Generic
// Polynomials Using PCLMULQDQ"): four 128-bit lanes are folded forward 512 bits at a time,
// then into one lane, then reduced to 32 bits with a Barrett step. The constants are powers
// of x modulo the bit-reflected polynomial as the paper derives them (fold by 512 bits, fold
// by 128 bits, 64 -> 32 bits), then P itself and the Barrett constant mu = x^64 / P.
__attribute__((target("sse2"), always_inline)) inline __m128i Load128(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// x * K (its low half times K's low, its high half times K's high) plus `next`.
__attribute__((target("pclmul,sse2"), always_inline)) inline __m128i Fold(__m128i x, __m128i k,
                                                                         __m128i next) {
  const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
  const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

// Needs count >= 64 and a multiple of 16.
__attribute__((target("pclmul,sse2"))) std::uint32_t UpdateCrc32Clmul(
    std::uint32_t reg, const std::uint8_t* data, std::size_t count) {
  const __m128i k1k2 = _mm_set_epi64x(0x1c6e41596LL, 0x154442bd4LL);
  const __m128i k3k4 = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);
  const __m128i k5 = _mm_set_epi64x(0, 0x163cd6124LL);
  const __m128i polyMu = _mm_set_epi64x(0x1F7011641LL, 0x1DB710641LL);
  const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);

  __m128i x1 = _mm_xor_si128(Load128(data), _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i x2 = Load128(data + 16), x3 = Load128(data + 32), x4 = Load128(data + 48);
  data += 64;
  count -= 64;
  while (count >= 64) {
    x1 = Fold(x1, k1k2, Load128(data));
    x2 = Fold(x2, k1k2, Load128(data + 16));
    x3 = Fold(x3, k1k2, Load128(data + 32));
    x4 = Fold(x4, k1k2, Load128(data + 48));
    data += 64;
    count -= 64;
  }
  x1 = Fold(x1, k3k4, x2);
  x1 = Fold(x1, k3k4, x3);
  x1 = Fold(x1, k3k4, x4);
  while (count >= 16) {
    x1 = Fold(x1, k3k4, Load128(data));
    data += 16;
    count -= 16;
  }
  // 128 -> 64 bits.
  __m128i t = _mm_clmulepi64_si128(x1, k3k4, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), t);
  // 64 -> 32 bits.
  t = _mm_srli_si128(x1, 4);
  x1 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k5, 0x00);
  x1 = _mm_xor_si128(x1, t);
  // Barrett reduction.
  t = x1;
  x1 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), polyMu, 0x10);
  x1 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), polyMu, 0x00);
  x1 = _mm_xor_si128(x1, t);
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x1, 4)));
}

const bool kHaveClmul = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("pclmul") != 0;
}();
#endif

}  // namespace

// Slice-by-8 tables for CRC-16: entry [k][b] is the register change of byte b followed by
// k zero bytes, so eight bytes fold in with eight independent lookups.
constexpr std::array<std::array<std::uint16_t, 256>, 8> MakeCrc16Slices() {
  std::array<std::array<std::uint16_t, 256>, 8> t{};
  t[0] = kCrc16;
  for (std::size_t k = 1; k < 8; ++k)
    for (std::size_t b = 0; b < 256; ++b)
      t[k][b] = static_cast<std::uint16_t>((t[k - 1][b] >> 8) ^ kCrc16[t[k - 1][b] & 0xFF]);
  return t;
}
constexpr auto kCrc16Slices = MakeCrc16Slices();

std::uint16_t UpdateCrc16(std::uint16_t reg, const std::uint8_t* data, std::size_t count) {
  std::uint32_t r = reg;
  while (count >= 8) {
    std::uint64_t v;
    std::memcpy(&v, data, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    v ^= r;
    r = kCrc16Slices[7][v & 0xFF] ^ kCrc16Slices[6][(v >> 8) & 0xFF] ^
        kCrc16Slices[5][(v >> 16) & 0xFF] ^ kCrc16Slices[4][(v >> 24) & 0xFF] ^
        kCrc16Slices[3][(v >> 32) & 0xFF] ^ kCrc16Slices[2][(v >> 40) & 0xFF] ^
        kCrc16Slices[1][(v >> 48) & 0xFF] ^ kCrc16Slices[0][v >> 56];
    data += 8;
    count -= 8;
  }
  while (count--) r = kCrc16[(r ^ *data++) & 0xFF] ^ (r >> 8);
  return static_cast<std::uint16_t>(r);
}

std::uint32_t UpdateCrc32(std::uint32_t reg, const std::uint8_t* data, std::size_t count) {
#ifdef TESSALY_CRC_CLMUL
  // Below a few hundred bytes the table is as fast and needs no vector set-up.
  if (kHaveClmul && count >= 256) {
    const std::size_t bulk = count & ~static_cast<std::size_t>(15);
    reg = UpdateCrc32Clmul(reg, data, bulk);
    data += bulk;
    count -= bulk;
  }
#endif
  return UpdateCrc32Sliced(reg, data, count);
}

std::uint32_t Crc32Step(std::uint32_t reg, std::uint8_t byte) {
  return kCrc32[0][(reg ^ byte) & 0xFF] ^ (reg >> 8);
}

std::uint32_t Crc32Of(std::span<const std::uint8_t> data) {
  return UpdateCrc32(0xFFFFFFFFu, data.data(), data.size()) ^ 0xFFFFFFFFu;
}

}  // namespace engine
