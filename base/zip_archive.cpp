#include "base/zip_archive.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <zlib.h>

#include <cstring>
#include <new>

#include "base/zip_crc.h"
#include "base/zip_format.h"

namespace {

using namespace ZipFormat;

// The end record is searched in the last 22 + 65,535 (largest comment) bytes.
constexpr uint32_t kEndSearchSpan = kEndRecordSize + 0xFFFF;

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagUtf8Name = 0x0800;

// Fields of a central directory record.
uint16_t Flags(const uint8_t* central) { return Read16(central + 8); }
uint16_t Method(const uint8_t* central) { return Read16(central + 10); }
uint16_t DosTime(const uint8_t* central) { return Read16(central + 12); }
uint16_t DosDate(const uint8_t* central) { return Read16(central + 14); }
uint32_t Crc(const uint8_t* central) { return Read32(central + 16); }
uint32_t CompressedSize(const uint8_t* central) { return Read32(central + 20); }
uint32_t UncompressedSize(const uint8_t* central) { return Read32(central + 24); }
uint32_t ExternalAttributes(const uint8_t* central) { return Read32(central + 38); }
uint32_t LocalOffset(const uint8_t* central) { return Read32(central + 42); }

bool IsFolder(const uint8_t* central) {
  return (ExternalAttributes(central) & kAttributeFolder) != 0;
}

bool ConvertName(const uint8_t* bytes, uint16_t length, bool utf8, std::wstring* name) {
  name->clear();
  if (length == 0) return true;
  const UINT codePage = utf8 ? CP_UTF8 : CP_ACP;
  const char* text = reinterpret_cast<const char*>(bytes);
  const int units = MultiByteToWideChar(codePage, 0, text, length, nullptr, 0);
  // Names must fit the 260-unit name field with its terminator; longer ones are refused.
  if (units <= 0 || size_t(units) > kMaxNameUnits) return false;
  name->resize(size_t(units));
  return MultiByteToWideChar(codePage, 0, text, length, &(*name)[0], units) == units;
}

// Inflates exactly outSize bytes: fewer, more, or a damaged stream fail.
bool Inflate(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize) {
  z_stream stream;
  memset(&stream, 0, sizeof(stream));
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
  stream.next_in = const_cast<Bytef*>(in);
  stream.avail_in = inSize;
  stream.next_out = out;
  stream.avail_out = outSize;
  int result = inflate(&stream, Z_SYNC_FLUSH);
  bool ok = (result == Z_OK || result == Z_STREAM_END || result == Z_BUF_ERROR) && stream.total_out == outSize;
  if (ok && result != Z_STREAM_END) {
    // The buffer is full but the stream has not ended: it must not hold another byte.
    Bytef extra = 0;
    stream.next_out = &extra;
    stream.avail_out = 1;
    result = inflate(&stream, Z_SYNC_FLUSH);
    ok = (result == Z_OK || result == Z_STREAM_END || result == Z_BUF_ERROR) && stream.total_out == outSize;
  }
  inflateEnd(&stream);
  return ok;
}

// Entry names that would leave the target folder: absolute paths, drive or stream colons,
// and ".." elements.
bool IsSafeRelativeName(const std::wstring& name) {
  if (name.empty() || name[0] == L'/' || name[0] == L'\\') return false;
  if (name.find(L':') != std::wstring::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of(L"/\\", start);
    if (end == std::wstring::npos) end = name.size();
    if (name.compare(start, end - start, L"..") == 0) return false;
    start = end + 1;
  }
  return true;
}

bool FolderExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool AsciiEqualNoCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'A' && x <= L'Z') x = wchar_t(x - L'A' + L'a');
    if (y >= L'A' && y <= L'Z') y = wchar_t(y - L'A' + L'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

ZipArchive::~ZipArchive() {
  Release();
}

bool ZipArchive::IsReader(const ZipArchive* archive) {
  return archive != nullptr && archive->m_nKind == kKindZip && !archive->m_bWriting;
}

ZipArchive* ZipArchive::OpenFromMemory(const void* data, uint32_t size) {
  ZipArchive* archive = new (std::nothrow) ZipArchive();
  if (archive == nullptr) return nullptr;
  if (!archive->ReadCentralDirectory(static_cast<const uint8_t*>(data), size)) {
    delete archive;
    return nullptr;
  }
  return archive;
}

ZipArchive* ZipArchive::OpenFile(const std::wstring& path) {
  ZipArchive* archive = new (std::nothrow) ZipArchive();
  if (archive == nullptr) return nullptr;
  archive->m_hFile = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  bool ok = false;
  if (archive->m_hFile != INVALID_HANDLE_VALUE) {
    DWORD high = 0;
    const DWORD low = GetFileSize(archive->m_hFile, &high);
    // The format addresses the archive with 32-bit offsets.
    if (!(low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) && high == 0 && low >= kEndRecordSize) {
      archive->m_hMapping = CreateFileMappingW(archive->m_hFile, nullptr, PAGE_READONLY, 0, 0, nullptr);
      if (archive->m_hMapping != nullptr) {
        const void* view = MapViewOfFile(archive->m_hMapping, FILE_MAP_READ, 0, 0, low);
        if (view != nullptr) {
          archive->m_pData = static_cast<const uint8_t*>(view);
          ok = archive->ReadCentralDirectory(archive->m_pData, low);
        }
      }
    }
  }
  if (!ok) {
    delete archive;
    return nullptr;
  }
  return archive;
}

bool ZipArchive::ReadCentralDirectory(const uint8_t* data, uint32_t size) {
  if (data == nullptr || size < kEndRecordSize) return false;
  m_pData = data;
  m_nSize = size;

  const uint8_t* end = nullptr;
  for (uint32_t back = kEndRecordSize; back <= size && back <= kEndSearchSpan; ++back) {
    if (Read32(data + size - back) == kEndSignature) {
      end = data + size - back;
      break;
    }
  }
  if (end == nullptr) return false;
  if (Read16(end + 4) != 0 || Read16(end + 8) != Read16(end + 10)) return false;
  m_pEndRecord = end;

  const uint32_t count = Read16(end + 10);
  uint64_t offset = Read32(end + 16);
  // Every record takes at least 46 bytes: a count the bytes cannot hold is refused before
  // anything is reserved for it.
  if (offset + uint64_t(count) * kCentralRecordSize > size) return false;
  try {
    m_vecEntries.clear();
    m_vecEntries.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
      if (offset + kCentralRecordSize > size) return false;
      const uint8_t* central = data + offset;
      if (Read32(central) != kCentralSignature) return false;
      const uint16_t nameLength = Read16(central + 28);
      const uint64_t recordSize =
          uint64_t(kCentralRecordSize) + nameLength + Read16(central + 30) + Read16(central + 32);
      if (offset + recordSize > size) return false;

      ZipEntryRecord entry;
      entry.central = central;
      if (!ConvertName(central + kCentralRecordSize, nameLength, (Flags(central) & kFlagUtf8Name) != 0, &entry.name)) {
        return false;
      }
      m_vecEntries.push_back(std::move(entry));
      offset += recordSize;
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void ZipArchive::Release() {
  if (m_hMapping != nullptr) {
    // Only a file archive has a mapping; a memory block belongs to the caller.
    if (m_pData != nullptr) UnmapViewOfFile(m_pData);
    CloseHandle(m_hMapping);
    m_hMapping = nullptr;
  }
  if (m_hFile != INVALID_HANDLE_VALUE) {
    CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
  }
  m_pData = nullptr;
  m_pEndRecord = nullptr;
  m_nSize = 0;
  m_vecEntries.clear();
}

uint32_t ZipArchive::GetEntryCount(ZipArchive* archive) {
  if (archive == nullptr || archive->m_nKind != kKindZip) return 0;
  return uint32_t(archive->m_vecEntries.size());
}

void ZipArchive::FillInfo(uint32_t index, ZipEntryInfo* info) const {
  const ZipEntryRecord& entry = m_vecEntries[index];
  info->index = index;
  memset(info->name, 0, sizeof(info->name));
  memcpy(info->name, entry.name.c_str(), entry.name.size() * sizeof(wchar_t));
  info->attributes = ExternalAttributes(entry.central);
  info->compressedSize = CompressedSize(entry.central);
  info->uncompressedSize = UncompressedSize(entry.central);
}

bool ZipArchive::GetEntry(ZipArchive* archive, uint32_t index, ZipEntryInfo* info) {
  if (!IsReader(archive) || info == nullptr || index >= archive->m_vecEntries.size()) return false;
  archive->FillInfo(index, info);
  return true;
}

bool ZipArchive::FindEntry(ZipArchive* archive, const std::wstring& name, uint32_t* index, ZipEntryInfo* info) {
  if (!IsReader(archive) || index == nullptr) return false;
  std::wstring wanted = name;
  for (wchar_t& c : wanted) {
    if (c == L'\\') c = L'/';
  }
  for (uint32_t i = 0; i < archive->m_vecEntries.size(); ++i) {
    if (AsciiEqualNoCase(archive->m_vecEntries[i].name, wanted)) {
      *index = i;
      if (info != nullptr) archive->FillInfo(i, info);
      return true;
    }
  }
  return false;
}

bool ZipArchive::LocateData(const ZipEntryRecord& entry, const uint8_t** data) const {
  const uint64_t local = LocalOffset(entry.central);
  if (local + kLocalHeaderSize > m_nSize) return false;
  const uint8_t* header = m_pData + local;
  const uint64_t start = local + kLocalHeaderSize + Read16(header + 26) + Read16(header + 28);
  if (start + CompressedSize(entry.central) > m_nSize) return false;
  *data = m_pData + start;
  return true;
}

bool ZipArchive::ExtractToBuffer(ZipArchive* archive, uint32_t index, uint8_t* buffer, uint32_t size) {
  if (!IsReader(archive) || buffer == nullptr || index >= archive->m_vecEntries.size()) return false;
  const ZipEntryRecord& entry = archive->m_vecEntries[index];
  const uint8_t* central = entry.central;
  if (IsFolder(central) || UncompressedSize(central) > size) return false;

  const uint8_t* data = nullptr;
  if (!archive->LocateData(entry, &data)) return false;
  const uint32_t compressed = CompressedSize(central);

  // Success means exactly the entry's uncompressed size was produced and its CRC matches.
  const uint32_t expected = UncompressedSize(central);
  switch (Method(central)) {
    case kMethodStored:
      if (compressed != expected) return false;
      if (expected > 0) memcpy(buffer, data, expected);
      break;
    case kMethodDeflated:
      if (size != expected || !Inflate(data, compressed, buffer, expected)) return false;
      break;
    default:
      return false;
  }
  return ZipCrc32(0, buffer, expected) == Crc(central);
}

bool ZipArchive::ExtractToFile(ZipArchive* archive, uint32_t index, const std::wstring& path) {
  if (!IsReader(archive) || path.empty() || index >= archive->m_vecEntries.size()) return false;
  const uint8_t* central = archive->m_vecEntries[index].central;
  if (IsFolder(central)) return false;
  // Nothing can be written for an encrypted entry, so whatever is at path stays.
  if ((Flags(central) & kFlagEncrypted) != 0) return false;

  std::wstring folder = path;
  const size_t slash = folder.find_last_of(L"/\\");
  if (slash != std::wstring::npos && slash > 0) {
    folder.resize(slash);
    if (!FolderExists(folder)) SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  }

  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  // A file that could not be created is not ours to delete.
  if (file == INVALID_HANDLE_VALUE) return false;

  const uint32_t size = UncompressedSize(central);
  if (size == 0) {
    CloseHandle(file);
    return true;
  }

  bool ok = false;
  LARGE_INTEGER end;
  end.QuadPart = size;
  if (SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file)) {
    if (HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, size, nullptr)) {
      if (void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, size)) {
        ok = ExtractToBuffer(archive, index, static_cast<uint8_t*>(view), size);
        UnmapViewOfFile(view);
      }
      CloseHandle(mapping);
    }
  }
  if (ok) {
    FILETIME local, utc;
    if (DosDateTimeToFileTime(DosDate(central), DosTime(central), &local) && LocalFileTimeToFileTime(&local, &utc)) {
      SetFileTime(file, nullptr, nullptr, &utc);
    }
  }
  CloseHandle(file);
  if (!ok) DeleteFileW(path.c_str());
  return ok;
}

bool ZipArchive::ExtractAll(ZipArchive* archive, const std::wstring& folder) {
  if (!IsReader(archive) || folder.empty()) return false;
  if (!FolderExists(folder) && SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  bool allFiles = true;
  for (uint32_t i = 0; i < archive->m_vecEntries.size(); ++i) {
    const ZipEntryRecord& entry = archive->m_vecEntries[i];
    const bool folderEntry = IsFolder(entry.central);
    if (!IsSafeRelativeName(entry.name)) {
      if (!folderEntry) allFiles = false;
      continue;
    }
    std::wstring target = folder;
    if (target.back() != L'\\' && target.back() != L'/') target += L'\\';
    for (wchar_t c : entry.name) target += (c == L'/') ? L'\\' : c;
    if (folderEntry) {
      SHCreateDirectoryExW(nullptr, target.c_str(), nullptr);
    } else if (allFiles) {
      allFiles = ExtractToFile(archive, i, target);
    }
  }
  return allFiles;
}

bool ZipArchive::Close(ZipArchive* archive) {
  if (archive == nullptr || archive->m_nKind != kKindZip) return false;
  if (archive->m_bWriting) return CloseWriter(archive);
  delete archive;
  return true;
}
