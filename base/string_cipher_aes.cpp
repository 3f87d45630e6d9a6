// The AES variants of the string cipher (see string_cipher.h).
#include "base/string_cipher.h"

#include <climits>
#include <memory>
#include <new>
#include <vector>

#include "base/base64_codec.h"
#include "base/win_aes.h"

namespace {

constexpr size_t kKeyBytes = 16;

// A provider with a temporary container (deleted again with the object), key and IV set.
bool PrepareCipher(WinAES* aes, const std::string& key, const std::string& iv) {
  // Only the first 16 bytes are used, and there must be that many.
  if (key.size() < kKeyBytes || iv.size() < kKeyBytes) return false;
  return aes->SetKeyWithIv(reinterpret_cast<const BYTE*>(key.data()), int(kKeyBytes),
                           reinterpret_cast<const BYTE*>(iv.data()), int(kKeyBytes));
}

}  // namespace

namespace StringCipher {

bool AesDecryptData(const std::string& base64, const std::string& key, const std::string& iv, std::string* out) {
  if (out == nullptr || base64.empty() || base64.size() > size_t(INT_MAX)) return false;
  try {
    std::vector<uint8_t> decoded((base64.size() / 4) * 3 + 2);
    uint32_t length = 0;
    if (!Base64Codec::DecodeToBuffer(decoded.data(), &length, base64)) return false;
    WinAES aes(nullptr, WinAES::kCreateKeySet | WinAES::kDeleteKeySet);
    if (!PrepareCipher(&aes, key, iv)) return false;
    BYTE* plain = nullptr;
    size_t plainSize = 0;
    if (!aes.Decrypt(decoded.data(), length, &plain, &plainSize)) return false;
    std::unique_ptr<BYTE[]> owned(plain);
    out->assign(reinterpret_cast<const char*>(plain), plainSize);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool AesEncryptData(const std::string& plain, const std::string& key, const std::string& iv, std::string* outBase64) {
  if (outBase64 == nullptr || plain.empty() || plain.size() > size_t(INT_MAX)) return false;
  WinAES aes(nullptr, WinAES::kCreateKeySet | WinAES::kDeleteKeySet);
  if (!PrepareCipher(&aes, key, iv)) return false;
  BYTE* cipher = nullptr;
  size_t cipherSize = 0;
  if (!aes.Encrypt(reinterpret_cast<const BYTE*>(plain.data()), plain.size(), &cipher, &cipherSize)) return false;
  std::unique_ptr<BYTE[]> owned(cipher);
  return Base64Codec::EncodeBuffer(outBase64, cipher, uint32_t(cipherSize));
}

bool AesDecryptFile(const ATL::CStringW& source, const std::string& key, const std::string& iv,
                    const ATL::CStringW& target) {
  std::string text;
  if (!ReadFileData(source, &text)) return false;
  std::string plain;
  if (!AesDecryptData(text, key, iv, &plain) || plain.empty()) return false;
  return WriteFileData(target, plain);
}

}  // namespace StringCipher
