#include "browser/file_decoder.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include "base/blowfish_cipher.h"
#include "base/log.h"
#include "base/md5.h"
#include "base/rsa_cipher.h"
#include "base/string_cipher.h"
#include "base/zip_archive.h"

namespace client {

namespace {

const char kRsaPrefix[] = "rsa_";
const size_t kRsaPrefixLength = sizeof(kRsaPrefix) - 1;
const size_t kLengthFieldSize = 4;
const uint32_t kFolderAttribute = 0x10;
// Deflate's best ratio: a 258-byte match in 2 bits. No honest entry claims more than this many
// bytes per stored or compressed byte.
const uint64_t kMaxInflateRatio = 1032;

struct FreeDeleter {
  void operator()(uint8_t* bytes) const { free(bytes); }
};

struct ArchiveCloser {
  void operator()(ZipArchive* archive) const { ZipArchive::Close(archive); }
};

// Whether the archive's bytes can hold what the entry claims, checked before anything is
// allocated for it: a damaged archive, or bytes deciphered under a wrong key, may claim 4 GiB.
bool ClaimFits(const ZipEntryInfo& info, size_t archive_size) {
  return info.compressedSize <= archive_size &&
         uint64_t(info.uncompressedSize) <= uint64_t(info.compressedSize) * kMaxInflateRatio;
}

// An entry that extraction allocates for.
bool IsCandidate(const ZipEntryInfo& info, size_t archive_size) {
  return (info.attributes & kFolderAttribute) == 0 && ClaimFits(info, archive_size);
}

// The body's digest as the signer made it: its bytes up to the first zero, read as UTF-8 and
// written in the ANSI code page, as 32 upper-case hex digits. False for an empty body.
bool BodyDigest(const char* body, size_t length, wchar_t digest[MAX_PATH]) {
  const void* zero = memchr(body, 0, length);
  if (zero != nullptr)
    length = size_t(static_cast<const char*>(zero) - body);
  bool ascii = true;
  for (size_t i = 0; i < length && ascii; ++i)
    ascii = static_cast<unsigned char>(body[i]) < 0x80;
  // ASCII (any Base64 text) is the same in UTF-8 and every ANSI code page: skip the two copies.
  if (ascii)
    return length <= size_t(INT_MAX) &&
           GetBufferMd5Hex(reinterpret_cast<const BYTE*>(body), int(length), digest, MAX_PATH);
  const std::string text(body, length);
  const std::string ansi = StringCipher::WideToCodePage(StringCipher::CodePageToWide(text.c_str(), CP_UTF8).c_str(), CP_ACP);
  return ansi.size() <= size_t(INT_MAX) &&
         GetBufferMd5Hex(reinterpret_cast<const BYTE*>(ansi.data()), int(ansi.size()), digest, MAX_PATH);
}

// Whether key names a signed package: "rsa_" and then no line terminator (the whole key matches
// ^rsa_(.*?)$, whose "." takes none). *rest is what follows the prefix then.
bool SplitRsaPrefix(const std::string& key, std::string* rest) {
  if (key.compare(0, kRsaPrefixLength, kRsaPrefix) != 0 ||
      key.find_first_of("\r\n", kRsaPrefixLength) != std::string::npos)
    return false;
  rest->assign(key, kRsaPrefixLength, std::string::npos);
  return true;
}

bool IsSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

// "\??\" with either separator. CreateFileW takes the rest of such a path as an NT path, whatever
// GetFullPathNameW makes of it.
bool IsNtNamespacePath(const std::wstring& path) {
  return path.size() >= 4 && IsSeparator(path[0]) && path[1] == L'?' && path[2] == L'?' && IsSeparator(path[3]);
}

bool IsDriveLetter(wchar_t c) {
  return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

wchar_t AsciiLower(wchar_t c) {
  return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c;
}

wchar_t AsciiUpper(wchar_t c) {
  return (c >= L'a' && c <= L'z') ? wchar_t(c - L'a' + L'A') : c;
}

bool EqualIgnoringAsciiCase(const std::wstring& a, const wchar_t* b) {
  size_t i = 0;
  for (; i < a.size(); ++i) {
    if (b[i] == L'\0' || AsciiLower(a[i]) != AsciiLower(b[i]))
      return false;
  }
  return b[i] == L'\0';
}

}  // namespace

bool FileIdentity::operator<(const FileIdentity& other) const {
  if (volume != other.volume)
    return volume < other.volume;
  if (index_high != other.index_high)
    return index_high < other.index_high;
  return index_low < other.index_low;
}

bool FileDecoder::DataBuffer::Allocate(uint32_t byte_count) {
  // One byte at least, so that even an empty entry has somewhere to be extracted to.
  uint8_t* bytes = static_cast<uint8_t*>(calloc(byte_count ? byte_count : 1, 1));
  if (bytes == nullptr)
    return false;
  try {
    data.reset(bytes, FreeDeleter());
  } catch (const std::bad_alloc&) {
    return false;  // the deleter has freed the bytes
  }
  size = byte_count;
  return true;
}

FileDecoder::FileDecoder(const std::string& key, const std::wstring& path, const PackageLimits& limits)
    : key_(key), path_(path), limits_(limits) {}

bool FileDecoder::FullPackagePath(const std::wstring& path, std::wstring* full) {
  if (path.empty() || path.find(L'\0') != std::wstring::npos)
    return false;
  std::wstring result(MAX_PATH, L'\0');
  DWORD length = GetFullPathNameW(path.c_str(), DWORD(result.size()), &result[0], nullptr);
  if (length >= result.size()) {
    result.resize(length);
    length = GetFullPathNameW(path.c_str(), DWORD(result.size()), &result[0], nullptr);
  }
  if (length == 0 || length >= result.size())
    return false;
  result.resize(length);
  // Only "X:\": "\\server\share" and "\\?\", "\\.\" begin with two separators, and DOS device
  // names come back as "\\.\NUL".
  if (IsNtNamespacePath(path) || result.size() < 3 || !IsDriveLetter(result[0]) || result[1] != L':' ||
      result[2] != L'\\') {
    LogErrorW(L"FileDecoder::FullPackagePath refused %s: not a file on a local drive", path.c_str());
    return false;
  }
  result[0] = AsciiUpper(result[0]);
  full->swap(result);
  return true;
}

bool FileDecoder::Open() {
  file_.Close();
  if (!FullPackagePath(path_, &full_path_))
    return false;
  HANDLE file = CreateFileW(full_path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  file_ = file;
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file, &size) || size.QuadPart < 0) {
    file_.Close();
    return false;
  }
  if (uint64_t(size.QuadPart) > limits_.max_file_bytes) {
    LogErrorW(L"FileDecoder::Open refused %s: %I64u bytes, over the %I64u a package may have", full_path_.c_str(),
              uint64_t(size.QuadPart), limits_.max_file_bytes);
    file_.Close();
    return false;
  }
  // The archive format addresses 32 bits.
  if (uint64_t(size.QuadPart) >= (uint64_t(1) << 32)) {
    file_.Close();
    return false;
  }
  file_size_ = uint64_t(size.QuadPart);
  return true;
}

bool FileDecoder::GetIdentity(FileIdentity* identity) const {
  BY_HANDLE_FILE_INFORMATION information = {};
  if (static_cast<HANDLE>(file_) == nullptr || !GetFileInformationByHandle(file_, &information))
    return false;
  // A file system without file indexes reports 0 for every file: that tells nothing.
  if (information.nFileIndexHigh == 0 && information.nFileIndexLow == 0)
    return false;
  identity->volume = information.dwVolumeSerialNumber;
  identity->index_high = information.nFileIndexHigh;
  identity->index_low = information.nFileIndexLow;
  return true;
}

bool FileDecoder::Load() {
  try {
    if (static_cast<HANDLE>(file_) == nullptr && !Open())
      return false;
    // Not zero-filled: the read writes every byte, and a short read fails the package.
    const size_t size = size_t(file_size_);
    std::unique_ptr<char[]> file(new (std::nothrow) char[size ? size : 1]);
    if (!file)
      return false;
    DWORD read = 0;
    const bool whole = ReadFile(file_, file.get(), DWORD(size), &read, nullptr) && read == size;
    file_.Close();
    if (!whole)
      return false;
    size_t body_length = size;
    if (StripRsaPrefix() && !VerifyRsaPackage(file.get(), size, &body_length))
      return false;
    uint32_t archive_length = 0;
    if (!Decrypt(file.get(), body_length, &archive_length))
      return false;
    entries_ = ExtractEntries(reinterpret_cast<const uint8_t*>(file.get()), archive_length);
    return !entries_.empty();
  } catch (const std::exception&) {
    return false;
  }
}

bool FileDecoder::GetEntry(const std::wstring& entry_path, DataBuffer* out) const {
  const auto it = entries_.find(entry_path);
  if (it == entries_.end())
    return false;
  *out = it->second;
  return true;
}

bool FileDecoder::StripRsaPrefix() {
  std::string rest;
  if (!SplitRsaPrefix(key_, &rest))
    return false;
  key_.swap(rest);
  return true;
}

std::string FileDecoder::CipherIdentity(const std::string& key) {
  std::string rest;
  const bool is_signed = SplitRsaPrefix(key, &rest);
  const std::string& cipher_key = is_signed ? rest : key;
  if (cipher_key.size() > size_t(INT_MAX))
    return std::string(is_signed ? "S" : "P") + cipher_key;  // refused by the cipher anyway
  return (is_signed ? "S" : "P") +
         BlowfishCipher::ScheduleBytes(reinterpret_cast<const uint8_t*>(cipher_key.data()), int(cipher_key.size()));
}

bool FileDecoder::VerifyRsaPackage(const char* file, size_t length, size_t* body_length) const {
  if (length < kLengthFieldSize)
    return false;
  char field[kLengthFieldSize + 1] = {};
  memcpy(field, file + length - kLengthFieldSize, kLengthFieldSize);
  const int signature_size = atoi(field);
  if (signature_size < 0 || size_t(signature_size) > length - kLengthFieldSize)
    return false;
  const size_t body_size = length - kLengthFieldSize - size_t(signature_size);

  std::string decrypted;
  if (!RsaCipher::PublicDecrypt(std::string(file + body_size, size_t(signature_size)), &decrypted,
                                RsaCipher::GetEmbeddedKey())) {
    return false;
  }
  wchar_t digest[MAX_PATH] = {};
  if (!BodyDigest(file, body_size, digest))
    return false;
  // The signed text ends at the end of the decrypted bytes or at their first zero.
  if (!EqualIgnoringAsciiCase(StringCipher::CodePageToWide(decrypted.c_str(), CP_UTF8), digest))
    return false;
  *body_length = body_size;
  return true;
}

bool FileDecoder::Decrypt(char* text, size_t length, uint32_t* archive_length) const {
  return length <= UINT32_MAX && StringCipher::DecryptInPlace(text, uint32_t(length), key_, archive_length);
}

FileDecoder::EntryMap FileDecoder::ExtractEntries(const uint8_t* archive, uint32_t size) const {
  EntryMap entries;
  std::unique_ptr<ZipArchive, ArchiveCloser> reader(ZipArchive::OpenFromMemory(archive, size));
  if (!reader)
    return entries;
  ZipEntryInfo info = {};
  const uint32_t count = ZipArchive::GetEntryCount(reader.get());
  // What the entries claim is what is allocated for them: the total is checked before any.
  uint64_t claimed = 0;
  for (uint32_t index = 0; index < count; ++index) {
    if (ZipArchive::GetEntry(reader.get(), index, &info) && IsCandidate(info, size))
      claimed += info.uncompressedSize;
  }
  if (claimed > limits_.max_extracted_bytes) {
    LogErrorW(L"FileDecoder::ExtractEntries refused %s: entries of %I64u bytes, over the %I64u a package may extract to",
              full_path_.c_str(), claimed, limits_.max_extracted_bytes);
    return entries;
  }
  for (uint32_t index = 0; index < count; ++index) {
    if (!ZipArchive::GetEntry(reader.get(), index, &info) || !IsCandidate(info, size))
      continue;
    DataBuffer buffer;
    if (!buffer.Allocate(info.uncompressedSize))
      continue;
    if (!ZipArchive::ExtractToBuffer(reader.get(), index, buffer.data.get(), buffer.size))
      continue;
    try {
      entries[info.name] = buffer;
    } catch (const std::bad_alloc&) {
      // This entry is lost; the others may still fit.
    }
  }
  return entries;
}

}  // namespace client
