#include "base/string_cipher.h"

#include <wincrypt.h>

#include <new>
#include <vector>

// Base64 through the platform's CryptoAPI: the same text as Base64Codec for the same bytes, but
// the platform decoder is lenient (it skips line breaks and blanks).

namespace {

// CRYPT_STRING_BASE64 without line breaks.
constexpr DWORD kEncodeFlags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;

template <typename Char, typename Encoder>
BOOL EncodeWithoutLineBreaks(const BYTE* data, DWORD size, Char* out, DWORD* length, Encoder encode) {
  if (data == nullptr || size == 0 || out == nullptr || length == nullptr || *length == 0) return FALSE;
  const DWORD capacity = *length;
  try {
    DWORD workLength = capacity + capacity / 64 + 10;
    std::vector<Char> work(workLength, Char(0));
    const BOOL result = encode(data, size, kEncodeFlags, work.data(), &workLength);
    if (!result) return FALSE;
    // The flag asks for no line breaks; strip any that a platform adds anyway.
    DWORD kept = 0;
    for (DWORD i = 0; i < work.size() && work[i] != Char(0); ++i) {
      if (work[i] != Char('\n') && work[i] != Char('\r')) work[kept++] = work[i];
    }
    if (kept >= capacity) return FALSE;
    for (DWORD i = 0; i < kept; ++i) out[i] = work[i];
    out[kept] = Char(0);
    *length = kept;
    return result;
  } catch (const std::bad_alloc&) {
    return FALSE;
  }
}

}  // namespace

namespace StringCipher {

BOOL CryptBase64DecodeA(const char* text, DWORD length, BYTE* out, DWORD* size) {
  if (text == nullptr || size == nullptr) return FALSE;
  return CryptStringToBinaryA(text, length, CRYPT_STRING_BASE64, out, size, nullptr, nullptr);
}

BOOL CryptBase64DecodeW(const wchar_t* text, DWORD length, BYTE* out, DWORD* size) {
  if (text == nullptr || size == nullptr) return FALSE;
  return CryptStringToBinaryW(text, length, CRYPT_STRING_BASE64, out, size, nullptr, nullptr);
}

std::wstring CryptBase64DecodeToWide(const std::wstring& text) {
  if (text.empty() || text.size() > 0x7FFFFFF0u) return std::wstring();
  try {
    std::vector<BYTE> bytes(text.size() + 5, 0);
    DWORD size = DWORD(bytes.size() - 1);  // keeps a zero after the decoded bytes
    if (!CryptBase64DecodeW(text.c_str(), DWORD(text.size()), bytes.data(), &size) || size == 0) {
      return std::wstring();
    }
    return CodePageToWide(reinterpret_cast<const char*>(bytes.data()), CP_UTF8);
  } catch (const std::bad_alloc&) {
    return std::wstring();
  }
}

BOOL CryptBase64EncodeA(const BYTE* data, DWORD size, char* out, DWORD* length) {
  return EncodeWithoutLineBreaks<char>(data, size, out, length, CryptBinaryToStringA);
}

BOOL CryptBase64EncodeW(const BYTE* data, DWORD size, wchar_t* out, DWORD* length) {
  return EncodeWithoutLineBreaks<wchar_t>(data, size, out, length, CryptBinaryToStringW);
}

std::wstring CryptBase64EncodeWide(const std::wstring& text) {
  const std::string bytes = WideToCodePage(text.c_str(), CP_UTF8);
  if (bytes.empty() || bytes.size() > 0x3FFFFFF0u) return std::wstring();
  try {
    DWORD capacity = DWORD((bytes.size() + 5) / 3 * 4);
    std::vector<wchar_t> out(capacity, L'\0');
    if (!CryptBase64EncodeW(reinterpret_cast<const BYTE*>(bytes.data()), DWORD(bytes.size()), out.data(), &capacity)) {
      return std::wstring();
    }
    return std::wstring(out.data(), capacity);
  } catch (const std::bad_alloc&) {
    return std::wstring();
  }
}

}  // namespace StringCipher
