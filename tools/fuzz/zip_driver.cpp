// Zip reader: open, list and extract every entry that claims at most 16 MiB. A success must
// fill exactly the claimed size, with bytes whose CRC-32 is that of one of the seeds' entries
// (damage cannot forge a matching CRC), and write nothing past it.
#include <windows.h>
#include <zlib.h>

#include <set>
#include <string>
#include <vector>

#include "base/zip_archive.h"
#include "tools/fuzz/fuzz_drivers.h"
#include "tools/pkgmaker/zip_builder.h"

namespace fuzz {

namespace {

constexpr uint32_t kLargestExtraction = 16u << 20;
constexpr uint8_t kCanary = 0xA5;
// What opening an archive (its object and entry records) may allocate beyond
// kAllocationFactor times the input. The driver's allowance is far larger because it covers
// the extraction buffers this check allocates, so it would hide a reader that reserves for a
// hostile entry count before checking it against the bytes.
constexpr size_t kOpenAllowance = 64u << 10;

std::vector<ZipBuildEntry> Entries() {
  std::string text;
  for (int i = 0; i < 5000; ++i) text.push_back(static_cast<char>('a' + (i * 7) % 23));
  std::string noise;
  for (int i = 0; i < 700; ++i) noise.push_back(static_cast<char>((i * 2654435761u) >> 13));
  std::vector<ZipBuildEntry> entries(6);
  entries[0].name = "stored.bin";
  entries[0].data = text.substr(0, 300);
  entries[0].deflate = false;
  entries[1].name = "html/index.html";
  entries[1].data = text;
  entries[2].name = "empty";
  entries[3].name = "noise.bin";
  entries[3].data = noise;
  entries[4].name = "dir/";
  entries[4].externalAttributes = 0x10;
  entries[5].name = "short-stored";
  entries[5].data = "abc";
  entries[5].deflate = false;
  return entries;
}

const std::set<std::pair<uLong, size_t>>& KnownContents() {
  static const std::set<std::pair<uLong, size_t>> known = [] {
    std::set<std::pair<uLong, size_t>> set;
    for (const ZipBuildEntry& e : Entries()) {
      set.insert({crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(e.data.data()), uInt(e.data.size())),
                  e.data.size()});
    }
    return set;
  }();
  return known;
}

std::vector<std::string> Seeds() {
  const std::vector<ZipBuildEntry> all = Entries();
  return {BuildZipArchive(all, "comment"), BuildZipArchive({all[0], all[1], all[2]}),
          BuildZipArchive({all[5]}), BuildZipArchive({all[3], all[4]})};
}

void PutLE32(std::string* s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*s)[at + i] = static_cast<char>(v >> (8 * i));
}

std::vector<std::string> Crafted() {
  // A stored entry whose data is shorter than its claimed size, with the CRC of the short data.
  std::string shortStored = BuildZipArchive({Entries()[5]});
  const size_t central = shortStored.rfind(std::string("PK\x01\x02", 4));
  PutLE32(&shortStored, central + 24, 16u << 20);
  // 22 bytes that claim 65,535 entries.
  std::string endOnly("PK\x05\x06\0\0\0\0\xFF\xFF\xFF\xFF\0\0\0\0\0\0\0\0\0\0", 22);
  return {shortStored, endOnly};
}

void Check(const std::string& input, CaseReport* report) {
  // The harness has just reset the peak; resetting it again here changes nothing it measures.
  const size_t before = LiveBytes();
  ResetPeak();
  ZipArchive* archive = ZipArchive::OpenFromMemory(input.data(), uint32_t(input.size()));
  const size_t openPeak = PeakBytes() > before ? PeakBytes() - before : 0;
  if (openPeak > kAllocationFactor * input.size() + kOpenAllowance) {
    report->Violation("opening allocated " + std::to_string(openPeak) + " bytes for " + std::to_string(input.size()));
  }
  if (!archive) return;
  const uint32_t count = ZipArchive::GetEntryCount(archive);
  for (uint32_t i = 0; i < count; ++i) {
    ZipEntryInfo info;
    if (!ZipArchive::GetEntry(archive, i, &info)) {
      report->Violation("GetEntry failed for an entry the count includes");
      continue;
    }
    if (info.uncompressedSize > kLargestExtraction) continue;
    std::vector<uint8_t> buffer(size_t(info.uncompressedSize) + 1, kCanary);
    const bool ok = ZipArchive::ExtractToBuffer(archive, i, buffer.data(), info.uncompressedSize);
    if (buffer[info.uncompressedSize] != kCanary) report->Violation("wrote past the claimed size");
    if (!ok) continue;
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), buffer.data(), uInt(info.uncompressedSize));
    if (!KnownContents().count({crc, info.uncompressedSize})) {
      report->Violation("success with " + std::to_string(info.uncompressedSize) + " bytes that no entry held");
    }
  }
  if (!ZipArchive::Close(archive)) report->Violation("Close failed");
}

}  // namespace

// A case may extract up to 16 MiB from a small archive: the output buffers are the caller's.
const Driver kZipDriver = {"zip", (16u << 20) + (1u << 20), &Seeds, &Crafted, &Check};

}  // namespace fuzz
