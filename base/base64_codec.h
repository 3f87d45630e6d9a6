#pragma once

#include <cstdint>
#include <string>

// Strict RFC 4648 Base64 (standard alphabet, "=" padding, no line breaks). Decoding accepts
// nothing else: a length that is not a multiple of 4, a blank, a line break, a character
// outside the alphabet or an "=" before the last two positions fails the whole text.
// Stateless; any thread may call. No call throws.
class Base64Codec {
 public:
  // Decodes length characters of text into out, which must hold (length / 4) * 3 bytes.
  // Returns the decoded byte count (0 for an empty text) or -1 for a text that is refused.
  // Unused bits of the last character are ignored. A refused text may leave out partly written.
  // out may be text itself: every byte is written behind the characters still to be read.
  static int Decode(char* out, const char* text, int length);

  // Encodes length bytes of data into out, which must hold 4 * ceil(length / 3) + 1 characters;
  // out is terminated by a zero byte. Returns the text length.
  static int Encode(char* out, const char* data, int length);

  // Decodes text into out, which the caller sizes for (text.size() / 4) * 3 + 2 bytes, and sets
  // *outLength. On failure both are left untouched.
  [[nodiscard]] static bool DecodeToBuffer(uint8_t* out, uint32_t* outLength, const std::string& text);

  // Replace *out with the decoded bytes / the Base64 text. False when the text is refused or
  // memory runs out; *out is then unchanged.
  [[nodiscard]] static bool DecodeString(std::string* out, const std::string& text);
  [[nodiscard]] static bool EncodeString(std::string* out, const std::string& data);
  [[nodiscard]] static bool EncodeBuffer(std::string* out, const uint8_t* data, uint32_t length);
};
