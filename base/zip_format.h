// The zip records as both halves of ZipArchive see them: zip_archive.cpp reads them and
// zip_archive_writer.cpp writes them. Little-endian fields, 32-bit sizes and offsets.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ZipFormat {

constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint32_t kLocalHeaderSize = 30;
constexpr uint32_t kCentralRecordSize = 46;
constexpr uint32_t kEndRecordSize = 22;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr uint32_t kAttributeFolder = 0x10;  // external attributes

// With its terminator a name fits the 260 units of ZipEntryInfo::name.
constexpr size_t kMaxNameUnits = 259;

// p must hold 2 (4) readable bytes.
inline uint16_t Read16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t Read32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace ZipFormat
