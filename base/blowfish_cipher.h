#pragma once

#include <cstdint>
#include <string>

// Blowfish (16 rounds, the standard initial tables) over 8-byte blocks whose two halves are
// big-endian 32-bit words. ECB with zero padding, or CBC with a zero IV and pad-count padding.
//
// One object serves one thread for one operation; it owns nothing outside itself, so it can
// live on the stack. No call throws.
class BlowfishCipher {
 public:
  enum Mode : int { kModeEcb = 0, kModeCbc = 1 };

  BlowfishCipher();
  ~BlowfishCipher();
  BlowfishCipher(const BlowfishCipher&) = delete;
  BlowfishCipher& operator=(const BlowfishCipher&) = delete;

  // Runs the key schedule over every key byte (bytes past the 72nd have no effect). A null or
  // empty key is refused: the object stays unkeyed and Encrypt/Decrypt then produce nothing.
  [[nodiscard]] bool SetKey(const uint8_t* key, int length, int mode);

  // The bytes of a key that SetKey's schedule reads: the first 72, a shorter key repeated until
  // there are 72. Keys with the same schedule bytes encipher alike ("ab" and "abab" are one key).
  // Empty for a null or empty key.
  static std::string ScheduleBytes(const uint8_t* key, int length);

  // Bytes that Encrypt produces for length plain bytes: ECB rounds up to a multiple of 8
  // (0 stays 0); CBC always adds 1 to 8 padding bytes.
  uint32_t GetOutputLength(uint32_t length) const;

  // Enciphers length bytes of in into out, which must hold GetOutputLength(length) bytes; in and
  // out may be the same buffer. Returns the bytes produced (0 when unkeyed or for no input).
  uint32_t Encrypt(const uint8_t* in, uint8_t* out, uint32_t length);

  // Deciphers length bytes of in into out. Every block up to length rounded up to a multiple of
  // 8 is deciphered in out, so out must hold that many bytes and the caller decides what follows
  // a partial last block (zeros in this library). in and out may be the same buffer.
  // Returns the plain byte count: the rounded length in ECB; in CBC the rounded length less the
  // padding when its first byte agrees with the count (a zero byte is written there), else the
  // rounded length. 0 when unkeyed or for no input.
  uint32_t Decrypt(const uint8_t* in, uint8_t* out, uint32_t length);

  // One block in place, under the current key.
  void EncryptBlock(uint32_t* left, uint32_t* right) const;
  void DecryptBlock(uint32_t* left, uint32_t* right) const;

 private:
  uint32_t F(uint32_t x) const;

  uint32_t m_arrP[18];
  uint32_t m_arrS[4][256];
  int m_nMode = kModeEcb;
  bool m_bKeyed = false;
};
