#include "product/disk_serial_text.h"

#include <cstring>

namespace {

int HexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string TrimBlankSpace(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsBlankSpace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && IsBlankSpace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

void IdentifyWordsToText(const BYTE* identify, int firstWord, int lastWord, char* text) {
  int n = 0;
  for (int word = firstWord; word <= lastWord; ++word) {
    text[n++] = static_cast<char>(identify[word * 2 + 1]);
    text[n++] = static_cast<char>(identify[word * 2]);
  }
  text[n] = '\0';
  for (int i = n - 1; i > 0 && text[i] == ' '; --i) text[i] = '\0';
}

void TrimTrailingBlanks(char* text) {
  size_t n = strlen(text);
  while (n > 0 && text[n - 1] == ' ') text[--n] = '\0';
}

void DecodeDeviceSerialText(const BYTE* answer, DWORD answerSize, LONG offset, BOOL swap,
                            char* out, size_t outSize) {
  memset(out, 0, outSize);
  if (offset <= 0 || static_cast<DWORD>(offset) >= answerSize || outSize < 2) return;
  const BYTE* begin = answer + offset;
  const BYTE* end = answer + answerSize;
  const BYTE* stop = begin;
  while (stop < end && *stop) ++stop;

  // The bytes kept are bounded by the area; the last one or two stay zero for the swap.
  size_t limit = outSize - 2;
  size_t n = 0;
  bool hexOk = true;
  int high = -1;
  for (const BYTE* p = begin; p < stop; ++p) {
    unsigned char c = *p;
    if (IsBlankSpace(c)) c = '0';
    int value = HexValue(c);
    if (value < 0) {
      hexOk = false;
      break;
    }
    if (high < 0) {
      high = value;
      continue;
    }
    unsigned char byte = static_cast<unsigned char>(high * 16 + value);
    high = -1;
    if (byte != 0 && !IsPrintableByte(byte)) {
      hexOk = false;
      break;
    }
    if (n < limit) out[n++] = static_cast<char>(byte);
  }
  if (!hexOk) {
    memset(out, 0, outSize);
    n = 0;
    for (const BYTE* p = begin; p < stop; ++p) {
      if (!IsPrintableByte(*p)) {
        memset(out, 0, outSize);
        return;
      }
      if (n < limit) out[n++] = static_cast<char>(*p);
    }
  }
  if (swap) {
    size_t length = strlen(out);
    // With an odd count the last character trades places with the terminator.
    for (size_t i = 0; i < length; i += 2) {
      char c = out[i];
      out[i] = out[i + 1];
      out[i + 1] = c;
    }
  }
}

void DecodeDescriptorSerial(const char* text, std::string* result, BOOL swap) {
  size_t length = strnlen(text, 41);
  if (length < 4 || length > 40) return;
  std::string decoded(text, length);
  bool allHex = length == 40;
  for (size_t i = 0; allHex && i < length; ++i) {
    allHex = HexValue(static_cast<unsigned char>(text[i])) >= 0;
  }
  if (allHex) {
    decoded.clear();
    for (size_t i = 0; i < 40; i += 2) {
      char byte = static_cast<char>(HexValue(static_cast<unsigned char>(text[i])) * 16 +
                                    HexValue(static_cast<unsigned char>(text[i + 1])));
      if (byte == '\0') break;
      decoded.push_back(byte);
    }
  }
  if (swap && !decoded.empty()) {
    FixAtaString(reinterpret_cast<BYTE*>(&decoded[0]), decoded.size());
  }
  *result = TrimBlankSpace(decoded);
}

void FixAtaString(BYTE* bytes, size_t length) {
  if (length < 2 || length % 2 != 0) return;
  size_t spaces = 0;
  while (spaces < length && bytes[spaces] == ' ') ++spaces;
  if (spaces > 0) {
    size_t rest = length - spaces;
    if (rest < 2 || rest % 2 != 0) return;
    memmove(bytes, bytes + spaces, rest);
    memset(bytes + rest, ' ', spaces);
  }
  for (size_t i = 0; i + 1 < length; i += 2) {
    BYTE b = bytes[i];
    bytes[i] = bytes[i + 1];
    bytes[i + 1] = b;
  }
}
