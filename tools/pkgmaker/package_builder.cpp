#include <windows.h>

#include "tools/pkgmaker/package_builder.h"

#include <cstdio>

#include "base/md5.h"
#include "base/rsa_cipher.h"
#include "base/string_cipher.h"

bool BuildPlainPackage(const std::string& zipArchive, const std::string& key, std::string* out) {
  return out != nullptr && StringCipher::EncryptData(zipArchive, key, out);
}

bool BuildSignedPackage(const std::string& zipArchive, const std::string& key, const std::string& pemPrivateKey,
                        std::string* out) {
  std::string body;
  if (out == nullptr || !BuildPlainPackage(zipArchive, key, &body)) return false;
  char digest[33];
  if (!GetBufferMd5HexA(reinterpret_cast<const BYTE*>(body.data()), int(body.size()), digest, sizeof(digest))) {
    return false;
  }
  std::string signature;
  if (!RsaCipher::PrivateEncrypt(std::string(digest, 32), &signature, pemPrivateKey)) return false;
  if (signature.empty() || signature.size() > 9999) return false;
  char length[8];
  snprintf(length, sizeof(length), "%04u", unsigned(signature.size()));
  *out = body + signature + length;
  return true;
}
