#include "base/base64_codec.h"

#include <climits>
#include <cstring>
#include <new>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// One table per place in a group of four characters: the character's 6 bits already shifted to
// that place in the group's 24 bits, or kInvalid for a character outside the alphabet ("="
// included), so a group is four lookups, three ORs and one test.
constexpr uint32_t kInvalid = 0x80000000u;
struct DecodeTables {
  uint32_t place[4][256];
};

constexpr DecodeTables MakeDecodeTables() {
  DecodeTables tables{};
  for (int place = 0; place < 4; ++place) {
    for (int c = 0; c < 256; ++c) tables.place[place][c] = kInvalid;
    for (int i = 0; i < 64; ++i)
      tables.place[place][static_cast<unsigned char>(kAlphabet[i])] = uint32_t(i) << (18 - 6 * place);
  }
  return tables;
}

constexpr DecodeTables kDecode = MakeDecodeTables();

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

  // One character alone cannot carry a byte; "x===" fails below on its "=".
  const int full = n / 4;
  const int rest = n % 4;
  if (rest == 1) return -1;

  // Validation and decoding in one pass. On failure the output may be partly written.
  const uint32_t* place0 = kDecode.place[0];
  const uint32_t* place1 = kDecode.place[1];
  const uint32_t* place2 = kDecode.place[2];
  const uint32_t* place3 = kDecode.place[3];
  unsigned char* o = reinterpret_cast<unsigned char*>(out);
  const unsigned char* t = reinterpret_cast<const unsigned char*>(text);
  for (int g = 0; g < full; ++g, t += 4, o += 3) {
    const uint32_t bits = place0[t[0]] | place1[t[1]] | place2[t[2]] | place3[t[3]];
    if (bits & kInvalid) return -1;
    o[0] = uint8_t(bits >> 16);
    o[1] = uint8_t(bits >> 8);
    o[2] = uint8_t(bits);
  }
  int written = full * 3;
  if (rest >= 2) {
    const uint32_t bits = place0[t[0]] | place1[t[1]] | (rest == 3 ? place2[t[2]] : 0);
    if (bits & kInvalid) return -1;
    o[0] = uint8_t(bits >> 16);
    if (rest == 3) o[1] = uint8_t(bits >> 8);
    written += rest - 1;
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
