// A lock that can span processes: a (named) Win32 mutex behind a small lock interface, and
// its scoped guard.
#pragma once

#include <windows.h>

struct ISmartLockable {
  virtual ~ISmartLockable() = default;
  virtual DWORD Lock() = 0;
  virtual BOOL Unlock() = 0;
};

// Every process that opens the same name shares the mutex; a null name makes a private one.
// A failed creation is not reported: Lock then returns WAIT_FAILED at once.
struct CSmartMutex : ISmartLockable {
  explicit CSmartMutex(const wchar_t* name) : m_hMutex(CreateMutexW(nullptr, FALSE, name)) {}
  ~CSmartMutex() override {
    if (m_hMutex) {
      CloseHandle(m_hMutex);
      m_hMutex = nullptr;
    }
  }
  CSmartMutex(const CSmartMutex&) = delete;
  CSmartMutex& operator=(const CSmartMutex&) = delete;

  // Blocks without a time limit. WAIT_OBJECT_0 when acquired, WAIT_ABANDONED when the
  // previous owner ended while holding it (the caller then owns it), WAIT_FAILED otherwise.
  DWORD Lock() override { return WaitForSingleObject(m_hMutex, INFINITE); }
  BOOL Unlock() override { return ReleaseMutex(m_hMutex); }

  HANDLE m_hMutex;
};

// Locks at construction and unlocks at destruction; a null lockable makes it do nothing.
// The lockable is not owned and must outlive the guard.
class CSmartLocker {
 public:
  explicit CSmartLocker(ISmartLockable* lockable) : m_pLockable(lockable) {
    if (m_pLockable) m_pLockable->Lock();
  }
  ~CSmartLocker() {
    if (m_pLockable) {
      m_pLockable->Unlock();
      m_pLockable = nullptr;
    }
  }
  CSmartLocker(const CSmartLocker&) = delete;
  CSmartLocker& operator=(const CSmartLocker&) = delete;

 private:
  ISmartLockable* m_pLockable;
};
