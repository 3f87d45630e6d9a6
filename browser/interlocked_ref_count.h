// The reference count of the client handlers: one interlocked 32-bit counter, so references
// may be taken and dropped on any thread.
#pragma once

#include <windows.h>

namespace client {

class InterlockedRefCount {
 public:
  void AddRef() const { InterlockedIncrement(&count_); }
  // True when this released the last reference; the owner then deletes itself.
  [[nodiscard]] bool Release() const { return InterlockedDecrement(&count_) == 0; }
  bool HasOneRef() const { return InterlockedCompareExchange(&count_, 0, 0) == 1; }

 private:
  mutable volatile LONG count_ = 0;
};

}  // namespace client
