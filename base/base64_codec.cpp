#include "base/base64_codec.h"

#include <climits>
#include <cstring>
#include <new>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value of each character, -1 for every character outside the alphabet ("=" included).
struct DecodeTable {
  signed char value[256];
  DecodeTable() {
    memset(value, -1, sizeof(value));
    for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
  }
};

const DecodeTable& Table() {
  static const DecodeTable table;
  return table;
}

// Longest byte count whose text length still fits an int.
constexpr uint32_t kMaxEncodeLength = (INT_MAX / 4) * 3 - 3;

}  // namespace

int Base64Codec::Decode(char* out, const char* text, int length) {
  if (length == 0) return 0;
  if (length < 4 || length % 4 != 0 || text == nullptr || out == nullptr) return -1;

  int n = length;
  if (text[n - 1] == '=') {
    --n;
    if (text[n - 1] == '=') --n;
  }

  const signed char* value = Table().value;
  // One character alone cannot carry a byte; "x===" fails below on its "=".
  const int full = n / 4;
  const int rest = n % 4;
  if (rest == 1) return -1;

  // Validation and decoding in one pass: a character outside the alphabet has a negative value.
  // On failure the output may be partly written.
  unsigned char* o = reinterpret_cast<unsigned char*>(out);
  const unsigned char* t = reinterpret_cast<const unsigned char*>(text);
  int written = 0;
  for (int g = 0; g < full; ++g, t += 4) {
    const int a = value[t[0]], b = value[t[1]], c = value[t[2]], d = value[t[3]];
    if ((a | b | c | d) < 0) return -1;
    const uint32_t bits = (uint32_t(a) << 18) | (uint32_t(b) << 12) | (uint32_t(c) << 6) | uint32_t(d);
    o[written++] = uint8_t(bits >> 16);
    o[written++] = uint8_t(bits >> 8);
    o[written++] = uint8_t(bits);
  }
  if (rest >= 2) {
    const int a = value[t[0]], b = value[t[1]], c = rest == 3 ? value[t[2]] : 0;
    if ((a | b | c) < 0) return -1;
    const uint32_t bits = (uint32_t(a) << 18) | (uint32_t(b) << 12) | (uint32_t(c) << 6);
    o[written++] = uint8_t(bits >> 16);
    if (rest == 3) o[written++] = uint8_t(bits >> 8);
  }
  return written;
}

int Base64Codec::Encode(char* out, const char* data, int length) {
  if (out == nullptr) return 0;
  if (length <= 0 || data == nullptr || uint32_t(length) > kMaxEncodeLength) {
    out[0] = '\0';
    return 0;
  }
  const unsigned char* d = reinterpret_cast<const unsigned char*>(data);
  int o = 0;
  int i = 0;
  for (; i + 3 <= length; i += 3) {
    const uint32_t bits = (uint32_t(d[i]) << 16) | (uint32_t(d[i + 1]) << 8) | d[i + 2];
    out[o++] = kAlphabet[(bits >> 18) & 63];
    out[o++] = kAlphabet[(bits >> 12) & 63];
    out[o++] = kAlphabet[(bits >> 6) & 63];
    out[o++] = kAlphabet[bits & 63];
  }
  const int rest = length - i;
  if (rest > 0) {
    uint32_t bits = uint32_t(d[i]) << 16;
    if (rest == 2) bits |= uint32_t(d[i + 1]) << 8;
    out[o++] = kAlphabet[(bits >> 18) & 63];
    out[o++] = kAlphabet[(bits >> 12) & 63];
    out[o++] = rest == 2 ? kAlphabet[(bits >> 6) & 63] : '=';
    out[o++] = '=';
  }
  out[o] = '\0';
  return o;
}

bool Base64Codec::DecodeToBuffer(uint8_t* out, uint32_t* outLength, const std::string& text) {
  if (out == nullptr || outLength == nullptr || text.size() > size_t(INT_MAX)) return false;
  try {
    std::string work((text.size() / 4) * 3 + 2, '\0');
    const int decoded = Decode(&work[0], text.data(), static_cast<int>(text.size()));
    if (decoded < 0) return false;
    if (decoded > 0) memcpy(out, work.data(), size_t(decoded));
    *outLength = uint32_t(decoded);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool Base64Codec::DecodeString(std::string* out, const std::string& text) {
  if (out == nullptr || text.size() > size_t(INT_MAX)) return false;
  try {
    std::string work((text.size() / 4) * 3 + 2, '\0');
    const int decoded = Decode(&work[0], text.data(), static_cast<int>(text.size()));
    if (decoded < 0) return false;
    work.resize(size_t(decoded));
    out->swap(work);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool Base64Codec::EncodeString(std::string* out, const std::string& data) {
  return EncodeBuffer(out, reinterpret_cast<const uint8_t*>(data.data()), uint32_t(data.size() > kMaxEncodeLength ? UINT32_MAX : data.size()));
}

bool Base64Codec::EncodeBuffer(std::string* out, const uint8_t* data, uint32_t length) {
  if (out == nullptr || length > kMaxEncodeLength || (data == nullptr && length != 0)) return false;
  try {
    std::string work((size_t(length) + 2) / 3 * 4 + 1, '\0');
    const int written = Encode(&work[0], reinterpret_cast<const char*>(data), int(length));
    work.resize(size_t(written));
    out->swap(work);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}
