#include <windows.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/string_cipher.h"
#include "base/zip_archive.h"
#include "tools/pkgmaker/zip_builder.h"

namespace {

// Bytes a damaged package can hand the reader: random flips, overwritten 16- and 32-bit fields
// (lengths and offsets), truncation. Fixed seeds keep every run the same.
std::string Mutate(const std::string& original, std::mt19937* random) {
  std::string bytes = original;
  const int edits = 1 + int((*random)() % 4);
  for (int e = 0; e < edits && !bytes.empty(); ++e) {
    const size_t at = (*random)() % bytes.size();
    switch ((*random)() % 4) {
      case 0:
        bytes[at] = char((*random)());
        break;
      case 1:
        for (size_t k = 0; k < 2 && at + k < bytes.size(); ++k) bytes[at + k] = char(0xFF);
        break;
      case 2: {
        const uint32_t value = (*random)();
        for (size_t k = 0; k < 4 && at + k < bytes.size(); ++k) bytes[at + k] = char(value >> (8 * k));
        break;
      }
      default:
        bytes.resize(at);
        break;
    }
  }
  return bytes;
}

constexpr uint8_t kCanary = 0xA5;

struct Exercised {
  int extracted = 0;  // successful extractions
};

// Opens and extracts everything that claims a sane size. Extraction either fails or fills
// exactly the claimed size with bytes whose CRC-32 is that of one of the archive's original
// entries (random damage cannot forge a matching CRC), and never writes past the claimed size.
void Exercise(const std::string& bytes, const std::vector<std::string>& originals, Exercised* seen) {
  ZipArchive* archive = ZipArchive::OpenFromMemory(bytes.data(), uint32_t(bytes.size()));
  if (archive == nullptr) return;
  const uint32_t count = ZipArchive::GetEntryCount(archive);
  for (uint32_t i = 0; i < count; ++i) {
    ZipEntryInfo info;
    ASSERT_TRUE(ZipArchive::GetEntry(archive, i, &info));
    if (info.uncompressedSize > (1u << 20)) continue;
    const size_t size = info.uncompressedSize;
    std::vector<uint8_t> buffer(size + 1, kCanary);
    const bool ok = ZipArchive::ExtractToBuffer(archive, i, buffer.data(), info.uncompressedSize);
    EXPECT_EQ(buffer[size], kCanary) << "written past the claimed size of entry " << i;
    if (!ok) continue;
    ++seen->extracted;
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), buffer.data(), uInt(size));
    bool known = false;
    for (const std::string& original : originals) {
      known = known || (original.size() == size &&
                        crc == crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(original.data()),
                                     uInt(original.size())));
    }
    EXPECT_TRUE(known) << "entry " << i << " reported success with " << size << " bytes that no entry held";
  }
  EXPECT_TRUE(ZipArchive::Close(archive));
}

TEST(MutationRobustness, MutatedArchivesFailCleanly) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text.push_back(char('a' + i % 23));
  ZipBuildEntry stored;
  stored.name = "stored.bin";
  stored.data = text.substr(0, 200);
  stored.deflate = false;
  ZipBuildEntry deflated;
  deflated.name = "html/index.html";
  deflated.data = text;
  ZipBuildEntry empty;
  empty.name = "empty";
  const std::string zip = BuildZipArchive({stored, deflated, empty}, "comment");

  std::mt19937 random(20240611);
  int opened = 0;
  Exercised seen;
  for (int round = 0; round < 3000; ++round) {
    const std::string bytes = Mutate(zip, &random);
    ZipArchive* archive = ZipArchive::OpenFromMemory(bytes.data(), uint32_t(bytes.size()));
    if (archive != nullptr) {
      ++opened;
      ZipArchive::Close(archive);
    }
    Exercise(bytes, {stored.data, deflated.data, empty.data}, &seen);
  }
  // The mutations must leave many archives readable, or the extraction paths go untested.
  EXPECT_GT(opened, 300);
  EXPECT_GT(seen.extracted, 300);
}

// Under a wrong key the cipher yields random bytes, which go straight into the reader.
TEST(MutationRobustness, WrongKeysAndDamagedCipherTextFailCleanly) {
  ZipBuildEntry entry;
  entry.name = "a.txt";
  entry.data = std::string(500, 'z');
  const std::string zip = BuildZipArchive({entry});
  std::string text;
  ASSERT_TRUE(StringCipher::EncryptData(zip, "right key", &text));

  std::mt19937 random(7);
  Exercised seen;
  for (int round = 0; round < 1500; ++round) {
    std::string key(1 + random() % 40, '\0');
    for (char& c : key) c = char(random());
    std::string plain;
    if (StringCipher::DecryptData(text, key, &plain)) Exercise(plain, {entry.data}, &seen);

    const std::string damaged = Mutate(text, &random);
    if (StringCipher::DecryptData(damaged, "right key", &plain)) Exercise(plain, {entry.data}, &seen);
  }
}

}  // namespace
