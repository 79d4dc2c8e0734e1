// The traditional PKWARE cipher and the ARJ garble.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace engine {

// Key registers of the traditional PKWARE cipher. One per running engine.
class TPkCipher {
 public:
  void InitKeys(std::string_view password);
  void UpdateKeys(std::uint8_t plain);
  std::uint8_t DecryptByte() const;
  std::uint8_t Decrypt(std::uint8_t c);          // decrypts one byte and updates the keys
  std::uint8_t Encrypt(std::uint8_t p);          // encrypts one byte and updates the keys
  void DecryptBlock(std::uint8_t* data, std::size_t count);
  void EncryptBlock(std::uint8_t* data, std::size_t count);
  // The 12-byte header of a new member; `check` is the member's CRC-32 (or the DOS
  // date-time shifted left by 16 when a data descriptor follows). Keys stand ready for data.
  std::array<std::uint8_t, 12> MakeCryptHeader(std::string_view password, std::uint32_t check);
  // True when `password` opens the member; the header is decrypted from a copy, so several
  // passwords can be tried. An empty password fails. On success the keys stand ready.
  bool CheckCryptHeader(const std::uint8_t (&header)[12], std::uint16_t flags,
                        std::string_view password, std::uint32_t dosDateTime,
                        std::uint32_t crc);
  std::uint32_t Key(int i) const { return keys_[i]; }

 private:
  std::uint32_t keys_[3] = {0x12345678u, 0x23456789u, 0x34567890u};
};

// ARJ garble: xor with the password's characters; the position carries over between blocks
// of one member and restarts with Reset().
class TArjGarble {
 public:
  void Reset(std::string_view password);
  void Apply(std::uint8_t* data, std::size_t count);

 private:
  std::string password_;
  std::size_t pos_ = 0;
};

}  // namespace engine
