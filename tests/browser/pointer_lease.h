// Tests of several processes share one screen and one cursor. A test that moves the cursor, clicks
// through SendInput or runs a system drag holds a PointerLease meanwhile, and also while its
// windows stand where such a drag looks: tests run side by side then neither move the cursor
// under each other nor drop onto each other's windows.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

// A mutex named for every process of the session. The thread that made the lease holds it until
// the lease is destroyed, which must happen on that thread.
class PointerLease {
 public:
  PointerLease() : mutex_(CreateMutexW(nullptr, FALSE, L"Brivelo.Tests.ScreenPointer")) {
    // A holder that ended without letting go (WAIT_ABANDONED) hands it on all the same.
    const DWORD waited = mutex_ ? WaitForSingleObject(mutex_, 120000) : WAIT_FAILED;
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    EXPECT_TRUE(held_) << "the screen's pointer was not free within two minutes";
  }
  ~PointerLease() {
    if (held_) ReleaseMutex(mutex_);
    if (mutex_) CloseHandle(mutex_);
  }
  PointerLease(const PointerLease&) = delete;
  PointerLease& operator=(const PointerLease&) = delete;

 private:
  HANDLE mutex_;
  bool held_ = false;
};
