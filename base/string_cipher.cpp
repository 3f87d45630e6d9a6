#include "base/string_cipher.h"

#include <climits>
#include <cstring>
#include <new>
#include <vector>

#include "base/base64_codec.h"
#include "base/blowfish_cipher.h"

namespace {

// Files the cipher reads whole must stay below this size.
constexpr DWORD kMaxFileSize = 0x500000;

const uint8_t* Bytes(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}

}  // namespace

namespace StringCipher {

bool DecryptInPlace(char* text, uint32_t length, const std::string& key, uint32_t* plainLength) {
  if (text == nullptr || plainLength == nullptr || length == 0 || key.empty()) return false;
  if (length > uint32_t(INT_MAX) || key.size() > size_t(INT_MAX)) return false;
  // Three bytes for every four characters: the decoded bytes never overtake the text.
  const int decoded = Base64Codec::Decode(text, text, int(length));
  if (decoded <= 0) return false;

  BlowfishCipher cipher;
  if (!cipher.SetKey(Bytes(key), int(key.size()), BlowfishCipher::kModeEcb)) return false;
  uint8_t* bytes = reinterpret_cast<uint8_t*>(text);
  const uint32_t whole = uint32_t(decoded) & ~7u;
  if (whole > 0 && cipher.Decrypt(bytes, bytes, whole) != whole) return false;
  // A partial last block is deciphered with zeros after it, in a block of its own: the text's
  // buffer may end right after the decoded bytes.
  if (const uint32_t rest = uint32_t(decoded) - whole) {
    uint8_t block[8] = {};
    memcpy(block, bytes + whole, rest);
    if (cipher.Decrypt(block, block, sizeof(block)) != sizeof(block)) return false;
    memcpy(bytes + whole, block, rest);
  }
  *plainLength = uint32_t(decoded);
  return true;
}

bool DecryptData(const std::string& base64, const std::string& key, std::string* out) {
  if (out == nullptr || base64.empty() || key.empty()) return false;
  if (base64.size() > size_t(INT_MAX) || key.size() > size_t(INT_MAX)) return false;
  try {
    std::string work(base64);
    uint32_t length = 0;
    if (!DecryptInPlace(&work[0], uint32_t(work.size()), key, &length)) return false;
    work.resize(length);
    out->swap(work);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool EncryptBytes(const void* data, uint32_t size, const std::string& key, std::string* outBase64) {
  if (data == nullptr || size == 0 || outBase64 == nullptr || key.empty()) return false;
  if (key.size() > size_t(INT_MAX)) return false;
  try {
    BlowfishCipher cipher;
    if (!cipher.SetKey(Bytes(key), int(key.size()), BlowfishCipher::kModeEcb)) return false;
    const uint32_t total = cipher.GetOutputLength(size);
    if (total == 0) return false;
    std::vector<uint8_t> buffer(total);
    if (cipher.Encrypt(static_cast<const uint8_t*>(data), buffer.data(), size) != total) return false;
    return Base64Codec::EncodeBuffer(outBase64, buffer.data(), total);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool EncryptData(const std::string& plain, const std::string& key, std::string* outBase64) {
  if (plain.empty() || plain.size() > UINT32_MAX) return false;
  return EncryptBytes(plain.data(), uint32_t(plain.size()), key, outBase64);
}

ATL::CStringW DecryptString(const ATL::CStringW& base64, const ATL::CStringW& key) {
  const std::string text = WideToCodePage(base64, CP_UTF8);
  const std::string keyBytes = WideToCodePage(key, CP_UTF8);
  std::string plain;
  if (!DecryptData(text, keyBytes, &plain)) return ATL::CStringW();
  // The bytes end at the first zero: the padding, or an earlier zero.
  return ATL::CStringW(CodePageToWide(plain.c_str(), CP_UTF8).c_str());
}

ATL::CStringW EncryptString(const ATL::CStringW& plain, const ATL::CStringW& key) {
  const std::string text = WideToCodePage(plain, CP_UTF8);
  const std::string keyBytes = WideToCodePage(key, CP_UTF8);
  std::string cipher;
  if (!EncryptData(text, keyBytes, &cipher)) return ATL::CStringW();
  return ATL::CStringW(CodePageToWide(cipher.c_str(), CP_UTF8).c_str());
}

bool ReadFileData(const wchar_t* path, std::string* out) {
  if (path == nullptr || out == nullptr) return false;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = false;
  LARGE_INTEGER size = {};
  if (GetFileSizeEx(file, &size) && size.QuadPart >= 1 && size.QuadPart < kMaxFileSize) {
    try {
      std::string data(size_t(size.QuadPart), '\0');
      DWORD read = 0;
      if (ReadFile(file, &data[0], DWORD(size.QuadPart), &read, nullptr) && read == DWORD(size.QuadPart)) {
        out->swap(data);
        ok = true;
      }
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  CloseHandle(file);
  return ok;
}

bool WriteFileData(const wchar_t* path, const std::string& data) {
  if (path == nullptr || data.size() > UINT32_MAX) return false;
  HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, data.data(), DWORD(data.size()), &written, nullptr) && written == data.size();
  ok = FlushFileBuffers(file) && ok;
  CloseHandle(file);
  return ok;
}

bool DecryptFile(const ATL::CStringW& source, const std::string& key, const ATL::CStringW& target) {
  std::string text;
  if (!ReadFileData(source, &text)) return false;
  std::string plain;
  if (!DecryptData(text, key, &plain) || plain.empty()) return false;
  return WriteFileData(target, plain);
}

bool EncryptFile(const ATL::CStringW& source, const std::string& key, const ATL::CStringW& target) {
  std::string plain;
  if (!ReadFileData(source, &plain)) return false;
  std::string text;
  if (!EncryptData(plain, key, &text) || text.empty()) return false;
  return WriteFileData(target, text);
}

std::string WideToCodePage(const wchar_t* text, UINT codePage) {
  if (text == nullptr || text[0] == L'\0') return std::string();
  const int needed = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  try {
    std::vector<char> buffer(size_t(needed) + 1, '\0');
    if (WideCharToMultiByte(codePage, 0, text, -1, buffer.data(), needed, nullptr, nullptr) <= 0) {
      return std::string();
    }
    return std::string(buffer.data());
  } catch (const std::bad_alloc&) {
    return std::string();
  }
}

std::wstring CodePageToWide(const char* text, UINT codePage) {
  if (text == nullptr || text[0] == '\0') return std::wstring();
  const int needed = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (needed <= 0) return std::wstring();
  try {
    std::vector<wchar_t> buffer(size_t(needed) + 1, L'\0');
    if (MultiByteToWideChar(codePage, 0, text, -1, buffer.data(), needed) <= 0) return std::wstring();
    return std::wstring(buffer.data());
  } catch (const std::bad_alloc&) {
    return std::wstring();
  }
}

}  // namespace StringCipher
