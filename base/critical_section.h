// In-process locks: a lock interface, a re-entrant critical section, and a scoped guard.
#pragma once

#include <windows.h>

namespace _BaseModule {

// A lock that the scoped guard can take. Not deleted through this interface.
class ILocker {
 public:
  virtual BOOL Lock() = 0;
  virtual BOOL Unlock() = 0;

 protected:
  ~ILocker() = default;
};

// Win32 critical section: re-entrant for the owning thread, which must release it as often
// as it took it. Lives as long as the object that embeds it; not copyable.
class CCriticalSection : public ILocker {
 public:
  CCriticalSection() { InitializeCriticalSection(&m_cs); }
  virtual ~CCriticalSection() { DeleteCriticalSection(&m_cs); }
  CCriticalSection(const CCriticalSection&) = delete;
  CCriticalSection& operator=(const CCriticalSection&) = delete;

  BOOL Lock() override {
    EnterCriticalSection(&m_cs);
    return TRUE;
  }
  BOOL Unlock() override {
    LeaveCriticalSection(&m_cs);
    return TRUE;
  }

 private:
  CRITICAL_SECTION m_cs;
};

// Holds a lock from construction to the end of the scope (exceptions included). A null
// locker makes it do nothing. The locker is not owned and must outlive the guard.
class CAutoLocker {
 public:
  explicit CAutoLocker(ILocker* locker) : m_pLocker(locker) {
    if (m_pLocker) m_pLocker->Lock();
  }
  virtual ~CAutoLocker() {
    if (m_pLocker) {
      m_pLocker->Unlock();
      m_pLocker = nullptr;
    }
  }
  CAutoLocker(const CAutoLocker&) = delete;
  CAutoLocker& operator=(const CAutoLocker&) = delete;

 private:
  ILocker* m_pLocker;
};

}  // namespace _BaseModule
