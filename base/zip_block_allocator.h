#pragma once

#include <windows.h>

#include <cstdint>
#include <map>

#include "base/critical_section.h"

// One block handed out by ZipBlockAllocator.
struct ZipBlockInfo {
  HANDLE file;     // the temporary file, INVALID_HANDLE_VALUE for heap blocks
  HANDLE mapping;  // null for heap blocks
  bool heap;
  uint32_t size;   // as requested
  void* base;
};

// Blocks for compressed zip data: up to 2 MiB from the process heap, larger ones as views of
// temporary "mem*.tmp" files in the temporary folder, which the system deletes when the block
// is released (or the process ends).
//
// Any thread may call; the table of blocks is locked, the blocks themselves are the caller's
// to synchronise. Blocks still held when the allocator is destroyed are not released: free
// them first.
class ZipBlockAllocator {
 public:
  static constexpr uint32_t kMaxHeapBlock = 0x200000;

  ZipBlockAllocator() = default;
  ~ZipBlockAllocator() = default;
  ZipBlockAllocator(const ZipBlockAllocator&) = delete;
  ZipBlockAllocator& operator=(const ZipBlockAllocator&) = delete;

  // A block of size bytes (not initialised for heap blocks, zero for file blocks), or null.
  void* Alloc(uint32_t size);
  // Releases a block that Alloc or Realloc returned; false for any other address.
  bool Free(void* block);
  // A null block is Alloc(size). A size not above the block's own returns the same block;
  // otherwise a new block holding the old bytes (the old one released), or null with the old
  // block kept. Null for an address this allocator did not hand out.
  void* Realloc(void* block, uint32_t size);

 private:
  static bool AllocFileBlock(uint32_t size, ZipBlockInfo* info);
  static void Release(const ZipBlockInfo& info);

  std::map<void*, ZipBlockInfo> m_mapBlocks;
  _BaseModule::CCriticalSection m_lock;
};
