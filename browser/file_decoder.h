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

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "base/smart_handle.h"

namespace client {

// What one package may take, checked before memory is taken for it. A package over either bound
// fails to load, with a log line.
struct PackageLimits {
  uint64_t max_file_bytes;       // the package file, read whole
  uint64_t max_extracted_bytes;  // its entries together, as the archive states their sizes
};

// The product's bounds. UI packages are a few MiB of pages, scripts and images; these are far
// above any of them, and low enough that one package and its entries still fit beside the engine
// in the 2 GiB of a 32-bit process (the file buffer is alive while the entries are extracted).
constexpr PackageLimits kPackageLimits = {uint64_t(256) << 20, uint64_t(512) << 20};

// Which file an open handle reads: equal for every path that reaches the same file (letter
// case, short names, "." and "..", links), different for different files.
struct FileIdentity {
  uint32_t volume = 0;
  uint32_t index_high = 0;
  uint32_t index_low = 0;
  bool operator<(const FileIdentity& other) const;
};

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
  // path: the package file as the URL names it.
  FileDecoder(const std::string& key, const std::wstring& path, const PackageLimits& limits = kPackageLimits);

  // The full form of a package path, the only form that reaches the file system: made full by
  // GetFullPathNameW (relative paths against the process's current folder, "/" as "\", "." and
  // ".." resolved, trailing dots and blanks dropped), its drive letter in upper case. False, with
  // a log line, unless it names a file on a drive ("X:\..."): UNC paths would make the process
  // connect to the server they name, and the device and NT namespaces ("\\?\", "\\.\", "\??\",
  // and NUL, COM1... which resolve to "\\.\") reach devices. False, silently, for an empty path.
  // Any thread; running out of memory raises std::bad_alloc.
  [[nodiscard]] static bool FullPackagePath(const std::wstring& path, std::wstring* full);

  // What a key (as the constructor takes it) opens packages with: equal for keys that open every
  // package alike, different otherwise. The "rsa_" prefix counts as the decoder reads it; the
  // cipher reads the rest only up to its 72nd byte and repeats a shorter key, so "k", "kk" and
  // "kkk" are one key. Pure; any thread; running out of memory raises std::bad_alloc.
  static std::string CipherIdentity(const std::string& key);

  // Opens the package file (its full path; see FullPackagePath) for Load and checks its size
  // against the limits. False when the path is refused, the file cannot be opened or sized, or it
  // is too large (logged). Call at most once.
  [[nodiscard]] bool Open();
  // The opened file; false before a successful Open, or when the file system tells no identity
  // (no file index).
  [[nodiscard]] bool GetIdentity(FileIdentity* identity) const;

  // Reads the whole file (opening it first unless Open succeeded), checks a signed package's
  // signature, deciphers it and extracts every entry, then closes the file. True when at least
  // one entry was extracted. Call once.
  [[nodiscard]] bool Load();

  // The entry named exactly entry_path (letter case counts, "/" separators, no leading "/").
  // False, with *out untouched, when there is none.
  [[nodiscard]] bool GetEntry(const std::wstring& entry_path, DataBuffer* out) const;

 private:
  // Drops a leading "rsa_" from key_ when the whole key matches ^rsa_(.*?)$; true when it did,
  // that is when the package is signed.
  bool StripRsaPrefix();
  // Checks the signature trailer of the length bytes at file and sets *body_length to the
  // length of the body before it. False when the trailer is malformed or the signature does not
  // match the body.
  bool VerifyRsaPackage(const char* file, size_t length, size_t* body_length) const;
  // Deciphers the Base64 text of length bytes at text in place; *archive_length bytes of the
  // zip archive (zero padding included) are then at text.
  bool Decrypt(char* text, size_t length, uint32_t* archive_length) const;
  // Every entry that extracts; later entries of the same name replace earlier ones. Folders,
  // unsupported methods, corrupt or CRC-failed data and entries whose claimed size the archive
  // cannot hold are skipped. Empty, with a log line, when the entries together claim more than
  // the limits allow.
  EntryMap ExtractEntries(const uint8_t* archive, uint32_t size) const;

  std::string key_;
  const std::wstring path_;
  const PackageLimits limits_;
  std::wstring full_path_;
  CSmartHandle file_;
  uint64_t file_size_ = 0;
  EntryMap entries_;
};

}  // namespace client
