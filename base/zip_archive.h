#pragma once

// <windows.h> first: fileapi.h maps CreateFile to CreateFileW, and every unit that declares or
// calls ZipArchive members must see the same mapping.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/zip_block_allocator.h"

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
  const uint8_t* central = nullptr;  // reading: its central directory record inside the archive bytes
  std::wstring name;                 // at most 259 units
  // Writing: the entry's own central record, its compressed data (a block of the archive's
  // allocator, null for an entry without data) and its name in the ANSI code page.
  std::vector<uint8_t> ownedCentral;
  const void* block = nullptr;
  std::string ansiName;
};

// The current local time in MS-DOS form. FALSE when a conversion fails.
BOOL GetCurrentDosDateTime(uint16_t* date, uint16_t* time);

// Reader of zip archives (32-bit sizes and offsets, one disk, methods 0 and 8, CRC-32 checked)
// held in memory or in a file. Archives are handed out as handles: open, list and extract any
// number of times, then Close. Every record and every entry's data is checked against the
// archive's size, so a damaged archive (or bytes deciphered under a wrong key) fails cleanly.
//
// Writer of the same format: CreateFile, then any number of AddPath and AddBuffer, then Close,
// which writes the local headers with the data, the central directory and the end record
// (no data descriptors, no zip64). Entries keep the order they were added in; entries with
// data are deflated, empty files and folders stored. Names are written in the ANSI code page:
// a name it cannot represent exactly, a name of 260 units or more, a file of 2 GiB or more and
// an entry past the 65,535th are refused (the add fails and the archive stays usable). The
// compressed data waits in memory (large blocks in temporary files) until Close.
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
  // least its size, the bytes past it left as they were. True only when exactly the uncompressed
  // size was produced (a stored entry's data is as long as that, a deflated one inflates to
  // exactly that) and its CRC-32 matches. buffer must not be null, even for an entry of 0
  // bytes. On failure the buffer may be partly written.
  [[nodiscard]] static bool ExtractToBuffer(ZipArchive* archive, uint32_t index, uint8_t* buffer, uint32_t size);
  // Writes the entry to a new file at path (its folder created when missing) with the entry's
  // time. On failure no file is left at path; an encrypted entry fails without touching path.
  [[nodiscard]] static bool ExtractToFile(ZipArchive* archive, uint32_t index, const std::wstring& path);
  // Extracts every entry below folder, creating it when missing. Names that are absolute, carry
  // a drive or stream colon, or have a ".." element are refused and count as failures; after
  // the first failed file the remaining files are skipped. True when every file was extracted.
  [[nodiscard]] static bool ExtractAll(ZipArchive* archive, const std::wstring& folder);

  // Creates (or replaces) the file at path, held without sharing until Close. Null on failure.
  static ZipArchive* CreateFile(const std::wstring& path);
  // Adds a file, or a folder with everything below it ("F/", "F/x", "F/s/"), under name, or
  // under the path's last element when name is empty. A file keeps its last-write time. A
  // folder that fails part-way keeps the entries added before the failure.
  [[nodiscard]] static bool AddPath(ZipArchive* archive, const std::wstring& path, const std::wstring& name);
  // Adds size bytes at data (copied and compressed at once) as a file entry named name,
  // stamped with the current time. name must not be empty.
  [[nodiscard]] static bool AddBuffer(ZipArchive* archive, const uint8_t* data, uint32_t size,
                                      const std::wstring& name);

  // Releases the archive (the caller's memory block stays untouched) and frees the handle.
  // A writing archive first writes its directory: the result is whether the file was written
  // whole (a failure leaves a partial file).
  static bool Close(ZipArchive* archive);

 private:
  ZipArchive() = default;
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  static bool IsReader(const ZipArchive* archive);
  static bool IsWriter(const ZipArchive* archive);
  static bool CloseWriter(ZipArchive* archive);
  bool AddFolderContents(const std::wstring& folder, const std::wstring& name);
  bool AddFileEntry(const std::wstring& path, const std::wstring& name);
  bool AddFolderEntry(const std::wstring& folder, const std::wstring& name);
  bool AppendEntry(const std::wstring& name, uint16_t method, uint16_t dosDate, uint16_t dosTime, uint32_t crc,
                   uint32_t compressedSize, uint32_t uncompressedSize, uint32_t attributes, const void* block);
  bool CompressIntoBlock(const uint8_t* data, uint32_t size, const void** block, uint32_t* compressedSize,
                         uint32_t* crc);
  bool WriteDirectory();
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
  // Writing only.
  std::unique_ptr<ZipBlockAllocator> m_pAllocator;
  std::vector<void*> m_vecBlocks;
};
