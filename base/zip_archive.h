#pragma once

// <windows.h> first: fileapi.h maps CreateFile to CreateFileW, and every unit that declares or
// calls ZipArchive members must see the same mapping.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// What GetEntry and FindEntry report of one entry.
struct ZipEntryInfo {
  uint32_t index;
  wchar_t name[260];  // as stored, zero-terminated; folders end with "/"
  uint32_t attributes;  // external attributes; 0x10 marks a folder
  uint32_t compressedSize;
  uint32_t uncompressedSize;
};

// One entry of an open archive.
struct ZipEntryRecord {
  const uint8_t* central;  // its central directory record inside the archive bytes
  std::wstring name;       // at most 259 units
};

// Reader of zip archives (32-bit sizes and offsets, one disk, methods 0 and 8, CRC-32 checked)
// held in memory or in a file. Archives are handed out as handles: open, list and extract any
// number of times, then Close. Every record and every entry's data is checked against the
// archive's size, so a damaged archive (or bytes deciphered under a wrong key) fails cleanly.
//
// One handle is used by one thread at a time; separate handles, even over the same bytes, are
// independent. Failures are results (null, false or 0); nothing throws or logs.
class ZipArchive {
 public:
  // Opens an archive held in memory. The block is borrowed: it must stay valid and unchanged
  // until Close, and it is never freed or written. Null on failure.
  static ZipArchive* OpenFromMemory(const void* data, uint32_t size);
  // Opens an archive file (under 4 GiB) through a read-only mapping. Null on failure.
  static ZipArchive* OpenFile(const std::wstring& path);

  static uint32_t GetEntryCount(ZipArchive* archive);
  [[nodiscard]] static bool GetEntry(ZipArchive* archive, uint32_t index, ZipEntryInfo* info);
  // name's "\" count as "/"; ASCII letters match regardless of case; the first match wins.
  // info may be null.
  [[nodiscard]] static bool FindEntry(ZipArchive* archive, const std::wstring& name, uint32_t* index,
                                      ZipEntryInfo* info);

  // A deflated entry needs a buffer of exactly its uncompressed size; a stored entry one of at
  // least its size, the bytes past it left as they were. buffer must not be null, even for an
  // entry of 0 bytes. On failure the buffer may be partly written.
  [[nodiscard]] static bool ExtractToBuffer(ZipArchive* archive, uint32_t index, uint8_t* buffer, uint32_t size);
  // Writes the entry to a new file at path (its folder created when missing) with the entry's
  // time. On failure no file is left at path; an encrypted entry fails without touching path.
  [[nodiscard]] static bool ExtractToFile(ZipArchive* archive, uint32_t index, const std::wstring& path);
  // Extracts every entry below folder, creating it when missing. Names that are absolute, carry
  // a drive or stream colon, or have a ".." element are refused and count as failures; after
  // the first failed file the remaining files are skipped. True when every file was extracted.
  [[nodiscard]] static bool ExtractAll(ZipArchive* archive, const std::wstring& folder);

  // Releases the archive (the caller's memory block stays untouched) and frees the handle.
  static bool Close(ZipArchive* archive);

 private:
  ZipArchive() = default;
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  static bool IsReader(const ZipArchive* archive);
  bool ReadCentralDirectory(const uint8_t* data, uint32_t size);
  void Release();
  void FillInfo(uint32_t index, ZipEntryInfo* info) const;
  bool LocateData(const ZipEntryRecord& entry, const uint8_t** data) const;

  static constexpr uint32_t kKindZip = 2;

  uint32_t m_nKind = kKindZip;
  HANDLE m_hFile = INVALID_HANDLE_VALUE;
  HANDLE m_hMapping = nullptr;
  const uint8_t* m_pData = nullptr;
  bool m_bWriting = false;
  uint32_t m_nSize = 0;
  const uint8_t* m_pEndRecord = nullptr;
  std::vector<ZipEntryRecord> m_vecEntries;
};
