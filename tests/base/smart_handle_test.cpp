#include "base/smart_co_initialize.h"
#include "base/smart_handle.h"

#include <thread>

#include <gtest/gtest.h>

namespace {

bool IsOpen(HANDLE h) {
  DWORD flags = 0;
  return GetHandleInformation(h, &flags) != FALSE;
}

HANDLE NewEvent() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }

TEST(SmartHandle, AssignmentClosesOnlyADifferentValue) {
  HANDLE first = NewEvent();
  HANDLE second = NewEvent();
  {
    CSmartHandle holder(first);
    holder = first;
    EXPECT_TRUE(IsOpen(first)) << "assigning the held value closed it";
    holder = second;
    EXPECT_FALSE(IsOpen(first));
    EXPECT_TRUE(IsOpen(second));
    EXPECT_EQ(static_cast<HANDLE>(holder), second);
  }
  EXPECT_FALSE(IsOpen(second)) << "destructor did not close";
}

TEST(SmartHandle, CloseReleasesOnceAndThenReturnsZero) {
  HANDLE h = NewEvent();
  CSmartHandle holder(h);
  EXPECT_EQ(holder.Close(), TRUE);
  EXPECT_FALSE(IsOpen(h));
  EXPECT_EQ(holder.Close(), 0);
  EXPECT_EQ(static_cast<HANDLE>(holder), nullptr);
  CSmartHandle empty(nullptr);
  EXPECT_EQ(empty.Close(), 0);
}

TEST(SmartRegKey, AddressOfReceivesAnOpenedKey) {
  CSmartRegKey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key), ERROR_SUCCESS);
  HKEY raw = key;
  ASSERT_NE(raw, nullptr);
  DWORD subKeys = 0;
  EXPECT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(key.Close(), ERROR_SUCCESS);
  EXPECT_EQ(key.Close(), 0L);  // nothing held any more
}

TEST(SmartFileAndModule, ReleaseTheirResources) {
  wchar_t path[MAX_PATH + 1];
  ASSERT_GT(GetTempPathW(MAX_PATH, path), 0u);
  wcscat(path, L"brivelo-smartfile.tmp");
  {
    CSmartFile file(_wfopen(path, L"wb"));
    ASSERT_NE(static_cast<FILE*>(file), nullptr);
    fputs("x", file);
  }  // fclose flushed and closed: the file can now be deleted
  EXPECT_TRUE(DeleteFileW(path));

  HMODULE mod = LoadLibraryW(L"shlwapi.dll");
  ASSERT_NE(mod, nullptr);
  CSmartModule holder(mod);
  EXPECT_EQ(holder.Close(), TRUE);
  EXPECT_EQ(holder.Close(), 0);
}

TEST(SmartCoInitialize, LeavesAnotherApartmentAlone) {
  HRESULT again = E_FAIL;
  std::thread t([&] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    {
      CSmartCoInitialize scope;  // fails with RPC_E_CHANGED_MODE on this thread
    }
    // Still initialised as before: a further init is only counted (S_FALSE).
    again = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CoUninitialize();
    CoUninitialize();
  });
  t.join();
  EXPECT_EQ(again, S_FALSE) << "the scope uninitialised an apartment it did not join";
}

TEST(SmartCoInitialize, BalancesItsOwnInitialisation) {
  HRESULT after = E_FAIL;
  std::thread t([&] {
    { CSmartCoInitialize scope; }
    after = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CoUninitialize();
  });
  t.join();
  EXPECT_EQ(after, S_OK) << "COM still initialised after the scope ended";
}

}  // namespace
