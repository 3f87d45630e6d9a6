// The writing side of ZipArchive (see zip_archive.h).
#include "base/zip_archive.h"

#include <shlwapi.h>

#include <cstring>
#include <new>

#include "base/deflate_codec.h"
#include "base/file_util.h"
#include "base/zip_format.h"

namespace {

using namespace ZipFormat;

constexpr uint16_t kVersion20 = 20;  // MS-DOS attributes, format 2.0
constexpr uint32_t kAttributeArchive = 0x20;
constexpr size_t kMaxEntries = 0xFFFF;  // the end record counts entries in 16 bits
// The compressed data goes into a block of twice the input, which must fit 32 bits.
constexpr uint32_t kMaxEntrySize = 0x7FFFFFFF;

void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v & 0xFF);
  p[1] = uint8_t((v >> 8) & 0xFF);
}

void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}

// The name in the ANSI code page, refused when any character would be replaced or the bytes
// would not fit the 260-byte name field.
bool ToAnsiName(const std::wstring& name, std::string* out) {
  if (name.empty() || name.size() > kMaxNameUnits) return false;
  const bool utf8 = GetACP() == CP_UTF8;  // best-fit and default-character reports are not allowed there
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL replaced = FALSE;
  BOOL* replacedOut = utf8 ? nullptr : &replaced;
  const int units = int(name.size());
  const int bytes = WideCharToMultiByte(CP_ACP, flags, name.c_str(), units, nullptr, 0, nullptr, replacedOut);
  if (bytes <= 0 || size_t(bytes) > kMaxNameUnits || replaced) return false;
  std::string ansi(size_t(bytes), '\0');
  if (WideCharToMultiByte(CP_ACP, flags, name.c_str(), units, &ansi[0], bytes, nullptr, replacedOut) != bytes ||
      replaced) {
    return false;
  }
  out->swap(ansi);
  return true;
}

bool WriteAll(HANDLE file, const void* data, size_t size, uint64_t* position) {
  if (size == 0) return true;
  DWORD written = 0;
  if (!WriteFile(file, data, DWORD(size), &written, nullptr) || written != size) return false;
  *position += written;
  return true;
}

// The path's last element, also of a folder path given with a final separator.
std::wstring LastElement(const std::wstring& path) {
  std::wstring trimmed = path;
  while (trimmed.size() > 1 && (trimmed.back() == L'\\' || trimmed.back() == L'/')) trimmed.pop_back();
  return PathFindFileNameW(trimmed.c_str());
}

}  // namespace

BOOL GetCurrentDosDateTime(uint16_t* date, uint16_t* time) {
  if (date == nullptr || time == nullptr) return FALSE;
  SYSTEMTIME now;
  GetSystemTime(&now);
  FILETIME utc, local;
  WORD dosDate = 0, dosTime = 0;
  if (!SystemTimeToFileTime(&now, &utc) || !FileTimeToLocalFileTime(&utc, &local) ||
      !FileTimeToDosDateTime(&local, &dosDate, &dosTime)) {
    return FALSE;
  }
  *date = dosDate;
  *time = dosTime;
  return TRUE;
}

bool ZipArchive::IsWriter(const ZipArchive* archive) {
  return archive != nullptr && archive->m_nKind == kKindZip && archive->m_bWriting;
}

ZipArchive* ZipArchive::CreateFile(const std::wstring& path) {
  ZipArchive* archive = new (std::nothrow) ZipArchive();
  if (archive == nullptr) return nullptr;
  archive->m_pAllocator.reset(new (std::nothrow) ZipBlockAllocator());
  if (archive->m_pAllocator) {
    archive->m_hFile = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (archive->m_hFile == INVALID_HANDLE_VALUE) {
    delete archive;
    return nullptr;
  }
  archive->m_bWriting = true;
  return archive;
}

bool ZipArchive::AppendEntry(const std::wstring& name, uint16_t method, uint16_t dosDate, uint16_t dosTime,
                             uint32_t crc, uint32_t compressedSize, uint32_t uncompressedSize, uint32_t attributes,
                             const void* block) {
  if (m_vecEntries.size() >= kMaxEntries) return false;
  try {
    ZipEntryRecord entry;
    if (!ToAnsiName(name, &entry.ansiName)) return false;
    entry.name = name;
    entry.block = block;
    entry.ownedCentral.assign(kCentralRecordSize, 0);
    uint8_t* c = entry.ownedCentral.data();
    Put32(c + 0, kCentralSignature);
    Put16(c + 4, kVersion20);
    Put16(c + 6, kVersion20);
    Put16(c + 8, 0);  // flags: no UTF-8 names, no encryption, no descriptor
    Put16(c + 10, method);
    Put16(c + 12, dosTime);
    Put16(c + 14, dosDate);
    Put32(c + 16, crc);
    Put32(c + 20, compressedSize);
    Put32(c + 24, uncompressedSize);
    Put32(c + 38, attributes);
    // Name length (28) and local header offset (42) are set when the directory is written.
    m_vecEntries.push_back(std::move(entry));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool ZipArchive::CompressIntoBlock(const uint8_t* data, uint32_t size, const void** block, uint32_t* compressedSize,
                                   uint32_t* crc) {
  if (size > kMaxEntrySize) return false;
  const uint32_t capacity = size < 512 ? 1024 : 2 * size;
  void* memory = m_pAllocator->Alloc(capacity);
  if (memory == nullptr) return false;
  try {
    m_vecBlocks.push_back(memory);  // released at close whatever happens to the entry
  } catch (const std::bad_alloc&) {
    m_pAllocator->Free(memory);
    return false;
  }
  const int32_t written = DeflateCodec::Compress(data, size, static_cast<uint8_t*>(memory), capacity, crc);
  if (written < 0) return false;
  *block = memory;
  *compressedSize = uint32_t(written);
  return true;
}

bool ZipArchive::AddFileEntry(const std::wstring& path, const std::wstring& name) {
  std::string ansi;
  if (!ToAnsiName(name, &ansi)) return false;  // refused before any work is done

  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD high = 0;
  const DWORD size = GetFileSize(file, &high);
  if ((size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0 || size > kMaxEntrySize) {
    CloseHandle(file);
    return false;
  }

  uint16_t dosDate = 0, dosTime = 0;
  FILETIME written, local;
  if (!GetFileTime(file, nullptr, nullptr, &written) || !FileTimeToLocalFileTime(&written, &local) ||
      !FileTimeToDosDateTime(&local, &dosDate, &dosTime)) {
    GetCurrentDosDateTime(&dosDate, &dosTime);
  }

  bool ok = false;
  if (size == 0) {
    ok = AppendEntry(name, kMethodStored, dosDate, dosTime, 0, 0, 0, kAttributeArchive, nullptr);
  } else if (HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr)) {
    if (const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, size)) {
      const void* block = nullptr;
      uint32_t compressed = 0, crc = 0;
      ok = CompressIntoBlock(static_cast<const uint8_t*>(view), size, &block, &compressed, &crc) &&
           AppendEntry(name, kMethodDeflated, dosDate, dosTime, crc, compressed, size, kAttributeArchive, block);
      UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
  }
  CloseHandle(file);
  return ok;
}

bool ZipArchive::AddFolderContents(const std::wstring& folder, const std::wstring& name) {
  if (!m_bWriting || !PathIsDirectoryW(folder.c_str())) return false;
  const std::wstring base = name.empty() ? LastElement(folder) : name;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  do {
    if (FileUtil::IsDotEntry(found.cFileName)) continue;
    wchar_t child[MAX_PATH + 1] = {};
    ok = PathCombineW(child, folder.c_str(), found.cFileName) != nullptr &&
         AddPath(this, child, base + L"/" + found.cFileName);
  } while (ok && FindNextFileW(find, &found));
  FindClose(find);
  return ok;
}

bool ZipArchive::AddFolderEntry(const std::wstring& folder, const std::wstring& name) {
  uint16_t dosDate = 0, dosTime = 0;
  GetCurrentDosDateTime(&dosDate, &dosTime);
  if (!AppendEntry(name + L"/", kMethodStored, dosDate, dosTime, 0, 0, 0, kAttributeFolder, nullptr)) return false;
  return AddFolderContents(folder, name);
}

bool ZipArchive::AddPath(ZipArchive* archive, const std::wstring& path, const std::wstring& name) {
  if (!IsWriter(archive) || path.empty() || !PathFileExistsW(path.c_str())) return false;
  const std::wstring entryName = name.empty() ? LastElement(path) : name;
  if (PathIsDirectoryW(path.c_str())) return archive->AddFolderEntry(path, entryName);
  return archive->AddFileEntry(path, entryName);
}

bool ZipArchive::AddBuffer(ZipArchive* archive, const uint8_t* data, uint32_t size, const std::wstring& name) {
  if (!IsWriter(archive) || data == nullptr || name.empty()) return false;
  std::string ansi;
  if (!ToAnsiName(name, &ansi)) return false;
  uint16_t dosDate = 0, dosTime = 0;
  GetCurrentDosDateTime(&dosDate, &dosTime);
  if (size == 0) return archive->AppendEntry(name, kMethodStored, dosDate, dosTime, 0, 0, 0, kAttributeArchive, nullptr);
  const void* block = nullptr;
  uint32_t compressed = 0, crc = 0;
  return archive->CompressIntoBlock(data, size, &block, &compressed, &crc) &&
         archive->AppendEntry(name, kMethodDeflated, dosDate, dosTime, crc, compressed, size, kAttributeArchive, block);
}

bool ZipArchive::WriteDirectory() {
  if (!m_bWriting) return true;
  if (SetFilePointer(m_hFile, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER || !SetEndOfFile(m_hFile)) {
    return false;
  }

  uint64_t pos = 0;
  for (ZipEntryRecord& entry : m_vecEntries) {
    uint8_t* c = entry.ownedCentral.data();
    // Offsets are 32-bit: an archive that would reach 4 GiB cannot be described.
    if (pos > 0xFFFFFFFFu) return false;
    Put16(c + 28, uint32_t(entry.ansiName.size()));
    Put32(c + 42, uint32_t(pos));

    uint8_t local[kLocalHeaderSize] = {};
    Put32(local + 0, kLocalHeaderSignature);
    memcpy(local + 4, c + 6, 22);  // version needed, flags, method, time, date, CRC-32 and both sizes
    Put16(local + 26, uint32_t(entry.ansiName.size()));
    Put16(local + 28, 0);
    const uint32_t compressed = Read32(c + 20);
    if (!WriteAll(m_hFile, local, sizeof(local), &pos) ||
        !WriteAll(m_hFile, entry.ansiName.data(), entry.ansiName.size(), &pos) ||
        (compressed > 0 && !WriteAll(m_hFile, entry.block, compressed, &pos))) {
      return false;
    }
  }
  if (pos > 0xFFFFFFFFu) return false;

  const uint64_t directoryOffset = pos;
  for (const ZipEntryRecord& entry : m_vecEntries) {
    if (!WriteAll(m_hFile, entry.ownedCentral.data(), kCentralRecordSize, &pos) ||
        !WriteAll(m_hFile, entry.ansiName.data(), entry.ansiName.size(), &pos)) {
      return false;
    }
  }
  const uint64_t directorySize = pos - directoryOffset;
  if (pos > 0xFFFFFFFFu) return false;

  uint8_t end[kEndRecordSize] = {};
  Put32(end + 0, kEndSignature);
  Put16(end + 8, uint32_t(m_vecEntries.size()));
  Put16(end + 10, uint32_t(m_vecEntries.size()));
  Put32(end + 12, uint32_t(directorySize));
  Put32(end + 16, uint32_t(directoryOffset));
  return WriteAll(m_hFile, end, sizeof(end), &pos);
}

bool ZipArchive::CloseWriter(ZipArchive* archive) {
  const bool ok = archive->WriteDirectory();
  archive->m_vecEntries.clear();
  for (void* block : archive->m_vecBlocks) archive->m_pAllocator->Free(block);
  archive->m_vecBlocks.clear();
  delete archive;  // closes the file, then the allocator goes
  return ok;
}
