// One package of the "zip" scheme, read, checked, deciphered and extracted whole into memory.
//
// Package file (L bytes):
// - plain: Base64 text (strict, no line breaks) of Blowfish-ECB, under the key's UTF-8 bytes, of a
//   zip archive zero-padded to a multiple of 8;
// - signed (URL key "rsa_" + cipher key): body (a plain package) | signature (n bytes, RSA blocks
//   made with the private half of the embedded public key, PKCS#1 v1.5) | n as 4 characters read
//   like atoi ("0128", " 128"). The signature decrypts to the 32 hex digits (either case) of the
//   MD5 of the body, optionally followed by a zero byte.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace client {

// Not thread-safe: one decoder is used by one thread (the scheme factory's IO thread). Nothing
// throws: running out of memory fails the package or skips the entry it was needed for.
class FileDecoder {
 public:
  // One entry's bytes. Copies share the bytes, which live as long as any copy. A buffer made by
  // Allocate has non-null data even for 0 bytes.
  struct DataBuffer {
    std::shared_ptr<uint8_t> data;
    uint32_t size = 0;

    // size zero-filled bytes; false, leaving the buffer as it was, when memory runs out.
    [[nodiscard]] bool Allocate(uint32_t byte_count);
  };
  using EntryMap = std::map<std::wstring, DataBuffer>;

  // key: the UTF-8 bytes of the URL key, with its "rsa_" prefix for a signed package.
  // path: the package file, handed to the file system unchanged.
  FileDecoder(const std::string& key, const std::wstring& path);

  // Reads the whole file, checks a signed package's signature, deciphers it and extracts every
  // entry. True when at least one entry was extracted. Call once.
  [[nodiscard]] bool Load();

  // The entry named exactly entry_path (letter case counts, "/" separators, no leading "/").
  // False, with *out untouched, when there is none.
  [[nodiscard]] bool GetEntry(const std::wstring& entry_path, DataBuffer* out) const;

 private:
  // Drops a leading "rsa_" from key_ when the whole key matches ^rsa_(.*?)$; true when it did,
  // that is when the package is signed.
  bool StripRsaPrefix();
  // Checks the signature trailer of *file and cuts *file down to its body. False when the
  // trailer is malformed or the signature does not match the body.
  bool VerifyRsaPackage(std::string* file) const;
  // The zip archive (zero padding included) that the Base64 text deciphers to under key_.
  bool Decrypt(const std::string& base64, std::string* archive) const;
  // Every entry that extracts; later entries of the same name replace earlier ones. Folders,
  // unsupported methods, corrupt or CRC-failed data and entries whose claimed size the archive
  // cannot hold are skipped.
  static EntryMap ExtractEntries(const std::string& archive);

  std::string key_;
  const std::wstring path_;
  EntryMap entries_;
};

}  // namespace client
