// A stream write handler that collects everything written into one growing heap block, for the
// off-screen view's drag and drop (a drag's file contents). Every operation may be called on
// any thread; the handler locks itself.
#pragma once

#include <cstdint>
#include <mutex>

#include "include/cef_stream.h"

namespace client {

class BytesWriteHandler : public CefWriteHandler {
 public:
  // grow: the growth step in bytes; also the first block's capacity.
  explicit BytesWriteHandler(uint32_t grow);

  // Writes size * n bytes at the position, growing the block by at least the growth step
  // when the write reaches its end. Returns n, or 0 (nothing written) when size * n does not
  // fit in 32 bits or the block cannot grow.
  size_t Write(const void* ptr, size_t size, size_t n) override;
  // whence 0: from the start; 1: from the position; 2: back from the end of the capacity by
  // |offset|. The new position must lie within the capacity. 0, or -1 with nothing changed.
  int Seek(int64 offset, int whence) override;
  int64 Tell() override;
  int Flush() override { return 0; }
  bool MayBlock() override { return false; }

  // The block, valid until the next write or the handler's end; owned by the handler. Its
  // bytes up to the position are defined: what a seek skipped without a write reads as zero.
  void* GetData();
  // The position, which is the number of bytes written when writing only appended.
  int64 GetDataSize();
  // Adds max(size, grow) bytes of capacity. Returns the new capacity, or 0 when the block
  // cannot grow (the block and capacity are then unchanged).
  size_t Grow(size_t size);

 protected:
  ~BytesWriteHandler() override;
  // The C allocator's realloc; a seam for allocation failures.
  virtual void* Reallocate(void* block, size_t bytes);

 private:
  // Under the lock. False when the block could not grow by max(size, grow_).
  bool GrowLocked(uint64_t size);
  // Under the lock: zeroes the bytes from filled_ to end (within the capacity) and moves
  // filled_ there.
  void ClearUpToLocked(int64 end);

  const uint32_t grow_;
  void* data_ = nullptr;
  int64 datasize_ = 0;
  int64 offset_ = 0;
  // The bytes before it were written or zeroed; beyond it the block holds what the heap gave.
  int64 filled_ = 0;
  // Re-entrant: writes grow the block while holding it.
  std::recursive_mutex lock_;

  IMPLEMENT_REFCOUNTING(BytesWriteHandler);
};

}  // namespace client
