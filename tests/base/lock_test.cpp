#include "base/critical_section.h"
#include "base/smart_mutex.h"

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

namespace {

class CountingLocker : public _BaseModule::ILocker {
 public:
  BOOL Lock() override { return m_nDepth.fetch_add(1), TRUE; }
  BOOL Unlock() override { return m_nDepth.fetch_sub(1), TRUE; }
  std::atomic<int> m_nDepth{0};
};

TEST(AutoLocker, NestedOnOneThreadDoesNotBlockAndExcludesOthers) {
  _BaseModule::CCriticalSection cs;
  std::atomic<bool> otherEntered{false};
  std::thread other;
  {
    _BaseModule::CAutoLocker outer(&cs);
    {
      _BaseModule::CAutoLocker inner(&cs);  // re-entrant: would deadlock otherwise
    }
    other = std::thread([&] {
      _BaseModule::CAutoLocker guard(&cs);
      otherEntered = true;
    });
    Sleep(100);
    EXPECT_FALSE(otherEntered) << "a second thread got in while the lock was held";
  }
  other.join();
  EXPECT_TRUE(otherEntered);
}

TEST(AutoLocker, BalancesLockAndUnlockAndIgnoresNull) {
  CountingLocker counter;
  {
    _BaseModule::CAutoLocker a(&counter);
    _BaseModule::CAutoLocker b(&counter);
    EXPECT_EQ(counter.m_nDepth, 2);
  }
  EXPECT_EQ(counter.m_nDepth, 0);
  _BaseModule::CAutoLocker none(nullptr);  // must not crash at either end
}

TEST(SmartMutex, FailedCreationLockFailsAtOnce) {
  // A name with a backslash outside "Global\\"/"Local\\" is refused by CreateMutexW.
  CSmartMutex broken(L"no\\such\\namespace\\brivelo");
  ASSERT_EQ(broken.m_hMutex, nullptr);
  EXPECT_EQ(broken.Lock(), WAIT_FAILED);
  EXPECT_FALSE(broken.Unlock());
}

TEST(SmartMutex, NamedMutexIsSharedAcrossHandles) {
  wchar_t name[64];
  _snwprintf(name, 64, L"brivelo-test-mutex-%lu", GetCurrentProcessId());
  name[63] = 0;
  CSmartMutex mine(name);
  ASSERT_NE(mine.m_hMutex, nullptr);

  std::atomic<int> waitResult{-1};
  {
    CSmartLocker held(&mine);
    // Another thread opening the same name stands for another process: ownership is per
    // thread, sharing is by name.
    std::thread other([&] {
      CSmartMutex theirs(name);
      waitResult = static_cast<int>(WaitForSingleObject(theirs.m_hMutex, 100));
    });
    other.join();
    EXPECT_EQ(waitResult, static_cast<int>(WAIT_TIMEOUT));
  }
  std::thread after([&] {
    CSmartMutex theirs(name);
    waitResult = static_cast<int>(theirs.Lock());
    theirs.Unlock();
  });
  after.join();
  EXPECT_EQ(waitResult, static_cast<int>(WAIT_OBJECT_0));
}

}  // namespace
