// Helpers for tests that compare blocks of the host channel byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wire_bytes {

// Lower-case hex of the bytes, no separators.
inline std::string Hex(const void* data, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  const unsigned char* p = static_cast<const unsigned char*>(data);
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[p[i] >> 4];
    out += kDigits[p[i] & 15];
  }
  return out;
}

// Bytes from hex text; blanks are ignored so tables can group fields.
inline std::vector<char> FromHex(const std::string& text) {
  std::vector<char> out;
  int high = -1;
  for (char c : text) {
    int v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else continue;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<char>(high * 16 + v));
      high = -1;
    }
  }
  return out;
}

inline std::string Strip(const std::string& text) { return Hex(FromHex(text).data(), FromHex(text).size()); }

}  // namespace wire_bytes
