#include "base/zip_block_allocator.h"

#include <cstring>
#include <new>

#include "base/file_util.h"

namespace {

// FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE: kept in the cache where possible and
// gone with the last handle.
constexpr DWORD kTemporaryDeleteOnClose = FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE;

}  // namespace

bool ZipBlockAllocator::AllocFileBlock(uint32_t size, ZipBlockInfo* info) {
  const ATL::CStringW folder = FileUtil::GetTempFolder();  // "" when it cannot be read
  wchar_t name[MAX_PATH + 1] = {};
  if (GetTempFileNameW(folder, L"mem", 0, name) == 0) return false;

  HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            kTemporaryDeleteOnClose, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DeleteFileW(name);  // the empty file that reserved the name
    return false;
  }
  HANDLE mapping = nullptr;
  void* view = nullptr;
  LARGE_INTEGER end;
  end.QuadPart = size;
  if (SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file)) {
    mapping = CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, size, nullptr);
    if (mapping != nullptr) view = MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size);
  }
  if (view == nullptr) {
    if (mapping != nullptr) CloseHandle(mapping);
    CloseHandle(file);
    return false;
  }
  *info = {file, mapping, false, size, view};
  return true;
}

void ZipBlockAllocator::Release(const ZipBlockInfo& info) {
  if (info.heap) {
    HeapFree(GetProcessHeap(), 0, info.base);
    return;
  }
  UnmapViewOfFile(info.base);
  CloseHandle(info.mapping);
  CloseHandle(info.file);
}

void* ZipBlockAllocator::Alloc(uint32_t size) {
  ZipBlockInfo info = {INVALID_HANDLE_VALUE, nullptr, true, size, nullptr};
  if (size <= kMaxHeapBlock) info.base = HeapAlloc(GetProcessHeap(), 0, size);
  // A large block, or a heap that has no room, goes to a temporary file.
  if (info.base == nullptr && (size == 0 || !AllocFileBlock(size, &info))) return nullptr;
  try {
    _BaseModule::CAutoLocker lock(&m_lock);
    m_mapBlocks[info.base] = info;
  } catch (const std::bad_alloc&) {
    Release(info);
    return nullptr;
  }
  return info.base;
}

bool ZipBlockAllocator::Free(void* block) {
  ZipBlockInfo info;
  {
    _BaseModule::CAutoLocker lock(&m_lock);
    auto found = m_mapBlocks.find(block);
    if (found == m_mapBlocks.end()) return false;
    info = found->second;
    m_mapBlocks.erase(found);
  }
  Release(info);
  return true;
}

void* ZipBlockAllocator::Realloc(void* block, uint32_t size) {
  if (block == nullptr) return Alloc(size);
  uint32_t oldSize = 0;
  {
    _BaseModule::CAutoLocker lock(&m_lock);
    auto found = m_mapBlocks.find(block);
    if (found == m_mapBlocks.end()) return nullptr;
    oldSize = found->second.size;
  }
  if (size <= oldSize) return block;
  void* grown = Alloc(size);
  if (grown == nullptr) return nullptr;
  memcpy(grown, block, oldSize);
  Free(block);
  return grown;
}
