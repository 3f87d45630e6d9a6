#ifndef CEF_INCLUDE_BASE_CEF_LOCK_H_
#define CEF_INCLUDE_BASE_CEF_LOCK_H_

#include <windows.h>

#include "include/base/cef_macros.h"

namespace base {

// A recursive-free mutual exclusion lock over a critical section. Acquire() must not be called
// again by the thread that holds it.
class Lock {
 public:
  Lock() : owner_(0) { InitializeCriticalSectionAndSpinCount(&cs_, 2000); }
  ~Lock() { DeleteCriticalSection(&cs_); }

  void Acquire() {
    EnterCriticalSection(&cs_);
    owner_ = GetCurrentThreadId();
  }
  void Release() {
    owner_ = 0;
    LeaveCriticalSection(&cs_);
  }
  // True when the lock was taken without waiting.
  bool Try() {
    if (!TryEnterCriticalSection(&cs_))
      return false;
    owner_ = GetCurrentThreadId();
    return true;
  }
  // Checked only in debug builds: the calling thread must hold the lock.
  void AssertAcquired() const;

 private:
  CRITICAL_SECTION cs_;
  volatile DWORD owner_;
  DISALLOW_COPY_AND_ASSIGN(Lock);
};

// Holds `lock` for the lifetime of the object.
class AutoLock {
 public:
  explicit AutoLock(Lock& lock) : lock_(lock) { lock_.Acquire(); }
  ~AutoLock() { lock_.Release(); }

 private:
  Lock& lock_;
  DISALLOW_COPY_AND_ASSIGN(AutoLock);
};

// Releases an acquired `lock` for the lifetime of the object and takes it back afterwards.
class AutoUnlock {
 public:
  explicit AutoUnlock(Lock& lock) : lock_(lock) { lock_.Release(); }
  ~AutoUnlock() { lock_.Acquire(); }

 private:
  Lock& lock_;
  DISALLOW_COPY_AND_ASSIGN(AutoUnlock);
};

}  // namespace base

#include "include/base/cef_logging.h"

inline void base::Lock::AssertAcquired() const {
  DCHECK(owner_ == GetCurrentThreadId());
}

#endif  // CEF_INCLUDE_BASE_CEF_LOCK_H_
