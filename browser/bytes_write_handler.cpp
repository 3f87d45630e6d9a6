#include "browser/bytes_write_handler.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace client {

BytesWriteHandler::BytesWriteHandler(uint32_t grow) : grow_(grow), datasize_(grow) {
  // Never an empty block, so growing never reallocates to 0 bytes.
  data_ = malloc(std::max<size_t>(grow, 1));
  if (!data_)
    datasize_ = 0;
}

BytesWriteHandler::~BytesWriteHandler() {
  free(data_);
}

void* BytesWriteHandler::Reallocate(void* block, size_t bytes) {
  return realloc(block, bytes);
}

size_t BytesWriteHandler::Write(const void* ptr, size_t size, size_t n) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  // The byte count is a 32-bit product on every build; one that does not fit loses nothing
  // silently: nothing is written and 0 reports it.
  const uint64_t count = static_cast<uint64_t>(size) * n;
  if ((size != 0 && count / size != n) || count > std::numeric_limits<uint32_t>::max())
    return 0;
  if (offset_ + static_cast<int64>(count) >= datasize_ && !GrowLocked(count))
    return 0;
  if (count) {
    ClearUpToLocked(offset_);
    memcpy(static_cast<char*>(data_) + offset_, ptr, static_cast<size_t>(count));
  }
  offset_ += static_cast<int64>(count);
  filled_ = std::max(filled_, offset_);
  return n;
}

void BytesWriteHandler::ClearUpToLocked(int64 end) {
  if (end <= filled_)
    return;
  memset(static_cast<char*>(data_) + filled_, 0, static_cast<size_t>(end - filled_));
  filled_ = end;
}

bool BytesWriteHandler::GrowLocked(uint64_t size) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  const uint64_t step = std::max<uint64_t>(size, grow_);
  if (step == 0)
    return true;  // nothing to add
  const uint64_t capacity = static_cast<uint64_t>(datasize_) + step;
  if (!data_ || capacity > std::numeric_limits<size_t>::max())
    return false;
  void* grown = Reallocate(data_, static_cast<size_t>(capacity));
  if (!grown)
    return false;
  data_ = grown;
  datasize_ = static_cast<int64>(capacity);
  return true;
}

size_t BytesWriteHandler::Grow(size_t size) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return GrowLocked(size) ? static_cast<size_t>(datasize_) : 0;
}

int BytesWriteHandler::Seek(int64 offset, int whence) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  int64 position = 0;
  switch (whence) {
    case SEEK_SET:
      position = offset;
      break;
    case SEEK_CUR:
      if (__builtin_add_overflow(offset_, offset, &position))
        return -1;
      break;
    case SEEK_END:
      // Back from the end of the capacity, whatever the sign.
      if (offset == std::numeric_limits<int64>::min())
        return -1;
      position = datasize_ - (offset < 0 ? -offset : offset);
      break;
    default:
      return -1;
  }
  if (position < 0 || position > datasize_)
    return -1;
  offset_ = position;
  return 0;
}

int64 BytesWriteHandler::Tell() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return offset_;
}

void* BytesWriteHandler::GetData() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  ClearUpToLocked(offset_);
  return data_;
}

int64 BytesWriteHandler::GetDataSize() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  ClearUpToLocked(offset_);
  return offset_;
}

}  // namespace client
