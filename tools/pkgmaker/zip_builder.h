#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Builds zip archives in memory (32-bit format, one disk): local headers, data, central
// directory and end record. Used by the package maker and by tests that need archives with
// particular flags, methods or damage.

struct ZipBuildEntry {
  std::string name;  // stored bytes of the name ("/" separators; a folder ends with "/")
  std::string data;
  bool deflate = true;            // raw deflate (method 8), else stored (method 0)
  uint16_t flags = 0x0800;        // general-purpose flags; bit 11 = UTF-8 name
  uint32_t externalAttributes = 0;  // 0x10 marks a folder
  int methodOverride = -1;        // when >= 0, this method number is written over the data as stored
  uint16_t dosTime = 0x6000;      // 12:00:00
  uint16_t dosDate = 0x5A21;      // 2025-01-01
};

// The archive bytes; empty when compression fails. comment is written after the end record.
std::string BuildZipArchive(const std::vector<ZipBuildEntry>& entries, const std::string& comment = std::string());
