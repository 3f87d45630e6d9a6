// Test processes run side by side. A test that changes something all of them see (the screen's
// pointer, a machine-wide registry value) holds a NamedLease on it meanwhile: a mutex named for
// every process of the session. The thread that made the lease holds it until the lease is
// destroyed, which must happen on that thread.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

class NamedLease {
 public:
  // `what` names the shared thing in the failure when it stays taken for two minutes.
  NamedLease(const wchar_t* name, const char* what) : mutex_(CreateMutexW(nullptr, FALSE, name)) {
    // A holder that ended without letting go (WAIT_ABANDONED) hands it on all the same.
    const DWORD waited = mutex_ ? WaitForSingleObject(mutex_, 120000) : WAIT_FAILED;
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    EXPECT_TRUE(held_) << what << " was not free within two minutes";
  }
  ~NamedLease() {
    if (held_) ReleaseMutex(mutex_);
    if (mutex_) CloseHandle(mutex_);
  }
  NamedLease(const NamedLease&) = delete;
  NamedLease& operator=(const NamedLease&) = delete;

 private:
  HANDLE mutex_;
  bool held_ = false;
};
