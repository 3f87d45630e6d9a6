#include "browser/file_decoder.h"

#include <windows.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "base/file_util.h"
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

// The body's digest as the signer made it: its bytes up to the first zero, read as UTF-8 and
// written in the ANSI code page, as 32 upper-case hex digits. False for an empty body.
bool BodyDigest(const std::string& body, wchar_t digest[MAX_PATH]) {
  const char* text = body.c_str();
  const size_t length = strlen(text);
  bool ascii = true;
  for (size_t i = 0; i < length && ascii; ++i)
    ascii = static_cast<unsigned char>(text[i]) < 0x80;
  // ASCII (any Base64 text) is the same in UTF-8 and every ANSI code page: skip the two copies.
  if (ascii)
    return length <= size_t(INT_MAX) &&
           GetBufferMd5Hex(reinterpret_cast<const BYTE*>(text), int(length), digest, MAX_PATH);
  const std::string ansi = StringCipher::WideToCodePage(StringCipher::CodePageToWide(text, CP_UTF8).c_str(), CP_ACP);
  return ansi.size() <= size_t(INT_MAX) &&
         GetBufferMd5Hex(reinterpret_cast<const BYTE*>(ansi.data()), int(ansi.size()), digest, MAX_PATH);
}

wchar_t AsciiLower(wchar_t c) {
  return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c;
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

FileDecoder::FileDecoder(const std::string& key, const std::wstring& path) : key_(key), path_(path) {}

bool FileDecoder::Load() {
  try {
    std::string file;
    if (!FileUtil::ReadFileToString(path_.c_str(), &file))
      return false;
    if (StripRsaPrefix() && !VerifyRsaPackage(&file))
      return false;
    std::string archive;
    const bool deciphered = Decrypt(file, &archive);
    std::string().swap(file);
    if (!deciphered)
      return false;
    entries_ = ExtractEntries(archive);
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
  if (key_.compare(0, kRsaPrefixLength, kRsaPrefix) != 0)
    return false;
  // "." in the expression takes no line terminator.
  if (key_.find_first_of("\r\n", kRsaPrefixLength) != std::string::npos)
    return false;
  key_.erase(0, kRsaPrefixLength);
  return true;
}

bool FileDecoder::VerifyRsaPackage(std::string* file) const {
  const size_t length = file->size();
  if (length < kLengthFieldSize)
    return false;
  char field[kLengthFieldSize + 1] = {};
  memcpy(field, file->data() + length - kLengthFieldSize, kLengthFieldSize);
  const int signature_size = atoi(field);
  if (signature_size < 0 || size_t(signature_size) > length - kLengthFieldSize)
    return false;
  const size_t body_size = length - kLengthFieldSize - size_t(signature_size);

  std::string decrypted;
  if (!RsaCipher::PublicDecrypt(file->substr(body_size, size_t(signature_size)), &decrypted,
                                RsaCipher::GetEmbeddedKey())) {
    return false;
  }
  file->resize(body_size);
  wchar_t digest[MAX_PATH] = {};
  if (!BodyDigest(*file, digest))
    return false;
  // The signed text ends at the end of the decrypted bytes or at their first zero.
  return EqualIgnoringAsciiCase(StringCipher::CodePageToWide(decrypted.c_str(), CP_UTF8), digest);
}

bool FileDecoder::Decrypt(const std::string& base64, std::string* archive) const {
  return StringCipher::DecryptData(base64, key_, archive);
}

FileDecoder::EntryMap FileDecoder::ExtractEntries(const std::string& archive) {
  EntryMap entries;
  if (archive.size() > UINT32_MAX)
    return entries;
  std::unique_ptr<ZipArchive, ArchiveCloser> reader(
      ZipArchive::OpenFromMemory(archive.data(), uint32_t(archive.size())));
  if (!reader)
    return entries;
  ZipEntryInfo info = {};
  const uint32_t count = ZipArchive::GetEntryCount(reader.get());
  for (uint32_t index = 0; index < count; ++index) {
    if (!ZipArchive::GetEntry(reader.get(), index, &info))
      continue;
    if ((info.attributes & kFolderAttribute) != 0 || !ClaimFits(info, archive.size()))
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
