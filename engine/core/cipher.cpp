// The traditional PKWARE stream cipher (three keys driven by CRC-32 steps) and the ARJ garble.
#include "engine/core/cipher.h"

#include <atomic>
#include <chrono>
#include <cstdint>

#include "engine/core/crc_tables.h"

namespace engine {
namespace {

using crc_detail::Crc32StepInline;

struct Keys {
  std::uint32_t k0, k1, k2;
  void Update(std::uint8_t plain) {
    k0 = Crc32StepInline(k0, plain);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
    k2 = Crc32StepInline(k2, static_cast<std::uint8_t>(k1 >> 24));
  }
  std::uint8_t Stream() const {
    const std::uint32_t t = (k2 & 0xFFFF) | 2;
    return static_cast<std::uint8_t>((t * (t ^ 1)) >> 8);
  }
};

}  // namespace

void TPkCipher::InitKeys(std::string_view password) {
  keys_[0] = 0x12345678u;
  keys_[1] = 0x23456789u;
  keys_[2] = 0x34567890u;
  for (char c : password) UpdateKeys(static_cast<std::uint8_t>(c));
}

void TPkCipher::UpdateKeys(std::uint8_t plain) {
  Keys k{keys_[0], keys_[1], keys_[2]};
  k.Update(plain);
  keys_[0] = k.k0;
  keys_[1] = k.k1;
  keys_[2] = k.k2;
}

std::uint8_t TPkCipher::DecryptByte() const {
  return Keys{keys_[0], keys_[1], keys_[2]}.Stream();
}

std::uint8_t TPkCipher::Decrypt(std::uint8_t c) {
  const std::uint8_t p = c ^ DecryptByte();
  UpdateKeys(p);
  return p;
}

std::uint8_t TPkCipher::Encrypt(std::uint8_t p) {
  const std::uint8_t c = p ^ DecryptByte();
  UpdateKeys(p);
  return c;
}

void TPkCipher::DecryptBlock(std::uint8_t* data, std::size_t count) {
  Keys k{keys_[0], keys_[1], keys_[2]};
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t p = data[i] ^ k.Stream();
    k.Update(p);
    data[i] = p;
  }
  keys_[0] = k.k0;
  keys_[1] = k.k1;
  keys_[2] = k.k2;
}

void TPkCipher::EncryptBlock(std::uint8_t* data, std::size_t count) {
  Keys k{keys_[0], keys_[1], keys_[2]};
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t p = data[i];
    data[i] = p ^ k.Stream();
    k.Update(p);
  }
  keys_[0] = k.k0;
  keys_[1] = k.k1;
  keys_[2] = k.k2;
}

std::array<std::uint8_t, 12> TPkCipher::MakeCryptHeader(std::string_view password,
                                                         std::uint32_t check) {
  InitKeys(password);
  // The ten leading bytes only need to differ between members and runs: a generator seeded
  // from the clock, a per-process counter and the stack's address (which the system places
  // at random) does that without asking the system for entropy. (std::random_device is
  // avoided: on some Windows set-ups its hardware source loops forever.)
  static std::atomic<std::uint64_t> counter{0};
  std::uint64_t x = static_cast<std::uint64_t>(
                        std::chrono::high_resolution_clock::now().time_since_epoch().count()) ^
                    (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull) ^
                    static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&x));
  auto next = [&x] {
    // splitmix64
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  };
  std::array<std::uint8_t, 12> header{};
  for (int i = 0; i < 10; ++i) header[i] = Encrypt(static_cast<std::uint8_t>(next() >> 56));
  header[10] = Encrypt(static_cast<std::uint8_t>(check >> 16));
  header[11] = Encrypt(static_cast<std::uint8_t>(check >> 24));
  return header;
}

bool TPkCipher::CheckCryptHeader(const std::uint8_t (&header)[12], std::uint16_t flags,
                                 std::string_view password, std::uint32_t dosDateTime,
                                 std::uint32_t crc) {
  if (password.empty()) return false;
  InitKeys(password);
  std::uint8_t copy[12];
  for (int i = 0; i < 12; ++i) copy[i] = header[i];
  DecryptBlock(copy, 12);
  // With a data descriptor (flag bit 3) the CRC is not known before the data, so the
  // header carries the high byte of the DOS time instead.
  const std::uint8_t expected = (flags & 0x08) ? static_cast<std::uint8_t>(dosDateTime >> 8)
                                               : static_cast<std::uint8_t>(crc >> 24);
  return copy[11] == expected;
}

void TArjGarble::Reset(std::string_view password) {
  password_.assign(password);
  pos_ = 0;
}

void TArjGarble::Apply(std::uint8_t* data, std::size_t count) {
  const std::size_t len = password_.size();
  if (len == 0) return;
  const auto* key = reinterpret_cast<const std::uint8_t*>(password_.data());
  std::size_t pos = pos_;
  for (std::size_t i = 0; i < count; ++i) {
    data[i] ^= key[pos];
    if (++pos == len) pos = 0;
  }
  pos_ = pos;
}

}  // namespace engine
